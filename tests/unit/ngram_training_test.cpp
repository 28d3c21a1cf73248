// Tests of the training calls: sample files, block reading, the saved
// profile file, error codes and the debug log.
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/lang_context.h"
#include "ngram_test_util.h"

namespace {

using namespace ngram_test;

// A bare engine context holding only what training uses.
class Training : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(dir_.path().empty());
        data_path_ = dir_.path();
        ctx_.dataPath = data_path_.data();
    }
    void TearDown() override {
        NgramPrfDestroy(ctx_.trainProfile);
        if (ctx_.logFile) fclose(ctx_.logFile);
    }
    // Starts a new profile for en/1252 (the previous one is released first).
    void start() {
        NgramPrfDestroy(ctx_.trainProfile);
        ctx_.trainProfile = nullptr;
        ASSERT_EQ(LangTrainNew(&ctx_, "en", "1252"), LANG_OK);
    }
    int train(const std::string &name, const std::string &text) {
        return LangTrain(&ctx_, dir_.write(name, text).c_str());
    }
    std::string saved() { return ReadFile(dir_.file("en-1252.lm")); }

    TempDir dir_;
    std::string data_path_;
    LangContext ctx_{};
};

TEST_F(Training, SavesNamedProfileInDataDirectory) {
    // An existing file is replaced; with no samples only padding follows.
    dir_.write("en-1252.lm", std::string(5000, 'x'));
    start();
    ASSERT_EQ(LangTrainSave(&ctx_), LANG_OK);
    std::string want = "ID:en\nCHARSET:1252\n";
    for (int i = 0; i < 400; ++i) want += " 0\n";
    EXPECT_EQ(saved(), want);

    start();
    ASSERT_EQ(train("a.txt", "Word word WORD"), LANG_OK);
    ASSERT_EQ(train("b.txt", "wOrD"), LANG_OK);
    EXPECT_EQ(count_of(ctx_.trainProfile, "_word"), 4);  // cases count together
    ASSERT_EQ(LangTrainSave(&ctx_), LANG_OK);
    EXPECT_EQ(saved().size() - saved().find(" 0\n"), (400u - 18u) * 3u);  // 18 n-grams
}

TEST_F(Training, ReadsEightKilobyteBlocks) {
    // 20000 bytes read as 8192 + 8192 + 3616: a word across a block boundary
    // counts as two words.
    std::string sample(20000, ' ');
    sample.replace(8190, 4, "abcd");
    sample.replace(16382, 4, "efgh");
    sample.replace(19998, 2, "yz");
    start();
    ASSERT_EQ(train("blocks.txt", sample), LANG_OK);
    for (const char *key : {"_ab_", "_cd_", "_ef_", "_gh_", "_yz_"}) {
        EXPECT_EQ(count_of(ctx_.trainProfile, key), 1) << key;
    }
    EXPECT_EQ(count_of(ctx_.trainProfile, "abcd"), 0);
}

TEST_F(Training, SameSamplesGiveTheSameFile) {
    std::string text;
    for (int i = 0; i < 500; ++i) {
        text += "zwei drei vier f\xFCnf sechs " + std::to_string(i) + " " +
                static_cast<char>('a' + i % 26) + "xk ";
    }
    std::string first;
    for (int run = 0; run < 2; ++run) {
        start();
        ASSERT_EQ(train("s.txt", text), LANG_OK);
        ASSERT_EQ(LangTrainSave(&ctx_), LANG_OK);
        if (run == 0) first = saved();
    }
    EXPECT_EQ(saved(), first);
}

TEST_F(Training, Errors) {
    EXPECT_EQ(LangTrainNew(nullptr, "en", "1252"), LANG_ERR_NULL);
    EXPECT_EQ(LangTrainNew(&ctx_, nullptr, "1252"), LANG_ERR_NULL);
    EXPECT_EQ(LangTrainNew(&ctx_, "en", nullptr), LANG_ERR_NULL);
    EXPECT_EQ(train("s.txt", "text"), LANG_ERR_NULL);  // no profile yet
    EXPECT_EQ(LangTrain(nullptr, dir_.file("s.txt").c_str()), LANG_ERR_NULL);
    EXPECT_EQ(LangTrainSave(&ctx_), LANG_ERR_NULL);
    EXPECT_EQ(LangTrainSave(nullptr), LANG_ERR_NULL);
    start();
    EXPECT_EQ(LangTrain(&ctx_, nullptr), LANG_ERR_NULL);
    EXPECT_EQ(LangTrain(&ctx_, dir_.file("missing.txt").c_str()), LANG_ERR_NOFILE);
    EXPECT_EQ(LangTrain(&ctx_, dir_.path().c_str()), LANG_ERR_NOTREGULAR);
    ASSERT_EQ(mkfifo(dir_.file("fifo").c_str(), 0600), 0);
    alarm(20);  // a FIFO must be refused, never opened for a blocking read
    EXPECT_EQ(LangTrain(&ctx_, dir_.file("fifo").c_str()), LANG_ERR_NOTREGULAR);
    EXPECT_EQ(LangTrain(&ctx_, "/dev/zero"), LANG_ERR_NOTREGULAR);
    alarm(0);
    EXPECT_EQ(train("empty.txt", ""), LANG_ERR_EMPTYFILE);
    if (geteuid() != 0) {
        const std::string locked = dir_.write("locked.txt", "some words");
        ASSERT_EQ(chmod(locked.c_str(), 0), 0);
        EXPECT_EQ(LangTrain(&ctx_, locked.c_str()), LANG_ERR_OPEN);
    }
    EXPECT_EQ(ctx_.trainProfile->table->nextFree, NGRAM_HASH_BUCKETS);  // left as it was
    EXPECT_EQ(train("good.txt", "ok"), LANG_OK);

    std::string missing = dir_.file("no-such-dir");
    ctx_.dataPath = missing.data();
    EXPECT_EQ(LangTrainSave(&ctx_), LANG_ERR_OPEN);
}

TEST_F(Training, CreationFailureLeavesNoProfile) {
    // The profile's allocations: record, id, charset, table, entries.
    for (long n = 0; n < 5; ++n) {
        FailAllocAfter fail(n);
        EXPECT_EQ(LangTrainNew(&ctx_, "en", "1252"), LANG_ERR_TRAINPROFILE) << n;
        EXPECT_EQ(ctx_.trainProfile, nullptr);
    }
}

TEST_F(Training, WritesDebugLogLinesOnlyInDebugMode) {
    ctx_.logFile = tmpfile();
    ASSERT_NE(ctx_.logFile, nullptr);
    start();
    ctx_.debug = 1;
    start();
    ASSERT_EQ(train("s.txt", "text"), LANG_OK);
    ASSERT_EQ(LangTrainSave(&ctx_), LANG_OK);
    EXPECT_EQ(glotta_test::LogText(ctx_.logFile),
              "Initialise training profile\n"
              "Training the language model for language en encoding 1252\n"
              "Sorting language profile\n"
              "Saving trained language profile as: " +
                  data_path_ + "/en-1252.lm\n");
}

}  // namespace
