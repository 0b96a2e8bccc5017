// Fills qkshost's drawing database from a DWG file, the way the DXF reader fills it from the
// DXF twin of the same drawing: the drawing's own handles, tables, blocks, layouts and the
// entity kinds the database models.
#pragma once

#include <qkshost/drawing/database.h>

#include <string>
#include <string_view>

namespace qkshost::dwg {

// `db` must be empty (created without defaults). Texts of drawings before 2007 are decoded by
// their $DWGCODEPAGE. On failure `message` names the section and byte offset; ReadError is
// returned and `db` holds nothing usable. `skipped` receives the count of objects not taken
// over (proxies, 3-D solids, kinds neither the decoder nor the database models). Never throws.
qkshost::drawing::Status readDwgInto(std::string_view bytes, qkshost::drawing::Database& db,
                                     std::string& message, int& skipped);

}  // namespace qkshost::dwg
