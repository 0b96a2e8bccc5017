#include "qkshost/drawing/creation.h"

#include "qkshost/drawing/geometry.h"
#include "qkshost/drawing/transform.h"

namespace qkshost::drawing {

ObjectIndex ensureLayer(Database& db, std::string_view name, int colorIndex) {
    ObjectIndex l = 0;
    Status st = db.addLayer(name, colorIndex, &l);
    return (st == Status::Ok || st == Status::Duplicate) ? l : 0;
}

namespace {
ObjectIndex place(Database& db, ObjectIndex block, std::unique_ptr<Entity> e,
                  std::string_view layer) {
    e->layer = layer.empty() ? db.layer0() : ensureLayer(db, layer, 7);
    if (!e->layer) return 0;
    return db.appendEntity(std::move(e), block);
}
ObjectIndex styleOr(Database& db, ObjectIndex style) {
    if (db.get<TextStyleRecord>(style)) return style;
    if (db.get<TextStyleRecord>(db.currentTextStyle)) return db.currentTextStyle;
    return db.findTextStyle("Standard");
}
}  // namespace

ObjectIndex addLwPolyline(Database& db, ObjectIndex block, const std::vector<Point3d>& points,
                          bool closed, std::string_view layer) {
    auto p = std::make_unique<LwPolyline>();
    for (auto& q : points)
        p->vertices.push_back({q.x, q.y, 0, 0, 0});
    if (!points.empty()) p->elevation = points.front().z;
    p->flags = closed ? 1 : 0;
    return place(db, block, std::move(p), layer);
}

ObjectIndex addText(Database& db, ObjectIndex block, const Point3d& position, double height,
                    std::string_view text, double rotation, ObjectIndex style,
                    std::string_view layer) {
    auto t = std::make_unique<Text>();
    t->position = position;
    t->height = height;
    t->text = std::string(text);
    t->rotation = rotation;
    t->style = styleOr(db, style);
    return place(db, block, std::move(t), layer);
}

ObjectIndex addMText(Database& db, ObjectIndex block, const Point3d& position,
                     std::string_view contents, double height, double width, int attachment,
                     ObjectIndex style, std::string_view layer) {
    auto m = std::make_unique<MText>();
    m->position = position;
    m->text = std::string(contents);
    m->height = height;
    m->width = width;
    m->attachment = (attachment >= 1 && attachment <= 9) ? attachment : 1;
    m->style = styleOr(db, style);
    return place(db, block, std::move(m), layer);
}

ObjectIndex addBlockReference(Database& db, ObjectIndex block, ObjectIndex blockRecord,
                              const Point3d& position, double scaleX, double scaleY, double scaleZ,
                              double rotation) {
    auto* rec = db.get<BlockRecord>(blockRecord);
    if (!rec || rec->isLayout()) return 0;
    auto r = std::make_unique<BlockReference>();
    r->block = blockRecord;
    r->position = position;
    r->scaleX = scaleX;
    r->scaleY = scaleY;
    r->scaleZ = scaleZ;
    r->rotation = rotation;
    r->layer = db.get<LayerRecord>(db.currentLayer) ? db.currentLayer : db.layer0();
    ObjectIndex ri = db.appendEntity(std::move(r), block);
    if (ri) addAttributes(db, ri);
    return ri;
}

void addAttributes(Database& db, ObjectIndex reference,
                   const std::vector<std::pair<std::string, std::string>>& values) {
    auto* ref = db.get<BlockReference>(reference);
    const auto* rec = ref ? db.get<BlockRecord>(ref->block) : nullptr;
    if (rec == nullptr) return;
    const Matrix3d m = blockTransform(db, *ref);
    for (ObjectIndex e : rec->entities) {
        const auto* d = db.get<AttributeDefinition>(e);
        if (d == nullptr || d->erased || (d->attribFlags & 2)) continue;  // constant: shown as is
        auto a = std::make_unique<Attribute>();
        static_cast<TextBase&>(*a) = static_cast<const TextBase&>(*d);
        a->handle = 0;
        a->self = 0;
        a->readers = 0;
        a->writer = false;
        a->xdata.clear();
        a->xdataApplications.clear();
        a->tag = d->tag;
        a->attribFlags = d->attribFlags;
        a->fieldLength = d->fieldLength;
        a->lockPosition = d->lockPosition;
        for (const auto& [tag, value] : values)
            if (equalsNoCase(tag, d->tag)) a->text = value;
        transformText(*a, m);
        a->owner = reference;
        const ObjectIndex ai = db.add(std::move(a));
        db.get<BlockReference>(reference)->attributes.push_back(ai);
    }
    ref = db.get<BlockReference>(reference);
    if (ref->attributes.empty() || ref->seqEnd) return;
    auto se = std::make_unique<SeqEnd>();
    se->layer = ref->layer;
    se->owner = reference;
    ref->seqEnd = db.add(std::move(se));
}

ObjectIndex ensureTextStyle(Database& db, std::string_view name, const FontDescription& font) {
    ObjectIndex s = 0;
    Status st = db.addTextStyle(name, font.fontFile, &s);
    if (st == Status::Duplicate) return s;
    if (st != Status::Ok) return 0;
    auto* r = db.get<TextStyleRecord>(s);
    r->typeface = font.typeface;
    r->bold = font.bold;
    r->italic = font.italic;
    r->charset = font.charset;
    r->pitchAndFamily = font.pitchAndFamily;
    return s;
}

}  // namespace qkshost::drawing
