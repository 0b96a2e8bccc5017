// The DWG adapter: entities placed in their blocks with what they own (attributes, vertices)
// and what they point to.
#include "adapter.h"

namespace qkshost::dwg::detail {

void Adapter::place(const Record& r, dr::ObjectIndex block) {
    if (dr::ObjectIndex e = entity(r, block))
        db_.get<dr::BlockRecord>(block)->entities.push_back(e);
}

void Adapter::common(const Record& r, dr::Entity& e) {
    const EntityCommon& c = r.entity;
    e.handle = r.common.handle;
    dr::ObjectIndex l = index(c.layer);
    e.layer = db_.get<dr::LayerRecord>(l) ? l : 0;
    if (c.linetype) {
        dr::ObjectIndex t = index(c.linetype);
        auto* rec = db_.get<dr::LinetypeRecord>(t);
        e.linetype = rec && !dr::equalsNoCase(rec->name, "ByLayer") ? t : 0;
    } else if (c.linetypeFlags == 1) {
        e.linetype = db_.findLinetype("ByBlock");
    } else if (c.linetypeFlags == 2) {
        e.linetype = db_.findLinetype("Continuous");
    }
    int color = c.color.index;
    e.color = std::int16_t(color < -257 || color > 257 ? 256 : color);
    e.trueColor = c.color.rgb;
    e.lineweight = std::int16_t(std::max(-3, std::min(211, c.lineweight)));
    e.linetypeScale = c.linetypeScale;
    e.invisible = c.invisible;
}

dr::ObjectIndex Adapter::own(std::unique_ptr<dr::Entity> e, dr::ObjectIndex owner) {
    if (!e->layer) e->layer = db_.layer0() ? db_.layer0() : db_.findLayer("0");
    e->owner = owner;
    if (e->handle && (index(e->handle) || claimed_.count(e->handle))) e->handle = 0;
    return db_.add(std::move(e));
}

// One entity of a block; 0 when it is not taken over (counted as skipped).
dr::ObjectIndex Adapter::entity(const Record& r, dr::ObjectIndex block) {
    ConvertedEntity converted = converter_.convert(r, block);
    if (!converted.entity) {
        // A block's own BLOCK and ENDBLK are taken over with its record, not as entities.
        if (!std::holds_alternative<BlockBegin>(r.data) &&
            !std::holds_alternative<BlockEnd>(r.data))
            ++skipped_.entities;
        return 0;
    }
    const EntityLinks& links = converted.links;
    common(r, *converted.entity);
    dr::ObjectIndex i = own(std::move(converted.entity), block);
    if (db_.get<dr::BlockReference>(i)) {
        pendingBlock_.push_back({i, links.block});
        attributes(i, links);
    } else if (db_.get<dr::Polyline>(i)) {
        vertices(i, links);
    } else if (auto* dim = db_.get<dr::Dimension>(i)) {
        dr::ObjectIndex s = index(links.dimStyle);
        dim->dimStyle = db_.get<dr::DimStyleRecord>(s) ? s : db_.findDimStyle("Standard");
        pendingBlock_.push_back({i, links.block});
    } else if (auto* vp = db_.get<dr::Viewport>(i)) {
        frozenLayers(*vp, links);
    }
    return i;
}

// The attributes of reference `i`, and its SEQEND when it has any.
void Adapter::attributes(dr::ObjectIndex i, const EntityLinks& links) {
    for (Handle h : links.members)
        if (const Record* a = d_.find(h))
            if (auto* t = std::get_if<TextRec>(&a->data)) {
                auto e = converter_.makeText<dr::Attribute>(*t);
                e->tag = t->tag;
                e->attribFlags = t->attribFlags;
                e->fieldLength = t->fieldLength;
                e->lockPosition = t->lockPosition;
                common(*a, *e);
                dr::ObjectIndex ai = own(std::move(e), i);
                db_.get<dr::BlockReference>(i)->attributes.push_back(ai);
            }
    if (!db_.get<dr::BlockReference>(i)->attributes.empty())
        db_.get<dr::BlockReference>(i)->seqEnd = seq(links.seqEnd, i);
}

// The vertices of polyline `i`, and its SEQEND.
void Adapter::vertices(dr::ObjectIndex i, const EntityLinks& links) {
    for (Handle h : links.members)
        if (const Record* v = d_.find(h))
            if (auto* x = std::get_if<VertexRec>(&v->data)) {
                auto e = std::make_unique<dr::Vertex>();
                e->position = pt(x->position);
                e->startWidth = x->startWidth;
                e->endWidth = x->endWidth;
                e->bulge = x->bulge;
                e->tangent = x->tangent;
                e->flags = x->flags;
                std::copy(std::begin(x->faces), std::end(x->faces), std::begin(e->faces));
                common(*v, *e);
                dr::ObjectIndex vi = own(std::move(e), i);
                db_.get<dr::Polyline>(i)->vertices.push_back(vi);
            }
    db_.get<dr::Polyline>(i)->seqEnd = seq(links.seqEnd, i);
}

// The layers frozen in the viewport that exist, each once.
void Adapter::frozenLayers(dr::Viewport& vp, const EntityLinks& links) {
    for (Handle h : links.frozenLayers) {
        dr::ObjectIndex l = index(h);
        if (db_.get<dr::LayerRecord>(l) &&
            std::find(vp.frozenLayers.begin(), vp.frozenLayers.end(), l) == vp.frozenLayers.end())
            vp.frozenLayers.push_back(l);
    }
}

dr::ObjectIndex Adapter::seq(Handle h, dr::ObjectIndex owner) {
    auto s = std::make_unique<dr::SeqEnd>();
    if (const Record* r = d_.find(h)) common(*r, *s);
    return own(std::move(s), owner);
}

}  // namespace qkshost::dwg::detail
