// A file written beside its target under a fresh temporary name and renamed over the target
// only when complete.
#pragma once

#include <string>

#include "qkshost/pdf/plot_settings.h"

namespace qkshost::pdf::detail {

class AtomicOutputFile {
  public:
    AtomicOutputFile() = default;
    AtomicOutputFile(const AtomicOutputFile&) = delete;
    AtomicOutputFile& operator=(const AtomicOutputFile&) = delete;
    // Removes the temporary file unless commit() succeeded.
    ~AtomicOutputFile();

    // Checks that the target's folder exists and creates the temporary file in it with
    // O_CREAT | O_EXCL | O_NOFOLLOW, so nothing planted under that name is ever followed or
    // overwritten.
    PlotResult open(const std::string& target);
    // Writes all of data (through a buffer: small writes cost a system call each);
    // remembers the first error for commit().
    bool write(const void* data, std::size_t size);
    // Flushes to disk, closes, and renames over the target.
    PlotResult commit();

    const std::string& tempPath() const { return temp_; }
    // The system's text for the first failed write; empty when every write succeeded.
    std::string writeErrorText() const;

  private:
    void discard();
    bool flushBuffer();

    std::string target_;
    std::string temp_;
    std::string buffer_;
    int fd_ = -1;
    int writeError_ = 0;
    bool committed_ = false;
};

}  // namespace qkshost::pdf::detail
