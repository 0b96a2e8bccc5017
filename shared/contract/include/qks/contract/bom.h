// The 钣金 BOM job's shared facts: its config keys and defaults, the material table both sides
// seed from, and the rows file the job writes for the Studio's table ("# QKS-BOM 1",
// TAB-separated "R" lines, LF line ends, UTF-8).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "qks/contract/read_rules.h"

namespace qks::contract {

// ---- config ("qks_bom.cfg"): file, outDir, log and scope as the plot-files job, and these.
inline constexpr std::string_view kBomOutKey = "out";  // workbook name in outDir
inline constexpr std::string_view kDefaultBomWorkbook = "BOM.xlsx";
inline constexpr std::string_view kBomCsvKey = "csv";          // 0|1: a UTF-8 CSV beside it
inline constexpr std::string_view kBomPackageKey = "package";  // 0|1: "<stem>_交付" folder
inline constexpr std::string_view kBomZipKey = "zip";          // 0|1: and a .zip of it
// Layers holding bend profiles: a comma list of words, any of which in a layer's name (lower
// case) makes it a profile layer. Left out: the words below.
inline constexpr std::string_view kBomProfileLayerKey = "profilelayer";
inline constexpr std::array<std::string_view, 2> kDefaultProfileLayerWords = {"折弯", "profile"};
// Width (mm) of a bent part across its profile: the blank's second side.
inline constexpr std::string_view kBomProfileWidthKey = "profilewidth";
inline constexpr double kDefaultProfileWidth = 100.0;
inline constexpr std::string_view kBomNestKey = "nest";  // folder of a finished nest job
// "material NAME=DENSITY,K[,UPTO:K...]": density in g/cm³, K factor, and K factors for
// thicknesses up to UPTO mm, in any order; a thickness above every UPTO takes the first K.
inline constexpr std::string_view kBomMaterialKey = "material";
inline constexpr std::string_view kBomDefaultMaterialKey = "defaultmaterial";
inline constexpr std::string_view kBomDefaultThicknessKey = "defaultthickness";
inline constexpr std::string_view kBomDefaultRadiusKey = "defaultradius";  // inner bend radius
// "edit KEY=MATERIAL,THICKNESS,QUANTITY": a row of the previous run changed in the Studio's
// table; an empty field keeps the drawing's value.
inline constexpr std::string_view kBomEditKey = "edit";

inline constexpr std::string_view kDefaultMaterial = "Q235";
inline constexpr double kDefaultThickness = 2.0;   // mm
inline constexpr double kDefaultBendRadius = 2.0;  // mm, inner
inline constexpr double kDefaultKFactor = 0.44;
inline constexpr double kLargestThickness = 200.0;  // mm

struct KFactorRange {
    double upToThickness = 0.0;  // mm, inclusive
    double kFactor = 0.0;
};

struct Material {
    std::string name;
    double density = 0.0;  // g/cm³
    double kFactor = kDefaultKFactor;
    std::vector<KFactorRange> ranges;  // ascending by upToThickness
};

// Common steels, stainless steels and aluminium alloys: what a new Studio and a job without
// "material" lines know.
std::vector<Material> defaultMaterials();

// The K factor of `material` at `thickness`: the first range that holds it, else kFactor.
double kFactorAt(const Material& material, double thickness);

// "DENSITY,K[,UPTO:K...]" to a material named `name`; false when density or K is no positive
// finite number (K at most 1).
bool parseMaterialValue(std::string_view name, std::string_view value, Material& material);
std::string formatMaterialValue(const Material& material);

// ---- the rows file
// Which fields of a row were not found in the drawing and came from the defaults.
enum BomDefaulted : std::uint32_t {
    kDefaultedNone = 0,
    kDefaultedMaterial = 1,
    kDefaultedThickness = 2,
    kDefaultedQuantity = 4,
    kDefaultedNumber = 8,
};

// One part kind of one frame (or drawing). Lengths mm, areas mm², weights kg per piece.
struct BomRow {
    std::string key;  // stable between runs over the same drawings; the "edit" lines' key
    std::string drawingNumber;
    std::string name;
    std::int32_t quantity = 0;  // title-block quantity × copies in the frame
    std::string material;
    double thickness = 0.0;
    double density = 0.0;  // g/cm³ the weights were computed with
    double blankLength = 0.0;
    double blankWidth = 0.0;
    double netArea = 0.0;
    double cutLength = 0.0;
    std::int32_t pierces = 0;
    double netWeight = 0.0;
    double grossWeight = 0.0;
    std::string source;
    std::uint32_t defaulted = kDefaultedNone;
};

// Weight in kg of `area` mm² at `thickness` mm and `density` g/cm³.
double weightKg(double area, double thickness, double density);

std::string formatBomRows(const std::vector<BomRow>& rows);
// Every "R" line with its 16 fields, in file order; other lines are skipped.
std::vector<BomRow> readBomRows(std::string_view text, const ReadRules& rules);

}  // namespace qks::contract
