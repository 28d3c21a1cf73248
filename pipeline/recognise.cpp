// recognise.cpp - the recognisers: plain text, markup and filtered documents,
// and the n-gram classification they end in.
#include "pipeline/recognise.h"

#include <string.h>

#include <algorithm>
#include <array>
#include <limits>
#include <memory>

#include "charset/charset_guess.h"
#include "charset/unicode_range.h"
#include "conv/zi18n_conv.h"
#include "doctype/filter_stream.h"
#include "engine/lang_api.h"
#include "engine/lang_context.h"
#include "engine/lang_log.h"
#include "ngram/doc_pool.h"
#include "ngram/model_index.h"
#include "ngram/profile.h"
#include "ngram/text_helpers.h"
#include "pipeline/charset_norm.h"
#include "pipeline/detect.h"
#include "pipeline/lang_tables.h"
#include "pipeline/markup_clean.h"
#include "platform/vos.h"

namespace {

// Reference density below which references are reduced to separators, and
// above which a raw first pass is followed by a UTF-8 second pass.
constexpr float kDensityThreshold = 0.01f;

struct ProfileDeleter {
    void operator()(NgramProfile *profile) const noexcept { NgramPrfDestroy(profile); }
};
using ProfilePtr = std::unique_ptr<NgramProfile, ProfileDeleter>;

using Bytes = glotta::VosPtr<unsigned char>;

// A document scratch taken from a pool for one call and given back at its end.
class ScratchLease {
  public:
    explicit ScratchLease(NgramDocPool *pool) : pool_(pool), scratch_(NgramPoolTake(pool)) {}
    ~ScratchLease() { NgramPoolGive(pool_, scratch_); }
    ScratchLease(const ScratchLease &) = delete;
    ScratchLease &operator=(const ScratchLease &) = delete;
    explicit operator bool() const { return scratch_ != nullptr; }
    NgramDocScratch *get() const { return scratch_; }

  private:
    NgramDocPool *pool_;
    NgramDocScratch *scratch_;
};

// Whether a loaded profile stored in `stored` may be compared with a
// document the evidence puts in `given`.
bool charset_admits(int32_t given, int32_t stored) {
    switch (given) {
        case CS_NONE:
            return stored != CS_UTF8;
        case CS_CP1250:
        case CS_ISO8859_2:
        case CS_CP852:
            return stored == CS_CP1250 || stored == CS_ISO8859_2 || stored == CS_CP852;
        case CS_CP1252:
        case CS_ISO8859_1:
            return stored == CS_CP1252 || stored == CS_ISO8859_1;
        case CS_CP850:
            return stored == CS_CP850 || stored == CS_CP1252 || stored == CS_ISO8859_1;
        default:
            return stored == given;
    }
}

bool profile_admitted(int32_t language, int32_t charset, const ProfileIds &ids) {
    // English is compared in every case: English words turn up in documents
    // of every language, and its score keeps the others honest.
    if (ids.langEnum == Lang_English) return true;
    if (language != 0) return ids.langEnum == language;
    return charset_admits(charset, ids.charsetEnum);
}

// An owned copy of `text` (an empty one for null) from the platform allocator.
char *copy_or_empty(const char *text) {
    return lang_strdup(text ? text : "");
}

// The answer when nothing is recognised: the context's unknown language and
// charset with score 0.0.
int unknown_answer(const LangContext *ctx, LangCandidate **outList) {
    LangCandidate *unknown = nullptr;
    const int rc = GenLangList(ctx->unknownLanguage, ctx->unknownCharset, &unknown);
    if (rc != LANG_OK) return rc;
    unknown[0].score = 0.0f;
    *outList = unknown;
    return LANG_OK;
}

const char *printable(const char *text) {
    return text ? text : "(null)";
}

// Converts `length` bytes of `text` from `charset` to UTF-8.
int to_utf8(LangContext *ctx, int32_t charset, const unsigned char *text, int32_t length,
            Bytes &out, int32_t &outLength) {
    unsigned char *converted = nullptr;
    outLength = 0;
    const int rc = LangConvert(ctx, charset, text, length, CS_UTF8, &converted, &outLength, 0);
    out.reset(converted);
    return rc;
}

// A qualifying profile and its score, while the list is ranked.
struct Ranked {
    float score;
    int32_t index;
};

// Profiles a language list can name (see the language list settings); more
// are scored through heap arrays.
constexpr int32_t kStackProfiles = 512;

// Whether the context's model index holds every one of its `profiles`.
bool index_covers(const LangContext *ctx, int32_t profiles) {
    return ctx->modelIndex && profiles > 0 && NgramIdxModelCount(ctx->modelIndex) == profiles;
}

// Scores of the document against every admitted model at once through the
// engine's model index; they equal NgramPrfCompute's bit for bit. False when
// there is no index for these models: the caller then scores model by model.
bool batch_scores(const LangContext *ctx, const NgramProfile *document, int32_t profiles,
                  const unsigned char *admitted, float *scores) {
    if (!index_covers(ctx, profiles)) return false;
    return NgramIdxScore(ctx->modelIndex, document, admitted, scores) == LANG_OK;
}

}  // namespace

int RecPlainText(LangContext *ctx, int32_t language, int32_t charset, unsigned char *text,
                 int32_t length, LangCandidate **outList) {
    if (!ctx || !outList) return LANG_ERR_NULL;
    if (charset == CS_UTF8) {
        int handled = 0;
        const int rc = RecUtf8LangCode(ctx, text, length, outList, &handled);
        if (handled) return rc;
    }
    if (charset == CS_UTF8 || charset == CS_LMBCS) {
        unsigned char *converted = nullptr;
        int32_t convertedLength = 0;
        int rc =
            LangConvert(ctx, charset, text, length, CS_UNICODE, &converted, &convertedLength, 0);
        Bytes owned(converted);
        if (rc != LANG_OK) return rc;
        // No text (a file's text that was all noise) converts to no buffer at
        // all; its code ranges count no character either way.
        return RecUniLangCode(ctx, charset, owned ? owned.get() : text, convertedLength, 0,
                              outList);
    }
    if (charset == CS_UNICODE || charset == CS_UTF16LE || charset == CS_UTF16BE) {
        return RecUniLangCode(ctx, charset, text, length, charset == CS_UTF16BE ? 1 : 0, outList);
    }
    return RecByNgramText(ctx, language, charset, text, length, outList);
}

int RecMarkup(LangContext *ctx, int32_t language, int32_t declaredCharset, int32_t guessedCharset,
              const unsigned char *data, int32_t length, int32_t detectSize, int removeScripts,
              LangCandidate **outList) {
    if (!ctx || !data || !outList) return LANG_ERR_NULL;
    LangLogf(ctx, "Removing tags in the document");

    unsigned char *cleaned = nullptr;
    int32_t textLength = 0;
    int32_t references = 0;
    int rc =
        SGMLCutTags(data, length, detectSize, removeScripts, &cleaned, &textLength, &references);
    Bytes text(cleaned);
    if (rc != LANG_OK) return rc;
    if (textLength == 0) return LangCode2List(0, 0, outList);
    LangLogBytes(ctx, text.get(), textLength);

    if (references == 0) {
        return RecPlainText(ctx, language, guessedCharset != 0 ? guessedCharset : declaredCharset,
                            text.get(), textLength, outList);
    }

    // Six bytes are counted off per kept reference and one is added back.
    const int64_t rest = static_cast<int64_t>(detectSize) - 5 * static_cast<int64_t>(references);
    const float density = rest != 0 ? static_cast<float>(references) / static_cast<float>(rest)
                                    : std::numeric_limits<float>::infinity();
    int raw = density < kDensityThreshold ? 1 : 0;

    if (guessedCharset != CS_CP1252 && raw == 0) {
        int32_t source = 0;
        if (guessedCharset != 0 && guessedCharset != CS_UTF8) {
            source = guessedCharset;
        } else if (declaredCharset != 0 && declaredCharset != CS_UTF8) {
            source = declaredCharset;
        } else if (guessedCharset != CS_UTF8 && declaredCharset != CS_UTF8) {
            raw = 1;  // nothing to convert from: keep the bytes as they are
        }
        if (source != 0) {
            // A failed conversion is tolerated: the cleaned text then goes on
            // as if it were UTF-8.
            Bytes converted;
            int32_t convertedLength = 0;
            to_utf8(ctx, source, text.get(), textLength, converted, convertedLength);
            if (converted && convertedLength > 0) {
                text = std::move(converted);
                textLength = convertedLength;
            }
        }
    }

    const bool secondPass = raw == 1 && density > kDensityThreshold;
    Bytes copy;
    if (secondPass) {
        copy.reset(static_cast<unsigned char *>(vos_malloc(static_cast<size_t>(textLength) + 1)));
        if (!copy) return LANG_ERR_NOMEM;
        memcpy(copy.get(), text.get(), static_cast<size_t>(textLength) + 1);
    }
    const int32_t copyLength = textLength;

    ReplaceEntity(text.get(), &textLength, raw);
    if (ctx->debug) {
        LangLogf(ctx, "Replacing entity reference in the document");
        LangLogBytes(ctx, text.get(), textLength);
    }

    LangCandidate *first = nullptr;
    rc = RecPlainText(ctx, language, raw == 1 ? guessedCharset : CS_UTF8, text.get(), textLength,
                      &first);
    CandidateList list(first);
    if (rc != LANG_OK) return rc;

    if (secondPass && list && list.get()[0].language && list.get()[0].charsetName) {
        // The raw pass found the charset among the profiles; read the text
        // again in it, references restored, to settle the language.
        const int32_t charset = Zi18nGetCharsetEnum(list.get()[0].charsetName);
        text.reset();
        Bytes converted;
        int32_t convertedLength = 0;
        rc = to_utf8(ctx, charset, copy.get(), copyLength, converted, convertedLength);
        copy.reset();
        if (rc != LANG_OK) return rc;
        if (converted) ReplaceEntity(converted.get(), &convertedLength, 0);
        LangCandidate *second = nullptr;
        rc = RecPlainText(ctx, language, CS_UTF8, converted.get(), convertedLength, &second);
        list.reset(second);
        if (rc != LANG_OK) return rc;
        ResetCharsetName(charset, list.get());
    }
    *outList = list.release();
    return rc;
}

int RecDX(LangContext *ctx, int32_t language, int32_t charset, const char *path, int32_t detectSize,
          LangCandidate **outList) {
    if (!ctx || !path || !outList) return LANG_ERR_NULL;
    LangLogf(ctx, "Filtering the document by DX");
    unsigned char *filtered = nullptr;
    int32_t length = 0;
    int rc = DXFilterFile(ctx, path, detectSize, &filtered, &length);
    Bytes text(filtered);
    if (rc != LANG_OK) return rc;
    if (!text || length == 0) return LangCode2List(language, charset, outList);
    LangLogBytes(ctx, text.get(), length);
    if (IsUtf16(text.get(), length) != 0) {
        return RecUniLangCode(ctx, 0, text.get(), length, 0, outList);
    }
    return RecPlainText(ctx, language, charset, text.get(), length, outList);
}

int RecByNgramText(LangContext *ctx, int32_t language, int32_t charset, unsigned char *text,
                   int32_t length, LangCandidate **outList) {
    if (!ctx || !text || !outList) return LANG_ERR_NULL;
    if (length <= ctx->minSize) return unknown_answer(ctx, outList);
    if (ctx->debug) {
        LangLogf(ctx, "Detecting by ngram-frequency classification engine.\n Buffer length is %d",
                 length);
        LangLogBytes(ctx, text, length);
        LangLogf(ctx, "Creating document profile");
    }

    const int32_t profiles = ctx->profiles && ctx->profileIds ? ctx->profileCount : 0;

    // Which profiles the evidence admits, their scores, and the ones that
    // qualify, best first.
    std::array<unsigned char, kStackProfiles> stackAdmitted;
    std::array<float, kStackProfiles> stackScores;
    std::array<Ranked, kStackProfiles> stackRanked;
    unsigned char *admitted = stackAdmitted.data();
    float *scores = stackScores.data();
    Ranked *ranked = stackRanked.data();
    Bytes heapAdmitted;
    glotta::VosPtr<float> heapScores;
    glotta::VosPtr<Ranked> heapRanked;
    if (profiles > kStackProfiles) {
        const auto n = static_cast<size_t>(profiles);
        heapAdmitted.reset(static_cast<unsigned char *>(vos_malloc(n)));
        heapScores.reset(static_cast<float *>(vos_malloc(sizeof(float) * n)));
        heapRanked.reset(static_cast<Ranked *>(vos_malloc(sizeof(Ranked) * n)));
        if (!heapAdmitted || !heapScores || !heapRanked) return LANG_ERR_NOMEM;
        admitted = heapAdmitted.get();
        scores = heapScores.get();
        ranked = heapRanked.get();
    }
    for (int32_t i = 0; i < profiles; ++i) {
        admitted[i] = ctx->profiles[i] && ctx->profileIds[i] &&
                      profile_admitted(language, charset, *ctx->profileIds[i]);
    }

    // A scratch of the context's pool spares each document the allocation of
    // a fresh profile; the profile it builds is the same. The scratch is this
    // call's alone until it goes back, so detections may run at once. With
    // the model index, which scores without allocating for lists of up to
    // NGRAM_INDEX_ALLOCATION_FREE_MODELS profiles, only the n-grams that
    // scoring compares are worked out, not the whole profile.
    ScratchLease scratch(ctx->docPool);
    const bool indexed =
        scratch && profiles <= NGRAM_INDEX_ALLOCATION_FREE_MODELS && index_covers(ctx, profiles);
    ProfilePtr fresh;
    const NgramProfile *document = nullptr;
    bool batch = false;
    if (indexed) {
        NgramTop top;
        int rc = NgramPrfBuildTop(scratch.get(), text, length, &top);
        if (rc != LANG_OK) return rc;
        rc = NgramIdxScoreTop(ctx->modelIndex, &top, admitted, scores);
        if (rc != LANG_OK) return rc;
        batch = true;
    } else {
        if (scratch) {
            const int rc = NgramPrfBuildDocument(scratch.get(), text, length, &document);
            if (rc != LANG_OK) return rc;
        } else {
            fresh.reset(NgramPrfNew(nullptr, nullptr, 1));
            if (!fresh) return LANG_ERR_NOMEM;
            int rc = NgramPrfInsert(fresh.get(), text, length);
            if (rc != LANG_OK) return rc;
            rc = NgramPrfSort(fresh.get());
            if (rc != LANG_OK) return rc;
            document = fresh.get();
        }
        batch = batch_scores(ctx, document, profiles, admitted, scores);
    }

    int32_t count = 0;
    for (int32_t i = 0; i < profiles; ++i) {
        if (!admitted[i]) continue;
        const NgramProfile *model = ctx->profiles[i];
        if (ctx->debug) {
            LangLogf(ctx, "Compute distance to <%s-%s>", printable(model->languageId),
                     printable(model->charset));
        }
        const float score = batch ? scores[i] : NgramPrfCompute(document, model);
        if (!(score >= ctx->minScore)) continue;  // a NaN never qualifies
        ranked[count++] = {score, i};
        if (ctx->debug) {
            LangLogf(ctx, "Score for %s-%s is %f", printable(model->languageId),
                     printable(model->charset), static_cast<double>(score));
        }
    }
    if (count == 0) return unknown_answer(ctx, outList);

    // Descending score; equal scores keep the order of the language list, as
    // a stable sort with SortScores leaves them (no NaN is left here). The
    // list is then made for exactly the qualifying profiles.
    std::sort(ranked, ranked + count, [](const Ranked &a, const Ranked &b) {
        return a.score > b.score || (a.score == b.score && a.index < b.index);
    });
    CandidateList list(static_cast<LangCandidate *>(
        vos_calloc(static_cast<size_t>(count) + 1, sizeof(LangCandidate))));
    if (!list) return LANG_ERR_NOMEM;
    LangCandidate *candidates = list.get();
    for (int32_t k = 0; k < count; ++k) {
        const NgramProfile *model = ctx->profiles[ranked[k].index];
        LangCandidate &c = candidates[k];
        c.language = copy_or_empty(model->languageId);
        c.charsetName = copy_or_empty(model->charset);
        c.score = ranked[k].score;
        if (!c.language || !c.charsetName) {
            vos_free(c.charsetName);
            c.charsetName = nullptr;
            vos_free(c.language);
            c.language = nullptr;
            return LANG_ERR_NOMEM;
        }
    }
    *outList = list.release();
    return LANG_OK;
}
