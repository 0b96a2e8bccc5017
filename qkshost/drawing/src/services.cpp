#include "qkshost/drawing/services.h"

#include "qkshost/drawing/blockops.h"
#include "qkshost/drawing/creation.h"
#include "qkshost/drawing/geometry.h"
#include "qkshost/drawing/selection.h"

#include <cmath>

namespace qkshost::drawing {

host::Status toHostStatus(Status s) {
    switch (s) {
        case Status::Ok:
            return host::Status::Ok;
        case Status::NotFound:
            return host::Status::NotFound;
        case Status::InvalidInput:
            return host::Status::InvalidInput;
        case Status::ReadError:
            return host::Status::ReadError;
        case Status::WriteError:
            return host::Status::WriteError;
        case Status::WrongType:
            return host::Status::WrongType;
        case Status::Duplicate:
            return host::Status::Duplicate;
        case Status::WasOpenForWrite:
        case Status::NotOpen:
            return host::Status::NotApplicable;
    }
    return host::Status::Failed;
}

namespace {
host::DatabaseId idOf(const Database& db) {
    return host::DatabaseId{db.serial()};
}
}  // namespace

host::DatabaseId DrawingStore::createDatabase(bool withDefaultDrawing) {
    return adopt(std::make_unique<Database>(withDefaultDrawing));
}

host::DatabaseId DrawingStore::adopt(std::unique_ptr<Database> db) {
    if (!db) return {};
    host::DatabaseId id = idOf(*db);
    databases_[id.value] = std::move(db);
    return id;
}

void DrawingStore::deleteDatabase(host::DatabaseId id) {
    databases_.erase(id.value);
}

Database* DrawingStore::database(host::DatabaseId id) const {
    auto it = databases_.find(id.value);
    return it == databases_.end() ? nullptr : it->second.get();
}

host::DatabaseId DrawingStore::databaseOf(host::ObjectId object) const {
    Ref r = resolve(object);
    return r.db ? idOf(*r.db) : host::DatabaseId{};
}

DrawingStore::Ref DrawingStore::resolve(host::ObjectId id) const {
    Ref r;
    r.db = database(host::DatabaseId{std::uint32_t(id.value >> 32)});
    if (!r.db) return r;
    r.index = r.db->indexOf(id);
    Object* o = r.db->object(r.index);
    if (o && !o->erased) r.object = o;
    return r;
}

host::Status DrawingStore::readDrawingFile(host::DatabaseId id, const std::string& path,
                                           std::string* message) {
    Database* db = database(id);
    if (!db) return host::Status::NotFound;
    ReadResult r = readDxfFile(*db, path);
    if (message) *message = r.message;
    return toHostStatus(r.status);
}

host::Status DrawingStore::saveDatabase(host::DatabaseId id, const std::string& path,
                                        std::string* writtenPath, std::string* message) {
    Database* db = database(id);
    if (!db) return host::Status::NotFound;
    return toHostStatus(saveDxf(*db, path, writtenPath, message));
}

host::ObjectId DrawingStore::modelSpace(host::DatabaseId id) const {
    Database* db = database(id);
    return db ? db->idOf(db->modelSpace()) : host::ObjectId{};
}

host::ObjectId DrawingStore::findBlock(host::DatabaseId id, std::string_view name) const {
    Database* db = database(id);
    return db ? db->idOf(db->findBlock(name)) : host::ObjectId{};
}

std::vector<host::ObjectId> DrawingStore::blockEntities(host::ObjectId blockRecord) const {
    std::vector<host::ObjectId> out;
    Database* db = nullptr;
    auto* rec = as<BlockRecord>(blockRecord, &db);
    if (!rec) return out;
    out.reserve(rec->entities.size());
    for (ObjectIndex i : rec->entities)
        if (Object* o = db->object(i); o && !o->erased) out.push_back(db->idOf(i));
    return out;
}

std::vector<host::ObjectId> DrawingStore::layers(host::DatabaseId id) const {
    std::vector<host::ObjectId> out;
    if (Database* db = database(id))
        for (ObjectIndex i : db->layers())
            if (!db->object(i)->erased) out.push_back(db->idOf(i));
    return out;
}

host::ObjectId DrawingStore::findLayer(host::DatabaseId id, std::string_view name) const {
    Database* db = database(id);
    return db ? db->idOf(db->findLayer(name)) : host::ObjectId{};
}

host::Status DrawingStore::addLayer(host::DatabaseId id, std::string_view name, int colorIndex,
                                    host::ObjectId* out) {
    Database* db = database(id);
    if (!db) return host::Status::NotFound;
    ObjectIndex l = 0;
    Status st = db->addLayer(name, colorIndex, &l);
    if (out) *out = db->idOf(l);
    return toHostStatus(st);
}

host::ObjectId DrawingStore::findTextStyle(host::DatabaseId id, std::string_view name) const {
    Database* db = database(id);
    return db ? db->idOf(db->findTextStyle(name)) : host::ObjectId{};
}

host::Status DrawingStore::addTextStyle(host::DatabaseId id, const host::TextStyleSpec& style,
                                        host::ObjectId* out) {
    Database* db = database(id);
    if (!db) return host::Status::NotFound;
    ObjectIndex s = 0;
    Status st = db->addTextStyle(style.name, style.fontFile, &s);
    if (st == Status::Ok) {
        auto* r = db->get<TextStyleRecord>(s);
        r->typeface = style.typeface;
        r->bold = style.bold;
        r->italic = style.italic;
        r->charset = style.characterSet;
        r->pitchAndFamily = style.pitchAndFamily;
    }
    if (out) *out = db->idOf(s);
    return toHostStatus(st);
}

std::string DrawingStore::symbolName(host::ObjectId record) const {
    auto* r = as<SymbolRecord>(record);
    return r ? r->name : std::string();
}

host::Status DrawingStore::renameSymbol(host::ObjectId record, std::string_view newName) {
    Ref r = resolve(record);
    if (!r.object) return host::Status::NotFound;
    return toHostStatus(r.db->rename(r.index, newName));
}

host::ObjectId DrawingStore::objectIdFromHandle(host::DatabaseId id,
                                                std::string_view handleText) const {
    Database* db = database(id);
    return db ? db->idOf(db->indexFromHandleText(handleText)) : host::ObjectId{};
}

host::Status DrawingStore::entityInfo(host::ObjectId entity, host::EntityInfo& info) const {
    Database* db = nullptr;
    auto* e = as<Entity>(entity, &db);
    if (!e) return host::Status::WrongType;
    using T = host::EntityType;
    switch (e->kind()) {
        case Kind::Line:
            info.type = T::Line;
            break;
        case Kind::Arc:
            info.type = T::Arc;
            break;
        case Kind::Circle:
            info.type = T::Circle;
            break;
        case Kind::Ellipse:
            info.type = T::Ellipse;
            break;
        case Kind::LwPolyline:
            info.type = T::LwPolyline;
            break;
        case Kind::Polyline:
            info.type = static_cast<Polyline*>(e)->is3d() ? T::Polyline3d : T::Polyline2d;
            if (static_cast<Polyline*>(e)->isMesh()) info.type = T::Other;
            break;
        case Kind::Spline:
            info.type = T::Spline;
            break;
        case Kind::Point:
            info.type = T::Point;
            break;
        case Kind::Text:
            info.type = T::Text;
            break;
        case Kind::MText:
            info.type = T::MText;
            break;
        case Kind::Attribute:
            info.type = T::Attribute;
            break;
        case Kind::AttributeDefinition:
            info.type = T::AttributeDefinition;
            break;
        case Kind::BlockReference:
            info.type = T::BlockReference;
            break;
        case Kind::Solid:
            info.type = T::Solid;
            break;
        case Kind::Hatch:
            info.type = T::Hatch;
            break;
        case Kind::Dimension:
            info.type = T::Dimension;
            break;
        case Kind::Viewport:
            info.type = T::Viewport;
            break;
        default:
            info.type = T::Other;
            break;
    }
    info.dxfName = e->dxfName();
    info.layer = db->layerName(*e);
    info.handle = Database::handleText(e->handle);
    info.isCurve = isCurve(*e);
    return host::Status::Ok;
}

host::Status DrawingStore::geometricExtents(host::ObjectId entity, Extents3d& extents) const {
    Ref r = resolve(entity);
    if (!r.object) return host::Status::NotFound;
    return toHostStatus(entityExtents(*r.db, r.index, extents));
}

host::Status DrawingStore::curveIsClosed(host::ObjectId curve, bool& closed) const {
    Ref r = resolve(curve);
    if (!r.object) return host::Status::NotFound;
    return toHostStatus(drawing::curveIsClosed(*r.db, r.index, closed));
}

host::Status DrawingStore::curveParameterRange(host::ObjectId curve, double& start,
                                               double& end) const {
    Ref r = resolve(curve);
    if (!r.object) return host::Status::NotFound;
    Status st = curveStartParam(*r.db, r.index, start);
    if (st == Status::Ok) st = curveEndParam(*r.db, r.index, end);
    return toHostStatus(st);
}

host::Status DrawingStore::curvePointAt(host::ObjectId curve, double parameter,
                                        Point3d& point) const {
    Ref r = resolve(curve);
    if (!r.object) return host::Status::NotFound;
    return toHostStatus(curvePointAtParam(*r.db, r.index, parameter, point));
}

host::Status DrawingStore::blockReference(host::ObjectId reference,
                                          host::BlockReferenceInfo& info) const {
    Database* db = nullptr;
    auto* r = as<BlockReference>(reference, &db);
    if (!r) return host::Status::WrongType;
    info.blockRecord = db->idOf(r->block);
    info.blockName = db->blockName(r->block);
    info.position = r->position;
    info.rotation = r->rotation;
    info.scale = {r->scaleX, r->scaleY, r->scaleZ};
    info.transform = blockTransform(*db, *r);
    return host::Status::Ok;
}

std::vector<host::ObjectId> DrawingStore::attributes(host::ObjectId reference) const {
    std::vector<host::ObjectId> out;
    Database* db = nullptr;
    auto* r = as<BlockReference>(reference, &db);
    if (!r) return out;
    for (ObjectIndex a : r->attributes)
        if (Object* o = db->object(a); o && !o->erased) out.push_back(db->idOf(a));
    return out;
}

host::Status DrawingStore::textInfo(host::ObjectId text, host::TextInfo& info) const {
    Ref r = resolve(text);
    if (!r.object) return host::Status::NotFound;
    info = host::TextInfo{};
    if (auto* t = dynamic_cast<TextBase*>(r.object)) {
        info.text = t->text;
        info.position = t->position;
        info.height = t->height;
        info.rotation = t->rotation;
        if (auto* a = dynamic_cast<Attribute*>(t)) info.tag = a->tag;
        if (auto* d = dynamic_cast<AttributeDefinition*>(t)) info.tag = d->tag;
        return host::Status::Ok;
    }
    if (auto* m = dynamic_cast<MText*>(r.object)) {
        info.text = m->text;
        info.position = m->position;
        info.height = m->height;
        Vector3d x = wcsToOcs(m->extrusion).transform(m->direction);
        info.rotation = std::atan2(x.y, x.x);
        return host::Status::Ok;
    }
    return host::Status::WrongType;
}

host::Status DrawingStore::lwPolyline(host::ObjectId polyline, host::LwPolylineInfo& info) const {
    auto* p = as<LwPolyline>(polyline);
    if (!p) return host::Status::WrongType;
    info.closed = p->closed();
    info.vertices.clear();
    Matrix3d m = ocsToWcs(p->extrusion);
    for (auto& v : p->vertices)
        info.vertices.push_back(m.transform(Point3d{v.x, v.y, p->elevation}));
    return host::Status::Ok;
}

host::Status DrawingStore::setTextRotation(host::ObjectId text, double rotation) {
    Ref r = resolve(text);
    if (!r.object) return host::Status::NotFound;
    if (auto* t = dynamic_cast<TextBase*>(r.object)) {
        t->rotation = rotation;
        return host::Status::Ok;
    }
    if (auto* m = dynamic_cast<MText*>(r.object)) {
        m->rotation = rotation;
        m->direction =
            ocsToWcs(m->extrusion).transform(Vector3d{std::cos(rotation), std::sin(rotation), 0});
        return host::Status::Ok;
    }
    return host::Status::WrongType;
}

host::Status DrawingStore::addLwPolyline(host::ObjectId blockRecord,
                                         const std::vector<Point3d>& vertices, bool closed,
                                         std::string_view layer, host::ObjectId* out) {
    Ref r = resolve(blockRecord);
    if (!dynamic_cast<BlockRecord*>(r.object)) return host::Status::WrongType;
    ObjectIndex i = drawing::addLwPolyline(*r.db, r.index, vertices, closed, layer);
    if (out) *out = r.db->idOf(i);
    return i ? host::Status::Ok : host::Status::InvalidInput;
}

host::Status DrawingStore::addText(host::ObjectId blockRecord, const host::TextSpec& text,
                                   host::ObjectId* out) {
    Ref r = resolve(blockRecord);
    if (!dynamic_cast<BlockRecord*>(r.object)) return host::Status::WrongType;
    std::string layer = text.layer;
    if (layer.empty())
        if (auto* cl = r.db->get<LayerRecord>(r.db->currentLayer)) layer = cl->name;
    ObjectIndex i = drawing::addText(*r.db, r.index, text.position, text.height, text.contents,
                                     text.rotation, r.db->indexOf(text.textStyle), layer);
    if (out) *out = r.db->idOf(i);
    return i ? host::Status::Ok : host::Status::InvalidInput;
}

host::Status DrawingStore::addMText(host::ObjectId blockRecord, const host::MTextSpec& text,
                                    host::ObjectId* out) {
    Ref r = resolve(blockRecord);
    if (!dynamic_cast<BlockRecord*>(r.object)) return host::Status::WrongType;
    std::string layer = text.layer;
    if (layer.empty())
        if (auto* cl = r.db->get<LayerRecord>(r.db->currentLayer)) layer = cl->name;
    ObjectIndex i =
        drawing::addMText(*r.db, r.index, text.position, text.contents, text.height, text.width,
                          static_cast<int>(text.attachment), r.db->indexOf(text.textStyle), layer);
    if (out) *out = r.db->idOf(i);
    return i ? host::Status::Ok : host::Status::InvalidInput;
}

host::Status DrawingStore::addBlockReference(host::ObjectId blockRecord,
                                             const host::BlockReferenceSpec& reference,
                                             host::ObjectId* out) {
    Ref r = resolve(blockRecord);
    if (!dynamic_cast<BlockRecord*>(r.object)) return host::Status::WrongType;
    ObjectIndex blk = r.db->indexOf(reference.blockRecord);
    if (!r.db->get<BlockRecord>(blk)) return host::Status::NotFound;
    ObjectIndex i =
        drawing::addBlockReference(*r.db, r.index, blk, reference.position, reference.scale.x,
                                   reference.scale.y, reference.scale.z, reference.rotation);
    if (i && !reference.layer.empty())
        r.db->get<BlockReference>(i)->layer = ensureLayer(*r.db, reference.layer, 7);
    if (out) *out = r.db->idOf(i);
    return i ? host::Status::Ok : host::Status::InvalidInput;
}

host::Status DrawingStore::insertDatabaseAsBlock(host::DatabaseId target,
                                                 std::string_view blockName,
                                                 host::DatabaseId source, host::ObjectId* block,
                                                 int* notCarried) {
    Database* t = database(target);
    Database* s = database(source);
    if (!t || !s) return host::Status::NotFound;
    ObjectIndex b = 0;
    CopyReport report;
    Status st = insertAsBlock(*t, *s, blockName, &b, &report);
    if (block) *block = t->idOf(b);
    if (notCarried) *notCarried = report.notCarried;
    return toHostStatus(st);
}

host::Status DrawingStore::writeBlockOut(const std::vector<host::ObjectId>& objects,
                                         const Point3d& basePoint, host::DatabaseId* result) {
    if (result) *result = {};
    if (objects.empty()) return host::Status::InvalidInput;
    Database* db = resolve(objects.front()).db;
    if (!db) return host::Status::NotFound;
    std::vector<ObjectIndex> ids;
    for (auto id : objects)
        if (resolve(id).db == db) ids.push_back(db->indexOf(id));
    std::unique_ptr<Database> out;
    Status st = drawing::writeBlockOut(*db, ids, basePoint, out);
    if (st != Status::Ok) return toHostStatus(st);
    host::DatabaseId id = adopt(std::move(out));
    if (result) *result = id;
    return host::Status::Ok;
}

bool DrawingStore::selectByLine(host::DatabaseId id, std::string_view line,
                                std::vector<host::ObjectId>& selection,
                                std::string* message) const {
    selection.clear();
    Database* db = database(id);
    if (!db) return false;
    SelectionResult r;
    Status st = evaluateSelection(*db, line, r);
    if (message) *message = r.message;
    if (st != Status::Ok || r.cancelled) return false;
    for (ObjectIndex i : r.entities)
        selection.push_back(db->idOf(i));
    return !selection.empty();
}

std::vector<host::LayoutInfo> DrawingStore::layouts(host::DatabaseId id) const {
    std::vector<host::LayoutInfo> out;
    Database* db = database(id);
    if (!db) return out;
    for (ObjectIndex li : db->layouts()) {
        auto* l = db->get<Layout>(li);
        if (!l || l->erased) continue;
        out.push_back({db->idOf(li), l->name, l->isModel(), db->idOf(l->block)});
    }
    return out;
}

std::string DrawingStore::activeLayoutName(host::DatabaseId id) const {
    Database* db = database(id);
    if (!db) return {};
    auto* l = db->get<Layout>(db->activeLayout());
    return l ? l->name : std::string();
}

host::Status DrawingStore::setCurrentLayout(host::ObjectId layout) {
    Ref r = resolve(layout);
    if (!dynamic_cast<Layout*>(r.object)) return host::Status::NotFound;
    return toHostStatus(r.db->setCurrentLayout(r.index));
}

host::Status DrawingStore::setCurrentLayoutByName(host::DatabaseId id, std::string_view name) {
    Database* db = database(id);
    if (!db) return host::Status::NotFound;
    return toHostStatus(db->setCurrentLayout(name));
}

host::Status DrawingStore::getPlotSettings(host::ObjectId layout, host::PlotSettings& s) const {
    auto* l = as<Layout>(layout);
    if (!l) return host::Status::NotFound;
    const PlotSettings& p = l->plot;
    s.device = p.device;
    s.media = p.media;
    s.styleSheet = p.styleSheet;
    s.paperWidth = p.paperWidth;
    s.paperHeight = p.paperHeight;
    s.paperUnits = static_cast<host::PaperUnits>(p.paperUnits);
    s.marginLeft = p.marginLeft;
    s.marginBottom = p.marginBottom;
    s.marginRight = p.marginRight;
    s.marginTop = p.marginTop;
    s.plotType = static_cast<host::PlotType>(p.plotType);
    s.windowMinX = p.windowMinX;
    s.windowMinY = p.windowMinY;
    s.windowMaxX = p.windowMaxX;
    s.windowMaxY = p.windowMaxY;
    s.useStandardScale = p.useStandardScale();
    s.standardScaleType = p.standardScaleType;
    s.customNumerator = p.numerator;
    s.customDenominator = p.denominator;
    s.centered = p.centered();
    s.originX = p.originX;
    s.originY = p.originY;
    s.rotation = p.rotation;
    return host::Status::Ok;
}

host::Status DrawingStore::setPlotSettings(host::ObjectId layout, const host::PlotSettings& s) {
    auto* l = as<Layout>(layout);
    if (!l) return host::Status::NotFound;
    if (s.rotation < 0 || s.rotation > 3 || static_cast<int>(s.plotType) < 0 ||
        static_cast<int>(s.plotType) > 5 || static_cast<int>(s.paperUnits) < 0 ||
        static_cast<int>(s.paperUnits) > 2)
        return host::Status::InvalidInput;
    PlotSettings& p = l->plot;
    p.device = s.device;
    p.media = s.media;
    p.styleSheet = s.styleSheet;
    p.paperWidth = s.paperWidth;
    p.paperHeight = s.paperHeight;
    p.paperUnits = static_cast<int>(s.paperUnits);
    p.marginLeft = s.marginLeft;
    p.marginBottom = s.marginBottom;
    p.marginRight = s.marginRight;
    p.marginTop = s.marginTop;
    p.plotType = static_cast<int>(s.plotType);
    p.windowMinX = s.windowMinX;
    p.windowMinY = s.windowMinY;
    p.windowMaxX = s.windowMaxX;
    p.windowMaxY = s.windowMaxY;
    p.setUseStandardScale(s.useStandardScale);
    p.standardScaleType = s.standardScaleType;
    p.numerator = s.customNumerator;
    p.denominator = s.customDenominator;
    p.setCentered(s.centered);
    p.originX = s.originX;
    p.originY = s.originY;
    p.rotation = s.rotation;
    return host::Status::Ok;
}

}  // namespace qkshost::drawing
