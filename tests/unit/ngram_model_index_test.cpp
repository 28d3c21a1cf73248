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

// An index as an image (aligned storage of exactly its size).
std::vector<uint64_t> image_of(const NgramModelIndex *index) {
    const size_t size = NgramIdxImageSize(index);
    std::vector<uint64_t> image((size + 7) / 8);
    EXPECT_EQ(size % 8, 0u);
    EXPECT_EQ(NgramIdxImageWrite(index, image.data(), size), LANG_OK);
    return image;
}

// An index read from the image of another one scores exactly as it does, on
// both kinds of postings and with and without shared-n-gram rows; equal
// indexes give equal images.
TEST(NgramModelIndex, ImageScoresAsTheIndexItWasWrittenFrom) {
    std::mt19937 rng(31);
    struct Case {
        const char *what;
        int models;
        int filler;  // a model with ranks beyond 16 bits when non-zero
    };
    for (const Case &c :
         {Case{"many models", 60, 0}, Case{"one model", 1, 0}, Case{"wide postings", 5, 66000}}) {
        SCOPED_TRACE(c.what);
        std::vector<ProfilePtr> owned;
        std::vector<const NgramProfile *> models;
        for (int m = 0; m < c.models; ++m) {
            owned.push_back(random_model(rng, 400, m == 1 ? c.filler : 0));
            models.push_back(owned.back().get());
        }
        const auto count = static_cast<int32_t>(models.size());
        IndexPtr built(NgramIdxBuild(models.data(), count));
        ASSERT_TRUE(built);
        std::vector<uint64_t> image = image_of(built.get());
        IndexPtr again(NgramIdxBuild(models.data(), count));
        EXPECT_EQ(image_of(again.get()), image);
        const size_t size = NgramIdxImageSize(built.get());
        IndexPtr read(NgramIdxFromImage(image.data(), size));
        ASSERT_TRUE(read);
        EXPECT_EQ(NgramIdxModelCount(read.get()), count);
        // Trusted as it is, the same image scores the same.
        IndexPtr verified(NgramIdxFromVerifiedImage(image.data(), size));
        ASSERT_TRUE(verified);
        int kinds[2] = {0, 0};
        for (int round = 0; round < 12; ++round) {
            const ProfilePtr document = document_of(random_text(rng, 100 + rng() % 3000));
            expect_equal_scores(models, read.get(), document.get(), {}, kinds);
            expect_equal_scores(models, verified.get(), document.get(), {}, kinds);
        }
        EXPECT_GT(kinds[0], 0);
    }
    IndexPtr empty(NgramIdxBuild(nullptr, 0));
    std::vector<uint64_t> image = image_of(empty.get());
    IndexPtr read(NgramIdxFromImage(image.data(), NgramIdxImageSize(empty.get())));
    ASSERT_TRUE(read);
    EXPECT_EQ(NgramIdxModelCount(read.get()), 0);
}

// Images whose scoring could leave its arrays or probe without end are
// refused; the header checks catch wrong sizes and counts.
TEST(NgramModelIndex, DamagedImagesAreRefused) {
    std::mt19937 rng(5);
    std::vector<ProfilePtr> owned;
    std::vector<const NgramProfile *> models;
    for (int m = 0; m < 40; ++m) {
        owned.push_back(random_model(rng, 400));
        models.push_back(owned.back().get());
    }
    IndexPtr built(NgramIdxBuild(models.data(), static_cast<int32_t>(models.size())));
    ASSERT_TRUE(built);
    const std::vector<uint64_t> good = image_of(built.get());
    const size_t size = NgramIdxImageSize(built.get());
    auto bytes = [](std::vector<uint64_t> &image) {
        return reinterpret_cast<unsigned char *>(image.data());
    };
    // Header: magic, model count, slot bits, stride, narrow flag, reserved,
    // posting count, row count.
    for (size_t at : {size_t{0}, size_t{4}, size_t{8}, size_t{12}, size_t{16}, size_t{20},
                      size_t{24}, size_t{32}}) {
        std::vector<uint64_t> image = good;
        bytes(image)[at] ^= 0x41;
        EXPECT_EQ(NgramIdxFromImage(image.data(), size), nullptr) << "header byte " << at;
    }
    std::vector<uint64_t> copy = good;
    EXPECT_EQ(NgramIdxFromImage(copy.data(), size - 8), nullptr);
    EXPECT_EQ(NgramIdxFromImage(bytes(copy) + 4, size - 8), nullptr);  // misaligned
    EXPECT_EQ(NgramIdxFromImage(nullptr, size), nullptr);
    EXPECT_EQ(NgramIdxFromImage(copy.data(), 3), nullptr);
    // A verified image still has its header and size checked.
    for (size_t at : {size_t{0}, size_t{4}, size_t{8}, size_t{24}}) {
        std::vector<uint64_t> image = good;
        bytes(image)[at] ^= 0x41;
        EXPECT_EQ(NgramIdxFromVerifiedImage(image.data(), size), nullptr) << "header byte " << at;
    }
    EXPECT_EQ(NgramIdxFromVerifiedImage(copy.data(), size - 8), nullptr);

    // Every slot taken: a missing n-gram would probe forever. The slots
    // follow the header and the model flags.
    const size_t slots_at = 40 + (models.size() + 7) / 8 * 8;
    const size_t slot_count = size_t{1} << (bytes(copy)[8] | bytes(copy)[9] << 8);
    std::vector<uint64_t> full = good;
    for (size_t s = 0; s < slot_count; ++s) {
        unsigned char *slot = bytes(full) + slots_at + 16 * s;
        uint32_t end;
        memcpy(&end, slot + 12, 4);
        if (end == 0) {
            const uint32_t one = 1;
            memset(slot + 8, 0, 4);
            memcpy(slot + 12, &one, 4);
        }
    }
    EXPECT_EQ(NgramIdxFromImage(full.data(), size), nullptr);
    // A slot whose postings end beyond the posting array.
    std::vector<uint64_t> beyond = good;
    for (size_t s = 0; s < slot_count; ++s) {
        unsigned char *slot = bytes(beyond) + slots_at + 16 * s;
        uint32_t begin, end;
        memcpy(&begin, slot + 8, 4);
        memcpy(&end, slot + 12, 4);
        if (end != 0 && begin < 0x80000000u) {
            const uint32_t far = 0x7FFFFFF0u;
            memcpy(slot + 12, &far, 4);
            break;
        }
    }
    EXPECT_EQ(NgramIdxFromImage(beyond.data(), size), nullptr);
    // A posting of a model that does not exist.
    std::vector<uint64_t> stranger = good;
    const size_t postings_at = slots_at + 16 * slot_count;
    const uint16_t model = 999;
    memcpy(bytes(stranger) + postings_at, &model, 2);
    EXPECT_EQ(NgramIdxFromImage(stranger.data(), size), nullptr);
    IndexPtr intact(NgramIdxFromImage(copy.data(), size));
    EXPECT_TRUE(intact);
}

}  // namespace
