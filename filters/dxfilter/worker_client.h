// worker_client.h - the plug-in's side of its extraction worker: starting,
// talking to, killing and restarting dxfilter_worker.
//
// One worker serves the documents of a filter handle one after another. A
// request that gets no complete answer before its limit (the worker crashed,
// ran out of memory, used up its CPU time on the document or overran the
// wall-clock backstop) kills the worker and fails; the next request starts a
// new one. A worker found dead between documents is replaced before the next
// document is sent.
#ifndef GLOTTA_FILTERS_DXFILTER_WORKER_CLIENT_H
#define GLOTTA_FILTERS_DXFILTER_WORKER_CLIENT_H

#include <sys/types.h>
#include <time.h>

#include <cstdint>
#include <mutex>
#include <string>

#include "doctype/dx_abi.h"

namespace dxf {

// A document on its way to the worker: its bytes, or a descriptor to read
// them from (owned).
struct DocumentBytes {
    std::string bytes;
    int fd = -1;
    int64_t size = 0;

    DocumentBytes() = default;
    DocumentBytes(const DocumentBytes &) = delete;
    DocumentBytes &operator=(const DocumentBytes &) = delete;
    ~DocumentBytes();
};

// The document behind an opened stream of `size` bytes for the worker: from
// 64 KiB on the descriptor the stream reads, when it reads one of this
// process; otherwise the whole document read through the stream (giving up at
// `limitNs`), up to 1 MiB into memory, beyond into an anonymous file.
bool ReadDocument(DXStream *stream, int64_t size, int64_t limitNs, DocumentBytes &out);

// When the plug-in stops waiting for the worker and kills it: once the
// worker's process has used `cpuNs` of CPU time (its CPU clock), or the wall
// clock (DXM_WallNs) reaches `wallNs`.
struct WorkerLimit {
    int64_t wallNs;
    int64_t cpuNs = INT64_MAX;
};

// How long to wait for the worker before looking at the clocks again, given
// what they read now (`cpuNow` below 0: the worker's CPU clock cannot be
// read); 0 once the limit is reached. The worker is looked at every
// kWorkerPollNs at least, and never much past either limit.
inline constexpr int64_t kWorkerPollNs = 20'000'000;
int64_t WorkerWaitNs(const WorkerLimit &limit, int64_t wallNow, int64_t cpuNow);

// A chunk of text answered by the worker.
struct WorkerChunk {
    std::u16string units;
    bool end = false;     // no text follows; the document is closed in the worker
    bool failed = false;  // extraction ended on an error
};

class WorkerClient {
  public:
    // Requests one worker serves before it is replaced by a fresh one.
    static constexpr unsigned kRequestsPerWorker = 1000;

    // `helper`: the worker program; `moduleDirs`: where it looks for the
    // extraction modules, in order (each ending in '/').
    WorkerClient(std::string helper, std::string filterDir, std::string pluginDir);
    ~WorkerClient();
    WorkerClient(const WorkerClient &) = delete;
    WorkerClient &operator=(const WorkerClient &) = delete;

    // Starts extracting `format` from `doc` and answers the first chunk.
    // The worker stops extracting once it has spent `cpuBudgetNs` of CPU
    // time on the job, and is killed kWorkerGraceNs of CPU time later or at
    // `wallLimitNs` (DXM_WallNs). Returns the job that later calls name, or
    // 0 when the document cannot be read (or the worker failed on it).
    uint64_t Extract(const DocumentBytes &doc, int format, int64_t cpuBudgetNs, int64_t wallLimitNs,
                     WorkerChunk &first);
    // The next chunk of `job`, under the job's CPU limit and `wallLimitNs`;
    // false when the job is gone or the worker failed.
    bool Next(uint64_t job, int64_t wallLimitNs, WorkerChunk &out);
    // Ends `job` early; a job that ended by itself needs no close.
    void Close(uint64_t job);
    // The format of a zip container that the core could not tell;
    // DX_FMT_UNKNOWN when the worker cannot tell either. The worker may
    // spend a document's CPU time on it.
    int Probe(const DocumentBytes &doc, int64_t wallLimitNs);

    // The running worker's process id, or -1.
    pid_t pid();

  private:
    bool Ensure();
    bool Start();
    void Stop();
    void EndJob();
    bool Send(uint32_t op, int format, int64_t cpuBudgetNs, const DocumentBytes *doc,
              const WorkerLimit &limit);
    bool Receive(void *data, size_t count, const WorkerLimit &limit);
    bool ReceiveChunk(const WorkerLimit &limit, WorkerChunk &out);
    // Waits until the socket is ready for `events`; false at `limit`.
    bool WaitReady(short events, const WorkerLimit &limit);
    // CPU time the worker has used, or -1 when it cannot be read.
    int64_t WorkerCpuNs() const;
    // The limit of a request that may spend `cpuNs` more of the worker's CPU time.
    WorkerLimit LimitFor(int64_t cpuNs, int64_t wallLimitNs) const;

    const std::string helper_, filterDir_, pluginDir_;
    std::mutex mutex_;
    pid_t pid_ = -1;
    clockid_t cpuClock_{};  // the worker's CPU clock
    bool haveCpuClock_ = false;
    int sock_ = -1;
    int64_t jobCpuLimitNs_ = INT64_MAX;  // the open job's CPU limit on cpuClock_
    uint64_t job_ = 0;                   // the document open in the worker, 0 for none
    uint64_t lastJob_ = 0;
    unsigned served_ = 0;  // requests the running worker has taken
};

}  // namespace dxf

#endif
