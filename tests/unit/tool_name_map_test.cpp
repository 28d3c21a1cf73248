#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tool/tool.h"

namespace fs = std::filesystem;

namespace {

constexpr char kMissing[] = "Coundn't open configuration file langname.cfg\n";

class ToolNameMap : public testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/glotta_names_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    void write(const std::string &content) {
        std::ofstream(dir_ / "langname.cfg", std::ios::binary) << content;
    }
    std::string read() const {
        std::ifstream in(dir_ / "langname.cfg", std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    int load(std::string *out = nullptr) {
        testing::internal::CaptureStdout();
        int rc = loadNameMapping(dir_.c_str());
        std::string text = testing::internal::GetCapturedStdout();
        if (out) *out = text;
        return rc;
    }
    fs::path dir_;
};

}  // namespace

TEST_F(ToolNameMap, KnownIdentifiersShowTheirNames) {
    write("# comment\nen English\nde German extra words\n\r\nfr\tFrench\n");
    std::string out;
    ASSERT_EQ(load(&out), 0);
    EXPECT_EQ(out, "");
    EXPECT_EQ(numNameMap, 3);
    EXPECT_STREQ(LangCode2Name("en"), "English");
    EXPECT_STREQ(LangCode2Name("de"), "German");
    EXPECT_STREQ(LangCode2Name("fr"), "French");
}

TEST_F(ToolNameMap, UnknownIdentifierIsShownUnchanged) {
    write("en English\n");
    ASSERT_EQ(load(), 0);
    const char *id = "xx";
    EXPECT_EQ(LangCode2Name(id), id);
    EXPECT_STREQ(LangCode2Name("EN"), "EN");  // case matters
    EXPECT_EQ(LangCode2Name(nullptr), nullptr);
}

TEST_F(ToolNameMap, FirstEntryOfAnIdentifierWins) {
    write("en English\nen Anglais\n");
    ASSERT_EQ(load(), 0);
    EXPECT_STREQ(LangCode2Name("en"), "English");
}

TEST_F(ToolNameMap, LinesWithoutTwoWordsAreSkipped) {
    write("   \nlonely\n en English\n");
    ASSERT_EQ(load(), 0);
    EXPECT_EQ(numNameMap, 1);
    EXPECT_STREQ(LangCode2Name("en"), "English");
    EXPECT_STREQ(LangCode2Name("lonely"), "lonely");
}

TEST_F(ToolNameMap, OnlyTheFirstHundredEntriesAreRead) {
    std::string content;
    for (int i = 0; i < 120; ++i)
        content += "l" + std::to_string(i) + " N" + std::to_string(i) + "\n";
    write(content);
    ASSERT_EQ(load(), 0);
    EXPECT_EQ(numNameMap, LANG_MAX_NAME_MAP);
    EXPECT_STREQ(LangCode2Name("l99"), "N99");
    EXPECT_STREQ(LangCode2Name("l100"), "l100");
}

TEST_F(ToolNameMap, LongLinesAreReadInPieces) {
    // 300 characters: the first 255 form one line, the rest another.
    std::string first = "aa " + std::string(297, 'b');
    write(first + "\nen English\n");
    ASSERT_EQ(load(), 0);
    EXPECT_EQ(numNameMap, 2);
    EXPECT_EQ(std::string(LangCode2Name("aa")), std::string(252, 'b'));
}

TEST_F(ToolNameMap, MissingFileIsReportedOnStdout) {
    std::string out;
    EXPECT_EQ(load(&out), 1);
    EXPECT_EQ(out, kMissing);
    EXPECT_EQ(numNameMap, 0);
    testing::internal::CaptureStdout();
    EXPECT_EQ(loadNameMapping(nullptr), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), kMissing);
}

TEST_F(ToolNameMap, ReloadReplacesTheTable) {
    write("en English\n");
    ASSERT_EQ(load(), 0);
    write("de German\n");
    ASSERT_EQ(load(), 0);
    EXPECT_EQ(numNameMap, 1);
    EXPECT_STREQ(LangCode2Name("en"), "en");
}

TEST_F(ToolNameMap, SaveAppendsAnEntryAfterAnEmptyLine) {
    write("en English\n");
    testing::internal::CaptureStdout();
    EXPECT_EQ(saveNameMapping(dir_.c_str(), "ang", "Old English"), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(read(), "en English\n\nang Old English\n");
    ASSERT_EQ(load(), 0);
    EXPECT_STREQ(LangCode2Name("ang"), "Old");
}

TEST_F(ToolNameMap, SaveNeverCreatesTheFile) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(saveNameMapping(dir_.c_str(), "en", "English"), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), kMissing);
    EXPECT_FALSE(fs::exists(dir_ / "langname.cfg"));
}

TEST_F(ToolNameMap, UnreadableFileIsReported) {
    if (geteuid() == 0) GTEST_SKIP() << "root reads every file";
    write("en English\n");
    chmod((dir_ / "langname.cfg").c_str(), 0);
    EXPECT_EQ(load(), 1);
}

TEST_F(ToolNameMap, BinaryJunkIsHarmless) {
    std::string junk("\0\xff\xfe\x01 \x02\n\0en English\n\xc3\xa9t\xc3\xa9 Summer\n", 32);
    write(junk);
    ASSERT_EQ(load(), 0);
    EXPECT_STREQ(LangCode2Name("\xc3\xa9t\xc3\xa9"), "Summer");
}
