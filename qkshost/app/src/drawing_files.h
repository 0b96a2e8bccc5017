// Reading a drawing file by its content, whatever its name: the codec is chosen from the first
// bytes, so a DXF saved as ".dwg" or a DWG saved as ".dxf" still reaches the right reader. And
// the one name of a file by which drawings and plug-ins are told apart.
#pragma once

#include <string>

#include "qkshost/drawing/database.h"

namespace qkshost::app {

// Fills the empty database `db` (one created without defaults) from the file at `path`.
drawing::ReadResult readDrawingFile(drawing::Database& db, const std::string& path);

// The absolute path without links or dot segments; `path` as given when it cannot be resolved.
std::string canonicalPath(const std::string& path);

}  // namespace qkshost::app
