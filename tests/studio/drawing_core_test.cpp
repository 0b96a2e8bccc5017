// The drawing window's display list and pick rules: what the host writes reads back the same,
// a damaged list is refused or cleaned rather than trusted, and window, crossing and click
// picks take what the CAD program takes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "qks/contract/view_format.h"
#include "qks/studio/drawingindex.h"
#include "qks/studio/logtail.h"
#include "qks/studio/pickprompt.h"

using namespace qks;
using contract::ViewItem;
using contract::ViewItemKind;

namespace {

// Adds an entity of one item to `view`; the item's points are `points`, its style `style`
// with the kind and layer given.
ViewItem& addEntity(contract::ViewFile& view, std::uint64_t handle, ViewItemKind kind,
                    const std::vector<float>& points, std::uint32_t layer = 0,
                    contract::ViewStyle style = {}) {
    style.kind = kind;
    style.layer = layer;
    ViewItem item;
    item.style = view.addStyle(style);
    item.firstPoint = static_cast<std::uint32_t>(view.points.size() / 2);
    item.pointCount = static_cast<std::uint32_t>(points.size() / 2);
    view.points.insert(view.points.end(), points.begin(), points.end());
    contract::ViewEntity entity;
    entity.handle = handle;
    entity.layer = layer;
    entity.firstItem = static_cast<std::uint32_t>(view.items.size());
    entity.itemCount = 1;
    view.entities.push_back(entity);
    view.items.push_back(item);
    return view.items.back();
}

// A square part with a round hole drawn as two entities, a line off to the right, a text under
// them and a fill with a hole on a second layer.
contract::ViewFile sampleView() {
    contract::ViewFile view;
    view.serial = 7;
    view.documents = {{"/drawings/a.dxf", false}, {"/drawings/零件 b.dxf", true}};
    view.space = "Model";
    view.layouts = {"Model", "布局1"};
    view.originX = 1000.5;
    view.originY = -20;
    view.layers = {{"0", 0xffffff, true, false, "Continuous", -1},
                   {"剖面线", 0xff0000, true, false, "DASHED", 0.5f}};
    view.dashes = {{{5, 2.5f}}};
    view.clips = {{-1, -1, 100, 100}};
    view.addString({});
    contract::ViewStyle closed;
    closed.closed = 1;
    addEntity(view, 0x1A, ViewItemKind::Stroke, {0, 0, 10, 0, 10, 10, 0, 10}, 0, closed);
    std::vector<float> circle;
    for (int i = 0; i < 16; ++i)
        circle.insert(circle.end(), {5 + 2 * std::cos(i * 0.3927f), 5 + 2 * std::sin(i * 0.3927f)});
    addEntity(view, 0x1B, ViewItemKind::Stroke, circle, 0, closed);
    contract::ViewStyle dashed;
    dashed.dash = 1;
    dashed.clip = 1;
    addEntity(view, 0x2C, ViewItemKind::Stroke, {20, 0, 30, 0}, 0, dashed);
    addEntity(view, 0x3D, ViewItemKind::Text, {0, -8}).detail =
        static_cast<std::uint32_t>(view.texts.size());
    contract::ViewText text;
    text.height = 2.5f;
    text.text = view.addString("零件-1");
    text.font = view.addString("SimSun");
    view.texts.push_back(text);
    addEntity(view, 0x4E, ViewItemKind::Fill, {40, 0, 50, 0, 50, 10, 41, 1, 42, 1, 41, 2}, 1)
        .detail = static_cast<std::uint32_t>(view.fills.size());
    view.fills.push_back({static_cast<std::uint32_t>(view.loopStarts.size()), 2});
    view.loopStarts.insert(view.loopStarts.end(), {0, 3});
    return view;
}

TEST(DrawingView, WrittenListReadsBackAndDamageIsRefusedOrCleaned) {
    const contract::ViewFile view = sampleView();
    const std::string bytes = contract::formatView(view);
    const auto read = contract::readView(bytes);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->serial, 7u);
    EXPECT_EQ(read->documents[1].path, "/drawings/零件 b.dxf");
    EXPECT_TRUE(read->documents[1].current);
    EXPECT_EQ(read->layouts, view.layouts);
    EXPECT_EQ(read->originX, 1000.5);
    ASSERT_EQ(read->layers.size(), 2u);
    EXPECT_EQ(read->layers[1].name, "剖面线");
    EXPECT_EQ(read->layers[1].rgb, 0xff0000u);
    EXPECT_EQ(read->points, view.points);
    EXPECT_EQ(read->loopStarts, view.loopStarts);
    EXPECT_EQ(read->strings, view.strings);
    ASSERT_EQ(read->entities.size(), view.entities.size());
    ASSERT_EQ(read->items.size(), view.items.size());
    EXPECT_EQ(0, std::memcmp(read->items.data(), view.items.data(),
                             view.items.size() * sizeof(ViewItem)));
    ASSERT_EQ(read->styles.size(), 4u);  // items drawn alike share one
    EXPECT_EQ(0, std::memcmp(read->styles.data(), view.styles.data(),
                             view.styles.size() * sizeof(contract::ViewStyle)));
    ASSERT_EQ(read->texts.size(), 1u);
    EXPECT_EQ(read->strings[read->texts[0].text], "零件-1");
    ASSERT_EQ(read->fills.size(), 1u);
    EXPECT_EQ(read->fills[0].loopCount, 2u);
    EXPECT_EQ(0, std::memcmp(read->entities.data(), view.entities.data(),
                             view.entities.size() * sizeof(contract::ViewEntity)));
    EXPECT_EQ(contract::viewHandleText(read->entities[4].handle), "4E");

    // Every cut of the file is refused or read, never read past its end (the sanitizers watch).
    for (std::size_t cut = 0; cut < bytes.size(); ++cut)
        contract::readView(std::string_view(bytes).substr(0, cut));
    EXPECT_FALSE(contract::readView(bytes.substr(0, 20)));
    EXPECT_FALSE(contract::readView("QKSVIEW1" + bytes.substr(8)));

    // Indices past their tables and non-finite points are cleaned, not trusted.
    contract::ViewFile bad = sampleView();
    bad.items.push_back(bad.items[0]);
    bad.items.back().style = 77;
    bad.items.push_back(bad.items[4]);
    bad.items.back().detail = 5;
    bad.styles[0].layer = 99;
    bad.styles[bad.items[2].style].dash = 9;
    bad.styles[bad.items[2].style].clip = 9;
    bad.points[2 * bad.items[1].firstPoint + 3] = std::nanf("");
    bad.texts[0].text = 99;
    bad.items[4].pointCount = 1000;
    bad.entities[0].itemCount = 50;
    const auto cleaned = contract::readView(contract::formatView(bad));
    ASSERT_TRUE(cleaned);
    EXPECT_EQ(cleaned->styles[0].layer, 0u);
    EXPECT_EQ(cleaned->styles[cleaned->items[2].style].dash, 0u);
    EXPECT_EQ(cleaned->styles[cleaned->items[2].style].clip, 0u);
    for (const int drawsNothing : {1, 3, 4, 5, 6})
        EXPECT_EQ(cleaned->items[drawsNothing].pointCount, 0u) << drawsNothing;
    EXPECT_EQ(cleaned->entities[0].itemCount, 0u);

    const auto prompt =
        contract::readViewPrompt(contract::formatViewPrompt({42, "Select\tobjects:"}));
    ASSERT_TRUE(prompt);
    EXPECT_EQ(prompt->serial, 42u);
    EXPECT_EQ(prompt->prompt, "Select objects:");
    EXPECT_FALSE(contract::readViewPrompt("SELECT\tx\tSelect objects:\n"));
}

TEST(DrawingView, PicksTakeWhatTheCadProgramTakes) {
    studio::DrawingIndex index(sampleView());
    const auto handles = [&](const std::vector<int>& entities) {
        std::string out;
        for (const int e : entities)
            out += (out.empty() ? "" : " ") + index.handle(e).toStdString();
        return out;
    };
    struct Case {
        const char* what;
        studio::ViewBox box;
        studio::PickRule rule;
        const char* picked;
    };
    using studio::PickRule;
    const Case cases[] = {
        {"window round the part takes square and hole",
         {-1, -1, 11, 11},
         PickRule::Window,
         "1A 1B"},
        {"window round the hole alone", {2, 2, 8, 8}, PickRule::Window, "1B"},
        {"crossing over the square's edge", {9, 4, 12, 6}, PickRule::Crossing, "1A"},
        {"crossing inside the square meets nothing", {1, 1, 2, 2}, PickRule::Crossing, ""},
        {"window half over the line takes nothing", {25, -1, 35, 1}, PickRule::Window, ""},
        {"crossing half over the line takes it", {25, -1, 35, 1}, PickRule::Crossing, "2C"},
        {"crossing over the text's box", {0, -8, 1, -7}, PickRule::Crossing, "3D"},
        {"crossing the fill's hole edge", {41.2f, 0.5f, 41.8f, 1.2f}, PickRule::Crossing, "4E"},
        {"window round everything", {-5, -15, 60, 15}, PickRule::Window, "1A 1B 2C 3D 4E"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(handles(index.pick(c.box, c.rule)), c.picked) << c.what;

    // A click takes the nearest within the tolerance, the later of two at equal distance.
    EXPECT_EQ(index.nearest(10.3f, 5, 0.5f), 0);
    EXPECT_EQ(index.nearest(7.2f, 5, 0.5f), 1);
    EXPECT_EQ(index.nearest(25, 0.4f, 0.5f), 2);
    EXPECT_FALSE(index.nearest(25, 3, 0.5f));

    // A hidden layer's entities are neither picked nor clicked.
    index.setLayerShown(1, false);
    EXPECT_EQ(handles(index.pick({-5, -15, 60, 15}, PickRule::Window)), "1A 1B 2C 3D");
    EXPECT_FALSE(index.nearest(45, 0, 0.5f));
    EXPECT_EQ(studio::selectionLine({"1A", "2C"}), "H 1A 2C");
    EXPECT_EQ(studio::selectionLine({}), "");
}

// What a page offers to open in the drawing window: the drawings its job's log says it wrote.
TEST(DrawingView, DrawingsAJobWroteComeFromItsLog) {
    const struct {
        const char* log;
        QStringList drawings;
    } cases[] = {
        {"NEST 开始\nNEST 已生成 /out/套料 输出/套料图.dxf\nDONE\n", {"/out/套料 输出/套料图.dxf"}},
        {"MERGED count=2 dwg=/out/合并图.dxf\r\nDONE total=1 ok=1 fail=0 dir=/out\r\n",
         {"/out/合并图.dxf"}},
        {"OK /out/a_整理.dxf\nOK /out/b_整理.DXF\nXLSX /out/标注清理.xlsx\n",
         {"/out/a_整理.dxf", "/out/b_整理.DXF"}},
        {"BLANK /out/a_展开.dxf\nOK /out/a.pdf\nBLANK /out/a_展开.dxf\n", {"/out/a_展开.dxf"}},
        {"PDF /out/a.pdf\nERR 保存失败 /out/c.dxf\nFATAL 无法读取\n", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(studio::drawingsWritten(QByteArray(c.log)), c.drawings) << c.log;
}

}  // namespace
