// bif.cpp - the table of open BIF files, one per best language of a run.
#include <stdlib.h>
#include <string.h>

#include "tool/tool.h"

LangBifEntry langBif[LANG_MAX_BIF];
int numBif = 0;

namespace {

constexpr char kWhat[] = "bif file";

}  // namespace

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
    langBif[numBif].stream = OpenOutputFile(name);
    langBif[numBif].writeFailed = false;
    return langBif[numBif++].stream;
}

bool BifFilesWritten() {
    bool written = true;
    for (int i = 0; i < numBif; ++i) {
        LangBifEntry &entry = langBif[i];
        if (!StreamWritten(entry.stream, kWhat, entry.name, &entry.writeFailed)) written = false;
    }
    return written;
}

bool CloseBifFile() {
    bool written = true;
    for (int i = 0; i < numBif; ++i) {
        LangBifEntry &entry = langBif[i];
        if (!CloseOutputFile(entry.stream, kWhat, entry.name, &entry.writeFailed)) written = false;
        free(entry.name);
        entry = LangBifEntry{};
    }
    numBif = 0;
    return written;
}
