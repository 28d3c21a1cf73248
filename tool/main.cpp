// main.cpp - the glotta run driver: start-up, one document or a bulk list in
// detection or training mode, teardown.
#include <errno.h>
#include <malloc.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "tool/tool.h"

namespace {

constexpr char kDebugVariable[] = "TOLMAR_LANG";

// putenv keeps a pointer to its argument, so the entry lives as long as the
// process.
char debugEntry[sizeof kDebugVariable + sizeof "=DEBUG"];

// The signal (SIGINT or SIGTERM) that asked the run to stop, 0 while none
// has. The run finishes the document in hand, closes its files and exits with
// 128 + the signal.
volatile sig_atomic_t stopSignal = 0;

void on_stop_signal(int signal) {
    stopSignal = signal;
}

void install_signal_handlers() {
    struct sigaction action {};
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    // A second signal of the same kind ends the process at once.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    for (int signal : {SIGINT, SIGTERM}) {
        struct sigaction before {};
        // A signal ignored by whoever started us (nohup, background jobs)
        // stays ignored.
        if (sigaction(signal, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
        sigaction(signal, &action, nullptr);
    }
    // Beyond a file size limit (ulimit -f) a write fails with EFBIG, which
    // is reported, instead of killing the run.
    ::signal(SIGXFSZ, SIG_IGN);
}

// Where the records of a detection run go. Standard output is checked once,
// at the very end of the run (it carries the banner and progress lines too).
struct Output {
    FILE *stream = stdout;
    const char *name = nullptr;  // the output file, null for standard output
    bool failed = false;         // a write error on the output file was reported

    // After each document: reports a failed write to the output file the
    // first time it shows.
    void check() {
        if (name) StreamWritten(stream, kOutputWhat, name, &failed);
    }
    // True when every record reached the output file.
    bool close() { return !name || CloseOutputFile(stream, kOutputWhat, name, &failed); }

    static constexpr char kOutputWhat[] = "output file";
};

// Training that saved nothing because the profile file could not be
// written: says which file and why (errno as the save left it).
void report_profile_failure(int code) {
    if (code != LANG_ERR_OPEN) return;
    const int error = errno;
    const char *dataPath = LangGetDataPath(pContext);
    const std::string path = std::string(dataPath ? dataPath : "") + '/' + langArg.languageId +
                             '-' + langArg.charset + ".lm";
    ReportWriteError("profile", path.c_str(), error);
}

// Runs every document named by the list file; `result` becomes that of the
// last document. False when the list cannot be opened (`result` unchanged).
bool run_bulk(Output &out, int &result) {
    FILE *list = fopen(langArg.inputFile, "rb");
    if (!list) {
        ToolMessage("Couldn't open input file %s\n", langArg.inputFile);
        return false;
    }
    BifProtect(BIF_PROTECT_LIST, IdentityOfStream(list));
    const std::string prefix = ListDirPrefix(langArg.inputFile);
    int processed = 0;
    char line[LANG_LIST_LINE_BUFFER];
    // A stop is looked at once the next line is in: a line read after the
    // signal is never processed, even when the list is a pipe that kept us
    // waiting for it.
    while (fgets(line, sizeof line, list) && !stopSignal) {
        size_t length = ListCleanLine(line, strlen(line));
        if (length == 0) continue;
        const std::string path = ListDocPath(prefix, line);
        if (path.size() > LANG_LIST_PATH_MAX) {
            ToolMessage("Document path longer than %d characters, skipped: %s\n",
                        LANG_LIST_PATH_MAX, path.c_str());
            continue;
        }
        if (langArg.train) {
            result = LangTrain(pContext, path.c_str());
            if (result != LANG_OK) printf(" Error in LangTrain %d\n", result);
        } else {
            result = GetDocLanguage(path.c_str(), out.stream, langArg.bifFile);
            out.check();
            if (langArg.bifFile) BifFilesWritten();
        }
        if (++processed % 100 == 0) printf("Processed %d document.\n", processed);
    }
    fclose(list);
    return true;
}

int run(int argc, char **argv) {
    int result = parseArg(argc, argv);
    if (result != LANG_OK) {
        PrintUsage(argc > 0 ? argv[0] : nullptr);
        return result;
    }

    LangInitArg initArg{langArg.configFile, langArg.dataPath};
    if (langArg.debug) {
        snprintf(debugEntry, sizeof debugEntry, "%s=DEBUG", kDebugVariable);
        putenv(debugEntry);
    }

    Output out;
    result = LangInit(&pContext, &initArg);
    if (result < 0) {
        ToolMessage("Error %d: %s (in initializing language detection module).\n", result,
                    LangErrorMsg(result));
    } else {
        if (result > 0) {
            ToolMessage("Warn %d: %s (in initializing language detection module).\n", result,
                        LangErrorMsg(-result));
        }
        if (langArg.train) LangTrainNew(pContext, langArg.languageId, langArg.charset);
        loadNameMapping(LangGetDataPath(pContext));

        bool ready = true;
        if (!langArg.train && langArg.outputFile) {
            // Never truncate what the run is about to read: the list, or the
            // single document.
            const FileIdentity input = IdentityOfPath(langArg.inputFile);
            out.stream = OpenOutputStream(langArg.outputFile, &input, 1);
            if (!out.stream) {
                ToolMessage("Couldn't create output file %s\n", langArg.outputFile);
                ready = false;
            } else {
                out.name = langArg.outputFile;
            }
        }
        if (ready && !langArg.train) BifProtect(BIF_PROTECT_OUTPUT, IdentityOfStream(out.stream));
        // A stop asked for during start-up ends the run before any document.
        if (ready && !stopSignal) {
            if (langArg.bulk) {
                ready = run_bulk(out, result);
            } else if (langArg.train) {
                result = LangTrain(pContext, langArg.inputFile);
            } else {
                result = GetDocLanguage(langArg.inputFile, out.stream, langArg.bifFile);
            }
            // An interrupted training saves nothing: the old profile and
            // langname.cfg stay as they were.
            if (ready && langArg.train && !stopSignal) {
                result = LangTrainSave(pContext);
                if (result == LANG_OK) {
                    result = saveNameMapping(LangGetDataPath(pContext), langArg.languageId,
                                             langArg.languageName);
                } else {
                    report_profile_failure(result);
                }
            }
        }
    }

    // The engine goes first; the output and BIF files after it.
    LangClose(pContext);
    pContext = nullptr;
    bool written = true;
    if (!langArg.train) {
        if (!out.close()) written = false;
        if (langArg.bifFile && !CloseBifFile()) written = false;
    }
    if (stopSignal) result = 128 + stopSignal;
    if (!written) result = LANG_EXIT_WRITE_ERROR;
    return result;
}

// Start-up fills some 15 MB of heap with small blocks (the language profiles
// and their index) and touches every page of it once; on virtual machines a
// page fault costs more than the work done on the page. Growing the heap in
// one large step now and asking for transparent huge pages on it turns about
// a thousand faults into a few dozen. Only a hint: where the kernel does not
// follow it, nothing else changes.
// Never freed nor read: it only keeps its place in the heap. Held here, not
// in a local, so that leak checkers see a block in use rather than a lost one;
// volatile, so that the allocation is not optimised away.
void *volatile g_heapFiller = nullptr;

void prefer_huge_heap_pages() {
    constexpr int kHeapStep = 32 << 20;
    constexpr size_t kProbe = 1 << 20;  // below the mmap threshold: from the heap
    mallopt(M_TOP_PAD, kHeapStep);
    char *probe = static_cast<char *>(malloc(kProbe));
    if (!probe) return;
    const long page = sysconf(_SC_PAGESIZE);
    const char *end = static_cast<const char *>(sbrk(0));
    // Only where the probe came from the program break (not so under an
    // allocator of its own, such as a sanitizer's).
    if (page <= 0 || end == reinterpret_cast<const char *>(-1) || end <= probe) {
        free(probe);
        return;
    }
    const uintptr_t mask = ~(static_cast<uintptr_t>(page) - 1);
    const uintptr_t from = reinterpret_cast<uintptr_t>(probe) & mask;
    const uintptr_t to = reinterpret_cast<uintptr_t>(end) & mask;
    madvise(reinterpret_cast<void *>(from), to - from, MADV_HUGEPAGE);
    const uintptr_t probeEnd = reinterpret_cast<uintptr_t>(probe) + kProbe;
    free(probe);
    // Small pages already lie where the heap starts (the allocator's own and
    // the first blocks) and where the probe ended (the allocator wrote its
    // next header there before the advice): their 2 MB regions can no longer
    // get a huge page, and every further page there would fault on its own.
    // A block that is never touched fills the heap up to the end of those
    // regions, so that what start-up allocates next comes from huge pages.
    constexpr uintptr_t kHuge = 2 << 20;
    constexpr size_t kHeader = 64;  // room for the allocator's chunk headers
    char *marker = static_cast<char *>(malloc(1));
    if (!marker) return;
    const uintptr_t at = reinterpret_cast<uintptr_t>(marker);
    free(marker);
    const uintptr_t clean = (std::max(at, probeEnd + kHeader) + kHuge - 1) & ~(kHuge - 1);
    if (at >= from && clean < to && clean - at > 2 * kHeader)
        g_heapFiller = malloc(clean - at - 2 * kHeader);
}

}  // namespace

int main(int argc, char **argv) {
    // Each document allocates a few hundred kilobytes and frees them again.
    // With glibc's defaults those blocks are mapped and unmapped (or the heap
    // trimmed) per document, which costs more than the detection itself in
    // bulk runs; keep them in the heap instead.
    mallopt(M_MMAP_THRESHOLD, 8 << 20);
    mallopt(M_TRIM_THRESHOLD, 32 << 20);
    prefer_huge_heap_pages();
    install_signal_handlers();
    PrintBanner();
    int result = run(argc, argv);
    printf("glotta done\n");
    bool stdoutReported = false;
    fflush(stdout);
    if (!StreamWritten(stdout, "standard output", nullptr, &stdoutReported))
        result = LANG_EXIT_WRITE_ERROR;
    return result;
}
