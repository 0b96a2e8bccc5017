// The drawing window on a large drawing, side by side with the host's own read of it, in one
// process on one thread (the Studio's GUI thread does the same work):
//   read       the host opens the drawing (what `qkshost DRAWING` spends on it)
//   write      the host writes the window's display list (the VIEW request)
//   load       the Studio reads the list and indexes it for picking
//   first      the first paint at 1920 x 1080, the whole drawing in view
//   shown      write + load + first, against read: goal at most 1.5 times
//   zoom/pan   paints after wheel steps about the cursor and drags: goal at most 50 ms each
// and the memory held after each step (resident set).
// Usage: bench_drawing_window DRAWING [--screenshot file.png]
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QTemporaryDir>
#include <QWheelEvent>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "qks/contract/view_format.h"
#include "qks/studio/drawingindex.h"
#include "qks/studio/files.h"
#include "qks/studio/hugepages.h"
#include "qks/studio/ui/drawingpage.h"
#include "qkshost/app/drawing_services.h"
#include "qkshost/app/host_application.h"

namespace {

double residentMegabytes() {
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly)) return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toDouble() * 4096 / (1024.0 * 1024.0) : 0;
}

double paintMs(qks::studio::DrawingCanvas& canvas, QImage& image) {
    QElapsedTimer clock;
    clock.start();
    canvas.render(&image);
    return clock.nsecsElapsed() / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    // As the Studio and the host it starts run.
    qks::studio::restartWithHugePageHeap(argv);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_drawing_window DRAWING [--screenshot file.png]\n");
        return 2;
    }
    const std::string drawing = argv[1];
    const QString screenshot = argc > 3 && std::string(argv[2]) == "--screenshot"
                                   ? QString::fromLocal8Bit(argv[3])
                                   : QString();
    QTemporaryDir work;
    const std::string viewPath = (work.path() + QStringLiteral("/qks_view.bin")).toStdString();
    std::printf("%-30s %10s %10s\n", "step", "ms", "RSS MB");
    const auto row = [](const char* step, double ms) {
        std::printf("%-30s %10.1f %10.1f\n", step, ms, residentMegabytes());
    };

    QElapsedTimer clock;
    double readMs = 0, writeMs = 0;
    {
        qkshost::HostApplication host;
        std::string error;
        clock.start();
        const qks::host::DocumentId document = host.openDocument(drawing, error);
        readMs = clock.nsecsElapsed() / 1e6;
        if (!document) {
            std::fprintf(stderr, "cannot read %s: %s\n", drawing.c_str(), error.c_str());
            return 1;
        }
        row("read (host)", readMs);
        clock.restart();
        host.drawing().writeView(document, {}, viewPath, {});
        writeMs = clock.nsecsElapsed() / 1e6;
        row("write display list", writeMs);
    }
    const qint64 bytes = QFile(QString::fromStdString(viewPath)).size();

    clock.restart();
    // As the window reads it: mapped, then parsed into its tables.
    QFile file(QString::fromStdString(viewPath));
    uchar* mapped = file.open(QIODevice::ReadOnly) ? file.map(0, file.size()) : nullptr;
    const double fileMs = clock.nsecsElapsed() / 1e6;
    auto view =
        mapped == nullptr
            ? std::nullopt
            : qks::contract::readView(std::string_view(reinterpret_cast<const char*>(mapped),
                                                       static_cast<std::size_t>(file.size())));
    if (mapped != nullptr) file.unmap(mapped);
    if (!view) {
        std::fprintf(stderr, "the display list does not read back\n");
        return 1;
    }
    const double parseMs = clock.nsecsElapsed() / 1e6 - fileMs;
    auto index = std::make_shared<qks::studio::DrawingIndex>(std::move(*view));
    const double loadMs = clock.nsecsElapsed() / 1e6;
    row("  of which file opened and mapped", fileMs);
    row("  of which parse and check", parseMs);
    row("load and index (Studio)", loadMs);

    qks::studio::DrawingCanvas canvas;
    canvas.resize(1920, 1080);
    canvas.setIndex(index, false);
    canvas.zoomExtents();
    QImage image(1920, 1080, QImage::Format_RGB32);
    const double firstMs = paintMs(canvas, image);
    row("first paint, whole drawing", firstMs);
    if (!screenshot.isEmpty()) image.save(screenshot);

    // Wheel steps about a point off the centre, then drags with the middle button.
    std::vector<double> zooms, pans;
    const QPointF at(700, 400);
    for (int step = 0; step < 6; ++step) {
        QWheelEvent wheel(at, canvas.mapToGlobal(at.toPoint()), QPoint(), QPoint(0, 120),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&canvas, &wheel);
        zooms.push_back(paintMs(canvas, image));
    }
    for (int step = 0; step < 6; ++step) {
        QWheelEvent wheel(at, canvas.mapToGlobal(at.toPoint()), QPoint(), QPoint(0, -120),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&canvas, &wheel);
    }
    QMouseEvent press(QEvent::MouseButtonPress, at, Qt::MiddleButton, Qt::MiddleButton,
                      Qt::NoModifier);
    QApplication::sendEvent(&canvas, &press);
    for (int step = 1; step <= 6; ++step) {
        QMouseEvent move(QEvent::MouseMove, at + QPointF(40.0 * step, 25.0 * step), Qt::NoButton,
                         Qt::MiddleButton, Qt::NoModifier);
        QApplication::sendEvent(&canvas, &move);
        pans.push_back(paintMs(canvas, image));
    }
    QMouseEvent release(QEvent::MouseButtonRelease, at, Qt::MiddleButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(&canvas, &release);
    const double zoomWorst = *std::max_element(zooms.begin(), zooms.end());
    const double panWorst = *std::max_element(pans.begin(), pans.end());
    row("zoom paint, worst of 6", zoomWorst);
    row("pan paint (whole view), worst of 6", panWorst);

    const double shown = writeMs + loadMs + firstMs;
    std::printf("\nentities %d, display list %.1f MB\n", index->entityCount(), bytes / 1048576.0);
    std::printf("shown %.0f ms = %.2f x the host's read (goal <= 1.5)\n", shown, shown / readMs);
    std::printf("zoom %.1f ms, pan %.1f ms at 1920 x 1080 (goal <= 50)\n", zoomWorst, panWorst);
    return 0;
}
