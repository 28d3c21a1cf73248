// Charmap and locale lookups, and finding the utility library through the
// library search path.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "conv/zi18n_conv.h"
#include "engine_test_support.h"

using glotta_test::EnvOverride;

TEST(Charmap, WholeNameIgnoringCase) {
    const struct {
        const char *name;
        int32_t id;
    } cases[] = {{"utf8", 53},     {"LMBCS_1", 50}, {"Koi8-R", 73}, {"8859", 14},
                 {"ksc", 4},       {"SJIS", 1},     {"utf-8", 0},   {"1252x", 0},
                 {"iso8859_4", 0}, {"", 0},         {nullptr, 0}};
    for (const auto &c : cases) {
        EXPECT_EQ(Zi18nGetCharmapID(c.name), c.id) << (c.name ? c.name : "(null)");
        EXPECT_EQ(Zi18nIsValidCharmap(c.name), c.id != 0);
    }
}

TEST(Locale, DefaultCharmap) {
    const std::pair<const char *, const char *> cases[] = {
        {"Russian2", "koi8-r"}, {"swedishx", "1252"}, {"uni", "utf8"}};
    for (const auto &[locale, want] : cases) {
        char *charmap = nullptr;
        EXPECT_EQ(Zi18nGetLocaleCharset(locale, &charmap), 0);
        EXPECT_STREQ(charmap, want);
        vos_free(charmap);
    }
    char *charmap = nullptr;
    EXPECT_EQ(Zi18nGetLocaleCharset("klingon", &charmap), ZI18N_ERR_LOCALE);
    EXPECT_EQ(Zi18nGetLocaleCharset("", &charmap), ZI18N_ERR_LOCALE);
    EXPECT_EQ(Zi18nGetLocaleCharset(nullptr, &charmap), ZI18N_ERR_LOCALE);
    EXPECT_EQ(Zi18nGetLocaleCharset("thai", nullptr), ZI18N_ERR_FAILED);
    EXPECT_EQ(charmap, nullptr);
}

// "uni" admits what any locale admits; no locale lists LMBCS.
TEST(Locale, CharmapsUsableWithALocale) {
    // clang-format off
    const struct {
        const char *locale, *charmap;
        int valid;
    } cases[] = {
        {"russian", "koi8-r", 1}, {"RUSSIAN", "866", 1}, {"russian", "1252", 0},
        {"english", "437", 1}, {"english", "8859", 1}, {"bulgaria", "utf8", 1},
        {"japanb", "eucjp", 1}, {"japanb", "ksc", 0}, {"klingon", "utf8", 0}, {"uni", "sjis", 1},
        {"uni", "koi8-r", 1}, {"uni", "lmbcs_1", 0}, {"uni", "bogus", 0}, {"", "utf8", 0},
        {"uni", nullptr, 0}};
    // clang-format on
    for (const auto &c : cases) {
        EXPECT_EQ(Zi18nIsValidLocaleCharmap(c.locale, c.charmap), c.valid)
            << c.locale << " " << (c.charmap ? c.charmap : "(null)");
    }
}

TEST(FindLib, SearchesTheLibraryPath) {
    glotta_test::TempDir root;
    const std::string r = root.str();
    const struct {
        std::vector<const char *> files;
        std::optional<std::string> path;  // LD_LIBRARY_PATH, unset when empty
        std::string found;
    } cases[] = {{{}, std::nullopt, "<null>"},
                 // The first element with the marker and the library beside it wins.
                 {{"a/bin/libzi18n.so", "b/bin/libzi18n.so", "b/filters/dxutil.so"},
                  r + "/a/bin:" + r + "/b/bin",
                  r + "/b/filters/"},
                 {{"p/lib/libzi18n.so", "p/filters/dxutil.so"},
                  "/nonexistent: \t\"" + r + "/p/lib/\" ",
                  r + "/p/filters/"},
                 {{"p/lib/libzi18n.so"}, r + "/p/lib:", "<null>"},
                 {{"p/lib/libzi18n.so", "p/filters/dxutil.so"},
                  std::string(3000, 'x') + ":" + r + "/p/lib",
                  r + "/p/filters/"}};
    for (const auto &c : cases) {
        for (const auto &entry : std::filesystem::directory_iterator(root.path()))
            std::filesystem::remove_all(entry.path());
        for (const char *file : c.files) root.write(file, "");
        EnvOverride path("LD_LIBRARY_PATH", c.path);
        char *dir = reinterpret_cast<char *>(1);
        EXPECT_EQ(Zi18nFindLib("dxutil.so", &dir), 0);
        EXPECT_EQ(dir ? std::string(dir) : "<null>", c.found) << (c.path ? *c.path : "(unset)");
        vos_free(dir);
    }
}

TEST(FindLib, FailuresAndInitWithoutLibrary) {
    char *dir = nullptr;
    EXPECT_EQ(Zi18nFindLib(nullptr, &dir), ZI18N_ERR_FAILED);
    EXPECT_EQ(Zi18nFindLib("dxutil.so", nullptr), ZI18N_ERR_FAILED);
    EnvOverride path("LD_LIBRARY_PATH", "/nonexistent");
    vos_fail_alloc_after(0);
    EXPECT_EQ(Zi18nFindLib("dxutil.so", &dir), ZI18N_ERR_NOMEM);
    vos_fail_alloc_after(-1);
    EXPECT_EQ(dir, nullptr);
    Zi18nHandle *ctx = reinterpret_cast<Zi18nHandle *>(1);
    EXPECT_EQ(Zi18nInit(&ctx), ZI18N_ERR_LOADLIB);
    EXPECT_EQ(ctx, nullptr);
    EXPECT_EQ(Zi18nInit(nullptr), ZI18N_ERR_FAILED);
    EXPECT_EQ(Zi18nClose(nullptr), 0);
}
