/* detect.c - the glotta engine from C: prints the best candidate for each
 * file named on the command line, then for one text held in memory.
 *
 *   cc detect.c $(pkg-config --cflags --libs glotta) -o detect
 *   ./detect README.txt
 */
#include <stdio.h>
#include <string.h>

#include <glotta/lang_api.h>

static void print_best(const char *name, int rc, const LangDetectOutArg *out) {
    if (rc != LANG_OK) {
        printf("%s: error %d: %s\n", name, rc, LangErrorMsg(rc));
    } else {
        const LangCandidate *best = &out->candidates[0];
        printf("%s: %s %s %.4f\n", name, best->language, best->charsetName, best->score);
    }
}

int main(int argc, char **argv) {
    LangContext *ctx = NULL;
    /* No arguments: the data and plug-ins of the installation the library
     * belongs to. A positive result is a warning; the engine works. */
    int rc = LangInit(&ctx, NULL);
    if (rc < 0) {
        fprintf(stderr, "cannot start the engine: %d: %s\n", rc, LangErrorMsg(rc));
        return 1;
    }

    for (int i = 1; i < argc; ++i) {
        LangDetectInArg in = {argv[i], 0, 0, 0, NULL, NULL, NULL};
        LangDetectOutArg out = {0, NULL};
        rc = LangDetect(ctx, &in, &out);
        print_best(argv[i], rc, &out);
        LangDetectOutArgFree(&out);
    }

    static const char text[] =
        "Das ist ein kurzer deutscher Text, der zeigt, wie man einen Puffer im "
        "Speicher erkennt, ohne ihn vorher in eine Datei zu schreiben.";
    LangDetectInArg in = {text, (int32_t)strlen(text), 1, 0, NULL, NULL, NULL};
    LangDetectOutArg out = {0, NULL};
    rc = LangDetect(ctx, &in, &out);
    print_best("(buffer)", rc, &out);
    LangDetectOutArgFree(&out);

    return LangClose(ctx) == LANG_OK ? 0 : 1;
}
