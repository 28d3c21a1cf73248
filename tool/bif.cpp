// bif.cpp - the table of open BIF files, one per best language of a run.
#include <stdlib.h>
#include <string.h>

#include "tool/tool.h"

LangBifEntry langBif[LANG_MAX_BIF];
int numBif = 0;

FILE *FindBifFile(const char *name) {
    if (!name) return nullptr;
    for (int i = 0; i < numBif; ++i) {
        if (strcmp(langBif[i].name, name) == 0) return langBif[i].stream;
    }
    return nullptr;
}

FILE *NewBifFile(const char *name) {
    if (!name || numBif >= LANG_MAX_BIF) return nullptr;
    char *copy = strdup(name);
    if (!copy) return nullptr;
    // The entry is kept even when the file cannot be opened; a later document
    // with the same name then tries again with an entry of its own.
    langBif[numBif].name = copy;
    langBif[numBif].stream = fopen(name, "w");
    return langBif[numBif++].stream;
}

void CloseBifFile() {
    for (int i = 0; i < numBif; ++i) {
        free(langBif[i].name);
        if (langBif[i].stream) fclose(langBif[i].stream);
        langBif[i] = LangBifEntry{};
    }
    numBif = 0;
}
