// Names of the parts a job finds in the host's current drawing (picked or whole).
#pragma once

#include <string>
#include <vector>

#include "qks/host/host.h"
#include "qks/nest/part.h"

namespace qks::nest {

// The file name without folder and extension.
std::string drawingStem(const std::string& path);

// What the current drawing's parts are called when no block names them: its file stem, or
// "当前图" while it has never been saved.
std::string currentDrawingPartName(host::Host& host);

// Numbers the kinds still called `base` ("<base>-1", "<base>-2", ... in order), so that labels,
// the parts list and the part table tell them apart; a drawing never saved keeps "当前图".
void numberUnnamedKinds(std::vector<NestPart>& parts, const std::string& base);

}  // namespace qks::nest
