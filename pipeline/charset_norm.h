/* charset_norm.h - conversion of detection text, and settling the charset
 * name of a candidate list. */
#ifndef GLOTTA_PIPELINE_CHARSET_NORM_H
#define GLOTTA_PIPELINE_CHARSET_NORM_H

#include <stdint.h>

#include "conv/zi18n_conv.h"
#include "engine/lang_api.h"

/* Converts `length` bytes of `text` from charset `source` to `target`
 * through ctx->convService. Output from vos_malloc, NUL-terminated; null
 * with length 0 for empty input. Returns 0 (a text cut inside its last
 * character included), -19998 for a null argument or a negative length,
 * -19997, or -19981 for any conversion failure. A buffer allocated before a
 * failure is still stored in *output and belongs to the caller. */
int LangConvert(LangContext *ctx, int32_t source, const unsigned char *text, int32_t length,
                int32_t target, unsigned char **output, int32_t *outputLength, int bigEndian);

/* The conversion step LangConvert uses (IZi18nConvert's signature). */
typedef int (*LangConvertStep)(Zi18nHandle *service, int32_t source, const void *input,
                               int32_t inputLength, int32_t *consumed, int32_t target, void *output,
                               int32_t outputSize, int32_t *outputLength, int bigEndian);

/* LangConvert with the conversion step given; lets tests drive the retry and
 * failure paths that the service only takes on rare input. */
int LangConvertUsing(LangConvertStep step, LangContext *ctx, int32_t source,
                     const unsigned char *text, int32_t length, int32_t target,
                     unsigned char **output, int32_t *outputLength, int bigEndian);
/* Gives every candidate of `list` the output name of `charset` and drops
 * the second and later entries of each run of neighbours with the same
 * language; a list led by "un" only has its first charset name replaced.
 * Null is accepted. */
void ResetCharsetName(int32_t charset, LangCandidate *list);

#endif
