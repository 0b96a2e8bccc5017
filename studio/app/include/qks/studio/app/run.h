#pragma once
// The Studio's program: its command line, the single-instance hand-over, the host keeper, the
// window and the event loop. QksStudio's main() is this alone; a test build of the program adds
// its own options through an extension.

#include <QCommandLineOption>
#include <QList>
#include <functional>

class QCommandLineParser;

namespace qks::studio {

class MainWindow;

struct StudioRunExtension {
    // Added to the command line. A run with one of them set is automated: it never hands its
    // drawings over to a running Studio.
    QList<QCommandLineOption> options;
    // Called once the window shows, before the event loop; a non-zero result ends the program
    // with that code at once.
    std::function<int(MainWindow& window, const QCommandLineParser& parsed)> started;
};

int runStudio(int argc, char** argv, const StudioRunExtension& extension = {});

}  // namespace qks::studio
