#include "drawing_files.h"

#include <fstream>

#include "qks/common/file_io.h"
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

drawing::ReadResult readDwg(drawing::Database&, std::string_view bytes) {
    // No DWG codec yet: the drawing is refused as the DXF reader always refused it.
    return {drawing::Status::ReadError,
            "DXF read error at line 1: not a DXF file: this is a DWG drawing (" +
                std::string(bytes.substr(0, 6)) + "), which qkshost cannot read; save it as DXF",
            0};
}

drawing::ReadResult readDrawingFile(drawing::Database& db, const std::string& path) {
    if (!looksLikeDwg(path)) return drawing::readDxfFile(db, path);
    std::string bytes, error;
    if (!qks::readFileBytes(path, bytes, &error))
        return {drawing::Status::ReadError, "cannot read " + path + ": " + error, 0};
    return readDwg(db, bytes);
}

}  // namespace qkshost::app
