/* zi18n_conv.h - the charset conversion service: charset names to numbers,
 * expansion factors, conversions (built-in for UTF-8/UTF-16/KOI8-R, through
 * the utility library's services object for everything else), and the
 * stand-alone start-up and locale lookups. */
#ifndef GLOTTA_CONV_ZI18N_CONV_H
#define GLOTTA_CONV_ZI18N_CONV_H

#include <stdint.h>

#include "conv/charset_ids.h"
#include "doctype/dx_abi.h"
#include "platform/vos.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Result codes of this module. */
enum {
    ZI18N_OK = 0,
    ZI18N_ERR_FAILED = -19899, /* "Function failed" */
    ZI18N_ERR_NOMEM = -19898,
    ZI18N_ERR_LOADLIB = -19897,
    ZI18N_ERR_NOINPUT = -19896,
    ZI18N_ERR_NOOUTPUT = -19895,
    ZI18N_ERR_LIBRARY = -19894,
    ZI18N_ERR_SHORTOUTPUT = -19893, /* output length holds the negative shortfall */
    ZI18N_ERR_PARTIAL = -19892,     /* input ends inside a character */
    ZI18N_ERR_CHARSET = -19891,
    ZI18N_ERR_LOCALE = -19890,
    ZI18N_ERR_MUTEX = -19889,
    ZI18N_ERR_LOSSY = -19888
};

/* A started service. The engine builds one from its own handles (it then
 * frees only the record); Zi18nInit builds and owns a complete one. */
typedef struct Zi18nHandle {
    void *library;        /* the utility library, or null */
    DXServices *services; /* needed for conversions through the library */
    VosMutex *mutex;      /* held around every services call; null: no lock */
} Zi18nHandle;

/* One row of CharsetInfoList. */
typedef struct CharsetInfo {
    const char *fragment;
    int32_t charset;
    int32_t maxBytes;
} CharsetInfo;

/* The 108-row alias table plus its null terminator. */
extern const CharsetInfo CharsetInfoList[];

/* Charset number of a free-form name: '-' and '_' dropped, letters lowered,
 * then the first CharsetInfoList row whose fragment occurs in it. 0 for null,
 * empty, unknown, or longer than 20 bytes. No lock. */
int32_t Zi18nGetCharsetEnum(const char *name);

/* Output bytes per input byte for sizing a conversion's output (at least 1;
 * the target row's bytes per character, halved for a UTF-16 source). -19891
 * when either number is 0 or not in CharsetInfoList; *factor is then left
 * alone. The by-name form also gives -19891 for a null or empty name. */
int IZi18nGetExpansionFactor(int32_t source, int32_t target, int32_t *factor);
int Zi18nGetExpansionFactor(const char *source, const char *target, int32_t *factor);

/* Converts inputLength bytes (-1: up to the terminator, a 16-bit zero unit
 * for charset 51) from `source` to `target` into output[0..outputSize),
 * which is zero-filled first. *consumed and *outputLength (either may be
 * null) receive the bytes used and produced. Same numbers copy; 53->51,
 * 51->53 and 51->73 are built in; anything else goes through ctx->services
 * under ctx->mutex (if any), a KOI8-R target through UTF-16 and the built-in
 * table (then *consumed counts bytes of the intermediate UTF-16).
 * Returns 0; -19893 with *outputLength = minus the missing bytes; -19892
 * when the input ends inside a character (the rest converted); -19888 when a
 * conversion between incompatible charsets produced more "?" than the input
 * had (output complete); -19894 when the library failed; -19889 on a lock
 * failure; -19891/-19896/-19895/-19899 for bad arguments. ctx and its
 * services object are required even for built-in pairs. */
int IZi18nConvert(Zi18nHandle *ctx, int32_t source, const void *input, int32_t inputLength,
                  int32_t *consumed, int32_t target, void *output, int32_t outputSize,
                  int32_t *outputLength, int bigEndian);
/* IZi18nConvert with both charsets given by name (Zi18nGetCharsetEnum). */
int Zi18nConvert(Zi18nHandle *ctx, const char *source, const void *input, int32_t inputLength,
                 int32_t *consumed, const char *target, void *output, int32_t outputSize,
                 int32_t *outputLength, int bigEndian);
/* The constant message of a code; "Unknown zi18n error code" for others. */
const char *Zi18nErrorMsg(int code);

/* Stand-alone start-up: finds dxutil.so with Zi18nFindLib (else loads it by
 * its bare name), creates its services object and a mutex. On success *out
 * owns all three; release with Zi18nClose. -19899 for a null out, -19897
 * when the library cannot be loaded or started, -19898 / -19889 for memory
 * or mutex failures; *out stays null on failure. */
int Zi18nInit(Zi18nHandle **out);

/* Releases a context from Zi18nInit (services through their release
 * operation, then the mutex and the record). Null is 0; -19889 when the
 * mutex cannot be destroyed (the record is freed anyway). */
int Zi18nClose(Zi18nHandle *ctx);

/* Searches LD_LIBRARY_PATH for an element holding "libzi18n.so" whose
 * parent has filters/<libraryFile>. On success *directory is a vos_malloc'd
 * "<parent>/filters/" the caller frees. Not finding it is 0 with a null
 * *directory. -19899 for null arguments, -19898 when out of memory. */
int Zi18nFindLib(const char *libraryFile, char **directory);

/* Charmap lookups, case-insensitive and whole-name over CMapTable: the
 * number (0 if absent) and whether it is known (1/0). */
int32_t Zi18nGetCharmapID(const char *charmap);
int Zi18nIsValidCharmap(const char *charmap);

/* 1 if the charmap's number is usable with the locale (locale "uni": with
 * any locale), else 0, also for null, empty or unknown names. */
int Zi18nIsValidLocaleCharmap(const char *locale, const char *charmap);

/* The locale's default charmap name as a vos_malloc'd copy the caller frees.
 * -19890 for a null, empty or unknown locale, -19899 for a null place,
 * -19898 when out of memory. */
int Zi18nGetLocaleCharset(const char *locale, char **charmap);

/* Built-in conversions (no library, no lock). UTF-16 is low byte first
 * unless bigEndian is set. A character that does not fit is skipped and
 * counted; conversion goes on to the end of the input. *consumed is the
 * offset of the first character that did not fit, else where decoding
 * stopped; *outputLength is the bytes written, or minus the total shortfall
 * with -19893. -19892 when the input ends inside a character (UTF-8) or
 * has an odd length (UTF-16). -19896 / -19895 for a missing input / output.
 * KOI8-R output writes "?" for characters outside KOI8-R. */
int Zi18nUtf8ToUnicode(const void *input, int32_t inputLength, int32_t *consumed, void *output,
                       int32_t outputSize, int32_t *outputLength, int bigEndian);
/* The bytes Zi18nUtf8ToUnicode reads for a character that starts with
 * `lead`: 2, 3 or 4 by the lead byte's form, else 1 (ASCII, and a stray
 * continuation byte or a byte from 0xF8, which stand for themselves). */
static inline int32_t Zi18nUtf8SequenceLength(uint8_t lead) {
    if (lead >= 0xC0 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF7) return 4;
    return 1;
}
int Zi18nUnicodeToUtf8(const void *input, int32_t inputLength, int32_t *consumed, void *output,
                       int32_t outputSize, int32_t *outputLength, int bigEndian);
int Zi18nUnicodeToKoi8r(const void *input, int32_t inputLength, int32_t *consumed, void *output,
                        int32_t outputSize, int32_t *outputLength, int bigEndian);
/* Swaps the bytes of each 16-bit unit; same results as above (no flag). */
int Zi18nUnicodeEndianSwap(const void *input, int32_t inputLength, int32_t *consumed, void *output,
                           int32_t outputSize, int32_t *outputLength);
/* 1 when converting source to target loses nothing: Unicode on either
 * side, an LMBCS source, equal numbers, or both in one compatibility group;
 * 0 otherwise, always for 0 or a target of 69. */
int Zi18nIsValidCharsetMapping(int32_t source, int32_t target);

#ifdef __cplusplus
}
#endif

#endif
