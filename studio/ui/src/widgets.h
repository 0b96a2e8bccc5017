#pragma once
// Small builders shared by the pages: labels and buttons carrying their style-sheet
// object names, the drawing-file list, and the page log.

#include <QPair>
#include <QString>
#include <QStringList>
#include <QStyledItemDelegate>
#include <QVector>

class QComboBox;
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

// A form combo of (text, data) items, the first chosen.
QComboBox* makeChoiceCombo(const QVector<QPair<QString, QString>>& items, QWidget* parent);

// Lays a widget put into a table cell over the whole width of its cell: the table's item
// padding is meant for text and would leave the widget narrower than the column sized to fit
// it. In height it keeps its own size, centred, whatever the row's height.
class WholeCellDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const override;
};

}  // namespace qks::studio
