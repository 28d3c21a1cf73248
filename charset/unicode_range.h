/* unicode_range.h - script statistics over UTF-16 text and the dispatch that
 * follows them. */
#ifndef GLOTTA_CHARSET_UNICODE_RANGE_H
#define GLOTTA_CHARSET_UNICODE_RANGE_H

#include <stdint.h>

#include "engine/lang_context.h"

int IsIgnore(uint32_t codeUnit);
int RecLangByRange(LangContext *ctx, const unsigned char *text, int32_t length, int bigEndian,
                   int32_t *language);
int RecUniLangCode(LangContext *ctx, int32_t charset, const unsigned char *text, int32_t length,
                   int bigEndian, LangCandidate **outList);

#endif
