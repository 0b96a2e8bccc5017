// Locked parts of an earlier nest kept where they lie: the layout file the job config names
// ("keeplocked", contract nest_layout_format.h) matched to this job's part kinds, so that the
// search nests the rest around them (the engine's kept sheets, context.h).
//
// Threads: main thread, before the session's worker starts. Outcomes go to the nest log.
#pragma once

#include "qks/nest/session.h"

namespace qks::nest {

// Nothing without config.keepLocked. Else reads that layout file and gives the session one kept
// sheet per sheet of the file holding locked parts it can keep, in the file's order, their own
// stock (the rectangle, or the irregular piece with its defects) put in front of config.sheets.
// A sheet kept takes the place of one the job's stock would supply: one off a limited entry of
// its size, or the job's remnant of its outline.
//
// A locked part is matched to the job's kind of the same outline and holes, measured from their
// bounding boxes' lower-left corners (within 0.01 mm; the same name preferred, then the same
// id), so a kind found again under another id or name is still kept. One whose kind the job
// does not nest, that lies off the job's grid, or that goes beyond its kind's quantity is not
// kept and is said in a WARN line. Returns false after a FATAL line when the file cannot be read,
// is no layout file, or lies on another grid than the job's (the cell, or the margin and gap
// that fix the grid's origin, changed).
bool keepLockedParts(NestSession& session);

}  // namespace qks::nest
