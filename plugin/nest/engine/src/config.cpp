#include "qks/nest/config.h"

#include <algorithm>
#include <cmath>

#include "qks/common/environment.h"
#include "qks/common/file_io.h"
#include "qks/common/key_value.h"
#include "qks/common/numbers.h"
#include "qks/common/utf8.h"
#include "qks/contract/config_keys.h"
#include "qks/contract/names.h"

namespace qks::nest {
namespace {

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool isMultiplicationSign(char32_t cp) {
    return cp == U'X' || cp == U'*' || cp == 0x00D7 || cp == 0xFF0A || cp == 0x4E58;
}

// A length or distance that is not a finite number is treated as not given at all: nothing
// downstream can work with an infinite gap or margin.
double finiteOrZero(double value) {
    return std::isfinite(value) ? value : 0.0;
}

void addLayers(std::string_view value, std::vector<std::string>& layers) {
    while (true) {
        const auto comma = value.find(',');
        const std::string_view piece = trimWhiteSpace(value.substr(0, comma));
        if (!piece.empty()) layers.push_back(toLowerUtf8(piece));
        if (comma == std::string_view::npos) break;
        value.remove_prefix(comma + 1);
    }
}

void applyKey(const KeyValueLine& line, NestConfig& config) {
    const std::string& key = line.key;
    const std::string& value = line.value;
    if (key == contract::kSourceKey) {
        config.source = value;
    } else if (key == contract::kFileKey) {
        if (!value.empty()) config.files.push_back(value);
    } else if (key == contract::kLayerKey) {
        addLayers(value, config.layers);
    } else if (key == contract::kOutDirKey) {
        config.outDir = value;
    } else if (key == contract::kOutDwgKey) {
        config.outDwg = value;
    } else if (key == contract::kLogKey) {
        config.log = value;
    } else if (key == contract::kPrefixKey) {
        config.prefix = value;
    } else if (key == contract::kPartsFileKey) {
        config.partsFile = value;
    } else if (startsWith(key, contract::kPartRotateKey)) {
        const std::int32_t id =
            parseLeadingInt(std::string_view(key).substr(contract::kPartRotateKey.size()));
        config.partRotations[id] = parsePartRotation(value);
    } else if (startsWith(key, contract::kPartCountKey)) {
        const std::int32_t id =
            parseLeadingInt(std::string_view(key).substr(contract::kPartCountKey.size()));
        const std::int32_t quantity = parseLeadingInt(value);
        config.partCounts[id] = quantity;
        if (quantity < 1) config.zeroCountIds.insert(id);
    } else if (key == contract::kSheetKey) {
        SheetStock stock;
        if (parseSheetSpec(value, stock)) config.sheets.push_back(stock);
    } else if (key == contract::kGapKey) {
        const double v = finiteOrZero(parseLeadingDouble(value));
        config.gap = v > 0.0 ? v : 0.0;
    } else if (key == contract::kMarginKey) {
        const double v = finiteOrZero(parseLeadingDouble(value));
        config.margin = v > 0.0 ? v : 0.0;
    } else if (key == contract::kCellKey) {
        const double v = parseLeadingDouble(value);
        if (v >= contract::kSmallestCell) config.cell = std::fmin(v, contract::kLargestCell);
    } else if (key == contract::kRotateKey) {
        config.rotate = value != "0";
    } else if (key == contract::kMirrorKey) {
        config.mirror = value != "0";
    } else if (key == contract::kPdfKey) {
        config.pdf = value != "0";
    } else if (key == contract::kSecondsKey) {
        const double v = parseLeadingDouble(value);
        if (v >= contract::kShortestSeconds)
            config.seconds = std::fmin(v, contract::kLongestSeconds);
    } else if (key == contract::kStrategyKey) {
        config.strategy =
            value == contract::kDenseStrategy ? NestStrategy::Dense : NestStrategy::Standard;
    } else if (key == contract::kStockFileKey) {
        config.stockFile = trimWhiteSpace(value);
    } else if (key == contract::kKeepLockedKey) {
        config.keepLocked = trimWhiteSpace(value);
    } else if (key == contract::kOffcutKey) {
        config.offcut = value != "0";
    } else if (key == contract::kPartInPartKey) {
        config.partInPart = value != "0";
    } else if (key == contract::kCommonLineKey) {
        config.commonLine = value != "0";
    } else if (key == contract::kJoinToleranceKey) {
        const double v = parseLeadingDouble(value);
        if (std::isfinite(v) && v >= 0.0)
            config.joinTolerance = std::fmin(v, contract::kLargestJoinTolerance);
    } else if (key == contract::kUnitsKey) {
        const std::string units = toLowerUtf8(trimWhiteSpace(value));
        if (units == contract::kUnitsMillimetres)
            config.units = DrawingUnits::Millimetres;
        else if (units == contract::kUnitsInches)
            config.units = DrawingUnits::Inches;
        else
            config.units = DrawingUnits::Auto;
    } else if (key == contract::kSkipLayersKey) {
        config.skipLayers.clear();
        addLayers(value, config.skipLayers);
        config.skipNonCut = !config.skipLayers.empty();
    } else if (key == contract::kCarryKey) {
        config.carry = value != "0";
    } else if (key == contract::kLabelsKey) {
        config.labels = value != "0";
    } else if (key == contract::kThreadsKey) {
        // More threads than any machine has only cost memory; the cap keeps a typo harmless.
        const std::int32_t n = parseLeadingInt(value);
        config.threads = n < 0 ? 0 : std::min(n, 256);
    }
}

bool finish(NestConfig& config, std::string& message) {
    if (config.sheets.empty()) {
        message = "请至少填写一种板材尺寸";
        return false;
    }
    if (config.outDir.empty()) {
        message = "请设置输出目录";
        return false;
    }
    if (config.outDwg.empty())
        config.outDwg = joinPath(config.outDir, std::string(contract::kNestDrawingFile));
    return true;
}

// A whole number of degrees with an optional sign and nothing else.
bool parseWholeDegrees(std::string_view piece, std::int32_t& degrees) {
    std::size_t digits = (!piece.empty() && (piece[0] == '-' || piece[0] == '+')) ? 1 : 0;
    if (digits == piece.size() || piece.size() - digits > 9) return false;
    for (std::size_t i = digits; i < piece.size(); ++i)
        if (piece[i] < '0' || piece[i] > '9') return false;
    degrees = parseLeadingInt(piece);
    return true;
}

}  // namespace

std::vector<std::string> defaultSkipLayers() {
    std::vector<std::string> words;
    for (const std::string_view word : contract::kDefaultSkipLayerWords)
        words.emplace_back(word);
    return words;
}

bool exactGapRasters(const NestConfig& config) {
    return config.strategy == NestStrategy::Dense;
}

PartRotation parsePartRotation(std::string_view value) {
    PartRotation rotation;
    value = trimWhiteSpace(value);
    if (value == contract::kFreeRotation) {
        rotation.free = true;
        return rotation;
    }
    rotation.angles.clear();
    while (true) {
        const auto comma = value.find(',');
        std::int32_t degrees = 0;
        if (parseWholeDegrees(trimWhiteSpace(value.substr(0, comma)), degrees)) {
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

bool parseSheetSpec(std::string_view value, SheetStock& stock) {
    std::u32string text = decodeUtf8(value);
    for (char32_t& cp : text)
        if (isMultiplicationSign(cp)) cp = U'x';
    const auto first = text.find(U'x');
    if (first == std::u32string::npos) return false;
    const double a = parseLeadingDouble(encodeUtf8(text.substr(0, first)));
    const std::u32string rest = text.substr(first + 1);
    const auto second = rest.find(U'x');
    double b = 0.0;
    std::int32_t count = 0;
    if (second != std::u32string::npos) {
        b = parseLeadingDouble(encodeUtf8(rest.substr(0, second)));
        count = parseLeadingInt(encodeUtf8(rest.substr(second + 1)));
    } else {
        b = parseLeadingDouble(encodeUtf8(rest));
    }
    if (!std::isfinite(a) || !std::isfinite(b) || a < 10.0 || b < 10.0) return false;
    stock.width = std::fmax(a, b);
    stock.height = std::fmin(a, b);
    stock.count = count < 1 ? 0 : count;
    return true;
}

bool parseNestConfig(std::string_view bytes, NestConfig& config, std::string& message) {
    for (const KeyValueLine& line : splitKeyValueLines(bytes))
        applyKey(line, config);
    return finish(config, message);
}

bool readNestConfig(const std::string& path, NestConfig& config, std::string& message) {
    std::string bytes;
    if (!readFileBytes(path, bytes)) {
        message = "无法读取套料配置";
        return false;
    }
    return parseNestConfig(bytes, config, message);
}

}  // namespace qks::nest
