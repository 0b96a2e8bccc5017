// qkshost's drawing half of the plug-in's host interface, over the drawing database. Each
// call goes to the part of the implementation that serves its role (src/: host_databases,
// symbol_tables, entity_access, entity_creation, drawing_annotation, layout_settings,
// plot_services, view_export).
//
// Ownership: side databases created through createDatabase belong to this object until the
// plug-in deletes them; document databases belong to their documents (HostApplication).
// Threads: main thread only.
#pragma once

#include <map>
#include <memory>

#include "qks/host/drawing.h"
#include "qkshost/drawing/database.h"

namespace qkshost {

class HostApplication;
class HostDatabases;
class SymbolTableAccess;
class EntityAccess;
class EntityCreation;
class AnnotationCreation;
class LayoutSettings;
class PlotPublisher;
class DrawingWindowServices;

// The interface's status for a status of the drawing database.
qks::host::Status toHostStatus(drawing::Status status);

class HostDrawingServices final : public qks::host::DrawingServices {
  public:
    explicit HostDrawingServices(HostApplication& app);
    ~HostDrawingServices() override;

    // The database behind an id: a side database or a document's. Null when unknown.
    drawing::Database* database(qks::host::DatabaseId id) const;

    // How writeView splits a large model space into parts drawn on threads of their own: no
    // part under `entitiesPerPart` entities, at most `maxParts` parts (0: one per core). For
    // tests and benchmarks; set on the main thread while no view is being written.
    static void setViewParts(std::size_t entitiesPerPart, unsigned maxParts);

    // ---- qks::host::DrawingServices: every role of the interface (DrawingAccess,
    // DrawingEdits, SelectionServices, DocumentServices, PlotServices) in one object
    qks::host::DatabaseId createDatabase(bool withDefaultDrawing) override;
    void deleteDatabase(qks::host::DatabaseId database) override;
    qks::host::Status readDrawingFile(qks::host::DatabaseId database, const std::string& path,
                                      std::string* message) override;
    qks::host::Status saveDatabase(qks::host::DatabaseId database, const std::string& path,
                                   std::string* writtenPath, std::string* message) override;
    qks::host::DatabaseId documentDatabase(qks::host::DocumentId document) override;
    qks::host::DatabaseId databaseOf(qks::host::ObjectId object) override;
    int drawingUnits(qks::host::DatabaseId database) override;
    qks::host::Status setDrawingUnits(qks::host::DatabaseId database, int insUnits) override;

    qks::host::DocumentId openDocument(const std::string& path, std::string* message) override;
    qks::host::Status makeDocumentCurrent(qks::host::DocumentId document) override;
    qks::host::Status activateDocument(qks::host::DocumentId document) override;
    qks::host::Status lockDocument(qks::host::DocumentId document) override;
    qks::host::Status unlockDocument(qks::host::DocumentId document) override;
    qks::host::Status closeDocument(qks::host::DocumentId document) override;

    qks::host::ObjectId modelSpace(qks::host::DatabaseId database) override;
    qks::host::ObjectId findBlock(qks::host::DatabaseId database, std::string_view name) override;
    std::vector<qks::host::ObjectId> blockEntities(qks::host::ObjectId blockRecord) override;
    qks::host::Status blockBasePoint(qks::host::ObjectId blockRecord,
                                     qks::host::Point3d& base) override;
    std::vector<qks::host::ObjectId> layers(qks::host::DatabaseId database) override;
    qks::host::ObjectId findLayer(qks::host::DatabaseId database, std::string_view name) override;
    qks::host::Status addLayer(qks::host::DatabaseId database, std::string_view name,
                               int colorIndex, qks::host::ObjectId* id) override;
    qks::host::ObjectId findTextStyle(qks::host::DatabaseId database,
                                      std::string_view name) override;
    qks::host::Status addLinetype(qks::host::DatabaseId database, std::string_view name,
                                  std::string_view description, const std::vector<double>& dashes,
                                  qks::host::ObjectId* id) override;
    qks::host::Status setLayerLinetype(qks::host::ObjectId layer,
                                       qks::host::ObjectId linetype) override;
    qks::host::Status addTextStyle(qks::host::DatabaseId database,
                                   const qks::host::TextStyleSpec& style,
                                   qks::host::ObjectId* id) override;
    std::string symbolName(qks::host::ObjectId record) override;
    qks::host::Status renameSymbol(qks::host::ObjectId record, std::string_view newName) override;
    qks::host::ObjectId objectIdFromHandle(qks::host::DatabaseId database,
                                           std::string_view handleText) override;

    qks::host::Status entityInfo(qks::host::ObjectId entity, qks::host::EntityInfo& info) override;
    qks::host::Status geometricExtents(qks::host::ObjectId entity,
                                       qks::host::Extents3d& extents) override;
    qks::host::Status curveIsClosed(qks::host::ObjectId curve, bool& closed) override;
    qks::host::Status curveParameterRange(qks::host::ObjectId curve, double& start,
                                          double& end) override;
    qks::host::Status curvePointAt(qks::host::ObjectId curve, double parameter,
                                   qks::host::Point3d& point) override;
    qks::host::Status curvePoints(qks::host::ObjectId curve, double chordError,
                                  std::vector<qks::host::Point3d>& points, bool& closed) override;
    qks::host::Status blockReference(qks::host::ObjectId reference,
                                     qks::host::BlockReferenceInfo& info) override;
    std::vector<qks::host::ObjectId> attributes(qks::host::ObjectId reference) override;
    qks::host::Status textInfo(qks::host::ObjectId text, qks::host::TextInfo& info) override;
    qks::host::Status lwPolyline(qks::host::ObjectId polyline,
                                 qks::host::LwPolylineInfo& info) override;
    qks::host::Status setTextRotation(qks::host::ObjectId text, double rotation) override;
    qks::host::EntityType entityType(qks::host::ObjectId entity) override;
    qks::host::Status arcInfo(qks::host::ObjectId curve, qks::host::ArcInfo& info) override;
    qks::host::Status entityProperties(qks::host::ObjectId entity,
                                       qks::host::EntityProperties& properties) override;
    qks::host::Status setEntityProperties(qks::host::ObjectId entity,
                                          const qks::host::EntityProperties& properties) override;
    qks::host::Status eraseEntity(qks::host::ObjectId entity) override;
    qks::host::Status eraseEntities(const std::vector<qks::host::ObjectId>& entities) override;
    qks::host::Status explodeBlockReference(qks::host::ObjectId reference,
                                            std::vector<qks::host::ObjectId>* created) override;
    qks::host::Status addLine(qks::host::ObjectId blockRecord, const qks::host::Point3d& start,
                              const qks::host::Point3d& end, std::string_view layer,
                              qks::host::ObjectId* id) override;
    qks::host::Status addCircle(qks::host::ObjectId blockRecord, const qks::host::Point3d& centre,
                                double radius, std::string_view layer,
                                qks::host::ObjectId* id) override;
    qks::host::Status addArc(qks::host::ObjectId blockRecord, const qks::host::Point3d& centre,
                             double radius, double startAngle, double endAngle,
                             std::string_view layer, qks::host::ObjectId* id) override;
    qks::host::Status addBulgedPolyline(qks::host::ObjectId blockRecord,
                                        const std::vector<qks::host::Point3d>& vertices,
                                        const std::vector<double>& bulges, bool closed,
                                        std::string_view layer, qks::host::ObjectId* id) override;
    qks::host::Status addDimensionStyle(qks::host::DatabaseId database,
                                        const qks::host::DimensionStyleSpec& style,
                                        qks::host::ObjectId* id) override;
    qks::host::Status addDimension(qks::host::ObjectId blockRecord,
                                   const qks::host::DimensionSpec& dimension,
                                   qks::host::ObjectId* id) override;
    qks::host::Status addBlock(qks::host::DatabaseId database, std::string_view name,
                               const qks::host::Point3d& base, qks::host::ObjectId* id) override;
    qks::host::Status addAttributeDefinition(qks::host::ObjectId blockRecord,
                                             const qks::host::AttributeDefinitionSpec& definition,
                                             qks::host::ObjectId* id) override;

    qks::host::Status addLwPolyline(qks::host::ObjectId blockRecord,
                                    const std::vector<qks::host::Point3d>& vertices, bool closed,
                                    std::string_view layer, qks::host::ObjectId* id) override;
    qks::host::Status addText(qks::host::ObjectId blockRecord, const qks::host::TextSpec& text,
                              qks::host::ObjectId* id) override;
    qks::host::Status addMText(qks::host::ObjectId blockRecord, const qks::host::MTextSpec& text,
                               qks::host::ObjectId* id) override;
    qks::host::Status addBlockReference(qks::host::ObjectId blockRecord,
                                        const qks::host::BlockReferenceSpec& reference,
                                        qks::host::ObjectId* id) override;

    qks::host::Status insertDatabaseAsBlock(qks::host::DatabaseId target,
                                            std::string_view blockName,
                                            qks::host::DatabaseId source,
                                            qks::host::ObjectId* block, int* notCarried) override;
    qks::host::Status writeBlockOut(const std::vector<qks::host::ObjectId>& objects,
                                    const qks::host::Point3d& basePoint,
                                    qks::host::DatabaseId* result) override;

    bool selectObjects(std::string_view prompt,
                       std::vector<qks::host::ObjectId>& selection) override;
    qks::host::Status writeView(qks::host::DocumentId document, std::string_view layout,
                                const std::string& path, std::string_view notice) override;

    std::vector<qks::host::LayoutInfo> layouts(qks::host::DatabaseId database) override;
    std::string activeLayoutName() override;
    qks::host::Status setCurrentLayout(qks::host::ObjectId layout) override;
    qks::host::Status setCurrentLayoutByName(std::string_view name) override;
    qks::host::Status getPlotSettings(qks::host::ObjectId layout,
                                      qks::host::PlotSettings& settings) override;
    qks::host::Status setPlotSettings(qks::host::ObjectId layout,
                                      const qks::host::PlotSettings& settings) override;

    bool hasPlotDevice(std::string_view device) override;
    std::vector<std::string> canonicalMediaNames(std::string_view device) override;
    qks::host::Status setPlotDeviceAndMedia(qks::host::PlotSettings& settings,
                                            std::string_view device,
                                            std::string_view media) override;
    qks::host::Status setPaperUnits(qks::host::PlotSettings& settings,
                                    qks::host::PaperUnits units) override;
    qks::host::Status setStyleSheet(qks::host::PlotSettings& settings,
                                    std::string_view styleSheet) override;
    qks::host::Status setPlotType(qks::host::PlotSettings& settings,
                                  qks::host::PlotType type) override;
    qks::host::Status setPlotWindow(qks::host::PlotSettings& settings, double minX, double minY,
                                    double maxX, double maxY) override;
    qks::host::Status setStandardScale(qks::host::PlotSettings& settings, bool useStandardScale,
                                       int standardScaleType) override;
    qks::host::Status setCentered(qks::host::PlotSettings& settings, bool centered) override;
    qks::host::Status setPlotOrigin(qks::host::PlotSettings& settings, double x, double y) override;
    qks::host::Status setPlotRotation(qks::host::PlotSettings& settings, int quarterTurns) override;
    qks::host::Status validatePlotInfo(qks::host::PlotInfo& info, int mediaMatchingPolicy) override;

    qks::host::PublishEngineId createPublishEngine() override;
    void destroyPublishEngine(qks::host::PublishEngineId engine) override;
    qks::host::Status beginPlot(qks::host::PublishEngineId engine) override;
    qks::host::Status endPlot(qks::host::PublishEngineId engine) override;
    qks::host::Status beginDocument(qks::host::PublishEngineId engine,
                                    const qks::host::PlotInfo& info, std::string_view documentName,
                                    int copies, const std::string& pdfPath) override;
    qks::host::Status beginPage(qks::host::PublishEngineId engine, const qks::host::PlotInfo& info,
                                bool lastPage) override;
    qks::host::Status beginGenerateGraphics(qks::host::PublishEngineId engine) override;
    qks::host::Status endGenerateGraphics(qks::host::PublishEngineId engine) override;
    qks::host::Status endPage(qks::host::PublishEngineId engine) override;
    qks::host::Status endDocument(qks::host::PublishEngineId engine) override;

  private:
    // Declared first: the other parts find databases and objects through it.
    std::unique_ptr<HostDatabases> databases_;
    std::unique_ptr<SymbolTableAccess> symbols_;
    std::unique_ptr<EntityAccess> entities_;
    std::unique_ptr<EntityCreation> creation_;
    std::unique_ptr<AnnotationCreation> annotation_;
    std::unique_ptr<LayoutSettings> layouts_;
    std::unique_ptr<PlotPublisher> publisher_;
    std::unique_ptr<DrawingWindowServices> window_;
};

}  // namespace qkshost
