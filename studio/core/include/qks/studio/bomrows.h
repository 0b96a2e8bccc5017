#pragma once
// The rows file the BOM job writes after every run ("qks_bom_rows.txt") as the BOM page lists
// it, and the user's changes to a row's material, thickness and quantity.

#include <QByteArray>
#include <QString>
#include <QVector>
#include <optional>

#include "qks/contract/bom.h"
#include "qks/studio/bomsettings.h"

namespace qks::studio {

using BomRow = contract::BomRow;

// Every row of the file, in file order, read with the Studio's rules.
QVector<BomRow> parseBomRows(const QByteArray& bytes);

// `row` with the material, thickness and quantity the user chose; a field that changes is no
// longer marked as defaulted. When material or thickness change, the weights per piece follow
// at the density the settings give the material (the row's own when they have no such
// material): the net weight from the net area, the gross weight from the area the job weighed
// (the blank's length × width when the row gives no weight to derive it from).
BomRow editBomRow(BomRow row, const BomSettings& settings, const QString& material,
                  double thickness, int quantity);

// One "edit" line of the job config: the row's key and the fields the user changed.
struct BomEdit {
    QString key;
    std::optional<QString> material;
    std::optional<double> thickness;
    std::optional<int> quantity;
};
// An edit for every row of `shown` that differs from the row of `read` with the same key;
// only the changed fields are filled, so the drawing's value stands for the others.
QVector<BomEdit> bomEdits(const QVector<BomRow>& read, const QVector<BomRow>& shown);

// Quantity × net weight per piece.
double totalWeight(const BomRow& row);

struct BomTotals {
    qint64 quantity = 0;
    double weight = 0;     // kg
    double cutLength = 0;  // mm
    qint64 pierces = 0;
};
// Over every piece: a row counts quantity times.
BomTotals bomTotals(const QVector<BomRow>& rows);

}  // namespace qks::studio
