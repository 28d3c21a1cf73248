// IZi18nConvert against a scripted services object: argument checks, copies,
// built-in routes, the library protocol, the KOI8-R detour, the lossy check
// and the lock.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "conv/zi18n_conv.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A services object whose charsets are toys: bytes 0xC0..0xFF of charset 6
// are the Cyrillic letters U+0410..U+044F, every other charset is Latin-1.
// The between-charsets operation turns every byte >= 0x80 into "?".
struct Script {
    std::vector<std::string> calls;
    int selected = 0;
    int failOp = -1;  // slot whose operation answers 0
    uintptr_t lmbcsAtConvert = 0;
};
Script *g_script = nullptr;

uint16_t toy_decode(int charset, uint8_t b) {
    if (charset == 6 && b >= 0xC0) return static_cast<uint16_t>(0x0410 + (b - 0xC0));
    return b;
}

void put_unit(uint8_t *p, uint16_t u, int bigEndian) {
    p[bigEndian ? 1 : 0] = static_cast<uint8_t>(u & 0xFF);
    p[bigEndian ? 0 : 1] = static_cast<uint8_t>(u >> 8);
}

int op_set_subst(DXServices *, int c) {
    g_script->calls.push_back("subst " + std::to_string(c));
    return g_script->failOp != DX_SVC_SET_SUBST;
}

int op_select(DXServices *, int charset) {
    g_script->calls.push_back("select " + std::to_string(charset));
    g_script->selected = charset;
    return g_script->failOp != DX_SVC_SELECT;
}

int op_to_unicode(DXServices *, DXBuffer *src, DXBuffer *dst, int subst, int bigEndian) {
    g_script->calls.push_back("to " + std::to_string(subst) + " " + std::to_string(bigEndian));
    if (g_script->failOp == DX_SVC_TO_UNICODE || dst->length < 2 * src->length) return 0;
    auto *in = static_cast<const uint8_t *>(src->data);
    auto *out = static_cast<uint8_t *>(dst->data);
    for (int32_t i = 0; i < src->length; ++i) {
        put_unit(out + 2 * i, toy_decode(g_script->selected, in[i]), bigEndian);
    }
    dst->length = 2 * src->length;
    return 1;
}

int op_from_unicode(DXServices *, DXBuffer *src, DXBuffer *dst, int subst, int bigEndian) {
    g_script->calls.push_back("from " + std::to_string(subst) + " " + std::to_string(bigEndian));
    if (g_script->failOp == DX_SVC_FROM_UNICODE || dst->length < src->length / 2) return 0;
    auto *in = static_cast<const uint8_t *>(src->data);
    auto *out = static_cast<uint8_t *>(dst->data);
    for (int32_t i = 0; i < src->length / 2; ++i) {
        const uint16_t u =
            bigEndian ? (in[2 * i] << 8 | in[2 * i + 1]) : (in[2 * i + 1] << 8 | in[2 * i]);
        out[i] = u <= 0xFF ? static_cast<uint8_t>(u) : static_cast<uint8_t>(subst);
    }
    dst->length = src->length / 2;
    return 1;
}

int op_convert(DXServices *svc, int source, DXBuffer *src, DXBuffer *dst, int subst) {
    g_script->calls.push_back("convert " + std::to_string(source) + " " + std::to_string(subst));
    g_script->lmbcsAtConvert = svc->slot[DX_SVC_LMBCS_SETTING];
    if (g_script->failOp == DX_SVC_CONVERT || dst->length < src->length) return 0;
    auto *in = static_cast<const uint8_t *>(src->data);
    auto *out = static_cast<uint8_t *>(dst->data);
    for (int32_t i = 0; i < src->length; ++i) out[i] = in[i] >= 0x80 ? subst : in[i];
    dst->length = src->length;
    return 1;
}

class Dispatch : public ::testing::Test {
  protected:
    void SetUp() override {
        g_script = &script;
        std::memset(&svc, 0, sizeof svc);
        svc.slot[DX_SVC_SET_SUBST] = reinterpret_cast<uintptr_t>(&op_set_subst);
        svc.slot[DX_SVC_SELECT] = reinterpret_cast<uintptr_t>(&op_select);
        svc.slot[DX_SVC_TO_UNICODE] = reinterpret_cast<uintptr_t>(&op_to_unicode);
        svc.slot[DX_SVC_FROM_UNICODE] = reinterpret_cast<uintptr_t>(&op_from_unicode);
        svc.slot[DX_SVC_CONVERT] = reinterpret_cast<uintptr_t>(&op_convert);
        std::memset(&mutex, 0, sizeof mutex);
        ASSERT_EQ(MutexInit(nullptr, &mutex, 0), 0);
        ctx = Zi18nHandle{nullptr, &svc, &mutex};
    }
    void TearDown() override {
        MutexDestroy(nullptr, &mutex);
        g_script = nullptr;
    }

    int convert(int32_t source, const Bytes &in, int32_t target, int32_t outSize, int big = 0) {
        out.assign(static_cast<size_t>(outSize), 0xEE);
        consumed = -7;
        length = -7;
        return IZi18nConvert(&ctx, source, in.data(), static_cast<int32_t>(in.size()), &consumed,
                             target, out.data(), outSize, &length, big);
    }
    Bytes produced() const { return Bytes(out.begin(), out.begin() + (length > 0 ? length : 0)); }

    Script script;
    DXServices svc;
    VosMutex mutex;
    Zi18nHandle ctx;
    Bytes out;
    int32_t consumed = 0, length = 0;
};

}  // namespace

TEST_F(Dispatch, ArgumentChecksInOrder) {
    const Bytes in = {'a'};
    uint8_t buf[4];
    int32_t c = 0, l = 0;
    EXPECT_EQ(IZi18nConvert(nullptr, 7, in.data(), 1, &c, 51, buf, 4, &l, 0), ZI18N_ERR_FAILED);
    Zi18nHandle bare{nullptr, nullptr, nullptr};
    EXPECT_EQ(IZi18nConvert(&bare, 53, in.data(), 1, &c, 51, buf, 4, &l, 0), ZI18N_ERR_FAILED);
    EXPECT_EQ(IZi18nConvert(&ctx, 0, nullptr, 1, &c, 51, buf, 4, &l, 0), ZI18N_ERR_CHARSET);
    EXPECT_EQ(IZi18nConvert(&ctx, 7, in.data(), 1, &c, 0, buf, 4, &l, 0), ZI18N_ERR_CHARSET);
    EXPECT_EQ(IZi18nConvert(&ctx, 7, nullptr, 1, &c, 51, nullptr, 4, &l, 0), ZI18N_ERR_NOINPUT);
    EXPECT_EQ(IZi18nConvert(&ctx, 7, in.data(), 0, &c, 51, buf, 4, &l, 0), ZI18N_ERR_NOINPUT);
    EXPECT_EQ(IZi18nConvert(&ctx, 7, in.data(), 1, &c, 51, nullptr, 4, &l, 0), ZI18N_ERR_NOOUTPUT);
    EXPECT_EQ(IZi18nConvert(&ctx, 7, in.data(), 1, &c, 51, buf, 0, &l, 0), ZI18N_ERR_NOOUTPUT);
    EXPECT_TRUE(script.calls.empty());
}

TEST_F(Dispatch, SameCharsetCopies) {
    EXPECT_EQ(convert(6, {1, 2, 3}, 6, 5), 0);
    EXPECT_EQ(consumed, 3);
    EXPECT_EQ(length, 3);
    EXPECT_EQ(out, (Bytes{1, 2, 3, 0, 0}));  // the rest of the output is zeroed
    EXPECT_TRUE(script.calls.empty());
}

TEST_F(Dispatch, SameCharsetShortfall) {
    EXPECT_EQ(convert(6, {1, 2, 3, 4, 5}, 6, 2), ZI18N_ERR_SHORTOUTPUT);
    EXPECT_EQ(consumed, 2);
    EXPECT_EQ(length, -3);
    EXPECT_EQ(out, (Bytes{1, 2}));
}

TEST_F(Dispatch, TerminatedSources) {
    // For 16-bit Unicode only an aligned zero unit ends the text.
    const uint8_t utf16[] = {0x41, 0x00, 0x00, 0x42, 0x00, 0x00, 0x43, 0x00};
    uint8_t buf[16];
    int32_t c = 0, l = 0;
    EXPECT_EQ(IZi18nConvert(&ctx, 51, utf16, -1, &c, 51, buf, 16, &l, 0), 0);
    EXPECT_EQ(c, 4);
    EXPECT_EQ(l, 4);
    const char text[] = "abc\0def";
    EXPECT_EQ(IZi18nConvert(&ctx, 53, text, -1, &c, 51, buf, 16, &l, 0), 0);
    EXPECT_EQ(c, 3);
    EXPECT_EQ(l, 6);
    EXPECT_EQ(IZi18nConvert(&ctx, 7, "ab", -1, &c, 51, buf, 16, &l, 0), 0);
    EXPECT_EQ(l, 4);
}

TEST_F(Dispatch, BuiltInRoutesTakeNoLock) {
    VosMutex broken{};  // never initialised: any lock attempt fails
    ctx.mutex = &broken;
    EXPECT_EQ(convert(53, {0x41, 0xC3, 0xA9}, 51, 8), 0);
    EXPECT_EQ(produced(), (Bytes{0x41, 0, 0xE9, 0}));
    EXPECT_EQ(convert(51, {0xE9, 0}, 53, 8), 0);
    EXPECT_EQ(produced(), (Bytes{0xC3, 0xA9}));
    EXPECT_EQ(convert(51, {0x04, 0x16}, 73, 8, 1), 0);
    EXPECT_EQ(produced(), (Bytes{0xF6}));
    EXPECT_EQ(convert(53, {'a', 0xE4}, 51, 8), ZI18N_ERR_PARTIAL);
    EXPECT_EQ(convert(53, {'a', 'b'}, 51, 2), ZI18N_ERR_SHORTOUTPUT);
    EXPECT_EQ(length, -2);
    EXPECT_TRUE(script.calls.empty());
    EXPECT_EQ(convert(7, {'a'}, 51, 8), ZI18N_ERR_MUTEX);
    EXPECT_TRUE(script.calls.empty());
}

TEST_F(Dispatch, ToUnicodeSelectsTheSource) {
    EXPECT_EQ(convert(6, {'a', 0xC6}, 51, 8, 1), 0);
    EXPECT_EQ(script.calls, (std::vector<std::string>{"subst 63", "select 6", "to 63 1"}));
    EXPECT_EQ(length, 4);
    EXPECT_EQ(consumed, 2);
    EXPECT_EQ(produced(), (Bytes{0, 'a', 0x04, 0x16}));
}

TEST_F(Dispatch, FromUnicodeSelectsTheTarget) {
    EXPECT_EQ(convert(51, {'a', 0, 0x16, 0x04}, 6, 8), 0);
    EXPECT_EQ(script.calls, (std::vector<std::string>{"subst 63", "select 6", "from 63 0"}));
    EXPECT_EQ(produced(), (Bytes{'a', '?'}));  // lossy, but a Unicode source is always valid
}

TEST_F(Dispatch, BetweenCharsetsSelectsTheTarget) {
    EXPECT_EQ(convert(28, {'a', 'b'}, 7, 8), 0);
    EXPECT_EQ(script.calls, (std::vector<std::string>{"subst 63", "select 7", "convert 28 63"}));
    EXPECT_EQ(produced(), (Bytes{'a', 'b'}));
    EXPECT_EQ(script.lmbcsAtConvert, 0u);
}

TEST_F(Dispatch, LossyMappingIsReportedWithTheOutput) {
    EXPECT_EQ(convert(6, {'a', 0xC6, 'b'}, 7, 8), ZI18N_ERR_LOSSY);
    EXPECT_EQ(length, 3);
    EXPECT_EQ(produced(), (Bytes{'a', '?', 'b'}));
    // Question marks already in the source do not count against the conversion.
    EXPECT_EQ(convert(6, {'?', 'a', '?'}, 7, 8), 0);
    // A compatible pair is never checked.
    EXPECT_EQ(convert(7, {'a', 0xE9}, 14, 8), 0);
    EXPECT_EQ(produced(), (Bytes{'a', '?'}));
}

TEST_F(Dispatch, LossyCountStopsAtAZeroByte) {
    EXPECT_EQ(convert(6, {'a', 0, 0xC6}, 7, 8), 0);
    EXPECT_EQ(produced(), (Bytes{'a', 0, '?'}));
}

TEST_F(Dispatch, LmbcsStoresTheDefaultGroup) {
    EXPECT_EQ(convert(50, {'a'}, 51, 8), 0);
    EXPECT_EQ(script.calls, (std::vector<std::string>{"subst 63", "select 51", "convert 50 63"}));
    EXPECT_EQ(script.lmbcsAtConvert, 28u);
    svc.slot[DX_SVC_LMBCS_SETTING] = 0;
    script.calls.clear();
    EXPECT_EQ(convert(7, {'a'}, 50, 8), 0);
    EXPECT_EQ(script.calls, (std::vector<std::string>{"subst 63", "select 50", "convert 7 63"}));
    EXPECT_EQ(script.lmbcsAtConvert, 28u);
}

TEST_F(Dispatch, Koi8rTargetGoesThroughUnicode) {
    // 1251 "Zhe" and a character KOI8-R lacks; no lossy check for KOI8-R.
    EXPECT_EQ(convert(6, {'a', 0xC6, 0x80}, 73, 8), 0);
    EXPECT_EQ(script.calls, (std::vector<std::string>{"subst 63", "select 6", "to 63 0"}));
    EXPECT_EQ(produced(), (Bytes{'a', 0xF6, '?'}));
    EXPECT_EQ(convert(6, {0xC6, 0xC6, 0xC6}, 73, 2), ZI18N_ERR_SHORTOUTPUT);
    EXPECT_EQ(length, -1);
}

TEST_F(Dispatch, LibraryFailureUnlocks) {
    script.failOp = DX_SVC_CONVERT;
    EXPECT_EQ(convert(6, {'a'}, 7, 8), ZI18N_ERR_LIBRARY);
    EXPECT_EQ(length, 0);
    script.failOp = DX_SVC_SELECT;
    EXPECT_EQ(convert(6, {'a'}, 51, 8), ZI18N_ERR_LIBRARY);
    script.failOp = DX_SVC_SET_SUBST;
    EXPECT_EQ(convert(51, {'a', 0}, 7, 8), ZI18N_ERR_LIBRARY);
    script.failOp = -1;
    EXPECT_EQ(convert(6, {'a'}, 7, 8), 0);  // the mutex was released every time
    EXPECT_EQ(MutexLock(nullptr, &mutex), 0);
    EXPECT_EQ(MutexUnlock(nullptr, &mutex), 0);
}

TEST_F(Dispatch, MissingOperationIsALibraryError) {
    svc.slot[DX_SVC_CONVERT] = 0;
    EXPECT_EQ(convert(6, {'a'}, 7, 8), ZI18N_ERR_LIBRARY);
    svc.slot[DX_SVC_SET_SUBST] = 0;
    EXPECT_EQ(convert(6, {'a'}, 51, 8), ZI18N_ERR_LIBRARY);
}

TEST_F(Dispatch, NoMutexMeansNoLocking) {
    ctx.mutex = nullptr;
    EXPECT_EQ(convert(6, {'a'}, 7, 8), 0);
}

TEST_F(Dispatch, ByNames) {
    uint8_t buf[8];
    int32_t c = 0, l = 0;
    EXPECT_EQ(Zi18nConvert(&ctx, "UTF-8", "\xC3\xA9", 2, &c, "UTF-16", buf, 8, &l, 0), 0);
    EXPECT_EQ(l, 2);
    EXPECT_EQ(buf[0], 0xE9);
    EXPECT_EQ(Zi18nConvert(&ctx, "us-ascii", "a", 1, &c, "UTF-16", buf, 8, &l, 0),
              ZI18N_ERR_CHARSET);
}
