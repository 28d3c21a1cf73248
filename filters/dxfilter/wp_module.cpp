// wp_module.cpp - dxfilter_wp.so: the text of WordPerfect documents (5.x,
// 6 and later for DOS and Windows), read by libwpd.
//
// The document is read into memory whole (up to the bound of one archive
// member) and handed to libwpd, which calls the text interface below for
// every paragraph, span and note. libwpd reads a document in one call, so the
// first step runs it to its end: the main text goes straight to the sink;
// footnotes, endnotes and text boxes are held and follow the main text;
// headers, footers and comments are left out, as for the other word
// processor formats. When the sink is full or the document's CPU time is
// spent, the interface throws through the shared budget (revenge_text.h),
// which ends libwpd's parse at once.
// WordPerfect's character sets are libwpd's business: its text is UTF-8.
#include <libwpd/libwpd.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "doctype/dx_abi.h"
#include "filters/dxfilter/dx_module.h"
#include "filters/dxfilter/module_stream.h"
#include "filters/dxfilter/revenge_text.h"

namespace {

// Text of notes and text boxes held until the main text ends: more than the
// sink takes (512 Ki UTF-16 units) in any script.
constexpr size_t kMaxHeldBytes = 2u << 20;

// ---- the document in memory as a librevenge stream ---------------------------------

class MemoryInput final : public librevenge::RVNGInputStream {
  public:
    explicit MemoryInput(std::string_view bytes) : bytes_(bytes) {}

    bool isStructured() override { return false; }
    unsigned subStreamCount() override { return 0; }
    const char *subStreamName(unsigned) override { return nullptr; }
    bool existsSubStream(const char *) override { return false; }
    librevenge::RVNGInputStream *getSubStreamByName(const char *) override { return nullptr; }
    librevenge::RVNGInputStream *getSubStreamById(unsigned) override { return nullptr; }

    const unsigned char *read(unsigned long count, unsigned long &got) override {
        got = std::min<unsigned long>(count, bytes_.size() - pos_);
        if (got == 0) return nullptr;
        const auto *at = reinterpret_cast<const unsigned char *>(bytes_.data() + pos_);
        pos_ += got;
        return at;
    }
    int seek(long offset, librevenge::RVNG_SEEK_TYPE type) override {
        const long base = type == librevenge::RVNG_SEEK_CUR   ? static_cast<long>(pos_)
                          : type == librevenge::RVNG_SEEK_END ? static_cast<long>(bytes_.size())
                                                              : 0;
        if (offset > LONG_MAX - base) return -1;
        const long to = base + offset;
        // Like librevenge's own streams: a seek outside the bytes stops at
        // their nearest end and fails.
        pos_ = static_cast<size_t>(std::clamp<long>(to, 0, static_cast<long>(bytes_.size())));
        return to < 0 || to > static_cast<long>(bytes_.size()) ? -1 : 0;
    }
    long tell() override { return static_cast<long>(pos_); }
    bool isEnd() override { return pos_ >= bytes_.size(); }

  private:
    std::string_view bytes_;
    size_t pos_ = 0;
};

// ---- the text interface ------------------------------------------------------------

// Ends libwpd's parse through the budget (dxf::ParseEnded) when the sink is
// full or the time is spent.
class TextCollector final : public librevenge::RVNGTextInterface {
  public:
    TextCollector(DXMSink *sink, dxf::TextBudget &budget) : sink_(sink), budget_(budget) {}

    // Hands the held notes and text boxes to the sink.
    void Finish() {
        size_t from = 0;
        while (from < held_.size()) {
            size_t end = held_.find('\n', from);
            if (end == std::string::npos) end = held_.size();
            if (end > from && sink_->text(sink_->self, held_.data() + from, end - from)) return;
            sink_->brk(sink_->self);
            from = end + 1;
        }
    }
    void insertText(const librevenge::RVNGString &text) override { Text(text.cstr(), text.size()); }
    void insertSpace() override { Text(" ", 1); }
    void insertTab() override { Text(" ", 1); }
    void insertLineBreak() override { Break(); }

    void openParagraph(const librevenge::RVNGPropertyList &) override { Tick(); }
    void closeParagraph() override { Break(); }
    void openListElement(const librevenge::RVNGPropertyList &) override { Tick(); }
    void closeListElement() override { Break(); }
    void closeTableCell() override { Break(); }
    void closeTableRow() override { Break(); }

    // Headers, footers and comments are left out; notes and text boxes are
    // held. Either may hold the other (a note inside a header): the
    // outermost decides.
    void openHeader(const librevenge::RVNGPropertyList &) override { ++skipped_; }
    void closeHeader() override { Leave(skipped_); }
    void openFooter(const librevenge::RVNGPropertyList &) override { ++skipped_; }
    void closeFooter() override { Leave(skipped_); }
    void openComment(const librevenge::RVNGPropertyList &) override { ++skipped_; }
    void closeComment() override { Leave(skipped_); }
    void openFootnote(const librevenge::RVNGPropertyList &) override { Hold(); }
    void closeFootnote() override { Release(); }
    void openEndnote(const librevenge::RVNGPropertyList &) override { Hold(); }
    void closeEndnote() override { Release(); }
    void openTextBox(const librevenge::RVNGPropertyList &) override { Hold(); }
    void closeTextBox() override { Release(); }

    // Layout, styles, fields (page numbers, dates), objects and drawings
    // hold no text of the document's own.
    void setDocumentMetaData(const librevenge::RVNGPropertyList &) override {}
    void startDocument(const librevenge::RVNGPropertyList &) override {}
    void endDocument() override {}
    void definePageStyle(const librevenge::RVNGPropertyList &) override {}
    void defineEmbeddedFont(const librevenge::RVNGPropertyList &) override {}
    void openPageSpan(const librevenge::RVNGPropertyList &) override {}
    void closePageSpan() override {}
    void defineParagraphStyle(const librevenge::RVNGPropertyList &) override {}
    void defineCharacterStyle(const librevenge::RVNGPropertyList &) override {}
    void openSpan(const librevenge::RVNGPropertyList &) override {}
    void closeSpan() override {}
    void openLink(const librevenge::RVNGPropertyList &) override {}
    void closeLink() override {}
    void defineSectionStyle(const librevenge::RVNGPropertyList &) override {}
    void openSection(const librevenge::RVNGPropertyList &) override {}
    void closeSection() override {}
    void insertField(const librevenge::RVNGPropertyList &) override {}
    void openOrderedListLevel(const librevenge::RVNGPropertyList &) override {}
    void openUnorderedListLevel(const librevenge::RVNGPropertyList &) override {}
    void closeOrderedListLevel() override {}
    void closeUnorderedListLevel() override {}
    void openTable(const librevenge::RVNGPropertyList &) override {}
    void openTableRow(const librevenge::RVNGPropertyList &) override {}
    void openTableCell(const librevenge::RVNGPropertyList &) override {}
    void insertCoveredTableCell(const librevenge::RVNGPropertyList &) override {}
    void closeTable() override {}
    void openFrame(const librevenge::RVNGPropertyList &) override {}
    void closeFrame() override {}
    void insertBinaryObject(const librevenge::RVNGPropertyList &) override {}
    void insertEquation(const librevenge::RVNGPropertyList &) override {}
    void openGroup(const librevenge::RVNGPropertyList &) override {}
    void closeGroup() override {}
    void defineGraphicStyle(const librevenge::RVNGPropertyList &) override {}
    void drawRectangle(const librevenge::RVNGPropertyList &) override {}
    void drawEllipse(const librevenge::RVNGPropertyList &) override {}
    void drawPolygon(const librevenge::RVNGPropertyList &) override {}
    void drawPolyline(const librevenge::RVNGPropertyList &) override {}
    void drawPath(const librevenge::RVNGPropertyList &) override {}
    void drawConnector(const librevenge::RVNGPropertyList &) override {}

  private:
    void Tick() { budget_.Tick(); }
    void Text(const char *utf8, size_t length) {
        Tick();
        if (skipped_ > 0 || length == 0) return;
        if (held_depth_ > 0) {
            if (held_.size() + length <= kMaxHeldBytes) held_.append(utf8, length);
            return;
        }
        if (sink_->text(sink_->self, utf8, length)) budget_.Fill();
    }
    void Break() {
        Tick();
        if (skipped_ > 0) return;
        if (held_depth_ > 0) {
            if (held_.size() < kMaxHeldBytes) held_ += '\n';
            return;
        }
        sink_->brk(sink_->self);
    }
    void Hold() {
        if (skipped_ == 0) ++held_depth_;
    }
    void Release() {
        if (skipped_ > 0 || held_depth_ == 0) return;
        if (!held_.empty() && held_.back() != '\n' && held_.size() < kMaxHeldBytes) held_ += '\n';
        --held_depth_;
    }
    static void Leave(int &depth) {
        if (depth > 0) --depth;
    }

    DXMSink *sink_;
    dxf::TextBudget &budget_;
    int skipped_ = 0;     // inside a header, footer or comment
    int held_depth_ = 0;  // inside a note or text box
    std::string held_;    // their text, paragraphs ending in '\n'
};

// ---- the module --------------------------------------------------------------------

struct WpDocument {
    std::string bytes;
    int64_t deadlineNs;
    bool done = false;
};

DXMExtractor *wp_open(DXStream *stream, int64_t size, int format, const DXMLimits *limits) {
    if (!stream || !limits || format != DX_FMT_WORDPERFECT || size <= 0 ||
        static_cast<uint64_t>(size) > limits->maxPartBytes)
        return nullptr;
    try {
        auto doc = std::make_unique<WpDocument>();
        doc->deadlineNs = limits->deadlineNs;
        if (!dxf::ReadWholeStream(stream, size, doc->bytes)) return nullptr;
        // Anything but a document libwpd reads without a password (a
        // password-protected one, another WordPerfect Corporation file,
        // bytes it does not take for WordPerfect) is refused here.
        MemoryInput input(doc->bytes);
        if (libwpd::WPDocument::isFileFormatSupported(&input) != libwpd::WPD_CONFIDENCE_EXCELLENT)
            return nullptr;
        return reinterpret_cast<DXMExtractor *>(doc.release());
    } catch (...) {
        return nullptr;
    }
}

int wp_step(DXMExtractor *extractor, DXMSink *sink) {
    auto *doc = reinterpret_cast<WpDocument *>(extractor);
    if (doc->done) return 0;
    doc->done = true;
    try {
        MemoryInput input(doc->bytes);
        // The text goes straight to the sink, which bounds it: the budget
        // counts time only.
        dxf::TextBudget budget(doc->deadlineNs, SIZE_MAX);
        TextCollector text(sink, budget);
        libwpd::WPDResult result = libwpd::WPD_OK;
        try {
            result = libwpd::WPDocument::parse(&input, &text, nullptr);
        } catch (const dxf::ParseEnded &) {
        }
        // Full, or out of time: the pump tells which. (libwpd catches what
        // ended its parse.)
        if (budget.Ended()) return 0;
        // libwpd ends a damaged document with an error after the text
        // before the damage; the notes held so far still belong to it.
        text.Finish();
        return result == libwpd::WPD_OK ? 0 : -1;
    } catch (...) {
        return -1;
    }
}

void wp_close(DXMExtractor *extractor) {
    delete reinterpret_cast<WpDocument *>(extractor);
}

constexpr DXModule kModule = {DXM_ABI_VERSION, nullptr, nullptr, wp_open, wp_step, wp_close};

}  // namespace

extern "C" __attribute__((visibility("default"))) const DXModule *DXM_GetModule(void) {
    return &kModule;
}
