/* detect.h - the detection entry, its flows and the result list helpers. */
#ifndef GLOTTA_PIPELINE_DETECT_H
#define GLOTTA_PIPELINE_DETECT_H

#include <memory>

#include "engine/lang_api.h"

enum { LANG_DEFAULT_DETECT_SIZE = 2048 };

/* Comparison for sorting candidates: descending score. */
int SortScores(const void *a, const void *b);

/* Number of entries before the first one whose language is null. */
int32_t CountCandidates(const LangCandidate *list);

/* Releases every string of the list up to the terminator, then the array. */
void FreeCandidates(LangCandidate *list);

/* The owner of a candidate list while a flow or recogniser builds its
 * answer: FreeCandidates on destruction, release() to hand the list on. */
struct CandidateListDeleter {
    void operator()(LangCandidate *list) const noexcept { FreeCandidates(list); }
};
using CandidateList = std::unique_ptr<LangCandidate, CandidateListDeleter>;

/* The flows behind LangDetect (flow.cpp). Each gathers the cheap evidence
 * first (the caller's hints, markup declarations, the charset the bytes
 * prove) and ends in a recogniser when that does not settle the answer. On
 * LANG_OK out->candidates is a fresh candidate list (vos_malloc) and
 * out->count its length; the caller releases it with LangDetectOutArgFree. On
 * any other result `out` is left as it was. in->docData is only read; a zero
 * in->detectSize stands for LANG_DEFAULT_DETECT_SIZE. LANG_ERR_NULL for a null
 * argument or a null in->docData. The context is only read, its document
 * scratch, filter and log aside. */

/* in->docData is the path of a file. LANG_ERR_NOFILE when it does not exist,
 * LANG_ERR_NOTREGULAR when it is no regular file, LANG_ERR_OPEN when it
 * cannot be read; an empty file gives the unknown answer (or the hinted
 * language). */
int LangDetectFile(LangContext *ctx, LangDetectInArg *in, LangDetectOutArg *out);

/* in->docData holds in->docLength bytes, which are not changed (the flow
 * works on a copy); a non-positive length gives the unknown answer. */
int LangDetectBuffer(LangContext *ctx, LangDetectInArg *in, LangDetectOutArg *out);

#endif
