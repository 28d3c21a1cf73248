// The conversions done without the utility library, the byte swap and the
// table of lossless charset pairs.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "conv/zi18n_conv.h"

namespace {

using Bytes = std::vector<uint8_t>;
using ConvFn = int (*)(const void *, int32_t, int32_t *, void *, int32_t, int32_t *, int);

int swap_bytes(const void *in, int32_t inLen, int32_t *consumed, void *out, int32_t outSize,
               int32_t *length, int) {
    return Zi18nUnicodeEndianSwap(in, inLen, consumed, out, outSize, length);
}

Bytes le(std::initializer_list<uint16_t> units, int big = 0) {
    Bytes b;
    for (uint16_t u : units) {
        b.push_back(static_cast<uint8_t>(big ? u >> 8 : u & 0xFF));
        b.push_back(static_cast<uint8_t>(big ? u & 0xFF : u >> 8));
    }
    return b;
}

Bytes be(std::initializer_list<uint16_t> units) {
    return le(units, 1);
}

Bytes plus(Bytes b, uint8_t last) {
    return b.push_back(last), b;
}

const ConvFn to16 = Zi18nUtf8ToUnicode, to8 = Zi18nUnicodeToUtf8, koi = Zi18nUnicodeToKoi8r;
constexpr int kShort = ZI18N_ERR_SHORTOUTPUT, kPartial = ZI18N_ERR_PARTIAL;

TEST(BuiltInConversions, Examples) {
    const struct {
        ConvFn fn;
        Bytes in;
        int32_t outSize;
        int big, rc;
        int32_t consumed, length;
        Bytes out;  // the first bytes of the output buffer afterwards
    } cases[] = {
        {to16, {0x41, 0xC3, 0xA9}, 16, 0, 0, 3, 4, {0x41, 0, 0xE9, 0}},
        {to16, {0x41, 0xC3, 0xA9}, 16, 1, 0, 3, 4, {0, 0x41, 0, 0xE9}},
        {to16, {0xF0, 0x9F, 0x98, 0x80}, 8, 0, 0, 4, 4, le({0xD83D, 0xDE00})},  // U+1F600
        {to16, {0xF4, 0x8F, 0xBF, 0xBF}, 8, 0, 0, 4, 4, le({0xDBFF, 0xDFFF})},  // U+10FFFF
        {to16, {0xF0, 0x90, 0x80, 0x80}, 8, 1, 0, 4, 4, be({0xD800, 0xDC00})},  // U+10000
        {to16, {0xE4, 0xB8, 0xAD, 0xE2, 0x82, 0xAC}, 8, 0, 0, 6, 4, le({0x4E2D, 0x20AC})},
        // Stray bytes pass as their value; continuation bytes are not checked.
        {to16, {0xA9, 0x41, 0xFF, 0xF8}, 16, 0, 0, 4, 8, le({0xA9, 0x41, 0xFF, 0xF8})},
        {to16, {0xC3, 0x41, 0xC0, 0xAF}, 8, 0, 0, 4, 4, le({0xC1, 0x2F})},
        {to16, {'a', 'b', 0xE4, 0xB8}, 16, 0, kPartial, 2, 4, le({'a', 'b'})},
        {to16, {0xF0, 0x9F, 0x98}, 16, 0, kPartial, 0, 0, {}},
        // Two units fit: 'a', not the pair (4), 'b', not 'c' (2).
        {to16, {'a', 0xF0, 0x9F, 0x98, 0x80, 'b', 'c'}, 4, 0, kShort, 1, -6, le({'a', 'b'})},
        {to16, {'a', 'b'}, 3, 0, kShort, 1, -2, le({'a'})},
        {to16, {'a', 'b', 0xE4}, 2, 0, kShort, 1, -2, le({'a'})},  // shortfall wins
        {to8,
         le({0x41, 0xE9, 0x7FF, 0x800, 0x20AC, 0xFFFF}),
         32,
         0,
         0,
         12,
         14,
         {0x41, 0xC3, 0xA9, 0xDF, 0xBF, 0xE0, 0xA0, 0x80, 0xE2, 0x82, 0xAC, 0xEF, 0xBF, 0xBF}},
        {to8, be({0x0416}), 8, 1, 0, 2, 2, {0xD0, 0x96}},
        {to8, le({0xD83D, 0xDE00}), 16, 0, 0, 4, 6, {0xED, 0xA0, 0xBD, 0xED, 0xB8, 0x80}},
        {to8, plus(le({'a', 'b'}), 'c'), 16, 0, kPartial, 4, 2, {'a', 'b'}},
        {to8, le({'a', 0x4E2D, 'b'}), 2, 0, kShort, 2, -3, {'a', 'b'}},
        {koi,
         le({0x416, 0x20AC, 'A', 0x2500, 0x42A, 0x430}),
         16,
         0,
         0,
         12,
         6,
         {0xF6, '?', 'A', 0x80, 0xFF, 0xC1}},
        {koi, be({0x0451, 0x0401}), 4, 1, 0, 4, 2, {0xA3, 0xB3}},
        {koi, plus(le({'a', 'b', 'c', 'd'}), 0), 2, 0, kShort, 4, -2, {'a', 'b'}},
        {swap_bytes, {1, 2, 3, 4}, 4, 0, 0, 4, 4, {2, 1, 4, 3}},
        {swap_bytes, {1, 2, 3, 4, 5}, 8, 0, kPartial, 4, 4, {2, 1, 4, 3}},
        {swap_bytes, {1, 2, 3, 4}, 3, 0, kShort, 2, -2, {2, 1}}};
    int row = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(row++);
        Bytes out(static_cast<size_t>(c.outSize), 0xEE);
        int32_t consumed = -7, length = -7;
        EXPECT_EQ(c.fn(c.in.data(), static_cast<int32_t>(c.in.size()), &consumed, out.data(),
                       c.outSize, &length, c.big),
                  c.rc);
        EXPECT_EQ(consumed, c.consumed);
        EXPECT_EQ(length, c.length);
        EXPECT_EQ(Bytes(out.begin(), out.begin() + static_cast<long>(c.out.size())), c.out);
    }
}

TEST(BuiltInConversions, MissingBuffers) {
    const uint8_t in[] = {'a', 0};
    uint8_t out[4];
    int32_t consumed = 0, length = 0;
    for (ConvFn fn : {to16, to8, koi, ConvFn(swap_bytes)}) {
        EXPECT_EQ(fn(nullptr, 2, &consumed, out, 4, &length, 0), ZI18N_ERR_NOINPUT);
        EXPECT_EQ(fn(in, 0, &consumed, out, 4, &length, 0), ZI18N_ERR_NOINPUT);
        EXPECT_EQ(fn(in, 2, &consumed, nullptr, 4, &length, 0), ZI18N_ERR_NOOUTPUT);
        EXPECT_EQ(fn(in, 2, &consumed, out, 0, &length, 0), ZI18N_ERR_NOOUTPUT);
    }
    EXPECT_EQ(Zi18nUtf8ToUnicode(in, -3, &consumed, out, 4, &length, 0), ZI18N_ERR_NOINPUT);
    EXPECT_EQ(Zi18nUtf8ToUnicode(in, 1, &consumed, out, -1, &length, 0), ZI18N_ERR_NOOUTPUT);
}

TEST(ValidCharsetMapping, GroupsAndSpecialCases) {
    const struct {
        int32_t source, target, valid;
    } cases[] = {{7, 14, 1}, {7, 6, 0},  {14, 53, 1}, {6, 73, 1}, {73, 39, 1},
                 {2, 94, 1}, {2, 3, 0},  {1, 66, 1},  {4, 60, 1}, {41, 41, 1},
                 {50, 6, 1}, {6, 50, 0}, {51, 7, 1},  {0, 0, 0},  {0, 53, 0},
                 {53, 0, 0}, {4, 69, 0}, {69, 4, 1},  {53, 69, 0}};
    for (const auto &c : cases) {
        EXPECT_EQ(Zi18nIsValidCharsetMapping(c.source, c.target), c.valid)
            << c.source << " -> " << c.target;
    }
}

}  // namespace
