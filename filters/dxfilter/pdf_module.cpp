// pdf_module.cpp - dxfilter_pdf.so: PDF text with poppler-glib, page by page.
// Poppler reads the document through a seekable GInputStream over the
// engine's stream callbacks and fetches only the ranges it needs.
//
// The stream derives from GMemoryInputStream (with every operation of its
// own) because poppler reads such streams directly; any other stream goes
// through a cache that allocates the whole document's length up front.
#include <gio/gio.h>
#include <poppler.h>

#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "doctype/dx_abi.h"
#include "filters/dxfilter/dx_module.h"
#include "filters/dxfilter/pdf_order.h"

// ---- a GInputStream over a DXStream ------------------------------------------------

extern "C" {

typedef struct DxInput {
    GMemoryInputStream parent;
    DXStream *dx;
    goffset pos;
    goffset size;
    int64_t deadlineNs; /* reads fail after this time, ending the document */
    gboolean timedOut;  /* a read was refused for time */
} DxInput;

typedef struct DxInputClass {
    GMemoryInputStreamClass parentClass;
} DxInputClass;

static void dx_input_seekable_init(GSeekableIface *iface);

G_DEFINE_TYPE_WITH_CODE(DxInput, dx_input, G_TYPE_MEMORY_INPUT_STREAM,
                        G_IMPLEMENT_INTERFACE(G_TYPE_SEEKABLE, dx_input_seekable_init))

static gssize dx_input_read(GInputStream *stream, void *buffer, gsize count, GCancellable *,
                            GError **error) {
    DxInput *self = reinterpret_cast<DxInput *>(stream);
    if (count > G_MAXINT) count = G_MAXINT;
    if (DXM_CpuNs() > self->deadlineNs) {
        self->timedOut = TRUE;
        g_set_error_literal(error, G_IO_ERROR, G_IO_ERROR_TIMED_OUT, "out of time");
        return -1;
    }
    int got = self->dx->read(self->dx, buffer, static_cast<int>(count));
    if (got < 0) {
        g_set_error_literal(error, G_IO_ERROR, G_IO_ERROR_FAILED, "read failed");
        return -1;
    }
    self->pos += got;
    return got;
}

static goffset dx_input_tell(GSeekable *seekable) {
    return reinterpret_cast<DxInput *>(seekable)->pos;
}

static gboolean dx_input_can_seek(GSeekable *) {
    return TRUE;
}

static gboolean dx_input_seek(GSeekable *seekable, goffset offset, GSeekType type, GCancellable *,
                              GError **error) {
    DxInput *self = reinterpret_cast<DxInput *>(seekable);
    goffset to = offset;
    if (type == G_SEEK_CUR)
        to = self->pos + offset;
    else if (type == G_SEEK_END)
        to = self->size + offset;
    if (to < 0 || !self->dx->seek(self->dx, to, DX_SEEK_SET)) {
        g_set_error_literal(error, G_IO_ERROR, G_IO_ERROR_FAILED, "seek failed");
        return FALSE;
    }
    self->pos = to;
    return TRUE;
}

static gboolean dx_input_can_truncate(GSeekable *) {
    return FALSE;
}

static gboolean dx_input_truncate(GSeekable *, goffset, GCancellable *, GError **error) {
    g_set_error_literal(error, G_IO_ERROR, G_IO_ERROR_NOT_SUPPORTED, "read-only");
    return FALSE;
}

static void dx_input_seekable_init(GSeekableIface *iface) {
    iface->tell = dx_input_tell;
    iface->can_seek = dx_input_can_seek;
    iface->seek = dx_input_seek;
    iface->can_truncate = dx_input_can_truncate;
    iface->truncate_fn = dx_input_truncate;
}

static void dx_input_class_init(DxInputClass *klass) {
    G_INPUT_STREAM_CLASS(klass)->read_fn = dx_input_read;
}

static void dx_input_init(DxInput *self) {
    self->dx = nullptr;
    self->pos = 0;
    self->size = 0;
    self->deadlineNs = 0;
    self->timedOut = FALSE;
}

}  // extern "C"

namespace {

void silent_log(const gchar *, GLogLevelFlags, const gchar *, gpointer) {}

struct PdfExtractor {
    DxInput *input = nullptr;
    PopplerDocument *doc = nullptr;
    int pages = 0;
    int next = 0;
    DXMLimits limits{};

    ~PdfExtractor() {
        if (doc) g_object_unref(doc);
        if (input) g_object_unref(input);
    }
};

size_t letters(const char *utf8) {
    size_t n = 0;
    for (const char *p = utf8; *p; p = g_utf8_next_char(p)) {
        gunichar c = g_utf8_get_char(p);
        n += !g_unichar_isspace(c) && g_unichar_type(c) != G_UNICODE_FORMAT;
    }
    return n;
}

// The text of a page that holds right-to-left text or seems to hold no text,
// `text` being poppler's ordinary selection of the whole page. Poppler
// selects a page it reads right to left from the top left to the bottom right
// corner too, and then drops lines or everything; selecting from the top right
// corner to the bottom left one takes them all.
std::string page_logical_text(PopplerPage *page, char *&text) {
    double width = 0, height = 0;
    poppler_page_get_size(page, &width, &height);
    PopplerRectangle area{0, 0, width, height};
    bool rightToLeft = dxf::PdfPageIsRightToLeft(text);
    if (rightToLeft || letters(text) == 0) {
        PopplerRectangle mirrored{width, 0, 0, height};
        char *other = poppler_page_get_text_for_area(page, &mirrored);
        if (other && dxf::PdfPageIsRightToLeft(other) && letters(other) >= letters(text)) {
            std::swap(text, other);
            area = mirrored;
            rightToLeft = true;
        }
        g_free(other);
    }
    PopplerRectangle *rects = nullptr;
    guint count = 0;
    std::vector<dxf::PdfBox> boxes;
    if (poppler_page_get_text_layout_for_area(page, &area, &rects, &count)) {
        boxes.reserve(count);
        for (guint i = 0; i < count; ++i)
            boxes.push_back({rects[i].x1, rects[i].y1, rects[i].x2, rects[i].y2});
    }
    g_free(rects);
    return dxf::PdfLogicalText(text, boxes, rightToLeft);
}

DXMExtractor *pdf_open(DXStream *stream, int64_t size, int format, const DXMLimits *limits) {
    if (format != DX_FMT_PDF || !limits || size <= 0) return nullptr;
    // Poppler reports damaged input through GLib's log; the engine prints nothing.
    // Installed once: every call would add another handler.
    static const unsigned handler = g_log_set_handler(
        "Poppler",
        static_cast<GLogLevelFlags>(G_LOG_LEVEL_MASK | G_LOG_FLAG_FATAL | G_LOG_FLAG_RECURSION),
        silent_log, nullptr);
    (void)handler;
    auto *ex = new (std::nothrow) PdfExtractor();
    if (!ex) return nullptr;
    ex->limits = *limits;
    ex->input = static_cast<DxInput *>(g_object_new(dx_input_get_type(), nullptr));
    ex->input->dx = stream;
    ex->input->size = size;
    ex->input->deadlineNs = limits->deadlineNs;
    if (!stream->seek(stream, 0, DX_SEEK_SET)) {
        delete ex;
        return nullptr;
    }
    GError *error = nullptr;
    ex->doc =
        poppler_document_new_from_stream(G_INPUT_STREAM(ex->input), size, nullptr, nullptr, &error);
    if (error) g_error_free(error);
    if (!ex->doc) {
        delete ex;
        return nullptr;
    }
    ex->pages = poppler_document_get_n_pages(ex->doc);
    if (ex->pages < 0) ex->pages = 0;
    if (static_cast<uint32_t>(ex->pages) > limits->maxParts)
        ex->pages = static_cast<int>(limits->maxParts);
    return reinterpret_cast<DXMExtractor *>(ex);
}

int pdf_step(DXMExtractor *extractor, DXMSink *sink) {
    auto *ex = reinterpret_cast<PdfExtractor *>(extractor);
    if (ex->next >= ex->pages || DXM_CpuNs() > ex->limits.deadlineNs) return 0;
    PopplerPage *page = poppler_document_get_page(ex->doc, ex->next++);
    if (!page) return 1;
    char *text = poppler_page_get_text(page);
    if (ex->input->timedOut) {
        // The page was cut off by the time limit: what the reader made of
        // its first part is not its text.
        g_free(text);
        g_object_unref(page);
        return 0;
    }
    int full = 0;
    if (text && (dxf::PdfHasBidi(text) || letters(text) == 0)) {
        std::string logical = page_logical_text(page, text);
        full = sink->text(sink->self, logical.data(), logical.size());
    } else if (text) {
        full = sink->text(sink->self, text, std::strlen(text));
    }
    g_free(text);
    g_object_unref(page);
    sink->brk(sink->self);
    return full ? 0 : 1;
}

void pdf_close(DXMExtractor *extractor) {
    delete reinterpret_cast<PdfExtractor *>(extractor);
}

constexpr DXModule kModule = {DXM_ABI_VERSION, nullptr, nullptr, pdf_open, pdf_step, pdf_close};

}  // namespace

extern "C" __attribute__((visibility("default"))) const DXModule *DXM_GetModule(void) {
    return &kModule;
}
