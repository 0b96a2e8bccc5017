// Turns the decoder's entity records into the drawing kernel's entities, one kind at a time:
// the entity with its own data, and the handles of what it owns or points to (EntityLinks),
// which the Adapter resolves as it places the entity.
#pragma once

#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "conversions.h"

namespace qkshost::dwg::detail {

struct EntityLinks {
    std::vector<Handle> members;  // vertices or attributes
    Handle seqEnd = 0;
    Handle block = 0;                  // the block a reference or dimension shows
    Handle dimStyle = 0;               // of a dimension
    std::vector<Handle> frozenLayers;  // of a viewport
};

struct ConvertedEntity {
    std::unique_ptr<dr::Entity> entity;  // null when the record is not taken over as such
    EntityLinks links;
};

class EntityConverter {
  public:
    explicit EntityConverter(dr::Database& db) : db_(db) {}

    // The record's entity for block record `block`; no entity for records that are not
    // entities of their own (block begin and end, attributes, vertices, kinds not kept).
    ConvertedEntity convert(const Record& r, dr::ObjectIndex block);

    // A text, attribute or attribute definition with the data they share.
    template <class T>
    std::unique_ptr<T> makeText(const TextRec& x) {
        auto e = std::make_unique<T>();
        e->position = pt(x.position);
        e->alignment = pt(x.alignment);
        e->hasAlignment = x.hasAlignment;
        e->height = x.height;
        e->rotation = x.rotation;
        e->widthFactor = x.widthFactor;
        e->oblique = x.oblique;
        e->generation = x.generation;
        e->hAlign = x.hAlign;
        e->vAlign = x.vAlign;
        e->style = style(x.style);
        e->text = x.text;
        planar(*e, x.extrusion, x.thickness);
        return e;
    }

  private:
    static void planar(dr::PlanarEntity& e, const Vec3& extrusion, double thickness) {
        e.extrusion = normal(extrusion);
        e.thickness = thickness;
    }
    // The text style of handle h; Standard (made when missing) for none.
    dr::ObjectIndex style(Handle h);

    std::unique_ptr<dr::Entity> line(const LineRec& x);
    std::unique_ptr<dr::Entity> circle(const CircleRec& x);  // also arcs
    std::unique_ptr<dr::Entity> ellipse(const EllipseRec& x);
    std::unique_ptr<dr::Entity> lwpolyline(const LwPolylineRec& x);
    std::unique_ptr<dr::Entity> polyline(const PolylineRec& x, EntityLinks& links);
    std::unique_ptr<dr::Entity> spline(const SplineRec& x);
    std::unique_ptr<dr::Entity> point(const PointRec& x);
    std::unique_ptr<dr::Entity> solid(const SolidRec& x);
    // Hatch angles are degrees in the database, as drawings keep them for hatches.
    std::unique_ptr<dr::Entity> hatch(const HatchRec& x);
    // TEXT and ATTDEF; an ATTRIB is taken over only through its INSERT.
    std::unique_ptr<dr::Entity> text(const TextRec& x, std::string_view dxfName);
    std::unique_ptr<dr::Entity> mtext(const MTextRec& x);
    std::unique_ptr<dr::Entity> insert(const InsertRec& x, EntityLinks& links);
    std::unique_ptr<dr::Entity> dimension(const DimensionRec& x, EntityLinks& links);
    std::unique_ptr<dr::Entity> viewport(const ViewportRec& x, dr::ObjectIndex block,
                                         EntityLinks& links);

    dr::Database& db_;
    std::unordered_map<dr::ObjectIndex, int> viewports_;  // numbered so far, per block record
};

}  // namespace qkshost::dwg::detail
