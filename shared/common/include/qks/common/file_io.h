// Reading whole files, and the system-call seam tests use to inject write failures.
#pragma once

#include <cstddef>
#include <string>

namespace qks {

// Reads a regular file whole. Fails (false, `error` set) for a missing or unreadable file,
// a folder, or a file larger than `maxBytes`.
bool readFileBytes(const std::string& path, std::string& bytes, std::string* error = nullptr,
                   std::size_t maxBytes = std::size_t{1} << 31);

bool fileExists(const std::string& path);     // any kind of file system entry
bool isRegularFile(const std::string& path);  // follows symbolic links
bool isDirectory(const std::string& path);    // follows symbolic links

}  // namespace qks
