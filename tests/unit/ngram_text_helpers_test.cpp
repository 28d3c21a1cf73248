// Tests of the byte and string helpers: noise bytes, compaction, trimming,
// comparison, copies and the decimal reader.
#include <math.h>
#include <string.h>

#include <string>

#include <gtest/gtest.h>

#include "ngram/text_helpers.h"
#include "platform/vos.h"

namespace {

TEST(NgramTextHelpers, NoiseBytesAreZeroToThreeF) {
    for (int c : {0x00, 0x09, 0x20, int('0'), int('9'), int('?'), 0x3F}) {
        EXPECT_EQ(lang_isnoisy(static_cast<unsigned char>(c)), 1) << c;
    }
    for (int c : {int('@'), int('A'), int('_'), int('z'), 0x7F, 0x80, 0xE9, 0xFF}) {
        EXPECT_EQ(lang_isnoisy(static_cast<unsigned char>(c)), 0) << c;
    }
    int noisy = 0;
    for (int c = 0; c < 256; ++c) noisy += lang_isnoisy(static_cast<unsigned char>(c));
    EXPECT_EQ(noisy, 64);
}

TEST(NgramTextHelpers, RemoveNoisyDataCompactsRuns) {
    char text[32] = "  Hello,  world!! ";
    ASSERT_EQ(strlen(text), 18u);
    EXPECT_EQ(lang_removenoisydata(reinterpret_cast<unsigned char *>(text), 18), 12);
    EXPECT_STREQ(text, " Hello world");
}

TEST(NgramTextHelpers, RemoveNoisyDataTerminatesUnchangedText) {
    unsigned char text[4] = {'a', 'b', 'c', 'X'};
    EXPECT_EQ(lang_removenoisydata(text, 3), 3);
    EXPECT_EQ(text[3], 0);
}

TEST(NgramTextHelpers, RemoveNoisyDataOfOnlyNoiseIsEmpty) {
    unsigned char text[8] = {' ', '1', '\n', ';', 0x00, '?', 0};
    EXPECT_EQ(lang_removenoisydata(text, 6), 0);
    EXPECT_EQ(text[0], 0);
    EXPECT_EQ(lang_removenoisydata(nullptr, 5), 0);
}

TEST(NgramTextHelpers, RemoveNoisyDataKeepsHighBytes) {
    unsigned char text[16] = {0xE9, '1', '2', 0xC3, 0xA9, '.', 'x', 0};
    EXPECT_EQ(lang_removenoisydata(text, 7), 6);
    const unsigned char expected[] = {0xE9, ' ', 0xC3, 0xA9, ' ', 'x', 0};
    EXPECT_EQ(memcmp(text, expected, 7), 0);
}

TEST(NgramTextHelpers, SkipHeadSpaceSkipsBlanksAndTabsOnly) {
    char text[] = " \t x";
    EXPECT_EQ(lang_skipheadspace(text), text + 3);
    char newline[] = "\nx";
    EXPECT_EQ(lang_skipheadspace(newline), newline);
    EXPECT_EQ(lang_skipheadspace(nullptr), nullptr);
}

TEST(NgramTextHelpers, RemoveTrailingSpaceReturnsLastIndex) {
    char ab[] = "ab \t\r\n";
    EXPECT_EQ(lang_removetrailigspace(ab), 1);
    EXPECT_STREQ(ab, "ab");

    char one[] = "a";
    EXPECT_EQ(lang_removetrailigspace(one), 0);
    EXPECT_STREQ(one, "a");

    char blanks[] = "   ";
    EXPECT_EQ(lang_removetrailigspace(blanks), 0);
    EXPECT_STREQ(blanks, "");

    char inner[] = "a b\n";
    EXPECT_EQ(lang_removetrailigspace(inner), 2);
    EXPECT_STREQ(inner, "a b");

    char empty[] = "";
    EXPECT_EQ(lang_removetrailigspace(empty), 0);
    EXPECT_EQ(lang_removetrailigspace(nullptr), 0);
}

TEST(NgramTextHelpers, CaseInsensitiveComparisonFoldsAsciiOnly) {
    EXPECT_EQ(lang_strcasecmp("English", "ENGLISH"), 0);
    EXPECT_LT(lang_strcasecmp("abc", "ABD"), 0);
    EXPECT_GT(lang_strcasecmp("abd", "ABC"), 0);
    EXPECT_LT(lang_strcasecmp("ab", "abc"), 0);
    EXPECT_NE(lang_strcasecmp("\xC9", "\xE9"), 0);  // no folding beyond ASCII
    EXPECT_EQ(lang_strcasecmp(nullptr, nullptr), 0);
    EXPECT_LT(lang_strcasecmp(nullptr, "a"), 0);
    EXPECT_GT(lang_strcasecmp("a", nullptr), 0);

    EXPECT_EQ(lang_strncasecmp("CHARSET:x", "charset:y", 8), 0);
    EXPECT_NE(lang_strncasecmp("CHARSET:x", "charset:y", 9), 0);
    EXPECT_EQ(lang_strncasecmp("ab", "AB", 10), 0);
    EXPECT_EQ(lang_strncasecmp("a", "b", 0), 0);
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
}

float atof_of(const char *text) {
    std::string copy(text);
    const float value = lang_atof(copy.data());
    EXPECT_EQ(copy, text) << "text changed";
    return value;
}

TEST(NgramTextHelpers, AtofReadsDecimals) {
    EXPECT_EQ(atof_of("0.25"), 0.25f);
    EXPECT_EQ(atof_of("0.05"), 0.05f);
    EXPECT_EQ(atof_of("1.250"), 1.25f);
    EXPECT_EQ(atof_of("-1.5"), -1.5f);
    EXPECT_EQ(atof_of("-0.5"), -0.5f);
    EXPECT_EQ(atof_of("2"), 2.0f);
    EXPECT_EQ(atof_of("0.1"), 0.1f);
    EXPECT_EQ(atof_of("0.3"), 0.3f);
    EXPECT_EQ(atof_of("12.0625"), 12.0625f);
    EXPECT_EQ(atof_of("3."), 3.0f);
    EXPECT_EQ(atof_of(".5"), 0.5f);
    EXPECT_EQ(atof_of(""), 0.0f);
    EXPECT_EQ(atof_of(std::string(60, '9').c_str()), HUGE_VALF);
    EXPECT_EQ(atof_of(("-" + std::string(400, '9')).c_str()), -HUGE_VALF);
    EXPECT_EQ(lang_atof(nullptr), 0.0f);
}

}  // namespace
