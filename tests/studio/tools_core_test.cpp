// The drawing tools' side in the Studio without widgets: their config, the kept layer rules and
// the tables file.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "qks/studio/jobconfig.h"
#include "qks/studio/layerrules.h"
#include "qks/studio/toolstables.h"
#include "test_support.h"

using namespace qks::studio;
using qks::contract::LayerRule;
using qks::studio::test::writeFile;

namespace {

// The config bytes as the page writes them.
QByteArray toolsConfigBytes(const ToolsForm& form, const std::vector<LayerRule>& rules) {
    return jobFileBytes(qks::contract::writeToolsConfig(toolsJobConfig(form, rules)));
}

TEST(ToolsConfig, OperationsInRunOrderWithTheirOptionsOnly) {
    using Op = ToolOperation;
    ToolsForm files;
    files.files = QStringList{QStringLiteral("/d/a.dxf"), QStringLiteral("/d/支架 b.dwg")};
    files.outDir = QStringLiteral("/o/整理");
    files.logPath = QStringLiteral("/t/qks_tools.log");
    files.workbookText = QStringLiteral("  ");
    files.operations = {Op::Balloons, Op::Clean, Op::Area, Op::Clean};
    files.shortLength = 0.5;
    files.explode = files.areaLabels = true;
    files.textHeight = 5;
    ToolsForm current = files;
    current.currentDrawing = true;
    current.operations = {Op::Attributes, Op::Corners, Op::Layers};
    current.corner = CornerShape::Chamfer;
    current.cornerSize = 2;
    current.workbookText = QStringLiteral(" 属性.xlsx ");
    ToolsForm corners = files;
    corners.operations = {Op::Holes, Op::Corners};
    corners.textHeight = qks::contract::kDefaultAnnotationTextHeight;
    const std::vector<LayerRule> rules = {{"*图框*", "", "", "", "图框", "7", "ByLayer", ""},
                                          {"", "1", "", "LINE", "", "3", "", ""}};
    const QString head = QStringLiteral("outDir=/o/整理\nlog=/t/qks_tools.log\n");
    const QString fileLines = QStringLiteral("file=/d/a.dxf\nfile=/d/支架 b.dwg\n");
    const struct {
        const ToolsForm& form;
        QString expected;
    } cases[] = {
        {files, head + fileLines +
                    QStringLiteral("op=clean,area,balloons\njointol=0.6\nshortlen=0.5\nexplode=1\n"
                                   "arealabels=1\ntextheight=5\nout=标注清理.xlsx\n")},
        {current, head + QStringLiteral("scope=current\nop=layers,corners,attrs\n"
                                        "rule=*图框*,,,,图框,7,ByLayer,\nrule=,1,,LINE,,3,,\n"
                                        "chamfer=2\nout=属性.xlsx\n")},
        {corners, head + fileLines +
                      QStringLiteral("op=corners,holes\njointol=0.6\nradius=5\ntextheight=3.5\n")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(QString::fromUtf8(toolsConfigBytes(c.form, rules)), c.expected);
}

TEST(LayerRulesStore, SeedsKeepsAndRefusesUnusableRules) {
    const auto cells = [](const char* joined) {
        return QString::fromUtf8(joined).split(QLatin1Char('|'));
    };
    const struct {
        const char* cells;  // '|' between cells
        const char* rule;   // as a config line carries it; empty: refused
    } rows[] = {
        {" *图框? |  | CENTER* | LINE | 图框 | 7 | ByLayer | 50 ",
         "*图框?,,CENTER*,LINE,图框,7,ByLayer,50"},
        {"||||||HIDDEN|", ",,,,,,HIDDEN,"},
        {"|256|||||| -3", ",256,,,,,,-3"},
        {"||||||||", ""},                    // nine cells
        {"|||||||", ""},                     // matches and sets nothing
        {"|||INSERT||||", ",,,INSERT,,,,"},  // keeps what it matches
        {"a,b||||X|||", ""},                 // a comma splits the line
        {"||||X|257||", ""},                 // colour out of range
        {"|||||1||212", ""},                 // line weight out of range
        {"||||A/B|||", ""},                  // no such layer name
        {"||||X\t|||", ""},                  // control character
        {"|||||红||", ""},                   // colour not a number
    };
    for (const auto& row : rows) {
        const auto rule = layerRuleFromCells(cells(row.cells));
        EXPECT_EQ(rule ? QString::fromStdString(qks::contract::formatLayerRule(*rule)) : QString(),
                  QString::fromUtf8(row.rule))
            << row.cells;
    }

    QTemporaryDir dir;
    const QString saved = dir.filePath(QStringLiteral("saved/QksStudio.ini"));
    const std::vector<LayerRule> kept = {{"", "", "", "TEXT", "文字", "7", "", ""},
                                         {"*", "", "", "", "轮廓线", "", "", "50"}};
    ASSERT_TRUE(saveLayerRules(saved, kept));
    const auto formatted = [](const std::vector<LayerRule>& rules) {
        QStringList lines;
        for (const LayerRule& rule : rules)
            lines << QString::fromStdString(qks::contract::formatLayerRule(rule));
        return lines;
    };
    const struct {
        const char* what;
        QByteArray ini;  // empty: the file `saved`; "-": no file
        std::vector<LayerRule> expected;
    } stores[] = {
        {"no file", "-", qks::contract::defaultLayerRules()},
        {"saved", "", kept},
        // A bad colour, an unquoted value QSettings reads as a list, too few fields.
        {"hand-written",
         "[layerRules]\nrules\\size=3\nrules\\1\\value=\",,,LINE,L,x,,\"\n"
         "rules\\2\\value=,,,TEXT,文字,7,,\nrules\\3\\value=\"a,b\"\n",
         {kept[0]}},
        {"nothing usable", "[layerRules]\nrules\\size=1\nrules\\1\\value=x\n",
         qks::contract::defaultLayerRules()},
    };
    for (const auto& store : stores) {
        QString path = saved;
        if (!store.ini.isEmpty()) {
            path = dir.filePath(QString::fromUtf8(store.what) + QStringLiteral(".ini"));
            if (store.ini != "-") writeFile(path, store.ini);
        }
        EXPECT_EQ(formatted(loadLayerRules(path)), formatted(store.expected)) << store.what;
    }
}

TEST(ToolsTables, ReadWithTheStudioRulesAndSquared) {
    const QByteArray file =
        "\xEF\xBB\xBF# QKS-TABLES 1\nR\tbefore any table\n"
        "T\t面积周长\nH\t文件\t序号\t面积 (mm²)\nR\t/d/a.dxf\t1\t100.000\n"
        "R\t/d/b.dxf\t2\t\t\n"  // trimming drops the empty cells at the end
        "T\tTITLE\r\nH\t文件\t块\r\nR\t/d/a.dxf\tTITLE\t多出\r\n  \n";
    const QVector<ToolsTable> tables = parseToolsTables(file);
    ASSERT_EQ(tables.size(), 2);
    EXPECT_EQ(tables[0].name, QStringLiteral("面积周长"));
    EXPECT_EQ(tables[0].headers, QStringList({QStringLiteral("文件"), QStringLiteral("序号"),
                                              QStringLiteral("面积 (mm²)")}));
    EXPECT_EQ(tables[0].rows,
              (QVector<QStringList>{
                  {QStringLiteral("/d/a.dxf"), QStringLiteral("1"), QStringLiteral("100.000")},
                  {QStringLiteral("/d/b.dxf"), QStringLiteral("2"), QString()}}));
    EXPECT_EQ(tables[1].headers,
              QStringList({QStringLiteral("文件"), QStringLiteral("块"), QString()}));
    EXPECT_EQ(tables[1].rows.size(), 1);
    EXPECT_EQ(tables[1].rows[0].size(), 3);
    EXPECT_TRUE(parseToolsTables(QByteArray()).isEmpty());
}

}  // namespace
