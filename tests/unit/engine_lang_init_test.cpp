#include <gtest/gtest.h>
#include <stdio.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/lang_context.h"
#include "engine_test_support.h"

using glotta_test::CallLog;
using glotta_test::EnvOverride;
using glotta_test::MakeInstallation;
using glotta_test::ReadFile;
using glotta_test::TempDir;
namespace fs = std::filesystem;

namespace {

constexpr char kEnglish[] = "ID:en\nCHARSET:1252\n_t 2\nth 2\n";

// An installation made of the fake plug-ins, with its shipped data, and the
// environment pointing at it (no debug log unless a test asks).
class LangInitTest : public testing::Test {
  protected:
    void SetUp() override {
        bin_ = MakeInstallation(root_, "good");
        data_ = root_.str("common/glotta");
        root_.write("common/glotta/en.lm", kEnglish);
        root_.write("common/glotta/langlist.cfg", "en.lm\n");
    }
    void TearDown() override { LangClose(ctx_); }

    int init(const char *config = nullptr, const char *data = nullptr) {
        LangInitArg arg{config, data};
        return LangInit(&ctx_, &arg);
    }
    // The debug logs written so far in the temporary directory.
    std::vector<fs::path> logs() const {
        std::vector<fs::path> out;
        for (const auto &entry : fs::directory_iterator(tmp_.path())) out.push_back(entry.path());
        return out;
    }

    TempDir root_;
    TempDir tmp_;
    std::string bin_;
    std::string data_;
    EnvOverride library_{"LD_LIBRARY_PATH", std::nullopt};
    EnvOverride debug_{"TOLMAR_LANG", std::nullopt};
    EnvOverride tmpdir_{"TMPDIR", tmp_.str()};
    LangContext *ctx_ = nullptr;
};

}  // namespace

TEST_F(LangInitTest, NullArguments) {
    EXPECT_EQ(LangInit(nullptr, nullptr), -19998);
    EXPECT_EQ(LangClose(nullptr), 0);
    EXPECT_EQ(LangGetDataPath(nullptr), nullptr);
}

TEST_F(LangInitTest, NoFilterInstallation) {
    ctx_ = reinterpret_cast<LangContext *>(1);
    EXPECT_EQ(LangInit(&ctx_, nullptr), -19987);
    EXPECT_EQ(ctx_, nullptr);
}

TEST_F(LangInitTest, DataDirectoryIsDerivedFromTheFilterDirectory) {
    setenv("LD_LIBRARY_PATH", bin_.c_str(), 1);
    ASSERT_EQ(LangInit(&ctx_, nullptr), 0);
    ASSERT_NE(ctx_, nullptr);
    EXPECT_EQ(std::string(LangGetDataPath(ctx_)), data_);
    EXPECT_EQ(std::string(ctx_->filterPath), root_.str("_linux/filters/"));
    EXPECT_EQ(ctx_->profileCount, 1);
    EXPECT_EQ(ctx_->debug, 0);
    EXPECT_EQ(ctx_->logFile, nullptr);
    ASSERT_NE(ctx_->convService, nullptr);
    EXPECT_EQ(ctx_->convService->library, ctx_->utilLib);
    EXPECT_EQ(ctx_->convService->services, ctx_->zapiServices);
    EXPECT_EQ(ctx_->convService->mutex, ctx_->filterMutex);
    EXPECT_NE(ctx_->filterMutex, nullptr);
}

TEST_F(LangInitTest, FilterDirectoryWithoutUnderscoreGivesARelativeDataDirectory) {
    TempDir plain;
    plain.write("bin/flt_dx.so", "");
    plain.mkdir("filters");
    fs::create_symlink(glotta_test::FakeDir("good") + "dxfilter.so",
                       plain.path() / "filters/dxfilter.so");
    fs::create_symlink(glotta_test::FakeDir("good") + "dxutil.so",
                       plain.path() / "filters/dxutil.so");
    // Run from a directory whose common/glotta holds the data.
    std::string cwd = fs::current_path().string();
    fs::current_path(root_.path());
    // Relative to / when the path has no '_' after its first character: make
    // the entry relative so no '_' of the temporary path is seen.
    fs::create_directory_symlink(plain.path(), root_.path() / "plain");
    setenv("LD_LIBRARY_PATH", "plain/bin", 1);
    int rc = LangInit(&ctx_, nullptr);
    fs::current_path(cwd);
    ASSERT_EQ(rc, 0);
    EXPECT_STREQ(LangGetDataPath(ctx_), "common/glotta");
}

TEST_F(LangInitTest, ArgumentsAreCopied) {
    setenv("LD_LIBRARY_PATH", bin_.c_str(), 1);
    TempDir other;
    other.write("list.cfg", "fr.lm\n");
    other.write("fr.lm", "ID:fr\nCHARSET:1252\n_l 2\n");
    std::string config = other.str("list.cfg");
    std::string data = other.str();
    ASSERT_EQ(init(config.c_str(), data.c_str()), 0);
    config.assign(config.size(), 'x');
    data.assign(data.size(), 'x');
    EXPECT_EQ(std::string(ctx_->configFile), other.str("list.cfg"));
    EXPECT_EQ(std::string(LangGetDataPath(ctx_)), other.str());
    ASSERT_EQ(ctx_->profileCount, 1);
    EXPECT_STREQ(ctx_->profiles[0]->languageId, "fr");
}

TEST_F(LangInitTest, MissingDataDirectoryReleasesTheLibrariesAgain) {
    setenv("LD_LIBRARY_PATH", bin_.c_str(), 1);
    CallLog calls;
    std::string missing = root_.str("no/such/dir");
    ctx_ = reinterpret_cast<LangContext *>(1);
    EXPECT_EQ(init(nullptr, missing.c_str()), -19989);
    EXPECT_EQ(ctx_, nullptr);
    std::vector<std::string> lines = calls.lines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[3], "filter.shutdown 1");
    EXPECT_EQ(lines[4], "util.destroy 1");
}

TEST_F(LangInitTest, ListErrorsFailStartUp) {
    setenv("LD_LIBRARY_PATH", bin_.c_str(), 1);
    fs::remove(root_.path() / "common/glotta/langlist.cfg");
    EXPECT_EQ(init(), -19992);
    EXPECT_EQ(ctx_, nullptr);
    root_.write("common/glotta/langlist.cfg", "# nothing\n");
    EXPECT_EQ(init(), -19978);
    EXPECT_EQ(ctx_, nullptr);
}

TEST_F(LangInitTest, ProfileFailuresAreWarnings) {
    setenv("LD_LIBRARY_PATH", bin_.c_str(), 1);
    root_.write("common/glotta/langlist.cfg", "en.lm\nmissing.lm\n");
    ASSERT_EQ(init(), 19988);
    ASSERT_NE(ctx_, nullptr);
    EXPECT_EQ(ctx_->profileCount, 1);
}

TEST_F(LangInitTest, StartUpFailureOfThePluginsIsReturned) {
    TempDir other;
    std::string bin = MakeInstallation(other, "no_util");
    setenv("LD_LIBRARY_PATH", bin.c_str(), 1);
    CallLog calls;
    EXPECT_EQ(init(), -19987);
    EXPECT_EQ(ctx_, nullptr);
    EXPECT_EQ(calls.lines().back(), "filter.shutdown 1");
}

TEST_F(LangInitTest, DebugValuesThatTurnTheLogOn) {
    setenv("LD_LIBRARY_PATH", bin_.c_str(), 1);
    for (const char *value : {"DEBUG", "Debug", "debug", "1"}) {
        setenv("TOLMAR_LANG", value, 1);
        ASSERT_EQ(init(), 0) << value;
        EXPECT_EQ(ctx_->debug, 1) << value;
        ASSERT_NE(ctx_->logFileName, nullptr);
        std::string name = ctx_->logFileName;
        EXPECT_EQ(fs::path(name).parent_path(), tmp_.path()) << name;
        EXPECT_EQ(fs::path(name).filename().string().rfind("lang", 0), 0u) << name;
        EXPECT_EQ(fs::path(name).extension(), ".log") << name;
        LangClose(ctx_);
        ctx_ = nullptr;
        std::string text = ReadFile(name);
        EXPECT_EQ(
            text.rfind("Loading DX filter from: " + root_.str("_linux/filters/dxfilter.so") + "\n",
                       0),
            0u)
            << text;
        EXPECT_NE(text.find("Reading language configuration file: " + data_ + "/langlist.cfg\n"),
                  std::string::npos);
        EXPECT_NE(text.find("Unloading language profiles\nShutdown Dexfil Filters\n"
                            "Unloading dxutil library\n"),
                  std::string::npos)
            << text;
        fs::remove(name);
    }
}

TEST_F(LangInitTest, OtherDebugValuesLeaveTheLogOff) {
    setenv("LD_LIBRARY_PATH", bin_.c_str(), 1);
    for (const char *value : {"yes", "2", "", "debug ", "01"}) {
        setenv("TOLMAR_LANG", value, 1);
        ASSERT_EQ(init(), 0) << value;
        EXPECT_EQ(ctx_->debug, 0) << value;
        EXPECT_EQ(ctx_->logFile, nullptr);
        LangClose(ctx_);
        ctx_ = nullptr;
    }
    EXPECT_TRUE(logs().empty());
}

TEST_F(LangInitTest, OutOfMemoryAtEveryStep) {
    setenv("LD_LIBRARY_PATH", bin_.c_str(), 1);
    setenv("TOLMAR_LANG", "1", 1);
    for (long n = 0; n < 10000; ++n) {
        ctx_ = reinterpret_cast<LangContext *>(1);
        vos_fail_alloc_after(n);
        int rc = init();
        vos_fail_alloc_after(-1);
        if (rc == 0) {
            ASSERT_NE(ctx_, nullptr);
            return;
        }
        EXPECT_TRUE(rc == -19997 || rc == 19997) << "n=" << n << " rc=" << rc;
        if (rc < 0) {
            EXPECT_EQ(ctx_, nullptr) << n;
        } else {
            LangClose(ctx_);
        }
        ctx_ = nullptr;
    }
    FAIL() << "never succeeded";
}

TEST(LangLog, WrapsToTheStartPastTwoAndAHalfMebibytes) {
    FILE *file = tmpfile();
    ASSERT_NE(file, nullptr);
    std::string big(0x280000, 'x');
    LangLog(file, big.data(), static_cast<long>(big.size()));  // ends at 0x280001
    LangLog(file, "abc", 3);
    fseek(file, 0, SEEK_END);
    EXPECT_EQ(ftell(file), 0x280001);  // not truncated
    rewind(file);
    char head[6] = {};
    ASSERT_EQ(fread(head, 1, 5, file), 5u);
    EXPECT_STREQ(head, "abc\nx");
    fclose(file);
    LangLog(nullptr, "ignored", 7);
}
