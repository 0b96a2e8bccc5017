// Reading and saving a large DXF, side by side with ezdxf in the same run.
//
//   bench_dxf [size-in-MB] [folder]   builds a drawing of about that size (default 50 MB), then
//                                      measures reading and saving it here and with ezdxf
//   bench_dxf --generate MB FILE       only builds the drawing
//   bench_dxf --read FILE              one read and one save in this process (used by the
//                                      above so that the peak memory is the reading's own)
//
// Goals: reading at 100 MB/s or more and at least 30 times faster than ezdxf; peak memory under
// four times the file size.
#include "qkshost/drawing/creation.h"
#include "qkshost/drawing/database.h"
#include "qkshost/dxf/dxf.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

using namespace qkshost::drawing;
using namespace qkshost::dxf;
using Clock = std::chrono::steady_clock;

namespace {

double seconds(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

double fileMb(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? double(st.st_size) / 1e6 : 0;
}

// A sheet-metal-like drawing: outlines, holes, arcs, texts and block references.
void build(Database& db, double targetMb, const std::string& path) {
    ObjectIndex cut = ensureLayer(db, "CUT", 1);
    ensureLayer(db, "标注", 3);
    ObjectIndex blk;
    db.addBlock("HOLE_PATTERN", &blk);
    for (int k = 0; k < 6; ++k) {
        auto c = std::make_unique<Circle>();
        c->center = {std::cos(k * 1.047) * 20, std::sin(k * 1.047) * 20, 0};
        c->radius = 3;
        db.appendEntity(std::move(c), blk);
    }
    int part = 0;
    while (true) {
        for (int n = 0; n < 2000; ++n, ++part) {
            double x = (part % 500) * 300.0, y = (part / 500) * 300.0;
            addLwPolyline(db, 0,
                          {{x, y, 0}, {x + 200, y, 0}, {x + 200, y + 120, 0}, {x, y + 120, 0}},
                          true, "CUT");
            auto l = std::make_unique<Line>();
            l->start = {x, y - 10, 0};
            l->end = {x + 200.123456789, y - 10, 0};
            l->layer = cut;
            db.appendEntity(std::move(l));
            auto a = std::make_unique<Arc>();
            a->center = {x + 100, y + 60, 0};
            a->radius = 30.5;
            a->startAngle = 0.3;
            a->endAngle = 2.9;
            a->extrusion = {0, 0, (part % 7) ? 1.0 : -1.0};
            a->layer = cut;
            db.appendEntity(std::move(a));
            auto c = std::make_unique<Circle>();
            c->center = {x + 40, y + 40, 0};
            c->radius = 8.25;
            c->layer = cut;
            db.appendEntity(std::move(c));
            addText(db, 0, {x, y + 130, 0}, 10, "零件 P-" + std::to_string(part), 0, 0, "标注");
            addBlockReference(db, 0, blk, {x + 150, y + 60, 0}, 1, 1, 1, part * 0.01);
        }
        std::string dxf = writeDxf(db);
        if (double(dxf.size()) / 1e6 >= targetMb) {
            FILE* f = std::fopen(path.c_str(), "wb");
            std::fwrite(dxf.data(), 1, dxf.size(), f);
            std::fclose(f);
            return;
        }
    }
}

double cpuSeconds() {
    struct rusage ru;
    getrusage(RUSAGE_SELF, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

int readOnce(const std::string& path) {
    double mb = fileMb(path);
    double c0 = cpuSeconds();
    auto t0 = Clock::now();
    Database db(false);
    ReadResult r = readDxfFile(db, path);
    auto t1 = Clock::now();
    double c1 = cpuSeconds();
    if (r.status != Status::Ok) {
        std::fprintf(stderr, "%s\n", r.message.c_str());
        return 1;
    }
    std::string out = path + ".saved.dxf";
    Status st = saveDxf(db, out);
    auto t2 = Clock::now();
    struct rusage ru;
    getrusage(RUSAGE_SELF, &ru);
    double peakMb = double(ru.ru_maxrss) / 1024.0;
    std::printf(
        "qkshost read  %.1f MB in %.3f s = %.0f MB/s (%zu objects); CPU %.3f s = %.0f MB/s\n", mb,
        seconds(t0, t1), mb / seconds(t0, t1), db.objectCount(), c1 - c0, mb / (c1 - c0));
    std::printf("qkshost save  %.3f s (%s)\n", seconds(t1, t2), statusText(st));
    std::printf("qkshost peak memory %.0f MB = %.2f x file size\n", peakMb, peakMb / mb);
    std::filesystem::remove(out);
    std::filesystem::remove(out + ".bak");
    return st == Status::Ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--read") return readOnce(argv[2]);
    if (argc == 4 && std::string(argv[1]) == "--generate") {
        Database db;
        build(db, std::atof(argv[2]), argv[3]);
        return 0;
    }
    double targetMb = argc > 1 ? std::atof(argv[1]) : 50;
    std::string folder = argc > 2 ? argv[2] : std::filesystem::temp_directory_path().string();
    std::string path = folder + "/qks_bench_" + std::to_string(::getpid()) + ".dxf";
    {
        Database db;
        build(db, targetMb, path);
    }
    std::printf("drawing: %s, %.1f MB\n", path.c_str(), fileMb(path));
    std::fflush(stdout);
    auto t0 = Clock::now();
    std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    int rc = std::system(("'" + self + "' --read '" + path + "'").c_str());
    double ours = seconds(t0, Clock::now());
    std::fflush(stdout);
    std::string py =
        "/usr/bin/python3 -c \"import ezdxf,time,sys,os\n"
        "t=time.perf_counter(); d=ezdxf.readfile(sys.argv[1]); t1=time.perf_counter()\n"
        "d.saveas(sys.argv[1]+'.ez.dxf'); t2=time.perf_counter(); "
        "os.remove(sys.argv[1]+'.ez.dxf')\n"
        "print('ezdxf   read  %.3f s, save %.3f s' % (t1-t, t2-t1))\" '" +
        path + "'";
    auto e0 = Clock::now();
    int erc = std::system(py.c_str());
    double theirs = seconds(e0, Clock::now());
    std::printf("whole run (read + save, process start included): qkshost %.2f s, ezdxf %.2f s\n",
                ours, theirs);
    std::filesystem::remove(path);
    return rc == 0 && erc == 0 ? 0 : 1;
}
