// pdf_order.h - right-to-left text of a PDF page in logical order.
//
// Poppler hands out a page's text line by line, each line a list of words
// with directional embedding marks around every right-to-left piece. Words
// come in visual order on a page whose text runs mostly left to right, and in
// right-to-left visual order (with the spaces shifted by one word) on a page
// whose text runs mostly right to left; the characters of a ligature that
// stands for two letters (lam-alef) come out swapped.
#ifndef GLOTTA_FILTERS_DXFILTER_PDF_ORDER_H
#define GLOTTA_FILTERS_DXFILTER_PDF_ORDER_H

#include <span>
#include <string>
#include <string_view>

namespace dxf {

// The box poppler gives one character of the page text (page coordinates).
struct PdfBox {
    double x1, y1, x2, y2;
};

// True when `utf8`, a page's text as poppler's selection gives it, came from
// a page poppler reads right to left: every character but spaces and line
// feeds lies inside an embedding.
bool PdfPageIsRightToLeft(std::string_view utf8);

// True when `utf8` holds a right-to-left letter or a directional control.
bool PdfHasBidi(std::string_view utf8);

// `utf8` in logical order, without directional controls, with lam-alef
// ligatures (also as presentation forms) as lam followed by alef, and on a
// right-to-left page with the pieces of a line that poppler split joined
// and paragraph-ending stops at the end of their line. `boxes`
// holds one box per character of `utf8` other than the embedding marks, in
// the same order (poppler's text layout); when its size does not fit, the
// text is reordered without it (a ligature then stays as poppler gave it).
// `rightToLeft` is PdfPageIsRightToLeft of the same text.
std::string PdfLogicalText(std::string_view utf8, std::span<const PdfBox> boxes, bool rightToLeft);

}  // namespace dxf

#endif
