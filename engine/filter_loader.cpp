// filter_loader.cpp - finding the filter installation through LD_LIBRARY_PATH,
// loading and starting the two plug-ins, and stopping them again.
#include "engine/filter_loader.h"

#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <string>
#include <string_view>

#include "engine/lang_context.h"
#include "engine/lang_log.h"
#include "ngram/text_helpers.h"
#include "platform/plugin_search.h"

namespace {

// Library paths are composed in buffers of this size, terminator included.
constexpr size_t kPathMax = 1024;

constexpr char kFilterFile[] = DX_FILTER_NAME DX_LIB_SUFFIX;

bool file_exists(const std::string &path) {
    struct stat st;
    return vos_stat(path.c_str(), &st) == 0;
}

int find_filter_path(char **out) {
    if (!out) return LANG_ERR_NULL;
    *out = nullptr;
    std::string found;
    glotta::PluginSearch rc =
        glotta::FindPluginDirOnLibraryPath(DX_MARKER_NAME DX_LIB_SUFFIX, kFilterFile, &found);
#ifdef GLOTTA_SHARED_LIBRARY
    // The shared library also serves programs started without any set-up:
    // when LD_LIBRARY_PATH names no installation, it uses the one it was
    // loaded from.
    if (rc == glotta::PluginSearch::kNone) {
        rc = glotta::FindPluginDirBeside(reinterpret_cast<const void *>(&FindFilterPath),
                                         kFilterFile, &found);
    }
#endif
    if (rc == glotta::PluginSearch::kNoMemory) return LANG_ERR_NOMEM;
    if (rc != glotta::PluginSearch::kFound) return LANG_ERR_NOFILTER;
    *out = lang_strdup(found);
    return *out ? LANG_OK : LANG_ERR_NOMEM;
}

template <typename Fn>
Fn symbol(void *library, const char *name) {
    return reinterpret_cast<Fn>(vos_dlsym(library, name));
}

int dx_init(LangContext *ctx) {
    if (!ctx) return LANG_ERR_NULL;
    if (!ctx->filterPath) return LANG_ERR_NOFILTER;

    const std::string dir(ctx->filterPath);
    const std::string filterFile = dir + DX_FILTER_NAME DX_LIB_SUFFIX;
    const std::string utilFile = dir + DX_UTIL_NAME DX_LIB_SUFFIX;
    if (filterFile.size() >= kPathMax || utilFile.size() >= kPathMax) return LANG_ERR_NOFILTER;

    if (!file_exists(filterFile)) return LANG_ERR_NOFILTER;

    // Kept in the context as soon as it exists so that teardown releases it
    // whatever fails later.
    ctx->filterMutex = static_cast<VosMutex *>(vos_calloc(1, sizeof(VosMutex)));
    if (!ctx->filterMutex) return LANG_ERR_NOMEM;
    if (MutexInit(nullptr, ctx->filterMutex, 0) != 0) return LANG_ERR_MUTEX;

    LangLogf(ctx, "Loading DX filter from: %s", filterFile.c_str());
    ctx->filterLib = vos_dlopen(filterFile.c_str(), VOS_RTLD_LAZY);
    if (!ctx->filterLib) return LANG_ERR_LOADLIB;
    auto getInterface = symbol<DXGetFilterInterfaceFn>(ctx->filterLib, DX_SYM_GET_FILTER_INTERFACE);
    if (!getInterface) return LANG_ERR_LOADLIB;
    getInterface(&ctx->filterInterface);
    if (!ctx->filterInterface.initialise) return LANG_ERR_LOADLIB;
    ctx->filterIdentify = DXIdentifyInterface{};
    if (auto getIdentify =
            symbol<DXGetIdentifyInterfaceFn>(ctx->filterLib, DX_SYM_GET_IDENTIFY_INTERFACE))
        getIdentify(&ctx->filterIdentify);
    ctx->filterHandle = ctx->filterInterface.initialise(nullptr, nullptr, ctx->filterPath,
                                                        DX_INIT_CHARSET_UNICODE, DX_INIT_FLAGS);
    if (!ctx->filterHandle) return LANG_ERR_LOADLIB;

    if (!file_exists(utilFile)) return LANG_ERR_NOFILTER;
    LangLogf(ctx, "Loading DX util from: %s", utilFile.c_str());
    ctx->utilLib = vos_dlopen(utilFile.c_str(), VOS_RTLD_LAZY);
    if (!ctx->utilLib) return LANG_ERR_LOADLIB;
    auto createServices = symbol<DXCreateServicesFn>(ctx->utilLib, DX_SYM_CREATE_SERVICES);
    if (!createServices) return LANG_ERR_LOADLIB;
    ctx->zapiServices = createServices(nullptr, nullptr, ctx->filterPath, 0);
    if (!ctx->zapiServices) return LANG_ERR_LOADLIB;
    return LANG_OK;
}

int dx_close(LangContext *ctx) {
    if (!ctx) return LANG_OK;
    int result = LANG_OK;
    if (ctx->filterHandle) {
        LangLogf(ctx, "Shutdown Dexfil Filters");
        if (ctx->filterInterface.shutdown) ctx->filterInterface.shutdown(ctx->filterHandle);
        ctx->filterHandle = nullptr;
    }
    LangLogf(ctx, "Unloading dxutil library");
    if (ctx->utilLib) {
        auto destroyServices = symbol<DXDestroyServicesFn>(ctx->utilLib, DX_SYM_DESTROY_SERVICES);
        if (destroyServices) destroyServices(ctx->zapiServices);
    }
    ctx->zapiServices = nullptr;
    if (ctx->utilLib) vos_dlclose(ctx->utilLib);
    ctx->utilLib = nullptr;
    ctx->filterIdentify = DXIdentifyInterface{};
    if (ctx->filterLib) vos_dlclose(ctx->filterLib);
    ctx->filterLib = nullptr;
    if (ctx->filterMutex) {
        if ((MutexDestroy(nullptr, ctx->filterMutex) & 0xFFFF) != 0) result = LANG_ERR_MUTEX;
        vos_free(ctx->filterMutex);
        ctx->filterMutex = nullptr;
    }
    return result;
}

}  // namespace

int FindFilterPath(char **out) {
    try {
        return find_filter_path(out);
    } catch (...) {
        return LANG_ERR_NOMEM;
    }
}

int LangDXInit(LangContext *ctx) {
    try {
        return dx_init(ctx);
    } catch (...) {
        return LANG_ERR_NOMEM;
    }
}

int LangDXClose(LangContext *ctx) {
    try {
        return dx_close(ctx);
    } catch (...) {
        return LANG_ERR_NOMEM;
    }
}
