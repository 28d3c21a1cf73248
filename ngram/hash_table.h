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

/* A new table of `buckets` empty heads and NGRAM_HASH_GROWTH spare overflow
 * entries, from vos_malloc; release it with HashDestroy. `buckets` must be
 * NGRAM_HASH_BUCKETS (the hash always reduces modulo that prime); any other
 * value, or exhausted memory, gives null. The heads are zeroed; overflow
 * entries are written in full when they are taken, so their contents before
 * that are unspecified. */
NgramHashTable *HashNew(int32_t buckets);

/* The bucket of a key: HashValue(key, length) % NGRAM_HASH_BUCKETS. */
uint32_t HashFunc(const char *key, int32_t length);

/* The 32-bit hash before its reduction to a bucket. Each key byte is taken as
 * a signed char. A null key or a negative length hashes as the empty key. */
uint32_t HashValue(const char *key, int32_t length);

/* Counts one occurrence of `key` (`length` bytes, 0..NGRAM_KEY_MAX, no zero
 * byte). A new key gets the count `value` when it is positive, else 1; a known
 * key's count grows by one whatever `value` is. Before the last spare entry is
 * taken the array grows by NGRAM_HASH_GROWTH entries. Returns LANG_OK;
 * LANG_ERR_NULL for a null table, entry array or key, or a length outside
 * 0..NGRAM_KEY_MAX; LANG_ERR_NOMEM when the array cannot grow (the key is then
 * not added and the table keeps every earlier entry). */
int HashInsert(NgramHashTable *table, const char *key, int32_t length, int32_t value);

/* The count stored for `key`, or 0 when it is absent, an argument is null or
 * the length is outside 0..NGRAM_KEY_MAX. Only reads the table. */
int32_t HashSearch(const NgramHashTable *table, const char *key, int32_t length);

/* qsort-style comparison of two NgramHashEntry: -1 when a's count is the
 * greater, 1 when it is the smaller, 0 when they are equal. */
int HashFreqSort(const void *a, const void *b);

/* Sorts entries 0..nextFree-1 in place by descending count (HashFreqSort);
 * equal counts keep their table order, so the result is reproducible. The
 * chains are broken afterwards: the table is then only an array in count
 * order, fit for reading and HashDestroy. LANG_OK, or LANG_ERR_NULL for a
 * null table or entry array. */
int HashSort(NgramHashTable *table);

/* Releases the entry array and the record; null is accepted. */
void HashDestroy(NgramHashTable *table);

#endif
