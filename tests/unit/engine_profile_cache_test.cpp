// Tests of the profile cache: a start-up from the cache loads the same
// profiles, numbers and scores as a normal load, and every cache that does
// not match (stale, changed list, damaged, truncated, unwritable) falls back
// to a normal load.
#include <gtest/gtest.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <fstream>
#include <chrono>
#include <random>
#include <string>
#include <vector>

#include "engine/lang_context.h"
#include "engine/langlist.h"
#include "engine/profile_cache.h"
#include "engine_test_support.h"
#include "ngram/model_index.h"

using glotta_test::EnvOverride;
using glotta_test::ReadFile;
using glotta_test::TempDir;
namespace fs = std::filesystem;

namespace {

constexpr int kProfiles = PROFILE_CACHE_MIN_PROFILES + 4;

std::string random_word(std::mt19937 &rng, const std::string &alphabet) {
    std::string word;
    for (int n = 2 + static_cast<int>(rng() % 6); n > 0; --n)
        word.push_back(alphabet[rng() % alphabet.size()]);
    return word;
}

// A profile of 400 n-gram lines over its own skewed alphabet, with now and
// then a repeated line, as trained profiles have.
std::string random_profile(std::mt19937 &rng, int number) {
    std::string alphabet = "abcdefghijklmnopqrstuvwxyz\xE4\xF6\xFC\xE9";
    std::shuffle(alphabet.begin(), alphabet.end(), rng);
    alphabet.resize(10 + rng() % 10);
    std::string text = "ID:l" + std::to_string(number) +
                       "\nCHARSET:" + (number % 3 == 0 ? "utf8" : "1252") + "\n# comment\n";
    std::vector<std::string> lines;
    while (lines.size() < 400) {
        std::string word = "_" + random_word(rng, alphabet) + "_";
        const size_t n = 1 + rng() % 5;
        const size_t at = rng() % word.size();
        std::string ngram = word.substr(at, n);
        lines.push_back(ngram);
        if (rng() % 40 == 0) lines.push_back(ngram);
    }
    for (const std::string &line : lines) text += line + " " + std::to_string(line.size()) + "\n";
    return text;
}

struct Snapshot {
    std::vector<std::string> rows;  // per profile: path, id, charset, numbers
    std::vector<uint32_t> scores;   // bits of every document's score per profile
    bool operator==(const Snapshot &) const = default;
};

class ProfileCacheTest : public testing::Test {
  protected:
    void SetUp() override {
        ProfileCacheSettleSeconds(0);
        std::mt19937 rng(15);
        std::string list = "# list\nminscore: 0.1\n";
        for (int i = 0; i < kProfiles; ++i) {
            const std::string name = "p" + std::to_string(i) + ".lm";
            data_.write(name, random_profile(rng, i));
            list += name + "\n";
            names_.push_back(name);
        }
        data_.write("langlist.cfg", list);
        for (int d = 0; d < 20; ++d) {
            std::string doc;
            std::string alphabet = "abcdefghijklmnopqrstuvwxyz\xE4\xF6\xFC";
            while (doc.size() < 300 + 100 * static_cast<size_t>(d))
                doc += random_word(rng, alphabet) + " ";
            documents_.push_back(doc);
        }
    }
    void TearDown() override {
        LangClose(ctx_);
        ProfileCacheSettleSeconds(-1);
    }

    // Start-up's loading of the language list into a fresh context, its
    // allocations failing after the first `failAfter` when that is not -1.
    int load(long failAfter = -1) {
        LangClose(ctx_);
        ctx_ = static_cast<LangContext *>(vos_calloc(1, sizeof(LangContext)));
        ctx_->dataPath = strdup_vos(data_.str());
        vos_fail_alloc_after(failAfter);
        const int rc = LoadLangData(ctx_);
        vos_fail_alloc_after(-1);
        return rc;
    }
    static char *strdup_vos(const std::string &text) {
        char *copy = static_cast<char *>(vos_malloc(text.size() + 1));
        memcpy(copy, text.c_str(), text.size() + 1);
        return copy;
    }
    bool cached() const { return ProfileCacheInUse(ctx_); }

    std::vector<fs::path> cache_files() const {
        std::vector<fs::path> files;
        if (!fs::exists(cache_.path() / "glotta")) return files;
        for (const auto &entry : fs::directory_iterator(cache_.path() / "glotta"))
            files.push_back(entry.path());
        return files;
    }
    std::string cache_file() const {
        const std::vector<fs::path> files = cache_files();
        return files.size() == 1 ? files[0].string() : "";
    }

    Snapshot snapshot() const {
        Snapshot s;
        for (int32_t i = 0; i < ctx_->profileCount; ++i) {
            const NgramProfile *p = ctx_->profiles[i];
            s.rows.push_back(std::string(p->sourcePath) + "|" +
                             (p->languageId ? p->languageId : "(null)") + "|" +
                             (p->charset ? p->charset : "(null)") + "|" +
                             std::to_string(ctx_->profileIds[i]->langEnum) + "|" +
                             std::to_string(ctx_->profileIds[i]->charsetEnum));
            // Cached profiles keep no table: the index alone scores them.
            EXPECT_EQ(p->table == nullptr, cached());
        }
        NgramDocScratch *scratch = NgramPrfScratchNew();
        for (const std::string &doc : documents_) {
            std::string text = doc;
            const NgramProfile *document = nullptr;
            EXPECT_EQ(NgramPrfBuildDocument(scratch, reinterpret_cast<unsigned char *>(text.data()),
                                            static_cast<int32_t>(text.size()), &document),
                      LANG_OK);
            std::vector<float> batch(static_cast<size_t>(ctx_->profileCount));
            EXPECT_EQ(NgramIdxScore(ctx_->modelIndex, document, nullptr, batch.data()), LANG_OK);
            for (int32_t i = 0; i < ctx_->profileCount; ++i) {
                const uint32_t score = std::bit_cast<uint32_t>(batch[static_cast<size_t>(i)]);
                if (!cached()) {
                    EXPECT_EQ(score, std::bit_cast<uint32_t>(
                                         NgramPrfCompute(document, ctx_->profiles[i])));
                }
                s.scores.push_back(score);
            }
        }
        NgramPrfScratchDestroy(scratch);
        return s;
    }

    // Loads, from the cache when `fromCache` or else normally, and gives the
    // snapshot.
    Snapshot reload(bool fromCache) {
        SCOPED_TRACE(fromCache ? "load from the cache" : "normal load");
        EXPECT_EQ(load(), LANG_OK);
        EXPECT_EQ(cached(), fromCache);
        return snapshot();
    }
    // Loads normally (writing the cache), then from the cache, and checks
    // both give the same snapshot, which is returned.
    Snapshot normal_then_cached() {
        const Snapshot normal = reload(false);
        EXPECT_EQ(reload(true), normal);
        return normal;
    }

    TempDir data_;
    TempDir cache_;
    EnvOverride xdg_{"XDG_CACHE_HOME", cache_.str()};
    std::vector<std::string> names_;
    std::vector<std::string> documents_;
    LangContext *ctx_ = nullptr;
};

TEST_F(ProfileCacheTest, CachedStartEqualsNormalLoad) {
    const Snapshot normal = normal_then_cached();
    ASSERT_EQ(normal.rows.size(), static_cast<size_t>(kProfiles));
    EXPECT_EQ(cache_files().size(), 1u);
    // Nothing is written next to the language data.
    EXPECT_FALSE(fs::exists(data_.path() / "glotta"));
    size_t data_files = 0;
    for (const auto &entry : fs::directory_iterator(data_.path()))
        data_files += !entry.is_directory();
    EXPECT_EQ(data_files, static_cast<size_t>(kProfiles) + 1);
    // The settings always come from the list itself.
    EXPECT_FLOAT_EQ(ctx_->minScore, 0.1f);
}

TEST_F(ProfileCacheTest, ChangedProfileMakesTheCacheStale) {
    normal_then_cached();
    // Same size, other content: the times tell.
    std::string text = ReadFile(data_.file("p7.lm"));
    const size_t at = text.find("\n", text.find("CHARSET:")) + 1;
    std::swap(text[at], text[text.find('\n', at) - 3]);
    data_.write("p7.lm", text);
    normal_then_cached();

    // A file replaced by another one (a new inode) with the same times.
    const fs::path p3 = data_.path() / "p3.lm";
    const auto time = fs::last_write_time(p3);
    fs::copy_file(data_.path() / "p4.lm", data_.path() / "tmp");
    fs::rename(data_.path() / "tmp", p3);
    fs::last_write_time(p3, time);
    EXPECT_EQ(load(), LANG_OK);
    EXPECT_FALSE(cached());
    EXPECT_STREQ(ctx_->profiles[3]->languageId, "l4");
}

// Names with directories or leading slashes lead where a normal load reads,
// and a change there makes the cache stale too.
TEST_F(ProfileCacheTest, ProfilesInSubdirectoriesAreCheckedWhereTheyAre) {
    data_.write("sub/q.lm", ReadFile(data_.file("p2.lm")));
    data_.write("langlist.cfg", ReadFile(data_.file("langlist.cfg")) + "sub/q.lm\n//p5.lm\n");
    const Snapshot normal = normal_then_cached();
    ASSERT_EQ(normal.rows.size(), static_cast<size_t>(kProfiles) + 2);
    EXPECT_EQ(std::string(ctx_->profiles[kProfiles + 1]->sourcePath), data_.str() + "///p5.lm");
    for (const char *changed : {"sub/q.lm", "p5.lm"}) {
        SCOPED_TRACE(changed);
        data_.write(changed, ReadFile(data_.file("p9.lm")));
        EXPECT_NE(normal_then_cached(), normal);
    }
}

TEST_F(ProfileCacheTest, ChangedListLoadsNormally) {
    normal_then_cached();
    struct Case {
        const char *what;
        std::vector<std::string> names;
    };
    std::vector<std::string> swapped = names_;
    std::swap(swapped[0], swapped[1]);
    std::vector<std::string> shorter(names_.begin() + 1, names_.end());
    std::vector<std::string> twice = names_;
    twice.push_back(names_[5]);
    for (const Case &c : {Case{"two names swapped", swapped}, Case{"one name less", shorter},
                          Case{"a name twice", twice}}) {
        SCOPED_TRACE(c.what);
        std::string list;
        for (const std::string &name : c.names) list += name + "\n";
        data_.write("langlist.cfg", list);
        const Snapshot normal = normal_then_cached();
        ASSERT_EQ(normal.rows.size(), c.names.size());
        EXPECT_EQ(normal.rows[0].substr(0, normal.rows[0].find('|')), data_.file(c.names[0]));
    }
}

TEST_F(ProfileCacheTest, DamagedOrTruncatedCacheLoadsNormally) {
    const Snapshot normal = normal_then_cached();
    const std::string path = cache_file();
    ASSERT_FALSE(path.empty());
    const std::string good = ReadFile(path);
    std::mt19937 rng(7);
    struct Case {
        std::string what;
        std::string bytes;
    };
    std::vector<Case> cases = {{"empty", ""},
                               {"header only", good.substr(0, 64)},
                               {"half", good.substr(0, good.size() / 2)},
                               {"last word cut", good.substr(0, good.size() - 8)},
                               {"one byte more", good + "x"},
                               {"garbage", std::string(good.size(), '\x5A')}};
    // The image (its size in the header) and the zeros that pad the file to
    // a multiple of 2 MiB.
    uint64_t image = 0;
    memcpy(&image, good.data() + 16, sizeof image);
    ASSERT_LT(image, good.size());
    EXPECT_EQ(good.size() % (2 << 20), 0u);
    EXPECT_EQ(good.find_first_not_of('\0', image), std::string::npos);
    cases.push_back({"image alone", good.substr(0, image)});
    for (size_t at : {size_t{3}, size_t{12}, size_t{20}, size_t{70}, size_t{200}, image / 3,
                      image / 2, image - 1}) {
        std::string bytes = good;
        bytes[at] = static_cast<char>(bytes[at] ^ (1 << (rng() % 8)));
        cases.push_back({"bit flipped at " + std::to_string(at), bytes});
    }
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        { std::ofstream(path, std::ios::binary | std::ios::trunc) << c.bytes; }
        ProfileCacheSettleSeconds(1000000);  // keep the damaged file in place
        EXPECT_EQ(reload(false), normal);
        ProfileCacheSettleSeconds(0);
    }
    // The next normal load replaces the damaged file.
    EXPECT_EQ(load(), LANG_OK);
    EXPECT_EQ(reload(true), normal);
    // The padding is no part of the image: whatever it holds changes nothing.
    std::string padded = good;
    padded.back() = 'x';
    { std::ofstream(cache_file(), std::ios::binary | std::ios::trunc) << padded; }
    EXPECT_EQ(reload(true), normal);
}

TEST_F(ProfileCacheTest, UnwritableCacheDirectoryLoadsNormally) {
    // A cache directory that cannot be made (a file is in the way) works as
    // root too.
    cache_.write("file", "x");
    EnvOverride xdg("XDG_CACHE_HOME", cache_.file("file") + "/below");
    EXPECT_EQ(load(), LANG_OK);
    EXPECT_EQ(load(), LANG_OK);
    EXPECT_FALSE(cached());
    EXPECT_EQ(ctx_->profileCount, kProfiles);
    {
        EnvOverride none("XDG_CACHE_HOME", std::nullopt);
        EnvOverride home("HOME", std::nullopt);
        EXPECT_EQ(load(), LANG_OK);
        EXPECT_FALSE(cached());
    }
    if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only directories";
    fs::create_directories(cache_.path() / "ro");
    fs::permissions(cache_.path() / "ro", fs::perms::owner_read | fs::perms::owner_exec);
    EnvOverride ro("XDG_CACHE_HOME", cache_.file("ro"));
    EXPECT_EQ(load(), LANG_OK);
    EXPECT_EQ(load(), LANG_OK);
    EXPECT_FALSE(cached());
}

// A cache in a directory that others may write to, or a file of another
// user, could have been prepared by someone else: it is never used.
TEST_F(ProfileCacheTest, CacheOthersCouldHaveWrittenIsNotUsed) {
    const Snapshot normal = normal_then_cached();
    const fs::path dir = cache_.path() / "glotta";
    for (const fs::perms others : {fs::perms::group_write, fs::perms::others_write}) {
        fs::permissions(dir, fs::perms::owner_all | others);
        EXPECT_EQ(reload(false), normal);
    }
    fs::permissions(dir, fs::perms::owner_all);
    EXPECT_EQ(load(), LANG_OK);
    EXPECT_TRUE(cached());
    if (geteuid() != 0) GTEST_SKIP() << "only root can give a file away";
    ASSERT_EQ(chown(cache_file().c_str(), 65534, 65534), 0);
    EXPECT_EQ(reload(false), normal);
}

TEST_F(ProfileCacheTest, ReadOnlyDataDirectoryIsCachedElsewhere) {
    fs::permissions(data_.path(), fs::perms::owner_read | fs::perms::owner_exec);
    normal_then_cached();
    fs::permissions(data_.path(), fs::perms::owner_all);
    EXPECT_EQ(cache_files().size(), 1u);
}

// Every build keeps its own cache of a list (glotta and glotta-scan used in
// turn); writing one keeps the three newest caches of other builds of the
// same list, and removes older ones and one in the single-file naming.
TEST_F(ProfileCacheTest, CachesOfOtherBuildsAreKeptAndPruned) {
    normal_then_cached();
    const std::string own = cache_file();
    ASSERT_FALSE(own.empty());
    const std::string name = fs::path(own).filename().string();
    // profiles-LISTHASH-BUILDHASH.bin
    ASSERT_EQ(name.size(), 9u + 16 + 1 + 8 + 4) << name;
    ASSERT_EQ(name.substr(0, 9), "profiles-");
    const fs::path dir = fs::path(own).parent_path();
    const std::string stem = name.substr(0, 25);
    const std::string other_list = "profiles-" + std::string(16, 'f') + "-00000001.bin";
    auto write = [&](const std::string &file, int age_seconds) {
        std::ofstream((dir / file).string()) << "another build's cache";
        fs::last_write_time(dir / file,
                            fs::file_time_type::clock::now() - std::chrono::seconds(age_seconds));
    };
    for (int build = 1; build <= 5; ++build)
        write(stem + "-0000000" + std::to_string(build) + ".bin", 100 - build);
    write(stem + ".bin", 1);
    write(other_list, 1000);
    write(stem + "-notabuild.bin", 1000);
    fs::create_directory(dir / (stem + "-0000000d.bin"));
    // This build's cache is found among the others.
    EXPECT_EQ(load(), LANG_OK);
    EXPECT_TRUE(cached());
    EXPECT_EQ(cache_files().size(), 10u);

    fs::remove(own);
    EXPECT_EQ(load(), LANG_OK);
    EXPECT_FALSE(cached());
    std::vector<std::string> left;
    for (const fs::path &file : cache_files()) left.push_back(file.filename().string());
    std::sort(left.begin(), left.end());
    std::vector<std::string> expected = {name,
                                         stem + "-00000003.bin",
                                         stem + "-00000004.bin",
                                         stem + "-00000005.bin",
                                         stem + "-0000000d.bin",
                                         stem + "-notabuild.bin",
                                         other_list};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(left, expected);
    EXPECT_EQ(load(), LANG_OK);
    EXPECT_TRUE(cached());
}

TEST_F(ProfileCacheTest, NoCacheForFailedProfilesRecentFilesOrShortLists) {
    // A profile that fails keeps its warning at every start.
    data_.write("langlist.cfg", ReadFile(data_.file("langlist.cfg")) + "missing.lm\n");
    EXPECT_EQ(load(), -LANG_ERR_LOADDATA);
    EXPECT_EQ(load(), -LANG_ERR_LOADDATA);
    EXPECT_FALSE(cached());
    EXPECT_TRUE(cache_files().empty());
    // Files changed within the settling time are not cached yet.
    ProfileCacheSettleSeconds(1000000);
    std::string list;
    for (const std::string &name : names_) list += name + "\n";
    data_.write("langlist.cfg", list);
    EXPECT_EQ(load(), LANG_OK);
    EXPECT_TRUE(cache_files().empty());
    ProfileCacheSettleSeconds(0);
    // Short lists load normally every time.
    data_.write("langlist.cfg", "p0.lm\np1.lm\n");
    EXPECT_EQ(load(), LANG_OK);
    EXPECT_EQ(load(), LANG_OK);
    EXPECT_FALSE(cached());
    EXPECT_TRUE(cache_files().empty());
}

TEST_F(ProfileCacheTest, OutOfMemoryWhileAdoptingFails) {
    normal_then_cached();
    for (long n = 0; n < 12; ++n) {
        const int rc = load(n);
        EXPECT_TRUE(rc == LANG_ERR_NOMEM || rc == LANG_OK) << n << ": " << rc;
    }
    EXPECT_EQ(load(), LANG_OK);
    EXPECT_TRUE(cached());
}

}  // namespace
