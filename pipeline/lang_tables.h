/* lang_tables.h - language numbers, the language table, and one-candidate
 * result lists. */
#ifndef GLOTTA_PIPELINE_LANG_TABLES_H
#define GLOTTA_PIPELINE_LANG_TABLES_H

#include <stdint.h>

#include "engine/lang_api.h"

enum LangEnum {
    Lang_Unknown = 0,
    Lang_Ascii = 1,
    Lang_Arabic = 2,
    Lang_Armenian = 3,
    Lang_Bengali = 4,
    Lang_Bokmal = 5,
    Lang_Bulgarian = 6,
    Lang_Cherokee = 7,
    Lang_Chinese = 8,
    Lang_ChineseSimplified = 9,
    Lang_ChineseTraditional = 10,
    Lang_Czech = 11,
    Lang_Danish = 12,
    Lang_Hindi = 13,
    Lang_Dutch = 14,
    Lang_English = 15,
    Lang_Ethiopic = 16,
    Lang_Estonian = 17,
    Lang_Finish = 18,
    Lang_French = 19,
    Lang_Georgian = 20,
    Lang_German = 21,
    Lang_Greek = 22,
    Lang_Gujarati = 23,
    Lang_Punjabi = 24,
    Lang_Hebrew = 25,
    Lang_Hungarian = 26,
    Lang_Icelandic = 27,
    Lang_Italian = 28,
    Lang_Japanese = 29,
    Lang_Kannada = 30,
    Lang_Khmer = 31,
    Lang_Korean = 32,
    Lang_Lao = 33,
    Lang_Latin = 34,
    Lang_LatinExt = 35,
    Lang_Latvian = 36,
    Lang_Lithuanian = 37,
    Lang_Malayalam = 38,
    Lang_Myanmar = 39,
    Lang_Mongolian = 40,
    Lang_Nynorsk = 41,
    Lang_Oriya = 42,
    Lang_Philippine = 43,
    Lang_Polish = 44,
    Lang_Portugese = 45,
    Lang_Romanian = 46,
    Lang_Russian = 47,
    Lang_Sinhala = 48,
    Lang_Spanish = 49,
    Lang_Swedish = 50,
    Lang_Syriac = 51,
    Lang_Tamil = 52,
    Lang_Telugu = 53,
    Lang_Thai = 54,
    Lang_Divehi = 55,
    Lang_Tibetan = 56,
    Lang_Turkish = 57,
    Lang_Ukrainian = 58,
    Lang_Count = 59
};

typedef struct LangNameEntry {
    int32_t language;
    const char *code; /* null ends the table */
} LangNameEntry;

/* The 55 rows in table order, then a terminator. */
extern const LangNameEntry langNameList[];

/* Number of the first table row whose code equals `code` ignoring ASCII case
 * ("zh" is 8); 0 for no row or a null code. */
int32_t LangCode2Enum(const char *code);

/* LangCode2Enum, falling back to the languages of the loaded profiles
 * (LangCfgSearch); 0 when neither knows the code. A null context skips the
 * fallback. */
int32_t GetLangCodeEnum(const LangContext *ctx, const char *code);

/* A fresh two-entry candidate array (vos_calloc; the caller releases it and
 * its strings with vos_free): language 0 gives "un" with score 0.0, any other
 * number its code with 1.0; charset 0 gives "Unknown", any other number
 * DXCharsetID2Name. A number without a code (1, 34, 35, 59 and up) gives an
 * all-zero array, an empty list. 0, -19997 (nothing stored) or -19998 for a
 * null outList. */
int LangCode2List(int32_t language, int32_t charset, LangCandidate **outList);

/* A fresh two-entry candidate array with copies of the two strings: a null
 * or empty code gives "un", a null charset name "Unknown"; score 0.0 when
 * both are null, else 1.0. 0, -19997 or -19998 as LangCode2List. */
int GenLangList(const char *languageCode, const char *charsetName, LangCandidate **outList);

#endif
