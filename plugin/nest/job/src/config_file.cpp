#include "qks/nest/config_file.h"

#include "qks/common/environment.h"
#include "qks/common/file_io.h"
#include "qks/contract/job_configs.h"
#include "qks/contract/names.h"
#include "qks/job/read_rules.h"

namespace qks::nest {

bool nestConfigFromText(std::string_view text, NestConfig& config, std::string& message) {
    const contract::ReadRules& rules = pluginReadRules();
    if (!nestConfigFrom(contract::readNestConfig(text, rules), rules, config, message))
        return false;
    if (config.outDwg.empty())
        config.outDwg = joinPath(config.outDir, std::string(contract::kNestDrawingFile));
    return true;
}

bool readNestConfig(const std::string& path, NestConfig& config, std::string& message) {
    std::string bytes;
    if (!readFileBytes(path, bytes)) {
        message = "无法读取套料配置";
        return false;
    }
    return nestConfigFromText(bytes, config, message);
}

}  // namespace qks::nest
