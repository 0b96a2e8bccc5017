// 一键长宽标注, 孔位与折弯标注 and 编号气泡: real DIMENSION entities in the style "QKS", and
// balloons as references to a block with an editable number.
#include <algorithm>
#include <cmath>
#include <map>
#include <set>

#include "qks/common/plane.h"
#include "qks/common/utf8.h"
#include "qks/drawing/drawing_text.h"
#include "qks/drawing/extraction.h"
#include "qks/tools/operations.h"

namespace qks::tools {
namespace {

// Ordinate leaders end this many text heights outside the part, overall dimensions three times
// and more (past the ordinate texts), so that both fit when a part gets both.
constexpr double kDimensionSpacing = 2.5;
constexpr double kBalloonRadius = 1.6;  // text heights

host::ObjectId ensureTextStyle(host::DrawingEdits& ds, host::DatabaseId database) {
    return drawing::ensureChineseTextStyle(ds, database, "QKS");
}

void addDimension(host::DrawingEdits& ds, host::ObjectId space, host::DimensionSpec request,
                  host::ObjectId style, AnnotationCounts& counts) {
    request.style = style;
    request.layer = std::string(contract::kDimensionLayer);
    ++(host::succeeded(ds.addDimension(space, request, nullptr)) ? counts.dimensions
                                                                 : counts.failed);
}

void addOrdinate(host::DrawingEdits& ds, host::ObjectId space, host::ObjectId style,
                 const PartMeasure& part, bool alongX, double at, double spacing,
                 AnnotationCounts& counts) {
    host::DimensionSpec ordinate;
    ordinate.kind = host::DimensionKind::Ordinate;
    ordinate.ordinateX = alongX;
    ordinate.origin = {part.minX, part.minY, 0};
    ordinate.first = alongX ? host::Point3d{at, part.minY, 0} : host::Point3d{part.minX, at, 0};
    ordinate.second = alongX ? host::Point3d{at, part.minY - spacing, 0}
                             : host::Point3d{part.minX - spacing, at, 0};
    addDimension(ds, space, ordinate, style, counts);
}

// Lines a part bends along: on a bend layer, or dashed, and crossing the part's box.
struct BendLine {
    double x1, y1, x2, y2;
};
std::vector<BendLine> bendLines(host::DrawingAccess& ds, host::ObjectId space) {
    static const std::vector<std::string> bendWords = {"折弯", "折线", "bend", "fold"};
    std::vector<BendLine> lines;
    for (const host::ObjectId entity : ds.blockEntities(space)) {
        host::EntityInfo info;
        if (!host::succeeded(ds.entityInfo(entity, info)) || info.type != host::EntityType::Line)
            continue;
        const std::string linetype = toLowerUtf8(info.linetype);
        const bool dashed = linetype.find("dash") != std::string::npos ||
                            linetype.find("hidden") != std::string::npos;
        if (!dashed && !drawing::layerSkipped(bendWords, info.layer)) continue;
        double s = 0, e = 0;
        host::Point3d a, b;
        if (host::succeeded(ds.curveParameterRange(entity, s, e)) &&
            host::succeeded(ds.curvePointAt(entity, s, a)) &&
            host::succeeded(ds.curvePointAt(entity, e, b)))
            lines.push_back({a.x, a.y, b.x, b.y});
    }
    return lines;
}

}  // namespace

host::ObjectId ensureDimensionStyle(host::DrawingEdits& ds, host::DatabaseId database,
                                    double textHeight) {
    ds.addLayer(database, contract::kDimensionLayer, 3, nullptr);
    host::DimensionStyleSpec look;
    look.name = std::string(contract::kDimensionStyle);
    look.textHeight = textHeight;
    look.arrowSize = textHeight;
    look.extensionOffset = textHeight / 4;
    look.extensionBeyond = textHeight / 2;
    look.textGap = textHeight / 4;
    look.decimals = 2;
    look.textStyle = ensureTextStyle(ds, database);
    host::ObjectId id;
    const host::Status status = ds.addDimensionStyle(database, look, &id);
    return host::succeeded(status) || status == host::Status::Duplicate ? id : host::ObjectId{};
}

AnnotationCounts dimensionExtents(host::DrawingEdits& ds, host::ObjectId space,
                                  host::ObjectId style, const std::vector<PartMeasure>& parts,
                                  double textHeight) {
    AnnotationCounts counts;
    const double spacing = 3 * kDimensionSpacing * textHeight;
    for (const PartMeasure& part : parts) {
        host::DimensionSpec width;
        width.kind = host::DimensionKind::Linear;
        width.first = {part.minX, part.minY, 0};
        width.second = {part.maxX, part.minY, 0};
        width.line = {part.minX, part.minY - spacing, 0};
        width.rotation = 0.0;
        addDimension(ds, space, width, style, counts);
        host::DimensionSpec height;
        height.kind = host::DimensionKind::Linear;
        height.first = {part.maxX, part.minY, 0};
        height.second = {part.maxX, part.maxY, 0};
        height.line = {part.maxX + spacing, part.minY, 0};
        height.rotation = kPi / 2;
        addDimension(ds, space, height, style, counts);
    }
    return counts;
}

AnnotationCounts dimensionHolesAndBends(host::DrawingEdits& ds, host::DatabaseId,
                                        host::ObjectId space, host::ObjectId style,
                                        const std::vector<PartMeasure>& parts, double textHeight) {
    AnnotationCounts counts;
    const double spacing = kDimensionSpacing * textHeight;
    const std::vector<BendLine> bends = bendLines(ds, space);
    for (const PartMeasure& part : parts) {
        // Equal holes share one diameter dimension: "4×Ø10".
        std::map<long long, std::vector<std::size_t>> bySize;
        for (std::size_t i = 0; i < part.circleDiameters.size(); ++i)
            bySize[std::llround(part.circleDiameters[i] * 100)].push_back(i);
        for (const auto& [size, holes] : bySize) {
            const auto& [cx, cy] = part.circleHoles[holes.front()];
            const double r = part.circleDiameters[holes.front()] / 2;
            host::DimensionSpec diameter;
            diameter.kind = host::DimensionKind::Diameter;
            const double a = kPi / 4;
            diameter.first = {cx - r * std::cos(a), cy - r * std::sin(a), 0};
            diameter.second = {cx + r * std::cos(a), cy + r * std::sin(a), 0};
            diameter.text = holes.size() > 1 ? std::to_string(holes.size()) + "×%%c<>" : "%%c<>";
            addDimension(ds, space, diameter, style, counts);
        }
        // Centres and bend lines from the reference corner, each distinct position once.
        std::set<long long> xs{0}, ys{0};
        std::vector<std::pair<bool, double>> ordinates{{true, part.minX}, {false, part.minY}};
        const auto addPosition = [&](bool alongX, double at) {
            const double from = alongX ? part.minX : part.minY;
            if ((alongX ? xs : ys).insert(std::llround((at - from) * 100)).second)
                ordinates.push_back({alongX, at});
        };
        for (const auto& [cx, cy] : part.circleHoles) {
            addPosition(true, cx);
            addPosition(false, cy);
        }
        for (const BendLine& bend : bends) {
            const double midX = (bend.x1 + bend.x2) / 2, midY = (bend.y1 + bend.y2) / 2;
            if (midX < part.minX || midX > part.maxX || midY < part.minY || midY > part.maxY)
                continue;
            const double dx = std::fabs(bend.x2 - bend.x1), dy = std::fabs(bend.y2 - bend.y1);
            if (dx <= 1e-6 * dy)
                addPosition(true, midX);
            else if (dy <= 1e-6 * dx)
                addPosition(false, midY);
            else
                ++counts.skipped;
        }
        if (ordinates.size() == 2) continue;  // nothing but the corner
        for (const auto& [alongX, at] : ordinates)
            addOrdinate(ds, space, style, part, alongX, at, spacing, counts);
    }
    return counts;
}

std::vector<std::size_t> readingOrder(const std::vector<PartMeasure>& parts) {
    std::vector<std::size_t> order(parts.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(),
              [&](std::size_t a, std::size_t b) { return parts[a].maxY > parts[b].maxY; });
    // A row: parts whose height range overlaps the middle of the row's first (tallest-top) part.
    std::vector<std::size_t> out;
    for (std::size_t begin = 0; begin < order.size();) {
        const PartMeasure& top = parts[order[begin]];
        const double middle = (top.minY + top.maxY) / 2;
        std::size_t end = begin + 1;
        while (end < order.size() && parts[order[end]].maxY >= middle)
            ++end;
        std::sort(order.begin() + begin, order.begin() + end,
                  [&](std::size_t a, std::size_t b) { return parts[a].minX < parts[b].minX; });
        out.insert(out.end(), order.begin() + begin, order.begin() + end);
        begin = end;
    }
    return out;
}

AnnotationCounts numberParts(host::DrawingEdits& ds, host::DatabaseId database,
                             host::ObjectId space, const std::vector<PartMeasure>& parts,
                             double textHeight) {
    AnnotationCounts counts;
    const std::string layer(contract::kBalloonLayer);
    ds.addLayer(database, layer, 1, nullptr);
    const double radius = kBalloonRadius * textHeight;
    host::ObjectId block = ds.findBlock(database, contract::kBalloonBlock);
    if (!block) {
        if (!host::succeeded(ds.addBlock(database, contract::kBalloonBlock, {0, 0, 0}, &block))) {
            counts.failed = static_cast<int>(parts.size());
            return counts;
        }
        ds.addCircle(block, {0, 0, 0}, radius, "0", nullptr);
        host::AttributeDefinitionSpec number;
        number.tag = std::string(contract::kBalloonTag);
        number.prompt = "编号";
        number.defaultValue = "0";
        number.height = textHeight;
        number.textStyle = ensureTextStyle(ds, database);
        ds.addAttributeDefinition(block, number, nullptr);
    }
    int n = 0;
    for (const std::size_t index : readingOrder(parts)) {
        const PartMeasure& part = parts[index];
        const host::Point3d centre{part.maxX + 2 * radius, part.maxY + 2 * radius, 0};
        host::BlockReferenceSpec balloon;
        balloon.blockRecord = block;
        balloon.position = centre;
        balloon.layer = layer;
        balloon.attributes = {{std::string(contract::kBalloonTag), std::to_string(++n)}};
        if (!host::succeeded(ds.addBlockReference(space, balloon, nullptr))) {
            ++counts.failed;
            continue;
        }
        // The leader runs from the balloon's rim to the part's outline.
        const double dx = part.anchorX - centre.x, dy = part.anchorY - centre.y;
        const double length = std::hypot(dx, dy);
        if (length > radius)
            ds.addLine(space, {centre.x + dx / length * radius, centre.y + dy / length * radius, 0},
                       {part.anchorX, part.anchorY, 0}, layer, nullptr);
        ++counts.dimensions;
    }
    return counts;
}

}  // namespace qks::tools
