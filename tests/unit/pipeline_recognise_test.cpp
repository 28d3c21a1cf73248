#include <gtest/gtest.h>

#include <stdlib.h>

#include <string>
#include <vector>

#include "doctype/dx_abi.h"
#include "engine/lang_api.h"
#include "pipeline/recognise.h"
#include "pipeline_test_support.h"

using namespace pipeline_test;

namespace {

std::vector<Candidate> ngram(HandContext &ctx, int32_t language, int32_t charset, std::string text,
                             int *rcOut = nullptr) {
    LangCandidate *list = nullptr;
    const int rc =
        RecByNgramText(ctx.get(), language, charset, reinterpret_cast<unsigned char *>(text.data()),
                       static_cast<int32_t>(text.size()), &list);
    if (rcOut) *rcOut = rc;
    EXPECT_TRUE(rc == 0 || list == nullptr);
    return Take(list);
}

std::vector<std::string> names(const std::vector<Candidate> &list) {
    std::vector<std::string> out;
    for (const Candidate &c : list) out.push_back(c.language + "-" + c.charset);
    return out;
}

// Profiles that all rank the same text, so every score is equal and the
// order of a result shows the order of the language list.
class NgramSelection : public testing::Test {
  protected:
    void SetUp() override {
        const std::string text = ReadFile(Data("train_en.txt"));
        struct Row {
            const char *id;
            const char *charset;
            ProfileIds ids;
        };
        const Row rows[] = {
            {"en", "utf8", {15, 53}},       {"fr", "iso-8859-1", {19, 14}},
            {"fr", "utf8", {19, 53}},       {"de", "1252", {21, 7}},
            {"da", "850", {12, 28}},        {"cs", "1250", {11, 5}},
            {"pl", "iso-8859-2", {44, 15}}, {"hu", "852", {26, 30}},
            {"ja", "sjis", {29, 1}},        {"en", "iso-8859-1", {15, 14}},
        };
        std::vector<std::string> paths;
        std::vector<ProfileIds> ids;
        for (const Row &row : rows) {
            paths.push_back(dir_.str() + "/" + MakeProfile(dir_.str(), row.id, row.charset, text));
            ids.push_back(row.ids);
        }
        ctx_.Load(paths, ids);
    }
    std::vector<std::string> compared(int32_t language, int32_t charset) {
        return names(ngram(ctx_, language, charset, ReadFile(Data("sample_en.txt"))));
    }

    TempDir dir_;
    HandContext ctx_;
};

}  // namespace

TEST_F(NgramSelection, LanguageGivenComparesItAndEnglish) {
    EXPECT_EQ(compared(19, 0),
              (std::vector<std::string>{"en-utf8", "fr-iso-8859-1", "fr-utf8", "en-iso-8859-1"}));
    // The language wins over the charset.
    EXPECT_EQ(compared(21, 1), (std::vector<std::string>{"en-utf8", "de-1252", "en-iso-8859-1"}));
}

TEST_F(NgramSelection, CharsetFamilies) {
    EXPECT_EQ(compared(0, 28), (std::vector<std::string>{"en-utf8", "fr-iso-8859-1", "de-1252",
                                                         "da-850", "en-iso-8859-1"}));
    EXPECT_EQ(compared(0, 7),
              (std::vector<std::string>{"en-utf8", "fr-iso-8859-1", "de-1252", "en-iso-8859-1"}));
    EXPECT_EQ(compared(0, 14), compared(0, 7));
    const std::vector<std::string> central{"en-utf8", "cs-1250", "pl-iso-8859-2", "hu-852",
                                           "en-iso-8859-1"};
    EXPECT_EQ(compared(0, 5), central);
    EXPECT_EQ(compared(0, 15), central);
    EXPECT_EQ(compared(0, 30), central);
    EXPECT_EQ(compared(0, 1), (std::vector<std::string>{"en-utf8", "ja-sjis", "en-iso-8859-1"}));
    EXPECT_EQ(compared(0, 53), (std::vector<std::string>{"en-utf8", "fr-utf8", "en-iso-8859-1"}));
}

TEST_F(NgramSelection, NoCharsetLeavesOutUtf8ButNotEnglish) {
    EXPECT_EQ(compared(0, 0),
              (std::vector<std::string>{"en-utf8", "fr-iso-8859-1", "de-1252", "da-850", "cs-1250",
                                        "pl-iso-8859-2", "hu-852", "ja-sjis", "en-iso-8859-1"}));
}

TEST_F(NgramSelection, EqualScoresKeepTheLanguageListOrder) {
    const std::vector<Candidate> list = ngram(ctx_, 0, 0, ReadFile(Data("sample_en.txt")));
    ASSERT_EQ(list.size(), 9u);
    for (const Candidate &c : list) EXPECT_EQ(c.score, list[0].score);
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

TEST(RecByNgramText, MinimumLengthGivesTheConfiguredUnknown) {
    TempDir dir;
    HandContext ctx;
    ctx.Load({dir.str() + "/" +
              MakeProfile(dir.str(), "en", "iso-8859-1", ReadFile(Data("train_en.txt")))});
    char language[] = "zz";
    char charset[] = "none";
    ctx->unknownLanguage = language;
    ctx->unknownCharset = charset;
    ctx->minSize = 10;
    std::vector<Candidate> list = ngram(ctx, 0, 0, "abcdefghij");
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].language, "zz");
    EXPECT_EQ(list[0].charset, "none");
    EXPECT_EQ(list[0].score, 0.0f);
    list = ngram(ctx, 0, 0, "abcdefghijk");
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].language, "en");
    // Without configured values the fixed pair stands in.
    ctx->unknownLanguage = nullptr;
    ctx->unknownCharset = nullptr;
    list = ngram(ctx, 0, 0, "abc");
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].language, "un");
    EXPECT_EQ(list[0].charset, "Unknown");
}

TEST(RecByNgramText, MinimumScore) {
    TempDir dir;
    HandContext ctx;
    std::vector<std::string> paths;
    for (const std::string &name : StandardProfiles(dir.str()))
        paths.push_back(dir.str() + "/" + name);
    ctx.Load(paths);
    const std::string sample = Latin1(ReadFile(Data("sample_fr.txt")));
    std::vector<Candidate> all = ngram(ctx, 0, 14, sample);
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].language, "fr");
    EXPECT_GE(all[0].score, all[1].score);
    EXPECT_GE(all[1].score, all[2].score);

    // Between the best and the second score only the best is kept.
    ctx->minScore = (all[0].score + all[1].score) / 2;
    std::vector<Candidate> best = ngram(ctx, 0, 14, sample);
    ASSERT_EQ(best.size(), 1u);
    EXPECT_EQ(best[0].language, "fr");
    EXPECT_EQ(best[0].charset, "iso-8859-1");

    ctx->minScore = 0.99f;
    char language[] = "xx";
    char charset[] = "yy";
    ctx->unknownLanguage = language;
    ctx->unknownCharset = charset;
    std::vector<Candidate> none = ngram(ctx, 0, 14, sample);
    ASSERT_EQ(none.size(), 1u);
    EXPECT_EQ(none[0].language, "xx");
    EXPECT_EQ(none[0].charset, "yy");
    EXPECT_EQ(none[0].score, 0.0f);
}

TEST(RecByNgramText, NoProfilesAndBadArguments) {
    HandContext ctx;
    std::vector<Candidate> list = ngram(ctx, 0, 0, "some words here");
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].language, "un");
    LangCandidate *out = nullptr;
    unsigned char text[] = "words";
    EXPECT_EQ(RecByNgramText(nullptr, 0, 0, text, 5, &out), LANG_ERR_NULL);
    EXPECT_EQ(RecByNgramText(ctx.get(), 0, 0, nullptr, 5, &out), LANG_ERR_NULL);
    EXPECT_EQ(RecByNgramText(ctx.get(), 0, 0, text, 5, nullptr), LANG_ERR_NULL);
}

TEST(RecByNgramText, OutOfMemory) {
    TempDir dir;
    HandContext ctx;
    std::vector<std::string> paths;
    for (const std::string &name : StandardProfiles(dir.str()))
        paths.push_back(dir.str() + "/" + name);
    ctx.Load(paths);
    const std::string sample = ReadFile(Data("sample_en.txt"));
    // Every allocation point in turn fails; nothing leaks, nothing crashes.
    for (long n = 0; n < 40; ++n) {
        std::string text = sample;
        LangCandidate *list = nullptr;
        vos_fail_alloc_after(n);
        const int rc =
            RecByNgramText(ctx.get(), 0, 0, reinterpret_cast<unsigned char *>(text.data()),
                           static_cast<int32_t>(text.size()), &list);
        vos_fail_alloc_after(-1);
        if (rc == 0) {
            EXPECT_FALSE(Take(list).empty());
        } else {
            EXPECT_EQ(rc, LANG_ERR_NOMEM) << n;
            EXPECT_EQ(list, nullptr);
        }
    }
}

// ---- plain text and markup -------------------------------------------------

namespace {

class Recognisers : public testing::Test {
  protected:
    void SetUp() override {
        std::vector<std::string> paths;
        for (const std::string &name : StandardProfiles(dir_.str())) {
            paths.push_back(dir_.str() + "/" + name);
        }
        ctx_.Load(paths);
    }

    std::vector<Candidate> plain(int32_t charset, std::string text, int *rcOut = nullptr) {
        LangCandidate *list = nullptr;
        const int rc =
            RecPlainText(ctx_.get(), 0, charset, reinterpret_cast<unsigned char *>(text.data()),
                         static_cast<int32_t>(text.size()), &list);
        if (rcOut) *rcOut = rc;
        return Take(list);
    }

    std::vector<Candidate> markup(int32_t declared, int32_t guessed, const std::string &data,
                                  int *rcOut = nullptr, int32_t detectSize = 2048,
                                  int removeScripts = 1) {
        std::vector<unsigned char> bytes(data.begin(), data.end());
        LangCandidate *list = nullptr;
        const int rc =
            RecMarkup(ctx_.get(), 0, declared, guessed, bytes.data(),
                      static_cast<int32_t>(bytes.size()), detectSize, removeScripts, &list);
        if (rcOut) {
            *rcOut = rc;
        } else {
            EXPECT_EQ(rc, 0);
        }
        return Take(list);
    }

    TempDir dir_;
    HandContext ctx_;
};

// French prose as HTML whose accented letters are all written as numeric
// references: dozens of them within the first 2048 bytes of text.
std::string french_html_with_references() {
    const std::string text = ReadFile(Data("train_fr.txt"));
    std::string out = "<html><body><p>";
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if ((c & 0xE0) == 0xC0 && i + 1 < text.size()) {
            const int code = ((c & 0x1F) << 6) | (static_cast<unsigned char>(text[++i]) & 0x3F);
            out += "&#" + std::to_string(code) + ";";
        } else {
            out += text[i];
        }
    }
    return out + "</p></body></html>";
}

int count_of(const std::string &text, const std::string &what) {
    int n = 0;
    for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
    return n;
}

}  // namespace

TEST_F(Recognisers, PlainTextByCharset) {
    const std::string utf8 = ReadFile(Data("sample_fr.txt"));
    std::vector<Candidate> list = plain(53, utf8);
    ASSERT_FALSE(list.empty());
    EXPECT_EQ(list[0].language, "fr");
    EXPECT_EQ(list[0].charset, "utf8");

    list = plain(14, Latin1(utf8));
    ASSERT_FALSE(list.empty());
    EXPECT_EQ(list[0].language, "fr");
    EXPECT_EQ(list[0].charset, "iso-8859-1");

    // UTF-16, low byte first, goes straight to the code ranges.
    std::string utf16;
    for (char c : Latin1(ReadFile(Data("sample_de.txt")))) {
        utf16 += c;
        utf16 += '\0';
    }
    list = plain(100, utf16);
    ASSERT_FALSE(list.empty());
    EXPECT_EQ(list[0].language, "de");
    EXPECT_EQ(list[0].charset, "utf8");
}

TEST_F(Recognisers, InvalidUtf8FailsTheConversion) {
    int rc = 0;
    plain(53, "caf\xC3(", &rc);
    // Either the converter reports the bad sequence or it reads around it;
    // what must not happen is a crash or a list with a failure code.
    EXPECT_TRUE(rc == 0 || rc == LANG_ERR_CONVERT) << rc;
}

TEST_F(Recognisers, MarkupWithoutTextIsUnknown) {
    std::vector<Candidate> list = markup(14, 0, "<html><body><p>   </p><!-- x --></body></html>");
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].language, "un");
    EXPECT_EQ(list[0].charset, "Unknown");
    EXPECT_EQ(list[0].score, 0.0f);
}

TEST_F(Recognisers, MarkupWithoutReferencesUsesTheGuessThenTheDeclaration) {
    const std::string html =
        "<html><body><p>" + Latin1(ReadFile(Data("sample_fr.txt"))) + "</p></body></html>";
    std::vector<Candidate> list = markup(14, 0, html);
    ASSERT_FALSE(list.empty());
    EXPECT_EQ(list[0].language, "fr");
    EXPECT_EQ(list[0].charset, "iso-8859-1");
    // A guess of UTF-8 wins over the declaration.
    const std::string utf8 =
        "<html><body><p>" + ReadFile(Data("sample_fr.txt")) + "</p></body></html>";
    list = markup(14, 53, utf8);
    ASSERT_FALSE(list.empty());
    EXPECT_EQ(list[0].language, "fr");
    EXPECT_EQ(list[0].charset, "utf8");
}

TEST_F(Recognisers, AsciiMarkupWithManyReferencesIsReadAsUtf8) {
    const std::string html = french_html_with_references();
    ASSERT_GE(count_of(html, "&"), 20);
    std::vector<Candidate> list = markup(0, 7, html);
    ASSERT_FALSE(list.empty());
    EXPECT_EQ(list[0].language, "fr");
    EXPECT_EQ(list[0].charset, "utf8");
}

TEST_F(Recognisers, DeclaredCharsetIsConvertedToUtf8) {
    const std::string html = french_html_with_references();
    Services().calls = 0;
    std::vector<Candidate> list = markup(14, 0, html);
    EXPECT_GT(Services().calls, 0);
    ASSERT_FALSE(list.empty());
    EXPECT_EQ(list[0].language, "fr");
    EXPECT_EQ(list[0].charset, "utf8");
}

TEST_F(Recognisers, UnconvertibleDeclaredCharsetIsTolerated) {
    // The stand-in library cannot convert from Shift-JIS: the cleaned text
    // goes on as UTF-8.
    std::vector<Candidate> list = markup(1, 0, french_html_with_references());
    ASSERT_FALSE(list.empty());
    EXPECT_EQ(list[0].language, "fr");
}

TEST_F(Recognisers, FewReferencesBecomeSeparators) {
    // One reference in a long page: density below 0.01, raw text, classified
    // with the guessed charset (none), so among the non-UTF-8 profiles.
    const std::string html = "<p>" + Latin1(ReadFile(Data("sample_fr.txt"))) + " caf&eacute;</p>";
    std::vector<Candidate> list = markup(0, 0, html);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].language, "fr");
    EXPECT_EQ(list[0].charset, "iso-8859-1");
}

TEST_F(Recognisers, ManyReferencesWithoutCharsetTakeTwoPasses) {
    ctx_.Debug();
    std::vector<Candidate> list = markup(0, 0, french_html_with_references());
    ASSERT_FALSE(list.empty());
    // The raw pass picks the ISO-8859-1 French profile; the second pass reads
    // the text as UTF-8 and names the charset the first pass found.
    EXPECT_EQ(list[0].language, "fr");
    for (const Candidate &c : list) EXPECT_EQ(c.charset, "iso-8859-1");
    EXPECT_EQ(count_of(ctx_.Log(), "Replacing entity reference in the document"), 1);
}

TEST_F(Recognisers, SecondPassFailsWhenTheFirstFindsNothing) {
    ctx_->minScore = 0.99f;
    int rc = 0;
    std::vector<Candidate> list = markup(0, 0, french_html_with_references(), &rc);
    EXPECT_EQ(rc, LANG_ERR_CONVERT);
    EXPECT_TRUE(list.empty());
}

TEST_F(Recognisers, MarkupDensityBoundary) {
    // 1 reference with a detection size of 105: density exactly 1/100, not
    // below 0.01, so the reference is decoded and the text read as UTF-8.
    ctx_.Debug();
    markup(0, 7, "<p>zz t&eacute;t zz</p>", nullptr, 105);
    EXPECT_NE(ctx_.Log().find("zz t\xC3\xA9t zz"), std::string::npos);
    // With a detection size of 106 the density is just below 0.01: the
    // reference becomes a separator.
    HandContext other;
    other.Debug();
    std::string html = "<p>zz t&eacute;t zz</p>";
    std::vector<unsigned char> bytes(html.begin(), html.end());
    LangCandidate *list = nullptr;
    ASSERT_EQ(RecMarkup(other.get(), 0, 0, 7, bytes.data(), static_cast<int32_t>(bytes.size()), 106,
                        1, &list),
              0);
    Take(list);
    EXPECT_NE(other.Log().find(std::string("zz t\0t zz", 9)), std::string::npos);
}

TEST_F(Recognisers, BadMarkupGivesClearResults) {
    const std::string cases[] = {
        "<p>unclosed comment <!-- " + std::string(5000, 'x'),
        "<p title=\"never closed " + std::string(5000, 'y'),
        "<script>never closed " + std::string(3000, 'z'),
        std::string("<p>nul\0bytes\0inside</p>", 23),
        "<p>" + std::string(300, 'a') + "&" + std::string(300, 'e') + ";</p>",
        "<p a=" + std::string(300, 'v') + ">words here</p><",
        "&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&",
    };
    for (const std::string &html : cases) {
        for (int32_t guessed : {0, 7, 53}) {
            int rc = -1;
            std::vector<Candidate> list = markup(0, guessed, html, &rc);
            EXPECT_TRUE(rc == 0 || rc == LANG_ERR_CONVERT) << rc;
            if (rc == 0) {
                EXPECT_FALSE(list.empty());
            }
        }
    }
}

TEST_F(Recognisers, TenMegabytesOfMarkup) {
    std::string html;
    const std::string block =
        "<div class=\"x\"><p>" + ReadFile(Data("sample_fr.txt")) + "</p></div>";
    while (html.size() < (10u << 20)) html += block;
    std::vector<Candidate> list = markup(0, 53, html);
    ASSERT_FALSE(list.empty());
    EXPECT_EQ(list[0].language, "fr");
}

// ---- filtered documents ----------------------------------------------------

namespace {

struct FakeDocument {
    std::string text;  // UTF-16, low byte first
    bool done = false;
};
std::string g_filterText;
bool g_openFails = false;
bool g_openTextFails = false;

void *fake_open(void *, DXStream *stream) {
    if (g_openFails || stream->open(stream) != 1) return nullptr;
    stream->close(stream);
    auto *doc = new FakeDocument;
    doc->text = g_filterText;
    return doc;
}
void fake_close(void *, void *doc) {
    delete static_cast<FakeDocument *>(doc);
}
int fake_open_text(void *, void *) {
    return g_openTextFails ? 1 : 0;
}
int fake_read(void *, void *document, DXTextChunk *chunk, int) {
    auto *doc = static_cast<FakeDocument *>(document);
    chunk->length = 0;
    chunk->data = nullptr;
    if (doc->done || doc->text.empty()) return 0;
    doc->done = true;
    chunk->data = malloc(doc->text.size());
    memcpy(chunk->data, doc->text.data(), doc->text.size());
    chunk->length = static_cast<int32_t>(doc->text.size());
    return 0;
}

std::string utf16(const std::string &latin1) {
    std::string out;
    for (char c : latin1) {
        out += c;
        out += '\0';
    }
    return out;
}

class FilteredDocuments : public Recognisers {
  protected:
    void SetUp() override {
        Recognisers::SetUp();
        g_openFails = g_openTextFails = false;
        ctx_->filterInterface.openDocument = fake_open;
        ctx_->filterInterface.closeDocument = fake_close;
        ctx_->filterInterface.openText = fake_open_text;
        ctx_->filterInterface.readText = fake_read;
    }
    std::vector<Candidate> filter(int32_t language, int32_t charset, int *rcOut = nullptr) {
        LangCandidate *list = nullptr;
        const std::string path = Data("plain_en.txt");
        const int rc = RecDX(ctx_.get(), language, charset, path.c_str(), 2048, &list);
        if (rcOut) *rcOut = rc;
        return Take(list);
    }
};

}  // namespace

TEST_F(FilteredDocuments, TextGoesToTheCodeRanges) {
    // Line breaks are what tells UTF-16 from other bytes.
    g_filterText = utf16(Latin1(ReadFile(Data("sample_de.txt"))) + "\n\n\n\n\n\n");
    std::vector<Candidate> list = filter(0, 0);
    ASSERT_FALSE(list.empty());
    EXPECT_EQ(list[0].language, "de");
}

TEST_F(FilteredDocuments, EmptyTextAnswersWithTheNumbersGiven) {
    g_filterText.clear();
    std::vector<Candidate> list = filter(19, 14);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].language, "fr");
    EXPECT_EQ(list[0].charset, "iso-8859-1");
    EXPECT_EQ(list[0].score, 1.0f);
    list = filter(0, 0);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].language, "un");
}

TEST_F(FilteredDocuments, FilterFailuresAreReturned) {
    int rc = 0;
    g_openFails = true;
    EXPECT_TRUE(filter(0, 0, &rc).empty());
    EXPECT_EQ(rc, LANG_ERR_DXOPEN);
    g_openFails = false;
    g_openTextFails = true;
    EXPECT_TRUE(filter(0, 0, &rc).empty());
    EXPECT_EQ(rc, LANG_ERR_NOTFILTERABLE);
    LangCandidate *list = nullptr;
    EXPECT_EQ(RecDX(ctx_.get(), 0, 0, "/no/such/file", 2048, &list), LANG_ERR_NOFILE);
}
