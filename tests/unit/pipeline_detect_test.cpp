#include <gtest/gtest.h>

#include <math.h>

#include <string>
#include <vector>

#include "engine/lang_api.h"
#include "pipeline/detect.h"
#include "pipeline_test_support.h"

using namespace pipeline_test;

namespace {

char *dup(const char *text) {
    const size_t n = strlen(text) + 1;
    char *copy = static_cast<char *>(vos_malloc(n));
    memcpy(copy, text, n);
    return copy;
}

// A candidate array in the engine's form: `count` entries and a terminator.
LangCandidate *make_list(const std::vector<std::pair<const char *, float>> &entries) {
    auto *list =
        static_cast<LangCandidate *>(vos_calloc(entries.size() + 1, sizeof(LangCandidate)));
    for (size_t i = 0; i < entries.size(); ++i) {
        list[i].language = dup(entries[i].first);
        list[i].charsetName = dup("1252");
        list[i].score = entries[i].second;
    }
    return list;
}

}  // namespace

TEST(SortScores, DescendingWithTiesAndNaNEqual) {
    LangCandidate a{nullptr, nullptr, 0.5f};
    LangCandidate b{nullptr, nullptr, 0.25f};
    LangCandidate n{nullptr, nullptr, NAN};
    EXPECT_EQ(SortScores(&a, &b), -1);
    EXPECT_EQ(SortScores(&b, &a), 1);
    EXPECT_EQ(SortScores(&a, &a), 0);
    EXPECT_EQ(SortScores(&a, &n), 0);
    EXPECT_EQ(SortScores(&n, &b), 0);
}

TEST(Candidates, CountAndFree) {
    EXPECT_EQ(CountCandidates(nullptr), 0);
    LangCandidate *list = make_list({{"en", 0.9f}, {"fr", 0.5f}, {"de", 0.1f}});
    EXPECT_EQ(CountCandidates(list), 3);
    FreeCandidates(list);  // ASan/LSan check that every string goes
    FreeCandidates(nullptr);
    LangCandidate *empty = make_list({});
    EXPECT_EQ(CountCandidates(empty), 0);
    FreeCandidates(empty);
}

TEST(LangDetectOutArgFree, ReleasesTheFirstCountEntries) {
    LangDetectOutArg out{2, make_list({{"en", 0.9f}, {"fr", 0.5f}})};
    EXPECT_EQ(LangDetectOutArgFree(&out), 0);
    EXPECT_EQ(out.count, 0);
    EXPECT_EQ(out.candidates, nullptr);
    // A count of 0 with an array: the array alone is released.
    LangDetectOutArg none{0, static_cast<LangCandidate *>(vos_calloc(1, sizeof(LangCandidate)))};
    EXPECT_EQ(LangDetectOutArgFree(&none), 0);
    EXPECT_EQ(none.candidates, nullptr);
    EXPECT_EQ(none.count, 0);
    EXPECT_EQ(LangDetectOutArgFree(nullptr), 0);
    LangDetectOutArg zero{0, nullptr};
    EXPECT_EQ(LangDetectOutArgFree(&zero), 0);
}

TEST(LangDetect, HintsAnswerAtOnce) {
    HandContext ctx;
    ctx.Debug();
    LangDetectInArg in{"/no/such/file", 0, 0, 0, nullptr, "fr", "latin1"};
    LangDetectOutArg out{0, nullptr};
    ASSERT_EQ(LangDetect(ctx.get(), &in, &out), 0);
    EXPECT_EQ(in.detectSize, 2048);
    ASSERT_EQ(out.count, 1);
    EXPECT_STREQ(out.candidates[0].language, "fr");
    EXPECT_STREQ(out.candidates[0].charsetName, "latin1");
    EXPECT_EQ(out.candidates[0].score, 1.0f);
    EXPECT_EQ(out.candidates[1].language, nullptr);
    LangDetectOutArgFree(&out);
    EXPECT_EQ(ctx.Log(), "Detecting result:\n[0] fr latin1 1.0000\n");
}

TEST(LangDetect, DetectSizeIsKeptWhenGiven) {
    HandContext ctx;
    LangDetectInArg in{"x", 0, 0, 77, nullptr, "fr", "latin1"};
    LangDetectOutArg out{0, nullptr};
    ASSERT_EQ(LangDetect(ctx.get(), &in, &out), 0);
    EXPECT_EQ(in.detectSize, 77);
    LangDetectOutArgFree(&out);
}

TEST(LangDetect, FailureLeavesTheResultUntouched) {
    HandContext ctx;
    ctx.Debug();
    LangDetectInArg in{"/no/such/file", 0, 0, 0, nullptr, nullptr, nullptr};
    LangDetectOutArg out{0, nullptr};
    EXPECT_EQ(LangDetect(ctx.get(), &in, &out), LANG_ERR_NOFILE);
    EXPECT_EQ(out.count, 0);
    EXPECT_EQ(out.candidates, nullptr);
    EXPECT_EQ(ctx.Log().find("Detecting result:"), std::string::npos);
}

TEST(LangDetect, OutOfMemoryOnTheHintAnswer) {
    HandContext ctx;
    LangDetectInArg in{"x", 0, 1, 0, nullptr, "fr", "latin1"};
    LangDetectOutArg out{0, nullptr};
    for (long n = 0; n < 3; ++n) {
        vos_fail_alloc_after(n);
        const int rc = LangDetect(ctx.get(), &in, &out);
        vos_fail_alloc_after(-1);
        EXPECT_EQ(rc, LANG_ERR_NOMEM) << n;
        EXPECT_EQ(out.candidates, nullptr);
    }
}

TEST(LangDetect, BufferFlowUnderMemoryPressure) {
    TempDir dir;
    HandContext ctx;
    std::vector<std::string> paths;
    for (const std::string &name : StandardProfiles(dir.str()))
        paths.push_back(dir.str() + "/" + name);
    ctx.Load(paths);
    const std::string inputs[] = {
        ReadFile(Data("sample_en.txt")),
        ReadFile(Data("sample_fr.txt")),
        "<html><body><p>" + ReadFile(Data("sample_fr.txt")) + " caf&eacute;</p></body></html>",
    };
    for (const std::string &input : inputs) {
        bool succeeded = false;
        for (long n = 0; n < 200 && !succeeded; ++n) {
            LangDetectInArg in{
                input.data(), static_cast<int32_t>(input.size()), 1, 0, nullptr, nullptr, nullptr};
            LangDetectOutArg out{0, nullptr};
            vos_fail_alloc_after(n);
            const int rc = LangDetect(ctx.get(), &in, &out);
            vos_fail_alloc_after(-1);
            if (rc == 0) {
                succeeded = true;
                EXPECT_GT(out.count, 0);
                LangDetectOutArgFree(&out);
            } else {
                EXPECT_TRUE(rc == LANG_ERR_NOMEM || rc == LANG_ERR_CONVERT) << rc << " at " << n;
                EXPECT_EQ(out.candidates, nullptr);
            }
        }
        EXPECT_TRUE(succeeded);
    }
}
