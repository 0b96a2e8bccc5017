// The merge job: many drawings laid side by side into one new drawing. Each input becomes a
// block, the blocks sit in a grid of rows with a fixed number of columns, and every block is
// labelled with its file name underneath. The merged drawing can then be plotted to one PDF.
//
// Threads: main thread only; runMergeJob in application context (it opens, activates and
// closes the merged drawing for the PDF). Progress and failures go to the plot log channel;
// nothing throws.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "qks/contract/job_configs.h"
#include "qks/host/drawing.h"
#include "qks/host/host.h"
#include "qks/job/job_config.h"

namespace qks::merge {

// Text style of the labels in the merged drawing.
inline constexpr const char* kLabelStyleName = "QKS_LABEL";

// One input that was read and became a block. Extents are in block units.
struct MergeItem {
    host::ObjectId block;
    double minX = 0.0;
    double minY = 0.0;
    double maxX = 0.0;
    double maxY = 0.0;
    std::string label;
};

// Where one item goes in the merged model space.
struct GridPlacement {
    host::Point3d blockPosition;  // insertion point of the block reference
    host::Point3d labelPosition;  // top-left corner of the label
    double labelWidth = 0.0;
    int labelLines = 1;
};

struct GridLayout {
    double gap = 0.0;                       // between blocks, across and down
    double textHeight = 0.0;                // label text height
    std::vector<GridPlacement> placements;  // in item order
};

// Lays the items out in rows of `columns` (at least one), left to right and downwards from
// y = 0, with a gap of max(10, widest × spacing) and room under each row for its labels.
GridLayout layoutGrid(const std::vector<MergeItem>& items, std::int32_t columns, double spacing);

// Renames every layer of `source` except "0" and "defpoints" to prefix + "_" + name, made
// unique against `usedLowerCase` (lower-cased names taken in this merge) with "_2", "_3", ...
void prefixLayerNames(host::DrawingEdits& ds, host::DatabaseId source, const std::string& prefix,
                      std::set<std::string>& usedLowerCase);

// Turns every text, attribute definition and multiline text of a block definition to
// horizontal.
void levelBlockTexts(host::DrawingEdits& ds, host::ObjectId block);

// Builds and saves the merged drawing of config.files at config.outDwg. Inputs that are
// missing or cannot be read, are empty or cannot be inserted are logged as ERR lines and left
// out. True when the drawing was saved: `count` is then the number of merged inputs and
// `writtenPath` (when given) the path actually written (a ".dwg" target is written as
// ".dxf"). False with the message for the FATAL line otherwise; an existing file at the
// target is then left as it was.
bool mergeDrawings(host::DrawingServices& ds, const contract::MergeJobConfig& config,
                   std::string& message, int& count, std::string* writtenPath = nullptr);

// The whole job for a config path from the bridge (empty for the typed command): reads the
// config, logs, merges and optionally plots the merged drawing's model space to
// "<stem>_model.pdf".
void runMergeJob(host::Host& host, const std::string& configPath);

}  // namespace qks::merge
