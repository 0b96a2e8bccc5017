#pragma once
// The progress file a running nest job rewrites ("qks_nest_progress.txt").

#include <QByteArray>
#include <QString>
#include <QVector>
#include <optional>
#include <vector>

#include "qks/contract/progress_format.h"

namespace qks::studio {

// partId, angle (whole degrees, counter-clockwise), mirrored, column and row (grid cells).
using Placement = contract::PlaceRecord;

// One sheet of the layout as the preview draws it.
struct SheetPlacements {
    double width = 0;
    double height = 0;
    QVector<Placement> placements;
    // An irregular stock piece: its outline, then its defects (sheet coordinates, y up); empty
    // for a rectangular sheet.
    std::vector<contract::Outline> stock;
};

// Where grid cell (0, 0) of a sheet lies, as the file's CFG record says.
using GridFrame = contract::GridFrame;

// What one read of the file held. Records absent from the file are left empty so the
// page keeps its previous values for them.
struct ProgressSnapshot {
    std::optional<GridFrame> frame;
    QVector<SheetPlacements> sheets;
    std::optional<double> utilisation;
    std::optional<int> unplaced;
    std::optional<double> elapsed;
    std::optional<QString> state;
};

ProgressSnapshot parseProgressFile(const QByteArray& bytes);

}  // namespace qks::studio
