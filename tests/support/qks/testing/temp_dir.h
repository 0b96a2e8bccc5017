// A private folder for one test, removed with everything in it.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace qks::testing {

// Made under the temporary folder (TMPDIR, else /tmp). Removal also takes what a test made
// read-only or unreadable on purpose.
class TempDir {
  public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "qks-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        path_ = pattern;
    }
    ~TempDir() {
        makeRemovable(path_);
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    std::string write(const std::string& name, const std::string& bytes) const {
        const std::string p = file(name);
        std::ofstream(p, std::ios::binary) << bytes;
        return p;
    }
    // Names of the entries in the folder, sorted.
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(path_, error))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

  private:
    // Gives the owner full access to `path` and everything below it. Symbolic links are left
    // alone, so nothing outside the folder changes.
    static void makeRemovable(const std::filesystem::path& path) {
        namespace fs = std::filesystem;
        std::error_code error;
        const fs::file_status status = fs::symlink_status(path, error);
        if (error || fs::is_symlink(status)) return;
        fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, error);
        if (!fs::is_directory(status)) return;
        for (const auto& entry : fs::directory_iterator(path, error))
            makeRemovable(entry.path());
    }

    std::string path_;
};

inline std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Points TMPDIR at `folder` for the test's lifetime.
class ScopedTempFolder {
  public:
    explicit ScopedTempFolder(const std::string& folder) {
        const char* old = std::getenv("TMPDIR");
        had_ = old != nullptr;
        if (had_) old_ = old;
        ::setenv("TMPDIR", folder.c_str(), 1);
    }
    ~ScopedTempFolder() {
        if (had_)
            ::setenv("TMPDIR", old_.c_str(), 1);
        else
            ::unsetenv("TMPDIR");
    }

  private:
    bool had_ = false;
    std::string old_;
};

}  // namespace qks::testing
