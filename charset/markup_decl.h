/* markup_decl.h - language and charset declared in HTML and XML. */
#ifndef GLOTTA_CHARSET_MARKUP_DECL_H
#define GLOTTA_CHARSET_MARKUP_DECL_H

#include <stdint.h>

enum { META_ATTR_SLOTS = 10 };

typedef struct MetaAttr {
    char *name;
    char *value;
} MetaAttr;

/* `buffer` holds `length` bytes followed by a NUL. */
int ExtractCharset(int32_t kind, char *buffer, int32_t length, int32_t *charset);
int ExtractLanguage(int32_t kind, const char *buffer, int32_t length, char **language);
int HtmlLangExtract(const char *buffer, int32_t length, char **language);
int MetaExtract(const char *buffer, int32_t length, int32_t *charset);
int XmlExtract(char *buffer, int32_t length, int32_t *charset);
int GetMetaAttr(const char *start, const char *end, MetaAttr attributes[META_ATTR_SLOTS]);
int AttrFind(const MetaAttr attributes[META_ATTR_SLOTS], const char *name);

#endif
