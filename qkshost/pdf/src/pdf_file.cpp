#include "pdf_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

namespace qkshost::pdf::detail {
namespace {

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string errnoText(int err) {
    return std::strerror(err);
}

}  // namespace

AtomicOutputFile::~AtomicOutputFile() {
    if (!committed_) discard();
}

void AtomicOutputFile::discard() {
    buffer_.clear();
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temp_.empty()) ::unlink(temp_.c_str());
    temp_.clear();
}

PlotResult AtomicOutputFile::open(const std::string& target) {
    discard();
    committed_ = false;
    writeError_ = 0;
    target_ = target;
    const std::size_t slash = target.find_last_of('/');
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    if (base.empty() || base == "." || base == "..")
        return PlotResult::failure(PlotStatus::WriteFailed, "not a file name: " + target);
    const std::string folder = folderOf(target);
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return PlotResult::failure(PlotStatus::OutputFolderMissing,
                                   "output folder does not exist: " + folder);

    std::random_device seed;
    std::mt19937_64 random(((std::uint64_t)seed() << 32) ^ seed() ^ (std::uint64_t)::getpid());
    for (int attempt = 0; attempt < 64; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".%012llx.tmp",
                      (unsigned long long)(random() & 0xffffffffffffULL));
        std::string candidate = folder + "/." + base + suffix;
        const int fd =
            ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            fd_ = fd;
            temp_ = std::move(candidate);
            return PlotResult::success();
        }
        if (errno == EEXIST) continue;
        const int err = errno;
        if (err == EACCES || err == EPERM || err == EROFS)
            return PlotResult::failure(PlotStatus::OutputNotWritable,
                                       "cannot write to " + folder + ": " + errnoText(err));
        return PlotResult::failure(PlotStatus::WriteFailed,
                                   "cannot create a file in " + folder + ": " + errnoText(err));
    }
    return PlotResult::failure(PlotStatus::WriteFailed,
                               "cannot find a free temporary name in " + folder);
}

std::string AtomicOutputFile::writeErrorText() const {
    return writeError_ ? errnoText(writeError_) : std::string();
}

bool AtomicOutputFile::write(const void* data, std::size_t size) {
    if (fd_ < 0 || writeError_) return false;
    constexpr std::size_t kBuffer = 256 * 1024;
    buffer_.append(static_cast<const char*>(data), size);
    return buffer_.size() < kBuffer || flushBuffer();
}

bool AtomicOutputFile::flushBuffer() {
    if (fd_ < 0 || writeError_) return false;
    const char* p = buffer_.data();
    std::size_t size = buffer_.size();
    while (size > 0) {
        const ssize_t n = ::write(fd_, p, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            writeError_ = errno;
            return false;
        }
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    buffer_.clear();
    return true;
}

PlotResult AtomicOutputFile::commit() {
    if (fd_ < 0) return PlotResult::failure(PlotStatus::WriteFailed, "no file is open");
    if (!writeError_) flushBuffer();
    if (writeError_) {
        const int err = writeError_;
        discard();
        return PlotResult::failure(PlotStatus::WriteFailed,
                                   "writing " + target_ + " failed: " + errnoText(err));
    }
    if (::fsync(fd_) != 0 && errno != EINVAL) {
        const int err = errno;
        discard();
        return PlotResult::failure(PlotStatus::WriteFailed,
                                   "writing " + target_ + " failed: " + errnoText(err));
    }
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
        const int err = errno;
        discard();
        return PlotResult::failure(PlotStatus::WriteFailed,
                                   "writing " + target_ + " failed: " + errnoText(err));
    }
    if (::rename(temp_.c_str(), target_.c_str()) != 0) {
        const int err = errno;
        discard();
        return PlotResult::failure(PlotStatus::WriteFailed,
                                   "cannot replace " + target_ + ": " + errnoText(err));
    }
    committed_ = true;
    temp_.clear();
    // Make the rename itself durable; failure here does not undo a complete file.
    const int dir = ::open(folderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return PlotResult::success();
}

}  // namespace qkshost::pdf::detail
