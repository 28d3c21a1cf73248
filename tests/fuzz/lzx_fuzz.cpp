// lzx_fuzz.cpp - fuzz target: the LZX decompressor of compiled HTML Help
// files (filters/dxfilter/lzx.cpp) alone. Input: the window (2^(15 + byte 0
// % 7) bytes), the frames between two resets (1 + byte 1 % 4), then at most
// 64 frames, each a 16-bit little-endian length and its compressed bytes.
// The frames are read as a compressed section, whole, then one at a time
// from the last to the first (each from its reset again): a frame decoded
// both times gives the same bytes both times, and a read that fails hands
// out only whole frames.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "filters/dxfilter/lzx.h"

namespace {

constexpr uint64_t kFrame = dxf::LzxDecoder::kFrameBytes;
constexpr size_t kMaxFrames = 64;

void Put(std::string &b, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b += static_cast<char>(v >> (8 * i));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2) return 0;
    const uint64_t window = uint64_t{1} << (15 + data[0] % 7), resetFrames = 1 + data[1] % 4;
    std::string content, starts;
    size_t frames = 0;
    for (size_t at = 2; at + 2 <= size && frames < kMaxFrames; ++frames) {
        const size_t length = std::min<size_t>(data[at] | data[at + 1] << 8, size - at - 2);
        Put(starts, content.size(), 8);
        content.append(reinterpret_cast<const char *>(data) + at + 2, length);
        at += 2 + length;
    }
    if (frames == 0) return 0;
    // Control data of version 1 (sizes in bytes) and the reset table.
    std::string control("\x06\0\0\0LZXC\x01\0\0\0", 12);
    Put(control, resetFrames * window / 2, 4);
    Put(control, window, 4);
    Put(control, 1, 4);
    std::string table;
    for (uint64_t v : {2u, static_cast<unsigned>(frames), 8u, 0x28u}) Put(table, v, 4);
    for (uint64_t v : {frames * kFrame, uint64_t{content.size()}, kFrame}) Put(table, v, 8);
    table += starts;

    auto whole = dxf::LzxSection::Open(control, table, content);
    if (!whole) abort();
    std::string all;
    const bool ok = whole->Read(0, frames * kFrame, all, [] { return true; });
    if (ok ? all.size() != frames * kFrame : all.size() % kFrame != 0) abort();
    auto single = dxf::LzxSection::Open(control, table, content);
    for (size_t i = frames; i-- > 0;) {
        std::string one;
        const bool got = single->Read(i * kFrame, kFrame, one, [] { return true; });
        if ((i + 1) * kFrame <= all.size() && (!got || one != all.substr(i * kFrame, kFrame)))
            abort();
        if (!got && !one.empty()) abort();
    }
    return 0;
}
