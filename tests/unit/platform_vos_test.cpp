#include <gtest/gtest.h>
#include <string.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "engine_test_support.h"
#include "platform/vos.h"

TEST(PlatformAlloc, FailureHookCountsSuccessfulAllocations) {
    vos_free(nullptr);
    vos_fail_alloc_after(2);
    void *a = vos_malloc(8), *b = vos_calloc(2, 8), *c = vos_malloc(8);
    void *d = vos_realloc(nullptr, 8);
    vos_fail_alloc_after(-1);
    void *e = vos_malloc(8);
    EXPECT_TRUE(a && b && e);
    EXPECT_FALSE(c || d);
    EXPECT_EQ(static_cast<char *>(b)[15], 0);
    for (void *p : {a, b, e}) vos_free(p);
}

// Small blocks released in bulk and taken again (as a candidate list's
// strings are) are whole blocks each: every one holds its own bytes, grows
// with realloc and goes back with vos_free, on any thread.
TEST(PlatformAlloc, SmallBlocksReleasedInBulkAreWholeBlocksAgain) {
    auto round = [](int salt) {
        std::vector<char *> blocks;
        for (int i = 0; i < 600; ++i) {
            const size_t size = 1 + static_cast<size_t>(i % 40);
            auto *block = static_cast<char *>(vos_malloc(size));
            ASSERT_NE(block, nullptr);
            memset(block, (i + salt) & 0x7F, size);
            blocks.push_back(block);
        }
        for (int i = 0; i < 600; ++i) {
            const size_t size = 1 + static_cast<size_t>(i % 40);
            for (size_t k = 0; k < size; ++k) ASSERT_EQ(blocks[i][k], (i + salt) & 0x7F) << i;
        }
        blocks[7] = static_cast<char *>(vos_realloc(blocks[7], 4096));
        ASSERT_NE(blocks[7], nullptr);
        EXPECT_EQ(blocks[7][0], (7 + salt) & 0x7F);
        for (char *block : blocks) vos_free(block);
    };
    for (int salt = 0; salt < 3; ++salt) round(salt);
    std::thread other([&] { round(5); });
    other.join();
}

TEST(PlatformFile, DescriptorsStartAt256) {
    glotta_test::TempDir dir;
    std::string path = dir.write("f", "hello");
    int v = vos_open(path.c_str(), VOS_O_RDONLY);
    ASSERT_GE(v, 256);
    char buffer[8] = {};
    EXPECT_EQ(vos_lseek(v, 1, SEEK_SET), 1);
    EXPECT_EQ(vos_read(v, buffer, sizeof buffer), 4);
    EXPECT_STREQ(buffer, "ello");
    EXPECT_EQ(vos_close(v), 0);
    unlink(path.c_str());
    EXPECT_EQ(vos_open(path.c_str(), VOS_O_RDONLY), -1);
    EXPECT_EQ(vos_dlclose(nullptr), 0);
}

TEST(PlatformMutex, LifeCycle) {
    VosMutex m;
    memset(&m, 0x5a, sizeof m);
    m.state = 0;  // a stale record, zero-filled by the initialisation
    for (VosMutex *p : {&m, static_cast<VosMutex *>(nullptr)}) {
        EXPECT_EQ(MutexLock(nullptr, p), -2);
        EXPECT_EQ(MutexUnlock(nullptr, p), -2);
        EXPECT_EQ(MutexDestroy(nullptr, p), -14);
    }
    EXPECT_EQ(MutexInit(nullptr, nullptr, 0), -14);
    ASSERT_EQ(MutexInit(nullptr, &m, 0), 0);
    EXPECT_EQ(m.state, 2);
    EXPECT_TRUE(m.pool == nullptr && m.count == 0 && m.owner == 0);
    EXPECT_EQ(MutexLock(nullptr, &m), 0);
    EXPECT_EQ(MutexUnlock(nullptr, &m), 0);
    EXPECT_EQ(MutexDestroy(nullptr, &m), 0);
    EXPECT_EQ(m.state, 0);
    EXPECT_EQ(MutexLock(nullptr, &m), -2);

    ASSERT_EQ(MutexInit(nullptr, &m, VOS_MUTEX_RECURSIVE), 0);
    EXPECT_EQ(MutexUnlock(nullptr, &m), -2);  // not owned
    for (unsigned depth : {1u, 2u}) {
        EXPECT_EQ(MutexLock(nullptr, &m), 0);
        EXPECT_EQ(m.count, depth);
    }
    for (unsigned depth : {1u, 0u}) {
        EXPECT_EQ(MutexUnlock(nullptr, &m), 0);
        EXPECT_EQ(m.count, depth);
    }
    EXPECT_EQ(MutexUnlock(nullptr, &m), -2);
    EXPECT_EQ(MutexDestroy(nullptr, &m), 0);
}

// A regression would block in open(); the alarm turns that into a failure.
class PlatformRegularFile : public testing::Test {
  protected:
    void SetUp() override { alarm(20); }
    void TearDown() override { alarm(0); }
    glotta_test::TempDir dir_;
};

TEST_F(PlatformRegularFile, OnlyRegularFilesOpenAndNothingBlocks) {
    const std::string file = dir_.write("f", "hello");
    const std::string fifo = dir_.str("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    struct stat st = {};
    st.st_size = -7;
    for (const std::string &other : {fifo, dir_.str(), std::string("/dev/zero")}) {
        EXPECT_EQ(vos_open_regular(other.c_str(), VOS_O_RDONLY, &st), VOS_NOT_REGULAR) << other;
        int failure = 0;
        EXPECT_EQ(vos_fopen_regular(other.c_str(), "r", &failure), nullptr) << other;
        EXPECT_EQ(failure, VOS_NOT_REGULAR) << other;
        EXPECT_EQ(vos_fopen_regular(other.c_str(), "r+", nullptr), nullptr) << other;
    }
    EXPECT_EQ(vos_open_regular(dir_.str("missing").c_str(), VOS_O_RDONLY, &st), VOS_OPEN_FAILED);
    EXPECT_EQ(vos_open_regular(nullptr, VOS_O_RDONLY, &st), VOS_OPEN_FAILED);
    int failure = 0;
    EXPECT_EQ(vos_fopen_regular(dir_.str("missing").c_str(), "rb", &failure), nullptr);
    EXPECT_EQ(failure, VOS_OPEN_FAILED);
    EXPECT_EQ(st.st_size, -7);  // untouched by the failures

    const int fd = vos_open_regular(file.c_str(), VOS_O_RDONLY, &st);
    ASSERT_GE(fd, 256);
    EXPECT_EQ(st.st_size, 5);
    EXPECT_NE(fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
    char buffer[8] = {};
    EXPECT_EQ(vos_read(fd, buffer, sizeof buffer), 5);
    EXPECT_STREQ(buffer, "hello");
    vos_close(fd);

    FILE *stream = vos_fopen_regular(file.c_str(), "r+", nullptr);
    ASSERT_NE(stream, nullptr);
    fseek(stream, 0, SEEK_END);
    fputs(" world", stream);
    fclose(stream);
    EXPECT_EQ(glotta_test::ReadFile(file), "hello world");
}

TEST_F(PlatformRegularFile, TemporaryNamesFollowTheDirectoryAndPrefixRules) {
    const std::string other = dir_.mkdir("other");
    {
        // $TMPDIR wins over the directory asked for; the prefix keeps five
        // characters at most.
        glotta_test::EnvOverride tmp("TMPDIR", dir_.str());
        char *a = vos_tempnam(other.c_str(), "langlonger");
        char *b = vos_tempnam(nullptr, "langlonger");
        ASSERT_TRUE(a && b);
        for (const char *name : {a, b}) {
            const std::string text(name);
            EXPECT_TRUE(text.starts_with(dir_.str("langl"))) << text;
            EXPECT_EQ(text.size(), dir_.str("langlXXXXXX").size());
            struct stat st;
            EXPECT_NE(lstat(name, &st), 0);
        }
        EXPECT_STRNE(a, b);
        free(a);
        free(b);
    }
    {
        glotta_test::EnvOverride tmp("TMPDIR", dir_.str("missing"));
        for (const char *prefix : {static_cast<const char *>(nullptr), ""}) {
            char *name = vos_tempnam((other + "/").c_str(), prefix);
            ASSERT_NE(name, nullptr);
            EXPECT_TRUE(std::string(name).starts_with(other + "/file")) << name;
            EXPECT_EQ(std::string(name).size(), (other + "/fileXXXXXX").size());
            free(name);
        }
    }
}

TEST_F(PlatformRegularFile, TemporaryFilesAreNewAndPrivate) {
    {
        glotta_test::EnvOverride tmp("TMPDIR", dir_.str());
        EXPECT_EQ(std::string(vos_tempdir()), dir_.str());
    }
    {
        glotta_test::EnvOverride tmp("TMPDIR", dir_.write("not-a-dir", ""));
        EXPECT_STRNE(vos_tempdir(), dir_.str("not-a-dir").c_str());
    }
    std::string first = dir_.str("langXXXXXX.log"), second = first;
    const int a = vos_mkstemps(first.data(), 4);
    const int b = vos_mkstemps(second.data(), 4);
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    EXPECT_NE(first, second);
    for (const std::string &name : {first, second}) {
        EXPECT_TRUE(name.starts_with(dir_.str("lang")) && name.ends_with(".log")) << name;
        EXPECT_EQ(name.size(), dir_.str("langXXXXXX.log").size());
        struct stat st;
        ASSERT_EQ(stat(name.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0600u) << name;
    }
    close(a);
    close(b);
    std::string bad = dir_.str("langXXXXX.log");  // too few X's
    EXPECT_EQ(vos_mkstemps(bad.data(), 4), -1);
    EXPECT_EQ(vos_mkstemps(nullptr, 4), -1);
}

// The build id of the module that holds an address: this test program's own
// (the build links every program with one), the C library's for its code,
// none for an address outside every module.
TEST(PlatformBuildId, OfTheModuleHoldingTheAddress) {
    unsigned char own[64] = {}, again[64] = {}, libc[64] = {}, prefix[4] = {};
    const void *here = reinterpret_cast<const void *>(&vos_build_id);
    const size_t length = vos_build_id(here, own, sizeof own);
    EXPECT_EQ(length, 20u);  // sha1
    EXPECT_EQ(vos_build_id(here, again, sizeof again), length);
    EXPECT_EQ(memcmp(own, again, sizeof own), 0);
    // A short buffer takes the id's first bytes; the length is the whole.
    EXPECT_EQ(vos_build_id(here, prefix, sizeof prefix), length);
    EXPECT_EQ(memcmp(prefix, own, sizeof prefix), 0);
    EXPECT_EQ(vos_build_id(here, nullptr, 0), length);

    const size_t libcLength =
        vos_build_id(reinterpret_cast<const void *>(&memcmp), libc, sizeof libc);
    if (libcLength > 0) {
        EXPECT_NE(memcmp(own, libc, sizeof own), 0);
    }

    int onTheStack = 0;
    EXPECT_EQ(vos_build_id(&onTheStack, own, sizeof own), 0u);
    EXPECT_EQ(vos_build_id(nullptr, own, sizeof own), 0u);
}
