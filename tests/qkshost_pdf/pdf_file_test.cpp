#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "pdf_tools.h"
#include "qkshost/pdf/pdf_engine.h"

namespace qkshost::pdf {
namespace {

using testing::TempDir;

PlotSettings a3Extents() {
    PlotSettings s;
    PlotSettingsValidator::setPlotConfiguration(s, "DWG To PDF.pc3", "ISO_A3_(420.00_x_297.00_MM)");
    PlotSettingsValidator::setStyleSheet(s, "monochrome.ctb");
    return s;
}

DisplayList sample() {
    DisplayList list;
    list.add({}, LinePrimitive{{0, 0}, {420, 297}});
    TextPrimitive t;
    t.text = "板1";
    t.position = {10, 10};
    t.height = 10;
    list.add({}, t);
    return list;
}

// Every way a plot can fail leaves an existing target byte for byte as it was and no stray
// file in its folder.
TEST(PdfFile, FailuresLeaveTheTargetUntouched) {
    struct Case {
        const char* what;
        PlotStage failAt;  // with `hook`
        bool hook;
        void (*edit)(PlotSettings&);
        PlotStatus expected;
    };
    const Case cases[] = {
        {"validation refused", PlotStage::Validate, true, nullptr, PlotStatus::EngineFailed},
        {"document refused", PlotStage::BeginDocument, true, nullptr, PlotStatus::EngineFailed},
        {"page refused", PlotStage::BeginPage, true, nullptr, PlotStatus::EngineFailed},
        {"write refused", PlotStage::Write, true, nullptr, PlotStatus::WriteFailed},
        {"unknown media", PlotStage::Validate, false, [](PlotSettings& s) { s.mediaName = "A3"; },
         PlotStatus::UnknownMedia},
        {"unknown style", PlotStage::Validate, false,
         [](PlotSettings& s) { s.styleSheet = "colour.ctb"; }, PlotStatus::UnknownStyleSheet},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const std::string target = dir.file("sheet.pdf");
        testing::writeFile(target, "%PDF-1.5 the old file\n");
        PdfPlotEngine engine;
        const PlotStatus injected = c.expected;
        const PlotStage at = c.failAt;
        std::vector<PlotStage> seen;
        if (c.hook)
            engine.setFaultHook(
                [&seen, at, injected](PlotStage stage, const PlotSettings&, const std::string&) {
                    seen.push_back(stage);
                    return stage == at ? injected : PlotStatus::Ok;
                });
        PlotSettings s = a3Extents();
        if (c.edit) c.edit(s);
        const PlotResult r = engine.plotToFile(s, sample(), target);
        EXPECT_EQ(r.status, c.expected);
        EXPECT_FALSE(r.message.empty());
        EXPECT_EQ(testing::readFile(target), "%PDF-1.5 the old file\n");
        EXPECT_EQ(dir.entries(), std::vector<std::string>{"sheet.pdf"});
        EXPECT_EQ(engine.pagesWritten(), 0);
        if (c.hook) {
            EXPECT_EQ(seen.back(), at);
        }
        // The same engine plots once the fault is gone.
        engine.clearFaultHook();
        if (c.hook) {
            ASSERT_TRUE(engine.plotToFile(s, sample(), target).ok());
            EXPECT_EQ(testing::readFile(target).compare(0, 5, "%PDF-"), 0);
            EXPECT_EQ(testing::pdfinfoField(target, "Pages"), "1");
        }
    }
}

TEST(PdfFile, BadTargetsAreReported) {
    TempDir dir;
    ::mkdir(dir.file("sub").c_str(), 0755);
    ::mkdir(dir.file("taken.pdf").c_str(), 0755);
    testing::writeFile(dir.file("file"), "x");
    struct Case {
        std::string target;
        PlotStatus expected;
    };
    const Case cases[] = {
        {dir.file("missing/out.pdf"), PlotStatus::OutputFolderMissing},
        {dir.file("file/out.pdf"), PlotStatus::OutputFolderMissing},
        {dir.file("taken.pdf"), PlotStatus::WriteFailed},  // a folder holds the name
        {dir.file("sub/"), PlotStatus::WriteFailed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        const PlotResult r = PdfPlotEngine().plotToFile(a3Extents(), sample(), c.target);
        EXPECT_EQ(r.status, c.expected) << r.message;
        EXPECT_FALSE(r.message.empty());
    }
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"file", "sub", "taken.pdf"}));
    EXPECT_TRUE(dir.entries().size() == 3 && testing::readFile(dir.file("file")) == "x");
    std::string inSub;
    EXPECT_EQ(testing::run("ls -A " + testing::quote(dir.file("sub")) + " " +
                               testing::quote(dir.file("taken.pdf")),
                           inSub),
              0);
    EXPECT_EQ(inSub.find(".tmp"), std::string::npos) << inSub;
}

TEST(PdfFile, ReadOnlyFolderIsReported) {
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
    TempDir dir;
    ::mkdir(dir.file("ro").c_str(), 0555);
    const PlotResult r = PdfPlotEngine().plotToFile(a3Extents(), sample(), dir.file("ro/a.pdf"));
    EXPECT_EQ(r.status, PlotStatus::OutputNotWritable) << r.message;
}

// A symbolic link at the target name is replaced by the new file; the file it pointed to is
// never written through it.
TEST(PdfFile, LinksAtTheTargetAreReplacedNotFollowed) {
    TempDir dir;
    testing::writeFile(dir.file("precious.txt"), "keep me");
    ASSERT_EQ(::symlink(dir.file("precious.txt").c_str(), dir.file("out.pdf").c_str()), 0);
    ASSERT_TRUE(PdfPlotEngine().plotToFile(a3Extents(), sample(), dir.file("out.pdf")).ok());
    EXPECT_EQ(testing::readFile(dir.file("precious.txt")), "keep me");
    struct stat st {};
    ASSERT_EQ(::lstat(dir.file("out.pdf").c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(testing::pdfinfoField(dir.file("out.pdf"), "Pages"), "1");
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"out.pdf", "precious.txt"}));
}

TEST(PdfFile, EmptyDrawingGivesABlankSheet) {
    TempDir dir;
    const PlotResult r =
        PdfPlotEngine().plotToFile(a3Extents(), DisplayList{}, dir.file("blank.pdf"));
    ASSERT_TRUE(r.ok()) << r.message;
    testing::Image image;
    ASSERT_TRUE(testing::rasterise(dir.file("blank.pdf"), 20, image));
    testing::PixelBox box;
    EXPECT_FALSE(testing::findPixels(
        image, [](Rgb c) { return c.r < 250 || c.g < 250 || c.b < 250; }, box));
}

}  // namespace
}  // namespace qkshost::pdf
