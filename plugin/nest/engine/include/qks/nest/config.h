// The nest job's parameter block and its sheet stock: the contract's config record
// (qks/contract/job_configs.h) with what the engine derives from it. The engine reads no file;
// the nest job reads the config (readNestConfig in config_file.h).
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
#include "qks/contract/job_configs.h"

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

using contract::NestStrategy;

// The unit drawings are read in: each drawing's own (its header; millimetres when it names
// none), or one for all.
using contract::DrawingUnits;

// The orientations a part kind may take in place of the job's rotate switch.
using contract::PartRotation;

// The words whose layers are left out as not cut, lower case.
std::vector<std::string> defaultSkipLayers();

// The record's values (defaults: the values of keys the config leaves out) and what the engine
// works with instead of the record's lists: set by nestConfigFrom, or directly by tests and
// benchmarks.
struct NestConfig : contract::NestJobConfig {
    std::vector<SheetStock> sheets;                      // sheetLines, parsed
    std::vector<std::string> layers;                     // layerList's words, lower case
    std::map<std::int32_t, std::int32_t> partCounts;     // part id -> quantity (the last line)
    std::set<std::int32_t> zeroCountIds;                 // ids given a quantity below 1
    std::map<std::int32_t, PartRotation> partRotations;  // part id -> allowed orientations
    // Reading parts from drawings: leave out frames, non-cut layers and line types, and the
    // layers with these words (skipLayerList's, lower case, else the defaults).
    bool skipNonCut = true;
    std::vector<std::string> skipLayers = defaultSkipLayers();
};

// The gap as whole raster cells, as a length (padLength(config.gap, config.cell)): how far
// every raster of the job is grown on each side, and so where a sheet's grid starts inside its
// margin.
double gapPadLength(const NestConfig& config);

// Whether the job's rasters keep the gap exactly (buildExactGapRaster) rather than padded on
// every side: the dense strategy, with a gap or without. Without a gap a padded raster holds the
// cells whose centres the outline holds, so neighbours' outlines could overlap by up to a cell;
// the exact one holds every cell the outline meets, so they touch at most. The standard strategy
// keeps its padded rasters, so its layouts stay as they were.
bool exactGapRasters(const NestConfig& config);

// The engine's config from the contract's record: the record's values with the lists above
// derived from it under the caller's lexical `rules`. Returns false with `message` set when it
// names no usable sheet ("请至少填写一种板材尺寸") or no output folder ("请设置输出目录").
bool nestConfigFrom(contract::NestJobConfig record, const contract::ReadRules& rules,
                    NestConfig& config, std::string& message);

}  // namespace qks::nest
