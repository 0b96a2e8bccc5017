// Annotation the plug-in creates: dimension styles, dimensions with their geometry blocks,
// block definitions with attribute definitions, and exploding block references.
#include <cmath>

#include "creation_checks.h"
#include "drawing_annotation.h"
#include "qkshost/app/drawing_services.h"
#include "qkshost/drawing/annotation.h"
#include "qkshost/drawing/transform.h"

namespace qkshost {

namespace host = qks::host;
using app::finite;
using app::layerFor;
using drawing::Database;
using drawing::ObjectIndex;

namespace {

bool positive(double v) {
    return v > 0 && finite(v);
}
bool notNegative(double v) {
    return v >= 0 && finite(v);
}

// The record of kind T an id names in `db`: `index` 0 for a null id (the caller's default
// applies); false when the id names anything else.
template <class T>
bool recordFor(const Database& db, host::ObjectId id, ObjectIndex& index) {
    index = id ? db.indexOf(id) : 0;
    const T* record = db.get<T>(index);
    return !id || (record != nullptr && !record->erased);
}

}  // namespace

host::Status AnnotationCreation::addDimensionStyle(host::DatabaseId id,
                                                   const host::DimensionStyleSpec& style,
                                                   host::ObjectId* out) {
    Database* db = dbs_.database(id);
    if (db == nullptr) return host::Status::NotFound;
    if (const ObjectIndex existing = db->findDimStyle(style.name)) {
        if (out) *out = db->idOf(existing);
        return host::Status::Duplicate;
    }
    ObjectIndex textStyle = 0;
    if (!positive(style.textHeight) || !positive(style.arrowSize) ||
        !notNegative(style.extensionOffset) || !notNegative(style.extensionBeyond) ||
        !notNegative(style.textGap) || style.decimals < 0 || style.decimals > 8)
        return host::Status::InvalidInput;
    if (!recordFor<drawing::TextStyleRecord>(*db, style.textStyle, textStyle))
        return host::Status::NotFound;
    ObjectIndex index = 0;
    const drawing::Status status = db->addDimStyle(style.name, &index);
    if (out) *out = db->idOf(index);
    if (status != drawing::Status::Ok) return toHostStatus(status);
    auto* record = db->get<drawing::DimStyleRecord>(index);
    drawing::DimStyleVariables& v = record->variables;
    v.textHeight = style.textHeight;
    v.arrowSize = style.arrowSize;
    v.extensionOffset = style.extensionOffset;
    v.extensionExtend = style.extensionBeyond;
    v.textGap = style.textGap;
    v.decimals = style.decimals;
    // What the host draws for dimensions of this style, stated so that a program that draws
    // them again draws the same: trailing zeros dropped, text above the line and along it.
    v.zeroSuppression = 8;
    v.textAbove = 1;
    v.textInsideHorizontal = 0;
    v.textOutsideHorizontal = 0;
    record->textStyle = textStyle ? textStyle : db->currentTextStyle;
    return host::Status::Ok;
}

host::Status AnnotationCreation::addDimension(host::ObjectId blockRecord,
                                              const host::DimensionSpec& dimension,
                                              host::ObjectId* id) {
    Database* db = nullptr;
    const auto* record = dbs_.resolveAs<drawing::BlockRecord>(blockRecord, db);
    if (record == nullptr) return host::Status::NotFound;
    if (!finite(dimension.first) || !finite(dimension.second) || !finite(dimension.line) ||
        !finite(dimension.origin) || !finite(dimension.rotation))
        return host::Status::InvalidInput;
    drawing::DimensionRequest request;
    switch (dimension.kind) {
        case host::DimensionKind::Linear:
            request.kind = drawing::DimensionKind::Linear;
            break;
        case host::DimensionKind::Diameter:
            request.kind = drawing::DimensionKind::Diameter;
            break;
        case host::DimensionKind::Ordinate:
            request.kind = drawing::DimensionKind::Ordinate;
            break;
        default:
            return host::Status::InvalidInput;
    }
    request.first = dimension.first;
    request.second = dimension.second;
    request.line = dimension.line;
    request.rotation = dimension.rotation;
    request.ordinateX = dimension.ordinateX;
    request.origin = dimension.origin;
    request.text = dimension.text;
    if (!layerFor(*db, dimension.layer, request.layer) ||
        !recordFor<drawing::DimStyleRecord>(*db, dimension.style, request.style))
        return host::Status::NotFound;
    ObjectIndex index = 0;
    const drawing::Status status = drawing::addDimension(*db, record->self, request, &index);
    if (id) *id = db->idOf(index);
    return toHostStatus(status);
}

host::Status AnnotationCreation::addBlock(host::DatabaseId database, std::string_view name,
                                          const host::Point3d& base, host::ObjectId* id) {
    Database* db = dbs_.database(database);
    if (db == nullptr) return host::Status::NotFound;
    // Names starting with '*' belong to the host's anonymous blocks.
    if (!finite(base) || name.empty() || name.front() == '*') return host::Status::InvalidInput;
    ObjectIndex index = 0;
    const drawing::Status status = db->addBlock(name, &index);
    if (id) *id = db->idOf(index);
    if (status == drawing::Status::Ok) db->get<drawing::BlockRecord>(index)->base = base;
    return toHostStatus(status);
}

host::Status AnnotationCreation::addAttributeDefinition(
    host::ObjectId blockRecord, const host::AttributeDefinitionSpec& definition,
    host::ObjectId* id) {
    Database* db = nullptr;
    const auto* record = dbs_.resolveAs<drawing::BlockRecord>(blockRecord, db);
    if (record == nullptr) return host::Status::NotFound;
    // A tag is one word: programs that list attributes split at blanks.
    if (definition.tag.empty() || definition.tag.find_first_of(" \t\r\n") != std::string::npos ||
        !finite(definition.position) || !positive(definition.height))
        return host::Status::InvalidInput;
    ObjectIndex style = 0;
    if (!recordFor<drawing::TextStyleRecord>(*db, definition.textStyle, style))
        return host::Status::NotFound;
    auto made = std::make_unique<drawing::AttributeDefinition>();
    made->tag = definition.tag;
    made->prompt = definition.prompt;
    made->text = definition.defaultValue;
    // Centred on the point both ways: the alignment point holds it, the insertion point too.
    made->position = definition.position;
    made->alignment = definition.position;
    made->hasAlignment = true;
    made->hAlign = 1;
    made->vAlign = 2;
    made->height = definition.height;
    made->style = style ? style : db->currentTextStyle;
    const ObjectIndex index = db->appendEntity(std::move(made), record->self);
    if (id) *id = db->idOf(index);
    return index ? host::Status::Ok : host::Status::Failed;
}

host::Status AnnotationCreation::explodeBlockReference(host::ObjectId reference,
                                                       std::vector<host::ObjectId>* created) {
    ObjectIndex index = 0;
    Database* db = dbs_.resolve(reference, index);
    if (db == nullptr) return host::Status::NotFound;
    std::vector<ObjectIndex> made;
    const drawing::Status status = drawing::explodeReference(*db, index, &made);
    if (status == drawing::Status::Ok && created) {
        created->clear();
        for (const ObjectIndex i : made)
            created->push_back(db->idOf(i));
    }
    return toHostStatus(status);
}

}  // namespace qkshost
