#include "qkshost/drawing/blockops.h"

#include <cctype>
#include <unordered_map>

namespace qkshost::drawing {

std::string CopyReport::warning() const {
    if (notCarried <= 0) return {};
    return std::to_string(notCarried) +
           " entities of types that cannot be copied to another drawing were left out";
}

namespace {

// Copies objects of one database into another, mapping every record it meets once.
class Copier {
  public:
    Copier(const Database& src, Database& dst, CopyReport& report)
        : src_(src), dst_(dst), report_(report) {}

    void copyEntity(ObjectIndex i, ObjectIndex dstBlock) {
        const Object* o = src_.object(i);
        if (!o || o->erased || !o->isEntity()) return;
        switch (o->kind()) {
            case Kind::Vertex:
            case Kind::SeqEnd:
            case Kind::Attribute:
                return;  // copied with their owner
            case Kind::UnknownEntity:
                if (static_cast<const UnknownEntity&>(*o).hasPointers) {
                    ++report_.notCarried;
                    return;
                }
                break;
            default:
                break;
        }
        std::unique_ptr<Entity> e = cloneEntity(*o);
        switch (o->kind()) {
            case Kind::Text:
            case Kind::AttributeDefinition: {
                auto& t = static_cast<TextBase&>(*e);
                t.style = textStyle(t.style);
                break;
            }
            case Kind::MText: {
                auto& t = static_cast<MText&>(*e);
                t.style = textStyle(t.style);
                break;
            }
            case Kind::BlockReference: {
                auto& r = static_cast<BlockReference&>(*e);
                r.block = block(r.block);
                r.attributes.clear();
                r.seqEnd = 0;
                break;
            }
            case Kind::Dimension: {
                auto& d = static_cast<Dimension&>(*e);
                d.block = block(d.block);
                d.dimStyle = dimStyle(d.dimStyle);
                break;
            }
            case Kind::Polyline: {
                auto& p = static_cast<Polyline&>(*e);
                p.vertices.clear();
                p.seqEnd = 0;
                break;
            }
            default:
                break;
        }
        ObjectIndex ni = dst_.appendEntity(std::move(e), dstBlock);
        if (!ni) return;
        ++report_.copied;
        if (o->kind() == Kind::BlockReference) {
            auto& sr = static_cast<const BlockReference&>(*o);
            for (ObjectIndex a : sr.attributes) {
                const Object* ao = src_.object(a);
                if (!ao || ao->erased) continue;
                auto c = cloneEntity(*ao);
                auto& t = static_cast<TextBase&>(*c);
                t.style = textStyle(t.style);
                ObjectIndex na = addOwned(std::move(c), ni);
                dst_.get<BlockReference>(ni)->attributes.push_back(na);
            }
            if (!sr.attributes.empty())
                dst_.get<BlockReference>(ni)->seqEnd = addOwned(seqEnd(sr.seqEnd), ni);
        } else if (o->kind() == Kind::Polyline) {
            auto& sp = static_cast<const Polyline&>(*o);
            for (ObjectIndex v : sp.vertices) {
                const Object* vo = src_.object(v);
                if (!vo || vo->erased) continue;
                ObjectIndex nv = addOwned(cloneEntity(*vo), ni);
                dst_.get<Polyline>(ni)->vertices.push_back(nv);
            }
            dst_.get<Polyline>(ni)->seqEnd = addOwned(seqEnd(sp.seqEnd), ni);
        }
    }

    // Copies the contents of every block mapped so far (and of those they reach).
    void drain() {
        while (!queue_.empty()) {
            auto [s, d] = queue_.back();
            queue_.pop_back();
            auto* sb = src_.get<BlockRecord>(s);
            for (ObjectIndex e : sb->entities)
                copyEntity(e, d);
        }
    }

  private:
    std::unique_ptr<Entity> cloneEntity(const Object& o) {
        std::unique_ptr<Object> c = o.clone();
        auto e = std::unique_ptr<Entity>(static_cast<Entity*>(c.release()));
        e->handle = 0;
        e->readers = 0;
        e->writer = false;
        e->self = 0;
        e->layer = layer(e->layer);
        e->linetype = linetype(e->linetype);
        if (auto* v = dynamic_cast<Viewport*>(e.get()))
            for (ObjectIndex& l : v->frozenLayers)
                l = layer(l);
        for (const std::string& application : e->xdataApplications)
            dst_.ensureAppId(application);
        return e;
    }
    std::unique_ptr<Entity> seqEnd(ObjectIndex s) {
        auto n = std::make_unique<SeqEnd>();
        if (auto* so = src_.get<SeqEnd>(s)) n->layer = layer(so->layer);
        return n;
    }
    ObjectIndex addOwned(std::unique_ptr<Entity> e, ObjectIndex owner) {
        if (!e->layer) e->layer = dst_.layer0();
        e->owner = owner;
        return dst_.add(std::move(e));
    }

    template <class T>
    std::unique_ptr<T> cloneRecord(const T& r) {
        auto c = std::unique_ptr<T>(static_cast<T*>(r.clone().release()));
        c->handle = 0;
        c->readers = 0;
        c->writer = false;
        return c;
    }
    ObjectIndex mapped(ObjectIndex s) const {
        auto it = map_.find(s);
        return it == map_.end() ? 0 : it->second;
    }
    ObjectIndex put(ObjectIndex s, std::unique_ptr<Object> o) {
        ObjectIndex d = dst_.add(std::move(o));
        dst_.addToTable(d);
        map_[s] = d;
        return d;
    }

    ObjectIndex layer(ObjectIndex s) {
        auto* r = src_.get<LayerRecord>(s);
        if (!r) return dst_.layer0();
        if (ObjectIndex d = mapped(s)) return d;
        if (ObjectIndex d = dst_.findLayer(r->name)) return map_[s] = d;
        auto c = cloneRecord(*r);
        c->linetype = linetype(r->linetype);
        return put(s, std::move(c));
    }
    ObjectIndex linetype(ObjectIndex s) {
        auto* r = src_.get<LinetypeRecord>(s);
        if (!r) return 0;
        if (ObjectIndex d = mapped(s)) return d;
        if (ObjectIndex d = dst_.findLinetype(r->name)) return map_[s] = d;
        auto c = cloneRecord(*r);
        for (auto& e : c->elements)
            e.style = textStyle(e.style);
        return put(s, std::move(c));
    }
    ObjectIndex textStyle(ObjectIndex s) {
        auto* r = src_.get<TextStyleRecord>(s);
        if (!r) return dst_.findTextStyle("Standard");
        if (ObjectIndex d = mapped(s)) return d;
        if (ObjectIndex d = dst_.findTextStyle(r->name)) return map_[s] = d;
        return put(s, cloneRecord(*r));
    }
    ObjectIndex dimStyle(ObjectIndex s) {
        auto* r = src_.get<DimStyleRecord>(s);
        if (!r) return dst_.findDimStyle("Standard");
        if (ObjectIndex d = mapped(s)) return d;
        if (ObjectIndex d = dst_.findDimStyle(r->name)) return map_[s] = d;
        auto c = cloneRecord(*r);
        c->textStyle = c->textStyle ? textStyle(c->textStyle) : 0;
        return put(s, std::move(c));
    }
    ObjectIndex block(ObjectIndex s) {
        auto* r = src_.get<BlockRecord>(s);
        if (!r || r->erased || r->isLayout()) return 0;
        if (ObjectIndex d = mapped(s)) return d;
        const std::string& name = r->name;
        if (!r->isAnonymous())
            if (ObjectIndex d = dst_.findBlock(name)) return map_[s] = d;
        ObjectIndex d = 0;
        if (r->isAnonymous() && dst_.findBlock(name)) {
            // anonymous blocks (*D, *U, ...) get a free number of their kind
            std::size_t cut = name.size();
            while (cut > 1 && std::isdigit(static_cast<unsigned char>(name[cut - 1])))
                --cut;
            d = dst_.addAnonymousBlock(std::string_view(name).substr(0, cut));
        } else if (dst_.addBlock(name, &d) != Status::Ok) {
            d = 0;
        }
        if (!d) return 0;
        auto* db = dst_.get<BlockRecord>(d);
        db->base = r->base;
        db->flags = r->flags;
        db->description = r->description;
        db->units = r->units;
        db->explodable = r->explodable;
        db->scalable = r->scalable;
        map_[s] = d;
        queue_.push_back({s, d});
        return d;
    }

    const Database& src_;
    Database& dst_;
    CopyReport& report_;
    std::unordered_map<ObjectIndex, ObjectIndex> map_;
    std::vector<std::pair<ObjectIndex, ObjectIndex>> queue_;
};

}  // namespace

Status insertAsBlock(Database& target, const Database& source, std::string_view name,
                     ObjectIndex* block, CopyReport* report) {
    if (block) *block = 0;
    if (&target == &source) return Status::InvalidInput;
    if (!name.empty() && name[0] == '*') return Status::InvalidInput;
    ObjectIndex nb = 0;
    Status st = target.addBlock(name, &nb);
    if (st != Status::Ok) return st;
    target.get<BlockRecord>(nb)->base = source.insBase;
    CopyReport local;
    Copier copier(source, target, report ? *report : local);
    if (auto* ms = source.get<BlockRecord>(source.modelSpace()))
        for (ObjectIndex e : ms->entities)
            copier.copyEntity(e, nb);
    copier.drain();
    if (block) *block = nb;
    return Status::Ok;
}

Status writeBlockOut(const Database& source, const std::vector<ObjectIndex>& entities,
                     const Point3d& base, std::unique_ptr<Database>& out, CopyReport* report) {
    auto db = std::make_unique<Database>(true);
    db->insBase = base;
    CopyReport local;
    CopyReport& rep = report ? *report : local;
    Copier copier(source, *db, rep);
    for (ObjectIndex i : entities) {
        const Object* o = source.object(i);
        if (!o || o->erased || !o->isEntity() || !source.get<BlockRecord>(o->owner)) continue;
        copier.copyEntity(i, db->modelSpace());
    }
    copier.drain();
    if (rep.copied == 0) return Status::InvalidInput;
    out = std::move(db);
    return Status::Ok;
}

}  // namespace qkshost::drawing
