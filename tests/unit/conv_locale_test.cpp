// Charmap and locale lookups, and finding the utility library through the
// library search path.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include <unistd.h>

#include "conv/zi18n_conv.h"

namespace fs = std::filesystem;

namespace {

// Sets LD_LIBRARY_PATH for one test and puts the old value back.
class ScopedLibraryPath {
  public:
    explicit ScopedLibraryPath(const char *value) {
        if (const char *old = std::getenv("LD_LIBRARY_PATH")) saved_ = old;
        if (value) {
            setenv("LD_LIBRARY_PATH", value, 1);
        } else {
            unsetenv("LD_LIBRARY_PATH");
        }
    }
    ~ScopedLibraryPath() {
        if (saved_) {
            setenv("LD_LIBRARY_PATH", saved_->c_str(), 1);
        } else {
            unsetenv("LD_LIBRARY_PATH");
        }
    }

  private:
    std::optional<std::string> saved_;
};

void touch(const fs::path &p) {
    fs::create_directories(p.parent_path());
    std::ofstream(p) << "";
}

class FindLib : public ::testing::Test {
  protected:
    void SetUp() override {
        root = fs::temp_directory_path() /
               ("conv_findlib_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root);
    }
    void TearDown() override { fs::remove_all(root); }

    std::string find(const char *file = "dxutil.so") {
        char *dir = reinterpret_cast<char *>(1);
        rc = Zi18nFindLib(file, &dir);
        std::string result = dir ? dir : "<null>";
        vos_free(dir);
        return result;
    }

    fs::path root;
    int rc = 0;
};

}  // namespace

TEST(Charmap, WholeNameIgnoringCase) {
    EXPECT_EQ(Zi18nGetCharmapID("utf8"), 53);
    EXPECT_EQ(Zi18nGetCharmapID("LMBCS_1"), 50);
    EXPECT_EQ(Zi18nGetCharmapID("Koi8-R"), 73);
    EXPECT_EQ(Zi18nGetCharmapID("8859"), 14);
    EXPECT_EQ(Zi18nGetCharmapID("ksc"), 4);
    EXPECT_EQ(Zi18nGetCharmapID("utf-8"), 0);
    EXPECT_EQ(Zi18nGetCharmapID("1252x"), 0);
    EXPECT_EQ(Zi18nGetCharmapID(""), 0);
    EXPECT_EQ(Zi18nGetCharmapID(nullptr), 0);
    EXPECT_EQ(Zi18nIsValidCharmap("SJIS"), 1);
    EXPECT_EQ(Zi18nIsValidCharmap("iso8859_4"), 0);
    EXPECT_EQ(Zi18nIsValidCharmap(nullptr), 0);
}

TEST(Locale, DefaultCharmap) {
    char *charmap = nullptr;
    EXPECT_EQ(Zi18nGetLocaleCharset("Russian2", &charmap), 0);
    EXPECT_STREQ(charmap, "koi8-r");
    vos_free(charmap);
    EXPECT_EQ(Zi18nGetLocaleCharset("swedishx", &charmap), 0);
    EXPECT_STREQ(charmap, "1252");
    vos_free(charmap);
    EXPECT_EQ(Zi18nGetLocaleCharset("uni", &charmap), 0);
    EXPECT_STREQ(charmap, "utf8");
    vos_free(charmap);
}

TEST(Locale, DefaultCharmapFailures) {
    char *charmap = nullptr;
    EXPECT_EQ(Zi18nGetLocaleCharset("klingon", &charmap), ZI18N_ERR_LOCALE);
    EXPECT_EQ(Zi18nGetLocaleCharset("", &charmap), ZI18N_ERR_LOCALE);
    EXPECT_EQ(Zi18nGetLocaleCharset(nullptr, &charmap), ZI18N_ERR_LOCALE);
    EXPECT_EQ(Zi18nGetLocaleCharset("thai", nullptr), ZI18N_ERR_FAILED);
    EXPECT_EQ(charmap, nullptr);
    vos_fail_alloc_after(0);
    EXPECT_EQ(Zi18nGetLocaleCharset("thai", &charmap), ZI18N_ERR_NOMEM);
    vos_fail_alloc_after(-1);
}

TEST(Locale, CharmapsUsableWithALocale) {
    EXPECT_EQ(Zi18nIsValidLocaleCharmap("russian", "koi8-r"), 1);
    EXPECT_EQ(Zi18nIsValidLocaleCharmap("RUSSIAN", "866"), 1);
    EXPECT_EQ(Zi18nIsValidLocaleCharmap("russian", "1252"), 0);
    EXPECT_EQ(Zi18nIsValidLocaleCharmap("english", "437"), 1);
    EXPECT_EQ(Zi18nIsValidLocaleCharmap("english", "8859"), 1);
    EXPECT_EQ(Zi18nIsValidLocaleCharmap("bulgaria", "utf8"), 1);
    EXPECT_EQ(Zi18nIsValidLocaleCharmap("japanb", "eucjp"), 1);
    EXPECT_EQ(Zi18nIsValidLocaleCharmap("japanb", "ksc"), 0);
    EXPECT_EQ(Zi18nIsValidLocaleCharmap("klingon", "utf8"), 0);
}

TEST(Locale, UniAdmitsWhatAnyLocaleAdmits) {
    EXPECT_EQ(Zi18nIsValidLocaleCharmap("uni", "sjis"), 1);
    EXPECT_EQ(Zi18nIsValidLocaleCharmap("uni", "koi8-r"), 1);
    EXPECT_EQ(Zi18nIsValidLocaleCharmap("uni", "lmbcs_1"), 0);  // no locale lists 50
    EXPECT_EQ(Zi18nIsValidLocaleCharmap("uni", "bogus"), 0);
    EXPECT_EQ(Zi18nIsValidLocaleCharmap("", "utf8"), 0);
    EXPECT_EQ(Zi18nIsValidLocaleCharmap("uni", nullptr), 0);
}

TEST_F(FindLib, NullArguments) {
    char *dir = nullptr;
    EXPECT_EQ(Zi18nFindLib(nullptr, &dir), ZI18N_ERR_FAILED);
    EXPECT_EQ(Zi18nFindLib("dxutil.so", nullptr), ZI18N_ERR_FAILED);
}

TEST_F(FindLib, UnsetPathIsNoError) {
    ScopedLibraryPath path(nullptr);
    EXPECT_EQ(find(), "<null>");
    EXPECT_EQ(rc, 0);
}

TEST_F(FindLib, SecondElementWithMarkerAndLibrary) {
    touch(root / "a/bin/libzi18n.so");  // marker but no library beside it
    touch(root / "b/bin/libzi18n.so");
    touch(root / "b/filters/dxutil.so");
    const std::string value = (root / "a/bin").string() + ":" + (root / "b/bin").string();
    ScopedLibraryPath path(value.c_str());
    EXPECT_EQ(find(), (root / "b/filters/").string());
    EXPECT_EQ(rc, 0);
}

TEST_F(FindLib, QuotesBlanksAndTrailingSlash) {
    touch(root / "p/lib/libzi18n.so");
    touch(root / "p/filters/dxutil.so");
    const std::string value = "/nonexistent: \t\"" + (root / "p/lib").string() + "/\" ";
    ScopedLibraryPath path(value.c_str());
    EXPECT_EQ(find(), (root / "p/filters/").string());
}

TEST_F(FindLib, NothingFound) {
    touch(root / "p/lib/libzi18n.so");
    const std::string value = (root / "p/lib").string() + ":";
    ScopedLibraryPath path(value.c_str());
    EXPECT_EQ(find(), "<null>");
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(find("other.so"), "<null>");
}

TEST_F(FindLib, OverlongElementIsPassedOver) {
    touch(root / "p/lib/libzi18n.so");
    touch(root / "p/filters/dxutil.so");
    const std::string value = std::string(3000, 'x') + ":" + (root / "p/lib").string();
    ScopedLibraryPath path(value.c_str());
    EXPECT_EQ(find(), (root / "p/filters/").string());
}

TEST_F(FindLib, OutOfMemory) {
    ScopedLibraryPath path("/nonexistent");
    char *dir = nullptr;
    vos_fail_alloc_after(0);
    EXPECT_EQ(Zi18nFindLib("dxutil.so", &dir), ZI18N_ERR_NOMEM);
    vos_fail_alloc_after(-1);
    EXPECT_EQ(dir, nullptr);
}

TEST_F(FindLib, InitWithoutLibraryFails) {
    touch(root / "p/lib/libzi18n.so");
    const std::string value = (root / "p/lib").string();
    ScopedLibraryPath path(value.c_str());
    Zi18nHandle *ctx = reinterpret_cast<Zi18nHandle *>(1);
    EXPECT_EQ(Zi18nInit(&ctx), ZI18N_ERR_LOADLIB);
    EXPECT_EQ(ctx, nullptr);
    EXPECT_EQ(Zi18nInit(nullptr), ZI18N_ERR_FAILED);
    EXPECT_EQ(Zi18nClose(nullptr), 0);
}
