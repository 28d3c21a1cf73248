// zi18n_locale.cpp - stand-alone start-up of the conversion service (finding
// and loading the utility library) and the charmap and locale lookups.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "conv/zi18n_conv.h"
#include "ngram/text_helpers.h"
#include "platform/plugin_search.h"

namespace {

struct CMapEntry {
    const char *name;
    int32_t charset;
};

// Charmap names, matched whole and ignoring case.
constexpr CMapEntry CMapTable[] = {
    {"utf8", 53},      {"lmbcs_1", 50},   {"8859", 14},      {"437", 25},       {"850", 28},
    {"852", 30},       {"857", 32},       {"862", 35},       {"864", 37},       {"866", 39},
    {"869", 40},       {"874", 41},       {"1250", 5},       {"1251", 6},       {"1252", 7},
    {"1253", 8},       {"1254", 9},       {"1255", 10},      {"1256", 11},      {"iso8859_2", 15},
    {"iso8859_3", 16}, {"iso8859_5", 18}, {"iso8859_6", 19}, {"iso8859_7", 20}, {"iso8859_8", 21},
    {"koi8-r", 73},    {"gb", 2},         {"big5", 3},       {"sjis", 1},       {"eucjp", 66},
    {"ksc", 4},
};

struct LocaleInfo {
    const char *name;
    const char *charmap;  // the locale's default charmap, a CMapTable name
    int32_t charsets[5];  // charsets usable with the locale; 0 ends the list
};

constexpr LocaleInfo LocaleInfoList[] = {
    {"english", "1252", {7, 25, 28, 53, 14}},
    {"englishx", "1252", {7, 25, 28, 53, 14}},
    {"bokmalx", "1252", {7, 25, 28, 53, 14}},
    {"danishx", "1252", {7, 25, 28, 53, 14}},
    {"dutchx", "1252", {7, 25, 28, 53, 14}},
    {"finnishx", "1252", {7, 25, 28, 53, 14}},
    {"frenchx", "1252", {7, 25, 28, 53, 14}},
    {"germanx", "1252", {7, 25, 28, 53, 14}},
    {"italianx", "1252", {7, 25, 28, 53, 14}},
    {"nynorskx", "1252", {7, 25, 28, 53, 14}},
    {"portugx", "1252", {7, 25, 28, 53, 14}},
    {"spanishx", "1252", {7, 25, 28, 53, 14}},
    {"swedishx", "1252", {7, 25, 28, 53, 14}},
    {"arabic", "1256", {11, 19, 37, 53}},
    {"bulgaria", "1251", {6, 53}},
    {"czech", "1250", {5, 53, 30, 15}},
    {"greek", "1253", {8, 53, 20, 40}},
    {"hebrew", "1255", {10, 53, 35, 21}},
    {"hungarian", "1250", {5, 53, 15, 30}},
    {"japanb", "sjis", {1, 53, 66}},
    {"koreab", "ksc", {4, 53}},
    {"polish", "1250", {5, 53, 30, 15}},
    {"russian", "1251", {6, 53, 18, 39, 73}},
    {"russian2", "koi8-r", {73, 53, 39, 6, 18}},
    {"simpcb", "gb", {2, 53}},
    {"thai", "874", {41, 53}},
    {"tradcb", "big5", {3, 53}},
    {"turkish", "1254", {9, 53, 32, 16}},
    {"uni", "utf8", {}},
};

// Library paths are composed in buffers of this size.
constexpr size_t kPathMax = 1024;
// Marks a directory of LD_LIBRARY_PATH as part of a conversion installation.
constexpr char kMarkerFile[] = "libzi18n" DX_LIB_SUFFIX;

const CMapEntry *find_charmap(const char *charmap) {
    if (!charmap || !*charmap) return nullptr;
    for (const CMapEntry &entry : CMapTable) {
        if (lang_equals_nocase(entry.name, charmap)) return &entry;
    }
    return nullptr;
}

}  // namespace

extern "C" int Zi18nFindLib(const char *libraryFile, char **directory) {
    if (!libraryFile || !directory) return ZI18N_ERR_FAILED;
    *directory = nullptr;
    std::string found;
    const glotta::PluginSearch rc =
        glotta::FindPluginDirOnLibraryPath(kMarkerFile, libraryFile, &found);
    if (rc == glotta::PluginSearch::kNoMemory) return ZI18N_ERR_NOMEM;
    if (rc != glotta::PluginSearch::kFound) return ZI18N_OK;
    *directory = lang_strdup(found);
    return *directory ? ZI18N_OK : ZI18N_ERR_NOMEM;
}

extern "C" int Zi18nClose(Zi18nHandle *ctx) {
    if (!ctx) return ZI18N_OK;
    int result = ZI18N_OK;
    if (ctx->services) {
        auto release = reinterpret_cast<DXSvcReleaseFn>(ctx->services->slot[DX_SVC_RELEASE]);
        if (release) release(ctx->services);
    }
    if (ctx->library) vos_dlclose(ctx->library);
    if (ctx->mutex) {
        if ((MutexDestroy(nullptr, ctx->mutex) & 0xFFFF) != 0) result = ZI18N_ERR_MUTEX;
        vos_free(ctx->mutex);
    }
    vos_free(ctx);
    return result;
}

extern "C" int Zi18nInit(Zi18nHandle **out) {
    if (!out) return ZI18N_ERR_FAILED;
    *out = nullptr;
    char libraryFile[64];
    std::snprintf(libraryFile, sizeof libraryFile, "%s%s", DX_UTIL_NAME, DX_LIB_SUFFIX);

    char *found = nullptr;
    int rc = Zi18nFindLib(libraryFile, &found);
    if (rc != ZI18N_OK) return rc;
    glotta::VosPtr<char> directory(found);

    auto *ctx = static_cast<Zi18nHandle *>(vos_calloc(1, sizeof(Zi18nHandle)));
    if (!ctx) return ZI18N_ERR_NOMEM;
    auto fail = [&](int code) {
        Zi18nClose(ctx);
        return code;
    };

    auto *mutex = static_cast<VosMutex *>(vos_calloc(1, sizeof(VosMutex)));
    if (!mutex) return fail(ZI18N_ERR_NOMEM);
    if (MutexInit(nullptr, mutex, 0) != 0) {
        vos_free(mutex);  // never initialised, so not destroyed
        return fail(ZI18N_ERR_MUTEX);
    }
    ctx->mutex = mutex;

    char path[kPathMax];
    if (directory) {
        const int n = std::snprintf(path, sizeof path, "%s%c%s", directory.get(), '/', libraryFile);
        if (n < 0 || static_cast<size_t>(n) >= sizeof path) return fail(ZI18N_ERR_LOADLIB);
    } else {
        std::snprintf(path, sizeof path, "%s", libraryFile);
    }
    ctx->library = vos_dlopen(path, VOS_RTLD_LAZY);
    if (!ctx->library) return fail(ZI18N_ERR_LOADLIB);
    auto create =
        reinterpret_cast<DXCreateServicesExFn>(vos_dlsym(ctx->library, DX_SYM_CREATE_SERVICES_EX));
    if (!create) return fail(ZI18N_ERR_LOADLIB);
    ctx->services = create(nullptr, nullptr, directory.get(), 0, DX_SERVICES_EX_FLAGS);
    if (!ctx->services) return fail(ZI18N_ERR_LOADLIB);

    *out = ctx;
    return ZI18N_OK;
}

extern "C" int32_t Zi18nGetCharmapID(const char *charmap) {
    const CMapEntry *entry = find_charmap(charmap);
    return entry ? entry->charset : CS_NONE;
}

extern "C" int Zi18nIsValidCharmap(const char *charmap) {
    return find_charmap(charmap) ? 1 : 0;
}

extern "C" int Zi18nIsValidLocaleCharmap(const char *locale, const char *charmap) {
    if (!locale || !*locale) return 0;
    const CMapEntry *entry = find_charmap(charmap);
    if (!entry) return 0;
    // "uni" admits every charset that any locale admits.
    const bool everyRow = lang_equals_nocase(locale, "uni");
    for (const LocaleInfo &row : LocaleInfoList) {
        if (!everyRow && !lang_equals_nocase(row.name, locale)) continue;
        for (int32_t charset : row.charsets) {
            if (charset == 0) break;
            if (charset == entry->charset) return 1;
        }
    }
    return 0;
}

extern "C" int Zi18nGetLocaleCharset(const char *locale, char **charmap) {
    if (!locale || !*locale) return ZI18N_ERR_LOCALE;
    if (!charmap) return ZI18N_ERR_FAILED;
    for (const LocaleInfo &row : LocaleInfoList) {
        if (!lang_equals_nocase(row.name, locale)) continue;
        *charmap = lang_strdup(row.charmap);
        return *charmap ? ZI18N_OK : ZI18N_ERR_NOMEM;
    }
    return ZI18N_ERR_LOCALE;
}
