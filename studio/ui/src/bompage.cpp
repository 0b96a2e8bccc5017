#include "qks/studio/ui/bompage.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "jobfollow.h"
#include "qks/studio/bomrows.h"
#include "qks/studio/bridge.h"
#include "qks/studio/files.h"
#include "qks/studio/jobconfig.h"
#include "qks/studio/ui/bomtable.h"
#include "qks/studio/ui/dialogs.h"
#include "widgets.h"

namespace qks::studio {
namespace {

const char* const kSectionTitles[] = {"明细表导出 Excel", "重量计算", "折弯展开", "材料利用率",
                                      "图纸清单打包"};

// A section's options: a form grid like the other pages', kept at the top of its panel.
QGridLayout* panelGrid(QWidget* panel) {
    QGridLayout* grid = makePanelGrid(panel);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    grid->setRowStretch(4, 1);
    return grid;
}

QString defaultProfileWords() {
    QStringList words;
    for (std::string_view word : contract::kDefaultProfileLayerWords)
        words << fromContract(word);
    return words.join(QLatin1Char(','));
}

}  // namespace

BomPage::BomPage(BridgeClient* bridge, JobFileWatcher* files, BomSettings settings, QWidget* parent)
    : JobPage(bridge, files, QStringLiteral("选择要统计的图纸"), parent),
      settings_(std::move(settings)) {
    backButton = addToolHeader(QStringLiteral("钣金 BOM"),
                               QStringLiteral("按图号汇总板件、重量与展开尺寸，导出 Excel 明细表"));

    auto* sectionRow = new QHBoxLayout();
    sectionRow->setSpacing(6);
    auto* sectionGroup = new QButtonGroup(this);
    for (int i = 0; i < kSectionCount; ++i) {
        QPushButton* button = makeButton(QString::fromUtf8(kSectionTitles[i]), "nav", this);
        button->setCheckable(true);
        sectionGroup->addButton(button, i);
        sectionButtons.append(button);
        sectionRow->addWidget(button);
    }
    sectionRow->addStretch();
    pageLayout->addLayout(sectionRow);

    auto* body = new QHBoxLayout();
    body->setSpacing(16);
    sections = new QStackedWidget(this);
    for (QWidget* panel :
         {workbookPanel(), weightPanel(), unfoldPanel(), utilisationPanel(), packagePanel()})
        sections->addWidget(panel);
    body->addWidget(sections, 3);
    const SourceColumn source = makeSourceColumn();
    sourceCombo = source.source;
    fileButtons = source.fileButtons;
    body->addWidget(source.column, 2);
    pageLayout->addLayout(body);

    QHBoxLayout* actions = addActions(QStringLiteral("开始生成"),
                                      QStringLiteral("材料、密度与 K 因子取自「钣金参数」"));
    openButton->setText(QStringLiteral("打开输出文件夹"));
    exportButton = makeButton(QStringLiteral("导出 Excel"), "ghostButton", this);
    exportButton->setEnabled(false);
    actions->insertWidget(1, exportButton);

    auto* results = new QWidget(this);
    auto* resultColumn = new QVBoxLayout(results);
    resultColumn->setContentsMargins(0, 0, 0, 0);
    resultColumn->setSpacing(6);
    table = new BomRowsTable(results);
    table->setMinimumHeight(80);
    totalsLabel = makeLabel(QString(), "sectionCount", results);
    resultColumn->addWidget(table, 1);
    resultColumn->addWidget(totalsLabel);
    addResultsAndLog(
        results, QStringLiteral("BOM 日志会显示在这里：每张图纸的读取、识别结果与输出文件"),
        {QStringLiteral("生成中..."), QStringLiteral("生成失败"), QStringLiteral("生成完成")});

    showSection(kWorkbookSection);
    setSettings(settings_);
    showTotals();
    connect(sectionGroup, &QButtonGroup::idClicked, this, &BomPage::showSection);
    connect(backButton, &QPushButton::clicked, this, &BomPage::backRequested);
    connect(settingsButton, &QPushButton::clicked, this, &BomPage::settingsRequested);
    connect(startButton, &QPushButton::clicked, this, &BomPage::start);
    connect(exportButton, &QPushButton::clicked, this, &BomPage::exportWorkbook);
    connect(openButton, &QPushButton::clicked, this,
            [this] { studioDialogs().openFolder(outDirEdit->text().trimmed()); });
    connect(table, &BomRowsTable::rowsEdited, this, &BomPage::showTotals);
}

QWidget* BomPage::workbookPanel() {
    auto* panel = new QWidget(this);
    QGridLayout* grid = panelGrid(panel);
    const PathRow out =
        addPathRow(grid, 0, QStringLiteral("输出目录"), inDocuments(QStringLiteral("QKS BOM")));
    outDirEdit = out.edit;
    workbookEdit = makeInput(fromContract(contract::kDefaultBomWorkbook),
                             fromContract(contract::kDefaultBomWorkbook), panel);
    grid->addWidget(makeLabel(QStringLiteral("工作簿名称"), "formLabel", panel), 1, 0);
    grid->addWidget(workbookEdit, 1, 1);
    csvCheck = makeCheck(QStringLiteral("同时输出 CSV"), panel);
    grid->addWidget(csvCheck, 1, 2, 1, 2);
    connect(out.choose, &QPushButton::clicked, this,
            [this] { chooseFolder(outDirEdit, QStringLiteral("选择 BOM 输出目录")); });
    return panel;
}

QWidget* BomPage::weightPanel() {
    auto* panel = new QWidget(this);
    QGridLayout* grid = panelGrid(panel);
    settingsSummary = makeLabel(QString(), "formLabel", panel);
    settingsButton = makeButton(QStringLiteral("编辑钣金参数"), "ghostButton", panel);
    grid->addWidget(settingsSummary, 0, 0, 1, 4);
    grid->addWidget(settingsButton, 0, 4);
    grid->addWidget(makeHint(QStringLiteral("生成后可在下表修改材料、厚度与数量，重量即时重算；"
                                            "「导出 Excel」把修改写入明细表，图纸不变"),
                             panel),
                    1, 0, 1, 5);
    return panel;
}

QWidget* BomPage::unfoldPanel() {
    auto* panel = new QWidget(this);
    QGridLayout* grid = panelGrid(panel);
    profileLayerEdit = makeInput(QString(), defaultProfileWords(), panel);
    profileWidthSpin = makeNumberSpin(1, 100000, 1, contract::kDefaultProfileWidth, panel);
    grid->addWidget(makeLabel(QStringLiteral("折弯轮廓图层"), "formLabel", panel), 0, 0);
    grid->addWidget(profileLayerEdit, 0, 1);
    grid->addWidget(makeLabel(QStringLiteral("轮廓宽度 (mm)"), "formLabel", panel), 0, 2);
    grid->addWidget(profileWidthSpin, 0, 3);
    grid->addWidget(makeHint(QStringLiteral("图层名含其中任一词即为折弯轮廓；展开长度按「钣金参数」"
                                            "的 K 因子与内折弯半径计算"),
                             panel),
                    1, 0, 1, 5);
    return panel;
}

QWidget* BomPage::utilisationPanel() {
    auto* panel = new QWidget(this);
    QGridLayout* grid = panelGrid(panel);
    const PathRow nest = addPathRow(grid, 0, QStringLiteral("套料结果目录"), QString());
    nestEdit = nest.edit;
    nestEdit->setPlaceholderText(QStringLiteral("可留空；选择一次自动套料的输出目录"));
    grid->addWidget(makeHint(QStringLiteral("排版面积与板材面积对比，给出利用率"), panel), 1, 0, 1,
                    5);
    connect(nest.choose, &QPushButton::clicked, this,
            [this] { chooseFolder(nestEdit, QStringLiteral("选择套料结果目录")); });
    return panel;
}

QWidget* BomPage::packagePanel() {
    auto* panel = new QWidget(this);
    QGridLayout* grid = panelGrid(panel);
    packageCheck = makeCheck(QStringLiteral("生成交付目录（图纸、BOM、PDF）"), panel);
    zipCheck = makeCheck(QStringLiteral("同时打包为 zip"), panel);
    zipCheck->setEnabled(false);
    grid->addWidget(packageCheck, 0, 0, 1, 2);
    grid->addWidget(zipCheck, 0, 2, 1, 2);
    grid->addWidget(
        makeHint(QStringLiteral("交付目录建在输出目录下，以工作簿名称加「_交付」命名"), panel), 1,
        0, 1, 5);
    connect(packageCheck, &QCheckBox::toggled, zipCheck, &QCheckBox::setEnabled);
    return panel;
}

void BomPage::showSection(int section) {
    if (section < 0 || section >= kSectionCount) return;
    sectionButtons[section]->setChecked(true);
    sections->setCurrentIndex(section);
}

int BomPage::currentSection() const {
    return sections->currentIndex();
}

void BomPage::setSettings(const BomSettings& settings) {
    settings_ = settings;
    table->setSettings(settings_);
    settingsSummary->setText(QStringLiteral("默认材料 %1 · 默认板厚 %2 mm · 内折弯半径 %3 mm · "
                                            "共 %4 种材料")
                                 .arg(settings_.defaultMaterial,
                                      formatGeneral(settings_.defaultThickness),
                                      formatGeneral(settings_.defaultRadius))
                                 .arg(settings_.materials.size()));
}

void BomPage::start() {
    runJob(false);
}

void BomPage::exportWorkbook() {
    if (table->rowCount() == 0) {
        appendLogLine(logView, QStringLiteral("[提示] 请先生成明细表"));
        return;
    }
    runJob(true);
}

void BomPage::runJob(bool edits) {
    if (running()) return;
    BomForm form;
    if (!prepareDrawingJob(form, outDirEdit, sourceCombo,
                           QStringLiteral("[错误] 请先添加要统计的 DWG/DXF")))
        return;
    form.workbookText = workbookEdit->text();
    form.csv = csvCheck->isChecked();
    form.package = packageCheck->isChecked();
    form.zip = zipCheck->isChecked();
    form.nestFolderText = nestEdit->text();
    form.profileLayerText = profileLayerEdit->text();
    form.profileWidth = profileWidthSpin->value();
    form.logPath = tempFilePath(kBomLogName);
    const QString configPath = tempFilePath(kBomConfigName);
    const QByteArray config = jobFileBytes(contract::writeBomConfig(
        bomJobConfig(form, settings_, edits ? table->edits() : QVector<BomEdit>())));
    sendJob(configPath, config, form.logPath, withConfig(&BridgeClient::bom, configPath));
    exportButton->setEnabled(!running() && table->rowCount() > 0);
}

void BomPage::jobEnded(JobEnd end) {
    // The job writes its rows after every run; a failed run leaves the last ones standing.
    if (end == JobEnd::Done) loadRows();
    exportButton->setEnabled(table->rowCount() > 0);
}

void BomPage::loadRows() {
    table->setRows(parseBomRows(readWholeFile(tempFilePath(kBomRowsName))), settings_);
    showTotals();
}

void BomPage::showTotals() {
    if (table->rowCount() == 0) {
        totalsLabel->setText(QStringLiteral("尚无结果：生成后在此列出明细与合计"));
        return;
    }
    const BomTotals totals = bomTotals(table->rows());
    totalsLabel->setText(
        QStringLiteral("合计 %1 种 · %2 件 · 总重 %3 kg · 切割长度 %4 mm · 穿孔 %5 个")
            .arg(table->rowCount())
            .arg(totals.quantity)
            .arg(QString::number(totals.weight, 'f', 3), QString::number(totals.cutLength, 'f', 1))
            .arg(totals.pierces));
}

}  // namespace qks::studio
