// The moves of the dense search. Each takes a layout without overlaps and either leaves another
// without overlaps, every instance still placed or still listed as unplaced, or returns false
// (the state is then to be thrown away).
#pragma once

#include <array>
#include <vector>

#include "dense/lane.h"

namespace qks::nest::dense {

enum class Move {
    InsertUnplaced,  // an unplaced instance onto a sheet
    SmallerStock,    // the last sheet onto one or two sheets of smaller stock
    EmptyLast,       // every part of the last sheet onto the others
    MoveOffLast,     // a batch of the last sheet's parts to free positions on the others
    ShrinkOther,     // a sheet other than the last shortened
    ShrinkLast,      // the last sheet shortened
    Repack,          // a sheet and the last packed anew, largest first
    Refill,          // a new skyline layout from a shuffled order
    PushOne,         // one part of the last sheet onto another sheet
    RestockOther,    // a sheet other than the last onto smaller stock
    Regroup,         // the last sheets onto cheaper stock, shortened back with overlap removal
    SwapPair,        // two parts of a one-sheet layout change places, the sheet no longer
    IntoPieces,      // parts of a sheet (or unplaced) to free positions on the stock pieces
    RepackPiece,     // a stock piece packed anew with its parts and some of the last sheet's
};
constexpr int kMoveCount = static_cast<int>(Move::RepackPiece) + 1;
using MoveMask = std::array<bool, kMoveCount>;

// The moves that can apply to the state at all.
MoveMask allowedMoves(const Lane& lane, const State& s);
// Runs one move; the sheet a move works on, where it takes one, is picked at random.
bool runMove(Lane& lane, State& s, Move move);

bool insertUnplaced(Lane& lane, State& s);
bool smallerStock(Lane& lane, State& s);
bool emptyLastSheet(Lane& lane, State& s);
bool moveOffLastSheet(Lane& lane, State& s);
bool shrinkSheet(Lane& lane, State& s, int sheet);
bool repack(Lane& lane, State& s, int sheet);
bool refill(Lane& lane, State& s);
bool pushOneOffLastSheet(Lane& lane, State& s);
bool restockOther(Lane& lane, State& s);
bool regroup(Lane& lane, State& s);
bool swapPair(Lane& lane, State& s);
bool intoPieces(Lane& lane, State& s);
bool repackPiece(Lane& lane, State& s);
// Every unplaced instance, largest first, to its lowest free position on the pieces in order,
// where the skyline of the stock-first fill cannot reach (above a defect, in a kept part's
// hole); false when none found one.
bool unplacedIntoPieces(Lane& lane, State& s);

// Puts the last sheet's parts on the smallest free stock that takes them all at free positions
// there or on the other sheets (no overlap removal); false, the state unchanged, when none does.
bool settleOnSmallestStock(Lane& lane, State& s);

// Stock for the last sheet's parts of less area than the last sheet, still free for them: one
// sheet or two, smallest total area first.
std::vector<std::vector<int>> smallerStockSets(const Model& model, const State& s);

}  // namespace qks::nest::dense
