// Where the Studio finds its host, and the host it keeps: the real qkshost of this build in the
// test's private temporary folder, so its bridge socket is the test's own.
#include <gtest/gtest.h>
#include <signal.h>

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "qks/contract/version.h"
#include "qks/studio/bridgeclient.h"
#include "qks/studio/files.h"
#include "qks/studio/hostkeeper.h"
#include "test_support.h"

using namespace qks::studio;
using qks::studio::test::BridgeServer;
using qks::studio::test::waitUntil;

namespace {

// Sets QKS_HOST for one test and restores what was there.
class HostVariable {
  public:
    explicit HostVariable(const QString& value) : saved_(qgetenv("QKS_HOST")) {
        qputenv("QKS_HOST", value.toUtf8());
    }
    ~HostVariable() { qputenv("QKS_HOST", saved_); }

  private:
    QByteArray saved_;
};

// What a keeper announced, in order.
struct KeeperLog {
    explicit KeeperLog(HostKeeper& keeper) {
        QObject::connect(&keeper, &HostKeeper::hostStarting, [this] { ++starting; });
        QObject::connect(&keeper, &HostKeeper::bridgeReady, [this] { ++ready; });
        QObject::connect(&keeper, &HostKeeper::hostExited,
                         [this](const QString& reason) { exited << reason; });
        QObject::connect(&keeper, &HostKeeper::hostFailed,
                         [this](const QString& reason) { failed << reason; });
    }
    int starting = 0;
    int ready = 0;
    QStringList exited;
    QStringList failed;
};

constexpr int kHostStartMs = 60000;  // a sanitizer build on a loaded machine

bool processGone(qint64 pid) {
    return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

}  // namespace

TEST(HostSearch, TakesTheFirstExecutableOfEnvironmentSettingsAndBesideTheStudio) {
    QTemporaryDir dir;
    const auto program = [&dir](const QString& name, bool executable) {
        const QString path = dir.filePath(name);
        QDir().mkpath(QFileInfo(path).path());
        test::writeFile(path, "#!/bin/sh\n");
        QFile::setPermissions(path, executable ? QFile::ReadOwner | QFile::ExeOwner
                                               : QFile::ReadOwner | QFile::WriteOwner);
        return path;
    };
    const QString fromEnvironment = program(QStringLiteral("env/qkshost"), true);
    const QString fromSettings = program(QStringLiteral("settings/qkshost"), true);
    const QString beside = program(QStringLiteral("bin/qkshost"), true);
    const QString notExecutable = program(QStringLiteral("plain/qkshost"), false);
    const QString missing = dir.filePath(QStringLiteral("missing/qkshost"));
    const QString studio = dir.filePath(QStringLiteral("Studio"));
    const QString studioAlone = dir.filePath(QStringLiteral("alone/Studio"));
    const struct {
        const char* what;
        QString environment, settings, studioFolder, found;
    } cases[] = {
        {"QKS_HOST first", fromEnvironment, fromSettings, studio, fromEnvironment},
        {"then the settings", QString(), fromSettings, studio, fromSettings},
        {"then ../bin beside the Studio", QString(), QString(), studio, beside},
        {"a missing QKS_HOST is skipped", missing, fromSettings, studio, fromSettings},
        {"a plain file is skipped", notExecutable, QString(), studio, beside},
        {"a folder is skipped", dir.filePath(QStringLiteral("bin")), QString(), studio, beside},
        {"a name not on PATH is skipped", QStringLiteral("qks-no-such-host"), notExecutable, studio,
         beside},
        {"blanks around a path", QStringLiteral("  ") + fromEnvironment + QStringLiteral(" "),
         QString(), studio, fromEnvironment},
        {"nothing usable", notExecutable, missing, studioAlone, QString()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(findHostProgram({c.environment, c.settings, c.studioFolder}), c.found);
    }
    // The candidates name every place in order, so a failure can say where it looked; a bare
    // name is looked up on PATH.
    EXPECT_EQ(hostCandidates({QStringLiteral("sh"), missing, studioAlone}),
              (QStringList{QStandardPaths::findExecutable(QStringLiteral("sh")), missing,
                           dir.filePath(QStringLiteral("alone/bin/qkshost"))}));
}

TEST(HostSearch, SettingsAndEnvironmentFeedTheSearch) {
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("studio.ini"));
    ASSERT_TRUE(saveHostProgramSetting(ini, QStringLiteral(" /opt/主机/qkshost ")));
    EXPECT_EQ(loadHostProgramSetting(ini), QStringLiteral("/opt/主机/qkshost"));
    const HostVariable variable(QStringLiteral("/usr/local/bin/qkshost"));
    const HostSearch search = hostSearchFor(ini, QStringLiteral("/usr/lib/qks/Studio"));
    EXPECT_EQ(search.fromEnvironment, QStringLiteral("/usr/local/bin/qkshost"));
    EXPECT_EQ(search.fromSettings, QStringLiteral("/opt/主机/qkshost"));
    EXPECT_EQ(search.studioFolder, QStringLiteral("/usr/lib/qks/Studio"));
    // Saved empty, the setting is gone.
    ASSERT_TRUE(saveHostProgramSetting(ini, QString()));
    EXPECT_EQ(loadHostProgramSetting(ini), QString());
}

TEST(HostKeeper, WithoutAProgramSaysWhereItLookedAndWhatToDo) {
    QTemporaryDir dir;
    const HostVariable variable(dir.filePath(QStringLiteral("no-host")));
    HostKeeper keeper(dir.filePath(QStringLiteral("studio.ini")), dir.filePath("Studio"));
    KeeperLog log(keeper);
    keeper.ensureHost();
    EXPECT_EQ(keeper.state(), HostKeeper::State::Failed);
    EXPECT_EQ(log.starting, 0);
    ASSERT_EQ(log.failed.size(), 1);
    EXPECT_TRUE(log.failed[0].contains(dir.filePath(QStringLiteral("no-host"))))
        << log.failed[0].toStdString();
    EXPECT_TRUE(log.failed[0].contains(dir.filePath(QStringLiteral("bin/qkshost"))))
        << log.failed[0].toStdString();
    EXPECT_EQ(hostFailedText(QStringLiteral("原因")),
              QStringLiteral("qkshost 无法启动：原因。请在 偏好设置 中指定 qkshost 路径，或设置 "
                             "QKS_HOST"));
}

TEST(HostKeeper, LeavesABridgeThatAlreadyAnswersAlone) {
    BridgeServer server(BridgeServer::pluginLike);
    const HostVariable variable(QStringLiteral(QKS_TEST_HOST));
    QTemporaryDir dir;
    HostKeeper keeper(dir.filePath(QStringLiteral("studio.ini")), QString());
    KeeperLog log(keeper);
    keeper.ensureHost();
    EXPECT_EQ(keeper.state(), HostKeeper::State::External);
    EXPECT_EQ(log.ready, 1);
    EXPECT_EQ(log.starting, 0);
    EXPECT_EQ(keeper.hostPid(), 0);
}

TEST(HostKeeper, StartsTheHostRestartsItOnceAndStopsIt) {
    const HostVariable variable(QStringLiteral(QKS_TEST_HOST));
    QTemporaryDir dir;
    HostKeeper keeper(dir.filePath(QStringLiteral("studio.ini")), QString());
    KeeperLog log(keeper);
    const auto readyCount = [&log](int count) {
        return waitUntil([&] { return log.ready == count || !log.failed.isEmpty(); },
                         kHostStartMs) &&
               log.failed.isEmpty();
    };

    keeper.ensureHost();
    ASSERT_TRUE(readyCount(1)) << log.failed.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(keeper.state(), HostKeeper::State::Running);
    EXPECT_EQ(keeper.hostProgram(), QStringLiteral(QKS_TEST_HOST));
    const qint64 first = keeper.hostPid();
    ASSERT_GT(first, 0);
    {
        // The real bridge answers the client's handshake with this build's version.
        BridgeClient client;
        ASSERT_TRUE(client.connectToBridge(2000));
        ASSERT_TRUE(waitUntil([&] { return client.isConnected(); }));
        std::optional<std::optional<QString>> version;
        client.ping(&client, [&](std::optional<QString> v) { version = v; });
        ASSERT_TRUE(waitUntil([&] { return version.has_value(); }));
        EXPECT_EQ(*version, QString::fromLatin1(qks::contract::kProductVersion.data(),
                                                int(qks::contract::kProductVersion.size())));
    }
    keeper.ensureHost();  // a running host is kept, not started twice
    EXPECT_EQ(log.starting, 1);

    // Killed: the keeper says so and starts it again.
    ::kill(static_cast<pid_t>(first), SIGKILL);
    ASSERT_TRUE(readyCount(2)) << log.failed.join(QLatin1Char('\n')).toStdString();
    ASSERT_EQ(log.exited, QStringList{QStringLiteral("进程被终止")});
    const qint64 second = keeper.hostPid();
    EXPECT_GT(second, 0);
    EXPECT_NE(second, first);

    // Killed again soon after the restart: no second restart; the user is told.
    ::kill(static_cast<pid_t>(second), SIGKILL);
    ASSERT_TRUE(waitUntil([&] { return !log.failed.isEmpty(); }, kHostStartMs));
    EXPECT_EQ(log.exited.size(), 1);
    EXPECT_EQ(keeper.state(), HostKeeper::State::Failed);
    EXPECT_TRUE(log.failed[0].startsWith(QStringLiteral("重新启动后再次退出")))
        << log.failed[0].toStdString();

    // Asked again (the connect button): a fresh host, with a restart of its own again.
    log.failed.clear();
    keeper.ensureHost();
    ASSERT_TRUE(readyCount(3)) << log.failed.join(QLatin1Char('\n')).toStdString();
    ::kill(static_cast<pid_t>(keeper.hostPid()), SIGKILL);
    ASSERT_TRUE(readyCount(4)) << log.failed.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(log.exited.size(), 2);

    // stopHost ends the host with its socket; a stop is no death.
    const qint64 last = keeper.hostPid();
    keeper.stopHost();
    EXPECT_TRUE(processGone(last));
    EXPECT_FALSE(QFile::exists(tempFilePath(kBridgeServerName)));
    EXPECT_EQ(keeper.hostPid(), 0);
    EXPECT_EQ(log.exited.size(), 2);
}
