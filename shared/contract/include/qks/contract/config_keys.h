// Job config keys both sides spell alike, with their defaults: the Studio writes them, the
// plug-in reads them.
#pragma once

#include <array>
#include <string_view>

namespace qks::contract {

// ---- nest job ("qks_nest.cfg")
inline constexpr std::string_view kSourceKey = "source";
inline constexpr std::string_view kPartsFileKey = "partsFile";
inline constexpr std::string_view kFileKey = "file";  // one line per drawing
inline constexpr std::string_view kLayerKey = "layer";
inline constexpr std::string_view kOutDirKey = "outDir";
inline constexpr std::string_view kOutDwgKey = "outDwg";
inline constexpr std::string_view kLogKey = "log";
inline constexpr std::string_view kPrefixKey = "prefix";
inline constexpr std::string_view kSheetKey = "sheet";
inline constexpr std::string_view kGapKey = "gap";
inline constexpr std::string_view kMarginKey = "margin";
inline constexpr std::string_view kCellKey = "cell";
inline constexpr std::string_view kRotateKey = "rotate";
inline constexpr std::string_view kMirrorKey = "mirror";
inline constexpr std::string_view kPdfKey = "pdf";
inline constexpr std::string_view kSecondsKey = "seconds";
inline constexpr std::string_view kStrategyKey = "strategy";
inline constexpr std::string_view kDenseStrategy = "dense";
inline constexpr std::string_view kPartInPartKey = "partInPart";
inline constexpr std::string_view kThreadsKey = "threads";
// Bend lines, marks and texts inside a part travel with it into the nest drawing ("0": not);
// "labels=1" writes each placed part's name or number at its centre.
inline constexpr std::string_view kCarryKey = "carry";
inline constexpr std::string_view kLabelsKey = "labels";
// Remnants: a drawing of irregular stock pieces used before the sheets, and the offcut kept as
// one rectangle at the end of each sheet.
inline constexpr std::string_view kStockFileKey = "stockfile";
inline constexpr std::string_view kOffcutKey = "offcut";
// The nest drawing's layer of the offcut's cut-off line and size.
inline constexpr std::string_view kOffcutLayer = "QKS_OFFCUT";
// Neighbouring parts may share one cut along straight edges ("1"); written only when set.
inline constexpr std::string_view kCommonLineKey = "commonline";
// A nest layout file (nest_layout_format.h) whose locked parts stay where they lie, the rest
// nested around them; written only when the user asks for it.
inline constexpr std::string_view kKeepLockedKey = "keeplocked";
// "partcount ID=N" and "partrotate ID=ANGLES": the part's id follows the key.
inline constexpr std::string_view kPartCountKey = "partcount";
inline constexpr std::string_view kPartRotateKey = "partrotate";
// A part's orientations: "free" (every angle of the run's step) or a comma list of degrees.
inline constexpr std::string_view kFreeRotation = "free";
inline constexpr std::string_view kFixedRotation = "0";
inline constexpr std::string_view kHalfTurns = "0,180";
inline constexpr std::string_view kQuarterTurns = "0,90,180,270";

// Defaults and limits of the nest job's numbers (lengths in millimetres).
inline constexpr double kDefaultGap = 5.0;
inline constexpr double kDefaultMargin = 10.0;
inline constexpr double kDefaultCell = 2.0;
inline constexpr double kSmallestCell = 0.5;
inline constexpr double kLargestCell = 10.0;
inline constexpr double kDefaultSeconds = 20.0;
inline constexpr double kShortestSeconds = 1.0;
inline constexpr double kLongestSeconds = 600.0;
// Pieces of one kind a job nests at most.
inline constexpr int kQuantityCap = 999;

// ---- plot, plot-files and merge jobs ("qks_plot.cfg", "qks_plot_files.cfg", "qks_merge.cfg"):
// outDir, prefix, log, outDwg, pdf and file as above, and these.
inline constexpr std::string_view kStyleKey = "style";
inline constexpr std::string_view kModeKey = "mode";
inline constexpr std::string_view kScopeKey = "scope";
inline constexpr std::string_view kCurrentScope = "current";
inline constexpr std::string_view kColumnsKey = "columns";
inline constexpr std::string_view kSpacingKey = "spacing";

// ---- nest job: reading parts from drawings
// Open ends closer than this (mm) meet.
inline constexpr std::string_view kJoinToleranceKey = "jointol";
inline constexpr double kDefaultJoinTolerance = 0.6;
inline constexpr double kLargestJoinTolerance = 50.0;

// The unit a drawing is read in: its header's ($INSUNITS, millimetres when it names none), or
// one given for every drawing of the job.
inline constexpr std::string_view kUnitsKey = "units";
inline constexpr std::string_view kUnitsAuto = "auto";
inline constexpr std::string_view kUnitsMillimetres = "mm";
inline constexpr std::string_view kUnitsInches = "inch";
enum class DrawingUnits { Auto, Millimetres, Inches };

// Layers left out as not cut: a comma list of words, any of which in a layer's name (lower
// case) leaves the layer out. The key given empty leaves nothing out (no layers, line types
// or frames); left out of the config, the words below apply. Engraving layers are marked,
// not cut through, so their outlines are neither parts nor holes.
inline constexpr std::string_view kSkipLayersKey = "skiplayers";
// German drawings name their frame and title-block layers Rahmen (Blattrahmen,
// Zeichnungsrahmen), Schriftfeld (DIN EN ISO 7200) and Plankopf.
inline constexpr std::array<std::string_view, 33> kDefaultSkipLayerWords = {
    "dim",   "text",  "center", "centre",      "hidden",  "construction", "border",
    "frame", "title", "hatch",  "bend",        "fold",    "defpoints",    "标注",
    "尺寸",  "中心",  "虚线",   "辅助",        "构造",    "图框",         "标题",
    "填充",  "剖面",  "折弯",   "折线",        "文字",    "annotation",   "engrav",
    "雕刻",  "彫刻",  "rahmen", "schriftfeld", "plankopf"};

}  // namespace qks::contract
