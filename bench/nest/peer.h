// The peer nester the benchmark compares against.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "layout_check.h"
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

// Runs a peer's `binary` with `args` in a new temporary folder /tmp/PREFIX-XXXXXX, its standard
// error (and its standard output when `keepOutput`, else dropped) in peer.log there, on the first
// `processors` processors when above 0. Returns the folder, which the caller removes; nothing,
// with `error` set, when the peer could not start or did not exit with status 0.
std::optional<std::filesystem::path> runPeerProcess(const std::string& binary,
                                                    const std::vector<std::string>& args,
                                                    const char* prefix, bool keepOutput,
                                                    int processors, std::string& error);

// Runs the sparrow strip packer (its binary at `binary`, threads fixed when it was built) on one
// ESICUP instance for `seconds` with seed 1, in a temporary folder of its own; returns the
// density of its final solution in percent.
std::optional<double> runSparrow(const std::string& binary, const std::string& instance,
                                 double seconds, std::string& error);

// PackingSolver's irregular solver on one instance in its own format: the sheets it used and
// the parts it placed, with its layout (each sheet's parts as it placed them, `copies` the
// sheets laid out alike).
struct PackingSolverSheet {
    int copies = 1;
    std::vector<PlacedPart> parts;
};
struct PackingSolverResult {
    int sheets = 0;
    int placed = 0;
    double seconds = 0.0;
    std::vector<PackingSolverSheet> layout;
};

// Runs the solver (its binary at `binary`) for `seconds` on the first two processors, with HiGHS
// as its linear-programming solver, in a temporary folder of its own; nothing when it fails or
// writes no solution, `error` then saying why.
std::optional<PackingSolverResult> runPackingSolver(const std::string& binary,
                                                    const std::string& instance, double seconds,
                                                    std::string& error);
