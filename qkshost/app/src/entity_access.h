// The drawing services' reading and editing of entities: kinds, extents, curves, references,
// texts, properties, erasing. Main thread only.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "host_databases.h"

namespace qkshost {

class EntityAccess {
  public:
    explicit EntityAccess(HostDatabases& databases) : dbs_(databases) {}
    EntityAccess(const EntityAccess&) = delete;
    EntityAccess& operator=(const EntityAccess&) = delete;

    host::Status entityInfo(host::ObjectId entity, host::EntityInfo& info);
    host::EntityType entityType(host::ObjectId entity);
    host::Status geometricExtents(host::ObjectId entity, host::Extents3d& extents);
    host::Status curveIsClosed(host::ObjectId curve, bool& closed);
    host::Status curveParameterRange(host::ObjectId curve, double& start, double& end);
    host::Status curvePointAt(host::ObjectId curve, double parameter, host::Point3d& point);
    host::Status curvePoints(host::ObjectId curve, double chordError,
                             std::vector<host::Point3d>& points, bool& closed);
    host::Status blockReference(host::ObjectId reference, host::BlockReferenceInfo& info);
    std::vector<host::ObjectId> attributes(host::ObjectId reference);
    host::Status textInfo(host::ObjectId text, host::TextInfo& info);
    host::Status lwPolyline(host::ObjectId polyline, host::LwPolylineInfo& info);
    host::Status arcInfo(host::ObjectId curve, host::ArcInfo& info);
    host::Status entityProperties(host::ObjectId entity, host::EntityProperties& properties);
    host::Status setEntityProperties(host::ObjectId entity,
                                     const host::EntityProperties& properties);
    host::Status eraseEntities(const std::vector<host::ObjectId>& entities);
    host::Status eraseEntity(host::ObjectId entity);
    host::Status setTextRotation(host::ObjectId text, double rotation);

  private:
    HostDatabases& dbs_;
};

}  // namespace qkshost
