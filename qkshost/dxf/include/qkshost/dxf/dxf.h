// The DXF codec of qkshost: reads ASCII and binary DXF into a drawing database and writes one
// as DXF. The only code that sees DXF group codes. Its reading entry has the shape of the DWG
// codec's (qkshost/dwg/reader.h), so a caller that picks a codec by content treats both alike.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "qkshost/drawing/database.h"

namespace qkshost::dxf {

// Reads ASCII (R12..R2018) or binary DXF from a memory buffer into an empty database
// (one created without defaults). Never throws; malformed input gives ReadError with a
// message naming the line (ASCII) or byte offset (binary).
drawing::ReadResult readDxf(drawing::Database& db, std::string_view bytes);
drawing::ReadResult readDxfFile(drawing::Database& db, const std::string& path);

// Writes the database as DXF AC1032 in UTF-8.
std::string writeDxf(const drawing::Database& db);
// The same text handed to `sink` in pieces; false when the sink refused one.
bool writeDxf(const drawing::Database& db, const std::function<bool(std::string_view)>& sink);
// Saves atomically: a temporary file renamed over the target, an existing target kept as
// `.bak`. A target ending in ".dwg" (any case) is written with ".dxf" instead; `written`
// receives the path actually written.
drawing::Status saveDxf(const drawing::Database& db, const std::string& path,
                        std::string* written = nullptr, std::string* message = nullptr);

}  // namespace qkshost::dxf
