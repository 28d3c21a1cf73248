// langlist.cpp - the language list: which profiles to load and the three
// settings of the n-gram classifier.
#include "engine/langlist.h"

#include <limits.h>
#include <stdio.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>

#include <string>
#include <string_view>
#include <vector>

#include "conv/zi18n_conv.h"
#include "engine/lang_context.h"
#include "engine/lang_log.h"
#include "engine/profile_cache.h"
#include "ngram/model_index.h"
#include "ngram/profile.h"
#include "ngram/text_helpers.h"
#include "pipeline/lang_tables.h"

namespace {

constexpr int kLineBuffer = 256;
constexpr char kListName[] = "langlist.cfg";
constexpr std::string_view kKeyMinSize = "minsize:";
constexpr std::string_view kKeyUnknown = "unknown:";
constexpr std::string_view kKeyMinScore = "minscore:";

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view skip_blanks(std::string_view text) {
    while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
    return text;
}

std::string_view trim_line(std::string_view text) {
    text = skip_blanks(text);
    while (!text.empty() && (is_blank(text.back()) || text.back() == '\n' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

bool starts_with_key(std::string_view text, std::string_view key) {
    if (text.size() < key.size()) return false;
    for (size_t i = 0; i < key.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != key[i]) return false;
    }
    return true;
}

// Sign and leading digits; no digits give 0. Saturates instead of overflowing.
int32_t leading_int(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    long long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') break;
        value = value * 10 + (c - '0');
        if (value > INT_MAX) value = INT_MAX;
    }
    return static_cast<int32_t>(negative ? -value : value);
}

struct ListSettings {
    int32_t minSize = 0;
    float minScore = 0.0f;
};

// Reads every line of the list: settings into `settings` and the context's
// unknown names, profile names into `names`.
int read_list(LangContext *ctx, FILE *file, ListSettings &settings,
              std::vector<std::string> &names) {
    char buffer[kLineBuffer];
    while (fgets(buffer, sizeof buffer, file)) {
        if (buffer[0] == '#' || buffer[0] == '\n' || buffer[0] == '\r') continue;
        std::string_view text = trim_line(buffer);
        if (text.empty()) continue;

        if (starts_with_key(text, kKeyMinSize)) {
            std::string_view value = skip_blanks(text.substr(kKeyMinSize.size()));
            if (!value.empty()) settings.minSize = leading_int(value);
        } else if (starts_with_key(text, kKeyUnknown)) {
            std::string_view value = skip_blanks(text.substr(kKeyUnknown.size()));
            if (value.empty()) continue;
            size_t colon = value.find(':');
            std::string_view language = value.substr(0, colon);
            while (!language.empty() && is_blank(language.back())) language.remove_suffix(1);
            if (!language.empty() && !lang_setstring(&ctx->unknownLanguage, language))
                return LANG_ERR_NOMEM;
            if (colon != std::string_view::npos) {
                std::string_view charset = skip_blanks(value.substr(colon + 1));
                if (!charset.empty() && !lang_setstring(&ctx->unknownCharset, charset))
                    return LANG_ERR_NOMEM;
            }
        } else if (starts_with_key(text, kKeyMinScore)) {
            std::string_view value = skip_blanks(text.substr(kKeyMinScore.size()));
            if (!value.empty()) {
                std::string number(value);
                settings.minScore = lang_atof(number.data());
            }
        } else {
            names.emplace_back(text);
            if (names.size() == LANGLIST_MAX_PROFILES) break;
        }
    }
    return LANG_OK;
}

// The numbers of a loaded profile; languages the built-in table does not
// know are numbered from `nextEnum` on, in load order.
ProfileIds *profile_ids(const NgramProfile *profile, int32_t &nextEnum) {
    ProfileIds *ids = static_cast<ProfileIds *>(vos_calloc(1, sizeof(ProfileIds)));
    if (!ids) return nullptr;
    ids->langEnum = LangCode2Enum(profile->languageId);
    if (ids->langEnum == 0) ids->langEnum = nextEnum++;
    ids->charsetEnum = Zi18nGetCharsetEnum(profile->charset);
    return ids;
}

// The debug log of a start-up from the profile cache names the profiles as
// a normal load does.
void log_cached(const LangContext *ctx, const std::vector<std::string> &names) {
    if (!ctx->debug) return;
    for (const std::string &name : names) {
        LangLogf(ctx, "Loading language profile: %s",
                 (std::string(ctx->dataPath) + '/' + name).c_str());
    }
}

int load_profiles(LangContext *ctx, const std::string &listPath,
                  const std::vector<std::string> &names) {
    const size_t count = names.size();
    ctx->profiles = static_cast<NgramProfile **>(vos_calloc(count, sizeof(NgramProfile *)));
    ctx->profileIds = static_cast<ProfileIds **>(vos_calloc(count, sizeof(ProfileIds *)));
    if (!ctx->profiles || !ctx->profileIds) return LANG_ERR_NOMEM;
    if (ProfileCacheOpen(ctx, listPath, names)) {
        log_cached(ctx, names);
        return LANG_OK;
    }

    int32_t nextEnum = LANG_FIRST_LOADED_ENUM;
    int warning = LANG_OK;
    int32_t loaded = 0;
    int error = LANG_OK;
    for (size_t i = 0; i < count; ++i) {
        std::string path = std::string(ctx->dataPath) + '/' + names[i];
        LangLogf(ctx, "Loading language profile: %s", path.c_str());
        NgramProfile *profile = NgramPrfNew(nullptr, nullptr, 0);
        if (!profile) {
            error = LANG_ERR_NOMEM;
            break;
        }
        struct stat status;
        int rc = NgramPrfLoadFile(profile, path.c_str(), &status);
        if (rc == LANG_OK) ProfileCacheNoteFile(ctx, i, status);
        if (rc != LANG_OK) {
            LangLogf(ctx, "Failed to load language profile %s", path.c_str());
            if (rc == LANG_ERR_OPEN) rc = LANG_ERR_LOADDATA;
            warning = -rc;
            NgramPrfDestroy(profile);
            continue;
        }
        ProfileIds *ids = profile_ids(profile, nextEnum);
        if (!ids) {
            NgramPrfDestroy(profile);
            error = LANG_ERR_NOMEM;
            break;
        }
        ctx->profiles[loaded] = profile;
        ctx->profileIds[loaded] = ids;
        ++loaded;
        // Keep the count right on every exit, so teardown releases exactly
        // what was loaded.
        ctx->profileCount = loaded;
    }
    ctx->profileCount = loaded;
    if (error != LANG_OK) return error;
    // Without the index (no memory) n-gram classification scores model by
    // model, with the same results.
    ctx->modelIndex = NgramIdxBuild(ctx->profiles, ctx->profileCount);
    ProfileCacheSave(ctx, warning);
    return warning;
}

int load_lang_data(LangContext *ctx) {
    if (!ctx || !ctx->dataPath) return LANG_ERR_NULL;
    std::string listPath = ctx->configFile ? std::string(ctx->configFile)
                                           : std::string(ctx->dataPath) + '/' + kListName;
    LangLogf(ctx, "Reading language configuration file: %s", listPath.c_str());
    // Only a regular file is a list: a FIFO would hold start-up up, a device
    // such as /dev/zero would never end.
    FILE *file = vos_fopen_regular(listPath.c_str(), "r", nullptr);
    if (!file) return LANG_ERR_NOCONFIG;

    ListSettings settings;
    std::vector<std::string> names;
    int rc = read_list(ctx, file, settings, names);
    fclose(file);
    if (rc != LANG_OK) return rc;

    ctx->minSize = settings.minSize < 0 ? 0 : settings.minSize;
    ctx->minScore =
        (settings.minScore < 0.0f || settings.minScore >= 1.0f) ? 0.0f : settings.minScore;
    if (!ctx->unknownLanguage && !lang_setstring(&ctx->unknownLanguage, "un"))
        return LANG_ERR_NOMEM;
    if (!ctx->unknownCharset && !lang_setstring(&ctx->unknownCharset, "Unknown"))
        return LANG_ERR_NOMEM;

    if (names.empty()) return LANG_ERR_EMPTYCONFIG;
    return load_profiles(ctx, listPath, names);
}

}  // namespace

int LoadLangData(LangContext *ctx) {
    try {
        return load_lang_data(ctx);
    } catch (...) {
        return LANG_ERR_NOMEM;
    }
}

int32_t LangCfgSearch(const LangContext *ctx, const char *languageId) {
    if (!ctx || !languageId || !ctx->profiles || !ctx->profileIds) return 0;
    for (int32_t i = 0; i < ctx->profileCount; ++i) {
        const NgramProfile *profile = ctx->profiles[i];
        if (profile && profile->languageId && strcasecmp(profile->languageId, languageId) == 0)
            return ctx->profileIds[i]->langEnum;
    }
    return 0;
}
