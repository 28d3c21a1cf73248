// extractor.h - what the core of the filter knows about one text extraction,
// and buffered reading through the engine's stream callbacks.
#ifndef GLOTTA_FILTERS_DXFILTER_EXTRACTOR_H
#define GLOTTA_FILTERS_DXFILTER_EXTRACTOR_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "doctype/dx_abi.h"
#include "filters/dxfilter/dx_module.h"
#include "filters/dxfilter/text_sink.h"

namespace dxf {

// Per-document bounds (see doc/dxfilter.md).
inline constexpr size_t kMaxTextUnits = 512 * 1024;       // 1 MiB of UTF-16 text
inline constexpr int64_t kMaxDocumentNs = 2'000'000'000;  // 2 s per document
inline constexpr uint64_t kMaxPartBytes = 64ull << 20;    // one archive member
inline constexpr uint64_t kMaxTotalBytes = 192ull << 20;  // all archive members
inline constexpr uint32_t kMaxParts = 4096;               // members, pages, slides
inline constexpr size_t kChunkUnits = 16 * 1024;          // units per read-text answer

class Extractor {
  public:
    virtual ~Extractor() = default;
    // Adds the next piece of text to `sink`: 1 when more may follow, 0 at
    // the end, -1 on an error that ends extraction.
    virtual int Step(TextSink &sink) = 0;
};

// Sequential reading through a DXStream with a fixed buffer.
class StreamReader {
  public:
    explicit StreamReader(DXStream *stream, size_t bufferSize = 64 * 1024)
        : stream_(stream), buffer_(bufferSize) {}
    // Next byte, or -1 at the end of the stream or on a read error.
    int Get() {
        if (pos_ == end_ && !Fill()) return -1;
        return buffer_[pos_++];
    }
    // Puts back the byte just read by Get().
    void Unget() {
        if (pos_ > 0) --pos_;
    }
    bool failed() const { return failed_; }

  private:
    bool Fill();

    DXStream *stream_;
    std::vector<unsigned char> buffer_;
    size_t pos_ = 0, end_ = 0;
    bool eof_ = false, failed_ = false;
};

// Reads up to `count` bytes, retrying short reads; the number read, or -1.
long ReadFully(DXStream *stream, void *buffer, size_t count);

}  // namespace dxf

#endif
