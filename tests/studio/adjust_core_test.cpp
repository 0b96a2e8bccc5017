// The drawing window's 调整 model without a display: a run of edits as a person makes them, each
// leaving a layout the plug-in's exact check accepts, refused edits changing nothing, and undo
// and redo walking the same states back and forth.
#include <gtest/gtest.h>

#include <functional>

#include "qks/contract/layout_check.h"
#include "qks/studio/nestadjust.h"

using namespace qks;

namespace {

contract::PartRecord rectangle(int id, const char* name, double w, double h, int quantity) {
    contract::PartRecord part;
    part.id = id;
    part.name = name;
    part.quantity = quantity;
    part.outline = {{0, 0}, {w, 0}, {w, h}, {0, h}};
    part.area = w * h;
    part.width = w;
    part.height = h;
    return part;
}

// Two sheets of 200 x 100 on a 2 mm grid from 12 mm (margin 10, gap 4): plate A (40 x 20, three
// asked for, may turn and mirror) and block B (30 x 30, one, fixed) on the first.
contract::NestLayout smallLayout() {
    contract::NestLayout layout;
    layout.settings.gap = 4;
    layout.settings.margin = 10;
    layout.settings.cell = 2;
    layout.settings.gridOrigin = 12;
    layout.parts = {rectangle(1, "A", 40, 20, 3), rectangle(2, "B", 30, 30, 1)};
    layout.turns = {{1, {0, 90}, true}, {2, {0}, false}};
    layout.sheets = {
        {0, 200, 100, {}, {{1, 12, 12, 0, false, false}, {2, 60, 12, 0, false, false}}},
        {0, 200, 100, {}, {}}};
    return layout;
}

// The layout as one line: per sheet its parts (kind name, corner, angle, m for mirrored, L for
// locked), then the totals.
std::string describe(const studio::NestAdjustModel& model) {
    std::string out;
    for (std::size_t s = 0; s < model.layout().sheets.size(); ++s) {
        out += "|";
        for (const auto& p : model.layout().sheets[s].placements)
            out += " " + contract::findKind(model.layout(), p.partId)->name + "@" +
                   std::to_string(int(p.x)) + "," + std::to_string(int(p.y)) + "/" +
                   std::to_string(p.angle) + (p.mirrored ? "m" : "") + (p.locked ? "L" : "");
        out += " ";
    }
    const studio::AdjustTotals totals = model.totals();
    return out + "| sheets=" + std::to_string(totals.sheetsUsed) +
           " unplaced=" + std::to_string(totals.unplaced);
}

}  // namespace

TEST(NestAdjust, EditsKeepTheLayoutValidAndUndoWalksBack) {
    studio::NestAdjustModel model(smallLayout());
    const double second = model.sheetX(1);
    ASSERT_EQ(second, 200 + contract::kNestSheetSpacing);
    const auto drag = [&model](double fromX, double fromY, double toX, double toY) {
        model.select(model.partAt(fromX, fromY));
        model.beginDrag(fromX, fromY);
        model.dragTo(toX, toY);
        return model.endDrag();
    };
    struct Step {
        const char* what;
        std::function<bool()> act;
        bool done;
        const char* after;
    };
    const std::vector<Step> steps = {
        {"drag A onto B: nothing fits near, refused", [&] { return drag(20, 20, 70, 20); }, false,
         "| A@12,12/0 B@60,12/0 | | sheets=1 unplaced=2"},
        {"drag A near B's corner: snaps clear of it", [&] { return drag(20, 20, 71, 53); }, true,
         "| A@64,46/0 B@60,12/0 | | sheets=1 unplaced=2"},
        {"drag A onto the second sheet", [&] { return drag(70, 50, second + 101, 51); }, true,
         "| B@60,12/0 | A@96,48/0 | sheets=2 unplaced=2"},
        {"R turns A to its next angle", [&] { return model.turn(); }, true,
         "| B@60,12/0 | A@96,48/90 | sheets=2 unplaced=2"},
        {"R again, back to 0", [&] { return model.turn(); }, true,
         "| B@60,12/0 | A@96,48/0 | sheets=2 unplaced=2"},
        {"M mirrors A", [&] { return model.mirror(); }, true,
         "| B@60,12/0 | A@96,48/0m | sheets=2 unplaced=2"},
        {"Shift+right: ten cells", [&] { return model.nudge(10, 0); }, true,
         "| B@60,12/0 | A@116,48/0m | sheets=2 unplaced=2"},
        {"a hundred back would leave the sheet", [&] { return model.nudge(-100, 0); }, false,
         "| B@60,12/0 | A@116,48/0m | sheets=2 unplaced=2"},
        {"L locks it", [&] { return model.toggleLock(); }, true,
         "| B@60,12/0 | A@116,48/0mL | sheets=2 unplaced=2"},
        {"a copy of A goes to the first free place", [&] { return model.addCopy(); }, true,
         "| B@60,12/0 A@12,12/0m | A@116,48/0mL | sheets=2 unplaced=1"},
        {"Delete removes the copy", [&] { return model.remove(); }, true,
         "| B@60,12/0 | A@116,48/0mL | sheets=2 unplaced=2"},
        {"undo brings it back", [&] { return model.undo(); }, true,
         "| B@60,12/0 A@12,12/0m | A@116,48/0mL | sheets=2 unplaced=1"},
        {"redo deletes it again", [&] { return model.redo(); }, true,
         "| B@60,12/0 | A@116,48/0mL | sheets=2 unplaced=2"},
        {"B may not be mirrored",
         [&] {
             model.select(model.partAt(70, 20));
             return model.mirror();
         },
         false, "| B@60,12/0 | A@116,48/0mL | sheets=2 unplaced=2"},
        {"nor turned", [&] { return model.turn(); }, false,
         "| B@60,12/0 | A@116,48/0mL | sheets=2 unplaced=2"},
        {"seven undos: back to A just moved to the second sheet",
         [&] {
             return model.undo() && model.undo() && model.undo() && model.undo() && model.undo() &&
                    model.undo() && model.undo();
         },
         true, "| B@60,12/0 | A@96,48/0 | sheets=2 unplaced=2"},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        EXPECT_EQ(step.act(), step.done) << model.message().toStdString();
        EXPECT_EQ(describe(model), step.after);
        EXPECT_FALSE(model.message().isEmpty());
        EXPECT_TRUE(contract::checkLayout(model.layout()).empty());
    }
    // A drag in progress shows where the part would land and whether it may.
    model.select(model.partAt(70, 20));
    model.beginDrag(70, 20);
    ASSERT_TRUE(model.dragTo(5, 5));
    EXPECT_FALSE(model.preview()->fits);
    EXPECT_TRUE(model.dragTo(170, 70)->fits);
    EXPECT_EQ(model.preview()->at.x, 160);
    EXPECT_EQ(model.preview()->at.y, 60);  // a cell down from under the pointer: the margin
    EXPECT_NEAR(model.totals().utilisationPercent, (800.0 + 900.0) / 40000.0 * 100.0, 1e-9);
}
