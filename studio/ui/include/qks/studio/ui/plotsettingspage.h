#pragma once
// "打印机与纸张": the plot defaults (style, range, output folder, prefix) and what the host plots
// with. Saved to the Studio's settings file; the plot page takes them as its form's values.

#include <QWidget>

#include "qks/studio/plotdefaults.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace qks::studio {

class PlotSettingsPage : public QWidget {
    Q_OBJECT
  public:
    // Shows what `iniPath` holds (`fallback` where it holds nothing) and saves there.
    PlotSettingsPage(QString iniPath, const PlotDefaults& fallback, QWidget* parent);

    // The defaults as last loaded or saved.
    const PlotDefaults& defaults() const { return defaults_; }

    // Widgets; public so tests and scripted runs can drive the form.
    QPushButton* backButton = nullptr;
    QComboBox* deviceCombo = nullptr;
    QComboBox* paperCombo = nullptr;
    QComboBox* styleCombo = nullptr;
    QComboBox* scopeCombo = nullptr;
    QLineEdit* outDirEdit = nullptr;
    QPushButton* chooseButton = nullptr;
    QLineEdit* prefixEdit = nullptr;
    QPushButton* saveButton = nullptr;
    QLabel* messageLabel = nullptr;

  public slots:
    // Saves and announces the defaults; an empty output folder is refused.
    void save();

  signals:
    void saved(const qks::studio::PlotDefaults& defaults);
    void backRequested();

  private:
    QString iniPath_;
    PlotDefaults defaults_;
};

}  // namespace qks::studio
