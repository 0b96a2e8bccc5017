// The drawing half of the host interface: databases, documents, symbol tables, entities,
// creation, selection, layouts and plotting, as the plug-in's jobs use them, split by role
// (reading, editing, selection, documents, plotting) so that code takes only what it uses.
//
// Threads: main thread only. Ids (ObjectId, DatabaseId, DocumentId) are values; an ObjectId
// names its database too, so calls that take one need no database argument. Nothing throws:
// every operation that can fail returns a Status, and Status::Ok (0) means success.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "qks/host/types.h"

namespace qks::host {

enum class Status : int {
    Ok = 0,
    NotFound,       // no such object, record, file or document
    InvalidInput,   // a value the host does not accept (a bad name, an unknown media)
    ReadError,      // a drawing could not be read (not a drawing, damaged)
    WriteError,     // a drawing or PDF could not be written
    WrongType,      // the object is not of the kind the call needs
    Duplicate,      // the name is taken
    NotApplicable,  // the call makes no sense in this state (no current document, ...)
    Failed,         // anything else, including failures injected by tests
    Encrypted,      // a drawing that cannot be read because it is encrypted (a password, or a
                    // document-protection system's wrapper)
};

inline bool succeeded(Status status) {
    return status == Status::Ok;
}

// A drawing database: one per document, plus side databases the plug-in creates.
struct DatabaseId {
    std::uint32_t value = 0;
    explicit operator bool() const { return value != 0; }
    friend bool operator==(DatabaseId a, DatabaseId b) { return a.value == b.value; }
    friend bool operator!=(DatabaseId a, DatabaseId b) { return a.value != b.value; }
};

enum class EntityType : std::uint8_t {
    Line,
    Arc,
    Circle,
    Ellipse,
    LwPolyline,
    Polyline2d,
    Polyline3d,
    Spline,
    Point,
    Text,
    MText,
    Attribute,
    AttributeDefinition,
    BlockReference,
    Solid,
    Hatch,
    Dimension,
    Viewport,
    Other,
};

struct EntityInfo {
    EntityType type = EntityType::Other;
    std::string dxfName;  // "LINE", "LWPOLYLINE", ...
    std::string layer;
    std::string handle;  // upper-case hexadecimal
    bool isCurve = false;
    // The line type the entity is drawn with: its own, or its layer's when it has "ByLayer";
    // "ByBlock" stays as it is (the inserting reference's line type applies).
    std::string linetype;
};

struct BlockReferenceInfo {
    ObjectId blockRecord;
    std::string blockName;
    Point3d position;  // in the reference's object coordinate system
    double rotation = 0.0;
    Vector3d scale{1, 1, 1};
    Matrix3d transform;  // block space to the space the reference lives in
    // A multiple insert (MINSERT) places its block `columns` x `rows` times: the cell in
    // column c and row r is `transform` moved by c * columnStep + r * rowStep (steps in the
    // space the reference lives in, along the reference's turned axes). 1 x 1 for an INSERT.
    int columns = 1;
    int rows = 1;
    Vector3d columnStep;
    Vector3d rowStep;
};

// TEXT, MTEXT, ATTRIB and ATTDEF. `text` is the contents as stored (MTEXT codes included).
struct TextInfo {
    std::string text;
    std::string tag;  // attributes and attribute definitions
    Point3d position;
    double height = 0.0;
    double rotation = 0.0;
};

struct LwPolylineInfo {
    bool closed = false;
    std::vector<Point3d> vertices;  // world coordinates
    std::vector<double> bulges;     // per vertex: tan(sweep / 4) of the segment it starts
};

// An arc or a circle (a full turn: start 0, end 2π). Angles in radians, counter-clockwise.
struct ArcInfo {
    Point3d centre;
    double radius = 0.0;
    double startAngle = 0.0;
    double endAngle = 0.0;
    bool fullCircle = false;
};

// What an entity is drawn with. Colour: ACI 1..255, 0 ByBlock, 256 ByLayer. Line weight:
// hundredths of a millimetre, -1 ByLayer, -2 ByBlock, -3 the default. Line type: a name,
// "ByLayer" or "ByBlock".
struct EntityProperties {
    std::string layer;
    int colorIndex = 256;
    std::string linetype = "ByLayer";
    int lineweight = -1;
};

// A dimension style: sizes in drawing units.
struct DimensionStyleSpec {
    std::string name;
    double textHeight = 2.5;
    double arrowSize = 2.5;
    double extensionOffset = 0.625;  // gap between the measured point and its extension line
    double extensionBeyond = 1.25;   // extension line past the dimension line
    double textGap = 0.625;          // between the dimension line and its text
    int decimals = 2;
    ObjectId textStyle;  // null: the drawing's current style
};

enum class DimensionKind : int {
    Linear = 0,    // along `rotation` (0 horizontal, π/2 vertical) between first and second
    Diameter = 3,  // first and second: opposite points of the circle
    Ordinate = 6,  // first: the feature; second: the leader's end; of x (`ordinateX`) or y
};

// A DIMENSION entity with its geometry block ("*D…": lines, arrow heads and text drawn as the
// style says), so that programs that do not compute dimensions show it. `text` empty: the
// measurement; otherwise "<>" in it stands for the measurement ("4×%%c<>").
struct DimensionSpec {
    DimensionKind kind = DimensionKind::Linear;
    Point3d first;
    Point3d second;
    Point3d line;           // linear: a point the dimension line passes through
    double rotation = 0.0;  // linear: radians
    bool ordinateX = true;
    Point3d origin;  // ordinate: the point measured from
    std::string text;
    std::string layer;  // empty: the drawing's current layer
    ObjectId style;     // a dimension style; null: the drawing's current one
};

struct AttributeDefinitionSpec {
    std::string tag;
    std::string prompt;
    std::string defaultValue;
    Point3d position;  // in block coordinates; the text is centred there
    double height = 2.5;
    ObjectId textStyle;
};

struct TextStyleSpec {
    std::string name;
    std::string fontFile;  // e.g. "simsun.ttc"
    std::string typeface;  // TrueType family, e.g. "SimSun"; empty for a shape font
    bool bold = false;
    bool italic = false;
    int characterSet = 0;  // 134: GB2312
    int pitchAndFamily = 0;
};

enum class MTextAttachment : int {
    TopLeft = 1,
    TopCenter = 2,
    TopRight = 3,
    MiddleLeft = 4,
    MiddleCenter = 5,
    MiddleRight = 6,
    BottomLeft = 7,
    BottomCenter = 8,
    BottomRight = 9,
};

struct MTextSpec {
    Point3d position;
    std::string contents;
    double height = 2.5;
    double width = 0.0;  // 0: no wrapping
    MTextAttachment attachment = MTextAttachment::TopLeft;
    std::string layer;   // empty: the drawing's current layer
    ObjectId textStyle;  // null: the drawing's current style
};

struct TextSpec {
    Point3d position;
    std::string contents;
    double height = 2.5;
    double rotation = 0.0;
    std::string layer;
    ObjectId textStyle;
};

struct BlockReferenceSpec {
    ObjectId blockRecord;
    Point3d position;
    double rotation = 0.0;  // radians
    Vector3d scale{1, 1, 1};
    std::string layer;  // empty: the drawing's current layer
    // Values of the block's attribute definitions by tag; every definition gets an attribute,
    // with its default value where none is given here.
    std::vector<std::pair<std::string, std::string>> attributes;
};

struct LayoutInfo {
    ObjectId id;
    std::string name;
    bool isModel = false;
    ObjectId blockRecord;
};

enum class PlotType : int {
    Display = 0,
    Extents = 1,
    Limits = 2,
    View = 3,
    Window = 4,
    Layout = 5
};
enum class PaperUnits : int { Inches = 0, Millimeters = 1, Pixels = 2 };
inline constexpr int kScaleToFit = 0;  // standard scale type
inline constexpr int kOneToOne = 16;

// A page setup as a value: read from a layout, changed through the validator calls below,
// written back whole.
struct PlotSettings {
    std::string device;       // e.g. "DWG To PDF.pc3", or "none_device"
    std::string media;        // canonical media name
    std::string styleSheet;   // e.g. "monochrome.ctb"; empty: none
    double paperWidth = 0.0;  // in paperUnits, as the medium is named (landscape or portrait)
    double paperHeight = 0.0;
    PaperUnits paperUnits = PaperUnits::Millimeters;
    double marginLeft = 0.0, marginBottom = 0.0, marginRight = 0.0, marginTop = 0.0;  // mm
    PlotType plotType = PlotType::Layout;
    double windowMinX = 0.0, windowMinY = 0.0, windowMaxX = 0.0, windowMaxY = 0.0;
    bool useStandardScale = true;
    int standardScaleType = kOneToOne;
    double customNumerator = 1.0, customDenominator = 1.0;
    bool centered = false;
    double originX = 0.0, originY = 0.0;  // mm
    int rotation = 0;                     // quarter turns, 0..3
    friend bool operator==(const PlotSettings& a, const PlotSettings& b);
    friend bool operator!=(const PlotSettings& a, const PlotSettings& b) { return !(a == b); }
};

inline bool operator==(const PlotSettings& a, const PlotSettings& b) {
    return a.device == b.device && a.media == b.media && a.styleSheet == b.styleSheet &&
           a.paperWidth == b.paperWidth && a.paperHeight == b.paperHeight &&
           a.paperUnits == b.paperUnits && a.marginLeft == b.marginLeft &&
           a.marginBottom == b.marginBottom && a.marginRight == b.marginRight &&
           a.marginTop == b.marginTop && a.plotType == b.plotType && a.windowMinX == b.windowMinX &&
           a.windowMinY == b.windowMinY && a.windowMaxX == b.windowMaxX &&
           a.windowMaxY == b.windowMaxY && a.useStandardScale == b.useStandardScale &&
           a.standardScaleType == b.standardScaleType && a.customNumerator == b.customNumerator &&
           a.customDenominator == b.customDenominator && a.centered == b.centered &&
           a.originX == b.originX && a.originY == b.originY && a.rotation == b.rotation;
}

// What a plot of one page is about: the layout, and the device to use instead of the
// layout's own (empty: the layout's).
struct PlotInfo {
    ObjectId layout;
    std::string deviceOverride;
    bool validated = false;  // set by validatePlotInfo
};

inline constexpr int kMediaMatchingWithCustomSize = 4;

struct PublishEngineId {
    std::uint32_t value = 0;
    explicit operator bool() const { return value != 0; }
};

// Reading drawings: databases and their files, symbol tables, entities and layouts as they
// are. Saving belongs here too: it writes a database as it is.
class DrawingAccess {
  public:
    virtual ~DrawingAccess() = default;

    // ---- databases. The plug-in deletes every database it creates.
    virtual DatabaseId createDatabase(bool withDefaultDrawing) = 0;
    virtual void deleteDatabase(DatabaseId database) = 0;
    // Reads a drawing file into an empty database (one created without a default drawing).
    // Any file whose content is a drawing is read whatever its extension; `message` says why
    // reading failed.
    virtual Status readDrawingFile(DatabaseId database, const std::string& path,
                                   std::string* message) = 0;
    // Saves in the 2018 drawing format, replacing the target atomically and keeping an
    // existing file as a backup. `writtenPath` receives the path actually written.
    virtual Status saveDatabase(DatabaseId database, const std::string& path,
                                std::string* writtenPath, std::string* message) = 0;
    virtual DatabaseId documentDatabase(DocumentId document) = 0;
    virtual DatabaseId databaseOf(ObjectId object) = 0;
    // The drawing's unit of length as its header names it ($INSUNITS: 0 none, 1 inches,
    // 2 feet, 4 millimetres, 5 centimetres, 6 metres, ...); 0 for an unknown database.
    virtual int drawingUnits(DatabaseId database) = 0;

    // ---- symbol tables. Names compare ignoring ASCII case, as the CAD program does.
    virtual ObjectId modelSpace(DatabaseId database) = 0;
    virtual ObjectId findBlock(DatabaseId database, std::string_view name) = 0;
    virtual std::vector<ObjectId> blockEntities(ObjectId blockRecord) = 0;  // record order
    // The point of the block's own coordinates that a reference's insertion point lands on.
    virtual Status blockBasePoint(ObjectId blockRecord, Point3d& base) = 0;
    virtual std::vector<ObjectId> layers(DatabaseId database) = 0;
    virtual ObjectId findLayer(DatabaseId database, std::string_view name) = 0;
    virtual ObjectId findTextStyle(DatabaseId database, std::string_view name) = 0;
    // Name of a layer, text style or block record; empty for anything else.
    virtual std::string symbolName(ObjectId record) = 0;
    virtual ObjectId objectIdFromHandle(DatabaseId database, std::string_view handleText) = 0;

    // ---- entities
    virtual Status entityInfo(ObjectId entity, EntityInfo& info) = 0;
    // The kind alone, without the names entityInfo spells out: for passes over every entity
    // of a large drawing. Other for anything that is not an entity.
    virtual EntityType entityType(ObjectId entity) = 0;
    virtual Status geometricExtents(ObjectId entity, Extents3d& extents) = 0;
    virtual Status curveIsClosed(ObjectId curve, bool& closed) = 0;
    virtual Status curveParameterRange(ObjectId curve, double& start, double& end) = 0;
    virtual Status curvePointAt(ObjectId curve, double parameter, Point3d& point) = 0;
    // The curve as a chain of points in the coordinates of the block record that holds it:
    // line ends and polyline vertices exact, arcs, ellipses and splines by chords that stray
    // no further than `chordError` (drawing units, > 0) from the curve. A closed curve's last
    // point is not repeated. InvalidInput for a curve without usable geometry.
    virtual Status curvePoints(ObjectId curve, double chordError, std::vector<Point3d>& points,
                               bool& closed) = 0;
    virtual Status blockReference(ObjectId reference, BlockReferenceInfo& info) = 0;
    virtual std::vector<ObjectId> attributes(ObjectId reference) = 0;  // stored order
    virtual Status textInfo(ObjectId text, TextInfo& info) = 0;
    virtual Status lwPolyline(ObjectId polyline, LwPolylineInfo& info) = 0;
    // ARC and CIRCLE in world coordinates (a flat arc; WrongType for anything else).
    virtual Status arcInfo(ObjectId curve, ArcInfo& info) = 0;
    virtual Status entityProperties(ObjectId entity, EntityProperties& properties) = 0;

    // ---- layouts
    virtual std::vector<LayoutInfo> layouts(DatabaseId database) = 0;  // dictionary order
};

// Changing drawings: symbol table records, entities, creation and annotation. An edit needs
// what it edits found first, so this role reads as well.
class DrawingEdits : public DrawingAccess {
  public:
    // ---- drawing settings
    virtual Status setDrawingUnits(DatabaseId database, int insUnits) = 0;

    // ---- symbol tables
    // Duplicate when the name exists; `id` then receives the existing layer.
    virtual Status addLayer(DatabaseId database, std::string_view name, int colorIndex,
                            ObjectId* id) = 0;
    // A line type of dashes (drawing units: positive a dash, negative a gap, 0 a dot);
    // Duplicate when the name exists, `id` then receiving the existing one.
    virtual Status addLinetype(DatabaseId database, std::string_view name,
                               std::string_view description, const std::vector<double>& dashes,
                               ObjectId* id) = 0;
    virtual Status setLayerLinetype(ObjectId layer, ObjectId linetype) = 0;
    virtual Status addTextStyle(DatabaseId database, const TextStyleSpec& style, ObjectId* id) = 0;
    virtual Status renameSymbol(ObjectId record, std::string_view newName) = 0;

    // ---- entities
    // Layer and line type must exist (NotFound otherwise); nothing changes on a failure.
    virtual Status setEntityProperties(ObjectId entity, const EntityProperties& properties) = 0;
    virtual Status eraseEntity(ObjectId entity) = 0;
    // Erases entities of one database all at once: far cheaper than one by one in a large
    // drawing. Ids already erased or unknown are passed over.
    virtual Status eraseEntities(const std::vector<ObjectId>& entities) = 0;
    // Replaces a block reference by copies of its block's entities placed as the reference
    // places them (attributes become texts). `created` receives the copies. NotApplicable when
    // the reference's scale is not uniform or an entity cannot be placed; nothing changes then.
    virtual Status explodeBlockReference(ObjectId reference, std::vector<ObjectId>* created) = 0;
    // Turns a text, attribute definition or multiline text to `rotation` (radians); a
    // multiline text's direction follows.
    virtual Status setTextRotation(ObjectId text, double rotation) = 0;

    // ---- creation: appended to a block record (model space, a block definition)
    virtual Status addLwPolyline(ObjectId blockRecord, const std::vector<Point3d>& vertices,
                                 bool closed, std::string_view layer, ObjectId* id) = 0;
    virtual Status addLine(ObjectId blockRecord, const Point3d& start, const Point3d& end,
                           std::string_view layer, ObjectId* id) = 0;
    virtual Status addCircle(ObjectId blockRecord, const Point3d& centre, double radius,
                             std::string_view layer, ObjectId* id) = 0;
    // Angles in radians, counter-clockwise from start to end.
    virtual Status addArc(ObjectId blockRecord, const Point3d& centre, double radius,
                          double startAngle, double endAngle, std::string_view layer,
                          ObjectId* id) = 0;
    // A polyline with arcs: `bulges` per vertex (empty: all straight).
    virtual Status addBulgedPolyline(ObjectId blockRecord, const std::vector<Point3d>& vertices,
                                     const std::vector<double>& bulges, bool closed,
                                     std::string_view layer, ObjectId* id) = 0;
    virtual Status addText(ObjectId blockRecord, const TextSpec& text, ObjectId* id) = 0;
    virtual Status addMText(ObjectId blockRecord, const MTextSpec& text, ObjectId* id) = 0;
    virtual Status addBlockReference(ObjectId blockRecord, const BlockReferenceSpec& reference,
                                     ObjectId* id) = 0;

    // ---- annotation
    // Duplicate when the name exists (`id` then receives the existing one). A new drawing's
    // current dimension style stays as it was.
    virtual Status addDimensionStyle(DatabaseId database, const DimensionStyleSpec& style,
                                     ObjectId* id) = 0;
    virtual Status addDimension(ObjectId blockRecord, const DimensionSpec& dimension,
                                ObjectId* id) = 0;
    // A block definition named `name` with its base point; Duplicate when the name exists.
    virtual Status addBlock(DatabaseId database, std::string_view name, const Point3d& base,
                            ObjectId* id) = 0;
    virtual Status addAttributeDefinition(ObjectId blockRecord,
                                          const AttributeDefinitionSpec& definition,
                                          ObjectId* id) = 0;

    // ---- whole drawings
    // Defines the block `blockName` in `target` from the model space of `source` (layers,
    // text styles, linetypes and nested blocks carried over). `source` is left unusable for
    // anything but deletion. `notCarried` counts entities that could not be carried.
    virtual Status insertDatabaseAsBlock(DatabaseId target, std::string_view blockName,
                                         DatabaseId source, ObjectId* block, int* notCarried) = 0;
    // Writes `objects` (entities of one database) into a new database whose origin is
    // `basePoint` of the source, its model space holding their copies in the order given; the
    // caller deletes `result`.
    virtual Status writeBlockOut(const std::vector<ObjectId>& objects, const Point3d& basePoint,
                                 DatabaseId* result) = 0;
};

// Asking the user to pick entities in the current document.
class SelectionServices {
  public:
    virtual ~SelectionServices() = default;

    // ---- selection in the current document. False when cancelled or nothing was chosen.
    virtual bool selectObjects(std::string_view prompt, std::vector<ObjectId>& selection) = 0;
};

// Documents (opened, made current, locked, closed; from application context) and the drawing
// window that shows them.
class DocumentServices {
  public:
    virtual ~DocumentServices() = default;

    // ---- documents (from application context)
    // Opens a drawing as a new document (or finds it open) and makes it current.
    virtual DocumentId openDocument(const std::string& path, std::string* message) = 0;
    virtual Status makeDocumentCurrent(DocumentId document) = 0;
    virtual Status activateDocument(DocumentId document) = 0;
    virtual Status lockDocument(DocumentId document) = 0;
    virtual Status unlockDocument(DocumentId document) = 0;
    virtual Status closeDocument(DocumentId document) = 0;

    // ---- the drawing window
    // The drawing window's display list of `document` (a contract ViewFile): the layout named
    // `layout` (model space when empty or unknown), the open documents and `notice`, written
    // whole to a temporary file renamed over `path`.
    virtual Status writeView(DocumentId document, std::string_view layout, const std::string& path,
                             std::string_view notice) = 0;
};

// Plotting: the current layout, page setups, the configuration manager and its validators,
// and the publish engine that writes PDFs.
class PlotServices {
  public:
    virtual ~PlotServices() = default;

    // ---- layouts
    // The current document's active layout; empty without a document.
    virtual std::string activeLayoutName() = 0;
    virtual Status setCurrentLayout(ObjectId layout) = 0;
    virtual Status setCurrentLayoutByName(std::string_view name) = 0;
    virtual Status getPlotSettings(ObjectId layout, PlotSettings& settings) = 0;
    virtual Status setPlotSettings(ObjectId layout, const PlotSettings& settings) = 0;

    // ---- plotting: the configuration manager
    virtual bool hasPlotDevice(std::string_view device) = 0;
    virtual std::vector<std::string> canonicalMediaNames(std::string_view device) = 0;
    // The settings validator: each call checks its value and changes `settings`, or leaves
    // it as it was and says why.
    virtual Status setPlotDeviceAndMedia(PlotSettings& settings, std::string_view device,
                                         std::string_view media) = 0;
    virtual Status setPaperUnits(PlotSettings& settings, PaperUnits units) = 0;
    virtual Status setStyleSheet(PlotSettings& settings, std::string_view styleSheet) = 0;
    virtual Status setPlotType(PlotSettings& settings, PlotType type) = 0;
    virtual Status setPlotWindow(PlotSettings& settings, double minX, double minY, double maxX,
                                 double maxY) = 0;
    virtual Status setStandardScale(PlotSettings& settings, bool useStandardScale,
                                    int standardScaleType) = 0;
    virtual Status setCentered(PlotSettings& settings, bool centered) = 0;
    virtual Status setPlotOrigin(PlotSettings& settings, double x, double y) = 0;
    virtual Status setPlotRotation(PlotSettings& settings, int quarterTurns) = 0;
    // The plot-info validator.
    virtual Status validatePlotInfo(PlotInfo& info, int mediaMatchingPolicy) = 0;

    // ---- plotting: the publish engine (one PDF file per document)
    virtual PublishEngineId createPublishEngine() = 0;
    virtual void destroyPublishEngine(PublishEngineId engine) = 0;
    virtual Status beginPlot(PublishEngineId engine) = 0;
    virtual Status endPlot(PublishEngineId engine) = 0;
    virtual Status beginDocument(PublishEngineId engine, const PlotInfo& info,
                                 std::string_view documentName, int copies,
                                 const std::string& pdfPath) = 0;
    virtual Status beginPage(PublishEngineId engine, const PlotInfo& info, bool lastPage) = 0;
    virtual Status beginGenerateGraphics(PublishEngineId engine) = 0;
    virtual Status endGenerateGraphics(PublishEngineId engine) = 0;
    virtual Status endPage(PublishEngineId engine) = 0;
    virtual Status endDocument(PublishEngineId engine) = 0;
};

// Every role at once: what the host hands out. Code that needs several roles takes this;
// code that needs one takes that role alone.
class DrawingServices : public DrawingEdits,
                        public SelectionServices,
                        public DocumentServices,
                        public PlotServices {};

// Deletes a database the plug-in created when it goes out of scope.
class ScopedDatabase {
  public:
    ScopedDatabase() = default;
    ScopedDatabase(DrawingAccess* services, DatabaseId id) : services_(services), id_(id) {}
    ~ScopedDatabase() { reset(); }
    ScopedDatabase(ScopedDatabase&& other) noexcept : services_(other.services_), id_(other.id_) {
        other.id_ = {};
    }
    ScopedDatabase& operator=(ScopedDatabase&& other) noexcept {
        if (this != &other) {
            reset();
            services_ = other.services_;
            id_ = other.id_;
            other.id_ = {};
        }
        return *this;
    }
    ScopedDatabase(const ScopedDatabase&) = delete;
    ScopedDatabase& operator=(const ScopedDatabase&) = delete;

    DatabaseId get() const { return id_; }
    explicit operator bool() const { return static_cast<bool>(id_); }
    DatabaseId release() {
        const DatabaseId id = id_;
        id_ = {};
        return id;
    }
    void reset() {
        if (services_ && id_) services_->deleteDatabase(id_);
        id_ = {};
    }

  private:
    DrawingAccess* services_ = nullptr;
    DatabaseId id_;
};

}  // namespace qks::host
