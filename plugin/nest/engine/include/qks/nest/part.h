// The part-kind record shared by extraction, the parts file, the engine and the output step:
// the record the parts file carries to the Studio.
#pragma once

#include "qks/contract/part.h"

namespace qks::nest {

using Point = contract::Point;
using Outline = contract::Outline;
using NestPart = contract::PartRecord;

}  // namespace qks::nest
