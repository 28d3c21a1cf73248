// charset_norm.cpp - converting detection text between charsets, and giving
// a candidate list the charset that the evidence settled.
#include "pipeline/charset_norm.h"

#include <stdint.h>
#include <string.h>

#include <algorithm>

#include "charset/charset_names.h"
#include "conv/zi18n_conv.h"
#include "engine/lang_api.h"
#include "engine/lang_context.h"
#include "engine/lang_log.h"
#include "ngram/text_helpers.h"
#include "platform/vos.h"

namespace {

// Score that marks a candidate for removal during compaction.
constexpr float kMarked = -1.0f;

// The service's answer as an engine result: a text cut inside its last
// character is still a good detection text.
int conversion_result(int code) {
    return (code == ZI18N_OK || code == ZI18N_ERR_PARTIAL) ? LANG_OK : LANG_ERR_CONVERT;
}

// Gives a candidate the charset name `name`: written over the old name when
// that one's block holds it (any string's block holds its own length), else
// in a fresh copy. Null when that copy cannot be made.
void set_charset_name(char *&field, const char *name, size_t length) {
    if (field && strlen(field) >= length) {
        memcpy(field, name, length + 1);
        return;
    }
    vos_free(field);
    field = lang_strdup(name);
}

}  // namespace

int LangConvert(LangContext *ctx, int32_t source, const unsigned char *text, int32_t length,
                int32_t target, unsigned char **output, int32_t *outputLength, int bigEndian) {
    return LangConvertUsing(IZi18nConvert, ctx, source, text, length, target, output, outputLength,
                            bigEndian);
}

int LangConvertUsing(LangConvertStep step, LangContext *ctx, int32_t source,
                     const unsigned char *text, int32_t length, int32_t target,
                     unsigned char **output, int32_t *outputLength, int bigEndian) {
    if (!step || !ctx || !text || !output || !outputLength || length < 0) return LANG_ERR_NULL;
    *output = nullptr;
    *outputLength = 0;
    if (length == 0) return LANG_OK;

    int32_t factor = 0;
    if (IZi18nGetExpansionFactor(source, target, &factor) != ZI18N_OK) return LANG_ERR_CONVERT;
    int64_t wanted = int64_t{length} * factor;
    if (wanted >= INT32_MAX) return LANG_ERR_NOMEM;
    int32_t capacity = static_cast<int32_t>(wanted);
    auto *buffer = static_cast<unsigned char *>(vos_malloc(static_cast<size_t>(capacity) + 1));
    if (!buffer) return LANG_ERR_NOMEM;
    *output = buffer;

    LangLogf(ctx, "Converting the document from %s to %s", DXCharsetID2Name(source),
             DXCharsetID2Name(target));

    int32_t consumed = 0;
    int32_t produced = 0;
    int code = step(ctx->convService, source, text, length, &consumed, target, buffer, capacity,
                    &produced, bigEndian);
    if (code == ZI18N_ERR_SHORTOUTPUT) {
        // The service reports the shortfall as a negative length: grow by
        // exactly that much and try once more.
        int64_t grown = int64_t{capacity} - produced;
        unsigned char *bigger = nullptr;
        if (produced < 0 && grown < INT32_MAX) {
            bigger =
                static_cast<unsigned char *>(vos_realloc(buffer, static_cast<size_t>(grown) + 1));
        }
        if (!bigger) {
            buffer[0] = '\0';
            return produced < 0 && grown < INT32_MAX ? LANG_ERR_NOMEM : LANG_ERR_CONVERT;
        }
        buffer = bigger;
        *output = buffer;
        capacity = static_cast<int32_t>(grown);
        produced = 0;
        code = step(ctx->convService, source, text, length, &consumed, target, buffer, capacity,
                    &produced, bigEndian);
    }
    int result = conversion_result(code);
    produced = std::clamp(produced, 0, capacity);
    buffer[produced] = '\0';
    *outputLength = produced;
    if (result == LANG_OK) LangLogBytes(ctx, buffer, produced);
    return result;
}

void ResetCharsetName(int32_t charset, LangCandidate *list) {
    if (!list || !list[0].language) return;
    const char *name = DXCharsetID2Name(charset);
    const size_t length = strlen(name);

    if (strcmp(list[0].language, "un") == 0) {
        set_charset_name(list[0].charsetName, name, length);
        return;
    }

    // Lists are best first, so marking from the second entry of a run of
    // one language on keeps the run's best entry.
    for (size_t i = 0; list[i].language; ++i) {
        LangCandidate &next = list[i + 1];
        if (next.language && next.score >= 0.0f && strcmp(next.language, list[i].language) == 0) {
            next.score = kMarked;
        }
        if (list[i].score >= 0.0f) set_charset_name(list[i].charsetName, name, length);
    }

    size_t write = 0;
    size_t read = 0;
    for (; list[read].language; ++read) {
        if (list[read].score == kMarked) {
            vos_free(list[read].language);
            vos_free(list[read].charsetName);
            continue;
        }
        list[write++] = list[read];
    }
    // The terminator moves up; the vacated tail is cleared so that no
    // pointer remains in two entries.
    for (size_t i = write; i <= read; ++i) list[i] = LangCandidate{};
}
