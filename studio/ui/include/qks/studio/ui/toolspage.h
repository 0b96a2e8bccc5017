#pragma once
// "标注清理": clean-up, layer rules, corners, areas, attribute extraction and annotation of a set
// of drawings or of the current drawing, chosen as check boxes and run together in the job's
// fixed order. Areas and attributes come back as tables. The eight cards of the card page open
// it on their operation.

#include <QList>
#include <QVector>

#include "qks/studio/jobconfig.h"
#include "qks/studio/layerrules.h"
#include "qks/studio/toolstables.h"
#include "qks/studio/ui/jobpage.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QTableWidget;

namespace qks::studio {

class ToolsPage : public JobPage {
    Q_OBJECT
  public:
    // In the order of the cards that open them.
    enum Section {
        kDimensionsSection,
        kHolesSection,
        kBalloonsSection,
        kAreaSection,
        kLayersSection,
        kCleanSection,
        kCornersSection,
        kAttributesSection,
        kSectionCount
    };

    // `bridge` is the window's bridge client, not owned; `rules` the kept layer rules the jobs
    // are given.
    ToolsPage(BridgeClient* bridge, JobFileWatcher* files, LayerRules rules, QWidget* parent);

    // Chooses the section's operation alone; more may be checked after.
    void showSection(int section);
    int currentSection() const { return section_; }
    void setRules(const LayerRules& rules);

    // Widgets; public so tests and scripted runs can drive the form. The operation boxes are
    // indexed by ToolOperation, which is also the order they run in.
    QPushButton* backButton = nullptr;
    QList<QCheckBox*> operationChecks;
    QDoubleSpinBox* joinSpin = nullptr;
    QDoubleSpinBox* shortSpin = nullptr;
    QCheckBox* explodeCheck = nullptr;
    QComboBox* cornerCombo = nullptr;
    QDoubleSpinBox* cornerSpin = nullptr;
    QCheckBox* areaLabelsCheck = nullptr;
    QDoubleSpinBox* textHeightSpin = nullptr;
    QLabel* rulesSummary = nullptr;
    QPushButton* rulesButton = nullptr;
    QLineEdit* outDirEdit = nullptr;
    QLineEdit* workbookEdit = nullptr;
    QComboBox* sourceCombo = nullptr;
    QWidget* results = nullptr;
    QComboBox* tableCombo = nullptr;
    QLabel* tableLabel = nullptr;
    QTableWidget* table = nullptr;

  public slots:
    void start();
    // Shows the tables file of the last run.
    void loadTables();
    void showTable(int index);

  signals:
    void backRequested();
    void rulesRequested();

  protected:
    void jobEnded(JobEnd end) override;

  private:
    QWidget* operationsBox();
    QWidget* optionsGrid();
    QList<ToolOperation> chosenOperations() const;
    void enableOptions();

    LayerRules rules_;
    QVector<ToolsTable> tables_;
    int section_ = kDimensionsSection;
    // Each option's inputs with what reads it.
    QVector<QPair<QWidget*, ToolOption>> optionInputs_;
};

}  // namespace qks::studio
