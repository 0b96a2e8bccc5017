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

// The part's outline and holes fitted into a square `side` units wide with `pad` left free
// all round, for a picture of the kind: one scale for x and y, centred, y counting down from
// the top as in an image (the drawing's y up). Null when the outline cannot be drawn: fewer
// than 3 points, a coordinate not finite, or no width or no height. A hole with fewer than 3
// points, a coordinate not finite or a point outside the outline's box is left out; it
// cannot be a hole of this outline.
std::optional<PlacedPart> fitInSquare(const PartRow& part, double side, double pad);

// id -> index of the row that owns it (the last row with that id).
QHash<int, int> indexPartsById(const QVector<PartRow>& parts);

}  // namespace qks::studio
