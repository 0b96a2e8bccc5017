// Drawings fetched from public repositories are not kept in the project: they sit in the shared
// folder beside it (QKS_SHARED_DIR). A test that checks them reads them there and is skipped,
// saying why, where they are absent (a clone in another place has no shared folder beside it).
#pragma once

#include <filesystem>
#include <string>

namespace qks::testing {

// The real-drawing corpus: gzip-packed DXFs with their README and expected.tsv.
inline constexpr const char* kRealDrawings = "real-drawings/corpus";
// DWGs of each generation with the DXF twins and property listings the CAD program wrote.
inline constexpr const char* kDwgSamples = "dwg-samples";

// The shared folder `name` (kRealDrawings, kDwgSamples); empty when it is absent.
inline std::string sharedDrawings(const std::string& name) {
    const std::string path = std::string(QKS_TEST_SHARED_DIR) + "/" + name;
    std::error_code error;
    return std::filesystem::is_directory(path, error) ? path : std::string();
}

// Why a test of the shared folder `name` does not run.
inline std::string sharedDrawingsAbsent(const std::string& name) {
    return std::string(QKS_TEST_SHARED_DIR) + "/" + name +
           " is absent: fetched drawings are not kept in the project (point QKS_SHARED_DIR at "
           "the folder that holds them)";
}

}  // namespace qks::testing
