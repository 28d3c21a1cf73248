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
    ZI18N_ERR_FAILED = -19899,        /* "Function failed" */
    ZI18N_ERR_NOMEM = -19898,
    ZI18N_ERR_LOADLIB = -19897,
    ZI18N_ERR_NOINPUT = -19896,
    ZI18N_ERR_NOOUTPUT = -19895,
    ZI18N_ERR_LIBRARY = -19894,
    ZI18N_ERR_SHORTOUTPUT = -19893,   /* output length holds the negative shortfall */
    ZI18N_ERR_PARTIAL = -19892,       /* input ends inside a character */
    ZI18N_ERR_CHARSET = -19891,
    ZI18N_ERR_LOCALE = -19890,
    ZI18N_ERR_MUTEX = -19889,
    ZI18N_ERR_LOSSY = -19888
};

/* A started service. The engine builds one from its own handles (it then
 * frees only the record); Zi18nInit builds and owns a complete one. */
typedef struct Zi18nHandle {
    void *library;         /* the utility library, or null */
    DXServices *services;  /* needed for conversions through the library */
    VosMutex *mutex;       /* held around every services call; null: no lock */
} Zi18nHandle;

/* One row of CharsetInfoList. */
typedef struct CharsetInfo {
    const char *fragment;
    int32_t charset;
    int32_t maxBytes;
} CharsetInfo;

/* The 108-row alias table plus its null terminator. */
extern const CharsetInfo CharsetInfoList[];

int32_t Zi18nGetCharsetEnum(const char *name);
int IZi18nGetExpansionFactor(int32_t source, int32_t target, int32_t *factor);
int Zi18nGetExpansionFactor(const char *source, const char *target, int32_t *factor);
int IZi18nConvert(Zi18nHandle *ctx, int32_t source, const void *input, int32_t inputLength,
                  int32_t *consumed, int32_t target, void *output, int32_t outputSize,
                  int32_t *outputLength, int bigEndian);
int Zi18nConvert(Zi18nHandle *ctx, const char *source, const void *input, int32_t inputLength,
                 int32_t *consumed, const char *target, void *output, int32_t outputSize,
                 int32_t *outputLength, int bigEndian);
const char *Zi18nErrorMsg(int code);
int Zi18nInit(Zi18nHandle **out);
int Zi18nClose(Zi18nHandle *ctx);
int Zi18nFindLib(const char *libraryFile, char **directory);
int32_t Zi18nGetCharmapID(const char *charmap);
int Zi18nIsValidCharmap(const char *charmap);
int Zi18nIsValidLocaleCharmap(const char *locale, const char *charmap);
int Zi18nGetLocaleCharset(const char *locale, char **charmap);

/* Built-in conversions (no library, no lock). */
int Zi18nUtf8ToUnicode(const void *input, int32_t inputLength, int32_t *consumed, void *output,
                       int32_t outputSize, int32_t *outputLength, int bigEndian);
int Zi18nUnicodeToUtf8(const void *input, int32_t inputLength, int32_t *consumed, void *output,
                       int32_t outputSize, int32_t *outputLength, int bigEndian);
int Zi18nUnicodeToKoi8r(const void *input, int32_t inputLength, int32_t *consumed, void *output,
                        int32_t outputSize, int32_t *outputLength, int bigEndian);
int Zi18nUnicodeEndianSwap(const void *input, int32_t inputLength, int32_t *consumed,
                           void *output, int32_t outputSize, int32_t *outputLength);
int Zi18nIsValidCharsetMapping(int32_t source, int32_t target);

#ifdef __cplusplus
}
#endif

#endif
