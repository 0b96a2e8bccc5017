#include "qks/common/numbers.h"

#include <charconv>
#include <cstdint>
#include <limits>

namespace qks {
namespace {
bool isBlank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
}  // namespace

std::int32_t parseLeadingInt(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size() && isBlank(text[pos]))
        ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    std::int64_t value = 0;
    constexpr std::int64_t limit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
        value = value * 10 + (text[pos] - '0');
        if (value > limit) value = limit;
    }
    if (negative) value = -value;
    if (value > std::numeric_limits<std::int32_t>::max())
        return std::numeric_limits<std::int32_t>::max();
    if (value < std::numeric_limits<std::int32_t>::min())
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(value);
}

double parseLeadingDouble(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size() && isBlank(text[pos]))
        ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    // from_chars takes no sign of its own after ours, so "+-1" stays 0 as in atof.
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) return 0.0;
    double value = 0.0;
    const char* first = text.data() + pos;
    const char* last = text.data() + text.size();
    const auto result = std::from_chars(first, last, value, std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) {
        // Out of range: a negative exponent underflowed to zero, anything else overflowed.
        bool negativeExponent = false;
        for (const char* p = first; p + 1 < result.ptr; ++p)
            if (*p == 'e' || *p == 'E') negativeExponent = p[1] == '-';
        value = negativeExponent ? 0.0 : std::numeric_limits<double>::infinity();
    } else if (result.ec != std::errc()) {
        value = 0.0;
    }
    return negative ? -value : value;
}

}  // namespace qks
