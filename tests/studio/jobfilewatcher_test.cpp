// The job file watcher against real files in a scratch folder: each way the plug-in and the
// Studio touch a job file reaches a subscriber exactly once.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <functional>

#include "qks/studio/jobfilewatcher.h"
#include "test_support.h"

namespace qks::studio {
namespace {

using test::waitUntil;
using test::writeFile;

constexpr int kIntervalMs = 20;

void append(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::Append));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

// Spins the event loop for `ms` milliseconds.
void spin(int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

TEST(JobFileWatcher, EachChangeReachesTheSubscriberOnce) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString path = folder.filePath(QStringLiteral("qks_nest_progress.txt"));
    const QString tmp = path + QStringLiteral(".tmp");
    writeFile(folder.filePath(QStringLiteral("other.txt")), "not watched\n");

    JobFileWatcher watcher(nullptr, kIntervalMs);
    QObject subscriber;
    QStringList heard;
    QStringList signalled;
    watcher.subscribe({path}, &subscriber, [&heard](const QString& p) { heard << p; });
    QObject::connect(&watcher, &JobFileWatcher::changed,
                     [&signalled](const QString& p) { signalled << p; });
    EXPECT_TRUE(watcher.watching(path));

    const struct {
        const char* what;
        std::function<void()> act;
    } steps[] = {
        {"created", [&] { writeFile(path, "STATE\trunning\n"); }},
        {"appended", [&] { append(path, "UTIL\t12.50\n"); }},
        {"replaced by rename",
         [&] {
             // Same size as before: only the file's identity tells it apart.
             writeFile(tmp, "STATE\tstopped\nUTIL\t12.75\n");
             ASSERT_EQ(std::rename(QFile::encodeName(tmp).constData(),
                                   QFile::encodeName(path).constData()),
                       0);
         }},
        {"removed", [&] { ASSERT_TRUE(QFile::remove(path)); }},
        {"re-created", [&] { writeFile(path, "STATE\tdone\n"); }},
    };
    spin(5 * kIntervalMs);
    EXPECT_TRUE(heard.isEmpty());
    int expected = 0;
    for (const auto& step : steps) {
        step.act();
        ++expected;
        EXPECT_TRUE(waitUntil([&] { return heard.size() >= expected; }, 2000)) << step.what;
        spin(5 * kIntervalMs);  // and no second time
        EXPECT_EQ(heard.size(), expected) << step.what;
        EXPECT_EQ(heard.value(expected - 1), path) << step.what;
    }
    EXPECT_EQ(signalled, heard);

    // Unsubscribed: the path is no longer watched and nothing more arrives.
    watcher.unsubscribe(&subscriber);
    EXPECT_FALSE(watcher.watching(path));
    append(path, "more\n");
    spin(5 * kIntervalMs);
    EXPECT_EQ(heard.size(), expected);
}

}  // namespace
}  // namespace qks::studio
