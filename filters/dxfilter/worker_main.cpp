// worker_main.cpp - dxfilter_worker, the process in which dxfilter.so runs
// its extraction modules (PDF, zip-based office documents, legacy Office,
// compressed documents, WordPerfect, DjVu, compiled HTML Help, PostScript).
//
//   dxfilter_worker PARENT-PID FILTER-DIR PLUGIN-DIR
//
// Started by the plug-in with its socket as descriptor 3 and /dev/null as
// standard input, output and error; serves one document at a time until the
// socket closes. A document that crashes it, exhausts its address space or
// overruns its CPU time costs only this process: the plug-in kills it (the
// kernel does, at RLIMIT_CPU, if the plug-in cannot), reports that document
// as not filterable and starts another.
#include <errno.h>
#include <malloc.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "filters/dxfilter/dx_module.h"
#include "filters/dxfilter/extractor.h"
#include "filters/dxfilter/module_file.h"
#include "filters/dxfilter/rtf_reader.h"
#include "filters/dxfilter/worker_protocol.h"

// Built with AddressSanitizer (by gcc or clang)?
#if defined(__SANITIZE_ADDRESS__)
#define DXF_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define DXF_ADDRESS_SANITIZER 1
#endif
#endif

namespace dxf {
namespace {

// ---- the document, read through a stream like the engine's ------------------------

// The bytes of one document: inline in memory, or a descriptor read with pread.
struct Source {
    std::string bytes;
    int fd = -1;
    int64_t size = 0;
    int64_t pos = 0;
    DXStream stream{};

    Source() {
        stream.record = this;
        stream.open = [](DXStream *s) {
            self(s)->pos = 0;
            return 1;
        };
        stream.read = [](DXStream *s, void *buffer, int count) -> int {
            Source *src = self(s);
            if (count < 0 || src->pos < 0) return -1;
            int64_t left = src->size - src->pos;
            size_t n = static_cast<size_t>(left < count ? (left > 0 ? left : 0) : count);
            if (n == 0) return 0;
            if (src->fd < 0) {
                std::memcpy(buffer, src->bytes.data() + src->pos, n);
            } else {
                ssize_t got = pread(src->fd, buffer, n, static_cast<off_t>(src->pos));
                if (got < 0) return -1;
                n = static_cast<size_t>(got);
            }
            src->pos += static_cast<int64_t>(n);
            return static_cast<int>(n);
        };
        stream.seek = [](DXStream *s, int64_t offset, int origin) {
            Source *src = self(s);
            int64_t base = origin == DX_SEEK_CUR ? src->pos : origin == DX_SEEK_END ? src->size : 0;
            if (offset < -base) return 0;
            src->pos = base + offset;
            return 1;
        };
        stream.tell = [](DXStream *s) -> int64_t { return self(s)->pos; };
        stream.close = [](DXStream *) { return 0; };
    }
    ~Source() {
        if (fd >= 0) close(fd);
    }
    Source(const Source &) = delete;
    Source &operator=(const Source &) = delete;
    static Source *self(DXStream *s) { return static_cast<Source *>(s->record); }
};

// ---- the socket -------------------------------------------------------------------

bool write_all(int fd, const void *data, size_t count) {
    const auto *p = static_cast<const char *>(data);
    while (count > 0) {
        ssize_t n = send(fd, p, count, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n, count -= static_cast<size_t>(n);
    }
    return true;
}

bool read_all(int fd, void *data, size_t count) {
    auto *p = static_cast<char *>(data);
    while (count > 0) {
        ssize_t n = recv(fd, p, count, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n, count -= static_cast<size_t>(n);
    }
    return true;
}

// Reads one request record with the descriptor that may come with it.
bool read_request(int sock, wire::Request &req, int &fd) {
    fd = -1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
    iovec iov{&req, sizeof req};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    ssize_t n;
    do {
        n = recvmsg(sock, &msg, MSG_CMSG_CLOEXEC);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) return false;
    for (cmsghdr *c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c))
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_RIGHTS &&
            c->cmsg_len >= CMSG_LEN(sizeof(int)))
            std::memcpy(&fd, CMSG_DATA(c), sizeof fd);
    return read_all(sock, reinterpret_cast<char *>(&req) + n, sizeof req - static_cast<size_t>(n));
}

bool reply(int sock, const wire::Reply &r, const std::u16string &units = {}) {
    iovec iov[2] = {{const_cast<wire::Reply *>(&r), sizeof r},
                    {const_cast<char16_t *>(units.data()), units.size() * sizeof(char16_t)}};
    msghdr msg{};
    msg.msg_iov = iov;
    msg.msg_iovlen = units.empty() ? 1 : 2;
    ssize_t n;
    do {
        n = sendmsg(sock, &msg, MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    if (n < 0) return false;
    size_t sent = static_cast<size_t>(n);
    if (sent < sizeof r)
        return write_all(sock, reinterpret_cast<const char *>(&r) + sent, sizeof r - sent) &&
               write_all(sock, units.data(), units.size() * sizeof(char16_t));
    sent -= sizeof r;
    return write_all(sock, reinterpret_cast<const char *>(units.data()) + sent,
                     units.size() * sizeof(char16_t) - sent);
}

// ---- serving ----------------------------------------------------------------------

struct Modules {
    std::vector<std::string> dirs;
    struct Slot {
        const char *name;
        const DXModule *api = nullptr;
        bool tried = false;
    } slots[15] = {{DXM_OFFICE_NAME}, {DXM_PDF_NAME},        {DXM_MSDOC_NAME}, {DXM_COMPRESS_NAME},
                   {DXM_WP_NAME},     {DXM_DJVU_NAME},       {DXM_CHM_NAME},   {DXM_PS_NAME},
                   {DXM_IWORK_NAME},  {DXM_WORKS_NAME},      {DXM_VISIO_NAME}, {DXM_MSPUB_NAME},
                   {DXM_MWAW_NAME},   {DXM_STAROFFICE_NAME}, {DXM_DRAW_NAME}};

    const DXModule *Get(const char *name) {
        for (Slot &s : slots) {
            if (std::strcmp(s.name, name) != 0) continue;
            if (!s.tried) {
                s.tried = true;
                s.api = LoadModuleFile(dirs, name);
            }
            return s.api;
        }
        return nullptr;
    }
};

// The document being extracted; its source outlives its extractor.
struct Job {
    std::unique_ptr<Source> source;
    std::unique_ptr<TextPump> pump;

    void Reset() {
        pump.reset();
        source.reset();
    }
};

// The hard CPU limit the worker was started with.
rlim_t cpu_hard_limit = RLIM_INFINITY;

// Lets the coming document use its CPU time and the grace after it (see
// WorkerCpuSoftLimitSeconds).
void allow_cpu_for_one_document() {
    timespec used{};
    if (clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &used) != 0) return;
    auto soft = static_cast<rlim_t>(
        WorkerCpuSoftLimitSeconds(int64_t{used.tv_sec} * 1'000'000'000 + used.tv_nsec));
    if (cpu_hard_limit != RLIM_INFINITY && soft > cpu_hard_limit) soft = cpu_hard_limit;
    rlimit limit{soft, cpu_hard_limit};
    setrlimit(RLIMIT_CPU, &limit);
}

// The document of a request: its inline bytes or its descriptor.
std::unique_ptr<Source> receive_source(int sock, const wire::Request &req, int fd) {
    auto source = std::make_unique<Source>();
    source->size = req.size;
    if (req.flags & wire::kHasDescriptor) {
        if (fd < 0) return nullptr;
        source->fd = fd;
        return source;
    }
    if (fd >= 0) close(fd);
    source->bytes.resize(req.inlineBytes);
    if (!read_all(sock, source->bytes.data(), source->bytes.size())) return nullptr;
    source->size = static_cast<int64_t>(source->bytes.size());
    return source;
}

// The extractor of a document of `format` read by the module `api`.
std::unique_ptr<Extractor> open_with(const DXModule *api, Source &source, int format,
                                     const DXMLimits &limits) {
    DXMExtractor *ex = api ? api->open(&source.stream, source.size, format, &limits) : nullptr;
    return ex ? std::make_unique<ModuleExtractor>(api, ex) : nullptr;
}

// Opens a compressed document: its text through the compression module, or
// the document inside it through the reader of its format, in which case
// `source` becomes that document.
std::unique_ptr<Extractor> open_compressed(Modules &modules, const DXModule *api,
                                           std::unique_ptr<Source> &source,
                                           const DXMLimits &limits) {
    // The compression module's record starts with its module table.
    const auto *unpacker = reinterpret_cast<const DXMUnpackModule *>(api);
    if (!unpacker->unpack) return nullptr;
    DXMExtractor *ex = nullptr;
    DXMInner inner{-1, 0, DX_FMT_UNKNOWN};
    const int kind = unpacker->unpack(&source->stream, source->size, &limits, &ex, &inner);
    if (kind == 1) return ex ? std::make_unique<ModuleExtractor>(api, ex) : nullptr;
    if (kind != 2 || inner.fd < 0) return nullptr;
    auto document = std::make_unique<Source>();
    document->fd = inner.fd;
    document->size = inner.size;
    int format = inner.format;
    if (format == DX_FMT_ZIP) {
        const DXModule *office = modules.Get(DXM_OFFICE_NAME);
        format = office && office->probeStream
                     ? office->probeStream(&document->stream, document->size)
                     : DX_FMT_UNKNOWN;
        document->pos = 0;
    }
    source = std::move(document);
    if (format == DX_FMT_RTF) return NewRtfExtractor(&source->stream, limits.deadlineNs);
    // One level only: a compressed document inside is not read.
    const char *name = format == DX_FMT_COMPRESSED ? nullptr : ModuleFor(format);
    return name ? open_with(modules.Get(name), *source, format, limits) : nullptr;
}

// Answers the next chunk of the job; drops the job once it has no more text.
// A document whose time runs out before it yields any text fails as a whole,
// exactly as when the worker is killed at the limit; one that yielded text
// keeps what it has.
bool send_chunk(int sock, Job &job, bool first) {
    std::u16string units;
    wire::Reply r{};
    if (!job.pump->Next(units)) r.flags |= wire::kFailed;
    if (first && job.pump->overran() && units.empty()) {
        job.Reset();
        return reply(sock, wire::Reply{-1, 0, 0, 0});
    }
    if (job.pump->exhausted()) {
        r.flags |= wire::kEnd;
        if (job.pump->failed()) r.flags |= wire::kFailed;
        job.Reset();
    }
    r.units = static_cast<uint32_t>(units.size());
    return reply(sock, r, units);
}

// Serves requests until the socket closes or breaks.
void serve(int sock, Modules &modules) {
    Job job;
    for (;;) {
        wire::Request req{};
        int fd = -1;
        if (!read_request(sock, req, fd)) return;
        try {
            switch (req.op) {
                case wire::kExtract: {
                    job.Reset();
                    std::unique_ptr<Source> source = receive_source(sock, req, fd);
                    if (!source) return;
                    const char *name = ModuleFor(req.format);
                    const DXModule *api = name ? modules.Get(name) : nullptr;
                    allow_cpu_for_one_document();
                    // The document's time is this thread's CPU time from now.
                    const int64_t deadline = DXM_CpuNs() + req.cpuBudgetNs;
                    DXMLimits limits{deadline, kMaxPartBytes, kMaxTotalBytes, kMaxParts};
                    std::unique_ptr<Extractor> extractor =
                        !api ? nullptr
                        : req.format == DX_FMT_COMPRESSED
                            ? open_compressed(modules, api, source, limits)
                            : open_with(api, *source, req.format, limits);
                    if (!extractor) {
                        if (!reply(sock, wire::Reply{-1, 0, 0, 0})) return;
                        break;
                    }
                    job.source = std::move(source);
                    job.pump = std::make_unique<TextPump>(std::move(extractor), deadline);
                    if (!send_chunk(sock, job, true)) return;
                    break;
                }
                case wire::kNext:
                    if (fd >= 0) close(fd);
                    if (!job.pump) {
                        if (!reply(sock, wire::Reply{-1, 0, wire::kEnd | wire::kFailed, 0})) return;
                        break;
                    }
                    if (!send_chunk(sock, job, false)) return;
                    break;
                case wire::kClose:
                    if (fd >= 0) close(fd);
                    job.Reset();
                    break;
                case wire::kProbe: {
                    std::unique_ptr<Source> source = receive_source(sock, req, fd);
                    if (!source) return;
                    const DXModule *office = modules.Get(DXM_OFFICE_NAME);
                    allow_cpu_for_one_document();
                    int format = office && office->probeStream
                                     ? office->probeStream(&source->stream, source->size)
                                     : DX_FMT_UNKNOWN;
                    if (!reply(sock, wire::Reply{0, format, 0, 0})) return;
                    break;
                }
                default:
                    return;
            }
        } catch (...) {
            // Out of memory: the request may be half read, so the worker
            // ends like a crashed one, and this document alone fails.
            return;
        }
    }
}

void limit_resources() {
    rlimit none{0, 0};
    setrlimit(RLIMIT_CORE, &none);
    rlimit cpu{};
    if (getrlimit(RLIMIT_CPU, &cpu) == 0) cpu_hard_limit = cpu.rlim_max;
#if !defined(DXF_ADDRESS_SANITIZER)
    // The address sanitizer reserves far more address space than any limit
    // that would still mean something.
    // Address space of the worker: the modules' libraries and a document's work.
    constexpr rlim_t kAddressSpaceBytes = rlim_t{1536} << 20;
    rlimit space{};
    if (getrlimit(RLIMIT_AS, &space) == 0 &&
        (space.rlim_cur == RLIM_INFINITY || space.rlim_cur > kAddressSpaceBytes)) {
        space.rlim_cur = kAddressSpaceBytes;
        setrlimit(RLIMIT_AS, &space);
    }
#endif
}

}  // namespace
}  // namespace dxf

// How often the worker looks whether the plug-in's process still exists.
constexpr useconds_t kParentPollMicroseconds = 50'000;

int main(int argc, char **argv) {
    if (argc != 4) return 2;
    const auto parent = static_cast<pid_t>(std::strtol(argv[1], nullptr, 10));
    if (getppid() != parent) return 2;
    // Dies with the plug-in's process, even when that is killed. Watched
    // here rather than with PR_SET_PDEATHSIG, which fires when the thread
    // that started the worker ends: in a program that detects on several
    // threads, that thread may end long before the process does.
    std::thread([parent] {
        while (getppid() == parent) usleep(kParentPollMicroseconds);
        _exit(0);
    }).detach();
    // The plug-in's process decides what an interrupt means.
    signal(SIGINT, SIG_IGN);
    signal(SIGQUIT, SIG_IGN);
    signal(SIGPIPE, SIG_IGN);
    dxf::limit_resources();
    // Zip entries carry local times, which the zip library converts for every
    // entry it reads. With TZ unset, the C library checks /etc/localtime again
    // at each conversion (nine status queries for a small ODF document);
    // naming that same zone once gives the same times without the queries.
    setenv("TZ", ":/etc/localtime", 0);
    // Documents come one after another with much the same working set: keep
    // the heap's pages instead of handing them back after each document and
    // faulting them in again for the next.
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    mallopt(M_TOP_PAD, 16 << 20);
    dxf::Modules modules;
    modules.dirs = {argv[2], argv[3]};
    dxf::serve(dxf::wire::kWorkerSocketFd, modules);
    // Nothing to flush; the modules' libraries need no orderly teardown.
    _exit(0);
}
