// The parts a set of flattened curves draws: open pieces joined end to end, everything noded
// into a planar arrangement, its faces taken by nesting depth (even depth is material, odd a
// hole). Pure geometry in millimetres: no host, no log; extraction feeds it and reports.
//
// Threads: any; each call owns its own geometry-engine context.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "qks/contract/config_keys.h"
#include "qks/contract/part.h"

namespace qks::drawing {

using geometry::Outline;
using geometry::Point;

// A circle some chords of a piece flatten (mm): an arc's, a circle's, a bulged segment's.
struct PieceArc {
    Point centre;
    double radius = 0.0;
};

// One curve as a chain of points (mm), with the entity it came from.
struct CurvePiece {
    std::vector<Point> points;
    bool closed = false;  // the last point joins the first and is not repeated
    std::string handle;   // empty when the entity has none
    // How far the chords may lie inside the real curve (mm): 0 for straight edges, the
    // flattening's chord error for arcs and splines. Outlines made of such pieces are grown
    // by it, holes shrunk, so an outline always holds the real part.
    double chordError = 0.0;
    std::vector<PieceArc> arcs;  // for the true figures only
};

struct ArrangementOptions {
    // Open ends closer than this (mm, Euclidean) meet; each end joins its nearest free end.
    double joinTolerance = contract::kDefaultJoinTolerance;
};

// One face of even depth: a part with its holes (mm).
struct ArrangedPart {
    Outline outline;
    std::vector<Outline> holes;
    std::vector<std::string> handles;        // the outline's entities, then the holes', each once
    double area = 0.0;                       // of the outline, holes not subtracted
    std::size_t firstPiece = 0;              // lowest index of a piece on its outline: the order
    std::vector<std::size_t> outlinePieces;  // the pieces on its outline, ascending
    contract::TrueFigures figures;           // of the face itself, not grown
};

struct Arrangement {
    std::vector<ArrangedPart> parts;  // in the order of their first piece
    int danglingPieces = 0;           // runs of curves that bound no face
    bool failed = false;              // the geometry engine refused the input
    std::string message;
};

// A joined chain: the pieces it runs through, in order.
struct JoinedChain {
    std::vector<Point> points;
    bool closed = false;
    std::vector<std::size_t> pieces;
};

// Open pieces joined end to end: ends are paired nearest first, each end at most once, and a
// chain closes on itself only when no nearer continuation took either end and it is larger
// than the tolerance. Closed pieces pass through as they are. Pieces without two distinct
// points or with coordinates that are not finite are left out.
std::vector<JoinedChain> joinPieces(const std::vector<CurvePiece>& pieces, double tolerance);

// Pieces far enough apart that they cannot meet (boxes more than the join tolerance apart,
// holding every piece inside them) are arranged group by group: many copies of one part cost
// what each costs alone, not the square of their number.
Arrangement arrangePieces(const std::vector<CurvePiece>& pieces, const ArrangementOptions& options);

}  // namespace qks::drawing
