// Tests of the .lm profile file: loading rules and the saved format.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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
using ngram_test::read_file;
using ngram_test::TempDir;

const std::string kData = std::string(GLOTTA_TEST_DATA) + "/ngram/";

struct Loaded {
    ProfilePtr profile;
    int result;
};

Loaded load(const std::string &path) {
    ProfilePtr profile(NgramPrfNew(nullptr, nullptr, 0));
    const int result = NgramPrfLoad(profile.get(), path.c_str());
    return {std::move(profile), result};
}

Loaded load_text(const TempDir &dir, const std::string &text) {
    return load(dir.write("p.lm", text));
}

TEST(NgramLmLoad, HeadersAndRanks) {
    Loaded m = load(kData + "small.lm");
    ASSERT_EQ(m.result, LANG_OK);
    EXPECT_STREQ(m.profile->languageId, "en");
    EXPECT_STREQ(m.profile->charset, "1252");
    EXPECT_EQ(m.profile->sourcePath, kData + "small.lm");
    // Comments and empty lines take no rank.
    EXPECT_EQ(count_of(m.profile.get(), "e"), 1);
    EXPECT_EQ(count_of(m.profile.get(), "_t"), 2);
    EXPECT_EQ(count_of(m.profile.get(), "the"), 3);
    EXPECT_EQ(count_of(m.profile.get(), "_the_"), 4);
    EXPECT_EQ(count_of(m.profile.get(), "x"), 0);
}

TEST(NgramLmLoad, CarriageReturnsAreTolerated) {
    Loaded m = load(kData + "crlf.lm");
    ASSERT_EQ(m.result, LANG_OK);
    EXPECT_STREQ(m.profile->languageId, "fr");
    EXPECT_STREQ(m.profile->charset, "8859-1");
    EXPECT_EQ(count_of(m.profile.get(), "e"), 1);
    EXPECT_EQ(count_of(m.profile.get(), "_d"), 2);
}

TEST(NgramLmLoad, HeaderValuesAreTrimmed) {
    TempDir dir;
    Loaded m = load_text(dir, "ID: \t de \t\nCHARSET:\t1252  \r\nab 2\n");
    ASSERT_EQ(m.result, LANG_OK);
    EXPECT_STREQ(m.profile->languageId, "de");
    EXPECT_STREQ(m.profile->charset, "1252");
}

TEST(NgramLmLoad, HeadersOnlyGiveAnEmptyModel) {
    TempDir dir;
    Loaded m = load_text(dir, "ID:en\nCHARSET:1252\n");
    EXPECT_EQ(m.result, LANG_OK);
    EXPECT_EQ(m.profile->table->nextFree, NGRAM_HASH_BUCKETS);
    ProfilePtr document = document_of("the cat");
    EXPECT_EQ(NgramPrfCompute(document.get(), m.profile.get()), 0.0f);
}

TEST(NgramLmLoad, EmptyIdIsUnknownAndBadUnlessNgramsFollow) {
    TempDir dir;
    Loaded bad = load_text(dir, "ID:   \nCHARSET:1252\n");
    EXPECT_EQ(bad.result, LANG_ERR_BADPROFILE);
    EXPECT_STREQ(bad.profile->languageId, "un");

    Loaded good = load_text(dir, "ID:\nCHARSET:1252\nab 2\n");
    EXPECT_EQ(good.result, LANG_OK);
    EXPECT_STREQ(good.profile->languageId, "un");

    Loaded late = load_text(dir, "ab 2\nID:\n");
    EXPECT_EQ(late.result, LANG_ERR_BADPROFILE);
    EXPECT_EQ(count_of(late.profile.get(), "ab"), 1);
}

TEST(NgramLmLoad, EmptyCharsetIsUnknownAndBadUnlessNgramsFollow) {
    TempDir dir;
    Loaded bad = load_text(dir, "ID:en\nCHARSET: \r\n");
    EXPECT_EQ(bad.result, LANG_ERR_BADPROFILE);
    EXPECT_STREQ(bad.profile->charset, "Unknown");

    Loaded good = load_text(dir, "CHARSET:\nID:en\nab 2\n");
    EXPECT_EQ(good.result, LANG_OK);
    EXPECT_STREQ(good.profile->charset, "Unknown");
}

TEST(NgramLmLoad, HeaderTagsAreCaseSensitive) {
    TempDir dir;
    // "id:en" is an n-gram line: its n-gram is "id:en" cut at the first space,
    // and there is none, so the file is malformed.
    Loaded m = load_text(dir, "id:en\n");
    EXPECT_EQ(m.result, LANG_ERR_BADPROFILE);
    EXPECT_EQ(m.profile->languageId, nullptr);
}

TEST(NgramLmLoad, RepeatedNgramKeepsFirstRankPlusOne) {
    TempDir dir;
    Loaded m = load_text(dir, "a 1\nb 1\na 1\nc 1\n");
    ASSERT_EQ(m.result, LANG_OK);
    EXPECT_EQ(count_of(m.profile.get(), "a"), 2);
    EXPECT_EQ(count_of(m.profile.get(), "b"), 2);
    EXPECT_EQ(count_of(m.profile.get(), "c"), 4);
}

TEST(NgramLmLoad, LongLinesAreReadInPieces) {
    TempDir dir;
    // The first piece holds 255 bytes; the rest of the line, "cd 9", is an
    // n-gram line of its own and takes rank 2.
    const std::string line = "ab " + std::string(252, 'x') + "cd 9\n";
    Loaded m = load_text(dir, line + "ef 2\n");
    ASSERT_EQ(m.result, LANG_OK);
    EXPECT_EQ(count_of(m.profile.get(), "ab"), 1);
    EXPECT_EQ(count_of(m.profile.get(), "cd"), 2);
    EXPECT_EQ(count_of(m.profile.get(), "ef"), 3);

    // A long header keeps its first 252 value bytes; the rest is an n-gram
    // line without a space.
    Loaded id = load_text(dir, "ID:" + std::string(300, 'q') + "\n");
    EXPECT_EQ(id.result, LANG_ERR_BADPROFILE);
    EXPECT_EQ(std::string(id.profile->languageId), std::string(252, 'q'));
}

TEST(NgramLmLoad, LineWithoutSpaceEndsReading) {
    TempDir dir;
    Loaded m = load_text(dir, "ab 1\nnospace\ncd 1\n");
    EXPECT_EQ(m.result, LANG_ERR_BADPROFILE);
    EXPECT_EQ(count_of(m.profile.get(), "ab"), 1);
    EXPECT_EQ(count_of(m.profile.get(), "cd"), 0);
}

TEST(NgramLmLoad, OversizedNgramIsRefused) {
    TempDir dir;
    Loaded seven = load_text(dir, "abcdefg 7\n");
    EXPECT_EQ(seven.result, LANG_OK);
    EXPECT_EQ(count_of(seven.profile.get(), "abcdefg"), 1);

    Loaded eight = load_text(dir, "ab 2\nabcdefgh 8\ncd 2\n");
    EXPECT_EQ(eight.result, LANG_ERR_BADPROFILE);
    EXPECT_EQ(count_of(eight.profile.get(), "ab"), 1);
    EXPECT_EQ(count_of(eight.profile.get(), "cd"), 0);
}

TEST(NgramLmLoad, PaddingLinesStoreAnUnmatchableNgram) {
    TempDir dir;
    Loaded m = load_text(dir, "ID:en\nCHARSET:1252\nth 2\n 0\n 0\n");
    ASSERT_EQ(m.result, LANG_OK);
    EXPECT_EQ(count_of(m.profile.get(), "th"), 1);
    ProfilePtr document = document_of("th");
    // Only the document's own n-grams are looked up; none is empty.
    EXPECT_GT(NgramPrfCompute(document.get(), m.profile.get()), 0.0f);
}

TEST(NgramLmLoad, OpenFailures) {
    TempDir dir;
    EXPECT_EQ(load(dir.file("missing.lm")).result, LANG_ERR_OPEN);
    EXPECT_EQ(load(dir.path()).result, LANG_ERR_OPEN);
    if (geteuid() != 0) {
        const std::string path = dir.write("locked.lm", "ab 2\n");
        chmod(path.c_str(), 0);
        EXPECT_EQ(load(path).result, LANG_ERR_OPEN);
    }
}

TEST(NgramLmLoad, NullArguments) {
    ProfilePtr profile(NgramPrfNew(nullptr, nullptr, 0));
    EXPECT_EQ(NgramPrfLoad(nullptr, "x.lm"), LANG_ERR_NULL);
    EXPECT_EQ(NgramPrfLoad(profile.get(), nullptr), LANG_ERR_NULL);
    NgramProfile no_table{};
    EXPECT_EQ(NgramPrfLoad(&no_table, (kData + "small.lm").c_str()), LANG_ERR_NULL);
    EXPECT_EQ(std::string(no_table.sourcePath), kData + "small.lm");
    vos_free(no_table.sourcePath);
}

TEST(NgramLmLoad, OutOfMemory) {
    const std::string path = kData + "small.lm";
    // Allocations: source path, id, charset.
    for (long n = 0; n < 3; ++n) {
        ProfilePtr profile(NgramPrfNew(nullptr, nullptr, 0));
        FailAllocAfter fail(n);
        EXPECT_EQ(NgramPrfLoad(profile.get(), path.c_str()), LANG_ERR_NOMEM) << n;
    }
}

TEST(NgramLmSave, TrainingProfileFormat) {
    TempDir dir;
    ProfilePtr profile(NgramPrfNew("en", "1252", 0));
    std::string text = "the the the then";
    ASSERT_EQ(NgramPrfInsert(profile.get(), reinterpret_cast<unsigned char *>(text.data()),
                             static_cast<int32_t>(text.size())),
              LANG_OK);
    const std::string path = dir.file("en-1252.lm");
    ASSERT_EQ(NgramPrfSave(profile.get(), path.c_str()), LANG_OK);
    const std::string saved = read_file(path);

    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t nl; (nl = saved.find('\n', start)) != std::string::npos; start = nl + 1) {
        lines.push_back(saved.substr(start, nl - start));
    }
    EXPECT_EQ(start, saved.size());  // every line ends in LF
    ASSERT_EQ(lines.size(), 402u);
    EXPECT_EQ(lines[0], "ID:en");
    EXPECT_EQ(lines[1], "CHARSET:1252");
    // Four 4-count n-grams of "the" come first; the number is the length.
    for (int i = 2; i < 2 + 14; ++i) {
        const std::string &line = lines[static_cast<size_t>(i)];
        const size_t space = line.find(' ');
        ASSERT_NE(space, std::string::npos) << line;
        EXPECT_EQ(line.substr(space + 1), std::to_string(space)) << line;
    }
    int padding = 0;
    for (const std::string &line : lines) padding += line == " 0";
    // "the" and "then" give 22 distinct n-grams.
    EXPECT_EQ(padding, 400 - 22);
    EXPECT_EQ(lines.back(), " 0");
}

TEST(NgramLmSave, EqualCountsKeepTableOrder) {
    TempDir dir;
    ProfilePtr profile(NgramPrfNew("xx", "cs", 0));
    std::string text = "ab";
    ASSERT_EQ(NgramPrfInsert(profile.get(), reinterpret_cast<unsigned char *>(text.data()), 2),
              LANG_OK);
    // All eight n-grams count once; they are written in table order.
    std::vector<std::string> expected;
    for (int32_t i = 0; i < profile->table->nextFree; ++i) {
        const NgramHashEntry &e = profile->table->entries[i];
        if (e.count > 0) expected.push_back(std::string(e.key) + " " + std::to_string(e.length));
    }
    ASSERT_EQ(expected.size(), 8u);
    const std::string path = dir.file("xx-cs.lm");
    ASSERT_EQ(NgramPrfSave(profile.get(), path.c_str()), LANG_OK);
    std::string want = "ID:xx\nCHARSET:cs\n";
    for (const std::string &line : expected) want += line + "\n";
    for (int i = 8; i < 400; ++i) want += " 0\n";
    EXPECT_EQ(read_file(path), want);
}

TEST(NgramLmSave, WithoutHeadersWritesOnlyNgramLines) {
    TempDir dir;
    ProfilePtr profile(NgramPrfNew(nullptr, nullptr, 0));
    const std::string path = dir.file("bare.lm");
    ASSERT_EQ(NgramPrfSave(profile.get(), path.c_str()), LANG_OK);
    std::string want;
    for (int i = 0; i < 400; ++i) want += " 0\n";
    EXPECT_EQ(read_file(path), want);
}

TEST(NgramLmSave, RankedProfileRoundTripScoresOne) {
    TempDir dir;
    std::string text;
    for (int i = 0; i < 60; ++i) {
        text += "lorem ipsum dolor sit amet consectetur adipiscing elit sed do eiusmod ";
        text +=
            "tempor incididunt ut labore et dolore magna aliqua " + std::string(1, 'a' + i % 26);
        text += std::string(1, 'b' + i % 20) + " ";
    }
    ProfilePtr document = document_of(text);
    const std::string path = dir.file("doc.lm");
    ASSERT_EQ(NgramPrfSave(document.get(), path.c_str()), LANG_OK);
    Loaded model = load(path);
    ASSERT_EQ(model.result, LANG_OK);
    const std::string saved = read_file(path);
    int ranked = 0;
    for (int b = 0; b < NGRAM_RANK_LISTS; ++b) ranked += document->rankLists[b][0];
    ASSERT_GT(ranked, 100);
    EXPECT_EQ(std::count(saved.begin(), saved.end(), '\n'), std::min(ranked, 400));
    EXPECT_EQ(NgramPrfCompute(document.get(), model.profile.get()), 1.0f);
}

TEST(NgramLmSave, RankedProfileWritesAtMostFourHundredLines) {
    TempDir dir;
    // 450 n-grams with counts 450 down to 1, one per rank list.
    ProfilePtr document(NgramPrfNew(nullptr, nullptr, 1));
    for (int n = 0; n < 450; ++n) {
        const std::string key = "m" + std::to_string(n);
        ASSERT_EQ(
            HashInsert(document->table, key.data(), static_cast<int32_t>(key.size()), 450 - n),
            LANG_OK);
    }
    ASSERT_EQ(NgramPrfSort(document.get()), LANG_OK);
    const std::string path = dir.file("doc.lm");
    ASSERT_EQ(NgramPrfSave(document.get(), path.c_str()), LANG_OK);
    const std::string saved = read_file(path);
    EXPECT_EQ(std::count(saved.begin(), saved.end(), '\n'), 400);
    EXPECT_EQ(saved.substr(0, 6), "m0 2\nm");
    Loaded model = load(path);
    ASSERT_EQ(model.result, LANG_OK);
    EXPECT_EQ(count_of(model.profile.get(), "m399"), 400);
    EXPECT_EQ(count_of(model.profile.get(), "m400"), 0);
    EXPECT_EQ(NgramPrfCompute(document.get(), model.profile.get()), 1.0f);
}

TEST(NgramLmSave, Failures) {
    TempDir dir;
    ProfilePtr profile(NgramPrfNew("en", "1252", 0));
    EXPECT_EQ(NgramPrfSave(nullptr, dir.file("a.lm").c_str()), LANG_ERR_NULL);
    EXPECT_EQ(NgramPrfSave(profile.get(), nullptr), LANG_ERR_NULL);
    EXPECT_EQ(NgramPrfSave(profile.get(), dir.file("no/such/dir.lm").c_str()), LANG_ERR_OPEN);
    EXPECT_EQ(NgramPrfSave(profile.get(), dir.path().c_str()), LANG_ERR_OPEN);

    // A profile that cannot be written leaves an existing file alone.
    const std::string keep = dir.write("keep.lm", "ID:old\n");
    NgramProfile no_table{};
    EXPECT_EQ(NgramPrfSave(&no_table, keep.c_str()), LANG_ERR_NULL);
    ProfilePtr ranked(NgramPrfNew(nullptr, nullptr, 1));
    vos_free(ranked->rankLists);
    ranked->rankLists = nullptr;
    EXPECT_EQ(NgramPrfSave(ranked.get(), keep.c_str()), LANG_ERR_NULL);
    EXPECT_EQ(read_file(keep), "ID:old\n");
}

TEST(NgramLmSave, FullDiskIsReported) {
    if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
    ProfilePtr profile(NgramPrfNew("en", "1252", 0));
    EXPECT_EQ(NgramPrfSave(profile.get(), "/dev/full"), LANG_ERR_OPEN);
}

}  // namespace
