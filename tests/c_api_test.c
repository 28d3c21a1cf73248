/* c_api_test.c - uses the engine's public header from a C program, so the
 * header stays valid C and its records keep a C layout. Start-up itself is
 * tested in tests/unit/engine_lang_init_test.cpp. */
#define _GNU_SOURCE
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "engine/lang_api.h"

static int failures = 0;

#define CHECK(cond)                                                                  \
    do {                                                                             \
        if (!(cond)) {                                                               \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            ++failures;                                                              \
        }                                                                            \
    } while (0)

int main(void) {
    LangContext *ctx = (LangContext *)&failures; /* must be replaced */
    LangInitArg arg = {NULL, NULL};

    CHECK(strcmp(LangErrorMsg(LANG_OK), "SUCCESS") == 0);
    CHECK(strcmp(LangErrorMsg(LANG_ERR_NOFILTER), "Couldn't find DX filters") == 0);
    CHECK(LangClose(NULL) == 0);
    CHECK(LangGetDataPath(NULL) == NULL);

    /* Records of the interface keep their C layout. */
    CHECK(sizeof(LangCandidate) == 2 * sizeof(char *) + sizeof(void *));
    CHECK(sizeof(LangInitArg) == 2 * sizeof(char *));

    /* Null and invalid arguments get result codes, never a crash. */
    LangDetectInArg in = {NULL, 0, 0, 0, NULL, NULL, NULL};
    LangDetectOutArg out = {0, NULL};
    CHECK(LangInit(NULL, &arg) == LANG_ERR_NULL);
    CHECK(LangDetect(NULL, &in, &out) == LANG_ERR_NULL);
    CHECK(LangDetect(NULL, NULL, NULL) == LANG_ERR_NULL);
    CHECK(LangDetectOutArgFree(NULL) == LANG_OK);
    CHECK(LangDetectOutArgFree(&out) == LANG_OK && out.count == 0 && out.candidates == NULL);
    CHECK(LangTrainNew(NULL, "xx", "utf8") == LANG_ERR_NULL);
    CHECK(LangTrain(NULL, "sample.txt") == LANG_ERR_NULL);
    CHECK(LangTrainSave(NULL) == LANG_ERR_NULL);
    CHECK(strcmp(LangErrorMsg(-20000), "Unhandled internal error code") == 0);

    unsetenv("TOLMAR_LANG");
    unsetenv("LD_LIBRARY_PATH");
    CHECK(LangInit(&ctx, &arg) == LANG_ERR_NOFILTER);
    CHECK(ctx == NULL);

    if (failures) {
        fprintf(stderr, "%d check(s) failed\n", failures);
        return 1;
    }
    printf("c_api_test: all checks passed\n");
    return 0;
}
