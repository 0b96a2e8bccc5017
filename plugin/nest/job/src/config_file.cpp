#include "qks/nest/config_file.h"

#include "qks/common/file_io.h"
#include "qks/common/read_rules.h"
#include "qks/contract/job_configs.h"

namespace qks::nest {

bool nestConfigFromText(std::string_view text, NestConfig& config, std::string& message) {
    return nestConfigFrom(contract::readNestConfig(text, pluginReadRules()), config, message);
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
