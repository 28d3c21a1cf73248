#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include "platform/vos.h"

TEST(PlatformAlloc, FreeOfNullIsHarmless) {
    vos_free(nullptr);
}

TEST(PlatformAlloc, FailureHookCountsSuccessfulAllocations) {
    vos_fail_alloc_after(2);
    void *a = vos_malloc(8);
    void *b = vos_calloc(2, 8);
    void *c = vos_malloc(8);
    void *d = vos_realloc(nullptr, 8);
    vos_fail_alloc_after(-1);
    void *e = vos_malloc(8);
    EXPECT_NE(a, nullptr);
    EXPECT_NE(b, nullptr);
    EXPECT_EQ(c, nullptr);
    EXPECT_EQ(d, nullptr);
    EXPECT_NE(e, nullptr);
    EXPECT_EQ(static_cast<char *>(b)[15], 0);
    vos_free(a);
    vos_free(b);
    vos_free(e);
}

TEST(PlatformFile, DescriptorsStartAt256) {
    char path[] = "/tmp/glotta_vos_XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "hello", 5), 5);
    close(fd);
    int v = vos_open(path, VOS_O_RDONLY);
    ASSERT_GE(v, 256);
    char buffer[8] = {};
    EXPECT_EQ(vos_lseek(v, 1, SEEK_SET), 1);
    EXPECT_EQ(vos_read(v, buffer, sizeof buffer), 4);
    EXPECT_STREQ(buffer, "ello");
    EXPECT_EQ(vos_close(v), 0);
    struct stat st;
    EXPECT_EQ(vos_stat(path, &st), 0);
    EXPECT_EQ(st.st_size, 5);
    unlink(path);
    EXPECT_EQ(vos_open(path, VOS_O_RDONLY), -1);
    EXPECT_NE(vos_stat(path, &st), 0);
}

TEST(PlatformFile, TemporaryNamesUseThePrefix) {
    char *name = vos_tempnam(nullptr, "lang");
    ASSERT_NE(name, nullptr);
    std::string base = strrchr(name, '/') + 1;
    EXPECT_EQ(base.rfind("lang", 0), 0u) << name;
    free(name);
}

TEST(PlatformLibrary, CloseKeepsLibrariesLoaded) {
    EXPECT_EQ(vos_dlopen("/nonexistent/library.so", VOS_RTLD_LAZY), nullptr);
    EXPECT_EQ(vos_dlclose(nullptr), 0);
    void *self = vos_dlopen(nullptr, VOS_RTLD_LAZY);
    ASSERT_NE(self, nullptr);
    EXPECT_EQ(vos_dlsym(self, "no_such_symbol_in_this_program"), nullptr);
    EXPECT_EQ(vos_dlclose(self), 0);
}

TEST(PlatformMutex, UninitialisedRecords) {
    VosMutex m{};
    EXPECT_EQ(MutexLock(nullptr, &m), -2);
    EXPECT_EQ(MutexUnlock(nullptr, &m), -2);
    EXPECT_EQ(MutexDestroy(nullptr, &m), -14);
    EXPECT_EQ(MutexLock(nullptr, nullptr), -2);
    EXPECT_EQ(MutexUnlock(nullptr, nullptr), -2);
    EXPECT_EQ(MutexDestroy(nullptr, nullptr), -14);
}

TEST(PlatformMutex, LifeCycle) {
    VosMutex m{};
    EXPECT_EQ(MutexInit(nullptr, nullptr, 0), -14);
    ASSERT_EQ(MutexInit(nullptr, &m, 0), 0);
    EXPECT_EQ(m.state, 2);
    EXPECT_EQ(MutexLock(nullptr, &m), 0);
    EXPECT_EQ(MutexUnlock(nullptr, &m), 0);
    EXPECT_EQ(MutexDestroy(nullptr, &m), 0);
    EXPECT_EQ(m.state, 0);
    EXPECT_EQ(MutexLock(nullptr, &m), -2);
    EXPECT_EQ(MutexDestroy(nullptr, &m), -14);
}

TEST(PlatformMutex, InitZeroFillsAStaleRecord) {
    VosMutex m;
    memset(&m, 0x5a, sizeof m);
    m.state = 0;
    ASSERT_EQ(MutexInit(nullptr, &m, 0), 0);
    EXPECT_EQ(m.pool, nullptr);
    EXPECT_EQ(m.count, 0u);
    EXPECT_EQ(m.owner, 0u);
    EXPECT_EQ(MutexDestroy(nullptr, &m), 0);
}

TEST(PlatformMutex, RecursiveMutexCountsItsOwner) {
    VosMutex m{};
    ASSERT_EQ(MutexInit(nullptr, &m, VOS_MUTEX_RECURSIVE), 0);
    EXPECT_EQ(MutexUnlock(nullptr, &m), -2);  // not owned
    EXPECT_EQ(MutexLock(nullptr, &m), 0);
    EXPECT_EQ(MutexLock(nullptr, &m), 0);
    EXPECT_EQ(m.count, 2u);
    EXPECT_EQ(MutexUnlock(nullptr, &m), 0);
    EXPECT_EQ(m.count, 1u);
    EXPECT_EQ(MutexUnlock(nullptr, &m), 0);
    EXPECT_EQ(m.count, 0u);
    EXPECT_EQ(MutexUnlock(nullptr, &m), -2);
    EXPECT_EQ(MutexDestroy(nullptr, &m), 0);
}
