// Reading a drawing file by its content, whatever its name: the codec is chosen from the first
// bytes, so a DXF saved as ".dwg" or a DWG saved as ".dxf" still reaches the right reader.
#pragma once

#include <string>
#include <string_view>

#include "qkshost/drawing/database.h"

namespace qkshost::app {

// Fills the empty database `db` (one created without defaults) from the file at `path`.
drawing::ReadResult readDrawingFile(drawing::Database& db, const std::string& path);

// The DWG codec's entry: the whole file in `bytes`, which start with "AC10". It fills `db`
// or reports why not in the result's message.
drawing::ReadResult readDwg(drawing::Database& db, std::string_view bytes);

}  // namespace qkshost::app
