// The neutral display list the PDF renderer draws: primitives in drawing coordinates (x right,
// y up, drawing units), each with the pen it is drawn with. Whoever converts drawing entities
// resolves ByLayer/ByBlock colours and line weights and text styles before adding items; block
// references may be kept as a transform around the block's items (TransformPush/Pop). The list
// only knows geometry, colour, weight and text.
//
// Angles are radians, counter-clockwise from +x. Items are drawn in list order (later items on
// top). A plain value type: copy it, move it, build it on any thread.
#pragma once

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "qkshost/pdf/plot_settings.h"
#include "qkshost/pdf/plot_style.h"

namespace qkshost::pdf {

struct Point2 {
    double x = 0.0;
    double y = 0.0;
};

// Affine map of the plane: x' = xx x + xy y + x0, y' = yx x + yy y + y0.
struct Affine2 {
    double xx = 1.0, yx = 0.0, xy = 0.0, yy = 1.0, x0 = 0.0, y0 = 0.0;

    Point2 apply(const Point2& p) const {
        return {xx * p.x + xy * p.y + x0, yx * p.x + yy * p.y + y0};
    }
    // this * other: apply `other` first, then this.
    Affine2 operator*(const Affine2& o) const {
        return {xx * o.xx + xy * o.yx, yx * o.xx + yy * o.yx,      xx * o.xy + xy * o.yy,
                yx * o.xy + yy * o.yy, xx * o.x0 + xy * o.y0 + x0, yx * o.x0 + yy * o.y0 + y0};
    }
    double determinant() const { return xx * yy - xy * yx; }
    // A block reference: scale (negative x mirrors), then rotate (radians, counter-clockwise),
    // then move the block's origin to `position`.
    static Affine2 placement(const Point2& position, double rotation, double scaleX, double scaleY);
};

// Line weight used for a pen whose weight is "default" (negative), in millimetres on paper.
inline constexpr double kDefaultLineWeightMm = 0.25;
// Thinnest line put on paper (weight 0 means "thinnest the device can draw").
inline constexpr double kThinnestLineWeightMm = 0.05;

struct Pen {
    PlotColour colour = PlotColour::aci(7);
    double lineWeightMm = -1.0;  // on paper, not scaled with the plot; negative: default
    // Line pattern of strokes: 0 solid, otherwise the number DisplayList::addDashPattern gave.
    // Fills and texts ignore it.
    int dash = 0;
};

// A line pattern in drawing units of the list (not scaled with block transforms): lengths
// alternate drawn, skipped, drawn, ... starting with a drawn one (a drawn length of 0 is a dot);
// `offset` is how far into the lengths every path starts. The pattern restarts at each
// primitive and runs on across the vertices of a polyline. A primitive so long against its
// pattern that it would take thousands of dashes is drawn solid, as is a pattern whose period
// is too short to see on paper.
struct DashPattern {
    std::vector<double> lengths;
    double offset = 0.0;
};

struct LinePrimitive {
    Point2 start, end;
};

// One polyline vertex. bulge = tan(included angle / 4) of the segment that starts here (positive
// counter-clockwise); widths are in drawing units and scale with the plot. A segment whose two
// widths differ, or a polyline whose segments have different widths, is drawn as filled
// outlines; a constant non-zero width is a stroke of that width with mitred corners and flat
// ends, dashed by the pen's pattern; zero width is a normal line of the pen's weight. Arcs stay
// true arcs in the PDF.
struct PolylineVertex {
    Point2 point;
    double bulge = 0.0;
    double startWidth = 0.0;
    double endWidth = 0.0;
};

struct PolylinePrimitive {
    std::vector<PolylineVertex> vertices;
    bool closed = false;
};

struct CirclePrimitive {
    Point2 centre;
    double radius = 0.0;
};

// Counter-clockwise from startAngle to endAngle; an end below the start wraps once.
struct ArcPrimitive {
    Point2 centre;
    double radius = 0.0;
    double startAngle = 0.0;
    double endAngle = 0.0;
};

// Ellipse as the drawing file stores it: centre, major-axis end point relative to the centre,
// minor/major ratio, and parameters (radians, counter-clockwise) of the drawn part. 0 to 2 pi
// is the whole ellipse.
struct EllipsePrimitive {
    Point2 centre;
    Point2 majorAxis{1.0, 0.0};
    double ratio = 1.0;
    double startParam = 0.0;
    double endParam = 6.283185307179586;
};

// Filled area: solids, solid hatches, wide-line fills. Loops are closed implicitly and may
// carry bulges (widths are ignored); overlapping loops are combined by the even-odd rule, so a
// loop inside another is a hole.
struct FillPrimitive {
    std::vector<std::vector<PolylineVertex>> loops;
};

enum class TextHAlign { Left, Center, Right };
// Baseline: the insertion point is on the baseline; Bottom: under the descenders; Middle:
// half the text height above the baseline; Top: one text height above the baseline.
enum class TextVAlign { Baseline, Bottom, Middle, Top };

// A single-line text (a multiline text arrives as one item per line). height is the height of
// capital letters in drawing units; widthFactor stretches along the text direction; oblique
// slants the glyphs (radians, positive leaning right). fontFamily is requested by name
// ("SimSun", "Microsoft YaHei UI", "Arial"; a ".ttf" or ".shx" file name is accepted); fonts
// that are not installed, and characters the font lacks, fall back through fontconfig, Chinese
// to an installed CJK font.
struct TextPrimitive {
    std::string text;  // UTF-8; invalid sequences are shown as U+FFFD
    Point2 position;
    double height = 2.5;
    double rotation = 0.0;
    double widthFactor = 1.0;
    double oblique = 0.0;
    TextHAlign hAlign = TextHAlign::Left;
    TextVAlign vAlign = TextVAlign::Baseline;
    std::string fontFamily;  // empty: the host's default sans-serif
    // Parts of `text` drawn underlined or overlined, as byte ranges [begin, end) at character
    // boundaries; the lines run over the parts' advances, below the baseline and above the
    // capitals.
    struct Span {
        std::size_t begin = 0, end = 0;
    };
    std::vector<Span> underlined, overlined;
};

// Restricts everything up to the matching ClipPop to the rectangle (drawing units), within any
// clip already in force. Unmatched pops are ignored; clips still open at the end are closed.
struct ClipPush {
    PlotRect rect;
};
struct ClipPop {};

// Maps every item up to the matching TransformPop from its own coordinates (a block's) into the
// enclosing ones, after any transform already in force. Geometry follows the map exactly: a
// mirrored arc turns the other way, a circle under unequal scales is an ellipse, a text is
// mirrored, slanted or stretched with it, and polyline widths scale with it. Pen weights do not:
// they are millimetres on paper. A transform that is not finite or flattens the plane hides
// what it holds. Unmatched pops are ignored.
struct TransformPush {
    Affine2 transform;
};
struct TransformPop {};

using Primitive =
    std::variant<LinePrimitive, PolylinePrimitive, CirclePrimitive, ArcPrimitive, EllipsePrimitive,
                 FillPrimitive, TextPrimitive, ClipPush, ClipPop, TransformPush, TransformPop>;

struct DisplayItem {
    Pen pen;
    Primitive primitive;
};

class DisplayList {
  public:
    void add(const Pen& pen, Primitive primitive) { items_.push_back({pen, std::move(primitive)}); }
    void pushClip(const PlotRect& rect) { items_.push_back({Pen{}, ClipPush{rect}}); }
    void popClip() { items_.push_back({Pen{}, ClipPop{}}); }
    void pushTransform(const Affine2& transform) {
        items_.push_back({Pen{}, TransformPush{transform}});
    }
    void popTransform() { items_.push_back({Pen{}, TransformPop{}}); }
    void reserve(std::size_t n) { items_.reserve(n); }
    void clear() {
        items_.clear();
        dashes_.clear();
    }

    // Registers a pattern for Pen::dash; returns 0 (solid) for a pattern that draws nothing
    // sensible (no lengths, negative or non-finite ones, a period of zero).
    int addDashPattern(DashPattern pattern);
    // The pattern of a Pen::dash value; null for 0 and for numbers this list never gave.
    const DashPattern* dashPattern(int dash) const {
        return dash >= 1 && std::size_t(dash) <= dashes_.size() ? &dashes_[std::size_t(dash) - 1]
                                                                : nullptr;
    }

    const std::vector<DisplayItem>& items() const { return items_; }
    std::size_t size() const { return items_.size(); }
    bool empty() const { return items_.empty(); }

    // Bounding box of everything drawn (arcs and ellipses by their exact extremes, texts by an
    // generous estimate of their box: one text height per Latin character, 1.4 per other
    // character, descent below the baseline), for extents plots.
    // Empty when nothing has finite geometry.
    std::optional<PlotRect> extents() const;

  private:
    std::vector<DisplayItem> items_;
    std::vector<DashPattern> dashes_;
};

}  // namespace qkshost::pdf
