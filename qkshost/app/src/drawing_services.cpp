#include "qkshost/app/drawing_services.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "creation_checks.h"
#include "drawing_files.h"
#include "qks/common/plane.h"
#include "qkshost/app/host_application.h"
#include "qkshost/drawing/creation.h"
#include "qkshost/drawing/geometry.h"
#include "qkshost/dxf/dxf.h"
#include "qkshost/pdf/media.h"
#include "qkshost/pdf/plot_style.h"

namespace qkshost {

namespace host = qks::host;
using app::finite;
using app::layerFor;
using drawing::Database;
using drawing::Kind;
using drawing::ObjectIndex;
using qks::kPi;

namespace {

host::EntityType entityTypeOf(const drawing::Object& o) {
    switch (o.kind()) {
        case Kind::Line:
            return host::EntityType::Line;
        case Kind::Arc:
            return host::EntityType::Arc;
        case Kind::Circle:
            return host::EntityType::Circle;
        case Kind::Ellipse:
            return host::EntityType::Ellipse;
        case Kind::LwPolyline:
            return host::EntityType::LwPolyline;
        case Kind::Polyline:
            return static_cast<const drawing::Polyline&>(o).is3d() ? host::EntityType::Polyline3d
                                                                   : host::EntityType::Polyline2d;
        case Kind::Spline:
            return host::EntityType::Spline;
        case Kind::Point:
            return host::EntityType::Point;
        case Kind::Text:
            return host::EntityType::Text;
        case Kind::MText:
            return host::EntityType::MText;
        case Kind::Attribute:
            return host::EntityType::Attribute;
        case Kind::AttributeDefinition:
            return host::EntityType::AttributeDefinition;
        case Kind::BlockReference:
            return host::EntityType::BlockReference;
        case Kind::Solid:
            return host::EntityType::Solid;
        case Kind::Hatch:
            return host::EntityType::Hatch;
        case Kind::Dimension:
            return host::EntityType::Dimension;
        case Kind::Viewport:
            return host::EntityType::Viewport;
        default:
            return host::EntityType::Other;
    }
}

constexpr double kMmPerInch = 25.4;

}  // namespace

host::Status toHostStatus(drawing::Status status) {
    switch (status) {
        case drawing::Status::Ok:
            return host::Status::Ok;
        case drawing::Status::NotFound:
            return host::Status::NotFound;
        case drawing::Status::InvalidInput:
            return host::Status::InvalidInput;
        case drawing::Status::ReadError:
            return host::Status::ReadError;
        case drawing::Status::WriteError:
            return host::Status::WriteError;
        case drawing::Status::WrongType:
            return host::Status::WrongType;
        case drawing::Status::Duplicate:
            return host::Status::Duplicate;
        case drawing::Status::NotApplicable:
            return host::Status::NotApplicable;
        case drawing::Status::Encrypted:
            return host::Status::Encrypted;
        default:
            return host::Status::Failed;
    }
}

HostDrawingServices::HostDrawingServices(HostApplication& app) : app_(app) {}
HostDrawingServices::~HostDrawingServices() = default;

// ---------------------------------------------------------------- databases

Database* HostDrawingServices::database(host::DatabaseId id) const {
    if (!id) return nullptr;
    const auto side = sideDatabases_.find(id.value);
    if (side != sideDatabases_.end()) return side->second.get();
    for (const auto& d : app_.documents())
        if (d->database && d->database->serial() == id.value) return d->database.get();
    return nullptr;
}

Database* HostDrawingServices::resolve(host::ObjectId id, ObjectIndex& index) const {
    Database* db = database(host::DatabaseId{static_cast<std::uint32_t>(id.value >> 32)});
    if (db == nullptr) return nullptr;
    index = db->indexOf(id);
    const drawing::Object* o = db->object(index);
    if (o == nullptr || o->erased) return nullptr;
    return db;
}

host::DatabaseId HostDrawingServices::createDatabase(bool withDefaultDrawing) {
    auto db = std::make_unique<Database>(withDefaultDrawing);
    const host::DatabaseId id{db->serial()};
    sideDatabases_[id.value] = std::move(db);
    return id;
}

void HostDrawingServices::deleteDatabase(host::DatabaseId database) {
    sideDatabases_.erase(database.value);
}

host::Status HostDrawingServices::readDrawingFile(host::DatabaseId id, const std::string& path,
                                                  std::string* message) {
    Database* db = database(id);
    if (db == nullptr) return host::Status::NotFound;
    const drawing::ReadResult result = app::readDrawingFile(*db, path);
    if (message) *message = result.message;
    return toHostStatus(result.status);
}

host::Status HostDrawingServices::saveDatabase(host::DatabaseId id, const std::string& path,
                                               std::string* writtenPath, std::string* message) {
    Database* db = database(id);
    if (db == nullptr) return host::Status::NotFound;
    return toHostStatus(dxf::saveDxf(*db, path, writtenPath, message));
}

host::DatabaseId HostDrawingServices::documentDatabase(host::DocumentId document) {
    const Document* d = app_.findDocument(document);
    return d && d->database ? host::DatabaseId{d->database->serial()} : host::DatabaseId{};
}

host::DatabaseId HostDrawingServices::databaseOf(host::ObjectId object) {
    ObjectIndex index = 0;
    Database* db = resolve(object, index);
    return db ? host::DatabaseId{db->serial()} : host::DatabaseId{};
}

int HostDrawingServices::drawingUnits(host::DatabaseId id) {
    const Database* db = database(id);
    return db ? db->insUnits : 0;
}

host::Status HostDrawingServices::setDrawingUnits(host::DatabaseId id, int insUnits) {
    Database* db = database(id);
    if (db == nullptr) return host::Status::NotFound;
    if (insUnits < 0 || insUnits > 24) return host::Status::InvalidInput;
    db->insUnits = insUnits;
    return host::Status::Ok;
}

// ---------------------------------------------------------------- documents

host::DocumentId HostDrawingServices::openDocument(const std::string& path, std::string* message) {
    std::string error;
    const host::DocumentId id = app_.openDocument(path, error);
    if (message) *message = error;
    return id;
}

host::Status HostDrawingServices::makeDocumentCurrent(host::DocumentId document) {
    return app_.setCurrentDocument(document) ? host::Status::Ok : host::Status::NotFound;
}

host::Status HostDrawingServices::activateDocument(host::DocumentId document) {
    return makeDocumentCurrent(document);
}

host::Status HostDrawingServices::lockDocument(host::DocumentId document) {
    Document* d = app_.findDocument(document);
    if (d == nullptr) return host::Status::NotFound;
    ++d->locks;
    return host::Status::Ok;
}

host::Status HostDrawingServices::unlockDocument(host::DocumentId document) {
    Document* d = app_.findDocument(document);
    if (d == nullptr || d->locks == 0) return host::Status::NotApplicable;
    --d->locks;
    return host::Status::Ok;
}

host::Status HostDrawingServices::closeDocument(host::DocumentId document) {
    return app_.closeDocument(document) ? host::Status::Ok : host::Status::NotFound;
}

// ---------------------------------------------------------------- symbol tables

host::ObjectId HostDrawingServices::modelSpace(host::DatabaseId id) {
    Database* db = database(id);
    return db ? db->idOf(db->modelSpace()) : host::ObjectId{};
}

host::ObjectId HostDrawingServices::findBlock(host::DatabaseId id, std::string_view name) {
    Database* db = database(id);
    return db ? db->idOf(db->findBlock(name)) : host::ObjectId{};
}

std::vector<host::ObjectId> HostDrawingServices::blockEntities(host::ObjectId blockRecord) {
    Database* db = nullptr;
    std::vector<host::ObjectId> ids;
    if (auto* record = resolveAs<drawing::BlockRecord>(blockRecord, db)) {
        ids.reserve(record->entities.size());
        for (ObjectIndex i : record->entities) {
            const drawing::Object* o = db->object(i);
            if (o && !o->erased) ids.push_back(db->idOf(i));
        }
    }
    return ids;
}

host::Status HostDrawingServices::blockBasePoint(host::ObjectId blockRecord, host::Point3d& base) {
    Database* db = nullptr;
    const auto* record = resolveAs<drawing::BlockRecord>(blockRecord, db);
    if (record == nullptr) return db ? host::Status::WrongType : host::Status::NotFound;
    base = record->base;
    return host::Status::Ok;
}

std::vector<host::ObjectId> HostDrawingServices::layers(host::DatabaseId id) {
    std::vector<host::ObjectId> ids;
    if (Database* db = database(id))
        for (ObjectIndex i : db->layers())
            if (db->object(i) && !db->object(i)->erased) ids.push_back(db->idOf(i));
    return ids;
}

host::ObjectId HostDrawingServices::findLayer(host::DatabaseId id, std::string_view name) {
    Database* db = database(id);
    return db ? db->idOf(db->findLayer(name)) : host::ObjectId{};
}

host::Status HostDrawingServices::addLayer(host::DatabaseId id, std::string_view name,
                                           int colorIndex, host::ObjectId* out) {
    Database* db = database(id);
    if (db == nullptr) return host::Status::NotFound;
    ObjectIndex layer = 0;
    const drawing::Status status = db->addLayer(name, colorIndex, &layer);
    if (out) *out = db->idOf(layer);
    return toHostStatus(status);
}

host::Status HostDrawingServices::addLinetype(host::DatabaseId id, std::string_view name,
                                              std::string_view description,
                                              const std::vector<double>& dashes,
                                              host::ObjectId* out) {
    Database* db = database(id);
    if (db == nullptr) return host::Status::NotFound;
    for (double dash : dashes)
        if (!std::isfinite(dash)) return host::Status::InvalidInput;
    ObjectIndex index = 0;
    const drawing::Status status = db->addLinetype(name, &index);
    if (out) *out = db->idOf(index);
    if (status == drawing::Status::Ok) {
        auto* record = db->get<drawing::LinetypeRecord>(index);
        record->description = std::string(description);
        record->flags = 0;
        record->patternLength = 0;
        for (double dash : dashes) {
            drawing::LinetypeElement element;
            element.length = dash;
            record->elements.push_back(element);
            record->patternLength += std::fabs(dash);
        }
    }
    return toHostStatus(status);
}

host::Status HostDrawingServices::setLayerLinetype(host::ObjectId layerId,
                                                   host::ObjectId linetypeId) {
    Database* db = nullptr;
    auto* layer = resolveAs<drawing::LayerRecord>(layerId, db);
    Database* linetypeDb = nullptr;
    auto* linetype = resolveAs<drawing::LinetypeRecord>(linetypeId, linetypeDb);
    if (layer == nullptr || linetype == nullptr) return host::Status::WrongType;
    if (db != linetypeDb) return host::Status::InvalidInput;
    layer->linetype = db->indexOf(linetypeId);
    return host::Status::Ok;
}

host::ObjectId HostDrawingServices::findTextStyle(host::DatabaseId id, std::string_view name) {
    Database* db = database(id);
    return db ? db->idOf(db->findTextStyle(name)) : host::ObjectId{};
}

host::Status HostDrawingServices::addTextStyle(host::DatabaseId id,
                                               const host::TextStyleSpec& style,
                                               host::ObjectId* out) {
    Database* db = database(id);
    if (db == nullptr) return host::Status::NotFound;
    ObjectIndex index = 0;
    const drawing::Status status = db->addTextStyle(style.name, style.fontFile, &index);
    if (out) *out = db->idOf(index);
    if (status == drawing::Status::Ok) {
        auto* record = db->get<drawing::TextStyleRecord>(index);
        record->typeface = style.typeface;
        record->bold = style.bold;
        record->italic = style.italic;
        record->charset = style.characterSet;
        record->pitchAndFamily = style.pitchAndFamily;
    }
    return toHostStatus(status);
}

std::string HostDrawingServices::symbolName(host::ObjectId record) {
    Database* db = nullptr;
    const auto* symbol = resolveAs<drawing::SymbolRecord>(record, db);
    return symbol ? symbol->name : std::string();
}

host::Status HostDrawingServices::renameSymbol(host::ObjectId record, std::string_view newName) {
    ObjectIndex index = 0;
    Database* db = resolve(record, index);
    if (db == nullptr) return host::Status::NotFound;
    return toHostStatus(db->rename(index, newName));
}

host::ObjectId HostDrawingServices::objectIdFromHandle(host::DatabaseId id,
                                                       std::string_view handleText) {
    Database* db = database(id);
    if (db == nullptr) return {};
    const ObjectIndex index = db->indexFromHandleText(handleText);
    const drawing::Object* o = db->object(index);
    return o && !o->erased ? db->idOf(index) : host::ObjectId{};
}

// ---------------------------------------------------------------- entities

host::Status HostDrawingServices::entityInfo(host::ObjectId id, host::EntityInfo& info) {
    Database* db = nullptr;
    const auto* entity = resolveAs<drawing::Entity>(id, db);
    if (entity == nullptr) return db ? host::Status::WrongType : host::Status::NotFound;
    info.type = entityTypeOf(*entity);
    info.dxfName = entity->dxfName();
    info.layer = db->layerName(*entity);
    info.handle = Database::handleText(entity->handle);
    info.isCurve = drawing::isCurve(*entity);
    info.linetype = db->linetypeName(*entity);
    if (drawing::equalsNoCase(info.linetype, "ByLayer")) {
        const auto* layer = db->get<drawing::LayerRecord>(entity->layer);
        const auto* type = layer ? db->get<drawing::LinetypeRecord>(layer->linetype) : nullptr;
        info.linetype = type ? type->name : "Continuous";
    }
    return host::Status::Ok;
}

host::EntityType HostDrawingServices::entityType(host::ObjectId id) {
    ObjectIndex index = 0;
    Database* db = resolve(id, index);
    const drawing::Object* object = db ? db->object(index) : nullptr;
    return object && object->isEntity() ? entityTypeOf(*static_cast<const drawing::Entity*>(object))
                                        : host::EntityType::Other;
}

host::Status HostDrawingServices::geometricExtents(host::ObjectId id, host::Extents3d& extents) {
    ObjectIndex index = 0;
    Database* db = resolve(id, index);
    if (db == nullptr) return host::Status::NotFound;
    host::Extents3d box;
    const host::Status status = toHostStatus(drawing::entityExtents(*db, index, box));
    if (status == host::Status::Ok) extents = box;
    return status;
}

host::Status HostDrawingServices::curveIsClosed(host::ObjectId id, bool& closed) {
    ObjectIndex index = 0;
    Database* db = resolve(id, index);
    if (db == nullptr) return host::Status::NotFound;
    return toHostStatus(drawing::curveIsClosed(*db, index, closed));
}

host::Status HostDrawingServices::curveParameterRange(host::ObjectId id, double& start,
                                                      double& end) {
    ObjectIndex index = 0;
    Database* db = resolve(id, index);
    if (db == nullptr) return host::Status::NotFound;
    double s = 0, e = 0;
    drawing::Status status = drawing::curveStartParam(*db, index, s);
    if (status == drawing::Status::Ok) status = drawing::curveEndParam(*db, index, e);
    if (status != drawing::Status::Ok) return toHostStatus(status);
    start = s;
    end = e;
    return host::Status::Ok;
}

host::Status HostDrawingServices::curvePointAt(host::ObjectId id, double parameter,
                                               host::Point3d& point) {
    ObjectIndex index = 0;
    Database* db = resolve(id, index);
    if (db == nullptr) return host::Status::NotFound;
    return toHostStatus(drawing::curvePointAtParam(*db, index, parameter, point));
}

host::Status HostDrawingServices::curvePoints(host::ObjectId id, double chordError,
                                              std::vector<host::Point3d>& points, bool& closed) {
    ObjectIndex index = 0;
    Database* db = resolve(id, index);
    if (db == nullptr) return host::Status::NotFound;
    return toHostStatus(drawing::curvePoints(*db, index, chordError, points, closed));
}

host::Status HostDrawingServices::blockReference(host::ObjectId id,
                                                 host::BlockReferenceInfo& info) {
    Database* db = nullptr;
    const auto* ref = resolveAs<drawing::BlockReference>(id, db);
    if (ref == nullptr) return db ? host::Status::WrongType : host::Status::NotFound;
    info.blockRecord = db->idOf(ref->block);
    info.blockName = db->blockName(ref->block);
    info.position = ref->position;
    info.rotation = ref->rotation;
    info.scale = {ref->scaleX, ref->scaleY, ref->scaleZ};
    info.transform = drawing::blockTransform(*db, *ref);
    info.columns = std::max(1, ref->columns);
    info.rows = std::max(1, ref->rows);
    const host::Matrix3d steps =
        drawing::ocsToWcs(ref->extrusion) * host::Matrix3d::rotationZ(ref->rotation);
    info.columnStep = steps.transform(host::Vector3d{ref->columnSpacing, 0, 0});
    info.rowStep = steps.transform(host::Vector3d{0, ref->rowSpacing, 0});
    return host::Status::Ok;
}

std::vector<host::ObjectId> HostDrawingServices::attributes(host::ObjectId id) {
    Database* db = nullptr;
    std::vector<host::ObjectId> ids;
    if (const auto* ref = resolveAs<drawing::BlockReference>(id, db))
        for (ObjectIndex a : ref->attributes)
            if (db->object(a) && !db->object(a)->erased) ids.push_back(db->idOf(a));
    return ids;
}

host::Status HostDrawingServices::textInfo(host::ObjectId id, host::TextInfo& info) {
    ObjectIndex index = 0;
    Database* db = resolve(id, index);
    if (db == nullptr) return host::Status::NotFound;
    const drawing::Object* o = db->object(index);
    if (const auto* mtext = dynamic_cast<const drawing::MText*>(o)) {
        info = {mtext->text, {}, mtext->position, mtext->height, mtext->rotation};
        return host::Status::Ok;
    }
    const auto* text = dynamic_cast<const drawing::TextBase*>(o);
    if (text == nullptr) return host::Status::WrongType;
    info = {text->text, {}, text->position, text->height, text->rotation};
    if (const auto* attribute = dynamic_cast<const drawing::Attribute*>(o))
        info.tag = attribute->tag;
    if (const auto* definition = dynamic_cast<const drawing::AttributeDefinition*>(o))
        info.tag = definition->tag;
    return host::Status::Ok;
}

host::Status HostDrawingServices::lwPolyline(host::ObjectId id, host::LwPolylineInfo& info) {
    Database* db = nullptr;
    const auto* polyline = resolveAs<drawing::LwPolyline>(id, db);
    if (polyline == nullptr) return db ? host::Status::WrongType : host::Status::NotFound;
    const host::Matrix3d toWorld = drawing::ocsToWcs(polyline->extrusion);
    info.closed = polyline->closed();
    info.vertices.clear();
    info.bulges.clear();
    // Seen from below (extrusion pointing down) an arc turns the other way.
    const double turn = polyline->extrusion.z < 0 ? -1.0 : 1.0;
    for (const drawing::LwVertex& v : polyline->vertices) {
        info.vertices.push_back(toWorld.transform(host::Point3d{v.x, v.y, polyline->elevation}));
        info.bulges.push_back(turn * v.bulge);
    }
    return host::Status::Ok;
}

host::Status HostDrawingServices::arcInfo(host::ObjectId id, host::ArcInfo& info) {
    Database* db = nullptr;
    const auto* entity = resolveAs<drawing::Curve>(id, db);
    if (entity == nullptr) return db ? host::Status::WrongType : host::Status::NotFound;
    const host::Matrix3d toWorld = drawing::ocsToWcs(entity->extrusion);
    const bool flipped = entity->extrusion.z < 0;
    if (const auto* circle = dynamic_cast<const drawing::Circle*>(entity)) {
        info = {toWorld.transform(circle->center), circle->radius, 0.0, 2 * kPi, true};
        return host::Status::Ok;
    }
    const auto* arc = dynamic_cast<const drawing::Arc*>(entity);
    if (arc == nullptr) return host::Status::WrongType;
    info.centre = toWorld.transform(arc->center);
    info.radius = arc->radius;
    info.fullCircle = false;
    // An arc drawn in a mirrored plane runs clockwise in the world: swap and mirror its ends.
    info.startAngle = flipped ? kPi - arc->endAngle : arc->startAngle;
    info.endAngle = flipped ? kPi - arc->startAngle : arc->endAngle;
    return host::Status::Ok;
}

host::Status HostDrawingServices::entityProperties(host::ObjectId id,
                                                   host::EntityProperties& properties) {
    Database* db = nullptr;
    const auto* entity = resolveAs<drawing::Entity>(id, db);
    if (entity == nullptr) return db ? host::Status::WrongType : host::Status::NotFound;
    const auto* layer = db->get<drawing::LayerRecord>(entity->layer ? entity->layer : db->layer0());
    properties.layer = layer ? layer->name : std::string("0");
    properties.colorIndex = entity->color;
    properties.linetype = db->linetypeName(*entity);
    properties.lineweight = entity->lineweight;
    return host::Status::Ok;
}

host::Status HostDrawingServices::setEntityProperties(host::ObjectId id,
                                                      const host::EntityProperties& properties) {
    Database* db = nullptr;
    auto* entity = resolveAs<drawing::Entity>(id, db);
    if (entity == nullptr) return db ? host::Status::WrongType : host::Status::NotFound;
    const ObjectIndex layer = db->findLayer(properties.layer);
    const ObjectIndex linetype = db->findLinetype(properties.linetype);
    if (!layer || !linetype) return host::Status::NotFound;
    if (properties.colorIndex < 0 || properties.colorIndex > 256 || properties.lineweight < -3 ||
        properties.lineweight > 211)
        return host::Status::InvalidInput;
    entity->layer = layer;
    entity->linetype = linetype;
    entity->color = static_cast<std::int16_t>(properties.colorIndex);
    entity->trueColor = -1;
    entity->lineweight = static_cast<std::int16_t>(properties.lineweight);
    return host::Status::Ok;
}

host::Status HostDrawingServices::eraseEntities(const std::vector<host::ObjectId>& ids) {
    Database* db = nullptr;
    std::vector<ObjectIndex> indices;
    indices.reserve(ids.size());
    for (const host::ObjectId id : ids) {
        ObjectIndex index = 0;
        Database* owner = resolve(id, index);
        if (owner == nullptr || !owner->object(index)->isEntity()) continue;
        if (db != nullptr && owner != db) return host::Status::InvalidInput;
        db = owner;
        indices.push_back(index);
    }
    if (db != nullptr) db->eraseAll(indices);
    return host::Status::Ok;
}

host::Status HostDrawingServices::eraseEntity(host::ObjectId id) {
    Database* db = nullptr;
    const auto* entity = resolveAs<drawing::Entity>(id, db);
    if (entity == nullptr) return db ? host::Status::WrongType : host::Status::NotFound;
    db->erase(db->indexOf(id));
    return host::Status::Ok;
}

host::Status HostDrawingServices::setTextRotation(host::ObjectId id, double rotation) {
    ObjectIndex index = 0;
    Database* db = resolve(id, index);
    if (db == nullptr) return host::Status::NotFound;
    if (!finite(rotation)) return host::Status::InvalidInput;
    drawing::Object* o = db->object(index);
    if (auto* mtext = dynamic_cast<drawing::MText*>(o)) {
        mtext->rotation = rotation;
        mtext->direction = {std::cos(rotation), std::sin(rotation), 0.0};
        return host::Status::Ok;
    }
    if (auto* text = dynamic_cast<drawing::TextBase*>(o)) {
        text->rotation = rotation;
        return host::Status::Ok;
    }
    return host::Status::WrongType;
}

// ---------------------------------------------------------------- creation

host::Status HostDrawingServices::addLwPolyline(host::ObjectId blockRecord,
                                                const std::vector<host::Point3d>& vertices,
                                                bool closed, std::string_view layer,
                                                host::ObjectId* id) {
    Database* db = nullptr;
    auto* record = resolveAs<drawing::BlockRecord>(blockRecord, db);
    if (record == nullptr) return host::Status::NotFound;
    auto polyline = std::make_unique<drawing::LwPolyline>();
    if (!layerFor(*db, layer, polyline->layer)) return host::Status::NotFound;
    for (const host::Point3d& p : vertices) {
        if (!finite(p)) return host::Status::InvalidInput;
        drawing::LwVertex v;
        v.x = p.x;
        v.y = p.y;
        polyline->vertices.push_back(v);
    }
    polyline->flags = closed ? 1 : 0;
    const ObjectIndex index = db->appendEntity(std::move(polyline), record->self);
    if (id) *id = db->idOf(index);
    return index ? host::Status::Ok : host::Status::Failed;
}

host::Status HostDrawingServices::addLine(host::ObjectId blockRecord, const host::Point3d& start,
                                          const host::Point3d& end, std::string_view layer,
                                          host::ObjectId* id) {
    Database* db = nullptr;
    auto* record = resolveAs<drawing::BlockRecord>(blockRecord, db);
    if (record == nullptr) return host::Status::NotFound;
    if (!finite(start) || !finite(end)) return host::Status::InvalidInput;
    auto line = std::make_unique<drawing::Line>();
    if (!layerFor(*db, layer, line->layer)) return host::Status::NotFound;
    line->start = start;
    line->end = end;
    const ObjectIndex index = db->appendEntity(std::move(line), record->self);
    if (id) *id = db->idOf(index);
    return index ? host::Status::Ok : host::Status::Failed;
}

host::Status HostDrawingServices::addCircle(host::ObjectId blockRecord, const host::Point3d& centre,
                                            double radius, std::string_view layer,
                                            host::ObjectId* id) {
    Database* db = nullptr;
    auto* record = resolveAs<drawing::BlockRecord>(blockRecord, db);
    if (record == nullptr) return host::Status::NotFound;
    if (!finite(centre) || !(radius > 0) || !finite(radius)) return host::Status::InvalidInput;
    auto circle = std::make_unique<drawing::Circle>();
    if (!layerFor(*db, layer, circle->layer)) return host::Status::NotFound;
    circle->center = centre;
    circle->radius = radius;
    const ObjectIndex index = db->appendEntity(std::move(circle), record->self);
    if (id) *id = db->idOf(index);
    return index ? host::Status::Ok : host::Status::Failed;
}

host::Status HostDrawingServices::addArc(host::ObjectId blockRecord, const host::Point3d& centre,
                                         double radius, double startAngle, double endAngle,
                                         std::string_view layer, host::ObjectId* id) {
    Database* db = nullptr;
    auto* record = resolveAs<drawing::BlockRecord>(blockRecord, db);
    if (record == nullptr) return host::Status::NotFound;
    if (!finite(centre) || !(radius > 0) || !finite(radius) || !finite(startAngle) ||
        !finite(endAngle))
        return host::Status::InvalidInput;
    auto arc = std::make_unique<drawing::Arc>();
    if (!layerFor(*db, layer, arc->layer)) return host::Status::NotFound;
    arc->center = centre;
    arc->radius = radius;
    arc->startAngle = startAngle;
    arc->endAngle = endAngle;
    const ObjectIndex index = db->appendEntity(std::move(arc), record->self);
    if (id) *id = db->idOf(index);
    return index ? host::Status::Ok : host::Status::Failed;
}

host::Status HostDrawingServices::addBulgedPolyline(host::ObjectId blockRecord,
                                                    const std::vector<host::Point3d>& vertices,
                                                    const std::vector<double>& bulges, bool closed,
                                                    std::string_view layer, host::ObjectId* id) {
    if (!bulges.empty() && bulges.size() != vertices.size()) return host::Status::InvalidInput;
    for (const double bulge : bulges)
        if (!finite(bulge)) return host::Status::InvalidInput;
    host::ObjectId created;
    const host::Status status = addLwPolyline(blockRecord, vertices, closed, layer, &created);
    if (!host::succeeded(status)) return status;
    Database* db = nullptr;
    auto* polyline = resolveAs<drawing::LwPolyline>(created, db);
    for (std::size_t i = 0; i < bulges.size() && polyline; ++i)
        polyline->vertices[i].bulge = bulges[i];
    if (id) *id = created;
    return host::Status::Ok;
}

host::Status HostDrawingServices::addText(host::ObjectId blockRecord, const host::TextSpec& request,
                                          host::ObjectId* id) {
    Database* db = nullptr;
    auto* record = resolveAs<drawing::BlockRecord>(blockRecord, db);
    if (record == nullptr) return host::Status::NotFound;
    if (!finite(request.position) || !(request.height > 0) || !finite(request.rotation))
        return host::Status::InvalidInput;
    auto text = std::make_unique<drawing::Text>();
    if (!layerFor(*db, request.layer, text->layer)) return host::Status::NotFound;
    text->position = request.position;
    text->height = request.height;
    text->rotation = request.rotation;
    text->text = request.contents;
    text->style = request.textStyle ? db->indexOf(request.textStyle) : db->currentTextStyle;
    const ObjectIndex index = db->appendEntity(std::move(text), record->self);
    if (id) *id = db->idOf(index);
    return index ? host::Status::Ok : host::Status::Failed;
}

host::Status HostDrawingServices::addMText(host::ObjectId blockRecord,
                                           const host::MTextSpec& request, host::ObjectId* id) {
    Database* db = nullptr;
    auto* record = resolveAs<drawing::BlockRecord>(blockRecord, db);
    if (record == nullptr) return host::Status::NotFound;
    if (!finite(request.position) || !(request.height > 0) || !(request.width >= 0) ||
        !finite(request.width))
        return host::Status::InvalidInput;
    auto text = std::make_unique<drawing::MText>();
    if (!layerFor(*db, request.layer, text->layer)) return host::Status::NotFound;
    text->position = request.position;
    text->height = request.height;
    text->width = request.width;
    text->attachment = static_cast<int>(request.attachment);
    text->text = request.contents;
    text->style = request.textStyle ? db->indexOf(request.textStyle) : db->currentTextStyle;
    const ObjectIndex index = db->appendEntity(std::move(text), record->self);
    if (id) *id = db->idOf(index);
    return index ? host::Status::Ok : host::Status::Failed;
}

host::Status HostDrawingServices::addBlockReference(host::ObjectId blockRecord,
                                                    const host::BlockReferenceSpec& request,
                                                    host::ObjectId* id) {
    Database* db = nullptr;
    auto* record = resolveAs<drawing::BlockRecord>(blockRecord, db);
    if (record == nullptr) return host::Status::NotFound;
    ObjectIndex blockIndex = 0;
    Database* blockDb = resolve(request.blockRecord, blockIndex);
    if (blockDb != db || db->get<drawing::BlockRecord>(blockIndex) == nullptr)
        return host::Status::NotFound;
    if (!finite(request.position) || !finite(request.rotation) || !finite(request.scale.x) ||
        !finite(request.scale.y) || !finite(request.scale.z) || request.scale.x == 0 ||
        request.scale.y == 0 || request.scale.z == 0)
        return host::Status::InvalidInput;
    auto ref = std::make_unique<drawing::BlockReference>();
    if (!layerFor(*db, request.layer, ref->layer)) return host::Status::NotFound;
    ref->block = blockIndex;
    ref->position = request.position;
    ref->rotation = request.rotation;
    ref->scaleX = request.scale.x;
    ref->scaleY = request.scale.y;
    ref->scaleZ = request.scale.z;
    const ObjectIndex index = db->appendEntity(std::move(ref), record->self);
    if (index) drawing::addAttributes(*db, index, request.attributes);
    if (id) *id = db->idOf(index);
    return index ? host::Status::Ok : host::Status::Failed;
}

// ---------------------------------------------------------------- layouts

std::vector<host::LayoutInfo> HostDrawingServices::layouts(host::DatabaseId id) {
    std::vector<host::LayoutInfo> out;
    Database* db = database(id);
    if (db == nullptr) return out;
    for (ObjectIndex i : db->layouts()) {
        const auto* layout = db->get<drawing::Layout>(i);
        if (layout == nullptr || layout->erased) continue;
        const auto* block = db->get<drawing::BlockRecord>(layout->block);
        out.push_back({db->idOf(i), layout->name, block != nullptr && block->isModelSpace(),
                       db->idOf(layout->block)});
    }
    return out;
}

std::string HostDrawingServices::activeLayoutName() {
    const Document* d = app_.findDocument(app_.currentDocument());
    if (d == nullptr || !d->database) return {};
    const auto* layout = d->database->get<drawing::Layout>(d->database->activeLayout());
    return layout ? layout->name : std::string();
}

host::Status HostDrawingServices::setCurrentLayout(host::ObjectId layout) {
    ObjectIndex index = 0;
    Database* db = resolve(layout, index);
    if (db == nullptr) return host::Status::NotFound;
    return toHostStatus(db->setCurrentLayout(index));
}

host::Status HostDrawingServices::setCurrentLayoutByName(std::string_view name) {
    Document* d = app_.findDocument(app_.currentDocument());
    if (d == nullptr || !d->database) return host::Status::NotApplicable;
    return toHostStatus(d->database->setCurrentLayout(name));
}

host::Status HostDrawingServices::getPlotSettings(host::ObjectId id, host::PlotSettings& out) {
    Database* db = nullptr;
    const auto* layout = resolveAs<drawing::Layout>(id, db);
    if (layout == nullptr) return host::Status::NotFound;
    const drawing::PlotSettings& p = layout->plot;
    host::PlotSettings s;
    s.device = p.device;
    s.media = p.media;
    s.styleSheet = p.styleSheet;
    s.paperUnits = static_cast<host::PaperUnits>(p.paperUnits);
    // Stored in millimetres; handed out in the layout's own paper units.
    const double scale = p.paperUnits == 0 ? 1.0 / kMmPerInch : 1.0;
    s.paperWidth = p.paperWidth * scale;
    s.paperHeight = p.paperHeight * scale;
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
    out = s;
    return host::Status::Ok;
}

host::Status HostDrawingServices::setPlotSettings(host::ObjectId id, const host::PlotSettings& s) {
    Database* db = nullptr;
    auto* layout = resolveAs<drawing::Layout>(id, db);
    if (layout == nullptr) return host::Status::NotFound;
    if (s.rotation < 0 || s.rotation > 3 || static_cast<int>(s.paperUnits) < 0 ||
        static_cast<int>(s.paperUnits) > 2)
        return host::Status::InvalidInput;
    drawing::PlotSettings& p = layout->plot;
    const double scale = s.paperUnits == host::PaperUnits::Inches ? kMmPerInch : 1.0;
    // Sizes are stored in millimetres such that reading them back gives exactly the value
    // written: a page setup read, changed elsewhere and written back is bit for bit the same.
    const double readScale = s.paperUnits == host::PaperUnits::Inches ? 1.0 / kMmPerInch : 1.0;
    const auto keepOrSet = [&](double& stored, double paperValue) {
        if (stored * readScale == paperValue) return;
        double mm = paperValue * scale;
        for (int i = 0; i < 4 && std::isfinite(mm) && mm * readScale != paperValue; ++i)
            mm = std::nextafter(mm, mm * readScale < paperValue ? HUGE_VAL : -HUGE_VAL);
        stored = mm;
    };
    p.device = s.device;
    p.media = s.media;
    p.styleSheet = s.styleSheet;
    p.paperUnits = static_cast<int>(s.paperUnits);
    keepOrSet(p.paperWidth, s.paperWidth);
    keepOrSet(p.paperHeight, s.paperHeight);
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

// ---------------------------------------------------------------- plot settings validator

bool HostDrawingServices::hasPlotDevice(std::string_view device) {
    return pdf::findPlotDevice(device) != nullptr;
}

std::vector<std::string> HostDrawingServices::canonicalMediaNames(std::string_view device) {
    const pdf::PlotDevice* d = pdf::findPlotDevice(device);
    return d ? d->canonicalMediaNames() : std::vector<std::string>{};
}

host::Status HostDrawingServices::setPlotDeviceAndMedia(host::PlotSettings& s,
                                                        std::string_view device,
                                                        std::string_view media) {
    const pdf::PlotDevice* d = pdf::findPlotDevice(device);
    if (d == nullptr || d->media.empty()) return host::Status::InvalidInput;
    const pdf::Media* chosen = media.empty() ? d->findMedia(s.media) : d->findMedia(media);
    if (chosen == nullptr) {
        if (!media.empty()) return host::Status::InvalidInput;
        chosen = &d->media.front();
    }
    s.device = d->name;
    s.media = chosen->canonicalName;
    const double scale = s.paperUnits == host::PaperUnits::Inches ? 1.0 / kMmPerInch : 1.0;
    s.paperWidth = chosen->widthMm * scale;
    s.paperHeight = chosen->heightMm * scale;
    s.marginLeft = chosen->margins.left;
    s.marginBottom = chosen->margins.bottom;
    s.marginRight = chosen->margins.right;
    s.marginTop = chosen->margins.top;
    return host::Status::Ok;
}

host::Status HostDrawingServices::setPaperUnits(host::PlotSettings& s, host::PaperUnits units) {
    if (units != host::PaperUnits::Inches && units != host::PaperUnits::Millimeters)
        return host::Status::InvalidInput;
    if (units != s.paperUnits) {
        const double factor = units == host::PaperUnits::Inches ? 1.0 / kMmPerInch : kMmPerInch;
        s.paperWidth *= factor;
        s.paperHeight *= factor;
        s.paperUnits = units;
    }
    return host::Status::Ok;
}

host::Status HostDrawingServices::setStyleSheet(host::PlotSettings& s,
                                                std::string_view styleSheet) {
    if (!styleSheet.empty() && pdf::findPlotStyleTable(styleSheet) == nullptr)
        return host::Status::InvalidInput;
    s.styleSheet = std::string(styleSheet);
    return host::Status::Ok;
}

host::Status HostDrawingServices::setPlotType(host::PlotSettings& s, host::PlotType type) {
    const int value = static_cast<int>(type);
    if (value < 0 || value > 5) return host::Status::InvalidInput;
    s.plotType = type;
    return host::Status::Ok;
}

host::Status HostDrawingServices::setPlotWindow(host::PlotSettings& s, double minX, double minY,
                                                double maxX, double maxY) {
    if (!finite(minX) || !finite(minY) || !finite(maxX) || !finite(maxY))
        return host::Status::InvalidInput;
    s.windowMinX = minX;
    s.windowMinY = minY;
    s.windowMaxX = maxX;
    s.windowMaxY = maxY;
    return host::Status::Ok;
}

host::Status HostDrawingServices::setStandardScale(host::PlotSettings& s, bool useStandardScale,
                                                   int standardScaleType) {
    if (standardScaleType < 0 || standardScaleType > 32) return host::Status::InvalidInput;
    s.useStandardScale = useStandardScale;
    s.standardScaleType = standardScaleType;
    return host::Status::Ok;
}

host::Status HostDrawingServices::setCentered(host::PlotSettings& s, bool centered) {
    s.centered = centered;
    return host::Status::Ok;
}

host::Status HostDrawingServices::setPlotOrigin(host::PlotSettings& s, double x, double y) {
    if (!finite(x) || !finite(y)) return host::Status::InvalidInput;
    s.originX = x;
    s.originY = y;
    return host::Status::Ok;
}

host::Status HostDrawingServices::setPlotRotation(host::PlotSettings& s, int quarterTurns) {
    if (quarterTurns < 0 || quarterTurns > 3) return host::Status::InvalidInput;
    s.rotation = quarterTurns;
    return host::Status::Ok;
}

}  // namespace qkshost
