// Tests of the .lm profile file: loading rules and the saved format.
#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <random>

#include "ngram_test_util.h"

namespace {

using namespace ngram_test;

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

std::string padding(int lines) {
    std::string text;
    for (int i = 0; i < lines; ++i) text += " 0\n";
    return text;
}

TEST(NgramLmLoad, LoadingRules) {
    const std::string q300(300, 'q');
    const struct {
        std::string text;  // file contents, or "@name" for a file under tests/data
        int result;
        const char *id, *charset;
        std::vector<std::pair<std::string, int32_t>> counts;
    } cases[] = {
        // Comments and empty lines take no rank; a repeated line adds one.
        {"@small.lm", LANG_OK, "en", "1252", {{"e", 1}, {"_t", 2}, {"the", 3}, {"_the_", 4}}},
        {"@crlf.lm", LANG_OK, "fr", "8859-1", {{"e", 1}, {"_d", 2}}},
        {"ID: \t de \t\nCHARSET:\t1252  \r\nab 2\n", LANG_OK, "de", "1252", {{"ab", 1}}},
        {"ID:en\nCHARSET:1252\n", LANG_OK, "en", "1252", {}},
        {"ID:   \nCHARSET:1252\n", LANG_ERR_BADPROFILE, "un", "1252", {}},
        {"ID:\nCHARSET:1252\nab 2\n", LANG_OK, "un", "1252", {{"ab", 1}}},
        {"ab 2\nID:\n", LANG_ERR_BADPROFILE, "un", nullptr, {{"ab", 1}}},
        {"ID:en\nCHARSET: \r\n", LANG_ERR_BADPROFILE, "en", "Unknown", {}},
        {"CHARSET:\nID:en\nab 2\n", LANG_OK, "en", "Unknown", {{"ab", 1}}},
        {"id:en\n", LANG_ERR_BADPROFILE, nullptr, nullptr, {}},  // tags are case-sensitive
        {"a 1\nb 1\na 1\nc 1\n", LANG_OK, nullptr, nullptr, {{"a", 2}, {"b", 2}, {"c", 4}}},
        {"ab 1\nnospace\ncd 1\n", LANG_ERR_BADPROFILE, nullptr, nullptr, {{"ab", 1}, {"cd", 0}}},
        {"abcdefg 7\n", LANG_OK, nullptr, nullptr, {{"abcdefg", 1}}},
        {"ab 2\nabcdefgh 8\ncd 2\n", LANG_ERR_BADPROFILE, nullptr, nullptr, {{"ab", 1}, {"cd", 0}}},
        // A line over 255 bytes is read in pieces; "cd 9" is a line of its own.
        {"ab " + std::string(252, 'x') + "cd 9\nef 2\n",
         LANG_OK,
         nullptr,
         nullptr,
         {{"ab", 1}, {"cd", 2}, {"ef", 3}}},
        {"ID:" + q300 + "\n", LANG_ERR_BADPROFILE, q300.c_str() + 48, nullptr, {}},
        // A zero byte ends the line as the line buffer holds it.
        {std::string("ID:en\0zz\nCHARSET:12\0 52\nab 1\n", 29), LANG_OK, "en", "12", {{"ab", 1}}},
        {std::string("ab 1\nc\0d 1\n", 11), LANG_ERR_BADPROFILE, nullptr, nullptr, {{"ab", 1}}},
        {std::string("\0ab 1\n", 6), LANG_ERR_BADPROFILE, nullptr, nullptr, {{"ab", 0}}},
        {std::string("ab 1\0\ncd 1\n", 11), LANG_OK, nullptr, nullptr, {{"ab", 1}, {"cd", 2}}}};
    TempDir dir;
    for (const auto &c : cases) {
        const bool data = c.text[0] == '@';
        const std::string path = data ? kData + c.text.substr(1) : dir.write("p.lm", c.text);
        Loaded m = load(path);
        SCOPED_TRACE(c.text.substr(0, 40));
        EXPECT_EQ(m.result, c.result);
        EXPECT_STREQ(m.profile->languageId, c.id);
        EXPECT_STREQ(m.profile->charset, c.charset);
        EXPECT_EQ(m.profile->sourcePath, path);
        for (const auto &[key, count] : c.counts) EXPECT_EQ(count_of(m.profile.get(), key), count);
        if (c.counts.empty()) {
            EXPECT_EQ(m.profile->table->nextFree, NGRAM_HASH_BUCKETS);
        }
    }
}

// What loading gives when the file is read with fgets into a 256-byte
// buffer, for files made only of n-gram lines, blank lines and comments.
Loaded load_by_lines(const std::string &path) {
    ProfilePtr profile(NgramPrfNew(nullptr, nullptr, 0));
    FILE *file = fopen(path.c_str(), "r");
    int result = file ? LANG_OK : LANG_ERR_OPEN;
    int32_t lines = 0;
    char line[256];
    while (result == LANG_OK && file && fgets(line, sizeof line, file)) {
        if (line[0] == '#' || line[0] == '\n' || line[0] == '\r') continue;
        const char *space = strchr(line, ' ');
        const int32_t length = space ? static_cast<int32_t>(space - line) : 0;
        if (!space || length > NGRAM_KEY_MAX) {
            result = LANG_ERR_BADPROFILE;
            break;
        }
        result = HashInsert(profile->table, line, length, ++lines);
    }
    if (file) fclose(file);
    return {std::move(profile), result};
}

TEST(NgramLmLoad, PiecesMatchLineByLineReading) {
    // Long lines split into 255-byte pieces at every offset, zero bytes,
    // CR LF endings, comments and a last line without a line feed: the
    // loaded table must equal the one a line-by-line reading builds.
    std::mt19937 rng(17);
    TempDir dir;
    for (int round = 0; round < 200; ++round) {
        std::string text;
        const int count = 1 + static_cast<int>(rng() % 60);
        for (int i = 0; i < count; ++i) {
            const unsigned roll = rng() % 20;
            if (roll == 0) text += "# a comment\n";
            if (roll == 1) text += "\r\n";
            for (int k = 1 + static_cast<int>(rng() % 6); k > 0; --k) {
                text.push_back(static_cast<char>('a' + rng() % 6));
            }
            // A tail that may run past a piece and start the next piece with
            // a key, a space, a zero byte or a line feed.
            const size_t tail = rng() % 4 == 0 ? 200 + rng() % 600 : rng() % 8;
            text.push_back(' ');
            for (size_t k = 0; k < tail; ++k) {
                static const char kTail[] = {'x', 'y', ' ', 'z', '\0', '#', 'w', 'v'};
                text.push_back(kTail[rng() % 8]);
            }
            text += rng() % 7 == 0 ? "\r\n" : "\n";
        }
        if (rng() % 3 == 0) text.pop_back();
        const std::string path = dir.write("r.lm", text);
        const Loaded expected = load_by_lines(path);
        const Loaded loaded = load(path);
        SCOPED_TRACE(round);
        ASSERT_EQ(loaded.result, expected.result);
        expect_same_table(*expected.profile->table, *loaded.profile->table);
    }
}

// The status a load reports is that of the file it read, taken through the
// descriptor it read from; a file that cannot be opened leaves it alone.
TEST(NgramLmLoad, ReportsTheStatusOfTheFileItRead) {
    TempDir dir;
    const std::string path = dir.write("a.lm", "ID:xx\nab 2\n");
    struct stat expected;
    ASSERT_EQ(stat(path.c_str(), &expected), 0);
    ProfilePtr profile(NgramPrfNew(nullptr, nullptr, 0));
    struct stat status {};
    ASSERT_EQ(NgramPrfLoadFile(profile.get(), path.c_str(), &status), LANG_OK);
    EXPECT_EQ(status.st_ino, expected.st_ino);
    EXPECT_EQ(status.st_dev, expected.st_dev);
    EXPECT_EQ(status.st_size, expected.st_size);
    EXPECT_EQ(status.st_mtim.tv_nsec, expected.st_mtim.tv_nsec);
    EXPECT_STREQ(profile->languageId, "xx");
    ProfilePtr missing(NgramPrfNew(nullptr, nullptr, 0));
    struct stat untouched {};
    untouched.st_ino = 12345;
    EXPECT_EQ(NgramPrfLoadFile(missing.get(), dir.file("none.lm").c_str(), &untouched),
              LANG_ERR_OPEN);
    EXPECT_EQ(untouched.st_ino, 12345u);
}

TEST(NgramLmLoad, FailuresAndOutOfMemory) {
    TempDir dir;
    EXPECT_EQ(load(dir.file("missing.lm")).result, LANG_ERR_OPEN);
    EXPECT_EQ(load(dir.path()).result, LANG_ERR_OPEN);
    if (geteuid() != 0) {
        const std::string path = dir.write("locked.lm", "ab 2\n");
        chmod(path.c_str(), 0);
        EXPECT_EQ(load(path).result, LANG_ERR_OPEN);
    }
    const std::string small = kData + "small.lm";
    ProfilePtr profile(NgramPrfNew(nullptr, nullptr, 0));
    EXPECT_EQ(NgramPrfLoad(nullptr, "x.lm"), LANG_ERR_NULL);
    EXPECT_EQ(NgramPrfLoad(profile.get(), nullptr), LANG_ERR_NULL);
    NgramProfile no_table{};
    EXPECT_EQ(NgramPrfLoad(&no_table, small.c_str()), LANG_ERR_NULL);
    vos_free(no_table.sourcePath);
    // Allocations: source path, id, charset.
    for (long n = 0; n < 3; ++n) {
        ProfilePtr fresh(NgramPrfNew(nullptr, nullptr, 0));
        FailAllocAfter fail(n);
        EXPECT_EQ(NgramPrfLoad(fresh.get(), small.c_str()), LANG_ERR_NOMEM) << n;
    }
}

TEST(NgramLmSave, TrainingProfileFormat) {
    TempDir dir;
    // "ab" gives eight n-grams counted once: written in table order, then padding.
    ProfilePtr profile(NgramPrfNew("xx", "cs", 0));
    std::string text = "ab";
    ASSERT_EQ(insert_text(profile.get(), text), LANG_OK);
    std::string want = "ID:xx\nCHARSET:cs\n";
    for (int32_t i = 0; i < profile->table->nextFree; ++i) {
        const NgramHashEntry &e = profile->table->entries[i];
        if (e.count > 0) want += std::string(e.key) + " " + std::to_string(e.length) + "\n";
    }
    want += padding(400 - 8);
    ASSERT_EQ(NgramPrfSave(profile.get(), dir.file("a.lm").c_str()), LANG_OK);
    EXPECT_EQ(ReadFile(dir.file("a.lm")), want);

    // Without id and charset there are no header lines.
    ProfilePtr bare(NgramPrfNew(nullptr, nullptr, 0));
    ASSERT_EQ(NgramPrfSave(bare.get(), dir.file("b.lm").c_str()), LANG_OK);
    EXPECT_EQ(ReadFile(dir.file("b.lm")), padding(400));
}

TEST(NgramLmSave, RankedProfileWritesAtMostFourHundredLines) {
    TempDir dir;
    std::vector<std::pair<std::string, int32_t>> keys;
    for (int n = 0; n < 450; ++n)
        keys.push_back({std::string("m").append(std::to_string(n)), 450 - n});
    ProfilePtr document = ranked_with(keys);
    const std::string path = dir.file("doc.lm");
    ASSERT_EQ(NgramPrfSave(document.get(), path.c_str()), LANG_OK);
    const std::string saved = ReadFile(path);
    EXPECT_EQ(std::count(saved.begin(), saved.end(), '\n'), 400);
    EXPECT_EQ(saved.substr(0, 10), "m0 2\nm1 2\n");
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
    EXPECT_EQ(ReadFile(keep), "ID:old\n");
}

TEST(NgramLmSave, ReplacesTheOldFileOnlyWhenTheNewOneIsComplete) {
    TempDir dir;
    const std::string path = dir.write("xx-cs.lm", "ID:old\n");
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    const auto entries = [&] {
        std::vector<std::string> names;
        for (const auto &entry : std::filesystem::directory_iterator(dir.path()))
            names.push_back(entry.path().filename().string());
        return names;
    };

    // A write that fails half-way (here at a file size limit) keeps the old
    // profile and leaves no temporary file.
    std::string text = "some text to count";
    ProfilePtr profile(NgramPrfNew("xx", "cs", 0));
    ASSERT_EQ(insert_text(profile.get(), text), LANG_OK);
    struct rlimit before;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    struct rlimit small = before;
    small.rlim_cur = 100;
    void (*handler)(int) = signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    errno = 0;
    const int result = NgramPrfSave(profile.get(), path.c_str());
    const int error = errno;
    setrlimit(RLIMIT_FSIZE, &before);
    signal(SIGXFSZ, handler);
    EXPECT_EQ(result, LANG_ERR_OPEN);
    EXPECT_EQ(error, EFBIG);
    EXPECT_EQ(ReadFile(path), "ID:old\n");
    EXPECT_EQ(entries(), std::vector<std::string>{"xx-cs.lm"});

    // A save that succeeds replaces the file and keeps its permissions.
    ProfilePtr again(NgramPrfNew("xx", "cs", 0));
    ASSERT_EQ(insert_text(again.get(), text), LANG_OK);
    ASSERT_EQ(NgramPrfSave(again.get(), path.c_str()), LANG_OK);
    EXPECT_EQ(ReadFile(path).substr(0, 16), "ID:xx\nCHARSET:cs");
    EXPECT_EQ(entries(), std::vector<std::string>{"xx-cs.lm"});
    struct stat status;
    ASSERT_EQ(stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0640u);
}

}  // namespace
