// compress_module.cpp - dxfilter_compress.so: the document inside a single
// gzip, bzip2, xz, zstd, lzip, LZ4, `.lzma` or `.Z` (Unix compress) stream.
//
// The first 8 KiB decompressed go through the filter's own format rules
// (sniff.cpp); the two that read past the head read on in the decompressed
// stream, within its bounds (InnerDocument). Text and markup are then
// decompressed lazily, 32 KiB a step, turned into UTF-8 (ICU: the form the
// rules found, else UTF-8 when it is valid, else the charset ICU's detector
// names, else windows-1252) and, for markup, stripped of tags, for troff
// source (manual pages) stripped of requests and escapes; PDF, RTF and office
// documents are decompressed whole into an anonymous file for the worker to
// hand to their module.
// Anything else inside (images, archives, another compressed stream, binary
// data) is refused. E-mail messages, plain or compressed, are read here too
// (mail_text.cpp), and so are Outlook message files (msg_text.cpp): their
// subject and text parts; so are message catalogs (GNU gettext .mo/.po, Qt
// .qm/.ts, XLIFF; catalog_text.cpp): their translations; and
// e-books (ebook_text.cpp): the text records of Mobipocket and PalmDoc
// books, the title, annotation and bodies of FictionBook documents; web
// archives (webarchive_text.cpp, plist.cpp): the page and its frames; and
// Hangul word processor documents (hwp_text.cpp): their paragraphs; and
// LaTeX and Texinfo sources, plain or compressed (tex_text.cpp): their prose.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "doctype/dx_abi.h"
#include "filters/dxfilter/catalog_text.h"
#include "filters/dxfilter/compress_text.h"
#include "filters/dxfilter/decompress.h"
#include "filters/dxfilter/dx_module.h"
#include "filters/dxfilter/ebook_text.h"
#include "filters/dxfilter/hwp_text.h"
#include "filters/dxfilter/mail_text.h"
#include "filters/dxfilter/module_stream.h"
#include "filters/dxfilter/msg_text.h"
#include "filters/dxfilter/tnef_text.h"
#include "filters/dxfilter/ole_scan.h"
#include "filters/dxfilter/rtf_reader.h"
#include "filters/dxfilter/sniff.h"
#include "filters/dxfilter/tex_text.h"
#include "filters/dxfilter/text_sink.h"
#include "filters/dxfilter/troff_text.h"
#include "filters/dxfilter/utf8.h"
#include "filters/dxfilter/webarchive_text.h"
#include "filters/dxfilter/zip_scan.h"

namespace dxf {
namespace {

// Decompressed bytes per step of a text.
constexpr size_t kStepBytes = 32 * 1024;

bool is_text_or_markup(int format) {
    return format == DX_FMT_TEXT || format == DX_FMT_HTML || format == DX_FMT_XML ||
           format == DX_FMT_SGML;
}

// Formats another module (or the worker's RTF reader) reads.
bool is_document(int format) {
    return format == DX_FMT_RTF || (format >= DX_FMT_PDF && format <= DX_FMT_PPT) ||
           format == DX_FMT_WORDPERFECT || format == DX_FMT_DJVU || format == DX_FMT_CHM ||
           format == DX_FMT_POSTSCRIPT || format == DX_FMT_ODG || format == DX_FMT_WORKS ||
           format == DX_FMT_WORKS_SHEET || format == DX_FMT_MSWRITE ||
           format == DX_FMT_POCKETWORD || format == DX_FMT_VISIO || format == DX_FMT_HWPX ||
           format == DX_FMT_WORDML || format == DX_FMT_SPREADSHEETML;
}

long read_stream(DXStream *stream, void *buffer, size_t count) {
    const int want = static_cast<int>(std::min<size_t>(count, INT_MAX));
    return stream->read(stream, buffer, want);
}

// What the module's extractors have in common.
class TextSource {
  public:
    virtual ~TextSource() = default;
    // 1 when more text may follow, 0 at the end.
    virtual int Step(DXMSink *sink) = 0;
};

// The text of a compressed text or markup document.
class CompressedText final : public TextSource {
  public:
    CompressedText(std::unique_ptr<Decompressor> dec, std::string head, int format)
        : dec_(std::move(dec)),
          head_(std::move(head)),
          decoder_(InitialCharset(head_, format != DX_FMT_TEXT), format != DX_FMT_TEXT),
          markup_(format != DX_FMT_TEXT),
          troff_(format == DX_FMT_TEXT && LooksLikeTroff(head_)),
          stripper_(format == DX_FMT_HTML) {}

    int Step(DXMSink *sink) override {
        std::string bytes;
        if (!headDone_) {
            bytes = std::move(head_);
            headDone_ = true;
        } else {
            bytes.resize(kStepBytes);
            bytes.resize(dec_->Read(bytes.data(), bytes.size()));
        }
        const bool last = dec_->state() != Decompressor::State::kReading;
        std::string utf8;
        decoder_.Decode(bytes, last, utf8);
        const bool full = markup_  ? !stripper_.Feed(utf8, sink)
                          : troff_ ? !troffStripper_.Feed(utf8, last, sink)
                                   : sink->text(sink->self, utf8.data(), utf8.size()) != 0;
        // A damaged or cut stream ends the text where it breaks.
        return full || last ? 0 : 1;
    }

  private:
    std::unique_ptr<Decompressor> dec_;
    std::string head_;
    bool headDone_ = false;
    TextDecoder decoder_;
    bool markup_;
    bool troff_;  // a manual page: its words, not its requests
    MarkupStripper stripper_;
    TroffStripper troffStripper_;
};

// Bytes of a LaTeX or Texinfo source that decide its charset.
constexpr size_t kTexHeadBytes = 64 * 1024;

// The prose of a LaTeX or Texinfo source (format 380 or 381), plain or
// compressed: read a step at a time, its first kTexHeadBytes deciding the
// charset (TexCharset), through the stripper.
class TexText final : public TextSource {
  public:
    // Reads up to `count` bytes; 0 at the end (or on an error).
    using ReadFn = std::function<long(char *buffer, size_t count)>;

    TexText(ReadFn read, std::string head, int format)
        : read_(std::move(read)),
          head_(std::move(head)),
          kind_(format == DX_FMT_TEXINFO ? TexKind::kTexinfo : TexKind::kLatex),
          stripper_(kind_) {}

    int Step(DXMSink *sink) override {
        std::string bytes;
        bool last;
        if (!decoder_) {
            bytes = std::move(head_);
            last = Fill(bytes, kTexHeadBytes);
            std::string charset = TexCharset(bytes, kind_, last);
            if (!CharsetKnown(charset)) charset = "windows-1252";
            decoder_ = std::make_unique<TextDecoder>(charset, false);
        } else {
            last = Fill(bytes, kStepBytes);
        }
        std::string utf8;
        decoder_->Decode(bytes, last, utf8);
        const bool full = !stripper_.Feed(utf8, last, sink);
        return full || last ? 0 : 1;
    }

  private:
    // Reads on until `bytes` holds `upTo`; true when the source ended first.
    bool Fill(std::string &bytes, size_t upTo) {
        while (bytes.size() < upTo) {
            const size_t at = bytes.size();
            bytes.resize(upTo);
            const long n = read_(bytes.data() + at, upTo - at);
            bytes.resize(at + static_cast<size_t>(std::max(n, 0L)));
            if (n <= 0) return true;
        }
        return false;
    }

    ReadFn read_;
    std::string head_;
    TexKind kind_;
    std::unique_ptr<TextDecoder> decoder_;  // once the head decided the charset
    TexStripper stripper_;
};

// Bytes of a message read: further bytes are not read.
constexpr size_t kMaxMailBytes = 64u << 20;

// Text put into a text sink of its own by `fill` (a step at a time; false
// once no more comes) and handed on into `sink`, laid out as the RTF
// reader's text is; false once `sink` is full.
template <class Fill>
bool laid_out_to_sink(Fill fill, DXMSink *sink, int64_t deadlineNs) {
    TextSink text(kMaxTextUnits);
    std::u16string units;
    bool more = true;
    while (more) {
        more = DXM_CpuNs() <= deadlineNs && !text.full() && fill(text);
        if (!more) text.Finish();
        for (text.Take(kChunkUnits, units); !units.empty(); text.Take(kChunkUnits, units)) {
            // The sink hands out whole pairs: each chunk decodes alone.
            std::string utf8;
            append_utf16_units(utf8, units);
            if (sink->text(sink->self, utf8.data(), utf8.size()) != 0) return false;
        }
    }
    return true;
}

// The text of an RTF body through the RTF reader into `sink`; false once the
// sink is full.
bool rtf_to_sink(std::string_view rtf, DXMSink *sink, int64_t deadlineNs) {
    MemoryStream memory(rtf);
    const std::unique_ptr<Extractor> reader = NewRtfExtractor(&memory.stream, deadlineNs);
    return laid_out_to_sink([&](TextSink &text) { return reader->Step(text) > 0; }, sink,
                            deadlineNs);
}

// Bytes of an RTF body's text (MailPiece::rtfText) put into the text sink a step.
constexpr size_t kRtfTextStepBytes = 64 * 1024;

// The text the RTF reader read from an RTF body (RtfToUtf8: a paragraph's
// end a line feed, a tab a tab), laid out as rtf_to_sink lays it out.
bool rtf_text_to_sink(std::string_view utf8, DXMSink *sink, int64_t deadlineNs) {
    size_t at = 0;
    const auto fill = [&](TextSink &text) {
        const std::string_view step = utf8.substr(at, kRtfTextStepBytes);
        at += step.size();
        text.AddUtf8(step);
        return at < utf8.size();
    };
    return laid_out_to_sink(fill, sink, deadlineNs);
}

// The text of an e-mail message or mbox (plain or compressed) or of an
// Outlook message file, read whole on opening and handed out a piece a step.
class MailText final : public TextSource {
  public:
    MailText(std::vector<MailPiece> pieces, int64_t deadlineNs)
        : pieces_(std::move(pieces)), deadlineNs_(deadlineNs) {}

    int Step(DXMSink *sink) override {
        if (next_ >= pieces_.size()) return 0;
        const MailPiece &piece = pieces_[next_++];
        bool full;
        if (piece.html) {
            MarkupStripper stripper(true);
            full = !stripper.Feed(piece.utf8, sink);
        } else if (piece.rtf) {
            full = !rtf_to_sink(piece.utf8, sink, deadlineNs_);
        } else if (piece.rtfText) {
            full = !rtf_text_to_sink(piece.utf8, sink, deadlineNs_);
        } else {
            full = sink->text(sink->self, piece.utf8.data(), piece.utf8.size()) != 0;
        }
        sink->brk(sink->self);
        return full || next_ >= pieces_.size() ? 0 : 1;
    }

  private:
    std::vector<MailPiece> pieces_;
    int64_t deadlineNs_;
    size_t next_ = 0;
};

// The text source of the bytes of a message: an Outlook message file (a
// compound file), a TNEF stream, else a message or mbox; null for a compound
// file whose message cannot be read.
TextSource *open_mail_bytes(std::string_view bytes, int64_t deadlineNs) {
    MailBounds bounds;
    bounds.deadlineNs = deadlineNs;
    if (bytes.starts_with("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1")) {
        auto pieces = ReadOutlookMessage(bytes, bounds);
        return pieces ? new MailText(std::move(*pieces), deadlineNs) : nullptr;
    }
    if (IsTnef(bytes)) return new MailText(*ReadTnef(bytes, bounds, true), deadlineNs);
    return new MailText(ReadMail(bytes, bounds), deadlineNs);
}

// Bytes of a catalog read: a binary catalog beyond them is refused (its
// strings lie outside what was read), a `.po` catalog ends there.
constexpr size_t kMaxCatalogBytes = 64u << 20;
// Catalog lines handed to the sink a step.
constexpr size_t kCatalogLinesPerStep = 256;

// Lines read whole on opening, handed out a step at a time: the
// translations of a message catalog, the paragraphs of a FictionBook.
class TextLines final : public TextSource {
  public:
    explicit TextLines(std::vector<std::string> lines) : lines_(std::move(lines)) {}

    int Step(DXMSink *sink) override {
        const size_t end = std::min(lines_.size(), next_ + kCatalogLinesPerStep);
        for (; next_ < end; ++next_) {
            const std::string &line = lines_[next_];
            const bool full = sink->text(sink->self, line.data(), line.size()) != 0;
            sink->brk(sink->self);
            if (full) return 0;
        }
        return next_ < lines_.size() ? 1 : 0;
    }

  private:
    std::vector<std::string> lines_;
    size_t next_ = 0;
};

// The extractor of a catalog's bytes; null when the catalog is refused.
DXMExtractor *catalog_extractor(std::string_view bytes, int64_t deadlineNs) {
    CatalogBounds bounds;
    bounds.deadlineNs = deadlineNs;
    CatalogText text = ReadCatalog(bytes, bounds);
    if (!text.ok) return nullptr;
    return reinterpret_cast<DXMExtractor *>(
        static_cast<TextSource *>(new TextLines(std::move(text.lines))));
}

// Bytes of an e-book read: further bytes are not read.
constexpr size_t kMaxBookBytes = 64u << 20;
// Bytes of a book's text handed to the sink (or its tag stripper) a step.
constexpr size_t kBookStepBytes = 64 * 1024;

// The text of a Mobipocket or PalmDoc book: its decompressed records in
// UTF-8, stripped of their markup (Mobipocket) a piece a step.
class BookText final : public TextSource {
  public:
    BookText(std::string utf8, bool html) : utf8_(std::move(utf8)), html_(html), stripper_(true) {}

    int Step(DXMSink *sink) override {
        size_t end = std::min(utf8_.size(), next_ + kBookStepBytes);
        // Pieces end between characters.
        while (end < utf8_.size() && end > next_ &&
               (static_cast<unsigned char>(utf8_[end]) & 0xC0) == 0x80)
            --end;
        if (end == next_) end = std::min(utf8_.size(), next_ + kBookStepBytes);
        const std::string_view piece = std::string_view(utf8_).substr(next_, end - next_);
        next_ = end;
        const bool full = html_ ? !stripper_.Feed(piece, sink)
                                : sink->text(sink->self, piece.data(), piece.size()) != 0;
        return full || next_ >= utf8_.size() ? 0 : 1;
    }

  private:
    std::string utf8_;
    bool html_;
    MarkupStripper stripper_;
    size_t next_ = 0;
};

// The extractor of an e-book's bytes (format 350 or 351); null when the
// book is refused.
DXMExtractor *ebook_extractor(std::string_view bytes, int format, int64_t deadlineNs) {
    EbookBounds bounds;
    bounds.deadlineNs = deadlineNs;
    if (format == DX_FMT_FICTIONBOOK) {
        FictionBookText text = ReadFictionBook(bytes, bounds);
        if (!text.ok) return nullptr;
        return reinterpret_cast<DXMExtractor *>(
            static_cast<TextSource *>(new TextLines(std::move(text.lines))));
    }
    PalmBook book = ReadPalmBook(bytes, bounds);
    if (!book.ok) return nullptr;
    std::string utf8 = DecodeText(book.bytes, book.charset, book.html);
    return reinterpret_cast<DXMExtractor *>(
        static_cast<TextSource *>(new BookText(std::move(utf8), book.html)));
}

// Bytes of a Hangul document read: a longer one is refused (its compound
// file does not lie whole in what was read).
constexpr size_t kMaxHwpBytes = 64u << 20;

// The extractor of a Hangul document's bytes; null when it is refused.
DXMExtractor *hwp_extractor(std::string_view bytes, const DXMLimits &limits) {
    HwpBounds bounds;
    bounds.maxSectionBytes = static_cast<size_t>(std::min<uint64_t>(limits.maxPartBytes, SIZE_MAX));
    bounds.maxTotalBytes = static_cast<size_t>(std::min<uint64_t>(limits.maxTotalBytes, SIZE_MAX));
    if (limits.maxParts) bounds.maxSections = limits.maxParts;
    bounds.deadlineNs = limits.deadlineNs;
    HwpText text = ReadHwp(bytes, bounds);
    if (!text.ok) return nullptr;
    return reinterpret_cast<DXMExtractor *>(
        static_cast<TextSource *>(new TextLines(std::move(text.text.lines))));
}

// Bytes of a web archive read: a binary list beyond them is refused (its
// trailer lies outside what was read), so is an XML one.
constexpr size_t kMaxArchiveBytes = 64u << 20;

// The pages of a web archive, read on opening, each decoded and handed to
// the sink (HTML through the tag stripper) in a step of its own.
class WebArchiveText final : public TextSource {
  public:
    explicit WebArchiveText(std::string bytes) : bytes_(std::move(bytes)) {}

    bool Open(int64_t deadlineNs) {
        WebArchiveBounds bounds;
        bounds.deadlineNs = deadlineNs;
        return archive_.Read(bytes_, bounds);
    }

    int Step(DXMSink *sink) override {
        const std::vector<WebPage> &pages = archive_.pages();
        if (next_ >= pages.size()) return 0;
        const WebPage &page = pages[next_++];
        const std::string utf8 = DecodeText(page.bytes, page.charset, page.html);
        bool full;
        if (page.html) {
            MarkupStripper stripper(true);
            full = !stripper.Feed(utf8, sink);
        } else {
            full = sink->text(sink->self, utf8.data(), utf8.size()) != 0;
        }
        sink->brk(sink->self);
        return full || next_ >= pages.size() ? 0 : 1;
    }

  private:
    std::string bytes_;  // the archive, which its pages point into
    WebArchive archive_;
    size_t next_ = 0;
};

// The extractor of a web archive's bytes; null when the archive is refused.
DXMExtractor *webarchive_extractor(std::string bytes, int64_t deadlineNs) {
    auto text = std::make_unique<WebArchiveText>(std::move(bytes));
    if (!text->Open(deadlineNs)) return nullptr;
    return reinterpret_cast<DXMExtractor *>(static_cast<TextSource *>(text.release()));
}

// Reads up to `cap` bytes with `read`; false on a read error.
template <typename ReadFn>
bool read_up_to(ReadFn read, size_t cap, std::string &out) {
    // Read straight into `out`, in steps that start small and double, so
    // that a message of a few kilobytes clears no more than it needs.
    size_t step = 16 * 1024;
    while (out.size() < cap) {
        const size_t at = out.size();
        const size_t want = std::min(step, cap - at);
        out.resize(at + want);
        const long n = read(out.data() + at, want);
        out.resize(at + static_cast<size_t>(std::max(n, 0L)));
        if (n < 0) return false;
        if (n == 0) break;
        step = std::min<size_t>(step * 2, 256 * 1024);
    }
    return true;
}

// Up to `cap` bytes of the document from its start; false when it cannot be
// positioned or read.
bool read_document(DXStream *stream, size_t cap, std::string &out) {
    return stream->seek(stream, 0, DX_SEEK_SET) &&
           read_up_to([stream](void *b, size_t n) { return read_stream(stream, b, n); }, cap, out);
}

// Writes all of `data` to `fd`.
bool write_all(int fd, const void *data, size_t count) {
    const auto *p = static_cast<const char *>(data);
    while (count > 0) {
        const ssize_t n = write(fd, p, count);
        if (n <= 0) return false;
        p += n, count -= static_cast<size_t>(n);
    }
    return true;
}

// Decompressed bytes written to an inner document's file a step.
constexpr size_t kUnpackStepBytes = 256 * 1024;

// `count` bytes of the file `fd` from `at`; false when it ends before them.
bool read_at(int fd, uint64_t at, void *buffer, size_t count) {
    auto *out = static_cast<char *>(buffer);
    while (count > 0) {
        const ssize_t n = pread(fd, out, count, static_cast<off_t>(at));
        if (n <= 0) return false;
        out += n, at += static_cast<uint64_t>(n), count -= static_cast<size_t>(n);
    }
    return true;
}

// The format of a whole inner document the head alone did not settle.
int settle_inner_format(const SniffResult &r, const std::string &head, int fd, int64_t size) {
    const ReadAtFn readAt = [fd](uint64_t at, void *buffer, size_t count) {
        return read_at(fd, at, buffer, count);
    };
    if (r.next == SniffNext::kZip) {
        const int format = ZipFormatFromDirectory(static_cast<uint64_t>(size), readAt);
        // Unknown: the worker asks the office module; a plain archive is refused.
        if (format == DX_FMT_UNKNOWN) return DX_FMT_ZIP;
        return format == DX_FMT_ZIP ? DX_FMT_UNKNOWN : format;
    }
    if (r.next == SniffNext::kOle) {
        const auto bytes =
            std::span(reinterpret_cast<const unsigned char *>(head.data()), head.size());
        const int format = OleFormatFromDirectory(bytes, readAt);
        return format == DX_FMT_DOC || format == DX_FMT_XLS || format == DX_FMT_PPT ||
                       format == DX_FMT_MAIL || format == DX_FMT_HWP
                   ? format
                   : DX_FMT_UNKNOWN;
    }
    return r.format;
}

// The decompressed document read by position, for the format rules that look
// past its head: the decompressor goes on to the last byte asked for (never
// further, nor past the cap). Once a read goes past the head, what the
// decompressor gave from the first byte is kept in an anonymous file: reads
// behind it come from there, and a document unpacked whole (Unpack) goes on
// from where the rules left off, so that no part of it is decompressed
// twice. One decompressor at a time.
class InnerDocument {
  public:
    InnerDocument(DXStream *stream, Codec codec, const DXMLimits &limits)
        : stream_(stream), codec_(codec), limits_(limits) {}
    InnerDocument(const InnerDocument &) = delete;
    InnerDocument &operator=(const InnerDocument &) = delete;
    ~InnerDocument() { Drop(); }

    // Starts decompressing from the first byte; false when the stream cannot
    // be positioned (no decompressor then: every read fails).
    bool Start() {
        dec_.reset();
        Drop();
        if (!stream_->seek(stream_, 0, DX_SEEK_SET)) return false;
        DXStream *stream = stream_;
        dec_ = Decompressor::Make(
            codec_,
            [stream](void *buffer, size_t count) { return read_stream(stream, buffer, count); },
            limits_.maxPartBytes, limits_.deadlineNs);
        return true;
    }

    // The first bytes, up to `count`, read from the start.
    std::string ReadHead(size_t count) {
        std::string head(count, '\0');
        head.resize(dec_->Read(head.data(), head.size()));
        head_ = head;
        return head;
    }

    Decompressor &dec() { return *dec_; }
    std::unique_ptr<Decompressor> Take() {
        Drop();
        return std::move(dec_);
    }

    // `count` bytes from `at`; false when the document ends (see end()), is
    // damaged, over the cap or over time before them.
    bool ReadAt(uint64_t at, void *buffer, size_t count) {
        if (!dec_ || at > limits_.maxPartBytes || count > limits_.maxPartBytes - at) return false;
        if (!Keep(at + count) || dec_->produced() < at + count) return false;
        return read_at(fd_, at, buffer, count);
    }

    // The document's length, once a read found its clean end.
    std::optional<uint64_t> end() const { return end_; }

    // Makes the decompressor go on after the first `at` bytes, as it did
    // before the reads past them; false when the stream cannot be positioned.
    bool Resume(uint64_t at) {
        if (dec_ && dec_->produced() == at) return true;
        if (!Start()) return false;
        std::string scratch;
        while (dec_->produced() < at && dec_->state() == Decompressor::State::kReading) {
            scratch.resize(
                static_cast<size_t>(std::min<uint64_t>(at - dec_->produced(), 64 * 1024)));
            dec_->Read(scratch.data(), scratch.size());
        }
        return true;
    }

    // The whole document in an anonymous file (the caller closes it), its
    // length in `size`; -1 when it is over the cap, over time or asks for
    // too much memory (a damaged stream keeps what came before the damage).
    int Unpack(int64_t &size) {
        if (!dec_ || !Keep(UINT64_MAX)) return -1;
        const auto end = dec_->state();
        if (end == Decompressor::State::kOverCap || end == Decompressor::State::kRefused ||
            end == Decompressor::State::kTimeout)
            return -1;
        size = static_cast<int64_t>(dec_->produced());
        return std::exchange(fd_, -1);
    }

  private:
    // Decompresses on to `upTo` bytes (or as far as the document goes),
    // keeping every byte in the file, which starts with the head; false
    // when the file cannot be written.
    bool Keep(uint64_t upTo) {
        if (fd_ < 0) {
            // The file holds what the decompressor gave: the head alone.
            if (dec_->produced() != head_.size()) return false;
            fd_ = memfd_create("glotta-inner", MFD_CLOEXEC);
            if (fd_ < 0 || !write_all(fd_, head_.data(), head_.size())) return false;
        }
        std::string buffer;
        while (dec_->produced() < upTo && dec_->state() == Decompressor::State::kReading) {
            buffer.resize(
                static_cast<size_t>(std::min<uint64_t>(upTo - dec_->produced(), kUnpackStepBytes)));
            const size_t n = dec_->Read(buffer.data(), buffer.size());
            if (!write_all(fd_, buffer.data(), n)) return false;
        }
        if (dec_->state() == Decompressor::State::kEnd) end_ = dec_->produced();
        return true;
    }

    void Drop() {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }

    DXStream *stream_;
    Codec codec_;
    const DXMLimits &limits_;
    std::unique_ptr<Decompressor> dec_;
    std::string head_;  // the first bytes the decompressor gave
    int fd_ = -1;       // the document's first bytes, once a read went past the head
    std::optional<uint64_t> end_;
};

int unpack(DXStream *stream, int64_t size, const DXMLimits *limits, DXMExtractor **extractor,
           DXMInner *inner) {
    if (!extractor || !inner) return 0;
    *extractor = nullptr;
    *inner = DXMInner{-1, 0, DX_FMT_UNKNOWN};
    if (!stream || !limits || size <= 0) return 0;
    try {
        unsigned char signature[16];
        if (!stream->seek(stream, 0, DX_SEEK_SET)) return 0;
        const long got = read_stream(stream, signature, sizeof signature);
        const auto codec = got > 0 ? CodecOf({signature, static_cast<size_t>(got)}) : std::nullopt;
        if (!codec) return 0;
        InnerDocument inside(stream, *codec, *limits);
        if (!inside.Start()) return 0;
        std::string head = inside.ReadHead(kSniffBytes);
        const Decompressor::State headState = inside.dec().state();
        // A stream that ends cleanly without giving a byte holds an empty
        // document: an empty text, as an empty file is (the rules take no
        // bytes for text). One that gives nothing because it is cut or
        // damaged is refused.
        if (head.empty() && headState != Decompressor::State::kEnd) return 0;
        const auto headBytes =
            std::span(reinterpret_cast<const unsigned char *>(head.data()), head.size());
        // The head is the whole document only when the stream ended there.
        const uint64_t sniffSize = headState == Decompressor::State::kReading
                                       ? UINT64_MAX
                                       : static_cast<uint64_t>(head.size());
        const ReadAtFn readAt = [&inside](uint64_t at, void *buffer, size_t count) {
            return inside.ReadAt(at, buffer, count);
        };
        SniffResult r = SniffHead(headBytes, sniffSize, readAt);
        // A read past the head that came to the document's end tells its
        // length: the rules answer as for the uncompressed document.
        if (sniffSize == UINT64_MAX && inside.end())
            r = SniffHead(headBytes, *inside.end(), readAt);
        const bool document = r.next == SniffNext::kZip || r.next == SniffNext::kOle ||
                              (r.next == SniffNext::kDone && is_document(r.format));
        if (document) {
            // On from where the rules left the decompressor.
            int64_t innerSize = 0;
            const int fd = inside.Unpack(innerSize);
            if (fd < 0) return 0;
            const int format = settle_inner_format(r, head, fd, innerSize);
            if (format == DX_FMT_UNKNOWN) {
                close(fd);
                return 0;
            }
            *inner = DXMInner{fd, innerSize, format};
            return 2;
        }
        if (!inside.Resume(head.size())) return 0;
        auto dec = inside.Take();
        if (r.next == SniffNext::kDone && r.format == DX_FMT_MAIL) {
            std::string bytes = std::move(head);
            read_up_to([&](void *b, size_t n) { return static_cast<long>(dec->Read(b, n)); },
                       kMaxMailBytes, bytes);
            *extractor =
                reinterpret_cast<DXMExtractor *>(open_mail_bytes(bytes, limits->deadlineNs));
            return *extractor ? 1 : 0;
        }
        if (r.next == SniffNext::kDone && r.format == DX_FMT_CATALOG) {
            std::string bytes = std::move(head);
            read_up_to([&](void *b, size_t n) { return static_cast<long>(dec->Read(b, n)); },
                       kMaxCatalogBytes, bytes);
            *extractor = catalog_extractor(bytes, limits->deadlineNs);
            return *extractor ? 1 : 0;
        }
        if (r.next == SniffNext::kDone &&
            (r.format == DX_FMT_PALMBOOK || r.format == DX_FMT_FICTIONBOOK)) {
            std::string bytes = std::move(head);
            read_up_to([&](void *b, size_t n) { return static_cast<long>(dec->Read(b, n)); },
                       kMaxBookBytes, bytes);
            *extractor = ebook_extractor(bytes, r.format, limits->deadlineNs);
            return *extractor ? 1 : 0;
        }
        if (r.next == SniffNext::kDone && r.format == DX_FMT_WEBARCHIVE) {
            std::string bytes = std::move(head);
            read_up_to([&](void *b, size_t n) { return static_cast<long>(dec->Read(b, n)); },
                       kMaxArchiveBytes, bytes);
            *extractor = webarchive_extractor(std::move(bytes), limits->deadlineNs);
            return *extractor ? 1 : 0;
        }
        if (r.next == SniffNext::kDone && (r.format == DX_FMT_TEX || r.format == DX_FMT_TEXINFO)) {
            std::shared_ptr<Decompressor> source(std::move(dec));
            const auto read = [source](char *buffer, size_t count) {
                return static_cast<long>(source->Read(buffer, count));
            };
            *extractor = reinterpret_cast<DXMExtractor *>(
                static_cast<TextSource *>(new TexText(read, std::move(head), r.format)));
            return 1;
        }
        if (r.next == SniffNext::kDone && is_text_or_markup(r.format)) {
            *extractor = reinterpret_cast<DXMExtractor *>(static_cast<TextSource *>(
                new CompressedText(std::move(dec), std::move(head), r.format)));
            return 1;
        }
        return 0;
    } catch (...) {
        return 0;
    }
}

// An e-mail message or mbox, read whole (up to kMaxMailBytes).
DXMExtractor *mail_open(DXStream *stream, const DXMLimits *limits) {
    try {
        std::string bytes;
        if (!stream || !limits || !read_document(stream, kMaxMailBytes, bytes)) return nullptr;
        return reinterpret_cast<DXMExtractor *>(open_mail_bytes(bytes, limits->deadlineNs));
    } catch (...) {
        return nullptr;
    }
}

// A message catalog, read whole (up to kMaxCatalogBytes).
DXMExtractor *catalog_open(DXStream *stream, const DXMLimits *limits) {
    try {
        std::string bytes;
        if (!stream || !limits || !read_document(stream, kMaxCatalogBytes, bytes)) return nullptr;
        return catalog_extractor(bytes, limits->deadlineNs);
    } catch (...) {
        return nullptr;
    }
}

// An e-book, read whole (up to kMaxBookBytes).
DXMExtractor *ebook_open(DXStream *stream, int format, const DXMLimits *limits) {
    try {
        std::string bytes;
        if (!stream || !limits || !read_document(stream, kMaxBookBytes, bytes)) return nullptr;
        return ebook_extractor(bytes, format, limits->deadlineNs);
    } catch (...) {
        return nullptr;
    }
}

// A Hangul document, read whole (up to kMaxHwpBytes).
DXMExtractor *hwp_open(DXStream *stream, const DXMLimits *limits) {
    try {
        std::string bytes;
        if (!stream || !limits || !read_document(stream, kMaxHwpBytes, bytes)) return nullptr;
        return hwp_extractor(bytes, *limits);
    } catch (...) {
        return nullptr;
    }
}

// A web archive, read whole (up to kMaxArchiveBytes).
DXMExtractor *webarchive_open(DXStream *stream, const DXMLimits *limits) {
    try {
        std::string bytes;
        if (!stream || !limits || !read_document(stream, kMaxArchiveBytes, bytes)) return nullptr;
        return webarchive_extractor(std::move(bytes), limits->deadlineNs);
    } catch (...) {
        return nullptr;
    }
}

// A LaTeX or Texinfo source, read a step at a time.
DXMExtractor *tex_open(DXStream *stream, int format) {
    try {
        if (!stream || !stream->seek(stream, 0, DX_SEEK_SET)) return nullptr;
        const auto read = [stream](char *buffer, size_t count) {
            return read_stream(stream, buffer, count);
        };
        return reinterpret_cast<DXMExtractor *>(
            static_cast<TextSource *>(new TexText(read, std::string(), format)));
    } catch (...) {
        return nullptr;
    }
}

DXMExtractor *compress_open(DXStream *stream, int64_t size, int format, const DXMLimits *limits) {
    if (format == DX_FMT_MAIL) return mail_open(stream, limits);
    if (format == DX_FMT_CATALOG) return catalog_open(stream, limits);
    if (format == DX_FMT_PALMBOOK || format == DX_FMT_FICTIONBOOK)
        return ebook_open(stream, format, limits);
    if (format == DX_FMT_HWP) return hwp_open(stream, limits);
    if (format == DX_FMT_WEBARCHIVE) return webarchive_open(stream, limits);
    if (format == DX_FMT_TEX || format == DX_FMT_TEXINFO) return tex_open(stream, format);
    if (format != DX_FMT_COMPRESSED) return nullptr;
    DXMExtractor *extractor = nullptr;
    DXMInner inner{};
    if (unpack(stream, size, limits, &extractor, &inner) == 2) close(inner.fd);
    return extractor;
}

int compress_step(DXMExtractor *extractor, DXMSink *sink) {
    try {
        return reinterpret_cast<TextSource *>(extractor)->Step(sink);
    } catch (...) {
        return -1;
    }
}

void compress_close(DXMExtractor *extractor) {
    delete reinterpret_cast<TextSource *>(extractor);
}

constexpr DXMUnpackModule kModule = {
    {DXM_ABI_VERSION, nullptr, nullptr, compress_open, compress_step, compress_close}, unpack};

}  // namespace
}  // namespace dxf

extern "C" __attribute__((visibility("default"))) const DXModule *DXM_GetModule(void) {
    return &dxf::kModule.module;
}
