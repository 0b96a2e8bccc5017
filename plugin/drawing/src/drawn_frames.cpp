// Frames drawn as loose geometry: the corners of a standard sheet at a common scale, marked by
// LINEs and straight polyline edges, confirmed by what a frame holds (an inner border or a
// title-block grid in its lower-right corner).
#include <algorithm>
#include <cmath>
#include <set>
#include <unordered_map>

#include "qks/common/utf8.h"
#include "qks/drawing/frames.h"

namespace qks::drawing {

namespace {

// Sheet sizes in millimetres, longer side first: GB/ISO A0 to A4, the GB/T 14689 lengthened
// sizes, and (further below) ANSI A to E.
struct Sheet {
    double longSide, shortSide;
};
const Sheet kSheets[] = {
    {1189, 841},  {841, 594},     {594, 420},     {420, 297},     {297, 210},     {1261, 420},
    {891, 420},   {1189, 420},    {630, 297},     {841, 297},     {1051, 297},    {1682, 1189},
    {2523, 1189}, {1783, 841},    {2378, 841},    {1261, 594},    {1682, 594},    {2102, 594},
    {1486, 420},  {1783, 420},    {2080, 420},    {1261, 297},    {1471, 297},    {1682, 297},
    {1892, 297},  {279.4, 215.9}, {431.8, 279.4}, {558.8, 431.8}, {863.6, 558.8}, {1117.6, 863.6},
};
// Drawing units per sheet millimetre, the most common first: where two readings of one rectangle
// both confirm, the first is the frame's scale.
const double kScales[] = {1, 2, 3, 4, 5, 10, 15, 20, 25, 50, 100, 0.5, 0.2};

// Sheet millimetres (times the scale): how far a side may be off its standard length, the
// band an inner border's inset lies in (GB binding edge 25, others 5 to 20; ISO 20 and 10;
// ANSI a quarter inch to an inch), and how far from the corner a title block reaches.
constexpr double kSizeTolerance = 1.0;
constexpr double kMinInset = 2.0, kMaxInset = 40.0;
// The binding margins on a sheet's left (ISO 5457 and GB/T 14689), sheet millimetres: a border
// this far in on the left and equally far in on the other three sides is placed so.
const double kBindingMargins[] = {20.0, 25.0};
constexpr double kTitleReachX = 200.0, kTitleReachY = 80.0;
// Sheet millimetres each line of a corner mark runs from the corner along the sheet's side, at
// least (trim marks are 5 to 10 long; a full side or a corner piece is longer).
constexpr double kMinMark = 3.0;
// Drawing units: ends closer than this meet; a piece this far off its axis is not straight.
constexpr double kJoin = 0.05;
// Drawing units: how far from a frame's bottom line its sides are looked for (the size
// tolerance at the largest scale), before each sheet and scale checks them strictly.
constexpr double kGather = 100.0 * kSizeTolerance;

// A straight axis-aligned piece: along x (or y) from `from` to `to` at `level`.
struct Piece {
    double level, from, to;
    std::size_t owner;  // index into the entities
};

// Collinear pieces that overlap or touch, joined.
struct Run {
    double level, from, to;
    bool horizontal;
    std::vector<std::size_t> pieces;  // indices into the pieces of its direction
    double length() const { return to - from; }
};

struct Rect {
    double x0, y0, x1, y1;
};

std::vector<Run> joinRuns(std::vector<Piece>& pieces, bool horizontal) {
    std::sort(pieces.begin(), pieces.end(),
              [](const Piece& a, const Piece& b) { return a.level < b.level; });
    std::vector<Run> runs;
    std::size_t start = 0;
    while (start < pieces.size()) {
        // One level: the pieces within kJoin of the first one's, joined in order of start.
        std::size_t end = start;
        while (end < pieces.size() && pieces[end].level - pieces[start].level <= kJoin)
            ++end;
        std::vector<std::size_t> order;
        for (std::size_t i = start; i < end; ++i)
            order.push_back(i);
        std::sort(order.begin(), order.end(),
                  [&](std::size_t a, std::size_t b) { return pieces[a].from < pieces[b].from; });
        const std::size_t firstRun = runs.size();
        for (const std::size_t i : order) {
            const Piece& p = pieces[i];
            if (runs.size() > firstRun && p.from <= runs.back().to + kJoin) {
                runs.back().to = std::max(runs.back().to, p.to);
                runs.back().pieces.push_back(i);
            } else {
                runs.push_back({p.level, p.from, p.to, horizontal, {i}});
            }
        }
        start = end;
    }
    return runs;
}

bool near(double a, double b, double tolerance) {
    return std::fabs(a - b) <= tolerance;
}

// A scale's place in kScales (inch sheets by their scale in inches): lower is more common.
std::size_t scaleRank(double s) {
    for (std::size_t k = 0; k < std::size(kScales); ++k)
        if (near(s, kScales[k], 1e-9) || near(s * 25.4, kScales[k], 1e-9)) return k;
    return std::size(kScales);
}

// The first of `runs` (in order of level) at or after `level`.
std::vector<Run>::const_iterator firstAt(const std::vector<Run>& runs, double level) {
    return std::lower_bound(runs.begin(), runs.end(), level,
                            [](const Run& r, double v) { return r.level < v; });
}

// The run at `level` that covers from..to (all within `tolerance`).
const Run* edgeRun(const std::vector<Run>& runs, double level, double from, double to,
                   double tolerance) {
    for (auto it = firstAt(runs, level - tolerance);
         it != runs.end() && it->level <= level + tolerance; ++it)
        if (it->from <= from + tolerance && it->to >= to - tolerance) return &*it;
    return nullptr;
}

bool hasFrameLayerWord(const std::string& layer) {
    static const char* const kWords[] = {"框",    "标题栏",      "frame",  "border",
                                         "title", "schriftfeld", "rahmen", "plankopf"};
    const std::string lower = toLowerUtf8(layer);
    for (const char* word : kWords)
        if (lower.find(word) != std::string::npos) return true;
    return false;
}

class Recogniser {
  public:
    Recogniser(host::DrawingAccess& ds, const std::vector<host::ObjectId>& entities)
        : ds_(ds), entities_(entities) {}

    std::vector<DrawnFrame> run() {
        collect();
        horizontal_ = joinRuns(horizontalPieces_, true);
        vertical_ = joinRuns(verticalPieces_, false);
        for (auto* runs : {&horizontal_, &vertical_})
            std::stable_sort(runs->begin(), runs->end(),
                             [](const Run& a, const Run& b) { return a.level < b.level; });
        std::vector<Candidate> candidates = candidateRects();
        // Larger frames first, so that an inner border met later is already taken.
        std::sort(candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) {
            return (a.rect.x1 - a.rect.x0) * (a.rect.y1 - a.rect.y0) >
                   (b.rect.x1 - b.rect.x0) * (b.rect.y1 - b.rect.y0);
        });
        std::vector<DrawnFrame> frames;
        for (const Candidate& c : candidates) {
            bool taken = true;
            for (const Run* edge : c.edges)
                for (const std::size_t owner : edgeOwners(*edge, c.rect))
                    taken = taken && taken_.count(owner) > 0;
            if (taken) continue;
            DrawnFrame frame;
            if (confirm(c, frame)) frames.push_back(std::move(frame));
        }
        // Then borders whose sheet is not drawn, larger first; one inside a frame already
        // found is that frame's second border, not a sheet of its own.
        std::vector<Border> borders = borderRects();
        std::sort(borders.begin(), borders.end(), [](const Border& a, const Border& b) {
            return (a.rect.x1 - a.rect.x0) * (a.rect.y1 - a.rect.y0) >
                   (b.rect.x1 - b.rect.x0) * (b.rect.y1 - b.rect.y0);
        });
        for (const Border& b : borders) {
            bool taken = true;
            for (const Run* edge : b.edges)
                for (const std::size_t owner : edgeOwners(*edge, b.rect))
                    taken = taken && taken_.count(owner) > 0;
            const bool inside = std::any_of(frames.begin(), frames.end(), [&](const DrawnFrame& f) {
                return b.rect.x0 >= f.window.minX - kJoin && b.rect.y0 >= f.window.minY - kJoin &&
                       b.rect.x1 <= f.window.maxX + kJoin && b.rect.y1 <= f.window.maxY + kJoin;
            });
            if (taken || inside) continue;
            DrawnFrame frame;
            if (confirmBorder(b, frame)) frames.push_back(std::move(frame));
        }
        return frames;
    }

  private:
    struct Candidate {
        Rect rect;
        std::vector<double> scales;
        // The runs marking the corners: the sides themselves, or their pieces at the corners.
        std::vector<const Run*> edges;
    };

    // A closed axis-aligned rectangle, its sides whole runs from its lower-left corner.
    struct Border {
        Rect rect;
        const Run* edges[4];
    };

    // Where a border sits on a sheet: the sheet's rectangle around it, and its scale.
    struct SheetReading {
        double scale = 0.0;
        Rect sheet{};
    };

    void collect() {
        for (std::size_t i = 0; i < entities_.size(); ++i) {
            const host::EntityType type = ds_.entityType(entities_[i]);
            if (type == host::EntityType::Line) {
                std::vector<host::Point3d> points;
                bool closed = false;
                if (host::succeeded(ds_.curvePoints(entities_[i], 1.0, points, closed)) &&
                    points.size() == 2)
                    addEdge(points[0], points[1], i);
            } else if (type == host::EntityType::LwPolyline) {
                host::LwPolylineInfo polyline;
                if (!host::succeeded(ds_.lwPolyline(entities_[i], polyline))) continue;
                const std::size_t n = polyline.vertices.size();
                const std::size_t edges = n < 2 ? 0 : polyline.closed ? n : n - 1;
                for (std::size_t k = 0; k < edges; ++k) {
                    if (k < polyline.bulges.size() && polyline.bulges[k] != 0.0) continue;
                    addEdge(polyline.vertices[k], polyline.vertices[(k + 1) % n], i);
                }
            } else if (type == host::EntityType::Text || type == host::EntityType::MText) {
                texts_.push_back(i);
            }
        }
    }

    void addEdge(const host::Point3d& p, const host::Point3d& q, std::size_t owner) {
        const double dx = q.x - p.x, dy = q.y - p.y;
        if (!(std::fabs(dx) > kJoin || std::fabs(dy) > kJoin)) return;
        if (std::fabs(dy) <= kJoin && std::fabs(dy) <= 1e-3 * std::fabs(dx))
            horizontalPieces_.push_back(
                {(p.y + q.y) / 2, std::min(p.x, q.x), std::max(p.x, q.x), owner});
        else if (std::fabs(dx) <= kJoin && std::fabs(dx) <= 1e-3 * std::fabs(dy))
            verticalPieces_.push_back(
                {(p.x + q.x) / 2, std::min(p.y, q.y), std::max(p.y, q.y), owner});
    }

    const std::vector<Piece>& piecesOf(const Run& run) const {
        return run.horizontal ? horizontalPieces_ : verticalPieces_;
    }

    // Entities drawing the part of an edge run that lies on the rectangle's side (a run may
    // reach beyond it).
    std::vector<std::size_t> edgeOwners(const Run& run, const Rect& rect) const {
        const std::vector<Piece>& pieces = piecesOf(run);
        const double from = run.horizontal ? rect.x0 : rect.y0;
        const double to = run.horizontal ? rect.x1 : rect.y1;
        std::vector<std::size_t> out;
        for (const std::size_t p : run.pieces)
            if (pieces[p].to > from + kJoin && pieces[p].from < to - kJoin)
                out.push_back(pieces[p].owner);
        return out;
    }

    // Rectangles of a standard sheet's size at a common scale whose four corners are marked:
    // by the whole sides, by pieces of them at the corners, or by trim marks (two short lines
    // meeting at each corner). A side may be part of a longer line: frames laid edge to edge
    // share their sides.
    std::vector<Candidate> candidateRects() const {
        std::vector<Candidate> out;
        for (const Run& bottom : horizontal_) {
            // Vertical runs that leave or cross this line within its span: the sides.
            std::vector<const Run*> sides;
            for (auto it = firstAt(vertical_, bottom.from - kGather);
                 it != vertical_.end() && it->level <= bottom.to + kGather; ++it)
                if (it->from <= bottom.level + kGather && it->to > bottom.level + kJoin)
                    sides.push_back(&*it);
            for (const Run* left : sides)
                for (const double scale : kScales)
                    for (const double unit : {1.0, 1.0 / 25.4}) {
                        const double s = scale * unit;
                        // The lower-left corner: both lines reach it and run on along the
                        // sheet's sides. Most line pairs fail here, before any sheet is tried.
                        const double tolerance = kSizeTolerance * s, mark = kMinMark * s;
                        if (bottom.from > left->level + tolerance ||
                            bottom.to < left->level + mark ||
                            left->from > bottom.level + tolerance || left->to < bottom.level + mark)
                            continue;
                        // Any sheet in inches, not only ANSI ones: imperial templates draw
                        // ISO sheets too (an A3 frame 16.54 inches wide).
                        for (const Sheet& sheet : kSheets)
                            for (const bool landscape : {true, false})
                                addCandidate(bottom, *left, sheet, s, landscape, out);
                    }
        }
        return out;
    }

    // The rectangle of `sheet` at scale `s` from the lower-left corner `bottom` and `left` mark,
    // when its other three corners are marked too.
    void addCandidate(const Run& bottom, const Run& left, const Sheet& sheet, double s,
                      bool landscape, std::vector<Candidate>& out) const {
        const double w = (landscape ? sheet.longSide : sheet.shortSide) * s;
        const double h = (landscape ? sheet.shortSide : sheet.longSide) * s;
        const double tolerance = kSizeTolerance * s, mark = kMinMark * s;
        const double x0 = left.level, y0 = bottom.level, x1 = x0 + w, y1 = y0 + h;
        // The other corners, each a horizontal and a vertical run reaching it from inside.
        const Run* lowerRight = edgeRun(vertical_, x1, y0, y0 + mark, tolerance);
        if (lowerRight == nullptr) return;
        const Run* upperLeft = edgeRun(horizontal_, y1, x0, x0 + mark, tolerance);
        if (upperLeft == nullptr) return;
        const Run* marks[] = {&bottom,
                              &left,
                              lowerRight,
                              upperLeft,
                              edgeRun(horizontal_, y0, x1 - mark, x1, tolerance),
                              edgeRun(vertical_, x0, y1 - mark, y1, tolerance),
                              edgeRun(horizontal_, y1, x1 - mark, x1, tolerance),
                              edgeRun(vertical_, x1, y1 - mark, y1, tolerance)};
        if (std::find(std::begin(marks), std::end(marks), nullptr) != std::end(marks)) return;
        const Rect rect{x0, y0, lowerRight->level, upperLeft->level};
        for (Candidate& c : out)
            if (near(c.rect.x0, rect.x0, kJoin) && near(c.rect.y0, rect.y0, kJoin) &&
                near(c.rect.x1, rect.x1, kJoin) && near(c.rect.y1, rect.y1, kJoin)) {
                c.scales.push_back(s);
                return;
            }
        Candidate c{rect, {s}, {}};
        for (const Run* run : marks)
            if (std::find(c.edges.begin(), c.edges.end(), run) == c.edges.end())
                c.edges.push_back(run);
        out.push_back(std::move(c));
    }

    // Closed rectangles (a polyline, or lines from corner to corner) that some sheet at some
    // scale holds as its border: candidates for a frame whose sheet edge is not drawn.
    std::vector<Border> borderRects() const {
        std::vector<Border> out;
        for (const Run& bottom : horizontal_)
            for (auto it = firstAt(vertical_, bottom.from - kJoin);
                 it != vertical_.end() && it->level <= bottom.from + kJoin; ++it) {
                if (!near(it->from, bottom.level, kJoin)) continue;
                const Rect rect{bottom.from, bottom.level, bottom.to, it->to};
                const Run* right = edgeRun(vertical_, rect.x1, rect.y0, rect.y1, kJoin);
                const Run* top = edgeRun(horizontal_, rect.y1, rect.x0, rect.x1, kJoin);
                if (right == nullptr || top == nullptr || sheetReadings(rect).empty()) continue;
                out.push_back({rect, {&bottom, &*it, right, top}});
            }
        return out;
    }

    // The sheets of a listed size at a common scale whose border `rect` could be, inset by 2 to
    // 40 sheet millimetres on each side; the most common scale first, then the closest fit.
    // Top and bottom insets are equal (every standard draws them so); on the left and right,
    // a binding margin and the others' inset, or else half the room each.
    std::vector<SheetReading> sheetReadings(const Rect& rect) const {
        struct Ranked {
            SheetReading reading;
            std::size_t rank;
            double room;
        };
        std::vector<Ranked> found;
        const double w = rect.x1 - rect.x0, h = rect.y1 - rect.y0;
        for (const double scale : kScales)
            for (const double unit : {1.0, 1.0 / 25.4}) {
                const double s = scale * unit, tolerance = kSizeTolerance * s;
                const double least = 2 * kMinInset * s - tolerance;
                const double most = 2 * kMaxInset * s + tolerance;
                for (const Sheet& sheet : kSheets)
                    for (const bool landscape : {true, false}) {
                        const double sw = (landscape ? sheet.longSide : sheet.shortSide) * s;
                        const double sh = (landscape ? sheet.shortSide : sheet.longSide) * s;
                        const double roomX = sw - w, roomY = sh - h;
                        if (roomX < least || roomX > most || roomY < least || roomY > most)
                            continue;
                        const double inset = roomY / 2;
                        double left = roomX / 2;
                        for (const double margin : kBindingMargins)
                            if (near(roomX - inset, margin * s, tolerance) &&
                                roomX - inset > inset + tolerance)
                                left = roomX - inset;
                        const Rect around{rect.x0 - left, rect.y0 - inset, rect.x0 - left + sw,
                                          rect.y0 - inset + sh};
                        found.push_back({{s, around}, scaleRank(s), (roomX + roomY) / s});
                    }
            }
        std::stable_sort(found.begin(), found.end(), [](const Ranked& a, const Ranked& b) {
            return a.rank != b.rank ? a.rank < b.rank : a.room < b.room;
        });
        std::vector<SheetReading> out;
        for (const Ranked& r : found)
            out.push_back(r.reading);
        return out;
    }

    // A border is a frame only with a whole title grid in its lower-right corner: a closed
    // rectangle alone is a part, whatever its size. The first reading whose scale finds the
    // grid places the sheet.
    bool confirmBorder(const Border& b, DrawnFrame& frame) {
        for (const SheetReading& reading : sheetReadings(b.rect)) {
            int rows = 0, columns = 0;
            Rect box{};
            titleGrid(b.rect, reading.scale, rows, columns, box);
            if (rows < 2 || columns < 2) continue;
            const Rect& sheet = reading.sheet;
            frame.window = {sheet.x0, sheet.y0, sheet.x1, sheet.y1, {}};
            frame.border = {b.rect.x0, b.rect.y0, b.rect.x1, b.rect.y1, {}};
            frame.scale = reading.scale;
            frame.hasTitleBlock = true;
            frame.titleBlock = {box.x0, box.y0, box.x1, box.y1, {}};
            std::set<std::size_t> owners;
            for (const Run* edge : b.edges)
                for (const std::size_t owner : edgeOwners(*edge, b.rect))
                    owners.insert(owner);
            addTitleBlockMembers(box, reading.scale, owners);
            takeMembers(owners, frame);
            return true;
        }
        return false;
    }

    // An inner border inset by a margin band on every side.
    bool innerBorder(const Rect& outer, double s, Rect& inner, const Run* edges[4]) const {
        const double tolerance = kSizeTolerance * s;
        auto inBand = [&](double inset) {
            return inset >= kMinInset * s - tolerance && inset <= kMaxInset * s + tolerance;
        };
        for (const Run& bottom : horizontal_) {
            if (!inBand(bottom.level - outer.y0) || !inBand(bottom.from - outer.x0) ||
                !inBand(outer.x1 - bottom.to))
                continue;
            for (const Run& top : horizontal_) {
                if (!inBand(outer.y1 - top.level) || !near(top.from, bottom.from, tolerance) ||
                    !near(top.to, bottom.to, tolerance))
                    continue;
                const Rect r{bottom.from, bottom.level, bottom.to, top.level};
                const Run* left = edgeRun(vertical_, r.x0, r.y0, r.y1, tolerance);
                const Run* right = edgeRun(vertical_, r.x1, r.y0, r.y1, tolerance);
                if (left == nullptr || right == nullptr) continue;
                inner = r;
                edges[0] = &bottom;
                edges[1] = &top;
                edges[2] = left;
                edges[3] = right;
                return true;
            }
        }
        return false;
    }

    // Row lines reaching the border's right side and column lines standing on its bottom,
    // near the lower-right corner: the cells of a title block. `box` receives their extent.
    void titleGrid(const Rect& border, double s, int& rows, int& columns, Rect& box) const {
        const double tolerance = kSizeTolerance * s;
        const double left = border.x1 - kTitleReachX * s, top = border.y0 + kTitleReachY * s;
        rows = columns = 0;
        box = {border.x1, border.y0, border.x1, border.y0};
        // Only the runs at levels in the corner's reach are looked at: every closed rectangle
        // of a perforated plate may ask.
        for (auto r = firstAt(horizontal_, border.y0); r != horizontal_.end() && r->level <= top;
             ++r)
            if (r->level > border.y0 + tolerance && near(r->to, border.x1, tolerance) &&
                r->from >= left - tolerance && r->from < border.x1 - tolerance) {
                ++rows;
                box.x0 = std::min(box.x0, r->from);
                box.y1 = std::max(box.y1, r->level);
            }
        for (auto r = firstAt(vertical_, left);
             r != vertical_.end() && r->level < border.x1 - tolerance; ++r)
            if (near(r->from, border.y0, tolerance) && r->to <= top + tolerance &&
                r->to > border.y0 + tolerance) {
                ++columns;
                box.x0 = std::min(box.x0, r->level);
                box.y1 = std::max(box.y1, r->to);
            }
    }

    bool outerOnFrameLayer(const Candidate& c) const {
        for (const Run* edge : c.edges)
            for (const std::size_t owner : edgeOwners(*edge, c.rect)) {
                host::EntityInfo info;
                if (host::succeeded(ds_.entityInfo(entities_[owner], info)) &&
                    hasFrameLayerWord(info.layer))
                    return true;
            }
        return false;
    }

    // What a frame holds, read at one scale.
    struct Reading {
        double scale = 0.0;
        bool hasInner = false, grid = false;
        Rect inner{}, box{};
        const Run* innerEdges[4] = {};
        int evidence() const { return int(hasInner) + int(grid); }
    };

    Reading read(const Rect& rect, double s, bool layerWord) const {
        Reading r;
        r.scale = s;
        r.hasInner = innerBorder(rect, s, r.inner, r.innerEdges);
        int rows = 0, columns = 0;
        titleGrid(r.hasInner ? r.inner : rect, s, rows, columns, r.box);
        // A layer word stands in for the second row and column a grid needs, never for the
        // inner geometry altogether: a sheet's corners alone stay a part.
        const int needed = layerWord ? 1 : 2;
        r.grid = rows >= needed && columns >= needed;
        return r;
    }

    // The rectangle read at each of its scales: the reading with the most evidence (border and
    // grid), the most common scale among equals, makes the frame.
    bool confirm(const Candidate& c, DrawnFrame& frame) {
        const bool layerWord = outerOnFrameLayer(c);
        Reading best;
        for (const double s : c.scales) {
            const Reading r = read(c.rect, s, layerWord);
            if (r.evidence() > best.evidence() ||
                (r.evidence() == best.evidence() && r.evidence() > 0 &&
                 scaleRank(r.scale) < scaleRank(best.scale)))
                best = r;
        }
        if (best.evidence() == 0) return false;
        const Rect border = best.hasInner ? best.inner : c.rect;
        frame.window = {c.rect.x0, c.rect.y0, c.rect.x1, c.rect.y1, {}};
        frame.border = {border.x0, border.y0, border.x1, border.y1, {}};
        frame.scale = best.scale;
        std::set<std::size_t> owners;
        for (const Run* edge : c.edges)
            for (const std::size_t owner : edgeOwners(*edge, c.rect))
                owners.insert(owner);
        if (best.hasInner)
            for (const Run* edge : best.innerEdges)
                for (const std::size_t owner : edgeOwners(*edge, best.inner))
                    owners.insert(owner);
        if (best.grid) {
            frame.hasTitleBlock = true;
            frame.titleBlock = {best.box.x0, best.box.y0, best.box.x1, best.box.y1, {}};
            addTitleBlockMembers(best.box, best.scale, owners);
        }
        takeMembers(owners, frame);
        return true;
    }

    void takeMembers(const std::set<std::size_t>& owners, DrawnFrame& frame) {
        for (const std::size_t owner : owners) {
            host::EntityInfo info;
            if (!host::succeeded(ds_.entityInfo(entities_[owner], info))) continue;
            frame.members.push_back(entities_[owner]);
            frame.handles.push_back(info.handle);
            taken_.insert(owner);
        }
    }

    // Every line, polyline and text wholly inside the title block's box.
    void addTitleBlockMembers(const Rect& box, double s, std::set<std::size_t>& owners) {
        const double tolerance = kSizeTolerance * s;
        auto within = [&](double x0, double y0, double x1, double y1) {
            return x0 >= box.x0 - tolerance && x1 <= box.x1 + tolerance &&
                   y0 >= box.y0 - tolerance && y1 <= box.y1 + tolerance;
        };
        // Owners with a piece in the box, then their whole extents checked.
        std::set<std::size_t> nearBox(texts_.begin(), texts_.end());
        for (const Piece& p : horizontalPieces_)
            if (within(p.from, p.level, p.to, p.level)) nearBox.insert(p.owner);
        for (const Piece& p : verticalPieces_)
            if (within(p.level, p.from, p.level, p.to)) nearBox.insert(p.owner);
        for (const std::size_t owner : nearBox) {
            const host::Extents3d& e = extentsOf(owner);
            if (!e.isEmpty() && within(e.min.x, e.min.y, e.max.x, e.max.y)) owners.insert(owner);
        }
    }

    // Extents measured once: every frame of a sheet-filled drawing asks for every text's.
    const host::Extents3d& extentsOf(std::size_t owner) {
        const auto [at, added] = extents_.try_emplace(owner);
        if (added && !host::succeeded(ds_.geometricExtents(entities_[owner], at->second)))
            at->second = {};
        return at->second;
    }

    host::DrawingAccess& ds_;
    const std::vector<host::ObjectId>& entities_;
    std::vector<Piece> horizontalPieces_, verticalPieces_;
    std::vector<Run> horizontal_, vertical_;
    std::vector<std::size_t> texts_;
    std::set<std::size_t> taken_;
    std::unordered_map<std::size_t, host::Extents3d> extents_;
};

}  // namespace

std::vector<DrawnFrame> findDrawnFrames(host::DrawingAccess& ds,
                                        const std::vector<host::ObjectId>& entities) {
    return Recogniser(ds, entities).run();
}

}  // namespace qks::drawing
