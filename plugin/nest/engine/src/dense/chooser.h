// The move chooser: a bandit over the moves that picks each by the gains it brought per unit of
// work so far, every allowed move keeping a floor share so none is starved.
#pragma once

#include <cstdint>

#include "dense/moves.h"

namespace qks::nest::dense {

class MoveChooser {
  public:
    explicit MoveChooser(const DenseTuning& tuning) : tuning_(tuning) {}

    // `random` is uniform over the 32-bit range; the last allowed move is never starved, and
    // ShrinkLast comes when nothing is allowed.
    Move choose(const MoveMask& allowed, std::uint32_t random) const;
    // Books the work an attempt of `move` took (its lane's work count before and after).
    void charge(Move move, std::int64_t work);
    // The outcome of the last attempt of `move`: a strict gain of the score counts most, an
    // equal layout (a compaction) a little.
    void credit(Move move, bool better, bool equal);

    double gains(Move move) const { return gains_[static_cast<int>(move)]; }

  private:
    const DenseTuning& tuning_;
    double gains_[kMoveCount] = {};
    double work_[kMoveCount] = {};
};

}  // namespace qks::nest::dense
