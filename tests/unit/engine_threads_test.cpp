// Many threads detecting on one engine context at once: every answer equals
// the answer of a serial run. Documents of every road through the flows are
// mixed (plain text in several charsets, markup with and without
// declarations, 16-bit text, filtered documents, hints, failures), so the
// shared parts (profiles, model index, document scratches, the filter and
// conversion calls under the filter mutex) are all used at the same time.
// The sanitizer build also runs this test under ThreadSanitizer
// (engine_threads_tsan).
#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine/lang_api.h"
#include "engine/lang_context.h"
#include "engine_test_support.h"
#include "pipeline_test_support.h"

using namespace pipeline_test;

namespace {

int file_information(void *, const char *path, DXFileInfo *info) {
    const std::string p(path);
    auto ends = [&](const char *suffix) {
        const std::string s(suffix);
        return p.size() >= s.size() && p.compare(p.size() - s.size(), s.size(), s) == 0;
    };
    info->word[DX_FILEINFO_FORMAT_WORD] = ends(".txt")    ? DX_FMT_TEXT
                                          : ends(".html") ? DX_FMT_HTML
                                          : ends(".pdf")  ? DX_FMT_PDF
                                                          : DX_FMT_UNKNOWN;
    return 0;
}

struct Request {
    bool buffer;
    std::string data;  // the path, or the bytes
    const char *language = nullptr, *charset = nullptr, *mime = nullptr;
    int32_t detectSize = 0;
};

struct Answer {
    int rc;
    std::vector<Candidate> list;
    bool operator==(const Answer &) const = default;
};

std::ostream &operator<<(std::ostream &out, const Answer &a) {
    out << "rc " << a.rc << ":";
    for (const Candidate &c : a.list) out << " " << c;
    return out;
}

class Threads : public testing::Test {
  protected:
    void SetUp() override {
        library_path_.emplace("LD_LIBRARY_PATH", glotta_test::MakeInstallation(root_, "good"));
        debug_.emplace("TOLMAR_LANG", std::nullopt);
        const std::string data = root_.mkdir("data");
        std::string list;
        for (const std::string &name : StandardProfiles(data)) list += name + "\n";
        root_.write("data/langlist.cfg", list);
        LangInitArg arg{nullptr, data.c_str()};
        ASSERT_EQ(LangInit(&ctx_, &arg), 0);
        // Conversions and filtering by stand-ins that keep state of their
        // own, which only the engine's mutex protects.
        ctx_->convService->services = InstallFakeServices();
        ctx_->filterInterface.fileInformation = file_information;
        InstallFakeFilter(ctx_->filterInterface);
        g_fake.chunkUnits = 64;
    }
    void TearDown() override { EXPECT_EQ(LangClose(ctx_), 0); }

    std::string File(const std::string &name, const std::string &content) {
        return root_.write("docs/" + name, content);
    }

    std::vector<Request> MixedRequests() {
        const std::string en = ReadFile(Data("sample_en.txt"));
        const std::string fr = ReadFile(Data("sample_fr.txt"));
        const std::string de = ReadFile(Data("sample_de.txt"));
        const std::string frPage =
            "<html><head><meta http-equiv=\"Content-Type\" "
            "content=\"text/html; charset=iso-8859-1\"></head><body><p>" +
            Latin1(fr) + "</p></body></html>\n";
        const std::string dePage = "<html><body><script>var x = 1;</script><p>" + de +
                                   " &amp; &#252;ber</p></body></html>\n";
        const std::string jis = "\x1B$B8@8l\x1B(B and some ASCII around it\n";
        return {
            {false, File("en.txt", en)},
            {false, File("fr.txt", Latin1(fr))},
            {false, File("de.txt", de)},
            {false, File("fr.html", frPage)},
            {false, File("de.html", dePage)},
            {false, File("ja.txt", jis)},
            {false, File("fr16.txt", "\xFF\xFE" + Utf16(Latin1(fr)))},
            {false, File("de.pdf", Latin1(de))},
            {false, File("broken.pdf", "BROKEN document")},
            {false, root_.str("docs/missing.txt")},
            {false, File("small.txt", en), nullptr, nullptr, nullptr, 300},
            {false, File("page.txt", dePage), nullptr, nullptr, "text/html"},
            {true, de},
            {true, Latin1(fr)},
            {true, Utf16(Latin1(de))},
            {true, frPage},
            {true, en, "de"},
            {true, en, "fr", "latin1"},
            {true, ""},
            {true, Latin1(fr), nullptr, "iso-8859-1", nullptr, 700},
        };
    }

    Answer Detect(const Request &r) {
        LangDetectInArg in{r.data.data(),    static_cast<int32_t>(r.data.size()),
                           r.buffer ? 1 : 0, r.detectSize,
                           r.mime,           r.language,
                           r.charset};
        if (!r.buffer) in.docData = r.data.c_str();
        LangDetectOutArg out{0, nullptr};
        Answer a{LangDetect(ctx_, &in, &out), {}};
        a.list = Take(out.candidates);
        return a;
    }

    glotta_test::TempDir root_;
    std::optional<glotta_test::EnvOverride> library_path_, debug_;
    LangContext *ctx_ = nullptr;
};

TEST_F(Threads, EveryAnswerEqualsTheSerialOne) {
    const std::vector<Request> requests = MixedRequests();
    std::vector<Answer> serial;
    for (const Request &r : requests) serial.push_back(Detect(r));
    // The mix takes every road: answers, declarations, n-grams, failures.
    EXPECT_EQ(serial[0].list.at(0).language, "en");
    EXPECT_EQ(serial[3].list.at(0).charset, "iso-8859-1");
    EXPECT_EQ(serial[7].list.at(0).language, "de");
    EXPECT_EQ(serial[8].rc, LANG_ERR_DXOPEN);
    EXPECT_EQ(serial[9].rc, LANG_ERR_NOFILE);

    constexpr int kThreads = 8;
    constexpr int kDetections = 2000;
    std::atomic<int> mismatches{0};
    std::vector<std::string> firstMismatch(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kDetections; ++i) {
                // Each thread walks the mix from its own starting point.
                const size_t which = (static_cast<size_t>(t) * 7 + i) % requests.size();
                const Answer a = Detect(requests[which]);
                if (a == serial[which]) continue;
                if (mismatches++ == 0 || firstMismatch[t].empty()) {
                    std::ostringstream s;
                    s << "request " << which << ": got " << a << ", serial " << serial[which];
                    firstMismatch[t] = s.str();
                }
            }
        });
    }
    for (std::thread &thread : threads) thread.join();
    EXPECT_EQ(mismatches.load(), 0);
    for (const std::string &m : firstMismatch) EXPECT_TRUE(m.empty()) << m;
}

}  // namespace
