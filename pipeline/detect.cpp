// detect.cpp - the detection entry point and the candidate-list helpers.
#include "pipeline/detect.h"

#include <new>

#include "engine/lang_api.h"
#include "engine/lang_log.h"
#include "pipeline/lang_tables.h"
#include "platform/vos.h"

int SortScores(const void *a, const void *b) {
    const float sa = static_cast<const LangCandidate *>(a)->score;
    const float sb = static_cast<const LangCandidate *>(b)->score;
    if (sa > sb) return -1;
    if (sa < sb) return 1;
    return 0;
}

int32_t CountCandidates(const LangCandidate *list) {
    int32_t count = 0;
    if (list) {
        while (list[count].language) ++count;
    }
    return count;
}

void FreeCandidates(LangCandidate *list) {
    if (!list) return;
    for (LangCandidate *c = list; c->language; ++c) {
        vos_free(c->language);
        vos_free(c->charsetName);
    }
    vos_free(list);
}

namespace {

void log_result(const LangContext *ctx, const LangDetectOutArg *out) {
    if (!LangLogEnabled(ctx) || out->count == 0) return;
    LangLogf(ctx, "Detecting result:");
    for (int32_t i = 0; i < out->count; ++i) {
        const LangCandidate &c = out->candidates[i];
        LangLogf(ctx, "[%d] %s %s %1.4f", i, c.language ? c.language : "(null)",
                 c.charsetName ? c.charsetName : "(null)", static_cast<double>(c.score));
    }
}

int detect(LangContext *ctx, LangDetectInArg *in, LangDetectOutArg *out) {
    if (in->detectSize == 0) in->detectSize = LANG_DEFAULT_DETECT_SIZE;
    int rc;
    if (in->language && in->charsetName) {
        LangCandidate *list = nullptr;
        rc = GenLangList(in->language, in->charsetName, &list);
        if (rc == LANG_OK) {
            out->count = 1;
            out->candidates = list;
        }
    } else if (in->isBuffer) {
        rc = LangDetectBuffer(ctx, in, out);
    } else {
        rc = LangDetectFile(ctx, in, out);
    }
    log_result(ctx, out);
    return rc;
}

}  // namespace

extern "C" int LangDetect(LangContext *ctx, LangDetectInArg *in, LangDetectOutArg *out) {
    if (!ctx || !in || !in->docData || !out) return LANG_ERR_NULL;
    try {
        return detect(ctx, in, out);
    } catch (const std::bad_alloc &) {
        return LANG_ERR_NOMEM;
    } catch (...) {
        return LANG_ERR_IDENTIFY;
    }
}

extern "C" int LangDetectOutArgFree(LangDetectOutArg *out) {
    if (!out) return LANG_OK;
    if (out->candidates) {
        for (int32_t i = 0; i < out->count; ++i) {
            vos_free(out->candidates[i].language);
            vos_free(out->candidates[i].charsetName);
        }
        vos_free(out->candidates);
    }
    out->candidates = nullptr;
    out->count = 0;
    return LANG_OK;
}
