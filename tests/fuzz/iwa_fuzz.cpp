// iwa_fuzz.cpp - fuzz target: the decoders of iWork 2013-and-later parts
// (filters/dxfilter/snappy.cpp, iwa.cpp) alone. The input is read three
// ways: as one raw Snappy block (decoded to exactly its stated length, or
// failing without a byte), as an `.iwa` part (its chunks decoded within a
// bound, then its objects' text gathered), and as a decoded stream of
// objects whose text is gathered as a presentation's (the first byte odd)
// or another document's. The text gathered never exceeds its bound nor the
// bytes it came from.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "filters/dxfilter/iwa.h"
#include "filters/dxfilter/snappy.h"

namespace {

constexpr size_t kMaxDecoded = 1u << 20, kMaxText = 1u << 16;

void Gather(std::string_view stream, bool presentation) {
    dxf::iwa::Text text(presentation, kMaxText);
    text.AddPart(0, stream, [] { return true; });
    size_t held = 0;
    for (const dxf::iwa::Text::Piece *piece : text.Ordered()) held += piece->text.size();
    if (held > kMaxText || held > stream.size()) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    std::string out = "x";
    const auto stated = dxf::SnappyDecodedLength(bytes);
    if (dxf::SnappyDecode(bytes, kMaxDecoded, out) ? out.size() != 1 + *stated : out != "x")
        abort();
    std::string stream;
    dxf::iwa::UnpackPart(bytes, kMaxDecoded, stream, [] { return true; });
    if (stream.size() > kMaxDecoded) abort();
    Gather(stream, size > 0 && (data[0] & 1));
    Gather(bytes, size > 0 && (data[0] & 1));
    return 0;
}
