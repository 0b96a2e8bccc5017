#pragma once
// Small builders shared by the pages: labels and buttons carrying their style-sheet
// object names, the drawing-file list, and the page log.

#include <QString>
#include <QStringList>

class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QWidget;

namespace qks::studio {

QLabel* makeLabel(const QString& text, const char* objectName, QWidget* parent = nullptr);
QPushButton* makeButton(const QString& text, const char* objectName, QWidget* parent = nullptr);

// Appends entries for the paths the list accepts (dwg/dxf, no exact duplicate): text the
// file name, user data and tool tip the full path.
void addDrawingPaths(QListWidget* list, const QStringList& paths);
QStringList drawingPaths(const QListWidget* list);

// `name` inside the user's documents folder (the home folder when there is none).
QString inDocuments(const QString& name);

// Filters of the drawing-file dialogs.
QString drawingFileFilters();

void appendLogLine(QPlainTextEdit* log, const QString& line);

}  // namespace qks::studio
