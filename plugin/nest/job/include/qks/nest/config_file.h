// The nest job's config file: read with the contract's reader (job_configs.h) under the
// plug-in's rules and handed to the engine as its config.
#pragma once

#include <string>
#include <string_view>

#include "qks/nest/config.h"

namespace qks::nest {

// Reads the config at `path` into `config`. Returns false with `message` set when the file
// cannot be opened ("无法读取套料配置"), else as nestConfigFrom, with outDwg (when empty)
// kNestDrawingFile in outDir.
bool readNestConfig(const std::string& path, NestConfig& config, std::string& message);

// The same on the file's bytes already in memory (the open failure cannot happen).
bool nestConfigFromText(std::string_view text, NestConfig& config, std::string& message);

}  // namespace qks::nest
