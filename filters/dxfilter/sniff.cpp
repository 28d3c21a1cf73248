// sniff.cpp - our own format rules, run before libmagic is ever consulted.
#include "filters/dxfilter/sniff.h"

#include <algorithm>
#include <array>
#include <bitset>
#include <cstring>
#include <string>

#include "doctype/dx_abi.h"
#include "filters/dxfilter/bytes.h"

namespace dxf {
namespace {

using Bytes = std::span<const unsigned char>;

bool starts_with(Bytes b, std::string_view sig, size_t at = 0) {
    if (b.size() < at + sig.size()) return false;
    return std::equal(sig.begin(), sig.end(), b.begin() + at,
                      [](char s, unsigned char c) { return static_cast<unsigned char>(s) == c; });
}

uint16_t le16(Bytes b, size_t at) {
    return dxf::le16(b.data() + at);
}
uint32_t le32(Bytes b, size_t at) {
    return dxf::le32(b.data() + at);
}

bool is_alpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool is_ws(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

// `prefix` is lower case.
bool istarts(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (ascii_lower(s[i]) != prefix[i]) return false;
    return true;
}

// Position of `c` in s[from, to), or npos.
size_t find_byte(std::string_view s, char c, size_t from, size_t to) {
    if (from >= to) return std::string_view::npos;
    const void *at = std::memchr(s.data() + from, c, to - from);
    return at ? static_cast<size_t>(static_cast<const char *>(at) - s.data())
              : std::string_view::npos;
}

// First position of the lower-case `needle` in `s`, ignoring the case of
// ASCII letters. Candidates are found by their first byte, since that is
// where nearly every position fails.
size_t ifind(std::string_view s, std::string_view needle) {
    if (needle.size() > s.size()) return std::string_view::npos;
    if (needle.empty()) return 0;
    const size_t end = s.size() - needle.size() + 1;  // candidate starts
    const char first = needle[0];
    if (!is_alpha(first)) {
        for (size_t i = find_byte(s, first, 0, end); i != std::string_view::npos;
             i = find_byte(s, first, i + 1, end)) {
            if (istarts(s.substr(i), needle)) return i;
        }
        return std::string_view::npos;
    }
    const char upper = static_cast<char>(first - 'a' + 'A');
    for (size_t i = 0; i < end; ++i) {
        if ((s[i] == first || s[i] == upper) && istarts(s.substr(i), needle)) return i;
    }
    return std::string_view::npos;
}

// A WordPerfect 5.x or 6+ document: the prefix of every WordPerfect
// Corporation file (FF 'W' 'P' 'C', the offset of the document area), then
// the product, 1 for WordPerfect, and the file type, 10 for a document (its
// graphics, macros and printer files share the prefix).
bool is_wordperfect_document(Bytes head) {
    return starts_with(head, "\xFFWPC") && head.size() >= 10 && head[8] == 1 && head[9] == 10;
}

// A Works word processor document outside a compound file (Works for DOS,
// Works 3 for Windows): the 256-byte header of a Works 3 or 4 document's
// `MN0` stream, the version byte 1 (DOS) or 4 (Works 3 for Windows), then
// 0xFE; at 0x1A the text's limits as libwps reads them: where the header
// begins (within the file), where it and the footer end (from 0x100, where
// the text starts, to the file's end, or all ones for none), and the main
// text's end (from 0x100 to the file's end).
bool is_works_dos_document(Bytes head, uint64_t size) {
    if (size < 0x100 || head.size() < 0x2A || (head[0] != 1 && head[0] != 4) || head[1] != 0xFE)
        return false;
    const auto within = [size](uint32_t at) { return at >= 0x100 && at <= size; };
    return le32(head, 0x1A) <= size &&
           (within(le32(head, 0x1E)) || le32(head, 0x1E) == UINT32_MAX) &&
           (within(le32(head, 0x22)) || le32(head, 0x22) == UINT32_MAX) && within(le32(head, 0x26));
}

// A Microsoft Write or Word for DOS document: a file of 128-byte pages
// whose first page is the header the two programs share. Its fixed words:
// the identification 0xBE31 (0xBE32 for a Write file with OLE objects), a
// zero word, the tool word 0xAB00 and four reserved zero words; then the
// text's end (fcMac, from 128, where the text begins, to the file's end)
// and the page numbers of the tables after the text: the paragraph
// properties (after the character property pages, which begin on the page
// after the text, and within the file), then five more, each 0 or between
// the paragraph pages and the page count. Write keeps the page count at
// byte 96; Word for DOS leaves that word 0 and keeps it at byte 106. The
// page count reaches no further than the file.
bool is_write_document(Bytes head, uint64_t size) {
    constexpr size_t kPage = 128;
    if (head.size() < kPage || size < 3 * kPage ||
        (le16(head, 0) != 0xBE31 && le16(head, 0) != 0xBE32) || le16(head, 2) != 0 ||
        le16(head, 4) != 0xAB00 || le32(head, 6) != 0 || le32(head, 10) != 0)
        return false;
    const uint32_t textEnd = le32(head, 14);
    if (textEnd < kPage || textEnd > size) return false;
    const uint32_t pages = le16(head, 96) != 0 ? le16(head, 96) : le16(head, 106);
    const uint32_t paragraphs = le16(head, 18);
    if (pages == 0 || pages > (size + kPage - 1) / kPage ||
        paragraphs < (textEnd + kPage - 1) / kPage + 1 || paragraphs >= pages ||
        (paragraphs + 1) * kPage > size)
        return false;
    for (size_t at = 20; at < 30; at += 2) {
        const uint32_t page = le16(head, at);
        if (page != 0 && (page < paragraphs || page > pages)) return false;
    }
    return true;
}

// A Word for Windows 1.x or 2.0 document: no compound file, the file
// information block opens the file: the identifier 0xA59B or 0xA59C (Word
// 1.x) or 0xA5DB (Word 2.0) and a version below Word 6's 101; the text's
// start (fcMin, past the block's 0x124 bytes) and end (fcMac) in order and
// within the file, and the bytes in use (cbMac) not ending before the
// text. A document saved whole holds its five stories (main text,
// footnotes, headers, macros, comments) between fcMin and fcMac; a
// fast-saved one has a piece table within the file.
bool is_word2_document(Bytes head, uint64_t size) {
    constexpr size_t kFibEnd = 0x124, kFcClx = 0x11E;
    if (head.size() < kFibEnd) return false;
    const uint16_t ident = le16(head, 0);
    if ((ident != 0xA59B && ident != 0xA59C && ident != 0xA5DB) || le16(head, 2) >= 101)
        return false;
    const uint32_t fcMin = le32(head, 0x18), fcMac = le32(head, 0x1C);
    if (fcMin < kFibEnd || fcMin > fcMac || fcMac > size || le32(head, 0x20) < fcMac) return false;
    if (le16(head, 0x0A) & 0x0004) {
        const uint32_t fcClx = le32(head, kFcClx), lcbClx = le16(head, kFcClx + 4);
        return lcbClx > 0 && fcClx >= kFibEnd && uint64_t{fcClx} + lcbClx <= size;
    }
    uint64_t characters = 0;
    for (size_t at = 0x34; at < 0x48; at += 4) characters += le32(head, at);
    return characters <= fcMac - fcMin;
}

// An Excel 2.x, 3.0 or 4.0 file: no compound file, the file is a run of
// records (a 16-bit type, a 16-bit length, the body) that opens with the BOF
// record of its version, 0x0009 (Excel 2.x), 0x0209 (3.0) or 0x0409 (4.0):
// at least 4 bytes (Excel 2.x) or 6 and no longer than Excel 97's 16, its
// second word the kind of sheet, a worksheet (0x0010), chart (0x0020),
// macro sheet (0x0040) or, in Excel 4.0, a workbook's globals (0x0100).
// Another record (its EOF at least) follows, and every record whose header
// lies in the head ends within the file.
bool is_excel4_sheet(Bytes head, uint64_t size) {
    if (head.size() < 8 || head[0] != 0x09 || (head[1] != 0 && head[1] != 2 && head[1] != 4))
        return false;
    const bool excel2 = head[1] == 0, excel4 = head[1] == 4;
    const uint16_t length = le16(head, 2), kind = le16(head, 6);
    if (length < (excel2 ? 4 : 6) || length > 16 || size < 4u + length + 4) return false;
    if (kind != 0x0010 && kind != 0x0020 && kind != 0x0040 && !(excel4 && kind == 0x0100))
        return false;
    uint64_t at = 4u + length;
    while (at + 4 <= head.size()) {
        at += 4u + le16(head, static_cast<size_t>(at) + 2);
        if (at > size) return false;
    }
    return true;
}

// A Pocket Word document: the 14-byte header (`{\pwi`, 0x15, two zero bytes,
// 1 and 1, the version word 6 or 7, a word), then zones, each a type, an
// identifier and a length in 4-byte units (a sound's data, type 85, counts
// bytes and keeps their high word in the identifier). The file holds at
// least the header and a font zone, and each zone whose head lies in the
// head ends within the file.
bool is_pocket_word_document(Bytes head, uint64_t size) {
    constexpr size_t kHeader = 14;
    constexpr uint64_t kShortest = 0x74;
    if (size < kShortest || head.size() < kHeader + 6 ||
        !starts_with(head, std::string_view("{\\pwi\x15\0\0\x01\x01", 10)) ||
        (le16(head, 10) != 6 && le16(head, 10) != 7))
        return false;
    for (uint64_t at = kHeader; at + 6 <= head.size() && at < size;) {
        const uint16_t type = le16(head, at), id = le16(head, at + 2), length = le16(head, at + 4);
        const uint64_t end =
            at + 6 + (type == 85 ? (uint64_t{id} << 16) + length : uint64_t{length} * 4);
        if (end > size) return false;
        at = end;
    }
    return true;
}

// A MacWrite 4.5 or 5.0 document (its data fork): the version word 6, the
// paragraph counts of the main text, header and footer (the main text has
// one at least), the first-page flag 0 or 0xFF and the free list past the
// fixed part; then, after the 120-byte print record, the windows of the
// footer, header and main text (46 bytes each), each with a paragraph table
// of 16 bytes per paragraph that lies past the fixed part and within the
// file, and the line heights there too.
bool is_macwrite_document(Bytes head, uint64_t size) {
    constexpr size_t kWindows = 0xA0, kWindowBytes = 46, kFixed = kWindows + 3 * kWindowBytes;
    if (size < kFixed || head.size() < kFixed || be16(head.data()) != 6 ||
        (head[8] != 0 && head[8] != 0xFF) || be32(head.data() + 18) < kFixed)
        return false;
    const auto within = [size](uint32_t at, uint32_t length) {
        return at >= kFixed && at + uint64_t{length} <= size;
    };
    for (int window = 0; window < 3; ++window) {
        // The counts are main, header, footer; the windows footer, header,
        // main.
        const uint16_t paragraphs = be16(head.data() + 2 + 2 * (2 - window));
        const unsigned char *w = head.data() + kWindows + window * kWindowBytes;
        if (paragraphs >= 0x8000 || (window == 2 && paragraphs == 0)) return false;
        if (paragraphs == 0) continue;
        if (be16(w + 16) != 16u * paragraphs || !within(be32(w + 12), be16(w + 16)) ||
            (be16(w + 22) != 0 && !within(be32(w + 18), be16(w + 22))))
            return false;
    }
    return true;
}

// A MacWrite 1 to 2.2 document (its data fork): the version word 3, the
// offset of the paragraphs' data, the paragraph counts of the main text,
// header and footer (the main text has one at least); the data starts
// right after the fixed part (a 20-byte header, the 120-byte print record,
// three windows of 34 bytes) and the paragraph table (8 bytes per
// paragraph), within the file.
bool is_macwrite_2_document(Bytes head, uint64_t size) {
    constexpr uint32_t kFixed = 20 + 120 + 3 * 34;
    if (head.size() < 20 || be16(head.data()) != 3) return false;
    uint32_t paragraphs = 0;
    for (size_t at = 4; at < 10; at += 2) {
        const uint16_t count = be16(head.data() + at);
        if (count >= 0x8000) return false;
        paragraphs += count;
    }
    const uint32_t data = be16(head.data() + 2);
    return be16(head.data() + 4) != 0 && data == kFixed + 8 * paragraphs && data <= size;
}

// A QuarkXPress 3.1 to 6 document: two zero bytes, the byte order (`MM`
// of a Mac, `II` of a PC) twice, `XPR` and a language byte, then a version
// word in that byte order that QuarkXPress 3.1 (0x39 on a Mac, 0x3E), 3.3
// (0x3F), 4 (0x41), 5 (0x42) or 6 (0x43) writes.
bool is_quarkxpress_document(Bytes head) {
    if (head.size() < 10 || head[0] != 0 || head[1] != 0 || head[2] != head[3] ||
        (head[2] != 'M' && head[2] != 'I') || !starts_with(head, "XPR", 4))
        return false;
    const uint16_t version = head[2] == 'M' ? be16(head.data() + 8) : le16(head, 8);
    return version == 0x39 || version == 0x3E || version == 0x3F ||
           (version >= 0x41 && version <= 0x43);
}

// The `content.zmf` stream of a Zoner Draw 4 or 5 drawing, alone (what
// its zip package holds): the signature 0x12345678 after two words, and the
// offset of the content (past the 40 bytes of the header, within the file).
bool is_zoner_draw_content(Bytes head, uint64_t size) {
    if (head.size() < 40 || le32(head, 8) != 0x12345678u) return false;
    const uint32_t content = le32(head, 32);
    return content >= 40 && content <= size;
}

// The beginning-of-file records of the spreadsheets and databases libwps
// reads: a file of records (a type, a length, little-endian) whose first
// record's version word names the program. Works for Windows and its
// databases change the first record's type bytes to tell themselves.
struct SheetStart {
    std::string_view bytes;    // the record's type and length
    uint16_t lowest, highest;  // its version words
};
constexpr SheetStart kSheetStarts[] = {
    {{"\x00\x00\x02\x00", 4}, 0x0404, 0x0406},  // Lotus 1-2-3 1A and 2, Symphony, Works for DOS
    {{"\x00\x00\x02\x00", 4}, 0x5120, 0x5121},  // Quattro Pro for DOS
    {{"\x00\x00\x02\x00", 4}, 0x1001, 0x1002},  // Quattro Pro for Windows 1 and 5
    {{"\x00\x00\x02\x00", 4}, 0x1007, 0x1007},  // Quattro Pro for Windows 6
    {{"\xFF\x00\x02\x00", 4}, 0x0404, 0x0404},  // Works for Windows 3 and 4
    {{"\x20\x54\x02\x00", 4}, 0x0000, 0x0000},  // a Works for DOS database
    {{"\xFF\x54\x02\x00", 4}, 0x0000, 0x0000},  // a Works for Windows database
    {{"\x00\x00\x1A\x00", 4}, 0x1000, 0x1005},  // Lotus 1-2-3 3 and later
};

// A Lotus 1-2-3, Symphony, Quattro Pro or Works spreadsheet or database:
// one of the first records above, at least 12 bytes in all (less holds no
// cell), and, when the head holds it, a second record that fits in the file.
bool is_works_sheet(Bytes head, uint64_t size) {
    if (head.size() < 8 || size < 12) return false;
    const auto known = std::ranges::any_of(kSheetStarts, [&](const SheetStart &start) {
        const uint16_t version = le16(head, 4);
        return starts_with(head, start.bytes) && version >= start.lowest &&
               version <= start.highest;
    });
    if (!known) return false;
    const size_t next = 4 + size_t{le16(head, 2)};
    return head.size() < next + 4 || next + 4 + uint64_t{le16(head, next + 2)} <= size;
}

// A DjVu document: the IFF container's "AT&T" and `FORM`, its length, then
// the form type: `DJVU` for a single page, `DJVM` for a multi-page document
// (bundled, or the index of pages kept in files of their own). Shared
// dictionaries and thumbnails (`DJVI`, `THUM`) are no documents.
bool is_djvu_document(Bytes head) {
    return starts_with(head, "AT&TFORM") &&
           (starts_with(head, "DJVU", 12) || starts_with(head, "DJVM", 12));
}

// A compiled HTML Help file: `ITSF`, the version (2 or 3, little-endian) and
// the length of the header that version has (0x58 or 0x60 bytes). Other
// files of the same container family (`.lit` books, `.its` storages) have
// other versions.
bool is_chm_file(Bytes head) {
    if (!starts_with(head, "ITSF") || head.size() < 12) return false;
    const uint32_t version = le32(head, 4), length = le32(head, 8);
    return (version == 2 && length == 0x58) || (version == 3 && length == 0x60);
}

// A TNEF stream (`winmail.dat`): its signature, a 2-byte key, then the
// level byte of its first attribute (1 the message, 2 an attachment).
bool is_tnef_stream(Bytes head, uint64_t size) {
    if (!starts_with(head, "\x78\x9F\x3E\x22") || size < 6) return false;
    return head.size() < 7 || head[6] == 1 || head[6] == 2;
}

constexpr std::string_view kPostScriptMagic = "%!PS";

bool is_dos_eps(Bytes head) {
    return starts_with(head, "\xC5\xD0\xD3\xC6") && head.size() >= 12;
}

// The section the header of a DOS EPS file (is_dos_eps) names, whether or
// not it starts with the PostScript magic: none when it cannot lie there.
std::optional<PostScriptSection> dos_eps_section(Bytes head, uint64_t size) {
    // The DOS EPS header is 30 bytes: the section follows it or lies
    // further on; a TIFF or WMF preview may lie anywhere.
    const uint64_t offset = le32(head, 4), length = le32(head, 8);
    if (offset < 30 || length < kPostScriptMagic.size() || offset > size || length > size - offset)
        return std::nullopt;
    return PostScriptSection{offset, length};
}

}  // namespace

std::optional<PostScriptSection> PostScriptSectionOf(Bytes head, uint64_t size) {
    if (is_dos_eps(head)) {
        const auto section = dos_eps_section(head, size);
        if (!section || !starts_with(head, kPostScriptMagic, section->offset)) return std::nullopt;
        return section;
    }
    size_t at = 0;
    if (starts_with(head, "\xEF\xBB\xBF")) at = 3;
    if (starts_with(head, "\x04", at)) ++at;
    if (!starts_with(head, kPostScriptMagic, at)) return std::nullopt;
    return PostScriptSection{at, size - at};
}

namespace {

// Signatures that no text can start with.
struct Signature {
    std::string_view bytes;
    size_t offset;
    int format;
};
constexpr std::array kBinarySignatures = {
    Signature{"\x7F"
              "ELF",
              0, DX_FMT_EXECUTABLE},
    Signature{"\x89PNG\r\n\x1A\n", 0, DX_FMT_IMAGE},
    Signature{"\xFF\xD8\xFF", 0, DX_FMT_IMAGE},
    Signature{"GIF87a", 0, DX_FMT_IMAGE},
    Signature{"GIF89a", 0, DX_FMT_IMAGE},
    Signature{std::string_view("II*\0", 4), 0, DX_FMT_IMAGE},
    Signature{std::string_view("MM\0*", 4), 0, DX_FMT_IMAGE},
    // gzip with another method than deflate (CodecOf takes the rest).
    Signature{"\x1F\x8B", 0, DX_FMT_ARCHIVE},
    Signature{"7z\xBC\xAF\x27\x1C", 0, DX_FMT_ARCHIVE},
    Signature{"Rar!\x1A\x07", 0, DX_FMT_ARCHIVE},
    Signature{"ustar", 257, DX_FMT_ARCHIVE},
};

// HTML element names whose tags make a text HTML even without <html>.
constexpr std::array<std::string_view, 64> kHtmlTags = {
    "a",     "abbr",    "address", "article", "aside",  "b",      "blockquote", "body",
    "br",    "caption", "center",  "cite",    "code",   "dd",     "del",        "div",
    "dl",    "dt",      "em",      "figure",  "font",   "footer", "form",       "h1",
    "h2",    "h3",      "h4",      "h5",      "h6",     "head",   "header",     "hr",
    "html",  "i",       "iframe",  "img",     "input",  "ins",    "kbd",        "li",
    "link",  "main",    "meta",    "nav",     "ol",     "option", "p",          "pre",
    "q",     "s",       "script",  "section", "select", "small",  "span",       "strong",
    "style", "sub",     "sup",     "table",   "td",     "th",     "title",      "tr",
};

bool is_html_tag(std::string_view name) {
    // No name of the table is longer than "blockquote".
    char buffer[16];
    if (name.empty() || name.size() > sizeof buffer) return false;
    for (size_t i = 0; i < name.size(); ++i) buffer[i] = ascii_lower(name[i]);
    const std::string_view low(buffer, name.size());
    return std::find(kHtmlTags.begin(), kHtmlTags.end(), low) != kHtmlTags.end() || low == "ul" ||
           low == "u" || low == "tt" || low == "tbody" || low == "thead" || low == "nobr";
}

// Reads the element name at s[i] (just after '<' or '</'); empty when none.
std::string_view tag_name(std::string_view s, size_t i) {
    size_t j = i;
    while (j < s.size() && (is_alpha(s[j]) || (j > i && s[j] >= '0' && s[j] <= '9'))) ++j;
    if (j == i || j >= s.size()) return {};
    char end = s[j];
    if (!(is_ws(end) || end == '>' || end == '/')) return {};
    return s.substr(i, j - i);
}

// Whether `s` holds at least `wanted` tags of known HTML elements, opening
// or closing (a '<' counts when two more bytes follow it).
bool has_html_tags(std::string_view s, int wanted) {
    if (s.size() < 3) return wanted <= 0;
    int known = 0;
    const size_t end = s.size() - 2;
    for (size_t i = find_byte(s, '<', 0, end); i != std::string_view::npos;
         i = find_byte(s, '<', i + 1, end)) {
        size_t at = s[i + 1] == '/' ? i + 2 : i + 1;
        std::string_view name = tag_name(s, at);
        if (!name.empty() && is_html_tag(name) && ++known >= wanted) return true;
    }
    return known >= wanted;
}

// Whether "<html" or "<!doctype html" occurs anywhere in `s`, ignoring case.
bool has_html_opening(std::string_view s) {
    for (size_t i = find_byte(s, '<', 0, s.size()); i != std::string_view::npos;
         i = find_byte(s, '<', i + 1, s.size())) {
        std::string_view rest = s.substr(i + 1);
        if (istarts(rest, "html") || istarts(rest, "!doctype html")) return true;
    }
    return false;
}

// Skips white space and comments from `i`; npos when nothing else follows.
size_t skip_ws_and_comments(std::string_view s, size_t i) {
    for (;;) {
        while (i < s.size() && is_ws(s[i])) ++i;
        if (i >= s.size()) return std::string_view::npos;
        if (s.substr(i, 4) != "<!--") return i;
        size_t end = s.find("-->", i + 4);
        if (end == std::string_view::npos) return std::string_view::npos;
        i = end + 3;
    }
}

// Markup type of a text given as (mostly) ASCII bytes; DX_FMT_TEXT for none.
int markup_format(std::string_view s) {
    if (has_html_opening(s)) return DX_FMT_HTML;
    size_t i = skip_ws_and_comments(s, 0);
    if (i == std::string_view::npos) {
        // Nothing but comments (or nothing at all after them).
        return s.find("<!--") != std::string_view::npos ? DX_FMT_HTML : DX_FMT_TEXT;
    }
    std::string_view rest = s.substr(i);
    if (istarts(rest, "<?xml")) return DX_FMT_XML;
    if (istarts(rest, "<!doctype")) {
        if (ifind(rest.substr(0, 512), "xhtml") != std::string_view::npos) return DX_FMT_HTML;
        return ifind(s, "xmlns") != std::string_view::npos ? DX_FMT_XML : DX_FMT_SGML;
    }
    if (rest.size() > 1 && rest[0] == '<' && is_alpha(rest[1])) {
        size_t j = 1;
        while (j < rest.size() &&
               (is_alpha(rest[j]) || (rest[j] >= '0' && rest[j] <= '9') || rest[j] == ':' ||
                rest[j] == '-' || rest[j] == '_' || rest[j] == '.'))
            ++j;
        std::string_view root = rest.substr(1, j - 1);
        if (is_html_tag(root) || has_html_tags(rest, 3)) return DX_FMT_HTML;
        if (root.find(':') != std::string_view::npos ||
            ifind(rest, "xmlns") != std::string_view::npos ||
            rest.find("/>") != std::string_view::npos)
            return DX_FMT_XML;
        return DX_FMT_SGML;
    }
    // Text that only carries a few tags is still HTML when the tags are HTML's.
    if (has_html_tags(s, 2)) return DX_FMT_HTML;
    return DX_FMT_TEXT;
}

// An ASCII view of UTF-16 or UTF-32 text: non-ASCII characters become 'x'.
std::string narrow_units(Bytes b, size_t width, bool bigEndian) {
    std::string out;
    out.reserve(b.size() / width);
    for (size_t i = 0; i + width <= b.size(); i += width) {
        uint32_t v = 0;
        for (size_t k = 0; k < width; ++k) {
            size_t at = bigEndian ? i + k : i + width - 1 - k;
            v = (v << 8) | b[at];
        }
        out.push_back(v < 0x80 ? static_cast<char>(v) : 'x');
    }
    return out;
}

bool is_text_unit(uint32_t v) {
    if (v < 0x20) return v == '\t' || v == '\n' || v == '\r' || v == '\f' || v == 0x1B;
    return v != 0x7F && v != 0xFFFE && v != 0xFFFF && v <= 0x10FFFF;
}

// UTF-32 without mark: every unit a plausible character. 0 when not.
int utf32_order(Bytes b) {
    size_t n = b.size() / 4 * 4;
    if (n < 8) return 0;
    for (int big = 0; big <= 1; ++big) {
        bool ok = true;
        for (size_t i = 0; i < n && ok; i += 4) {
            uint32_t v = big ? (uint32_t{b[i]} << 24 | uint32_t{b[i + 1]} << 16 |
                                uint32_t{b[i + 2]} << 8 | b[i + 3])
                             : le32(b, i);
            ok = v != 0 && is_text_unit(v) && !(v >= 0xD800 && v <= 0xDFFF);
        }
        if (ok) return big ? 2 : 1;
    }
    return 0;
}

// Blocks that running text in some script is made of: Latin, Greek,
// Cyrillic, Armenian, Hebrew, Arabic, Indic, Thai and Lao, Georgian,
// Hangul Jamo, general punctuation, CJK punctuation and kana, CJK, Hangul,
// and the half- and full-width forms.
bool in_text_block(uint32_t v) {
    return v < 0x0800 || (v >= 0x0900 && v < 0x0F00) || (v >= 0x10A0 && v < 0x1200) ||
           (v >= 0x1E00 && v < 0x2070) || (v >= 0x3000 && v < 0x3100) ||
           (v >= 0x3400 && v < 0xA000) || (v >= 0xAC00 && v < 0xD7B0) ||
           (v >= 0xFF00 && v < 0xFFF0);
}

// Share of units, in percent, that decode to text in the given byte order;
// -1 when a unit cannot appear in text at all too often.
int utf16_text_share(Bytes b, size_t n, bool big) {
    size_t bad = 0, inBlock = 0, units = n / 2;
    bool wantLow = false;
    for (size_t i = 0; i < n; i += 2) {
        uint32_t v = big ? (uint32_t{b[i]} << 8 | b[i + 1]) : le16(b, i);
        bool high = v >= 0xD800 && v <= 0xDBFF, low = v >= 0xDC00 && v <= 0xDFFF;
        if (wantLow != low && !(i + 2 >= n && high)) ++bad;
        wantLow = high;
        if (high || low)
            ++inBlock;
        else if (v == 0 || !is_text_unit(v))
            ++bad;
        else if (in_text_block(v))
            ++inBlock;
    }
    if (bad * 100 > units) return -1;
    // Text uses many different characters; a repeated pattern is not text.
    std::bitset<65536> seen;
    size_t distinct = 0;
    for (size_t i = 0; i < n && distinct < 16; i += 2) {
        uint32_t v = big ? (uint32_t{b[i]} << 8 | b[i + 1]) : le16(b, i);
        if (!seen[v]) seen[v] = true, ++distinct;
    }
    if (distinct < 16 && distinct * 4 < units) return -1;
    return static_cast<int>(inBlock * 100 / units);
}

// UTF-16 without mark: the units decode to text, nearly all of them in the
// blocks of real scripts (which uniformly random units are not: about half
// of all values lie outside them). Zero bytes, when there are any, show the
// byte order. 0 when not UTF-16, 1 little-endian, 2 big-endian.
int utf16_order(Bytes b) {
    size_t n = b.size() / 2 * 2;
    if (n < 4) return 0;
    size_t zeroEven = 0, zeroOdd = 0;
    for (size_t i = 0; i < n; i += 2) {
        zeroEven += b[i] == 0;
        zeroOdd += b[i + 1] == 0;
    }
    int little = utf16_text_share(b, n, false), big = utf16_text_share(b, n, true);
    constexpr int kShare = 95;
    if (zeroOdd > zeroEven && little >= kShare) return 1;
    if (zeroEven > zeroOdd && big >= kShare) return 2;
    if (little >= kShare && little >= big) return 1;
    if (big >= kShare) return 2;
    return 0;
}

// 8-bit or multibyte text: control bytes other than the usual layout ones
// (and ESC, SO and SI of ISO-2022, SUB of old DOS files) are rare; zero bytes
// count as stray control bytes. `kInfo`: a GNU Info file's node separators
// (0x1F) and the 0x7F of its tag table are layout too.
template <bool kInfo = false>
bool is_byte_text(Bytes b) {
    // Comparisons only, no branch and no table, so that the loop runs on
    // vectors: the layout bytes are 0x09-0x0F, 0x1A and 0x1B. The count is
    // kept in one byte per lane for runs of up to 255 bytes (a wider counter
    // would have the vectors widen every lane).
    size_t stray = 0;
    for (size_t at = 0; at < b.size();) {
        const size_t end = at + std::min<size_t>(255, b.size() - at);
        uint8_t run = 0;
        for (; at < end; ++at) {
            const unsigned char c = b[at];
            const bool control = c < 0x20 || c == 0x7F;
            bool layout = (c >= 0x09 && c <= 0x0F) || c == 0x1A || c == 0x1B;
            if constexpr (kInfo) layout = layout || c == 0x1F || c == 0x7F;
            run += static_cast<uint8_t>(control & !layout);
        }
        stray += run;
    }
    return stray * 50 <= b.size() || stray <= 2;
}

std::string_view as_chars(Bytes b) {
    return std::string_view(reinterpret_cast<const char *>(b.data()), b.size());
}

// A GNU Info file: its first line names the program that made it. The
// index file of a split manual is nearly all tag table, a 0x7F in each line.
bool is_info_file(Bytes b) {
    constexpr std::string_view kMakers[] = {", produced by makeinfo", ", produced by Makeinfo",
                                            ", produced by texi2any"};
    const std::string_view s = as_chars(b);
    const std::string_view first = s.substr(0, std::min(s.find('\n'), size_t{256}));
    return first.starts_with("This is ") &&
           std::ranges::any_of(kMakers, [&](std::string_view maker) {
               return first.find(maker) != std::string_view::npos;
           });
}

// An ODF, EPUB or HWPX package stores its `mimetype` entry first and
// uncompressed, so the head alone often settles it.
int package_from_first_entry(Bytes head) {
    if (head.size() < 30) return DX_FMT_UNKNOWN;
    uint16_t method = le16(head, 8);
    uint32_t stored = le32(head, 18);
    uint16_t nameLen = le16(head, 26), extraLen = le16(head, 28);
    if (method != 0 || nameLen != 8 || !starts_with(head, "mimetype", 30)) return DX_FMT_UNKNOWN;
    size_t at = 30u + nameLen + extraLen;
    if (stored > 200 || at + stored > head.size()) return DX_FMT_UNKNOWN;
    int format = FormatFromPackageMime(as_chars(head.subspan(at, stored)));
    return format == DX_FMT_ZIP ? DX_FMT_UNKNOWN : format;
}

struct FormOfText {
    bool isText;
    TextForm form;
    size_t markBytes;  // of the byte-order mark
};

// Whether the head is text, and in which form: byte-order marks; UTF-32 and
// UTF-16 units where zero bytes suggest them; bytes with few stray control
// bytes; UTF-16 of scripts without ASCII, which need not hold a zero byte.
FormOfText form_of_text(Bytes head) {
    if (starts_with(head, "\xEF\xBB\xBF")) return {true, TextForm::kUtf8Bom, 3};
    if (starts_with(head, std::string_view("\xFF\xFE\0\0", 4)))
        return {true, TextForm::kUtf32Le, 4};
    if (starts_with(head, std::string_view("\0\0\xFE\xFF", 4)))
        return {true, TextForm::kUtf32Be, 4};
    if (starts_with(head, "\xFF\xFE")) return {true, TextForm::kUtf16Le, 2};
    if (starts_with(head, "\xFE\xFF")) return {true, TextForm::kUtf16Be, 2};
    if (as_chars(head).find('\0') != std::string_view::npos) {
        if (int order = utf32_order(head))
            return {true, order == 2 ? TextForm::kUtf32Be : TextForm::kUtf32Le, 0};
        if (int order = utf16_order(head))
            return {true, order == 2 ? TextForm::kUtf16Be : TextForm::kUtf16Le, 0};
    }
    if (is_byte_text(head) || (is_info_file(head) && is_byte_text<true>(head)))
        return {true, TextForm::kBytes, 0};
    if (int order = utf16_order(head))
        return {true, order == 2 ? TextForm::kUtf16Be : TextForm::kUtf16Le, 0};
    return {false, TextForm::kBytes, 0};
}

}  // namespace

namespace {

// A header of the legacy `.lzma` format: a properties byte, a dictionary size
// and the size of the data (all ones: unknown), then the range coder's first
// byte, always 0. The format has no magic, so each field must be one that
// LZMA tools write, as xz-utils check when they take a file for `.lzma`:
// lc + lp at most 4, a dictionary of 2^n or 2^n + 2^(n-1) bytes from 4 KiB
// to 1.5 GiB, a size below 2^38 or unknown. Random bytes pass about once in
// 10^16 times; text never does (the dictionary size holds zero bytes).
bool is_lzma_header(Bytes head) {
    if (head.size() < 14 || head[13] != 0) return false;
    const unsigned props = head[0];
    if (props >= 9 * 5 * 5) return false;
    const unsigned lc = props % 9, lp = props / 9 % 5;
    if (lc + lp > 4) return false;
    const uint32_t dict = le32(head, 1);
    bool dictOk = false;
    for (int n = 12; n <= 30 && !dictOk; ++n)
        dictOk = dict == (uint32_t{1} << n) || dict == (uint32_t{3} << (n - 1));
    if (!dictOk) return false;
    const uint64_t size = le32(head, 5) | (uint64_t{le32(head, 9)} << 32);
    return size == UINT64_MAX || size < (uint64_t{1} << 38);
}

// A compress (`.Z`) header: the magic, a flag byte (block mode 0x80, 9 to 16
// bits, no reserved bit 0x60), and a first 9-bit code that is a byte, as
// the first code of every stream is (an empty stream has none).
bool is_compress_header(Bytes head) {
    if (!starts_with(head, "\x1F\x9D") || head.size() < 3) return false;
    const unsigned flags = head[2], bits = flags & 0x1F;
    if ((flags & 0x60) != 0 || bits < 9 || bits > 16) return false;
    return head.size() < 5 || ((head[3] | (head[4] << 8)) & 0x1FF) < 256;
}

// An lzip member header: the magic, version 1 and a dictionary size byte
// (2^n minus n/16ths of it, n from 12 to 29) that makes 4 KiB to 512 MiB.
bool is_lzip_header(Bytes head) {
    if (!starts_with(head, "LZIP\x01") || head.size() < 6) return false;
    const unsigned log = head[5] & 0x1F, sixteenths = head[5] >> 5;
    if (log < 12 || log > 29) return false;
    const uint32_t base = uint32_t{1} << log;
    return base - base / 16 * sixteenths >= 4096;
}

// LZ4: a frame of version 1 (the top bits of its flag byte 01), a skippable
// frame (magic 0x184D2A50 to 0x184D2A5F) or a legacy frame.
bool is_lz4_header(Bytes head) {
    if (starts_with(head, "\x04\x22\x4D\x18")) return head.size() < 5 || (head[4] & 0xC0) == 0x40;
    if (starts_with(head, "\x02\x21\x4C\x18")) return true;
    return head.size() >= 4 && (head[0] & 0xF0) == 0x50 && starts_with(head, "\x2A\x4D\x18", 1);
}

}  // namespace

std::optional<Codec> CodecOf(Bytes head) {
    if (starts_with(head, "\x1F\x8B\x08")) return Codec::kGzip;
    // bzip2: the block size, then a block's magic or, in a stream that holds
    // nothing, the end-of-stream magic.
    if (starts_with(head, "BZh") && head.size() > 3 && head[3] >= '1' && head[3] <= '9' &&
        (starts_with(head, "1AY&SY", 4) || starts_with(head, "\x17\x72\x45\x38\x50\x90", 4)))
        return Codec::kBzip2;
    if (starts_with(head, std::string_view("\xFD"
                                           "7zXZ\0",
                                           6)))
        return Codec::kXz;
    if (starts_with(head, "\x28\xB5\x2F\xFD")) return Codec::kZstd;
    if (is_lzip_header(head)) return Codec::kLzip;
    if (is_lz4_header(head)) return Codec::kLz4;
    if (is_compress_header(head)) return Codec::kCompress;
    if (is_lzma_header(head)) return Codec::kLzma;
    return std::nullopt;
}

namespace {

// A package kind: the media type after its family's prefix, and its format.
struct PackageKind {
    std::string_view name;
    int format;
};

// The OpenDocument kinds the filter reads, after
// "application/vnd.oasis.opendocument.".
constexpr PackageKind kOpenDocumentKinds[] = {
    {"text", DX_FMT_ODT},
    {"text-template", DX_FMT_ODT},
    {"text-master", DX_FMT_ODT},
    {"text-master-template", DX_FMT_ODT},
    {"text-web", DX_FMT_ODT},
    {"spreadsheet", DX_FMT_ODS},
    {"spreadsheet-template", DX_FMT_ODS},
    {"presentation", DX_FMT_ODP},
    {"presentation-template", DX_FMT_ODP},
    {"graphics", DX_FMT_ODG},
    {"graphics-template", DX_FMT_ODG},
};

// The OpenOffice.org 1.x and StarOffice 6 and 7 kinds, after
// "application/vnd.sun.xml.": each reads as the OpenDocument kind that
// succeeded it (a global document as a master document).
constexpr PackageKind kStarOfficeKinds[] = {
    {"writer", DX_FMT_ODT},           {"writer.template", DX_FMT_ODT},
    {"writer.global", DX_FMT_ODT},    {"calc", DX_FMT_ODS},
    {"calc.template", DX_FMT_ODS},    {"impress", DX_FMT_ODP},
    {"impress.template", DX_FMT_ODP}, {"draw", DX_FMT_ODG},
    {"draw.template", DX_FMT_ODG},
};

// The format of `mime` (trailing white space aside) when it is `prefix`
// followed by the name of one of `kinds`; DX_FMT_ZIP otherwise.
int kind_format(std::string_view mime, std::string_view prefix,
                std::span<const PackageKind> kinds) {
    while (!mime.empty() && is_ws(mime.back())) mime.remove_suffix(1);
    if (!mime.starts_with(prefix)) return DX_FMT_ZIP;
    const std::string_view kind = mime.substr(prefix.size());
    for (const PackageKind &k : kinds)
        if (k.name == kind) return k.format;
    return DX_FMT_ZIP;
}

}  // namespace

int FormatFromOpenDocumentMime(std::string_view mime) {
    return kind_format(mime, "application/vnd.oasis.opendocument.", kOpenDocumentKinds);
}

int FormatFromStarOfficeMime(std::string_view mime) {
    return kind_format(mime, "application/vnd.sun.xml.", kStarOfficeKinds);
}

int FormatFromPackageMime(std::string_view mime) {
    std::string_view trimmed = mime;
    while (!trimmed.empty() && is_ws(trimmed.back())) trimmed.remove_suffix(1);
    if (trimmed == "application/epub+zip") return DX_FMT_EPUB;
    if (trimmed == "application/hwp+zip") return DX_FMT_HWPX;
    const int format = FormatFromOpenDocumentMime(trimmed);
    return format != DX_FMT_ZIP ? format : FormatFromStarOfficeMime(trimmed);
}

TextForm TextFormOf(Bytes head) {
    return form_of_text(head).form;
}

const char *TextFormCharset(TextForm form) {
    switch (form) {
        case TextForm::kBytes:
            return nullptr;
        case TextForm::kUtf8Bom:
            return "UTF-8";
        case TextForm::kUtf16Le:
            return "UTF-16LE";
        case TextForm::kUtf16Be:
            return "UTF-16BE";
        case TextForm::kUtf32Le:
            return "UTF-32LE";
        case TextForm::kUtf32Be:
            return "UTF-32BE";
    }
    return nullptr;
}

int FormatFromMime(std::string_view mime) {
    struct Row {
        std::string_view mime;
        int format;
    };
    static constexpr std::array kExact = {
        Row{"application/pdf", DX_FMT_PDF},
        Row{"text/rtf", DX_FMT_RTF},
        Row{"application/rtf", DX_FMT_RTF},
        Row{"text/html", DX_FMT_HTML},
        Row{"application/xhtml+xml", DX_FMT_HTML},
        Row{"text/xml", DX_FMT_XML},
        Row{"application/xml", DX_FMT_XML},
        Row{"image/svg+xml", DX_FMT_XML},
        Row{"text/x-sgml", DX_FMT_SGML},
        Row{"application/msword", DX_FMT_DOC},
        Row{"application/zip", DX_FMT_ZIP},
        Row{"application/epub+zip", DX_FMT_EPUB},
        Row{"application/vnd.openxmlformats-officedocument.wordprocessingml.document", DX_FMT_DOCX},
        Row{"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet", DX_FMT_XLSX},
        Row{"application/vnd.openxmlformats-officedocument.presentationml.presentation",
            DX_FMT_PPTX},
        Row{"application/vnd.oasis.opendocument.text", DX_FMT_ODT},
        Row{"application/vnd.oasis.opendocument.spreadsheet", DX_FMT_ODS},
        Row{"application/vnd.oasis.opendocument.presentation", DX_FMT_ODP},
        Row{"application/vnd.oasis.opendocument.graphics", DX_FMT_ODG},
        Row{"application/x-ole-storage", DX_FMT_OLE},
        Row{"application/CDFV2", DX_FMT_OLE},
        Row{"application/vnd.ms-excel", DX_FMT_XLS},
        Row{"application/vnd.ms-powerpoint", DX_FMT_PPT},
        Row{"application/vnd.ms-outlook", DX_FMT_OLE},
        Row{"application/vnd.ms-msi", DX_FMT_OLE},
        Row{"application/x-executable", DX_FMT_EXECUTABLE},
        Row{"application/x-sharedlib", DX_FMT_EXECUTABLE},
        Row{"application/x-pie-executable", DX_FMT_EXECUTABLE},
        Row{"application/x-dosexec", DX_FMT_EXECUTABLE},
        Row{"application/x-mach-binary", DX_FMT_EXECUTABLE},
        Row{"application/x-object", DX_FMT_EXECUTABLE},
        Row{"application/java-archive", DX_FMT_ZIP},
        Row{"application/gzip", DX_FMT_COMPRESSED},
        Row{"application/x-gzip", DX_FMT_COMPRESSED},
        Row{"application/x-bzip2", DX_FMT_COMPRESSED},
        Row{"application/x-xz", DX_FMT_COMPRESSED},
        Row{"application/x-lzma", DX_FMT_ARCHIVE},
        Row{"application/zstd", DX_FMT_COMPRESSED},
        Row{"application/x-tar", DX_FMT_ARCHIVE},
        Row{"application/x-7z-compressed", DX_FMT_ARCHIVE},
        Row{"application/x-rar", DX_FMT_ARCHIVE},
        Row{"application/vnd.rar", DX_FMT_ARCHIVE},
        Row{"application/x-compress", DX_FMT_ARCHIVE},
        Row{"application/x-cpio", DX_FMT_ARCHIVE},
        Row{"application/x-archive", DX_FMT_ARCHIVE},
        Row{"application/vnd.debian.binary-package", DX_FMT_ARCHIVE},
        Row{"application/x-rpm", DX_FMT_ARCHIVE},
        Row{"application/x-iso9660-image", DX_FMT_ARCHIVE},
    };
    for (const Row &row : kExact)
        if (row.mime == mime) return row.format;
    if (mime.starts_with("image/")) return DX_FMT_IMAGE;
    if (mime.starts_with("audio/") || mime.starts_with("video/")) return DX_FMT_AUDIO_VIDEO;
    if (mime.starts_with("text/")) return DX_FMT_TEXT;
    if (mime == "inode/x-empty") return DX_FMT_TEXT;
    if (mime.empty()) return DX_FMT_UNKNOWN;
    return DX_FMT_BINARY;
}

namespace {

// Header fields that only messages carry. A message needs two of them, one of
// which dates, routes or identifies it (so the "From:" and "Subject:" lines
// that open patch descriptions do not make a message).
struct MailField {
    std::string_view name;  // lower case
    bool strong;
};
constexpr MailField kMailFields[] = {
    {"date", true},
    {"received", true},
    {"message-id", true},
    {"mime-version", true},
    {"from", false},
    {"to", false},
    {"cc", false},
    {"subject", false},
    {"return-path", false},
    {"delivered-to", false},
    {"in-reply-to", false},
    {"references", false},
    // The routing and signature fields servers add, which can fill the head
    // before any of the fields above.
    {"dkim-signature", false},
    {"arc-seal", false},
    {"arc-message-signature", false},
    {"arc-authentication-results", false},
    {"authentication-results", false},
    {"received-spf", false},
    {"x-received", false},
};

}  // namespace

bool LooksLikeMail(std::string_view head, bool whole) {
    size_t at = 0;
    if (head.starts_with("From ")) {  // the separator line of an mbox
        at = head.find('\n');
        if (at == std::string_view::npos) return false;
        ++at;
    }
    bool anyField = false;
    unsigned seen = 0;
    for (;;) {
        const size_t end = head.find('\n', at);
        if (end == std::string_view::npos) {
            // A header block longer than the head is taken on the lines seen;
            // a whole document without the empty line that ends it is none.
            if (whole) return false;
            break;
        }
        std::string_view line = head.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) {
            if (!anyField) return false;
            break;
        }
        if (line[0] == ' ' || line[0] == '\t') {  // a folded field goes on
            if (!anyField) return false;
            continue;
        }
        const size_t colon = line.find(':');
        if (colon == 0 || colon == std::string_view::npos) return false;
        std::string name;
        for (char c : line.substr(0, colon)) {
            const auto u = static_cast<unsigned char>(c);
            if (u < 33 || u > 126) return false;
            name += (u >= 'A' && u <= 'Z') ? static_cast<char>(u - 'A' + 'a') : c;
        }
        anyField = true;
        for (size_t i = 0; i < std::size(kMailFields); ++i)
            if (kMailFields[i].name == name) seen |= 1u << i;
    }
    int count = 0;
    bool strong = false;
    for (size_t i = 0; i < std::size(kMailFields); ++i) {
        if (!(seen & (1u << i))) continue;
        ++count;
        strong = strong || kMailFields[i].strong;
    }
    return count >= 2 && strong;
}

std::optional<std::string_view> EmlxMessage(std::string_view bytes) {
    constexpr size_t kMaxDigits = 10;  // up to 9,999,999,999 bytes: no overflow
    size_t at = 0;
    uint64_t count = 0;
    while (at < bytes.size() && at < kMaxDigits && bytes[at] >= '0' && bytes[at] <= '9')
        count = count * 10 + static_cast<uint64_t>(bytes[at++] - '0');
    if (at == 0 || bytes[0] == '0') return std::nullopt;  // no count, a zero or a leading zero
    while (at < bytes.size() && (bytes[at] == ' ' || bytes[at] == '\t')) ++at;
    if (at >= bytes.size() || bytes[at] != '\n') return std::nullopt;
    const std::string_view message = bytes.substr(at + 1);
    return message.substr(0, static_cast<size_t>(std::min<uint64_t>(count, message.size())));
}

bool IsBinaryCatalog(Bytes head) {
    if (head.size() < 8) return false;
    const uint32_t magic = le32(head, 0);
    if (magic != 0x950412DEu && magic != 0xDE120495u) return false;
    // The revision in the file's byte order; its major number is the high half.
    const uint32_t revision =
        magic == 0x950412DEu ? le32(head, 4) : __builtin_bswap32(le32(head, 4));
    return revision >> 16 <= 1;
}

bool IsPalmBook(Bytes head, uint64_t size) {
    // A 78-byte database header, then a list of 8-byte record entries
    // (offset, attributes, id), big-endian.
    constexpr size_t kList = 78;
    if (head.size() < kList + 8 || size < kList + 8) return false;
    if (!starts_with(head, "BOOKMOBI", 60) && !starts_with(head, "TEXtREAd", 60)) return false;
    size_t name = 0;
    for (; name < 32 && head[name] != 0; ++name)
        if (head[name] < 0x20 || head[name] == 0x7F) return false;
    if (name == 0 || name == 32) return false;
    const uint32_t records = be16(head.data() + 76);
    if (records == 0) return false;
    uint64_t previous = kList + 8ull * records;
    const size_t listed = std::min<size_t>(records, (head.size() - kList) / 8);
    for (size_t i = 0; i < listed; ++i) {
        const uint32_t offset = be32(head.data() + kList + 8 * i);
        if (offset < previous || offset > size) return false;
        previous = offset;
    }
    // The first record opens with the PalmDoc header.
    const uint32_t first = be32(head.data() + kList);
    if (uint64_t{first} + 16 > size) return false;
    if (uint64_t{first} + 2 <= head.size()) {
        const uint16_t compression = be16(head.data() + first);
        if (compression != 1 && compression != 2 && compression != 17480) return false;
    }
    return true;
}

std::string_view XmlRootElement(std::string_view s) {
    size_t at = 0;
    for (;;) {
        while (at < s.size() && is_ws(s[at])) ++at;
        const std::string_view rest = s.substr(at);
        size_t end = std::string_view::npos;
        if (rest.starts_with("<?")) {
            end = rest.find("?>");
            if (end != std::string_view::npos) end += 2;
        } else if (rest.starts_with("<!--")) {
            end = rest.find("-->", 4);
            if (end != std::string_view::npos) end += 3;
        } else if (rest.starts_with("<!DOCTYPE")) {
            const size_t open = rest.find_first_of("[>");
            end = open != std::string_view::npos && rest[open] == '[' ? rest.find("]", open) : open;
            if (end != std::string_view::npos) end = rest.find('>', end);
            if (end != std::string_view::npos) end += 1;
        } else {
            break;
        }
        if (end == std::string_view::npos) return {};
        at += end;
    }
    const std::string_view rest = s.substr(at);
    if (!rest.starts_with("<")) return {};
    const size_t stop = rest.find_first_of(" \t\r\n\f/>", 1);
    if (stop == std::string_view::npos) return {};
    std::string_view element = rest.substr(1, stop - 1);
    const size_t colon = element.find(':');
    if (colon != std::string_view::npos) element.remove_prefix(colon + 1);
    return element;
}

namespace {

// The value of the attribute `name` (qualified as written) in `tag`, the
// inside of a start tag after the element's name; empty when it has none.
std::string_view tag_attribute(std::string_view tag, std::string_view name) {
    size_t at = 0;
    while (at < tag.size()) {
        while (at < tag.size() && is_ws(tag[at])) ++at;
        const size_t eq = tag.find('=', at);
        if (eq == std::string_view::npos) break;
        std::string_view key = tag.substr(at, eq - at);
        while (!key.empty() && is_ws(key.back())) key.remove_suffix(1);
        size_t open = eq + 1;
        while (open < tag.size() && is_ws(tag[open])) ++open;
        if (open >= tag.size() || (tag[open] != '"' && tag[open] != '\'')) break;
        const size_t close = tag.find(tag[open], open + 1);
        if (close == std::string_view::npos) break;
        if (key == name) return tag.substr(open + 1, close - open - 1);
        at = close + 1;
    }
    return {};
}

// The start tag of the root element `root` of `s` (a view into `s` as
// XmlRootElement gives it): the prefix of its qualified name (empty for
// none) and the inside of the tag after the name, up to its '>' outside
// quotes; false when the tag is cut by the end of `s`.
bool root_start_tag(std::string_view s, std::string_view root, std::string_view &prefix,
                    std::string_view &tag) {
    // The qualified name opens after '<'.
    const size_t nameEnd = static_cast<size_t>(root.data() - s.data()) + root.size();
    const size_t nameStart = s.rfind('<', nameEnd - 1) + 1;
    prefix = nameStart + root.size() == nameEnd
                 ? std::string_view()
                 : s.substr(nameStart, nameEnd - root.size() - nameStart - 1);
    size_t end = nameEnd;
    for (char quote = 0; end < s.size() && (quote || s[end] != '>'); ++end)
        if (quote && s[end] == quote)
            quote = 0;
        else if (!quote && (s[end] == '"' || s[end] == '\''))
            quote = s[end];
    if (end >= s.size()) return false;
    tag = s.substr(nameEnd, end - nameEnd);
    return true;
}

// FlatOpenDocumentFormat for a text whose root element is `root`, a view
// into `s` as XmlRootElement gives it.
int flat_document_format(std::string_view s, std::string_view root) {
    constexpr std::string_view kOfficeNamespace =
        "urn:oasis:names:tc:opendocument:xmlns:office:1.0";
    if (root != "document") return DX_FMT_UNKNOWN;
    // An unprefixed root cannot carry the office namespace's `mimetype` (an
    // attribute without a prefix is in none).
    std::string_view prefix, tag;
    if (!root_start_tag(s, root, prefix, tag) || prefix.empty()) return DX_FMT_UNKNOWN;
    const std::string name(prefix);
    if (tag_attribute(tag, "xmlns:" + name) != kOfficeNamespace) return DX_FMT_UNKNOWN;
    const int format = FormatFromOpenDocumentMime(tag_attribute(tag, name + ":mimetype"));
    return format == DX_FMT_ZIP ? DX_FMT_UNKNOWN : format;
}

// Whether the root element `root` of `s` (a view into `s` as XmlRootElement
// gives it) is in the namespace `uri`: its own prefix (or, without one, the
// default namespace) is bound to `uri` in the root's start tag, which the end
// of `s` does not cut.
bool root_in_namespace(std::string_view s, std::string_view root, std::string_view uri) {
    std::string_view prefix, tag;
    if (!root_start_tag(s, root, prefix, tag)) return false;
    const std::string declaration = prefix.empty() ? "xmlns" : "xmlns:" + std::string(prefix);
    return tag_attribute(tag, declaration) == uri;
}

// DX_FMT_VISIO for a text whose root element `VisioDocument` (`root`, as for
// flat_document_format) is in the namespace of Visio 2003's XML drawings;
// DX_FMT_UNKNOWN otherwise.
int visio_xml_format(std::string_view s, std::string_view root) {
    return root_in_namespace(s, root, "http://schemas.microsoft.com/visio/2003/core")
               ? DX_FMT_VISIO
               : DX_FMT_UNKNOWN;
}

}  // namespace

int FormatFromMainPartType(std::string_view type) {
    if (!type.ends_with(".main+xml") && !type.ends_with(".main")) return DX_FMT_UNKNOWN;
    struct Family {
        std::string_view prefix;
        int format;
    };
    constexpr Family kFamilies[] = {
        {"application/vnd.openxmlformats-officedocument.wordprocessingml.", DX_FMT_DOCX},
        {"application/vnd.ms-word.", DX_FMT_DOCX},
        {"application/vnd.openxmlformats-officedocument.presentationml.", DX_FMT_PPTX},
        {"application/vnd.ms-powerpoint.", DX_FMT_PPTX},
        {"application/vnd.openxmlformats-officedocument.spreadsheetml.", DX_FMT_XLSX},
        {"application/vnd.ms-excel.", DX_FMT_XLSX},
    };
    for (const Family &family : kFamilies)
        if (type.starts_with(family.prefix)) return family.format;
    return DX_FMT_UNKNOWN;
}

namespace {

// The values of the attribute `name` (a local name, under any prefix or
// none) in the start tags of `s`, in order, as far as `s` holds them whole;
// `take` is called with each and ends the walk by returning a format other
// than DX_FMT_UNKNOWN, which is returned.
template <typename Take>
int each_attribute_value(std::string_view s, std::string_view name, Take take) {
    for (size_t at = s.find(name); at != std::string_view::npos; at = s.find(name, at + 1)) {
        if (at == 0 || (!is_ws(s[at - 1]) && s[at - 1] != ':')) continue;
        size_t eq = at + name.size();
        while (eq < s.size() && is_ws(s[eq])) ++eq;
        if (eq >= s.size() || s[eq] != '=') continue;
        size_t open = eq + 1;
        while (open < s.size() && is_ws(s[open])) ++open;
        if (open >= s.size() || (s[open] != '"' && s[open] != '\'')) continue;
        const size_t close = s.find(s[open], open + 1);
        if (close == std::string_view::npos) break;
        if (const int format = take(s.substr(open + 1, close - open - 1)); format != DX_FMT_UNKNOWN)
            return format;
    }
    return DX_FMT_UNKNOWN;
}

// The kind of a flat package, an XML document whose root element `package`
// (`root`, as for flat_document_format) is in the namespace of Office's
// single-file packages (Word's "XML Document", PowerPoint's "XML
// Presentation"): the first part in the text whose content type is a main
// part's (FormatFromMainPartType), or else the first part whose name is a main
// part's usual one (`/word/document.xml`, `/ppt/presentation.xml`,
// `/xl/workbook.xml`), or else the program the `mso-application` processing
// instruction before the root names (`Word.Document`, `PowerPoint.Show`,
// `Excel.Sheet`); DX_FMT_UNKNOWN for another root and when none of them
// tells.
int flat_package_format(std::string_view s, std::string_view root) {
    constexpr std::string_view kPackageNamespace =
        "http://schemas.microsoft.com/office/2006/xmlPackage";
    if (!root_in_namespace(s, root, kPackageNamespace)) return DX_FMT_UNKNOWN;
    const std::string_view body = s.substr(static_cast<size_t>(root.data() - s.data()));
    if (const int format = each_attribute_value(body, "contentType", FormatFromMainPartType);
        format != DX_FMT_UNKNOWN)
        return format;
    const int named = each_attribute_value(body, "name", [](std::string_view name) {
        if (iequals(name, "/word/document.xml")) return DX_FMT_DOCX;
        if (iequals(name, "/ppt/presentation.xml")) return DX_FMT_PPTX;
        if (iequals(name, "/xl/workbook.xml")) return DX_FMT_XLSX;
        return DX_FMT_UNKNOWN;
    });
    if (named != DX_FMT_UNKNOWN) return named;
    const std::string_view prolog = s.substr(0, static_cast<size_t>(root.data() - s.data()));
    for (size_t at = prolog.find("<?mso-application"); at != std::string_view::npos;
         at = prolog.find("<?mso-application", at + 1)) {
        const size_t end = prolog.find("?>", at);
        if (end == std::string_view::npos) break;
        const std::string_view instruction = prolog.substr(at, end - at);
        const int format = each_attribute_value(instruction, "progid", [](std::string_view id) {
            if (id.starts_with("Word.Document")) return DX_FMT_DOCX;
            if (id.starts_with("PowerPoint.Show")) return DX_FMT_PPTX;
            if (id.starts_with("Excel.Sheet")) return DX_FMT_XLSX;
            return DX_FMT_UNKNOWN;
        });
        if (format != DX_FMT_UNKNOWN) return format;
    }
    return DX_FMT_UNKNOWN;
}

bool is_catalog_root(std::string_view root) {
    return root == "TS" || root == "xliff";
}

// The format a text's root element tells (FictionBook, an XML message
// catalog, a Visio XML drawing, an Office flat package, a Word 2003 XML
// document, an Excel 2003 XML workbook, a flat OpenDocument file), found by
// one look at it; DX_FMT_UNKNOWN for any other text.
int root_element_format(std::string_view s) {
    const std::string_view root = XmlRootElement(s);
    if (root == "FictionBook") return DX_FMT_FICTIONBOOK;
    if (is_catalog_root(root)) return DX_FMT_CATALOG;
    if (root == "VisioDocument") return visio_xml_format(s, root);
    if (root == "package") return flat_package_format(s, root);
    if (root == "wordDocument" &&
        root_in_namespace(s, root, "http://schemas.microsoft.com/office/word/2003/wordml"))
        return DX_FMT_WORDML;
    if (root == "Workbook" &&
        root_in_namespace(s, root, "urn:schemas-microsoft-com:office:spreadsheet"))
        return DX_FMT_SPREADSHEETML;
    if (root == "plist" && IsWebArchive(s)) return DX_FMT_WEBARCHIVE;
    return flat_document_format(s, root);
}

}  // namespace

int FlatOpenDocumentFormat(std::string_view s) {
    return flat_document_format(s, XmlRootElement(s));
}

int FlatOfficeFormat(std::string_view s) {
    const int format = root_element_format(s);
    return format == DX_FMT_DOCX || format == DX_FMT_PPTX || format == DX_FMT_XLSX ||
                   format == DX_FMT_WORDML || format == DX_FMT_SPREADSHEETML
               ? format
               : DX_FMT_UNKNOWN;
}

bool IsWebArchive(std::string_view head) {
    // A string object of 15 ASCII bytes: its marker, then the count as an
    // integer object of one byte.
    if (head.starts_with("bplist00"))
        return head.find("\x5F\x10\x0FWebMainResource") != std::string_view::npos;
    return XmlRootElement(head) == "plist" &&
           head.find("<key>WebMainResource</key>") != std::string_view::npos;
}

bool IsQtCatalog(Bytes head) {
    return starts_with(head, kQtCatalogMagic);
}

bool IsCatalogXml(std::string_view s) {
    return is_catalog_root(XmlRootElement(s));
}

namespace {

// The content of a line that is one C string literal ("..."); false when it
// is not one.
bool po_string(std::string_view line, std::string_view &content) {
    if (line.size() < 2 || line.front() != '"' || line.back() != '"') return false;
    size_t backslashes = 0;  // an escaped closing quote does not close
    for (size_t i = line.size() - 1; i > 1 && line[i - 1] == '\\'; --i) ++backslashes;
    if (backslashes % 2 != 0) return false;
    content = line.substr(1, line.size() - 2);
    return true;
}

// The value of the header field `name` ("Language:") in a string of the
// header entry, whose fields each end in an escaped line feed (the
// characters `Language: de\n`), without the spaces around it; empty when the
// string has none.
std::string_view po_header_field(std::string_view text, std::string_view name) {
    for (size_t at = 0; at < text.size();) {
        const size_t end = std::min(text.find("\\n", at), text.size());
        std::string_view value = text.substr(at, end - at);
        at = end + 2;
        if (!value.starts_with(name)) continue;
        value.remove_prefix(name.size());
        while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
            value.remove_prefix(1);
        while (!value.empty() && (value.back() == ' ' || value.back() == '\t'))
            value.remove_suffix(1);
        return value;
    }
    return {};
}

// Whether a string of the header entry names the catalog's language or its
// charset as a translation's header does: a template's header leaves the
// language empty and the charset `CHARSET`.
bool po_header_names_language(std::string_view text) {
    return !po_header_field(text, "Language:").empty();
}
bool po_header_names_charset(std::string_view text) {
    const std::string_view type = po_header_field(text, "Content-Type:");
    const size_t at = type.find("charset=");
    if (at == std::string_view::npos) return false;
    const std::string_view charset = type.substr(at + 8);
    return !charset.empty() && charset != "CHARSET";
}

}  // namespace

PoKind PoCatalogKind(std::string_view s, bool whole) {
    enum class Key { kNone, kContext, kId, kPlural, kStr };
    Key key = Key::kNone;  // the keyword continuation strings belong to
    bool context = false;  // the entry has a msgctxt
    bool emptyId = false;  // its msgid is "" so far
    bool header = false, translated = false;
    bool language = false, charset = false;  // the header names them
    int pairs = 0;
    size_t lines = 0;  // looked at
    size_t at = 0;
    while (at < s.size()) {
        size_t end = s.find('\n', at);
        if (end == std::string_view::npos) {
            if (!whole) break;
            end = s.size();
        }
        ++lines;
        std::string_view line = s.substr(at, end - at);
        at = end + 1;
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
            line.remove_prefix(1);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.remove_suffix(1);
        if (line.empty() || line.front() == '#') continue;
        std::string_view text;
        if (line.front() == '"') {
            if (key == Key::kNone || !po_string(line, text)) return PoKind::kNone;
            if (key == Key::kId && !text.empty()) emptyId = false;
        } else {
            size_t k = 0;
            while (k < line.size() && ((line[k] >= 'a' && line[k] <= 'z') || line[k] == '_')) ++k;
            const std::string_view word = line.substr(0, k);
            bool indexed = false;  // msgstr[N]
            if (word == "msgstr" && k < line.size() && line[k] == '[') {
                size_t d = k + 1;
                while (d < line.size() && line[d] >= '0' && line[d] <= '9') ++d;
                if (d == k + 1 || d >= line.size() || line[d] != ']') return PoKind::kNone;
                k = d + 1;
                indexed = true;
            }
            if (k >= line.size() || (line[k] != ' ' && line[k] != '\t')) return PoKind::kNone;
            std::string_view rest = line.substr(k);
            while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t'))
                rest.remove_prefix(1);
            if (!po_string(rest, text)) return PoKind::kNone;
            if (word == "msgctxt") {
                if (key != Key::kNone && key != Key::kStr) return PoKind::kNone;
                key = Key::kContext;
                context = true;
            } else if (word == "msgid") {
                if (key != Key::kNone && key != Key::kStr && key != Key::kContext)
                    return PoKind::kNone;
                if (key != Key::kContext) context = false;
                key = Key::kId;
                emptyId = text.empty();
            } else if (word == "msgid_plural") {
                if (key != Key::kId) return PoKind::kNone;
                key = Key::kPlural;
            } else if (word == "msgstr") {
                if (key == Key::kId || key == Key::kPlural)
                    ++pairs;
                else if (!(key == Key::kStr && indexed))
                    return PoKind::kNone;
                key = Key::kStr;
            } else {
                return PoKind::kNone;
            }
        }
        if (key == Key::kStr && !text.empty()) {
            if (emptyId && !context) {
                header = header || text.find("Content-Type:") != std::string_view::npos ||
                         text.find("Project-Id-Version:") != std::string_view::npos;
                language = language || po_header_names_language(text);
                charset = charset || po_header_names_charset(text);
            } else {
                translated = true;
            }
        }
    }
    if (!header && pairs < 3) return whole || lines == 0 ? PoKind::kNone : PoKind::kUndecided;
    // A head whose header names the language and charset, as a translator's
    // catalog has them, is one whose translations come later (after a long
    // comment block, or messages not translated yet).
    if (!translated && !whole && header && language && charset) return PoKind::kTranslated;
    return translated ? PoKind::kTranslated : PoKind::kTemplate;
}

namespace {

// The longest control word the LaTeX rule reads.
constexpr size_t kMaxControlWord = 64;

bool is_tex_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

// The letters of a control word from `i` (at most kMaxControlWord).
std::string_view word_at(std::string_view s, size_t i) {
    size_t end = i;
    while (end < s.size() && end - i < kMaxControlWord && is_alpha(s[end])) ++end;
    return s.substr(i, end - i);
}

template <size_t N>
bool listed(const std::array<std::string_view, N> &names, std::string_view name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

// Control words a LaTeX document or a part of one opens with.
constexpr auto kOpeners = std::to_array<std::string_view>({
    "documentclass", "documentstyle", "input",        "include",        "part",
    "chapter",       "section",       "subsection",   "subsubsection",  "paragraph",
    "usepackage",    "newcommand",    "renewcommand", "begin",          "title",
    "hypertarget",   "label",         "doxysection",  "doxysubsection", "author",
});
// Control words counted as LaTeX in a head (beside the openers).
constexpr auto kKnown = std::to_array<std::string_view>({
    "item",
    "emph",
    "textbf",
    "textit",
    "texttt",
    "end",
    "ref",
    "cite",
    "caption",
    "footnote",
    "maketitle",
    "tableofcontents",
    "includegraphics",
    "centering",
    "newpage",
    "clearpage",
    "index",
    "url",
    "href",
    "hline",
    "date",
    "bibliography",
    "vspace",
    "hspace",
    "noindent",
    "mbox",
    "hyperlink",
    "subparagraph",
    "textsc",
    "underline",
    "footnotesize",
    "small",
    "large",
    "Large",
    "tiny",
    "bfseries",
    "itshape",
    "ttfamily",
    "eqref",
    "pageref",
    "setlength",
    "newenvironment",
    "DeclareMathOperator",
    "frac",
    "textwidth",
    "linewidth",
});

// Whether `at` in `s` starts a line (spaces before it allowed).
bool at_line_start(std::string_view s, size_t at) {
    while (at > 0 && is_tex_blank(s[at - 1])) --at;
    return at == 0 || s[at - 1] == '\n';
}

bool starts_a_line(std::string_view head, std::string_view what) {
    for (size_t at = head.find(what); at != std::string_view::npos; at = head.find(what, at + 1))
        if (at_line_start(head, at)) return true;
    return false;
}

// LaTeX commands in `head`: a known control word followed by an argument,
// a star or a line's end.
size_t latex_commands(std::string_view head) {
    size_t count = 0;
    for (size_t at = head.find('\\'); at != std::string_view::npos; at = head.find('\\', at + 1)) {
        const std::string_view w = word_at(head, at + 1);
        const size_t after = at + 1 + w.size();
        const char next = after < head.size() ? head[after] : '\n';
        if (next != '{' && next != '[' && next != '*' && next != '\n' && next != '\r') continue;
        if (listed(kOpeners, w) || listed(kKnown, w)) ++count;
    }
    return count;
}

}  // namespace

TexKind TexKindOf(std::string_view head) {
    std::string_view rest = head;
    std::string_view first;
    while (!rest.empty()) {
        const size_t end = std::min(rest.find('\n'), rest.size());
        std::string_view line = rest.substr(0, end);
        rest.remove_prefix(std::min(rest.size(), end + 1));
        while (!line.empty() && is_tex_blank(line.front())) line.remove_prefix(1);
        while (!line.empty() && is_tex_blank(line.back())) line.remove_suffix(1);
        if (line.empty() || line[0] == '%') continue;
        first = line;
        break;
    }
    if (first.starts_with("\\input texinfo") || first.starts_with("\\input\ttexinfo")) {
        const std::string_view after = first.substr(14);
        if (after.empty() || after[0] == ' ' || after[0] == '\t' || after[0] == '@' ||
            after.starts_with(".tex"))
            return TexKind::kTexinfo;
    }
    if (first.size() < 2 || first[0] != '\\' || !is_alpha(first[1])) return TexKind::kNone;
    const std::string_view word = word_at(first, 1);
    if (word.size() == kMaxControlWord) return TexKind::kNone;
    if (word == "documentclass" || word == "documentstyle") {
        std::string_view after = first.substr(1 + word.size());
        while (!after.empty() && is_tex_blank(after.front())) after.remove_prefix(1);
        if (after.starts_with('{') || after.starts_with('[')) return TexKind::kLatex;
    }
    if (starts_a_line(head, "\\documentclass") || starts_a_line(head, "\\documentstyle") ||
        starts_a_line(head, "\\begin{document}"))
        return TexKind::kLatex;
    if (listed(kOpeners, word) && latex_commands(head) >= 3) return TexKind::kLatex;
    return TexKind::kNone;
}

namespace {

// Whether a text whose head leaves a `.po` catalog undecided is a catalog
// with translations by its first kPoCatalogBytes (the head, then one read).
bool po_catalog_past_head(Bytes head, uint64_t size, size_t markBytes, const ReadAtFn &readAt) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(size, kPoCatalogBytes));
    if (want <= head.size()) return false;
    std::string bytes(as_chars(head));
    bytes.resize(want);
    if (!readAt(head.size(), bytes.data() + head.size(), want - head.size())) return false;
    return PoCatalogKind(std::string_view(bytes).substr(markBytes), want == size) ==
           PoKind::kTranslated;
}

// Readers take a PDF whose header follows other bytes (a mail or HTTP
// header, a Macintosh file's header) when it lies in the first KiB.
constexpr size_t kPdfHeaderWindow = 1024;
// The end-of-file marker of a PDF lies in its last KiB.
constexpr size_t kPdfTrailerWindow = 1024;

// Whether a byte may be part of a line of text (any 8-bit byte may be,
// in some charset).
bool text_byte(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 0x20 || c == '\t' || c == '\n' || c == '\r';
}

enum class PdfHeader {
    kNone,
    kFound,
    kUnread,  // found as the head alone tells: the trailer was not read
};

// Whether a file whose first bytes are `chars` is a PDF: "%PDF-" at its
// first byte; or a header after other bytes, in the first KiB: "%PDF-", a
// version (digit, dot, digit) that ends its line (the next byte is a
// control byte: a line end, a NUL), and before it a byte that is no text,
// or the end-of-file marker "%%EOF" in the file's last KiB. So a program or
// a text that speaks of "%PDF-1.4" (in quotes, in a sentence, in a list of
// tokens) stays text, while a PDF behind a mail header or inside a
// Macintosh file is read as one.
PdfHeader pdf_header(std::string_view chars, uint64_t size, const ReadAtFn &readAt) {
    if (chars.starts_with("%PDF-")) return PdfHeader::kFound;
    const std::string_view window = chars.substr(0, kPdfHeaderWindow);
    std::optional<bool> trailer;  // read once, when a header needs it
    for (size_t at = window.find("%PDF-"); at != std::string_view::npos;
         at = window.find("%PDF-", at + 1)) {
        const std::string_view version = chars.substr(at + 5, 4);
        const auto digit = [](char c) { return c >= '0' && c <= '9'; };
        if (version.size() < 4 || !digit(version[0]) || version[1] != '.' || !digit(version[2]) ||
            static_cast<unsigned char>(version[3]) >= 0x20)
            continue;
        if (!text_byte(chars[at - 1])) return PdfHeader::kFound;
        if (!trailer) {
            const auto n = static_cast<size_t>(std::min<uint64_t>(size, kPdfTrailerWindow));
            if (size <= chars.size()) {
                trailer = chars.substr(static_cast<size_t>(size) - n).find("%%EOF") !=
                          std::string_view::npos;
            } else if (!readAt || size == UINT64_MAX) {
                // No reader, or a decompressed stream of a length not yet
                // known: the header stands as the head tells it.
                return PdfHeader::kUnread;
            } else {
                std::string tail(n, '\0');
                trailer =
                    readAt(size - n, tail.data(), n) && tail.find("%%EOF") != std::string::npos;
            }
        }
        if (*trailer) return PdfHeader::kFound;
    }
    return PdfHeader::kNone;
}

// SniffHead; `beyond` is set when a rule could not look past the head.
SniffResult sniff_head(Bytes head, uint64_t size, const ReadAtFn &readAt, bool &beyond) {
    constexpr SniffResult kText{DX_FMT_TEXT, SniffNext::kDone};
    if (size == 0 || head.empty()) return kText;
    std::string_view chars = as_chars(head);

    // A compressed stream first: zstd keeps the first bytes of what it
    // compresses as they are, "%PDF-" of a compressed PDF among them.
    if (CodecOf(head)) return {DX_FMT_COMPRESSED, SniffNext::kDone};
    // Before the PDF rule: a saved page may speak of "%PDF-" in its first KiB.
    if (chars.starts_with("bplist00") && IsWebArchive(chars))
        return {DX_FMT_WEBARCHIVE, SniffNext::kDone};
    if (const PdfHeader pdf = pdf_header(chars, size, readAt); pdf != PdfHeader::kNone) {
        beyond = beyond || pdf == PdfHeader::kUnread;
        return {DX_FMT_PDF, SniffNext::kDone};
    }
    if (starts_with(head, "PK\x03\x04") || starts_with(head, "PK\x05\x06")) {
        int package = package_from_first_entry(head);
        if (package != DX_FMT_UNKNOWN) return {package, SniffNext::kDone};
        return {DX_FMT_ZIP, SniffNext::kZip};
    }
    if (starts_with(head, "{\\rtf")) return {DX_FMT_RTF, SniffNext::kDone};
    if (IsBinaryCatalog(head) || IsQtCatalog(head)) return {DX_FMT_CATALOG, SniffNext::kDone};
    if (IsPalmBook(head, size)) return {DX_FMT_PALMBOOK, SniffNext::kDone};
    if (starts_with(head, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1")) return {DX_FMT_OLE, SniffNext::kOle};
    if (is_tnef_stream(head, size)) return {DX_FMT_MAIL, SniffNext::kDone};
    if (is_wordperfect_document(head)) return {DX_FMT_WORDPERFECT, SniffNext::kDone};
    if (is_works_sheet(head, size)) return {DX_FMT_WORKS_SHEET, SniffNext::kDone};
    if (is_works_dos_document(head, size)) return {DX_FMT_WORKS, SniffNext::kDone};
    if (is_write_document(head, size)) return {DX_FMT_MSWRITE, SniffNext::kDone};
    if (is_word2_document(head, size)) return {DX_FMT_DOC, SniffNext::kDone};
    if (is_excel4_sheet(head, size)) return {DX_FMT_XLS, SniffNext::kDone};
    if (is_pocket_word_document(head, size)) return {DX_FMT_POCKETWORD, SniffNext::kDone};
    if (is_djvu_document(head)) return {DX_FMT_DJVU, SniffNext::kDone};
    if (is_chm_file(head)) return {DX_FMT_CHM, SniffNext::kDone};
    if (PostScriptSectionOf(head, size)) return {DX_FMT_POSTSCRIPT, SniffNext::kDone};
    // A section past the head (behind a long preview): one read of its magic.
    if (const auto section = is_dos_eps(head) ? dos_eps_section(head, size) : std::nullopt;
        section && section->offset + kPostScriptMagic.size() > head.size()) {
        char magic[kPostScriptMagic.size()];
        if (!readAt)
            beyond = true;
        else if (readAt(section->offset, magic, sizeof magic) &&
                 std::string_view(magic, sizeof magic) == kPostScriptMagic)
            return {DX_FMT_POSTSCRIPT, SniffNext::kDone};
    }
    for (const Signature &sig : kBinarySignatures)
        if (starts_with(head, sig.bytes, sig.offset)) return {sig.format, SniffNext::kDone};
    if (is_macwrite_document(head, size) || is_macwrite_2_document(head, size))
        return {DX_FMT_MACWRITE, SniffNext::kDone};
    if (is_quarkxpress_document(head)) return {DX_FMT_QUARKXPRESS, SniffNext::kDone};
    if (is_zoner_draw_content(head, size)) return {DX_FMT_ZONER, SniffNext::kDone};

    const FormOfText text = form_of_text(head);
    if (!text.isText) return {DX_FMT_BINARY, SniffNext::kMagic};
    const Bytes body = head.subspan(text.markBytes);
    switch (text.form) {
        case TextForm::kBytes:
        case TextForm::kUtf8Bom:
            if (const int root = root_element_format(as_chars(body)); root != DX_FMT_UNKNOWN)
                return {root, SniffNext::kDone};
            if (LooksLikeMail(as_chars(body), size <= head.size()))
                return {DX_FMT_MAIL, SniffNext::kDone};
            // An Apple Mail message file: its count line, then a message;
            // the message's header block ends inside the counted bytes.
            if (const auto message = EmlxMessage(as_chars(body))) {
                const bool whole = message->end() < as_chars(body).end() || size <= head.size();
                if (LooksLikeMail(*message, whole)) return {DX_FMT_MAIL, SniffNext::kDone};
            }
            // A catalog with translations is read for them; a template (or
            // a catalog without any translation in its head) stays text.
            switch (PoCatalogKind(as_chars(body), size <= head.size())) {
                case PoKind::kTranslated:
                    return {DX_FMT_CATALOG, SniffNext::kDone};
                case PoKind::kUndecided:
                    if (!readAt)
                        beyond = true;
                    else if (po_catalog_past_head(head, size, text.markBytes, readAt))
                        return {DX_FMT_CATALOG, SniffNext::kDone};
                    break;
                case PoKind::kNone:
                case PoKind::kTemplate:
                    break;
            }
            switch (TexKindOf(as_chars(body))) {
                case TexKind::kLatex:
                    return {DX_FMT_TEX, SniffNext::kDone};
                case TexKind::kTexinfo:
                    return {DX_FMT_TEXINFO, SniffNext::kDone};
                case TexKind::kNone:
                    break;
            }
            return {markup_format(as_chars(body)), SniffNext::kDone};
        case TextForm::kUtf16Le:
        case TextForm::kUtf16Be:
        case TextForm::kUtf32Le:
        case TextForm::kUtf32Be: {
            const bool wide = text.form == TextForm::kUtf32Le || text.form == TextForm::kUtf32Be;
            const bool big = text.form == TextForm::kUtf16Be || text.form == TextForm::kUtf32Be;
            const std::string narrow = narrow_units(body, wide ? 4 : 2, big);
            if (const int root = root_element_format(narrow); root != DX_FMT_UNKNOWN)
                return {root, SniffNext::kDone};
            return {markup_format(narrow), SniffNext::kDone};
        }
    }
    return {DX_FMT_BINARY, SniffNext::kMagic};
}

}  // namespace

SniffResult SniffHead(Bytes head, uint64_t size, const ReadAtFn &readAt) {
    bool beyond = false;
    SniffResult result = sniff_head(head, size, readAt, beyond);
    result.beyondHead = beyond;
    return result;
}

}  // namespace dxf
