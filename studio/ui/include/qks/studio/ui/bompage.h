#pragma once
// "钣金 BOM": the part list of a set of drawings or of the current drawing, with weights, flat
// blanks, utilisation and a delivery package; its result table takes edits that the next
// export carries into the workbook. The five cards of the card page open its sections.

#include <QList>

#include "qks/studio/bomsettings.h"
#include "qks/studio/ui/jobpage.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QStackedWidget;

namespace qks::studio {

class BomRowsTable;

class BomPage : public JobPage {
    Q_OBJECT
  public:
    // In the order of the cards that open them.
    enum Section {
        kWorkbookSection,
        kWeightSection,
        kUnfoldSection,
        kUtilisationSection,
        kPackageSection,
        kSectionCount
    };

    // `bridge` is the window's bridge client, not owned; `settings` the kept sheet-metal
    // settings the jobs are given.
    BomPage(BridgeClient* bridge, JobFileWatcher* files, BomSettings settings, QWidget* parent);

    void showSection(int section);
    int currentSection() const;
    void setSettings(const BomSettings& settings);

    // Widgets; public so tests and scripted runs can drive the form.
    QPushButton* backButton = nullptr;
    QList<QPushButton*> sectionButtons;
    QStackedWidget* sections = nullptr;
    QLineEdit* outDirEdit = nullptr;
    QLineEdit* workbookEdit = nullptr;
    QCheckBox* csvCheck = nullptr;
    QLabel* settingsSummary = nullptr;
    QPushButton* settingsButton = nullptr;
    QLineEdit* profileLayerEdit = nullptr;
    QDoubleSpinBox* profileWidthSpin = nullptr;
    QLineEdit* nestEdit = nullptr;
    QCheckBox* packageCheck = nullptr;
    QCheckBox* zipCheck = nullptr;
    QComboBox* sourceCombo = nullptr;
    QWidget* fileButtons = nullptr;
    QPushButton* exportButton = nullptr;
    BomRowsTable* table = nullptr;
    QLabel* totalsLabel = nullptr;

  public slots:
    void start();
    void exportWorkbook();
    // Shows the rows file of the last run.
    void loadRows();

  signals:
    void backRequested();
    void settingsRequested();

  protected:
    void jobEnded(JobEnd end) override;

  private:
    QWidget* workbookPanel();
    QWidget* weightPanel();
    QWidget* unfoldPanel();
    QWidget* utilisationPanel();
    QWidget* packagePanel();
    // With `edits`, the table's changes go into the config.
    void runJob(bool edits);
    void showTotals();

    BomSettings settings_;
};

}  // namespace qks::studio
