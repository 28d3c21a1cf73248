// catalog_text.h - the text of a GNU gettext message catalog, binary (`.mo`)
// or source (`.po`): its translations, as UTF-8 lines for the text sink.
#ifndef GLOTTA_FILTERS_DXFILTER_CATALOG_TEXT_H
#define GLOTTA_FILTERS_DXFILTER_CATALOG_TEXT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace dxf {

struct CatalogBounds {
    size_t maxText = 1u << 20;       // message bytes gathered, before conversion
    int64_t deadlineNs = INT64_MAX;  // DXM_CpuNs time to stop at
};

struct CatalogText {
    bool ok = false;
    std::string error;               // why the catalog was refused (ok false)
    std::string charset;             // the charset its messages were read in
    bool sourceMessages = false;     // no translation at all: the msgids instead
    std::vector<std::string> lines;  // UTF-8, none empty, in file order
};

// The charset the header entry of a catalog names in its "Content-Type:"
// line ("charset=X"); empty when it names none.
std::string CatalogHeaderCharset(std::string_view header);

// The translations (msgstr) of a binary catalog, in the order of its tables,
// each plural form a line of its own; the header entry (empty msgid) is left
// out. Without any non-empty translation, the msgids (context dropped,
// singular and plural each a line): the catalog is a template. The messages
// are read in the charset of the header entry when ICU knows it (and it is
// not ASCII), else as UTF-8 when they are valid UTF-8, else in the charset
// ICU's detector names, else windows-1252; bytes invalid in the charset are
// dropped. Refused (ok false): a file shorter than its header, a revision
// other than 0.x or 1.x, tables that overlap the header or each other or do
// not lie in the file (a count too large for the file among them), a string
// that does not lie in the file or lacks its terminating NUL. Gathering
// stops at maxText; at the deadline the messages read so far are kept. The
// hash table is not read.
CatalogText ReadBinaryCatalog(std::string_view bytes, const CatalogBounds &bounds);

// The translations of a `.po` catalog: each entry's msgstr (or msgstr[N],
// each a line) with C escapes decoded and continuation strings joined;
// obsolete entries ("#~") are skipped, fuzzy ones read (their translation is
// in the catalog's language as much as any other), the header entry left
// out. Lines that are not catalog syntax are skipped. Without any
// translation, the msgids as for a binary catalog. The charset: UTF-8 after
// a byte-order mark, else as for a binary catalog.
CatalogText ReadPoCatalog(std::string_view bytes, const CatalogBounds &bounds);

// A binary catalog when `bytes` open with its magic, else a `.po` catalog.
CatalogText ReadCatalog(std::string_view bytes, const CatalogBounds &bounds);

}  // namespace dxf

#endif
