// How long the drawing window's 调整 takes to answer a pointer move, on the bundled cover job:
// 12 covers of 910 x 350 with 101 holes and slots (5,572 edges each) on one 3000 x 1500 sheet,
// gap 5, margin 10, cells of 2. Each case drags one cover to a point and asks where it would
// go, as the window does on every mouse move; the model judges each candidate position with the
// exact check the plug-in applies on saving.
//
//   bench_nest_adjust [PARTS_FILE]   (default: the bundled cover job's parts)

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "qks/contract/parts_format.h"
#include "qks/studio/nestadjust.h"

#ifndef QKS_BENCH_COVER_PARTS
#define QKS_BENCH_COVER_PARTS "bench/nest/jobs/cover_parts.txt"
#endif

namespace {

using qks::contract::LayoutPlacement;
using qks::contract::NestLayout;
using Clock = std::chrono::steady_clock;

std::int32_t toInt(std::string_view field) {
    return static_cast<std::int32_t>(std::strtol(std::string(field).c_str(), nullptr, 10));
}

double toDouble(std::string_view field) {
    return std::strtod(std::string(field).c_str(), nullptr);
}

// The covers three across and four up, a gap and two cells apart.
NestLayout coverLayout(const qks::contract::PartRecord& cover) {
    NestLayout layout;
    layout.settings.gap = 5;
    layout.settings.margin = 10;
    layout.settings.cell = 2;
    layout.settings.gridOrigin = 10 + 4;  // the margin and the gap's pad of two cells
    layout.parts = {cover};
    layout.parts.front().quantity = 12;
    layout.turns = {{cover.id, {0, 90, 180, 270}, true}};
    qks::contract::LayoutSheet sheet{0, 3000, 1500, {}, {}};
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 3; ++column) {
            LayoutPlacement at;
            at.partId = cover.id;
            at.x = layout.settings.gridOrigin + column * (cover.width + 10);
            at.y = layout.settings.gridOrigin + row * (cover.height + 10);
            sheet.placements.push_back(at);
        }
    layout.sheets = {sheet};
    return layout;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string path = argc > 1 ? argv[1] : QKS_BENCH_COVER_PARTS;
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    qks::contract::PartsReadOptions options;
    options.rules.toInt = toInt;
    options.rules.toDouble = toDouble;
    const auto parts = qks::contract::readParts(text.str(), options);
    if (parts.empty()) {
        std::fprintf(stderr, "no parts in %s\n", path.c_str());
        return 1;
    }
    const qks::contract::PartRecord& cover = parts.front();
    std::size_t edges = cover.outline.size();
    for (const auto& hole : cover.holes)
        edges += hole.size();
    std::printf("%s: %zu edges; 12 on a 3000 x 1500 sheet\n\n", cover.name.c_str(), edges);

    const NestLayout layout = coverLayout(cover);
    const qks::studio::PartRef dragged{0, 0};  // the lower-left cover
    const LayoutPlacement& at = layout.sheets[0].placements[0];
    const double grabX = at.x + 100, grabY = at.y + 100;
    struct Case {
        const char* what;
        double x, y;  // where the grab point is dragged to
    };
    const double w = cover.width + 10, h = cover.height + 10;
    const Case cases[] = {
        {"in place (fits at once)", grabX, grabY},
        {"within 2 of its neighbour (fits two cells back)", grabX + 8, grabY},
        {"onto the middle of another cover (nothing fits)", grabX + w + 200, grabY + h},
        {"past the sheet's top edge (nothing fits)", grabX + 40, grabY + 4 * h + 20},
    };
    std::printf("| case | fits | ms per move |\n|---|---|--:|\n");
    for (const Case& c : cases) {
        qks::studio::NestAdjustModel model(layout);
        model.select(dragged);
        model.beginDrag(grabX, grabY);
        const int moves = 5;
        bool fits = false;
        const Clock::time_point t0 = Clock::now();
        for (int i = 0; i < moves; ++i) {
            const auto preview = model.dragTo(c.x, c.y);
            fits = preview && preview->fits;
        }
        const double ms =
            std::chrono::duration<double, std::milli>(Clock::now() - t0).count() / moves;
        std::printf("| %s | %s | %.1f |\n", c.what, fits ? "yes" : "no", ms);
    }
    return 0;
}
