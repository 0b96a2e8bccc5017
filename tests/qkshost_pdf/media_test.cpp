#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <set>

#include "qkshost/pdf/media.h"

namespace qkshost::pdf {
namespace {

std::string lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

TEST(PdfDevice, IsFoundByItsExactName) {
    ASSERT_NE(findPlotDevice("DWG To PDF.pc3"), nullptr);
    EXPECT_EQ(findPlotDevice("DWG To PDF.pc3"), &pdfPlotDevice());
    EXPECT_EQ(findPlotDevice("dwg to pdf.pc3"), nullptr);
    EXPECT_EQ(findPlotDevice("DWG To PDF"), nullptr);
    EXPECT_EQ(findPlotDevice(""), nullptr);
    EXPECT_EQ(plotDeviceNames(), std::vector<std::string>{"DWG To PDF.pc3"});
}

TEST(PdfDevice, KnownMediaHaveTheirSheetAndMargins) {
    struct Case {
        const char* name;
        double widthMm, heightMm;
        PaperUnits units;
        MediaVariant variant;
    };
    const Case cases[] = {
        {"ISO_full_bleed_A3_(420.00_x_297.00_MM)", 420, 297, PaperUnits::Millimeters,
         MediaVariant::FullBleed},
        {"ISO_A3_(420.00_x_297.00_MM)", 420, 297, PaperUnits::Millimeters, MediaVariant::Plain},
        {"ISO_expand_A3_(420.00_x_297.00_MM)", 420, 297, PaperUnits::Millimeters,
         MediaVariant::Expand},
        {"ISO_full_bleed_A4_(210.00_x_297.00_MM)", 210, 297, PaperUnits::Millimeters,
         MediaVariant::FullBleed},
        {"ISO_full_bleed_A4_(297.00_x_210.00_MM)", 297, 210, PaperUnits::Millimeters,
         MediaVariant::FullBleed},
        {"ISO_A0_(1189.00_x_841.00_MM)", 1189, 841, PaperUnits::Millimeters, MediaVariant::Plain},
        {"ISO_A0_(841.00_x_1189.00_MM)", 841, 1189, PaperUnits::Millimeters, MediaVariant::Plain},
        {"ISO_B5_(250.00_x_176.00_MM)", 250, 176, PaperUnits::Millimeters, MediaVariant::Plain},
        {"ISO_full_bleed_B0_(1414.00_x_1000.00_MM)", 1414, 1000, PaperUnits::Millimeters,
         MediaVariant::FullBleed},
        {"ANSI_full_bleed_A_(11.00_x_8.50_Inches)", 279.4, 215.9, PaperUnits::Inches,
         MediaVariant::FullBleed},
        {"ANSI_B_(11.00_x_17.00_Inches)", 279.4, 431.8, PaperUnits::Inches, MediaVariant::Plain},
        {"ANSI_expand_E_(44.00_x_34.00_Inches)", 1117.6, 863.6, PaperUnits::Inches,
         MediaVariant::Expand},
        {"ARCH_D_(36.00_x_24.00_Inches)", 914.4, 609.6, PaperUnits::Inches, MediaVariant::Plain},
        {"ARCH_full_bleed_E1_(30.00_x_42.00_Inches)", 762, 1066.8, PaperUnits::Inches,
         MediaVariant::FullBleed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Media* m = pdfPlotDevice().findMedia(c.name);
        ASSERT_NE(m, nullptr);
        EXPECT_NEAR(m->widthMm, c.widthMm, 1e-9);
        EXPECT_NEAR(m->heightMm, c.heightMm, 1e-9);
        EXPECT_EQ(m->units, c.units);
        EXPECT_EQ(m->variant, c.variant);
    }
    // Lookups are exact: case and spelling matter.
    EXPECT_EQ(pdfPlotDevice().findMedia("iso_a3_(420.00_x_297.00_mm)"), nullptr);
    EXPECT_EQ(pdfPlotDevice().findMedia("ISO_A3_(420_x_297_MM)"), nullptr);
    EXPECT_EQ(pdfPlotDevice().findMedia(""), nullptr);
}

// Every medium's name agrees with its sheet, full bleed has no margin, expand has less than plain,
// and every sheet is offered in both orientations.
TEST(PdfDevice, CatalogueIsConsistent) {
    const PlotDevice& device = pdfPlotDevice();
    std::set<std::string> names;
    for (const Media& m : device.media) {
        SCOPED_TRACE(m.canonicalName);
        EXPECT_TRUE(names.insert(m.canonicalName).second) << "duplicate name";
        const std::size_t open = m.canonicalName.rfind("_(");
        ASSERT_NE(open, std::string::npos);
        double w = 0, h = 0;
        char unit[16] = {};
        ASSERT_EQ(
            std::sscanf(m.canonicalName.c_str() + open, "_(%lf_x_%lf_%15[A-Za-z])", &w, &h, unit),
            3);
        const double toMm = m.units == PaperUnits::Inches ? 25.4 : 1.0;
        EXPECT_EQ(std::string(unit), m.units == PaperUnits::Inches ? "Inches" : "MM");
        EXPECT_NEAR(w * toMm, m.widthMm, 1e-6);
        EXPECT_NEAR(h * toMm, m.heightMm, 1e-6);
        std::string spaced = m.canonicalName;
        std::replace(spaced.begin(), spaced.end(), '_', ' ');
        EXPECT_EQ(m.localName, spaced);

        const bool fullBleedName = lower(m.canonicalName).find("full_bleed") != std::string::npos;
        EXPECT_EQ(fullBleedName, m.variant == MediaVariant::FullBleed);
        const double margins[4] = {m.margins.left, m.margins.bottom, m.margins.right,
                                   m.margins.top};
        for (double margin : margins) {
            if (m.variant == MediaVariant::FullBleed)
                EXPECT_EQ(margin, 0.0);
            else
                EXPECT_GT(margin, 0.0);
        }
        if (m.variant == MediaVariant::Expand) {
            const Media* plain =
                device.findMediaBySize(m.widthMm, m.heightMm, MediaVariant::Plain, 1e-6);
            ASSERT_NE(plain, nullptr);
            EXPECT_LT(m.margins.left, plain->margins.left);
            EXPECT_GT(m.printableWidthMm(), plain->printableWidthMm());
        }
        EXPECT_NE(device.findMediaBySize(m.heightMm, m.widthMm, m.variant, 1e-6), nullptr)
            << "no other orientation";
    }
    EXPECT_EQ(device.canonicalMediaNames().size(), device.media.size());
    EXPECT_EQ(device.canonicalMediaNames().front(), device.media.front().canonicalName);
}

// Media are chosen by keyword in list order, ordinary media before full-bleed ones: the first
// ordinary medium containing an ISO A keyword is the landscape plain sheet of that size.
TEST(PdfDevice, KeywordSearchMeetsThePlainLandscapeSheetFirst) {
    struct Case {
        const char* keyword;
        const char* firstOrdinary;
        const char* firstAny;
    };
    const Case cases[] = {
        {"a0", "ISO_A0_(1189.00_x_841.00_MM)", "ISO_A0_(1189.00_x_841.00_MM)"},
        {"a1", "ISO_A1_(841.00_x_594.00_MM)", "ISO_A1_(841.00_x_594.00_MM)"},
        {"a2", "ISO_A2_(594.00_x_420.00_MM)", "ISO_A2_(594.00_x_420.00_MM)"},
        {"a3", "ISO_A3_(420.00_x_297.00_MM)", "ISO_A3_(420.00_x_297.00_MM)"},
        {"a4", "ISO_A4_(297.00_x_210.00_MM)", "ISO_A4_(297.00_x_210.00_MM)"},
        {"a5", "ISO_A5_(210.00_x_148.00_MM)", "ISO_A5_(210.00_x_148.00_MM)"},
        {"full_bleed_a3", "", "ISO_full_bleed_A3_(420.00_x_297.00_MM)"},
    };
    const std::vector<std::string> names = pdfPlotDevice().canonicalMediaNames();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keyword);
        std::string ordinary, any;
        for (const std::string& name : names) {
            const std::string l = lower(name);
            if (l.find(c.keyword) == std::string::npos) continue;
            if (any.empty()) any = name;
            if (ordinary.empty() && l.find("full_bleed") == std::string::npos) ordinary = name;
        }
        EXPECT_EQ(ordinary, c.firstOrdinary);
        EXPECT_EQ(any, c.firstAny);
    }
}

TEST(PdfDevice, PaperSizeFindsTheCanonicalMedium) {
    struct Case {
        double w, h;
        MediaVariant variant;
        const char* expected;  // empty: none
    };
    const Case cases[] = {
        {420, 297, MediaVariant::Plain, "ISO_A3_(420.00_x_297.00_MM)"},
        {297, 420, MediaVariant::Plain, "ISO_A3_(297.00_x_420.00_MM)"},
        {420.3, 296.8, MediaVariant::FullBleed, "ISO_full_bleed_A3_(420.00_x_297.00_MM)"},
        {279.4, 431.8, MediaVariant::Plain, "ANSI_B_(11.00_x_17.00_Inches)"},
        {215.9, 279.4, MediaVariant::Expand, "ANSI_expand_A_(8.50_x_11.00_Inches)"},
        {400, 300, MediaVariant::Plain, ""},
    };
    for (const Case& c : cases) {
        const Media* m = pdfPlotDevice().findMediaBySize(c.w, c.h, c.variant);
        EXPECT_EQ(m ? m->canonicalName : std::string(), c.expected) << c.w << " x " << c.h;
    }
}

}  // namespace
}  // namespace qkshost::pdf
