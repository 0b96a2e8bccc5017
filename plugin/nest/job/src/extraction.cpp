// Part extraction from drawing entities.
#include "qks/nest/extraction.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>

#include "qks/common/environment.h"
#include "qks/common/job_log.h"
#include "qks/common/utf8.h"
#include "qks/contract/names.h"
#include "qks/contract/states.h"
#include "qks/nest/parts_file.h"
#include "qks/plot/frames.h"

namespace qks::nest {
namespace {

void logLine(const ExtractionOptions& options, const std::string& line) {
    appendJobLog(options.logChannel, line);
}

void warn(const ExtractionOptions& options, const std::string& text) {
    logLine(options, "WARN " + text);
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

// Everything one extraction call needs while it walks the entities.
struct Walk {
    host::DrawingServices& ds;
    const ExtractionOptions& options;
    double scale = 1.0;  // millimetres per drawing unit
    LeftOut leftOut;
};

// The largest stretch a transform gives a length in the plane (an upper bound: the Frobenius
// norm of its 2 x 2 part).
double stretchOf(const host::Matrix3d& m) {
    const double s = std::sqrt(m.m[0][0] * m.m[0][0] + m.m[0][1] * m.m[0][1] +
                               m.m[1][0] * m.m[1][0] + m.m[1][1] * m.m[1][1]);
    return std::isfinite(s) && s > 0 ? s : 1.0;
}

// Whether the entity is left out as not cut; counts the reason.
bool leftOutAsNotCut(Walk& walk, const host::EntityInfo& info, const std::string& linetype) {
    if (!walk.options.skipNonCut) return false;
    if (layerSkipped(walk.options.skipLayers, info.layer)) {
        ++walk.leftOut.layers;
        return true;
    }
    if (nonCutLinetype(linetype)) {
        ++walk.leftOut.linetypes;
        return true;
    }
    return false;
}

// The line type an entity is drawn with, "ByBlock" taking the inserting reference's.
std::string effectiveLinetype(const host::EntityInfo& info, const std::string& inherited) {
    if (toLowerUtf8(info.linetype) == "byblock") return inherited;
    return info.linetype;
}

// One curve flattened into the scanned space in millimetres; false when it gives no piece.
bool flattenCurve(Walk& walk, host::ObjectId curve, const host::EntityInfo& info,
                  const host::Matrix3d& transform, CurvePiece& piece) {
    const double toMillimetres = walk.scale * stretchOf(transform);
    std::vector<host::Point3d> points;
    bool closed = false;
    if (!host::succeeded(walk.ds.curvePoints(curve, kChordError / toMillimetres, points, closed)))
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
    return true;
}

// Curves of a block reference's definition (and of nested references) into `pieces`.
void collectBlockPieces(Walk& walk, host::ObjectId reference, const host::Matrix3d& parent,
                        int depth, const std::string& linetype, std::vector<CurvePiece>& pieces) {
    if (depth >= kMaxBlockDepth) return;
    host::BlockReferenceInfo block;
    if (!host::succeeded(walk.ds.blockReference(reference, block))) return;
    const host::Matrix3d transform = parent * block.transform;
    for (const host::ObjectId entity : walk.ds.blockEntities(block.blockRecord)) {
        host::EntityInfo info;
        if (!host::succeeded(walk.ds.entityInfo(entity, info))) continue;
        if (!layerAccepted(walk.options.layers, info.layer)) continue;
        const std::string type = effectiveLinetype(info, linetype);
        if (leftOutAsNotCut(walk, info, type)) continue;
        if (info.type == host::EntityType::BlockReference) {
            host::BlockReferenceInfo nested;
            if (walk.options.skipNonCut &&
                host::succeeded(walk.ds.blockReference(entity, nested)) &&
                plot::isFrameName(nested.blockName)) {
                ++walk.leftOut.frames;
                continue;
            }
            collectBlockPieces(walk, entity, transform, depth + 1, type, pieces);
        } else if (info.isCurve) {
            CurvePiece piece;
            if (flattenCurve(walk, entity, info, transform, piece))
                pieces.push_back(std::move(piece));
        }
    }
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

std::string formatScale(double scale) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%g", scale);
    return buffer;
}

// Whether the entities, read at `scale` millimetres per unit, fit in a drawing of sheet-metal
// parts; a drawing that fits only in millimetres is taken to be in millimetres.
bool plausibleAtScale(host::DrawingServices& ds, const std::vector<host::ObjectId>& entities,
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

ExtractionOptions extractionOptions(const NestConfig& config) {
    ExtractionOptions options;
    options.layers = config.layers;
    options.joinTolerance = config.joinTolerance;
    options.units = config.units;
    options.skipNonCut = config.skipNonCut;
    options.skipLayers = config.skipLayers;
    options.rotations = config.rotate;
    options.mirroring = config.mirror;
    return options;
}

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
    const std::string lower = toLowerUtf8(layerName);
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
                          const std::string& name, double drawingScale, std::vector<NestPart>& out,
                          std::int32_t& nextId) {
    for (const ArrangedPart& arranged : arrangement.parts) {
        NestPart part;
        part.id = nextId++;
        part.outline = arranged.outline;
        measureOutline(part);
        part.area = arranged.area;
        if (part.area < kMinOutlineArea) continue;
        if (part.width < kMinOutlineExtent || part.height < kMinOutlineExtent) continue;
        part.quantity = 1;
        part.name = name.empty() ? std::string("零件") : name;
        part.source = source;
        part.handles = arranged.handles;
        part.holes = arranged.holes;
        part.drawingScale = drawingScale;
        out.push_back(std::move(part));
    }
}

bool extractParts(host::DrawingServices& ds, const std::vector<host::ObjectId>& entities,
                  const std::string& source, const std::string& defaultName,
                  const ExtractionOptions& options, std::vector<NestPart>& out,
                  std::int32_t& nextId) {
    // Parts from block references count as found as much as those of loose curves.
    const std::size_t partsBefore = out.size();
    Walk walk{ds, options, 1.0, {}};
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
    std::vector<TitleArea> titleAreas;
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
            titleAreas.push_back({box.min.x, box.min.y, box.max.x, box.max.y});
        }
    }

    // Frames drawn as lines: their rectangles, inner borders and title blocks are not cut.
    std::set<std::string> drawnFrameHandles;
    if (options.skipNonCut)
        for (const plot::DrawnFrame& frame : plot::findDrawnFrames(ds, entities))
            drawnFrameHandles.insert(frame.handles.begin(), frame.handles.end());

    std::vector<CurvePiece> pool;
    for (const host::ObjectId entity : entities) {
        host::EntityInfo info;
        if (!host::succeeded(ds.entityInfo(entity, info))) continue;
        if (!layerAccepted(options.layers, info.layer)) continue;
        if (leftOutAsNotCut(walk, info, info.linetype)) continue;
        if (drawnFrameHandles.count(info.handle) > 0) {
            if (info.isCurve) ++walk.leftOut.frames;
            continue;
        }
        if (info.type == host::EntityType::BlockReference) {
            host::BlockReferenceInfo block;
            const bool known = host::succeeded(ds.blockReference(entity, block));
            if (options.skipNonCut && known && plot::isFrameName(block.blockName)) {
                ++walk.leftOut.frames;
                continue;
            }
            std::vector<CurvePiece> pieces;
            collectBlockPieces(walk, entity, host::Matrix3d::identity(), 0, info.linetype, pieces);
            const Arrangement arranged = arrangePieces(pieces, arrangementOptions(options));
            std::string name = known ? block.blockName : std::string();
            if (name.empty()) name = defaultName;
            std::vector<NestPart> parts;
            partsFromArrangement(arranged, source, name, walk.scale, parts, nextId);
            if (parts.empty()) continue;
            std::size_t largest = 0;
            for (std::size_t i = 1; i < parts.size(); ++i)
                if (parts[i].area > parts[largest].area) largest = i;
            NestPart kept = std::move(parts[largest]);
            kept.handles.assign(1, info.handle);
            if (parts.size() > 1)
                warn(options, "块 " + kept.name + " 含多个分离轮廓，仅取最大轮廓");
            out.push_back(std::move(kept));
        } else if (info.isCurve) {
            CurvePiece piece;
            if (!flattenCurve(walk, entity, info, host::Matrix3d::identity(), piece)) continue;
            if (!titleAreas.empty() && insideTitleArea(titleAreas, piece.points, walk.scale)) {
                ++walk.leftOut.frames;
                continue;
            }
            pool.push_back(std::move(piece));
        }
    }
    logLeftOut(options, walk.leftOut);
    const Arrangement arranged = arrangePieces(pool, arrangementOptions(options));
    if (arranged.failed) warn(options, "轮廓计算失败 " + arranged.message);
    if (arranged.danglingPieces > 0)
        warn(options, "有 " + std::to_string(arranged.danglingPieces) + " 段开放线未闭合，已忽略");
    partsFromArrangement(arranged, source, defaultName, walk.scale, out, nextId);
    if (out.size() == partsBefore && arranged.danglingPieces == 0)
        warn(options, "选择中没有找到闭合轮廓");
    return !out.empty();
}

void extractModelSpace(host::DrawingServices& ds, host::DatabaseId database,
                       const std::string& sourcePath, const std::string& defaultName,
                       const ExtractionOptions& options, std::vector<NestPart>& out,
                       std::int32_t& nextId) {
    const host::ObjectId model = ds.modelSpace(database);
    if (!model) return;
    extractParts(ds, ds.blockEntities(model),
                 sourcePath.empty() ? std::string(contract::kCurrentDrawingSource) : sourcePath,
                 defaultName, options, out, nextId);
}

void runNestPick(host::Host& host) {
    setJobLogPath(LogChannel::Nest, tempFilePath(contract::kNestLogFile));
    resetJobLog(LogChannel::Nest);
    host::DrawingServices* ds = host.drawingServices();
    std::vector<host::ObjectId> selection;
    const bool chosen = ds && ds->selectObjects("", selection);
    selection.erase(
        std::remove_if(selection.begin(), selection.end(), [](host::ObjectId id) { return !id; }),
        selection.end());
    if (!chosen || selection.empty()) {
        host.print("\n[QKS] 未选择零件。");
        appendJobLog(LogChannel::Nest, "PICK 未选择零件");
        return;
    }
    std::vector<NestPart> parts;
    std::int32_t nextId = 1;
    const ExtractionOptions options;
    extractParts(*ds, selection, std::string(contract::kCurrentDrawingSource), "当前图", options,
                 parts, nextId);
    mergeIdenticalKinds(parts, options.rotations, options.mirroring);
    if (parts.empty()) {
        host.print("\n[QKS] 选中对象里没有闭合轮廓。");
        appendJobLog(LogChannel::Nest, "PICK 没有闭合轮廓");
        return;
    }
    const std::string partsPath = tempFilePath(contract::kNestPartsFile);
    writePartsFile(partsPath, parts);
    long long pieces = 0;
    for (const NestPart& part : parts)
        pieces += part.quantity;
    char buffer[200];
    std::snprintf(buffer, sizeof buffer, "\n[QKS] 已框选 %d 种 / %lld 件，正在准备套料...",
                  static_cast<int>(parts.size()), pieces);
    host.print(buffer);
    appendJobLog(LogChannel::Nest, "PICK 已提取 " + std::to_string(parts.size()) + " 种，" +
                                       std::to_string(pieces) + " 件");
    appendJobLog(LogChannel::Nest, "PARTS " + partsPath);
}

}  // namespace qks::nest
