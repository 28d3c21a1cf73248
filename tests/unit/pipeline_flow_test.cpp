// The file and buffer flows through the engine's call interface: an engine
// started by LangInit on a scratch installation (stand-in plug-ins) and a data
// directory of test profiles.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "engine/lang_api.h"
#include "engine/lang_context.h"
#include "engine_test_support.h"
#include "ngram/model_index.h"
#include "pipeline/recognise.h"
#include "pipeline_test_support.h"

using namespace pipeline_test;

namespace {

// ---- the filter plug-in as these tests want it ----------------------------
// File identification by name; documents whose name ends in ".pdf" are
// "filtered" by reading the file as Latin-1 text and handing it out as UTF-16.

uint32_t format_of(const std::string &path) {
    auto ends = [&](const char *suffix) {
        const std::string s(suffix);
        return path.size() >= s.size() && path.compare(path.size() - s.size(), s.size(), s) == 0;
    };
    if (ends(".txt")) return DX_FMT_TEXT;
    if (ends(".html")) return DX_FMT_HTML;
    if (ends(".xml")) return DX_FMT_XML;
    if (ends(".sgml")) return DX_FMT_SGML;
    if (ends(".pdf") || ends(".bad") || ends(".locked")) return DX_FMT_PDF;
    return DX_FMT_UNKNOWN;
}

int test_file_information(void *, const char *path, DXFileInfo *info) {
    info->word[DX_FILEINFO_FORMAT_WORD] = format_of(path);
    return 0;
}

struct TestDocument {
    std::string utf16;
    size_t next = 0;
    bool locked = false;
};

void *test_open_document(void *, DXStream *stream) {
    if (stream->open(stream) != 1) return nullptr;
    std::string bytes;
    char block[512];
    for (int n; (n = stream->read(stream, block, sizeof block)) > 0;) bytes.append(block, n);
    stream->close(stream);
    if (bytes.rfind("BROKEN", 0) == 0) return nullptr;
    auto *doc = new TestDocument;
    doc->locked = bytes.rfind("LOCKED", 0) == 0;
    for (char c : bytes) {
        doc->utf16 += c;
        doc->utf16 += '\0';
    }
    return doc;
}
void test_close_document(void *, void *doc) {
    delete static_cast<TestDocument *>(doc);
}
int test_open_text(void *, void *doc) {
    return static_cast<TestDocument *>(doc)->locked ? 5 : 0;
}
int test_read_text(void *, void *document, DXTextChunk *chunk, int) {
    auto *doc = static_cast<TestDocument *>(document);
    const size_t n = std::min<size_t>(256, doc->utf16.size() - doc->next);
    chunk->length = static_cast<int32_t>(n);
    chunk->data = n ? malloc(n) : nullptr;
    if (n) memcpy(chunk->data, doc->utf16.data() + doc->next, n);
    doc->next += n;
    return 0;
}

class Flow : public testing::Test {
  protected:
    void SetUp() override {
        const std::string bin = glotta_test::MakeInstallation(root_, "good");
        library_path_.emplace("LD_LIBRARY_PATH", bin);
        debug_.emplace("TOLMAR_LANG", std::nullopt);
        data_ = root_.mkdir("data");
        std::string list = "# test profiles\n";
        for (const std::string &name : StandardProfiles(data_)) list += name + "\n";
        list += ExtraLanguageList();
        root_.write("data/langlist.cfg", list);
        LangInitArg arg{nullptr, data_.c_str()};
        ASSERT_EQ(LangInit(&ctx_, &arg), 0);
        ASSERT_NE(ctx_, nullptr);
        // The stand-in utility library converts nothing; use one that knows
        // Latin-1. The filter learns to identify and extract test files.
        ctx_->convService->services = InstallFakeServices();
        ctx_->filterInterface.fileInformation = test_file_information;
        ctx_->filterInterface.openDocument = test_open_document;
        ctx_->filterInterface.closeDocument = test_close_document;
        ctx_->filterInterface.openText = test_open_text;
        ctx_->filterInterface.readText = test_read_text;
    }
    void TearDown() override {
        if (ctx_ && ctx_->logFile) {
            fclose(ctx_->logFile);
            ctx_->logFile = nullptr;
        }
        EXPECT_EQ(LangClose(ctx_), 0);
    }
    virtual std::string ExtraLanguageList() { return ""; }

    void Debug() {
        ctx_->debug = 1;
        ctx_->logFile = tmpfile();
    }
    std::string Log() {
        fflush(ctx_->logFile);
        const long size = ftell(ctx_->logFile);
        std::string out(static_cast<size_t>(size), '\0');
        rewind(ctx_->logFile);
        out.resize(fread(out.data(), 1, out.size(), ctx_->logFile));
        fseek(ctx_->logFile, 0, SEEK_END);
        return out;
    }

    std::string File(const std::string &name, const std::string &content) {
        return root_.write("docs/" + name, content);
    }

    struct Result {
        int rc;
        std::vector<Candidate> list;
    };
    Result DetectFile(const std::string &path, const char *language = nullptr,
                      const char *charset = nullptr, int32_t detectSize = 0,
                      const char *mime = nullptr) {
        LangDetectInArg in{path.c_str(), 0, 0, detectSize, mime, language, charset};
        return Detect(in);
    }
    Result DetectBuffer(const std::string &bytes, const char *language = nullptr,
                        const char *charset = nullptr, const char *mime = nullptr) {
        LangDetectInArg in{bytes.data(), static_cast<int32_t>(bytes.size()), 1, 0, mime, language,
                           charset};
        return Detect(in);
    }
    Result Detect(LangDetectInArg &in) {
        LangDetectOutArg out{0, nullptr};
        Result r;
        r.rc = LangDetect(ctx_, &in, &out);
        if (r.rc != 0) {
            EXPECT_EQ(out.count, 0);
            EXPECT_EQ(out.candidates, nullptr);
        } else {
            EXPECT_EQ(out.count, CountOf(out.candidates));
        }
        r.list = Take(out.candidates);
        return r;
    }
    static int32_t CountOf(const LangCandidate *list) {
        int32_t n = 0;
        while (list && list[n].language) ++n;
        return n;
    }

    glotta_test::TempDir root_;
    std::optional<glotta_test::EnvOverride> library_path_;
    std::optional<glotta_test::EnvOverride> debug_;
    std::string data_;
    LangContext *ctx_ = nullptr;
};

void ExpectOnly(const std::vector<Candidate> &list, const std::string &language,
                const std::string &charset, float score) {
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].language, language);
    EXPECT_EQ(list[0].charset, charset);
    EXPECT_EQ(list[0].score, score);
}

std::string html_page(const std::string &head, const std::string &body,
                      const std::string &htmlAttributes = "") {
    return "<html" + htmlAttributes + "><head>" + head + "</head><body><p>" + body +
           "</p></body></html>\n";
}

}  // namespace

// ---- the answers, in the order the flows try them -------------------------

TEST_F(Flow, BothHintsAnswerWithoutLookingAtTheDocument) {
    ExpectOnly(DetectFile("/no/such/path", "fr", "latin1").list, "fr", "latin1", 1.0f);
    ExpectOnly(DetectBuffer("whatever", "fr", "latin1").list, "fr", "latin1", 1.0f);
}

TEST_F(Flow, BufferLanguageHintUnknownToTableAndProfiles) {
    ExpectOnly(DetectBuffer("Guten Tag", "qx").list, "qx", "Unknown", 1.0f);
    // A file with the same hint is detected as if there were none.
    Result r = DetectFile(File("a.txt", ReadFile(Data("sample_en.txt"))), "qx");
    ASSERT_EQ(r.rc, 0);
    ASSERT_FALSE(r.list.empty());
    EXPECT_EQ(r.list[0].language, "en");
}

TEST_F(Flow, EmptyDocuments) {
    const std::string empty = File("empty.txt", "");
    ExpectOnly(DetectFile(empty).list, "un", "Unknown", 0.0f);
    ExpectOnly(DetectFile(empty, "de").list, "de", "Unknown", 1.0f);
    ExpectOnly(DetectBuffer("", "de").list, "un", "Unknown", 0.0f);
    ExpectOnly(DetectBuffer("").list, "un", "Unknown", 0.0f);
}

TEST_F(Flow, DeclaredLanguageWithACharset) {
    const std::string page =
        html_page("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-1\">",
                  Latin1(ReadFile(Data("sample_de.txt"))), " lang=\"fr\"");
    ExpectOnly(DetectFile(File("fr.html", page)).list, "fr", "iso-8859-1", 1.0f);
    ExpectOnly(DetectBuffer(page).list, "fr", "iso-8859-1", 1.0f);
    // Pure ASCII settles the charset too; the identifier stays as written.
    const std::string ascii = html_page("", ReadFile(Data("sample_en.txt")), " lang=\"EN-gb\"");
    ExpectOnly(DetectFile(File("en.html", ascii)).list, "EN-gb", "1252", 1.0f);
}

TEST_F(Flow, DeclaredUnknownLanguageWithoutCharset) {
    const std::string page = html_page("", Latin1(ReadFile(Data("sample_fr.txt"))), " lang=\"qq\"");
    ExpectOnly(DetectFile(File("qq.html", page)).list, "qq", "Unknown", 1.0f);
    ExpectOnly(DetectBuffer(page).list, "qq", "Unknown", 1.0f);
}

TEST_F(Flow, CharsetImpliesTheLanguage) {
    const std::string jis = "\x1B$B8@8l\x1B(B and some ASCII around it\n";
    ExpectOnly(DetectFile(File("ja.txt", jis)).list, "ja", "iso-2022-jp", 1.0f);
    ExpectOnly(DetectBuffer(jis).list, "ja", "iso-2022-jp", 1.0f);
    // The implied language replaces a hint.
    ExpectOnly(DetectFile(File("ja2.txt", jis), "de").list, "ja", "iso-2022-jp", 1.0f);
}

TEST_F(Flow, AsciiTextLosesItsLanguageHint) {
    Result r = DetectFile(File("en.txt", ReadFile(Data("sample_en.txt"))), "de");
    ASSERT_EQ(r.rc, 0);
    ASSERT_EQ(r.list.size(), 3u);  // the profiles in 7 and 14: en, fr, de
    EXPECT_EQ(r.list[0].language, "en");
    for (const Candidate &c : r.list) EXPECT_EQ(c.charset, "1252");
    for (size_t i = 1; i < r.list.size(); ++i) EXPECT_GE(r.list[i - 1].score, r.list[i].score);
}

TEST_F(Flow, Latin1TextKeepsEachProfilesCharset) {
    Result r = DetectFile(File("fr.txt", Latin1(ReadFile(Data("sample_fr.txt")))));
    ASSERT_EQ(r.rc, 0);
    ASSERT_FALSE(r.list.empty());
    EXPECT_EQ(r.list[0].language, "fr");
    EXPECT_EQ(r.list[0].charset, "iso-8859-1");
    // No charset settled: the UTF-8 profiles are left out.
    for (const Candidate &c : r.list) EXPECT_NE(c.charset, "utf8");
}

TEST_F(Flow, Utf8Text) {
    Result r = DetectFile(File("de.txt", ReadFile(Data("sample_de.txt"))));
    ASSERT_EQ(r.rc, 0);
    ASSERT_FALSE(r.list.empty());
    EXPECT_EQ(r.list[0].language, "de");
    for (const Candidate &c : r.list) EXPECT_EQ(c.charset, "utf8");
    r = DetectBuffer(ReadFile(Data("sample_de.txt")));
    ASSERT_FALSE(r.list.empty());
    EXPECT_EQ(r.list[0].language, "de");
}

TEST_F(Flow, MarkupGoesThroughTheMarkupRecogniser) {
    const std::string page = html_page(
        "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-1\">"
        "<script>var x = 'the and of to in is you that it he';</script>",
        Latin1(ReadFile(Data("sample_fr.txt"))));
    Result r = DetectFile(File("fr.html", page));
    ASSERT_EQ(r.rc, 0);
    ASSERT_FALSE(r.list.empty());
    EXPECT_EQ(r.list[0].language, "fr");
    for (const Candidate &c : r.list) EXPECT_EQ(c.charset, "iso-8859-1");
    Result b = DetectBuffer(page);
    ASSERT_FALSE(b.list.empty());
    EXPECT_EQ(b.list[0].language, "fr");
    EXPECT_EQ(b.list[0].score, r.list[0].score);
}

TEST_F(Flow, FilteredDocumentsReportNoCharset) {
    Result r =
        DetectFile(File("doc.pdf", Latin1(ReadFile(Data("sample_de.txt"))) + "\n\n\n\n\n\n"));
    ASSERT_EQ(r.rc, 0);
    ASSERT_FALSE(r.list.empty());
    EXPECT_EQ(r.list[0].language, "de");
    for (size_t i = 0; i < r.list.size(); ++i) {
        EXPECT_EQ(r.list[i].charset, "Unknown");
        if (i > 0) {
            EXPECT_NE(r.list[i].language, r.list[i - 1].language);
        }
    }
    // A type the identification does not know goes to the filter as well.
    Result u = DetectFile(File("doc.unknown", ReadFile(Data("sample_en.txt")) + "\n\n\n\n\n\n"));
    ASSERT_EQ(u.rc, 0);
    ASSERT_FALSE(u.list.empty());
    EXPECT_EQ(u.list[0].charset, "Unknown");
}

TEST_F(Flow, FilterFailuresAreReturned) {
    EXPECT_EQ(DetectFile(File("doc.bad", "BROKEN document")).rc, LANG_ERR_DXOPEN);
    EXPECT_EQ(DetectFile(File("doc.locked", "LOCKED document")).rc, LANG_ERR_NOTFILTERABLE);
    // An empty extraction answers with the hint.
    ExpectOnly(DetectFile(File("empty.pdf", "12345 ,,, 678"), "fr").list, "fr", "Unknown", 1.0f);
}

TEST_F(Flow, PathsThatAreNotDocuments) {
    EXPECT_EQ(DetectFile(root_.str()).rc, LANG_ERR_NOTREGULAR);
    EXPECT_EQ(DetectFile(root_.str("missing.txt")).rc, LANG_ERR_NOFILE);
    if (geteuid() != 0) {
        const std::string locked = File("locked.txt", "some words to read");
        chmod(locked.c_str(), 0);
        EXPECT_EQ(DetectFile(locked).rc, LANG_ERR_OPEN);
    }
}

TEST_F(Flow, MimeTypeOverridesIdentification) {
    // A .txt file declared as HTML is read in full and cleaned of its tags.
    const std::string page = html_page("", ReadFile(Data("sample_en.txt")), " lang=\"fr\"");
    ExpectOnly(DetectFile(File("page.txt", page), nullptr, nullptr, 0, "text/html").list, "fr",
               "1252", 1.0f);
    Debug();
    DetectBuffer(page, nullptr, nullptr, "TEXT/HTML");
    EXPECT_NE(Log().find("Given mime-type: TEXT/HTML\n"), std::string::npos);
}

TEST_F(Flow, PlainTextIsRefilledAfterNoiseRemoval) {
    // 64 bytes are read; half of them are digits, so the rest of the file
    // tops the cleaned text up to 64 bytes again.
    std::string text;
    for (int i = 0; i < 40; ++i) text += "word 12345678 ";
    Debug();
    Result r = DetectFile(File("noisy.txt", text), nullptr, nullptr, 64);
    ASSERT_EQ(r.rc, 0);
    const std::string log = Log();
    EXPECT_NE(log.find("Reading file 64: \n"), std::string::npos) << log;
    // Blocks are cleaned separately and joined without a separator.
    const size_t at = log.find("After remove noisy data 64: \n");
    ASSERT_NE(at, std::string::npos) << log;
    const std::string cleaned = log.substr(at + 29, 64);
    EXPECT_EQ(cleaned.substr(0, 20), "word word word word ");
}

TEST_F(Flow, BufferBytesStayUnchanged) {
    const std::string original = "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG AND THE CAT WATCHES";
    std::string bytes = original;
    LangDetectInArg in{bytes.data(), static_cast<int32_t>(bytes.size()), 1, 0, nullptr, nullptr,
                       nullptr};
    Result r = Detect(in);
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(bytes, original);
    EXPECT_EQ(in.detectSize, 2048);
}

TEST_F(Flow, DetectionSizeBoundsTheBuffer) {
    std::string text = ReadFile(Data("sample_en.txt"));
    Debug();
    LangDetectInArg in{text.data(), static_cast<int32_t>(text.size()), 1, 40, nullptr, nullptr,
                       nullptr};
    ASSERT_EQ(Detect(in).rc, 0);
    EXPECT_NE(Log().find(" Buffer length is 40\n"), std::string::npos);
}

TEST_F(Flow, DebugLogOfAResult) {
    Debug();
    Result r = DetectFile(File("en.txt", ReadFile(Data("sample_en.txt"))));
    ASSERT_EQ(r.list.size(), 3u);
    const std::string log = Log();
    std::string expected = "Detecting result:\n";
    for (size_t i = 0; i < r.list.size(); ++i) {
        char line[128];
        snprintf(line, sizeof line, "[%zu] %s %s %1.4f\n", i, r.list[i].language.c_str(),
                 r.list[i].charset.c_str(), static_cast<double>(r.list[i].score));
        expected += line;
    }
    EXPECT_NE(log.find(expected), std::string::npos) << log;
    EXPECT_NE(log.find("Detecting file "), std::string::npos);
    EXPECT_NE(log.find("Guessed charset is 1252\n"), std::string::npos);
}

TEST_F(Flow, BadMarkupFiles) {
    const std::string cases[] = {
        "<html><body><p>text <!-- never closed " + std::string(4000, 'x'),
        "<html><body><p title=\"never closed " + std::string(4000, 'y'),
        "<html><body><p>words at the end <",
        std::string("<html><body><p>nul\0bytes\0in\0markup</p></body></html>", 53),
        "<html><body><p a=\"" + std::string(300, 'v') + "\">" + std::string(300, 'w') + "&" +
            std::string(300, 'e') + ";</p></body></html>",
    };
    int i = 0;
    for (const std::string &page : cases) {
        Result r = DetectFile(File("bad" + std::to_string(i++) + ".html", page));
        EXPECT_TRUE(r.rc == 0 || r.rc == LANG_ERR_CONVERT) << r.rc;
        if (r.rc == 0) {
            EXPECT_FALSE(r.list.empty());
        }
        Result b = DetectBuffer(page, nullptr, nullptr, "text/html");
        EXPECT_TRUE(b.rc == 0 || b.rc == LANG_ERR_CONVERT) << b.rc;
    }
    std::string big = "<html><body>";
    while (big.size() < (10u << 20))
        big += "<div><p>" + ReadFile(Data("sample_en.txt")) + "</p></div>";
    Result r = DetectFile(File("big.html", big));
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.list[0].language, "en");
}

TEST_F(Flow, NullArguments) {
    LangDetectInArg in{nullptr, 0, 0, 0, nullptr, nullptr, nullptr};
    LangDetectOutArg out{0, nullptr};
    EXPECT_EQ(LangDetect(ctx_, &in, &out), LANG_ERR_NULL);
    EXPECT_EQ(in.detectSize, 0);
    in.docData = "x";
    EXPECT_EQ(LangDetect(nullptr, &in, &out), LANG_ERR_NULL);
    EXPECT_EQ(LangDetect(ctx_, nullptr, &out), LANG_ERR_NULL);
    EXPECT_EQ(LangDetect(ctx_, &in, nullptr), LANG_ERR_NULL);
}

namespace {

// A language that only a loaded profile knows.
class FlowWithTrainedLanguage : public Flow {
  protected:
    std::string ExtraLanguageList() override {
        return MakeProfile(data_, "qz", "iso-8859-1", ReadFile(Data("train_en.txt"))) + "\n";
    }
};

}  // namespace

TEST_F(FlowWithTrainedLanguage, EmptyFileWithItsHintGivesAnEmptyList) {
    Result r = DetectFile(File("empty.txt", ""), "qz");
    EXPECT_EQ(r.rc, 0);
    EXPECT_TRUE(r.list.empty());
    // The buffer flow knows the hint and goes on to the empty answer.
    ExpectOnly(DetectBuffer("", "qz").list, "un", "Unknown", 0.0f);
}

TEST_F(FlowWithTrainedLanguage, HintSelectsItsProfileAndEnglish) {
    Result r = DetectBuffer(Latin1(ReadFile(Data("sample_fr.txt"))), "qz");
    ASSERT_EQ(r.rc, 0);
    ASSERT_EQ(r.list.size(), 2u);
    EXPECT_TRUE((r.list[0].language == "en" && r.list[1].language == "qz") ||
                (r.list[0].language == "qz" && r.list[1].language == "en"));
}

TEST_F(Flow, ModelIndexScoresEqualModelByModel) {
    ASSERT_NE(ctx_->modelIndex, nullptr);  // built by LangInit
    const std::string texts[] = {
        ReadFile(Data("sample_en.txt")), Latin1(ReadFile(Data("sample_fr.txt"))),
        ReadFile(Data("sample_de.txt")), "zzzz qqqq", std::string(3000, 'a')};
    for (const std::string &text : texts) {
        for (int32_t charset : {0, 7, 14, 53}) {
            std::string logs[2];
            std::vector<Candidate> lists[2];
            NgramModelIndex *index = ctx_->modelIndex;
            for (int pass = 0; pass < 2; ++pass) {
                ctx_->modelIndex = pass == 0 ? index : nullptr;
                Debug();
                std::string copy = text;
                LangCandidate *list = nullptr;
                ASSERT_EQ(
                    RecByNgramText(ctx_, 0, charset, reinterpret_cast<unsigned char *>(copy.data()),
                                   static_cast<int32_t>(copy.size()), &list),
                    0);
                lists[pass] = Take(list);
                logs[pass] = Log();
                fclose(ctx_->logFile);
                ctx_->logFile = nullptr;
            }
            ctx_->modelIndex = index;
            EXPECT_EQ(logs[0], logs[1]);
            ASSERT_EQ(lists[0].size(), lists[1].size());
            for (size_t i = 0; i < lists[0].size(); ++i) {
                EXPECT_EQ(lists[0][i].language, lists[1][i].language);
                EXPECT_EQ(lists[0][i].charset, lists[1][i].charset);
                EXPECT_EQ(memcmp(&lists[0][i].score, &lists[1][i].score, sizeof(float)), 0);
            }
        }
    }
}
