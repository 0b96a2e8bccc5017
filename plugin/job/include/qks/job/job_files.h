// The plug-in's reading of the job files jobs hand on to each other and to the Studio: the
// parts file and the progress file, with the plug-in's lexical rules (numbers as atoi and atof
// read them). The formats themselves are the contract's.
#pragma once

#include <string_view>
#include <vector>

#include "qks/contract/part.h"
#include "qks/contract/progress_format.h"

namespace qks::job {

// A parts file's text (a UTF-8 byte-order mark is skipped, invalid UTF-8 replaced, lines
// trimmed of white space): its usable kinds, those with an outline and a quantity.
std::vector<contract::PartRecord> parsePartsText(std::string_view bytes);

// A progress file's text, lines taken as they are; a CFG counts only with its pad.
contract::ProgressRecords parseProgressText(std::string_view text);

}  // namespace qks::job
