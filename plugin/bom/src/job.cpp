// The BOM job driver: drawings in, rows, flat blanks, nest utilisation and the delivery
// package out, then the workbook and the rows file for the Studio.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>

#include "package.h"
#include "profiles.h"
#include "qks/bom/bom.h"
#include "qks/bom/sheet_metal.h"
#include "qks/bom/title_block.h"
#include "qks/bom/workbook.h"
#include "qks/common/atomic_file.h"
#include "qks/common/environment.h"
#include "qks/common/file_io.h"
#include "qks/common/job_log.h"
#include "qks/common/utf8.h"
#include "qks/contract/log_words.h"
#include "qks/contract/names.h"
#include "qks/contract/states.h"
#include "qks/contract/text_format.h"
#include "qks/drawing/drawing_text.h"
#include "qks/drawing/extraction.h"
#include "qks/drawing/frames.h"
#include "qks/drawing/naming.h"
#include "qks/job/driver.h"
#include "qks/job/job_config.h"
#include "qks/job/job_files.h"
#include "qks/job/read_rules.h"

namespace qks::bom {
namespace {

namespace fs = std::filesystem;
using contract::BomRow;

constexpr job::ChannelLog log{LogChannel::Bom};

// FNV-1a: a short key that stays the same for the same drawing, frame and kind.
std::string rowKey(const std::string& source, int frame, int kind) {
    std::uint64_t hash = 1469598103934665603ull;
    const std::string text = source + '\n' + std::to_string(frame) + '\n' + std::to_string(kind);
    for (const unsigned char c : text) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    static const char digits[] = "0123456789ABCDEF";
    std::string key = "K";
    for (int shift = 60; shift >= 0; shift -= 4)
        key.push_back(digits[(hash >> shift) & 15u]);
    return key;
}

// The table's material for a title block's text: the same name, else the longest table name
// the text holds ("Q235B" → Q235, "不锈钢 SUS304" → SUS304).
const contract::Material* materialFor(const BomConfig& config, const std::string& text) {
    if (const contract::Material* exact = findMaterial(config, text)) return exact;
    std::string upper;
    for (const char c : text)
        if (c != ' ' && c != '-') upper.push_back(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    const contract::Material* best = nullptr;
    for (const contract::Material& material : config.materials) {
        std::string name;
        for (const char c : material.name)
            name.push_back(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
        if (name.size() >= 3 && upper.find(name) != std::string::npos &&
            (best == nullptr || name.size() > best->name.size()))
            best = &material;
    }
    return best;
}

// One frame (or a drawing without frames): its model-space entities.
struct FrameGroup {
    std::vector<host::ObjectId> entities;
    drawing::PlotWindow window;
    bool framed = false;
};

bool inside(const drawing::PlotWindow& outer, const drawing::PlotWindow& inner) {
    return inner.minX >= outer.minX - 1e-6 && inner.minY >= outer.minY - 1e-6 &&
           inner.maxX <= outer.maxX + 1e-6 && inner.maxY <= outer.maxY + 1e-6;
}

// Frames in reading order with the entities whose extents' centre they hold. A frame inside
// another (a title block drawn as a block of its own) belongs to the outer one.
std::vector<FrameGroup> frameGroups(host::DrawingAccess& ds, host::DatabaseId database) {
    std::vector<FrameGroup> groups;
    const std::vector<host::ObjectId> entities = ds.blockEntities(ds.modelSpace(database));
    const std::vector<drawing::PlotWindow> frames = drawing::findFrames(ds, database);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        bool nested = false;
        for (std::size_t j = 0; j < frames.size() && !nested; ++j)
            nested = j != i && inside(frames[j], frames[i]) && !inside(frames[i], frames[j]);
        if (!nested) groups.push_back({{}, frames[i], true});
    }
    if (groups.empty()) {
        groups.push_back({entities, {}, false});
        return groups;
    }
    for (const host::ObjectId entity : entities) {
        host::Extents3d box;
        if (!host::succeeded(ds.geometricExtents(entity, box)) || box.isEmpty()) continue;
        const double x = (box.min.x + box.max.x) / 2, y = (box.min.y + box.max.y) / 2;
        for (FrameGroup& group : groups)
            if (x >= group.window.minX && x <= group.window.maxX && y >= group.window.minY &&
                y <= group.window.maxY) {
                group.entities.push_back(entity);
                break;
            }
    }
    return groups;
}

// What one frame's title block gives, with the defaults filled in and logged.
struct FrameFacts {
    std::string number, name, material;
    std::string scale, weight;  // as written; empty when the title block has none
    double thickness = 0.0;
    int quantity = 1;
    std::uint32_t defaulted = contract::kDefaultedNone;
    const contract::Material* table = nullptr;  // for density and K factor
};

FrameFacts frameFacts(const BomConfig& config, const TitleFields& fields,
                      const std::string& fallbackNumber) {
    FrameFacts facts;
    facts.number = fields[TitleField::Number];
    if (facts.number.empty()) {
        facts.number = fallbackNumber;
        facts.defaulted |= contract::kDefaultedNumber;
    }
    facts.name = fields[TitleField::Name];
    facts.scale = fields[TitleField::Scale];
    facts.weight = fields[TitleField::Weight];
    facts.material = fields[TitleField::Material];
    if (facts.material.empty()) {
        facts.material = config.defaultMaterial;
        facts.defaulted |= contract::kDefaultedMaterial;
        log(contract::kLogWarning, facts.number + " 未找到材料，按默认 " + config.defaultMaterial);
    }
    if (const auto thickness = thicknessOf(fields[TitleField::Thickness]);
        thickness && *thickness <= contract::kLargestThickness) {
        facts.thickness = *thickness;
    } else {
        facts.thickness = config.defaultThickness;
        facts.defaulted |= contract::kDefaultedThickness;
        log(contract::kLogWarning, facts.number + " 未找到厚度，按默认 " +
                                       contract::fixed(config.defaultThickness, 2) + " mm");
    }
    if (const auto quantity = quantityOf(fields[TitleField::Quantity])) {
        facts.quantity = *quantity;
    } else {
        facts.defaulted |= contract::kDefaultedQuantity;
        log(contract::kLogWarning, facts.number + " 未找到数量，按 1 件");
    }
    return facts;
}

// The density and K factor a row is figured with: its material's, else the default
// material's, else the first of the table.
const contract::Material& figuringMaterial(const BomConfig& config, const std::string& material,
                                           const std::string& number) {
    if (const contract::Material* known = materialFor(config, material)) return *known;
    const contract::Material* fallback = findMaterial(config, config.defaultMaterial);
    if (fallback == nullptr) fallback = &config.materials.front();
    log(contract::kLogWarning,
        number + " 材料 " + material + " 不在材料表，按 " + fallback->name + " 的密度计算");
    return *fallback;
}

void figureWeights(BomRow& row) {
    row.netWeight = contract::weightKg(row.netArea, row.thickness, row.density);
    row.grossWeight =
        contract::weightKg(row.blankLength * row.blankWidth, row.thickness, row.density);
}

// A stated weight further than this share from the computed one is marked in the workbook.
constexpr double kWeightTolerance = 0.05;

// The title block's 比例 and 重量 for each of one frame's rows (those of `rows` from
// `firstRow` on). The stated weight is that of one piece of what the frame draws, so it is
// checked against one piece of each part kind the frame gives, weighed as the workbook shows
// them (after the Studio's edits).
void addTitleColumns(const FrameFacts& facts, const std::vector<BomRow>& rows, std::size_t firstRow,
                     std::vector<TitleColumns>& titles) {
    TitleColumns title;
    title.scale = facts.scale;
    title.weight = facts.weight;
    const std::optional<double> stated = weightKgOf(facts.weight);
    double computed = 0.0;
    for (std::size_t i = firstRow; i < rows.size(); ++i)
        computed += rows[i].netWeight;
    if (stated && computed > 0.0 && std::fabs(*stated - computed) > kWeightTolerance * computed) {
        title.weightDiffers = true;
        title.statedWeight = *stated;
        title.computedWeight = computed;
        log(contract::kLogWarning, facts.number + " 图纸重量 " + facts.weight + " 与计算重量 " +
                                       contract::fixed(computed, 3) + " kg 相差超过 " +
                                       contract::fixed(kWeightTolerance * 100, 0) + "%");
    }
    titles.insert(titles.end(), rows.size() - firstRow, title);
}

// One run of the job: its config, what it has gathered so far and the package it fills.
struct BomRun {
    const BomConfig& config;
    std::vector<std::string> profileLayerWords;  // lower case
    host::DrawingServices& ds;
    WorkbookData data;
    Package package;
    int frames = 0;
};

// The flat-blank drawing of a drawing's profiles: each blank a rectangle, its bend lines
// dashed on "QKS_BEND" with direction, angle and radius beside them.
bool writeBlankDrawing(host::DrawingEdits& ds, const std::string& path,
                       const std::vector<BlankRow>& blanks, std::string& message) {
    host::ScopedDatabase database(&ds, ds.createDatabase(true));
    if (!database) {
        message = "无法创建展开图";
        return false;
    }
    const host::DatabaseId db = database.get();
    ds.setDrawingUnits(db, 4);
    host::ObjectId bendLayer, dashed, style;
    ds.addLayer(db, "QKS_BLANK", 7, nullptr);
    ds.addLayer(db, std::string(contract::kBendLayer), 1, &bendLayer);
    ds.addLinetype(db, "DASHED", "Dashed __ __ __", {6.0, -3.0}, &dashed);
    if (bendLayer && dashed) ds.setLayerLinetype(bendLayer, dashed);
    style = drawing::ensureChineseTextStyle(ds, db, "QKS");
    const host::ObjectId model = ds.modelSpace(db);
    double y = 0.0;
    for (const BlankRow& row : blanks) {
        const double length = row.blank.flatLength, width = row.width;
        ds.addLwPolyline(model,
                         {{0, y, 0}, {length, y, 0}, {length, y + width, 0}, {0, y + width, 0}},
                         true, "QKS_BLANK", nullptr);
        host::TextSpec title;
        title.position = {0, y - 8, 0};
        title.height = 3.5;
        title.layer = "QKS_BLANK";
        title.textStyle = style;
        title.contents = row.drawingNumber + "  展开 " + contract::fixed(length, 2) + " × " +
                         contract::fixed(width, 2) + "  T" + contract::fixed(row.thickness, 2);
        ds.addText(model, title, nullptr);
        for (const Bend& bend : row.blank.bends) {
            ds.addLwPolyline(model, {{bend.position, y, 0}, {bend.position, y + width, 0}}, false,
                             std::string(contract::kBendLayer), nullptr);
            host::TextSpec label;
            label.position = {bend.position + 1.5, y + width / 2, 0};
            label.height = 2.5;
            label.rotation = 3.14159265358979323846 / 2;
            label.layer = std::string(contract::kBendLayer);
            label.textStyle = style;
            label.contents = std::string(bend.up ? "上" : "下") + " " +
                             contract::fixed(bend.angle, 1) + "° R" +
                             contract::fixed(bend.radius, 2);
            ds.addText(model, label, nullptr);
        }
        y += width + 30.0;
    }
    std::string written;
    return host::succeeded(ds.saveDatabase(db, path, &written, &message));
}

void processDatabase(BomRun& job, host::DatabaseId database, const std::string& source,
                     const std::string& label) {
    const BomConfig& config = job.config;
    host::DrawingServices& ds = job.ds;
    const double scale = drawing::millimetresPerUnit(ds.drawingUnits(database));
    drawing::ExtractionOptions options;
    options.logChannel = LogChannel::Bom;
    options.fineFreeForm = true;
    const std::vector<FrameGroup> groups = frameGroups(ds, database);
    std::vector<BlankRow> blanks;
    std::vector<std::string> numbers;
    int frameIndex = 0;
    for (const FrameGroup& group : groups) {
        ++frameIndex;
        ++job.frames;
        const std::string fallbackNumber =
            groups.size() > 1 ? label + "-" + std::to_string(frameIndex) : label;
        const FrameFacts facts =
            frameFacts(config, readTitleBlock(ds, group.entities), fallbackNumber);
        numbers.push_back(facts.number);
        // Bend profiles first: their curves are side views, not outlines to cut.
        std::vector<host::ObjectId> profileEntities;
        for (const host::ObjectId entity : group.entities) {
            host::EntityInfo info;
            if (host::succeeded(ds.entityInfo(entity, info)) && info.isCurve &&
                drawing::layerSkipped(job.profileLayerWords, info.layer))
                profileEntities.push_back(entity);
        }
        const std::vector<Profile> profiles = readProfiles(ds, profileEntities, scale);
        std::set<std::uint64_t> profileCurves;
        for (const Profile& profile : profiles)
            for (const host::ObjectId entity : profile.entities)
                profileCurves.insert(entity.value);
        std::vector<host::ObjectId> cutEntities;
        for (const host::ObjectId entity : group.entities)
            if (profileCurves.count(entity.value) == 0) cutEntities.push_back(entity);
        std::vector<contract::PartRecord> parts;
        std::int32_t nextId = 1;
        drawing::extractParts(ds, cutEntities, source,
                              facts.name.empty() ? facts.number : facts.name, options, parts,
                              nextId);
        drawing::mergeIdenticalKinds(parts, true, true);
        const std::size_t firstRow = job.data.rows.size();
        int kindIndex = 0;
        for (const contract::PartRecord& part : parts) {
            ++kindIndex;
            BomRow row;
            row.key = rowKey(source, frameIndex, kindIndex);
            row.drawingNumber = facts.number;
            row.name = facts.name.empty() ? part.name : facts.name;
            if (parts.size() > 1) row.name += "-" + std::to_string(kindIndex);
            row.quantity = facts.quantity * std::max(1, part.quantity);
            row.material = facts.material;
            row.thickness = facts.thickness;
            row.defaulted = facts.defaulted;
            if (const contract::BomEdit* edit = contract::findBomEdit(config, row.key)) {
                if (edit->material) {
                    row.material = *edit->material;
                    row.defaulted &= ~contract::kDefaultedMaterial;
                }
                if (edit->thickness) {
                    row.thickness = *edit->thickness;
                    row.defaulted &= ~contract::kDefaultedThickness;
                }
                if (edit->quantity) {
                    row.quantity = *edit->quantity;
                    row.defaulted &= ~contract::kDefaultedQuantity;
                }
            }
            row.density = figuringMaterial(config, row.material, row.drawingNumber).density;
            const PartFigures figures = measurePart(part);
            row.blankLength = figures.blank.length;
            row.blankWidth = figures.blank.width;
            row.netArea = figures.netArea;
            row.cutLength = figures.cutLength;
            row.pierces = figures.pierces;
            row.source = source;
            figureWeights(row);
            job.data.rows.push_back(std::move(row));
        }
        addTitleColumns(facts, job.data.rows, firstRow, job.data.titles);
        for (const Profile& profile : profiles) {
            BlankRow blank;
            blank.drawingNumber = facts.number;
            blank.source = source;
            blank.material = facts.material;
            blank.thickness = facts.thickness;
            blank.kFactor = contract::kFactorAt(
                figuringMaterial(config, facts.material, facts.number), facts.thickness);
            blank.width = config.profileWidth;
            blank.blank = unfoldProfile(profile.segments, blank.thickness, blank.kFactor,
                                        config.defaultRadius);
            if (!blank.blank.ok) {
                log(contract::kLogWarning, facts.number + " 折弯展开失败: " + blank.blank.message);
                continue;
            }
            if (!blank.blank.message.empty())
                log(contract::kLogWarning, facts.number + " " + blank.blank.message);
            log("BEND " + facts.number + " 折弯 " + std::to_string(blank.blank.bends.size()) +
                " 处，展开长 " + contract::fixed(blank.blank.flatLength, 2) + " mm");
            blanks.push_back(std::move(blank));
        }
    }
    if (!blanks.empty()) {
        const std::string name = label + "_展开.dxf";
        for (BlankRow& blank : blanks)
            blank.drawing = name;
        std::string message;
        const std::string path = joinPath(config.outDir, name);
        if (writeBlankDrawing(ds, path, blanks, message))
            log(contract::kLogBlank, path);
        else
            log(contract::kLogError, "展开图写入失败 " + path + " " + message);
        job.data.blanks.insert(job.data.blanks.end(), blanks.begin(), blanks.end());
    }
    if (config.package) {
        std::vector<drawing::PlotWindow> windows;
        for (std::size_t i = 0; i < groups.size(); ++i) {
            if (!groups[i].framed) continue;
            drawing::PlotWindow window = groups[i].window;
            window.name = numbers[i];
            windows.push_back(window);
        }
        addToPackage(job.package, ds, database, source, numbers.empty() ? label : numbers.front(),
                     windows, job.data.contents);
    }
}

// Sheets of a finished nest: the parts and progress files in the folder, else the ones the
// last nest job left in the temporary folder.
void readNestUse(const std::string& folder, std::vector<SheetUse>& sheets) {
    std::string partsPath = joinPath(folder, contract::kNestPartsFile);
    std::string progressPath = joinPath(folder, contract::kNestProgressFile);
    if (!isRegularFile(partsPath) || !isRegularFile(progressPath)) {
        partsPath = tempFilePath(contract::kNestPartsFile);
        progressPath = tempFilePath(contract::kNestProgressFile);
    }
    std::string partsText, progressText;
    std::vector<contract::PartRecord> parts;
    if (readFileBytes(partsPath, partsText)) parts = job::parsePartsText(partsText);
    if (parts.empty() || !readFileBytes(progressPath, progressText)) {
        log(contract::kLogWarning, "未找到套料结果 " + folder);
        return;
    }
    std::map<std::int32_t, double> netArea;
    for (const contract::PartRecord& part : parts)
        netArea[part.id] = measurePart(part).netArea;
    const contract::ProgressRecords progress = job::parseProgressText(progressText);
    int index = 0;
    for (const contract::SheetRecord& sheet : progress.sheets) {
        SheetUse use;
        use.index = ++index;
        use.width = sheet.width;
        use.height = sheet.height;
        for (const auto& placement : sheet.placements) {
            ++use.parts;
            const auto found = netArea.find(placement.partId);
            if (found != netArea.end()) use.partArea += found->second;
        }
        sheets.push_back(use);
    }
    log("NEST 板材 " + std::to_string(sheets.size()) + " 张 " + progressPath);
}

}  // namespace

void runBomJob(host::Host& host, const std::string& configPathFromBridge) {
    const std::optional<BomConfig> started =
        job::startJob(JobKind::Bom, LogChannel::Bom, configPathFromBridge, contract::readBomConfig,
                      contract::kBomLogFile);
    if (!started) return;
    const BomConfig& config = *started;
    const std::vector<std::string> files = expandDrawingFiles(config.files);
    log("QKS 钣金 BOM 开始 files=" + std::to_string(files.size()));
    for (const std::string& problem : config.problems)
        log(contract::kLogWarning, "配置项无效，已忽略 " + problem);
    if (config.outDir.empty()) {
        log(contract::kLogFatal, "未设置输出目录");
        return;
    }
    std::error_code folderError;
    fs::create_directories(fs::u8path(config.outDir), folderError);
    host::DrawingServices* ds = host.drawingServices();
    if (ds == nullptr) {
        log(contract::kLogFatal, "无法读取图纸");
        return;
    }
    BomRun run{config, contract::profileLayerWords(config, pluginReadRules()), *ds, {}, {}, 0};
    const std::string workbookPath = joinPath(config.outDir, config.workbook);
    const std::string stem = fs::u8path(config.workbook).stem().u8string();
    if (config.package) openPackage(run.package, joinPath(config.outDir, stem + "_交付"));
    drawing::NameCounts labels;
    const auto readDrawing = [&](const job::OpenDrawing& drawing, job::Tally&) {
        const std::string& path = drawing.path;
        const std::string label = drawing::uniqueOutputName(
            path.empty() ? std::string("当前图纸") : drawing::fileStemLabel(path), labels);
        const std::size_t before = run.data.rows.size();
        processDatabase(run, drawing.database,
                        path.empty() ? std::string(contract::kCurrentDrawingSource) : path, label);
        log(contract::kLogOk, (drawing.current ? label : path) + " 板件 " +
                                  std::to_string(run.data.rows.size() - before) + " 种");
        return job::Outcome::Ok;
    };
    job::Tally tally;
    if (job::forEachOpenDrawing(host, *ds, LogChannel::Bom,
                                job::drawingList(config.currentDrawing, files), readDrawing,
                                tally) &&
        !config.nestFolder.empty()) {
        try {
            readNestUse(config.nestFolder, run.data.sheets);
        } catch (...) {
            // Out of memory: what was read so far is still written.
            log(contract::kLogError, "处理图纸时内存不足");
            ++tally.fail;
        }
    }

    std::string message;
    bool written = writeWorkbook(workbookPath, run.data, message);
    if (written)
        log("XLSX " + workbookPath);
    else
        log(contract::kLogError, message);
    if (config.csv) {
        const std::string csvPath = joinPath(config.outDir, stem + ".csv");
        std::string error;
        if (writeFileAtomically(csvPath, bomCsv(run.data.rows, run.data.titles), &error))
            log("CSV " + csvPath);
        else
            log(contract::kLogError, "写入 CSV 失败 " + csvPath + " " + error);
    }
    if (config.package) {
        if (written) addFileToPackage(run.package, workbookPath);
        if (closePackage(run.package, *ds, config.zip, message))
            log("PACKAGE " + run.package.folder);
        else
            log(contract::kLogError, message);
    }
    std::string rowsError;
    if (!writeFileAtomically(tempFilePath(contract::kBomRowsFile),
                             contract::formatBomRows(run.data.rows), &rowsError))
        log(contract::kLogWarning, "无法写入明细数据 " + rowsError);
    job::logDone(LogChannel::Bom, tally,
                 " rows=" + std::to_string(run.data.rows.size()) +
                     " xlsx=" + (written ? workbookPath : std::string()));
}

}  // namespace qks::bom
