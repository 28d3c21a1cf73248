/* charset_names.h - the charset name table, names to numbers and back, and
 * the languages that charsets imply. */
#ifndef GLOTTA_CHARSET_CHARSET_NAMES_H
#define GLOTTA_CHARSET_CHARSET_NAMES_H

#include <stddef.h>
#include <stdint.h>

#include "engine/lang_api.h"

typedef struct LangCharsetMap {
    const char *outputName; /* null ends the table */
    const char *fragment;
    int32_t charset;
} LangCharsetMap;

/* The 82 rows in table order, then a terminator. */
extern const LangCharsetMap LangCharsetMapList[];

/* Stores the number of the first row whose fragment occurs in `name` with
 * '-' and '_' removed, ASCII lower-cased and cut to 21 bytes; 0 when none
 * does (a null name included). Returns 0, or -19998 for a null out. */
int MapCharsetName(const char *name, int32_t *charset);

/* Output name of the first row with that number, or "Unknown"; a constant
 * string. */
const char *DXCharsetID2Name(int32_t charset);

/* The standard (IANA, as iconv and Python know it) name of a charset name
 * that the engine reports ("1252" is "windows-1252", "gb" "GBK", "euc-ksc"
 * "EUC-KR"; a standard name is its own), matched ignoring ASCII case; null for "Unknown", a null
 * name and names without a standard equivalent. A constant string. */
const char *CharsetStandardName(const char *name);

/* Row `index` of the table behind CharsetStandardName: the engine's name and
 * its standard name. False past the last row. */
bool CharsetStandardNameRow(size_t index, const char **name, const char **standard);

/* Stores the language that `charset` implies on its own, or 0; logs the
 * charset name when ctx (may be null) has debugging on. Returns 0, or -19998
 * for a null out. */
int RecLangByCharset(const LangContext *ctx, int32_t charset, int32_t *language);

#endif
