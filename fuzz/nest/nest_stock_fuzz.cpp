// Stock pieces from any outlines (read as a parts file, as the stock drawing's extraction hands
// them on): the sheet grid of a piece is built without trouble, and every cell it leaves free
// has its centre inside the outline and outside every defect.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "qks/nest/geometry.h"
#include "qks/nest/parts_file.h"
#include "qks/nest/placement.h"
#include "qks/nest/stock.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qks::nest;
    const std::vector<NestPart> parts =
        parsePartsText(std::string_view(reinterpret_cast<const char*>(data), size));
    int pieces = 0;
    for (const NestPart& p : parts) {
        // Pieces of modest size only: a huge one measures the fuzzer's patience, not the code.
        // Sized by the points themselves: the record's width and height are only what it says.
        double lowX = 1e300, lowY = 1e300, highX = -1e300, highY = -1e300;
        for (const Point& q : p.outline) {
            lowX = std::fmin(lowX, q.x);
            lowY = std::fmin(lowY, q.y);
            highX = std::fmax(highX, q.x);
            highY = std::fmax(highY, q.y);
        }
        if (pieces >= 3 || p.outline.size() > 500 || !(highX - lowX < 2000 && highY - lowY < 2000))
            continue;
        const SheetStock stock = stockPiece(p.outline, p.holes, 3.0);
        const double margin = 5.0, cell = 4.0;
        const SheetLayout sheet = openSheet(0, stock, margin, cell);
        if (!sheet.mask || sheet.occupancy.size() != sheet.mask->bits.size()) std::abort();
        for (std::int32_t r = 0; r < sheet.rows; ++r)
            for (std::int32_t c = 0; c < sheet.columns; ++c) {
                const std::uint64_t word =
                    sheet.occupancy[static_cast<std::size_t>(r) * sheet.wordsPerRow + c / 64];
                if ((word >> (c % 64)) & 1) continue;
                const double x = margin + (c + 0.5) * cell, y = margin + (r + 0.5) * cell;
                if (!pointInPolygon(stock.shape->outline, x, y)) std::abort();
                for (const Outline& defect : stock.shape->defects)
                    if (pointInPolygon(defect, x, y)) std::abort();
            }
        ++pieces;
    }
    return 0;
}
