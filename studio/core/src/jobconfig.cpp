#include "qks/studio/jobconfig.h"

#include "contract_text.h"
#include "qks/studio/bomrows.h"
#include "qks/studio/bomsettings.h"
#include "qks/studio/files.h"
#include "qks/studio/partsfile.h"
#include "settings_store.h"

#include <QFile>
#include <QSaveFile>

#include "qks/contract/config_keys.h"
#include "qks/contract/names.h"

namespace qks::studio {
namespace {

void addLine(QString& text, std::string_view key, const QString& value) {
    text += detail::fieldText(key);
    text += QLatin1Char('=');
    text += value;
    text += QLatin1Char('\n');
}

void addLine(QString& text, std::string_view key, std::string_view value) {
    text += detail::fieldText(key);
    text += QLatin1Char('=');
    text += detail::fieldText(value);
    text += QLatin1Char('\n');
}

// "KEY NAME=VALUE": lines that carry one entry of a list, named after the key.
void addNamedLine(QString& text, std::string_view key, const QString& name, const QString& value) {
    text += detail::fieldText(key);
    text += QLatin1Char(' ');
    text += name;
    text += QLatin1Char('=');
    text += value;
    text += QLatin1Char('\n');
}

// The drawings of a job that reads either the current drawing or files.
void addDrawingLines(QString& text, const DrawingJobForm& form) {
    if (form.currentDrawing) {
        addLine(text, contract::kScopeKey, contract::kCurrentScope);
    } else {
        for (const QString& file : form.files)
            addLine(text, contract::kFileKey, file);
    }
}

std::string_view unitsWord(DrawingUnits units) {
    switch (units) {
        case DrawingUnits::Auto:
            return contract::kUnitsAuto;
        case DrawingUnits::Millimetres:
            return contract::kUnitsMillimetres;
        case DrawingUnits::Inches:
            return contract::kUnitsInches;
    }
    return contract::kUnitsAuto;
}

QString flag(bool on) {
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

// Angles in degrees, counter-clockwise; empty when the part follows the form.
QString rotationAngles(RotationChoice rotation) {
    switch (rotation) {
        case RotationChoice::Global:
            return {};
        case RotationChoice::Fixed0:
            return detail::fieldText(contract::kFixedRotation);
        case RotationChoice::HalfTurn:
            return detail::fieldText(contract::kHalfTurns);
        case RotationChoice::QuarterTurns:
            return detail::fieldText(contract::kQuarterTurns);
    }
    return {};
}

}  // namespace

QString formatGeneral(double value) {
    return QString::number(value, 'g', 6);
}

QByteArray composeNestConfig(const NestForm& form, const QVector<PartRow>& parts,
                             const QString& partsFilePath, const QString& logPath) {
    const QString outDir = form.outDirText.trimmed();
    QString text;
    addLine(text, contract::kSourceKey, detail::fieldText(contract::partSourceWord(form.source)));
    addLine(text, contract::kPartsFileKey, partsFilePath);
    if (form.source == contract::PartSource::Files) {
        for (const QString& file : form.files)
            addLine(text, contract::kFileKey, file);
    }
    addLine(text, contract::kLayerKey, form.layerText.trimmed());
    addLine(text, contract::kOutDirKey, outDir);
    addLine(text, contract::kOutDwgKey,
            joinPath(outDir, detail::fieldText(contract::kNestDrawingFile)));
    addLine(text, contract::kLogKey, logPath);
    addLine(text, contract::kPrefixKey, form.prefixText.trimmed());
    for (const QString& line : form.sheetText.split(QLatin1Char('\n'))) {
        const QString sheet = line.trimmed();
        if (!sheet.isEmpty()) addLine(text, contract::kSheetKey, sheet);
    }
    addLine(text, contract::kGapKey, formatGeneral(form.gap));
    addLine(text, contract::kMarginKey, formatGeneral(form.margin));
    addLine(text, contract::kCellKey, formatGeneral(form.cell));
    addLine(text, contract::kRotateKey, flag(form.rotate));
    addLine(text, contract::kMirrorKey, flag(form.mirror));
    addLine(text, contract::kPdfKey, flag(form.pdf));
    addLine(text, contract::kSecondsKey, formatGeneral(form.seconds));
    for (const PartRow& part : parts)
        addNamedLine(text, contract::kPartCountKey, QString::number(part.id),
                     QString::number(part.enabled ? part.quantity : 0));
    if (form.strategyDense) {
        addLine(text, contract::kStrategyKey, detail::fieldText(contract::kDenseStrategy));
        // Only the dense search fills holes; a part-in-part choice left set while the
        // standard search is chosen means nothing and is not written.
        if (form.partInPart) addLine(text, contract::kPartInPartKey, flag(true));
    }
    if (form.commonLine) addLine(text, contract::kCommonLineKey, flag(true));
    // Left out, the plug-in takes each drawing's header unit, the same as "auto".
    if (form.units != DrawingUnits::Auto) addLine(text, contract::kUnitsKey, unitsWord(form.units));
    // Remnants only when asked for, so a job set up as before writes the same bytes.
    if (!form.stockFile.trimmed().isEmpty())
        addLine(text, contract::kStockFileKey, form.stockFile.trimmed());
    if (form.offcut) addLine(text, contract::kOffcutKey, flag(true));
    for (const PartRow& part : parts) {
        const QString angles = rotationAngles(part.rotation);
        if (!angles.isEmpty())
            addNamedLine(text, contract::kPartRotateKey, QString::number(part.id), angles);
    }
    if (!form.carry) addLine(text, contract::kCarryKey, flag(false));
    if (form.labels) addLine(text, contract::kLabelsKey, flag(true));
    if (!form.keepLocked.isEmpty()) addLine(text, contract::kKeepLockedKey, form.keepLocked);
    return text.toUtf8();
}

namespace {
const QString kNestStrategySetting = QStringLiteral("nest/strategy");
const QString kStandardWord = QStringLiteral("standard");
}  // namespace

bool loadNestDenseSetting(const QString& iniPath) {
    const std::unique_ptr<QSettings> store = detail::openSettings(iniPath);
    return detail::settingsText(store->value(kNestStrategySetting)).trimmed() != kStandardWord;
}

bool saveNestDenseSetting(const QString& iniPath, bool dense) {
    const std::unique_ptr<QSettings> store = detail::openSettings(iniPath);
    store->setValue(kNestStrategySetting,
                    dense ? detail::fieldText(contract::kDenseStrategy) : kStandardWord);
    store->sync();
    return store->status() == QSettings::NoError;
}

QByteArray composePlotConfig(const PlotForm& form) {
    QString text;
    addLine(text, contract::kOutDirKey, form.outDir);
    addLine(text, contract::kPrefixKey, form.prefixText.trimmed());
    addLine(text, contract::kStyleKey, form.style);
    addLine(text, contract::kScopeKey, form.scope);
    addLine(text, contract::kLogKey, form.logPath);
    if (form.filesTarget) {
        for (const QString& file : form.files)
            addLine(text, contract::kFileKey, file);
    }
    return text.toUtf8();
}

QByteArray composeMergeConfig(const MergeForm& form) {
    QString text;
    addLine(text, contract::kOutDwgKey, form.out);
    addLine(text, contract::kOutDirKey, form.outFolder);
    addLine(text, contract::kColumnsKey, QString::number(form.columns));
    addLine(text, contract::kSpacingKey, QString::number(form.spacing, 'f', 2));
    addLine(text, contract::kPdfKey, flag(form.pdf));
    addLine(text, contract::kLogKey, form.logPath);
    for (const QString& file : form.files)
        addLine(text, contract::kFileKey, file);
    return text.toUtf8();
}

QByteArray composeBomConfig(const BomForm& form, const BomSettings& settings,
                            const QVector<BomEdit>& edits) {
    QString text;
    addLine(text, contract::kOutDirKey, form.outDir);
    const QString workbook = form.workbookText.trimmed();
    addLine(text, contract::kBomOutKey,
            workbook.isEmpty() ? detail::fieldText(contract::kDefaultBomWorkbook) : workbook);
    addLine(text, contract::kLogKey, form.logPath);
    addDrawingLines(text, form);
    addLine(text, contract::kBomCsvKey, flag(form.csv));
    addLine(text, contract::kBomPackageKey, flag(form.package));
    addLine(text, contract::kBomZipKey, flag(form.package && form.zip));
    const QString nestFolder = form.nestFolderText.trimmed();
    if (!nestFolder.isEmpty()) addLine(text, contract::kBomNestKey, nestFolder);
    const QString profileLayers = form.profileLayerText.trimmed();
    if (!profileLayers.isEmpty()) addLine(text, contract::kBomProfileLayerKey, profileLayers);
    addLine(text, contract::kBomProfileWidthKey, formatGeneral(form.profileWidth));
    for (const contract::Material& material : settings.materials)
        addNamedLine(text, contract::kBomMaterialKey, QString::fromStdString(material.name),
                     QString::fromStdString(contract::formatMaterialValue(material)));
    addLine(text, contract::kBomDefaultMaterialKey, settings.defaultMaterial);
    addLine(text, contract::kBomDefaultThicknessKey, formatGeneral(settings.defaultThickness));
    addLine(text, contract::kBomDefaultRadiusKey, formatGeneral(settings.defaultRadius));
    for (const BomEdit& edit : edits)
        addNamedLine(text, contract::kBomEditKey, edit.key, edit.value);
    return text.toUtf8();
}

bool toolsUse(const QList<ToolOperation>& operations, ToolOption option) {
    using Op = ToolOperation;
    const auto any = [&operations](std::initializer_list<Op> readers) {
        for (const Op op : readers)
            if (operations.contains(op)) return true;
        return false;
    };
    switch (option) {
        case ToolOption::JoinTolerance:
            return any({Op::Clean, Op::Area, Op::Dimensions, Op::Holes, Op::Balloons});
        case ToolOption::CleanUp:
            return any({Op::Clean});
        case ToolOption::LayerRules:
            return any({Op::Layers});
        case ToolOption::Corners:
            return any({Op::Corners});
        case ToolOption::AreaLabels:
            return any({Op::Area});
        case ToolOption::TextHeight:
            return any({Op::Area, Op::Dimensions, Op::Holes, Op::Balloons});
        case ToolOption::Workbook:
            return any({Op::Area, Op::Attributes});
    }
    return false;
}

QByteArray composeToolsConfig(const ToolsForm& form,
                              const std::vector<contract::LayerRule>& rules) {
    using Op = ToolOperation;
    const std::pair<Op, std::string_view> runOrder[] = {
        {Op::Clean, contract::kOpClean},           {Op::Layers, contract::kOpLayers},
        {Op::Corners, contract::kOpCorners},       {Op::Area, contract::kOpArea},
        {Op::Attributes, contract::kOpAttributes}, {Op::Dimensions, contract::kOpDimensions},
        {Op::Holes, contract::kOpHoles},           {Op::Balloons, contract::kOpBalloons},
    };
    QStringList words;
    for (const auto& [op, word] : runOrder)
        if (form.operations.contains(op)) words << detail::fieldText(word);
    const auto uses = [&form](ToolOption option) { return toolsUse(form.operations, option); };

    QString text;
    addLine(text, contract::kOutDirKey, form.outDir);
    addLine(text, contract::kLogKey, form.logPath);
    addDrawingLines(text, form);
    addLine(text, contract::kToolsOpKey, words.join(QLatin1Char(',')));
    if (uses(ToolOption::JoinTolerance))
        addLine(text, contract::kJoinToleranceKey, formatGeneral(form.joinTolerance));
    if (uses(ToolOption::CleanUp)) {
        addLine(text, contract::kToolsShortLengthKey, formatGeneral(form.shortLength));
        addLine(text, contract::kToolsExplodeKey, flag(form.explode));
    }
    if (uses(ToolOption::LayerRules)) {
        for (const contract::LayerRule& rule : rules)
            addLine(text, contract::kToolsRuleKey, contract::formatLayerRule(rule));
    }
    if (uses(ToolOption::Corners))
        addLine(text,
                form.corner == CornerShape::Fillet ? contract::kToolsRadiusKey
                                                   : contract::kToolsChamferKey,
                formatGeneral(form.cornerSize));
    if (uses(ToolOption::AreaLabels))
        addLine(text, contract::kToolsAreaLabelsKey, flag(form.areaLabels));
    if (uses(ToolOption::TextHeight))
        addLine(text, contract::kToolsTextHeightKey, formatGeneral(form.textHeight));
    if (uses(ToolOption::Workbook)) {
        const QString workbook = form.workbookText.trimmed();
        addLine(text, contract::kToolsOutKey,
                workbook.isEmpty() ? detail::fieldText(contract::kDefaultToolsWorkbook) : workbook);
    }
    return text.toUtf8();
}

QString withDwgSuffix(const QString& path) {
    if (path.endsWith(QLatin1String(".dwg"), Qt::CaseInsensitive)) return path;
    return path + QStringLiteral(".dwg");
}

bool writeJobFile(const QString& path, const QByteArray& content) {
    // Written beside the target and renamed over it: a crash or a full disk leaves the old
    // config whole, never half a new one for the next job to read.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    // Not committed, the new file is dropped with `file` and the old one stays.
    if (file.write(content) != content.size()) return false;
    return file.commit();
}

bool truncateFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate);
}

}  // namespace qks::studio
