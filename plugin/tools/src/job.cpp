// The drawing-tools job driver: each drawing read, its operations run in the config's order,
// the result saved as a new drawing; the tables to a workbook and to the Studio's file.
#include <xlsxwriter.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>

#include "qks/common/atomic_file.h"
#include "qks/common/environment.h"
#include "qks/common/file_io.h"
#include "qks/common/job_log.h"
#include "qks/common/utf8.h"
#include "qks/contract/log_words.h"
#include "qks/contract/names.h"
#include "qks/contract/text_format.h"
#include "qks/drawing/extraction.h"
#include "qks/drawing/naming.h"
#include "qks/job/driver.h"
#include "qks/job/job_config.h"
#include "qks/job/read_rules.h"
#include "qks/tools/operations.h"
#include "qks/tools/tools.h"

namespace qks::tools {
namespace {

namespace fs = std::filesystem;

constexpr job::ChannelLog log{LogChannel::Tools};

std::string n(int value) {
    return std::to_string(value);
}

// The tables the job fills over all drawings: areas, frame texts, and one per block name.
struct Tables {
    contract::ResultTable areas{"面积周长",
                                {"文件", "序号", "零件", "面积 (mm²)", "周长 (mm)",
                                 "外轮廓周长 (mm)", "孔数", "重心 X", "重心 Y"},
                                {}};
    contract::ResultTable frames{"图框文字", {"文件", "图框", "名称", "文字"}, {}};
    std::map<std::string, contract::ResultTable> blocks;
    std::map<std::string, std::vector<std::string>> blockTags;  // column order per block
    bool anyAreas = false, anyAttributes = false;

    std::vector<contract::ResultTable> all() const {
        std::vector<contract::ResultTable> out;
        if (anyAreas) out.push_back(areas);
        if (anyAttributes) {
            out.push_back(frames);
            for (const auto& [name, table] : blocks)
                out.push_back(table);
        }
        return out;
    }
};

void addAttributeRows(Tables& tables, const std::string& file,
                      const std::vector<AttributeRow>& rows) {
    for (const AttributeRow& row : rows) {
        auto& tags = tables.blockTags[row.block];
        contract::ResultTable& table = tables.blocks[row.block];
        table.name = row.block;
        for (const auto& [tag, value] : row.values)
            if (std::find(tags.begin(), tags.end(), tag) == tags.end()) tags.push_back(tag);
        table.headers = {"文件", "块", "X", "Y"};
        table.headers.insert(table.headers.end(), tags.begin(), tags.end());
        std::vector<std::string> cells = {file, row.block, contract::fixed(row.x, 3),
                                          contract::fixed(row.y, 3)};
        for (const std::string& tag : tags) {
            std::string value;
            for (const auto& [t, v] : row.values)
                if (t == tag) value = v;
            cells.push_back(value);
        }
        table.rows.push_back(std::move(cells));
    }
}

// A sheet name the format accepts: no []:*?/\, at most 31 characters, unique in the book.
std::string sheetName(const std::string& wanted, std::set<std::string>& taken) {
    std::string name;
    for (const char c : wanted)
        name.push_back(std::string("[]:*?/\\").find(c) == std::string::npos ? c : '_');
    name = cutCodePoints(name, 28);
    if (name.empty()) name = "Sheet";
    std::string unique = name;
    for (int k = 2; !taken.insert(toLowerUtf8(unique)).second; ++k)
        unique = name + "_" + std::to_string(k);
    return unique;
}

bool wholeNumber(const std::string& text, double& value) {
    if (text.empty() || text.size() > 40) return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size() && errno == 0 && std::isfinite(value);
}

bool writeTablesWorkbook(const std::string& path, const std::vector<contract::ResultTable>& tables,
                         std::string& message) {
    const std::string temporary = path + ".tmp";
    std::error_code ignored;
    fs::remove(fs::u8path(temporary), ignored);
    lxw_workbook* book = workbook_new(temporary.c_str());
    if (book == nullptr) {
        message = "无法创建工作簿 " + path;
        return false;
    }
    lxw_format* header = workbook_add_format(book);
    format_set_bold(header);
    format_set_bg_color(header, 0xDCE6F1);
    lxw_format* number = workbook_add_format(book);
    format_set_num_format(number, "0.00");
    std::set<std::string> taken;
    for (const contract::ResultTable& table : tables) {
        lxw_worksheet* sheet = workbook_add_worksheet(book, sheetName(table.name, taken).c_str());
        for (std::size_t c = 0; c < table.headers.size(); ++c) {
            worksheet_write_string(sheet, 0, static_cast<lxw_col_t>(c), table.headers[c].c_str(),
                                   header);
            worksheet_set_column(sheet, static_cast<lxw_col_t>(c), static_cast<lxw_col_t>(c),
                                 c == 0 ? 36 : 14, nullptr);
        }
        worksheet_freeze_panes(sheet, 1, 0);
        for (std::size_t r = 0; r < table.rows.size(); ++r)
            for (std::size_t c = 0; c < table.rows[r].size(); ++c) {
                const auto row = static_cast<lxw_row_t>(r + 1);
                const auto col = static_cast<lxw_col_t>(c);
                double value = 0;
                // The file and text columns stay text even when they look like numbers.
                if (c > 0 && wholeNumber(table.rows[r][c], value))
                    worksheet_write_number(sheet, row, col, value, number);
                else
                    worksheet_write_string(sheet, row, col, table.rows[r][c].c_str(), nullptr);
            }
    }
    const lxw_error error = workbook_close(book);
    if (error == LXW_NO_ERROR) fs::rename(fs::u8path(temporary), fs::u8path(path), ignored);
    if (error != LXW_NO_ERROR || ignored) {
        fs::remove(fs::u8path(temporary), ignored);
        message = "写入工作簿失败 " + path;
        return false;
    }
    return true;
}

struct Drawing {
    host::DrawingEdits& ds;
    host::DatabaseId database;
    std::string source;  // the file, or the current drawing's name
    std::string label;
};

// Runs the operations on one drawing; the parts are measured again after operations that
// change geometry.
void processDrawing(const ToolsConfig& config, const Drawing& drawing, Tables& tables) {
    host::DrawingEdits& ds = drawing.ds;
    const host::ObjectId space = ds.modelSpace(drawing.database);
    const double scale = drawing::millimetresPerUnit(ds.drawingUnits(drawing.database));
    const double textHeight = config.textHeight / scale;
    std::vector<PartMeasure> parts;
    bool measured = false;
    const auto currentParts = [&]() -> const std::vector<PartMeasure>& {
        if (!measured)
            parts = measureParts(ds, drawing.database, drawing.source, config.joinTolerance,
                                 LogChannel::Tools);
        measured = true;
        return parts;
    };
    host::ObjectId style;
    const auto dimensionStyle = [&] {
        if (!style) style = ensureDimensionStyle(ds, drawing.database, textHeight);
        return style;
    };
    const auto reportAnnotation = [&](const char* word, const AnnotationCounts& counts) {
        log(std::string(word) + " " + drawing.label + " 添加 " + n(counts.dimensions) +
            (counts.skipped ? "，斜折弯线未标 " + n(counts.skipped) : std::string()));
        if (counts.failed)
            log(contract::kLogWarning, drawing.label + " 有 " + n(counts.failed) + " 处未能添加");
    };
    for (const Operation operation : config.operations) {
        switch (operation) {
            case Operation::Clean: {
                CleanOptions options;
                options.tolerance = 1e-3 / scale;
                options.joinTolerance = config.joinTolerance / scale;
                options.shortLength = config.shortLength / scale;
                options.explode = config.explode;
                const CleanCounts c = cleanDrawing(ds, space, options);
                log("CLEAN " + drawing.label + " 炸开 " + n(c.exploded) + "，零长 " +
                    n(c.zeroLength) + "，短线 " + n(c.shortLines) + "，重复 " + n(c.duplicates) +
                    "，重叠合并 " + n(c.overlapsMerged) + "，连接 " + n(c.chainPieces) + " 段为 " +
                    n(c.chains) + " 条多段线");
                if (c.notExploded)
                    log(contract::kLogWarning,
                        drawing.label + " 有 " + n(c.notExploded) + " 个块参照未能炸开");
                measured = false;
                break;
            }
            case Operation::Layers: {
                const LayerCounts c = applyLayerRules(ds, drawing.database, space, config.rules);
                log("LAYERS " + drawing.label + " 调整对象 " + n(c.changed) + "，新建图层 " +
                    n(c.layersCreated));
                break;
            }
            case Operation::Area: {
                const auto& measuredParts = currentParts();
                int index = 0;
                for (const PartMeasure& part : measuredParts)
                    tables.areas.rows.push_back(
                        {drawing.source, n(++index), part.name, contract::fixed(part.area, 3),
                         contract::fixed(part.perimeter, 3),
                         contract::fixed(part.outlinePerimeter, 3), n(part.holes),
                         contract::fixed(part.centreX, 3), contract::fixed(part.centreY, 3)});
                tables.anyAreas = true;
                int labels = 0;
                if (config.areaLabels)
                    labels = labelAreas(ds, drawing.database, space, measuredParts, textHeight);
                log("AREA " + drawing.label + " 零件 " + n(static_cast<int>(measuredParts.size())) +
                    (config.areaLabels ? "，标注 " + n(labels) : std::string()));
                break;
            }
            case Operation::Attributes: {
                const std::vector<AttributeRow> rows = collectAttributes(ds, space);
                addAttributeRows(tables, drawing.source, rows);
                const std::vector<FrameText> frames = collectFrameTexts(ds, drawing.database);
                for (const FrameText& frame : frames) {
                    std::string texts;
                    for (const std::string& text : frame.texts)
                        texts += (texts.empty() ? "" : " | ") + text;
                    tables.frames.rows.push_back(
                        {drawing.source, n(frame.frame), frame.name, texts});
                }
                tables.anyAttributes = true;
                log("ATTRS " + drawing.label + " 块参照 " + n(static_cast<int>(rows.size())) +
                    "，图框 " + n(static_cast<int>(frames.size())));
                break;
            }
            case Operation::Dimensions:
                reportAnnotation("DIMS", dimensionExtents(ds, space, dimensionStyle(),
                                                          currentParts(), textHeight));
                break;
            case Operation::Holes:
                reportAnnotation(
                    "HOLES", dimensionHolesAndBends(ds, drawing.database, space, dimensionStyle(),
                                                    currentParts(), textHeight));
                break;
            case Operation::Balloons:
                reportAnnotation("BALLOONS", numberParts(ds, drawing.database, space,
                                                         currentParts(), textHeight));
                break;
            case Operation::Corners: {
                const CornerCounts c =
                    roundCorners(ds, space, config.radius / scale, config.chamfer / scale);
                if (!(config.radius > 0) && !(config.chamfer > 0))
                    log(contract::kLogWarning, "未设置圆角半径或倒角距离");
                log("CORNERS " + drawing.label + " 处理角 " + n(c.rounded) + "，未处理 " +
                    n(c.leftAlone));
                measured = false;
                break;
            }
        }
    }
}

}  // namespace

void runToolsJob(host::Host& host, const std::string& configPathFromBridge) {
    const std::optional<ToolsConfig> started =
        job::startJob(JobKind::Tools, LogChannel::Tools, configPathFromBridge,
                      contract::readToolsConfig, contract::kToolsLogFile);
    if (!started) return;
    const ToolsConfig& config = *started;
    const std::vector<std::string> files = expandDrawingFiles(config.files);
    log("QKS 标注清理 开始 files=" + n(static_cast<int>(files.size())) +
        " ops=" + n(static_cast<int>(config.operations.size())));
    for (const std::string& problem : config.problems)
        log(contract::kLogWarning, "配置项无效，已忽略 " + problem);
    if (config.operations.empty()) {
        log(contract::kLogFatal, "未选择操作");
        return;
    }
    if (config.outDir.empty() && !files.empty()) {
        log(contract::kLogFatal, "未设置输出目录");
        return;
    }
    host::DrawingServices* ds = host.drawingServices();
    if (ds == nullptr) {
        log(contract::kLogFatal, "无法读取图纸");
        return;
    }
    std::error_code folderError;
    if (!config.outDir.empty()) fs::create_directories(fs::u8path(config.outDir), folderError);
    Tables tables;
    drawing::NameCounts names;
    const auto tidy = [&](const job::OpenDrawing& drawing, job::Tally&) {
        const std::string& path = drawing.path;
        if (drawing.current) {
            const std::string label = path.empty() ? "当前图纸" : drawing::fileStemLabel(path);
            processDrawing(config, {*ds, drawing.database, path.empty() ? label : path, label},
                           tables);
            log(contract::kLogOk, label + " 已在当前图纸中修改，请保存");
            return job::Outcome::Ok;
        }
        const std::string label = drawing::uniqueOutputName(drawing::fileStemLabel(path), names);
        processDrawing(config, {*ds, drawing.database, path, label}, tables);
        const std::string target = joinPath(config.outDir, label + "_整理.dxf");
        std::string written, message;
        if (!host::succeeded(ds->saveDatabase(drawing.database, target, &written, &message))) {
            log(contract::kLogError, "保存失败 " + target + " " + message);
            return job::Outcome::Failed;
        }
        log(contract::kLogOk, written);
        return job::Outcome::Ok;
    };
    job::Tally tally;
    job::forEachOpenDrawing(host, *ds, LogChannel::Tools,
                            job::drawingList(config.currentDrawing, files), tidy, tally);
    const std::vector<contract::ResultTable> all = tables.all();
    if (!all.empty() && !config.outDir.empty()) {
        const std::string path = joinPath(config.outDir, config.workbook);
        std::string message;
        if (writeTablesWorkbook(path, all, message))
            log("XLSX " + path);
        else
            log(contract::kLogError, message);
    }
    std::string error;
    if (!writeFileAtomically(tempFilePath(contract::kToolsTablesFile), contract::formatTables(all),
                             &error))
        log(contract::kLogWarning, "无法写入结果表 " + error);
    job::logDone(LogChannel::Tools, tally);
}

}  // namespace qks::tools
