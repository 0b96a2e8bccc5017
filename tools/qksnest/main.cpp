// qksnest CONFIG PARTSFILE [--progress PATH] [--seed N] [--iterations N]
//
// Nests a parts file under a nest job config the way the nest job does (part counts applied,
// kinds of quantity 0 dropped), runs the optimiser to its time limit (or N steps of
// improvement) and writes the progress file. Ctrl-C stops the search as the Studio's stop
// button does; the best layout is still written. Prints one summary line; exits non-zero when
// the config or parts file is unusable. On a terminal, standard error keeps a status line.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "qks/common/environment.h"
#include "qks/common/job_log.h"
#include "qks/common/numbers.h"
#include "qks/contract/names.h"
#include "qks/nest/config.h"
#include "qks/nest/config_file.h"
#include "qks/nest/parts_file.h"
#include "qks/nest/progress.h"
#include "qks/nest/runtime.h"
#include "qks/nest/session.h"

namespace {

// The runtime's stop flag, once the handlers are installed.
std::atomic<bool>* interruptFlag = nullptr;

void onInterrupt(int) {
    // Lock-free atomic store: safe in a signal handler.
    if (interruptFlag != nullptr) interruptFlag->store(true);
}

int usage() {
    std::fprintf(stderr,
                 "usage: qksnest CONFIG PARTSFILE [--progress PATH] [--seed N] "
                 "[--iterations N]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace qks::nest;
    std::string configPath, partsPath;
    std::string progressPath = qks::tempFilePath(qks::contract::kNestProgressFile);
    bool haveSeed = false;
    long long iterations = 0;
    std::uint32_t seed = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--progress" && i + 1 < argc) {
            progressPath = argv[++i];
        } else if (arg == "--iterations" && i + 1 < argc) {
            iterations = std::strtoll(argv[++i], nullptr, 10);
            if (iterations < 1) return usage();
        } else if (arg == "--seed" && i + 1 < argc) {
            haveSeed = true;
            seed = static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        } else if (!arg.empty() && arg[0] == '-' && arg != "-") {
            return usage();
        } else if (configPath.empty()) {
            configPath = arg;
        } else if (partsPath.empty()) {
            partsPath = arg;
        } else {
            return usage();
        }
    }
    if (configPath.empty() || partsPath.empty()) return usage();

    NestRuntime runtime;
    const std::shared_ptr<NestSession> session = runtime.newSession();
    std::string message;
    if (!readNestConfig(configPath, session->config, message)) {
        std::fprintf(stderr, "qksnest: %s\n", message.c_str());
        return 1;
    }
    if (!readPartsFile(partsPath, session->parts, &message)) {
        std::fprintf(stderr, "qksnest: %s\n", message.c_str());
        return 1;
    }
    applyPartCounts(session->config, session->parts);
    removeUnwantedKinds(session->parts);
    if (session->parts.empty()) {
        std::fprintf(stderr, "qksnest: 没有勾选需要套料的零件\n");
        return 1;
    }
    // The job log only when the config names one: a script run must not reset the Studio's.
    if (!session->config.log.empty()) {
        qks::setJobLogPath(qks::LogChannel::Nest, session->config.log);
        qks::resetJobLog(qks::LogChannel::Nest);
    }
    session->progressFilePath = progressPath;
    if (haveSeed) session->seed = seed;
    session->iterationLimit = iterations;

    // What the worker published last, for the status line.
    struct Status {
        std::mutex lock;
        double elapsed = 0.0;
        std::size_t sheets = 0;
        double utilisation = 0.0;
        int unplaced = 0;
        bool ended = false;
    } status;
    const bool terminal = isatty(STDERR_FILENO) != 0;
    session->onPublish = [&status](const Layout& layout, const std::string& state, double elapsed,
                                   int unplaced) {
        std::lock_guard<std::mutex> guard(status.lock);
        status.elapsed = elapsed;
        status.sheets = layout.size();
        status.utilisation = utilisation(layout);
        status.unplaced = unplaced;
        status.ended = state != "running";
    };
    writeProgressFile(*session, {}, "running", 0.0, 0);

    interruptFlag = &runtime.nestStopRequested();
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    if (!runtime.startNestWorker(session)) {
        std::fprintf(stderr, "qksnest: 无法启动套料线程\n");
        return 1;
    }
    if (terminal) {
        const auto start = std::chrono::steady_clock::now();
        auto next = start;
        while (true) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            std::lock_guard<std::mutex> guard(status.lock);
            if (status.ended) break;
            const auto now = std::chrono::steady_clock::now();
            if (now < next) continue;
            next = now + std::chrono::milliseconds(500);
            std::fprintf(stderr, "\r\033[K%.1f s | sheets %zu | utilisation %.2f%% | unplaced %d",
                         std::chrono::duration<double>(now - start).count(), status.sheets,
                         status.utilisation * 100.0, status.unplaced);
        }
        std::fprintf(stderr, "\r\033[K");
    }
    session->worker.join();

    const NestSession& s = *session;
    // The program never calls setlocale, so printf formats numbers in the "C" locale.
    std::printf(
        "sheets=%zu placed=%zu unplaced=%d utilisation=%.2f%% iterations=%lld "
        "seconds=%.2f\n",
        s.layout.size(), placementCount(s.layout), s.unplaced, s.utilisation * 100.0,
        static_cast<long long>(s.stats.iterations), s.stats.seconds);
    return 0;
}
