// hash_internal.h - inline core of the n-gram table, shared by the table, the
// profile and the model index so that the hot paths can hash incrementally
// and compare keys as whole words. Not part of any public interface.
#ifndef GLOTTA_NGRAM_HASH_INTERNAL_H
#define GLOTTA_NGRAM_HASH_INTERNAL_H

#include <string.h>

#include <bit>
#include <cstdint>

#include "engine/lang_api.h"
#include "ngram/hash_table.h"

namespace glotta::ngram {

inline constexpr uint32_t kHashSeed = 0x9E3779B9u;

// One byte of the hash: the byte is read as a signed char, so bytes 0x80-0xFF
// mix in as 0xFFFFFF80-0xFFFFFFFF.
constexpr uint32_t hash_step(uint32_t h, unsigned char byte) {
    h = std::rotl(h, 26) + h;
    return h ^ static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(byte)));
}

// h % NGRAM_HASH_BUCKETS through a 64-bit reciprocal: two multiplications
// instead of a division, exact for every 32-bit h.
constexpr uint32_t hash_bucket(uint32_t h) {
    constexpr uint64_t kReciprocal = UINT64_MAX / NGRAM_HASH_BUCKETS + 1;
    const uint64_t fraction = kReciprocal * h;
    return static_cast<uint32_t>((static_cast<unsigned __int128>(fraction) * NGRAM_HASH_BUCKETS) >>
                                 64);
}

// Keys are compared as the 8 bytes of the key field: the key bytes followed
// by zero bytes. Every entry key is stored that way.
inline uint64_t pack_key(const void *key, int32_t length) {
    uint64_t packed = 0;
    memcpy(&packed, key, static_cast<size_t>(length));
    return packed;
}

// pack_key for a key that is followed by at least 8 - length readable bytes.
inline uint64_t pack_key_padded(const unsigned char *key, int32_t length) {
    uint64_t word;
    memcpy(&word, key, sizeof word);
    if (length >= 8) return word;
    const uint64_t low = (uint64_t{1} << (8 * length)) - 1;
    if constexpr (std::endian::native == std::endian::little) {
        return word & low;
    } else {
        return word & ~(~uint64_t{0} >> (8 * length));
    }
}

inline uint64_t entry_key(const NgramHashEntry &entry) {
    uint64_t packed;
    memcpy(&packed, entry.key, sizeof packed);
    return packed;
}

// Count stored under a packed key in its bucket, or 0.
inline int32_t hash_search_at(const NgramHashTable &table, uint32_t bucket, uint64_t packed,
                              int32_t length) {
    const NgramHashEntry *entries = table.entries;
    int32_t index = static_cast<int32_t>(bucket);
    do {
        const NgramHashEntry &entry = entries[index];
        if (entry.length == length && entry_key(entry) == packed) return entry.count;
        index = entry.next;
    } while (index != 0);
    return 0;
}

// HashNew(NGRAM_HASH_BUCKETS) whose entry array has room for `room` overflow
// entries (at least NGRAM_HASH_GROWTH). The capacity is that of any new
// table; growth steps within the room reallocate in place (the allocator
// keeps a block that already fits), which spares a document profile the copy
// of its first growth.
NgramHashTable *hash_new(int32_t room);

// HashInsert with the bucket and packed key already computed; the table and
// its entry array are not null and 0 <= length <= NGRAM_KEY_MAX.
int hash_insert_at(NgramHashTable &table, uint32_t bucket, uint64_t packed, int32_t length,
                   int32_t value);

// Finds the entry of a key without walking chains, for a run of insertions
// into one table (one NgramPrfInsert call): with thousands of n-grams in 1009
// buckets the chains grow long, and walking them dominated the cost of
// building a profile. The finder mirrors the table it was built from and
// must see every insertion of the run; the table it produces is the one
// hash_insert_at would produce, entry for entry.
class KeyFinder {
  public:
    KeyFinder() = default;
    ~KeyFinder();
    KeyFinder(const KeyFinder &) = delete;
    KeyFinder &operator=(const KeyFinder &) = delete;

    // Indexes the keys of `table`, with room for about `expected_new` more.
    // When memory runs out the finder falls back to walking chains. A finder
    // built again keeps its slot array when that is large enough, so one
    // finder serving many tables allocates only while it grows, and frees
    // only the slots the previous run took instead of the whole array.
    void build(const NgramHashTable &table, int32_t expected_new);

    // HashInsert of a key of 1..NGRAM_KEY_MAX bytes whose full hash is `hash`.
    int insert(NgramHashTable &table, uint32_t hash, uint64_t packed, int32_t length,
               int32_t value) {
        if (!slots_) return hash_insert_at(table, hash_bucket(hash), packed, length, value);
        uint32_t s = slot_of(hash);
        for (; slots_[s].index >= 0; s = (s + 1) & mask_) {
            if (slots_[s].hash != hash) continue;
            NgramHashEntry &entry = table.entries[slots_[s].index];
            if (entry.length == length && entry_key(entry) == packed) {
                ++entry.count;
                return LANG_OK;
            }
        }
        return insert_new(table, s, hash, packed, length, value);
    }

  private:
    struct Slot {
        uint32_t hash;
        int32_t index;  // -1: free
    };

    // Stores a key at the free slot that its probe ended on, growing the
    // index when it is three quarters full; false (and the finder dropped)
    // when it cannot grow.
    bool record(uint32_t slot, uint32_t hash, int32_t index);
    // Adds a key the index does not hold; `slot` is where its probe ended.
    int insert_new(NgramHashTable &table, uint32_t slot, uint32_t hash, uint64_t packed,
                   int32_t length, int32_t value);
    bool rehash();
    // A slot array of 2^bits free slots with its taken list, or false.
    bool allocate(int bits);
    void set_size(int bits);
    uint32_t slot_of(uint32_t hash) const { return (hash * 0x9E3779B1u) >> shift_; }
    void drop();

    // Outside the slots named by taken_[0, used_) the whole block is free,
    // whatever part of it the current run indexes.
    Slot *slots_ = nullptr;
    int32_t *taken_ = nullptr;  // room for the limit_ of the whole block
    int allocated_bits_ = 0;    // size of the slots_ block
    uint32_t mask_ = 0;
    int shift_ = 32;
    int32_t used_ = 0;
    int32_t limit_ = 0;
    int32_t tails_[NGRAM_HASH_BUCKETS];  // last entry of each chain
};

}  // namespace glotta::ngram

#endif
