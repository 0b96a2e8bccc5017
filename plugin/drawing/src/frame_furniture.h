// The title blocks and tables drawn as loose lines beside a frame that is inserted as a block.
#pragma once

#include <string>
#include <vector>

#include "qks/host/drawing.h"

namespace qks::drawing {

// Handles of the loose lines and straight polylines among `entities` (one space, references not
// followed) that a frame reference's own lines reach: those meeting the block's lines (as
// placed) within `tolerance` drawing units, and every such line meeting one of them, as a
// drawn title block and its tables do; and of whatever else lies wholly within the box of one
// such group of lines (texts, a projection symbol). Only lines inside the reference's extents
// count. A frame reference is one whose block has a frame name.
std::vector<std::string> frameFurniture(host::DrawingAccess& ds,
                                        const std::vector<host::ObjectId>& entities,
                                        double tolerance);

}  // namespace qks::drawing
