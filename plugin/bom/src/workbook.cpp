#include "qks/bom/workbook.h"

#include <xlsxwriter.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <memory>
#include <tuple>

#include "qks/contract/text_format.h"

namespace qks::bom {
namespace {

using contract::BomRow;

struct Formats {
    lxw_format* header = nullptr;
    lxw_format* text = nullptr;
    lxw_format* integer = nullptr;
    lxw_format* length = nullptr;     // 0.00
    lxw_format* area = nullptr;       // 0.0
    lxw_format* weight = nullptr;     // 0.000
    lxw_format* percent = nullptr;    // 0.0%
    lxw_format* defaulted = nullptr;  // a value the drawing did not give
    lxw_format* defaultedNumber = nullptr;
    lxw_format* total = nullptr;
    lxw_format* totalNumber = nullptr;
};

Formats makeFormats(lxw_workbook* book) {
    Formats f;
    const auto make = [book](const char* numberFormat, bool bold, lxw_color_t fill) {
        lxw_format* format = workbook_add_format(book);
        if (numberFormat) format_set_num_format(format, numberFormat);
        if (bold) format_set_bold(format);
        if (fill) format_set_bg_color(format, fill);
        return format;
    };
    f.header = make(nullptr, true, 0xDCE6F1);
    format_set_text_wrap(f.header);
    format_set_border(f.header, LXW_BORDER_THIN);
    f.text = make(nullptr, false, 0);
    f.integer = make("0", false, 0);
    f.length = make("0.00", false, 0);
    f.area = make("0.0", false, 0);
    f.weight = make("0.000", false, 0);
    f.percent = make("0.0%", false, 0);
    f.defaulted = make(nullptr, false, 0xFFE4B5);
    format_set_italic(f.defaulted);
    f.defaultedNumber = make("0.00", false, 0xFFE4B5);
    format_set_italic(f.defaultedNumber);
    f.total = make(nullptr, true, 0xF2F2F2);
    f.totalNumber = make("0.00", true, 0xF2F2F2);
    return f;
}

struct Column {
    const char* header;
    double width;
};

// "A1"-style name of a column (0-based).
std::string columnName(int column) {
    std::string name;
    for (++column; column > 0; column = (column - 1) / 26)
        name.insert(name.begin(), static_cast<char>('A' + (column - 1) % 26));
    return name;
}

std::string range(int column, int firstRow, int lastRow) {
    return columnName(column) + std::to_string(firstRow + 1) + ":" + columnName(column) +
           std::to_string(lastRow + 1);
}

void writeHeader(lxw_worksheet* sheet, const Formats& f, const std::vector<Column>& columns) {
    for (std::size_t c = 0; c < columns.size(); ++c) {
        const auto col = static_cast<lxw_col_t>(c);
        worksheet_write_string(sheet, 0, col, columns[c].header, f.header);
        worksheet_set_column(sheet, col, col, columns[c].width, nullptr);
    }
    worksheet_set_row(sheet, 0, 30, nullptr);
    worksheet_freeze_panes(sheet, 1, 0);
}

// A totals cell: the formula, with its value cached so readers that do not calculate see it.
void writeSum(lxw_worksheet* sheet, int row, int column, const std::string& formula, double value,
              lxw_format* format) {
    worksheet_write_formula_num(sheet, static_cast<lxw_row_t>(row), static_cast<lxw_col_t>(column),
                                formula.c_str(), format, value);
}

// Numbers in consecutive columns from `column`, each with its format.
void writeNumbers(lxw_worksheet* sheet, lxw_row_t row, int column,
                  std::initializer_list<std::pair<double, lxw_format*>> cells) {
    for (const auto& [value, format] : cells)
        worksheet_write_number(sheet, row, static_cast<lxw_col_t>(column++), value, format);
}

const char* kDefaultNote = "图纸未给出，按默认值";

// The columns of the sheet "明细", in order.
enum class Detail {
    Index,
    Number,
    Name,
    Quantity,
    Material,
    Thickness,
    Scale,
    BlankLength,
    BlankWidth,
    NetArea,
    CutLength,
    Pierces,
    NetWeight,
    GrossWeight,
    StatedWeight,
    NetTotal,
    GrossTotal,
    Source,
    Count
};

const std::pair<Detail, Column> kDetailColumns[] = {
    {Detail::Index, {"序号", 6}},
    {Detail::Number, {"图号", 18}},
    {Detail::Name, {"名称", 18}},
    {Detail::Quantity, {"数量 (件)", 9}},
    {Detail::Material, {"材料", 10}},
    {Detail::Thickness, {"厚度 (mm)", 9}},
    {Detail::Scale, {"比例", 8}},
    {Detail::BlankLength, {"下料长 (mm)", 11}},
    {Detail::BlankWidth, {"下料宽 (mm)", 11}},
    {Detail::NetArea, {"净面积 (mm²)", 13}},
    {Detail::CutLength, {"切割长度 (mm)", 13}},
    {Detail::Pierces, {"穿孔数", 8}},
    {Detail::NetWeight, {"单件净重 (kg)", 12}},
    {Detail::GrossWeight, {"单件毛重 (kg)", 12}},
    {Detail::StatedWeight, {"重量", 10}},
    {Detail::NetTotal, {"净重小计 (kg)", 12}},
    {Detail::GrossTotal, {"毛重小计 (kg)", 12}},
    {Detail::Source, {"来源文件", 40}},
};

// The title-block columns shown: only those some row gives, so that part lists of drawings
// without them keep their columns where they were.
struct TitleColumnsShown {
    bool scale = false;
    bool weight = false;
};

TitleColumnsShown titleColumnsShown(const std::vector<TitleColumns>& titles) {
    TitleColumnsShown shown;
    for (const TitleColumns& title : titles) {
        shown.scale = shown.scale || !title.scale.empty();
        shown.weight = shown.weight || !title.weight.empty();
    }
    return shown;
}

// Where each column of "明细" is (-1: left out) and the headers in order.
struct DetailLayout {
    int index[static_cast<int>(Detail::Count)];
    std::vector<Column> columns;

    explicit DetailLayout(const TitleColumnsShown& shown) {
        for (const auto& [id, column] : kDetailColumns) {
            const bool left = (id == Detail::Scale && !shown.scale) ||
                              (id == Detail::StatedWeight && !shown.weight);
            index[static_cast<int>(id)] = left ? -1 : static_cast<int>(columns.size());
            if (!left) columns.push_back(column);
        }
    }
    // Only for the columns shown.
    lxw_col_t operator()(Detail id) const {
        return static_cast<lxw_col_t>(index[static_cast<int>(id)]);
    }
    std::string name(Detail id) const { return columnName(index[static_cast<int>(id)]); }
};

// Digits with at most one point: a weight a spreadsheet can take as a number.
bool bareNumber(const std::string& text) {
    if (text.empty() || text.size() > 30) return false;
    int points = 0, digits = 0;
    for (const char c : text) {
        if (c == '.')
            ++points;
        else if (c >= '0' && c <= '9')
            ++digits;
        else
            return false;
    }
    return points <= 1 && digits > 0;
}

void writeTitleCells(lxw_workbook* book, lxw_worksheet* sheet, lxw_row_t at,
                     const DetailLayout& layout, const TitleColumnsShown& shown,
                     const TitleColumns& title, const Formats& f, lxw_format*& differs) {
    if (shown.scale && !title.scale.empty())
        worksheet_write_string(sheet, at, layout(Detail::Scale), title.scale.c_str(), f.text);
    if (!shown.weight || title.weight.empty()) return;
    lxw_format* format = f.text;
    if (title.weightDiffers) {
        // Made on first use: a workbook without such a row keeps its styles as they were.
        if (differs == nullptr) {
            differs = workbook_add_format(book);
            format_set_bg_color(differs, 0xFFC7CE);
            format_set_font_color(differs, 0x9C0006);
        }
        format = differs;
    }
    const lxw_col_t column = layout(Detail::StatedWeight);
    if (bareNumber(title.weight))
        worksheet_write_number(sheet, at, column, std::strtod(title.weight.c_str(), nullptr),
                               format);
    else
        worksheet_write_string(sheet, at, column, title.weight.c_str(), format);
    if (!title.weightDiffers) return;
    const double difference =
        title.computedWeight > 0 ? (title.statedWeight / title.computedWeight - 1.0) * 100.0 : 0.0;
    const std::string note = "与计算重量不符：计算重量 " +
                             contract::fixed(title.computedWeight, 3) + " kg，图纸重量 " +
                             contract::fixed(title.statedWeight, 3) + " kg，相差 " +
                             (difference > 0 ? "+" : "") + contract::fixed(difference, 1) + "%";
    lxw_comment_options box = {};  // wide enough for the note on three lines
    box.width = 220;
    box.height = 60;
    worksheet_write_comment_opt(sheet, at, column, note.c_str(), &box);
}

void writeDetailSheet(lxw_workbook* book, const Formats& f, const std::vector<BomRow>& rows,
                      const std::vector<TitleColumns>& titles) {
    lxw_worksheet* sheet = workbook_add_worksheet(book, "明细");
    const TitleColumnsShown shown = titleColumnsShown(titles);
    const DetailLayout layout(shown);
    writeHeader(sheet, f, layout.columns);
    lxw_format* differs = nullptr;
    double totalQuantity = 0, totalNet = 0, totalGross = 0;
    int r = 1;
    for (const BomRow& row : rows) {
        const auto at = static_cast<lxw_row_t>(r);
        const bool numberDefaulted = row.defaulted & contract::kDefaultedNumber;
        const bool materialDefaulted = row.defaulted & contract::kDefaultedMaterial;
        const bool thicknessDefaulted = row.defaulted & contract::kDefaultedThickness;
        const bool quantityDefaulted = row.defaulted & contract::kDefaultedQuantity;
        worksheet_write_number(sheet, at, layout(Detail::Index), r, f.integer);
        worksheet_write_string(sheet, at, layout(Detail::Number), row.drawingNumber.c_str(),
                               numberDefaulted ? f.defaulted : f.text);
        worksheet_write_string(sheet, at, layout(Detail::Name), row.name.c_str(), f.text);
        worksheet_write_number(sheet, at, layout(Detail::Quantity), row.quantity,
                               quantityDefaulted ? f.defaulted : f.integer);
        worksheet_write_string(sheet, at, layout(Detail::Material), row.material.c_str(),
                               materialDefaulted ? f.defaulted : f.text);
        worksheet_write_number(sheet, at, layout(Detail::Thickness), row.thickness,
                               thicknessDefaulted ? f.defaultedNumber : f.length);
        for (const auto& [column, defaulted] : {std::pair{Detail::Number, numberDefaulted},
                                                std::pair{Detail::Quantity, quantityDefaulted},
                                                std::pair{Detail::Material, materialDefaulted},
                                                std::pair{Detail::Thickness, thicknessDefaulted}})
            if (defaulted) worksheet_write_comment(sheet, at, layout(column), kDefaultNote);
        writeNumbers(sheet, at, layout(Detail::BlankLength),
                     {{row.blankLength, f.length},
                      {row.blankWidth, f.length},
                      {row.netArea, f.area},
                      {row.cutLength, f.length},
                      {static_cast<double>(row.pierces), f.integer},
                      {row.netWeight, f.weight},
                      {row.grossWeight, f.weight}});
        if (static_cast<std::size_t>(r - 1) < titles.size())
            writeTitleCells(book, sheet, at, layout, shown, titles[static_cast<std::size_t>(r - 1)],
                            f, differs);
        const std::string line = std::to_string(r + 1);
        const std::string quantity = layout.name(Detail::Quantity) + line;
        writeSum(sheet, r, layout(Detail::NetTotal),
                 "=" + quantity + "*" + layout.name(Detail::NetWeight) + line,
                 row.quantity * row.netWeight, f.weight);
        writeSum(sheet, r, layout(Detail::GrossTotal),
                 "=" + quantity + "*" + layout.name(Detail::GrossWeight) + line,
                 row.quantity * row.grossWeight, f.weight);
        worksheet_write_string(sheet, at, layout(Detail::Source), row.source.c_str(), f.text);
        totalQuantity += row.quantity;
        totalNet += row.quantity * row.netWeight;
        totalGross += row.quantity * row.grossWeight;
        ++r;
    }
    const int last = std::max(1, r - 1);
    worksheet_write_string(sheet, static_cast<lxw_row_t>(r), layout(Detail::Number), "合计",
                           f.total);
    for (const auto& [column, value, format] :
         {std::tuple{Detail::Quantity, totalQuantity, f.total},
          std::tuple{Detail::NetTotal, totalNet, f.totalNumber},
          std::tuple{Detail::GrossTotal, totalGross, f.totalNumber}})
        writeSum(sheet, r, layout(column), "=SUM(" + range(layout(column), 1, last) + ")", value,
                 format);
}

struct Group {
    int kinds = 0;
    double pieces = 0, net = 0, gross = 0, cut = 0, pierces = 0, area = 0;
};

void writeSummarySheet(lxw_workbook* book, const Formats& f, const std::vector<BomRow>& rows) {
    lxw_worksheet* sheet = workbook_add_worksheet(book, "汇总");
    writeHeader(sheet, f,
                {{"材料", 12},
                 {"厚度 (mm)", 10},
                 {"种类", 8},
                 {"件数", 8},
                 {"净重 (kg)", 12},
                 {"毛重 (kg)", 12},
                 {"切割长度 (m)", 13},
                 {"穿孔数", 10},
                 {"净面积 (m²)", 12}});
    std::map<std::pair<std::string, double>, Group> groups;
    for (const BomRow& row : rows) {
        Group& g = groups[{row.material, row.thickness}];
        ++g.kinds;
        g.pieces += row.quantity;
        g.net += row.quantity * row.netWeight;
        g.gross += row.quantity * row.grossWeight;
        g.cut += row.quantity * row.cutLength / 1000.0;
        g.pierces += static_cast<double>(row.quantity) * row.pierces;
        g.area += row.quantity * row.netArea / 1e6;
    }
    Group total;
    int r = 1;
    for (const auto& [key, g] : groups) {
        const auto at = static_cast<lxw_row_t>(r++);
        worksheet_write_string(sheet, at, 0, key.first.c_str(), f.text);
        writeNumbers(sheet, at, 1,
                     {{key.second, f.length},
                      {static_cast<double>(g.kinds), f.integer},
                      {g.pieces, f.integer},
                      {g.net, f.weight},
                      {g.gross, f.weight},
                      {g.cut, f.weight},
                      {g.pierces, f.integer},
                      {g.area, f.weight}});
        total.kinds += g.kinds;
        total.pieces += g.pieces;
        total.net += g.net;
        total.gross += g.gross;
        total.cut += g.cut;
        total.pierces += g.pierces;
        total.area += g.area;
    }
    const int last = std::max(1, r - 1);
    worksheet_write_string(sheet, static_cast<lxw_row_t>(r), 0, "合计", f.total);
    const double values[] = {0,
                             0,
                             static_cast<double>(total.kinds),
                             total.pieces,
                             total.net,
                             total.gross,
                             total.cut,
                             total.pierces,
                             total.area};
    for (int c = 2; c <= 8; ++c)
        writeSum(sheet, r, c, "=SUM(" + range(c, 1, last) + ")", values[c], f.totalNumber);
}

std::string bendsText(const FlatBlank& blank) {
    std::string text;
    int n = 0;
    for (const Bend& bend : blank.bends) {
        if (!text.empty()) text += "\n";
        text += std::to_string(++n) + ": " + (bend.up ? "上" : "下") + " " +
                contract::fixed(bend.angle, 1) + "° R" + contract::fixed(bend.radius, 2) +
                (bend.drawnSharp ? "（默认）" : "") + " 展开量 " +
                contract::fixed(bend.allowance, 3) + " 位置 " + contract::fixed(bend.position, 2);
    }
    return text;
}

void writeBlankSheet(lxw_workbook* book, const Formats& f, const std::vector<BlankRow>& blanks) {
    lxw_worksheet* sheet = workbook_add_worksheet(book, "展开");
    writeHeader(sheet, f,
                {{"图号", 18},
                 {"材料", 10},
                 {"厚度 T (mm)", 10},
                 {"K 系数", 8},
                 {"直边 (mm)", 26},
                 {"折弯数", 8},
                 {"折弯（方向 角度 内半径 展开量 位置）", 52},
                 {"展开长 L (mm)", 13},
                 {"宽 W (mm)", 11},
                 {"下料 L × W (mm)", 18},
                 {"展开图", 24},
                 {"来源文件", 40}});
    lxw_format* wrap = workbook_add_format(book);
    format_set_text_wrap(wrap);
    int r = 1;
    for (const BlankRow& row : blanks) {
        const auto at = static_cast<lxw_row_t>(r++);
        std::string straights;
        for (const double s : row.blank.straights)
            straights += (straights.empty() ? "" : " + ") + contract::fixed(s, 3);
        worksheet_write_string(sheet, at, 0, row.drawingNumber.c_str(), f.text);
        worksheet_write_string(sheet, at, 1, row.material.c_str(), f.text);
        worksheet_write_number(sheet, at, 2, row.thickness, f.length);
        worksheet_write_number(sheet, at, 3, row.kFactor, f.length);
        worksheet_write_string(sheet, at, 4, straights.c_str(), wrap);
        worksheet_write_number(sheet, at, 5, static_cast<double>(row.blank.bends.size()),
                               f.integer);
        worksheet_write_string(sheet, at, 6, bendsText(row.blank).c_str(), wrap);
        worksheet_write_number(sheet, at, 7, row.blank.flatLength, f.length);
        worksheet_write_number(sheet, at, 8, row.width, f.length);
        const std::string size =
            contract::fixed(row.blank.flatLength, 2) + " × " + contract::fixed(row.width, 2);
        worksheet_write_string(sheet, at, 9, size.c_str(), f.text);
        worksheet_write_string(sheet, at, 10, row.drawing.c_str(), f.text);
        worksheet_write_string(sheet, at, 11, row.source.c_str(), f.text);
    }
}

void writeNestSheet(lxw_workbook* book, const Formats& f, const std::vector<SheetUse>& sheets) {
    lxw_worksheet* sheet = workbook_add_worksheet(book, "排版");
    writeHeader(sheet, f,
                {{"板材", 8},
                 {"宽 (mm)", 10},
                 {"高 (mm)", 10},
                 {"板材面积 (m²)", 13},
                 {"零件数", 8},
                 {"零件面积 (m²)", 13},
                 {"利用率", 10}});
    double sheetArea = 0, partArea = 0, parts = 0;
    int r = 1;
    for (const SheetUse& use : sheets) {
        const auto at = static_cast<lxw_row_t>(r++);
        const std::string label = "#" + std::to_string(use.index);
        worksheet_write_string(sheet, at, 0, label.c_str(), f.text);
        writeNumbers(sheet, at, 1,
                     {{use.width, f.length},
                      {use.height, f.length},
                      {use.width * use.height / 1e6, f.weight},
                      {static_cast<double>(use.parts), f.integer},
                      {use.partArea / 1e6, f.weight},
                      {use.utilisation(), f.percent}});
        sheetArea += use.width * use.height / 1e6;
        partArea += use.partArea / 1e6;
        parts += use.parts;
    }
    const int last = std::max(1, r - 1);
    worksheet_write_string(sheet, static_cast<lxw_row_t>(r), 0, "合计", f.total);
    writeSum(sheet, r, 3, "=SUM(" + range(3, 1, last) + ")", sheetArea, f.totalNumber);
    writeSum(sheet, r, 4, "=SUM(" + range(4, 1, last) + ")", parts, f.totalNumber);
    writeSum(sheet, r, 5, "=SUM(" + range(5, 1, last) + ")", partArea, f.totalNumber);
    lxw_format* totalPercent = workbook_add_format(book);
    format_set_num_format(totalPercent, "0.0%");
    format_set_bold(totalPercent);
    format_set_bg_color(totalPercent, 0xF2F2F2);
    const std::string rowText = std::to_string(r + 1);
    writeSum(sheet, r, 6, "=IF(D" + rowText + ">0,F" + rowText + "/D" + rowText + ",0)",
             sheetArea > 0 ? partArea / sheetArea : 0.0, totalPercent);
    if (sheets.empty()) return;
    lxw_chart* chart = workbook_add_chart(book, LXW_CHART_COLUMN);
    const std::string categories = "='排版'!$A$2:$A$" + std::to_string(last + 1);
    const std::string values = "='排版'!$G$2:$G$" + std::to_string(last + 1);
    lxw_chart_series* series = chart_add_series(chart, categories.c_str(), values.c_str());
    chart_series_set_name(series, "利用率");
    chart_title_set_name(chart, "每张板材利用率");
    chart_axis_set_name(chart->x_axis, "板材");
    chart_axis_set_name(chart->y_axis, "利用率");
    chart_axis_set_max(chart->y_axis, 1.0);
    chart_legend_set_position(chart, LXW_CHART_LEGEND_NONE);
    worksheet_insert_chart(sheet, 1, 8, chart);
}

void writeContentsSheet(lxw_workbook* book, const Formats& f,
                        const std::vector<ContentsEntry>& contents) {
    lxw_worksheet* sheet = workbook_add_worksheet(book, "目录");
    writeHeader(sheet, f, {{"序号", 6}, {"图号", 18}, {"名称", 18}, {"图纸", 30}, {"PDF", 40}});
    int r = 1;
    for (const ContentsEntry& entry : contents) {
        const auto at = static_cast<lxw_row_t>(r);
        std::string pdfs;
        for (const std::string& pdf : entry.pdfs)
            pdfs += (pdfs.empty() ? "" : "\n") + pdf;
        worksheet_write_number(sheet, at, 0, r, f.integer);
        worksheet_write_string(sheet, at, 1, entry.drawingNumber.c_str(), f.text);
        worksheet_write_string(sheet, at, 2, entry.name.c_str(), f.text);
        worksheet_write_string(sheet, at, 3, entry.drawing.c_str(), f.text);
        worksheet_write_string(sheet, at, 4, pdfs.c_str(), f.text);
        ++r;
    }
}

void appendCsvField(std::string& out, const std::string& field) {
    if (field.find_first_of(",\"\r\n") == std::string::npos) {
        out += field;
        return;
    }
    out.push_back('"');
    for (const char c : field) {
        if (c == '"') out.push_back('"');
        out.push_back(c);
    }
    out.push_back('"');
}

}  // namespace

bool writeWorkbook(const std::string& path, const WorkbookData& data, std::string& message) {
    const std::string temporary = path + ".tmp";
    std::error_code ignored;
    std::filesystem::remove(std::filesystem::u8path(temporary), ignored);
    lxw_workbook* book = workbook_new(temporary.c_str());
    if (book == nullptr) {
        message = "无法创建工作簿 " + path;
        return false;
    }
    const Formats formats = makeFormats(book);
    writeDetailSheet(book, formats, data.rows, data.titles);
    writeSummarySheet(book, formats, data.rows);
    if (!data.blanks.empty()) writeBlankSheet(book, formats, data.blanks);
    if (!data.sheets.empty()) writeNestSheet(book, formats, data.sheets);
    if (!data.contents.empty()) writeContentsSheet(book, formats, data.contents);
    const lxw_error error = workbook_close(book);
    if (error != LXW_NO_ERROR) {
        std::filesystem::remove(std::filesystem::u8path(temporary), ignored);
        message = "写入工作簿失败 " + path + ": " + lxw_strerror(error);
        return false;
    }
    std::filesystem::rename(std::filesystem::u8path(temporary), std::filesystem::u8path(path),
                            ignored);
    if (ignored) {
        std::filesystem::remove(std::filesystem::u8path(temporary), ignored);
        message = "写入工作簿失败 " + path;
        return false;
    }
    return true;
}

std::string bomCsv(const std::vector<BomRow>& rows, const std::vector<TitleColumns>& titles) {
    const TitleColumnsShown shown = titleColumnsShown(titles);
    std::string out = "\xEF\xBB\xBF";
    out += "序号,图号,名称,数量 (件),材料,厚度 (mm),";
    if (shown.scale) out += "比例,";
    out += "下料长 (mm),下料宽 (mm),净面积 (mm²),切割长度 (mm),穿孔数,单件净重 (kg),单件毛重 (kg),";
    if (shown.weight) out += "重量,";
    out += "来源文件\r\n";
    const TitleColumns none;
    for (std::size_t n = 0; n < rows.size(); ++n) {
        const BomRow& row = rows[n];
        const TitleColumns& title = n < titles.size() ? titles[n] : none;
        out += std::to_string(n + 1) + ",";
        appendCsvField(out, row.drawingNumber);
        out.push_back(',');
        appendCsvField(out, row.name);
        out += "," + std::to_string(row.quantity) + ",";
        appendCsvField(out, row.material);
        out.push_back(',');
        contract::appendFixed(out, row.thickness, 2);
        if (shown.scale) {
            out.push_back(',');
            appendCsvField(out, title.scale);
        }
        for (const double value : {row.blankLength, row.blankWidth, row.netArea, row.cutLength}) {
            out.push_back(',');
            contract::appendFixed(out, value, 2);
        }
        out += "," + std::to_string(row.pierces);
        for (const double weight : {row.netWeight, row.grossWeight}) {
            out.push_back(',');
            contract::appendFixed(out, weight, 4);
        }
        if (shown.weight) {
            out.push_back(',');
            appendCsvField(out, title.weight);
        }
        out.push_back(',');
        appendCsvField(out, row.source);
        out += "\r\n";
    }
    return out;
}

}  // namespace qks::bom
