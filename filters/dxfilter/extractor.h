// extractor.h - what the core of the filter knows about one text extraction,
// and buffered reading through the engine's stream callbacks.
#ifndef GLOTTA_FILTERS_DXFILTER_EXTRACTOR_H
#define GLOTTA_FILTERS_DXFILTER_EXTRACTOR_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "doctype/dx_abi.h"
#include "filters/dxfilter/dx_module.h"
#include "filters/dxfilter/text_sink.h"

namespace dxf {

// Per-document bounds (see doc/dxfilter.md).
inline constexpr size_t kMaxTextUnits = 512 * 1024;  // 1 MiB of UTF-16 text
// CPU time of the extracting thread per document (DXM_CpuNs): a document
// gets as far in it on a busy machine as on an idle one.
inline constexpr int64_t kMaxDocumentCpuNs = 2'000'000'000;
// The extraction worker stops at the document's limit and answers with the
// text it has; one that has used this much more CPU time without answering
// (a page that alone takes longer) is killed.
inline constexpr int64_t kWorkerGraceNs = 250'000'000;
// Wall clock per document from open document, a backstop for a worker that
// is blocked without using CPU time (or starved of it far beyond any load
// the tool is run under): it is then killed.
inline constexpr int64_t kMaxDocumentWallNs = 60'000'000'000;
// The worker's soft RLIMIT_CPU, in whole seconds of its CPU time, before a
// document when it has used `usedNs`: room for the document's limit and the
// grace after it, rounded up, and a second more. The plug-in kills a worker
// at the grace; the kernel only when the plug-in could not watch it.
constexpr int64_t WorkerCpuSoftLimitSeconds(int64_t usedNs) {
    constexpr int64_t kSecond = 1'000'000'000;
    return (usedNs + kMaxDocumentCpuNs + kWorkerGraceNs + kSecond - 1) / kSecond + 1;
}
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

// An extraction module's extractor seen through the core's interface.
class ModuleExtractor : public Extractor {
  public:
    ModuleExtractor(const DXModule *api, DXMExtractor *ex) : api_(api), ex_(ex) {}
    ~ModuleExtractor() override { api_->close(ex_); }
    ModuleExtractor(const ModuleExtractor &) = delete;
    ModuleExtractor &operator=(const ModuleExtractor &) = delete;
    int Step(TextSink &sink) override {
        DXMSink c = sink.c_sink();
        return api_->step(ex_, &c);
    }

  private:
    const DXModule *api_;
    DXMExtractor *ex_;
};

// Runs an extractor into a text sink and hands the text out in chunks of at
// most kChunkUnits units, as the read-text operation answers them.
class TextPump {
  public:
    // The clock the deadline is on: DXM_CpuNs, or another one for tests.
    using Clock = int64_t (*)();
    TextPump(std::unique_ptr<Extractor> extractor, int64_t deadlineNs, Clock clock = &DXM_CpuNs)
        : extractor_(std::move(extractor)), deadline_(deadlineNs), clock_(clock) {}
    // Replaces `units` with the next chunk (empty at the end). False when
    // extraction ended on an error and no text is left to hand out.
    bool Next(std::u16string &units);
    // No text is left: every later chunk is empty.
    bool exhausted() const { return done_ && sink_.pending_units() == 0; }
    bool failed() const { return failed_; }
    // Extraction was stopped by the deadline rather than ended by the reader.
    bool overran() const { return overran_; }

  private:
    std::unique_ptr<Extractor> extractor_;
    TextSink sink_{kMaxTextUnits};
    int64_t deadline_;
    Clock clock_;
    bool done_ = false;      // no more text will be produced
    bool failed_ = false;    // extraction ended on an error, reported once text is out
    bool finished_ = false;  // the sink's last line was closed
    bool overran_ = false;   // stopped at the deadline
};

// The extraction module that reads `format`, or null for formats the core
// reads itself or not at all.
const char *ModuleFor(int format);

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

// Reads exactly `count` bytes of `fd` from `offset`; false when it cannot.
bool PreadFully(int fd, void *buffer, size_t count, uint64_t offset);

}  // namespace dxf

#endif
