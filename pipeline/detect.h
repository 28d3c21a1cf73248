/* detect.h - the detection entry, its flows and the result list helpers. */
#ifndef GLOTTA_PIPELINE_DETECT_H
#define GLOTTA_PIPELINE_DETECT_H

#include "engine/lang_context.h"

enum { LANG_DEFAULT_DETECT_SIZE = 2048 };

/* Comparison for sorting candidates: descending score. */
int SortScores(const void *a, const void *b);

/* Number of entries before the first one whose language is null. */
int32_t CountCandidates(const LangCandidate *list);

/* Releases every string of the list up to the terminator, then the array. */
void FreeCandidates(LangCandidate *list);

int LangDetectFile(LangContext *ctx, LangDetectInArg *in, LangDetectOutArg *out);
int LangDetectBuffer(LangContext *ctx, LangDetectInArg *in, LangDetectOutArg *out);

#endif
