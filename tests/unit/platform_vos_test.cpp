#include <gtest/gtest.h>
#include <string.h>
#include <unistd.h>

#include <string>

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
