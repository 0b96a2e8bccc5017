// Common-line cutting: after the search, parts whose straight edges face each other across the
// job's gap are slid together so that the two edges coincide and are cut once.
//
// The search keeps every pair the gap apart on its grid; this pass works on the exact outlines
// in sheet coordinates instead. Per sheet, in rounds, each part is slid towards the sheet's
// origin, first along -x (parts in order of their left edge), then along -y (in order of their
// bottom edge), by the distance to the first outline it meets before the sheet's margin
// (edges running along the slide do not stop it: the parts slide along each other). The end
// position is checked exactly on the outlines and kept only when
//   - the part's material overlaps no other part's (its boundary nowhere runs strictly inside
//     another's material, nor another's inside its own);
//   - it gains a common straight stretch of at least kMinSharedLength with a neighbour (a
//     corner or a short chord of a flattened curve is not a cut to share);
//   - every part it shares no such stretch with stays at least the gap away (or as far as it
//     was, where the search left a pair closer).
// Where corners only graze, the first contact is ambiguous; each reading of it proposes a
// distance and the longest that passes the check is taken.
//
// Threads: a pure function of its inputs.
#pragma once

#include <vector>

#include "qks/nest/config.h"
#include "qks/nest/placement.h"

namespace qks::nest {

// Shortest straight stretch two outlines must have in common to be cut once (mm).
inline constexpr double kMinSharedLength = 10.0;

// A piece of a placed part's outline or hole to be cut, in sheet coordinates (the sheet's
// lower-left corner at 0, 0): a whole ring (closed) or what is left of one between shared
// stretches (open).
struct CutChain {
    std::vector<Point> points;
    bool closed = false;
};

struct CommonLinePlacement {
    Point shift;  // added to the placement's drawing position
    bool shares = false;
    std::vector<CutChain> chains;  // outline and holes, shared stretches taken out; set when shares
};

struct SharedStretch {
    Point a;
    Point b;
};

struct CommonLineSheet {
    std::vector<CommonLinePlacement> placements;  // as the sheet's placement list
    std::vector<SharedStretch> shared;            // each cut once
};

struct CommonLineResult {
    std::vector<CommonLineSheet> sheets;  // as the layout
    double cutLength = 0.0;               // every placed outline and hole, each cut on its own (mm)
    double savedLength = 0.0;  // the shared stretches' length: cut once instead of twice (mm)
};

// The layout's parts slid together as described above. The layout itself is not changed. Per
// sheet, the first `kept[sheet]` placements (kept parts, stock.h) stay where they are; the
// others may slide up to them.
CommonLineResult shareCommonLines(const NestConfig& config, const std::vector<NestPart>& parts,
                                  const Layout& layout, const std::vector<std::size_t>& kept = {});

}  // namespace qks::nest
