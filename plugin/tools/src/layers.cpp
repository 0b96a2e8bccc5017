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

bool matchFrom(const std::string& pattern, std::size_t p, const std::string& name, std::size_t n) {
    while (p < pattern.size()) {
        if (pattern[p] == '*') {
            for (std::size_t k = n; k <= name.size(); ++k)
                if (matchFrom(pattern, p + 1, name, k)) return true;
            return false;
        }
        if (n >= name.size()) return false;
        // "?" stands for one character: skip a whole UTF-8 sequence.
        if (pattern[p] == '?') {
            ++n;
            while (n < name.size() && (static_cast<unsigned char>(name[n]) & 0xC0) == 0x80)
                ++n;
            ++p;
            continue;
        }
        if (lowerAscii(pattern[p]) != lowerAscii(name[n])) return false;
        ++p;
        ++n;
    }
    return n == name.size();
}

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

bool layerPatternMatches(const std::string& pattern, const std::string& name) {
    return matchFrom(pattern, 0, name, 0);
}

LayerCounts applyLayerRules(host::DrawingServices& ds, host::DatabaseId database,
                            host::ObjectId space, const std::vector<contract::LayerRule>& rules) {
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
