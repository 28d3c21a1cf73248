#include <gtest/gtest.h>
#include <iconv.h>

#include <string>
#include <string_view>

#include "charset/charset_names.h"
#include "pipeline_test_support.h"

namespace {

TEST(CharsetNames, NameToNumber) {
    int rows = 0;
    while (LangCharsetMapList[rows].outputName) ++rows;
    EXPECT_EQ(rows, 82);
    const std::pair<const char *, int32_t> cases[] = {
        {"ISO-8859-1", 14},
        {"iso_8859-1", 14},
        {"Latin1", 14},
        {"ISO_8859-15", 24},
        // "88591" comes before the later part numbers.
        {"iso-8859-10", 14},
        {"iso-8859-11", 14},
        {"iso-8859-13", 14},
        {"iso-8859-2", 15},
        {"iso8859", 14},
        {"Windows-1252", 7},
        {"cp1252", 7},
        {"windows-1251", 6},
        {"windows-874", 41},
        {"shift_jis", 1},
        {"x-sjis", 1},
        {"EUC-JP", 66},
        {"ISO-2022-JP", 55},
        {"UTF-8", 53},
        {"UTF-16", 51},
        {"UTF-16LE", 100},
        {"UTF-16BE", 101},
        {"unicode-1-1-utf-8", 51},
        {"gb2312", 2},
        {"GBK", 2},
        {"GB18030", 2},
        {"big5-hkscs", 3},
        {"x-euc-big5", 68},
        {"ks_c_5601-1987", 60},
        {"EUC-KR", 4},
        {"koi8-u", 73},
        {"us-ascii", 0},
        {"", 0},
        {nullptr, 0},
        {"\xC3\xA9\xFF", 0},
        // Only 21 significant bytes count; '-' and '_' are not significant.
        {"abcdefghijklmnopqrutf8", 0},
        {"abcdefghijklmnopqutf8", 53},
        {"a-b_c-d_e-f_g-h_i-j_k-l_m-n_o-p_q-utf8", 53},
        {"a-b_c-d_e-f_g-h_i-j_k-l_m-n_o-p_q-r-utf8", 0}};
    for (auto [name, number] : cases) {
        int32_t charset = -1;
        EXPECT_EQ(MapCharsetName(name, &charset), 0);
        EXPECT_EQ(charset, number) << (name ? name : "(null)");
    }
    EXPECT_NE(MapCharsetName("utf8", nullptr), 0);
}

TEST(CharsetNames, NumberToOutputName) {
    const std::pair<int32_t, const char *> cases[] = {
        {0, "Unknown"},  {62, "Unknown"}, {94, "Unknown"}, {-1, "Unknown"},    {1, "sjis"},
        {3, "big5"},     {4, "euc-ksc"},  {7, "1252"},     {14, "iso-8859-1"}, {41, "874"},
        {51, "unicode"}, {53, "utf8"},    {60, "ksc"},     {101, "unicode"}};
    for (auto [number, name] : cases) EXPECT_STREQ(DXCharsetID2Name(number), name) << number;
}

TEST(CharsetImpliedLanguage, SpotChecksAndDebugLog) {
    const std::pair<int32_t, int32_t> cases[] = {
        {1, 29},  {55, 29}, {66, 29}, {2, 9},   {3, 10},  {56, 8},  {60, 32}, {20, 22}, {22, 57},
        {21, 25}, {19, 2},  {73, 47}, {33, 45}, {34, 27}, {36, 19}, {38, 5},  {41, 54}, {0, 0},
        {6, 0},   {7, 0},   {14, 0},  {51, 0},  {53, 0},  {101, 0}, {999, 0}};
    pipeline_test::HandContext ctx;
    ctx.Debug();
    for (auto [charset, language] : cases) {
        int32_t got = -1;
        EXPECT_EQ(RecLangByCharset(ctx.get(), charset, &got), 0);
        EXPECT_EQ(got, language) << charset;
    }
    EXPECT_NE(RecLangByCharset(nullptr, 1, nullptr), 0);
    const std::string log = ctx.Log();
    EXPECT_EQ(log.find("Detect the language by charset sjis\n"), 0u);
    EXPECT_NE(log.find("Detect the language by charset koi8-r\n"), std::string::npos);
    EXPECT_NE(log.find("Detect the language by charset Unknown\n"), std::string::npos);
}

}  // namespace

namespace {

// Every name the engine reports has a standard name that iconv knows, except
// the one charset without any; profile names too.
TEST(CharsetNames, StandardNamesAreKnownToIconv) {
    const std::pair<const char *, const char *> cases[] = {{"1252", "windows-1252"},
                                                           {"gb", "GBK"},
                                                           {"euc-ksc", "EUC-KR"},
                                                           {"SJIS", "Shift_JIS"},
                                                           {"utf8", "UTF-8"},
                                                           {"unicode", "UTF-16"},
                                                           {"iso-8859-13", "ISO-8859-13"},
                                                           {"874", "CP874"},
                                                           {"Unknown", nullptr},
                                                           {"lmbcs_1", nullptr},
                                                           {"", nullptr},
                                                           {nullptr, nullptr},
                                                           {"Windows-1252", "windows-1252"},
                                                           {"shift_jis", "Shift_JIS"},
                                                           {"latin1", nullptr}};
    for (auto [name, standard] : cases) {
        const char *got = CharsetStandardName(name);
        EXPECT_STREQ(got, standard) << (name ? name : "(null)");
    }
    // The names of the numbers: the first row of each number names it.
    for (const LangCharsetMap *row = LangCharsetMapList; row->outputName; ++row) {
        const char *reported = DXCharsetID2Name(row->charset);
        const char *standard = CharsetStandardName(reported);
        if (std::string_view(reported) == "lmbcs_1") {
            EXPECT_EQ(standard, nullptr);
            continue;
        }
        ASSERT_NE(standard, nullptr) << reported;
        iconv_t cd = iconv_open("UTF-8", standard);
        EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1)) << standard;
        if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
    }
}

}  // namespace
