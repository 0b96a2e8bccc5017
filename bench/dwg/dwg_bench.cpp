// Reading a DWG against reading the same drawing's DXF twin with our DXF reader, in one run.
//
//   dwg_bench [--dir FOLDER] [--top N | --all] [--repeat N] [--split]
//       finds the NAME.dwg / NAME.dxf pairs under FOLDER (default: the shared DWG samples), takes
//       the N largest (default 7) and prints one Markdown row per pair: time per read, objects per
//       second and peak memory, both ways.
//   dwg_bench --child WAY FILE REPEAT
//       one measurement in a process of its own (used by the above); WAY is dwg, dxf, decode
//       or none.
//
// Both ways are the full read the host's OPEN does: DWG = the file's bytes, decoded and adapted
// into an empty database; DXF = our DXF reader into an empty database.
//
// Goal: reading a DWG takes no longer than reading its DXF twin, and its peak memory stays
// below the DXF read's.
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "qks/common/file_io.h"
#include "qkshost/drawing/database.h"
#include "qkshost/dwg/dwg.h"
#include "qkshost/dwg/reader.h"
#include "qkshost/dxf/dxf.h"

extern char** environ;

namespace fs = std::filesystem;
namespace dr = qkshost::drawing;
using Clock = std::chrono::steady_clock;

namespace {

// Each way reads for about this long in all, so that a row of both ways takes one to two
// seconds. The time is spent in kRounds timing children per way, the two ways taking turns, so
// that a burst of load from the other users of this machine falls on both about alike.
constexpr double kSecondsPerWay = 0.7;
constexpr int kRounds = 3;
constexpr int kMinReads = 2;

// ---------- the child: one way, one file ----------

// The same count for both ways: every live object of the resulting database (entities, table
// and block records, layouts). The database models no other kinds of object.
std::size_t liveObjects(dr::Database& db) {
    std::size_t n = 0;
    for (const auto& o : db.rawObjects())
        if (o && !o->erased) ++n;
    return n;
}

struct Once {
    bool ok = false;
    std::string message;
    std::size_t objects = 0;
    double seconds = 0;
};

// One read the way OPEN does it. The database is destroyed after the clock stops: OPEN keeps it.
Once readOnce(const std::string& way, const std::string& path) {
    Once r;
    auto t0 = Clock::now();
    dr::Database db(false);
    if (way == "dxf") {
        dr::ReadResult rr = qkshost::dxf::readDxfFile(db, path);
        r.ok = rr.status == dr::Status::Ok;
        r.message = rr.message;
    } else {
        std::string bytes, error;
        if (!qks::readFileBytes(path, bytes, &error)) {
            r.message = "cannot read " + path + ": " + error;
            return r;
        }
        if (way == "dwg") {
            const dr::ReadResult rr = qkshost::dwg::readDwg(db, bytes);
            r.ok = rr.status == dr::Status::Ok;
            r.message = rr.message;
        } else {  // decode: the decoder alone, to tell its share from the adapter's
            qkshost::dwg::Drawing d;
            qkshost::dwg::DecodeResult res = qkshost::dwg::decode(bytes, d);
            r.ok = res.status == qkshost::dwg::Status::Ok;
            r.message = res.message;
            r.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
            r.objects = d.records.size();
            return r;
        }
    }
    r.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    if (r.ok) r.objects = liveObjects(db);
    return r;
}

// The drawing's size as its DWG states it: the entries of the object map. Both ways divide this
// same number, because the two databases do not keep the same objects (the DXF reader keeps
// kinds it does not model as raw groups; the DWG adapter skips them).
std::size_t mapEntries(const std::string& path) {
    std::string bytes;
    qkshost::dwg::Drawing d;
    if (!qks::readFileBytes(path, bytes)) return 0;
    qkshost::dwg::decode(bytes, d);
    return d.objectMap.size();
}

// Prints "ok OBJECTS READS SECONDS MAP" or "fail MESSAGE" on one line. REPEAT 0 = a
// single cold read (for the peak memory); REPEAT -1 = a warm-up, then reads until this round's
// share of kSecondsPerWay is spent.
int child(const std::string& way, const std::string& path, int repeat) {
    if (way == "none") {
        std::printf("ok 0 0 0 0\n");
        return 0;
    }
    Once first = readOnce(way, path);
    if (!first.ok) {
        for (char& c : first.message)
            if (c == '\n') c = ' ';
        std::printf("fail %s\n", first.message.c_str());
        return 0;
    }
    if (repeat == 0) {
        std::printf("ok %zu 1 %.9f 0\n", first.objects, first.seconds);
        return 0;
    }
    double total = 0;
    int reads = 0;
    while (repeat > 0 ? reads < repeat : (total < kSecondsPerWay / kRounds || reads < kMinReads)) {
        Once r = readOnce(way, path);
        if (!r.ok) {
            std::printf("fail read %d: %s\n", reads + 2, r.message.c_str());
            return 0;
        }
        total += r.seconds;
        ++reads;
    }
    // after the clock and in the timing child only, so neither figure includes it
    std::printf("ok %zu %d %.9f %zu\n", first.objects, reads, total,
                way == "dxf" ? std::size_t(0) : mapEntries(path));
    return 0;
}

// ---------- the parent ----------

struct Measure {
    bool ok = false;
    bool refused = false;     // the reader said no (rather than the child failing)
    std::string message;      // when not ok
    std::size_t objects = 0;  // kept in the database
    std::size_t map = 0;      // the DWG's object map (timing runs of the DWG file only)
    int reads = 0;
    double seconds = 0;  // all reads together
    double peakMb = 0;   // the child's maximum resident set
};

// Runs this program again as `--child WAY FILE REPEAT` and collects its line and its peak RSS.
Measure runChild(const std::string& way, const std::string& path, int repeat) {
    Measure m;
    int fds[2];
    if (::pipe(fds) != 0) {
        m.message = std::string("pipe: ") + std::strerror(errno);
        return m;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addclose(&actions, fds[1]);
    std::string self = "/proc/self/exe", repeatText = std::to_string(repeat);
    std::vector<char*> argv = {self.data(),
                               const_cast<char*>("--child"),
                               const_cast<char*>(way.c_str()),
                               const_cast<char*>(path.c_str()),
                               repeatText.data(),
                               nullptr};
    pid_t pid = 0;
    int rc = posix_spawn(&pid, self.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (rc != 0) {
        ::close(fds[0]);
        m.message = std::string("spawn: ") + std::strerror(rc);
        return m;
    }
    std::string out;
    char buf[4096];
    for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) != 0;) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;
        out.append(buf, std::size_t(n));
    }
    ::close(fds[0]);
    int status = 0;
    struct rusage ru {};
    while (::wait4(pid, &status, 0, &ru) < 0 && errno == EINTR) {
    }
    m.peakMb = double(ru.ru_maxrss) / 1024.0;  // kilobytes on Linux
    if (WIFSIGNALED(status)) {
        m.message = "crashed (" + std::string(strsignal(WTERMSIG(status))) + ")";
        return m;
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
        out.pop_back();
    if (out.rfind("fail ", 0) == 0) {
        m.refused = true;
        m.message = out.substr(5);
        return m;
    }
    if (std::sscanf(out.c_str(), "ok %zu %d %lf %zu", &m.objects, &m.reads, &m.seconds, &m.map) !=
        4) {
        m.message = "no result (exit " + std::to_string(WEXITSTATUS(status)) + ")";
        return m;
    }
    m.ok = true;
    return m;
}

struct Way {
    const char* way;
    std::string path;
    Measure memory, time;
};

// The ways take turns, kRounds timing children each; a way whose file is refused is not timed.
void timeInTurns(Way* ways, std::size_t n, int repeat) {
    int perRound = repeat > 0 ? (repeat + kRounds - 1) / kRounds : -1;
    for (std::size_t w = 0; w < n; ++w) {
        ways[w].time = ways[w].memory;
        ways[w].time.reads = 0;
        ways[w].time.seconds = 0;
    }
    for (int round = 0; round < kRounds; ++round)
        for (std::size_t w = 0; w < n; ++w) {
            Measure& m = ways[w].time;
            if (!m.ok) continue;
            Measure r = runChild(ways[w].way, ways[w].path, perRound);
            if (!r.ok) {
                m = r;
                continue;
            }
            m.reads += r.reads;
            m.seconds += r.seconds;
            m.map = r.map;
        }
}

struct Pair {
    std::string name;  // relative to the folder, without extension
    std::string dwg, dxf;
    std::uintmax_t dwgBytes = 0, dxfBytes = 0;
};

std::string lower(std::string s) {
    for (char& c : s)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::vector<Pair> findPairs(const std::string& dir) {
    std::vector<Pair> pairs;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        if (!it->is_regular_file() || lower(it->path().extension().string()) != ".dwg") continue;
        const std::string name = fs::relative(it->path(), dir).replace_extension().string();
        fs::path dxf = it->path();
        dxf.replace_extension(".dxf");
        if (!fs::is_regular_file(dxf)) dxf.replace_extension(".DXF");
        if (!fs::is_regular_file(dxf)) continue;
        Pair p;
        p.dwg = it->path().string();
        p.dxf = dxf.string();
        p.name = name;
        p.dwgBytes = fs::file_size(p.dwg);
        p.dxfBytes = fs::file_size(p.dxf);
        pairs.push_back(p);
    }
    std::sort(pairs.begin(), pairs.end(), [](const Pair& a, const Pair& b) {
        return a.dwgBytes + a.dxfBytes != b.dwgBytes + b.dxfBytes
                   ? a.dwgBytes + a.dxfBytes > b.dwgBytes + b.dxfBytes
                   : a.name < b.name;
    });
    return pairs;
}

std::string fmt(const char* format, double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, format, v);
    return buf;
}

double msPerRead(const Measure& m) {
    return m.seconds * 1e3 / m.reads;
}
double perSecond(const Measure& m, std::size_t objects) {
    return double(objects) * m.reads / m.seconds;
}

// "12.3" above the baseline, or the reason there is no figure.
std::string peakText(const Measure& m, double baseline) {
    return m.ok ? fmt("%.2f", std::max(0.0, m.peakMb - baseline)) : "–";
}

std::string machine() {
    std::string model;
    if (FILE* f = std::fopen("/proc/cpuinfo", "r")) {
        char line[512];
        while (std::fgets(line, sizeof line, f))
            if (std::strncmp(line, "model name", 10) == 0) {
                const char* colon = std::strchr(line, ':');
                model = colon ? colon + 2 : line;
                if (!model.empty() && model.back() == '\n') model.pop_back();
                break;
            }
        std::fclose(f);
    }
    return model + ", " + std::to_string(::sysconf(_SC_NPROCESSORS_ONLN)) + " cores online";
}

int usage() {
    std::fprintf(stderr,
                 "usage: dwg_bench [--dir FOLDER] [--top N | --all] [--repeat N] [--split]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::string(argv[1]) == "--child")
        return child(argv[2], argv[3], std::atoi(argv[4]));

    std::string dir = QKS_DWG_BENCH_SAMPLES;
    std::size_t top = 7;
    int repeat = -1;
    bool split = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        bool more = i + 1 < argc;
        if (a == "--dir" && more)
            dir = argv[++i];
        else if (a == "--top" && more)
            top = std::size_t(std::max(1, std::atoi(argv[++i])));
        else if (a == "--all")
            top = SIZE_MAX;
        else if (a == "--repeat" && more)
            repeat = std::max(1, std::atoi(argv[++i]));
        else if (a == "--split")
            split = true;
        else
            return usage();
    }
    std::vector<Pair> pairs = findPairs(dir);
    if (pairs.empty()) {
        std::fprintf(stderr, "no NAME.dwg with NAME.dxf under %s\n", dir.c_str());
        return 1;
    }
    if (pairs.size() > top) pairs.resize(top);

    Measure base = runChild("none", "", 0);
    std::time_t now = std::time(nullptr);
    char date[32];
    std::strftime(date, sizeof date, "%Y-%m-%d", std::localtime(&now));
    std::printf("DWG against DXF read, %s; %s\n", date, machine().c_str());
    std::string reads =
        repeat > 0 ? std::to_string(repeat) + " reads per way"
                   : "reads per way: as many as fit in " + fmt("%.1f", kSecondsPerWay) + " s";
    reads += ", in " + std::to_string(kRounds) + " processes taking turns with the other way's," +
             " each after a warm-up read";
    std::printf("folder %s, %zu pair(s); %s; peak memory above an idle child's %.1f MB\n\n",
                dir.c_str(), pairs.size(), reads.c_str(), base.peakMb);
    std::printf(
        "| pair | DWG KB | DXF KB | objects | kept DWG / DXF | reads DWG / DXF | ms/read DWG "
        "| ms/read DXF | objects/s DWG | objects/s DXF | time DWG / DXF | peak MB DWG "
        "| peak MB DXF |\n");
    std::printf("|---|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|\n");
    std::fflush(stdout);

    struct Split {
        std::string name;
        Measure decode, decodeMem, dwg;
    };
    std::vector<Split> splits;
    std::vector<std::string> notes;  // why a file has no figures
    for (const Pair& p : pairs) {
        // the cold single reads first, for the peak memory; then the timing turns
        Way ways[] = {{"dwg", p.dwg, {}, {}}, {"dxf", p.dxf, {}, {}}, {"decode", p.dwg, {}, {}}};
        std::size_t used = split ? 3 : 2;
        for (std::size_t w = 0; w < used; ++w)
            ways[w].memory = runChild(ways[w].way, ways[w].path, 0);
        timeInTurns(ways, used, repeat);
        const Measure &dwg = ways[0].time, &dxf = ways[1].time;
        const Measure &dwgMem = ways[0].memory, &dxfMem = ways[1].memory;
        // a refused DWG leaves no object map: the DXF's rate is then over its own database
        std::size_t objects = dwg.ok ? dwg.map : dxf.objects;
        auto kept = [](const Measure& m) { return m.ok ? std::to_string(m.objects) : "–"; };
        auto text = [&](const Measure& m, const std::string& path, const std::string& ok) {
            if (m.ok) return ok;
            notes.push_back(fs::path(path).filename().string() + ": " + m.message);
            return std::string(m.refused ? "refused" : "failed");
        };
        std::string row = "| " + p.name + " | " + fmt("%.0f", double(p.dwgBytes) / 1024) + " | " +
                          fmt("%.0f", double(p.dxfBytes) / 1024) + " | " +
                          (dwg.ok ? std::to_string(objects) : "(" + std::to_string(objects) + ")") +
                          " | " + kept(dwg) + " / " + kept(dxf) + " | ";
        row += (dwg.ok ? std::to_string(dwg.reads) : "–") + " / " +
               (dxf.ok ? std::to_string(dxf.reads) : "–") + " | ";
        row += text(dwg, p.dwg, fmt("%.3f", msPerRead(dwg))) + " | ";
        row += text(dxf, p.dxf, fmt("%.3f", msPerRead(dxf))) + " | ";
        row += (dwg.ok ? fmt("%.0f", perSecond(dwg, objects)) : "–") + " | ";
        row += (dxf.ok ? fmt("%.0f", perSecond(dxf, objects)) : "–") + " | ";
        bool both = dwg.ok && dxf.ok;
        row += (both ? fmt("%.2f", msPerRead(dwg) / msPerRead(dxf)) : "–") + " | ";
        row += peakText(dwgMem, base.peakMb) + " | " + peakText(dxfMem, base.peakMb) + " |";
        std::printf("%s\n", row.c_str());
        std::fflush(stdout);
        if (split && dwg.ok) splits.push_back({p.name, ways[2].time, ways[2].memory, dwg});
    }
    if (!notes.empty()) std::printf("\n");
    for (const std::string& n : notes)
        std::printf("- %s\n", n.c_str());
    if (!splits.empty()) {
        std::printf(
            "\nThe DWG read split: the decoder alone (bytes to records), the adapter the rest.\n\n"
            "| pair | records | ms/read decode | ms/read adapt | decode share | peak MB decode "
            "|\n|---|--:|--:|--:|--:|--:|\n");
        for (const Split& s : splits) {
            if (!s.decode.ok) {
                std::printf("| %s | %s | | | | |\n", s.name.c_str(), s.decode.message.c_str());
                continue;
            }
            double dec = msPerRead(s.decode), all = msPerRead(s.dwg);
            std::printf("| %s | %zu | %.3f | %.3f | %.0f%% | %s |\n", s.name.c_str(),
                        s.decode.objects, dec, std::max(0.0, all - dec), 100 * dec / all,
                        peakText(s.decodeMem, base.peakMb).c_str());
        }
    }
    return 0;
}
