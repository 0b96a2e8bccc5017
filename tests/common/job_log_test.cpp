#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "qks/common/job_log.h"
#include "qks/testing/temp_dir.h"

namespace qks {
namespace {

using qks::testing::readAll;
using qks::testing::TempDir;

TEST(JobLog, LineEndsAndChineseText) {
    TempDir dir;
    struct Case {
        LogChannel channel;
        const char* ending;
    } cases[] = {{LogChannel::Plot, "\r\n"}, {LogChannel::Nest, "\n"}};
    for (const auto& c : cases) {
        const std::string path = dir.file("log.txt");
        setJobLogPath(c.channel, path);
        resetJobLog(c.channel);
        EXPECT_EQ(readAll(path), "");
        appendJobLog(c.channel, "RUN 布局1");
        appendJobLog(c.channel, "DONE ok=1");
        EXPECT_EQ(readAll(path), std::string("RUN \xE5\xB8\x83\xE5\xB1\x80") + "1" + c.ending +
                                     "DONE ok=1" + c.ending);
        resetJobLog(c.channel);
        EXPECT_EQ(readAll(path), "");
    }
}

TEST(JobLog, EmbeddedLineBreaksCannotForgeLines) {
    TempDir dir;
    setJobLogPath(LogChannel::Nest, dir.file("n.log"));
    resetJobLog(LogChannel::Nest);
    appendJobLog(LogChannel::Nest, "OPEN /x\nDONE forged\r");
    EXPECT_EQ(readAll(dir.file("n.log")), "OPEN /x DONE forged \n");
}

TEST(JobLog, EmptyPathOrUnwritableFileDropsLines) {
    TempDir dir;
    setJobLogPath(LogChannel::Nest, "");
    resetJobLog(LogChannel::Nest);
    appendJobLog(LogChannel::Nest, "lost");
    setJobLogPath(LogChannel::Plot, dir.file("missing-folder/p.log"));
    resetJobLog(LogChannel::Plot);
    appendJobLog(LogChannel::Plot, "lost too");
    EXPECT_FALSE(std::filesystem::exists(dir.file("missing-folder")));
}

// The nest worker appends while the main thread moves the channel to a new job's log:
// every line lands whole in exactly one of the two files.
TEST(JobLog, ConcurrentAppendsAndPathChangesKeepLinesWhole) {
    TempDir dir;
    const std::string first = dir.file("a.log"), second = dir.file("b.log");
    setJobLogPath(LogChannel::Nest, first);
    resetJobLog(LogChannel::Nest);
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t)
        writers.emplace_back([t] {
            for (int i = 0; i < 200; ++i)
                appendJobLog(LogChannel::Nest,
                             "NEST t" + std::to_string(t) + " " + std::string(50, 'x'));
        });
    for (int i = 0; i < 50; ++i)
        setJobLogPath(LogChannel::Nest, i % 2 ? first : second);
    for (auto& w : writers)
        w.join();
    std::size_t lines = 0;
    for (const auto& path : {first, second}) {
        const std::string text = readAll(path);
        std::size_t pos = 0;
        while (pos < text.size()) {
            const auto end = text.find('\n', pos);
            ASSERT_NE(end, std::string::npos);
            EXPECT_EQ(end - pos, 58u) << text.substr(pos, end - pos);
            pos = end + 1;
            ++lines;
        }
    }
    EXPECT_EQ(lines, 800u);
    setJobLogPath(LogChannel::Nest, "");
}

}  // namespace
}  // namespace qks
