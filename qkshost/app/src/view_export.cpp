// The drawing window's display list: a layout rendered as for a plot, then cut into the
// entities of the layout's own block and flattened to points, so the window paints and picks
// without knowing curves; and the selection prompt the window answers.
#include "view_export.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <system_error>
#include <thread>
#include <unordered_map>

#include "qks/common/atomic_file.h"
#include "qks/contract/view_format.h"
#include "qkshost/app/drawing_services.h"
#include "qkshost/app/host_application.h"
#include "qkshost/drawing/selection.h"
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

std::size_t gEntitiesPerPart = 40000;
unsigned gMaxParts = 0;

// Calls `work(k)` for k in [0, count): k = 0 on this thread, the others on threads of their
// own, all joined before it returns. Runs them here, one after another, when the system gives
// no threads.
template <typename Work>
void runParts(std::size_t count, const Work& work) {
    std::vector<std::thread> threads;
    std::size_t next = 1;
    try {
        for (; next < count; ++next)
            threads.emplace_back([&work, next] { work(next); });
    } catch (const std::system_error&) {
    }
    work(0);
    for (std::thread& thread : threads)
        thread.join();
    for (; next < count; ++next)
        work(next);
}

// One part of a layout on its way to the window: drawn, then flattened into `view`, whose
// indices count from 0 until placeAfter() moves them past the earlier parts' rows.
struct ViewPart {
    render::ViewRendering rendering;
    std::optional<pdf::PlotRect> extents;
    contract::ViewFile* view = nullptr;
    std::unique_ptr<contract::ViewFile> own;
};

// Flattens `part`'s rendering into its view: entity by entity, the items each drew.
void flattenPart(ViewPart& part, const drawing::Database& db,
                 const std::unordered_map<drawing::ObjectIndex, std::uint32_t>& layerIndex,
                 Point2 origin, double chordError) {
    const render::ViewRendering& rendering = part.rendering;
    contract::ViewFile& view = *part.view;
    for (int dash = 1;; ++dash) {
        const pdf::DashPattern* pattern = rendering.list.dashPattern(dash);
        if (pattern == nullptr) break;
        contract::ViewDash out;
        for (const double length : pattern->lengths)
            out.lengths.push_back(static_cast<float>(length));
        view.dashes.push_back(std::move(out));
    }
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
}

// The rows of a display list's tables: what the parts before a part hold.
struct TableRows {
    std::uint32_t points = 0, items = 0, styles = 0, texts = 0, fills = 0, loopStarts = 0,
                  strings = 0, dashes = 0, clips = 0;

    void add(const contract::ViewFile& view) {
        const auto rows = [](const auto& table) {
            return static_cast<std::uint32_t>(table.size());
        };
        points += rows(view.points) / 2;
        items += rows(view.items);
        styles += rows(view.styles);
        texts += rows(view.texts);
        fills += rows(view.fills);
        loopStarts += rows(view.loopStarts);
        strings += rows(view.strings);
        dashes += rows(view.dashes);
        clips += rows(view.clips);
    }
};

// Moves the indices of `later`, which count from 0, past the rows `before` holds.
void placeAfter(contract::ViewFile& later, const TableRows& before) {
    using Kind = contract::ViewItemKind;
    for (contract::ViewItem& item : later.items) {
        const Kind kind = later.styles[item.style].kind;
        item.firstPoint += before.points;
        if (kind == Kind::Text) item.detail += before.texts;
        if (kind == Kind::Fill) item.detail += before.fills;
        item.style += before.styles;
    }
    const auto shifted = [](std::uint16_t index, std::uint32_t by) {
        return index == 0 ? index
                          : static_cast<std::uint16_t>(std::min<std::uint32_t>(index + by, 65535));
    };
    for (contract::ViewStyle& style : later.styles) {
        style.dash = shifted(style.dash, before.dashes);
        style.clip = shifted(style.clip, before.clips);
    }
    for (contract::ViewText& text : later.texts) {
        text.text += before.strings;
        text.font += before.strings;
    }
    for (contract::ViewLoops& loops : later.fills)
        loops.firstLoop += before.loopStarts;
    for (contract::ViewEntity& entity : later.entities)
        entity.firstItem += before.items;
}

}  // namespace

bool DrawingWindowServices::selectObjects(std::string_view prompt,
                                          std::vector<host::ObjectId>& selection) {
    selection.clear();
    Document* document = app_.findDocument(app_.currentDocument());
    if (document == nullptr || !document->database) return false;
    const drawing::Database& db = *document->database;
    for (;;) {
        std::string line;
        if (!app_.promptForLine(prompt, line, /*window=*/true)) return false;
        drawing::SelectionResult result;
        const drawing::Status status = drawing::evaluateSelection(db, line, result);
        if (result.cancelled) return false;
        if (status != drawing::Status::Ok) {
            // A line the prompt does not understand asks again, as the CAD program does.
            app_.print("*Invalid selection* " + result.message + "\n");
            continue;
        }
        if (!result.message.empty()) app_.print(result.message + "\n");
        app_.print(std::to_string(result.entities.size()) + " found\n");
        for (const drawing::ObjectIndex index : result.entities)
            selection.push_back(db.idOf(index));
        return !selection.empty();
    }
}

host::Status DrawingWindowServices::writeView(host::DocumentId document,
                                              std::string_view layoutName, const std::string& path,
                                              std::string_view notice) {
    contract::ViewFile view;
    std::vector<const contract::ViewFile*> partViews;
    std::vector<std::unique_ptr<contract::ViewFile>> ownParts;
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

        // A large model space is drawn and flattened in parts, one per core; a paper layout
        // (viewports reach into model space) is drawn whole.
        const std::size_t entityCount = render::layoutEntityCount(db, layout);
        const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
        const std::size_t maxParts = gMaxParts > 0 ? gMaxParts : std::min(cores, 8u);
        const std::size_t partCount =
            record != nullptr && record->isModel()
                ? std::clamp<std::size_t>(entityCount / std::max<std::size_t>(gEntitiesPerPart, 1),
                                          1, maxParts)
                : 1;
        std::vector<ViewPart> parts(partCount);
        for (std::size_t k = 0; k < partCount; ++k) {
            if (k == 0) {
                parts[k].view = &view;
                continue;
            }
            parts[k].own = std::make_unique<contract::ViewFile>();
            parts[k].view = parts[k].own.get();
        }
        runParts(partCount, [&](std::size_t k) {
            ViewPart& part = parts[k];
            part.rendering = partCount == 1 ? render::renderLayoutForView(db, layout)
                                            : render::renderLayoutPartForView(
                                                  db, layout, entityCount * k / partCount,
                                                  entityCount * (k + 1) / partCount);
            part.extents = part.rendering.list.extents();
        });
        // Curves are flattened once for every zoom: to a chord error of a hundred-thousandth of
        // the drawing, well under a pixel on a screen showing the whole drawing.
        std::optional<pdf::PlotRect> extents;
        for (const ViewPart& part : parts) {
            if (!part.extents || !part.extents->isValid()) continue;
            if (!extents) {
                extents = part.extents;
                continue;
            }
            extents->minX = std::min(extents->minX, part.extents->minX);
            extents->minY = std::min(extents->minY, part.extents->minY);
            extents->maxX = std::max(extents->maxX, part.extents->maxX);
            extents->maxY = std::max(extents->maxY, part.extents->maxY);
        }
        Point2 origin{0, 0};
        double chordError = 1e-3;
        if (extents && extents->isValid()) {
            origin = {(extents->minX + extents->maxX) / 2, (extents->minY + extents->maxY) / 2};
            const double size = std::hypot(extents->width(), extents->height());
            if (size > 0 && std::isfinite(size)) chordError = size * 1e-5;
        }
        view.originX = origin.x;
        view.originY = origin.y;
        runParts(partCount, [&](std::size_t k) {
            flattenPart(parts[k], db, layerIndex, origin, chordError);
            parts[k].rendering = {};
        });
        TableRows before;
        for (ViewPart& part : parts) {
            if (&part != &parts.front()) placeAfter(*part.view, before);
            before.add(*part.view);
        }
        partViews.reserve(partCount);
        for (ViewPart& part : parts) {
            partViews.push_back(part.view);
            if (part.own) ownParts.push_back(std::move(part.own));
        }
    } else if (shown == nullptr && document) {
        return host::Status::NotFound;
    }
    // Streamed: the tables go to the file as they are, with no copy of the whole list.
    qks::AtomicFileWriter file(path);
    if (!file.isOpen()) return host::Status::WriteError;
    if (partViews.empty()) partViews.push_back(&view);
    contract::formatView(partViews, [&file](std::string_view bytes) { file.write(bytes); });
    return file.commit() ? host::Status::Ok : host::Status::WriteError;
}

void HostDrawingServices::setViewParts(std::size_t entitiesPerPart, unsigned maxParts) {
    gEntitiesPerPart = entitiesPerPart;
    gMaxParts = maxParts;
}

}  // namespace qkshost
