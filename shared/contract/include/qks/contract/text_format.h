// Locale-independent number formatting for the files the peers read.
#pragma once

#include <string>

namespace qks::contract {

// printf "%.*f" in the "C" locale.
void appendFixed(std::string& out, double value, int decimals);
std::string fixed(double value, int decimals);
// printf "%g" (6 significant digits) in the "C" locale.
void appendGeneral(std::string& out, double value);
void appendInt(std::string& out, long long value);

}  // namespace qks::contract
