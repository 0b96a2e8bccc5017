#pragma once

#include <string_view>
#include <vector>

namespace qks::contract {

// The pieces between separators; n separators give n + 1 pieces, empty ones included.
inline std::vector<std::string_view> splitFields(std::string_view text, char separator) {
    std::vector<std::string_view> fields;
    while (true) {
        const auto cut = text.find(separator);
        fields.push_back(text.substr(0, cut));
        if (cut == std::string_view::npos) break;
        text.remove_prefix(cut + 1);
    }
    return fields;
}

}  // namespace qks::contract
