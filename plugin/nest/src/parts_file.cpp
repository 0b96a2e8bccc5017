#include "qks/nest/parts_file.h"

#include <filesystem>

#include "qks/common/atomic_file.h"
#include "qks/common/file_io.h"
#include "qks/common/utf8.h"
#include "qks/contract/parts_format.h"
#include "qks/job/job_files.h"

namespace qks::nest {
namespace {

// The parent folder of `path`, ignoring separators at its end.
std::string parentFolder(std::string_view path) {
    while (!path.empty() && (path.back() == '/' || path.back() == '\\'))
        path.remove_suffix(1);
    const auto cut = path.find_last_of("/\\");
    if (cut == std::string_view::npos) return {};
    return std::string(path.substr(0, cut));
}

}  // namespace

std::string formatPartsFile(const std::vector<NestPart>& parts) {
    // Names and sources come from drawings; the file must stay valid UTF-8 for the Studio.
    return sanitizeUtf8(contract::formatParts(parts));
}

bool writePartsFile(const std::string& path, const std::vector<NestPart>& parts) {
    const std::string folder = parentFolder(path);
    if (!folder.empty()) {
        std::error_code ignored;
        std::filesystem::create_directories(folder, ignored);
    }
    return writeFileAtomically(path, formatPartsFile(parts));
}

std::vector<NestPart> parsePartsText(std::string_view bytes) {
    return job::parsePartsText(bytes);
}

bool readPartsFile(const std::string& path, std::vector<NestPart>& parts, std::string* message) {
    std::string bytes;
    if (!readFileBytes(path, bytes)) {
        if (message) *message = "无法读取零件文件: " + path;
        return false;
    }
    std::vector<NestPart> read = parsePartsText(bytes);
    if (read.empty()) {
        if (message) *message = "零件文件中没有可用的零件: " + path;
        return false;
    }
    for (NestPart& part : read)
        parts.push_back(std::move(part));
    return true;
}

}  // namespace qks::nest
