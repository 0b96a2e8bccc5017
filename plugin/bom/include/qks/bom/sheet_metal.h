// The sheet-metal figures of a part: what its outline costs to cut and weighs, and the flat
// blank of a bent part from its side-view profile.
//
// Units: millimetres, mm², radians inside, degrees where a person reads them.
#pragma once

#include <string>
#include <vector>

#include "qks/contract/part.h"

namespace qks::bom {

using contract::Point;

// The smallest-area rectangle around the points at any angle: length >= width.
struct EnclosingRectangle {
    double length = 0.0;
    double width = 0.0;
    double angle = 0.0;  // of the length side, radians in [0, pi)
};
EnclosingRectangle smallestEnclosingRectangle(const std::vector<Point>& points);

struct PartFigures {
    double netArea = 0.0;    // outline less holes
    double cutLength = 0.0;  // outline and hole perimeters
    int pierces = 0;         // one per closed contour
    EnclosingRectangle blank;
};
PartFigures measurePart(const contract::PartRecord& part);

// One piece of a side-view profile, drawn along the part's inner surface.
struct ProfileSegment {
    Point start;
    Point end;
    bool arc = false;
    Point centre;  // arcs only
    double radius = 0.0;
    double sweep = 0.0;  // signed, positive counter-clockwise
};

struct Bend {
    double angle = 0.0;       // degrees the sheet turns, 0 < angle < 180
    double radius = 0.0;      // inner
    double allowance = 0.0;   // length of the neutral layer through the bend
    bool up = true;           // turning counter-clockwise along the profile
    bool drawnSharp = false;  // a corner without an arc: the default radius was used
    double position = 0.0;    // of the bend's centre line, along the flat blank from its start
};

struct FlatBlank {
    bool ok = false;
    std::string message;            // why not, or what looked wrong
    std::vector<double> straights;  // flat lengths between bends (after set-backs)
    std::vector<Bend> bends;
    double flatLength = 0.0;
};

// Straight lengths between bends plus each bend's allowance angle·(R + K·T). A sharp corner
// takes `defaultRadius`; its neighbouring straights lose the set-back R·tan(angle/2) each, as
// they are drawn to the corner rather than to the bend's tangent points.
FlatBlank unfoldProfile(const std::vector<ProfileSegment>& segments, double thickness,
                        double kFactor, double defaultRadius);

}  // namespace qks::bom
