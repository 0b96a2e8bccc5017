// The database half of qks::host::DrawingServices over qkshost's drawing model: the host's
// implementation of the interface forwards these calls here (documents, the selection prompt
// and plotting stay with the host application). Same names, arguments and status values as
// the interface in qks/host/drawing.h.
//
// Ownership: the store owns every database it created or adopted; ids stay valid until
// deleteDatabase. Main thread only.
#pragma once

#include "qkshost/drawing/database.h"

#include <qks/host/drawing.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace qkshost::drawing {

namespace host = qks::host;

host::Status toHostStatus(Status s);

class DrawingStore {
  public:
    // ---- databases
    host::DatabaseId createDatabase(bool withDefaultDrawing);
    host::DatabaseId adopt(std::unique_ptr<Database> db);  // e.g. a document's drawing
    void deleteDatabase(host::DatabaseId id);
    Database* database(host::DatabaseId id) const;
    host::DatabaseId databaseOf(host::ObjectId object) const;
    host::Status readDrawingFile(host::DatabaseId id, const std::string& path,
                                 std::string* message);
    host::Status saveDatabase(host::DatabaseId id, const std::string& path,
                              std::string* writtenPath, std::string* message);

    // ---- symbol tables
    host::ObjectId modelSpace(host::DatabaseId id) const;
    host::ObjectId findBlock(host::DatabaseId id, std::string_view name) const;
    std::vector<host::ObjectId> blockEntities(host::ObjectId blockRecord) const;
    std::vector<host::ObjectId> layers(host::DatabaseId id) const;
    host::ObjectId findLayer(host::DatabaseId id, std::string_view name) const;
    host::Status addLayer(host::DatabaseId id, std::string_view name, int colorIndex,
                          host::ObjectId* out);
    host::ObjectId findTextStyle(host::DatabaseId id, std::string_view name) const;
    host::Status addTextStyle(host::DatabaseId id, const host::TextStyleSpec& style,
                              host::ObjectId* out);
    std::string symbolName(host::ObjectId record) const;
    host::Status renameSymbol(host::ObjectId record, std::string_view newName);
    host::ObjectId objectIdFromHandle(host::DatabaseId id, std::string_view handleText) const;

    // ---- entities
    host::Status entityInfo(host::ObjectId entity, host::EntityInfo& info) const;
    host::Status geometricExtents(host::ObjectId entity, Extents3d& extents) const;
    host::Status curveIsClosed(host::ObjectId curve, bool& closed) const;
    host::Status curveParameterRange(host::ObjectId curve, double& start, double& end) const;
    host::Status curvePointAt(host::ObjectId curve, double parameter, Point3d& point) const;
    host::Status blockReference(host::ObjectId reference, host::BlockReferenceInfo& info) const;
    std::vector<host::ObjectId> attributes(host::ObjectId reference) const;
    host::Status textInfo(host::ObjectId text, host::TextInfo& info) const;
    host::Status lwPolyline(host::ObjectId polyline, host::LwPolylineInfo& info) const;
    host::Status setTextRotation(host::ObjectId text, double rotation);

    // ---- creation
    host::Status addLwPolyline(host::ObjectId blockRecord, const std::vector<Point3d>& vertices,
                               bool closed, std::string_view layer, host::ObjectId* out);
    host::Status addText(host::ObjectId blockRecord, const host::TextSpec& text,
                         host::ObjectId* out);
    host::Status addMText(host::ObjectId blockRecord, const host::MTextSpec& text,
                          host::ObjectId* out);
    host::Status addBlockReference(host::ObjectId blockRecord,
                                   const host::BlockReferenceSpec& reference, host::ObjectId* out);

    // ---- whole drawings
    host::Status insertDatabaseAsBlock(host::DatabaseId target, std::string_view blockName,
                                       host::DatabaseId source, host::ObjectId* block,
                                       int* notCarried);
    host::Status writeBlockOut(const std::vector<host::ObjectId>& objects, const Point3d& basePoint,
                               host::DatabaseId* result);

    // ---- selection: one typed line (see selection.h); false when cancelled or empty
    bool selectByLine(host::DatabaseId id, std::string_view line,
                      std::vector<host::ObjectId>& selection, std::string* message) const;

    // ---- layouts
    std::vector<host::LayoutInfo> layouts(host::DatabaseId id) const;
    std::string activeLayoutName(host::DatabaseId id) const;
    host::Status setCurrentLayout(host::ObjectId layout);
    host::Status setCurrentLayoutByName(host::DatabaseId id, std::string_view name);
    host::Status getPlotSettings(host::ObjectId layout, host::PlotSettings& settings) const;
    host::Status setPlotSettings(host::ObjectId layout, const host::PlotSettings& settings);

  private:
    struct Ref {
        Database* db = nullptr;
        ObjectIndex index = 0;
        Object* object = nullptr;
    };
    Ref resolve(host::ObjectId id) const;
    template <class T>
    T* as(host::ObjectId id, Database** db = nullptr) const {
        Ref r = resolve(id);
        if (db) *db = r.db;
        return r.object ? dynamic_cast<T*>(r.object) : nullptr;
    }

    std::map<std::uint32_t, std::unique_ptr<Database>> databases_;
};

}  // namespace qkshost::drawing
