// Exact figures of arranged faces: the arrangement works on flattened chords and grows outlines
// by the chord error, which is right for nesting and wrong for what a part is reported to
// measure. Chords that flatten a circle of their piece are measured as the arc they stand for
// (circular segments added to the shoelace area, arc lengths summed); the rest as they are.
//
// Why chords plus arc terms rather than a finer flattening: a 0.001 mm flattening still leaves
// two thirds of a thousandth times the curve's length out of the area (0.25 mm² on a Ø120
// flange), while the segment term is exact whatever the flattening.
//
// Threads: any; pure geometry in millimetres, except curveArcs, which reads the drawing.
#pragma once

#include "qks/geometry/point.h"

#include <vector>

#include "qks/drawing/arrangement.h"
#include "qks/host/drawing.h"

namespace qks::drawing {

using geometry::Point;

// How finely free-form curves (ellipses, splines) are flattened for figures (mm).
inline constexpr double kFigureChordError = 0.001;

// The chord error (mm) a curve of `type` is flattened to: kFigureChordError for ellipses and
// splines when `fineFreeForm`, else the nest's own.
double flatteningChordError(host::EntityType type, bool fineFreeForm);

// The circles a curve's chords may flatten (mm, in the scanned space): its own circle for arcs
// and circles, one per bulged segment for polylines. Empty for other curves and under
// transforms that are not similarities (an arc stretched is no circle).
std::vector<PieceArc> curveArcs(host::DrawingAccess& ds, host::ObjectId curve,
                                const host::EntityInfo& info, const host::Matrix3d& transform,
                                double scale);

struct RingFigures {
    double area = 0.0;  // signed, counter-clockwise positive
    double length = 0.0;
    std::vector<Point> dense;  // the ring with its arcs split to within 0.001 mm of the curve
};

// A ring's figures, its edges whose ends lie on one of `arcs` and which are no longer than a
// flattening chord (`chordError` of sagitta) taken as arcs; its vertices on a circle are moved
// onto it first (the noding grid rounds them).
RingFigures ringFigures(const std::vector<Point>& ring, const std::vector<PieceArc>& arcs,
                        double chordError);

}  // namespace qks::drawing
