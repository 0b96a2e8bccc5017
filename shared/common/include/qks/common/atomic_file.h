// Replacing a file so that readers only ever see the old or the new whole content.
//
// The new content goes to "<target>.tmp" beside the target, created exclusively and without
// following symbolic links (a link planted at that name in a shared temporary folder makes
// the write fail rather than clobber the link's target), and is then renamed over the target.
// A writer that is destroyed without commit() removes its temporary file and leaves the
// target untouched.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qks {

class AtomicFileWriter {
  public:
    explicit AtomicFileWriter(std::string targetPath);
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    // False when the temporary file could not be created; error() says why.
    bool isOpen() const { return fd_ >= 0; }

    // Buffered; a failure is remembered and reported by commit().
    bool write(std::string_view bytes);

    // Flushes to disk before the rename (for drawings; progress files skip it).
    void setDurable(bool durable) { durable_ = durable; }

    // Moves the new content into place. With keepBackup an existing target is first kept
    // as "<target>.bak" (replacing an older backup) while the target name always points at
    // a complete file. Returns false and leaves the target as it was on any failure.
    bool commit(bool keepBackup = false);

    const std::string& error() const { return error_; }
    const std::string& targetPath() const { return target_; }
    const std::string& temporaryPath() const { return temporary_; }

  private:
    bool flushBuffer();
    bool writeAll(std::string_view bytes);
    void fail(const std::string& what, int err);
    void discard();

    std::string target_;
    std::string temporary_;
    std::string buffer_;
    std::string error_;
    int fd_ = -1;
    bool durable_ = false;
    bool failed_ = false;
    bool committed_ = false;
};

// One-call form: writes `bytes` to `path` atomically. On failure `error` names the cause.
bool writeFileAtomically(const std::string& path, std::string_view bytes,
                         std::string* error = nullptr, bool keepBackup = false,
                         bool durable = false);

// The system calls the writer makes, replaceable so tests can inject failures (a full disk,
// a rename refused) without touching the real file system's state. Not thread-safe to swap:
// tests replace them while no writer runs.
struct FileSystemCalls {
    int (*open)(const char* path, int flags, unsigned mode);
    long (*write)(int fd, const void* data, std::size_t size);
    int (*fsync)(int fd);
    int (*close)(int fd);
    int (*rename)(const char* from, const char* to);
    int (*link)(const char* from, const char* to);
    int (*unlink)(const char* path);
};
FileSystemCalls& fileSystemCalls();
FileSystemCalls realFileSystemCalls();

}  // namespace qks
