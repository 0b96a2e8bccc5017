// The plug-in's lexical rules for the shared readers (qks/contract/read_rules.h): lines trimmed
// of Unicode white space, numbers read as atoi and atof do, bad UTF-8 bytes decoded as U+FFFD,
// lower-casing as toLowerUtf8.
#pragma once

#include "qks/contract/read_rules.h"

namespace qks {

const contract::ReadRules& pluginReadRules();

}  // namespace qks
