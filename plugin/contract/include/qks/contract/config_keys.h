// Job config keys both sides spell alike, with their defaults: the Studio writes them, the
// plug-in reads them.
#pragma once

#include <array>
#include <string_view>

namespace qks::contract {

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

// Layers left out as not cut: a comma list of words, any of which in a layer's name (lower
// case) leaves the layer out. The key given empty leaves nothing out (no layers, line types
// or frames); left out of the config, the words below apply.
inline constexpr std::string_view kSkipLayersKey = "skiplayers";
inline constexpr std::array<std::string_view, 25> kDefaultSkipLayerWords = {
    "dim",   "text", "center",    "centre", "hidden", "construction", "border",    "frame", "title",
    "hatch", "bend", "defpoints", "标注",   "尺寸",   "中心",         "虚线",      "辅助",  "构造",
    "图框",  "标题", "填充",      "剖面",   "折弯",   "文字",         "annotation"};

}  // namespace qks::contract
