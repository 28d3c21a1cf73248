// training.cpp - the training calls of the engine interface: a training
// profile collects the n-gram counts of sample files and is saved as a .lm
// file in the data directory.
#include <stdio.h>
#include <sys/stat.h>

#include <memory>

#include "engine/lang_api.h"
#include "engine/lang_context.h"
#include "engine/lang_log.h"
#include "ngram/profile.h"
#include "platform/vos.h"

namespace {

constexpr size_t kTrainBlock = 8192;

struct FileCloser {
    void operator()(FILE *file) const noexcept { fclose(file); }
};

const char *or_null_text(const char *text) {
    return text ? text : "(null)";
}

int train_new(LangContext *ctx, const char *languageId, const char *charset) {
    if (!ctx || !languageId || !charset) return LANG_ERR_NULL;
    LangLogf(ctx, "Initialise training profile");
    // A second training run of the same engine starts afresh.
    NgramPrfDestroy(ctx->trainProfile);
    ctx->trainProfile = NgramPrfNew(languageId, charset, 0);
    return ctx->trainProfile ? LANG_OK : LANG_ERR_TRAINPROFILE;
}

int train_file(LangContext *ctx, const char *path) {
    if (!ctx || !path || !ctx->trainProfile) return LANG_ERR_NULL;
    NgramProfile *profile = ctx->trainProfile;
    LangLogf(ctx, "Training the language model for language %s encoding %s",
             or_null_text(profile->languageId), or_null_text(profile->charset));
    struct stat status;
    if (vos_stat(path, &status) != 0) return LANG_ERR_NOFILE;
    if (!S_ISREG(status.st_mode)) return LANG_ERR_NOTREGULAR;
    if (status.st_size == 0) return LANG_ERR_EMPTYFILE;
    // The check above spares devices an open; the one on the descriptor
    // catches a sample swapped in between, and the open cannot block.
    int failure = VOS_OPEN_FAILED;
    std::unique_ptr<FILE, FileCloser> file(vos_fopen_regular(path, "rb", &failure));
    if (!file) return failure == VOS_NOT_REGULAR ? LANG_ERR_NOTREGULAR : LANG_ERR_OPEN;

    unsigned char block[kTrainBlock];
    int result = LANG_OK;
    size_t got;
    // Every block is counted even after one failed; the last block's result
    // is the file's.
    while ((got = fread(block, 1, sizeof block, file.get())) > 0) {
        result = NgramPrfInsert(profile, block, static_cast<int32_t>(got));
    }
    if (ferror(file.get())) return LANG_ERR_OPEN;
    return result;
}

int train_save(LangContext *ctx) {
    if (!ctx || !ctx->trainProfile) return LANG_ERR_NULL;
    NgramProfile *profile = ctx->trainProfile;
    LangLogf(ctx, "Sorting language profile");
    if (!ctx->dataPath || !profile->languageId || !profile->charset) return LANG_ERR_NULL;
    const int size = snprintf(nullptr, 0, "%s%c%s-%s.lm", ctx->dataPath, '/', profile->languageId,
                              profile->charset);
    if (size < 0) return LANG_ERR_NOMEM;
    glotta::VosPtr<char> name(static_cast<char *>(vos_malloc(static_cast<size_t>(size) + 1)));
    if (!name) return LANG_ERR_NOMEM;
    snprintf(name.get(), static_cast<size_t>(size) + 1, "%s%c%s-%s.lm", ctx->dataPath, '/',
             profile->languageId, profile->charset);
    LangLogf(ctx, "Saving trained language profile as: %s", name.get());
    return NgramPrfSave(profile, name.get());
}

}  // namespace

int LangTrainNew(LangContext *ctx, const char *languageId, const char *charset) {
    try {
        return train_new(ctx, languageId, charset);
    } catch (...) {
        return LANG_ERR_NOMEM;
    }
}

int LangTrain(LangContext *ctx, const char *path) {
    try {
        return train_file(ctx, path);
    } catch (...) {
        return LANG_ERR_NOMEM;
    }
}

int LangTrainSave(LangContext *ctx) {
    try {
        return train_save(ctx);
    } catch (...) {
        return LANG_ERR_NOMEM;
    }
}
