#pragma once
// "批量出图": PDF plotting of the current drawing or of a list of drawing files.

#include "qks/studio/ui/jobpage.h"

class QComboBox;
class QLineEdit;

namespace qks::studio {

class PlotPage : public JobPage {
    Q_OBJECT
  public:
    // `socket` is the window's bridge socket, not owned.
    PlotPage(QLocalSocket* socket, QWidget* parent);

    // Widgets; public so tests and scripted runs can drive the form.
    QLineEdit* outDirEdit = nullptr;
    QLineEdit* prefixEdit = nullptr;
    QComboBox* styleCombo = nullptr;
    QComboBox* scopeCombo = nullptr;
    QComboBox* targetCombo = nullptr;
    QWidget* fileButtons = nullptr;

  public slots:
    void start();
    void chooseOutDir();
};

}  // namespace qks::studio
