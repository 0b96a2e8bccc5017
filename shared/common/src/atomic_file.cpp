#include "qks/common/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace qks {
namespace {

constexpr std::size_t kBufferLimit = 1 << 20;

int realOpen(const char* path, int flags, unsigned mode) {
    return ::open(path, flags, mode);
}
long realWrite(int fd, const void* data, std::size_t size) {
    return ::write(fd, data, size);
}

}  // namespace

FileSystemCalls realFileSystemCalls() {
    return {realOpen, realWrite, ::fsync, ::close, ::rename, ::link, ::unlink};
}

FileSystemCalls& fileSystemCalls() {
    static FileSystemCalls calls = realFileSystemCalls();
    return calls;
}

AtomicFileWriter::AtomicFileWriter(std::string targetPath)
    : target_(std::move(targetPath)), temporary_(target_ + ".tmp") {
    const FileSystemCalls& fs = fileSystemCalls();
    const int flags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    fd_ = fs.open(temporary_.c_str(), flags, 0644);
    if (fd_ < 0 && errno == EEXIST) {
        // A temporary left by an interrupted writer. unlink removes a planted symbolic link
        // itself, never what it points at; if someone re-creates it in between, we give up.
        fs.unlink(temporary_.c_str());
        fd_ = fs.open(temporary_.c_str(), flags, 0644);
    }
    if (fd_ < 0) fail("cannot create " + temporary_, errno);
}

AtomicFileWriter::~AtomicFileWriter() {
    discard();
}

void AtomicFileWriter::fail(const std::string& what, int err) {
    if (!failed_) error_ = err != 0 ? what + ": " + std::strerror(err) : what;
    failed_ = true;
}

bool AtomicFileWriter::write(std::string_view bytes) {
    if (failed_ || fd_ < 0) return false;
    // A large piece goes out as it is, after what is buffered: no copy of it.
    if (bytes.size() >= kBufferLimit) return flushBuffer() && writeAll(bytes);
    buffer_.append(bytes);
    if (buffer_.size() >= kBufferLimit) return flushBuffer();
    return true;
}

bool AtomicFileWriter::writeAll(std::string_view bytes) {
    const FileSystemCalls& fs = fileSystemCalls();
    std::size_t done = 0;
    while (done < bytes.size()) {
        const long n = fs.write(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            fail("cannot write " + temporary_, n < 0 ? errno : ENOSPC);
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool AtomicFileWriter::flushBuffer() {
    const bool written = failed_ ? false : writeAll(buffer_);
    buffer_.clear();
    return written;
}

bool AtomicFileWriter::commit(bool keepBackup) {
    const FileSystemCalls& fs = fileSystemCalls();
    if (committed_) return true;
    if (fd_ < 0 || failed_ || !flushBuffer()) {
        discard();
        return false;
    }
    if (durable_ && fs.fsync(fd_) != 0) {
        fail("cannot flush " + temporary_, errno);
        discard();
        return false;
    }
    const int fd = fd_;
    fd_ = -1;
    if (fs.close(fd) != 0) {
        fail("cannot close " + temporary_, errno);
        discard();
        return false;
    }
    if (keepBackup) {
        struct stat info {};
        if (::lstat(target_.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
            // A hard link keeps the old content as the backup while the target name stays
            // valid; where links are not possible, fall back to renaming it aside.
            const std::string backup = target_ + ".bak";
            fs.unlink(backup.c_str());
            if (fs.link(target_.c_str(), backup.c_str()) != 0 &&
                fs.rename(target_.c_str(), backup.c_str()) != 0) {
                fail("cannot keep backup " + backup, errno);
                discard();
                return false;
            }
        }
    }
    if (fs.rename(temporary_.c_str(), target_.c_str()) != 0) {
        fail("cannot replace " + target_, errno);
        discard();
        return false;
    }
    committed_ = true;
    return true;
}

void AtomicFileWriter::discard() {
    if (committed_) return;
    const FileSystemCalls& fs = fileSystemCalls();
    if (fd_ >= 0) {
        fs.close(fd_);
        fd_ = -1;
    }
    if (!temporary_.empty() && !(failed_ && error_.rfind("cannot create", 0) == 0))
        fs.unlink(temporary_.c_str());
    buffer_.clear();
}

bool writeFileAtomically(const std::string& path, std::string_view bytes, std::string* error,
                         bool keepBackup, bool durable) {
    AtomicFileWriter writer(path);
    writer.setDurable(durable);
    writer.write(bytes);
    const bool ok = writer.commit(keepBackup);
    if (!ok && error) *error = writer.error();
    return ok;
}

}  // namespace qks
