// The bridge: the local socket the Studio talks to, and the hand-over of its job requests
// to the host's main thread. The plug-in's runtime owns one Bridge from load to unload.
//
// Threads: every member function except dispatchCommand runs on the main thread. The server
// thread only writes the pending-path slots and reads the post target (under one lock), posts
// window messages, sets the nest stop flag, and attaches, answers and detaches the drawing
// window (the host's any-thread calls). It never calls anything else of the host.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "qks/contract/version.h"
#include "qks/host/host.h"

namespace qks {

inline constexpr std::string_view kProductVersion = contract::kProductVersion;
inline constexpr std::size_t kMaxBridgeMessage = 32767;

// The jobs a bridge request can start. An empty function means the job is not part of this
// build: its request is answered but nothing runs.
struct BridgeJobs {
    std::function<void(const std::string& configPath)> plotFiles;
    std::function<void(const std::string& configPath)> merge;
    std::function<void(const std::string& configPath)> nest;
    std::function<void(const std::string& configPath)> bom;
    std::function<void(const std::string& configPath)> tools;
    std::function<void()> nestFinished;
    std::function<void(const std::string& layoutPath)> nestAdjust;
    // The drawing window: writes the display list of the current drawing's layout (model
    // space when empty); opens a drawing, or brings an open one forward, and writes its list.
    std::function<void(const std::string& layout)> view;
    std::function<void(const std::string& drawingPath)> open;
    bool plotCommand = false;      // "QKPLOT" is registered
    bool nestPickCommand = false;  // "QKNESTPICK" is registered
};

// The latest unclaimed path of each job kind.
struct PendingPaths {
    std::string plotFiles;
    std::string merge;
    std::string nest;
    std::string bom;
    std::string tools;
    std::string nestAdjust;
    std::string view;  // the layout asked for
    std::string open;  // the drawing asked for
};

// The socket path: the temporary folder followed by "qksstudio" (where QLocalSocket looks
// for the server name "qksstudio").
std::string bridgeSocketPath();

class Bridge {
  public:
    // `nestStopRequested` is the flag "NESTSTOP" sets from the server thread; it must outlive
    // the bridge.
    explicit Bridge(std::atomic<bool>& nestStopRequested);
    // Stops the server thread.
    ~Bridge();
    Bridge(const Bridge&) = delete;
    Bridge& operator=(const Bridge&) = delete;

    // The host and the window that job requests are posted to (null/0 clears them).
    void setWindow(host::ApplicationServices* host, host::WindowHandle window);
    void setJobs(BridgeJobs jobs);

    // Starts the server thread; idempotent. False when the thread could not be started (the
    // plug-in's commands keep working without the bridge).
    bool startBridge();
    // Stops and joins the server thread, also while a client stays connected and idle;
    // idempotent.
    void stopBridge();
    bool bridgeRunning() const { return running_; }
    // True while the server thread holds the socket (false in a second host, whose bridge
    // stays off because the first one serves the name).
    bool bridgeListening() const { return listening_; }

    // One command line (trailing CR and LF already removed) to its reply bytes. Job commands
    // store their argument and post their message. Any thread.
    std::string dispatchCommand(std::string_view line);

    // The bridge window's procedure.
    std::intptr_t windowProcedure(host::WindowHandle window, std::uint32_t message,
                                  std::uintptr_t wParam, std::intptr_t lParam);

    // For tests and diagnostics. Any thread.
    PendingPaths pendingPaths() const;

  private:
    void serveBridge();
    // Any thread: attaches the drawing window (its prompt file in the temporary folder) or,
    // with false, detaches it.
    void attachDrawingWindow(bool attached);
    void post(std::uint32_t message);
    void storeAndPost(std::string PendingPaths::*slot, std::string_view argument,
                      std::uint32_t message);
    void runInApplicationContext(const std::function<void(const std::string&)>& job,
                                 std::string PendingPaths::*slot);

    std::atomic<bool>& nestStopRequested_;
    std::atomic<bool> running_{false};
    std::atomic<bool> listening_{false};
    std::thread server_;
    // Written to wake the server thread and make it end; both ends closed after the join.
    int stopPipe_[2] = {-1, -1};

    // Shared by the server thread and the main thread.
    mutable std::mutex slotLock_;
    PendingPaths slots_;
    std::deque<std::string> opens_;  // drawings asked for and not yet opened, oldest first
    host::ApplicationServices* postHost_ = nullptr;
    host::WindowHandle postWindow_;

    // Main thread only.
    BridgeJobs jobs_;
};

}  // namespace qks
