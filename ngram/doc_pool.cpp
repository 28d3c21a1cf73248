// doc_pool.cpp - idle document scratches behind one lock, handed to the
// detections of one context as they start and taken back as they end.
#include "ngram/doc_pool.h"

#include <mutex>
#include <new>

#include "platform/vos.h"

struct NgramDocPool {
    std::mutex lock;         // guards idle and idleCount
    NgramDocScratch **idle;  // keep slots, the first idleCount in use
    int32_t idleCount;
    int32_t keep;
};

NgramDocPool *NgramPoolNew(int32_t keep) {
    if (keep < 1) keep = 1;
    void *memory = vos_malloc(sizeof(NgramDocPool));
    if (!memory) return nullptr;
    auto *pool = new (memory) NgramDocPool{};
    pool->idle = static_cast<NgramDocScratch **>(
        vos_calloc(static_cast<size_t>(keep), sizeof(NgramDocScratch *)));
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
        std::lock_guard<std::mutex> hold(pool->lock);
        if (pool->idleCount > 0) return pool->idle[--pool->idleCount];
    }
    // Made outside the lock: building a scratch allocates.
    return NgramPrfScratchNew();
}

void NgramPoolGive(NgramDocPool *pool, NgramDocScratch *scratch) {
    if (!scratch) return;
    if (pool) {
        std::lock_guard<std::mutex> hold(pool->lock);
        if (pool->idleCount < pool->keep) {
            pool->idle[pool->idleCount++] = scratch;
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
    for (int32_t i = 0; i < pool->idleCount; ++i) NgramPrfScratchDestroy(pool->idle[i]);
    vos_free(pool->idle);
    pool->~NgramDocPool();
    vos_free(pool);
}
