// Part extraction: the parts a drawing's cut geometry draws (closed curves, loose curves that
// meet end to end, shared cut lines, and the curves of block references, which join the loose
// ones), measured in millimetres and turned into PartRecord kinds.
//
// Threads: main thread only (it reads drawings through the host). Dropped geometry is reported
// as WARN lines, what was left out as not cut and drawings read in another unit as NEST lines,
// on the nest log channel; nothing throws.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "qks/common/job_log.h"
#include "qks/contract/config_keys.h"
#include "qks/contract/part.h"
#include "qks/drawing/arrangement.h"
#include "qks/geometry/plane.h"
#include "qks/host/drawing.h"

namespace qks::drawing {

using contract::PartRecord;
using geometry::Outline;

// How far flattened arcs and splines may stray from the real curve (mm).
inline constexpr double kChordError = 0.01;
inline constexpr int kMaxBlockDepth = 6;
// The most cells of one multiple insert's grid that are followed, as the host draws them.
inline constexpr int kMaxArrayCells = 10000;
// Parts smaller than this are dropped (mm², mm).
inline constexpr double kMinOutlineArea = 0.5;
inline constexpr double kMinOutlineExtent = 1.0;
// A drawing whose header's unit makes it wider than this (mm) but which fits in it in
// millimetres is read in millimetres.
inline constexpr double kLargestDrawingExtent = 50000.0;

struct ExtractionOptions {
    std::vector<std::string> layers;  // accepted layers (lower case words); empty: all
    double joinTolerance = contract::kDefaultJoinTolerance;  // mm
    contract::DrawingUnits units = contract::DrawingUnits::Auto;
    // Leave out drawing frames and title blocks, entities drawn in centre, hidden or phantom
    // line types, and layers whose names hold one of skipLayers (but closed curves inside a
    // part on layers named only like dimensions or axes, loose or drawn by a block reference
    // there, are its cut-outs all the same).
    bool skipNonCut = true;
    std::vector<std::string> skipLayers{contract::kDefaultSkipLayerWords.begin(),
                                        contract::kDefaultSkipLayerWords.end()};
    // Which orientations make two shapes one kind (the job's rotate and mirror switches).
    bool rotations = true;
    bool mirroring = true;
    // Where WARN and NEST lines go: the nest log, or the log of the job that borrows the
    // extraction.
    LogChannel logChannel = LogChannel::Nest;
    // Ellipses and splines flattened to kFigureChordError rather than kChordError, for jobs
    // that report what parts measure (the chord error still grows the outlines).
    bool fineFreeForm = false;
    // Keep, with each part, the handles of the non-cut geometry lying on it (bend lines on
    // layers named so or in broken line types; engraving layers; texts), so the nest drawing
    // can carry it. Only what the rules above leave out is carried, never frames.
    bool carry = false;
};

// Millimetres per drawing unit for an $INSUNITS code (0 and unknown codes: 1), and the unit's
// name as the log writes it.
double millimetresPerUnit(int insUnits);
std::string unitName(int insUnits);

// True when `layers` (lower case) is empty or one entry occurs in the lower-cased layer name.
bool layerAccepted(const std::vector<std::string>& layers, const std::string& layerName);
// True when one word of `words` (lower case) occurs in the lower-cased layer name.
bool layerSkipped(const std::vector<std::string>& words, const std::string& layerName);
// Centre, hidden, phantom and the other broken line types nobody cuts along.
bool nonCutLinetype(const std::string& linetype);

// Appends the kinds found among `entities` (of one database); true when `out` is non-empty
// afterwards. Parts are in millimetres, each recording the drawing's scale.
bool extractParts(host::DrawingAccess& ds, const std::vector<host::ObjectId>& entities,
                  const std::string& source, const std::string& defaultName,
                  const ExtractionOptions& options, std::vector<PartRecord>& out,
                  std::int32_t& nextId);

// The same over every entity of the database's model space, in record order. An empty
// `sourcePath` records the source as "CURRENT".
void extractModelSpace(host::DrawingAccess& ds, host::DatabaseId database,
                       const std::string& sourcePath, const std::string& defaultName,
                       const ExtractionOptions& options, std::vector<PartRecord>& out,
                       std::int32_t& nextId);

// Parts built from arranged faces: each takes the next id from `nextId` (dropped parts keep
// theirs used); too small ones are dropped. `names` gives arranged part k its own name where
// names[k] is not empty, `name` standing for the rest.
void partsFromArrangement(const Arrangement& arrangement, const std::string& source,
                          const std::string& name, double drawingScale,
                          std::vector<PartRecord>& out, std::int32_t& nextId,
                          const std::vector<std::string>& names = {});

// Kinds of one shape become one, quantities summed; the first of each stays in its place.
// Two parts are one shape when outline and holes match to 0.01 mm (areas, lengths, hole
// positions relative to the outline), allowing the turns and mirroring given.
void mergeIdenticalKinds(std::vector<PartRecord>& parts, bool rotations = true,
                         bool mirroring = true);

}  // namespace qks::drawing
