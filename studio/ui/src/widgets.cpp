#include "widgets.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <algorithm>

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
