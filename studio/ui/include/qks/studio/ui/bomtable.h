#pragma once
// The BOM page's result table: one row per part kind as the job listed it, with material,
// thickness and quantity open to change. A change reweighs the row at once; the drawing is
// not touched, the next export carries the change.

#include <QTableWidget>
#include <QVector>

#include "qks/studio/bomrows.h"
#include "qks/studio/bomsettings.h"

class QComboBox;

namespace qks::studio {

class BomRowsTable : public QTableWidget {
    Q_OBJECT
  public:
    enum Column {
        kNumberColumn,
        kNameColumn,
        kQuantityColumn,
        kMaterialColumn,
        kThicknessColumn,
        kBlankColumn,
        kAreaColumn,
        kCutColumn,
        kPierceColumn,
        kNetColumn,
        kGrossColumn,
        kTotalColumn,
        kSourceColumn,
        kColumnCount
    };

    explicit BomRowsTable(QWidget* parent);

    // Shows the rows of a finished run; they are also what later edits are measured against.
    void setRows(const QVector<BomRow>& rows, const BomSettings& settings);
    // New material choices and densities; rows keep their values until edited.
    void setSettings(const BomSettings& settings);

    // The rows as shown, with the user's edits.
    const QVector<BomRow>& rows() const { return shown_; }
    QVector<BomEdit> edits() const { return bomEdits(read_, shown_); }

    // The material choice of a row; null past the last row.
    QComboBox* materialCombo(int row) const;

  signals:
    void rowsEdited();

  private:
    void fillRow(int row);
    void fillMaterials(int row);
    void edit(int row, const QString& material, double thickness, int quantity);
    void onItemChanged(QTableWidgetItem* item);

    QVector<BomRow> read_;
    QVector<BomRow> shown_;
    BomSettings settings_;
};

}  // namespace qks::studio
