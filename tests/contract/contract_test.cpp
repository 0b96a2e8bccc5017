#include <gtest/gtest.h>

#include <random>

#include "qks/contract/nest_layout_format.h"
#include "qks/contract/states.h"
#include "qks/nest/geometry.h"
#include "qks/nest/parts_file.h"
#include "qks/nest/progress.h"
#include "qks/studio/partsfile.h"
#include "qks/studio/preview.h"
#include "qks/studio/progressfile.h"

namespace qks {
namespace {

// Jobs made from a fixed seed: parts (some not nestable), layouts on several sheets.
class RandomJob {
  public:
    explicit RandomJob(unsigned seed) : rng_(seed) {}

    std::vector<nest::NestPart> parts() {
        static const char* const names[] = {"法兰", "plate 3", "零件 A", "x", "底板-2"};
        std::vector<nest::NestPart> out;
        const int count = between(1, 6);
        for (int i = 0; i < count; ++i) {
            nest::NestPart p;
            p.id = 10 * i + between(1, 9);  // unique
            p.name = names[between(0, 4)];
            p.quantity = between(0, 20);
            p.source = between(0, 1) ? "CURRENT" : "/drawings/a b.dxf";
            p.handles = {"1F", "2A0"};
            p.outline = ring(between(2, 9));
            for (int h = between(0, 2); h > 0; --h)
                p.holes.push_back(ring(between(3, 6)));
            nest::measureOutline(p);
            out.push_back(std::move(p));
        }
        return out;
    }

    nest::Layout layout(const std::vector<nest::NestPart>& parts) {
        nest::Layout layout;
        for (int s = between(0, 3); s > 0; --s) {
            nest::SheetLayout sheet;
            sheet.width = real(100, 3000);
            sheet.height = real(100, 1500);
            sheet.usedArea = sheet.width * sheet.height * real(0, 1);
            for (int k = between(0, 6); k > 0; --k) {
                const nest::NestPart& p = parts[between(0, static_cast<int>(parts.size()) - 1)];
                sheet.placements.push_back({p.id, 0, between(0, 359), between(0, 1) == 1,
                                            between(0, 900), between(0, 400)});
            }
            layout.push_back(std::move(sheet));
        }
        return layout;
    }

    int between(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng_); }
    double real(double low, double high) {
        return std::uniform_real_distribution<double>(low, high)(rng_);
    }

  private:
    nest::Outline ring(int points) {
        nest::Outline out;
        for (int i = 0; i < points; ++i)
            out.push_back({real(-5000, 5000), real(-5000, 5000)});
        return out;
    }
    std::mt19937 rng_;
};

QByteArray bytesOf(const std::string& text) {
    return QByteArray(text.data(), static_cast<int>(text.size()));
}

TEST(Contract, PluginWritersThenStudioReadersAgreeOnRandomJobs) {
    RandomJob job(20261207);
    for (int round = 0; round < 200; ++round) {
        const std::vector<nest::NestPart> written = job.parts();
        const std::string partsText = nest::formatPartsFile(written);
        const std::vector<nest::NestPart> plugin = nest::parsePartsText(partsText);
        const QVector<studio::PartRow> rows = studio::parsePartsFile(bytesOf(partsText));
        // The Studio lists every kind; the plug-in nests the usable ones, read alike.
        ASSERT_EQ(rows.size(), static_cast<int>(written.size()));
        std::size_t next = 0;
        for (int i = 0; i < rows.size(); ++i) {
            const studio::PartRow& row = rows[i];
            EXPECT_EQ(row.id, written[i].id);
            EXPECT_EQ(row.quantity, written[i].quantity);
            EXPECT_EQ(row.name, QString::fromStdString(written[i].name));
            EXPECT_EQ(row.outline.size(), static_cast<int>(written[i].outline.size()));
            for (int k = 0; k < row.outline.size(); ++k)
                EXPECT_NEAR(row.outline[k].x(), written[i].outline[k].x, 6e-4);
            if (row.outline.size() < 3 || row.quantity < 1) continue;
            ASSERT_LT(next, plugin.size());
            const nest::NestPart& p = plugin[next++];
            EXPECT_EQ(p.id, row.id);
            EXPECT_EQ(p.area, row.area);
            EXPECT_EQ(p.refX, row.refX);
            EXPECT_EQ(p.height, row.height);
            EXPECT_EQ(p.holes.size(), static_cast<std::size_t>(row.holes.size()));
        }
        EXPECT_EQ(next, plugin.size());

        nest::NestConfig config;
        config.margin = job.real(0, 20);
        config.cell = job.real(0.5, 5);
        config.gap = job.real(0, 10);
        const nest::Layout layout = job.layout(written);
        const auto state = static_cast<contract::JobState>(job.between(0, 2));
        const std::string progressText = nest::formatProgress(
            config, layout, contract::jobStateWord(state), job.real(0, 100), job.between(0, 9));
        const nest::ProgressFile back = nest::parseProgressText(progressText);
        const studio::ProgressSnapshot records = studio::parseProgressFile(bytesOf(progressText));
        ASSERT_TRUE(records.frame && records.state && records.utilisation && records.elapsed);
        EXPECT_EQ(contract::jobStateFromWord(records.state->toStdString()), state);
        EXPECT_EQ(records.frame->pad, back.padLength);
        EXPECT_EQ(*records.utilisation, back.utilisationPercent);
        EXPECT_EQ(records.unplaced, back.unplaced);
        ASSERT_EQ(records.sheets.size(), static_cast<int>(layout.size()));
        for (int s = 0; s < records.sheets.size(); ++s) {
            ASSERT_EQ(records.sheets[s].placements.size(),
                      static_cast<int>(layout[s].placements.size()));
            for (int k = 0; k < records.sheets[s].placements.size(); ++k) {
                const studio::Placement& seen = records.sheets[s].placements[k];
                const nest::Placement& put = layout[s].placements[k];
                EXPECT_EQ(seen.partId, put.partId);
                EXPECT_EQ(seen.angle, put.angle);
                EXPECT_EQ(seen.mirrored, put.mirrored);
                EXPECT_EQ(seen.column, put.column);
                EXPECT_EQ(seen.row, put.row);
                // The preview shows the part where the plug-in draws it, to the bit.
                const QHash<int, int> index = studio::indexPartsById(rows);
                const studio::PartRow& row = rows[index.value(seen.partId)];
                const auto shown = studio::placePart(row, seen, *records.frame);
                if (!shown) continue;
                const auto drawn = std::find_if(plugin.begin(), plugin.end(),
                                                [&](auto& p) { return p.id == seen.partId; });
                if (drawn == plugin.end()) continue;
                const nest::PlacedShape shape =
                    nest::placeShape(*drawn, put.angle, put.mirrored, 0, 0, back.margin,
                                     back.padLength, back.cell, put.column, put.row);
                ASSERT_EQ(shown->outer.size(), static_cast<int>(shape.outline.size()));
                for (int q = 0; q < shown->outer.size(); ++q) {
                    EXPECT_EQ(shown->outer[q].x(), shape.outline[q].x);
                    EXPECT_EQ(shown->outer[q].y(), shape.outline[q].y);
                }
            }
        }
    }
}

// The rules in which the two readers differ on purpose, each seen from both sides.
TEST(Contract, DeliberateDifferencesOfTheReaders) {
    const auto partsText = [](const char* quantity, const char* name) {
        return "P\t4\t" + std::string(quantity) + "\t1\t0\t0\t1\t1\tCURRENT\t\t" + name +
               "\nO\t4\t0,0;1,0;0,1\n";
    };
    struct PartsCase {
        const char* quantity;
        const char* name;
        int pluginQuantity;  // 0: the plug-in drops the kind
        int studioQuantity;
        QString studioName;
    };
    const PartsCase partsCases[] = {
        {"3", "a", 3, 3, "a"},
        {"0", "a", 0, 0, "a"},    // listed, not nested
        {"5x", "a", 5, 0, "a"},   // atoi against whole field
        {" 2 ", "a", 2, 2, "a"},  // both skip white space
        {"2",
         "\xEF\xBB\xBF"
         "b",
         2, 2, QString(QChar(0xFEFF)) + "b"},  // a mark, not a header
    };
    for (const PartsCase& c : partsCases) {
        const std::string text = partsText(c.quantity, c.name);
        const auto plugin = nest::parsePartsText(text);
        const QVector<studio::PartRow> rows = studio::parsePartsFile(bytesOf(text));
        ASSERT_EQ(plugin.size(), c.pluginQuantity ? 1u : 0u) << c.quantity;
        if (c.pluginQuantity) {
            EXPECT_EQ(plugin[0].quantity, c.pluginQuantity);
        }
        ASSERT_EQ(rows.size(), 1) << c.quantity;
        EXPECT_EQ(rows[0].quantity, c.studioQuantity) << c.quantity;
        EXPECT_EQ(rows[0].name, c.studioName) << c.quantity;
    }

    struct ProgressCase {
        const char* text;
        int pluginFrames;
        std::optional<double> studioPad;
        const char* pluginState;
        std::optional<QString> studioState;
    };
    const ProgressCase progressCases[] = {
        {"CFG\t5\t1\t2\nSTATE\tdone\n", 1, 2.0, "done", QString("done")},
        {"CFG\t5\t1\n", 0, 0.0, "", std::nullopt},                           // pad optional
        {"  STATE\trunning \r\n", 0, std::nullopt, "", QString("running")},  // lines trimmed
        {"STATE\tstopped\r\n", 0, std::nullopt, "stopped\r", QString("stopped")},
        {"\xEF\xBB\xBF"
         "STATE\tdone\n",
         0, std::nullopt, "", QString("done")},
    };
    for (const ProgressCase& c : progressCases) {
        const nest::ProgressFile plugin = nest::parseProgressText(c.text);
        const studio::ProgressSnapshot studio = studio::parseProgressFile(c.text);
        EXPECT_EQ(plugin.cfgLines, c.pluginFrames) << c.text;
        EXPECT_EQ(studio.frame.has_value(), c.studioPad.has_value()) << c.text;
        if (studio.frame && c.studioPad) {
            EXPECT_EQ(studio.frame->pad, *c.studioPad) << c.text;
        }
        EXPECT_EQ(plugin.state, c.pluginState) << c.text;
        EXPECT_EQ(studio.state, c.studioState) << c.text;
    }
}

// The layout file reads back as written (and writes again byte for byte); a broken one is
// refused with the line and what is wrong.
TEST(Contract, LayoutFileRoundTripAndRefusals) {
    RandomJob job(7);
    contract::NestLayout layout;
    layout.settings.gap = 4.5;
    layout.settings.outDwg = "/out/套料 图.dxf";
    layout.settings.commonLine = true;
    layout.settings.gridOrigin = 14.5;
    layout.parts = job.parts();
    layout.turns = {{layout.parts[0].id, {0, 90, 270}, true}};
    layout.sheets = {{0, 1000, 500, {}, {{layout.parts[0].id, 14.5, 16.5, 90, true, true}}},
                     {2,
                      300,
                      200,
                      {{{0, 0}, {300, 0}, {150, 200}}, {{10, 10}, {20, 10}, {15, 20}}},
                      {{layout.parts[0].id, 40.5, 22.5, 0, false, false}}}};
    const std::string text = contract::formatLayout(layout);
    std::string error;
    const auto read = contract::readLayout(text, &error);
    ASSERT_TRUE(read) << error;
    EXPECT_EQ(read->settings.outDwg, layout.settings.outDwg);
    EXPECT_TRUE(read->settings.commonLine);
    EXPECT_EQ(read->sheets[1].stock, layout.sheets[1].stock);
    EXPECT_EQ(read->sheets[0].placements, layout.sheets[0].placements);
    EXPECT_EQ(read->parts.size(), layout.parts.size());
    EXPECT_EQ(contract::formatLayout(*read), text);
    EXPECT_EQ(contract::layoutPathFor("/a.b/套料图.dxf"), "/a.b/套料图.qkslayout");
    EXPECT_EQ(contract::layoutPathFor("/a.b/nest"), "/a.b/nest.qkslayout");

    const std::string head = std::string(contract::kLayoutHeader) + "\n";
    const std::pair<std::string, std::string> refused[] = {
        {"", "第 1 行：不是套料排版文件"},
        {"# QKS-LAYOUT 12\n", "第 1 行：不是套料排版文件"},
        {head + "PLACE\t1\t0\t0\t0\t0\t0\n", "第 2 行：零件位置前没有板材"},
        {head + "SHEET\t0\t100\t-5\n", "第 2 行：板材尺寸应为正数"},
        {head + "SHEET\t0\t100\t50\nPLACE\t1\t1e999\t0\t0\t0\t0\n", "第 3 行：零件位置"},
        {head + "SHEET\t0\t100\t50\nPLACE\t1\t0\t0\t360\t0\t0\n", "第 3 行：角度"},
        {head + "SHEET\t0\t100\t50\nSTOCK\t0\t0\t1\t1\n", "第 3 行：余料轮廓至少需要三个点"},
        {head + "SET\tgap\tfive\n", "第 2 行：设置 gap 不是长度"},
        {head + "GRID\t0\t10\n", "第 2 行：网格"},
        {head + "TURN\t1\t0,x\t0\n", "第 2 行：角度"},
        {head + "SHEET\t0\t100\n", "第 2 行：SHEET 记录的字段不足"},
        {head + "P\t1\t1\t1\t0\t0\t1\t1\ts\t\tn\nO\t1\t0,0;1,0\n", "零件 1 的轮廓不完整"},
    };
    for (const auto& [bad, answer] : refused) {
        SCOPED_TRACE(bad);
        error.clear();
        EXPECT_FALSE(contract::readLayout(bad, &error));
        EXPECT_NE(error.find(answer), std::string::npos) << error;
    }
}

TEST(Contract, SourceAndStateWords) {
    using contract::PartSource;
    EXPECT_EQ(contract::partSourceFromConfig("picked"), PartSource::Picked);
    EXPECT_EQ(contract::partSourceFromConfig("files"), PartSource::Files);
    for (const char* other : {"Picked", "FILES", "", "current", "CURRENT"})
        EXPECT_EQ(contract::partSourceFromConfig(other), PartSource::Current) << other;
    for (PartSource s : {PartSource::Current, PartSource::Picked, PartSource::Files})
        EXPECT_EQ(contract::partSourceFromConfig(contract::partSourceWord(s)), s);
    for (const char* current : {"CURRENT", "current", "CuRrEnT"})
        EXPECT_TRUE(contract::isCurrentDrawingSource(current)) << current;
    for (const char* path : {"/d/current", "currentt", "", "ＣURRENT"})
        EXPECT_FALSE(contract::isCurrentDrawingSource(path)) << path;
    for (const char* word : {"Running", "running ", "", "finished"})
        EXPECT_FALSE(contract::jobStateFromWord(word)) << word;
}

}  // namespace
}  // namespace qks
