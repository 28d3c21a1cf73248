/* hash_table.h - the n-gram table: chained hashing with the chains kept as
 * indices inside one growing array of fixed-size entries. */
#ifndef GLOTTA_NGRAM_HASH_TABLE_H
#define GLOTTA_NGRAM_HASH_TABLE_H

#include <stdint.h>

enum {
    NGRAM_HASH_BUCKETS = 1009, /* every table in the system */
    NGRAM_HASH_GROWTH = 2000,  /* entries added per growth step */
    NGRAM_KEY_MAX = 7          /* largest key that fits an entry */
};

typedef struct NgramHashEntry {
    char key[8];    /* NUL-terminated; a head with key[0] == 0 is empty */
    int32_t count;  /* occurrences, or the rank in a loaded model */
    int32_t length; /* key bytes */
    int32_t next;   /* next entry of the chain; 0 ends it */
} NgramHashEntry;

typedef struct NgramHashTable {
    int32_t capacity;        /* entries the array holds */
    int32_t nextFree;        /* next overflow entry; starts at the bucket count */
    NgramHashEntry *entries; /* heads 0..buckets-1, then overflow entries */
} NgramHashTable;

NgramHashTable *HashNew(int32_t buckets);
uint32_t HashFunc(const char *key, int32_t length);
int HashInsert(NgramHashTable *table, const char *key, int32_t length, int32_t value);
int32_t HashSearch(const NgramHashTable *table, const char *key, int32_t length);
int HashFreqSort(const void *a, const void *b);
int HashSort(NgramHashTable *table);
void HashDestroy(NgramHashTable *table);

#endif
