// lzx.h - the LZX decompressor of compiled HTML Help files (`.chm`): the
// frame decoder and the compressed section (`MSCompressed`) built on it.
//
// The section's content is a run of LZX frames of 32 KiB of output each; its
// reset table gives where each frame's compressed bytes start, its control
// data (`LZXC`) the window size and how many frames lie between two resets of
// the decoder. A frame is decoded from its own bytes only, with the state the
// frames before it since the last reset left (window, trees, repeated
// offsets, the block being read). Every read of the input and the window is
// checked: damage of any kind (a cut stream, trees whose lengths make no
// code, a match that reaches before the first byte since the reset or past
// the frame, a block type LZX does not have) fails the frame, and no byte of
// a frame that failed is handed out.
#ifndef GLOTTA_FILTERS_DXFILTER_LZX_H
#define GLOTTA_FILTERS_DXFILTER_LZX_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace dxf {

class LzxDecoder {
  public:
    static constexpr size_t kFrameBytes = 0x8000;
    static constexpr unsigned kMinWindowBits = 15, kMaxWindowBits = 21;

    // A decoder with a window of 2^windowBits bytes (15 to 21), reset.
    explicit LzxDecoder(unsigned windowBits);

    // Back to the state of the first frame of a stream.
    void Reset();

    // Decodes the next frame from its compressed bytes `in` into `out` (at
    // most kFrameBytes). False when the frame is damaged: `out` then holds
    // nothing usable, and the decoder must be reset before its next frame.
    bool Frame(std::span<const uint8_t> in, std::span<uint8_t> out);

  private:
    // A code of up to `kSymbols` symbols: its lengths, and the tables that
    // decode it (codes of up to kFastBits bits in one look-up).
    template <size_t kSymbols, unsigned kFastBits>
    struct Code {
        std::array<uint8_t, kSymbols> lengths{};
        std::array<uint16_t, size_t{1} << kFastBits> fast{};  // symbol << 5 | length
        std::array<uint16_t, 17> counts{};
        std::array<uint16_t, kSymbols> sorted{};  // symbols by code
        size_t symbols = kSymbols;
        bool Build();
    };
    class Bits;
    template <size_t kSymbols, unsigned kFastBits>
    static int Decode(const Code<kSymbols, kFastBits> &code, Bits &bits);
    template <size_t kSymbols, unsigned kFastBits>
    static bool ReadLengths(Bits &bits, Code<kSymbols, kFastBits> &code, size_t first, size_t last);
    bool BlockHeader(Bits &bits);
    bool Compressed(Bits &bits, size_t run);
    void Translate(std::span<uint8_t> out);

    static constexpr size_t kMainSymbols = 256 + 8 * 50, kLengthSymbols = 249;
    std::vector<uint8_t> window_;
    uint32_t windowBits_;
    uint32_t mainSymbols_;
    size_t position_ = 0;  // in the window
    size_t filled_ = 0;    // bytes decoded since the reset, up to the window's size
    std::array<uint32_t, 3> repeated_{1, 1, 1};
    bool headerRead_ = false;
    uint32_t translationSize_ = 0;  // of E8 call targets; 0 for none
    bool translationStarted_ = false;
    uint32_t translatedFrames_ = 0;
    int64_t translationPosition_ = 0;
    int blockType_ = 0;
    size_t blockLength_ = 0, blockRemaining_ = 0;
    Code<kMainSymbols, 10> main_;
    Code<kLengthSymbols, 10> length_;
    Code<8, 7> aligned_;
};

// The parameters of a compressed section's control data (`LZXC`).
struct LzxParameters {
    unsigned windowBits;   // 15 to 21
    uint64_t resetFrames;  // frames from one reset to the next
};
// Nothing when the data makes no window of 32 KiB to 2 MiB (a power of two)
// or no reset interval of whole half windows.
std::optional<LzxParameters> ReadLzxControl(std::string_view controlData);

// The LZX-compressed section of a compiled HTML Help file.
class LzxSection {
  public:
    // The section of `content` (its compressed bytes, as many as the file
    // holds), decoded with the parameters of `controlData` and the frame
    // places of `resetTable`; nothing when they are unusable. The section
    // reads `content` in place: its bytes must outlive the section.
    static std::optional<LzxSection> Open(std::string_view controlData, std::string_view resetTable,
                                          std::string_view content);

    // Appends the decompressed bytes [offset, offset + length) to `out`.
    // `goOn` is asked before each frame is decoded. False when a frame the
    // bytes need is damaged, lies outside the content or the table, or
    // `goOn` says no: `out` then ends after the bytes before that frame.
    // The frames since the last reset are decoded once for reads in order.
    bool Read(uint64_t offset, uint64_t length, std::string &out,
              const std::function<bool()> &goOn);

    // Frames the reset table lists, and the decompressed length it gives.
    uint64_t frames() const { return frameStarts_.size(); }
    uint64_t length() const { return length_; }

  private:
    explicit LzxSection(const LzxParameters &p)
        : decoder_(p.windowBits), resetFrames_(p.resetFrames) {}
    bool Decode(uint64_t frame, const std::function<bool()> &goOn);

    LzxDecoder decoder_;
    uint64_t resetFrames_;
    std::string_view content_;
    std::vector<uint64_t> frameStarts_;
    uint64_t compressed_ = 0, length_ = 0;
    std::vector<uint8_t> frame_;     // the last frame decoded
    uint64_t decoded_ = UINT64_MAX;  // its number, or none
};

}  // namespace dxf

#endif
