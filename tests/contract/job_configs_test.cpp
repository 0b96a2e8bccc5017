// The job configs both ways: what the Studio's pages write, the plug-in reads back as the same
// record; values outside the contract's limits are read as the contract clamps them; odd text
// is read as the plug-in always has. Records are compared through the one writer: a record read
// back writes the same text as the one written.
#include <gtest/gtest.h>

#include <functional>

#include "qks/contract/job_configs.h"
#include "qks/job/read_rules.h"
#include "qks/studio/bomrows.h"
#include "qks/studio/bomsettings.h"
#include "qks/studio/jobconfig.h"
#include "qks/studio/partsfile.h"

namespace qks {
namespace {

using namespace contract;
using Reread = std::function<std::string(std::string_view)>;

template <class Read, class Write>
Reread rereadWith(Read read, Write write) {
    return [read, write](std::string_view text) { return write(read(text, pluginReadRules())); };
}

const Reread plot = rereadWith(readPlotConfig, writePlotConfig);
const Reread plotFiles = rereadWith(readPlotFilesConfig, writePlotFilesConfig);
const Reread merge = rereadWith(readMergeConfig, writeMergeConfig);
const Reread nest = rereadWith(readNestConfig, writeNestConfig);
const Reread bom = rereadWith(readBomConfig, writeBomConfig);
const Reread tools = rereadWith(readToolsConfig, writeToolsConfig);

studio::PartRow part(int id, int quantity, studio::RotationChoice rotation) {
    studio::PartRow row;
    row.id = id;
    row.quantity = quantity;
    row.rotation = rotation;
    return row;
}

// The pages' forms: their defaults, and the values a user sets on them.
studio::NestForm nestForm(bool dense) {
    studio::NestForm form;
    form.source = PartSource::Files;
    form.files = QStringList{QStringLiteral("/d/法兰.dxf"), QStringLiteral("/d/b.dwg")};
    form.layerText = QStringLiteral(" CUT, 板材 ");
    form.outDirText = QStringLiteral("/home/u/QKS 套料");
    form.sheetText = QStringLiteral("3000x1500x5\n2500x1250x10\n2000x1000");
    form.gap = contract::kLargestGap;
    form.margin = 0.5;
    form.cell = 2.25;
    form.strategyDense = dense;
    form.partInPart = true;
    form.commonLine = dense;
    form.units = DrawingUnits::Inches;
    form.carry = !dense;
    form.labels = dense;
    form.stockFile = QStringLiteral(" /d/余料.dxf ");
    form.offcut = true;
    form.keepLocked = QStringLiteral("/t/套料.layout");
    return form;
}

studio::BomSettings bomSettings() {
    studio::BomSettings settings = studio::defaultBomSettings();
    settings.defaultMaterial = QStringLiteral("SUS304");
    settings.defaultThickness = 1.5;
    return settings;
}

studio::ToolsForm toolsForm(studio::CornerShape corner) {
    using Op = ToolOperation;
    studio::ToolsForm form;
    form.operations = {Op::Balloons, Op::Clean,      Op::Layers,     Op::Corners,
                       Op::Area,     Op::Attributes, Op::Dimensions, Op::Holes};
    form.files = QStringList{QStringLiteral("/d/a.dxf")};
    form.outDir = QStringLiteral("/o/整理");
    form.logPath = QStringLiteral("/t/qks_tools.log");
    form.workbookText = QStringLiteral(" 面积.xlsx ");
    form.shortLength = 0.2;
    form.explode = true;
    form.corner = corner;
    form.cornerSize = 2.5;
    form.areaLabels = true;
    return form;
}

TEST(JobConfigs, StudioWritesThePluginReadsTheSameAndClamps) {
    studio::PlotForm plotForm;
    plotForm.outDir = QStringLiteral("/out/QKS 出图");
    plotForm.prefixText = QStringLiteral(" 项目 7 ");
    plotForm.style = QStringLiteral("monochrome.ctb");
    plotForm.scope = QStringLiteral("current");
    plotForm.logPath = QStringLiteral("/t/qks_plot.log");
    plotForm.filesTarget = true;
    plotForm.files = QStringList{QStringLiteral("/d/b.dxf"), QStringLiteral("/d/a.DWG")};
    studio::MergeForm mergeForm;
    mergeForm.out = QStringLiteral("/o/合并.dwg");
    mergeForm.outFolder = QStringLiteral("/o");
    mergeForm.logPath = QStringLiteral("/t/qks_merge.log");
    mergeForm.files = plotForm.files;
    const QVector<studio::PartRow> parts = {part(3, 4, studio::RotationChoice::Global),
                                            part(1, 0, studio::RotationChoice::HalfTurn),
                                            part(12, 999, studio::RotationChoice::QuarterTurns)};
    studio::BomForm bomForm;
    bomForm.files = plotForm.files;
    bomForm.outDir = QStringLiteral("/o/BOM");
    bomForm.logPath = QStringLiteral("/t/qks_bom.log");
    bomForm.csv = bomForm.package = bomForm.zip = true;
    bomForm.nestFolderText = QStringLiteral(" /o/套料 ");
    bomForm.profileLayerText = QStringLiteral(" 折弯,profile ");
    const QVector<studio::BomEdit> edits = {{QStringLiteral("k1"), QStringLiteral("Q235"), {}, {}},
                                            {QStringLiteral("k2"), {}, 3.0, 12}};

    // Beyond the limits, as a hand-written config may hold them.
    NestJobConfig wideNest = studio::nestJobConfig(nestForm(true), parts, {}, {});
    wideNest.gap = 150;
    wideNest.cell = 20;
    wideNest.seconds = 0.5;
    wideNest.threads = 300;
    NestJobConfig clampedNest = wideNest;
    clampedNest.gap = kLargestGap;
    clampedNest.cell = kLargestCell;
    clampedNest.seconds = kDefaultSeconds;
    clampedNest.threads = kMostThreads;
    BomJobConfig wideBom = studio::bomJobConfig(bomForm, bomSettings(), {});
    wideBom.profileWidth = 2 * kLargestProfileWidth;
    wideBom.defaultThickness = 0;
    BomJobConfig clampedBom = wideBom;
    clampedBom.profileWidth = kDefaultProfileWidth;
    clampedBom.defaultThickness = kDefaultThickness;
    ToolsJobConfig wideTools =
        studio::toolsJobConfig(toolsForm(studio::CornerShape::Fillet), defaultLayerRules());
    wideTools.textHeight = 0;
    wideTools.joinTolerance = 2 * kLargestJoinTolerance;
    ToolsJobConfig clampedTools = wideTools;
    clampedTools.textHeight = kDefaultAnnotationTextHeight;
    clampedTools.joinTolerance = kDefaultJoinTolerance;
    MergeJobConfig wideMerge = studio::mergeJobConfig(mergeForm);
    wideMerge.columns = -2;
    MergeJobConfig clampedMerge = wideMerge;
    clampedMerge.columns = 1;

    const struct {
        const char* job;
        const Reread& reread;
        std::string written;
        std::string readBack;  // empty: as written
    } cases[] = {
        {"plot", plot, writePlotConfig(studio::plotJobConfig(plotForm)), ""},
        {"plot files", plotFiles, writePlotFilesConfig(studio::plotFilesJobConfig(plotForm)), ""},
        {"merge", merge, writeMergeConfig(studio::mergeJobConfig(mergeForm)), ""},
        {"merge, page defaults", merge, writeMergeConfig(studio::mergeJobConfig({})), ""},
        {"nest, standard", nest,
         writeNestConfig(studio::nestJobConfig(nestForm(false), parts, QStringLiteral("/t/p.txt"),
                                               QStringLiteral("/t/n.log"))),
         ""},
        {"nest, dense", nest, writeNestConfig(studio::nestJobConfig(nestForm(true), parts, {}, {})),
         ""},
        {"nest, page defaults", nest, writeNestConfig(studio::nestJobConfig({}, {}, {}, {})), ""},
        {"bom", bom, writeBomConfig(studio::bomJobConfig(bomForm, bomSettings(), edits)), ""},
        {"bom, current drawing", bom,
         writeBomConfig(studio::bomJobConfig(
             studio::BomForm{{true, {}, {}, {}}, {}, false, false, false, {}, {}, 120.5},
             bomSettings(), {})),
         ""},
        {"tools, fillet", tools,
         writeToolsConfig(
             studio::toolsJobConfig(toolsForm(studio::CornerShape::Fillet), defaultLayerRules())),
         ""},
        {"tools, chamfer", tools,
         writeToolsConfig(
             studio::toolsJobConfig(toolsForm(studio::CornerShape::Chamfer), defaultLayerRules())),
         ""},
        {"merge, columns below 1", merge, writeMergeConfig(wideMerge),
         writeMergeConfig(clampedMerge)},
        {"nest, out of range", nest, writeNestConfig(wideNest), writeNestConfig(clampedNest)},
        {"bom, out of range", bom, writeBomConfig(wideBom), writeBomConfig(clampedBom)},
        {"tools, out of range", tools, writeToolsConfig(wideTools), writeToolsConfig(clampedTools)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.reread(c.written), c.readBack.empty() ? c.written : c.readBack) << c.job;
}

TEST(JobConfigs, OddTextIsReadAsThePluginAlwaysHas) {
    const std::string plotTail = "prefix=\nstyle=\nscope=all\nlog=\n";
    const std::string mergeHead = "outDwg=\noutDir=\n";
    const struct {
        const char* what;
        const Reread& reread;
        std::string text;
        std::string readBack;
    } cases[] = {
        {"plot keys exact, values trimmed of controls and blanks, lines without '=' skipped",
         plotFiles,
         "outDir = /x\nprefix=  P \t\r\nStyle=no\na heading\nfile=/a.dxf\nfile=\n"
         "file= /b \xE4\xB8\xAD.dxf\nscope=current\nmode=merge\n",
         "outDir=\nprefix=P\nstyle=\nscope=current\nlog=\nfile=/a.dxf\nfile=/b \xE4\xB8\xAD.dxf\n"},
        {"a byte-order mark on any line, bad UTF-8 as U+FFFD", plot,
         "\xEF\xBB\xBFoutDir=/out\n\xEF\xBB\xBFprefix=a\xFF\n",
         "outDir=/out\nprefix=a\xEF\xBF\xBD\nstyle=\nscope=all\nlog=\n"},
        {"merge flags and numbers", merge, "pdf=True\r\ncolumns=abc\nspacing= 0.5 \n",
         mergeHead + "columns=1\nspacing=0.50\npdf=1\nlog=\n"},
        {"merge: pdf only 1 or true, spacing as atof", merge, "pdf=yes\ncolumns=5\nspacing=-2x\n",
         mergeHead + "columns=5\nspacing=-2.00\npdf=0\nlog=\n"},
        {"nest line rules: one mark, comments, Unicode blanks, '=' in values", nest,
         "\xEF\xBB\xBFoutDir = /nest \r\n# outDir=x\n\n  \xE3\x80\x80 gap=2.5\nno equals\n"
         "keeplocked=a=b\nsheet=bad\nsheet=1500 × 3000\nlayer=A\nlayer=,b\n",
         "source=current\npartsFile=\nlayer=A,,b\noutDir=/nest\noutDwg=\nlog=\nprefix=\n"
         "sheet=1500 × 3000\ngap=2.5\nmargin=10\ncell=2\nrotate=1\nmirror=1\npdf=0\n"
         "seconds=20\nkeeplocked=a=b\n"},
        {"nest switches, units, rotations and counts", nest,
         "sheet=3000x1500\nrotate=no\nmirror=0\nunits= INCH \npartrotate 9=90, x, 45deg,450\n"
         "partcount 3 = -2\nstrategy=Dense\npartInPart=1\nthreads=-4\njointol=60\n"
         "skiplayers=\n",
         "source=current\npartsFile=\nlayer=\noutDir=\noutDwg=\nlog=\nprefix=\n"
         "sheet=3000x1500\ngap=5\nmargin=10\ncell=2\nrotate=1\nmirror=0\npdf=0\nseconds=20\n"
         "partcount 3=-2\nunits=inch\npartrotate 9=90\njointol=50\nskiplayers=\n"},
        {"bom refusals keep the defaults", bom,
         "out=../x.xlsx\nprofilewidth=0\nmaterial =1,0.4\nedit k=Q235\nedit k2= 铝 ,0,0\n"
         "defaultmaterial=\ncsv=TRUE\nscope=current\n",
         "outDir=\nout=BOM.xlsx\nlog=\nscope=current\ncsv=1\npackage=0\nzip=0\n"
         "profilewidth=100\n" +
             [] {
                 std::string materials;
                 for (const Material& m : defaultMaterials())
                     materials += "material " + m.name + "=" + formatMaterialValue(m) + "\n";
                 return materials;
             }() +
             "defaultmaterial=Q235\ndefaultthickness=2\ndefaultradius=2\nedit k2=铝,,\n"},
        {"tools operations in any case, unknown ones dropped", tools,
         "op=CLEAN, nothing,dims\ntextheight=0\nshortlen=-1\nout=a/b\n",
         "outDir=\nlog=\nop=clean,dims\njointol=0.6\nshortlen=0\nexplode=0\ntextheight=3.5\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.reread(c.text), c.readBack) << c.what;

    // What the jobs derive, and the refusals they report.
    const BomJobConfig refused =
        readBomConfig("out=../x\nprofilewidth=0\nprofilelayer=A, B\n", pluginReadRules());
    EXPECT_EQ(refused.problems, (std::vector<std::string>{"out=../x", "profilewidth=0"}));
    EXPECT_EQ(profileLayerWords(refused, pluginReadRules()), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(profileLayerWords(BomJobConfig{}, pluginReadRules()),
              (std::vector<std::string>{"折弯", "profile"}));
    const ToolsJobConfig ops = readToolsConfig("op=clean,DİMS,x\nrule=a,b\n", pluginReadRules());
    EXPECT_EQ(ops.operations,
              (std::vector<ToolOperation>{ToolOperation::Clean, ToolOperation::Dimensions}));
    EXPECT_EQ(ops.problems, (std::vector<std::string>{"op=x", "rule=a,b"}));
    EXPECT_TRUE(readPlotConfig("scope=current\n", pluginReadRules()).currentScope());
}

TEST(JobConfigs, NumbersAsTheStudioHasAlwaysWrittenThem) {
    // Qt's QString::number: halves away from zero, -0 as 0.
    const struct {
        double value;
        const char* general;
        const char* spacing;
    } cases[] = {
        {5, "5", "5.00"},
        {0.5, "0.5", "0.50"},
        {-0.0, "0", "0.00"},
        {0.125, "0.125", "0.13"},
        {-0.125, "-0.125", "-0.13"},
        {100000.5, "100001", "100000.50"},
        {12345.25, "12345.3", "12345.25"},
        {1234.5678, "1234.57", "1234.57"},
        {1e-5, "1e-05", "0.00"},
        {1234567, "1.23457e+06", "1234567.00"},
    };
    for (const auto& c : cases) {
        NestJobConfig nestConfig;
        nestConfig.gap = c.value;
        EXPECT_NE(writeNestConfig(nestConfig).find("\ngap=" + std::string(c.general) + "\n"),
                  std::string::npos)
            << c.general;
        EXPECT_EQ(studio::formatGeneral(c.value).toStdString(), c.general);
        MergeJobConfig mergeConfig;
        mergeConfig.spacing = c.value;
        EXPECT_NE(writeMergeConfig(mergeConfig).find("\nspacing=" + std::string(c.spacing) + "\n"),
                  std::string::npos)
            << c.spacing;
        EXPECT_EQ(QString::number(c.value, 'f', 2).toStdString(), c.spacing);
    }
}

struct SheetCase {
    const char* value;
    bool ok;
    double width, height;
    int count;
};

TEST(JobConfigs, NestSheetSeparatorsLengthsAndCounts) {
    const SheetCase cases[] = {
        {"3000x1500", true, 3000, 1500, 0},
        {"1500*3000", true, 3000, 1500, 0},
        {"3000 × 1500", true, 3000, 1500, 0},
        {"3000X1500", true, 3000, 1500, 0},
        {"3000＊1500", true, 3000, 1500, 0},
        {"3000乘1500", true, 3000, 1500, 0},
        {"2500x1250x4", true, 2500, 1250, 4},
        {"2500x1250x-1", true, 2500, 1250, 0},
        {"2500x1250x0", true, 2500, 1250, 0},
        {"2500x1250xabc", true, 2500, 1250, 0},
        {"  1250.5 x 2500mm x 3 pieces", true, 2500, 1250.5, 3},
        {"10x10", true, 10, 10, 0},
        {"9x3000", false, 0, 0, 0},
        {"3000x9.99", false, 0, 0, 0},
        {"3000", false, 0, 0, 0},
        {"", false, 0, 0, 0},
        {"x", false, 0, 0, 0},
        {"abcx1500", false, 0, 0, 0},
        {"3000y1500", false, 0, 0, 0},
        {"infx1500", false, 0, 0, 0},
        {"nanx1500", false, 0, 0, 0},
        {"3000x1e400", false, 0, 0, 0},
    };
    for (const SheetCase& c : cases) {
        SheetSize stock{1, 2, 3};
        EXPECT_EQ(parseSheetLine(c.value, stock, pluginReadRules()), c.ok) << c.value;
        if (c.ok) {
            EXPECT_EQ(stock.width, c.width) << c.value;
            EXPECT_EQ(stock.height, c.height) << c.value;
            EXPECT_EQ(stock.count, c.count) << c.value;
        } else {
            EXPECT_EQ(stock.width, 1) << "untouched on failure: " << c.value;
        }
    }
}

NestJobConfig nestRead(const std::string& text) {
    return readNestConfig(text, pluginReadRules());
}

TEST(JobConfigs, NestNumbersAreClampedOrIgnored) {
    struct Case {
        const char* line;
        double gap, margin, cell, seconds;
    };
    const Case cases[] = {
        {"", 5, 10, 2, 20},
        {"gap=-1", 0, 10, 2, 20},
        {"gap=abc", 0, 10, 2, 20},
        {"gap=2.5", 2.5, 10, 2, 20},
        {"gap=inf", 0, 10, 2, 20},
        {"gap=100", 100, 10, 2, 20},
        {"gap=150", kLargestGap, 10, 2, 20},
        {"margin=0", 5, 0, 2, 20},
        {"margin=-3", 5, 0, 2, 20},
        {"margin=12.5mm", 5, 12.5, 2, 20},
        {"cell=0.2", 5, 10, 2, 20},
        {"cell=0.5", 5, 10, 0.5, 20},
        {"cell=50", 5, 10, 10, 20},
        {"cell=nan", 5, 10, 2, 20},
        {"seconds=0.5", 5, 10, 2, 0.5 * 0 + 20},
        {"seconds=1", 5, 10, 2, 1},
        {"seconds=9999", 5, 10, 2, 600},
        {"seconds=", 5, 10, 2, 20},
    };
    for (const Case& c : cases) {
        const NestJobConfig config = nestRead(c.line);
        EXPECT_EQ(config.gap, c.gap) << c.line;
        EXPECT_EQ(config.margin, c.margin) << c.line;
        EXPECT_EQ(config.cell, c.cell) << c.line;
        EXPECT_EQ(config.seconds, c.seconds) << c.line;
    }
}

TEST(JobConfigs, NestSwitchesTurnOffOnlyForTheDigitZero) {
    struct Case {
        const char* value;
        bool on;
    };
    const Case cases[] = {{"0", false}, {"1", true},    {"false", true}, {"", true},
                          {"00", true}, {" 0 ", false}, {"no", true}};
    for (const Case& c : cases) {
        const std::string v = c.value;
        const NestJobConfig config = nestRead("rotate=" + v + "\nmirror=" + v + "\npdf=" + v);
        EXPECT_EQ(config.rotate, c.on) << v;
        EXPECT_EQ(config.mirror, c.on) << v;
        EXPECT_EQ(config.pdf, c.on) << v;
    }
    const NestJobConfig defaults = nestRead("");
    EXPECT_TRUE(defaults.rotate);
    EXPECT_TRUE(defaults.mirror);
    EXPECT_FALSE(defaults.pdf);
}

}  // namespace
}  // namespace qks
