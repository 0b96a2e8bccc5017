#include "qks/studio/progressfile.h"

#include "contract_text.h"
#include "qks/contract/progress_format.h"

namespace qks::studio {

ProgressSnapshot parseProgressFile(const QByteArray& bytes) {
    // A CFG without its pad is taken with a pad of 0.
    const contract::ProgressRecords records =
        contract::readProgress(detail::fileText(bytes), {detail::studioReadRules(), false});
    ProgressSnapshot out;
    if (records.frame) out.frame = *records.frame;
    out.sheets.reserve(static_cast<int>(records.sheets.size()));
    for (const contract::SheetRecord& record : records.sheets) {
        SheetPlacements sheet;
        sheet.width = record.width;
        sheet.height = record.height;
        sheet.placements.reserve(static_cast<int>(record.placements.size()));
        for (const Placement& p : record.placements)
            sheet.placements.append(p);
        sheet.stock = record.stock;
        out.sheets.append(sheet);
    }
    out.utilisation = records.utilisationPercent;
    out.unplaced = records.unplaced;
    out.elapsed = records.elapsed;
    if (records.state) out.state = detail::fieldText(*records.state);
    return out;
}

}  // namespace qks::studio
