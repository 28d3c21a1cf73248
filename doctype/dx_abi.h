/* dx_abi.h - the binary interface between the engine and the two document
 * filter plug-ins, dxfilter.so and dxutil.so. Both sides include this header;
 * it is plain C so that a C compiler checks it too.
 *
 * The interface was laid out in 32-bit words. On this 64-bit platform every
 * word that holds a pointer (an operation, a handle, a buffer address) is
 * widened to a pointer-sized slot; words that hold only numbers stay 32-bit.
 * The slot numbers below are therefore indices, not byte offsets. */
#ifndef GLOTTA_DOCTYPE_DX_ABI_H
#define GLOTTA_DOCTYPE_DX_ABI_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- file names and entry points ---------------------------------------- */

#define DX_MARKER_NAME "flt_dx"   /* plus ".so": marks a filter installation */
#define DX_FILTER_NAME "dxfilter" /* plus ".so" */
#define DX_UTIL_NAME "dxutil"     /* plus ".so" */
#define DX_LIB_SUFFIX ".so"

#define DX_SYM_GET_FILTER_INTERFACE "DX_GetFilterInterface"
/* Optional: identification from the engine's own bytes (see below). */
#define DX_SYM_GET_IDENTIFY_INTERFACE "DXGlotta_GetIdentifyInterface"
#define DX_SYM_CREATE_SERVICES "DXSACreateZAPIServices"
#define DX_SYM_CREATE_SERVICES_EX "DXSACreateZAPIServicesEx"
#define DX_SYM_DESTROY_SERVICES "DXSADestroyZAPIServices"

/* Values the engine passes to the initialise operation. */
#define DX_INIT_CHARSET_UNICODE 51 /* text comes out as UTF-16, host order */
#define DX_INIT_FLAGS 0x1000000
#define DX_SERVICES_EX_FLAGS 0x10000000 /* stand-alone start-up */

/* ---- document format codes (word 3 of the information record) ----------- */

enum {
    DX_FMT_UNKNOWN = 0,
    DX_FMT_TEXT = 2, /* plain text in any charset */
    DX_FMT_SGML = 209,
    DX_FMT_HTML = 210,
    DX_FMT_TEXT_ALT = 275,
    DX_FMT_XML = 285,
    /* Formats the filter extracts text from. */
    DX_FMT_PDF = 300,
    DX_FMT_DOCX = 301,
    DX_FMT_XLSX = 302,
    DX_FMT_PPTX = 303,
    DX_FMT_ODT = 304,
    DX_FMT_ODS = 305,
    DX_FMT_ODP = 306,
    DX_FMT_EPUB = 307,
    DX_FMT_RTF = 308,
    DX_FMT_DOC = 309,         /* legacy OLE Word */
    DX_FMT_XLS = 310,         /* legacy OLE Excel */
    DX_FMT_PPT = 311,         /* legacy OLE PowerPoint */
    DX_FMT_WORDPERFECT = 312, /* WordPerfect 5.x, 6 and later (DOS, Windows) */
    /* Recognised, but without text the filter can extract. */
    DX_FMT_OLE = 340,     /* other OLE compound documents */
    DX_FMT_ZIP = 341,     /* other zip archives */
    DX_FMT_ARCHIVE = 342, /* tar, 7z, rar, gzip with another method than deflate ... */
    DX_FMT_IMAGE = 343,
    DX_FMT_AUDIO_VIDEO = 344,
    DX_FMT_EXECUTABLE = 345,
    DX_FMT_BINARY = 346, /* anything else that is not text */
    /* A single gzip, bzip2, xz, zstd, lzip, LZ4, lzma or compress (.Z) stream: the filter reads the
       document inside when it is text, markup, PDF, RTF, an office, XPS, WordPerfect, DjVu,
       compiled HTML Help or PostScript document. */
    DX_FMT_COMPRESSED = 347,
    /* An e-mail message (RFC 5322, MIME), an mbox of messages, an Apple Mail message file
       (.emlx, .partial.emlx; the message it counts), an Outlook message file (.msg) or a TNEF
       stream (winmail.dat: the message Outlook wraps for other mail programs): the filter reads
       the subject and the text parts of the body. */
    DX_FMT_MAIL = 348,
    /* A message catalog: GNU gettext .mo/.po, Qt .qm/.ts, XLIFF (a binary `.mo` file, a `.po`
       file that holds translations, a Qt `.qm` or Linguist `.ts` file, an XLIFF 1.2 or 2.0
       document): the filter reads the translated messages. */
    DX_FMT_CATALOG = 349,
    /* A Mobipocket or PalmDoc e-book (`.mobi`, `.prc`, `.azw`, `.azw3`, `.pdb`): the filter
       reads the book's text records. */
    DX_FMT_PALMBOOK = 350,
    /* A FictionBook 2 e-book (`.fb2`, and `.fb2.zip` holding one): the filter reads the title,
       the annotation and the bodies. */
    DX_FMT_FICTIONBOOK = 351,
    /* A DjVu document, one page (`FORM:DJVU`) or bundled pages (`FORM:DJVM`); `.djvu`, `.djv`:
       the filter reads the hidden text layer of its pages. */
    DX_FMT_DJVU = 352,
    /* A Microsoft Compiled HTML Help file (`ITSF`, version 2 or 3; `.chm`): the filter reads its
       HTML topics in the order of the table of contents. */
    DX_FMT_CHM = 353,
    /* An XPS or OpenXPS document (`.xps`, `.oxps`): a zip package whose fixed pages the filter
       reads, in document order, as the text their glyph runs draw. */
    DX_FMT_XPS = 354,
    /* A PostScript document (`%!PS`, EPS, EPS with a DOS binary header): the filter reads the
       text its pages draw. */
    DX_FMT_POSTSCRIPT = 360,
    /* An OpenDocument drawing (`.odg`, template `.otg`, flat XML `.fodg`): the filter reads the
       text of the shapes on its pages, as it reads an ODP presentation's. */
    DX_FMT_ODG = 361,
    /* An Apple iWork document: a Pages, Keynote or Numbers package as a zip archive (`.pages`,
       `.key`, `.numbers`): the filter reads its text (iWork '09 packages). */
    DX_FMT_IWORK = 362,
    /* A Microsoft Works word processor document (`.wps`): a compound file of Works 3 and 4 for
       Windows (an `MN0` stream) or Works 2000 to 9 (a `CONTENTS` stream of chunks); the filter
       reads its text with libwps. */
    DX_FMT_WORKS = 363,
    /* A spreadsheet or database of Lotus 1-2-3 (`.wks`, `.wk1`, `.wk3`, `.wk4`, `.123`),
       Symphony (`.wrk`), Quattro Pro (`.wq1`, `.wq2`, `.wb1`-`.wb3`) or Microsoft Works (`.wks`,
       `.wdb`): the filter reads its cells row by row with libwps. */
    DX_FMT_WORKS_SHEET = 364,
    /* A Microsoft Write document (`.wri`, Windows 1 to 3.11) or a Word for DOS document (`.doc`,
       Word 1 to 5.5): the 128-byte header both programs write (its identification word 0xBE31,
       or 0xBE32 for Write with OLE objects), the text from byte 128; the filter reads its
       paragraphs with libwps. */
    DX_FMT_MSWRITE = 365,
    /* A Pocket Word document of Windows CE (`.psw`, `.pwd`): `{\pwi`, its header and its zones;
       the filter reads its paragraphs with libwps. */
    DX_FMT_POCKETWORD = 366,
    /* A Microsoft Visio drawing: a compound file with a `VisioDocument` stream (`.vsd`, Visio 2000
       to 2010), an XML drawing whose root is `VisioDocument` in the Visio 2003 namespace (`.vdx`)
       or a package whose main part has a Visio content type (`.vsdx`, `.vsdm`, `.vstx`); the
       filter reads the text of its shapes page by page with libvisio. */
    DX_FMT_VISIO = 367,
    /* A Hangul word processor document, HWP 5 (`.hwp`): a compound file with a `FileHeader` and
       a `DocInfo` stream at its root; the filter reads the paragraphs of its `BodyText` sections
       in order, those of tables, text boxes and notes where they stand. */
    DX_FMT_HWP = 368,
    /* A web archive as Safari saves it (`.webarchive`): a property list, binary (`bplist00`) or
       XML, whose root dictionary holds the page as `WebMainResource`; the filter reads the page's
       text (HTML or plain text, in the text encoding the archive names), then its frames'. */
    DX_FMT_WEBARCHIVE = 369,
    /* A Hangul word processor document in its zip package, HWPX (`.hwpx`): a `mimetype` entry
       `application/hwp+zip`, or without one the package's `Contents/content.hpf` and
       `Contents/section0.xml` or its `version.xml` in the HWPML namespace; the filter reads the
       paragraphs of its sections in the order of the package's spine, those of tables, text
       boxes and notes where they stand. */
    DX_FMT_HWPX = 370,
    /* A Microsoft Publisher document (`.pub`): a compound file whose root holds a `Contents`
       stream and a `Quill` storage (Publisher 98 to 2019), or a `Contents` stream that opens with
       Publisher's signature (Publisher 97); the filter reads the text of its text boxes and
       tables page by page with libmspub. */
    DX_FMT_PUBLISHER = 371,
    /* A MacWrite document (its data fork, `.mcw`): for MacWrite 4.5 and 5.0 the version word 6,
       the paragraph counts and, past the print record, the windows of the footer, header and main
       text, whose paragraph tables lie within the file; for MacWrite 1 to 2.2 the version word 3
       and the offset of the paragraphs' data right after their table; the filter reads its
       paragraphs with libmwaw. */
    DX_FMT_MACWRITE = 372,
    /* A StarWriter 3 to 5 document (`.sdw`, `.sgl`, templates `.vor`): a compound file whose root
       holds a `StarWriterDocument` stream; the filter reads its body with libstaroffice. */
    DX_FMT_STARWRITER = 373,
    /* A StarCalc 3 to 5 spreadsheet (`.sdc`): a compound file whose root holds a
       `StarCalcDocument` stream; the filter reads its sheets' cells row by row with
       libstaroffice. */
    DX_FMT_STARCALC = 374,
    /* A StarDraw or StarImpress 3 to 5 document (`.sda`, `.sdd`): a compound file whose root
       holds a `StarDrawDocument3` or `StarDrawDocument` stream; the filter reads the text of its
       pages or slides in order with libstaroffice. */
    DX_FMT_STARDRAW = 375,
    /* A QuarkXPress 3.1 to 6 document (`.qxd`, templates `.qxt`, Mac files without extension):
       two zero bytes, the byte order `MM` or `II`, `XPR` and a language byte, then the version
       word 0x39 or 0x3E (3.1), 0x3F (3.3), 0x41 (4), 0x42 (5) or 0x43 (6); the filter reads the
       text of its text boxes page by page with libqxp, which reads versions 3.1 to 4. */
    DX_FMT_QUARKXPRESS = 376,
    /* A Zoner Draw 4 or 5 drawing (`.zmf`): a zip package whose members are `content.zmf` (and
       its `preview.bmp`), or the `content.zmf` stream alone, whose header holds the signature
       0x12345678 and its content's offset within the file; the filter reads the text of its
       pages in order with libzmf. */
    DX_FMT_ZONER = 377,
    /* A Word 2003 XML document (`.xml`): one XML document whose root is `wordDocument` in the
       WordprocessingML 2003 namespace; the filter reads the text of its body, that of text boxes
       and notes where they stand, without pictures (base64), properties, styles or field codes.
       (Word 2007's single-file "XML Document", a flat package, answers as DOCX.) */
    DX_FMT_WORDML = 378,
    /* An Excel 2003 XML workbook (`.xml`, often `.xls` from web exporters): one XML document whose
       root is `Workbook` in the SpreadsheetML 2003 namespace; the filter reads the strings of its
       cells, sheet by sheet and row by row, as for XLSX. */
    DX_FMT_SPREADSHEETML = 379,
    /* A LaTeX or plain TeX source (`.tex`, `.ltx`): a text that opens with `\documentclass` or
       `\documentstyle`, or with a LaTeX command among further ones in its head; the filter reads
       its prose: the body without comments, math, code and the names and arguments of layout
       commands, the title from the preamble. */
    DX_FMT_TEX = 380,
    /* A Texinfo source (`.texi`, `.texinfo`, `.txi`): a text whose first line is `\input texinfo`;
       the filter reads its prose: without comments, menus, nodes, examples and code. */
    DX_FMT_TEXINFO = 381
};

/* ---- information record (filled by the file information operation) ----- */

#define DX_FILEINFO_WORDS 16
typedef struct DXFileInfo {
    uint32_t word[DX_FILEINFO_WORDS]; /* word[3]: format code; others: see below */
} DXFileInfo;
enum {
    DX_FILEINFO_SIZE_WORD = 0,  /* sizeof(DXFileInfo), set by the plug-in */
    DX_FILEINFO_FORMAT_WORD = 3 /* the format code; the engine reads only this */
};

/* ---- document head (the identification extension) ---------------------- */

/* Identification looks at no more than this many first bytes of a document. */
#define DX_HEAD_BYTES 8192

/* A document the engine has opened and begun to read, handed to the
 * identification operations so that they need not open and read it again. */
typedef struct DXDocumentHead {
    const unsigned char *bytes; /* the document's first bytes */
    int64_t length;             /* how many: min(size, DX_HEAD_BYTES), or fewer when
                                   the file ended early */
    int64_t size;               /* the document's size in bytes (fstat) */
    int fd;                     /* read-only descriptor of the document, or -1; the
                                   plug-in reads it only by position (pread) and
                                   neither moves nor closes it */
} DXDocumentHead;

/* ---- stream descriptor handed to the open-document operation ------------ */

struct DXStream;
typedef int (*DXStreamOpenFn)(struct DXStream *stream); /* 1 ok, 0 failed */
typedef int (*DXStreamReadFn)(struct DXStream *stream, void *buffer,
                              int count); /* bytes, 0 eof, -1 */
typedef int (*DXStreamSeekFn)(struct DXStream *stream, int64_t offset,
                              int origin);                  /* 1 ok, 0 failed */
typedef int64_t (*DXStreamTellFn)(struct DXStream *stream); /* position or -1 */
typedef int (*DXStreamCloseFn)(struct DXStream *stream);    /* close(2) result or -1 */

/* Seven words: the stream record, a reserved 0, and the five callbacks. */
typedef struct DXStream {
    void *record;          /* word 0: the caller's private stream record */
    uintptr_t reserved;    /* word 1: 0 */
    DXStreamOpenFn open;   /* word 2 */
    DXStreamReadFn read;   /* word 3 */
    DXStreamSeekFn seek;   /* word 4 */
    DXStreamTellFn tell;   /* word 5 */
    DXStreamCloseFn close; /* word 6 */
} DXStream;

enum { DX_SEEK_SET = 0, DX_SEEK_CUR = 1, DX_SEEK_END = 2 };

/* ---- text chunk returned by the read-text operation --------------------- */

typedef struct DXTextChunk {
    void *data;     /* UTF-16 text, host order; allocated with malloc by the
                       plug-in, released by the engine with free() */
    int32_t length; /* bytes; 0 at the end of the text */
} DXTextChunk;

/* ---- filter interface table: 28 operation slots ------------------------- */

typedef void *(*DXInitFn)(void *reserved1, void *reserved2, const char *filterDir, int charset,
                          int flags);
typedef void (*DXShutdownFn)(void *filter);
typedef void *(*DXOpenDocFn)(void *filter, DXStream *stream);
typedef void (*DXCloseDocFn)(void *filter, void *document);
typedef int (*DXOpenTextFn)(void *filter, void *document);
typedef int (*DXReadTextFn)(void *filter, void *document, DXTextChunk *chunk, int size);
typedef int (*DXFileInfoFn)(void *filter, const char *path, DXFileInfo *info);
typedef int (*DXIdentifyHeadFn)(void *filter, const DXDocumentHead *head, DXFileInfo *info);
typedef int (*DXIdentifyOpenFn)(void *filter, const DXDocumentHead *head, DXFileInfo *info);
typedef void (*DXReservedFn)(void);

#define DX_FILTER_SLOTS 28
typedef struct DXFilterInterface {
    DXInitFn initialise;      /* 1 */
    DXShutdownFn shutdown;    /* 2 */
    DXOpenDocFn openDocument; /* 3 */
    DXReservedFn reserved4;
    DXCloseDocFn closeDocument; /* 5 */
    DXReservedFn reserved6;
    DXReservedFn reserved7;
    DXOpenTextFn openText; /* 8 */
    DXReadTextFn readText; /* 9 */
    DXReservedFn reserved10;
    DXFileInfoFn fileInformation; /* 11 */
    DXReservedFn reserved12_28[DX_FILTER_SLOTS - 11];
} DXFilterInterface;

typedef void (*DXGetFilterInterfaceFn)(DXFilterInterface *table);

/* ---- identification extension ------------------------------------------- */

/* A plug-in may export DX_SYM_GET_IDENTIFY_INTERFACE besides the filter
 * interface: then the engine identifies a document it has opened and begun
 * to read from those bytes and that descriptor, instead of having file
 * information open and read it again by name. The filter interface table
 * itself stays as it is (its other slots belong to other operations of
 * other filter libraries); a library without this entry point is asked by
 * name. */
typedef struct DXIdentifyInterface {
    /* The format from the head's bytes alone. A pure function of the
     * record: it touches no state of the plug-in and no file, so it may run
     * on any thread at once without the filter lock. Fills the record as
     * file information does and returns 0 when the bytes settle the format;
     * returns 1 (record zero-filled) when only the whole file tells, -1 for
     * null arguments. */
    DXIdentifyHeadFn identifyHead;
    /* The format of an open document, the answer file information gives for
     * its path, read through the head and the descriptor instead of opening
     * the file by name. Called like file information, under the filter
     * lock. */
    DXIdentifyOpenFn identifyOpenFile;
} DXIdentifyInterface;

typedef void (*DXGetIdentifyInterfaceFn)(DXIdentifyInterface *table);

/* ---- services object of the utility library ----------------------------- */

/* A (pointer, length) pair. After a conversion the destination's length holds
 * the number of bytes produced. */
typedef struct DXBuffer {
    void *data;
    int32_t length;
} DXBuffer;

/* Operations take the services object first and answer non-zero for success. */
struct DXServices;
typedef void (*DXSvcReleaseFn)(struct DXServices *svc);
typedef int (*DXSvcToUnicodeFn)(struct DXServices *svc, DXBuffer *source, DXBuffer *dest,
                                int substitution, int bigEndian);
typedef int (*DXSvcFromUnicodeFn)(struct DXServices *svc, DXBuffer *source, DXBuffer *dest,
                                  int substitution, int bigEndian);
typedef int (*DXSvcConvertFn)(struct DXServices *svc, int sourceCharset, DXBuffer *source,
                              DXBuffer *dest, int substitution);
typedef int (*DXSvcSetSubstFn)(struct DXServices *svc, int substitution);
typedef int (*DXSvcSelectFn)(struct DXServices *svc, int charset);

enum {
    DX_SVC_RELEASE = 32,
    DX_SVC_TO_UNICODE = 88,
    DX_SVC_FROM_UNICODE = 89,
    DX_SVC_CONVERT = 90,
    DX_SVC_SET_SUBST = 92,
    DX_SVC_SELECT = 93,
    DX_SVC_LMBCS_SETTING = 106, /* a value, not an operation: 28 before LMBCS */
    DX_SVC_SLOTS = 128
};

/* The object is an array of pointer-sized slots; the plug-in may keep its own
 * state after the last slot. */
typedef struct DXServices {
    uintptr_t slot[DX_SVC_SLOTS];
} DXServices;

typedef DXServices *(*DXCreateServicesFn)(void *reserved1, void *reserved2, const char *dir,
                                          int flags);
typedef DXServices *(*DXCreateServicesExFn)(void *reserved1, void *reserved2, const char *dir,
                                            int flags, int exFlags);
typedef void (*DXDestroyServicesFn)(DXServices *svc);

#ifdef __cplusplus
}
#endif

#endif
