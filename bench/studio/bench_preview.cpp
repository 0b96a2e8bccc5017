// Nest preview redraw: a progress file of 5 sheets and 2,000 placements (400 per sheet) over
// 40 part kinds is loaded by the nest page and the shown sheet is painted. Goal: < 100 ms.
// Usage: bench_studio_preview [--screenshot file.png]
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGraphicsView>
#include <QPixmap>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "qks/studio/files.h"
#include "qks/studio/ui/look.h"
#include "qks/studio/ui/nestpage.h"
#include "qks/studio/ui/nestpreview.h"

namespace {

constexpr int kKinds = 40;
constexpr int kSheets = 5;
constexpr int kPerSheet = 400;

// Part kinds with 48-point outlines (a rounded plate) and a round hole.
QByteArray partsText() {
    QByteArray text = "# QKS-PARTS 2\n";
    for (int id = 1; id <= kKinds; ++id) {
        const double w = 60 + (id * 37) % 140;
        const double h = 40 + (id * 53) % 90;
        text += QStringLiteral("P\t%1\t50\t%2\t0\t0\t%3\t%4\tCURRENT\t\t零件%1\n")
                    .arg(id)
                    .arg(w * h)
                    .arg(w)
                    .arg(h)
                    .toUtf8();
        QStringList outline, hole;
        for (int i = 0; i < 48; ++i) {
            const double a = 2 * M_PI * i / 48;
            const double x =
                w / 2 + (w / 2) * std::copysign(std::pow(std::abs(std::cos(a)), 0.3), std::cos(a));
            const double y =
                h / 2 + (h / 2) * std::copysign(std::pow(std::abs(std::sin(a)), 0.3), std::sin(a));
            outline << QStringLiteral("%1,%2").arg(x, 0, 'f', 3).arg(y, 0, 'f', 3);
            hole << QStringLiteral("%1,%2")
                        .arg(w / 2 + 8 * std::cos(a), 0, 'f', 3)
                        .arg(h / 2 + 8 * std::sin(a), 0, 'f', 3);
        }
        text += QStringLiteral("O\t%1\t%2\n").arg(id).arg(outline.join(QLatin1Char(';'))).toUtf8();
        text += QStringLiteral("H\t%1\t%2\n").arg(id).arg(hole.join(QLatin1Char(';'))).toUtf8();
    }
    return text;
}

QByteArray progressText(double elapsed) {
    QByteArray text = "CFG\t10.000\t2.000\t4.000\n";
    for (int s = 0; s < kSheets; ++s) {
        text += "SHEET\t3000.000\t1500.000\n";
        for (int i = 0; i < kPerSheet; ++i) {
            const int id = 1 + (i * 7 + s) % kKinds;
            text += QStringLiteral("PLACE\t%1\t%2\t%3\t%4\t%5\n")
                        .arg(id)
                        .arg((i * 90) % 360)
                        .arg(i % 2)
                        .arg((i % 20) * 72)
                        .arg((i / 20) * 36)
                        .toUtf8();
        }
    }
    text += QStringLiteral("UTIL\t71.25\nUNPLACED\t0\nELAPSED\t%1\nSTATE\trunning\n")
                .arg(elapsed, 0, 'f', 2)
                .toUtf8();
    return text;
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::exit(1);
    }
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    char pattern[] = "/tmp/qks-studio-bench-XXXXXX";
    const char* scratch = ::mkdtemp(pattern);
    if (!scratch) return 1;
    ::setenv("TMPDIR", scratch, 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    qks::studio::applyStudioLook(app);
    QString screenshot;
    for (int i = 1; i + 1 < argc; ++i) {
        if (QString::fromLocal8Bit(argv[i]) == QLatin1String("--screenshot"))
            screenshot = QString::fromLocal8Bit(argv[i + 1]);
    }

    using qks::studio::tempFilePath;
    writeFile(tempFilePath(qks::studio::kNestPartsName), partsText());
    qks::studio::NestPage page(nullptr, nullptr, nullptr);
    for (QTimer* timer : page.findChildren<QTimer*>())
        timer->stop();  // the benchmark drives every reload itself
    page.resize(1120, 900);
    page.show();
    QApplication::processEvents();

    const QString progressPath = tempFilePath(qks::studio::kNestProgressName);
    std::vector<double> loadMs, paintMs, totalMs;
    for (int round = 0; round < 30; ++round) {
        writeFile(progressPath, progressText(round * 0.3));
        QElapsedTimer clock;
        clock.start();
        page.loadProgressFile();
        const double loaded = clock.nsecsElapsed() / 1e6;
        page.preview().view()->viewport()->grab();  // paints the whole shown sheet
        const double total = clock.nsecsElapsed() / 1e6;
        loadMs.push_back(loaded);
        paintMs.push_back(total - loaded);
        totalMs.push_back(total);
    }
    std::vector<double> switchMs;
    for (int s = 0; s < kSheets * 4; ++s) {
        QElapsedTimer clock;
        clock.start();
        page.preview().showSheet(s % kSheets);
        page.preview().view()->viewport()->grab();
        switchMs.push_back(clock.nsecsElapsed() / 1e6);
    }
    std::printf("progress file: %d sheets, %d placements, %d part kinds, %lld bytes\n", kSheets,
                kSheets * kPerSheet, kKinds, static_cast<long long>(QFile(progressPath).size()));
    std::printf("read+parse+scene  median %.1f ms  max %.1f ms\n", median(loadMs),
                *std::max_element(loadMs.begin(), loadMs.end()));
    std::printf("paint view        median %.1f ms  max %.1f ms\n", median(paintMs),
                *std::max_element(paintMs.begin(), paintMs.end()));
    std::printf("redraw total      median %.1f ms  max %.1f ms  (goal < 100 ms)\n", median(totalMs),
                *std::max_element(totalMs.begin(), totalMs.end()));
    std::printf("switch sheet      median %.1f ms  max %.1f ms\n", median(switchMs),
                *std::max_element(switchMs.begin(), switchMs.end()));
    if (!screenshot.isEmpty()) page.grab().save(screenshot, "PNG");
    QDir(QString::fromLocal8Bit(scratch)).removeRecursively();
    return median(totalMs) < 100 ? 0 : 2;
}
