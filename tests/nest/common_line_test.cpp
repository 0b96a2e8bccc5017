// The common-line pass on layouts of the bundled bench jobs: the saving and every part's slide
// are pinned to what the pass gave when it still compared every edge with every edge, so a
// faster pass shares exactly the same stretches.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "qks/nest/common_line.h"
#include "qks/nest/config.h"
#include "qks/nest/config_file.h"
#include "qks/nest/parts_file.h"
#include "qks/nest/progress.h"
#include "qks/nest/session.h"

namespace qks::nest {
namespace {

const std::string kJobs = std::string(QKS_TEST_SOURCE_DIR) + "/bench/nest/jobs/";
const std::string kLayouts = std::string(QKS_TEST_SOURCE_DIR) + "/tests/fixtures/nest/layouts/";

// A part's slide: sheet, position in the sheet's placement list, shift (mm).
struct Slide {
    std::size_t sheet;
    std::size_t placement;
    double dx;
    double dy;
};

// The job's parts as the nest job takes them, and the layout a progress file holds.
bool loadLayout(const std::string& job, const std::string& layoutFile, NestConfig& config,
                std::vector<NestPart>& parts, Layout& layout) {
    std::string message;
    if (!readNestConfig(kJobs + job + ".cfg", config, message) ||
        !readPartsFile(kJobs + job + "_parts.txt", parts, &message)) {
        ADD_FAILURE() << job << ": " << message;
        return false;
    }
    applyPartCounts(config, parts);
    removeUnwantedKinds(parts);
    std::ifstream in(kLayouts + layoutFile);
    std::stringstream text;
    text << in.rdbuf();
    const ProgressFile file = parseProgressText(text.str());
    for (const ProgressSheet& from : file.sheets) {
        SheetLayout& sheet = layout.emplace_back();
        sheet.width = from.width;
        sheet.height = from.height;
        for (std::size_t s = 0; s < config.sheets.size(); ++s)
            if (config.sheets[s].width == from.width && config.sheets[s].height == from.height)
                sheet.stockIndex = static_cast<std::int32_t>(s);
        for (Placement p : from.placements) {
            for (std::size_t k = 0; k < parts.size(); ++k)
                if (parts[k].id == p.partId) p.partIndex = static_cast<std::int32_t>(k);
            sheet.placements.push_back(p);
        }
    }
    return !layout.empty();
}

TEST(CommonLine, SharesTheSameStretchesAsTheEdgeByEdgePass) {
    struct Row {
        const char* job;
        const char* layout;         // written by qksnest: seed 1, 200 steps, one thread
        double saved;               // mm
        std::vector<Slide> slides;  // every part that moved
    };
    const std::vector<Row> rows = {
        {"small",
         "small-dense.progress",
         2782.883843753,
         {{0, 0, -36.558, 0},
          {0, 1, -31.526, 0},
          {0, 3, -20.286, 0},
          {0, 4, -13.357, 0},
          {0, 5, -6.679, 0},
          {0, 6, -13.608, 0},
          {0, 9, -6.93, 0},
          {0, 10, -6.329, 0},
          {0, 13, -7.163, 0},
          {0, 14, -42.433, -43.913},
          {0, 15, -25.909, 0},
          {0, 16, -32.38722121, 0},
          {0, 20, -11.342488484, 0},
          {0, 21, -21.864854847, 0}}},
        {"flanges",
         "flanges-standard.progress",
         113.096821928,
         {{2, 5, 0, -22.731578646},
          {2, 6, -9.527170229, 0},
          {2, 7, 0, -12.346038102},
          {2, 8, 0, -12.346038102},
          {3, 9, 0, -11.390421256},
          {3, 10, 0, -11.390421256},
          {3, 11, 0, -11.390421256},
          {3, 12, 0, -11.390421256}}},
        {"cover",
         "cover-dense.progress",
         2800,
         {{0, 1, -6, 0},
          {0, 2, -12, 0},
          {0, 4, -6, 0},
          {0, 5, -12, 0},
          {0, 7, -6, 0},
          {0, 8, -12, 0},
          {0, 10, -6, 0},
          {0, 11, -12, 0}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.layout);
        NestConfig config;
        std::vector<NestPart> parts;
        Layout layout;
        if (!loadLayout(row.job, row.layout, config, parts, layout)) {
            ADD_FAILURE() << "cannot load the layout";
            continue;
        }
        config.commonLine = true;
        const CommonLineResult result = shareCommonLines(config, parts, layout);
        std::vector<Slide> slides;
        for (std::size_t s = 0; s < result.sheets.size(); ++s)
            for (std::size_t k = 0; k < result.sheets[s].placements.size(); ++k) {
                const Point shift = result.sheets[s].placements[k].shift;
                if (shift.x != 0.0 || shift.y != 0.0) slides.push_back({s, k, shift.x, shift.y});
            }
        EXPECT_NEAR(result.savedLength, row.saved, 1e-6);
        EXPECT_EQ(slides.size(), row.slides.size());
        if (slides.size() != row.slides.size()) continue;
        for (std::size_t n = 0; n < slides.size(); ++n) {
            EXPECT_EQ(slides[n].sheet, row.slides[n].sheet) << n;
            EXPECT_EQ(slides[n].placement, row.slides[n].placement) << n;
            EXPECT_NEAR(slides[n].dx, row.slides[n].dx, 1e-6) << n;
            EXPECT_NEAR(slides[n].dy, row.slides[n].dy, 1e-6) << n;
        }
    }
}

}  // namespace
}  // namespace qks::nest
