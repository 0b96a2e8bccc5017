// Plane geometry shared by the plug-in and the drawing host. Angles in radians.
#pragma once

namespace qks {

inline constexpr double kPi = 3.14159265358979323846;

// The circular arc of a bulged polyline segment from a to b (bulge = tan(sweep / 4), positive
// counter-clockwise, as drawings store it).
struct BulgeArc {
    double centreX = 0.0, centreY = 0.0;
    double radius = 0.0;
    double startAngle = 0.0;  // of a, seen from the centre
    double sweep = 0.0;       // signed: positive counter-clockwise
};
// False when the segment is straight: the bulge is about zero or not finite, or a and b
// coincide; `out` is then left as it was.
bool bulgeArc(double ax, double ay, double bx, double by, double bulge, BulgeArc& out);

}  // namespace qks
