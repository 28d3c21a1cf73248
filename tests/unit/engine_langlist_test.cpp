#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "conv/zi18n_conv.h"
#include "engine/lang_context.h"
#include "engine/langlist.h"
#include "engine_test_support.h"
#include "ngram/text_helpers.h"

using glotta_test::ReadFile;
using glotta_test::TempDir;
namespace fs = std::filesystem;

namespace {

constexpr char kEnglish[] = "ID:en\nCHARSET:1252\n_t 2\nth 2\nhe 2\n";

std::string profile(const std::string &id) {
    return "ID:" + id + "\nCHARSET:1252\n_a 2\nab 2\n";
}

// A context with only a data directory (holding en.lm), as start-up has it
// when it reads the language list.
class LangList : public testing::Test {
  protected:
    void SetUp() override { reset(); }
    void TearDown() override { LangClose(ctx_); }
    void reset() {
        LangClose(ctx_);
        ctx_ = static_cast<LangContext *>(vos_calloc(1, sizeof(LangContext)));
        ctx_->dataPath = lang_strdup(data_.str().c_str());
        data_.write("en.lm", kEnglish);
    }
    int load(const std::string &list) {
        reset();
        data_.write("langlist.cfg", list);
        return LoadLangData(ctx_);
    }
    std::string id(int i) const { return ctx_->profiles[i]->languageId; }

    TempDir data_;
    LangContext *ctx_ = nullptr;
};

}  // namespace

TEST_F(LangList, CommentsBlankLinesAndKeysInAnyCase) {
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

TEST_F(LangList, SettingValues) {
    // Each row: settings before "en.lm", then the values they leave.
    struct {
        const char *settings;
        int minSize;
        float minScore;
        const char *language, *charset;
    } cases[] = {
        {"", 0, 0.0f, "un", "Unknown"},
        {"minscore: 1.0\n", 0, 0.0f, "un", "Unknown"},
        {"minscore: -0.2\n", 0, 0.0f, "un", "Unknown"},
        {"minscore: 0.999\n", 0, 0.999f, "un", "Unknown"},
        {"minscore: 7\n", 0, 0.0f, "un", "Unknown"},
        {"minscore: abc\n", 0, 0.0f, "un", "Unknown"},
        {"minsize:-5\n", 0, 0.0f, "un", "Unknown"},
        {"minsize:12abc\n", 12, 0.0f, "un", "Unknown"},
        {"minsize:abc\n", 0, 0.0f, "un", "Unknown"},
        {"minsize:99999999999999\n", 2147483647, 0.0f, "un", "Unknown"},
        {"unknown:   \n", 0, 0.0f, "un", "Unknown"},
        {"unknown::xx\n", 0, 0.0f, "un", "xx"},
        {"unknown: zz\n", 0, 0.0f, "zz", "Unknown"},
        {"unknown: a :  b c\n", 0, 0.0f, "a", "b c"},
        {"unknown: q:\n", 0, 0.0f, "q", "Unknown"},
        {"minsize: 5\nunknown: aa:bb\nen.lm\nminsize: 9\nunknown: cc\n", 9, 0.0f, "cc", "bb"}};
    for (const auto &c : cases) {
        ASSERT_EQ(load(std::string(c.settings) + "en.lm\n"), 0) << c.settings;
        EXPECT_EQ(ctx_->minSize, c.minSize) << c.settings;
        EXPECT_FLOAT_EQ(ctx_->minScore, c.minScore) << c.settings;
        EXPECT_STREQ(ctx_->unknownLanguage, c.language) << c.settings;
        EXPECT_STREQ(ctx_->unknownCharset, c.charset) << c.settings;
    }
}

TEST_F(LangList, ProfileNames) {
    std::string list;
    for (int i = 0; i < 500; ++i) list += "en.lm\n";
    ASSERT_EQ(load(list + "minsize: 7\nmissing.lm\n"), 0);  // only the first 500 are read
    EXPECT_EQ(ctx_->profileCount, 500);
    EXPECT_EQ(ctx_->minSize, 0);

    EXPECT_EQ(load("en.lm\n  # not a comment\n"), 19988);
    EXPECT_EQ(ctx_->profileCount, 1);

    data_.write("my en.lm", kEnglish);
    EXPECT_EQ(load("  my en.lm  \n"), 0);

    std::string longName(255, 'a');  // longer lines are read in 255-byte pieces
    data_.write(longName, kEnglish);
    data_.write("bbb", profile("fr"));
    ASSERT_EQ(load(longName + "bbb\n"), 0);
    ASSERT_EQ(ctx_->profileCount, 2);
    EXPECT_EQ(id(1), "fr");
}

TEST_F(LangList, UnknownLanguagesAreNumberedFrom59InLoadOrder) {
    data_.write("xq.lm", profile("xq"));
    data_.write("yq.lm", profile("yq"));
    data_.write("bad.lm", "ID:zq\nno-space-here\n");
    ASSERT_EQ(load("xq.lm\nbad.lm\nen.lm\nyq.lm\n"), 19990);
    ASSERT_EQ(ctx_->profileCount, 3);
    EXPECT_EQ(ctx_->profileIds[0]->langEnum, 59);
    EXPECT_EQ(ctx_->profileIds[1]->langEnum, 15);
    EXPECT_EQ(ctx_->profileIds[2]->langEnum, 60);
    for (auto [id, number] : {std::pair{"XQ", 59}, {"yq", 60}, {"En", 15}, {"zq", 0}})
        EXPECT_EQ(LangCfgSearch(ctx_, id), number) << id;  // zq's profile did not load
    EXPECT_EQ(LangCfgSearch(ctx_, nullptr), 0);
    EXPECT_EQ(LangCfgSearch(nullptr, "xq"), 0);
}

TEST_F(LangList, ProfileFailuresAreWarningsOfTheLastFailure) {
    data_.write("bad.lm", "ID:en\nbroken\n");
    data_.write("empty.lm", "");
    data_.write("blank-id.lm", "ID:  \nCHARSET:1252\n");
    data_.write("long-key.lm", "ID:en\nabcdefghij 10\n");
    data_.write("binary.lm", std::string("\0\xff\xfe ID\n\x01\x02", 9));
    data_.mkdir("dir.lm");
    struct {
        const char *list;
        int code, loaded;
    } cases[] = {{"missing.lm\nbad.lm\nen.lm\n", 19990, 1},
                 {"bad.lm\nen.lm\nmissing.lm\n", 19988, 1},
                 {"a.lm\nb.lm\n", 19988, 0},
                 {"empty.lm\n", 0, 1},
                 {"blank-id.lm\n", 19990, 0},
                 {"long-key.lm\n", 19990, 0}};
    for (const auto &c : cases) {
        EXPECT_EQ(load(c.list), c.code) << c.list;
        EXPECT_EQ(ctx_->profileCount, c.loaded) << c.list;
    }
    EXPECT_STREQ(ctx_->unknownLanguage, "un");
    EXPECT_GT(load("binary.lm\ndir.lm\n"), 0);
}

TEST_F(LangList, ListErrors) {
    EXPECT_EQ(LoadLangData(nullptr), -19998);
    EXPECT_EQ(LoadLangData(ctx_), -19992);
    EXPECT_EQ(load(""), -19978);
    EXPECT_EQ(load("# only comments\nminsize: 4\nunknown: xx\n\n"), -19978);
    reset();
    fs::remove(data_.path() / "langlist.cfg");
    data_.mkdir("langlist.cfg");
    EXPECT_EQ(LoadLangData(ctx_), -19992);
    if (geteuid() == 0) return;  // root reads every file
    fs::remove(data_.path() / "langlist.cfg");
    data_.write("langlist.cfg", "en.lm\n");
    chmod(data_.str("langlist.cfg").c_str(), 0);
    EXPECT_EQ(LoadLangData(ctx_), -19992);
}

// A FIFO would block start-up and /dev/zero never end; neither is read.
TEST_F(LangList, ListsAndProfilesMustBeRegularFiles) {
    alarm(20);
    ASSERT_EQ(mkfifo(data_.str("fifo").c_str(), 0600), 0);
    for (const std::string &list : {data_.str("fifo"), std::string("/dev/zero"), data_.str()}) {
        reset();
        ctx_->configFile = lang_strdup(list.c_str());
        EXPECT_EQ(LoadLangData(ctx_), -19992) << list;
    }
    fs::create_symlink("/dev/zero", data_.path() / "zero.lm");
    for (const char *bad : {"fifo", "zero.lm"}) {
        EXPECT_EQ(load(std::string(bad) + "\nen.lm\n"), 19988) << bad;
        ASSERT_EQ(ctx_->profileCount, 1) << bad;
        EXPECT_EQ(id(0), "en");
    }
    alarm(0);
}

TEST_F(LangList, ConfigFileReplacesTheListButNotTheDataDirectory) {
    TempDir elsewhere;
    std::string list = elsewhere.write("my.cfg", "en.lm\n");
    elsewhere.write("en.lm", profile("xx"));  // not this one
    ctx_->configFile = lang_strdup(list.c_str());
    ASSERT_EQ(LoadLangData(ctx_), 0);
    ASSERT_EQ(ctx_->profileCount, 1);
    EXPECT_EQ(id(0), "en");
}

TEST_F(LangList, DebugLogLines) {
    std::string log = data_.str("debug.log"), dir = data_.str();
    data_.write("langlist.cfg", "en.lm\nmissing.lm\n");
    ctx_->debug = 1;
    ctx_->logFile = fopen(log.c_str(), "w");
    ASSERT_EQ(LoadLangData(ctx_), 19988);
    fflush(ctx_->logFile);
    EXPECT_EQ(ReadFile(log), "Reading language configuration file: " + dir + "/langlist.cfg\n" +
                                 "Loading language profile: " + dir + "/en.lm\n" +
                                 "Loading language profile: " + dir + "/missing.lm\n" +
                                 "Failed to load language profile " + dir + "/missing.lm\n");
}

TEST_F(LangList, OutOfMemoryAtEveryStep) {
    data_.write("fr.lm", profile("fr"));
    data_.write("langlist.cfg", "unknown: xx:yy\nen.lm\nfr.lm\n");
    for (long n = 0; n < 10000; ++n) {
        reset();
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
