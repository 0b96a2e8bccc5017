// Building the merged drawing: inputs to blocks, blocks to a labelled grid, then the save.
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "qks/common/environment.h"
#include "qks/common/file_io.h"
#include "qks/common/job_log.h"
#include "qks/common/utf8.h"
#include "qks/contract/log_words.h"
#include "qks/drawing/drawing_text.h"
#include "qks/drawing/naming.h"
#include "qks/job/driver.h"
#include "qks/merge/merge.h"

namespace qks::merge {
namespace {

constexpr std::size_t kMaxLayerBase = 250;  // code points, before a "_n" suffix

void logError(const std::string& rest) {
    job::log(LogChannel::Plot, contract::kLogError, rest);
}

// Union of the extents of the entities of a block record that have extents.
host::Extents3d blockExtents(host::DrawingAccess& ds, host::ObjectId blockRecord) {
    host::Extents3d all;
    for (const host::ObjectId entity : ds.blockEntities(blockRecord)) {
        host::Extents3d box;
        if (host::succeeded(ds.geometricExtents(entity, box))) all.add(box);
    }
    return all;
}

// Braces group formatting in a multiline text; a file name holding them must still show
// them as typed.
std::string mtextLiteral(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        if (c == '{' || c == '}') out.push_back('\\');
        out.push_back(c);
    }
    return out;
}

host::ObjectId labelStyle(host::DrawingEdits& ds, host::DatabaseId database) {
    return drawing::ensureChineseTextStyle(ds, database, kLabelStyleName);
}

void createFolders(const std::string& folder) {
    if (folder.empty()) return;
    std::error_code ignored;  // a failure shows up in the save or the plot that follows
    std::filesystem::create_directories(folder, ignored);
}

}  // namespace

GridLayout layoutGrid(const std::vector<MergeItem>& items, std::int32_t columns, double spacing) {
    GridLayout grid;
    double widest = 0.0, tallest = 0.0;
    for (const MergeItem& item : items) {
        widest = std::max(widest, item.maxX - item.minX);
        tallest = std::max(tallest, item.maxY - item.minY);
    }
    grid.gap = std::max(10.0, widest * spacing);
    grid.textHeight = std::max(3.0, std::min(20.0, 0.03 * tallest));
    const double h = grid.textHeight;
    const std::int32_t perRow = std::max<std::int32_t>(1, columns);

    double top = 0.0, x = 0.0, rowHeight = 0.0, rowLabel = 0.0;
    std::int32_t c = 0;
    for (const MergeItem& item : items) {
        if (c == 0) x = 0.0;
        const double w = item.maxX - item.minX;
        const double ht = item.maxY - item.minY;
        GridPlacement place;
        place.blockPosition = {x - item.minX, top - ht - item.minY, 0.0};
        place.labelWidth = std::max(w, 1.0);
        const double characters = static_cast<double>(codePointCount(item.label));
        place.labelLines =
            std::max(1, static_cast<int>(std::ceil(characters * h / place.labelWidth)));
        place.labelPosition = {x, top - ht - 1.8 * h, 0.0};
        grid.placements.push_back(place);

        rowHeight = std::max(rowHeight, ht);
        rowLabel = std::max(rowLabel, (place.labelLines * 1.6 + 1.8) * h);
        if (++c >= perRow) {
            c = 0;
            top -= rowHeight + grid.gap + rowLabel;
            rowHeight = rowLabel = 0.0;
        }
        x += w + grid.gap;
    }
    return grid;
}

void prefixLayerNames(host::DrawingEdits& ds, host::DatabaseId source, const std::string& prefix,
                      std::set<std::string>& usedLowerCase) {
    for (const host::ObjectId layer : ds.layers(source)) {
        const std::string name = ds.symbolName(layer);
        if (name == "0" || toLowerUtf8(name) == "defpoints") continue;
        std::string base = prefix + "_" + name;
        if (codePointCount(base) > kMaxLayerBase) base = cutCodePoints(base, kMaxLayerBase);
        std::string candidate = base;
        for (int n = 2; usedLowerCase.count(toLowerUtf8(candidate)) != 0; ++n)
            candidate = base + "_" + std::to_string(n);
        usedLowerCase.insert(toLowerUtf8(candidate));
        // A name the host refuses leaves the layer as it was; the insertion then shares it
        // with a layer of that name in the merged drawing.
        ds.renameSymbol(layer, candidate);
    }
}

void levelBlockTexts(host::DrawingEdits& ds, host::ObjectId block) {
    for (const host::ObjectId entity : ds.blockEntities(block)) {
        host::EntityInfo info;
        if (!host::succeeded(ds.entityInfo(entity, info))) continue;
        if (info.type == host::EntityType::Text || info.type == host::EntityType::MText ||
            info.type == host::EntityType::AttributeDefinition)
            ds.setTextRotation(entity, 0.0);
    }
}

bool mergeDrawings(host::DrawingServices& ds, const contract::MergeJobConfig& config,
                   std::string& message, int& count, std::string* writtenPath) {
    count = 0;
    if (config.files.empty()) {
        message = "没有待合并的文件";
        return false;
    }
    host::ScopedDatabase merged(&ds, ds.createDatabase(true));
    std::set<std::string> usedBlocks, usedLayers;
    std::map<std::string, int> labelCounts;
    std::vector<MergeItem> items;

    // The index names each input's block and layers, missing inputs included.
    std::size_t i = 0;
    const auto addInput = [&](const job::Drawing& input, job::Tally&) {
        const std::string& path = input.path;
        const std::size_t index = i++;
        if (!fileExists(path)) {
            logError("文件不存在 " + path);
            return job::Outcome::Failed;
        }
        host::ScopedDatabase source(&ds, ds.createDatabase(false));
        std::string readMessage;
        const host::Status read =
            source ? ds.readDrawingFile(source.get(), path, &readMessage) : host::Status::Failed;
        if (!host::succeeded(read)) {
            logError("读取失败 " + path + (read == host::Status::Encrypted ? " 图纸已加密" : ""));
            return job::Outcome::Failed;
        }
        const host::Extents3d sourceExtents = blockExtents(ds, ds.modelSpace(source.get()));
        if (sourceExtents.isEmpty()) {
            logError("图形为空 " + path);
            return job::Outcome::Failed;
        }

        const std::string stem = drawing::fileStemLabel(path);
        const std::string itemPrefix = stem + "_" + std::to_string(index);
        std::string blockName = "QKS_" + itemPrefix;
        // Blocks carried in by earlier inputs (a merged drawing merged again) take names too.
        while (usedBlocks.count(toLowerUtf8(blockName)) != 0 ||
               ds.findBlock(merged.get(), blockName))
            blockName += "_x";
        usedBlocks.insert(toLowerUtf8(blockName));
        prefixLayerNames(ds, source.get(), itemPrefix, usedLayers);

        host::ObjectId block;
        int notCarried = 0;
        if (!host::succeeded(ds.insertDatabaseAsBlock(merged.get(), blockName, source.get(), &block,
                                                      &notCarried)) ||
            !block) {
            logError("插入失败 " + path);
            return job::Outcome::Failed;
        }
        source.reset();
        levelBlockTexts(ds, block);

        host::Extents3d extents = blockExtents(ds, block);
        if (extents.isEmpty()) extents = sourceExtents;

        std::string label = stem;
        const int seen = ++labelCounts[stem];
        if (seen > 1) label += " (" + std::to_string(seen) + ")";
        items.push_back({block, extents.min.x, extents.min.y, extents.max.x, extents.max.y, label});
        return job::Outcome::Ok;
    };
    job::Tally inputs;
    if (!job::forEachDrawing(LogChannel::Plot, job::drawingList(false, config.files), addInput,
                             inputs)) {
        message = "保存合并图纸失败";
        return false;
    }

    if (items.empty()) {
        message = "没有可合并的有效图形";
        return false;
    }

    const host::ObjectId modelSpace = ds.modelSpace(merged.get());
    if (!modelSpace) {
        message = "无法打开合并目标模型空间";
        return false;
    }
    const host::ObjectId style = labelStyle(ds, merged.get());
    const GridLayout grid = layoutGrid(items, config.columns, config.spacing);
    for (std::size_t k = 0; k < items.size(); ++k) {
        const MergeItem& item = items[k];
        const GridPlacement& place = grid.placements[k];
        host::BlockReferenceSpec reference;
        reference.blockRecord = item.block;
        // A drawing saved with an insertion base point away from the origin keeps it as the
        // block's base point: shift by it so the block still lands on its grid box.
        host::Point3d base;
        if (!host::succeeded(ds.blockBasePoint(item.block, base))) base = {};
        reference.position = {place.blockPosition.x + base.x, place.blockPosition.y + base.y,
                              place.blockPosition.z + base.z};
        ds.addBlockReference(modelSpace, reference, nullptr);

        host::MTextSpec text;
        text.position = place.labelPosition;
        text.contents = mtextLiteral(item.label);
        text.height = grid.textHeight;
        text.width = place.labelWidth;
        text.attachment = host::MTextAttachment::TopLeft;
        text.textStyle = style;
        ds.addMText(modelSpace, text, nullptr);
        appendJobLog(LogChannel::Plot, "MERGE " + item.label);
    }

    createFolders(folderOfPath(config.outDwg));
    std::string written, saveMessage;
    if (!host::succeeded(ds.saveDatabase(merged.get(), config.outDwg, &written, &saveMessage))) {
        message = "保存合并图纸失败";
        return false;
    }
    if (writtenPath) *writtenPath = written.empty() ? config.outDwg : written;
    count = static_cast<int>(items.size());
    return true;
}

}  // namespace qks::merge
