#include "drawing_files.h"

#include <fstream>

#include "qks/common/file_io.h"
#include "qkshost/dwg/adapter.h"
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

drawing::ReadResult readDwg(drawing::Database& db, std::string_view bytes) {
    drawing::ReadResult result;
    dwg::Skipped skipped;
    result.status = dwg::readDwgInto(bytes, db, result.message, skipped);
    result.skippedEntities = skipped.entities;
    result.skippedOthers = skipped.others;
    return result;
}

drawing::ReadResult readDrawingFile(drawing::Database& db, const std::string& path) {
    if (!looksLikeDwg(path)) return drawing::readDxfFile(db, path);
    std::string bytes, error;
    if (!qks::readFileBytes(path, bytes, &error))
        return {drawing::Status::ReadError, "cannot read " + path + ": " + error, 0};
    return readDwg(db, bytes);
}

}  // namespace qkshost::app
