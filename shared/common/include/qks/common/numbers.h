// Lenient number parsing of job configs, independent of the process locale.
#pragma once

#include <cstdint>
#include <string_view>

namespace qks {

// Like the C library's atoi: leading white space, an optional sign, decimal digits; anything
// after them is ignored; no digits give 0. Values beyond the 32-bit range are clamped.
std::int32_t parseLeadingInt(std::string_view text);

// Like atof in the "C" locale: leading white space, then the longest prefix that is a
// decimal or exponent number ("inf" and "nan" included); nothing numeric gives 0.
double parseLeadingDouble(std::string_view text);

}  // namespace qks
