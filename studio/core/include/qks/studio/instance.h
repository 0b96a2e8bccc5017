#pragma once
// One Studio per user: the first start serves a local socket in the temporary folder, and a later
// start hands it the drawings on its command line (or just asks it to the front) and ends.
//
// Threads: GUI thread only.

#include <QObject>
#include <QStringList>

class QLocalServer;

namespace qks::studio {

// The server name of the running Studio: per user, beside the bridge in the temporary folder.
QString studioInstanceName();

// True when a running Studio took `drawings` (made absolute here) within `waitMs`: this start
// then has nothing left to do.
bool handOverToRunningStudio(const QStringList& drawings, int waitMs = 3000);

class StudioInstance : public QObject {
    Q_OBJECT
  public:
    explicit StudioInstance(QObject* parent = nullptr);
    // Serves later starts; false when the name cannot be taken (another Studio serves it).
    bool listen();

  signals:
    // A later start handed these drawings over (none: it only asks for the window).
    void handedOver(const QStringList& drawings);

  private:
    QLocalServer* server_ = nullptr;
};

}  // namespace qks::studio
