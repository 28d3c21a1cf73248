/* c_api_test.c - uses the engine's public header from a C program, so the
 * header stays valid C and its records keep a C layout. Starts the engine on
 * a throw-away installation made of the fake plug-ins. */
#define _GNU_SOURCE
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/lang_api.h"

static int failures = 0;

#define CHECK(cond)                                                                  \
    do {                                                                             \
        if (!(cond)) {                                                               \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            ++failures;                                                              \
        }                                                                            \
    } while (0)

static void write_file(const char *path, const char *text) {
    FILE *file = fopen(path, "w");
    if (!file) {
        perror(path);
        exit(2);
    }
    fputs(text, file);
    fclose(file);
}

static void make_dir(const char *path) {
    if (mkdir(path, 0755) != 0) {
        perror(path);
        exit(2);
    }
}

int main(void) {
    char root[] = "/tmp/glotta_c_api_XXXXXX";
    char path[4096];
    char target[4096];
    LangContext *ctx = (LangContext *)&failures; /* must be replaced */
    LangInitArg arg = {NULL, NULL};

    CHECK(strcmp(LangErrorMsg(LANG_OK), "SUCCESS") == 0);
    CHECK(strcmp(LangErrorMsg(LANG_ERR_NOFILTER), "Couldn't find DX filters") == 0);
    CHECK(LangClose(NULL) == 0);
    CHECK(LangGetDataPath(NULL) == NULL);

    /* Records of the interface keep their C layout. */
    CHECK(sizeof(LangCandidate) == 2 * sizeof(char *) + sizeof(void *));
    CHECK(sizeof(LangInitArg) == 2 * sizeof(char *));

    unsetenv("TOLMAR_LANG");
    unsetenv("LD_LIBRARY_PATH");
    CHECK(LangInit(&ctx, &arg) == LANG_ERR_NOFILTER);
    CHECK(ctx == NULL);

    /* An installation: ROOT/_linux/bin holds the marker, ROOT/_linux/filters
     * the plug-ins, ROOT/common/glotta the data. */
    if (!mkdtemp(root)) {
        perror("mkdtemp");
        return 2;
    }
    snprintf(path, sizeof path, "%s/_linux", root);
    make_dir(path);
    snprintf(path, sizeof path, "%s/_linux/bin", root);
    make_dir(path);
    snprintf(path, sizeof path, "%s/_linux/bin/flt_dx.so", root);
    write_file(path, "");
    snprintf(path, sizeof path, "%s/_linux/filters", root);
    make_dir(path);
    snprintf(path, sizeof path, "%s/_linux/filters/dxfilter.so", root);
    snprintf(target, sizeof target, "%s/good/dxfilter.so", GLOTTA_FAKES_DIR);
    CHECK(symlink(target, path) == 0);
    snprintf(path, sizeof path, "%s/_linux/filters/dxutil.so", root);
    snprintf(target, sizeof target, "%s/good/dxutil.so", GLOTTA_FAKES_DIR);
    CHECK(symlink(target, path) == 0);

    snprintf(path, sizeof path, "%s/_linux/bin", root);
    setenv("LD_LIBRARY_PATH", path, 1);
    CHECK(LangInit(&ctx, NULL) == LANG_ERR_NODATA);
    CHECK(ctx == NULL);

    snprintf(path, sizeof path, "%s/common", root);
    make_dir(path);
    snprintf(path, sizeof path, "%s/common/glotta", root);
    make_dir(path);
    CHECK(LangInit(&ctx, NULL) == LANG_ERR_NOCONFIG);

    snprintf(path, sizeof path, "%s/common/glotta/langlist.cfg", root);
    write_file(path, "# nothing listed\nminsize: 10\n");
    CHECK(LangInit(&ctx, NULL) == LANG_ERR_EMPTYCONFIG);

    write_file(path, "en.lm\nmissing.lm\n");
    snprintf(path, sizeof path, "%s/common/glotta/en.lm", root);
    write_file(path, "ID:en\nCHARSET:1252\n_t 2\nth 2\n");
    ctx = NULL;
    CHECK(LangInit(&ctx, NULL) == -LANG_ERR_LOADDATA);
    CHECK(ctx != NULL);
    snprintf(path, sizeof path, "%s/common/glotta", root);
    CHECK(LangGetDataPath(ctx) && strcmp(LangGetDataPath(ctx), path) == 0);
    CHECK(LangClose(ctx) == 0);

    snprintf(path, sizeof path, "rm -rf '%s'", root);
    if (system(path) != 0) fprintf(stderr, "could not remove %s\n", root);

    if (failures) {
        fprintf(stderr, "%d check(s) failed\n", failures);
        return 1;
    }
    printf("c_api_test: all checks passed\n");
    return 0;
}
