// decompress.cpp - gzip (zlib), bzip2 (libbz2), xz (liblzma) and zstd
// (libzstd) behind one reading loop that keeps the bounds.
#include "filters/dxfilter/decompress.h"

#include <bzlib.h>
#include <lzma.h>
#include <zlib.h>
#include <zstd.h>
#include <zstd_errors.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>
#include <string_view>

#include "filters/dxfilter/dx_module.h"

namespace dxf {
namespace {

using Bytes = std::span<const unsigned char>;

bool starts_with(Bytes b, std::string_view sig) {
    return b.size() >= sig.size() && std::memcmp(b.data(), sig.data(), sig.size()) == 0;
}

constexpr size_t kInputBytes = 64 * 1024;

// Bytes the codecs take or give in one call: their counters are 32-bit.
unsigned int clamp_uint(size_t n) {
    return static_cast<unsigned int>(std::min<size_t>(n, UINT_MAX));
}

class Gzip final : public Decompressor {
  public:
    Gzip(ReadFn read, uint64_t cap, int64_t deadline)
        : Decompressor(std::move(read), cap, deadline) {
        // 16 + 15: a gzip wrapper around a deflate stream of any window.
        if (inflateInit2(&z_, 16 + MAX_WBITS) != Z_OK) throw std::bad_alloc();
    }
    ~Gzip() override { inflateEnd(&z_); }

  private:
    Result Run(Bytes &in, std::span<unsigned char> &out, bool) override {
        z_.next_in = const_cast<Bytef *>(in.data());
        z_.avail_in = clamp_uint(in.size());
        z_.next_out = out.data();
        z_.avail_out = clamp_uint(out.size());
        const int rc = inflate(&z_, Z_NO_FLUSH);
        in = in.subspan(static_cast<size_t>(z_.next_in - in.data()));
        out = out.subspan(static_cast<size_t>(z_.next_out - out.data()));
        switch (rc) {
            case Z_OK:
            case Z_BUF_ERROR:  // no progress possible: more input is needed
                return Result::kMore;
            case Z_STREAM_END:
                return Result::kStreamEnd;
            case Z_MEM_ERROR:
                return Result::kRefused;
            default:
                return Result::kDamaged;
        }
    }
    bool Restart() override { return inflateReset(&z_) == Z_OK; }
    bool StartsStream(Bytes next) const override { return starts_with(next, "\x1F\x8B"); }

    z_stream z_{};
};

class Bzip2 final : public Decompressor {
  public:
    Bzip2(ReadFn read, uint64_t cap, int64_t deadline)
        : Decompressor(std::move(read), cap, deadline) {
        if (BZ2_bzDecompressInit(&s_, 0, 0) != BZ_OK) throw std::bad_alloc();
    }
    ~Bzip2() override { BZ2_bzDecompressEnd(&s_); }

  private:
    Result Run(Bytes &in, std::span<unsigned char> &out, bool) override {
        s_.next_in = const_cast<char *>(reinterpret_cast<const char *>(in.data()));
        s_.avail_in = clamp_uint(in.size());
        s_.next_out = reinterpret_cast<char *>(out.data());
        s_.avail_out = clamp_uint(out.size());
        const int rc = BZ2_bzDecompress(&s_);
        in = in.subspan(
            static_cast<size_t>(reinterpret_cast<const unsigned char *>(s_.next_in) - in.data()));
        out = out.subspan(
            static_cast<size_t>(reinterpret_cast<unsigned char *>(s_.next_out) - out.data()));
        switch (rc) {
            case BZ_OK:
                return Result::kMore;
            case BZ_STREAM_END:
                return Result::kStreamEnd;
            case BZ_MEM_ERROR:
                return Result::kRefused;
            default:
                return Result::kDamaged;
        }
    }
    bool Restart() override {
        BZ2_bzDecompressEnd(&s_);
        s_ = bz_stream{};
        return BZ2_bzDecompressInit(&s_, 0, 0) == BZ_OK;
    }
    bool StartsStream(Bytes next) const override { return starts_with(next, "BZh"); }

    bz_stream s_{};
};

class Xz final : public Decompressor {
  public:
    Xz(ReadFn read, uint64_t cap, int64_t deadline) : Decompressor(std::move(read), cap, deadline) {
        if (!Restart()) throw std::bad_alloc();
    }
    ~Xz() override { lzma_end(&s_); }

  private:
    Result Run(Bytes &in, std::span<unsigned char> &out, bool inputEnded) override {
        s_.next_in = in.data();
        s_.avail_in = in.size();
        s_.next_out = out.data();
        s_.avail_out = out.size();
        const lzma_ret rc = lzma_code(&s_, inputEnded ? LZMA_FINISH : LZMA_RUN);
        in = in.subspan(static_cast<size_t>(s_.next_in - in.data()));
        out = out.subspan(static_cast<size_t>(s_.next_out - out.data()));
        switch (rc) {
            case LZMA_OK:
            case LZMA_BUF_ERROR:  // no progress possible: more input is needed
                return Result::kMore;
            case LZMA_STREAM_END:
                return Result::kStreamEnd;
            case LZMA_MEM_ERROR:
            case LZMA_MEMLIMIT_ERROR:
                return Result::kRefused;
            default:
                return Result::kDamaged;
        }
    }
    bool Restart() override {
        lzma_end(&s_);
        s_ = LZMA_STREAM_INIT;
        return lzma_stream_decoder(&s_, kXzMemoryLimit, 0) == LZMA_OK;
    }
    bool StartsStream(Bytes next) const override {
        return starts_with(next, std::string_view("\xFD"
                                                  "7zXZ\0",
                                                  6));
    }

    lzma_stream s_ = LZMA_STREAM_INIT;
};

class Zstd final : public Decompressor {
  public:
    Zstd(ReadFn read, uint64_t cap, int64_t deadline)
        : Decompressor(std::move(read), cap, deadline), d_(ZSTD_createDCtx()) {
        if (!d_ ||
            ZSTD_isError(ZSTD_DCtx_setParameter(d_, ZSTD_d_windowLogMax, kZstdWindowLogMax))) {
            ZSTD_freeDCtx(d_);
            throw std::bad_alloc();
        }
    }
    ~Zstd() override { ZSTD_freeDCtx(d_); }

  private:
    Result Run(Bytes &in, std::span<unsigned char> &out, bool) override {
        ZSTD_inBuffer ib{in.data(), in.size(), 0};
        ZSTD_outBuffer ob{out.data(), out.size(), 0};
        const size_t rc = ZSTD_decompressStream(d_, &ob, &ib);
        in = in.subspan(ib.pos);
        out = out.subspan(ob.pos);
        if (ZSTD_isError(rc)) {
            const ZSTD_ErrorCode code = ZSTD_getErrorCode(rc);
            return code == ZSTD_error_frameParameter_windowTooLarge ||
                           code == ZSTD_error_memory_allocation
                       ? Result::kRefused
                       : Result::kDamaged;
        }
        // 0: the frame is decoded and flushed whole.
        return rc == 0 ? Result::kStreamEnd : Result::kMore;
    }
    bool Restart() override { return true; }  // a context takes frame after frame
    bool StartsStream(Bytes next) const override { return starts_with(next, "\x28\xB5\x2F\xFD"); }

    ZSTD_DCtx *d_;
};

}  // namespace

std::unique_ptr<Decompressor> Decompressor::Make(Codec codec, ReadFn read, uint64_t maxOutput,
                                                 int64_t deadlineNs) {
    switch (codec) {
        case Codec::kGzip:
            return std::make_unique<Gzip>(std::move(read), maxOutput, deadlineNs);
        case Codec::kBzip2:
            return std::make_unique<Bzip2>(std::move(read), maxOutput, deadlineNs);
        case Codec::kXz:
            return std::make_unique<Xz>(std::move(read), maxOutput, deadlineNs);
        case Codec::kZstd:
            return std::make_unique<Zstd>(std::move(read), maxOutput, deadlineNs);
    }
    return nullptr;
}

Decompressor::Decompressor(ReadFn read, uint64_t maxOutput, int64_t deadlineNs)
    : read_(std::move(read)), maxOutput_(maxOutput), deadlineNs_(deadlineNs), input_(kInputBytes) {}

Decompressor::~Decompressor() = default;

bool Decompressor::Refill() {
    if (inputEnded_) return false;
    if (DXM_CpuNs() > deadlineNs_) {
        state_ = State::kTimeout;
        return false;
    }
    // Keep what is left in front of the new bytes.
    std::memmove(input_.data(), input_.data() + inPos_, inEnd_ - inPos_);
    inEnd_ -= inPos_;
    inPos_ = 0;
    if (inEnd_ == input_.size()) return false;
    const long got = read_(input_.data() + inEnd_, input_.size() - inEnd_);
    if (got <= 0) {
        // A read error ends the input: the stream reads as truncated there.
        inputEnded_ = true;
        return false;
    }
    inEnd_ += static_cast<size_t>(got);
    return true;
}

size_t Decompressor::Read(void *out, size_t count) {
    auto *dst = static_cast<unsigned char *>(out);
    size_t done = 0;
    while (done < count && state_ == State::kReading) {
        if (produced_ >= maxOutput_) {
            state_ = State::kOverCap;
            break;
        }
        if (betweenStreams_) {
            // Enough bytes to recognise the next stream's signature.
            while (inEnd_ - inPos_ < 6 && Refill()) {
            }
            if (state_ != State::kReading) break;
            if (!StartsStream({input_.data() + inPos_, inEnd_ - inPos_})) {
                // The end of the input, or bytes after the last stream (the
                // padding some writers leave), which are not read.
                state_ = State::kEnd;
                break;
            }
            if (!Restart()) {
                state_ = State::kRefused;
                break;
            }
            betweenStreams_ = false;
        }
        if (inPos_ == inEnd_) {
            Refill();
            if (state_ != State::kReading) break;
        }
        Bytes in(input_.data() + inPos_, inEnd_ - inPos_);
        const size_t room =
            static_cast<size_t>(std::min<uint64_t>(count - done, maxOutput_ - produced_));
        std::span<unsigned char> o(dst + done, room);
        const Result r = Run(in, o, inputEnded_);
        const size_t consumed = (inEnd_ - inPos_) - in.size(), wrote = room - o.size();
        inPos_ += consumed;
        done += wrote;
        produced_ += wrote;
        switch (r) {
            case Result::kStreamEnd:
                betweenStreams_ = true;
                break;
            case Result::kDamaged:
                state_ = State::kDamaged;
                break;
            case Result::kRefused:
                state_ = State::kRefused;
                break;
            case Result::kMore:
                if (consumed == 0 && wrote == 0) {
                    // The decoder needs input that is not there: the stream
                    // was cut short.
                    if (inputEnded_ || !Refill()) {
                        if (state_ == State::kReading) state_ = State::kDamaged;
                    }
                }
                break;
        }
    }
    return done;
}

}  // namespace dxf
