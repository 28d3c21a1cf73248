// Tests of the reusable document scratch: every document it builds equals the
// profile built afresh, whatever documents came before.
#include <stdint.h>
#include <string.h>

#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "engine/lang_api.h"
#include "ngram/doc_pool.h"
#include "ngram/profile.h"
#include "ngram_test_util.h"

namespace {

using ngram_test::FailAllocAfter;
using ngram_test::ProfilePtr;

struct ScratchDeleter {
    void operator()(NgramDocScratch *scratch) const { NgramPrfScratchDestroy(scratch); }
};
using ScratchPtr = std::unique_ptr<NgramDocScratch, ScratchDeleter>;

std::string random_text(std::mt19937 &rng, size_t size) {
    static const std::string alphabet = "abcdeFGHIJ\xE0\xE9\xF6 .,-_@12\n";
    std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
    std::string text;
    while (text.size() < size) text.push_back(alphabet[pick(rng)]);
    return text;
}

// The table in use and every rank list member must agree.
void expect_same_profile(const NgramProfile &fresh, const NgramProfile &reused) {
    ngram_test::expect_same_table(*fresh.table, *reused.table);
    for (int32_t l = 0; l < NGRAM_RANK_LISTS; ++l) {
        const int32_t *p = fresh.rankLists[l];
        const int32_t *q = reused.rankLists[l];
        ASSERT_EQ(p[0], q[0]) << "list " << l;
        for (int32_t k = 1; k <= p[0]; ++k) ASSERT_EQ(p[k], q[k]) << "list " << l;
    }
}

// A profile of `text` built afresh; `text` is folded in place.
ProfilePtr fresh_of(std::string &text) {
    ProfilePtr fresh(NgramPrfNew(nullptr, nullptr, 1));
    EXPECT_EQ(LANG_OK, ngram_test::insert_text(fresh.get(), text));
    EXPECT_EQ(LANG_OK, NgramPrfSort(fresh.get()));
    return fresh;
}

int build(NgramDocScratch *scratch, std::string &text, const NgramProfile **out) {
    return NgramPrfBuildDocument(scratch, reinterpret_cast<unsigned char *>(text.data()),
                                 static_cast<int32_t>(text.size()), out);
}

// The n-grams NgramPrfBuildTop gives for `text` must be those scoring
// visits in `fresh`, in the same order; the caller's buffer must be folded as
// `folded` is.
void expect_same_top(NgramDocScratch *scratch, std::string text, const NgramProfile &fresh,
                     const std::string &folded) {
    NgramTop top;
    ASSERT_EQ(LANG_OK, NgramPrfBuildTop(scratch, reinterpret_cast<unsigned char *>(text.data()),
                                        static_cast<int32_t>(text.size()), &top));
    ASSERT_EQ(folded, text);
    const NgramHashEntry *expected[NGRAM_COMPARE_DEPTH];
    ASSERT_EQ(NgramPrfTopNgrams(&fresh, expected), top.count);
    for (int32_t p = 0; p < top.count; ++p) {
        ASSERT_EQ(expected[p]->length, top.lengths[p]) << "position " << p;
        uint64_t key = 0;
        memcpy(&key, expected[p]->key, static_cast<size_t>(expected[p]->length));
        ASSERT_EQ(key, top.keys[p]) << "position " << p;
    }
}

// Builds `text` with the scratch and compares it with a fresh profile, the
// folded caller buffers included; the same for the n-grams that scoring
// compares, worked out in the same scratch beforehand.
void expect_fresh_equal(NgramDocScratch *scratch, std::string text) {
    std::string fresh_text = text;
    const ProfilePtr fresh = fresh_of(fresh_text);
    expect_same_top(scratch, text, *fresh, fresh_text);
    const NgramProfile *reused = nullptr;
    ASSERT_EQ(LANG_OK, build(scratch, text, &reused));
    ASSERT_NE(reused, nullptr);
    ASSERT_EQ(fresh_text, text) << "the caller's buffer is folded the same way";
    expect_same_profile(*fresh, *reused);
}

TEST(NgramDocScratch, EveryDocumentEqualsAFreshProfile) {
    ScratchPtr scratch(NgramPrfScratchNew());
    ASSERT_TRUE(scratch);
    std::mt19937 rng(7);
    // Small and large documents in turn, so that later ones meet a table and
    // a finder grown by earlier ones; an empty one and one-byte words too.
    const std::vector<size_t> sizes = {2048, 64, 0, 30000, 5, 2048, 300, 120000, 1, 2048};
    for (size_t size : sizes) expect_fresh_equal(scratch.get(), random_text(rng, size));
}

// Words of every length from 1 to 9 bytes meet each edge of the n-gram
// window (a word shorter than 3 has no 5-gram, the closing pad ends n-grams
// of every length), with capitals, '_' and bytes above 0x7F among them.
TEST(NgramDocScratch, WordsOfEveryShortLengthEqualAFreshProfile) {
    ScratchPtr scratch(NgramPrfScratchNew());
    ASSERT_TRUE(scratch);
    std::mt19937 rng(19);
    const std::string letters = "aB_\xE9\xC9z@~\x7F\xFF";
    for (int round = 0; round < 200; ++round) {
        std::string text;
        for (int w = static_cast<int>(rng() % 12); w >= 0; --w) {
            for (int n = 1 + static_cast<int>(rng() % 9); n > 0; --n) {
                text.push_back(letters[rng() % letters.size()]);
            }
            text.push_back(" .\n1"[rng() % 4]);
        }
        if (rng() % 2) text.pop_back();  // a word that ends the text
        expect_fresh_equal(scratch.get(), text);
    }
}

// Many documents of natural-looking text, from a few bytes to several
// kilobytes, one after another; and words of random bytes, which have about
// five new n-grams per byte, so that the count outgrows its first table in
// the middle of a word.
TEST(NgramDocScratch, ManyDocumentsAndFastGrowingOnesEqualFreshProfiles) {
    ScratchPtr scratch(NgramPrfScratchNew());
    ASSERT_TRUE(scratch);
    std::mt19937 rng(23);
    std::vector<std::string> vocabulary;
    for (int w = 0; w < 400; ++w) {
        std::string word;
        for (int n = 1 + static_cast<int>(rng() % 10); n > 0; --n) {
            word.push_back("etaoinsrhldcumfpgwybvkxjqzETAOIN\xE4\xF6\xFC\xDF"[rng() % 36]);
        }
        vocabulary.push_back(word);
    }
    for (int round = 0; round < 150; ++round) {
        std::string text;
        const size_t size = round % 10 == 9 ? 3000 + rng() % 9000 : rng() % 2500;
        if (round == 149) {
            // A long text of short words ending in one long word.
            while (text.size() < 15000) text += vocabulary[rng() % vocabulary.size()] + " ";
            std::uniform_int_distribution<int> byte(0x40, 0xFF);
            for (int i = 0; i < 10000; ++i) text.push_back(static_cast<char>(byte(rng)));
        } else if (round % 7 == 3) {
            std::uniform_int_distribution<int> byte(0x40, 0xFF);
            while (text.size() < size) text.push_back(static_cast<char>(byte(rng)));
        } else {
            while (text.size() < size) {
                const double u = std::uniform_real_distribution<double>(0.0, 1.0)(rng);
                text += vocabulary[static_cast<size_t>(u * u * u * vocabulary.size())];
                text += ", "[rng() % 2];
            }
        }
        expect_fresh_equal(scratch.get(), text);
        if (HasFatalFailure()) return;
    }
}

TEST(NgramDocScratch, EqualScoresAgainstAModel) {
    ScratchPtr scratch(NgramPrfScratchNew());
    ASSERT_TRUE(scratch);
    std::mt19937 rng(11);
    ProfilePtr model(NgramPrfNew(nullptr, nullptr, 0));
    const std::string sample = random_text(rng, 4000);
    std::string sample_copy = sample;
    ProfilePtr training = fresh_of(sample_copy);
    const NgramHashEntry *top[NGRAM_COMPARE_DEPTH];
    const int32_t lines = NgramPrfTopNgrams(training.get(), top);
    ASSERT_GT(lines, 0);
    for (int32_t p = 0; p < lines; ++p) {
        ASSERT_EQ(LANG_OK, HashInsert(model->table, top[p]->key, top[p]->length, p + 1));
    }
    for (int round = 0; round < 4; ++round) {
        std::string text = random_text(rng, 1500 + 700 * round);
        std::string copy = text;
        ProfilePtr fresh = fresh_of(copy);
        const NgramProfile *reused = nullptr;
        ASSERT_EQ(LANG_OK, build(scratch.get(), text, &reused));
        EXPECT_EQ(NgramPrfCompute(fresh.get(), model.get()), NgramPrfCompute(reused, model.get()));
    }
}

TEST(NgramDocScratch, NullArgumentsAreRefused) {
    ScratchPtr scratch(NgramPrfScratchNew());
    ASSERT_TRUE(scratch);
    unsigned char text[] = "hello";
    const NgramProfile *out = reinterpret_cast<const NgramProfile *>(&text);
    EXPECT_EQ(LANG_ERR_NULL, NgramPrfBuildDocument(nullptr, text, 5, &out));
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(LANG_ERR_NULL, NgramPrfBuildDocument(scratch.get(), nullptr, 5, &out));
    EXPECT_EQ(LANG_ERR_NULL, NgramPrfBuildDocument(scratch.get(), text, 5, nullptr));
    NgramTop top;
    top.count = 7;
    EXPECT_EQ(LANG_ERR_NULL, NgramPrfBuildTop(nullptr, text, 5, &top));
    EXPECT_EQ(top.count, 0);
    EXPECT_EQ(LANG_ERR_NULL, NgramPrfBuildTop(scratch.get(), nullptr, 5, &top));
    EXPECT_EQ(LANG_ERR_NULL, NgramPrfBuildTop(scratch.get(), text, 5, nullptr));
    NgramPrfScratchDestroy(nullptr);
}

TEST(NgramDocScratch, CreationWithoutMemoryGivesNull) {
    for (long n = 0; n < 6; ++n) {
        FailAllocAfter fail(n);
        NgramDocScratch *scratch = NgramPrfScratchNew();
        if (scratch) {
            NgramPrfScratchDestroy(scratch);
            break;
        }
    }
}

TEST(NgramDocScratch, ReusableAfterAFailedBuild) {
    ScratchPtr scratch(NgramPrfScratchNew());
    ASSERT_TRUE(scratch);
    std::mt19937 rng(3);
    std::string big = random_text(rng, 200000);
    {
        // The table must grow for this text; without memory the build fails.
        FailAllocAfter fail(0);
        const NgramProfile *out = nullptr;
        EXPECT_EQ(LANG_ERR_NOMEM, build(scratch.get(), big, &out));
        EXPECT_EQ(out, nullptr);
    }
    expect_fresh_equal(scratch.get(), random_text(rng, 2048));
}

// A document that is one word as long as a text can be (INT32_MAX - 1 bytes,
// as a file read at the largest detection size gives) is refused for memory
// like any word too long to stage, and the scratch serves the next document.
TEST(NgramDocScratch, AWordAsLongAsTheLongestTextIsRefused) {
    ScratchPtr scratch(NgramPrfScratchNew());
    ASSERT_TRUE(scratch);
    {
        std::string word(INT32_MAX - 1, 'a');
        NgramTop top;
        EXPECT_EQ(LANG_ERR_NOMEM,
                  NgramPrfBuildTop(scratch.get(), reinterpret_cast<unsigned char *>(word.data()),
                                   static_cast<int32_t>(word.size()), &top));
    }
    std::mt19937 rng(7);
    expect_fresh_equal(scratch.get(), random_text(rng, 2048));
}

// Memory running out anywhere in a large document (the finder's first block,
// its growth, the table's growth) leaves a scratch whose next documents still
// equal fresh profiles, and a large document that did get built is right too.
TEST(NgramDocScratch, FailuresDuringGrowthLeaveItUsable) {
    std::mt19937 rng(5);
    const std::string small = random_text(rng, 2048);
    const std::string big = random_text(rng, 150000);
    std::string small_copy = small, big_copy = big;
    const ProfilePtr fresh_small = fresh_of(small_copy);
    const ProfilePtr fresh_big = fresh_of(big_copy);
    for (long n = 0; n < 8; ++n) {
        ScratchPtr scratch(NgramPrfScratchNew());
        ASSERT_TRUE(scratch);
        for (int round = 0; round < 2; ++round) {
            std::string text = small;
            const NgramProfile *out = nullptr;
            ASSERT_EQ(LANG_OK, build(scratch.get(), text, &out));
            expect_same_profile(*fresh_small, *out);
            if (round == 1) break;
            std::string copy = big;
            int rc;
            {
                FailAllocAfter fail(n);
                rc = build(scratch.get(), copy, &out);
            }
            if (rc == LANG_OK) {
                expect_same_profile(*fresh_big, *out);
            } else {
                EXPECT_EQ(LANG_ERR_NOMEM, rc) << "after " << n << " allocations";
            }
        }
    }
}

}  // namespace

// The pool hands each taker its own scratch, keeps what it is given back up
// to its limit and builds anew beyond it.
TEST(DocPool, TakesOwnScratchesAndKeepsAtMostItsLimit) {
    NgramDocPool *pool = NgramPoolNew(2);
    ASSERT_NE(pool, nullptr);
    NgramDocScratch *a = NgramPoolTake(pool), *b = NgramPoolTake(pool), *c = NgramPoolTake(pool);
    ASSERT_TRUE(a && b && c);
    EXPECT_TRUE(a != b && b != c && a != c);
    NgramPoolGive(pool, a);
    NgramPoolGive(pool, b);
    NgramPoolGive(pool, c);  // beyond the limit: destroyed
    NgramPoolGive(pool, nullptr);
    EXPECT_EQ(NgramPoolIdle(pool), 2);
    NgramDocScratch *again = NgramPoolTake(pool);
    EXPECT_TRUE(again == a || again == b);
    std::string text = "reused scratches build the same profiles";
    expect_fresh_equal(again, text);
    NgramPoolGive(pool, again);
    NgramPoolDestroy(pool);
    NgramPoolDestroy(nullptr);
    EXPECT_EQ(NgramPoolTake(nullptr), nullptr);
    NgramPoolGive(nullptr, NgramPrfScratchNew());  // destroyed, not leaked
}

// A thread gets back the scratch it gave back last, even when another
// thread's is on top: a scratch that hops between threads is cold in the
// cache of every core it lands on.
TEST(DocPool, HandsEachThreadTheScratchItGaveBack) {
    NgramDocPool *pool = NgramPoolNew(4);
    ASSERT_NE(pool, nullptr);
    NgramDocScratch *mine = NgramPoolTake(pool);
    NgramDocScratch *theirs = nullptr;
    std::thread([&] { theirs = NgramPoolTake(pool); }).join();
    ASSERT_TRUE(mine && theirs && mine != theirs);
    NgramPoolGive(pool, mine);
    std::thread other([&] {
        NgramPoolGive(pool, theirs);  // now on top of the idle ones
    });
    other.join();
    EXPECT_EQ(NgramPoolTake(pool), mine);
    // With none of its own idle, a thread takes any.
    NgramDocScratch *any = nullptr;
    std::thread([&] { any = NgramPoolTake(pool); }).join();
    EXPECT_EQ(any, theirs);
    NgramPoolGive(pool, mine);
    NgramPoolGive(pool, any);
    EXPECT_EQ(NgramPoolIdle(pool), 2);
    NgramPoolDestroy(pool);
}
