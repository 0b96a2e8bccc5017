#pragma once
// The nest page's settings panel: sheet stock, spacing, grid, time, rotation and mirroring,
// search strategy, common-line cutting, PDF output, output folder, PDF prefix, layer filter and
// drawing units.

#include <QFrame>
#include <QHash>

#include "qks/studio/jobconfig.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLineEdit;
class QPlainTextEdit;

namespace qks::studio {

class NestSettingsForm : public QFrame {
    Q_OBJECT
  public:
    explicit NestSettingsForm(QWidget* parent);

    // What the fields hold, as the config writer takes it. Source and files are the page's
    // and stay at their defaults.
    NestForm values() const;
    // Fills every field from `values` (source and files ignored).
    void setValues(const NestForm& values);
    // Part-in-part can be chosen only with the dense search.
    bool partInPartAvailable() const;
    // Takes the strategy last chosen from the Studio's settings file at `iniPath`, and stores
    // every later choice there. Until then the form starts on the dense search and remembers
    // nothing.
    void rememberStrategyIn(const QString& iniPath);
    // The layout file whose locked parts 保留已锁定零件 keeps (empty: none, and the box is off and
    // cannot be ticked).
    void setLockedLayout(const QString& layoutPath);

    // The field a script names: sheets, gap, margin, cell, seconds, rotate, mirror, strategy,
    // partInPart, commonLine, pdf, outDir, prefix, layer, units, stockfile, offcut, carry, labels,
    // keepLocked; nullptr when unknown.
    QWidget* field(const QString& name) const { return fields_.value(name, nullptr); }

  private:
    void chooseOutDir();

    QPlainTextEdit* sheetEdit_ = nullptr;
    QDoubleSpinBox* gapSpin_ = nullptr;
    QDoubleSpinBox* marginSpin_ = nullptr;
    QDoubleSpinBox* cellSpin_ = nullptr;
    QDoubleSpinBox* secondsSpin_ = nullptr;
    QCheckBox* rotateCheck_ = nullptr;
    QCheckBox* mirrorCheck_ = nullptr;
    QComboBox* strategyCombo_ = nullptr;  // item data "standard" or "dense"
    QCheckBox* partInPartCheck_ = nullptr;
    QCheckBox* commonLineCheck_ = nullptr;
    QCheckBox* pdfCheck_ = nullptr;
    QCheckBox* carryCheck_ = nullptr;
    QCheckBox* labelsCheck_ = nullptr;
    QLineEdit* outDirEdit_ = nullptr;
    QLineEdit* prefixEdit_ = nullptr;
    QLineEdit* layerEdit_ = nullptr;
    QComboBox* unitsCombo_ = nullptr;  // item data: DrawingUnits as int
    QLineEdit* stockFileEdit_ = nullptr;
    QCheckBox* offcutCheck_ = nullptr;
    QCheckBox* keepLockedCheck_ = nullptr;
    QString lockedLayout_;
    QHash<QString, QWidget*> fields_;
    QString strategySettings_;  // the settings file the strategy is kept in; empty: none
};

}  // namespace qks::studio
