// The job configs: one plain record per job with its defaults and limits, the one writer the
// Studio makes the config text with and the one reader the plug-in takes it back with.
//
// The text is key=value lines, UTF-8, each ending in LF, keys as config_keys.h (and bom.h,
// tools.h) spell them; numbers in general notation with 6 significant digits (the merge
// spacing: two decimals), halves rounded away from zero, -0 written 0. The writer writes keys
// that the Studio leaves at the job's default only where the Studio always has, so a job set up
// as before gives the same bytes as before.
//
// Reading forgives: unknown keys and lines without '=' are skipped, bad values are clamped
// into the record's limits or ignored (the BOM and tools jobs list the lines they refused), and
// a key given twice takes its last value (list keys: every line). The lexical rules are the
// plug-in's, passed in (ReadRules: decode, trimLine, toLower, toInt, toDouble); the plug-in's
// own are qks::pluginReadRules().
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "qks/contract/bom.h"
#include "qks/contract/config_keys.h"
#include "qks/contract/read_rules.h"
#include "qks/contract/tools.h"

namespace qks::contract {

// ---- plot ("qks_plot.cfg": QKPLOT) and plot files ("qks_plot_files.cfg": QKPLOTFILES)
// Keys outDir, prefix, style, scope, log, then (plot files) one file line per drawing. Lines
// split at LF (one CR before it dropped), a byte-order mark dropped from any line, keys exact
// bytes, values decoded and trimmed of bytes <= 0x20.
struct PlotJobConfig {
    std::string outDir;
    std::string prefix;
    std::string style;          // plot style table; empty: the host's default
    std::string scope = "all";  // "all", "current" (the current layout), "model", "frames"
    std::string log;            // empty: the plot log in the temporary folder
    bool currentScope() const { return scope == kCurrentScope; }
};
struct PlotFilesJobConfig : PlotJobConfig {
    std::vector<std::string> files;  // never empty entries
};

// ---- merge ("qks_merge.cfg": QKMERGE), the plot jobs' line rules
inline constexpr std::int32_t kDefaultMergeColumns = 3;
inline constexpr double kDefaultMergeSpacing = 0.12;  // of a drawing's larger side
struct MergeJobConfig {
    std::string outDwg;                           // the merged drawing
    std::string outDir;                           // its PDF's folder; empty: the drawing's
    std::int32_t columns = kDefaultMergeColumns;  // >= 1
    double spacing = kDefaultMergeSpacing;        // as read (atof), not clamped
    bool pdf = false;
    std::string log;                 // empty: the plot log in the temporary folder
    std::vector<std::string> files;  // never empty entries
    std::string style;  // the PDF's plot style table; not written by the Studio (monochrome)
};

// ---- BOM ("qks_bom.cfg": QKBOM). Lines: one byte-order mark dropped from the start,
// decoded, split at LF, lines, keys and values trimmed, empty lines and '#' lines skipped.
inline constexpr double kLargestProfileWidth = 1e5;  // mm
inline constexpr double kLargestBendRadius = 1e4;    // mm
inline constexpr std::int32_t kLargestEditQuantity = 1000000;
// "edit KEY=MATERIAL,THICKNESS,QUANTITY": a row of the previous run changed in the Studio's
// table; a field left out keeps the drawing's value.
struct BomEdit {
    std::string key;
    std::optional<std::string> material;   // read: only when not empty
    std::optional<double> thickness;       // read: only in (0, kLargestThickness]
    std::optional<std::int32_t> quantity;  // read: only above 0, at most kLargestEditQuantity
};
struct BomJobConfig {
    std::string outDir;
    std::string workbook = std::string(kDefaultBomWorkbook);  // a name in outDir, no '/'
    std::string log;              // empty: the BOM log in the temporary folder
    bool currentDrawing = false;  // scope=current: the host's current drawing, not `files`
    std::vector<std::string> files;
    bool csv = false;
    bool package = false;
    bool zip = false;
    std::string nestFolder;  // written only when set
    // The profile layers' comma list as written (words in any case); unset: the defaults.
    std::optional<std::string> profileLayers;
    double profileWidth = kDefaultProfileWidth;            // (0, kLargestProfileWidth]
    std::vector<Material> materials = defaultMaterials();  // read: the config's, else these
    std::string defaultMaterial = std::string(kDefaultMaterial);
    double defaultThickness = kDefaultThickness;  // (0, kLargestThickness]
    double defaultRadius = kDefaultBendRadius;    // (0, kLargestBendRadius]
    std::vector<BomEdit> edits;  // in file order; findBomEdit gives the last of a key
    // Read only: the lines refused ("key=value"), for the job's WARN lines.
    std::vector<std::string> problems;
};
// The profile layers' words, lower case: the list's, else kDefaultProfileLayerWords.
std::vector<std::string> profileLayerWords(const BomJobConfig& config, const ReadRules& rules);
// The last edit of that row, or null.
const BomEdit* findBomEdit(const BomJobConfig& config, std::string_view key);

// ---- drawing tools ("qks_tools.cfg": QKTOOLS), the BOM's line rules
enum class ToolOperation { Clean, Layers, Corners, Area, Attributes, Dimensions, Holes, Balloons };
std::string_view toolOperationWord(ToolOperation operation);
inline constexpr double kLargestToolLength = 1e4;        // shortlen, radius, chamfer (mm)
inline constexpr double kLargestAnnotationHeight = 1e3;  // textheight (mm)
struct ToolsJobConfig {
    std::string outDir;
    std::string log;  // empty: the tools log in the temporary folder
    bool currentDrawing = false;
    std::vector<std::string> files;
    std::vector<ToolOperation> operations;  // the order they run in
    // The options below are written only when an operation that reads them runs (toolsRead).
    double joinTolerance = kDefaultJoinTolerance;  // [0, kLargestJoinTolerance]
    double shortLength = kDefaultShortLength;      // [0, kLargestToolLength]
    bool explode = false;
    std::vector<LayerRule> rules = defaultLayerRules();  // read: the config's, else these
    double radius = 0.0;   // corners: a fillet when > 0; [0, kLargestToolLength]
    double chamfer = 0.0;  // corners: a chamfer when > 0 and no radius (written only so)
    bool areaLabels = false;
    double textHeight = kDefaultAnnotationTextHeight;           // (0, kLargestAnnotationHeight]
    std::string workbook = std::string(kDefaultToolsWorkbook);  // a name in outDir, no '/'
    std::vector<std::string> problems;                          // read only: the lines refused
};
// What the operations read besides the drawings.
enum class ToolOption {
    JoinTolerance,
    CleanUp,
    LayerRules,
    Corners,
    AreaLabels,
    TextHeight,
    Workbook
};
bool toolsRead(const std::vector<ToolOperation>& operations, ToolOption option);

// ---- nest ("qks_nest.cfg": QKNEST), the BOM's line rules
// The largest gap between parts (mm): the Studio offers no more, and a larger one is read as
// this.
inline constexpr double kLargestGap = 100.0;
inline constexpr std::int32_t kMostThreads = 256;
enum class NestStrategy { Standard, Dense };
// The orientations a part kind may take in place of the job's rotate switch: every angle of
// the run's step when `free`, else `angles` (whole degrees, 0 .. 359, no repeats, never empty).
struct PartRotation {
    bool free = false;
    std::vector<std::int32_t> angles{0};
    bool operator==(const PartRotation& o) const { return free == o.free && angles == o.angles; }
};
struct PartQuantity {  // "partcount ID=N"
    std::int32_t id = 0;
    std::int32_t quantity = 0;  // below 1: the kind is left out
};
struct PartRotationLine {  // "partrotate ID=ANGLES"
    std::int32_t id = 0;
    PartRotation rotation;
};
struct NestJobConfig {
    std::string source = "current";  // partSourceWord (states.h); read exactly
    std::string partsFile;
    std::vector<std::string> files;  // source "files"
    std::string layerList;           // "layer": comma list of layers to nest from (any case)
    std::string outDir;              // required
    std::string outDwg;              // empty: kNestDrawingFile in outDir
    std::string log;                 // empty: the nest log in the temporary folder
    std::string prefix;
    std::vector<std::string> sheetLines;  // "sheet" lines as written ("3000x1500x5")
    double gap = kDefaultGap;             // [0, kLargestGap]
    double margin = kDefaultMargin;       // >= 0, finite
    double cell = kDefaultCell;           // [kSmallestCell, kLargestCell]
    bool rotate = true;
    bool mirror = true;
    bool pdf = false;
    double seconds = kDefaultSeconds;      // [kShortestSeconds, kLongestSeconds]
    std::vector<PartQuantity> quantities;  // in file order
    NestStrategy strategy = NestStrategy::Standard;
    bool partInPart = false;  // holes are free space; written only with the dense strategy
    bool commonLine = false;
    DrawingUnits units = DrawingUnits::Auto;
    std::string stockFile;  // drawing of irregular stock pieces
    bool offcut = false;
    std::vector<PartRotationLine> rotations;  // in file order
    bool carry = true;
    bool labels = false;
    std::string keepLocked;  // layout file whose locked parts stay where they lie
    // Not on the Studio's page; written when not the default.
    std::int32_t threads = 0;  // of the dense search, [0, kMostThreads]; 0: every hardware one
    double joinTolerance = kDefaultJoinTolerance;  // [0, kLargestJoinTolerance]
    // Layers left out as not cut, the comma list as written; unset: kDefaultSkipLayerWords.
    std::optional<std::string> skipLayerList;
};
// One "partrotate" value: "free", or a comma list of whole degrees; pieces that are not whole
// numbers are dropped, angles taken modulo 360; an empty list means 0 only.
PartRotation parsePartRotation(std::string_view value, const ReadRules& rules);
std::string formatPartRotation(const PartRotation& rotation);
// One "sheet" value such as "3000x1500x5", "1500*3000" or "2500 × 1250": width the larger
// side, count below 1 read as 0 (not limited). False (and `sheet` left alone) without a
// separator, with a length below 10 or not finite.
struct SheetSize {
    double width = 0.0;
    double height = 0.0;
    std::int32_t count = 0;
};
bool parseSheetLine(std::string_view value, SheetSize& sheet, const ReadRules& rules);
// A comma list's words: trimmed, lower case, empty ones left out.
std::vector<std::string> listWords(std::string_view list, const ReadRules& rules);

// ---- writers and readers
std::string writePlotConfig(const PlotJobConfig& config);
std::string writePlotFilesConfig(const PlotFilesJobConfig& config);
std::string writeMergeConfig(const MergeJobConfig& config);
std::string writeBomConfig(const BomJobConfig& config);
std::string writeToolsConfig(const ToolsJobConfig& config);
std::string writeNestConfig(const NestJobConfig& config);

PlotJobConfig readPlotConfig(std::string_view text, const ReadRules& rules);
PlotFilesJobConfig readPlotFilesConfig(std::string_view text, const ReadRules& rules);
MergeJobConfig readMergeConfig(std::string_view text, const ReadRules& rules);
BomJobConfig readBomConfig(std::string_view text, const ReadRules& rules);
ToolsJobConfig readToolsConfig(std::string_view text, const ReadRules& rules);
NestJobConfig readNestConfig(std::string_view text, const ReadRules& rules);

}  // namespace qks::contract
