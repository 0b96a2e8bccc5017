#include "qks/nest/progress.h"

#include "qks/common/atomic_file.h"
#include "qks/common/numbers.h"
#include "qks/contract/progress_format.h"
#include "qks/job/job_files.h"
#include "qks/nest/session.h"
#include "qks/nest/stock.h"

namespace qks::nest {

std::string formatProgress(const NestConfig& config, const Layout& layout, std::string_view state,
                           double elapsed, int unplaced) {
    contract::ProgressRecords records;
    records.frame =
        contract::GridFrame{config.margin, config.cell, padLength(config.gap, config.cell)};
    records.sheets.reserve(layout.size());
    for (const SheetLayout& sheet : layout) {
        contract::SheetRecord& out = records.sheets.emplace_back();
        out.width = sheet.width;
        out.height = sheet.height;
        out.placements.reserve(sheet.placements.size());
        for (const Placement& p : sheet.placements)
            out.placements.push_back({p.partId, p.angle, p.mirrored, p.column, p.row});
        if (sheet.mask && sheet.stockIndex >= 0 &&
            static_cast<std::size_t>(sheet.stockIndex) < config.sheets.size()) {
            const auto& shape = config.sheets[static_cast<std::size_t>(sheet.stockIndex)].shape;
            if (shape) {
                out.stock.push_back(shape->outline);
                out.stock.insert(out.stock.end(), shape->defects.begin(), shape->defects.end());
            }
        }
    }
    records.utilisationPercent = utilisation(layout) * 100.0;
    records.unplaced = unplaced;
    records.elapsed = elapsed;
    records.state = std::string(state);
    return contract::formatProgress(records);
}

bool writeProgressFile(const NestSession& session, const Layout& layout, std::string_view state,
                       double elapsed, int unplaced) {
    if (session.progressFilePath.empty()) return false;
    return writeFileAtomically(session.progressFilePath,
                               formatProgress(session.config, layout, state, elapsed, unplaced));
}

ProgressFile parseProgressText(std::string_view text) {
    // Lines are taken as they are; numbers as atoi and atof read them.
    const contract::ProgressRecords records = job::parseProgressText(text);
    ProgressFile file;
    if (records.frame) {
        file.margin = records.frame->margin;
        file.cell = records.frame->cell;
        file.padLength = records.frame->pad;
    }
    file.cfgLines = records.frameRecords;
    for (const contract::SheetRecord& sheet : records.sheets) {
        ProgressSheet& out = file.sheets.emplace_back();
        out.width = sheet.width;
        out.height = sheet.height;
        for (const contract::PlaceRecord& p : sheet.placements)
            out.placements.push_back({p.partId, -1, p.angle, p.mirrored, p.column, p.row});
    }
    file.utilisationPercent = records.utilisationPercent.value_or(0.0);
    file.unplaced = records.unplaced.value_or(0);
    file.elapsed = records.elapsed.value_or(0.0);
    file.state = records.state.value_or(std::string());
    return file;
}

}  // namespace qks::nest
