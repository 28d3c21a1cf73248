// sniff.h - document format from the first bytes of a file, by our own rules.
//
// The rules settle text in any charset (with or without byte-order mark,
// UTF-16/32 without mark, 8-bit and multibyte text with a few stray control
// bytes), markup, RTF, PDF, ODF/EPUB packages and the common binary
// signatures. What they cannot settle is passed on: zip packages to the office
// module (which reads their entries), everything else to libmagic.
#ifndef GLOTTA_FILTERS_DXFILTER_SNIFF_H
#define GLOTTA_FILTERS_DXFILTER_SNIFF_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "filters/dxfilter/zip_scan.h"

namespace dxf {

// Bytes of a document that the rules look at.
inline constexpr size_t kSniffBytes = 8192;

enum class SniffNext {
    kDone,   // the format code is final
    kZip,    // a zip archive: ask the office module about its entries
    kOle,    // an OLE compound document: ask libmagic with the whole file
    kMagic,  // not settled: ask libmagic about the head
};

struct SniffResult {
    int format;  // a DX_FMT_* code; the fallback when `next` is not kDone
    SniffNext next;
    // Bytes past the head could change the answer, and there was no reader
    // to read them (see SniffHead): the answer is the head's alone.
    bool beyondHead = false;
};

// Of a text whose head leaves a gettext `.po` catalog undecided
// (PoKind::kUndecided), the rules read this many first bytes.
inline constexpr size_t kPoCatalogBytes = 64 * 1024;

// `head`: the first bytes of the document (up to kSniffBytes); `size`: its
// full length in bytes. `readAt` reads the document by position, for the
// three rules that may look past the head, each with one bounded read: the
// PostScript section a DOS EPS header places past the head (its first four
// bytes), a PDF header after other bytes (the file's last KiB, for its
// end-of-file marker), and a text whose head leaves a `.po` catalog
// undecided (its first kPoCatalogBytes). Without a reader those rules answer as the head alone
// tells, and set `beyondHead`.
SniffResult SniffHead(std::span<const unsigned char> head, uint64_t size,
                      const ReadAtFn &readAt = {});

// The single compressed streams the filter reads (format DX_FMT_COMPRESSED):
// gzip, bzip2, xz, zstd, lzip, LZ4, the legacy LZMA format of lzma-utils
// (`.lzma`) and Unix compress (`.Z`, LZW).
enum class Codec { kGzip, kBzip2, kXz, kZstd, kLzma, kCompress, kLzip, kLz4 };

// The codec of a stream that starts with `head`, by its signature: gzip with
// deflate, bzip2 of any block size, xz, zstd; lzip of version 1 with a
// dictionary size lzip writes; an LZ4 frame of version 1, a skippable frame
// or a legacy frame (`lz4 -l`); compress with a flag byte of 9
// to 16 bits and no reserved bit, whose first code is a byte; a `.lzma`
// header (it has no magic) whose properties byte, dictionary size and size
// field are all what LZMA tools write (see CodecOf); none for anything else.
std::optional<Codec> CodecOf(std::span<const unsigned char> head);

// How the text of a document the rules take for text is stored, as they
// tell it from the head: a byte-order mark, UTF-32 or UTF-16 units without
// one, or bytes (8-bit, multibyte or UTF-8 text without a mark).
enum class TextForm { kBytes, kUtf8Bom, kUtf16Le, kUtf16Be, kUtf32Le, kUtf32Be };

// The form of `head`, the first bytes of a document SniffHead settled as
// text or markup.
TextForm TextFormOf(std::span<const unsigned char> head);

// Name of the charset of a text form (kBytes: none, null).
const char *TextFormCharset(TextForm form);

// Whether a text opens with the header block of an e-mail message (after an
// mbox "From " line, if any): every line a header field ("name:" with a name
// of printable ASCII) or the continuation of one, up to an empty line, and
// among the fields two of Date, Received, Message-ID, MIME-Version, From, To,
// Cc, Subject, Return-Path, Delivered-To, In-Reply-To, References, one of them
// among the first four. `whole`: `head` is the whole document, so the empty
// line must be in it; otherwise a block cut by the end of `head` counts.
bool LooksLikeMail(std::string_view head, bool whole);

// The message of an Apple Mail message file (`.emlx`, `.partial.emlx`): a
// first line holding the message's length in bytes (1 to 10 decimal digits,
// the first not 0, then the blanks some versions pad it with), a line feed,
// the message, then a property list that is no text. The bytes after the
// count line, as many as it says (fewer when the file is cut); none when
// `bytes` does not open with such a line.
std::optional<std::string_view> EmlxMessage(std::string_view bytes);

// Whether `head` opens a GNU gettext binary message catalog (`.mo`): the
// magic 0x950412de in either byte order, then a revision whose major number
// is 0 or 1. The catalog reader checks the rest.
bool IsBinaryCatalog(std::span<const unsigned char> head);

// What a text (without its byte-order mark) is as a gettext `.po` catalog.
// Every line must be blank, a comment ("#", obsolete "#~" entries
// included), a keyword line (msgctxt, msgid, msgid_plural, msgstr,
// msgstr[N]) with one quoted string, or a quoted continuation string, with
// the keywords in their order; and there must be a header entry (msgid ""
// whose msgstr holds a "Content-Type:" or "Project-Id-Version:" line) or
// three msgid/msgstr pairs. kTranslated: some entry besides the header has a
// non-empty msgstr; or, when `head` is not the whole document, its header
// entry names a language (a "Language:" line with a value) and a charset (a
// "Content-Type:" line whose charset is not a template's CHARSET): a
// catalog whose first translation comes after the head. kUndecided: `head`
// is not the whole document, holds at least one whole line, every line is
// catalog syntax, and there is neither a header entry nor three pairs (a
// long comment block before the header entry): more of the document tells.
// `whole`: `head` is the whole document; otherwise a last line cut by the
// end of `head` is not looked at.
enum class PoKind { kNone, kTemplate, kTranslated, kUndecided };
PoKind PoCatalogKind(std::string_view head, bool whole);

// What a text (without its byte-order mark) is by its head. Texinfo: the
// first line is `\input texinfo`. LaTeX (or plain TeX): after blank lines
// and `%` comment lines, the first line opens with a control word (a
// backslash and letters), and either that word is `\documentclass` or
// `\documentstyle` followed by its argument, or the head holds
// `\documentclass`, `\documentstyle` or `\begin{document}` at the start of
// a line, or the first control word opens a LaTeX document part
// (`\section`, `\chapter`, `\input`, `\usepackage`, `\begin`,
// `\hypertarget` ...) and the head holds at least three LaTeX commands
// (known control words followed by an argument, a star or a line's end).
// Plain text with stray backslashes (Windows paths, regular expressions,
// escapes in code, LaTeX quoted in a message) stays kNone.
enum class TexKind { kNone, kLatex, kTexinfo };
TexKind TexKindOf(std::string_view head);

// Whether `head` opens a Palm database that is an e-book: the type and
// creator `BOOKMOBI` (Mobipocket, KF8) or `TEXtREAd` (PalmDoc) at offset 60,
// a name of printable bytes ended by a NUL within its 32 bytes, at least one
// record, and a record list whose offsets (as far as `head` holds them) lie
// after the list, grow and stay below `size`, the first one holding a
// PalmDoc header with compression 1, 2 or 17480. The e-book reader checks the
// rest.
bool IsPalmBook(std::span<const unsigned char> head, uint64_t size);

// The name of the root element of a text (without its byte-order mark,
// UTF-16 and UTF-32 narrowed to ASCII) that opens as XML: white space, an
// XML declaration, comments, processing instructions and a document type
// declaration, then the root element's start tag, whose name (without a
// namespace prefix) is returned; empty when the text does not open so or the
// name is cut by its end.
std::string_view XmlRootElement(std::string_view text);

// The format of a flat OpenDocument file, a text (as for XmlRootElement)
// that is one XML document whose root element is `document` in the ODF
// office namespace: the root's `mimetype` attribute (of that namespace), an
// OpenDocument media type (FormatFromOpenDocumentMime: ODT, ODS, ODP, ODG). DX_FMT_UNKNOWN for any
// other text, for another or no `mimetype`, and when the root's start tag is cut by the end of the
// text.
int FlatOpenDocumentFormat(std::string_view text);

// The package kind an Office Open XML content type names: a main part of a
// word processing document (DOCX), a presentation (PPTX) or a workbook
// (XLSX), with or without macros, as a document, template or slide show (a
// type of one of these families that ends in `.main+xml`, or `.main` for a
// binary workbook); DX_FMT_UNKNOWN for any other type.
int FormatFromMainPartType(std::string_view type);

// The format of one of Office's single-file XML documents, a text (as for
// XmlRootElement) whose root element is in the namespace it names in its
// start tag: a flat package (`package` in
// `http://schemas.microsoft.com/office/2006/xmlPackage`: DOCX, PPTX or XLSX
// as its main part's content type in the text, or else that part's usual
// name, or else the `mso-application` instruction's program tells), a Word
// 2003 XML document (`wordDocument` in
// `http://schemas.microsoft.com/office/word/2003/wordml`: DX_FMT_WORDML) or an
// Excel 2003 XML workbook (`Workbook` in
// `urn:schemas-microsoft-com:office:spreadsheet`: DX_FMT_SPREADSHEETML).
// DX_FMT_UNKNOWN for any other text, for a package whose kind the text does
// not tell and when the root's start tag is cut by the end of the text.
int FlatOfficeFormat(std::string_view text);

// Whether a document opening with `head` is a web archive as Safari saves it
// (`.webarchive`): a binary property list (`bplist00`) whose head holds the
// key `WebMainResource` as an ASCII string object, or a text (as for
// XmlRootElement) whose root element is `plist` and which holds the element
// `<key>WebMainResource</key>`. The archive reader checks the rest.
bool IsWebArchive(std::string_view head);

// The magic a Qt binary message catalog (`.qm`) opens with.
inline constexpr std::string_view kQtCatalogMagic{
    "\x3C\xB8\x64\x18\xCA\xEF\x9C\x95\xCD\x21\x1C\xBF\x60\xA1\xBD\xDD", 16};

// Whether `head` opens a Qt binary message catalog: its 16-byte magic. The
// catalog reader checks the rest.
bool IsQtCatalog(std::span<const unsigned char> head);

// Whether a text (as for XmlRootElement) is an XML message catalog: a Qt
// Linguist source catalog (`.ts`, root element `TS`) or an XLIFF document
// (`.xlf`, `.xliff`, root element `xliff`). Names compare with their case.
bool IsCatalogXml(std::string_view text);

// Where the program of a PostScript document lies. A document is PostScript
// when it starts with "%!PS" (EPS files with "%!PS-Adobe-3.0 EPSF" too),
// after a UTF-8 byte-order mark, a Ctrl-D or both; or with the binary header
// of a DOS EPS file (C5 D0 D3 C6, then the PostScript section's offset and
// length, little-endian) whose section lies inside the file and starts with
// "%!PS". `head`: the first bytes (at least the section's first four when it
// has a binary header: SniffHead reads them when they lie past its head);
// `size`: the whole document's length.
struct PostScriptSection {
    uint64_t offset;
    uint64_t length;
};
std::optional<PostScriptSection> PostScriptSectionOf(std::span<const unsigned char> head,
                                                     uint64_t size);

// Format code for a MIME type answered by libmagic.
int FormatFromMime(std::string_view mime);

// Format code of an ODF, OpenOffice.org 1.x, EPUB or HWPX package from the
// content of its `mimetype` entry (FormatFromOpenDocumentMime, then
// FormatFromStarOfficeMime, or EPUB for `application/epub+zip`, HWPX for
// `application/hwp+zip`); DX_FMT_ZIP for any other content.
int FormatFromPackageMime(std::string_view mime);

// Format code of an OpenDocument media type (trailing white space aside):
// text documents (with their templates, master documents and web page
// templates) ODT, spreadsheets ODS, presentations ODP, drawings ODG;
// DX_FMT_ZIP for any other (charts, images, formulas, databases).
int FormatFromOpenDocumentMime(std::string_view mime);

// Format code of an OpenOffice.org 1.x (StarOffice 6 and 7) media type,
// `application/vnd.sun.xml.` and the kind (trailing white space aside), as
// the OpenDocument kind that succeeded it: `writer`, `writer.template` and
// `writer.global` ODT, `calc` and its template ODS, `impress` and its
// template ODP, `draw` and its template ODG; DX_FMT_ZIP for any other
// (formulas `math`, charts, web pages).
int FormatFromStarOfficeMime(std::string_view mime);

}  // namespace dxf

#endif
