#include <gtest/gtest.h>

#include <set>
#include <string>

#include "engine/lang_api.h"

TEST(ResultCodes, SuccessAndOutOfTable) {
    EXPECT_STREQ(LangErrorMsg(0), "SUCCESS");
    for (int code : {-20000, -19977, 19988, 1, -1}) {
        EXPECT_STREQ(LangErrorMsg(code), "Unhandled internal error code") << code;
    }
}

TEST(ResultCodes, EveryCodeHasItsOwnMessage) {
    EXPECT_STREQ(LangErrorMsg(-19999), "Failed to identify language");
    EXPECT_STREQ(LangErrorMsg(-19998), "Encounted null pointer in internal function");
    EXPECT_STREQ(LangErrorMsg(-19988), "Failed to load language data files");
    EXPECT_STREQ(LangErrorMsg(-19981), "Charset convertion failed");
    EXPECT_STREQ(LangErrorMsg(-19978), "The language detection configuration file is empty");
    std::set<std::string> seen;
    for (int code = -19999; code <= -19978; ++code) seen.insert(LangErrorMsg(code));
    EXPECT_EQ(seen.size(), 22u);
}
