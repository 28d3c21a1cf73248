// Tests of n-gram profiles in memory: extraction, ranking and scoring.
#include <string.h>

#include <set>

#include "ngram_test_util.h"

namespace {

using namespace ngram_test;

using Contents = std::multiset<std::pair<std::string, int32_t>>;

// Every (key, count) of a profile's table.
Contents contents(const NgramProfile *profile) {
    Contents all;
    for (int32_t i = 0; i < profile->table->nextFree; ++i) {
        const NgramHashEntry &e = profile->table->entries[i];
        if (e.count > 0) all.insert({std::string(e.key, static_cast<size_t>(e.length)), e.count});
    }
    return all;
}

Contents contents_of(std::string text) {
    ProfilePtr profile(NgramPrfNew(nullptr, nullptr, 0));
    EXPECT_EQ(insert_text(profile.get(), text), LANG_OK);
    return contents(profile.get());
}

Contents ones(const std::vector<std::string> &keys) {
    Contents all;
    for (const std::string &k : keys) all.insert({k, 1});
    return all;
}

TEST(NgramProfileInsert, WordsGiveTheirNgrams) {
    EXPECT_EQ(contents_of("de"), ones({"d", "e", "_d", "de", "e_", "_de", "de_", "_de_"}));
    EXPECT_EQ(contents_of("the"), ones({"t", "h", "e", "_t", "th", "he", "e_", "_th", "the", "he_",
                                        "_the", "the_", "_the_"}));
    EXPECT_EQ(contents_of("a_b"), ones({"a", "_", "b", "_a", "a_", "_b", "b_", "_a_", "a_b", "_b_",
                                        "_a_b", "a_b_", "_a_b_"}));
    // Noise splits words, one-byte words vanish, ASCII capitals fold.
    const std::pair<std::string, std::string> same[] = {{"e-mail", "mail"},
                                                        {"a b 12 c! ?d\x01\x7F", ""},
                                                        {"AbC \xC9t", "abc \xC9t"},
                                                        {"The the THE", "the the the"}};
    for (const auto &[text, equivalent] : same) {
        EXPECT_EQ(contents_of(text), contents_of(equivalent)) << text;
    }
    EXPECT_EQ(contents_of("@[x").size(), 13u);  // '@' and '[' are word bytes
    std::string text = "AbC \xC9t " + std::string(300, 'q');
    ProfilePtr profile(NgramPrfNew(nullptr, nullptr, 0));
    ASSERT_EQ(insert_text(profile.get(), text), LANG_OK);
    EXPECT_EQ(text.substr(0, 6), "abc \xC9t");         // only ASCII letters change
    EXPECT_EQ(count_of(profile.get(), "qqqqq"), 296);  // a word longer than any buffer
    EXPECT_EQ(count_of(profile.get(), "qqqq_"), 1);
    EXPECT_EQ(count_of(profile.get(), "\xE9"), 0);
}

TEST(NgramProfile, BadArgumentsAndOutOfMemory) {
    ProfilePtr profile(NgramPrfNew(nullptr, nullptr, 0));
    unsigned char ab[] = "ab";
    NgramProfile no_table{};
    EXPECT_EQ(NgramPrfInsert(nullptr, ab, 2), LANG_ERR_NULL);
    EXPECT_EQ(NgramPrfInsert(profile.get(), nullptr, 2), LANG_ERR_NULL);
    EXPECT_EQ(NgramPrfInsert(&no_table, ab, 2), LANG_ERR_NULL);
    EXPECT_EQ(NgramPrfInsert(profile.get(), ab, 0), LANG_OK);
    EXPECT_EQ(NgramPrfInsert(profile.get(), ab, -4), LANG_OK);
    EXPECT_EQ(NgramPrfSort(nullptr), LANG_ERR_NULL);
    EXPECT_EQ(NgramPrfSort(profile.get()), LANG_ERR_NULL);  // unranked
    EXPECT_EQ(NgramPrfSort(&no_table), LANG_ERR_NULL);

    // Allocations: record, id, charset, table record, entries, rank lists.
    for (long n = 0; n < 6; ++n) {
        FailAllocAfter fail(n);
        EXPECT_EQ(NgramPrfNew("en", "1252", 1), nullptr) << n;
    }
    NgramPrfDestroy(nullptr);

    // The table cannot grow once its spare entries are used up.
    std::string text;
    for (int i = 0; text.size() < 8000; ++i) {  // distinct words of three letters or more
        std::string word;
        for (int n = i; n > 0 || word.size() < 3; n /= 20) word += static_cast<char>('a' + n % 20);
        text += word + " ";
    }
    ProfilePtr full(NgramPrfNew(nullptr, nullptr, 0));
    FailAllocAfter fail(0);
    EXPECT_EQ(insert_text(full.get(), text), LANG_ERR_NOMEM);
    EXPECT_EQ(full->table->nextFree, NGRAM_HASH_BUCKETS + NGRAM_HASH_GROWTH - 1);
    EXPECT_GT(contents(full.get()).size(), 2000u);
}

std::string member_key(const NgramProfile *profile, int list, int member) {
    return profile->table->entries[profile->rankLists[list][member]].key;
}

TEST(NgramProfileSort, CountSelectsListAndTiesKeepTableOrder) {
    ProfilePtr profile = ranked_with({{"a", 1}, {"bb", 7}, {"ccc", 499}});
    EXPECT_EQ(member_key(profile.get(), 499, 1), "a");
    EXPECT_EQ(member_key(profile.get(), 493, 1), "bb");
    EXPECT_EQ(member_key(profile.get(), 1, 1), "ccc");
    int ranked = 0;
    for (int b = 0; b < NGRAM_RANK_LISTS; ++b) ranked += profile->rankLists[b][0];
    EXPECT_EQ(ranked, 3);

    // 600 and 500 share list 0; the lower bucket comes first.
    std::string low = "ab", high = "cd";
    if (HashFunc(low.data(), 2) > HashFunc(high.data(), 2)) std::swap(low, high);
    ProfilePtr top = ranked_with({{high, 600}, {low, 500}});
    ASSERT_EQ(top->rankLists[0][0], 2);
    EXPECT_EQ(member_key(top.get(), 0, 1), low);
    EXPECT_EQ(member_key(top.get(), 0, 2), high);
}

TEST(NgramProfileSort, FullListDropsFurtherMembers) {
    std::vector<std::pair<std::string, int32_t>> keys;
    for (int n = 0; n < 120; ++n) keys.push_back({std::string("k").append(std::to_string(n)), 1});
    ProfilePtr profile = ranked_with(keys);
    ASSERT_EQ(profile->rankLists[499][0], NGRAM_RANK_MEMBERS);
    std::vector<int32_t> used;
    for (int32_t i = 0; i < profile->table->nextFree; ++i) {
        if (profile->table->entries[i].count > 0) used.push_back(i);
    }
    ASSERT_EQ(used.size(), 120u);
    for (int k = 1; k <= NGRAM_RANK_MEMBERS; ++k) {
        ASSERT_EQ(profile->rankLists[499][k], used[static_cast<size_t>(k - 1)]);
    }
}

// The n-grams scoring compares: at most 400, lists in order, members in
// order; a list or member that does not fit the table makes the document
// unscorable, unless it lies beyond the 400th n-gram.
TEST(NgramProfileTop, WalksListsInOrderAndRefusesBadMembers) {
    std::vector<std::pair<std::string, int32_t>> keys;
    for (int n = 0; n < 450; ++n) {
        keys.push_back({std::string("t").append(std::to_string(n)), 1 + n % 5});
    }
    ProfilePtr profile = ranked_with(keys);
    const NgramHashEntry *top[NGRAM_COMPARE_DEPTH];
    // 90 n-grams of each count from 5 down: four whole lists, then 40 of
    // list 499 (count 1).
    ASSERT_EQ(NgramPrfTopNgrams(profile.get(), top), NGRAM_COMPARE_DEPTH);
    EXPECT_EQ(top[0]->count, 5);
    EXPECT_EQ(top[89]->count, 5);
    EXPECT_EQ(top[90]->count, 4);
    EXPECT_EQ(top[360]->count, 1);
    EXPECT_EQ(top[399]->count, 1);
    EXPECT_EQ(top[0], &profile->table->entries[profile->rankLists[495][1]]);

    int32_t(*lists)[NGRAM_RANK_MEMBERS + 1] = profile->rankLists;
    const int32_t saved = lists[496][7];
    lists[496][7] = profile->table->nextFree;
    EXPECT_EQ(NgramPrfTopNgrams(profile.get(), top), -1);
    lists[496][7] = -1;
    EXPECT_EQ(NgramPrfTopNgrams(profile.get(), top), -1);
    lists[496][7] = saved;
    lists[497][0] = NGRAM_RANK_MEMBERS + 1;
    EXPECT_EQ(NgramPrfTopNgrams(profile.get(), top), -1);
    lists[497][0] = 90;
    // Past the 400th n-gram nothing is read.
    lists[499][50] = -5;
    EXPECT_EQ(NgramPrfTopNgrams(profile.get(), top), NGRAM_COMPARE_DEPTH);
    EXPECT_EQ(NgramPrfTopNgrams(nullptr, top), -1);
}

TEST(NgramProfileCompute, ExampleScores) {
    // x, y against a model with y at rank 1: D = 400 + |2 - 1|.
    ProfilePtr document = ranked_with({{"x", 2}, {"y", 1}});
    ProfilePtr model = model_with({"y"});
    const std::vector<NgramHashEntry> before(model->table->entries,
                                             model->table->entries + model->table->nextFree);
    EXPECT_EQ(NgramPrfCompute(document.get(), model.get()), 0.49875f);
    EXPECT_EQ(memcmp(before.data(), model->table->entries, before.size() * sizeof before[0]), 0);
    EXPECT_EQ(NgramPrfScore(401, 2), 0.49875f);
    EXPECT_EQ(NgramPrfScore(5, 0), 0.0f);

    // 450 n-grams ranked alike: only the first 400 are compared.
    std::vector<std::pair<std::string, int32_t>> keys;
    std::vector<std::string> order;
    for (int n = 0; n < 450; ++n) {
        keys.push_back({std::string("m").append(std::to_string(n)), 450 - n});
        if (n < 400) order.push_back(keys.back().first);
    }
    EXPECT_EQ(NgramPrfCompute(ranked_with(keys).get(), model_with(order).get()), 1.0f);
    ProfilePtr empty_model(NgramPrfNew(nullptr, nullptr, 0));
    EXPECT_EQ(NgramPrfCompute(ranked_with(keys).get(), empty_model.get()), 0.0f);

    // The distance is not capped: rank 1000 for the only n-gram.
    std::vector<std::string> far;
    for (int n = 0; n < 999; ++n) far.push_back(std::string("f").append(std::to_string(n)));
    far.push_back("zz");
    EXPECT_EQ(NgramPrfCompute(ranked_with({{"zz", 1}}).get(), model_with(far).get()),
              static_cast<float>(1.0 - 999.0 / 400.0));
}

TEST(NgramProfileCompute, UnscorableInputsGiveZero) {
    ProfilePtr model = model_with({"ab"});
    ProfilePtr document = document_of("ab ab");
    ProfilePtr unranked(NgramPrfNew(nullptr, nullptr, 0));
    NgramProfile no_table{};
    EXPECT_EQ(NgramPrfCompute(document_of("a b c 123").get(), model.get()), 0.0f);
    EXPECT_EQ(NgramPrfCompute(document.get(), nullptr), 0.0f);
    EXPECT_EQ(NgramPrfCompute(nullptr, model.get()), 0.0f);
    EXPECT_EQ(NgramPrfCompute(unranked.get(), model.get()), 0.0f);
    EXPECT_EQ(NgramPrfCompute(document.get(), &no_table), 0.0f);
}

}  // namespace
