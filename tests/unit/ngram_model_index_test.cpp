// Tests of the model index: batch scores equal NgramPrfCompute bit for bit.
#include <algorithm>
#include <bit>
#include <random>

#include "ngram/model_index.h"
#include "ngram_test_util.h"

namespace {

using namespace ngram_test;

struct IndexDeleter {
    void operator()(NgramModelIndex *index) const { NgramIdxDestroy(index); }
};
using IndexPtr = std::unique_ptr<NgramModelIndex, IndexDeleter>;

// Random words over a skewed alphabet that differs per "language", so that
// models share many n-grams at different ranks.
std::string random_text(std::mt19937 &rng, size_t size) {
    std::string alphabet = "abcdefghijklmnopqrstuvwxyz\xE4\xF6\xFC\xE9_";
    std::shuffle(alphabet.begin(), alphabet.end(), rng);
    alphabet.resize(8 + rng() % 20);
    alphabet += alphabet.substr(0, 4) + alphabet.substr(0, 2);
    std::string text;
    while (text.size() < size) {
        for (int n = 1 + rng() % 9; n > 0; --n) text.push_back(alphabet[rng() % alphabet.size()]);
        text.push_back(rng() % 5 == 0 ? '.' : ' ');
    }
    text.resize(size);
    return text;
}

// A model as loading makes it: the `lines` most frequent n-grams of a text at
// ranks after `filler` unrelated lines, with now and then a repeated line, an
// empty padding line or a 7-byte key.
ProfilePtr random_model(std::mt19937 &rng, int lines, int filler = 0, const char *charset = "cs") {
    ProfilePtr trained(NgramPrfNew(nullptr, nullptr, 0));
    std::string text = random_text(rng, 3000 + rng() % 20000);
    insert_text(trained.get(), text);
    HashSort(trained->table);
    ProfilePtr model(NgramPrfNew("xx", charset, 0));
    int32_t rank = 0;
    for (int i = 0; i < filler; ++i) {
        const std::string key = std::string("Q").append(std::to_string(i));
        HashInsert(model->table, key.data(), static_cast<int32_t>(key.size()), ++rank);
    }
    for (int i = 0; i < lines; ++i) {
        const NgramHashEntry &e = trained->table->entries[i];
        HashInsert(model->table, e.key, e.length, ++rank);
        const unsigned roll = rng() % 50;
        if (roll == 0) HashInsert(model->table, e.key, e.length, ++rank);
        if (roll == 1) HashInsert(model->table, "", 0, ++rank);
        if (roll == 2) HashInsert(model->table, "abcdefg", 7, ++rank);
    }
    return model;
}

// Checks the index against NgramPrfCompute; counts positive and negative scores
// to show the comparison is not vacuous.
void expect_equal_scores(const std::vector<const NgramProfile *> &models,
                         const NgramModelIndex *index, const NgramProfile *document,
                         const std::vector<unsigned char> &selected, int kinds[2]) {
    std::vector<float> scores(models.size(), -7.0f);
    ASSERT_EQ(
        NgramIdxScore(index, document, selected.empty() ? nullptr : selected.data(), scores.data()),
        LANG_OK);
    for (size_t m = 0; m < models.size(); ++m) {
        const float exact =
            selected.empty() || selected[m] ? NgramPrfCompute(document, models[m]) : 0.0f;
        ASSERT_EQ(std::bit_cast<uint32_t>(scores[m]), std::bit_cast<uint32_t>(exact))
            << "model " << m << ": " << scores[m] << " vs " << exact;
        kinds[0] += exact > 0.0f;
        kinds[1] += exact < 0.0f;
    }
}

TEST(NgramModelIndex, MatchesComputeOnRandomDocumentsAndModels) {
    std::mt19937 rng(2024);
    std::vector<ProfilePtr> owned;
    std::vector<const NgramProfile *> models;
    for (int m = 0; m < 40; ++m) {
        // Mostly 400-line models, some short, some longer than 400 lines so
        // that distances can exceed the penalty.
        const int lines = m % 7 == 0 ? 900 : (m % 5 == 0 ? 30 : 400);
        owned.push_back(random_model(rng, lines, m % 13 == 0 ? 3000 : 0));
        models.push_back(owned.back().get());
    }
    models.push_back(nullptr);  // unscorable slots score 0.0
    NgramProfile no_table{};
    models.push_back(&no_table);
    IndexPtr index(NgramIdxBuild(models.data(), static_cast<int32_t>(models.size())));
    ASSERT_TRUE(index);
    ASSERT_EQ(NgramIdxModelCount(index.get()), static_cast<int32_t>(models.size()));

    int kinds[2] = {0, 0};
    for (int round = 0; round < 60; ++round) {
        const size_t size = round < 5 ? static_cast<size_t>(round * 3) : 50 + rng() % 4000;
        std::vector<unsigned char> selected;
        for (size_t m = 0; round % 3 == 1 && m < models.size(); ++m) selected.push_back(rng() % 2);
        expect_equal_scores(models, index.get(), document_of(random_text(rng, size)).get(),
                            selected, kinds);
    }
    EXPECT_GT(kinds[0], 1000);
    EXPECT_GT(kinds[1], 10);
}

// N-grams that most models share are scored through per-model rows, whose
// lanes are grouped by charset; requests that admit one charset group (as the
// recogniser's do) or scattered models must score as NgramPrfCompute does.
TEST(NgramModelIndex, SharedNgramsMatchComputeForEverySelection) {
    std::mt19937 rng(77);
    const char *const charsets[] = {"utf-8", "cp1252", "iso-8859-2", nullptr};
    std::vector<ProfilePtr> owned;
    std::vector<const NgramProfile *> models;
    std::vector<int> group;
    for (int m = 0; m < 150; ++m) {
        const int g = static_cast<int>(rng() % 4);
        owned.push_back(random_model(rng, m % 11 == 0 ? 700 : 400, 0, charsets[g]));
        models.push_back(owned.back().get());
        group.push_back(g);
    }
    IndexPtr index(NgramIdxBuild(models.data(), static_cast<int32_t>(models.size())));
    ASSERT_TRUE(index);
    int kinds[2] = {0, 0};
    for (int round = 0; round < 48; ++round) {
        // Half the rounds on the portable vector path, half on the widest
        // one the processor offers.
        EXPECT_EQ(NgramIdxUseWideVectors(index.get(), 0), 0);
        if (round % 2) NgramIdxUseWideVectors(index.get(), 1);
        std::vector<unsigned char> selected(models.size(), 0);
        for (size_t m = 0; m < models.size(); ++m) {
            switch ((round / 2) % 4) {
                case 0:
                    selected[m] = 1;
                    break;
                case 1:
                    selected[m] = group[m] == round % 3;
                    break;
                case 2:
                    selected[m] = group[m] != 0 || m == 5;
                    break;
                default:
                    selected[m] = rng() % 9 == 0;
                    break;
            }
        }
        expect_equal_scores(models, index.get(),
                            document_of(random_text(rng, 500 + rng() % 3000)).get(), selected,
                            kinds);
    }
    EXPECT_GT(kinds[0], 500);
}

TEST(NgramModelIndex, RanksBeyondSixteenBitsMatchCompute) {
    // A model whose real n-grams sit behind 66,000 filler lines has ranks
    // that do not fit the compact postings; the wide ones must score the
    // same as NgramPrfCompute, for it and for the ordinary models beside it.
    std::mt19937 rng(8);
    std::vector<ProfilePtr> owned;
    std::vector<const NgramProfile *> models;
    for (int m = 0; m < 4; ++m) {
        owned.push_back(random_model(rng, 400, m == 2 ? 66000 : 0));
        models.push_back(owned.back().get());
    }
    IndexPtr index(NgramIdxBuild(models.data(), static_cast<int32_t>(models.size())));
    ASSERT_TRUE(index);
    int kinds[2] = {0, 0};
    for (int round = 0; round < 10; ++round) {
        expect_equal_scores(models, index.get(),
                            document_of(random_text(rng, 200 + rng() % 3000)).get(), {}, kinds);
    }
    EXPECT_GT(kinds[0], 5);
    EXPECT_GT(kinds[1], 5);
}

TEST(NgramModelIndex, BuildArgumentsAndMemoryFailures) {
    EXPECT_EQ(NgramIdxBuild(nullptr, 3), nullptr);
    EXPECT_EQ(NgramIdxBuild(nullptr, -1), nullptr);
    IndexPtr empty(NgramIdxBuild(nullptr, 0));
    ASSERT_TRUE(empty);
    EXPECT_EQ(NgramIdxModelCount(empty.get()), 0);
    EXPECT_EQ(NgramIdxModelCount(nullptr), 0);
    EXPECT_EQ(NgramIdxUseWideVectors(nullptr, 1), 0);
    float none = 0.0f;
    EXPECT_EQ(NgramIdxScore(empty.get(), nullptr, nullptr, &none), LANG_OK);
    EXPECT_EQ(NgramIdxScore(nullptr, nullptr, nullptr, &none), LANG_ERR_NULL);
    EXPECT_EQ(NgramIdxScore(empty.get(), nullptr, nullptr, nullptr), LANG_ERR_NULL);

    std::mt19937 rng(1);
    ProfilePtr model = random_model(rng, 400);
    const NgramProfile *models[] = {model.get()};
    IndexPtr index(NgramIdxBuild(models, 1));
    ProfilePtr unranked(NgramPrfNew(nullptr, nullptr, 0));
    ProfilePtr no_words = document_of("a b c");
    const NgramProfile *documents[] = {nullptr, unranked.get(), no_words.get()};
    for (const NgramProfile *document : documents) {  // unscorable documents
        none = -1.0f;
        EXPECT_EQ(NgramIdxScore(index.get(), document, nullptr, &none), LANG_OK);
        EXPECT_EQ(none, 0.0f);
    }
    // Allocations: record, flags, build space, slots, postings.
    for (long n = 0; n < 5; ++n) {
        FailAllocAfter fail(n);
        EXPECT_EQ(NgramIdxBuild(models, 1), nullptr) << n;
    }
    // Then the shared-n-gram rows and their lane order; whichever allocation
    // fails, nothing leaks, and with enough memory the build succeeds.
    bool built = false;
    for (long n = 5; n < 12 && !built; ++n) {
        FailAllocAfter fail(n);
        IndexPtr partial(NgramIdxBuild(models, 1));
        built = partial != nullptr;
    }
    EXPECT_TRUE(built);
    NgramIdxDestroy(nullptr);
}

}  // namespace
