// Test entry: every run gets a private temporary folder (TMPDIR), so the bridge name and
// the job files never collide with a real Studio or a parallel test, and keeps the Studio's
// settings file there too, away from the user's; widget suites run on the offscreen platform.
#include <gtest/gtest.h>

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <cstdlib>

#ifdef QKS_STUDIO_WIDGETS
#include <QApplication>
using StudioTestApp = QApplication;
#else
#include <QCoreApplication>
using StudioTestApp = QCoreApplication;
#endif

// Under LeakSanitizer: the Qt offscreen platform and fontconfig keep their screen and font
// caches until process exit by design; those are not faults of the Studio.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libqoffscreen.so\n"
           "leak:QScreen::QScreen\n"
           "leak:QPlatformScreen::QPlatformScreen\n"
           "leak:QWindowSystemInterface::handleScreenAdded\n"
           "leak:libfontconfig.so\n";
}

int main(int argc, char** argv) {
    char pattern[] = "/tmp/qks-studio-test-XXXXXX";
    const char* scratch = ::mkdtemp(pattern);
    if (!scratch) return 2;
    ::setenv("TMPDIR", scratch, 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int result = 0;
    {
        StudioTestApp app(argc, argv);
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                           QString::fromLocal8Bit(scratch) + QStringLiteral("/config"));
        ::testing::InitGoogleTest(&argc, argv);
        result = RUN_ALL_TESTS();
    }
    QDir(QString::fromLocal8Bit(scratch)).removeRecursively();
    return result;
}
