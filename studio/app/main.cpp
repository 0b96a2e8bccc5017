// QksStudio entry. Besides the normal interactive start it takes a few options so test
// and demo runs can drive it without a person: show a page, take a screenshot, quit.
#include <QApplication>
#include <QCommandLineParser>
#include <QPushButton>
#include <QTimer>

#include "qks/studio/ui/look.h"
#include "qks/studio/ui/mainwindow.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    qks::studio::applyStudioLook(app);

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
    options.process(app);

    qks::studio::MainWindow window;
    window.show();
    if (options.isSet(pageOption)) {
        const int page = options.value(pageOption).toInt();
        if (page >= 0 && page < window.navButtons.size()) window.navButtons[page]->click();
    }
    const QString shot = options.value(shotOption);
    if (!shot.isEmpty() || options.isSet(quitOption)) {
        QTimer::singleShot(options.value(delayOption).toInt(), &window, [&window, shot] {
            int code = 0;
            if (!shot.isEmpty() && !window.grab().save(shot, "PNG")) code = 1;
            QApplication::exit(code);
        });
    }
    return app.exec();
}
