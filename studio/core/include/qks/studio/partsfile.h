#pragma once
// The parts file the plug-in writes after extraction ("qks_nest_parts.txt"), as the nest
// page lists it, and the user's edits to that list.

#include <QByteArray>
#include <QPointF>
#include <QString>
#include <QVector>
#include <optional>
#include <utility>

namespace qks::studio {

using Contour = QVector<QPointF>;

// The turns one part may take on the sheet. Global leaves it to the form's rotate setting;
// the others restrict that part alone, e.g. to keep a grain direction or a bend side.
enum class RotationChoice { Global, Fixed0, HalfTurn, QuarterTurns };

struct PartRow {
    int id = 0;
    QString name;
    int quantity = 0;
    bool enabled = true;
    RotationChoice rotation = RotationChoice::Global;
    double area = 0;
    double refX = 0;
    double refY = 0;
    double width = 0;
    double height = 0;
    Contour outline;  // may be short; the preview skips fewer than 3 points
    QVector<Contour> holes;
};

// Every "P" record in file order; "O"/"H" records attach to the latest row of their id.
// Rows with short outlines or a quantity of 0 are kept (the page lists them).
QVector<PartRow> parsePartsFile(const QByteArray& bytes);

// Carries the enabled flag, quantity and rotation of `previous` rows over to rows of
// `fresh` with the same id, so a reload keeps the user's choices.
void keepUserChoices(const QVector<PartRow>& previous, QVector<PartRow>& fresh);

// (kinds, pieces): number of rows and the summed quantity of enabled rows. A parts file may
// carry quantities far past what the page lets one type, so pieces are summed wide.
std::pair<int, qint64> partTally(const QVector<PartRow>& parts);

// The quantity a typed cell text yields: a non-negative decimal integer, capped at 999;
// anything else keeps `previous`.
int editedQuantity(const QString& text, int previous);

}  // namespace qks::studio
