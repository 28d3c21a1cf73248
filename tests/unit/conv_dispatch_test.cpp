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
// The between-charsets operation turns every byte >= 0x80 into the
// substitution character. The test's mutex is recursive so that its depth
// shows whether a call is made under the lock.
struct Script {
    std::string calls;  // "subst 63, select 6, ..."
    VosMutex *mutex = nullptr;
    int selected = 0;
    int failOp = -1;  // slot whose operation answers 0
    uintptr_t lmbcsAtConvert = 0;

    bool log(int op, const std::string &call) {
        calls += (calls.empty() ? "" : ", ") + call + (mutex && !mutex->count ? " (unlocked)" : "");
        return failOp != op;
    }
};
Script *g_script = nullptr;

int op_set_subst(DXServices *, int c) {
    return g_script->log(DX_SVC_SET_SUBST, "subst " + std::to_string(c));
}

int op_select(DXServices *, int charset) {
    g_script->selected = charset;
    return g_script->log(DX_SVC_SELECT, "select " + std::to_string(charset));
}

// Byte i of the source becomes unit i of the destination.
int op_to_unicode(DXServices *, DXBuffer *src, DXBuffer *dst, int subst, int big) {
    const std::string call = "to " + std::to_string(subst) + " " + std::to_string(big);
    if (!g_script->log(DX_SVC_TO_UNICODE, call) || dst->length < 2 * src->length) return 0;
    auto *in = static_cast<const uint8_t *>(src->data);
    auto *out = static_cast<uint8_t *>(dst->data);
    for (int32_t i = 0; i < src->length; ++i) {
        const unsigned u = g_script->selected == 6 && in[i] >= 0xC0 ? in[i] + 0x350u : in[i];
        out[2 * i + (big ? 1 : 0)] = static_cast<uint8_t>(u & 0xFF);
        out[2 * i + (big ? 0 : 1)] = static_cast<uint8_t>(u >> 8);
    }
    dst->length = 2 * src->length;
    return 1;
}

// Low-byte-first units up to 0xFF become bytes, others the substitute.
int op_from_unicode(DXServices *, DXBuffer *src, DXBuffer *dst, int subst, int big) {
    const std::string call = "from " + std::to_string(subst) + " " + std::to_string(big);
    if (!g_script->log(DX_SVC_FROM_UNICODE, call) || dst->length < src->length / 2) return 0;
    auto *in = static_cast<const uint8_t *>(src->data);
    for (int32_t i = 0; i < src->length / 2; ++i) {
        static_cast<uint8_t *>(dst->data)[i] = in[2 * i + 1] ? subst : in[2 * i];
    }
    dst->length = src->length / 2;
    return 1;
}

int op_convert(DXServices *svc, int source, DXBuffer *src, DXBuffer *dst, int subst) {
    g_script->lmbcsAtConvert = svc->slot[DX_SVC_LMBCS_SETTING];
    const std::string call = "convert " + std::to_string(source) + " " + std::to_string(subst);
    if (!g_script->log(DX_SVC_CONVERT, call) || dst->length < src->length) return 0;
    auto *in = static_cast<const uint8_t *>(src->data);
    for (int32_t i = 0; i < src->length; ++i) {
        static_cast<uint8_t *>(dst->data)[i] = in[i] >= 0x80 ? subst : in[i];
    }
    dst->length = src->length;
    return 1;
}

class Dispatch : public ::testing::Test {
  protected:
    void SetUp() override {
        g_script = &script;
        svc.slot[DX_SVC_SET_SUBST] = reinterpret_cast<uintptr_t>(&op_set_subst);
        svc.slot[DX_SVC_SELECT] = reinterpret_cast<uintptr_t>(&op_select);
        svc.slot[DX_SVC_TO_UNICODE] = reinterpret_cast<uintptr_t>(&op_to_unicode);
        svc.slot[DX_SVC_FROM_UNICODE] = reinterpret_cast<uintptr_t>(&op_from_unicode);
        svc.slot[DX_SVC_CONVERT] = reinterpret_cast<uintptr_t>(&op_convert);
        ASSERT_EQ(MutexInit(nullptr, &mutex, VOS_MUTEX_RECURSIVE), 0);
        script.mutex = &mutex;
    }
    void TearDown() override {
        MutexDestroy(nullptr, &mutex);
        g_script = nullptr;
    }

    int convert(int32_t source, const Bytes &in, int32_t target, int32_t outSize, int big = 0,
                int32_t inLength = 0) {
        out.assign(static_cast<size_t>(outSize), 0xEE);
        consumed = length = -7;
        script.calls.clear();
        return IZi18nConvert(&ctx, source, in.data(),
                             inLength ? inLength : static_cast<int32_t>(in.size()), &consumed,
                             target, out.data(), outSize, &length, big);
    }
    Bytes produced() const { return Bytes(out.begin(), out.begin() + (length > 0 ? length : 0)); }

    Script script;
    DXServices svc{};
    VosMutex mutex{};
    Zi18nHandle ctx{nullptr, &svc, &mutex};
    Bytes out;
    int32_t consumed = 0, length = 0;
};

}  // namespace

TEST_F(Dispatch, ArgumentChecksInOrder) {
    const uint8_t in[] = {'a'};
    uint8_t buf[4];
    int32_t c = 0, l = 0;
    Zi18nHandle bare{nullptr, nullptr, nullptr};
    EXPECT_EQ(IZi18nConvert(nullptr, 7, in, 1, &c, 51, buf, 4, &l, 0), ZI18N_ERR_FAILED);
    EXPECT_EQ(IZi18nConvert(&bare, 53, in, 1, &c, 51, buf, 4, &l, 0), ZI18N_ERR_FAILED);
    EXPECT_EQ(IZi18nConvert(&ctx, 0, nullptr, 1, &c, 51, buf, 4, &l, 0), ZI18N_ERR_CHARSET);
    EXPECT_EQ(IZi18nConvert(&ctx, 7, in, 1, &c, 0, buf, 4, &l, 0), ZI18N_ERR_CHARSET);
    EXPECT_EQ(IZi18nConvert(&ctx, 7, nullptr, 1, &c, 51, nullptr, 4, &l, 0), ZI18N_ERR_NOINPUT);
    EXPECT_EQ(IZi18nConvert(&ctx, 7, in, 0, &c, 51, buf, 4, &l, 0), ZI18N_ERR_NOINPUT);
    EXPECT_EQ(IZi18nConvert(&ctx, 7, in, 1, &c, 51, nullptr, 4, &l, 0), ZI18N_ERR_NOOUTPUT);
    EXPECT_EQ(IZi18nConvert(&ctx, 7, in, 1, &c, 51, buf, 0, &l, 0), ZI18N_ERR_NOOUTPUT);
    EXPECT_TRUE(script.calls.empty());
}

// Copies between equal numbers and the built-in conversions take no lock.
TEST_F(Dispatch, CopiesAndBuiltInRoutesTakeNoLock) {
    // A source length of -1 ends at a zero byte, for 16-bit Unicode only at an
    // aligned zero unit.
    EXPECT_EQ(convert(7, {'a', 'b', 0, 'c'}, 51, 16, 0, -1), 0);
    EXPECT_EQ(length, 4);
    VosMutex broken{};  // never initialised: any lock attempt fails
    ctx.mutex = &broken;
    script.mutex = nullptr;
    EXPECT_EQ(convert(51, {0x41, 0, 0, 0x42, 0, 0, 0x43, 0}, 51, 16, 0, -1), 0);
    EXPECT_EQ(consumed, 4);
    EXPECT_EQ(convert(53, {'a', 'b', 'c', 0, 'd'}, 51, 16, 0, -1), 0);
    EXPECT_EQ(consumed, 3);

    EXPECT_EQ(convert(6, {1, 2, 3}, 6, 5), 0);
    EXPECT_EQ(out, (Bytes{1, 2, 3, 0, 0}));  // the rest of the output is zeroed
    EXPECT_EQ(convert(6, {1, 2, 3, 4, 5}, 6, 2), ZI18N_ERR_SHORTOUTPUT);
    EXPECT_EQ(consumed, 2);
    EXPECT_EQ(length, -3);
    EXPECT_EQ(out, (Bytes{1, 2}));
    EXPECT_EQ(convert(53, {0x41, 0xC3, 0xA9}, 51, 8), 0);
    EXPECT_EQ(convert(51, {0xE9, 0}, 53, 8), 0);
    EXPECT_EQ(convert(51, {0x04, 0x16}, 73, 8, 1), 0);
    EXPECT_EQ(produced(), (Bytes{0xF6}));  // the byte-order flag is passed on
    EXPECT_EQ(convert(53, {'a', 0xE4}, 51, 8), ZI18N_ERR_PARTIAL);
    EXPECT_TRUE(script.calls.empty());
    EXPECT_EQ(convert(7, {'a'}, 51, 8), ZI18N_ERR_MUTEX);
    EXPECT_TRUE(script.calls.empty());
}

// Every library conversion sets "?" as substitute and selects one charset
// first, all under the lock. A Unicode source is always a valid mapping,
// "?" already in the source does not count, the count stops at a zero byte,
// compatible pairs are not checked, LMBCS on either side stores code page 850
// as its setting, and a KOI8-R target goes to Unicode first and is not checked.
TEST_F(Dispatch, LibraryProtocolUnderTheLock) {
    constexpr int kLossy = ZI18N_ERR_LOSSY;
    const struct {
        int32_t source;
        Bytes in;
        int32_t target;
        int big, rc;
        std::string calls;
        Bytes produced;
        uintptr_t lmbcs;
    } cases[] = {{6, {'a', 0xC6}, 51, 1, 0, "select 6, to 63 1", {0, 'a', 0x04, 0x16}, 0},
                 {51, {'a', 0, 0x16, 0x04}, 6, 0, 0, "select 6, from 63 0", {'a', '?'}, 0},
                 {28, {'a', 'b'}, 7, 0, 0, "select 7, convert 28 63", {'a', 'b'}, 0},
                 {6, {'a', 0xC6, 'b'}, 7, 0, kLossy, "select 7, convert 6 63", {'a', '?', 'b'}, 0},
                 {6, {'?', 'a', '?'}, 7, 0, 0, "select 7, convert 6 63", {'?', 'a', '?'}, 0},
                 {6, {'a', 0, 0xC6}, 7, 0, 0, "select 7, convert 6 63", {'a', 0, '?'}, 0},
                 {7, {'a', 0xE9}, 14, 0, 0, "select 14, convert 7 63", {'a', '?'}, 0},
                 {50, {'a'}, 51, 0, 0, "select 51, convert 50 63", {'a'}, 28},
                 {7, {'a'}, 50, 0, 0, "select 50, convert 7 63", {'a'}, 28},
                 {6, {'a', 0xC6, 0x80}, 73, 0, 0, "select 6, to 63 0", {'a', 0xF6, '?'}, 0}};
    for (const auto &c : cases) {
        svc.slot[DX_SVC_LMBCS_SETTING] = 0;
        script.lmbcsAtConvert = 0;
        EXPECT_EQ(convert(c.source, c.in, c.target, 8, c.big), c.rc) << c.calls;
        EXPECT_EQ(script.calls, "subst 63, " + c.calls);
        EXPECT_EQ(produced(), c.produced) << c.calls;
        EXPECT_EQ(script.lmbcsAtConvert, c.lmbcs) << c.calls;
    }
    EXPECT_EQ(convert(6, {0xC6, 0xC6, 0xC6}, 73, 2), ZI18N_ERR_SHORTOUTPUT);
    EXPECT_EQ(length, -1);
}

TEST_F(Dispatch, LibraryFailuresReleaseTheLock) {
    const struct {
        int failOp;
        int32_t source, target;
    } cases[] = {{DX_SVC_CONVERT, 6, 7}, {DX_SVC_SELECT, 6, 51}, {DX_SVC_SET_SUBST, 51, 7}};
    for (const auto &c : cases) {
        script.failOp = c.failOp;
        EXPECT_EQ(convert(c.source, {'a', 0}, c.target, 8), ZI18N_ERR_LIBRARY) << c.failOp;
        EXPECT_EQ(length, 0);
        EXPECT_EQ(mutex.count, 0u) << c.failOp;
    }
    script.failOp = -1;
    svc.slot[DX_SVC_CONVERT] = 0;
    EXPECT_EQ(convert(6, {'a'}, 7, 8), ZI18N_ERR_LIBRARY);  // a missing operation
    ctx.mutex = nullptr;
    script.mutex = nullptr;
    EXPECT_EQ(convert(6, {'a'}, 51, 8), 0);  // no mutex, no locking
}
