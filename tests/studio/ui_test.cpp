// The window shell and the connection chip, on the offscreen platform, against a test
// bridge server.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTemporaryDir>

#include "qks/studio/bomsettings.h"
#include "qks/studio/bridgeclient.h"
#include "qks/studio/hostkeeper.h"
#include "qks/studio/ui/bompage.h"
#include "qks/studio/ui/bomsettingspage.h"
#include "qks/studio/ui/drawingpage.h"
#include "qks/studio/ui/hostsettingspage.h"
#include "qks/studio/ui/layerrulespage.h"
#include "qks/studio/ui/look.h"
#include "qks/studio/ui/mainwindow.h"
#include "qks/studio/ui/nestpage.h"
#include "qks/studio/ui/plotpage.h"
#include "qks/studio/ui/plotsettingspage.h"
#include "qks/studio/ui/toolspage.h"
#include "test_support.h"
#include "window_access.h"

using namespace qks::studio;
using qks::studio::test::BridgeServer;
using qks::studio::test::waitUntil;

namespace {

const QString kGrey = QStringLiteral("background:#6B7688;border-radius:4px;");
const QString kGreen = QStringLiteral("background:#35C07A;border-radius:4px;");

// The card whose title label reads `title`, on any page of the window.
QWidget* cardTitled(MainWindow& window, const QString& title) {
    for (QLabel* label : window.findChildren<QLabel*>(QStringLiteral("cardTitle"))) {
        if (label->text() == title) return label->parentWidget();
    }
    return nullptr;
}

void clickCard(MainWindow& window, const QString& title) {
    QWidget* card = cardTitled(window, title);
    ASSERT_NE(card, nullptr) << title.toStdString();
    card->findChild<QPushButton*>(QStringLiteral("cardAction"))->click();
}

TEST(MainWindow, StartUpStateAndFirstAttempt) {
    MainWindow window;
    const WindowAccess ui(window);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Corvane Studio"));
    // The six pages, the drawing window, then the tool pages cards open.
    EXPECT_EQ(ui.stack->count(), 13);
    EXPECT_EQ(ui.stack->currentIndex(), 0);
    EXPECT_EQ(ui.stack->currentWidget(), ui.plotPage);
    ASSERT_EQ(ui.navButtons.size(), 7);
    EXPECT_TRUE(ui.navButtons[0]->isChecked());
    EXPECT_EQ(ui.navButtons[4]->text(), QStringLiteral("  05   钣金 BOM"));
    EXPECT_EQ(ui.navButtons[6]->text(), QStringLiteral("  07   图纸窗口"));
    EXPECT_EQ(ui.stack->widget(6), ui.drawingPage);
    EXPECT_EQ(ui.statusText->text(), QStringLiteral("未连接 qkshost"));
    EXPECT_EQ(ui.statusDot->styleSheet(), kGrey);
    EXPECT_EQ(ui.connectButton->text(), QStringLiteral("连接 qkshost"));
    EXPECT_EQ(ui.footer->text(), QStringLiteral("就绪"));

    // No bridge: the single attempt after start-up reports it, and nothing retries.
    window.show();
    ASSERT_TRUE(waitUntil(
        [&] { return ui.statusText->text() == QStringLiteral("未连接 qkshost（主机未启动）"); }));
    EXPECT_EQ(ui.statusDot->styleSheet(), kGrey);
    BridgeServer server(BridgeServer::pluginLike);
    waitUntil([] { return false; }, 600);
    EXPECT_TRUE(server.received().isEmpty());
    EXPECT_FALSE(ui.bridge->isConnected());
}

TEST(MainWindow, MinimumSizeAndNavigation) {
    MainWindow window;
    const WindowAccess ui(window);
    window.show();
    window.resize(500, 300);
    waitUntil([] { return false; }, 50);
    EXPECT_EQ(window.minimumSize(), QSize(980, 640));
    EXPECT_GE(window.width(), 980);
    EXPECT_GE(window.height(), 640);
    for (int i : {2, 5, 1, 0}) {
        ui.navButtons[i]->click();
        EXPECT_EQ(ui.stack->currentIndex(), i);
        for (int j = 0; j < ui.navButtons.size(); ++j)
            EXPECT_EQ(ui.navButtons[j]->isChecked(), i == j);
    }
}

TEST(MainWindow, HandshakeReplies) {
    const struct {
        std::optional<QByteArray> pong;
        const char* text;
        const char* footer;
    } cases[] = {
        {QByteArray("PONG 4.4.0"), "已连接 qkshost · 4.4.0", "通道正常，可以运行功能"},
        {QByteArray("PONG"), "已连接 qkshost · ", "通道正常，可以运行功能"},
        {std::nullopt, "已连接 qkshost", "就绪"},
    };
    for (const auto& c : cases) {
        BridgeServer server([&c](const QByteArray&) { return c.pong; });
        MainWindow window;
        const WindowAccess ui(window);
        EXPECT_EQ(ui.statusText->text(), QStringLiteral("未连接 qkshost"));
        ASSERT_TRUE(
            waitUntil([&] { return ui.connectButton->text() == QStringLiteral("重新连接"); }));
        EXPECT_EQ(ui.statusText->text(), QString::fromUtf8(c.text));
        EXPECT_EQ(ui.statusDot->styleSheet(), kGreen);
        EXPECT_EQ(ui.footer->text(), QString::fromUtf8(c.footer));
        // The handshake, once, then the drawing window asking for the host's current drawing.
        waitUntil([] { return false; }, 200);
        const QList<QByteArray> received = server.received();
        ASSERT_FALSE(received.isEmpty());
        EXPECT_EQ(received.front(), QByteArray("PING\n"));
        EXPECT_EQ(received.count("PING\n"), 1);
        for (const QByteArray& message : received)
            EXPECT_TRUE(message == "PING\n" || message == "VIEW\n") << message.toStdString();
    }
}

// A pick with no drawing in the drawing window would wait for a selection no one can make.
TEST(MainWindow, PickWithoutADrawingShowsTheDrawingWindow) {
    MainWindow window;
    const WindowAccess ui(window);
    ui.nestPage->pickFromCad();
    EXPECT_EQ(ui.stack->currentWidget(), ui.drawingPage);
    EXPECT_TRUE(ui.navButtons[6]->isChecked());
    EXPECT_EQ(ui.nestPage->logLines().last(),
              QStringLiteral("[提示] 请先在图纸窗口中打开图纸，再框选零件"));
}

TEST(MainWindow, ReconnectWhileConnectedSendsNothing) {
    BridgeServer server(BridgeServer::pluginLike);
    MainWindow window;
    const WindowAccess ui(window);
    ASSERT_TRUE(waitUntil([&] { return ui.bridge->isConnected(); }));
    ASSERT_TRUE(waitUntil([&] { return ui.statusDot->styleSheet() == kGreen; }));
    waitUntil([] { return false; }, 200);  // the start-up exchange is over
    server.clearReceived();
    ui.connectButton->click();
    clickCard(window, QStringLiteral("连接测试"));
    EXPECT_EQ(ui.footer->text(), QStringLiteral("「连接测试」：检查与 qkshost 的通道"));
    waitUntil([] { return false; }, 200);
    EXPECT_TRUE(server.received().isEmpty());
    EXPECT_EQ(ui.statusText->text(), QStringLiteral("已连接 qkshost · 4.4.0"));

    // The host closes the pipe: the chip says so; the pages find out when they submit.
    server.dropClients();
    ASSERT_TRUE(waitUntil([&] { return ui.statusText->text() == QStringLiteral("连接已断开"); }));
    EXPECT_EQ(ui.statusDot->styleSheet(), kGrey);
    EXPECT_EQ(ui.connectButton->text(), QStringLiteral("连接 qkshost"));

    // The button brings it back.
    ui.connectButton->click();
    EXPECT_TRUE(waitUntil(
        [&] { return ui.statusText->text() == QStringLiteral("已连接 qkshost · 4.4.0"); }));
}

TEST(MainWindow, PlotSubmissionReconnectsAndRefreshesTheChip) {
    BridgeServer server(BridgeServer::pluginLike);
    MainWindow window;
    const WindowAccess ui(window);
    ASSERT_TRUE(waitUntil([&] { return ui.statusDot->styleSheet() == kGreen; }));
    server.dropClients();
    ASSERT_TRUE(waitUntil([&] { return ui.statusText->text() == QStringLiteral("连接已断开"); }));
    server.clearReceived();

    QTemporaryDir out;
    ui.plotPage->outDirEdit->setText(out.path());
    ui.plotPage->startButton->click();
    // The reconnect fires the handshake first; the job command follows on the same link.
    ASSERT_TRUE(waitUntil(
        [&] { return !server.received().isEmpty() && server.received().last() == "PLOT\n"; }));
    EXPECT_TRUE(server.received().contains("PING\n"));
    EXPECT_EQ(ui.statusText->text(), QStringLiteral("已连接 qkshost · 4.4.0"));
    EXPECT_TRUE(ui.plotPage->running());
    waitUntil([] { return false; }, 100);  // the QUEUED reply
    EXPECT_FALSE(ui.plotPage->logView->toPlainText().contains(QStringLiteral("[警告]")));
}

TEST(MainWindow, CardsSetTheFooterAndConnectionTestConnects) {
    MainWindow window;
    const WindowAccess ui(window);
    ASSERT_TRUE(waitUntil(
        [&] { return ui.statusText->text() == QStringLiteral("未连接 qkshost（主机未启动）"); }));
    clickCard(window, QStringLiteral("打印机与纸张"));
    EXPECT_EQ(ui.stack->currentWidget(), ui.plotSettingsPage);
    EXPECT_EQ(ui.statusText->text(), QStringLiteral("未连接 qkshost（主机未启动）"));

    BridgeServer server(BridgeServer::pluginLike);
    clickCard(window, QStringLiteral("连接测试"));
    EXPECT_EQ(ui.stack->currentWidget(), ui.hostSettingsPage);
    EXPECT_TRUE(waitUntil(
        [&] { return ui.statusText->text() == QStringLiteral("已连接 qkshost · 4.4.0"); }));
    EXPECT_EQ(ui.footer->text(), QStringLiteral("通道正常，可以运行功能"));
    EXPECT_FALSE(server.received().isEmpty());
}

TEST(MainWindow, SheetMetalCardsOpenTheirToolsAndReturn) {
    MainWindow window;
    const WindowAccess ui(window);
    const char* bomCards[] = {"明细表导出 Excel", "重量计算", "折弯展开", "材料利用率",
                              "图纸清单打包"};
    for (int section = 0; section < 5; ++section) {
        ui.navButtons[4]->click();
        clickCard(window, QString::fromUtf8(bomCards[section]));
        EXPECT_EQ(ui.stack->currentWidget(), ui.bomPage);
        EXPECT_EQ(ui.bomPage->currentSection(), section);
        EXPECT_TRUE(ui.bomPage->sectionButtons[section]->isChecked());
    }
    EXPECT_EQ(ui.footer->text(), QStringLiteral("就绪"));

    // The settings page returns to where it was opened from.
    const struct {
        QWidget* from;
        QPushButton* opener;
    } openers[] = {{ui.bomPage, ui.bomPage->settingsButton}, {ui.stack->widget(5), nullptr}};
    for (const auto& o : openers) {
        ui.stack->setCurrentWidget(o.from);
        if (o.opener)
            o.opener->click();
        else
            clickCard(window, QStringLiteral("钣金参数"));
        EXPECT_EQ(ui.stack->currentWidget(), ui.bomSettingsPage);
        ui.bomSettingsPage->backButton->click();
        EXPECT_EQ(ui.stack->currentWidget(), o.from);
    }
    ui.stack->setCurrentWidget(ui.bomPage);
    ui.bomPage->backButton->click();
    EXPECT_EQ(ui.stack->currentIndex(), 4);
}

TEST(MainWindow, CleanupCardsOpenTheToolsOnTheirOperation) {
    MainWindow window;
    const WindowAccess ui(window);
    ToolsPage& tools = *ui.toolsPage;
    const struct {
        const char* card;
        ToolOperation operation;
    } cards[] = {
        {"一键长宽标注", ToolOperation::Dimensions}, {"孔位与折弯标注", ToolOperation::Holes},
        {"编号气泡", ToolOperation::Balloons},       {"面积与周长", ToolOperation::Area},
        {"图层规范", ToolOperation::Layers},         {"清理冗余", ToolOperation::Clean},
        {"倒角与圆角", ToolOperation::Corners},      {"文字与属性提取", ToolOperation::Attributes}};
    for (int section = 0; section < ToolsPage::kSectionCount; ++section) {
        ui.navButtons[3]->click();
        clickCard(window, QString::fromUtf8(cards[section].card));
        EXPECT_EQ(ui.stack->currentWidget(), &tools);
        EXPECT_EQ(tools.currentSection(), section);
        for (int op = 0; op < kToolOperationCount; ++op)
            EXPECT_EQ(tools.operationChecks[op]->isChecked(), op == int(cards[section].operation))
                << cards[section].card << " " << op;
    }
    tools.backButton->click();
    EXPECT_EQ(ui.stack->currentIndex(), 3);

    // The rules page returns to where it was opened from, as the settings page does.
    ui.stack->setCurrentWidget(&tools);
    tools.rulesButton->click();
    EXPECT_EQ(ui.stack->currentWidget(), ui.layerRulesPage);
    ui.layerRulesPage->backButton->click();
    EXPECT_EQ(ui.stack->currentWidget(), &tools);
    ui.navButtons[5]->click();
    clickCard(window, QStringLiteral("图层与颜色规则"));
    EXPECT_EQ(ui.stack->currentWidget(), ui.layerRulesPage);
    ui.layerRulesPage->backButton->click();
    EXPECT_EQ(ui.stack->currentIndex(), 5);
    EXPECT_EQ(ui.footer->text(), QStringLiteral("就绪"));
}

TEST(MainWindow, CardGridsAndBadges) {
    MainWindow window;
    const WindowAccess ui(window);
    const struct {
        int page;
        int cards;
        const char* badge;
        QVector<QPair<int, int>> cells;  // (row, column) per card
    } pages[] = {
        {3, 8, "标注", {{0, 0}, {0, 1}, {0, 2}, {1, 0}, {1, 1}, {1, 2}, {2, 0}, {2, 1}}},
        {4, 5, "BOM", {{0, 0}, {0, 1}, {0, 2}, {1, 0}, {1, 1}}},
        {5, 4, "设置", {{0, 0}, {0, 1}, {0, 2}, {1, 0}}},
    };
    for (const auto& p : pages) {
        QWidget* page = ui.stack->widget(p.page);
        EXPECT_EQ(page->findChild<QLabel*>(QStringLiteral("sectionCount"))->text(),
                  QStringLiteral("%1 项").arg(p.cards));
        auto* scroll = page->findChild<QScrollArea*>(QStringLiteral("scroll"));
        ASSERT_NE(scroll, nullptr);
        auto* grid = qobject_cast<QGridLayout*>(scroll->widget()->layout());
        ASSERT_NE(grid, nullptr);
        ASSERT_EQ(grid->count(), p.cards);
        for (int i = 0; i < p.cards; ++i) {
            int row, column, rowSpan, columnSpan;
            grid->getItemPosition(i, &row, &column, &rowSpan, &columnSpan);
            EXPECT_EQ((QPair<int, int>(row, column)), p.cells[i]) << p.page << " card " << i;
        }
        for (QLabel* badge : page->findChildren<QLabel*>(QStringLiteral("cardBadge")))
            EXPECT_EQ(badge->text(), QString::fromUtf8(p.badge));
        for (QPushButton* action : page->findChildren<QPushButton*>(QStringLiteral("cardAction")))
            EXPECT_EQ(action->text(), QStringLiteral("配置并运行  >"));
    }
}

TEST(Look, StyleSheetResourceLoads) {
    const QString sheet = studioStyleSheet();
    EXPECT_TRUE(sheet.startsWith(QStringLiteral("* { outline: none; }")));
    EXPECT_TRUE(sheet.contains(QStringLiteral("QPushButton#nav:checked")));
    EXPECT_TRUE(sheet.trimmed().endsWith(
        QStringLiteral("QLabel#chip { background: #e8f0ff; color: #1e3a8a; border-radius: 10px; "
                       "padding: 4px 12px; font-weight: 600; }")));
}

// 连接测试 keeps the host path the Studio starts (only an executable file), and the window's host
// notices go to the log of whichever page is in view.
TEST(MainWindow, ConnectionTestKeepsTheHostPathAndNoticesReachThePageInView) {
    MainWindow window;
    const WindowAccess ui(window);
    clickCard(window, QStringLiteral("连接测试"));
    HostSettingsPage* page = ui.hostSettingsPage;
    ASSERT_EQ(ui.stack->currentWidget(), page);
    EXPECT_EQ(page->hostInfoLabel->text(), QStringLiteral("当前：qkshost 未启动"));
    QTemporaryDir dir;
    const QString host = dir.filePath(QStringLiteral("主机/qkshost"));
    QDir().mkpath(dir.filePath(QStringLiteral("主机")));
    test::writeFile(host, "#!/bin/sh\n");
    page->programEdit->setText(host);
    page->save();
    EXPECT_TRUE(page->messageLabel->text().startsWith(QStringLiteral("[错误]")));
    EXPECT_EQ(loadHostProgramSetting(studioSettingsPath()), QString());
    QFile::setPermissions(host, QFile::ReadOwner | QFile::ExeOwner);
    page->save();
    EXPECT_EQ(loadHostProgramSetting(studioSettingsPath()), host);
    page->programEdit->clear();
    page->save();
    EXPECT_EQ(loadHostProgramSetting(studioSettingsPath()), QString());

    const QString notice = QStringLiteral("[警告] qkshost 意外退出（进程被终止），正在重新启动");
    ui.navButtons[0]->click();
    window.logToPageInView(notice);
    EXPECT_TRUE(ui.plotPage->logView->toPlainText().endsWith(notice));
    ui.navButtons[2]->click();
    window.logToPageInView(notice);
    EXPECT_EQ(ui.nestPage->logLines().last(), notice);
    ui.navButtons[5]->click();  // a card page has no log: nothing to write to
    window.logToPageInView(notice);
}

// What the screenshots showed wrong: a panel title white on the white panel, and the sheet list
// editor in another font than the inputs around it.
TEST(Look, NestPanelTitleIsDarkAndTheSheetEditorMatchesTheInputs) {
    const QString before = qApp->styleSheet();
    qApp->setStyleSheet(studioStyleSheet());
    {
        NestPage page(nullptr, nullptr, nullptr);
        page.ensurePolished();
        QLabel* title = nullptr;
        for (QLabel* label : page.findChildren<QLabel*>())
            if (label->text() == QStringLiteral("零件来源")) title = label;
        ASSERT_NE(title, nullptr);
        title->ensurePolished();
        EXPECT_LT(title->palette().color(QPalette::WindowText).lightness(), 100);
        QWidget* sheets = page.field(QStringLiteral("sheets"));
        QWidget* outDir = page.field(QStringLiteral("outDir"));
        sheets->ensurePolished();
        outDir->ensurePolished();
        EXPECT_EQ(sheets->font().family(), outDir->font().family());
        EXPECT_EQ(sheets->font().pixelSize(), outDir->font().pixelSize());
        EXPECT_EQ(sheets->font().pointSizeF(), outDir->font().pointSizeF());
    }
    qApp->setStyleSheet(before);
}

// The file dialog's place list shares its object name with the window's dark sidebar; it keeps
// a light ground under its dark text.
TEST(Look, FileDialogPlacesAreReadable) {
    const QString before = qApp->styleSheet();
    qApp->setStyleSheet(studioStyleSheet());
    {
        QFileDialog dialog;
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.show();
        QWidget* places = dialog.findChild<QWidget*>(QStringLiteral("sidebar"));
        ASSERT_NE(places, nullptr);
        places->ensurePolished();
        const QImage shot = places->grab().toImage();
        ASSERT_FALSE(shot.isNull());
        EXPECT_GT(QColor(shot.pixel(shot.width() / 2, shot.height() - 3)).lightness(), 200);
        EXPECT_LT(places->palette().color(QPalette::Text).lightness(), 100);
    }
    qApp->setStyleSheet(before);
}

// First start: maximised over most of the screen, and at 1366 x 768 (less a panel and a title
// bar) the nest page shows 开始套料 without scrolling. Later starts take the place the window
// was left in.
TEST(MainWindow, FirstStartFillsTheScreenAndLaterStartsKeepThePlace) {
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("studio.ini"));
    {
        MainWindow window;
        const WindowAccess ui(window);
        showMainWindow(window, ini);
        EXPECT_TRUE(window.isMaximized());
        const QRect room = QGuiApplication::primaryScreen()->availableGeometry();
        EXPECT_GE(window.normalGeometry().width(), std::min(room.width(), 980));
        window.showNormal();
        window.setGeometry(0, 0, 1366, 768 - 40 - 30);
        ui.navButtons[2]->click();
        QCoreApplication::processEvents();
        QPushButton* start = nullptr;
        for (QPushButton* button : ui.nestPage->findChildren<QPushButton*>())
            if (button->text() == QStringLiteral("开始套料")) start = button;
        ASSERT_TRUE(start);
        EXPECT_EQ(start->visibleRegion().boundingRect(), start->rect());
        window.setGeometry(40, 50, 1000, 700);
        EXPECT_TRUE(saveMainWindowPlace(window, ini));
    }
    MainWindow again;
    showMainWindow(again, ini);
    EXPECT_FALSE(again.isMaximized());
    EXPECT_EQ(again.geometry().size(), QSize(1000, 700));
}

// At the window's smallest size no page is wider than its room: nothing is cut off at the
// right, and no page scrolls sideways.
TEST(MainWindow, EveryPageFitsTheSmallestWindowAcross) {
    ASSERT_TRUE(applyStudioLook(*qobject_cast<QApplication*>(QCoreApplication::instance())));
    MainWindow window;
    const WindowAccess ui(window);
    window.show();
    window.resize(window.minimumSize());
    for (int page = 0; page < ui.navButtons.size(); ++page) {
        ui.navButtons[page]->click();
        QCoreApplication::processEvents();
        for (QScrollArea* area : ui.stack->currentWidget()->findChildren<QScrollArea*>()) {
            if (!area->isVisible() || !area->widget() || !area->widgetResizable()) continue;
            EXPECT_LE(area->widget()->minimumSizeHint().width(), area->viewport()->width())
                << "page " << page;
            EXPECT_FALSE(area->horizontalScrollBar()->isVisible()) << "page " << page;
        }
    }
}

}  // namespace
