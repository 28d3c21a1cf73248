/* langlist.h - the language list: profile names and classifier settings. */
#ifndef GLOTTA_ENGINE_LANGLIST_H
#define GLOTTA_ENGINE_LANGLIST_H

#include "engine/lang_api.h"

enum { LANGLIST_MAX_PROFILES = 500, LANG_FIRST_LOADED_ENUM = 59 };

/* Reads the list (ctx->configFile, else DATA/langlist.cfg) and loads every
 * profile it names, filling the profile arrays and the three settings of the
 * context, which owns them from then on. 0; a positive warning (19988 or
 * 19990: some profiles were skipped); or LANG_ERR_NULL, LANG_ERR_NOCONFIG,
 * LANG_ERR_EMPTYCONFIG, LANG_ERR_NOMEM. */
int LoadLangData(LangContext *ctx);

/* langEnum of the first loaded profile whose id equals `languageId` ignoring
 * case, or 0. */
int32_t LangCfgSearch(const LangContext *ctx, const char *languageId);

#endif
