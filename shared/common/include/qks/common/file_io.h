// Reading whole files, and the system-call seam tests use to inject write failures.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace qks {

// Reads a regular file whole. Fails (false, `error` set) for a missing or unreadable file,
// a folder, or a file larger than `maxBytes`.
bool readFileBytes(const std::string& path, std::string& bytes, std::string* error = nullptr,
                   std::size_t maxBytes = std::size_t{1} << 31);

bool fileExists(const std::string& path);     // any kind of file system entry
bool isRegularFile(const std::string& path);  // follows symbolic links
bool isDirectory(const std::string& path);    // follows symbolic links

// A job's drawing list: files as given, folders by their DXF and DWG files (extension case
// ignored) in name order, not their subfolders.
std::vector<std::string> expandDrawingFiles(const std::vector<std::string>& entries);

}  // namespace qks
