/* langlist.h - the language list: profile names and classifier settings. */
#ifndef GLOTTA_ENGINE_LANGLIST_H
#define GLOTTA_ENGINE_LANGLIST_H

#include "engine/lang_context.h"

enum { LANGLIST_MAX_PROFILES = 500, LANG_FIRST_LOADED_ENUM = 59 };

/* Reads the list and loads every profile it names; 0, a positive warning
 * or a negative code. */
int LoadLangData(LangContext *ctx);

/* langEnum of the first loaded profile whose id equals `languageId` ignoring
 * case, or 0. */
int32_t LangCfgSearch(const LangContext *ctx, const char *languageId);

#endif
