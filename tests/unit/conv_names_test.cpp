// Charset names to numbers, the alias table, expansion factors and messages.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "conv/zi18n_conv.h"

TEST(CharsetInfoList, ShapeAndSpotChecks) {
    int rows = 0;
    std::set<std::string> zeroRows;
    for (; CharsetInfoList[rows].fragment; ++rows) {
        const CharsetInfo &row = CharsetInfoList[rows];
        if (rows < 64) {
            EXPECT_EQ(row.maxBytes, 1) << row.fragment;
        }
        if (row.charset == 0) {
            zeroRows.insert(row.fragment);
            EXPECT_EQ(row.maxBytes, 0);
        }
    }
    EXPECT_EQ(rows, 108);
    EXPECT_EQ(zeroRows, (std::set<std::string>{"hz", "euctw"}));
    EXPECT_STREQ(CharsetInfoList[63].fragment, "8859");
    EXPECT_STREQ(CharsetInfoList[64].fragment, "eucjp");
    EXPECT_STREQ(CharsetInfoList[107].fragment, "lmbcs");
}

// The length limit counts the raw bytes, before '-' and '_' are dropped.
TEST(CharsetEnum, NamesToNumbers) {
    // clang-format off
    const struct {
        const char *name;
        int32_t charset;
    } cases[] = {
        {"UTF-8", 53}, {"utf_8", 53}, {"Utf8", 53}, {"ISO_8859-1", 14}, {"windows-1252", 7},
        {"windows-1251", 6}, {"ISO-8859-15", 24}, {"iso-8859-11", 14}, {"ISO-8859", 7},
        {"x-euc-big5", 68}, {"big5-hkscs", 3}, {"EUC-JP", 66}, {"Shift_JIS", 1}, {"GB2312", 2},
        {"GB18030", 94}, {"EUC-CN", 67}, {"ks_c_5601-1987", 4}, {"KOI8-U", 73}, {"LMBCS-1", 50},
        {"UTF-16LE", 51}, {nullptr, 0}, {"", 0}, {"US-ASCII", 0}, {"HZ-GB-2312", 0},
        {"EUC-TW", 0}, {"UTF-7", 0}, {"x-xxxxxxxxxxxxxx-utf8", 0}, {"x-xxxxxxxxxxxxx-utf8", 53},
        {"--------------UTF-8", 53}};
    // clang-format on
    for (const auto &c : cases) {
        EXPECT_EQ(Zi18nGetCharsetEnum(c.name), c.charset) << (c.name ? c.name : "(null)");
    }
}

TEST(ExpansionFactor, FromTheTargetRow) {
    constexpr int kUnknown = ZI18N_ERR_CHARSET;
    const struct {
        int32_t source, target, rc, factor;
    } cases[] = {{51, 53, 0, 3},         {51, 6, 0, 1},
                 {7, 51, 0, 2},          {7, 53, 0, 6},
                 {51, 94, 0, 2},         {53, 55, 0, 3},
                 {6, 6, 0, 1},           {0, 53, kUnknown, 77},
                 {53, 0, kUnknown, 77},  {100, 53, kUnknown, 77},
                 {53, 999, kUnknown, 77}};
    for (const auto &c : cases) {
        int32_t factor = 77;
        EXPECT_EQ(IZi18nGetExpansionFactor(c.source, c.target, &factor), c.rc) << c.source;
        EXPECT_EQ(factor, c.factor) << c.source << " -> " << c.target;
    }
    int32_t factor = 0;
    EXPECT_EQ(Zi18nGetExpansionFactor("UTF-16", "utf-8", &factor), 0);
    EXPECT_EQ(factor, 3);
    EXPECT_EQ(Zi18nGetExpansionFactor("", "utf-8", &factor), ZI18N_ERR_CHARSET);
    EXPECT_EQ(Zi18nGetExpansionFactor("utf-8", nullptr, &factor), ZI18N_ERR_CHARSET);
    EXPECT_EQ(Zi18nGetExpansionFactor("us-ascii", "utf-8", &factor), ZI18N_ERR_CHARSET);
}

TEST(Zi18nErrorMsg, KnownAndUnknownCodes) {
    EXPECT_STREQ(Zi18nErrorMsg(0), "SUCCESS");
    EXPECT_STREQ(Zi18nErrorMsg(-19899), "Function failed");
    EXPECT_STREQ(Zi18nErrorMsg(-19897), "Couldn't load library dxutil.");
    EXPECT_STREQ(Zi18nErrorMsg(-19893), "Output buffer is not large enough");
    EXPECT_STREQ(Zi18nErrorMsg(-19888), "Couldn't map source charset to target charset");
    for (int code = -19899; code <= -19888; ++code) {
        EXPECT_STRNE(Zi18nErrorMsg(code), "Unknown zi18n error code") << code;
    }
    for (int code : {-19900, -19887, 1, -1}) {
        EXPECT_STREQ(Zi18nErrorMsg(code), "Unknown zi18n error code") << code;
    }
}
