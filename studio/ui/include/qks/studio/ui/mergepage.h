#pragma once
// "图纸合并": many drawings laid out in a grid on one new drawing.

#include "qks/studio/ui/jobpage.h"

class QCheckBox;
class QDoubleSpinBox;
class QLineEdit;
class QSpinBox;

namespace qks::studio {

class MergePage : public JobPage {
    Q_OBJECT
  public:
    // `bridge` is the window's bridge client, not owned.
    MergePage(BridgeClient* bridge, JobFileWatcher* files, QWidget* parent);

    // Widgets; public so tests and scripted runs can drive the form.
    QLineEdit* outEdit = nullptr;
    QSpinBox* columnsSpin = nullptr;
    QDoubleSpinBox* spacingSpin = nullptr;
    QCheckBox* pdfCheck = nullptr;

  public slots:
    void start();
    void removeSelected();
    void chooseOutput();
};

}  // namespace qks::studio
