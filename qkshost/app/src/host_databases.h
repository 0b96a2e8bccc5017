// The databases the drawing services hand out: side databases (created, read or written out
// through the services, owned here until the plug-in deletes them) and the documents' (owned
// by their documents in HostApplication), and the documents themselves. Every other part of
// the services finds databases and objects through it. Main thread only.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "qks/host/drawing.h"
#include "qkshost/drawing/database.h"

namespace qkshost {

namespace host = qks::host;

class HostApplication;

class HostDatabases {
  public:
    explicit HostDatabases(HostApplication& app) : app_(app) {}
    HostDatabases(const HostDatabases&) = delete;
    HostDatabases& operator=(const HostDatabases&) = delete;

    // The database behind an id: a side database or a document's. Null when unknown.
    drawing::Database* database(host::DatabaseId id) const;
    // The database and index an object id names; null when unknown or erased.
    drawing::Database* resolve(host::ObjectId id, drawing::ObjectIndex& index) const;
    // The object an id names as a T; null (with `db` set when the database is known) otherwise.
    template <class T>
    T* resolveAs(host::ObjectId id, drawing::Database*& db) const {
        drawing::ObjectIndex index = 0;
        db = resolve(id, index);
        return db ? dynamic_cast<T*>(db->object(index)) : nullptr;
    }
    // Keeps `db` as the side database `id` (its serial).
    void adopt(host::DatabaseId id, std::unique_ptr<drawing::Database> db) {
        sideDatabases_[id.value] = std::move(db);
    }

    host::DatabaseId createDatabase(bool withDefaultDrawing);
    void deleteDatabase(host::DatabaseId database);
    host::Status readDrawingFile(host::DatabaseId database, const std::string& path,
                                 std::string* message);
    host::Status saveDatabase(host::DatabaseId database, const std::string& path,
                              std::string* writtenPath, std::string* message);
    host::DatabaseId documentDatabase(host::DocumentId document);
    host::DatabaseId databaseOf(host::ObjectId object);
    int drawingUnits(host::DatabaseId database);
    host::Status setDrawingUnits(host::DatabaseId database, int insUnits);
    host::DocumentId openDocument(const std::string& path, std::string* message);
    host::Status makeDocumentCurrent(host::DocumentId document);
    host::Status activateDocument(host::DocumentId document);
    host::Status lockDocument(host::DocumentId document);
    host::Status unlockDocument(host::DocumentId document);
    host::Status closeDocument(host::DocumentId document);

  private:
    HostApplication& app_;
    std::map<std::uint32_t, std::unique_ptr<drawing::Database>> sideDatabases_;
};

}  // namespace qkshost
