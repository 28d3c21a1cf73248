// bif.cpp - the table of open BIF files, one per best language of a run.
#include <stdlib.h>
#include <string.h>

#include <string>

#include "tool/tool.h"

LangBifEntry langBif[LANG_MAX_BIF];
int numBif = 0;

namespace {

constexpr char kWhat[] = "bif file";

constexpr char kUnknownPrefix[] = "Unknown";
constexpr size_t kUnknownPrefixLength = sizeof kUnknownPrefix - 1;

bool is_unknown(const char *name) {
    return name && strncmp(name, kUnknownPrefix, kUnknownPrefixLength) == 0;
}

void write_bif_record(FILE *bif, const char *path, const LangCandidate &best) {
    fprintf(bif, "ZulZgwKey: %s\n", path);
    fprintf(bif, "ZLang: %s\n", best.language);
    if (!is_unknown(best.charsetName))
        fprintf(bif, "Charset: %s\n", best.charsetName ? best.charsetName : "");
    fprintf(bif, "<<EOD>>\n");
}

FileIdentity protectedFiles[BIF_PROTECT_SLOTS];

}  // namespace

void BifProtect(BifProtected slot, const FileIdentity &file) {
    if (slot >= 0 && slot < BIF_PROTECT_SLOTS) protectedFiles[slot] = file;
}

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
    // Only files that opened take an entry: names that fail, however many,
    // never keep a later language from getting its file. A later document
    // with a failed name simply tries again.
    FILE *stream = OpenOutputStream(name, protectedFiles, BIF_PROTECT_SLOTS);
    if (!stream) {
        free(copy);
        return nullptr;
    }
    langBif[numBif++] = LangBifEntry{copy, stream, false};
    return stream;
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
    for (FileIdentity &file : protectedFiles) file = FileIdentity{};
    return written;
}

bool AppendBifRecord(const char *bifBase, const char *path, const LangCandidate &best) {
    std::string name(bifBase);
    if (is_unknown(best.language)) {
        name += ".unknown";
    } else {
        name += '.';
        name += best.language;
    }
    FILE *bif = FindBifFile(name.c_str());
    if (!bif) {
        BifProtect(BIF_PROTECT_DOCUMENT, IdentityOfPath(path));
        bif = NewBifFile(name.c_str());
    }
    if (!bif) {
        ToolMessage("Couldn't create bif file %s\n", name.c_str());
        return false;
    }
    write_bif_record(bif, path, best);
    return true;
}
