// Fills qkshost's drawing database from a DWG file, the way the DXF reader fills it from the
// DXF twin of the same drawing: the drawing's own handles, tables, blocks, layouts and the
// entity kinds the database models.
#pragma once

#include <qkshost/drawing/database.h>

#include <string>
#include <string_view>

namespace qkshost::dwg {

// What a read could not take over (proxies, 3-D solids, kinds neither the decoder nor the
// database models), which a saved copy will therefore not hold either: entities, which a user
// sees missing, apart from the other objects.
struct Skipped {
    int entities = 0;
    int others = 0;
};

// `db` must be empty (created without defaults). Texts of drawings before 2007 are decoded by
// their $DWGCODEPAGE. On failure `message` names the section and byte offset; ReadError is
// returned and `db` holds nothing usable. Never throws.
qkshost::drawing::Status readDwgInto(std::string_view bytes, qkshost::drawing::Database& db,
                                     std::string& message, Skipped& skipped);

}  // namespace qkshost::dwg
