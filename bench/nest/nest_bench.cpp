// Nesting benchmark, run by hand:
//   nest_bench [--jobs DIR] [--esicup DIR] [--seconds 20] [--esicup-seconds 10]
//              [--peer-limit 120] [--no-peer] [--no-jobs] [--no-esicup] [--only NAME]
//              [--esicup-cell 2] [--sparrow PEER_BINARY] [--no-common] [--common]
//              [--binpack DIR [--packingsolver PEER_BINARY] [--binpack-seconds 10]
//               [--binpack-sample 60] [--binpack-cell 1]]
//
// For each bundled job (small, medium, large): time to the first layout, iterations per
// second, utilisation and sheets after 5 and 20 seconds, and libnest2d on the same parts and
// sheets. Then the ESICUP strip-packing instances: one sheet as wide as the strip (scaled to
// 3,000 units), tall enough for everything, rotation and mirroring off; density = part area /
// (strip width x height used), beside the published densities.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

#include "binpack.h"
#include "esicup.h"
#include "peer.h"
#include "qks/nest/common_line.h"
#include "qks/nest/config.h"
#include "qks/nest/config_file.h"
#include "qks/nest/geometry.h"
#include "qks/nest/parts_file.h"
#include "qks/nest/session.h"
#include "qks/nest/stock.h"

#ifndef QKS_WITH_LIBNEST2D
PeerResult runLibnest2d(const std::vector<qks::nest::NestPart>&, double, double, double, double,
                        double) {
    return {};
}
#endif

using namespace qks::nest;

namespace {

struct Options {
    std::string jobs = QKS_NEST_BENCH_JOBS;
    std::string esicup = QKS_NEST_BENCH_ESICUP;
    double seconds = 20;
    double esicupSeconds = 10;
    double peerLimit = 120;
    bool peer = true;
    bool runJobs = true;
    bool runEsicup = true;
    std::string only;
    std::vector<NestStrategy> strategies{NestStrategy::Standard, NestStrategy::Dense};
    int threads = 0;
    std::string curve;  // CSV of the published utilisation over time on the large job
    double esicupCell = 2;
    bool trace = false;  // every publication of a strip's layout to stderr
    // Steps of each strip run (0: the seconds alone); with one thread a run then repeats, so
    // two builds can be compared by the layout digest printed beside the density.
    std::int64_t esicupSteps = 0;
    DenseTuning dense;        // --dense NAME=VALUE changes one of its knobs for experiments
    std::string sparrow;      // the peer's binary: the ESICUP instances run against it alone
    bool commonLine = true;   // the common-line table after the jobs
    bool commonOnly = false;  // that table alone
    // The sheet benchmark (binpack.h) in place of everything else, then the mixed-stock table.
    std::string binpack;
    BinpackOptions binpackOptions;
};

bool setDenseKnob(DenseTuning& t, const std::string& text) {
    const std::size_t eq = text.find('=');
    if (eq == std::string::npos) return false;
    const std::string name = text.substr(0, eq);
    const double v = std::atof(text.c_str() + eq + 1);
    const std::map<std::string, std::function<void()>> knobs{
        {"firstShrink", [&] { t.firstShrink = v; }},
        {"shrinkDecay", [&] { t.shrinkDecay = v; }},
        {"swapPairs", [&] { t.swapPairs = v != 0; }},
        {"stallPasses", [&] { t.stallPasses = static_cast<int>(v); }},
        {"patientStallPasses", [&] { t.patientStallPasses = static_cast<int>(v); }},
        {"stuckRetries", [&] { t.stuckRetries = static_cast<int>(v); }},
        {"slideCut", [&] { t.slideCut = v != 0; }},
        {"refitStuck", [&] { t.refitStuck = v != 0; }},
        {"coarseFactor", [&] { t.coarseFactor = static_cast<int>(v); }},
        {"coarseShare", [&] { t.coarseShare = v; }},
        {"exactAfter", [&] { t.exactAfter = v; }},
        {"exactProbe", [&] { t.exactProbe = v; }},
        {"lanesApart", [&] { t.lanesApart = v != 0; }},
        {"sampleRowStride", [&] { t.sampleRowStride = static_cast<int>(v); }},
        {"strikes", [&] { t.strikes = static_cast<int>(v); }},
        {"globalSamples", [&] { t.globalSamples = static_cast<int>(v); }},
        {"localSamples", [&] { t.localSamples = static_cast<int>(v); }},
        {"weightGrowth", [&] { t.weightGrowth = v; }},
        {"pairOverlapStrips", [&] { t.pairOverlapStrips = v; }},
    };
    const auto knob = knobs.find(name);
    if (knob == knobs.end()) return false;
    knob->second();
    return true;
}

const char* nameOf(NestStrategy s) {
    return s == NestStrategy::Dense ? "dense" : "standard";
}

struct Snapshot {
    double elapsed = 0;
    double utilisation = 0;
    std::size_t sheets = 0;
    int unplaced = 0;
};

Snapshot at(const std::vector<Snapshot>& list, double seconds) {
    Snapshot best;
    for (const Snapshot& s : list)
        if (s.elapsed <= seconds + 1e-9) best = s;
    return best;
}

// A bundled job's session as the runs take it: its counts applied, the run's seconds, strategy,
// threads and tuning, seed 1. Null, with a line printed, when the job cannot be read.
std::shared_ptr<NestSession> loadJob(const Options& o, const std::string& name,
                                     NestStrategy strategy) {
    auto session = std::make_shared<NestSession>();
    std::string message;
    if (!readNestConfig(o.jobs + "/" + name + ".cfg", session->config, message) ||
        !readPartsFile(o.jobs + "/" + name + "_parts.txt", session->parts, &message)) {
        std::printf("%-8s cannot load: %s\n", name.c_str(), message.c_str());
        return nullptr;
    }
    applyPartCounts(session->config, session->parts);
    removeUnwantedKinds(session->parts);
    // Irregular remnants before the sheets, as a job's stock drawing gives them.
    std::vector<NestPart> remnants;
    if (std::filesystem::exists(o.jobs + "/" + name + "_stock.txt") &&
        readPartsFile(o.jobs + "/" + name + "_stock.txt", remnants))
        for (auto piece = remnants.rbegin(); piece != remnants.rend(); ++piece)
            session->config.sheets.insert(
                session->config.sheets.begin(),
                stockPiece(piece->outline, piece->holes, session->config.gap));
    session->config.seconds = o.seconds;
    session->config.strategy = strategy;
    session->config.threads = o.threads;
    session->denseTuning = o.dense;
    session->seed = 1;
    return session;
}

// partInPart: -1 keeps the job's own setting, 0 or 1 overrides it.
void runJob(const Options& o, const std::string& name, NestStrategy strategy, std::FILE* curve,
            int partInPart = -1) {
    const std::shared_ptr<NestSession> session = loadJob(o, name, strategy);
    if (!session) return;
    std::size_t instances = 0;
    for (const NestPart& p : session->parts)
        instances += p.quantity;
    if (partInPart >= 0) session->config.partInPart = partInPart != 0;
    std::vector<Snapshot> published;
    session->onPublish = [&](const Layout& layout, const std::string&, double elapsed,
                             int unplaced) {
        published.push_back({elapsed, utilisation(layout), layout.size(), unplaced});
        if (curve)
            std::fprintf(curve, "%s,%.3f,%.4f\n", nameOf(strategy), elapsed,
                         utilisation(layout) * 100);
    };
    runNestSearch(*session);
    const NestRunStats& st = session->stats;
    const Snapshot five = at(published, 5.0);
    const Snapshot twenty = at(published, 20.0);
    const Snapshot end = published.back();
    double stockArea = 0;
    for (const SheetLayout& sheet : session->layout)
        stockArea += sheetArea(sheet);
    const double searchTime = std::max(1e-9, st.seconds - st.firstLayoutSeconds);
    std::printf(
        "| %-8s | %-11s | %5zu | %.3f s, %zu sheets, %.2f%% | %6.0f it/s | %.2f%%, %zu sheets | "
        "%.2f%%, %zu sheets | %.2f%%, %zu sheets, %.2f m2, unplaced %d |\n",
        name.c_str(),
        (std::string(nameOf(strategy)) +
         (strategy == NestStrategy::Dense && session->config.partInPart ? "+holes" : ""))
            .c_str(),
        instances, st.firstLayoutSeconds, published.front().sheets,
        published.front().utilisation * 100, st.iterations / searchTime, five.utilisation * 100,
        five.sheets, twenty.utilisation * 100, twenty.sheets, end.utilisation * 100, end.sheets,
        stockArea / 1e6, end.unplaced);
    if (stockPieceCount(session->config) > 0) {
        // What went onto the remnants: parts and the share of each piece's area they cover.
        std::string pieces;
        for (const SheetLayout& sheet : session->layout) {
            if (!sheet.mask) continue;
            char one[96];
            std::snprintf(one, sizeof one, "%sremnant %d: %zu parts, %.1f%%",
                          pieces.empty() ? "" : "; ", sheet.stockIndex + 1, sheet.placements.size(),
                          sheet.usedArea / sheetArea(sheet) * 100);
            pieces += one;
        }
        std::printf("| %-8s | %-11s | | %s | | | | |\n", "", "", pieces.c_str());
    }
    std::fflush(stdout);
}

// Highest point of the placed outlines on the last sheet, y up from its lower edge: what the
// job leaves of that sheet grows as it falls.
double lastSheetHeight(const std::vector<NestPart>& parts, const Layout& layout,
                       const NestConfig& config, const CommonLineResult* common) {
    if (layout.empty()) return 0.0;
    const SheetLayout& sheet = layout.back();
    const double pad = gapPadLength(config);
    double top = 0.0;
    for (std::size_t k = 0; k < sheet.placements.size(); ++k) {
        const Placement& p = sheet.placements[k];
        const PlacedShape shape =
            placeShape(parts[static_cast<std::size_t>(p.partIndex)], p.angle, p.mirrored, 0.0, 0.0,
                       config.margin, pad, config.cell, p.column, p.row);
        const double dy = common ? common->sheets.back().placements[k].shift.y : 0.0;
        top = std::max(top, boundsOf(shape.outline).maxY + dy);
    }
    return top;
}

// The job's search, then the common-line pass on its layout: the cut length with and without,
// the saving, utilisation (the pass moves parts, never onto another sheet), how high the last
// sheet is used, and the pass's time beside the search's, since the user waits for both.
void runCommonLine(const Options& o, const std::string& name, NestStrategy strategy) {
    const std::shared_ptr<NestSession> session = loadJob(o, name, strategy);
    if (!session) return;
    runNestSearch(*session);
    const auto t0 = std::chrono::steady_clock::now();
    const CommonLineResult common =
        shareCommonLines(session->config, session->parts, session->layout);
    const double passSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double before =
        lastSheetHeight(session->parts, session->layout, session->config, nullptr);
    const double after = lastSheetHeight(session->parts, session->layout, session->config, &common);
    std::printf(
        "| %-8s | %-8s | %zu | %.2f%% | %.1f m | %.1f m | %.3f m (%.1f%%) | %.0f -> %.0f mm "
        "| %.3f s | %.2f%% |\n",
        name.c_str(), nameOf(strategy), session->layout.size(), session->utilisation * 100,
        common.cutLength / 1000, (common.cutLength - common.savedLength) / 1000,
        common.savedLength / 1000,
        common.cutLength > 0 ? common.savedLength / common.cutLength * 100 : 0.0, before, after,
        passSeconds, passSeconds / std::max(session->config.seconds, 1e-9) * 100);
    std::fflush(stdout);
}

void runPeer(const Options& o, const std::string& name) {
    NestConfig config;
    std::vector<NestPart> parts;
    std::string message;
    if (!readNestConfig(o.jobs + "/" + name + ".cfg", config, message) ||
        !readPartsFile(o.jobs + "/" + name + "_parts.txt", parts, &message))
        return;
    applyPartCounts(config, parts);
    removeUnwantedKinds(parts);
    const SheetStock& sheet = config.sheets.front();
    const PeerResult peer =
        runLibnest2d(parts, sheet.width, sheet.height, config.gap, config.margin, o.peerLimit);
    if (!peer.available) {
        std::printf("| %-8s | libnest2d not built in |\n", name.c_str());
        return;
    }
    std::printf("| %-8s | libnest2d | %d sheets (%g x %g only), %d placed, %.2f%%, %.1f s%s |\n",
                name.c_str(), peer.sheets, sheet.width, sheet.height, peer.placed,
                peer.utilisation * 100, peer.seconds,
                peer.timedOut ? " (stopped at the limit)" : "");
    std::fflush(stdout);
}

struct Published {
    double before2025, current, best;
};

// The instance's items as parts of a strip: its fixed side becomes the sheet's width (x), the
// length to minimise grows upwards with the skyline. Swapping x and y mirrors every shape, which
// changes nothing for the density.
struct Strip {
    std::vector<NestPart> parts;
    std::map<std::int32_t, PartRotation> rotations;
    double area = 0.0;
    double tallest = 0.0;
};

Strip stripOf(const EsicupInstance& inst) {
    Strip strip;
    const double scale = 3000.0 / inst.stripHeight;
    int id = 1;
    for (const EsicupItem& item : inst.items) {
        NestPart p;
        p.id = id++;
        p.quantity = item.demand;
        PartRotation rotation;
        rotation.angles.clear();
        for (double a : item.orientations)
            rotation.angles.push_back(static_cast<std::int32_t>(std::lround(a)) % 360);
        if (rotation.angles.empty()) rotation.angles.push_back(0);
        strip.rotations[p.id] = rotation;
        for (const Point& q : item.shape)
            p.outline.push_back({q.y * scale, q.x * scale});
        measureOutline(p);
        strip.area += p.area * p.quantity;
        strip.tallest = std::max(strip.tallest, p.height);
        strip.parts.push_back(p);
    }
    return strip;
}

bool inside(const std::vector<Point>& ring, double x, double y) {
    bool in = false;
    for (std::size_t i = 0, j = ring.size() - 1; i < ring.size(); j = i++) {
        const Point& a = ring[i];
        const Point& b = ring[j];
        if ((a.y > y) != (b.y > y) && x < a.x + (b.x - a.x) * (y - a.y) / (b.y - a.y)) in = !in;
    }
    return in;
}

// The area where two placed outlines overlap, summed over the pairs, estimated on sample points
// `step` apart: a density is only worth comparing when its layout holds no overlap.
double overlapArea(const std::vector<std::vector<Point>>& outlines, double step) {
    std::vector<Bounds> boxes;
    for (const auto& o : outlines)
        boxes.push_back(boundsOf(o));
    double area = 0;
    for (std::size_t i = 0; i < outlines.size(); ++i)
        for (std::size_t j = i + 1; j < outlines.size(); ++j) {
            const double x0 = std::max(boxes[i].minX, boxes[j].minX);
            const double x1 = std::min(boxes[i].maxX, boxes[j].maxX);
            const double y0 = std::max(boxes[i].minY, boxes[j].minY);
            const double y1 = std::min(boxes[i].maxY, boxes[j].maxY);
            if (x0 >= x1 || y0 >= y1) continue;
            for (double y = y0 + step / 2; y < y1; y += step)
                for (double x = x0 + step / 2; x < x1; x += step)
                    if (inside(outlines[i], x, y) && inside(outlines[j], x, y)) area += step * step;
        }
    return area;
}

// FNV-1a over every placement's part, turn, mirroring and cell: equal layouts, equal digests.
std::uint64_t digestOf(const Layout& layout) {
    std::uint64_t h = 14695981039346656037ull;
    auto mix = [&h](std::int64_t v) {
        for (int i = 0; i < 8; ++i, v >>= 8)
            h = (h ^ static_cast<std::uint8_t>(v)) * 1099511628211ull;
    };
    for (const auto& sheet : layout)
        for (const Placement& pl : sheet.placements) {
            mix(pl.partIndex);
            mix(pl.angle);
            mix(pl.mirrored);
            mix(pl.column);
            mix(pl.row);
        }
    return h;
}

// The density in percent of one run of `strategy` on the instance, measured on the placed
// outlines; nothing when a sheet long enough for every piece was not found. `overlap` gets the
// share of the part area where outlines overlap, in percent.
std::optional<double> stripDensity(const Options& o, const EsicupInstance& inst,
                                   NestStrategy strategy, std::int64_t& iterations,
                                   double& overlap) {
    const Strip strip = stripOf(inst);
    double sheetLength = 2.0 * strip.area / 3000.0 + 2 * strip.tallest;
    for (int attempt = 0; attempt < 4; ++attempt, sheetLength *= 1.6) {
        NestSession s;
        s.parts = strip.parts;
        s.config.sheets = {{3000.0, sheetLength, 1}};  // width along the strip's fixed side
        s.config.gap = 0;
        s.config.margin = 0;
        s.config.cell = o.esicupCell;
        s.config.rotate = false;
        s.config.mirror = false;
        s.config.partRotations = strip.rotations;
        s.config.strategy = strategy;
        s.config.threads = o.threads;
        s.config.seconds = o.esicupSeconds;
        s.denseTuning = o.dense;
        s.seed = 1;
        s.iterationLimit = o.esicupSteps;
        std::vector<std::vector<Point>> outlines;
        // The used length of the layout's first sheet, its outlines left in `outlines`.
        auto usedLength = [&](const Layout& layout) {
            double used = 0;
            outlines.clear();
            for (const Placement& pl : layout[0].placements) {
                const PlacedShape shape =
                    placeShape(strip.parts[pl.partIndex], pl.angle, pl.mirrored, 0, 0, 0,
                               padLength(0, o.esicupCell), o.esicupCell, pl.column, pl.row);
                used = std::max(used, boundsOf(shape.outline).maxY);
                outlines.push_back(shape.outline);
            }
            return used;
        };
        if (o.trace)
            s.onPublish = [&](const Layout& layout, const std::string&, double elapsed, int) {
                if (layout.size() == 1)
                    std::fprintf(stderr, "%s %.1f s: %.2f %%\n", inst.name.c_str(), elapsed,
                                 strip.area / (3000.0 * usedLength(layout)) * 100);
            };
        runNestSearch(s);
        if (s.unplaced > 0 || s.layout.empty()) continue;
        const double used = usedLength(s.layout);
        overlap = overlapArea(outlines, o.esicupCell / 4) / strip.area * 100;
        iterations = s.stats.iterations;
        if (o.esicupSteps > 0)
            std::printf("%s layout %016llx\n", inst.name.c_str(),
                        static_cast<unsigned long long>(digestOf(s.layout)));
        return strip.area / (3000.0 * used) * 100;
    }
    return std::nullopt;
}

void runStrip(const Options& o, const std::string& path, NestStrategy strategy,
              std::vector<double>& gaps) {
    EsicupInstance inst;
    std::string error;
    if (!readEsicup(path, inst, error)) {
        std::printf("%s\n", error.c_str());
        return;
    }
    static const std::map<std::string, Published> published{
        {"albano", {88.01, 89.34, 89.82}},   {"blaz1", {85.49, 84.65, 86.22}},
        {"dagli", {87.50, 89.06, 90.17}},    {"fu", {91.95, 92.19, 92.40}},
        {"jakobs1", {89.09, 89.09, 89.25}},  {"jakobs2", {83.56, 84.44, 87.72}},
        {"mao", {83.76, 86.09, 86.87}},      {"marques", {89.97, 90.90, 92.02}},
        {"shapes0", {68.73, 68.60, 69.98}},  {"shapes1", {75.86, 75.75, 76.72}},
        {"shirts", {88.21, 89.67, 90.92}},   {"swim", {74.66, 78.11, 79.83}},
        {"trousers", {90.48, 91.65, 92.62}},
    };
    std::int64_t iterations = 0;
    double overlap = 0;
    const std::optional<double> density = stripDensity(o, inst, strategy, iterations, overlap);
    if (!density) {
        std::printf("| %-9s | %-8s | could not place every piece |\n", inst.name.c_str(),
                    nameOf(strategy));
        return;
    }
    const auto ref = published.find(inst.name);
    const double current = ref != published.end() ? ref->second.current : 0.0;
    std::printf("| %-9s | %-8s | %6.2f%% | %6.2f%% | %6.2f | %lld it | %.3f%% |\n",
                inst.name.c_str(), nameOf(strategy), *density, current, current - *density,
                static_cast<long long>(iterations), overlap);
    gaps.push_back(current - *density);
    std::fflush(stdout);
}

// The dense search and the sparrow peer taking turns on every instance: same seconds, seed 1,
// the peer with the threads it was built for, ours with --threads.
void runVersusSparrow(const Options& o, const std::vector<std::string>& files) {
    if (access(o.sparrow.c_str(), X_OK) != 0) {
        std::printf("sparrow peer not found at %s: comparison skipped\n", o.sparrow.c_str());
        return;
    }
    std::printf("dense (%d threads, cell %g) against sparrow, %g s each, seed 1\n\n", o.threads,
                o.esicupCell, o.esicupSeconds);
    std::printf("| instance | dense | sparrow | behind by | overlap |\n|---|--:|--:|--:|--:|\n");
    double sum = 0;
    int count = 0, ahead = 0;
    for (const std::string& f : files) {
        EsicupInstance inst;
        std::string error;
        if (!readEsicup(f, inst, error)) {
            std::printf("%s\n", error.c_str());
            continue;
        }
        std::int64_t iterations = 0;
        double overlap = 0;
        const std::optional<double> ours =
            stripDensity(o, inst, NestStrategy::Dense, iterations, overlap);
        const std::optional<double> peer = runSparrow(o.sparrow, f, o.esicupSeconds, error);
        if (!ours || !peer) {
            std::printf("| %s | %s | %s | |\n", inst.name.c_str(),
                        ours ? std::to_string(*ours).c_str() : "none",
                        peer ? std::to_string(*peer).c_str() : error.c_str());
            continue;
        }
        std::printf("| %s | %.2f | %.2f | %.2f | %.3f%% |\n", inst.name.c_str(), *ours, *peer,
                    *peer - *ours, overlap);
        std::fflush(stdout);
        sum += *peer - *ours;
        ++count;
        ahead += *ours > *peer;
    }
    if (count > 0)
        std::printf("\nmean gap %.2f points; ahead on %d of %d instances\n", sum / count, ahead,
                    count);
}

// Full-sheet area and sheets of a finished session, and how many stock pieces it used (they
// are already in the shop, so they count apart).
struct StockUse {
    double area = 0.0;
    int sheets = 0;
    int pieces = 0;
    int unplaced = 0;
};

StockUse stockUse(const NestSession& session) {
    StockUse use;
    for (const SheetLayout& sheet : session.layout) {
        if (sheet.mask) {
            ++use.pieces;
            continue;
        }
        use.area += sheetArea(sheet);
        ++use.sheets;
    }
    use.unplaced = session.unplaced;
    return use;
}

std::string describe(const StockUse& use) {
    char text[96];
    std::snprintf(text, sizeof text, "%.2f m2, %d sheets%s", use.area / 1e6, use.sheets,
                  use.pieces ? (", " + std::to_string(use.pieces) + " pieces").c_str() : "");
    std::string out = text;
    if (use.unplaced > 0) out += ", " + std::to_string(use.unplaced) + " left out";
    return out;
}

// Each bundled job with its mixed stock, once per strategy, beside the best layout of the job
// on one rectangular stock entry alone (dense, the entry's own count, the stock pieces still
// first): the mixed stock should never cost more sheet area than the best single entry.
void runMixedStock(const Options& o) {
    std::printf("\n| job | standard | dense | best single entry (dense) |\n|---|---|---|---|\n");
    for (const char* name : {"small", "medium", "large", "flanges", "remnants", "cover"}) {
        if (!o.only.empty() && o.only != name) continue;
        std::string cells[2];
        for (int k = 0; k < 2; ++k) {
            const NestStrategy strategy = k == 0 ? NestStrategy::Standard : NestStrategy::Dense;
            const std::shared_ptr<NestSession> session = loadJob(o, name, strategy);
            if (!session) return;
            runNestSearch(*session);
            cells[k] = describe(stockUse(*session));
        }
        std::optional<StockUse> best;
        std::string bestEntry;
        const std::shared_ptr<NestSession> job = loadJob(o, name, NestStrategy::Dense);
        for (std::size_t entry = 0; entry < job->config.sheets.size(); ++entry) {
            if (job->config.sheets[entry].shape) continue;
            const std::shared_ptr<NestSession> single = loadJob(o, name, NestStrategy::Dense);
            std::vector<SheetStock> stock;
            for (const SheetStock& s : single->config.sheets)
                if (s.shape) stock.push_back(s);
            stock.push_back(single->config.sheets[entry]);
            single->config.sheets = stock;
            runNestSearch(*single);
            const StockUse use = stockUse(*single);
            if (use.unplaced == 0 && (!best || use.area < best->area - 1e-6)) {
                best = use;
                const SheetStock& s = job->config.sheets[entry];
                char text[64];
                std::snprintf(text, sizeof text, " (%gx%g)", s.width, s.height);
                bestEntry = text;
            }
        }
        std::printf("| %-8s | %s | %s | %s |\n", name, cells[0].c_str(), cells[1].c_str(),
                    best ? (describe(*best) + bestEntry).c_str() : "none places every part");
        std::fflush(stdout);
    }
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
        if (a == "--jobs")
            o.jobs = next();
        else if (a == "--esicup")
            o.esicup = next();
        else if (a == "--seconds")
            o.seconds = std::atof(next().c_str());
        else if (a == "--esicup-seconds")
            o.esicupSeconds = std::atof(next().c_str());
        else if (a == "--peer-limit")
            o.peerLimit = std::atof(next().c_str());
        else if (a == "--no-peer")
            o.peer = false;
        else if (a == "--no-jobs")
            o.runJobs = false;
        else if (a == "--no-esicup")
            o.runEsicup = false;
        else if (a == "--no-common")
            o.commonLine = false;
        else if (a == "--common")
            o.commonOnly = true;
        else if (a == "--esicup-steps")
            o.esicupSteps = std::atoll(next().c_str());
        else if (a == "--trace")
            o.trace = true;
        else if (a == "--only")
            o.only = next();
        else if (a == "--strategy") {
            const std::string v = next();
            o.strategies.clear();
            if (v != "dense") o.strategies.push_back(NestStrategy::Standard);
            if (v != "standard") o.strategies.push_back(NestStrategy::Dense);
        } else if (a == "--threads")
            o.threads = std::atoi(next().c_str());
        else if (a == "--curve")
            o.curve = next();
        else if (a == "--dense") {
            if (!setDenseKnob(o.dense, next())) {
                std::fprintf(stderr, "unknown dense knob\n");
                return 2;
            }
        } else if (a == "--esicup-cell")
            o.esicupCell = std::atof(next().c_str());
        else if (a == "--binpack")
            o.binpack = next();
        else if (a == "--packingsolver")
            o.binpackOptions.packingsolver = next();
        else if (a == "--binpack-seconds")
            o.binpackOptions.seconds = std::atof(next().c_str());
        else if (a == "--binpack-sample")
            o.binpackOptions.sample = std::atoi(next().c_str());
        else if (a == "--binpack-cell")
            o.binpackOptions.cell = std::atof(next().c_str());
        else if (a == "--sparrow") {
            o.sparrow = next();
            o.runJobs = false;
        } else {
            std::fprintf(stderr, "unknown option %s\n", a.c_str());
            return 2;
        }
    }
    if (!o.binpack.empty()) {
        BinpackOptions& b = o.binpackOptions;
        b.data = o.binpack;
        b.threads = o.threads > 0 ? o.threads : 2;
        b.only = o.only;
        b.dense = o.dense;
        runBinpack(b);
        if (o.runJobs) runMixedStock(o);
        return 0;
    }
    if (o.runJobs && !o.commonOnly) {
        std::FILE* curve = o.curve.empty() ? nullptr : std::fopen(o.curve.c_str(), "w");
        if (curve) std::fprintf(curve, "strategy,seconds,utilisation\n");
        std::printf(
            "| job | strategy | instances | first layout | search | at 5 s | at 20 s | at end "
            "|\n");
        for (const char* name : {"small", "medium", "large", "flanges", "remnants", "cover"}) {
            if (!o.only.empty() && o.only != name) continue;
            for (NestStrategy strategy : o.strategies)
                runJob(o, name, strategy, std::string(name) == "large" ? curve : nullptr);
            // Parts in holes against the same search without them.
            if (std::string(name) == "flanges" &&
                std::find(o.strategies.begin(), o.strategies.end(), NestStrategy::Dense) !=
                    o.strategies.end())
                runJob(o, name, NestStrategy::Dense, nullptr, 0);
            if (o.peer) runPeer(o, name);
        }
        if (curve) std::fclose(curve);
    }
    if (o.runJobs && o.commonLine) {
        std::printf(
            "\ncommon line\n\n| job | strategy | sheets | utilisation | cut | cut with "
            "common line | saved | last sheet used to | pass | of search |\n"
            "|---|---|--:|--:|--:|--:|--:|--:|--:|--:|\n");
        for (const char* name :
             {"small", "medium", "large", "flanges", "remnants", "rects", "cover"}) {
            if (!o.only.empty() && o.only != name) continue;
            for (NestStrategy strategy : o.strategies)
                runCommonLine(o, name, strategy);
        }
    }
    if (o.runEsicup && !o.commonOnly) {
        std::vector<std::string> files;
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(o.esicup, ec))
            if (entry.path().extension() == ".json") files.push_back(entry.path().string());
        std::sort(files.begin(), files.end());
        if (!o.only.empty())
            files.erase(std::remove_if(files.begin(), files.end(),
                                       [&](const std::string& f) {
                                           return std::filesystem::path(f).stem() != o.only;
                                       }),
                        files.end());
        if (!o.sparrow.empty()) {
            runVersusSparrow(o, files);
            return 0;
        }
        std::printf(
            "| instance | strategy | density | current best method | gap | search | overlap |\n");
        std::map<NestStrategy, std::vector<double>> gaps;
        for (const std::string& f : files)
            for (NestStrategy strategy : o.strategies)
                runStrip(o, f, strategy, gaps[strategy]);
        for (const auto& [strategy, list] : gaps) {
            if (list.empty()) continue;
            double sum = 0, worst = -1e9;
            for (double g : list) {
                sum += g;
                worst = std::max(worst, g);
            }
            std::printf("%s: mean gap %.2f points, largest %.2f (%zu instances)\n",
                        nameOf(strategy), sum / list.size(), worst, list.size());
        }
    }
    return 0;
}
