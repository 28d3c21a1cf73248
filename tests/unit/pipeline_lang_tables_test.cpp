#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pipeline_test_support.h"

using namespace pipeline_test;

namespace {

using List = std::vector<Candidate>;

TEST(LangTable, StructureAndOddRows) {
    int rows = 0;
    while (langNameList[rows].code) ++rows;
    EXPECT_EQ(rows, 55);
    // 40 precedes 39, and "zh" appears on two rows.
    EXPECT_EQ(langNameList[35].language, Lang_Mongolian);
    EXPECT_EQ(langNameList[36].language, Lang_Myanmar);
    EXPECT_STREQ(langNameList[6].code, "zh");
    EXPECT_STREQ(langNameList[7].code, "zh");
    for (int i = 0; i < rows; ++i) {
        const int32_t n = langNameList[i].language;
        EXPECT_TRUE(n != 0 && n != 1 && n != 34 && n != 35 && n < Lang_Count) << n;
    }
}

TEST(LangTable, CodeToNumber) {
    const std::pair<const char *, int32_t> cases[] = {
        {"ZH", 8}, {"zt", 10}, {"EN", 15}, {"Bms", 39}, {"mm", 40},   {"uk", 58},
        {"xx", 0}, {"eng", 0}, {"un", 0},  {"", 0},     {nullptr, 0},
    };
    for (auto [code, number] : cases) EXPECT_EQ(LangCode2Enum(code), number) << code;

    // The context lookup asks the table first, then the loaded profiles.
    NgramProfile catalan{}, english{};
    catalan.languageId = const_cast<char *>("ca");
    english.languageId = const_cast<char *>("en");
    NgramProfile *profiles[] = {&english, &catalan};
    ProfileIds englishIds{Lang_English, 7}, catalanIds{59, 7};
    ProfileIds *ids[] = {&englishIds, &catalanIds};
    LangContext ctx{};
    ctx.profileCount = 2;
    ctx.profiles = profiles;
    ctx.profileIds = ids;
    EXPECT_EQ(GetLangCodeEnum(&ctx, "CA"), 59);
    EXPECT_EQ(GetLangCodeEnum(&ctx, "FR"), 19);
    EXPECT_EQ(GetLangCodeEnum(&ctx, "eu"), 0);
    EXPECT_EQ(GetLangCodeEnum(nullptr, "de"), 21);
    EXPECT_EQ(LangCode2Enum("ca"), 0);
}

TEST(OneCandidateLists, FromNumbersAndStrings) {
    const struct {
        int32_t language, charset;
        List want;
    } numbers[] = {
        {0, 0, {{"un", "Unknown", 0.0f}}},
        {29, 1, {{"ja", "sjis", 1.0f}}},
        {15, 999, {{"en", "Unknown", 1.0f}}},
        {9, 2, {{"zh", "gb", 1.0f}}},
        {0, 14, {{"un", "iso-8859-1", 0.0f}}},
        // Numbers without a code give a list that counts as empty.
        {1, 7, {}},
        {34, 7, {}},
        {35, 7, {}},
        {59, 7, {}},
    };
    for (const auto &c : numbers) {
        LangCandidate *list = nullptr;
        ASSERT_EQ(LangCode2List(c.language, c.charset, &list), 0);
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(Take(list), c.want) << c.language << " " << c.charset;
    }
    const struct {
        const char *language, *charset;
        Candidate want;
    } strings[] = {
        {nullptr, nullptr, {"un", "Unknown", 0.0f}},
        {"fr", nullptr, {"fr", "Unknown", 1.0f}},
        {"", "latin1", {"un", "latin1", 1.0f}},
        {nullptr, "", {"un", "", 1.0f}},
        {"pt-br", "any-charset", {"pt-br", "any-charset", 1.0f}},
    };
    for (const auto &c : strings) {
        LangCandidate *list = nullptr;
        ASSERT_EQ(GenLangList(c.language, c.charset, &list), 0);
        EXPECT_EQ(Take(list), List{c.want});
    }
}

TEST(OneCandidateLists, OutOfMemory) {
    for (long n : {0L, 2L}) {
        LangCandidate *list = nullptr;
        vos_fail_alloc_after(n);
        EXPECT_EQ(LangCode2List(15, 7, &list), LANG_ERR_NOMEM) << n;
        EXPECT_EQ(list, nullptr);
        vos_fail_alloc_after(n);
        EXPECT_EQ(GenLangList("fr", "1252", &list), LANG_ERR_NOMEM) << n;
        vos_fail_alloc_after(-1);
        EXPECT_EQ(list, nullptr);
    }
    EXPECT_EQ(LangCode2List(15, 7, nullptr), LANG_ERR_NULL);
}

}  // namespace
