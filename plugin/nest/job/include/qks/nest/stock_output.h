// What the nest drawing shows of the stock beyond the sheet rectangles: irregular pieces with
// their defects, and the offcut kept at the end of a sheet.
#pragma once

#include <string>

#include "qks/host/drawing.h"
#include "qks/nest/session.h"

namespace qks::nest {

// Draws the sheet's stock piece (outline and defects) on the frame layer at sheetX0 and returns
// true; false, drawing nothing, when the sheet is a rectangle.
bool drawStockPiece(host::DrawingEdits& ds, host::ObjectId modelSpace, const NestConfig& config,
                    const SheetLayout& sheet, double sheetX0);

// With the job's offcut switch, on a rectangular sheet: the larger of the free strip above the
// parts and the one right of them, the gap kept from the parts. Draws its cut-off line and its
// size on QKS_OFFCUT and returns the log line ("NEST 余料 ..."); empty when there is none.
std::string markOffcut(host::DrawingEdits& ds, host::DatabaseId drawing, host::ObjectId modelSpace,
                       const NestSession& session, const SheetLayout& sheet, double sheetX0,
                       int number);

}  // namespace qks::nest
