// Tests of n-gram profiles in memory: extraction, ranking and scoring.
#include <string.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/lang_api.h"
#include "ngram/profile.h"
#include "ngram_test_util.h"

namespace {

using ngram_test::count_of;
using ngram_test::document_of;
using ngram_test::FailAllocAfter;
using ngram_test::ProfilePtr;

int insert_text(NgramProfile *profile, std::string &text) {
    return NgramPrfInsert(profile, reinterpret_cast<unsigned char *>(text.data()),
                          static_cast<int32_t>(text.size()));
}

// Every (key, count) of a profile's table.
std::multiset<std::pair<std::string, int32_t>> contents(const NgramProfile *profile) {
    std::multiset<std::pair<std::string, int32_t>> all;
    const NgramHashTable *table = profile->table;
    for (int32_t i = 0; i < table->nextFree; ++i) {
        const NgramHashEntry &e = table->entries[i];
        if (e.count > 0) all.insert({std::string(e.key, static_cast<size_t>(e.length)), e.count});
    }
    return all;
}

std::multiset<std::pair<std::string, int32_t>> ones(const std::vector<std::string> &keys) {
    std::multiset<std::pair<std::string, int32_t>> all;
    for (const std::string &k : keys) all.insert({k, 1});
    return all;
}

// The extraction rules applied one n-gram at a time through HashInsert: the
// reference the profile's incremental hashing must reproduce entry for entry.
void naive_insert(NgramHashTable *table, const std::string &text) {
    size_t pos = 0;
    while (pos < text.size()) {
        if (static_cast<unsigned char>(text[pos]) < 0x40) {
            ++pos;
            continue;
        }
        std::string word;
        for (; pos < text.size() && static_cast<unsigned char>(text[pos]) >= 0x40; ++pos) {
            char c = text[pos];
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
            word.push_back(c);
        }
        if (word.size() < 2) continue;
        for (char c : word) ASSERT_EQ(HashInsert(table, &c, 1, 0), LANG_OK);
        const std::string padded = "_" + word + "_";
        for (size_t n = 2; n <= 5; ++n) {
            for (size_t i = 0; i + n <= padded.size(); ++i) {
                ASSERT_EQ(HashInsert(table, padded.data() + i, static_cast<int32_t>(n), 0),
                          LANG_OK);
            }
        }
    }
}

void expect_same_table(const NgramHashTable *a, const NgramHashTable *b) {
    ASSERT_EQ(a->nextFree, b->nextFree);
    ASSERT_EQ(a->capacity, b->capacity);
    for (int32_t i = 0; i < a->nextFree; ++i) {
        const NgramHashEntry &x = a->entries[i];
        const NgramHashEntry &y = b->entries[i];
        ASSERT_EQ(std::string(x.key), std::string(y.key)) << i;
        ASSERT_EQ(x.count, y.count) << i;
        ASSERT_EQ(x.length, y.length) << i;
        ASSERT_EQ(x.next, y.next) << i;
    }
}

std::string random_text(std::mt19937 &rng, size_t size) {
    // Mostly letters, some capitals, high bytes, '_' and separators, so that
    // words of every length and many collisions occur.
    static const std::string alphabet = "etaoinshrdlucmfwypvbgkjqxzETAOIN_@[\xE9\xC3\xA9\xFF";
    static const std::string separators = " ,.;0123\n\t-";
    std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
    std::uniform_int_distribution<size_t> pick_sep(0, separators.size() - 1);
    std::uniform_int_distribution<int> word_length(1, 11);
    std::string text;
    while (text.size() < size) {
        for (int n = word_length(rng); n > 0; --n) text.push_back(alphabet[pick(rng)]);
        text.push_back(separators[pick_sep(rng)]);
    }
    text.resize(size);
    return text;
}

TEST(NgramProfileInsert, TwoLetterWord) {
    ProfilePtr profile(NgramPrfNew(nullptr, nullptr, 0));
    std::string text = "de";
    ASSERT_EQ(insert_text(profile.get(), text), LANG_OK);
    EXPECT_EQ(contents(profile.get()), ones({"d", "e", "_d", "de", "e_", "_de", "de_", "_de_"}));
}

TEST(NgramProfileInsert, ThreeLetterWord) {
    ProfilePtr profile(NgramPrfNew(nullptr, nullptr, 0));
    std::string text = "the";
    ASSERT_EQ(insert_text(profile.get(), text), LANG_OK);
    EXPECT_EQ(contents(profile.get()), ones({"t", "h", "e", "_t", "th", "he", "e_", "_th", "the",
                                             "he_", "_the", "the_", "_the_"}));
}

TEST(NgramProfileInsert, FoldsAsciiCapitalsInPlace) {
    ProfilePtr upper(NgramPrfNew(nullptr, nullptr, 0));
    ProfilePtr lower(NgramPrfNew(nullptr, nullptr, 0));
    std::string a = "AbC \xC9t";
    std::string b = "abc \xC9t";
    ASSERT_EQ(insert_text(upper.get(), a), LANG_OK);
    ASSERT_EQ(insert_text(lower.get(), b), LANG_OK);
    EXPECT_EQ(a, "abc \xC9t");
    EXPECT_EQ(contents(upper.get()), contents(lower.get()));
    EXPECT_EQ(count_of(upper.get(), "\xC9"), 1);
    EXPECT_EQ(count_of(upper.get(), "\xE9"), 0);
}

TEST(NgramProfileInsert, NoiseSplitsWordsAndOneByteWordsVanish) {
    ProfilePtr profile(NgramPrfNew(nullptr, nullptr, 0));
    std::string text = "e-mail";
    ASSERT_EQ(insert_text(profile.get(), text), LANG_OK);
    EXPECT_EQ(count_of(profile.get(), "e"), 0);
    EXPECT_EQ(count_of(profile.get(), "_mail"), 1);
    EXPECT_EQ(count_of(profile.get(), "m"), 1);

    ProfilePtr empty(NgramPrfNew(nullptr, nullptr, 0));
    std::string singles = "a b 12 c! ?d";
    ASSERT_EQ(insert_text(empty.get(), singles), LANG_OK);
    EXPECT_TRUE(contents(empty.get()).empty());
    EXPECT_EQ(empty->table->nextFree, NGRAM_HASH_BUCKETS);
}

TEST(NgramProfileInsert, UnderscoreIsAWordByte) {
    ProfilePtr profile(NgramPrfNew(nullptr, nullptr, 0));
    std::string text = "a_b";
    ASSERT_EQ(insert_text(profile.get(), text), LANG_OK);
    EXPECT_EQ(contents(profile.get()), ones({"a", "_", "b", "_a", "a_", "_b", "b_", "_a_", "a_b",
                                             "_b_", "_a_b", "a_b_", "_a_b_"}));
}

TEST(NgramProfileInsert, EachCallStandsAlone) {
    ProfilePtr profile(NgramPrfNew(nullptr, nullptr, 0));
    std::string first = "xxx ab";
    std::string second = "cd yyy";
    ASSERT_EQ(insert_text(profile.get(), first), LANG_OK);
    ASSERT_EQ(insert_text(profile.get(), second), LANG_OK);
    EXPECT_EQ(count_of(profile.get(), "_ab_"), 1);
    EXPECT_EQ(count_of(profile.get(), "_cd_"), 1);
    EXPECT_EQ(count_of(profile.get(), "abcd"), 0);
}

TEST(NgramProfileInsert, RepeatedWordsCount) {
    ProfilePtr profile(NgramPrfNew(nullptr, nullptr, 0));
    std::string text = "The the THE tHe.";
    ASSERT_EQ(insert_text(profile.get(), text), LANG_OK);
    EXPECT_EQ(count_of(profile.get(), "_the_"), 4);
    EXPECT_EQ(count_of(profile.get(), "e"), 4);
}

TEST(NgramProfileInsert, MatchesOneByOneInsertion) {
    std::mt19937 rng(7);
    for (int round = 0; round < 20; ++round) {
        std::string text = random_text(rng, 1 + round * 700);
        ProfilePtr profile(NgramPrfNew(nullptr, nullptr, 1));
        ProfilePtr reference(NgramPrfNew(nullptr, nullptr, 1));
        std::string copy = text;
        ASSERT_EQ(insert_text(profile.get(), copy), LANG_OK);
        naive_insert(reference->table, text);
        expect_same_table(profile->table, reference->table);
    }
}

TEST(NgramProfileInsert, RepeatedWordsMatchOneByOneInsertion) {
    // A small vocabulary in mixed case: most words repeat, some are long.
    std::mt19937 rng(23);
    std::vector<std::string> vocabulary;
    for (int w = 0; w < 40; ++w) {
        std::string word = random_text(rng, 2 + rng() % (w % 10 == 0 ? 90 : 9));
        for (char &c : word) {
            if (static_cast<unsigned char>(c) < 0x40) c = 'q';
        }
        vocabulary.push_back(word);
    }
    for (int round = 0; round < 10; ++round) {
        std::string text;
        while (text.size() < 3000u * (round % 3 + 1)) {
            std::string word = vocabulary[rng() % vocabulary.size()];
            for (char &c : word) {
                if (c >= 'a' && c <= 'z' && rng() % 4 == 0) c = static_cast<char>(c - 32);
            }
            text += word + (rng() % 3 ? " " : ". ");
        }
        ProfilePtr profile(NgramPrfNew(nullptr, nullptr, 0));
        ProfilePtr reference(NgramPrfNew(nullptr, nullptr, 0));
        std::string copy = text;
        ASSERT_EQ(insert_text(profile.get(), copy), LANG_OK);
        naive_insert(reference->table, text);
        expect_same_table(profile->table, reference->table);
    }
}

TEST(NgramProfileInsert, SuccessiveCallsMatchOneByOneInsertion) {
    // Later calls start from a table with long chains, as training does.
    std::mt19937 rng(11);
    ProfilePtr profile(NgramPrfNew(nullptr, nullptr, 0));
    ProfilePtr reference(NgramPrfNew(nullptr, nullptr, 0));
    for (int call = 0; call < 12; ++call) {
        const std::string text = random_text(rng, 8192);
        std::string copy = text;
        ASSERT_EQ(insert_text(profile.get(), copy), LANG_OK);
        naive_insert(reference->table, text);
    }
    expect_same_table(profile->table, reference->table);
}

TEST(NgramProfileInsert, DenseNgramsMatchOneByOneInsertion) {
    // Random high bytes give about five new n-grams per byte.
    std::mt19937 rng(13);
    std::string text;
    for (int i = 0; i < 12000; ++i) {
        text.push_back(i % 23 == 0 ? ' ' : static_cast<char>(0x40 + rng() % 0xC0));
    }
    ProfilePtr profile(NgramPrfNew(nullptr, nullptr, 0));
    ProfilePtr reference(NgramPrfNew(nullptr, nullptr, 0));
    std::string copy = text;
    ASSERT_EQ(insert_text(profile.get(), copy), LANG_OK);
    naive_insert(reference->table, text);
    EXPECT_GT(profile->table->nextFree, 40000);
    expect_same_table(profile->table, reference->table);
}

TEST(NgramProfileInsert, MatchesOneByOneInsertionWithoutSpareMemory) {
    // Without memory for its lookup index the insertion walks the chains;
    // a short text needs no other allocation.
    std::mt19937 rng(17);
    ProfilePtr profile(NgramPrfNew(nullptr, nullptr, 0));
    ProfilePtr reference(NgramPrfNew(nullptr, nullptr, 0));
    const std::string text = random_text(rng, 300);
    std::string copy = text;
    {
        FailAllocAfter fail(0);
        ASSERT_EQ(insert_text(profile.get(), copy), LANG_OK);
    }
    naive_insert(reference->table, text);
    expect_same_table(profile->table, reference->table);
}

TEST(NgramProfileInsert, MatchesOneByOneInsertionWhenIndexCannotGrow) {
    // 200 dense bytes give about 1000 n-grams, more than the lookup index
    // sized for 400 (1024 slots, 768 keys) holds; its failed growth falls
    // back to walking the chains halfway through.
    std::mt19937 rng(19);
    std::string text;
    for (int i = 0; i < 200; ++i) {
        text.push_back(i % 60 == 0 ? ' ' : static_cast<char>(0x40 + rng() % 0xC0));
    }
    ProfilePtr profile(NgramPrfNew(nullptr, nullptr, 0));
    ProfilePtr reference(NgramPrfNew(nullptr, nullptr, 0));
    std::string copy = text;
    {
        FailAllocAfter fail(1);
        ASSERT_EQ(insert_text(profile.get(), copy), LANG_OK);
    }
    naive_insert(reference->table, text);
    EXPECT_GT(contents(profile.get()).size(), 800u);
    expect_same_table(profile->table, reference->table);
}

TEST(NgramProfileInsert, LongWordsMatchOneByOneInsertion) {
    // Words longer than any stack buffer, mixed with short ones.
    std::string text =
        "short " + std::string(300, 'q') + "wertz " + std::string(5000, 'k') + "lm ok";
    for (size_t i = 0; i < text.size(); i += 7) {
        if (text[i] != ' ') text[i] = static_cast<char>('a' + i % 26);
    }
    ProfilePtr profile(NgramPrfNew(nullptr, nullptr, 0));
    ProfilePtr reference(NgramPrfNew(nullptr, nullptr, 0));
    std::string copy = text;
    ASSERT_EQ(insert_text(profile.get(), copy), LANG_OK);
    naive_insert(reference->table, text);
    expect_same_table(profile->table, reference->table);
}

TEST(NgramProfileInsert, DocumentTablesGrowLikeAnyTable) {
    // Capacity 3009 until overflow entry 3008 is taken, then 2000 more per step.
    std::mt19937 rng(29);
    ProfilePtr document(NgramPrfNew(nullptr, nullptr, 1));
    EXPECT_EQ(document->table->capacity, 3009);
    while (document->table->nextFree < 8000) {
        std::string text = random_text(rng, 200);
        ASSERT_EQ(insert_text(document.get(), text), LANG_OK);
        const int32_t next_free = document->table->nextFree;
        ASSERT_EQ(document->table->capacity, 3009 + 2000 * ((next_free - 1009) / 2000))
            << next_free;
    }
}

TEST(NgramProfileInsert, RefusesNullArguments) {
    ProfilePtr profile(NgramPrfNew(nullptr, nullptr, 0));
    unsigned char text[] = "ab";
    EXPECT_EQ(NgramPrfInsert(nullptr, text, 2), LANG_ERR_NULL);
    EXPECT_EQ(NgramPrfInsert(profile.get(), nullptr, 2), LANG_ERR_NULL);
    EXPECT_EQ(NgramPrfInsert(profile.get(), text, 0), LANG_OK);
    EXPECT_EQ(NgramPrfInsert(profile.get(), text, -4), LANG_OK);
    NgramProfile no_table{};
    EXPECT_EQ(NgramPrfInsert(&no_table, text, 2), LANG_ERR_NULL);
}

TEST(NgramProfileInsert, OutOfMemoryKeepsEarlierNgrams) {
    ProfilePtr profile(NgramPrfNew(nullptr, nullptr, 0));
    std::mt19937 rng(3);
    std::string text = random_text(rng, 4000);
    FailAllocAfter fail(0);
    // The growth of the table fails once its spare entries are used up.
    EXPECT_EQ(insert_text(profile.get(), text), LANG_ERR_NOMEM);
    EXPECT_EQ(profile->table->capacity, NGRAM_HASH_BUCKETS + NGRAM_HASH_GROWTH);
    EXPECT_EQ(profile->table->nextFree, NGRAM_HASH_BUCKETS + NGRAM_HASH_GROWTH - 1);
    EXPECT_GT(contents(profile.get()).size(), 2000u);
}

TEST(NgramProfileInsert, OutOfMemoryForLongWordBuffer) {
    ProfilePtr profile(NgramPrfNew(nullptr, nullptr, 0));
    std::string text = "ab " + std::string(400, 'x');
    for (long n = 0; n < 2; ++n) {
        FailAllocAfter fail(n);
        std::string copy = text;
        EXPECT_EQ(insert_text(profile.get(), copy), LANG_ERR_NOMEM);
    }
    EXPECT_EQ(count_of(profile.get(), "_ab_"), 2);  // the word before the failure stayed
}

TEST(NgramProfileNew, CopiesStringsAndCreatesRankLists) {
    ProfilePtr profile(NgramPrfNew("en", "1252", 1));
    ASSERT_TRUE(profile);
    EXPECT_STREQ(profile->languageId, "en");
    EXPECT_STREQ(profile->charset, "1252");
    EXPECT_EQ(profile->sourcePath, nullptr);
    EXPECT_NE(profile->table, nullptr);
    EXPECT_EQ(profile->ranked, 1);
    ASSERT_NE(profile->rankLists, nullptr);
    for (int b = 0; b < NGRAM_RANK_LISTS; ++b) ASSERT_EQ(profile->rankLists[b][0], 0);

    ProfilePtr plain(NgramPrfNew(nullptr, nullptr, 0));
    EXPECT_EQ(plain->languageId, nullptr);
    EXPECT_EQ(plain->charset, nullptr);
    EXPECT_EQ(plain->ranked, 0);
    EXPECT_EQ(plain->rankLists, nullptr);
    NgramPrfDestroy(nullptr);
}

TEST(NgramProfileNew, ReleasesEverythingWhenMemoryRunsOut) {
    // Allocations: record, id, charset, table record, entries, rank lists.
    for (long n = 0; n < 6; ++n) {
        FailAllocAfter fail(n);
        EXPECT_EQ(NgramPrfNew("en", "1252", 1), nullptr) << n;
    }
    FailAllocAfter fail(6);
    ProfilePtr profile(NgramPrfNew("en", "1252", 1));
    EXPECT_TRUE(profile);
}

// A ranked profile whose table holds `keys` with the given counts, inserted
// in order, then sorted.
ProfilePtr ranked_with(const std::vector<std::pair<std::string, int32_t>> &keys) {
    ProfilePtr profile(NgramPrfNew(nullptr, nullptr, 1));
    for (const auto &[key, count] : keys) {
        EXPECT_EQ(HashInsert(profile->table, key.data(), static_cast<int32_t>(key.size()), count),
                  LANG_OK);
    }
    EXPECT_EQ(NgramPrfSort(profile.get()), LANG_OK);
    return profile;
}

std::string member_key(const NgramProfile *profile, int list, int member) {
    return profile->table->entries[profile->rankLists[list][member]].key;
}

TEST(NgramProfileSort, CountSelectsList) {
    ProfilePtr profile = ranked_with({{"a", 1}, {"bb", 7}, {"ccc", 499}});
    EXPECT_EQ(profile->rankLists[499][0], 1);
    EXPECT_EQ(member_key(profile.get(), 499, 1), "a");
    EXPECT_EQ(member_key(profile.get(), 493, 1), "bb");
    EXPECT_EQ(member_key(profile.get(), 1, 1), "ccc");
    int ranked = 0;
    for (int b = 0; b < NGRAM_RANK_LISTS; ++b) ranked += profile->rankLists[b][0];
    EXPECT_EQ(ranked, 3);
}

TEST(NgramProfileSort, HighCountsShareListZeroInTableOrder) {
    // Find two keys whose table order is known: the lower bucket comes first.
    std::string low = "ab", high = "cd";
    if (HashFunc(low.data(), 2) > HashFunc(high.data(), 2)) std::swap(low, high);
    ProfilePtr profile = ranked_with({{high, 600}, {low, 500}});
    ASSERT_EQ(profile->rankLists[0][0], 2);
    EXPECT_EQ(member_key(profile.get(), 0, 1), low);
    EXPECT_EQ(member_key(profile.get(), 0, 2), high);
}

TEST(NgramProfileSort, FullListDropsFurtherMembers) {
    std::vector<std::pair<std::string, int32_t>> keys;
    for (int n = 0; n < 120; ++n) keys.push_back({"k" + std::to_string(n), 1});
    ProfilePtr profile = ranked_with(keys);
    ASSERT_EQ(profile->rankLists[499][0], NGRAM_RANK_MEMBERS);
    // Members are in table order: strictly increasing entry indices.
    int32_t ranked_indices = 0;
    for (int k = 1; k <= NGRAM_RANK_MEMBERS; ++k) {
        if (k > 1) {
            ASSERT_LT(profile->rankLists[499][k - 1], profile->rankLists[499][k]);
        }
        ++ranked_indices;
    }
    EXPECT_EQ(ranked_indices, 99);
    // The unranked ones are the last 21 in table order.
    std::vector<int32_t> used;
    for (int32_t i = 0; i < profile->table->nextFree; ++i) {
        if (profile->table->entries[i].count > 0) used.push_back(i);
    }
    ASSERT_EQ(used.size(), 120u);
    EXPECT_EQ(profile->rankLists[499][99], used[98]);
}

TEST(NgramProfileSort, SortingAgainGivesTheSameLists) {
    ProfilePtr profile = document_of("the quick brown fox jumps over the lazy dog the end");
    std::vector<int32_t> before(&profile->rankLists[0][0], &profile->rankLists[0][0] + 500 * 100);
    ASSERT_EQ(NgramPrfSort(profile.get()), LANG_OK);
    for (int b = 0; b < NGRAM_RANK_LISTS; ++b) {
        for (int k = 0; k <= profile->rankLists[b][0]; ++k) {
            ASSERT_EQ(profile->rankLists[b][k], before[static_cast<size_t>(b * 100 + k)]);
        }
    }
}

TEST(NgramProfileSort, RefusesProfilesWithoutListsOrTable) {
    EXPECT_EQ(NgramPrfSort(nullptr), LANG_ERR_NULL);
    ProfilePtr unranked(NgramPrfNew(nullptr, nullptr, 0));
    EXPECT_EQ(NgramPrfSort(unranked.get()), LANG_ERR_NULL);
    NgramProfile no_table{};
    EXPECT_EQ(NgramPrfSort(&no_table), LANG_ERR_NULL);
}

// A model with `keys` at ranks 1, 2, ... in order.
ProfilePtr model_with(const std::vector<std::string> &keys) {
    ProfilePtr model(NgramPrfNew("xx", "cs", 0));
    int32_t rank = 0;
    for (const std::string &key : keys) {
        EXPECT_EQ(HashInsert(model->table, key.data(), static_cast<int32_t>(key.size()), ++rank),
                  LANG_OK);
    }
    return model;
}

TEST(NgramProfileCompute, HalfMatchExample) {
    ProfilePtr document = ranked_with({{"x", 2}, {"y", 1}});
    ProfilePtr model = model_with({"y"});
    const float score = NgramPrfCompute(document.get(), model.get());
    EXPECT_EQ(score, 0.49875f);
    EXPECT_EQ(score, static_cast<float>(1.0 - 401.0 / 800.0));
}

TEST(NgramProfileCompute, IdenticalRankingScoresOne) {
    std::vector<std::pair<std::string, int32_t>> keys;
    std::vector<std::string> order;
    for (int n = 0; n < 300; ++n) {
        keys.push_back({"n" + std::to_string(n), 300 - n});
        order.push_back("n" + std::to_string(n));
    }
    ProfilePtr document = ranked_with(keys);
    ProfilePtr model = model_with(order);
    EXPECT_EQ(NgramPrfCompute(document.get(), model.get()), 1.0f);
    ProfilePtr empty_model(NgramPrfNew(nullptr, nullptr, 0));
    EXPECT_EQ(NgramPrfCompute(document.get(), empty_model.get()), 0.0f);
}

TEST(NgramProfileCompute, ComparesAtMostFourHundredNgrams) {
    std::vector<std::pair<std::string, int32_t>> keys;
    std::vector<std::string> order;
    for (int n = 0; n < 450; ++n) {
        keys.push_back({"m" + std::to_string(n), 450 - n});
        if (n < 400) order.push_back("m" + std::to_string(n));
    }
    ProfilePtr document = ranked_with(keys);
    ProfilePtr model = model_with(order);
    EXPECT_EQ(NgramPrfCompute(document.get(), model.get()), 1.0f);
}

TEST(NgramProfileCompute, DistanceIsNotCapped) {
    ProfilePtr document = ranked_with({{"zz", 1}});
    std::vector<std::string> order;
    for (int n = 0; n < 999; ++n) order.push_back("f" + std::to_string(n));
    order.push_back("zz");
    ProfilePtr model = model_with(order);
    EXPECT_EQ(NgramPrfCompute(document.get(), model.get()),
              static_cast<float>(1.0 - 999.0 / 400.0));
}

TEST(NgramProfileCompute, UnscorableInputsGiveZero) {
    ProfilePtr model = model_with({"ab"});
    ProfilePtr empty = document_of("a b c 123");
    EXPECT_EQ(NgramPrfCompute(empty.get(), model.get()), 0.0f);
    ProfilePtr document = document_of("ab ab");
    EXPECT_EQ(NgramPrfCompute(document.get(), nullptr), 0.0f);
    EXPECT_EQ(NgramPrfCompute(nullptr, model.get()), 0.0f);
    ProfilePtr unranked(NgramPrfNew(nullptr, nullptr, 0));
    EXPECT_EQ(NgramPrfCompute(unranked.get(), model.get()), 0.0f);
    NgramProfile no_table{};
    EXPECT_EQ(NgramPrfCompute(document.get(), &no_table), 0.0f);
}

TEST(NgramProfileCompute, DoesNotChangeEitherProfile) {
    ProfilePtr document = document_of("some words of some text");
    ProfilePtr model = model_with({"s", "o", "_s", "me"});
    const std::vector<NgramHashEntry> before(model->table->entries,
                                             model->table->entries + model->table->nextFree);
    const float first = NgramPrfCompute(document.get(), model.get());
    EXPECT_EQ(NgramPrfCompute(document.get(), model.get()), first);
    EXPECT_EQ(memcmp(before.data(), model->table->entries, before.size() * sizeof before[0]), 0);
}

TEST(NgramProfileScore, ScoreFormula) {
    EXPECT_EQ(NgramPrfScore(401, 2), 0.49875f);
    EXPECT_EQ(NgramPrfScore(0, 400), 1.0f);
    EXPECT_EQ(NgramPrfScore(160000, 400), 0.0f);
    EXPECT_EQ(NgramPrfScore(5, 0), 0.0f);
}

}  // namespace
