#include "qks/job/job_config.h"

#include "qks/contract/names.h"

#include "qks/common/environment.h"

namespace qks {

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

std::string jobLogPath(const std::string& configured, std::string_view fileName) {
    return configured.empty() ? tempFilePath(fileName) : configured;
}

}  // namespace qks
