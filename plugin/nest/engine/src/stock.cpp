#include "qks/nest/stock.h"

#include <algorithm>
#include <cmath>
#include <set>

#include "qks/nest/geometry.h"
#include "qks/nest/placement.h"
#include "qks/nest/search.h"

namespace qks::nest {
namespace {

void setBit(StockMask& mask, std::int32_t words, std::int32_t column, std::int32_t row) {
    mask.bits[static_cast<std::size_t>(row) * words + column / 64] |= std::uint64_t{1}
                                                                      << (column % 64);
}

bool bitAt(const StockMask& mask, std::int32_t words, std::int32_t column, std::int32_t row) {
    return ((mask.bits[static_cast<std::size_t>(row) * words + column / 64] >> (column % 64)) &
            1) != 0;
}

// x of every crossing of the ring with the horizontal line at y (half-open edges, as
// pointInPolygon counts them), sorted.
std::vector<double> crossings(const Outline& ring, double y) {
    std::vector<double> xs;
    const std::size_t n = ring.size();
    for (std::size_t i = 0; i < n; ++i) {
        const Point& a = ring[i];
        const Point& b = ring[(i + 1) % n];
        if ((a.y > y) == (b.y > y)) continue;
        const double x = a.x + (y - a.y) * (b.x - a.x) / (b.y - a.y);
        if (std::isfinite(x)) xs.push_back(x);
    }
    std::sort(xs.begin(), xs.end());
    return xs;
}

// Whether x lies inside by the crossings of its row (an odd count to its left).
bool insideRow(const std::vector<double>& xs, double x) {
    return (std::upper_bound(xs.begin(), xs.end(), x) - xs.begin()) % 2 == 1;
}

// The cell holding grid coordinate `at` (in cells), kept within 0 .. count - 1.
std::int32_t cellIndex(double at, std::int32_t count) {
    if (!(at > 0.0)) return 0;  // not a number too
    if (at >= count - 1) return count - 1;
    return static_cast<std::int32_t>(std::floor(at));
}

// Takes every cell that meets the edge grown by `reach` on every side (a square's reach, which
// holds the round one).
void takeNearEdge(StockMask& mask, std::int32_t words, std::int32_t columns, std::int32_t rows,
                  double margin, double cell, const Point& a, const Point& b, double reach) {
    const double lowY = std::min(a.y, b.y) - reach;
    const double highY = std::max(a.y, b.y) + reach;
    if (!std::isfinite(lowY) || !std::isfinite(highY) || !std::isfinite(a.x + b.x)) return;
    const std::int32_t firstRow = cellIndex((lowY - margin) / cell - 1.0, rows);
    const std::int32_t lastRow = cellIndex((highY - margin) / cell + 1.0, rows);
    for (std::int32_t r = firstRow; r <= lastRow; ++r) {
        const double y0 = margin + r * cell - reach;
        const double y1 = margin + (r + 1) * cell + reach;
        if (y1 < std::min(a.y, b.y) || y0 > std::max(a.y, b.y)) continue;
        double xa = 0.0, xb = 0.0;
        if (a.y == b.y) {
            xa = std::min(a.x, b.x);
            xb = std::max(a.x, b.x);
        } else {
            // The edge's stretch within the row's band [y0, y1].
            const double t0 = std::clamp((y0 - a.y) / (b.y - a.y), 0.0, 1.0);
            const double t1 = std::clamp((y1 - a.y) / (b.y - a.y), 0.0, 1.0);
            const double x0 = a.x + t0 * (b.x - a.x);
            const double x1 = a.x + t1 * (b.x - a.x);
            xa = std::min(x0, x1);
            xb = std::max(x0, x1);
        }
        const std::int32_t c0 = cellIndex((xa - reach - margin) / cell, columns);
        const std::int32_t c1 = cellIndex((xb + reach - margin) / cell, columns);
        for (std::int32_t c = c0; c <= c1; ++c)
            setBit(mask, words, c, r);
    }
}

std::shared_ptr<const StockMask> buildMask(const StockShape& shape, double margin, double cell,
                                           std::int32_t columns, std::int32_t rows) {
    auto mask = std::make_shared<StockMask>();
    const std::int32_t words = (columns + 63) / 64;
    mask->bits.assign(static_cast<std::size_t>(rows) * words, 0);
    // A part's cells hold its outline to within a cell: each cell is judged grown by one.
    const double slack = cell;
    for (std::int32_t r = 0; r < rows; ++r) {
        const double y = margin + (r + 0.5) * cell;
        const std::vector<double> outer = crossings(shape.outline, y);
        std::vector<std::vector<double>> holes, islands;
        for (const Outline& defect : shape.defects)
            holes.push_back(crossings(defect, y));
        for (const Outline& island : shape.islands)
            islands.push_back(crossings(island, y));
        auto within = [](const std::vector<std::vector<double>>& rings, double x) {
            int n = 0;
            for (const std::vector<double>& xs : rings)
                n += insideRow(xs, x);
            return n;
        };
        for (std::int32_t c = 0; c < columns; ++c) {
            const double x = margin + (c + 0.5) * cell;
            // Each island lies in one defect: stock again unless a deeper defect (a part kept
            // inside that hole) or two overlapping defects take the point.
            bool free = insideRow(outer, x);
            if (free) {
                const int inHoles = within(holes, x);
                free = inHoles == 0 || within(islands, x) >= inHoles;
            }
            if (!free) setBit(*mask, words, c, r);
        }
    }
    // A cell whose centre is stock and that no edge comes near lies wholly in stock.
    auto edges = [&](const Outline& ring, double reach) {
        for (std::size_t i = 0; i < ring.size(); ++i)
            takeNearEdge(*mask, words, columns, rows, margin, cell, ring[i],
                         ring[(i + 1) % ring.size()], reach);
    };
    edges(shape.outline, margin + slack);
    for (const Outline& defect : shape.defects)
        edges(defect, shape.gap + slack);
    // Islands are filled by the dense search alone, whose rasters hold their part grown by the
    // gap's pad on one side and by the rest of the gap on the other: a free cell needs to be no
    // further from an island's edge than the gap less the smaller of the two.
    const double pad = padLength(shape.gap, cell);
    const double grown = std::min(pad, std::max(0.0, shape.gap - pad));
    for (const Outline& island : shape.islands)
        edges(island, std::max(0.0, shape.gap - grown) + slack);
    mask->floor.assign(columns, rows);
    for (std::int32_t c = 0; c < columns; ++c)
        for (std::int32_t r = 0; r < rows; ++r)
            if (!bitAt(*mask, words, c, r)) {
                mask->floor[c] = r;
                break;
            }
    return mask;
}

// Shows the rest's layouts after the stock pieces, their stock entries counted after the
// pieces' again.
class AfterPieces : public SearchObserver {
  public:
    AfterPieces(const Layout& pieces, std::size_t offset, SearchObserver& inner)
        : pieces_(pieces), offset_(offset), inner_(inner) {}

    Layout merged(const Layout& rest) const { return withStockPieces(pieces_, rest, offset_); }
    void published(const Layout& layout, contract::JobState state, double elapsed,
                   int unplaced) override {
        inner_.published(merged(layout), state, elapsed, unplaced);
    }
    void firstLayout(const Layout& layout, double, int unplaced) override {
        const Layout all = merged(layout);
        inner_.firstLayout(all, utilisation(all), unplaced);
    }

  private:
    const Layout& pieces_;
    std::size_t offset_;
    SearchObserver& inner_;
};

// The stock piece a kept sheet enters the search as: its own outline and defects, and the kept
// parts' outlines as defects too.
SheetStock keptSheetPiece(const KeptSheet& kept, const NestConfig& config,
                          const std::vector<NestPart>& parts) {
    Outline outline;
    std::vector<Outline> defects;
    if (kept.stock.shape) {
        outline = kept.stock.shape->outline;
        defects = kept.stock.shape->defects;
    } else {
        const double w = kept.stock.width, h = kept.stock.height;
        outline = {{0.0, 0.0}, {w, 0.0}, {w, h}, {0.0, h}};
    }
    const double pad = gapPadLength(config);
    // Holes are free space only where the dense search fills them (as the layout file says).
    const bool holesFree = config.partInPart && config.strategy == NestStrategy::Dense;
    std::vector<Outline> islands;
    for (const Placement& p : kept.placements) {
        if (p.partIndex < 0 || static_cast<std::size_t>(p.partIndex) >= parts.size()) continue;
        PlacedShape placed =
            placeShape(parts[static_cast<std::size_t>(p.partIndex)], p.angle, p.mirrored, 0.0, 0.0,
                       config.margin, pad, config.cell, p.column, p.row);
        if (placed.outline.size() < 3) continue;
        defects.push_back(std::move(placed.outline));
        if (!holesFree) continue;
        for (Outline& hole : placed.holes)
            if (hole.size() >= 3) islands.push_back(std::move(hole));
    }
    return stockPiece(outline, defects, config.gap, islands);
}

// The search's layout as the job shows it: the kept sheets first, in order, each with its kept
// parts in front of what the search put there and as the sheet it is (a rectangle, or its own
// piece: an empty mask marks a piece, as the output step and the progress file read it).
Layout withKeptParts(const NestContext& c, const Layout& layout) {
    const std::size_t kept = c.keptSheets.size();
    Layout all;
    all.reserve(layout.size() + kept);
    for (std::size_t k = 0; k < kept; ++k) {
        const KeptSheet& from = c.keptSheets[k];
        const auto found = std::find_if(layout.begin(), layout.end(), [&](const SheetLayout& s) {
            return s.stockIndex == static_cast<std::int32_t>(k);
        });
        SheetLayout sheet;
        if (found != layout.end()) {
            sheet = *found;
        } else {
            sheet.stockIndex = static_cast<std::int32_t>(k);
            sheet.width = from.stock.width;
            sheet.height = from.stock.height;
        }
        sheet.placements.insert(sheet.placements.begin(), from.placements.begin(),
                                from.placements.end());
        for (const Placement& p : from.placements)
            if (p.partIndex >= 0 && static_cast<std::size_t>(p.partIndex) < c.parts.size())
                sheet.usedArea += c.parts[static_cast<std::size_t>(p.partIndex)].area;
        sheet.mask = from.stock.shape ? std::make_shared<StockMask>() : nullptr;
        sheet.stockArea = from.stock.shape ? from.stock.shape->area : 0.0;
        all.push_back(std::move(sheet));
    }
    for (const SheetLayout& sheet : layout)
        if (sheet.stockIndex < 0 || static_cast<std::size_t>(sheet.stockIndex) >= kept)
            all.push_back(sheet);
    return all;
}

// Shows the search's layouts with the kept parts; the outcome is reported by the caller.
class AroundKept : public SearchObserver {
  public:
    AroundKept(const NestContext& context, SearchObserver& inner) : c_(context), inner_(inner) {}

    void published(const Layout& layout, contract::JobState state, double elapsed,
                   int unplaced) override {
        inner_.published(withKeptParts(c_, layout), state, elapsed, unplaced);
    }
    void firstLayout(const Layout& layout, double, int unplaced) override {
        const Layout all = withKeptParts(c_, layout);
        inner_.firstLayout(all, utilisation(all), unplaced);
    }

  private:
    const NestContext& c_;
    SearchObserver& inner_;
};

}  // namespace

std::shared_ptr<const StockMask> StockShape::mask(double margin, double cell, std::int32_t columns,
                                                  std::int32_t rows) const {
    std::lock_guard<std::mutex> guard(lock_);
    std::shared_ptr<const StockMask>& slot = masks_[{margin, cell}];
    const bool fits = slot && static_cast<std::int32_t>(slot->floor.size()) == columns &&
                      slot->bits.size() == static_cast<std::size_t>(rows) * ((columns + 63) / 64);
    if (!fits) slot = buildMask(*this, margin, cell, columns, rows);
    return slot;
}

SheetStock stockPiece(const Outline& outline, const std::vector<Outline>& holes, double gap,
                      const std::vector<Outline>& islands) {
    const Bounds b = boundsOf(outline);
    auto shape = std::make_shared<StockShape>();
    auto shift = [&](const Outline& ring) {
        Outline out;
        for (const Point& p : ring)
            out.push_back({p.x - b.minX, p.y - b.minY});
        return out;
    };
    shape->outline = shift(outline);
    shape->area = polygonArea(outline);
    for (const Outline& hole : holes) {
        shape->defects.push_back(shift(hole));
        shape->area -= polygonArea(hole);
    }
    for (const Outline& island : islands) {
        shape->islands.push_back(shift(island));
        shape->area += polygonArea(island);
    }
    shape->gap = gap;
    SheetStock stock;
    stock.width = b.maxX - b.minX;
    stock.height = b.maxY - b.minY;
    stock.count = 1;
    stock.shape = std::move(shape);
    return stock;
}

std::size_t stockPieceCount(const NestConfig& config) {
    std::size_t n = 0;
    while (n < config.sheets.size() && config.sheets[n].shape)
        ++n;
    return n;
}

Layout fillStockPieces(NestContext& c, std::vector<int>& order, bool keepEmpty) {
    const std::size_t pieces = stockPieceCount(c.config);
    // The pieces are filled with the rasters the search itself uses, so the gap holds alike.
    if (c.rasterCache.exactGap() != exactGapRasters(c.config)) {
        c.rasterCache.setExactGap(exactGapRasters(c.config));
        c.placementCache = PlacementCache{};
    }
    const NestConfig& config = c.config;
    Layout filled;
    for (std::size_t k = 0; k < pieces; ++k) {
        const SheetStock& stock = config.sheets[k];
        for (std::int32_t n = 0; n < std::max(1, stock.count); ++n) {
            SheetLayout sheet =
                openSheet(static_cast<std::int32_t>(k), stock, config.margin, config.cell);
            std::vector<int> left;
            std::set<int> noRoom;  // a kind that found no room finds none later on this piece
            for (int partIndex : order) {
                if (c.shouldStop() || noRoom.count(partIndex) != 0) {
                    left.push_back(partIndex);
                    continue;
                }
                const NestPart& part = c.parts[partIndex];
                const std::optional<Candidate> at =
                    bestOnSheet(sheet, part, partIndex, orientationsFor(c, part), c);
                if (!at) {
                    noRoom.insert(partIndex);
                    left.push_back(partIndex);
                    continue;
                }
                const PartRaster& raster = rasterFor(c.rasterCache, partIndex, part, at->angle,
                                                     at->mirrored, config.cell, config.gap);
                stamp(sheet, raster, at->column, at->row,
                      Placement{part.id, partIndex, at->angle, at->mirrored, at->column, at->row});
                sheet.usedArea += part.area;
            }
            order.swap(left);
            const bool empty = sheet.placements.empty();
            if (!empty || keepEmpty) filled.push_back(std::move(sheet));
            if (empty) break;
        }
    }
    return filled;
}

Layout withStockPieces(const Layout& pieces, const Layout& sheets, std::size_t pieceEntries) {
    Layout all;
    for (const SheetLayout& piece : pieces)
        if (!piece.placements.empty()) all.push_back(piece);
    for (const SheetLayout& sheet : sheets) {
        all.push_back(sheet);
        all.back().stockIndex += static_cast<std::int32_t>(pieceEntries);
    }
    return all;
}

bool stockPiecesTakeAnyPart(const NestConfig& config, const std::vector<NestPart>& parts) {
    NestContext context;
    context.config = config;
    context.parts = parts;
    std::vector<int> order = firstInstanceOrder(context.parts);
    context.angleStep = angleStepFor(order.size());
    return !fillStockPieces(context, order, false).empty();
}

void runWithStockPieces(NestContext& c, NestOutcome& out, SearchObserver& observer,
                        void (*search)(NestContext&, NestOutcome&, SearchObserver&)) {
    const std::size_t pieces = stockPieceCount(c.config);
    std::vector<int> order = firstInstanceOrder(c.parts);
    c.angleStep = angleStepFor(order.size());
    const Layout filled = fillStockPieces(c, order, false);

    NestContext rest(c);
    rest.config.sheets.erase(rest.config.sheets.begin(),
                             rest.config.sheets.begin() + static_cast<std::ptrdiff_t>(pieces));
    for (NestPart& part : rest.parts)
        part.quantity = 0;
    for (int partIndex : order)
        ++rest.parts[partIndex].quantity;
    AfterPieces after(filled, pieces, observer);
    NestOutcome restOutcome;
    if (!order.empty() && !rest.config.sheets.empty()) {
        search(rest, restOutcome, after);
    } else {
        restOutcome.unplaced = static_cast<std::int32_t>(order.size());
        const Layout all = after.merged({});
        observer.published(all, contract::JobState::Running, 0.0, restOutcome.unplaced);
        observer.firstLayout(all, utilisation(all), restOutcome.unplaced);
        observer.published(all,
                           c.shouldStop() ? contract::JobState::Stopped : contract::JobState::Done,
                           0.0, restOutcome.unplaced);
    }
    out.layout = after.merged(restOutcome.layout);
    out.unplaced = restOutcome.unplaced;
    out.stats = restOutcome.stats;
    settleTotals(out);
    observer.finished(out);
}

void runAroundKeptParts(NestContext& c, NestOutcome& out, SearchObserver& observer) {
    NestContext around(c);
    around.keptSheets.clear();
    for (std::size_t k = 0; k < c.keptSheets.size() && k < around.config.sheets.size(); ++k) {
        around.config.sheets[k] = keptSheetPiece(c.keptSheets[k], c.config, c.parts);
        for (const Placement& p : c.keptSheets[k].placements) {
            if (p.partIndex < 0 || static_cast<std::size_t>(p.partIndex) >= around.parts.size())
                continue;
            std::int32_t& quantity = around.parts[static_cast<std::size_t>(p.partIndex)].quantity;
            quantity = std::max(0, quantity - 1);
        }
    }
    AroundKept shown(c, observer);
    runSearch(around, out, shown);
    // The orientations the layout file lists follow the step the search chose.
    c.angleStep = around.angleStep;
    out.layout = withKeptParts(c, out.layout);
    settleTotals(out);
    observer.finished(out);
}

std::size_t keptPlacementCount(const NestContext& context, const SheetLayout& sheet) {
    if (sheet.stockIndex < 0 ||
        static_cast<std::size_t>(sheet.stockIndex) >= context.keptSheets.size())
        return 0;
    return std::min(
        context.keptSheets[static_cast<std::size_t>(sheet.stockIndex)].placements.size(),
        sheet.placements.size());
}

}  // namespace qks::nest
