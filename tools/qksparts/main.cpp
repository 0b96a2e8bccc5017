// qksparts [--units auto|mm|inch] [--jointol MM] [--skiplayers LIST] [--layers LIST]
//          [--no-merge] [--repeat N] DRAWING...
//
// Reads the drawings (DXF or DWG) with qkshost and prints the part kinds the nest job would
// take from them, as a parts file on standard output (millimetres). The nest log lines go to
// standard error. --repeat extracts N times and reports the time of one extraction on standard
// error, for measuring. Exits 1 when a drawing cannot be read, 2 on a bad argument.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "qks/common/job_log.h"
#include "qks/common/numbers.h"
#include "qks/contract/parts_format.h"
#include "qks/drawing/extraction.h"
#include "qks/nest/config.h"
#include "qkshost/app/host_application.h"

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: qksparts [--units auto|mm|inch] [--jointol MM] [--skiplayers LIST] "
                 "[--layers LIST] [--no-merge] [--repeat N] DRAWING...\n");
    return 2;
}

std::vector<std::string> lowerList(const std::string& text) {
    qks::nest::NestConfig config;
    std::string message;
    qks::nest::parseNestConfig("layer=" + text + "\n", config, message);
    return config.layers;
}

}  // namespace

int main(int argc, char** argv) {
    namespace host = qks::host;
    qks::drawing::ExtractionOptions options;
    bool merge = true;
    long repeat = 1;
    std::vector<std::string> drawings;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--units" && hasValue) {
            const std::string units = argv[++i];
            if (units == "mm")
                options.units = qks::contract::DrawingUnits::Millimetres;
            else if (units == "inch")
                options.units = qks::contract::DrawingUnits::Inches;
            else if (units == "auto")
                options.units = qks::contract::DrawingUnits::Auto;
            else
                return usage();
        } else if (arg == "--jointol" && hasValue) {
            options.joinTolerance = std::strtod(argv[++i], nullptr);
        } else if (arg == "--skiplayers" && hasValue) {
            options.skipLayers = lowerList(argv[++i]);
            options.skipNonCut = !options.skipLayers.empty();
        } else if (arg == "--layers" && hasValue) {
            options.layers = lowerList(argv[++i]);
        } else if (arg == "--no-merge") {
            merge = false;
        } else if (arg == "--repeat" && hasValue) {
            repeat = std::max(1L, std::strtol(argv[++i], nullptr, 10));
        } else if (!arg.empty() && arg[0] == '-') {
            return usage();
        } else {
            drawings.push_back(arg);
        }
    }
    if (drawings.empty()) return usage();

    qks::setJobLogPath(qks::LogChannel::Nest, "/dev/stderr");
    qkshost::HostApplication app;
    host::DrawingServices& ds = *app.drawingServices();
    std::vector<qks::contract::PartRecord> parts;
    std::int32_t nextId = 1;
    int status = 0;
    for (const std::string& path : drawings) {
        host::ScopedDatabase database(&ds, ds.createDatabase(false));
        std::string message;
        if (!database || !host::succeeded(ds.readDrawingFile(database.get(), path, &message))) {
            std::fprintf(stderr, "qksparts: %s: %s\n", path.c_str(), message.c_str());
            status = 1;
            continue;
        }
        const std::size_t slash = path.find_last_of('/');
        std::string stem = slash == std::string::npos ? path : path.substr(slash + 1);
        if (const std::size_t dot = stem.rfind('.'); dot != std::string::npos && dot > 0)
            stem.erase(dot);
        const auto start = std::chrono::steady_clock::now();
        for (long k = 1; k < repeat; ++k) {
            std::vector<qks::contract::PartRecord> scratch;
            std::int32_t scratchId = 1;
            qks::setJobLogPath(qks::LogChannel::Nest, {});
            qks::drawing::extractModelSpace(ds, database.get(), path, stem, options, scratch,
                                            scratchId);
        }
        qks::setJobLogPath(qks::LogChannel::Nest, "/dev/stderr");
        qks::drawing::extractModelSpace(ds, database.get(), path, stem, options, parts, nextId);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (repeat > 1)
            std::fprintf(stderr, "qksparts: %s: %.4f s per extraction\n", path.c_str(),
                         seconds / double(repeat));
    }
    if (merge) qks::drawing::mergeIdenticalKinds(parts, options.rotations, options.mirroring);
    const std::string text = qks::contract::formatParts(parts);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return status;
}
