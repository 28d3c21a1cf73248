// charset_guess.cpp - charsets that the bytes themselves prove (ISO-2022
// escapes, 7-bit ASCII, UTF-8, UTF-16), and Simplified versus Traditional
// Chinese by how much of a text is valid GB and valid Big5.
#include "charset/charset_guess.h"

#include <string.h>

#include <bit>
#include <cstdint>
#include <span>
#include <string_view>

#include "conv/charset_ids.h"
#include "conv/zi18n_conv.h"
#include "engine/lang_api.h"
#include "pipeline/charset_norm.h"
#include "pipeline/lang_tables.h"
#include "platform/vos.h"

namespace {

using Bytes = std::span<const unsigned char>;

Bytes bytes_of(const unsigned char *buffer, int32_t length) {
    if (!buffer || length <= 0) return {};
    return Bytes(buffer, static_cast<size_t>(length));
}

constexpr unsigned char kEsc = 0x1B;

// Bytes of an eight-byte word read at a time.
constexpr uint64_t kOnes = 0x0101010101010101ull;
constexpr uint64_t kHigh = kOnes << 7;

// The top bit of every zero byte of `word`, and perhaps of bytes 0x01 above
// a zero byte (the borrow runs on): nonzero exactly when a byte is zero, and
// its lowest flag, in little-endian order, is the first zero byte.
constexpr uint64_t zero_bytes(uint64_t word) {
    return (word - kOnes) & ~word & kHigh;
}

// What may follow ESC in an ISO-2022-JP text: designations of ASCII, JIS
// Roman, the JIS X 0208 and 0212 sets and the 96-character sets.
constexpr std::string_view kIso2022Escapes[] = {
    "(B", "(J", "$@", "$B", "$A", "$JC", "$JD", ".A", ".F",
};

// Lead and trail byte ranges that make a double-byte character count.
struct DoubleByteRange {
    unsigned char leadLow, leadHigh, trailLow, trailHigh;
};
constexpr DoubleByteRange kGbRange = {0xA1, 0xFA, 0xA1, 0xFE};
constexpr DoubleByteRange kBig5Range = {0xA1, 0xF9, 0x41, 0xFE};

// More line breaks than this, in either byte order, settle UTF-16.
constexpr int kUtf16Breaks = 5;
// Or more than one line break per hundred characters.
constexpr double kUtf16BreakRatio = 0.01;

int32_t count_valid(const DoubleByteRange &range, Bytes text) {
    int32_t count = 0;
    size_t i = 0;
    while (i < text.size()) {
        unsigned char c = text[i++];
        // The last byte is never looked at: it may be the first half of a
        // character that the byte limit cut off.
        if (i >= text.size()) break;
        if (c < 0x80) {
            // '?' is what a conversion writes for a character the target
            // charset lacks, so it is no evidence for the charset.
            if (c != '?') ++count;
            continue;
        }
        unsigned char d = text[i++];
        if (c >= range.leadLow && c <= range.leadHigh && d >= range.trailLow &&
            d <= range.trailHigh) {
            ++count;
        }
    }
    return count;
}

// Owns converted text from LangConvert.
struct Converted {
    unsigned char *text = nullptr;
    int32_t length = 0;
    ~Converted() { vos_free(text); }
    Bytes bytes() const { return bytes_of(text, length); }
};

}  // namespace

int GuessCharset(const unsigned char *buffer, int32_t length, int32_t *charset) {
    if (!charset) return LANG_ERR_NULL;
    if (Is2022JP(buffer, length)) {
        *charset = CS_ISO2022JP;
    } else if (IsASCII(buffer, length)) {
        *charset = CS_CP1252;
    } else if (IsUtf8(buffer, length)) {
        *charset = CS_UTF8;
    } else {
        *charset = IsUtf16(buffer, length);
    }
    return LANG_OK;
}

int Is2022JP(const unsigned char *buffer, int32_t length) {
    Bytes text = bytes_of(buffer, length);
    if (text.empty() || text[0] == 0) return 0;
    // Eight bytes at a time while they hold neither a byte from 0x80 nor an
    // escape (a zero byte of the word xor'ed with escapes).
    size_t esc = 0;
    while (text.size() - esc >= 8) {
        uint64_t word;
        memcpy(&word, text.data() + esc, sizeof word);
        if ((word & kHigh) | zero_bytes(word ^ (kOnes * kEsc))) break;
        esc += 8;
    }
    while (esc < text.size() && text[esc] != kEsc) {
        if (text[esc] >= 0x80) return 0;
        ++esc;
    }
    // Three bytes must follow the escape, whatever its length.
    if (esc + 3 >= text.size()) return 0;
    std::string_view after(reinterpret_cast<const char *>(text.data()) + esc + 1, 3);
    for (std::string_view escape : kIso2022Escapes) {
        if (after.starts_with(escape)) return 1;
    }
    return 0;
}

int IsASCII(const unsigned char *buffer, int32_t length) {
    for (unsigned char c : bytes_of(buffer, length)) {
        if (c == 0) return 1;
        if (c >= 0x80) return 0;
    }
    return 1;
}

int IsUtf8(const unsigned char *buffer, int32_t length) {
    int32_t high = 0;
    int state = 0;  // continuation bytes the current sequence needs in all
    int seen = 0;   // bytes of the current sequence so far
    const Bytes text = bytes_of(buffer, length);
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = text[i];
        if (c == 0) break;
        if (c >= 0x80) ++high;
        if (state == 0) {
            if (c < 0x80) {
                // Between sequences, a run of ASCII goes on to the next
                // byte from 0x80 or zero byte, eight bytes at a time (the
                // first such byte is the lowest flagged one of a word read
                // in little-endian order).
                while (std::endian::native == std::endian::little && text.size() - i > 8) {
                    uint64_t word;
                    memcpy(&word, text.data() + i + 1, sizeof word);
                    const uint64_t stop = (word & kHigh) | zero_bytes(word);
                    if (stop != 0) {
                        i += static_cast<size_t>(std::countr_zero(stop) >> 3);
                        break;
                    }
                    i += 8;
                }
                continue;
            }
            // A stray continuation byte or a byte from 0xF8 starts nothing.
            state = Zi18nUtf8SequenceLength(c) - 1;
            if (state == 0) return 0;
            seen = 1;
            continue;
        }
        if (c < 0x80 || c > 0xBF) return 0;
        if (++seen == state + 1) state = 0;
    }
    return high > 0 ? 1 : 0;
}

int IsUtf16(const unsigned char *buffer, int32_t length) {
    if (!buffer || length < 2) return 0;
    int32_t n = length & ~1;
    if (n > 2) {
        if (buffer[0] == 0xFF && buffer[1] == 0xFE) return CS_UTF16LE;
        if (buffer[0] == 0xFE && buffer[1] == 0xFF) return CS_UTF16BE;
    }

    auto is_break = [](unsigned char c) { return c == 0x0A || c == 0x0D; };
    int32_t le = 0;
    int32_t be = 0;
    for (int32_t i = 0; i < n - 1 && le <= kUtf16Breaks && be <= kUtf16Breaks; i += 2) {
        // A break pair holds a zero byte: eight bytes without one hold none
        // and are passed over at once.
        if (i % 8 == 0 && n - i >= 8) {
            uint64_t word;
            memcpy(&word, buffer + i, sizeof word);
            if (zero_bytes(word) == 0) {
                i += 6;
                continue;
            }
        }
        if (buffer[i] == 0 && is_break(buffer[i + 1])) ++be;
        if (is_break(buffer[i]) && buffer[i + 1] == 0) ++le;
        // Breaks in both byte orders: this is not UTF-16 at all.
        if (le && be) return 0;
    }
    if (le > kUtf16Breaks || 2.0 * le / n > kUtf16BreakRatio) return CS_UTF16LE;
    if (be > kUtf16Breaks || 2.0 * be / n > kUtf16BreakRatio) return CS_UTF16BE;
    return 0;
}

int32_t ValidateChinese(int kind, const unsigned char *buffer, int32_t length) {
    switch (kind) {
        case CS_GB:
            return count_valid(kGbRange, bytes_of(buffer, length));
        case CS_BIG5:
            return count_valid(kBig5Range, bytes_of(buffer, length));
        default:
            return 0;
    }
}

int32_t WhichChinese(LangContext *ctx, int32_t charset, const unsigned char *buffer, int32_t length,
                     int bigEndian) {
    if (!ctx || !buffer) return Lang_Unknown;
    int32_t gb = 0;
    int32_t big5 = 0;
    if (charset == CS_UTF8 || charset == CS_UNICODE) {
        // Unicode text says nothing by its bytes: convert it to both
        // charsets and see which one holds more of it.
        Converted asBig5, asGb;
        if (LangConvert(ctx, charset, buffer, length, CS_BIG5, &asBig5.text, &asBig5.length,
                        bigEndian) != LANG_OK ||
            LangConvert(ctx, charset, buffer, length, CS_GB, &asGb.text, &asGb.length, bigEndian) !=
                LANG_OK) {
            return Lang_Unknown;
        }
        gb = count_valid(kGbRange, asGb.bytes());
        big5 = count_valid(kBig5Range, asBig5.bytes());
    } else {
        gb = ValidateChinese(CS_GB, buffer, length);
        big5 = ValidateChinese(CS_BIG5, buffer, length);
    }
    return big5 > gb ? Lang_ChineseTraditional : Lang_ChineseSimplified;
}
