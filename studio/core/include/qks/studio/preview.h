#pragma once
// Where a placed part lands on its sheet, in layout units with y up as in the drawing,
// and the same outline in the preview's scene, whose y grows downwards.

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

// `placed` in scene units for a sheet `sheetHeight` high drawn at (0, 0): y counts down
// from the sheet's top edge, so row 0 lies along the bottom and a part keeps the
// orientation it is cut in. Drawn as is, the layout would show mirrored top to bottom,
// and an asymmetric part would show the other hand from the one cut.
PlacedPart toScene(const PlacedPart& placed, double sheetHeight);

// id -> index of the row that owns it (the last row with that id).
QHash<int, int> indexPartsById(const QVector<PartRow>& parts);

}  // namespace qks::studio
