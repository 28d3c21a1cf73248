// ps_module.cpp - dxfilter_ps.so: the text PostScript documents (PostScript,
// EPS, EPS with a DOS binary header) draw, read by Ghostscript.
//
// Ghostscript interprets the document with its `txtwrite` device, which
// reports every glyph a page draws with its box, in drawing order
// (-dTextFormat=0); ps_layout.cpp lays the glyphs out in reading order. (The
// device's own layout of lines, -dTextFormat=3, orders lines drawn at one
// height differently from run to run.)
// Ghostscript runs a document in one call that cannot be interrupted on this
// platform (its poll callback is only called on Windows), keeps global state
// and may be driven into any loop by the program it runs; so each document
// runs in a process of its own, forked from the worker for it, and gone
// with everything Ghostscript did whatever happens inside. Reading
// Ghostscript's initialisation files and fonts takes nearly all of the time
// of a short document: the worker does it once, at its first document, in an
// instance initialised with every argument of the run but the program (its
// output file is opened at the first page, in the document's process), which
// never runs a document itself. Each document's process is forked from that
// state and runs only its document, so every document starts from the same
// state and none sees what another did. Should the initialisation fail in the
// worker, each document's process initialises an instance of its own, as
// Ghostscript is run on its command line. The worker waits for the process
// and watches its CPU clock: at the document's deadline the process is
// killed.
// Its glyphs go to an anonymous file (the device's output file) that the
// worker reads afterwards, a step at a time: the pages finished before the end or an error
// (Ghostscript buffers what it writes, so a process killed at the deadline
// leaves only what it had flushed, usually nothing). The process reads the document from memory
// through Ghostscript's standard input callback, opens no file but Ghostscript's own resources and
// that output file (-dSAFER: the document's file operators are refused), may
// write no more than the glyph cap (RLIMIT_FSIZE) and dies with the worker.
#include <fcntl.h>
#include <ghostscript/gserrors.h>
#include <ghostscript/iapi.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "doctype/dx_abi.h"
#include "filters/dxfilter/dx_module.h"
#include "filters/dxfilter/module_stream.h"
#include "filters/dxfilter/ps_layout.h"
#include "filters/dxfilter/sniff.h"

namespace {

// What the device may write: a glyph takes 40 to 55 bytes of it (its box,
// its text as a character reference), so the sink's 512 Ki UTF-16 units take
// up to 28 MiB; the spaces between words come from gaps and take none.
constexpr uint64_t kMaxGlyphBytes = 32u << 20;
// The device's output read per step.
constexpr size_t kStepBytes = 64 * 1024;
// The most CPU time a document's process is given, whatever the deadline.
constexpr int64_t kMaxBudgetNs = 10'000'000'000;
// The output file's descriptor in the document's process.
constexpr int kTextFd = 3;
// Exit statuses of the document's process.
constexpr int kExitDone = 0;    // the document ran to its end
constexpr int kExitFailed = 1;  // Ghostscript stopped on an error

int64_t Nanoseconds(const timespec &ts) {
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// ---- the document's process --------------------------------------------------------

struct Input {
    std::string_view program;
    size_t pos = 0;
};

// What Ghostscript's standard input gives: set in the document's process,
// before it runs the document.
Input input;

int GSDLLCALL read_input(void *handle, char *buffer, int length) {
    auto *in = static_cast<Input *>(handle);
    const size_t n =
        std::min<size_t>(static_cast<size_t>(std::max(length, 0)), in->program.size() - in->pos);
    std::memcpy(buffer, in->program.data() + in->pos, n);
    in->pos += n;
    return static_cast<int>(n);
}

// The interpreter's own output (`print`, error reports) is not the
// document's text.
int GSDLLCALL discard_output(void *, const char *, int length) {
    return length;
}

// -dSAFER lets a document read, write and delete files in the temporary
// directory, as it is named when Ghostscript is initialised and when it makes
// a temporary file: a directory that cannot exist takes its place.
constexpr char kNoTemporaryDirectory[] = "/dev/null/";

// The program Ghostscript runs after the document: an EPS file or a page left
// without showpage is shown (an extra empty page gives no text).
constexpr char kShowLastPage[] = "systemdict /showpage get exec";

// Ghostscript's arguments for a run: those of every document, then, with
// `withProgram`, the program from standard input ("-") and the last page
// shown. -dNOPLATFONTS: Ghostscript's own fonts only, the same text on every
// machine.
std::vector<std::string> Arguments(uint32_t maxPages, bool withProgram) {
    std::vector<std::string> args = {"gs",
                                     "-dSAFER",
                                     "-dBATCH",
                                     "-dNOPAUSE",
                                     "-dQUIET",
                                     "-dNOPLATFONTS",
                                     "-sDEVICE=txtwrite",
                                     "-dTextFormat=0",
                                     "-sOutputFile=/proc/self/fd/" + std::to_string(kTextFd),
                                     "-dLastPage=" + std::to_string(maxPages)};
    if (withProgram) args.insert(args.end(), {"-", "-c", kShowLastPage});
    return args;
}

// A new Ghostscript instance initialised with `args` (reading the program
// from `input`), and the code of its initialisation.
std::pair<void *, int> NewInstance(const std::vector<std::string> &args) {
    void *gs = nullptr;
    if (gsapi_new_instance(&gs, &input) < 0) return {nullptr, gs_error_Fatal};
    gsapi_set_stdio_with_handle(gs, read_input, discard_output, discard_output, &input);
    gsapi_set_arg_encoding(gs, GS_ARG_ENCODING_UTF8);
    std::vector<char *> argv;
    for (const std::string &arg : args) argv.push_back(const_cast<char *>(arg.c_str()));
    return {gs, gsapi_init_with_args(gs, static_cast<int>(argv.size()), argv.data())};
}

// Runs `program` in the forked process and ends it: in `ready`, the
// worker's initialised instance, or, without one, in an instance of its own.
[[noreturn]] void RunGhostscript(void *ready, std::string_view program, int textFd,
                                 int64_t budgetNs, uint32_t maxPages) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    // The text cap: a write beyond it fails (EFBIG) instead of killing.
    signal(SIGXFSZ, SIG_IGN);
    const rlimit fsize{kMaxGlyphBytes, kMaxGlyphBytes};
    setrlimit(RLIMIT_FSIZE, &fsize);
    // The kernel's backstop should the worker not kill it in time.
    rlimit cpu{};
    if (getrlimit(RLIMIT_CPU, &cpu) == 0) {
        const rlim_t seconds = static_cast<rlim_t>(budgetNs / 1000000000 + 2);
        if (cpu.rlim_cur == RLIM_INFINITY || cpu.rlim_cur > seconds) cpu.rlim_cur = seconds;
        if (cpu.rlim_max != RLIM_INFINITY && cpu.rlim_cur > cpu.rlim_max)
            cpu.rlim_cur = cpu.rlim_max;
        setrlimit(RLIMIT_CPU, &cpu);
    }
    // Nothing of the worker's but the output file: /dev/null as standard
    // input, output and error, every other descriptor closed.
    if (textFd != kTextFd && dup2(textFd, kTextFd) < 0) _exit(kExitFailed);
    const int null = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null < 0) _exit(kExitFailed);
    for (int fd = 0; fd <= 2; ++fd)
        if (dup2(null, fd) < 0) _exit(kExitFailed);
    close_range(kTextFd + 1, ~0u, 0);
    setenv("TMPDIR", kNoTemporaryDirectory, 1);

    input = Input{program};
    void *gs = ready;
    int code = 0;
    if (gs) {
        // What the command line does with "-" and "-c": the program from
        // standard input, then, unless it failed, the last page; then the
        // end of the arguments.
        int exitCode = 0;
        code = gsapi_run_string(gs, ".runstdin", 1, &exitCode);
        if (code >= 0)
            code = gsapi_run_string(gs, (std::string("(") + kShowLastPage + ") .runstring").c_str(),
                                    1, &exitCode);
        if (code >= 0) code = gs_error_Quit;
    } else {
        std::tie(gs, code) = NewInstance(Arguments(maxPages, true));
        if (!gs) _exit(kExitFailed);
    }
    const int exited = gsapi_exit(gs);
    gsapi_delete_instance(gs);
    _exit((code == 0 || code == gs_error_Quit) && exited == 0 ? kExitDone : kExitFailed);
}

// ---- the worker's instance ---------------------------------------------------------

// The Ghostscript instance of the worker, initialised for one page cap: the
// first document's, again when a document comes with another.
struct Interpreter {
    void *gs = nullptr;
    uint32_t maxPages = 0;
    bool tried = false;  // for maxPages: nullptr then means it failed

    // The instance initialised for `pages`, or nullptr if Ghostscript cannot
    // be initialised with these arguments here.
    void *For(uint32_t pages) {
        if (tried && pages == maxPages) return gs;
        Close();
        tried = true;
        maxPages = pages;
        // The temporary directory that -dSAFER opens to is the one named now:
        // none, as in the documents' processes; the worker's own stays as it
        // was.
        const char *temporary = getenv("TMPDIR");
        const std::optional<std::string> saved =
            temporary ? std::optional<std::string>(temporary) : std::nullopt;
        setenv("TMPDIR", kNoTemporaryDirectory, 1);
        const auto [instance, code] = NewInstance(Arguments(pages, false));
        if (saved)
            setenv("TMPDIR", saved->c_str(), 1);
        else
            unsetenv("TMPDIR");
        gs = instance;
        if (gs && code != 0) Close();
        return gs;
    }
    void Close() {
        if (!gs) return;
        gsapi_exit(gs);
        gsapi_delete_instance(gs);
        gs = nullptr;
    }
};

Interpreter interpreter;

// ---- the module --------------------------------------------------------------------

enum class Outcome { kDone, kFailed, kOverran };

// A descriptor closed when it goes out of scope.
struct Descriptor {
    explicit Descriptor(int f) : fd(f) {}
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    ~Descriptor() {
        if (fd >= 0) close(fd);
    }
    int fd;
};

struct PsDocument {
    std::string program;
    int64_t deadlineNs = 0;
    uint32_t maxPages = 0;
    Outcome outcome = Outcome::kDone;
    Descriptor glyphs{-1};    // the device's output
    uint64_t glyphBytes = 0;  // its size
    uint64_t read = 0;        // what has been read of it
    dxf::PsGlyphReader reader;
    std::string text;  // laid-out lines not yet handed to the sink
    size_t pos = 0;    // what the sink has had of them

    // Reads the next step of the device's output into `text`; false at its
    // end.
    bool ReadStep() {
        if (read >= glyphBytes) return false;
        std::string chunk(static_cast<size_t>(std::min<uint64_t>(kStepBytes, glyphBytes - read)),
                          '\0');
        const ssize_t got = pread(glyphs.fd, chunk.data(), chunk.size(), static_cast<off_t>(read));
        text.erase(0, pos);
        pos = 0;
        if (got <= 0) {
            read = glyphBytes;
        } else {
            read += static_cast<uint64_t>(got);
            reader.Feed(std::string_view(chunk.data(), static_cast<size_t>(got)), text);
        }
        // A page cut by the cap or the deadline gives the glyphs it has.
        if (read >= glyphBytes) reader.Finish(text);
        return true;
    }
};

// Runs the document in a process of its own; its glyphs into `doc.glyphs`,
// and the first text in `doc.text`.
void Run(PsDocument &doc) {
    doc.outcome = Outcome::kFailed;
    if (doc.deadlineNs <= DXM_CpuNs()) {
        doc.outcome = Outcome::kOverran;
        return;
    }
    // Before the budget is taken, so that the initialisation counts against
    // the first document's deadline, as it did in the document's process.
    void *ready = interpreter.For(doc.maxPages);
    const int64_t budgetNs = std::min(doc.deadlineNs - DXM_CpuNs(), kMaxBudgetNs);
    if (budgetNs <= 0) {
        doc.outcome = Outcome::kOverran;
        return;
    }
    doc.glyphs.fd = memfd_create("dxfilter-ps-glyphs", MFD_CLOEXEC);
    const Descriptor &text = doc.glyphs;
    if (text.fd < 0) return;
    const pid_t pid = fork();
    if (pid == 0) RunGhostscript(ready, doc.program, text.fd, budgetNs, doc.maxPages);
    if (pid < 0) return;
    clockid_t clock{};
    const bool clocked = clock_getcpuclockid(pid, &clock) == 0;
    // Readable once the process has ended: the wait below ends at once then.
    const Descriptor exited(static_cast<int>(syscall(SYS_pidfd_open, pid, 0)));
    int status = 0;
    bool killed = false;
    for (int nap = 1;;) {
        const pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid) break;
        if (r < 0 && errno != EINTR) {
            status = W_EXITCODE(kExitFailed, 0);
            break;
        }
        timespec used{};
        if (!killed && clocked && clock_gettime(clock, &used) == 0 &&
            Nanoseconds(used) > budgetNs) {
            kill(pid, SIGKILL);
            killed = true;
        }
        if (exited.fd >= 0) {
            pollfd wait{exited.fd, POLLIN, 0};
            poll(&wait, 1, nap);
        } else {
            usleep(static_cast<useconds_t>(nap) * 1000);
        }
        nap = std::min(nap * 2, 10);
    }
    struct stat st {};
    if (fstat(text.fd, &st) == 0 && st.st_size > 0)
        doc.glyphBytes = std::min<uint64_t>(static_cast<uint64_t>(st.st_size), kMaxGlyphBytes);
    // The first text there is, so that a document without any fails to open.
    while (doc.text.empty() && doc.ReadStep()) {
    }
    if (killed || (WIFSIGNALED(status) && WTERMSIG(status) == SIGXCPU))
        doc.outcome = Outcome::kOverran;
    else if (WIFEXITED(status) && WEXITSTATUS(status) == kExitDone)
        doc.outcome = Outcome::kDone;
}

DXMExtractor *ps_open(DXStream *stream, int64_t size, int format, const DXMLimits *limits) {
    if (!stream || !limits || format != DX_FMT_POSTSCRIPT || size <= 0 ||
        static_cast<uint64_t>(size) > limits->maxPartBytes)
        return nullptr;
    try {
        std::string bytes;
        if (!dxf::ReadWholeStream(stream, size, bytes)) return nullptr;
        const auto section = dxf::PostScriptSectionOf(
            std::span(reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size()),
            bytes.size());
        if (!section) return nullptr;
        auto doc = std::make_unique<PsDocument>();
        doc->program = bytes.substr(section->offset, section->length);
        doc->deadlineNs = limits->deadlineNs;
        doc->maxPages = limits->maxParts ? limits->maxParts : UINT32_MAX;
        std::string().swap(bytes);
        // Ghostscript runs here, so that a document that fails or runs out
        // of time before any text fails to open its text.
        Run(*doc);
        std::string().swap(doc->program);
        if (doc->outcome != Outcome::kDone && doc->text.empty()) return nullptr;
        return reinterpret_cast<DXMExtractor *>(doc.release());
    } catch (...) {
        return nullptr;
    }
}

int ps_step(DXMExtractor *extractor, DXMSink *sink) {
    auto *doc = reinterpret_cast<PsDocument *>(extractor);
    try {
        if (doc->pos >= doc->text.size()) doc->ReadStep();
        const size_t end = std::min(doc->text.size(), doc->pos + kStepBytes);
        while (doc->pos < end) {
            size_t eol = doc->text.find('\n', doc->pos);
            if (eol == std::string::npos) eol = doc->text.size();
            std::string_view line(doc->text.data() + doc->pos, eol - doc->pos);
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            doc->pos = eol + 1;
            if (!line.empty() && sink->text(sink->self, line.data(), line.size())) return 0;
            sink->brk(sink->self);
        }
        // The pages finished before an error are the document's text.
        return doc->pos < doc->text.size() || doc->read < doc->glyphBytes ? 1 : 0;
    } catch (...) {
        return -1;
    }
}

void ps_close(DXMExtractor *extractor) {
    delete reinterpret_cast<PsDocument *>(extractor);
}

constexpr DXModule kModule = {DXM_ABI_VERSION, nullptr, nullptr, ps_open, ps_step, ps_close};

}  // namespace

extern "C" __attribute__((visibility("default"))) const DXModule *DXM_GetModule(void) {
    return &kModule;
}
