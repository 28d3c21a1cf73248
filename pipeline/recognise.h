/* recognise.h - the recognisers: plain text, markup, filtered documents, and
 * n-gram classification. Each returns a fresh candidate list. */
#ifndef GLOTTA_PIPELINE_RECOGNISE_H
#define GLOTTA_PIPELINE_RECOGNISE_H

#include <stdint.h>

#include "engine/lang_api.h"

/* Every recogniser answers through *outList: on LANG_OK a fresh candidate
 * list (vos_malloc, ended by an entry whose language is null) that the caller
 * releases with FreeCandidates; on any other result *outList is left as it
 * was and nothing is kept. `language` and `charset` are the evidence so far
 * (0: none). The context is only read, but for a document scratch borrowed
 * from its pool for the call and the debug log; calls may run at once.
 * LANG_ERR_NULL for a null context or outList. */

/* Text in `charset`: UTF-8 and LMBCS text is converted to UTF-16 and, like
 * UTF-16 text, recognised by its scripts (RecUniLangCode); any other text
 * goes to RecByNgramText. ASCII capitals of `text` may be folded in place. */
int RecPlainText(LangContext *ctx, int32_t language, int32_t charset, unsigned char *text,
                 int32_t length, LangCandidate **outList);

/* Markup: the first `detectSize` bytes of cleaned text (SGMLCutTags, scripts
 * and styles dropped when `removeScripts` is non-zero) go to RecPlainText in
 * the guessed charset, else the declared one. With character references the
 * text is first converted to UTF-8 from a known single-byte charset; where
 * references are dense and no charset is known, a pass over the raw bytes
 * names the charset and a second pass over the text converted from it, its
 * references restored, names the language. Text without a letter gives the
 * unknown list of LangCode2List(0, 0). `data` is not changed; LANG_ERR_NULL
 * also for null data. */
int RecMarkup(LangContext *ctx, int32_t language, int32_t declaredCharset, int32_t guessedCharset,
              const unsigned char *data, int32_t length, int32_t detectSize, int removeScripts,
              LangCandidate **outList);

/* A document for the filter plug-in: its first `detectSize` characters of
 * text (DXFilterFile) are recognised as UTF-16 when they are, else as text in
 * `charset`; a document without text gives LangCode2List(language, charset).
 * The filter's codes (LANG_ERR_DXOPEN, ...) are passed on. LANG_ERR_NULL also
 * for a null path. */
int RecDX(LangContext *ctx, int32_t language, int32_t charset, const char *path, int32_t detectSize,
          LangCandidate **outList);

/* N-gram classification: the document profile of `text` (ASCII capitals
 * folded in place) is scored against each loaded model the evidence admits
 * (English always; the given language only, when there is one; else the
 * models of a compatible charset). Models scoring at least the context's
 * minimum score are listed by descending score, ties in language list order.
 * Text of at most the context's minimum size, or no model scoring enough,
 * gives the unknown answer: the context's unknown language and charset with
 * score 0.0. LANG_ERR_NULL also for a null text; LANG_ERR_NOMEM. */
int RecByNgramText(LangContext *ctx, int32_t language, int32_t charset, unsigned char *text,
                   int32_t length, LangCandidate **outList);

#endif
