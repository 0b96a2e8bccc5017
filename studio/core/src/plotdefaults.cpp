#include "qks/studio/plotdefaults.h"

#include "settings_store.h"

namespace qks::studio {
namespace {

const QString kGroup = QStringLiteral("plot");
const QString kOutDir = QStringLiteral("outDir");
const QString kPrefix = QStringLiteral("prefix");
const QString kStyle = QStringLiteral("style");
const QString kScope = QStringLiteral("scope");

bool offered(const PlotChoices& choices, const QString& value) {
    for (const auto& choice : choices)
        if (choice.second == value) return true;
    return false;
}

}  // namespace

const PlotChoices& plotStyleChoices() {
    static const PlotChoices choices = {
        {QStringLiteral("黑白 monochrome.ctb"), QStringLiteral("monochrome.ctb")},
        {QStringLiteral("灰度 grayscale.ctb"), QStringLiteral("grayscale.ctb")},
        {QStringLiteral("沿用布局样式"), QString()}};
    return choices;
}

const PlotChoices& plotScopeChoices() {
    static const PlotChoices choices = {{QStringLiteral("全部布局"), QStringLiteral("all")},
                                        {QStringLiteral("仅当前布局"), QStringLiteral("current")},
                                        {QStringLiteral("按图框拆图"), QStringLiteral("frames")},
                                        {QStringLiteral("仅模型空间"), QStringLiteral("model")}};
    return choices;
}

PlotDefaults loadPlotDefaults(const QString& iniPath, const PlotDefaults& fallback) {
    const std::unique_ptr<QSettings> opened = detail::openSettings(iniPath);
    QSettings& store = *opened;
    store.beginGroup(kGroup);
    PlotDefaults defaults = fallback;
    const QString outDir = detail::settingsText(store.value(kOutDir)).trimmed();
    if (!outDir.isEmpty()) defaults.outDir = outDir;
    if (store.contains(kPrefix)) defaults.prefix = detail::settingsText(store.value(kPrefix));
    // The empty style ("沿用布局样式") is a choice of its own, so presence decides, not emptiness.
    if (store.contains(kStyle)) {
        const QString style = store.value(kStyle).toString();
        if (offered(plotStyleChoices(), style)) defaults.style = style;
    }
    const QString scope = store.value(kScope).toString();
    if (offered(plotScopeChoices(), scope)) defaults.scope = scope;
    return defaults;
}

bool savePlotDefaults(const QString& iniPath, const PlotDefaults& defaults) {
    const std::unique_ptr<QSettings> opened = detail::openSettings(iniPath);
    QSettings& store = *opened;
    store.beginGroup(kGroup);
    store.setValue(kOutDir, defaults.outDir.trimmed());
    store.setValue(kPrefix, defaults.prefix.trimmed());
    store.setValue(kStyle, defaults.style);
    store.setValue(kScope, defaults.scope);
    store.endGroup();
    store.sync();
    return store.status() == QSettings::NoError;
}

}  // namespace qks::studio
