// In-memory drawing database of qkshost: objects with handles, symbol tables, blocks,
// entities and layouts. Structured data only: the codecs (qkshost/dxf) fill and read it.
//
// Ownership: a Database owns every object in it. Objects are addressed by their index in the
// database (ObjectIndex, 1-based, 0 = none) or, across the host seam, by an ObjectId that
// combines the database's serial number with the index. Indices stay valid for the life of the
// database (erased objects keep their slot). Single-threaded: one database is used by one
// thread at a time.
#pragma once

#include <qks/host/types.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qkshost::drawing {

using qks::host::Extents3d;
using qks::host::Matrix3d;
using qks::host::ObjectId;
using qks::host::Point3d;
using qks::host::Vector3d;

using ObjectIndex = std::uint32_t;
using Handle = std::uint64_t;

enum class Status {
    Ok = 0,
    NotFound,
    InvalidInput,
    ReadError,
    WriteError,
    WrongType,
    WasOpenForWrite,
    NotOpen,
    Duplicate,
    NotApplicable,  // the operation cannot be done on this object as it is
    Encrypted,      // a drawing protected by a password or an encryption system
};
const char* statusText(Status s);

// One DXF group kept verbatim (for entity types and data the model does not interpret). Only
// the DXF codec looks inside: for everything else these are opaque.
struct RawTag {
    int code = 0;
    std::string value;
};
using RawTags = std::vector<RawTag>;

enum class Kind : std::uint8_t {
    // entities
    Line,
    Arc,
    Circle,
    Ellipse,
    LwPolyline,
    Polyline,
    Vertex,
    SeqEnd,
    Spline,
    Point,
    Text,
    Attribute,
    AttributeDefinition,
    MText,
    BlockReference,
    Solid,
    Hatch,
    Dimension,
    Viewport,
    UnknownEntity,
    // table records and objects
    LayerRecord,
    TextStyleRecord,
    LinetypeRecord,
    BlockRecord,
    DimStyleRecord,
    AppIdRecord,
    Layout,
};

enum class OpenMode : std::uint8_t { Read, Write };

class Database;

class Object {
  public:
    virtual ~Object() = default;
    // Objects come from a pool of 2 MB chunks (huge pages for large drawings); any thread.
    static void* operator new(std::size_t size);
    static void operator delete(void* p, std::size_t size) noexcept;

    virtual Kind kind() const = 0;
    virtual const char* dxfName() const = 0;
    virtual std::unique_ptr<Object> clone() const = 0;
    bool isEntity() const { return kind() <= Kind::UnknownEntity; }

    Handle handle = 0;
    ObjectIndex owner = 0;
    ObjectIndex self = 0;
    bool erased = false;
    // open bookkeeping (Database::open / close)
    std::uint16_t readers = 0;
    bool writer = false;
};

template <class T, Kind K, class Base>
class ObjectT : public Base {
  public:
    static constexpr Kind kKind = K;
    Kind kind() const override { return K; }
    std::unique_ptr<Object> clone() const override {
        return std::make_unique<T>(static_cast<const T&>(*this));
    }
};

// ----- symbol table records -----

class SymbolRecord : public Object {
  public:
    std::string name;
    int flags = 0;  // group 70
};

class LayerRecord : public ObjectT<LayerRecord, Kind::LayerRecord, SymbolRecord> {
  public:
    const char* dxfName() const override { return "LAYER"; }
    int color = 7;  // positive; on/off kept separately
    bool off = false;
    bool frozen() const { return flags & 1; }
    void setFrozen(bool f) { flags = f ? (flags | 1) : (flags & ~1); }
    bool locked() const { return flags & 4; }
    ObjectIndex linetype = 0;
    int lineweight = -3;  // default
    bool plot = true;
    std::int32_t trueColor = -1;
};

class TextStyleRecord : public ObjectT<TextStyleRecord, Kind::TextStyleRecord, SymbolRecord> {
  public:
    const char* dxfName() const override { return "STYLE"; }
    std::string fontFile;  // group 3
    std::string bigFont;   // group 4
    double height = 0, widthFactor = 1, oblique = 0, lastHeight = 2.5;
    int generation = 0;
    // TrueType description (ACAD xdata): empty typeface = none
    std::string typeface;
    bool bold = false, italic = false;
    int charset = 0, pitchAndFamily = 0;
};

struct LinetypeElement {
    double length = 0;
    int type = 0;  // 74
    int shape = 0;
    ObjectIndex style = 0;
    double scale = 1, rotation = 0, dx = 0, dy = 0;
    std::string text;
};

class LinetypeRecord : public ObjectT<LinetypeRecord, Kind::LinetypeRecord, SymbolRecord> {
  public:
    const char* dxfName() const override { return "LTYPE"; }
    std::string description;
    double patternLength = 0;
    std::vector<LinetypeElement> elements;
};

// The variables of a dimension style that both codecs read. Unset ones were not stated by the
// drawing, and are not written either.
struct DimStyleVariables {
    std::optional<double> scale;               // DIMSCALE, overall scale
    std::optional<double> arrowSize;           // DIMASZ
    std::optional<double> extensionOffset;     // DIMEXO, gap between origin and extension line
    std::optional<double> baselineSpacing;     // DIMDLI, between baseline dimension lines
    std::optional<double> extensionExtend;     // DIMEXE, extension line beyond the dimension line
    std::optional<double> textHeight;          // DIMTXT
    std::optional<double> centerMark;          // DIMCEN
    std::optional<double> textGap;             // DIMGAP, around the text
    std::optional<double> linearFactor;        // DIMLFAC, on measured lengths
    std::optional<int> decimals;               // DIMDEC, places after the decimal point
    std::optional<int> zeroSuppression;        // DIMZIN: 4 leading, 8 trailing zeros dropped
    std::optional<int> textAbove;              // DIMTAD: 0 centred on the line, 1 above it
    std::optional<int> textInsideHorizontal;   // DIMTIH: 1 horizontal, 0 along the line
    std::optional<int> textOutsideHorizontal;  // DIMTOH
};

class DimStyleRecord : public ObjectT<DimStyleRecord, Kind::DimStyleRecord, SymbolRecord> {
  public:
    const char* dxfName() const override { return "DIMSTYLE"; }
    DimStyleVariables variables;
    // The variables no other code reads, as a DXF file gave them, so that a saved copy keeps
    // them: opaque outside the DXF codec.
    RawTags otherValues;
    ObjectIndex textStyle = 0;
};

class AppIdRecord : public ObjectT<AppIdRecord, Kind::AppIdRecord, SymbolRecord> {
  public:
    const char* dxfName() const override { return "APPID"; }
};

class BlockRecord : public ObjectT<BlockRecord, Kind::BlockRecord, SymbolRecord> {
  public:
    const char* dxfName() const override { return "BLOCK_RECORD"; }
    Point3d base;
    std::string xrefPath, description;
    int units = 0;
    bool explodable = true, scalable = false;
    ObjectIndex layout = 0;
    Handle beginHandle = 0, endHandle = 0;
    std::vector<ObjectIndex> entities;  // in record order
    bool isModelSpace() const;
    bool isPaperSpace() const;  // any *Paper_Space block
    bool isLayout() const { return isModelSpace() || isPaperSpace(); }
    bool isAnonymous() const { return !name.empty() && name[0] == '*'; }
};

// ----- layouts -----

struct PlotSettings {
    std::string pageSetupName, device = "none_device", media, viewName, styleSheet;
    double marginLeft = 0, marginBottom = 0, marginRight = 0, marginTop = 0;
    double paperWidth = 0, paperHeight = 0;
    double originX = 0, originY = 0;
    double windowMinX = 0, windowMinY = 0, windowMaxX = 0, windowMaxY = 0;
    double numerator = 1, denominator = 1;
    int flags = 688;             // 70
    int paperUnits = 1;          // 72: 0 inches, 1 mm, 2 pixels
    int rotation = 0;            // 73: 0..3 quarter turns
    int plotType = 5;            // 74: 0 display,1 extents,2 limits,3 view,4 window,5 layout
    int standardScaleType = 16;  // 75 (0 = scaled to fit)
    int shadePlotMode = 0, shadePlotResolution = 0, shadePlotDpi = 300;
    double scaleFactor = 1, imageOriginX = 0, imageOriginY = 0;
    bool centered() const { return flags & 4; }
    void setCentered(bool c) { flags = c ? (flags | 4) : (flags & ~4); }
    bool useStandardScale() const { return flags & 16; }
    void setUseStandardScale(bool u) { flags = u ? (flags | 16) : (flags & ~16); }
    bool operator==(const PlotSettings& o) const;
};

class Layout : public ObjectT<Layout, Kind::Layout, Object> {
  public:
    const char* dxfName() const override { return "LAYOUT"; }
    std::string name;
    PlotSettings plot;
    int layoutFlags = 1;
    int tabOrder = 0;
    ObjectIndex block = 0;
    Point3d limMin{0, 0, 0}, limMax{420, 297, 0}, insBase, extMin{1e20, 1e20, 1e20},
        extMax{-1e20, -1e20, -1e20};
    bool isModel() const;
};

// ----- entities -----

class Entity : public Object {
  public:
    ObjectIndex layer = 0;     // LayerRecord; 0 = layer "0"
    ObjectIndex linetype = 0;  // LinetypeRecord; 0 = ByLayer
    std::int16_t color = 256;  // 0 ByBlock, 256 ByLayer
    std::int16_t lineweight = -1;
    std::int32_t trueColor = -1;
    double linetypeScale = 1;
    bool invisible = false;
    RawTags xdata;                               // from the first 1001 group on, for the DXF codec
    std::vector<std::string> xdataApplications;  // the registered applications in `xdata`
};

// Entities that honour an object coordinate system.
class PlanarEntity : public Entity {
  public:
    Vector3d extrusion{0, 0, 1};
    double thickness = 0;
};

class Curve : public PlanarEntity {};

class Line : public ObjectT<Line, Kind::Line, Curve> {
  public:
    const char* dxfName() const override { return "LINE"; }
    Point3d start, end;  // WCS
};

class Circle : public ObjectT<Circle, Kind::Circle, Curve> {
  public:
    const char* dxfName() const override { return "CIRCLE"; }
    Point3d center;  // OCS
    double radius = 0;
};

class Arc : public ObjectT<Arc, Kind::Arc, Curve> {
  public:
    const char* dxfName() const override { return "ARC"; }
    Point3d center;  // OCS
    double radius = 0;
    double startAngle = 0, endAngle = 0;  // radians, in the OCS
};

class Ellipse : public ObjectT<Ellipse, Kind::Ellipse, Curve> {
  public:
    const char* dxfName() const override { return "ELLIPSE"; }
    Point3d center;               // WCS
    Vector3d majorAxis{1, 0, 0};  // WCS
    double ratio = 1;
    double startParam = 0, endParam = 6.283185307179586;
};

struct LwVertex {
    double x = 0, y = 0;
    double startWidth = 0, endWidth = 0, bulge = 0;
};

class LwPolyline : public ObjectT<LwPolyline, Kind::LwPolyline, Curve> {
  public:
    const char* dxfName() const override { return "LWPOLYLINE"; }
    std::vector<LwVertex> vertices;  // OCS
    int flags = 0;                   // 1 closed, 128 plinegen
    double constantWidth = 0, elevation = 0;
    bool hasConstantWidth = false;
    bool closed() const { return flags & 1; }
};

class Vertex : public ObjectT<Vertex, Kind::Vertex, Entity> {
  public:
    const char* dxfName() const override { return "VERTEX"; }
    Point3d position;
    double startWidth = 0, endWidth = 0, bulge = 0, tangent = 0;
    int flags = 0;
    int faces[4] = {0, 0, 0, 0};  // polyface face record: vertex indices (groups 71..74)
};

class SeqEnd : public ObjectT<SeqEnd, Kind::SeqEnd, Entity> {
  public:
    const char* dxfName() const override { return "SEQEND"; }
};

// Old-style POLYLINE (2-D, 3-D, meshes). Curve functions cover the 2-D and 3-D kinds.
class Polyline : public ObjectT<Polyline, Kind::Polyline, Curve> {
  public:
    const char* dxfName() const override { return "POLYLINE"; }
    int flags = 0;  // 1 closed, 8 3-D polyline, 16 3-D mesh, 64 polyface
    double elevation = 0, startWidth = 0, endWidth = 0;
    int meshM = 0, meshN = 0, smoothM = 0, smoothN = 0, curveType = 0;
    std::vector<ObjectIndex> vertices;
    ObjectIndex seqEnd = 0;
    bool closed() const { return flags & 1; }
    bool is3d() const { return flags & 8; }
    bool isMesh() const { return flags & (16 | 64); }
};

class Spline : public ObjectT<Spline, Kind::Spline, Curve> {
  public:
    const char* dxfName() const override { return "SPLINE"; }
    int flags = 0;  // 1 closed, 2 periodic, 4 rational, 8 planar, 16 linear
    int degree = 3;
    Vector3d normal{0, 0, 0};
    std::vector<double> knots, weights;
    std::vector<Point3d> controlPoints, fitPoints;
    double knotTolerance = 1e-10, controlTolerance = 1e-10, fitTolerance = 1e-10;
    bool hasStartTangent = false, hasEndTangent = false;
    Vector3d startTangent, endTangent;
};

class PointEntity : public ObjectT<PointEntity, Kind::Point, PlanarEntity> {
  public:
    const char* dxfName() const override { return "POINT"; }
    Point3d position;  // WCS
    double angle = 0;
};

class TextBase : public PlanarEntity {
  public:
    Point3d position;   // OCS, group 10
    Point3d alignment;  // OCS, group 11
    bool hasAlignment = false;
    double height = 2.5, rotation = 0, widthFactor = 1, oblique = 0;  // radians
    ObjectIndex style = 0;
    int generation = 0, hAlign = 0, vAlign = 0;
    std::string text;  // UTF-8
};

class Text : public ObjectT<Text, Kind::Text, TextBase> {
  public:
    const char* dxfName() const override { return "TEXT"; }
};

class Attribute : public ObjectT<Attribute, Kind::Attribute, TextBase> {
  public:
    const char* dxfName() const override { return "ATTRIB"; }
    std::string tag;
    int attribFlags = 0, fieldLength = 0;
    bool lockPosition = false;
};

class AttributeDefinition
    : public ObjectT<AttributeDefinition, Kind::AttributeDefinition, TextBase> {
  public:
    const char* dxfName() const override { return "ATTDEF"; }
    std::string tag, prompt;
    int attribFlags = 0, fieldLength = 0;
    bool lockPosition = false;
};

class MText : public ObjectT<MText, Kind::MText, PlanarEntity> {
  public:
    const char* dxfName() const override { return "MTEXT"; }
    Point3d position;             // WCS
    Vector3d direction{1, 0, 0};  // WCS x-axis of the text
    double height = 2.5, width = 0, lineSpacing = 1, rotation = 0;
    int attachment = 1;  // 1 top-left .. 9 bottom-right
    int drawingDirection = 1, lineSpacingStyle = 1;
    ObjectIndex style = 0;
    std::string text;
};

class BlockReference : public ObjectT<BlockReference, Kind::BlockReference, PlanarEntity> {
  public:
    const char* dxfName() const override { return "INSERT"; }
    ObjectIndex block = 0;
    Point3d position;                                         // OCS
    double scaleX = 1, scaleY = 1, scaleZ = 1, rotation = 0;  // radians
    int columns = 1, rows = 1;
    double columnSpacing = 0, rowSpacing = 0;
    std::vector<ObjectIndex> attributes;
    ObjectIndex seqEnd = 0;
};

class Solid : public ObjectT<Solid, Kind::Solid, PlanarEntity> {
  public:
    const char* dxfName() const override { return "SOLID"; }
    Point3d corners[4];  // OCS
};

// Entity kept as tags (every type the host does not model): `tail` holds the groups after the
// common entity data, so the entity is written back as it was read.
class RawEntity : public PlanarEntity {
  public:
    std::string type;
    RawTags tail;
    bool r12Style = false;  // tail read from a file without subclass markers
};

// ----- hatches -----
// Boundaries and patterns live in the hatch's object coordinate system (z = Hatch::elevation).
// Angles are in degrees, as drawings store them for hatches.

struct HatchEdge {
    enum class Type : std::uint8_t { Other, Line, CircularArc, EllipticArc, Spline };
    Type type = Type::Other;  // Other: an edge kind that draws nothing
    Point3d start, end;       // Line
    Point3d centre;           // CircularArc, EllipticArc
    // CircularArc: the radius; EllipticArc: the minor axis as a fraction of the major one
    double radius = 0;
    Vector3d majorAxis;  // EllipticArc: end point of the major axis relative to the centre
    double startAngle = 0, endAngle = 0;
    bool counterClockwise = true;
    // Spline
    int degree = 3;
    bool rational = false, periodic = false;
    std::vector<double> knots, weights;
    std::vector<Point3d> controlPoints, fitPoints;
};

struct HatchVertex {
    double x = 0, y = 0;
    double bulge = 0;  // of the segment to the next vertex; used when the loop has bulges
};

struct HatchLoop {
    int flags = 0;  // 1 external, 2 polyline, 4 derived, 8 text box, 16 outermost
    bool isPolyline() const { return flags & 2; }
    // polyline loops: closed back to the first vertex whatever `closed` says
    bool hasBulge = false, closed = true;
    std::vector<HatchVertex> vertices;
    // edge loops
    std::vector<HatchEdge> edges;
};

// One line family of a pattern, already scaled and turned by the hatch's pattern scale and
// angle: lines in direction `angle` through base + k * offset for every integer k, drawn with
// `dashes` (positive dash, negative gap, zero dot; none: a solid line).
struct HatchPatternLine {
    double angle = 0;
    Point3d base, offset;
    std::vector<double> dashes;
};

class Hatch : public ObjectT<Hatch, Kind::Hatch, RawEntity> {
  public:
    const char* dxfName() const override { return "HATCH"; }
    std::string patternName;
    bool solidFill = false;
    double elevation = 0;
    double patternAngle = 0, patternScale = 1;
    std::vector<HatchLoop> loops;  // in file order; a loop inside another is a hole
    std::vector<HatchPatternLine> patternLines;
    // `tail` (RawEntity) keeps the groups as read for the DXF writer; the structure above is
    // what everything else uses.
};

class UnknownEntity : public ObjectT<UnknownEntity, Kind::UnknownEntity, RawEntity> {
  public:
    const char* dxfName() const override { return type.c_str(); }
    // true when the tail holds pointers to other objects, so it cannot move to another drawing
    bool hasPointers = false;
};

class Dimension : public ObjectT<Dimension, Kind::Dimension, PlanarEntity> {
  public:
    const char* dxfName() const override { return "DIMENSION"; }
    ObjectIndex block = 0;  // geometry block (*D..)
    ObjectIndex dimStyle = 0;
    int dimType = 0;  // 70
    Point3d defPoint, textMid, insertPoint, p13, p14, p15, p16;
    double angle = 0, oblique = 0, textRotation = 0, leaderLength = 0, measurement = 0;
    int attachment = 5, lineSpacingStyle = 1;
    double lineSpacing = 1;
    std::string text;
};

class Viewport : public ObjectT<Viewport, Kind::Viewport, Entity> {
  public:
    const char* dxfName() const override { return "VIEWPORT"; }
    Point3d center;  // paper space
    double width = 0, height = 0;
    int status = 1, id = 1;
    Point3d viewCenter;
    Vector3d viewDirection{0, 0, 1};
    Point3d viewTarget;
    double viewHeight = 1, lensLength = 50, twist = 0;
    int flags = 0;
    int renderMode = 0, ucsPerViewport = 0;
    std::vector<ObjectIndex> frozenLayers;  // LayerRecords not shown through this viewport
};

// ----- the database -----

struct ReadResult {
    Status status = Status::Ok;
    std::string message;  // empty on success
    int warnings = 0;     // repaired inconsistencies (duplicate handles, bad pointers)
    // Objects the reader could not keep (proxy entities, 3-D solids, unknown objects), entities
    // apart from the others; a saved copy of the drawing will not hold them.
    int skippedEntities = 0;
    int skippedOthers = 0;
};

class Database {
  public:
    // withDefaults: layer "0", style "Standard", linetypes ByBlock/ByLayer/Continuous, model
    // and paper space with layouts "Model" and "Layout1".
    explicit Database(bool withDefaults = true);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    std::uint32_t serial() const { return serial_; }
    static Database* fromSerial(std::uint32_t serial);

    // ---- objects ----
    Object* object(ObjectIndex i) const {
        return (i > 0 && i <= objects_.size()) ? objects_[i - 1].get() : nullptr;
    }
    template <class T>
    T* get(ObjectIndex i) const {
        Object* o = object(i);
        return o && o->kind() == T::kKind ? static_cast<T*>(o) : nullptr;
    }
    std::size_t objectCount() const { return objects_.size(); }
    ObjectId idOf(ObjectIndex i) const {
        return i ? ObjectId{(std::uint64_t(serial_) << 32) | i} : ObjectId{};
    }
    ObjectIndex indexOf(ObjectId id) const {
        return (id.value >> 32) == serial_ ? ObjectIndex(id.value & 0xffffffffu) : 0;
    }
    // Takes ownership; assigns a fresh handle when the object has none.
    ObjectIndex add(std::unique_ptr<Object> obj);
    // Adds an entity to a block record (model space by default) on layer "0" unless set.
    ObjectIndex appendEntity(std::unique_ptr<Entity> e, ObjectIndex block = 0);
    void erase(ObjectIndex i);
    // Erases them all with one pass over each owner's entity list.
    void eraseAll(const std::vector<ObjectIndex>& indices);

    // open/close bookkeeping: any number of readers, or one writer
    Status open(ObjectIndex i, OpenMode mode, Object** out);
    void close(ObjectIndex i, OpenMode mode);

    // ---- handles ----
    ObjectIndex indexFromHandle(Handle h) const;
    ObjectIndex indexFromHandleText(std::string_view hex) const;
    Handle handSeed() const { return nextHandle_; }
    Handle newHandle() { return nextHandle_++; }
    static std::string handleText(Handle h);

    // ---- symbol tables ----
    const std::vector<ObjectIndex>& layers() const { return layers_; }
    const std::vector<ObjectIndex>& textStyles() const { return styles_; }
    const std::vector<ObjectIndex>& linetypes() const { return linetypes_; }
    const std::vector<ObjectIndex>& blocks() const { return blocks_; }
    const std::vector<ObjectIndex>& dimStyles() const { return dimStyles_; }
    const std::vector<ObjectIndex>& appIds() const { return appIds_; }
    // names compare without regard to ASCII case, as the CAD program does
    ObjectIndex findLayer(std::string_view name) const;
    ObjectIndex findTextStyle(std::string_view name) const;
    ObjectIndex findLinetype(std::string_view name) const;
    ObjectIndex findBlock(std::string_view name) const;
    ObjectIndex findDimStyle(std::string_view name) const;
    ObjectIndex findAppId(std::string_view name) const;
    // add: Duplicate when the name exists (out receives the existing record)
    Status addLayer(std::string_view name, int color, ObjectIndex* out = nullptr);
    Status addTextStyle(std::string_view name, std::string_view fontFile,
                        ObjectIndex* out = nullptr);
    Status addLinetype(std::string_view name, ObjectIndex* out = nullptr);
    Status addBlock(std::string_view name, ObjectIndex* out = nullptr);
    Status addDimStyle(std::string_view name, ObjectIndex* out = nullptr);
    // A new anonymous block "<prefix><n>" ("*D" gives *D1, *D2, ...): numbers go up from the
    // highest one the drawing already holds, so they never meet a name read from a file.
    ObjectIndex addAnonymousBlock(std::string_view prefix);
    ObjectIndex ensureAppId(std::string_view name);
    // Renames a record; InvalidInput for an empty or illegal name, Duplicate if taken.
    Status rename(ObjectIndex record, std::string_view newName);
    ObjectIndex modelSpace() const { return modelSpace_; }
    ObjectIndex paperSpace() const { return paperSpace_; }
    ObjectIndex layer0() const { return layer0_; }
    ObjectIndex continuous() const { return findLinetype("Continuous"); }
    std::string layerName(const Entity& e) const;
    std::string linetypeName(const Entity& e) const;
    std::string blockName(ObjectIndex block) const;

    // ---- layouts ----
    const std::vector<ObjectIndex>& layouts() const { return layouts_; }  // dictionary order
    ObjectIndex findLayout(std::string_view name) const;
    ObjectIndex activeLayout() const;
    Status setCurrentLayout(ObjectIndex layout);
    Status setCurrentLayout(std::string_view name);

    // ---- header ----
    Point3d insBase;
    std::string codePage = "ANSI_1252";
    std::string readVersion;  // $ACADVER of the file read, empty for a new drawing
    bool tileMode = true;
    int insUnits = 0, measurement = 1;
    double linetypeScale = 1;        // $LTSCALE: every pattern's global scale, > 0
    bool paperLinetypeScale = true;  // $PSLTSCALE: patterns through viewports measured on paper
    ObjectIndex currentLayer = 0, currentTextStyle = 0, currentDimStyle = 0;

    // Geometric extents of all entities of model space (empty when there are none).
    Extents3d extents() const;

    // ---- internals shared by the reader, writer and copier ----
    Handle layoutDictHandle = 0, groupDictHandle = 0, rootDictHandle = 0;
    Handle tableHandles[9] = {};
    void registerHandle(Handle h, ObjectIndex i);
    void rebuildHandleMap();
    void setHandSeedAtLeast(Handle h) {
        if (h > nextHandle_) nextHandle_ = h;
    }
    void addLayout(ObjectIndex layout) { layouts_.push_back(layout); }
    void setModelSpace(ObjectIndex m) { modelSpace_ = m; }
    void setPaperSpace(ObjectIndex p) { paperSpace_ = p; }
    void setLayer0(ObjectIndex l) { layer0_ = l; }
    void addToTable(ObjectIndex record);
    ObjectIndex createLayout(std::string_view name, ObjectIndex block, int tabOrder);
    void ensureStructure();  // model/paper space, layouts, layer 0, ... (after reading)
    std::vector<std::unique_ptr<Object>>& rawObjects() { return objects_; }
    void reserveObjects(std::size_t n) {
        n = std::min<std::size_t>(n, 1u << 24);
        objects_.reserve(n);
        byHandle_.reserve(n);
    }

  private:
    ObjectIndex findIn(const std::vector<ObjectIndex>& table, std::string_view name) const;
    void createDefaults();
    // The object and what belongs to it (vertices, attributes, end markers) as erased.
    void markErased(Object& object);

    std::uint32_t serial_;
    std::vector<std::unique_ptr<Object>> objects_;
    // handle -> index, open addressing with linear probing (no allocation per object)
    class HandleMap {
      public:
        HandleMap() = default;
        ~HandleMap();
        HandleMap(const HandleMap&) = delete;
        HandleMap& operator=(const HandleMap&) = delete;
        ObjectIndex find(Handle h) const;
        bool contains(Handle h) const { return find(h) != 0; }
        void set(Handle h, ObjectIndex i);
        void reserve(std::size_t n);
        void clear();

      private:
        struct Slot {
            Handle handle;
            ObjectIndex index;
        };
        Slot* slots_ = nullptr;  // capacity_ entries, a power of two; handle 0 = empty
        std::size_t capacity_ = 0;
        std::size_t size_ = 0;
    };
    HandleMap byHandle_;
    Handle nextHandle_ = 1;
    std::vector<ObjectIndex> layers_, styles_, linetypes_, blocks_, dimStyles_, appIds_, layouts_;
    // the last number given to an anonymous block, by prefix (upper case)
    std::unordered_map<std::string, unsigned> anonymousNumbers_;
    ObjectIndex modelSpace_ = 0, paperSpace_ = 0, layer0_ = 0;
};

bool equalsNoCase(std::string_view a, std::string_view b);

// Memory held by the object pool, for benchmarks and tests.
struct ObjectPoolStats {
    std::size_t chunks = 0;
    std::size_t bytesMapped = 0;
};
ObjectPoolStats objectPoolStats();

}  // namespace qkshost::drawing
