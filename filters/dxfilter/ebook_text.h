// ebook_text.h - the text of e-books: Mobipocket and PalmDoc books (Palm
// databases of text records, uncompressed, PalmDoc LZ77 or HUFF/CDIC
// compressed) and FictionBook 2 documents (XML, plain or as the one member
// of a zip archive).
#ifndef GLOTTA_FILTERS_DXFILTER_EBOOK_TEXT_H
#define GLOTTA_FILTERS_DXFILTER_EBOOK_TEXT_H

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace dxf {

struct EbookBounds {
    size_t maxBytes = 16u << 20;     // decompressed book bytes (markup included)
    size_t maxText = 1u << 20;       // text bytes gathered from a FictionBook
    int64_t deadlineNs = INT64_MAX;  // DXM_CpuNs time to stop at
};

// ---- Mobipocket and PalmDoc ----------------------------------------------------------

// PalmDoc LZ77: appends the bytes of one compressed record to `out`, which
// stops growing at `cap`. False when a back reference reaches before the
// start of the record's output or a literal run past the end of `in` (what
// came before stays in `out`).
bool PalmDocExpand(std::string_view in, size_t cap, std::string &out);

// A record without the trailing entries that the book's extra data flags
// announce: one size-tagged entry for each flag bit above bit 0 (its size,
// which counts itself, in the record's last bytes), then, for bit 0, the
// multibyte overlap (the low two bits of the last byte, plus one). False
// when an entry is larger than what is left of the record.
bool TrimTrailingEntries(std::string_view &record, uint16_t flags);

// The HUFF/CDIC decoder: a code table (the HUFF record) and the phrase
// dictionary (the CDIC records). A phrase is either literal bytes or itself
// compressed with the same tables.
class HuffCdicDecoder {
  public:
    // False (with `error`) when a table or a phrase does not lie in its record.
    bool Load(std::string_view huff, std::span<const std::string_view> cdics, std::string &error);
    // Appends the decoded record to `out`, which stops growing at `cap`; false
    // when a code is not in the table or names no phrase, a phrase refers to
    // itself (directly or not), phrases nest more than 32 deep, one phrase
    // expands past 64 KiB or all expanded phrases past 32 MiB.
    bool Expand(std::string_view in, size_t cap, std::string &out);

  private:
    struct Code {
        uint8_t length = 0;
        bool terminal = false;
        uint64_t max = 0;
    };
    struct Phrase {
        std::string_view bytes;
        bool literal = false;
        int state = 0;  // compressed phrases: 0 not yet expanded, 1 being expanded, 2 done
        std::string expanded;
    };
    bool Unpack(std::string_view in, size_t cap, std::string &out, int depth);

    Code codes_[256];
    uint64_t min_[33] = {};
    uint64_t max_[33] = {};
    std::vector<Phrase> phrases_;
    size_t cached_ = 0;  // bytes of expanded phrases held
};

struct PalmBook {
    bool ok = false;
    std::string error;    // why the book was refused (ok false)
    bool html = false;    // Mobipocket markup; PalmDoc books hold plain text
    std::string charset;  // the declared text encoding; empty: the bytes decide
    std::string bytes;    // the decompressed text records, in order
};

// The text records of a Palm database book. Record 0 holds the PalmDoc
// header (compression, text length, record count and size; for Mobipocket
// books the encryption type) and, for `BOOKMOBI`, the MOBI header (text
// encoding 1252 or 65001, first non-book record, HUFF/CDIC records, extra
// data flags). Refused: a record list that does not lie in the file or
// whose offsets do not grow, a record 0 too short for its headers, an
// encrypted book, an unknown compression, text records past the list or the
// first non-book record, a record whose trailing entries or compressed data
// are malformed, HUFF/CDIC tables that do not lie in their records.
// Decompression stops at maxBytes or at the text length the header gives
// and, keeping what came before, at the deadline.
PalmBook ReadPalmBook(std::string_view file, const EbookBounds &bounds);

// ---- FictionBook ---------------------------------------------------------------------

struct FictionBookText {
    bool ok = false;
    std::string error;
    std::vector<std::string> lines;  // UTF-8, none empty
};

// The text of a FictionBook document (or of the one `.fb2` member of a zip
// archive, stored or deflated, inflated up to 64 MiB): the book title and
// the annotation of its title information, then every body (sections,
// titles, paragraphs, poems, epigraphs, citations, tables; the notes body
// too), a line per paragraph or verse. The rest of the description and the
// binary objects are left out. libxml2 reads it in the charset its
// declaration names, without network access, DTD loading or entities,
// reading on over damage. Refused: a zip archive that does not hold one
// readable `.fb2` member, a document whose root element is not FictionBook.
// Gathering stops at maxText; at the deadline the lines so far are kept.
FictionBookText ReadFictionBook(std::string_view bytes, const EbookBounds &bounds);

}  // namespace dxf

#endif
