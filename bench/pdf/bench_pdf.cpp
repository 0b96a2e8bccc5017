// Plots a busy sheet (12,000 entities: lines, circles, arcs, bulged polylines, fills and texts,
// a tenth of them Chinese), a sheet of 12,000 texts and a small drawing sheet with frame and
// title block, several times, and prints the time per page and the file sizes.
//
//   bench_pdf [output-folder] [repeats]
// The PDFs stay in the output folder (default: the current folder) for inspection.
#include <sys/stat.h>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "qkshost/pdf/pdf_engine.h"

using namespace qkshost::pdf;

namespace {

std::vector<PolylineVertex> rect(double x0, double y0, double x1, double y1) {
    return {{{x0, y0}}, {{x1, y0}}, {{x1, y1}}, {{x0, y1}}};
}

TextPrimitive text(const std::string& s, double x, double y, double h,
                   const char* font = "SimSun") {
    TextPrimitive t;
    t.text = s;
    t.position = {x, y};
    t.height = h;
    t.fontFamily = font;
    return t;
}

DisplayList busySheet() {
    DisplayList list;
    list.reserve(12000);
    for (int i = 0; i < 12000; ++i) {
        const double x = (i % 120) * 10.0, y = (i / 120) * 8.0;
        const Pen pen{PlotColour::aci(1 + i % 7), (i % 3) * 0.18};
        switch (i % 6) {
            case 0:
                list.add(pen, LinePrimitive{{x, y}, {x + 8, y + 6}});
                break;
            case 1:
                list.add(pen, CirclePrimitive{{x + 4, y + 4}, 3});
                break;
            case 2:
                list.add(pen, ArcPrimitive{{x + 4, y + 4}, 3, 0.3, 2.5});
                break;
            case 3:
                list.add(pen,
                         PolylinePrimitive{{{{x, y}, 0.4}, {{x + 8, y}}, {{x + 8, y + 6}}}, true});
                break;
            case 4:
                list.add(pen, text(i % 12 == 4 ? "件" + std::to_string(i) : "P" + std::to_string(i),
                                   x, y, 2.5));
                break;
            default:
                list.add(pen, FillPrimitive{{rect(x, y, x + 3, y + 3)}});
                break;
        }
    }
    return list;
}

// A parts list gone wild: 12,000 texts, every third one Chinese.
DisplayList textSheet() {
    DisplayList list;
    list.reserve(12000);
    for (int i = 0; i < 12000; ++i) {
        const double x = (i % 60) * 20.0, y = (i / 60) * 4.0;
        list.add({PlotColour::aci(7)},
                 text(i % 3 ? "A-" + std::to_string(i) : "零件" + std::to_string(i), x, y, 2.5));
    }
    return list;
}

// An A3 drawing sheet: frame, title block, parts with holes, a wide polyline, a viewport clip.
DisplayList drawingSheet() {
    DisplayList list;
    const Pen thick{PlotColour::aci(7), 0.5}, thin{PlotColour::aci(7), 0.18};
    list.add(thin, PolylinePrimitive{rect(0, 0, 420, 297), true});
    list.add(thick, PolylinePrimitive{rect(25, 5, 415, 292), true});
    list.add(thick, PolylinePrimitive{rect(235, 5, 415, 45), true});
    for (double x : {275.0, 335.0, 375.0})
        list.add(thin, LinePrimitive{{x, 5}, {x, 45}});
    list.add(thin, LinePrimitive{{235, 25}, {415, 25}});
    list.add(thin, text("图名", 240, 30, 5));
    list.add(thin, text("机箱侧板", 280, 30, 7, "Microsoft YaHei UI"));
    list.add(thin, text("图号", 240, 10, 5));
    list.add(thin, text("QKS-A3-001", 280, 10, 5, "Arial"));
    TextPrimitive scale = text("比例 1:2", 395, 35, 4);
    scale.hAlign = TextHAlign::Center;
    scale.vAlign = TextVAlign::Middle;
    list.add(thin, scale);
    // A part: outline with a rounded corner, two holes, hatched solid with even-odd holes.
    std::vector<PolylineVertex> outline = {
        {{60, 80}}, {{200, 80}, 0.41421356}, {{220, 100}}, {{220, 200}}, {{60, 200}}};
    list.add({PlotColour::aci(3), 0.35}, PolylinePrimitive{outline, true});
    list.add({PlotColour::aci(1), 0.25}, CirclePrimitive{{100, 140}, 15});
    list.add({PlotColour::aci(1), 0.25}, EllipsePrimitive{{170, 150}, {25, 10}, 0.5});
    FillPrimitive hatch;
    hatch.loops.push_back(rect(240, 80, 320, 160));
    hatch.loops.push_back({{{280, 100}, 1.0}, {{280, 140}, 1.0}});
    list.add({PlotColour::aci(5)}, hatch);
    list.add({PlotColour::aci(6)},
             PolylinePrimitive{
                 {{{250, 200}, 0, 0, 6}, {{300, 230}, -0.5, 6, 6}, {{350, 200}, 0, 6, 0}}, false});
    list.add({PlotColour::aci(2), 0.7}, ArcPrimitive{{380, 150}, 25, 0, 3.0});
    TextPrimitive rotated = text("旋转文字 30°", 340, 80, 6);
    rotated.rotation = M_PI / 6;
    rotated.widthFactor = 0.8;
    rotated.oblique = 0.26;
    list.add({PlotColour::aci(4)}, rotated);
    // A viewport: its contents stop at the clip.
    list.pushClip({40, 215, 180, 280});
    list.add(thin, PolylinePrimitive{rect(40, 215, 180, 280), true});
    for (int i = 0; i < 20; ++i)
        list.add({PlotColour::aci(10 + i * 10)}, CirclePrimitive{{110, 247}, 5.0 + i * 5});
    list.popClip();
    list.add(thin, text("板1  1000 x 500  利用率 78.5%  件数 12", 30, 287, 5));
    // The same small part placed twice as a block: as drawn, and mirrored and turned a quarter.
    for (int mirrored = 0; mirrored < 2; ++mirrored) {
        list.pushTransform(Affine2::placement({mirrored ? 230.0 : 200.0, 20},
                                              mirrored ? M_PI / 2 : 0, mirrored ? -1 : 1, 1));
        list.add({PlotColour::aci(3), 0.35},
                 PolylinePrimitive{{{{0, 0}}, {{20, 0}, 0.5}, {{20, 10}}, {{0, 10}}}, true});
        list.add({PlotColour::aci(2)}, text("件7", 2, 2, 4));
        list.popTransform();
    }
    return list;
}

double plotMs(PdfPlotEngine& engine, const PlotSettings& s, const DisplayList& list,
              const std::string& path, int repeats) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < repeats; ++i) {
        const PlotResult r = engine.plotToFile(s, list, path);
        if (!r.ok()) {
            std::fprintf(stderr, "plot failed: %s\n", r.message.c_str());
            std::exit(1);
        }
    }
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
               .count() /
           repeats;
}

long fileSize(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string folder = argc > 1 ? argv[1] : ".";
    const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    PdfPlotEngine engine;

    PlotSettings busy;
    PlotSettingsValidator::setPlotConfiguration(busy, "DWG To PDF.pc3",
                                                "ISO_A1_(841.00_x_594.00_MM)");
    PlotSettingsValidator::setStyleSheet(busy, "monochrome.ctb");
    const DisplayList sheet = busySheet();
    const std::string busyPath = folder + "/bench_busy_12000.pdf";
    const double busyMs = plotMs(engine, busy, sheet, busyPath, repeats);
    std::printf("busy sheet: %zu entities, %.1f ms per page, %ld bytes\n", sheet.size(), busyMs,
                fileSize(busyPath));

    const DisplayList texts = textSheet();
    const std::string textPath = folder + "/bench_texts_12000.pdf";
    const double textMs = plotMs(engine, busy, texts, textPath, repeats);
    std::printf("text sheet: %zu texts, %.1f ms per page, %ld bytes\n", texts.size(), textMs,
                fileSize(textPath));

    PlotSettings a3;
    PlotSettingsValidator::setPlotConfiguration(a3, "DWG To PDF.pc3",
                                                "ISO_A3_(420.00_x_297.00_MM)");
    PlotSettingsValidator::setPlotType(a3, PlotType::Window);
    PlotSettingsValidator::setPlotWindow(a3, {0, 0, 420, 297});
    const DisplayList drawing = drawingSheet();
    const std::string drawingPath = folder + "/bench_drawing_a3.pdf";
    const double drawingMs = plotMs(engine, a3, drawing, drawingPath, repeats);
    std::printf("drawing sheet: %zu entities, %.1f ms per page, %ld bytes\n", drawing.size(),
                drawingMs, fileSize(drawingPath));
    return 0;
}
