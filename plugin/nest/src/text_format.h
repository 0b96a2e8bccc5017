// The shared number formatting under the names the nest runtime uses.
#pragma once

#include "qks/contract/text_format.h"

namespace qks::nest::detail {

using contract::appendFixed;
using contract::appendGeneral;
using contract::appendInt;
using contract::fixed;

}  // namespace qks::nest::detail
