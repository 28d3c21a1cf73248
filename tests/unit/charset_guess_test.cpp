#include <gtest/gtest.h>

#include <stdint.h>

#include <string>
#include <vector>

#include "charset/charset_guess.h"
#include "conv/charset_ids.h"
#include "conv/zi18n_conv.h"
#include "engine/lang_context.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes bytes(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

// Each test takes its bytes from a block of exactly their size, so reading
// one byte too far is caught.
int32_t guess(const Bytes &b) {
    int32_t charset = -1;
    EXPECT_EQ(GuessCharset(b.data(), static_cast<int32_t>(b.size()), &charset), 0);
    return charset;
}

int is2022(const Bytes &b) {
    return Is2022JP(b.data(), static_cast<int32_t>(b.size()));
}
int utf8(const Bytes &b) {
    return IsUtf8(b.data(), static_cast<int32_t>(b.size()));
}
int utf16(const Bytes &b) {
    return IsUtf16(b.data(), static_cast<int32_t>(b.size()));
}

TEST(CharsetGuess, Iso2022Escapes) {
    EXPECT_EQ(guess(bytes("abc\x1b$Bx")), CS_ISO2022JP);
    // Three bytes must follow the escape.
    EXPECT_EQ(guess(bytes("abc\x1b$B")), CS_CP1252);
    EXPECT_EQ(is2022(bytes("abc\x1b$B")), 0);
    for (const char *escape : {"(B", "(J", "$@", "$B", "$A", "$JC", "$JD", ".A", ".F"}) {
        EXPECT_EQ(is2022(bytes(std::string("\x1b") + escape + "..")), 1) << escape;
    }
    EXPECT_EQ(is2022(bytes("\x1b$JEx")), 0);
    EXPECT_EQ(is2022(bytes("\x1b(Cxx")), 0);
    // Only the first escape is examined.
    EXPECT_EQ(is2022(bytes("\x1b(C\x1b$B..")), 0);
    EXPECT_EQ(is2022(bytes("caf\xE9\x1b$Bxx")), 0);
    EXPECT_EQ(is2022(bytes(std::string("\0\x1b$Bxx", 6))), 0);
    EXPECT_EQ(is2022(bytes("no escape here")), 0);
    EXPECT_EQ(Is2022JP(nullptr, 5), 0);
}

TEST(CharsetGuess, Ascii) {
    EXPECT_EQ(guess(bytes("Plain ASCII text.\n")), CS_CP1252);
    EXPECT_EQ(guess(Bytes{}), CS_CP1252);
    EXPECT_EQ(IsASCII(nullptr, 0), 1);
    // The test ends at the first NUL byte.
    EXPECT_EQ(IsASCII(reinterpret_cast<const unsigned char *>("a\0\xE9"), 3), 1);
    EXPECT_EQ(guess(Bytes{'H', 0, 'i', 0}), CS_CP1252);
    EXPECT_EQ(IsASCII(reinterpret_cast<const unsigned char *>("a\x80"), 2), 0);
}

TEST(CharsetGuess, Utf8) {
    EXPECT_EQ(guess(bytes("caf\xC3\xA9")), CS_UTF8);
    EXPECT_EQ(guess(bytes("\xE4\xB8\xAD\xE6\x96\x87")), CS_UTF8);
    EXPECT_EQ(guess(bytes("\xF0\x9F\x98\x80!")), CS_UTF8);
    // A sequence cut off by the end of the text is no error.
    EXPECT_EQ(guess(bytes("caf\xE9")), CS_UTF8);
    EXPECT_EQ(utf8(bytes("ab\xE4\xB8")), 1);
    // Nor is one cut off by a NUL: the text ends there.
    EXPECT_EQ(utf8(bytes(std::string("\xC3\0\x41", 3))), 1);
    // Overlong forms are accepted.
    EXPECT_EQ(utf8(bytes("\xC0\x80")), 1);
    EXPECT_EQ(utf8(bytes("caf\xE9!")), 0);
    EXPECT_EQ(utf8(bytes("\x80")), 0);
    EXPECT_EQ(utf8(bytes("\xF8\x88\x80\x80\x80")), 0);
    EXPECT_EQ(utf8(bytes("\xE4\xB8\x41")), 0);
    EXPECT_EQ(utf8(bytes("only ascii")), 0);
    EXPECT_EQ(IsUtf8(nullptr, 3), 0);
}

TEST(CharsetGuess, Latin1FallsThroughToNothing) {
    EXPECT_EQ(guess(bytes("caf\xE9!")), 0);
    EXPECT_EQ(guess(bytes("\xC4rger \xFC\x62\x65r \xF6l")), 0);
}

TEST(CharsetGuess, Utf16ByteOrderMarks) {
    EXPECT_EQ(guess(Bytes{0xFF, 0xFE, 'H', 0, 'i', 0}), CS_UTF16LE);
    EXPECT_EQ(guess(Bytes{0xFE, 0xFF, 0, 'H', 0, 'i'}), CS_UTF16BE);
    EXPECT_EQ(utf16(Bytes{0xFF, 0xFE}), 0);
    EXPECT_EQ(utf16(Bytes{0xFF, 0xFE, 'x'}), 0);
    EXPECT_EQ(utf16(Bytes{0xFF}), 0);
    EXPECT_EQ(IsUtf16(nullptr, 8), 0);
}

Bytes padded(size_t size, std::initializer_list<std::pair<size_t, Bytes>> pairs) {
    Bytes b(size, 'a');
    for (const auto &[at, value] : pairs) {
        for (size_t i = 0; i < value.size(); ++i) b[at + i] = value[i];
    }
    return b;
}

TEST(CharsetGuess, Utf16LineBreakRatio) {
    EXPECT_EQ(utf16(padded(100, {{10, {0x0A, 0x00}}})), CS_UTF16LE);
    EXPECT_EQ(utf16(padded(100, {{10, {0x00, 0x0D}}})), CS_UTF16BE);
    // Exactly one break per hundred characters is not enough.
    EXPECT_EQ(utf16(padded(200, {{10, {0x0A, 0x00}}})), 0);
    EXPECT_EQ(utf16(padded(201, {{10, {0x0A, 0x00}}})), 0);
    // Pairs are only looked at on even offsets.
    EXPECT_EQ(utf16(padded(100, {{11, {0x0A, 0x00}}})), 0);
    Bytes six = padded(10000, {});
    for (size_t i = 0; i < 6; ++i) six[100 + 50 * i] = 0x0D, six[101 + 50 * i] = 0x00;
    EXPECT_EQ(utf16(six), CS_UTF16LE);
    Bytes five = padded(10000, {});
    for (size_t i = 0; i < 5; ++i) five[100 + 50 * i] = 0x0D, five[101 + 50 * i] = 0x00;
    EXPECT_EQ(utf16(five), 0);
}

TEST(CharsetGuess, Utf16BreaksInBothOrdersMeanNeither) {
    EXPECT_EQ(utf16(padded(100, {{10, {0x0A, 0x00}}, {20, {0x00, 0x0A}}})), 0);
    // Once six breaks have settled the order, later ones are not looked at.
    Bytes b = padded(100, {});
    for (size_t i = 0; i < 6; ++i) b[2 * i] = 0x0A, b[2 * i + 1] = 0x00;
    b[40] = 0x00, b[41] = 0x0A;
    EXPECT_EQ(utf16(b), CS_UTF16LE);
}

TEST(CharsetGuess, Utf16WithoutMarkAfterAscii) {
    // Non-ASCII UTF-16 text with line breaks and no mark; its first byte is
    // neither ASCII nor the start of UTF-8.
    Bytes le = {0xE9, 0x04, 0x0A, 0x00, 0xE9, 0x04, 0x0D, 0x00, 0x0A, 0x00};
    EXPECT_EQ(guess(le), CS_UTF16LE);
}

TEST(ValidateChinese, CountsSingleBytesAndPairs) {
    EXPECT_EQ(ValidateChinese(CS_GB, reinterpret_cast<const unsigned char *>("ab?"), 3), 2);
    EXPECT_EQ(ValidateChinese(CS_GB, reinterpret_cast<const unsigned char *>("a?b"), 3), 1);
    EXPECT_EQ(ValidateChinese(CS_BIG5, reinterpret_cast<const unsigned char *>("ab?"), 3), 2);
    EXPECT_EQ(ValidateChinese(7, reinterpret_cast<const unsigned char *>("abc"), 3), 0);
    EXPECT_EQ(ValidateChinese(CS_GB, nullptr, 3), 0);
    // GB wants both bytes from 0xA1; Big5 takes second bytes from 0x41.
    Bytes big5 = {0xA4, 0x40, 0xA4, 0x41, 0xA4, 0xA1, 0xF9, 0xFE, 0xFA, 0xA1, 'x'};
    EXPECT_EQ(ValidateChinese(CS_BIG5, big5.data(), static_cast<int32_t>(big5.size())), 3);
    EXPECT_EQ(ValidateChinese(CS_GB, big5.data(), static_cast<int32_t>(big5.size())), 3);
    // A lead byte as the last byte is never read; one before the last takes
    // the last byte as its pair.
    Bytes cut = {'a', 0xB0};
    EXPECT_EQ(ValidateChinese(CS_GB, cut.data(), 2), 1);
    Bytes pair = {0xB0, 0xA1};
    EXPECT_EQ(ValidateChinese(CS_GB, pair.data(), 2), 1);
}

TEST(WhichChinese, CountsTheBytesOfLegacyCharsets) {
    LangContext ctx{};
    Bytes big5 = {0xA4, 0x40, 0xA4, 0x48, 0xAA, 0x46, 0xAB, 0x65, 0xA4, 0x77, '.'};
    EXPECT_EQ(WhichChinese(&ctx, CS_BIG5, big5.data(), static_cast<int32_t>(big5.size()), 0), 10);
    Bytes gb = {0xD6, 0xD0, 0xCE, 0xC4, 0xBC, 0xF2, 0xCC, 0xE5, '.'};
    EXPECT_EQ(WhichChinese(&ctx, CS_GB, gb.data(), static_cast<int32_t>(gb.size()), 0), 9);
    // Equal counts give Simplified.
    EXPECT_EQ(WhichChinese(&ctx, CS_GB, reinterpret_cast<const unsigned char *>("abc"), 3, 0), 9);
    EXPECT_EQ(WhichChinese(nullptr, CS_GB, gb.data(), 2, 0), 0);
    EXPECT_EQ(WhichChinese(&ctx, CS_GB, nullptr, 2, 0), 0);
}

// A stand-in for the utility library's services object that knows three
// characters: 中 in both charsets, 國 only in Big5 and 国 only in GB.
struct FakeChineseServices {
    static inline int selected = 0;
    static inline int calls = 0;

    static int set_subst(DXServices *, int) { return 1; }
    static int select(DXServices *, int charset) {
        selected = charset;
        return 1;
    }
    static int from_unicode(DXServices *, DXBuffer *source, DXBuffer *dest, int substitution,
                            int bigEndian) {
        ++calls;
        const auto *in = static_cast<const unsigned char *>(source->data);
        auto *out = static_cast<unsigned char *>(dest->data);
        int32_t n = 0;
        for (int32_t i = 0; i + 1 < source->length; i += 2) {
            unsigned unit = bigEndian ? in[i] * 256u + in[i + 1] : in[i] + in[i + 1] * 256u;
            Bytes bytes;
            if (unit < 0x80) {
                bytes = {static_cast<unsigned char>(unit)};
            } else if (unit == 0x4E2D) {
                bytes = selected == CS_GB ? Bytes{0xD6, 0xD0} : Bytes{0xA4, 0xA4};
            } else if (unit == 0x570B && selected == CS_BIG5) {
                bytes = {0xB0, 0xEA};
            } else if (unit == 0x56FD && selected == CS_GB) {
                bytes = {0xB9, 0xFA};
            } else {
                bytes = {static_cast<unsigned char>(substitution)};
            }
            for (unsigned char b : bytes) {
                if (n == dest->length) return 0;
                out[n++] = b;
            }
        }
        dest->length = n;
        return 1;
    }

    DXServices services{};
    Zi18nHandle handle{nullptr, &services, nullptr};
    LangContext ctx{};

    FakeChineseServices() {
        services.slot[DX_SVC_SET_SUBST] = reinterpret_cast<uintptr_t>(&set_subst);
        services.slot[DX_SVC_SELECT] = reinterpret_cast<uintptr_t>(&select);
        services.slot[DX_SVC_FROM_UNICODE] = reinterpret_cast<uintptr_t>(&from_unicode);
        ctx.convService = &handle;
        calls = 0;
    }
};

Bytes utf16le(std::u16string_view text) {
    Bytes out;
    for (char16_t u : text) {
        out.push_back(static_cast<unsigned char>(u & 0xFF));
        out.push_back(static_cast<unsigned char>(u >> 8));
    }
    return out;
}

TEST(WhichChinese, UnicodeTextIsConvertedToBothCharsets) {
    FakeChineseServices fake;
    Bytes traditional = utf16le(u"\u570B\u570B\u4E2D");
    EXPECT_EQ(WhichChinese(&fake.ctx, CS_UNICODE, traditional.data(),
                           static_cast<int32_t>(traditional.size()), 0),
              10);
    EXPECT_EQ(fake.calls, 2);
    Bytes simplified = utf16le(u"\u56FD\u56FD\u4E2D");
    EXPECT_EQ(WhichChinese(&fake.ctx, CS_UNICODE, simplified.data(),
                           static_cast<int32_t>(simplified.size()), 0),
              9);
    // Characters both charsets hold: a tie, which is Simplified.
    Bytes common = utf16le(u"\u4E2D\u4E2D\u4E2D");
    EXPECT_EQ(
        WhichChinese(&fake.ctx, CS_UNICODE, common.data(), static_cast<int32_t>(common.size()), 0),
        9);
}

TEST(WhichChinese, ByteOrderReachesTheConversion) {
    FakeChineseServices fake;
    Bytes be = {0x57, 0x0B, 0x57, 0x0B, 0x4E, 0x2D};
    EXPECT_EQ(WhichChinese(&fake.ctx, CS_UNICODE, be.data(), static_cast<int32_t>(be.size()), 1),
              10);
}

TEST(WhichChinese, FailedConversionIsNoAnswer) {
    LangContext ctx{};  // no conversion service at all
    Bytes text = utf16le(u"\u570B\u570B");
    EXPECT_EQ(WhichChinese(&ctx, CS_UNICODE, text.data(), static_cast<int32_t>(text.size()), 0), 0);
    const unsigned char utf8[] = "\xE5\x9C\x8B";
    EXPECT_EQ(WhichChinese(&ctx, CS_UTF8, utf8, 3, 0), 0);
}

TEST(CharsetGuess, RandomBytesNeverOverRead) {
    uint32_t seed = 7;
    for (int round = 0; round < 2000; ++round) {
        Bytes b(1 + round % 97);
        for (auto &c : b) {
            seed = seed * 1103515245u + 12345u;
            c = static_cast<unsigned char>(seed >> 16);
        }
        int32_t charset = 0;
        GuessCharset(b.data(), static_cast<int32_t>(b.size()), &charset);
        ValidateChinese(CS_GB, b.data(), static_cast<int32_t>(b.size()));
        ValidateChinese(CS_BIG5, b.data(), static_cast<int32_t>(b.size()));
    }
}

}  // namespace
