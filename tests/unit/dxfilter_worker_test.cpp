// The extraction worker of the filter plug-in: a worker that dies, overruns
// or finds a damaged module costs the document at hand and nothing else.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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
    // One worker serves document after document, of any module.
    const char *const others[] = {"docs/de.doc", "docs/es.pdf", "docs/ru.odt"};
    for (unsigned i = 1; i < dxf::WorkerClient::kRequestsPerWorker; ++i) {
        const Extraction r = plugin->Extract(i <= 3 ? Data(others[i - 1]) : doc);
        ASSERT_TRUE(r.openText == 0 && !r.text.empty()) << i;
        EXPECT_TRUE(r.opens == 1 && r.closes == 1) << i;
    }
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
    // The death ends the wait: a plug-in that missed it would sit until the
    // wall-clock backstop (60 s). No tighter bound: the machine may be busy.
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(30));
    EXPECT_TRUE(r.opened);
    EXPECT_NE(r.openText, 0);
    EXPECT_TRUE(r.text.empty());
    EXPECT_TRUE(r.opens == 1 && r.closes == 1);
    EXPECT_TRUE(Reaped(workers[0]));
    Extraction next = plugin->Extract(Data("docs/fr.pdf"));
    EXPECT_EQ(next.openText, 0);
    EXPECT_NE(next.utf8().find("boulanger"), std::string::npos) << next.utf8();
}

TEST_F(DxFilterWorker, AnOverrunWithinAPageEndsTheDocumentAtTheLimit) {
    ASSERT_EQ(plugin->Extract(Data("docs/en.pdf")).openText, 0);  // a worker runs
    std::vector<pid_t> workers = Workers(kHelper);
    ASSERT_EQ(workers.size(), 1u);
    Extraction r = plugin->Extract(Data("bad/pile-up.pdf"));
    // The page alone takes longer than the limit. Whether the reader stops
    // itself at the deadline or the worker is killed after the grace period
    // depends on how far into the page the reader's checks fall (and so on
    // the build and the machine); either way a document without any text by
    // then fails as a whole, and the next document is read.
    EXPECT_NE(r.openText, 0);
    EXPECT_TRUE(r.text.empty());
    EXPECT_TRUE(r.opens == 1 && r.closes == 1);
    Extraction next = plugin->Extract(Data("docs/de.pdf"));
    EXPECT_EQ(next.openText, 0);
    EXPECT_NE(next.utf8().find("Flussufer"), std::string::npos);
    // A worker that was not killed is the one that goes on serving.
    if (!Reaped(workers[0])) {
        EXPECT_EQ(Workers(kHelper), workers);
    }
}

TEST_F(DxFilterWorker, APageOfManyContentStreamsEndsAtTheLimit) {
    // Read within the limit as far as it goes, or killed at it.
    std::string pdf = Temp("streams.pdf", ManyStreamsPdf(50000));
    Extraction r = plugin->Extract(pdf);
    EXPECT_TRUE(r.opens == 1 && r.closes == 1);
    EXPECT_LE(r.text.size(), kTextCap);
}

// The clock of the text pumps below: CPU time that only the readers spend.
int64_t fakeCpuNs = 0;
int64_t FakeCpu() {
    return fakeCpuNs;
}

// A reader that spends `busyNs` of (fake) CPU time on each of `steps` steps,
// giving `text` each time, and ends on its own, as the PDF reader does at the
// deadline.
class SlowExtractor : public dxf::Extractor {
  public:
    SlowExtractor(int64_t busyNs, std::string text, int steps = 1)
        : busy_(busyNs), text_(std::move(text)), steps_(steps) {}
    int Step(dxf::TextSink &sink) override {
        fakeCpuNs += busy_;
        sink.AddUtf8(text_);
        sink.Break();
        return --steps_ > 0 ? 1 : 0;
    }

  private:
    int64_t busy_;
    std::string text_;
    int steps_;
};

TEST(DxFilterTextPump, TheDeadlineIsOnTheReadersClock) {
    struct Case {
        int64_t deadlineFromNowNs, busyNs;
        int steps;
        const char *text;
        bool overran, textOut;
        size_t lines;
    } cases[] = {
        {1'000'000'000, 0, 1, "", false, false, 0},             // ends in time, no text
        {1'000'000'000, 0, 1, "words", false, true, 1},         // ends in time
        {20'000'000, 40'000'000, 1, "", true, false, 0},        // ends past it with nothing
        {20'000'000, 40'000'000, 1, "words", true, true, 1},    // past it: keeps its text
        {100'000'000, 40'000'000, 5, "words", true, true, 3},   // stopped after the third step
        {200'000'000, 40'000'000, 5, "words", false, true, 5},  // ends at the deadline
    };
    for (const Case &c : cases) {
        fakeCpuNs = 5'000'000'000;
        dxf::TextPump pump(std::make_unique<SlowExtractor>(c.busyNs, c.text, c.steps),
                           fakeCpuNs + c.deadlineFromNowNs, &FakeCpu);
        std::u16string units;
        EXPECT_TRUE(pump.Next(units)) << c.text;
        EXPECT_TRUE(pump.exhausted());
        EXPECT_EQ(pump.overran(), c.overran) << c.busyNs << c.text << c.steps;
        EXPECT_EQ(!units.empty(), c.textOut) << c.text;
        EXPECT_EQ(static_cast<size_t>(std::count(units.begin(), units.end(), u'\n')), c.lines)
            << c.steps;
    }
    // However long the reader takes on the wall clock, only its CPU time
    // counts: the same document gives the same text on a busy machine.
    fakeCpuNs = 0;
    dxf::TextPump pump(std::make_unique<SlowExtractor>(0, "words", 3), 1, &FakeCpu);
    std::u16string units;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_TRUE(pump.Next(units));
    EXPECT_EQ(units, u"words\nwords\nwords\n");
    EXPECT_FALSE(pump.overran());
}

// The sink passes over a run of blanks at once; what it produces must be what
// the same bytes give one at a time: blanks at a line's start dropped, a run
// owed as one space, a blank ending a cut UTF-8 sequence, wrapping, the cap.
TEST(DxFilterTextSink, BlankRunsFoldAsTheirBytesDoOneByOne) {
    // Blanks, letters, line ends, whole and cut multi-byte sequences.
    const std::string_view pieces[] = {" ",    "\t",           "  \t ",    "a",
                                       "Wort", "\n",           "\r\n",     "\xC3\xA9",
                                       "\xC3", "\xE2\x80\x83", "\xE3\x81", "\xF0\x9F\x98\x80"};
    uint32_t seed = 12345;
    for (int round = 0; round < 400; ++round) {
        std::string text;
        for (int n = 0; n < 40; ++n) {
            seed = seed * 1103515245u + 12345u;
            text += pieces[(seed >> 16) % std::size(pieces)];
        }
        const size_t cap = round % 4 == 3 ? 30 : 4096;
        dxf::TextSink whole(cap), bytes(cap);
        // Pieces of the text in calls of varying length, and byte by byte.
        for (size_t at = 0, step = 1 + round % 7; at < text.size(); at += step)
            whole.AddUtf8(std::string_view(text).substr(at, step));
        for (char c : text) bytes.AddUtf8(std::string_view(&c, 1));
        whole.Finish();
        bytes.Finish();
        std::u16string a, b;
        whole.Take(SIZE_MAX, a);
        bytes.Take(SIZE_MAX, b);
        ASSERT_EQ(a, b) << round;
    }
    dxf::TextSink sink(4096);
    sink.AddUtf8("  lead" + std::string(1 << 20, ' ') + "\t\ttail  ");
    sink.Finish();
    std::u16string units;
    sink.Take(SIZE_MAX, units);
    EXPECT_EQ(units, u"lead tail\n");
}

TEST(DxFilterWorkerLimit, TheWorkerIsKilledAtItsCpuLimitOrTheWallClockBackstop) {
    using dxf::kWorkerPollNs;
    using dxf::WorkerWaitNs;
    const dxf::WorkerLimit limit{10'000'000'000, 3'000'000'000};
    // Within both limits: look again after a poll interval at most, and not
    // after the CPU limit could have passed.
    EXPECT_EQ(WorkerWaitNs(limit, 0, 0), kWorkerPollNs);
    EXPECT_EQ(WorkerWaitNs(limit, 9'990'000'000, 0), 10'000'000);
    EXPECT_EQ(WorkerWaitNs(limit, 0, 2'995'000'000), 5'000'000);
    // Either limit reached: stop waiting. A worker that burns CPU is stopped
    // however early on the wall clock; one that is blocked or starved
    // without using CPU time is stopped by the wall clock alone.
    EXPECT_EQ(WorkerWaitNs(limit, 0, 3'000'000'000), 0);
    EXPECT_EQ(WorkerWaitNs(limit, 10'000'000'000, 0), 0);
    EXPECT_EQ(WorkerWaitNs(limit, 11'000'000'000, 1), 0);
    // A CPU clock that cannot be read, or no CPU limit: the wall clock alone.
    EXPECT_EQ(WorkerWaitNs(limit, 0, -1), kWorkerPollNs);
    EXPECT_EQ(WorkerWaitNs({10'000'000'000}, 0, 50'000'000'000), kWorkerPollNs);
    EXPECT_EQ(WorkerWaitNs({10'000'000'000}, 10'000'000'000, -1), 0);
    // The backstop leaves a worker starved of CPU by a loaded machine its
    // full CPU time: far more than the CPU limit and its grace.
    static_assert(dxf::kMaxDocumentWallNs >= 20 * (dxf::kMaxDocumentCpuNs + dxf::kWorkerGraceNs));
}

TEST(DxFilterWorkerLimit, TheKernelsCpuLimitLiesBeyondThePluginsLimit) {
    // Whole seconds: from the grace on, within two seconds more.
    constexpr int64_t kSecond = 1'000'000'000;
    for (int64_t used : {int64_t{0}, kSecond / 2, kSecond - 1, kSecond, 7 * kSecond + 123}) {
        const int64_t soft = dxf::WorkerCpuSoftLimitSeconds(used) * kSecond;
        EXPECT_GE(soft, used + dxf::kMaxDocumentCpuNs + dxf::kWorkerGraceNs + kSecond) << used;
        EXPECT_LT(soft, used + dxf::kMaxDocumentCpuNs + dxf::kWorkerGraceNs + 2 * kSecond) << used;
    }
}

TEST(DxFilterWorkerLimit, AWorkerThatDoesNotAnswerIsKilledAtTheWallClockBackstop) {
    // A worker stopped by a signal uses no CPU time: only the wall clock
    // ends the wait for it.
    dxf::WorkerClient client(kHelper, kFilterDir, kFilterDir);
    dxf::DocumentBytes doc;
    doc.bytes = glotta_test::ReadFile(kData + "docs/en.pdf");
    doc.size = static_cast<int64_t>(doc.bytes.size());
    dxf::WorkerChunk chunk;
    ASSERT_NE(client.Extract(doc, DX_FMT_PDF, dxf::kMaxDocumentCpuNs,
                             DXM_WallNs() + dxf::kMaxDocumentWallNs, chunk),
              0u);
    ASSERT_FALSE(chunk.units.empty());
    const pid_t worker = client.pid();
    ASSERT_GT(worker, 0);
    ASSERT_EQ(kill(worker, SIGSTOP), 0);
    EXPECT_EQ(
        client.Extract(doc, DX_FMT_PDF, dxf::kMaxDocumentCpuNs, DXM_WallNs() + 200'000'000, chunk),
        0u);
    EXPECT_TRUE(Reaped(worker));
    // The next document gets a new worker.
    EXPECT_NE(client.Extract(doc, DX_FMT_PDF, dxf::kMaxDocumentCpuNs,
                             DXM_WallNs() + dxf::kMaxDocumentWallNs, chunk),
              0u);
    EXPECT_NE(client.pid(), worker);
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
