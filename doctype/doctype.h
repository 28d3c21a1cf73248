/* doctype.h - the document type: from a MIME string, from the filter
 * plug-in's file identification, or from the bytes. */
#ifndef GLOTTA_DOCTYPE_DOCTYPE_H
#define GLOTTA_DOCTYPE_DOCTYPE_H

#include <stdint.h>

#include "doctype/dx_abi.h"
#include "engine/lang_api.h"

enum DocType {
    DOC_UNKNOWN = 0,
    DOC_TEXT = 1,
    DOC_SGML = 2,
    DOC_HTML = 3,
    DOC_XML = 4,
    DOC_OTHER = 5 /* needs the document filter */
};

/* Every function here returns a LANG_* code and writes a DocType to *type;
 * none keeps a pointer it was given or allocates anything. */

/* The type a MIME string names: text/plain, text/html, text/sgml or text/xml
 * (case ignored) give their type, any other string or a null one DOC_OTHER.
 * Always LANG_OK; a null `type` is left alone. */
int MimeTypeMapping(const char *mimeType, int32_t *type);

/* The type of the file at `path` as the filter plug-in identifies it (under
 * the context's filter lock), through MapMimeType; DOC_UNKNOWN when no
 * plug-in is loaded or it does not know the file. LANG_ERR_IDENTIFY for a
 * null argument, LANG_ERR_NOFILE when the file does not exist (*type is then
 * untouched), LANG_ERR_MUTEX when the lock fails. Only reads the context. */
int GetMimeType(LangContext *ctx, const char *path, int32_t *type);

/* The type of a document the caller has opened, as GetMimeType gives it for
 * its path, from the head the caller has read (its first bytes, at least
 * DX_HEAD_BYTES of them or the whole file, its size and its descriptor).
 * The plug-in settles most documents from the bytes alone, which is a pure
 * function of them and takes no lock; only a document the bytes do not
 * settle is identified through its descriptor under the filter lock. With a
 * plug-in that offers neither, GetMimeType of `path`. Codes as GetMimeType;
 * LANG_ERR_IDENTIFY also for a null head. Only reads the context. */
int GetMimeTypeOfHead(LangContext *ctx, const char *path, const DXDocumentHead *head,
                      int32_t *type);

/* The type of a filter format code: 0 is DOC_UNKNOWN, the text and markup
 * codes of dx_abi.h their type, any other code DOC_OTHER. Always LANG_OK; a
 * null `type` is left alone. */
int MapMimeType(uint32_t formatCode, int32_t *type);

/* The type of a buffer's bytes: recognize_ByMagic, then recognize_ByContent,
 * DOC_TEXT when neither recognises it. LANG_ERR_IDENTIFY for a null `type`,
 * a null buffer or a non-positive length (*type is then DOC_UNKNOWN). */
int GuessMimeType(const unsigned char *buffer, int32_t length, int32_t *type);

/* Sets *type when the buffer, after leading blanks, tabs and line breaks,
 * starts with an XML declaration, "<html", "<!--" or "<!doctype html" (case
 * ignored); leaves it as it was otherwise. LANG_ERR_IDENTIFY for a null
 * argument or a non-positive length, else LANG_OK. */
int recognize_ByMagic(const unsigned char *buffer, int32_t length, int32_t *type);

/* For a buffer that contentRecPlain takes for text, the markup type
 * contentRecSGML finds (DOC_UNKNOWN when it finds none); *type is left as it
 * was for one that is not text.
 * LANG_ERR_IDENTIFY for a null argument or a non-positive length. */
int recognize_ByContent(const unsigned char *buffer, int32_t length, int32_t *type);

/* LANG_OK when the bytes look like text: no zero byte; when there are high
 * bytes (0x80-0xFF), printable ASCII and high bytes differing in number by 15 %
 * of the length or more; and when there are control bytes, more than 89 % of
 * them tab, LF, CR or ESC. LANG_ERR_IDENTIFY otherwise, and for a null buffer
 * or a non-positive length. */
int contentRecPlain(const unsigned char *buffer, int32_t length);

/* DOC_HTML or DOC_SGML when enough of the text is tags (at least 4, and one
 * per 1000 bytes) that mostly close; HTML when more than 70 % of them are
 * tags of htmlLangTags. DOC_UNKNOWN otherwise, and for a null buffer or a
 * non-positive length. Always LANG_OK; a null `type` is left alone. */
int contentRecSGML(const unsigned char *buffer, int32_t length, int32_t *type);

typedef struct HtmlTag {
    const char *name; /* null ends the table */
    int32_t length;
} HtmlTag;
/* The HTML element names, longest first, so that a name is matched before
 * its prefixes. */
extern const HtmlTag htmlLangTags[];

/* 1 when a name of `table` begins `text` (case ignored; `text` is read up to
 * its NUL at the most), with that name's length in *length when `length` is
 * not null; 0 when none does or `table` or `text` is null. */
int isInArray(const HtmlTag *table, const char *text, int32_t *length);

#endif
