#pragma once
// The few places the pages ask the desktop for something (file and folder dialogs,
// opening a folder). Tests and scripted runs install their own answers.

#include <QList>
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

// Answers queued in advance, for scripted runs and tests: each dialog takes the next
// answer of its kind (none left: cancelled); opened folders are only recorded.
class QueuedDialogs : public StudioDialogs {
  public:
    QList<QStringList> files;
    QStringList folders;
    QStringList saves;
    QStringList opened;

    QStringList openFiles(QWidget* parent, const QString& title, const QString& filter) override;
    QString folder(QWidget* parent, const QString& title, const QString& start) override;
    QString saveFile(QWidget* parent, const QString& title, const QString& start,
                     const QString& filter) override;
    void openFolder(const QString& path) override;
};

// The dialogs in use: the desktop's own unless replaced. Not owned.
StudioDialogs& studioDialogs();
// Installs `dialogs` (nullptr restores the desktop's) and returns the previous one.
StudioDialogs* setStudioDialogs(StudioDialogs* dialogs);

}  // namespace qks::studio
