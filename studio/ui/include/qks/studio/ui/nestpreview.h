#pragma once
// The nest page's live preview: a panel with the utilisation and summary of the published
// layout, the choice of sheet, and the chosen sheet drawn with its parts (y up, as in the
// drawing).

#include <QFrame>
#include <QHash>
#include <QVector>

#include "qks/studio/partsfile.h"
#include "qks/studio/progressfile.h"

class QComboBox;
class QGraphicsScene;
class QGraphicsView;
class QLabel;
class QVBoxLayout;

namespace qks::studio {

class NestPreview : public QFrame {
    Q_OBJECT
  public:
    explicit NestPreview(QWidget* parent);
    // Puts `widget` (the page's log) in the panel under the sheet.
    void addBelow(QWidget* widget);

    // The part kinds the placements name by id; drawn from the next redraw on.
    void setParts(QVector<PartRow> parts);
    // One reading of the progress file: its sheets replace the shown layout, values it lacks
    // keep their last ones. Redraws.
    void showProgress(const ProgressSnapshot& records);
    // A new run begins: its layout and totals are not known yet. Draws nothing.
    void forgetRun();
    // Shows sheet `index` of the layout.
    void showSheet(int index);
    void redraw();

    const QVector<SheetPlacements>& sheets() const { return sheets_; }
    int currentSheet() const { return currentSheet_; }
    QStringList sheetChoices() const;
    QString utilisationText() const;
    QString summaryText() const;
    QGraphicsScene* scene() const { return scene_; }
    QGraphicsView* view() const { return view_; }

    // The field a script names: util, summary, sheet; nullptr when unknown.
    QWidget* field(const QString& name) const { return fields_.value(name, nullptr); }

  private:
    QVBoxLayout* column_ = nullptr;
    QLabel* utilLabel_ = nullptr;
    QLabel* summaryLabel_ = nullptr;
    QComboBox* sheetCombo_ = nullptr;
    QGraphicsScene* scene_ = nullptr;
    QGraphicsView* view_ = nullptr;
    QHash<QString, QWidget*> fields_;

    QVector<PartRow> parts_;
    QVector<SheetPlacements> sheets_;
    // Until the first CFG record: the default margin and a one-unit grid.
    GridFrame frame_{10, 1, 0};
    double utilisation_ = 0;
    int unplaced_ = 0;
    double elapsed_ = 0;
    int currentSheet_ = 0;
};

}  // namespace qks::studio
