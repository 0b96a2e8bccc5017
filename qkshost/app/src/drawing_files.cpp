#include "drawing_files.h"

#include <fstream>

#include "qkshost/dwg/reader.h"
#include "qkshost/dxf/dxf.h"

namespace qkshost::app {
namespace {

// A DWG file opens with its version, "AC1012" to "AC1032"; a DXF never does (ASCII starts
// with a group code, binary with its sentinel).
bool looksLikeDwg(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    char head[6] = {};
    return in.read(head, sizeof head) && std::string_view(head, 4) == "AC10";
}

}  // namespace

drawing::ReadResult readDrawingFile(drawing::Database& db, const std::string& path) {
    return looksLikeDwg(path) ? dwg::readDwgFile(db, path) : dxf::readDxfFile(db, path);
}

}  // namespace qkshost::app
