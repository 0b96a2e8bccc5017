#include "qks/studio/progressfile.h"

#include <QStringList>

namespace qks::studio {

ProgressRecords parseProgressFile(const QByteArray& bytes) {
    ProgressRecords out;
    const QString text = QString::fromUtf8(bytes);
    for (const QStringRef& rawLine : text.splitRef(QLatin1Char('\n'))) {
        const QStringRef line = rawLine.trimmed();
        if (line.isEmpty()) continue;
        const QVector<QStringRef> f = line.split(QLatin1Char('\t'));
        if (f.size() < 2) continue;
        const QStringRef tag = f[0];
        if (tag == QLatin1String("CFG")) {
            if (f.size() < 3) continue;
            GridFrame frame;
            frame.margin = f[1].toDouble();
            frame.cell = f[2].toDouble();
            frame.pad = f.size() > 3 ? f[3].toDouble() : 0.0;
            out.frame = frame;
        } else if (tag == QLatin1String("SHEET")) {
            if (f.size() < 3) continue;
            SheetLayout sheet;
            sheet.width = f[1].toDouble();
            sheet.height = f[2].toDouble();
            out.sheets.append(sheet);
        } else if (tag == QLatin1String("PLACE")) {
            if (f.size() < 6 || out.sheets.isEmpty()) continue;
            Placement p;
            p.partId = f[1].toInt();
            p.angle = f[2].toInt();
            p.mirrored = f[3].toInt() != 0;
            p.column = f[4].toInt();
            p.row = f[5].toInt();
            out.sheets.last().placements.append(p);
        } else if (tag == QLatin1String("UTIL")) {
            out.utilisation = f[1].toDouble();
        } else if (tag == QLatin1String("UNPLACED")) {
            out.unplaced = f[1].toInt();
        } else if (tag == QLatin1String("ELAPSED")) {
            out.elapsed = f[1].toDouble();
        } else if (tag == QLatin1String("STATE")) {
            out.state = f[1].toString();
        }
    }
    return out;
}

}  // namespace qks::studio
