// Selection lines as typed at the host's "Select objects:" prompt, evaluated against one block
// record (model space by default):
//   ALL                 every entity
//   W x1,y1 x2,y2       entities entirely inside the window
//   C x1,y1 x2,y2       entities inside or crossing the window
//   L name[,name...]    entities on those layers (names without regard to case)
//   H handle ...        the entities with those handles
// An empty line cancels. Keywords are case-insensitive. Entities on frozen layers are never
// selected. The result lists each entity once, in record order.
#pragma once

#include "qkshost/drawing/database.h"

#include <string>
#include <string_view>
#include <vector>

namespace qkshost::drawing {

struct SelectionResult {
    bool cancelled = false;
    std::vector<ObjectIndex> entities;
    std::string message;  // why the line was refused, or which handles were not found
};

Status evaluateSelection(const Database& db, std::string_view line, SelectionResult& result,
                         ObjectIndex space = 0);

}  // namespace qkshost::drawing
