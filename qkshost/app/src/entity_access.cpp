#include "entity_access.h"

#include <algorithm>
#include <cmath>

#include "creation_checks.h"
#include "qks/common/plane.h"
#include "qkshost/app/drawing_services.h"
#include "qkshost/drawing/geometry.h"

namespace qkshost {

namespace host = qks::host;
using app::finite;
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

}  // namespace

host::Status EntityAccess::entityInfo(host::ObjectId id, host::EntityInfo& info) {
    Database* db = nullptr;
    const auto* entity = dbs_.resolveAs<drawing::Entity>(id, db);
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

host::EntityType EntityAccess::entityType(host::ObjectId id) {
    ObjectIndex index = 0;
    Database* db = dbs_.resolve(id, index);
    const drawing::Object* object = db ? db->object(index) : nullptr;
    return object && object->isEntity() ? entityTypeOf(*static_cast<const drawing::Entity*>(object))
                                        : host::EntityType::Other;
}

host::Status EntityAccess::geometricExtents(host::ObjectId id, host::Extents3d& extents) {
    ObjectIndex index = 0;
    Database* db = dbs_.resolve(id, index);
    if (db == nullptr) return host::Status::NotFound;
    host::Extents3d box;
    const host::Status status = toHostStatus(drawing::entityExtents(*db, index, box));
    if (status == host::Status::Ok) extents = box;
    return status;
}

host::Status EntityAccess::curveIsClosed(host::ObjectId id, bool& closed) {
    ObjectIndex index = 0;
    Database* db = dbs_.resolve(id, index);
    if (db == nullptr) return host::Status::NotFound;
    return toHostStatus(drawing::curveIsClosed(*db, index, closed));
}

host::Status EntityAccess::curveParameterRange(host::ObjectId id, double& start, double& end) {
    ObjectIndex index = 0;
    Database* db = dbs_.resolve(id, index);
    if (db == nullptr) return host::Status::NotFound;
    double s = 0, e = 0;
    drawing::Status status = drawing::curveStartParam(*db, index, s);
    if (status == drawing::Status::Ok) status = drawing::curveEndParam(*db, index, e);
    if (status != drawing::Status::Ok) return toHostStatus(status);
    start = s;
    end = e;
    return host::Status::Ok;
}

host::Status EntityAccess::curvePointAt(host::ObjectId id, double parameter, host::Point3d& point) {
    ObjectIndex index = 0;
    Database* db = dbs_.resolve(id, index);
    if (db == nullptr) return host::Status::NotFound;
    return toHostStatus(drawing::curvePointAtParam(*db, index, parameter, point));
}

host::Status EntityAccess::curvePoints(host::ObjectId id, double chordError,
                                       std::vector<host::Point3d>& points, bool& closed) {
    ObjectIndex index = 0;
    Database* db = dbs_.resolve(id, index);
    if (db == nullptr) return host::Status::NotFound;
    return toHostStatus(drawing::curvePoints(*db, index, chordError, points, closed));
}

host::Status EntityAccess::blockReference(host::ObjectId id, host::BlockReferenceInfo& info) {
    Database* db = nullptr;
    const auto* ref = dbs_.resolveAs<drawing::BlockReference>(id, db);
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

std::vector<host::ObjectId> EntityAccess::attributes(host::ObjectId id) {
    Database* db = nullptr;
    std::vector<host::ObjectId> ids;
    if (const auto* ref = dbs_.resolveAs<drawing::BlockReference>(id, db))
        for (ObjectIndex a : ref->attributes)
            if (db->object(a) && !db->object(a)->erased) ids.push_back(db->idOf(a));
    return ids;
}

host::Status EntityAccess::textInfo(host::ObjectId id, host::TextInfo& info) {
    ObjectIndex index = 0;
    Database* db = dbs_.resolve(id, index);
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

host::Status EntityAccess::lwPolyline(host::ObjectId id, host::LwPolylineInfo& info) {
    Database* db = nullptr;
    const auto* polyline = dbs_.resolveAs<drawing::LwPolyline>(id, db);
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

host::Status EntityAccess::arcInfo(host::ObjectId id, host::ArcInfo& info) {
    Database* db = nullptr;
    const auto* entity = dbs_.resolveAs<drawing::Curve>(id, db);
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

host::Status EntityAccess::entityProperties(host::ObjectId id, host::EntityProperties& properties) {
    Database* db = nullptr;
    const auto* entity = dbs_.resolveAs<drawing::Entity>(id, db);
    if (entity == nullptr) return db ? host::Status::WrongType : host::Status::NotFound;
    const auto* layer = db->get<drawing::LayerRecord>(entity->layer ? entity->layer : db->layer0());
    properties.layer = layer ? layer->name : std::string("0");
    properties.colorIndex = entity->color;
    properties.linetype = db->linetypeName(*entity);
    properties.lineweight = entity->lineweight;
    return host::Status::Ok;
}

host::Status EntityAccess::setEntityProperties(host::ObjectId id,
                                               const host::EntityProperties& properties) {
    Database* db = nullptr;
    auto* entity = dbs_.resolveAs<drawing::Entity>(id, db);
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

host::Status EntityAccess::eraseEntities(const std::vector<host::ObjectId>& ids) {
    Database* db = nullptr;
    std::vector<ObjectIndex> indices;
    indices.reserve(ids.size());
    for (const host::ObjectId id : ids) {
        ObjectIndex index = 0;
        Database* owner = dbs_.resolve(id, index);
        if (owner == nullptr || !owner->object(index)->isEntity()) continue;
        if (db != nullptr && owner != db) return host::Status::InvalidInput;
        db = owner;
        indices.push_back(index);
    }
    if (db != nullptr) db->eraseAll(indices);
    return host::Status::Ok;
}

host::Status EntityAccess::eraseEntity(host::ObjectId id) {
    Database* db = nullptr;
    const auto* entity = dbs_.resolveAs<drawing::Entity>(id, db);
    if (entity == nullptr) return db ? host::Status::WrongType : host::Status::NotFound;
    db->erase(db->indexOf(id));
    return host::Status::Ok;
}

host::Status EntityAccess::setTextRotation(host::ObjectId id, double rotation) {
    ObjectIndex index = 0;
    Database* db = dbs_.resolve(id, index);
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

}  // namespace qkshost
