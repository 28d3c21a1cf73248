// ps_layout.cpp - the text of PostScript pages from the glyphs Ghostscript's
// txtwrite device reports, laid out in reading order.
//
// The device writes, per page, `<page>`, then spans of glyphs drawn in one
// font (`<span bbox=".." font=".." size="..">`), each glyph as
// `<char bbox="x0 y0 x1 y1" c=".."/>` with its text escaped as XML
// (`&lt;`, `&amp;`, `&#x..;` and the like), and `</page>`.
#include "filters/dxfilter/ps_layout.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <numeric>

#include "filters/dxfilter/utf8.h"

namespace dxf {
namespace {

// Glyphs whose baselines lie closer than this fraction of the larger font
// size share a line: a superscript is raised by a third of the size or so,
// lines lie at least the font size apart.
constexpr double kLineTolerance = 0.6;
// A gap wider than this fraction of the font size (and than kMinGap, the
// device rounds boxes to whole units) is a space: a word space is a quarter
// to a third of the size, letters of a word touch.
constexpr double kSpaceGap = 0.15;
constexpr double kMinGap = 1.2;
// A glyph drawn again this close to the same glyph is drawn over it.
constexpr double kOverprint = 0.1;

double baseline(const PsGlyph &g) {
    return (g.y0 + g.y1) / 2;
}
double size_of(const PsGlyph &g) {
    return g.size > 0 && std::isfinite(g.size) ? g.size : 1;
}
bool is_blank(std::string_view s) {
    return s.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

// The value of attribute `name` in `element`; empty when missing.
std::string_view attribute(std::string_view element, std::string_view name) {
    for (size_t at = 0;;) {
        at = element.find(name, at);
        if (at == std::string_view::npos) return {};
        const size_t open = at + name.size();
        if (at > 0 && element[at - 1] == ' ' && element.substr(open, 2) == "=\"") {
            const size_t close = element.find('"', open + 2);
            if (close == std::string_view::npos) return {};
            return element.substr(open + 2, close - open - 2);
        }
        at = open;
    }
}

bool number(std::string_view &s, double &value) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec != std::errc() || !std::isfinite(value)) return false;
    s.remove_prefix(static_cast<size_t>(end - s.data()));
    return true;
}

// `escaped` with its references decoded; references that name no character
// are dropped.
std::string unescape(std::string_view escaped) {
    std::string out;
    while (!escaped.empty()) {
        const size_t amp = escaped.find('&');
        out += escaped.substr(0, amp);
        if (amp == std::string_view::npos) break;
        escaped.remove_prefix(amp + 1);
        const size_t semi = escaped.find(';');
        if (semi == std::string_view::npos || semi > 10) continue;
        const std::string_view ref = escaped.substr(0, semi);
        escaped.remove_prefix(semi + 1);
        if (ref == "lt")
            out += '<';
        else if (ref == "gt")
            out += '>';
        else if (ref == "amp")
            out += '&';
        else if (ref == "quot")
            out += '"';
        else if (ref == "apos")
            out += '\'';
        else if (ref.size() > 1 && ref[0] == '#') {
            const bool hex = ref[1] == 'x' || ref[1] == 'X';
            const std::string_view digits = ref.substr(hex ? 2 : 1);
            uint32_t cp = 0;
            const auto [end, ec] =
                std::from_chars(digits.data(), digits.data() + digits.size(), cp, hex ? 16 : 10);
            if (ec == std::errc() && end == digits.data() + digits.size() && cp > 0 &&
                cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF))
                append_utf8(out, cp);
        }
    }
    return out;
}

}  // namespace

std::string PsPageText(const std::vector<PsGlyph> &glyphs) {
    // Lines of horizontal glyphs, and runs of glyphs that are not (the
    // device gives every glyph of a rotated span the span's box), each with
    // where it stands: its top and its first glyph in drawing order.
    struct Line {
        double top;
        size_t first;
        std::string text;
    };
    std::vector<Line> lines;
    std::vector<size_t> order;
    for (size_t i = 0; i < glyphs.size();) {
        const PsGlyph &g = glyphs[i];
        if (g.y0 == g.y1) {
            order.push_back(i++);
            continue;
        }
        Line run{std::min(g.y0, g.y1), i, {}};
        bool space = false;
        for (; i < glyphs.size() && glyphs[i].y0 == g.y0 && glyphs[i].y1 == g.y1 &&
               glyphs[i].x0 == g.x0 && glyphs[i].x1 == g.x1;
             ++i) {
            if (is_blank(glyphs[i].text)) {
                space = true;
                continue;
            }
            if (space && !run.text.empty()) run.text += ' ';
            space = false;
            run.text += glyphs[i].text;
        }
        if (!run.text.empty()) lines.push_back(std::move(run));
    }
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return baseline(glyphs[a]) < baseline(glyphs[b]); });
    for (size_t first = 0; first < order.size();) {
        // A line: the glyphs from the topmost baseline down to the tolerance.
        const PsGlyph &top = glyphs[order[first]];
        double lineSize = size_of(top);
        size_t end = first + 1;
        for (; end < order.size(); ++end) {
            const PsGlyph &g = glyphs[order[end]];
            lineSize = std::max(lineSize, size_of(g));
            if (baseline(g) - baseline(top) > kLineTolerance * lineSize) break;
        }
        auto lo = order.begin() + static_cast<std::ptrdiff_t>(first);
        auto hi = order.begin() + static_cast<std::ptrdiff_t>(end);
        std::sort(lo, hi, [&](size_t a, size_t b) {
            if (glyphs[a].x0 != glyphs[b].x0) return glyphs[a].x0 < glyphs[b].x0;
            return a < b;
        });
        Line line{baseline(top), *std::min_element(lo, hi), {}};
        bool space = false;
        const PsGlyph *prev = nullptr;
        for (auto k = lo; k != hi; ++k) {
            const PsGlyph &g = glyphs[*k];
            if (is_blank(g.text)) {
                space = true;
                continue;
            }
            const double size = size_of(g);
            if (prev) {
                const double gap = g.x0 - prev->x1;
                if (g.text == prev->text && g.x1 > g.x0 &&
                    std::fabs(g.x0 - prev->x0) < kOverprint * size &&
                    std::fabs(baseline(g) - baseline(*prev)) < kOverprint * size)
                    continue;
                space |= gap > kSpaceGap * std::max(size, size_of(*prev)) && gap > kMinGap;
            }
            if (space && !line.text.empty()) line.text += ' ';
            space = false;
            line.text += g.text;
            prev = &g;
        }
        if (!line.text.empty()) lines.push_back(std::move(line));
        first = end;
    }
    std::stable_sort(lines.begin(), lines.end(), [](const Line &a, const Line &b) {
        if (a.top != b.top) return a.top < b.top;
        return a.first < b.first;
    });
    std::string out;
    for (const Line &l : lines) {
        out += l.text;
        out += '\n';
    }
    return out;
}

void PsGlyphReader::Feed(std::string_view bytes, std::string &out) {
    while (!bytes.empty()) {
        if (carry_.empty()) {
            const size_t lt = bytes.find('<');
            if (lt == std::string_view::npos) return;
            bytes.remove_prefix(lt);
        }
        const size_t gt = bytes.find('>');
        if (gt == std::string_view::npos) {
            if (carry_.size() + bytes.size() > kMaxElement)
                carry_.clear();
            else
                carry_ += bytes;
            return;
        }
        if (carry_.empty()) {
            Element(bytes.substr(0, gt + 1), out);
        } else {
            carry_ += bytes.substr(0, gt + 1);
            if (carry_.size() <= kMaxElement) Element(carry_, out);
            carry_.clear();
        }
        bytes.remove_prefix(gt + 1);
    }
}

void PsGlyphReader::Finish(std::string &out) {
    carry_.clear();
    EndPage(out);
}

void PsGlyphReader::Element(std::string_view element, std::string &out) {
    // `element` runs from '<' to '>'; an element cut by another '<' starts
    // at the last one.
    element.remove_prefix(std::min(element.size(), element.rfind('<')));
    if (element.starts_with("<char ")) {
        std::string_view box = attribute(element, "bbox");
        PsGlyph g{0, 0, 0, 0, size_, unescape(attribute(element, "c"))};
        if (number(box, g.x0) && number(box, g.y0) && number(box, g.x1) && number(box, g.y1) &&
            !g.text.empty())
            page_.push_back(std::move(g));
    } else if (element.starts_with("<span ")) {
        std::string_view size = attribute(element, "size");
        if (!number(size, size_)) size_ = 0;
    } else if (element.starts_with("</page>") || element.starts_with("<page>")) {
        EndPage(out);
    }
}

void PsGlyphReader::EndPage(std::string &out) {
    if (page_.empty()) return;
    out += PsPageText(page_);
    page_.clear();
}

}  // namespace dxf
