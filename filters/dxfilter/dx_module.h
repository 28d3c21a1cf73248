/* dx_module.h - the private interface between dxfilter.so and the extraction
 * modules it loads on demand from the filter directory (dxfilter_office.so for
 * zip-based office documents, e-books and XPS documents, dxfilter_pdf.so for PDF,
 * dxfilter_msdoc.so for legacy Word, Excel and PowerPoint documents,
 * dxfilter_compress.so for single gzip, bzip2, xz, zstd, lzip, LZ4, `.lzma` and `.Z`
 * streams, for e-mail messages, message catalogs (GNU gettext .mo/.po, Qt
 * .qm/.ts, XLIFF), Mobipocket and
 * FictionBook e-books, web archives and Hangul (HWP 5) documents, dxfilter_wp.so for WordPerfect
 * documents, dxfilter_iwork.so for Apple iWork documents, dxfilter_works.so for Microsoft Works,
 * Write, Word for DOS and Pocket Word documents and Lotus 1-2-3, Quattro Pro and Works
 * spreadsheets, dxfilter_visio.so for Visio drawings, dxfilter_mspub.so for Publisher documents,
 * dxfilter_mwaw.so for MacWrite documents, dxfilter_staroffice.so for
 * StarOffice 3 to 5 documents, dxfilter_draw.so for QuarkXPress documents
 * and Zoner Draw drawings,
 * dxfilter_djvu.so for DjVu documents, dxfilter_chm.so for compiled HTML
 * Help, dxfilter_ps.so for PostScript).
 * Keeping the heavy libraries in those modules keeps loading dxfilter.so
 * itself cheap.
 *
 * Plain C, so that the modules and the core agree on layout without sharing
 * any C++ runtime types. Everything here runs on the thread that called the
 * filter; no function keeps a pointer it was given beyond the call, except an
 * extractor, which keeps its stream until it is closed. */
#ifndef GLOTTA_FILTERS_DXFILTER_DX_MODULE_H
#define GLOTTA_FILTERS_DXFILTER_DX_MODULE_H

#include <stddef.h>
#include <stdint.h>
#include <time.h>

#include "doctype/dx_abi.h"

#ifdef __cplusplus
extern "C" {
#endif

#define DXM_ABI_VERSION 1
#define DXM_SYM_GET_MODULE "DXM_GetModule"
#define DXM_OFFICE_NAME "dxfilter_office.so"
#define DXM_PDF_NAME "dxfilter_pdf.so"
#define DXM_MSDOC_NAME "dxfilter_msdoc.so"
#define DXM_COMPRESS_NAME "dxfilter_compress.so"
#define DXM_WP_NAME "dxfilter_wp.so"
#define DXM_DJVU_NAME "dxfilter_djvu.so"
#define DXM_CHM_NAME "dxfilter_chm.so"
#define DXM_PS_NAME "dxfilter_ps.so"
#define DXM_IWORK_NAME "dxfilter_iwork.so"
#define DXM_WORKS_NAME "dxfilter_works.so"
#define DXM_VISIO_NAME "dxfilter_visio.so"
#define DXM_MSPUB_NAME "dxfilter_mspub.so"
#define DXM_MWAW_NAME "dxfilter_mwaw.so"
#define DXM_STAROFFICE_NAME "dxfilter_staroffice.so"
#define DXM_DRAW_NAME "dxfilter_draw.so"

/* Where extracted text goes. `text` takes UTF-8 (invalid sequences are
 * dropped) and answers non-zero once the sink is full, after which the
 * extractor should stop. `brk` ends a paragraph, line, table cell or slide. */
typedef struct DXMSink {
    void *self;
    int (*text)(void *self, const char *utf8, size_t length);
    void (*brk)(void *self);
} DXMSink;

/* The CPU time the calling thread has used, in nanoseconds: the clock of
 * every extraction deadline here, so that a document gets as far in its time
 * on a busy machine as on an idle one. A document is extracted on one thread
 * from start to end (the worker's main thread). */
static inline int64_t DXM_CpuNs(void) {
    struct timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return (int64_t)ts.tv_sec * 1000000000 + ts.tv_nsec;
}

/* CLOCK_MONOTONIC now, in nanoseconds: the clock of waits and of the
 * wall-clock backstop, never of an extraction deadline. */
static inline int64_t DXM_WallNs(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (int64_t)ts.tv_sec * 1000000000 + ts.tv_nsec;
}

/* Bounds for one document. A zero field means "no bound" only where noted. */
typedef struct DXMLimits {
    int64_t deadlineNs;     /* DXM_CpuNs time after which to stop */
    uint64_t maxPartBytes;  /* decompressed bytes read from one archive member */
    uint64_t maxTotalBytes; /* decompressed bytes read from all members */
    uint32_t maxParts;      /* archive members (pages, slides, sheets) visited */
} DXMLimits;

typedef struct DXMExtractor DXMExtractor;

typedef struct DXModule {
    uint32_t abi; /* DXM_ABI_VERSION */
    /* Format code of a container given by path or by an open stream of `size`
     * bytes positioned anywhere; DX_FMT_UNKNOWN when it cannot tell. Either
     * may be null when the module recognises nothing. */
    int (*probePath)(const char *path);
    int (*probeStream)(DXStream *stream, int64_t size);
    /* Prepares extraction of `format` from an open stream. Null when the
     * document cannot be read (damaged, encrypted, over a bound). */
    DXMExtractor *(*open)(DXStream *stream, int64_t size, int format, const DXMLimits *limits);
    /* Produces the next piece of text into `sink`: 1 when more may follow,
     * 0 at the end, -1 on an error that ends extraction. */
    int (*step)(DXMExtractor *extractor, DXMSink *sink);
    void (*close)(DXMExtractor *extractor);
} DXModule;

typedef const DXModule *(*DXMGetModuleFn)(void);

/* A document found inside a compressed one, for the module of its format. */
typedef struct DXMInner {
    int fd;       /* an anonymous file holding the whole document; the caller closes it */
    int64_t size; /* its bytes */
    int format;   /* its format code; DX_FMT_ZIP for a zip package to be probed */
} DXMInner;

/* dxfilter_compress.so: its DXM_GetModule answers `module`, the first member
 * of this record, so the worker, which loads it by name, reaches `unpack`.
 * `module.open` reads text and markup inside and refuses everything else. */
typedef struct DXMUnpackModule {
    DXModule module;
    /* Decompresses the document of `size` bytes behind `stream`. 1: text or
     * markup inside, opened as `*extractor` (read with module.step, released
     * with module.close); 2: a document another module reads, in `*inner`;
     * 0: nothing readable inside (no text, an archive, another compressed
     * stream, a damaged or over-large stream). */
    int (*unpack)(DXStream *stream, int64_t size, const DXMLimits *limits, DXMExtractor **extractor,
                  DXMInner *inner);
} DXMUnpackModule;

#ifdef __cplusplus
}
#endif

#endif
