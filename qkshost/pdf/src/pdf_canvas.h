// Builds one page's content stream: paths made in user space under a current transform (as in
// PostScript), painted with a colour, line width and dash pattern; the graphics state is
// written only when it changes. Page space is PDF points, y up.
#pragma once

#include <string>
#include <vector>

#include "qkshost/pdf/display_list.h"
#include "qkshost/pdf/plot_style.h"

namespace qkshost::pdf::detail {

enum class LineCap { Butt = 0, Round = 1 };
enum class LineJoin { Miter = 0, Round = 1 };
enum class FillRule { EvenOdd, NonZero };

// A path in page space: its operators ('m', 'l', 'c', 'h', and 'r' for a rectangle along the
// page's axes given by corner and size) and, one after the other, their points (1, 1, 3, 0, 2).
struct PagePath {
    std::vector<char> ops;
    std::vector<Point2> points;
    bool empty() const { return ops.empty(); }
    void clear() {
        ops.clear();
        points.clear();
    }
};

class PdfCanvas {
  public:
    // Content goes to the end of `content`; `path` holds the path being built (both are the
    // caller's, so their memory can serve page after page, and must outlive the canvas).
    PdfCanvas(std::string& content, PagePath& path);

    // --- transform: user space to page ---
    const Affine2& matrix() const { return state().matrix; }
    void setMatrix(const Affine2& m) { state().matrix = m; }
    // Each applies before the current transform (user space is changed).
    void transform(const Affine2& t) { state().matrix = state().matrix * t; }
    void translate(double x, double y);
    void rotate(double radians);
    void scale(double sx, double sy);

    // --- state ---
    void setColour(const Rgb& c) { state().colour = c; }
    // Width and dash lengths are in user units at the time of the stroke.
    void setLineWidth(double w) { state().lineWidth = w; }
    void setDash(const std::vector<double>& lengths, double offset);
    void setLineCap(LineCap cap) { state().cap = cap; }
    void setLineJoin(LineJoin join) { state().join = join; }
    void setFillRule(FillRule rule) { state().fillRule = rule; }
    // Saves and restores the whole state, clip included ("q" and "Q").
    void save();
    void restore();

    // --- path, in user space ---
    void moveTo(double x, double y);
    void lineTo(double x, double y);
    // Circular arcs as cubic Béziers within the flattening tolerance; joined to the current
    // point by a line, or starting a subpath when there is none. arc() runs counter-clockwise
    // from a1 to a2 (a2 < a1 gains full turns), arcNegative() clockwise.
    void arc(double xc, double yc, double r, double a1, double a2);
    void arcNegative(double xc, double yc, double r, double a1, double a2);
    void closePath();
    // Forgets the current point, so the next arc starts a subpath of its own.
    void newSubPath() { hasCurrent_ = false; }
    void rectangle(double x, double y, double w, double h);
    bool hasPath() const { return !path_.empty(); }

    // --- painting; each consumes the path ---
    void stroke();
    void fill();
    // Intersects the clip with the path.
    void clip();

    // --- text: the caller writes the text operators between these ---
    // Writes the fill colour for what follows; returns the stream to append operators to.
    std::string& beginText();

  private:
    struct State {
        Affine2 matrix;
        Rgb colour{0, 0, 0};
        double lineWidth = 1.0;
        std::vector<double> dash;
        double dashOffset = 0.0;
        LineCap cap = LineCap::Butt;
        LineJoin join = LineJoin::Miter;
        FillRule fillRule = FillRule::NonZero;
    };
    // What the content stream has set, so unchanged state is not written again.
    struct Written {
        Rgb stroke, fill;
        bool haveStroke = false, haveFill = false;  // the reader's defaults are not assumed
        double lineWidth = 1.0;
        std::vector<double> dash;
        double dashOffset = 0.0;
        int cap = 0;
        int join = 0;
    };
    State& state() { return states_.back(); }
    const State& state() const { return states_.back(); }
    void addArc(double xc, double yc, double r, double a1, double a2);
    void curveTo(const Point2& c1, const Point2& c2, const Point2& end);
    void startIfNeeded();
    void writePath(const Affine2* toUser);
    void writeColour(bool strokeColour);
    void writeStrokeState(double width, const std::vector<double>& dash, double offset);

    std::string& out_;
    std::vector<State> states_{State{}};
    std::vector<Written> written_{Written{}};
    PagePath& path_;
    Point2 current_, subpathStart_;
    bool hasCurrent_ = false;
    bool needMove_ = false;  // a subpath was closed: the next segment starts from its start
};

}  // namespace qkshost::pdf::detail
