/* scan.h - glotta-scan, the pipeline-friendly command: one record line per
 * document, in input order, from several worker threads.
 *
 * The program is split so that everything but the threads and the terminal
 * can be tested on its own: options (options.cpp), record lines (record.cpp),
 * the documents a run names (inputs.cpp), the ordered hand-over from the
 * reader to the workers and their output (below) and the run itself
 * (run.cpp). */
#ifndef GLOTTA_SCAN_SCAN_H
#define GLOTTA_SCAN_SCAN_H

#include <stdint.h>
#include <stdio.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/lang_api.h"

namespace scan {

/* Exit status: every document identified, some failed, usage or start-up. */
enum ExitStatus { kExitOk = 0, kExitSomeFailed = 1, kExitUsage = 2 };

/* ---- options (options.cpp) --------------------------------------------- */

enum class Format { kTsv, kJsonl };
enum class Codes { kGlotta, kBcp47 };

struct Options {
    std::vector<std::string> paths; /* as given; "-" reads paths from stdin */
    bool recursive = false;         /* -r: walk directories */
    bool followLinks = false;       /* -L: follow symbolic links while walking */
    bool nulSeparated = false;      /* -0: stdin paths end in NUL, not LF */
    bool stdinDocument = false;     /* --stdin-doc: stdin is the document */
    Format format = Format::kTsv;
    Codes codes = Codes::kGlotta;
    int candidates = 1;    /* -n */
    bool distinct = false; /* --distinct: N distinct languages */
    int jobs = 0;          /* -j; 0: the number of cores */
    bool progress = false;
    std::string bifBase;              /* --bif; empty: none */
    const char *dataPath = nullptr;   /* --data-path */
    const char *configFile = nullptr; /* --config */
    int32_t detectSize = 0;           /* --size; 0: the engine default */
};

enum class ParseResult { kRun, kHelp, kVersion, kListCharsets, kUsageError };

/* Parses the command line with getopt_long. A usage error leaves its
 * message (without the program name) in *error. */
ParseResult ParseOptions(int argc, char **argv, Options *options, std::string *error);

/* The --help text. */
std::string HelpText();

/* The --list-charsets text: one line per charset name the engine reports,
 * its standard name after a tab. */
std::string CharsetList();

/* ---- records (record.cpp) ---------------------------------------------- */

/* One candidate as a record shows it. */
struct Candidate {
    std::string language; /* the engine's identifier */
    std::string charset;  /* the engine's charset name */
    float score = 0.0f;
};

/* The outcome of one document: a result code and, on success, its
 * candidates best first (already cut to -n / --distinct). */
struct Outcome {
    int code = LANG_OK;
    std::vector<Candidate> candidates;
};

/* The first `count` candidates of an engine list, or with `distinct` the
 * first candidate of each of the first `count` languages. */
std::vector<Candidate> SelectCandidates(const LangCandidate *list, int count, bool distinct);

/* A language identifier as BCP 47 ("zt" is "zh-Hant", "un" "und");
 * identifiers that already are tags stay as they are. */
std::string_view Bcp47Code(std::string_view code);

/* Appends `bytes` as a JSON string with its quotes. Valid UTF-8 stays as it
 * is (but for the escapes JSON requires); every byte that is not part of
 * valid UTF-8 becomes \udcXX, the lone low surrogate that Python's
 * "surrogateescape" uses, so os.fsencode() gives the original bytes back. */
void AppendJsonString(std::string &out, std::string_view bytes);

/* Appends `bytes` as one TSV field: backslash, tab, line feed and carriage
 * return become \\, \t, \n and \r; every other byte stays as it is. */
void AppendTsvField(std::string &out, std::string_view bytes);

/* How records look. `displayName` maps a language identifier to its
 * display name. */
struct RecordStyle {
    Format format = Format::kTsv;
    Codes codes = Codes::kGlotta;
    std::function<const char *(const char *)> displayName;
};

/* The record line of one document, with its final line feed. */
std::string FormatRecord(const RecordStyle &style, std::string_view path, const Outcome &outcome);

/* ---- inputs (inputs.cpp) ----------------------------------------------- */

/* One document to report on: its path and, when it is known before any
 * detection that it cannot be read (a directory that cannot be walked), the
 * result code to report instead. */
struct Document {
    std::string path;
    int presetCode = LANG_OK;
};

/* Receives the documents in order; returns false to stop the enumeration. */
using DocumentSink = std::function<bool(Document &&)>;

/* Splits what `in` holds into paths: lines (a final CR of a line goes too,
 * empty lines are skipped) or, with `nul`, NUL-terminated names (empty ones
 * skipped). A line longer than PATH_MAX bytes names no file: its first
 * PATH_MAX bytes go on as a document with LANG_ERR_NOFILE. Stops early when
 * the sink says so. False on a read error. */
bool ReadPathList(FILE *in, bool nul, const DocumentSink &sink);

/* Reads what is left of `in` into *bytes, at most `limit` bytes: LANG_OK;
 * LANG_ERR_NOMEM when `in` holds more (reading stops one byte past the
 * limit) or the memory runs out; LANG_ERR_OPEN on a read error. */
int ReadDocument(FILE *in, size_t limit, std::string *bytes);

/* Names one path given by the user: itself, or with `recursive` and a
 * directory, every file below it in byte order of the names, directories
 * walked depth first; symbolic links met while walking are followed only with
 * `followLinks` (each directory once per branch, so loops end). Directories
 * that cannot be read become documents with LANG_ERR_OPEN. */
bool ExpandPath(const std::string &path, bool recursive, bool followLinks,
                const DocumentSink &sink);

/* ---- ordered hand-over ------------------------------------------------ */

/* Documents numbered 0, 1, ... in input order go to the workers and come
 * back as finished results, written in the same order, with at most `window`
 * of them between the reader and the writing at any time.
 *
 * There is no writer thread: the worker that finishes results which can be
 * written takes the turn to write them (one worker at a time), so a run of
 * N jobs keeps N threads busy, not N + 1 that wake each other. Workers take
 * and hand in jobs in batches, which meets the lock once per batch. While
 * jobs are queued, results are written in runs of in-order results, not one
 * by one; once nothing is queued, any result in order is written at once, so
 * the output never lags the input. */
template <typename Job, typename Done>
class OrderedQueue {
  public:
    using Numbered = std::pair<uint64_t, Job>;
    using Result = std::pair<uint64_t, Done>;

    /* `takers`: how many workers share the jobs, so that none takes more
     * than its share of what is queued. */
    explicit OrderedQueue(size_t window, size_t takers = 1)
        : slots_(window ? window : 1),
          takers_(takers ? takers : 1),
          batch_(std::clamp<size_t>(slots_.size() / 4, 1, 16)) {}

    /* Reader: adds the next job; waits while the window is full. False when
     * the queue was cancelled. */
    bool Push(Job job) {
        std::unique_lock lock(mutex_);
        // A full window is refilled once half of it was written, so that the
        // reader and the writing do not wake each other for every document.
        if (pushed_ - written_ >= slots_.size()) {
            readerWaiting_ = true;
            room_.wait(lock, [&] { return cancelled_ || pushed_ - written_ <= slots_.size() / 2; });
            readerWaiting_ = false;
        }
        if (cancelled_) return false;
        jobs_.push_back({pushed_++, std::move(job)});
        if (takersWaiting_ > 0) work_.notify_one();
        return true;
    }

    /* Reader: no more jobs. */
    void Close() {
        std::lock_guard lock(mutex_);
        closed_ = true;
        work_.notify_all();
    }

    /* Everything stops: waiting readers and workers return, jobs not taken
     * yet are dropped; what was finished before the first gap is still
     * written. */
    void Cancel() {
        std::lock_guard lock(mutex_);
        cancelled_ = true;
        cancelledFlag_.store(true, std::memory_order_relaxed);
        closed_ = true;
        jobs_.clear();
        work_.notify_all();
        room_.notify_all();
    }

    /* Whether Cancel was called; cheap enough to ask before every job of a
     * batch (a cancelled worker drops the rest of its batch). */
    bool Cancelled() const { return cancelledFlag_.load(std::memory_order_relaxed); }

    /* Worker: replaces *jobs with the next jobs (at most `most`, and no more
     * than a fair share of those queued), waiting for one; false once there
     * is none and none will come. */
    bool Take(size_t most, std::vector<Numbered> *jobs) {
        jobs->clear();
        std::unique_lock lock(mutex_);
        if (jobs_.empty() && !closed_) {
            ++takersWaiting_;
            work_.wait(lock, [&] { return closed_ || !jobs_.empty(); });
            --takersWaiting_;
        }
        if (jobs_.empty()) return false;
        const size_t share = std::max<size_t>(1, jobs_.size() / takers_);
        const size_t count = std::min({std::max<size_t>(most, 1), jobs_.size(), share});
        for (size_t i = 0; i < count; ++i) {
            jobs->push_back(std::move(jobs_.front()));
            jobs_.pop_front();
        }
        return true;
    }

    /* Worker: hands in *results, those of the jobs it took last (a batch
     * cut short by a cancel has fewer). True when it is now this worker's
     * turn to write: *write holds the next results in input order; the
     * worker writes them and then calls Wrote. */
    bool Finish(std::vector<Result> *results, std::vector<Done> *write) {
        write->clear();
        std::lock_guard lock(mutex_);
        for (Result &result : *results)
            slots_[result.first % slots_.size()] = std::move(result.second);
        results->clear();
        if (writing_ || !collect(write)) return false;
        writing_ = true;
        return true;
    }

    /* The writing worker, once it wrote *write: true with the next results
     * to write in *write; false when its turn is over. `caughtUp` is called
     * (without the lock, still in its turn) when the next result in input
     * order is not finished yet: the writer flushes its output there, as
     * nothing might follow for a while. */
    template <typename CaughtUp>
    bool Wrote(std::vector<Done> *write, CaughtUp &&caughtUp) {
        write->clear();
        std::unique_lock lock(mutex_);
        if (collect(write)) return true;
        if (!available()) {
            lock.unlock();
            caughtUp();
            lock.lock();
            if (collect(write)) return true;
        }
        writing_ = false;
        return false;
    }

    /* Once no worker is left: replaces *write with every result still
     * waiting in input order (up to the first gap a cancel left). */
    void Drain(std::vector<Done> *write) {
        write->clear();
        std::lock_guard lock(mutex_);
        move_run(write);
    }

    /* How many jobs were pushed and whether the reader is done. */
    uint64_t Pushed() const {
        std::lock_guard lock(mutex_);
        return pushed_;
    }
    bool Closed() const {
        std::lock_guard lock(mutex_);
        return closed_ && !cancelled_;
    }

  private:
    bool available() const { return slots_[written_ % slots_.size()].has_value(); }

    // Moves the results ready in input order to *write.
    void move_run(std::vector<Done> *write) {
        while (available()) {
            std::optional<Done> &slot = slots_[written_ % slots_.size()];
            write->push_back(std::move(*slot));
            slot.reset();
            ++written_;
        }
        if (readerWaiting_ && pushed_ - written_ <= slots_.size() / 2) room_.notify_one();
    }

    // Moves the results ready in input order to *write when they are to be
    // written now: a run of `batch_` of them while jobs are queued (every
    // turn to write costs a flush), any of them once nothing is queued.
    bool collect(std::vector<Done> *write) {
        size_t run = 0;
        while (run < batch_ && slots_[(written_ + run) % slots_.size()].has_value()) ++run;
        if (run == 0 || (run < batch_ && !jobs_.empty() && !cancelled_)) return false;
        move_run(write);
        return true;
    }

    mutable std::mutex mutex_;
    std::condition_variable work_, room_;
    std::deque<Numbered> jobs_;
    std::vector<std::optional<Done>> slots_;
    const size_t takers_;
    uint64_t pushed_ = 0;
    uint64_t written_ = 0;
    size_t takersWaiting_ = 0;
    bool closed_ = false;
    bool cancelled_ = false;
    std::atomic<bool> cancelledFlag_{false};
    const size_t batch_;  // results in order that make a turn to write
    bool writing_ = false;
    bool readerWaiting_ = false;
};

/* ---- the run (run.cpp) ------------------------------------------------- */

/* Runs glotta-scan; returns the exit status. */
int Main(int argc, char **argv);

/* The engine's start and teardown, as StartEngines calls them. */
struct EngineCalls {
    int (*init)(LangContext **, const LangInitArg *) = LangInit;
    int (*close)(LangContext *) = LangClose;
};

/* Starts `count` engine contexts with the same arguments, one for each
 * detection thread, into `contexts`. The first one's warning is told on
 * standard error, and so is the error of one that fails, as the one start-up
 * error of the run; then none is left open and `contexts` is empty. */
bool StartEngines(const LangInitArg &arg, size_t count, std::vector<LangContext *> *contexts,
                  const EngineCalls &calls = {});

/* True when the thread reading the documents' names is still at it after
 * Main (a stop or a closed pipe ended the run early): the process must then
 * end with _exit, which does not wait for it. */
bool ReaderStillRunning();

}  // namespace scan

#endif
