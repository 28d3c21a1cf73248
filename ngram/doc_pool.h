/* doc_pool.h - a pool of document scratches shared by the detections that
 * run at once on one engine context.
 *
 * A detection takes a scratch, builds its document profile in it and gives
 * it back; while it holds the scratch no other caller sees it. The pool keeps
 * the scratches it is given back (up to its limit), so in a steady state a
 * detection allocates none. Take and give are safe from any number of
 * threads. A thread gets back the scratch it gave back last while that one
 * is idle, so that with one detection per thread each scratch stays in the
 * cache of the core that uses it. */
#ifndef GLOTTA_NGRAM_DOC_POOL_H
#define GLOTTA_NGRAM_DOC_POOL_H

#include <stdint.h>

#include "ngram/profile.h"

typedef struct NgramDocPool NgramDocPool;

/* A new, empty pool that keeps at most `keep` idle scratches (at least 1);
 * null when memory runs out. Release with NgramPoolDestroy. */
NgramDocPool *NgramPoolNew(int32_t keep);

/* An idle scratch of the pool, or a new one when none is idle; null when
 * memory runs out or the pool is null. The caller owns it until it gives it
 * back with NgramPoolGive. */
NgramDocScratch *NgramPoolTake(NgramDocPool *pool);

/* Returns a scratch taken from the pool; one beyond the pool's limit is
 * destroyed. A null scratch is ignored; with a null pool the scratch is
 * destroyed. */
void NgramPoolGive(NgramDocPool *pool, NgramDocScratch *scratch);

/* Idle scratches held now; 0 for null. */
int32_t NgramPoolIdle(NgramDocPool *pool);

/* Destroys the pool and its idle scratches. Every taken scratch must have
 * been given back. Null is accepted. */
void NgramPoolDestroy(NgramDocPool *pool);

#endif
