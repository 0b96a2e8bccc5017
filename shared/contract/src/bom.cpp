#include "qks/contract/bom.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "qks/contract/text_format.h"
#include "split.h"

namespace qks::contract {
namespace {

// A whole-field decimal in the "C" locale, or NaN: the config's numbers are the Studio's own
// output, so anything else is a fault to refuse, not to guess at.
double wholeNumber(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    if (text.empty() || text.size() > 64) return std::nan("");
    const std::string copy(text);
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(copy.c_str(), &end);
    if (end != copy.c_str() + copy.size() || errno != 0) return std::nan("");
    return value;
}

bool usableK(double k) {
    return std::isfinite(k) && k > 0.0 && k <= 1.0;
}

}  // namespace

std::vector<Material> defaultMaterials() {
    // Densities from the grades' standards; K factors for air bending with the inner radius
    // about the thickness, smaller on thin sheet where the neutral layer sits further in.
    const std::vector<KFactorRange> steel = {{1.0, 0.38}, {3.0, 0.42}};
    const std::vector<KFactorRange> stainless = {{1.0, 0.40}, {3.0, 0.43}};
    const std::vector<KFactorRange> aluminium = {{1.0, 0.36}, {3.0, 0.40}};
    return {
        {"Q235", 7.85, 0.44, steel},        {"Q345", 7.85, 0.44, steel},
        {"SPCC", 7.85, 0.44, steel},        {"SECC", 7.85, 0.44, steel},
        {"45#", 7.85, 0.44, steel},         {"SUS304", 7.93, 0.45, stainless},
        {"SUS316L", 7.98, 0.45, stainless}, {"SUS430", 7.70, 0.45, stainless},
        {"AL1060", 2.71, 0.42, aluminium},  {"AL5052", 2.68, 0.42, aluminium},
        {"AL6061", 2.70, 0.42, aluminium},
    };
}

double kFactorAt(const Material& material, double thickness) {
    for (const KFactorRange& range : material.ranges)
        if (thickness <= range.upToThickness) return range.kFactor;
    return material.kFactor;
}

bool parseMaterialValue(std::string_view name, std::string_view value, Material& material) {
    const std::vector<std::string_view> fields = splitFields(value, ',');
    if (fields.size() < 2) return false;
    Material parsed;
    parsed.name = std::string(name);
    parsed.density = wholeNumber(fields[0]);
    parsed.kFactor = wholeNumber(fields[1]);
    if (!std::isfinite(parsed.density) || parsed.density <= 0.0 || parsed.density > 100.0 ||
        !usableK(parsed.kFactor))
        return false;
    for (std::size_t i = 2; i < fields.size(); ++i) {
        const auto colon = fields[i].find(':');
        if (colon == std::string_view::npos) return false;
        const KFactorRange range{wholeNumber(fields[i].substr(0, colon)),
                                 wholeNumber(fields[i].substr(colon + 1))};
        if (!std::isfinite(range.upToThickness) || range.upToThickness <= 0.0 ||
            !usableK(range.kFactor))
            return false;
        parsed.ranges.push_back(range);
    }
    std::sort(parsed.ranges.begin(), parsed.ranges.end(),
              [](const KFactorRange& a, const KFactorRange& b) {
                  return a.upToThickness < b.upToThickness;
              });
    material = std::move(parsed);
    return true;
}

std::string formatMaterialValue(const Material& material) {
    std::string out;
    appendGeneral(out, material.density);
    out.push_back(',');
    appendGeneral(out, material.kFactor);
    for (const KFactorRange& range : material.ranges) {
        out.push_back(',');
        appendGeneral(out, range.upToThickness);
        out.push_back(':');
        appendGeneral(out, range.kFactor);
    }
    return out;
}

double weightKg(double area, double thickness, double density) {
    // mm² × mm = mm³; g/cm³ = 1e-3 g/mm³ = 1e-6 kg/mm³.
    return area * thickness * density * 1e-6;
}

std::string formatBomRows(const std::vector<BomRow>& rows) {
    std::string out = "# QKS-BOM 1\n";
    for (const BomRow& row : rows) {
        out += "R";
        for (const std::string* text : {&row.key, &row.drawingNumber, &row.name}) {
            out.push_back('\t');
            out += *text;
        }
        out.push_back('\t');
        appendInt(out, row.quantity);
        out.push_back('\t');
        out += row.material;
        for (double v : {row.thickness, row.density, row.blankLength, row.blankWidth, row.netArea,
                         row.cutLength}) {
            out.push_back('\t');
            appendFixed(out, v, 4);
        }
        out.push_back('\t');
        appendInt(out, row.pierces);
        for (double v : {row.netWeight, row.grossWeight}) {
            out.push_back('\t');
            appendFixed(out, v, 6);
        }
        out.push_back('\t');
        out += row.source;
        out.push_back('\t');
        appendInt(out, row.defaulted);
        out.push_back('\n');
    }
    return out;
}

std::vector<BomRow> readBomRows(std::string_view text, const ReadRules& rules) {
    std::vector<BomRow> rows;
    for (std::string_view line : splitFields(text, '\n')) {
        if (rules.trimLine) line = rules.trimLine(line);
        const std::vector<std::string_view> f = splitFields(line, '\t');
        if (f.size() < 17 || f[0] != "R") continue;
        BomRow row;
        row.key = std::string(f[1]);
        row.drawingNumber = std::string(f[2]);
        row.name = std::string(f[3]);
        row.quantity = rules.toInt(f[4]);
        row.material = std::string(f[5]);
        row.thickness = rules.toDouble(f[6]);
        row.density = rules.toDouble(f[7]);
        row.blankLength = rules.toDouble(f[8]);
        row.blankWidth = rules.toDouble(f[9]);
        row.netArea = rules.toDouble(f[10]);
        row.cutLength = rules.toDouble(f[11]);
        row.pierces = rules.toInt(f[12]);
        row.netWeight = rules.toDouble(f[13]);
        row.grossWeight = rules.toDouble(f[14]);
        row.source = std::string(f[15]);
        row.defaulted = static_cast<std::uint32_t>(rules.toInt(f[16])) & 15u;
        rows.push_back(std::move(row));
    }
    return rows;
}

}  // namespace qks::contract
