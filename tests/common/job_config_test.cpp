#include <gtest/gtest.h>

#include "qks/common/environment.h"
#include "qks/job/job_config.h"
#include "qks/testing/temp_dir.h"

namespace qks {
namespace {

using qks::testing::TempDir;

TEST(JobConfig, WhereEachJobLooksForItsConfigAndFallbackLog) {
    TempDir dir;
    qks::testing::ScopedTempFolder tmp(dir.path());
    ::setenv("QKS_PLOT_CFG", "/env/plot.cfg", 1);
    ::setenv("QKS_MERGE_CFG", "", 1);
    const std::string t = dir.path() + "/";
    struct Case {
        JobKind kind;
        std::string bridgePath;
        std::string config;
        std::string fallbackLog;
    } cases[] = {
        {JobKind::Plot, "/ignored.cfg", t + "qks_plot.cfg", t + "qks_plot.log"},
        {JobKind::PlotFiles, "/b/p.cfg", "/b/p.cfg", t + "qks_plot_files.log"},
        {JobKind::PlotFiles, "", "/env/plot.cfg", t + "qks_plot_files.log"},
        {JobKind::Merge, "/b/m.cfg", "/b/m.cfg", t + "qks_merge.log"},
        {JobKind::Merge, "", t + "qks_merge.cfg", t + "qks_merge.log"},  // empty variable skipped
        {JobKind::Nest, "", t + "qks_nest.cfg", t + "qks_nest.log"},
        {JobKind::Nest, "C:/x/n.cfg", "C:/x/n.cfg", t + "qks_nest.log"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(jobConfigPath(c.kind, c.bridgePath), c.config);
        EXPECT_EQ(fallbackJobLogPath(c.kind), c.fallbackLog);
    }
    EXPECT_EQ(jobLogPath("", "qks_plot.log"), t + "qks_plot.log");
    EXPECT_EQ(jobLogPath("/l/own.log", "qks_plot.log"), "/l/own.log");
    ::unsetenv("QKS_PLOT_CFG");
    ::unsetenv("QKS_MERGE_CFG");
    EXPECT_EQ(jobConfigPath(JobKind::PlotFiles, ""), t + "qks_plot_files.cfg");
}

TEST(Environment, TempFolderAndValues) {
    const char* saved = std::getenv("TMPDIR");
    const std::string savedValue = saved ? saved : "";
    ::setenv("TMPDIR", "/var/tmp", 1);
    EXPECT_EQ(tempFilePath("x.cfg"), "/var/tmp/x.cfg");
    ::setenv("TMPDIR", "/var/tmp/", 1);
    EXPECT_EQ(tempFolder(), "/var/tmp/");
    ::setenv("TMPDIR", "", 1);
    EXPECT_EQ(tempFolder(), "/tmp/");
    if (saved)
        ::setenv("TMPDIR", savedValue.c_str(), 1);
    else
        ::unsetenv("TMPDIR");

    ::setenv("QKS_TEST_VALUE", "abc", 1);
    EXPECT_EQ(environmentValue("QKS_TEST_VALUE"), "abc");
    ::setenv("QKS_TEST_VALUE", std::string(32767, 'x').c_str(), 1);
    EXPECT_EQ(environmentValue("QKS_TEST_VALUE").size(), 32767u);
    ::setenv("QKS_TEST_VALUE", std::string(32768, 'x').c_str(), 1);
    EXPECT_EQ(environmentValue("QKS_TEST_VALUE"), "");
    ::unsetenv("QKS_TEST_VALUE");
    EXPECT_EQ(environmentValue("QKS_TEST_VALUE"), "");
}

TEST(Paths, FolderAndJoin) {
    EXPECT_EQ(folderOfPath("/a/b/c.so"), "/a/b");
    EXPECT_EQ(folderOfPath("C:\\x\\y.arx"), "C:\\x");
    EXPECT_EQ(folderOfPath("plain"), "");
    EXPECT_EQ(joinPath("/out", "a.pdf"), "/out/a.pdf");
    EXPECT_EQ(joinPath("/out/", "a.pdf"), "/out/a.pdf");
    EXPECT_EQ(joinPath("D:\\nest\\", "a"), "D:\\nest\\a");
}

}  // namespace
}  // namespace qks
