#include <gtest/gtest.h>

#include <stdint.h>

#include <random>
#include <string>
#include <vector>

#include "charset/charset_guess.h"
#include "conv/charset_ids.h"
#include "engine/lang_context.h"

namespace {

using Bytes = std::vector<unsigned char>;

// Every test reads its bytes from a block of exactly their size, so reading
// one byte too far is caught.
Bytes b(std::string_view text) {
    return Bytes(text.begin(), text.end());
}
int32_t size(const Bytes &bytes) {
    return static_cast<int32_t>(bytes.size());
}

// `size` bytes 'a' with a line break pair at each offset given.
Bytes breaks(size_t size, std::initializer_list<std::pair<size_t, bool>> at) {
    Bytes out(size, 'a');
    for (auto [offset, bigEndian] : at) {
        out[offset] = bigEndian ? 0x00 : 0x0A;
        out[offset + 1] = bigEndian ? 0x0A : 0x00;
    }
    return out;
}

TEST(CharsetGuess, FirstTestThatSucceedsDecides) {
    const std::pair<Bytes, int32_t> cases[] = {
        {b("abc\x1b$Bx"), CS_ISO2022JP},
        {b("abc\x1b$B"), CS_CP1252},  // three bytes must follow the escape
        {b("Plain ASCII text.\n"), CS_CP1252},
        {Bytes{}, CS_CP1252},
        {Bytes{'H', 0, 'i', 0}, CS_CP1252},  // the ASCII test stops at the NUL
        {b("caf\xC3\xA9"), CS_UTF8},
        {b("\xF0\x9F\x98\x80!"), CS_UTF8},
        {b("caf\xE9"), CS_UTF8},  // cut off by the end: no error
        {b("caf\xE9!"), 0},
        {Bytes{0xFF, 0xFE, 'H', 0, 'i', 0}, CS_UTF16LE},
        {Bytes{0xFE, 0xFF, 0, 'H', 0, 'i'}, CS_UTF16BE},
        {Bytes{0xE9, 0x04, 0x0A, 0x00, 0xE9, 0x04, 0x0D, 0x00, 0x0A, 0x00}, CS_UTF16LE}};
    for (const auto &[bytes, expected] : cases) {
        int32_t charset = -1;
        EXPECT_EQ(GuessCharset(bytes.data(), size(bytes), &charset), 0);
        EXPECT_EQ(charset, expected) << std::string(bytes.begin(), bytes.end());
    }
}

TEST(CharsetGuess, Iso2022EscapesAndAscii) {
    for (const char *escape : {"(B", "(J", "$@", "$B", "$A", "$JC", "$JD", ".A", ".F"}) {
        Bytes bytes = b(std::string("\x1b") + escape + "..");
        EXPECT_EQ(Is2022JP(bytes.data(), size(bytes)), 1) << escape;
    }
    // Only the first escape counts, and only before any high byte.
    for (const Bytes &bytes : {b("\x1b$JEx"), b("\x1b(C\x1b$B.."), b("caf\xE9\x1b$Bxx"),
                               b(std::string("\0\x1b$Bxx", 6)), b("abc\x1b$B")}) {
        EXPECT_EQ(Is2022JP(bytes.data(), size(bytes)), 0);
    }
    EXPECT_EQ(Is2022JP(nullptr, 5), 0);
    // The escape, or a high byte before it, at every place of the first 24
    // bytes (words of eight are passed over at once): only an escape with
    // three bytes behind it and no high byte before it counts.
    for (size_t at = 0; at < 24; ++at) {
        for (size_t high = 0; high <= 24; high += 5) {
            std::string text(at, 'a');
            text += "\x1b$Bxx";
            if (high < text.size() && text[high] == 'a') text[high] = '\xA4';
            const Bytes bytes = b(text);
            const int want = high < at ? 0 : 1;
            EXPECT_EQ(Is2022JP(bytes.data(), size(bytes)), want) << at << " " << high;
            const Bytes cut(bytes.begin(), bytes.begin() + static_cast<long>(at + 3));
            EXPECT_EQ(Is2022JP(cut.data(), size(cut)), 0) << at;
        }
    }
    EXPECT_EQ(IsASCII(nullptr, 0), 1);
    EXPECT_EQ(IsASCII(reinterpret_cast<const unsigned char *>("a\0\xE9"), 3), 1);
    EXPECT_EQ(IsASCII(reinterpret_cast<const unsigned char *>("a\x80"), 2), 0);
}

TEST(CharsetGuess, Utf8Sequences) {
    const std::pair<std::string, int> cases[] = {
        {"\xE4\xB8\xAD\xE6\x96\x87", 1},
        {"ab\xE4\xB8", 1},
        {std::string("\xC3\0\x41", 3), 1},  // a NUL ends the text
        {"\xC0\x80", 1},                    // overlong forms pass
        {"\x80", 0},
        {"\xF8\x88\x80\x80\x80", 0},
        {"\xE4\xB8\x41", 0},
        {"only ascii", 0}};
    for (const auto &[text, expected] : cases) {
        Bytes bytes = b(text);
        EXPECT_EQ(IsUtf8(bytes.data(), size(bytes)), expected) << text;
    }
    EXPECT_EQ(IsUtf8(nullptr, 3), 0);
}

// IsUtf8 passes over runs of ASCII eight bytes at a time; byte by byte it
// answers as this does.
int utf8_byte_by_byte(const Bytes &text) {
    int32_t high = 0;
    int state = 0, seen = 0;
    for (unsigned char c : text) {
        if (c == 0) break;
        if (c >= 0x80) ++high;
        if (state == 0) {
            if (c < 0x80) continue;
            seen = 1;
            if (c >= 0xC0 && c <= 0xDF) {
                state = 1;
            } else if (c >= 0xE0 && c <= 0xEF) {
                state = 2;
            } else if (c >= 0xF0 && c <= 0xF7) {
                state = 3;
            } else {
                return 0;
            }
            continue;
        }
        if (c < 0x80 || c > 0xBF) return 0;
        if (++seen == state + 1) state = 0;
    }
    return high > 0 ? 1 : 0;
}

TEST(CharsetGuess, Utf8AsciiRunsAsByteByByte) {
    const std::string pieces[] = {"a",    "word and more ",    "\xC3\xA9", "\xE4\xB8\xAD",
                                  "\x80", "\xF0\x9F\x98\x80",  "\xC3",     "\xFF",
                                  "\n",   std::string(1, '\0')};
    std::mt19937 random(8);
    int valid = 0;
    for (int n = 0; n < 3000; ++n) {
        Bytes text;
        for (int k = static_cast<int>(random() % 20); k > 0; --k) {
            const std::string &piece = pieces[random() % std::size(pieces)];
            text.insert(text.end(), piece.begin(), piece.end());
        }
        const int want = utf8_byte_by_byte(text);
        valid += want;
        ASSERT_EQ(IsUtf8(text.data(), size(text)), want) << n;
    }
    EXPECT_GT(valid, 100);
}

TEST(CharsetGuess, Utf16MarksAndLineBreaks) {
    Bytes six(10000, 'a'), five(10000, 'a'), late(100, 'a');
    for (size_t i = 0; i < 6; ++i) six[100 + 50 * i] = 0x0D, six[101 + 50 * i] = 0;
    for (size_t i = 0; i < 5; ++i) five[100 + 50 * i] = 0x0D, five[101 + 50 * i] = 0;
    // Once six breaks settle the order, later ones are not looked at.
    for (size_t i = 0; i < 6; ++i) late[2 * i] = 0x0A, late[2 * i + 1] = 0;
    late[40] = 0, late[41] = 0x0A;
    const std::pair<Bytes, int> cases[] = {
        {Bytes{0xFF, 0xFE}, 0},  // the mark needs more than two bytes
        {Bytes{0xFF, 0xFE, 'x'}, 0},
        {Bytes{0xFF}, 0},
        {breaks(100, {{10, false}}), CS_UTF16LE},  // 2 / 100 > 0.01
        {breaks(100, {{10, true}}), CS_UTF16BE},
        {breaks(200, {{10, false}}), 0},  // exactly 0.01 is not above
        {breaks(201, {{10, false}}), 0},
        {breaks(100, {{10, false}, {20, true}}), 0},  // both orders: neither
        {six, CS_UTF16LE},
        {five, 0},
        {late, CS_UTF16LE}};
    for (const auto &[bytes, expected] : cases)
        EXPECT_EQ(IsUtf16(bytes.data(), size(bytes)), expected);
    Bytes odd = breaks(100, {});
    odd[11] = 0x0A, odd[12] = 0;  // pairs start on even offsets only
    EXPECT_EQ(IsUtf16(odd.data(), size(odd)), 0);
    EXPECT_EQ(IsUtf16(nullptr, 8), 0);
}

// Texts with a few zero and break bytes anywhere (so that eight-byte blocks
// with and without a zero byte alternate) against the rule read pair by
// pair: counting stops once either order has more than five breaks, and
// breaks in both orders mean neither.
TEST(CharsetGuess, Utf16BreaksAnywhereInLongTexts) {
    std::mt19937 rng(17);
    for (int round = 0; round < 400; ++round) {
        Bytes text(2 + rng() % 3000, 'a');
        // Lone zero and break bytes, and break pairs in either order at
        // even and odd offsets.
        for (int k = static_cast<int>(rng() % 24); k > 0; --k) {
            const size_t at = rng() % (text.size() - 1);
            const unsigned char mark = "\n\r"[rng() % 2];
            switch (rng() % 3) {
                case 0:
                    text[at] = "\0\n\r"[rng() % 3];
                    break;
                case 1:
                    text[at] = 0, text[at + 1] = mark;
                    break;
                default:
                    text[at] = mark, text[at + 1] = 0;
                    break;
            }
        }
        const int32_t n = static_cast<int32_t>(text.size() & ~size_t{1});
        int32_t le = 0, be = 0, expected = -1;
        auto is_break = [](unsigned char c) { return c == '\n' || c == '\r'; };
        for (int32_t i = 0; i + 1 < n && le <= 5 && be <= 5 && expected < 0; i += 2) {
            be += text[i] == 0 && is_break(text[i + 1]);
            le += is_break(text[i]) && text[i + 1] == 0;
            if (le && be) expected = 0;
        }
        if (expected < 0) {
            expected = le > 5 || 2.0 * le / n > 0.01   ? CS_UTF16LE
                       : be > 5 || 2.0 * be / n > 0.01 ? CS_UTF16BE
                                                       : 0;
        }
        ASSERT_EQ(IsUtf16(text.data(), static_cast<int32_t>(text.size())), expected) << round;
    }
}

TEST(ValidateChinese, CountsSingleBytesAndPairs) {
    // GB wants both bytes from 0xA1; Big5 takes second bytes from 0x41. The
    // last byte is never examined on its own.
    const Bytes mixed = {0xA4, 0x40, 0xA4, 0x41, 0xA4, 0xA1, 0xF9, 0xFE, 0xFA, 0xA1, 'x'};
    const struct {
        int kind;
        Bytes bytes;
        int32_t count;
    } cases[] = {{CS_GB, b("ab?"), 2},         {CS_GB, b("a?b"), 1},
                 {CS_BIG5, b("ab?"), 2},       {7, b("abc"), 0},
                 {CS_BIG5, mixed, 3},          {CS_GB, mixed, 3},
                 {CS_GB, Bytes{'a', 0xB0}, 1}, {CS_GB, Bytes{0xB0, 0xA1}, 1}};
    for (const auto &c : cases)
        EXPECT_EQ(ValidateChinese(c.kind, c.bytes.data(), size(c.bytes)), c.count);
    EXPECT_EQ(ValidateChinese(CS_GB, nullptr, 3), 0);
}

TEST(WhichChinese, LegacyBytesNullsAndFailedConversions) {
    LangContext ctx{};  // no conversion service at all
    const Bytes big5 = {0xA4, 0x40, 0xA4, 0x48, 0xAA, 0x46, 0xAB, 0x65, 0xA4, 0x77, '.'};
    const Bytes gb = {0xD6, 0xD0, 0xCE, 0xC4, 0xBC, 0xF2, 0xCC, 0xE5, '.'};
    EXPECT_EQ(WhichChinese(&ctx, CS_BIG5, big5.data(), size(big5), 0), 10);
    EXPECT_EQ(WhichChinese(&ctx, CS_GB, gb.data(), size(gb), 0), 9);
    EXPECT_EQ(WhichChinese(&ctx, CS_GB, reinterpret_cast<const unsigned char *>("abc"), 3, 0), 9);
    EXPECT_EQ(WhichChinese(nullptr, CS_GB, gb.data(), 2, 0), 0);
    EXPECT_EQ(WhichChinese(&ctx, CS_GB, nullptr, 2, 0), 0);
    const Bytes wide = {0x0B, 0x57, 0x0B, 0x57};
    EXPECT_EQ(WhichChinese(&ctx, CS_UNICODE, wide.data(), size(wide), 0), 0);
    EXPECT_EQ(WhichChinese(&ctx, CS_UTF8, b("\xE5\x9C\x8B").data(), 3, 0), 0);
}

TEST(CharsetGuess, RandomBytesNeverOverRead) {
    uint32_t seed = 7;
    for (int round = 0; round < 2000; ++round) {
        Bytes bytes(1 + round % 97);
        for (auto &c : bytes)
            c = static_cast<unsigned char>((seed = seed * 1103515245u + 12345u) >> 16);
        int32_t charset = 0;
        GuessCharset(bytes.data(), size(bytes), &charset);
        ValidateChinese(CS_GB, bytes.data(), size(bytes));
        ValidateChinese(CS_BIG5, bytes.data(), size(bytes));
    }
}

}  // namespace
