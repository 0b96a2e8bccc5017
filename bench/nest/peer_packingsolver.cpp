#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "peer.h"

namespace fs = std::filesystem;
using Json = nlohmann::json;

namespace {

// A ring from the solver's shape elements (line segments from (xs, ys) to (xe, ye)): their
// start points in order. Its instances here have straight edges only.
qks::nest::Outline ringOf(const Json& elements) {
    qks::nest::Outline ring;
    for (const Json& e : elements)
        ring.push_back({e.at("xs").get<double>(), e.at("ys").get<double>()});
    return ring;
}

// The layout from the solver's certificate: every item shape of every placed item, already
// turned and moved.
std::vector<PackingSolverSheet> layoutOf(const Json& certificate) {
    std::vector<PackingSolverSheet> layout;
    if (!certificate.contains("bins")) return layout;
    for (const Json& bin : certificate.at("bins")) {
        PackingSolverSheet sheet;
        sheet.copies = bin.value("copies", 1);
        if (bin.contains("items"))
            for (const Json& item : bin.at("items"))
                for (const Json& shape : item.at("item_shapes")) {
                    PlacedPart part;
                    part.outline = ringOf(shape.at("shape"));
                    if (shape.contains("holes"))
                        for (const Json& hole : shape.at("holes"))
                            part.holes.push_back(ringOf(hole));
                    sheet.parts.push_back(std::move(part));
                }
        layout.push_back(std::move(sheet));
    }
    return layout;
}

}  // namespace

std::optional<PackingSolverResult> runPackingSolver(const std::string& binary,
                                                    const std::string& instance, double seconds,
                                                    std::string& error) {
    std::error_code ec;
    const auto t0 = std::chrono::steady_clock::now();
    // Two processors, as our search gets two threads: the solver runs one thread per algorithm
    // and has no option to limit them.
    const std::optional<fs::path> work = runPeerProcess(
        binary,
        {"--input", fs::absolute(instance, ec).string(), "--time-limit", std::to_string(seconds),
         "--verbosity-level", "1", "--linear-programming-solver", "highs",
         "--only-write-at-the-end", "--output", "output.json", "--certificate", "solution.json"},
        "qks-packingsolver", true, 2, error);
    if (!work) return std::nullopt;
    PackingSolverResult result;
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::ifstream outputFile(*work / "output.json");
    const Json output = Json::parse(outputFile, nullptr, false);
    std::ifstream certificateFile(*work / "solution.json");
    const Json certificate = Json::parse(certificateFile, nullptr, false);
    try {
        if (output.is_discarded() || certificate.is_discarded()) {
            error = "the peer wrote no solution (log in " + (*work / "peer.log").string() + ")";
            return std::nullopt;
        }
        const Json& solution = output.at("Output").at("Solution");
        result.sheets = solution.at("NumberOfBins").get<int>();
        result.placed = solution.at("NumberOfItems").get<int>();
        result.layout = layoutOf(certificate);
    } catch (const Json::exception& e) {
        error = std::string("the peer's output: ") + e.what();
        return std::nullopt;
    }
    fs::remove_all(*work, ec);
    return result;
}
