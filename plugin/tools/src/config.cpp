#include <cmath>

#include "qks/common/environment.h"
#include "qks/common/key_value.h"
#include "qks/common/numbers.h"
#include "qks/common/utf8.h"
#include "qks/contract/names.h"
#include "qks/tools/tools.h"

namespace qks::tools {
namespace {

bool flag(const std::string& value) {
    return value == "1" || toLowerUtf8(value) == "true";
}

// A length in [0, largest]; otherwise the problem is noted and `target` stays.
void readLength(const KeyValueLine& line, double largest, double& target,
                std::vector<std::string>& problems) {
    const double parsed = parseLeadingDouble(line.value);
    if (std::isfinite(parsed) && parsed >= 0.0 && parsed <= largest)
        target = parsed;
    else
        problems.push_back(line.key + "=" + line.value);
}

bool operationNamed(std::string_view name, Operation& operation) {
    using namespace contract;
    const std::pair<std::string_view, Operation> names[] = {
        {kOpClean, Operation::Clean},
        {kOpLayers, Operation::Layers},
        {kOpArea, Operation::Area},
        {kOpAttributes, Operation::Attributes},
        {kOpDimensions, Operation::Dimensions},
        {kOpHoles, Operation::Holes},
        {kOpBalloons, Operation::Balloons},
        {kOpCorners, Operation::Corners},
    };
    for (const auto& [word, value] : names)
        if (name == word) {
            operation = value;
            return true;
        }
    return false;
}

}  // namespace

ToolsConfig parseToolsConfig(std::string_view text) {
    using namespace contract;
    ToolsConfig config;
    std::vector<LayerRule> rules;
    for (const KeyValueLine& line : splitKeyValueLines(text)) {
        const std::string& key = line.key;
        const std::string& value = line.value;
        if (takeDrawingJobKey(key, value, config)) {
            continue;
        } else if (key == kToolsOpKey) {
            std::string word;
            for (const char c : value + ",") {
                if (c != ',') {
                    word.push_back(c);
                    continue;
                }
                const std::string name = toLowerUtf8(trimWhiteSpace(word));
                Operation operation;
                if (operationNamed(name, operation))
                    config.operations.push_back(operation);
                else if (!name.empty())
                    config.problems.push_back(std::string(kToolsOpKey) + "=" + name);
                word.clear();
            }
        } else if (key == kJoinToleranceKey) {
            readLength(line, kLargestJoinTolerance, config.joinTolerance, config.problems);
        } else if (key == kToolsShortLengthKey) {
            readLength(line, 1e4, config.shortLength, config.problems);
        } else if (key == kToolsExplodeKey) {
            config.explode = flag(value);
        } else if (key == kToolsRadiusKey) {
            readLength(line, 1e4, config.radius, config.problems);
        } else if (key == kToolsChamferKey) {
            readLength(line, 1e4, config.chamfer, config.problems);
        } else if (key == kToolsAreaLabelsKey) {
            config.areaLabels = flag(value);
        } else if (key == kToolsTextHeightKey) {
            readLength(line, 1e3, config.textHeight, config.problems);
            if (config.textHeight <= 0) config.textHeight = kDefaultAnnotationTextHeight;
        } else if (key == kToolsOutKey) {
            if (!value.empty() && value.find('/') == std::string::npos && value != "." &&
                value != "..")
                config.workbook = value;
            else if (!value.empty())
                config.problems.push_back(key + "=" + value);
        } else if (key == kToolsRuleKey) {
            LayerRule rule;
            if (parseLayerRule(value, rule))
                rules.push_back(std::move(rule));
            else
                config.problems.push_back(key + "=" + value);
        }
    }
    config.rules = rules.empty() ? defaultLayerRules() : std::move(rules);
    if (config.log.empty()) config.log = tempFilePath(kToolsLogFile);
    return config;
}

}  // namespace qks::tools
