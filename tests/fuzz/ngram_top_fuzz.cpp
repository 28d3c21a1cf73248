// Fuzz target: a document's n-grams as scoring sees them. The fast paths are
// checked against the plain ones on the same bytes:
//   - lang_removenoisydata (sixteen bytes at a time where the processor can)
//     against a byte-by-byte statement of what it keeps;
//   - NgramPrfBuildTop and NgramPrfBuildDocument, in one scratch reused
//     across inputs, against a profile built afresh (NgramPrfNew,
//     NgramPrfInsert, NgramPrfSort): the same n-grams in the same order, and
//     the caller's buffer folded the same way.
#include <cstring>
#include <memory>
#include <string>

#include "engine/lang_api.h"
#include "fuzz_support.h"
#include "ngram/profile.h"
#include "ngram/text_helpers.h"

namespace {

struct ProfileFree {
    void operator()(NgramProfile *profile) const { NgramPrfDestroy(profile); }
};
struct ScratchFree {
    void operator()(NgramDocScratch *scratch) const { NgramPrfScratchDestroy(scratch); }
};

// What noise removal keeps: every byte that is no noise, and one space for
// each run of noise that a kept byte ends.
std::string kept_text(const unsigned char *text, size_t length) {
    std::string kept;
    bool noise = false;
    for (size_t i = 0; i < length; ++i) {
        if (lang_is_noise(text[i])) {
            noise = true;
            continue;
        }
        if (noise) kept.push_back(' ');
        kept.push_back(static_cast<char>(text[i]));
        noise = false;
    }
    return kept;
}

void check_noise_removal(const uint8_t *data, size_t size) {
    std::vector<unsigned char> bytes = glotta_fuzz::Terminated(data, size);
    const int32_t out = lang_removenoisydata(bytes.data(), static_cast<int32_t>(size));
    const std::string expected = kept_text(data, size);
    FUZZ_CHECK(out == static_cast<int32_t>(expected.size()));
    FUZZ_CHECK(std::memcmp(bytes.data(), expected.data(), expected.size()) == 0);
    FUZZ_CHECK(bytes[static_cast<size_t>(out)] == 0);
}

// The n-gram at scoring position p of a profile, as NgramTop holds it.
uint64_t key_of(const NgramHashEntry &entry) {
    uint64_t key = 0;
    std::memcpy(&key, entry.key, static_cast<size_t>(entry.length));
    return key;
}

void check_same_top(const NgramTop &top, const NgramHashEntry *const *expected, int32_t count) {
    FUZZ_CHECK(top.count == count);
    for (int32_t p = 0; p < count; ++p) {
        FUZZ_CHECK(top.lengths[p] == expected[p]->length);
        FUZZ_CHECK(top.keys[p] == key_of(*expected[p]));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 1 << 16) return 0;
    check_noise_removal(data, size);

    static std::unique_ptr<NgramDocScratch, ScratchFree> scratch(NgramPrfScratchNew());
    FUZZ_CHECK(scratch != nullptr);
    const auto length = static_cast<int32_t>(size);

    std::vector<unsigned char> freshText = glotta_fuzz::Terminated(data, size);
    std::unique_ptr<NgramProfile, ProfileFree> fresh(NgramPrfNew(nullptr, nullptr, 1));
    FUZZ_CHECK(fresh != nullptr);
    FUZZ_CHECK(NgramPrfInsert(fresh.get(), freshText.data(), length) == LANG_OK);
    FUZZ_CHECK(NgramPrfSort(fresh.get()) == LANG_OK);
    const NgramHashEntry *expected[NGRAM_COMPARE_DEPTH];
    const int32_t count = NgramPrfTopNgrams(fresh.get(), expected);
    FUZZ_CHECK(count >= 0 && count <= NGRAM_COMPARE_DEPTH);

    std::vector<unsigned char> topText = glotta_fuzz::Terminated(data, size);
    NgramTop top;
    FUZZ_CHECK(NgramPrfBuildTop(scratch.get(), topText.data(), length, &top) == LANG_OK);
    FUZZ_CHECK(topText == freshText);
    check_same_top(top, expected, count);

    std::vector<unsigned char> docText = glotta_fuzz::Terminated(data, size);
    const NgramProfile *document = nullptr;
    FUZZ_CHECK(NgramPrfBuildDocument(scratch.get(), docText.data(), length, &document) == LANG_OK);
    FUZZ_CHECK(document != nullptr && docText == freshText);
    const NgramHashEntry *reused[NGRAM_COMPARE_DEPTH];
    FUZZ_CHECK(NgramPrfTopNgrams(document, reused) == count);
    for (int32_t p = 0; p < count; ++p) {
        FUZZ_CHECK(reused[p]->length == expected[p]->length);
        FUZZ_CHECK(key_of(*reused[p]) == key_of(*expected[p]));
    }
    return 0;
}
