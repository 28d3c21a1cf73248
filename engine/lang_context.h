/* lang_context.h - the fields of the engine context (engine-internal). Only
 * the files that read or write them include this header; every other module
 * sees the opaque LangContext of lang_api.h, and logs through lang_log.h. */
#ifndef GLOTTA_ENGINE_LANG_CONTEXT_H
#define GLOTTA_ENGINE_LANG_CONTEXT_H

#include <stdint.h>
#include <stdio.h>

#include "conv/zi18n_conv.h"
#include "doctype/dx_abi.h"
#include "engine/lang_api.h"
#include "ngram/profile.h"
#include "platform/vos.h"

/* Numbers of one loaded profile. */
typedef struct ProfileIds {
    int32_t langEnum;    /* language number; 59 and up for languages only a profile knows */
    int32_t charsetEnum; /* Zi18nGetCharsetEnum of the profile's charset */
} ProfileIds;

/* All run-time state of the engine. A new context is all zeros, so LangClose
 * can release a context in any state of construction. Strings are owned. */
struct LangContext {
    int32_t profileCount;       /* loaded profiles */
    NgramProfile **profiles;    /* language-list order */
    NgramProfile *trainProfile; /* or null */
    char *filterPath;           /* filter directory, ending in '/' */
    char *dataPath;             /* language data directory */
    char *configFile;           /* language list, or null for DATA/langlist.cfg */
    ProfileIds **profileIds;    /* parallel to profiles */
    int32_t debug;              /* 1: write the debug log */
    char *logFileName;
    FILE *logFile;
    VosMutex *filterMutex; /* guards every call into the plug-ins */
    void *filterHandle;    /* from the filter's initialise operation */
    void *filterLib;
    void *utilLib;
    DXFilterInterface filterInterface;
    DXIdentifyInterface filterIdentify; /* zero when the filter lacks it */
    DXServices *zapiServices;
    Zi18nHandle *convService;           /* refers to utilLib, zapiServices, filterMutex */
    int32_t minSize;                    /* "minsize:" */
    char *unknownLanguage;              /* "unknown:", default "un" */
    char *unknownCharset;               /* default "Unknown" */
    float minScore;                     /* "minscore:", in [0, 1) */
    struct NgramModelIndex *modelIndex; /* batch scorer over `profiles` built by
                                         * LoadLangData; null: score model by model */
    struct NgramDocPool *docPool;       /* idle document scratches of the detections
                                         * running at once; null: a fresh profile each time */
    struct ProfileCache *profileCache;  /* the mapped profile cache, or what a normal
                                         * load needs to write one; null: none */
};

#endif
