// The sheet-metal figures, title-block reading and the BOM config, as tables of cases.
#include <gtest/gtest.h>

#include <cmath>

#include "qks/bom/bom.h"
#include "qks/bom/sheet_metal.h"
#include "qks/bom/title_block.h"
#include "qks/drawing/drawing_text.h"

namespace qks::bom {
namespace {

constexpr double kPi = 3.14159265358979323846;

ProfileSegment line(double ax, double ay, double bx, double by) {
    ProfileSegment s;
    s.start = {ax, ay};
    s.end = {bx, by};
    return s;
}

ProfileSegment arc(double ax, double ay, double bx, double by, double cx, double cy, double r,
                   double sweepDegrees) {
    ProfileSegment s = line(ax, ay, bx, by);
    s.arc = true;
    s.centre = {cx, cy};
    s.radius = r;
    s.sweep = sweepDegrees * kPi / 180;
    return s;
}

// Flat length = straights between the bends' tangent points + angle·(R + K·T) per bend.
TEST(SheetMetal, FlatBlanksMatchTextbookCases) {
    const double c45 = std::cos(kPi / 4), s45 = std::sin(kPi / 4);
    struct Case {
        const char* name;
        std::vector<ProfileSegment> profile;
        double t, k, r;
        double flat;           // < 0: refused
        std::vector<bool> up;  // per bend
        double firstBendPosition;
    } cases[] = {
        {"L, sharp corner",
         {line(0, 50, 0, 0), line(0, 0, 60, 0)},
         2,
         0.43,
         2,
         110 - 2 * 2 + kPi / 2 * (2 + 0.43 * 2),
         {true},
         48 + kPi / 4 * (2 + 0.43 * 2)},
        {"L, drawn radius 3",
         {line(0, 40, 0, 3), arc(0, 3, 3, 0, 3, 3, 3, 90), line(3, 0, 40, 0)},
         2,
         0.33,
         1,
         37 + 37 + kPi / 2 * (3 + 0.33 * 2),
         {true},
         37 + kPi / 4 * 3.66},
        {"U channel",
         {line(0, 30, 0, 0), line(0, 0, 50, 0), line(50, 0, 50, 30)},
         1,
         0.5,
         1,
         29 + 48 + 29 + 2 * kPi / 2 * 1.5,
         {true, true},
         29 + kPi / 4 * 1.5},
        {"Z",
         {line(0, 20, 0, 0), line(0, 0, 40, 0), line(40, 0, 40, -20)},
         1.5,
         0.4,
         1.5,
         18.5 + 37 + 18.5 + 2 * kPi / 2 * 2.1,
         {true, false},
         18.5 + kPi / 4 * 2.1},
        {"45 degrees",
         {line(0, 0, 50, 0), line(50, 0, 50 + 30 * c45, 30 * s45)},
         2,
         0.44,
         2,
         80 - 2 * 2 * std::tan(kPi / 8) + kPi / 4 * 2.88,
         {true},
         50 - 2 * std::tan(kPi / 8) + kPi / 8 * 2.88},
        {"flat bar", {line(0, 0, 120, 0)}, 3, 0.4, 3, 120, {}, 0},
        {"folded flat back", {line(0, 0, 50, 0), line(50, 0, 0, 0.0001)}, 1, 0.4, 1, -1, {}, 0},
        {"nothing", {}, 1, 0.4, 1, -1, {}, 0},
    };
    for (const Case& c : cases) {
        const FlatBlank blank = unfoldProfile(c.profile, c.t, c.k, c.r);
        if (c.flat < 0) {
            EXPECT_FALSE(blank.ok) << c.name;
            EXPECT_FALSE(blank.message.empty()) << c.name;
            continue;
        }
        ASSERT_TRUE(blank.ok) << c.name << " " << blank.message;
        EXPECT_NEAR(blank.flatLength, c.flat, 1e-9) << c.name;
        ASSERT_EQ(blank.bends.size(), c.up.size()) << c.name;
        for (std::size_t i = 0; i < c.up.size(); ++i)
            EXPECT_EQ(blank.bends[i].up, c.up[i]) << c.name << " bend " << i;
        EXPECT_NEAR(c.up.empty() ? 0.0 : blank.bends[0].position, c.firstBendPosition, 1e-9)
            << c.name;
    }
}

TEST(SheetMetal, PartFiguresAndTheSmallestRectangle) {
    contract::PartRecord part;
    // A 100 × 20 bar turned 30°, with a 10 × 4 slot: the blank is the bar, not its box.
    const double a = kPi / 6, c = std::cos(a), s = std::sin(a);
    for (const auto& [x, y] : {std::pair{0.0, 0.0}, {100.0, 0.0}, {100.0, 20.0}, {0.0, 20.0}})
        part.outline.push_back({x * c - y * s, x * s + y * c});
    part.area = 2000;
    part.holes.push_back({{45, 8}, {55, 8}, {55, 12}, {45, 12}});
    const PartFigures figures = measurePart(part);
    EXPECT_NEAR(figures.netArea, 2000 - 40, 1e-9);
    EXPECT_NEAR(figures.cutLength, 240 + 28, 1e-9);
    EXPECT_EQ(figures.pierces, 2);
    EXPECT_NEAR(figures.blank.length, 100, 1e-9);
    EXPECT_NEAR(figures.blank.width, 20, 1e-9);
    EXPECT_NEAR(figures.blank.angle, a, 1e-9);
}

PlacedText at(const char* text, double x, double y, double width = 10, double height = 3) {
    return {text, x, y, x + width, y + height};
}

TEST(TitleBlock, FieldsFromTagsLabelsAndCells) {
    TitleFields fields;
    fieldsFromAttributes({{"DwgNo", "A-1"}, {"TITLE", " 支架 "}, {"图号", "ignored"}, {"QTY", ""}},
                         fields);
    fieldsFromTexts(
        {
            at("数 量", 0, 0), at("12", 40, 0.4),  // the cell to the right, slightly lower
            at("材质：", 0, 10), at("SUS304", 60, 10), at("厚度:2.5mm", 0, 20),  // inline
            at("板厚", 0, 30), at("Q345", 20, 30),     // no number beside: not a thickness
            at("材料", 100, 0), at("Q345", 100, -5),   // the cell below
            at("名称", 100, 50), at("托架", 300, 50),  // too far away
        },
        fields);
    EXPECT_EQ(fields[TitleField::Number], "A-1");
    EXPECT_EQ(fields[TitleField::Name], "支架");
    EXPECT_EQ(fields[TitleField::Quantity], "12");
    EXPECT_EQ(fields[TitleField::Material], "SUS304");
    EXPECT_EQ(fields[TitleField::Thickness], "2.5mm");

    // A GB/T 10609.1 block of plain texts, 180 × 56 from (235, 5): cells read by position,
    // where a label's right-hand neighbour is another label or the large drawing name.
    TitleFields gb;
    const qks::drawing::PlotWindow block{235, 5, 415, 61, {}};
    fieldsFromTexts({at("支架", 384, 31.5, 12, 5), at("QK-01-02", 378, 13.5, 24),
                     at("Q235", 334, 49.5), at("阶段标记", 318, 34.5, 16), at("重量", 343, 34.5, 8),
                     at("比例", 355, 34.5, 8), at("2.5kg", 343, 21.5, 8), at("1:2", 356, 21.5, 6),
                     at("数量", 240, 20, 8), at("4", 260, 20, 3)},
                    gb, &block);
    const std::pair<TitleField, const char*> cells[] = {
        {TitleField::Name, "支架"},     {TitleField::Number, "QK-01-02"},
        {TitleField::Material, "Q235"}, {TitleField::Quantity, "4"},
        {TitleField::Scale, "1:2"},     {TitleField::Weight, "2.5kg"}};
    for (const auto& [field, value] : cells)
        EXPECT_EQ(gb[field], value) << value;

    EXPECT_EQ(qks::drawing::plainMText("{\\fSimSun|b0|i0;材料}\\P\\H2.5;Q235\\S1^2;"),
              "材料 Q2351/2");
    const struct {
        const char* text;
        double thickness;  // 0: none
        int quantity;      // 0: none
        double kilograms;  // 0: none
    } numbers[] = {{"2", 2, 2, 2},
                   {"t=1.5", 1.5, 1, 1.5},
                   {"δ3mm", 3, 3, 3},
                   {"x", 0, 0, 0},
                   {"0", 0, 0, 0},
                   {"2.5kg", 2.5, 2, 2.5},
                   {"350 g", 350, 350, 0.35},
                   {"约0.8千克", 0.8, 0, 0.8},
                   {"1.2 t", 1.2, 1, 1200}};
    for (const auto& n : numbers) {
        EXPECT_EQ(thicknessOf(n.text).value_or(0), n.thickness) << n.text;
        EXPECT_EQ(quantityOf(n.text).value_or(0), n.quantity) << n.text;
        EXPECT_DOUBLE_EQ(weightKgOf(n.text).value_or(0), n.kilograms) << n.text;
    }
}

TEST(BomConfigTest, KeysEditsMaterialsAndTheRowsFile) {
    const BomConfig config = parseBomConfig(
        "file=/a.dxf\nfile=/b\nout=部件.xlsx\ncsv=1\nzip=true\ndefaultthickness=-1\n"
        "material Q235=7.85,0.44,3:0.42,1:0.38\nmaterial BAD=x,0.4\nprofilelayer=Bend, 弯\n"
        "edit K1=SUS304,1.5,7\nedit K2=,,\nout=../x.xlsx\n");
    EXPECT_EQ(config.files, (std::vector<std::string>{"/a.dxf", "/b"}));
    EXPECT_EQ(config.workbook, "部件.xlsx");
    EXPECT_TRUE(config.csv && config.zip && !config.package);
    EXPECT_EQ(config.defaultThickness, contract::kDefaultThickness);
    EXPECT_EQ(config.problems.size(), 3u);  // the thickness, BAD and the path
    ASSERT_EQ(config.materials.size(), 1u);
    EXPECT_EQ(contract::kFactorAt(config.materials[0], 0.8), 0.38);
    EXPECT_EQ(contract::kFactorAt(config.materials[0], 3.0), 0.42);
    EXPECT_EQ(contract::kFactorAt(config.materials[0], 6.0), 0.44);
    EXPECT_NE(findMaterial(config, "q235"), nullptr);
    EXPECT_EQ(config.profileLayerWords, (std::vector<std::string>{"bend", "弯"}));
    ASSERT_EQ(config.edits.count("K1"), 1u);
    EXPECT_EQ(config.edits.at("K1").material, "SUS304");
    EXPECT_EQ(config.edits.at("K1").quantity, 7);
    EXPECT_EQ(config.edits.at("K2").thickness, 0.0);

    contract::Material back;
    ASSERT_TRUE(contract::parseMaterialValue(
        "Q235", contract::formatMaterialValue(config.materials[0]), back));
    EXPECT_EQ(back.ranges.size(), 2u);

    contract::BomRow row;
    row.key = "K1";
    row.drawingNumber = "图-1";
    row.quantity = 3;
    row.netArea = 1234.5;
    row.defaulted = contract::kDefaultedMaterial | contract::kDefaultedQuantity;
    contract::ReadRules rules;
    rules.toInt = [](std::string_view f) {
        return static_cast<std::int32_t>(std::stoi(std::string(f)));
    };
    rules.toDouble = [](std::string_view f) { return std::stod(std::string(f)); };
    const auto rows = contract::readBomRows(contract::formatBomRows({row, row}), rules);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1].drawingNumber, "图-1");
    EXPECT_EQ(rows[1].netArea, 1234.5);
    EXPECT_EQ(rows[1].defaulted, row.defaulted);
}

}  // namespace
}  // namespace qks::bom
