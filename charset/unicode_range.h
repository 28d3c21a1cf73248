/* unicode_range.h - script statistics over UTF-16 text and the dispatch that
 * follows them. */
#ifndef GLOTTA_CHARSET_UNICODE_RANGE_H
#define GLOTTA_CHARSET_UNICODE_RANGE_H

#include <stdint.h>

#include "engine/lang_api.h"

/* 1 for a code unit that script counting skips (U+0000-U+0040, U+30FB). */
int IsIgnore(uint32_t codeUnit);

/* Stores the language number of the dominant script of UTF-16 `text`
 * (`length` bytes, a trailing odd byte ignored; high byte first when
 * bigEndian): a single-script language, 8 for Han, 34 or 35 for Latin, 0 when
 * nothing counted. Returns 0, or -19998 for a null text or out. Allocates
 * nothing; writes the shares to the debug log when ctx (may be null) asks. */
int RecLangByRange(LangContext *ctx, const unsigned char *text, int32_t length, int bigEndian,
                   int32_t *language);

/* A fresh candidate list for UTF-16 text: the script's language directly,
 * the Chinese variant, or the n-gram result after conversion to UTF-8 (code
 * page 1251 for Cyrillic). `charset` is not consulted. Returns 0 or the
 * failing stage's code; *outList is only set on success. */
int RecUniLangCode(LangContext *ctx, int32_t charset, const unsigned char *text, int32_t length,
                   int bigEndian, LangCandidate **outList);

/* For UTF-8 `text`: when converting it to UTF-16 and back would give its
 * first *kept bytes unchanged (every sequence of one to three bytes well
 * formed and in its shortest form; a sequence cut off at the end is dropped,
 * as the conversion drops it), stores in *language the number that
 * RecLangByRange gives for its UTF-16 form and in *kept that length, and
 * returns 1. Otherwise returns 0 and stores nothing. Writes no log. */
int RecLangByRangeUtf8(const unsigned char *text, int32_t length, int32_t *language, int32_t *kept);

/* RecUniLangCode for UTF-8 text without the conversions, where they would
 * change nothing: the same list and result code as converting the text to
 * UTF-16 and calling RecUniLangCode. Sets *handled to 1 when it answered;
 * with 0 it did nothing (the text does not come back unchanged, its script
 * needs the UTF-16 form, or the debug log is on) and the caller converts. */
int RecUtf8LangCode(LangContext *ctx, const unsigned char *text, int32_t length,
                    LangCandidate **outList, int *handled);

#endif
