// report.cpp - one document in detection mode: the result record and its BIF
// record.
#include <stdarg.h>
#include <string.h>

#include <algorithm>

#include "tool/tool.h"

LangContext *pContext = nullptr;

namespace {

const char *or_empty(const char *text) {
    return text ? text : "";
}

}  // namespace

void ToolMessage(const char *format, ...) {
    fflush(stdout);
    va_list arguments;
    va_start(arguments, format);
    vfprintf(stderr, format, arguments);
    va_end(arguments);
}

int GetDocLanguage(const char *path, FILE *out, const char *bifBase) {
    LangDetectInArg request{};
    request.docData = path;
    request.isBuffer = 0;
    request.detectSize = langArg.bufferSize;
    LangDetectOutArg result{};

    int code = LangDetect(pContext, &request, &result);
    if (code != LANG_OK) {
        ToolMessage("Error %d: %s (for document: %s)\n", code, LangErrorMsg(code), path);
        LangDetectOutArgFree(&result);
        return code;
    }

    fprintf(out, "DOC_NAME:%s\n", path);
    const int32_t shown = result.candidates ? std::min(langArg.numCandidates, result.count) : 0;
    for (int32_t i = 0; i < shown && result.candidates[i].language; ++i) {
        const LangCandidate &candidate = result.candidates[i];
        fprintf(out, "LANGUAGE: %s\n", LangCode2Name(candidate.language));
        fprintf(out, "CHARSET: %s\n", or_empty(candidate.charsetName));
        fprintf(out, "SCORE: %.2f\n", static_cast<double>(candidate.score));
    }
    fprintf(out, "<<EOD>>\n");

    if (bifBase && bifBase[0] && result.candidates && result.candidates[0].language)
        AppendBifRecord(bifBase, path, result.candidates[0]);
    LangDetectOutArgFree(&result);
    return code;
}
