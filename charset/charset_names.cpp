// charset_names.cpp - the charset name table, names to numbers and back, and
// the languages that charsets imply on their own.
#include "charset/charset_names.h"

#include <iterator>
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

struct StandardName {
    const char *name;      // as the engine reports it: an output name above or a profile's
    const char *standard;  // accepted by iconv_open and Python's codecs alike
};

// Every output name of the table above, then the charsets that shipped and
// trained profiles are named by beyond them. "unicode" is reported for both
// byte orders: UTF-16 with its byte-order mark says which. "lmbcs_1" has no
// standard name.
constexpr StandardName kStandardNames[] = {
    {"1250", "windows-1250"},
    {"1251", "windows-1251"},
    {"1252", "windows-1252"},
    {"1253", "windows-1253"},
    {"1254", "windows-1254"},
    {"1255", "windows-1255"},
    {"1256", "windows-1256"},
    {"1257", "windows-1257"},
    {"1258", "windows-1258"},
    {"037", "IBM037"},
    {"424", "IBM424"},
    {"437", "IBM437"},
    {"500", "IBM500"},
    {"737", "CP737"},
    {"775", "IBM775"},
    {"850", "IBM850"},
    {"851", "IBM851"},
    {"852", "IBM852"},
    {"855", "IBM855"},
    {"856", "CP856"},
    {"857", "IBM857"},
    {"860", "IBM860"},
    {"861", "IBM861"},
    {"862", "IBM862"},
    {"863", "IBM863"},
    {"864", "IBM864"},
    {"865", "IBM865"},
    {"866", "IBM866"},
    {"869", "IBM869"},
    {"874", "CP874"},
    {"tis620", "TIS-620"},
    {"875", "CP875"},
    {"iso-8859-1", "ISO-8859-1"},
    {"iso-8859-2", "ISO-8859-2"},
    {"iso-8859-3", "ISO-8859-3"},
    {"iso-8859-4", "ISO-8859-4"},
    {"iso-8859-5", "ISO-8859-5"},
    {"iso-8859-6", "ISO-8859-6"},
    {"iso-8859-7", "ISO-8859-7"},
    {"iso-8859-8", "ISO-8859-8"},
    {"iso-8859-9", "ISO-8859-9"},
    {"iso-8859-10", "ISO-8859-10"},
    {"iso-8859-11", "ISO-8859-11"},
    {"iso-8859-13", "ISO-8859-13"},
    {"iso-8859-14", "ISO-8859-14"},
    {"iso-8859-15", "ISO-8859-15"},
    {"iso-8859-16", "ISO-8859-16"},
    {"koi8-r", "KOI8-R"},
    {"koi8-u", "KOI8-U"},
    {"euc-big5", "EUC-TW"},
    {"big5", "Big5"},
    {"iso-2022-cn", "ISO-2022-CN"},
    {"euc-gb", "GB2312"},
    {"gb", "GBK"},
    {"gb18030", "GB18030"},
    {"iso-2022-kr", "ISO-2022-KR"},
    {"euc-ksc", "EUC-KR"},
    {"ksc", "CP949"},
    {"iso-2022-jp", "ISO-2022-JP"},
    {"euc-jp", "EUC-JP"},
    {"sjis", "Shift_JIS"},
    {"unicode", "UTF-16"},
    {"utf8", "UTF-8"},
    {"utf-7", "UTF-7"},
};

bool same_ignoring_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

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

const char *CharsetStandardName(const char *name) {
    if (!name) return nullptr;
    for (const StandardName &row : kStandardNames) {
        if (same_ignoring_case(row.name, name) || same_ignoring_case(row.standard, name))
            return row.standard;
    }
    return nullptr;
}

bool CharsetStandardNameRow(size_t index, const char **name, const char **standard) {
    if (index >= std::size(kStandardNames)) return false;
    if (name) *name = kStandardNames[index].name;
    if (standard) *standard = kStandardNames[index].standard;
    return true;
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
