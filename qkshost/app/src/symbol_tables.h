// The drawing services' symbol tables: blocks, layers, linetypes and text styles, their names,
// and objects by handle. Main thread only.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "host_databases.h"

namespace qkshost {

class SymbolTableAccess {
  public:
    explicit SymbolTableAccess(HostDatabases& databases) : dbs_(databases) {}
    SymbolTableAccess(const SymbolTableAccess&) = delete;
    SymbolTableAccess& operator=(const SymbolTableAccess&) = delete;

    host::ObjectId modelSpace(host::DatabaseId database);
    host::ObjectId findBlock(host::DatabaseId database, std::string_view name);
    std::vector<host::ObjectId> blockEntities(host::ObjectId blockRecord);
    host::Status blockBasePoint(host::ObjectId blockRecord, host::Point3d& base);
    std::vector<host::ObjectId> layers(host::DatabaseId database);
    host::ObjectId findLayer(host::DatabaseId database, std::string_view name);
    host::Status addLayer(host::DatabaseId database, std::string_view name, int colorIndex,
                          host::ObjectId* id);
    host::ObjectId findTextStyle(host::DatabaseId database, std::string_view name);
    host::Status addLinetype(host::DatabaseId database, std::string_view name,
                             std::string_view description, const std::vector<double>& dashes,
                             host::ObjectId* id);
    host::Status setLayerLinetype(host::ObjectId layer, host::ObjectId linetype);
    host::Status addTextStyle(host::DatabaseId database, const host::TextStyleSpec& style,
                              host::ObjectId* id);
    std::string symbolName(host::ObjectId record);
    host::Status renameSymbol(host::ObjectId record, std::string_view newName);
    host::ObjectId objectIdFromHandle(host::DatabaseId database, std::string_view handleText);

  private:
    HostDatabases& dbs_;
};

}  // namespace qkshost
