#include <algorithm>
#include <cmath>

#include "qks/bom/bom.h"
#include "qks/common/environment.h"
#include "qks/common/key_value.h"
#include "qks/common/numbers.h"
#include "qks/common/utf8.h"
#include "qks/contract/config_keys.h"
#include "qks/contract/names.h"

namespace qks::bom {
namespace {

bool flag(const std::string& value) {
    return value == "1" || toLowerUtf8(value) == "true";
}

std::vector<std::string> words(const std::string& list) {
    std::vector<std::string> out;
    std::string word;
    for (const char c : list + ",") {
        if (c != ',') {
            word.push_back(c);
            continue;
        }
        const std::string trimmed(trimWhiteSpace(word));
        if (!trimmed.empty()) out.push_back(toLowerUtf8(trimmed));
        word.clear();
    }
    return out;
}

// A length in (0, largest]; otherwise the problem is noted and `target` stays.
void readLength(const std::string& key, const std::string& value, double largest, double& target,
                std::vector<std::string>& problems) {
    const double parsed = parseLeadingDouble(value);
    if (std::isfinite(parsed) && parsed > 0.0 && parsed <= largest)
        target = parsed;
    else
        problems.push_back(key + "=" + value);
}

std::string lowerAscii(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

}  // namespace

BomConfig parseBomConfig(std::string_view text) {
    using namespace contract;
    BomConfig config;
    config.profileLayerWords.assign(kDefaultProfileLayerWords.begin(),
                                    kDefaultProfileLayerWords.end());
    std::vector<Material> materials;
    const std::string materialPrefix = std::string(kBomMaterialKey) + " ";
    const std::string editPrefix = std::string(kBomEditKey) + " ";
    for (const KeyValueLine& line : splitKeyValueLines(text)) {
        const std::string& key = line.key;
        const std::string& value = line.value;
        if (takeDrawingJobKey(key, value, config)) {
            continue;
        } else if (key == kBomOutKey) {
            // A name, not a path: the workbook stays in the output folder.
            if (!value.empty() && value.find('/') == std::string::npos && value != "." &&
                value != "..")
                config.workbook = value;
            else if (!value.empty())
                config.problems.push_back(key + "=" + value);
        } else if (key == kBomCsvKey) {
            config.csv = flag(value);
        } else if (key == kBomPackageKey) {
            config.package = flag(value);
        } else if (key == kBomZipKey) {
            config.zip = flag(value);
        } else if (key == kBomProfileLayerKey) {
            config.profileLayerWords = words(value);
        } else if (key == kBomProfileWidthKey) {
            readLength(key, value, 1e5, config.profileWidth, config.problems);
        } else if (key == kBomNestKey) {
            config.nestFolder = value;
        } else if (key == kBomDefaultMaterialKey) {
            if (!value.empty()) config.defaultMaterial = value;
        } else if (key == kBomDefaultThicknessKey) {
            readLength(key, value, kLargestThickness, config.defaultThickness, config.problems);
        } else if (key == kBomDefaultRadiusKey) {
            readLength(key, value, 1e4, config.defaultRadius, config.problems);
        } else if (key.rfind(materialPrefix, 0) == 0) {
            const std::string name(trimWhiteSpace(key.substr(materialPrefix.size())));
            Material material;
            if (!name.empty() && parseMaterialValue(name, value, material))
                materials.push_back(std::move(material));
            else
                config.problems.push_back(key + "=" + value);
        } else if (key.rfind(editPrefix, 0) == 0) {
            const std::string rowKey(trimWhiteSpace(key.substr(editPrefix.size())));
            const auto comma1 = value.find(',');
            const auto comma2 =
                comma1 == std::string::npos ? std::string::npos : value.find(',', comma1 + 1);
            if (rowKey.empty() || comma2 == std::string::npos) {
                config.problems.push_back(key + "=" + value);
                continue;
            }
            RowEdit edit;
            edit.material = std::string(trimWhiteSpace(value.substr(0, comma1)));
            const double thickness = parseLeadingDouble(value.substr(comma1 + 1));
            if (std::isfinite(thickness) && thickness > 0.0 && thickness <= kLargestThickness)
                edit.thickness = thickness;
            const int quantity = parseLeadingInt(value.substr(comma2 + 1));
            if (quantity > 0) edit.quantity = std::min(quantity, 1000000);
            config.edits[rowKey] = edit;
        }
    }
    config.materials = materials.empty() ? defaultMaterials() : std::move(materials);
    if (config.log.empty()) config.log = tempFilePath(kBomLogFile);
    return config;
}

const contract::Material* findMaterial(const BomConfig& config, const std::string& name) {
    const std::string wanted = lowerAscii(std::string(trimWhiteSpace(name)));
    for (const contract::Material& material : config.materials)
        if (lowerAscii(material.name) == wanted) return &material;
    return nullptr;
}

}  // namespace qks::bom
