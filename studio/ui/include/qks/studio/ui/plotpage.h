#pragma once
// "批量出图": PDF plotting of the current drawing or of a list of drawing files.

#include "qks/studio/plotdefaults.h"
#include "qks/studio/ui/jobpage.h"

class QComboBox;
class QLineEdit;

namespace qks::studio {

class PlotPage : public JobPage {
    Q_OBJECT
  public:
    // `bridge` is the window's bridge client, not owned.
    PlotPage(BridgeClient* bridge, JobFileWatcher* files, QWidget* parent);

    // Widgets; public so tests and scripted runs can drive the form.
    QLineEdit* outDirEdit = nullptr;
    QLineEdit* prefixEdit = nullptr;
    QComboBox* styleCombo = nullptr;
    QComboBox* scopeCombo = nullptr;
    QComboBox* targetCombo = nullptr;
    QWidget* fileButtons = nullptr;

    // What the form shows before any default was saved: PDFs into "QKS 出图" in the documents
    // folder, monochrome, every layout.
    static PlotDefaults builtInDefaults();

  public slots:
    // Puts the saved plot defaults into the form; the next job's config carries them.
    void applyDefaults(const qks::studio::PlotDefaults& defaults);
    void start();
    void chooseOutDir();
};

}  // namespace qks::studio
