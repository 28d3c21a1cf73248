/* lang_api.h - the call interface of the language and charset detection
 * engine. This is the engine's only public header: plain C, so a C program can
 * use it.
 *
 * Where each entry point lives: LangInit, LangClose and LangGetDataPath in
 * engine/lang_init.cpp (the language list is read by engine/langlist.cpp, the
 * filter plug-in loaded by engine/filter_loader.cpp); LangDetect and
 * LangDetectOutArgFree in pipeline/detect.cpp, whose file and buffer flows are
 * pipeline/flow.cpp and whose recognisers are pipeline/recognise.cpp;
 * LangTrainNew, LangTrain and LangTrainSave in ngram/training.cpp; LangErrorMsg
 * in engine/result_codes.cpp. */
#ifndef GLOTTA_ENGINE_LANG_API_H
#define GLOTTA_ENGINE_LANG_API_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Result codes. 0 is success, negative values are errors, and a positive
 * value from LangInit is a warning whose message is that of its negation. */
enum {
    LANG_OK = 0,
    LANG_ERR_IDENTIFY = -19999, /* "Failed to identify language" (also usage error) */
    LANG_ERR_NULL = -19998,     /* null pointer in internal function */
    LANG_ERR_NOMEM = -19997,
    LANG_ERR_NOFILE = -19996,
    LANG_ERR_OPEN = -19995,
    LANG_ERR_EMPTYFILE = -19994,
    LANG_ERR_NOTREGULAR = -19993,
    LANG_ERR_NOCONFIG = -19992,
    LANG_ERR_BADCONFIG = -19991, /* defined, never raised */
    LANG_ERR_BADPROFILE = -19990,
    LANG_ERR_NODATA = -19989,
    LANG_ERR_LOADDATA = -19988,
    LANG_ERR_NOFILTER = -19987,
    LANG_ERR_LOADLIB = -19986,
    LANG_ERR_NOTFILTERABLE = -19985,
    LANG_ERR_DXOPEN = -19984,
    LANG_ERR_DXREAD = -19983,
    LANG_ERR_MUTEX = -19982,
    LANG_ERR_CONVERT = -19981,
    LANG_ERR_TRAINPROFILE = -19980,
    LANG_ERR_LOGFILE = -19979,
    LANG_ERR_EMPTYCONFIG = -19978
};

/* The engine context: created by LangInit, passed to every call, destroyed
 * by LangClose. Opaque to callers.
 *
 * Threads: any number of threads may call LangDetect on one context at once;
 * the loaded profiles are only read, each call builds its document profile
 * in storage of its own, and calls into the filter and utility libraries
 * (document identification, filtering, library conversions) take the
 * context's filter mutex, so they run one at a time; only the plug-in's
 * identification of a document from bytes already read, which touches no
 * state of the plug-in, runs without it. LangInit, LangClose and
 * the training calls are not to overlap any other call on the same context.
 * LangErrorMsg and LangDetectOutArgFree (on records of their own) may be
 * called from any thread. */
typedef struct LangContext LangContext;

/* Start-up arguments; both strings may be null, and so may the record. */
typedef struct LangInitArg {
    const char *configFile; /* language list file, or null for DATA/langlist.cfg */
    const char *dataPath;   /* language data directory, or null to derive it */
} LangInitArg;

/* A detection request. Owned by the caller; the engine only reads it, except
 * that LangDetect stores 2048 into a detectSize of 0. */
typedef struct LangDetectInArg {
    const void *docData;     /* file mode: the path; buffer mode: the bytes */
    int32_t docLength;       /* buffer mode: byte count */
    int32_t isBuffer;        /* non-zero: buffer mode */
    int32_t detectSize;      /* bytes of text examined; 0: 2048 */
    const char *mimeType;    /* optional, e.g. "text/html" */
    const char *language;    /* optional language hint */
    const char *charsetName; /* optional charset hint */
} LangDetectInArg;

/* One candidate. Both strings are owned by the candidate array and come
 * from vos_malloc. */
typedef struct LangCandidate {
    char *language; /* null only in the terminating entry */
    char *charsetName;
    float score;
} LangCandidate;

/* A detection result: `candidates` is best first and ends with an all-zero
 * entry; `count` is the number of entries before it. */
typedef struct LangDetectOutArg {
    int32_t count;
    LangCandidate *candidates;
} LangDetectOutArg;

/* Starts the engine. Returns 0, a positive warning (some profiles failed to
 * load), or a negative code; *out is the context, or null on a negative code. */
int LangInit(LangContext **out, const LangInitArg *arg);

/* Tears the engine down; 0, or LANG_ERR_MUTEX. A null context is allowed. */
int LangClose(LangContext *ctx);

/* Detects the language and charset of one document. On success `out` holds
 * a fresh candidate array that the caller releases with LangDetectOutArgFree;
 * on failure `out` is untouched. */
int LangDetect(LangContext *ctx, LangDetectInArg *in, LangDetectOutArg *out);

/* Releases the array of `out` and zeroes the record (not the record itself).
 * Always 0; null is accepted. */
int LangDetectOutArgFree(LangDetectOutArg *out);

/* Training: create the profile, feed sample files, save DATA/ID-CHARSET.lm.
 * The save replaces an existing file only once the new one is complete; when
 * it fails (LANG_ERR_OPEN) the old file is kept and errno tells why. */
int LangTrainNew(LangContext *ctx, const char *languageId, const char *charset);
int LangTrain(LangContext *ctx, const char *path);
int LangTrainSave(LangContext *ctx);

/* The constant message of a result code ("Unhandled internal error code" for
 * codes outside the table, positive ones included). */
const char *LangErrorMsg(int code);

/* The data directory the engine settled on (owned by the context). */
const char *LangGetDataPath(const LangContext *ctx);

#ifdef __cplusplus
}
#endif

#endif
