/* filter_stream.h - the stream bridge through which the filter plug-in reads
 * a document, and text extraction through it. */
#ifndef GLOTTA_DOCTYPE_FILTER_STREAM_H
#define GLOTTA_DOCTYPE_FILTER_STREAM_H

#include <stdint.h>

#include "doctype/dx_abi.h"
#include "engine/lang_context.h"

/* Private to the callbacks. */
typedef struct DXStreamRecord {
    int32_t descriptor; /* -1 after DXClose */
    char *path;
    int32_t start;      /* offset of the document in the file */
    int32_t length;     /* 0: up to the end of the file */
} DXStreamRecord;

int DXOpen(DXStream *stream);
int DXRead(DXStream *stream, void *buffer, int count);
int DXSeek(DXStream *stream, int64_t offset, int origin);
int64_t DXTell(DXStream *stream);
int DXClose(DXStream *stream);
int InitStream(DXStream *stream, const char *path);
int FreeStream(DXStream *stream);

/* Filters `path` into UTF-16 text of at most 2 * maxChars bytes (noise runs
 * folded, line feeds kept). The text comes from vos_malloc; the caller frees. */
int DXFilterFile(LangContext *ctx, const char *path, int32_t maxChars, unsigned char **text,
                 int32_t *length);

#endif
