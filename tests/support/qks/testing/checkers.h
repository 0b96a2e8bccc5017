// Independent readings of what a job wrote: the Python checkers of the source tree (ezdxf,
// shapely) and poppler's tools, each returning what it printed.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "qks/testing/process.h"

namespace qks::testing {

// Runs `script` (a path below the source tree) with the system Python; what it printed, with
// "<exit STATUS>" after it when it failed.
inline std::string runChecker(const std::string& script, const std::vector<std::string>& args) {
    std::string command =
        "/usr/bin/python3 " + shellQuote(std::string(QKS_TEST_SOURCE_DIR) + "/" + script);
    for (const auto& arg : args)
        command += " " + shellQuote(arg);
    return runCommand(command);
}

// A nest drawing read back with its job's sheet margin and grid cell: one line
// "OK sheets=N parts=P blocks=B outlines=O", or "FAIL <reason>" lines.
// With a gap > 0, parts must also stand that far apart and the OK line ends " area=A".
inline std::string checkNestDrawing(const std::string& drawing, double margin, double cell,
                                    double gap = 0.0) {
    std::ostringstream marginText, cellText, gapText;
    marginText << margin;
    cellText << cell;
    gapText << gap;
    std::vector<std::string> args = {drawing, marginText.str(), cellText.str()};
    if (gap > 0.0) args.push_back(gapText.str());
    return runChecker("tests/nest_job/check_nest_drawing.py", args);
}

// A merged drawing read back: "AUDIT OK", then its BLOCK and INSERT lines.
inline std::string checkMergedDrawing(const std::string& drawing) {
    return runChecker("tests/merge/check_merged.py", {drawing});
}

inline std::string pdfInfo(const std::string& pdf) {
    return runCommand("pdfinfo " + shellQuote(pdf));
}

inline std::string pdfText(const std::string& pdf) {
    return runCommand("pdftotext " + shellQuote(pdf) + " -");
}

// The first page as poppler draws it: a grey-scale PGM at `dpi`, as text.
inline std::string pdfPageRaster(const std::string& pdf, int dpi) {
    return runCommand("pdftoppm -r " + std::to_string(dpi) + " -gray -f 1 -l 1 " + shellQuote(pdf));
}

}  // namespace qks::testing
