// Helpers for the PDF suites: a fresh temporary folder, running the poppler checkers, and
// reading the images pdftoppm makes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "qks/testing/temp_dir.h"
#include "qkshost/pdf/plot_style.h"

namespace qkshost::pdf::testing {

using qks::testing::TempDir;

// Runs a shell command; returns its exit status and fills `out` with its standard output.
int run(const std::string& command, std::string& out);
std::string quote(const std::string& text);
std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);

// qpdf's structural check (cross-reference table, object syntax, stream encodings): empty when
// the file passes without a warning, otherwise what qpdf reported.
std::string qpdfProblems(const std::string& pdf);

// The value of one "Key: value" line of pdfinfo, empty if absent.
std::string pdfinfoField(const std::string& pdf, const std::string& key);
// Page size in points from pdfinfo ("Page size: 1190.55 x 841.89 pts ...").
bool pdfPageSize(const std::string& pdf, double& width, double& height);

// An RGB image rasterised by pdftoppm at `dpi` (first page).
struct Image {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;  // RGB, rows top to bottom
    Rgb at(int x, int y) const;
    bool isInk(int x, int y) const;  // clearly not white paper
};
bool rasterise(const std::string& pdf, int dpi, Image& image);

// Bounding box (pixels, y down) of every pixel for which `select` holds; false when none.
struct PixelBox {
    int minX = 0, minY = 0, maxX = -1, maxY = -1;
};
template <class Select>
bool findPixels(const Image& image, Select select, PixelBox& box) {
    bool any = false;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            if (select(image.at(x, y))) {
                if (!any) box = {x, y, x, y};
                box.minX = std::min(box.minX, x);
                box.minY = std::min(box.minY, y);
                box.maxX = std::max(box.maxX, x);
                box.maxY = std::max(box.maxY, y);
                any = true;
            }
    return any;
}

}  // namespace qkshost::pdf::testing
