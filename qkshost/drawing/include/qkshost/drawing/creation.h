// Creating entities and records the way the plug-in's jobs need them. Every function appends
// to the given block record (model space when 0) on the given layer (created when missing,
// colour 7; "" = layer "0") and returns the new entity, or 0 when the block does not exist.
#pragma once

#include "qkshost/drawing/database.h"

#include <string>
#include <utility>
#include <vector>

namespace qkshost::drawing {

ObjectIndex ensureLayer(Database& db, std::string_view name, int colorIndex);

ObjectIndex addLwPolyline(Database& db, ObjectIndex block, const std::vector<Point3d>& points,
                          bool closed, std::string_view layer = {});
ObjectIndex addText(Database& db, ObjectIndex block, const Point3d& position, double height,
                    std::string_view text, double rotation = 0, ObjectIndex style = 0,
                    std::string_view layer = {});
// attachment 1 (top left) .. 9 (bottom right); width 0 = no wrapping
ObjectIndex addMText(Database& db, ObjectIndex block, const Point3d& position,
                     std::string_view contents, double height, double width, int attachment,
                     ObjectIndex style = 0, std::string_view layer = {});
// rotation in radians; attributes are created from the block's attribute definitions with
// their default values
ObjectIndex addBlockReference(Database& db, ObjectIndex block, ObjectIndex blockRecord,
                              const Point3d& position, double scaleX = 1, double scaleY = 1,
                              double scaleZ = 1, double rotation = 0);
// Gives the reference an attribute for every attribute definition of its block that is not
// constant, placed as the reference places the definition: the value `values` gives its tag
// (tags compare ignoring ASCII case), else the definition's default.
void addAttributes(Database& db, ObjectIndex reference,
                   const std::vector<std::pair<std::string, std::string>>& values = {});

struct FontDescription {
    std::string fontFile, typeface;
    bool bold = false, italic = false;
    int charset = 0, pitchAndFamily = 0;
};
// Text style with a font; an existing style of that name is returned unchanged.
ObjectIndex ensureTextStyle(Database& db, std::string_view name, const FontDescription& font);

}  // namespace qkshost::drawing
