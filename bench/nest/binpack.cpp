#include "binpack.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>

#include "esicup.h"
#include "layout_check.h"
#include "peer.h"
#include "qks/nest/geometry.h"
#include "qks/nest/session.h"

using namespace qks::nest;
using Json = nlohmann::json;

namespace {

// Sheets above the bound, and whether the bound was reached, summed over the instances.
struct Tally {
    int instances = 0;
    int sheets = 0;
    int above = 0;
    int reached = 0;
    int unclean = 0;  // layouts with an overlap, an overhang or a part left out

    void add(int used, int bound, bool clean) {
        ++instances;
        sheets += used;
        above += used - bound;
        reached += used <= bound && clean;
        unclean += !clean;
    }
};

// "0" for a clean layout, else the overlapping area and pairs and the area outside the sheet.
std::string describe(const LayoutCheck& c) {
    if (c.overlappingPairs == 0 && c.partsOutside == 0 && c.invalid == 0) return "0";
    char text[160];
    std::snprintf(text, sizeof text, "%.1f (%d pairs), outside %.1f, %d invalid", c.overlapArea,
                  c.overlappingPairs, c.outsideArea, c.invalid);
    return text;
}

bool clean(const LayoutCheck& c) {
    return c.overlappingPairs == 0 && c.partsOutside == 0 && c.invalid == 0;
}

struct OurRun {
    int sheets = 0;
    int unplaced = 0;
    double seconds = 0.0;
    LayoutCheck check;
};

// Our dense search on the instance: one stock entry of the instance's sheet, not limited, gap
// and margin 0, each item's own rotations, no mirroring, seed 1; the layout checked on the true
// outlines.
OurRun runOurs(const BinpackOptions& o, const BinpackInstance& inst) {
    NestSession s;
    int id = 1;
    for (const BinpackItem& item : inst.items) {
        NestPart p;
        p.id = id++;
        p.quantity = item.demand;
        p.outline = item.shape;
        p.holes = item.holes;
        measureOutline(p);
        PartRotation rotation;
        rotation.angles.clear();
        for (int a : item.rotations)
            rotation.angles.push_back(((a % 360) + 360) % 360);
        if (rotation.angles.empty()) rotation.angles.push_back(0);
        s.config.partRotations[p.id] = rotation;
        s.parts.push_back(std::move(p));
    }
    s.config.sheets = {{std::max(inst.width, inst.height), std::min(inst.width, inst.height), 0}};
    s.config.gap = 0;
    s.config.margin = 0;
    s.config.cell = o.cell;
    s.config.rotate = false;
    s.config.mirror = false;
    s.config.strategy = NestStrategy::Dense;
    s.config.threads = o.threads;
    s.config.seconds = o.seconds;
    s.denseTuning = o.dense;
    s.seed = 1;
    runNestSearch(s);
    OurRun run;
    run.sheets = static_cast<int>(s.layout.size());
    run.unplaced = s.unplaced;
    run.seconds = s.stats.seconds;
    const double pad = gapPadLength(s.config);
    for (const SheetLayout& sheet : s.layout) {
        std::vector<PlacedPart> placed;
        for (const Placement& pl : sheet.placements) {
            PlacedShape shape =
                placeShape(s.parts[static_cast<std::size_t>(pl.partIndex)], pl.angle, pl.mirrored,
                           0.0, 0.0, s.config.margin, pad, s.config.cell, pl.column, pl.row);
            placed.push_back({std::move(shape.outline), std::move(shape.holes)});
        }
        checkSheet(placed, sheet.width, sheet.height, 1e-9 * sheet.width * sheet.height, run.check);
    }
    return run;
}

}  // namespace

bool readBinpack(const std::string& path, BinpackInstance& instance, std::string& error) {
    Json root;
    if (!readJsonFile(path, root, error)) return false;
    if (!root.is_object()) {
        error = "not JSON: " + path;
        return false;
    }
    try {
        instance.name = root.at("name").get<std::string>();
        instance.set = root.value("set", std::string());
        instance.width = root.at("bin").at("width").get<double>();
        instance.height = root.at("bin").at("height").get<double>();
        for (const Json& item : root.at("items")) {
            BinpackItem out;
            out.id = item.value("id", 0);
            out.demand = item.at("demand").get<int>();
            if (item.contains("allowed_rotations_deg"))
                out.rotations = item.at("allowed_rotations_deg").get<std::vector<int>>();
            out.shape = ringOfPairs(item.at("shape"));
            if (item.contains("holes"))
                for (const Json& hole : item.at("holes"))
                    out.holes.push_back(ringOfPairs(hole));
            const double area = polygonArea(out.shape);
            if (out.shape.size() < 3 || out.demand < 0 || !std::isfinite(area)) {
                error = path + ": an item without an outline";
                return false;
            }
            instance.partArea += area * out.demand;
            instance.items.push_back(std::move(out));
        }
        const Json& best = root.value("best_known_bins", Json());
        instance.bestKnown = best.is_number() ? best.get<int>() : 0;
    } catch (const Json::exception& e) {
        error = path + ": " + e.what();
        return false;
    }
    if (instance.width <= 0 || instance.height <= 0 || instance.items.empty()) {
        error = path + ": no sheet or no items";
        return false;
    }
    // The bound from the areas, a hair below each whole number taken as that number.
    instance.areaBound =
        static_cast<int>(std::ceil(instance.partArea / (instance.width * instance.height) - 1e-9));
    return true;
}

const std::vector<std::string>& binpackSample() {
    static const std::vector<std::string> sample{
        "jp1/TA001",      "jp1/TA018",       "jp1/TB005",    "jp1/TB022",    "jp1/TC009",
        "jp1/TC026",      "jp1/TD013",       "jp1/TD030",    "jp1/TE017",    "jp1/TF004",
        "jp1/TF021",      "jp1/TH008",       "jp1/TH025",    "jp1/TI012",    "jp1/TI029",
        "jp1/TJ016",      "jp1/TK003",       "jp1/TK020",    "jp1/TL007",    "jp1/TL024",
        "jp1/TM011",      "jp1/TM028",       "jp1/TN015",    "jp1/TO002",    "jp1/TO019",
        "jp1/TP006",      "jp1/TP023",       "jp1/TQ010",    "jp1/TQ027",    "jp1/TR014",
        "jp2/TA001C5",    "jp2/TA017C10",    "jp2/TB003C10", "jp2/TB019C20", "jp2/TC005C6",
        "jp2/TC021C24",   "jp2/TF007C5",     "jp2/TF023C15", "jp2/TH009C6",  "jp2/TH025C24",
        "jp2/TL011C10",   "jp2/TL027C15",    "jp2/TM013C10", "jp2/TM029C18", "jp2/TO015C10",
        "jp2/TS001C5",    "jp2/TS017C8",     "jp2/TT003C10", "jp2/TT019C15", "jp2/TU005C5C5",
        "jp2/TU021C8C15", "jp2/TV007C5",     "jp2/TV023C8",  "jp2/TW009C8",  "jp2/TW025C12",
        "jp2/TX011C8C10", "jp2/TX027C12C15", "jp2/TY013C10", "jp2/TY029C20", "jp2/TZ015C20",
    };
    return sample;
}

void runBinpack(const BinpackOptions& o) {
    const std::vector<std::string>& sample = binpackSample();
    std::vector<std::string> chosen;
    // A sample of 0 leaves the instances out (the mixed-stock jobs alone).
    if (o.sample <= 0 && o.only.empty()) return;
    const int count = std::min<int>(o.sample, static_cast<int>(sample.size()));
    for (int k = 0; k < count; ++k)
        chosen.push_back(sample[static_cast<std::size_t>(k) * sample.size() / count]);
    if (!o.only.empty()) {
        chosen.clear();
        for (const std::string& entry : sample)
            if (entry.substr(entry.find('/') + 1) == o.only) chosen.push_back(entry);
        // An instance outside the sample, by its set's folder.
        if (chosen.empty())
            for (const char* set : {"jp1/", "jp2/"})
                if (access((o.data + "/" + set + o.only + ".json").c_str(), R_OK) == 0)
                    chosen.push_back(set + o.only);
    }
    const bool peer = !o.packingsolver.empty();
    if (peer && access(o.packingsolver.c_str(), X_OK) != 0) {
        std::printf("PackingSolver not found at %s: ours alone\n\n", o.packingsolver.c_str());
    }
    const bool runPeer = peer && access(o.packingsolver.c_str(), X_OK) == 0;
    std::printf(
        "dense search (%d threads, cell %g, gap 0, margin 0, the items' own rotations, no "
        "mirroring, seed 1)%s, %g s each, %zu instances\n\n",
        o.threads, o.cell, runPeer ? " and PackingSolver (two processors)" : "", o.seconds,
        chosen.size());
    std::printf(
        "| instance | parts | best known | area bound | ours | above | peer | above | our "
        "overlap | peer overlap |\n|---|--:|--:|--:|--:|--:|--:|--:|---|---|\n");
    Tally ours, theirs;
    int fewer = 0, same = 0, more = 0;
    for (const std::string& entry : chosen) {
        BinpackInstance inst;
        std::string error;
        if (!readBinpack(o.data + "/" + entry + ".json", inst, error)) {
            std::printf("| %s | skipped: %s |\n", entry.c_str(), error.c_str());
            std::fflush(stdout);
            continue;
        }
        int parts = 0;
        for (const BinpackItem& item : inst.items)
            parts += item.demand;
        const OurRun run = runOurs(o, inst);
        const bool ourClean = clean(run.check) && run.unplaced == 0;
        std::string ourSheets = std::to_string(run.sheets);
        if (run.unplaced > 0) ourSheets += " (" + std::to_string(run.unplaced) + " left out)";
        std::string peerSheets = "-", peerAbove = "-", peerCheck = "-";
        std::optional<PackingSolverResult> result;
        if (runPeer) {
            result = runPackingSolver(o.packingsolver, o.data + "/packingsolver/" + entry + ".json",
                                      o.seconds, error);
            if (!result) peerSheets = error;
        }
        LayoutCheck peerLayout;
        if (result) {
            for (const PackingSolverSheet& sheet : result->layout)
                checkSheet(sheet.parts, inst.width, inst.height, 1e-9 * inst.width * inst.height,
                           peerLayout);
            const bool peerClean = clean(peerLayout) && result->placed == parts;
            peerSheets = std::to_string(result->sheets);
            if (result->placed < parts)
                peerSheets += " (" + std::to_string(parts - result->placed) + " left out)";
            peerAbove = std::to_string(result->sheets - inst.areaBound);
            peerCheck = describe(peerLayout);
            theirs.add(result->sheets, inst.areaBound, peerClean);
            fewer += run.sheets < result->sheets;
            same += run.sheets == result->sheets;
            more += run.sheets > result->sheets;
        }
        ours.add(run.sheets, inst.areaBound, ourClean);
        std::printf("| %s %s | %d | %s | %d | %s | %d | %s | %s | %s | %s |\n", inst.set.c_str(),
                    inst.name.c_str(), parts,
                    inst.bestKnown > 0 ? std::to_string(inst.bestKnown).c_str() : "-",
                    inst.areaBound, ourSheets.c_str(), run.sheets - inst.areaBound,
                    peerSheets.c_str(), peerAbove.c_str(), describe(run.check).c_str(),
                    peerCheck.c_str());
        std::fflush(stdout);
    }
    std::printf(
        "\nours: %d sheets on %d instances, %d above the bound, the bound on %d%s\n", ours.sheets,
        ours.instances, ours.above, ours.reached,
        ours.unclean ? (", " + std::to_string(ours.unclean) + " layouts not clean").c_str() : "");
    if (theirs.instances > 0)
        std::printf(
            "peer: %d sheets on %d instances, %d above the bound, the bound on %d%s\n"
            "ours against the peer: fewer sheets on %d, as many on %d, more on %d\n",
            theirs.sheets, theirs.instances, theirs.above, theirs.reached,
            theirs.unclean ? (", " + std::to_string(theirs.unclean) + " layouts not clean").c_str()
                           : "",
            fewer, same, more);
}
