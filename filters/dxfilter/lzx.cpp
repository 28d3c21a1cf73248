// lzx.cpp - the LZX decompressor of compiled HTML Help files (see lzx.h).
//
// The bit stream is read in 16-bit little-endian words, most significant
// bit first. A reset starts with one bit telling whether E8 call targets are
// translated (then 32 bits: the translation size). Blocks follow: 3 bits of
// type, 24 of length, then
//  - verbatim (1) and aligned-offset (2) blocks: for aligned-offset blocks
//    the aligned-offset code (8 lengths of 3 bits), then the main code (256
//    literals, then 8 symbols a position slot) and the length code, each
//    sent as changes to the lengths before, coded by a pretree of 20 4-bit
//    lengths; then literals and matches;
//  - uncompressed (3) blocks: the stream aligned to 16 bits, the three
//    repeated offsets (32 bits each), the bytes, a padding byte after an
//    odd length.
#include "filters/dxfilter/lzx.h"

#include <algorithm>
#include <cstring>

#include "filters/dxfilter/bytes.h"

namespace dxf {
namespace {

constexpr int kVerbatim = 1, kAligned = 2, kUncompressed = 3;
constexpr size_t kMinMatch = 2;
constexpr size_t kPretreeSymbols = 20;
constexpr uint32_t kE8Frames = 32768;  // frames whose E8 calls are translated
constexpr size_t kMaxCompressedFrame = LzxDecoder::kFrameBytes + 6144;

// Position slots by window size (2^15 to 2^21 bytes).
constexpr uint32_t kPositionSlots[] = {30, 32, 34, 36, 38, 42, 50};

// Extra bits and base offsets of the position slots.
struct Slots {
    std::array<uint8_t, 50> extra{};
    std::array<uint32_t, 50> base{};
};
constexpr Slots MakeSlots() {
    Slots s;
    uint8_t bits = 0;
    for (size_t i = 0; i < s.extra.size(); i += 2) {
        s.extra[i] = s.extra[i + 1] = bits;
        if (i != 0 && bits < 17) ++bits;
    }
    for (size_t i = 1; i < s.base.size(); ++i) s.base[i] = s.base[i - 1] + (1u << s.extra[i - 1]);
    return s;
}
constexpr Slots kSlots = MakeSlots();

}  // namespace

// The bits of one frame's input. Words past its end (a last odd byte among
// them) read as zero; whether any bit of them was used is asked with
// Overrun().
class LzxDecoder::Bits {
  public:
    explicit Bits(std::span<const uint8_t> in) : in_(in) {}

    uint32_t Peek(unsigned n) {
        while (left_ < n) {
            const bool real = at_ < in_.size() && in_.size() - at_ >= 2;
            const uint32_t word = real ? in_[at_] | in_[at_ + 1] << 8 : 0;
            buffer_ |= uint64_t{word} << (48 - left_);
            left_ += 16;
            if (!real) fake_ += 16;
            at_ += 2;
        }
        return static_cast<uint32_t>(buffer_ >> (64 - n));
    }
    void Skip(unsigned n) {
        buffer_ <<= n;
        left_ -= n;
    }
    uint32_t Read(unsigned n) {
        if (n == 0) return 0;
        const uint32_t v = Peek(n);
        Skip(n);
        return v;
    }
    bool Overrun() const { return left_ < fake_; }

    // Byte access for uncompressed blocks: the stream aligned to its next
    // word (a whole word of padding when it already is).
    void Align() {
        Peek(16);
        if (left_ > 16) at_ -= 2;
        Restart();
    }
    void Restart() {
        buffer_ = 0;
        left_ = fake_ = 0;
    }
    bool Take(size_t n, std::span<const uint8_t> &bytes) {
        if (at_ > in_.size() || n > in_.size() - at_) return false;
        bytes = in_.subspan(at_, n);
        at_ += n;
        return true;
    }
    void SkipByte() { ++at_; }

  private:
    std::span<const uint8_t> in_;
    size_t at_ = 0;  // of the next word
    uint64_t buffer_ = 0;
    unsigned left_ = 0;  // bits in the buffer
    unsigned fake_ = 0;  // of them, read past the end (the last ones)
};

template <size_t kSymbols, unsigned kFastBits>
bool LzxDecoder::Code<kSymbols, kFastBits>::Build() {
    counts.fill(0);
    fast.fill(0);
    for (size_t s = 0; s < symbols; ++s) ++counts[lengths[s]];
    counts[0] = 0;
    int32_t left = 1;
    bool any = false;
    for (unsigned len = 1; len <= 16; ++len) {
        left = left * 2 - counts[len];
        if (left < 0) return false;  // more codes than there is room for
        any = any || counts[len] != 0;
    }
    if (!any) return true;        // an empty code: fine until it is used
    if (left != 0) return false;  // an incomplete one
    std::array<uint16_t, 18> offsets{};
    for (unsigned len = 1; len <= 16; ++len) offsets[len + 1] = offsets[len] + counts[len];
    for (size_t s = 0; s < symbols; ++s)
        if (lengths[s]) sorted[offsets[lengths[s]]++] = static_cast<uint16_t>(s);
    uint32_t code = 0;
    size_t index = 0;
    for (unsigned len = 1; len <= 16; ++len) {
        for (unsigned k = 0; k < counts[len]; ++k, ++code, ++index) {
            if (len > kFastBits) continue;
            const uint32_t first = code << (kFastBits - len), n = 1u << (kFastBits - len);
            for (uint32_t j = 0; j < n; ++j)
                fast[first + j] = static_cast<uint16_t>(sorted[index] << 5 | len);
        }
        code <<= 1;
    }
    return true;
}

// The next symbol of `code`, -1 when the bits make none of its codes.
template <size_t kSymbols, unsigned kFastBits>
int LzxDecoder::Decode(const Code<kSymbols, kFastBits> &code, Bits &bits) {
    const uint32_t peek = bits.Peek(16);
    if (const uint16_t e = code.fast[peek >> (16 - kFastBits)]; e != 0) {
        bits.Skip(e & 31);
        return e >> 5;
    }
    int32_t value = 0, first = 0, index = 0;
    for (unsigned len = 1; len <= 16; ++len) {
        value |= (peek >> (16 - len)) & 1;
        const int32_t count = code.counts[len];
        if (value - first < count) {
            bits.Skip(len);
            return code.sorted[static_cast<size_t>(index + value - first)];
        }
        index += count;
        first = (first + count) << 1;
        value <<= 1;
    }
    return -1;
}

// Lengths [first, last) of `code`, sent as changes through a pretree.
template <size_t kSymbols, unsigned kFastBits>
bool LzxDecoder::ReadLengths(Bits &bits, Code<kSymbols, kFastBits> &code, size_t first,
                             size_t last) {
    Code<kPretreeSymbols, 8> pretree;
    for (size_t i = 0; i < kPretreeSymbols; ++i)
        pretree.lengths[i] = static_cast<uint8_t>(bits.Read(4));
    if (!pretree.Build()) return false;
    for (size_t x = first; x < last;) {
        int z = Decode(pretree, bits);
        if (z < 0) return false;
        if (z == 17 || z == 18) {
            const size_t run = z == 17 ? bits.Read(4) + 4 : bits.Read(5) + 20;
            if (run > last - x) return false;
            std::fill_n(code.lengths.begin() + x, run, 0);
            x += run;
        } else if (z == 19) {
            const size_t run = bits.Read(1) + 4;
            z = Decode(pretree, bits);
            if (z < 0 || z > 16 || run > last - x) return false;
            const auto len = static_cast<uint8_t>((code.lengths[x] + 17 - z) % 17);
            std::fill_n(code.lengths.begin() + x, run, len);
            x += run;
        } else {
            code.lengths[x] = static_cast<uint8_t>((code.lengths[x] + 17 - z) % 17);
            ++x;
        }
        if (bits.Overrun()) return false;
    }
    return true;
}

LzxDecoder::LzxDecoder(unsigned windowBits)
    : window_(size_t{1} << std::clamp(windowBits, kMinWindowBits, kMaxWindowBits)),
      windowBits_(std::clamp(windowBits, kMinWindowBits, kMaxWindowBits)),
      mainSymbols_(256 + 8 * kPositionSlots[windowBits_ - kMinWindowBits]) {
    main_.symbols = mainSymbols_;
    Reset();
}

void LzxDecoder::Reset() {
    position_ = filled_ = 0;
    repeated_ = {1, 1, 1};
    headerRead_ = false;
    translationSize_ = 0;
    translationStarted_ = false;
    translatedFrames_ = 0;
    translationPosition_ = 0;
    blockType_ = 0;
    blockLength_ = blockRemaining_ = 0;
    main_.lengths.fill(0);
    length_.lengths.fill(0);
}

bool LzxDecoder::BlockHeader(Bits &bits) {
    if (blockType_ == kUncompressed) {
        if (blockLength_ & 1) bits.SkipByte();
        bits.Restart();
    }
    blockType_ = static_cast<int>(bits.Read(3));
    const uint32_t high = bits.Read(16);
    blockLength_ = blockRemaining_ = high << 8 | bits.Read(8);
    switch (blockType_) {
        case kAligned:
            for (size_t i = 0; i < 8; ++i) aligned_.lengths[i] = static_cast<uint8_t>(bits.Read(3));
            if (!aligned_.Build()) return false;
            [[fallthrough]];
        case kVerbatim:
            if (!ReadLengths(bits, main_, 0, 256) || !ReadLengths(bits, main_, 256, mainSymbols_) ||
                !main_.Build())
                return false;
            if (main_.lengths[0xE8] != 0) translationStarted_ = true;
            return ReadLengths(bits, length_, 0, kLengthSymbols) && length_.Build() &&
                   !bits.Overrun();
        case kUncompressed: {
            translationStarted_ = true;
            if (bits.Overrun()) return false;
            bits.Align();
            std::span<const uint8_t> r;
            if (!bits.Take(12, r)) return false;
            for (size_t i = 0; i < 3; ++i) repeated_[i] = le32(r.data() + 4 * i);
            return true;
        }
        default:
            return false;
    }
}

// `run` bytes of a verbatim or aligned-offset block, into the window.
bool LzxDecoder::Compressed(Bits &bits, size_t run) {
    const size_t windowSize = window_.size();
    uint8_t *window = window_.data();
    while (run > 0) {
        const int symbol = Decode(main_, bits);
        if (symbol < 0) return false;
        if (symbol < 256) {
            if (bits.Overrun()) return false;
            window[position_++] = static_cast<uint8_t>(symbol);
            --run;
            filled_ = std::min(filled_ + 1, windowSize);
            continue;
        }
        const uint32_t header = static_cast<uint32_t>(symbol) - 256;
        size_t length = header & 7;
        if (length == 7) {
            const int more = Decode(length_, bits);
            if (more < 0) return false;
            length += static_cast<size_t>(more);
        }
        length += kMinMatch;
        const uint32_t slot = header >> 3;
        uint32_t offset;
        if (slot > 2) {
            const unsigned extra = kSlots.extra[slot];
            offset = kSlots.base[slot] - 2;
            if (blockType_ == kAligned && extra >= 3) {
                offset += bits.Read(extra - 3) << 3;
                const int low = Decode(aligned_, bits);
                if (low < 0) return false;
                offset += static_cast<uint32_t>(low);
            } else {
                offset += bits.Read(extra);
            }
            repeated_ = {offset, repeated_[0], repeated_[1]};
        } else {
            offset = repeated_[slot];
            std::swap(repeated_[0], repeated_[slot]);
        }
        // A match stays inside the frame and reaches back no further than
        // the first byte since the reset.
        if (bits.Overrun() || length > run || offset == 0 || offset > filled_) return false;
        size_t from = (position_ + windowSize - offset) & (windowSize - 1);
        for (size_t i = 0; i < length; ++i) {
            window[position_ + i] = window[from];
            from = (from + 1) & (windowSize - 1);
        }
        position_ += length;
        run -= length;
        filled_ = std::min(filled_ + length, windowSize);
    }
    return true;
}

bool LzxDecoder::Frame(std::span<const uint8_t> in, std::span<uint8_t> out) {
    if (out.size() > kFrameBytes || in.size() > kMaxCompressedFrame) return false;
    Bits bits(in);
    if (!headerRead_) {
        if (bits.Read(1)) {
            const uint32_t high = bits.Read(16);
            translationSize_ = high << 16 | bits.Read(16);
        }
        headerRead_ = true;
    }
    const size_t windowSize = window_.size();
    for (size_t togo = out.size(); togo > 0;) {
        if (blockRemaining_ == 0) {
            if (!BlockHeader(bits)) return false;
            continue;
        }
        const size_t run = std::min(blockRemaining_, togo);
        togo -= run;
        blockRemaining_ -= run;
        position_ &= windowSize - 1;
        if (run > windowSize - position_) return false;
        if (blockType_ == kUncompressed) {
            std::span<const uint8_t> bytes;
            if (!bits.Take(run, bytes)) return false;
            std::memcpy(window_.data() + position_, bytes.data(), run);
            position_ += run;
            filled_ = std::min(filled_ + run, windowSize);
        } else if (!Compressed(bits, run)) {
            return false;
        }
    }
    if (bits.Overrun() || position_ < out.size()) return false;
    std::memcpy(out.data(), window_.data() + position_ - out.size(), out.size());
    Translate(out);
    return true;
}

// E8 call targets back from absolute to relative, in the first 32768
// frames since the reset, once a block could hold them.
void LzxDecoder::Translate(std::span<uint8_t> out) {
    if (translatedFrames_ >= kE8Frames || translationSize_ == 0) return;
    ++translatedFrames_;
    const auto size = static_cast<int64_t>(out.size());
    if (size <= 6 || !translationStarted_) {
        translationPosition_ += size;
        return;
    }
    const auto fileSize = static_cast<int64_t>(static_cast<int32_t>(translationSize_));
    int64_t position = translationPosition_;
    translationPosition_ += size;
    for (size_t i = 0; i + 10 < out.size();) {
        if (out[i++] != 0xE8) {
            ++position;
            continue;
        }
        const int64_t absolute = static_cast<int32_t>(le32(out.data() + i));
        if (absolute >= -position && absolute < fileSize) {
            const uint32_t relative =
                static_cast<uint32_t>(absolute >= 0 ? absolute - position : absolute + fileSize);
            for (size_t k = 0; k < 4; ++k) out[i + k] = static_cast<uint8_t>(relative >> (8 * k));
        }
        i += 4;
        position += 5;
    }
}

namespace {
uint32_t Le32At(std::string_view s, size_t at) {
    return le32(reinterpret_cast<const unsigned char *>(s.data()) + at);
}
uint64_t Le64At(std::string_view s, size_t at) {
    return Le32At(s, at) | uint64_t{Le32At(s, at + 4)} << 32;
}
}  // namespace

// Control data: its length in 32-bit words, `LZXC`, a version, the reset
// interval, the window size (both in 32 KiB units from version 2 on, else
// in bytes) and the windows a reset interval spans.
std::optional<LzxParameters> ReadLzxControl(std::string_view controlData) {
    if (controlData.size() < 0x18 || controlData.compare(4, 4, "LZXC") != 0) return std::nullopt;
    uint64_t reset = Le32At(controlData, 0xC), window = Le32At(controlData, 0x10);
    const uint64_t windows = Le32At(controlData, 0x14);
    if (Le32At(controlData, 8) == 2) {
        reset *= LzxDecoder::kFrameBytes;
        window *= LzxDecoder::kFrameBytes;
    }
    if (window < (1u << LzxDecoder::kMinWindowBits) ||
        window > (1u << LzxDecoder::kMaxWindowBits) || (window & (window - 1)) != 0 || reset == 0 ||
        reset % (window / 2) != 0 || windows == 0 || reset / (window / 2) * windows > UINT32_MAX)
        return std::nullopt;
    unsigned bits = LzxDecoder::kMinWindowBits;
    while ((uint64_t{1} << bits) < window) ++bits;
    // The frames between two resets: the reset interval in half windows,
    // times the windows it spans.
    return LzxParameters{bits, reset / (window / 2) * windows};
}

// The reset table: a version (2), the number of frames, the size of an
// entry, where the entries start, the decompressed and compressed lengths,
// the frame size (32 KiB), then where each frame's compressed bytes start.
std::optional<LzxSection> LzxSection::Open(std::string_view controlData,
                                           std::string_view resetTable, std::string_view content) {
    const auto parameters = ReadLzxControl(controlData);
    if (!parameters || resetTable.size() < 0x28 || Le32At(resetTable, 0) != 2 ||
        Le64At(resetTable, 0x20) != LzxDecoder::kFrameBytes)
        return std::nullopt;
    LzxSection section(*parameters);
    section.content_ = content;
    section.length_ = Le64At(resetTable, 0x10);
    section.compressed_ = Le64At(resetTable, 0x18);
    const uint64_t count = Le32At(resetTable, 4), at = Le32At(resetTable, 0xC);
    for (uint64_t i = 0;
         i < count && at <= resetTable.size() && (i + 1) * 8 <= resetTable.size() - at; ++i)
        section.frameStarts_.push_back(Le64At(resetTable, at + i * 8));
    return section;
}

bool LzxSection::Decode(uint64_t frame, const std::function<bool()> &goOn) {
    if (frame >= frameStarts_.size()) return false;
    // Continue from the frame decoded last when it lies in the same reset
    // interval, before this one; else start again at the interval's start.
    uint64_t next = frame - frame % resetFrames_;
    if (decoded_ != UINT64_MAX && decoded_ >= next && decoded_ < frame) next = decoded_ + 1;
    if (next == frame - frame % resetFrames_) decoder_.Reset();
    frame_.resize(LzxDecoder::kFrameBytes);
    for (; next <= frame; ++next) {
        decoded_ = UINT64_MAX;
        if (!goOn()) return false;
        const uint64_t start = frameStarts_[next];
        const uint64_t end = next + 1 < frameStarts_.size() ? frameStarts_[next + 1] : compressed_;
        if (start > end || end > content_.size()) return false;
        const auto *bytes = reinterpret_cast<const uint8_t *>(content_.data());
        if (!decoder_.Frame({bytes + start, static_cast<size_t>(end - start)}, frame_))
            return false;
        decoded_ = next;
    }
    return true;
}

bool LzxSection::Read(uint64_t offset, uint64_t length, std::string &out,
                      const std::function<bool()> &goOn) {
    constexpr uint64_t kFrame = LzxDecoder::kFrameBytes;
    while (length > 0) {
        const uint64_t frame = offset / kFrame, within = offset % kFrame;
        if (frame != decoded_ && !Decode(frame, goOn)) return false;
        const uint64_t n = std::min(length, kFrame - within);
        out.append(reinterpret_cast<const char *>(frame_.data()) + within, n);
        offset += n;
        length -= n;
    }
    return true;
}

}  // namespace dxf
