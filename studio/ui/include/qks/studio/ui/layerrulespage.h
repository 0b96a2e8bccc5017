#pragma once
// "图层与颜色规则": the rules the 图层规范 operation applies, first match first. Saved to the
// Studio's settings file; the tools page hands them to each job that puts drawings on layers.

#include <QWidget>

#include "qks/studio/layerrules.h"

class QLabel;
class QPushButton;
class QTableWidget;

namespace qks::studio {

class LayerRulesPage : public QWidget {
    Q_OBJECT
  public:
    // Shows what `iniPath` holds (the default rules when it holds none) and saves there.
    LayerRulesPage(QString iniPath, QWidget* parent);

    // The rules as last loaded or saved: what the jobs get.
    const LayerRules& rules() const { return rules_; }

    // Widgets; public so tests and scripted runs can drive the form.
    QPushButton* backButton = nullptr;
    QTableWidget* ruleTable = nullptr;
    QPushButton* addButton = nullptr;
    QPushButton* removeButton = nullptr;
    QPushButton* upButton = nullptr;
    QPushButton* downButton = nullptr;
    QPushButton* restoreButton = nullptr;
    QPushButton* saveButton = nullptr;
    QLabel* messageLabel = nullptr;

  public slots:
    // Checks the table; saves and announces the rules only when every row is usable.
    void save();
    void addRule();
    void removeSelected();
    // Moves the current rule one place earlier (-1) or later (+1): the order decides which
    // rule an entity gets.
    void moveCurrent(int step);
    // Shows the default rules; nothing is saved until "保存".
    void restoreDefaults();

  signals:
    void saved(const qks::studio::LayerRules& rules);
    void backRequested();

  private:
    void showRules(const LayerRules& rules);

    QString iniPath_;
    LayerRules rules_;
};

}  // namespace qks::studio
