// Splitting of key=value job files under the nest job's line rules.
#pragma once

#include <string>
#include <vector>

namespace qks {

struct KeyValueLine {
    std::string key;    // trimmed of white space, exact case
    std::string value;  // trimmed of white space
};

// Reads `path` whole: drops one byte-order mark at the very start, decodes UTF-8 (bad bytes
// become U+FFFD), splits at LF and trims each line of white space; empty lines, lines starting
// with '#' and lines without '=' are skipped; key and value are split at the first '=' and
// trimmed. Returns false when the file cannot be opened.
bool readKeyValueLines(const std::string& path, std::vector<KeyValueLine>& lines);

// The same rules on text already in memory.
std::vector<KeyValueLine> splitKeyValueLines(std::string_view text);

}  // namespace qks
