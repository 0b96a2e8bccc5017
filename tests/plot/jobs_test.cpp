// The batch plot jobs in-process against the real qkshost: scopes, the log lines in order,
// names across a job, page setups and the active layout put back, and the plot-files job with
// missing files, files already open and configs that cannot be used.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "plot_fixture.h"
#include "qks/plot/jobs.h"

namespace {

using namespace qks::plot;
using namespace qks::plot::testing;
namespace host = qks::host;
namespace pdft = qkshost::pdf::testing;

std::vector<std::string> pdfsIn(const std::string& folder) {
    std::vector<std::string> out;
    if (!std::filesystem::is_directory(folder)) return out;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

// Model space with two titled frames (or none), Layout1 on A3 (with a titled frame and a note
// when `paperFrame`), and a second layout "Sheet2".
void buildDrawing(drawing::Database& db, bool frames, bool paperFrame = false) {
    usePdfMedia(db, "Layout1", "ISO_A3_(420.00_x_297.00_MM)");
    addRectangle(db, 10, 10, 100, 100, {}, db.paperSpace());
    if (frames) {
        const drawing::ObjectIndex block = addFrameBlock(db, "A3_TK", 420, 297);
        addReference(db, block, 0, 0, {{"图号", "B-02"}});
        addReference(db, block, 0, 400, {{"图号", "A/01"}});
        if (paperFrame) {
            addReference(db, block, 0, 0, {{"图号", "C-03"}}, db.paperSpace());
            addText(db, "PAPERNOTE", 200, 150, 5, db.paperSpace());
        }
    }
    addText(db, "中文", 10, 10, 5);
    addRectangle(db, 0, 0, 50, 50);
}

std::map<std::string, host::PlotSettings> pageSetups(PlotFixture& f, const drawing::Database& db) {
    std::map<std::string, host::PlotSettings> out;
    for (const auto& l : f.ds().layouts(f.databaseId(db)))
        f.ds().getPlotSettings(l.id, out[l.name]);
    return out;
}

TEST(PlotJob, Scopes) {
    struct Case {
        const char* what;
        std::string scope;
        std::string prefix;
        bool frames;
        std::string active;
        std::vector<std::string> log;  // {out} stands for the output folder
        std::vector<std::string> pdfs;
        bool paperFrame = false;
    } cases[] = {
        {"all layouts in dictionary order",
         "all",
         "",
         true,
         "Layout1",
         {"QKS 批量出图开始 scope=all", "RUN Model -> {out}/Model.pdf", "OK Model",
          "RUN Layout1 -> {out}/Layout1.pdf", "OK Layout1", "DONE total=2 ok=2 fail=0 dir={out}"},
         {"Layout1.pdf", "Model.pdf"}},
        {"current: the active paper layout",
         "current",
         "",
         true,
         "Layout1",
         {"QKS 批量出图开始 scope=current", "RUN Layout1 -> {out}/Layout1.pdf", "OK Layout1",
          "DONE total=1 ok=1 fail=0 dir={out}"},
         {"Layout1.pdf"}},
        {"current while model space is active",
         "current",
         "P",
         true,
         "Model",
         {"QKS 批量出图开始 scope=current", "RUN Model -> {out}/P_Model.pdf", "OK Model",
          "DONE total=1 ok=1 fail=0 dir={out}"},
         {"P_Model.pdf"}},
        {"frames named by their titles, top first",
         "frames",
         "P",
         true,
         "Layout1",
         {"QKS 批量出图开始 scope=frames", "RUN P_A_01", "OK P_A_01", "RUN P_B-02", "OK P_B-02",
          "DONE total=2 ok=2 fail=0 dir={out}"},
         {"P_A_01.pdf", "P_B-02.pdf"}},
        {"frames of model space, then those of paper space, each on its layout",
         "frames",
         "P",
         true,
         "Layout1",
         {"QKS 批量出图开始 scope=frames", "RUN P_A_01", "OK P_A_01", "RUN P_B-02", "OK P_B-02",
          "RUN P_C-03", "OK P_C-03", "DONE total=3 ok=3 fail=0 dir={out}"},
         {"P_A_01.pdf", "P_B-02.pdf", "P_C-03.pdf"},
         true},
        {"frames without frames: every layout",
         "frames",
         "",
         false,
         "Layout1",
         {"QKS 批量出图开始 scope=frames", "WARN 未识别到图框，按布局输出",
          "RUN Model -> {out}/Model.pdf", "OK Model", "RUN Layout1 -> {out}/Layout1.pdf",
          "OK Layout1", "DONE total=2 ok=2 fail=0 dir={out}"},
         {"Layout1.pdf", "Model.pdf"}},
        {"model",
         "model",
         "P",
         true,
         "Layout1",
         {"QKS 批量出图开始 scope=model", "RUN P_model", "OK P_model",
          "DONE total=1 ok=1 fail=0 dir={out}"},
         {"P_model.pdf"}},
        {"an unknown scope is all",
         "Frames",
         "",
         true,
         "Layout1",
         {"QKS 批量出图开始 scope=Frames", "RUN Model -> {out}/Model.pdf", "OK Model",
          "RUN Layout1 -> {out}/Layout1.pdf", "OK Layout1", "DONE total=2 ok=2 fail=0 dir={out}"},
         {"Layout1.pdf", "Model.pdf"}},
    };
    for (const auto& c : cases) {
        PlotFixture f;
        auto& db = f.newDrawing();
        buildDrawing(db, c.frames, c.paperFrame);
        db.setCurrentLayout(c.active);
        const auto before = pageSetups(f, db);
        const std::string out = f.file("out/sub");
        pdft::writeFile(f.file("qks_plot.cfg"), "outDir=" + out + "\nlog=" + f.logPath() +
                                                    "\nscope=" + c.scope + "\nprefix=" + c.prefix +
                                                    "\nstyle=monochrome.ctb\n");
        runPlotJob(f.app());
        std::vector<std::string> expected;
        for (std::string line : c.log) {
            for (std::size_t at; (at = line.find("{out}")) != std::string::npos;)
                line.replace(at, 5, out);
            expected.push_back(line);
        }
        EXPECT_EQ(f.logLines(), expected) << c.what;
        EXPECT_EQ(pdfsIn(out), c.pdfs) << c.what;
        for (const auto& name : c.pdfs)
            EXPECT_EQ(pdft::pdfinfoField(out + "/" + name, "Pages"), "1") << c.what << " " << name;
        if (c.paperFrame) {
            std::string text;
            pdft::run("pdftotext " + pdft::quote(out + "/P_C-03.pdf") + " -", text);
            EXPECT_NE(text.find("PAPERNOTE"), std::string::npos) << text;
        }
        EXPECT_EQ(pageSetups(f, db), before) << c.what;
        EXPECT_EQ(f.ds().activeLayoutName(), c.active) << c.what;
    }
}

TEST(PlotJob, ConfigProblems) {
    PlotFixture f;
    f.newDrawing();
    runPlotJob(f.app());  // no qks_plot.cfg
    EXPECT_EQ(pdft::readFile(f.file("qks_plot.log")),
              "FATAL 读取配置失败: " + f.file("qks_plot.cfg") + "\r\n");
    pdft::writeFile(f.file("qks_plot.cfg"), "log=" + f.logPath() + "\nscope=all\n");
    runPlotJob(f.app());
    EXPECT_EQ(f.logLines(), std::vector<std::string>{"FATAL 未设置输出目录"});

    // No publish engine: FATAL and no summary.
    pdft::writeFile(f.file("qks_plot.cfg"),
                    "outDir=" + f.file("o") + "\nlog=" + f.logPath() + "\n");
    failPublishCall("createPublishEngine");
    runPlotJob(f.app());
    EXPECT_EQ(f.logLines(),
              (std::vector<std::string>{"QKS 批量出图开始 scope=all", "FATAL 无法创建出版引擎"}));
}

TEST(PlotJob, FailedPagesAreCountedAndTheJobGoesOn) {
    PlotFixture f;
    auto& db = f.newDrawing();
    buildDrawing(db, false);
    qkshost::PlotFaults faults;
    faults.engine = [](qkshost::pdf::PlotStage stage, const qkshost::pdf::PlotSettings&,
                       const std::string& path) {
        return stage == qkshost::pdf::PlotStage::Write && path.find("Model") != std::string::npos
                   ? qkshost::pdf::PlotStatus::WriteFailed
                   : qkshost::pdf::PlotStatus::Ok;
    };
    qkshost::setPlotFaults(std::move(faults));
    const std::string out = f.file("out");
    pdft::writeFile(f.file("qks_plot.cfg"), "outDir=" + out + "\nlog=" + f.logPath() + "\n");
    runPlotJob(f.app());
    const auto lines = f.logLines();
    ASSERT_EQ(lines.size(), 6u);
    // The model layout's own page setup names no device: its two fall-backs fail validation.
    const std::string refused = "布局设置校验失败 (status=2 validated=0 style=<沿用布局>)";
    EXPECT_EQ(lines[2], "ERR Model 生成 PDF 失败；原设置: " + refused + "；重试: " + refused);
    EXPECT_EQ(lines[4], "OK Layout1");
    EXPECT_EQ(lines[5], "DONE total=2 ok=1 fail=1 dir=" + out);
    EXPECT_EQ(pdfsIn(out), std::vector<std::string>{"Layout1.pdf"});
}

struct FilesFixture : PlotFixture {
    std::string out = file("pdf");
    void writeConfig(const std::vector<std::string>& files, const std::string& extra = {}) {
        std::string cfg = "outDir=" + out + "\nlog=" + logPath() + "\nscope=all\n" + extra;
        for (const auto& path : files)
            cfg += "file=" + path + "\n";
        pdft::writeFile(file("qks_plot_files.cfg"), cfg);
    }
    std::string drawingFile(const std::string& relative) {
        const std::string path = file(relative);
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        drawing::Database db;
        buildDrawing(db, false);
        save(db, path);
        return path;
    }
};

TEST(PlotFilesJob, FilesAcrossOneJob) {
    FilesFixture f;
    const std::string a = f.drawingFile("one/a.dxf");
    const std::string missing = f.file("missing.dxf");
    const std::string a2 = f.drawingFile("two/a.dxf");
    const std::string notDrawing = f.file("junk.dxf");
    pdft::writeFile(notDrawing, "this is not a drawing");
    f.writeConfig({a, missing, a2, notDrawing});
    const host::DocumentId user = f.app().newDocument();
    runPlotFilesJob(f.app(), {});  // config from the temporary folder
    const std::vector<std::string> expected = {
        "QKS 批量文件出图开始 files=4",
        "OPEN " + a,
        "RUN Model -> " + f.out + "/a_Model.pdf",
        "OK Model",
        "RUN Layout1 -> " + f.out + "/a_Layout1.pdf",
        "OK Layout1",
        "ERR 文件不存在 " + missing,
        "OPEN " + a2,
        "RUN Model -> " + f.out + "/a_Model_2.pdf",
        "OK Model",
        "RUN Layout1 -> " + f.out + "/a_Layout1_2.pdf",
        "OK Layout1",
        "OPEN " + notDrawing,
        "ERR 无法打开 " + notDrawing,
        "DONE total=6 ok=4 fail=2 dir=" + f.out,
    };
    EXPECT_EQ(f.logLines(), expected);
    EXPECT_EQ(pdfsIn(f.out), (std::vector<std::string>{"a_Layout1.pdf", "a_Layout1_2.pdf",
                                                       "a_Model.pdf", "a_Model_2.pdf"}));
    EXPECT_EQ(f.app().documents().size(), 1u) << "the job closes what it opened";
    EXPECT_EQ(f.app().currentDocument(), user);
}

TEST(PlotFilesJob, FilesThatAreNotPlottedCountAsFailures) {
    FilesFixture f;
    const std::string a = f.drawingFile("a.dxf");  // two layouts
    const std::string missing = f.file("missing.dxf");
    const std::string junk = f.file("junk.dxf");
    pdft::writeFile(junk, "this is not a drawing");
    const struct {
        std::vector<std::string> files;
        const char* done;
    } cases[] = {
        {{missing}, "DONE total=1 ok=0 fail=1"},
        {{junk}, "DONE total=1 ok=0 fail=1"},
        {{missing, junk, missing}, "DONE total=3 ok=0 fail=3"},
        {{a, missing}, "DONE total=3 ok=2 fail=1"},
        {{junk, a}, "DONE total=3 ok=2 fail=1"},
        {{}, "DONE total=0 ok=0 fail=0"},
    };
    for (const auto& c : cases) {
        f.writeConfig(c.files);
        runPlotFilesJob(f.app(), f.file("qks_plot_files.cfg"));
        EXPECT_EQ(f.logLines().back(), std::string(c.done) + " dir=" + f.out)
            << c.files.size() << " files";
        EXPECT_TRUE(f.app().documents().empty());
    }
}

TEST(PlotFilesJob, FileAlreadyOpenIsPlottedInPlace) {
    FilesFixture f;
    const std::string a = f.drawingFile("a.dxf");
    std::string error;
    const host::DocumentId open = f.app().openDocument(a, error);
    ASSERT_TRUE(open) << error;
    // An unsaved change: plotting in place shows it and leaves the document open.
    addText(f.database(open), "UNSAVED", 0, 60, 5);
    f.writeConfig({std::filesystem::path(a).parent_path().string() + "/./a.dxf"});
    runPlotFilesJob(f.app(), f.file("qks_plot_files.cfg"));
    EXPECT_EQ(f.logLines().back(), "DONE total=2 ok=2 fail=0 dir=" + f.out);
    ASSERT_EQ(f.app().documents().size(), 1u);
    EXPECT_EQ(f.app().currentDocument(), open);
    std::string text;
    pdft::run("pdftotext " + pdft::quote(f.out + "/a_Model.pdf") + " -", text);
    EXPECT_NE(text.find("UNSAVED"), std::string::npos);
}

TEST(PlotFilesJob, ConfigProblemsAndEngineFailure) {
    FilesFixture f;
    // No config anywhere: the fallback log.
    ::unsetenv("QKS_PLOT_CFG");
    runPlotFilesJob(f.app(), {});
    EXPECT_EQ(pdft::readFile(f.file("qks_plot_files.log")), "FATAL 未找到批量文件配置\r\n");
    // The environment variable names the config when the bridge gives none.
    const std::string a = f.drawingFile("a.dxf");
    f.writeConfig({a});
    std::filesystem::rename(f.file("qks_plot_files.cfg"), f.file("env.cfg"));
    ::setenv("QKS_PLOT_CFG", f.file("env.cfg").c_str(), 1);
    runPlotFilesJob(f.app(), {});
    ::unsetenv("QKS_PLOT_CFG");
    EXPECT_EQ(f.logLines().back(), "DONE total=2 ok=2 fail=0 dir=" + f.out);
    // outDir missing.
    pdft::writeFile(f.file("c.cfg"), "log=" + f.logPath() + "\nfile=" + a + "\n");
    runPlotFilesJob(f.app(), f.file("c.cfg"));
    EXPECT_EQ(f.logLines(),
              (std::vector<std::string>{"QKS 批量文件出图开始 files=1", "FATAL 未设置输出目录"}));
    // No engine: the file loop stops, the summary is still written, the document is closed.
    f.writeConfig({a, a});
    failPublishCall("createPublishEngine");
    runPlotFilesJob(f.app(), f.file("qks_plot_files.cfg"));
    EXPECT_EQ(f.logLines(), (std::vector<std::string>{"QKS 批量文件出图开始 files=2", "OPEN " + a,
                                                      "FATAL 无法创建出版引擎",
                                                      "DONE total=0 ok=0 fail=0 dir=" + f.out}));
    EXPECT_TRUE(f.app().documents().empty());
}

}  // namespace
