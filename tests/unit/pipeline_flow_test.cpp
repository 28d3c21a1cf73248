// The file and buffer flows through the engine's call interface: an engine
// started by LangInit on a scratch installation with stand-in plug-ins and a
// data directory of test profiles. The real plug-ins are exercised end to end
// (tests/e2e/cases/filter_formats_six_languages).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <pthread.h>

#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/lang_api.h"
#include "engine/lang_context.h"
#include "engine_test_support.h"
#include "pipeline_test_support.h"

using namespace pipeline_test;

namespace {

// Identification by file name; "filtering" is the scripted filter's.
bool has(const std::string &s, const char *part) {
    return s.find(part) != std::string::npos;
}

int test_file_information(void *, const char *path, DXFileInfo *info) {
    info->word[DX_FILEINFO_FORMAT_WORD] = has(path, ".txt")                        ? DX_FMT_TEXT
                                          : has(path, ".html")                     ? DX_FMT_HTML
                                          : has(path, ".pdf") || has(path, ".bad") ? DX_FMT_PDF
                                                                                   : DX_FMT_UNKNOWN;
    return 0;
}

// When set, identification swaps this FIFO in for the document: the name
// then leads elsewhere than when the flow checked it.
std::string g_swapInFifo;

int swapping_file_information(void *filter, const char *path, DXFileInfo *info) {
    const int rc = test_file_information(filter, path, info);
    if (!g_swapInFifo.empty()) {
        EXPECT_EQ(rename(g_swapInFifo.c_str(), path), 0);
    }
    return rc;
}

// A plug-in that identifies open documents: what it was handed, and whether
// the filter lock was held at the time.
struct HeadCalls {
    std::string bytes;
    int64_t size = -1;
    bool fdReadsTheDocument = false;
    bool headLocked = false;
    int openFileCalls = 0;
    bool openFileLocked = false;
    VosMutex *mutex = nullptr;
};
HeadCalls g_head;

bool filter_lock_held() {
    auto *os = reinterpret_cast<pthread_mutex_t *>(g_head.mutex->osMutex);
    if (pthread_mutex_trylock(os) != 0) return true;
    pthread_mutex_unlock(os);
    return false;
}

int format_of(std::string_view bytes) {
    return bytes.starts_with("%PDF")    ? DX_FMT_PDF
           : bytes.starts_with("<html") ? DX_FMT_HTML
                                        : DX_FMT_TEXT;
}

int head_identification(void *, const DXDocumentHead *head, DXFileInfo *info) {
    g_head.bytes.assign(reinterpret_cast<const char *>(head->bytes),
                        static_cast<size_t>(head->length));
    g_head.size = head->size;
    char first = 0;
    g_head.fdReadsTheDocument = pread(head->fd, &first, 1, 0) == 1 && first == g_head.bytes[0];
    g_head.headLocked = filter_lock_held();
    if (g_head.bytes.starts_with("%PDF")) return 1;  // "needs the whole file"
    info->word[DX_FILEINFO_FORMAT_WORD] = static_cast<uint32_t>(format_of(g_head.bytes));
    return 0;
}

int open_file_identification(void *, const DXDocumentHead *head, DXFileInfo *info) {
    ++g_head.openFileCalls;
    g_head.openFileLocked = filter_lock_held();
    info->word[DX_FILEINFO_FORMAT_WORD] = static_cast<uint32_t>(format_of(
        {reinterpret_cast<const char *>(head->bytes), static_cast<size_t>(head->length)}));
    return 0;
}

int path_identification(void *, const char *path, DXFileInfo *info) {
    ADD_FAILURE() << "identified by name: " << path;
    info->word[DX_FILEINFO_FORMAT_WORD] = DX_FMT_TEXT;
    return 0;
}

class Flow : public testing::Test {
  protected:
    void SetUp() override {
        library_path_.emplace("LD_LIBRARY_PATH", glotta_test::MakeInstallation(root_, "good"));
        debug_.emplace("TOLMAR_LANG", std::nullopt);
        data_ = root_.mkdir("data");
        std::string list = "# test profiles\n";
        for (const std::string &name : StandardProfiles(data_)) list += name + "\n";
        root_.write("data/langlist.cfg", list + ExtraLanguageList());
        LangInitArg arg{nullptr, data_.c_str()};
        ASSERT_EQ(LangInit(&ctx_, &arg), 0);
        ASSERT_NE(ctx_, nullptr);
        // The stand-in utility library converts nothing; use one that knows
        // Latin-1. The filter learns to identify and extract test files.
        ctx_->convService->services = InstallFakeServices();
        ctx_->filterInterface.fileInformation = test_file_information;
        InstallFakeFilter(ctx_->filterInterface);
        g_fake.chunkUnits = 128;
    }
    void TearDown() override {
        if (ctx_ && ctx_->logFile) fclose(ctx_->logFile), ctx_->logFile = nullptr;
        EXPECT_EQ(LangClose(ctx_), 0);
    }
    virtual std::string ExtraLanguageList() { return ""; }

    void Debug() {
        ctx_->debug = 1;
        ctx_->logFile = tmpfile();
    }
    std::string Log() { return LogText(ctx_->logFile); }
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
        Result r{LangDetect(ctx_, &in, &out), {}};
        EXPECT_TRUE(r.rc == 0 || out.candidates == nullptr);
        r.list = Take(out.candidates);
        EXPECT_EQ(out.count, static_cast<int32_t>(r.list.size()));
        return r;
    }

    glotta_test::TempDir root_;
    std::optional<glotta_test::EnvOverride> library_path_, debug_;
    std::string data_;
    LangContext *ctx_ = nullptr;
};

std::string html_page(const std::string &head, const std::string &body,
                      const std::string &htmlAttributes = "") {
    return "<html" + htmlAttributes + "><head>" + head + "</head><body><p>" + body +
           "</p></body></html>\n";
}
const std::string kLatin1Meta =
    "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-1\">";

TEST_F(Flow, AnswersFromHintsDeclarationsAndCharsets) {
    const std::string jis = "\x1B$B8@8l\x1B(B and some ASCII around it\n";
    const std::string declared =
        html_page(kLatin1Meta, Latin1(ReadFile(Data("sample_de.txt"))), " lang=\"fr\"");
    const std::string ascii = html_page("", ReadFile(Data("sample_en.txt")), " lang=\"EN-gb\"");
    const std::string unknown =
        html_page("", Latin1(ReadFile(Data("sample_fr.txt"))), " lang=\"qq\"");
    const std::string noise = "2024-12-09, 10:55\n";
    const struct {
        bool buffer;
        std::string name;  // file name, or the path when there is no content
        std::optional<std::string> content;
        const char *language, *charset, *mime;
        Candidate want;
    } cases[] = {
        // Both hints: the document is not even looked at.
        {false, "/no/such/path", std::nullopt, "fr", "latin1", nullptr, {"fr", "latin1", 1.0f}},
        {true, "", "whatever", "fr", "latin1", nullptr, {"fr", "latin1", 1.0f}},
        // A buffer's language hint unknown to table and profiles.
        {true, "", "Guten Tag", "qx", nullptr, nullptr, {"qx", "Unknown", 1.0f}},
        {false, "e.txt", "", nullptr, nullptr, nullptr, {"un", "Unknown", 0.0f}},
        {false, "e.txt", "", "de", nullptr, nullptr, {"de", "Unknown", 1.0f}},
        {true, "", "", "de", nullptr, nullptr, {"un", "Unknown", 0.0f}},
        // A declared language, as written, with the settled charset.
        {false, "fr.html", declared, nullptr, nullptr, nullptr, {"fr", "iso-8859-1", 1.0f}},
        {true, "", declared, nullptr, nullptr, nullptr, {"fr", "iso-8859-1", 1.0f}},
        {false, "en.html", ascii, nullptr, nullptr, nullptr, {"EN-gb", "1252", 1.0f}},
        {false, "qq.html", unknown, nullptr, nullptr, nullptr, {"qq", "Unknown", 1.0f}},
        {true, "", unknown, nullptr, nullptr, nullptr, {"qq", "Unknown", 1.0f}},
        // A .txt declared as HTML is read in full and its declaration found.
        {false, "page.txt", ascii, nullptr, nullptr, "text/html", {"EN-gb", "1252", 1.0f}},
        // A charset that implies the language, even over a hint.
        {false, "ja.txt", jis, nullptr, nullptr, nullptr, {"ja", "iso-2022-jp", 1.0f}},
        {true, "", jis, nullptr, nullptr, nullptr, {"ja", "iso-2022-jp", 1.0f}},
        {false, "ja.txt", jis, "de", nullptr, nullptr, {"ja", "iso-2022-jp", 1.0f}},
        // Text that is all noise, in the charset the caller names; UTF-8
        // text is read through its code ranges, others by n-grams.
        {false, "noise.txt", noise, nullptr, "utf-8", nullptr, {"un", "utf8", 0.0f}},
        {false, "noise.txt", noise, nullptr, "latin1", nullptr, {"un", "iso-8859-1", 0.0f}},
        // Filter output that is all noise answers with the hint.
        {false, "empty.pdf", "12345 ,,, 678", "fr", nullptr, nullptr, {"fr", "Unknown", 1.0f}}};
    for (const auto &c : cases) {
        const std::string path = c.content && !c.buffer ? File(c.name, *c.content) : c.name;
        Result r = c.buffer ? DetectBuffer(*c.content, c.language, c.charset, c.mime)
                            : DetectFile(path, c.language, c.charset, 0, c.mime);
        EXPECT_EQ(r.rc, 0);
        EXPECT_EQ(r.list, std::vector<Candidate>{c.want}) << c.name << " " << c.buffer;
    }
}

TEST_F(Flow, FilteredDocumentsAndFailureCodes) {
    // A type the identification does not know is filtered: code ranges, then
    // the UTF-8 profiles (and English); every candidate reports "Unknown".
    Result r =
        DetectFile(File("doc.unknown", Latin1(ReadFile(Data("sample_de.txt"))) + "\n\n\n\n"));
    ASSERT_EQ(r.rc, 0);
    ASSERT_EQ(r.list.size(), 3u);
    EXPECT_EQ(r.list[0].language, "de");
    for (const Candidate &c : r.list) EXPECT_EQ(c.charset, "Unknown");
    EXPECT_EQ(DetectFile(File("doc.bad", "BROKEN document")).rc, LANG_ERR_DXOPEN);
    EXPECT_EQ(DetectFile(File("doc.pdf", "LOCKED document")).rc, LANG_ERR_NOTFILTERABLE);
    EXPECT_EQ(DetectFile(root_.str()).rc, LANG_ERR_NOTREGULAR);
    EXPECT_EQ(DetectFile(root_.str("missing.txt")).rc, LANG_ERR_NOFILE);
    if (geteuid() != 0) {
        const std::string locked = File("locked.txt", "some words to read");
        chmod(locked.c_str(), 0);
        EXPECT_EQ(DetectFile(locked).rc, LANG_ERR_OPEN);
    }
    LangDetectInArg in{nullptr, 0, 0, 0, nullptr, nullptr, nullptr};
    LangDetectOutArg out{0, nullptr};
    EXPECT_EQ(LangDetect(ctx_, &in, &out), LANG_ERR_NULL);
    EXPECT_EQ(in.detectSize, 0);
    in.docData = "x";
    EXPECT_EQ(LangDetect(nullptr, &in, &out), LANG_ERR_NULL);
    EXPECT_EQ(LangDetect(ctx_, nullptr, &out), LANG_ERR_NULL);
    EXPECT_EQ(LangDetect(ctx_, &in, nullptr), LANG_ERR_NULL);
}

// The flow reads a document once: the plug-in identifies it from the bytes
// read for detection (without the filter lock when the bytes settle it, under
// it through the descriptor when not), never by opening the name again. The
// answers are those of identification by name.
TEST_F(Flow, IdentificationSharesTheBytesTheFlowRead) {
    const std::string en = ReadFile(Data("sample_en.txt"));
    std::string longText;
    while (longText.size() < 3 * DX_HEAD_BYTES) longText += en;
    const std::string docs[] = {
        File("short.txt", en),
        File("long.txt", longText),
        File("page.html", html_page(kLatin1Meta, Latin1(ReadFile(Data("sample_fr.txt"))))),
        File("scan.pdf", "%PDF-1.4 a few words to filter"),
    };
    std::vector<Result> byName;
    for (const std::string &doc : docs) byName.push_back(DetectFile(doc));

    ctx_->filterIdentify.identifyHead = head_identification;
    ctx_->filterIdentify.identifyOpenFile = open_file_identification;
    ctx_->filterInterface.fileInformation = path_identification;
    g_head = HeadCalls{};
    g_head.mutex = ctx_->filterMutex;
    ASSERT_NE(g_head.mutex, nullptr);
    for (size_t i = 0; i < std::size(docs); ++i) {
        const std::string content = ReadFile(docs[i]);
        const int before = g_head.openFileCalls;
        Result r = DetectFile(docs[i]);
        EXPECT_EQ(r.rc, byName[i].rc) << docs[i];
        EXPECT_EQ(r.list, byName[i].list) << docs[i];
        EXPECT_EQ(g_head.bytes, content.substr(0, DX_HEAD_BYTES)) << docs[i];
        EXPECT_EQ(g_head.size, static_cast<int64_t>(content.size())) << docs[i];
        EXPECT_TRUE(g_head.fdReadsTheDocument) << docs[i];
        EXPECT_FALSE(g_head.headLocked) << docs[i];
        const bool settledByBytes = !content.starts_with("%PDF");
        EXPECT_EQ(g_head.openFileCalls, before + (settledByBytes ? 0 : 1)) << docs[i];
        EXPECT_TRUE(settledByBytes || g_head.openFileLocked) << docs[i];
    }
    // A small detection size still hands over the whole head, and the text
    // read ahead of it serves the refill: the answer is the same.
    ctx_->filterIdentify.identifyHead = nullptr;
    ctx_->filterInterface.fileInformation = test_file_information;
    const std::string noisy = File("noisy.txt", "1, 2, 3! " + longText);
    const Result smallByName = DetectFile(noisy, nullptr, nullptr, 100);
    ctx_->filterIdentify.identifyHead = head_identification;
    ctx_->filterInterface.fileInformation = path_identification;
    EXPECT_EQ(DetectFile(noisy, nullptr, nullptr, 100).list, smallByName.list);
}

TEST_F(Flow, DocumentSwappedForAFifoAfterTheCheckNeverBlocks) {
    alarm(20);  // a blocking open fails the test instead of hanging it
    ctx_->filterInterface.fileInformation = swapping_file_information;
    // Text is read through the descriptor opened before the swap.
    const std::string text = File("swap.txt", ReadFile(Data("sample_en.txt")));
    g_swapInFifo = root_.str("fifo1");
    ASSERT_EQ(mkfifo(g_swapInFifo.c_str(), 0600), 0);
    Result r = DetectFile(text);
    EXPECT_EQ(r.rc, 0);
    ASSERT_FALSE(r.list.empty());
    EXPECT_EQ(r.list[0].language, "en");
    // The filter opens the name itself: it meets the FIFO and fails.
    const std::string filtered = File("swap.pdf", "a few words to filter");
    g_swapInFifo = root_.str("fifo2");
    ASSERT_EQ(mkfifo(g_swapInFifo.c_str(), 0600), 0);
    EXPECT_EQ(DetectFile(filtered).rc, LANG_ERR_DXOPEN);
    g_swapInFifo.clear();
    // A FIFO or a device named directly is no ordinary file.
    EXPECT_EQ(DetectFile(text).rc, LANG_ERR_NOTREGULAR);
    EXPECT_EQ(DetectFile("/dev/zero").rc, LANG_ERR_NOTREGULAR);
    alarm(0);
}

TEST_F(Flow, DebugLogDetectionSizeAndCallerBytes) {
    Debug();
    ASSERT_EQ(DetectFile(File("en.txt", ReadFile(Data("sample_en.txt")))).list.size(), 3u);
    // The caller's bytes stay unchanged; the size given bounds the text.
    const std::string original = "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG AND THE CAT";
    std::string text = original;
    LangDetectInArg in{text.data(), static_cast<int32_t>(text.size()), 1, 40, "TEXT/PLAIN", nullptr,
                       nullptr};
    ASSERT_EQ(Detect(in).rc, 0);
    EXPECT_EQ(text, original);
    const std::string log = Log();
    for (const char *line :
         {"Detecting file ", "Guessed charset is 1252\n", "Detecting result:\n[0] en 1252 ",
          "\n[2] ", "Given mime-type: TEXT/PLAIN\n", " Buffer length is 40\n"}) {
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
    }
}

// A language that only a loaded profile knows.
class FlowWithTrainedLanguage : public Flow {
  protected:
    std::string ExtraLanguageList() override {
        return MakeProfile(data_, "qz", "iso-8859-1", ReadFile(Data("train_en.txt"))) + "\n";
    }
};

TEST_F(FlowWithTrainedLanguage, HintOfALoadedLanguage) {
    // An empty file gives a list that counts as empty; the buffer flow goes
    // on to the empty answer.
    Result r = DetectFile(File("empty.txt", ""), "qz");
    EXPECT_EQ(r.rc, 0);
    EXPECT_TRUE(r.list.empty());
    EXPECT_EQ(DetectBuffer("", "qz").list, (std::vector<Candidate>{{"un", "Unknown", 0.0f}}));
    // The hint selects its profile and English.
    std::vector<std::string> got =
        Languages(DetectBuffer(Latin1(ReadFile(Data("sample_fr.txt"))), "qz").list);
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, (std::vector<std::string>{"en", "qz"}));
}

}  // namespace
