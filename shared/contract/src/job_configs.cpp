#include "qks/contract/job_configs.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "qks/contract/text_format.h"

namespace qks::contract {
namespace {

// ---- lexical rules
std::string decoded(std::string_view bytes, const ReadRules& rules) {
    return rules.decode ? rules.decode(bytes) : std::string(bytes);
}

std::string_view trimmed(std::string_view text, const ReadRules& rules) {
    return rules.trimLine ? rules.trimLine(text) : text;
}

std::string lowered(std::string_view text, const ReadRules& rules) {
    return rules.toLower ? rules.toLower(text) : std::string(text);
}

// Bytes <= 0x20 at both ends: the plot jobs' value rule.
std::string_view trimControls(std::string_view text) {
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= 0x20)
        text.remove_prefix(1);
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= 0x20)
        text.remove_suffix(1);
    return text;
}

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

struct Line {
    std::string key;
    std::string value;
};

// The nest, BOM and tools jobs' lines: one byte-order mark dropped from the start, the text
// decoded, split at LF; lines trimmed, empty ones and '#' ones skipped; key and value split at
// the first '=' and trimmed.
std::vector<Line> keyValueLines(std::string_view bytes, const ReadRules& rules) {
    if (startsWith(bytes, kByteOrderMark)) bytes.remove_prefix(kByteOrderMark.size());
    const std::string text = decoded(bytes, rules);
    std::vector<Line> lines;
    std::string_view rest(text);
    while (!rest.empty()) {
        const auto end = rest.find('\n');
        const std::string_view line = trimmed(rest.substr(0, end), rules);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        if (line.empty() || line.front() == '#') continue;
        const auto eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        lines.push_back({std::string(trimmed(line.substr(0, eq), rules)),
                         std::string(trimmed(line.substr(eq + 1), rules))});
    }
    return lines;
}

// The plot jobs' lines: split at LF, one CR before it dropped, a byte-order mark dropped from
// any line (some editors add one per append); keys exact bytes, values decoded and trimmed of
// bytes <= 0x20.
std::vector<Line> plotLines(std::string_view rest, const ReadRules& rules) {
    std::vector<Line> lines;
    while (!rest.empty()) {
        const auto end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.size() > 2 && startsWith(line, kByteOrderMark)) line.remove_prefix(3);
        const auto eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        const std::string value = decoded(line.substr(eq + 1), rules);
        lines.push_back({std::string(line.substr(0, eq)), std::string(trimControls(value))});
    }
    return lines;
}

// "1" or "true" in any case.
bool trueFlag(const std::string& value, const ReadRules& rules) {
    return value == "1" || lowered(value, rules) == "true";
}

// Anything but "0".
bool onFlag(const std::string& value) {
    return value != "0";
}

double finiteOrZero(double value) {
    return std::isfinite(value) ? value : 0.0;
}

// A name in the output folder, not a path: kept when it is one, a problem when it is text.
void readWorkbook(const Line& line, std::string& workbook, std::vector<std::string>& problems) {
    const std::string& value = line.value;
    if (!value.empty() && value.find('/') == std::string::npos && value != "." && value != "..")
        workbook = value;
    else if (!value.empty())
        problems.push_back(line.key + "=" + value);
}

// A length in (0, largest] (`zeroAllowed`: [0, largest]); otherwise the problem is noted and
// `target` stays.
void readLength(const Line& line, double largest, bool zeroAllowed, double& target,
                std::vector<std::string>& problems, const ReadRules& rules) {
    const double parsed = rules.toDouble(line.value);
    if (std::isfinite(parsed) && (zeroAllowed ? parsed >= 0.0 : parsed > 0.0) && parsed <= largest)
        target = parsed;
    else
        problems.push_back(line.key + "=" + line.value);
}

// The keys every job over a list of drawings shares. True when the line's key is one of them.
template <class Config>
bool takeDrawingKey(const Line& line, Config& config) {
    if (line.key == kFileKey) {
        if (!line.value.empty()) config.files.push_back(line.value);
    } else if (line.key == kScopeKey) {
        config.currentDrawing = line.value == kCurrentScope;
    } else if (line.key == kOutDirKey) {
        config.outDir = line.value;
    } else if (line.key == kLogKey) {
        config.log = line.value;
    } else {
        return false;
    }
    return true;
}

// ---- writing
// Numbers as the Studio has always written them (Qt's QString::number): halves rounded away
// from zero, -0 as 0, NaN without a sign.
bool exactlyHalfway(double value, bool fixedPlaces, int digits) {
    // Enough digits for any double's exact decimal expansion.
    constexpr int kExact = 1100;
    char buffer[1600];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value),
                      fixedPlaces ? std::chars_format::fixed : std::chars_format::scientific,
                      fixedPlaces ? digits + kExact : kExact);
    if (result.ec != std::errc()) return false;
    std::string digitsOnly;
    for (const char* p = buffer; p != result.ptr && *p != 'e'; ++p)
        if (*p != '.') digitsOnly.push_back(*p);
    const std::size_t cut =
        fixedPlaces ? digitsOnly.size() - kExact : static_cast<std::size_t>(digits);
    if (cut >= digitsOnly.size() || digitsOnly[cut] != '5') return false;
    return digitsOnly.find_first_not_of('0', cut + 1) == std::string::npos;
}

std::string studioNumber(double value, bool fixedPlaces, int digits) {
    if (std::isnan(value)) return "nan";
    if (value == 0.0) value = 0.0;
    if (std::isfinite(value) && exactlyHalfway(value, fixedPlaces, digits))
        value = std::nextafter(value, value > 0 ? std::numeric_limits<double>::infinity()
                                                : -std::numeric_limits<double>::infinity());
    std::string out;
    if (fixedPlaces) {
        appendFixed(out, value, digits);
    } else {
        char buffer[64];
        const auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                                          std::chars_format::general, digits);
        out.append(buffer, result.ptr);
    }
    return out;
}

std::string general(double value) {
    return studioNumber(value, false, 6);
}

std::string whole(long long value) {
    std::string out;
    appendInt(out, value);
    return out;
}

std::string_view bit(bool value) {
    return value ? "1" : "0";
}

void addLine(std::string& out, std::string_view key, std::string_view value) {
    out += key;
    out.push_back('=');
    out += value;
    out.push_back('\n');
}

// "KEY NAME=VALUE": lines that carry one entry of a list, named after the key.
void addNamedLine(std::string& out, std::string_view key, std::string_view name,
                  std::string_view value) {
    out += key;
    out.push_back(' ');
    out += name;
    out.push_back('=');
    out += value;
    out.push_back('\n');
}

void addFiles(std::string& out, const std::vector<std::string>& files) {
    for (const std::string& file : files)
        addLine(out, kFileKey, file);
}

// The drawings of a job that reads either the current drawing or files.
template <class Config>
void addDrawingLines(std::string& out, const Config& config) {
    if (config.currentDrawing)
        addLine(out, kScopeKey, kCurrentScope);
    else
        addFiles(out, config.files);
}

std::string_view unitsWord(DrawingUnits units) {
    switch (units) {
        case DrawingUnits::Millimetres:
            return kUnitsMillimetres;
        case DrawingUnits::Inches:
            return kUnitsInches;
        case DrawingUnits::Auto:
            break;
    }
    return kUnitsAuto;
}

// The plot, plot-files and merge jobs read one set of keys.
struct PlotFamily {
    PlotFilesJobConfig plot;
    std::string outDwg;
    std::int32_t columns = kDefaultMergeColumns;
    double spacing = kDefaultMergeSpacing;
    bool pdf = false;
};

PlotFamily readPlotFamily(std::string_view text, const ReadRules& rules) {
    PlotFamily read;
    PlotFilesJobConfig& c = read.plot;
    for (const Line& line : plotLines(text, rules)) {
        const std::string& key = line.key;
        const std::string& value = line.value;
        if (key == kOutDirKey) {
            c.outDir = value;
        } else if (key == kPrefixKey) {
            c.prefix = value;
        } else if (key == kStyleKey) {
            c.style = value;
        } else if (key == kLogKey) {
            c.log = value;
        } else if (key == kOutDwgKey) {
            read.outDwg = value;
        } else if (key == kScopeKey) {
            c.scope = value;
        } else if (key == kColumnsKey) {
            const std::int32_t columns = rules.toInt(value);
            read.columns = columns < 2 ? 1 : columns;
        } else if (key == kSpacingKey) {
            read.spacing = rules.toDouble(value);
        } else if (key == kPdfKey) {
            read.pdf = trueFlag(value, rules);
        } else if (key == kFileKey) {
            if (!value.empty()) c.files.push_back(value);
        }
    }
    return read;
}

bool parseWholeDegrees(std::string_view piece, std::int32_t& degrees) {
    const std::size_t sign = (!piece.empty() && (piece[0] == '-' || piece[0] == '+')) ? 1 : 0;
    if (sign == piece.size() || piece.size() - sign > 9) return false;
    for (std::size_t i = sign; i < piece.size(); ++i)
        if (piece[i] < '0' || piece[i] > '9') return false;
    std::int32_t value = 0;
    std::from_chars(piece.data() + sign, piece.data() + piece.size(), value);
    degrees = piece[0] == '-' ? -value : value;
    return true;
}

// The multiplication signs a sheet size may be written with, as UTF-8: X, *, ×, ＊ and 乘.
constexpr std::string_view kTimesSigns[] = {"X", "*", "\xC3\x97", "\xEF\xBC\x8A", "\xE4\xB9\x98"};

// Where the first size separator ('x' or a sign) starts at or after `from`, and its length.
std::size_t findTimes(std::string_view text, std::size_t from, std::size_t& length) {
    std::size_t best = std::string_view::npos;
    length = 0;
    const auto consider = [&](std::string_view sign) {
        const std::size_t at = text.find(sign, from);
        if (at < best) {
            best = at;
            length = sign.size();
        }
    };
    consider("x");
    for (const std::string_view sign : kTimesSigns)
        consider(sign);
    return best;
}

}  // namespace

// ---- plot, plot files, merge
std::string writePlotConfig(const PlotJobConfig& config) {
    std::string out;
    addLine(out, kOutDirKey, config.outDir);
    addLine(out, kPrefixKey, config.prefix);
    addLine(out, kStyleKey, config.style);
    addLine(out, kScopeKey, config.scope);
    addLine(out, kLogKey, config.log);
    return out;
}

std::string writePlotFilesConfig(const PlotFilesJobConfig& config) {
    std::string out = writePlotConfig(config);
    addFiles(out, config.files);
    return out;
}

std::string writeMergeConfig(const MergeJobConfig& config) {
    std::string out;
    addLine(out, kOutDwgKey, config.outDwg);
    addLine(out, kOutDirKey, config.outDir);
    addLine(out, kColumnsKey, whole(config.columns));
    addLine(out, kSpacingKey, studioNumber(config.spacing, true, 2));
    addLine(out, kPdfKey, bit(config.pdf));
    addLine(out, kLogKey, config.log);
    addFiles(out, config.files);
    if (!config.style.empty()) addLine(out, kStyleKey, config.style);
    return out;
}

PlotJobConfig readPlotConfig(std::string_view text, const ReadRules& rules) {
    return readPlotFamily(text, rules).plot;
}

PlotFilesJobConfig readPlotFilesConfig(std::string_view text, const ReadRules& rules) {
    return readPlotFamily(text, rules).plot;
}

MergeJobConfig readMergeConfig(std::string_view text, const ReadRules& rules) {
    PlotFamily read = readPlotFamily(text, rules);
    MergeJobConfig config;
    config.outDwg = std::move(read.outDwg);
    config.outDir = std::move(read.plot.outDir);
    config.columns = read.columns;
    config.spacing = read.spacing;
    config.pdf = read.pdf;
    config.log = std::move(read.plot.log);
    config.files = std::move(read.plot.files);
    config.style = std::move(read.plot.style);
    return config;
}

// ---- BOM
std::vector<std::string> listWords(std::string_view list, const ReadRules& rules) {
    std::vector<std::string> words;
    while (true) {
        const auto comma = list.find(',');
        const std::string_view piece = trimmed(list.substr(0, comma), rules);
        if (!piece.empty()) words.push_back(lowered(piece, rules));
        if (comma == std::string_view::npos) break;
        list.remove_prefix(comma + 1);
    }
    return words;
}

std::vector<std::string> profileLayerWords(const BomJobConfig& config, const ReadRules& rules) {
    if (!config.profileLayers)
        return {kDefaultProfileLayerWords.begin(), kDefaultProfileLayerWords.end()};
    return listWords(*config.profileLayers, rules);
}

const BomEdit* findBomEdit(const BomJobConfig& config, std::string_view key) {
    for (auto edit = config.edits.rbegin(); edit != config.edits.rend(); ++edit)
        if (edit->key == key) return &*edit;
    return nullptr;
}

std::string writeBomConfig(const BomJobConfig& config) {
    std::string out;
    addLine(out, kOutDirKey, config.outDir);
    addLine(out, kBomOutKey, config.workbook);
    addLine(out, kLogKey, config.log);
    addDrawingLines(out, config);
    addLine(out, kBomCsvKey, bit(config.csv));
    addLine(out, kBomPackageKey, bit(config.package));
    addLine(out, kBomZipKey, bit(config.zip));
    if (!config.nestFolder.empty()) addLine(out, kBomNestKey, config.nestFolder);
    if (config.profileLayers) addLine(out, kBomProfileLayerKey, *config.profileLayers);
    addLine(out, kBomProfileWidthKey, general(config.profileWidth));
    for (const Material& material : config.materials)
        addNamedLine(out, kBomMaterialKey, material.name, formatMaterialValue(material));
    addLine(out, kBomDefaultMaterialKey, config.defaultMaterial);
    addLine(out, kBomDefaultThicknessKey, general(config.defaultThickness));
    addLine(out, kBomDefaultRadiusKey, general(config.defaultRadius));
    for (const BomEdit& edit : config.edits) {
        std::string value = edit.material.value_or(std::string());
        value.push_back(',');
        if (edit.thickness) value += general(*edit.thickness);
        value.push_back(',');
        if (edit.quantity) appendInt(value, *edit.quantity);
        addNamedLine(out, kBomEditKey, edit.key, value);
    }
    return out;
}

BomJobConfig readBomConfig(std::string_view text, const ReadRules& rules) {
    BomJobConfig config;
    std::vector<Material> materials;
    const std::string materialPrefix = std::string(kBomMaterialKey) + " ";
    const std::string editPrefix = std::string(kBomEditKey) + " ";
    for (const Line& line : keyValueLines(text, rules)) {
        const std::string& key = line.key;
        const std::string& value = line.value;
        if (takeDrawingKey(line, config)) {
            continue;
        } else if (key == kBomOutKey) {
            readWorkbook(line, config.workbook, config.problems);
        } else if (key == kBomCsvKey) {
            config.csv = trueFlag(value, rules);
        } else if (key == kBomPackageKey) {
            config.package = trueFlag(value, rules);
        } else if (key == kBomZipKey) {
            config.zip = trueFlag(value, rules);
        } else if (key == kBomProfileLayerKey) {
            config.profileLayers = value;
        } else if (key == kBomProfileWidthKey) {
            readLength(line, kLargestProfileWidth, false, config.profileWidth, config.problems,
                       rules);
        } else if (key == kBomNestKey) {
            config.nestFolder = value;
        } else if (key == kBomDefaultMaterialKey) {
            if (!value.empty()) config.defaultMaterial = value;
        } else if (key == kBomDefaultThicknessKey) {
            readLength(line, kLargestThickness, false, config.defaultThickness, config.problems,
                       rules);
        } else if (key == kBomDefaultRadiusKey) {
            readLength(line, kLargestBendRadius, false, config.defaultRadius, config.problems,
                       rules);
        } else if (startsWith(key, materialPrefix)) {
            const std::string name(
                trimmed(std::string_view(key).substr(materialPrefix.size()), rules));
            Material material;
            if (!name.empty() && parseMaterialValue(name, value, material))
                materials.push_back(std::move(material));
            else
                config.problems.push_back(key + "=" + value);
        } else if (startsWith(key, editPrefix)) {
            const std::string rowKey(
                trimmed(std::string_view(key).substr(editPrefix.size()), rules));
            const auto comma1 = value.find(',');
            const auto comma2 =
                comma1 == std::string::npos ? std::string::npos : value.find(',', comma1 + 1);
            if (rowKey.empty() || comma2 == std::string::npos) {
                config.problems.push_back(key + "=" + value);
                continue;
            }
            BomEdit edit;
            edit.key = rowKey;
            const std::string material(trimmed(std::string_view(value).substr(0, comma1), rules));
            if (!material.empty()) edit.material = material;
            const double thickness = rules.toDouble(std::string_view(value).substr(comma1 + 1));
            if (std::isfinite(thickness) && thickness > 0.0 && thickness <= kLargestThickness)
                edit.thickness = thickness;
            const std::int32_t quantity = rules.toInt(std::string_view(value).substr(comma2 + 1));
            if (quantity > 0) edit.quantity = std::min(quantity, kLargestEditQuantity);
            config.edits.push_back(std::move(edit));
        }
    }
    config.materials = materials.empty() ? defaultMaterials() : std::move(materials);
    return config;
}

// ---- drawing tools
namespace {

// The operations in the order the job runs them, with their words.
constexpr std::pair<ToolOperation, std::string_view> kToolOperations[] = {
    {ToolOperation::Clean, kOpClean},           {ToolOperation::Layers, kOpLayers},
    {ToolOperation::Corners, kOpCorners},       {ToolOperation::Area, kOpArea},
    {ToolOperation::Attributes, kOpAttributes}, {ToolOperation::Dimensions, kOpDimensions},
    {ToolOperation::Holes, kOpHoles},           {ToolOperation::Balloons, kOpBalloons},
};

}  // namespace

std::string_view toolOperationWord(ToolOperation operation) {
    for (const auto& [op, word] : kToolOperations)
        if (op == operation) return word;
    return {};
}

bool toolsRead(const std::vector<ToolOperation>& operations, ToolOption option) {
    using Op = ToolOperation;
    const auto any = [&operations](std::initializer_list<Op> readers) {
        for (const Op op : readers)
            if (std::find(operations.begin(), operations.end(), op) != operations.end())
                return true;
        return false;
    };
    switch (option) {
        case ToolOption::JoinTolerance:
            return any({Op::Clean, Op::Area, Op::Dimensions, Op::Holes, Op::Balloons});
        case ToolOption::CleanUp:
            return any({Op::Clean});
        case ToolOption::LayerRules:
            return any({Op::Layers});
        case ToolOption::Corners:
            return any({Op::Corners});
        case ToolOption::AreaLabels:
            return any({Op::Area});
        case ToolOption::TextHeight:
            return any({Op::Area, Op::Dimensions, Op::Holes, Op::Balloons});
        case ToolOption::Workbook:
            return any({Op::Area, Op::Attributes});
    }
    return false;
}

std::string writeToolsConfig(const ToolsJobConfig& config) {
    std::string words;
    for (const ToolOperation operation : config.operations) {
        if (!words.empty()) words.push_back(',');
        words += toolOperationWord(operation);
    }
    const auto reads = [&config](ToolOption option) {
        return toolsRead(config.operations, option);
    };
    std::string out;
    addLine(out, kOutDirKey, config.outDir);
    addLine(out, kLogKey, config.log);
    addDrawingLines(out, config);
    addLine(out, kToolsOpKey, words);
    if (reads(ToolOption::JoinTolerance))
        addLine(out, kJoinToleranceKey, general(config.joinTolerance));
    if (reads(ToolOption::CleanUp)) {
        addLine(out, kToolsShortLengthKey, general(config.shortLength));
        addLine(out, kToolsExplodeKey, bit(config.explode));
    }
    if (reads(ToolOption::LayerRules)) {
        for (const LayerRule& rule : config.rules)
            addLine(out, kToolsRuleKey, formatLayerRule(rule));
    }
    if (reads(ToolOption::Corners)) {
        if (config.chamfer > 0.0 && !(config.radius > 0.0))
            addLine(out, kToolsChamferKey, general(config.chamfer));
        else
            addLine(out, kToolsRadiusKey, general(config.radius));
    }
    if (reads(ToolOption::AreaLabels)) addLine(out, kToolsAreaLabelsKey, bit(config.areaLabels));
    if (reads(ToolOption::TextHeight))
        addLine(out, kToolsTextHeightKey, general(config.textHeight));
    if (reads(ToolOption::Workbook)) addLine(out, kToolsOutKey, config.workbook);
    return out;
}

ToolsJobConfig readToolsConfig(std::string_view text, const ReadRules& rules) {
    ToolsJobConfig config;
    std::vector<LayerRule> layerRules;
    for (const Line& line : keyValueLines(text, rules)) {
        const std::string& key = line.key;
        const std::string& value = line.value;
        if (takeDrawingKey(line, config)) {
            continue;
        } else if (key == kToolsOpKey) {
            std::string_view list(value);
            while (true) {
                const auto comma = list.find(',');
                const std::string name = lowered(trimmed(list.substr(0, comma), rules), rules);
                bool known = false;
                for (const auto& [op, word] : kToolOperations)
                    if (name == word) {
                        config.operations.push_back(op);
                        known = true;
                    }
                if (!known && !name.empty())
                    config.problems.push_back(std::string(kToolsOpKey) + "=" + name);
                if (comma == std::string_view::npos) break;
                list.remove_prefix(comma + 1);
            }
        } else if (key == kJoinToleranceKey) {
            readLength(line, kLargestJoinTolerance, true, config.joinTolerance, config.problems,
                       rules);
        } else if (key == kToolsShortLengthKey) {
            readLength(line, kLargestToolLength, true, config.shortLength, config.problems, rules);
        } else if (key == kToolsExplodeKey) {
            config.explode = trueFlag(value, rules);
        } else if (key == kToolsRadiusKey) {
            readLength(line, kLargestToolLength, true, config.radius, config.problems, rules);
        } else if (key == kToolsChamferKey) {
            readLength(line, kLargestToolLength, true, config.chamfer, config.problems, rules);
        } else if (key == kToolsAreaLabelsKey) {
            config.areaLabels = trueFlag(value, rules);
        } else if (key == kToolsTextHeightKey) {
            readLength(line, kLargestAnnotationHeight, true, config.textHeight, config.problems,
                       rules);
            if (config.textHeight <= 0) config.textHeight = kDefaultAnnotationTextHeight;
        } else if (key == kToolsOutKey) {
            readWorkbook(line, config.workbook, config.problems);
        } else if (key == kToolsRuleKey) {
            LayerRule rule;
            if (parseLayerRule(value, rule))
                layerRules.push_back(std::move(rule));
            else
                config.problems.push_back(key + "=" + value);
        }
    }
    config.rules = layerRules.empty() ? defaultLayerRules() : std::move(layerRules);
    return config;
}

// ---- nest
PartRotation parsePartRotation(std::string_view value, const ReadRules& rules) {
    PartRotation rotation;
    value = trimmed(value, rules);
    if (value == kFreeRotation) {
        rotation.free = true;
        return rotation;
    }
    rotation.angles.clear();
    while (true) {
        const auto comma = value.find(',');
        std::int32_t degrees = 0;
        if (parseWholeDegrees(trimmed(value.substr(0, comma), rules), degrees)) {
            degrees = ((degrees % 360) + 360) % 360;
            if (std::find(rotation.angles.begin(), rotation.angles.end(), degrees) ==
                rotation.angles.end())
                rotation.angles.push_back(degrees);
        }
        if (comma == std::string_view::npos) break;
        value.remove_prefix(comma + 1);
    }
    if (rotation.angles.empty()) rotation.angles.push_back(0);
    return rotation;
}

std::string formatPartRotation(const PartRotation& rotation) {
    if (rotation.free) return std::string(kFreeRotation);
    std::string out;
    for (const std::int32_t angle : rotation.angles) {
        if (!out.empty()) out.push_back(',');
        appendInt(out, angle);
    }
    return out;
}

bool parseSheetLine(std::string_view value, SheetSize& sheet, const ReadRules& rules) {
    // A sign's bytes start with a lead byte or are ASCII, so each is found where a decoder
    // would find it whatever bytes stand before.
    std::size_t firstLength = 0, secondLength = 0;
    const std::size_t first = findTimes(value, 0, firstLength);
    if (first == std::string_view::npos) return false;
    const double a = rules.toDouble(decoded(value.substr(0, first), rules));
    const std::string_view rest = value.substr(first + firstLength);
    const std::size_t second = findTimes(rest, 0, secondLength);
    double b = 0.0;
    std::int32_t count = 0;
    if (second != std::string_view::npos) {
        b = rules.toDouble(decoded(rest.substr(0, second), rules));
        count = rules.toInt(decoded(rest.substr(second + secondLength), rules));
    } else {
        b = rules.toDouble(decoded(rest, rules));
    }
    if (!std::isfinite(a) || !std::isfinite(b) || a < 10.0 || b < 10.0) return false;
    sheet.width = std::fmax(a, b);
    sheet.height = std::fmin(a, b);
    sheet.count = count < 1 ? 0 : count;
    return true;
}

std::string writeNestConfig(const NestJobConfig& config) {
    std::string out;
    addLine(out, kSourceKey, config.source);
    addLine(out, kPartsFileKey, config.partsFile);
    addFiles(out, config.files);
    addLine(out, kLayerKey, config.layerList);
    addLine(out, kOutDirKey, config.outDir);
    addLine(out, kOutDwgKey, config.outDwg);
    addLine(out, kLogKey, config.log);
    addLine(out, kPrefixKey, config.prefix);
    for (const std::string& sheet : config.sheetLines)
        addLine(out, kSheetKey, sheet);
    addLine(out, kGapKey, general(config.gap));
    addLine(out, kMarginKey, general(config.margin));
    addLine(out, kCellKey, general(config.cell));
    addLine(out, kRotateKey, bit(config.rotate));
    addLine(out, kMirrorKey, bit(config.mirror));
    addLine(out, kPdfKey, bit(config.pdf));
    addLine(out, kSecondsKey, general(config.seconds));
    for (const PartQuantity& part : config.quantities)
        addNamedLine(out, kPartCountKey, whole(part.id), whole(part.quantity));
    if (config.strategy == NestStrategy::Dense) {
        addLine(out, kStrategyKey, kDenseStrategy);
        // Only the dense search fills holes.
        if (config.partInPart) addLine(out, kPartInPartKey, bit(true));
    }
    if (config.commonLine) addLine(out, kCommonLineKey, bit(true));
    // Left out, the plug-in takes each drawing's header unit, the same as "auto".
    if (config.units != DrawingUnits::Auto) addLine(out, kUnitsKey, unitsWord(config.units));
    if (!config.stockFile.empty()) addLine(out, kStockFileKey, config.stockFile);
    if (config.offcut) addLine(out, kOffcutKey, bit(true));
    for (const PartRotationLine& part : config.rotations)
        addNamedLine(out, kPartRotateKey, whole(part.id), formatPartRotation(part.rotation));
    if (!config.carry) addLine(out, kCarryKey, bit(false));
    if (config.labels) addLine(out, kLabelsKey, bit(true));
    if (!config.keepLocked.empty()) addLine(out, kKeepLockedKey, config.keepLocked);
    if (config.threads != 0) addLine(out, kThreadsKey, whole(config.threads));
    if (config.joinTolerance != kDefaultJoinTolerance)
        addLine(out, kJoinToleranceKey, general(config.joinTolerance));
    if (config.skipLayerList) addLine(out, kSkipLayersKey, *config.skipLayerList);
    return out;
}

NestJobConfig readNestConfig(std::string_view text, const ReadRules& rules) {
    NestJobConfig config;
    for (const Line& line : keyValueLines(text, rules)) {
        const std::string& key = line.key;
        const std::string& value = line.value;
        if (key == kSourceKey) {
            config.source = value;
        } else if (key == kFileKey) {
            if (!value.empty()) config.files.push_back(value);
        } else if (key == kLayerKey) {
            // Every line's layers count: the lists joined.
            if (!config.layerList.empty()) config.layerList.push_back(',');
            config.layerList += value;
        } else if (key == kOutDirKey) {
            config.outDir = value;
        } else if (key == kOutDwgKey) {
            config.outDwg = value;
        } else if (key == kLogKey) {
            config.log = value;
        } else if (key == kPrefixKey) {
            config.prefix = value;
        } else if (key == kPartsFileKey) {
            config.partsFile = value;
        } else if (startsWith(key, kPartRotateKey)) {
            const std::int32_t id =
                rules.toInt(std::string_view(key).substr(kPartRotateKey.size()));
            config.rotations.push_back({id, parsePartRotation(value, rules)});
        } else if (startsWith(key, kPartCountKey)) {
            const std::int32_t id = rules.toInt(std::string_view(key).substr(kPartCountKey.size()));
            config.quantities.push_back({id, rules.toInt(value)});
        } else if (key == kSheetKey) {
            SheetSize sheet;
            if (parseSheetLine(value, sheet, rules)) config.sheetLines.push_back(value);
        } else if (key == kGapKey) {
            const double v = finiteOrZero(rules.toDouble(value));
            config.gap = v > 0.0 ? std::fmin(v, kLargestGap) : 0.0;
        } else if (key == kMarginKey) {
            const double v = finiteOrZero(rules.toDouble(value));
            config.margin = v > 0.0 ? v : 0.0;
        } else if (key == kCellKey) {
            const double v = rules.toDouble(value);
            if (v >= kSmallestCell) config.cell = std::fmin(v, kLargestCell);
        } else if (key == kRotateKey) {
            config.rotate = onFlag(value);
        } else if (key == kMirrorKey) {
            config.mirror = onFlag(value);
        } else if (key == kPdfKey) {
            config.pdf = onFlag(value);
        } else if (key == kSecondsKey) {
            const double v = rules.toDouble(value);
            if (v >= kShortestSeconds) config.seconds = std::fmin(v, kLongestSeconds);
        } else if (key == kStrategyKey) {
            config.strategy =
                value == kDenseStrategy ? NestStrategy::Dense : NestStrategy::Standard;
        } else if (key == kStockFileKey) {
            config.stockFile = value;
        } else if (key == kKeepLockedKey) {
            config.keepLocked = value;
        } else if (key == kOffcutKey) {
            config.offcut = onFlag(value);
        } else if (key == kPartInPartKey) {
            config.partInPart = onFlag(value);
        } else if (key == kCommonLineKey) {
            config.commonLine = onFlag(value);
        } else if (key == kJoinToleranceKey) {
            const double v = rules.toDouble(value);
            if (std::isfinite(v) && v >= 0.0)
                config.joinTolerance = std::fmin(v, kLargestJoinTolerance);
        } else if (key == kUnitsKey) {
            const std::string units = lowered(trimmed(value, rules), rules);
            if (units == kUnitsMillimetres)
                config.units = DrawingUnits::Millimetres;
            else if (units == kUnitsInches)
                config.units = DrawingUnits::Inches;
            else
                config.units = DrawingUnits::Auto;
        } else if (key == kSkipLayersKey) {
            config.skipLayerList = value;
        } else if (key == kCarryKey) {
            config.carry = onFlag(value);
        } else if (key == kLabelsKey) {
            config.labels = onFlag(value);
        } else if (key == kThreadsKey) {
            // More threads than any machine has only cost memory; the cap keeps a typo harmless.
            const std::int32_t n = rules.toInt(value);
            config.threads = n < 0 ? 0 : std::min(n, kMostThreads);
        }
    }
    return config;
}

}  // namespace qks::contract
