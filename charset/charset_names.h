/* charset_names.h - the charset name table, names to numbers and back, and
 * the languages that charsets imply. */
#ifndef GLOTTA_CHARSET_CHARSET_NAMES_H
#define GLOTTA_CHARSET_CHARSET_NAMES_H

#include <stdint.h>

#include "engine/lang_context.h"

typedef struct LangCharsetMap {
    const char *outputName; /* null ends the table */
    const char *fragment;
    int32_t charset;
} LangCharsetMap;

/* The 82 rows in table order, then a terminator. */
extern const LangCharsetMap LangCharsetMapList[];

int MapCharsetName(const char *name, int32_t *charset);
const char *DXCharsetID2Name(int32_t charset);
int RecLangByCharset(const LangContext *ctx, int32_t charset, int32_t *language);

#endif
