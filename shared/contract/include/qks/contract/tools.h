// The 标注清理 drawing-tools job's shared facts: its config keys, operations, layer rules and
// their defaults, and the tables file it writes for the Studio ("# QKS-TABLES 1": "T" starts
// a table with its name, "H" its column headers, "R" a row; TAB-separated, LF, UTF-8).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "qks/contract/read_rules.h"

namespace qks::contract {

// ---- config ("qks_tools.cfg"): file, outDir, log, scope and jointol as the other jobs, and
inline constexpr std::string_view kToolsOpKey = "op";  // comma list, run in this order
inline constexpr std::string_view kOpClean = "clean";
inline constexpr std::string_view kOpLayers = "layers";
inline constexpr std::string_view kOpArea = "area";
inline constexpr std::string_view kOpAttributes = "attrs";
inline constexpr std::string_view kOpDimensions = "dims";
inline constexpr std::string_view kOpHoles = "holes";
inline constexpr std::string_view kOpBalloons = "balloons";
inline constexpr std::string_view kOpCorners = "corners";
inline constexpr std::string_view kToolsShortLengthKey = "shortlen";  // mm; 0: keep short lines
inline constexpr double kDefaultShortLength = 0.0;
inline constexpr std::string_view kToolsExplodeKey = "explode";  // 0|1: explode references first
inline constexpr std::string_view kToolsRadiusKey = "radius";    // corners: fillet radius, mm
inline constexpr std::string_view kToolsChamferKey = "chamfer";  // corners: chamfer length, mm
inline constexpr std::string_view kToolsAreaLabelsKey = "arealabels";  // 0|1: label each part
inline constexpr std::string_view kToolsTextHeightKey = "textheight";  // annotation, mm
inline constexpr double kDefaultAnnotationTextHeight = 3.5;
inline constexpr std::string_view kToolsOutKey = "out";  // workbook name in outDir
inline constexpr std::string_view kDefaultToolsWorkbook = "标注清理.xlsx";
// "rule=LAYER,COLOR,LINETYPE,KIND,NEWLAYER,NEWCOLOR,NEWLINETYPE,NEWLINEWEIGHT": the first four
// match (empty: any; LAYER and LINETYPE patterns with * and ?, case ignored; COLOR an ACI
// number; KIND DXF entity names separated by "|"), the last four set (empty: keep). Line weight in
// hundredths of a mm. The first rule that matches an entity applies. Without rule lines, the
// defaults below.
inline constexpr std::string_view kToolsRuleKey = "rule";

// Layers the drawing tools write.
inline constexpr std::string_view kAreaLayer = "QKS_AREA";
inline constexpr std::string_view kDimensionLayer = "QKS_DIM";
inline constexpr std::string_view kBalloonLayer = "QKS_BALLOON";
inline constexpr std::string_view kBalloonBlock = "QKS_BALLOON";
inline constexpr std::string_view kBalloonTag = "NO";
inline constexpr std::string_view kDimensionStyle = "QKS";

struct LayerRule {
    std::string layer, color, linetype, kind;                    // match; empty: any
    std::string newLayer, newColor, newLinetype, newLineweight;  // set; empty: keep
};

// A sheet-metal shop's layers: outline, thin line, centre line, hidden line, dimensions,
// text and frame, with Chinese names.
std::vector<LayerRule> defaultLayerRules();
std::string formatLayerRule(const LayerRule& rule);
// False for a value without exactly eight comma-separated fields.
bool parseLayerRule(std::string_view value, LayerRule& rule);

// ---- the tables file
struct ResultTable {
    std::string name;
    std::vector<std::string> headers;
    std::vector<std::vector<std::string>> rows;
};
// Fields must be valid UTF-8 without TAB or LF: the writer replaces both by blanks.
std::string formatTables(const std::vector<ResultTable>& tables);
std::vector<ResultTable> readTables(std::string_view text, const ReadRules& rules);

}  // namespace qks::contract
