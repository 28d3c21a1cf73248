// lang_init.cpp - engine start-up and teardown: the context, the debug log,
// the filter installation, the data directory, the language list and the
// conversion record.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "engine/filter_loader.h"
#include "engine/lang_context.h"
#include "engine/lang_log.h"
#include "engine/langlist.h"
#include "ngram/doc_pool.h"
#include "ngram/model_index.h"
#include "ngram/text_helpers.h"

namespace {

// Idle document scratches a context keeps for the detections that run on it
// at once; more simultaneous detections build theirs and release them after.
constexpr int32_t kIdleScratches = 16;

bool debug_requested() {
    const char *value = getenv("TOLMAR_LANG");
    return value && (strcasecmp(value, "debug") == 0 || strcmp(value, "1") == 0);
}

// The debug log holds document contents: it is created afresh, readable by
// its owner only, and never opened through a name someone else prepared (an
// existing file or a symbolic link in the shared temporary directory). Its
// name is the temporary directory, "lang", six random characters and ".log".
int open_log(LangContext *ctx) {
    constexpr char kPattern[] = "/langXXXXXX.log";
    constexpr int kSuffixLength = sizeof ".log" - 1;
    const char *dir = vos_tempdir();
    size_t dirLength = strlen(dir);
    while (dirLength > 1 && dir[dirLength - 1] == '/') --dirLength;
    const size_t size = dirLength + sizeof kPattern;
    ctx->logFileName = static_cast<char *>(vos_malloc(size));
    if (!ctx->logFileName) return LANG_ERR_NOMEM;
    snprintf(ctx->logFileName, size, "%.*s%s", static_cast<int>(dirLength), dir, kPattern);
    const int fd = vos_mkstemps(ctx->logFileName, kSuffixLength);
    if (fd < 0) return LANG_ERR_LOGFILE;
    ctx->logFile = fdopen(fd, "w");
    if (!ctx->logFile) {
        close(fd);
        return LANG_ERR_LOGFILE;
    }
    return LANG_OK;
}

// The data directory of an installation: the filter directory with its last
// '_' (found at index 1 or later) and everything after it replaced by
// "common/glotta"; without such an '_', the relative path common/glotta.
std::string derive_data_path(const char *filterPath) {
    std::string path(filterPath);
    size_t cut = 0;
    for (size_t i = path.size(); i-- > 1;) {
        if (path[i] == '_') {
            cut = i;
            break;
        }
    }
    path.resize(cut);
    path += "common/glotta";
    return path;
}

int lang_init(LangContext **out, const LangInitArg *arg) {
    LangContext *ctx = static_cast<LangContext *>(vos_calloc(1, sizeof(LangContext)));
    if (!ctx) return LANG_ERR_NOMEM;

    int result = LANG_OK;
    int warning = LANG_OK;
    auto step = [&]() -> int {
        if (arg && arg->configFile && !(ctx->configFile = lang_strdup(arg->configFile)))
            return LANG_ERR_NOMEM;
        if (arg && arg->dataPath && !(ctx->dataPath = lang_strdup(arg->dataPath)))
            return LANG_ERR_NOMEM;

        if (debug_requested()) ctx->debug = 1;
        if (ctx->debug) {
            int rc = open_log(ctx);
            if (rc != LANG_OK) return rc;
        }

        int rc = FindFilterPath(&ctx->filterPath);
        if (rc != LANG_OK) return rc;
        rc = LangDXInit(ctx);
        if (rc != LANG_OK) return rc;

        if (!ctx->dataPath) {
            ctx->dataPath = lang_strdup(derive_data_path(ctx->filterPath));
            if (!ctx->dataPath) return LANG_ERR_NOMEM;
        }
        struct stat st;
        if (vos_stat(ctx->dataPath, &st) != 0) return LANG_ERR_NODATA;

        rc = LoadLangData(ctx);
        if (rc < 0) return rc;
        warning = rc;

        ctx->convService = static_cast<Zi18nHandle *>(vos_calloc(1, sizeof(Zi18nHandle)));
        if (!ctx->convService) return LANG_ERR_NOMEM;
        ctx->convService->library = ctx->utilLib;
        ctx->convService->services = ctx->zapiServices;
        ctx->convService->mutex = ctx->filterMutex;
        // Without the index (no memory) n-gram classification scores model
        // by model, with the same results.
        ctx->modelIndex = NgramIdxBuild(ctx->profiles, ctx->profileCount);
        ctx->docPool = NgramPoolNew(kIdleScratches);
        return LANG_OK;
    };
    try {
        result = step();
    } catch (...) {
        result = LANG_ERR_NOMEM;
    }
    if (result < 0) {
        LangClose(ctx);
        return result;
    }
    *out = ctx;
    return warning;
}

void destroy_profiles(LangContext *ctx) {
    if (ctx->trainProfile) {
        LangLogf(ctx, "Destroying training profile");
        NgramPrfDestroy(ctx->trainProfile);
        ctx->trainProfile = nullptr;
    }
    LangLogf(ctx, "Unloading language profiles");
    NgramIdxDestroy(ctx->modelIndex);
    ctx->modelIndex = nullptr;
    NgramPoolDestroy(ctx->docPool);
    ctx->docPool = nullptr;
    if (ctx->profiles) {
        for (int32_t i = 0; i < ctx->profileCount; ++i) NgramPrfDestroy(ctx->profiles[i]);
        vos_free(ctx->profiles);
        ctx->profiles = nullptr;
    }
}

}  // namespace

int LangInit(LangContext **out, const LangInitArg *arg) {
    if (!out) return LANG_ERR_NULL;
    *out = nullptr;
    return lang_init(out, arg);
}

int LangClose(LangContext *ctx) {
    if (!ctx) return LANG_OK;
    int result = LANG_OK;
    try {
        destroy_profiles(ctx);
        result = LangDXClose(ctx);
    } catch (...) {
        result = LANG_ERR_NOMEM;
    }
    vos_free(ctx->convService);
    vos_free(ctx->filterPath);
    vos_free(ctx->dataPath);
    vos_free(ctx->configFile);
    if (ctx->profileIds) {
        for (int32_t i = 0; i < ctx->profileCount; ++i) vos_free(ctx->profileIds[i]);
        vos_free(ctx->profileIds);
    }
    if (ctx->logFile) fclose(ctx->logFile);
    vos_free(ctx->logFileName);
    vos_free(ctx->unknownLanguage);
    vos_free(ctx->unknownCharset);
    vos_free(ctx);
    return result;
}

const char *LangGetDataPath(const LangContext *ctx) {
    return ctx ? ctx->dataPath : nullptr;
}
