// Reading a drawing file by its content, whatever its name: the codec is chosen from the first
// bytes, so a DXF saved as ".dwg" or a DWG saved as ".dxf" still reaches the right reader.
#pragma once

#include <string>

#include "qkshost/drawing/database.h"

namespace qkshost::app {

// Fills the empty database `db` (one created without defaults) from the file at `path`.
drawing::ReadResult readDrawingFile(drawing::Database& db, const std::string& path);

}  // namespace qkshost::app
