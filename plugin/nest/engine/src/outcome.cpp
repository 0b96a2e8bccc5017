#include "qks/nest/outcome.h"

namespace qks::nest {

void settleTotals(NestOutcome& outcome) {
    outcome.usedArea = 0.0;
    outcome.sheetArea = 0.0;
    for (const SheetLayout& sheet : outcome.layout) {
        outcome.usedArea += sheet.usedArea;
        outcome.sheetArea += sheetArea(sheet);
    }
    outcome.utilisation = outcome.sheetArea > 0.0 ? outcome.usedArea / outcome.sheetArea : 0.0;
}

}  // namespace qks::nest
