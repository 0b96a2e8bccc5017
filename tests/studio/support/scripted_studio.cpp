// QksStudio with --script: the program's own code (run.h) and the script driver, for the
// end-to-end runs. Built with the tests only and never installed.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <cstdio>

#include "qks/studio/app/run.h"
#include "qks/studio/ui/mainwindow.h"
#include "script.h"

int main(int argc, char** argv) {
    const QCommandLineOption scriptOption(
        QStringLiteral("script"),
        QStringLiteral("Run the commands of <file> (see script.h), then quit."),
        QStringLiteral("file"));
    qks::studio::StudioRunExtension extension;
    extension.options = {scriptOption};
    extension.started = [scriptOption](qks::studio::MainWindow& window,
                                       const QCommandLineParser& options) {
        if (!options.isSet(scriptOption)) return 0;
        QFile file(options.value(scriptOption));
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "cannot read script %s\n", qPrintable(file.fileName()));
            return 2;
        }
        auto* script = new qks::studio::StudioScript(
            window, QString::fromUtf8(file.readAll()).split(QLatin1Char('\n')), &window);
        QObject::connect(script, &qks::studio::StudioScript::finished, QCoreApplication::instance(),
                         [](int code) { QCoreApplication::exit(code); });
        script->start();
        return 0;
    };
    return qks::studio::runStudio(argc, argv, extension);
}
