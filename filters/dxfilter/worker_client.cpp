// worker_client.cpp - the plug-in's side of its extraction worker.
//
// The worker is started with posix_spawn, not by forking the engine's
// process: a fork would copy whatever locks other threads of the process
// (and the plug-in's own C++ runtime) held at that moment, and run the
// modules' libraries in a half-made copy. posix_spawn runs nothing of ours in
// the child before the worker program starts afresh.
#include "filters/dxfilter/worker_client.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "filters/dxfilter/dx_module.h"
#include "filters/dxfilter/extractor.h"
#include "filters/dxfilter/worker_protocol.h"

extern char **environ;

namespace dxf {
namespace {

// Documents up to this size travel inline; larger ones as an anonymous file.
constexpr int64_t kInlineBytes = 1 << 20;
constexpr size_t kCopyBytes = 1 << 20;
// Documents from this size on are passed as the descriptor the stream reads,
// when there is one: the worker then reads only what it needs.
constexpr int64_t kDescriptorBytes = 64 << 10;

bool write_fully(int fd, const char *p, size_t count) {
    while (count > 0) {
        ssize_t n = write(fd, p, count);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n, count -= static_cast<size_t>(n);
    }
    return true;
}

// The descriptor that `stream` (opened, `size` bytes) reads, duplicated; -1
// when it reads none of this process's descriptors. It is the one regular
// file of that size whose file offset follows the stream's seeks; the worker
// reads it with pread, which leaves that offset alone.
int stream_descriptor(DXStream *stream, int64_t size) {
    if (size < 3) return -1;
    DIR *dir = opendir("/proc/self/fd");
    if (!dir) return -1;
    std::vector<int> candidates;
    while (const dirent *entry = readdir(dir)) {
        char *end = nullptr;
        long fd = std::strtol(entry->d_name, &end, 10);
        struct stat st {};
        if (end == entry->d_name || *end || fd == dirfd(dir)) continue;
        if (fstat(static_cast<int>(fd), &st) == 0 && S_ISREG(st.st_mode) && st.st_size == size)
            candidates.push_back(static_cast<int>(fd));
    }
    closedir(dir);
    for (int64_t at : {size - 1, size / 2}) {
        if (candidates.empty() || !stream->seek(stream, at, DX_SEEK_SET)) return -1;
        std::erase_if(candidates, [at](int fd) { return lseek(fd, 0, SEEK_CUR) != at; });
    }
    return candidates.size() == 1 ? fcntl(candidates[0], F_DUPFD_CLOEXEC, 0) : -1;
}

}  // namespace

int64_t WorkerWaitNs(const WorkerLimit &limit, int64_t wallNow, int64_t cpuNow) {
    const int64_t wallLeft = limit.wallNs - wallNow;
    if (wallLeft <= 0) return 0;
    int64_t wait = std::min(wallLeft, kWorkerPollNs);
    if (cpuNow >= 0 && limit.cpuNs != INT64_MAX) {
        const int64_t cpuLeft = limit.cpuNs - cpuNow;
        if (cpuLeft <= 0) return 0;
        // The worker extracts on one thread: it cannot use CPU time faster
        // than the wall clock runs.
        wait = std::min(wait, cpuLeft);
    }
    return wait;
}

DocumentBytes::~DocumentBytes() {
    if (fd >= 0) close(fd);
}

bool ReadDocument(DXStream *stream, int64_t size, int64_t limitNs, DocumentBytes &out) {
    if (size < 0) return false;
    if (size >= kDescriptorBytes && (out.fd = stream_descriptor(stream, size)) >= 0) {
        out.size = size;
        return true;
    }
    if (!stream->seek(stream, 0, DX_SEEK_SET)) return false;
    if (size <= kInlineBytes) {
        out.bytes.resize(static_cast<size_t>(size));
        long got = ReadFully(stream, out.bytes.data(), out.bytes.size());
        if (got < 0) return false;
        out.bytes.resize(static_cast<size_t>(got));
        out.size = got;
        return true;
    }
    out.fd = memfd_create("glotta-document", MFD_CLOEXEC);
    if (out.fd < 0) return false;
    std::vector<char> buffer(kCopyBytes);
    for (;;) {
        if (DXM_WallNs() > limitNs) return false;
        long got = ReadFully(stream, buffer.data(), buffer.size());
        if (got < 0) return false;
        if (got == 0) return true;
        if (!write_fully(out.fd, buffer.data(), static_cast<size_t>(got))) return false;
        out.size += got;
    }
}

WorkerClient::WorkerClient(std::string helper, std::string filterDir, std::string pluginDir)
    : helper_(std::move(helper)),
      filterDir_(std::move(filterDir)),
      pluginDir_(std::move(pluginDir)) {}

WorkerClient::~WorkerClient() {
    Stop();
}

pid_t WorkerClient::pid() {
    std::lock_guard<std::mutex> guard(mutex_);
    return pid_;
}

bool WorkerClient::Start() {
    int sv[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) return false;
    // The worker's end above its standard descriptors, so that setting those
    // up cannot overwrite it; posix_spawn makes it the worker's descriptor 3.
    int child = fcntl(sv[1], F_DUPFD_CLOEXEC, 10);
    close(sv[1]);
    if (child < 0) {
        close(sv[0]);
        return false;
    }
    std::string parent = std::to_string(getpid());
    char *argv[] = {const_cast<char *>(helper_.c_str()), parent.data(),
                    const_cast<char *>(filterDir_.c_str()), const_cast<char *>(pluginDir_.c_str()),
                    nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attr);
    // Never the tool's standard output or error, nor any other of its files.
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawn_file_actions_adddup2(&actions, child, wire::kWorkerSocketFd);
    posix_spawn_file_actions_addclosefrom_np(&actions, wire::kWorkerSocketFd + 1);
    // Default signal handling, nothing blocked, and a process group of its
    // own, so that an interrupt typed at the terminal reaches only the tool.
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(
        &attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, helper_.c_str(), &actions, &attr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    close(child);
    if (rc != 0) {
        close(sv[0]);
        return false;
    }
    pid_ = pid;
    haveCpuClock_ = clock_getcpuclockid(pid, &cpuClock_) == 0;
    sock_ = sv[0];
    fcntl(sock_, F_SETFL, fcntl(sock_, F_GETFL) | O_NONBLOCK);
    return true;
}

void WorkerClient::Stop() {
    if (sock_ >= 0) close(sock_);
    sock_ = -1;
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    pid_ = -1;
    haveCpuClock_ = false;
    job_ = 0;
}

int64_t WorkerClient::WorkerCpuNs() const {
    timespec ts{};
    if (!haveCpuClock_ || clock_gettime(cpuClock_, &ts) != 0) return -1;
    return int64_t{ts.tv_sec} * 1'000'000'000 + ts.tv_nsec;
}

WorkerLimit WorkerClient::LimitFor(int64_t cpuNs, int64_t wallLimitNs) const {
    const int64_t used = WorkerCpuNs();
    return {wallLimitNs, used < 0 ? INT64_MAX : used + cpuNs};
}

bool WorkerClient::WaitReady(short events, const WorkerLimit &limit) {
    for (;;) {
        const int64_t wait = WorkerWaitNs(limit, DXM_WallNs(), WorkerCpuNs());
        if (wait <= 0) return false;
        pollfd p{sock_, events, 0};
        int r = poll(&p, 1, static_cast<int>((wait + 999'999) / 1'000'000));
        if (r > 0) return true;
        if (r < 0 && errno != EINTR) return false;
    }
}

// A running worker, started now if there is none. An idle worker never
// writes, so a readable or hung-up socket means it died (or broke) since the
// last document: it is replaced before this one is sent.
//
// The libraries behind the modules leak a little on some damaged documents
// (libgsf a few hundred bytes per broken compound-file directory), and the
// worker keeps its heap between documents; so a worker that has served
// kRequestsPerWorker requests is retired here too, which keeps its memory
// bounded over a run of any length at the cost of one start-up per batch.
bool WorkerClient::Ensure() {
    if (pid_ > 0) {
        pollfd p{sock_, POLLIN, 0};
        if (served_ < kRequestsPerWorker && poll(&p, 1, 0) == 0) {
            ++served_;
            return true;
        }
        Stop();
    }
    served_ = 1;
    return Start();
}

void WorkerClient::EndJob() {
    if (job_ != 0 && !Send(wire::kClose, 0, 0, nullptr, {DXM_WallNs() + kMaxDocumentCpuNs})) Stop();
    job_ = 0;
}

bool WorkerClient::Send(uint32_t op, int format, int64_t cpuBudgetNs, const DocumentBytes *doc,
                        const WorkerLimit &limit) {
    wire::Request req{};
    req.op = op;
    req.format = format;
    req.cpuBudgetNs = cpuBudgetNs;
    const bool descriptor = doc && doc->fd >= 0;
    if (doc) {
        req.size = doc->size;
        if (descriptor) req.flags = wire::kHasDescriptor;
        req.inlineBytes = descriptor ? 0 : doc->bytes.size();
    }
    iovec iov[2] = {{&req, sizeof req}, {nullptr, 0}};
    if (doc && !descriptor) iov[1] = {const_cast<char *>(doc->bytes.data()), doc->bytes.size()};
    msghdr msg{};
    msg.msg_iov = iov;
    msg.msg_iovlen = iov[1].iov_len > 0 ? 2 : 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    if (descriptor) {
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        cmsghdr *c = CMSG_FIRSTHDR(&msg);
        c->cmsg_level = SOL_SOCKET;
        c->cmsg_type = SCM_RIGHTS;
        c->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(c), &doc->fd, sizeof(int));
    }
    // The first send carries the descriptor; the rest follows as the worker
    // reads. MSG_NOSIGNAL: a dead worker must not raise SIGPIPE in the tool.
    size_t left = iov[0].iov_len + iov[1].iov_len;
    bool first = true;
    while (left > 0) {
        ssize_t n = first ? sendmsg(sock_, &msg, MSG_NOSIGNAL)
                          : send(sock_, static_cast<char *>(msg.msg_iov[0].iov_base),
                                 msg.msg_iov[0].iov_len, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) {
            if (!WaitReady(POLLOUT, limit)) return false;
            continue;
        }
        if (n <= 0) return false;
        first = false;
        left -= static_cast<size_t>(n);
        // Skip what was sent; the loop then sends one remaining piece at a time.
        auto done = static_cast<size_t>(n);
        while (done > 0 && msg.msg_iovlen > 0) {
            size_t step = done < msg.msg_iov[0].iov_len ? done : msg.msg_iov[0].iov_len;
            msg.msg_iov[0].iov_base = static_cast<char *>(msg.msg_iov[0].iov_base) + step;
            msg.msg_iov[0].iov_len -= step;
            done -= step;
            if (msg.msg_iov[0].iov_len == 0) {
                ++msg.msg_iov;
                --msg.msg_iovlen;
            }
        }
    }
    return true;
}

bool WorkerClient::Receive(void *data, size_t count, const WorkerLimit &limit) {
    auto *p = static_cast<char *>(data);
    while (count > 0) {
        ssize_t n = recv(sock_, p, count, 0);
        if (n > 0) {
            p += n, count -= static_cast<size_t>(n);
            continue;
        }
        if (n == 0) return false;  // the worker is gone
        if (errno == EINTR) continue;
        if (errno != EAGAIN || !WaitReady(POLLIN, limit)) return false;
    }
    return true;
}

bool WorkerClient::ReceiveChunk(const WorkerLimit &limit, WorkerChunk &out) {
    // The record and, mostly, all its text come with the first read once the
    // worker has answered.
    wire::Reply r{};
    out.units.resize(kChunkUnits);
    iovec iov[2] = {{&r, sizeof r}, {out.units.data(), out.units.size() * sizeof(char16_t)}};
    msghdr msg{};
    msg.msg_iov = iov;
    msg.msg_iovlen = 2;
    ssize_t n = -1;
    while (WaitReady(POLLIN, limit)) {
        n = recvmsg(sock_, &msg, 0);
        if (n >= 0 || (errno != EINTR && errno != EAGAIN)) break;
    }
    size_t got = n > 0 ? static_cast<size_t>(n) : 0;
    if (got > 0 && got < sizeof r)
        got = Receive(reinterpret_cast<char *>(&r) + got, sizeof r - got, limit) ? sizeof r : 0;
    const size_t body = got > 0 ? got - sizeof r : 0;
    // A record beyond the bounds, or more text than it announced: the
    // stream is out of step.
    if (got == 0 || r.units > kMaxTextUnits || body > r.units * sizeof(char16_t)) {
        Stop();
        return false;
    }
    out.units.resize(r.units);
    if (!Receive(reinterpret_cast<char *>(out.units.data()) + body,
                 r.units * sizeof(char16_t) - body, limit)) {
        Stop();
        return false;
    }
    out.end = (r.flags & wire::kEnd) != 0;
    out.failed = (r.flags & wire::kFailed) != 0;
    if (r.status != 0 || out.end) job_ = 0;
    return r.status == 0;
}

uint64_t WorkerClient::Extract(const DocumentBytes &doc, int format, int64_t cpuBudgetNs,
                               int64_t wallLimitNs, WorkerChunk &first) {
    std::lock_guard<std::mutex> guard(mutex_);
    EndJob();
    if (!Ensure()) return 0;
    // Receiving the document costs the worker some CPU time too: the limit
    // counts from before it is sent.
    const WorkerLimit limit = LimitFor(cpuBudgetNs + kWorkerGraceNs, wallLimitNs);
    if (!Send(wire::kExtract, format, cpuBudgetNs, &doc, limit)) {
        Stop();
        return 0;
    }
    job_ = ++lastJob_;
    jobCpuLimitNs_ = limit.cpuNs;
    return ReceiveChunk(limit, first) ? lastJob_ : 0;
}

bool WorkerClient::Next(uint64_t job, int64_t wallLimitNs, WorkerChunk &out) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (job == 0 || job != job_) return false;
    const WorkerLimit limit{wallLimitNs, jobCpuLimitNs_};
    if (!Send(wire::kNext, 0, 0, nullptr, limit)) {
        Stop();
        return false;
    }
    return ReceiveChunk(limit, out);
}

void WorkerClient::Close(uint64_t job) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (job != 0 && job == job_) EndJob();
}

int WorkerClient::Probe(const DocumentBytes &doc, int64_t wallLimitNs) {
    std::lock_guard<std::mutex> guard(mutex_);
    EndJob();
    if (!Ensure()) return DX_FMT_UNKNOWN;
    wire::Reply r{};
    const WorkerLimit limit = LimitFor(kMaxDocumentCpuNs + kWorkerGraceNs, wallLimitNs);
    if (!Send(wire::kProbe, 0, 0, &doc, limit) || !Receive(&r, sizeof r, limit)) {
        Stop();
        return DX_FMT_UNKNOWN;
    }
    return r.status == 0 ? r.format : DX_FMT_UNKNOWN;
}

}  // namespace dxf
