// ngram_test_util.h - helpers shared by the n-gram tests.
#ifndef GLOTTA_TESTS_NGRAM_TEST_UTIL_H
#define GLOTTA_TESTS_NGRAM_TEST_UTIL_H

#include <stdlib.h>
#include <string.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "engine/lang_api.h"
#include "engine_test_support.h"
#include "ngram/profile.h"
#include "platform/vos.h"

namespace ngram_test {

struct ProfileDeleter {
    void operator()(NgramProfile *profile) const { NgramPrfDestroy(profile); }
};
using ProfilePtr = std::unique_ptr<NgramProfile, ProfileDeleter>;

// Resets the allocation-failure hook however the test ends.
struct FailAllocAfter {
    explicit FailAllocAfter(long n) { vos_fail_alloc_after(n); }
    ~FailAllocAfter() { vos_fail_alloc_after(-1); }
};

using glotta_test::ReadFile;
using glotta_test::TempDir;

// Inserts `text` (folded in place, as the caller's buffer is).
inline int insert_text(NgramProfile *profile, std::string &text) {
    return NgramPrfInsert(profile, reinterpret_cast<unsigned char *>(text.data()),
                          static_cast<int32_t>(text.size()));
}

// Two tables hold the same entries at the same places; an empty head is
// compared only for its emptiness.
inline void expect_same_table(const NgramHashTable &a, const NgramHashTable &b) {
    ASSERT_EQ(a.nextFree, b.nextFree);
    for (int32_t i = 0; i < a.nextFree; ++i) {
        const NgramHashEntry &x = a.entries[i], &y = b.entries[i];
        ASSERT_EQ(x.count, y.count) << "entry " << i;
        if (x.count == 0) continue;
        ASSERT_EQ(x.length, y.length) << "entry " << i;
        ASSERT_EQ(0, memcmp(x.key, y.key, sizeof x.key)) << "entry " << i;
        ASSERT_EQ(x.next, y.next) << "entry " << i;
    }
}

// A ranked document profile of `text`, sorted.
inline ProfilePtr document_of(std::string text) {
    ProfilePtr document(NgramPrfNew(nullptr, nullptr, 1));
    if (document) {
        insert_text(document.get(), text);
        NgramPrfSort(document.get());
    }
    return document;
}

inline int32_t count_of(const NgramProfile *profile, const std::string &key) {
    return HashSearch(profile->table, key.data(), static_cast<int32_t>(key.size()));
}

// A ranked profile whose table holds `keys` with the given counts, inserted in
// order, then sorted.
inline ProfilePtr ranked_with(const std::vector<std::pair<std::string, int32_t>> &keys) {
    ProfilePtr profile(NgramPrfNew(nullptr, nullptr, 1));
    for (const auto &[key, count] : keys) {
        EXPECT_EQ(HashInsert(profile->table, key.data(), static_cast<int32_t>(key.size()), count),
                  LANG_OK);
    }
    EXPECT_EQ(NgramPrfSort(profile.get()), LANG_OK);
    return profile;
}

// A model as loading makes it: `keys` at ranks 1, 2, ... in order.
inline ProfilePtr model_with(const std::vector<std::string> &keys) {
    ProfilePtr model(NgramPrfNew("xx", "cs", 0));
    int32_t rank = 0;
    for (const std::string &key : keys) {
        EXPECT_EQ(HashInsert(model->table, key.data(), static_cast<int32_t>(key.size()), ++rank),
                  LANG_OK);
    }
    return model;
}

}  // namespace ngram_test

#endif
