// The BOM workbook (libxlsxwriter) and its CSV twin. Everything the sheets show is computed
// before writing; the writer only lays it out.
#pragma once

#include <string>
#include <vector>

#include "qks/bom/sheet_metal.h"
#include "qks/contract/bom.h"

namespace qks::bom {

// One bent part's flat blank for the sheet "展开".
struct BlankRow {
    std::string drawingNumber;
    std::string source;
    std::string material;
    double thickness = 0.0;
    double kFactor = 0.0;
    double width = 0.0;
    FlatBlank blank;
    std::string drawing;  // the flat-blank drawing written, file name only
};

// One stock sheet of a finished nest for the sheet "排版".
struct SheetUse {
    int index = 0;  // 1-based
    double width = 0.0;
    double height = 0.0;
    int parts = 0;
    double partArea = 0.0;  // mm²
    double utilisation() const {
        return width > 0 && height > 0 ? partArea / (width * height) : 0.0;
    }
};

// One delivered drawing for the package's contents sheet "目录".
struct ContentsEntry {
    std::string drawingNumber;
    std::string name;
    std::string drawing;  // file names inside the package folder
    std::vector<std::string> pdfs;
};

// What a row's title block says beyond the part list's own fields: the sheet "明细" has a
// column 比例 and a column 重量 only when some row's title block gives one, so part lists of
// drawings without them come out as before.
struct TitleColumns {
    std::string scale;   // as written; empty when the title block has none
    std::string weight;  // as written (a bare number is written as a number); empty when none
    // A stated weight that differs too much from the computed one: its cell is marked, with a
    // note giving both (kg).
    bool weightDiffers = false;
    double statedWeight = 0.0;
    double computedWeight = 0.0;
};

struct WorkbookData {
    std::vector<contract::BomRow> rows;
    std::vector<TitleColumns> titles;  // one per row of `rows`, in order (missing: none)
    std::vector<BlankRow> blanks;
    std::vector<SheetUse> sheets;
    std::vector<ContentsEntry> contents;
};

// Writes the workbook whole to "<path>.tmp" and renames it over `path`: a failure leaves no
// file behind and an older workbook as it was. `message` says why it failed.
bool writeWorkbook(const std::string& path, const WorkbookData& data, std::string& message);

// The sheet "明细" as CSV: UTF-8 with a byte-order mark (so spreadsheet programs read it as
// UTF-8), CR LF, fields quoted where needed.
// Its columns 比例 and 重量 follow the sheet's rule.
std::string bomCsv(const std::vector<contract::BomRow>& rows,
                   const std::vector<TitleColumns>& titles);

}  // namespace qks::bom
