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
#include <span>

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
// Glyphs of text drawn at an angle go on from where the one before ended
// when they start this close to it (the device computes both alike); a
// span goes on with the run of text before it when it starts on its line
// (within kAcross of the font size, and kMinGap) and at most kWordGap of
// the size after its end.
constexpr double kJoin = 0.5;
constexpr double kAcross = 0.2;
constexpr double kWordGap = 1;
// A span whose glyphs are on average wider than this many times the font
// size has boxes that cannot be right: a glyph is about half as wide as
// the size, the widest are as wide.
constexpr double kWideGlyph = 2;

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

// Glyphs that cover one another by more than half the narrower one.
bool overlap(const PsGlyph &a, const PsGlyph &b) {
    const double wa = a.x1 - a.x0, wb = b.x1 - b.x0;
    return std::min(a.x1, b.x1) - std::max(a.x0, b.x0) > 0.5 * std::min(wa, wb) && wa > 0 && wb > 0;
}

// A level of a line is compared with the glyphs of at most kMaxParts lines
// at its height, with at most kMaxOverlapChecks pairs of glyphs each; and a
// page compares at most kMaxPageChecks pairs: beyond, levels share a line.
constexpr size_t kMaxParts = 8;
constexpr size_t kMaxOverlapChecks = 1u << 16;
constexpr size_t kMaxPageChecks = 1u << 24;

// Whether a gap between glyphs `a` and `b` of a line or run is a word space:
// wider than kSpaceGap of the larger font size and than kMinGap.
bool word_gap(double gap, const PsGlyph &a, const PsGlyph &b) {
    return gap > kSpaceGap * std::max(size_of(a), size_of(b)) && gap > kMinGap;
}

// Glyph `g` appended to the text of a line or run: a blank glyph
// makes one space before the next one.
void append_run(std::string &text, bool &space, const PsGlyph &g) {
    if (is_blank(g.text)) {
        space = true;
        return;
    }
    if (space && !text.empty()) text += ' ';
    space = false;
    text += g.text;
}

// The text of the glyphs `line` (indices into `glyphs`) left to right, ties
// in drawing order.
std::string LineText(const std::vector<PsGlyph> &glyphs, std::vector<size_t> &line) {
    std::sort(line.begin(), line.end(), [&](size_t a, size_t b) {
        if (glyphs[a].x0 != glyphs[b].x0) return glyphs[a].x0 < glyphs[b].x0;
        return a < b;
    });
    std::string text;
    bool space = false;
    const PsGlyph *prev = nullptr;
    for (size_t k : line) {
        const PsGlyph &g = glyphs[k];
        if (is_blank(g.text)) {
            space = true;
            continue;
        }
        const double size = size_of(g);
        if (prev) {
            if (g.text == prev->text && g.x1 > g.x0 &&
                std::fabs(g.x0 - prev->x0) < kOverprint * size &&
                std::fabs(baseline(g) - baseline(*prev)) < kOverprint * size)
                continue;
            space |= word_gap(g.x0 - prev->x1, *prev, g);
        }
        append_run(text, space, g);
        prev = &g;
    }
    return text;
}

// A glyph of text drawn at an angle (see PsPageText).
bool is_slanted(const PsGlyph &g) {
    return g.y0 != g.y1;
}

// Whether slanted glyph `g`, drawn right after `p`, goes on with p's span:
// the same box (the device gives every glyph of a span turned by 90
// degrees the span's box), or the same extent and from where p ends (a
// span at another angle, whose glyphs the device places along x).
bool goes_on(const PsGlyph &p, const PsGlyph &g) {
    if (g.y0 != p.y0 || g.y1 != p.y1 || !is_slanted(g)) return false;
    return (g.x0 == p.x0 && g.x1 == p.x1) || std::fabs(g.x0 - p.x1) <= kJoin;
}

// How far slanted glyph `g` starts from where `p` ends, along the line of
// a run that starts at (x, y) and ends with p: a span drawn after another
// on its line, in the same direction, up to a word space or so away. -1
// where g does not go on along that line.
double gap_along(double x, double y, const PsGlyph &p, const PsGlyph &g) {
    if (!is_slanted(g) || (g.y1 > g.y0) != (p.y1 > p.y0)) return -1;
    const double dx = p.x1 - x, dy = p.y1 - y, length = std::hypot(dx, dy);
    if (!(length > 0)) return -1;
    const double ex = g.x0 - p.x1, ey = g.y0 - p.y1;
    const double size = std::max(size_of(p), size_of(g));
    const double along = (ex * dx + ey * dy) / length;
    const double across = std::fabs(ex * dy - ey * dx) / length;
    if (!(across <= std::max(kMinGap, kAcross * size) && along >= -kJoin &&
          along <= kWordGap * size))
        return -1;
    return std::max(along, 0.0);
}

// The end of the span of horizontal glyphs that starts at `first`.
size_t span_end(const std::vector<PsGlyph> &glyphs, size_t first) {
    size_t end = first + 1;
    while (end < glyphs.size() && glyphs[end].span == glyphs[first].span &&
           !is_slanted(glyphs[end]))
        ++end;
    return end;
}

// Whether the glyphs [first, end) are on average wider than kWideGlyph
// times their font size, blanks left out (two glyphs at least).
bool too_wide(const std::vector<PsGlyph> &glyphs, size_t first, size_t end) {
    double width = 0, size = 0;
    size_t count = 0;
    for (size_t k = first; k < end; ++k) {
        const PsGlyph &g = glyphs[k];
        if (is_blank(g.text)) continue;
        width += g.x1 - g.x0;
        size += size_of(g);
        ++count;
    }
    return count >= 2 && width > kWideGlyph * size;
}

}  // namespace

std::string PsPageText(const std::vector<PsGlyph> &glyphs) {
    // Lines of horizontal glyphs, and runs of glyphs at an angle and spans
    // too wide to be mixed into lines, each with where it stands: its top
    // and its first glyph in drawing order.
    struct Line {
        double top;
        size_t first;
        std::string text;
    };
    std::vector<Line> lines;
    std::vector<size_t> order;
    for (size_t i = 0; i < glyphs.size();) {
        const PsGlyph &g = glyphs[i];
        Line run{std::min(g.y0, g.y1), i, {}};
        bool space = false;
        if (!is_slanted(g)) {
            const size_t end = span_end(glyphs, i);
            const bool wide = too_wide(glyphs, i, end);
            for (; i < end; ++i)
                if (wide)
                    append_run(run.text, space, glyphs[i]);
                else
                    order.push_back(i);
        } else {
            append_run(run.text, space, g);
            for (++i; i < glyphs.size(); ++i) {
                const PsGlyph &p = glyphs[i - 1], &h = glyphs[i];
                if (!goes_on(p, h)) {
                    const double gap = gap_along(g.x0, g.y0, p, h);
                    if (gap < 0) break;
                    space |= word_gap(gap, p, h);
                }
                run.top = std::min({run.top, h.y0, h.y1});
                append_run(run.text, space, h);
            }
        }
        if (!run.text.empty()) lines.push_back(std::move(run));
    }
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return baseline(glyphs[a]) < baseline(glyphs[b]); });
    // The glyphs within the tolerance of the topmost baseline make a line,
    // but for those at a baseline of their own that would overlap glyphs
    // already on it (two texts drawn over each other): they make a line of
    // their own, with any others that fit beside them.
    size_t checks = 0;
    for (size_t first = 0; first < order.size();) {
        const PsGlyph &top = glyphs[order[first]];
        double lineSize = size_of(top);
        size_t end = first + 1;
        for (; end < order.size(); ++end) {
            const PsGlyph &g = glyphs[order[end]];
            lineSize = std::max(lineSize, size_of(g));
            if (baseline(g) - baseline(top) > kLineTolerance * lineSize) break;
        }
        std::vector<std::vector<size_t>> parts;
        for (size_t at = first; at < end;) {
            size_t next = at + 1;
            while (next < end && baseline(glyphs[order[next]]) == baseline(glyphs[order[at]]))
                ++next;
            const std::span<const size_t> level(order.data() + at, next - at);
            auto fits = [&](const std::vector<size_t> &part) {
                const size_t pairs = part.size() * level.size();
                if (pairs > kMaxOverlapChecks || checks + pairs > kMaxPageChecks) return false;
                checks += pairs;
                for (size_t a : level)
                    for (size_t b : part)
                        if (overlap(glyphs[a], glyphs[b])) return false;
                return true;
            };
            const auto tried =
                parts.begin() + static_cast<std::ptrdiff_t>(std::min(parts.size(), kMaxParts));
            auto part = std::find_if(parts.begin(), tried, fits);
            if (part == tried)
                part = checks >= kMaxPageChecks && !parts.empty() ? parts.begin()
                                                                  : parts.emplace(parts.end());
            part->insert(part->end(), level.begin(), level.end());
            at = next;
        }
        for (std::vector<size_t> &part : parts) {
            Line line{baseline(glyphs[part.front()]), *std::min_element(part.begin(), part.end()),
                      LineText(glyphs, part)};
            if (!line.text.empty()) lines.push_back(std::move(line));
        }
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
        if (!inside_) {
            const size_t lt = bytes.find('<');
            if (lt == std::string_view::npos) return;
            bytes.remove_prefix(lt);
            inside_ = true;
            length_ = 0;
            carry_.clear();
        }
        const size_t gt = bytes.find('>');
        const std::string_view piece = bytes.substr(0, gt == std::string_view::npos ? gt : gt + 1);
        length_ += piece.size();
        if (length_ <= kMaxElement) carry_ += piece;
        bytes.remove_prefix(piece.size());
        if (gt == std::string_view::npos) return;
        inside_ = false;
        if (length_ <= kMaxElement) Element(carry_, out);
    }
}

void PsGlyphReader::Finish(std::string &out) {
    inside_ = false;
    carry_.clear();
    EndPage(out);
}

void PsGlyphReader::Element(std::string_view element, std::string &out) {
    // `element` runs from '<' to '>'; an element cut by another '<' starts
    // at the last one.
    element.remove_prefix(std::min(element.size(), element.rfind('<')));
    if (element.starts_with("<char ")) {
        std::string_view box = attribute(element, "bbox");
        PsGlyph g{0, 0, 0, 0, size_, unescape(attribute(element, "c")), span_};
        if (number(box, g.x0) && number(box, g.y0) && number(box, g.x1) && number(box, g.y1) &&
            !g.text.empty())
            page_.push_back(std::move(g));
    } else if (element.starts_with("<span ")) {
        ++span_;
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
