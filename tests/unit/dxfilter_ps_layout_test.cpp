// The layout of PostScript pages from the glyphs Ghostscript's txtwrite
// device reports (ps_layout.cpp, linked here directly): pages built here as
// the device writes them, glyph by glyph in drawing order.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "filters/dxfilter/ps_layout.h"

namespace {

using dxf::PsGlyph;

// Glyphs of a word drawn from `x` on baseline `y` in a font of `size`, each
// glyph 0.5 * size wide.
void Word(std::vector<PsGlyph> &page, const std::string &word, double x, double y,
          double size = 10) {
    for (char c : word) {
        page.push_back({x, y, x + size / 2, y, size, std::string(1, c)});
        x += size / 2;
    }
}

// A page of words, each placed as Word places it.
struct Placed {
    std::string word;
    double x, y, size = 10;
};
std::vector<PsGlyph> Words(std::initializer_list<Placed> words) {
    std::vector<PsGlyph> page;
    for (const Placed &w : words) Word(page, w.word, w.x, w.y, w.size);
    return page;
}

// `glyphs` as the device writes them: a span for each glyph, or with
// `spans`, for each run of neighbours with the same span number.
std::string Xml(const std::vector<std::vector<PsGlyph>> &pages, bool spans = false) {
    std::string xml;
    for (const auto &page : pages) {
        xml += "<page>\n";
        for (size_t i = 0; i < page.size(); ++i) {
            const PsGlyph &g = page[i];
            if (!spans || i == 0 || page[i - 1].span != g.span)
                xml += "<span bbox=\"0 0 0 0\" font=\"Times-Roman\" size=\"" +
                       std::to_string(g.size) + "\">\n";
            xml += "<char bbox=\"" + std::to_string(g.x0) + " " + std::to_string(g.y0) + " " +
                   std::to_string(g.x1) + " " + std::to_string(g.y1) + "\" c=\"" + g.text +
                   "\"/>\n";
            if (!spans || i + 1 == page.size() || page[i + 1].span != g.span) xml += "</span>\n";
        }
        xml += "</page>\n";
    }
    return xml;
}

// Labels drawn at an angle, each a span from (x, y0) as the device reports
// it: each glyph the span's extent from y0 to y1, placed along x by
// `advance` (0 for text turned by 90 degrees, whose glyphs all get the
// span's box).
struct Label {
    std::string text;
    double x, y0, y1, advance;
};
std::vector<PsGlyph> Labels(std::initializer_list<Label> labels) {
    std::vector<PsGlyph> page;
    for (const Label &l : labels)
        for (size_t i = 0; i < l.text.size(); ++i)
            page.push_back({l.x + l.advance * static_cast<double>(i), l.y0,
                            l.x + l.advance * static_cast<double>(i + 1), l.y1, 10,
                            l.text.substr(i, 1)});
    return page;
}

std::string Read(const std::string &xml, size_t step) {
    dxf::PsGlyphReader reader;
    std::string out;
    for (size_t i = 0; i < xml.size(); i += step)
        reader.Feed(std::string_view(xml).substr(i, step), out);
    reader.Finish(out);
    return out;
}

TEST(PsLayout, LinesRunTopToBottomAndLeftToRight) {
    // Drawn bottom line first, and the words of the top line right to left
    // and each word on its own (as dvips draws them): spaces from the gaps.
    std::vector<PsGlyph> page = Words({{"unten", 10, 200}, {"Welt", 50, 100}, {"Hallo", 10, 100}});
    EXPECT_EQ(dxf::PsPageText(page), "Hallo Welt\nunten\n");
    // Letters that touch, or stand apart by less than a rounding unit, share
    // a word; a space the page draws stays one.
    page = Words({{"ab", 10, 100}, {"cd", 21, 100}, {"e", 33, 100}});
    page.push_back({38, 100, 41, 100, 10, " "});
    page.push_back({41, 100, 44, 100, 10, " "});
    Word(page, "f", 44, 100);
    EXPECT_EQ(dxf::PsPageText(page), "abcd e f\n");
}

TEST(PsLayout, TiesFollowTheDrawingOrder) {
    // Two pieces drawn at one place and one height keep their drawing
    // order, whichever it is: the result depends on the glyphs alone.
    std::vector<PsGlyph> page;
    Word(page, "zwei", 10, 100);
    page.push_back({10, 100, 15, 100, 10, "x"});
    Word(page, "eins", 10, 300);
    Word(page, "drei", 10, 300);
    EXPECT_EQ(dxf::PsPageText(page), "zxwei\nedirnesi\n");
    EXPECT_EQ(dxf::PsPageText(page), dxf::PsPageText(page));
    // Lines at one height from different places on the page: ordered by x.
    page.clear();
    Word(page, "rechts", 300, 100);
    Word(page, "links", 10, 100.4);
    EXPECT_EQ(dxf::PsPageText(page), "links rechts\n");
}

TEST(PsLayout, RaisedAndSmallerTextStaysOnItsLine) {
    // A superscript, a subscript and a smaller word on the line; the next
    // line at 1.2 times the size.
    std::vector<PsGlyph> page = Words({{"E=mc", 10, 100},
                                       {"2", 30, 96.5, 7},
                                       {"und", 40, 100},
                                       {"H", 60, 100},
                                       {"2", 65, 102, 7},
                                       {"O", 68.5, 100},
                                       {"klein", 80, 100, 8},
                                       {"weiter", 10, 112}});
    EXPECT_EQ(dxf::PsPageText(page), "E=mc2 und H2O klein\nweiter\n");
    // Two texts drawn over each other at nearby baselines are not
    // interleaved: each stays a line, the upper one first.
    page = Words({{"darunter", 10, 103}, {"Kopf", 10, 100}, {"daneben", 60, 103}});
    EXPECT_EQ(dxf::PsPageText(page), "Kopf\ndarunter daneben\n");
}

TEST(PsLayout, RotatedTextIsKept) {
    // The device gives every glyph of a rotated span the span's box: the
    // span is a line of its own where it starts, in drawing order, doubled
    // letters and all.
    std::vector<PsGlyph> page;
    Word(page, "oben", 10, 50);
    for (const char *c : {"H", "e", "l", "l", "o", " ", "d", "u"})
        page.push_back({50, 60, 50, 340, 9, c});
    Word(page, "mitte", 10, 200);
    EXPECT_EQ(dxf::PsPageText(page), "oben\nHello du\nmitte\n");
    // A page turned by 90 degrees: each glyph a box of its own, one above
    // the other; the text is all there, one line.
    page.clear();
    for (int i = 0; i < 4; ++i) page.push_back({100, 300.0 - 6 * i, 100, 295.0 - 6 * i, 10, "q"});
    EXPECT_EQ(dxf::PsPageText(page), "qqqq\n");
}

TEST(PsLayout, TextAtAnAngleKeepsItsRuns) {
    // Two labels at 30 degrees side by side, their glyphs overlapping in
    // height and placed along x as the device does, between two lines:
    // each label a line of its own, not one glyph a line nor mixed.
    std::vector<PsGlyph> page =
        Labels({{"erste Marke", 100, 342, 301, 5}, {"zweite Marke", 130, 342, 293, 5}});
    Word(page, "unten", 10, 400);
    Word(page, "oben", 10, 250);
    EXPECT_EQ(dxf::PsPageText(page), "oben\nzweite Marke\nerste Marke\nunten\n");
    // A label turned by 90 degrees drawn in pieces, each starting where the
    // one before ended (reading upwards): one line in drawing order. A
    // label beside it, of the same extent, stays apart.
    EXPECT_EQ(dxf::PsPageText(Labels({{"Courier", 41, 824, 740, 0},
                                      {" ", 41, 740, 728, 0},
                                      {"72", 41, 728, 704, 0},
                                      {"neben", 60, 824, 740, 0},
                                      {"ab", 80, 700, 740, 0}})),
              "ab\nCourier 72\nneben\n");
    // Words drawn one by one at 90 and at 45 degrees, a word space apart
    // (as dvips draws them), the upper ones ending higher: one line each,
    // words in drawing order.
    EXPECT_EQ(dxf::PsPageText(Labels({{"Time", 300, 442, 417, 0},
                                      {"in", 300, 414, 404, 0},
                                      {"seconds", 300, 401, 363, 0},
                                      {"Slant", 100, 442, 425, 3.4},
                                      {"words", 120, 422, 402, 4},
                                      {"apart", 142, 400, 383, 3.4}})),
              "Time in seconds\nSlant words apart\n");
    // Text turned the other way, or off the line, or further away, does not
    // go on with text reading upwards.
    EXPECT_EQ(dxf::PsPageText(Labels({{"hoch", 41, 824, 740, 0},
                                      {"quer", 45, 738, 700, 0},
                                      {"weit", 41, 720, 700, 0},
                                      {"fern", 41, 680, 600, 0},
                                      {"runter", 41, 600, 650, 0}})),
              "fern\nrunter\nquer\nweit\nhoch\n");
}

TEST(PsLayout, SpansTooWideForTheirGlyphsStayWhole) {
    // Labels drawn with `xshow` on one baseline: the device scales their
    // advances by the font size, so their boxes overlap. Each span is a
    // line of its own in drawing order; the lines around keep their layout.
    std::vector<PsGlyph> page;
    Word(page, "Kopf", 10, 100);
    unsigned span = 1;
    for (const auto &[label, start] : {std::pair<std::string, double>{"Parse input", 213},
                                       {"Return parsed input", 304},
                                       {"Do eval", 407}}) {
        double x = start;
        for (char c : label) {
            page.push_back({x, 187, x + 45, 187, 10, std::string(1, c), span});
            x += 45;
        }
        ++span;
    }
    Word(page, "Fu", 10, 300);
    page.back().span = page[page.size() - 2].span = span;
    Word(page, "ss", 20, 300);
    EXPECT_EQ(dxf::PsPageText(page), "Kopf\nParse input\nReturn parsed input\nDo eval\nFuss\n");
    // The same through the reader, which numbers the spans.
    EXPECT_EQ(Read(Xml({page}, true), 3), dxf::PsPageText(page));
    // A span of one wide glyph, or of glyphs as wide as the size, is laid
    // out as other text.
    page.clear();
    page.push_back({10, 100, 40, 100, 10, "W", 1});
    page.push_back({40, 100, 50, 100, 10, "i", 2});
    page.push_back({50, 100, 60, 100, 10, "n", 2});
    page.push_back({0, 100, 8, 100, 10, "x", 3});
    EXPECT_EQ(dxf::PsPageText(page), "x Win\n");
}

TEST(PsLayout, OverprintedGlyphsCountOnce) {
    std::vector<PsGlyph> page = Words({{"fett", 10, 100}, {"fett", 10.4, 100}, {"Boot", 40, 100}});
    EXPECT_EQ(dxf::PsPageText(page), "fett Boot\n");
}

TEST(PsGlyphReader, PagesComeInAnyPiecesWithReferencesDecoded) {
    std::vector<PsGlyph> one, two;
    Word(one, "Seite", 10, 100);
    Word(one, "eins", 10, 120);
    for (const char *c : {"&lt;", "&amp;", "&gt;", "&quot;", "&apos;", "&#xe4;", "&#x1F600;",
                          "&#228;", "&#xD800;", "&bogus;", "&#x110000;"})
        two.push_back({static_cast<double>(10 + two.size() * 5), 100,
                       static_cast<double>(15 + two.size() * 5), 100, 10, c});
    const std::string xml = Xml({one, two});
    for (size_t step : {size_t{1}, size_t{7}, size_t{64}, xml.size()})
        EXPECT_EQ(Read(xml, step), "Seite\neins\n<&>\"'ä\U0001F600ä\n") << step;
}

TEST(PsGlyphReader, DamagedOutputKeepsWhatCanBeRead) {
    std::vector<PsGlyph> one, two;
    Word(one, "ganz", 10, 100);
    Word(two, "halb", 10, 100);
    std::string xml = Xml({one, two});
    // Cut inside the second page's last glyph: the page's other glyphs.
    xml.resize(xml.rfind("<char") + 20);
    EXPECT_EQ(Read(xml, 5), "ganz\nhal\n");
    // Glyphs without a box or text, a bad number, a stray '<', unknown
    // elements, text outside elements and an element that never closes.
    const std::string bad =
        "junk<page><foo/><char c=\"x\"/><char bbox=\"1 2 3\" c=\"y\"/>"
        "<char bbox=\"a b c d\" c=\"z\"/><char bbox=\"10 100 15 100\"/>"
        "<char <char bbox=\"10 100 15 100\" c=\"o\"/>"
        "<char bbox=\"15 100 20 100\" c=\"k\"/></page><char bbox=\"1 1 1 1\" c=\"" +
        std::string(dxf::PsGlyphReader::kMaxElement + 10, 'w');
    EXPECT_EQ(Read(bad, 3), "ok\n");
    EXPECT_EQ(Read(bad, bad.size()), "ok\n");
}

}  // namespace
