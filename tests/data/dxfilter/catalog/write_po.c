#include <stdio.h>

/* Writes one entry:
msgid "Open"
msgstr "Ouvrir"
 */
int main(void) {
    printf("msgid \"%s\"\nmsgstr \"%s\"\n", "Open", "Ouvrir");
    return 0;
}
