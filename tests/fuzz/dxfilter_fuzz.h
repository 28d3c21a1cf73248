// dxfilter_fuzz.h - what the fuzz targets of the document filter share: a
// document held in memory behind the engine's stream callbacks, text
// extraction driven as the plug-in's read-text operation drives it, and
// compound files (OLE2, tests/unit/dxfilter_ole_writer.h) built around
// streams the fuzzer writes.
#ifndef GLOTTA_TESTS_FUZZ_DXFILTER_FUZZ_H
#define GLOTTA_TESTS_FUZZ_DXFILTER_FUZZ_H

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "doctype/dx_abi.h"
#include "filters/dxfilter/dx_module.h"
#include "filters/dxfilter/extractor.h"
#include "filters/dxfilter/text_sink.h"
#include "tests/unit/dxfilter_ole_writer.h"

namespace dxfuzz {

// A document in memory read through the five stream callbacks.
class MemoryStream {
  public:
    MemoryStream(const uint8_t *data, size_t size) : data_(data), size_(size) {
        stream_.record = this;
        stream_.open = [](DXStream *s) {
            self(s)->pos_ = 0;
            return 1;
        };
        stream_.read = [](DXStream *s, void *buffer, int count) {
            MemoryStream *m = self(s);
            if (count < 0) return -1;
            const size_t left = m->pos_ < m->size_ ? m->size_ - m->pos_ : 0;
            const size_t n = std::min(left, static_cast<size_t>(count));
            if (n > 0) std::memcpy(buffer, m->data_ + m->pos_, n);
            m->pos_ += n;
            return static_cast<int>(n);
        };
        stream_.seek = [](DXStream *s, int64_t offset, int origin) {
            MemoryStream *m = self(s);
            const int64_t base = origin == DX_SEEK_SET   ? 0
                                 : origin == DX_SEEK_CUR ? static_cast<int64_t>(m->pos_)
                                 : origin == DX_SEEK_END ? static_cast<int64_t>(m->size_)
                                                         : -1;
            if (base < 0 || offset < -base || offset > INT64_MAX - base) return 0;
            m->pos_ = static_cast<size_t>(base + offset);
            return 1;
        };
        stream_.tell = [](DXStream *s) { return static_cast<int64_t>(self(s)->pos_); };
        stream_.close = [](DXStream *) { return 0; };
    }
    MemoryStream(const MemoryStream &) = delete;
    MemoryStream &operator=(const MemoryStream &) = delete;

    DXStream *stream() { return &stream_; }
    int64_t size() const { return static_cast<int64_t>(size_); }

  private:
    static MemoryStream *self(DXStream *s) { return static_cast<MemoryStream *>(s->record); }

    DXStream stream_{};
    const uint8_t *data_;
    size_t size_;
    size_t pos_ = 0;
};

// The plug-in's bounds, without its clock: a document that takes too long
// shows up as a slow input rather than as text cut short.
inline DXMLimits Limits() {
    return DXMLimits{INT64_MAX, dxf::kMaxPartBytes, dxf::kMaxTotalBytes, dxf::kMaxParts};
}

// Reads an extraction to its end through the pump that answers the plug-in's
// read-text operation, without its clock.
inline void Drain(std::unique_ptr<dxf::Extractor> extractor) {
    dxf::TextPump pump(std::move(extractor), INT64_MAX);
    std::u16string units;
    do {
        pump.Next(units);
    } while (!units.empty());
}

// Opens the document in `module` as `format` and reads all its text; false
// when the module refuses to open it.
inline bool ExtractWithModule(const DXModule *module, const uint8_t *data, size_t size,
                              int format) {
    MemoryStream doc(data, size);
    const DXMLimits limits = Limits();
    DXMExtractor *ex = module->open(doc.stream(), doc.size(), format, &limits);
    if (!ex) return false;
    Drain(std::make_unique<dxf::ModuleExtractor>(module, ex));
    return true;
}

// A well-formed compound file holding `streams` (at most three) at the root,
// stored as a writer stores them.
inline std::string CompoundFile(const dxfilter_ole::Streams &streams) {
    return dxfilter_ole::WrittenCompoundFile(streams);
}

}  // namespace dxfuzz

#endif
