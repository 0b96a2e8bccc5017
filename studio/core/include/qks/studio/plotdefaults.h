#pragma once
// "打印机与纸张": what a plot job starts from. The Studio keeps these in its INI file; the plot
// page opens with them and writes them into each plot config (keys outDir, prefix, style and
// scope). The PDF device and the paper are not the user's to choose here: qkshost has the one
// device "DWG To PDF.pc3", and the plot job picks each sheet's paper from its frame or layout.

#include <QPair>
#include <QString>
#include <QVector>

namespace qks::studio {

// (shown text, config value) in the order the combos list them; the first is the default.
using PlotChoices = QVector<QPair<QString, QString>>;
const PlotChoices& plotStyleChoices();
const PlotChoices& plotScopeChoices();

inline const QString kPlotDeviceName = QStringLiteral("DWG To PDF.pc3");

struct PlotDefaults {
    QString outDir;  // absolute folder
    QString prefix;  // file-name prefix, may be empty
    QString style;   // a value of plotStyleChoices()
    QString scope;   // a value of plotScopeChoices()
};

// What `iniPath` holds; each value it lacks, or holds outside its choices, is `fallback`'s.
PlotDefaults loadPlotDefaults(const QString& iniPath, const PlotDefaults& fallback);
// False when the file could not be written.
bool savePlotDefaults(const QString& iniPath, const PlotDefaults& defaults);

}  // namespace qks::studio
