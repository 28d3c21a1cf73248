#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/stat.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "engine/lang_api.h"
#include "engine/lang_context.h"
#include "engine/lang_log.h"
#include "engine_test_support.h"

using glotta_test::CallLog;
using glotta_test::EnvOverride;
using glotta_test::MakeInstallation;
using glotta_test::ReadFile;
using glotta_test::TempDir;
namespace fs = std::filesystem;

namespace {

// An installation made of the fake plug-ins with its shipped data, the
// environment pointing at it, and no debug log unless a test asks.
class LangInitTest : public testing::Test {
  protected:
    void SetUp() override {
        bin_ = MakeInstallation(root_, "good");
        data_ = root_.str("common/glotta");
        root_.write("common/glotta/en.lm", "ID:en\nCHARSET:1252\n_t 2\nth 2\n");
        root_.write("common/glotta/langlist.cfg", "en.lm\n");
    }
    void TearDown() override { LangClose(ctx_); }

    int init(const char *config = nullptr, const char *data = nullptr) {
        LangInitArg arg{config, data};
        ctx_ = reinterpret_cast<LangContext *>(1);
        int rc = LangInit(&ctx_, &arg);
        if (rc < 0) {
            EXPECT_EQ(ctx_, nullptr);
        }
        return rc;
    }
    void restart() {
        LangClose(ctx_);
        ctx_ = nullptr;
    }

    TempDir root_, tmp_;
    std::string bin_, data_;
    EnvOverride library_{"LD_LIBRARY_PATH", std::nullopt};
    EnvOverride debug_{"TOLMAR_LANG", std::nullopt};
    EnvOverride tmpdir_{"TMPDIR", tmp_.str()};
    LangContext *ctx_ = nullptr;
};

}  // namespace

TEST_F(LangInitTest, DataDirectoryIsDerivedFromTheFilterDirectory) {
    EXPECT_EQ(LangInit(nullptr, nullptr), -19998);
    EXPECT_EQ(LangClose(nullptr), 0);
    EXPECT_EQ(LangGetDataPath(nullptr), nullptr);
    EXPECT_EQ(init(), -19987);  // no filter installation on the path

    setenv("LD_LIBRARY_PATH", bin_.c_str(), 1);
    ASSERT_EQ(init(), 0);
    EXPECT_EQ(std::string(LangGetDataPath(ctx_)), data_);
    EXPECT_EQ(std::string(ctx_->filterPath), root_.str("_linux/filters/"));
    EXPECT_EQ(ctx_->profileCount, 1);
    EXPECT_EQ(ctx_->logFile, nullptr);
    ASSERT_NE(ctx_->convService, nullptr);
    EXPECT_EQ(ctx_->convService->library, ctx_->utilLib);
    EXPECT_EQ(ctx_->convService->services, ctx_->zapiServices);
    EXPECT_EQ(ctx_->convService->mutex, ctx_->filterMutex);
    restart();
    ASSERT_EQ(LangInit(&ctx_, nullptr), 0);  // no arguments: the derived data directory
    EXPECT_EQ(std::string(LangGetDataPath(ctx_)), data_);
    restart();

    // Without a '_' after its first character the filter directory gives
    // "common/glotta", relative to the working directory.
    TempDir plain;
    MakeInstallation(plain, "good");
    fs::rename(plain.path() / "_linux", plain.path() / "inst");
    fs::create_directory_symlink(plain.path() / "inst", root_.path() / "plain");
    std::string cwd = fs::current_path().string();
    fs::current_path(root_.path());
    setenv("LD_LIBRARY_PATH", "plain/bin", 1);
    int rc = init();
    fs::current_path(cwd);
    ASSERT_EQ(rc, 0);
    EXPECT_STREQ(LangGetDataPath(ctx_), "common/glotta");
}

TEST_F(LangInitTest, StartUpErrorsReleaseTheLibraries) {
    setenv("LD_LIBRARY_PATH", bin_.c_str(), 1);
    {
        CallLog calls;
        EXPECT_EQ(init(nullptr, root_.str("no/such/dir").c_str()), -19989);
        std::vector<std::string> lines = calls.lines();
        ASSERT_EQ(lines.size(), 5u);
        EXPECT_EQ(lines[3], "filter.shutdown 1");
        EXPECT_EQ(lines[4], "util.destroy 1");
    }
    root_.write("common/glotta/langlist.cfg", "en.lm\nmissing.lm\n");
    EXPECT_EQ(init(), 19988);  // a profile failing is only a warning
    EXPECT_EQ(ctx_->profileCount, 1);
    restart();
    root_.write("common/glotta/langlist.cfg", "# nothing\n");
    EXPECT_EQ(init(), -19978);
    fs::remove(root_.path() / "common/glotta/langlist.cfg");
    EXPECT_EQ(init(), -19992);

    TempDir other;
    setenv("LD_LIBRARY_PATH", MakeInstallation(other, "no_util").c_str(), 1);
    CallLog calls;
    EXPECT_EQ(init(), -19987);
    EXPECT_EQ(calls.lines().back(), "filter.shutdown 1");
}

TEST_F(LangInitTest, DebugValuesTurnTheLogOn) {
    setenv("LD_LIBRARY_PATH", bin_.c_str(), 1);
    struct {
        const char *value;
        bool on;
    } cases[] = {{"DEBUG", true}, {"Debug", true}, {"debug", true},   {"1", true},  {"yes", false},
                 {"2", false},    {"", false},     {"debug ", false}, {"01", false}};
    for (const auto [value, on] : cases) {
        setenv("TOLMAR_LANG", value, 1);
        ASSERT_EQ(init(), 0) << value;
        EXPECT_EQ(ctx_->debug, on ? 1 : 0) << value;
        if (!on) {
            EXPECT_EQ(ctx_->logFile, nullptr) << value;
            restart();
            continue;
        }
        ASSERT_NE(ctx_->logFileName, nullptr);
        fs::path name = ctx_->logFileName;
        EXPECT_EQ(name.parent_path(), tmp_.path());
        EXPECT_TRUE(name.filename().string().starts_with("lang") && name.extension() == ".log");
        EXPECT_EQ(name.filename().string().size(), sizeof "langXXXXXX.log" - 1);
        // It holds document contents: readable by its owner only.
        struct stat st;
        ASSERT_EQ(stat(name.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0600u);
        restart();
        std::string text = ReadFile(name);
        EXPECT_EQ(
            text.rfind("Loading DX filter from: " + root_.str("_linux/filters/dxfilter.so"), 0), 0u)
            << text;
        fs::remove(name);
    }
    EXPECT_TRUE(fs::is_empty(tmp_.path()));
}

TEST_F(LangInitTest, OutOfMemory) {
    setenv("LD_LIBRARY_PATH", bin_.c_str(), 1);
    vos_fail_alloc_after(0);
    int rc = init();
    vos_fail_alloc_after(-1);
    EXPECT_EQ(rc, -19997);
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

TEST(ResultCodes, EveryCodeHasItsOwnMessage) {
    EXPECT_STREQ(LangErrorMsg(0), "SUCCESS");
    for (int code : {-20000, -19977, 19988, 1, -1})
        EXPECT_STREQ(LangErrorMsg(code), "Unhandled internal error code") << code;
    EXPECT_STREQ(LangErrorMsg(-19999), "Failed to identify language");
    EXPECT_STREQ(LangErrorMsg(-19998), "Encounted null pointer in internal function");
    EXPECT_STREQ(LangErrorMsg(-19978), "The language detection configuration file is empty");
    std::set<std::string> seen;
    for (int code = -19999; code <= -19978; ++code) seen.insert(LangErrorMsg(code));
    EXPECT_EQ(seen.size(), 22u);
}
