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
// empty slot (every n-gram has at least one posting). An n-gram held by many
// models keeps its ranks in a dense row instead: begin is then kDenseRow
// plus the row number.
struct Slot {
    uint64_t key;
    uint32_t begin;
    uint32_t end;
};

constexpr uint32_t kDenseRow = 0x80000000u;

// A dense row holds one 16-bit rank per model slot (0: the model lacks the
// n-gram), padded to whole vectors. Scoring a row costs about the same for
// every model whether it holds the n-gram or not, so only n-grams that most
// models share get one; for them it is several times cheaper than walking
// postings one by one.
// Rows are summed in blocks of kLanes lanes: one 256-bit vector where the
// processor has AVX2, two 128-bit ones elsewhere.
constexpr int32_t kLanes = 16;
typedef int16_t Lanes8 __attribute__((vector_size(8 * sizeof(int16_t))));
typedef int16_t Lanes16 __attribute__((vector_size(16 * sizeof(int16_t))));
// Row sums are kept in 16 bits for kFlushRows rows at a time. With ranks up
// to kDenseMaxRank and positions up to the comparison depth, each row adds
// between -399 and 400 per model, so 64 rows stay within int16_t.
constexpr int32_t kDenseMaxRank = 2 * NGRAM_COMPARE_DEPTH;
constexpr int32_t kFlushRows = 64;
static_assert(kFlushRows * (kDenseMaxRank - NGRAM_MISSING_PENALTY) < INT16_MAX);
static_assert(kFlushRows * NGRAM_MISSING_PENALTY < INT16_MAX);
// A row pays for itself once an n-gram has about one posting per this many
// model slots (a posting costs about as much as a few lanes).
constexpr int32_t kDenseSlotsPerPosting = 8;

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

// The first `length` (0..NGRAM_KEY_MAX) bytes of the key field.
uint64_t masked_key(const NgramHashEntry &entry) {
    return pack_key_padded(reinterpret_cast<const unsigned char *>(entry.key), entry.length);
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

constexpr int32_t kStackModels = NGRAM_INDEX_ALLOCATION_FREE_MODELS;

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
    int32_t stride;  /* lanes per dense row: modelCount rounded up to kLanes */
    int32_t *column; /* per model slot: its lane in the dense rows */
    int16_t *dense;  /* dense rows of `stride` ranks; null when there are none */
    bool avx2;       /* rows are summed with AVX2 */
    size_t postingCount;
    size_t rowCount;
    bool borrowed; /* the arrays lie in an image owned by the caller */
};

namespace {

// Adds the blocks [at, at + kLanes) for each `at` of `starts` of one dense
// row to the 16-bit sums: what each model holding the document n-gram at
// `position` saves against the missing penalty, `Lanes` at a time.
template <typename Lanes>
__attribute__((always_inline)) inline void add_dense_row_in(const int16_t *row,
                                                            const int32_t *starts, int32_t count,
                                                            int16_t position, int16_t *sums) {
    constexpr int32_t kWidth = sizeof(Lanes) / sizeof(int16_t);
    const Lanes at = Lanes{} + position;
    const Lanes penalty = Lanes{} + static_cast<int16_t>(NGRAM_MISSING_PENALTY);
    for (int32_t k = 0; k < count; ++k) {
        for (int32_t j = starts[k]; j < starts[k] + kLanes; j += kWidth) {
            Lanes rank;
            Lanes sum;
            memcpy(&rank, row + j, sizeof rank);
            memcpy(&sum, sums + j, sizeof sum);
            const Lanes d = at - rank;
            const Lanes gain = penalty - (d < 0 ? -d : d);
            sum += gain & (rank != 0);
            memcpy(sums + j, &sum, sizeof sum);
        }
    }
}

void add_dense_row(const int16_t *row, const int32_t *starts, int32_t count, int16_t position,
                   int16_t *sums) {
    add_dense_row_in<Lanes8>(row, starts, count, position, sums);
}

#if defined(__x86_64__) || defined(__i386__)
// The same sums, one 256-bit vector per block, where the processor has AVX2.
__attribute__((target("avx2"))) void add_dense_row_avx2(const int16_t *row, const int32_t *starts,
                                                        int32_t count, int16_t position,
                                                        int16_t *sums) {
    add_dense_row_in<Lanes16>(row, starts, count, position, sums);
}

bool have_avx2() {
    return __builtin_cpu_supports("avx2");
}
#else
void add_dense_row_avx2(const int16_t *row, const int32_t *starts, int32_t count, int16_t position,
                        int16_t *sums) {
    add_dense_row(row, starts, count, position, sums);
}

bool have_avx2() {
    return false;
}
#endif

// Lanes in order of the models' charsets (then slots), so that the models a
// request admits, which share a charset or a few, fill few whole vectors.
bool assign_columns(const NgramProfile *const *models, int32_t count, int32_t *column) {
    glotta::VosPtr<int32_t> order(allocate<int32_t>(static_cast<size_t>(count)));
    if (!order) return false;
    int32_t *first = order.get();
    for (int32_t m = 0; m < count; ++m) first[m] = m;
    auto charset = [&](int32_t m) -> const char * {
        return models[m] && models[m]->charset ? models[m]->charset : "";
    };
    std::sort(first, first + count, [&](int32_t a, int32_t b) {
        const int c = strcmp(charset(a), charset(b));
        return c != 0 ? c < 0 : a < b;
    });
    for (int32_t lane = 0; lane < count; ++lane) column[first[lane]] = lane;
    return true;
}

// Puts the tuples in (key, model) order. They arrive in model order, so a
// stable sort by key alone is enough: a least-significant-digit radix sort,
// one pass per key byte that is not the same in every tuple, several times
// cheaper than a comparison sort at the ~60,000 tuples of the shipped
// profiles. Without memory for the second buffer, a comparison sort.
void sort_tuples(Tuple *tuples, size_t n) {
    glotta::VosPtr<Tuple> spare(n > 1 ? allocate<Tuple>(n) : nullptr);
    if (!spare) {
        std::sort(tuples, tuples + n, [](const Tuple &a, const Tuple &b) {
            return a.key != b.key ? a.key < b.key : a.model < b.model;
        });
        return;
    }
    constexpr int kDigits = 8;
    std::array<std::array<size_t, 256>, kDigits> counts{};
    for (size_t i = 0; i < n; ++i) {
        for (int d = 0; d < kDigits; ++d) ++counts[d][(tuples[i].key >> (8 * d)) & 0xFF];
    }
    Tuple *from = tuples;
    Tuple *to = spare.get();
    for (int d = 0; d < kDigits; ++d) {
        std::array<size_t, 256> &count = counts[d];
        if (count[(from[0].key >> (8 * d)) & 0xFF] == n) continue;  // one value: order stays
        size_t start = 0;
        for (size_t &c : count) {
            const size_t here = c;
            c = start;
            start += here;
        }
        for (size_t i = 0; i < n; ++i) to[count[(from[i].key >> (8 * d)) & 0xFF]++] = from[i];
        std::swap(from, to);
    }
    if (from != tuples) memcpy(tuples, from, n * sizeof(Tuple));
}

}  // namespace

void NgramIdxDestroy(NgramModelIndex *index) {
    if (!index) return;
    if (index->borrowed) {
        vos_free(index);
        return;
    }
    vos_free(index->scorable);
    vos_free(index->slots);
    vos_free(index->postings);
    vos_free(index->narrow);
    vos_free(index->column);
    vos_free(index->dense);
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
    sort_tuples(tuples, n);
    n = static_cast<size_t>(std::unique(tuples, tuples + n,
                                        [](const Tuple &a, const Tuple &b) {
                                            return a.key == b.key && a.model == b.model;
                                        }) -
                            tuples);

    size_t keys = 0;
    for (size_t i = 0; i < n; ++i) keys += (i == 0 || tuples[i].key != tuples[i - 1].key);
    // Dense rows for the n-grams shared by enough models, as long as the
    // per-model sums fit the scorer's stack.
    const int32_t stride = (count + kLanes - 1) / kLanes * kLanes;
    auto dense_run = [&](size_t begin, size_t end) {
        if (stride == 0 || stride > kStackModels) return false;
        if (static_cast<int64_t>(end - begin) * kDenseSlotsPerPosting < stride) return false;
        for (size_t i = begin; i < end; ++i) {
            if (tuples[i].rank > kDenseMaxRank) return false;
        }
        return true;
    };
    size_t rows = 0;
    for (size_t i = 0; i < n;) {
        size_t end = i;
        while (end < n && tuples[end].key == tuples[i].key) ++end;
        rows += dense_run(i, end);
        i = end;
    }
    index->stride = stride;
    index->avx2 = have_avx2();
    index->postingCount = n;
    index->rowCount = rows;
    if (rows > 0) {
        index->dense =
            static_cast<int16_t *>(vos_calloc(rows * static_cast<size_t>(stride), sizeof(int16_t)));
        index->column = allocate<int32_t>(static_cast<size_t>(count));
        if (!index->dense || !index->column || !assign_columns(models, count, index->column)) {
            vos_free(tuples);
            NgramIdxDestroy(index);
            return nullptr;
        }
    }
    int bits = 4;
    // At most half full: most document n-grams the index lacks are then told
    // apart within a few probes, and the table (which a start-up from the
    // profile cache reads whole) takes half the room of a quarter-full one.
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
    size_t row = 0;
    for (size_t i = 0; i < n;) {
        size_t end = i;
        while (end < n && tuples[end].key == tuples[i].key) ++end;
        const uint32_t mask = (uint32_t{1} << bits) - 1;
        uint32_t s = slot_of(tuples[i].key, bits);
        while (index->slots[s].end != 0) s = (s + 1) & mask;
        if (dense_run(i, end)) {
            int16_t *ranks = index->dense + row * static_cast<size_t>(stride);
            for (size_t t = i; t < end; ++t) {
                ranks[index->column[tuples[t].model]] = static_cast<int16_t>(tuples[t].rank);
                // Postings of a dense n-gram are never read; zero, they keep
                // the index's image the same from build to build.
                if (fits) {
                    index->narrow[t] = {};
                } else {
                    index->postings[t] = {};
                }
            }
            index->slots[s] = {tuples[i].key, kDenseRow + static_cast<uint32_t>(row), 1};
            ++row;
        } else {
            for (size_t t = i; t < end; ++t) {
                if (fits) {
                    index->narrow[t] = {static_cast<uint16_t>(tuples[t].model),
                                        static_cast<uint16_t>(tuples[t].rank)};
                } else {
                    index->postings[t] = {tuples[t].model, tuples[t].rank};
                }
            }
            index->slots[s] = {tuples[i].key, static_cast<uint32_t>(i), static_cast<uint32_t>(end)};
        }
        i = end;
    }
    vos_free(tuples);
    return index;
}

namespace {

// An image is an ImageHeader followed by the index's arrays, each starting at
// a multiple of 8 bytes: scorable flags, slots, postings (narrow or wide),
// columns and dense rows (both only with dense rows). Padding is zero, so
// one index always gives the same bytes.
struct ImageHeader {
    uint32_t magic;
    int32_t modelCount;
    int32_t slotBits;
    int32_t stride;
    uint32_t narrow;
    uint32_t reserved;
    uint64_t postingCount;
    uint64_t rowCount;
};
static_assert(sizeof(ImageHeader) == 40);
static_assert(sizeof(Slot) == 16 && sizeof(Posting) == 8 && sizeof(NarrowPosting) == 4);

constexpr uint32_t kImageMagic = 0x31584449u;  // "IDX1"
// Far beyond any language list, small enough that no size below overflows.
constexpr int32_t kImageMaxModels = 1 << 20;
constexpr int kImageMaxSlotBits = 30;

struct ImageLayout {
    size_t scorable, slots, postings, column, dense, total;
};

size_t round8(size_t n) {
    return (n + 7) & ~size_t{7};
}

// Offsets of the arrays of an image with this header; false when the header
// cannot describe an index.
bool image_layout(const ImageHeader &h, ImageLayout &out) {
    if (h.magic != kImageMagic || h.modelCount < 0 || h.modelCount > kImageMaxModels) return false;
    if (h.slotBits < 4 || h.slotBits > kImageMaxSlotBits || h.narrow > 1 || h.reserved != 0)
        return false;
    if (h.stride != (h.modelCount + kLanes - 1) / kLanes * kLanes) return false;
    if (h.postingCount > UINT32_MAX || h.rowCount >= kDenseRow) return false;
    if (h.rowCount > 0 && (h.stride == 0 || h.stride > kStackModels)) return false;
    const size_t models = static_cast<size_t>(h.modelCount);
    out.scorable = round8(sizeof(ImageHeader));
    out.slots = out.scorable + round8(models);
    out.postings = out.slots + (size_t{1} << h.slotBits) * sizeof(Slot);
    out.column = out.postings +
                 round8(h.postingCount * (h.narrow ? sizeof(NarrowPosting) : sizeof(Posting)));
    const size_t columns = h.rowCount > 0 ? models : 0;
    out.dense = out.column + round8(columns * sizeof(int32_t));
    out.total = out.dense + round8(h.rowCount * static_cast<size_t>(h.stride) * sizeof(int16_t));
    return true;
}

ImageHeader image_header(const NgramModelIndex &index) {
    return {kImageMagic, index.modelCount,   index.slotBits, index.stride, index.narrow ? 1u : 0u,
            0,           index.postingCount, index.rowCount};
}

// Whether the arrays of an image keep every access of scoring in bounds and
// every probe finite. Start-up runs these checks over the whole image: they
// are reductions without early exits.
bool image_consistent(const NgramModelIndex &index) {
    // Taken slots lead to postings begin <= end <= postingCount, or to a row
    // below rowCount (begin kDenseRow + row, end 1). An empty slot is all
    // zero, as the build leaves it, which passes the same checks.
    const size_t slots = size_t{1} << index.slotBits;
    uint32_t min_end = UINT32_MAX, last_begin = 0, last_end = 0, disordered = 0;
    for (size_t s = 0; s < slots; ++s) {
        const uint32_t begin = index.slots[s].begin;
        const uint32_t end = index.slots[s].end;
        min_end = std::min(min_end, end);
        last_begin = std::max(last_begin, begin);
        last_end = std::max(last_end, end);
        disordered |= (begin > end) & (begin < kDenseRow);
    }
    bool bad = min_end != 0 || disordered != 0 || last_end > index.postingCount ||
               last_begin >= kDenseRow + index.rowCount;
    // Every posting names a model of the index.
    const auto models = static_cast<uint32_t>(index.modelCount);
    if (index.narrow) {
        for (size_t i = 0; i < index.postingCount; ++i) bad |= index.narrow[i].model >= models;
    } else {
        for (size_t i = 0; i < index.postingCount; ++i)
            bad |= static_cast<uint32_t>(index.postings[i].model) >= models;
    }
    // Every model has a lane of the rows, every rank of a row is one the
    // 16-bit sums can take.
    if (index.rowCount > 0) {
        for (int32_t m = 0; m < index.modelCount; ++m)
            bad |= static_cast<uint32_t>(index.column[m]) >= static_cast<uint32_t>(index.stride);
        const size_t ranks = index.rowCount * static_cast<size_t>(index.stride);
        for (size_t i = 0; i < ranks; ++i)
            bad |= static_cast<uint16_t>(index.dense[i]) > kDenseMaxRank;
    }
    return !bad;
}

}  // namespace

size_t NgramIdxImageSize(const NgramModelIndex *index) {
    ImageLayout layout;
    if (!index || !image_layout(image_header(*index), layout)) return 0;
    return layout.total;
}

int NgramIdxImageWrite(const NgramModelIndex *index, void *buffer, size_t size) {
    if (!index || !buffer) return LANG_ERR_NULL;
    const ImageHeader header = image_header(*index);
    ImageLayout layout;
    if (!image_layout(header, layout) || size != layout.total) return LANG_ERR_NULL;
    auto *out = static_cast<unsigned char *>(buffer);
    memset(out, 0, size);
    memcpy(out, &header, sizeof header);
    const size_t models = static_cast<size_t>(index->modelCount);
    if (models > 0) memcpy(out + layout.scorable, index->scorable, models);
    memcpy(out + layout.slots, index->slots, (size_t{1} << index->slotBits) * sizeof(Slot));
    if (index->narrow) {
        memcpy(out + layout.postings, index->narrow, index->postingCount * sizeof(NarrowPosting));
    } else if (index->postingCount > 0) {
        memcpy(out + layout.postings, index->postings, index->postingCount * sizeof(Posting));
    }
    if (index->rowCount > 0) {
        memcpy(out + layout.column, index->column, models * sizeof(int32_t));
        memcpy(out + layout.dense, index->dense,
               index->rowCount * static_cast<size_t>(index->stride) * sizeof(int16_t));
    }
    return LANG_OK;
}

namespace {

// The index over an image in place; `scan` runs image_consistent over the
// whole of it.
NgramModelIndex *from_image(const void *image, size_t size, bool scan) {
    if (!image || size < sizeof(ImageHeader) || reinterpret_cast<uintptr_t>(image) % 8 != 0)
        return nullptr;
    const auto *bytes = static_cast<const unsigned char *>(image);
    ImageHeader header;
    memcpy(&header, bytes, sizeof header);
    ImageLayout layout;
    if (!image_layout(header, layout) || layout.total != size) return nullptr;
    auto *index = static_cast<NgramModelIndex *>(vos_calloc(1, sizeof(NgramModelIndex)));
    if (!index) return nullptr;
    // The arrays are only read through these pointers; nothing is freed.
    auto at = [&](size_t offset) { return const_cast<unsigned char *>(bytes + offset); };
    index->borrowed = true;
    index->modelCount = header.modelCount;
    index->slotBits = header.slotBits;
    index->stride = header.stride;
    index->postingCount = header.postingCount;
    index->rowCount = header.rowCount;
    index->scorable = at(layout.scorable);
    index->slots = reinterpret_cast<Slot *>(at(layout.slots));
    if (header.narrow) {
        index->narrow = reinterpret_cast<NarrowPosting *>(at(layout.postings));
    } else {
        index->postings = reinterpret_cast<Posting *>(at(layout.postings));
    }
    if (header.rowCount > 0) {
        index->column = reinterpret_cast<int32_t *>(at(layout.column));
        index->dense = reinterpret_cast<int16_t *>(at(layout.dense));
    }
    index->avx2 = have_avx2();
    if (scan && !image_consistent(*index)) {
        vos_free(index);
        return nullptr;
    }
    return index;
}

}  // namespace

NgramModelIndex *NgramIdxFromImage(const void *image, size_t size) {
    return from_image(image, size, true);
}

NgramModelIndex *NgramIdxFromVerifiedImage(const void *image, size_t size) {
    return from_image(image, size, false);
}

int NgramIdxUseWideVectors(NgramModelIndex *index, int enable) {
    if (!index) return 0;
    index->avx2 = enable != 0 && have_avx2();
    return index->avx2 ? 1 : 0;
}

int32_t NgramIdxModelCount(const NgramModelIndex *index) {
    return index ? index->modelCount : 0;
}

int NgramIdxScore(const NgramModelIndex *index, const NgramProfile *document,
                  const unsigned char *selected, float *scores) {
    if (!index || !scores) return LANG_ERR_NULL;
    const NgramHashEntry *entries[NGRAM_COMPARE_DEPTH];
    NgramTop top;
    top.count = std::max(NgramPrfTopNgrams(document, entries), 0);
    for (int32_t p = 0; p < top.count; ++p) {
        const NgramHashEntry &entry = *entries[p];
        top.lengths[p] = entry.length;
        const bool fits = entry.length >= 0 && entry.length <= NGRAM_KEY_MAX;
        top.keys[p] = fits ? masked_key(entry) : 0;
    }
    return NgramIdxScoreTop(index, &top, selected, scores);
}

int NgramIdxScoreTop(const NgramModelIndex *index, const NgramTop *top,
                     const unsigned char *selected, float *scores) {
    if (!index || !top || !scores) return LANG_ERR_NULL;
    const int32_t count = index->modelCount;
    for (int32_t m = 0; m < count; ++m) scores[m] = 0.0f;
    const int32_t compared = std::min<int32_t>(top->count, NGRAM_COMPARE_DEPTH);
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
    // 16-bit sums of the dense rows, added into `saved` every kFlushRows
    // rows. Only the vectors that hold an admitted model are summed.
    alignas(16) int16_t sums[kStackModels];
    int32_t starts[kStackModels / kLanes];
    int32_t vectors = 0;
    if (index->dense) {
        bool wanted[kStackModels / kLanes] = {};
        for (int32_t m = 0; m < count; ++m) {
            if ((!selected || selected[m]) && index->scorable[m]) {
                wanted[index->column[m] / kLanes] = true;
            }
        }
        for (int32_t v = 0; v < index->stride / kLanes; ++v) {
            if (wanted[v]) starts[vectors++] = v * kLanes;
        }
        std::fill(sums, sums + index->stride, int16_t{0});
    }
    int32_t pending = 0;
    auto flush = [&] {
        for (int32_t m = 0; m < count; ++m) saved[m] += sums[index->column[m]];
        std::fill(sums, sums + index->stride, int16_t{0});
        pending = 0;
    };

    // The slots, postings and rows of a document's n-grams lie anywhere in an
    // index of megabytes, and waiting for them was most of the scoring time.
    // So each n-gram's slot is fetched kSlotAhead n-grams before its turn,
    // and found kFoundAhead n-grams before it, when its postings or row are
    // fetched in turn. The sums are still taken in the document's order.
    constexpr int32_t kSlotAhead = 16;
    constexpr int32_t kFoundAhead = 8;
    constexpr int32_t kRing = 16;
    static_assert(kFoundAhead < kRing && (kRing & (kRing - 1)) == 0);
    const Slot *slots = index->slots;
    const uint32_t mask = (uint32_t{1} << index->slotBits) - 1;
    // Each n-gram's key and the slot its probe starts at; a key of a length
    // no n-gram has starts at kNoSlot.
    constexpr uint32_t kNoSlot = UINT32_MAX;
    uint64_t keys[NGRAM_COMPARE_DEPTH];
    uint32_t homes[NGRAM_COMPARE_DEPTH];
    for (int32_t p = 0; p < compared; ++p) {
        const int32_t length = top->lengths[p];
        const bool fits = length >= 0 && length <= NGRAM_KEY_MAX;
        keys[p] = index_key(top->keys[p], fits ? length : 0);
        homes[p] = fits ? slot_of(keys[p], index->slotBits) : kNoSlot;
    }
    auto fetch_slot = [&](int32_t p) {
        if (homes[p] != kNoSlot) __builtin_prefetch(&slots[homes[p]]);
    };
    // The n-gram's slot (an empty one when the index lacks it), or null for
    // a key of a length no n-gram has. Its postings are fetched.
    auto find = [&](int32_t p) -> const Slot * {
        uint32_t s = homes[p];
        if (s == kNoSlot) return nullptr;
        const uint64_t key = keys[p];
        while (slots[s].end != 0 && slots[s].key != key) s = (s + 1) & mask;
        const Slot &slot = slots[s];
        if (slot.end != 0 && slot.begin < kDenseRow) {
            __builtin_prefetch(index->narrow
                                   ? static_cast<const void *>(index->narrow + slot.begin)
                                   : static_cast<const void *>(index->postings + slot.begin));
        }
        return &slot;
    };
    const Slot *found[kRing];
    for (int32_t p = 0; p < std::min(kSlotAhead, compared); ++p) fetch_slot(p);
    for (int32_t p = 0; p < std::min(kFoundAhead, compared); ++p) found[p] = find(p);
    for (int32_t p = 0; p < compared; ++p) {
        if (p + kSlotAhead < compared) fetch_slot(p + kSlotAhead);
        if (p + kFoundAhead < compared) found[(p + kFoundAhead) % kRing] = find(p + kFoundAhead);
        const Slot *slot = found[p % kRing];
        if (!slot) continue;
        const int64_t position = p + 1;
        if (slot->end != 0 && slot->begin >= kDenseRow) {
            const int16_t *row =
                index->dense + (slot->begin - kDenseRow) * static_cast<size_t>(index->stride);
            if (index->avx2) {
                add_dense_row_avx2(row, starts, vectors, static_cast<int16_t>(position), sums);
            } else {
                add_dense_row(row, starts, vectors, static_cast<int16_t>(position), sums);
            }
            if (++pending == kFlushRows) flush();
        } else if (index->narrow) {
            add_postings(index->narrow + slot->begin, index->narrow + slot->end, position, saved);
        } else {
            add_postings(index->postings + slot->begin, index->postings + slot->end, position,
                         saved);
        }
    }
    if (pending > 0) flush();
    const int64_t worst = int64_t{NGRAM_MISSING_PENALTY} * compared;
    for (int32_t m = 0; m < count; ++m) {
        if ((selected && !selected[m]) || !index->scorable[m]) continue;
        scores[m] = NgramPrfScore(worst - saved[m], compared);
    }
    return LANG_OK;
}
