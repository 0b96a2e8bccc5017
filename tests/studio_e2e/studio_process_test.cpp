// QksStudio as its user meets it: the real program on a private X server, driven through the
// --script mode of its test build (the same code with the script driver added), talking over the
// bridge to qkshost with the plug-in loaded. Each case has its own temporary folder, which is the
// TMPDIR of both programs (so the bridge socket is private), and its own X server. The screenshots
// stay in the build tree (test-output/studio-e2e) for a person to look at; the cases check them
// only for the theme's colours and the preview's parts.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QColor>
#include <QImage>
#include <QString>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "qks/testing/checkers.h"
#include "qks/testing/process.h"
#include "qks/testing/temp_dir.h"

#include "qks/contract/layout_check.h"
#include "qks/contract/nest_layout_format.h"
#include "qks/contract/version.h"
#include "qks/contract/view_format.h"

// What the bridge and the version command report: the project's own version.
static const std::string kVersion{qks::contract::kProductVersion};

namespace qks::testing {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

const std::string kHost = hostProgram();
const std::string kStudio = QKS_TEST_STUDIO;
const std::string kScriptedStudio = QKS_TEST_SCRIPTED_STUDIO;
const std::string kShots = QKS_TEST_SHOTS_DIR;
const std::string kSource = QKS_TEST_SOURCE_DIR;
const std::string kConnected = "已连接 qkshost · " + kVersion;
// Upper bounds for a hung run only (sanitizer builds on two loaded cores are slow); no case
// passes or fails on how fast something happened.
constexpr const char* kUntilMs = "120000";
constexpr auto kStudioLimit = 400s;
// Goes before every screenshot: a page or label that just changed is laid out in the following
// event-loop turns, and the shot should show what a person sees.
const std::string kSettle = "wait 500\n";

std::string findProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::istringstream folders(path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin");
    for (std::string folder; std::getline(folders, folder, ':');) {
        const std::string candidate = (folder.empty() ? "." : folder) + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}

// A child that is asked to end with SIGTERM (Xvfb then removes its lock file and socket,
// qkshost its bridge socket) before ChildProcess falls back to SIGKILL.
class PoliteChild {
  public:
    PoliteChild(const std::vector<std::string>& argv, const std::string& outputPath,
                const std::vector<std::string>& env)
        : process_(argv, outputPath, env) {}
    ~PoliteChild() { stop(); }
    PoliteChild(const PoliteChild&) = delete;
    PoliteChild& operator=(const PoliteChild&) = delete;

    // The exit status; -1 when the child would not end.
    int stop() {
        if (!process_.started()) return -1;
        const int status = process_.wait(0ms);
        if (status != -1) return status;
        process_.signal(SIGTERM);
        return process_.wait(30s);
    }
    ChildProcess& process() { return process_; }

  private:
    ChildProcess process_;
};

// The pointer starts in the middle of the screen: with this size it is off the window, so no
// widget is drawn hovered.
constexpr const char* kScreen = "2600x1700x24";

// Xvfb on the first free display, which it reports through a pipe (-displayfd), so parallel
// runs never race for a display number.
class XServer {
  public:
    XServer(const std::string& program, const TempDir& dir) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) {
            problem_ = "no pipe";
            return;
        }
        ::fcntl(fds[1], F_SETFD, 0);  // only the write end is inherited
        server_ = std::make_unique<PoliteChild>(
            std::vector<std::string>{program, "-displayfd", std::to_string(fds[1]), "-nolisten",
                                     "tcp", "-screen", "0", kScreen},
            dir.file("xvfb.txt"), std::vector<std::string>{});
        ::close(fds[1]);
        std::string number;
        const auto end = std::chrono::steady_clock::now() + 60s;
        while (number.find('\n') == std::string::npos && std::chrono::steady_clock::now() < end) {
            pollfd p{fds[0], POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) continue;
            char c[16];
            const ssize_t n = ::read(fds[0], c, sizeof c);
            if (n <= 0) break;  // Xvfb ended without a display
            number.append(c, static_cast<std::size_t>(n));
        }
        ::close(fds[0]);
        if (number.find('\n') == std::string::npos || !server_->process().started())
            problem_ = "Xvfb did not start: " + server_->process().output();
        else
            display_ = ":" + number.substr(0, number.find('\n'));
    }

    bool ready() const { return problem_.empty(); }
    const std::string& problem() const { return problem_; }
    const std::string& display() const { return display_; }

  private:
    std::unique_ptr<PoliteChild> server_;
    std::string display_;
    std::string problem_;
};

// How many pixels lie within `tolerance` of `colour` in every channel.
int pixelsNear(const QImage& image, QColor colour, int tolerance) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    int count = 0;
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x)
            if (std::abs(qRed(line[x]) - colour.red()) <= tolerance &&
                std::abs(qGreen(line[x]) - colour.green()) <= tolerance &&
                std::abs(qBlue(line[x]) - colour.blue()) <= tolerance)
                ++count;
    }
    return count;
}

// A screenshot of the window: window sized, mostly the dark background, with the amber accent.
void expectStudioLook(const std::string& path) {
    SCOPED_TRACE(path);
    const QImage shot(QString::fromStdString(path));
    ASSERT_FALSE(shot.isNull());
    EXPECT_GE(shot.width(), 980);
    EXPECT_GE(shot.height(), 640);
    const int all = shot.width() * shot.height();
    const int dark =
        pixelsNear(shot, QColor("#0f1216"), 3) + pixelsNear(shot, QColor("#12161b"), 3);
    EXPECT_GT(dark, all / 4) << "dark background";
    EXPECT_GT(pixelsNear(shot, QColor("#f0a32a"), 8), 200) << "amber accent";
}

// The parts drawn in the nest preview: outline and translucent fill in the part blue.
int previewPartPixels(const std::string& path) {
    const QImage shot(QString::fromStdString(path));
    return pixelsNear(shot, QColor("#2563eb"), 10) + pixelsNear(shot, QColor(216, 227, 251), 4);
}

// The seconds at the end of the nest summary "N 张板 · 未放 U 件 · 3.1s".
double summarySeconds(const std::string& summary) {
    const std::size_t dot = summary.rfind("· ");
    if (dot == std::string::npos) return -1;
    return std::atof(summary.c_str() + dot + 3);
}

class StudioProcess : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string xvfb = findProgram("Xvfb");
        if (xvfb.empty()) GTEST_SKIP() << "Xvfb is not installed (Debian package xvfb)";
        x_ = std::make_unique<XServer>(xvfb, dir_);
        ASSERT_TRUE(x_->ready()) << x_->problem();
        fs::create_directories(dir_.file("home"));
        fs::create_directory(dir_.file("run"));
        fs::permissions(dir_.file("run"), fs::perms::owner_all);
        fs::create_directories(kShots);
        fs::create_directory(tmp_);
    }

    // Starts qkshost serving the bridge, with `drawings` open (the last one is current); true
    // once its socket is in place. With `console` its standard input stays open for typing.
    bool startHost(const std::vector<std::string>& drawings = {}, bool console = false) {
        std::vector<std::string> argv{kHost, "--serve"};
        if (!console) argv.push_back("--no-stdin");
        argv.insert(argv.end(), drawings.begin(), drawings.end());
        host_ = std::make_unique<PoliteChild>(argv, dir_.file("host.txt"), hostEnvironment(tmp_));
        // The bridge renames its socket into place once it listens: from then on a connect works.
        return eventually([&] { return fs::exists(temp("qksstudio")); }, 60s);
    }

    // The first line every script starts with: the start-up connection has made the chip green.
    static std::string connected() { return "until chip " + kConnected + " " + kUntilMs + "\n"; }

    // The path of screenshot `name`, with a shot of an earlier run removed.
    static std::string shot(const std::string& name) {
        const std::string path = kShots + "/" + name;
        fs::remove(path);
        return path;
    }

    // What every QksStudio of a test runs with: the test's own folders and X server.
    std::vector<std::string> studioEnvironment() const {
        // libxkbcommon-x11 passes strndup atom names that are not NUL-terminated; the address
        // sanitizer's strict string checks report that as an overflow inside the system library.
        // Qt's platform plug-in and the libraries under it have no frame pointers: a stack
        // unwound the fast way stops inside them, short of the library names the leak
        // suppressions match, so their allocations are unwound the slow way.
        const char* asan = std::getenv("ASAN_OPTIONS");
        const std::string asanOptions =
            (asan != nullptr && *asan != '\0' ? std::string(asan) + ":" : std::string()) +
            "intercept_strndup=0:fast_unwind_on_malloc=0";
        return {"TMPDIR=" + tmp_,
                "DISPLAY=" + x_->display(),
                "QT_QPA_PLATFORM=xcb",
                "HOME=" + dir_.file("home"),
                "XDG_CONFIG_HOME=" + dir_.file("home"),
                "XDG_RUNTIME_DIR=" + dir_.file("run"),
                "ASAN_OPTIONS=" + asanOptions};
    }

    // Runs QksStudio with `script`; returns its exit status. `whileRunning` is called once
    // with the running program.
    int runStudio(const std::string& script,
                  const std::function<void(ChildProcess&)>& whileRunning = {},
                  const std::vector<std::string>& drawings = {}) {
        const std::string path = dir_.write("studio.script", script);
        std::vector<std::string> argv{kScriptedStudio, "--script", path};
        argv.insert(argv.end(), drawings.begin(), drawings.end());
        ChildProcess studio(argv, dir_.file("studio.txt"), studioEnvironment());
        if (!studio.started()) return -1;
        if (whileRunning) whileRunning(studio);
        const int status = studio.wait(kStudioLimit);
        studioOutput_ = studio.output();
        return status;
    }

    std::string saved(const std::string& name) const { return readAll(dir_.file(name)); }

    // Runs xdotool on the test's X server with `arguments`: real pointer and key events, as a
    // person's. True when it ran and exited with 0.
    bool xdotool(const std::vector<std::string>& arguments) {
        const std::string program = findProgram("xdotool");
        if (program.empty()) return false;
        std::vector<std::string> argv{program};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        ChildProcess run(argv, dir_.file("xdotool.txt"), {"DISPLAY=" + x_->display()});
        return run.started() && run.wait(30s) == 0;
    }
    // The programs' temporary folder and the files the jobs exchange in it.
    std::string temp(const std::string& name) const { return tmp_ + "/" + name; }
    std::string job(const std::string& name) const { return readAll(temp(name)); }
    std::string hostOutput() { return host_ ? host_->process().output() : std::string(); }

    // Where drawing coordinates land on the screen: the canvas's place and mapping the script's
    // "canvas" command wrote, and the display list's origin.
    struct CanvasMapping {
        double left = 0, top = 0, width = 0, height = 0, scale = 1, cx = 0, cy = 0;
        double originX = 0, originY = 0;
        std::vector<std::string> screen(double x, double y) const {
            return {std::to_string(std::lround(left + width / 2 + (x - originX - cx) * scale)),
                    std::to_string(std::lround(top + height / 2 - (y - originY - cy) * scale))};
        }
    };
    // The mapping once the running `studio` has written `canvas`; null when it ended first.
    std::optional<CanvasMapping> awaitCanvas(ChildProcess& studio, const std::string& canvas) {
        if (!eventually([&] { return fs::exists(canvas) || studio.wait(0ms) != -1; },
                        kStudioLimit) ||
            !fs::exists(canvas))
            return std::nullopt;
        CanvasMapping m;
        std::istringstream geometry(readAll(canvas));
        geometry >> m.left >> m.top >> m.width >> m.height >> m.scale >> m.cx >> m.cy;
        const auto view = contract::readView(readAll(temp("qks_view.bin")));
        if (!view) return std::nullopt;
        m.originX = view->originX;
        m.originY = view->originY;
        return m;
    }

    // Waits for the host to write the nest drawing, stops the host and returns the checker's
    // reading of `drawing`.
    std::string nestDrawingFacts(const std::string& drawing) {
        EXPECT_TRUE(eventually(
            [&] { return job("qks_nest.log").find("NEST 已生成 ") != std::string::npos; }, 120s))
            << job("qks_nest.log");
        EXPECT_EQ(host_->stop(), 0) << hostOutput();
        return checkNestDrawing(drawing, 10, 2);
    }

    TempDir dir_;
    // The temporary folder of both programs (holding the bridge socket), named with a blank and
    // CJK characters as Windows user profiles often are.
    const std::string tmp_ = dir_.file("临时 目录");
    std::unique_ptr<XServer> x_;
    std::unique_ptr<PoliteChild> host_;
    std::string studioOutput_;
};

TEST_F(StudioProcess, ConnectsShowsEveryPageAndNoticesTheHostGoing) {
    ASSERT_TRUE(startHost()) << hostOutput();
    const char* pages[] = {"page-1-plot.png",     "page-2-merge.png", "page-3-nest.png",
                           "page-4-annotate.png", "page-5-bom.png",   "page-6-settings.png"};
    std::string script = connected() + "savelog chip " + dir_.file("chip.txt") +
                         "\nsavelog footer " + dir_.file("footer.txt") + "\n";
    for (int page = 0; page < 6; ++page)
        // The page's layout settles in the event loop after it is first shown.
        script +=
            "page " + std::to_string(page) + "\n" + kSettle + "shot " + shot(pages[page]) + "\n";
    // The nest page's whole form in a taller window.
    script += "size 1180 1240\npage 2\n" + kSettle + "shot " + shot("page-3-nest-whole.png") + "\n";
    // Then the host goes away while the window stays open.
    const std::string shown = dir_.file("shown.txt");
    script += "savelog chip " + shown + "\nuntil chip 连接已断开 " + kUntilMs + "\nsavelog chip " +
              dir_.file("gone.txt") + "\n";
    int hostStatus = -1;
    const int status = runStudio(script, [&](ChildProcess& studio) {
        eventually([&] { return fs::exists(shown) || studio.wait(0ms) != -1; }, kStudioLimit);
        hostStatus = host_->stop();
    });
    ASSERT_EQ(status, 0) << studioOutput_ << hostOutput();
    EXPECT_EQ(hostStatus, 0) << hostOutput();
    EXPECT_EQ(saved("chip.txt"), kConnected);
    EXPECT_EQ(saved("footer.txt"), "通道正常，可以运行功能");
    EXPECT_EQ(saved("gone.txt"), "连接已断开");
    for (const char* page : pages) {
        const std::string path = kShots + "/" + page;
        expectStudioLook(path);
        // The chip's dot is green while connected.
        EXPECT_GE(pixelsNear(QImage(QString::fromStdString(path)), QColor("#35c07a"), 6), 12)
            << path;
    }
    EXPECT_LT(previewPartPixels(kShots + "/page-3-nest.png"), 200) << "no parts before a nest";
}

TEST_F(StudioProcess, PlotsDrawingFilesToPdf) {
    ASSERT_TRUE(startHost()) << hostOutput();
    const std::string out = dir_.file("pdf 输出");
    const std::string frames = kSource + "/tests/fixtures/plot/frames.dxf";
    const std::string entities = kSource + "/tests/fixtures/plot/entities.dxf";
    const std::string done = shot("plot-done.png");
    const std::string script = connected() + "page 0\nset plot.outDir " + out +
                               "\nset plot.prefix P\nset plot.scope frames\n"
                               "set plot.target files\nfiles " +
                               frames + ";" + entities +
                               "\nclick 添加文件\nclick 开始出图\n"
                               "until plot.status 出图完成 " +
                               kUntilMs + "\nsavelog plot.log " + dir_.file("view.txt") + "\n" +
                               kSettle + "shot " + done + "\n";
    ASSERT_EQ(runStudio(script), 0) << studioOutput_ << hostOutput();
    EXPECT_EQ(host_->stop(), 0) << hostOutput();

    // The page wrote its job into the private temporary folder, and the plug-in's log came
    // through to the page's view line by line.
    EXPECT_NE(job("qks_plot_files.cfg").find("outDir=" + out + "\n"), std::string::npos);
    const std::string view = saved("view.txt");
    EXPECT_NE(view.find("已提交，等待 qkshost 执行\nQKS 批量文件出图开始 files=2\nOPEN " + frames),
              std::string::npos)
        << view;
    EXPECT_NE(view.find("\nDONE total=5 ok=5 fail=0 dir=" + out), std::string::npos) << view;
    EXPECT_EQ(view.find("ERR"), std::string::npos) << view;

    std::vector<std::string> pdfs;
    for (const auto& entry : fs::directory_iterator(out))
        pdfs.push_back(entry.path().filename().string());
    std::sort(pdfs.begin(), pdfs.end());
    EXPECT_EQ(pdfs, (std::vector<std::string>{"entities_P_Model.pdf", "entities_P_Sheet.pdf",
                                              "frames_P_QK-001.pdf", "frames_P_QK-002 图纸.pdf",
                                              "frames_P_frame_2.pdf"}));
    for (const auto& name : pdfs) {
        const std::string info = pdfInfo(out + "/" + name);
        EXPECT_NE(info.find("Pages:           1\n"), std::string::npos) << name << info;
    }
    expectStudioLook(done);
}

TEST_F(StudioProcess, MergesDrawingsIntoOne) {
    ASSERT_TRUE(startHost()) << hostOutput();
    const std::string folder = dir_.file("合并 输出");
    const std::string fixtures = kSource + "/tests/fixtures/merge/";
    const std::string done = shot("merge-done.png");
    // The output name has no suffix: the page adds ".dwg", the host writes DXF beside it.
    const std::string script = connected() + "page 1\nfiles " + fixtures + "rect_100x50.dxf;" +
                               fixtures + "offset_60x30.dxf\nclick 添加文件\nset merge.out " +
                               folder + "/合并图\nset merge.columns 2\nclick 开始合并\n" +
                               "until merge.status 合并完成 " + kUntilMs + "\nsavelog merge.log " +
                               dir_.file("view.txt") + "\nsavelog merge.out " +
                               dir_.file("out.txt") + "\n" + kSettle + "shot " + done + "\n";
    ASSERT_EQ(runStudio(script), 0) << studioOutput_ << hostOutput();
    EXPECT_EQ(host_->stop(), 0) << hostOutput();

    const std::string drawing = folder + "/合并图.dxf";
    EXPECT_EQ(saved("out.txt"), folder + "/合并图.dwg");
    const std::string view = saved("view.txt");
    EXPECT_NE(view.find("\nMERGED count=2 dwg=" + drawing + "\n"), std::string::npos) << view;
    EXPECT_NE(view.find("\nDONE total=1 ok=1 fail=0 dir=" + folder), std::string::npos) << view;

    const std::string facts = checkMergedDrawing(drawing);
    EXPECT_NE(facts.find("AUDIT OK\n"), std::string::npos) << facts;
    EXPECT_NE(facts.find("BLOCK QKS_rect_100x50_0\n"), std::string::npos) << facts;
    EXPECT_NE(facts.find("BLOCK QKS_offset_60x30_1\n"), std::string::npos) << facts;
    const std::string info = pdfInfo(folder + "/合并图_model.pdf");
    EXPECT_NE(info.find("Pages:           1\n"), std::string::npos) << info;
    expectStudioLook(done);
}

TEST_F(StudioProcess, NestsTheSamplesWithALivePreviewAndStops) {
    ASSERT_TRUE(startHost()) << hostOutput();
    const std::string out = dir_.file("套料 输出");
    std::string files;
    for (const char* name : {"brackets", "flanges", "channels", "gussets", "discs"})
        files += (files.empty() ? "" : ";") + kSource + "/samples/" + name + ".dxf";
    const std::string first = shot("nest-first-layout.png");
    const std::string running = shot("nest-running.png");
    const std::string stopped = shot("nest-stopped.png");
    // A long search, so only the stop button ends it.
    const std::string script =
        connected() + "page 2\nset nest.outDir " + out + "\nset nest.seconds 300\nfiles " + files +
        "\nclick 选择 DWG\nclick 开始套料\n" + "until nest.summary 张板 " + kUntilMs +
        "\nsavelog nest.summary " + dir_.file("first.txt") + "\nsavelog nest.state " +
        dir_.file("first-state.txt") + "\n" + kSettle + "shot " + first + "\nwait 2500\n" +
        kSettle + "shot " + running + "\nclick 停止并采用当前最优\n" +
        "until nest.state 已停止 · 采用最优 " + kUntilMs + "\nsavelog nest.summary " +
        dir_.file("final.txt") + "\nsavelog nest.log " + dir_.file("view.txt") + "\n" + kSettle +
        "shot " + stopped + "\n";
    // Measured, not judged: how long from the program's start until the first layout showed.
    double firstLayoutSeconds = -1;
    const auto start = std::chrono::steady_clock::now();
    const int status = runStudio(script, [&](ChildProcess& studio) {
        const auto shown = [&] { return fs::exists(dir_.file("first.txt")); };
        if (eventually([&] { return shown() || studio.wait(0ms) != -1; }, kStudioLimit) && shown())
            firstLayoutSeconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    });
    ASSERT_EQ(status, 0) << studioOutput_ << hostOutput();
    RecordProperty("first_layout_seconds_from_start", std::to_string(firstLayoutSeconds));
    std::printf("first layout shown %.1f s after the Studio started\n", firstLayoutSeconds);

    // The first layout showed while the search ran; the preview kept following it, so the
    // final summary is a later state of the search than the first one.
    const std::string firstSummary = saved("first.txt");
    const std::string finalSummary = saved("final.txt");
    EXPECT_EQ(saved("first-state.txt"), "优化中");
    EXPECT_NE(firstSummary.find(" 张板 · 未放 0 件 · "), std::string::npos) << firstSummary;
    EXPECT_NE(finalSummary.find(" 张板 · 未放 0 件 · "), std::string::npos) << finalSummary;
    EXPECT_GT(summarySeconds(finalSummary), summarySeconds(firstSummary))
        << firstSummary << " / " << finalSummary;
    EXPECT_NE(saved("view.txt").find("NEST 零件种类=10"), std::string::npos) << saved("view.txt");
    for (const auto& path : {first, running, stopped}) {
        expectStudioLook(path);
        EXPECT_GT(previewPartPixels(path), 2000) << path << ": parts in the preview";
    }

    // The host writes the best layout as the nest drawing after the stop.
    const std::string check = nestDrawingFacts(out + "/套料图.dxf");
    EXPECT_NE(job("qks_nest_progress.txt").find("STATE\tstopped"), std::string::npos);
    EXPECT_EQ(check.rfind("OK sheets=", 0), 0u) << check;
    EXPECT_NE(check.find(" parts=27 "), std::string::npos) << check;

    // Opened again later, the Studio shows the kept layout and how the run ended, host or not.
    const std::string reopened = shot("nest-reopened.png");
    ASSERT_EQ(runStudio("page 2\nuntil nest.state 已停止 · 采用最优 " + std::string(kUntilMs) +
                        "\nsavelog nest.summary " + dir_.file("reopened.txt") + "\n" + kSettle +
                        "shot " + reopened + "\n"),
              0)
        << studioOutput_;
    EXPECT_EQ(saved("reopened.txt"), finalSummary);
    EXPECT_GT(previewPartPixels(reopened), 2000) << reopened << ": parts in the preview";
}

TEST_F(StudioProcess, PlotsAndNestsTheCurrentDrawing) {
    ASSERT_TRUE(startHost({kSource + "/samples/discs.dxf"})) << hostOutput();
    const std::string pdfOut = dir_.file("当前 出图");
    const std::string nestOut = dir_.file("当前 套料");
    // The plot job runs on the drawing open in the host; the nest takes every closed contour
    // of it, with the common line, and runs until its time limit. The page follows the job to
    // the drawing it writes, which then opens in the drawing window.
    const std::string script =
        connected() + "page 0\nset plot.outDir " + pdfOut + "\nset plot.target current\n" +
        "click 开始出图\nuntil plot.status 出图完成 " + kUntilMs + "\nsavelog plot.log " +
        dir_.file("plot.txt") + "\npage 2\nset nest.outDir " + nestOut +
        "\nset nest.seconds 2\nset nest.commonLine 1\nclick 当前图全部\nsavelog nest.parts " +
        dir_.file("source.txt") + "\nclick 开始套料\nuntil nest.state 优化完成 " + kUntilMs +
        "\nsavelog nest.parts " + dir_.file("parts.txt") + "\nsavelog nest.log " +
        dir_.file("nest.txt") + "\n" + kSettle + "shot " + shot("nest-done-current.png") +
        "\nclick 在图纸窗口打开\nuntil drawing.status 套料图.dxf · " + kUntilMs + "\n";
    ASSERT_EQ(runStudio(script), 0) << studioOutput_ << hostOutput();

    EXPECT_EQ(job("qks_plot.cfg").find("file="), std::string::npos) << "no file list";
    const std::string plot = saved("plot.txt");
    EXPECT_NE(plot.find("\nQKS 批量出图开始 scope=all\n"), std::string::npos) << plot;
    const std::size_t done = plot.find("\nDONE total=");
    ASSERT_NE(done, std::string::npos) << plot;
    const int total = std::atoi(plot.c_str() + done + 12);
    EXPECT_GE(total, 1) << plot;
    EXPECT_NE(plot.find(" ok=" + std::to_string(total) + " fail=0 dir=" + pdfOut),
              std::string::npos)
        << plot;
    int pdfs = 0;
    for (const auto& entry : fs::directory_iterator(pdfOut)) {
        ++pdfs;
        const std::string info = pdfInfo(entry.path().string());
        EXPECT_NE(info.find("Pages:           1\n"), std::string::npos) << entry.path() << info;
    }
    EXPECT_EQ(pdfs, total);

    EXPECT_EQ(saved("source.txt"), "当前图纸全部轮廓");
    EXPECT_EQ(saved("parts.txt"), "2 种 / 8 件");
    const std::string nest = saved("nest.txt");
    EXPECT_NE(nest.find("QKNEST 开始 source=current\n"), std::string::npos) << nest;
    EXPECT_NE(nest.find("\nNEST 共边 节省切割长度 "), std::string::npos) << nest;
    EXPECT_NE(nest.find("\nNEST 已生成 " + nestOut + "/套料图.dxf"), std::string::npos) << nest;
    const std::string check = nestDrawingFacts(nestOut + "/套料图.dxf");
    EXPECT_EQ(check.rfind("OK sheets=1 parts=8 ", 0), 0u) << check;
    expectStudioLook(kShots + "/nest-done-current.png");
}

TEST_F(StudioProcess, PicksPartsInTheHostThenNests) {
    ASSERT_TRUE(startHost({kSource + "/tests/fixtures/nest/layers.dxf"}, true)) << hostOutput();
    const std::string out = dir_.file("框选 套料");
    const std::string script =
        connected() + "until drawing.status 个对象 " + kUntilMs + "\npage 2\nset nest.outDir " +
        out + "\nset nest.seconds 2\n" + "click 在图纸窗口中框选\nuntil nest.parts 种 " + kUntilMs +
        "\nsavelog nest.parts " + dir_.file("parts.txt") +
        "\nclick 开始套料\nuntil nest.state 优化完成 " + kUntilMs + "\nsavelog nest.log " +
        dir_.file("nest.txt") + "\n" + kSettle + "shot " + shot("nest-done-picked.png") + "\n";
    // The pick command starts its job log, then asks for the selection on the host's console:
    // the person at the drawing answers it.
    bool answered = false;
    const int status = runStudio(script, [&](ChildProcess& studio) {
        const auto asking = [&] { return fs::exists(temp("qks_nest.log")); };
        if (eventually([&] { return asking() || studio.wait(0ms) != -1; }, kStudioLimit) &&
            asking())
            answered = host_->process().writeInput("ALL\n");
    });
    ASSERT_EQ(status, 0) << studioOutput_ << hostOutput();
    EXPECT_TRUE(answered);
    EXPECT_NE(hostOutput().find("[QKS] 已框选 2 种 / 2 件，正在准备套料..."), std::string::npos)
        << hostOutput();
    EXPECT_EQ(saved("parts.txt"), "2 种 / 2 件");
    EXPECT_NE(job("qks_nest.cfg").find("source=picked\n"), std::string::npos);
    const std::string nest = saved("nest.txt");
    EXPECT_NE(nest.find("QKNEST 开始 source=picked\nNEST 零件种类=2\n"), std::string::npos) << nest;
    const std::string check = nestDrawingFacts(out + "/套料图.dxf");
    EXPECT_EQ(check.rfind("OK sheets=1 parts=2 ", 0), 0u) << check;
}

// The card opens the BOM page, whose job the host runs on a sample drawing: its rows fill the
// page's table.
TEST_F(StudioProcess, BomCardRunsTheJobPageAndListsItsRows) {
    ASSERT_TRUE(startHost()) << hostOutput();
    const std::string out = dir_.file("BOM 输出");
    const std::string drawing = kSource + "/samples/brackets.dxf";
    const std::string submitted = dir_.file("submitted.txt");
    const std::string listed = shot("bom-rows.png");
    const std::string script = connected() + "page 4\ncard 重量计算\nset bom.outDir " + out +
                               "\nfiles " + drawing +
                               "\nclick 添加文件\nclick 开始生成\nsavelog bom.log " + submitted +
                               "\nuntil bom.status 生成完成 " + kUntilMs + "\nsavelog bom.rows " +
                               dir_.file("rows.txt") + "\n" + kSettle + "shot " + listed + "\n";
    const int status = runStudio(script);
    ASSERT_EQ(status, 0) << studioOutput_ << hostOutput();

    // The host took the request ("QUEUED": no warning in the page's log).
    EXPECT_EQ(saved("submitted.txt").find("[警告]"), std::string::npos) << saved("submitted.txt");
    const std::string config = job("qks_bom.cfg");
    EXPECT_NE(config.find("outDir=" + out + "\nout=BOM.xlsx\nlog=" + temp("qks_bom.log") +
                          "\nfile=" + drawing + "\n"),
              std::string::npos)
        << config;
    EXPECT_NE(config.find("\nmaterial SUS304=7.93,0.45,1:0.4,3:0.43\n"), std::string::npos)
        << config;
    // Two kinds of bracket, without a title block: the defaults, and the drawing as source.
    const std::string rows = saved("rows.txt");
    EXPECT_EQ(rows.rfind("brackets\tbrackets-1\t2\tQ235\t", 0), 0u) << rows;
    EXPECT_NE(rows.find("\nbrackets\tbrackets-2\t1\tQ235\t"), std::string::npos) << rows;
    EXPECT_NE(rows.find("\t" + drawing), std::string::npos) << rows;
    expectStudioLook(listed);
}

// The 面积与周长 card opens the tools page, whose job the host runs on a sample drawing: the parts'
// areas fill the page's table and the tidied drawing lands in the output folder.
TEST_F(StudioProcess, AreaCardRunsTheToolsJobAndListsTheParts) {
    ASSERT_TRUE(startHost()) << hostOutput();
    const std::string out = dir_.file("整理 输出");
    const std::string drawing = kSource + "/samples/brackets.dxf";
    const std::string listed = shot("tools-areas.png");
    const std::string script =
        connected() + "page 3\ncard 面积与周长\nset tools.outDir " + out + "\nfiles " + drawing +
        "\nclick 添加文件\nclick 开始处理\n" + "until tools.status 处理完成 " + kUntilMs +
        "\nsavelog tools.table " + dir_.file("rows.txt") + "\nsavelog tools.log " +
        dir_.file("view.txt") + "\n" + kSettle + "shot " + listed + "\n";
    ASSERT_EQ(runStudio(script), 0) << studioOutput_ << hostOutput();

    EXPECT_NE(job("qks_tools.cfg").find("\nfile=" + drawing + "\nop=area\n"), std::string::npos)
        << job("qks_tools.cfg");
    const std::string view = saved("view.txt");
    EXPECT_EQ(view.find("[警告]"), std::string::npos) << view;
    EXPECT_NE(view.find("\nDONE total=1 ok=1 fail=0"), std::string::npos) << view;
    // The job's count of parts is the table's count of rows, each numbered and measured.
    const std::size_t counted = view.find("AREA brackets 零件 ");
    ASSERT_NE(counted, std::string::npos) << view;
    const int parts = std::atoi(view.c_str() + counted + std::string("AREA brackets 零件 ").size());
    EXPECT_GE(parts, 2) << view;
    std::istringstream rows(saved("rows.txt"));
    int row = 0;
    for (std::string line; std::getline(rows, line);) {
        ++row;
        std::vector<std::string> cells;
        std::istringstream fields(line);
        for (std::string cell; std::getline(fields, cell, '\t');)
            cells.push_back(cell);
        ASSERT_GE(cells.size(), 5u) << line;
        EXPECT_EQ(cells[0], drawing);
        EXPECT_EQ(cells[1], std::to_string(row));
        EXPECT_GT(std::atof(cells[3].c_str()), 0.0) << line;  // area
        EXPECT_GT(std::atof(cells[4].c_str()), 0.0) << line;  // perimeter
    }
    EXPECT_EQ(row, parts) << saved("rows.txt");
    EXPECT_TRUE(fs::exists(out + "/brackets_整理.dxf"));
    EXPECT_TRUE(fs::exists(out + "/标注清理.xlsx"));
    expectStudioLook(listed);
}

// A drawing named on the Studio's command line opens in its drawing window; the nest page's
// pick asks the host for a selection, which the person makes there with a real drag of the
// mouse from left to right round two of three plates and Enter: the parts file holds exactly
// those two.
TEST_F(StudioProcess, PicksPartsInTheDrawingWindowWithTheMouse) {
    if (findProgram("xdotool").empty()) GTEST_SKIP() << "xdotool is not installed";
    ASSERT_TRUE(startHost()) << hostOutput();
    const std::string drawing = kSource + "/tests/fixtures/studio/three_plates.dxf";
    const std::string canvas = dir_.file("canvas.txt");
    const std::string shown = shot("drawing-window.png");
    const std::string script =
        connected() + "until drawing.status 6 个对象 " + kUntilMs + "\n" + kSettle + "shot " +
        shown + "\npage 2\nclick 在图纸窗口中框选\nuntil drawing.prompt 请在图纸窗口中框选零件 " +
        kUntilMs + "\n" + kSettle + "canvas " + canvas + "\nuntil nest.parts 种 " + kUntilMs +
        "\nsavelog nest.parts " + dir_.file("parts.txt") + "\n";
    bool dragged = false;
    const int status =
        runStudio(script,
                  [&](ChildProcess& studio) {
                      const std::optional<CanvasMapping> mapping = awaitCanvas(studio, canvas);
                      ASSERT_TRUE(mapping);
                      const auto screen = [&](double x, double y) { return mapping->screen(x, y); };
                      // Plates at x 0..60 and 100..150 (the third at 200..240), all within y 0..40.
                      const auto from = screen(-10, -10);
                      const auto to = screen(170, 55);
                      // Pauses between the steps, so a sanitizer build on a busy machine sees each
                      // one before the next (a release seen after the Return would answer an empty
                      // pick).
                      dragged = xdotool({"mousemove",
                                         from[0],
                                         from[1],
                                         "sleep",
                                         "0.2",
                                         "mousedown",
                                         "1",
                                         "sleep",
                                         "0.2",
                                         "mousemove",
                                         std::to_string(std::stol(from[0]) + 20),
                                         from[1],
                                         "sleep",
                                         "0.2",
                                         "mousemove",
                                         to[0],
                                         to[1],
                                         "sleep",
                                         "0.2",
                                         "mouseup",
                                         "1",
                                         "sleep",
                                         "0.5",
                                         "key",
                                         "Return"});
                  },
                  {drawing});
    ASSERT_EQ(status, 0) << studioOutput_ << hostOutput();
    EXPECT_TRUE(dragged);
    EXPECT_NE(hostOutput().find("[QKS] 已框选 2 种 / 2 件"), std::string::npos) << hostOutput();
    EXPECT_EQ(saved("parts.txt"), "2 种 / 2 件");
    // The parts file holds the 60 x 40 and 50 x 30 plates, not the 40 x 40 one.
    std::istringstream parts(job("qks_nest_parts.txt"));
    std::vector<std::string> sizes;
    for (std::string line; std::getline(parts, line);) {
        if (line.rfind("P\t", 0) != 0) continue;
        std::vector<std::string> fields;
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, '\t');)
            fields.push_back(cell);
        ASSERT_GE(fields.size(), 8u) << line;
        sizes.push_back(std::to_string(std::lround(std::atof(fields[6].c_str()))) + "x" +
                        std::to_string(std::lround(std::atof(fields[7].c_str()))));
    }
    std::sort(sizes.begin(), sizes.end());
    EXPECT_EQ(sizes, (std::vector<std::string>{"50x30", "60x40"})) << job("qks_nest_parts.txt");
    expectStudioLook(shown);
}

// A point of the part's material near its middle (the middle itself may be a hole).
contract::Point materialPoint(const contract::PlacedPart& part) {
    const geometry::Bounds& b = part.box;
    const contract::Point middle{(b.minX + b.maxX) / 2, (b.minY + b.maxY) / 2};
    contract::Point best = middle;
    double nearest = 1e300;
    for (int i = 1; i < 20; ++i)
        for (int j = 1; j < 20; ++j) {
            const contract::Point p{b.minX + (b.maxX - b.minX) * i / 20,
                                    b.minY + (b.maxY - b.minY) * j / 20};
            bool inHole = false;
            for (const auto& hole : part.shape.holes)
                inHole = inHole || geometry::pointInPolygon(hole, p.x, p.y);
            const double d = std::hypot(p.x - middle.x, p.y - middle.y);
            if (!inHole && geometry::pointInPolygon(part.shape.outline, p.x, p.y) && d < nearest) {
                nearest = d;
                best = p;
            }
        }
    return best;
}

// After a nest, 调整 in the drawing window with the mouse: one part dragged to a free place and
// saved, another dragged onto it and refused. The plug-in redraws the nest drawing; ezdxf and
// shapely find the part where it was dropped and no two parts closer than the gap.
TEST_F(StudioProcess, AdjustsANestInTheDrawingWindowWithTheMouse) {
    if (findProgram("xdotool").empty()) GTEST_SKIP() << "xdotool is not installed";
    ASSERT_TRUE(startHost({kSource + "/samples/discs.dxf"})) << hostOutput();
    const std::string out = dir_.file("调整 输出");
    const std::string drawing = out + "/套料图.dxf";
    const std::string canvas = dir_.file("canvas.txt");
    const std::string script =
        connected() + "page 2\nset nest.outDir " + out +
        "\nset nest.seconds 2\nclick 当前图全部\nclick 开始套料\nuntil nest.state 优化完成 " +
        kUntilMs + "\nclick 在图纸窗口打开\nuntil drawing.status 套料图.dxf · " + kUntilMs +
        "\nclick 调整\nuntil drawing.adjust 利用率 " + kUntilMs + "\n" + kSettle + "shot " +
        shot("adjust-mode.png") + "\ncanvas " + canvas + "\nuntil drawing.message 不能放在这里 " +
        kUntilMs + "\nsavelog drawing.adjust " + dir_.file("totals.txt") +
        "\nclick 保存\nuntil drawing.message 已保存 " + kUntilMs + "\nsavelog drawing.message " +
        dir_.file("answer.txt") + "\n" + kSettle + "shot " + shot("adjust-saved.png") + "\n";
    std::optional<contract::NestLayout> before;
    std::size_t moved = 0, refused = 0;  // placements on the first sheet
    contract::LayoutPlacement aimed;
    double pixelMm = 0;  // drawing millimetres per screen pixel
    bool dragged = false;
    const int status = runStudio(script, [&](ChildProcess& studio) {
        const std::optional<CanvasMapping> mapping = awaitCanvas(studio, canvas);
        ASSERT_TRUE(mapping);
        pixelMm = 1 / mapping->scale;
        std::string error;
        before = contract::readLayout(readAll(out + "/套料图.qkslayout"), &error);
        ASSERT_TRUE(before) << error;
        const auto screen = [&](contract::Point p) {  // on the first sheet, which starts at x 0
            return mapping->screen(p.x, p.y);
        };
        const contract::LayoutSheet& sheet = before->sheets.at(0);
        ASSERT_GE(sheet.placements.size(), 2u);
        std::vector<contract::PlacedPart> placed;
        for (const auto& at : sheet.placements)
            placed.push_back(contract::placePart(*contract::findKind(*before, at.partId), at));
        // The largest part moves; it goes to the free place nearest the sheet's top right
        // corner with room all round, so a pixel's slip still lands it clear.
        for (std::size_t k = 1; k < placed.size(); ++k)
            if (contract::findKind(*before, sheet.placements[k].partId)->area >
                contract::findKind(*before, sheet.placements[moved].partId)->area)
                moved = k;
        refused = moved == 0 ? 1 : 0;
        contract::NestLayout spacious = *before;
        spacious.settings.gap += 40;
        spacious.settings.margin += 40;
        const contract::LayoutSettings& roomy = spacious.settings;
        const geometry::Bounds& box = placed[moved].box;
        bool found = false;
        for (double y = sheet.height - roomy.margin - (box.maxY - box.minY);
             !found && y > roomy.margin; y -= 10)
            for (double x = sheet.width - roomy.margin - (box.maxX - box.minX);
                 !found && x > roomy.margin; x -= 10) {
                contract::LayoutPlacement at = sheet.placements[moved];
                at.x = x;
                at.y = y;
                found = contract::placementFits(
                    spacious, 0, contract::placePart(*contract::findKind(spacious, at.partId), at),
                    placed, static_cast<int>(moved));
                if (found) aimed = at;
            }
        ASSERT_TRUE(found) << "no free place on the first sheet";
        const contract::Point grab = materialPoint(placed[moved]);
        const contract::Point drop{grab.x + aimed.x - sheet.placements[moved].x,
                                   grab.y + aimed.y - sheet.placements[moved].y};
        // The second part goes onto the first where it now lies, middle on middle: no place
        // within the snap's reach keeps them apart, so it is refused and stays.
        const geometry::Bounds& other = placed[refused].box;
        const contract::Point grabOther = materialPoint(placed[refused]);
        const contract::Point onto{
            grabOther.x + aimed.x + (box.maxX - box.minX - other.maxX - other.minX) / 2,
            grabOther.y + aimed.y + (box.maxY - box.minY - other.maxY - other.minY) / 2};
        const auto from = screen(grab), to = screen(drop);
        const auto second = screen(grabOther), secondTo = screen(onto);
        // A press, a first step past the click distance, the way to the drop, the release, with
        // pauses a slow build (the sanitizers' on a busy machine) needs to follow each step.
        const auto dragTo = [](const std::vector<std::string>& start,
                               const std::vector<std::string>& end) {
            return std::vector<std::string>{"mousemove",
                                            start[0],
                                            start[1],
                                            "sleep",
                                            "0.5",
                                            "mousedown",
                                            "1",
                                            "sleep",
                                            "0.5",
                                            "mousemove",
                                            std::to_string(std::stol(start[0]) + 8),
                                            start[1],
                                            "sleep",
                                            "0.5",
                                            "mousemove",
                                            end[0],
                                            end[1],
                                            "sleep",
                                            "1.5",
                                            "mouseup",
                                            "1",
                                            "sleep",
                                            "2"};
        };
        std::vector<std::string> both = dragTo(from, to);
        const std::vector<std::string> refusedDrag = dragTo(second, secondTo);
        both.insert(both.end(), refusedDrag.begin(), refusedDrag.end());
        dragged = xdotool(both);
    });
    ASSERT_EQ(status, 0) << studioOutput_ << hostOutput();
    ASSERT_TRUE(dragged && before);
    EXPECT_NE(saved("totals.txt").find(" · 未放 0 件"), std::string::npos) << saved("totals.txt");
    EXPECT_EQ(saved("answer.txt").rfind("已保存：套料图.dxf", 0), 0u) << saved("answer.txt");
    EXPECT_NE(job("qks_nest_adjust.log").find("\nNEST 已生成 " + drawing), std::string::npos)
        << job("qks_nest_adjust.log");

    // The plug-in kept the layout it drew: the moved part where it was dropped (within a pixel's
    // slip and the snap to the grid), the refused one where it was.
    std::string error;
    const auto after = contract::readLayout(readAll(out + "/套料图.qkslayout"), &error);
    ASSERT_TRUE(after) << error;
    const auto& was = before->sheets[0].placements;
    const auto& now = after->sheets.at(0).placements;
    ASSERT_EQ(now.size(), was.size());
    const double slip = 2 * pixelMm + 2 * before->settings.cell;
    EXPECT_NEAR(now[moved].x, aimed.x, slip);
    EXPECT_NEAR(now[moved].y, aimed.y, slip);
    EXPECT_GT(std::hypot(now[moved].x - was[moved].x, now[moved].y - was[moved].y), 50);
    EXPECT_EQ(now[refused], was[refused]);

    // The drawing, read independently: every part apart by the gap, one of them where the moved
    // part now lies (its true curves within the flattening's grain of the outline's box).
    ASSERT_EQ(host_->stop(), 0) << hostOutput();
    std::ostringstream gap;
    gap << before->settings.gap;
    const std::string check = runChecker("tests/nest_job/check_nest_drawing.py",
                                         {drawing, "10", "2", gap.str(), "bounds"});
    EXPECT_EQ(check.rfind("OK sheets=", 0), 0u) << check;
    const geometry::Bounds expected =
        contract::placePart(*contract::findKind(*after, now[moved].partId), now[moved]).box;
    bool there = false;
    std::istringstream lines(check);
    for (std::string word; lines >> word;) {
        if (word != "PART") continue;
        geometry::Bounds found;
        lines >> found.minX >> found.minY >> found.maxX >> found.maxY;
        there = there || (std::fabs(found.minX - expected.minX) < 0.5 &&
                          std::fabs(found.minY - expected.minY) < 0.5 &&
                          std::fabs(found.maxX - expected.maxX) < 0.5 &&
                          std::fabs(found.maxY - expected.maxY) < 0.5);
    }
    EXPECT_TRUE(there) << check;
}

// The qkshost processes whose TMPDIR is `folder`, each with its parent's process id; zombies,
// whose command line is gone, are not counted.
std::vector<std::pair<pid_t, pid_t>> hostsServing(const std::string& folder) {
    std::vector<std::pair<pid_t, pid_t>> hosts;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        const std::string command = readAll(entry.path().string() + "/cmdline");
        const std::string program = command.substr(0, command.find('\0'));
        if (fs::path(program).filename() != "qkshost") continue;
        const std::string environment = '\0' + readAll(entry.path().string() + "/environ");
        if (environment.find('\0' + std::string("TMPDIR=") + folder + '\0') == std::string::npos)
            continue;
        // "pid (name) state ppid ...": the name may hold blanks, so count from its end.
        const std::string stat = readAll(entry.path().string() + "/stat");
        const std::size_t close = stat.rfind(')');
        if (close == std::string::npos) continue;
        pid_t parent = 0;
        char state = 0;
        if (std::sscanf(stat.c_str() + close + 1, " %c %d", &state, &parent) != 2) continue;
        hosts.emplace_back(static_cast<pid_t>(std::stol(name)), parent);
    }
    return hosts;
}

// A person starts the Studio alone: it starts its own host and connects. The host is killed;
// the Studio says so and starts it again. Closed with Ctrl+Q typed on the window, the Studio
// takes its host with it.
// A second start, as the desktop entry's %F makes it, hands its drawing to the running Studio,
// which opens it in the drawing window, and ends: one Studio afterwards.
TEST_F(StudioProcess, ASecondStartHandsItsDrawingToTheRunningStudio) {
    const std::string drawing = kSource + "/tests/fixtures/studio/three_plates.dxf";
    const std::string listening = dir_.file("listening.txt");
    const std::string script = connected() + "savelog chip " + listening +
                               "\nuntil drawing.status 6 个对象 " + kUntilMs + "\nquit 0\n";
    int secondStatus = -2;
    const int status = runStudio(script, [&](ChildProcess& studio) {
        if (!eventually([&] { return fs::exists(listening) || studio.wait(0ms) != -1; },
                        kStudioLimit) ||
            !fs::exists(listening))
            return;
        ChildProcess second({kStudio, drawing}, dir_.file("second.txt"), studioEnvironment());
        secondStatus = second.wait(60s);
    });
    EXPECT_EQ(secondStatus, 0) << readAll(dir_.file("second.txt"));
    EXPECT_EQ(status, 0) << studioOutput_;
}

TEST_F(StudioProcess, StartsItsOwnHostRestartsItAndStopsItOnClose) {
    if (findProgram("xdotool").empty()) GTEST_SKIP() << "xdotool is not installed";
    ::unsetenv("QKS_HOST");  // the host installed beside the Studio: build/bin/qkshost
    const std::string connectedNow = dir_.file("connected.txt");
    const std::string restarted = dir_.file("restarted.txt");
    // The drawing named on the command line opens in the first host and again in the second.
    const std::string drawing = kSource + "/tests/fixtures/studio/three_plates.dxf";
    const std::string script =
        // The shot comes before the chip is saved: saving it is the test's cue to kill the host.
        connected() + "until drawing.status 6 个对象 " + kUntilMs + "\npage 0\n" + kSettle +
        "shot " + shot("own-host-connected.png") + "\nsavelog chip " + connectedNow +
        "\nuntil footer 已重新启动 " + kUntilMs + "\nsavelog footer " + dir_.file("footer.txt") +
        "\nsavelog plot.log " + dir_.file("log.txt") + "\n" + kSettle + "shot " +
        shot("own-host-restarted.png") + "\nsavelog chip " + restarted + "\nwait 300000\nquit 7\n";
    pid_t first = 0, second = 0;
    bool typed = false, reopened = false;
    std::string lastDocuments;
    const int status = runStudio(
        script,
        [&](ChildProcess& studio) {
            const auto ended = [&] { return studio.wait(0ms) != -1; };
            if (!eventually([&] { return fs::exists(connectedNow) || ended(); }, kStudioLimit) ||
                !fs::exists(connectedNow))
                return;
            std::vector<std::pair<pid_t, pid_t>> hosts = hostsServing(tmp_);
            ASSERT_EQ(hosts.size(), 1u);
            EXPECT_EQ(hosts[0].second, studio.pid()) << "the Studio's own child";
            first = hosts[0].first;
            // The Studio restarted itself with its heap on huge pages, and its host inherits it.
            // Restarted under its own name, not the /proc link's.
            EXPECT_EQ(readAll("/proc/" + std::to_string(studio.pid()) + "/comm"),
                      fs::path(kScriptedStudio).filename().string().substr(0, 15) + "\n");
            if (std::getenv("GLIBC_TUNABLES") == nullptr) {
                EXPECT_NE(readAll("/proc/" + std::to_string(first) + "/environ")
                              .find("GLIBC_TUNABLES=glibc.malloc.hugetlb=1"),
                          std::string::npos);
            }
            // Only the second host can write the display list from here on.
            fs::remove(temp("qks_view.bin"));
            ::kill(first, SIGKILL);
            if (!eventually([&] { return fs::exists(restarted) || ended(); }, kStudioLimit) ||
                !fs::exists(restarted))
                return;
            hosts = hostsServing(tmp_);
            ASSERT_EQ(hosts.size(), 1u);
            second = hosts[0].first;
            // A host started without drawings also holds an empty new one.
            reopened = eventually(
                [&] {
                    const auto view = contract::readView(readAll(temp("qks_view.bin")));
                    lastDocuments.clear();
                    bool shown = false;
                    for (const auto& document :
                         view ? view->documents : decltype(view->documents){}) {
                        lastDocuments += document.path + (document.current ? " (current)\n" : "\n");
                        shown = shown || (document.current && document.path == drawing);
                    }
                    return shown;
                },
                60s);
            typed = xdotool({"search", "--sync", "--onlyvisible", "--name", "^Corvane Studio$",
                             "windowfocus", "--sync", "key", "ctrl+q"});
        },
        {drawing});
    ASSERT_EQ(status, 0) << studioOutput_;
    EXPECT_TRUE(typed);
    EXPECT_TRUE(reopened) << "the restarted host shows the drawing again: " << lastDocuments;
    EXPECT_EQ(saved("connected.txt"), kConnected);
    // The page in view (批量出图) logs the host's death and its return; the footer ends on the
    // return, which the window announces only once the new host's bridge answered.
    EXPECT_EQ(saved("footer.txt"), "qkshost 已重新启动，通道正常");
    EXPECT_NE(saved("log.txt").find("[警告] qkshost 意外退出（进程被终止），正在重新启动\n[提示] "
                                    "qkshost 已重新启动，通道正常"),
              std::string::npos)
        << saved("log.txt");
    EXPECT_EQ(saved("restarted.txt"), kConnected);
    EXPECT_NE(second, first);
    // Closing the Studio stopped the host it started: no process, no socket left.
    EXPECT_TRUE(hostsServing(tmp_).empty());
    EXPECT_FALSE(fs::exists(temp("qksstudio")));
    for (const char* name : {"own-host-connected.png", "own-host-restarted.png"}) {
        const std::string path = kShots + "/" + name;
        expectStudioLook(path);
        EXPECT_GE(pixelsNear(QImage(QString::fromStdString(path)), QColor("#35c07a"), 6), 12)
            << path << ": the chip's dot is green";
    }
}

}  // namespace
}  // namespace qks::testing
