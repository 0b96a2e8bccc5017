#include "qks/studio/ui/nestpage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QFrame>
#include <QGraphicsPathItem>
#include <QGraphicsRectItem>
#include <QGraphicsScene>
#include <QGraphicsSimpleTextItem>
#include <QGraphicsView>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "qks/studio/bridge.h"
#include "qks/studio/jobconfig.h"
#include "qks/studio/logtail.h"
#include "qks/studio/preview.h"
#include "qks/studio/ui/dialogs.h"
#include "widgets.h"

namespace qks::studio {
namespace {

enum Column {
    kUseColumn,
    kIdColumn,
    kNameColumn,
    kQuantityColumn,
    kSizeColumn,
    kRotationColumn,
    kColumnCount
};

const QPair<const char*, PartRotation> kRotationChoices[] = {
    {"随全局", PartRotation::Global},
    {"固定 0°", PartRotation::Fixed0},
    {"0°/180°", PartRotation::HalfTurn},
    {"90° 步进", PartRotation::QuarterTurns}};

// Keeps the scene's rectangle fitted when the view changes size.
class PreviewView : public QGraphicsView {
  public:
    using QGraphicsView::QGraphicsView;

  protected:
    void resizeEvent(QResizeEvent* event) override {
        QGraphicsView::resizeEvent(event);
        if (scene()) fitInView(sceneRect(), Qt::KeepAspectRatio);
    }
};

// Lays the rotation combo over the whole width of its cell: the table's item padding is
// meant for text and would leave the combo narrower than the column sized to fit it.
class WholeCellDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex&) const override {
        editor->setGeometry(option.rect.adjusted(0, 2, 0, -2));
    }
};

QFrame* makePanel(QWidget* parent) {
    auto* frame = new QFrame(parent);
    frame->setObjectName(QStringLiteral("panelCard"));
    return frame;
}

QDoubleSpinBox* makeSpin(double min, double max, int decimals, double step, double value,
                         const QString& suffix, QWidget* parent) {
    auto* spin = new QDoubleSpinBox(parent);
    spin->setObjectName(QStringLiteral("formInput"));
    spin->setRange(min, max);
    spin->setDecimals(decimals);
    spin->setSingleStep(step);
    spin->setValue(value);
    spin->setSuffix(suffix);
    return spin;
}

QCheckBox* makeCheck(const QString& text, bool checked, QWidget* parent) {
    auto* check = new QCheckBox(text, parent);
    check->setObjectName(QStringLiteral("formCheck"));
    check->setChecked(checked);
    return check;
}

QTableWidgetItem* readOnlyItem(const QString& text) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled);
    return item;
}

QString number0(double value) {
    return QString::number(value, 'f', 0);
}

QPolygonF toPolygon(const Contour& contour) {
    QPolygonF polygon(contour);
    if (!polygon.isEmpty()) polygon.append(polygon.first());
    return polygon;
}

}  // namespace

NestPage::NestPage(QLocalSocket* socket, QWidget* parent) : QWidget(parent), socket(socket) {
    // The form is larger than the smallest window: it scrolls instead of overlapping.
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("scroll"));
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    outer->addWidget(scroll);
    auto* content = new QWidget(scroll);
    auto* page = new QVBoxLayout(content);
    page->setContentsMargins(0, 0, 8, 0);
    page->setSpacing(12);

    auto* header = new QHBoxLayout();
    header->addWidget(makeLabel(QStringLiteral("自动套料"), "sectionTitle", this));
    header->addWidget(makeLabel(QStringLiteral("框选零件 · 实时预览 · 后台优化 · 越算越省料"),
                                "sectionCount", this));
    header->addStretch();
    stateChip = makeLabel(QStringLiteral("待命"), "chip", this);
    header->addWidget(stateChip);
    page->addLayout(header);

    // Body: parts on the left, preview and log on the right, in equal halves so the parts
    // table shows all its columns, names included, at the default window width.
    auto* body = new QHBoxLayout();
    QFrame* left = makePanel(this);
    auto* leftColumn = new QVBoxLayout(left);
    leftColumn->setContentsMargins(14, 12, 14, 12);
    leftColumn->setSpacing(8);
    auto* sourceRow = new QHBoxLayout();
    sourceRow->addWidget(makeLabel(QStringLiteral("零件来源"), "cardTitle", left));
    sourceRow->addStretch();
    partCountLabel = makeLabel(QStringLiteral("尚未选择零件"), "sectionCount", left);
    sourceRow->addWidget(partCountLabel);
    leftColumn->addLayout(sourceRow);
    auto* sourceButtons = new QHBoxLayout();
    sourceButtons->setSpacing(6);
    QPushButton* pickButton = makeButton(QStringLiteral("在 CAD 中框选"), "primaryButton", left);
    QPushButton* filesButton = makeButton(QStringLiteral("选择 DWG"), "ghostButton", left);
    QPushButton* currentButton = makeButton(QStringLiteral("当前图全部"), "ghostButton", left);
    sourceButtons->addWidget(pickButton);
    sourceButtons->addWidget(filesButton);
    sourceButtons->addWidget(currentButton);
    leftColumn->addLayout(sourceButtons);
    hintLabel = makeLabel(QStringLiteral("提示：框选后在 CAD 中回车确认，零件自动载入列表"),
                          "sectionCount", left);
    hintLabel->setWordWrap(true);
    leftColumn->addWidget(hintLabel);
    partTable = new QTableWidget(0, kColumnCount, left);
    partTable->setObjectName(QStringLiteral("partTable"));
    partTable->setHorizontalHeaderLabels({QStringLiteral("参与"), QStringLiteral("件号"),
                                          QStringLiteral("名称"), QStringLiteral("数量"),
                                          QStringLiteral("轮廓尺寸"), QStringLiteral("旋转")});
    for (int c = 0; c < kColumnCount; ++c) {
        partTable->horizontalHeader()->setSectionResizeMode(
            c, c == kNameColumn ? QHeaderView::Stretch : QHeaderView::ResizeToContents);
    }
    partTable->setItemDelegateForColumn(kRotationColumn, new WholeCellDelegate(partTable));
    partTable->verticalHeader()->setVisible(false);
    partTable->verticalHeader()->setDefaultSectionSize(28);
    partTable->setSelectionMode(QAbstractItemView::NoSelection);
    partTable->setAlternatingRowColors(true);
    leftColumn->addWidget(partTable, 1);
    body->addWidget(left, 1);

    QFrame* right = makePanel(this);
    auto* rightColumn = new QVBoxLayout(right);
    rightColumn->setContentsMargins(10, 10, 10, 10);
    auto* utilRow = new QHBoxLayout();
    utilLabel = makeLabel(QStringLiteral("利用率 --"), "utilValue", right);
    summaryLabel = makeLabel(QStringLiteral("等待套料"), "sectionCount", right);
    sheetCombo = new QComboBox(right);
    sheetCombo->setObjectName(QStringLiteral("formInput"));
    sheetCombo->setMinimumWidth(160);
    utilRow->addWidget(utilLabel);
    utilRow->addWidget(summaryLabel);
    utilRow->addStretch();
    utilRow->addWidget(sheetCombo);
    rightColumn->addLayout(utilRow);
    scene = new QGraphicsScene(this);
    nestView = new PreviewView(scene, right);
    nestView->setObjectName(QStringLiteral("nestView"));
    nestView->setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    nestView->setDragMode(QGraphicsView::ScrollHandDrag);
    nestView->setMinimumHeight(320);
    rightColumn->addWidget(nestView, 1);
    logView = new QPlainTextEdit(right);
    logView->setObjectName(QStringLiteral("plotLog"));
    logView->setReadOnly(true);
    logView->setMaximumBlockCount(400);
    logView->setMinimumHeight(96);
    logView->setMaximumHeight(130);
    rightColumn->addWidget(logView);
    body->addWidget(right, 1);
    page->addLayout(body, 1);

    // Settings.
    QFrame* settings = makePanel(this);
    auto* grid = new QGridLayout(settings);
    grid->setContentsMargins(14, 10, 14, 10);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(8);
    sheetEdit =
        new QPlainTextEdit(QStringLiteral("3000x1500x5\n2500x1250x10\n2000x1000"), settings);
    sheetEdit->setObjectName(QStringLiteral("formInput"));
    sheetEdit->setFixedHeight(62);
    sheetEdit->setPlaceholderText(
        QStringLiteral("每行一种：长x宽x张数，如 3000x1500x5；张数留空表示不限"));
    grid->addWidget(makeLabel(QStringLiteral("板材规格"), "formLabel", settings), 0, 0);
    grid->addWidget(sheetEdit, 0, 1, 1, 7);

    gapSpin = makeSpin(0, 100, 1, 0.5, 5, QStringLiteral(" mm"), settings);
    marginSpin = makeSpin(0, 100, 1, 0.5, 10, QStringLiteral(" mm"), settings);
    cellSpin = makeSpin(0.5, 10, 1, 0.5, 2, QStringLiteral(" mm"), settings);
    secondsSpin = makeSpin(1, 300, 0, 1, 12, QStringLiteral(" 秒"), settings);
    const QPair<const char*, QDoubleSpinBox*> spins[] = {{"零件间距", gapSpin},
                                                         {"板边距", marginSpin},
                                                         {"网格精度", cellSpin},
                                                         {"优化时间", secondsSpin}};
    for (int i = 0; i < 4; ++i) {
        grid->addWidget(makeLabel(QString::fromUtf8(spins[i].first), "formLabel", settings), 1,
                        2 * i);
        grid->addWidget(spins[i].second, 1, 2 * i + 1);
    }

    auto* checks = new QHBoxLayout();
    checks->setSpacing(14);
    rotateCheck = makeCheck(QStringLiteral("任意角度旋转"), true, settings);
    mirrorCheck = makeCheck(QStringLiteral("允许镜像"), true, settings);
    pdfCheck = makeCheck(QStringLiteral("同时输出 PDF"), false, settings);
    strategyCombo = new QComboBox(settings);
    strategyCombo->setObjectName(QStringLiteral("formInput"));
    strategyCombo->addItem(QStringLiteral("标准"), QStringLiteral("standard"));
    strategyCombo->addItem(QStringLiteral("高密度（越算越省料）"), QStringLiteral("dense"));
    partInPartCheck = makeCheck(QStringLiteral("孔内套料"), false, settings);
    // Only the dense search places parts inside holes.
    partInPartCheck->setEnabled(false);
    checks->addWidget(rotateCheck);
    checks->addWidget(mirrorCheck);
    checks->addWidget(makeLabel(QStringLiteral("优化策略"), "formLabel", settings));
    checks->addWidget(strategyCombo);
    checks->addWidget(partInPartCheck);
    checks->addWidget(pdfCheck);
    checks->addStretch();
    grid->addLayout(checks, 2, 0, 1, 8);

    outDirEdit = new QLineEdit(inDocuments(QStringLiteral("QKS 套料")), settings);
    outDirEdit->setObjectName(QStringLiteral("formInput"));
    QPushButton* chooseButton = makeButton(QStringLiteral("选择"), "ghostButton", settings);
    grid->addWidget(makeLabel(QStringLiteral("输出目录"), "formLabel", settings), 3, 0);
    grid->addWidget(outDirEdit, 3, 1, 1, 6);
    grid->addWidget(chooseButton, 3, 7);

    prefixEdit = new QLineEdit(QStringLiteral("套料"), settings);
    prefixEdit->setObjectName(QStringLiteral("formInput"));
    layerEdit = new QLineEdit(settings);
    layerEdit->setObjectName(QStringLiteral("formInput"));
    layerEdit->setPlaceholderText(QStringLiteral("留空为全部，多个用逗号分隔"));
    grid->addWidget(makeLabel(QStringLiteral("PDF 前缀"), "formLabel", settings), 4, 0);
    grid->addWidget(prefixEdit, 4, 1, 1, 2);
    grid->addWidget(makeLabel(QStringLiteral("图层过滤"), "formLabel", settings), 4, 3);
    grid->addWidget(layerEdit, 4, 4, 1, 3);
    page->addWidget(settings);

    auto* actions = new QHBoxLayout();
    startButton = makeButton(QStringLiteral("开始套料"), "primaryButton", this);
    startButton->setMinimumSize(150, 38);
    stopButton = makeButton(QStringLiteral("停止并采用当前最优"), "ghostButton", this);
    stopButton->setFixedHeight(38);
    stopButton->setEnabled(false);
    QPushButton* openButton = makeButton(QStringLiteral("打开输出目录"), "ghostButton", this);
    openButton->setFixedHeight(38);
    actions->addWidget(startButton);
    actions->addWidget(stopButton);
    actions->addStretch();
    actions->addWidget(openButton);
    page->addLayout(actions);
    scroll->setWidget(content);

    connect(pickButton, &QPushButton::clicked, this, &NestPage::pickFromCad);
    connect(filesButton, &QPushButton::clicked, this, &NestPage::chooseFiles);
    connect(currentButton, &QPushButton::clicked, this, &NestPage::useCurrentDrawing);
    connect(chooseButton, &QPushButton::clicked, this, &NestPage::chooseOutDir);
    connect(startButton, &QPushButton::clicked, this, &NestPage::start);
    connect(stopButton, &QPushButton::clicked, this, &NestPage::stop);
    connect(openButton, &QPushButton::clicked, this,
            [this] { studioDialogs().openFolder(outDirEdit->text().trimmed()); });
    connect(partTable, &QTableWidget::itemChanged, this, &NestPage::onItemChanged);
    connect(strategyCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this, [this] {
        partInPartCheck->setEnabled(strategyCombo->currentData() == QLatin1String("dense"));
    });
    connect(sheetCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            [this](int index) {
                currentSheet_ = index;
                redrawPreview();
            });

    pollTimer = new QTimer(this);
    pollTimer->setInterval(400);
    connect(pollTimer, &QTimer::timeout, this, &NestPage::poll);
    // Whatever an earlier run left behind is shown at once.
    if (partsWatch_.changed(tempFilePath(kNestPartsName))) loadPartsFile();
    if (progressWatch_.changed(tempFilePath(kNestProgressName)))
        loadProgressFile();
    else
        redrawPreview();
    pollTimer->start();
}

void NestPage::appendLog(const QString& line) {
    appendLogLine(logView, line);
}

void NestPage::clearParts() {
    parts_.clear();
    fillTable();
}

void NestPage::pickFromCad() {
    source_ = QStringLiteral("picked");
    clearParts();
    partCountLabel->setText(QStringLiteral("等待框选"));
    hintLabel->setText(QStringLiteral("请在 AutoCAD 窗口中框选零件，回车确认"));
    appendLog(QStringLiteral("[操作] 已发送框选命令，请切换到 CAD 选择零件"));
    partsWatch_.forget();
    const NestReply reply = sendNestCommand(socket, QStringLiteral("NESTPICK"));
    if (!reply.logLine.isEmpty()) appendLog(reply.logLine);
    if (reply.accepted) startButton->setEnabled(true);
}

void NestPage::chooseFiles() {
    const QStringList chosen = studioDialogs().openFiles(this, QStringLiteral("选择零件图纸"),
                                                         QStringLiteral("CAD 图纸 (*.dwg *.dxf)"));
    if (chosen.isEmpty()) return;
    source_ = QStringLiteral("files");
    files_ = chosen;
    clearParts();
    partCountLabel->setText(QStringLiteral("已选 %1 个文件").arg(files_.size()));
    QStringList names;
    for (const QString& path : files_)
        names.append(QFileInfo(path).fileName());
    hintLabel->setText(names.join(QStringLiteral("、")));
    partsWatch_.forget();
    appendLog(QStringLiteral("[操作] 将套料 %1 个 DWG 文件").arg(files_.size()));
}

void NestPage::useCurrentDrawing() {
    source_ = QStringLiteral("current");
    clearParts();
    partCountLabel->setText(QStringLiteral("当前图纸全部轮廓"));
    hintLabel->setText(QStringLiteral("套料当前图纸模型空间中的全部闭合轮廓"));
    partsWatch_.forget();
    appendLog(QStringLiteral("[操作] 使用当前图纸全部闭合轮廓"));
}

void NestPage::chooseOutDir() {
    const QString folder =
        studioDialogs().folder(this, QStringLiteral("选择输出目录"), outDirEdit->text());
    if (!folder.isEmpty()) outDirEdit->setText(folder);
}

void NestPage::start() {
    if (source_ == QLatin1String("picked") && parts_.isEmpty()) {
        appendLog(QStringLiteral("[提示] 请先在 CAD 中框选零件"));
        return;
    }
    if (source_ == QLatin1String("files") && files_.isEmpty()) {
        appendLog(QStringLiteral("[提示] 请先选择 DWG 文件"));
        return;
    }
    NestForm form;
    form.source = source_;
    form.files = files_;
    form.layerText = layerEdit->text();
    form.outDirText = outDirEdit->text();
    form.prefixText = prefixEdit->text();
    form.sheetText = sheetEdit->toPlainText();
    form.gap = gapSpin->value();
    form.margin = marginSpin->value();
    form.cell = cellSpin->value();
    form.seconds = secondsSpin->value();
    form.rotate = rotateCheck->isChecked();
    form.mirror = mirrorCheck->isChecked();
    form.pdf = pdfCheck->isChecked();
    form.strategyDense = strategyCombo->currentData() == QLatin1String("dense");
    form.partInPart = partInPartCheck->isChecked();
    const QString configPath = tempFilePath(kNestConfigName);
    // Without a fresh config the plug-in would run whatever an earlier job left there.
    if (!writeJobFile(configPath, composeNestConfig(form, parts_, tempFilePath(kNestPartsName),
                                                    tempFilePath(kNestLogName)))) {
        appendLog(kConfigWriteFailedLine);
        return;
    }
    logView->clear();
    appendLog(QStringLiteral("[套料] 已开始，先出首版预览，随后持续优化..."));
    sheets_.clear();
    utilisation_ = 0;
    unplaced_ = 0;
    partsWatch_.forget();
    jobState_ = QStringLiteral("running");
    const NestReply reply = sendNestCommand(socket, QStringLiteral("NEST ") + configPath);
    if (!reply.logLine.isEmpty()) appendLog(reply.logLine);
    if (!reply.accepted) return;
    running_ = true;
    startButton->setEnabled(false);
    stopButton->setEnabled(true);
    stateChip->setText(QStringLiteral("优化中"));
}

void NestPage::stop() {
    if (!running_) return;
    const NestReply reply = sendNestCommand(socket, QStringLiteral("NESTSTOP"));
    if (!reply.logLine.isEmpty()) appendLog(reply.logLine);
    stateChip->setText(QStringLiteral("正在停止，采用当前最优"));
}

void NestPage::poll() {
    if (partsWatch_.changed(tempFilePath(kNestPartsName))) loadPartsFile();
    if (progressWatch_.changed(tempFilePath(kNestProgressName))) loadProgressFile();
    if (running_) showLogTail(120, false);
}

void NestPage::showLogTail(int lines, bool trim) {
    const QStringList tail = lastLogLines(readWholeFile(tempFilePath(kNestLogName)), lines, trim);
    if (trim) {
        logView->clear();
        for (const QString& line : tail)
            appendLog(line);
    } else {
        logView->setPlainText(tail.join(QLatin1Char('\n')));
    }
    logView->verticalScrollBar()->setValue(logView->verticalScrollBar()->maximum());
}

void NestPage::loadPartsFile() {
    QVector<PartRow> fresh = parsePartsFile(readWholeFile(tempFilePath(kNestPartsName)));
    keepUserChoices(parts_, fresh);
    parts_ = std::move(fresh);
    fillTable();
    showTally();
    hintLabel->setText(QStringLiteral("已载入零件轮廓，可在下方调整数量后开始套料"));
}

void NestPage::fillTable() {
    filling_ = true;
    const QSignalBlocker blocker(partTable);
    partTable->setRowCount(parts_.size());
    for (int r = 0; r < parts_.size(); ++r) {
        const PartRow& part = parts_[r];
        auto* use = new QTableWidgetItem();
        use->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        use->setCheckState(part.enabled ? Qt::Checked : Qt::Unchecked);
        partTable->setItem(r, kUseColumn, use);
        partTable->setItem(r, kIdColumn, readOnlyItem(QString::number(part.id)));
        partTable->setItem(r, kNameColumn, readOnlyItem(part.name));
        auto* quantity = new QTableWidgetItem(QString::number(part.quantity));
        quantity->setFlags(Qt::ItemIsEnabled | Qt::ItemIsEditable);
        partTable->setItem(r, kQuantityColumn, quantity);
        partTable->setItem(
            r, kSizeColumn,
            readOnlyItem(QStringLiteral("%1 × %2").arg(number0(part.width), number0(part.height))));
        auto* rotation = new QComboBox();
        rotation->setObjectName(QStringLiteral("rotationCombo"));
        for (const auto& choice : kRotationChoices)
            rotation->addItem(QString::fromUtf8(choice.first), int(choice.second));
        rotation->setCurrentIndex(rotation->findData(int(part.rotation)));
        // Connected after the row's own choice is shown: filling is not an edit.
        connect(rotation, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
                [this, r, rotation] {
                    if (r < parts_.size())
                        parts_[r].rotation = PartRotation(rotation->currentData().toInt());
                });
        partTable->setCellWidget(r, kRotationColumn, rotation);
    }
    filling_ = false;
}

QComboBox* NestPage::rotationCombo(int row) const {
    return qobject_cast<QComboBox*>(partTable->cellWidget(row, kRotationColumn));
}

void NestPage::showTally() {
    const auto [kinds, pieces] = partTally(parts_);
    partCountLabel->setText(QStringLiteral("%1 种 / %2 件").arg(kinds).arg(pieces));
}

void NestPage::onItemChanged(QTableWidgetItem* item) {
    if (filling_ || !item) return;
    const int r = item->row();
    if (r < 0 || r >= parts_.size()) return;
    PartRow& part = parts_[r];
    if (QTableWidgetItem* use = partTable->item(r, kUseColumn))
        part.enabled = use->checkState() == Qt::Checked;
    if (QTableWidgetItem* quantity = partTable->item(r, kQuantityColumn)) {
        part.quantity = editedQuantity(quantity->text(), part.quantity);
        // Show the quantity that will be nested, not a rejected or capped entry.
        const QSignalBlocker blocker(partTable);
        quantity->setText(QString::number(part.quantity));
    }
    showTally();
}

void NestPage::loadProgressFile() {
    const ProgressRecords records =
        parseProgressFile(readWholeFile(tempFilePath(kNestProgressName)));
    if (records.frame) frame_ = *records.frame;
    if (records.utilisation) utilisation_ = *records.utilisation;
    if (records.unplaced) unplaced_ = *records.unplaced;
    if (records.elapsed) elapsed_ = *records.elapsed;
    if (records.state) jobState_ = *records.state;
    sheets_ = records.sheets;

    if (!sheets_.isEmpty()) {
        const QSignalBlocker blocker(sheetCombo);
        sheetCombo->clear();
        for (int i = 0; i < sheets_.size(); ++i) {
            sheetCombo->addItem(QStringLiteral("板 %1 · %2×%3")
                                    .arg(i + 1)
                                    .arg(number0(sheets_[i].width), number0(sheets_[i].height)));
        }
        currentSheet_ = std::min(currentSheet_, int(sheets_.size()) - 1);
        sheetCombo->setCurrentIndex(currentSheet_);
        summaryLabel->setText(QStringLiteral("%1 张板 · 未放 %2 件 · %3s")
                                  .arg(sheets_.size())
                                  .arg(unplaced_)
                                  .arg(QString::number(elapsed_, 'f', 1)));
    }
    utilLabel->setText(QStringLiteral("利用率 %1%").arg(QString::number(utilisation_, 'f', 1)));
    redrawPreview();

    const bool done = jobState_ == QLatin1String("done");
    if (done || jobState_ == QLatin1String("stopped")) {
        running_ = false;
        startButton->setEnabled(true);
        stopButton->setEnabled(false);
        stateChip->setText(done ? QStringLiteral("优化完成") : QStringLiteral("已停止 · 采用最优"));
        showLogTail(80, true);
    }
}

void NestPage::redrawPreview() {
    scene->clear();
    if (sheets_.isEmpty()) {
        scene->setSceneRect(0, 0, 100, 100);
        QGraphicsSimpleTextItem* text =
            scene->addSimpleText(QStringLiteral("框选零件并开始套料后，这里实时显示排样预览"));
        text->setBrush(QColor(QStringLiteral("#94a3b8")));
        text->setPos(10, 40);
        // The text is far wider than the 100-unit scene at any font size; shrink it to
        // stay readable inside the fitted rectangle instead of being cut off.
        const qreal width = text->boundingRect().width();
        if (width > 80) text->setScale(80 / width);
        nestView->fitInView(scene->sceneRect(), Qt::KeepAspectRatio);
        return;
    }
    if (currentSheet_ < 0 || currentSheet_ >= sheets_.size()) currentSheet_ = 0;
    const SheetLayout& sheet = sheets_[currentSheet_];
    const double w = sheet.width;
    const double h = sheet.height;

    scene->addRect(0, 0, w, h, QPen(QColor(QStringLiteral("#64748b")), std::max(w / 1500, 1.0)),
                   QBrush(Qt::white));
    QFont captionFont = font();
    captionFont.setBold(true);
    captionFont.setPointSizeF(std::max(w / 90, 12.0));
    QGraphicsSimpleTextItem* caption = scene->addSimpleText(
        QStringLiteral("板 %1  %2×%3").arg(currentSheet_ + 1).arg(number0(w), number0(h)),
        captionFont);
    caption->setBrush(QColor(QStringLiteral("#334155")));
    caption->setPos(8, 4);

    QFont labelFont = font();
    labelFont.setBold(true);
    labelFont.setPointSizeF(std::max(std::min(w, h) / 70, 10.0));
    const QPen partPen(QColor(QStringLiteral("#2563eb")), std::max(w / 2200, 0.8));
    QColor fill(QStringLiteral("#2563eb"));
    fill.setAlpha(46);
    const QBrush partBrush(fill);
    const QColor labelColor(QStringLiteral("#1e3a8a"));

    const QHash<int, int> rowOfId = indexPartsById(parts_);
    for (const Placement& placement : sheet.placements) {
        const auto row = rowOfId.constFind(placement.partId);
        if (row == rowOfId.constEnd()) continue;
        const PartRow& part = parts_[*row];
        const std::optional<PlacedPart> placed = placePart(part, placement, frame_);
        if (!placed) continue;
        const PlacedPart shown = toScene(*placed, h);
        QPainterPath path;
        path.setFillRule(Qt::OddEvenFill);
        const QPolygonF outer = toPolygon(shown.outer);
        path.addPolygon(outer);
        for (const Contour& hole : shown.holes)
            path.addPolygon(toPolygon(hole));
        scene->addPath(path, partPen, partBrush);
        QGraphicsSimpleTextItem* label = scene->addSimpleText(QString::number(part.id), labelFont);
        label->setBrush(labelColor);
        label->setPos(outer.boundingRect().topLeft() + QPointF(6, 6));
    }
    scene->setSceneRect(-0.02 * w, -0.02 * h, 1.04 * w, 1.06 * h);
    nestView->fitInView(scene->sceneRect(), Qt::KeepAspectRatio);
}

}  // namespace qks::studio
