// lang_tables.cpp - the language table, language codes to numbers, and the
// one-candidate result lists built from numbers or from strings.
#include "pipeline/lang_tables.h"

#include <string.h>

#include <string_view>

#include "charset/charset_names.h"
#include "engine/lang_api.h"
#include "engine/langlist.h"
#include "ngram/text_helpers.h"
#include "platform/vos.h"

// Row order is behaviour: the first row of a code or number wins, so "zh"
// reads as 8 and 40 precedes 39. Numbers 0, 1, 34 and 35 have no code.
constexpr LangNameEntry langNameList[] = {
    {2, "ar"},   {3, "hy"},   {4, "bn"},   {5, "nb"},  {6, "bg"},   {7, "chr"},  {8, "zh"},
    {9, "zh"},   {10, "zt"},  {11, "cs"},  {12, "da"}, {13, "hi"},  {14, "nl"},  {15, "en"},
    {16, "gez"}, {17, "et"},  {18, "fi"},  {19, "fr"}, {20, "ka"},  {21, "de"},  {22, "el"},
    {23, "gu"},  {24, "pa"},  {25, "he"},  {26, "hu"}, {27, "is"},  {28, "it"},  {29, "ja"},
    {30, "kn"},  {31, "km"},  {32, "ko"},  {33, "lo"}, {36, "lv"},  {37, "lt"},  {38, "ml"},
    {40, "mm"},  {39, "bms"}, {41, "nn"},  {42, "or"}, {43, "phi"}, {44, "pl"},  {45, "pt"},
    {46, "ro"},  {47, "ru"},  {48, "si"},  {49, "es"}, {50, "sv"},  {51, "syr"}, {52, "ta"},
    {53, "te"},  {54, "th"},  {55, "div"}, {56, "bo"}, {57, "tr"},  {58, "uk"},  {0, nullptr},
};

namespace {

const char *code_of(int32_t language) {
    for (const LangNameEntry *row = langNameList; row->code; ++row) {
        if (row->language == language) return row->code;
    }
    return nullptr;
}

// Frees a two-entry list whose strings may be partly filled.
void free_pair(LangCandidate *list) {
    vos_free(list[0].language);
    vos_free(list[0].charsetName);
    vos_free(list);
}

}  // namespace

int32_t LangCode2Enum(const char *code) {
    if (!code) return Lang_Unknown;
    for (const LangNameEntry *row = langNameList; row->code; ++row) {
        if (lang_equals_nocase(row->code, code)) return row->language;
    }
    return Lang_Unknown;
}

int32_t GetLangCodeEnum(const LangContext *ctx, const char *code) {
    int32_t language = LangCode2Enum(code);
    if (language != Lang_Unknown || !ctx || !code) return language;
    return LangCfgSearch(ctx, code);
}

int LangCode2List(int32_t language, int32_t charset, LangCandidate **outList) {
    if (!outList) return LANG_ERR_NULL;
    auto *list = static_cast<LangCandidate *>(vos_calloc(2, sizeof(LangCandidate)));
    if (!list) return LANG_ERR_NOMEM;

    const char *code = language == Lang_Unknown ? "un" : code_of(language);
    // A number without a code (the script counters, or a number handed out
    // at load time) yields an empty list: the first entry stays the all-zero
    // terminator, so nothing in it can be left unreleased.
    if (code) {
        list[0].language = lang_strdup(code);
        list[0].charsetName = lang_strdup(charset == 0 ? "Unknown" : DXCharsetID2Name(charset));
        list[0].score = language == Lang_Unknown ? 0.0f : 1.0f;
        if (!list[0].language || !list[0].charsetName) {
            free_pair(list);
            return LANG_ERR_NOMEM;
        }
    }
    *outList = list;
    return LANG_OK;
}

int GenLangList(const char *languageCode, const char *charsetName, LangCandidate **outList) {
    if (!outList) return LANG_ERR_NULL;
    auto *list = static_cast<LangCandidate *>(vos_calloc(2, sizeof(LangCandidate)));
    if (!list) return LANG_ERR_NOMEM;

    list[0].language = lang_strdup(languageCode && *languageCode ? languageCode : "un");
    list[0].charsetName = lang_strdup(charsetName ? charsetName : "Unknown");
    list[0].score = (!languageCode && !charsetName) ? 0.0f : 1.0f;
    if (!list[0].language || !list[0].charsetName) {
        free_pair(list);
        return LANG_ERR_NOMEM;
    }
    *outList = list;
    return LANG_OK;
}
