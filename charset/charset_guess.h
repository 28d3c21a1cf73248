/* charset_guess.h - charsets that the bytes prove, and Simplified versus
 * Traditional Chinese. */
#ifndef GLOTTA_CHARSET_CHARSET_GUESS_H
#define GLOTTA_CHARSET_CHARSET_GUESS_H

#include <stdint.h>

#include "engine/lang_context.h"

int GuessCharset(const unsigned char *buffer, int32_t length, int32_t *charset);
int Is2022JP(const unsigned char *buffer, int32_t length);
int IsASCII(const unsigned char *buffer, int32_t length);
int IsUtf8(const unsigned char *buffer, int32_t length);
int IsUtf16(const unsigned char *buffer, int32_t length);
int32_t ValidateChinese(int kind, const unsigned char *buffer, int32_t length);
int32_t WhichChinese(LangContext *ctx, int32_t charset, const unsigned char *buffer,
                     int32_t length, int bigEndian);

#endif
