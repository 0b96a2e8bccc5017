#pragma once
// "钣金参数": the materials (density, K factor and K factors by thickness) and the defaults
// the BOM job applies where a drawing names none. Saved to the Studio's settings file; the
// BOM page hands them to each job.

#include <QWidget>

#include "qks/studio/bomsettings.h"

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QTableWidget;

namespace qks::studio {

class BomSettingsPage : public QWidget {
    Q_OBJECT
  public:
    // Shows what `iniPath` holds (the seeded table when it holds nothing) and saves there.
    BomSettingsPage(QString iniPath, QWidget* parent);

    // The settings as last loaded or saved: what the jobs get.
    const BomSettings& settings() const { return settings_; }

    // Widgets; public so tests and scripted runs can drive the form.
    QPushButton* backButton = nullptr;
    QTableWidget* materialTable = nullptr;
    QPushButton* addButton = nullptr;
    QPushButton* removeButton = nullptr;
    QPushButton* restoreButton = nullptr;
    QComboBox* defaultMaterialCombo = nullptr;
    QDoubleSpinBox* thicknessSpin = nullptr;
    QDoubleSpinBox* radiusSpin = nullptr;
    QPushButton* saveButton = nullptr;
    QLabel* messageLabel = nullptr;

  public slots:
    // Checks the table; saves and announces the settings only when every row is usable.
    void save();
    void addMaterial();
    void removeSelected();
    // Shows the seeded table and defaults; nothing is saved until "保存".
    void restoreDefaults();

  signals:
    void saved(const qks::studio::BomSettings& settings);
    void backRequested();

  private:
    void showSettings(const BomSettings& settings);
    void refreshMaterialChoices();

    QString iniPath_;
    BomSettings settings_;
};

}  // namespace qks::studio
