#include "qks/drawing/frames.h"

#include <cmath>

#include "qks/common/utf8.h"

namespace qks::plot {
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

std::string readTitleAttribute(host::DrawingServices& ds, host::ObjectId reference) {
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

std::vector<PlotWindow> findFrames(host::DrawingServices& ds, host::DatabaseId database) {
    std::vector<PlotWindow> frames;
    const host::ObjectId model = ds.modelSpace(database);
    if (!model) return frames;
    const std::vector<host::ObjectId> entities = ds.blockEntities(model);
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
        bool duplicate = false;
        for (const auto& f : frames)
            duplicate = duplicate || sameFrame(f, frame);
        if (!duplicate) frames.push_back(std::move(frame));
    }
    for (DrawnFrame& drawn : findDrawnFrames(ds, entities)) {
        bool duplicate = false;
        for (const auto& f : frames)
            duplicate = duplicate || sameFrame(f, drawn.window);
        if (!duplicate) frames.push_back(std::move(drawn.window));
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

}  // namespace qks::plot
