#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "peer.h"

namespace fs = std::filesystem;

std::optional<double> runSparrow(const std::string& binary, const std::string& instance,
                                 double seconds, std::string& error) {
    std::error_code ec;
    const fs::path binaryPath = fs::absolute(binary, ec);
    const fs::path instancePath = fs::absolute(instance, ec);
    char pattern[] = "/tmp/qks-sparrow-XXXXXX";
    if (!mkdtemp(pattern)) {
        error = "no temporary folder";
        return std::nullopt;
    }
    const fs::path work = pattern;
    const std::string secondsText = std::to_string(static_cast<long long>(std::lround(seconds)));
    // What stdio holds unwritten would otherwise be written twice, once by the child.
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        // The peer writes its results under ./output and logs to the terminal; keep the
        // table readable.
        if (chdir(work.c_str()) != 0) _exit(127);
        std::freopen("/dev/null", "w", stdout);
        std::freopen((work / "peer.log").c_str(), "w", stderr);
        execl(binaryPath.c_str(), binaryPath.c_str(), "-i", instancePath.c_str(), "-t",
              secondsText.c_str(), "-s", "1", static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        error = "the peer failed (log in " + (work / "peer.log").string() + ")";
        return std::nullopt;
    }
    std::optional<double> density;
    for (const auto& entry : fs::directory_iterator(work / "output", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("final_", 0) != 0 || entry.path().extension() != ".json") continue;
        std::ifstream in(entry.path());
        const nlohmann::json result = nlohmann::json::parse(in, nullptr, false);
        if (result.is_discarded() || !result.contains("solution")) continue;
        density = result["solution"].value("density", 0.0) * 100.0;
    }
    if (!density) error = "the peer wrote no final solution";
    fs::remove_all(work, ec);
    return density;
}
