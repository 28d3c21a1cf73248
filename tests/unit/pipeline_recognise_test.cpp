#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "charset/unicode_range.h"
#include "pipeline/charset_norm.h"
#include "pipeline/recognise.h"
#include "pipeline_test_support.h"

using namespace pipeline_test;

namespace {

using Names = std::vector<std::string>;

std::vector<Candidate> ngram(HandContext &ctx, int32_t language, int32_t charset,
                             std::string text) {
    LangCandidate *list = nullptr;
    EXPECT_EQ(
        RecByNgramText(ctx.get(), language, charset, reinterpret_cast<unsigned char *>(text.data()),
                       static_cast<int32_t>(text.size()), &list),
        0);
    return Take(list);
}

// Profiles that all rank the same text, so every score is equal and the
// order of a result shows the order of the language list.
class NgramSelection : public testing::Test {
  protected:
    void SetUp() override {
        const std::string text = ReadFile(Data("train_en.txt"));
        const struct {
            const char *id, *charset;
            ProfileIds ids;
        } rows[] = {{"en", "utf8", {15, 53}},       {"fr", "iso-8859-1", {19, 14}},
                    {"fr", "utf8", {19, 53}},       {"de", "1252", {21, 7}},
                    {"da", "850", {12, 28}},        {"cs", "1250", {11, 5}},
                    {"pl", "iso-8859-2", {44, 15}}, {"hu", "852", {26, 30}},
                    {"ja", "sjis", {29, 1}},        {"en", "iso-8859-1", {15, 14}}};
        std::vector<std::string> paths;
        std::vector<ProfileIds> ids;
        for (const auto &row : rows) {
            paths.push_back(dir_.str() + "/" + MakeProfile(dir_.str(), row.id, row.charset, text));
            ids.push_back(row.ids);
        }
        ctx_.Load(paths, ids);
    }
    Names compared(int32_t language, int32_t charset) {
        Names out;
        for (const Candidate &c : ngram(ctx_, language, charset, ReadFile(Data("sample_en.txt")))) {
            out.push_back(c.language + "-" + c.charset);
            EXPECT_EQ(c.score, ngram(ctx_, 15, 0, ReadFile(Data("sample_en.txt")))[0].score);
        }
        return out;
    }

    TempDir dir_;
    HandContext ctx_;
};

TEST_F(NgramSelection, LanguageThenCharsetChooseTheProfiles) {
    const Names central{"en-utf8", "cs-1250", "pl-iso-8859-2", "hu-852", "en-iso-8859-1"};
    const Names western{"en-utf8", "fr-iso-8859-1", "de-1252", "en-iso-8859-1"};
    const struct {
        int32_t language, charset;
        Names want;
    } cases[] = {{19, 0, {"en-utf8", "fr-iso-8859-1", "fr-utf8", "en-iso-8859-1"}},
                 {21, 1, {"en-utf8", "de-1252", "en-iso-8859-1"}},  // the language wins
                 {0, 28, {"en-utf8", "fr-iso-8859-1", "de-1252", "da-850", "en-iso-8859-1"}},
                 {0, 7, western},
                 {0, 14, western},
                 {0, 5, central},
                 {0, 15, central},
                 {0, 30, central},
                 {0, 1, {"en-utf8", "ja-sjis", "en-iso-8859-1"}},
                 {0, 53, {"en-utf8", "fr-utf8", "en-iso-8859-1"}},
                 {0,
                  0,
                  {"en-utf8", "fr-iso-8859-1", "de-1252", "da-850", "cs-1250", "pl-iso-8859-2",
                   "hu-852", "ja-sjis", "en-iso-8859-1"}}};
    for (const auto &c : cases) EXPECT_EQ(compared(c.language, c.charset), c.want) << c.charset;
}

TEST_F(NgramSelection, DebugLogNamesEveryComparison) {
    ctx_.Debug();
    const std::vector<Candidate> list = ngram(ctx_, 19, 0, ReadFile(Data("sample_en.txt")));
    const std::string log = ctx_.Log();
    EXPECT_NE(log.find("Detecting by ngram-frequency classification engine.\n Buffer length is "),
              std::string::npos);
    EXPECT_NE(log.find("Creating document profile\n"), std::string::npos);
    EXPECT_NE(log.find("Compute distance to <fr-iso-8859-1>\n"), std::string::npos);
    EXPECT_EQ(log.find("Compute distance to <de-1252>"), std::string::npos);
    char line[128];
    snprintf(line, sizeof line, "Score for fr-utf8 is %f\n", static_cast<double>(list[2].score));
    EXPECT_NE(log.find(line), std::string::npos) << log;
}

class Recognisers : public testing::Test {
  protected:
    void SetUp() override { ctx_.LoadFrom(dir_.str(), StandardProfiles(dir_.str())); }

    std::vector<Candidate> plain(int32_t charset, std::string text, int *rcOut = nullptr) {
        LangCandidate *list = nullptr;
        const int rc =
            RecPlainText(ctx_.get(), 0, charset, reinterpret_cast<unsigned char *>(text.data()),
                         static_cast<int32_t>(text.size()), &list);
        if (rcOut) *rcOut = rc;
        return Take(list);
    }
    std::vector<Candidate> markup(int32_t declared, int32_t guessed, const std::string &data,
                                  int *rcOut = nullptr, int32_t detectSize = 2048) {
        std::vector<unsigned char> bytes(data.begin(), data.end());
        LangCandidate *list = nullptr;
        const int rc = RecMarkup(ctx_.get(), 0, declared, guessed, bytes.data(),
                                 static_cast<int32_t>(bytes.size()), detectSize, 1, &list);
        if (rcOut) {
            *rcOut = rc;
        } else {
            EXPECT_EQ(rc, 0);
        }
        return Take(list);
    }
    void expect_first(const std::vector<Candidate> &list, const std::string &language,
                      const std::string &charset = "") {
        ASSERT_FALSE(list.empty());
        EXPECT_EQ(list[0].language, language);
        if (!charset.empty()) {
            EXPECT_EQ(list[0].charset, charset);
        }
    }

    TempDir dir_;
    HandContext ctx_;
};

// French prose as HTML whose accented letters are all numeric references:
// dozens of them within the first 2048 bytes of text.
std::string french_html_with_references() {
    std::string out = "<html><body><p>";
    for (unsigned char c : Latin1(ReadFile(Data("train_fr.txt")))) {
        out += c < 0x80 ? std::string(1, static_cast<char>(c)) : "&#" + std::to_string(c) + ";";
    }
    return out + "</p></body></html>";
}

TEST_F(Recognisers, NgramMinimumLengthAndScore) {
    char language[] = "zz", charset[] = "none";
    ctx_->unknownLanguage = language;
    ctx_->unknownCharset = charset;
    ctx_->minSize = 10;
    EXPECT_EQ(ngram(ctx_, 0, 0, "abcdefghij"), (std::vector<Candidate>{{"zz", "none", 0.0f}}));
    EXPECT_EQ(ngram(ctx_, 0, 0, "abcdefghijk").size(), 3u);
    const std::string sample = Latin1(ReadFile(Data("sample_fr.txt")));
    std::vector<Candidate> all = ngram(ctx_, 0, 14, sample);
    ASSERT_EQ(all.size(), 3u);
    expect_first(all, "fr", "iso-8859-1");
    EXPECT_GE(all[0].score, all[1].score);
    EXPECT_GE(all[1].score, all[2].score);
    // Between the best and the second score only the best is kept.
    ctx_->minScore = (all[0].score + all[1].score) / 2;
    EXPECT_EQ(Languages(ngram(ctx_, 0, 14, sample)), Names{"fr"});
    ctx_->minScore = 0.99f;
    EXPECT_EQ(ngram(ctx_, 0, 14, sample), (std::vector<Candidate>{{"zz", "none", 0.0f}}));
    // Without configured values the fixed pair stands in.
    ctx_->unknownLanguage = nullptr;
    ctx_->unknownCharset = nullptr;
    EXPECT_EQ(ngram(ctx_, 0, 0, "abc"), (std::vector<Candidate>{{"un", "Unknown", 0.0f}}));
}

TEST_F(Recognisers, NgramArguments) {
    HandContext empty;
    EXPECT_EQ(Languages(ngram(empty, 0, 0, "some words here")), Names{"un"});
    LangCandidate *out = nullptr;
    unsigned char text[] = "words";
    EXPECT_EQ(RecByNgramText(nullptr, 0, 0, text, 5, &out), LANG_ERR_NULL);
    EXPECT_EQ(RecByNgramText(ctx_.get(), 0, 0, nullptr, 5, &out), LANG_ERR_NULL);
    EXPECT_EQ(RecByNgramText(ctx_.get(), 0, 0, text, 5, nullptr), LANG_ERR_NULL);
    // Memory failures: LangDetect.BufferFlowUnderMemoryPressure fails every
    // allocation of the same classification in turn.
}

TEST_F(Recognisers, PlainTextByCharset) {
    const std::string utf8 = ReadFile(Data("sample_fr.txt"));
    expect_first(plain(53, utf8), "fr", "utf8");
    expect_first(plain(14, Latin1(utf8)), "fr", "iso-8859-1");
    // UTF-16 goes straight to the code ranges, then to the UTF-8 profiles.
    expect_first(plain(100, Utf16(Latin1(ReadFile(Data("sample_de.txt"))))), "de", "utf8");
    int rc = 0;
    plain(53, "caf\xC3(", &rc);
    EXPECT_TRUE(rc == 0 || rc == LANG_ERR_CONVERT) << rc;
    // No text at all (what cleaning leaves of noise) converts to nothing:
    // no script, the unknown language.
    for (int32_t charset : {53, 50}) {
        EXPECT_EQ(plain(charset, "", &rc), (std::vector<Candidate>{{"un", "Unknown", 0.0f}}));
        EXPECT_EQ(rc, 0) << charset;
    }
}

// UTF-8 that would come back from UTF-16 unchanged skips the conversions;
// the answer is that of converting it and calling RecUniLangCode.
TEST_F(Recognisers, Utf8AsIfConverted) {
    const std::string fr = ReadFile(Data("sample_fr.txt"));
    const std::string de = ReadFile(Data("sample_de.txt"));
    const std::vector<std::string> texts = {fr,
                                            de,
                                            fr.substr(0, fr.size() / 2) + "\xF0\x9F\x98\x80",
                                            fr + "\xC3",
                                            fr + "\xC0\xAF",
                                            "\xCE\xB1\xCE\xB2\xCE\xB3 abc",
                                            "\xD8\xB9\xD8\xB1 \xD8\xA8",
                                            "\xE0\xA4\x95\xE0\xA4\xBE",
                                            "\xD0\xA0\xD1\x83\xD1\x81",
                                            "\xE4\xB8\xAD\xE6\x96\x87",
                                            "12 34",
                                            "\xC3",
                                            "ab",
                                            "\xE1\xB8\x80\xC3\xA9 ok",
                                            ""};
    for (const std::string &text : texts) {
        std::string copy = text;
        int rc = 0;
        const std::vector<Candidate> fast = plain(53, copy, &rc);
        unsigned char *units = nullptr;
        int32_t unitsLength = 0;
        int want = LangConvert(ctx_.get(), 53, reinterpret_cast<const unsigned char *>(text.data()),
                               static_cast<int32_t>(text.size()), 51, &units, &unitsLength, 0);
        LangCandidate *list = nullptr;
        // The empty text converts to no buffer: no units to read.
        const unsigned char none = 0;
        if (want == LANG_OK)
            want = RecUniLangCode(ctx_.get(), 53, units ? units : &none, unitsLength, 0, &list);
        vos_free(units);
        EXPECT_EQ(rc, want) << testing::PrintToString(text);
        EXPECT_EQ(fast, Take(list)) << testing::PrintToString(text);
    }
}

TEST_F(Recognisers, MarkupPasses) {
    const std::string fr = Latin1(ReadFile(Data("sample_fr.txt")));
    // No text at all.
    EXPECT_EQ(markup(14, 0, "<html><body><p>   </p><!-- x --></body></html>"),
              (std::vector<Candidate>{{"un", "Unknown", 0.0f}}));
    // No references: the guess, else the declaration.
    expect_first(markup(14, 0, "<p>" + fr + "</p>"), "fr", "iso-8859-1");
    expect_first(markup(14, 53, "<p>" + ReadFile(Data("sample_fr.txt")) + "</p>"), "fr", "utf8");
    // A declared charset that cannot be converted is tolerated and the text
    // goes on as UTF-8. Many references read as ASCII, converted from a
    // declared charset, and a single reference are covered end to end
    // (markup_references_ascii_one_pass, markup_declared_charset_*).
    expect_first(markup(1, 0, french_html_with_references()), "fr");
}

TEST_F(Recognisers, ManyReferencesWithoutCharsetTakeTwoPasses) {
    ctx_.Debug();
    std::vector<Candidate> list = markup(0, 0, french_html_with_references());
    // The raw pass finds the ISO-8859-1 profile; the second pass reads the
    // text as UTF-8 and names the charset the first pass found.
    expect_first(list, "fr");
    for (const Candidate &c : list) EXPECT_EQ(c.charset, "iso-8859-1");
    const std::string log = ctx_.Log();
    const size_t first = log.find("Replacing entity reference in the document");
    EXPECT_NE(first, std::string::npos);
    EXPECT_EQ(log.find("Replacing entity reference in the document", first + 1), std::string::npos);
    // When the first pass finds nothing, "Unknown" names no charset.
    ctx_->minScore = 0.99f;
    int rc = 0;
    EXPECT_TRUE(markup(0, 0, french_html_with_references(), &rc).empty());
    EXPECT_EQ(rc, LANG_ERR_CONVERT);
}

TEST_F(Recognisers, MarkupDensityBoundary) {
    // One reference and a detection size of 105: density exactly 0.01, so
    // the reference is decoded; with 106 it is just below and a separator.
    for (auto [size, expected] : {std::pair{105, std::string("zz t\xC3\xA9t zz")},
                                  std::pair{106, std::string("zz t\0t zz", 9)}}) {
        HandContext ctx;
        ctx.Debug();
        std::string html = "<p>zz t&eacute;t zz</p>";
        LangCandidate *list = nullptr;
        ASSERT_EQ(RecMarkup(ctx.get(), 0, 0, 7, reinterpret_cast<unsigned char *>(html.data()),
                            static_cast<int32_t>(html.size()), size, 1, &list),
                  0);
        Take(list);
        EXPECT_NE(ctx.Log().find(expected), std::string::npos) << size;
    }
}

}  // namespace
