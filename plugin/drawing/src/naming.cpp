#include "qks/drawing/naming.h"

#include "qks/common/utf8.h"

namespace qks::drawing {
namespace {

constexpr std::size_t kMaxNameLength = 96;

bool reserved(char32_t c) {
    switch (c) {
        case U'\\':
        case U'/':
        case U':':
        case U'*':
        case U'?':
        case U'"':
        case U'<':
        case U'>':
        case U'|':
            return true;
        default:
            return c < 32;
    }
}

}  // namespace

std::string composeOutputName(const std::string& label, const std::string& prefix,
                              const std::string& base) {
    std::string name;
    if (!label.empty()) name += label + "_";
    if (!prefix.empty()) name += prefix + "_";
    return name + base;
}

std::string sanitizeFileName(const std::string& text) {
    std::u32string s = decodeUtf8(text);
    for (auto& c : s)
        if (reserved(c)) c = U'_';
    std::size_t begin = 0, end = s.size();
    while (begin < end && s[begin] <= 32)
        ++begin;
    while (end > begin && s[end - 1] <= 32)
        --end;
    while (end > begin && (s[end - 1] == U'.' || s[end - 1] == U' '))
        --end;
    std::string name = encodeUtf8(std::u32string_view(s).substr(begin, end - begin));
    if (name.empty()) name = "layout";
    name = cutCodePoints(name, kMaxNameLength);
    // "." and ".." name the folder itself or its parent, never a file in it.
    if (name == "." || name == "..") name = "layout";
    return name;
}

std::string uniqueOutputName(const std::string& text, NameCounts& counts) {
    const std::string s = sanitizeFileName(text);
    int& count = counts[s];
    ++count;
    std::string name = count > 1 ? s + "_" + std::to_string(count) : s;
    // A numbered name may have been handed out already, as a title of its own or as another
    // name's number: count on until a free one.
    while (count > 1) {
        const auto taken = counts.find(name);
        if (taken == counts.end() || taken->second == 0) break;
        ++count;
        name = s + "_" + std::to_string(count);
    }
    if (name != s) counts[name] = std::max(counts[name], 1);
    return name;
}

std::string fileStemLabel(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    std::string stem = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::size_t dot = stem.rfind('.');
    if (dot != std::string::npos) stem.erase(dot);
    return sanitizeFileName(stem);
}

}  // namespace qks::drawing
