#include "qks/contract/text_format.h"

#include <charconv>
#include <cmath>

namespace qks::contract {

void appendFixed(std::string& out, double value, int decimals) {
    char buffer[400];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    out.append(buffer, result.ptr);
}

std::string fixed(double value, int decimals) {
    std::string out;
    appendFixed(out, value, decimals);
    return out;
}

void appendGeneral(std::string& out, double value) {
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 6);
    out.append(buffer, result.ptr);
}

void appendInt(std::string& out, long long value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

}  // namespace qks::contract
