// The process environment and the user's temporary folder.
#pragma once

#include <string>
#include <string_view>

namespace qks {

// $TMPDIR when set and not empty, else "/tmp", always ending in '/'. This is the folder
// QDir::tempPath() gives the Studio, so both sides find each other's files there.
std::string tempFolder();

// tempFolder() followed by `name`.
std::string tempFilePath(std::string_view name);

// The variable's value; empty when unset, empty, or 32,768 UTF-16 units or longer.
std::string environmentValue(const std::string& name);

// Folder part of a path: everything before its last '/' or '\'; empty without separator.
std::string folderOfPath(std::string_view path);

// `folder` joined with `name`, inserting '/' unless the folder already ends in '/' or '\'.
std::string joinPath(std::string_view folder, std::string_view name);

}  // namespace qks
