// Fuzz target: the whole detection path of LangDetect on a document, as a
// caller of the engine drives it. A buffer request goes through type
// guessing, the markup declarations, the byte-level charset guess, the
// language a charset implies, markup cleaning, code-range scoring,
// conversion and n-gram classification; a file request (with a text or
// markup type given) through the file flow's reading and refilling.
//
// The engine holds the shipped language list (data/langlist.cfg and its
// profiles) and the utility plug-in's conversions (filters/dxutil, compiled
// in), but no filter plug-in: the context is put together as LangInit does
// it, less the filter, whose installation LangInit insists on. The profile
// cache is off, so nothing is written outside the scratch directory.
//
// The last four bytes of the input are the request (the document keeps its
// first bytes, which type guessing reads, so the sample files are seeds as
// they are; missing bytes read as zero):
//   [0] bits 0-2 detection size (kSizes), bits 3-4 candidates shown as the
//       tool shows them (kShown), bit 5 also run the file flow
//   [1] charset hint, [2] language hint, [3] MIME type: none when bit 0 is
//       clear, else entry (byte >> 1) of its table
// Checked: the call succeeds, or fails only in a conversion; the answer is
// what lang_api.h promises (a count matching the terminated list, language
// and charset strings in every candidate, scores in [0, 1] best first, the
// request and the document left as they were, a failed call leaving the
// result alone, the free zeroing the record); the same request is answered
// the same way twice; the charset a hint names is every candidate's; a
// markup document of a given type is answered the same from a file as from
// a buffer.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <algorithm>
#include <string>
#include <vector>

#include "charset/charset_names.h"
#include "conv/zi18n_conv.h"
#include "doctype/dx_abi.h"
#include "engine/lang_api.h"
#include "engine/lang_context.h"
#include "engine/langlist.h"
#include "fuzz_support.h"
#include "ngram/doc_pool.h"
#include "ngram/text_helpers.h"
#include "platform/vos.h"

extern "C" DXServices *DXSACreateZAPIServices(void *, void *, const char *, int);

namespace {

constexpr size_t kRequestBytes = 4;

constexpr int32_t kSizes[] = {0, 1, 16, 300, 2048, 5000, INT32_MAX, -1};
constexpr int32_t kShown[] = {1, 3, 10, 500};

// Names a caller may hand over: real ones in several spellings, names the
// tables do not know, empty and over-long ones.
const char *const kCharsets[] = {
    "utf-8",        "UTF8",     "iso-8859-1", "windows-1252",
    "windows-1251", "koi8-r",   "shift_jis",  "euc-jp",
    "iso-2022-jp",  "gb2312",   "big5",       "euc-kr",
    "utf-16",       "UTF-16LE", "utf-16be",   "iso-8859-2",
    "windows-1256", "cp850",    "ibm866",     "Unknown",
    "x-nonsense",   "",         "-_-",        "a-charset-name-longer-than-twenty",
};
const char *const kLanguages[] = {
    "en", "fr", "de", "ru", "ja", "zh", "zt", "ko", "ar",
    "he", "el", "af", "EO", "un", "xx", "",   "-",  "klingon-language-code-of-some-length",
};
const char *const kMimeTypes[] = {
    "text/plain", "text/html",       "TEXT/HTML", "text/sgml", "text/xml",
    "text/xml ",  "application/pdf", "nonsense",  "",
};

template <size_t N>
const char *pick(const char *const (&table)[N], uint8_t byte) {
    return (byte & 1) ? table[(byte >> 1) % N] : nullptr;
}

// The engine of LangInit without the filter plug-in: the data directory,
// the language list and its profiles, the conversion service, the document
// scratch pool. Kept for the life of the process.
LangContext *StartEngine() {
    // No profile cache: neither variable names a directory.
    setenv("XDG_CACHE_HOME", "", 1);
    setenv("HOME", "", 1);
    auto *ctx = static_cast<LangContext *>(vos_calloc(1, sizeof(LangContext)));
    FUZZ_CHECK(ctx != nullptr);
    ctx->dataPath = lang_strdup(GLOTTA_FUZZ_DATA_DIR);
    FUZZ_CHECK(ctx->dataPath != nullptr);
    // Every shipped profile loads.
    FUZZ_CHECK(LoadLangData(ctx) == LANG_OK);
    FUZZ_CHECK(ctx->profileCount > 0);
    ctx->zapiServices = DXSACreateZAPIServices(nullptr, nullptr, nullptr, 0);
    FUZZ_CHECK(ctx->zapiServices != nullptr);
    ctx->convService = static_cast<Zi18nHandle *>(vos_calloc(1, sizeof(Zi18nHandle)));
    FUZZ_CHECK(ctx->convService != nullptr);
    ctx->convService->services = ctx->zapiServices;
    ctx->docPool = NgramPoolNew(16);
    // To follow one input: the engine's debug log on standard error (the
    // debug run takes a few other turns, as it does in LangInit's engine).
    if (getenv("GLOTTA_FUZZ_LOG")) {
        ctx->debug = 1;
        ctx->logFile = stderr;
    }
    return ctx;
}

LangContext *g_engine = nullptr;

struct Answer {
    std::string language;
    std::string charset;
    float score;
    bool operator==(const Answer &) const = default;
};

// The result record of a successful call, checked against the interface's
// promises and copied; `shown` candidates at most are walked as the tool
// walks them.
std::vector<Answer> CheckedAnswer(const LangDetectOutArg &out, int32_t shown) {
    FUZZ_CHECK(out.count >= 0);
    FUZZ_CHECK(out.candidates != nullptr);
    std::vector<Answer> answer;
    for (int32_t i = 0; i < out.count; ++i) {
        const LangCandidate &c = out.candidates[i];
        FUZZ_CHECK(c.language != nullptr && c.language[0] != '\0');
        FUZZ_CHECK(c.charsetName != nullptr);
        FUZZ_CHECK(c.score >= 0.0f && c.score <= 1.0f);  // no NaN either
        if (i > 0) FUZZ_CHECK(c.score <= out.candidates[i - 1].score);
        answer.push_back({c.language, c.charsetName, c.score});
    }
    const LangCandidate &end = out.candidates[out.count];
    FUZZ_CHECK(end.language == nullptr && end.charsetName == nullptr && end.score == 0.0f);
    const int32_t walked = std::min(shown, out.count);
    for (int32_t i = 0; i < walked; ++i) FUZZ_CHECK(out.candidates[i].language != nullptr);
    return answer;
}

// One call: the request as given, the result released. Returns the result
// code; `answer` holds the candidates on success.
int Detect(LangDetectInArg request, int32_t shown, std::vector<Answer> &answer) {
    static LangCandidate untouched[1];
    const LangDetectInArg before = request;
    LangDetectOutArg out{-7, untouched};
    const int rc = LangDetect(g_engine, &request, &out);

    // Only a detection size of 0 is written back, as the default.
    FUZZ_CHECK(request.docData == before.docData && request.docLength == before.docLength &&
               request.isBuffer == before.isBuffer && request.mimeType == before.mimeType &&
               request.language == before.language && request.charsetName == before.charsetName);
    FUZZ_CHECK(request.detectSize == (before.detectSize == 0 ? 2048 : before.detectSize));

    answer.clear();
    if (rc != LANG_OK) {
        FUZZ_CHECK(rc < 0);
        FUZZ_CHECK(out.count == -7 && out.candidates == untouched);
        return rc;
    }
    answer = CheckedAnswer(out, shown);
    FUZZ_CHECK(LangDetectOutArgFree(&out) == LANG_OK);
    FUZZ_CHECK(out.count == 0 && out.candidates == nullptr);
    return rc;
}

bool IsMarkupType(const char *mime) {
    return mime && (strcasecmp(mime, "text/html") == 0 || strcasecmp(mime, "text/sgml") == 0 ||
                    strcasecmp(mime, "text/xml") == 0);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    g_engine = StartEngine();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 1 << 20) return 0;
    uint8_t control[kRequestBytes] = {};
    const size_t documentSize = size > kRequestBytes ? size - kRequestBytes : 0;
    memcpy(control, data + documentSize, std::min(size, kRequestBytes));

    // The document in a block of its own size, so that any read past it is
    // caught, and a copy to tell that it was not written.
    const std::vector<uint8_t> original(data, data + documentSize);
    std::vector<uint8_t> document(original);

    LangDetectInArg request{};
    request.docData = document.empty() ? static_cast<const void *>("") : document.data();
    request.docLength = static_cast<int32_t>(documentSize);
    request.isBuffer = 1;
    request.detectSize = kSizes[control[0] & 7];
    request.charsetName = pick(kCharsets, control[1]);
    request.language = pick(kLanguages, control[2]);
    request.mimeType = pick(kMimeTypes, control[3]);
    const int32_t shown = kShown[(control[0] >> 3) & 3];

    std::vector<Answer> answer;
    const int rc = Detect(request, shown, answer);
    FUZZ_CHECK(document == original);
    // The buffer flow fails only where a conversion does: text that is not
    // what its charset says, or the second reading of markup full of
    // references after a first reading that found nothing ("Unknown" names
    // no charset to read it in).
    if (rc != LANG_OK && rc != LANG_ERR_CONVERT) {
        fprintf(stderr, "LangDetect on the buffer: %d %s\n", rc, LangErrorMsg(rc));
    }
    FUZZ_CHECK(rc == LANG_OK || rc == LANG_ERR_CONVERT);

    // Both hints are the answer as given.
    if (request.language && request.charsetName) {
        FUZZ_CHECK(answer.size() == 1);
        FUZZ_CHECK(answer[0] == (Answer{request.language[0] ? request.language : "un",
                                        request.charsetName, 1.0f}));
    }

    // A charset hint that names a charset is the charset of every candidate
    // of a document, and a language then appears once in a run.
    const int32_t hinted = Zi18nGetCharsetEnum(request.charsetName);
    if (hinted != 0 && !request.language && documentSize > 0) {
        const char *name = DXCharsetID2Name(hinted);
        for (size_t i = 0; i < answer.size(); ++i) {
            FUZZ_CHECK(answer[i].charset == name);
            if (i > 0) FUZZ_CHECK(answer[i].language != answer[i - 1].language);
        }
    }

    // The same request again gets the same answer: nothing of one call is
    // left for the next (the document scratch is reused).
    std::vector<Answer> again;
    FUZZ_CHECK(Detect(request, shown, again) == rc);
    FUZZ_CHECK(again == answer);

    if (control[0] & 0x20) {
        LangDetectInArg file = request;
        const std::string path = glotta_fuzz::WriteScratch("document", data, documentSize);
        file.docData = path.c_str();
        file.docLength = 0;
        file.isBuffer = 0;
        std::vector<Answer> fromFile;
        const int fileRc = Detect(file, shown, fromFile);
        // Without a filter, only a text or markup type given by the caller
        // is read (or both hints answer); anything else fails to open.
        const bool read = (file.language && file.charsetName) || IsMarkupType(file.mimeType) ||
                          (file.mimeType && strcasecmp(file.mimeType, "text/plain") == 0) ||
                          documentSize == 0;
        FUZZ_CHECK(read ? fileRc == LANG_OK || fileRc == LANG_ERR_CONVERT
                        : fileRc == LANG_ERR_DXOPEN);
        // Markup is read whole from a file too, and goes the same way,
        // except for a language hint that the buffer flow answers with.
        if (IsMarkupType(file.mimeType) && !file.language && documentSize > 0) {
            FUZZ_CHECK(fileRc == rc && fromFile == answer);
        }
    }
    return 0;
}
