// pdf_order_fuzz.cpp - fuzz target: a PDF page's text put in logical order.
//
// Input: a flag byte, the page text as poppler would give it (UTF-8, up to
// the first zero byte), then character boxes, four 32-bit floats each (x1,
// y1, x2, y2, little-endian). Flag 1 reads the page in the direction it does
// not seem to have; unless flag 2 is set, the boxes are repeated or cut to
// one per character of the text (the count that makes them used).
#include <cstring>
#include <string_view>
#include <vector>

#include "filters/dxfilter/pdf_order.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    const uint8_t flags = data[0];
    std::string_view rest(reinterpret_cast<const char *>(data) + 1, size - 1);
    const size_t nul = rest.find('\0');
    const std::string_view text = rest.substr(0, nul);
    const std::string_view boxBytes = nul == rest.npos ? std::string_view() : rest.substr(nul + 1);

    std::vector<dxf::PdfBox> boxes;
    for (size_t at = 0; at + 16 <= boxBytes.size(); at += 16) {
        float v[4];
        std::memcpy(v, boxBytes.data() + at, sizeof v);
        boxes.push_back({v[0], v[1], v[2], v[3]});
    }
    if (!(flags & 2) && !boxes.empty()) {
        // Characters other than the embedding marks U+202A-U+202E, counted
        // as the starts of UTF-8 sequences (exact for valid UTF-8).
        size_t chars = 0;
        for (size_t i = 0; i < text.size(); ++i) {
            const auto b = static_cast<unsigned char>(text[i]);
            if ((b & 0xC0) == 0x80) continue;
            const auto at = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
            const bool mark = b == 0xE2 && i + 2 < text.size() && at(i + 1) == 0x80 &&
                              at(i + 2) >= 0xAA && at(i + 2) <= 0xAE;
            chars += !mark;
        }
        const size_t given = boxes.size();
        boxes.reserve(chars);
        for (size_t i = given; i < chars; ++i) boxes.push_back(boxes[i % given]);
        boxes.resize(chars);
    }

    dxf::PdfHasBidi(text);
    const bool rightToLeft = dxf::PdfPageIsRightToLeft(text) != ((flags & 1) != 0);
    dxf::PdfLogicalText(text, boxes, rightToLeft);
    return 0;
}
