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

struct WorkbookData {
    std::vector<contract::BomRow> rows;
    std::vector<BlankRow> blanks;
    std::vector<SheetUse> sheets;
    std::vector<ContentsEntry> contents;
};

// Writes the workbook whole to "<path>.tmp" and renames it over `path`: a failure leaves no
// file behind and an older workbook as it was. `message` says why it failed.
bool writeWorkbook(const std::string& path, const WorkbookData& data, std::string& message);

// The sheet "明细" as CSV: UTF-8 with a byte-order mark (so spreadsheet programs read it as
// UTF-8), CR LF, fields quoted where needed.
std::string bomCsv(const std::vector<contract::BomRow>& rows);

}  // namespace qks::bom
