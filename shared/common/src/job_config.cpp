#include "qks/common/job_config.h"

#include "qks/contract/config_keys.h"
#include "qks/contract/names.h"

#include "qks/common/environment.h"
#include "qks/common/file_io.h"
#include "qks/common/numbers.h"
#include "qks/common/utf8.h"

namespace qks {

void parseJobConfig(std::string_view rest, PlotMergeConfig& config) {
    while (!rest.empty()) {
        const auto end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        // A byte-order mark is dropped from any line, since some editors add one per append.
        if (line.size() > 2 && line.substr(0, 3) == "\xEF\xBB\xBF") line.remove_prefix(3);
        const auto eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        const std::string_view key = line.substr(0, eq);
        const std::string decoded = sanitizeUtf8(line.substr(eq + 1));
        const std::string value(trimControlAndSpace(decoded));
        if (key == contract::kOutDirKey) {
            config.outDir = value;
        } else if (key == contract::kPrefixKey) {
            config.prefix = value;
        } else if (key == contract::kStyleKey) {
            config.style = value;
        } else if (key == contract::kLogKey) {
            config.log = value;
        } else if (key == contract::kModeKey) {
            config.mode = value;
        } else if (key == contract::kOutDwgKey) {
            config.outDwg = value;
        } else if (key == contract::kScopeKey) {
            config.scope = value;
            config.currentScope = value == contract::kCurrentScope;
        } else if (key == contract::kColumnsKey) {
            const std::int32_t columns = parseLeadingInt(value);
            config.columns = columns < 2 ? 1 : columns;
        } else if (key == contract::kSpacingKey) {
            config.spacing = parseLeadingDouble(value);
        } else if (key == contract::kPdfKey) {
            config.pdf = value == "1" || toLowerUtf8(value) == "true";
        } else if (key == contract::kFileKey) {
            if (!value.empty()) config.files.push_back(value);
        }
    }
    if (config.log.empty()) config.log = tempFilePath(contract::kPlotLogFile);
    if (config.scope == contract::kCurrentScope) config.currentScope = true;
}

std::string jobConfigPath(JobKind kind, const std::string& bridgePath) {
    switch (kind) {
        case JobKind::Plot:
            return tempFilePath(contract::kPlotConfigFile);
        case JobKind::PlotFiles:
        case JobKind::Merge: {
            if (!bridgePath.empty()) return bridgePath;
            const bool plotFiles = kind == JobKind::PlotFiles;
            std::string fromEnvironment =
                environmentValue(plotFiles ? "QKS_PLOT_CFG" : "QKS_MERGE_CFG");
            if (!fromEnvironment.empty()) return fromEnvironment;
            return tempFilePath(plotFiles ? contract::kPlotFilesConfigFile
                                          : contract::kMergeConfigFile);
        }
        case JobKind::Nest:
            return bridgePath.empty() ? tempFilePath(contract::kNestConfigFile) : bridgePath;
        case JobKind::Bom:
        case JobKind::Tools: {
            if (!bridgePath.empty()) return bridgePath;
            const bool bom = kind == JobKind::Bom;
            std::string fromEnvironment = environmentValue(bom ? "QKS_BOM_CFG" : "QKS_TOOLS_CFG");
            if (!fromEnvironment.empty()) return fromEnvironment;
            return tempFilePath(bom ? contract::kBomConfigFile : contract::kToolsConfigFile);
        }
    }
    return {};
}

std::string fallbackJobLogPath(JobKind kind) {
    switch (kind) {
        case JobKind::Plot:
            return tempFilePath(contract::kPlotLogFile);
        case JobKind::PlotFiles:
            return tempFilePath(contract::kPlotFilesLogFile);
        case JobKind::Merge:
            return tempFilePath(contract::kMergeLogFile);
        case JobKind::Nest:
            return tempFilePath(contract::kNestLogFile);
        case JobKind::Bom:
            return tempFilePath(contract::kBomLogFile);
        case JobKind::Tools:
            return tempFilePath(contract::kToolsLogFile);
    }
    return {};
}

bool takeDrawingJobKey(std::string_view key, const std::string& value, DrawingJobInputs& inputs) {
    if (key == contract::kFileKey) {
        if (!value.empty()) inputs.files.push_back(value);
    } else if (key == contract::kScopeKey) {
        inputs.currentDrawing = value == contract::kCurrentScope;
    } else if (key == contract::kOutDirKey) {
        inputs.outDir = value;
    } else if (key == contract::kLogKey) {
        inputs.log = value;
    } else {
        return false;
    }
    return true;
}

bool readJobConfig(const std::string& path, PlotMergeConfig& config, std::string& message) {
    std::string bytes;
    if (path.empty() || !readFileBytes(path, bytes)) {
        message = "读取配置失败: " + path;
        return false;
    }
    parseJobConfig(bytes, config);
    return true;
}

}  // namespace qks
