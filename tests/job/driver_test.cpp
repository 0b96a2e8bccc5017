// The shared job driver on real drawings with qkshost in-process: what each kind of drawing
// logs, how it is counted, and that a step that throws still ends in the DONE line.
#include <gtest/gtest.h>

#include <new>
#include <sstream>
#include <string>
#include <vector>

#include "qks/common/job_log.h"
#include "qks/job/driver.h"
#include "qks/testing/temp_dir.h"
#include "qkshost/app/host_application.h"

namespace {

namespace job = qks::job;
using qks::LogChannel;
using qks::testing::readAll;
using qks::testing::TempDir;

const std::string kRect =
    std::string(QKS_TEST_SOURCE_DIR) + "/tests/fixtures/merge/rect_100x50.dxf";

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        out.push_back(line);
    }
    return out;
}

TEST(JobDriver, EachDrawingLoggedAndCountedAndAThrowStillEndsInDone) {
    // Paths: "@rect" is the real drawing, "@missing" a file that is not there, "@junk" a file
    // no reader takes, "@throw" the real drawing whose step throws after reading it.
    struct Case {
        const char* what;
        bool openCurrent;  // a document open as the current drawing
        bool currentDrawing;
        std::vector<std::string> files;
        std::vector<std::string> expected;  // with "<dir>" for the test's folder
    } cases[] = {
        {"a good, a missing and an unreadable file",
         false,
         false,
         {"@rect", "@missing", "@junk"},
         {"OPEN <dir>/rect.dxf", "OK rect", "OPEN <dir>/missing.dxf",
          "ERR 文件不存在 <dir>/missing.dxf", "OPEN <dir>/junk.dxf", "ERR 无法读取 <dir>/junk.dxf*",
          "DONE total=3 ok=1 fail=2"}},
        {"the current drawing asked for with none open, then a file",
         false,
         true,
         {"@rect"},
         {"ERR 没有当前图纸", "OPEN <dir>/rect.dxf", "OK rect", "DONE total=2 ok=1 fail=1"}},
        {"the current drawing comes first",
         true,
         true,
         {"@rect"},
         {"OPEN <dir>/rect.dxf", "OK current", "OPEN <dir>/rect.dxf", "OK rect",
          "DONE total=2 ok=2 fail=0"}},
        {"a step that throws ends the loop as one failed drawing",
         false,
         false,
         {"@rect", "@throw", "@rect"},
         {"OPEN <dir>/rect.dxf", "OK rect", "OPEN <dir>/throw.dxf", "ERR 处理图纸时内存不足",
          "DONE total=2 ok=1 fail=1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        qkshost::HostApplication app;
        app.setOutputSink([](std::string_view) {});
        qks::host::DrawingServices& ds = *app.drawingServices();
        const std::string rect = readAll(kRect);
        dir.write("rect.dxf", rect);
        dir.write("throw.dxf", rect);
        dir.write("junk.dxf", "not a drawing\n");
        if (c.openCurrent) {
            std::string error;
            ASSERT_TRUE(app.openDocument(dir.file("rect.dxf"), error)) << error;
        }
        std::vector<std::string> files;
        for (const std::string& file : c.files)
            files.push_back(dir.file(file.substr(1) + ".dxf"));
        job::startLog(LogChannel::Tools, dir.file("job.log"));

        const job::Step step = [&](const job::Drawing& drawing, job::Tally&) {
            if (drawing.current) {
                const job::CurrentDrawing current =
                    job::openCurrentDrawing(app, ds, LogChannel::Tools);
                if (!current.database) return job::Outcome::Failed;
                job::log(LogChannel::Tools, "OK", "current");
                return job::Outcome::Ok;
            }
            const qks::host::ScopedDatabase database =
                job::readDrawing(ds, LogChannel::Tools, drawing.path);
            if (!database) return job::Outcome::Failed;
            if (drawing.path.find("throw") != std::string::npos) throw std::bad_alloc();
            job::log(LogChannel::Tools, "OK", "rect");
            return job::Outcome::Ok;
        };
        job::Tally tally;
        const bool finished = job::forEachDrawing(
            LogChannel::Tools, job::drawingList(c.currentDrawing, files), step, tally);
        job::logDone(LogChannel::Tools, tally);
        qks::setJobLogPath(LogChannel::Tools, {});

        const std::vector<std::string> got = lines(readAll(dir.file("job.log")));
        ASSERT_EQ(got.size(), c.expected.size()) << readAll(dir.file("job.log"));
        for (std::size_t i = 0; i < got.size(); ++i) {
            std::string want = c.expected[i];
            const auto at = want.find("<dir>");
            if (at != std::string::npos) want.replace(at, 5, dir.path());
            if (!want.empty() && want.back() == '*')  // the host's own reason follows
                EXPECT_EQ(got[i].rfind(want.substr(0, want.size() - 1), 0), 0u) << got[i];
            else
                EXPECT_EQ(got[i], want);
        }
        EXPECT_EQ(finished, c.expected.end()[-2] != "ERR 处理图纸时内存不足");
    }
}

}  // namespace
