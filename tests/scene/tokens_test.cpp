// The in-memory token reads against the C library's own formatted reads over the same bytes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "scene/tokens.h"

namespace kestrune {
namespace {

struct Outcome {
    bool ok;
    double value;
    long position;
};

#if defined(__GLIBC__) // the comparisons below are with the GNU C library
// What fscanf with one conversion does to a stream holding text: result and bytes consumed.
template <typename T> Outcome libraryRead(const std::string& text, const char* format) {
    std::string copy = text;
    std::FILE* stream = fmemopen(copy.data(), copy.size(), "r");
    if (!stream) return {false, 0, -1};
    T value{};
    const bool ok = std::fscanf(stream, format, &value) == 1;
    const long position = std::ftell(stream);
    std::fclose(stream);
    return {ok, static_cast<double>(value), position};
}

Outcome ourInt(const std::string& text) {
    TokenReader reader{text, 0};
    int32_t value = 0;
    const bool ok = readInt(reader, value);
    return {ok, static_cast<double>(value), static_cast<long>(reader.position)};
}

Outcome ourFloat(const std::string& text) {
    TokenReader reader{text, 0};
    float value = 0;
    const bool ok = readFloat(reader, value);
    return {ok, static_cast<double>(value), static_cast<long>(reader.position)};
}

void expectSame(const Outcome& expected, const Outcome& actual, const std::string& text) {
    EXPECT_EQ(expected.ok, actual.ok) << '"' << text << '"';
    EXPECT_EQ(expected.position, actual.position) << '"' << text << '"';
    if (expected.ok && actual.ok) {
        if (std::isnan(expected.value))
            EXPECT_TRUE(std::isnan(actual.value)) << '"' << text << '"';
        else
            EXPECT_EQ(expected.value, actual.value) << '"' << text << '"';
    }
}
#endif

// Inputs that end a number early, fail after consuming something, or fail at once.
const char* const kTrickyNumbers[] = {
    "",
    "   ",
    "12",
    "  -7 x",
    "+3",
    "-",
    "+",
    "- 5",
    "-x",
    "x",
    "0x10",
    "0X1p3",
    "0x",
    "0xg",
    "1e",
    "1e+",
    "1e-3",
    "1.5e+2.5",
    ".",
    ".5",
    "5.",
    "-.e1",
    "1.2.3",
    "nan",
    "NaN(1)",
    "na",
    "nax",
    "-inf",
    "infinity",
    "infin",
    "infx",
    "in",
    "Inf1",
    "2147483647",
    "2147483648",
    "-2147483649",
    "4294967297",
    "99999999999999999999",
    "-99999999999999999999",
    "0009",
    "1\0002",
    "3.4e38",
    "1e39",
    "-1e39",
    "1e-50",
    "0.000000000000000000000000000000000000000000001",
    "\t\n\v\f\r42",
    "7abc",
    "--5",
    "+-5",
    "0x.8",
    "0x.",
    "1e5e",
    "12345678901234567890.5",
};

TEST(TokenReads, NumberReadsConsumeWhatTheLibraryConsumes) {
#if defined(__GLIBC__)
    for (const char* text : kTrickyNumbers) {
        const std::string s(text);
        expectSame(libraryRead<int>(s, "%d"), ourInt(s), s);
        expectSame(libraryRead<float>(s, "%f"), ourFloat(s), s);
    }
#else
    GTEST_SKIP() << "compares with the GNU C library";
#endif
}

TEST(TokenReads, RandomNumberLikeTextMatchesTheLibrary) {
#if defined(__GLIBC__)
    const char alphabet[] = "0123456789+-.eEpPxXnNaAiIfFtTyY \n";
    std::mt19937 random(1234);
    for (int round = 0; round < 20000; ++round) {
        std::string s;
        const int length = static_cast<int>(random() % 10);
        for (int i = 0; i < length; ++i) s += alphabet[random() % (sizeof alphabet - 1)];
        expectSame(libraryRead<int>(s, "%d"), ourInt(s), s);
        expectSame(libraryRead<float>(s, "%f"), ourFloat(s), s);
        if (testing::Test::HasFailure()) break;
    }
#else
    GTEST_SKIP() << "compares with the GNU C library";
#endif
}

// Decimals that sit at or next to a rounding boundary, in and past float's range (subnormals,
// overflow, long digit strings), must give strtof's float bit for bit.
TEST(TokenReads, DecimalsRoundAsStrtofBitForBit) {
    std::mt19937 random(99);
    char text[96];
    for (int round = 0; round < 60000; ++round) {
        uint32_t bits = static_cast<uint32_t>(random()) & 0x7F7FFFFFu;
        float a;
        std::memcpy(&a, &bits, sizeof a);
        const double b = std::nextafter(a, HUGE_VALF);
        switch (round % 5) {
        case 4: // the short decimals scene files hold
            std::snprintf(text, sizeof text, "%.*f", round % 11, std::fmod(a, 20000.0f));
            break;
        case 0: std::snprintf(text, sizeof text, "%.9g", a); break;
        case 1: std::snprintf(text, sizeof text, "%.40e", (double(a) + b) / 2); break; // a tie
        case 2: std::snprintf(text, sizeof text, "-%.6f", a * 1e-30); break;
        default: std::snprintf(text, sizeof text, "%.3e", a * 1e10); break;
        }
        TokenReader reader{text, 0};
        float ours = 0;
        ASSERT_TRUE(readFloat(reader, ours)) << text;
        const float expected = std::strtof(text, nullptr);
        ASSERT_EQ(std::memcmp(&ours, &expected, sizeof ours), 0) << text;
    }
}

TEST(TokenReads, TokensSplitOnWhitespaceOnly) {
    TokenReader reader{" LoadObject\tObjects\\a b.lwo\r\n(envelope)\v", 0};
    std::string_view token;
    ASSERT_TRUE(readToken(reader, token));
    EXPECT_EQ("LoadObject", token);
    ASSERT_TRUE(readToken(reader, token));
    EXPECT_EQ("Objects\\a", token);
    ASSERT_TRUE(readToken(reader, token));
    EXPECT_EQ("b.lwo", token);
    ASSERT_TRUE(readToken(reader, token));
    EXPECT_EQ("(envelope)", token);
    EXPECT_FALSE(readToken(reader, token));
}

TEST(TokenReads, LongTokensAreConsumedWholeAndCut) {
    const std::string longRun(300, 'a');
    const std::string text = longRun + " next";
    TokenReader reader{text, 0};
    std::string_view token;
    ASSERT_TRUE(readToken(reader, token));
    EXPECT_EQ(kMaxTokenLength, token.size());
    ASSERT_TRUE(readToken(reader, token));
    EXPECT_EQ("next", token);
}

TEST(TokenReads, EmbeddedNulEndsTheToken) {
    const std::string text("AddLight\0junk rest", 18);
    TokenReader reader{text, 0};
    std::string_view token;
    ASSERT_TRUE(readToken(reader, token));
    EXPECT_EQ("AddLight", token);
    ASSERT_TRUE(readToken(reader, token));
    EXPECT_EQ("rest", token);
}

TEST(TokenReads, FindTokenIsExactAndCaseSensitive) {
    TokenReader reader{"endbehavior EndBehaviorX EndBehavior 2", 0};
    ASSERT_TRUE(findToken(reader, "EndBehavior"));
    int32_t value = 0;
    EXPECT_TRUE(readInt(reader, value));
    EXPECT_EQ(2, value);
    EXPECT_FALSE(findToken(reader, "EndBehavior"));
}

} // namespace
} // namespace kestrune
