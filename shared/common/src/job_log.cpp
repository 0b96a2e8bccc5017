#include "qks/common/job_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

#include "qks/common/utf8.h"

namespace qks {
namespace {

struct Channel {
    std::mutex lock;
    std::string path;
};

Channel& channelFor(LogChannel channel) {
    static Channel plot;
    static Channel nest;
    static Channel bom;
    static Channel tools;
    switch (channel) {
        case LogChannel::Plot:
            return plot;
        case LogChannel::Nest:
            return nest;
        case LogChannel::Bom:
            return bom;
        case LogChannel::Tools:
            return tools;
    }
    return plot;
}

bool writeAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

void setJobLogPath(LogChannel channel, std::string path) {
    Channel& c = channelFor(channel);
    std::lock_guard<std::mutex> guard(c.lock);
    c.path = std::move(path);
}

std::string jobLogPath(LogChannel channel) {
    Channel& c = channelFor(channel);
    std::lock_guard<std::mutex> guard(c.lock);
    return c.path;
}

void resetJobLog(LogChannel channel) {
    Channel& c = channelFor(channel);
    std::lock_guard<std::mutex> guard(c.lock);
    if (c.path.empty()) return;
    const int fd = ::open(c.path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd >= 0) ::close(fd);
}

void appendJobLog(LogChannel channel, std::string_view line) {
    std::string bytes = sanitizeUtf8(line);
    for (char& ch : bytes)
        if (ch == '\r' || ch == '\n') ch = ' ';
    bytes += channel == LogChannel::Nest ? "\n" : "\r\n";
    Channel& c = channelFor(channel);
    std::lock_guard<std::mutex> guard(c.lock);
    if (c.path.empty()) return;
    const int fd = ::open(c.path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return;
    writeAll(fd, bytes);
    ::close(fd);
}

}  // namespace qks
