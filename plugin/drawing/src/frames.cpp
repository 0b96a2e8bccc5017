#include "qks/drawing/frames.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "qks/common/utf8.h"

namespace qks::drawing {
namespace {

const char* const kFrameKeywords[] = {"图框", "frame", "title", "tk", "border",
                                      "a0",   "a1",    "a2",    "a3", "a4"};
const char* const kTitleTags[] = {"图号", "图名", "编号", "名称", "DWGNO", "CODE", "NAME", "TITLE"};

// Frames closer than this in every coordinate are one frame; smaller ones are no frame.
constexpr double kFrameTolerance = 1.0;

bool sameFrame(const PlotWindow& a, const PlotWindow& b) {
    return std::fabs(a.minX - b.minX) < kFrameTolerance &&
           std::fabs(a.minY - b.minY) < kFrameTolerance &&
           std::fabs(a.maxX - b.maxX) < kFrameTolerance &&
           std::fabs(a.maxY - b.maxY) < kFrameTolerance;
}

// Reading order: higher rows first, left to right within a row (tops within 1 unit).
bool readsBefore(const PlotWindow& a, const PlotWindow& b) {
    if (std::fabs(a.maxY - b.maxY) > kFrameTolerance) return a.maxY > b.maxY;
    return a.minX < b.minX;
}

}  // namespace

bool isFrameName(const std::string& name) {
    const std::string lower = toLowerUtf8(name);
    for (const char* keyword : kFrameKeywords)
        if (lower.find(keyword) != std::string::npos) return true;
    return false;
}

std::string readTitleAttribute(host::DrawingAccess& ds, host::ObjectId reference) {
    for (const host::ObjectId attribute : ds.attributes(reference)) {
        host::TextInfo info;
        if (!host::succeeded(ds.textInfo(attribute, info))) continue;
        const std::string tag = toLowerUtf8(info.tag);
        bool isTitle = false;
        for (const char* t : kTitleTags)
            isTitle = isTitle || tag == toLowerUtf8(t);
        if (!isTitle) continue;
        const std::string text(trimControlAndSpace(info.text));
        if (!text.empty()) return text;
    }
    return {};
}

namespace {

// A window of block space as the reference shows it, when the reference keeps it upright
// (turned by quarters, scaled, mirrored); false when it would stand askew.
bool placedWindow(const host::Matrix3d& transform, const PlotWindow& inBlock, PlotWindow& placed) {
    const auto& m = transform.m;
    const double tiny =
        1e-9 * (std::fabs(m[0][0]) + std::fabs(m[0][1]) + std::fabs(m[1][0]) + std::fabs(m[1][1]));
    const bool upright = std::fabs(m[0][1]) <= tiny && std::fabs(m[1][0]) <= tiny;
    const bool quarter = std::fabs(m[0][0]) <= tiny && std::fabs(m[1][1]) <= tiny;
    if (!(upright || quarter) || !(tiny > 0)) return false;
    const host::Point3d a = transform.transform(host::Point3d{inBlock.minX, inBlock.minY, 0});
    const host::Point3d b = transform.transform(host::Point3d{inBlock.maxX, inBlock.maxY, 0});
    placed.minX = std::min(a.x, b.x);
    placed.minY = std::min(a.y, b.y);
    placed.maxX = std::max(a.x, b.x);
    placed.maxY = std::max(a.y, b.y);
    return true;
}

void addUnlessDuplicate(std::vector<PlotWindow>& frames, PlotWindow frame) {
    for (const auto& f : frames)
        if (sameFrame(f, frame)) return;
    frames.push_back(std::move(frame));
}

// The frames among the entities of one space, in reading order.
std::vector<PlotWindow> framesAmong(host::DrawingAccess& ds,
                                    const std::vector<host::ObjectId>& entities) {
    std::vector<PlotWindow> frames;
    // References whose block is no frame by name: their blocks may draw one in lines.
    std::vector<std::pair<host::ObjectId, host::BlockReferenceInfo>> others;
    for (const host::ObjectId entity : entities) {
        host::EntityInfo info;
        if (!host::succeeded(ds.entityInfo(entity, info))) continue;
        bool recognised = false;
        std::string title;
        if (info.type == host::EntityType::BlockReference) {
            title = readTitleAttribute(ds, entity);
            host::BlockReferenceInfo reference;
            if (host::succeeded(ds.blockReference(entity, reference))) {
                recognised = isFrameName(reference.blockName);
                if (title.empty() && !reference.blockName.empty()) title = reference.blockName;
                if (!recognised) others.emplace_back(entity, reference);
            }
        } else if (info.type == host::EntityType::LwPolyline) {
            host::LwPolylineInfo polyline;
            recognised = host::succeeded(ds.lwPolyline(entity, polyline)) && polyline.closed &&
                         polyline.vertices.size() == 4 && isFrameName(info.layer);
        }
        if (!recognised) continue;
        host::Extents3d extents;
        if (!host::succeeded(ds.geometricExtents(entity, extents)) || extents.isEmpty()) continue;
        PlotWindow frame{extents.min.x, extents.min.y, extents.max.x, extents.max.y, title};
        if (!(frame.maxX - frame.minX > kFrameTolerance) ||
            !(frame.maxY - frame.minY > kFrameTolerance))
            continue;
        addUnlessDuplicate(frames, std::move(frame));
    }
    for (DrawnFrame& drawn : findDrawnFrames(ds, entities))
        addUnlessDuplicate(frames, std::move(drawn.window));
    // Each block is searched once, however many references show it.
    std::map<host::ObjectId, std::vector<DrawnFrame>> drawnInBlock;
    for (const auto& [entity, reference] : others) {
        auto found = drawnInBlock.find(reference.blockRecord);
        if (found == drawnInBlock.end())
            found = drawnInBlock
                        .emplace(reference.blockRecord,
                                 findDrawnFrames(ds, ds.blockEntities(reference.blockRecord)))
                        .first;
        for (const DrawnFrame& drawn : found->second) {
            PlotWindow frame;
            if (!placedWindow(reference.transform, drawn.window, frame)) continue;
            frame.name = readTitleAttribute(ds, entity);
            addUnlessDuplicate(frames, std::move(frame));
        }
    }
    // The ordering is not a strict weak ordering (rows chain by tolerance), which std::sort
    // may not be given; an insertion sort stays in bounds whatever the comparisons say.
    for (std::size_t i = 1; i < frames.size(); ++i) {
        PlotWindow moving = std::move(frames[i]);
        std::size_t j = i;
        while (j > 0 && readsBefore(moving, frames[j - 1])) {
            frames[j] = std::move(frames[j - 1]);
            --j;
        }
        frames[j] = std::move(moving);
    }
    return frames;
}

}  // namespace

std::vector<PlotWindow> findFrames(host::DrawingAccess& ds, host::DatabaseId database) {
    const host::ObjectId model = ds.modelSpace(database);
    if (!model) return {};
    return framesAmong(ds, ds.blockEntities(model));
}

std::vector<PlotWindow> findLayoutFrames(host::DrawingAccess& ds, host::DatabaseId database) {
    std::vector<PlotWindow> frames;
    if (!database) return frames;
    for (const host::LayoutInfo& layout : ds.layouts(database)) {
        if (layout.isModel || !layout.blockRecord) continue;
        for (PlotWindow& frame : framesAmong(ds, ds.blockEntities(layout.blockRecord))) {
            frame.layout = layout.name;
            frames.push_back(std::move(frame));
        }
    }
    return frames;
}

}  // namespace qks::drawing
