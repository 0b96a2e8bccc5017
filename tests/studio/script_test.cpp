// The script that drives the program in end-to-end runs.
#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTimer>

#include "qks/studio/files.h"
#include "qks/studio/ui/mainwindow.h"
#include "qks/studio/ui/plotpage.h"
#include "script.h"
#include "test_support.h"
#include "window_access.h"

using namespace qks::studio;
using qks::studio::test::BridgeServer;
using qks::studio::test::readFile;
using qks::studio::test::waitUntil;
using qks::studio::test::writeFile;

namespace {

int runScript(MainWindow& window, const QStringList& lines) {
    StudioScript script(window, lines);
    int code = -1;
    QObject::connect(&script, &StudioScript::finished, [&code](int c) { code = c; });
    script.start();
    waitUntil([&] { return code != -1; }, 10000);
    return code;
}

TEST(Script, DrivesAPlotJobToItsEnd) {
    BridgeServer server(BridgeServer::pluginLike);
    MainWindow window;
    const WindowAccess ui(window);
    window.show();
    QTemporaryDir out;
    // Plays the plug-in: once the job is submitted, its log reports the end.
    QTimer plugin;
    QObject::connect(&plugin, &QTimer::timeout, [&] {
        if (ui.plotPage->running() && readFile(tempFilePath(kPlotFilesLogName)).isEmpty())
            writeFile(tempFilePath(kPlotFilesLogName), "QKS 批量出图\r\nDONE 2 成功\r\n");
    });
    plugin.start(50);

    const QString logCopy = out.filePath(QStringLiteral("log.txt"));
    const QString shot = out.filePath(QStringLiteral("shot.png"));
    const int code = runScript(
        window,
        {QStringLiteral("# plot two drawings"), QStringLiteral("until chip 4.4.0 3000"),
         QStringLiteral("page 0"), QStringLiteral("set plot.target files"),
         QStringLiteral("files /d/a.dxf;/d/b.DWG;/d/c.pdf"), QStringLiteral("click 添加文件"),
         QStringLiteral("set plot.outDir ") + out.path(), QStringLiteral("set plot.prefix P 1"),
         QStringLiteral("set plot.style 灰度 grayscale.ctb"), QStringLiteral("click 开始出图"),
         QStringLiteral("until plot.status 出图完成 5000"),
         QStringLiteral("savelog plot.log ") + logCopy, QStringLiteral("shot ") + shot,
         QStringLiteral("quit 5")});
    EXPECT_EQ(code, 5);
    const QByteArray config = readFile(tempFilePath(kPlotFilesConfigName));
    EXPECT_TRUE(config.contains("\nprefix=P 1\nstyle=grayscale.ctb\n")) << config.toStdString();
    EXPECT_TRUE(config.endsWith("file=/d/a.dxf\nfile=/d/b.DWG\n"));
    EXPECT_TRUE(readFile(logCopy).endsWith("QKS 批量出图\nDONE 2 成功"));
    EXPECT_FALSE(QImage(shot).isNull());
    EXPECT_EQ(server.received().last().left(10), QByteArray("PLOTFILES "));
}

TEST(Script, ErrorsAndTimeOutsEndWithTheirCodes) {
    MainWindow window;
    const WindowAccess ui(window);
    const struct {
        QStringList lines;
        int code;
    } cases[] = {
        {{QStringLiteral("bogus")}, 2},
        {{QStringLiteral("page 9")}, 2},
        {{QStringLiteral("set nest.nothing 1")}, 2},
        {{QStringLiteral("set plot.scope nowhere")}, 2},
        {{QStringLiteral("click 不存在的按钮")}, 2},
        {{QStringLiteral("until footer 永远不会出现 100")}, 3},
        {{QStringLiteral("set nest.gap 7.5"), QStringLiteral("set nest.pdf 1"), QStringLiteral("")},
         0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(runScript(window, c.lines), c.code) << c.lines.first().toStdString();
    StudioScript script(window, {});
    EXPECT_EQ(fieldText(script.field(QStringLiteral("nest.gap"))), QStringLiteral("7.5 mm"));
    EXPECT_EQ(fieldText(script.field(QStringLiteral("nest.pdf"))), QStringLiteral("1"));
}

}  // namespace
