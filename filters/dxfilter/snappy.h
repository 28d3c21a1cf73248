// snappy.h - a decoder of raw Snappy blocks, as Apple iWork's `.iwa` parts
// keep them (one block per chunk, without the framing format's stream
// identifier or checksums).
//
// A block starts with its decoded length (a varint of at most five bytes)
// followed by elements: literals (the bytes themselves) and copies (a length
// and an offset back into the bytes decoded so far). Every read of the input
// and every copy is checked: a cut block, a copy that reaches before the
// block's first byte, an offset of 0, or output that does not come to the
// stated length fails the block, and nothing of it is kept.
#ifndef GLOTTA_FILTERS_DXFILTER_SNAPPY_H
#define GLOTTA_FILTERS_DXFILTER_SNAPPY_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace dxf {

// The decoded length a block states; nullopt when its preamble is cut or
// longer than five bytes or states more than 2^32 - 1 bytes.
std::optional<uint32_t> SnappyDecodedLength(std::string_view block);

// Appends the decoded bytes of the block `block` to `out`. False, with `out`
// as it was, when the block is damaged or states more than `maxBytes`.
bool SnappyDecode(std::string_view block, size_t maxBytes, std::string &out);

}  // namespace dxf

#endif
