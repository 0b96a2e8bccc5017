// 面积与周长 and 文字与属性提取: what the drawing's parts measure, and what its title blocks
// and block references say.
#include <algorithm>
#include <cmath>

#include "qks/common/utf8.h"
#include "qks/contract/text_format.h"
#include "qks/drawing/drawing_text.h"
#include "qks/drawing/extraction.h"
#include "qks/drawing/frames.h"
#include "qks/geometry/plane.h"
#include "qks/tools/operations.h"

namespace qks::tools {
namespace {

// Signed shoelace area and centroid of a ring.
void ringMoments(const std::vector<contract::Point>& ring, double& area, double& cx, double& cy) {
    area = cx = cy = 0.0;
    for (std::size_t i = 0; i < ring.size(); ++i) {
        const auto& a = ring[i];
        const auto& b = ring[(i + 1) % ring.size()];
        const double cross = a.x * b.y - b.x * a.y;
        area += cross / 2;
        cx += (a.x + b.x) * cross / 6;
        cy += (a.y + b.y) * cross / 6;
    }
    if (area != 0.0) {
        cx /= area;
        cy /= area;
    }
}

// Round when every point lies on one circle (to a few chord errors): centre and radius.
bool roundRing(const std::vector<contract::Point>& ring, double& cx, double& cy, double& radius) {
    if (ring.size() < 8) return false;
    double area = 0.0;
    ringMoments(ring, area, cx, cy);
    double low = INFINITY, high = 0.0;
    for (const auto& p : ring) {
        const double r = std::hypot(p.x - cx, p.y - cy);
        low = std::min(low, r);
        high = std::max(high, r);
    }
    radius = (low + high) / 2;
    return high - low <= 4 * drawing::kChordError + 1e-3 * radius;
}

// Area, perimeters and extents from the part's true curves where extraction knew them: its
// outline is grown by the flattening's chord error for nesting, its holes shrunk.
void applyTrueFigures(const contract::PartRecord& part, PartMeasure& m) {
    const contract::TrueFigures& figures = part.figures;
    if (!figures.known || figures.boundary.empty()) return;
    const double scale = part.drawingScale > 0 ? part.drawingScale : 1.0;
    m.area = std::max(0.0, figures.outlineArea - figures.holesArea);
    m.outlinePerimeter = figures.outlineLength;
    m.perimeter = figures.outlineLength + figures.holesLength;
    double minX = INFINITY, minY = INFINITY, maxX = -INFINITY, maxY = -INFINITY;
    for (const contract::Point& p : figures.boundary) {
        minX = std::min(minX, p.x);
        minY = std::min(minY, p.y);
        maxX = std::max(maxX, p.x);
        maxY = std::max(maxY, p.y);
    }
    m.minX = minX / scale;
    m.minY = minY / scale;
    m.maxX = maxX / scale;
    m.maxY = maxY / scale;
}

}  // namespace

std::vector<PartMeasure> measureParts(host::DrawingAccess& ds, host::DatabaseId database,
                                      const std::string& source, double joinToleranceMm,
                                      LogChannel channel) {
    drawing::ExtractionOptions options;
    options.joinTolerance = joinToleranceMm;
    options.logChannel = channel;
    options.fineFreeForm = true;
    // What the tools themselves draw is not a part (balloon circles, labels).
    for (const std::string_view layer : {contract::kBalloonLayer, contract::kAreaLayer})
        options.skipLayers.emplace_back(toLowerUtf8(layer));
    std::vector<contract::PartRecord> parts;
    std::int32_t nextId = 1;
    drawing::extractModelSpace(ds, database, source, "零件", options, parts, nextId);
    // Exact circles of the drawing, to measure round holes by their curves, not by the chords.
    std::vector<host::ArcInfo> circles;
    for (const host::ObjectId entity : ds.blockEntities(ds.modelSpace(database))) {
        host::ArcInfo arc;
        if (host::succeeded(ds.arcInfo(entity, arc)) && arc.fullCircle) circles.push_back(arc);
    }
    std::vector<PartMeasure> out;
    for (const contract::PartRecord& part : parts) {
        const double scale = part.drawingScale > 0 ? part.drawingScale : 1.0;
        PartMeasure m;
        m.name = part.name;
        double area = 0, cx = 0, cy = 0;
        ringMoments(part.outline, area, cx, cy);
        m.area = std::fabs(area);
        m.outlinePerimeter = geometry::ringLength(part.outline);
        m.perimeter = m.outlinePerimeter;
        m.holes = static_cast<int>(part.holes.size());
        double momentX = cx * std::fabs(area), momentY = cy * std::fabs(area);
        for (const auto& hole : part.holes) {
            double holeArea = 0, hx = 0, hy = 0;
            ringMoments(hole, holeArea, hx, hy);
            m.area -= std::fabs(holeArea);
            momentX -= hx * std::fabs(holeArea);
            momentY -= hy * std::fabs(holeArea);
            m.perimeter += geometry::ringLength(hole);
            double rx = 0, ry = 0, radius = 0;
            if (!roundRing(hole, rx, ry, radius)) continue;
            rx /= scale;
            ry /= scale;
            double diameter = 2 * (radius + drawing::kChordError) / scale;
            for (const host::ArcInfo& circle : circles)
                if (std::hypot(circle.centre.x - rx, circle.centre.y - ry) <= 0.05 / scale &&
                    std::fabs(2 * circle.radius - diameter) <= 0.1 / scale) {
                    rx = circle.centre.x;
                    ry = circle.centre.y;
                    diameter = 2 * circle.radius;
                    break;
                }
            m.circleHoles.push_back({rx, ry});
            m.circleDiameters.push_back(diameter);
        }
        m.centreX = (m.area > 0 ? momentX / m.area : cx) / scale;
        m.centreY = (m.area > 0 ? momentY / m.area : cy) / scale;
        double bestCorner = INFINITY;
        for (const auto& p : part.outline) {
            const double d =
                std::hypot(p.x - part.refX - part.width, p.y - part.refY - part.height);
            if (d < bestCorner) {
                bestCorner = d;
                m.anchorX = p.x / scale;
                m.anchorY = p.y / scale;
            }
        }
        m.minX = part.refX / scale;
        m.minY = part.refY / scale;
        m.maxX = (part.refX + part.width) / scale;
        m.maxY = (part.refY + part.height) / scale;
        applyTrueFigures(part, m);
        // The extents of the part's own curves are exact where the outline's chords are not;
        // a handle may also be a block reference that holds other parts beside this one, so
        // they count only when they agree with the outline.
        host::Extents3d exact;
        for (const std::string& handle : part.handles) {
            host::Extents3d box;
            const host::ObjectId entity = ds.objectIdFromHandle(database, handle);
            if (entity && host::succeeded(ds.geometricExtents(entity, box))) exact.add(box);
        }
        const double slack = 0.1 / scale;
        if (!exact.isEmpty() && std::fabs(exact.min.x - m.minX) <= slack &&
            std::fabs(exact.min.y - m.minY) <= slack && std::fabs(exact.max.x - m.maxX) <= slack &&
            std::fabs(exact.max.y - m.maxY) <= slack) {
            m.minX = exact.min.x;
            m.minY = exact.min.y;
            m.maxX = exact.max.x;
            m.maxY = exact.max.y;
        }
        out.push_back(std::move(m));
    }
    return out;
}

int labelAreas(host::DrawingEdits& ds, host::DatabaseId database, host::ObjectId space,
               const std::vector<PartMeasure>& parts, double textHeight) {
    ds.addLayer(database, contract::kAreaLayer, 4, nullptr);
    const host::ObjectId style = drawing::ensureChineseTextStyle(ds, database, "QKS");
    int labels = 0;
    for (const PartMeasure& part : parts) {
        host::MTextSpec text;
        text.position = {part.centreX, part.centreY, 0};
        text.attachment = host::MTextAttachment::MiddleCenter;
        text.height = textHeight;
        text.layer = std::string(contract::kAreaLayer);
        text.textStyle = style;
        text.contents = "A=" + contract::fixed(part.area, 2) +
                        " mm²\\PL=" + contract::fixed(part.perimeter, 2) + " mm";
        if (host::succeeded(ds.addMText(space, text, nullptr))) ++labels;
    }
    return labels;
}

std::vector<AttributeRow> collectAttributes(host::DrawingAccess& ds, host::ObjectId space) {
    std::vector<AttributeRow> rows;
    for (const host::ObjectId entity : ds.blockEntities(space)) {
        host::EntityInfo info;
        if (!host::succeeded(ds.entityInfo(entity, info)) ||
            info.type != host::EntityType::BlockReference)
            continue;
        const std::vector<host::ObjectId> attributes = ds.attributes(entity);
        if (attributes.empty()) continue;
        host::BlockReferenceInfo reference;
        if (!host::succeeded(ds.blockReference(entity, reference))) continue;
        AttributeRow row;
        row.block = reference.blockName;
        const host::Point3d at = reference.transform.transform(host::Point3d{0, 0, 0});
        row.x = at.x;
        row.y = at.y;
        for (const host::ObjectId attribute : attributes) {
            host::TextInfo text;
            if (host::succeeded(ds.textInfo(attribute, text)))
                row.values.emplace_back(text.tag, drawing::plainMText(text.text));
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<FrameText> collectFrameTexts(host::DrawingAccess& ds, host::DatabaseId database) {
    std::vector<FrameText> out;
    const std::vector<drawing::PlotWindow> frames = drawing::findFrames(ds, database);
    const host::ObjectId model = ds.modelSpace(database);
    const auto inside = [](const drawing::PlotWindow& w, const host::Extents3d& box) {
        const double x = (box.min.x + box.max.x) / 2, y = (box.min.y + box.max.y) / 2;
        return x >= w.minX && x <= w.maxX && y >= w.minY && y <= w.maxY;
    };
    int index = 0;
    for (const drawing::PlotWindow& frame : frames) {
        FrameText entry;
        entry.frame = ++index;
        entry.name = frame.name;
        for (const host::ObjectId entity : ds.blockEntities(model)) {
            host::EntityInfo info;
            host::Extents3d box;
            if (!host::succeeded(ds.entityInfo(entity, info)) ||
                !host::succeeded(ds.geometricExtents(entity, box)) || !inside(frame, box))
                continue;
            if (info.type == host::EntityType::Text || info.type == host::EntityType::MText) {
                host::TextInfo text;
                if (host::succeeded(ds.textInfo(entity, text)))
                    entry.texts.push_back(drawing::plainMText(text.text));
            } else if (info.type == host::EntityType::BlockReference) {
                // A frame or title block drawn as a block: its fixed texts and attributes.
                host::BlockReferenceInfo reference;
                if (host::succeeded(ds.blockReference(entity, reference)))
                    for (const host::ObjectId inner : ds.blockEntities(reference.blockRecord)) {
                        host::EntityInfo innerInfo;
                        host::TextInfo text;
                        if (host::succeeded(ds.entityInfo(inner, innerInfo)) &&
                            (innerInfo.type == host::EntityType::Text ||
                             innerInfo.type == host::EntityType::MText) &&
                            host::succeeded(ds.textInfo(inner, text)))
                            entry.texts.push_back(drawing::plainMText(text.text));
                    }
                for (const host::ObjectId attribute : ds.attributes(entity)) {
                    host::TextInfo text;
                    if (host::succeeded(ds.textInfo(attribute, text)))
                        entry.texts.push_back(text.tag + "=" + drawing::plainMText(text.text));
                }
            }
        }
        out.push_back(std::move(entry));
    }
    return out;
}

}  // namespace qks::tools
