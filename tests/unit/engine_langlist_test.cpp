#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "conv/zi18n_conv.h"
#include "engine/langlist.h"
#include "engine_test_support.h"
#include "ngram/text_helpers.h"

using glotta_test::ReadFile;
using glotta_test::TempDir;

namespace {

constexpr char kEnglish[] = "ID:en\nCHARSET:1252\n_t 2\nth 2\nhe 2\n";

std::string profile(const std::string &id, const std::string &charset = "1252") {
    return "ID:" + id + "\nCHARSET:" + charset + "\n_a 2\nab 2\n";
}

// A context with only a data directory, as start-up has it when it reads the
// language list.
class LangList : public testing::Test {
  protected:
    void SetUp() override {
        ctx_ = static_cast<LangContext *>(vos_calloc(1, sizeof(LangContext)));
        ctx_->dataPath = lang_strdup(data_.str().c_str());
    }
    void TearDown() override { LangClose(ctx_); }

    int load(const std::string &list) {
        data_.write("langlist.cfg", list);
        return LoadLangData(ctx_);
    }
    std::string id(int i) const { return ctx_->profiles[i]->languageId; }

    TempDir data_;
    LangContext *ctx_ = nullptr;
};

}  // namespace

TEST_F(LangList, CommentsBlankLinesAndKeysInAnyCase) {
    data_.write("en.lm", kEnglish);
    data_.write("fr.lm", profile("fr"));
    ASSERT_EQ(load("# languages\n\n\r\n \t \nMINSIZE: 12\nUnKnown:  xx  : Yy\nMinScore:\t0.35\n"
                   "en.lm\nfr.lm  \r\n"),
              0);
    ASSERT_EQ(ctx_->profileCount, 2);
    EXPECT_EQ(id(0), "en");
    EXPECT_EQ(id(1), "fr");
    EXPECT_EQ(ctx_->minSize, 12);
    EXPECT_STREQ(ctx_->unknownLanguage, "xx");
    EXPECT_STREQ(ctx_->unknownCharset, "Yy");
    EXPECT_FLOAT_EQ(ctx_->minScore, 0.35f);
    EXPECT_EQ(ctx_->profileIds[0]->langEnum, 15);  // the built-in number of "en"
    EXPECT_EQ(ctx_->profileIds[0]->charsetEnum, Zi18nGetCharsetEnum("1252"));
}

TEST_F(LangList, Defaults) {
    data_.write("en.lm", kEnglish);
    ASSERT_EQ(load("en.lm\n"), 0);
    EXPECT_EQ(ctx_->minSize, 0);
    EXPECT_STREQ(ctx_->unknownLanguage, "un");
    EXPECT_STREQ(ctx_->unknownCharset, "Unknown");
    EXPECT_EQ(ctx_->minScore, 0.0f);
}

TEST_F(LangList, MinScoreBounds) {
    data_.write("en.lm", kEnglish);
    struct {
        const char *value;
        float expected;
    } cases[] = {{"1.0", 0.0f}, {"-0.2", 0.0f}, {"0.35", 0.35f}, {"0.999", 0.999f},
                 {"7", 0.0f},   {"abc", 0.0f},  {"0", 0.0f}};
    for (const auto &c : cases) {
        LangClose(ctx_);
        SetUp();
        ASSERT_EQ(load(std::string("minscore: ") + c.value + "\nen.lm\n"), 0) << c.value;
        EXPECT_FLOAT_EQ(ctx_->minScore, c.expected) << c.value;
    }
}

TEST_F(LangList, MinSizeIsReadByItsLeadingDigits) {
    data_.write("en.lm", kEnglish);
    struct {
        const char *value;
        int expected;
    } cases[] = {{"-5", 0}, {"12abc", 12}, {"abc", 0}, {"99999999999999", 2147483647}};
    for (const auto &c : cases) {
        LangClose(ctx_);
        SetUp();
        ASSERT_EQ(load(std::string("minsize:") + c.value + "\nen.lm\n"), 0) << c.value;
        EXPECT_EQ(ctx_->minSize, c.expected) << c.value;
    }
}

TEST_F(LangList, UnknownSettingForms) {
    data_.write("en.lm", kEnglish);
    struct {
        const char *line;
        const char *language;
        const char *charset;
    } cases[] = {{"unknown:   ", "un", "Unknown"},  {"unknown::xx", "un", "xx"},
                 {"unknown: zz", "zz", "Unknown"},  {"unknown: un:Unknown", "un", "Unknown"},
                 {"unknown: a :  b c", "a", "b c"}, {"unknown: q:", "q", "Unknown"}};
    for (const auto &c : cases) {
        LangClose(ctx_);
        SetUp();
        ASSERT_EQ(load(std::string(c.line) + "\nen.lm\n"), 0) << c.line;
        EXPECT_STREQ(ctx_->unknownLanguage, c.language) << c.line;
        EXPECT_STREQ(ctx_->unknownCharset, c.charset) << c.line;
    }
}

TEST_F(LangList, LaterSettingOverridesEarlier) {
    data_.write("en.lm", kEnglish);
    ASSERT_EQ(load("minsize: 5\nunknown: aa:bb\nen.lm\nminsize: 9\nunknown: cc\n"), 0);
    EXPECT_EQ(ctx_->minSize, 9);
    EXPECT_STREQ(ctx_->unknownLanguage, "cc");
    EXPECT_STREQ(ctx_->unknownCharset, "bb");
}

TEST_F(LangList, HashAfterBlanksIsAProfileName) {
    data_.write("en.lm", kEnglish);
    EXPECT_EQ(load("en.lm\n  # not a comment\n"), 19988);
    EXPECT_EQ(ctx_->profileCount, 1);
}

TEST_F(LangList, OnlyTheFirst500NamesAreRead) {
    data_.write("en.lm", kEnglish);
    std::string list;
    for (int i = 0; i < 500; ++i) list += "en.lm\n";
    list += "minsize: 7\nmissing.lm\n";
    ASSERT_EQ(load(list), 0);
    EXPECT_EQ(ctx_->profileCount, 500);
    EXPECT_EQ(ctx_->minSize, 0);
}

TEST_F(LangList, UnknownLanguagesAreNumberedFrom59InLoadOrder) {
    data_.write("xq.lm", profile("xq"));
    data_.write("en.lm", kEnglish);
    data_.write("yq.lm", profile("yq"));
    data_.write("bad.lm", "ID:zq\nno-space-here\n");
    ASSERT_EQ(load("xq.lm\nbad.lm\nen.lm\nyq.lm\n"), 19990);
    ASSERT_EQ(ctx_->profileCount, 3);
    EXPECT_EQ(ctx_->profileIds[0]->langEnum, 59);
    EXPECT_EQ(ctx_->profileIds[1]->langEnum, 15);
    EXPECT_EQ(ctx_->profileIds[2]->langEnum, 60);
    EXPECT_EQ(LangCfgSearch(ctx_, "XQ"), 59);
    EXPECT_EQ(LangCfgSearch(ctx_, "yq"), 60);
    EXPECT_EQ(LangCfgSearch(ctx_, "En"), 15);
    EXPECT_EQ(LangCfgSearch(ctx_, "zq"), 0);  // its profile did not load
    EXPECT_EQ(LangCfgSearch(ctx_, nullptr), 0);
    EXPECT_EQ(LangCfgSearch(nullptr, "xq"), 0);
}

TEST_F(LangList, LastFailureGivesTheWarning) {
    data_.write("en.lm", kEnglish);
    data_.write("bad.lm", "ID:en\nbroken\n");
    EXPECT_EQ(load("missing.lm\nbad.lm\nen.lm\n"), 19990);
    EXPECT_EQ(ctx_->profileCount, 1);
    LangClose(ctx_);
    SetUp();
    EXPECT_EQ(load("bad.lm\nen.lm\nmissing.lm\n"), 19988);
    EXPECT_EQ(ctx_->profileCount, 1);
}

TEST_F(LangList, EveryProfileFailingStillGivesAnEngine) {
    EXPECT_EQ(load("a.lm\nb.lm\n"), 19988);
    EXPECT_EQ(ctx_->profileCount, 0);
    EXPECT_STREQ(ctx_->unknownLanguage, "un");
}

TEST_F(LangList, MalformedProfiles) {
    data_.write("empty.lm", "");
    data_.write("blank-id.lm", "ID:  \nCHARSET:1252\n");
    data_.write("long-key.lm", "ID:en\nabcdefghij 10\n");
    data_.write("binary.lm", std::string("\0\xff\xfe ID\n\x01\x02", 9));
    data_.write("dir.lm/inside", "");
    EXPECT_EQ(load("empty.lm\n"), 0);  // an empty model is still a model
    EXPECT_EQ(ctx_->profileCount, 1);
    for (const char *name : {"blank-id.lm", "long-key.lm"}) {
        LangClose(ctx_);
        SetUp();
        EXPECT_EQ(load(std::string(name) + "\n"), 19990) << name;
        EXPECT_EQ(ctx_->profileCount, 0) << name;
    }
    LangClose(ctx_);
    SetUp();
    int rc = load("binary.lm\ndir.lm\n");
    EXPECT_GT(rc, 0);
}

TEST_F(LangList, MissingOrEmptyList) {
    EXPECT_EQ(LoadLangData(ctx_), -19992);
    EXPECT_EQ(load(""), -19978);
    EXPECT_EQ(load("# only comments\nminsize: 4\nunknown: xx\n\n"), -19978);
    EXPECT_EQ(ctx_->profileCount, 0);
}

TEST_F(LangList, UnreadableList) {
    if (geteuid() == 0) GTEST_SKIP() << "root reads every file";
    data_.write("langlist.cfg", "en.lm\n");
    chmod(data_.str("langlist.cfg").c_str(), 0);
    EXPECT_EQ(LoadLangData(ctx_), -19992);
}

TEST_F(LangList, ListIsADirectory) {
    data_.mkdir("langlist.cfg");
    EXPECT_LT(LoadLangData(ctx_), 0);
}

TEST_F(LangList, ConfigFileReplacesTheListButNotTheDataDirectory) {
    TempDir elsewhere;
    std::string list = elsewhere.write("my.cfg", "en.lm\n");
    elsewhere.write("en.lm", profile("xx"));  // not this one
    data_.write("en.lm", kEnglish);
    ctx_->configFile = lang_strdup(list.c_str());
    ASSERT_EQ(LoadLangData(ctx_), 0);
    ASSERT_EQ(ctx_->profileCount, 1);
    EXPECT_EQ(id(0), "en");
}

TEST_F(LangList, LinesLongerThan255AreReadInPieces) {
    std::string name(255, 'a');
    data_.write(name, kEnglish);
    data_.write("bbb", profile("fr"));
    ASSERT_EQ(load(name + "bbb\n"), 0);
    ASSERT_EQ(ctx_->profileCount, 2);
    EXPECT_EQ(id(1), "fr");
}

TEST_F(LangList, InnerSpacesBelongToTheName) {
    data_.write("my en.lm", kEnglish);
    ASSERT_EQ(load("  my en.lm  \n"), 0);
    EXPECT_EQ(ctx_->profileCount, 1);
}

TEST_F(LangList, NullContext) {
    EXPECT_EQ(LoadLangData(nullptr), -19998);
}

TEST_F(LangList, DebugLogLines) {
    data_.write("en.lm", kEnglish);
    std::string log = data_.str("debug.log");
    ctx_->debug = 1;
    ctx_->logFile = fopen(log.c_str(), "w");
    ASSERT_EQ(load("en.lm\nmissing.lm\n"), 19988);
    fflush(ctx_->logFile);
    std::string dir = data_.str();
    EXPECT_EQ(ReadFile(log), "Reading language configuration file: " + dir + "/langlist.cfg\n" +
                                 "Loading language profile: " + dir + "/en.lm\n" +
                                 "Loading language profile: " + dir + "/missing.lm\n" +
                                 "Failed to load language profile " + dir + "/missing.lm\n");
}

TEST_F(LangList, OutOfMemoryAtEveryStep) {
    data_.write("en.lm", kEnglish);
    data_.write("fr.lm", profile("fr"));
    data_.write("langlist.cfg", "unknown: xx:yy\nen.lm\nfr.lm\n");
    for (long n = 0; n < 10000; ++n) {
        LangClose(ctx_);
        SetUp();
        vos_fail_alloc_after(n);
        int rc = LoadLangData(ctx_);
        vos_fail_alloc_after(-1);
        if (rc == 0) {
            EXPECT_EQ(ctx_->profileCount, 2);
            return;
        }
        // Memory running out inside a profile load only skips that profile.
        EXPECT_TRUE(rc == -19997 || rc == 19997) << "n=" << n << " rc=" << rc;
    }
    FAIL() << "never succeeded";
}
