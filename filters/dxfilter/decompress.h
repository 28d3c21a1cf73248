// decompress.h - one compressed stream (gzip, bzip2, xz, zstd, lzip, LZ4, `.lzma`, `.Z`)
// read as the bytes it holds, on demand and within bounds.
//
// Concatenated streams (gzip members, bzip2 streams, xz streams, zstd frames,
// lzip members, LZ4 frames of any kind) read as one, as their own tools read
// them. Reading stops at the output cap, at the deadline, at the end of the
// input and at the first damaged byte; what was decompressed before stays
// read, and state() tells which of them ended it.
#ifndef GLOTTA_FILTERS_DXFILTER_DECOMPRESS_H
#define GLOTTA_FILTERS_DXFILTER_DECOMPRESS_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "filters/dxfilter/sniff.h"

namespace dxf {

// Memory a stream may ask for: xz's decoder limit (lzip and `.lzma` too), and the largest zstd
// window (2^27 bytes, what zstd itself decodes without being told more).
inline constexpr uint64_t kXzMemoryLimit = 256ull << 20;
inline constexpr int kZstdWindowLogMax = 27;

class Decompressor {
  public:
    // Reads up to `count` bytes of compressed input: the number read, 0 at
    // its end, -1 on a read error.
    using ReadFn = std::function<long(void *buffer, size_t count)>;

    enum class State {
        kReading,  // more may follow
        kEnd,      // every stream ended cleanly at the end of the input
        kDamaged,  // a damaged or truncated stream, or a read error
        kOverCap,  // the output reached its cap with more to come
        kRefused,  // the stream asks for more memory than its limit
        kTimeout,  // the deadline passed
    };

    // `maxOutput`: bytes produced in all; `deadlineNs`: DXM_CpuNs time
    // after which reading stops (checked once per input buffer).
    static std::unique_ptr<Decompressor> Make(Codec codec, ReadFn read, uint64_t maxOutput,
                                              int64_t deadlineNs);
    virtual ~Decompressor();
    Decompressor(const Decompressor &) = delete;
    Decompressor &operator=(const Decompressor &) = delete;

    // Up to `count` decompressed bytes into `out`; fewer only when reading
    // stopped (see state()).
    size_t Read(void *out, size_t count);

    State state() const { return state_; }
    uint64_t produced() const { return produced_; }

  protected:
    Decompressor(ReadFn read, uint64_t maxOutput, int64_t deadlineNs);

    enum class Result { kMore, kStreamEnd, kDamaged, kRefused };
    // Decompresses from `in` (advancing it) into `out` (advancing it).
    // kStreamEnd when one stream (member, frame) ended; `inputEnded` says no
    // more input will come after `in`.
    virtual Result Run(std::span<const unsigned char> &in, std::span<unsigned char> &out,
                       bool inputEnded) = 0;
    // Starts the next stream after kStreamEnd; false when it cannot.
    virtual bool Restart() = 0;
    // Whether `next`, the input following a stream's end, starts another one.
    virtual bool StartsStream(std::span<const unsigned char> next) const = 0;

  private:
    // Reads more input behind what is left; false at its end or on an error.
    bool Refill();

    ReadFn read_;
    uint64_t maxOutput_;
    int64_t deadlineNs_;
    std::vector<unsigned char> input_;
    size_t inPos_ = 0, inEnd_ = 0;
    bool inputEnded_ = false;
    bool betweenStreams_ = false;  // a stream ended; the next one not begun
    uint64_t produced_ = 0;
    State state_ = State::kReading;
};

}  // namespace dxf

#endif
