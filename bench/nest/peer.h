// The peer nester the benchmark compares against.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "qks/nest/part.h"

struct PeerResult {
    bool available = false;
    int sheets = 0;
    int placed = 0;
    double utilisation = 0.0;  // placed part area / (sheets x sheet area)
    double seconds = 0.0;
    bool timedOut = false;
};

// Nests every instance of `parts` (quantities applied) on sheets of one size with libnest2d:
// its NFP placer with first-fit selection, rotations 0/90/180/270, the gap as minimum item
// distance and the margin taken off the sheet. Stops after `limitSeconds`.
PeerResult runLibnest2d(const std::vector<qks::nest::NestPart>& parts, double sheetWidth,
                        double sheetHeight, double gap, double margin, double limitSeconds);

// Runs the sparrow strip packer (its binary at `binary`, threads fixed when it was built) on one
// ESICUP instance for `seconds` with seed 1, in a temporary folder of its own; returns the
// density of its final solution in percent.
std::optional<double> runSparrow(const std::string& binary, const std::string& instance,
                                 double seconds, std::string& error);
