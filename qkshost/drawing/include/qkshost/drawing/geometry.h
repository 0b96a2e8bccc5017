// Geometry of entities: curve parameters and points, extents, object coordinate systems and
// block reference transforms. Parameters follow the CAD program's conventions: a line runs from
// 0 to its length, a circle from 0 to 2*pi, an arc from its start to its end angle (radians,
// end > start), polylines by vertex index plus fraction (bulge segments linear in swept angle),
// an ellipse by its own parameters, a spline over its knot range. Points are WCS.
#pragma once

#include "qkshost/drawing/database.h"

namespace qkshost::drawing {

// Arbitrary-axis algorithm: the matrix taking OCS coordinates of the given extrusion to WCS.
Matrix3d ocsToWcs(const Vector3d& extrusion);
Matrix3d wcsToOcs(const Vector3d& extrusion);
Matrix3d inverse(const Matrix3d& m);

// Maps the block's coordinates (relative to its base point) to the reference's owner space.
Matrix3d blockTransform(const Database& db, const BlockReference& ref);

bool isCurve(const Object& o);
Status curveIsClosed(const Database& db, ObjectIndex curve, bool& closed);
Status curveStartParam(const Database& db, ObjectIndex curve, double& t);
Status curveEndParam(const Database& db, ObjectIndex curve, double& t);
Status curvePointAtParam(const Database& db, ObjectIndex curve, double t, Point3d& p);

// The curve as a chain of WCS points: line ends and polyline vertices exact, arcs, ellipses
// and splines by chords within `chordError` (> 0) of the curve, splines subdivided until the
// chord's middle and quarter points lie within it. A closed curve's last point is not
// repeated. At most kMaxCurvePoints points: a finer chord error is given up beyond that.
inline constexpr std::size_t kMaxCurvePoints = 1u << 20;
Status curvePoints(const Database& db, ObjectIndex curve, double chordError,
                   std::vector<Point3d>& points, bool& closed);

// Geometric extents (WCS). NotFound when the entity has none (empty block, empty text).
Status entityExtents(const Database& db, ObjectIndex entity, Extents3d& box);

// Corners of a text's box in WCS (estimated from height, width factor and character count).
bool textBox(const Database& db, const Object& text, Point3d corners[4]);

// B-spline evaluation (de Boor with rational weights); knots must hold ctrl+degree+1 values.
bool evalSpline(int degree, const std::vector<double>& knots, const std::vector<Point3d>& ctrl,
                const std::vector<double>& weights, double t, Point3d& out);

// A cubic spline given by fit points only gets the knots and control points the CAD program
// gives it: chord-length knots, the curve through every fit point, at either end the unit
// tangent when one is given, else no curvature. Duplicate neighbouring fit points count once.
// False (the spline unchanged) with fewer than two distinct points or a degree other than 3.
bool interpolateFitPoints(Spline& spline);

}  // namespace qkshost::drawing
