#include "qks/common/key_value.h"

#include "qks/common/file_io.h"
#include "qks/common/utf8.h"

namespace qks {

std::vector<KeyValueLine> splitKeyValueLines(std::string_view bytes) {
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    const std::string text = sanitizeUtf8(bytes);
    std::vector<KeyValueLine> lines;
    std::string_view rest(text);
    while (!rest.empty()) {
        const auto end = rest.find('\n');
        std::string_view line = trimWhiteSpace(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        if (line.empty() || line.front() == '#') continue;
        const auto eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        lines.push_back({std::string(trimWhiteSpace(line.substr(0, eq))),
                         std::string(trimWhiteSpace(line.substr(eq + 1)))});
    }
    return lines;
}

bool readKeyValueLines(const std::string& path, std::vector<KeyValueLine>& lines) {
    std::string bytes;
    if (!readFileBytes(path, bytes)) return false;
    lines = splitKeyValueLines(bytes);
    return true;
}

}  // namespace qks
