// UTF-8 text helpers. Every string in the plug-in is UTF-8 in std::string; where a rule
// counts, cuts or lower-cases characters it works on Unicode code points through these.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qks {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// Decodes `text` into code points. Every byte that does not start a well-formed UTF-8
// sequence (overlong forms, surrogates and values above U+10FFFF included) becomes one
// U+FFFD, as Windows' converter does.
std::u32string decodeUtf8(std::string_view text);
// The code point that starts at byte `pos` (< text.size()); `length` receives the bytes it
// takes: 1 for a byte that does not start a well-formed sequence, which decodes as U+FFFD.
char32_t decodeUtf8At(std::string_view text, std::size_t pos, std::size_t& length);

// Appends the UTF-8 form of `cp` (U+FFFD for surrogates and values above U+10FFFF).
void appendUtf8(std::string& out, char32_t cp);
std::string encodeUtf8(std::u32string_view codePoints);

// Returns valid UTF-8: well-formed sequences are kept, every bad byte becomes U+FFFD.
std::string sanitizeUtf8(std::string_view text);
// The same, appended to `out` (no temporary string: text readers call it for every value).
void appendSanitizedUtf8(std::string& out, std::string_view text);
bool isValidUtf8(std::string_view text);

// Number of code points (bad bytes count one each, as they decode to U+FFFD).
std::size_t codePointCount(std::string_view text);
// Number of UTF-16 code units the text would take (code points above U+FFFF count two).
std::size_t utf16Length(std::string_view text);
// The first `maxCodePoints` code points of `text`, never splitting a sequence.
std::string cutCodePoints(std::string_view text, std::size_t maxCodePoints);

// Simple (one-to-one) lower-casing of Latin, Greek, Cyrillic and fullwidth Latin letters;
// other code points are kept. Output is valid UTF-8.
char32_t toLowerCodePoint(char32_t cp);
std::string toLowerUtf8(std::string_view text);

// Trims code points <= U+0020 at both ends (the job-config value rule).
std::string_view trimControlAndSpace(std::string_view text);
// Trims Unicode white space at both ends (ASCII blanks and controls 9-13, U+0085, U+00A0,
// U+1680, U+2000-U+200A, U+2028, U+2029, U+202F, U+205F, U+3000, and the byte-order mark).
std::string_view trimWhiteSpace(std::string_view text);

}  // namespace qks
