#include "symbol_tables.h"

#include <cmath>

#include "creation_checks.h"
#include "qkshost/app/drawing_services.h"
#include "qkshost/drawing/geometry.h"

namespace qkshost {

namespace host = qks::host;
using drawing::Database;
using drawing::ObjectIndex;

host::ObjectId SymbolTableAccess::modelSpace(host::DatabaseId id) {
    Database* db = dbs_.database(id);
    return db ? db->idOf(db->modelSpace()) : host::ObjectId{};
}

host::ObjectId SymbolTableAccess::findBlock(host::DatabaseId id, std::string_view name) {
    Database* db = dbs_.database(id);
    return db ? db->idOf(db->findBlock(name)) : host::ObjectId{};
}

std::vector<host::ObjectId> SymbolTableAccess::blockEntities(host::ObjectId blockRecord) {
    Database* db = nullptr;
    std::vector<host::ObjectId> ids;
    if (auto* record = dbs_.resolveAs<drawing::BlockRecord>(blockRecord, db)) {
        ids.reserve(record->entities.size());
        for (ObjectIndex i : record->entities) {
            const drawing::Object* o = db->object(i);
            if (o && !o->erased) ids.push_back(db->idOf(i));
        }
    }
    return ids;
}

host::Status SymbolTableAccess::blockBasePoint(host::ObjectId blockRecord, host::Point3d& base) {
    Database* db = nullptr;
    const auto* record = dbs_.resolveAs<drawing::BlockRecord>(blockRecord, db);
    if (record == nullptr) return db ? host::Status::WrongType : host::Status::NotFound;
    base = record->base;
    return host::Status::Ok;
}

std::vector<host::ObjectId> SymbolTableAccess::layers(host::DatabaseId id) {
    std::vector<host::ObjectId> ids;
    if (Database* db = dbs_.database(id))
        for (ObjectIndex i : db->layers())
            if (db->object(i) && !db->object(i)->erased) ids.push_back(db->idOf(i));
    return ids;
}

host::ObjectId SymbolTableAccess::findLayer(host::DatabaseId id, std::string_view name) {
    Database* db = dbs_.database(id);
    return db ? db->idOf(db->findLayer(name)) : host::ObjectId{};
}

host::Status SymbolTableAccess::addLayer(host::DatabaseId id, std::string_view name, int colorIndex,
                                         host::ObjectId* out) {
    Database* db = dbs_.database(id);
    if (db == nullptr) return host::Status::NotFound;
    ObjectIndex layer = 0;
    const drawing::Status status = db->addLayer(name, colorIndex, &layer);
    if (out) *out = db->idOf(layer);
    return toHostStatus(status);
}

host::ObjectId SymbolTableAccess::findTextStyle(host::DatabaseId id, std::string_view name) {
    Database* db = dbs_.database(id);
    return db ? db->idOf(db->findTextStyle(name)) : host::ObjectId{};
}

host::Status SymbolTableAccess::addLinetype(host::DatabaseId id, std::string_view name,
                                            std::string_view description,
                                            const std::vector<double>& dashes,
                                            host::ObjectId* out) {
    Database* db = dbs_.database(id);
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

host::Status SymbolTableAccess::setLayerLinetype(host::ObjectId layerId,
                                                 host::ObjectId linetypeId) {
    Database* db = nullptr;
    auto* layer = dbs_.resolveAs<drawing::LayerRecord>(layerId, db);
    Database* linetypeDb = nullptr;
    auto* linetype = dbs_.resolveAs<drawing::LinetypeRecord>(linetypeId, linetypeDb);
    if (layer == nullptr || linetype == nullptr) return host::Status::WrongType;
    if (db != linetypeDb) return host::Status::InvalidInput;
    layer->linetype = db->indexOf(linetypeId);
    return host::Status::Ok;
}

host::Status SymbolTableAccess::addTextStyle(host::DatabaseId id, const host::TextStyleSpec& style,
                                             host::ObjectId* out) {
    Database* db = dbs_.database(id);
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

std::string SymbolTableAccess::symbolName(host::ObjectId record) {
    Database* db = nullptr;
    const auto* symbol = dbs_.resolveAs<drawing::SymbolRecord>(record, db);
    return symbol ? symbol->name : std::string();
}

host::Status SymbolTableAccess::renameSymbol(host::ObjectId record, std::string_view newName) {
    ObjectIndex index = 0;
    Database* db = dbs_.resolve(record, index);
    if (db == nullptr) return host::Status::NotFound;
    return toHostStatus(db->rename(index, newName));
}

host::ObjectId SymbolTableAccess::objectIdFromHandle(host::DatabaseId id,
                                                     std::string_view handleText) {
    Database* db = dbs_.database(id);
    if (db == nullptr) return {};
    const ObjectIndex index = db->indexFromHandleText(handleText);
    const drawing::Object* o = db->object(index);
    return o && !o->erased ? db->idOf(index) : host::ObjectId{};
}

}  // namespace qkshost
