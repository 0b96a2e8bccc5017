// The real plug-in modules loaded into the real host in-process: commands, the Studio
// launcher's search order and the bridge's life across unload and load.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <future>

#include "qks/testing/bridge_client.h"
#include "qks/testing/process.h"
#include "qks/testing/temp_dir.h"
#include "qkshost/app/host_application.h"

#include "qks/contract/version.h"

namespace {

// What the bridge and the version command report: the project's own version.
const std::string kVersion{qks::contract::kProductVersion};
const std::string kPong = "PONG " + kVersion;

using namespace std::chrono_literals;
using qks::testing::TempDir;
namespace fs = std::filesystem;

class PluginTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ::unsetenv("QKS_STUDIO");
        host_.setOutputSink([this](std::string_view text) { output_ += text; });
    }
    void TearDown() override {
        host_.unloadAllPlugins();
        ::unsetenv("QKS_STUDIO");
    }
    // Copies a plug-in module into `folder` so the launcher searches around it, not the build.
    std::string install(const std::string& module, const std::string& folder) {
        fs::create_directories(folder);
        const std::string target = folder + "/" + module;
        fs::copy_file(std::string(QKS_TEST_BIN_DIR) + "/" + module, target,
                      fs::copy_options::overwrite_existing);
        return target;
    }
    std::string run(const std::string& line) {
        output_.clear();
        host_.executeCommandLine(line);
        return output_;
    }
    // The script creates its marker, then writes its working folder into it: wait for the line.
    static bool startedIn(const std::string& marker) {
        return qks::testing::eventually([&] {
            const std::string text = qks::testing::readAll(marker);
            return !text.empty() && text.back() == '\n';
        });
    }
    static std::string script(const std::string& path, const std::string& marker) {
        std::ofstream(path) << "#!/bin/sh\npwd > '" << marker << "'\n";
        ::chmod(path.c_str(), 0755);
        return path;
    }

    TempDir dir_;
    qks::testing::ScopedTempFolder tmp_{dir_.path()};
    qkshost::HostApplication host_;
    std::string output_;
};

TEST_F(PluginTest, VersionCommandNamesEachBuildsHostGeneration) {
    struct Case {
        const char* module;
        const char* generation;
    } cases[] = {{"libqks.so", "24"}, {"libqks23.so", "23"}};
    for (const auto& c : cases) {
        std::string error;
        ASSERT_TRUE(host_.loadPlugin(install(c.module, dir_.file("p")), error)) << error;
        EXPECT_EQ(run("qkver"), "\n[QKS] Corvane Studio " + kVersion + "\n[QKS] 适配 AutoCAD " +
                                    c.generation + "\n[QKS] 面板路径: (未找到)\n");
        ASSERT_TRUE(host_.unloadPlugin(c.module, error)) << error;
        EXPECT_EQ(run("QKVER"), "Unknown command \"QKVER\".\n");
    }
}

TEST_F(PluginTest, LauncherSearchOrder) {
    const std::string plugins = dir_.file("app/bin");
    std::string error;
    ASSERT_TRUE(host_.loadPlugin(install("libqks.so", plugins), error)) << error;
    const std::string marker = dir_.file("started-in");

    // Nothing anywhere (a folder in QKS_STUDIO is skipped).
    fs::create_directories(dir_.file("a-folder"));
    ::setenv("QKS_STUDIO", dir_.file("a-folder").c_str(), 1);
    EXPECT_EQ(run("QK"), "\n[QKS] 未找到 QskStudio.exe，请把它放在 ARX 同目录。\n");

    // QKS_STUDIO naming a program.
    fs::create_directories(dir_.file("elsewhere"));
    ::setenv("QKS_STUDIO", script(dir_.file("elsewhere/studio.sh"), marker).c_str(), 1);
    EXPECT_EQ(run("QK"), "\n[QKS] 面板已启动。\n");
    ASSERT_TRUE(startedIn(marker));
    EXPECT_EQ(qks::testing::readAll(marker), fs::canonical(dir_.file("elsewhere")).string() + "\n");
    fs::remove(marker);

    // ../Studio/QksStudio beats the variable.
    fs::create_directories(dir_.file("app/Studio"));
    script(dir_.file("app/Studio/QksStudio"), marker);
    EXPECT_EQ(run("qk"), "\n[QKS] 面板已启动。\n");
    ASSERT_TRUE(startedIn(marker));
    EXPECT_EQ(qks::testing::readAll(marker),
              fs::canonical(dir_.file("app/Studio")).string() + "\n");
    fs::remove(marker);

    // Beside the plug-in beats both; QKVER names it.
    script(plugins + "/QksStudio", marker);
    EXPECT_EQ(run("QK"), "\n[QKS] 面板已启动。\n");
    ASSERT_TRUE(startedIn(marker));
    EXPECT_EQ(qks::testing::readAll(marker), fs::canonical(plugins).string() + "\n");
    EXPECT_NE(
        run("QKVER").find("\n[QKS] 面板路径: " + fs::canonical(plugins).string() + "/QksStudio"),
        std::string::npos);

    // Found but not startable: the system's error code is reported.
    ::chmod((plugins + "/QksStudio").c_str(), 0644);
    EXPECT_EQ(run("QK"), "\n[QKS] 启动 QskStudio.exe 失败，错误码 13。\n");
}

TEST_F(PluginTest, UnloadWithAnIdleClientThenLoadServesAgain) {
    const std::string module = install("libqks.so", dir_.file("p"));
    std::string error;
    ASSERT_TRUE(host_.loadPlugin(module, error)) << error;
    const std::string socket = dir_.file("qksstudio");
    qks::testing::BridgeClient idle;
    ASSERT_TRUE(idle.connectWithin(socket, 5s));
    EXPECT_EQ(idle.request("PING\r\n"), kPong);

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(run("ARXUNLOAD libqks"), "Unloaded libqks.\n");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    struct stat info {};
    EXPECT_NE(::lstat(socket.c_str(), &info), 0);
    EXPECT_EQ(run("QK"), "Unknown command \"QK\".\n");

    EXPECT_EQ(run("APPLOAD " + module), "Loaded " + module + ".\n");
    qks::testing::BridgeClient again;
    ASSERT_TRUE(again.connectWithin(socket, 5s));
    EXPECT_EQ(again.request("PING"), kPong);
    EXPECT_NE(run("QKVER").find("Corvane Studio " + kVersion), std::string::npos);
}

TEST_F(PluginTest, LoaderRejectsWhatIsNotAPlugin) {
    struct Case {
        std::string path;
        const char* error;
    } cases[] = {
        {dir_.file("missing.so"), "no such file"},
        {dir_.write("text.so", "not an ELF file"), ""},
        {"/lib/x86_64-linux-gnu/libm.so.6", "not a plug-in"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(host_.loadPlugin(c.path, error)) << c.path;
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
    }
    std::string error;
    const std::string module = install("libqks.so", dir_.file("p"));
    ASSERT_TRUE(host_.loadPlugin(module, error));
    EXPECT_FALSE(host_.loadPlugin(module, error));
    EXPECT_EQ(error, "already loaded");
}

// A nest job still searching when the plug-in goes: unloading stops its worker and waits for it
// (the module's code is unmapped right after) without an output step, and the next load starts
// with a free job slot.
TEST_F(PluginTest, UnloadStopsARunningNestJobAndTheNextLoadNestsAgain) {
    const std::string module = install("libqks.so", dir_.file("p"));
    const std::string log = dir_.file("nest.log");
    const std::string drawing = dir_.file("out/套料图.dxf");
    const auto configure = [&](const char* seconds) {
        dir_.write("qks_nest.cfg",
                   "source=files\nfile=" + std::string(QKS_TEST_SOURCE_DIR) +
                       "/tests/fixtures/nest/PLATES.DXF\noutDir=" + dir_.file("out") +
                       "\nlog=" + log +
                       "\nsheet=1000x500\npartcount 1=6\npartcount 2=6\nseconds=" + seconds + "\n");
    };
    const auto logHas = [&](const char* text) {
        return qks::testing::readAll(log).find(text) != std::string::npos;
    };
    std::string error;
    ASSERT_TRUE(host_.loadPlugin(module, error)) << error;
    configure("600");
    run("QKNEST");
    ASSERT_TRUE(qks::testing::eventually([&] { return logHas("NEST 首版"); }));
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(host_.unloadPlugin("libqks", error)) << error;
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_EQ(host_.backgroundWorkCount(), 0);
    EXPECT_TRUE(logHas("NEST 优化结束"));
    EXPECT_FALSE(logHas("DONE"));
    EXPECT_FALSE(fs::exists(drawing));
    const std::string progress = qks::testing::readAll(dir_.file("qks_nest_progress.txt"));
    EXPECT_NE(progress.find("STATE\tstopped"), std::string::npos) << progress;

    ASSERT_TRUE(host_.loadPlugin(module, error)) << error;
    configure("1");
    run("QKNEST");
    for (int i = 0; i < 600 && !logHas("NEST 已生成"); ++i)
        host_.processEventsFor(50ms);
    EXPECT_TRUE(logHas("DONE 板=") && logHas(" 件=12 ")) << qks::testing::readAll(log);
    EXPECT_TRUE(fs::exists(drawing));
}

}  // namespace
