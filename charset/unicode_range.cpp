// unicode_range.cpp - script statistics over 16-bit Unicode text, the choice
// of the dominant script, and what follows from it: a direct answer, the
// Chinese variant test, or n-gram classification after conversion.
#include "charset/unicode_range.h"

#include <stdint.h>
#include <string.h>

#include "charset/charset_guess.h"
#include "conv/charset_ids.h"
#include "conv/zi18n_conv.h"
#include "engine/lang_api.h"
#include "engine/lang_log.h"
#include "pipeline/charset_norm.h"
#include "pipeline/lang_tables.h"
#include "pipeline/recognise.h"
#include "platform/vos.h"

namespace {

// One block of code units and the counters it feeds (up to three; 0 ends
// the list, since counter 0 is never fed).
struct ScriptRange {
    uint32_t low, high;
    int8_t counters[3];
};

// Tested in this order; the first matching block counts. Han is shared by
// Chinese, Japanese and Korean until kana or Hangul tell them apart, and
// Latin-1 letters feed both Latin counters so that extended Latin only pulls
// ahead on letters outside Latin-1.
constexpr ScriptRange kScriptRanges[] = {
    {0x0370, 0x03FF, {Lang_Greek}},
    {0x1F00, 0x1FFF, {Lang_Greek}},
    {0x0600, 0x06FF, {Lang_Arabic}},
    {0xFB50, 0xFDFF, {Lang_Arabic}},
    {0xFE70, 0xFEFE, {Lang_Arabic}},
    {0x0590, 0x05FF, {Lang_Hebrew}},
    {0x3100, 0x312F, {Lang_Chinese}},
    {0x31A0, 0x31BF, {Lang_Chinese}},
    {0x3130, 0x318F, {Lang_Korean}},
    {0xAC00, 0xD7A3, {Lang_Korean}},
    {0xFFA1, 0xFFBE, {Lang_Korean}},
    {0xFFC2, 0xFFC7, {Lang_Korean}},
    {0xFFCA, 0xFFCF, {Lang_Korean}},
    {0xFFD2, 0xFFD7, {Lang_Korean}},
    {0xFFDA, 0xFFDC, {Lang_Korean}},
    {0x3040, 0x30FF, {Lang_Japanese}},
    {0xFF66, 0xFF9F, {Lang_Japanese}},
    {0x2E80, 0x303F, {Lang_Chinese, Lang_Japanese, Lang_Korean}},
    {0x3200, 0x9FFF, {Lang_Chinese, Lang_Japanese, Lang_Korean}},
    {0xF900, 0xFAFF, {Lang_Chinese, Lang_Japanese, Lang_Korean}},
    {0x0400, 0x04FF, {Lang_Russian}},
    {0x0E00, 0x0E7F, {Lang_Thai}},
    {0x0041, 0x007F, {Lang_Ascii}},
    {0x0080, 0x00FF, {Lang_Latin, Lang_LatinExt}},
    {0x0100, 0x024F, {Lang_LatinExt}},
    {0x1E00, 0x1EFF, {Lang_LatinExt}},
    {0x0530, 0x058F, {Lang_Armenian}},
    {0x0700, 0x074F, {Lang_Syriac}},
    {0x0780, 0x07BF, {Lang_Divehi}},
    {0x0900, 0x097F, {Lang_Hindi}},
    {0x0980, 0x09FF, {Lang_Bengali}},
    {0x0A00, 0x0A7F, {Lang_Punjabi}},
    {0x0A80, 0x0AFF, {Lang_Gujarati}},
    {0x0B00, 0x0B7F, {Lang_Oriya}},
    {0x0B80, 0x0BFF, {Lang_Tamil}},
    {0x0C00, 0x0C7F, {Lang_Telugu}},
    {0x0C80, 0x0CFF, {Lang_Kannada}},
    {0x0D00, 0x0D7F, {Lang_Malayalam}},
    {0x0D80, 0x0DFF, {Lang_Sinhala}},
    {0x0E80, 0x0EFF, {Lang_Lao}},
    {0x0F00, 0x0FFF, {Lang_Tibetan}},
    {0x1000, 0x109F, {Lang_Myanmar}},
    {0x10A0, 0x10FF, {Lang_Georgian}},
    {0x1200, 0x137F, {Lang_Ethiopic}},
    {0x13A0, 0x13FF, {Lang_Cherokee}},
    {0x1700, 0x177F, {Lang_Philippine}},
    {0x1780, 0x17FF, {Lang_Khmer}},
    {0x1800, 0x18AF, {Lang_Mongolian}},
};

struct ScoreName {
    int32_t language;
    const char *format;
};

// The shares written to the debug log, in ascending language order.
constexpr ScoreName kLoggedScores[] = {
    {Lang_Unknown, "Score[Lang_Unknown]=%f, %d"},
    {Lang_Ascii, "Score[Lang_Ascii]=%f, %d"},
    {Lang_Arabic, "Score[Lang_Arabic]=%f, %d"},
    {Lang_Bokmal, "Score[Lang_Bokmal]=%f, %d"},
    {Lang_Chinese, "Score[Lang_Chinese]=%f, %d"},
    {Lang_Danish, "Score[Lang_Danish]=%f, %d"},
    {Lang_Dutch, "Score[Lang_Dutch]=%f, %d"},
    {Lang_English, "Score[Lang_English]=%f, %d"},
    {Lang_Finish, "Score[Lang_Finish]=%f, %d"},
    {Lang_French, "Score[Lang_French]=%f, %d"},
    {Lang_German, "Score[Lang_German]=%f, %d"},
    {Lang_Greek, "Score[Lang_Greek]=%f, %d"},
    {Lang_Hebrew, "Score[Lang_Hebrew]=%f, %d"},
    {Lang_Italian, "Score[Lang_Italian]=%f, %d"},
    {Lang_Japanese, "Score[Lang_Japanese]=%f, %d"},
    {Lang_Korean, "Score[Lang_Korean]=%f, %d"},
    {Lang_Latin, "Score[Lang_Latin]=%f, %d"},
    {Lang_LatinExt, "Score[Lang_LatinExt]=%f, %d"},
    {Lang_Nynorsk, "Score[Lang_Nynorsk]=%f, %d"},
    {Lang_Portugese, "Score[Lang_Portugese]=%f, %d"},
    {Lang_Russian, "Score[Lang_Russian]=%f, %d"},
    {Lang_Spanish, "Score[Lang_Spanish]=%f, %d"},
    {Lang_Swedish, "Score[Lang_Swedish]=%f, %d"},
    {Lang_Turkish, "Score[Lang_Turkish]=%f, %d"},
};

constexpr int kRowCount = static_cast<int>(sizeof kScriptRanges / sizeof kScriptRanges[0]);

// The code units fall into 4096 groups of 16. In most groups every counted
// unit (the ignored ones never reach the table) meets the same first row, or
// none; the table names that row so that a unit costs one lookup instead of a
// walk down the rows. The few groups that a row boundary cuts are walked.
constexpr int kGroupShift = 4;
constexpr uint8_t kNoRow = 0xFF;
constexpr uint8_t kMixed = 0xFE;
static_assert(kRowCount < kMixed);

constexpr bool is_ignored(uint32_t unit) {
    return unit <= 0x40 || unit == 0x30FB;
}

constexpr uint8_t first_row(uint32_t unit) {
    for (int row = 0; row < kRowCount; ++row) {
        if (unit >= kScriptRanges[row].low && unit <= kScriptRanges[row].high)
            return static_cast<uint8_t>(row);
    }
    return kNoRow;
}

struct GroupTable {
    uint8_t row[0x10000 >> kGroupShift];
};

constexpr GroupTable make_group_table() {
    GroupTable table{};
    for (uint32_t group = 0; group < (0x10000 >> kGroupShift); ++group) {
        const uint32_t low = group << kGroupShift, high = low + (1u << kGroupShift) - 1;
        // The first row that touches the group decides it: if it covers every
        // counted unit of the group, no earlier row can claim any of them.
        uint8_t decided = kNoRow;
        for (int row = 0; row < kRowCount && decided == kNoRow; ++row) {
            const ScriptRange &range = kScriptRanges[row];
            if (range.high < low || range.low > high) continue;
            decided = static_cast<uint8_t>(row);
            for (uint32_t unit = low; unit <= high; ++unit) {
                if (!is_ignored(unit) && (unit < range.low || unit > range.high)) decided = kMixed;
            }
        }
        table.row[group] = decided;
    }
    return table;
}

constexpr GroupTable kGroups = make_group_table();

void count_row(uint8_t row, int32_t counters[Lang_Count]) {
    if (row == kNoRow) return;
    for (int8_t counter : kScriptRanges[row].counters) {
        if (counter) ++counters[counter];
    }
}

void count_unit(uint32_t unit, int32_t counters[Lang_Count]) {
    const uint8_t row = kGroups.row[unit >> kGroupShift];
    count_row(row == kMixed ? first_row(unit) : row, counters);
}

// The dominant script of counted text: the language number for it, from
// the counters and the total of counted units.
int32_t choose_language(LangContext *ctx, int32_t counters[Lang_Count], int32_t total) {
    if (total == 0) return Lang_Unknown;

    // Han alone, with no kana, Hangul or Bopomofo beside it, is Chinese.
    if (counters[Lang_Japanese] == counters[Lang_Chinese] &&
        counters[Lang_Korean] == counters[Lang_Chinese]) {
        counters[Lang_Japanese] = 0;
        counters[Lang_Korean] = 0;
    }
    // No letter beyond Latin-1: the text is plain Latin.
    if (counters[Lang_Latin] == counters[Lang_LatinExt]) counters[Lang_LatinExt] = 0;

    float share[Lang_Count];
    for (int i = 0; i < Lang_Count; ++i) {
        share[i] = static_cast<float>(counters[i]) / static_cast<float>(total);
    }
    if (LangLogEnabled(ctx)) {
        for (const ScoreName &score : kLoggedScores) {
            LangLogf(ctx, score.format, static_cast<double>(share[score.language]),
                     counters[score.language]);
        }
    }

    int32_t best = Lang_Unknown;
    for (int32_t i = 0; i < Lang_Count; ++i) {
        if (i == Lang_Ascii) continue;
        if (share[i] > share[best]) best = i;
    }

    // ASCII letters never win on their own, but they side with the Latin
    // scripts against any other script.
    if (share[Lang_Ascii] > 0 && best == Lang_Unknown) return Lang_Latin;
    if (best == Lang_Latin || best == Lang_LatinExt) return best;
    if (share[Lang_Ascii] + share[Lang_Latin] > share[best]) return Lang_Latin;
    if (share[Lang_Ascii] + share[Lang_LatinExt] > share[best]) return Lang_Latin;
    return best;
}

// Classifies the text by n-grams after converting it from 16-bit Unicode to
// the charset in which the matching profiles are stored.
int classify_converted(LangContext *ctx, const unsigned char *text, int32_t length, int bigEndian,
                       int32_t target, LangCandidate **outList) {
    unsigned char *converted = nullptr;
    int32_t convertedLength = 0;
    int result =
        LangConvert(ctx, CS_UNICODE, text, length, target, &converted, &convertedLength, bigEndian);
    if (result == LANG_OK) {
        result = converted ? RecByNgramText(ctx, Lang_Unknown, target, converted, convertedLength,
                                            outList)
                           : LangCode2List(Lang_Unknown, 0, outList);
    }
    vos_free(converted);
    return result;
}

}  // namespace

int IsIgnore(uint32_t codeUnit) {
    return is_ignored(codeUnit) ? 1 : 0;
}

int RecLangByRange(LangContext *ctx, const unsigned char *text, int32_t length, int bigEndian,
                   int32_t *language) {
    if (!text || !language) return LANG_ERR_NULL;
    LangLogf(ctx, "Detecting language by unicode code range");

    int32_t counters[Lang_Count] = {};
    int32_t total = 0;
    for (int64_t offset = 0; offset < int64_t{length} - 1; offset += 2) {
        uint32_t first = text[offset];
        uint32_t second = text[offset + 1];
        uint32_t unit = bigEndian ? first * 256 + second : first + second * 256;
        if (IsIgnore(unit)) continue;
        ++total;
        count_unit(unit, counters);
    }
    *language = choose_language(ctx, counters, total);
    return LANG_OK;
}

int RecLangByRangeUtf8(const unsigned char *text, int32_t length, int32_t *language,
                       int32_t *kept) {
    if (!text || !language || !kept || length < 0) return 0;
    int32_t counters[Lang_Count] = {};
    int32_t total = 0;
    int32_t letters = 0;  // ASCII letters and the punctuation above '@'
    constexpr uint64_t kHigh = 0x8080808080808080ull;
    constexpr uint64_t kAboveAt = 0x3F3F3F3F3F3F3F3Full;  // lifts 0x41..0x7F to 0x80..
    int32_t i = 0;
    while (i < length) {
        // Runs of ASCII eight bytes at a time: in each byte below 0x80,
        // adding 0x3F sets the top bit exactly for 0x41 and above, and no
        // byte carries into the next; the multiplication sums the bits.
        while (length - i >= 8) {
            uint64_t word;
            memcpy(&word, text + i, sizeof word);
            if (word & kHigh) break;
            const uint64_t above = ((word + kAboveAt) & kHigh) >> 7;
            letters += static_cast<int32_t>((above * 0x0101010101010101ull) >> 56);
            i += 8;
        }
        if (i == length) break;
        const unsigned char b = text[i];
        if (b < 0x80) {
            letters += b > 0x40;
            ++i;
            continue;
        }
        // A stray continuation byte or a byte from 0xF8 is one unit of its
        // own, which comes back as two bytes.
        const int32_t need = Zi18nUtf8SequenceLength(b);
        if (need == 1) return 0;
        if (need > length - i) break;  // cut off at the end: dropped
        // Four bytes come back as two three-byte surrogates; continuation
        // bytes out of place or overlong forms come back otherwise too.
        if (need == 4 || (text[i + 1] & 0xC0) != 0x80) return 0;
        uint32_t unit;
        if (need == 2) {
            unit = (b & 0x1Fu) << 6 | (text[i + 1] & 0x3Fu);
            if (unit < 0x80) return 0;
        } else {
            if ((text[i + 2] & 0xC0) != 0x80) return 0;
            unit = (b & 0x0Fu) << 12 | (text[i + 1] & 0x3Fu) << 6 | (text[i + 2] & 0x3Fu);
            if (unit < 0x800) return 0;
        }
        if (!is_ignored(unit)) {
            ++total;
            count_unit(unit, counters);
        }
        i += need;
    }
    counters[Lang_Ascii] += letters;
    total += letters;
    *language = choose_language(nullptr, counters, total);
    *kept = i;
    return 1;
}

int RecUniLangCode(LangContext *ctx, int32_t charset, const unsigned char *text, int32_t length,
                   int bigEndian, LangCandidate **outList) {
    (void)charset;
    if (!text || !outList) return LANG_ERR_NULL;
    int32_t language = Lang_Unknown;
    int result = RecLangByRange(ctx, text, length, bigEndian, &language);
    if (result != LANG_OK) return result;

    switch (language) {
        case Lang_Arabic:
        case Lang_Hindi:
        case Lang_Latin:
        case Lang_LatinExt:
            return classify_converted(ctx, text, length, bigEndian, CS_UTF8, outList);
        case Lang_Russian:
            // The Cyrillic profiles are stored in code page 1251, so Bulgarian
            // or Ukrainian can still win over Russian.
            return classify_converted(ctx, text, length, bigEndian, CS_CP1251, outList);
        case Lang_Chinese: {
            int32_t variant = WhichChinese(ctx, CS_UNICODE, text, length, bigEndian);
            return LangCode2List(variant ? variant : Lang_Chinese, 0, outList);
        }
        default:
            return LangCode2List(language, 0, outList);
    }
}

int RecUtf8LangCode(LangContext *ctx, const unsigned char *text, int32_t length,
                    LangCandidate **outList, int *handled) {
    *handled = 0;
    // The debug log names the conversions; an empty text is an error of the
    // converted path.
    if (!text || !outList || length <= 0 || LangLogEnabled(ctx)) return LANG_OK;
    int32_t language = Lang_Unknown;
    int32_t kept = 0;
    if (!RecLangByRangeUtf8(text, length, &language, &kept)) return LANG_OK;
    switch (language) {
        case Lang_Russian:
        case Lang_Chinese:
            return LANG_OK;  // these read the UTF-16 form
        case Lang_Arabic:
        case Lang_Hindi:
        case Lang_Latin:
        case Lang_LatinExt: {
            // The bytes the conversion there and back would give, in a
            // buffer of the classifier's own (it folds capitals in place).
            *handled = 1;
            auto *copy = static_cast<unsigned char *>(vos_malloc(static_cast<size_t>(kept) + 1));
            if (!copy) return LANG_ERR_NOMEM;
            memcpy(copy, text, static_cast<size_t>(kept));
            copy[kept] = 0;
            const int result = RecByNgramText(ctx, Lang_Unknown, CS_UTF8, copy, kept, outList);
            vos_free(copy);
            return result;
        }
        default:
            *handled = 1;
            return LangCode2List(language, 0, outList);
    }
}
