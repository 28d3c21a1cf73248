// Tests of the byte and string helpers: noise bytes, compaction, trimming,
// comparison, copies and the decimal reader.
#include <ctype.h>
#include <math.h>
#include <string.h>

#include <bit>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "ngram/text_helpers.h"
#include "platform/vos.h"

namespace {

TEST(NgramTextHelpers, NoiseBytesAreZeroToThreeF) {
    for (int c : {0x00, 0x09, 0x20, 0x30, 0x39, 0x3F}) EXPECT_EQ(lang_isnoisy(c), 1) << c;
    for (int c : {0x40, 0x41, 0x5F, 0x7F, 0x80, 0xFF}) EXPECT_EQ(lang_isnoisy(c), 0) << c;
    int noisy = 0;
    for (int c = 0; c < 256; ++c) {
        noisy += lang_isnoisy(static_cast<unsigned char>(c));
        EXPECT_EQ(lang_is_noise(static_cast<uint32_t>(c)), lang_isnoisy(c) == 1) << c;
    }
    EXPECT_EQ(noisy, 64);
    // UTF-16 code units: only those below 0x40 are noise.
    for (uint32_t unit : {0x0100u, 0x0140u, 0x3000u, 0xFF1Fu}) EXPECT_FALSE(lang_is_noise(unit));
}

// The C locale's classes, whatever locale the process runs in.
TEST(NgramTextHelpers, AsciiCaseAndSpaceAreThoseOfTheCLocale) {
    for (int c = 0; c < 256; ++c) {
        const auto byte = static_cast<unsigned char>(c);
        EXPECT_EQ(lang_ascii_lower(byte), c < 0x80 ? tolower(c) : c) << c;
        EXPECT_EQ(lang_ascii_space(byte), c < 0x80 && isspace(c) != 0) << c;
    }
    const struct {
        std::string_view text, prefix;
        bool starts, equal;
    } cases[] = {{"Content-Type", "content-type", true, true},
                 {"CHARSET=utf-8", "charset", true, false},
                 {"char", "charset", false, false},
                 {"\xC9t\xE9", "\xE9T\xE9", false, false},
                 {"", "", true, true}};
    for (const auto &c : cases) {
        EXPECT_EQ(lang_starts_nocase(c.text, c.prefix), c.starts) << c.text;
        EXPECT_EQ(lang_equals_nocase(c.text, c.prefix), c.equal) << c.text;
    }
}

TEST(NgramTextHelpers, RemoveNoisyDataCompactsRuns) {
    const struct {
        std::string in, out;
    } cases[] = {{"  Hello,  world!! ", " Hello world"},
                 {"abc", "abc"},
                 {std::string(" 1\n;\0?", 6), ""},
                 {"\xE9\x31\x32\xC3\xA9.x", "\xE9 \xC3\xA9 x"}};
    for (const auto &c : cases) {
        std::string buffer = c.in + "X";  // room for the terminator
        const int32_t length = static_cast<int32_t>(c.in.size());
        EXPECT_EQ(lang_removenoisydata(reinterpret_cast<unsigned char *>(buffer.data()), length),
                  static_cast<int32_t>(c.out.size()));
        EXPECT_EQ(std::string(buffer.c_str()), c.out);
    }
    EXPECT_EQ(lang_removenoisydata(nullptr, 5), 0);

    // Random mixes of noise and kept bytes against a plain reading of the
    // rule: short buffers, and longer ones whose runs of either kind cross
    // the 16-byte blocks at every offset.
    std::mt19937 rng(3);
    for (int round = 0; round < 600; ++round) {
        std::string in(round < 200 ? rng() % 40 : rng() % 300, '\0');
        const uint32_t noise_in = 2 + round % 5, stay = round % 3 == 0 ? 8 : 1;
        bool noisy = false;
        for (char &c : in) {
            if (rng() % stay == 0) noisy = rng() % noise_in == 0;
            c = static_cast<char>(noisy ? rng() % 0x40 : 0x40 + rng() % 0xC0);
        }
        std::string expected;
        bool noise = false;
        for (const char c : in) {
            if (static_cast<unsigned char>(c) < 0x40) {
                noise = true;
                continue;
            }
            if (noise) expected += ' ';
            noise = false;
            expected += c;
        }
        std::string buffer = in + "#";
        const auto length = lang_removenoisydata(reinterpret_cast<unsigned char *>(buffer.data()),
                                                 static_cast<int32_t>(in.size()));
        ASSERT_EQ(length, static_cast<int32_t>(expected.size())) << round;
        EXPECT_EQ(buffer.substr(0, expected.size()), expected) << round;
        EXPECT_EQ(buffer[expected.size()], '\0');
    }
}

TEST(NgramTextHelpers, Trimming) {
    const struct {
        const char *in, *out;
        int last;
    } cases[] = {
        {"ab \t\r\n", "ab", 1}, {"a", "a", 0}, {"   ", "", 0}, {"a b\n", "a b", 2}, {"", "", 0}};
    for (const auto &c : cases) {
        std::string text = c.in;
        EXPECT_EQ(lang_removetrailigspace(text.data()), c.last) << c.in;
        EXPECT_STREQ(text.c_str(), c.out);
    }
    EXPECT_EQ(lang_removetrailigspace(nullptr), 0);
    char head[] = " \t x", newline[] = "\nx";
    EXPECT_EQ(lang_skipheadspace(head), head + 3);
    EXPECT_EQ(lang_skipheadspace(newline), newline);
    EXPECT_EQ(lang_skipheadspace(nullptr), nullptr);
}

TEST(NgramTextHelpers, CaseInsensitiveComparisonFoldsAsciiOnly) {
    EXPECT_EQ(lang_strcasecmp("English", "ENGLISH"), 0);
    EXPECT_LT(lang_strcasecmp("abc", "ABD"), 0);
    EXPECT_LT(lang_strcasecmp("ab", "abc"), 0);
    EXPECT_NE(lang_strcasecmp("\xC9", "\xE9"), 0);
    EXPECT_EQ(lang_strcasecmp(nullptr, nullptr), 0);
    EXPECT_LT(lang_strcasecmp(nullptr, "a"), 0);
    EXPECT_EQ(lang_strncasecmp("CHARSET:x", "charset:y", 8), 0);
    EXPECT_NE(lang_strncasecmp("CHARSET:x", "charset:y", 9), 0);
    EXPECT_EQ(lang_strncasecmp("ab", "AB", 10), 0);
}

TEST(NgramTextHelpers, StrdupCopiesWithPlatformAllocator) {
    EXPECT_EQ(lang_strdup(nullptr), nullptr);
    char *copy = lang_strdup("ID:en");
    ASSERT_NE(copy, nullptr);
    EXPECT_STREQ(copy, "ID:en");
    vos_free(copy);
    vos_fail_alloc_after(0);
    EXPECT_EQ(lang_strdup("x"), nullptr);
    vos_fail_alloc_after(-1);

    // A view is copied up to its end, with a terminator of its own.
    const std::string_view piece = std::string_view("un:Unknown").substr(0, 2);
    copy = lang_strdup(piece);
    ASSERT_NE(copy, nullptr);
    EXPECT_STREQ(copy, "un");
    vos_free(copy);
    copy = lang_strdup(std::string_view());
    ASSERT_NE(copy, nullptr);
    EXPECT_STREQ(copy, "");
    vos_free(copy);
}

TEST(NgramTextHelpers, SetStringReplacesOrKeepsTheOldValue) {
    char *field = nullptr;
    ASSERT_TRUE(lang_setstring(&field, "un"));
    EXPECT_STREQ(field, "un");
    ASSERT_TRUE(lang_setstring(&field, std::string_view("fr-FR").substr(0, 2)));
    EXPECT_STREQ(field, "fr");
    vos_fail_alloc_after(0);
    EXPECT_FALSE(lang_setstring(&field, "de"));
    vos_fail_alloc_after(-1);
    EXPECT_STREQ(field, "fr");
    vos_free(field);
}

TEST(NgramTextHelpers, AtofReadsDecimals) {
    // clang-format off
    const struct {
        std::string text;
        float value;
    } cases[] = {
        {"0.25", 0.25f}, {"0.05", 0.05f}, {"1.250", 1.25f}, {"-1.5", -1.5f}, {"-0.5", -0.5f},
        {"2", 2.0f}, {"0.1", 0.1f}, {"0.3", 0.3f}, {"12.0625", 12.0625f}, {"3.", 3.0f},
        {".5", 0.5f}, {"", 0.0f}, {std::string(60, '9'), HUGE_VALF},
        {"-" + std::string(400, '9'), -HUGE_VALF}};
    // clang-format on
    for (const auto &c : cases) {
        std::string copy = c.text;
        EXPECT_EQ(lang_atof(copy.data()), c.value) << c.text;
        EXPECT_EQ(copy, c.text) << "text changed";
    }
    EXPECT_EQ(lang_atof(nullptr), 0.0f);
}

// Fractions of every length divide by the power of ten that pow() gives,
// bit for bit, up to lengths whose power is infinite.
TEST(NgramTextHelpers, AtofFractionsOfEveryLengthMatchPow) {
    for (int digits = 1; digits <= 320; ++digits) {
        for (const char *lead : {"1", "7", "123456789"}) {
            std::string fraction = std::string(lead) + std::string(digits - 1, '3');
            fraction.resize(static_cast<size_t>(digits));
            std::string text = "0." + fraction;
            double value = 0.0;
            for (char c : fraction) value = value * 10.0 + (c - '0');
            const float expected = static_cast<float>(value / pow(10.0, digits));
            EXPECT_EQ(std::bit_cast<uint32_t>(lang_atof(text.data())),
                      std::bit_cast<uint32_t>(expected))
                << digits << " digits";
        }
    }
}

}  // namespace
