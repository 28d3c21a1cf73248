/* profile.h - n-gram profiles: document profiles (ranked), language models
 * (loaded from .lm files) and training profiles (saved to .lm files). */
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
    char *sourcePath;       /* file the profile was loaded from, or null */
    char *languageId;       /* "ID:" value, or null */
    char *charset;          /* "CHARSET:" value, or null */
    NgramHashTable *table;  /* 1009 buckets */
    int32_t ranked;
    int32_t (*rankLists)[NGRAM_RANK_MEMBERS + 1]; /* 500 lists, or null */
} NgramProfile;

NgramProfile *NgramPrfNew(const char *id, const char *charset, int ranked);
int NgramPrfInsert(NgramProfile *profile, unsigned char *text, int32_t length);
int NgramPrfSort(NgramProfile *profile);
float NgramPrfCompute(const NgramProfile *document, const NgramProfile *model);
int NgramPrfLoad(NgramProfile *profile, const char *path);
int NgramPrfSave(NgramProfile *profile, const char *path);
void NgramPrfDestroy(NgramProfile *profile);

#endif
