// The parts file: the part kinds handed between the plug-in and the Studio
// (header "# QKS-PARTS 2", TAB-separated "P", "O" and "H" lines, LF line ends, UTF-8).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "qks/nest/part.h"

namespace qks::nest {

// The whole file text for `parts`, in list order.
std::string formatPartsFile(const std::vector<NestPart>& parts);

// Writes the file whole to "<path>.tmp" and renames it over `path`, creating missing parent
// folders first. Returns true when the file was replaced; on false the old file is untouched.
bool writePartsFile(const std::string& path, const std::vector<NestPart>& parts);

// Reads the file into `parts` (appending). Returns true when at least one usable part was read:
// kinds with fewer than three outline points or a quantity below 1 are dropped. On false
// `message` (when given) says whether the file could not be read or held no usable part.
bool readPartsFile(const std::string& path, std::vector<NestPart>& parts,
                   std::string* message = nullptr);

// The reader's rules on text already in memory; returns the usable parts.
std::vector<NestPart> parsePartsText(std::string_view bytes);

}  // namespace qks::nest
