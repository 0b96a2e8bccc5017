#include "qkshost/drawing/transform.h"

#include <cmath>

#include "qks/common/plane.h"
#include "qkshost/drawing/geometry.h"

namespace qkshost::drawing {

namespace {

using qks::kPi;
constexpr double kDegrees = 180.0 / kPi;
// Dimension geometry blocks holding dimensions of their own are followed this deep.
constexpr int kMaxNesting = 32;

double norm(const Vector3d& v) {
    return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
}
Vector3d unitOr(const Vector3d& v, const Vector3d& fallback) {
    const double n = norm(v);
    return n > 0 ? Vector3d{v.x / n, v.y / n, v.z / n} : fallback;
}
Vector3d crossOf(const Vector3d& a, const Vector3d& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double dotOf(const Vector3d& a, const Vector3d& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
double determinant(const Matrix3d& m) {
    const auto& a = m.m;
    return a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
           a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
           a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
}
// An angle in [0, 2π).
double turn(double a) {
    a = std::fmod(a, 2 * kPi);
    return a < 0 ? a + 2 * kPi : a;
}
// The sweep from a0 counter-clockwise to a1, in (0, 2π]: equal ends make a full turn.
double sweepOf(double a0, double a1) {
    const double s = turn(a1 - a0);
    return s > 0 ? s : 2 * kPi;
}

// An entity's plane carried through a transform that scales evenly (and may mirror): object
// coordinates of the old plane to those of its image.
struct Plane {
    Matrix3d k;
    Vector3d normal;        // the image's extrusion
    double scale = 1.0;     // of lengths in the plane
    bool mirrored = false;  // turning sense reversed
    double angle(double a) const {
        const Vector3d v = k.transform(Vector3d{std::cos(a), std::sin(a), 0});
        return std::atan2(v.y, v.x);
    }
};

Plane planeThrough(const Matrix3d& m, const Vector3d& extrusion) {
    Plane p;
    p.normal = unitOr(m.transform(extrusion), Vector3d{0, 0, 1});
    p.k = wcsToOcs(p.normal) * m * ocsToWcs(extrusion);
    const Vector3d x = p.k.transform(Vector3d{1, 0, 0}), y = p.k.transform(Vector3d{0, 1, 0});
    p.scale = std::hypot(x.x, x.y);
    p.mirrored = x.x * y.y - x.y * y.x < 0;
    return p;
}

void movePlane(PlanarEntity& e, const Plane& p) {
    e.extrusion = p.normal;
    e.thickness *= p.scale;
}

// A circular arc from a0 counter-clockwise to a1 (radians) through the plane, as its new ends:
// a mirror swaps them, the sweep stays exact.
void arcThrough(const Plane& p, double& a0, double& a1) {
    const double sweep = sweepOf(a0, a1);
    const double start = turn(p.mirrored ? p.angle(a1) : p.angle(a0));
    a0 = start;
    a1 = start + sweep;
}

// A hatch edge's arc from its stored angles (degrees; a clockwise edge stores each angle's
// complement) through the plane. `circular`: the angles are directions, else parameters of an
// ellipse, which a mirror negates.
void hatchArcThrough(const Plane& p, HatchEdge& edge, bool circular) {
    const double sense = edge.counterClockwise ? 1.0 : -1.0;
    const double from = sense * edge.startAngle, to = sense * edge.endAngle;
    double span = edge.counterClockwise ? sweepOf(from / kDegrees, to / kDegrees)
                                        : sweepOf(to / kDegrees, from / kDegrees);
    span *= kDegrees;
    const bool counterClockwise = edge.counterClockwise != p.mirrored;
    double start = circular ? p.angle(from / kDegrees) * kDegrees : (p.mirrored ? -from : from);
    start = turn(start / kDegrees) * kDegrees;
    const double end = counterClockwise ? start + span : start - span;
    const double stored = counterClockwise ? 1.0 : -1.0;
    edge.counterClockwise = counterClockwise;
    edge.startAngle = stored * start;
    edge.endAngle = stored * end;
    if (!counterClockwise) {  // complements kept positive, as drawings store them
        edge.startAngle += 360.0;
        edge.endAngle += 360.0;
    }
}

void hatchThrough(const Matrix3d& m, Hatch& h) {
    using Type = HatchEdge::Type;
    const Plane p = planeThrough(m, h.extrusion);
    const auto at = [&](double x, double y) { return p.k.transform(Point3d{x, y, h.elevation}); };
    const auto flat = [&](const Point3d& q) {
        const Point3d r = at(q.x, q.y);
        return Point3d{r.x, r.y, 0};
    };
    for (HatchLoop& loop : h.loops) {
        for (HatchVertex& v : loop.vertices) {
            const Point3d r = at(v.x, v.y);
            v.x = r.x;
            v.y = r.y;
            if (p.mirrored) v.bulge = -v.bulge;
        }
        for (HatchEdge& edge : loop.edges) {
            edge.start = flat(edge.start);
            edge.end = flat(edge.end);
            edge.centre = flat(edge.centre);
            for (Point3d& c : edge.controlPoints)
                c = flat(c);
            for (Point3d& c : edge.fitPoints)
                c = flat(c);
            if (edge.type == Type::CircularArc) {
                edge.radius *= p.scale;
                hatchArcThrough(p, edge, true);
            } else if (edge.type == Type::EllipticArc) {
                const Vector3d axis =
                    p.k.transform(Vector3d{edge.majorAxis.x, edge.majorAxis.y, 0});
                edge.majorAxis = {axis.x, axis.y, 0};
                hatchArcThrough(p, edge, false);
            }
        }
    }
    for (HatchPatternLine& line : h.patternLines) {
        line.base = flat(line.base);
        const Vector3d offset = p.k.transform(Vector3d{line.offset.x, line.offset.y, 0});
        line.offset = {offset.x, offset.y, 0};
        line.angle = turn(p.angle(line.angle / kDegrees)) * kDegrees;
        for (double& dash : line.dashes)
            dash *= p.scale;
    }
    h.patternAngle = turn(p.angle(h.patternAngle / kDegrees)) * kDegrees;
    h.patternScale *= p.scale;
    h.elevation = at(0, 0).z;
    movePlane(h, p);
    h.tail.clear();  // the groups as read no longer describe it: written from the structure
}

// A multiline text cannot be mirrored: under a mirror it keeps reading forwards, its box
// mirrored, turning its attachment the way that keeps it most upright.
void mtextThrough(const Matrix3d& m, MText& t) {
    const Plane p = planeThrough(m, t.extrusion);
    const Matrix3d toWorld = ocsToWcs(t.extrusion);
    const Vector3d dir =
        norm(t.direction) > 0
            ? t.direction
            : toWorld.transform(Vector3d{std::cos(t.rotation), std::sin(t.rotation), 0});
    Vector3d x = unitOr(m.transform(dir), Vector3d{1, 0, 0});
    if (p.mirrored) {
        const Vector3d up =
            unitOr(m.transform(crossOf(unitOr(t.extrusion, {0, 0, 1}), dir)), Vector3d{0, 1, 0});
        const Vector3d planeUp = ocsToWcs(p.normal).transform(Vector3d{0, 1, 0});
        const int column = (t.attachment - 1) % 3, row = (t.attachment - 1) / 3;
        if (dotOf(up, planeUp) > dotOf(crossOf(p.normal, x), planeUp)) {
            x = Vector3d{-x.x, -x.y, -x.z};  // read along the other way: left and right swap
            t.attachment = row * 3 + (2 - column) + 1;
        } else {  // upside up again: top and bottom swap
            t.attachment = (2 - row) * 3 + column + 1;
        }
    }
    t.position = m.transform(t.position);
    t.direction = x;
    const Vector3d local = wcsToOcs(p.normal).transform(x);
    t.rotation = std::atan2(local.y, local.x);
    t.height *= p.scale;
    t.width *= p.scale;
    movePlane(t, p);
}

// A block reference inside the exploded block: its own transform followed by `m`.
void referenceThrough(const Matrix3d& m, BlockReference& r) {
    const Plane p = planeThrough(m, r.extrusion);
    const double turnBy = p.angle(0.0);
    r.position = p.k.transform(r.position);
    if (p.mirrored) {
        r.rotation = turnBy - r.rotation;
        r.scaleY = -r.scaleY;
    } else {
        r.rotation += turnBy;
    }
    r.scaleX *= p.scale;
    r.scaleY *= p.scale;
    r.scaleZ *= p.scale;
    r.columnSpacing *= p.scale;
    r.rowSpacing *= p.scale;
    r.extrusion = p.normal;
}

void dimensionThrough(const Matrix3d& m, Dimension& d) {
    const Plane p = planeThrough(m, d.extrusion);
    for (Point3d* world : {&d.defPoint, &d.p13, &d.p14, &d.p15, &d.p16})
        *world = m.transform(*world);
    d.textMid = p.k.transform(d.textMid);
    d.insertPoint = p.k.transform(d.insertPoint);
    d.angle = p.angle(d.angle);
    d.textRotation = p.angle(d.textRotation);
    const int type = d.dimType & 0x0F;
    if (type != 2 && type != 5) d.measurement *= p.scale;  // angles stay as they are
    d.leaderLength *= p.scale;
    d.extrusion = p.normal;
}

// A copy of an entity that is in no database yet.
std::unique_ptr<Entity> fresh(std::unique_ptr<Object> o) {
    auto e = std::unique_ptr<Entity>(static_cast<Entity*>(o.release()));
    e->handle = 0;
    e->self = 0;
    e->owner = 0;
    e->readers = 0;
    e->writer = false;
    return e;
}

// A TEXT showing what an attribute shows.
std::unique_ptr<Entity> textFrom(const TextBase& source) {
    auto t = std::make_unique<Text>();
    static_cast<TextBase&>(*t) = source;
    return fresh(std::move(t));
}

// What the copies of a reference's block inherit from the reference.
struct Inherited {
    ObjectIndex layer0 = 0, byBlock = 0;  // layer "0" and line type "ByBlock"
    ObjectIndex layer = 0, linetype = 0;
    std::int16_t color = 256, lineweight = -1;
    std::int32_t trueColor = -1;

    void applyTo(Entity& e) const {
        if (e.layer == 0 || e.layer == layer0) e.layer = layer;
        if (e.color == 0) {
            e.color = color;
            e.trueColor = trueColor;
        }
        if (byBlock && e.linetype == byBlock) e.linetype = linetype;
        if (e.lineweight == -2) e.lineweight = lineweight;
    }
};

// Places copies of entities through one transform.
class Placer {
  public:
    Placer(Database& db, const Matrix3d& m, const Inherited& inherited)
        : db_(db), m_(m), inherited_(inherited) {}

    bool placeable(ObjectIndex i, int depth) const {
        const Object* o = db_.object(i);
        if (o == nullptr || o->erased) return true;  // nothing to place
        switch (o->kind()) {
            case Kind::Line:
            case Kind::Arc:
            case Kind::Circle:
            case Kind::Ellipse:
            case Kind::LwPolyline:
            case Kind::Polyline:
            case Kind::Spline:
            case Kind::Point:
            case Kind::Text:
            case Kind::AttributeDefinition:
            case Kind::MText:
            case Kind::BlockReference:
            case Kind::Solid:
                return true;
            case Kind::Hatch:
                for (const HatchLoop& loop : static_cast<const Hatch&>(*o).loops)
                    for (const HatchEdge& edge : loop.edges)
                        if (edge.type == HatchEdge::Type::Other) return false;
                return true;
            case Kind::Dimension: {
                const auto* block = db_.get<BlockRecord>(static_cast<const Dimension&>(*o).block);
                if (block == nullptr) return true;
                if (depth >= kMaxNesting) return false;
                for (ObjectIndex e : block->entities)
                    if (!placeable(e, depth + 1)) return false;
                return true;
            }
            default:
                return false;
        }
    }

    // A copy of entity `i` placed in `target`; 0 when nothing is placed.
    ObjectIndex place(ObjectIndex i, ObjectIndex target, bool inherit) {
        const Object* o = db_.object(i);
        if (o == nullptr || o->erased) return 0;
        // Attribute definitions are templates: references show their attributes instead.
        if (o->kind() == Kind::AttributeDefinition) return 0;
        std::unique_ptr<Entity> e = fresh(o->clone());
        if (inherit) inherited_.applyTo(*e);
        std::vector<ObjectIndex> children;  // vertices or attributes of the copy
        switch (e->kind()) {
            case Kind::Line: {
                auto& l = static_cast<Line&>(*e);
                const Plane p = planeThrough(m_, l.extrusion);
                l.start = m_.transform(l.start);
                l.end = m_.transform(l.end);
                movePlane(l, p);
                break;
            }
            case Kind::Point: {
                auto& pt = static_cast<PointEntity&>(*e);
                const Plane p = planeThrough(m_, pt.extrusion);
                pt.position = m_.transform(pt.position);
                movePlane(pt, p);
                break;
            }
            case Kind::Circle: {
                auto& c = static_cast<Circle&>(*e);
                const Plane p = planeThrough(m_, c.extrusion);
                c.center = p.k.transform(c.center);
                c.radius *= p.scale;
                movePlane(c, p);
                break;
            }
            case Kind::Arc: {
                auto& a = static_cast<Arc&>(*e);
                const Plane p = planeThrough(m_, a.extrusion);
                a.center = p.k.transform(a.center);
                a.radius *= p.scale;
                arcThrough(p, a.startAngle, a.endAngle);
                movePlane(a, p);
                break;
            }
            case Kind::Ellipse: {
                // The minor axis is the normal across the major one: a mirror turns it round,
                // so the parameters change sign and the ends swap.
                auto& el = static_cast<Ellipse&>(*e);
                el.center = m_.transform(el.center);
                el.majorAxis = m_.transform(el.majorAxis);
                el.extrusion = unitOr(m_.transform(el.extrusion), Vector3d{0, 0, 1});
                if (determinant(m_) < 0) {
                    const double start = -el.endParam, end = -el.startParam;
                    const double shift = start < 0 ? 2 * kPi * std::ceil(-start / (2 * kPi)) : 0;
                    el.startParam = start + shift;
                    el.endParam = end + shift;
                }
                break;
            }
            case Kind::LwPolyline: {
                auto& pl = static_cast<LwPolyline&>(*e);
                const Plane p = planeThrough(m_, pl.extrusion);
                for (LwVertex& v : pl.vertices) {
                    const Point3d q = p.k.transform(Point3d{v.x, v.y, pl.elevation});
                    v.x = q.x;
                    v.y = q.y;
                    v.startWidth *= p.scale;
                    v.endWidth *= p.scale;
                    if (p.mirrored) v.bulge = -v.bulge;
                }
                pl.elevation = p.k.transform(Point3d{0, 0, pl.elevation}).z;
                pl.constantWidth *= p.scale;
                movePlane(pl, p);
                break;
            }
            case Kind::Polyline:
                polylineThrough(static_cast<const Polyline&>(*o), static_cast<Polyline&>(*e),
                                children);
                break;
            case Kind::Spline: {
                auto& s = static_cast<Spline&>(*e);
                for (Point3d& c : s.controlPoints)
                    c = m_.transform(c);
                for (Point3d& c : s.fitPoints)
                    c = m_.transform(c);
                if (s.hasStartTangent) s.startTangent = unitOr(m_.transform(s.startTangent), {});
                if (s.hasEndTangent) s.endTangent = unitOr(m_.transform(s.endTangent), {});
                if (norm(s.normal) > 0) s.normal = unitOr(m_.transform(s.normal), {0, 0, 1});
                break;
            }
            case Kind::Text:
                transformText(static_cast<Text&>(*e), m_);
                break;
            case Kind::MText:
                mtextThrough(m_, static_cast<MText&>(*e));
                break;
            case Kind::Solid: {
                auto& s = static_cast<Solid&>(*e);
                const Plane p = planeThrough(m_, s.extrusion);
                for (Point3d& c : s.corners)
                    c = p.k.transform(c);
                movePlane(s, p);
                break;
            }
            case Kind::Hatch:
                hatchThrough(m_, static_cast<Hatch&>(*e));
                break;
            case Kind::BlockReference: {
                auto& r = static_cast<BlockReference&>(*e);
                referenceThrough(m_, r);
                for (ObjectIndex a : static_cast<const BlockReference&>(*o).attributes) {
                    const auto* attribute = db_.get<Attribute>(a);
                    if (attribute == nullptr || attribute->erased) continue;
                    auto copy = fresh(attribute->clone());
                    transformText(static_cast<Attribute&>(*copy), m_);
                    children.push_back(db_.add(std::move(copy)));
                }
                r.attributes.clear();
                r.seqEnd = 0;
                break;
            }
            case Kind::Dimension: {
                auto& d = static_cast<Dimension&>(*e);
                dimensionThrough(m_, d);
                d.block = geometryThrough(d.block);
                break;
            }
            default:
                return 0;
        }
        const ObjectIndex index = db_.appendEntity(std::move(e), target);
        if (!children.empty() || o->kind() == Kind::Polyline) adopt(index, children);
        return index;
    }

  private:
    void polylineThrough(const Polyline& source, Polyline& copy,
                         std::vector<ObjectIndex>& children) {
        const bool flat = !source.is3d() && !source.isMesh();
        const Plane p = planeThrough(m_, copy.extrusion);
        const double elevation = p.k.transform(Point3d{0, 0, source.elevation}).z;
        for (ObjectIndex vi : source.vertices) {
            const auto* v = db_.get<Vertex>(vi);
            if (v == nullptr || v->erased) continue;
            auto vertex = fresh(v->clone());
            auto& c = static_cast<Vertex&>(*vertex);
            if (flat) {
                c.position = p.k.transform(Point3d{c.position.x, c.position.y, source.elevation});
                c.position.z = elevation;
                c.startWidth *= p.scale;
                c.endWidth *= p.scale;
                if (p.mirrored) c.bulge = -c.bulge;
            } else {
                c.position = m_.transform(c.position);
            }
            children.push_back(db_.add(std::move(vertex)));
        }
        copy.vertices.clear();
        copy.seqEnd = 0;
        if (flat) {
            copy.elevation = elevation;
            copy.startWidth *= p.scale;
            copy.endWidth *= p.scale;
            movePlane(copy, p);
        }
    }

    // Vertices or attributes (added already) become the children of `owner`, closed by a SEQEND.
    void adopt(ObjectIndex owner, const std::vector<ObjectIndex>& children) {
        auto* entity = static_cast<Entity*>(db_.object(owner));
        for (ObjectIndex child : children)
            db_.object(child)->owner = owner;
        auto end = std::make_unique<SeqEnd>();
        end->layer = entity->layer;
        end->owner = owner;
        const ObjectIndex seqEnd = db_.add(std::move(end));
        if (auto* polyline = db_.get<Polyline>(owner)) {
            polyline->vertices = children;
            polyline->seqEnd = seqEnd;
        } else if (auto* reference = db_.get<BlockReference>(owner)) {
            reference->attributes = children;
            reference->seqEnd = seqEnd;
        }
    }

    // A new geometry block holding the old one's picture placed through the transform.
    ObjectIndex geometryThrough(ObjectIndex block) {
        const auto* old = db_.get<BlockRecord>(block);
        if (old == nullptr) return 0;
        const std::vector<ObjectIndex> entities = old->entities;
        const ObjectIndex placed = db_.addAnonymousBlock("*D");
        for (ObjectIndex e : entities)
            place(e, placed, false);
        return placed;
    }

    Database& db_;
    Matrix3d m_;
    Inherited inherited_;
};

}  // namespace

void transformText(TextBase& t, const Matrix3d& m) {
    const Plane p = planeThrough(m, t.extrusion);
    const double c = std::cos(t.rotation), s = std::sin(t.rotation);
    const Vector3d dir = p.k.transform(Vector3d{c, s, 0});
    const Vector3d up = p.k.transform(Vector3d{-s, c, 0});
    const double along = std::hypot(dir.x, dir.y);
    const double cross = dir.x * up.y - dir.y * up.x;
    const double across = along > 0 ? std::fabs(cross) / along : 0.0;
    t.position = p.k.transform(t.position);
    t.alignment = p.k.transform(t.alignment);
    if (across > 0) {
        t.height *= across;
        t.widthFactor *= along / across;
    }
    // Seen mirrored, the text runs backwards from where it starts.
    const bool mirrored = cross < 0;
    t.rotation = mirrored ? std::atan2(-dir.y, -dir.x) : std::atan2(dir.y, dir.x);
    if (mirrored) t.generation ^= 2;
    t.extrusion = p.normal;
    t.thickness *= across;
}

Status explodeReference(Database& db, ObjectIndex reference, std::vector<ObjectIndex>* created) {
    const auto* ref = db.get<BlockReference>(reference);
    if (ref == nullptr || ref->erased) return Status::WrongType;
    const auto* block = db.get<BlockRecord>(ref->block);
    if (block == nullptr || block->erased || !block->xrefPath.empty() || ref->columns > 1 ||
        ref->rows > 1 || ref->block == ref->owner || !db.get<BlockRecord>(ref->owner))
        return Status::NotApplicable;
    const double scale = std::fabs(ref->scaleX);
    const auto same = [&](double s) { return std::fabs(std::fabs(s) - scale) <= 1e-9 * scale; };
    if (!(scale > 0) || !same(ref->scaleY) || !same(ref->scaleZ)) return Status::NotApplicable;

    Inherited inherited;
    inherited.layer0 = db.layer0();
    inherited.byBlock = db.findLinetype("ByBlock");
    inherited.layer = ref->layer ? ref->layer : db.layer0();
    inherited.linetype = ref->linetype;
    inherited.color = ref->color;
    inherited.trueColor = ref->trueColor;
    inherited.lineweight = ref->lineweight;
    Placer placer(db, blockTransform(db, *ref), inherited);
    const std::vector<ObjectIndex> entities = block->entities;
    for (ObjectIndex e : entities)
        if (!placer.placeable(e, 0)) return Status::NotApplicable;

    const ObjectIndex owner = ref->owner;
    std::vector<ObjectIndex> made;
    for (ObjectIndex e : entities)
        if (const ObjectIndex copy = placer.place(e, owner, true)) made.push_back(copy);
    // Attributes stand where the reference shows them already: each becomes a text there.
    for (ObjectIndex a : std::vector<ObjectIndex>(ref->attributes)) {
        const auto* attribute = db.get<Attribute>(a);
        if (attribute == nullptr || attribute->erased || (attribute->attribFlags & 1)) continue;
        auto text = textFrom(*attribute);
        inherited.applyTo(*text);
        if (const ObjectIndex copy = db.appendEntity(std::move(text), owner)) made.push_back(copy);
    }
    db.erase(reference);
    if (created) *created = std::move(made);
    return Status::Ok;
}

}  // namespace qkshost::drawing
