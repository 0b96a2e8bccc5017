// The progress file: the best layout of a running session for the Studio's live preview.
// TAB-separated records CFG, SHEET, PLACE, UTIL, UNPLACED, ELAPSED, STATE; LF line ends;
// written whole to "<path>.tmp" and renamed over the file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "qks/nest/placement.h"

namespace qks::nest {

struct NestSession;

// The file text for `layout` under the session's margin, cell and gap.
std::string formatProgress(const NestConfig& config, const Layout& layout, std::string_view state,
                           double elapsed, int unplaced);

// Replaces session.progressFilePath with the text. True when the file was replaced.
bool writeProgressFile(const NestSession& session, const Layout& layout, std::string_view state,
                       double elapsed, int unplaced);

// A progress file read back (tests, tools). Lenient: unknown records are skipped, a PLACE
// before any SHEET is dropped.
struct ProgressSheet {
    double width = 0.0;
    double height = 0.0;
    std::vector<Placement> placements;  // partIndex is not carried by the file: -1
};
struct ProgressFile {
    double margin = 0.0;
    double cell = 0.0;
    double padLength = 0.0;
    std::vector<ProgressSheet> sheets;
    double utilisationPercent = 0.0;
    int unplaced = 0;
    double elapsed = 0.0;
    std::string state;
    int cfgLines = 0;  // number of CFG records seen
};
ProgressFile parseProgressText(std::string_view text);

}  // namespace qks::nest
