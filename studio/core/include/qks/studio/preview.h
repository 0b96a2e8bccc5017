#pragma once
// Where a placed part lands on its sheet, in layout units (y up as in the drawing; the
// preview shows it as is, so the picture is mirrored top to bottom).

#include "qks/studio/partsfile.h"
#include "qks/studio/progressfile.h"

#include <QHash>
#include <optional>

namespace qks::studio {

struct PlacedPart {
    Contour outer;
    QVector<Contour> holes;
};

// Null when the part's outline has fewer than 3 points.
std::optional<PlacedPart> placePart(const PartRow& part, const Placement& placement,
                                    const GridFrame& frame);

// id -> index of the row that owns it (the last row with that id).
QHash<int, int> indexPartsById(const QVector<PartRow>& parts);

}  // namespace qks::studio
