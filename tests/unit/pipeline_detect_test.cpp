#include <gtest/gtest.h>

#include <math.h>

#include <string>
#include <vector>

#include "pipeline/detect.h"
#include "pipeline_test_support.h"

using namespace pipeline_test;

namespace {

TEST(SortScores, DescendingWithTiesAndNaNEqual) {
    LangCandidate a{nullptr, nullptr, 0.5f}, b{nullptr, nullptr, 0.25f}, n{nullptr, nullptr, NAN};
    EXPECT_EQ(SortScores(&a, &b), -1);
    EXPECT_EQ(SortScores(&b, &a), 1);
    EXPECT_EQ(SortScores(&a, &a), 0);
    EXPECT_EQ(SortScores(&a, &n), 0);
    EXPECT_EQ(SortScores(&n, &b), 0);
}

TEST(ResultList, CountAndRelease) {
    EXPECT_EQ(CountCandidates(nullptr), 0);
    LangCandidate *list = MakeList({{"en", "1252", 0.9f}, {"fr", "1252", 0.5f}});
    EXPECT_EQ(CountCandidates(list), 2);
    FreeCandidates(list);
    FreeCandidates(nullptr);
    LangDetectOutArg out{2, MakeList({{"en", "1252", 0.9f}, {"fr", "1252", 0.5f}})};
    EXPECT_EQ(LangDetectOutArgFree(&out), 0);
    EXPECT_EQ(out.count, 0);
    EXPECT_EQ(out.candidates, nullptr);
    // A count of 0 with an array: the array alone is released.
    LangDetectOutArg none{0, MakeList({})};
    EXPECT_EQ(LangDetectOutArgFree(&none), 0);
    EXPECT_EQ(none.candidates, nullptr);
    EXPECT_EQ(LangDetectOutArgFree(nullptr), 0);
}

TEST(LangDetect, HintsAnswerAtOnce) {
    HandContext ctx;
    ctx.Debug();
    LangDetectInArg in{"/no/such/file", 0, 0, 0, nullptr, "fr", "latin1"};
    LangDetectOutArg out{0, nullptr};
    ASSERT_EQ(LangDetect(ctx.get(), &in, &out), 0);
    EXPECT_EQ(in.detectSize, 2048);
    ASSERT_EQ(out.count, 1);
    EXPECT_EQ(Take(out.candidates), (std::vector<Candidate>{{"fr", "latin1", 1.0f}}));
    EXPECT_EQ(ctx.Log(), "Detecting result:\n[0] fr latin1 1.0000\n");
    // A size given is kept; memory failures while answering leave no list.
    in.detectSize = 77;
    for (long n = 0; n < 3; ++n) {
        out = {0, nullptr};
        vos_fail_alloc_after(n);
        EXPECT_EQ(LangDetect(ctx.get(), &in, &out), LANG_ERR_NOMEM) << n;
        vos_fail_alloc_after(-1);
        EXPECT_EQ(out.candidates, nullptr);
    }
    EXPECT_EQ(in.detectSize, 77);
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

TEST(LangDetect, BufferFlowUnderMemoryPressure) {
    TempDir dir;
    HandContext ctx;
    ctx.LoadFrom(dir.str(), StandardProfiles(dir.str()));
    const std::string inputs[] = {
        ReadFile(Data("sample_en.txt")),
        "<html><body><p>" + ReadFile(Data("sample_fr.txt")) + " caf&eacute;</p></body></html>",
    };
    for (const std::string &input : inputs) {
        int rc = -1;
        for (long n = 0; n < 200 && rc != 0; ++n) {
            LangDetectInArg in{
                input.data(), static_cast<int32_t>(input.size()), 1, 0, nullptr, nullptr, nullptr};
            LangDetectOutArg out{0, nullptr};
            vos_fail_alloc_after(n);
            rc = LangDetect(ctx.get(), &in, &out);
            vos_fail_alloc_after(-1);
            if (rc == 0) {
                EXPECT_GT(out.count, 0);
                LangDetectOutArgFree(&out);
            } else {
                EXPECT_TRUE(rc == LANG_ERR_NOMEM || rc == LANG_ERR_CONVERT) << rc << " at " << n;
                EXPECT_EQ(out.candidates, nullptr);
            }
        }
        EXPECT_EQ(rc, 0);
    }
}

}  // namespace
