// The extraction worker of the filter plug-in: a worker that dies, overruns
// or finds a damaged module costs the document at hand and nothing else.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "doctype/dx_abi.h"
#include "dxfilter_test_support.h"
#include "filters/dxfilter/extractor.h"
#include "filters/dxfilter/module_file.h"
#include "filters/dxfilter/worker_client.h"

namespace {

using namespace dxfilter_test;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// A PDF whose one page is drawn by `streams` small content streams.
std::string ManyStreamsPdf(int streams) {
    std::vector<std::string> bodies = {"<< /Type /Catalog /Pages 2 0 R >>",
                                       "<< /Type /Pages /Kids [3 0 R] /Count 1 >>", "",
                                       "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"};
    std::string contents;
    for (int i = 0; i < streams; ++i) {
        std::string text = "BT /F1 12 Tf 100 700 Td (w" + std::to_string(i) + ") Tj ET";
        bodies.push_back("<< /Length " + std::to_string(text.size()) + " >>\nstream\n" + text +
                         "\nendstream");
        contents += std::to_string(bodies.size()) + " 0 R ";
    }
    bodies[2] =
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 "
        "4 0 R >> >> /Contents [" +
        contents + "] >>";
    std::string pdf = "%PDF-1.4\n";
    std::vector<size_t> offsets;
    for (size_t i = 0; i < bodies.size(); ++i) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(i + 1) + " 0 obj\n" + bodies[i] + "\nendobj\n";
    }
    size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(bodies.size() + 1) + "\n0000000000 65535 f \n";
    for (size_t at : offsets) {
        char line[32];
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", at);
        pdf += line;
    }
    pdf += "trailer\n<< /Size " + std::to_string(bodies.size() + 1) +
           " /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    return pdf;
}

// The state letter and parent of the process `pid` ("pid (comm) state ppid
// ..."; the command name may hold spaces); false when there is none.
bool ProcessStat(const std::string &pid, char &state, int &ppid) {
    std::ifstream stat("/proc/" + pid + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return false;
    size_t close = line.rfind(')');
    return close != std::string::npos &&
           std::sscanf(line.c_str() + close + 1, " %c %d", &state, &ppid) == 2;
}

// The workers of this process started from `helper`.
std::vector<pid_t> Workers(const std::string &helper) {
    std::vector<pid_t> found;
    for (const auto &entry : fs::directory_iterator("/proc")) {
        std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream cmdline(entry.path() / "cmdline");
        std::string argv0;
        char state = 0;
        int ppid = 0;
        if (!ProcessStat(name, state, ppid) || !std::getline(cmdline, argv0, '\0')) continue;
        if (ppid == getpid() && state != 'Z' && argv0 == helper)
            found.push_back(static_cast<pid_t>(std::stoi(name)));
    }
    return found;
}

const std::string kHelper = std::string(kFilterDir) + "dxfilter_worker";

// The state letter of `pid` in /proc, or 0 when there is no such process.
char State(pid_t pid) {
    char state = 0;
    int ppid = 0;
    return ProcessStat(std::to_string(pid), state, ppid) ? state : 0;
}

// Kills the worker and waits until all of it is dead: its main thread a
// zombie (until the plug-in reaps it) and no other thread left. Only then are
// its descriptors closed; the main thread turns zombie while other threads
// still exit, and a dying process leaves Workers() earlier still, once its
// memory goes (which takes long for a sanitizer build's mappings).
void KillWorker(pid_t pid) {
    ASSERT_EQ(kill(pid, SIGKILL), 0);
    const fs::path tasks = "/proc/" + std::to_string(pid) + "/task";
    auto dead = [&] {
        std::error_code ec;
        auto threads = std::distance(fs::directory_iterator(tasks, ec), fs::directory_iterator());
        return State(pid) == 'Z' && !ec && threads == 1;
    };
    for (int i = 0; i < 2500 && !dead(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_TRUE(dead());
}

bool Reaped(pid_t pid) {
    return !fs::exists("/proc/" + std::to_string(pid));
}

using DxFilterWorker = PluginTest;

}  // namespace

TEST_F(DxFilterWorker, OneWorkerServesDocumentAfterDocument) {
    ASSERT_NE(plugin->Extract(Data("docs/en.pdf")).text, u"");
    std::vector<pid_t> workers = Workers(kHelper);
    ASSERT_EQ(workers.size(), 1u);
    for (const char *file : {"docs/fr.docx", "docs/de.doc", "docs/es.pdf", "docs/ru.odt"}) {
        Extraction r = plugin->Extract(Data(file));
        EXPECT_EQ(r.openText, 0) << file;
        EXPECT_FALSE(r.text.empty()) << file;
        EXPECT_TRUE(r.opens == 1 && r.closes == 1) << file;
    }
    EXPECT_EQ(Workers(kHelper), workers);
}

TEST_F(DxFilterWorker, AWorkerIsRetiredAfterItsBatchOfRequests) {
    // Libraries that leak on damaged documents cannot grow one worker without bound.
    // A worker left by an earlier test of this process has served some of its
    // batch already: start from a fresh one.
    for (pid_t earlier : Workers(kHelper)) KillWorker(earlier);
    const std::string doc = Data("docs/fr.docx");
    Extraction first = plugin->Extract(doc);
    ASSERT_EQ(first.openText, 0);
    std::vector<pid_t> workers = Workers(kHelper);
    ASSERT_EQ(workers.size(), 1u);
    for (unsigned i = 1; i < dxf::WorkerClient::kRequestsPerWorker; ++i)
        ASSERT_EQ(plugin->Extract(doc).openText, 0) << i;
    EXPECT_EQ(Workers(kHelper), workers);
    Extraction next = plugin->Extract(doc);
    EXPECT_EQ(next.openText, 0);
    EXPECT_EQ(next.text, first.text);
    EXPECT_TRUE(Reaped(workers[0]));
    ASSERT_EQ(Workers(kHelper).size(), 1u);
    EXPECT_NE(Workers(kHelper)[0], workers[0]);
}

TEST_F(DxFilterWorker, AWorkerKilledBetweenDocumentsIsReplacedUnnoticed) {
    Extraction before = plugin->Extract(Data("docs/en.pdf"));
    ASSERT_EQ(before.openText, 0);
    std::vector<pid_t> workers = Workers(kHelper);
    ASSERT_EQ(workers.size(), 1u);
    KillWorker(workers[0]);
    Extraction after = plugin->Extract(Data("docs/en.pdf"));
    EXPECT_EQ(after.openText, 0);
    EXPECT_EQ(after.text, before.text);
    EXPECT_TRUE(Reaped(workers[0]));
    ASSERT_EQ(Workers(kHelper).size(), 1u);
    EXPECT_NE(Workers(kHelper)[0], workers[0]);
}

TEST_F(DxFilterWorker, AWorkerThatDiesOnADocumentFailsThatDocumentOnly) {
    // 400,000 text objects drawn at one spot: the reader takes far longer than 2 s.
    const std::string pile = Data("bad/pile-up.pdf");
    ASSERT_EQ(plugin->Extract(Data("docs/en.pdf")).openText, 0);  // a worker runs
    std::vector<pid_t> workers = Workers(kHelper);
    ASSERT_EQ(workers.size(), 1u);
    // Killed from outside while it works, as a crash or the kernel would.
    std::thread killer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        kill(workers[0], SIGKILL);
    });
    auto start = Clock::now();
    Extraction r = plugin->Extract(pile);
    killer.join();
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1500));
    EXPECT_TRUE(r.opened);
    EXPECT_NE(r.openText, 0);
    EXPECT_TRUE(r.text.empty());
    EXPECT_TRUE(r.opens == 1 && r.closes == 1);
    EXPECT_TRUE(Reaped(workers[0]));
    Extraction next = plugin->Extract(Data("docs/fr.pdf"));
    EXPECT_EQ(next.openText, 0);
    EXPECT_NE(next.utf8().find("boulanger"), std::string::npos) << next.utf8();
}

TEST_F(DxFilterWorker, AnOverrunWithinAPageIsKilledAtTheLimit) {
    auto start = Clock::now();
    Extraction r = plugin->Extract(Data("bad/pile-up.pdf"));
    auto took = Clock::now() - start;
    // Whether the reader is stopped or the worker killed at the limit, a
    // document without any text by then fails as a whole.
    EXPECT_NE(r.openText, 0);
    EXPECT_TRUE(r.text.empty());
    EXPECT_GE(took, std::chrono::milliseconds(1900));
    EXPECT_LT(took, std::chrono::milliseconds(4000));
    EXPECT_TRUE(r.opens == 1 && r.closes == 1);
    Extraction next = plugin->Extract(Data("docs/de.pdf"));
    EXPECT_EQ(next.openText, 0);
    EXPECT_NE(next.utf8().find("Flussufer"), std::string::npos);
}

TEST_F(DxFilterWorker, APageOfManyContentStreamsEndsAtTheLimit) {
    // Read within the limit as far as it goes, or killed at it.
    std::string pdf = Temp("streams.pdf", ManyStreamsPdf(50000));
    auto start = Clock::now();
    Extraction r = plugin->Extract(pdf);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(4000));
    EXPECT_TRUE(r.opens == 1 && r.closes == 1);
    EXPECT_LE(r.text.size(), kTextCap);
}

// A reader that spends `busyNs` on its one step, gives `text` and ends on
// its own, as the PDF reader does at the deadline.
class SlowExtractor : public dxf::Extractor {
  public:
    SlowExtractor(int64_t busyNs, std::string text) : busy_(busyNs), text_(std::move(text)) {}
    int Step(dxf::TextSink &sink) override {
        std::this_thread::sleep_for(std::chrono::nanoseconds(busy_));
        sink.AddUtf8(text_);
        return 0;
    }

  private:
    int64_t busy_;
    std::string text_;
};

TEST(DxFilterTextPump, AReaderThatEndsPastTheDeadlineOverranIt) {
    struct Case {
        int64_t deadlineFromNowNs, busyNs;
        const char *text;
        bool overran, textOut;
    } cases[] = {
        {1'000'000'000, 0, "", false, false},           // ends in time, no text
        {1'000'000'000, 0, "words", false, true},       // ends in time
        {20'000'000, 40'000'000, "", true, false},      // ends past it with nothing
        {20'000'000, 40'000'000, "words", true, true},  // past it: keeps its text
    };
    for (const Case &c : cases) {
        dxf::TextPump pump(std::make_unique<SlowExtractor>(c.busyNs, c.text),
                           DXM_NowNs() + c.deadlineFromNowNs);
        std::u16string units;
        EXPECT_TRUE(pump.Next(units)) << c.text;
        EXPECT_TRUE(pump.exhausted());
        EXPECT_EQ(pump.overran(), c.overran) << c.busyNs << c.text;
        EXPECT_EQ(!units.empty(), c.textOut) << c.text;
    }
}

TEST(DxFilterModuleFile, ADamagedModuleFileIsRefusedBeforeLoading) {
    glotta_test::TempDir dir;
    const std::string whole = std::string(kFilterDir) + "dxfilter_pdf.so";
    ASSERT_TRUE(dxf::ElfFileIsWhole(whole));
    std::string bytes = glotta_test::ReadFile(whole);
    for (size_t cut : {size_t{0}, size_t{10}, size_t{64}, bytes.size() / 2, bytes.size() - 1}) {
        std::string path = dir.write("cut.so", bytes.substr(0, cut));
        EXPECT_FALSE(dxf::ElfFileIsWhole(path)) << cut;
    }
    EXPECT_FALSE(dxf::ElfFileIsWhole(dir.write("text.so", std::string(4096, 'x'))));
    EXPECT_FALSE(dxf::ElfFileIsWhole(dir.str("missing.so")));
    EXPECT_FALSE(dxf::ElfFileIsWhole(dir.str()));
}

TEST(DxFilterModuleFile, ATruncatedModuleFailsTheDocumentsThatNeedIt) {
    // A copy of the filter directory whose PDF module was cut short.
    glotta_test::TempDir dir;
    for (const char *file : {"dxfilter.so", "dxfilter_worker", "dxfilter_office.so",
                             "dxfilter_pdf.so", "dxfilter_msdoc.so"}) {
        fs::copy_file(std::string(kFilterDir) + file, dir.str(file));
        fs::permissions(dir.str(file), fs::perms::owner_all);
    }
    fs::resize_file(dir.str("dxfilter_pdf.so"), fs::file_size(dir.str("dxfilter_pdf.so")) / 2);
    Plugin copy(dir.str() + "/");
    ASSERT_NE(copy.handle, nullptr);
    const std::string helper = dir.str("dxfilter_worker");
    for (int round = 0; round < 2; ++round) {
        Extraction pdf = copy.Extract(kData + "docs/en.pdf");
        EXPECT_TRUE(pdf.opened);
        EXPECT_NE(pdf.openText, 0);
        EXPECT_TRUE(pdf.opens == 1 && pdf.closes == 1);
        Extraction docx = copy.Extract(kData + "docs/en.docx");
        EXPECT_EQ(docx.openText, 0);
        EXPECT_FALSE(docx.text.empty());
    }
    // Refused before it was loaded: the worker never crashed.
    EXPECT_EQ(Workers(helper).size(), 1u);
}
