// catalog_text.h - the text of a message catalog: GNU gettext binary (`.mo`)
// or source (`.po`), Qt binary (`.qm`) or Linguist source (`.ts`), XLIFF 1.2
// or 2.0: its translations, as UTF-8 lines for the text sink.
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
    bool sourceMessages = false;     // no translation at all: the source texts instead
                                     // (a translation that copies its source is none)
    std::vector<std::string> lines;  // UTF-8, none empty, in file order
};

// The charset the header entry of a catalog names in its "Content-Type:"
// line ("charset=X"); empty when it names none.
std::string CatalogHeaderCharset(std::string_view header);

// The translations (msgstr) of a binary catalog, in the order of its tables,
// each plural form a line of its own; the header entry (empty msgid) is left
// out, and so is a form that only copies its msgid (singular or plural), as
// translators leave messages not translated yet: it is in the source
// language. Without any other non-empty translation, the msgids (context dropped,
// singular and plural each a line): the catalog is a template. The messages
// are read in the charset of the header entry when ICU knows it (and it is
// not ASCII), else as UTF-8 when they are valid UTF-8, else in the charset
// ICU's detector names, else windows-1252; bytes invalid in the charset are
// dropped. Refused (ok false): a file shorter than its header, a revision
// other than 0.x or 1.x, tables that overlap the header or each other or do
// not lie in the file (a count too large for the file among them), a string
// that does not lie in the file or lacks its terminating NUL. Gathering
// stops at maxText; at the deadline the messages read so far are kept. The
// hash table is not read. Minor revision 1's system-dependent messages come
// after the others, each put together from its parts with its segments
// named as a `.po` file writes them ("%<PRIu64>", the flag "I" as it is);
// their tables, descriptors and parts must lie in the file too, segment
// indexes in the segment table, and the descriptors may not walk more part
// pairs together than the file has room for. The bytes they copy share one
// budget (the file's size and twice maxText); gathering stops when it is
// spent.
CatalogText ReadBinaryCatalog(std::string_view bytes, const CatalogBounds &bounds);

// The translations of a `.po` catalog: each entry's msgstr (or msgstr[N],
// each a line) with C escapes decoded and continuation strings joined;
// obsolete entries ("#~") are skipped, fuzzy ones read (their translation is
// in the catalog's language as much as any other), the header entry left
// out, as is a translation that copies its msgid. Lines that are not catalog
// syntax are skipped. Without any other translation, the msgids as for a
// binary catalog. The charset: UTF-8 after
// a byte-order mark, else as for a binary catalog.
CatalogText ReadPoCatalog(std::string_view bytes, const CatalogBounds &bounds);

// The translations of a Qt binary catalog (`.qm`): after the 16-byte magic,
// sections of a tag byte and a big-endian 32-bit length (hashes, messages,
// contexts, numerus rules, dependencies, language; others are skipped by
// their length). Of the messages section's messages (fields of a tag byte,
// each message ended by tag 1) only the translations (tag 3: a byte length,
// 0xFFFFFFFF for none, then UTF-16BE) are read, each plural form a line,
// except those that copy the message's source text (tag 6); source texts are
// gathered for a catalog without any other translation,
// comments and contexts skipped by their length, as are the 16-bit source
// texts and contexts of old catalogs (tags 2 and 4) and the 4 bytes of tag
// 5. Damage (a section or field that does not lie in the file, an odd
// translation length, a tag of unknown size) ends the reading: the catalog
// is refused when nothing was gathered by then, else the messages before it
// are kept. Lone surrogates are dropped. Gathering stops at maxText; at the
// deadline the messages read so far are kept.
CatalogText ReadQtCatalog(std::string_view bytes, const CatalogBounds &bounds);

// The translations of an XML catalog, read by libxml2 without network
// access, DTD loading or entities, reading on over damage, in the charset
// its declaration (or byte-order mark) names:
// - Qt Linguist (root `TS`): the text of each `<translation>` of a message,
//   each `<numerusform>` and `<lengthvariant>` in it a line of its own; those
//   of type "obsolete" or "vanished" are skipped ("unfinished" ones are read
//   when they have text); sources, comments and locations are left out.
// - XLIFF 1.2 and 2.0 (root `xliff`): the text of each `<target>`, with the
//   text of inline elements in it (`<g>`, `<pc>`, `<mrk>` …) but without the
//   native code of `<ph>`, `<bpt>`, `<ept>` and `<it>`; targets of
//   `<alt-trans>` proposals, sources and notes are left out.
// Without any translation, the sources (`<source>`) instead. Refused: a
// document whose root element is neither. Gathering stops at maxText; at the
// deadline the messages read so far are kept.
CatalogText ReadXmlCatalog(std::string_view bytes, const CatalogBounds &bounds);

// The catalog `bytes` hold, by their first bytes: a gettext or Qt binary
// catalog by its magic, an XML catalog when its first character (after a
// byte-order mark and white space, in UTF-8, UTF-16 or UTF-32) is '<', else
// a `.po` catalog.
CatalogText ReadCatalog(std::string_view bytes, const CatalogBounds &bounds);

}  // namespace dxf

#endif
