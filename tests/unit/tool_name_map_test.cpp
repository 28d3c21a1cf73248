#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine_test_support.h"
#include "tool/tool.h"

using glotta_test::ReadFile;
using glotta_test::TempDir;

namespace {

constexpr char kMissing[] = "Coundn't open configuration file langname.cfg\n";

class ToolNameMap : public testing::Test {
  protected:
    // Loads `content` as DIR/langname.cfg (none for nullptr); returns the code
    // and what was printed.
    int load(const char *content, std::string *out = nullptr) {
        if (content) dir_.write("langname.cfg", content);
        testing::internal::CaptureStdout();
        int rc = loadNameMapping(dir_.str().c_str());
        std::string text = testing::internal::GetCapturedStdout();
        if (out) *out = text;
        return rc;
    }
    std::string name(const char *id) { return LangCode2Name(id); }
    TempDir dir_;
};

}  // namespace

TEST_F(ToolNameMap, Entries) {
    std::string out;
    ASSERT_EQ(load("# comment\nen English\nde German extra words\n\r\n   \nlonely\n"
                   " fr\tFrench\nen Anglais\n",
                   &out),
              0);
    EXPECT_EQ(out, "");
    EXPECT_EQ(numNameMap, 4);
    // The first entry of an identifier wins; unknown identifiers show unchanged.
    for (auto [id, shown] : {std::pair{"en", "English"},
                             {"de", "German"},
                             {"fr", "French"},
                             {"lonely", "lonely"},
                             {"EN", "EN"}})
        EXPECT_EQ(name(id), shown) << id;
    const char *id = "xx";
    EXPECT_EQ(LangCode2Name(id), id);  // the very string
    EXPECT_EQ(LangCode2Name(nullptr), nullptr);

    ASSERT_EQ(load("de German\n"), 0);  // a reload replaces the table
    EXPECT_EQ(numNameMap, 1);
    EXPECT_EQ(name("en"), "en");

    std::string many;
    for (int i = 0; i < 120; ++i) {
        const std::string n = std::to_string(i);
        many.append("l").append(n).append(" N").append(n).append("\n");
    }
    ASSERT_EQ(load(many.c_str()), 0);
    EXPECT_EQ(numNameMap, LANG_MAX_NAME_MAP);
    EXPECT_EQ(name("l99"), "N99");
    EXPECT_EQ(name("l100"), "l100");

    // 300 characters: the first 255 form one line, the rest another.
    ASSERT_EQ(load(("aa " + std::string(297, 'b') + "\nen English\n").c_str()), 0);
    EXPECT_EQ(numNameMap, 2);
    EXPECT_EQ(name("aa"), std::string(252, 'b'));

    dir_.write("langname.cfg",
               std::string("\0\xff\xfe\x01 \x02\n\0en English\n\xc3\xa9t\xc3\xa9 Summer\n", 32));
    ASSERT_EQ(load(nullptr), 0);
    EXPECT_EQ(name("\xc3\xa9t\xc3\xa9"), "Summer");
}

TEST_F(ToolNameMap, MissingOrUnreadableFileIsReportedOnStdout) {
    std::string out;
    EXPECT_EQ(load(nullptr, &out), 1);
    EXPECT_EQ(out, kMissing);
    EXPECT_EQ(numNameMap, 0);
    testing::internal::CaptureStdout();
    EXPECT_EQ(loadNameMapping(nullptr), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), kMissing);
    if (geteuid() == 0) return;  // root reads every file
    dir_.write("langname.cfg", "en English\n");
    chmod(dir_.str("langname.cfg").c_str(), 0);
    EXPECT_EQ(load(nullptr), 1);
}

TEST_F(ToolNameMap, OnlyARegularFileIsRead) {
    alarm(20);  // a FIFO would block, /dev/zero never end
    ASSERT_EQ(mkfifo(dir_.str("langname.cfg").c_str(), 0600), 0);
    std::string out;
    EXPECT_EQ(load(nullptr, &out), 1);
    EXPECT_EQ(out, kMissing);
    testing::internal::CaptureStdout();
    EXPECT_EQ(saveNameMapping(dir_.str().c_str(), "en", "English"), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), kMissing);
    std::filesystem::remove(dir_.str("langname.cfg"));
    std::filesystem::create_symlink("/dev/zero", dir_.str("langname.cfg"));
    EXPECT_EQ(load(nullptr, &out), 1);
    EXPECT_EQ(out, kMissing);
    EXPECT_EQ(numNameMap, 0);
    alarm(0);
}

TEST_F(ToolNameMap, SaveAppendsAnEntryButNeverCreatesTheFile) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(saveNameMapping(dir_.str().c_str(), "en", "English"), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), kMissing);
    EXPECT_FALSE(std::filesystem::exists(dir_.str("langname.cfg")));

    dir_.write("langname.cfg", "en English\n");
    testing::internal::CaptureStdout();
    EXPECT_EQ(saveNameMapping(dir_.str().c_str(), "ang", "Old English"), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(ReadFile(dir_.str("langname.cfg")), "en English\n\nang Old English\n");
    ASSERT_EQ(load(nullptr), 0);
    EXPECT_EQ(name("ang"), "Old");
}

TEST_F(ToolNameMap, FailedAppendIsReportedWithTheReason) {
    // A file size limit the file already reaches: the append fails.
    const std::string head = "en English\n";
    const std::string path = dir_.write("langname.cfg", head);
    struct rlimit before;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    struct rlimit small = before;
    small.rlim_cur = head.size();
    void (*handler)(int) = signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    // stderr goes to a pipe, which the limit does not apply to.
    int pipe_fds[2];
    ASSERT_EQ(pipe(pipe_fds), 0);
    const int saved_stderr = dup(2);
    dup2(pipe_fds[1], 2);
    const int result = saveNameMapping(dir_.str().c_str(), "xq", "Xish");
    dup2(saved_stderr, 2);
    close(saved_stderr);
    close(pipe_fds[1]);
    char buffer[512];
    const ssize_t got = read(pipe_fds[0], buffer, sizeof buffer);
    close(pipe_fds[0]);
    const std::string message(buffer, got > 0 ? static_cast<size_t>(got) : 0);
    setrlimit(RLIMIT_FSIZE, &before);
    signal(SIGXFSZ, handler);
    EXPECT_EQ(result, LANG_EXIT_WRITE_ERROR);
    EXPECT_EQ(message, "Couldn't write configuration file " + path + ": File too large\n");
    EXPECT_EQ(ReadFile(path), head);
}

TEST_F(ToolNameMap, ConcurrentAppendsLoseNothing) {
    const std::string head = "en English\n";
    dir_.write("langname.cfg", head);
    constexpr int kWriters = 16;
    constexpr int kEntries = 50;
    std::vector<pid_t> children;
    for (int w = 0; w < kWriters; ++w) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            int failed = 0;
            for (int e = 0; e < kEntries; ++e) {
                const std::string id = "w" + std::to_string(w) + "e" + std::to_string(e);
                failed |= saveNameMapping(dir_.str().c_str(), id.c_str(), "Name");
            }
            _exit(failed);
        }
        children.push_back(child);
    }
    for (pid_t child : children) {
        int status = -1;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    // Every entry once, each on a line of its own after an empty one.
    std::vector<std::string> want;
    for (int w = 0; w < kWriters; ++w)
        for (int e = 0; e < kEntries; ++e)
            want.push_back("\nw" + std::to_string(w) + "e" + std::to_string(e) + " Name\n");
    const std::string text = ReadFile(dir_.str("langname.cfg"));
    ASSERT_EQ(text.substr(0, head.size()), head);
    std::vector<std::string> got;
    for (size_t at = head.size(); at < text.size();) {
        const size_t end = text.find('\n', at + 1);
        ASSERT_NE(end, std::string::npos);
        got.push_back(text.substr(at, end + 1 - at));
        at = end + 1;
    }
    std::sort(want.begin(), want.end());
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, want);
}
