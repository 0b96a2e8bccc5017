// Dimensions as the kernel creates them: the DIMENSION entity with the anonymous block ("*D<n>")
// that holds its picture (extension lines, dimension line, arrow heads as filled solids, the
// text as multiline text), so that every program shows it without computing it again.
//
// The picture follows the ISO habit the styles the host creates also state: text above the
// dimension line and along it (DIMTAD 1, DIMTIH and DIMTOH off), closed filled arrows,
// trailing zeros dropped. Sizes come from the dimension style times its DIMSCALE; a variable a
// style leaves unset takes the value kDefaultDimensionLook gives it.
#pragma once

#include <string>

#include "qkshost/drawing/database.h"

namespace qkshost::drawing {

// The values a dimension is drawn with.
struct DimensionLook {
    double textHeight = 2.5;
    double arrowSize = 2.5;
    double extensionOffset = 0.625;
    double extensionBeyond = 1.25;
    double textGap = 0.625;
    int decimals = 2;
    int zeroSuppression = 8;
    double linearFactor = 1.0;
    ObjectIndex textStyle = 0;  // 0: the drawing's current text style
};
inline const DimensionLook kDefaultDimensionLook{};

// The look of the dimension style `style` (a DimStyleRecord of `db`; anything else: defaults).
DimensionLook dimensionLook(const Database& db, ObjectIndex style);

// `value` with `decimals` places; zeroSuppression 8 drops trailing zeros (and a point left
// alone), 4 a leading zero before the point. Never "-0".
std::string formatMeasurement(double value, int decimals, int zeroSuppression);

// "<>" in `text` replaced by `measurement`; an empty text is the measurement alone.
std::string dimensionText(const std::string& text, const std::string& measurement);

enum class DimensionKind { Linear, Diameter, Ordinate };

// What a dimension measures, in the coordinates of the block record it is added to.
struct DimensionRequest {
    DimensionKind kind = DimensionKind::Linear;
    Point3d first, second;
    Point3d line;           // linear: a point of the dimension line
    double rotation = 0.0;  // linear: direction of measuring, radians
    bool ordinateX = true;  // ordinate: measures x (else y) from `origin`
    Point3d origin;
    std::string text;       // "" or a text where "<>" stands for the measurement
    ObjectIndex layer = 0;  // 0: layer "0"
    ObjectIndex style = 0;  // DimStyleRecord; 0: the drawing's current style
};

// Appends the dimension to `block` with a new geometry block. InvalidInput when the points do
// not make a dimension (nothing measured, a leader of no length), NotFound for an unknown block.
Status addDimension(Database& db, ObjectIndex block, const DimensionRequest& request,
                    ObjectIndex* out = nullptr);

}  // namespace qkshost::drawing
