// The progress file: the best layout of a running nest job for the Studio's live preview.
// TAB-separated records CFG, SHEET, STOCK, PLACE, UTIL, UNPLACED, ELAPSED, STATE; LF line ends.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "qks/contract/part.h"
#include "qks/contract/read_rules.h"

namespace qks::contract {

// Where grid cell (0, 0) of a sheet lies: margin + pad from the sheet's lower-left corner.
struct GridFrame {
    double margin = 0.0;
    double cell = 0.0;
    double pad = 0.0;  // the gap's pad cells times the cell, in layout units
};

struct PlaceRecord {
    int partId = 0;
    int angle = 0;  // whole degrees, counter-clockwise
    bool mirrored = false;
    int column = 0;  // grid cells
    int row = 0;
};

struct SheetRecord {
    double width = 0.0;
    double height = 0.0;
    std::vector<PlaceRecord> placements;
    // An irregular stock piece: its outline, then its defects, from the sheet's lower-left
    // corner ("STOCK" records, x and y pairs, after the SHEET). Empty for a rectangle.
    std::vector<Outline> stock;
};

// One file's records. A record absent from the file stays empty, so a reader can keep the
// value it had; the writer writes exactly the engaged ones, in the order of the members.
struct ProgressRecords {
    std::optional<GridFrame> frame;  // the last CFG
    int frameRecords = 0;            // CFG records read
    std::vector<SheetRecord> sheets;
    std::optional<double> utilisationPercent;
    std::optional<int> unplaced;
    std::optional<double> elapsed;     // seconds
    std::optional<std::string> state;  // a jobStateWord() when written by the plug-in
};

std::string formatProgress(const ProgressRecords& records);

struct ProgressReadOptions {
    ReadRules rules;
    // The plug-in takes a CFG only with its pad; the Studio also takes "CFG margin cell"
    // with a pad of 0.
    bool frameNeedsPad = true;
};

// Unknown records are skipped, a PLACE before any SHEET is dropped.
ProgressRecords readProgress(std::string_view text, const ProgressReadOptions& options);

}  // namespace qks::contract
