#pragma once
// The progress file a running nest job rewrites ("qks_nest_progress.txt").

#include <QByteArray>
#include <QString>
#include <QVector>
#include <optional>

#include "qks/contract/progress_format.h"

namespace qks::studio {

// partId, angle (whole degrees, counter-clockwise), mirrored, column and row (grid cells).
using Placement = contract::PlaceRecord;

struct SheetLayout {
    double width = 0;
    double height = 0;
    QVector<Placement> placements;
};

struct GridFrame {
    double margin = 10;
    double cell = 1;
    double pad = 0;
};

// What one read of the file held. Records absent from the file are left empty so the
// page keeps its previous values for them.
struct ProgressRecords {
    std::optional<GridFrame> frame;
    QVector<SheetLayout> sheets;
    std::optional<double> utilisation;
    std::optional<int> unplaced;
    std::optional<double> elapsed;
    std::optional<QString> state;
};

ProgressRecords parseProgressFile(const QByteArray& bytes);

}  // namespace qks::studio
