// The BOM job's side in the Studio without widgets: its config, the kept settings and the
// rows file with the user's edits.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "qks/studio/bomrows.h"
#include "qks/studio/bomsettings.h"
#include "qks/studio/jobconfig.h"
#include "test_support.h"

using namespace qks::studio;
using qks::studio::test::writeFile;

namespace {

// The config bytes as the page writes them.
QByteArray bomConfigBytes(const BomForm& form, const BomSettings& settings,
                          const QVector<BomEdit>& edits) {
    return jobFileBytes(qks::contract::writeBomConfig(bomJobConfig(form, settings, edits)));
}

// The "edit" line an edit gives, without "edit ".
QString editLine(const BomEdit& edit) {
    const QString text = QString::fromUtf8(bomConfigBytes({}, {}, {edit}));
    return text.section(QLatin1Char('\n'), -2, -2).mid(5);
}

BomSettings twoMaterials() {
    BomSettings settings;
    qks::contract::Material steel{"Q235", 7.85, 0.44, {{1, 0.38}}};
    qks::contract::Material aluminium{"铝 5052", 2.7, 0.4, {}};
    settings.materials = {steel, aluminium};
    settings.defaultMaterial = QStringLiteral("铝 5052");
    settings.defaultThickness = 1.5;
    settings.defaultRadius = 0.5;
    return settings;
}

TEST(BomConfig, FormSettingsAndEdits) {
    const QString settingsLines = QStringLiteral(
        "material Q235=7.85,0.44,1:0.38\nmaterial 铝 5052=2.7,0.4\n"
        "defaultmaterial=铝 5052\ndefaultthickness=1.5\ndefaultradius=0.5\n");
    BomForm files;
    files.files = QStringList{QStringLiteral("/d/a.dxf"), QStringLiteral("/d/支架 b.dwg")};
    files.outDir = QStringLiteral("/o/BOM");
    files.workbookText = QStringLiteral("  ");
    files.zip = true;  // no delivery folder to zip
    files.profileLayerText = QStringLiteral("  ");
    files.logPath = QStringLiteral("/t/qks_bom.log");
    BomForm current = files;
    current.currentDrawing = true;
    current.workbookText = QStringLiteral(" 明细.xlsx ");
    current.csv = current.package = true;
    current.nestFolderText = QStringLiteral(" /o/套料 ");
    current.profileLayerText = QStringLiteral(" 折弯,BEND ");
    current.profileWidth = 120.5;
    const struct {
        const BomForm& form;
        QVector<BomEdit> edits;
        QString expected;
    } cases[] = {
        {files,
         {},
         QStringLiteral("outDir=/o/BOM\nout=BOM.xlsx\nlog=/t/qks_bom.log\nfile=/d/a.dxf\n"
                        "file=/d/支架 b.dwg\ncsv=0\npackage=0\nzip=0\nprofilewidth=100\n") +
             settingsLines},
        {current,
         {{QStringLiteral("k1"), QStringLiteral("Q235"), {}, {}},
          {QStringLiteral("k2"), {}, 3.0, 12}},
         QStringLiteral("outDir=/o/BOM\nout=明细.xlsx\nlog=/t/qks_bom.log\nscope=current\ncsv=1\n"
                        "package=1\nzip=1\nnest=/o/套料\nprofilelayer=折弯,BEND\n"
                        "profilewidth=120.5\n") +
             settingsLines + QStringLiteral("edit k1=Q235,,\nedit k2=,3,12\n")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(QString::fromUtf8(bomConfigBytes(c.form, twoMaterials(), c.edits)), c.expected);
}

TEST(BomSettingsStore, SeedsKeepsAndRepairs) {
    QTemporaryDir dir;
    const QString saved = dir.filePath(QStringLiteral("saved/QksStudio.ini"));
    ASSERT_TRUE(saveBomSettings(saved, twoMaterials()));
    const BomSettings seeded = defaultBomSettings();
    const struct {
        const char* what;
        QByteArray ini;  // empty: the file `saved`
        std::vector<std::string> names;
        const char* defaultMaterial;
        double thickness, radius;
    } cases[] = {
        {"no file", "-", {}, "Q235", 2, 2},
        {"saved", "", {"Q235", "铝 5052"}, "铝 5052", 1.5, 0.5},
        // Bad density, a name the config cannot carry, a repeat; an unquoted value QSettings
        // reads as a list; a default not in the table; numbers out of range.
        {"hand-written",
         "[bom]\nmaterials\\size=4\nmaterials\\1\\name=X\nmaterials\\1\\value=\"0,0.4\"\n"
         "materials\\2\\name=A=B\nmaterials\\2\\value=\"1,0.4\"\n"
         "materials\\3\\name=SUS304\nmaterials\\3\\value=7.93,0.45,3:0.43\n"
         "materials\\4\\name=SUS304\nmaterials\\4\\value=\"1,0.4\"\n"
         "defaultMaterial=Q235\ndefaultThickness=0\ndefaultRadius=abc\n",
         {"SUS304"},
         "SUS304",
         2,
         2},
        {"nothing usable", "[bom]\nmaterials\\size=1\nmaterials\\1\\name=X\n", {}, "Q235", 2, 2},
    };
    for (const auto& c : cases) {
        QString path = saved;
        if (!c.ini.isEmpty()) {
            path = dir.filePath(QString::fromUtf8(c.what) + QStringLiteral(".ini"));
            if (c.ini != "-") writeFile(path, c.ini);
        }
        const BomSettings loaded = loadBomSettings(path);
        std::vector<std::string> names;
        for (const auto& material : loaded.materials)
            names.push_back(material.name);
        if (c.names.empty()) {
            EXPECT_EQ(names.size(), seeded.materials.size()) << c.what;
        } else {
            EXPECT_EQ(names, c.names) << c.what;
        }
        EXPECT_EQ(loaded.defaultMaterial, QString::fromUtf8(c.defaultMaterial)) << c.what;
        EXPECT_EQ(loaded.defaultThickness, c.thickness) << c.what;
        EXPECT_EQ(loaded.defaultRadius, c.radius) << c.what;
    }
    EXPECT_EQ(loadBomSettings(saved).materials[0].ranges[0].kFactor, 0.38);

    // The settings table's cells, with the separators people type.
    const auto cells =
        materialFromCells(QStringLiteral("SPCC"), QStringLiteral(" 7.85"), QStringLiteral("0.44 "),
                          QStringLiteral("3：0.42；1 :0.38"));
    ASSERT_TRUE(cells);
    EXPECT_EQ(kFactorRangesText(*cells), QStringLiteral("1:0.38, 3:0.42"));
    EXPECT_FALSE(materialFromCells(QStringLiteral("SPCC"), QStringLiteral("7.85"),
                                   QStringLiteral("1.5"), QString()));
}

TEST(BomRows, ReadEditWeighAndTotal) {
    BomRow row = qks::studio::test::bracketBomRow();
    row.defaulted = qks::contract::kDefaultedMaterial | qks::contract::kDefaultedQuantity;
    const QByteArray file =
        QByteArray::fromStdString(qks::contract::formatBomRows({row})) + "R\tshort\n# note\n";
    const QVector<BomRow> read = parseBomRows(file);
    ASSERT_EQ(read.size(), 1);
    EXPECT_EQ(read[0].name, "支架");
    EXPECT_EQ(read[0].defaulted, row.defaulted);

    const std::uint32_t noDefaults = qks::contract::kDefaultedNone;
    const struct {
        const char* material;
        double thickness;
        int quantity;
        double net, gross;  // kg per piece
        std::uint32_t defaulted;
        const char* edit;  // empty: no edit line
    } cases[] = {
        {"Q235", 2, 4, 0.2355, 0.314, row.defaulted, ""},
        {"Q235", 2, 10, 0.2355, 0.314, qks::contract::kDefaultedMaterial, ",,10"},
        {"铝 5052", 3, 4, 0.1215, 0.162, qks::contract::kDefaultedQuantity, "铝 5052,3,"},
        // Not in the settings: the row keeps its density.
        {"Q345", 1, 0, 0.11775, 0.157, noDefaults, "Q345,1,0"},
    };
    for (const auto& c : cases) {
        const BomRow edited = editBomRow(read[0], twoMaterials(), QString::fromUtf8(c.material),
                                         c.thickness, c.quantity);
        EXPECT_NEAR(edited.netWeight, c.net, 1e-9) << c.material << c.quantity;
        EXPECT_NEAR(edited.grossWeight, c.gross, 1e-9) << c.material << c.quantity;
        EXPECT_EQ(edited.defaulted, c.defaulted) << c.material << c.quantity;
        const QVector<BomEdit> edits = bomEdits(read, {edited});
        EXPECT_EQ(edits.isEmpty() ? QString() : editLine(edits[0]),
                  *c.edit ? QStringLiteral("k1=") + QString::fromUtf8(c.edit) : QString());
    }

    BomRow other = read[0];
    other.key = "f2";
    other.quantity = 2;
    const BomTotals totals = bomTotals({read[0], other});
    EXPECT_EQ(totals.quantity, 6);
    EXPECT_NEAR(totals.weight, 6 * 0.2355, 1e-9);
    EXPECT_EQ(totals.cutLength, 4200);
    EXPECT_EQ(totals.pierces, 18);
}

}  // namespace
