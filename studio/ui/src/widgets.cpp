#include "widgets.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <functional>

#include "qks/studio/files.h"

namespace qks::studio {

QLabel* makeLabel(const QString& text, const char* objectName, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(objectName));
    return label;
}

QPushButton* makeButton(const QString& text, const char* objectName, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(objectName));
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

QLineEdit* makeInput(const QString& text, const QString& placeholder, QWidget* parent) {
    auto* edit = new QLineEdit(text, parent);
    edit->setObjectName(QStringLiteral("formInput"));
    edit->setPlaceholderText(placeholder);
    return edit;
}

QCheckBox* makeCheck(const QString& text, QWidget* parent) {
    auto* check = new QCheckBox(text, parent);
    check->setObjectName(QStringLiteral("formCheck"));
    return check;
}

QDoubleSpinBox* makeNumberSpin(double low, double high, int decimals, double value,
                               QWidget* parent) {
    auto* spin = new QDoubleSpinBox(parent);
    spin->setObjectName(QStringLiteral("formInput"));
    spin->setRange(low, high);
    spin->setDecimals(decimals);
    spin->setValue(value);
    return spin;
}

QLabel* makeHint(const QString& text, QWidget* parent) {
    QLabel* label = makeLabel(text, "sectionCount", parent);
    label->setWordWrap(true);
    return label;
}

QPushButton* addBackHeader(QVBoxLayout* page, const QString& title, const QString& note,
                           QWidget* parent) {
    auto* header = new QHBoxLayout();
    header->addWidget(makeLabel(title, "sectionTitle", parent));
    header->addStretch();
    header->addWidget(makeLabel(note, "sectionCount", parent));
    QPushButton* back = makeButton(QStringLiteral("返回"), "ghostButton", parent);
    header->addSpacing(6);
    header->addWidget(back);
    page->addLayout(header);
    return back;
}

QGridLayout* makePanelGrid(QWidget* panel) {
    auto* grid = new QGridLayout(panel);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(10);
    return grid;
}

QLabel* addButtonRow(QVBoxLayout* page, const QList<QPushButton*>& buttons, const QString& note,
                     QWidget* parent) {
    auto* row = new QHBoxLayout();
    for (QPushButton* button : buttons)
        row->addWidget(button);
    row->addSpacing(6);
    QLabel* label = makeLabel(note, "sectionCount", parent);
    row->addWidget(label, 1);
    page->addLayout(row);
    return label;
}

QTableWidget* makeSettingsTable(const QStringList& headers, QWidget* parent) {
    auto* table = new QTableWidget(0, headers.size(), parent);
    table->setObjectName(QStringLiteral("partTable"));
    table->setHorizontalHeaderLabels(headers);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->horizontalHeader()->setStretchLastSection(true);
    table->verticalHeader()->setVisible(false);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setAlternatingRowColors(true);
    return table;
}

void appendTableRow(QTableWidget* table, const QStringList& cells, int row) {
    if (row < 0) row = table->rowCount();
    table->insertRow(row);
    for (int column = 0; column < cells.size() && column < table->columnCount(); ++column)
        table->setItem(row, column, new QTableWidgetItem(cells[column]));
}

QString cellText(const QTableWidget* table, int row, int column) {
    const QTableWidgetItem* item = table->item(row, column);
    return item ? item->text().trimmed() : QString();
}

void removeSelectedRows(QTableWidget* table) {
    QList<int> rows;
    for (const QModelIndex& index : table->selectionModel()->selectedRows())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    for (int row : rows)
        table->removeRow(row);
}

void addDrawingPaths(QListWidget* list, const QStringList& paths) {
    for (const QString& path : acceptedDrawingPaths(drawingPaths(list), paths)) {
        auto* item = new QListWidgetItem(QFileInfo(path).fileName(), list);
        item->setData(Qt::UserRole, path);
        item->setToolTip(path);
    }
}

QStringList drawingPaths(const QListWidget* list) {
    QStringList paths;
    for (int i = 0; i < list->count(); ++i)
        paths.append(list->item(i)->data(Qt::UserRole).toString());
    return paths;
}

QString inDocuments(const QString& name) {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty()) folder = QDir::homePath();
    return joinPath(folder, name);
}

QString drawingFileFilters() {
    return QStringLiteral("图纸 (*.dwg *.dxf);;DWG (*.dwg);;DXF (*.dxf);;所有文件 (*.*)");
}

void appendLogLine(QPlainTextEdit* log, const QString& line) {
    log->appendPlainText(line);
}

QComboBox* makeChoiceCombo(const QVector<QPair<QString, QString>>& items, QWidget* parent) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(QStringLiteral("formInput"));
    for (const auto& item : items)
        combo->addItem(item.first, item.second);
    combo->setCurrentIndex(0);
    return combo;
}

void WholeCellDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                                             const QModelIndex&) const {
    QRect rect = option.rect.adjusted(0, 2, 0, -2);
    const int height = std::min(rect.height(), editor->sizeHint().height());
    rect.setTop(rect.top() + (rect.height() - height) / 2);
    rect.setHeight(height);
    editor->setGeometry(rect);
}

}  // namespace qks::studio
