// The utility plug-in started by the conversion service and driven through it
// end to end.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "conv/zi18n_conv.h"
#include "engine_test_support.h"
#include "filters/dxutil/dxutil_charsets.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

constexpr const char *kPluginPath = GLOTTA_BINARY_DIR "/filters/dxutil/dxutil.so";

Bytes bytes(const char *s) {
    return Bytes(s, s + std::strlen(s));
}

// UTF-16 (low byte first) of a UTF-8 literal, through the built-in decoder.
Bytes utf16(const char *utf8) {
    Bytes out(2 * std::strlen(utf8) + 2);
    int32_t consumed = 0, length = 0;
    EXPECT_EQ(Zi18nUtf8ToUnicode(utf8, static_cast<int32_t>(std::strlen(utf8)), &consumed,
                                 out.data(), static_cast<int32_t>(out.size()), &length, 0),
              0);
    out.resize(static_cast<size_t>(length));
    return out;
}

// Each test starts the service stand-alone: a library path element holds the
// marker library, and the plug-in sits in the sibling filters directory.
class Plugin : public ::testing::Test {
  protected:
    void SetUp() override {
        root.write("bin/libzi18n.so", "");
        root.mkdir("filters");
        fs::create_symlink(kPluginPath, root.path() / "filters" / "dxutil.so");
        ASSERT_EQ(Zi18nInit(&ctx), 0);
        ASSERT_TRUE(ctx && ctx->library && ctx->services && ctx->mutex);
        services = ctx->services;
        select = reinterpret_cast<DXSvcSelectFn>(services->slot[DX_SVC_SELECT]);
        toUnicode = reinterpret_cast<DXSvcToUnicodeFn>(services->slot[DX_SVC_TO_UNICODE]);
    }
    void TearDown() override { EXPECT_EQ(Zi18nClose(ctx), 0); }

    // Converts with an output of `size` bytes; `out` holds the produced bytes.
    int convert(int32_t source, const Bytes &in, int32_t target, int32_t size = -1, int big = 0) {
        if (size < 0) size = static_cast<int32_t>(6 * in.size() + 8);
        buffer.assign(static_cast<size_t>(size) + 16, 0xEE);
        consumed = length = -7;
        const int rc = IZi18nConvert(ctx, source, in.data(), static_cast<int32_t>(in.size()),
                                     &consumed, target, buffer.data(), size, &length, big);
        out.assign(buffer.begin(), buffer.begin() + (length > 0 ? length : 0));
        return rc;
    }

    glotta_test::TempDir root;
    glotta_test::EnvOverride libraryPath{"LD_LIBRARY_PATH", root.str("bin")};
    Zi18nHandle *ctx = nullptr;
    DXServices *services = nullptr;
    DXSvcSelectFn select = nullptr;
    DXSvcToUnicodeFn toUnicode = nullptr;
    Bytes buffer, out;
    int32_t consumed = 0, length = 0;
};

}  // namespace

TEST_F(Plugin, Conversions) {
    const struct {
        int32_t source;
        Bytes in;
        int32_t target;
        int big, rc;
        Bytes out;
    } cases[] = {
        {7, bytes("caf\xE9 \x80"), 51, 0, 0, utf16("café €")},
        {7, bytes("\xE9"), 51, 1, 0, {0x00, 0xE9}},
        {51, utf16("Привет, мир"), 6, 0, 0, bytes("\xCF\xF0\xE8\xE2\xE5\xF2, \xEC\xE8\xF0")},
        {53, bytes("Grüße"), 7, 0, 0, bytes("Gr\xFC\xDF\x65")},
        {53, bytes("日本語"), 1, 0, 0, bytes("\x93\xFA\x96\x7B\x8C\xEA")},
        // Unmappable characters and an unpaired surrogate become "?".
        {51, utf16("a\xE2\x82\xAC\xE4\xB8\xAD"), 28, 0, 0, bytes("a??")},
        {51, {'a', 0, 0x00, 0xD8, 'b', 0}, 7, 0, 0, bytes("a?b")},
        // Lossy between groups; within a group nothing is checked or lost.
        {6, bytes("\xCF\xF0\xE8 ok?"), 7, 0, ZI18N_ERR_LOSSY, bytes("??? ok?")},
        {7, bytes("caf\xE9"), 14, 0, 0, bytes("caf\xE9")},
        {6, bytes("\xCF\xF0\xE8"), 18, 0, 0, bytes("\xBF\xE0\xD8")},
        // KOI8-R through the detour, from 1251 and 866, and back.
        {6, bytes("\xCF\xF0\xE8\xE2\xE5\xF2"), 73, 0, 0, bytes("\xF0\xD2\xC9\xD7\xC5\xD4")},
        {73, bytes("\xF0\xD2\xC9"), 6, 0, 0, bytes("\xCF\xF0\xE8")},
        // Traditional-only characters are not in GB; Simplified-only not in Big5.
        {51, utf16("这们国"), 3, 0, 0, bytes("???")},
        // Charsets ICU cannot open are library errors; the object stays usable.
        {80, bytes("abc"), 51, 0, ZI18N_ERR_LIBRARY, {}},
        {51, utf16("abc"), 62, 0, ZI18N_ERR_LIBRARY, {}},
        {7, bytes("abc"), 999, 0, ZI18N_ERR_LIBRARY, {}},
        {7, bytes("abc"), 53, 0, 0, bytes("abc")}};
    for (const auto &c : cases) {
        EXPECT_EQ(convert(c.source, c.in, c.target, -1, c.big), c.rc)
            << c.source << " -> " << c.target;
        EXPECT_EQ(out, c.out) << c.source << " -> " << c.target;
    }
    uint8_t dest[8];
    EXPECT_EQ(
        Zi18nConvert(ctx, "windows-1251", "\xCF", 1, &consumed, "KOI8-R", dest, 8, &length, 0), 0);
    EXPECT_EQ(dest[0], 0xF0);
    // Thai is in none of the multi-byte charsets; ISO-2022-KR starts with its
    // designator sequence.
    for (int32_t charset : {1, 2, 3, 4, 55, 56, 57, 63, 66, 67, 68}) {
        ASSERT_EQ(convert(51, utf16("a\xE0\xB8\x81z"), charset), 0) << charset;
        EXPECT_EQ(out, charset == 57 ? bytes("a\x1B$)C?z") : bytes("a?z")) << charset;
    }
}

// Big5, GB and LMBCS (also into KOI8-R, with either byte order) give back
// what went in.
TEST_F(Plugin, RoundTripsThroughMultiByteCharsets) {
    const std::pair<int32_t, const char *> cases[] = {
        {3, "中文繁體字，這們國"}, {2, "中文简体字，这们国"}, {50, "Grüße € Привет"}};
    for (const auto &[charset, text] : cases) {
        ASSERT_EQ(convert(51, utf16(text), charset), 0) << text;
        const Bytes encoded = out;
        ASSERT_EQ(convert(charset, encoded, 53), 0);
        EXPECT_EQ(out, bytes(text));
    }
    EXPECT_EQ(convert(51, utf16("中文"), 3), 0);
    EXPECT_EQ(out, (Bytes{0xA4, 0xA4, 0xA4, 0xE5}));
    EXPECT_EQ(convert(51, utf16("中文"), 2), 0);
    EXPECT_EQ(out, (Bytes{0xD6, 0xD0, 0xCE, 0xC4}));
    ASSERT_EQ(convert(51, utf16("aé"), 50), 0);
    const Bytes lmbcs = out;
    ASSERT_EQ(convert(50, lmbcs, 51, -1, 1), 0);
    EXPECT_EQ(out, (Bytes{0x00, 'a', 0x00, 0xE9}));
    ASSERT_EQ(convert(50, lmbcs, 73, -1, 1), 0);
    EXPECT_EQ(out, bytes("a?"));
}

TEST_F(Plugin, BadBuffersAndTooSmallOutputs) {
    uint8_t data[8] = {'a', 'b'};
    DXBuffer src{data, 2}, dst{data + 2, 6}, negative{data, -1}, noData{nullptr, 4}, empty{data, 0};
    EXPECT_FALSE(toUnicode(services, &src, &dst, '?', 0));  // nothing selected yet
    ASSERT_TRUE(select(services, 7));
    EXPECT_FALSE(toUnicode(services, nullptr, &dst, '?', 0));
    EXPECT_FALSE(toUnicode(services, &negative, &dst, '?', 0));
    EXPECT_FALSE(toUnicode(services, &src, &noData, '?', 0));
    EXPECT_FALSE(select(services, 64));
    EXPECT_TRUE(toUnicode(services, &empty, &dst, '?', 0));
    EXPECT_EQ(dst.length, 0);
    EXPECT_EQ(convert(7, bytes("abcd"), 51, 3), ZI18N_ERR_LIBRARY);
    EXPECT_EQ(length, 0);
    EXPECT_TRUE(std::all_of(buffer.begin() + 3, buffer.end(), [](uint8_t b) { return b == 0xEE; }));
    EXPECT_EQ(convert(51, utf16("日本語"), 1, 5), ZI18N_ERR_LIBRARY);
    EXPECT_TRUE(std::all_of(buffer.begin() + 5, buffer.end(), [](uint8_t b) { return b == 0xEE; }));
}

// Every number the alias table knows either has a converter that ICU opens
// or is listed with the reason it has none.
TEST_F(Plugin, EveryCharsetNumberIsAccountedFor) {
    for (int slot : {DX_SVC_RELEASE, DX_SVC_TO_UNICODE, DX_SVC_FROM_UNICODE, DX_SVC_CONVERT,
                     DX_SVC_SET_SUBST, DX_SVC_SELECT}) {
        EXPECT_NE(services->slot[slot], 0u) << slot;
    }
    EXPECT_EQ(services->slot[DX_SVC_LMBCS_SETTING], 28u);
    int supported = 0;
    for (const CharsetInfo *row = CharsetInfoList; row->fragment; ++row) {
        const dxutil::CharsetMapping *mapping = dxutil::find_charset_mapping(row->charset);
        ASSERT_NE(mapping, nullptr) << row->fragment << " " << row->charset;
        if (!mapping->icuName) {
            EXPECT_NE(mapping->unsupported, nullptr);
            EXPECT_FALSE(select(services, row->charset)) << row->charset;
            continue;
        }
        EXPECT_EQ(mapping->unsupported, nullptr);
        ASSERT_TRUE(select(services, row->charset)) << mapping->icuName;
        uint8_t in[1] = {0x41}, units[16];
        DXBuffer src{in, 1}, dst{units, 16};
        EXPECT_TRUE(toUnicode(services, &src, &dst, '?', 0)) << mapping->icuName;
        ++supported;
    }
    EXPECT_GT(supported, 90);
    for (const dxutil::LmbcsGroup &group : dxutil::kLmbcsGroups) {
        services->slot[DX_SVC_LMBCS_SETTING] = static_cast<uintptr_t>(group.charset);
        EXPECT_TRUE(select(services, 50)) << group.icuName;
    }
}

TEST_F(Plugin, StartUpFailsCleanlyWithoutMemory) {
    for (long budget = 0; budget < 4; ++budget) {
        Zi18nHandle *partial = reinterpret_cast<Zi18nHandle *>(1);
        vos_fail_alloc_after(budget);
        EXPECT_EQ(Zi18nInit(&partial), ZI18N_ERR_NOMEM) << budget;
        vos_fail_alloc_after(-1);
        EXPECT_EQ(partial, nullptr);
    }
}
