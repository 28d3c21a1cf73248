// hash_table.cpp - the n-gram table: 1009 bucket heads followed by overflow
// entries in one array, chains linked by index.
#include "ngram/hash_table.h"

#include <string.h>

#include <algorithm>
#include <climits>

#include "engine/lang_api.h"
#include "ngram/hash_internal.h"
#include "platform/vos.h"

namespace glotta::ngram {

namespace {

void write_entry(NgramHashEntry &entry, uint64_t packed, int32_t length, int32_t value) {
    memcpy(entry.key, &packed, sizeof entry.key);
    entry.count = value > 0 ? value : 1;
    entry.length = length;
    entry.next = 0;
}

bool grow(NgramHashTable &table) {
    if (table.capacity > INT32_MAX - NGRAM_HASH_GROWTH) return false;
    const int32_t capacity = table.capacity + NGRAM_HASH_GROWTH;
    void *grown =
        vos_realloc(table.entries, static_cast<size_t>(capacity) * sizeof(NgramHashEntry));
    if (!grown) return false;
    table.entries = static_cast<NgramHashEntry *>(grown);
    table.capacity = capacity;
    return true;
}

}  // namespace

int hash_insert_at(NgramHashTable &table, uint32_t bucket, uint64_t packed, int32_t length,
                   int32_t value) {
    NgramHashEntry *entries = table.entries;
    NgramHashEntry &head = entries[bucket];
    if (head.key[0] == 0) {
        write_entry(head, packed, length, value);
        return LANG_OK;
    }
    int32_t last = static_cast<int32_t>(bucket);
    for (;;) {
        NgramHashEntry &entry = entries[last];
        if (entry.length == length && entry_key(entry) == packed) {
            ++entry.count;
            return LANG_OK;
        }
        if (entry.next == 0) break;
        last = entry.next;
    }
    // Grow before the last spare entry is taken, so a failed growth leaves
    // the key out and the table consistent.
    if (table.nextFree + 1 >= table.capacity && !grow(table)) return LANG_ERR_NOMEM;
    entries = table.entries;
    const int32_t taken = table.nextFree++;
    write_entry(entries[taken], packed, length, value);
    entries[last].next = taken;
    return LANG_OK;
}

NgramHashTable *hash_new(int32_t room) {
    auto *table = static_cast<NgramHashTable *>(vos_malloc(sizeof(NgramHashTable)));
    if (!table) return nullptr;
    const int32_t capacity = NGRAM_HASH_BUCKETS + NGRAM_HASH_GROWTH;
    room = std::max<int32_t>(room, NGRAM_HASH_GROWTH) + NGRAM_HASH_BUCKETS;
    table->entries = static_cast<NgramHashEntry *>(vos_malloc(sizeof(NgramHashEntry) * room));
    if (!table->entries) {
        vos_free(table);
        return nullptr;
    }
    // Only the heads are read before being written; overflow entries are
    // written in full when taken, so zeroing them would be wasted work on
    // every document profile.
    memset(table->entries, 0, sizeof(NgramHashEntry) * NGRAM_HASH_BUCKETS);
    table->capacity = capacity;
    table->nextFree = NGRAM_HASH_BUCKETS;
    return table;
}

KeyFinder::~KeyFinder() {
    vos_free(slots_);
    vos_free(taken_);
}

void KeyFinder::drop() {
    vos_free(slots_);
    vos_free(taken_);
    slots_ = nullptr;
    taken_ = nullptr;
    allocated_bits_ = 0;
    used_ = 0;
}

bool KeyFinder::allocate(int bits) {
    const size_t size = size_t{1} << bits;
    slots_ = static_cast<Slot *>(vos_malloc(sizeof(Slot) * size));
    taken_ = static_cast<int32_t *>(vos_malloc(sizeof(int32_t) * (size * 3 / 4 + 1)));
    if (!slots_ || !taken_) {
        drop();
        return false;
    }
    memset(slots_, 0xFF, sizeof(Slot) * size);
    allocated_bits_ = bits;
    used_ = 0;
    return true;
}

void KeyFinder::build(const NgramHashTable &table, int32_t expected_new) {
    const NgramHashEntry *entries = table.entries;
    const int32_t used = std::clamp(table.nextFree, 0, table.capacity);
    int64_t keys = used - NGRAM_HASH_BUCKETS;
    for (int32_t b = 0; b < NGRAM_HASH_BUCKETS; ++b) keys += entries[b].key[0] != 0;
    // Capped so that one huge text does not reserve a huge index up front;
    // the index grows when it fills.
    keys += std::clamp(expected_new, 0, 1 << 16);
    int bits = 10;
    while (bits < 30 && (int64_t{1} << bits) < 2 * keys) ++bits;
    if (!slots_ || allocated_bits_ < bits) {
        drop();
        if (!allocate(bits)) return;
    } else {
        // A document takes a few thousand slots of a block of tens of
        // thousands: freeing just those is what makes reuse pay.
        for (int32_t k = 0; k < used_; ++k) slots_[taken_[k]] = {UINT32_MAX, -1};
    }
    set_size(bits);
    used_ = 0;
    // The tail of an empty bucket is set when its head is taken, before it
    // is first read.
    for (int32_t b = 0; b < NGRAM_HASH_BUCKETS; ++b) {
        if (entries[b].key[0] == 0) continue;
        for (int32_t i = b;;) {
            const NgramHashEntry &entry = entries[i];
            tails_[b] = i;
            if (entry.length > 0) {
                const uint32_t hash = HashValue(entry.key, entry.length);
                uint32_t s = slot_of(hash);
                while (slots_[s].index >= 0) s = (s + 1) & mask_;
                if (!record(s, hash, i)) return;
            }
            // Only links into the used part of the table are followed.
            if (entry.next <= 0 || entry.next >= used) break;
            i = entry.next;
        }
    }
}

void KeyFinder::set_size(int bits) {
    mask_ = (uint32_t{1} << bits) - 1;
    shift_ = 32 - bits;
    limit_ = static_cast<int32_t>((uint64_t{3} << bits) / 4);
}

bool KeyFinder::rehash() {
    Slot *old = slots_;
    int32_t *old_taken = taken_;
    const int32_t old_used = used_;
    const int bits = 33 - shift_;
    if (bits > 30) return false;
    slots_ = nullptr;
    taken_ = nullptr;
    if (!allocate(bits)) {
        slots_ = old;
        taken_ = old_taken;
        allocated_bits_ = 0;  // never reused: drop() follows
        used_ = old_used;
        return false;
    }
    set_size(bits);
    // Only the taken slots are visited; where a key lands in the new block
    // never changes which entry it finds.
    for (int32_t k = 0; k < old_used; ++k) {
        const Slot &slot = old[old_taken[k]];
        uint32_t t = slot_of(slot.hash);
        while (slots_[t].index >= 0) t = (t + 1) & mask_;
        slots_[t] = slot;
        taken_[used_++] = static_cast<int32_t>(t);
    }
    vos_free(old);
    vos_free(old_taken);
    return true;
}

bool KeyFinder::record(uint32_t slot, uint32_t hash, int32_t index) {
    if (used_ < limit_) {
        slots_[slot] = {hash, index};
        taken_[used_++] = static_cast<int32_t>(slot);
        return true;
    }
    if (!rehash()) {
        drop();
        return false;
    }
    uint32_t s = slot_of(hash);
    while (slots_[s].index >= 0) s = (s + 1) & mask_;
    slots_[s] = {hash, index};
    taken_[used_++] = static_cast<int32_t>(s);
    return true;
}

int KeyFinder::insert_new(NgramHashTable &table, uint32_t slot, uint32_t hash, uint64_t packed,
                          int32_t length, int32_t value) {
    // The bucket's head is empty exactly when the bucket holds no key yet, so
    // the head is tested only for keys the index does not know.
    const uint32_t bucket = hash_bucket(hash);
    NgramHashEntry &head = table.entries[bucket];
    if (head.key[0] == 0) {
        write_entry(head, packed, length, value);
        tails_[bucket] = static_cast<int32_t>(bucket);
        record(slot, hash, static_cast<int32_t>(bucket));
        return LANG_OK;
    }
    if (table.nextFree + 1 >= table.capacity && !grow(table)) return LANG_ERR_NOMEM;
    const int32_t taken = table.nextFree++;
    write_entry(table.entries[taken], packed, length, value);
    table.entries[tails_[bucket]].next = taken;
    tails_[bucket] = taken;
    record(slot, hash, taken);
    return LANG_OK;
}

}  // namespace glotta::ngram

using namespace glotta::ngram;

NgramHashTable *HashNew(int32_t buckets) {
    return buckets == NGRAM_HASH_BUCKETS ? hash_new(NGRAM_HASH_GROWTH) : nullptr;
}

uint32_t HashValue(const char *key, int32_t length) {
    uint32_t h = kHashSeed;
    if (!key) return h;
    const auto *bytes = reinterpret_cast<const unsigned char *>(key);
    for (int32_t i = 0; i < length; ++i) h = hash_step(h, bytes[i]);
    return h;
}

uint32_t HashFunc(const char *key, int32_t length) {
    return hash_bucket(HashValue(key, length));
}

int HashInsert(NgramHashTable *table, const char *key, int32_t length, int32_t value) {
    if (!table || !table->entries || !key) return LANG_ERR_NULL;
    if (length < 0 || length > NGRAM_KEY_MAX) return LANG_ERR_NULL;
    return hash_insert_at(*table, HashFunc(key, length), pack_key(key, length), length, value);
}

int32_t HashSearch(const NgramHashTable *table, const char *key, int32_t length) {
    if (!table || !table->entries || !key) return 0;
    if (length < 0 || length > NGRAM_KEY_MAX) return 0;
    return hash_search_at(*table, HashFunc(key, length), pack_key(key, length), length);
}

int HashFreqSort(const void *a, const void *b) {
    const int32_t ca = static_cast<const NgramHashEntry *>(a)->count;
    const int32_t cb = static_cast<const NgramHashEntry *>(b)->count;
    if (ca > cb) return -1;
    if (ca < cb) return 1;
    return 0;
}

int HashSort(NgramHashTable *table) {
    if (!table || !table->entries) return LANG_ERR_NULL;
    const int32_t used = std::clamp(table->nextFree, 0, table->capacity);
    std::stable_sort(
        table->entries, table->entries + used,
        [](const NgramHashEntry &a, const NgramHashEntry &b) { return HashFreqSort(&a, &b) < 0; });
    return LANG_OK;
}

void HashDestroy(NgramHashTable *table) {
    if (!table) return;
    vos_free(table->entries);
    vos_free(table);
}
