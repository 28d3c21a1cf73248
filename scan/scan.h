/* scan.h - glotta-scan, the pipeline-friendly command: one record line per
 * document, in input order, from several worker threads.
 *
 * The program is split so that everything but the threads and the terminal
 * can be tested on its own: options (options.cpp), record lines (record.cpp),
 * the documents a run names (inputs.cpp), the ordered hand-over from the
 * workers to the writer (order.cpp) and the run itself (run.cpp). */
#ifndef GLOTTA_SCAN_SCAN_H
#define GLOTTA_SCAN_SCAN_H

#include <stdint.h>
#include <stdio.h>

#include <algorithm>
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

/* ---- ordered hand-over (order.cpp) ------------------------------------- */

/* Documents numbered 0, 1, ... in input order go to the workers and come
 * back as finished lines in the same order, with at most `window` of them
 * between the reader and the writer at any time. */
template <typename Job, typename Done>
class OrderedQueue {
  public:
    explicit OrderedQueue(size_t window)
        : slots_(window ? window : 1), batch_(std::clamp<size_t>(slots_.size() / 4, 1, 16)) {}

    /* Reader: adds the next job; waits while the window is full. False when
     * the queue was cancelled. */
    bool Push(Job job) {
        std::unique_lock lock(mutex_);
        // A full window is refilled once half of it was written, so that the
        // reader and the writer do not wake each other for every document.
        if (pushed_ - written_ >= slots_.size()) {
            readerWaiting_ = true;
            room_.wait(lock, [&] { return cancelled_ || pushed_ - written_ <= slots_.size() / 2; });
            readerWaiting_ = false;
        }
        if (cancelled_) return false;
        jobs_.push_back({pushed_++, std::move(job)});
        work_.notify_one();
        return true;
    }

    /* Reader: no more jobs. */
    void Close() {
        std::lock_guard lock(mutex_);
        closed_ = true;
        work_.notify_all();
        ready_.notify_all();
    }

    /* Everything stops: waiting readers and workers return, jobs not taken
     * yet are dropped, the writer gets what finished before the gap. */
    void Cancel() {
        std::lock_guard lock(mutex_);
        cancelled_ = true;
        closed_ = true;
        jobs_.clear();
        work_.notify_all();
        ready_.notify_all();
        room_.notify_all();
    }

    /* Worker: the next job and its number; false once there is none and
     * none will come. */
    bool Take(uint64_t *number, Job *job) {
        std::unique_lock lock(mutex_);
        return take(lock, number, job);
    }

    /* Worker: hands in the result of job `number`. */
    void Finish(uint64_t number, Done done) {
        std::lock_guard lock(mutex_);
        finish(number, std::move(done));
    }

    /* Worker: Finish, then Take, under one hold of the lock. */
    bool FinishAndTake(uint64_t number, Done done, uint64_t *next, Job *job) {
        std::unique_lock lock(mutex_);
        finish(number, std::move(done));
        return take(lock, next, job);
    }

    /* Writer: the next result in input order, waiting for it; nothing once
     * every job was written (or the rest was cancelled). `waiting` is called
     * (without the lock) before the writer has to wait. */
    std::optional<Done> Next(const std::function<void()> &waiting = {}) {
        std::unique_lock lock(mutex_);
        auto available = [&] { return slots_[written_ % slots_.size()].has_value(); };
        auto finished = [&] { return closed_ && written_ == pushed_; };
        auto stuck = [&] { return cancelled_ && taken_ == 0; };
        if (!available() && !finished() && !stuck() && waiting) {
            lock.unlock();
            waiting();
            lock.lock();
        }
        if (!available() && !finished() && !stuck()) {
            writerWaiting_ = true;
            ready_.wait(lock, [&] { return available() || finished() || stuck(); });
            writerWaiting_ = false;
        }
        if (!available()) return std::nullopt;
        std::optional<Done> done = std::move(slots_[written_ % slots_.size()]);
        slots_[written_ % slots_.size()].reset();
        ++written_;
        if (readerWaiting_ && pushed_ - written_ <= slots_.size() / 2) room_.notify_one();
        return done;
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
    bool take(std::unique_lock<std::mutex> &lock, uint64_t *number, Job *job) {
        work_.wait(lock, [&] { return closed_ || !jobs_.empty(); });
        if (jobs_.empty()) return false;
        *number = jobs_.front().first;
        *job = std::move(jobs_.front().second);
        jobs_.pop_front();
        ++taken_;
        return true;
    }

    void finish(uint64_t number, Done done) {
        slots_[number % slots_.size()] = std::move(done);
        --taken_;
        if (writerWaiting_ && writer_has_work()) ready_.notify_one();
    }

    // Whether a waiting writer should be woken. While jobs are queued it is
    // woken for a run of results in order, not for each one: every wake-up
    // costs both sides a system call, and a writer that wakes per document
    // also writes per document (it flushes before it waits). Once nothing is
    // queued, any result in order wakes it, so output never lags the input.
    bool writer_has_work() const {
        if (closed_ && taken_ == 0) return true;  // finished or stuck
        if (cancelled_ && taken_ == 0) return true;
        size_t run = 0;
        while (run < batch_ && slots_[(written_ + run) % slots_.size()].has_value()) ++run;
        return run > 0 && (run >= batch_ || jobs_.empty() || cancelled_);
    }

    mutable std::mutex mutex_;
    std::condition_variable work_, ready_, room_;
    std::deque<std::pair<uint64_t, Job>> jobs_;
    std::vector<std::optional<Done>> slots_;
    uint64_t pushed_ = 0;
    uint64_t written_ = 0;
    size_t taken_ = 0;
    bool closed_ = false;
    bool cancelled_ = false;
    const size_t batch_;  // results in order that wake a waiting writer
    bool writerWaiting_ = false;
    bool readerWaiting_ = false;
};

/* ---- the run (run.cpp) ------------------------------------------------- */

/* Runs glotta-scan; returns the exit status. */
int Main(int argc, char **argv);

/* True when the thread reading the documents' names is still at it after
 * Main (a stop or a closed pipe ended the run early): the process must then
 * end with _exit, which does not wait for it. */
bool ReaderStillRunning();

}  // namespace scan

#endif
