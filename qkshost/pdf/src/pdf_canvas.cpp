#include "pdf_canvas.h"

#include <algorithm>
#include <cmath>

#include "pdf_document.h"
#include "qks/common/plane.h"

namespace qkshost::pdf::detail {
namespace {

constexpr double kTwoPi = 2 * qks::kPi;
// Largest distance (points) between a true arc and the curves drawn for it.
constexpr double kArcTolerance = 0.1;

// Largest factor by which the matrix stretches a length.
double largestStretch(const Affine2& m) {
    const double t = m.xx * m.xx + m.xy * m.xy + m.yx * m.yx + m.yy * m.yy;
    const double d = m.determinant();
    return std::sqrt(std::max(0.0, (t + std::sqrt(std::max(0.0, t * t - 4 * d * d))) / 2));
}

// Uniform scale of a matrix that only rotates, mirrors and scales alike in every direction;
// 0 for any other matrix.
double uniformScale(const Affine2& m) {
    const double size =
        std::max({std::fabs(m.xx), std::fabs(m.xy), std::fabs(m.yx), std::fabs(m.yy)});
    const double eps = 1e-9 * size;
    const bool turn = std::fabs(m.xx - m.yy) <= eps && std::fabs(m.xy + m.yx) <= eps;
    const bool mirror = std::fabs(m.xx + m.yy) <= eps && std::fabs(m.xy - m.yx) <= eps;
    return turn || mirror ? std::sqrt(std::fabs(m.determinant())) : 0.0;
}

bool invert(const Affine2& m, Affine2& out) {
    const double d = m.determinant();
    if (!std::isfinite(d) || d == 0.0) return false;
    out.xx = m.yy / d;
    out.xy = -m.xy / d;
    out.yx = -m.yx / d;
    out.yy = m.xx / d;
    out.x0 = -(out.xx * m.x0 + out.xy * m.y0);
    out.y0 = -(out.yx * m.x0 + out.yy * m.y0);
    return std::isfinite(out.x0) && std::isfinite(out.y0);
}

// How far the Bézier of a unit arc of `angle` strays from the arc.
double arcError(double angle) {
    return 2.0 / 27.0 * std::pow(std::sin(angle / 4), 6) / std::pow(std::cos(angle / 4), 2);
}

void appendPoint(std::string& out, const Point2& p) {
    appendCoordinate(out, p.x);
    out.push_back(' ');
    appendCoordinate(out, p.y);
    out.push_back(' ');
}

}  // namespace

PdfCanvas::PdfCanvas(std::string& content, PagePath& path) : out_(content), path_(path) {
    path_.clear();
}

void PdfCanvas::translate(double x, double y) {
    transform({1, 0, 0, 1, x, y});
}

void PdfCanvas::rotate(double radians) {
    const double c = std::cos(radians), s = std::sin(radians);
    transform({c, s, -s, c, 0, 0});
}

void PdfCanvas::scale(double sx, double sy) {
    transform({sx, 0, 0, sy, 0, 0});
}

void PdfCanvas::setDash(const std::vector<double>& lengths, double offset) {
    state().dash = lengths;
    state().dashOffset = lengths.empty() ? 0.0 : offset;
}

void PdfCanvas::save() {
    out_ += "q\n";
    states_.push_back(state());
    written_.push_back(written_.back());
}

void PdfCanvas::restore() {
    if (states_.size() <= 1) return;
    out_ += "Q\n";
    states_.pop_back();
    written_.pop_back();
}

void PdfCanvas::moveTo(double x, double y) {
    const Point2 p = matrix().apply({x, y});
    // A move straight after a move replaces it: a lone point draws nothing.
    if (!path_.empty() && path_.ops.back() == 'm') {
        path_.points.back() = p;
    } else {
        path_.ops.push_back('m');
        path_.points.push_back(p);
    }
    current_ = subpathStart_ = p;
    hasCurrent_ = true;
    needMove_ = false;
}

void PdfCanvas::startIfNeeded() {
    if (needMove_) {
        path_.ops.push_back('m');
        path_.points.push_back(subpathStart_);
        needMove_ = false;
    }
}

void PdfCanvas::lineTo(double x, double y) {
    if (!hasCurrent_) {
        moveTo(x, y);
        return;
    }
    startIfNeeded();
    const Point2 p = matrix().apply({x, y});
    path_.ops.push_back('l');
    path_.points.push_back(p);
    current_ = p;
}

void PdfCanvas::curveTo(const Point2& c1, const Point2& c2, const Point2& end) {
    startIfNeeded();
    const Affine2& m = matrix();
    path_.ops.push_back('c');
    path_.points.push_back(m.apply(c1));
    path_.points.push_back(m.apply(c2));
    path_.points.push_back(m.apply(end));
    current_ = path_.points.back();
}

void PdfCanvas::closePath() {
    if (!hasCurrent_ || needMove_) return;
    path_.ops.push_back('h');
    current_ = subpathStart_;
    needMove_ = true;
}

void PdfCanvas::rectangle(double x, double y, double w, double h) {
    const Affine2& m = matrix();
    if (m.xy == 0.0 && m.yx == 0.0) {
        // Sides along the page's axes: one "re".
        const Point2 corner = m.apply({x, y});
        if (!path_.empty() && path_.ops.back() == 'm') {
            path_.ops.pop_back();
            path_.points.pop_back();
        }
        path_.ops.push_back('r');
        path_.points.push_back(corner);
        path_.points.push_back({w * m.xx, h * m.yy});
        current_ = subpathStart_ = corner;
        hasCurrent_ = needMove_ = true;
        return;
    }
    moveTo(x, y);
    lineTo(x + w, y);
    lineTo(x + w, y + h);
    lineTo(x, y + h);
    closePath();
}

void PdfCanvas::arc(double xc, double yc, double r, double a1, double a2) {
    if (a2 < a1) {
        double d = std::fmod(a2 - a1, kTwoPi);
        if (d < 0) d += kTwoPi;
        a2 = a1 + d;
    }
    addArc(xc, yc, r, a1, a2);
}

void PdfCanvas::arcNegative(double xc, double yc, double r, double a1, double a2) {
    if (a2 > a1) {
        double d = std::fmod(a1 - a2, kTwoPi);
        if (d < 0) d += kTwoPi;
        a2 = a1 - d;
    }
    addArc(xc, yc, r, a1, a2);
}

void PdfCanvas::addArc(double xc, double yc, double r, double a1, double a2) {
    if (!std::isfinite(xc) || !std::isfinite(yc) || !std::isfinite(r) || !std::isfinite(a1) ||
        !std::isfinite(a2))
        return;
    double sweep = a2 - a1;
    // More than two turns draw nothing the second does not.
    if (std::fabs(sweep) > 2 * kTwoPi)
        sweep = std::copysign(kTwoPi + std::fmod(std::fabs(sweep), kTwoPi), sweep);
    const Point2 start{xc + r * std::cos(a1), yc + r * std::sin(a1)};
    if (!hasCurrent_) {
        moveTo(start.x, start.y);
    } else {
        // A bulged segment starts where the path already is: no zero-length line before it.
        const Point2 p = matrix().apply(start);
        if (needMove_ || std::fabs(p.x - current_.x) > 1e-9 * (1 + std::fabs(p.x)) ||
            std::fabs(p.y - current_.y) > 1e-9 * (1 + std::fabs(p.y)))
            lineTo(start.x, start.y);
    }
    if (sweep == 0.0 || r <= 0.0) return;
    const double radius = r * largestStretch(matrix());
    // Half a turn per curve at most; more where the arc is large on paper.
    int segments = std::max(1, int(std::ceil(std::fabs(sweep) / (kTwoPi / 2) - 1e-9)));
    while (segments < 1024 && radius * arcError(std::fabs(sweep) / segments) > kArcTolerance)
        ++segments;
    const double step = sweep / segments;
    const double handle = 4.0 / 3.0 * std::tan(step / 4);
    double t0 = a1, c0 = std::cos(t0), s0 = std::sin(t0);
    for (int i = 1; i <= segments; ++i) {
        const double t1 = i == segments ? a1 + sweep : a1 + step * i;
        const double c1 = std::cos(t1), s1 = std::sin(t1);
        curveTo({xc + r * (c0 - handle * s0), yc + r * (s0 + handle * c0)},
                {xc + r * (c1 + handle * s1), yc + r * (s1 - handle * c1)},
                {xc + r * c1, yc + r * s1});
        t0 = t1;
        c0 = c1;
        s0 = s1;
    }
}

void PdfCanvas::writePath(const Affine2* toUser) {
    const Point2* p = path_.points.data();
    for (const char op : path_.ops) {
        if (op == 'r') {
            if (toUser) {  // a rectangle in page space is a parallelogram in user space
                const Point2 corners[4] = {p[0],
                                           {p[0].x + p[1].x, p[0].y},
                                           {p[0].x + p[1].x, p[0].y + p[1].y},
                                           {p[0].x, p[0].y + p[1].y}};
                for (int i = 0; i < 4; ++i) {
                    appendPoint(out_, toUser->apply(corners[i]));
                    out_ += i == 0 ? "m\n" : "l\n";
                }
                out_ += "h\n";
            } else {
                appendPoint(out_, p[0]);
                appendPoint(out_, p[1]);
                out_ += "re\n";
            }
            p += 2;
            continue;
        }
        const int points = op == 'c' ? 3 : op == 'h' ? 0 : 1;
        for (int i = 0; i < points; ++i, ++p)
            appendPoint(out_, toUser ? toUser->apply(*p) : *p);
        out_.push_back(op);
        out_.push_back('\n');
    }
}

void PdfCanvas::writeColour(bool strokeColour) {
    Written& w = written_.back();
    const Rgb c = state().colour;
    if (strokeColour ? (w.haveStroke && w.stroke == c) : (w.haveFill && w.fill == c)) return;
    for (std::uint8_t v : {c.r, c.g, c.b}) {
        appendScale(out_, v / 255.0);
        out_.push_back(' ');
    }
    out_ += strokeColour ? "RG\n" : "rg\n";
    if (strokeColour) {
        w.stroke = c;
        w.haveStroke = true;
    } else {
        w.fill = c;
        w.haveFill = true;
    }
}

void PdfCanvas::writeStrokeState(double width, const std::vector<double>& dash, double offset) {
    Written& w = written_.back();
    if (width != w.lineWidth) {
        appendScale(out_, width);
        out_ += " w\n";
        w.lineWidth = width;
    }
    if (dash != w.dash || offset != w.dashOffset) {
        out_.push_back('[');
        for (std::size_t i = 0; i < dash.size(); ++i) {
            if (i) out_.push_back(' ');
            appendScale(out_, dash[i]);
        }
        out_ += "] ";
        appendScale(out_, offset);
        out_ += " d\n";
        w.dash = dash;
        w.dashOffset = offset;
    }
    const int cap = int(state().cap), join = int(state().join);
    if (cap != w.cap) {
        out_.push_back(char('0' + cap));
        out_ += " J\n";
        w.cap = cap;
    }
    if (join != w.join) {
        out_.push_back(char('0' + join));
        out_ += " j\n";
        w.join = join;
    }
}

void PdfCanvas::stroke() {
    if (path_.empty()) return;
    const State& s = state();
    writeColour(true);
    const double k = uniformScale(s.matrix);
    if (k > 0) {
        // Widths and dashes scale alike in every direction: the path stays in page space.
        std::vector<double> dash = s.dash;
        for (double& d : dash)
            d *= k;
        writeStrokeState(s.lineWidth * k, dash, s.dashOffset * k);
        writePath(nullptr);
        out_ += "S\n";
    } else {
        // The pen is stretched unevenly: stroke in user space under the transform itself.
        Affine2 toUser;
        if (invert(s.matrix, toUser)) {
            const Written before = written_.back();
            out_ += "q ";
            for (double v : {s.matrix.xx, s.matrix.yx, s.matrix.xy, s.matrix.yy}) {
                appendScale(out_, v);
                out_.push_back(' ');
            }
            appendPoint(out_, {s.matrix.x0, s.matrix.y0});
            out_ += "cm\n";
            writeStrokeState(s.lineWidth, s.dash, s.dashOffset);
            writePath(&toUser);
            out_ += "S\nQ\n";
            written_.back() = before;
        }
    }
    path_.clear();
    hasCurrent_ = needMove_ = false;
}

void PdfCanvas::fill() {
    if (path_.empty()) return;
    writeColour(false);
    writePath(nullptr);
    out_ += state().fillRule == FillRule::EvenOdd ? "f*\n" : "f\n";
    path_.clear();
    hasCurrent_ = needMove_ = false;
}

void PdfCanvas::clip() {
    if (path_.empty())
        out_ += "0 0 0 0 re W n\n";  // an empty path leaves nothing visible
    else {
        writePath(nullptr);
        out_ += "W n\n";
    }
    path_.clear();
    hasCurrent_ = needMove_ = false;
}

std::string& PdfCanvas::beginText() {
    writeColour(false);
    return out_;
}

}  // namespace qkshost::pdf::detail
