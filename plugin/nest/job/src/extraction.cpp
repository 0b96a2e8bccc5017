// Part extraction from drawing entities.
#include "qks/nest/extraction.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>

#include "qks/common/environment.h"
#include "qks/common/job_log.h"
#include "qks/common/utf8.h"
#include "qks/contract/names.h"
#include "qks/contract/states.h"
#include "qks/nest/parts_file.h"

namespace qks::nest {
namespace {

void warn(const std::string& text) {
    appendJobLog(LogChannel::Nest, "WARN " + text);
}

// One curve sampled into the scanned space; false when it gives no piece.
bool sampleCurve(host::DrawingServices& ds, host::ObjectId curve, const host::EntityInfo& info,
                 const host::Matrix3d& transform, Polyline& piece) {
    bool closed = false;
    if (!host::succeeded(ds.curveIsClosed(curve, closed))) return false;
    double start = 0.0, end = 0.0;
    if (!host::succeeded(ds.curveParameterRange(curve, start, end))) return false;
    if (!(end > start)) return false;
    const int n = closed ? kClosedCurveSamples : kOpenCurveIntervals;
    const int count = closed ? n : n + 1;
    std::vector<Point> points;
    points.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        host::Point3d p;
        const double t = start + (end - start) * i / n;
        if (!host::succeeded(ds.curvePointAt(curve, t, p))) return false;
        const host::Point3d q = transform.transform(p);
        points.push_back({q.x, q.y});
    }
    if (points.size() < 2) return false;
    if (closed && points.size() >= 5) {
        std::vector<Point> simplified = simplify(points, kClosedSimplifyTolerance);
        if (simplified.size() >= 3) points = std::move(simplified);
    }
    piece.points = std::move(points);
    piece.closed = closed;
    piece.handle = info.handle;
    return true;
}

// Curves of a block reference's definition (and of nested references) into `pieces`.
void collectBlockPieces(host::DrawingServices& ds, host::ObjectId reference,
                        const host::Matrix3d& parent, int depth,
                        const std::vector<std::string>& layers, std::vector<Polyline>& pieces) {
    if (depth >= kMaxBlockDepth) return;
    host::BlockReferenceInfo block;
    if (!host::succeeded(ds.blockReference(reference, block))) return;
    const host::Matrix3d transform = parent * block.transform;
    for (const host::ObjectId entity : ds.blockEntities(block.blockRecord)) {
        host::EntityInfo info;
        if (!host::succeeded(ds.entityInfo(entity, info))) continue;
        if (!layerAccepted(layers, info.layer)) continue;
        if (info.type == host::EntityType::BlockReference) {
            collectBlockPieces(ds, entity, transform, depth + 1, layers, pieces);
        } else if (info.isCurve) {
            Polyline piece;
            if (sampleCurve(ds, entity, info, transform, piece)) pieces.push_back(std::move(piece));
        }
    }
}

// Closed pieces of at least three points become loops (with `closedHandle` when given, else
// their own); open ones are joined. Returns the number of chains left open.
int loopsFromPieces(const std::vector<Polyline>& pieces, const std::string* closedHandle,
                    std::vector<Loop>& loops) {
    std::vector<Polyline> open;
    for (const Polyline& piece : pieces) {
        if (piece.closed) {
            if (piece.points.size() < 3) continue;
            Loop loop;
            loop.points = piece.points;
            const std::string& handle = closedHandle ? *closedHandle : piece.handle;
            if (!handle.empty()) loop.handles.push_back(handle);
            loops.push_back(std::move(loop));
        } else {
            open.push_back(piece);
        }
    }
    ChainResult chains = chainContours(open, kJoinTolerance);
    for (std::size_t i = 0; i < chains.loops.size(); ++i) {
        Loop loop;
        loop.points = std::move(chains.loops[i]);
        if (i < chains.handles.size()) loop.handles = std::move(chains.handles[i]);
        loops.push_back(std::move(loop));
    }
    return chains.openChains;
}

Point centroidOf(const std::vector<Point>& points) {
    Point c;
    for (const Point& p : points) {
        c.x += p.x;
        c.y += p.y;
    }
    if (!points.empty()) {
        c.x /= static_cast<double>(points.size());
        c.y /= static_cast<double>(points.size());
    }
    return c;
}

void addHandleOnce(std::vector<std::string>& handles, const std::string& handle) {
    if (std::find(handles.begin(), handles.end(), handle) == handles.end())
        handles.push_back(handle);
}

}  // namespace

bool layerAccepted(const std::vector<std::string>& layers, const std::string& layerName) {
    if (layers.empty()) return true;
    const std::string lower = toLowerUtf8(layerName);
    for (const std::string& entry : layers)
        if (lower.find(entry) != std::string::npos) return true;
    return false;
}

void buildPartsFromLoops(const std::vector<Loop>& loops, const std::string& source,
                         const std::string& name, std::vector<NestPart>& out,
                         std::int32_t& nextId) {
    std::vector<std::size_t> usable;
    std::vector<double> area(loops.size(), 0.0);
    for (std::size_t i = 0; i < loops.size(); ++i) {
        if (loops[i].points.size() < 3) continue;
        area[i] = polygonArea(loops[i].points);
        usable.push_back(i);
    }
    std::vector<std::size_t> order = usable;
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return area[a] > area[b]; });
    constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    std::vector<std::size_t> parent(loops.size(), kNone);
    for (std::size_t k = 0; k < order.size(); ++k) {
        const std::size_t loop = order[k];
        const Point c = centroidOf(loops[loop].points);
        for (std::size_t j = 0; j < k; ++j) {
            const std::size_t candidate = order[j];
            if (area[candidate] > kContainmentFactor * area[loop] &&
                pointInPolygon(loops[candidate].points, c.x, c.y)) {
                // A loop inside a hole also counts as a hole of the outer outline.
                parent[loop] = parent[candidate] == kNone ? candidate : parent[candidate];
                break;
            }
        }
    }
    for (const std::size_t i : usable) {
        if (parent[i] != kNone) continue;
        const std::int32_t id = nextId++;
        NestPart part;
        part.id = id;
        part.outline = loops[i].points;
        measureOutline(part);
        part.area = area[i];
        if (part.area < kMinOutlineArea) continue;
        if (part.width < kMinOutlineExtent || part.height < kMinOutlineExtent) continue;
        part.quantity = 1;
        part.name = name.empty() ? std::string("零件") : name;
        part.source = source;
        for (const std::string& handle : loops[i].handles)
            addHandleOnce(part.handles, handle);
        for (const std::size_t h : usable) {
            if (parent[h] != i) continue;
            part.holes.push_back(loops[h].points);
            for (const std::string& handle : loops[h].handles)
                addHandleOnce(part.handles, handle);
        }
        out.push_back(std::move(part));
    }
}

bool extractParts(host::DrawingServices& ds, const std::vector<host::ObjectId>& entities,
                  const std::string& source, const std::string& defaultName,
                  const std::vector<std::string>& layers, std::vector<NestPart>& out,
                  std::int32_t& nextId) {
    std::vector<Polyline> pool;
    for (const host::ObjectId entity : entities) {
        host::EntityInfo info;
        if (!host::succeeded(ds.entityInfo(entity, info))) continue;
        if (!layerAccepted(layers, info.layer)) continue;
        if (info.type == host::EntityType::BlockReference) {
            std::vector<Polyline> pieces;
            collectBlockPieces(ds, entity, host::Matrix3d::identity(), 0, layers, pieces);
            std::vector<Loop> loops;
            loopsFromPieces(pieces, &info.handle, loops);
            host::BlockReferenceInfo block;
            std::string name;
            if (host::succeeded(ds.blockReference(entity, block))) name = block.blockName;
            if (name.empty()) name = defaultName;
            std::vector<NestPart> parts;
            buildPartsFromLoops(loops, source, name, parts, nextId);
            if (parts.empty()) continue;
            std::size_t largest = 0;
            for (std::size_t i = 1; i < parts.size(); ++i)
                if (parts[i].area > parts[largest].area) largest = i;
            NestPart kept = std::move(parts[largest]);
            kept.handles.assign(1, info.handle);
            if (parts.size() > 1) warn("块 " + kept.name + " 含多个分离轮廓，仅取最大轮廓");
            out.push_back(std::move(kept));
        } else if (info.isCurve) {
            Polyline piece;
            if (sampleCurve(ds, entity, info, host::Matrix3d::identity(), piece))
                pool.push_back(std::move(piece));
        }
    }
    const std::size_t before = out.size();
    std::vector<Loop> loops;
    const int openChains = loopsFromPieces(pool, nullptr, loops);
    if (openChains > 0) warn("有 " + std::to_string(openChains) + " 段开放线未闭合，已忽略");
    buildPartsFromLoops(loops, source, defaultName, out, nextId);
    if (out.size() == before && openChains == 0) warn("选择中没有找到闭合轮廓");
    return !out.empty();
}

void extractModelSpace(host::DrawingServices& ds, host::DatabaseId database,
                       const std::string& sourcePath, const std::string& defaultName,
                       const std::vector<std::string>& layers, std::vector<NestPart>& out,
                       std::int32_t& nextId) {
    const host::ObjectId model = ds.modelSpace(database);
    if (!model) return;
    extractParts(ds, ds.blockEntities(model),
                 sourcePath.empty() ? std::string(contract::kCurrentDrawingSource) : sourcePath,
                 defaultName, layers, out, nextId);
}

void mergeIdenticalKinds(std::vector<NestPart>& parts) {
    std::vector<NestPart> merged;
    std::vector<std::string> signatures;
    for (NestPart& part : parts) {
        char buffer[160];
        std::snprintf(buffer, sizeof buffer, "%.1f|%.2f|%.2f|%zu|%zu", part.area, part.width,
                      part.height, part.outline.size(), part.holes.size());
        const auto found = std::find(signatures.begin(), signatures.end(), buffer);
        if (found != signatures.end()) {
            NestPart& first = merged[static_cast<std::size_t>(found - signatures.begin())];
            first.quantity += part.quantity;
            continue;
        }
        signatures.emplace_back(buffer);
        merged.push_back(std::move(part));
    }
    parts = std::move(merged);
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
    extractParts(*ds, selection, std::string(contract::kCurrentDrawingSource), "当前图", {}, parts,
                 nextId);
    mergeIdenticalKinds(parts);
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
