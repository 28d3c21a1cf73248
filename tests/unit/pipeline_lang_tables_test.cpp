#include <gtest/gtest.h>

#include <string.h>

#include "pipeline/lang_tables.h"
#include "platform/vos.h"

namespace {

// Releases a list the way the result record does: entries up to the first
// null language, then the array.
void free_list(LangCandidate *list) {
    if (!list) return;
    for (LangCandidate *c = list; c->language; ++c) {
        vos_free(c->language);
        vos_free(c->charsetName);
    }
    vos_free(list);
}

int count(const LangCandidate *list) {
    int n = 0;
    while (list[n].language) ++n;
    return n;
}

TEST(LangTable, FiftyFiveRowsInTableOrder) {
    int rows = 0;
    while (langNameList[rows].code) ++rows;
    EXPECT_EQ(rows, 55);
    EXPECT_EQ(langNameList[0].language, Lang_Arabic);
    // 40 precedes 39, and "zh" appears on two rows.
    EXPECT_EQ(langNameList[35].language, Lang_Mongolian);
    EXPECT_EQ(langNameList[36].language, Lang_Myanmar);
    EXPECT_STREQ(langNameList[6].code, "zh");
    EXPECT_STREQ(langNameList[7].code, "zh");
    EXPECT_EQ(langNameList[54].language, Lang_Ukrainian);
    for (int i = 0; i < rows; ++i) {
        int32_t n = langNameList[i].language;
        EXPECT_TRUE(n != 0 && n != 1 && n != 34 && n != 35 && n < Lang_Count) << n;
    }
}

TEST(LangTable, CodeToNumberIgnoresCase) {
    EXPECT_EQ(LangCode2Enum("ZH"), Lang_Chinese);
    EXPECT_EQ(LangCode2Enum("zh"), 8);
    EXPECT_EQ(LangCode2Enum("EN"), 15);
    EXPECT_EQ(LangCode2Enum("zt"), 10);
    EXPECT_EQ(LangCode2Enum("Bms"), 39);
    EXPECT_EQ(LangCode2Enum("mm"), 40);
    EXPECT_EQ(LangCode2Enum("uk"), 58);
    EXPECT_EQ(LangCode2Enum("xx"), 0);
    EXPECT_EQ(LangCode2Enum("e"), 0);
    EXPECT_EQ(LangCode2Enum("eng"), 0);
    EXPECT_EQ(LangCode2Enum("un"), 0);
    EXPECT_EQ(LangCode2Enum(""), 0);
    EXPECT_EQ(LangCode2Enum(nullptr), 0);
}

TEST(LangTable, ContextLookupPrefersTheTable) {
    LangContext ctx{};
    EXPECT_EQ(GetLangCodeEnum(&ctx, "FR"), 19);
    EXPECT_EQ(GetLangCodeEnum(&ctx, "xx"), 0);
    EXPECT_EQ(GetLangCodeEnum(nullptr, "de"), 21);
    EXPECT_EQ(GetLangCodeEnum(nullptr, "xx"), 0);
}

TEST(LangTable, ContextLookupFallsBackToLoadedProfiles) {
    NgramProfile catalan{};
    catalan.languageId = const_cast<char *>("ca");
    NgramProfile english{};
    english.languageId = const_cast<char *>("en");
    NgramProfile *profiles[] = {&english, &catalan};
    ProfileIds englishIds{Lang_English, 7};
    ProfileIds catalanIds{59, 7};
    ProfileIds *ids[] = {&englishIds, &catalanIds};
    LangContext ctx{};
    ctx.profileCount = 2;
    ctx.profiles = profiles;
    ctx.profileIds = ids;
    EXPECT_EQ(GetLangCodeEnum(&ctx, "CA"), 59);
    EXPECT_EQ(GetLangCodeEnum(&ctx, "en"), 15);
    EXPECT_EQ(GetLangCodeEnum(&ctx, "eu"), 0);
    // The table is asked first, and never maps load-time numbers back.
    EXPECT_EQ(LangCode2Enum("ca"), 0);
}

struct Expected {
    const char *language;
    const char *charset;
    float score;
};

void expect_single(const LangCandidate *list, Expected e) {
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(count(list), 1);
    EXPECT_STREQ(list[0].language, e.language);
    EXPECT_STREQ(list[0].charsetName, e.charset);
    EXPECT_EQ(list[0].score, e.score);
    EXPECT_EQ(list[1].language, nullptr);
    EXPECT_EQ(list[1].charsetName, nullptr);
}

TEST(LangCode2List, UnknownLanguageAndCharset) {
    LangCandidate *list = nullptr;
    ASSERT_EQ(LangCode2List(0, 0, &list), 0);
    expect_single(list, {"un", "Unknown", 0.0f});
    free_list(list);
}

TEST(LangCode2List, KnownNumbers) {
    LangCandidate *list = nullptr;
    ASSERT_EQ(LangCode2List(29, 1, &list), 0);
    expect_single(list, {"ja", "sjis", 1.0f});
    free_list(list);

    ASSERT_EQ(LangCode2List(15, 999, &list), 0);
    expect_single(list, {"en", "Unknown", 1.0f});
    free_list(list);

    ASSERT_EQ(LangCode2List(9, 2, &list), 0);
    expect_single(list, {"zh", "gb", 1.0f});
    free_list(list);

    ASSERT_EQ(LangCode2List(0, 14, &list), 0);
    expect_single(list, {"un", "iso-8859-1", 0.0f});
    free_list(list);
}

TEST(LangCode2List, NumbersWithoutCodeGiveAnEmptyList) {
    for (int32_t language : {1, 34, 35, 59, 200}) {
        LangCandidate *list = nullptr;
        ASSERT_EQ(LangCode2List(language, 7, &list), 0) << language;
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(count(list), 0) << language;
        free_list(list);
    }
}

TEST(LangCode2List, OutOfMemory) {
    LangCandidate *list = nullptr;
    for (long n : {0L, 1L, 2L}) {
        vos_fail_alloc_after(n);
        EXPECT_EQ(LangCode2List(15, 7, &list), -19997) << n;
        vos_fail_alloc_after(-1);
        EXPECT_EQ(list, nullptr);
    }
    EXPECT_EQ(LangCode2List(15, 7, nullptr), -19998);
}

TEST(GenLangList, StringsAreCopied) {
    LangCandidate *list = nullptr;
    ASSERT_EQ(GenLangList(nullptr, nullptr, &list), 0);
    expect_single(list, {"un", "Unknown", 0.0f});
    free_list(list);

    ASSERT_EQ(GenLangList("fr", nullptr, &list), 0);
    expect_single(list, {"fr", "Unknown", 1.0f});
    free_list(list);

    ASSERT_EQ(GenLangList("", "latin1", &list), 0);
    expect_single(list, {"un", "latin1", 1.0f});
    free_list(list);

    // An empty charset name is kept as given.
    ASSERT_EQ(GenLangList(nullptr, "", &list), 0);
    expect_single(list, {"un", "", 1.0f});
    free_list(list);

    char language[] = "pt-br";
    ASSERT_EQ(GenLangList(language, "whatever-charset", &list), 0);
    language[0] = 'X';
    expect_single(list, {"pt-br", "whatever-charset", 1.0f});
    free_list(list);
}

TEST(GenLangList, OutOfMemory) {
    LangCandidate *list = nullptr;
    for (long n : {0L, 1L, 2L}) {
        vos_fail_alloc_after(n);
        EXPECT_EQ(GenLangList("fr", "1252", &list), -19997) << n;
        vos_fail_alloc_after(-1);
        EXPECT_EQ(list, nullptr);
    }
}

}  // namespace
