// The drawing window's display list: a layout rendered as for a plot, then cut into the
// entities of the layout's own block and flattened to points, so the window paints and picks
// without knowing curves.
#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "qks/common/atomic_file.h"
#include "qks/contract/view_format.h"
#include "qkshost/app/drawing_services.h"
#include "qkshost/app/host_application.h"
#include "qkshost/pdf/plot_style.h"
#include "qkshost/render/renderer.h"

namespace qkshost {
namespace {

namespace host = qks::host;
namespace contract = qks::contract;
using pdf::Affine2;
using pdf::Point2;

constexpr double kPi = 3.14159265358979323846;

std::uint32_t rgbOf(const pdf::PlotColour& colour) {
    const pdf::Rgb rgb = colour.isTrueColour ? colour.rgb : pdf::aciToRgb(colour.index);
    return (std::uint32_t(rgb.r) << 16) | (std::uint32_t(rgb.g) << 8) | rgb.b;
}

// Flattens the display list's curves to points in the space's frame, relative to the origin.
class Flattener {
  public:
    Flattener(Point2 origin, double chordError) : origin_(origin), chordError_(chordError) {}

    void setTransform(const Affine2& transform) {
        transform_ = transform;
        scale_ = std::sqrt(std::fabs(transform.determinant()));
        if (!(scale_ > 0) || !std::isfinite(scale_)) scale_ = 1;
    }

    void point(std::vector<float>& out, Point2 p) const {
        const Point2 q = transform_.apply(p);
        out.push_back(static_cast<float>(q.x - origin_.x));
        out.push_back(static_cast<float>(q.y - origin_.y));
    }

    // Segments for `sweep` radians of a curve of radius `radius` (in the item's own units).
    int segments(double radius, double sweep) const {
        const double error = chordError_ / scale_;
        const double r = std::fabs(radius);
        if (!(r > error) || !std::isfinite(r)) return 1;
        const double step = 2 * std::acos(1 - error / r);
        const double n = std::ceil(std::fabs(sweep) / std::max(step, 1e-3));
        return static_cast<int>(std::clamp(n, 1.0, 720.0));
    }

    // Points of the arc from `start` to `end` angle (radians) about `centre`, both ends in.
    void arc(std::vector<float>& out, Point2 centre, double radius, double start, double end,
             bool skipFirst = false) const {
        const int n = segments(radius, end - start);
        for (int i = skipFirst ? 1 : 0; i <= n; ++i) {
            const double a = start + (end - start) * i / n;
            point(out, {centre.x + radius * std::cos(a), centre.y + radius * std::sin(a)});
        }
    }

    // A polyline's vertices with their bulges; the closing segment too when `closed`.
    void vertices(std::vector<float>& out, const std::vector<pdf::PolylineVertex>& v,
                  bool closed) const {
        if (v.empty()) return;
        point(out, v.front().point);
        const std::size_t segmentsCount = closed ? v.size() : v.size() - 1;
        for (std::size_t i = 0; i < segmentsCount; ++i) {
            const Point2 a = v[i].point;
            const Point2 b = v[(i + 1) % v.size()].point;
            const double bulge = v[i].bulge;
            if (bulge == 0 || !std::isfinite(bulge)) {
                point(out, b);
                continue;
            }
            // The arc through a and b whose included angle is 4 atan(bulge).
            const double angle = 4 * std::atan(bulge);
            const double chord = std::hypot(b.x - a.x, b.y - a.y);
            if (chord <= 0) continue;
            const double radius = chord / (2 * std::sin(std::fabs(angle) / 2));
            const double mx = (a.x + b.x) / 2, my = (a.y + b.y) / 2;
            const double toCentre = radius * std::cos(std::fabs(angle) / 2);
            const double nx = -(b.y - a.y) / chord, ny = (b.x - a.x) / chord;
            const double side = bulge > 0 ? 1 : -1;
            const Point2 c{mx + side * nx * toCentre, my + side * ny * toCentre};
            const double start = std::atan2(a.y - c.y, a.x - c.x);
            arc(out, c, radius, start, start + angle, /*skipFirst=*/true);
        }
    }

  private:
    Point2 origin_;
    double chordError_;
    Affine2 transform_;
    double scale_ = 1;
};

struct Exporter {
    const pdf::DisplayList& list;
    const std::vector<drawing::ObjectIndex>& itemLayers;
    const std::unordered_map<drawing::ObjectIndex, std::uint32_t>& layerIndex;
    Flattener flat;
    std::vector<Affine2> transforms{Affine2{}};
    std::vector<std::uint16_t> clips{0};
    contract::ViewFile& view;
    drawing::ObjectIndex cachedLayer = ~drawing::ObjectIndex(0);
    contract::ViewStyle pending;  // the style of the item being built
    std::uint32_t cachedIndex = 0;

    // An item of display item `i`, its style and first point set; the caller adds its points,
    // sets what only its kind has, and calls keep().
    contract::ViewItem itemFor(std::size_t i, contract::ViewItemKind kind) {
        const pdf::DisplayItem& source = list.items()[i];
        contract::ViewStyle style;
        style.kind = kind;
        // Items run in long stretches on one layer: the last answer is kept.
        if (itemLayers[i] != cachedLayer) {
            const auto layer = layerIndex.find(itemLayers[i]);
            cachedLayer = itemLayers[i];
            cachedIndex = layer != layerIndex.end() ? layer->second : 0;
        }
        style.layer = cachedIndex;
        style.rgb = rgbOf(source.pen.colour);
        style.weightMm = static_cast<float>(source.pen.lineWeightMm);
        style.dash = static_cast<std::uint16_t>(std::clamp(source.pen.dash, 0, 65535));
        style.clip = clips.back();
        pending = style;
        contract::ViewItem item;
        item.firstPoint = static_cast<std::uint32_t>(view.points.size() / 2);
        return item;
    }

    // Closes `item` over the points added since itemFor and keeps it when it draws anything.
    void keep(contract::ViewItem& item, contract::ViewEntity& entity) {
        item.pointCount = static_cast<std::uint32_t>(view.points.size() / 2) - item.firstPoint;
        if (item.pointCount == 0) return;
        item.style = view.addStyle(pending);
        view.items.push_back(item);
        ++entity.itemCount;
    }

    void addItem(std::size_t i, contract::ViewEntity& entity) {
        const pdf::Primitive& primitive = list.items()[i].primitive;
        using Kind = contract::ViewItemKind;
        auto& points = view.points;
        if (const auto* line = std::get_if<pdf::LinePrimitive>(&primitive)) {
            contract::ViewItem item = itemFor(i, Kind::Stroke);
            flat.point(points, line->start);
            flat.point(points, line->end);
            keep(item, entity);
        } else if (const auto* poly = std::get_if<pdf::PolylinePrimitive>(&primitive)) {
            contract::ViewItem item = itemFor(i, Kind::Stroke);
            pending.closed = poly->closed;
            flat.vertices(points, poly->vertices, poly->closed);
            keep(item, entity);
        } else if (const auto* circle = std::get_if<pdf::CirclePrimitive>(&primitive)) {
            contract::ViewItem item = itemFor(i, Kind::Stroke);
            pending.closed = 1;
            flat.arc(points, circle->centre, circle->radius, 0, 2 * kPi);
            points.resize(points.size() - 2);  // the closing point repeats the first
            keep(item, entity);
        } else if (const auto* arc = std::get_if<pdf::ArcPrimitive>(&primitive)) {
            contract::ViewItem item = itemFor(i, Kind::Stroke);
            double end = arc->endAngle;
            while (end <= arc->startAngle)
                end += 2 * kPi;
            if (end - arc->startAngle > 2 * kPi) end -= 2 * kPi;
            flat.arc(points, arc->centre, arc->radius, arc->startAngle, end);
            keep(item, entity);
        } else if (const auto* ellipse = std::get_if<pdf::EllipsePrimitive>(&primitive)) {
            contract::ViewItem item = itemFor(i, Kind::Stroke);
            const Point2 major = ellipse->majorAxis;
            const Point2 minor{-major.y * ellipse->ratio, major.x * ellipse->ratio};
            double end = ellipse->endParam;
            while (end <= ellipse->startParam)
                end += 2 * kPi;
            const double radius = std::hypot(major.x, major.y);
            const int n = flat.segments(radius, end - ellipse->startParam);
            for (int k = 0; k <= n; ++k) {
                const double t = ellipse->startParam + (end - ellipse->startParam) * k / n;
                flat.point(points,
                           {ellipse->centre.x + major.x * std::cos(t) + minor.x * std::sin(t),
                            ellipse->centre.y + major.y * std::cos(t) + minor.y * std::sin(t)});
            }
            keep(item, entity);
        } else if (const auto* fill = std::get_if<pdf::FillPrimitive>(&primitive)) {
            contract::ViewItem item = itemFor(i, Kind::Fill);
            contract::ViewLoops loops;
            loops.firstLoop = static_cast<std::uint32_t>(view.loopStarts.size());
            for (const auto& loop : fill->loops) {
                if (loop.size() < 2) continue;
                view.loopStarts.push_back(static_cast<std::uint32_t>(points.size() / 2) -
                                          item.firstPoint);
                flat.vertices(points, loop, /*closed=*/true);
            }
            loops.loopCount = static_cast<std::uint32_t>(view.loopStarts.size()) - loops.firstLoop;
            item.detail = static_cast<std::uint32_t>(view.fills.size());
            view.fills.push_back(loops);
            keep(item, entity);
            if (item.pointCount == 0) view.fills.pop_back();
        } else if (const auto* text = std::get_if<pdf::TextPrimitive>(&primitive)) {
            if (text->text.empty()) return;
            contract::ViewItem item = itemFor(i, Kind::Text);
            const Affine2& m = transforms.back();
            const double scale = std::sqrt(std::fabs(m.determinant()));
            flat.point(points, text->position);
            contract::ViewText out;
            out.height = static_cast<float>(text->height * scale);
            out.rotation = static_cast<float>(text->rotation + std::atan2(m.yx, m.xx));
            out.widthFactor = static_cast<float>(text->widthFactor);
            out.oblique = static_cast<float>(text->oblique);
            pending.hAlign = static_cast<contract::ViewHAlign>(text->hAlign);
            pending.vAlign = static_cast<contract::ViewVAlign>(text->vAlign);
            out.font = view.addString(text->fontFamily);
            out.text = view.addString(text->text);
            item.detail = static_cast<std::uint32_t>(view.texts.size());
            view.texts.push_back(out);
            keep(item, entity);
        } else if (const auto* clip = std::get_if<pdf::ClipPush>(&primitive)) {
            // The clip as the window sees it: the rectangle's corners through the transform.
            std::vector<float> corners;
            flat.point(corners, {clip->rect.minX, clip->rect.minY});
            flat.point(corners, {clip->rect.maxX, clip->rect.maxY});
            view.clips.push_back(
                {std::min(corners[0], corners[2]), std::min(corners[1], corners[3]),
                 std::max(corners[0], corners[2]), std::max(corners[1], corners[3])});
            clips.push_back(
                static_cast<std::uint16_t>(std::min<std::size_t>(view.clips.size(), 65535)));
        } else if (std::holds_alternative<pdf::ClipPop>(primitive)) {
            if (clips.size() > 1) clips.pop_back();
        } else if (const auto* push = std::get_if<pdf::TransformPush>(&primitive)) {
            transforms.push_back(transforms.back() * push->transform);
            flat.setTransform(transforms.back());
        } else if (std::holds_alternative<pdf::TransformPop>(primitive)) {
            if (transforms.size() > 1) transforms.pop_back();
            flat.setTransform(transforms.back());
        }
    }
};

}  // namespace

host::Status HostDrawingServices::writeView(host::DocumentId document, std::string_view layoutName,
                                            const std::string& path, std::string_view notice) {
    contract::ViewFile view;
    view.notice = std::string(notice);
    static std::uint64_t serial = 0;  // main thread only
    view.serial = ++serial;
    const host::DocumentId current = app_.currentDocument();
    for (const auto& d : app_.documents())
        view.documents.push_back({d->fileName, d->id == current});
    const Document* shown = app_.findDocument(document);
    if (shown != nullptr && shown->database) {
        const drawing::Database& db = *shown->database;
        drawing::ObjectIndex layout = layoutName.empty() ? 0 : db.findLayout(layoutName);
        std::vector<drawing::ObjectIndex> layouts = db.layouts();
        std::stable_sort(layouts.begin(), layouts.end(), [&](auto a, auto b) {
            const auto* la = db.get<drawing::Layout>(a);
            const auto* lb = db.get<drawing::Layout>(b);
            const bool ma = la && la->isModel(), mb = lb && lb->isModel();
            if (ma != mb) return ma;
            return (la ? la->tabOrder : 0) < (lb ? lb->tabOrder : 0);
        });
        for (const drawing::ObjectIndex l : layouts) {
            const auto* record = db.get<drawing::Layout>(l);
            if (record == nullptr) continue;
            view.layouts.push_back(record->name);
            if (layout == 0 && record->isModel()) layout = l;
        }
        const auto* record = db.get<drawing::Layout>(layout);
        if (record != nullptr) {
            view.space = record->name;
            view.paper = !record->isModel();
        }

        std::unordered_map<drawing::ObjectIndex, std::uint32_t> layerIndex;
        for (const drawing::ObjectIndex l : db.layers()) {
            const auto* layer = db.get<drawing::LayerRecord>(l);
            if (layer == nullptr) continue;
            layerIndex[l] = static_cast<std::uint32_t>(view.layers.size());
            contract::ViewLayer out;
            out.name = layer->name;
            out.rgb = rgbOf(layer->trueColor >= 0
                                ? pdf::PlotColour::trueColour(std::uint8_t(layer->trueColor >> 16),
                                                              std::uint8_t(layer->trueColor >> 8),
                                                              std::uint8_t(layer->trueColor))
                                : pdf::PlotColour::aci(std::abs(layer->color)));
            out.on = !layer->off && layer->color >= 0;
            out.frozen = layer->frozen();
            if (const auto* lt = db.get<drawing::LinetypeRecord>(layer->linetype))
                out.linetype = lt->name;
            out.weightMm = layer->lineweight >= 0 ? layer->lineweight / 100.0f : -1.0f;
            view.layers.push_back(std::move(out));
        }

        const render::ViewRendering rendering = render::renderLayoutForView(db, layout);
        for (int dash = 1;; ++dash) {
            const pdf::DashPattern* pattern = rendering.list.dashPattern(dash);
            if (pattern == nullptr) break;
            contract::ViewDash out;
            for (const double length : pattern->lengths)
                out.lengths.push_back(static_cast<float>(length));
            view.dashes.push_back(std::move(out));
        }
        // Curves are flattened once for every zoom: to a chord error of a hundred-thousandth of
        // the drawing, well under a pixel on a screen showing the whole drawing.
        const std::optional<pdf::PlotRect> extents = rendering.list.extents();
        Point2 origin{0, 0};
        double chordError = 1e-3;
        if (extents && extents->isValid()) {
            origin = {(extents->minX + extents->maxX) / 2, (extents->minY + extents->maxY) / 2};
            const double size = std::hypot(extents->width(), extents->height());
            if (size > 0 && std::isfinite(size)) chordError = size * 1e-5;
        }
        view.originX = origin.x;
        view.originY = origin.y;

        Exporter exporter{rendering.list,
                          rendering.itemLayers,
                          layerIndex,
                          Flattener(origin, chordError),
                          {},
                          {},
                          view,
                          {},
                          {},
                          {}};
        exporter.transforms = {Affine2{}};
        exporter.clips = {0};
        const auto& starts = rendering.entityStarts;
        view.entities.reserve(starts.size());
        view.items.reserve(rendering.list.size());
        view.points.reserve(rendering.list.size() * 8);
        view.addString({});
        for (std::size_t s = 0; s < starts.size(); ++s) {
            const std::size_t begin = starts[s].second;
            const std::size_t end =
                s + 1 < starts.size() ? starts[s + 1].second : rendering.list.items().size();
            const drawing::Object* object = db.object(starts[s].first);
            if (object == nullptr) continue;
            contract::ViewEntity entity;
            entity.handle = object->handle;
            const auto& e = static_cast<const drawing::Entity&>(*object);
            const auto layer = layerIndex.find(e.layer ? e.layer : db.layer0());
            entity.layer = layer != layerIndex.end() ? layer->second : 0;
            entity.firstItem = static_cast<std::uint32_t>(view.items.size());
            for (std::size_t i = begin; i < end; ++i)
                exporter.addItem(i, entity);
            if (entity.itemCount > 0) view.entities.push_back(entity);
        }
    } else if (shown == nullptr && document) {
        return host::Status::NotFound;
    }
    // Streamed: the tables go to the file as they are, with no copy of the whole list.
    qks::AtomicFileWriter file(path);
    if (!file.isOpen()) return host::Status::WriteError;
    contract::formatView(view, [&file](std::string_view bytes) { file.write(bytes); });
    return file.commit() ? host::Status::Ok : host::Status::WriteError;
}

}  // namespace qkshost
