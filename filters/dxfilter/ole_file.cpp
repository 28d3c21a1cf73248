// ole_file.cpp - the compound file layer of dxfilter_msdoc.so: a GsfInput
// over the engine's stream callbacks, and what the readers share.
#include "filters/dxfilter/ole_file.h"

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-input-impl.h>
#include <gsf/gsf-utils.h>

#include <climits>
#include <cstring>

#include "doctype/dx_abi.h"
#include "filters/dxfilter/code_pages.h"

// ---- a GsfInput over a DXStream ----------------------------------------------------

extern "C" {

// The engine's stream of one document, shared by every input made from it
// (libgsf duplicates its source for each stream it opens), with a window of
// the document read ahead: libgsf reads sector by sector, mostly in order.
struct DxSource {
    DXStream *dx;
    int64_t deadlineNs; /* reads fail after this time, ending the document */
    int refs;
    uint64_t windowStart;
    size_t windowLength;
    guint8 window[32 * 1024];
};

typedef struct DxGsfInput {
    GsfInput parent;
    DxSource *source;
    guint8 *buffer; /* for reads that ask for no buffer of their own */
    size_t bufferSize;
} DxGsfInput;

typedef struct DxGsfInputClass {
    GsfInputClass parentClass;
} DxGsfInputClass;

G_DEFINE_TYPE(DxGsfInput, dx_gsf_input, GSF_INPUT_TYPE)

// A new input over `source`, which it holds a reference to.
static DxGsfInput *dx_gsf_input_new(DxSource *source, gsf_off_t size) {
    auto *self = static_cast<DxGsfInput *>(g_object_new(dx_gsf_input_get_type(), nullptr));
    self->source = source;
    ++source->refs;
    gsf_input_set_size(GSF_INPUT(self), size);
    return self;
}

static GsfInput *dx_gsf_input_dup(GsfInput *input, GError **) {
    auto *self = reinterpret_cast<DxGsfInput *>(input);
    return GSF_INPUT(dx_gsf_input_new(self->source, input->size));
}

// Reads `count` bytes at `at` of the document into `out`; false unless all came.
static bool dx_source_read(DxSource *s, uint64_t at, size_t count, guint8 *out) {
    if (!s->dx->seek(s->dx, static_cast<int64_t>(at), DX_SEEK_SET)) return false;
    size_t done = 0;
    while (done < count) {
        int got = s->dx->read(s->dx, out + done, static_cast<int>(count - done));
        if (got <= 0) return false;
        done += static_cast<size_t>(got);
    }
    return true;
}

static const guint8 *dx_gsf_input_read(GsfInput *input, size_t count, guint8 *out) {
    auto *self = reinterpret_cast<DxGsfInput *>(input);
    DxSource *s = self->source;
    if (count > INT_MAX || DXM_CpuNs() > s->deadlineNs) return nullptr;
    if (!out) {
        if (self->bufferSize < count) {
            g_free(self->buffer);
            self->buffer = static_cast<guint8 *>(g_try_malloc(count));
            self->bufferSize = self->buffer ? count : 0;
            if (!self->buffer) return nullptr;
        }
        out = self->buffer;
    }
    const uint64_t at = static_cast<uint64_t>(input->cur_offset);
    if (count > sizeof s->window) return dx_source_read(s, at, count, out) ? out : nullptr;
    if (at < s->windowStart || at - s->windowStart > s->windowLength ||
        count > s->windowLength - (at - s->windowStart)) {
        // gsf_input_read checked that the input holds `count` bytes here.
        const uint64_t left = static_cast<uint64_t>(input->size) - at;
        const size_t length =
            left < sizeof s->window ? static_cast<size_t>(left) : sizeof s->window;
        s->windowLength = 0;
        if (!dx_source_read(s, at, length, s->window)) return nullptr;
        s->windowStart = at;
        s->windowLength = length;
    }
    std::memcpy(out, s->window + (at - s->windowStart), count);
    return out;
}

// Positions are kept by GsfInput itself; every read seeks the stream anew.
static gboolean dx_gsf_input_seek(GsfInput *, gsf_off_t, GSeekType) {
    return FALSE;
}

static void dx_gsf_input_finalize(GObject *object) {
    auto *self = reinterpret_cast<DxGsfInput *>(object);
    g_free(self->buffer);
    if (self->source && --self->source->refs == 0) delete self->source;
    G_OBJECT_CLASS(dx_gsf_input_parent_class)->finalize(object);
}

static void dx_gsf_input_class_init(DxGsfInputClass *klass) {
    G_OBJECT_CLASS(klass)->finalize = dx_gsf_input_finalize;
    GsfInputClass *input = GSF_INPUT_CLASS(klass);
    input->Dup = dx_gsf_input_dup;
    input->Read = dx_gsf_input_read;
    input->Seek = dx_gsf_input_seek;
}

static void dx_gsf_input_init(DxGsfInput *self) {
    self->source = nullptr;
    self->buffer = nullptr;
    self->bufferSize = 0;
}

}  // extern "C"

namespace msdoc {
namespace {

void silent_log(const gchar *, GLogLevelFlags, const gchar *, gpointer) {}

}  // namespace

bool read_at(GsfInput *input, uint64_t offset, size_t count, unsigned char *out) {
    if (count == 0) return true;
    if (offset > static_cast<uint64_t>(gsf_input_size(input)) ||
        count > static_cast<uint64_t>(gsf_input_size(input)) - offset)
        return false;
    return !gsf_input_seek(input, static_cast<gsf_off_t>(offset), G_SEEK_SET) &&
           gsf_input_read(input, count, out) != nullptr;
}

void GObjectUnref::operator()(void *object) const {
    if (object) g_object_unref(object);
}

OleFile::~OleFile() {
    if (ole_) g_object_unref(ole_);
    if (source_) g_object_unref(source_);
}

void OleFile::Source(DXStream *stream, int64_t size, int64_t deadlineNs) {
    // libgsf reports damaged compound files through GLib's log, some of it
    // in the default domain; the engine prints nothing. Installed once: every
    // call would add another handler.
    static const bool initialised = [] {
        gsf_init();
        for (const char *domain : {static_cast<const char *>(nullptr), "libgsf", "libgsf:msole"})
            g_log_set_handler(domain,
                              static_cast<GLogLevelFlags>(G_LOG_LEVEL_MASK | G_LOG_FLAG_FATAL |
                                                          G_LOG_FLAG_RECURSION),
                              silent_log, nullptr);
        return true;
    }();
    (void)initialised;
    auto *shared = new DxSource{stream, deadlineNs, 0, 0, 0, {}};
    source_ = GSF_INPUT(dx_gsf_input_new(shared, size));
}

bool OleFile::Open(DXStream *stream, int64_t size, int64_t deadlineNs) {
    Source(stream, size, deadlineNs);
    GError *error = nullptr;
    ole_ = gsf_infile_msole_new(source_, &error);
    if (error) g_error_free(error);
    return ole_ != nullptr;
}

void OleFile::OpenWhole(DXStream *stream, int64_t size, int64_t deadlineNs) {
    Source(stream, size, deadlineNs);
}

InputRef OleFile::Child(const char *name) const {
    return InputRef(ole_ ? gsf_infile_child_by_name(ole_, name) : nullptr);
}

InputRef OleFile::Whole() const {
    return InputRef(source_ ? GSF_INPUT(g_object_ref(source_)) : nullptr);
}

// The summary information property set: its header (byte order, version,
// system, class, section count), then the first section's format id and
// offset; the section: its size, property count, then each property's id
// and offset in the section. The code page is property 1, a 16-bit integer
// (its type, then the value).
unsigned SummaryCodePage(const OleFile &file) {
    constexpr size_t kSectionOffset = 44, kMaxProperties = 4096;
    constexpr uint32_t kCodePageId = 1, kTypeI2 = 2;
    InputRef summary = file.Child("\005SummaryInformation");
    unsigned char b[8];
    if (!summary || !read_at(summary.get(), kSectionOffset, 4, b)) return 0;
    const uint64_t section = le32(b);
    if (!read_at(summary.get(), section, 8, b)) return 0;
    const uint32_t count = le32(b + 4);
    for (uint32_t i = 0; i < count && i < kMaxProperties; ++i) {
        if (!read_at(summary.get(), section + 8 + 8 * uint64_t{i}, 8, b)) return 0;
        if (le32(b) != kCodePageId) continue;
        if (!read_at(summary.get(), section + le32(b + 4), 8, b) || le32(b) != kTypeI2) return 0;
        return le16(b + 4);
    }
    return 0;
}

iconv_t OpenCodePage(unsigned codePage, const char *to) {
    iconv_t cd = iconv_open(to, dxf::OfficeIconvName(codePage).c_str());
    return cd != reinterpret_cast<iconv_t>(-1) ? cd : iconv_open(to, "CP1252");
}

void TextOut::Unit(char16_t unit) {
    units_.Unit(unit, [this](char32_t c) { Char(c); });
}

void TextOut::Char(char32_t c) {
    if (c == '\t')
        utf8_ += ' ';
    else if (c >= 0x20 && c <= 0x10FFFF)
        append_utf8(utf8_, c);
}

bool TextOut::Flush() {
    int full = utf8_.empty() || !sink ? 0 : sink->text(sink->self, utf8_.data(), utf8_.size());
    utf8_.clear();
    return full == 0;
}

bool TextOut::Break() {
    units_.Finish([this](char32_t c) { Char(c); });
    const bool room = Flush();
    if (sink) sink->brk(sink->self);
    return room;
}

}  // namespace msdoc
