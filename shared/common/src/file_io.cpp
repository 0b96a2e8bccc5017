#include "qks/common/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "qks/common/utf8.h"

namespace qks {

bool readFileBytes(const std::string& path, std::string& bytes, std::string* error,
                   std::size_t maxBytes) {
    auto fail = [&](const char* what) {
        if (error) *error = std::string(what);
        return false;
    };
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return fail(std::strerror(errno));
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return fail("not a regular file");
    }
    if (static_cast<unsigned long long>(info.st_size) > maxBytes) {
        ::close(fd);
        return fail("file too large");
    }
    std::string out;
    out.reserve(static_cast<std::size_t>(info.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int saved = errno;
            ::close(fd);
            return fail(std::strerror(saved));
        }
        if (n == 0) break;
        if (out.size() + static_cast<std::size_t>(n) > maxBytes) {
            ::close(fd);
            return fail("file too large");
        }
        out.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    bytes.swap(out);
    return true;
}

bool fileExists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

bool isRegularFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool isDirectory(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::vector<std::string> expandDrawingFiles(const std::vector<std::string>& entries) {
    namespace fs = std::filesystem;
    std::vector<std::string> files;
    for (const std::string& entry : entries) {
        if (!isDirectory(entry)) {
            files.push_back(entry);
            continue;
        }
        std::vector<std::string> found;
        std::error_code error;
        for (const auto& item : fs::directory_iterator(fs::u8path(entry), error)) {
            const std::string extension = toLowerUtf8(item.path().extension().u8string());
            if ((extension == ".dxf" || extension == ".dwg") && item.is_regular_file(error))
                found.push_back(item.path().u8string());
        }
        std::sort(found.begin(), found.end());
        files.insert(files.end(), found.begin(), found.end());
    }
    return files;
}

}  // namespace qks
