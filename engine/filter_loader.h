/* filter_loader.h - finding, loading, starting and stopping the plug-ins. */
#ifndef GLOTTA_ENGINE_FILTER_LOADER_H
#define GLOTTA_ENGINE_FILTER_LOADER_H

#include "engine/lang_context.h"

/* Searches LD_LIBRARY_PATH for the marker; stores a vos_malloc'd copy of the
 * filter directory (ending in '/') in *out. */
int FindFilterPath(char **out);
int LangDXInit(LangContext *ctx);
int LangDXClose(LangContext *ctx);

#endif
