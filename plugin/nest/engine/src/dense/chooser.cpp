#include "dense/chooser.h"

namespace qks::nest::dense {

Move MoveChooser::choose(const MoveMask& allowed, std::uint32_t random) const {
    double rate[kMoveCount] = {};
    double sum = 0.0;
    int count = 0;
    for (int m = 0; m < kMoveCount; ++m) {
        if (!allowed[m]) continue;
        rate[m] = (1.0 + gains_[m]) / (1.0 + work_[m] / tuning_.workUnit);
        sum += rate[m];
        ++count;
    }
    const double floor = tuning_.floorShare * sum;
    double point = (random / 4294967296.0) * (sum + floor * count);
    for (int m = 0; m < kMoveCount; ++m) {
        if (!allowed[m]) continue;
        point -= rate[m] + floor;
        if (point < 0.0) return static_cast<Move>(m);
    }
    return Move::ShrinkLast;
}

void MoveChooser::charge(Move move, std::int64_t work) {
    work_[static_cast<int>(move)] += static_cast<double>(work) + tuning_.attemptWork;
}

void MoveChooser::credit(Move move, bool better, bool equal) {
    if (better)
        gains_[static_cast<int>(move)] += 1.0;
    else if (equal)
        gains_[static_cast<int>(move)] += tuning_.equalCredit;
}

}  // namespace qks::nest::dense
