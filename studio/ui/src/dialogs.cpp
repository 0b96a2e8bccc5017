#include "qks/studio/ui/dialogs.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QUrl>

namespace qks::studio {
namespace {

class DesktopDialogs : public StudioDialogs {
  public:
    QStringList openFiles(QWidget* parent, const QString& title, const QString& filter) override {
        return QFileDialog::getOpenFileNames(parent, title, QString(), filter);
    }
    QString folder(QWidget* parent, const QString& title, const QString& start) override {
        return QFileDialog::getExistingDirectory(parent, title, start);
    }
    QString saveFile(QWidget* parent, const QString& title, const QString& start,
                     const QString& filter) override {
        return QFileDialog::getSaveFileName(parent, title, start, filter);
    }
    void openFolder(const QString& path) override {
        QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    }
};

DesktopDialogs desktopDialogs;
StudioDialogs* current = &desktopDialogs;

}  // namespace

QStringList QueuedDialogs::openFiles(QWidget*, const QString&, const QString&) {
    return files.isEmpty() ? QStringList() : files.takeFirst();
}

QString QueuedDialogs::folder(QWidget*, const QString&, const QString&) {
    return folders.isEmpty() ? QString() : folders.takeFirst();
}

QString QueuedDialogs::saveFile(QWidget*, const QString&, const QString&, const QString&) {
    return saves.isEmpty() ? QString() : saves.takeFirst();
}

void QueuedDialogs::openFolder(const QString& path) {
    opened.append(path);
}

StudioDialogs& studioDialogs() {
    return *current;
}

StudioDialogs* setStudioDialogs(StudioDialogs* dialogs) {
    StudioDialogs* previous = current;
    current = dialogs ? dialogs : &desktopDialogs;
    return previous;
}

}  // namespace qks::studio
