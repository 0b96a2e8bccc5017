// The nest output step.
#include "qks/nest/output.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <system_error>

#include "qks/common/environment.h"
#include "qks/common/job_log.h"
#include "qks/common/plane.h"
#include "qks/common/utf8.h"
#include "qks/contract/log_words.h"
#include "qks/contract/states.h"
#include "qks/drawing/carry.h"
#include "qks/drawing/naming.h"
#include "qks/job/driver.h"
#include "qks/nest/common_line.h"
#include "qks/nest/layout_file.h"
#include "qks/nest/stock.h"
#include "qks/nest/stock_output.h"
#include "qks/plot/window_pdfs.h"

namespace qks::nest {
namespace {

constexpr job::ChannelLog logLine{LogChannel::Nest};

// Source drawings read for part blocks, each at most once per output step; deleted with it.
class SourceCache {
  public:
    explicit SourceCache(host::DrawingAccess& ds) : ds_(ds) {}
    ~SourceCache() {
        for (auto& entry : databases_)
            if (entry.second) ds_.deleteDatabase(entry.second);
    }
    SourceCache(const SourceCache&) = delete;
    SourceCache& operator=(const SourceCache&) = delete;

    host::DatabaseId get(const std::string& source) {
        const auto found = databases_.find(source);
        if (found != databases_.end()) return found->second;
        host::DatabaseId database = ds_.createDatabase(false);
        // DXF and DWG take the same reading route here (the host reads by content); a file
        // that is not a drawing fails either way.
        if (database && !host::succeeded(ds_.readDrawingFile(database, source, nullptr))) {
            ds_.deleteDatabase(database);
            database = {};
        }
        databases_.emplace(source, database);
        return database;
    }

  private:
    host::DrawingAccess& ds_;
    std::map<std::string, host::DatabaseId> databases_;
};

// Layers of the nest drawing's own geometry and their colour indices.
constexpr int kBendColour = 6;
constexpr int kMarkColour = 5;
constexpr int kLabelColour = 4;

int carriedColour(const std::string& layer) {
    if (layer == contract::kBendLayer) return kBendColour;
    if (layer == contract::kMarkLayer) return kMarkColour;
    return 0;  // not a layer geometry travels on
}

// Ids of the part's handles in `source`, then those of its carried geometry with the layer
// each goes to (only groups on a carried layer).
struct PartObjects {
    std::vector<host::ObjectId> ids;
    std::vector<std::string> carriedLayers;  // for the last carriedLayers.size() ids
};

PartObjects partObjects(host::DrawingAccess& ds, host::DatabaseId source, const NestPart& part,
                        bool carry) {
    PartObjects objects;
    for (const std::string& handle : part.handles) {
        const host::ObjectId id = ds.objectIdFromHandle(source, handle);
        if (id) objects.ids.push_back(id);
    }
    if (!carry || objects.ids.empty()) return objects;
    for (const contract::CarriedGroup& group : part.carried) {
        if (carriedColour(group.layer) == 0) continue;
        for (const std::string& handle : group.handles) {
            const host::ObjectId id = ds.objectIdFromHandle(source, handle);
            if (!id) continue;
            objects.ids.push_back(id);
            objects.carriedLayers.push_back(group.layer);
        }
    }
    return objects;
}

// Puts the copies of the carried entities, the last of the written drawing's model space in
// the order they were written, on their layers in their layers' colour. False when the copy
// does not hold one entity per object written (the carried ones cannot be told apart).
bool layerCarried(host::DrawingEdits& ds, host::DatabaseId written, const PartObjects& objects) {
    const std::vector<host::ObjectId> copies = ds.blockEntities(ds.modelSpace(written));
    if (copies.size() != objects.ids.size()) return false;
    const std::size_t first = copies.size() - objects.carriedLayers.size();
    for (std::size_t k = 0; k < objects.carriedLayers.size(); ++k) {
        const std::string& layer = objects.carriedLayers[k];
        if (!ensureLayer(ds, written, layer, carriedColour(layer))) return false;
        host::EntityProperties properties;
        if (!host::succeeded(ds.entityProperties(copies[first + k], properties))) return false;
        properties.layer = layer;
        properties.colorIndex = 256;  // the layer's colour tells bend lines from marks
        if (!host::succeeded(ds.setEntityProperties(copies[first + k], properties))) return false;
    }
    return true;
}

// The part's source geometry as the block "QKS_PART_<id>" of `target`, with the geometry that
// travels with it when `carry`; null when none.
host::ObjectId makePartBlock(host::Host& host, host::DrawingEdits& ds, SourceCache& cache,
                             host::DatabaseId target, const NestPart& part, bool carry) {
    host::DatabaseId source;
    if (contract::isCurrentDrawingSource(part.source)) {
        const host::DocumentId document = host.currentDocument();
        if (document) source = ds.documentDatabase(document);
    } else {
        source = cache.get(part.source);
    }
    if (!source || part.handles.empty()) return {};
    PartObjects objects = partObjects(ds, source, part, carry);
    if (objects.ids.empty()) return {};
    // The block keeps the source drawing's units; its references scale it to millimetres.
    const double scale = part.drawingScale > 0.0 ? part.drawingScale : 1.0;
    const host::Point3d base{part.refX / scale, part.refY / scale, 0.0};
    host::DatabaseId written;
    if (!host::succeeded(ds.writeBlockOut(objects.ids, base, &written))) return {};
    host::ScopedDatabase temporary(&ds, written);
    if (!objects.carriedLayers.empty() && !layerCarried(ds, temporary.get(), objects)) {
        // Carried geometry that cannot be put on its layers stays behind; the part does not.
        objects.ids.resize(objects.ids.size() - objects.carriedLayers.size());
        objects.carriedLayers.clear();
        host::DatabaseId plain;
        if (!host::succeeded(ds.writeBlockOut(objects.ids, base, &plain))) return {};
        temporary = host::ScopedDatabase(&ds, plain);
    }
    host::ObjectId block;
    int notCarried = 0;
    if (!host::succeeded(ds.insertDatabaseAsBlock(target, "QKS_PART_" + std::to_string(part.id),
                                                  temporary.get(), &block, &notCarried)))
        return {};
    return block;
}

// Whether any part of the layout carries geometry the drawing draws.
bool layoutCarries(const NestSession& session) {
    if (!session.config.carry) return false;
    for (const SheetLayout& sheet : session.layout)
        for (const Placement& placement : sheet.placements) {
            const auto index = static_cast<std::size_t>(placement.partIndex);
            if (placement.partIndex >= 0 && index < session.parts.size() &&
                !session.parts[index].carried.empty())
                return true;
        }
    return false;
}

// A placed part's label: its name where no other kind of the job has it, else its number.
std::string labelOf(const std::vector<NestPart>& parts, const NestPart& part) {
    for (const NestPart& other : parts)
        if (&other != &part && other.name == part.name) return std::to_string(part.id);
    return part.name.empty() ? std::to_string(part.id) : part.name;
}

// Where a kind's label goes in its own frame, and how high it is: a fifth of the part's
// smaller side, smaller when the text would not fit inside the part.
struct Label {
    std::string text;
    Point at;
    double height = 0.0;
};

Label labelFor(const std::vector<NestPart>& parts, const NestPart& part) {
    Label label;
    label.text = labelOf(parts, part);
    double depth = 0.0;
    label.at = drawing::labelPoint(part, &depth);
    double columns = 0.0;  // in text heights: wide (CJK) characters 1, others 0.6
    for (std::size_t i = 0; i < label.text.size();) {
        const unsigned char c = static_cast<unsigned char>(label.text[i]);
        const std::size_t length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        columns += length >= 3 ? 1.0 : 0.6;
        i += length;
    }
    double height = std::min(part.width, part.height) / 5.0;
    // Wholly inside whichever way the part is turned: within the circle of the label's depth.
    const double room = std::max(depth, 0.0) * 1.6;
    if (columns > 0) height = std::min(height, room / std::hypot(columns, 1.0));
    label.height = std::clamp(height, 0.5, 100.0);
    return label;
}

std::vector<Point> moved(std::vector<Point> points, const Point& shift) {
    for (Point& p : points) {
        p.x += shift.x;
        p.y += shift.y;
    }
    return points;
}

// A part's cut in sheet coordinates, on the part layer: a closed ring or an open piece of one.
void addChain(host::DrawingEdits& ds, host::ObjectId model, const CutChain& chain, double sheetX0) {
    std::vector<host::Point3d> vertices;
    vertices.reserve(chain.points.size());
    for (const Point& p : chain.points)
        vertices.push_back({sheetX0 + p.x, p.y, 0.0});
    if (vertices.size() < (chain.closed ? 3u : 2u)) return;
    ds.addLwPolyline(model, vertices, chain.closed, kPartLayer, nullptr);
}

std::string formatSheetTitle(int number, double width, double height, double utilisation,
                             std::size_t count) {
    char buffer[256];
    std::snprintf(buffer, sizeof buffer, "板%d  %.0f x %.0f  利用率 %.1f%%  件数 %zu", number,
                  width, height, utilisation, count);
    return buffer;
}

}  // namespace

host::ObjectId ensureLayer(host::DrawingEdits& ds, host::DatabaseId database,
                           const std::string& name, int colorIndex) {
    const host::ObjectId existing = ds.findLayer(database, name);
    if (existing) return existing;
    host::ObjectId id;
    const host::Status status = ds.addLayer(database, name, colorIndex, &id);
    if (host::succeeded(status) || status == host::Status::Duplicate) return id;
    return {};
}

void addClosedPolyline(host::DrawingEdits& ds, host::ObjectId modelSpace,
                       const std::vector<Point>& points, const std::string& layer) {
    if (points.size() < 3) return;
    std::vector<host::Point3d> vertices;
    vertices.reserve(points.size());
    for (const Point& p : points)
        vertices.push_back({p.x, p.y, 0.0});
    ds.addLwPolyline(modelSpace, vertices, true, layer, nullptr);
}

void addLabelText(host::DrawingEdits& ds, host::ObjectId modelSpace, const std::string& contents,
                  double x, double y, double height, const std::string& layer) {
    host::MTextSpec text;
    text.position = {x, y, 0.0};
    text.contents = contents;
    text.height = height;
    text.width = 0.0;
    text.attachment = host::MTextAttachment::BottomLeft;
    text.layer = layer;
    ds.addMText(modelSpace, text, nullptr);
}

namespace {

// What drawing the sheets needs beyond the session: the drawing being written, each used part's
// block and label, and the common-line pass's result.
struct SheetDrawing {
    host::DrawingEdits& ds;
    host::DatabaseId database;
    host::ObjectId model;
    const NestSession& session;
    double pad = 0.0;  // the gap's pad, millimetres
    std::map<std::int32_t, Label> labels;
    std::map<std::int32_t, host::ObjectId> blocks;
    CommonLineResult common;

    const NestConfig& config() const { return session.config; }
    const std::vector<NestPart>& parts() const { return session.parts; }
    bool inList(std::int32_t index) const {
        return index >= 0 && static_cast<std::size_t>(index) < session.parts.size();
    }
    const CommonLinePlacement* commonAt(std::size_t sheetIndex, std::size_t placementIndex) const {
        if (!config().commonLine || sheetIndex >= common.sheets.size()) return nullptr;
        const auto& list = common.sheets[sheetIndex].placements;
        return placementIndex < list.size() ? &list[placementIndex] : nullptr;
    }
};

// The layers, part blocks and labels of the parts the layout uses, then the common-line pass.
void prepareSheetDrawing(host::Host& host, SheetDrawing& out, NestDrawingResult& result) {
    host::DrawingEdits& ds = out.ds;
    const NestConfig& config = out.config();
    const std::vector<NestPart>& parts = out.parts();
    std::set<std::int32_t> used;
    for (const SheetLayout& sheet : out.session.layout)
        for (const Placement& placement : sheet.placements)
            used.insert(placement.partIndex);
    if (layoutCarries(out.session)) {
        // Made before the blocks, so the blocks' carried geometry takes these layers.
        ensureLayer(ds, out.database, std::string(contract::kBendLayer), kBendColour);
        ensureLayer(ds, out.database, std::string(contract::kMarkLayer), kMarkColour);
    }
    if (config.labels) {
        ensureLayer(ds, out.database, std::string(contract::kLabelLayer), kLabelColour);
        for (const std::int32_t index : used)
            if (out.inList(index))
                out.labels[index] = labelFor(parts, parts[static_cast<std::size_t>(index)]);
    }
    {
        SourceCache cache(ds);
        for (const std::int32_t index : used) {
            if (!out.inList(index)) continue;
            const host::ObjectId block =
                makePartBlock(host, ds, cache, out.database, parts[static_cast<std::size_t>(index)],
                              config.carry);
            if (block) out.blocks[index] = block;
        }
    }
    // Common-line jobs: parts slid together, shared stretches drawn once on their own layer and
    // left out of both parts. A part with such a stretch is drawn from its outline and holes, as
    // a block would repeat the stretch for every reference.
    if (config.commonLine) {
        // Locked parts stay exactly where the user put them.
        std::vector<std::size_t> kept;
        for (const SheetLayout& sheet : out.session.layout)
            kept.push_back(keptPlacementCount(out.session, sheet));
        out.common = shareCommonLines(config, parts, out.session.layout, kept);
        result.commonSaved = out.common.savedLength;
        ensureLayer(ds, out.database, kCommonLayer, 1);
    }
    out.pad = gapPadLength(config);
}

// One placed part: its cut geometry (shared chains, a block reference or its rings), its number
// and its label.
void drawPlacement(const SheetDrawing& at, std::size_t sheetIndex, std::size_t k,
                   const Placement& placement, double sheetX0) {
    host::DrawingEdits& ds = at.ds;
    const NestConfig& config = at.config();
    const NestPart& part = at.parts()[static_cast<std::size_t>(placement.partIndex)];
    const CommonLinePlacement* shared = at.commonAt(sheetIndex, k);
    const Point shift = shared ? shared->shift : Point{};
    double cx = sheetX0 + config.margin + at.pad + placement.column * config.cell;
    double cy = config.margin + at.pad + placement.row * config.cell;
    // Only common-line jobs move anything: the sums are left out otherwise, so that a job
    // without the key writes exactly what it wrote before.
    if (shared) {
        cx += shift.x;
        cy += shift.y;
    }
    const auto block = at.blocks.find(placement.partIndex);
    if (shared && shared->shares) {
        for (const CutChain& chain : shared->chains)
            addChain(ds, at.model, chain, sheetX0);
    } else if (block != at.blocks.end()) {
        // The reference point lands where the placement mapping puts it; the block's base
        // point is that reference point, so the geometry follows exactly.
        const Point base = placementPoint({part.refX, part.refY}, part, placement.angle,
                                          placement.mirrored, sheetX0, 0.0, config.margin, at.pad,
                                          config.cell, placement.column, placement.row);
        host::BlockReferenceSpec reference;
        reference.blockRecord = block->second;
        reference.position = shared ? host::Point3d{base.x + shift.x, base.y + shift.y, 0.0}
                                    : host::Point3d{base.x, base.y, 0.0};
        reference.rotation = placement.angle * qks::kPi / 180.0;
        const double scale = part.drawingScale > 0.0 ? part.drawingScale : 1.0;
        reference.scale = placement.mirrored ? host::Vector3d{-scale, scale, scale}
                                             : host::Vector3d{scale, scale, scale};
        ds.addBlockReference(at.model, reference, nullptr);
    } else {
        const PlacedShape shape =
            placeShape(part, placement.angle, placement.mirrored, sheetX0, 0.0, config.margin,
                       at.pad, config.cell, placement.column, placement.row);
        addClosedPolyline(ds, at.model, shared ? moved(shape.outline, shift) : shape.outline,
                          kPartLayer);
        for (const auto& hole : shape.holes)
            addClosedPolyline(ds, at.model, shared ? moved(hole, shift) : hole, kPartLayer);
    }
    addLabelText(ds, at.model, std::to_string(part.id), cx + 2, cy + 2, 10, kTextLayer);
    const auto label = at.labels.find(placement.partIndex);
    if (label != at.labels.end()) {
        const Point where = placementPoint(label->second.at, part, placement.angle,
                                           placement.mirrored, sheetX0, 0.0, config.margin, at.pad,
                                           config.cell, placement.column, placement.row);
        host::MTextSpec text;
        text.position = {where.x, where.y, 0.0};
        text.contents = label->second.text;
        text.height = label->second.height;
        text.attachment = host::MTextAttachment::MiddleCenter;
        text.layer = std::string(contract::kLabelLayer);
        ds.addMText(at.model, text, nullptr);
    }
}

// One sheet at sheetX0: its edge or stock piece, its parts, shared stretches, title, parts list
// and offcut. The offcut's log line, if any, is added to `offcuts`.
void drawSheet(const SheetDrawing& at, const SheetLayout& sheet, int number, double sheetX0,
               std::vector<std::string>& offcuts) {
    host::DrawingEdits& ds = at.ds;
    const NestConfig& config = at.config();
    const std::size_t sheetIndex = static_cast<std::size_t>(number - 1);
    const double w = sheet.width, h = sheet.height;
    if (!drawStockPiece(ds, at.model, config, sheet, sheetX0))
        addClosedPolyline(ds, at.model,
                          {{sheetX0, 0}, {sheetX0 + w, 0}, {sheetX0 + w, h}, {sheetX0, h}},
                          kFrameLayer);
    std::map<std::int32_t, std::size_t> counts;
    double placedArea = 0.0;
    for (std::size_t k = 0; k < sheet.placements.size(); ++k) {
        const Placement& placement = sheet.placements[k];
        if (!at.inList(placement.partIndex)) continue;
        drawPlacement(at, sheetIndex, k, placement, sheetX0);
        const NestPart& part = at.parts()[static_cast<std::size_t>(placement.partIndex)];
        ++counts[part.id];
        placedArea += part.area;
    }
    if (config.commonLine && sheetIndex < at.common.sheets.size())
        for (const SharedStretch& stretch : at.common.sheets[sheetIndex].shared)
            ds.addLine(at.model, {sheetX0 + stretch.a.x, stretch.a.y, 0.0},
                       {sheetX0 + stretch.b.x, stretch.b.y, 0.0}, kCommonLayer, nullptr);
    const double stock = sheetArea(sheet);
    const double percent = stock > 0 ? placedArea / stock * 100.0 : 0.0;
    addLabelText(ds, at.model, formatSheetTitle(number, w, h, percent, sheet.placements.size()),
                 sheetX0, h + 60, 28, kTextLayer);
    std::string list;
    for (const auto& [id, count] : counts) {
        for (const NestPart& part : at.parts()) {
            if (part.id != id) continue;
            list += std::to_string(id) + "  " + part.name + "  x" + std::to_string(count) + "\\P";
            break;
        }
    }
    if (!list.empty()) addLabelText(ds, at.model, list, sheetX0 + w + 40, h - 40, 22, kTextLayer);
    const std::string offcut =
        markOffcut(ds, at.database, at.model, at.session, sheet, sheetX0, number);
    if (!offcut.empty()) offcuts.push_back(offcut);
}

}  // namespace

NestDrawingResult writeNestDrawing(host::Host& host, const NestSession& session) {
    NestDrawingResult result;
    host::DrawingServices* services = host.drawingServices();
    if (!services) {
        result.message = "无法写入套料图纸";
        return result;
    }
    host::DrawingServices& ds = *services;
    host::ScopedDatabase drawing(&ds, ds.createDatabase(true));
    if (!drawing) {
        result.message = "无法写入套料图纸";
        return result;
    }
    // Parts, sheets, gaps and margins are millimetres, whatever the source drawings used.
    ds.setDrawingUnits(drawing.get(), 4);
    ensureLayer(ds, drawing.get(), kFrameLayer, 8);
    ensureLayer(ds, drawing.get(), kPartLayer, 3);
    ensureLayer(ds, drawing.get(), kTextLayer, 2);
    const host::ObjectId model = ds.modelSpace(drawing.get());
    if (!model) {
        result.message = "无法写入套料图纸";
        return result;
    }
    SheetDrawing sheets{ds, drawing.get(), model, session, 0.0, {}, {}, {}};
    prepareSheetDrawing(host, sheets, result);
    double sheetX0 = 0.0;
    int number = 1;
    std::vector<std::string> offcuts;  // log lines, written once the drawing is saved
    for (const SheetLayout& sheet : session.layout) {
        drawSheet(sheets, sheet, number, sheetX0, offcuts);
        result.sheets.push_back(
            {sheetX0, 0.0, sheetX0 + sheet.width, sheet.height, "板" + std::to_string(number)});
        sheetX0 += sheet.width + kSheetSpacing;
        ++number;
    }

    const NestConfig& config = session.config;
    const std::string folder = folderOfPath(config.outDwg);
    if (!folder.empty()) {
        std::error_code ignored;  // a folder that cannot be made shows up as a failed save
        std::filesystem::create_directories(std::filesystem::u8path(folder), ignored);
    }
    std::string written, message;
    if (!host::succeeded(ds.saveDatabase(drawing.get(), config.outDwg, &written, &message))) {
        result.message = "保存套料图纸失败";
        result.sheets.clear();
        return result;
    }
    result.path = written.empty() ? config.outDwg : written;
    result.ok = true;
    for (const std::string& line : offcuts)
        logLine(line);
    return result;
}

bool plotSheetWindows(host::Host& host, const std::vector<drawing::PlotWindow>& windows,
                      const std::string& folder, const std::string& prefix,
                      const std::string& styleSheet, std::string& message) {
    host::DrawingServices* services = host.drawingServices();
    const host::DocumentId document = host.currentDocument();
    if (!services || !document) {
        message = "没有当前图纸";
        return false;
    }
    host::DrawingServices& ds = *services;
    const host::DatabaseId database = ds.documentDatabase(document);
    if (!database) {
        message = "无法读取布局";
        return false;
    }
    host::ObjectId modelLayout;
    for (const host::LayoutInfo& layout : ds.layouts(database))
        if (layout.isModel) {
            modelLayout = layout.id;
            break;
        }
    if (!modelLayout) {
        message = "未找到模型空间布局";
        return false;
    }
    plot::WindowPdfWriter pdfs(ds, modelLayout, styleSheet);
    if (!pdfs.open(message)) return false;
    const bool locked = host::succeeded(ds.lockDocument(document));
    if (!folder.empty()) {
        std::error_code ignored;  // a missing folder shows up as failed sheets
        std::filesystem::create_directories(std::filesystem::u8path(folder), ignored);
    }
    bool allPlotted = true;
    int number = 1;
    for (const drawing::PlotWindow& sheet : windows) {
        const std::string name = sheet.name.empty() ? "板" + std::to_string(number) : sheet.name;
        const std::string fullName = prefix.empty() ? name : prefix + "_" + name;
        const std::string fileName = drawing::sanitizeFileName(fullName) + ".pdf";
        const std::string pdfPath = folder.empty() ? fileName : joinPath(folder, fileName);
        drawing::PlotWindow window = sheet;
        window.minX = std::min(sheet.minX, sheet.maxX);
        window.maxX = std::max(sheet.minX, sheet.maxX);
        window.minY = std::min(sheet.minY, sheet.maxY);
        window.maxY = std::max(sheet.minY, sheet.maxY);
        std::string sheetMessage;
        if (pdfs.write(window, name, pdfPath, sheetMessage)) {
            appendJobLog(LogChannel::Plot, "PDF " + name + " " + pdfPath);
        } else {
            appendJobLog(LogChannel::Plot,
                         contract::logEntry(contract::kLogError, name + " " + sheetMessage));
            allPlotted = false;
        }
        ++number;
    }
    pdfs.close();
    if (locked) ds.unlockDocument(document);
    if (!allPlotted) {
        message = "部分板材 PDF 输出失败";
        return false;
    }
    message.clear();
    return true;
}

namespace {

void plotNestDrawing(host::Host& host, const NestSession& session,
                     const NestDrawingResult& drawing) {
    host::DrawingServices& ds = *host.drawingServices();
    const host::DocumentId previous = host.currentDocument();
    std::string openMessage;
    const host::DocumentId opened = ds.openDocument(drawing.path, &openMessage);
    const host::DocumentId document = opened ? host.currentDocument() : host::DocumentId{};
    if (!document) {
        logLine(contract::kLogWarning, "无法打开套料图纸输出 PDF");
        return;
    }
    // Activation follows whether or not making it current worked.
    ds.makeDocumentCurrent(document);
    ds.activateDocument(document);
    std::string message;
    plotSheetWindows(host, drawing.sheets, session.config.outDir, session.config.prefix,
                     "monochrome.ctb", message);
    if (!message.empty()) logLine(contract::kLogWarning, message);
    ds.closeDocument(document);
    if (previous && previous != document) {
        ds.makeDocumentCurrent(previous);
        ds.activateDocument(previous);
    }
}

}  // namespace

void writeNestOutput(host::Host& host, const NestSession& session,
                     const contract::NestLayout* edited) {
    if (session.layout.empty()) {
        logLine(contract::kLogFatal, "没有生成排样结果");
        return;
    }
    logLine(std::string(contract::kLogNestDrawing));
    const NestDrawingResult drawing = writeNestDrawing(host, session);
    if (!drawing.ok) {
        logLine(contract::kLogFatal, drawing.message);
        return;
    }
    // Beside the drawing, so the Studio can open the result for adjusting; written before the
    // lines that tell the Studio the drawing is there.
    contract::NestLayout layout = edited ? *edited : layoutOfSession(session, drawing.path);
    layout.settings.outDwg = drawing.path;
    std::string error;
    if (!writeLayoutFile(contract::layoutPathFor(drawing.path), layout, &error))
        logLine(contract::kLogWarning, "无法写入排版文件 " + error);
    char buffer[256];
    std::snprintf(buffer, sizeof buffer,
                  "板=%zu 件=%zu 利用率=%.1f%% 未放=%d 文件=", session.layout.size(),
                  placementCount(session.layout), session.utilisation * 100.0,
                  static_cast<int>(session.unplaced));
    std::string done = buffer + drawing.path;
    if (session.config.commonLine) {
        std::snprintf(buffer, sizeof buffer, "NEST 共边 节省切割长度 %.1f m",
                      drawing.commonSaved / 1000.0);
        logLine(buffer);
        std::snprintf(buffer, sizeof buffer, " 共边节省=%.3fm", drawing.commonSaved / 1000.0);
        done += buffer;
    }
    logLine(contract::kLogDone, done);
    logLine(contract::kLogNestWritten, drawing.path);
    if (session.config.pdf && !drawing.sheets.empty()) plotNestDrawing(host, session, drawing);
}

void finishNestJob(host::Host& host, NestRuntime& runtime) {
    const std::shared_ptr<NestSession> session = runtime.currentNestSession();
    if (!session) return;
    try {
        if (session->worker.joinable()) session->worker.join();
        writeNestOutput(host, *session, nullptr);
    } catch (...) {
        logLine(contract::kLogFatal, "无法写入套料图纸");
    }
    runtime.clearCurrentNestSession(session);
}

}  // namespace qks::nest
