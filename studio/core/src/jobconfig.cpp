#include "qks/studio/jobconfig.h"

#include "contract_text.h"
#include "qks/studio/bomrows.h"
#include "qks/studio/bomsettings.h"
#include "qks/studio/files.h"
#include "qks/studio/partsfile.h"
#include "settings_store.h"

#include <QFile>
#include <QSaveFile>
#include <optional>

#include "qks/contract/config_keys.h"
#include "qks/contract/names.h"

namespace qks::studio {
namespace {

// Qt's text as the contract's UTF-8.
std::string utf8(const QString& text) {
    return text.toUtf8().toStdString();
}

std::vector<std::string> utf8(const QStringList& texts) {
    std::vector<std::string> out;
    out.reserve(static_cast<std::size_t>(texts.size()));
    for (const QString& text : texts)
        out.push_back(utf8(text));
    return out;
}

// The drawings of a job that reads either the current drawing or files.
template <class Config>
void setDrawings(Config& config, const DrawingJobForm& form) {
    config.outDir = utf8(form.outDir);
    config.log = utf8(form.logPath);
    config.currentDrawing = form.currentDrawing;
    config.files = utf8(form.files);
}

// Angles in degrees, counter-clockwise; nothing when the part follows the form.
std::optional<contract::PartRotation> rotationOf(RotationChoice rotation) {
    switch (rotation) {
        case RotationChoice::Global:
            return std::nullopt;
        case RotationChoice::Fixed0:
            return contract::PartRotation{false, {0}};
        case RotationChoice::HalfTurn:
            return contract::PartRotation{false, {0, 180}};
        case RotationChoice::QuarterTurns:
            return contract::PartRotation{false, {0, 90, 180, 270}};
    }
    return std::nullopt;
}

}  // namespace

QString formatGeneral(double value) {
    return QString::number(value, 'g', 6);
}

contract::NestJobConfig nestJobConfig(const NestForm& form, const QVector<PartRow>& parts,
                                      const QString& partsFilePath, const QString& logPath) {
    const QString outDir = form.outDirText.trimmed();
    contract::NestJobConfig config;
    config.source = std::string(contract::partSourceWord(form.source));
    config.partsFile = utf8(partsFilePath);
    if (form.source == contract::PartSource::Files) config.files = utf8(form.files);
    config.layerList = utf8(form.layerText.trimmed());
    config.outDir = utf8(outDir);
    config.outDwg = utf8(joinPath(outDir, detail::fieldText(contract::kNestDrawingFile)));
    config.log = utf8(logPath);
    config.prefix = utf8(form.prefixText.trimmed());
    for (const QString& line : form.sheetText.split(QLatin1Char('\n'))) {
        const QString sheet = line.trimmed();
        if (!sheet.isEmpty()) config.sheetLines.push_back(utf8(sheet));
    }
    config.gap = form.gap;
    config.margin = form.margin;
    config.cell = form.cell;
    config.rotate = form.rotate;
    config.mirror = form.mirror;
    config.pdf = form.pdf;
    config.seconds = form.seconds;
    for (const PartRow& part : parts) {
        config.quantities.push_back({part.id, part.enabled ? part.quantity : 0});
        if (const auto rotation = rotationOf(part.rotation))
            config.rotations.push_back({part.id, *rotation});
    }
    config.strategy =
        form.strategyDense ? contract::NestStrategy::Dense : contract::NestStrategy::Standard;
    // Only the dense search fills holes; a part-in-part choice left set while the standard
    // search is chosen means nothing.
    config.partInPart = form.strategyDense && form.partInPart;
    config.commonLine = form.commonLine;
    config.units = form.units;
    config.stockFile = utf8(form.stockFile.trimmed());
    config.offcut = form.offcut;
    config.carry = form.carry;
    config.labels = form.labels;
    config.keepLocked = utf8(form.keepLocked);
    return config;
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

contract::PlotJobConfig plotJobConfig(const PlotForm& form) {
    contract::PlotJobConfig config;
    config.outDir = utf8(form.outDir);
    config.prefix = utf8(form.prefixText.trimmed());
    config.style = utf8(form.style);
    config.scope = utf8(form.scope);
    config.log = utf8(form.logPath);
    return config;
}

contract::PlotFilesJobConfig plotFilesJobConfig(const PlotForm& form) {
    contract::PlotFilesJobConfig config;
    static_cast<contract::PlotJobConfig&>(config) = plotJobConfig(form);
    config.files = utf8(form.files);
    return config;
}

contract::MergeJobConfig mergeJobConfig(const MergeForm& form) {
    contract::MergeJobConfig config;
    config.outDwg = utf8(form.out);
    config.outDir = utf8(form.outFolder);
    config.columns = form.columns;
    config.spacing = form.spacing;
    config.pdf = form.pdf;
    config.log = utf8(form.logPath);
    config.files = utf8(form.files);
    return config;
}

contract::BomJobConfig bomJobConfig(const BomForm& form, const BomSettings& settings,
                                    const QVector<BomEdit>& edits) {
    contract::BomJobConfig config;
    setDrawings(config, form);
    const QString workbook = form.workbookText.trimmed();
    if (!workbook.isEmpty()) config.workbook = utf8(workbook);
    config.csv = form.csv;
    config.package = form.package;
    config.zip = form.package && form.zip;
    config.nestFolder = utf8(form.nestFolderText.trimmed());
    const QString profileLayers = form.profileLayerText.trimmed();
    if (!profileLayers.isEmpty()) config.profileLayers = utf8(profileLayers);
    config.profileWidth = form.profileWidth;
    config.materials = settings.materials;
    config.defaultMaterial = utf8(settings.defaultMaterial);
    config.defaultThickness = settings.defaultThickness;
    config.defaultRadius = settings.defaultRadius;
    for (const BomEdit& edit : edits) {
        contract::BomEdit line;
        line.key = utf8(edit.key);
        if (edit.material) line.material = utf8(*edit.material);
        line.thickness = edit.thickness;
        line.quantity = edit.quantity;
        config.edits.push_back(std::move(line));
    }
    return config;
}

bool toolsUse(const QList<ToolOperation>& operations, ToolOption option) {
    return contract::toolsRead(std::vector<ToolOperation>(operations.begin(), operations.end()),
                               option);
}

contract::ToolsJobConfig toolsJobConfig(const ToolsForm& form,
                                        const std::vector<contract::LayerRule>& rules) {
    using Op = ToolOperation;
    contract::ToolsJobConfig config;
    setDrawings(config, form);
    for (const Op op : {Op::Clean, Op::Layers, Op::Corners, Op::Area, Op::Attributes,
                        Op::Dimensions, Op::Holes, Op::Balloons})
        if (form.operations.contains(op)) config.operations.push_back(op);
    config.joinTolerance = form.joinTolerance;
    config.shortLength = form.shortLength;
    config.explode = form.explode;
    config.rules = rules;
    if (form.corner == CornerShape::Fillet)
        config.radius = form.cornerSize;
    else
        config.chamfer = form.cornerSize;
    config.areaLabels = form.areaLabels;
    config.textHeight = form.textHeight;
    const QString workbook = form.workbookText.trimmed();
    if (!workbook.isEmpty()) config.workbook = utf8(workbook);
    return config;
}

QByteArray jobFileBytes(const std::string& text) {
    return QByteArray(text.data(), static_cast<int>(text.size()));
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
