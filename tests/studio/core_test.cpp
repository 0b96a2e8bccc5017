// Job configs, parts and progress readers, log tail, signatures and the file-list rule.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "qks/studio/files.h"
#include "qks/studio/jobconfig.h"
#include "qks/studio/logtail.h"
#include "qks/studio/partsfile.h"
#include "qks/studio/preview.h"
#include "qks/studio/progressfile.h"
#include "test_support.h"

using namespace qks::studio;
using qks::studio::test::readFile;
using qks::studio::test::writeFile;

namespace {

// The config bytes as the pages write them.
QByteArray nestConfigBytes(const NestForm& form, const QVector<PartRow>& parts,
                           const QString& partsFile, const QString& log) {
    return jobFileBytes(qks::contract::writeNestConfig(nestJobConfig(form, parts, partsFile, log)));
}

QByteArray plotConfigBytes(const PlotForm& form) {
    return jobFileBytes(form.filesTarget
                            ? qks::contract::writePlotFilesConfig(plotFilesJobConfig(form))
                            : qks::contract::writePlotConfig(plotJobConfig(form)));
}

QByteArray mergeConfigBytes(const MergeForm& form) {
    return jobFileBytes(qks::contract::writeMergeConfig(mergeJobConfig(form)));
}

PartRow row(int id, int quantity, bool enabled = true) {
    PartRow r;
    r.id = id;
    r.quantity = quantity;
    r.enabled = enabled;
    return r;
}

TEST(NestConfig, WrittenByteForByte) {
    NestForm form;
    form.source = qks::contract::PartSource::Files;
    form.files = QStringList{QStringLiteral("/d/a.dxf"), QStringLiteral("/d/零件 b.dwg")};
    form.layerText = QStringLiteral("  CUT,板材 ");
    form.outDirText = QStringLiteral(" /home/u/QKS 套料 ");
    form.prefixText = QStringLiteral("   ");
    form.sheetText = QStringLiteral("  3000x1500x5 \n\n   \n2500x1250x10\r\n2000x1000");
    form.gap = 5;
    form.margin = 0.5;
    form.cell = 2.25;
    form.seconds = 12;
    form.rotate = true;
    form.mirror = false;
    form.pdf = true;
    form.units = DrawingUnits::Inches;
    const QVector<PartRow> parts = {row(3, 4), row(1, 7, false), row(12, 999)};
    const QByteArray bytes = nestConfigBytes(form, parts, QStringLiteral("/t/qks_nest_parts.txt"),
                                             QStringLiteral("/t/qks_nest.log"));
    EXPECT_EQ(bytes, QStringLiteral("source=files\n"
                                    "partsFile=/t/qks_nest_parts.txt\n"
                                    "file=/d/a.dxf\n"
                                    "file=/d/零件 b.dwg\n"
                                    "layer=CUT,板材\n"
                                    "outDir=/home/u/QKS 套料\n"
                                    "outDwg=/home/u/QKS 套料/套料图.dxf\n"
                                    "log=/t/qks_nest.log\n"
                                    "prefix=\n"
                                    "sheet=3000x1500x5\n"
                                    "sheet=2500x1250x10\n"
                                    "sheet=2000x1000\n"
                                    "gap=5\n"
                                    "margin=0.5\n"
                                    "cell=2.25\n"
                                    "rotate=1\n"
                                    "mirror=0\n"
                                    "pdf=1\n"
                                    "seconds=12\n"
                                    "partcount 3=4\n"
                                    "partcount 1=0\n"
                                    "partcount 12=999\n"
                                    "units=inch\n")
                         .toUtf8());
}

TEST(NestConfig, FileLinesOnlyForFileSourceAndGeneralNumbers) {
    NestForm form;
    form.source = qks::contract::PartSource::Picked;
    form.files = QStringList{QStringLiteral("/d/a.dxf")};
    const QString text = QString::fromUtf8(nestConfigBytes(form, {}, {}, {}));
    EXPECT_FALSE(text.contains(QStringLiteral("file=")));
    EXPECT_FALSE(text.contains(QStringLiteral("partcount")));
    EXPECT_TRUE(text.contains(QStringLiteral("\ngap=5\nmargin=10\ncell=2\n")));
    EXPECT_TRUE(text.endsWith(QStringLiteral("seconds=12\n")));
    // Empty output folder: the drawing name stands alone, not as "/套料图.dxf".
    EXPECT_TRUE(text.contains(QStringLiteral("\noutDwg=套料图.dxf\n")));
    form.units = DrawingUnits::Millimetres;
    EXPECT_TRUE(QString::fromUtf8(nestConfigBytes(form, {}, {}, {}))
                    .endsWith(QStringLiteral("seconds=12\nunits=mm\n")));

    const struct {
        double value;
        const char* text;
    } numbers[] = {{5, "5"},     {0.5, "0.5"}, {12, "12"}, {0.1, "0.1"}, {1234.5678, "1234.57"},
                   {100, "100"}, {300, "300"}};
    for (const auto& n : numbers)
        EXPECT_EQ(formatGeneral(n.value), QLatin1String(n.text));
}

TEST(PlotConfig, CurrentAndFilesTargets) {
    PlotForm form;
    form.outDir = QStringLiteral("/out/QKS 出图");
    form.prefixText = QStringLiteral("    ");
    form.style = QString();  // "沿用布局样式"
    form.scope = QStringLiteral("frames");
    form.logPath = QStringLiteral("/t/qks_plot.log");
    form.files = QStringList{QStringLiteral("/d/a.dwg")};
    EXPECT_EQ(plotConfigBytes(form),
              QStringLiteral("outDir=/out/QKS 出图\nprefix=\nstyle=\nscope=frames\n"
                             "log=/t/qks_plot.log\n")
                  .toUtf8());

    form.filesTarget = true;
    form.prefixText = QStringLiteral(" 项目 7 ");
    form.style = QStringLiteral("monochrome.ctb");
    form.files = QStringList{QStringLiteral("/d/b.dxf"), QStringLiteral("/d/a.DWG")};
    EXPECT_EQ(plotConfigBytes(form),
              QStringLiteral("outDir=/out/QKS 出图\nprefix=项目 7\nstyle=monochrome.ctb\n"
                             "scope=frames\nlog=/t/qks_plot.log\nfile=/d/b.dxf\nfile=/d/a.DWG\n")
                  .toUtf8());
}

TEST(MergeConfig, TwoDecimalSpacingFlagsAndListOrder) {
    MergeForm form;
    form.out = QStringLiteral("/o/合并.dwg");
    form.outFolder = QStringLiteral("/o");
    form.columns = 4;
    form.spacing = 0.1;
    form.pdf = false;
    form.logPath = QStringLiteral("/t/qks_merge.log");
    form.files = QStringList{QStringLiteral("/d/z.dwg"), QStringLiteral("/d/a.dxf")};
    EXPECT_EQ(mergeConfigBytes(form),
              QStringLiteral("outDwg=/o/合并.dwg\noutDir=/o\ncolumns=4\nspacing=0.10\npdf=0\n"
                             "log=/t/qks_merge.log\nfile=/d/z.dwg\nfile=/d/a.dxf\n")
                  .toUtf8());

    const struct {
        const char* in;
        const char* out;
    } cases[] = {{"/o/a.dwg", "/o/a.dwg"},
                 {"/o/A.DWG", "/o/A.DWG"},
                 {"/o/a", "/o/a.dwg"},
                 {"/o/a.dxf", "/o/a.dxf.dwg"}};
    for (const auto& c : cases)
        EXPECT_EQ(withDwgSuffix(QString::fromUtf8(c.in)), QString::fromUtf8(c.out));
}

TEST(JobFiles, WriteReplacesAndReportsFailure) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("qks_nest.cfg"));
    writeFile(path, QByteArray(500, 'x'));
    ASSERT_TRUE(writeJobFile(path, "a=1\n"));
    EXPECT_EQ(readFile(path), QByteArray("a=1\n"));
    EXPECT_FALSE(writeJobFile(dir.filePath(QStringLiteral("missing/qks_nest.cfg")), "a=1\n"));
    EXPECT_FALSE(writeJobFile(dir.path(), "a=1\n"));  // a folder is in the way
    // Failed writes leave the written config as it was, and nothing beside it.
    EXPECT_EQ(readFile(path), QByteArray("a=1\n"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("qks_nest.cfg")});

    ASSERT_TRUE(truncateFile(path));
    EXPECT_TRUE(readFile(path).isEmpty());
}

const char* kPartsFile =
    "# QKS-PARTS 2\n"
    "O\t9\t0,0;1,0;1,1\n"  // before its P record: unknown id
    "PLACE\t1\t0\t0\t0\t0\n"
    "P\t1\t4\t2.5e+06\t-10\t-20\t2000\t1250\tCURRENT\tA1;B2\t当前图\n"
    "O\t1\t-10.000,-20.000;1990.000,-20.000;1990.000,1230.000;-10.000,1230.000\r\n"
    "H\t1\t0,0;10,0;10,10\n"
    "H\t1\t100,100;110,100;bad;110,110;7\n"
    "\n"
    "P\t2\t0\t1\t0\t0\t1\t1\t/d/a.dxf\t\t零件\n"
    "O\t2\t0,0;1,0\n"
    "P\t3\tx\t1\t0\t0\t1\t1\tsrc\t\n"  // ten fields: not a part
    "P\t4\t2\tjunk\t0\t0\t5\t6\tsrc\t\tfirst\n"
    "P\t4\t6\t30\t0\t0\t5\t6\tsrc\t\tsecond\n"
    "O\t4\t0,0;5,0;5,6\n";

TEST(PartsFile, ReadsRowsOutlinesAndHoles) {
    const QVector<PartRow> parts = parsePartsFile(kPartsFile);
    ASSERT_EQ(parts.size(), 4);
    const PartRow& a = parts[0];
    EXPECT_EQ(a.id, 1);
    EXPECT_EQ(a.quantity, 4);
    EXPECT_EQ(a.name, QStringLiteral("当前图"));
    EXPECT_DOUBLE_EQ(a.area, 2500000);
    EXPECT_DOUBLE_EQ(a.refX, -10);
    EXPECT_DOUBLE_EQ(a.refY, -20);
    EXPECT_DOUBLE_EQ(a.width, 2000);
    EXPECT_DOUBLE_EQ(a.height, 1250);
    ASSERT_EQ(a.outline.size(), 4);  // the CR of a CR LF line end is trimmed away
    EXPECT_EQ(a.outline[3], QPointF(-10, 1230));
    ASSERT_EQ(a.holes.size(), 2);
    EXPECT_EQ(a.holes[1].size(), 3);  // "bad" and "7" are skipped
    EXPECT_EQ(a.holes[1][2], QPointF(110, 110));

    // Quantity 0 and a short outline are still listed.
    EXPECT_EQ(parts[1].id, 2);
    EXPECT_EQ(parts[1].quantity, 0);
    EXPECT_EQ(parts[1].outline.size(), 2);

    // A repeated id: both rows are listed, the outline belongs to the later one, and a
    // malformed number reads as 0.
    EXPECT_EQ(parts[2].name, QStringLiteral("first"));
    EXPECT_DOUBLE_EQ(parts[2].area, 0);
    EXPECT_TRUE(parts[2].outline.isEmpty());
    EXPECT_EQ(parts[3].name, QStringLiteral("second"));
    EXPECT_EQ(parts[3].outline.size(), 3);

    EXPECT_TRUE(parsePartsFile("# QKS-PARTS 2\n").isEmpty());
    EXPECT_TRUE(parsePartsFile(QByteArray()).isEmpty());
}

TEST(PartsFile, ReloadKeepsUserChoicesAndTallies) {
    QVector<PartRow> shown = {row(1, 4), row(2, 3), row(5, 1)};
    shown[0].enabled = false;
    shown[1].quantity = 17;
    shown[1].rotation = RotationChoice::HalfTurn;
    QVector<PartRow> fresh = {row(2, 3), row(1, 4), row(9, 8)};
    keepUserChoices(shown, fresh);
    EXPECT_EQ(fresh[0].quantity, 17);
    EXPECT_EQ(fresh[0].rotation, RotationChoice::HalfTurn);
    EXPECT_TRUE(fresh[0].enabled);
    EXPECT_FALSE(fresh[1].enabled);
    EXPECT_EQ(fresh[1].quantity, 4);
    EXPECT_TRUE(fresh[2].enabled);
    EXPECT_EQ(fresh[2].quantity, 8);
    EXPECT_EQ(partTally(fresh), std::make_pair(3, qint64{25}));  // the disabled row does not count
    // A parts file's quantities are not capped like typed ones; their sum must not wrap.
    fresh[0].quantity = fresh[2].quantity = 1666666669;
    EXPECT_EQ(partTally(fresh).second, qint64{2} * 1666666669);
}

TEST(PartsFile, QuantityEdits) {
    const struct {
        const char* text;
        int expected;
    } cases[] = {{"12", 12},           {"0", 0},  {"999", 999}, {"1500", 999}, {"-3", 7},
                 {"abc", 7},           {"", 7},   {"3.5", 7},   {" 42 ", 42},  {"+8", 8},
                 {"99999999999", 999}, {"1e3", 7}};
    for (const auto& c : cases)
        EXPECT_EQ(editedQuantity(QString::fromUtf8(c.text), 7), c.expected) << c.text;
}

TEST(ProgressFile, RecordsAndMalformedLines) {
    const ProgressSnapshot r = parseProgressFile(
        "PLACE\t1\t0\t0\t0\t0\n"  // before any sheet
        "CFG\t10.000\t2.000\t4.000\n"
        "SHEET\t3000.000\t1500.000\n"
        "PLACE\t1\t0\t0\t0\t0\n"
        "PLACE\t2\t90\t1\t212\t3\n"
        "PLACE\t2\t90\t1\n"  // too short
        "SHEET\t2500.000\n"  // too short
        "  SHEET\t2500.000\t1250.000  \r\n"
        "PLACE\tx\t180\t0\t7\t8\n"
        "BOGUS\t1\n"
        "UTIL\n"
        "UTIL\t35.20\n"
        "UNPLACED\t3\n"
        "ELAPSED\t3.07\n"
        "STATE\trunning\n");
    ASSERT_TRUE(r.frame);
    EXPECT_DOUBLE_EQ(r.frame->margin, 10);
    EXPECT_DOUBLE_EQ(r.frame->cell, 2);
    EXPECT_DOUBLE_EQ(r.frame->pad, 4);
    ASSERT_EQ(r.sheets.size(), 2);
    EXPECT_DOUBLE_EQ(r.sheets[1].width, 2500);
    EXPECT_DOUBLE_EQ(r.sheets[1].height, 1250);
    ASSERT_EQ(r.sheets[0].placements.size(), 2);
    const Placement& p = r.sheets[0].placements[1];
    EXPECT_EQ(p.partId, 2);
    EXPECT_EQ(p.angle, 90);
    EXPECT_TRUE(p.mirrored);
    EXPECT_EQ(p.column, 212);
    EXPECT_EQ(p.row, 3);
    ASSERT_EQ(r.sheets[1].placements.size(), 1);
    EXPECT_EQ(r.sheets[1].placements[0].partId, 0);
    EXPECT_DOUBLE_EQ(*r.utilisation, 35.2);
    EXPECT_EQ(*r.unplaced, 3);
    EXPECT_DOUBLE_EQ(*r.elapsed, 3.07);
    EXPECT_EQ(*r.state, QStringLiteral("running"));

    // CFG without padLength, and records that are missing stay unset.
    const ProgressSnapshot s = parseProgressFile("CFG\t5\t1\nUTIL\t0.00\n");
    ASSERT_TRUE(s.frame);
    EXPECT_DOUBLE_EQ(s.frame->pad, 0);
    EXPECT_TRUE(s.sheets.isEmpty());
    EXPECT_TRUE(s.utilisation);
    EXPECT_FALSE(s.unplaced);
    EXPECT_FALSE(s.state);
    EXPECT_FALSE(parseProgressFile("CFG\t5\n").frame);
}

TEST(Preview, PlacementPutsOrientedBoxAtGridCorner) {
    PartRow part = row(1, 1);
    part.refX = 100;
    part.refY = 50;
    part.outline = {{100, 50}, {140, 50}, {140, 70}, {100, 70}};  // 40 x 20
    part.holes = {{{110, 55}, {120, 55}, {120, 60}}};
    const GridFrame frame{10, 2, 4};
    const struct {
        int angle;
        bool mirrored;
        double w, h;
    } cases[] = {{0, false, 40, 20}, {90, false, 20, 40}, {180, true, 40, 20}, {270, true, 20, 40}};
    for (const auto& c : cases) {
        const std::optional<PlacedPart> placed =
            placePart(part, {1, c.angle, c.mirrored, 5, 7}, frame);
        ASSERT_TRUE(placed);
        double minX = 1e9, minY = 1e9, maxX = -1e9, maxY = -1e9;
        for (const QPointF& p : placed->outer) {
            minX = std::min(minX, p.x());
            minY = std::min(minY, p.y());
            maxX = std::max(maxX, p.x());
            maxY = std::max(maxY, p.y());
        }
        EXPECT_NEAR(minX, 5 * 2 + 14, 1e-9) << c.angle;
        EXPECT_NEAR(minY, 7 * 2 + 14, 1e-9) << c.angle;
        EXPECT_NEAR(maxX - minX, c.w, 1e-9) << c.angle;
        EXPECT_NEAR(maxY - minY, c.h, 1e-9) << c.angle;
        ASSERT_EQ(placed->holes.size(), 1);
    }
    // Mirrored, unrotated: the hole near the left edge moves to the right side.
    const PlacedPart m = *placePart(part, {1, 0, true, 0, 0}, GridFrame{0, 1, 0});
    EXPECT_NEAR(m.holes[0][0].x(), 30, 1e-9);
    EXPECT_NEAR(m.holes[0][0].y(), 5, 1e-9);

    part.outline.resize(2);
    EXPECT_FALSE(placePart(part, {1, 0, false, 0, 0}, frame));
}

TEST(LogTail, AppendsRestartsAndEnds) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("qks_plot.log"));
    JobLogTail tail(path);
    EXPECT_TRUE(tail.poll().lines.isEmpty());  // no file yet

    writeFile(path, "QKS 批量出图\r\nRUN 布局1\r\nOK a.pdf");
    TailChunk first = tail.poll();
    EXPECT_EQ(first.lines, QStringList({QStringLiteral("QKS 批量出图"), QStringLiteral("RUN 布局1"),
                                        QStringLiteral("OK a.pdf")}));
    EXPECT_EQ(first.end, JobEnd::None);
    EXPECT_TRUE(tail.poll().lines.isEmpty());  // nothing new

    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::Append));
        file.write("\r\n  \r\nDONE 1 ok\r\n");
    }
    TailChunk second = tail.poll();
    EXPECT_EQ(second.lines, QStringList({QStringLiteral("DONE 1 ok")}));
    EXPECT_EQ(second.end, JobEnd::Done);

    // The next job rewrote the log: shorter than what was read, so start again.
    writeFile(path, "QKS 合并\r\n");
    TailChunk third = tail.poll();
    EXPECT_EQ(third.lines, QStringList({QStringLiteral("QKS 合并")}));
    EXPECT_EQ(tail.offset(), QByteArray("QKS 合并\r\n").size());

    const struct {
        const char* chunk;
        JobEnd end;
    } ends[] = {{"DONE x\nFATAL y\n", JobEnd::Failed},
                {"FATAL y\nDONE x\n", JobEnd::Failed},
                {"ok DONE\n", JobEnd::Done},
                {"fatal done\n", JobEnd::None},
                {"", JobEnd::None}};
    for (const auto& e : ends)
        EXPECT_EQ(JobLogTail::interpret(e.chunk).end, e.end) << e.chunk;
}

TEST(LogTail, LastLines) {
    QByteArray log;
    for (int i = 1; i <= 130; ++i)
        log += "  line " + QByteArray::number(i) + "\n\n";
    const QStringList raw = lastLogLines(log, 120, false);
    ASSERT_EQ(raw.size(), 120);
    EXPECT_EQ(raw.first(), QStringLiteral("  line 11"));
    const QStringList trimmed = lastLogLines(log + "   \n", 80, true);
    ASSERT_EQ(trimmed.size(), 80);
    EXPECT_EQ(trimmed.first(), QStringLiteral("line 51"));
    EXPECT_EQ(trimmed.last(), QStringLiteral("line 130"));
}

TEST(Files, SignatureChangesWithContent) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("qks_nest_parts.txt"));
    EXPECT_TRUE(fileSignature(path).isEmpty());
    SignatureWatch watch;
    EXPECT_FALSE(watch.changed(path));

    writeFile(path, "abc");
    const QString sig = fileSignature(path);
    QFile file(path);
    const qint64 ms = QFileInfo(path).lastModified().toMSecsSinceEpoch();
    EXPECT_EQ(sig, QStringLiteral("%1-3").arg(ms));
    EXPECT_TRUE(watch.changed(path));
    EXPECT_FALSE(watch.changed(path));  // read once per change
    writeFile(path, "abcd");
    EXPECT_TRUE(watch.changed(path));
    watch.forget();
    EXPECT_TRUE(watch.changed(path));
    QFile::remove(path);
    EXPECT_FALSE(watch.changed(path));
}

TEST(Files, DrawingListRule) {
    const QStringList existing = {QStringLiteral("/d/a.dwg")};
    const QStringList accepted =
        acceptedDrawingPaths(existing, {QStringLiteral("/d/a.dwg"), QStringLiteral("/d/B.DWG"),
                                        QStringLiteral("/d/c.pdf"), QStringLiteral("/d/e.Dxf"),
                                        QStringLiteral("/d/B.DWG"), QStringLiteral("/d/dwg"),
                                        QStringLiteral("/d/A.dwg")});
    EXPECT_EQ(accepted, QStringList({QStringLiteral("/d/B.DWG"), QStringLiteral("/d/e.Dxf"),
                                     QStringLiteral("/d/A.dwg")}));

    QTemporaryDir dir;
    for (const char* name : {"b.dxf", "a.DWG", "c.pdf", "z.dwg"})
        writeFile(dir.filePath(QString::fromUtf8(name)), "0\nEOF\n");
    QDir(dir.path()).mkdir(QStringLiteral("sub.dwg"));
    const QStringList found = drawingFilesInFolder(dir.path());
    QStringList names;
    for (const QString& p : found) {
        EXPECT_TRUE(QFileInfo(p).isAbsolute());
        names << QFileInfo(p).fileName();
    }
    EXPECT_EQ(names, QStringList({QStringLiteral("a.DWG"), QStringLiteral("b.dxf"),
                                  QStringLiteral("z.dwg")}));
}

}  // namespace
