// Charset names to numbers, the alias table, expansion factors and messages.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "conv/zi18n_conv.h"

namespace {

int row_count() {
    int n = 0;
    while (CharsetInfoList[n].fragment) ++n;
    return n;
}

}  // namespace

TEST(CharsetInfoList, HasItsRowsInOrder) {
    ASSERT_EQ(row_count(), 108);
    EXPECT_STREQ(CharsetInfoList[0].fragment, "037");
    EXPECT_EQ(CharsetInfoList[0].charset, 46);
    EXPECT_STREQ(CharsetInfoList[63].fragment, "8859");
    EXPECT_EQ(CharsetInfoList[63].charset, 7);
    EXPECT_STREQ(CharsetInfoList[64].fragment, "eucjp");
    EXPECT_EQ(CharsetInfoList[64].maxBytes, 2);
    EXPECT_STREQ(CharsetInfoList[90].fragment, "949");
    EXPECT_STREQ(CharsetInfoList[91].fragment, "viscii");
    EXPECT_STREQ(CharsetInfoList[107].fragment, "lmbcs");
    EXPECT_EQ(CharsetInfoList[107].maxBytes, 6);
    EXPECT_EQ(CharsetInfoList[108].charset, 0);
}

TEST(CharsetInfoList, BytesPerCharacterBySection) {
    for (int i = 0; i < 64; ++i) EXPECT_EQ(CharsetInfoList[i].maxBytes, 1) << i;
    std::set<std::string> zeroRows;
    for (int i = 0; i < row_count(); ++i) {
        if (CharsetInfoList[i].charset == 0) {
            zeroRows.insert(CharsetInfoList[i].fragment);
            EXPECT_EQ(CharsetInfoList[i].maxBytes, 0);
        }
    }
    EXPECT_EQ(zeroRows, (std::set<std::string>{"hz", "euctw"}));
}

TEST(CharsetEnum, SpellingsOfOneName) {
    EXPECT_EQ(Zi18nGetCharsetEnum("UTF-8"), 53);
    EXPECT_EQ(Zi18nGetCharsetEnum("utf_8"), 53);
    EXPECT_EQ(Zi18nGetCharsetEnum("Utf8"), 53);
    EXPECT_EQ(Zi18nGetCharsetEnum("ISO_8859-1"), 14);
    EXPECT_EQ(Zi18nGetCharsetEnum("windows-1252"), 7);
    EXPECT_EQ(Zi18nGetCharsetEnum("windows-1251"), 6);
}

TEST(CharsetEnum, TableOrderDecidesOverlaps) {
    EXPECT_EQ(Zi18nGetCharsetEnum("ISO-8859-15"), 24);
    EXPECT_EQ(Zi18nGetCharsetEnum("iso-8859-11"), 14);  // through "88591"
    EXPECT_EQ(Zi18nGetCharsetEnum("ISO-8859"), 7);      // only the catch-all "8859"
    EXPECT_EQ(Zi18nGetCharsetEnum("x-euc-big5"), 68);
    EXPECT_EQ(Zi18nGetCharsetEnum("big5-hkscs"), 3);
    EXPECT_EQ(Zi18nGetCharsetEnum("EUC-JP"), 66);
    EXPECT_EQ(Zi18nGetCharsetEnum("Shift_JIS"), 1);
    EXPECT_EQ(Zi18nGetCharsetEnum("GB2312"), 2);
    EXPECT_EQ(Zi18nGetCharsetEnum("GB18030"), 94);
    EXPECT_EQ(Zi18nGetCharsetEnum("EUC-CN"), 67);
    EXPECT_EQ(Zi18nGetCharsetEnum("ks_c_5601-1987"), 4);
    EXPECT_EQ(Zi18nGetCharsetEnum("KOI8-U"), 73);
    EXPECT_EQ(Zi18nGetCharsetEnum("LMBCS-1"), 50);
    EXPECT_EQ(Zi18nGetCharsetEnum("UTF-16LE"), 51);
}

TEST(CharsetEnum, NamesThatResolveToNothing) {
    EXPECT_EQ(Zi18nGetCharsetEnum(nullptr), 0);
    EXPECT_EQ(Zi18nGetCharsetEnum(""), 0);
    EXPECT_EQ(Zi18nGetCharsetEnum("US-ASCII"), 0);
    EXPECT_EQ(Zi18nGetCharsetEnum("HZ-GB-2312"), 0);  // "hz" comes before "gb"
    EXPECT_EQ(Zi18nGetCharsetEnum("EUC-TW"), 0);
    EXPECT_EQ(Zi18nGetCharsetEnum("UTF-7"), 0);
}

TEST(CharsetEnum, LengthLimitCountsRawBytes) {
    EXPECT_EQ(Zi18nGetCharsetEnum("x-xxxxxxxxxxxxxx-utf8"), 0);  // 21 bytes
    EXPECT_EQ(Zi18nGetCharsetEnum("x-xxxxxxxxxxxxx-utf8"), 53);  // 20 bytes
    EXPECT_EQ(Zi18nGetCharsetEnum("--------------UTF-8"), 53);
}

TEST(ExpansionFactor, FromTheTargetRow) {
    int32_t factor = 0;
    EXPECT_EQ(IZi18nGetExpansionFactor(51, 53, &factor), 0);
    EXPECT_EQ(factor, 3);
    EXPECT_EQ(IZi18nGetExpansionFactor(51, 6, &factor), 0);
    EXPECT_EQ(factor, 1);
    EXPECT_EQ(IZi18nGetExpansionFactor(7, 51, &factor), 0);
    EXPECT_EQ(factor, 2);
    EXPECT_EQ(IZi18nGetExpansionFactor(7, 53, &factor), 0);
    EXPECT_EQ(factor, 6);
    EXPECT_EQ(IZi18nGetExpansionFactor(51, 94, &factor), 0);
    EXPECT_EQ(factor, 2);
    EXPECT_EQ(IZi18nGetExpansionFactor(53, 55, &factor), 0);
    EXPECT_EQ(factor, 3);
    EXPECT_EQ(IZi18nGetExpansionFactor(6, 6, &factor), 0);
    EXPECT_EQ(factor, 1);
}

TEST(ExpansionFactor, UnknownNumbersFail) {
    int32_t factor = 77;
    EXPECT_EQ(IZi18nGetExpansionFactor(0, 53, &factor), ZI18N_ERR_CHARSET);
    EXPECT_EQ(IZi18nGetExpansionFactor(53, 0, &factor), ZI18N_ERR_CHARSET);
    EXPECT_EQ(IZi18nGetExpansionFactor(100, 53, &factor), ZI18N_ERR_CHARSET);
    EXPECT_EQ(IZi18nGetExpansionFactor(53, 999, &factor), ZI18N_ERR_CHARSET);
    EXPECT_EQ(factor, 77);
}

TEST(ExpansionFactor, ByNames) {
    int32_t factor = 0;
    EXPECT_EQ(Zi18nGetExpansionFactor("UTF-16", "utf-8", &factor), 0);
    EXPECT_EQ(factor, 3);
    EXPECT_EQ(Zi18nGetExpansionFactor("", "utf-8", &factor), ZI18N_ERR_CHARSET);
    EXPECT_EQ(Zi18nGetExpansionFactor("utf-8", nullptr, &factor), ZI18N_ERR_CHARSET);
    EXPECT_EQ(Zi18nGetExpansionFactor("us-ascii", "utf-8", &factor), ZI18N_ERR_CHARSET);
}

TEST(Zi18nErrorMsg, EveryCode) {
    EXPECT_STREQ(Zi18nErrorMsg(0), "SUCCESS");
    EXPECT_STREQ(Zi18nErrorMsg(-19899), "Function failed");
    EXPECT_STREQ(Zi18nErrorMsg(-19898), "Out of memory");
    EXPECT_STREQ(Zi18nErrorMsg(-19897), "Couldn't load library dxutil.");
    EXPECT_STREQ(Zi18nErrorMsg(-19896), "Input buffer for converting is not available");
    EXPECT_STREQ(Zi18nErrorMsg(-19895), "Output buffer for converting is not available");
    EXPECT_STREQ(Zi18nErrorMsg(-19894), "Error in library dxutil");
    EXPECT_STREQ(Zi18nErrorMsg(-19893), "Output buffer is not large enough");
    EXPECT_STREQ(Zi18nErrorMsg(-19892), "Input buffer contains partial character");
    EXPECT_STREQ(Zi18nErrorMsg(-19891), "Unknown charset name");
    EXPECT_STREQ(Zi18nErrorMsg(-19890), "Unknown locale name");
    EXPECT_STREQ(Zi18nErrorMsg(-19889), "Internal zi18n mutex error");
    EXPECT_STREQ(Zi18nErrorMsg(-19888), "Couldn't map source charset to target charset");
    for (int code : {-19900, -19887, 1, -1}) {
        EXPECT_STREQ(Zi18nErrorMsg(code), "Unknown zi18n error code") << code;
    }
}
