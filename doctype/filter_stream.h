/* filter_stream.h - the stream bridge through which the filter plug-in reads
 * a document, and text extraction through it. */
#ifndef GLOTTA_DOCTYPE_FILTER_STREAM_H
#define GLOTTA_DOCTYPE_FILTER_STREAM_H

#include <stdint.h>

#include "doctype/dx_abi.h"
#include "engine/lang_api.h"

/* Private to the callbacks. */
typedef struct DXStreamRecord {
    int32_t descriptor; /* -1 after DXClose */
    char *path;
    int32_t start;  /* offset of the document in the file */
    int32_t length; /* 0: up to the end of the file */
} DXStreamRecord;

/* The callbacks of a stream that InitStream set up, called by the plug-in.
 * A stream without a record fails each of them. */

/* Opens the document's file (a regular file only) and moves to its start.
 * 1 on success, 0 when it cannot be opened or positioned. */
int DXOpen(DXStream *stream);

/* Reads up to `count` bytes into `buffer`: the number read, 0 at the end of
 * the file, -1 on an error, a closed stream, a null buffer or a negative
 * count. The read is not cut at the document's length. */
int DXRead(DXStream *stream, void *buffer, int count);

/* Moves to `offset` from the document's start (DX_SEEK_SET), the current
 * position (DX_SEEK_CUR) or the document's end (DX_SEEK_END; the file's end
 * when the length is 0). 1 on success, 0 on failure or without a record; a
 * closed stream answers 1 and does nothing. */
int DXSeek(DXStream *stream, int64_t offset, int origin);

/* The position relative to the document's start, or -1 for a closed stream
 * or a failure. */
int64_t DXTell(DXStream *stream);

/* Closes the file: 0 on success, -1 when the stream was not open (or has no
 * record) or the close failed. The stream may be opened again. */
int DXClose(DXStream *stream);

/* Makes `stream` a closed stream over the whole file at `path` (copied) with
 * the callbacks above. LANG_OK; LANG_ERR_IDENTIFY for a null argument;
 * LANG_ERR_NOMEM (the stream is then untouched). The record belongs to the
 * stream until FreeStream. */
int InitStream(DXStream *stream, const char *path);

/* Closes a file the plug-in left open and releases the record; the stream's
 * record is null afterwards, and freeing it again is harmless. LANG_OK, or
 * LANG_ERR_IDENTIFY for a null stream. */
int FreeStream(DXStream *stream);

/* Filters `path` into UTF-16LE text of at most 2 * maxChars bytes (noise runs
 * folded, line feeds kept), holding the context's filter lock while the
 * plug-in runs. On LANG_OK *text is the text from vos_malloc with two zero
 * bytes behind it, owned by the caller (null with a zero length for a
 * document without text). LANG_ERR_IDENTIFY for a null argument; LANG_ERR_NOFILE when
 * the file does not exist; LANG_ERR_DXOPEN, LANG_ERR_NOTFILTERABLE or
 * LANG_ERR_DXREAD when the plug-in cannot open, turn into text or read the
 * document; LANG_ERR_NOMEM; LANG_ERR_MUTEX. After a read error the text read
 * before it is still handed back; after any other error *text is null. */
int DXFilterFile(LangContext *ctx, const char *path, int32_t maxChars, unsigned char **text,
                 int32_t *length);

#endif
