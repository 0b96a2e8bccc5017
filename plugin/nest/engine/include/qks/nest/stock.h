// Irregular stock pieces (remnants of earlier jobs): their shape, the cells of a sheet grid that
// no part may cover on them, and the search that fills them before the job's sheets.
//
// A piece is a sheet of its bounding box whose grid starts with every cell taken that a part
// could not cover without crossing the piece's outline (less the job's margin) or coming nearer
// than the gap to a defect. The cells a part covers then decide alone, in both searches, as they
// do between parts.
//
// Threads: a StockShape is shared by the layouts of one run; its masks are built once under a
// lock.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "qks/nest/context.h"
#include "qks/nest/outcome.h"
#include "qks/nest/part.h"

namespace qks::nest {

// The cells of one grid that are not stock, and per column the first row from the bottom that
// is (the skyline of an empty piece; rows when the column has none).
struct StockMask {
    std::vector<std::uint64_t> bits;  // rows x wordsPerRow, as SheetLayout::occupancy
    std::vector<std::int32_t> floor;
};

struct StockShape {
    Outline outline;               // relative to the lower-left corner of its bounding box
    std::vector<Outline> defects;  // holes inside the outline, the same frame
    // Stock again inside a defect, the same frame: the holes of a kept part when parts may go
    // into holes. Defects and islands nest without crossing, so a point is stock when it lies
    // inside the outline and inside an even number of them.
    std::vector<Outline> islands;
    double gap = 0.0;   // kept from every defect and island edge
    double area = 0.0;  // outline less defects, islands added back

    // The mask of a grid of columns x rows cells of `cell` from (margin, margin), built on first
    // use. A cell is free only if it, grown by one cell on every side (rasters cover their
    // outline to within a cell), lies inside the outline at least `margin` from it and at least
    // the gap from every defect.
    std::shared_ptr<const StockMask> mask(double margin, double cell, std::int32_t columns,
                                          std::int32_t rows) const;

  private:
    mutable std::mutex lock_;
    mutable std::map<std::pair<double, double>, std::shared_ptr<const StockMask>> masks_;
};

// An irregular stock piece from a closed outline with its holes (any position), and stock again
// inside them (`islands`, see StockShape): count 1.
SheetStock stockPiece(const Outline& outline, const std::vector<Outline>& holes, double gap,
                      const std::vector<Outline>& islands = {});

// The config's stock entries that are irregular pieces come first; how many.
std::size_t stockPieceCount(const NestConfig& config);

// The stock-first fill: each irregular piece in turn, in the config's order, takes the instances
// of `order` (largest first) that find room on it; `order` keeps the rest. One sheet per piece
// that took parts, and with `keepEmpty` one per piece entry whatever it took, in order.
Layout fillStockPieces(NestContext& context, std::vector<int>& order, bool keepEmpty);

// The pieces that hold parts, in order, then `sheets`, whose stock indices (counted without the
// pieces) move up by `pieceEntries`: the layout as the job shows it.
Layout withStockPieces(const Layout& pieces, const Layout& sheets, std::size_t pieceEntries);

// Whether the stock-first fill puts any of `parts` on one of the config's irregular pieces.
bool stockPiecesTakeAnyPart(const NestConfig& config, const std::vector<NestPart>& parts);

// Runs `search` with the irregular pieces filled first: each piece in turn, in the config's
// order, takes the instances (largest first) that find room on it; the search then nests the
// rest onto the job's sheets, and every layout it publishes is shown after the pieces.
void runWithStockPieces(NestContext& context, NestOutcome& outcome, SearchObserver& observer,
                        void (*search)(NestContext&, NestOutcome&, SearchObserver&));

// Runs the search the config selects around the context's kept sheets (context.h): each enters
// the search as a stock piece in its own place, its outline with the kept parts' outlines as
// defects (so the gap holds to them as to any defect; their holes are islands when the dense
// search may put parts into holes, else they stay closed), and the kept
// parts are taken off their kinds' quantities. Every layout the observer sees, and the outcome,
// holds the kept sheets first, in order, with their kept parts leading each sheet's placements,
// the sheets as they are (mask and area of their own stock) and the totals counting them.
void runAroundKeptParts(NestContext& context, NestOutcome& outcome, SearchObserver& observer);

// How many of the sheet's placements lead it as kept parts: those of its kept sheet, else 0.
std::size_t keptPlacementCount(const NestContext& context, const SheetLayout& sheet);

}  // namespace qks::nest
