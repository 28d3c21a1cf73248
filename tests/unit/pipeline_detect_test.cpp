// Language tables, one-candidate lists, the detection entry and its result
// lists.
#include <gtest/gtest.h>

#include <math.h>

#include <string>
#include <vector>

#include "pipeline/detect.h"
#include "pipeline_test_support.h"

using namespace pipeline_test;

namespace {

using List = std::vector<Candidate>;

TEST(LangTable, StructureAndOddRows) {
    int rows = 0;
    while (langNameList[rows].code) ++rows;
    EXPECT_EQ(rows, 55);
    // 40 precedes 39, and "zh" appears on two rows.
    EXPECT_EQ(langNameList[35].language, Lang_Mongolian);
    EXPECT_EQ(langNameList[36].language, Lang_Myanmar);
    EXPECT_STREQ(langNameList[6].code, "zh");
    EXPECT_STREQ(langNameList[7].code, "zh");
    for (int i = 0; i < rows; ++i) {
        const int32_t n = langNameList[i].language;
        EXPECT_TRUE(n != 0 && n != 1 && n != 34 && n != 35 && n < Lang_Count) << n;
    }
}

TEST(LangTable, CodeToNumber) {
    const std::pair<const char *, int32_t> cases[] = {
        {"ZH", 8}, {"zt", 10}, {"EN", 15}, {"Bms", 39}, {"mm", 40},  {"uk", 58},
        {"xx", 0}, {"eng", 0}, {"un", 0},  {"", 0},     {nullptr, 0}};
    for (auto [code, number] : cases) EXPECT_EQ(LangCode2Enum(code), number) << code;

    // The context lookup asks the table first, then the loaded profiles.
    NgramProfile catalan{}, english{};
    catalan.languageId = const_cast<char *>("ca");
    english.languageId = const_cast<char *>("en");
    NgramProfile *profiles[] = {&english, &catalan};
    ProfileIds englishIds{Lang_English, 7}, catalanIds{59, 7};
    ProfileIds *ids[] = {&englishIds, &catalanIds};
    LangContext ctx{};
    ctx.profileCount = 2;
    ctx.profiles = profiles;
    ctx.profileIds = ids;
    EXPECT_EQ(GetLangCodeEnum(&ctx, "CA"), 59);
    EXPECT_EQ(GetLangCodeEnum(&ctx, "FR"), 19);
    EXPECT_EQ(GetLangCodeEnum(&ctx, "eu"), 0);
    EXPECT_EQ(GetLangCodeEnum(nullptr, "de"), 21);
    EXPECT_EQ(LangCode2Enum("ca"), 0);
}

TEST(OneCandidateLists, FromNumbersAndStrings) {
    const struct {
        int32_t language, charset;
        List want;
    } numbers[] = {{0, 0, {{"un", "Unknown", 0.0f}}},
                   {29, 1, {{"ja", "sjis", 1.0f}}},
                   {15, 999, {{"en", "Unknown", 1.0f}}},
                   {9, 2, {{"zh", "gb", 1.0f}}},
                   {0, 14, {{"un", "iso-8859-1", 0.0f}}},
                   // Numbers without a code give a list that counts as empty.
                   {1, 7, {}},
                   {34, 7, {}},
                   {35, 7, {}},
                   {59, 7, {}}};
    for (const auto &c : numbers) {
        LangCandidate *list = nullptr;
        ASSERT_EQ(LangCode2List(c.language, c.charset, &list), 0);
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(Take(list), c.want) << c.language << " " << c.charset;
    }
    const struct {
        const char *language, *charset;
        Candidate want;
    } strings[] = {{nullptr, nullptr, {"un", "Unknown", 0.0f}},
                   {"fr", nullptr, {"fr", "Unknown", 1.0f}},
                   {"", "latin1", {"un", "latin1", 1.0f}},
                   {nullptr, "", {"un", "", 1.0f}},
                   {"pt-br", "any-charset", {"pt-br", "any-charset", 1.0f}}};
    for (const auto &c : strings) {
        LangCandidate *list = nullptr;
        ASSERT_EQ(GenLangList(c.language, c.charset, &list), 0);
        EXPECT_EQ(Take(list), List{c.want});
    }
}

TEST(OneCandidateLists, OutOfMemory) {
    for (long n : {0L, 2L}) {
        LangCandidate *list = nullptr;
        vos_fail_alloc_after(n);
        EXPECT_EQ(LangCode2List(15, 7, &list), LANG_ERR_NOMEM) << n;
        EXPECT_EQ(list, nullptr);
        vos_fail_alloc_after(n);
        EXPECT_EQ(GenLangList("fr", "1252", &list), LANG_ERR_NOMEM) << n;
        vos_fail_alloc_after(-1);
        EXPECT_EQ(list, nullptr);
    }
    EXPECT_EQ(LangCode2List(15, 7, nullptr), LANG_ERR_NULL);
}

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
        "<html><body><p>" + ReadFile(Data("sample_fr.txt")) + " caf&eacute;</p></body></html>"};
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
