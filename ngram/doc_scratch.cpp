// doc_scratch.cpp - building document profiles one after another in
// reused storage (NgramPrfBuildDocument): the n-grams of a document are
// counted in one pass and then laid out in the profile's table and rank lists
// exactly as NgramPrfInsert and NgramPrfSort would lay them out.
#include <string.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <iterator>
#include <new>

#include "engine/lang_api.h"
#include "ngram/hash_internal.h"
#include "ngram/profile.h"
#include "ngram/text_helpers.h"
#include "platform/vos.h"

using namespace glotta::ngram;

namespace {

// Counts the n-grams of one document for NgramPrfBuildDocument. Every
// n-gram is counted in an open-addressing table keyed by its packed bytes
// (n-gram bytes are never zero, so a zero key marks a free slot and the key
// alone tells the length). The bytes are read once: at each word byte the
// 1- to 5-grams ending there are counted, with the table hash of each kept
// running in registers. Only the distinct n-grams are then written to the
// profile's table, in the order NgramPrfInsert would have created them.
class DocCounter {
  public:
    DocCounter() = default;
    DocCounter(const DocCounter &) = delete;
    DocCounter &operator=(const DocCounter &) = delete;
    ~DocCounter() {
        vos_free(slots_);
        vos_free(lists_);
    }

    // Counts the n-grams of `text`, folding its capitals; false when memory
    // runs out.
    bool count(unsigned char *text, int32_t length);
    // The distinct n-grams in creation order, as slot numbers.
    const int32_t *order() const { return lists_; }
    int32_t distinct() const { return distinct_; }

    struct Slot {
        uint64_t key;  // 0: free
        int32_t count;
        uint32_t hash;  // HashValue of the key
    };
    const Slot *slots() const { return slots_; }

  private:
    // Creation order is that of NgramPrfInsert: word by word, within a word
    // all 1-grams by position, then all 2-grams, and so on. The bytes are
    // visited by position instead, so the n-grams a word adds are kept in
    // one list per length (in position order) and appended when it ends.
    static constexpr int kStaged = NGRAM_MAX_LEN;

    static constexpr uint32_t kSlotMix = 0x9E3779B1u;
    // Texts longer than this are scanned for their longest word first.
    static constexpr int32_t kMeasuredWords = 8192;

    // Takes the free slot `s` that the probe for `key` ended on (after
    // growing the table when it is half full); false when it cannot grow.
    bool create(uint32_t s, uint64_t key, uint32_t hash, int n);
    bool reserve(int32_t length, int32_t longest_word);
    bool rehash();
    bool allocate_lists(int32_t capacity);

    Slot *slots_ = nullptr;
    int bits_ = 0;
    uint32_t mask_ = 0;
    int shift_ = 32;
    int32_t taken_ = 0;     // slots in use
    int32_t limit_ = 0;     // slots in use before the table grows
    int32_t distinct_ = 0;  // appended to the creation order so far
    // One block: the creation order (lists_ [0, limit_)) and the staged
    // lists of the current word (kStaged lists of word_room_ each).
    int32_t *lists_ = nullptr;
    int32_t lists_capacity_ = 0;
    int32_t *staged_[kStaged] = {};
    int32_t staged_count_[kStaged] = {};
    int32_t word_room_ = 0;
    bool failed_ = false;  // the table could not grow
};

bool DocCounter::allocate_lists(int32_t capacity) {
    if (capacity <= lists_capacity_) return true;
    auto *lists = static_cast<int32_t *>(
        vos_realloc(lists_, static_cast<size_t>(capacity) * sizeof(int32_t)));
    if (!lists) return false;
    lists_ = lists;
    lists_capacity_ = capacity;
    return true;
}

// Empties the table and makes room for a document of `length` bytes whose
// words have at most `longest_word` bytes: a word of L bytes adds at most
// L + 1 n-grams of each length.
bool DocCounter::reserve(int32_t length, int32_t longest_word) {
    // A failed count may leave keys that the creation order does not hold.
    if (failed_) {
        vos_free(slots_);
        slots_ = nullptr;
        bits_ = 0;
        failed_ = false;
    }
    for (int32_t i = 0; i < distinct_ && slots_; ++i) slots_[lists_[i]].key = 0;
    distinct_ = 0;
    taken_ = 0;
    // About two distinct n-grams per byte is what natural text gives; the
    // table grows for more, and one huge text does not reserve a huge table
    // up front.
    const int64_t expected = std::min<int64_t>(2 * int64_t{length}, int64_t{1} << 16);
    int bits = 10;
    while (bits < 30 && (int64_t{1} << bits) < 2 * expected) ++bits;
    if (bits > bits_) {
        vos_free(slots_);
        slots_ = static_cast<Slot *>(vos_calloc(size_t{1} << bits, sizeof(Slot)));
        if (!slots_) {
            bits_ = 0;
            return false;
        }
        bits_ = bits;
    }
    mask_ = (uint32_t{1} << bits_) - 1;
    shift_ = 32 - bits_;
    limit_ = static_cast<int32_t>((uint64_t{1} << bits_) / 2);
    // Worked out in 64 bits: a word of nearly INT32_MAX bytes would wrap a
    // 32-bit room.
    const int64_t room = int64_t{longest_word} + 2;
    const int64_t capacity = int64_t{limit_} + kStaged * room;
    if (capacity > INT32_MAX || !allocate_lists(static_cast<int32_t>(capacity))) return false;
    word_room_ = static_cast<int32_t>(room);
    for (int n = 0; n < kStaged; ++n) {
        staged_[n] = lists_ + limit_ + n * word_room_;
        staged_count_[n] = 0;
    }
    return true;
}

// Doubles the table; every slot number held in the lists moves with its key.
bool DocCounter::rehash() {
    if (bits_ >= 30) return false;
    const int bits = bits_ + 1;
    auto *slots = static_cast<Slot *>(vos_calloc(size_t{1} << bits, sizeof(Slot)));
    if (!slots) return false;
    const uint32_t mask = (uint32_t{1} << bits) - 1;
    const int shift = 32 - bits;
    auto move = [&](int32_t &slot) {
        const Slot &old = slots_[slot];
        uint32_t s = (old.hash * kSlotMix) >> shift;
        while (slots[s].key != 0) s = (s + 1) & mask;
        slots[s] = old;
        slot = static_cast<int32_t>(s);
    };
    for (int32_t i = 0; i < distinct_; ++i) move(lists_[i]);
    for (int n = 0; n < kStaged; ++n) {
        for (int32_t i = 0; i < staged_count_[n]; ++i) move(staged_[n][i]);
    }
    // The staged lists sit behind the creation order, whose room doubles.
    const int32_t limit = static_cast<int32_t>((uint64_t{1} << bits) / 2);
    const int64_t capacity = int64_t{limit} + int64_t{kStaged} * word_room_;
    if (capacity > INT32_MAX || !allocate_lists(static_cast<int32_t>(capacity))) {
        vos_free(slots);
        return false;
    }
    for (int n = kStaged - 1; n >= 0; --n) {
        int32_t *moved = lists_ + limit + n * word_room_;
        memmove(moved, lists_ + limit_ + n * word_room_,
                static_cast<size_t>(staged_count_[n]) * sizeof(int32_t));
        staged_[n] = moved;
    }
    vos_free(slots_);
    slots_ = slots;
    bits_ = bits;
    mask_ = mask;
    shift_ = shift;
    limit_ = limit;
    return true;
}

bool DocCounter::create(uint32_t s, uint64_t key, uint32_t hash, int n) {
    if (taken_ >= limit_) {
        if (!rehash()) return false;
        s = (hash * kSlotMix) >> shift_;
        while (slots_[s].key != 0) s = (s + 1) & mask_;
    }
    slots_[s] = {key, 1, hash};
    staged_[n - 1][staged_count_[n - 1]++] = static_cast<int32_t>(s);
    ++taken_;
    return true;
}

bool DocCounter::count(unsigned char *text, int32_t length) {
    // The staged lists are sized for the longest word; for a short text the
    // text's length bounds it well enough.
    int32_t longest = length;
    if (length > kMeasuredWords) {
        longest = 0;
        for (int32_t pos = 0, run = 0; pos < length; ++pos) {
            run = !lang_is_noise(text[pos]) ? run + 1 : 0;
            longest = std::max(longest, run);
        }
    }
    if (!reserve(length, longest)) return false;
    // The probe state lives in locals so that it stays in registers while
    // counts are written; only create(), when the table is half full, can
    // change it.
    Slot *slots = slots_;
    uint32_t mask = mask_;
    int shift = shift_;
    int32_t taken = taken_;
    int32_t limit = limit_;
    int32_t *ends[kStaged];  // the current word's staged lists end here
    for (int k = 0; k < kStaged; ++k) ends[k] = staged_[k];
    // The staged lists the current word added to: most words add to none or
    // one or two, and only those are appended when the word ends.
    uint32_t staged = 0;
    bool ok = true;
    auto add = [&](uint64_t key, uint32_t hash, int n) {
        uint32_t s = (hash * kSlotMix) >> shift;
        for (;;) {
            Slot &slot = slots[s];
            if (slot.key == key) {
                ++slot.count;
                return;
            }
            if (slot.key == 0) break;
            s = (s + 1) & mask;
        }
        staged |= 1u << (n - 1);
        if (taken < limit) {
            slots[s] = {key, 1, hash};
            *ends[n - 1]++ = static_cast<int32_t>(s);
            ++taken;
            return;
        }
        taken_ = taken;
        for (int k = 0; k < kStaged; ++k) {
            staged_count_[k] = static_cast<int32_t>(ends[k] - staged_[k]);
        }
        ok = create(s, key, hash, n) && ok;
        slots = slots_;
        mask = mask_;
        shift = shift_;
        taken = taken_;
        limit = limit_;
        for (int k = 0; k < kStaged; ++k) ends[k] = staged_[k] + staged_count_[k];
    };
    constexpr uint64_t kPad = '_';
    constexpr uint32_t kPadHash = hash_step(kHashSeed, '_');
    int32_t pos = 0;
    while (pos < length) {
        unsigned char c = text[pos];
        if (lang_is_noise(c)) {
            ++pos;
            continue;
        }
        if (c >= 'A' && c <= 'Z') text[pos] = c += 'a' - 'A';
        // A one-byte word is only folded.
        if (pos + 1 >= length || lang_is_noise(text[pos + 1])) {
            pos += 2;
            continue;
        }
        // Bytes enter `window` at the top: the n-gram ending at the newest
        // byte is its top n bytes, which shifted down are the packed key.
        uint64_t window = kPad << 56;
        uint32_t h1 = kPadHash, h2 = 0, h3 = 0, h4 = 0;
        int32_t at = 0;  // position in the padded word of the newest byte
        for (; pos < length && !lang_is_noise(c = text[pos]); ++pos) {
            if (c >= 'A' && c <= 'Z') text[pos] = c += 'a' - 'A';
            window = (window >> 8) | (uint64_t{c} << 56);
            ++at;
            const uint32_t h5 = hash_step(h4, c);
            h4 = hash_step(h3, c);
            h3 = hash_step(h2, c);
            h2 = hash_step(h1, c);
            h1 = hash_step(kHashSeed, c);
            add(window >> 56, h1, 1);
            add(window >> 48, h2, 2);
            if (at >= 2) add(window >> 40, h3, 3);
            if (at >= 3) add(window >> 32, h4, 4);
            if (at >= 4) add(window >> 24, h5, 5);
        }
        // The closing pad: no 1-gram, n-grams up to the whole padded word.
        window = (window >> 8) | (kPad << 56);
        ++at;
        add(window >> 48, hash_step(h1, '_'), 2);
        if (at >= 2) add(window >> 40, hash_step(h2, '_'), 3);
        if (at >= 3) add(window >> 32, hash_step(h3, '_'), 4);
        if (at >= 4) add(window >> 24, hash_step(h4, '_'), 5);
        if (!ok) {
            failed_ = true;
            return false;
        }
        // Appended by length, shortest first, in locals: the lists are ints
        // that could alias the counter's fields.
        int32_t *order = lists_ + distinct_;
        for (; staged != 0; staged &= staged - 1) {
            const int k = std::countr_zero(staged);
            for (const int32_t *from = staged_[k]; from != ends[k]; ++from) *order++ = *from;
            ends[k] = staged_[k];
        }
        distinct_ = static_cast<int32_t>(order - lists_);
    }
    taken_ = taken;
    return true;
}

}  // namespace

struct NgramDocScratch {
    NgramProfile *document; /* ranked, rebuilt by each build */
    DocCounter counter;
    uint64_t heads[(NGRAM_HASH_BUCKETS + 63) / 64]; /* buckets whose head is taken */
    int32_t tails[NGRAM_HASH_BUCKETS];              /* last entry of each taken bucket */
    int16_t usedLists[NGRAM_RANK_LISTS];            /* rank lists the last build filled */
    int32_t usedListCount;
    /* NgramPrfBuildTop: the counter's slots that would head each taken
     * bucket, those that would be overflow entries (in creation order), and
     * the rank lists as slots (member counts zero between builds). */
    int32_t headSlots[NGRAM_HASH_BUCKETS];
    int32_t *overflow;
    int32_t overflowCapacity;
    int32_t topCounts[NGRAM_RANK_LISTS];
    int32_t topMembers[NGRAM_RANK_LISTS][NGRAM_RANK_MEMBERS + 1]; /* + a spare entry */
};

NgramDocScratch *NgramPrfScratchNew(void) {
    auto *scratch = static_cast<NgramDocScratch *>(vos_malloc(sizeof(NgramDocScratch)));
    if (!scratch) return nullptr;
    new (scratch) NgramDocScratch{};
    scratch->document = NgramPrfNew(nullptr, nullptr, 1);
    if (!scratch->document) {
        NgramPrfScratchDestroy(scratch);
        return nullptr;
    }
    return scratch;
}

void NgramPrfScratchDestroy(NgramDocScratch *scratch) {
    if (!scratch) return;
    NgramPrfDestroy(scratch->document);
    vos_free(scratch->overflow);
    scratch->~NgramDocScratch();
    vos_free(scratch);
}

int NgramPrfBuildDocument(NgramDocScratch *scratch, unsigned char *text, int32_t length,
                          const NgramProfile **out) {
    if (out) *out = nullptr;
    if (!scratch || !scratch->document || !text || !out) return LANG_ERR_NULL;
    NgramProfile &document = *scratch->document;
    NgramHashTable &table = *document.table;
    // Emptied as HashNew leaves a table: the heads the last document took
    // are zeroed, no overflow entry is in use. A capacity grown by an
    // earlier document is kept; it only moves the points where the array
    // would grow, never what the table holds.
    uint64_t *heads = scratch->heads;
    for (int32_t w = 0; w < static_cast<int32_t>(std::size(scratch->heads)); ++w) {
        for (uint64_t bits = heads[w]; bits != 0; bits &= bits - 1) {
            table.entries[w * 64 + std::countr_zero(bits)] = NgramHashEntry{};
        }
        heads[w] = 0;
    }
    table.nextFree = NGRAM_HASH_BUCKETS;
    // Only the rank lists the last build filled hold members (a new
    // profile's lists are all empty).
    auto *lists = document.rankLists;
    for (int32_t u = 0; u < scratch->usedListCount; ++u) lists[scratch->usedLists[u]][0] = 0;
    scratch->usedListCount = 0;

    DocCounter &counter = scratch->counter;
    if (length > 0 && !counter.count(text, length)) return LANG_ERR_NOMEM;
    const int32_t distinct = length > 0 ? counter.distinct() : 0;

    // Each n-gram goes where HashInsert would have put it: the head of its
    // bucket when it is the bucket's first, else the next overflow entry,
    // linked behind the bucket's last. The array grows first, in the steps
    // HashInsert takes, to hold every n-gram as an overflow entry.
    const int64_t needed = int64_t{NGRAM_HASH_BUCKETS} + distinct + 1;
    if (table.capacity < needed) {
        const int64_t capacity =
            table.capacity + (needed - table.capacity + NGRAM_HASH_GROWTH - 1) / NGRAM_HASH_GROWTH *
                                 NGRAM_HASH_GROWTH;
        if (capacity > INT32_MAX) return LANG_ERR_NOMEM;
        void *grown =
            vos_realloc(table.entries, static_cast<size_t>(capacity) * sizeof(NgramHashEntry));
        if (!grown) return LANG_ERR_NOMEM;
        table.entries = static_cast<NgramHashEntry *>(grown);
        table.capacity = static_cast<int32_t>(capacity);
    }
    const int32_t *order = counter.order();
    const DocCounter::Slot *counted = counter.slots();
    NgramHashEntry *entries = table.entries;
    int32_t *tails = scratch->tails;
    int32_t next = NGRAM_HASH_BUCKETS;
    for (int32_t i = 0; i < distinct; ++i) {
        const DocCounter::Slot &ngram = counted[order[i]];
        const uint32_t bucket = hash_bucket(ngram.hash);
        int32_t at = static_cast<int32_t>(bucket);
        if (entries[bucket].count != 0) {
            at = next++;
            entries[tails[bucket]].next = at;
        } else {
            heads[bucket / 64] |= uint64_t{1} << (bucket % 64);
        }
        tails[bucket] = at;
        NgramHashEntry &entry = entries[at];
        memcpy(entry.key, &ngram.key, sizeof entry.key);
        entry.count = ngram.count;
        // The key's bytes are never zero: its length is that of its value.
        entry.length = (71 - __builtin_clzll(ngram.key)) >> 3;
        entry.next = 0;
    }
    table.nextFree = next;

    // The rank lists, in table order: heads by bucket, then overflow.
    int16_t *used = scratch->usedLists;
    int32_t usedCount = 0;
    auto rank = [lists, used, &usedCount](int32_t index, int32_t count) {
        const int32_t b = count < NGRAM_RANK_LISTS ? NGRAM_RANK_LISTS - count : 0;
        int32_t *list = lists[b];
        if (list[0] == 0) used[usedCount++] = static_cast<int16_t>(b);
        if (list[0] < NGRAM_RANK_MEMBERS) list[++list[0]] = index;
    };
    for (int32_t w = 0; w < static_cast<int32_t>(std::size(scratch->heads)); ++w) {
        for (uint64_t bits = heads[w]; bits != 0; bits &= bits - 1) {
            const int32_t b = w * 64 + std::countr_zero(bits);
            rank(b, entries[b].count);
        }
    }
    for (int32_t index = NGRAM_HASH_BUCKETS; index < next; ++index) {
        rank(index, entries[index].count);
    }
    scratch->usedListCount = usedCount;
    *out = &document;
    return LANG_OK;
}

int NgramPrfBuildTop(NgramDocScratch *scratch, unsigned char *text, int32_t length, NgramTop *top) {
    if (top) top->count = 0;
    if (!scratch || !text || !top) return LANG_ERR_NULL;
    DocCounter &counter = scratch->counter;
    if (length <= 0) return LANG_OK;
    if (!counter.count(text, length)) return LANG_ERR_NOMEM;
    const int32_t distinct = counter.distinct();
    if (distinct > scratch->overflowCapacity) {
        auto *grown = static_cast<int32_t *>(
            vos_realloc(scratch->overflow, static_cast<size_t>(distinct) * sizeof(int32_t)));
        if (!grown) return LANG_ERR_NOMEM;
        scratch->overflow = grown;
        scratch->overflowCapacity = distinct;
    }

    // Where the profile's table would hold each n-gram: the first of a
    // bucket heads it, the others follow as overflow entries in creation
    // order. Most n-grams occur once; they all go to the last rank list,
    // which keeps only its first NGRAM_RANK_MEMBERS in table order, so they
    // are set apart here (without a branch on the count) instead of being
    // ranked one by one: `multiple` marks the heads that occur more than
    // once, and `overflow` keeps only the overflow entries that do.
    const DocCounter::Slot *slots = counter.slots();
    const int32_t *order = counter.order();
    int32_t *heads = scratch->headSlots;
    int32_t *overflow = scratch->overflow;
    int32_t overflows = 0;
    uint64_t taken[(NGRAM_HASH_BUCKETS + 63) / 64] = {};
    uint64_t multiple[std::size(taken)] = {};
    for (int32_t i = 0; i < distinct; ++i) {
        const int32_t s = order[i];
        const uint32_t bucket = hash_bucket(slots[s].hash);
        const uint64_t bit = uint64_t{1} << (bucket % 64);
        const bool more = slots[s].count > 1;
        if (taken[bucket / 64] & bit) {
            overflow[overflows] = s;
            overflows += more;
        } else {
            taken[bucket / 64] |= bit;
            multiple[bucket / 64] |= uint64_t{more} << (bucket % 64);
            heads[bucket] = s;
        }
    }

    // The rank lists in table order, as NgramPrfSort fills them.
    int32_t *counts = scratch->topCounts;
    auto *members = scratch->topMembers;
    uint64_t used[(NGRAM_RANK_LISTS + 63) / 64] = {};
    // Without a branch on whether the list is full: a full list's next
    // member goes to its spare entry.
    auto rank = [&](int32_t s) {
        const int32_t count = slots[s].count;
        const int32_t b = count < NGRAM_RANK_LISTS ? NGRAM_RANK_LISTS - count : 0;
        const int32_t n = counts[b];
        used[b / 64] |= uint64_t{1} << (b % 64);
        members[b][n] = s;
        counts[b] = n + (n < NGRAM_RANK_MEMBERS);
    };
    for (int32_t w = 0; w < static_cast<int32_t>(std::size(multiple)); ++w) {
        for (uint64_t bits = multiple[w]; bits != 0; bits &= bits - 1) {
            rank(heads[w * 64 + std::countr_zero(bits)]);
        }
    }
    for (int32_t j = 0; j < overflows; ++j) rank(overflow[j]);
    // The list of n-grams occurring once: heads by bucket, then overflow
    // entries (those not heading their bucket) in creation order, up to its
    // size. A document has seldom fewer single heads than that.
    constexpr int32_t kOnce = NGRAM_RANK_LISTS - 1;
    int32_t *once = members[kOnce];
    int32_t ones = 0;
    for (int32_t w = 0; w < static_cast<int32_t>(std::size(taken)) && ones < NGRAM_RANK_MEMBERS;
         ++w) {
        for (uint64_t bits = taken[w] & ~multiple[w]; bits != 0 && ones < NGRAM_RANK_MEMBERS;
             bits &= bits - 1) {
            once[ones++] = heads[w * 64 + std::countr_zero(bits)];
        }
    }
    for (int32_t i = 0; i < distinct && ones < NGRAM_RANK_MEMBERS; ++i) {
        const int32_t s = order[i];
        if (slots[s].count == 1 && heads[hash_bucket(slots[s].hash)] != s) once[ones++] = s;
    }
    if (ones > 0) {
        counts[kOnce] = ones;
        used[kOnce / 64] |= uint64_t{1} << (kOnce % 64);
    }

    // Lists 0 to 499, members in order, up to the comparison depth; every
    // list used is emptied for the next build.
    int32_t p = 0;
    for (int32_t w = 0; w < static_cast<int32_t>(std::size(used)); ++w) {
        for (uint64_t bits = used[w]; bits != 0; bits &= bits - 1) {
            const int32_t b = w * 64 + std::countr_zero(bits);
            const int32_t take = std::min(counts[b], NGRAM_COMPARE_DEPTH - p);
            for (int32_t k = 0; k < take; ++k, ++p) {
                const uint64_t key = slots[members[b][k]].key;
                top->keys[p] = key;
                // The key's bytes are never zero: its length is that of its value.
                top->lengths[p] = (71 - __builtin_clzll(key)) >> 3;
            }
            counts[b] = 0;
        }
    }
    top->count = p;
    return LANG_OK;
}
