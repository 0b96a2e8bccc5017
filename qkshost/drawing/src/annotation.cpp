#include "qkshost/drawing/annotation.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "qkshost/drawing/geometry.h"

namespace qkshost::drawing {

namespace {

// Below this a length counts as none: drawings in millimetres or inches never come near it.
constexpr double kTiny = 1e-9;

// Flags of the DIMENSION type: the block belongs to this dimension alone; an ordinate of x.
constexpr int kOwnBlock = 32;
constexpr int kOrdinateOfX = 64;

// Vectors of the dimension's plane; the picture lies at the height of its defining points.
Vector3d offset(const Point3d& from, const Point3d& to) {
    return {to.x - from.x, to.y - from.y, 0};
}
double length(const Vector3d& v) {
    return std::hypot(v.x, v.y);
}
Vector3d times(const Vector3d& v, double s) {
    return {v.x * s, v.y * s, 0};
}
Point3d moved(const Point3d& p, const Vector3d& v) {
    return {p.x + v.x, p.y + v.y, p.z};
}
double dot(const Vector3d& a, const Vector3d& b) {
    return a.x * b.x + a.y * b.y;
}
Vector3d leftOf(const Vector3d& d) {
    return {-d.y, d.x, 0};
}
// The direction a text along `d` reads in: left to right, or bottom to top when upright.
Vector3d readable(const Vector3d& d) {
    const bool backwards = d.x < -kTiny || (std::fabs(d.x) <= kTiny && d.y < 0);
    return backwards ? times(d, -1) : d;
}

// Draws the picture into the geometry block; every piece is ByBlock, so that it shows in the
// colour and weight of its dimension.
class Picture {
  public:
    Picture(Database& db, ObjectIndex block, const DimensionLook& look)
        : db_(db), block_(block), look_(look) {}

    void line(const Point3d& a, const Point3d& b) {
        auto l = std::make_unique<Line>();
        l->start = a;
        l->end = b;
        put(std::move(l));
    }
    // A closed filled arrow head with its tip at `tip`, its tail towards `back` (a unit vector).
    void arrow(const Point3d& tip, const Vector3d& back) {
        const Point3d base = moved(tip, times(back, look_.arrowSize));
        const Vector3d half = times(leftOf(back), look_.arrowSize / 6);
        auto s = std::make_unique<Solid>();
        s->corners[0] = tip;
        s->corners[1] = moved(base, half);
        s->corners[2] = moved(base, times(half, -1));
        s->corners[3] = s->corners[2];
        put(std::move(s));
    }
    // The line from `a` to `b` with arrows at both ends: inside when two fit between them,
    // else outside pointing in, the line running on past them.
    void dimensionLine(const Point3d& a, const Point3d& b) {
        const Vector3d ab = offset(a, b);
        const double l = length(ab);
        const Vector3d e = times(ab, 1 / l);
        if (l >= 2.5 * look_.arrowSize) {
            line(a, b);
            arrow(a, e);
            arrow(b, times(e, -1));
            return;
        }
        const Vector3d run = times(e, 2 * look_.arrowSize);
        line(moved(a, times(run, -1)), moved(b, run));
        arrow(a, times(e, -1));
        arrow(b, e);
    }
    // Width of `contents` on one line, estimated as the kernel estimates text boxes.
    double textWidth(const std::string& contents) const {
        MText probe;
        probe.text = contents;
        probe.height = look_.textHeight;
        Point3d corners[4];
        if (!textBox(db_, probe, corners)) return 0.0;
        return length(offset(corners[0], corners[1]));
    }
    // Multiline text at `at` along `direction`, attached there at `attachment` (1..9).
    void text(const Point3d& at, const Vector3d& direction, int attachment,
              const std::string& contents) {
        auto m = std::make_unique<MText>();
        m->position = at;
        m->direction = direction;
        m->rotation = std::atan2(direction.y, direction.x);
        m->height = look_.textHeight;
        m->attachment = attachment;
        m->text = contents;
        m->style = look_.textStyle;
        put(std::move(m));
    }
    // The text centred above the segment from `a` to `b`, reading along it; its middle point.
    Point3d textAbove(const Point3d& a, const Point3d& b, const std::string& contents) {
        const Vector3d along = readable(times(offset(a, b), 1 / length(offset(a, b))));
        const Point3d middle{(a.x + b.x) / 2, (a.y + b.y) / 2, a.z};
        const Point3d at =
            moved(middle, times(leftOf(along), look_.textGap + look_.textHeight / 2));
        text(at, along, 5, contents);
        return at;
    }

  private:
    void put(std::unique_ptr<Entity> e) {
        e->color = 0;
        e->lineweight = -2;
        db_.appendEntity(std::move(e), block_);
    }

    Database& db_;
    ObjectIndex block_;
    const DimensionLook& look_;
};

// An extension line from the measured point `from` to the dimension line at `to`: starting the
// offset away from the point, running on past the line.
void extensionLine(Picture& picture, const DimensionLook& look, const Point3d& from,
                   const Point3d& to) {
    const Vector3d v = offset(from, to);
    const double l = length(v);
    if (l <= kTiny) return;
    const Vector3d u = times(v, 1 / l);
    picture.line(moved(from, times(u, std::min(look.extensionOffset, l))),
                 moved(to, times(u, look.extensionBeyond)));
}

struct Placed {
    int type = 0;
    double measurement = 0.0;  // as stored: the geometry's
    Point3d defPoint, textMid, p13, p14, p15;
    double angle = 0.0, leaderLength = 0.0;
};

// The text a dimension shows for a measured value.
struct Wording {
    const std::string& text;
    const DimensionLook& look;
    std::string operator()(double shown) const {
        return dimensionText(text, formatMeasurement(shown * look.linearFactor, look.decimals,
                                                     look.zeroSuppression));
    }
};

Vector3d linearDirection(const DimensionRequest& r) {
    return {std::cos(r.rotation), std::sin(r.rotation), 0};
}

// What the dimension measures, as its entity stores it; NaN when the points measure nothing.
double measured(const DimensionRequest& r) {
    const Vector3d across = offset(r.first, r.second);
    switch (r.kind) {
        case DimensionKind::Linear: {
            const double m = std::fabs(dot(across, linearDirection(r)));
            return m > kTiny ? m : NAN;
        }
        case DimensionKind::Diameter:
            return length(across) > kTiny ? length(across) : NAN;
        case DimensionKind::Ordinate:
            if (!(length(across) > kTiny)) return NAN;  // a leader of no length
            return r.ordinateX ? r.first.x - r.origin.x : r.first.y - r.origin.y;
    }
    return NAN;
}

// Linear: the dimension line through `line` along the rotation, the points projected onto it.
void linear(Picture& picture, const DimensionLook& look, const DimensionRequest& r,
            const Wording& wording, Placed& placed) {
    const Vector3d d = linearDirection(r);
    const auto onLine = [&](const Point3d& p) {
        return moved(Point3d{r.line.x, r.line.y, p.z}, times(d, dot(offset(r.line, p), d)));
    };
    const Point3d q1 = onLine(r.first), q2 = onLine(r.second);
    extensionLine(picture, look, r.first, q1);
    extensionLine(picture, look, r.second, q2);
    picture.dimensionLine(q1, q2);
    placed.textMid = picture.textAbove(q1, q2, wording(placed.measurement));
    placed.type = 0;
    placed.defPoint = q2;
    placed.p13 = r.first;
    placed.p14 = r.second;
    placed.angle = r.rotation;
}

// Diameter: the line across the circle, the text above its middle, or outside past the second
// point when it does not fit between the arrows.
void diameter(Picture& picture, const DimensionLook& look, const DimensionRequest& r,
              const Wording& wording, Placed& placed) {
    const Vector3d across = offset(r.first, r.second);
    const std::string text = wording(placed.measurement);
    const double width = picture.textWidth(text);
    placed.type = 3;
    placed.defPoint = r.first;
    placed.p15 = r.second;
    if (width + 2 * look.arrowSize <= placed.measurement) {
        picture.dimensionLine(r.first, r.second);
        placed.textMid = picture.textAbove(r.first, r.second, text);
        return;
    }
    const Vector3d e = times(across, 1 / placed.measurement);
    placed.leaderLength = look.arrowSize + 2 * look.textGap + width;
    const Point3d landingEnd = moved(r.second, times(e, placed.leaderLength));
    picture.dimensionLine(r.first, r.second);
    picture.line(r.second, landingEnd);
    placed.textMid = picture.textAbove(moved(r.second, times(e, look.arrowSize)), landingEnd, text);
}

// Ordinate: a leader from the feature along the other axis to the leader's end, with a jog when
// the end stands aside; the text follows the leader.
void ordinate(Picture& picture, const DimensionLook& look, const DimensionRequest& r,
              const Wording& wording, Placed& placed) {
    const Vector3d leader = r.ordinateX ? Vector3d{0, 1, 0} : Vector3d{1, 0, 0};
    const Vector3d aside = r.ordinateX ? Vector3d{1, 0, 0} : Vector3d{0, 1, 0};
    const Vector3d toEnd = offset(r.first, r.second);
    const double run = dot(toEnd, leader), side = dot(toEnd, aside);
    const double sense = run >= 0 ? 1.0 : -1.0;
    const Point3d start = moved(r.first, times(leader, sense * look.extensionOffset));
    if (std::fabs(side) > kTiny && std::fabs(run) > look.extensionOffset + 3 * look.arrowSize) {
        const Point3d knee = moved(r.first, times(leader, run - sense * 2 * look.arrowSize));
        const Point3d knee2 = moved(r.second, times(leader, -sense * look.arrowSize));
        picture.line(start, knee);
        picture.line(knee, knee2);
        picture.line(knee2, r.second);
    } else {
        picture.line(start, r.second);
    }
    // Ordinates show their distance from the origin without a sign, as drawings give them.
    const std::string text = wording(std::fabs(placed.measurement));
    const Point3d at = moved(r.second, times(leader, sense * look.textGap));
    picture.text(at, leader, sense > 0 ? 4 : 6, text);
    placed.textMid = moved(at, times(leader, sense * picture.textWidth(text) / 2));
    placed.type = 6 | (r.ordinateX ? kOrdinateOfX : 0);
    placed.defPoint = r.origin;
    placed.p13 = r.first;
    placed.p14 = r.second;
}

}  // namespace

DimensionLook dimensionLook(const Database& db, ObjectIndex style) {
    DimensionLook look = kDefaultDimensionLook;
    look.textStyle = db.currentTextStyle;
    const auto* record = db.get<DimStyleRecord>(style);
    if (record == nullptr) return look;
    const DimStyleVariables& v = record->variables;
    const double scale = v.scale.value_or(1.0) > 0 ? v.scale.value_or(1.0) : 1.0;
    look.textHeight = v.textHeight.value_or(look.textHeight) * scale;
    look.arrowSize = v.arrowSize.value_or(look.arrowSize) * scale;
    look.extensionOffset = v.extensionOffset.value_or(look.extensionOffset) * scale;
    look.extensionBeyond = v.extensionExtend.value_or(look.extensionBeyond) * scale;
    look.textGap = std::fabs(v.textGap.value_or(look.textGap)) * scale;
    look.decimals = std::clamp(v.decimals.value_or(look.decimals), 0, 8);
    look.zeroSuppression = v.zeroSuppression.value_or(look.zeroSuppression);
    look.linearFactor = v.linearFactor.value_or(1.0);
    if (db.get<TextStyleRecord>(record->textStyle)) look.textStyle = record->textStyle;
    return look;
}

std::string formatMeasurement(double value, int decimals, int zeroSuppression) {
    char buffer[64];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed,
                                 std::clamp(decimals, 0, 8));
    std::string s(buffer, r.ec == std::errc() ? r.ptr : buffer);
    if (s.find_first_of("123456789") == std::string::npos && !s.empty() && s[0] == '-')
        s.erase(0, 1);
    const std::size_t point = s.find('.');
    if ((zeroSuppression & 8) && point != std::string::npos) {
        while (s.back() == '0')
            s.pop_back();
        if (s.back() == '.') s.pop_back();
    }
    const std::size_t digits = s[0] == '-' ? 1 : 0;
    if ((zeroSuppression & 4) && s.size() > digits + 2 && s.compare(digits, 2, "0.") == 0)
        s.erase(digits, 1);
    return s;
}

std::string dimensionText(const std::string& text, const std::string& measurement) {
    if (text.empty()) return measurement;
    std::string out = text;
    const std::size_t at = out.find("<>");
    if (at != std::string::npos) out.replace(at, 2, measurement);
    return out;
}

Status addDimension(Database& db, ObjectIndex block, const DimensionRequest& request,
                    ObjectIndex* out) {
    if (out) *out = 0;
    if (!db.get<BlockRecord>(block)) return Status::NotFound;
    ObjectIndex style = db.get<DimStyleRecord>(request.style) ? request.style : db.currentDimStyle;
    if (!db.get<DimStyleRecord>(style)) style = db.findDimStyle("Standard");
    const DimensionLook look = dimensionLook(db, style);
    Placed placed;
    placed.measurement = measured(request);
    if (!std::isfinite(placed.measurement)) return Status::InvalidInput;
    const ObjectIndex geometry = db.addAnonymousBlock("*D");
    if (!geometry) return Status::InvalidInput;
    Picture picture(db, geometry, look);
    const Wording wording{request.text, look};
    switch (request.kind) {
        case DimensionKind::Linear:
            linear(picture, look, request, wording, placed);
            break;
        case DimensionKind::Diameter:
            diameter(picture, look, request, wording, placed);
            break;
        case DimensionKind::Ordinate:
            ordinate(picture, look, request, wording, placed);
            break;
    }
    auto d = std::make_unique<Dimension>();
    d->layer = request.layer;
    d->block = geometry;
    d->dimStyle = style;
    d->dimType = placed.type | kOwnBlock;
    d->defPoint = placed.defPoint;
    d->textMid = placed.textMid;
    d->p13 = placed.p13;
    d->p14 = placed.p14;
    d->p15 = placed.p15;
    d->angle = placed.angle;
    d->leaderLength = placed.leaderLength;
    d->measurement = placed.measurement;
    d->text = request.text;
    const ObjectIndex index = db.appendEntity(std::move(d), block);
    if (out) *out = index;
    return index ? Status::Ok : Status::InvalidInput;
}

}  // namespace qkshost::drawing
