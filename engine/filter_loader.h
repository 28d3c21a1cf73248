/* filter_loader.h - finding, loading, starting and stopping the plug-ins. */
#ifndef GLOTTA_ENGINE_FILTER_LOADER_H
#define GLOTTA_ENGINE_FILTER_LOADER_H

#include "engine/lang_api.h"

/* Searches LD_LIBRARY_PATH for the marker; stores a vos_malloc'd copy of the
 * filter directory (ending in '/') in *out, which the caller owns. Returns 0;
 * LANG_ERR_NULL for a null `out`; LANG_ERR_NOMEM; LANG_ERR_NOFILTER when the
 * variable is unset or no entry qualifies (*out is then null). Entries whose
 * composed paths need more than 1023 bytes are passed over. */
int FindFilterPath(char **out);

/* Loads and starts both plug-ins from ctx->filterPath and creates the filter
 * mutex. Returns 0 or the first failure (LANG_ERR_NULL, LANG_ERR_NOFILTER,
 * LANG_ERR_NOMEM, LANG_ERR_MUTEX, LANG_ERR_LOADLIB); whatever was set up stays
 * in the context for LangDXClose. */
int LangDXInit(LangContext *ctx);

/* Stops the filter, destroys the services, closes both libraries and destroys
 * the mutex, clearing those fields; safe on any state and on null. Returns 0,
 * or LANG_ERR_MUTEX when the mutex could not be destroyed. */
int LangDXClose(LangContext *ctx);

#endif
