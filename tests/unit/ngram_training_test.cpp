// Tests of the training calls: sample files, block reading, the saved
// profile file, error codes and the debug log.
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/lang_api.h"
#include "engine/lang_context.h"
#include "ngram/profile.h"
#include "ngram_test_util.h"

namespace {

using ngram_test::count_of;
using ngram_test::FailAllocAfter;
using ngram_test::read_file;
using ngram_test::TempDir;

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

    void enable_log() {
        ctx_.debug = 1;
        ctx_.logFile = tmpfile();
        ASSERT_NE(ctx_.logFile, nullptr);
    }

    std::string log_text() {
        fflush(ctx_.logFile);
        rewind(ctx_.logFile);
        std::string text;
        for (int c; (c = fgetc(ctx_.logFile)) != EOF;) text.push_back(static_cast<char>(c));
        return text;
    }

    TempDir dir_;
    std::string data_path_;
    LangContext ctx_{};
};

std::vector<std::string> lines_of(const std::string &text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1) {
        lines.push_back(text.substr(start, nl - start));
    }
    return lines;
}

TEST_F(Training, SavesNamedProfileInDataDirectory) {
    ASSERT_EQ(LangTrainNew(&ctx_, "en", "1252"), LANG_OK);
    ASSERT_NE(ctx_.trainProfile, nullptr);
    EXPECT_STREQ(ctx_.trainProfile->languageId, "en");
    EXPECT_STREQ(ctx_.trainProfile->charset, "1252");
    EXPECT_EQ(ctx_.trainProfile->ranked, 0);
    const std::string sample = dir_.write("sample.txt", "The cat sat on the mat. THE END");
    ASSERT_EQ(LangTrain(&ctx_, sample.c_str()), LANG_OK);
    ASSERT_EQ(LangTrainSave(&ctx_), LANG_OK);

    const std::vector<std::string> lines = lines_of(read_file(dir_.file("en-1252.lm")));
    ASSERT_EQ(lines.size(), 402u);
    EXPECT_EQ(lines[0], "ID:en");
    EXPECT_EQ(lines[1], "CHARSET:1252");
    // "the" three times (any case), "t" in the, cat, sat, mat, the, the.
    EXPECT_EQ(lines[2], "t 1");
}

TEST_F(Training, CasesCountTogether) {
    ASSERT_EQ(LangTrainNew(&ctx_, "en", "1252"), LANG_OK);
    const std::string a = dir_.write("a.txt", "Word word WORD");
    const std::string b = dir_.write("b.txt", "wOrD");
    ASSERT_EQ(LangTrain(&ctx_, a.c_str()), LANG_OK);
    ASSERT_EQ(LangTrain(&ctx_, b.c_str()), LANG_OK);
    EXPECT_EQ(count_of(ctx_.trainProfile, "_word"), 4);
    EXPECT_EQ(count_of(ctx_.trainProfile, "W"), 0);
}

TEST_F(Training, ReadsEightKilobyteBlocks) {
    // 20000 bytes read as 8192 + 8192 + 3616: the words across the two block
    // boundaries count as two words each.
    std::string sample(20000, ' ');
    sample.replace(8190, 4, "abcd");
    sample.replace(16382, 4, "efgh");
    sample.replace(19998, 2, "yz");
    ASSERT_EQ(LangTrainNew(&ctx_, "xx", "cs"), LANG_OK);
    const std::string path = dir_.write("blocks.txt", sample);
    ASSERT_EQ(LangTrain(&ctx_, path.c_str()), LANG_OK);
    EXPECT_EQ(count_of(ctx_.trainProfile, "_ab_"), 1);
    EXPECT_EQ(count_of(ctx_.trainProfile, "_cd_"), 1);
    EXPECT_EQ(count_of(ctx_.trainProfile, "abcd"), 0);
    EXPECT_EQ(count_of(ctx_.trainProfile, "_ef_"), 1);
    EXPECT_EQ(count_of(ctx_.trainProfile, "_gh_"), 1);
    EXPECT_EQ(count_of(ctx_.trainProfile, "_yz_"), 1);
}

TEST_F(Training, SavingWithoutSamplesWritesPadding) {
    ASSERT_EQ(LangTrainNew(&ctx_, "en", "1252"), LANG_OK);
    ASSERT_EQ(LangTrainSave(&ctx_), LANG_OK);
    std::string want = "ID:en\nCHARSET:1252\n";
    for (int i = 0; i < 400; ++i) want += " 0\n";
    EXPECT_EQ(read_file(dir_.file("en-1252.lm")), want);
}

TEST_F(Training, SameSamplesGiveTheSameFile) {
    std::string text;
    for (int i = 0; i < 500; ++i) {
        text += "zwei drei vier f\xFCnf sechs " + std::to_string(i) + " ";
        text += std::string(1, static_cast<char>('a' + i % 26)) + "x" + std::string(1, 'k') + " ";
    }
    const std::string sample = dir_.write("s.txt", text);
    ASSERT_EQ(LangTrainNew(&ctx_, "de", "1252"), LANG_OK);
    ASSERT_EQ(LangTrain(&ctx_, sample.c_str()), LANG_OK);
    ASSERT_EQ(LangTrainSave(&ctx_), LANG_OK);
    const std::string first = read_file(dir_.file("de-1252.lm"));

    ASSERT_EQ(LangTrainNew(&ctx_, "de", "1252"), LANG_OK);
    ASSERT_EQ(LangTrain(&ctx_, sample.c_str()), LANG_OK);
    ASSERT_EQ(LangTrainSave(&ctx_), LANG_OK);
    EXPECT_EQ(read_file(dir_.file("de-1252.lm")), first);
    EXPECT_EQ(lines_of(first).size(), 402u);
}

TEST_F(Training, ReplacesAnExistingProfileFile) {
    const std::string old = dir_.write("en-1252.lm", std::string(5000, 'x'));
    ASSERT_EQ(LangTrainNew(&ctx_, "en", "1252"), LANG_OK);
    ASSERT_EQ(LangTrainSave(&ctx_), LANG_OK);
    EXPECT_EQ(read_file(old).substr(0, 6), "ID:en\n");
    EXPECT_EQ(read_file(old).size(), 19u + 400u * 3u);
}

TEST_F(Training, SampleErrors) {
    ASSERT_EQ(LangTrainNew(&ctx_, "en", "1252"), LANG_OK);
    EXPECT_EQ(LangTrain(&ctx_, dir_.file("missing.txt").c_str()), LANG_ERR_NOFILE);
    EXPECT_EQ(LangTrain(&ctx_, dir_.path().c_str()), LANG_ERR_NOTREGULAR);
    const std::string empty = dir_.write("empty.txt", "");
    EXPECT_EQ(LangTrain(&ctx_, empty.c_str()), LANG_ERR_EMPTYFILE);
    // Failed samples leave the profile as it was.
    EXPECT_EQ(ctx_.trainProfile->table->nextFree, NGRAM_HASH_BUCKETS);
    const std::string good = dir_.write("good.txt", "ok");
    EXPECT_EQ(LangTrain(&ctx_, good.c_str()), LANG_OK);
}

TEST_F(Training, UnreadableSampleFailsToOpen) {
    if (geteuid() == 0) GTEST_SKIP() << "root reads any file";
    ASSERT_EQ(LangTrainNew(&ctx_, "en", "1252"), LANG_OK);
    const std::string path = dir_.write("locked.txt", "some words");
    ASSERT_EQ(chmod(path.c_str(), 0), 0);
    EXPECT_EQ(LangTrain(&ctx_, path.c_str()), LANG_ERR_OPEN);
}

TEST_F(Training, NullArgumentsAndMissingProfile) {
    EXPECT_EQ(LangTrainNew(nullptr, "en", "1252"), LANG_ERR_NULL);
    EXPECT_EQ(LangTrainNew(&ctx_, nullptr, "1252"), LANG_ERR_NULL);
    EXPECT_EQ(LangTrainNew(&ctx_, "en", nullptr), LANG_ERR_NULL);
    const std::string sample = dir_.write("s.txt", "text");
    EXPECT_EQ(LangTrain(&ctx_, sample.c_str()), LANG_ERR_NULL);
    EXPECT_EQ(LangTrain(nullptr, sample.c_str()), LANG_ERR_NULL);
    EXPECT_EQ(LangTrainSave(&ctx_), LANG_ERR_NULL);
    EXPECT_EQ(LangTrainSave(nullptr), LANG_ERR_NULL);
    ASSERT_EQ(LangTrainNew(&ctx_, "en", "1252"), LANG_OK);
    EXPECT_EQ(LangTrain(&ctx_, nullptr), LANG_ERR_NULL);
}

TEST_F(Training, UnwritableDataDirectory) {
    std::string missing = dir_.file("no-such-dir");
    ctx_.dataPath = missing.data();
    ASSERT_EQ(LangTrainNew(&ctx_, "en", "1252"), LANG_OK);
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

TEST_F(Training, OutOfMemoryWhileSaving) {
    ASSERT_EQ(LangTrainNew(&ctx_, "en", "1252"), LANG_OK);
    {
        FailAllocAfter fail(0);
        EXPECT_EQ(LangTrainSave(&ctx_), LANG_ERR_NOMEM);
    }
    EXPECT_NE(access(dir_.file("en-1252.lm").c_str(), F_OK), 0);
}

TEST_F(Training, OutOfMemoryCountsOnlyInTheLastBlock) {
    // Enough distinct n-grams in the first block to need a larger table.
    std::string sample;
    for (int i = 0; sample.size() < 8192; ++i) {
        std::string word;
        for (int n = i; n > 0 || word.size() < 3; n /= 20)
            word.push_back(static_cast<char>('a' + n % 20));
        sample += word + " ";
    }
    sample.resize(8192, ' ');
    ASSERT_EQ(LangTrainNew(&ctx_, "en", "1252"), LANG_OK);
    const std::string failing_last = dir_.write("a.txt", sample);
    {
        FailAllocAfter fail(0);
        EXPECT_EQ(LangTrain(&ctx_, failing_last.c_str()), LANG_ERR_NOMEM);
    }
    ASSERT_EQ(LangTrainNew(&ctx_, "en", "1252"), LANG_OK);
    // The last block holds only n-grams already counted, which need no memory.
    const std::string recovering = dir_.write("b.txt", sample + "aaa");
    {
        FailAllocAfter fail(0);
        EXPECT_EQ(LangTrain(&ctx_, recovering.c_str()), LANG_OK);
    }
    EXPECT_EQ(count_of(ctx_.trainProfile, "_aaa_"), 2);
}

TEST_F(Training, WritesDebugLogLines) {
    enable_log();
    ASSERT_EQ(LangTrainNew(&ctx_, "en", "1252"), LANG_OK);
    const std::string sample = dir_.write("s.txt", "text");
    ASSERT_EQ(LangTrain(&ctx_, sample.c_str()), LANG_OK);
    ASSERT_EQ(LangTrainSave(&ctx_), LANG_OK);
    const std::string want =
        "Initialise training profile\n"
        "Training the language model for language en encoding 1252\n"
        "Sorting language profile\n"
        "Saving trained language profile as: " +
        data_path_ + "/en-1252.lm\n";
    EXPECT_EQ(log_text(), want);
}

TEST_F(Training, WritesNoLogWithoutDebug) {
    ctx_.logFile = tmpfile();
    ASSERT_EQ(LangTrainNew(&ctx_, "en", "1252"), LANG_OK);
    ASSERT_EQ(LangTrainSave(&ctx_), LANG_OK);
    EXPECT_EQ(log_text(), "");
}

}  // namespace
