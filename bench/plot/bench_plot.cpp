// Pages per second of the batch plot core through the real qkshost: a drawing of 200 title-block
// frames (scope "frames"), a drawing of 20 paper layouts (scope "all"), and one model space of
// 12,000 mixed entities (scope "model"), with the size of each drawing as DXF and of its PDFs.
// With `librecad` on the path, its "dxf2pdf" plots the same model space for comparison. Its time
// covers a whole process (start, read the DXF, render, write), so the model space is also
// plotted by a whole `qkshost` process (QKPLOTFILES with a job config) when the program sits
// beside this benchmark.
//
//   bench_plot [--only frames|layouts|model] [--repeat N] [--in-process] [output-folder]
// The drawings and PDFs stay in the output folder (default: a fresh folder under /tmp). With a
// repeat count each measurement runs N times and the median is reported beside every run.
// --in-process leaves out the two whole-process measurements (for profiling).
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "qks/common/job_log.h"
#include "qks/plot/jobs.h"
#include "qkshost/app/host_application.h"
#include "qkshost/drawing/database.h"
#include "qkshost/dxf/dxf.h"

namespace {

namespace drawing = qkshost::drawing;
namespace fs = std::filesystem;

void line(drawing::Database& db, double x0, double y0, double x1, double y1,
          drawing::ObjectIndex block = 0) {
    auto l = std::make_unique<drawing::Line>();
    l->start = {x0, y0, 0};
    l->end = {x1, y1, 0};
    db.appendEntity(std::move(l), block);
}

void text(drawing::Database& db, const std::string& s, double x, double y, double h,
          drawing::ObjectIndex block = 0) {
    auto t = std::make_unique<drawing::Text>();
    t->text = s;
    t->position = {x, y, 0};
    t->height = h;
    db.appendEntity(std::move(t), block);
}

void rectangle(drawing::Database& db, double x0, double y0, double x1, double y1,
               drawing::ObjectIndex block = 0) {
    auto p = std::make_unique<drawing::LwPolyline>();
    p->vertices = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
    p->flags = 1;
    db.appendEntity(std::move(p), block);
}

// Mixed entities: lines, circles, arcs, bulged polylines, texts (a tenth Chinese), solids.
void mixed(drawing::Database& db, int count, double ox, double oy, double cell,
           drawing::ObjectIndex block = 0) {
    const int perRow = int(std::ceil(std::sqrt(double(count))));
    for (int i = 0; i < count; ++i) {
        const double x = ox + (i % perRow) * cell, y = oy + (i / perRow) * cell;
        switch (i % 6) {
            case 0:
                line(db, x, y, x + cell * 0.8, y + cell * 0.5, block);
                break;
            case 1: {
                auto c = std::make_unique<drawing::Circle>();
                c->center = {x + cell / 2, y + cell / 2, 0};
                c->radius = cell * 0.3;
                c->color = std::int16_t(1 + i % 7);
                db.appendEntity(std::move(c), block);
                break;
            }
            case 2: {
                auto a = std::make_unique<drawing::Arc>();
                a->center = {x + cell / 2, y + cell / 2, 0};
                a->radius = cell * 0.4;
                a->endAngle = 2.0;
                db.appendEntity(std::move(a), block);
                break;
            }
            case 3: {
                auto p = std::make_unique<drawing::LwPolyline>();
                p->vertices = {{x, y, 0, 0, 0.4},
                               {x + cell * 0.7, y, 0, 0, 0},
                               {x + cell * 0.7, y + cell * 0.7}};
                db.appendEntity(std::move(p), block);
                break;
            }
            case 4:
                text(db, i % 60 == 4 ? "零件" + std::to_string(i) : "P" + std::to_string(i), x, y,
                     cell * 0.3, block);
                break;
            default: {
                auto s = std::make_unique<drawing::Solid>();
                s->corners[0] = {x, y, 0};
                s->corners[1] = {x + cell * 0.3, y, 0};
                s->corners[2] = {x, y + cell * 0.3, 0};
                s->corners[3] = {x + cell * 0.3, y + cell * 0.3, 0};
                db.appendEntity(std::move(s), block);
            }
        }
    }
}

void framesDrawing(drawing::Database& db) {
    drawing::ObjectIndex frame = 0;
    db.addBlock("A3_TK", &frame);
    rectangle(db, 0, 0, 420, 297, frame);
    rectangle(db, 300, 0, 420, 40, frame);
    for (int i = 0; i < 200; ++i) {
        const double x = (i % 20) * 500.0, y = (i / 20) * 400.0;
        auto r = std::make_unique<drawing::BlockReference>();
        r->block = frame;
        r->position = {x, y, 0};
        const drawing::ObjectIndex ref = db.appendEntity(std::move(r));
        auto a = std::make_unique<drawing::Attribute>();
        a->tag = "图号";
        a->text = "QK-" + std::to_string(1000 + i);
        a->position = {x + 310, y + 10, 0};
        a->height = 5;
        a->owner = ref;
        db.get<drawing::BlockReference>(ref)->attributes.push_back(db.add(std::move(a)));
        mixed(db, 30, x + 20, y + 60, 30);
    }
}

void layoutsDrawing(drawing::Database& db) {
    for (int i = 0; i < 20; ++i) {
        drawing::ObjectIndex block = db.paperSpace();
        if (i > 0) db.addBlock("*Paper_Space" + std::to_string(i - 1), &block);
        const drawing::ObjectIndex layout =
            i == 0 ? db.findLayout("Layout1")
                   : db.createLayout("Sheet" + std::to_string(i + 1), block, i + 1);
        auto* l = db.get<drawing::Layout>(layout);
        l->plot.device = "DWG To PDF.pc3";
        l->plot.media = "ISO_A3_(420.00_x_297.00_MM)";
        l->plot.paperWidth = 420;
        l->plot.paperHeight = 297;
        rectangle(db, 10, 10, 410, 287, block);
        mixed(db, 200, 20, 20, 18, block);
    }
    mixed(db, 500, 0, 0, 20);
}

long long fileSize(const std::string& path) {
    struct stat s {};
    return ::stat(path.c_str(), &s) == 0 ? s.st_size : -1;
}

long long folderSize(const std::string& folder) {
    long long total = 0;
    for (const auto& e : fs::directory_iterator(folder))
        total += e.file_size();
    return total;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty()      ? 0.0
           : v.size() % 2 ? v[v.size() / 2]
                          : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2.0;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string writeDrawing(const char* title, void (*build)(drawing::Database&),
                         const std::string& root) {
    const std::string dxf = root + "/" + title + ".dxf";
    drawing::Database db;
    build(db);
    qkshost::dxf::saveDxf(db, dxf);
    return dxf;
}

// One plot job in this process on an open drawing: the time of the pages alone.
void run(qkshost::HostApplication& app, const char* title, const std::string& dxf,
         const std::string& scope, const std::string& root, int repeat) {
    std::string error;
    const auto doc = app.openDocument(dxf, error);
    if (!doc) {
        std::printf("%s: cannot open %s: %s\n", title, dxf.c_str(), error.c_str());
        return;
    }
    const std::string out = root + "/" + title + "_pdf";
    std::vector<double> times;
    qks::plot::PlotTally tally;
    for (int r = 0; r < repeat; ++r) {
        fs::remove_all(out);
        fs::create_directories(out);
        qks::PlotMergeConfig config;
        config.outDir = out;
        config.scope = scope;
        config.style = "monochrome.ctb";
        qks::setJobLogPath(qks::LogChannel::Plot, root + "/" + title + ".log");
        qks::resetJobLog(qks::LogChannel::Plot);
        auto* ds = app.drawingServices();
        qks::plot::PlotSession session;
        qks::plot::openPlotSession(*ds, session, error);
        qks::drawing::NameCounts counts;
        tally = {};
        const auto start = std::chrono::steady_clock::now();
        qks::plot::plotDatabase(*ds, session, ds->documentDatabase(doc), config, {}, counts, tally);
        times.push_back(secondsSince(start));
        qks::plot::closePlotSession(*ds, session);
    }
    app.closeDocument(doc);
    const double seconds = median(times);
    std::printf(
        "%-10s scope=%-6s pages=%3d ok=%3d  %7.3f s  %7.2f pages/s  dxf %8lld B  pdf %9lld B"
        " (%.2f x dxf)  runs:",
        title, scope.c_str(), tally.total, tally.ok, seconds, tally.ok / seconds, fileSize(dxf),
        folderSize(out), double(folderSize(out)) / double(fileSize(dxf)));
    for (double t : times)
        std::printf(" %.3f", t);
    std::printf("\n");
}

// Runs a shell command `repeat` times; returns the median wall time and the last exit status.
double timeCommand(const std::string& command, int repeat, int& status,
                   std::vector<double>& times) {
    for (int r = 0; r < repeat; ++r) {
        const auto start = std::chrono::steady_clock::now();
        status = std::system(command.c_str());
        times.push_back(secondsSince(start));
    }
    return median(times);
}

void printRuns(const std::vector<double>& times) {
    std::printf("  runs:");
    for (double t : times)
        std::printf(" %.3f", t);
    std::printf("\n");
}

// The model space plotted by a whole qkshost process: start, load the plug-in, read the DXF,
// render, write, exit; what librecad's number covers too.
void runProcess(const std::string& host, const std::string& dxf, const std::string& root,
                int repeat) {
    const std::string dir = root + "/process";
    const std::string out = dir + "/pdf";
    fs::create_directories(out);
    {
        std::FILE* cfg = std::fopen((dir + "/qks_plot_files.cfg").c_str(), "w");
        if (!cfg) return;
        std::fprintf(cfg, "outDir=%s\nscope=model\nstyle=monochrome.ctb\nfile=%s\n", out.c_str(),
                     dxf.c_str());
        std::fclose(cfg);
    }
    int status = 0;
    std::vector<double> times;
    const double seconds = timeCommand("TMPDIR='" + dir + "' QKS_STUDIO= QKS_PLOT_CFG= '" + host +
                                           "' --no-stdin -c QKPLOTFILES >/dev/null 2>&1",
                                       repeat, status, times);
    std::printf("qkshost    QKPLOTFILES model12k (whole process): exit %d, %.3f s, pdf %lld B",
                status, seconds, folderSize(out));
    printRuns(times);
}

std::string executableFolder() {
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string(".") : self.parent_path().string();
}

void modelDrawing(drawing::Database& db) {
    mixed(db, 12000, 0, 0, 10);
}

}  // namespace

int main(int argc, char** argv) {
    std::string root, only;
    int repeat = 1;
    bool inProcessOnly = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--only" && i + 1 < argc) {
            only = argv[++i];
        } else if (arg == "--in-process") {
            inProcessOnly = true;
        } else if (arg == "--repeat" && i + 1 < argc) {
            repeat = std::max(1, std::atoi(argv[++i]));
        } else {
            root = arg;
        }
    }
    if (!root.empty()) {
        fs::create_directories(root);
    } else {
        char pattern[] = "/tmp/qks-bench-plot-XXXXXX";
        root = ::mkdtemp(pattern);
    }
    qkshost::HostApplication app;
    app.setOutputSink([](std::string_view) {});
    if (only.empty() || only == "frames")
        run(app, "frames200", writeDrawing("frames200", framesDrawing, root), "frames", root,
            repeat);
    if (only.empty() || only == "layouts")
        run(app, "layouts20", writeDrawing("layouts20", layoutsDrawing, root), "all", root, repeat);
    if (!only.empty() && only != "model") return 0;
    const std::string model = writeDrawing("model12k", modelDrawing, root);
    run(app, "model12k", model, "model", root, repeat);
    if (inProcessOnly) return 0;

    const std::string host = executableFolder() + "/qkshost";
    if (fs::exists(host) && fs::exists(executableFolder() + "/libqks.so"))
        runProcess(host, model, root, repeat);
    else
        std::printf("qkshost or libqks.so not beside the benchmark: no whole-process time\n");

    if (std::system("command -v librecad >/dev/null 2>&1") == 0) {
        const std::string out = root + "/librecad";
        fs::create_directories(out);
        int status = 0;
        std::vector<double> times;
        const double seconds = timeCommand("QT_QPA_PLATFORM=offscreen librecad dxf2pdf -a -t '" +
                                               out + "' '" + model + "' >/dev/null 2>&1",
                                           repeat, status, times);
        std::printf("librecad   dxf2pdf -a model12k (whole process): exit %d, %.3f s, pdf %lld B",
                    status, seconds, folderSize(out));
        printRuns(times);
    } else {
        std::printf("librecad not installed: no comparison\n");
    }
    std::printf("output in %s\n", root.c_str());
    return 0;
}
