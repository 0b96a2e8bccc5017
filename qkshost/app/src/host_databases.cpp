#include "host_databases.h"

#include "drawing_files.h"
#include "qkshost/app/drawing_services.h"
#include "qkshost/app/host_application.h"
#include "qkshost/dxf/dxf.h"

namespace qkshost {

namespace host = qks::host;
using drawing::Database;
using drawing::ObjectIndex;

Database* HostDatabases::database(host::DatabaseId id) const {
    if (!id) return nullptr;
    const auto side = sideDatabases_.find(id.value);
    if (side != sideDatabases_.end()) return side->second.get();
    for (const auto& d : app_.documents())
        if (d->database && d->database->serial() == id.value) return d->database.get();
    return nullptr;
}

Database* HostDatabases::resolve(host::ObjectId id, ObjectIndex& index) const {
    Database* db = database(host::DatabaseId{static_cast<std::uint32_t>(id.value >> 32)});
    if (db == nullptr) return nullptr;
    index = db->indexOf(id);
    const drawing::Object* o = db->object(index);
    if (o == nullptr || o->erased) return nullptr;
    return db;
}

host::DatabaseId HostDatabases::createDatabase(bool withDefaultDrawing) {
    auto db = std::make_unique<Database>(withDefaultDrawing);
    const host::DatabaseId id{db->serial()};
    sideDatabases_[id.value] = std::move(db);
    return id;
}

void HostDatabases::deleteDatabase(host::DatabaseId database) {
    sideDatabases_.erase(database.value);
}

host::Status HostDatabases::readDrawingFile(host::DatabaseId id, const std::string& path,
                                            std::string* message) {
    Database* db = database(id);
    if (db == nullptr) return host::Status::NotFound;
    const drawing::ReadResult result = app::readDrawingFile(*db, path);
    if (message) *message = result.message;
    return toHostStatus(result.status);
}

host::Status HostDatabases::saveDatabase(host::DatabaseId id, const std::string& path,
                                         std::string* writtenPath, std::string* message) {
    Database* db = database(id);
    if (db == nullptr) return host::Status::NotFound;
    return toHostStatus(dxf::saveDxf(*db, path, writtenPath, message));
}

host::DatabaseId HostDatabases::documentDatabase(host::DocumentId document) {
    const Document* d = app_.findDocument(document);
    return d && d->database ? host::DatabaseId{d->database->serial()} : host::DatabaseId{};
}

host::DatabaseId HostDatabases::databaseOf(host::ObjectId object) {
    ObjectIndex index = 0;
    Database* db = resolve(object, index);
    return db ? host::DatabaseId{db->serial()} : host::DatabaseId{};
}

int HostDatabases::drawingUnits(host::DatabaseId id) {
    const Database* db = database(id);
    return db ? db->insUnits : 0;
}

host::Status HostDatabases::setDrawingUnits(host::DatabaseId id, int insUnits) {
    Database* db = database(id);
    if (db == nullptr) return host::Status::NotFound;
    if (insUnits < 0 || insUnits > 24) return host::Status::InvalidInput;
    db->insUnits = insUnits;
    return host::Status::Ok;
}

host::DocumentId HostDatabases::openDocument(const std::string& path, std::string* message) {
    std::string error;
    const host::DocumentId id = app_.openDocument(path, error);
    if (message) *message = error;
    return id;
}

host::Status HostDatabases::makeDocumentCurrent(host::DocumentId document) {
    return app_.setCurrentDocument(document) ? host::Status::Ok : host::Status::NotFound;
}

host::Status HostDatabases::activateDocument(host::DocumentId document) {
    return makeDocumentCurrent(document);
}

host::Status HostDatabases::lockDocument(host::DocumentId document) {
    Document* d = app_.findDocument(document);
    if (d == nullptr) return host::Status::NotFound;
    ++d->locks;
    return host::Status::Ok;
}

host::Status HostDatabases::unlockDocument(host::DocumentId document) {
    Document* d = app_.findDocument(document);
    if (d == nullptr || d->locks == 0) return host::Status::NotApplicable;
    --d->locks;
    return host::Status::Ok;
}

host::Status HostDatabases::closeDocument(host::DocumentId document) {
    return app_.closeDocument(document) ? host::Status::Ok : host::Status::NotFound;
}

}  // namespace qkshost
