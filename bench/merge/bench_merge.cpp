// Merges many drawings of about 1 MB each (default 200) into one and prints the time of the
// merge, the size of the merged drawing and the peak resident memory of the process.
//
//   bench_merge [folder] [drawings] [megabytes-per-drawing]
// The inputs are written into the folder (default: a fresh one under the temporary folder,
// removed afterwards) by qkshost itself: outlines, hole circles as polylines and texts on a
// few layers, each input a little different so no two are the same file.
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "qks/common/job_log.h"
#include "qks/merge/merge.h"
#include "qkshost/app/host_application.h"

namespace {

namespace fs = std::filesystem;
namespace host = qks::host;

long peakKilobytes() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Writes one drawing of roughly `bytes` bytes; returns its real size.
std::uintmax_t writeInput(host::DrawingServices& ds, const std::string& path, int variant,
                          std::uintmax_t bytes) {
    host::ScopedDatabase db(&ds, ds.createDatabase(true));
    const char* layers[] = {"CUT", "BEND", "TEXT", "HOLES"};
    for (const char* layer : layers)
        ds.addLayer(db.get(), layer, 1 + variant % 7, nullptr);
    const host::ObjectId ms = ds.modelSpace(db.get());
    // About 180 bytes of DXF per entity.
    const int entities = static_cast<int>(bytes / 180);
    for (int i = 0; i < entities; ++i) {
        const double x = (i % 60) * 20.0 + variant, y = (i / 60) * 15.0;
        if (i % 4 == 3) {
            host::TextSpec text;
            text.position = {x + 2, y + 2, 0};
            text.contents = "P-" + std::to_string(variant) + "-" + std::to_string(i);
            text.height = 2.5;
            text.rotation = 0.3;
            text.layer = "TEXT";
            ds.addText(ms, text, nullptr);
        } else {
            std::vector<host::Point3d> outline = {
                {x, y, 0}, {x + 16, y, 0}, {x + 16, y + 11, 0}, {x + 8, y + 13, 0}, {x, y + 11, 0}};
            ds.addLwPolyline(ms, outline, true, layers[i % 2 == 0 ? 0 : (i % 3 == 1 ? 1 : 3)],
                             nullptr);
        }
    }
    std::string written, message;
    if (!host::succeeded(ds.saveDatabase(db.get(), path, &written, &message))) {
        std::fprintf(stderr, "cannot write %s: %s\n", path.c_str(), message.c_str());
        std::exit(1);
    }
    return fs::file_size(path);
}

}  // namespace

int main(int argc, char** argv) {
    std::string folder = argc > 1 ? argv[1] : std::string();
    const int drawings = argc > 2 ? std::atoi(argv[2]) : 200;
    const double megabytes = argc > 3 ? std::atof(argv[3]) : 1.0;
    bool removeFolder = false;
    if (folder.empty()) {
        std::string pattern = (fs::temp_directory_path() / "qks-bench-merge-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) return 1;
        folder = pattern;
        removeFolder = true;
    }
    fs::create_directories(folder);

    qkshost::HostApplication app;
    app.setOutputSink([](std::string_view) {});
    host::DrawingServices& ds = *app.drawingServices();

    qks::contract::MergeJobConfig config;
    config.columns = 20;
    std::uintmax_t inputBytes = 0;
    const auto written = std::chrono::steady_clock::now();
    for (int i = 0; i < drawings; ++i) {
        const std::string path = folder + "/part" + std::to_string(i) + ".dxf";
        if (!fs::exists(path))
            writeInput(ds, path, i, static_cast<std::uintmax_t>(megabytes * 1024 * 1024));
        inputBytes += fs::file_size(path);
        config.files.push_back(path);
    }
    const double writeSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - written).count();
    const long peakBefore = peakKilobytes();

    config.outDwg = folder + "/merged.dxf";
    qks::setJobLogPath(qks::LogChannel::Plot, folder + "/merge.log");
    qks::resetJobLog(qks::LogChannel::Plot);
    std::string message;
    int count = 0;
    const auto start = std::chrono::steady_clock::now();
    const bool ok = qks::merge::mergeDrawings(ds, config, message, count);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const long peakAfter = peakKilobytes();

    std::printf("inputs          %d drawings, %.1f MB in all (%.2f MB each; written in %.1f s)\n",
                drawings, inputBytes / 1048576.0, inputBytes / 1048576.0 / drawings, writeSeconds);
    std::printf("merge           %s, %d merged, %.2f s (%.1f ms per drawing)\n",
                ok ? "saved" : message.c_str(), count, seconds, 1000 * seconds / drawings);
    if (ok) std::printf("merged drawing  %.1f MB\n", fs::file_size(config.outDwg) / 1048576.0);
    std::printf("peak memory     %.1f MB before the merge, %.1f MB after\n", peakBefore / 1024.0,
                peakAfter / 1024.0);
    qks::setJobLogPath(qks::LogChannel::Plot, {});
    if (removeFolder) fs::remove_all(folder);
    return ok ? 0 : 1;
}
