/* charset_guess.h - charsets that the bytes prove, and Simplified versus
 * Traditional Chinese. */
#ifndef GLOTTA_CHARSET_CHARSET_GUESS_H
#define GLOTTA_CHARSET_CHARSET_GUESS_H

#include <stdint.h>

#include "engine/lang_api.h"

/* Stores 55 (ISO-2022 escape), 7 (7-bit ASCII), 53 (UTF-8), 100 or 101
 * (UTF-16 by byte order) or 0, testing in that order. Returns 0, or -19998
 * for a null out. None of these reads past `length`. */
int GuessCharset(const unsigned char *buffer, int32_t length, int32_t *charset);

/* 1 when the first ESC, before any byte >= 0x80, starts an ISO-2022-JP
 * designation and three bytes follow it; else 0. */
int Is2022JP(const unsigned char *buffer, int32_t length);

/* 1 when no byte >= 0x80 comes before the end or the first NUL. */
int IsASCII(const unsigned char *buffer, int32_t length);

/* 1 for well-formed UTF-8 (up to the first NUL) with a byte >= 0x80; a
 * sequence cut off at the end is accepted. */
int IsUtf8(const unsigned char *buffer, int32_t length);

/* 100 or 101 by a byte-order mark or by UTF-16 line breaks, else 0. */
int IsUtf16(const unsigned char *buffer, int32_t length);

/* Units of the text valid in GB (kind 2) or Big5 (kind 3): ASCII bytes but
 * '?' and double-byte characters in range; the last byte is never counted.
 * 0 for any other kind. */
int32_t ValidateChinese(int kind, const unsigned char *buffer, int32_t length);

/* 10 (Traditional) when more of the text is valid Big5 than GB, else 9
 * (Simplified); 0 for a null argument or a failed conversion. UTF-8 (53)
 * and 16-bit Unicode (51) text is converted to both first (LangConvert);
 * the caller's buffer is only read. */
int32_t WhichChinese(LangContext *ctx, int32_t charset, const unsigned char *buffer, int32_t length,
                     int bigEndian);

#endif
