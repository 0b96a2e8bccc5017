// Writing AC1032: every saved drawing passes ezdxf's audit and the raw-tag checks, and reading
// it back keeps every entity.
#include "qkshost/dxf/testing.h"

#include <sys/stat.h>
#include <unistd.h>

using namespace qkshost::drawing;
using namespace qkshost::dxf;
using namespace qkshost::dxf::testing;

namespace {

void expectAuditClean(const std::string& file) {
    if (!haveEzdxf()) return;
    std::string out;
    int rc = runChecker("audit", file, out);
    EXPECT_EQ(rc, 0) << file << "\n" << out;
    EXPECT_EQ(out, "OK\n") << file;
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

TEST(DrawingWrite, NewDrawingHasTheDefaultStructure) {
    TempDir dir;
    Database db;
    std::string path = dir.file("new.dxf");
    ASSERT_EQ(saveDxf(db, path), Status::Ok);
    expectAuditClean(path);
    Database back(false);
    ReadResult r = readDxfFile(back, path);
    ASSERT_EQ(r.status, Status::Ok) << r.message;
    EXPECT_EQ(r.warnings, 0);
    EXPECT_EQ(back.readVersion, "AC1032");
    EXPECT_TRUE(back.findLayer("0"));
    EXPECT_TRUE(back.findTextStyle("Standard"));
    for (const char* lt : {"ByBlock", "ByLayer", "Continuous"})
        EXPECT_TRUE(back.findLinetype(lt));
    ASSERT_EQ(back.layouts().size(), 2u);
    EXPECT_EQ(back.get<Layout>(back.layouts()[0])->name, "Model");
    EXPECT_EQ(back.get<Layout>(back.layouts()[1])->name, "Layout1");
    EXPECT_TRUE(back.modelSpace() && back.paperSpace());
    // a database without defaults is still written with the structure readers need
    Database bare(false);
    bare.ensureStructure();
    ASSERT_EQ(saveDxf(bare, dir.file("bare.dxf")), Status::Ok);
    expectAuditClean(dir.file("bare.dxf"));
}

TEST(DrawingWrite, FixturesSurviveARoundTrip) {
    TempDir dir;
    for (const auto& name : fixtureNames()) {
        SCOPED_TRACE(name);
        auto db = readFixture(name);
        std::string path = dir.file("rt_" + name);
        std::string message;
        ASSERT_EQ(saveDxf(*db, path, nullptr, &message), Status::Ok) << message;
        expectAuditClean(path);
        Database back(false);
        ReadResult r = readDxfFile(back, path);
        ASSERT_EQ(r.status, Status::Ok) << r.message;
        EXPECT_EQ(r.warnings, 0);
        expectSameFacts(allFacts(*db), allFacts(back), name);
        // layouts keep their order, names and plot settings
        ASSERT_EQ(db->layouts().size(), back.layouts().size());
        for (std::size_t i = 0; i < db->layouts().size(); ++i) {
            auto* a = db->get<Layout>(db->layouts()[i]);
            auto* b = back.get<Layout>(back.layouts()[i]);
            EXPECT_EQ(a->name, b->name);
            EXPECT_TRUE(a->plot == b->plot) << a->name;
            EXPECT_EQ(db->blockName(a->block), back.blockName(b->block));
        }
        EXPECT_EQ(db->layers().size(), back.layers().size());
        EXPECT_EQ(db->textStyles().size(), back.textStyles().size());
        // writing again gives the same bytes: nothing drifts
        EXPECT_EQ(writeDxf(back), writeDxf(back));
    }
}

TEST(DrawingWrite, EzdxfSeesTheSameGeometryBeforeAndAfter) {
    if (!haveEzdxf()) GTEST_SKIP() << "python3-ezdxf is not installed";
    TempDir dir;
    for (const char* name :
         {"entities_r2018.dxf", "mirrored_r2000.dxf", "nested_r2010.dxf", "gbk_r12.dxf"}) {
        SCOPED_TRACE(name);
        auto db = readFixture(name);
        std::string path = dir.file(std::string("g_") + name);
        ASSERT_EQ(saveDxf(*db, path), Status::Ok);
        std::string before, after;
        ASSERT_EQ(runChecker("geometry", fixture(name), before), 0) << before;
        ASSERT_EQ(runChecker("geometry", path, after), 0) << after;
        if (std::string(name) == "gbk_r12.dxf") {
            // the R12 file has handles too, so lines match one to one
        }
        EXPECT_EQ(before, after);
    }
}

TEST(DrawingWrite, SavingIsAtomicAndKeepsABackup) {
    TempDir dir;
    Database db;
    std::string path = dir.file("a.dxf");
    ASSERT_EQ(saveDxf(db, path), Status::Ok);
    std::string first = slurp(path);
    ObjectIndex layer;
    ASSERT_EQ(db.addLayer("NEW", 3, &layer), Status::Ok);
    ASSERT_EQ(saveDxf(db, path), Status::Ok);
    EXPECT_EQ(slurp(path + ".bak"), first);
    EXPECT_NE(slurp(path), first);
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));

    // a .dwg target is written as .dxf, in any case of the extension
    std::string written;
    ASSERT_EQ(saveDxf(db, dir.file("out.DWG"), &written), Status::Ok);
    EXPECT_EQ(written, dir.file("out.dxf"));
    EXPECT_TRUE(std::filesystem::exists(written));
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.DWG")));

    // a missing folder fails cleanly
    std::string message;
    EXPECT_EQ(saveDxf(db, dir.file("no/such/x.dxf"), nullptr, &message), Status::WriteError);
    EXPECT_NE(message.find("no/such/x.dxf"), std::string::npos);

    // a symbolic link planted at the temporary name is never followed
    std::string victim = dir.file("victim.txt");
    { std::ofstream(victim) << "keep"; }
    ASSERT_EQ(::symlink(victim.c_str(), (dir.file("b.dxf") + ".tmp").c_str()), 0);
    Status st = saveDxf(db, dir.file("b.dxf"), nullptr, &message);
    EXPECT_EQ(slurp(victim), "keep");
    if (st == Status::Ok) {
        EXPECT_FALSE(std::filesystem::is_symlink(dir.file("b.dxf")));
        EXPECT_EQ(slurp(dir.file("b.dxf")).substr(0, 3), "  0");
    } else {
        EXPECT_FALSE(std::filesystem::exists(dir.file("b.dxf")));
    }
}

TEST(DrawingWrite, LinetypeScalesOfTheHeaderSurviveASave) {
    TempDir dir;
    auto db = readFixture("layouts_r2018.dxf");
    EXPECT_EQ(db->linetypeScale, 1.0);
    EXPECT_TRUE(db->paperLinetypeScale);
    db->linetypeScale = 2.5;
    db->paperLinetypeScale = false;
    ASSERT_EQ(saveDxf(*db, dir.file("scales.dxf")), Status::Ok);
    Database back(false);
    ASSERT_EQ(readDxfFile(back, dir.file("scales.dxf")).status, Status::Ok);
    EXPECT_EQ(back.linetypeScale, 2.5);
    EXPECT_FALSE(back.paperLinetypeScale);
}

TEST(DrawingWrite, SwitchedLayoutsStayLinked) {
    TempDir dir;
    auto db = readFixture("layouts_r2018.dxf");
    ASSERT_EQ(db->setCurrentLayout("Third"), Status::Ok);
    std::string path = dir.file("switched.dxf");
    ASSERT_EQ(saveDxf(*db, path), Status::Ok);
    expectAuditClean(path);
    Database back(false);
    ASSERT_EQ(readDxfFile(back, path).status, Status::Ok);
    EXPECT_EQ(back.get<Layout>(back.activeLayout())->name, "Third");
    auto third = back.get<Layout>(back.findLayout("Third"));
    EXPECT_EQ(entitiesOf<Line>(back, third->block).size(), 1u);
}
