// ps_layout_fuzz.cpp - fuzz target: Ghostscript's glyph report read and laid
// out as dxfilter_ps.so does (PsGlyphReader, PsPageText).
//
// Input: a step byte (the size of the pieces the output is fed in, 1 to
// 256), then the device's output. The text of the whole output must not
// depend on the pieces.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "filters/dxfilter/ps_layout.h"

namespace {

std::string Read(std::string_view xml, size_t step) {
    dxf::PsGlyphReader reader;
    std::string out;
    for (size_t i = 0; i < xml.size(); i += step) reader.Feed(xml.substr(i, step), out);
    reader.Finish(out);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    const size_t step = size_t{data[0]} + 1;
    const std::string_view xml(reinterpret_cast<const char *>(data) + 1, size - 1);
    if (Read(xml, step) != Read(xml, xml.size() + 1)) std::abort();
    return 0;
}
