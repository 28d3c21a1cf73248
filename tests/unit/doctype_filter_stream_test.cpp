#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "doctype/filter_stream.h"
#include "pipeline_test_support.h"

using namespace pipeline_test;

namespace {

class FilterStream : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(MutexInit(nullptr, &mutex_, 0), 0);
        ctx_.filterMutex = &mutex_;
        ctx_.filterHandle = &ctx_;
        InstallFakeFilter(ctx_.filterInterface);
    }
    void TearDown() override {
        if (mutex_.state == 2) {  // left unlocked by the conversation
            EXPECT_EQ(MutexLock(nullptr, &mutex_), 0);
            EXPECT_EQ(MutexUnlock(nullptr, &mutex_), 0);
            MutexDestroy(nullptr, &mutex_);
        }
    }

    // Filters a file holding `content`; the text comes back as ASCII.
    int filter(const std::string &content, int32_t maxChars, std::string &ascii,
               int32_t *byteLength = nullptr) {
        const std::string path = dir_.write("doc", content);
        unsigned char *text = reinterpret_cast<unsigned char *>(1);
        int32_t length = -1;
        const int rc = DXFilterFile(&ctx_, path.c_str(), maxChars, &text, &length);
        ascii.clear();
        for (int32_t i = 0; text && i + 1 < length; i += 2) {
            EXPECT_EQ(text[i + 1], 0);
            ascii += static_cast<char>(text[i]);
        }
        if (byteLength) *byteLength = length;
        vos_free(text);
        return rc;
    }

    TempDir dir_;
    LangContext ctx_{};
    VosMutex mutex_{};
};

}  // namespace

TEST_F(FilterStream, NoiseAndLimits) {
    const struct {
        std::string content;
        size_t chunkUnits;
        int32_t maxChars;
        std::string text;
        int reads;  // -1: any
    } cases[] = {{"Hello,  world", 100, 2048, "Hello world", -1},
                 {"a\nb\r\nc 123 d?e@f", 100, 2048, "a\nb\r\nc d e@f", -1},
                 // Noise that ends a chunk leaves no space; a run restarts per chunk.
                 {"ab,cd", 3, 2048, "abcd", -1},
                 {"ab,,cd", 3, 2048, "ab cd", -1},
                 {std::string(1000, 'w'), 7, 100, std::string(100, 'w'), -1},
                 // At exactly the limit the document is read to its end...
                 {"abcdefgh", 2, 2, "ab", 5},
                 // ...past it the text is cut back and the loop ends.
                 {"a,bcdefgh", 4, 2, "a ", 1}};
    for (const auto &c : cases) {
        g_fake = FakeFilter{};
        g_fake.chunkUnits = c.chunkUnits;
        std::string text;
        int32_t bytes = 0;
        EXPECT_EQ(filter(c.content, c.maxChars, text, &bytes), 0);
        EXPECT_EQ(text, c.text) << c.content;
        EXPECT_EQ(bytes, static_cast<int32_t>(2 * c.text.size()));
        EXPECT_EQ(g_fake.content, c.content);
        EXPECT_EQ(g_fake.closes, 1);
        if (c.reads >= 0) {
            EXPECT_EQ(g_fake.reads, c.reads) << c.content;
        }
    }
    g_fake = FakeFilter{};
    g_fake.closesStream = true;  // the plug-in may close the stream itself
    std::string text;
    EXPECT_EQ(filter("bonjour", 100, text), 0);
    EXPECT_EQ(text, "bonjour");
}

TEST_F(FilterStream, FailureCodes) {
    std::string text;
    g_fake.openFails = true;
    EXPECT_EQ(filter("abc", 100, text), LANG_ERR_DXOPEN);
    EXPECT_EQ(g_fake.closes, 0);
    g_fake = FakeFilter{};
    g_fake.openTextFails = true;
    EXPECT_EQ(filter("abc", 100, text), LANG_ERR_NOTFILTERABLE);
    EXPECT_EQ(g_fake.closes, 1);
    g_fake = FakeFilter{};
    g_fake.chunkUnits = 2;
    g_fake.failReadAt = 1;
    EXPECT_EQ(filter("abcdef", 100, text), LANG_ERR_DXREAD);
    EXPECT_EQ(text, "ab");  // what was gathered before the failure
    EXPECT_EQ(g_fake.closes, 1);
    unsigned char *out = nullptr;
    int32_t length = 0;
    EXPECT_EQ(DXFilterFile(&ctx_, "/no/such/document", 10, &out, &length), LANG_ERR_NOFILE);
    EXPECT_EQ(DXFilterFile(nullptr, "x", 10, &out, &length), LANG_ERR_IDENTIFY);
    EXPECT_EQ(DXFilterFile(&ctx_, nullptr, 10, &out, &length), LANG_ERR_IDENTIFY);
    EXPECT_EQ(DXFilterFile(&ctx_, "x", 10, nullptr, &length), LANG_ERR_IDENTIFY);
    // Out of memory for the text (the stream record and its path succeed).
    g_fake = FakeFilter{};
    out = reinterpret_cast<unsigned char *>(1);
    vos_fail_alloc_after(2);
    EXPECT_EQ(DXFilterFile(&ctx_, dir_.write("oom", "abcdef").c_str(), 100, &out, &length),
              LANG_ERR_NOMEM);
    vos_fail_alloc_after(-1);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(g_fake.closes, 1);
    // Without a filter library nothing opens; a dead mutex stops everything.
    ctx_.filterInterface.openDocument = nullptr;
    EXPECT_EQ(filter("abc", 100, text), LANG_ERR_DXOPEN);
    ctx_.filterInterface.openDocument = FakeOpenDocument;
    g_fake = FakeFilter{};
    MutexDestroy(nullptr, &mutex_);
    EXPECT_EQ(filter("abc", 100, text), LANG_ERR_MUTEX);
    EXPECT_EQ(g_fake.reads, 0);
    EXPECT_EQ(g_fake.content, "");
}

TEST(FilterCallbacks, StreamLifecycle) {
    TempDir dir;
    const std::string path = dir.write("cb", "headerDOCUMENTtrailer");
    DXStream stream{};
    ASSERT_EQ(InitStream(&stream, path.c_str()), 0);
    auto *record = static_cast<DXStreamRecord *>(stream.record);
    EXPECT_STREQ(record->path, path.c_str());
    char buffer[32] = {};
    EXPECT_EQ(DXClose(&stream), -1);  // not open yet
    ASSERT_EQ(DXOpen(&stream), 1);
    EXPECT_EQ(DXRead(&stream, buffer, 6), 6);
    EXPECT_EQ(DXSeek(&stream, 2, DX_SEEK_CUR), 1);
    EXPECT_EQ(DXTell(&stream), 8);
    EXPECT_EQ(DXSeek(&stream, -3, DX_SEEK_END), 1);  // length 0: the real end
    EXPECT_EQ(DXRead(&stream, buffer, 32), 3);
    EXPECT_EQ(std::string(buffer, 3), "ler");
    EXPECT_EQ(DXSeek(&stream, -100, DX_SEEK_SET), 0);
    EXPECT_EQ(DXClose(&stream), 0);
    EXPECT_EQ(DXClose(&stream), -1);
    EXPECT_EQ(DXTell(&stream), -1);
    // A document inside the file.
    record->start = 6;
    record->length = 8;
    ASSERT_EQ(DXOpen(&stream), 1);
    EXPECT_EQ(DXTell(&stream), 0);
    EXPECT_EQ(DXSeek(&stream, -2, DX_SEEK_END), 1);
    EXPECT_EQ(DXTell(&stream), 6);
    EXPECT_EQ(DXRead(&stream, buffer, 2), 2);
    EXPECT_EQ(std::string(buffer, 2), "NT");
    // Left open: FreeStream does not leak the descriptor.
    EXPECT_EQ(FreeStream(&stream), 0);
    EXPECT_EQ(stream.record, nullptr);
    EXPECT_EQ(FreeStream(nullptr), LANG_ERR_IDENTIFY);
    // A start offset that cannot be reached fails the open; memory failures.
    ASSERT_EQ(InitStream(&stream, path.c_str()), 0);
    static_cast<DXStreamRecord *>(stream.record)->start = -5;
    EXPECT_EQ(DXOpen(&stream), 0);
    EXPECT_EQ(FreeStream(&stream), 0);
    for (long n : {0L, 1L}) {
        vos_fail_alloc_after(n);
        EXPECT_EQ(InitStream(&stream, path.c_str()), LANG_ERR_NOMEM);
        vos_fail_alloc_after(-1);
        EXPECT_EQ(stream.record, nullptr);
    }
}
