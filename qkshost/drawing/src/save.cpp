// Atomic replacement of a drawing file: the new content goes to "<target>.tmp" (created
// exclusively, never through a symbolic link), is flushed to disk, an existing target is kept
// as "<target>.bak", and the temporary file is renamed over the target. A failure at any step
// leaves the old target in place.
#include "qkshost/drawing/database.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace qkshost::drawing {

Status writeFileAtomic(const std::string& path, std::string_view bytes, std::string* message) {
    auto failWith = [&](const std::string& what, int err) {
        if (message) *message = what + " " + path + ": " + std::strerror(err);
        return Status::WriteError;
    };
    std::string temp = path + ".tmp";
    struct stat st;
    if (::lstat(temp.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::unlink(temp.c_str());
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) return failWith("cannot create the temporary file for", errno);
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            int err = n < 0 ? errno : EIO;
            ::close(fd);
            ::unlink(temp.c_str());
            return failWith("cannot write", err);
        }
        p += n;
        left -= std::size_t(n);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        int err = errno;
        ::unlink(temp.c_str());
        return failWith("cannot write", err);
    }
    if (::lstat(path.c_str(), &st) == 0) {
        std::string bak = path + ".bak";
        // the target name keeps pointing at a whole file: link first, then replace
        ::unlink(bak.c_str());
        if (::link(path.c_str(), bak.c_str()) != 0 && ::rename(path.c_str(), bak.c_str()) != 0) {
            int err = errno;
            ::unlink(temp.c_str());
            return failWith("cannot keep a backup of", err);
        }
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        int err = errno;
        ::unlink(temp.c_str());
        return failWith("cannot replace", err);
    }
    if (message) message->clear();
    return Status::Ok;
}

}  // namespace qkshost::drawing
