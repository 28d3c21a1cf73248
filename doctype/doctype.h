/* doctype.h - the document type: from a MIME string, from the filter
 * plug-in's file identification, or from the bytes. */
#ifndef GLOTTA_DOCTYPE_DOCTYPE_H
#define GLOTTA_DOCTYPE_DOCTYPE_H

#include <stdint.h>

#include "engine/lang_context.h"

enum DocType {
    DOC_UNKNOWN = 0,
    DOC_TEXT = 1,
    DOC_SGML = 2,
    DOC_HTML = 3,
    DOC_XML = 4,
    DOC_OTHER = 5 /* needs the document filter */
};

int MimeTypeMapping(const char *mimeType, int32_t *type);
int GetMimeType(LangContext *ctx, const char *path, int32_t *type);
int MapMimeType(uint32_t formatCode, int32_t *type);
int GuessMimeType(const unsigned char *buffer, int32_t length, int32_t *type);
int recognize_ByMagic(const unsigned char *buffer, int32_t length, int32_t *type);
int recognize_ByContent(const unsigned char *buffer, int32_t length, int32_t *type);
int contentRecPlain(const unsigned char *buffer, int32_t length);
int contentRecSGML(const unsigned char *buffer, int32_t length, int32_t *type);

typedef struct HtmlTag {
    const char *name; /* null ends the table */
    int32_t length;
} HtmlTag;
extern const HtmlTag htmlLangTags[];
int isInArray(const HtmlTag *table, const char *text, int32_t *length);

#endif
