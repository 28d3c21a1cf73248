/* text_helpers.h - byte and string helpers shared by the engine: noise bytes,
 * trimming, case-insensitive comparison, copies, and the decimal reader. */
#ifndef GLOTTA_NGRAM_TEXT_HELPERS_H
#define GLOTTA_NGRAM_TEXT_HELPERS_H

#include <stdint.h>

/* The noise rule: bytes 0x00-0x3F (controls, space, digits and punctuation
 * up to '?') separate words; bytes 0x40-0xFF make them. The one definition,
 * inline for the per-byte loops of the profiles and the markup cleaner. */
constexpr bool lang_noise_byte(unsigned char byte) {
    return byte < 0x40;
}

/* 1 when the byte, read as a signed char, lies in 0..63 (0x00-0x3F): the
 * noise rule of lang_noise_byte. */
int lang_isnoisy(unsigned char byte);

/* Compacts each run of noise bytes into one space (a trailing run vanishes),
 * writes a NUL after the kept bytes and returns the new length. The buffer
 * needs room for length + 1 bytes. */
int32_t lang_removenoisydata(unsigned char *buffer, int32_t length);

/* First byte that is neither blank nor tab; null for null. */
char *lang_skipheadspace(char *text);

/* Cuts trailing blanks, tabs, LF and CR; returns the index of the last byte
 * kept, or 0 (nothing or exactly one byte remains, or null/empty input). */
int32_t lang_removetrailigspace(char *text);

int lang_strcasecmp(const char *a, const char *b);
int lang_strncasecmp(const char *a, const char *b, int32_t count);

/* Copy from vos_malloc; null for null input or exhausted memory. */
char *lang_strdup(const char *text);

/* Optional '-', digits, optional '.' and digits; single precision result.
 * The text is left as it was. */
float lang_atof(char *text);

#endif
