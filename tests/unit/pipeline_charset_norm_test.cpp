#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "pipeline/charset_norm.h"
#include "pipeline_test_support.h"

using namespace pipeline_test;

namespace {

using List = std::vector<Candidate>;

List reset(int32_t charset, const List &entries, int times = 1) {
    LangCandidate *list = MakeList(entries);
    for (int i = 0; i < times; ++i) ResetCharsetName(charset, list);
    return Take(list);
}

TEST(ResetCharsetName, MergesNeighboursAndRenames) {
    const struct {
        int32_t charset;
        List in, want;
    } cases[] = {
        {14,
         {{"en", "1252", 0.9f}, {"en", "iso-8859-1", 0.8f}, {"fr", "1252", 0.5f}},
         {{"en", "iso-8859-1", 0.9f}, {"fr", "iso-8859-1", 0.5f}}},
        // A run keeps its first entry only.
        {53,
         {{"de", "1252", 0.9f}, {"de", "850", 0.7f}, {"de", "437", 0.6f}, {"nl", "850", 0.4f}},
         {{"de", "utf8", 0.9f}, {"nl", "utf8", 0.4f}}},
        // The same language apart is kept.
        {7,
         {{"en", "1252", 0.9f}, {"fr", "1252", 0.8f}, {"en", "850", 0.7f}},
         {{"en", "1252", 0.9f}, {"fr", "1252", 0.8f}, {"en", "1252", 0.7f}}},
        {0,
         {{"en", "1252", 0.9f}, {"fr", "1", 0.5f}},
         {{"en", "Unknown", 0.9f}, {"fr", "Unknown", 0.5f}}},
        {94, {{"en", "1252", 0.9f}}, {{"en", "Unknown", 0.9f}}},
        // A first candidate "un" only has its own charset replaced...
        {1,
         {{"un", "Unknown", 0.0f}, {"en", "1252", 0.5f}, {"en", "850", 0.4f}},
         {{"un", "sjis", 0.0f}, {"en", "1252", 0.5f}, {"en", "850", 0.4f}}},
        // ...which is a test on the literal "un" only.
        {1, {{"xx", "Unknown", 0.0f}, {"xx", "1252", 0.0f}}, {{"xx", "sjis", 0.0f}}},
        {14, {}, {}}};
    for (const auto &c : cases) {
        EXPECT_EQ(reset(c.charset, c.in), c.want) << c.charset;
        EXPECT_EQ(reset(c.charset, c.in, 2), c.want) << "twice, " << c.charset;
    }
    ResetCharsetName(14, nullptr);
}

TEST(ResetCharsetName, FailedCopyLeavesNoName) {
    LangCandidate *list = MakeList({{"en", "1252", 0.9f}, {"fr", "1252", 0.5f}});
    vos_fail_alloc_after(1);
    ResetCharsetName(14, list);
    vos_fail_alloc_after(-1);
    EXPECT_EQ(Take(list), (List{{"en", "iso-8859-1", 0.9f}, {"fr", "(null)", 0.5f}}));
}

struct Output {
    unsigned char *text = nullptr;
    int32_t length = -1;
    ~Output() { vos_free(text); }
    std::string str() const {
        return text ? std::string(reinterpret_cast<char *>(text), static_cast<size_t>(length)) : "";
    }
};

// A context whose services object is empty: the built-in conversions run,
// anything that needs the library fails.
struct ConvContext {
    DXServices services{};
    Zi18nHandle handle{nullptr, &services, nullptr};
    LangContext ctx{};
    ConvContext() { ctx.convService = &handle; }
    int run(int32_t from, std::string text, int32_t to, Output &out, int bigEndian = 0) {
        return LangConvert(&ctx, from, reinterpret_cast<const unsigned char *>(text.data()),
                           static_cast<int32_t>(text.size()), to, &out.text, &out.length,
                           bigEndian);
    }
};

TEST(LangConvert, BuiltInConversionsAndCutCharacters) {
    ConvContext c;
    Output little, big, cut;
    ASSERT_EQ(c.run(53, "A\xC3\xA9", 51, little), 0);
    EXPECT_EQ(little.str(), std::string("A\0\xE9\0", 4));
    EXPECT_EQ(little.text[little.length], 0);
    ASSERT_EQ(c.run(53, "A\xC3\xA9", 51, big, 1), 0);
    EXPECT_EQ(big.str(), std::string("\0A\0\xE9", 4));
    // A text cut inside a character converts without it.
    ASSERT_EQ(c.run(53, "caf\xC3\xA9 \xE4\xB8", 51, cut), 0);
    EXPECT_EQ(cut.str(), std::string("c\0a\0f\0\xE9\0 \0", 10));
}

TEST(LangConvert, ArgumentsEmptyTextAndFailures) {
    ConvContext c;
    Output out;
    const unsigned char text[] = "abc";
    EXPECT_EQ(LangConvert(nullptr, 53, text, 3, 51, &out.text, &out.length, 0), LANG_ERR_NULL);
    EXPECT_EQ(LangConvert(&c.ctx, 53, nullptr, 3, 51, &out.text, &out.length, 0), LANG_ERR_NULL);
    ASSERT_EQ(c.run(53, "", 51, out), 0);
    EXPECT_EQ(out.text, nullptr);
    EXPECT_EQ(out.length, 0);
    // Unknown charset: no expansion factor, nothing allocated.
    EXPECT_EQ(c.run(999, "abc", 53, out), LANG_ERR_CONVERT);
    EXPECT_EQ(out.text, nullptr);
    // The library cannot convert: the buffer is still handed back.
    Output failed;
    EXPECT_EQ(c.run(7, "abc", 6, failed), LANG_ERR_CONVERT);
    EXPECT_NE(failed.text, nullptr);
    LangContext bare{};
    Output none;
    EXPECT_EQ(LangConvert(&bare, 53, text, 3, 51, &none.text, &none.length, 0), LANG_ERR_CONVERT);
    Output oom;
    vos_fail_alloc_after(0);
    EXPECT_EQ(c.run(53, "abc", 51, oom), LANG_ERR_NOMEM);
    vos_fail_alloc_after(-1);
    EXPECT_EQ(oom.text, nullptr);
}

TEST(LangConvert, DebugLogNamesBothCharsetsAndTheText) {
    HandContext ctx;
    ctx.Debug();
    Output out;
    const unsigned char text[] = "h\0i\0";
    ASSERT_EQ(LangConvert(ctx.get(), 51, text, 4, 53, &out.text, &out.length, 0), 0);
    EXPECT_EQ(ctx.Log(), "Converting the document from unicode to utf8\nhi\n");
}

// A scripted conversion step: each call takes the next answer; a negative
// produced length is the shortfall the service reports.
struct Answer {
    int code;
    int32_t produced;
};
std::vector<Answer> gScript;
std::vector<int32_t> gSizes;

int scripted_step(Zi18nHandle *, int32_t, const void *, int32_t inputLength, int32_t *consumed,
                  int32_t, void *output, int32_t outputSize, int32_t *outputLength, int) {
    gSizes.push_back(outputSize);
    const Answer a = gScript.at(gSizes.size() - 1);
    memset(output, 'x', static_cast<size_t>(std::clamp(a.produced, 0, outputSize)));
    *consumed = inputLength;
    *outputLength = a.produced;
    return a.code;
}

int run_script(std::vector<Answer> script, Output *out) {
    gScript = std::move(script);
    gSizes.clear();
    LangContext ctx{};
    const unsigned char text[] = "abcd";
    // 51 to 53: three output bytes per input byte, 12 for 4 bytes.
    return LangConvertUsing(scripted_step, &ctx, 51, text, 4, 53, &out->text, &out->length, 0);
}

TEST(LangConvert, ServiceAnswers) {
    const struct {
        std::vector<Answer> script;
        int rc;
        std::vector<int32_t> sizes;
        int32_t length;
    } cases[] = {{{{-19893, -5}, {0, 17}}, 0, {12, 17}, 17},  // grows once by the shortfall
                 {{{-19893, -5}, {-19893, -1}, {0, 1}}, LANG_ERR_CONVERT, {12, 17}, 0},
                 {{{-19893, -2}, {-19892, 13}}, 0, {12, 14}, 13},  // partial character is success
                 {{{-19892, 5}}, 0, {12}, 5},
                 {{{-19888, 3}}, LANG_ERR_CONVERT, {12}, -1},
                 {{{-19899, 3}}, LANG_ERR_CONVERT, {12}, -1},
                 {{{1, 3}}, LANG_ERR_CONVERT, {12}, -1}};
    for (const auto &c : cases) {
        Output out;
        EXPECT_EQ(run_script(c.script, &out), c.rc);
        EXPECT_EQ(gSizes, c.sizes);
        ASSERT_NE(out.text, nullptr);
        if (c.length >= 0) {
            EXPECT_EQ(out.length, c.length);
        }
        if (c.rc == 0) {
            EXPECT_EQ(out.str(), std::string(static_cast<size_t>(c.length), 'x'));
            EXPECT_EQ(out.text[out.length], 0);
        }
    }
    // No memory to grow: the first buffer is still the caller's to release.
    Output out;
    vos_fail_alloc_after(1);
    EXPECT_EQ(run_script({{-19893, -5}}, &out), LANG_ERR_NOMEM);
    vos_fail_alloc_after(-1);
    EXPECT_NE(out.text, nullptr);
}

}  // namespace
