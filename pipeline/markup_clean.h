/* markup_clean.h - tag, comment, script and entity cleaning of markup. */
#ifndef GLOTTA_PIPELINE_MARKUP_CLEAN_H
#define GLOTTA_PIPELINE_MARKUP_CLEAN_H

#include <stdint.h>

typedef struct EntityRow {
    const char *name; /* null ends the table */
    uint32_t codePoint;
    uint32_t code8;   /* ISO-8859-1 or ISO-8859-7 code; unused by detection */
} EntityRow;

extern const EntityRow Entity_latin1[]; /* 66 rows + terminator */
extern const EntityRow Entity_greek[];  /* 52 rows + terminator */

/* Output from vos_malloc, NUL-terminated, owned by the caller. */
int SGMLCutTags(const unsigned char *data, int32_t length, int32_t capacity, int removeScripts,
                unsigned char **text, int32_t *textLength, int32_t *references);
uint32_t MatchEntity(const char *name, uint32_t *value);
uint32_t lookup_table(const EntityRow *table, const char *name, uint32_t *value);
int ReplaceEntity(unsigned char *text, int32_t *length, int raw);

#endif
