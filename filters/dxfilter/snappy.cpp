// snappy.cpp - raw Snappy blocks (see snappy.h).
#include "filters/dxfilter/snappy.h"

#include <cstring>

namespace dxf {
namespace {

// Element tags: the low two bits of an element's first byte.
constexpr unsigned kLiteral = 0, kCopy1 = 1, kCopy2 = 2, kCopy4 = 3;

// Reads the preamble; `at` ends past it.
std::optional<uint32_t> ReadLength(std::string_view block, size_t &at) {
    uint64_t value = 0;
    for (unsigned shift = 0; shift < 35; shift += 7) {
        if (at >= block.size()) return std::nullopt;
        const auto byte = static_cast<unsigned char>(block[at++]);
        value |= uint64_t{byte & 0x7Fu} << shift;
        if (!(byte & 0x80)) {
            if (value > UINT32_MAX) return std::nullopt;
            return static_cast<uint32_t>(value);
        }
    }
    return std::nullopt;
}

// `count` little-endian bytes at `at`; false when the block ends first.
bool ReadLe(std::string_view block, size_t &at, unsigned count, uint32_t &value) {
    if (block.size() - at < count) return false;
    value = 0;
    for (unsigned i = 0; i < count; ++i)
        value |= uint32_t{static_cast<unsigned char>(block[at + i])} << (8 * i);
    at += count;
    return true;
}

}  // namespace

std::optional<uint32_t> SnappyDecodedLength(std::string_view block) {
    size_t at = 0;
    return ReadLength(block, at);
}

bool SnappyDecode(std::string_view block, size_t maxBytes, std::string &out) {
    size_t at = 0;
    const std::optional<uint32_t> stated = ReadLength(block, at);
    if (!stated || *stated > maxBytes) return false;
    const size_t start = out.size(), end = start + *stated;
    out.reserve(end);
    auto fail = [&] {
        out.resize(start);
        return false;
    };
    while (at < block.size()) {
        const auto tag = static_cast<unsigned char>(block[at++]);
        uint32_t length = 0, offset = 0;
        switch (tag & 3u) {
            case kLiteral: {
                length = tag >> 2;
                // 60 to 63: the length less one follows in 1 to 4 bytes.
                if (length >= 60 && !ReadLe(block, at, length - 59, length)) return fail();
                const uint64_t count = uint64_t{length} + 1;
                if (count > block.size() - at || count > end - out.size()) return fail();
                out.append(block.substr(at, count));
                at += count;
                continue;
            }
            case kCopy1:
                length = 4 + ((tag >> 2) & 7u);
                if (at >= block.size()) return fail();
                offset = (uint32_t{tag} >> 5) << 8 | static_cast<unsigned char>(block[at++]);
                break;
            case kCopy2:
            case kCopy4:
                length = 1 + (tag >> 2);
                if (!ReadLe(block, at, (tag & 3u) == kCopy2 ? 2 : 4, offset)) return fail();
                break;
        }
        if (offset == 0 || offset > out.size() - start || length > end - out.size()) return fail();
        // Within the reserved length: no reallocation. A copy that overlaps
        // the bytes it produces repeats them, byte by byte.
        const size_t done = out.size();
        out.resize(done + length);
        char *to = out.data() + done;
        const char *from = to - offset;
        if (offset >= length)
            std::memcpy(to, from, length);
        else
            for (uint32_t i = 0; i < length; ++i) to[i] = from[i];
    }
    if (out.size() != end) return fail();
    return true;
}

}  // namespace dxf
