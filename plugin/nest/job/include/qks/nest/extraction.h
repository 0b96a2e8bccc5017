// Part extraction: closed outlines with their holes found among drawing entities (closed
// curves, loose open curves meeting end to end, block references standing for one part each),
// turned into NestPart kinds.
//
// Threads: main thread only (it reads drawings through the host). Dropped geometry is reported
// as WARN lines on the nest log channel; nothing throws.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "qks/host/drawing.h"
#include "qks/host/host.h"
#include "qks/nest/geometry.h"
#include "qks/nest/part.h"

namespace qks::nest {

// Sampling and joining constants, drawing units.
inline constexpr int kClosedCurveSamples = 128;
inline constexpr int kOpenCurveIntervals = 32;
inline constexpr double kClosedSimplifyTolerance = 0.4;
inline constexpr double kJoinTolerance = 0.6;
inline constexpr int kMaxBlockDepth = 6;
inline constexpr double kContainmentFactor = 1.01;
inline constexpr double kMinOutlineArea = 0.5;
inline constexpr double kMinOutlineExtent = 1.0;

// A closed ring with the handles of the entities that form it.
struct Loop {
    std::vector<Point> points;
    std::vector<std::string> handles;
};

// True when `layers` (lower case) is empty or one entry occurs in the lower-cased layer name.
bool layerAccepted(const std::vector<std::string>& layers, const std::string& layerName);

// Outlines and holes from loops; outlines become parts in collection order, each taking the
// next id from `nextId` (dropped parts keep theirs used). Appends to `out`.
void buildPartsFromLoops(const std::vector<Loop>& loops, const std::string& source,
                         const std::string& name, std::vector<NestPart>& out, std::int32_t& nextId);

// Appends the kinds found among `entities`; true when `out` is non-empty afterwards.
bool extractParts(host::DrawingServices& ds, const std::vector<host::ObjectId>& entities,
                  const std::string& source, const std::string& defaultName,
                  const std::vector<std::string>& layers, std::vector<NestPart>& out,
                  std::int32_t& nextId);

// The same over every entity of the database's model space, in record order. An empty
// `sourcePath` records the source as "CURRENT".
void extractModelSpace(host::DrawingServices& ds, host::DatabaseId database,
                       const std::string& sourcePath, const std::string& defaultName,
                       const std::vector<std::string>& layers, std::vector<NestPart>& out,
                       std::int32_t& nextId);

// Kinds equal in area, extent, outline point count and hole count become one, quantities
// summed; the first of each stays in its place.
void mergeIdenticalKinds(std::vector<NestPart>& parts);

// QKNESTPICK: parts from a selection in the current drawing, published as the parts file.
void runNestPick(host::Host& host);

}  // namespace qks::nest
