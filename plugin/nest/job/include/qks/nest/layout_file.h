// The nest layout file (contract nest_layout_format.h) on the plug-in's side: the layout of a
// finished session as the file keeps it, and a session to draw from a layout that passed the
// check (contract layout_check.h).
//
// Threads: pure functions of their inputs; the session's worker must have ended.
#pragma once

#include <string>

#include "qks/contract/nest_layout_format.h"
#include "qks/nest/session.h"

namespace qks::nest {

// The session's final layout, with the orientations each kind was allowed and the settings the
// drawing needs; `drawingPath` is the nest drawing actually written.
contract::NestLayout layoutOfSession(const NestSession& session, const std::string& drawingPath);

// Whether the layout's grid is the one the drawing step places on (margin plus the gap's pad, in
// cells of the layout's size); a layout on another grid cannot be drawn where it says.
bool layoutGridMatches(const contract::LayoutSettings& settings);

// Fills an empty session from a checked layout whose grid matches: config (output settings, gap,
// margin, cell, part-in-part, one stock entry per sheet, irregular pieces as shapes), parts,
// and the layout with its placements on the grid and its totals. Sheets without parts are left
// out, as are placements of kinds the layout does not list.
void sessionFromLayout(const contract::NestLayout& layout, NestSession& session);

// Writes the layout through a temporary file and a rename; false (with `error`) when not.
bool writeLayoutFile(const std::string& path, const contract::NestLayout& layout,
                     std::string* error = nullptr);

}  // namespace qks::nest
