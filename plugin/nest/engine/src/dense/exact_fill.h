// The exact fill: layouts built sheet by sheet on the parts' true outlines rather than on their
// rasters. A raster holds every cell an outline meets, so two parts that should meet along a
// slanted edge stand a cell apart, and a sheet that only a jigsaw of its parts fills can never
// be filled on the grid. Here each part is cut into convex pieces (grown by half the gap) and a
// part goes where one of its corners meets a corner of a part already on the sheet or the
// sheet's own, at the free position that shares the most edge with its neighbours.
//
// Positions are still cells of the job's grid (a corner is rounded to the nearest cell), so the
// layouts are the search's own; where a corner falls between cells, the part stands at the
// nearest cell that keeps it free. Only right-angled orientations are used, so that outlines on
// whole drawing units stay on whole units.
//
// Threads: a filler is built once and then only read; build() may run on several threads at
// once, each with its own generator.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <random>
#include <vector>

#include "dense/convex.h"
#include "dense/model.h"

namespace qks::nest::dense {

class ExactFiller {
  public:
    explicit ExactFiller(const Model& model);

    // Whether the job suits the fill: rectangular sheets only, and every part with at least one
    // right-angled orientation that fits a sheet.
    bool usable() const { return usable_; }

    // A layout with every instance it could place; the unplaced ones listed. `plain` picks
    // the fixed weights (the first build of a run); otherwise the generator draws them. Nothing
    // when `quit` is raised meanwhile.
    std::optional<State> build(std::mt19937& gen, bool plain, const std::atomic<bool>& quit) const;

    // The fewest sheets any layout needs, from the part area, when the job has one stock entry
    // without a count; 0 otherwise.
    int sheetBound() const { return sheetBound_; }

    // Directions at a point, from `start` turning counter-clockwise through `size` radians.
    struct Wedge {
        double start = 0.0;
        double size = 0.0;
    };

    // One orientation of a part: outline and pieces with the bounding box of the outline at the
    // origin.
    struct Shape {
        std::int32_t orientation = 0;  // index into the model's orientations of the part
        std::vector<Point> outline;
        double width = 0.0;
        double height = 0.0;
        std::vector<ConvexPiece> pieces;  // grown by half the gap
        Bounds grownBox;
        std::vector<Point> corners;  // the pieces' corners, where neighbours meet it
    };

  private:
    struct Kind {
        std::vector<Shape> shapes;
        double area = 0.0;
        double perimeter = 0.0;
    };
    struct Weights {
        double contact = 1.0;
        double area = 0.5;
        double low = 0.05;
        double noise = 0.0;
    };
    struct Placed {
        const Shape* shape = nullptr;
        double x = 0.0;
        double y = 0.0;
    };
    struct SheetFill {
        std::int32_t stock = 0;
        std::vector<Placed> placed;
        std::vector<int> kinds;
        double area = 0.0;
        std::int64_t checks = 0;  // corners tested, as fits() counts them
    };

    SheetFill fillSheet(int stock, std::vector<std::int32_t>& left, const Weights& weights,
                        std::mt19937& gen, const std::atomic<bool>& quit) const;
    // Whether the shape at (x, y) stays off every placed one; `checks` counts the work.
    bool fits(const std::vector<Placed>& placed, const Shape& shape, double x, double y,
              std::int64_t& checks) const;
    double contact(const std::vector<Placed>& placed, const Shape& shape, double x, double y,
                   double lowX, double lowY, double highX, double highY) const;

    double usableArea(const SheetStock& stock) const;
    // The sheet tiled whole without a gap, depth first from its lowest, leftmost open corner,
    // within `tileNodes_` placements; false (and `left` as it was) when no tiling was found.
    bool tileSheet(int stock, std::vector<std::int32_t>& left, const Weights& weights,
                   std::mt19937& gen, const std::atomic<bool>& quit, SheetFill& fill) const;
    // The lowest, leftmost corner of a part or the sheet that has open directions, and the
    // first open wedge there; nothing when no corner is open.
    std::optional<Wedge> openCorner(const std::vector<Placed>& placed,
                                    const std::vector<Point>& anchors, double lowX, double lowY,
                                    double highX, double highY, Point& corner) const;

    const Model& model_;
    int sheetTries_ = 16;
    int tileNodes_ = 4000;
    std::vector<Kind> kinds_;
    double gap_ = 0.0;
    double lowest_ = 0.0;  // the outlines' least distance from the left and lower sheet edges
    double largestArea_ = 0.0;
    bool usable_ = false;
    int sheetBound_ = 0;
};

}  // namespace qks::nest::dense
