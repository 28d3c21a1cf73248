/* model_index.h - an inverted index over a set of loaded language models
 * (n-gram -> the models that hold it, with its rank in each), so that a
 * document is scored against every model with one lookup per document n-gram
 * instead of one per n-gram and model. The scores equal NgramPrfCompute's bit
 * for bit.
 *
 * Build the index once after the models are loaded; it only reads them then
 * and keeps no pointer to them. Scoring never changes it (only
 * NgramIdxUseWideVectors does, before it is shared), so any number of threads
 * may score with it at once without a lock. */
#ifndef GLOTTA_NGRAM_MODEL_INDEX_H
#define GLOTTA_NGRAM_MODEL_INDEX_H

#include <stddef.h>
#include <stdint.h>

#include "ngram/profile.h"

typedef struct NgramModelIndex NgramModelIndex;

/* Indexes of at most this many models score without allocating memory. */
enum { NGRAM_INDEX_ALLOCATION_FREE_MODELS = 512 };

/* Indexes `count` models; models[i] becomes slot i. A null model, or one
 * without a table, is allowed and always scores 0.0. Returns the index, or
 * null when memory runs out, `count` is negative, or `models` is null while
 * `count` is positive. Release with NgramIdxDestroy. */
NgramModelIndex *NgramIdxBuild(const NgramProfile *const *models, int32_t count);

/* Number of model slots; 0 for null. */
int32_t NgramIdxModelCount(const NgramModelIndex *index);

/* Scores a ranked, sorted document profile against the selected models:
 * scores[i] = NgramPrfCompute(document, models[i]) for every slot i with
 * `selected` null or selected[i] non-zero, and 0.0 for the other slots.
 * `scores` (and `selected` when given) hold NgramIdxModelCount entries. A
 * document that NgramPrfCompute cannot score (null, unranked, empty) gives
 * 0.0 everywhere. Returns LANG_OK; LANG_ERR_NULL for a null index or
 * `scores`; LANG_ERR_NOMEM when the scratch space for more than 512 models
 * cannot be allocated. The document is not changed. */
int NgramIdxScore(const NgramModelIndex *index, const NgramProfile *document,
                  const unsigned char *selected, float *scores);

/* NgramIdxScore for a document given by its best-ranked n-grams (as
 * NgramPrfTopNgrams or NgramPrfBuildTop give them), with the same scores. A
 * top->count of 0 or less gives 0.0 everywhere. */
int NgramIdxScoreTop(const NgramModelIndex *index, const NgramTop *top,
                     const unsigned char *selected, float *scores);

/* Whether scoring may use 256-bit vector instructions (AVX2); by default it
 * does where the processor has them. Zero forces the portable 128-bit path,
 * which gives the same scores; non-zero asks for AVX2 again, which is only
 * granted where the processor has it. Returns the setting now in force (0 or
 * 1); 0 for a null index. Call it before the index is shared: it changes the
 * index. */
int NgramIdxUseWideVectors(NgramModelIndex *index, int enable);

/* An index as a block of bytes, for keeping it in a file: its size (0 for
 * null), and the block itself written into `buffer` of exactly that size.
 * Equal indexes give equal bytes. The bytes are in this processor's order and
 * only NgramIdxFromImage of the same build reads them. NgramIdxImageWrite
 * returns LANG_OK, or LANG_ERR_NULL for a null argument or a wrong size. */
size_t NgramIdxImageSize(const NgramModelIndex *index);
int NgramIdxImageWrite(const NgramModelIndex *index, void *buffer, size_t size);

/* An index that scores from an image in place (8-byte aligned, exactly the
 * image's size): it gives the scores of the index the image was written
 * from. The image must stay unchanged and in place until NgramIdxDestroy.
 * Null when the bytes are no image, or one whose scoring could read out of
 * bounds or not end (a damaged file is refused, not trusted), or when memory
 * runs out. */
NgramModelIndex *NgramIdxFromImage(const void *image, size_t size);

/* The same for an image whose bytes the caller knows to be exactly those
 * that NgramIdxImageWrite wrote and NgramIdxFromImage accepted (for example
 * through a checksum taken then): only the header and the sizes are checked,
 * not every entry, so that start-up need not read the whole image. */
NgramModelIndex *NgramIdxFromVerifiedImage(const void *image, size_t size);

/* Releases the index; null is accepted. The models are not touched. */
void NgramIdxDestroy(NgramModelIndex *index);

#endif
