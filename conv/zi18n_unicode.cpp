// zi18n_unicode.cpp - the conversions done without the utility library:
// UTF-8 to UTF-16, UTF-16 to UTF-8, UTF-16 to KOI8-R, the UTF-16 byte swap,
// and the table of charset pairs that convert without loss.
//
// All conversions share one accounting rule: a character that does not fit
// is skipped and its size added to a shortfall, and decoding still runs to
// the end of the input, so that a caller learns in one call exactly how many
// bytes it is missing.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "conv/zi18n_conv.h"

namespace {

// KOI8-R bytes 0x80..0xFF as Unicode (RFC 1489).
constexpr uint16_t kKoi8rHigh[128] = {
    0x2500, 0x2502, 0x250C, 0x2510, 0x2514, 0x2518, 0x251C, 0x2524,  // 0x80
    0x252C, 0x2534, 0x253C, 0x2580, 0x2584, 0x2588, 0x258C, 0x2590,  // 0x88
    0x2591, 0x2592, 0x2593, 0x2320, 0x25A0, 0x2219, 0x221A, 0x2248,  // 0x90
    0x2264, 0x2265, 0x00A0, 0x2321, 0x00B0, 0x00B2, 0x00B7, 0x00F7,  // 0x98
    0x2550, 0x2551, 0x2552, 0x0451, 0x2553, 0x2554, 0x2555, 0x2556,  // 0xA0
    0x2557, 0x2558, 0x2559, 0x255A, 0x255B, 0x255C, 0x255D, 0x255E,  // 0xA8
    0x255F, 0x2560, 0x2561, 0x0401, 0x2562, 0x2563, 0x2564, 0x2565,  // 0xB0
    0x2566, 0x2567, 0x2568, 0x2569, 0x256A, 0x256B, 0x256C, 0x00A9,  // 0xB8
    0x044E, 0x0430, 0x0431, 0x0446, 0x0434, 0x0435, 0x0444, 0x0433,  // 0xC0
    0x0445, 0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E,  // 0xC8
    0x043F, 0x044F, 0x0440, 0x0441, 0x0442, 0x0443, 0x0436, 0x0432,  // 0xD0
    0x044C, 0x044B, 0x0437, 0x0448, 0x044D, 0x0449, 0x0447, 0x044A,  // 0xD8
    0x042E, 0x0410, 0x0411, 0x0426, 0x0414, 0x0415, 0x0424, 0x0413,  // 0xE0
    0x0425, 0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E,  // 0xE8
    0x041F, 0x042F, 0x0420, 0x0421, 0x0422, 0x0423, 0x0416, 0x0412,  // 0xF0
    0x042C, 0x042B, 0x0417, 0x0428, 0x042D, 0x0429, 0x0427, 0x042A,  // 0xF8
};

// Charsets whose repertoires match, so that converting between members of
// one group loses nothing. 0 ends a group early.
constexpr int32_t kCompatibilityGroups[13][5] = {
    {30, 5, 15},  {31, 6, 18, 39, 73}, {28, 7, 14, 25}, {40, 8, 20}, {32, 9, 16, 22},
    {35, 10, 21}, {37, 11, 19, 79},    {82, 12, 81},    {41},        {2, 94},
    {3},          {1, 66, 55, 78},     {4, 60, 69},
};

constexpr int32_t kNoMapTarget = 69;

uint16_t read_unit(const uint8_t *p, int bigEndian) {
    return bigEndian ? static_cast<uint16_t>(p[0] << 8 | p[1])
                     : static_cast<uint16_t>(p[1] << 8 | p[0]);
}

void write_unit(uint8_t *p, uint16_t unit, int bigEndian) {
    const auto high = static_cast<uint8_t>(unit >> 8);
    const auto low = static_cast<uint8_t>(unit & 0xFF);
    p[0] = bigEndian ? high : low;
    p[1] = bigEndian ? low : high;
}

// Shared bookkeeping of one conversion: where the first character that did
// not fit began, how many bytes were written and how many were missing.
struct Tally {
    int32_t written = 0;
    int32_t shortfall = 0;
    int32_t firstUnfit = -1;

    void missed(int32_t offset, int32_t size) {
        if (firstUnfit < 0) firstUnfit = offset;
        shortfall += size;
    }

    // Stores the caller's results; `stoppedAt` is where decoding ended.
    int finish(int32_t stoppedAt, int32_t inputLength, int32_t *consumed,
               int32_t *outputLength) const {
        const int32_t used = firstUnfit >= 0 ? firstUnfit : stoppedAt;
        if (consumed) *consumed = used;
        if (outputLength) *outputLength = shortfall > 0 ? -shortfall : written;
        if (shortfall > 0) return ZI18N_ERR_SHORTOUTPUT;
        if (used < inputLength) return ZI18N_ERR_PARTIAL;
        return ZI18N_OK;
    }
};

}  // namespace

extern "C" int Zi18nUtf8ToUnicode(const void *input, int32_t inputLength, int32_t *consumed,
                                  void *output, int32_t outputSize, int32_t *outputLength,
                                  int bigEndian) {
    if (!input || inputLength <= 0) return ZI18N_ERR_NOINPUT;
    if (!output || outputSize <= 0) return ZI18N_ERR_NOOUTPUT;
    const auto *in = static_cast<const uint8_t *>(input);
    auto *out = static_cast<uint8_t *>(output);
    const int32_t capacity = outputSize / 2;
    int32_t units = 0;
    Tally tally;

    int32_t i = 0;
    while (i < inputLength) {
        // Runs of ASCII eight bytes at a time, each byte its own unit, while
        // they fit; the rest goes character by character.
        while (inputLength - i >= 8 && capacity - units >= 8 && in[i] < 0x80) {
            uint64_t word;
            memcpy(&word, in + i, sizeof word);
            if (word & 0x8080808080808080ull) break;
            for (int32_t k = 0; k < 8; ++k) write_unit(out + 2 * (units + k), in[i + k], bigEndian);
            i += 8;
            units += 8;
        }
        if (i == inputLength) break;
        const uint8_t b = in[i];
        const int32_t need = Zi18nUtf8SequenceLength(b);
        if (need > inputLength - i) break;  // incomplete character at the end

        // Continuation bytes are used as they come: the engine feeds this
        // with text that merely looked like UTF-8, and a lenient decoder
        // keeps more of it than a strict one would.
        uint16_t pair[2];
        int32_t count = 1;
        switch (need) {
            case 1:
                pair[0] = b;
                break;
            case 2:
                pair[0] = static_cast<uint16_t>((b & 0x1F) << 6 | (in[i + 1] & 0x3F));
                break;
            case 3:
                pair[0] = static_cast<uint16_t>((b & 0x0F) << 12 | (in[i + 1] & 0x3F) << 6 |
                                                (in[i + 2] & 0x3F));
                break;
            default: {
                const uint8_t b2 = in[i + 1], b3 = in[i + 2], b4 = in[i + 3];
                const unsigned plane = ((b & 0x07u) << 2) | ((b2 & 0x30u) >> 4);
                const unsigned top = (plane - 1u) << 6;
                pair[0] = static_cast<uint16_t>(0xD800u | top | ((b2 & 0x0Fu) << 2) |
                                                ((b3 & 0x30u) >> 4));
                pair[1] = static_cast<uint16_t>(0xDC00u | ((b3 & 0x0Fu) << 6) | (b4 & 0x3Fu));
                count = 2;
                break;
            }
        }
        if (capacity - units >= count) {
            for (int32_t k = 0; k < count; ++k)
                write_unit(out + 2 * (units + k), pair[k], bigEndian);
            units += count;
        } else {
            tally.missed(i, 2 * count);
        }
        i += need;
    }
    tally.written = 2 * units;
    return tally.finish(i, inputLength, consumed, outputLength);
}

namespace {

// The loop shared by the conversions from 16-bit units: `encode(unit, bytes)`
// writes one unit's bytes (at most 3) and returns how many; a unit whose
// bytes do not fit is left out whole and counted in the shortfall.
template <typename Encode>
int from_units(const void *input, int32_t inputLength, int32_t *consumed, void *output,
               int32_t outputSize, int32_t *outputLength, int bigEndian, Encode encode) {
    if (!input || inputLength <= 0) return ZI18N_ERR_NOINPUT;
    if (!output || outputSize <= 0) return ZI18N_ERR_NOOUTPUT;
    const auto *in = static_cast<const uint8_t *>(input);
    auto *out = static_cast<uint8_t *>(output);
    const int32_t units = inputLength / 2;
    Tally tally;

    for (int32_t k = 0; k < units; ++k) {
        uint8_t seq[3];
        const int32_t n = encode(read_unit(in + 2 * k, bigEndian), seq);
        if (outputSize - tally.written >= n) {
            for (int32_t j = 0; j < n; ++j) out[tally.written + j] = seq[j];
            tally.written += n;
        } else {
            tally.missed(2 * k, n);
        }
    }
    return tally.finish(2 * units, inputLength, consumed, outputLength);
}

}  // namespace

extern "C" int Zi18nUnicodeToUtf8(const void *input, int32_t inputLength, int32_t *consumed,
                                  void *output, int32_t outputSize, int32_t *outputLength,
                                  int bigEndian) {
    // Surrogates are written one by one as three-byte sequences: the
    // receiving n-gram stage works on bytes and needs no code points.
    auto encode = [](uint16_t u, uint8_t *seq) -> int32_t {
        if (u <= 0x7F) {
            seq[0] = static_cast<uint8_t>(u);
            return 1;
        }
        if (u <= 0x7FF) {
            seq[0] = static_cast<uint8_t>(0xC0 | (u >> 6));
            seq[1] = static_cast<uint8_t>(0x80 | (u & 0x3F));
            return 2;
        }
        seq[0] = static_cast<uint8_t>(0xE0 | (u >> 12));
        seq[1] = static_cast<uint8_t>(0x80 | ((u >> 6) & 0x3F));
        seq[2] = static_cast<uint8_t>(0x80 | (u & 0x3F));
        return 3;
    };
    return from_units(input, inputLength, consumed, output, outputSize, outputLength, bigEndian,
                      encode);
}

extern "C" int Zi18nUnicodeToKoi8r(const void *input, int32_t inputLength, int32_t *consumed,
                                   void *output, int32_t outputSize, int32_t *outputLength,
                                   int bigEndian) {
    auto encode = [](uint16_t u, uint8_t *seq) -> int32_t {
        seq[0] = '?';
        if (u < 0x80) {
            seq[0] = static_cast<uint8_t>(u);
        } else {
            for (int j = 0; j < 128; ++j) {
                if (kKoi8rHigh[j] == u) {
                    seq[0] = static_cast<uint8_t>(0x80 + j);
                    break;
                }
            }
        }
        return 1;
    };
    return from_units(input, inputLength, consumed, output, outputSize, outputLength, bigEndian,
                      encode);
}

extern "C" int Zi18nUnicodeEndianSwap(const void *input, int32_t inputLength, int32_t *consumed,
                                      void *output, int32_t outputSize, int32_t *outputLength) {
    if (!input || inputLength < 1) return ZI18N_ERR_NOINPUT;
    if (!output || outputSize < 1) return ZI18N_ERR_NOOUTPUT;
    const auto *in = static_cast<const uint8_t *>(input);
    auto *out = static_cast<uint8_t *>(output);
    const int32_t even = inputLength & ~int32_t{1};
    int32_t swapped = 0;
    while (swapped < even && outputSize - swapped >= 2) {
        const uint8_t first = in[swapped];
        out[swapped] = in[swapped + 1];
        out[swapped + 1] = first;
        swapped += 2;
    }
    if (consumed) *consumed = swapped;
    if (swapped < even) {
        if (outputLength) *outputLength = -(even - swapped);
        return ZI18N_ERR_SHORTOUTPUT;
    }
    if (outputLength) *outputLength = swapped;
    return even < inputLength ? ZI18N_ERR_PARTIAL : ZI18N_OK;
}

extern "C" int Zi18nIsValidCharsetMapping(int32_t source, int32_t target) {
    if (source == CS_NONE || target == CS_NONE || target == kNoMapTarget) return 0;
    if (source == CS_UTF8 || target == CS_UTF8 || source == CS_UNICODE || target == CS_UNICODE ||
        source == CS_LMBCS || source == target) {
        return 1;
    }
    for (const auto &group : kCompatibilityGroups) {
        bool hasSource = false, hasTarget = false;
        for (int32_t member : std::span(group)) {
            if (member == 0) break;
            hasSource = hasSource || member == source;
            hasTarget = hasTarget || member == target;
        }
        if (hasSource && hasTarget) return 1;
    }
    return 0;
}
