// The drawing window's side of the host: the display list it writes, checked against ezdxf's
// reading of the same drawing, and selection prompts answered by the window from another
// thread (the bridge's), as the Studio answers them.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "qks/contract/view_format.h"
#include "qks/host/drawing.h"
#include "qks/testing/checkers.h"
#include "qks/testing/process.h"
#include "qks/testing/temp_dir.h"
#include "qkshost/app/drawing_services.h"
#include "qkshost/app/host_application.h"

namespace qkshost {
namespace {

namespace host = qks::host;
namespace contract = qks::contract;
using qks::testing::TempDir;
using namespace std::chrono_literals;

const std::string kSource = QKS_TEST_SOURCE_DIR;

contract::ViewFile viewOf(HostApplication& app, const std::string& drawing,
                          const std::string& layout, const std::string& path) {
    std::string error;
    const host::DocumentId document = app.openDocument(drawing, error);
    EXPECT_TRUE(document) << error;
    EXPECT_EQ(app.drawing().writeView(document, layout, path, {}), host::Status::Ok);
    auto view = contract::readView(qks::testing::readAll(path));
    EXPECT_TRUE(view) << path;
    return view ? *view : contract::ViewFile{};
}

struct CheckedEntity {
    std::string type, layer;
    bool boxed = false;
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};

// Every entity of model space in the display list, on its own layer and where ezdxf puts it;
// every layer and layout of the drawing listed; nothing drawable left out.
TEST(DrawingWindowView, ModelSpaceAsEzdxfReadsIt) {
    const char* drawings[] = {
        "tests/fixtures/dxf/entities_r2018.dxf", "tests/fixtures/dxf/hatches_r2018.dxf",
        "tests/fixtures/dxf/nested_r2010.dxf",   "tests/fixtures/dxf/gbk_r2000.dxf",
        "tests/fixtures/dxf/layouts_r2018.dxf",  "tests/fixtures/studio/three_plates.dxf"};
    const std::set<std::string> drawn = {"LINE", "CIRCLE", "ARC",   "LWPOLYLINE",
                                         "TEXT", "MTEXT",  "HATCH", "INSERT"};
    TempDir dir;
    for (const char* name : drawings) {
        SCOPED_TRACE(name);
        const std::string drawing = kSource + "/" + name;
        HostApplication app;
        app.setOutputSink([](std::string_view) {});
        const contract::ViewFile view = viewOf(app, drawing, "", dir.file("view.bin"));
        EXPECT_EQ(view.space, "Model");
        EXPECT_FALSE(view.paper);
        ASSERT_EQ(view.documents.size(), 1u);
        EXPECT_TRUE(view.documents[0].current);

        std::istringstream facts(
            qks::testing::runChecker("tests/qkshost_app/check_view.py", {drawing}));
        std::set<std::string> layers, frozen, viewLayers;
        std::vector<std::string> layouts;
        std::map<std::string, CheckedEntity> entities;
        for (std::string line; std::getline(facts, line);) {
            std::istringstream words(line);
            std::string kind;
            words >> kind;
            if (kind == "LAYER") {
                int isFrozen = 0;
                words >> isFrozen;
                std::string layer;
                std::getline(words >> std::ws, layer);
                layers.insert(layer);
                if (isFrozen) frozen.insert(layer);
            } else if (kind == "LAYOUT") {
                std::string layout;
                std::getline(words >> std::ws, layout);
                layouts.push_back(layout);
            } else if (kind == "ENTITY") {
                std::string handle, box[4];
                CheckedEntity e;
                words >> handle >> e.type >> box[0] >> box[1] >> box[2] >> box[3];
                std::getline(words >> std::ws, e.layer);
                e.boxed = box[0] != "-";
                if (e.boxed) {
                    e.x0 = std::stod(box[0]);
                    e.y0 = std::stod(box[1]);
                    e.x1 = std::stod(box[2]);
                    e.y1 = std::stod(box[3]);
                }
                entities[handle] = e;
            } else {
                ADD_FAILURE() << line;
            }
        }
        // The layer table, and layers entities name without a record (which the host adds,
        // as the CAD program does).
        for (const auto& layer : view.layers)
            viewLayers.insert(layer.name);
        for (const std::string& layer : layers)
            EXPECT_EQ(viewLayers.count(layer), 1u) << layer;
        EXPECT_EQ(view.layouts, layouts);

        // Curves are flattened to a hundred-thousandth of the drawing's size.
        double extent = 0;
        for (const float v : view.points)
            extent = std::max(extent, std::fabs(double(v)));
        std::set<std::string> shown;
        for (const contract::ViewEntity& entity : view.entities) {
            const std::string handle = contract::viewHandleText(entity.handle);
            shown.insert(handle);
            const auto found = entities.find(handle);
            ASSERT_NE(found, entities.end()) << handle;
            EXPECT_EQ(view.layers[entity.layer].name, found->second.layer) << handle;
            if (!found->second.boxed) continue;
            double x0 = 1e300, y0 = 1e300, x1 = -1e300, y1 = -1e300;
            for (std::uint32_t k = 0; k < entity.itemCount; ++k) {
                const contract::ViewItem& item = view.items[entity.firstItem + k];
                for (std::uint32_t i = 0; i < item.pointCount; ++i) {
                    x0 = std::min(x0, view.x(item.firstPoint + i) + view.originX);
                    x1 = std::max(x1, view.x(item.firstPoint + i) + view.originX);
                    y0 = std::min(y0, view.y(item.firstPoint + i) + view.originY);
                    y1 = std::max(y1, view.y(item.firstPoint + i) + view.originY);
                }
            }
            // Flattened curves lie within the chord error inside the true ones; floats hold
            // coordinates about the origin to a few millionths of the drawing's size.
            const double tolerance = 1e-3 + 4e-5 * extent;
            const CheckedEntity& e = found->second;
            EXPECT_NEAR(x0, e.x0, tolerance) << handle << " " << e.type;
            EXPECT_NEAR(y0, e.y0, tolerance) << handle << " " << e.type;
            EXPECT_NEAR(x1, e.x1, tolerance) << handle << " " << e.type;
            EXPECT_NEAR(y1, e.y1, tolerance) << handle << " " << e.type;
        }
        for (const auto& [handle, e] : entities) {
            if (drawn.count(e.type) != 0 && frozen.count(e.layer) == 0) {
                EXPECT_EQ(shown.count(handle), 1u) << handle << " " << e.type << " on " << e.layer;
            }
        }

        // A paper layout by name is its own space.
        if (layouts.size() > 1) {
            const contract::ViewFile paper =
                viewOf(app, drawing, layouts[1], dir.file("paper.bin"));
            EXPECT_TRUE(paper.paper);
            EXPECT_EQ(paper.space, layouts[1]);
        }
    }
}

// A selection prompt waits for the drawing window as well as the console, even once the console
// has ended; the first answer counts, a stale serial is refused, and a window that goes away
// cancels the prompt. The prompt file is there exactly while the prompt waits.
// A model space drawn in parts on several threads reads as the same list drawn whole: the same
// entities, and every item with the same points, style, text and loops.
TEST(DrawingWindowView, PartsDrawnOnThreadsJoinIntoTheWholeList) {
    const char* drawings[] = {"tests/fixtures/dxf/entities_r2018.dxf",
                              "tests/fixtures/dxf/hatches_r2018.dxf",
                              "tests/fixtures/dxf/nested_r2010.dxf"};
    TempDir dir;
    for (const char* name : drawings) {
        SCOPED_TRACE(name);
        HostApplication app;
        const std::string drawing = kSource + "/" + name;
        HostDrawingServices::setViewParts(1u << 30, 1);
        const contract::ViewFile whole = viewOf(app, drawing, {}, dir.file("whole.bin"));
        HostDrawingServices::setViewParts(1, 5);
        const contract::ViewFile parted = viewOf(app, drawing, {}, dir.file("parts.bin"));
        HostDrawingServices::setViewParts(40000, 0);
        ASSERT_GE(whole.entities.size(), 3u);
        ASSERT_EQ(parted.entities.size(), whole.entities.size());
        EXPECT_EQ(parted.points, whole.points);
        EXPECT_EQ(parted.originX, whole.originX);
        for (std::size_t e = 0; e < whole.entities.size(); ++e) {
            const contract::ViewEntity &a = whole.entities[e], &b = parted.entities[e];
            ASSERT_EQ(b.handle, a.handle);
            ASSERT_EQ(b.itemCount, a.itemCount) << contract::viewHandleText(a.handle);
            for (std::uint32_t k = 0; k < a.itemCount; ++k) {
                const contract::ViewItem &i = whole.items[a.firstItem + k],
                                         &j = parted.items[b.firstItem + k];
                EXPECT_EQ(j.firstPoint, i.firstPoint);
                EXPECT_EQ(j.pointCount, i.pointCount);
                contract::ViewStyle si = whole.styles[i.style], sj = parted.styles[j.style];
                const auto dashOf = [](const contract::ViewFile& v, std::uint16_t dash) {
                    return dash == 0 ? std::vector<float>{} : v.dashes[dash - 1u].lengths;
                };
                EXPECT_EQ(dashOf(parted, sj.dash), dashOf(whole, si.dash));
                EXPECT_EQ(sj.clip == 0, si.clip == 0);
                si.dash = sj.dash = si.clip = sj.clip = 0;
                EXPECT_TRUE(si == sj) << contract::viewHandleText(a.handle);
                if (si.kind == contract::ViewItemKind::Text) {
                    const contract::ViewText &ti = whole.texts[i.detail],
                                             &tj = parted.texts[j.detail];
                    EXPECT_EQ(parted.strings[tj.text], whole.strings[ti.text]);
                    EXPECT_EQ(parted.strings[tj.font], whole.strings[ti.font]);
                    EXPECT_EQ(tj.height, ti.height);
                } else if (si.kind == contract::ViewItemKind::Fill) {
                    const contract::ViewLoops &li = whole.fills[i.detail],
                                              &lj = parted.fills[j.detail];
                    ASSERT_EQ(lj.loopCount, li.loopCount);
                    for (std::uint32_t l = 0; l < li.loopCount; ++l)
                        EXPECT_EQ(parted.loopStarts[lj.firstLoop + l],
                                  whole.loopStarts[li.firstLoop + l]);
                }
            }
        }
    }
}

TEST(DrawingWindowView, WindowAnswersSelectionPrompts) {
    TempDir dir;
    const std::string promptFile = dir.file("qks_prompt.txt");
    struct Case {
        const char* what;
        bool consoleEnded;
        bool detach;  // the window goes away instead of answering
        bool chosen;
        std::size_t count;
    };
    const Case cases[] = {
        {"window answers with handles", false, false, true, 2},
        {"window answers after the console ended", true, false, true, 2},
        {"window goes away", true, true, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HostApplication app;
        app.setOutputSink([](std::string_view) {});
        std::string error;
        ASSERT_TRUE(app.openDocument(kSource + "/tests/fixtures/studio/three_plates.dxf", error));
        if (c.consoleEnded) app.endInput();
        app.setDrawingWindow(promptFile);
        bool staleRefused = false, answered = false;
        std::thread window([&] {
            if (!qks::testing::eventually([&] { return std::filesystem::exists(promptFile); }, 30s))
                return;
            const auto prompt = contract::readViewPrompt(qks::testing::readAll(promptFile));
            if (!prompt) return;
            staleRefused = !app.answerPrompt(prompt->serial + 1, "H 2F");
            if (c.detach)
                app.setDrawingWindow({});
            else
                answered = app.answerPrompt(prompt->serial, "H 2F 31");
        });
        std::vector<host::ObjectId> selection;
        EXPECT_EQ(app.drawing().selectObjects("Select objects: ", selection), c.chosen);
        window.join();
        EXPECT_TRUE(staleRefused);
        EXPECT_EQ(answered, !c.detach);
        EXPECT_EQ(selection.size(), c.count);
        EXPECT_FALSE(std::filesystem::exists(promptFile));
        EXPECT_FALSE(app.answerPrompt(1, "H 2F")) << "no prompt waits any more";
    }
}

}  // namespace
}  // namespace qkshost
