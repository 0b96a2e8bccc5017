#include "qks/studio/ui/nestform.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "qks/studio/ui/dialogs.h"
#include "widgets.h"

namespace qks::studio {
namespace {

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

}  // namespace

NestSettingsForm::NestSettingsForm(QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("panelCard"));
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(14, 10, 14, 10);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(8);
    sheetEdit_ = new QPlainTextEdit(QStringLiteral("3000x1500x5\n2500x1250x10\n2000x1000"), this);
    sheetEdit_->setObjectName(QStringLiteral("formInput"));
    sheetEdit_->setFixedHeight(62);
    sheetEdit_->setPlaceholderText(
        QStringLiteral("每行一种：长x宽x张数，如 3000x1500x5；张数留空表示不限"));
    grid->addWidget(makeLabel(QStringLiteral("板材规格"), "formLabel", this), 0, 0);
    grid->addWidget(sheetEdit_, 0, 1, 1, 7);

    gapSpin_ = makeSpin(0, contract::kLargestGap, 1, 0.5, contract::kDefaultGap,
                        QStringLiteral(" mm"), this);
    marginSpin_ = makeSpin(0, 100, 1, 0.5, contract::kDefaultMargin, QStringLiteral(" mm"), this);
    cellSpin_ = makeSpin(contract::kSmallestCell, contract::kLargestCell, 1, 0.5,
                         contract::kDefaultCell, QStringLiteral(" mm"), this);
    secondsSpin_ = makeSpin(1, 300, 0, 1, 12, QStringLiteral(" 秒"), this);
    const QPair<const char*, QDoubleSpinBox*> spins[] = {{"零件间距", gapSpin_},
                                                         {"板边距", marginSpin_},
                                                         {"网格精度", cellSpin_},
                                                         {"优化时间", secondsSpin_}};
    for (int i = 0; i < 4; ++i) {
        grid->addWidget(makeLabel(QString::fromUtf8(spins[i].first), "formLabel", this), 1, 2 * i);
        grid->addWidget(spins[i].second, 1, 2 * i + 1);
    }

    auto* checks = new QHBoxLayout();
    checks->setSpacing(14);
    rotateCheck_ = makeCheck(QStringLiteral("任意角度旋转"), true, this);
    mirrorCheck_ = makeCheck(QStringLiteral("允许镜像"), true, this);
    pdfCheck_ = makeCheck(QStringLiteral("同时输出 PDF"), false, this);
    carryCheck_ = makeCheck(QStringLiteral("携带折弯线与刻字"), true, this);
    carryCheck_->setToolTip(QStringLiteral(
        "零件轮廓内的折弯线、刻字与文字随零件放入套料图（图层 QKS_BEND、QKS_MARK）"));
    labelsCheck_ = makeCheck(QStringLiteral("零件标注"), false, this);
    labelsCheck_->setToolTip(
        QStringLiteral("在套料图中每个零件的中心写上名称或件号（图层 QKS_LABEL）"));
    commonLineCheck_ = makeCheck(QStringLiteral("共边切割"), false, this);
    strategyCombo_ = new QComboBox(this);
    strategyCombo_->setObjectName(QStringLiteral("formInput"));
    strategyCombo_->addItem(QStringLiteral("标准"), QStringLiteral("standard"));
    strategyCombo_->addItem(QStringLiteral("高密度（越算越省料）"), QStringLiteral("dense"));
    strategyCombo_->setCurrentIndex(1);  // the least steel, unless the user chose otherwise
    partInPartCheck_ = makeCheck(QStringLiteral("孔内套料"), false, this);
    // Only the dense search places parts inside holes.
    partInPartCheck_->setEnabled(partInPartAvailable());
    checks->addWidget(rotateCheck_);
    checks->addWidget(mirrorCheck_);
    checks->addWidget(makeLabel(QStringLiteral("优化策略"), "formLabel", this));
    checks->addWidget(strategyCombo_);
    checks->addWidget(partInPartCheck_);
    checks->addWidget(commonLineCheck_);
    checks->addStretch();
    // What the nest drawing carries, on a line of its own: on one line the switches would make
    // the page wider than the window at its smallest.
    auto* outputs = new QHBoxLayout();
    outputs->setSpacing(14);
    outputs->addWidget(pdfCheck_);
    outputs->addWidget(carryCheck_);
    outputs->addWidget(labelsCheck_);
    outputs->addStretch();
    auto* switches = new QVBoxLayout();
    switches->setSpacing(8);
    switches->addLayout(checks);
    switches->addLayout(outputs);
    grid->addLayout(switches, 2, 0, 1, 8);

    outDirEdit_ = new QLineEdit(inDocuments(QStringLiteral("QKS 套料")), this);
    outDirEdit_->setObjectName(QStringLiteral("formInput"));
    QPushButton* chooseButton = makeButton(QStringLiteral("选择"), "ghostButton", this);
    grid->addWidget(makeLabel(QStringLiteral("输出目录"), "formLabel", this), 3, 0);
    grid->addWidget(outDirEdit_, 3, 1, 1, 6);
    grid->addWidget(chooseButton, 3, 7);

    prefixEdit_ = new QLineEdit(QStringLiteral("套料"), this);
    prefixEdit_->setObjectName(QStringLiteral("formInput"));
    layerEdit_ = new QLineEdit(this);
    layerEdit_->setObjectName(QStringLiteral("formInput"));
    layerEdit_->setPlaceholderText(QStringLiteral("留空为全部，多个用逗号分隔"));
    // Beside the layer filter: both say how the drawings are read.
    unitsCombo_ = new QComboBox(this);
    unitsCombo_->setObjectName(QStringLiteral("formInput"));
    unitsCombo_->addItem(QStringLiteral("自动"), int(DrawingUnits::Auto));
    unitsCombo_->addItem(QStringLiteral("毫米"), int(DrawingUnits::Millimetres));
    unitsCombo_->addItem(QStringLiteral("英寸"), int(DrawingUnits::Inches));
    unitsCombo_->setToolTip(QStringLiteral(
        "自动：按各图纸自身的单位读取（未注明时按毫米）；毫米/英寸：所有图纸都按此单位读取"));
    grid->addWidget(makeLabel(QStringLiteral("PDF 前缀"), "formLabel", this), 4, 0);
    grid->addWidget(prefixEdit_, 4, 1, 1, 2);
    grid->addWidget(makeLabel(QStringLiteral("图层过滤"), "formLabel", this), 4, 3);
    grid->addWidget(layerEdit_, 4, 4, 1, 2);
    grid->addWidget(makeLabel(QStringLiteral("图纸单位"), "formLabel", this), 4, 6);
    grid->addWidget(unitsCombo_, 4, 7);

    // Remnants: a drawing of irregular stock pieces used before the sheets, and the offcut kept.
    stockFileEdit_ = new QLineEdit(this);
    stockFileEdit_->setObjectName(QStringLiteral("formInput"));
    stockFileEdit_->setPlaceholderText(
        QStringLiteral("留空为不用余料；图中每个闭合轮廓为一块余料，内孔为缺陷"));
    QPushButton* stockButton = makeButton(QStringLiteral("浏览"), "ghostButton", this);
    offcutCheck_ = makeCheck(QStringLiteral("保留余料"), false, this);
    grid->addWidget(makeLabel(QStringLiteral("余料图纸"), "formLabel", this), 5, 0);
    grid->addWidget(stockFileEdit_, 5, 1, 1, 4);
    grid->addWidget(stockButton, 5, 5);
    grid->addWidget(offcutCheck_, 5, 6);
    // Enabled while a nest of this session has locked parts (setLockedLayout).
    keepLockedCheck_ = makeCheck(QStringLiteral("保留已锁定零件"), false, this);
    keepLockedCheck_->setEnabled(false);
    keepLockedCheck_->setToolTip(
        QStringLiteral("在图纸窗口“调整”中按 L 锁定的零件留在原处，其余零件围绕它们重新套料"));
    grid->addWidget(keepLockedCheck_, 5, 7);
    connect(stockButton, &QPushButton::clicked, this, [this] {
        const QStringList files = studioDialogs().openFiles(
            this, QStringLiteral("选择余料图纸"), QStringLiteral("图纸 (*.dwg *.dxf *.DWG *.DXF)"));
        if (!files.isEmpty()) stockFileEdit_->setText(files.first());
    });

    connect(chooseButton, &QPushButton::clicked, this, &NestSettingsForm::chooseOutDir);
    connect(strategyCombo_, QOverload<int>::of(&QComboBox::currentIndexChanged), this, [this] {
        partInPartCheck_->setEnabled(partInPartAvailable());
        if (!strategySettings_.isEmpty())
            saveNestDenseSetting(strategySettings_, partInPartAvailable());
    });

    fields_ = {
        {QStringLiteral("sheets"), sheetEdit_},
        {QStringLiteral("gap"), gapSpin_},
        {QStringLiteral("margin"), marginSpin_},
        {QStringLiteral("cell"), cellSpin_},
        {QStringLiteral("seconds"), secondsSpin_},
        {QStringLiteral("rotate"), rotateCheck_},
        {QStringLiteral("mirror"), mirrorCheck_},
        {QStringLiteral("strategy"), strategyCombo_},
        {QStringLiteral("partInPart"), partInPartCheck_},
        {QStringLiteral("commonLine"), commonLineCheck_},
        {QStringLiteral("pdf"), pdfCheck_},
        {QStringLiteral("carry"), carryCheck_},
        {QStringLiteral("labels"), labelsCheck_},
        {QStringLiteral("outDir"), outDirEdit_},
        {QStringLiteral("prefix"), prefixEdit_},
        {QStringLiteral("layer"), layerEdit_},
        {QStringLiteral("units"), unitsCombo_},
        {QStringLiteral("stockfile"), stockFileEdit_},
        {QStringLiteral("offcut"), offcutCheck_},
        {QStringLiteral("keepLocked"), keepLockedCheck_},
    };
}

NestForm NestSettingsForm::values() const {
    NestForm form;
    form.layerText = layerEdit_->text();
    form.outDirText = outDirEdit_->text();
    form.prefixText = prefixEdit_->text();
    form.sheetText = sheetEdit_->toPlainText();
    form.gap = gapSpin_->value();
    form.margin = marginSpin_->value();
    form.cell = cellSpin_->value();
    form.seconds = secondsSpin_->value();
    form.rotate = rotateCheck_->isChecked();
    form.mirror = mirrorCheck_->isChecked();
    form.pdf = pdfCheck_->isChecked();
    form.strategyDense = partInPartAvailable();
    form.partInPart = partInPartCheck_->isChecked();
    form.commonLine = commonLineCheck_->isChecked();
    form.units = DrawingUnits(unitsCombo_->currentData().toInt());
    form.carry = carryCheck_->isChecked();
    form.labels = labelsCheck_->isChecked();
    form.stockFile = stockFileEdit_->text();
    form.offcut = offcutCheck_->isChecked();
    if (keepLockedCheck_->isEnabled() && keepLockedCheck_->isChecked())
        form.keepLocked = lockedLayout_;
    return form;
}

void NestSettingsForm::setValues(const NestForm& values) {
    layerEdit_->setText(values.layerText);
    outDirEdit_->setText(values.outDirText);
    prefixEdit_->setText(values.prefixText);
    sheetEdit_->setPlainText(values.sheetText);
    gapSpin_->setValue(values.gap);
    marginSpin_->setValue(values.margin);
    cellSpin_->setValue(values.cell);
    secondsSpin_->setValue(values.seconds);
    rotateCheck_->setChecked(values.rotate);
    mirrorCheck_->setChecked(values.mirror);
    pdfCheck_->setChecked(values.pdf);
    strategyCombo_->setCurrentIndex(strategyCombo_->findData(
        values.strategyDense ? QStringLiteral("dense") : QStringLiteral("standard")));
    partInPartCheck_->setChecked(values.partInPart);
    commonLineCheck_->setChecked(values.commonLine);
    unitsCombo_->setCurrentIndex(unitsCombo_->findData(int(values.units)));
    carryCheck_->setChecked(values.carry);
    labelsCheck_->setChecked(values.labels);
    stockFileEdit_->setText(values.stockFile);
    offcutCheck_->setChecked(values.offcut);
    keepLockedCheck_->setChecked(keepLockedCheck_->isEnabled() && !values.keepLocked.isEmpty());
}

void NestSettingsForm::setLockedLayout(const QString& layoutPath) {
    lockedLayout_ = layoutPath;
    keepLockedCheck_->setEnabled(!layoutPath.isEmpty());
    if (layoutPath.isEmpty()) keepLockedCheck_->setChecked(false);
}

bool NestSettingsForm::partInPartAvailable() const {
    return strategyCombo_->currentData() == QLatin1String("dense");
}

void NestSettingsForm::rememberStrategyIn(const QString& iniPath) {
    strategySettings_.clear();  // the stored choice is shown, not stored again
    strategyCombo_->setCurrentIndex(strategyCombo_->findData(
        loadNestDenseSetting(iniPath) ? QStringLiteral("dense") : QStringLiteral("standard")));
    strategySettings_ = iniPath;
}

void NestSettingsForm::chooseOutDir() {
    const QString folder =
        studioDialogs().folder(this, QStringLiteral("选择输出目录"), outDirEdit_->text());
    if (!folder.isEmpty()) outDirEdit_->setText(folder);
}

}  // namespace qks::studio
