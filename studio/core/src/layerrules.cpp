#include "qks/studio/layerrules.h"

#include "settings_store.h"

namespace qks::studio {
namespace {

const QString kGroup = QStringLiteral("layerRules");
const QString kRules = QStringLiteral("rules");
const QString kValue = QStringLiteral("value");

// Field `field` (a LayerRuleField) of a rule, const or not.
template <typename Rule>
auto* fieldOf(Rule& rule, int field) {
    decltype(&rule.layer) fields[] = {&rule.layer,       &rule.color,        &rule.linetype,
                                      &rule.kind,        &rule.newLayer,     &rule.newColor,
                                      &rule.newLinetype, &rule.newLineweight};
    return fields[field];
}

bool carriable(const QString& cell) {
    if (cell.contains(QLatin1Char(','))) return false;
    for (const QChar c : cell)
        if (c.category() == QChar::Other_Control) return false;
    return true;
}

// Empty, or a whole number in [low, high].
bool emptyOrNumberIn(const QString& cell, int low, int high) {
    if (cell.isEmpty()) return true;
    bool ok = false;
    const int number = cell.toInt(&ok);
    return ok && number >= low && number <= high;
}

}  // namespace

QStringList layerRuleCells(const contract::LayerRule& rule) {
    QStringList cells;
    for (int field = 0; field < kLayerRuleFieldCount; ++field)
        cells << QString::fromStdString(*fieldOf(rule, field));
    return cells;
}

std::optional<contract::LayerRule> layerRuleFromCells(const QStringList& cells) {
    if (cells.size() != kLayerRuleFieldCount) return std::nullopt;
    QStringList trimmed;
    for (const QString& cell : cells) {
        if (!carriable(cell)) return std::nullopt;
        trimmed << cell.trimmed();
    }
    static const QString kLayerNameRefuses = QStringLiteral("<>/\\\":;?*|=`");
    for (const QChar c : trimmed[kSetLayer])
        if (kLayerNameRefuses.contains(c)) return std::nullopt;
    if (!emptyOrNumberIn(trimmed[kMatchColor], 0, 256) ||
        !emptyOrNumberIn(trimmed[kSetColor], 0, 256) ||
        !emptyOrNumberIn(trimmed[kSetLineweight], -3, 211))
        return std::nullopt;
    // A rule that sets nothing keeps what it matches as it is (block references, say) by
    // stopping the later rules; one that also matches everything would stop them all.
    if (trimmed.join(QString()).isEmpty()) return std::nullopt;
    contract::LayerRule rule;
    for (int field = 0; field < kLayerRuleFieldCount; ++field)
        *fieldOf(rule, field) = trimmed[field].toStdString();
    return rule;
}

LayerRules loadLayerRules(const QString& iniPath) {
    const std::unique_ptr<QSettings> store = detail::openSettings(iniPath);
    LayerRules rules;
    const int count = store->beginReadArray(kGroup + QLatin1Char('/') + kRules);
    for (int i = 0; i < count; ++i) {
        store->setArrayIndex(i);
        contract::LayerRule stored;
        if (!contract::parseLayerRule(detail::settingsText(store->value(kValue)).toStdString(),
                                      stored))
            continue;
        if (const auto rule = layerRuleFromCells(layerRuleCells(stored))) rules.push_back(*rule);
    }
    store->endArray();
    return rules.empty() ? contract::defaultLayerRules() : rules;
}

bool saveLayerRules(const QString& iniPath, const LayerRules& rules) {
    const std::unique_ptr<QSettings> store = detail::openSettings(iniPath);
    // Rules removed in the table must not survive from an earlier, longer list.
    store->remove(kGroup);
    store->beginWriteArray(kGroup + QLatin1Char('/') + kRules, static_cast<int>(rules.size()));
    for (int i = 0; i < static_cast<int>(rules.size()); ++i) {
        store->setArrayIndex(i);
        store->setValue(kValue, QString::fromStdString(
                                    contract::formatLayerRule(rules[static_cast<std::size_t>(i)])));
    }
    store->endArray();
    store->sync();
    return store->status() == QSettings::NoError;
}

}  // namespace qks::studio
