// Locale-independent number formatting for the files the Studio reads.
#pragma once

#include <string>

namespace qks::nest::detail {

// printf "%.*f" in the "C" locale.
void appendFixed(std::string& out, double value, int decimals);
std::string fixed(double value, int decimals);
// printf "%g" (6 significant digits) in the "C" locale.
void appendGeneral(std::string& out, double value);
void appendInt(std::string& out, long long value);

}  // namespace qks::nest::detail
