// Independent polygon geometry for checking layouts: exact segment tests, no rasters.
#pragma once

#include <random>
#include <vector>

#include "qks/nest/geometry.h"
#include "qks/nest/part.h"
#include "qks/nest/placement.h"

namespace qks::nest::testing {

// Smallest distance between two closed rings; 0 when they touch, cross or one holds the other.
double ringDistance(const std::vector<Point>& a, const std::vector<Point>& b);
// Smallest distance between the edges of two rings, whether or not one holds the other.
double edgeDistance(const std::vector<Point>& a, const std::vector<Point>& b);

// Part builders (reference corner at the origin unless moved).
NestPart rectanglePart(int id, double w, double h, int quantity = 1);
NestPart lPart(int id, double w, double h, int quantity = 1);
NestPart discPart(int id, double radius, double holeRadius, int quantity = 1);
NestPart polygonPart(int id, std::vector<Point> outline, int quantity = 1);

// A random mix of rectangles, L shapes, discs with holes and thin slivers, sometimes with a
// part larger than every sheet; shifted away from the origin so the reference corner matters.
std::vector<NestPart> randomParts(std::mt19937& gen, int kinds, int maxQuantity, double maxSize,
                                  double cell);

// Every check the layout invariants demand; failures are reported through gtest.
void checkLayout(const std::vector<NestPart>& parts, const NestConfig& config, const Layout& layout,
                 const char* what);

}  // namespace qks::nest::testing
