#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "scan/scan.h"

namespace {

// A fake engine: every start hands out the next context of `slots` and
// answers `answer`, except the start numbered `failAt` (from 1), which fails
// with LANG_ERR_NODATA; closes are counted per context.
struct FakeEngine {
    static inline LangContext *slots[8];
    static inline int started = 0;
    static inline int failAt = 0;
    static inline int answer = LANG_OK;
    static inline std::map<LangContext *, int> closed;

    static void Reset(int failAtStart, int answerOfStart) {
        started = 0;
        failAt = failAtStart;
        answer = answerOfStart;
        closed.clear();
        for (int i = 0; i < 8; ++i) slots[i] = reinterpret_cast<LangContext *>(0x1000 + 0x10 * i);
    }
    static int Init(LangContext **out, const LangInitArg *) {
        ++started;
        if (started == failAt) return LANG_ERR_NODATA;
        *out = slots[started - 1];
        return answer;
    }
    static int Close(LangContext *context) {
        if (context) ++closed[context];
        return LANG_OK;
    }
};

const scan::EngineCalls kFake{FakeEngine::Init, FakeEngine::Close};

// Every thread's context is its own, in thread order; every one warns the
// same, and the run says it once.
TEST(ScanEngines, OneContextPerThreadAndOneWarning) {
    FakeEngine::Reset(0, -LANG_ERR_LOGFILE);
    std::vector<LangContext *> contexts;
    testing::internal::CaptureStderr();
    EXPECT_TRUE(scan::StartEngines(LangInitArg{}, 4, &contexts, kFake));
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(contexts, (std::vector<LangContext *>{FakeEngine::slots[0], FakeEngine::slots[1],
                                                    FakeEngine::slots[2], FakeEngine::slots[3]}));
    EXPECT_TRUE(FakeEngine::closed.empty());
    EXPECT_EQ(said, std::string("glotta-scan: Warn 19979: ") + LangErrorMsg(LANG_ERR_LOGFILE) +
                        " (in initializing language detection module).\n");
}

// A context that cannot start, first or later, is the run's one start-up
// error: the same line as when the first fails, no further start, and every
// context already started closed once, none kept.
TEST(ScanEngines, AFailingContextClosesTheOthersWithTheStartUpError) {
    const std::string error = std::string("glotta-scan: Error -19989: ") +
                              LangErrorMsg(LANG_ERR_NODATA) +
                              " (in initializing language detection module).\n";
    for (int failAt : {1, 3, 4}) {
        SCOPED_TRACE(failAt);
        FakeEngine::Reset(failAt, LANG_OK);
        std::vector<LangContext *> contexts;
        testing::internal::CaptureStderr();
        EXPECT_FALSE(scan::StartEngines(LangInitArg{}, 4, &contexts, kFake));
        EXPECT_EQ(testing::internal::GetCapturedStderr(), error);
        EXPECT_TRUE(contexts.empty());
        EXPECT_EQ(FakeEngine::started, failAt);
        std::map<LangContext *, int> once;
        for (int i = 0; i < failAt - 1; ++i) once[FakeEngine::slots[i]] = 1;
        EXPECT_EQ(FakeEngine::closed, once);
    }
}

}  // namespace
