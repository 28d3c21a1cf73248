/* text_helpers.h - byte and string helpers shared by the engine and the tool:
 * the noise rule, ASCII case and white space of the C locale, trimming,
 * case-insensitive comparison, owned copies, and the decimal reader. Each rule
 * is written here once; the inline ones serve the per-byte loops. */
#ifndef GLOTTA_NGRAM_TEXT_HELPERS_H
#define GLOTTA_NGRAM_TEXT_HELPERS_H

#include <stddef.h>
#include <stdint.h>

#include <string_view>

/* The noise rule: codes 0x00-0x3F (controls, space, digits and punctuation
 * up to '?') separate words; bytes 0x40-0xFF make them. `code` is a byte or a
 * UTF-16 code unit. */
constexpr bool lang_is_noise(uint32_t code) {
    return code < 0x40;
}

/* lang_is_noise as 1 or 0. */
int lang_isnoisy(unsigned char byte);

/* ASCII capitals to lower case; every other byte as it is. */
constexpr unsigned char lang_ascii_lower(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

/* White space of the C locale: blank, tab, LF, VT, FF and CR. */
constexpr bool lang_ascii_space(unsigned char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

/* Whether `text` begins with `prefix`, ASCII case ignored. */
constexpr bool lang_starts_nocase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (lang_ascii_lower(static_cast<unsigned char>(text[i])) !=
            lang_ascii_lower(static_cast<unsigned char>(prefix[i])))
            return false;
    }
    return true;
}

/* Whether `a` and `b` are equal, ASCII case ignored. */
constexpr bool lang_equals_nocase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && lang_starts_nocase(a, b);
}

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

/* Copy of the bytes of `text` with a NUL behind them, from vos_malloc; null
 * when memory runs out. */
char *lang_strdup(std::string_view text);

/* Replaces the owned string *field (from vos_malloc, or null) with a copy of
 * `value`; false when memory runs out, *field then being kept as it was. */
bool lang_setstring(char **field, std::string_view value);

/* Optional '-', digits, optional '.' and digits; single precision result.
 * The text is left as it was. */
float lang_atof(char *text);

#endif
