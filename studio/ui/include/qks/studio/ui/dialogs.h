#pragma once
// The few places the pages ask the desktop for something (file and folder dialogs,
// opening a folder). Tests and scripted runs install their own answers.

#include <QString>
#include <QStringList>

class QWidget;

namespace qks::studio {

class StudioDialogs {
  public:
    virtual ~StudioDialogs() = default;
    // Chosen paths; empty when cancelled.
    virtual QStringList openFiles(QWidget* parent, const QString& title, const QString& filter) = 0;
    // Chosen folder; empty when cancelled.
    virtual QString folder(QWidget* parent, const QString& title, const QString& start) = 0;
    virtual QString saveFile(QWidget* parent, const QString& title, const QString& start,
                             const QString& filter) = 0;
    // Opens a local folder with the desktop's default handler.
    virtual void openFolder(const QString& path) = 0;
};

// The dialogs in use: the desktop's own unless replaced. Not owned.
StudioDialogs& studioDialogs();
// Installs `dialogs` (nullptr restores the desktop's) and returns the previous one.
StudioDialogs* setStudioDialogs(StudioDialogs* dialogs);

}  // namespace qks::studio
