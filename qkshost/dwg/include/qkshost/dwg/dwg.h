// DWG decoder of qkshost: turns the bytes of a .dwg file (R13/R14 to 2018) into plain typed
// records. It knows nothing of the drawing database; an adapter maps these records onto it.
//
// Contracts: every text is UTF-8; angles are radians; coordinates are as stored (WCS or OCS,
// noted per field); handles are the drawing's own 64-bit handles (0 = none). The decoder
// never throws: a damaged file gives Status != Ok and one message naming the section and the
// byte offset. Decoding is single-threaded and keeps no state between calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace qkshost::dwg {

enum class Status {
    Ok = 0,
    NotDwg,       // no DWG version string
    Unsupported,  // a DWG generation or feature this decoder does not read
    Encrypted,    // password-protected, wrapped by a protection system, or not decrypting
    Damaged,      // truncated, bad CRC, bad map, offsets outside the file ...
};

using Handle = std::uint64_t;

struct Vec3 {
    double x = 0, y = 0, z = 0;
};

// Converts text in a Windows code page (the $DWGCODEPAGE number, e.g. 30 = ANSI_1252,
// 38 = GBK/ANSI_936) to UTF-8. Used for the texts of drawings before 2007. Must not throw.
using CodePageDecoder = std::function<std::string(std::string_view bytes, int dwgCodePage)>;
// Latin-1 to UTF-8 (ASCII passes unchanged): the default when no decoder is given.
std::string latin1ToUtf8(std::string_view bytes, int dwgCodePage);

struct Color {
    std::int16_t index = 256;  // ACI: 0 ByBlock, 256 ByLayer
    std::int32_t rgb = -1;     // 0xRRGGBB, -1 = none
};

struct Header {
    std::string acadver;  // "AC1015" ...
    int maintenance = 0;
    int codePage = 0;  // $DWGCODEPAGE number as stored
    int insunits = 0;
    double ltscale = 1, celtscale = 1, textsize = 2.5, pdsize = 0;
    bool psltscale = true, tilemode = true, fillmode = true;
    int pdmode = 0, lunits = 2, luprec = 4, aunits = 0, auprec = 0, measurement = -1;
    Vec3 extmin, extmax, insbase, limmin, limmax;
    Vec3 pextmin, pextmax, pinsbase, plimmin, plimmax;
    Handle handseed = 0;
    Color cecolor;
    int celweight = -1;
    Handle clayer = 0, textstyle = 0, celtype = 0, dimstyle = 0;
    Handle blockControl = 0, layerControl = 0, styleControl = 0, linetypeControl = 0,
           viewControl = 0, ucsControl = 0, vportControl = 0, appidControl = 0, dimstyleControl = 0;
    Handle namedObjects = 0, layoutsDictionary = 0, groupDictionary = 0;
    Handle paperSpaceBlock = 0, modelSpaceBlock = 0;
    Handle ltypeByLayer = 0, ltypeByBlock = 0, ltypeContinuous = 0;
};

struct ClassDef {
    int number = 0;  // object type of this class's objects
    int proxyFlags = 0;
    std::string appName, cppName, dxfName;
    bool wasProxy = false, isEntity = false;
};

struct ObjectMapEntry {
    Handle handle = 0;
    std::int64_t offset = 0;  // in the file (R13-R15) or in the objects section (2004+)
};

// ---------- data common to every record ----------

struct Common {
    Handle handle = 0;
    Handle owner = 0;
    int type = 0;         // object type number as stored
    std::string dxfName;  // "LINE", "LAYER", ...
    std::vector<Handle> reactors;
    Handle xdictionary = 0;
};

struct EntityCommon {
    Handle layer = 0;
    Handle linetype = 0;  // 0 with linetypeFlags 0/1/2 = ByLayer/ByBlock/Continuous
    int linetypeFlags = 0;
    Color color;
    int lineweight = -1;  // 1/100 mm; -1 ByLayer, -2 ByBlock, -3 Default
    double linetypeScale = 1;
    bool invisible = false;
    bool paperSpace = false;
    Handle plotStyle = 0;
    Handle prev = 0, next = 0;  // R13-R2000 entity chain
};

// ---------- tables ----------

struct LayerRec {
    std::string name;
    int flags = 0;  // 1 frozen, 4 locked (as DXF group 70)
    bool off = false, plot = true;
    Color color{7, -1};
    int lineweight = -3;
    Handle linetype = 0, plotStyle = 0;
};
struct LinetypeDash {
    double length = 0, xOffset = 0, yOffset = 0, scale = 1, rotation = 0;
    int shape = 0, shapeFlags = 0;
    Handle style = 0;
    std::string text;
};
struct LinetypeRec {
    std::string name, description;
    int flags = 0;
    double patternLength = 0;
    int alignment = 'A';
    std::vector<LinetypeDash> dashes;
};
struct StyleRec {
    std::string name, fontFile, bigFont;
    int flags = 0;  // 1 shape file, 4 vertical
    double height = 0, widthFactor = 1, oblique = 0, lastHeight = 2.5;
    int generation = 0;
};
struct AppIdRec {
    std::string name;
    int flags = 0;
};
struct BlockRecordRec {
    std::string name, xrefPath, description;
    int flags = 0;  // 1 anonymous, 2 has attributes, 4 xref, 8 overlay
    Vec3 base;
    Handle block = 0, endBlock = 0, layout = 0;
    Handle firstEntity = 0, lastEntity = 0;  // R13-R2000
    std::vector<Handle> entities;            // in record order (filled for every version)
    int units = 0;
    bool explodable = true, scalable = false;
};
struct DimStyleRec {
    std::string name;
    int flags = 0;
    double dimscale = 1, dimasz = 0.18, dimexo = 0.0625, dimdli = 0.38, dimexe = 0.18,
           dimtxt = 0.18, dimcen = 0.09, dimgap = 0.09, dimlfac = 1;
    Handle textStyle = 0;
};
struct BlockBegin {  // BLOCK entity
    std::string name;
};
struct BlockEnd {};  // ENDBLK entity

// ---------- entities (coordinates: WCS unless noted OCS) ----------

struct LineRec {
    Vec3 start, end;
    double thickness = 0;
    Vec3 extrusion{0, 0, 1};
};
struct CircleRec {  // also ARC
    Vec3 center;    // OCS
    double radius = 0, thickness = 0;
    Vec3 extrusion{0, 0, 1};
    bool isArc = false;
    double startAngle = 0, endAngle = 0;
};
struct EllipseRec {
    Vec3 center, majorAxis, extrusion{0, 0, 1};
    double ratio = 1, startParam = 0, endParam = 0;
};
struct LwVertexRec {
    double x = 0, y = 0, startWidth = 0, endWidth = 0, bulge = 0;
};
struct LwPolylineRec {
    int flags = 0;  // DWG flags: 512 closed, 256 plinegen
    double constantWidth = 0, elevation = 0, thickness = 0;
    Vec3 extrusion{0, 0, 1};
    std::vector<LwVertexRec> vertices;  // OCS
    bool closed() const { return flags & 512; }
};
struct PolylineRec {
    bool is3d = false;
    int flags = 0;  // as DXF group 70 (1 closed, 8 3-D, 16 mesh, 64 polyface ...)
    int curveType = 0;
    // mesh: M and N vertex counts and densities; polyface: vertex and face counts (M, N)
    int meshM = 0, meshN = 0, smoothM = 0, smoothN = 0;
    double startWidth = 0, endWidth = 0, thickness = 0, elevation = 0;
    Vec3 extrusion{0, 0, 1};
    Handle firstVertex = 0, lastVertex = 0;  // R13-R2000
    std::vector<Handle> vertices;            // filled for every version
    Handle seqEnd = 0;
};
struct VertexRec {
    bool is3d = false;
    int flags = 0;
    Vec3 position;  // OCS for 2-D vertices
    double startWidth = 0, endWidth = 0, bulge = 0, tangent = 0;
    int faces[4] = {0, 0, 0, 0};  // polyface face record: 1-based vertex numbers, < 0 hidden edge
};
struct SeqEndRec {};
struct SplineRec {
    int scenario = 1;  // 1 control points, 2 fit points
    int degree = 3;
    bool rational = false, closed = false, periodic = false;
    double knotTolerance = 0, controlTolerance = 0, fitTolerance = 0;
    Vec3 startTangent, endTangent;
    std::vector<double> knots, weights;
    std::vector<Vec3> controlPoints, fitPoints;
};
struct PointRec {
    Vec3 position, extrusion{0, 0, 1};
    double thickness = 0, angle = 0;
};
struct TextRec {               // TEXT, ATTRIB, ATTDEF
    Vec3 position, alignment;  // OCS (x, y; z = elevation)
    bool hasAlignment = false;
    Vec3 extrusion{0, 0, 1};
    double thickness = 0, elevation = 0, oblique = 0, rotation = 0, height = 0, widthFactor = 1;
    int generation = 0, hAlign = 0, vAlign = 0;
    std::string text;
    Handle style = 0;
    // ATTRIB / ATTDEF
    std::string tag, prompt;
    int attribFlags = 0, fieldLength = 0;
    bool lockPosition = false;
};
struct MTextRec {
    Vec3 position, extrusion{0, 0, 1}, direction{1, 0, 0};
    double width = 0, height = 0, textHeight = 0, lineSpacing = 1;
    int attachment = 1, drawingDirection = 1, lineSpacingStyle = 1;
    std::string text;
    Handle style = 0;
};
struct InsertRec {
    Vec3 position, scale{1, 1, 1}, extrusion{0, 0, 1};
    double rotation = 0;
    int columns = 1, rows = 1;
    double columnSpacing = 0, rowSpacing = 0;
    Handle block = 0;
    Handle firstAttrib = 0, lastAttrib = 0;  // R13-R2000
    std::vector<Handle> attributes;          // filled for every version
    Handle seqEnd = 0;
};
struct SolidRec {
    Vec3 corners[4];  // OCS (z = elevation)
    double thickness = 0;
    Vec3 extrusion{0, 0, 1};
};
struct HatchSegment {
    int type = 1;                           // 1 line, 2 circular arc, 3 elliptic arc, 4 spline
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // line ends; arc centre (x0,y0); ellipse axis (x1,y1)
    double radius = 0, ratio = 0, start = 0, end = 0;
    bool ccw = true;
    int degree = 0;
    bool rational = false, periodic = false;
    std::vector<double> knots, weights;
    std::vector<double> points;  // spline control points, x y pairs
};
struct HatchLoop {
    int flags = 0;  // 2 = polyline loop
    bool closed = false;
    std::vector<LwVertexRec> polyline;  // x, y, bulge
    std::vector<HatchSegment> edges;
    std::vector<Handle> sources;
};
struct HatchPatternLine {
    double angle = 0, baseX = 0, baseY = 0, offsetX = 0, offsetY = 0;
    std::vector<double> dashes;
};
struct HatchRec {
    std::string pattern;
    bool solid = false, associative = false, isDouble = false;
    int style = 0, patternType = 1;
    double elevation = 0, angle = 0, scale = 1;
    Vec3 extrusion{0, 0, 1};
    std::vector<HatchLoop> loops;  // OCS
    std::vector<HatchPatternLine> lines;
};
struct DimensionRec {
    int dimType = 0;  // 0 linear .. 6 ordinate as DXF group 70 & 7
    int flags = 0;
    Vec3 extrusion{0, 0, 1}, textMid, defPoint, insertPoint, p13, p14, p15, p16;
    double elevation = 0, textRotation = 0, horizontalDirection = 0, angle = 0, oblique = 0,
           leaderLength = 0, measurement = 0, lineSpacing = 1;
    int attachment = 5, lineSpacingStyle = 1;
    std::string text;
    Handle dimStyle = 0, block = 0;
};
struct ViewportRec {
    Vec3 center, viewTarget, viewDirection{0, 0, 1};
    double width = 0, height = 0, viewHeight = 0, lensLength = 50, twist = 0;
    double viewCenterX = 0, viewCenterY = 0;
    int statusFlags = 0, renderMode = 0;
    std::vector<Handle> frozenLayers;
};

// ---------- objects ----------

struct DictionaryRec {
    int cloning = 0;
    bool hardOwner = false;
    std::vector<std::pair<std::string, Handle>> entries;
    Handle defaultEntry = 0;  // DICTIONARYWDFLT
};
struct PlotSettingsRec {
    std::string pageSetupName, device, media, viewName, styleSheet;
    int flags = 0, paperUnits = 0, rotation = 0, plotType = 0, standardScaleType = 0;
    double marginLeft = 0, marginBottom = 0, marginRight = 0, marginTop = 0;
    double paperWidth = 0, paperHeight = 0, originX = 0, originY = 0;
    double windowMinX = 0, windowMinY = 0, windowMaxX = 0, windowMaxY = 0;
    double numerator = 1, denominator = 1, scaleFactor = 1, imageOriginX = 0, imageOriginY = 0;
    int shadePlotMode = 0, shadePlotResolution = 0, shadePlotDpi = 300;
};
struct LayoutRec {
    PlotSettingsRec plot;
    std::string name;
    int tabOrder = 0, flags = 0;
    Vec3 limMin, limMax, insBase, extMin, extMax;
    Handle block = 0;
};

using Data = std::variant<std::monostate, LayerRec, LinetypeRec, StyleRec, AppIdRec, BlockRecordRec,
                          DimStyleRec, BlockBegin, BlockEnd, LineRec, CircleRec, EllipseRec,
                          LwPolylineRec, PolylineRec, VertexRec, SeqEndRec, SplineRec, PointRec,
                          TextRec, MTextRec, InsertRec, SolidRec, HatchRec, DimensionRec,
                          ViewportRec, DictionaryRec, LayoutRec>;

struct Record {
    Common common;
    bool isEntity = false;
    EntityCommon entity;  // when isEntity
    Data data;
};

struct Drawing {
    Header header;
    std::vector<ClassDef> classes;
    std::vector<ObjectMapEntry> objectMap;  // in map order (ascending handles)
    std::vector<Record> records;            // decoded objects, in object map order
    // Objects not decoded: proxies, 3-D solids/regions/bodies and kinds not listed above, and
    // how many of them are entities. The table control objects are not counted: the tables
    // they hold are read from their entries.
    std::size_t skippedProxies = 0, skippedSolids = 0, skippedUnknown = 0, skippedEntities = 0;
    std::size_t skipped() const { return skippedProxies + skippedSolids + skippedUnknown; }
    const Record* find(Handle h) const;  // binary search over records (map order)
};

struct ReadOptions {
    CodePageDecoder decodeCodePage = nullptr;  // nullptr = latin1ToUtf8
};

struct DecodeResult {
    Status status = Status::Ok;
    std::string message;  // empty when Ok
};

// True when `bytes` starts like a DWG file ("AC10" + two digits).
bool looksLikeDwg(std::string_view bytes);
// True when `bytes` start with the header a document-protection (transparent encryption)
// system writes over a file it encrypts whole: "%TSD-Header-###%", "E-SafeNet".
bool isProtectionWrapper(std::string_view bytes);

// Decodes a whole drawing. On failure `out` holds what was decoded before the damage.
DecodeResult decode(std::string_view bytes, Drawing& out, const ReadOptions& options = {});

}  // namespace qkshost::dwg
