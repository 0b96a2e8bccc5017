#pragma once
// Small builders shared by the pages: labels and buttons carrying their style-sheet
// object names, the drawing-file list, and the page log.

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QStyledItemDelegate>
#include <QVector>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;
class QVBoxLayout;
class QWidget;

namespace qks::studio {

// The button of a page whose job writes drawings: shows them in the drawing window.
inline const QString kOpenInDrawingWindow = QStringLiteral("在图纸窗口打开");

QLabel* makeLabel(const QString& text, const char* objectName, QWidget* parent = nullptr);
QPushButton* makeButton(const QString& text, const char* objectName, QWidget* parent = nullptr);

// Form widgets: a line edit, a check box and a number box, styled as the forms' inputs.
QLineEdit* makeInput(const QString& text, const QString& placeholder, QWidget* parent);
QCheckBox* makeCheck(const QString& text, QWidget* parent);
QDoubleSpinBox* makeNumberSpin(double low, double high, int decimals, double value,
                               QWidget* parent);
// A muted note under a form, wrapped to the width it gets.
QLabel* makeHint(const QString& text, QWidget* parent);

// The title row of a page a card or another page opens: its title, a note on what it holds and
// the "返回" button, which is returned.
QPushButton* addBackHeader(QVBoxLayout* page, const QString& title, const QString& note,
                           QWidget* parent);

// The grid of a form panel: no margins, 10 px between cells.
QGridLayout* makePanelGrid(QWidget* panel);

// A row of `buttons` on `page`, then a note (returned) that takes the rest of the row.
QLabel* addButtonRow(QVBoxLayout* page, const QList<QPushButton*>& buttons, const QString& note,
                     QWidget* parent);

// A table of settings the person edits in place: whole rows selected, columns sized to their
// contents, the last one stretched.
QTableWidget* makeSettingsTable(const QStringList& headers, QWidget* parent);
// Inserts a row of editable items holding `cells` before `row` (-1: after the last row).
void appendTableRow(QTableWidget* table, const QStringList& cells, int row = -1);
// The cell's text, trimmed; empty where the cell has no item.
QString cellText(const QTableWidget* table, int row, int column);
void removeSelectedRows(QTableWidget* table);

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
