#include "qks/studio/ui/mainwindow.h"

#include <QButtonGroup>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <functional>
#include <initializer_list>
#include <utility>

#include "qks/studio/bomsettings.h"
#include "qks/studio/bridgeclient.h"
#include "qks/studio/hostkeeper.h"
#include "qks/studio/jobfilewatcher.h"
#include "qks/studio/ui/bompage.h"
#include "qks/studio/ui/bomsettingspage.h"
#include "qks/studio/ui/drawingpage.h"
#include "qks/studio/ui/hostsettingspage.h"
#include "qks/studio/ui/layerrulespage.h"
#include "qks/studio/ui/mergepage.h"
#include "qks/studio/ui/nestform.h"
#include "qks/studio/ui/nestpage.h"
#include "qks/studio/ui/plotpage.h"
#include "qks/studio/ui/plotsettingspage.h"
#include "qks/studio/ui/toolspage.h"
#include "widgets.h"

namespace qks::studio {
namespace {

const QString kProductName = QStringLiteral("Corvane Studio");

const CardList kCleanupCards = {
    {QStringLiteral("一键长宽标注"), QStringLiteral("选中板件，自动标注外形长宽")},
    {QStringLiteral("孔位与折弯标注"), QStringLiteral("识别圆孔与折弯线，批量标注定位")},
    {QStringLiteral("编号气泡"), QStringLiteral("按顺序生成气泡编号与引线")},
    {QStringLiteral("面积与周长"), QStringLiteral("闭合轮廓快速统计面积、周长")},
    {QStringLiteral("图层规范"), QStringLiteral("按规则归层、改色、统一线型")},
    {QStringLiteral("清理冗余"), QStringLiteral("删短线、消重、炸开后整理图形")},
    {QStringLiteral("倒角与圆角"), QStringLiteral("批量处理板件角点，支持统一半径")},
    {QStringLiteral("文字与属性提取"), QStringLiteral("导出图框文字、块属性到表格")},
};

const CardList kBomCards = {
    {QStringLiteral("明细表导出 Excel"), QStringLiteral("按图号汇总板件、数量、材质、厚度")},
    {QStringLiteral("重量计算"), QStringLiteral("按材质密度与板厚计算单件与总重")},
    {QStringLiteral("折弯展开"), QStringLiteral("按折弯扣除计算展开长度与下料尺寸")},
    {QStringLiteral("材料利用率"), QStringLiteral("排版面积与板材面积对比，给出利用率")},
    {QStringLiteral("图纸清单打包"), QStringLiteral("图纸、BOM、PDF 打包成一个交付目录")},
};

const CardList kSettingsCards = {
    {QStringLiteral("打印机与纸张"), QStringLiteral("选择 PDF 打印机、纸张与输出目录")},
    {QStringLiteral("图层与颜色规则"), QStringLiteral("维护图层映射和标注颜色方案")},
    {QStringLiteral("钣金参数"), QStringLiteral("材质密度、折弯扣除、默认板厚")},
    {QStringLiteral("连接测试"), QStringLiteral("检查与 qkshost 的通道是否可用，查看版本")},
};

const QString kSheetMetalSettingsCard = QStringLiteral("钣金参数");
const QString kLayerRulesCard = QStringLiteral("图层与颜色规则");
const QString kPlotSettingsCard = QStringLiteral("打印机与纸张");
const QString kConnectionTestCard = QStringLiteral("连接测试");
const QString kHostRestartedText = QStringLiteral("qkshost 已重新启动，通道正常");
constexpr int kCleanupCardsIndex = 3;
constexpr int kBomCardsIndex = 4;
constexpr int kDrawingPageIndex = 6;

const QStringList kBadges = {QStringLiteral("出图"), QStringLiteral("合并"),
                             QStringLiteral("套料"), QStringLiteral("标注"),
                             QStringLiteral("BOM"),  QStringLiteral("设置")};

struct NavEntry {
    const char* number;
    const char* name;
};
const NavEntry kNav[] = {{"01", "批量出图"}, {"02", "图纸合并"}, {"03", "自动套料"},
                         {"04", "标注清理"}, {"05", "钣金 BOM"}, {"06", "偏好设置"},
                         {"07", "图纸窗口"}};

}  // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(kProductName);
    resize(1180, 760);
    setMinimumSize(980, 640);

    auto* central = new QWidget(this);
    auto* row = new QHBoxLayout(central);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    setCentralWidget(central);

    QWidget* sidebar = buildSidebar();
    row->addWidget(sidebar);

    auto* mainArea = new QWidget(central);
    mainArea->setObjectName(QStringLiteral("mainArea"));
    auto* main = new QVBoxLayout(mainArea);
    main->setContentsMargins(28, 22, 28, 18);
    main->setSpacing(16);
    main->addWidget(buildHeader());
    row->addWidget(mainArea, 1);

    bridge = new BridgeClient(this);
    jobFiles = new JobFileWatcher(this);
    stack = new QStackedWidget(mainArea);
    plotPage = new PlotPage(bridge, jobFiles, this);
    mergePage = new MergePage(bridge, jobFiles, this);
    nestPage = new NestPage(bridge, jobFiles, this);
    nestPage->form().rememberStrategyIn(studioSettingsPath());
    stack->addWidget(plotPage);
    stack->addWidget(mergePage);
    stack->addWidget(nestPage);
    stack->addWidget(buildSectionPage(QStringLiteral("标注清理"), kCleanupCards));
    stack->addWidget(buildSectionPage(QStringLiteral("钣金 BOM"), kBomCards));
    stack->addWidget(buildSectionPage(QStringLiteral("偏好设置"), kSettingsCards));
    buildDrawingPage();
    buildToolPages();
    connectDrawingResults();
    main->addWidget(stack, 1);

    footer = makeLabel(QStringLiteral("就绪"), "footer", mainArea);
    main->addWidget(footer);

    auto* group = new QButtonGroup(this);
    group->setExclusive(true);
    for (int i = 0; i < navButtons.size(); ++i) {
        group->addButton(navButtons[i], i);
        connect(navButtons[i], &QPushButton::clicked, this,
                [this, i] { stack->setCurrentIndex(i); });
    }
    navButtons.first()->setChecked(true);
    stack->setCurrentIndex(0);

    connect(bridge, &BridgeClient::connected, this, &MainWindow::handshake);
    connect(bridge, &BridgeClient::disconnected, this, [this] {
        // A handshake the broken link never sent is answered by no one.
        handshakesUnanswered_ = 0;
        const LinkView view = linkView(LinkState::Disconnected);
        setConnectionStatus(view.connected, view.text);
    });
    connect(bridge, &BridgeClient::linkError, this, [this] {
        if (!bridge->isConnected()) handshakesUnanswered_ = 0;
        if (hostKeeper_ && hostKeeper_->state() == HostKeeper::State::Starting) return;
        const LinkView view = linkView(LinkState::Unreachable);
        setConnectionStatus(view.connected, view.text);
    });
    connect(connectButton, &QPushButton::clicked, this, &MainWindow::tryConnect);

    const LinkView initial = linkView(LinkState::Initial);
    setConnectionStatus(initial.connected, initial.text);
    QTimer::singleShot(300, this, &MainWindow::tryConnect);
}

MainWindow::~MainWindow() {
    // Closing a connected link signals "disconnected"; the chip it would update may already be
    // gone, so the client stops talking to the window first.
    bridge->disconnect(this);
    bridge->abort();
}

QWidget* MainWindow::buildSidebar() {
    auto* sidebar = new QWidget(this);
    sidebar->setObjectName(QStringLiteral("sidebar"));
    sidebar->setFixedWidth(228);
    auto* column = new QVBoxLayout(sidebar);
    column->setContentsMargins(16, 22, 16, 18);
    column->setSpacing(8);

    auto* brand = new QHBoxLayout();
    brand->setSpacing(10);
    QLabel* mark = makeLabel(kProductName.left(1), "brandMark", sidebar);
    mark->setFixedSize(40, 40);
    mark->setAlignment(Qt::AlignCenter);
    brand->addWidget(mark);
    auto* names = new QVBoxLayout();
    names->setSpacing(1);
    names->addWidget(makeLabel(kProductName, "brandName", sidebar));
    names->addWidget(makeLabel(QStringLiteral("AutoCAD 专用工具"), "brandSub", sidebar));
    brand->addLayout(names);
    brand->addStretch();
    column->addLayout(brand);
    column->addSpacing(18);

    for (const NavEntry& entry : kNav) {
        QPushButton* button =
            makeButton(QStringLiteral("  %1   %2")
                           .arg(QLatin1String(entry.number), QString::fromUtf8(entry.name)),
                       "nav", sidebar);
        button->setCheckable(true);
        button->setMinimumHeight(40);
        navButtons.append(button);
        column->addWidget(button);
    }
    column->addStretch();
    QLabel* hint = makeLabel(QStringLiteral("打开图纸后在图纸窗口中\n框选零件即可套料"),
                             "sidebarHint", sidebar);
    hint->setWordWrap(true);
    column->addWidget(hint);
    column->addWidget(
        makeLabel(QStringLiteral("v4.4.0  ·  2020 / 2024"), "sidebarVersion", sidebar));
    return sidebar;
}

QWidget* MainWindow::buildHeader() {
    auto* header = new QWidget(this);
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(12);
    auto* titles = new QVBoxLayout();
    titles->addWidget(makeLabel(QStringLiteral("工作台"), "pageTitle", header));
    titles->addWidget(
        makeLabel(QStringLiteral("批量出图、图纸合并、自动套料、标注清理与钣金 BOM 均已可用"),
                  "pageSubtitle", header));
    row->addLayout(titles);
    row->addStretch();

    auto* chip = new QFrame(header);
    chip->setObjectName(QStringLiteral("chip"));
    auto* chipRow = new QHBoxLayout(chip);
    chipRow->setContentsMargins(10, 6, 12, 6);
    chipRow->setSpacing(7);
    statusDot = makeLabel(QString(), "statusDot", chip);
    statusDot->setFixedSize(8, 8);
    statusText = makeLabel(QString(), "statusText", chip);
    chipRow->addWidget(statusDot);
    chipRow->addWidget(statusText);
    row->addWidget(chip, 0, Qt::AlignVCenter);

    connectButton = makeButton(connectCaption(false), "primaryButton", header);
    row->addWidget(connectButton, 0, Qt::AlignVCenter);
    return header;
}

QWidget* MainWindow::buildSectionPage(const QString& section, const CardList& cards) {
    auto* page = new QWidget(this);
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);

    auto* header = new QHBoxLayout();
    header->addWidget(makeLabel(section, "sectionTitle", page));
    header->addStretch();
    header->addWidget(makeLabel(QStringLiteral("%1 项").arg(cards.size()), "sectionCount", page));
    column->addLayout(header);

    auto* scroll = new QScrollArea(page);
    scroll->setObjectName(QStringLiteral("scroll"));
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    auto* content = new QWidget(scroll);
    auto* grid = new QGridLayout(content);
    grid->setContentsMargins(0, 0, 8, 8);
    grid->setHorizontalSpacing(14);
    grid->setVerticalSpacing(14);

    const int badgeIndex = std::clamp(stack ? stack->count() : 0, 0, int(kBadges.size()) - 1);
    const QString badge = kBadges[badgeIndex];
    for (int i = 0; i < cards.size(); ++i) {
        const QString title = cards[i].first;
        QWidget* card = buildCard(title, cards[i].second, badge);
        if (auto* action = card->findChild<QPushButton*>(QStringLiteral("cardAction")))
            connect(action, &QPushButton::clicked, this, [this, title] { onCardAction(title); });
        grid->addWidget(card, i / 3, i % 3);
    }
    for (int c = 0; c < 3; ++c)
        grid->setColumnStretch(c, 1);
    grid->setRowStretch((cards.size() + 2) / 3, 1);
    scroll->setWidget(content);
    column->addWidget(scroll, 1);
    return page;
}

QWidget* MainWindow::buildCard(const QString& title, const QString& description,
                               const QString& badge) {
    auto* card = new QFrame(this);
    card->setObjectName(QStringLiteral("card"));
    card->setMinimumHeight(118);
    auto* column = new QVBoxLayout(card);
    column->setContentsMargins(16, 14, 16, 12);
    column->setSpacing(6);

    auto* top = new QHBoxLayout();
    top->setSpacing(10);
    QLabel* badgeLabel = makeLabel(badge, "cardBadge", card);
    badgeLabel->setFixedSize(34, 34);
    badgeLabel->setAlignment(Qt::AlignCenter);
    top->addWidget(badgeLabel);
    top->addWidget(makeLabel(title, "cardTitle", card));
    top->addStretch();
    column->addLayout(top);

    QLabel* desc = makeLabel(description, "cardDesc", card);
    desc->setWordWrap(true);
    column->addWidget(desc);
    column->addStretch();
    column->addWidget(makeButton(QStringLiteral("配置并运行  >"), "cardAction", card), 0,
                      Qt::AlignLeft);
    return card;
}

void MainWindow::buildToolPages() {
    const QString settingsPath = studioSettingsPath();
    bomSettingsPage = new BomSettingsPage(settingsPath, this);
    bomPage = new BomPage(bridge, jobFiles, bomSettingsPage->settings(), this);
    layerRulesPage = new LayerRulesPage(settingsPath, this);
    toolsPage = new ToolsPage(bridge, jobFiles, layerRulesPage->rules(), this);
    plotSettingsPage = new PlotSettingsPage(settingsPath, PlotPage::builtInDefaults(), this);
    plotPage->applyDefaults(plotSettingsPage->defaults());
    hostSettingsPage = new HostSettingsPage(settingsPath, this);
    QWidget* const pages[] = {bomPage,        bomSettingsPage,  toolsPage,
                              layerRulesPage, plotSettingsPage, hostSettingsPage};
    for (QWidget* page : pages)
        stack->addWidget(page);
    connect(bomSettingsPage, &BomSettingsPage::saved, bomPage, &BomPage::setSettings);
    connect(layerRulesPage, &LayerRulesPage::saved, toolsPage, &ToolsPage::setRules);
    const auto backFromSettings = [this] { stack->setCurrentIndex(settingsReturnIndex_); };
    connect(bomSettingsPage, &BomSettingsPage::backRequested, this, backFromSettings);
    connect(layerRulesPage, &LayerRulesPage::backRequested, this, backFromSettings);
    connect(plotSettingsPage, &PlotSettingsPage::saved, plotPage, &PlotPage::applyDefaults);
    connect(plotSettingsPage, &PlotSettingsPage::backRequested, this, backFromSettings);
    connect(hostSettingsPage, &HostSettingsPage::backRequested, this, backFromSettings);
    connect(hostSettingsPage, &HostSettingsPage::connectRequested, this, &MainWindow::tryConnect);
    showHostInfo();
    connect(bomPage, &BomPage::backRequested, this,
            [this] { stack->setCurrentIndex(kBomCardsIndex); });
    connect(toolsPage, &ToolsPage::backRequested, this,
            [this] { stack->setCurrentIndex(kCleanupCardsIndex); });
    connect(bomPage, &BomPage::settingsRequested, this,
            [this] { openSettingsPage(bomSettingsPage); });
    connect(toolsPage, &ToolsPage::rulesRequested, this,
            [this] { openSettingsPage(layerRulesPage); });
}

void MainWindow::openSettingsPage(QWidget* page) {
    settingsReturnIndex_ = stack->currentIndex();
    stack->setCurrentWidget(page);
}

void MainWindow::onCardAction(const QString& title) {
    const struct {
        const CardList& cards;
        std::function<void(int)> open;
    } toolCards[] = {
        {kBomCards,
         [this](int section) {
             bomPage->showSection(section);
             stack->setCurrentWidget(bomPage);
         }},
        {kCleanupCards,
         [this](int section) {
             toolsPage->showSection(section);
             stack->setCurrentWidget(toolsPage);
         }},
    };
    for (const auto& tool : toolCards) {
        for (int section = 0; section < tool.cards.size(); ++section) {
            if (tool.cards[section].first == title) {
                tool.open(section);
                return;
            }
        }
    }
    if (title == kSheetMetalSettingsCard) {
        openSettingsPage(bomSettingsPage);
        return;
    }
    if (title == kLayerRulesCard) {
        openSettingsPage(layerRulesPage);
        return;
    }
    if (title == kPlotSettingsCard) {
        openSettingsPage(plotSettingsPage);
        return;
    }
    if (title == kConnectionTestCard) {
        openSettingsPage(hostSettingsPage);
        footer->setText(QStringLiteral("「连接测试」：检查与 qkshost 的通道"));
        tryConnect();
        return;
    }
    footer->setText(QStringLiteral("「%1」已选中，下一阶段接入执行逻辑").arg(title));
}

void MainWindow::setConnectionStatus(bool connected, const QString& text) {
    statusText->setText(text);
    statusDot->setStyleSheet(dotStyle(connected));
    connectButton->setText(connectCaption(connected));
}

void MainWindow::tryConnect() {
    if (bridge->isConnected()) return;
    const LinkView connecting = linkView(LinkState::Connecting);
    setConnectionStatus(connecting.connected, connecting.text);
    // The link's "connected" signal starts the handshake, once, however the link came up.
    if (bridge->connectToBridge(kConnectWaitMs)) return;
    // While the keeper's host starts, its bridge is not up yet: the chip keeps "正在连接...".
    if (hostKeeper_ && hostKeeper_->state() == HostKeeper::State::Starting) return;
    const LinkView view = linkView(LinkState::Unreachable);
    setConnectionStatus(view.connected, view.text);
    // No bridge: start the host. The keeper connects back through bridgeReady; the guard stops
    // that from asking again when a bridge it found refuses this window all the same.
    if (hostKeeper_ && !askingKeeper_) {
        askingKeeper_ = true;
        hostKeeper_->ensureHost();
        askingKeeper_ = false;
    }
}

void MainWindow::setHostKeeper(HostKeeper* keeper) {
    if (hostKeeper_) hostKeeper_->disconnect(this);
    hostKeeper_ = keeper;
    showHostInfo();
    if (!keeper) return;
    connect(keeper, &HostKeeper::hostStarting, this, [this] {
        const LinkView view = linkView(LinkState::Connecting);
        setConnectionStatus(view.connected, view.text);
        // During a restart the footer keeps saying why.
        if (!restartPending_) footer->setText(QStringLiteral("正在启动 qkshost..."));
        showHostInfo();
    });
    connect(keeper, &HostKeeper::bridgeReady, this, [this] {
        showHostInfo();
        tryConnect();
        if (!restartPending_) return;
        restartPending_ = false;
        if (!bridge->isConnected()) return;
        // Said once the handshakes under way have answered, so their footer does not cover it.
        announceRestart_ = true;
        if (handshakesUnanswered_ == 0) announceRestart();
    });
    connect(keeper, &HostKeeper::hostExited, this, [this](const QString& reason) {
        restartPending_ = true;
        // The restarted host has no drawings open: the window opens again what it showed.
        for (const QString& path : drawingPage->openDocuments())
            if (!drawingsToOpen_.contains(path)) drawingsToOpen_ << path;
        const QString text = hostExitedText(reason);
        footer->setText(text);
        logToPageInView(QStringLiteral("[警告] ") + text);
    });
    connect(keeper, &HostKeeper::hostFailed, this, [this](const QString& reason) {
        restartPending_ = false;
        const LinkView view = linkView(LinkState::Unreachable);
        setConnectionStatus(view.connected, view.text);
        const QString text = hostFailedText(reason);
        footer->setText(text);
        logToPageInView(QStringLiteral("[错误] ") + text);
        showHostInfo();
    });
}

void MainWindow::showHostInfo() {
    if (!hostSettingsPage) return;
    QString text = QStringLiteral("当前：qkshost 未启动");
    if (hostKeeper_) {
        switch (hostKeeper_->state()) {
            case HostKeeper::State::External:
                text = QStringLiteral("当前：使用已在运行的 qkshost（Studio 关闭时保留）");
                break;
            case HostKeeper::State::Starting:
                text = QStringLiteral("当前：正在启动 %1").arg(hostKeeper_->hostProgram());
                break;
            case HostKeeper::State::Running:
                text = QStringLiteral("当前：%1（进程 %2，由 Studio 启动，随 Studio 关闭）")
                           .arg(hostKeeper_->hostProgram())
                           .arg(hostKeeper_->hostPid());
                break;
            case HostKeeper::State::Idle:
            case HostKeeper::State::Failed:
                break;
        }
    }
    hostSettingsPage->setHostInfo(text);
}

void MainWindow::logToPageInView(const QString& line) {
    QWidget* const page = stack->currentWidget();
    if (auto* jobPage = qobject_cast<JobPage*>(page))
        appendLogLine(jobPage->logView, line);
    else if (page == nestPage)
        nestPage->appendLog(line);
}

void MainWindow::announceRestart() {
    announceRestart_ = false;
    footer->setText(kHostRestartedText);
    logToPageInView(QStringLiteral("[提示] ") + kHostRestartedText);
}

void MainWindow::handshake() {
    ++handshakesUnanswered_;
    bridge->ping(this, [this](const std::optional<QString>& version) {
        --handshakesUnanswered_;
        const LinkView view = linkView(LinkState::Connected, version);
        setConnectionStatus(view.connected, view.text);
        if (version) footer->setText(QStringLiteral("通道正常，可以运行功能"));
        // The window shows the host's current drawing as soon as the link is up; drawings
        // named on the command line are opened then.
        drawingPage->requestView();
        for (const QString& path : std::exchange(drawingsToOpen_, {}))
            drawingPage->openDrawing(path);
        if (announceRestart_ && handshakesUnanswered_ == 0) announceRestart();
    });
}

void MainWindow::showPage(int index) {
    if (index >= 0 && index < navButtons.size()) navButtons[index]->click();
}

void MainWindow::openDrawingsWhenConnected(const QStringList& paths) {
    drawingsToOpen_ += paths;
    if (!paths.isEmpty()) navButtons[kDrawingPageIndex]->click();
    if (bridge->isConnected()) handshake();
}

void MainWindow::buildDrawingPage() {
    drawingPage = new DrawingPage(bridge, jobFiles, this);
    stack->addWidget(drawingPage);
    // A selection the host asks for is made in the drawing window; the page the person came
    // from comes back when it is made.
    connect(drawingPage, &DrawingPage::promptStarted, this, [this] {
        if (stack->currentWidget() != drawingPage) promptReturnIndex_ = stack->currentIndex();
        navButtons[kDrawingPageIndex]->click();
    });
    connect(drawingPage, &DrawingPage::promptEnded, this, [this] {
        if (promptReturnIndex_ >= 0 && stack->currentWidget() == drawingPage &&
            promptReturnIndex_ < navButtons.size())
            navButtons[promptReturnIndex_]->click();
        promptReturnIndex_ = -1;
    });
    connect(drawingPage, &DrawingPage::logLine, this, [this](const QString& line) {
        if (footer) footer->setText(line);
    });
}

void MainWindow::connectDrawingResults() {
    const auto show = [this](const QStringList& drawings) {
        for (const QString& path : drawings)
            drawingPage->openDrawing(path);
        navButtons[kDrawingPageIndex]->click();
    };
    for (JobPage* page : std::initializer_list<JobPage*>{plotPage, mergePage, bomPage, toolsPage})
        connect(page, &JobPage::openDrawingsRequested, this, show);
    connect(nestPage, &NestPage::openDrawingsRequested, this, show);
    connect(nestPage, &NestPage::nestDrawingsWritten, drawingPage,
            [this](const QStringList& paths) {
                for (const QString& path : paths)
                    drawingPage->addNestDrawing(path);
            });
    nestPage->setPickPrecheck([this] {
        const DrawingIndex* shown = drawingPage->canvas()->index();
        return shown != nullptr && shown->entityCount() > 0;
    });
    connect(nestPage, &NestPage::drawingWindowNeeded, this,
            [this] { navButtons[kDrawingPageIndex]->click(); });
}

}  // namespace qks::studio
