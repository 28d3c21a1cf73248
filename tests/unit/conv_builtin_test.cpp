// The conversions done without the utility library, the byte swap and the
// table of lossless charset pairs.
#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <random>
#include <string>
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

// UTF-8 to UTF-16 over text of every mix of ASCII runs (which go eight
// bytes at a time) and longer characters, at every alignment, in both byte
// orders and with room for all of it or not: the units, the bytes consumed
// and the shortfall are those of the characters one by one.
TEST(BuiltInConversions, Utf8ToUnicodeOverAsciiRunsAndLongerCharacters) {
    std::mt19937 rng(8);
    const uint32_t kinds[] = {0x41, 0x7F, 0xE9, 0x7FF, 0x416, 0x20AC, 0xFFFD, 0x1F600};
    for (int round = 0; round < 400; ++round) {
        Bytes utf8;
        std::vector<uint16_t> units;
        std::vector<int32_t> starts;  // where each character begins
        const int characters = 1 + static_cast<int>(rng() % 60);
        for (int c = 0; c < characters; ++c) {
            uint32_t cp = rng() % 4 != 0 ? 0x20 + rng() % 0x5F : kinds[rng() % std::size(kinds)];
            starts.push_back(static_cast<int32_t>(utf8.size()));
            if (cp < 0x80) {
                utf8.push_back(static_cast<uint8_t>(cp));
            } else if (cp < 0x800) {
                utf8.push_back(static_cast<uint8_t>(0xC0 | cp >> 6));
                utf8.push_back(static_cast<uint8_t>(0x80 | (cp & 0x3F)));
            } else if (cp < 0x10000) {
                utf8.push_back(static_cast<uint8_t>(0xE0 | cp >> 12));
                utf8.push_back(static_cast<uint8_t>(0x80 | (cp >> 6 & 0x3F)));
                utf8.push_back(static_cast<uint8_t>(0x80 | (cp & 0x3F)));
            } else {
                utf8.push_back(static_cast<uint8_t>(0xF0 | cp >> 18));
                utf8.push_back(static_cast<uint8_t>(0x80 | (cp >> 12 & 0x3F)));
                utf8.push_back(static_cast<uint8_t>(0x80 | (cp >> 6 & 0x3F)));
                utf8.push_back(static_cast<uint8_t>(0x80 | (cp & 0x3F)));
            }
            if (cp < 0x10000) {
                units.push_back(static_cast<uint16_t>(cp));
            } else {
                units.push_back(static_cast<uint16_t>(0xD800 + ((cp - 0x10000) >> 10)));
                units.push_back(static_cast<uint16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
            }
        }
        for (int big = 0; big <= 1; ++big) {
            Bytes expected;
            for (uint16_t u : units) {
                expected.push_back(static_cast<uint8_t>(big ? u >> 8 : u & 0xFF));
                expected.push_back(static_cast<uint8_t>(big ? u & 0xFF : u >> 8));
            }
            const auto whole = static_cast<int32_t>(expected.size());
            for (int32_t room : {whole, whole + 7, whole / 2 + 1, whole - 2}) {
                if (room <= 0) continue;
                SCOPED_TRACE("round " + std::to_string(round) + " room " + std::to_string(room));
                Bytes out(static_cast<size_t>(room) + 16, 0xEE);
                int32_t consumed = -1, length = 0;
                const int rc = Zi18nUtf8ToUnicode(utf8.data(), static_cast<int32_t>(utf8.size()),
                                                  &consumed, out.data(), room, &length, big);
                if (room >= whole) {
                    EXPECT_EQ(rc, ZI18N_OK);
                    EXPECT_EQ(consumed, static_cast<int32_t>(utf8.size()));
                    EXPECT_EQ(length, whole);
                    EXPECT_EQ(Bytes(out.begin(), out.begin() + whole), expected);
                    continue;
                }
                // Each character is written when it fits in what is left and
                // skipped otherwise; consumption stops at the first skipped
                // one, and each skipped one counts towards the shortfall.
                Bytes kept;
                int32_t shortfall = 0, first = -1;
                size_t unit = 0;
                for (size_t c = 0; c < starts.size(); ++c) {
                    const size_t width = units[unit] >= 0xD800 && units[unit] < 0xDC00 ? 4 : 2;
                    if (static_cast<size_t>(room / 2 * 2) - kept.size() >= width) {
                        kept.insert(kept.end(), expected.begin() + 2 * unit,
                                    expected.begin() + 2 * unit + width);
                    } else {
                        shortfall += static_cast<int32_t>(width);
                        if (first < 0) first = starts[c];
                    }
                    unit += width / 2;
                }
                EXPECT_EQ(rc, shortfall > 0 ? kShort : ZI18N_OK);
                EXPECT_EQ(length, shortfall > 0 ? -shortfall : static_cast<int32_t>(kept.size()));
                EXPECT_EQ(consumed, first >= 0 ? first : static_cast<int32_t>(utf8.size()));
                EXPECT_EQ(Bytes(out.begin(), out.begin() + static_cast<ptrdiff_t>(kept.size())),
                          kept);
            }
        }
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
