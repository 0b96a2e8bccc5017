// Screenshots of the six pages and of a running nest preview, kept in the test's build
// folder (screenshots/*.png) for a person to look at; the checks here catch the gross
// faults: unstyled window, missing accent, Chinese text without a font that has it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFontMetrics>
#include <QGraphicsView>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <cmath>

#include "qks/studio/files.h"
#include "qks/studio/ui/look.h"
#include "qks/studio/ui/mainwindow.h"
#include "qks/studio/ui/nestpage.h"
#include "qks/studio/ui/nestpreview.h"
#include "test_support.h"
#include "window_access.h"

using namespace qks::studio;
using qks::studio::test::BridgeServer;
using qks::studio::test::waitUntil;
using qks::studio::test::writeFile;

namespace {

QString points(const QVector<QPointF>& contour) {
    QStringList out;
    for (const QPointF& p : contour)
        out << QStringLiteral("%1,%2").arg(p.x(), 0, 'f', 3).arg(p.y(), 0, 'f', 3);
    return out.join(QLatin1Char(';'));
}

QVector<QPointF> circle(double cx, double cy, double r, int n) {
    QVector<QPointF> out;
    for (int i = 0; i < n; ++i)
        out << QPointF(cx + r * std::cos(2 * M_PI * i / n), cy + r * std::sin(2 * M_PI * i / n));
    return out;
}

// Four part kinds: a plate with two holes, an angle, a flange, a gusset.
QByteArray demoParts() {
    QByteArray text = "# QKS-PARTS 2\n";
    const auto add = [&](int id, const char* name, int qty, QSizeF size,
                         const QVector<QPointF>& outline, const QVector<QVector<QPointF>>& holes) {
        text += QStringLiteral("P\t%1\t%2\t%3\t0\t0\t%4\t%5\tCURRENT\t1A\t%6\n")
                    .arg(id)
                    .arg(qty)
                    .arg(size.width() * size.height())
                    .arg(size.width())
                    .arg(size.height())
                    .arg(QString::fromUtf8(name))
                    .toUtf8();
        text += QStringLiteral("O\t%1\t%2\n").arg(id).arg(points(outline)).toUtf8();
        for (const auto& hole : holes)
            text += QStringLiteral("H\t%1\t%2\n").arg(id).arg(points(hole)).toUtf8();
    };
    add(1, "底板", 4, {600, 400}, {{0, 0}, {600, 0}, {600, 400}, {0, 400}},
        {circle(100, 200, 40, 24), circle(500, 200, 40, 24)});
    add(2, "角码", 6, {500, 450}, {{0, 0}, {500, 0}, {500, 150}, {150, 150}, {150, 450}, {0, 450}},
        {});
    add(3, "法兰", 5, {300, 300}, circle(150, 150, 150, 48), {circle(150, 150, 50, 24)});
    add(4, "筋板", 4, {700, 350}, {{0, 0}, {700, 0}, {0, 350}}, {});
    return text;
}

QByteArray demoProgress() {
    // Positions in 2 mm cells beyond the 10 mm margin and 4 mm pad.
    const int place[][5] = {{1, 0, 0, 0, 0},       {1, 0, 0, 305, 0},  {1, 0, 0, 610, 0},
                            {1, 90, 0, 915, 0},    {2, 0, 0, 0, 205},  {2, 0, 1, 260, 205},
                            {2, 180, 0, 510, 205}, {3, 0, 0, 1120, 0}, {3, 0, 0, 1120, 155},
                            {3, 0, 0, 1120, 310},  {4, 0, 0, 0, 440},  {4, 180, 0, 5, 445},
                            {4, 0, 1, 720, 440},   {2, 90, 0, 1280, 0}};
    QByteArray text = "CFG\t10.000\t2.000\t4.000\nSHEET\t3000.000\t1500.000\n";
    for (const auto& p : place)
        text += QStringLiteral("PLACE\t%1\t%2\t%3\t%4\t%5\n")
                    .arg(p[0])
                    .arg(p[1])
                    .arg(p[2])
                    .arg(p[3])
                    .arg(p[4])
                    .toUtf8();
    text += "SHEET\t2500.000\t1250.000\nPLACE\t1\t0\t0\t0\t0\nPLACE\t3\t0\t0\t310\t0\n";
    text += "UTIL\t61.37\nUNPLACED\t1\nELAPSED\t7.35\nSTATE\trunning\n";
    return text;
}

int countNear(const QImage& image, QColor colour, int tolerance) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (std::abs(c.red() - colour.red()) <= tolerance &&
                std::abs(c.green() - colour.green()) <= tolerance &&
                std::abs(c.blue() - colour.blue()) <= tolerance)
                ++count;
        }
    }
    return count;
}

QImage shoot(QWidget* widget, const QString& name) {
    QCoreApplication::processEvents();
    const QImage image = widget->grab().toImage();
    QDir().mkpath(QStringLiteral("screenshots"));
    EXPECT_TRUE(image.save(QStringLiteral("screenshots/") + name, "PNG")) << name.toStdString();
    return image;
}

TEST(Screenshots, SixPagesAndARunningNestPreview) {
    ASSERT_TRUE(applyStudioLook(*qobject_cast<QApplication*>(QCoreApplication::instance())));
    writeFile(tempFilePath(kNestPartsName), demoParts());
    BridgeServer server(BridgeServer::pluginLike);

    MainWindow window;

    const WindowAccess ui(window);
    window.show();
    ASSERT_TRUE(waitUntil([&] { return ui.connectButton->text() == QStringLiteral("重新连接"); }));

    // Chinese text needs a font that holds its glyphs (fontconfig's stand-in for YaHei).
    const QFontMetrics metrics(ui.navButtons[0]->font());
    for (char32_t glyph : {U'批', U'量', U'套', U'料', U'连', U'接'})
        EXPECT_TRUE(metrics.inFontUcs4(glyph));

    const QColor amber(QStringLiteral("#f0a32a"));
    const QColor sidebar(QStringLiteral("#12161b"));
    for (int page = 0; page < 6; ++page) {
        ui.navButtons[page]->click();
        const QImage image = shoot(&window, QStringLiteral("page-%1.png").arg(page + 1));
        EXPECT_EQ(image.size(), window.size());
        EXPECT_EQ(image.pixelColor(4, image.height() / 2), sidebar) << page;
        EXPECT_GT(countNear(image, amber, 12), 400) << page;  // checked nav entry, buttons, badges
    }

    // Start a nest job, then let the plug-in's files arrive.
    NestPage* nest = ui.nestPage;
    ui.navButtons[2]->click();
    nest->start();
    ASSERT_TRUE(waitUntil([&] { return nest->running(); }));
    writeFile(tempFilePath(kNestProgressName), demoProgress());
    writeFile(
        tempFilePath(kNestLogName),
        "QKNEST 开始 source=picked\nNEST 读取零件 4 种 19 件\nNEST 首版 2 张板 利用率 55.10%\n"
        "NEST 改进 利用率 61.37%\n");
    nest->poll();
    EXPECT_EQ(nest->stateText(), QStringLiteral("优化中"));
    const QImage preview = shoot(&window, QStringLiteral("nest-preview.png"));
    shoot(nest->preview().view(), QStringLiteral("nest-preview-view.png"));
    // Part fill: #2563eb at alpha 46 over the white sheet.
    EXPECT_GT(countNear(preview, QColor(214, 225, 251), 8), 3000);
}

}  // namespace
