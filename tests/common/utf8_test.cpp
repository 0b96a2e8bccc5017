#include <gtest/gtest.h>

#include <cmath>

#include "qks/common/numbers.h"
#include "qks/common/utf8.h"

namespace qks {
namespace {

TEST(Utf8, InvalidBytesBecomeReplacementCharacters) {
    struct Case {
        std::string input;
        std::string expected;
    } cases[] = {
        {"plain", "plain"},
        {"\xE4\xB8\xAD\xE6\x96\x87", "\xE4\xB8\xAD\xE6\x96\x87"},  // 中文 stays
        {"a\xFF"
         "b",
         "a\xEF\xBF\xBD"
         "b"},
        {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},                  // overlong slash
        {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // lone surrogate
        {"\xE4\xB8", "\xEF\xBF\xBD\xEF\xBF\xBD"},                  // truncated at the end
        {"\xF4\x90\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // > U+10FFFF
        {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},                                  // emoji
    };
    for (const auto& c : cases) {
        EXPECT_EQ(sanitizeUtf8(c.input), c.expected) << c.input;
        EXPECT_TRUE(isValidUtf8(sanitizeUtf8(c.input)));
        std::string appended = "x";
        appendSanitizedUtf8(appended, c.input);
        EXPECT_EQ(appended, "x" + c.expected) << c.input;
        // Decoding one code point at a time agrees with decoding the whole text.
        std::u32string stepwise;
        for (std::size_t pos = 0, length = 0; pos < c.input.size(); pos += length)
            stepwise.push_back(decodeUtf8At(c.input, pos, length));
        EXPECT_EQ(stepwise, decodeUtf8(c.input)) << c.input;
    }
}

TEST(Utf8, CountsCutsAndLowersByCodePoint) {
    const std::string mixed = "Ab\xE4\xB8\xAD\xF0\x9F\x98\x80Z";  // A b 中 😀 Z
    EXPECT_EQ(codePointCount(mixed), 5u);
    EXPECT_EQ(utf16Length(mixed), 6u);
    EXPECT_EQ(cutCodePoints(mixed, 3), "Ab\xE4\xB8\xAD");
    EXPECT_EQ(cutCodePoints(mixed, 0), "");
    EXPECT_EQ(cutCodePoints(mixed, 99), mixed);
    EXPECT_EQ(toLowerUtf8(mixed), "ab\xE4\xB8\xAD\xF0\x9F\x98\x80z");
    EXPECT_EQ(toLowerUtf8("\xC3\x84\xD0\x96\xCE\xA3\xEF\xBC\xA1"),  // Ä Ж Σ Ａ
              "\xC3\xA4\xD0\xB6\xCF\x83\xEF\xBD\x81");
    EXPECT_EQ(toLowerUtf8("\xC3\x97"), "\xC3\x97");  // × is not a letter
}

TEST(Utf8, Trimming) {
    EXPECT_EQ(trimControlAndSpace("\t a b \r\x01"), "a b");
    EXPECT_EQ(trimWhiteSpace("\xE3\x80\x80 x\xC2\xA0\r"), "x");  // ideographic space, NBSP
    EXPECT_EQ(trimWhiteSpace("\xE4\xB8\xAD "), "\xE4\xB8\xAD");
    EXPECT_EQ(trimWhiteSpace("   "), "");
}

TEST(Numbers, ParseLikeTheCLibrary) {
    struct IntCase {
        const char* text;
        std::int32_t value;
    } ints[] = {{"5", 5},
                {"  -12x", -12},
                {"+7", 7},
                {"abc", 0},
                {"", 0},
                {"99999999999", 2147483647},
                {"-99999999999", -2147483647 - 1},
                {"1.9", 1},
                {" \t42", 42},
                {"--3", 0}};
    for (const auto& c : ints)
        EXPECT_EQ(parseLeadingInt(c.text), c.value) << c.text;
    struct DoubleCase {
        const char* text;
        double value;
    } doubles[] = {{"0.12", 0.12}, {" 5", 5},  {"-1.5e2mm", -150},  {"abc", 0},    {"", 0},
                   {".5", 0.5},    {"+2.", 2}, {"1e999", HUGE_VAL}, {"1e-999", 0}, {"3,5", 3}};
    for (const auto& c : doubles)
        EXPECT_EQ(parseLeadingDouble(c.text), c.value) << c.text;
}

}  // namespace
}  // namespace qks
