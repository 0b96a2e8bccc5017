#include "qks/nest/config.h"

#include <cmath>

#include "qks/common/environment.h"
#include "qks/common/file_io.h"
#include "qks/common/key_value.h"
#include "qks/common/numbers.h"
#include "qks/common/utf8.h"

namespace qks::nest {
namespace {

constexpr std::string_view kPartCountKey = "partcount";

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
    if (key == "source") {
        config.source = value;
    } else if (key == "file") {
        if (!value.empty()) config.files.push_back(value);
    } else if (key == "layer") {
        addLayers(value, config.layers);
    } else if (key == "outDir") {
        config.outDir = value;
    } else if (key == "outDwg") {
        config.outDwg = value;
    } else if (key == "log") {
        config.log = value;
    } else if (key == "prefix") {
        config.prefix = value;
    } else if (key == "partsFile") {
        config.partsFile = value;
    } else if (key.compare(0, kPartCountKey.size(), kPartCountKey) == 0) {
        const std::int32_t id = parseLeadingInt(std::string_view(key).substr(kPartCountKey.size()));
        const std::int32_t quantity = parseLeadingInt(value);
        config.partCounts[id] = quantity;
        if (quantity < 1) config.zeroCountIds.insert(id);
    } else if (key == "sheet") {
        SheetStock stock;
        if (parseSheetSpec(value, stock)) config.sheets.push_back(stock);
    } else if (key == "gap") {
        const double v = finiteOrZero(parseLeadingDouble(value));
        config.gap = v > 0.0 ? v : 0.0;
    } else if (key == "margin") {
        const double v = finiteOrZero(parseLeadingDouble(value));
        config.margin = v > 0.0 ? v : 0.0;
    } else if (key == "cell") {
        const double v = parseLeadingDouble(value);
        if (v >= 0.5) config.cell = std::fmin(v, 10.0);
    } else if (key == "rotate") {
        config.rotate = value != "0";
    } else if (key == "mirror") {
        config.mirror = value != "0";
    } else if (key == "pdf") {
        config.pdf = value != "0";
    } else if (key == "seconds") {
        const double v = parseLeadingDouble(value);
        if (v >= 1.0) config.seconds = std::fmin(v, 600.0);
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
    if (config.outDwg.empty()) config.outDwg = joinPath(config.outDir, "套料图.dwg");
    return true;
}

}  // namespace

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
