// report.cpp - one document in detection mode: the result record and its BIF
// record.
#include <string.h>

#include <algorithm>
#include <string>

#include "tool/tool.h"

LangContext *pContext = nullptr;

namespace {

constexpr char kUnknownPrefix[] = "Unknown";
constexpr size_t kUnknownPrefixLength = sizeof kUnknownPrefix - 1;

bool is_unknown(const char *name) {
    return name && strncmp(name, kUnknownPrefix, kUnknownPrefixLength) == 0;
}

const char *or_empty(const char *text) {
    return text ? text : "";
}

void write_bif_record(FILE *bif, const char *path, const LangCandidate &best) {
    fprintf(bif, "ZulZgwKey: %s\n", path);
    fprintf(bif, "ZLang: %s\n", best.language);
    if (!is_unknown(best.charsetName)) fprintf(bif, "Charset: %s\n", or_empty(best.charsetName));
    fprintf(bif, "<<EOD>>\n");
}

}  // namespace

int GetDocLanguage(const char *path, FILE *out, const char *bifBase) {
    LangDetectInArg request{};
    request.docData = path;
    request.isBuffer = 0;
    request.detectSize = langArg.bufferSize;
    LangDetectOutArg result{};

    int code = LangDetect(pContext, &request, &result);
    if (code != LANG_OK) {
        fprintf(stderr, "Error %d: %s (for document: %s)\n", code, LangErrorMsg(code), path);
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

    if (bifBase && bifBase[0] && result.candidates && result.candidates[0].language) {
        const LangCandidate &best = result.candidates[0];
        std::string name(bifBase);
        if (is_unknown(best.language)) {
            name += ".unknown";
        } else {
            name += '.';
            name += best.language;
        }
        FILE *bif = FindBifFile(name.c_str());
        if (!bif) {
            BifProtect(BIF_PROTECT_DOCUMENT, IdentityOfPath(path));
            bif = NewBifFile(name.c_str());
        }
        if (!bif) {
            fprintf(stderr, "Couldn't create bif file %s\n", name.c_str());
        } else {
            write_bif_record(bif, path, best);
        }
    }
    LangDetectOutArgFree(&result);
    return code;
}
