#include "qks/contract/handover.h"

#include <algorithm>

namespace qks::contract {
namespace {

bool travels(std::string_view path) {
    return !path.empty() && path.front() == '/' &&
           std::none_of(path.begin(), path.end(),
                        [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
}

}  // namespace

std::string composeHandOver(const std::vector<std::string>& paths) {
    std::string message(kHandOverWord);
    message += '\n';
    for (const std::string& path : paths)
        if (travels(path)) message += path + '\n';
    message += '\n';
    return message;
}

std::optional<std::vector<std::string>> parseHandOver(std::string_view message) {
    if (message.size() > kHandOverLimit) return std::nullopt;
    std::string head(kHandOverWord);
    head += '\n';
    if (message.substr(0, head.size()) != head) return std::nullopt;
    std::vector<std::string> paths;
    std::size_t at = head.size();
    while (at < message.size()) {
        const std::size_t end = message.find('\n', at);
        if (end == std::string_view::npos) return std::nullopt;
        const std::string_view line = message.substr(at, end - at);
        at = end + 1;
        if (line.empty()) {
            if (at != message.size()) return std::nullopt;
            return paths;
        }
        if (!travels(line)) return std::nullopt;
        paths.emplace_back(line);
    }
    return std::nullopt;
}

}  // namespace qks::contract
