// iWork 2013-and-later parts built byte by byte, for the unit tests of the
// `.iwa` decoders and of dxfilter_iwork.so: protocol buffer fields, raw
// Snappy elements and blocks, chunks, and archive objects.
#ifndef GLOTTA_TESTS_UNIT_DXFILTER_IWA_WRITER_H
#define GLOTTA_TESTS_UNIT_DXFILTER_IWA_WRITER_H

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace dxfilter_iwa {

inline std::string Varint(uint64_t v) {
    std::string out;
    for (; v >= 0x80; v >>= 7) out += static_cast<char>(v | 0x80);
    return out + static_cast<char>(v);
}
inline std::string Int(uint32_t field, uint64_t v) {
    return Varint(field << 3) + Varint(v);
}
inline std::string Bytes(uint32_t field, std::string_view b) {
    return Varint(field << 3 | 2) + Varint(b.size()) + std::string(b);
}
// A reference to object `id`.
inline std::string Ref(uint32_t field, uint64_t id) {
    return Bytes(field, Int(1, id));
}

// Snappy elements: a literal of up to 65536 bytes, copies with one, two and
// four offset bytes (4 to 11 bytes and offsets below 2048; 1 to 64 bytes).
inline std::string Literal(std::string_view b) {
    const size_t n = b.size() - 1;
    if (n < 60) return static_cast<char>(n << 2) + std::string(b);
    std::string out(1, static_cast<char>(n < 256 ? 60 << 2 : 61 << 2));
    out += static_cast<char>(n);
    if (n >= 256) out += static_cast<char>(n >> 8);
    return out + std::string(b);
}
inline std::string Copy1(unsigned offset, unsigned length) {
    return {static_cast<char>(1 | (length - 4) << 2 | (offset >> 8) << 5),
            static_cast<char>(offset & 0xFF)};
}
inline std::string Copy2(unsigned offset, unsigned length) {
    return {static_cast<char>(2 | (length - 1) << 2), static_cast<char>(offset),
            static_cast<char>(offset >> 8)};
}
inline std::string Copy4(uint32_t offset, unsigned length) {
    std::string out(1, static_cast<char>(3 | (length - 1) << 2));
    for (int i = 0; i < 4; ++i) out += static_cast<char>(offset >> (8 * i));
    return out;
}
// A block stating `stated` decoded bytes, of `elements`.
inline std::string Block(size_t stated, std::initializer_list<std::string> elements) {
    std::string out = Varint(stated);
    for (const std::string &e : elements) out += e;
    return out;
}
// A chunk holding `block`.
inline std::string Chunk(std::string_view block) {
    const size_t n = block.size();
    return std::string{'\0', static_cast<char>(n), static_cast<char>(n >> 8),
                       static_cast<char>(n >> 16)} +
           std::string(block);
}
// A part holding `stream` as literals, in chunks of at most 64 KiB.
inline std::string Part(std::string_view stream) {
    std::string out;
    for (size_t at = 0; at < stream.size(); at += 65536) {
        const std::string_view piece = stream.substr(at, 65536);
        out += Chunk(Block(piece.size(), {Literal(piece)}));
    }
    return out;
}

// An archive object: its header, then its messages (type, payload).
inline std::string Object(uint64_t id,
                          const std::vector<std::pair<uint32_t, std::string>> &messages) {
    std::string header = Int(1, id), payloads;
    for (const auto &[type, payload] : messages) {
        header += Bytes(2, Int(1, type) + Bytes(2, "\x01\x00\x05") + Int(3, payload.size()));
        payloads += payload;
    }
    return Varint(header.size()) + header + payloads;
}
// A text storage of `kind` (0 body, 1 header, 3 text box, 4 note, 7 table of
// contents) holding `text`.
inline std::string Storage(uint64_t kind, std::string_view text) {
    return Int(1, kind) + Ref(2, 9) + Bytes(3, text);
}

}  // namespace dxfilter_iwa

#endif
