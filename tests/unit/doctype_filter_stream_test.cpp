#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "doctype/filter_stream.h"
#include "engine/lang_api.h"
#include "engine/lang_context.h"
#include "platform/vos.h"

namespace {

std::string write_temp(const std::string &name, const std::string &content) {
    const std::string path = testing::TempDir() + "glotta_fs_" + std::to_string(getpid()) + "_" + name;
    std::ofstream(path, std::ios::binary) << content;
    return path;
}

// A scripted filter plug-in: opening a document reads the whole file through
// the stream callbacks; the text is the file's bytes as UTF-16 units, handed
// out in chunks of `chunkUnits` units.
struct FakeFilter {
    size_t chunkUnits = 4;
    bool openFails = false;
    bool openTextFails = false;
    int failReadAt = -1;  // chunk index whose read fails
    int reads = 0;
    int closes = 0;
    bool streamClosedByPlugIn = false;
    std::string lastContent;
};
FakeFilter g_fake;

struct FakeDocument {
    std::vector<uint16_t> units;
    size_t next = 0;
};

void *fake_open_document(void *, DXStream *stream) {
    if (g_fake.openFails) return nullptr;
    if (stream->open(stream) != 1) return nullptr;
    // Exercise positioning the way format readers do.
    EXPECT_EQ(stream->seek(stream, 0, DX_SEEK_END), 1);
    const int64_t size = stream->tell(stream);
    EXPECT_EQ(stream->seek(stream, 0, DX_SEEK_SET), 1);
    std::string content(static_cast<size_t>(size), '\0');
    int64_t got = 0;
    while (got < size) {
        const int n = stream->read(stream, content.data() + got, static_cast<int>(size - got));
        if (n <= 0) break;
        got += n;
    }
    content.resize(static_cast<size_t>(got));
    g_fake.lastContent = content;
    if (g_fake.streamClosedByPlugIn) stream->close(stream);
    auto *doc = new FakeDocument;
    for (unsigned char c : content) doc->units.push_back(c);
    return doc;
}

void fake_close_document(void *, void *document) {
    ++g_fake.closes;
    delete static_cast<FakeDocument *>(document);
}

int fake_open_text(void *, void *) {
    return g_fake.openTextFails ? 1 : 0;
}

int fake_read_text(void *, void *document, DXTextChunk *chunk, int) {
    auto *doc = static_cast<FakeDocument *>(document);
    const int index = g_fake.reads++;
    if (index == g_fake.failReadAt) return 7;
    const size_t n = std::min(g_fake.chunkUnits, doc->units.size() - doc->next);
    chunk->length = static_cast<int32_t>(n * 2);
    chunk->data = n ? malloc(n * 2) : nullptr;
    auto *bytes = static_cast<unsigned char *>(chunk->data);
    for (size_t i = 0; i < n; ++i) {
        const uint16_t u = doc->units[doc->next + i];
        bytes[2 * i] = static_cast<unsigned char>(u & 0xFF);
        bytes[2 * i + 1] = static_cast<unsigned char>(u >> 8);
    }
    doc->next += n;
    return 0;
}

class FilterStream : public testing::Test {
  protected:
    void SetUp() override {
        g_fake = FakeFilter{};
        ASSERT_EQ(MutexInit(nullptr, &mutex_, 0), 0);
        ctx_.filterMutex = &mutex_;
        ctx_.filterHandle = &ctx_;
        ctx_.filterInterface.openDocument = fake_open_document;
        ctx_.filterInterface.closeDocument = fake_close_document;
        ctx_.filterInterface.openText = fake_open_text;
        ctx_.filterInterface.readText = fake_read_text;
    }
    void TearDown() override {
        if (mutex_.state == 2) {
            // The conversation left the mutex unlocked.
            EXPECT_EQ(MutexLock(nullptr, &mutex_), 0);
            EXPECT_EQ(MutexUnlock(nullptr, &mutex_), 0);
            MutexDestroy(nullptr, &mutex_);
        }
    }

    // Filters a file holding `content`; the text comes back as ASCII.
    int filter(const std::string &content, int32_t maxChars, std::string &ascii,
               int32_t *byteLength = nullptr) {
        const std::string path = write_temp("doc", content);
        unsigned char *text = reinterpret_cast<unsigned char *>(1);
        int32_t length = -1;
        const int rc = DXFilterFile(&ctx_, path.c_str(), maxChars, &text, &length);
        ascii.clear();
        if (text) {
            for (int32_t i = 0; i + 1 < length; i += 2) {
                EXPECT_EQ(text[i + 1], 0);
                ascii += static_cast<char>(text[i]);
            }
        }
        if (byteLength) *byteLength = length;
        vos_free(text);
        unlink(path.c_str());
        return rc;
    }

    LangContext ctx_{};
    VosMutex mutex_{};
};

}  // namespace

TEST_F(FilterStream, NoiseRunsBecomeOneSpace) {
    std::string text;
    g_fake.chunkUnits = 100;
    EXPECT_EQ(filter("Hello,  world", 2048, text), 0);
    EXPECT_EQ(text, "Hello world");
    EXPECT_EQ(g_fake.lastContent, "Hello,  world");
    EXPECT_EQ(g_fake.closes, 1);
}

TEST_F(FilterStream, LineBreaksStayDigitsAndPunctuationGo) {
    std::string text;
    g_fake.chunkUnits = 100;
    EXPECT_EQ(filter("a\nb\r\nc 123 d?e@f", 2048, text), 0);
    EXPECT_EQ(text, "a\nb\r\nc d e@f");
}

TEST_F(FilterStream, NoiseAtTheEndOfAChunkLeavesNoSpace) {
    std::string text;
    g_fake.chunkUnits = 3;
    EXPECT_EQ(filter("ab,cd", 2048, text), 0);  // chunks "ab," and "cd"
    EXPECT_EQ(text, "abcd");
    EXPECT_EQ(filter("ab,,cd", 2048, text), 0);  // "ab," and ",cd": the run restarts
    EXPECT_EQ(text, "ab cd");
}

TEST_F(FilterStream, LimitIsTwiceTheCharacters) {
    std::string text;
    int32_t bytes = 0;
    g_fake.chunkUnits = 7;
    const std::string words(1000, 'w');
    EXPECT_EQ(filter(words, 100, text, &bytes), 0);
    EXPECT_EQ(bytes, 200);
    EXPECT_EQ(text, std::string(100, 'w'));
}

TEST_F(FilterStream, AtExactlyTheLimitTheDocumentIsReadToItsEnd) {
    std::string text;
    g_fake.chunkUnits = 2;
    EXPECT_EQ(filter("abcdefgh", 2, text), 0);
    EXPECT_EQ(text, "ab");
    EXPECT_EQ(g_fake.reads, 5);  // four chunks and the end
}

TEST_F(FilterStream, PastTheLimitTheLoopEnds) {
    std::string text;
    int32_t bytes = 0;
    g_fake.chunkUnits = 4;
    // "a" then a space and "b" go past 4 bytes: cut back to the limit.
    EXPECT_EQ(filter("a,bcdefgh", 2, text, &bytes), 0);
    EXPECT_EQ(bytes, 4);
    EXPECT_EQ(text, "a ");
    EXPECT_EQ(g_fake.reads, 1);
}

TEST_F(FilterStream, Failures) {
    std::string text;
    g_fake.openFails = true;
    EXPECT_EQ(filter("abc", 100, text), LANG_ERR_DXOPEN);
    EXPECT_EQ(text, "");
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
}

TEST_F(FilterStream, WithoutAFilterLibraryNothingOpens) {
    ctx_.filterInterface = DXFilterInterface{};
    std::string text;
    EXPECT_EQ(filter("abc", 100, text), LANG_ERR_DXOPEN);
}

TEST_F(FilterStream, OutOfMemoryDropsTheText) {
    std::string text;
    const std::string path = write_temp("oom", "abcdef");
    unsigned char *out = reinterpret_cast<unsigned char *>(1);
    int32_t length = -1;
    vos_fail_alloc_after(2);  // the stream record and its path succeed
    const int rc = DXFilterFile(&ctx_, path.c_str(), 100, &out, &length);
    vos_fail_alloc_after(-1);
    EXPECT_EQ(rc, LANG_ERR_NOMEM);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(length, 0);
    EXPECT_EQ(g_fake.closes, 1);
    unlink(path.c_str());

    vos_fail_alloc_after(0);
    EXPECT_EQ(DXFilterFile(&ctx_, GLOTTA_TEST_DATA "/pipeline/plain_en.txt", 100, &out, &length),
              LANG_ERR_NOMEM);
    vos_fail_alloc_after(-1);
}

TEST_F(FilterStream, MutexFailures) {
    MutexDestroy(nullptr, &mutex_);
    std::string text;
    EXPECT_EQ(filter("abc", 100, text), LANG_ERR_MUTEX);
    EXPECT_EQ(g_fake.reads, 0);
    EXPECT_EQ(g_fake.lastContent, "");
}

TEST_F(FilterStream, PlugInMayCloseTheStreamItself) {
    std::string text;
    g_fake.streamClosedByPlugIn = true;
    g_fake.chunkUnits = 100;
    EXPECT_EQ(filter("bonjour", 100, text), 0);
    EXPECT_EQ(text, "bonjour");
}

TEST(FilterCallbacks, StreamLifecycle) {
    const std::string path = write_temp("cb", "0123456789");
    DXStream stream{};
    ASSERT_EQ(InitStream(&stream, path.c_str()), 0);
    auto *record = static_cast<DXStreamRecord *>(stream.record);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(stream.reserved, 0u);
    EXPECT_EQ(stream.open, DXOpen);
    EXPECT_EQ(stream.close, DXClose);
    EXPECT_STREQ(record->path, path.c_str());
    EXPECT_NE(record->path, path.c_str());

    // Before the plug-in opens the stream it behaves as a closed one.
    char buffer[16] = {};
    EXPECT_EQ(DXRead(&stream, buffer, 4), -1);
    EXPECT_EQ(DXTell(&stream), -1);
    EXPECT_EQ(DXSeek(&stream, 3, DX_SEEK_SET), 1);
    EXPECT_EQ(DXClose(&stream), -1);

    ASSERT_EQ(DXOpen(&stream), 1);
    EXPECT_EQ(DXRead(&stream, buffer, 4), 4);
    EXPECT_EQ(std::string(buffer, 4), "0123");
    EXPECT_EQ(DXTell(&stream), 4);
    EXPECT_EQ(DXSeek(&stream, 2, DX_SEEK_CUR), 1);
    EXPECT_EQ(DXTell(&stream), 6);
    EXPECT_EQ(DXSeek(&stream, -3, DX_SEEK_END), 1);  // length 0: the real end
    EXPECT_EQ(DXTell(&stream), 7);
    EXPECT_EQ(DXSeek(&stream, -100, DX_SEEK_SET), 0);
    EXPECT_EQ(DXSeek(&stream, 0, 9), 0);  // unknown origin passed on, refused
    EXPECT_EQ(DXRead(&stream, buffer, 16), 3);
    EXPECT_EQ(DXRead(&stream, buffer, 16), 0);
    EXPECT_EQ(DXClose(&stream), 0);
    EXPECT_EQ(record->descriptor, -1);
    EXPECT_EQ(DXClose(&stream), -1);
    EXPECT_EQ(FreeStream(&stream), 0);
    EXPECT_EQ(stream.record, nullptr);
    EXPECT_EQ(FreeStream(&stream), 0);
    EXPECT_EQ(FreeStream(nullptr), LANG_ERR_IDENTIFY);
    unlink(path.c_str());
}

TEST(FilterCallbacks, DocumentInsideAFile) {
    const std::string path = write_temp("inner", "headerDOCUMENTtrailer");
    DXStream stream{};
    ASSERT_EQ(InitStream(&stream, path.c_str()), 0);
    auto *record = static_cast<DXStreamRecord *>(stream.record);
    record->start = 6;
    record->length = 8;
    ASSERT_EQ(DXOpen(&stream), 1);
    EXPECT_EQ(DXTell(&stream), 0);
    char buffer[8] = {};
    EXPECT_EQ(DXRead(&stream, buffer, 3), 3);
    EXPECT_EQ(std::string(buffer, 3), "DOC");
    EXPECT_EQ(DXSeek(&stream, -2, DX_SEEK_END), 1);
    EXPECT_EQ(DXTell(&stream), 6);
    EXPECT_EQ(DXRead(&stream, buffer, 2), 2);
    EXPECT_EQ(std::string(buffer, 2), "NT");
    EXPECT_EQ(DXSeek(&stream, 1, DX_SEEK_SET), 1);
    EXPECT_EQ(DXRead(&stream, buffer, 2), 2);
    EXPECT_EQ(std::string(buffer, 2), "OC");
    // Left open: FreeStream does not leak the descriptor.
    EXPECT_EQ(FreeStream(&stream), 0);
    unlink(path.c_str());
}

TEST(FilterCallbacks, OpenFailures) {
    DXStream stream{};
    ASSERT_EQ(InitStream(&stream, "/no/such/file"), 0);
    EXPECT_EQ(DXOpen(&stream), 0);
    EXPECT_EQ(DXRead(&stream, nullptr, 0), -1);
    EXPECT_EQ(FreeStream(&stream), 0);

    const std::string path = write_temp("short", "abc");
    ASSERT_EQ(InitStream(&stream, path.c_str()), 0);
    static_cast<DXStreamRecord *>(stream.record)->start = -5;  // cannot be positioned
    EXPECT_EQ(DXOpen(&stream), 0);
    EXPECT_GE(static_cast<DXStreamRecord *>(stream.record)->descriptor, 0);  // still stored
    EXPECT_EQ(FreeStream(&stream), 0);

    vos_fail_alloc_after(0);
    EXPECT_EQ(InitStream(&stream, path.c_str()), LANG_ERR_NOMEM);
    vos_fail_alloc_after(1);
    EXPECT_EQ(InitStream(&stream, path.c_str()), LANG_ERR_NOMEM);
    vos_fail_alloc_after(-1);
    EXPECT_EQ(stream.record, nullptr);
    unlink(path.c_str());
}
