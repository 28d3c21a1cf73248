// The reordering of right-to-left PDF page text (pdf_order.cpp, linked here
// directly): lines that poppler cut into pieces at one height, on pages
// built here as poppler would hand them out (text and character boxes).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "filters/dxfilter/pdf_order.h"
#include "filters/dxfilter/utf8.h"

namespace {

using dxf::PdfBox;

// A page poppler reads right to left: each piece is one Hebrew letter in an
// embedding, on a line of its own, at one height; `x` is where its box
// starts, each box 10 wide and 12 high.
struct Page {
    std::string text;
    std::vector<PdfBox> boxes;

    explicit Page(const std::vector<double> &x) {
        for (size_t i = 0; i < x.size(); ++i) {
            if (i > 0) {
                text += '\n';
                boxes.push_back({x[i - 1] + 10, 0, x[i - 1] + 10, 12});
            }
            text += "\u202B\u05D0\u202C";
            boxes.push_back({x[i], 0, x[i] + 10, 12});
        }
    }
    std::string Logical() const {
        EXPECT_TRUE(dxf::PdfPageIsRightToLeft(text));
        return dxf::PdfLogicalText(text, boxes, true);
    }
};

size_t Lines(const std::string &text) {
    return text.empty() ? 0 : std::count(text.begin(), text.end(), '\n') + 1;
}
size_t Letters(const std::string &text) {
    size_t n = 0;
    for (size_t at = 0; (at = text.find("\u05D0", at)) != std::string::npos; at += 2) ++n;
    return n;
}

TEST(DxFilterPdfOrder, PiecesOfOneLineAtOneHeightAreJoinedWhenTheyTouch) {
    // Touching pieces, given right to left as poppler gives them.
    std::string joined = Page({20, 10, 0}).Logical();
    EXPECT_EQ(Lines(joined), 1u) << joined;
    EXPECT_EQ(Letters(joined), 3u);
    // A gap between them: separate lines (table cells, columns).
    std::string apart = Page({100, 50, 0}).Logical();
    EXPECT_EQ(Lines(apart), 3u) << apart;
}

TEST(DxFilterPdfOrder, ThousandsOfLinesSideBySideStaySeparateLines) {
    // Each line used to look at every later line at its height: a crafted
    // page of lines side by side took time quadratic in its lines.
    std::vector<double> x;
    for (int i = 0; i < 5000; ++i) x.push_back(20.0 * i);
    std::string text = Page(x).Logical();
    EXPECT_EQ(Lines(text), x.size());
    EXPECT_EQ(Letters(text), x.size());
}

TEST(DxFilterPdfOrder, AtMostOneHundredTwentyEightPiecesMakeOneLine) {
    std::vector<double> x;
    for (int i = 299; i >= 0; --i) x.push_back(10.0 * i);
    std::string text = Page(x).Logical();
    EXPECT_EQ(Lines(text), 3u);  // 128 + 128 + 44 pieces
    EXPECT_EQ(Letters(text), x.size());
}

TEST(DxFilterPdfOrder, GlyphsThatTouchShareAWordWhateverPopplerSpaces) {
    // Poppler gives every glyph of a line drawn right to left as a word of
    // its own, with a space wherever the gap is wider than 1.3 times the
    // line's smallest one: on a whole-point grid, a fraction of a point.
    // Letters 10 wide and 12 high, right to left, half a point apart within
    // a word and 3 points apart between words.
    const char32_t letters[] = {U'\u05D0', U'\u05D1', U'\u05D2', U'\u05D3', U'\u05D4'};
    const double x[] = {100, 89.5, 79, 66, 55.5};
    struct {
        bool popplerSpaces;  // a space after every letter, or none
        const char *logical;
    } cases[] = {{true, "\u05D0\u05D1\u05D2 \u05D3\u05D4"},
                 {false, "\u05D0\u05D1\u05D2\u05D3\u05D4"}};
    for (const auto &c : cases) {
        std::u32string text;
        std::vector<PdfBox> boxes;
        for (size_t i = 0; i < 5; ++i) {
            if (i > 0 && c.popplerSpaces) {
                text += U' ';
                boxes.push_back({x[i - 1], 0, x[i] + 10, 12});
            }
            text += U'\u202B';
            text += letters[i];
            text += U'\u202C';
            boxes.push_back({x[i], 0, x[i] + 10, 12});
        }
        std::string utf8;
        for (char32_t ch : text) dxf::append_utf8(utf8, ch);
        ASSERT_TRUE(dxf::PdfPageIsRightToLeft(utf8));
        EXPECT_EQ(dxf::PdfLogicalText(utf8, boxes, true), c.logical) << c.popplerSpaces;
    }
}

}  // namespace
