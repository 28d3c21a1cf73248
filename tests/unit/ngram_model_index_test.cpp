// Tests of the model index: batch scores equal NgramPrfCompute bit for bit.
#include <string.h>

#include <bit>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/lang_api.h"
#include "ngram/model_index.h"
#include "ngram/profile.h"
#include "ngram_test_util.h"

namespace {

using ngram_test::document_of;
using ngram_test::FailAllocAfter;
using ngram_test::ProfilePtr;

struct IndexDeleter {
    void operator()(NgramModelIndex *index) const { NgramIdxDestroy(index); }
};
using IndexPtr = std::unique_ptr<NgramModelIndex, IndexDeleter>;

// Random words over a small alphabet that differs per "language", so that
// models share many n-grams at different ranks.
std::string random_text(std::mt19937 &rng, const std::string &alphabet, size_t size) {
    std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
    std::uniform_int_distribution<int> word_length(1, 9);
    std::string text;
    while (text.size() < size) {
        for (int n = word_length(rng); n > 0; --n) text.push_back(alphabet[pick(rng)]);
        text.push_back(rng() % 5 == 0 ? '.' : ' ');
    }
    text.resize(size);
    return text;
}

std::string random_alphabet(std::mt19937 &rng) {
    std::string alphabet = "abcdefghijklmnopqrstuvwxyz\xE4\xF6\xFC\xE9_";
    std::shuffle(alphabet.begin(), alphabet.end(), rng);
    // Skewed letter frequencies: the first letters repeat.
    alphabet.resize(8 + rng() % 20);
    return alphabet + alphabet.substr(0, 4) + alphabet.substr(0, 2);
}

// A model as loading makes it: the `lines` most frequent n-grams of a text,
// ranks 1..lines, plus some lines that loading also accepts.
ProfilePtr random_model(std::mt19937 &rng, int lines, int filler = 0) {
    ProfilePtr trained(NgramPrfNew(nullptr, nullptr, 0));
    std::string text = random_text(rng, random_alphabet(rng), 3000 + rng() % 20000);
    NgramPrfInsert(trained.get(), reinterpret_cast<unsigned char *>(text.data()),
                   static_cast<int32_t>(text.size()));
    HashSort(trained->table);
    ProfilePtr model(NgramPrfNew("xx", "cs", 0));
    int32_t rank = 0;
    // Filler lines push the real n-grams to far ranks, as in an overlong file.
    for (int i = 0; i < filler; ++i) {
        const std::string key = "Q" + std::to_string(i);
        EXPECT_EQ(HashInsert(model->table, key.data(), static_cast<int32_t>(key.size()), ++rank),
                  LANG_OK);
    }
    for (int i = 0; i < lines; ++i) {
        const NgramHashEntry &e = trained->table->entries[i];
        EXPECT_EQ(HashInsert(model->table, e.key, e.length, ++rank), LANG_OK);
        // Now and then a repeated line, an empty padding line or a 7-byte key.
        const unsigned roll = rng() % 50;
        int rc = LANG_OK;
        if (roll == 0) rc = HashInsert(model->table, e.key, e.length, ++rank);
        if (roll == 1) rc = HashInsert(model->table, "", 0, ++rank);
        if (roll == 2) rc = HashInsert(model->table, "abcdefg", 7, ++rank);
        EXPECT_EQ(rc, LANG_OK);
    }
    return model;
}

// Scores seen by expect_equal_scores, to show the comparisons are not vacuous.
struct ScoreKinds {
    int positive = 0;
    int negative = 0;
};

void expect_equal_scores(const std::vector<const NgramProfile *> &models,
                         const NgramModelIndex *index, const NgramProfile *document,
                         const std::vector<unsigned char> &selected, ScoreKinds *kinds = nullptr) {
    std::vector<float> scores(models.size(), -7.0f);
    ASSERT_EQ(
        NgramIdxScore(index, document, selected.empty() ? nullptr : selected.data(), scores.data()),
        LANG_OK);
    for (size_t m = 0; m < models.size(); ++m) {
        const bool wanted = selected.empty() || selected[m];
        const float exact = wanted ? NgramPrfCompute(document, models[m]) : 0.0f;
        ASSERT_EQ(std::bit_cast<uint32_t>(scores[m]), std::bit_cast<uint32_t>(exact))
            << "model " << m << ": " << scores[m] << " vs " << exact;
        if (kinds && exact > 0.0f) ++kinds->positive;
        if (kinds && exact < 0.0f) ++kinds->negative;
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

    ScoreKinds kinds;
    for (int round = 0; round < 60; ++round) {
        const size_t size = round < 5 ? static_cast<size_t>(round * 3) : 50 + rng() % 4000;
        ProfilePtr document = document_of(random_text(rng, random_alphabet(rng), size));
        std::vector<unsigned char> selected;
        if (round % 3 == 1) {
            for (size_t m = 0; m < models.size(); ++m) selected.push_back(rng() % 2);
        }
        expect_equal_scores(models, index.get(), document.get(), selected, &kinds);
    }
    EXPECT_GT(kinds.positive, 1000);
    EXPECT_GT(kinds.negative, 10);
}

TEST(NgramModelIndex, MatchesComputeOnHandBuiltDocuments) {
    std::mt19937 rng(5);
    std::vector<ProfilePtr> owned;
    std::vector<const NgramProfile *> models;
    for (int m = 0; m < 5; ++m) {
        owned.push_back(random_model(rng, 400));
        models.push_back(owned.back().get());
    }
    IndexPtr index(NgramIdxBuild(models.data(), 5));
    ASSERT_TRUE(index);
    // Documents with empty and 7-byte keys, large counts (list 0) and full
    // rank lists, built directly in the table.
    ProfilePtr document(NgramPrfNew(nullptr, nullptr, 1));
    ASSERT_EQ(HashInsert(document->table, "", 0, 900), LANG_OK);
    ASSERT_EQ(HashInsert(document->table, "abcdefg", 7, 3), LANG_OK);
    for (int i = 0; i < 600; ++i) {
        const NgramHashEntry &e = owned[static_cast<size_t>(i % 5)]->table->entries[i];
        if (e.count > 0) HashInsert(document->table, e.key, e.length, 1 + i % 7);
    }
    ASSERT_EQ(NgramPrfSort(document.get()), LANG_OK);
    expect_equal_scores(models, index.get(), document.get(), {});
}

TEST(NgramModelIndex, UnscorableDocumentsGiveZero) {
    std::mt19937 rng(9);
    ProfilePtr model = random_model(rng, 400);
    const NgramProfile *models[] = {model.get()};
    IndexPtr index(NgramIdxBuild(models, 1));
    float score = -1.0f;
    EXPECT_EQ(NgramIdxScore(index.get(), nullptr, nullptr, &score), LANG_OK);
    EXPECT_EQ(score, 0.0f);
    ProfilePtr unranked(NgramPrfNew(nullptr, nullptr, 0));
    score = -1.0f;
    EXPECT_EQ(NgramIdxScore(index.get(), unranked.get(), nullptr, &score), LANG_OK);
    EXPECT_EQ(score, 0.0f);
    ProfilePtr empty = document_of("a b c");
    score = -1.0f;
    EXPECT_EQ(NgramIdxScore(index.get(), empty.get(), nullptr, &score), LANG_OK);
    EXPECT_EQ(score, 0.0f);
}

TEST(NgramModelIndex, ExampleScores) {
    ProfilePtr model(NgramPrfNew("xx", "cs", 0));
    ASSERT_EQ(HashInsert(model->table, "y", 1, 1), LANG_OK);
    ProfilePtr empty_model(NgramPrfNew("yy", "cs", 0));
    const NgramProfile *models[] = {model.get(), empty_model.get()};
    IndexPtr index(NgramIdxBuild(models, 2));
    ProfilePtr document(NgramPrfNew(nullptr, nullptr, 1));
    ASSERT_EQ(HashInsert(document->table, "x", 1, 2), LANG_OK);
    ASSERT_EQ(HashInsert(document->table, "y", 1, 1), LANG_OK);
    ASSERT_EQ(NgramPrfSort(document.get()), LANG_OK);
    float scores[2];
    ASSERT_EQ(NgramIdxScore(index.get(), document.get(), nullptr, scores), LANG_OK);
    EXPECT_EQ(scores[0], 0.49875f);
    EXPECT_EQ(scores[1], 0.0f);
}

TEST(NgramModelIndex, ManyModelsUseHeapScratch) {
    std::mt19937 rng(11);
    ProfilePtr model = random_model(rng, 400);
    std::vector<const NgramProfile *> models(600, model.get());
    IndexPtr index(NgramIdxBuild(models.data(), 600));
    ASSERT_TRUE(index);
    ProfilePtr document = document_of(random_text(rng, random_alphabet(rng), 2000));
    std::vector<float> scores(600);
    ASSERT_EQ(NgramIdxScore(index.get(), document.get(), nullptr, scores.data()), LANG_OK);
    const float exact = NgramPrfCompute(document.get(), model.get());
    for (float s : scores) ASSERT_EQ(s, exact);
    {
        FailAllocAfter fail(0);
        EXPECT_EQ(NgramIdxScore(index.get(), document.get(), nullptr, scores.data()),
                  LANG_ERR_NOMEM);
    }
}

TEST(NgramModelIndex, BuildArgumentsAndMemoryFailures) {
    EXPECT_EQ(NgramIdxBuild(nullptr, 3), nullptr);
    EXPECT_EQ(NgramIdxBuild(nullptr, -1), nullptr);
    IndexPtr empty(NgramIdxBuild(nullptr, 0));
    ASSERT_TRUE(empty);
    EXPECT_EQ(NgramIdxModelCount(empty.get()), 0);
    EXPECT_EQ(NgramIdxModelCount(nullptr), 0);
    float none = 0.0f;
    EXPECT_EQ(NgramIdxScore(empty.get(), nullptr, nullptr, &none), LANG_OK);
    EXPECT_EQ(NgramIdxScore(nullptr, nullptr, nullptr, &none), LANG_ERR_NULL);
    EXPECT_EQ(NgramIdxScore(empty.get(), nullptr, nullptr, nullptr), LANG_ERR_NULL);

    std::mt19937 rng(1);
    ProfilePtr model = random_model(rng, 400);
    const NgramProfile *models[] = {model.get()};
    // Allocations: record, flags, build space, slots, postings.
    for (long n = 0; n < 5; ++n) {
        FailAllocAfter fail(n);
        EXPECT_EQ(NgramIdxBuild(models, 1), nullptr) << n;
    }
    NgramIdxDestroy(nullptr);
}

}  // namespace
