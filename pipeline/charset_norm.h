/* charset_norm.h - conversion of detection text, and settling the charset
 * name of a candidate list. */
#ifndef GLOTTA_PIPELINE_CHARSET_NORM_H
#define GLOTTA_PIPELINE_CHARSET_NORM_H

#include <stdint.h>

#include "engine/lang_context.h"

/* Output from vos_malloc, NUL-terminated; null with length 0 for empty input. */
int LangConvert(LangContext *ctx, int32_t source, const unsigned char *text, int32_t length,
                int32_t target, unsigned char **output, int32_t *outputLength, int bigEndian);
void ResetCharsetName(int32_t charset, LangCandidate *list);

#endif
