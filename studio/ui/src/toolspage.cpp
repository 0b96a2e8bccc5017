#include "qks/studio/ui/toolspage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <iterator>

#include "jobfollow.h"
#include "qks/studio/bridge.h"
#include "qks/studio/files.h"
#include "qks/studio/ui/dialogs.h"
#include "widgets.h"

namespace qks::studio {
namespace {

// The operations' titles, in run order: the cards' titles.
const char* const kOperationTitles[] = {"清理冗余",       "图层规范",       "倒角与圆角",
                                        "面积与周长",     "文字与属性提取", "一键长宽标注",
                                        "孔位与折弯标注", "编号气泡"};
static_assert(std::size(kOperationTitles) == kToolOperationCount);

// The operation of each section, in card order.
const ToolOperation kSectionOperations[] = {ToolOperation::Dimensions, ToolOperation::Holes,
                                            ToolOperation::Balloons,   ToolOperation::Area,
                                            ToolOperation::Layers,     ToolOperation::Clean,
                                            ToolOperation::Corners,    ToolOperation::Attributes};

const QString kFilletCaption = QStringLiteral("圆角半径 (mm)");
const QString kChamferCaption = QStringLiteral("倒角距离 (mm)");

}  // namespace

ToolsPage::ToolsPage(BridgeClient* bridge, JobFileWatcher* files, LayerRules rules, QWidget* parent)
    : JobPage(bridge, files, QStringLiteral("选择要处理的图纸"), parent), rules_(std::move(rules)) {
    backButton = addToolHeader(
        QStringLiteral("标注清理"),
        QStringLiteral("勾选操作，批量整理图纸；结果另存为「原名_整理.dxf」，原图不变"));

    auto* body = new QHBoxLayout();
    body->setSpacing(16);
    auto* form = new QVBoxLayout();
    form->setSpacing(10);
    form->addWidget(operationsBox());
    form->addWidget(optionsGrid());
    form->addStretch();
    body->addLayout(form, 3);
    const SourceColumn source = makeSourceColumn();
    sourceCombo = source.source;
    body->addWidget(source.column, 2);
    pageLayout->addLayout(body);

    addActions(QStringLiteral("开始处理"),
               QStringLiteral("面积与周长、文字与属性提取的结果写入工作簿并列在下表"));
    openButton->setText(QStringLiteral("打开输出文件夹"));

    results = new QWidget(this);
    auto* resultColumn = new QVBoxLayout(results);
    resultColumn->setContentsMargins(0, 0, 0, 0);
    resultColumn->setSpacing(6);
    auto* selector = new QHBoxLayout();
    tableCombo = new QComboBox(results);
    tableCombo->setObjectName(QStringLiteral("formInput"));
    tableLabel = makeLabel(QString(), "sectionCount", results);
    selector->addWidget(tableCombo);
    selector->addWidget(tableLabel, 1);
    resultColumn->addLayout(selector);
    table = new QTableWidget(results);
    table->setObjectName(QStringLiteral("partTable"));
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->verticalHeader()->setVisible(false);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setAlternatingRowColors(true);
    table->setMinimumHeight(80);
    resultColumn->addWidget(table, 1);
    addResultsAndLog(
        results, QStringLiteral("标注清理日志会显示在这里：每张图纸的各项操作结果与输出文件"),
        {QStringLiteral("处理中..."), QStringLiteral("处理失败"), QStringLiteral("处理完成")});
    // Until a run gives tables, the log has the room.
    results->hide();

    setRules(rules_);
    showSection(kDimensionsSection);
    connect(backButton, &QPushButton::clicked, this, &ToolsPage::backRequested);
    connect(rulesButton, &QPushButton::clicked, this, &ToolsPage::rulesRequested);
    connect(startButton, &QPushButton::clicked, this, &ToolsPage::start);
    connect(openButton, &QPushButton::clicked, this,
            [this] { studioDialogs().openFolder(outDirEdit->text().trimmed()); });
    connect(tableCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &ToolsPage::showTable);
}

QWidget* ToolsPage::operationsBox() {
    auto* box = new QWidget(this);
    QGridLayout* grid = makePanelGrid(box);
    grid->setHorizontalSpacing(14);
    grid->setVerticalSpacing(8);
    grid->addWidget(makeLabel(QStringLiteral("操作"), "formLabel", box), 0, 0);
    for (int op = 0; op < kToolOperationCount; ++op) {
        QCheckBox* check = makeCheck(QString::fromUtf8(kOperationTitles[op]), box);
        operationChecks.append(check);
        grid->addWidget(check, op / 4, 1 + op % 4);
        connect(check, &QCheckBox::toggled, this, &ToolsPage::enableOptions);
    }
    grid->addWidget(makeHint(QStringLiteral("可同时勾选多项，按从左到右、从上到下的顺序执行"), box),
                    2, 1, 1, 4);
    grid->setColumnStretch(4, 1);
    return box;
}

QWidget* ToolsPage::optionsGrid() {
    auto* panel = new QWidget(this);
    QGridLayout* grid = makePanelGrid(panel);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    const auto label = [&](const QString& text, int row, int column) {
        QLabel* made = makeLabel(text, "formLabel", panel);
        grid->addWidget(made, row, column);
        return made;
    };

    joinSpin = makeNumberSpin(0, contract::kLargestJoinTolerance, 2,
                              contract::kDefaultJoinTolerance, panel);
    shortSpin = makeNumberSpin(0, 10000, 2, contract::kDefaultShortLength, panel);
    shortSpin->setSpecialValueText(QStringLiteral("不删除"));
    explodeCheck = makeCheck(QStringLiteral("先炸开块参照"), panel);
    label(QStringLiteral("连接容差 (mm)"), 0, 0);
    grid->addWidget(joinSpin, 0, 1);
    label(QStringLiteral("删除短线 (mm)"), 0, 2);
    grid->addWidget(shortSpin, 0, 3);
    grid->addWidget(explodeCheck, 0, 4);

    cornerCombo = makeChoiceCombo({{QStringLiteral("圆角"), QStringLiteral("fillet")},
                                   {QStringLiteral("倒角"), QStringLiteral("chamfer")}},
                                  panel);
    cornerSpin = makeNumberSpin(0.01, 10000, 2, ToolsForm().cornerSize, panel);
    areaLabelsCheck = makeCheck(QStringLiteral("在图中标注面积"), panel);
    label(QStringLiteral("角点处理"), 1, 0);
    grid->addWidget(cornerCombo, 1, 1);
    QLabel* cornerLabel = label(kFilletCaption, 1, 2);
    grid->addWidget(cornerSpin, 1, 3);
    grid->addWidget(areaLabelsCheck, 1, 4);

    textHeightSpin = makeNumberSpin(0.1, 1000, 2, contract::kDefaultAnnotationTextHeight, panel);
    rulesSummary = makeLabel(QString(), "formLabel", panel);
    rulesButton = makeButton(QStringLiteral("编辑规则"), "ghostButton", panel);
    label(QStringLiteral("文字高度 (mm)"), 2, 0);
    grid->addWidget(textHeightSpin, 2, 1);
    label(QStringLiteral("图层规则"), 2, 2);
    grid->addWidget(rulesSummary, 2, 3);
    grid->addWidget(rulesButton, 2, 4);

    const PathRow out = addPathRow(grid, 3, QStringLiteral("输出目录"),
                                   inDocuments(QStringLiteral("QKS 标注清理")));
    outDirEdit = out.edit;
    workbookEdit = makeInput(fromContract(contract::kDefaultToolsWorkbook),
                             fromContract(contract::kDefaultToolsWorkbook), panel);
    label(QStringLiteral("工作簿名称"), 4, 0);
    grid->addWidget(workbookEdit, 4, 1);

    optionInputs_ = {
        {joinSpin, ToolOption::JoinTolerance},    {shortSpin, ToolOption::CleanUp},
        {explodeCheck, ToolOption::CleanUp},      {cornerCombo, ToolOption::Corners},
        {cornerSpin, ToolOption::Corners},        {areaLabelsCheck, ToolOption::AreaLabels},
        {textHeightSpin, ToolOption::TextHeight}, {workbookEdit, ToolOption::Workbook}};
    connect(out.choose, &QPushButton::clicked, this,
            [this] { chooseFolder(outDirEdit, QStringLiteral("选择标注清理输出目录")); });
    connect(cornerCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), cornerLabel,
            [cornerLabel](int index) {
                cornerLabel->setText(index == 0 ? kFilletCaption : kChamferCaption);
            });
    return panel;
}

void ToolsPage::showSection(int section) {
    if (section < 0 || section >= kSectionCount) return;
    section_ = section;
    const int chosen = static_cast<int>(kSectionOperations[section]);
    for (int op = 0; op < kToolOperationCount; ++op)
        operationChecks[op]->setChecked(op == chosen);
}

void ToolsPage::setRules(const LayerRules& rules) {
    rules_ = rules;
    rulesSummary->setText(QStringLiteral("共 %1 条，先匹配先用").arg(rules_.size()));
}

QList<ToolOperation> ToolsPage::chosenOperations() const {
    QList<ToolOperation> chosen;
    for (int op = 0; op < kToolOperationCount; ++op)
        if (operationChecks[op]->isChecked()) chosen << static_cast<ToolOperation>(op);
    return chosen;
}

void ToolsPage::enableOptions() {
    const QList<ToolOperation> chosen = chosenOperations();
    for (const auto& [input, option] : optionInputs_)
        input->setEnabled(toolsUse(chosen, option));
}

void ToolsPage::start() {
    if (running()) return;
    ToolsForm form;
    form.operations = chosenOperations();
    if (form.operations.isEmpty()) {
        appendLogLine(logView, QStringLiteral("[错误] 请至少勾选一项操作"));
        return;
    }
    if (!prepareDrawingJob(form, outDirEdit, sourceCombo,
                           QStringLiteral("[错误] 请先添加要处理的 DWG/DXF")))
        return;
    form.workbookText = workbookEdit->text();
    form.joinTolerance = joinSpin->value();
    form.shortLength = shortSpin->value();
    form.explode = explodeCheck->isChecked();
    form.corner = cornerCombo->currentIndex() == 0 ? CornerShape::Fillet : CornerShape::Chamfer;
    form.cornerSize = cornerSpin->value();
    form.areaLabels = areaLabelsCheck->isChecked();
    form.textHeight = textHeightSpin->value();
    form.logPath = tempFilePath(kToolsLogName);
    const QString configPath = tempFilePath(kToolsConfigName);
    sendJob(configPath, jobFileBytes(contract::writeToolsConfig(toolsJobConfig(form, rules_))),
            form.logPath, withConfig(&BridgeClient::tools, configPath));
}

void ToolsPage::jobEnded(JobEnd end) {
    // The job writes its tables after every run; a failed run leaves the last ones standing.
    if (end == JobEnd::Done) loadTables();
}

void ToolsPage::loadTables() {
    tables_ = parseToolsTables(readWholeFile(tempFilePath(kToolsTablesName)));
    {
        const QSignalBlocker blocker(tableCombo);
        tableCombo->clear();
        for (const ToolsTable& read : tables_)
            tableCombo->addItem(read.name);
    }
    tableCombo->setVisible(tables_.size() > 1);
    results->setVisible(!tables_.isEmpty());
    showTable(0);
}

void ToolsPage::showTable(int index) {
    table->clear();
    table->setRowCount(0);
    table->setColumnCount(0);
    if (index < 0 || index >= tables_.size()) {
        tableLabel->clear();
        return;
    }
    const ToolsTable& shown = tables_[index];
    {
        const QSignalBlocker blocker(tableCombo);
        tableCombo->setCurrentIndex(index);
    }
    tableLabel->setText(QStringLiteral("%1 · %2 行").arg(shown.name).arg(shown.rows.size()));
    table->setColumnCount(shown.headers.size());
    table->setHorizontalHeaderLabels(shown.headers);
    table->setRowCount(shown.rows.size());
    for (int r = 0; r < shown.rows.size(); ++r)
        for (int c = 0; c < shown.rows[r].size(); ++c)
            table->setItem(r, c, new QTableWidgetItem(shown.rows[r][c]));
}

}  // namespace qks::studio
