#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "charset/charset_names.h"
#include "engine/lang_context.h"

namespace {

int32_t map(const char *name) {
    int32_t charset = -1;
    EXPECT_EQ(MapCharsetName(name, &charset), 0) << name;
    return charset;
}

TEST(CharsetNames, TableHasEightyTwoRows) {
    int rows = 0;
    while (LangCharsetMapList[rows].outputName) ++rows;
    EXPECT_EQ(rows, 82);
    EXPECT_STREQ(LangCharsetMapList[0].fragment, "1250");
    EXPECT_STREQ(LangCharsetMapList[81].outputName, "lmbcs_1");
}

TEST(CharsetNames, SpellingsOfLatin1) {
    EXPECT_EQ(map("ISO-8859-1"), 14);
    EXPECT_EQ(map("iso_8859-1"), 14);
    EXPECT_EQ(map("Latin1"), 14);
    EXPECT_EQ(map("ISO_8859-15"), 24);
    EXPECT_EQ(map("iso-8859-15"), 24);
    EXPECT_EQ(map("iso-8859-14"), 23);
}

TEST(CharsetNames, EarlierShorterFragmentWins) {
    // "88591" is tried before any later ISO-8859 part number.
    EXPECT_EQ(map("iso-8859-10"), 14);
    EXPECT_EQ(map("iso-8859-11"), 14);
    EXPECT_EQ(map("iso-8859-13"), 14);
    EXPECT_EQ(map("iso-8859-2"), 15);
    EXPECT_EQ(map("iso-8859-9"), 22);
    // The catch-all row gives 14 to every other ISO-8859 name.
    EXPECT_EQ(map("iso8859"), 14);
}

TEST(CharsetNames, WindowsCodePages) {
    EXPECT_EQ(map("Windows-1252"), 7);
    EXPECT_EQ(map("cp1252"), 7);
    EXPECT_EQ(map("windows-1251"), 6);
    EXPECT_EQ(map("windows-874"), 41);
    EXPECT_EQ(map("TIS-620"), 41);
}

TEST(CharsetNames, JapaneseNames) {
    EXPECT_EQ(map("shift_jis"), 1);
    EXPECT_EQ(map("x-sjis"), 1);
    EXPECT_EQ(map("EUC-JP"), 66);
    EXPECT_EQ(map("ISO-2022-JP"), 55);
}

TEST(CharsetNames, UnicodeNames) {
    EXPECT_EQ(map("UTF-8"), 53);
    EXPECT_EQ(map("utf_8"), 53);
    EXPECT_EQ(map("UTF-16"), 51);
    EXPECT_EQ(map("UTF-16LE"), 100);
    EXPECT_EQ(map("UTF-16BE"), 101);
    EXPECT_EQ(map("unicode-1-1-utf-8"), 51);
    EXPECT_EQ(map("utf-7"), 54);
    EXPECT_EQ(map("lmbcs"), 50);
}

TEST(CharsetNames, ChineseKoreanCyrillic) {
    EXPECT_EQ(map("gb2312"), 2);
    EXPECT_EQ(map("GBK"), 2);
    EXPECT_EQ(map("GB18030"), 2);
    EXPECT_EQ(map("big5-hkscs"), 3);
    EXPECT_EQ(map("x-euc-big5"), 68);
    EXPECT_EQ(map("EUC-CN"), 67);
    EXPECT_EQ(map("ks_c_5601-1987"), 60);
    EXPECT_EQ(map("EUC-KR"), 4);
    EXPECT_EQ(map("koi8-u"), 73);
    EXPECT_EQ(map("KOI8-R"), 73);
    EXPECT_EQ(map("ISO-8859-5"), 18);
}

TEST(CharsetNames, UnknownNamesGiveZero) {
    EXPECT_EQ(map("us-ascii"), 0);
    EXPECT_EQ(map(""), 0);
    EXPECT_EQ(map(nullptr), 0);
    EXPECT_EQ(map("\xC3\xA9\xFF"), 0);
}

TEST(CharsetNames, OnlyTwentyOneSignificantBytesCount) {
    // Dashes and underscores are not significant, so they do not use up the
    // budget: 20 letters then "utf8" only keeps "u".
    EXPECT_EQ(map("abcdefghijklmnopqrstutf8"), 0);
    EXPECT_EQ(map("abcdefghijklmnopqrutf8"), 0);
    EXPECT_EQ(map("abcdefghijklmnopqutf8"), 53);
    EXPECT_EQ(map("a-b_c-d_e-f_g-h_i-j_k-l_m-n_o-p_q-utf8"), 53);
    EXPECT_EQ(map("a-b_c-d_e-f_g-h_i-j_k-l_m-n_o-p_q-r-utf8"), 0);
}

TEST(CharsetNames, NumberToOutputName) {
    EXPECT_STREQ(DXCharsetID2Name(0), "Unknown");
    EXPECT_STREQ(DXCharsetID2Name(62), "Unknown");
    EXPECT_STREQ(DXCharsetID2Name(94), "Unknown");
    EXPECT_STREQ(DXCharsetID2Name(-1), "Unknown");
    EXPECT_STREQ(DXCharsetID2Name(1), "sjis");
    EXPECT_STREQ(DXCharsetID2Name(3), "big5");
    EXPECT_STREQ(DXCharsetID2Name(4), "euc-ksc");
    EXPECT_STREQ(DXCharsetID2Name(7), "1252");
    EXPECT_STREQ(DXCharsetID2Name(14), "iso-8859-1");
    EXPECT_STREQ(DXCharsetID2Name(41), "874");
    EXPECT_STREQ(DXCharsetID2Name(50), "lmbcs_1");
    EXPECT_STREQ(DXCharsetID2Name(51), "unicode");
    EXPECT_STREQ(DXCharsetID2Name(53), "utf8");
    EXPECT_STREQ(DXCharsetID2Name(60), "ksc");
    EXPECT_STREQ(DXCharsetID2Name(73), "koi8-r");
    EXPECT_STREQ(DXCharsetID2Name(100), "unicode");
    EXPECT_STREQ(DXCharsetID2Name(101), "unicode");
}

TEST(CharsetNames, NullOutParameterIsRejected) {
    EXPECT_NE(MapCharsetName("utf8", nullptr), 0);
    EXPECT_NE(RecLangByCharset(nullptr, 1, nullptr), 0);
}

int32_t implied(int32_t charset) {
    int32_t language = -1;
    EXPECT_EQ(RecLangByCharset(nullptr, charset, &language), 0);
    return language;
}

TEST(CharsetImpliedLanguage, FixedTable) {
    for (int32_t cs : {1, 55, 66, 74}) EXPECT_EQ(implied(cs), 29) << cs;
    for (int32_t cs : {2, 61, 67}) EXPECT_EQ(implied(cs), 9) << cs;
    for (int32_t cs : {3, 62, 68}) EXPECT_EQ(implied(cs), 10) << cs;
    for (int32_t cs : {56, 76}) EXPECT_EQ(implied(cs), 8) << cs;
    for (int32_t cs : {4, 57, 60, 69, 75}) EXPECT_EQ(implied(cs), 32) << cs;
    for (int32_t cs : {8, 20, 26, 29, 40}) EXPECT_EQ(implied(cs), 22) << cs;
    for (int32_t cs : {9, 22, 32}) EXPECT_EQ(implied(cs), 57) << cs;
    for (int32_t cs : {10, 21, 35, 70, 71}) EXPECT_EQ(implied(cs), 25) << cs;
    for (int32_t cs : {11, 19, 37}) EXPECT_EQ(implied(cs), 2) << cs;
    for (int32_t cs : {18, 39, 73}) EXPECT_EQ(implied(cs), 47) << cs;
    EXPECT_EQ(implied(33), 45);
    EXPECT_EQ(implied(34), 27);
    EXPECT_EQ(implied(36), 19);
    EXPECT_EQ(implied(38), 5);
    EXPECT_EQ(implied(41), 54);
}

TEST(CharsetImpliedLanguage, MostCharsetsImplyNothing) {
    for (int32_t cs : {0, 5, 6, 7, 14, 15, 51, 53, 54, 100, 101, 999, -3}) {
        EXPECT_EQ(implied(cs), 0) << cs;
    }
}

TEST(CharsetImpliedLanguage, DebugLogNamesTheCharset) {
    LangContext ctx{};
    ctx.debug = 1;
    ctx.logFile = tmpfile();
    ASSERT_NE(ctx.logFile, nullptr);
    int32_t language = 0;
    RecLangByCharset(&ctx, 73, &language);
    RecLangByCharset(&ctx, 94, &language);
    rewind(ctx.logFile);
    std::string log;
    for (int c; (c = fgetc(ctx.logFile)) != EOF;) log += static_cast<char>(c);
    fclose(ctx.logFile);
    EXPECT_EQ(log,
              "Detect the language by charset koi8-r\n"
              "Detect the language by charset Unknown\n");
}

}  // namespace
