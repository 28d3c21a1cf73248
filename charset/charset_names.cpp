// charset_names.cpp - the charset name table, names to numbers and back, and
// the languages that charsets imply on their own.
#include "charset/charset_names.h"

#include <string_view>

#include "engine/lang_api.h"
#include "engine/lang_log.h"

// Row order is behaviour: both lookups stop at the first matching row, so a
// longer fragment must precede any fragment it contains ("885915" before
// "88591", "eucjp" before "jis"), and the first row of a number names it.
constexpr LangCharsetMap LangCharsetMapList[] = {
    {"1250", "1250", 5},
    {"1251", "1251", 6},
    {"1252", "1252", 7},
    {"1253", "1253", 8},
    {"1254", "1254", 9},
    {"1255", "1255", 10},
    {"1256", "1256", 11},
    {"1257", "1257", 12},
    {"1258", "1258", 13},
    {"037", "037", 46},
    {"424", "424", 70},
    {"437", "437", 25},
    {"500", "500", 48},
    {"737", "737", 26},
    {"775", "775", 27},
    {"850", "850", 28},
    {"851", "851", 29},
    {"852", "852", 30},
    {"855", "855", 31},
    {"856", "856", 71},
    {"857", "857", 32},
    {"860", "860", 33},
    {"861", "861", 34},
    {"862", "862", 35},
    {"863", "863", 36},
    {"864", "864", 37},
    {"865", "865", 38},
    {"866", "866", 39},
    {"869", "869", 40},
    {"874", "874", 41},
    {"tis620", "tis620", 41},
    {"875", "875", 49},
    {"iso-8859-14", "885914", 23},
    {"iso-8859-15", "885915", 24},
    {"iso-8859-1", "88591", 14},
    {"iso-8859-1", "latin1", 14},
    {"iso-8859-2", "88592", 15},
    {"iso-8859-2", "latin2", 15},
    {"iso-8859-3", "88593", 16},
    {"iso-8859-3", "latin3", 16},
    {"iso-8859-4", "88594", 17},
    {"iso-8859-5", "88595", 18},
    {"iso-8859-5", "cyrillic", 18},
    {"iso-8859-6", "88596", 19},
    {"iso-8859-6", "arabic", 19},
    {"iso-8859-7", "88597", 20},
    {"iso-8859-7", "greek", 20},
    {"iso-8859-8", "88598", 21},
    {"iso-8859-8", "hebrew", 21},
    {"iso-8859-8", "visual", 21},
    {"iso-8859-8", "logical", 21},
    {"iso-8859-9", "88599", 22},
    {"iso-8859", "8859", 14},
    {"koi8-r", "koi8", 73},
    {"koi8-r", "878", 73},
    {"euc-big5", "eucbig5", 68},
    {"big5", "big5", 3},
    {"big5", "950", 3},
    {"iso-2022-cn", "iso2022cn", 56},
    {"euc-gb", "eucgb", 67},
    {"euc-gb", "euccn", 67},
    {"gb", "936", 2},
    {"gb", "gb", 2},
    {"iso-2022-kr", "iso2022kr", 57},
    {"euc-ksc", "eucksc", 4},
    {"euc-ksc", "euckr", 4},
    {"euc-ksc", "1363", 4},
    {"ksc", "949", 60},
    {"ksc", "ksc", 60},
    {"iso-2022-jp", "iso2022jp", 55},
    {"euc-jp", "eucjp", 66},
    {"sjis", "jis", 1},
    {"sjis", "932", 1},
    {"unicode", "utf16be", 101},
    {"unicode", "utf16le", 100},
    {"unicode", "10646", 51},
    {"unicode", "unicode", 51},
    {"unicode", "utf16", 51},
    {"utf8", "utf8", 53},
    {"utf8", "65001", 53},
    {"utf-7", "utf7", 54},
    {"lmbcs_1", "lmbcs", 50},
    {nullptr, nullptr, 0},
};

namespace {

// Names longer than this many significant bytes are cut before matching, so
// a fragment that only appears further on does not count.
constexpr int kSignificantBytes = 21;

struct ImpliedLanguage {
    int32_t charset;
    int32_t language;
};

// Charsets that belong to one language; every other charset implies none.
constexpr ImpliedLanguage kImpliedLanguages[] = {
    {1, 29},  {55, 29}, {66, 29}, {74, 29},  // Japanese
    {2, 9},   {61, 9},  {67, 9},             // Simplified Chinese
    {3, 10},  {62, 10}, {68, 10},            // Traditional Chinese
    {56, 8},  {76, 8},                       // Chinese, form undecided
    {4, 32},  {57, 32}, {60, 32}, {69, 32}, {75, 32}, {8, 22},  {20, 22}, {26, 22},
    {29, 22}, {40, 22}, {9, 57},  {22, 57}, {32, 57}, {10, 25}, {21, 25}, {35, 25},
    {70, 25}, {71, 25}, {11, 2},  {19, 2},  {37, 2},  {18, 47}, {39, 47}, {73, 47},
    {33, 45}, {34, 27}, {36, 19}, {38, 5},  {41, 54},
};

}  // namespace

int MapCharsetName(const char *name, int32_t *charset) {
    if (!charset) return LANG_ERR_NULL;
    *charset = 0;
    if (!name) return LANG_OK;

    char normalised[kSignificantBytes + 1];
    int kept = 0;
    for (const char *p = name; *p && kept < kSignificantBytes; ++p) {
        char c = *p;
        if (c == '-' || c == '_') continue;
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        normalised[kept++] = c;
    }
    std::string_view key(normalised, static_cast<size_t>(kept));

    for (const LangCharsetMap *row = LangCharsetMapList; row->outputName; ++row) {
        if (key.find(row->fragment) != std::string_view::npos) {
            *charset = row->charset;
            break;
        }
    }
    return LANG_OK;
}

const char *DXCharsetID2Name(int32_t charset) {
    for (const LangCharsetMap *row = LangCharsetMapList; row->outputName; ++row) {
        if (row->charset == charset) return row->outputName;
    }
    return "Unknown";
}

int RecLangByCharset(const LangContext *ctx, int32_t charset, int32_t *language) {
    if (!language) return LANG_ERR_NULL;
    LangLogf(ctx, "Detect the language by charset %s", DXCharsetID2Name(charset));
    *language = 0;
    for (const ImpliedLanguage &row : kImpliedLanguages) {
        if (row.charset == charset) {
            *language = row.language;
            break;
        }
    }
    return LANG_OK;
}
