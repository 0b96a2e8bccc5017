#include "entity_creation.h"

#include <cmath>

#include "creation_checks.h"
#include "qks/common/plane.h"
#include "qkshost/app/drawing_services.h"
#include "qkshost/drawing/blockops.h"
#include "qkshost/drawing/creation.h"
#include "qkshost/drawing/geometry.h"

namespace qkshost {

namespace host = qks::host;
using app::finite;
using app::layerFor;
using drawing::Database;
using drawing::ObjectIndex;

host::Status EntityCreation::addLwPolyline(host::ObjectId blockRecord,
                                           const std::vector<host::Point3d>& vertices, bool closed,
                                           std::string_view layer, host::ObjectId* id) {
    Database* db = nullptr;
    auto* record = dbs_.resolveAs<drawing::BlockRecord>(blockRecord, db);
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

host::Status EntityCreation::addLine(host::ObjectId blockRecord, const host::Point3d& start,
                                     const host::Point3d& end, std::string_view layer,
                                     host::ObjectId* id) {
    Database* db = nullptr;
    auto* record = dbs_.resolveAs<drawing::BlockRecord>(blockRecord, db);
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

host::Status EntityCreation::addCircle(host::ObjectId blockRecord, const host::Point3d& centre,
                                       double radius, std::string_view layer, host::ObjectId* id) {
    Database* db = nullptr;
    auto* record = dbs_.resolveAs<drawing::BlockRecord>(blockRecord, db);
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

host::Status EntityCreation::addArc(host::ObjectId blockRecord, const host::Point3d& centre,
                                    double radius, double startAngle, double endAngle,
                                    std::string_view layer, host::ObjectId* id) {
    Database* db = nullptr;
    auto* record = dbs_.resolveAs<drawing::BlockRecord>(blockRecord, db);
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

host::Status EntityCreation::addBulgedPolyline(host::ObjectId blockRecord,
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
    auto* polyline = dbs_.resolveAs<drawing::LwPolyline>(created, db);
    for (std::size_t i = 0; i < bulges.size() && polyline; ++i)
        polyline->vertices[i].bulge = bulges[i];
    if (id) *id = created;
    return host::Status::Ok;
}

host::Status EntityCreation::addText(host::ObjectId blockRecord, const host::TextSpec& request,
                                     host::ObjectId* id) {
    Database* db = nullptr;
    auto* record = dbs_.resolveAs<drawing::BlockRecord>(blockRecord, db);
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

host::Status EntityCreation::addMText(host::ObjectId blockRecord, const host::MTextSpec& request,
                                      host::ObjectId* id) {
    Database* db = nullptr;
    auto* record = dbs_.resolveAs<drawing::BlockRecord>(blockRecord, db);
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

host::Status EntityCreation::addBlockReference(host::ObjectId blockRecord,
                                               const host::BlockReferenceSpec& request,
                                               host::ObjectId* id) {
    Database* db = nullptr;
    auto* record = dbs_.resolveAs<drawing::BlockRecord>(blockRecord, db);
    if (record == nullptr) return host::Status::NotFound;
    ObjectIndex blockIndex = 0;
    Database* blockDb = dbs_.resolve(request.blockRecord, blockIndex);
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

host::Status EntityCreation::insertDatabaseAsBlock(host::DatabaseId target,
                                                   std::string_view blockName,
                                                   host::DatabaseId source, host::ObjectId* block,
                                                   int* notCarried) {
    if (block) *block = {};
    if (notCarried) *notCarried = 0;
    drawing::Database* to = dbs_.database(target);
    drawing::Database* from = dbs_.database(source);
    if (to == nullptr || from == nullptr || to == from) return host::Status::NotFound;
    drawing::ObjectIndex index = 0;
    drawing::CopyReport report;
    const drawing::Status status = drawing::insertAsBlock(*to, *from, blockName, &index, &report);
    if (notCarried) *notCarried = report.notCarried;
    if (status == drawing::Status::Ok && block) *block = to->idOf(index);
    return toHostStatus(status);
}

host::Status EntityCreation::writeBlockOut(const std::vector<host::ObjectId>& objects,
                                           const host::Point3d& basePoint,
                                           host::DatabaseId* result) {
    if (result) *result = {};
    if (objects.empty()) return host::Status::InvalidInput;
    drawing::ObjectIndex first = 0;
    drawing::Database* source = dbs_.resolve(objects.front(), first);
    if (source == nullptr) return host::Status::NotFound;
    std::vector<drawing::ObjectIndex> entities;
    for (const host::ObjectId id : objects) {
        drawing::ObjectIndex index = 0;
        if (dbs_.resolve(id, index) == source) entities.push_back(index);
    }
    std::unique_ptr<drawing::Database> out;
    const drawing::Status status = drawing::writeBlockOut(*source, entities, basePoint, out);
    if (status != drawing::Status::Ok || !out) return toHostStatus(status);
    const host::DatabaseId id{out->serial()};
    dbs_.adopt(id, std::move(out));
    if (result) *result = id;
    return host::Status::Ok;
}

}  // namespace qkshost
