// Names of output files, shared by every job that writes PDFs.
#pragma once

#include <map>
#include <string>

namespace qks::drawing {

// Sanitized output name -> how many times it was handed out (or taken by a numbered name).
// One per job.
using NameCounts = std::map<std::string, int>;

// label + "_" + prefix + "_" + base, leaving out empty parts.
std::string composeOutputName(const std::string& label, const std::string& prefix,
                              const std::string& base);
// A file name that stays inside its folder: separators, reserved and control characters
// become "_", blanks around and trailing dots go, "layout" for nothing left, at most 96
// characters.
std::string sanitizeFileName(const std::string& text);
// The sanitized text, numbered "_2", "_3", ... when it was handed out before; never a name
// handed out before in this job.
std::string uniqueOutputName(const std::string& text, NameCounts& counts);
// The file name of `path` without its extension, sanitized.
std::string fileStemLabel(const std::string& path);

}  // namespace qks::drawing
