/* profile.h - n-gram profiles: document profiles (ranked), language models
 * (loaded from .lm files) and training profiles (saved to .lm files).
 *
 * Counting, ranking and scoring are profile.cpp; the reusable document
 * scratch is doc_scratch.cpp; reading and writing .lm files is lm_file.cpp.
 *
 * A profile is used by one caller at a time; a loaded model is only read
 * after NgramPrfLoad, so any number of scorers may share it. */
#ifndef GLOTTA_NGRAM_PROFILE_H
#define GLOTTA_NGRAM_PROFILE_H

#include <stdint.h>

#include "ngram/hash_table.h"

enum {
    NGRAM_RANK_LISTS = 500,
    NGRAM_RANK_MEMBERS = 99,   /* a rank list is 100 ints: count + 99 members */
    NGRAM_COMPARE_DEPTH = 400, /* n-grams compared; n-gram lines saved */
    NGRAM_MISSING_PENALTY = 400,
    NGRAM_MAX_LEN = 5
};

typedef struct NgramProfile {
    char *sourcePath;      /* file the profile was loaded from, or null */
    char *languageId;      /* "ID:" value, or null */
    char *charset;         /* "CHARSET:" value, or null */
    NgramHashTable *table; /* 1009 buckets */
    int32_t ranked;
    int32_t (*rankLists)[NGRAM_RANK_MEMBERS + 1]; /* 500 lists, or null */
} NgramProfile;

/* A new empty profile, or null when memory runs out (nothing is kept then).
 * `id` and `charset` may be null; non-null ones are copied. A non-zero
 * `ranked` adds the 500 rank lists, each with a member count of 0 (members
 * beyond a list's count are never read and are left unspecified). Release
 * with NgramPrfDestroy. */
NgramProfile *NgramPrfNew(const char *id, const char *charset, int ranked);

/* Counts the 1- to 5-byte n-grams of the words of `text` (runs of bytes
 * 0x40-0xFF; bytes 0x00-0x3F separate words; one-byte words are ignored).
 * ASCII capitals of the caller's buffer are folded to lower case in place.
 * Returns LANG_OK, LANG_ERR_NULL for a null profile, text or table, or the
 * first failing insertion's code (LANG_ERR_NOMEM); the n-grams counted before
 * a failure stay. A non-positive length inserts nothing. */
int NgramPrfInsert(NgramProfile *profile, unsigned char *text, int32_t length);

/* Fills the rank lists from the counts, in table order (so equal counts keep
 * table order). Call once after the insertions; calling again rebuilds the
 * same lists. LANG_OK, or LANG_ERR_NULL for a null profile, a missing table
 * or missing rank lists. */
int NgramPrfSort(NgramProfile *profile);

/* Similarity of a ranked, sorted document profile to a loaded model:
 * 1 - D / (400 p) over the p (at most 400) best-ranked document n-grams,
 * where D adds |position - model rank| for a shared n-gram and 400 for a
 * missing one. 0.0 for null arguments, a missing table or rank lists, or an
 * empty document. Neither profile is changed. */
float NgramPrfCompute(const NgramProfile *document, const NgramProfile *model);

/* Fills a fresh unranked profile from a .lm file: "ID:" and "CHARSET:" lines
 * set the language id and charset, every other line that is not a comment or
 * empty is an n-gram line whose n-gram (the bytes before its first space)
 * gets its line's 1-based rank. Lines are read in pieces of at most 255
 * bytes; each piece is handled as a line. Returns LANG_OK; LANG_ERR_NULL for
 * a null profile, path or table; LANG_ERR_OPEN when the file cannot be opened
 * or read; LANG_ERR_NOMEM; LANG_ERR_BADPROFILE for an n-gram line without a
 * space or with an n-gram over NGRAM_KEY_MAX bytes (reading ends there), or
 * for an empty "ID:" or "CHARSET:" value ("un" / "Unknown" are used) that no
 * stored n-gram line follows. sourcePath is set to a copy of `path`. */
int NgramPrfLoad(NgramProfile *profile, const char *path);

/* NgramPrfLoad that also stores the status of the file it opened (fstat,
 * taken before the file is read) in `status` when the file was opened;
 * `status` may be null. */
struct stat;
int NgramPrfLoadFile(NgramProfile *profile, const char *path, struct stat *status);

/* Writes the profile as a .lm file at `path` (created or replaced): the
 * "ID:" and "CHARSET:" lines when set, then 400 n-gram lines "<n-gram>
 * <length>" in rank order. A ranked profile writes its rank lists (at most
 * 400 lines); an unranked one is sorted by HashSort first (after which it can
 * only be destroyed) and writes its first 400 entries, empty ones as " 0".
 * The new file is written under a temporary name in the same directory,
 * synced, and renamed over `path`, so a save that fails leaves an existing
 * file as it was. LANG_OK; LANG_ERR_NULL for a null profile or path, a
 * missing table or missing rank lists of a ranked profile (no file is touched
 * then); LANG_ERR_OPEN when the file cannot be created, written or put in
 * place, with errno telling the system's reason. */
int NgramPrfSave(NgramProfile *profile, const char *path);

/* Releases the profile and everything it owns; null is accepted. */
void NgramPrfDestroy(NgramProfile *profile);

/* Storage for building document profiles one after another without
 * allocating them afresh: one ranked profile and the lookup structure of its
 * insertions, reset between documents. Owned by one caller at a time (no
 * lock). NgramPrfScratchNew returns null when memory runs out; release with
 * NgramPrfScratchDestroy (null is accepted). */
typedef struct NgramDocScratch NgramDocScratch;
NgramDocScratch *NgramPrfScratchNew(void);
void NgramPrfScratchDestroy(NgramDocScratch *scratch);

/* Builds the document profile of `text` in the scratch: the same profile,
 * entry for entry and list for list, as NgramPrfNew(NULL, NULL, 1),
 * NgramPrfInsert(text, length) and NgramPrfSort give, with the same result
 * code and the same folding of the caller's buffer. On LANG_OK *out points
 * to the profile, which belongs to the scratch and stays valid until its
 * next build or destruction; on failure *out is null. LANG_ERR_NULL for a
 * null argument. */
int NgramPrfBuildDocument(NgramDocScratch *scratch, unsigned char *text, int32_t length,
                          const NgramProfile **out);

/* A document's best-ranked n-grams as scoring visits them: `keys[p]` holds
 * the bytes of the n-gram at position p as an entry's key field holds them
 * (zero bytes after the n-gram), `lengths[p]` its length. */
typedef struct NgramTop {
    int32_t count;
    int32_t lengths[NGRAM_COMPARE_DEPTH];
    uint64_t keys[NGRAM_COMPARE_DEPTH];
} NgramTop;

/* What NgramPrfTopNgrams gives for the profile NgramPrfBuildDocument builds
 * of `text`, without laying the profile out: the same n-grams in the same
 * order, the same folding of the caller's buffer. Returns LANG_OK (with
 * top->count 0 for a text without n-grams), LANG_ERR_NULL for a null
 * argument or LANG_ERR_NOMEM; top->count is 0 on failure. The scratch's
 * profile is left as it was. */
int NgramPrfBuildTop(NgramDocScratch *scratch, unsigned char *text, int32_t length, NgramTop *top);

/* The document's best-ranked n-grams as scoring visits them (lists 0..499,
 * members in order), at most NGRAM_COMPARE_DEPTH of them, stored into `out`.
 * Returns their number, or -1 when the document cannot be scored (null, no
 * table or rank lists, or a rank list that does not fit its table). The
 * pointers refer to the document's table. */
int32_t NgramPrfTopNgrams(const NgramProfile *document,
                          const NgramHashEntry *out[NGRAM_COMPARE_DEPTH]);

/* The score of a total distance over `compared` n-grams, exactly as
 * NgramPrfCompute computes it (double arithmetic, rounded to float); 0.0 when
 * `compared` is not positive. */
float NgramPrfScore(int64_t distance, int32_t compared);

#endif
