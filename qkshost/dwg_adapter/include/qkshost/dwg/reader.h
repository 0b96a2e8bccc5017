// The DWG codec's reading entry: decodes a DWG file and fills qkshost's drawing database from
// the records, the way the DXF reader fills it from the DXF twin of the same drawing (the
// drawing's own handles, tables, blocks, layouts and the entity kinds the database models).
// It has the shape of the DXF codec's entry (qkshost/dxf/dxf.h), so a caller that picks a
// codec by content treats both alike.
#pragma once

#include <string>
#include <string_view>

#include "qkshost/drawing/database.h"

namespace qkshost::dwg {

// `db` must be empty (created without defaults). Texts of drawings before 2007 are decoded by
// their $DWGCODEPAGE. On failure the result is ReadError with a message naming the section and
// byte offset, and `db` holds nothing usable. What the read could not take over (proxies, 3-D
// solids, kinds neither the decoder nor the database models), which a saved copy will
// therefore not hold either, is counted in skippedEntities and skippedOthers. Never throws.
// A drawing protected by a password or wrapped by a document-protection system gives
// Encrypted instead.
drawing::ReadResult readDwg(drawing::Database& db, std::string_view bytes);
drawing::ReadResult readDwgFile(drawing::Database& db, const std::string& path);
// Whether the first bytes of a file are this codec's: a DWG version string, or a
// document-protection wrapper (which is mostly put around DWG drawings).
bool isDwgContent(std::string_view head);

}  // namespace qkshost::dwg
