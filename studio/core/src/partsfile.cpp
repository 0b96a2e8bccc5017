#include "qks/studio/partsfile.h"

#include <QHash>
#include <QStringList>
#include <algorithm>

namespace qks::studio {
namespace {

// "x,y;x,y;...": a piece with fewer than two numbers is skipped.
Contour parsePoints(const QString& field) {
    Contour points;
    const QVector<QStringRef> pieces = field.splitRef(QLatin1Char(';'));
    points.reserve(pieces.size());
    for (const QStringRef& piece : pieces) {
        const QVector<QStringRef> xy = piece.split(QLatin1Char(','));
        if (xy.size() < 2) continue;
        points.append(QPointF(xy[0].toDouble(), xy[1].toDouble()));
    }
    return points;
}

}  // namespace

QVector<PartRow> parsePartsFile(const QByteArray& bytes) {
    QVector<PartRow> parts;
    QHash<int, int> rowOfId;
    const QString text = QString::fromUtf8(bytes);
    for (const QStringRef& rawLine : text.splitRef(QLatin1Char('\n'))) {
        const QStringRef line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) continue;
        const QVector<QStringRef> f = line.split(QLatin1Char('\t'));
        const QStringRef tag = f[0];
        if (tag == QLatin1String("P") && f.size() >= 11) {
            PartRow part;
            part.id = f[1].toInt();
            part.quantity = f[2].toInt();
            part.area = f[3].toDouble();
            part.refX = f[4].toDouble();
            part.refY = f[5].toDouble();
            part.width = f[6].toDouble();
            part.height = f[7].toDouble();
            part.name = f[10].toString();
            rowOfId.insert(part.id, parts.size());
            parts.append(part);
        } else if ((tag == QLatin1String("O") || tag == QLatin1String("H")) && f.size() >= 3) {
            const auto row = rowOfId.constFind(f[1].toInt());
            if (row == rowOfId.constEnd()) continue;
            if (tag == QLatin1String("O"))
                parts[*row].outline = parsePoints(f[2].toString());
            else
                parts[*row].holes.append(parsePoints(f[2].toString()));
        }
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

std::pair<int, int> partTally(const QVector<PartRow>& parts) {
    int pieces = 0;
    for (const PartRow& row : parts) {
        if (row.enabled) pieces += row.quantity;
    }
    return {parts.size(), pieces};
}

int editedQuantity(const QString& text, int previous) {
    bool ok = false;
    const qlonglong value = text.trimmed().toLongLong(&ok, 10);
    if (!ok || value < 0) return previous;
    return static_cast<int>(std::min<qlonglong>(value, 999));
}

}  // namespace qks::studio
