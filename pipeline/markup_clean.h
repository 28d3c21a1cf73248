/* markup_clean.h - tag, comment, script and entity cleaning of markup. */
#ifndef GLOTTA_PIPELINE_MARKUP_CLEAN_H
#define GLOTTA_PIPELINE_MARKUP_CLEAN_H

#include <stdint.h>

typedef struct EntityRow {
    const char *name; /* null ends the table */
    uint32_t codePoint;
    uint32_t code8; /* ISO-8859-1 or ISO-8859-7 code; unused by detection */
} EntityRow;

extern const EntityRow Entity_latin1[]; /* 66 rows + terminator */
extern const EntityRow Entity_greek[];  /* 52 rows + terminator */

/* The text of `length` bytes of markup, at most min(length, capacity)
 * bytes of it: tags, comments and (when `removeScripts` is 1) script and
 * style elements are dropped; runs of noise bytes become one space, and a
 * space follows each text segment that holds a non-noise byte; a NUL byte in
 * the data ends a segment like a tag; an unterminated comment, tag or element
 * ends the text. References to letters (MatchEntity 64 and up) are kept as
 * written and counted in *references (null: not counted); other references
 * are dropped. On LANG_OK *text is the
 * NUL-terminated text from vos_malloc, owned by the caller (null with a zero
 * length when `length` is not positive). LANG_ERR_NULL for a null data, text
 * or textLength; LANG_ERR_NOMEM. */
int SGMLCutTags(const unsigned char *data, int32_t length, int32_t capacity, int removeScripts,
                unsigned char **text, int32_t *textLength, int32_t *references);

/* The code point a reference name (the text between '&' and ';') stands
 * for: a Latin-1 or Greek entity name (case counts), "#ddd" decimal or
 * "#0xhh" hexadecimal; 0 for an unknown name or a null one. The value is also
 * stored in *value when `value` is not null. */
uint32_t MatchEntity(const char *name, uint32_t *value);

/* The code point of the row of `table` named exactly `name`, or 0 (also for
 * a null table or name); stored in *value too when it is not null. */
uint32_t lookup_table(const EntityRow *table, const char *name, uint32_t *value);

/* Resolves the references ('&' up to ';' or white space) of the text in
 * place: with `raw` each becomes one NUL byte; otherwise a reference to a
 * letter (code point 64 and up) becomes its UTF-8 bytes and any other one
 * vanishes. An unterminated reference ends the text. *length is updated and
 * the text NUL-terminated (it needs room for one byte past *length).
 * LANG_OK, or LANG_ERR_NULL for a null text or length. */
int ReplaceEntity(unsigned char *text, int32_t *length, int raw);

#endif
