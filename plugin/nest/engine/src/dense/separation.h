// Overlap removal by guided local search: overlapping parts move to the sampled position of
// least weighted overlap, and the weight of a pair that keeps overlapping grows.
#pragma once

#include <cstdint>
#include <vector>

#include "dense/lane.h"

namespace qks::nest::dense {

// Removes every overlap among the items of `sheets`, each sheet's items kept below its limit
// (rows, indexed by sheet). A strike follows `stallPasses` passes without a smaller overlap (the
// tuning's quick count when 0). False when the strikes are used up, the lane is told to quit or
// another lane has outrun it (the state is then left overlapping). After the strikes are used up,
// `lane.work` holds the least overlapping arrangement seen on the sheet that failed and
// `lane.leftOverlap` its overlap.
bool separate(Lane& lane, State& s, const std::vector<int>& sheets,
              const std::vector<std::int32_t>& limits, int stallPasses = 0);

}  // namespace qks::nest::dense
