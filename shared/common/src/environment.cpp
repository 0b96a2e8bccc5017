#include "qks/common/environment.h"

#include <cstdlib>

#include "qks/common/utf8.h"

namespace qks {

std::string tempFolder() {
    const char* dir = std::getenv("TMPDIR");
    std::string folder = (dir != nullptr && *dir != '\0') ? std::string(dir) : std::string("/tmp");
    if (folder.back() != '/') folder.push_back('/');
    return folder;
}

std::string tempFilePath(std::string_view name) {
    return tempFolder() + std::string(name);
}

std::string environmentValue(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    if (value == nullptr) return {};
    std::string text = sanitizeUtf8(value);
    if (utf16Length(text) >= 32768) return {};
    return text;
}

std::string folderOfPath(std::string_view path) {
    const auto cut = path.find_last_of("/\\");
    if (cut == std::string_view::npos) return {};
    return std::string(path.substr(0, cut));
}

std::string joinPath(std::string_view folder, std::string_view name) {
    std::string out(folder);
    if (!out.empty() && out.back() != '/' && out.back() != '\\') out.push_back('/');
    out.append(name);
    return out;
}

}  // namespace qks
