// The drawing services' dimension styles and dimensions, blocks with attribute definitions,
// and the explosion of block references. Main thread only.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "host_databases.h"

namespace qkshost {

class AnnotationCreation {
  public:
    explicit AnnotationCreation(HostDatabases& databases) : dbs_(databases) {}
    AnnotationCreation(const AnnotationCreation&) = delete;
    AnnotationCreation& operator=(const AnnotationCreation&) = delete;

    host::Status addDimensionStyle(host::DatabaseId database, const host::DimensionStyleSpec& style,
                                   host::ObjectId* id);
    host::Status addDimension(host::ObjectId blockRecord, const host::DimensionSpec& dimension,
                              host::ObjectId* id);
    host::Status addBlock(host::DatabaseId database, std::string_view name,
                          const host::Point3d& base, host::ObjectId* id);
    host::Status addAttributeDefinition(host::ObjectId blockRecord,
                                        const host::AttributeDefinitionSpec& definition,
                                        host::ObjectId* id);
    host::Status explodeBlockReference(host::ObjectId reference,
                                       std::vector<host::ObjectId>* created);

  private:
    HostDatabases& dbs_;
};

}  // namespace qkshost
