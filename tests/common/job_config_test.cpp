#include <gtest/gtest.h>

#include "qks/common/environment.h"
#include "qks/common/job_config.h"
#include "qks/common/key_value.h"
#include "qks/testing/temp_dir.h"

namespace qks {
namespace {

using qks::testing::TempDir;

PlotMergeConfig parse(const std::string& text) {
    PlotMergeConfig config;
    parseJobConfig(text, config);
    return config;
}

TEST(JobConfig, ValueRules) {
    struct Case {
        const char* text;
        bool pdf;
        std::int32_t columns;
        double spacing;
    } cases[] = {
        {"pdf=TRUE\n", true, 3, 0.12},   {"pdf=True\r\n", true, 3, 0.12},
        {"pdf=1", true, 3, 0.12},        {"pdf=yes", false, 3, 0.12},
        {"pdf=11", false, 3, 0.12},      {"columns=0", false, 1, 0.12},
        {"columns=1", false, 1, 0.12},   {"columns=abc", false, 1, 0.12},
        {"columns=5", false, 5, 0.12},   {"columns=-4", false, 1, 0.12},
        {"spacing=junk", false, 3, 0.0}, {"spacing= 0.5 ", false, 3, 0.5},
        {"spacing=-2", false, 3, -2.0},
    };
    for (const auto& c : cases) {
        const PlotMergeConfig config = parse(c.text);
        EXPECT_EQ(config.pdf, c.pdf) << c.text;
        EXPECT_EQ(config.columns, c.columns) << c.text;
        EXPECT_EQ(config.spacing, c.spacing) << c.text;
    }
}

TEST(JobConfig, KeysAreExactBytesAndValuesAreTrimmed) {
    const PlotMergeConfig config = parse(
        "outDir = /x\n"  // key "outDir " matches nothing
        "prefix=  P \t\r\n"
        "Style=ignored\n"
        "a heading without equals\n"
        "file=/a.dxf\n"
        "file=\n"
        "file= /b \xE4\xB8\xAD.dxf\n"
        "scope=current\n"
        "mode=merge\n");
    EXPECT_EQ(config.outDir, "");
    EXPECT_EQ(config.prefix, "P");
    EXPECT_EQ(config.style, "");
    ASSERT_EQ(config.files.size(), 2u);
    EXPECT_EQ(config.files[0], "/a.dxf");
    EXPECT_EQ(config.files[1], "/b \xE4\xB8\xAD.dxf");
    EXPECT_TRUE(config.currentScope);
    EXPECT_EQ(config.mode, "merge");
    EXPECT_EQ(config.log, tempFilePath("qks_plot.log"));
}

TEST(JobConfig, ByteOrderMarkOnAnyLineReadsTheSame) {
    const std::string plain = "outDir=/out\nlog=/l.log\ncolumns=4\n";
    const std::string marked = "\xEF\xBB\xBFoutDir=/out\n\xEF\xBB\xBFlog=/l.log\ncolumns=4\n";
    const PlotMergeConfig a = parse(plain), b = parse(marked);
    EXPECT_EQ(a.outDir, b.outDir);
    EXPECT_EQ(a.log, b.log);
    EXPECT_EQ(b.log, "/l.log");
    EXPECT_EQ(a.columns, b.columns);
}

TEST(JobConfig, BadUtf8ValuesBecomeReplacementCharacters) {
    EXPECT_EQ(parse("prefix=a\xFF").prefix, "a\xEF\xBF\xBD");
}

TEST(JobConfig, UnreadableFileFailsWithItsPath) {
    TempDir dir;
    struct Case {
        std::string path;
    } cases[] = {{dir.file("missing.cfg")}, {dir.path()}, {""}};
    for (const auto& c : cases) {
        PlotMergeConfig config;
        std::string message;
        EXPECT_FALSE(readJobConfig(c.path, config, message));
        EXPECT_EQ(message, "读取配置失败: " + c.path);
    }
    PlotMergeConfig config;
    std::string message;
    EXPECT_TRUE(readJobConfig(dir.write("ok.cfg", "outDir=/o\n"), config, message));
    EXPECT_EQ(config.outDir, "/o");
}

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
    ::unsetenv("QKS_PLOT_CFG");
    ::unsetenv("QKS_MERGE_CFG");
    EXPECT_EQ(jobConfigPath(JobKind::PlotFiles, ""), t + "qks_plot_files.cfg");
}

TEST(KeyValueLines, NestLineRules) {
    const auto lines = splitKeyValueLines(
        "\xEF\xBB\xBF"
        "outDir = /nest \r\n"
        "# comment=1\n"
        "\n"
        "  \xE3\x80\x80 gap=5\n"
        "no equals\n"
        "key=a=b\n"
        "=empty key\n");
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].key, "outDir");
    EXPECT_EQ(lines[0].value, "/nest");
    EXPECT_EQ(lines[1].key, "gap");
    EXPECT_EQ(lines[2].key, "key");
    EXPECT_EQ(lines[2].value, "a=b");
    EXPECT_EQ(lines[3].key, "");
    std::vector<KeyValueLine> none;
    EXPECT_FALSE(readKeyValueLines("/nonexistent/qks.cfg", none));
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
