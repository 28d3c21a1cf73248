#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <string>
#include <utility>
#include <vector>

#include <algorithm>

#include "conv/zi18n_conv.h"
#include "pipeline/charset_norm.h"
#include "platform/vos.h"

namespace {

struct Entry {
    std::string language;
    std::string charset;
    float score;
    bool operator==(const Entry &) const = default;
};

std::ostream &operator<<(std::ostream &out, const Entry &e) {
    return out << e.language << "/" << e.charset << "/" << e.score;
}

// A candidate array as the pipeline makes it: strings from vos_malloc, one
// zero entry after the last candidate.
LangCandidate *make_list(const std::vector<Entry> &entries) {
    auto *list =
        static_cast<LangCandidate *>(vos_calloc(entries.size() + 1, sizeof(LangCandidate)));
    for (size_t i = 0; i < entries.size(); ++i) {
        list[i].language = static_cast<char *>(vos_malloc(entries[i].language.size() + 1));
        strcpy(list[i].language, entries[i].language.c_str());
        list[i].charsetName = static_cast<char *>(vos_malloc(entries[i].charset.size() + 1));
        strcpy(list[i].charsetName, entries[i].charset.c_str());
        list[i].score = entries[i].score;
    }
    return list;
}

std::vector<Entry> entries_of(const LangCandidate *list) {
    std::vector<Entry> out;
    for (; list->language; ++list) {
        out.push_back(
            {list->language, list->charsetName ? list->charsetName : "(null)", list->score});
    }
    return out;
}

void free_list(LangCandidate *list) {
    for (LangCandidate *c = list; c->language; ++c) {
        vos_free(c->language);
        vos_free(c->charsetName);
    }
    vos_free(list);
}

std::vector<Entry> reset(int32_t charset, const std::vector<Entry> &entries, int times = 1) {
    LangCandidate *list = make_list(entries);
    for (int i = 0; i < times; ++i) ResetCharsetName(charset, list);
    std::vector<Entry> out = entries_of(list);
    free_list(list);
    return out;
}

TEST(ResetCharsetName, MergesNeighboursOfOneLanguage) {
    std::vector<Entry> in = {
        {"en", "1252", 0.9f}, {"en", "iso-8859-1", 0.8f}, {"fr", "1252", 0.5f}};
    std::vector<Entry> want = {{"en", "iso-8859-1", 0.9f}, {"fr", "iso-8859-1", 0.5f}};
    EXPECT_EQ(reset(14, in), want);
    // Resetting again changes nothing.
    EXPECT_EQ(reset(14, in, 2), want);
}

TEST(ResetCharsetName, RunsKeepTheirFirstEntry) {
    std::vector<Entry> in = {{"de", "1252", 0.9f},
                             {"de", "850", 0.7f},
                             {"de", "437", 0.6f},
                             {"nl", "1252", 0.5f},
                             {"nl", "850", 0.4f}};
    std::vector<Entry> want = {{"de", "utf8", 0.9f}, {"nl", "utf8", 0.5f}};
    EXPECT_EQ(reset(53, in), want);
}

TEST(ResetCharsetName, SameLanguageApartIsKept) {
    std::vector<Entry> in = {{"en", "1252", 0.9f}, {"fr", "1252", 0.8f}, {"en", "850", 0.7f}};
    std::vector<Entry> want = {{"en", "1252", 0.9f}, {"fr", "1252", 0.8f}, {"en", "1252", 0.7f}};
    EXPECT_EQ(reset(7, in), want);
}

TEST(ResetCharsetName, CharsetZeroAndUnnamedNumbersAreUnknown) {
    std::vector<Entry> in = {{"en", "1252", 0.9f}, {"fr", "1252", 0.5f}};
    std::vector<Entry> want = {{"en", "Unknown", 0.9f}, {"fr", "Unknown", 0.5f}};
    EXPECT_EQ(reset(0, in), want);
    EXPECT_EQ(reset(94, in), want);
}

TEST(ResetCharsetName, UnknownFirstOnlyRenamesItself) {
    std::vector<Entry> in = {{"un", "Unknown", 0.0f}, {"en", "1252", 0.5f}, {"en", "850", 0.4f}};
    std::vector<Entry> want = {{"un", "sjis", 0.0f}, {"en", "1252", 0.5f}, {"en", "850", 0.4f}};
    EXPECT_EQ(reset(1, in), want);
    // The test is on the literal "un" only.
    std::vector<Entry> other = {{"xx", "Unknown", 0.0f}, {"xx", "1252", 0.0f}};
    EXPECT_EQ(reset(1, other), (std::vector<Entry>{{"xx", "sjis", 0.0f}}));
}

TEST(ResetCharsetName, EmptyAndNullLists) {
    ResetCharsetName(14, nullptr);
    EXPECT_TRUE(reset(14, {}).empty());
}

TEST(ResetCharsetName, FailedCopyLeavesNoName) {
    LangCandidate *list = make_list({{"en", "1252", 0.9f}, {"fr", "1252", 0.5f}});
    vos_fail_alloc_after(1);
    ResetCharsetName(14, list);
    vos_fail_alloc_after(-1);
    std::vector<Entry> want = {{"en", "iso-8859-1", 0.9f}, {"fr", "(null)", 0.5f}};
    EXPECT_EQ(entries_of(list), want);
    free_list(list);
}

TEST(LangConvert, ArgumentsAndEmptyText) {
    LangContext ctx{};
    unsigned char *out = reinterpret_cast<unsigned char *>(1);
    int32_t outLength = 7;
    const unsigned char text[] = "abc";
    EXPECT_EQ(LangConvert(nullptr, 53, text, 3, 51, &out, &outLength, 0), -19998);
    EXPECT_EQ(LangConvert(&ctx, 53, nullptr, 3, 51, &out, &outLength, 0), -19998);
    EXPECT_EQ(LangConvert(&ctx, 53, text, -1, 51, &out, &outLength, 0), -19998);
    EXPECT_EQ(LangConvert(&ctx, 53, text, 0, 51, &out, &outLength, 0), 0);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(outLength, 0);
}

// A context whose conversion record has a services object, so that the
// built-in conversions run; the library operations stay empty.
struct ConvContext {
    DXServices services{};
    Zi18nHandle handle{nullptr, &services, nullptr};
    LangContext ctx{};
    ConvContext() { ctx.convService = &handle; }
};

struct Output {
    unsigned char *text = nullptr;
    int32_t length = -1;
    ~Output() { vos_free(text); }
    std::string str() const {
        return text ? std::string(reinterpret_cast<char *>(text), static_cast<size_t>(length)) : "";
    }
};

TEST(LangConvert, Utf8ToUnicodeAndBack) {
    ConvContext c;
    const unsigned char text[] = "A\xC3\xA9";
    Output wide;
    ASSERT_EQ(LangConvert(&c.ctx, 53, text, 3, 51, &wide.text, &wide.length, 0), 0);
    EXPECT_EQ(wide.str(), std::string("A\0\xE9\0", 4));
    EXPECT_EQ(wide.text[wide.length], 0);

    Output narrow;
    ASSERT_EQ(LangConvert(&c.ctx, 51, wide.text, wide.length, 53, &narrow.text, &narrow.length, 0),
              0);
    EXPECT_EQ(narrow.str(), "A\xC3\xA9");
    EXPECT_EQ(narrow.text[narrow.length], 0);

    Output big;
    ASSERT_EQ(LangConvert(&c.ctx, 53, text, 3, 51, &big.text, &big.length, 1), 0);
    EXPECT_EQ(big.str(), std::string("\0A\0\xE9", 4));
}

TEST(LangConvert, TextCutInsideACharacterSucceeds) {
    ConvContext c;
    const unsigned char text[] = "caf\xC3\xA9 \xE4\xB8";
    Output out;
    ASSERT_EQ(LangConvert(&c.ctx, 53, text, 8, 51, &out.text, &out.length, 0), 0);
    EXPECT_EQ(out.str(), std::string("c\0a\0f\0\xE9\0 \0", 10));
}

TEST(LangConvert, FailuresBecomeConversionFailed) {
    ConvContext c;
    const unsigned char text[] = "abc";
    // Unknown charset: no expansion factor, nothing allocated.
    Output none;
    EXPECT_EQ(LangConvert(&c.ctx, 999, text, 3, 53, &none.text, &none.length, 0), -19981);
    EXPECT_EQ(none.text, nullptr);
    // The library has no operations: the buffer is still handed back.
    Output failed;
    EXPECT_EQ(LangConvert(&c.ctx, 7, text, 3, 6, &failed.text, &failed.length, 0), -19981);
    EXPECT_NE(failed.text, nullptr);
    // Without a conversion record at all.
    LangContext bare{};
    Output noService;
    EXPECT_EQ(LangConvert(&bare, 53, text, 3, 51, &noService.text, &noService.length, 0), -19981);
}

TEST(LangConvert, OutOfMemory) {
    ConvContext c;
    const unsigned char text[] = "abc";
    Output out;
    vos_fail_alloc_after(0);
    EXPECT_EQ(LangConvert(&c.ctx, 53, text, 3, 51, &out.text, &out.length, 0), -19997);
    vos_fail_alloc_after(-1);
    EXPECT_EQ(out.text, nullptr);
}

TEST(LangConvert, DebugLogNamesBothCharsetsAndTheText) {
    ConvContext c;
    c.ctx.debug = 1;
    c.ctx.logFile = tmpfile();
    ASSERT_NE(c.ctx.logFile, nullptr);
    const unsigned char text[] = "h\0i\0";
    Output out;
    ASSERT_EQ(LangConvert(&c.ctx, 51, text, 4, 53, &out.text, &out.length, 0), 0);
    rewind(c.ctx.logFile);
    std::string log;
    for (int ch; (ch = fgetc(c.ctx.logFile)) != EOF;) log += static_cast<char>(ch);
    fclose(c.ctx.logFile);
    EXPECT_EQ(log, "Converting the document from unicode to utf8\nhi\n");
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
    Answer a = gScript.at(gSizes.size() - 1);
    memset(output, 'x', static_cast<size_t>(std::clamp(a.produced, 0, outputSize)));
    *consumed = inputLength;
    *outputLength = a.produced;
    return a.code;
}

int run_script(std::vector<Answer> script, Output *out, int32_t length = 4) {
    gScript = std::move(script);
    gSizes.clear();
    LangContext ctx{};
    const unsigned char text[] = "abcdefgh";
    // 51 to 53: three output bytes per input byte.
    return LangConvertUsing(scripted_step, &ctx, 51, text, length, 53, &out->text, &out->length, 0);
}

TEST(LangConvert, ShortOutputGrowsOnceByTheShortfall) {
    Output out;
    ASSERT_EQ(run_script({{-19893, -5}, {0, 17}}, &out), 0);
    EXPECT_EQ(gSizes, (std::vector<int32_t>{12, 17}));
    EXPECT_EQ(out.length, 17);
    EXPECT_EQ(out.str(), std::string(17, 'x'));
    EXPECT_EQ(out.text[17], 0);
}

TEST(LangConvert, SecondShortOutputFails) {
    Output out;
    EXPECT_EQ(run_script({{-19893, -5}, {-19893, -1}, {0, 1}}, &out), -19981);
    EXPECT_EQ(gSizes.size(), 2u);
    ASSERT_NE(out.text, nullptr);
    EXPECT_EQ(out.length, 0);
}

TEST(LangConvert, PartialAfterGrowingSucceeds) {
    Output out;
    ASSERT_EQ(run_script({{-19893, -2}, {-19892, 13}}, &out), 0);
    EXPECT_EQ(out.length, 13);
}

TEST(LangConvert, ServiceCodesMapToTheEngine) {
    for (int code : {-19888, -19889, -19894, -19896, -19899, 1}) {
        Output out;
        EXPECT_EQ(run_script({{code, 3}}, &out), -19981) << code;
        EXPECT_NE(out.text, nullptr);
    }
    Output partial;
    ASSERT_EQ(run_script({{-19892, 5}}, &partial), 0);
    EXPECT_EQ(partial.str(), "xxxxx");
}

TEST(LangConvert, RegrowWithoutMemory) {
    Output out;
    gScript = {{-19893, -5}};
    gSizes.clear();
    LangContext ctx{};
    const unsigned char text[] = "abcd";
    vos_fail_alloc_after(1);
    int result = LangConvertUsing(scripted_step, &ctx, 51, text, 4, 53, &out.text, &out.length, 0);
    vos_fail_alloc_after(-1);
    EXPECT_EQ(result, -19997);
    // The first buffer is still the caller's to release.
    EXPECT_NE(out.text, nullptr);
}

}  // namespace
