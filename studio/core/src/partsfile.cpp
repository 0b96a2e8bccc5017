#include "qks/studio/partsfile.h"

#include <QHash>
#include <algorithm>

#include "contract_text.h"
#include "qks/contract/config_keys.h"
#include "qks/contract/parts_format.h"

namespace qks::studio {
QVector<PartRow> parsePartsFile(const QByteArray& bytes) {
    // The page lists every kind, also those the plug-in would not nest.
    const std::vector<contract::PartRecord> records =
        contract::readParts(detail::fileText(bytes), {detail::studioReadRules(), true});
    QVector<PartRow> parts;
    parts.reserve(static_cast<int>(records.size()));
    for (const contract::PartRecord& record : records) {
        PartRow part;
        part.id = record.id;
        part.name = detail::fieldText(record.name);
        part.quantity = record.quantity;
        part.area = record.area;
        part.refX = record.refX;
        part.refY = record.refY;
        part.width = record.width;
        part.height = record.height;
        part.outline = detail::toContour(record.outline);
        part.holes.reserve(static_cast<int>(record.holes.size()));
        for (const contract::Outline& hole : record.holes)
            part.holes.append(detail::toContour(hole));
        parts.append(part);
    }
    return parts;
}

void keepUserChoices(const QVector<PartRow>& previous, QVector<PartRow>& fresh) {
    QHash<int, const PartRow*> byId;
    for (const PartRow& row : previous)
        byId.insert(row.id, &row);
    for (PartRow& row : fresh) {
        if (const PartRow* old = byId.value(row.id, nullptr)) {
            row.enabled = old->enabled;
            row.quantity = old->quantity;
            row.rotation = old->rotation;
        }
    }
}

std::pair<int, qint64> partTally(const QVector<PartRow>& parts) {
    qint64 pieces = 0;
    for (const PartRow& row : parts) {
        if (row.enabled) pieces += row.quantity;
    }
    return {parts.size(), pieces};
}

int editedQuantity(const QString& text, int previous) {
    bool ok = false;
    const qlonglong value = text.trimmed().toLongLong(&ok, 10);
    if (!ok || value < 0) return previous;
    return static_cast<int>(std::min<qlonglong>(value, contract::kQuantityCap));
}

}  // namespace qks::studio
