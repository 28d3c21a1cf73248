// Tests of the n-gram table: hash values, chains, growth, counts, sorting.

#include <map>

#include "ngram/hash_table.h"
#include "ngram_test_util.h"

namespace {

using ngram_test::FailAllocAfter;

struct TableDeleter {
    void operator()(NgramHashTable *table) const { HashDestroy(table); }
};
using TablePtr = std::unique_ptr<NgramHashTable, TableDeleter>;

TablePtr new_table() {
    return TablePtr(HashNew(NGRAM_HASH_BUCKETS));
}

int insert(NgramHashTable *table, const std::string &key, int32_t value = 0) {
    return HashInsert(table, key.data(), static_cast<int32_t>(key.size()), value);
}

int32_t search(const NgramHashTable *table, const std::string &key) {
    return HashSearch(table, key.data(), static_cast<int32_t>(key.size()));
}

uint32_t bucket_of(const std::string &key) {
    return HashFunc(key.data(), static_cast<int32_t>(key.size()));
}

// Distinct keys of 1 to 5 lower-case letters, in a fixed order.
std::string key_number(int n) {
    std::string key;
    do {
        key.push_back(static_cast<char>('a' + n % 26));
        n /= 26;
    } while (n > 0);
    return key;
}

// The first key from `*next` on that is absent from `table` and whose bucket is
// `bucket` (any occupied bucket when `bucket` is negative).
std::string overflow_key(const NgramHashTable *table, int *next, long bucket = -1) {
    for (;; ++*next) {
        std::string key = key_number(*next);
        const uint32_t b = bucket_of(key);
        if (search(table, key) == 0 && (bucket < 0 ? table->entries[b].key[0] != 0 : b == bucket))
            return key;
    }
}

TEST(NgramHashFunc, KnownValues) {
    const struct {
        std::string key;
        uint32_t value, bucket;
    } cases[] = {{"", 0x9E3779B9u, 947},    {"a", 0x84B057FEu, 746},
                 {"abc", 0x7CBE25C0u, 776}, {"_th", 0x34DE25B8u, 322},
                 {"the", 0xBB8E25E3u, 920}, {"\xE9\x74", 0x553CE763u, 64}};
    for (const auto &c : cases) {
        const int32_t length = static_cast<int32_t>(c.key.size());
        EXPECT_EQ(HashValue(c.key.data(), length), c.value) << c.key;
        EXPECT_EQ(HashFunc(c.key.data(), length), c.bucket) << c.key;
    }
    EXPECT_NE(HashValue("\xE9", 1), HashValue("\x69", 1));  // high bytes are signed
    EXPECT_EQ(HashFunc(nullptr, 3), HashFunc("", 0));
}

TEST(NgramHashTable, NewTableAndBadArguments) {
    TablePtr table = new_table();
    ASSERT_TRUE(table);
    EXPECT_EQ(table->capacity, 3009);
    EXPECT_EQ(table->nextFree, NGRAM_HASH_BUCKETS);
    for (int i = 0; i < NGRAM_HASH_BUCKETS; ++i) {
        ASSERT_EQ(table->entries[i].key[0] | table->entries[i].count | table->entries[i].next, 0);
    }
    EXPECT_EQ(HashNew(100), nullptr);
    for (long n = 0; n < 2; ++n) {  // record, entries
        FailAllocAfter fail(n);
        EXPECT_EQ(HashNew(NGRAM_HASH_BUCKETS), nullptr) << n;
    }
    EXPECT_EQ(HashInsert(nullptr, "ab", 2, 0), LANG_ERR_NULL);
    EXPECT_EQ(HashInsert(table.get(), nullptr, 2, 0), LANG_ERR_NULL);
    EXPECT_EQ(HashInsert(table.get(), "abcdefgh", 8, 0), LANG_ERR_NULL);
    EXPECT_EQ(HashInsert(table.get(), "ab", -1, 0), LANG_ERR_NULL);
    EXPECT_EQ(HashSearch(nullptr, "th", 2), 0);
    EXPECT_EQ(HashSearch(table.get(), nullptr, 2), 0);
    EXPECT_EQ(HashSearch(table.get(), "abcdefgh", 8), 0);
    EXPECT_EQ(HashSort(nullptr), LANG_ERR_NULL);
    EXPECT_EQ(table->nextFree, NGRAM_HASH_BUCKETS);
    HashDestroy(nullptr);
}

TEST(NgramHashTable, CountsAndInitialValues) {
    TablePtr table = new_table();
    const struct {
        std::string key;
        int32_t first, second, count;
    } cases[] = {{"ab", 0, 0, 2}, {"cd", 5, 9, 6}, {"ef", -3, 0, 2}, {"abcdefg", 0, 4, 2}};
    for (const auto &c : cases) {
        ASSERT_EQ(insert(table.get(), c.key, c.first), LANG_OK);
        EXPECT_EQ(search(table.get(), c.key), c.first > 0 ? c.first : 1) << c.key;
        ASSERT_EQ(insert(table.get(), c.key, c.second), LANG_OK);
        EXPECT_EQ(search(table.get(), c.key), c.count) << c.key;
    }
    // Keys compare by length and bytes, never as strings.
    EXPECT_EQ(search(table.get(), "a"), 0);
    EXPECT_EQ(HashSearch(table.get(), "abX", 2), 2);
    EXPECT_EQ(search(table.get(), "abd"), 0);
}

TEST(NgramHashTable, CollisionsChainThroughOverflowEntries) {
    TablePtr table = new_table();
    int next = 0;
    const uint32_t bucket = bucket_of("th");
    ASSERT_EQ(insert(table.get(), "th"), LANG_OK);
    const std::string second = overflow_key(table.get(), &next, bucket);
    EXPECT_EQ(search(table.get(), second), 0);  // occupied head, no chain yet
    ASSERT_EQ(insert(table.get(), second), LANG_OK);
    EXPECT_EQ(table->entries[bucket].next, NGRAM_HASH_BUCKETS);
    EXPECT_EQ(std::string(table->entries[NGRAM_HASH_BUCKETS].key), second);

    const std::string third = overflow_key(table.get(), &next, bucket);
    ASSERT_EQ(insert(table.get(), third, 7), LANG_OK);
    ASSERT_EQ(insert(table.get(), third), LANG_OK);
    EXPECT_EQ(table->entries[NGRAM_HASH_BUCKETS].next, NGRAM_HASH_BUCKETS + 1);
    EXPECT_EQ(table->nextFree, NGRAM_HASH_BUCKETS + 2);
    EXPECT_EQ(search(table.get(), "th"), 1);
    EXPECT_EQ(search(table.get(), second), 1);
    EXPECT_EQ(search(table.get(), third), 8);
}

TEST(NgramHashTable, GrowsWhenLastSpareIsTakenAndSurvivesFailedGrowth) {
    TablePtr table = new_table();
    int next = 0;
    std::vector<std::string> kept;
    while (table->nextFree < 3008) {
        kept.push_back(key_number(next++));
        ASSERT_EQ(insert(table.get(), kept.back()), LANG_OK);
    }
    EXPECT_EQ(table->capacity, 3009);
    const std::string key = overflow_key(table.get(), &next);
    const std::string known(table->entries[3007].key);
    {
        FailAllocAfter fail(0);
        EXPECT_EQ(insert(table.get(), key), LANG_ERR_NOMEM);
        EXPECT_EQ(insert(table.get(), known), LANG_OK);  // known keys need no memory
    }
    EXPECT_EQ(table->nextFree, 3008);
    EXPECT_EQ(search(table.get(), key), 0);
    EXPECT_EQ(search(table.get(), known), 2);

    ASSERT_EQ(insert(table.get(), key), LANG_OK);
    EXPECT_EQ(table->capacity, 5009);
    EXPECT_EQ(std::string(table->entries[3008].key), key);
    for (const std::string &k : kept) ASSERT_EQ(search(table.get(), k), k == known ? 2 : 1) << k;
}

TEST(NgramHashTable, SortOrdersByDescendingCountAndKeepsTableOrderOnTies) {
    TablePtr table = new_table();
    for (int n = 0; n < 3000; ++n) {
        for (int c = 0; c <= n % 4; ++c) ASSERT_EQ(insert(table.get(), key_number(n)), LANG_OK);
    }
    // Where each key stands before sorting: equal counts must keep that order,
    // or training output would change from run to run.
    std::map<std::string, int32_t> before;
    for (int32_t i = 0; i < table->nextFree; ++i) {
        if (table->entries[i].key[0]) before[table->entries[i].key] = i;
    }
    ASSERT_EQ(HashSort(table.get()), LANG_OK);
    for (int32_t i = 1; i < table->nextFree; ++i) {
        const NgramHashEntry &a = table->entries[i - 1], &b = table->entries[i];
        if (a.count == b.count && a.key[0] && b.key[0]) {
            ASSERT_LT(before[a.key], before[b.key]) << i;
        }
    }
    EXPECT_EQ(table->entries[0].count, 4);
    EXPECT_EQ(table->entries[table->nextFree - 1].count, 0);  // empty heads sink
    for (int32_t i = 1; i < table->nextFree; ++i) {
        ASSERT_GE(table->entries[i - 1].count, table->entries[i].count) << i;
    }
}

}  // namespace
