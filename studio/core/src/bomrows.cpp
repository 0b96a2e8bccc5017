#include "qks/studio/bomrows.h"

#include <QHash>

#include "contract_text.h"
#include "qks/studio/jobconfig.h"

namespace qks::studio {

QVector<BomRow> parseBomRows(const QByteArray& bytes) {
    const std::vector<BomRow> rows =
        contract::readBomRows(detail::fileText(bytes), detail::studioReadRules());
    return QVector<BomRow>(rows.begin(), rows.end());
}

BomRow editBomRow(BomRow row, const BomSettings& settings, const QString& material,
                  double thickness, int quantity) {
    const std::string materialName = material.toStdString();
    if (quantity != row.quantity) row.defaulted &= ~contract::kDefaultedQuantity;
    row.quantity = quantity;
    if (materialName == row.material && thickness == row.thickness) return row;

    // The job's gross weight may rest on more than the blank's rectangle; its area is
    // recovered from the weight so an edited row weighs as the job would weigh it.
    const double perArea = contract::weightKg(1.0, row.thickness, row.density);
    const double grossArea = perArea > 0 && row.grossWeight > 0 ? row.grossWeight / perArea
                                                                : row.blankLength * row.blankWidth;
    if (materialName != row.material) row.defaulted &= ~contract::kDefaultedMaterial;
    if (thickness != row.thickness) row.defaulted &= ~contract::kDefaultedThickness;
    row.material = materialName;
    row.thickness = thickness;
    if (const contract::Material* known = findMaterial(settings, material))
        row.density = known->density;
    row.netWeight = contract::weightKg(row.netArea, row.thickness, row.density);
    row.grossWeight = contract::weightKg(grossArea, row.thickness, row.density);
    return row;
}

QVector<BomEdit> bomEdits(const QVector<BomRow>& read, const QVector<BomRow>& shown) {
    QHash<QString, const BomRow*> byKey;
    for (const BomRow& row : read)
        byKey.insert(QString::fromStdString(row.key), &row);
    QVector<BomEdit> edits;
    for (const BomRow& row : shown) {
        const QString key = QString::fromStdString(row.key);
        const BomRow* before = byKey.value(key, nullptr);
        if (!before) continue;
        const bool material = row.material != before->material;
        const bool thickness = row.thickness != before->thickness;
        const bool quantity = row.quantity != before->quantity;
        if (!material && !thickness && !quantity) continue;
        BomEdit edit{key, {}, {}, {}};
        if (material) edit.material = QString::fromStdString(row.material);
        if (thickness) edit.thickness = row.thickness;
        if (quantity) edit.quantity = row.quantity;
        edits.append(edit);
    }
    return edits;
}

double totalWeight(const BomRow& row) {
    return row.quantity * row.netWeight;
}

BomTotals bomTotals(const QVector<BomRow>& rows) {
    BomTotals totals;
    for (const BomRow& row : rows) {
        totals.quantity += row.quantity;
        totals.weight += totalWeight(row);
        totals.cutLength += row.quantity * row.cutLength;
        totals.pierces += static_cast<qint64>(row.quantity) * row.pierces;
    }
    return totals;
}

}  // namespace qks::studio
