// model_index.cpp - inverted index of the loaded models for batch scoring.
#include "ngram/model_index.h"

#include <string.h>

#include <algorithm>
#include <array>
#include <cstdint>

#include "engine/lang_api.h"
#include "ngram/hash_internal.h"
#include "platform/vos.h"

using namespace glotta::ngram;

namespace {

// One (n-gram, model) pair: the n-gram's rank in that model.
struct Posting {
    int32_t model;
    int32_t rank;
};

// The same in half the space, used when every model slot and rank fits 16
// bits (always so for profiles of 400 lines): scoring walks thousands of
// postings per document, and their memory traffic is most of its cost.
struct NarrowPosting {
    uint16_t model;
    uint16_t rank;
};

// An n-gram of the index and its postings [begin, end); end == 0 marks an
// empty slot (every n-gram has at least one posting).
struct Slot {
    uint64_t key;
    uint32_t begin;
    uint32_t end;
};

struct Tuple {
    uint64_t key;
    int32_t model;
    int32_t rank;
};

// Index keys carry the n-gram length in their top byte, which the key bytes
// (at most 7) never reach, so equal bytes of different lengths stay apart.
uint64_t index_key(uint64_t packed, int32_t length) {
    return packed | (static_cast<uint64_t>(length) << 56);
}

uint64_t masked_key(const NgramHashEntry &entry) {
    uint64_t packed = 0;
    memcpy(&packed, entry.key, static_cast<size_t>(entry.length));
    return packed;
}

uint32_t slot_of(uint64_t key, int bits) {
    return static_cast<uint32_t>((key * 0x9E3779B97F4A7C15ull) >> (64 - bits));
}

bool scorable(const NgramProfile *model) {
    return model && model->table && model->table->entries;
}

int32_t used_entries(const NgramHashTable &table) {
    return std::clamp(table.nextFree, 0, table.capacity);
}

template <typename T>
T *allocate(size_t count) {
    return static_cast<T *>(vos_malloc(std::max<size_t>(count, 1) * sizeof(T)));
}

constexpr int32_t kStackModels = 512;

// Adds what each posting's model saves against the missing penalty for the
// document n-gram at `position` (1-based).
template <typename P>
void add_postings(const P *begin, const P *end, int64_t position, int64_t *saved) {
    for (const P *posting = begin; posting != end; ++posting) {
        const int64_t d = position - static_cast<int64_t>(posting->rank);
        saved[posting->model] += NGRAM_MISSING_PENALTY - (d < 0 ? -d : d);
    }
}

}  // namespace

struct NgramModelIndex {
    int32_t modelCount;
    int slotBits;
    unsigned char *scorable; /* per slot: 1 when NgramPrfCompute can score it */
    Slot *slots;             /* 1 << slotBits */
    Posting *postings;       /* null when `narrow` holds them */
    NarrowPosting *narrow;
};

void NgramIdxDestroy(NgramModelIndex *index) {
    if (!index) return;
    vos_free(index->scorable);
    vos_free(index->slots);
    vos_free(index->postings);
    vos_free(index->narrow);
    vos_free(index);
}

NgramModelIndex *NgramIdxBuild(const NgramProfile *const *models, int32_t count) {
    if (count < 0 || (!models && count > 0)) return nullptr;
    auto *index = static_cast<NgramModelIndex *>(vos_calloc(1, sizeof(NgramModelIndex)));
    if (!index) return nullptr;
    index->modelCount = count;
    index->scorable = allocate<unsigned char>(static_cast<size_t>(count));
    if (!index->scorable) {
        NgramIdxDestroy(index);
        return nullptr;
    }

    size_t candidates = 0;
    for (int32_t m = 0; m < count; ++m) {
        index->scorable[m] = scorable(models[m]) ? 1 : 0;
        if (index->scorable[m]) candidates += static_cast<size_t>(used_entries(*models[m]->table));
    }
    Tuple *tuples = allocate<Tuple>(candidates);
    if (!tuples) {
        NgramIdxDestroy(index);
        return nullptr;
    }
    size_t n = 0;
    for (int32_t m = 0; m < count; ++m) {
        if (!index->scorable[m]) continue;
        const NgramHashTable &table = *models[m]->table;
        const int32_t used = used_entries(table);
        for (int32_t i = 0; i < used; ++i) {
            const NgramHashEntry &entry = table.entries[i];
            if (entry.count <= 0 || entry.length < 0 || entry.length > NGRAM_KEY_MAX) continue;
            // Record what a lookup of this key answers, which is what scoring
            // sees; an entry that lookups cannot reach adds nothing.
            const uint64_t packed = masked_key(entry);
            if (packed != entry_key(entry)) continue;
            const int32_t rank = HashSearch(&table, entry.key, entry.length);
            if (rank <= 0) continue;
            tuples[n++] = {index_key(packed, entry.length), m, rank};
        }
    }
    std::sort(tuples, tuples + n, [](const Tuple &a, const Tuple &b) {
        return a.key != b.key ? a.key < b.key : a.model < b.model;
    });
    n = static_cast<size_t>(std::unique(tuples, tuples + n,
                                        [](const Tuple &a, const Tuple &b) {
                                            return a.key == b.key && a.model == b.model;
                                        }) -
                            tuples);

    size_t keys = 0;
    for (size_t i = 0; i < n; ++i) keys += (i == 0 || tuples[i].key != tuples[i - 1].key);
    int bits = 4;
    while ((size_t{1} << bits) < 2 * keys) ++bits;
    index->slotBits = bits;
    index->slots = static_cast<Slot *>(vos_calloc(size_t{1} << bits, sizeof(Slot)));
    bool fits = count <= UINT16_MAX + 1;
    for (size_t i = 0; i < n && fits; ++i) fits = tuples[i].rank <= UINT16_MAX;
    if (fits) {
        index->narrow = allocate<NarrowPosting>(n);
    } else {
        index->postings = allocate<Posting>(n);
    }
    if (!index->slots || (!index->postings && !index->narrow) || n > UINT32_MAX) {
        vos_free(tuples);
        NgramIdxDestroy(index);
        return nullptr;
    }
    for (size_t i = 0; i < n;) {
        size_t end = i;
        for (; end < n && tuples[end].key == tuples[i].key; ++end) {
            if (fits) {
                index->narrow[end] = {static_cast<uint16_t>(tuples[end].model),
                                      static_cast<uint16_t>(tuples[end].rank)};
            } else {
                index->postings[end] = {tuples[end].model, tuples[end].rank};
            }
        }
        const uint32_t mask = (uint32_t{1} << bits) - 1;
        uint32_t s = slot_of(tuples[i].key, bits);
        while (index->slots[s].end != 0) s = (s + 1) & mask;
        index->slots[s] = {tuples[i].key, static_cast<uint32_t>(i), static_cast<uint32_t>(end)};
        i = end;
    }
    vos_free(tuples);
    return index;
}

int32_t NgramIdxModelCount(const NgramModelIndex *index) {
    return index ? index->modelCount : 0;
}

int NgramIdxScore(const NgramModelIndex *index, const NgramProfile *document,
                  const unsigned char *selected, float *scores) {
    if (!index || !scores) return LANG_ERR_NULL;
    const int32_t count = index->modelCount;
    for (int32_t m = 0; m < count; ++m) scores[m] = 0.0f;
    const NgramHashEntry *top[NGRAM_COMPARE_DEPTH];
    const int32_t compared = NgramPrfTopNgrams(document, top);
    if (compared <= 0 || count == 0) return LANG_OK;

    // saved[m] sums, over the n-grams model m holds, how much less than the
    // missing penalty each costs; the distance is then 400 p - saved[m].
    std::array<int64_t, kStackModels> stack_saved;
    int64_t *saved = stack_saved.data();
    glotta::VosPtr<int64_t> heap_saved;
    if (count > kStackModels) {
        heap_saved.reset(allocate<int64_t>(static_cast<size_t>(count)));
        if (!heap_saved) return LANG_ERR_NOMEM;
        saved = heap_saved.get();
    }
    std::fill(saved, saved + count, int64_t{0});

    const uint32_t mask = (uint32_t{1} << index->slotBits) - 1;
    for (int32_t p = 0; p < compared; ++p) {
        const NgramHashEntry &entry = *top[p];
        if (entry.length < 0 || entry.length > NGRAM_KEY_MAX) continue;
        const uint64_t key = index_key(masked_key(entry), entry.length);
        uint32_t s = slot_of(key, index->slotBits);
        while (index->slots[s].end != 0 && index->slots[s].key != key) s = (s + 1) & mask;
        const Slot &slot = index->slots[s];
        const int64_t position = p + 1;
        if (index->narrow) {
            add_postings(index->narrow + slot.begin, index->narrow + slot.end, position, saved);
        } else {
            add_postings(index->postings + slot.begin, index->postings + slot.end, position, saved);
        }
    }
    const int64_t worst = int64_t{NGRAM_MISSING_PENALTY} * compared;
    for (int32_t m = 0; m < count; ++m) {
        if ((selected && !selected[m]) || !index->scorable[m]) continue;
        scores[m] = NgramPrfScore(worst - saved[m], compared);
    }
    return LANG_OK;
}
