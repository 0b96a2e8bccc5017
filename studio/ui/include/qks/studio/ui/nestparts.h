#pragma once
// The nest page's parts table: one row per part kind with its use tick, id, picture and name,
// editable quantity, outline size and rotation choice. Edits change the rows it holds.

#include <QImage>
#include <QTableWidget>
#include <QVector>

#include "qks/studio/partsfile.h"

class QComboBox;

namespace qks::studio {

// A `side` x `side` pixel picture of the part as drawn (y up): the outline filled light with a
// darker edge, holes cut out, on a transparent ground. Blank when the outline cannot be drawn.
QImage partThumbnail(const PartRow& part, int side);

class NestPartsTable : public QTableWidget {
    Q_OBJECT
  public:
    explicit NestPartsTable(QWidget* parent);

    // Shows `parts`, replacing the rows.
    void setParts(QVector<PartRow> parts);
    // The rows with the user's edits.
    const QVector<PartRow>& parts() const { return parts_; }

    // The rotation choice in a row (item data: RotationChoice as int); null past the last row.
    QComboBox* rotationCombo(int row) const;

  signals:
    // A tick or a quantity changed.
    void partsEdited();

  private:
    void onItemChanged(QTableWidgetItem* item);

    QVector<PartRow> parts_;
    bool filling_ = false;
};

}  // namespace qks::studio
