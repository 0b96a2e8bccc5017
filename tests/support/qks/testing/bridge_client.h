// A plain Unix-socket client speaking the bridge protocol, and helpers for tests that
// point the temporary folder at a private place.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "qks/testing/temp_dir.h"

namespace qks::testing {

class BridgeClient {
  public:
    BridgeClient() = default;
    ~BridgeClient() { close(); }
    BridgeClient(const BridgeClient&) = delete;
    BridgeClient& operator=(const BridgeClient&) = delete;

    bool connect(const std::string& path) {
        close();
        fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (fd_ < 0 || path.size() >= sizeof address.sun_path) return false;
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        return ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }

    // Retries until a server answers or the time is up.
    bool connectWithin(const std::string& path, std::chrono::milliseconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!connect(path)) {
            if (std::chrono::steady_clock::now() > end) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return true;
    }

    bool send(const std::string& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n <= 0) return false;
            done += static_cast<std::size_t>(n);
        }
        return true;
    }

    // Waits for one reply. Empty with `closed` set when the server hung up.
    std::string receive(bool* closed = nullptr, int timeoutMs = 5000) {
        if (closed) *closed = false;
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0) return "<timeout>";
        char buffer[65536];
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        if (n <= 0) {
            if (closed) *closed = true;
            return {};
        }
        return std::string(buffer, static_cast<std::size_t>(n));
    }

    std::string request(const std::string& bytes) {
        if (!send(bytes)) return "<send failed>";
        return receive();
    }

    void shutdownWrite() { ::shutdown(fd_, SHUT_WR); }
    void close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    int fd() const { return fd_; }

  private:
    int fd_ = -1;
};

inline int openDescriptorCount() {
    int count = 0;
    for (int fd = 0; fd < 4096; ++fd)
        if (::fcntl(fd, F_GETFD) != -1) ++count;
    return count;
}

}  // namespace qks::testing
