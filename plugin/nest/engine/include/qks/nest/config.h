// The nest job's parameter block and its sheet stock, read from the job config the Studio's
// nest page writes (key=value lines; the line rules are qks::readKeyValueLines).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "qks/contract/config_keys.h"

namespace qks::nest {

struct StockShape;

// One stock size. width is always the larger side, height the smaller; lengths in drawing
// units. count 0 (or below 1) means the stock is not limited.
struct SheetStock {
    SheetStock() = default;
    SheetStock(double w, double h, std::int32_t n, std::shared_ptr<const StockShape> piece = {})
        : width(w), height(h), count(n), shape(std::move(piece)) {}

    double width = 0.0;
    double height = 0.0;
    std::int32_t count = 0;
    // An irregular stock piece (read from the job's stock drawing): its outline and defects
    // inside the width x height box, which is then taken as it lies (not turned). Null for a
    // rectangular sheet.
    std::shared_ptr<const StockShape> shape;
};

enum class NestStrategy { Standard, Dense };

// The unit drawings are read in: each drawing's own (its header; millimetres when it names
// none), or one for all.
using contract::DrawingUnits;

// The orientations a part kind may take in place of the job's rotate switch: every angle of
// the run's step when `free`, else `angles` (whole degrees, 0 .. 359, no repeats, never empty).
struct PartRotation {
    bool free = false;
    std::vector<std::int32_t> angles{0};
};

// The words whose layers are left out as not cut, lower case.
std::vector<std::string> defaultSkipLayers();

// Defaults are the values of keys the config leaves out.
struct NestConfig {
    std::string source = "current";
    std::vector<std::string> files;
    std::vector<std::string> layers;  // lower case, never empty entries
    std::string outDir;
    std::string outDwg;  // derived from outDir when the config leaves it out
    std::string log;
    std::string prefix;
    std::string partsFile;
    std::vector<SheetStock> sheets;
    std::map<std::int32_t, std::int32_t> partCounts;  // part id -> quantity
    std::set<std::int32_t> zeroCountIds;              // ids given a quantity below 1
    double gap = contract::kDefaultGap;               // mm, >= 0
    double margin = contract::kDefaultMargin;         // mm, >= 0
    double cell = contract::kDefaultCell;             // mm, 0.5 .. 10
    bool rotate = true;
    bool mirror = true;
    bool pdf = false;
    double seconds = contract::kDefaultSeconds;  // wall-clock limit of the search, 1 .. 600
    NestStrategy strategy = NestStrategy::Standard;
    bool partInPart = false;                             // holes are free space (dense only)
    std::map<std::int32_t, PartRotation> partRotations;  // part id -> allowed orientations
    std::int32_t threads = 0;  // threads of the dense search; 0: every hardware thread
    std::string stockFile;     // drawing of irregular stock pieces, used before `sheets`
    std::string keepLocked;    // layout file whose locked parts stay where they lie; empty: none
    bool offcut = false;       // keep each sheet's free end as one rectangle and mark it
    bool commonLine = false;   // close the gap where straight edges face (common_line.h)
    // Reading parts from drawings (millimetres).
    double joinTolerance = contract::kDefaultJoinTolerance;  // ends closer meet; 0 .. 50
    DrawingUnits units = DrawingUnits::Auto;
    bool skipNonCut = true;  // leave out frames, non-cut layers and line types
    std::vector<std::string> skipLayers = defaultSkipLayers();  // lower case
    // The nest drawing: what travels with a part, and labels on placed parts.
    bool carry = true;
    bool labels = false;
};

// Whether the job's rasters keep the gap exactly (buildExactGapRaster) rather than padded on
// every side: the dense strategy, with a gap or without. Without a gap a padded raster holds the
// cells whose centres the outline holds, so neighbours' outlines could overlap by up to a cell;
// the exact one holds every cell the outline meets, so they touch at most. The standard strategy
// keeps its padded rasters, so its layouts stay as they were.
bool exactGapRasters(const NestConfig& config);

// Parses one "partrotate" value: "free", or a comma list of whole degrees. Pieces that are not
// whole numbers are dropped; angles are taken modulo 360; an empty list means 0 only.
PartRotation parsePartRotation(std::string_view value);

// Reads the config at `path` into `config` (constructed with the defaults). Returns false with
// `message` set when the file cannot be opened ("无法读取套料配置"), names no usable sheet
// ("请至少填写一种板材尺寸") or no output folder ("请设置输出目录"). Everything else is
// forgiven: bad values are clamped or ignored, unknown keys skipped.
bool readNestConfig(const std::string& path, NestConfig& config, std::string& message);

// The same on the file's bytes already in memory (the open failure cannot happen).
bool parseNestConfig(std::string_view bytes, NestConfig& config, std::string& message);

// Parses one "sheet" value such as "3000x1500x5", "1500*3000" or "2500 × 1250". Returns false
// (and leaves `stock` alone) without a separator, with a length below 10 or not finite.
bool parseSheetSpec(std::string_view value, SheetStock& stock);

}  // namespace qks::nest
