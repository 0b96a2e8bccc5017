// The bridge: the local socket the Studio talks to, and the hand-over of its job requests
// to the host's main thread.
//
// Threads: startBridge, stopBridge, setBridgeWindow, setBridgeJobs and the window procedure
// run on the main thread; the server thread only writes the pending-path slots (under one
// lock), posts window messages and sets the nest stop flag. It never calls anything else of
// the host.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

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
    std::function<void()> nestFinished;
    bool plotCommand = false;      // "QKPLOT" is registered
    bool nestPickCommand = false;  // "QKNESTPICK" is registered
};

// The socket path: the temporary folder followed by "qksstudio" (where QLocalSocket looks
// for the server name "qksstudio").
std::string bridgeSocketPath();

// Hands the bridge the host and its window (null/0 clears them).
void setBridgeWindow(host::ApplicationServices* host, host::WindowHandle window);
void setBridgeJobs(BridgeJobs jobs);

// Starts the server thread; idempotent. False when the thread could not be started (the
// plug-in's commands keep working without the bridge).
bool startBridge();
// Stops and joins the server thread, also while a client stays connected and idle; idempotent.
void stopBridge();
bool bridgeRunning();
// True while the server thread holds the socket (false in a second host, whose bridge stays
// off because the first one serves the name).
bool bridgeListening();

// One command line (trailing CR and LF already removed) to its reply bytes. Job commands
// store their argument and post their message.
std::string dispatchCommand(std::string_view line);

// The bridge window's procedure (runs on the main thread).
std::intptr_t bridgeWindowProcedure(host::WindowHandle window, std::uint32_t message,
                                    std::uintptr_t wParam, std::intptr_t lParam);

// The latest unclaimed path of each job kind (for tests and diagnostics).
struct PendingPaths {
    std::string plotFiles;
    std::string merge;
    std::string nest;
};
PendingPaths pendingPaths();

}  // namespace qks
