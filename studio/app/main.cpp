// QksStudio entry. Besides the normal interactive start it takes a few options so test
// and demo runs can drive it without a person: show a page, take a screenshot, quit.
#include <QApplication>
#include <QCommandLineParser>
#include <QPushButton>
#include <QTimer>
#include <cstdio>

#include "qks/studio/ui/look.h"
#include "qks/studio/ui/mainwindow.h"
#include "qks/studio/ui/script.h"

#include <QFile>

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
    const QCommandLineOption scriptOption(
        QStringLiteral("script"),
        QStringLiteral("Run the commands of <file> (see script.h), then quit."),
        QStringLiteral("file"));
    options.addOptions({pageOption, shotOption, delayOption, quitOption, scriptOption});
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
    if (options.isSet(scriptOption)) {
        QFile file(options.value(scriptOption));
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "cannot read script %s\n", qPrintable(file.fileName()));
            return 2;
        }
        auto* script = new qks::studio::StudioScript(
            window, QString::fromUtf8(file.readAll()).split(QLatin1Char('\n')), &window);
        QObject::connect(script, &qks::studio::StudioScript::finished, &app,
                         [](int code) { QApplication::exit(code); });
        script->start();
    }
    return app.exec();
}
