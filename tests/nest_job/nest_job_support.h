// Shared helpers of the nest job and part extraction suites: fixture paths and log reading.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "qks/testing/temp_dir.h"

namespace qks::testing {

inline const std::string kNestFixtures = std::string(QKS_TEST_SOURCE_DIR) + "/tests/fixtures/nest/";

inline std::vector<std::string> logLines(const std::string& path) {
    std::vector<std::string> lines;
    std::istringstream in(readAll(path));
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

}  // namespace qks::testing
