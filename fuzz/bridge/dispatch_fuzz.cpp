// Bridge requests arrive from any local program that can reach the socket.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "qks/bridge/bridge.h"
#include "qks/common/utf8.h"

#include "qks/contract/version.h"

// What the bridge and the version command report: the project's own version.
static const std::string kVersion{qks::contract::kProductVersion};
static const std::string kPong = "PONG " + kVersion;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static std::atomic<bool> nestStop{false};
    static qks::Bridge bridge(nestStop);  // never started: only the dispatcher runs
    if (size > qks::kMaxBridgeMessage) return 0;
    const std::string line(reinterpret_cast<const char*>(data), size);
    const std::string reply = bridge.dispatchCommand(line);
    // The replies the bridge has: its words and its refusals ("ERR unknown", a selection the
    // window sent with nothing asked or a bad serial).
    if (reply != kPong && reply != kVersion && reply != "QUEUED" && reply != "OK" &&
        reply != "ERR unknown" && reply != "ERR bad selection" && reply != "ERR no selection asked")
        std::abort();
    const qks::PendingPaths paths = bridge.pendingPaths();
    if (!qks::isValidUtf8(paths.nest) || !qks::isValidUtf8(paths.merge) ||
        !qks::isValidUtf8(paths.plotFiles) || !qks::isValidUtf8(paths.view) ||
        !qks::isValidUtf8(paths.open))
        std::abort();
    return 0;
}
