/* lang_log.h - the debug log of the engine (engine-internal). It is written
 * only when the context asks for it; a module that logs needs nothing else of
 * the context. */
#ifndef GLOTTA_ENGINE_LANG_LOG_H
#define GLOTTA_ENGINE_LANG_LOG_H

#include <stdio.h>

#include "engine/lang_api.h"

/* Writes `length` bytes of `buffer` and a line feed to the debug log, wrapping
 * to the start past 2.5 MiB; nothing for a null stream. */
void LangLog(FILE *stream, const char *buffer, long length);

/* printf-style convenience: formats one log line and writes it with LangLog
 * when the context's debug log is on; does nothing otherwise (a null context
 * included). */
void LangLogf(const LangContext *ctx, const char *format, ...)
    __attribute__((format(printf, 2, 3)));

/* 1 when the context's debug log is on (0 for a null context): for callers
 * that would spend time preparing what they log. */
int LangLogEnabled(const LangContext *ctx);

/* Logs raw bytes (document text) when the context's debug log is on. */
void LangLogBytes(const LangContext *ctx, const void *bytes, long length);

#endif
