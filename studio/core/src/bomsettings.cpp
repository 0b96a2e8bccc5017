#include "qks/studio/bomsettings.h"

#include <QRegularExpression>

#include "qks/studio/files.h"
#include "settings_store.h"

namespace qks::studio {
namespace {

const QString kGroup = QStringLiteral("bom");
const QString kMaterials = QStringLiteral("materials");
const QString kName = QStringLiteral("name");
const QString kValue = QStringLiteral("value");
const QString kDefaultMaterial = QStringLiteral("defaultMaterial");
const QString kDefaultThickness = QStringLiteral("defaultThickness");
const QString kDefaultRadius = QStringLiteral("defaultRadius");

double numberIn(const QVariant& value, double low, double high, double fallback) {
    bool ok = false;
    const double number = value.toDouble(&ok);
    return ok && number >= low && number <= high ? number : fallback;
}

const contract::Material* materialNamed(const std::vector<contract::Material>& materials,
                                        const QString& name) {
    const std::string wanted = name.toStdString();
    for (const contract::Material& material : materials)
        if (material.name == wanted) return &material;
    return nullptr;
}

}  // namespace

BomSettings defaultBomSettings() {
    BomSettings settings;
    settings.materials = contract::defaultMaterials();
    settings.defaultMaterial = fromContract(contract::kDefaultMaterial);
    return settings;
}

QString studioSettingsPath() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Corvane"),
                     QStringLiteral("QksStudio"))
        .fileName();
}

bool usableMaterialName(const QString& name) {
    if (name.isEmpty() || name != name.trimmed() || name.contains(QLatin1Char('='))) return false;
    for (const QChar c : name)
        if (c.category() == QChar::Other_Control) return false;
    return true;
}

const contract::Material* findMaterial(const BomSettings& settings, const QString& name) {
    return materialNamed(settings.materials, name);
}

QString kFactorRangesText(const contract::Material& material) {
    QStringList parts;
    for (const contract::KFactorRange& range : material.ranges)
        parts << QStringLiteral("%1:%2").arg(range.upToThickness).arg(range.kFactor);
    return parts.join(QStringLiteral(", "));
}

std::optional<contract::Material> materialFromCells(const QString& name, const QString& density,
                                                    const QString& kFactor, const QString& ranges) {
    if (!usableMaterialName(name)) return std::nullopt;
    QString normalised = ranges;
    normalised.replace(QChar(0xFF1A), QLatin1Char(':'));  // full-width colon
    normalised.replace(QRegularExpression(QStringLiteral("\\s*:\\s*")), QStringLiteral(":"));
    QStringList fields = {density.trimmed(), kFactor.trimmed()};
    fields << normalised.split(QRegularExpression(QStringLiteral("[,;\\s\\x{FF0C}\\x{FF1B}]+")),
                               Qt::SkipEmptyParts);
    const QByteArray value = fields.join(QLatin1Char(',')).toUtf8();
    contract::Material material;
    if (!contract::parseMaterialValue(name.toStdString(), value.toStdString(), material))
        return std::nullopt;
    return material;
}

BomSettings loadBomSettings(const QString& iniPath) {
    const std::unique_ptr<QSettings> opened = detail::openSettings(iniPath);
    QSettings& store = *opened;
    store.beginGroup(kGroup);
    BomSettings settings = defaultBomSettings();
    std::vector<contract::Material> stored;
    const int count = store.beginReadArray(kMaterials);
    for (int i = 0; i < count; ++i) {
        store.setArrayIndex(i);
        const QString name = store.value(kName).toString();
        contract::Material material;
        if (usableMaterialName(name) && !materialNamed(stored, name) &&
            contract::parseMaterialValue(name.toStdString(),
                                         detail::settingsText(store.value(kValue)).toStdString(),
                                         material))
            stored.push_back(std::move(material));
    }
    store.endArray();
    if (!stored.empty()) settings.materials = std::move(stored);
    settings.defaultMaterial = store.value(kDefaultMaterial, settings.defaultMaterial).toString();
    if (!findMaterial(settings, settings.defaultMaterial))
        settings.defaultMaterial = QString::fromStdString(settings.materials.front().name);
    settings.defaultThickness = numberIn(store.value(kDefaultThickness), 0.01,
                                         contract::kLargestThickness, settings.defaultThickness);
    settings.defaultRadius = numberIn(store.value(kDefaultRadius), 0.0, contract::kLargestThickness,
                                      settings.defaultRadius);
    return settings;
}

bool saveBomSettings(const QString& iniPath, const BomSettings& settings) {
    const std::unique_ptr<QSettings> opened = detail::openSettings(iniPath);
    QSettings& store = *opened;
    // Rows removed in the table must not survive from an earlier, longer list.
    store.remove(kGroup);
    store.beginGroup(kGroup);
    store.beginWriteArray(kMaterials, static_cast<int>(settings.materials.size()));
    for (int i = 0; i < static_cast<int>(settings.materials.size()); ++i) {
        const contract::Material& material = settings.materials[static_cast<std::size_t>(i)];
        store.setArrayIndex(i);
        store.setValue(kName, QString::fromStdString(material.name));
        store.setValue(kValue, QString::fromStdString(contract::formatMaterialValue(material)));
    }
    store.endArray();
    store.setValue(kDefaultMaterial, settings.defaultMaterial);
    store.setValue(kDefaultThickness, settings.defaultThickness);
    store.setValue(kDefaultRadius, settings.defaultRadius);
    store.endGroup();
    store.sync();
    return store.status() == QSettings::NoError;
}

}  // namespace qks::studio
