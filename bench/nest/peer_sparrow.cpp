#include <cmath>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "peer.h"

namespace fs = std::filesystem;

std::optional<double> runSparrow(const std::string& binary, const std::string& instance,
                                 double seconds, std::string& error) {
    std::error_code ec;
    const std::string secondsText = std::to_string(static_cast<long long>(std::lround(seconds)));
    // The peer writes its results under ./output.
    const std::optional<fs::path> work = runPeerProcess(
        binary, {"-i", fs::absolute(instance, ec).string(), "-t", secondsText, "-s", "1"},
        "qks-sparrow", false, 0, error);
    if (!work) return std::nullopt;
    std::optional<double> density;
    for (const auto& entry : fs::directory_iterator(*work / "output", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("final_", 0) != 0 || entry.path().extension() != ".json") continue;
        std::ifstream in(entry.path());
        const nlohmann::json result = nlohmann::json::parse(in, nullptr, false);
        if (result.is_discarded() || !result.contains("solution")) continue;
        density = result["solution"].value("density", 0.0) * 100.0;
    }
    if (!density) error = "the peer wrote no final solution";
    fs::remove_all(*work, ec);
    return density;
}
