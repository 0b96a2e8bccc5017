// Besides the normal interactive start the program takes a few options so a demo can show it
// without a person: show a page, take a screenshot, quit.
#include "qks/studio/app/run.h"

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QCommandLineParser>
#include <QPushButton>
#include <QShortcut>
#include <QSocketNotifier>
#include <QTimer>

#include "qks/studio/bomsettings.h"
#include "qks/studio/hostkeeper.h"
#include "qks/studio/hugepages.h"
#include "qks/studio/instance.h"
#include "qks/studio/ui/look.h"
#include "qks/studio/ui/mainwindow.h"

namespace {

int terminationPipe[2] = {-1, -1};

void onTerminationSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(terminationPipe[1], &byte, 1);
}

// SIGTERM (the session ends, a service manager stops the Studio) and SIGINT end the event loop
// as closing the window does, so the host the Studio started is stopped on the way out.
void quitOnTerminationSignals(QApplication& app) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, terminationPipe) != 0) return;
    auto* notifier = new QSocketNotifier(terminationPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [] { QApplication::quit(); });
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

}  // namespace

namespace qks::studio {

int runStudio(int argc, char** argv, const StudioRunExtension& extension) {
    restartWithHugePageHeap(argv);
    QApplication app(argc, argv);
    applyStudioLook(app);
    quitOnTerminationSignals(app);

    QCommandLineParser options;
    options.addHelpOption();
    const QCommandLineOption pageOption(QStringLiteral("page"),
                                        QStringLiteral("Show page <index> (0-5) first."),
                                        QStringLiteral("index"));
    const QCommandLineOption shotOption(
        QStringLiteral("screenshot"),
        QStringLiteral("Save the window as PNG to <file>, then quit."), QStringLiteral("file"));
    const QCommandLineOption delayOption(
        QStringLiteral("delay"), QStringLiteral("Wait <ms> before the screenshot or quitting."),
        QStringLiteral("ms"), QStringLiteral("1200"));
    const QCommandLineOption quitOption(QStringLiteral("quit-after"),
                                        QStringLiteral("Quit after the delay."));
    options.addOptions({pageOption, shotOption, delayOption, quitOption});
    options.addOptions(extension.options);
    options.addPositionalArgument(
        QStringLiteral("drawings"),
        QStringLiteral("DXF or DWG drawings to open in the drawing window."),
        QStringLiteral("[drawing...]"));
    options.process(app);

    // One Studio per user: a later start (the desktop entry's %F) hands its drawings to the
    // running one and ends. Scripted and screenshot runs are the tests' own and stay apart.
    bool automated = options.isSet(shotOption) || options.isSet(quitOption);
    for (const QCommandLineOption& option : extension.options)
        automated = automated || options.isSet(option);
    if (!automated && handOverToRunningStudio(options.positionalArguments())) return 0;
    StudioInstance instance;
    instance.listen();

    // Declared before the window, so the window is gone before the keeper stops its host.
    HostKeeper hostKeeper(studioSettingsPath(), QCoreApplication::applicationDirPath());
    MainWindow window;
    window.setHostKeeper(&hostKeeper);
    new QShortcut(QKeySequence::Quit, &window, &window, &QWidget::close);
    showMainWindow(window, studioSettingsPath());
    window.openDrawingsWhenConnected(options.positionalArguments());
    QObject::connect(&instance, &StudioInstance::handedOver, &window,
                     [&window](const QStringList& drawings) {
                         window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
                         window.show();
                         window.raise();
                         window.activateWindow();
                         if (!drawings.isEmpty()) window.openDrawingsWhenConnected(drawings);
                     });
    if (options.isSet(pageOption)) {
        window.showPage(options.value(pageOption).toInt());
    }
    const QString shot = options.value(shotOption);
    if (!shot.isEmpty() || options.isSet(quitOption)) {
        QTimer::singleShot(options.value(delayOption).toInt(), &window, [&window, shot] {
            int code = 0;
            if (!shot.isEmpty() && !window.grab().save(shot, "PNG")) code = 1;
            QApplication::exit(code);
        });
    }
    if (extension.started) {
        if (const int code = extension.started(window, options)) return code;
    }
    const int code = app.exec();
    saveMainWindowPlace(window, studioSettingsPath());
    return code;
}

}  // namespace qks::studio
