#include "qks/nest/stock_file.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <system_error>

#include "extraction_options.h"
#include "qks/common/job_log.h"
#include "qks/contract/log_words.h"
#include "qks/nest/stock.h"

namespace qks::nest {

std::size_t addStockPieces(host::DrawingAccess* ds, NestConfig& config,
                           const std::vector<NestPart>& parts) {
    if (config.stockFile.empty()) return 0;
    const std::string& path = config.stockFile;
    auto warn = [&](const std::string& what) {
        appendJobLog(LogChannel::Nest,
                     contract::logEntry(contract::kLogWarning, what + " " + path + "，改用板材"));
    };
    std::error_code error;
    if (!std::filesystem::exists(std::filesystem::u8path(path), error) || error) {
        warn("余料图纸不存在");
        return 0;
    }
    host::ScopedDatabase database(ds, ds ? ds->createDatabase(false) : host::DatabaseId{});
    std::string message;
    const host::Status read =
        database ? ds->readDrawingFile(database.get(), path, &message) : host::Status::Failed;
    if (!host::succeeded(read)) {
        warn("余料图纸读取失败");
        return 0;
    }
    // Every closed outline of the drawing is stock, whatever its layer; the part layers of the
    // job do not apply.
    drawing::ExtractionOptions options = extractionOptions(config);
    options.layers.clear();
    std::vector<NestPart> outlines;
    std::int32_t nextId = 1;
    drawing::extractModelSpace(*ds, database.get(), path, "余料", options, outlines, nextId);
    std::vector<SheetStock> pieces;
    for (const NestPart& outline : outlines) {
        // Far too small for any part, or not measurable: not stock.
        if (!(outline.width >= 10.0 && outline.height >= 10.0 && std::isfinite(outline.area)))
            continue;
        for (std::int32_t n = 0; n < std::max(1, outline.quantity); ++n)
            pieces.push_back(stockPiece(outline.outline, outline.holes, config.gap));
    }
    if (pieces.empty()) {
        warn("余料图纸没有闭合轮廓");
        return 0;
    }
    config.sheets.insert(config.sheets.begin(), pieces.begin(), pieces.end());
    if (!stockPiecesTakeAnyPart(config, parts)) {
        config.sheets.erase(config.sheets.begin(),
                            config.sheets.begin() + static_cast<std::ptrdiff_t>(pieces.size()));
        appendJobLog(LogChannel::Nest, contract::logEntry(contract::kLogWarning,
                                                          "余料图纸中没有可放零件的余料 " + path));
        return 0;
    }
    appendJobLog(LogChannel::Nest, "NEST 余料=" + std::to_string(pieces.size()));
    return pieces.size();
}

}  // namespace qks::nest
