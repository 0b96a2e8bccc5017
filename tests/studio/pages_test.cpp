// The job pages on the offscreen platform: what they write, what they send, and
// how they follow the files the plug-in writes.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QDoubleSpinBox>
#include <QDropEvent>
#include <QGraphicsPathItem>
#include <QGraphicsRectItem>
#include <QGraphicsScene>
#include <QGraphicsSimpleTextItem>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <limits>

#include "qks/studio/bomrows.h"
#include "qks/studio/bridgeclient.h"
#include "qks/studio/files.h"
#include "qks/studio/jobfilewatcher.h"
#include "qks/studio/ui/bompage.h"
#include "qks/studio/ui/bomsettingspage.h"
#include "qks/studio/ui/bomtable.h"
#include "qks/studio/ui/dialogs.h"
#include "qks/studio/ui/drawingpage.h"
#include "qks/studio/ui/layerrulespage.h"
#include "qks/studio/ui/mergepage.h"
#include "qks/studio/ui/nestform.h"
#include "qks/studio/ui/nestpage.h"
#include "qks/studio/ui/nestparts.h"
#include "qks/studio/ui/nestpreview.h"
#include "qks/studio/ui/plotpage.h"
#include "qks/studio/ui/plotsettingspage.h"
#include "qks/studio/ui/toolspage.h"
#include "test_support.h"

using namespace qks::studio;
using qks::studio::test::BridgeServer;
using qks::studio::test::lastReceived;
using qks::studio::test::readFile;
using qks::studio::test::waitUntil;
using qks::studio::test::writeFile;

namespace {

class PageTest : public ::testing::Test {
  protected:
    void SetUp() override {
        previous_ = setStudioDialogs(&dialogs);
        clearJobFiles();
    }
    // Nothing a test leaves in the temporary folder (a folder in a config's way) reaches the
    // next one.
    void TearDown() override {
        clearJobFiles();
        setStudioDialogs(previous_);
    }
    static void clearJobFiles() {
        for (const QString& name :
             {kNestConfigName, kNestPartsName, kNestProgressName, kNestLogName, kPlotConfigName,
              kPlotLogName, kPlotFilesConfigName, kPlotFilesLogName, kMergeConfigName,
              kMergeLogName, kBomConfigName, kBomLogName, kBomRowsName, kToolsConfigName,
              kToolsLogName, kToolsTablesName}) {
            const QString path = tempFilePath(name);
            QFile::remove(path);
            QDir(path).removeRecursively();
        }
    }

    QStringList logLines(const QPlainTextEdit* log) const {
        return log->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    QueuedDialogs dialogs;
    QTemporaryDir scratch;
    // The window's watcher of the job files, which the pages follow as in the window.
    JobFileWatcher files;
    StudioDialogs* previous_ = nullptr;
};

QByteArray partsFile(int firstQuantity) {
    return "# QKS-PARTS 2\n"
           "P\t1\t" +
           QByteArray::number(firstQuantity) +
           "\t200\t0\t0\t20\t10\tCURRENT\tA\t支架\n"
           "O\t1\t0.000,0.000;20.000,0.000;20.000,10.000;0.000,10.000\n"
           "H\t1\t2.000,2.000;4.000,2.000;4.000,4.000\n"
           "P\t2\t3\t100\t5\t5\t10\t10\tCURRENT\t\t垫片\n"
           "O\t2\t5.000,5.000;15.000,5.000;15.000,15.000\n"
           "P\t3\t0\t1\t0\t0\t1.5\t2.49\tCURRENT\t\t短边\n"
           "O\t3\t0,0;1,1\n";
}

const QByteArray kProgress =
    "PLACE\t1\t0\t0\t0\t0\n"
    "CFG\t10.000\t2.000\t4.000\n"
    "SHEET\t3000.000\t1500.000\n"
    "PLACE\t1\t0\t0\t0\t0\n"
    "PLACE\t2\t90\t1\t20\t0\n"
    "PLACE\t3\t0\t0\t40\t0\n"   // short outline: not drawn
    "PLACE\t77\t0\t0\t60\t0\n"  // unknown part: not drawn
    "SHEET\t2500.000\t1250.000\n"
    "PLACE\t1\t180\t0\t0\t0\n"
    "UTIL\t35.24\n"
    "UNPLACED\t2\n"
    "ELAPSED\t3.07\n";

int pathItems(const QGraphicsScene* scene) {
    int count = 0;
    for (QGraphicsItem* item : scene->items())
        count += item->type() == QGraphicsPathItem::Type;
    return count;
}

QStringList sceneTexts(const QGraphicsScene* scene) {
    QStringList texts;
    for (QGraphicsItem* item : scene->items()) {
        if (auto* text = qgraphicsitem_cast<QGraphicsSimpleTextItem*>(item)) texts << text->text();
    }
    return texts;
}

TEST_F(PageTest, NestQuantityEditsAndReloadKeepChoices) {
    writeFile(tempFilePath(kNestPartsName), partsFile(4));
    NestPage page(nullptr, &files, nullptr);
    ASSERT_EQ(page.partsTable().rowCount(), 3);
    EXPECT_EQ(page.partsTable().item(2, 2)->text(), QStringLiteral("短边"));
    EXPECT_EQ(page.partsTable().item(0, 4)->text(), QStringLiteral("20 × 10"));
    EXPECT_EQ(page.partsTable().item(2, 4)->text(), QStringLiteral("2 × 2"));
    EXPECT_FALSE(page.partsTable().item(0, 2)->icon().isNull());
    EXPECT_EQ(page.partCountText(), QStringLiteral("3 种 / 7 件"));
    EXPECT_EQ(page.hintText(), QStringLiteral("已载入零件轮廓，可在下方调整数量后开始套料"));
    EXPECT_FALSE(page.partsTable().item(0, 1)->flags() & Qt::ItemIsEditable);
    EXPECT_TRUE(page.partsTable().item(0, 3)->flags() & Qt::ItemIsEditable);

    QTableWidgetItem* quantity = page.partsTable().item(1, 3);
    const struct {
        const char* typed;
        int stored;
    } edits[] = {{"1500", 999}, {"-3", 999}, {"abc", 999}, {"12", 12},
                 {"", 12},      {"0", 0},    {"8", 8}};
    for (const auto& e : edits) {
        quantity->setText(QString::fromUtf8(e.typed));
        EXPECT_EQ(page.parts()[1].quantity, e.stored) << e.typed;
        EXPECT_EQ(quantity->text(), QString::number(e.stored));
    }
    page.partsTable().item(0, 0)->setCheckState(Qt::Unchecked);
    EXPECT_FALSE(page.parts()[0].enabled);
    EXPECT_EQ(page.partCountText(), QStringLiteral("3 种 / 8 件"));

    // The plug-in rewrites the file with the same ids: the user's choices stay.
    writeFile(tempFilePath(kNestPartsName), partsFile(40) + "\n");
    page.poll();
    ASSERT_EQ(page.parts().size(), 3);
    EXPECT_FALSE(page.parts()[0].enabled);
    EXPECT_EQ(page.parts()[0].quantity, 4);
    EXPECT_EQ(page.parts()[1].quantity, 8);
    EXPECT_EQ(page.partsTable().item(0, 0)->checkState(), Qt::Unchecked);
    EXPECT_EQ(page.partsTable().item(1, 3)->text(), QStringLiteral("8"));
}

TEST_F(PageTest, NestProgressFileDrawsTheLayout) {
    writeFile(tempFilePath(kNestPartsName), partsFile(4));
    NestPage page(nullptr, &files, nullptr);
    EXPECT_EQ(sceneTexts(page.preview().scene()),
              QStringList({QStringLiteral("框选零件并开始套料后，这里实时显示排样预览")}));
    EXPECT_EQ(page.preview().utilisationText(), QStringLiteral("利用率 --"));

    // No SHEET yet: only the placeholder, but the utilisation shows.
    writeFile(tempFilePath(kNestProgressName),
              "CFG\t10.000\t2.000\t0.000\nUTIL\t0.00\nSTATE\trunning\n");
    page.poll();
    EXPECT_EQ(page.preview().utilisationText(), QStringLiteral("利用率 0.0%"));
    EXPECT_EQ(pathItems(page.preview().scene()), 0);
    EXPECT_EQ(sceneTexts(page.preview().scene()).size(), 1);

    writeFile(tempFilePath(kNestProgressName), kProgress + "STATE\trunning\n");
    page.poll();
    EXPECT_EQ(page.preview().sheetChoices(), QStringList({QStringLiteral("板 1 · 3000×1500"),
                                                          QStringLiteral("板 2 · 2500×1250")}));
    EXPECT_EQ(page.preview().sheets()[0].placements.size(),
              4);  // the PLACE before any SHEET is dropped
    EXPECT_EQ(page.preview().summaryText(), QStringLiteral("2 张板 · 未放 2 件 · 3.1s"));
    EXPECT_EQ(page.preview().utilisationText(), QStringLiteral("利用率 35.2%"));
    EXPECT_EQ(pathItems(page.preview().scene()), 2);
    EXPECT_TRUE(sceneTexts(page.preview().scene()).contains(QStringLiteral("板 1  3000×1500")));
    EXPECT_EQ(page.preview().scene()->sceneRect(), QRectF(-60, -30, 3120, 1590));

    page.preview().showSheet(1);
    EXPECT_EQ(page.preview().currentSheet(), 1);
    EXPECT_EQ(pathItems(page.preview().scene()), 1);
    EXPECT_TRUE(sceneTexts(page.preview().scene()).contains(QStringLiteral("板 2  2500×1250")));
    EXPECT_EQ(page.stateText(), QStringLiteral("待命"));

    // The run ends: the chip, the buttons and the last lines of the job log.
    writeFile(tempFilePath(kNestLogName), "QKNEST 开始 source=picked\n\n  NEST 首版 \nDONE 2 张\n");
    writeFile(tempFilePath(kNestProgressName), kProgress + "STATE\tstopped\n\n");
    page.poll();
    EXPECT_EQ(page.stateText(), QStringLiteral("已停止 · 采用最优"));
    EXPECT_EQ(page.preview().currentSheet(), 1);
    EXPECT_TRUE(page.canStart());
    EXPECT_FALSE(page.canStop());
    EXPECT_EQ(page.logLines(),
              QStringList({QStringLiteral("QKNEST 开始 source=picked"), QStringLiteral("NEST 首版"),
                           QStringLiteral("DONE 2 张")}));
}

TEST_F(PageTest, NestShowsAFinishedRunAtStartUp) {
    writeFile(tempFilePath(kNestPartsName), partsFile(4));
    writeFile(tempFilePath(kNestProgressName), kProgress + "STATE\tdone\n");
    writeFile(tempFilePath(kNestLogName), "DONE 1\n");
    NestPage page(nullptr, &files, nullptr);
    EXPECT_EQ(page.stateText(), QStringLiteral("优化完成"));
    EXPECT_EQ(pathItems(page.preview().scene()), 2);
    EXPECT_EQ(page.logLines(), QStringList({QStringLiteral("DONE 1")}));
}

TEST_F(PageTest, NestRunIsFollowedToItsDoneOrFatalLine) {
    BridgeServer server([](const QByteArray&) { return QByteArray("QUEUED"); });
    BridgeClient bridge;
    ASSERT_TRUE(bridge.connectToBridge(kConnectWaitMs));
    const QByteArray started = "QKNEST 开始 source=current\nNEST 首版 板=1\n";
    const QByteArray searched = started + "NEST 优化结束 迭代=9 板=1\nNEST 正在生成套料图\n";
    const QByteArray written = searched + "DONE 板=1 件=4\nNEST 已生成 /o/套料图.dxf\n";
    const struct {
        const char* state;  // the progress file's STATE, or nullptr: not written
        QByteArray log;
        const char* chip;
        bool running;
    } steps[] = {
        // An earlier job's finished files are not this run's end.
        {nullptr, "DONE 板=2\n", "优化中", true},
        {"running", started, "优化中", true},
        {"done", searched, "正在生成套料图…", true},
        {"done", searched + "DONE 板=1 件=4\n", "正在生成套料图…",
         true},  // its drawing's line next
        {"done", written, "优化完成", false},
    };
    writeFile(tempFilePath(kNestProgressName), kProgress + "STATE\tdone\n");
    writeFile(tempFilePath(kNestLogName), "DONE 板=2\n");
    NestPage page(&bridge, &files, nullptr);
    QPushButton* drawing = nullptr;
    for (QPushButton* button : page.findChildren<QPushButton*>())
        if (button->text() == QStringLiteral("在图纸窗口打开")) drawing = button;
    ASSERT_TRUE(drawing);
    page.useCurrentDrawing();
    page.start();
    ASSERT_TRUE(waitUntil([&] { return page.running(); }));
    for (const auto& step : steps) {
        if (step.state)
            writeFile(tempFilePath(kNestProgressName),
                      kProgress + "STATE\t" + QByteArray(step.state) + "\n");
        writeFile(tempFilePath(kNestLogName), step.log);
        page.poll();
        EXPECT_EQ(page.stateText(), QString::fromUtf8(step.chip)) << step.log.constData();
        EXPECT_EQ(page.running(), step.running) << step.log.constData();
        EXPECT_EQ(page.canStart(), !step.running);
        EXPECT_EQ(drawing->isEnabled(), !step.running);
    }
    EXPECT_TRUE(page.logLines().contains(QStringLiteral("NEST 已生成 /o/套料图.dxf")));
    EXPECT_EQ(page.logLines().last(), QStringLiteral("[套料] 套料图已生成，可在图纸窗口打开"));

    // A job that fails before its search writes no progress: its FATAL line ends the run.
    page.start();
    ASSERT_TRUE(waitUntil([&] { return page.running(); }));
    writeFile(tempFilePath(kNestLogName), "FATAL 无法读取套料配置\n");
    page.poll();
    EXPECT_EQ(page.stateText(), QStringLiteral("套料失败"));
    EXPECT_TRUE(page.canStart());
}

TEST_F(PageTest, NestCommandsAndReplies) {
    BridgeClient bridge;
    NestPage page(&bridge, &files, nullptr);
    // Not connected: nothing is sent and the page stays idle.
    page.useCurrentDrawing();
    page.start();
    EXPECT_TRUE(page.logLines().contains(kNotConnectedNestLine));
    EXPECT_FALSE(page.running());
    EXPECT_EQ(page.stateText(), QStringLiteral("待命"));

    // The plug-in's answers: "QUEUED" and "OK" are both accepted for nest commands.
    const struct {
        const char* reply;
        bool accepted;
    } cases[] = {{"QUEUED", true}, {"OK", true}, {"ERR unknown", false}};
    for (const auto& c : cases) {
        BridgeServer server([&c](const QByteArray&) { return QByteArray(c.reply); });
        ASSERT_TRUE(bridge.connectToBridge(kConnectWaitMs));
        NestPage fresh(&bridge, &files, nullptr);
        fresh.useCurrentDrawing();
        fresh.start();
        // The reply decides: accepted, the page runs; refused, the log says why.
        ASSERT_TRUE(waitUntil([&] {
            return fresh.running() ||
                   fresh.logLines().contains(QStringLiteral("[警告] qkshost 返回：ERR unknown"));
        })) << c.reply;
        EXPECT_EQ(fresh.running(), c.accepted) << c.reply;
        EXPECT_EQ(fresh.canStart(), !c.accepted);
        EXPECT_EQ(fresh.canStop(), c.accepted);
        EXPECT_EQ(fresh.stateText(),
                  c.accepted ? QStringLiteral("优化中") : QStringLiteral("待命"));
        const QStringList lines = fresh.logLines();
        EXPECT_EQ(lines.contains(QStringLiteral("[警告] qkshost 返回：ERR unknown")), !c.accepted);
        const QString configPath = tempFilePath(kNestConfigName);
        ASSERT_FALSE(server.received().isEmpty());
        EXPECT_EQ(server.received().last(), (QStringLiteral("NEST ") + configPath).toUtf8());
        EXPECT_TRUE(readFile(configPath).startsWith("source=current\npartsFile="));

        server.clearReceived();
        fresh.stop();
        if (c.accepted) {
            EXPECT_TRUE(waitUntil([&] { return !server.received().isEmpty(); }));
            EXPECT_EQ(server.received(), QList<QByteArray>({"NESTSTOP"}));
            EXPECT_EQ(fresh.stateText(), QStringLiteral("正在停止，采用当前最优"));
        } else {
            EXPECT_TRUE(server.received().isEmpty());
        }
        bridge.abort();
    }
}

TEST_F(PageTest, NestPickAndSourceChecks) {
    BridgeServer server(BridgeServer::pluginLike);
    BridgeClient bridge;
    ASSERT_TRUE(bridge.connectToBridge(kConnectWaitMs));
    NestPage page(&bridge, &files, nullptr);
    page.start();
    EXPECT_EQ(page.logLines().last(), QStringLiteral("[提示] 请先在图纸窗口中框选零件"));

    // Running, the start button is off until an accepted pick turns it on again.
    page.useCurrentDrawing();
    page.start();
    ASSERT_TRUE(waitUntil([&] { return page.running(); }));
    ASSERT_FALSE(page.canStart());
    page.pickFromCad();
    ASSERT_TRUE(waitUntil([&] { return page.canStart(); }));
    EXPECT_EQ(server.received().last(), QByteArray("NESTPICK"));
    EXPECT_EQ(page.partCountText(), QStringLiteral("等待框选"));

    dialogs.files = {{QStringLiteral("/d/零件1.dxf"), QStringLiteral("/d/sub/b.DWG")}};
    page.chooseFiles();
    EXPECT_EQ(page.source(), qks::contract::PartSource::Files);
    EXPECT_EQ(page.partCountText(), QStringLiteral("已选 2 个文件"));
    EXPECT_EQ(page.hintText(), QStringLiteral("零件1.dxf、b.DWG"));
    EXPECT_EQ(page.logLines().last(), QStringLiteral("[操作] 将套料 2 个 DWG 文件"));
    page.chooseFiles();  // cancelled: nothing changes
    EXPECT_EQ(page.source(), qks::contract::PartSource::Files);

    NestForm settings = page.form().values();
    settings.sheetText = QStringLiteral(" 1000x500 \n\n");
    settings.layerText = QStringLiteral(" 0 ");
    settings.gap = 0.5;
    settings.pdf = true;
    page.form().setValues(settings);
    page.start();
    const QString config = QString::fromUtf8(readFile(tempFilePath(kNestConfigName)));
    EXPECT_TRUE(
        config.contains(QStringLiteral("\nfile=/d/零件1.dxf\nfile=/d/sub/b.DWG\nlayer=0\n")));
    EXPECT_TRUE(
        config.contains(QStringLiteral("\nprefix=套料\nsheet=1000x500\ngap=0.5\nmargin=10\ncell=2\n"
                                       "rotate=1\nmirror=1\npdf=1\nseconds=12\n")));
    EXPECT_TRUE(page.running());
}

TEST_F(PageTest, NestPageStartsDenseAndRemembersTheLastStrategy) {
    writeFile(tempFilePath(kNestPartsName), partsFile(2));
    const QString ini = scratch.filePath(QStringLiteral("studio.ini"));
    // A fresh page, a page reading a settings file that holds nothing, and the choices after.
    const struct {
        bool remember;
        const char* choose;  // nullptr: leave as shown
        const char* shown;
        bool denseWritten;
    } steps[] = {
        {false, nullptr, "dense", true},       {true, nullptr, "dense", true},
        {true, "standard", "standard", false}, {true, nullptr, "standard", false},
        {true, "dense", "dense", true},        {true, nullptr, "dense", true},
    };
    for (const auto& step : steps) {
        NestPage page(nullptr, &files, nullptr);
        if (step.remember) page.form().rememberStrategyIn(ini);
        auto* strategy = qobject_cast<QComboBox*>(page.form().field(QStringLiteral("strategy")));
        ASSERT_TRUE(strategy);
        if (step.choose)
            strategy->setCurrentIndex(strategy->findData(QString::fromUtf8(step.choose)));
        EXPECT_EQ(strategy->currentData().toString(), QString::fromUtf8(step.shown));
        page.start();
        const QByteArray config = readFile(tempFilePath(kNestConfigName));
        EXPECT_EQ(config.contains("\nstrategy=dense\n"), step.denseWritten) << step.shown;
        EXPECT_FALSE(config.contains("strategy=standard")) << step.shown;
    }
}

TEST_F(PageTest, NestStrategyUnitsAndRotationLinesFollowTheEarlierLines) {
    writeFile(tempFilePath(kNestPartsName), partsFile(4));
    // What the page wrote before these choices existed; it must stay byte for byte.
    const QString earlier = QStringLiteral(
                                "source=picked\npartsFile=%1\nlayer=\noutDir=/o/套料\n"
                                "outDwg=/o/套料/套料图.dxf\nlog=%2\nprefix=套料\n"
                                "sheet=3000x1500x5\nsheet=2500x1250x10\nsheet=2000x1000\n"
                                "gap=5\nmargin=10\ncell=2\nrotate=1\nmirror=1\npdf=0\nseconds=12\n"
                                "partcount 1=4\npartcount 2=3\npartcount 3=0\n")
                                .arg(tempFilePath(kNestPartsName), tempFilePath(kNestLogName));
    const char* standard = "标准";
    const char* dense = "高密度（越算越省料）";
    const struct {
        const char* strategy;
        bool partInPart;
        const char* rotations[3];
        const char* units;
        const char* added;
    } cases[] = {
        {standard, false, {"随全局", "随全局", "随全局"}, "自动", ""},
        {dense, false, {"随全局", "随全局", "随全局"}, "自动", "strategy=dense\n"},
        {dense, true, {"随全局", "随全局", "随全局"}, "自动", "strategy=dense\npartInPart=1\n"},
        {standard, true, {"随全局", "随全局", "随全局"}, "毫米", "units=mm\n"},
        {standard,
         false,
         {"固定 0°", "0°/180°", "90° 步进"},
         "自动",
         "partrotate 1=0\npartrotate 2=0,180\npartrotate 3=0,90,180,270\n"},
        {dense,
         true,
         {"90° 步进", "随全局", "0°/180°"},
         "英寸",
         "strategy=dense\npartInPart=1\nunits=inch\n"
         "partrotate 1=0,90,180,270\npartrotate 3=0,180\n"},
    };
    for (const auto& c : cases) {
        NestPage page(nullptr, &files, nullptr);
        ASSERT_EQ(page.partsTable().rowCount(), 3);
        // Ticked while the dense search was chosen, then the strategy the case wants.
        NestForm settings = page.form().values();
        settings.outDirText = QStringLiteral("/o/套料");
        settings.strategyDense = true;
        settings.partInPart = c.partInPart;
        page.form().setValues(settings);
        settings.strategyDense = c.strategy == dense;
        page.form().setValues(settings);
        EXPECT_EQ(page.form().partInPartAvailable(), c.strategy == dense) << c.strategy;
        for (int r = 0; r < 3; ++r) {
            QComboBox* rotation = page.partsTable().rotationCombo(r);
            ASSERT_TRUE(rotation);
            // The choice shows whole, its arrow included.
            EXPECT_GE(page.partsTable().columnWidth(page.partsTable().columnCount() - 1),
                      rotation->sizeHint().width());
            const int index = rotation->findText(QString::fromUtf8(c.rotations[r]));
            ASSERT_GE(index, 0) << c.rotations[r];
            rotation->setCurrentIndex(index);
        }
        auto* units = qobject_cast<QComboBox*>(page.form().field(QStringLiteral("units")));
        ASSERT_TRUE(units);
        const int unitsIndex = units->findText(QString::fromUtf8(c.units));
        ASSERT_GE(unitsIndex, 0) << c.units;
        units->setCurrentIndex(unitsIndex);
        page.start();
        EXPECT_EQ(QString::fromUtf8(readFile(tempFilePath(kNestConfigName))),
                  earlier + QString::fromUtf8(c.added))
            << c.strategy << " " << c.partInPart << " " << c.rotations[0];
    }
    {
        // Carrying off and labels on are written last, and only then (the page starts on the
        // dense search).
        NestPage page(nullptr, &files, nullptr);
        auto* carry = qobject_cast<QCheckBox*>(page.form().field(QStringLiteral("carry")));
        auto* labels = qobject_cast<QCheckBox*>(page.form().field(QStringLiteral("labels")));
        ASSERT_TRUE(carry && labels);
        EXPECT_EQ(carry->text(), QStringLiteral("携带折弯线与刻字"));
        EXPECT_EQ(labels->text(), QStringLiteral("零件标注"));
        NestForm settings = page.form().values();
        settings.outDirText = QStringLiteral("/o/套料");
        page.form().setValues(settings);
        carry->setChecked(false);
        labels->setChecked(true);
        page.start();
        EXPECT_EQ(QString::fromUtf8(readFile(tempFilePath(kNestConfigName))),
                  earlier + QStringLiteral("strategy=dense\ncarry=0\nlabels=1\n"));
    }
    {
        // Common-line cutting ticked: one line more, after the others (the page starts on the
        // dense search).
        NestPage page(nullptr, &files, nullptr);
        NestForm settings = page.form().values();
        settings.outDirText = QStringLiteral("/o/套料");
        page.form().setValues(settings);
        auto* common = qobject_cast<QCheckBox*>(page.form().field(QStringLiteral("commonLine")));
        ASSERT_TRUE(common);
        EXPECT_EQ(common->text(), QStringLiteral("共边切割"));
        common->setChecked(true);
        page.start();
        EXPECT_EQ(QString::fromUtf8(readFile(tempFilePath(kNestConfigName))),
                  earlier + QStringLiteral("strategy=dense\ncommonline=1\n"));
    }
    {
        // 保留已锁定零件 can be ticked only while the layout file beside this session's latest
        // nest drawing holds locked parts; ticked, that file is written last.
        NestPage page(nullptr, &files, nullptr);
        NestForm settings = page.form().values();
        settings.outDirText = QStringLiteral("/o/套料");
        page.form().setValues(settings);
        auto* keep = qobject_cast<QCheckBox*>(page.form().field(QStringLiteral("keepLocked")));
        ASSERT_TRUE(keep);
        EXPECT_EQ(keep->text(), QStringLiteral("保留已锁定零件"));
        const QString drawing = tempFilePath(QStringLiteral("套料图.dxf"));
        const QString layout = tempFilePath(QStringLiteral("套料图.qkslayout"));
        const auto layoutWith = [](const char* lock) {
            return QByteArray("# QKS-LAYOUT 1\nSHEET\t0\t1000\t500\nPLACE\t1\t12\t12\t0\t0\t") +
                   lock + "\n";
        };
        const struct {
            bool noted;
            const char* lock;
            bool enabled;
        } rows[] = {{false, "1", false}, {true, "0", false}, {true, "1", true}};
        for (const auto& row : rows) {
            writeFile(layout, layoutWith(row.lock));
            if (row.noted) page.addSessionDrawings({drawing});
            page.refreshLockedLayout();
            EXPECT_EQ(keep->isEnabled(), row.enabled) << row.noted << row.lock;
            keep->setChecked(true);
            page.start();
            EXPECT_EQ(QString::fromUtf8(readFile(tempFilePath(kNestConfigName))),
                      earlier + QStringLiteral("strategy=dense\n") +
                          (row.enabled ? QStringLiteral("keeplocked=") + layout + "\n" : QString()))
                << row.noted << row.lock;
        }
    }
}

// Rows of `image` holding the translucent part fill, and how many such pixels each has.
QVector<int> partFillPerRow(const QImage& image) {
    QVector<int> counts(image.height(), 0);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            // #2563eb at alpha 46 over the white sheet.
            counts[y] += std::abs(c.red() - 214) <= 8 && std::abs(c.green() - 225) <= 8 &&
                         std::abs(c.blue() - 251) <= 8;
        }
    }
    return counts;
}

TEST_F(PageTest, NestPreviewShowsTheSheetWithYUp) {
    // An L: the long leg along y = 0, the short one up the left side. Drawn y-up, the long
    // leg lies at the bottom of the part unless it is turned half round.
    writeFile(tempFilePath(kNestPartsName),
              "# QKS-PARTS 2\n"
              "P\t1\t1\t32400\t0\t0\t300\t240\tCURRENT\t\tL\n"
              "O\t1\t0,0;300,0;300,60;60,60;60,240;0,240\n");
    const struct {
        int angle;
        int row;
        int bottomGap;  // drawn sheet bottom to the part's lowest point
        bool longLegDown;
    } cases[] = {{0, 0, 10, true}, {180, 0, 10, false}, {0, 100, 210, true}};
    for (const auto& c : cases) {
        writeFile(tempFilePath(kNestProgressName),
                  QStringLiteral("CFG\t10\t2\t0\nSHEET\t1000\t600\nPLACE\t1\t%1\t0\t0\t%2\n")
                      .arg(c.angle)
                      .arg(c.row)
                      .toUtf8());
        NestPage page(nullptr, &files, nullptr);
        ASSERT_EQ(pathItems(page.preview().scene()), 1);
        QRectF sheet;
        for (QGraphicsItem* item : page.preview().scene()->items()) {
            if (auto* rect = qgraphicsitem_cast<QGraphicsRectItem*>(item))
                sheet = rect->mapRectToScene(rect->rect());
        }
        ASSERT_EQ(sheet.size(), QSizeF(1000, 600));
        QImage image(sheet.size().toSize(), QImage::Format_RGB32);
        image.fill(Qt::white);
        {
            QPainter painter(&image);
            page.preview().scene()->render(&painter, QRectF(image.rect()), sheet);
        }
        const QVector<int> fill = partFillPerRow(image);
        int top = 0;
        while (top < fill.size() && fill[top] == 0)
            ++top;
        int bottom = fill.size() - 1;
        while (bottom > top && fill[bottom] == 0)
            --bottom;
        ASSERT_LT(top, fill.size()) << c.angle;
        EXPECT_NEAR(bottom, 600 - c.bottomGap, 2) << c.angle << " row " << c.row;
        EXPECT_NEAR(top, 600 - c.bottomGap - 240, 2) << c.angle << " row " << c.row;
        // 30 px inside either end: across the long leg about 300 px, across the short 60.
        const int lowWidth = fill[bottom - 30];
        const int highWidth = fill[top + 30];
        if (c.longLegDown)
            EXPECT_GT(lowWidth, 3 * highWidth) << c.angle << " row " << c.row;
        else
            EXPECT_GT(highWidth, 3 * lowWidth) << c.angle << " row " << c.row;
    }
}

TEST(NestParts, ThumbnailFillsTheOutlineCutsHolesAndLeavesBadOutlinesBlank) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Contour square = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
    const Contour wide = {{0, 0}, {20, 0}, {20, 10}, {0, 10}};
    struct Probe {
        int x, y;
        bool material;
    };
    const struct {
        const char* what;
        Contour outline;
        QVector<Contour> holes;
        QVector<Probe> probes;  // none: the picture is blank
    } cases[] = {
        {"square, square hole",
         square,
         {{{3, 3}, {7, 3}, {7, 7}, {3, 7}}},
         {{24, 24, false}, {8, 24, true}, {24, 40, true}}},
        // 2:1, so bands above and below stay empty; the hole near the drawing's top left
        // shows at the picture's top left.
        {"wide, hole up left",
         wide,
         {{{2, 6}, {6, 6}, {6, 9}, {2, 9}}},
         {{10, 18, false}, {10, 29, true}, {24, 6, false}, {24, 42, false}, {38, 18, true}}},
        {"two points", {{0, 0}, {10, 10}}, {}, {}},
        {"one point thrice", {{5, 5}, {5, 5}, {5, 5}}, {}, {}},
        {"flat", {{0, 0}, {5, 0}, {10, 0}}, {}, {}},
        {"not a number", {{0, 0}, {10, nan}, {10, 10}}, {}, {}},
        {"too far apart", {{-1e308, 0}, {1e308, 0}, {0, 1e308}}, {}, {}},
    };
    for (const auto& c : cases) {
        PartRow part;
        part.outline = c.outline;
        part.holes = c.holes;
        const QImage image = partThumbnail(part, 48);
        ASSERT_EQ(image.size(), QSize(48, 48)) << c.what;
        int material = 0;
        for (int y = 0; y < 48; ++y) {
            for (int x = 0; x < 48; ++x)
                material += qAlpha(image.pixel(x, y)) > 0;
        }
        EXPECT_EQ(material > 0, !c.probes.isEmpty()) << c.what;
        for (const Probe& p : c.probes) {
            EXPECT_EQ(qAlpha(image.pixel(p.x, p.y)) > 0, p.material)
                << c.what << " at " << p.x << "," << p.y;
        }
    }
}

TEST_F(PageTest, NestConfigThatCannotBeWrittenSendsNothing) {
    BridgeServer server(BridgeServer::pluginLike);
    BridgeClient bridge;
    ASSERT_TRUE(bridge.connectToBridge(kConnectWaitMs));
    NestPage page(&bridge, &files, nullptr);
    page.useCurrentDrawing();
    page.appendLog(QStringLiteral("earlier line"));
    ASSERT_TRUE(QDir().mkpath(tempFilePath(kNestConfigName)));  // a folder in the way
    page.start();
    EXPECT_EQ(page.logLines().last(), kConfigWriteFailedLine);
    EXPECT_TRUE(page.logLines().contains(QStringLiteral("earlier line")));
    EXPECT_TRUE(server.received().isEmpty());
    EXPECT_FALSE(page.running());
    EXPECT_EQ(page.stateText(), QStringLiteral("待命"));
}

TEST_F(PageTest, PlotCurrentDrawingRunsToDone) {
    BridgeServer server(BridgeServer::pluginLike);
    BridgeClient bridge;  // not connected yet: the page connects by itself
    PlotPage page(&bridge, &files, nullptr);
    EXPECT_TRUE(page.fileList->isHidden());
    page.outDirEdit->setText(scratch.filePath(QStringLiteral("出图/a")));
    page.prefixEdit->setText(QStringLiteral("   "));
    page.styleCombo->setCurrentIndex(2);
    page.scopeCombo->setCurrentIndex(2);
    writeFile(tempFilePath(kPlotLogName), "old job\r\n");
    page.startButton->click();
    EXPECT_TRUE(QDir(scratch.filePath(QStringLiteral("出图/a"))).exists());
    ASSERT_TRUE(waitUntil([&] { return !server.received().isEmpty(); }));
    EXPECT_EQ(server.received(), QList<QByteArray>({"PLOT\n"}));
    EXPECT_EQ(readFile(tempFilePath(kPlotConfigName)),
              (QStringLiteral("outDir=") + scratch.filePath(QStringLiteral("出图/a")) +
               QStringLiteral("\nprefix=\nstyle=\nscope=frames\nlog=") +
               tempFilePath(kPlotLogName) + QStringLiteral("\n"))
                  .toUtf8());
    EXPECT_TRUE(readFile(tempFilePath(kPlotLogName)).isEmpty());
    EXPECT_TRUE(page.running());
    EXPECT_FALSE(page.startButton->isEnabled());
    EXPECT_EQ(page.statusLabel->text(), QStringLiteral("出图中..."));
    EXPECT_EQ(logLines(page.logView).size(), 1);
    EXPECT_TRUE(
        logLines(page.logView).first().endsWith(QStringLiteral("已提交，等待 qkshost 执行")));

    page.startButton->click();  // disabled while running
    page.start();               // and ignored while running
    EXPECT_EQ(server.received().size(), 1);

    writeFile(tempFilePath(kPlotLogName), "QKS 批量出图\r\nRUN 布局1\r\n");
    ASSERT_TRUE(waitUntil([&] { return logLines(page.logView).size() == 3; }));
    EXPECT_TRUE(page.running());
    writeFile(tempFilePath(kPlotLogName), "QKS 批量出图\r\nRUN 布局1\r\nDONE 1 成功\r\n");
    ASSERT_TRUE(waitUntil([&] { return !page.running(); }));
    EXPECT_EQ(page.statusLabel->text(), QStringLiteral("出图完成"));
    EXPECT_TRUE(page.startButton->isEnabled());
    EXPECT_EQ(logLines(page.logView).last(), QStringLiteral("DONE 1 成功"));
    EXPECT_FALSE(files.watching(tempFilePath(kPlotLogName)));
}

TEST_F(PageTest, PlotFilesTargetChecksListAndWarnsOnOk) {
    BridgeServer server([](const QByteArray& m) -> std::optional<QByteArray> {
        return m == "PING\n" ? QByteArray("PONG 4.4.0") : QByteArray("OK");
    });
    BridgeClient bridge;
    PlotPage page(&bridge, &files, nullptr);
    page.outDirEdit->setText(QStringLiteral("  "));
    page.startButton->click();
    EXPECT_EQ(logLines(page.logView).last(), QStringLiteral("[错误] 请先选择输出目录"));

    page.outDirEdit->setText(scratch.path());
    page.targetCombo->setCurrentIndex(1);
    EXPECT_FALSE(page.fileList->isHidden());
    page.startButton->click();
    EXPECT_EQ(logLines(page.logView).last(), QStringLiteral("[错误] 请先添加要出图的 DWG/DXF"));
    EXPECT_TRUE(server.received().isEmpty());

    for (const char* name : {"b.dxf", "a.DWG", "note.pdf"})
        writeFile(scratch.filePath(QString::fromUtf8(name)), "0\nEOF\n");
    dialogs.files = {
        {QStringLiteral("/d/x.dwg"), QStringLiteral("/d/x.dwg"), QStringLiteral("/d/y.pdf")}};
    dialogs.folders = QStringList{scratch.path()};
    page.addFiles();
    page.addFolder();
    ASSERT_EQ(page.fileList->count(), 3);
    EXPECT_EQ(page.fileList->item(1)->text(), QStringLiteral("a.DWG"));
    EXPECT_EQ(page.fileList->item(1)->toolTip(), scratch.filePath(QStringLiteral("a.DWG")));

    page.startButton->click();
    const QString configPath = tempFilePath(kPlotFilesConfigName);
    ASSERT_TRUE(waitUntil([&] { return logLines(page.logView).size() == 2; }));
    EXPECT_EQ(server.received(), QList<QByteArray>({"PLOTFILES " + configPath.toUtf8() + "\n"}));
    EXPECT_TRUE(
        readFile(configPath)
            .endsWith(("\nlog=" + tempFilePath(kPlotFilesLogName) +
                       "\nfile=/d/x.dwg\nfile=" + scratch.filePath(QStringLiteral("a.DWG")) +
                       "\nfile=" + scratch.filePath(QStringLiteral("b.dxf")) + "\n")
                          .toUtf8()));
    EXPECT_EQ(logLines(page.logView).last(), QStringLiteral("[警告] qkshost 返回：OK"));
    EXPECT_TRUE(page.running());  // still treated as submitted

    // A rewritten log is read again from its start; FATAL wins over DONE.
    writeFile(tempFilePath(kPlotFilesLogName), "QKS 批量出图 多个文件 很长的一行\r\n");
    ASSERT_TRUE(waitUntil([&] { return logLines(page.logView).size() == 3; }));
    writeFile(tempFilePath(kPlotFilesLogName), "FATAL 无文件\r\nDONE 0\r\n");
    ASSERT_TRUE(waitUntil([&] { return !page.running(); }));
    EXPECT_EQ(page.statusLabel->text(), QStringLiteral("出图失败"));
    EXPECT_EQ(logLines(page.logView).mid(3),
              QStringList({QStringLiteral("FATAL 无文件"), QStringLiteral("DONE 0")}));

    page.openButton->click();
    EXPECT_EQ(dialogs.opened, QStringList({scratch.path()}));
}

TEST_F(PageTest, PlotWithoutBridgeGivesUp) {
    BridgeClient bridge;
    PlotPage page(&bridge, &files, nullptr);
    page.outDirEdit->setText(scratch.path());
    page.startButton->click();
    EXPECT_EQ(logLines(page.logView).last(), kNotConnectedJobLine);
    EXPECT_FALSE(page.running());
    EXPECT_FALSE(QFile::exists(tempFilePath(kPlotConfigName)));
}

TEST_F(PageTest, MergeConfigAndList) {
    auto server = std::make_unique<BridgeServer>(BridgeServer::pluginLike);
    BridgeClient bridge;
    ASSERT_TRUE(bridge.connectToBridge(kConnectWaitMs));
    MergePage page(&bridge, &files, nullptr);
    page.startButton->click();
    EXPECT_EQ(logLines(page.logView).last(), QStringLiteral("[错误] 请先添加要合并的图纸"));

    for (const char* name : {"c.dxf", "b.dwg"})
        writeFile(scratch.filePath(QString::fromUtf8(name)), "x");
    dialogs.files = {{QStringLiteral("/d/z.dwg"), QStringLiteral("/d/m.dxf"),
                      QStringLiteral("/d/k.dwg"), QStringLiteral("/d/a.dwg")}};
    dialogs.folders = QStringList{scratch.path()};
    page.addFiles();
    page.fileList->item(1)->setSelected(true);
    page.fileList->item(2)->setSelected(true);
    page.removeSelected();
    page.addFolder();
    const QStringList expected = {QStringLiteral("/d/z.dwg"), QStringLiteral("/d/a.dwg"),
                                  scratch.filePath(QStringLiteral("b.dwg")),
                                  scratch.filePath(QStringLiteral("c.dxf"))};

    page.outEdit->setText(QStringLiteral(" ") + scratch.filePath(QStringLiteral("新/合并")) +
                          QStringLiteral(" "));
    page.spacingSpin->setValue(0.1);
    page.columnsSpin->setValue(5);
    page.pdfCheck->setChecked(false);
    page.startButton->click();
    const QString out = scratch.filePath(QStringLiteral("新/合并.dwg"));
    EXPECT_EQ(page.outEdit->text(), out);
    QString content =
        QStringLiteral("outDwg=%1\noutDir=%2\ncolumns=5\nspacing=0.10\npdf=0\nlog=%3\n")
            .arg(out, scratch.filePath(QStringLiteral("新")), tempFilePath(kMergeLogName));
    for (const QString& file : expected)
        content += QStringLiteral("file=") + file + QLatin1Char('\n');
    EXPECT_EQ(QString::fromUtf8(readFile(tempFilePath(kMergeConfigName))), content);
    EXPECT_TRUE(lastReceived(*server, "MERGE " + tempFilePath(kMergeConfigName).toUtf8() + "\n"));
    EXPECT_EQ(page.statusLabel->text(), QStringLiteral("合并中..."));

    EXPECT_TRUE(page.drawingButton->isHidden());
    writeFile(tempFilePath(kMergeLogName), "MERGED count=4 dwg=/o/合并 图.dxf\nDONE 合并完成\n");
    ASSERT_TRUE(waitUntil([&] { return !page.running(); }));
    EXPECT_EQ(page.statusLabel->text(), QStringLiteral("合并完成"));
    // The merged drawing is offered to the drawing window.
    EXPECT_FALSE(page.drawingButton->isHidden());
    QStringList asked;
    QObject::connect(&page, &JobPage::openDrawingsRequested,
                     [&](const QStringList& drawings) { asked = drawings; });
    page.drawingButton->click();
    EXPECT_EQ(asked, QStringList{QStringLiteral("/o/合并 图.dxf")});

    // An upper-case suffix stays as typed; "OK" is not an accepted reply here.
    page.outEdit->setText(scratch.filePath(QStringLiteral("B.DWG")));
    bridge.abort();
    server.reset();
    server = std::make_unique<BridgeServer>(
        [](const QByteArray&) { return std::optional<QByteArray>("OK"); });
    page.startButton->click();
    EXPECT_EQ(page.outEdit->text(), scratch.filePath(QStringLiteral("B.DWG")));
    EXPECT_TRUE(waitUntil([&] {
        return logLines(page.logView).last() == QStringLiteral("[警告] qkshost 返回：OK");
    }));

    dialogs.saves = QStringList{QStringLiteral("/o/x.dwg")};
    page.chooseOutput();
    EXPECT_EQ(page.outEdit->text(), QStringLiteral("/o/x.dwg"));
    page.openButton->click();
    EXPECT_EQ(dialogs.opened, QStringList({QStringLiteral("/o")}));
}

QByteArray bomRowsFile() {
    const BomRow bracket = qks::studio::test::bracketBomRow();
    BomRow plate = bracket;
    plate.key = "k2";
    plate.quantity = 2;
    plate.defaulted = qks::contract::kDefaultedThickness;
    return QByteArray::fromStdString(qks::contract::formatBomRows({bracket, plate}));
}

TEST_F(PageTest, BomRunListsTheRowsAndExportsTheEdits) {
    BridgeServer server(BridgeServer::pluginLike);
    BridgeClient bridge;
    BomPage page(&bridge, &files, defaultBomSettings(), nullptr);
    page.outDirEdit->setText(scratch.filePath(QStringLiteral("BOM 输出")));
    dialogs.files = {{QStringLiteral("/d/a.dxf"), QStringLiteral("/d/支架.dwg")}};
    page.addFiles();
    page.startButton->click();
    const QString configPath = tempFilePath(kBomConfigName);
    EXPECT_TRUE(lastReceived(server, "BOM " + configPath.toUtf8() + "\n"));
    const QString config = QString::fromUtf8(readFile(configPath));
    EXPECT_TRUE(config.contains(QStringLiteral("\nfile=/d/a.dxf\nfile=/d/支架.dwg\n")));
    EXPECT_TRUE(config.contains(QStringLiteral("\nmaterial SUS304=7.93,0.45,1:0.4,3:0.43\n")));
    EXPECT_FALSE(config.contains(QStringLiteral("edit ")));
    EXPECT_FALSE(page.exportButton->isEnabled());

    // The job writes its rows, then the log's last line.
    writeFile(tempFilePath(kBomRowsName), bomRowsFile());
    writeFile(tempFilePath(kBomLogName), "RUN 2\r\nOK /d/a.dxf\r\nDONE total=2 ok=2 fail=0\r\n");
    ASSERT_TRUE(waitUntil([&] { return !page.running(); }));
    BomRowsTable& table = *page.table;
    ASSERT_EQ(table.rowCount(), 2);
    EXPECT_TRUE(page.exportButton->isEnabled());
    EXPECT_TRUE(table.item(0, BomRowsTable::kThicknessColumn)->toolTip().isEmpty());
    EXPECT_FALSE(table.item(1, BomRowsTable::kThicknessColumn)->toolTip().isEmpty());
    const BomTotals before = bomTotals(table.rows());

    // Edits reweigh at once; a rejected entry keeps the value.
    table.materialCombo(0)->setCurrentIndex(
        table.materialCombo(0)->findText(QStringLiteral("AL5052")));
    table.item(0, BomRowsTable::kThicknessColumn)->setText(QStringLiteral("3"));
    table.item(1, BomRowsTable::kQuantityColumn)->setText(QStringLiteral("x"));
    EXPECT_EQ(table.item(1, BomRowsTable::kQuantityColumn)->text(), QStringLiteral("2"));
    table.item(1, BomRowsTable::kQuantityColumn)->setText(QStringLiteral("10"));
    EXPECT_EQ(table.item(0, BomRowsTable::kNetColumn)->text(), QStringLiteral("0.121"));
    EXPECT_EQ(table.item(1, BomRowsTable::kTotalColumn)->text(), QStringLiteral("2.355"));
    EXPECT_EQ(bomTotals(table.rows()).quantity, before.quantity + 8);
    EXPECT_TRUE(page.totalsLabel->text().contains(QStringLiteral("14 件")));

    server.clearReceived();
    page.exportButton->click();
    EXPECT_TRUE(lastReceived(server, "BOM " + configPath.toUtf8() + "\n"));
    EXPECT_TRUE(QString::fromUtf8(readFile(configPath))
                    .endsWith(QStringLiteral("\nedit k1=AL5052,3,\nedit k2=,,10\n")));
}

TEST_F(PageTest, BomSettingsSaveOnlyAUsableTable) {
    const QString ini = scratch.filePath(QStringLiteral("config/QksStudio.ini"));
    BomSettingsPage page(ini, nullptr);
    const int seeded = page.materialTable->rowCount();
    EXPECT_EQ(seeded, int(qks::contract::defaultMaterials().size()));
    std::optional<BomSettings> announced;
    QObject::connect(&page, &BomSettingsPage::saved, [&](const BomSettings& s) { announced = s; });

    page.addMaterial();
    const QStringList cells = {QStringLiteral("镀锌板"), QStringLiteral("abc"),
                               QStringLiteral("0.44"), QStringLiteral("2：0.41")};
    for (int c = 0; c < cells.size(); ++c)
        page.materialTable->item(seeded, c)->setText(cells[c]);
    page.save();
    EXPECT_TRUE(
        page.messageLabel->text().startsWith(QStringLiteral("[错误] 第 %1 行").arg(seeded + 1)));
    EXPECT_FALSE(QFile::exists(ini));
    EXPECT_FALSE(announced);

    page.materialTable->item(seeded, 1)->setText(QStringLiteral("7.85"));
    page.defaultMaterialCombo->setCurrentIndex(page.defaultMaterialCombo->findText(cells[0]));
    page.thicknessSpin->setValue(3);
    page.save();
    ASSERT_TRUE(announced);
    const BomSettings kept = loadBomSettings(ini);
    EXPECT_EQ(kept.materials.size(), std::size_t(seeded + 1));
    EXPECT_EQ(kept.materials.back().ranges[0].kFactor, 0.41);
    EXPECT_EQ(kept.defaultMaterial, cells[0]);
    EXPECT_EQ(kept.defaultThickness, 3);
    EXPECT_EQ(announced->defaultMaterial, kept.defaultMaterial);
}

// 打印机与纸张: saved defaults become the plot page's form and so the next plot config.
TEST_F(PageTest, PlotDefaultsSaveAndGoIntoThePlotConfig) {
    const QString ini = scratch.filePath(QStringLiteral("config/QksStudio.ini"));
    PlotSettingsPage settings(ini, PlotPage::builtInDefaults(), nullptr);
    EXPECT_EQ(settings.outDirEdit->text(), PlotPage::builtInDefaults().outDir);
    EXPECT_FALSE(settings.deviceCombo->isEnabled());
    std::optional<PlotDefaults> announced;
    QObject::connect(&settings, &PlotSettingsPage::saved,
                     [&](const PlotDefaults& d) { announced = d; });
    settings.outDirEdit->setText(QStringLiteral("  "));
    settings.save();
    EXPECT_FALSE(announced);
    EXPECT_FALSE(QFile::exists(ini));

    const QString out = scratch.filePath(QStringLiteral("图 纸"));
    settings.outDirEdit->setText(out);
    settings.prefixEdit->setText(QStringLiteral(" P1 "));
    settings.styleCombo->setCurrentIndex(
        settings.styleCombo->findData(QStringLiteral("grayscale.ctb")));
    settings.scopeCombo->setCurrentIndex(settings.scopeCombo->findData(QStringLiteral("frames")));
    settings.save();
    ASSERT_TRUE(announced);

    BridgeServer server(BridgeServer::pluginLike);
    BridgeClient bridge;
    ASSERT_TRUE(bridge.connectToBridge(kConnectWaitMs));
    PlotPage plot(&bridge, &files, nullptr);
    plot.applyDefaults(*announced);
    plot.start();
    EXPECT_TRUE(QString::fromUtf8(readFile(tempFilePath(kPlotConfigName)))
                    .startsWith(QStringLiteral("outDir=%1\nprefix=P1\nstyle=grayscale.ctb\n"
                                               "scope=frames\n")
                                    .arg(out)));

    // Read back: the empty style ("沿用布局样式") is kept; values outside the choices fall back.
    const PlotDefaults fallback = PlotPage::builtInDefaults();
    const struct {
        const char* style;
        const char* scope;
        QString wantStyle, wantScope;
    } cases[] = {
        {"", "model", QString(), QStringLiteral("model")},
        {"acad2.ctb", "everything", fallback.style, fallback.scope},
    };
    for (const auto& c : cases) {
        {
            QSettings store(ini, QSettings::IniFormat);
            store.setIniCodec("UTF-8");
            store.setValue(QStringLiteral("plot/style"), QString::fromUtf8(c.style));
            store.setValue(QStringLiteral("plot/scope"), QString::fromUtf8(c.scope));
        }
        const PlotDefaults loaded = loadPlotDefaults(ini, fallback);
        EXPECT_EQ(loaded.style, c.wantStyle) << c.style;
        EXPECT_EQ(loaded.scope, c.wantScope) << c.scope;
        EXPECT_EQ(loaded.outDir, out);
        EXPECT_EQ(loaded.prefix, QStringLiteral("P1"));
    }
}

TEST_F(PageTest, ToolsRunTheCheckedOperationsAndListTheirTables) {
    BridgeServer server(BridgeServer::pluginLike);
    BridgeClient bridge;
    ToolsPage page(&bridge, &files, {{"", "", "", "TEXT", "文字", "7", "", ""}}, nullptr);
    page.showSection(ToolsPage::kAreaSection);
    const auto checked = [&] {
        QList<ToolOperation> ops;
        for (int op = 0; op < kToolOperationCount; ++op)
            if (page.operationChecks[op]->isChecked()) ops << ToolOperation(op);
        return ops;
    };
    EXPECT_EQ(checked(), QList<ToolOperation>({ToolOperation::Area}));
    EXPECT_TRUE(page.areaLabelsCheck->isEnabled());
    EXPECT_FALSE(page.shortSpin->isEnabled());
    page.operationChecks[int(ToolOperation::Layers)]->setChecked(true);
    page.operationChecks[int(ToolOperation::Clean)]->setChecked(true);
    EXPECT_TRUE(page.shortSpin->isEnabled());

    page.outDirEdit->setText(scratch.filePath(QStringLiteral("整理 输出")));
    page.startButton->click();
    EXPECT_TRUE(logLines(page.logView).contains(QStringLiteral("[错误] 请先添加要处理的 DWG/DXF")));
    EXPECT_TRUE(server.received().isEmpty());
    dialogs.files = {{QStringLiteral("/d/a.dxf")}};
    page.addFiles();
    page.startButton->click();
    const QString configPath = tempFilePath(kToolsConfigName);
    EXPECT_TRUE(lastReceived(server, "TOOLS " + configPath.toUtf8() + "\n"));
    const QString config = QString::fromUtf8(readFile(configPath));
    EXPECT_TRUE(config.contains(QStringLiteral("\nfile=/d/a.dxf\nop=clean,layers,area\n")))
        << config.toStdString();
    EXPECT_TRUE(config.contains(QStringLiteral("\nrule=,,,TEXT,文字,7,,\n")));

    // The job writes its tables, then the log's last line.
    writeFile(tempFilePath(kToolsTablesName),
              QByteArray::fromStdString(qks::contract::formatTables(
                  {{"面积周长", {"文件", "序号"}, {{"/d/a.dxf", "1"}, {"/d/a.dxf", "2"}}},
                   {"图框文字", {"文件", "图框", "名称"}, {{"/d/a.dxf", "1", "QK-001"}}}})));
    writeFile(tempFilePath(kToolsLogName), "AREA a 零件 2\nDONE total=1 ok=1 fail=0\n");
    ASSERT_TRUE(waitUntil([&] { return !page.running(); }));
    EXPECT_FALSE(page.results->isHidden());
    EXPECT_FALSE(page.tableCombo->isHidden());
    EXPECT_EQ(page.tableCombo->count(), 2);
    EXPECT_EQ(page.table->rowCount(), 2);
    page.tableCombo->setCurrentIndex(1);
    ASSERT_EQ(page.table->columnCount(), 3);
    EXPECT_EQ(page.table->item(0, 2)->text(), QStringLiteral("QK-001"));

    // One table needs no selector.
    writeFile(tempFilePath(kToolsTablesName),
              QByteArray::fromStdString(qks::contract::formatTables({{"面积周长", {"文件"}, {}}})));
    page.loadTables();
    EXPECT_TRUE(page.tableCombo->isHidden());
    EXPECT_EQ(page.table->rowCount(), 0);
}

TEST_F(PageTest, LayerRulesMoveAddAndSaveOnlyUsableRows) {
    const QString ini = scratch.filePath(QStringLiteral("config/QksStudio.ini"));
    LayerRulesPage page(ini, nullptr);
    const LayerRules defaults = qks::contract::defaultLayerRules();
    QTableWidget& table = *page.ruleTable;
    ASSERT_EQ(table.rowCount(), int(defaults.size()));
    std::optional<LayerRules> announced;
    QObject::connect(&page, &LayerRulesPage::saved, [&](const LayerRules& r) { announced = r; });

    const auto rowCells = [&](int row) {
        QStringList cells;
        for (int c = 0; c < table.columnCount(); ++c)
            cells << table.item(row, c)->text();
        return cells;
    };
    const QStringList first = rowCells(0);
    table.setCurrentCell(0, 0);
    page.moveCurrent(1);
    EXPECT_EQ(rowCells(1), first);
    page.moveCurrent(-1);
    page.moveCurrent(-1);  // already first
    EXPECT_EQ(rowCells(0), first);

    // A new rule goes after the current one and must match or set something.
    page.addRule();
    EXPECT_EQ(table.rowCount(), int(defaults.size()) + 1);
    EXPECT_EQ(rowCells(1), QVector<QString>(kLayerRuleFieldCount).toList());
    page.save();
    EXPECT_TRUE(page.messageLabel->text().startsWith(QStringLiteral("[错误] 第 2 行")));
    EXPECT_FALSE(QFile::exists(ini));
    table.item(1, kMatchKind)->setText(QStringLiteral("CIRCLE"));
    table.item(1, kSetColor)->setText(QStringLiteral("2"));
    page.save();
    ASSERT_TRUE(announced);
    const LayerRules kept = loadLayerRules(ini);
    ASSERT_EQ(kept.size(), defaults.size() + 1);
    EXPECT_EQ(qks::contract::formatLayerRule(kept[1]), ",,,CIRCLE,,2,,");
    EXPECT_EQ(announced->size(), kept.size());

    page.restoreDefaults();
    EXPECT_EQ(table.rowCount(), int(defaults.size()));
}

}  // namespace

// Drawings reach the drawing window by its file dialog and by dropping files on it: the host
// is asked to open each drawing, and nothing else.
TEST_F(PageTest, DrawingWindowOpensChosenAndDroppedDrawings) {
    BridgeServer server(BridgeServer::pluginLike);
    BridgeClient bridge;
    ASSERT_TRUE(bridge.connectToBridge(kConnectWaitMs));
    DrawingPage page(&bridge, &files, nullptr);
    dialogs.files = {{QStringLiteral("/d/零件 a.dxf"), QStringLiteral("/d/notes.txt")}};
    QPushButton* open = nullptr;
    for (QPushButton* button : page.findChildren<QPushButton*>())
        if (button->text() == QStringLiteral("打开图纸")) open = button;
    ASSERT_NE(open, nullptr);
    open->click();

    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QStringLiteral("/d/b.DWG")),
                  QUrl::fromLocalFile(QStringLiteral("/d/c.pdf")),
                  QUrl(QStringLiteral("https://example.org/d.dxf"))});
    // As the desktop delivers a drop: entered first, then dropped.
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&page, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&page, &drop);
    ASSERT_TRUE(waitUntil([&] { return server.received().size() == 2; }));
    EXPECT_EQ(server.received(), QList<QByteArray>({QStringLiteral("OPEN /d/零件 a.dxf\n").toUtf8(),
                                                    QByteArrayLiteral("OPEN /d/b.DWG\n")}));
    EXPECT_EQ(page.recentDrawings().mid(0, 2),
              QStringList({QStringLiteral("/d/b.DWG"), QStringLiteral("/d/零件 a.dxf")}));
}
