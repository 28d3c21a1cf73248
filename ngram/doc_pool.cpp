// doc_pool.cpp - idle document scratches behind one lock, handed to the
// detections of one context as they start and taken back as they end.
#include "ngram/doc_pool.h"

#include <mutex>
#include <new>

#include "platform/vos.h"

namespace {

// An idle scratch and the thread that gave it back.
struct IdleScratch {
    NgramDocScratch *scratch;
    const void *owner;
};

// A token that tells the live threads apart: the address of a per-thread
// variable.
const void *this_thread() {
    static thread_local char token;
    return &token;
}

}  // namespace

struct NgramDocPool {
    std::mutex lock;    // guards idle and idleCount
    IdleScratch *idle;  // keep slots, the first idleCount in use
    int32_t idleCount;
    int32_t keep;
};

NgramDocPool *NgramPoolNew(int32_t keep) {
    if (keep < 1) keep = 1;
    void *memory = vos_malloc(sizeof(NgramDocPool));
    if (!memory) return nullptr;
    auto *pool = new (memory) NgramDocPool{};
    pool->idle =
        static_cast<IdleScratch *>(vos_calloc(static_cast<size_t>(keep), sizeof(IdleScratch)));
    if (!pool->idle) {
        NgramPoolDestroy(pool);
        return nullptr;
    }
    pool->keep = keep;
    return pool;
}

NgramDocScratch *NgramPoolTake(NgramDocPool *pool) {
    if (!pool) return nullptr;
    {
        // The scratch this thread gave back last, when it is idle: its
        // tables are still in this core's cache. Any other idle one else.
        const void *self = this_thread();
        std::lock_guard<std::mutex> hold(pool->lock);
        if (pool->idleCount > 0) {
            int32_t pick = pool->idleCount - 1;
            for (int32_t i = pick; i >= 0; --i) {
                if (pool->idle[i].owner == self) {
                    pick = i;
                    break;
                }
            }
            NgramDocScratch *scratch = pool->idle[pick].scratch;
            pool->idle[pick] = pool->idle[--pool->idleCount];
            return scratch;
        }
    }
    // Made outside the lock: building a scratch allocates.
    return NgramPrfScratchNew();
}

void NgramPoolGive(NgramDocPool *pool, NgramDocScratch *scratch) {
    if (!scratch) return;
    if (pool) {
        const void *self = this_thread();
        std::lock_guard<std::mutex> hold(pool->lock);
        if (pool->idleCount < pool->keep) {
            pool->idle[pool->idleCount++] = IdleScratch{scratch, self};
            return;
        }
    }
    NgramPrfScratchDestroy(scratch);
}

int32_t NgramPoolIdle(NgramDocPool *pool) {
    if (!pool) return 0;
    std::lock_guard<std::mutex> hold(pool->lock);
    return pool->idleCount;
}

void NgramPoolDestroy(NgramDocPool *pool) {
    if (!pool) return;
    for (int32_t i = 0; i < pool->idleCount; ++i) NgramPrfScratchDestroy(pool->idle[i].scratch);
    vos_free(pool->idle);
    pool->~NgramDocPool();
    vos_free(pool);
}
