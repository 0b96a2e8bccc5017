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

    gapSpin_ = makeSpin(0, 100, 1, 0.5, contract::kDefaultGap, QStringLiteral(" mm"), this);
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
    commonLineCheck_ = makeCheck(QStringLiteral("共边切割"), false, this);
    strategyCombo_ = new QComboBox(this);
    strategyCombo_->setObjectName(QStringLiteral("formInput"));
    strategyCombo_->addItem(QStringLiteral("标准"), QStringLiteral("standard"));
    strategyCombo_->addItem(QStringLiteral("高密度（越算越省料）"), QStringLiteral("dense"));
    partInPartCheck_ = makeCheck(QStringLiteral("孔内套料"), false, this);
    // Only the dense search places parts inside holes.
    partInPartCheck_->setEnabled(false);
    checks->addWidget(rotateCheck_);
    checks->addWidget(mirrorCheck_);
    checks->addWidget(makeLabel(QStringLiteral("优化策略"), "formLabel", this));
    checks->addWidget(strategyCombo_);
    checks->addWidget(partInPartCheck_);
    checks->addWidget(commonLineCheck_);
    checks->addWidget(pdfCheck_);
    checks->addStretch();
    grid->addLayout(checks, 2, 0, 1, 8);

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

    connect(chooseButton, &QPushButton::clicked, this, &NestSettingsForm::chooseOutDir);
    connect(strategyCombo_, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            [this] { partInPartCheck_->setEnabled(partInPartAvailable()); });

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
        {QStringLiteral("outDir"), outDirEdit_},
        {QStringLiteral("prefix"), prefixEdit_},
        {QStringLiteral("layer"), layerEdit_},
        {QStringLiteral("units"), unitsCombo_},
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
}

bool NestSettingsForm::partInPartAvailable() const {
    return strategyCombo_->currentData() == QLatin1String("dense");
}

void NestSettingsForm::chooseOutDir() {
    const QString folder =
        studioDialogs().folder(this, QStringLiteral("选择输出目录"), outDirEdit_->text());
    if (!folder.isEmpty()) outDirEdit_->setText(folder);
}

}  // namespace qks::studio
