#include "qks/bridge/bridge.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <mutex>
#include <optional>
#include <random>
#include <thread>

#include "qks/common/environment.h"
#include "qks/common/messages.h"
#include "qks/common/utf8.h"
#include "qks/contract/names.h"

namespace qks {
namespace {

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    ~FileDescriptor() { reset(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    void reset(int fd = -1) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }

  private:
    int fd_;
};

bool stopSignalled(int stopFd) {
    pollfd p{stopFd, POLLIN, 0};
    return ::poll(&p, 1, 0) != 0;  // readable, or an error: either way stop
}

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

bool sendAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// The listening socket, owned by the server thread. The lock file makes "is a bridge already
// serving?" a question the kernel answers, so two hosts can never both decide a socket is
// stale and replace each other's.
struct Listener {
    FileDescriptor lock;
    FileDescriptor socket;
    std::string path;
    ino_t inode = 0;

    bool open() {
        path = bridgeSocketPath();
        sockaddr_un address{};
        if (path.size() >= sizeof address.sun_path) return false;
        const std::string lockPath = path + ".lock";
        lock.reset(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (lock.get() < 0) return false;
        struct stat lockInfo {};
        if (::fstat(lock.get(), &lockInfo) != 0 || lockInfo.st_uid != ::geteuid()) return false;
        if (::flock(lock.get(), LOCK_EX | LOCK_NB) != 0) return false;  // a live bridge
        struct stat info {};
        if (::lstat(path.c_str(), &info) == 0) {
            // Only a socket of ours that nobody answers on is stale.
            if (!S_ISSOCK(info.st_mode) || info.st_uid != ::geteuid()) return false;
            if (answers()) return false;
            ::unlink(path.c_str());
        }
        socket.reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        if (socket.get() < 0) return false;
        // Bind under a private name, restrict it, then move it into place, so the public
        // name never exists with looser permissions.
        std::random_device seed;
        const std::string temporary = path + "." + std::to_string(::getpid()) + "." +
                                      std::to_string(seed() % 1000000) + ".new";
        if (temporary.size() >= sizeof address.sun_path) return false;
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, temporary.c_str(), temporary.size() + 1);
        if (::bind(socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            return false;
        if (::chmod(temporary.c_str(), 0600) != 0 || ::listen(socket.get(), 8) != 0 ||
            ::rename(temporary.c_str(), path.c_str()) != 0) {
            ::unlink(temporary.c_str());
            return false;
        }
        struct stat mine {};
        if (::stat(path.c_str(), &mine) == 0) inode = mine.st_ino;
        return true;
    }

    bool answers() const {
        FileDescriptor probe(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        return probe.get() >= 0 &&
               ::connect(probe.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }

    ~Listener() {
        if (socket.get() >= 0) {
            struct stat info {};
            if (::stat(path.c_str(), &info) == 0 && info.st_ino == inode) ::unlink(path.c_str());
        }
    }
};

// Reads one message: what one read returns plus whatever else is already waiting, so a
// request is never split by the socket's buffering. False when the peer is gone, the
// bridge stops, or the message is longer than the limit.
enum class ReadResult { Message, Closed, Stop };

ReadResult readMessage(int client, int listener, int stopFd, std::string& message) {
    for (;;) {
        pollfd fds[3] = {{client, POLLIN, 0}, {stopFd, POLLIN, 0}, {listener, POLLIN, 0}};
        if (::poll(fds, 3, -1) < 0) {
            if (errno == EINTR) continue;
            return ReadResult::Stop;
        }
        if (fds[1].revents != 0) return ReadResult::Stop;
        // The served client goes first: if it has hung up, whoever waits is the next client.
        if (fds[0].revents != 0) break;
        if (fds[2].revents & POLLIN) {
            // A second client while one is served: refuse it at once, like a busy pipe.
            FileDescriptor refused(::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC));
        }
    }
    char buffer[kMaxBridgeMessage + 1];
    std::size_t total = 0;
    for (;;) {
        const ssize_t n = ::recv(client, buffer + total, sizeof buffer - total, MSG_DONTWAIT);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        if (n <= 0) {
            if (total == 0) return ReadResult::Closed;
            break;
        }
        total += static_cast<std::size_t>(n);
        if (total > kMaxBridgeMessage) return ReadResult::Closed;
    }
    if (total == 0) return ReadResult::Closed;
    message.assign(buffer, total);
    return ReadResult::Message;
}

}  // namespace

std::string bridgeSocketPath() {
    return tempFilePath(std::string(contract::kBridgeServerName));
}

Bridge::Bridge(std::atomic<bool>& nestStopRequested) : nestStopRequested_(nestStopRequested) {}

Bridge::~Bridge() {
    stopBridge();
}

void Bridge::setWindow(host::ApplicationServices* host, host::WindowHandle window) {
    std::lock_guard<std::mutex> guard(slotLock_);
    postHost_ = host;
    postWindow_ = window;
}

void Bridge::setJobs(BridgeJobs jobs) {
    jobs_ = std::move(jobs);
}

bool Bridge::startBridge() {
    if (running_.exchange(true)) return true;
    if (::pipe2(stopPipe_, O_CLOEXEC) != 0) {
        running_ = false;
        return false;
    }
    try {
        server_ = std::thread([this] { serveBridge(); });
    } catch (...) {
        ::close(stopPipe_[0]);
        ::close(stopPipe_[1]);
        stopPipe_[0] = stopPipe_[1] = -1;
        running_ = false;
        return false;
    }
    return true;
}

void Bridge::stopBridge() {
    if (!running_.exchange(false)) return;
    const char wake = 1;
    while (::write(stopPipe_[1], &wake, 1) < 0 && errno == EINTR) {
    }
    if (server_.joinable()) server_.join();
    ::close(stopPipe_[0]);
    ::close(stopPipe_[1]);
    stopPipe_[0] = stopPipe_[1] = -1;
}

void Bridge::serveBridge() {
    if (stopSignalled(stopPipe_[0])) return;
    Listener listener;
    if (!listener.open()) return;  // a second host, or no usable socket: the bridge stays off
    listening_ = true;
    for (;;) {
        pollfd fds[2] = {{listener.socket.get(), POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[1].revents != 0) break;
        if (!(fds[0].revents & POLLIN)) continue;
        FileDescriptor client(::accept4(listener.socket.get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (client.get() < 0) continue;
        std::string message;
        ReadResult result;
        while ((result = readMessage(client.get(), listener.socket.get(), stopPipe_[0], message)) ==
               ReadResult::Message) {
            while (!message.empty() && (message.back() == '\r' || message.back() == '\n'))
                message.pop_back();
            if (!sendAll(client.get(), dispatchCommand(message))) break;
        }
        // A window that is gone cannot answer: a selection waiting for it is cancelled.
        attachDrawingWindow(false);
        if (result == ReadResult::Stop) break;
    }
    listening_ = false;
}

void Bridge::attachDrawingWindow(bool attached) {
    std::lock_guard<std::mutex> guard(slotLock_);
    if (postHost_ != nullptr)
        postHost_->setDrawingWindow(attached ? tempFilePath(contract::kViewPromptFile)
                                             : std::string());
}

void Bridge::post(std::uint32_t message) {
    std::lock_guard<std::mutex> guard(slotLock_);
    if (postHost_ != nullptr && postWindow_) postHost_->postMessage(postWindow_, message, 0, 0);
}

void Bridge::storeAndPost(std::string PendingPaths::*slot, std::string_view argument,
                          std::uint32_t message) {
    std::string path = sanitizeUtf8(argument);
    std::lock_guard<std::mutex> guard(slotLock_);
    slots_.*slot = std::move(path);
    if (postHost_ != nullptr && postWindow_) postHost_->postMessage(postWindow_, message, 0, 0);
}

void Bridge::runInApplicationContext(const std::function<void(const std::string&)>& job,
                                     std::string PendingPaths::*slot) {
    std::lock_guard<std::mutex> guard(slotLock_);
    if (!job || postHost_ == nullptr) return;
    std::string path = slots_.*slot;
    postHost_->executeInApplicationContext([job, path = std::move(path)] { job(path); });
}

std::string Bridge::dispatchCommand(std::string_view line) {
    using namespace contract;
    // The words that take an argument are followed by one space and the config path.
    const auto argumentOf = [line](std::string_view word) -> std::optional<std::string_view> {
        if (line.size() <= word.size() || line[word.size()] != ' ' || !startsWith(line, word))
            return std::nullopt;
        return line.substr(word.size() + 1);
    };
    if (line == kPingWord)
        return std::string(kPongWord) + " " + std::string(contract::kProductVersion);
    if (line == kVersionWord) return std::string(contract::kProductVersion);
    if (line == kPlotWord) {
        post(runPlotMessage);
        return std::string(kQueuedReply);
    }
    if (const auto path = argumentOf(kPlotFilesWord)) {
        storeAndPost(&PendingPaths::plotFiles, *path, runPlotFilesMessage);
        return std::string(kQueuedReply);
    }
    if (const auto path = argumentOf(kMergeWord)) {
        storeAndPost(&PendingPaths::merge, *path, runMergeMessage);
        return std::string(kQueuedReply);
    }
    if (const auto path = argumentOf(kNestWord)) {
        storeAndPost(&PendingPaths::nest, *path, runNestMessage);
        return std::string(kQueuedReply);
    }
    if (const auto path = argumentOf(kBomWord)) {
        storeAndPost(&PendingPaths::bom, *path, runBomMessage);
        return std::string(kQueuedReply);
    }
    if (const auto path = argumentOf(kToolsWord)) {
        storeAndPost(&PendingPaths::tools, *path, runToolsMessage);
        return std::string(kQueuedReply);
    }
    if (const auto path = argumentOf(kNestAdjustWord)) {
        storeAndPost(&PendingPaths::nestAdjust, *path, runNestAdjustMessage);
        return std::string(kQueuedReply);
    }
    if (line == kNestPickWord) {
        post(runNestPickMessage);
        return std::string(kQueuedReply);
    }
    if (line == kNestStopWord) {
        nestStopRequested_.store(true);
        return std::string(kOkReply);
    }
    if (line == kViewWord || argumentOf(kViewWord)) {
        attachDrawingWindow(true);
        const auto layout = argumentOf(kViewWord);
        storeAndPost(&PendingPaths::view, layout ? *layout : std::string_view(), writeViewMessage);
        return std::string(kQueuedReply);
    }
    if (const auto path = argumentOf(kOpenWord)) {
        attachDrawingWindow(true);
        // Every drawing asked for is opened, in order, however fast the requests come.
        std::lock_guard<std::mutex> guard(slotLock_);
        slots_.open = sanitizeUtf8(*path);
        opens_.push_back(slots_.open);
        if (postHost_ != nullptr && postWindow_)
            postHost_->postMessage(postWindow_, openDrawingMessage, 0, 0);
        return std::string(kQueuedReply);
    }
    // "SELECT <serial> [selection line]": the drawing window's answer to its prompt.
    if (line == kSelectWord || argumentOf(kSelectWord)) {
        const std::string_view rest = argumentOf(kSelectWord).value_or(std::string_view());
        const std::size_t blank = rest.find(' ');
        const std::string_view number = rest.substr(0, blank);
        std::uint64_t serial = 0;
        const auto [end, status] =
            std::from_chars(number.data(), number.data() + number.size(), serial);
        if (number.empty() || status != std::errc() || end != number.data() + number.size())
            return std::string(kBadSelectionReply);
        const std::string selection = sanitizeUtf8(
            blank == std::string_view::npos ? std::string_view() : rest.substr(blank + 1));
        std::lock_guard<std::mutex> guard(slotLock_);
        if (postHost_ == nullptr || !postHost_->answerPrompt(serial, selection))
            return std::string(kNoSelectionAskedReply);
        return std::string(kOkReply);
    }
    return std::string(kUnknownReply);
}

std::intptr_t Bridge::windowProcedure(host::WindowHandle, std::uint32_t message, std::uintptr_t,
                                      std::intptr_t) {
    host::ApplicationServices* host;
    {
        std::lock_guard<std::mutex> guard(slotLock_);
        host = postHost_;
    }
    if (host == nullptr) return 0;
    const auto typeInto = [host](bool available, std::string_view command) {
        if (!available) return;
        const host::DocumentId document = host->currentDocument();
        if (document) host->sendStringToExecute(document, command, true, false, false);
    };
    switch (message) {
        case runPlotMessage:
            typeInto(jobs_.plotCommand, "QKPLOT\n");
            break;
        case runNestPickMessage:
            typeInto(jobs_.nestPickCommand, "QKNESTPICK\n");
            break;
        case runPlotFilesMessage:
            runInApplicationContext(jobs_.plotFiles, &PendingPaths::plotFiles);
            break;
        case runMergeMessage:
            runInApplicationContext(jobs_.merge, &PendingPaths::merge);
            break;
        case runNestMessage:
            runInApplicationContext(jobs_.nest, &PendingPaths::nest);
            break;
        case runBomMessage:
            runInApplicationContext(jobs_.bom, &PendingPaths::bom);
            break;
        case runToolsMessage:
            runInApplicationContext(jobs_.tools, &PendingPaths::tools);
            break;
        case runNestAdjustMessage:
            runInApplicationContext(jobs_.nestAdjust, &PendingPaths::nestAdjust);
            break;
        case writeViewMessage:
            if (jobs_.view) {
                std::string layout;
                {
                    std::lock_guard<std::mutex> guard(slotLock_);
                    layout = slots_.view;
                }
                jobs_.view(layout);
            }
            break;
        case openDrawingMessage: {
            std::lock_guard<std::mutex> guard(slotLock_);
            if (opens_.empty()) break;
            std::string path = std::move(opens_.front());
            opens_.pop_front();
            if (jobs_.open && postHost_ != nullptr)
                postHost_->executeInApplicationContext(
                    [job = jobs_.open, path = std::move(path)] { job(path); });
            break;
        }
        case nestFinishedMessage:
            if (jobs_.nestFinished) host->executeInApplicationContext(jobs_.nestFinished);
            break;
        default:
            break;
    }
    return 0;
}

PendingPaths Bridge::pendingPaths() const {
    std::lock_guard<std::mutex> guard(slotLock_);
    return slots_;
}

}  // namespace qks
