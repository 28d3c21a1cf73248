// run.cpp - a glotta-scan run: start-up, a reader thread that names the
// documents, and worker threads (the main thread one of them) that detect
// them and, each in its turn, print their records in input order.
#include <errno.h>
#include <limits.h>
#include <malloc.h>
#include <pthread.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "scan/scan.h"
#include "tool/tool.h"

#ifndef GLOTTA_VERSION
#define GLOTTA_VERSION "unknown"
#endif

namespace scan {
namespace {

constexpr char kProgram[] = "glotta-scan";

// The signal (SIGINT or SIGTERM) that asked the run to stop; 0 while none
// has.
std::atomic<int> stopSignal{0};

struct Done {
    std::string line;
    std::string path;
    int code = LANG_OK;
    // The best candidate, for the BIF file.
    std::string language;
    std::string charset;
};

using Queue = OrderedQueue<Document, Done>;

// The queue of the run. Never freed: the reader and the signal thread may
// still hold it when the process ends.
Queue *runQueue = nullptr;

// True once the reader has named its last document.
std::atomic<bool> readerDone{false};

// The engine finds its plug-ins through LD_LIBRARY_PATH. An installed
// glotta-scan lives in <root>/bin next to <root>/_linux/bin, the filter
// directory of its installation, which goes in front of the variable (a
// build-tree binary leaves it alone).
void use_own_installation() {
    char self[PATH_MAX + 1];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) return;
    std::string root(self, static_cast<size_t>(length));
    for (int up = 0; up < 2; ++up) {
        const size_t slash = root.rfind('/');
        if (slash == std::string::npos) return;
        root.resize(slash);
    }
    const std::string filterDir = root + "/_linux/bin";
    struct stat st;
    if (stat((filterDir + "/flt_dx.so").c_str(), &st) != 0) return;
    const char *old = getenv("LD_LIBRARY_PATH");
    std::string value = filterDir;
    if (old && *old) value += std::string(":") + old;
    setenv("LD_LIBRARY_PATH", value.c_str(), 1);
}

// Loads the display names, unless the data directory has none: the loader
// would say so on standard output, which carries nothing but records here.
void load_display_names(const char *dataPath) {
    if (!dataPath) return;
    const std::string file = std::string(dataPath) + "/langname.cfg";
    FILE *probe = fopen(file.c_str(), "r");
    if (!probe) return;
    fclose(probe);
    loadNameMapping(dataPath);
}

Outcome detect(LangContext *context, LangDetectInArg &request, const Options &options) {
    LangDetectOutArg result{};
    Outcome outcome;
    // Each worker detects on a context of its own: the engine makes every call
    // into the document filter under its context's one filter mutex, and the
    // filter's one worker process extracts one document at a time.
    outcome.code = LangDetect(context, &request, &result);
    if (outcome.code == LANG_OK)
        outcome.candidates =
            SelectCandidates(result.candidates, options.candidates, options.distinct);
    LangDetectOutArgFree(&result);
    return outcome;
}

Done finish(const RecordStyle &style, std::string path, Outcome &&outcome) {
    Done done;
    done.line = FormatRecord(style, path, outcome);
    done.code = outcome.code;
    if (!outcome.candidates.empty()) {
        done.language = outcome.candidates.front().language;
        done.charset = outcome.candidates.front().charset;
    }
    done.path = std::move(path);
    return done;
}

// Progress on standard error: count, rate, time left when the total is
// known. Redrawn at most four times a second.
class Progress {
  public:
    explicit Progress(bool on) : on_(on) { clock_gettime(CLOCK_MONOTONIC, &start_); }

    bool On() const { return on_; }

    void Update(uint64_t done, std::optional<uint64_t> total, bool last = false) {
        if (!on_) return;
        const double now = Seconds();
        if (!last && now - drawn_ < 0.25) return;
        drawn_ = now;
        const double rate = now > 0 ? static_cast<double>(done) / now : 0.0;
        char text[160];
        if (total && *total > 0) {
            constexpr int kWidth = 24;
            const int filled =
                static_cast<int>(kWidth * static_cast<double>(done) / static_cast<double>(*total));
            char bar[kWidth + 1];
            for (int i = 0; i < kWidth; ++i) bar[i] = i < filled ? '#' : '.';
            bar[kWidth] = '\0';
            const double left = rate > 0 ? static_cast<double>(*total - done) / rate : 0.0;
            snprintf(text, sizeof text, "\r[%s] %llu/%llu docs  %.1f docs/s  ETA %d:%02d ", bar,
                     static_cast<unsigned long long>(done), static_cast<unsigned long long>(*total),
                     rate, static_cast<int>(left) / 60, static_cast<int>(left) % 60);
        } else {
            snprintf(text, sizeof text, "\r%llu docs  %.1f docs/s ",
                     static_cast<unsigned long long>(done), rate);
        }
        fputs(text, stderr);
        if (last) fputs("\n", stderr);
        fflush(stderr);
    }

  private:
    double Seconds() const {
        timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        return static_cast<double>(now.tv_sec - start_.tv_sec) +
               static_cast<double>(now.tv_nsec - start_.tv_nsec) / 1e9;
    }
    bool on_;
    timespec start_;
    double drawn_ = -1.0;
};

// What the writing saw.
struct Written {
    uint64_t documents = 0;
    bool someFailed = false;   // a document failed, or its BIF record was lost
    bool pipeClosed = false;   // the reader of standard output went away
    bool writeFailed = false;  // standard output could not be written
};

// Writes one finished document: its line, then its BIF record.
void write_done(const Options &options, const Done &done, Written &written) {
    if (fwrite(done.line.data(), 1, done.line.size(), stdout) != done.line.size()) {
        if (errno == EPIPE) {
            written.pipeClosed = true;
        } else {
            fprintf(stderr, "%s: Couldn't write standard output: %s\n", kProgram, strerror(errno));
            written.writeFailed = true;
        }
        return;
    }
    ++written.documents;
    if (done.code != LANG_OK) written.someFailed = true;
    if (!options.bifBase.empty() && done.code == LANG_OK && !done.language.empty()) {
        LangCandidate best{const_cast<char *>(done.language.c_str()),
                           const_cast<char *>(done.charset.c_str()), 0.0f};
        if (!AppendBifRecord(options.bifBase.c_str(), done.path.c_str(), best) ||
            !BifFilesWritten())
            written.someFailed = true;
    }
}

// What every worker shares: the queue, the options and the output. Only
// the worker whose turn it is to write touches `written` and `progress`
// (the queue hands the turn over under its lock).
struct Shared {
    Queue &queue;
    const Options &options;
    const RecordStyle &style;
    Written &written;
    Progress &progress;
};

// Writes a run of finished documents in input order; once standard output
// is gone nothing more is written and the run is cancelled.
void write_run(Shared &shared, const std::vector<Done> &run) {
    Written &written = shared.written;
    for (const Done &done : run) {
        if (written.pipeClosed || written.writeFailed) return;
        write_done(shared.options, done, written);
        if (written.pipeClosed || written.writeFailed) {
            shared.queue.Cancel();
            return;
        }
        if (shared.progress.On())
            shared.progress.Update(written.documents, shared.queue.Closed()
                                                          ? std::optional(shared.queue.Pushed())
                                                          : std::nullopt);
    }
}

// Jobs a worker takes at once.
constexpr size_t kBatch = 16;

// A worker: detects batches of documents and, when its turn comes, writes
// the finished ones in input order.
void work(Shared &shared, LangContext *context) {
    Queue &queue = shared.queue;
    std::vector<Queue::Numbered> jobs;
    std::vector<Queue::Result> results;
    std::vector<Done> run;
    while (queue.Take(kBatch, &jobs)) {
        for (Queue::Numbered &job : jobs) {
            // A stop drops what is not begun yet.
            if (queue.Cancelled()) break;
            Document &document = job.second;
            Outcome outcome;
            if (document.presetCode != LANG_OK) {
                outcome.code = document.presetCode;
            } else {
                LangDetectInArg request{};
                request.docData = document.path.c_str();
                request.detectSize = shared.options.detectSize;
                outcome = detect(context, request, shared.options);
            }
            results.emplace_back(
                job.first, finish(shared.style, std::move(document.path), std::move(outcome)));
        }
        bool writing = queue.Finish(&results, &run);
        while (writing) {
            write_run(shared, run);
            writing = queue.Wrote(&run, [] { fflush(stdout); });
        }
    }
}

// Names every document of the run to the queue, in order.
void read_documents(const Options &options, Queue &queue) {
    const DocumentSink sink = [&](Document &&document) {
        return stopSignal.load() == 0 && queue.Push(std::move(document));
    };
    for (const std::string &path : options.paths) {
        bool more;
        if (path == "-") {
            more = ReadPathList(stdin, options.nulSeparated, sink);
            if (!more && stopSignal.load() == 0)
                fprintf(stderr, "%s: Couldn't read the path list: %s\n", kProgram, strerror(errno));
        } else {
            more = ExpandPath(path, options.recursive, options.followLinks, sink);
        }
        if (!more || stopSignal.load() != 0) break;
    }
    queue.Close();
    readerDone = true;
}

// SIGINT and SIGTERM are taken by a thread of their own: the first stops
// the reading (documents in hand are still reported), a second ends the
// process at once.
void watch_signals(sigset_t signals, Queue *queue) {
    int signal = 0;
    if (sigwait(&signals, &signal) != 0) return;
    stopSignal = signal;
    queue->Cancel();
    if (sigwait(&signals, &signal) == 0) _exit(128 + signal);
}

// Signals the run handles itself; one ignored by whoever started us stays
// ignored.
sigset_t stop_signals() {
    sigset_t set;
    sigemptyset(&set);
    for (int signal : {SIGINT, SIGTERM}) {
        struct sigaction before {};
        if (sigaction(signal, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
        sigaddset(&set, signal);
    }
    return set;
}

int scan_stdin_document(LangContext *context, const Options &options, const RecordStyle &style,
                        Written &written) {
    std::string bytes;
    Outcome outcome;
    outcome.code = ReadDocument(stdin, INT32_MAX, &bytes);
    if (outcome.code == LANG_OK) {
        LangDetectInArg request{};
        request.docData = bytes.data();
        request.docLength = static_cast<int32_t>(bytes.size());
        request.isBuffer = 1;
        request.detectSize = options.detectSize;
        outcome = detect(context, request, options);
    }
    write_done(options, finish(style, "-", std::move(outcome)), written);
    return 0;
}

int run(const Options &options) {
    use_own_installation();
    const unsigned cores = std::thread::hardware_concurrency();
    const int jobs = options.stdinDocument ? 1
                     : options.jobs > 0    ? options.jobs
                                           : static_cast<int>(cores ? cores : 1);
    LangInitArg initArg{options.configFile, options.dataPath};
    std::vector<LangContext *> contexts;
    if (!StartEngines(initArg, static_cast<size_t>(jobs), &contexts)) return kExitUsage;
    LangContext *context = contexts.front();
    load_display_names(LangGetDataPath(context));

    RecordStyle style;
    style.format = options.format;
    style.codes = options.codes;
    style.displayName = [](const char *id) { return LangCode2Name(id); };

    if (!options.bifBase.empty()) {
        BifProtect(BIF_PROTECT_OUTPUT, IdentityOfStream(stdout));
        BifProtect(BIF_PROTECT_LIST, IdentityOfStream(stdin));
    }

    Written written;
    Progress progress(options.progress && isatty(STDERR_FILENO));
    if (options.stdinDocument) {
        scan_stdin_document(context, options, style, written);
    } else {
        runQueue = new Queue(static_cast<size_t>(jobs) * 64 + 64, static_cast<size_t>(jobs));
        Queue *queue = runQueue;

        sigset_t signals = stop_signals();
        pthread_sigmask(SIG_BLOCK, &signals, nullptr);
        std::thread(watch_signals, signals, queue).detach();
        // The reader may wait on standard input long after the workers are
        // done (a stop, a closed pipe): nothing waits for it.
        std::thread(read_documents, std::cref(options), std::ref(*queue)).detach();
        // This thread is one of the workers.
        Shared shared{*queue, options, style, written, progress};
        std::vector<std::thread> workers;
        for (int i = 1; i < jobs; ++i) workers.emplace_back(work, std::ref(shared), contexts[i]);
        work(shared, context);
        for (std::thread &worker : workers) worker.join();
        std::vector<Done> rest;
        queue->Drain(&rest);
        write_run(shared, rest);
        progress.Update(written.documents, queue->Pushed(), true);
    }

    for (LangContext *each : contexts) LangClose(each);
    if (!options.bifBase.empty() && !CloseBifFile()) written.someFailed = true;
    if (!written.pipeClosed && (fflush(stdout) != 0 || ferror(stdout))) {
        if (errno == EPIPE) {
            written.pipeClosed = true;
        } else if (!written.writeFailed) {
            fprintf(stderr, "%s: Couldn't write standard output: %s\n", kProgram, strerror(errno));
            written.writeFailed = true;
        }
    }
    if (written.pipeClosed) {
        // As if the closed pipe had ended us, without a word: what a
        // shell expects of a command in a pipeline.
        signal(SIGPIPE, SIG_DFL);
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        pthread_sigmask(SIG_UNBLOCK, &pipe, nullptr);
        raise(SIGPIPE);
    }
    if (stopSignal.load() != 0) return 128 + stopSignal.load();
    return written.someFailed || written.writeFailed ? kExitSomeFailed : kExitOk;
}

}  // namespace

bool StartEngines(const LangInitArg &arg, size_t count, std::vector<LangContext *> *contexts,
                  const EngineCalls &calls) {
    for (size_t i = 0; i < count; ++i) {
        LangContext *context = nullptr;
        const int started = calls.init(&context, &arg);
        if (started < 0) {
            fprintf(stderr, "%s: Error %d: %s (in initializing language detection module).\n",
                    kProgram, started, LangErrorMsg(started));
            calls.close(context);
            for (LangContext *other : *contexts) calls.close(other);
            contexts->clear();
            return false;
        }
        if (started > 0 && i == 0) {
            fprintf(stderr, "%s: Warn %d: %s (in initializing language detection module).\n",
                    kProgram, started, LangErrorMsg(-started));
        }
        contexts->push_back(context);
    }
    return true;
}

bool ReaderStillRunning() {
    return runQueue && !readerDone.load();
}

int Main(int argc, char **argv) {
    // As in the glotta tool: each document allocates and frees a few hundred
    // kilobytes, which glibc would otherwise map and unmap every time.
    mallopt(M_MMAP_THRESHOLD, 8 << 20);
    mallopt(M_TRIM_THRESHOLD, 32 << 20);
    // A closed output pipe shows as EPIPE on the write that meets it.
    signal(SIGPIPE, SIG_IGN);
    // Beyond a file size limit a write fails (and is reported) instead.
    signal(SIGXFSZ, SIG_IGN);

    // Static: a reader still waiting on standard input at the end holds it.
    static Options options;
    std::string error;
    switch (ParseOptions(argc, argv, &options, &error)) {
        case ParseResult::kHelp:
            fputs(HelpText().c_str(), stdout);
            return kExitOk;
        case ParseResult::kVersion:
            printf("%s %s\n", kProgram, GLOTTA_VERSION);
            return kExitOk;
        case ParseResult::kListCharsets:
            fputs(CharsetList().c_str(), stdout);
            return kExitOk;
        case ParseResult::kUsageError:
            fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", kProgram,
                    error.c_str(), kProgram);
            return kExitUsage;
        case ParseResult::kRun:
            break;
    }
    return run(options);
}

}  // namespace scan
