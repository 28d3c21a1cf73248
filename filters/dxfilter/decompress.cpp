// decompress.cpp - gzip (zlib), bzip2 (libbz2), xz, lzip and the legacy `.lzma`
// format (liblzma), zstd (libzstd), LZ4 (liblz4) and Unix compress (LZW, our own
// decoder) behind one reading loop that keeps the bounds.
#include "filters/dxfilter/decompress.h"

#include <bzlib.h>
#include <lz4.h>
#include <lz4frame.h>
#include <lzma.h>
#include <zlib.h>
#include <zstd.h>
#include <zstd_errors.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>
#include <string_view>

#include "filters/dxfilter/bytes.h"
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

// xz streams, lzip members (liblzma checks each member's CRC32 and sizes
// against its trailer), or the single stream of the legacy `.lzma` format,
// which has neither magic nor concatenation; all under the same memory limit.
class Xz final : public Decompressor {
  public:
    enum class Kind { kXz, kLzip, kAlone };

    Xz(ReadFn read, uint64_t cap, int64_t deadline, Kind kind)
        : Decompressor(std::move(read), cap, deadline), kind_(kind) {
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
        switch (kind_) {
            case Kind::kXz:
                return lzma_stream_decoder(&s_, kXzMemoryLimit, 0) == LZMA_OK;
            case Kind::kLzip:
                return lzma_lzip_decoder(&s_, kXzMemoryLimit, 0) == LZMA_OK;
            case Kind::kAlone:
                return lzma_alone_decoder(&s_, kXzMemoryLimit) == LZMA_OK;
        }
        return false;
    }
    bool StartsStream(Bytes next) const override {
        switch (kind_) {
            case Kind::kXz:
                return starts_with(next, std::string_view("\xFD"
                                                          "7zXZ\0",
                                                          6));
            case Kind::kLzip:
                return starts_with(next, "LZIP");
            case Kind::kAlone:
                break;
        }
        return false;
    }

    Kind kind_;
    lzma_stream s_ = LZMA_STREAM_INIT;
};

// LZ4: frames (and the skippable frames between them) through liblz4's frame
// decoder, which checks the header, block and content checksums; and the
// legacy frames of `lz4 -l`, which the frame decoder does not take: the magic,
// then blocks of a 32-bit little-endian compressed size and LZ4 data of at
// most 8 MiB each. A legacy frame ends at the end of the input or at a size
// no block can have (the magic of the next frame, as lz4 reads it).
class Lz4 final : public Decompressor {
  public:
    Lz4(ReadFn read, uint64_t cap, int64_t deadline)
        : Decompressor(std::move(read), cap, deadline) {
        if (LZ4F_isError(LZ4F_createDecompressionContext(&d_, LZ4F_VERSION)))
            throw std::bad_alloc();
    }
    ~Lz4() override { LZ4F_freeDecompressionContext(d_); }

  private:
    enum class Mode { kStart, kFrame, kLegacy };

    Result Run(Bytes &in, std::span<unsigned char> &out, bool inputEnded) override {
        if (mode_ == Mode::kStart) {
            if (in.size() < 4) return inputEnded ? Result::kDamaged : Result::kMore;
            if (starts_with(in, kLegacyMagic)) {
                in = in.subspan(4);
                mode_ = Mode::kLegacy;
            } else {
                mode_ = Mode::kFrame;
            }
        }
        return mode_ == Mode::kFrame ? RunFrame(in, out) : RunLegacy(in, out, inputEnded);
    }

    Result RunFrame(Bytes &in, std::span<unsigned char> &out) {
        size_t inSize = in.size(), outSize = out.size();
        const size_t rc = LZ4F_decompress(d_, out.data(), &outSize, in.data(), &inSize, nullptr);
        in = in.subspan(inSize);
        out = out.subspan(outSize);
        // A frame asks for 4 MiB blocks at most, so every error is damage.
        if (LZ4F_isError(rc)) return Result::kDamaged;
        // 0: the frame (or a skippable frame) is decoded and flushed whole.
        return rc == 0 ? Result::kStreamEnd : Result::kMore;
    }

    Result RunLegacy(Bytes &in, std::span<unsigned char> &out, bool inputEnded) {
        for (;;) {
            // Hand out what the last block decoded to.
            const size_t n = std::min(pending_.size() - pendingAt_, out.size());
            if (n > 0) std::memcpy(out.data(), pending_.data() + pendingAt_, n);
            pendingAt_ += n;
            out = out.subspan(n);
            if (out.empty()) return Result::kMore;
            if (blockBytes_ == 0) {
                if (in.empty()) return inputEnded ? Result::kStreamEnd : Result::kMore;
                if (in.size() < 4) return inputEnded ? Result::kDamaged : Result::kMore;
                const uint32_t size = le32(in.data());
                // Not a block: the frame ends, and the size is the next magic.
                if (size > kLegacyBound) return Result::kStreamEnd;
                if (size == 0) return Result::kDamaged;
                in = in.subspan(4);
                blockBytes_ = size;
                block_.clear();
            }
            const size_t take = std::min(blockBytes_ - block_.size(), in.size());
            block_.insert(block_.end(), in.begin(), in.begin() + static_cast<ptrdiff_t>(take));
            in = in.subspan(take);
            if (block_.size() < blockBytes_) return inputEnded ? Result::kDamaged : Result::kMore;
            pending_.resize(kLegacyBlockBytes);
            const int got = LZ4_decompress_safe(reinterpret_cast<const char *>(block_.data()),
                                                reinterpret_cast<char *>(pending_.data()),
                                                static_cast<int>(blockBytes_),
                                                static_cast<int>(kLegacyBlockBytes));
            if (got < 0) {
                pending_.clear();
                return Result::kDamaged;
            }
            pending_.resize(static_cast<size_t>(got));
            pendingAt_ = 0;
            blockBytes_ = 0;
        }
    }

    bool Restart() override {
        mode_ = Mode::kStart;
        LZ4F_resetDecompressionContext(d_);
        return true;
    }
    bool StartsStream(Bytes next) const override { return CodecOf(next) == Codec::kLz4; }

    static constexpr std::string_view kLegacyMagic = "\x02\x21\x4C\x18";
    // The most a legacy block holds, and the largest compressed size it has.
    static constexpr size_t kLegacyBlockBytes = size_t{8} << 20;
    static constexpr uint32_t kLegacyBound = LZ4_COMPRESSBOUND(kLegacyBlockBytes);

    LZ4F_dctx *d_ = nullptr;
    Mode mode_ = Mode::kStart;
    size_t blockBytes_ = 0;               // the compressed size of the legacy block being read
    std::vector<unsigned char> block_;    // its bytes read so far
    std::vector<unsigned char> pending_;  // what the last legacy block decoded to
    size_t pendingAt_ = 0;                // its bytes handed out
};

// Unix compress (`.Z`): a 3-byte header (magic, then block mode 0x80 and the
// largest code width, 9 to 16 bits), then LZW codes, least significant bit
// first, 9 bits wide at first and one bit wider each time the table fills
// the width, as compress and gzip read them. Codes come in groups of eight
// (as many bytes as the width has bits): when the width changes, and after
// the code that clears the table (256, block mode), the rest of the group
// is padding. The table holds at most 2^16 entries of a code and a byte;
// a code that is neither in the table nor the next to be made, a first code
// that is not a byte, a string longer than the table and a header with
// another width refuse the stream at that code. A stream has no end mark:
// it ends cleanly where fewer than 8 bits are left, and is cut when a code's
// bits are missing beyond that.
class Compress final : public Decompressor {
  public:
    Compress(ReadFn read, uint64_t cap, int64_t deadline)
        : Decompressor(std::move(read), cap, deadline),
          prefix_(kTableSize),
          suffix_(kTableSize),
          string_(kTableSize) {}

    static constexpr uint32_t kClear = 256;  // block mode: start the table afresh
    static constexpr int kMinBits = 9, kMaxBits = 16;

  private:
    static constexpr size_t kTableSize = size_t{1} << kMaxBits;

    enum class Got { kCode, kNeedInput, kEnd, kCut };

    Result Run(Bytes &in, std::span<unsigned char> &out, bool inputEnded) override {
        while (headerBytes_ < 3 && !in.empty()) {
            header_[headerBytes_++] = in[0];
            in = in.subspan(1);
            if (headerBytes_ == 3 && !Start()) return Result::kDamaged;
        }
        if (headerBytes_ < 3) return inputEnded ? Result::kDamaged : Result::kMore;
        for (;;) {
            // Hand out what the last code stands for.
            const size_t n = std::min(pending_, out.size());
            std::memcpy(out.data(), string_.data() + kTableSize - pending_, n);
            pending_ -= n;
            out = out.subspan(n);
            if (out.empty()) return Result::kMore;
            uint32_t code = 0;
            switch (NextCode(in, inputEnded, code)) {
                case Got::kCode:
                    break;
                case Got::kNeedInput:
                    return Result::kMore;
                case Got::kEnd:
                    return Result::kStreamEnd;
                case Got::kCut:
                    return Result::kDamaged;
            }
            if (!Decode(code)) return Result::kDamaged;
        }
    }
    bool Restart() override { return false; }  // one stream per file
    bool StartsStream(Bytes) const override { return false; }

    bool Start() {
        const unsigned flags = header_[2];
        maxBits_ = static_cast<int>(flags & 0x1F);
        block_ = (flags & 0x80) != 0;
        if (header_[0] != 0x1F || header_[1] != 0x9D || (flags & 0x60) != 0 ||
            maxBits_ < kMinBits || maxBits_ > kMaxBits)
            return false;
        maxCodes_ = uint32_t{1} << maxBits_;
        next_ = block_ ? kClear + 1 : kClear;
        SetWidth(kMinBits);
        return true;
    }

    void SetWidth(int width) {
        width_ = width;
        // The largest width takes codes up to the table's end. The first
        // width is never taken for the largest: with a largest width of 9,
        // gzip (and compress's own decoder) go on to 10 bits once the 9-bit
        // table is full.
        widthEnd_ =
            width_ == maxBits_ && width_ > kMinBits ? maxCodes_ : (uint32_t{1} << width_) - 1;
    }

    // Skips the rest of the group of eight codes of the current width.
    void EndGroup() {
        skipBits_ += static_cast<uint64_t>((8 - codesInGroup_) & 7) * static_cast<unsigned>(width_);
        codesInGroup_ = 0;
    }

    Got NextCode(Bytes &in, bool inputEnded, uint32_t &code) {
        if (next_ > widthEnd_) {
            EndGroup();
            SetWidth(width_ + 1);
        }
        while (skipBits_ > 0) {
            if (bitCount_ == 0 && skipBits_ >= 8 && !in.empty()) {
                const size_t bytes =
                    static_cast<size_t>(std::min<uint64_t>(skipBits_ / 8, in.size()));
                in = in.subspan(bytes);
                skipBits_ -= bytes * 8;
                continue;
            }
            if (bitCount_ == 0) {
                // Padding cut short at the end is no loss.
                if (in.empty()) return inputEnded ? Got::kEnd : Got::kNeedInput;
                bits_ = in[0];
                bitCount_ = 8;
                in = in.subspan(1);
            }
            const int drop = static_cast<int>(std::min<uint64_t>(skipBits_, bitCount_));
            bits_ >>= drop;
            bitCount_ -= drop;
            skipBits_ -= static_cast<uint64_t>(drop);
        }
        while (bitCount_ < width_) {
            if (in.empty()) {
                if (!inputEnded) return Got::kNeedInput;
                return bitCount_ < 8 ? Got::kEnd : Got::kCut;
            }
            bits_ |= static_cast<uint32_t>(in[0]) << bitCount_;
            bitCount_ += 8;
            in = in.subspan(1);
        }
        code = bits_ & ((uint32_t{1} << width_) - 1);
        bits_ >>= width_;
        bitCount_ -= width_;
        codesInGroup_ = (codesInGroup_ + 1) & 7;
        return Got::kCode;
    }

    // Puts the string of `code` behind pending_ (at the end of string_) and
    // makes the next table entry; false for a code that cannot be there.
    bool Decode(uint32_t code) {
        if (!started_) {
            if (code >= 256) return false;
            started_ = true;
            previous_ = code;
            last_ = static_cast<unsigned char>(code);
            string_[kTableSize - 1] = last_;
            pending_ = 1;
            return true;
        }
        if (block_ && code == kClear) {
            // The entry made after the next code is a placeholder at 256,
            // as compress skips one there too.
            EndGroup();
            next_ = kClear;
            SetWidth(kMinBits);
            return true;
        }
        const uint32_t read = code;
        size_t at = kTableSize;
        if (code >= next_) {
            // The entry about to be made: the previous string and its first byte.
            if (code > next_) return false;
            string_[--at] = last_;
            code = previous_;
        }
        while (code >= 256) {
            if (at == 1) return false;  // longer than any string the table can hold
            string_[--at] = suffix_[code];
            code = prefix_[code];
        }
        string_[--at] = last_ = static_cast<unsigned char>(code);
        pending_ = kTableSize - at;
        if (next_ < maxCodes_) {
            prefix_[next_] = static_cast<uint16_t>(previous_);
            suffix_[next_] = last_;
            ++next_;
        }
        previous_ = read;
        return true;
    }

    unsigned char header_[3] = {};
    int headerBytes_ = 0;
    bool block_ = false;
    int maxBits_ = 0;
    uint32_t maxCodes_ = 0;
    int width_ = kMinBits;
    uint32_t widthEnd_ = 0;  // the table's next entry may grow up to this at this width
    uint32_t next_ = 0;      // the next entry of the table
    // Bits read but not used, least significant first.
    uint32_t bits_ = 0;
    int bitCount_ = 0;
    int codesInGroup_ = 0;
    uint64_t skipBits_ = 0;
    bool started_ = false;
    uint32_t previous_ = 0;   // the code before
    unsigned char last_ = 0;  // the first byte of the last string
    std::vector<uint16_t> prefix_;
    std::vector<unsigned char> suffix_;
    std::vector<unsigned char> string_;  // a decoded string, at its end
    size_t pending_ = 0;                 // its bytes not yet handed out
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
            return std::make_unique<Xz>(std::move(read), maxOutput, deadlineNs, Xz::Kind::kXz);
        case Codec::kLzma:
            return std::make_unique<Xz>(std::move(read), maxOutput, deadlineNs, Xz::Kind::kAlone);
        case Codec::kLzip:
            return std::make_unique<Xz>(std::move(read), maxOutput, deadlineNs, Xz::Kind::kLzip);
        case Codec::kLz4:
            return std::make_unique<Lz4>(std::move(read), maxOutput, deadlineNs);
        case Codec::kCompress:
            return std::make_unique<Compress>(std::move(read), maxOutput, deadlineNs);
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
