// profile.cpp - n-gram profiles: counting the n-grams of a text into a
// profile (NgramPrfInsert), its rank lists and the similarity score of a
// document to a model. The reusable per-document counter is doc_scratch.cpp,
// the .lm files lm_file.cpp.
#include "ngram/profile.h"

#include <string.h>

#include <algorithm>
#include <cstdint>

#include "engine/lang_api.h"
#include "ngram/hash_internal.h"
#include "ngram/text_helpers.h"
#include "platform/vos.h"

using namespace glotta::ngram;

namespace {

// Words up to this many bytes are padded and hashed in stack buffers; longer
// ones use one heap buffer per call.
constexpr int32_t kStackWord = 256;
// pack_key_padded reads 8 bytes from any n-gram start.
constexpr int32_t kPadSlack = 8;

// Scratch for one padded word: its bytes and the running hash of the n-gram
// starting at each position.
struct WordScratch {
    unsigned char stack_bytes[kStackWord + 2 + kPadSlack];
    uint32_t stack_states[kStackWord + 2];
    unsigned char *heap_bytes = nullptr;
    uint32_t *heap_states = nullptr;
    int32_t heap_word = 0;

    WordScratch() = default;
    WordScratch(const WordScratch &) = delete;
    WordScratch &operator=(const WordScratch &) = delete;
    ~WordScratch() {
        vos_free(heap_bytes);
        vos_free(heap_states);
    }

    // Buffers for a word of `length` bytes, or false when memory runs out.
    bool reserve(int32_t length, int32_t longest, unsigned char **bytes, uint32_t **states) {
        if (length <= kStackWord) {
            *bytes = stack_bytes;
            *states = stack_states;
            return true;
        }
        if (heap_word < length) {
            vos_free(heap_bytes);
            vos_free(heap_states);
            heap_states = nullptr;
            heap_word = 0;
            // Sized for the longest word the rest of the text can hold, so one
            // allocation serves the whole call.
            heap_bytes = static_cast<unsigned char *>(
                vos_malloc(static_cast<size_t>(longest) + 2 + kPadSlack));
            if (!heap_bytes) return false;
            heap_states = static_cast<uint32_t *>(
                vos_malloc((static_cast<size_t>(longest) + 2) * sizeof(uint32_t)));
            if (!heap_states) return false;
            heap_word = longest;
        }
        *bytes = heap_bytes;
        *states = heap_states;
        return true;
    }
};

// Inserts the n-grams of one word of `length` >= 2 bytes: its bytes as
// 1-grams, then every 2-, 3-, 4- and 5-gram of the word padded with '_' on
// both sides, each length in order of position. The hash of an n-gram is the
// hash of its first n - 1 bytes advanced by one byte, so each length costs
// one hash step per position.
int insert_word(NgramHashTable &table, KeyFinder &finder, const unsigned char *word, int32_t length,
                unsigned char *padded, uint32_t *states) {
    const int32_t size = length + 2;
    padded[0] = '_';
    memcpy(padded + 1, word, static_cast<size_t>(length));
    padded[size - 1] = '_';
    memset(padded + size, 0, kPadSlack);

    for (int32_t i = 0; i < size; ++i) states[i] = hash_step(kHashSeed, padded[i]);
    for (int32_t i = 1; i <= length; ++i) {
        const int rc = finder.insert(table, states[i], pack_key_padded(padded + i, 1), 1, 0);
        if (rc != LANG_OK) return rc;
    }
    for (int32_t n = 2; n <= NGRAM_MAX_LEN && n <= size; ++n) {
        for (int32_t i = 0; i + n <= size; ++i) {
            states[i] = hash_step(states[i], padded[i + n - 1]);
            const int rc = finder.insert(table, states[i], pack_key_padded(padded + i, n), n, 0);
            if (rc != LANG_OK) return rc;
        }
    }
    return LANG_OK;
}

// NgramPrfInsert into a table whose arguments are checked, with the caller's
// finder (built here for this run of insertions).
int insert_text(NgramHashTable &table, KeyFinder &finder, unsigned char *text, int32_t length) {
    WordScratch scratch;
    // About two new n-grams per byte of text is what natural text gives.
    if (length > 0) finder.build(table, length > INT32_MAX / 2 ? INT32_MAX : 2 * length);
    int32_t pos = 0;
    while (pos < length) {
        if (lang_is_noise(text[pos])) {
            ++pos;
            continue;
        }
        const int32_t start = pos;
        for (; pos < length && !lang_is_noise(text[pos]); ++pos) {
            if (text[pos] >= 'A' && text[pos] <= 'Z') text[pos] += 'a' - 'A';
        }
        const int32_t word = pos - start;
        if (word < 2) continue;
        // A word and its two pads must fit the 32-bit positions of
        // insert_word; the document counter refuses such a word the same way.
        if (word > INT32_MAX - 2) return LANG_ERR_NOMEM;
        unsigned char *padded;
        uint32_t *states;
        if (!scratch.reserve(word, length - start, &padded, &states)) return LANG_ERR_NOMEM;
        const int rc = insert_word(table, finder, text + start, word, padded, states);
        if (rc != LANG_OK) return rc;
    }
    return LANG_OK;
}

}  // namespace

NgramProfile *NgramPrfNew(const char *id, const char *charset, int ranked) {
    auto *profile = static_cast<NgramProfile *>(vos_calloc(1, sizeof(NgramProfile)));
    if (!profile) return nullptr;
    bool ok = true;
    if (id) ok = (profile->languageId = lang_strdup(id)) != nullptr;
    if (ok && charset) ok = (profile->charset = lang_strdup(charset)) != nullptr;
    // A document of the usual 2 KB fills one growth step; a loaded model or a
    // training profile gets the plain table.
    if (ok) {
        profile->table = ranked ? hash_new(2 * NGRAM_HASH_GROWTH) : HashNew(NGRAM_HASH_BUCKETS);
        ok = profile->table != nullptr;
    }
    if (ok && ranked) {
        profile->ranked = 1;
        // Only the member counts are read before NgramPrfSort writes the
        // lists, so the 200 KB of members are left as they come.
        profile->rankLists = static_cast<int32_t(*)[NGRAM_RANK_MEMBERS + 1]>(
            vos_malloc(sizeof(int32_t) * NGRAM_RANK_LISTS * (NGRAM_RANK_MEMBERS + 1)));
        ok = profile->rankLists != nullptr;
        if (ok) {
            for (int32_t b = 0; b < NGRAM_RANK_LISTS; ++b) profile->rankLists[b][0] = 0;
        }
    }
    if (!ok) {
        NgramPrfDestroy(profile);
        return nullptr;
    }
    return profile;
}

int NgramPrfInsert(NgramProfile *profile, unsigned char *text, int32_t length) {
    if (!profile || !text || !profile->table || !profile->table->entries) return LANG_ERR_NULL;
    KeyFinder finder;
    return insert_text(*profile->table, finder, text, length);
}

int NgramPrfSort(NgramProfile *profile) {
    if (!profile || !profile->table || !profile->table->entries || !profile->rankLists) {
        return LANG_ERR_NULL;
    }
    auto *lists = profile->rankLists;
    for (int32_t b = 0; b < NGRAM_RANK_LISTS; ++b) lists[b][0] = 0;
    const NgramHashTable &table = *profile->table;
    const int32_t used = table.nextFree < table.capacity ? table.nextFree : table.capacity;
    for (int32_t index = 0; index < used; ++index) {
        const int32_t count = table.entries[index].count;
        if (count <= 0) continue;
        int32_t *list = lists[count < NGRAM_RANK_LISTS ? NGRAM_RANK_LISTS - count : 0];
        if (list[0] < NGRAM_RANK_MEMBERS) list[++list[0]] = index;
    }
    return LANG_OK;
}

int32_t NgramPrfTopNgrams(const NgramProfile *document,
                          const NgramHashEntry *out[NGRAM_COMPARE_DEPTH]) {
    if (!document || !document->rankLists || !document->table || !document->table->entries) {
        return -1;
    }
    const NgramHashTable &table = *document->table;
    // Every member must name an entry in use; one bound covers both limits.
    const auto used = static_cast<uint32_t>(std::max(0, std::min(table.nextFree, table.capacity)));
    int32_t p = 0;
    for (int32_t b = 0; b < NGRAM_RANK_LISTS && p < NGRAM_COMPARE_DEPTH; ++b) {
        const int32_t *list = document->rankLists[b];
        const int32_t members = list[0];
        if (members == 0) continue;
        if (members < 0 || members > NGRAM_RANK_MEMBERS) return -1;
        const int32_t take = std::min(members, NGRAM_COMPARE_DEPTH - p);
        for (int32_t k = 1; k <= take; ++k) {
            const int32_t index = list[k];
            if (static_cast<uint32_t>(index) >= used) return -1;
            out[p++] = &table.entries[index];
        }
    }
    return p;
}

float NgramPrfScore(int64_t distance, int32_t compared) {
    if (compared <= 0) return 0.0f;
    return static_cast<float>(1.0 - static_cast<double>(distance) /
                                        (static_cast<double>(NGRAM_MISSING_PENALTY) * compared));
}

float NgramPrfCompute(const NgramProfile *document, const NgramProfile *model) {
    if (!model || !model->table || !model->table->entries) return 0.0f;
    const NgramHashEntry *top[NGRAM_COMPARE_DEPTH];
    const int32_t compared = NgramPrfTopNgrams(document, top);
    if (compared <= 0) return 0.0f;
    int64_t distance = 0;
    for (int32_t p = 0; p < compared; ++p) {
        const int64_t rank = HashSearch(model->table, top[p]->key, top[p]->length);
        if (rank > 0) {
            const int64_t d = p + 1 - rank;
            distance += d < 0 ? -d : d;
        } else {
            distance += NGRAM_MISSING_PENALTY;
        }
    }
    return NgramPrfScore(distance, compared);
}

void NgramPrfDestroy(NgramProfile *profile) {
    if (!profile) return;
    vos_free(profile->sourcePath);
    vos_free(profile->languageId);
    vos_free(profile->charset);
    HashDestroy(profile->table);
    vos_free(profile->rankLists);
    vos_free(profile);
}
