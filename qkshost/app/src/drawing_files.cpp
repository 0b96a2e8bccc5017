#include "drawing_files.h"

#include <climits>
#include <cstdlib>
#include <fstream>

#include "qkshost/dwg/reader.h"
#include "qkshost/dxf/dxf.h"

namespace qkshost::app {
namespace {

// A DWG file opens with its version, "AC1012" to "AC1032" (or with the header of the
// protection system that encrypted it); a DXF never does (ASCII starts with a group code,
// binary with its sentinel).
bool looksLikeDwg(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    char head[64] = {};
    in.read(head, sizeof head);
    return dwg::isDwgContent(std::string_view(head, static_cast<std::size_t>(in.gcount())));
}

}  // namespace

drawing::ReadResult readDrawingFile(drawing::Database& db, const std::string& path) {
    return looksLikeDwg(path) ? dwg::readDwgFile(db, path) : dxf::readDxfFile(db, path);
}

std::string canonicalPath(const std::string& path) {
    char buffer[PATH_MAX];
    if (::realpath(path.c_str(), buffer) != nullptr) return buffer;
    return path;
}

}  // namespace qkshost::app
