// The conversions done without the utility library, the byte swap and the
// table of lossless charset pairs.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <vector>

#include "conv/zi18n_conv.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Outcome {
    int rc;
    int32_t consumed;
    int32_t length;
    Bytes out;  // the written bytes (length of them when positive)
};

using ConvFn = int (*)(const void *, int32_t, int32_t *, void *, int32_t, int32_t *, int);

Outcome run(ConvFn fn, const Bytes &in, int32_t outSize, int bigEndian = 0) {
    Outcome o{};
    Bytes out(static_cast<size_t>(outSize > 0 ? outSize : 1), 0xEE);
    o.consumed = -7;
    o.length = -7;
    o.rc = fn(in.data(), static_cast<int32_t>(in.size()), &o.consumed, out.data(), outSize,
              &o.length, bigEndian);
    if (o.length > 0) o.out.assign(out.begin(), out.begin() + o.length);
    return o;
}

Bytes le(std::initializer_list<uint16_t> units) {
    Bytes b;
    for (uint16_t u : units) {
        b.push_back(static_cast<uint8_t>(u & 0xFF));
        b.push_back(static_cast<uint8_t>(u >> 8));
    }
    return b;
}

Bytes be(std::initializer_list<uint16_t> units) {
    Bytes b;
    for (uint16_t u : units) {
        b.push_back(static_cast<uint8_t>(u >> 8));
        b.push_back(static_cast<uint8_t>(u & 0xFF));
    }
    return b;
}

}  // namespace

TEST(Utf8ToUnicode, LatinInBothByteOrders) {
    Outcome o = run(Zi18nUtf8ToUnicode, {0x41, 0xC3, 0xA9}, 16);
    EXPECT_EQ(o.rc, 0);
    EXPECT_EQ(o.consumed, 3);
    EXPECT_EQ(o.out, (Bytes{0x41, 0x00, 0xE9, 0x00}));
    o = run(Zi18nUtf8ToUnicode, {0x41, 0xC3, 0xA9}, 16, 1);
    EXPECT_EQ(o.out, (Bytes{0x00, 0x41, 0x00, 0xE9}));
}

TEST(Utf8ToUnicode, FourByteSequencesBecomeSurrogatePairs) {
    Outcome o = run(Zi18nUtf8ToUnicode, {0xF0, 0x9F, 0x98, 0x80}, 8);  // U+1F600
    EXPECT_EQ(o.rc, 0);
    EXPECT_EQ(o.out, le({0xD83D, 0xDE00}));
    o = run(Zi18nUtf8ToUnicode, {0xF4, 0x8F, 0xBF, 0xBF}, 8);  // U+10FFFF
    EXPECT_EQ(o.out, le({0xDBFF, 0xDFFF}));
    o = run(Zi18nUtf8ToUnicode, {0xF0, 0x90, 0x80, 0x80}, 8, 1);  // U+10000
    EXPECT_EQ(o.out, be({0xD800, 0xDC00}));
}

TEST(Utf8ToUnicode, ThreeByteSequences) {
    Outcome o = run(Zi18nUtf8ToUnicode, {0xE4, 0xB8, 0xAD, 0xE2, 0x82, 0xAC}, 8);
    EXPECT_EQ(o.rc, 0);
    EXPECT_EQ(o.out, le({0x4E2D, 0x20AC}));
}

TEST(Utf8ToUnicode, StrayBytesPassAsTheirValue) {
    Outcome o = run(Zi18nUtf8ToUnicode, {0xA9, 0x41, 0xFF, 0xF8}, 16);
    EXPECT_EQ(o.rc, 0);
    EXPECT_EQ(o.out, le({0x00A9, 0x0041, 0x00FF, 0x00F8}));
}

TEST(Utf8ToUnicode, ContinuationBytesAreNotChecked) {
    // 0xC3 0x41: the second byte is no continuation byte but is used anyway.
    Outcome o = run(Zi18nUtf8ToUnicode, {0xC3, 0x41}, 4);
    EXPECT_EQ(o.out, le({0x00C1}));
    // An overlong form of '/' is accepted.
    o = run(Zi18nUtf8ToUnicode, {0xC0, 0xAF}, 4);
    EXPECT_EQ(o.out, le({0x002F}));
}

TEST(Utf8ToUnicode, PartialCharacterAtTheEnd) {
    Outcome o = run(Zi18nUtf8ToUnicode, {'a', 'b', 0xE4, 0xB8}, 16);
    EXPECT_EQ(o.rc, ZI18N_ERR_PARTIAL);
    EXPECT_EQ(o.consumed, 2);
    EXPECT_EQ(o.length, 4);
    EXPECT_EQ(o.out, le({'a', 'b'}));
    o = run(Zi18nUtf8ToUnicode, {0xF0, 0x9F, 0x98}, 16);
    EXPECT_EQ(o.rc, ZI18N_ERR_PARTIAL);
    EXPECT_EQ(o.consumed, 0);
    EXPECT_EQ(o.length, 0);
}

TEST(Utf8ToUnicode, ShortfallCountsEveryMissingCharacter) {
    // Capacity 2 units: 'a' fits, the pair does not (4), 'b' fits, 'c' does not (2).
    Outcome o = run(Zi18nUtf8ToUnicode, {'a', 0xF0, 0x9F, 0x98, 0x80, 'b', 'c'}, 4);
    EXPECT_EQ(o.rc, ZI18N_ERR_SHORTOUTPUT);
    EXPECT_EQ(o.consumed, 1);
    EXPECT_EQ(o.length, -6);
    // An odd output size holds only whole units.
    o = run(Zi18nUtf8ToUnicode, {'a', 'b'}, 3);
    EXPECT_EQ(o.rc, ZI18N_ERR_SHORTOUTPUT);
    EXPECT_EQ(o.consumed, 1);
    EXPECT_EQ(o.length, -2);
}

TEST(Utf8ToUnicode, ShortfallWinsOverPartialCharacter) {
    Outcome o = run(Zi18nUtf8ToUnicode, {'a', 'b', 0xE4}, 2);
    EXPECT_EQ(o.rc, ZI18N_ERR_SHORTOUTPUT);
    EXPECT_EQ(o.consumed, 1);
    EXPECT_EQ(o.length, -2);
}

TEST(Utf8ToUnicode, MissingBuffers) {
    uint8_t out[4];
    int32_t consumed = 0, length = 0;
    const uint8_t in[] = {'a'};
    EXPECT_EQ(Zi18nUtf8ToUnicode(nullptr, 1, &consumed, out, 4, &length, 0), ZI18N_ERR_NOINPUT);
    EXPECT_EQ(Zi18nUtf8ToUnicode(in, 0, &consumed, out, 4, &length, 0), ZI18N_ERR_NOINPUT);
    EXPECT_EQ(Zi18nUtf8ToUnicode(in, -3, &consumed, out, 4, &length, 0), ZI18N_ERR_NOINPUT);
    EXPECT_EQ(Zi18nUtf8ToUnicode(in, 1, &consumed, nullptr, 4, &length, 0), ZI18N_ERR_NOOUTPUT);
    EXPECT_EQ(Zi18nUtf8ToUnicode(in, 1, &consumed, out, 0, &length, 0), ZI18N_ERR_NOOUTPUT);
    EXPECT_EQ(Zi18nUtf8ToUnicode(in, 1, &consumed, out, -1, &length, 0), ZI18N_ERR_NOOUTPUT);
}

TEST(UnicodeToUtf8, OneTwoAndThreeByteForms) {
    Outcome o = run(Zi18nUnicodeToUtf8, le({0x41, 0xE9, 0x7FF, 0x800, 0x20AC, 0xFFFF}), 32);
    EXPECT_EQ(o.rc, 0);
    EXPECT_EQ(o.consumed, 12);
    EXPECT_EQ(o.out, (Bytes{0x41, 0xC3, 0xA9, 0xDF, 0xBF, 0xE0, 0xA0, 0x80, 0xE2, 0x82, 0xAC, 0xEF,
                            0xBF, 0xBF}));
    o = run(Zi18nUnicodeToUtf8, be({0x0416}), 8, 1);
    EXPECT_EQ(o.out, (Bytes{0xD0, 0x96}));
}

TEST(UnicodeToUtf8, SurrogatesAreEncodedOneByOne) {
    Outcome o = run(Zi18nUnicodeToUtf8, le({0xD83D, 0xDE00}), 16);
    EXPECT_EQ(o.rc, 0);
    EXPECT_EQ(o.out, (Bytes{0xED, 0xA0, 0xBD, 0xED, 0xB8, 0x80}));
}

TEST(UnicodeToUtf8, OddLengthLeavesTheLastByte) {
    Bytes in = le({'a', 'b'});
    in.push_back('c');
    Outcome o = run(Zi18nUnicodeToUtf8, in, 16);
    EXPECT_EQ(o.rc, ZI18N_ERR_PARTIAL);
    EXPECT_EQ(o.consumed, 4);
    EXPECT_EQ(o.out, (Bytes{'a', 'b'}));
}

TEST(UnicodeToUtf8, CharacterThatDoesNotFitIsSkipped) {
    Outcome o = run(Zi18nUnicodeToUtf8, le({'a', 0x4E2D, 'b'}), 2);
    EXPECT_EQ(o.rc, ZI18N_ERR_SHORTOUTPUT);
    EXPECT_EQ(o.consumed, 2);
    EXPECT_EQ(o.length, -3);
    Bytes out(2);
    int32_t consumed = 0, length = 0;
    Bytes in = le({'a', 0x4E2D, 'b'});
    Zi18nUnicodeToUtf8(in.data(), 6, &consumed, out.data(), 2, &length, 0);
    EXPECT_EQ(out, (Bytes{'a', 'b'}));
}

TEST(UnicodeToKoi8r, TableAndSubstitution) {
    Outcome o = run(Zi18nUnicodeToKoi8r, le({0x0416, 0x20AC, 'A', 0x2500, 0x042A, 0x0430}), 16);
    EXPECT_EQ(o.rc, 0);
    EXPECT_EQ(o.out, (Bytes{0xF6, '?', 'A', 0x80, 0xFF, 0xC1}));
    o = run(Zi18nUnicodeToKoi8r, be({0x0451, 0x0401}), 4, 1);
    EXPECT_EQ(o.out, (Bytes{0xA3, 0xB3}));
}

TEST(UnicodeToKoi8r, FullOutputCountsOneBytePerUnit) {
    Bytes in = le({'a', 'b', 'c', 'd'});
    in.push_back(0x00);
    Outcome o = run(Zi18nUnicodeToKoi8r, in, 2);
    EXPECT_EQ(o.rc, ZI18N_ERR_SHORTOUTPUT);
    EXPECT_EQ(o.consumed, 4);
    EXPECT_EQ(o.length, -2);
}

TEST(UnicodeToKoi8r, LettersFollowKoi8rOrder) {
    // The lower-case letters U+0430..U+044F in KOI8-R's phonetic order.
    const Bytes expected = {0xC1, 0xC2, 0xD7, 0xC7, 0xC4, 0xC5, 0xD6, 0xDA, 0xC9, 0xCA, 0xCB,
                            0xCC, 0xCD, 0xCE, 0xCF, 0xD0, 0xD2, 0xD3, 0xD4, 0xD5, 0xC6, 0xC8,
                            0xC3, 0xDE, 0xDB, 0xDD, 0xDF, 0xD9, 0xD8, 0xDC, 0xC0, 0xD1};
    Bytes in;
    for (uint16_t u = 0x0430; u <= 0x044F; ++u) {
        in.push_back(static_cast<uint8_t>(u & 0xFF));
        in.push_back(static_cast<uint8_t>(u >> 8));
    }
    Outcome o = run(Zi18nUnicodeToKoi8r, in, 64);
    EXPECT_EQ(o.out, expected);
    // Upper case sits 0x20 higher.
    in.clear();
    for (uint16_t u = 0x0410; u <= 0x042F; ++u) {
        in.push_back(static_cast<uint8_t>(u & 0xFF));
        in.push_back(static_cast<uint8_t>(u >> 8));
    }
    o = run(Zi18nUnicodeToKoi8r, in, 64);
    ASSERT_EQ(o.out.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(o.out[i], expected[i] + 0x20) << i;
}

TEST(EndianSwap, SwapsPairs) {
    Bytes in = {1, 2, 3, 4};
    Bytes out(4);
    int32_t consumed = 0, length = 0;
    EXPECT_EQ(Zi18nUnicodeEndianSwap(in.data(), 4, &consumed, out.data(), 4, &length), 0);
    EXPECT_EQ(out, (Bytes{2, 1, 4, 3}));
    EXPECT_EQ(consumed, 4);
    EXPECT_EQ(length, 4);
}

TEST(EndianSwap, OddLengthAndShortOutput) {
    Bytes in = {1, 2, 3, 4, 5};
    Bytes out(8);
    int32_t consumed = 0, length = 0;
    EXPECT_EQ(Zi18nUnicodeEndianSwap(in.data(), 5, &consumed, out.data(), 8, &length),
              ZI18N_ERR_PARTIAL);
    EXPECT_EQ(consumed, 4);
    EXPECT_EQ(length, 4);
    EXPECT_EQ(Zi18nUnicodeEndianSwap(in.data(), 4, &consumed, out.data(), 3, &length),
              ZI18N_ERR_SHORTOUTPUT);
    EXPECT_EQ(consumed, 2);
    EXPECT_EQ(length, -2);
    EXPECT_EQ(Zi18nUnicodeEndianSwap(nullptr, 4, &consumed, out.data(), 3, &length),
              ZI18N_ERR_NOINPUT);
    EXPECT_EQ(Zi18nUnicodeEndianSwap(in.data(), 0, &consumed, out.data(), 3, &length),
              ZI18N_ERR_NOINPUT);
    EXPECT_EQ(Zi18nUnicodeEndianSwap(in.data(), 4, &consumed, out.data(), 0, &length),
              ZI18N_ERR_NOOUTPUT);
}

TEST(ValidCharsetMapping, GroupsAndSpecialCases) {
    EXPECT_EQ(Zi18nIsValidCharsetMapping(7, 14), 1);
    EXPECT_EQ(Zi18nIsValidCharsetMapping(7, 6), 0);
    EXPECT_EQ(Zi18nIsValidCharsetMapping(14, 53), 1);
    EXPECT_EQ(Zi18nIsValidCharsetMapping(6, 73), 1);
    EXPECT_EQ(Zi18nIsValidCharsetMapping(73, 39), 1);
    EXPECT_EQ(Zi18nIsValidCharsetMapping(2, 94), 1);
    EXPECT_EQ(Zi18nIsValidCharsetMapping(2, 3), 0);
    EXPECT_EQ(Zi18nIsValidCharsetMapping(1, 66), 1);
    EXPECT_EQ(Zi18nIsValidCharsetMapping(4, 60), 1);
    EXPECT_EQ(Zi18nIsValidCharsetMapping(41, 41), 1);
    EXPECT_EQ(Zi18nIsValidCharsetMapping(50, 6), 1);  // from LMBCS
    EXPECT_EQ(Zi18nIsValidCharsetMapping(6, 50), 0);  // to LMBCS
    EXPECT_EQ(Zi18nIsValidCharsetMapping(51, 7), 1);
    EXPECT_EQ(Zi18nIsValidCharsetMapping(0, 0), 0);
    EXPECT_EQ(Zi18nIsValidCharsetMapping(0, 53), 0);
    EXPECT_EQ(Zi18nIsValidCharsetMapping(53, 0), 0);
    EXPECT_EQ(Zi18nIsValidCharsetMapping(4, 69), 0);  // never a valid target
    EXPECT_EQ(Zi18nIsValidCharsetMapping(69, 4), 1);
    EXPECT_EQ(Zi18nIsValidCharsetMapping(53, 69), 0);
}

TEST(UnicodeToKoi8r, WholeTableMatchesReferenceFile) {
    FILE *f = std::fopen(GLOTTA_TEST_DATA "/conv/koi8-r.txt", "r");
    ASSERT_NE(f, nullptr);
    char line[128];
    int rows = 0;
    while (std::fgets(line, sizeof line, f)) {
        if (line[0] == '#') continue;
        unsigned byte = 0, code = 0;
        ASSERT_EQ(std::sscanf(line, "%x %x", &byte, &code), 2) << line;
        const Bytes in = le({static_cast<uint16_t>(code)});
        Outcome o = run(Zi18nUnicodeToKoi8r, in, 1);
        EXPECT_EQ(o.rc, 0);
        ASSERT_EQ(o.out.size(), 1u);
        EXPECT_EQ(o.out[0], byte) << std::hex << code;
        ++rows;
    }
    std::fclose(f);
    EXPECT_EQ(rows, 128);
}
