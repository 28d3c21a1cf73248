// Tests of the n-gram table: hash values, chains, growth, counts, sorting.
#include <string.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/lang_api.h"
#include "ngram/hash_table.h"
#include "platform/vos.h"

namespace {

struct TableDeleter {
    void operator()(NgramHashTable *table) const { HashDestroy(table); }
};
using TablePtr = std::unique_ptr<NgramHashTable, TableDeleter>;

TablePtr new_table() {
    return TablePtr(HashNew(NGRAM_HASH_BUCKETS));
}

// Resets the allocation-failure hook however the test ends.
struct FailAllocAfter {
    explicit FailAllocAfter(long n) { vos_fail_alloc_after(n); }
    ~FailAllocAfter() { vos_fail_alloc_after(-1); }
};

int insert(NgramHashTable *table, const std::string &key, int32_t value = 0) {
    return HashInsert(table, key.data(), static_cast<int32_t>(key.size()), value);
}

int32_t search(const NgramHashTable *table, const std::string &key) {
    return HashSearch(table, key.data(), static_cast<int32_t>(key.size()));
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

// A key of the same bucket as `other`, different from it.
std::string colliding_key(const std::string &other) {
    const uint32_t bucket = HashFunc(other.data(), static_cast<int32_t>(other.size()));
    for (int n = 0;; ++n) {
        std::string key = key_number(n);
        if (key != other && HashFunc(key.data(), static_cast<int32_t>(key.size())) == bucket) {
            return key;
        }
    }
}

struct HashCase {
    std::string key;
    uint32_t value;
    uint32_t bucket;
};

TEST(NgramHashFunc, KnownValues) {
    const std::vector<HashCase> cases = {
        {"", 0x9E3779B9u, 947},    {"a", 0x84B057FEu, 746},   {"abc", 0x7CBE25C0u, 776},
        {"_th", 0x34DE25B8u, 322}, {"the", 0xBB8E25E3u, 920}, {"\xE9\x74", 0x553CE763u, 64},
    };
    for (const HashCase &c : cases) {
        const int32_t length = static_cast<int32_t>(c.key.size());
        EXPECT_EQ(HashValue(c.key.data(), length), c.value) << "key '" << c.key << "'";
        EXPECT_EQ(HashFunc(c.key.data(), length), c.bucket) << "key '" << c.key << "'";
        EXPECT_EQ(c.value % NGRAM_HASH_BUCKETS, c.bucket);
    }
}

TEST(NgramHashFunc, HighBytesHashAsSignedChars) {
    // 0xE9 mixes in as 0xFFFFFFE9, so it differs from the 7-bit byte 0x69.
    EXPECT_NE(HashValue("\xE9", 1), HashValue("\x69", 1));
    EXPECT_EQ(HashFunc(nullptr, 3), HashFunc("", 0));
}

TEST(NgramHashTable, NewTableShape) {
    TablePtr table = new_table();
    ASSERT_TRUE(table);
    EXPECT_EQ(table->capacity, NGRAM_HASH_BUCKETS + NGRAM_HASH_GROWTH);
    EXPECT_EQ(table->capacity, 3009);
    EXPECT_EQ(table->nextFree, NGRAM_HASH_BUCKETS);
    for (int i = 0; i < NGRAM_HASH_BUCKETS; ++i) {
        ASSERT_EQ(table->entries[i].key[0], 0);
        ASSERT_EQ(table->entries[i].count, 0);
        ASSERT_EQ(table->entries[i].next, 0);
    }
    EXPECT_EQ(HashNew(100), nullptr);
    EXPECT_EQ(HashNew(0), nullptr);
}

TEST(NgramHashTable, CountsAndInitialValues) {
    TablePtr table = new_table();
    EXPECT_EQ(insert(table.get(), "ab"), LANG_OK);
    EXPECT_EQ(insert(table.get(), "ab"), LANG_OK);
    EXPECT_EQ(search(table.get(), "ab"), 2);

    EXPECT_EQ(insert(table.get(), "cd", 5), LANG_OK);
    EXPECT_EQ(insert(table.get(), "cd", 9), LANG_OK);
    EXPECT_EQ(search(table.get(), "cd"), 6);

    EXPECT_EQ(insert(table.get(), "ef", -3), LANG_OK);
    EXPECT_EQ(search(table.get(), "ef"), 1);

    const uint32_t bucket = HashFunc("ab", 2);
    EXPECT_STREQ(table->entries[bucket].key, "ab");
    EXPECT_EQ(table->entries[bucket].length, 2);
}

TEST(NgramHashTable, CollisionGoesToFirstOverflowEntry) {
    TablePtr table = new_table();
    const std::string first = "th";
    const std::string second = colliding_key(first);
    const uint32_t bucket = HashFunc(first.data(), 2);

    ASSERT_EQ(insert(table.get(), first), LANG_OK);
    ASSERT_EQ(insert(table.get(), second), LANG_OK);
    EXPECT_EQ(table->nextFree, NGRAM_HASH_BUCKETS + 1);
    EXPECT_EQ(table->entries[bucket].next, NGRAM_HASH_BUCKETS);
    EXPECT_EQ(std::string(table->entries[NGRAM_HASH_BUCKETS].key), second);
    EXPECT_EQ(search(table.get(), first), 1);
    EXPECT_EQ(search(table.get(), second), 1);

    // A third key of the bucket links from the end of the chain.
    std::string third;
    for (int n = 0;; ++n) {
        third = key_number(n);
        if (third != first && third != second &&
            HashFunc(third.data(), static_cast<int32_t>(third.size())) == bucket) {
            break;
        }
    }
    ASSERT_EQ(insert(table.get(), third, 7), LANG_OK);
    EXPECT_EQ(table->entries[NGRAM_HASH_BUCKETS].next, NGRAM_HASH_BUCKETS + 1);
    EXPECT_EQ(search(table.get(), third), 7);
    ASSERT_EQ(insert(table.get(), third), LANG_OK);
    EXPECT_EQ(search(table.get(), third), 8);
    EXPECT_EQ(table->nextFree, NGRAM_HASH_BUCKETS + 2);
}

TEST(NgramHashTable, KeysCompareByLengthAndBytes) {
    TablePtr table = new_table();
    ASSERT_EQ(insert(table.get(), "abc"), LANG_OK);
    EXPECT_EQ(search(table.get(), "ab"), 0);
    EXPECT_EQ(HashSearch(table.get(), "abcd", 3), 1);  // only the first 3 bytes count
    EXPECT_EQ(search(table.get(), "abd"), 0);
}

TEST(NgramHashTable, AbsentKeysGiveZero) {
    TablePtr table = new_table();
    EXPECT_EQ(search(table.get(), "zz"), 0);  // empty head
    ASSERT_EQ(insert(table.get(), "th"), LANG_OK);
    EXPECT_EQ(search(table.get(), colliding_key("th")), 0);  // occupied head, no chain
    EXPECT_EQ(HashSearch(nullptr, "th", 2), 0);
    EXPECT_EQ(HashSearch(table.get(), nullptr, 2), 0);
    EXPECT_EQ(HashSearch(table.get(), "abcdefgh", 8), 0);
}

TEST(NgramHashTable, RefusesNullAndOversizedKeys) {
    TablePtr table = new_table();
    EXPECT_EQ(HashInsert(nullptr, "ab", 2, 0), LANG_ERR_NULL);
    EXPECT_EQ(HashInsert(table.get(), nullptr, 2, 0), LANG_ERR_NULL);
    EXPECT_EQ(HashInsert(table.get(), "abcdefgh", 8, 0), LANG_ERR_NULL);
    EXPECT_EQ(HashInsert(table.get(), "ab", -1, 0), LANG_ERR_NULL);
    EXPECT_EQ(HashInsert(table.get(), "abcdefg", 7, 0), LANG_OK);
    EXPECT_EQ(search(table.get(), "abcdefg"), 1);
}

// Fills overflow entries until the table's next free entry is `target`.
void fill_overflow_to(NgramHashTable *table, int32_t target, int *next_key) {
    while (table->nextFree < target) {
        ASSERT_EQ(insert(table, key_number((*next_key)++)), LANG_OK);
    }
}

// The next key not yet in the table whose bucket head is taken.
std::string next_overflow_key(const NgramHashTable *table, int *next_key) {
    for (;;) {
        std::string key = key_number((*next_key)++);
        const uint32_t bucket = HashFunc(key.data(), static_cast<int32_t>(key.size()));
        if (table->entries[bucket].key[0] != 0 && search(table, key) == 0) return key;
    }
}

TEST(NgramHashTable, GrowsByTwoThousandWhenLastSpareIsTaken) {
    TablePtr table = new_table();
    int next_key = 0;
    fill_overflow_to(table.get(), 3008, &next_key);
    EXPECT_EQ(table->capacity, 3009);

    const std::string key = next_overflow_key(table.get(), &next_key);
    ASSERT_EQ(insert(table.get(), key), LANG_OK);
    EXPECT_EQ(table->nextFree, 3009);
    EXPECT_EQ(table->capacity, 5009);
    EXPECT_EQ(std::string(table->entries[3008].key), key);

    // Every key inserted so far survives the move of the array.
    for (int n = 0; n < next_key; ++n) {
        const std::string k = key_number(n);
        const int32_t count = search(table.get(), k);
        ASSERT_TRUE(count == 0 || count == 1) << k;
    }
    fill_overflow_to(table.get(), 5008, &next_key);
    EXPECT_EQ(table->capacity, 5009);
    ASSERT_EQ(insert(table.get(), next_overflow_key(table.get(), &next_key)), LANG_OK);
    EXPECT_EQ(table->capacity, 7009);
}

TEST(NgramHashTable, FailedGrowthKeepsTableAndLeavesKeyOut) {
    TablePtr table = new_table();
    int next_key = 0;
    fill_overflow_to(table.get(), 3008, &next_key);
    const std::string key = next_overflow_key(table.get(), &next_key);
    {
        FailAllocAfter fail(0);
        EXPECT_EQ(insert(table.get(), key), LANG_ERR_NOMEM);
        // Keys already present still count without allocating.
        EXPECT_EQ(insert(table.get(), std::string(table->entries[3007].key)), LANG_OK);
        EXPECT_EQ(search(table.get(), std::string(table->entries[3007].key)), 2);
    }
    EXPECT_EQ(table->nextFree, 3008);
    EXPECT_EQ(table->capacity, 3009);
    EXPECT_EQ(search(table.get(), key), 0);
    EXPECT_EQ(insert(table.get(), key), LANG_OK);
    EXPECT_EQ(search(table.get(), key), 1);
    EXPECT_EQ(table->capacity, 5009);
}

TEST(NgramHashTable, NewFailsCleanlyWithoutMemory) {
    for (long n = 0; n < 2; ++n) {
        FailAllocAfter fail(n);
        EXPECT_EQ(HashNew(NGRAM_HASH_BUCKETS), nullptr) << n;
    }
    FailAllocAfter fail(2);
    TablePtr table = new_table();
    EXPECT_TRUE(table);
}

TEST(NgramHashTable, FreqSortComparesCountsDescending) {
    NgramHashEntry a{}, b{};
    a.count = 5;
    b.count = 3;
    EXPECT_EQ(HashFreqSort(&a, &b), -1);
    EXPECT_EQ(HashFreqSort(&b, &a), 1);
    b.count = 5;
    EXPECT_EQ(HashFreqSort(&a, &b), 0);
    a.count = -1;
    b.count = 1;
    EXPECT_EQ(HashFreqSort(&a, &b), 1);
}

TEST(NgramHashTable, SortOrdersByCountAndKeepsTableOrderForTies) {
    TablePtr table = new_table();
    std::vector<std::string> keys;
    for (int n = 0; n < 3000; ++n) keys.push_back(key_number(n));
    for (size_t i = 0; i < keys.size(); ++i) {
        // Counts 1..4 so that ties are plentiful.
        for (size_t c = 0; c <= i % 4; ++c) ASSERT_EQ(insert(table.get(), keys[i]), LANG_OK);
    }
    // The order a stable sort must produce: by count, then by table index.
    std::vector<NgramHashEntry> before(table->entries, table->entries + table->nextFree);
    std::vector<std::string> expected;
    for (int count = 4; count >= 0; --count) {
        for (const NgramHashEntry &e : before) {
            if (e.count == count) expected.push_back(std::string(e.key));
        }
    }
    ASSERT_EQ(HashSort(table.get()), LANG_OK);
    EXPECT_EQ(table->entries[0].count, 4);
    for (int32_t i = 0; i < table->nextFree; ++i) {
        ASSERT_EQ(std::string(table->entries[i].key), expected[static_cast<size_t>(i)]) << i;
        if (i > 0) {
            ASSERT_GE(table->entries[i - 1].count, table->entries[i].count);
        }
    }
    EXPECT_EQ(table->entries[table->nextFree - 1].count, 0);  // empty heads sink
    EXPECT_EQ(HashSort(nullptr), LANG_ERR_NULL);
}

TEST(NgramHashTable, DestroyAcceptsNull) {
    HashDestroy(nullptr);
}

}  // namespace
