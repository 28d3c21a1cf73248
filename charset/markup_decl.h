/* markup_decl.h - language and charset declared in HTML and XML. */
#ifndef GLOTTA_CHARSET_MARKUP_DECL_H
#define GLOTTA_CHARSET_MARKUP_DECL_H

#include <stdint.h>

enum { META_ATTR_SLOTS = 10 };

typedef struct MetaAttr {
    char *name;
    char *value;
} MetaAttr;

/* `buffer` holds `length` bytes followed by a NUL. Nothing is read past
 * `length`, and a NUL inside the text ends every search. None of these
 * changes the buffer. Finding nothing is success with 0 or null; a null out
 * parameter gives -19998. */

/* Document kind 4 (XML): the XML declaration's encoding; 2 or 3 (SGML,
 * HTML): the first Content-Type meta with a charset parameter; any other
 * kind: 0. */
int ExtractCharset(int32_t kind, char *buffer, int32_t length, int32_t *charset);

/* Kinds 2 and 3 only: HtmlLangExtract. *language is set to null first. */
int ExtractLanguage(int32_t kind, const char *buffer, int32_t length, char **language);

/* The html tag's lang attribute, or the content of a Content-Language meta,
 * whichever comes first; a copy from vos_malloc that the caller releases.
 * A value that is not 1 to 31 ASCII letters, digits, '-' or '_' counts as no
 * declaration: the result is then null. */
int HtmlLangExtract(const char *buffer, int32_t length, char **language);
int MetaExtract(const char *buffer, int32_t length, int32_t *charset);
int XmlExtract(char *buffer, int32_t length, int32_t *charset);

/* Parses the attributes of a tag body [start, end), `end` being its '>',
 * into the slots from the first; the slot after the last gets a null name.
 * Names and values are vos_malloc copies that the caller releases, also
 * after a failure. 0, or -19999 when the body does not parse or holds ten
 * or more attributes. */
int GetMetaAttr(const char *start, const char *end, MetaAttr attributes[META_ATTR_SLOTS]);

/* 1-based slot of the first attribute whose name begins with `name`
 * (ASCII case folded), or 0. */
int AttrFind(const MetaAttr attributes[META_ATTR_SLOTS], const char *name);

#endif
