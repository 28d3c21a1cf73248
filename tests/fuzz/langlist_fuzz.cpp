// Fuzz target: the language list reader (LoadLangData). The list names
// profiles relative to a scratch data directory that holds two good ones.
#include <string.h>

#include "engine/lang_api.h"
#include "engine/lang_context.h"
#include "engine/langlist.h"
#include "fuzz_support.h"
#include "ngram/text_helpers.h"
#include "platform/vos.h"

namespace {

void write_profiles() {
    static bool done = false;
    if (done) return;
    done = true;
    const char en[] = "ID:en\nCHARSET:1252\n_t 2\nth 2\nhe 2\ne_ 2\nthe 3\n";
    const char fr[] = "ID:xx\nCHARSET:utf8\n_l 2\nle 2\ne_ 2\nles 3\n";
    glotta_fuzz::WriteScratch("en.lm", reinterpret_cast<const uint8_t *>(en), sizeof en - 1);
    glotta_fuzz::WriteScratch("xx.lm", reinterpret_cast<const uint8_t *>(fr), sizeof fr - 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 1 << 16) return 0;
    write_profiles();
    const std::string list = glotta_fuzz::WriteScratch("langlist.cfg", data, size);

    LangContext *ctx = static_cast<LangContext *>(vos_calloc(1, sizeof(LangContext)));
    FUZZ_CHECK(ctx);
    ctx->dataPath = lang_strdup(glotta_fuzz::ScratchDir().c_str());
    ctx->configFile = lang_strdup(list.c_str());
    const int rc = LoadLangData(ctx);
    FUZZ_CHECK(rc == LANG_OK || rc == 19988 || rc == 19990 || rc == LANG_ERR_EMPTYCONFIG ||
               rc == LANG_ERR_NOMEM);
    if (rc >= 0) {
        FUZZ_CHECK(ctx->profileCount >= 0 && ctx->profileCount <= 500);
        FUZZ_CHECK(ctx->minSize >= 0);
        FUZZ_CHECK(ctx->minScore >= 0.0f && ctx->minScore < 1.0f);
        FUZZ_CHECK(ctx->unknownLanguage && ctx->unknownCharset);
        for (int32_t i = 0; i < ctx->profileCount; ++i) {
            FUZZ_CHECK(ctx->profiles[i] && ctx->profileIds[i]);
            LangCfgSearch(ctx, ctx->profiles[i]->languageId);
        }
    }
    LangClose(ctx);
    return 0;
}
