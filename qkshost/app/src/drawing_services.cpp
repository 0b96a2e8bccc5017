// The drawing services hand each call to the part that serves its role: databases and
// documents, symbol tables, reading and editing entities, creating them, annotation, layouts
// and plot settings, publishing, and the drawing window.
#include "qkshost/app/drawing_services.h"

#include "drawing_annotation.h"
#include "entity_access.h"
#include "entity_creation.h"
#include "host_databases.h"
#include "layout_settings.h"
#include "plot_services.h"
#include "symbol_tables.h"
#include "view_export.h"

namespace qkshost {

namespace host = qks::host;
using drawing::Database;

host::Status toHostStatus(drawing::Status status) {
    switch (status) {
        case drawing::Status::Ok:
            return host::Status::Ok;
        case drawing::Status::NotFound:
            return host::Status::NotFound;
        case drawing::Status::InvalidInput:
            return host::Status::InvalidInput;
        case drawing::Status::ReadError:
            return host::Status::ReadError;
        case drawing::Status::WriteError:
            return host::Status::WriteError;
        case drawing::Status::WrongType:
            return host::Status::WrongType;
        case drawing::Status::Duplicate:
            return host::Status::Duplicate;
        case drawing::Status::NotApplicable:
            return host::Status::NotApplicable;
        case drawing::Status::Encrypted:
            return host::Status::Encrypted;
        default:
            return host::Status::Failed;
    }
}

HostDrawingServices::HostDrawingServices(HostApplication& app)
    : databases_(std::make_unique<HostDatabases>(app)),
      symbols_(std::make_unique<SymbolTableAccess>(*databases_)),
      entities_(std::make_unique<EntityAccess>(*databases_)),
      creation_(std::make_unique<EntityCreation>(*databases_)),
      annotation_(std::make_unique<AnnotationCreation>(*databases_)),
      layouts_(std::make_unique<LayoutSettings>(*databases_, app)),
      publisher_(std::make_unique<PlotPublisher>(*databases_, *this)),
      window_(std::make_unique<DrawingWindowServices>(app)) {}
HostDrawingServices::~HostDrawingServices() = default;

Database* HostDrawingServices::database(host::DatabaseId id) const {
    return databases_->database(id);
}

host::DatabaseId HostDrawingServices::createDatabase(bool withDefaultDrawing) {
    return databases_->createDatabase(withDefaultDrawing);
}

void HostDrawingServices::deleteDatabase(host::DatabaseId database) {
    databases_->deleteDatabase(database);
}

host::Status HostDrawingServices::readDrawingFile(host::DatabaseId database,
                                                  const std::string& path, std::string* message) {
    return databases_->readDrawingFile(database, path, message);
}

host::Status HostDrawingServices::saveDatabase(host::DatabaseId database, const std::string& path,
                                               std::string* writtenPath, std::string* message) {
    return databases_->saveDatabase(database, path, writtenPath, message);
}

host::DatabaseId HostDrawingServices::documentDatabase(host::DocumentId document) {
    return databases_->documentDatabase(document);
}

host::DatabaseId HostDrawingServices::databaseOf(host::ObjectId object) {
    return databases_->databaseOf(object);
}

int HostDrawingServices::drawingUnits(host::DatabaseId database) {
    return databases_->drawingUnits(database);
}

host::Status HostDrawingServices::setDrawingUnits(host::DatabaseId database, int insUnits) {
    return databases_->setDrawingUnits(database, insUnits);
}

host::DocumentId HostDrawingServices::openDocument(const std::string& path, std::string* message) {
    return databases_->openDocument(path, message);
}

host::Status HostDrawingServices::makeDocumentCurrent(host::DocumentId document) {
    return databases_->makeDocumentCurrent(document);
}

host::Status HostDrawingServices::activateDocument(host::DocumentId document) {
    return databases_->activateDocument(document);
}

host::Status HostDrawingServices::lockDocument(host::DocumentId document) {
    return databases_->lockDocument(document);
}

host::Status HostDrawingServices::unlockDocument(host::DocumentId document) {
    return databases_->unlockDocument(document);
}

host::Status HostDrawingServices::closeDocument(host::DocumentId document) {
    return databases_->closeDocument(document);
}

host::ObjectId HostDrawingServices::modelSpace(host::DatabaseId database) {
    return symbols_->modelSpace(database);
}

host::ObjectId HostDrawingServices::findBlock(host::DatabaseId database, std::string_view name) {
    return symbols_->findBlock(database, name);
}

std::vector<host::ObjectId> HostDrawingServices::blockEntities(host::ObjectId blockRecord) {
    return symbols_->blockEntities(blockRecord);
}

host::Status HostDrawingServices::blockBasePoint(host::ObjectId blockRecord, host::Point3d& base) {
    return symbols_->blockBasePoint(blockRecord, base);
}

std::vector<host::ObjectId> HostDrawingServices::layers(host::DatabaseId database) {
    return symbols_->layers(database);
}

host::ObjectId HostDrawingServices::findLayer(host::DatabaseId database, std::string_view name) {
    return symbols_->findLayer(database, name);
}

host::Status HostDrawingServices::addLayer(host::DatabaseId database, std::string_view name,
                                           int colorIndex, host::ObjectId* id) {
    return symbols_->addLayer(database, name, colorIndex, id);
}

host::ObjectId HostDrawingServices::findTextStyle(host::DatabaseId database,
                                                  std::string_view name) {
    return symbols_->findTextStyle(database, name);
}

host::Status HostDrawingServices::addLinetype(host::DatabaseId database, std::string_view name,
                                              std::string_view description,
                                              const std::vector<double>& dashes,
                                              host::ObjectId* id) {
    return symbols_->addLinetype(database, name, description, dashes, id);
}

host::Status HostDrawingServices::setLayerLinetype(host::ObjectId layer, host::ObjectId linetype) {
    return symbols_->setLayerLinetype(layer, linetype);
}

host::Status HostDrawingServices::addTextStyle(host::DatabaseId database,
                                               const host::TextStyleSpec& style,
                                               host::ObjectId* id) {
    return symbols_->addTextStyle(database, style, id);
}

std::string HostDrawingServices::symbolName(host::ObjectId record) {
    return symbols_->symbolName(record);
}

host::Status HostDrawingServices::renameSymbol(host::ObjectId record, std::string_view newName) {
    return symbols_->renameSymbol(record, newName);
}

host::ObjectId HostDrawingServices::objectIdFromHandle(host::DatabaseId database,
                                                       std::string_view handleText) {
    return symbols_->objectIdFromHandle(database, handleText);
}

host::Status HostDrawingServices::entityInfo(host::ObjectId entity, host::EntityInfo& info) {
    return entities_->entityInfo(entity, info);
}

host::Status HostDrawingServices::geometricExtents(host::ObjectId entity,
                                                   host::Extents3d& extents) {
    return entities_->geometricExtents(entity, extents);
}

host::Status HostDrawingServices::curveIsClosed(host::ObjectId curve, bool& closed) {
    return entities_->curveIsClosed(curve, closed);
}

host::Status HostDrawingServices::curveParameterRange(host::ObjectId curve, double& start,
                                                      double& end) {
    return entities_->curveParameterRange(curve, start, end);
}

host::Status HostDrawingServices::curvePointAt(host::ObjectId curve, double parameter,
                                               host::Point3d& point) {
    return entities_->curvePointAt(curve, parameter, point);
}

host::Status HostDrawingServices::curvePoints(host::ObjectId curve, double chordError,
                                              std::vector<host::Point3d>& points, bool& closed) {
    return entities_->curvePoints(curve, chordError, points, closed);
}

host::Status HostDrawingServices::blockReference(host::ObjectId reference,
                                                 host::BlockReferenceInfo& info) {
    return entities_->blockReference(reference, info);
}

std::vector<host::ObjectId> HostDrawingServices::attributes(host::ObjectId reference) {
    return entities_->attributes(reference);
}

host::Status HostDrawingServices::textInfo(host::ObjectId text, host::TextInfo& info) {
    return entities_->textInfo(text, info);
}

host::Status HostDrawingServices::lwPolyline(host::ObjectId polyline, host::LwPolylineInfo& info) {
    return entities_->lwPolyline(polyline, info);
}

host::Status HostDrawingServices::setTextRotation(host::ObjectId text, double rotation) {
    return entities_->setTextRotation(text, rotation);
}

host::EntityType HostDrawingServices::entityType(host::ObjectId entity) {
    return entities_->entityType(entity);
}

host::Status HostDrawingServices::arcInfo(host::ObjectId curve, host::ArcInfo& info) {
    return entities_->arcInfo(curve, info);
}

host::Status HostDrawingServices::entityProperties(host::ObjectId entity,
                                                   host::EntityProperties& properties) {
    return entities_->entityProperties(entity, properties);
}

host::Status HostDrawingServices::setEntityProperties(host::ObjectId entity,
                                                      const host::EntityProperties& properties) {
    return entities_->setEntityProperties(entity, properties);
}

host::Status HostDrawingServices::eraseEntity(host::ObjectId entity) {
    return entities_->eraseEntity(entity);
}

host::Status HostDrawingServices::eraseEntities(const std::vector<host::ObjectId>& entities) {
    return entities_->eraseEntities(entities);
}

host::Status HostDrawingServices::explodeBlockReference(host::ObjectId reference,
                                                        std::vector<host::ObjectId>* created) {
    return annotation_->explodeBlockReference(reference, created);
}

host::Status HostDrawingServices::addLine(host::ObjectId blockRecord, const host::Point3d& start,
                                          const host::Point3d& end, std::string_view layer,
                                          host::ObjectId* id) {
    return creation_->addLine(blockRecord, start, end, layer, id);
}

host::Status HostDrawingServices::addCircle(host::ObjectId blockRecord, const host::Point3d& centre,
                                            double radius, std::string_view layer,
                                            host::ObjectId* id) {
    return creation_->addCircle(blockRecord, centre, radius, layer, id);
}

host::Status HostDrawingServices::addArc(host::ObjectId blockRecord, const host::Point3d& centre,
                                         double radius, double startAngle, double endAngle,
                                         std::string_view layer, host::ObjectId* id) {
    return creation_->addArc(blockRecord, centre, radius, startAngle, endAngle, layer, id);
}

host::Status HostDrawingServices::addBulgedPolyline(host::ObjectId blockRecord,
                                                    const std::vector<host::Point3d>& vertices,
                                                    const std::vector<double>& bulges, bool closed,
                                                    std::string_view layer, host::ObjectId* id) {
    return creation_->addBulgedPolyline(blockRecord, vertices, bulges, closed, layer, id);
}

host::Status HostDrawingServices::addDimensionStyle(host::DatabaseId database,
                                                    const host::DimensionStyleSpec& style,
                                                    host::ObjectId* id) {
    return annotation_->addDimensionStyle(database, style, id);
}

host::Status HostDrawingServices::addDimension(host::ObjectId blockRecord,
                                               const host::DimensionSpec& dimension,
                                               host::ObjectId* id) {
    return annotation_->addDimension(blockRecord, dimension, id);
}

host::Status HostDrawingServices::addBlock(host::DatabaseId database, std::string_view name,
                                           const host::Point3d& base, host::ObjectId* id) {
    return annotation_->addBlock(database, name, base, id);
}

host::Status HostDrawingServices::addAttributeDefinition(
    host::ObjectId blockRecord, const host::AttributeDefinitionSpec& definition,
    host::ObjectId* id) {
    return annotation_->addAttributeDefinition(blockRecord, definition, id);
}

host::Status HostDrawingServices::addLwPolyline(host::ObjectId blockRecord,
                                                const std::vector<host::Point3d>& vertices,
                                                bool closed, std::string_view layer,
                                                host::ObjectId* id) {
    return creation_->addLwPolyline(blockRecord, vertices, closed, layer, id);
}

host::Status HostDrawingServices::addText(host::ObjectId blockRecord, const host::TextSpec& text,
                                          host::ObjectId* id) {
    return creation_->addText(blockRecord, text, id);
}

host::Status HostDrawingServices::addMText(host::ObjectId blockRecord, const host::MTextSpec& text,
                                           host::ObjectId* id) {
    return creation_->addMText(blockRecord, text, id);
}

host::Status HostDrawingServices::addBlockReference(host::ObjectId blockRecord,
                                                    const host::BlockReferenceSpec& reference,
                                                    host::ObjectId* id) {
    return creation_->addBlockReference(blockRecord, reference, id);
}

host::Status HostDrawingServices::insertDatabaseAsBlock(host::DatabaseId target,
                                                        std::string_view blockName,
                                                        host::DatabaseId source,
                                                        host::ObjectId* block, int* notCarried) {
    return creation_->insertDatabaseAsBlock(target, blockName, source, block, notCarried);
}

host::Status HostDrawingServices::writeBlockOut(const std::vector<host::ObjectId>& objects,
                                                const host::Point3d& basePoint,
                                                host::DatabaseId* result) {
    return creation_->writeBlockOut(objects, basePoint, result);
}

bool HostDrawingServices::selectObjects(std::string_view prompt,
                                        std::vector<host::ObjectId>& selection) {
    return window_->selectObjects(prompt, selection);
}

host::Status HostDrawingServices::writeView(host::DocumentId document, std::string_view layout,
                                            const std::string& path, std::string_view notice) {
    return window_->writeView(document, layout, path, notice);
}

std::vector<host::LayoutInfo> HostDrawingServices::layouts(host::DatabaseId database) {
    return layouts_->layouts(database);
}

std::string HostDrawingServices::activeLayoutName() {
    return layouts_->activeLayoutName();
}

host::Status HostDrawingServices::setCurrentLayout(host::ObjectId layout) {
    return layouts_->setCurrentLayout(layout);
}

host::Status HostDrawingServices::setCurrentLayoutByName(std::string_view name) {
    return layouts_->setCurrentLayoutByName(name);
}

host::Status HostDrawingServices::getPlotSettings(host::ObjectId layout,
                                                  host::PlotSettings& settings) {
    return layouts_->getPlotSettings(layout, settings);
}

host::Status HostDrawingServices::setPlotSettings(host::ObjectId layout,
                                                  const host::PlotSettings& settings) {
    return layouts_->setPlotSettings(layout, settings);
}

bool HostDrawingServices::hasPlotDevice(std::string_view device) {
    return layouts_->hasPlotDevice(device);
}

std::vector<std::string> HostDrawingServices::canonicalMediaNames(std::string_view device) {
    return layouts_->canonicalMediaNames(device);
}

host::Status HostDrawingServices::setPlotDeviceAndMedia(host::PlotSettings& settings,
                                                        std::string_view device,
                                                        std::string_view media) {
    return layouts_->setPlotDeviceAndMedia(settings, device, media);
}

host::Status HostDrawingServices::setPaperUnits(host::PlotSettings& settings,
                                                host::PaperUnits units) {
    return layouts_->setPaperUnits(settings, units);
}

host::Status HostDrawingServices::setStyleSheet(host::PlotSettings& settings,
                                                std::string_view styleSheet) {
    return layouts_->setStyleSheet(settings, styleSheet);
}

host::Status HostDrawingServices::setPlotType(host::PlotSettings& settings, host::PlotType type) {
    return layouts_->setPlotType(settings, type);
}

host::Status HostDrawingServices::setPlotWindow(host::PlotSettings& settings, double minX,
                                                double minY, double maxX, double maxY) {
    return layouts_->setPlotWindow(settings, minX, minY, maxX, maxY);
}

host::Status HostDrawingServices::setStandardScale(host::PlotSettings& settings,
                                                   bool useStandardScale, int standardScaleType) {
    return layouts_->setStandardScale(settings, useStandardScale, standardScaleType);
}

host::Status HostDrawingServices::setCentered(host::PlotSettings& settings, bool centered) {
    return layouts_->setCentered(settings, centered);
}

host::Status HostDrawingServices::setPlotOrigin(host::PlotSettings& settings, double x, double y) {
    return layouts_->setPlotOrigin(settings, x, y);
}

host::Status HostDrawingServices::setPlotRotation(host::PlotSettings& settings, int quarterTurns) {
    return layouts_->setPlotRotation(settings, quarterTurns);
}

host::Status HostDrawingServices::validatePlotInfo(host::PlotInfo& info, int mediaMatchingPolicy) {
    return publisher_->validatePlotInfo(info, mediaMatchingPolicy);
}

host::PublishEngineId HostDrawingServices::createPublishEngine() {
    return publisher_->createPublishEngine();
}

void HostDrawingServices::destroyPublishEngine(host::PublishEngineId engine) {
    publisher_->destroyPublishEngine(engine);
}

host::Status HostDrawingServices::beginPlot(host::PublishEngineId engine) {
    return publisher_->beginPlot(engine);
}

host::Status HostDrawingServices::endPlot(host::PublishEngineId engine) {
    return publisher_->endPlot(engine);
}

host::Status HostDrawingServices::beginDocument(host::PublishEngineId engine,
                                                const host::PlotInfo& info,
                                                std::string_view documentName, int copies,
                                                const std::string& pdfPath) {
    return publisher_->beginDocument(engine, info, documentName, copies, pdfPath);
}

host::Status HostDrawingServices::beginPage(host::PublishEngineId engine,
                                            const host::PlotInfo& info, bool lastPage) {
    return publisher_->beginPage(engine, info, lastPage);
}

host::Status HostDrawingServices::beginGenerateGraphics(host::PublishEngineId engine) {
    return publisher_->beginGenerateGraphics(engine);
}

host::Status HostDrawingServices::endGenerateGraphics(host::PublishEngineId engine) {
    return publisher_->endGenerateGraphics(engine);
}

host::Status HostDrawingServices::endPage(host::PublishEngineId engine) {
    return publisher_->endPage(engine);
}

host::Status HostDrawingServices::endDocument(host::PublishEngineId engine) {
    return publisher_->endDocument(engine);
}

}  // namespace qkshost
