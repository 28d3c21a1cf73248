// djvu_module.cpp - dxfilter_djvu.so: the hidden text layer of DjVu
// documents (a single page, `FORM:DJVU`, or bundled pages, `FORM:DJVM`),
// read by DjVuLibre's decoding interface.
//
// The document is read into memory whole (up to the bound of one archive
// member) and written to DjVuLibre as the document's one stream, which is
// then closed: every page a bundled document names lies in those bytes, and
// anything else DjVuLibre asks for (the pages of an indirect document, files
// a page includes) is refused at once. An indirect document, whose pages are
// files of their own, is refused on opening.
//
// DjVuLibre decodes the document's directory in a thread of its own and
// posts messages as it goes. The module waits for them on a condition
// variable signalled by DjVuLibre's message callback, in slices, and stops
// waiting when the document's time is spent: the time of the decoding
// threads counts, so the process's CPU time is measured against the CPU time
// the document had left on opening, with a wall-clock bound for a decoder
// that blocks. Each step reads the text of one page, in page order: the
// whole page's text, in which DjVuLibre ends lines, paragraphs, regions and
// columns with control characters; each ends a line here. A page without a
// text layer gives no text.
#include <libdjvu/ddjvuapi.h>
#include <libdjvu/miniexp.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "doctype/dx_abi.h"
#include "filters/dxfilter/dx_module.h"
#include "filters/dxfilter/module_stream.h"

namespace {

// How long the module waits for DjVuLibre's threads without a message, at
// most, before it looks at the time again.
constexpr auto kWaitSlice = std::chrono::milliseconds(20);

// Wall-clock bound on waiting for one document's decoding threads: beyond
// any document whose CPU time is not yet spent, for a decoder that blocks.
constexpr int64_t kMaxWaitWallNs = 5'000'000'000;

int64_t ProcessCpuNs() {
    struct timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

uint32_t be32(std::string_view b, size_t at) {
    return static_cast<uint32_t>(static_cast<unsigned char>(b[at])) << 24 |
           static_cast<uint32_t>(static_cast<unsigned char>(b[at + 1])) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(b[at + 2])) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(b[at + 3]));
}

// Whether DjVuLibre can read the document from its own bytes: a single page,
// or a multi-page document whose directory (`DIRM`, the form's first chunk)
// says its pages are bundled in the file (the flag's top bit). The pages of
// an indirect document are files of their own that the module cannot reach.
bool IsSelfContained(std::string_view b) {
    if (b.size() < 16 || b.compare(0, 8, "AT&TFORM") != 0) return false;
    const std::string_view form = b.substr(12, 4);
    if (form == "DJVU") return true;
    if (form != "DJVM" || b.size() < 25 || b.compare(16, 4, "DIRM") != 0) return false;
    return be32(b, 20) >= 3 && (static_cast<unsigned char>(b[24]) & 0x80) != 0;
}

// DjVuLibre's message callback: runs on its threads, and only wakes the
// waiting module.
struct Signal {
    std::mutex mutex;
    std::condition_variable posted;
    bool pending = false;

    static void Callback(ddjvu_context_t *, void *closure) {
        auto *self = static_cast<Signal *>(closure);
        {
            std::lock_guard<std::mutex> lock(self->mutex);
            self->pending = true;
        }
        self->posted.notify_one();
    }
};

class DjvuDocument {
  public:
    DjvuDocument(int64_t deadlineNs, uint32_t maxPages)
        : maxPages_(maxPages), waitUntilWallNs_(DXM_WallNs() + kMaxWaitWallNs) {
        // The CPU time left to the document (a deadline may stand for "no
        // bound": INT64_MAX), moved onto the process's clock.
        const int64_t now = DXM_CpuNs(), process = ProcessCpuNs();
        const int64_t left = deadlineNs > now ? deadlineNs - now : 0;
        stopAtProcessNs_ = left > INT64_MAX - process ? INT64_MAX : process + left;
    }
    ~DjvuDocument() {
        if (doc_) {
            if (first_ != miniexp_nil) ddjvu_miniexp_release(doc_, first_);
            ddjvu_document_release(doc_);
            Drain();
        }
        if (context_) {
            ddjvu_message_set_callback(context_, nullptr, nullptr);
            ddjvu_context_release(context_);
        }
    }
    DjvuDocument(const DjvuDocument &) = delete;
    DjvuDocument &operator=(const DjvuDocument &) = delete;

    // Hands DjVuLibre the bytes and waits until the directory is decoded.
    // False for a document it cannot read, or whose time ran out first.
    bool Open(std::string bytes) {
        bytes_ = std::move(bytes);
        context_ = ddjvu_context_create("glotta");
        if (!context_) return false;
        ddjvu_cache_set_size(context_, 0);
        ddjvu_message_set_callback(context_, &Signal::Callback, &signal_);
        doc_ = ddjvu_document_create(context_, nullptr, 0);
        if (!doc_) return false;
        for (size_t at = 0; at < bytes_.size();) {
            const int n = static_cast<int>(std::min<size_t>(bytes_.size() - at, INT_MAX / 2));
            ddjvu_stream_write(doc_, 0, bytes_.data() + at, static_cast<unsigned long>(n));
            at += static_cast<size_t>(n);
        }
        ddjvu_stream_close(doc_, 0, 0);
        while (!ddjvu_document_decoding_done(doc_))
            if (!Wait()) return false;
        if (ddjvu_document_decoding_status(doc_) != DDJVU_JOB_OK) return false;
        const int pages = ddjvu_document_get_pagenum(doc_);
        pages_ = pages > 0 ? std::min<uint32_t>(static_cast<uint32_t>(pages), maxPages_) : 0;
        // The first page is read here, so that a document whose first page
        // cannot be read is refused rather than empty.
        return pages_ == 0 || Fetch(0, first_);
    }

    // The text of the next page: 1 when more pages follow, 0 at the end. A
    // later page that cannot be read (damaged, cut off) or whose fetch ran
    // out of the document's time ends the text after the pages before it,
    // as a PDF's or a PostScript document's does. (A page's text is decoded
    // on this thread, whose time the worker's own deadline counts.)
    int Step(DXMSink *sink) {
        if (page_ >= pages_) return 0;
        miniexp_t text = first_;
        first_ = miniexp_nil;
        if (page_ > 0 && !Fetch(page_, text)) {
            page_ = pages_;
            return 0;
        }
        // (page x0 y0 x1 y1 "text"), or nil for a page without text.
        const miniexp_t string = miniexp_nth(5, text);
        const bool full = miniexp_stringp(string) && Emit(miniexp_to_str(string), sink);
        if (text != miniexp_nil) ddjvu_miniexp_release(doc_, text);
        ++page_;
        return !full && page_ < pages_ ? 1 : 0;
    }

  private:
    // The text of page `page` as DjVuLibre gives it; false when the page
    // cannot be read or the waits for it ran out of time.
    bool Fetch(uint32_t page, miniexp_t &text) {
        while ((text = ddjvu_document_get_pagetext(doc_, static_cast<int>(page), "page")) ==
               miniexp_dummy)
            if (!Wait()) return false;
        return text != miniexp_symbol("failed") && text != miniexp_symbol("stopped");
    }

    // Empties the queue, refusing every further stream DjVuLibre asks for.
    void Drain() {
        while (const ddjvu_message_t *message = ddjvu_message_peek(context_)) {
            if (message->m_any.tag == DDJVU_NEWSTREAM && doc_ && message->m_newstream.streamid != 0)
                ddjvu_stream_close(doc_, message->m_newstream.streamid, 1);
            ddjvu_message_pop(context_);
        }
    }

    // Handles the messages posted so far, or waits for the next; false once
    // the document's time is spent.
    bool Wait() {
        Drain();
        if (ProcessCpuNs() > stopAtProcessNs_ || DXM_WallNs() > waitUntilWallNs_) return false;
        std::unique_lock<std::mutex> lock(signal_.mutex);
        signal_.posted.wait_for(lock, kWaitSlice, [this] { return signal_.pending; });
        signal_.pending = false;
        return true;
    }

    // Hands a page's text to the sink; DjVuLibre's separators of columns
    // (VT), regions (GS), paragraphs (US) and lines (LF) end a line, other
    // control characters are spaces. True once the sink is full.
    static bool Emit(const char *utf8, DXMSink *sink) {
        std::string_view rest(utf8);
        while (!rest.empty()) {
            const size_t end = std::min(
                rest.size(),
                static_cast<size_t>(
                    std::find_if(rest.begin(), rest.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x20; }) -
                    rest.begin()));
            if (end > 0 && sink->text(sink->self, rest.data(), end)) return true;
            if (end == rest.size()) break;
            const char c = rest[end];
            if (c == '\013' || c == '\035' || c == '\037' || c == '\n' || c == '\r')
                sink->brk(sink->self);
            else if (sink->text(sink->self, " ", 1))
                return true;
            rest.remove_prefix(end + 1);
        }
        sink->brk(sink->self);
        return false;
    }

    std::string bytes_;
    uint32_t maxPages_;
    int64_t waitUntilWallNs_;
    int64_t stopAtProcessNs_ = 0;
    Signal signal_;
    ddjvu_context_t *context_ = nullptr;
    ddjvu_document_t *doc_ = nullptr;
    uint32_t pages_ = 0;
    uint32_t page_ = 0;
    miniexp_t first_ = miniexp_nil;  // the first page's text, read on opening
};

DXMExtractor *djvu_open(DXStream *stream, int64_t size, int format, const DXMLimits *limits) {
    if (!stream || !limits || format != DX_FMT_DJVU || size <= 0 ||
        static_cast<uint64_t>(size) > limits->maxPartBytes)
        return nullptr;
    try {
        std::string bytes;
        if (!dxf::ReadWholeStream(stream, size, bytes) || !IsSelfContained(bytes)) return nullptr;
        auto doc = std::make_unique<DjvuDocument>(limits->deadlineNs,
                                                  limits->maxParts ? limits->maxParts : UINT32_MAX);
        if (!doc->Open(std::move(bytes))) return nullptr;
        return reinterpret_cast<DXMExtractor *>(doc.release());
    } catch (...) {
        return nullptr;
    }
}

int djvu_step(DXMExtractor *extractor, DXMSink *sink) {
    try {
        return reinterpret_cast<DjvuDocument *>(extractor)->Step(sink);
    } catch (...) {
        return -1;
    }
}

void djvu_close(DXMExtractor *extractor) {
    delete reinterpret_cast<DjvuDocument *>(extractor);
}

constexpr DXModule kModule = {DXM_ABI_VERSION, nullptr, nullptr, djvu_open, djvu_step, djvu_close};

}  // namespace

extern "C" __attribute__((visibility("default"))) const DXModule *DXM_GetModule(void) {
    return &kModule;
}
