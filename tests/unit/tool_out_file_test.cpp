#include <errno.h>
#include <gtest/gtest.h>
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

constexpr char kFull[] = "/dev/full";

// Runs `body` with stderr captured; returns what it printed.
template <typename Body>
std::string stderr_of(Body body) {
    testing::internal::CaptureStderr();
    body();
    return testing::internal::GetCapturedStderr();
}

// Enough to overflow any stdio buffer, so that the write reaches the file.
void fill(FILE *stream) {
    const std::string block(64 * 1024, 'x');
    fwrite(block.data(), 1, block.size(), stream);
}

}  // namespace

TEST(ToolOutFile, NewFilesGetFopensModeAndFailuresKeepErrno) {
    TempDir dir;
    const std::string path = dir.str("new.txt");
    FILE *stream = OpenOutputStream(path.c_str(), nullptr, 0);
    ASSERT_NE(stream, nullptr);
    fclose(stream);
    const mode_t mask = umask(0);
    umask(mask);
    struct stat status;
    ASSERT_EQ(stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0666 & ~mask);

    errno = 0;
    EXPECT_EQ(OpenOutputStream(dir.str("no/such/dir").c_str(), nullptr, 0), nullptr);
    EXPECT_EQ(errno, ENOENT);
}

TEST(ToolOutFile, AFileBeingWrittenIsRefusedAndLeftAlone) {
    TempDir dir;
    const std::string path = dir.write("out.txt", "");
    FILE *first = OpenOutputStream(path.c_str(), nullptr, 0);
    ASSERT_NE(first, nullptr);
    fputs("first run\n", first);
    fflush(first);

    // Another open, here or in another process, fails without truncating.
    errno = 0;
    EXPECT_EQ(OpenOutputStream(path.c_str(), nullptr, 0), nullptr);
    EXPECT_EQ(errno, EWOULDBLOCK);
    const pid_t child = fork();
    if (child == 0) _exit(OpenOutputStream(path.c_str(), nullptr, 0) == nullptr ? 0 : 1);
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(ReadFile(path), "first run\n");

    bool reported = false;
    EXPECT_TRUE(CloseOutputFile(first, "output file", path.c_str(), &reported));
    FILE *again = OpenOutputStream(path.c_str(), nullptr, 0);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(ReadFile(path), "");
    EXPECT_TRUE(CloseOutputFile(again, "output file", path.c_str(), &reported));

    // Devices are shared freely.
    FILE *a = OpenOutputStream("/dev/null", nullptr, 0);
    FILE *b = OpenOutputStream("/dev/null", nullptr, 0);
    EXPECT_NE(a, nullptr);
    EXPECT_NE(b, nullptr);
    EXPECT_TRUE(CloseOutputFile(a, "output file", "/dev/null", &reported));
    EXPECT_TRUE(CloseOutputFile(b, "output file", "/dev/null", &reported));
    EXPECT_FALSE(reported);
}

TEST(ToolOutFile, WriteErrorsAreReportedOnceWithTheReason) {
    FILE *stream = OpenOutputStream(kFull, nullptr, 0);
    ASSERT_NE(stream, nullptr);
    bool reported = false;
    EXPECT_TRUE(StreamWritten(stream, "output file", kFull, &reported));  // nothing written yet
    fill(stream);
    const std::string message = "Couldn't write output file /dev/full: No space left on device\n";
    EXPECT_EQ(
        stderr_of([&] { EXPECT_FALSE(StreamWritten(stream, "output file", kFull, &reported)); }),
        message);
    EXPECT_TRUE(reported);
    fill(stream);
    EXPECT_EQ(stderr_of([&] {
                  EXPECT_FALSE(StreamWritten(stream, "output file", kFull, &reported));
                  EXPECT_FALSE(CloseOutputFile(stream, "output file", kFull, &reported));
              }),
              "");

    // A failure that shows only when the last buffer is flushed at close.
    stream = OpenOutputStream(kFull, nullptr, 0);
    ASSERT_NE(stream, nullptr);
    fputs("one short record\n", stream);
    reported = false;
    EXPECT_TRUE(StreamWritten(stream, "bif file", "b.en", &reported));
    EXPECT_EQ(
        stderr_of([&] { EXPECT_FALSE(CloseOutputFile(stream, "bif file", "b.en", &reported)); }),
        "Couldn't write bif file b.en: No space left on device\n");

    EXPECT_EQ(stderr_of([] { ReportWriteError("standard output", nullptr, 0); }),
              "Couldn't write standard output: Input/output error\n");
    EXPECT_TRUE(CloseOutputFile(nullptr, "output file", kFull, &reported));
}
