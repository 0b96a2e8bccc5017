// Part extraction from drawing entities.
#include "qks/drawing/extraction.h"

#include "frame_furniture.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <map>
#include <set>

#include "qks/common/job_log.h"
#include "qks/common/utf8.h"
#include "qks/contract/log_words.h"
#include "qks/contract/names.h"
#include "qks/contract/states.h"
#include "qks/drawing/carry.h"
#include "qks/drawing/figures.h"
#include "qks/drawing/frames.h"

namespace qks::drawing {

using contract::DrawingUnits;
using contract::measureOutline;
using geometry::Bounds;
using geometry::boundsOf;
using geometry::pointInPolygon;
namespace {

void logLine(const ExtractionOptions& options, const std::string& line) {
    appendJobLog(options.logChannel, line);
}

void warn(const ExtractionOptions& options, const std::string& text) {
    logLine(options, contract::logEntry(contract::kLogWarning, text));
}

// What was left out as not cut, by reason.
struct LeftOut {
    int frames = 0;
    int layers = 0;
    int linetypes = 0;
};

// A title block's area: loose curves wholly inside it are its table, not a part.
struct TitleArea {
    double minX, minY, maxX, maxY;
};

bool isTitleBlockName(const std::string& name) {
    const std::string lower = toLowerUtf8(name);
    return lower.find("title") != std::string::npos || lower.find("标题") != std::string::npos;
}

// A block reference the walk went through: the reference holding it (-1: the scanned space)
// and its block's name.
struct Instance {
    int parent = -1;
    std::string blockName;
};

// How the walk sees an entity: through the block references that hold it.
struct Context {
    host::Matrix3d transform = host::Matrix3d::identity();  // to the scanned space
    int depth = 0;                                          // references passed through
    std::string layer;     // the layer that layer 0 stands for inside the reference
    std::string linetype;  // the line type that "ByBlock" stands for
    std::string handle;    // the entity of the scanned space it belongs to
    int instance = -1;     // the innermost reference, -1 at the top
    // Drawn by a reference on a layer named like annotation: its curves are cut only as
    // cut-outs of a part, as loose curves on such a layer are.
    bool annotation = false;
};

// Curves collected by the walk, each with the reference it came from (-1: a loose curve).
struct PieceList {
    std::vector<CurvePiece> pieces;
    std::vector<int> instances;
    void add(CurvePiece piece, int instance) {
        pieces.push_back(std::move(piece));
        instances.push_back(instance);
    }
};

// Non-cut geometry of the scanned space that may travel with the part it lies on.
struct CarryCandidate {
    std::string layer;  // contract::kBendLayer or kMarkLayer
    std::string handle;
    std::vector<Point> points;  // millimetres
    bool closed = false;
};

// Everything one extraction call needs while it walks the entities.
struct Walk {
    Walk(host::DrawingAccess& services, const ExtractionOptions& chosen)
        : ds(services), options(chosen) {}

    host::DrawingAccess& ds;
    const ExtractionOptions& options;
    double scale = 1.0;  // millimetres per drawing unit
    LeftOut leftOut;
    std::vector<TitleArea> titleAreas;
    std::vector<Instance> instances;
    PieceList cut;
    // Curves on layers named like annotation, kept apart until the parts are known.
    PieceList annotation;
    // References on such layers that also draw what is not cut (texts, marks, curves off the
    // parts): a part they give cut-outs to is drawn from its outline, not copied with them.
    std::set<std::string> mixedAnnotation;
    // Handles of the entities that draw frames as lines, in model space or in blocks.
    std::set<std::string> frameMembers;
    std::vector<CarryCandidate> carried;
};

// A layer's name as its words are matched: lower case, with the "\\U+XXXX" and "_U+XXXX"
// escapes that writers without the character in their code page leave in symbol names
// (Illustrator writes 彫刻パス as _U+5F6B_U+523B_U+30D1_U+30B9) read as the characters. The
// name as written follows after a line break, so a word naming the escapes still matches.
std::string layerWords(const std::string& layerName) {
    const std::string lower = toLowerUtf8(layerName);
    std::string out;
    for (std::size_t i = 0; i < lower.size();) {
        if ((lower[i] == '\\' || lower[i] == '_') && i + 7 <= lower.size() &&
            lower.compare(i + 1, 2, "u+") == 0 &&
            std::all_of(lower.begin() + i + 3, lower.begin() + i + 7,
                        [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); })) {
            appendUtf8(out, static_cast<char32_t>(std::stoul(lower.substr(i + 3, 4), nullptr, 16)));
            i += 7;
        } else {
            out += lower[i++];
        }
    }
    return out == lower ? out : out + "\n" + lower;
}

// Layer words that say dimension or axis. Such layers hold dimensions, centre marks and
// notes, but drawings also put holes there (a flat pattern with its 88 holes on "dim").
const char* const kAnnotationWords[] = {"dim",    "annotation", "标注", "尺寸",
                                        "center", "centre",     "中心"};

// Whether every skip word the layer's name holds is an annotation word.
bool annotationLayer(const std::vector<std::string>& skipWords, const std::string& layerName) {
    const std::string lower = layerWords(layerName);
    for (const std::string& word : skipWords) {
        if (word.empty() || lower.find(word) == std::string::npos) continue;
        bool annotation = false;
        for (const char* a : kAnnotationWords)
            annotation = annotation || word.find(a) != std::string::npos;
        if (!annotation) return false;
    }
    return true;
}

// The largest stretch a transform gives a length in the plane (an upper bound: the Frobenius
// norm of its 2 x 2 part).
double stretchOf(const host::Matrix3d& m) {
    const double s = std::sqrt(m.m[0][0] * m.m[0][0] + m.m[0][1] * m.m[0][1] +
                               m.m[1][0] * m.m[1][0] + m.m[1][1] * m.m[1][1]);
    return std::isfinite(s) && s > 0 ? s : 1.0;
}

enum class Use { Cut, Annotation, LeftOut };

// What an entity on `layer` drawn in `linetype` is; counts the reason of what is left out.
// A curve on a layer named like annotation (and nothing else not cut), in a line type that is
// cut, is put aside rather than left out: extractParts decides on it once the parts are known.
// So is a block reference there (`drawsCurves`), whose curves are put aside in turn, and any
// curve such a reference draws (`inAnnotation`) on a layer not left out for another reason.
Use classify(Walk& walk, const std::string& layer, const std::string& linetype, bool drawsCurves,
             bool inAnnotation) {
    if (!walk.options.skipNonCut) return Use::Cut;
    if (layerSkipped(walk.options.skipLayers, layer)) {
        if (drawsCurves && !nonCutLinetype(linetype) &&
            annotationLayer(walk.options.skipLayers, layer))
            return Use::Annotation;
        ++walk.leftOut.layers;
        return Use::LeftOut;
    }
    if (nonCutLinetype(linetype)) {
        ++walk.leftOut.linetypes;
        return Use::LeftOut;
    }
    return inAnnotation ? Use::Annotation : Use::Cut;
}

// The anonymous block a dimension draws itself with ("*D12"): arrows, lines and text, never a
// cut-out, even where its arrowheads are closed shapes on the part.
bool dimensionBlock(const std::string& blockName) {
    return blockName.size() > 2 && blockName[0] == '*' &&
           (blockName[1] == 'D' || blockName[1] == 'd');
}

// One curve flattened into the scanned space in millimetres; false when it gives no piece.
bool flattenCurve(Walk& walk, host::ObjectId curve, const host::EntityInfo& info,
                  const host::Matrix3d& transform, CurvePiece& piece) {
    const double toMillimetres = walk.scale * stretchOf(transform);
    std::vector<host::Point3d> points;
    bool closed = false;
    const double chordError = flatteningChordError(info.type, walk.options.fineFreeForm);
    if (!host::succeeded(walk.ds.curvePoints(curve, chordError / toMillimetres, points, closed)))
        return false;
    if (points.size() < 2) return false;
    piece.points.clear();
    piece.points.reserve(points.size());
    for (const host::Point3d& p : points) {
        const host::Point3d q = transform.transform(p);
        piece.points.push_back({q.x * walk.scale, q.y * walk.scale});
    }
    piece.closed = closed;
    piece.handle = info.handle;
    // Lines and straight polylines come out exact; anything with arcs has chords inside.
    bool curved = true;
    if (info.type == host::EntityType::Line) {
        curved = false;
    } else if (info.type == host::EntityType::LwPolyline) {
        host::LwPolylineInfo polyline;
        curved = !(host::succeeded(walk.ds.lwPolyline(curve, polyline)) &&
                   polyline.vertices.size() >= points.size());
    }
    piece.chordError = curved ? kChordError : 0.0;
    if (curved) piece.arcs = curveArcs(walk.ds, curve, info, transform, walk.scale);
    return true;
}

bool insideTitleArea(const std::vector<TitleArea>& areas, const std::vector<Point>& points,
                     double scale);

bool holdsWord(const std::string& words, std::initializer_list<const char*> list) {
    for (const char* word : list)
        if (words.find(word) != std::string::npos) return true;
    return false;
}

// The layer a non-cut entity travels on, or none. Frames and title blocks, dimensions,
// construction lines and hatching stay behind; texts are marks; curves are bend lines on bend
// layers or in broken line types (how flat patterns draw them) and marks on engraving layers.
std::string carriedLayer(const Walk& walk, const host::EntityInfo& info, const std::string& layer,
                         const std::string& linetype) {
    if (!walk.options.carry || !walk.options.skipNonCut) return {};
    const std::string words = layerWords(layer);
    if (holdsWord(words, {"frame", "border", "title", "图框", "标题", "rahmen", "schriftfeld",
                          "plankopf"}))
        return {};
    if (holdsWord(words, {"dim", "annotation", "标注", "尺寸", "construction", "辅助", "构造",
                          "hatch", "填充", "剖面", "defpoints"}))
        return {};
    if (info.type == host::EntityType::Text || info.type == host::EntityType::MText)
        return std::string(contract::kMarkLayer);
    if (!info.isCurve) return {};
    if (holdsWord(words, {"bend", "fold", "折弯", "折线"}))
        return std::string(contract::kBendLayer);
    if (holdsWord(words, {"engrav", "雕刻", "彫刻", "text", "文字"}))
        return std::string(contract::kMarkLayer);
    if (nonCutLinetype(linetype)) return std::string(contract::kBendLayer);
    return {};
}

// A top-level entity extraction does not cut, kept when it may travel with a part.
void considerCarrying(Walk& walk, host::ObjectId entity, const host::EntityInfo& info,
                      const std::string& layer, const std::string& linetype) {
    CarryCandidate candidate{carriedLayer(walk, info, layer, linetype), info.handle, {}, false};
    if (candidate.layer.empty() || candidate.handle.empty()) return;
    if (info.isCurve) {
        CurvePiece piece;
        if (!flattenCurve(walk, entity, info, host::Matrix3d::identity(), piece)) return;
        candidate.points = std::move(piece.points);
        candidate.closed = piece.closed;
    } else {
        host::Extents3d box;
        if (!host::succeeded(walk.ds.geometricExtents(entity, box)) || box.isEmpty()) return;
        const double s = walk.scale;
        candidate.points = {{box.min.x * s, box.min.y * s},
                            {box.max.x * s, box.min.y * s},
                            {box.max.x * s, box.max.y * s},
                            {box.min.x * s, box.max.y * s}};
        candidate.closed = true;
    }
    if (insideTitleArea(walk.titleAreas, candidate.points, walk.scale)) return;
    walk.carried.push_back(std::move(candidate));
}

// One entity of the scanned space or of a block, with what holds it. Block references are
// followed into their blocks (to kMaxBlockDepth), whose curves join the loose ones: the
// arrangement, not the block, decides what is a part and what is a hole.
void takeEntity(Walk& walk, host::ObjectId entity, const Context& context) {
    host::EntityInfo info;
    if (!host::succeeded(walk.ds.entityInfo(entity, info))) return;
    if (walk.frameMembers.count(info.handle) > 0) {
        if (info.isCurve) ++walk.leftOut.frames;
        return;
    }
    const bool reference = info.type == host::EntityType::BlockReference;
    std::string layer = info.layer;
    std::string linetype = info.linetype;
    if (context.depth > 0 && layer == "0") {
        // Layer 0 inside a block shows the reference's layer, and so does its "ByLayer" line
        // type; the reference's own line type stands for that layer's.
        layer = context.layer;
        host::EntityProperties properties;
        if (host::succeeded(walk.ds.entityProperties(entity, properties)) &&
            toLowerUtf8(properties.linetype) == "bylayer")
            linetype = context.linetype;
    }
    if (toLowerUtf8(linetype) == "byblock") linetype = context.linetype;
    // The accepted layers pick curves; a reference is followed whatever its layer, for what
    // its block holds on accepted layers.
    // What is not cut, for a filter's reason or a rule's, may still travel with its part.
    const bool topLevelEntity = context.depth == 0 && !reference;
    if (!reference && !layerAccepted(walk.options.layers, layer)) {
        if (topLevelEntity) considerCarrying(walk, entity, info, layer, linetype);
        return;
    }
    // Texts and dimensions are counted when a rule leaves them out, and are never cut.
    const Use use = classify(walk, layer, linetype, info.isCurve || reference, context.annotation);
    const std::string& handle = context.depth == 0 ? info.handle : context.handle;
    if (use == Use::LeftOut || (!reference && !info.isCurve)) {
        if (topLevelEntity) considerCarrying(walk, entity, info, layer, linetype);
        if (context.annotation) walk.mixedAnnotation.insert(handle);
        return;
    }
    if (reference) {
        if (context.depth >= kMaxBlockDepth) return;
        host::BlockReferenceInfo block;
        if (!host::succeeded(walk.ds.blockReference(entity, block))) return;
        if (walk.options.skipNonCut && isFrameName(block.blockName)) {
            ++walk.leftOut.frames;
            return;
        }
        if (use == Use::Annotation && dimensionBlock(block.blockName)) {
            ++walk.leftOut.layers;
            if (context.annotation) walk.mixedAnnotation.insert(handle);
            return;
        }
        // A multiple insert draws its block once per cell of its grid: each cell is a
        // reference of its own (a perforation field drawn as one MINSERT of a hole).
        const std::vector<host::ObjectId> nestedEntities = walk.ds.blockEntities(block.blockRecord);
        const int columns = std::clamp(block.columns, 1, kMaxArrayCells);
        const int rows = std::clamp(block.rows, 1, kMaxArrayCells / columns);
        for (int row = 0; row < rows; ++row)
            for (int column = 0; column < columns; ++column) {
                const host::Vector3d step{column * block.columnStep.x + row * block.rowStep.x,
                                          column * block.columnStep.y + row * block.rowStep.y,
                                          column * block.columnStep.z + row * block.rowStep.z};
                const Context inner{
                    context.transform * host::Matrix3d::translation(step) * block.transform,
                    context.depth + 1,
                    layer,
                    linetype,
                    handle,
                    static_cast<int>(walk.instances.size()),
                    use == Use::Annotation};
                walk.instances.push_back({context.instance, block.blockName});
                for (const host::ObjectId nested : nestedEntities)
                    takeEntity(walk, nested, inner);
            }
        return;
    }
    CurvePiece piece;
    if (!flattenCurve(walk, entity, info, context.transform, piece)) return;
    piece.handle = handle;
    if (use == Use::Annotation) {
        walk.annotation.add(std::move(piece), context.instance);
        return;
    }
    if (context.depth == 0 && !walk.titleAreas.empty() &&
        insideTitleArea(walk.titleAreas, piece.points, walk.scale)) {
        ++walk.leftOut.frames;
        return;
    }
    walk.cut.add(std::move(piece), context.instance);
}

// Whether a point lies in a part's material: inside its outline and outside its holes.
bool inMaterial(const ArrangedPart& part, const std::vector<Bounds>& holeBounds, const Point& p) {
    if (!pointInPolygon(part.outline, p.x, p.y)) return false;
    for (std::size_t k = 0; k < part.holes.size(); ++k) {
        const Bounds& b = holeBounds[k];
        if (p.x < b.minX || p.x > b.maxX || p.y < b.minY || p.y > b.maxY) continue;
        if (pointInPolygon(part.holes[k], p.x, p.y)) return false;
    }
    return true;
}

// The rule for layers named like annotation: their curves are cut where they draw a closed
// curve (a circle, a closed polyline, or pieces joined among themselves into a ring) lying
// wholly in the material of a part found from the cut layers; such a curve is a cut-out
// whatever its layer says. Everything else there stays out: centre marks and crosses (open),
// leader and dimension lines (open, or outside any part), and closed shapes off the parts.
// The curves that block references on such layers draw are candidates too; dimension entities
// and their blocks, and text, never get here.
// Returns the numbers of the pieces taken, ascending.
std::vector<std::size_t> annotationCutouts(const std::vector<CurvePiece>& candidates,
                                           const Arrangement& arranged, double tolerance) {
    std::vector<std::size_t> taken;
    if (arranged.parts.empty()) return taken;
    std::vector<Bounds> outlineBounds;
    std::vector<std::vector<Bounds>> holeBounds;
    for (const ArrangedPart& part : arranged.parts) {
        outlineBounds.push_back(boundsOf(part.outline));
        holeBounds.emplace_back();
        for (const Outline& hole : part.holes)
            holeBounds.back().push_back(boundsOf(hole));
    }
    for (const JoinedChain& chain : joinPieces(candidates, tolerance)) {
        if (!chain.closed) continue;
        const Bounds box = boundsOf(chain.points);
        for (std::size_t k = 0; k < arranged.parts.size(); ++k) {
            const Bounds& b = outlineBounds[k];
            if (box.minX < b.minX || box.maxX > b.maxX || box.minY < b.minY || box.maxY > b.maxY)
                continue;
            const bool inside = std::all_of(
                chain.points.begin(), chain.points.end(),
                [&](const Point& p) { return inMaterial(arranged.parts[k], holeBounds[k], p); });
            if (!inside) continue;
            taken.insert(taken.end(), chain.pieces.begin(), chain.pieces.end());
            break;
        }
    }
    std::sort(taken.begin(), taken.end());
    return taken;
}

// A part's handles name the entities that draw it, and the nest drawing copies them as the
// part. A block reference that draws several parts (or one part's holes and another's), or an
// annotation reference that also draws what is not cut, would bring them all along: such parts
// keep no handles and are drawn from their outlines.
void dropSharedReferences(const Walk& walk, Arrangement& arranged) {
    for (ArrangedPart& part : arranged.parts)
        if (std::any_of(part.handles.begin(), part.handles.end(),
                        [&](const std::string& h) { return walk.mixedAnnotation.count(h) != 0; }))
            part.handles.clear();
    std::set<std::string> references;
    for (std::size_t i = 0; i < walk.cut.pieces.size(); ++i)
        if (walk.cut.instances[i] >= 0) references.insert(walk.cut.pieces[i].handle);
    if (references.empty()) return;
    std::map<std::string, int> users;
    for (const ArrangedPart& part : arranged.parts)
        for (const std::string& handle : part.handles)
            if (references.count(handle) != 0) ++users[handle];
    for (ArrangedPart& part : arranged.parts) {
        const bool shared =
            std::any_of(part.handles.begin(), part.handles.end(), [&](const std::string& h) {
                const auto found = users.find(h);
                return found != users.end() && found->second > 1;
            });
        if (shared) part.handles.clear();
    }
}

// The innermost named block whose one reference holds every piece of each part's outline, or
// an empty name (the caller's) when loose curves or several references draw it. Anonymous
// blocks ("*U", "*D" and the like) name nothing; their named holder may.
std::vector<std::string> partNames(const Walk& walk, const Arrangement& arranged) {
    const auto ancestors = [&](int instance) {
        std::vector<int> chain;
        for (; instance >= 0; instance = walk.instances[instance].parent)
            chain.push_back(instance);
        return chain;
    };
    std::vector<std::string> names;
    for (const ArrangedPart& part : arranged.parts) {
        int common = part.outlinePieces.empty() ? -1 : walk.cut.instances[part.outlinePieces[0]];
        for (const std::size_t piece : part.outlinePieces) {
            if (common < 0) break;
            const std::vector<int> mine = ancestors(common);
            int other = walk.cut.instances[piece];
            while (other >= 0 && std::find(mine.begin(), mine.end(), other) == mine.end())
                other = walk.instances[other].parent;
            common = other;
        }
        std::string name;
        for (; common >= 0 && name.empty(); common = walk.instances[common].parent) {
            const std::string& block = walk.instances[common].blockName;
            if (!block.empty() && block[0] != '*') name = block;
        }
        names.push_back(name);
    }
    return names;
}

ArrangementOptions arrangementOptions(const ExtractionOptions& options) {
    ArrangementOptions arrangement;
    arrangement.joinTolerance = options.joinTolerance;
    return arrangement;
}

bool insideTitleArea(const std::vector<TitleArea>& areas, const std::vector<Point>& points,
                     double scale) {
    for (const TitleArea& a : areas) {
        bool inside = true;
        for (const Point& p : points) {
            const double x = p.x / scale, y = p.y / scale;
            if (x < a.minX || x > a.maxX || y < a.minY || y > a.maxY) {
                inside = false;
                break;
            }
        }
        if (inside) return true;
    }
    return false;
}

void logLeftOut(const ExtractionOptions& options, const LeftOut& leftOut) {
    std::vector<std::string> reasons;
    if (leftOut.frames > 0) reasons.push_back("图框/标题栏 " + std::to_string(leftOut.frames));
    if (leftOut.layers > 0) reasons.push_back("图层 " + std::to_string(leftOut.layers));
    if (leftOut.linetypes > 0) reasons.push_back("线型 " + std::to_string(leftOut.linetypes));
    if (reasons.empty()) return;
    std::string line = "NEST 略过非切割图形 ";
    for (std::size_t i = 0; i < reasons.size(); ++i) {
        if (i > 0) line += "，";
        line += reasons[i];
    }
    logLine(options, line);
}

// Each carried candidate goes with the first new part it lies wholly on. What crosses an
// outline stays behind: cut off at the edge it would mark the neighbour or the sheet, and a
// text cut in two says nothing. Parts drawn from their outlines (no handles) carry nothing.
void carryWithParts(const Walk& walk, std::vector<PartRecord>& out, std::size_t partsBefore) {
    if (walk.carried.empty()) return;
    const double tolerance = std::max(walk.options.joinTolerance, 0.01);
    int bends = 0, marks = 0, crossing = 0;
    for (const CarryCandidate& candidate : walk.carried) {
        PartRecord* holder = nullptr;
        bool touches = false;
        for (std::size_t i = partsBefore; i < out.size() && !holder; ++i) {
            PartRecord& part = out[i];
            if (part.handles.empty()) continue;
            if (liesOnPart(candidate.points, candidate.closed, part, tolerance)) {
                holder = &part;
                break;
            }
            touches = touches || std::any_of(candidate.points.begin(), candidate.points.end(),
                                             [&](const Point& p) {
                                                 return materialDepth(part, p) > tolerance;
                                             });
        }
        if (!holder) {
            if (touches) ++crossing;
            continue;
        }
        auto group = std::find_if(
            holder->carried.begin(), holder->carried.end(),
            [&](const contract::CarriedGroup& g) { return g.layer == candidate.layer; });
        if (group == holder->carried.end())
            group = holder->carried.insert(holder->carried.end(), {candidate.layer, {}});
        if (std::find(group->handles.begin(), group->handles.end(), candidate.handle) !=
            group->handles.end())
            continue;
        group->handles.push_back(candidate.handle);
        ++(candidate.layer == contract::kBendLayer ? bends : marks);
    }
    if (bends + marks + crossing == 0) return;
    std::string line =
        "NEST 随零件携带 折弯线 " + std::to_string(bends) + "，标记 " + std::to_string(marks);
    if (crossing > 0) line += "，跨越轮廓未携带 " + std::to_string(crossing);
    logLine(walk.options, line);
}

std::string formatScale(double scale) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%g", scale);
    return buffer;
}

// Whether the entities, read at `scale` millimetres per unit, fit in a drawing of sheet-metal
// parts; a drawing that fits only in millimetres is taken to be in millimetres.
bool plausibleAtScale(host::DrawingAccess& ds, const std::vector<host::ObjectId>& entities,
                      double scale) {
    host::Extents3d all;
    for (const host::ObjectId entity : entities) {
        host::Extents3d box;
        if (host::succeeded(ds.geometricExtents(entity, box)) && !box.isEmpty()) all.add(box);
    }
    if (all.isEmpty()) return true;
    const double extent = std::max(all.max.x - all.min.x, all.max.y - all.min.y);
    return !(extent * scale > kLargestDrawingExtent && extent <= kLargestDrawingExtent);
}

}  // namespace

double millimetresPerUnit(int insUnits) {
    switch (insUnits) {
        case 1:
            return 25.4;  // inches
        case 2:
            return 304.8;  // feet
        case 3:
            return 1609344.0;  // miles
        case 5:
            return 10.0;  // centimetres
        case 6:
            return 1000.0;  // metres
        case 7:
            return 1e6;  // kilometres
        case 8:
            return 25.4e-6;  // microinches
        case 9:
            return 0.0254;  // mils
        case 10:
            return 914.4;  // yards
        case 11:
            return 1e-7;  // angstroms
        case 12:
            return 1e-6;  // nanometres
        case 13:
            return 1e-3;  // microns
        case 14:
            return 100.0;  // decimetres
        case 15:
            return 1e4;  // decametres
        case 16:
            return 1e5;  // hectometres
        default:
            return 1.0;  // millimetres, none named, or unknown
    }
}

std::string unitName(int insUnits) {
    switch (insUnits) {
        case 1:
            return "英寸";
        case 2:
            return "英尺";
        case 5:
            return "厘米";
        case 6:
            return "米";
        case 9:
            return "密耳";
        case 10:
            return "码";
        case 13:
            return "微米";
        case 14:
            return "分米";
        case 4:
            return "毫米";
        default:
            return "单位" + std::to_string(insUnits);
    }
}

bool layerAccepted(const std::vector<std::string>& layers, const std::string& layerName) {
    if (layers.empty()) return true;
    const std::string lower = toLowerUtf8(layerName);
    for (const std::string& entry : layers)
        if (lower.find(entry) != std::string::npos) return true;
    return false;
}

bool layerSkipped(const std::vector<std::string>& words, const std::string& layerName) {
    if (words.empty()) return false;
    const std::string lower = layerWords(layerName);
    for (const std::string& word : words)
        if (!word.empty() && lower.find(word) != std::string::npos) return true;
    return false;
}

bool nonCutLinetype(const std::string& linetype) {
    static const char* const kWords[] = {"center", "centre", "hidden", "phantom", "dash",
                                         "dot",    "divide", "中心",   "虚线",    "点划"};
    const std::string lower = toLowerUtf8(linetype);
    // The ISO patterns 02 to 15 are all broken lines: dashes, dots and their mixtures.
    if (lower.rfind("acad_iso", 0) == 0) return true;
    for (const char* word : kWords)
        if (lower.find(word) != std::string::npos) return true;
    return false;
}

void partsFromArrangement(const Arrangement& arrangement, const std::string& source,
                          const std::string& name, double drawingScale,
                          std::vector<PartRecord>& out, std::int32_t& nextId,
                          const std::vector<std::string>& names) {
    for (std::size_t k = 0; k < arrangement.parts.size(); ++k) {
        const ArrangedPart& arranged = arrangement.parts[k];
        const std::string& own = k < names.size() && !names[k].empty() ? names[k] : name;
        PartRecord part;
        part.id = nextId++;
        part.outline = arranged.outline;
        measureOutline(part);
        part.area = arranged.area;
        if (part.area < kMinOutlineArea) continue;
        if (part.width < kMinOutlineExtent || part.height < kMinOutlineExtent) continue;
        part.quantity = 1;
        part.name = own.empty() ? std::string("零件") : own;
        part.source = source;
        part.handles = arranged.handles;
        part.holes = arranged.holes;
        part.drawingScale = drawingScale;
        part.figures = arranged.figures;
        out.push_back(std::move(part));
    }
}

bool extractParts(host::DrawingAccess& ds, const std::vector<host::ObjectId>& entities,
                  const std::string& source, const std::string& defaultName,
                  const ExtractionOptions& options, std::vector<PartRecord>& out,
                  std::int32_t& nextId) {
    const std::size_t partsBefore = out.size();
    Walk walk{ds, options};
    const host::DatabaseId database =
        entities.empty() ? host::DatabaseId{} : ds.databaseOf(entities.front());
    int insUnits = database ? ds.drawingUnits(database) : 0;
    if (options.units == DrawingUnits::Millimetres) insUnits = 4;
    if (options.units == DrawingUnits::Inches) insUnits = 1;
    walk.scale = millimetresPerUnit(insUnits);
    if (options.units == DrawingUnits::Auto && walk.scale > 1.0 &&
        !plausibleAtScale(ds, entities, walk.scale)) {
        // Drawing programs and scripts that write metres by default while their users draw
        // millimetres: no sheet-metal drawing is tens of metres across.
        logLine(options,
                "NEST 图纸单位 " + unitName(insUnits) + " 与图形尺寸不符，按毫米读取 " + source);
        walk.scale = 1.0;
    } else if (walk.scale != 1.0) {
        logLine(options, "NEST 图纸单位 " + unitName(insUnits) + " ×" + formatScale(walk.scale) +
                             " " + source);
    }

    // Title blocks first: loose curves inside one are its table.
    if (options.skipNonCut) {
        for (const host::ObjectId entity : entities) {
            host::EntityInfo info;
            host::BlockReferenceInfo block;
            host::Extents3d box;
            if (!host::succeeded(ds.entityInfo(entity, info)) ||
                info.type != host::EntityType::BlockReference ||
                !host::succeeded(ds.blockReference(entity, block)) ||
                !isTitleBlockName(block.blockName) ||
                !host::succeeded(ds.geometricExtents(entity, box)))
                continue;
            walk.titleAreas.push_back({box.min.x, box.min.y, box.max.x, box.max.y});
        }
    }

    // Frames drawn as lines, loose or in the blocks of references: their sheet corners, inner
    // borders and title blocks are not cut.
    if (options.skipNonCut) {
        std::set<host::ObjectId> blocks;
        for (const host::ObjectId entity : entities) {
            host::BlockReferenceInfo block;
            if (ds.entityType(entity) == host::EntityType::BlockReference &&
                host::succeeded(ds.blockReference(entity, block)) &&
                blocks.insert(block.blockRecord).second)
                for (const DrawnFrame& frame :
                     findDrawnFrames(ds, ds.blockEntities(block.blockRecord)))
                    walk.frameMembers.insert(frame.handles.begin(), frame.handles.end());
        }
        for (const DrawnFrame& frame : findDrawnFrames(ds, entities))
            walk.frameMembers.insert(frame.handles.begin(), frame.handles.end());
        // A frame inserted as a block with its title block and tables drawn beside it as
        // loose lines: those lines are the frame's, not a grid of parts.
        for (const std::string& handle :
             frameFurniture(ds, entities, options.joinTolerance / walk.scale))
            walk.frameMembers.insert(handle);
    }

    for (const host::ObjectId entity : entities)
        takeEntity(walk, entity, Context{});
    Arrangement arranged = arrangePieces(walk.cut.pieces, arrangementOptions(options));
    if (!walk.annotation.pieces.empty()) {
        const std::vector<std::size_t> taken =
            annotationCutouts(walk.annotation.pieces, arranged, options.joinTolerance);
        walk.leftOut.layers += static_cast<int>(walk.annotation.pieces.size() - taken.size());
        for (std::size_t i = 0, t = 0; i < walk.annotation.pieces.size(); ++i) {
            if (t < taken.size() && taken[t] == i)
                ++t;
            else if (walk.annotation.instances[i] >= 0)
                walk.mixedAnnotation.insert(walk.annotation.pieces[i].handle);
        }
        if (!taken.empty()) {
            for (const std::size_t i : taken)
                walk.cut.add(walk.annotation.pieces[i], walk.annotation.instances[i]);
            arranged = arrangePieces(walk.cut.pieces, arrangementOptions(options));
        }
    }
    logLeftOut(options, walk.leftOut);
    if (arranged.failed) warn(options, "轮廓计算失败 " + arranged.message);
    if (arranged.danglingPieces > 0)
        warn(options, "有 " + std::to_string(arranged.danglingPieces) + " 段开放线未闭合，已忽略");
    dropSharedReferences(walk, arranged);
    partsFromArrangement(arranged, source, defaultName, walk.scale, out, nextId,
                         partNames(walk, arranged));
    carryWithParts(walk, out, partsBefore);
    if (out.size() == partsBefore && arranged.danglingPieces == 0)
        warn(options, "选择中没有找到闭合轮廓");
    return !out.empty();
}

void extractModelSpace(host::DrawingAccess& ds, host::DatabaseId database,
                       const std::string& sourcePath, const std::string& defaultName,
                       const ExtractionOptions& options, std::vector<PartRecord>& out,
                       std::int32_t& nextId) {
    const host::ObjectId model = ds.modelSpace(database);
    if (!model) return;
    extractParts(ds, ds.blockEntities(model),
                 sourcePath.empty() ? std::string(contract::kCurrentDrawingSource) : sourcePath,
                 defaultName, options, out, nextId);
}

}  // namespace qks::drawing
