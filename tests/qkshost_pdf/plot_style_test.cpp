#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "pdf_tools.h"
#include "qkshost/pdf/plot_style.h"

namespace qkshost::pdf {
namespace {

// The palette (1..249) against ezdxf's copy of the standard palette. ezdxf's table has 21
// entries in the two darkest rows of some hues where one channel reads 88 or 126 instead of the
// regular scale; a difference is accepted only in that form.
TEST(AciPalette, MatchesAnIndependentCopy) {
    std::string out;
    ASSERT_EQ(
        testing::run("/usr/bin/python3 -c \"from ezdxf.colors import DXF_DEFAULT_COLORS as c, "
                     "int2rgb\nfor i in range(256): print(i, *int2rgb(c[i]))\"",
                     out),
        0);
    std::istringstream lines(out);
    int index, r, g, b, checked = 0, quirks = 0;
    while (lines >> index >> r >> g >> b) {
        if (index < 1 || index > 249) continue;
        SCOPED_TRACE(index);
        const Rgb ours = aciToRgb(index);
        const int theirs[3] = {r, g, b};
        const int mine[3] = {ours.r, ours.g, ours.b};
        bool quirk = false;
        for (int k = 0; k < 3; ++k) {
            if (mine[k] == theirs[k]) continue;
            EXPECT_TRUE(index % 10 == 9 || index % 10 == 7) << "channel " << k;
            EXPECT_TRUE(theirs[k] == 88 || theirs[k] == 126)
                << "channel " << k << ": " << theirs[k];
            quirk = true;
        }
        quirks += quirk;
        ++checked;
    }
    EXPECT_EQ(checked, 249);
    EXPECT_LE(quirks, 21);
}

TEST(AciPalette, NamedColoursAndGreys) {
    struct Case {
        int index;
        Rgb rgb;
    };
    const Case cases[] = {{1, {255, 0, 0}},
                          {2, {255, 255, 0}},
                          {3, {0, 255, 0}},
                          {4, {0, 255, 255}},
                          {5, {0, 0, 255}},
                          {6, {255, 0, 255}},
                          {7, {255, 255, 255}},
                          {8, {128, 128, 128}},
                          {9, {192, 192, 192}},
                          {10, {255, 0, 0}},
                          {20, {255, 63, 0}},
                          {250, {51, 51, 51}},
                          {254, {190, 190, 190}},
                          {255, {255, 255, 255}},
                          // out of range reads as 7
                          {0, {255, 255, 255}},
                          {256, {255, 255, 255}},
                          {-3, {255, 255, 255}}};
    for (const Case& c : cases)
        EXPECT_EQ(aciToRgb(c.index), c.rgb) << c.index;
    for (int i = 250; i < 255; ++i)
        EXPECT_LT(aciToRgb(i).r, aciToRgb(i + 1).r);
}

TEST(PlotStyleTables, MapColoursToInk) {
    const PlotColour red = PlotColour::aci(1), white7 = PlotColour::aci(7),
                     white255 = PlotColour::aci(255), orange = PlotColour::trueColour(200, 100, 50),
                     blue = PlotColour::aci(5);
    struct Case {
        const char* table;
        PlotColour colour;
        Rgb ink;
    };
    const Case cases[] = {
        {"acad.ctb", red, {255, 0, 0}},
        {"acad.ctb", white7, {0, 0, 0}},
        {"acad.ctb", white255, {255, 255, 255}},
        {"acad.ctb", orange, {200, 100, 50}},
        {"acad.ctb", blue, {0, 0, 255}},
        {"grayscale.ctb", red, {76, 76, 76}},
        {"grayscale.ctb", white7, {0, 0, 0}},
        {"grayscale.ctb", orange, {124, 124, 124}},
        {"grayscale.ctb", blue, {29, 29, 29}},
        {"grayscale.ctb", PlotColour::aci(2), {226, 226, 226}},
        {"monochrome.ctb", red, {0, 0, 0}},
        {"monochrome.ctb", white255, {0, 0, 0}},
        {"monochrome.ctb", orange, {0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.table) + " " + std::to_string(c.colour.index));
        const PlotStyleTable* t = findPlotStyleTable(c.table);
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(t->map(c.colour), c.ink);
    }
    EXPECT_EQ(findPlotStyleTable("Monochrome.ctb"), nullptr);
    EXPECT_EQ(findPlotStyleTable("screening 50%.ctb"), nullptr);
    EXPECT_EQ(defaultPlotStyleTable().name(), "acad.ctb");
    EXPECT_EQ(plotStyleTableNames().size(), 3u);
}

}  // namespace
}  // namespace qkshost::pdf
