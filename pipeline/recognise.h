/* recognise.h - the recognisers: plain text, markup, filtered documents, and
 * n-gram classification. Each returns a fresh candidate list. */
#ifndef GLOTTA_PIPELINE_RECOGNISE_H
#define GLOTTA_PIPELINE_RECOGNISE_H

#include <stdint.h>

#include "engine/lang_context.h"

int RecPlainText(LangContext *ctx, int32_t language, int32_t charset, unsigned char *text,
                 int32_t length, LangCandidate **outList);
int RecMarkup(LangContext *ctx, int32_t language, int32_t declaredCharset, int32_t guessedCharset,
              const unsigned char *data, int32_t length, int32_t detectSize, int removeScripts,
              LangCandidate **outList);
int RecDX(LangContext *ctx, int32_t language, int32_t charset, const char *path,
          int32_t detectSize, LangCandidate **outList);
int RecByNgramText(LangContext *ctx, int32_t language, int32_t charset, unsigned char *text,
                   int32_t length, LangCandidate **outList);

#endif
