// What a second start of the Studio hands to the one already running: the drawings named on its
// command line (absolute paths), or none, to bring that Studio to the front. One message per
// connection: the word, then one path per line, then an empty line; the running Studio answers
// "OK" once it has taken them.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qks::contract {

inline constexpr std::string_view kHandOverWord = "QKSOPEN";
inline constexpr std::string_view kHandOverReply = "OK";
// Longest message either side accepts (bytes).
inline constexpr std::size_t kHandOverLimit = 256 * 1024;

// The message for `paths`; paths that cannot travel (empty, relative, holding a line break or
// another control character) are left out.
std::string composeHandOver(const std::vector<std::string>& paths);

// The paths of a whole message; nothing while it is incomplete or malformed (a path that could
// not have been composed, no end, bytes after the end, over the limit).
std::optional<std::vector<std::string>> parseHandOver(std::string_view message);

}  // namespace qks::contract
