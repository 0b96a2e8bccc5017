// 图层规范: the first matching rule puts an entity on its layer with its colour, line type and
// line weight; layers and line types are created as needed.
#include <cstdlib>
#include <map>

#include "qks/common/numbers.h"
#include "qks/tools/operations.h"

namespace qks::tools {
namespace {

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The length of the UTF-8 sequence starting at `text[i]` (1 for a stray byte).
std::size_t sequenceLength(const std::string& text, std::size_t i) {
    std::size_t n = 1;
    while (i + n < text.size() && (static_cast<unsigned char>(text[i + n]) & 0xC0) == 0x80)
        ++n;
    return n;
}

}  // namespace

// Wildcards the greedy way, backtracking only to the last "*": linear in practice, and never
// exponential whatever the pattern.
bool layerPatternMatches(const std::string& pattern, const std::string& name) {
    std::size_t p = 0, n = 0;
    std::size_t starP = std::string::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = ++p;
            starN = n;
        } else if (p < pattern.size() && pattern[p] == '?') {
            ++p;
            n += sequenceLength(name, n);
        } else if (p < pattern.size() && lowerAscii(pattern[p]) == lowerAscii(name[n])) {
            ++p;
            ++n;
        } else if (starP != std::string::npos) {
            p = starP;
            starN += sequenceLength(name, starN);
            n = starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

namespace {

// Dash patterns (mm) of the line types rules may ask for, as drawing programs define them.
const std::map<std::string, std::vector<double>>& knownLinetypes() {
    static const std::map<std::string, std::vector<double>> patterns = {
        {"CENTER", {31.75, -6.35, 6.35, -6.35}},
        {"HIDDEN", {6.35, -3.175}},
        {"DASHED", {12.7, -6.35}},
        {"PHANTOM", {31.75, -6.35, 6.35, -6.35, 6.35, -6.35}},
        {"DOT", {0.0, -6.35}},
    };
    return patterns;
}

std::string upperAscii(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

}  // namespace

LayerCounts applyLayerRules(host::DrawingEdits& ds, host::DatabaseId database, host::ObjectId space,
                            const std::vector<contract::LayerRule>& rules) {
    LayerCounts counts;
    // Line types by upper-case name: null when they could not be made.
    std::map<std::string, host::ObjectId> linetypes;
    const auto ensureLinetype = [&](const std::string& name) {
        const std::string upper = upperAscii(name);
        if (upper == "BYLAYER" || upper == "BYBLOCK" || upper == "CONTINUOUS") return true;
        const auto known = linetypes.find(upper);
        if (known != linetypes.end()) return static_cast<bool>(known->second);
        const auto pattern = knownLinetypes().find(upper);
        host::ObjectId id;
        const host::Status status = ds.addLinetype(
            database, name, name,
            pattern == knownLinetypes().end() ? std::vector<double>{} : pattern->second, &id);
        const bool ready = host::succeeded(status) || status == host::Status::Duplicate;
        linetypes[upper] = ready ? id : host::ObjectId{};
        return ready;
    };
    for (const host::ObjectId entity : ds.blockEntities(space)) {
        host::EntityInfo info;
        host::EntityProperties properties;
        if (!host::succeeded(ds.entityInfo(entity, info)) ||
            !host::succeeded(ds.entityProperties(entity, properties)))
            continue;
        const contract::LayerRule* rule = nullptr;
        for (const contract::LayerRule& candidate : rules) {
            if (!candidate.layer.empty() && !layerPatternMatches(candidate.layer, properties.layer))
                continue;
            if (!candidate.color.empty() &&
                parseLeadingInt(candidate.color) != properties.colorIndex)
                continue;
            if (!candidate.linetype.empty() &&
                !layerPatternMatches(candidate.linetype, properties.linetype) &&
                !layerPatternMatches(candidate.linetype, info.linetype))
                continue;
            if (!candidate.kind.empty() &&
                ("|" + upperAscii(candidate.kind) + "|").find("|" + info.dxfName + "|") ==
                    std::string::npos)
                continue;
            rule = &candidate;
            break;
        }
        if (rule == nullptr) continue;
        host::EntityProperties wanted = properties;
        if (!rule->newLayer.empty()) {
            if (!ds.findLayer(database, rule->newLayer)) {
                const int color = rule->newColor.empty() ? 7 : parseLeadingInt(rule->newColor);
                host::ObjectId layer;
                if (!host::succeeded(ds.addLayer(database, rule->newLayer,
                                                 color >= 1 && color <= 255 ? color : 7, &layer)))
                    continue;
                ++counts.layersCreated;
                const std::string linetype = rule->newLinetype;
                if (!linetype.empty() && ensureLinetype(linetype) &&
                    linetypes.count(upperAscii(linetype)) > 0)
                    ds.setLayerLinetype(layer, linetypes[upperAscii(linetype)]);
            }
            wanted.layer = rule->newLayer;
        }
        if (!rule->newColor.empty()) {
            const int color = parseLeadingInt(rule->newColor);
            if (color >= 0 && color <= 256) wanted.colorIndex = color;
        }
        if (!rule->newLinetype.empty() && ensureLinetype(rule->newLinetype))
            wanted.linetype = rule->newLinetype;
        if (!rule->newLineweight.empty()) {
            const int weight = parseLeadingInt(rule->newLineweight);
            if (weight >= -3 && weight <= 211) wanted.lineweight = weight;
        }
        const bool same = wanted.layer == properties.layer &&
                          wanted.colorIndex == properties.colorIndex &&
                          upperAscii(wanted.linetype) == upperAscii(properties.linetype) &&
                          wanted.lineweight == properties.lineweight;
        if (!same && host::succeeded(ds.setEntityProperties(entity, wanted))) ++counts.changed;
    }
    return counts;
}

}  // namespace qks::tools
