// ps_layout.h - the text of PostScript pages from the glyphs Ghostscript's
// txtwrite device reports (-dTextFormat=0: every glyph with its box, in
// drawing order), laid out in reading order.
//
// The device's own text layout (-dTextFormat=3) orders lines drawn at one
// height differently from run to run; the layout here depends on the glyphs
// alone.
#ifndef GLOTTA_FILTERS_DXFILTER_PS_LAYOUT_H
#define GLOTTA_FILTERS_DXFILTER_PS_LAYOUT_H

#include <string>
#include <string_view>
#include <vector>

namespace dxf {

// One glyph: its box in page coordinates (y grows downwards; a glyph of
// horizontal text has y0 == y1, its baseline), the size of its font, the
// text it stands for (UTF-8), and the span it was reported in (glyphs drawn
// together in one font; neighbours in drawing order with the same number
// share a span).
struct PsGlyph {
    double x0, y0, x1, y1, size;
    std::string text;
    unsigned span = 0;
};

// The page's text: glyphs grouped into lines by baseline (within a fraction
// of the font size, so that superscripts and subscripts stay on their line),
// lines top to bottom, glyphs left to right within a line, ties in drawing
// order; a space where the gap between two glyphs is wider than a fraction
// of the font size, and where the page draws one; a glyph drawn again over
// itself (bold by overprinting) once. Every line ends in '\n'.
//
// Text drawn at an angle (y0 != y1: the device gives a glyph of a rotated
// span the span's extent) is not mixed into lines: each run of it, the
// glyphs of a span and the spans that go on from where the one before
// ended in the same direction, is a line of its own in drawing order,
// placed by its top. So is a span whose glyphs are on average wider than
// twice its font size (the device's boxes for `xshow` and the like, whose
// advances it scales by the font size): its glyphs would cover those of
// its neighbours.
std::string PsPageText(const std::vector<PsGlyph> &glyphs);

// Reads the device's output as it comes, in pieces of any size, and lays
// out each page when it ends. Elements other than pages, spans and glyphs
// are skipped; a glyph without a box or text is dropped; an element left
// longer than kMaxElement bytes is dropped.
class PsGlyphReader {
  public:
    static constexpr size_t kMaxElement = 64 * 1024;

    // Appends the text of every page that `bytes` completes to `out`.
    void Feed(std::string_view bytes, std::string &out);
    // The output ended: the text of a page left open (the device was cut
    // short) is appended to `out`.
    void Finish(std::string &out);

  private:
    void Element(std::string_view element, std::string &out);
    void EndPage(std::string &out);

    bool inside_ = false;  // within an element
    size_t length_ = 0;    // its length so far
    std::string carry_;    // its bytes (up to kMaxElement)
    std::vector<PsGlyph> page_;
    double size_ = 0;    // the font size of the current span
    unsigned span_ = 0;  // the current span, counted on the page
};

}  // namespace dxf

#endif
