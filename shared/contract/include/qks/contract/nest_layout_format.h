// The nest layout file: a finished nest as the Studio adjusts it and the plug-in checks and
// draws it again. The nest job writes one beside every nest drawing; the Studio writes the
// edited one to the temporary folder and hands its path to the plug-in.
//
// Text, UTF-8, LF line ends, TAB-separated records after the header "# QKS-LAYOUT 1":
//   SET    key value            a job setting (the nest config's key names, see below)
//   GRID   cell origin          positions lie at origin + k × cell from a sheet's lower-left
//                               corner, on both axes (mm)
//   TURN   id angles mirror     the orientations kind `id` may take: whole degrees, comma
//                               separated, and 1 when it may also be mirrored
//   SHEET  stock width height   a sheet in the drawing's order: the job's stock entry, its size
//   STOCK  x y x y ...          the latest sheet's irregular piece: its outline first, then its
//                               defects, from the sheet's lower-left corner
//   PLACE  id x y angle mirrored locked
//                               a part of kind `id` on the latest sheet: the lower-left corner
//                               of its oriented outline's and holes' bounding box at (x, y)
//                               from the sheet's lower-left corner (mm), turned `angle` degrees
//                               counter-clockwise after an optional mirror (as orient() does)
// and then the parts file's own records (parts_format.h) of every kind the job nested.
//
// Lengths are millimetres. Comment lines start with "#"; unknown records are skipped, so a later
// version may add some.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "qks/contract/config_keys.h"
#include "qks/contract/part.h"

namespace qks::contract {

inline constexpr std::string_view kLayoutHeader = "# QKS-LAYOUT 1";
// The nest drawing puts its sheets side by side, left to right in the layout's order, their lower
// edges on y = 0 and this far apart (mm).
inline constexpr double kNestSheetSpacing = 300.0;
// The layout the Studio sends for checking and drawing, in the temporary folder, and the log of
// that run (the same words as the nest log: DONE, FATAL, "NEST 已生成").
inline constexpr std::string_view kNestAdjustFile = "qks_nest_adjust.txt";
inline constexpr std::string_view kNestAdjustLogFile = "qks_nest_adjust.log";

// What the check and the drawing need of the job. Output settings are the nest config's.
struct LayoutSettings {
    double gap = kDefaultGap;
    double margin = kDefaultMargin;
    bool partInPart = false;  // a part may sit in another's hole (the gap kept to its edge)
    double cell = kDefaultCell;
    double gridOrigin = kDefaultMargin;  // margin + the gap's pad on the job's grid
    std::string outDir;
    std::string outDwg;
    std::string prefix;
    bool pdf = false;
    bool commonLine = false;
    bool offcut = false;
    bool carry = true;
    bool labels = false;
};

struct LayoutTurns {
    std::int32_t partId = 0;
    std::vector<std::int32_t> angles{0};  // 0 .. 359, never empty
    bool mirror = false;
};

struct LayoutPlacement {
    std::int32_t partId = 0;
    double x = 0.0;
    double y = 0.0;
    std::int32_t angle = 0;
    bool mirrored = false;
    bool locked = false;
    friend bool operator==(const LayoutPlacement& a, const LayoutPlacement& b) {
        return a.partId == b.partId && a.x == b.x && a.y == b.y && a.angle == b.angle &&
               a.mirrored == b.mirrored && a.locked == b.locked;
    }
};

struct LayoutSheet {
    std::int32_t stockIndex = 0;
    double width = 0.0;
    double height = 0.0;
    std::vector<Outline> stock;  // empty for a rectangle; else outline, then defects
    std::vector<LayoutPlacement> placements;
};

struct NestLayout {
    LayoutSettings settings;
    std::vector<LayoutTurns> turns;
    std::vector<LayoutSheet> sheets;
    std::vector<PartRecord> parts;  // quantity: the pieces the job asked for
};

std::string formatLayout(const NestLayout& layout);

// The layout in `text`, or null with `error` set to what is wrong and on which line (in the
// UI's language): no header, a record with too few fields or a field that is no number, a
// PLACE or STOCK before any SHEET, a sheet or cell that is not positive, a kind without an
// outline of three points. Which parts exist and where they lie is the check's business
// (layout_check.h).
std::optional<NestLayout> readLayout(std::string_view text, std::string* error);

// The layout file kept beside a nest drawing: the drawing's path with its extension replaced
// by ".qkslayout".
std::string layoutPathFor(std::string_view drawingPath);

}  // namespace qks::contract
