// The drawing services' creation of entities in a block record (lines, arcs, polylines,
// texts, references), and copies between databases (a database inserted as a block, objects
// written out to a new side database). Main thread only.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "host_databases.h"

namespace qkshost {

class EntityCreation {
  public:
    explicit EntityCreation(HostDatabases& databases) : dbs_(databases) {}
    EntityCreation(const EntityCreation&) = delete;
    EntityCreation& operator=(const EntityCreation&) = delete;

    host::Status addLwPolyline(host::ObjectId blockRecord,
                               const std::vector<host::Point3d>& vertices, bool closed,
                               std::string_view layer, host::ObjectId* id);
    host::Status addLine(host::ObjectId blockRecord, const host::Point3d& start,
                         const host::Point3d& end, std::string_view layer, host::ObjectId* id);
    host::Status addCircle(host::ObjectId blockRecord, const host::Point3d& centre, double radius,
                           std::string_view layer, host::ObjectId* id);
    host::Status addArc(host::ObjectId blockRecord, const host::Point3d& centre, double radius,
                        double startAngle, double endAngle, std::string_view layer,
                        host::ObjectId* id);
    host::Status addBulgedPolyline(host::ObjectId blockRecord,
                                   const std::vector<host::Point3d>& vertices,
                                   const std::vector<double>& bulges, bool closed,
                                   std::string_view layer, host::ObjectId* id);
    host::Status addText(host::ObjectId blockRecord, const host::TextSpec& text,
                         host::ObjectId* id);
    host::Status addMText(host::ObjectId blockRecord, const host::MTextSpec& text,
                          host::ObjectId* id);
    host::Status addBlockReference(host::ObjectId blockRecord,
                                   const host::BlockReferenceSpec& reference, host::ObjectId* id);
    host::Status insertDatabaseAsBlock(host::DatabaseId target, std::string_view blockName,
                                       host::DatabaseId source, host::ObjectId* block,
                                       int* notCarried);
    host::Status writeBlockOut(const std::vector<host::ObjectId>& objects,
                               const host::Point3d& basePoint, host::DatabaseId* result);

  private:
    HostDatabases& dbs_;
};

}  // namespace qkshost
