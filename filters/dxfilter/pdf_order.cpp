// pdf_order.cpp - right-to-left text of a PDF page in logical order.
//
// Each line of poppler's text is cut into the words poppler found (runs of
// characters between spaces and between top-level embeddings). Within a word
// poppler already gives logical order; what is wrong is the order of the
// words. The words are put back into visual order, left to right, and then
// read in logical order as the bidirectional algorithm would have laid them
// out: on a right-to-left page right to left, except that runs of
// left-to-right words keep their order; on a left-to-right page left to
// right, except that runs of right-to-left words are reversed. Pieces of
// one line that poppler made lines of their own are joined first.
#include "filters/dxfilter/pdf_order.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "filters/dxfilter/utf8.h"

namespace dxf {
namespace {

constexpr char32_t kSpace = U' ', kFeed = U'\n';

// The embedding marks poppler puts around right-to-left and left-to-right
// pieces: they have no box in its text layout.
bool is_embedding_mark(char32_t c) {
    return c >= 0x202A && c <= 0x202E;
}
bool opens_embedding(char32_t c) {
    return (c >= 0x202A && c <= 0x202E && c != 0x202C) || (c >= 0x2066 && c <= 0x2068);
}
bool closes_embedding(char32_t c) {
    return c == 0x202C || c == 0x2069;
}
// Every directional control: none of them is part of the text.
bool is_bidi_control(char32_t c) {
    return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
}

bool is_number(char32_t c) {
    return (c >= U'0' && c <= U'9') || (c >= 0x0660 && c <= 0x0669) || (c >= 0x06F0 && c <= 0x06F9);
}

// Letters of the right-to-left scripts (Hebrew, Arabic, Syriac, Thaana,
// N'Ko and their presentation forms, and the historic scripts above U+10800).
bool is_right_to_left(char32_t c) {
    if (is_number(c)) return false;
    return (c >= 0x0590 && c <= 0x08FF) || (c >= 0xFB1D && c <= 0xFDFF) ||
           (c >= 0xFE70 && c <= 0xFEFE) || (c >= 0x10800 && c <= 0x10FFF) ||
           (c >= 0x1E800 && c <= 0x1EFFF);
}

// Letters that run left to right; punctuation and symbols are neutral.
bool is_left_to_right(char32_t c) {
    if (c < 0x80) return (c | 0x20) >= U'a' && (c | 0x20) <= U'z';
    if (c < 0xC0 || c == 0xD7 || c == 0xF7 || is_right_to_left(c)) return false;
    return !(c >= 0x2000 && c <= 0x2BFF) && !(c >= 0x3000 && c <= 0x303F) &&
           !(c >= 0xFE30 && c <= 0xFE6F) && !(c >= 0xFF00 && c <= 0xFF20);
}

// Decodes UTF-8; bytes that start no valid sequence are skipped.
std::u32string decode(std::string_view s) {
    std::u32string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        auto b = static_cast<unsigned char>(s[i]);
        int tail = b < 0x80 ? 0 : b < 0xC2 ? -1 : b < 0xE0 ? 1 : b < 0xF0 ? 2 : b < 0xF5 ? 3 : -1;
        bool ok = tail >= 0 && i + tail < s.size();
        char32_t c = b & (tail > 0 ? 0x7F >> (tail + 1) : 0x7F);
        for (int k = 1; ok && k <= tail; ++k) {
            auto t = static_cast<unsigned char>(s[i + k]);
            ok = (t & 0xC0) == 0x80;
            c = (c << 6) | (t & 0x3F);
        }
        if (!ok) {
            ++i;
            continue;
        }
        out += c;
        i += static_cast<size_t>(tail) + 1;
    }
    return out;
}

// Lam-alef ligatures (isolated and final forms of alef with madda, hamza
// above, hamza below, and plain alef): the alef they end with.
char32_t lam_alef_alef(char32_t c) {
    constexpr char32_t kAlef[] = {0x0622, 0x0623, 0x0625, 0x0627};
    return c >= 0xFEF5 && c <= 0xFEFC ? kAlef[(c - 0xFEF5) / 2] : 0;
}
bool is_alef(char32_t c) {
    return c == 0x0622 || c == 0x0623 || c == 0x0625 || c == 0x0627;
}
constexpr char32_t kLam = 0x0644;

enum class Dir { kNeutral, kNumber, kLeft, kRight };

// One of poppler's words: its characters in logical order and, for each,
// the index of its box (-1 when there is none).
struct Word {
    std::u32string text;
    std::vector<int> box;
    bool nested = false;      // holds an embedding inside its own
    bool spaceAfter = false;  // poppler put a space after it
    Dir dir = Dir::kNeutral;
};

std::vector<Word> cut_words(std::u32string_view line, std::vector<int> &boxOf) {
    std::vector<Word> words;
    Word cur;
    int depth = 0;
    auto close = [&] {
        if (cur.text.empty()) return;
        words.push_back(std::move(cur));
        cur = Word{};
    };
    for (size_t i = 0; i < line.size(); ++i) {
        char32_t c = line[i];
        if (c == kSpace) {
            close();
            if (!words.empty()) words.back().spaceAfter = true;
            depth = 0;
        } else if (opens_embedding(c)) {
            if (depth == 0) close();
            if (depth > 0) cur.nested = true;
            ++depth;
        } else if (closes_embedding(c)) {
            if (depth > 0 && --depth == 0) close();
        } else if (!is_bidi_control(c)) {
            cur.text += c;
            cur.box.push_back(boxOf[i]);
        }
    }
    close();
    for (Word &w : words) {
        bool left = false, number = false, right = false;
        for (char32_t c : w.text) {
            right |= is_right_to_left(c);
            left |= is_left_to_right(c);
            number |= is_number(c);
        }
        w.dir = right ? Dir::kRight : left ? Dir::kLeft : number ? Dir::kNumber : Dir::kNeutral;
    }
    return words;
}

// Extent of a word along the line, from its boxes; false without boxes.
bool extent(const Word &w, std::span<const PdfBox> boxes, double &x1, double &x2, double &height) {
    x1 = 1e300, x2 = -1e300, height = 0;
    for (int b : w.box) {
        if (b < 0) return false;
        x1 = std::min(x1, boxes[b].x1);
        x2 = std::max(x2, boxes[b].x2);
        height = std::max(height, boxes[b].y2 - boxes[b].y1);
    }
    return !w.box.empty();
}

// Glyphs closer than this fraction of their box height (the font's ascent to
// descent, 1.2 to 2 times the font size) share a word: a space is a fifth to
// a third of the font size wide. Glyphs placed on a whole-point grid (pango
// rounds its positions) stand up to a point apart, well under this.
constexpr double kSpaceGap = 0.07;

// Whether words `l` and `r`, left and right of each other, stand apart; true
// when their boxes are unknown.
bool apart(const Word &l, const Word &r, std::span<const PdfBox> boxes) {
    double l1, l2, lh, r1, r2, rh;
    if (!extent(l, boxes, l1, l2, lh) || !extent(r, boxes, r1, r2, rh)) return true;
    return r1 - l2 > kSpaceGap * std::max(lh, rh);
}

// Poppler stores the letters of a ligature glyph in logical order among
// letters in visual order, so reversing a right-to-left word swaps them:
// lam-alef comes out as alef, lam. The two share the glyph's advance in
// equal halves, which tells them from an alef glyph next to a lam glyph.
void fix_ligatures(Word &w, std::span<const PdfBox> boxes) {
    if (w.dir != Dir::kRight || w.nested || w.text.size() < 2) return;
    size_t n = w.text.size();
    for (int b : w.box)
        if (b < 0) return;
    // Poppler reversed the word: character i has the box stored at n-1-i.
    auto width = [&](size_t i) {
        const PdfBox &b = boxes[w.box[n - 1 - i]];
        return b.x2 - b.x1;
    };
    std::vector<bool> pair(n, false);
    for (size_t i = 0; i + 1 < n; ++i) {
        if (!is_alef(w.text[i]) || w.text[i + 1] != kLam) continue;
        double alef = width(i), lam = width(i + 1), whole = alef + lam;
        const PdfBox &a = boxes[w.box[n - 1 - i]], &l = boxes[w.box[n - 2 - i]];
        if (alef > 0 && lam > 0 && std::fabs(alef - lam) <= 0.03 * whole &&
            std::fabs(l.x2 - a.x1) <= 0.03 * whole)
            pair[i] = pair[i + 1] = true;
    }
    // In a fixed-pitch font an alef and a lam of the same width are two
    // glyphs as wide as the other letters; the halves of a ligature are half
    // as wide as those.
    std::vector<double> others;
    for (size_t k = 0; k < n; ++k)
        if (!pair[k]) others.push_back(width(k));
    double usual = 0;
    if (!others.empty()) {
        auto mid = others.begin() + static_cast<std::ptrdiff_t>(others.size() / 2);
        std::nth_element(others.begin(), mid, others.end());
        usual = *mid;
    }
    for (size_t i = 0; i + 1 < n; ++i) {
        if (!pair[i] || !pair[i + 1] || !is_alef(w.text[i])) continue;
        if (std::fabs(usual - width(i)) > 0.1 * width(i)) std::swap(w.text[i], w.text[i + 1]);
        ++i;
    }
}

// A run of words read in one direction: visual indices lo..hi.
struct Run {
    size_t lo, hi;
    bool forward;  // read left to right
};

// A line in visual order: its words left to right, and gap[i] telling
// whether a space separates words i and i+1.
struct VisualLine {
    std::vector<Word> words;
    std::vector<bool> gap;
};

VisualLine visual_line(std::u32string_view line, std::vector<int> &boxOf,
                       std::span<const PdfBox> boxes, bool rightToLeft) {
    VisualLine v;
    v.words = cut_words(line, boxOf);
    size_t n = v.words.size();
    for (Word &w : v.words) fix_ligatures(w, boxes);
    v.gap.assign(n > 0 ? n - 1 : 0, true);
    if (!rightToLeft) {
        for (size_t i = 0; i + 1 < n; ++i) v.gap[i] = v.words[i].spaceAfter;
    } else {
        // Poppler reversed the words of the line but not its space flags,
        // which tell the gap on each word's right: the leftmost gap is lost
        // and measured instead.
        std::reverse(v.words.begin(), v.words.end());
        for (size_t i = 1; i + 1 < n; ++i) v.gap[i] = v.words[i].spaceAfter;
        if (n > 1) v.gap[0] = apart(v.words[0], v.words[1], boxes);
    }
    // Poppler makes a word of every glyph of a right-to-left run that is
    // drawn right to left (as cairo draws it) and puts a space between two
    // of them when their gap exceeds 1.3 times the smallest gap of the line:
    // where all glyphs sit on a whole-point grid, that is a fraction of a
    // point, and words split apart. Glyphs that touch share a word.
    for (size_t i = 0; i + 1 < n; ++i)
        if (v.gap[i] && (v.words[i].dir == Dir::kRight || v.words[i + 1].dir == Dir::kRight))
            v.gap[i] = apart(v.words[i], v.words[i + 1], boxes);
    return v;
}

// Punctuation that takes the direction of its surroundings.
bool is_weak_stop(char32_t c) {
    return c == U'.' || c == U',' || c == U'!' || c == U'?' || c == U':' || c == U';' ||
           c == 0x060C;
}

// A right-to-left paragraph that its writer laid out left to right puts the
// full stop after its last word at the right end of the line, where reading
// right to left takes it for the start of the line's first word (or of the
// word after the stop). Stops in front of a right-to-left letter go back to
// the end of the word before, or of the line.
void move_stops(std::vector<std::u32string> &texts, std::vector<bool> &spaced) {
    for (size_t i = 0; i < texts.size(); ++i) {
        std::u32string &t = texts[i];
        size_t n = 0;
        while (n < t.size() && is_weak_stop(t[n])) ++n;
        bool alone = n == t.size() && i == 0 && texts.size() > 1;
        bool beforeLetter = n < t.size() && is_right_to_left(t[n]);
        if (n == 0 || (!alone && !beforeLetter)) continue;
        std::u32string stops = t.substr(0, n);
        t.erase(0, n);
        (i == 0 ? texts.back() : texts[i - 1]) += stops;
    }
    // A first word that was nothing but stops is gone.
    if (!texts.empty() && texts[0].empty()) {
        texts.erase(texts.begin());
        spaced.erase(spaced.begin());
        if (!spaced.empty()) spaced[0] = false;
    }
}

// The words of a visual line in logical order, with the spaces between them.
std::string read_line(const VisualLine &v, bool rightToLeft) {
    size_t n = v.words.size();
    const std::vector<bool> &gap = v.gap;
    auto dir = [&](size_t i) { return v.words[i].dir; };
    std::vector<Run> runs;
    if (rightToLeft) {
        for (size_t i = n; i-- > 0;) {
            size_t lo = i;
            if (dir(i) == Dir::kLeft) {
                while (lo > 0 && dir(lo - 1) != Dir::kRight) --lo;
                while (dir(lo) != Dir::kLeft) ++lo;
            }
            runs.push_back({lo, i, true});
            i = lo;
        }
    } else {
        for (size_t i = 0; i < n; ++i) {
            size_t hi = i;
            if (dir(i) == Dir::kRight) {
                while (hi + 1 < n && dir(hi + 1) != Dir::kLeft) ++hi;
                while (dir(hi) != Dir::kRight) --hi;
            }
            runs.push_back({i, hi, hi == i});
            i = hi;
        }
    }
    // The words in reading order, each with whether a space comes before it.
    std::vector<std::u32string> texts;
    std::vector<bool> spaced;
    for (const Run &r : runs) {
        for (size_t k = 0; k <= r.hi - r.lo; ++k) {
            size_t at = r.forward ? r.lo + k : r.hi - k;
            bool space = k > 0 ? (r.forward ? gap[at - 1] : gap[at])
                               : !texts.empty() && (rightToLeft ? gap[r.hi] : gap[r.lo - 1]);
            texts.push_back(v.words[at].text);
            spaced.push_back(space);
        }
    }
    if (rightToLeft) move_stops(texts, spaced);
    std::string out;
    for (size_t i = 0; i < texts.size(); ++i) {
        if (spaced[i]) out += ' ';
        for (char32_t c : texts[i]) {
            if (char32_t alef = lam_alef_alef(c)) {
                append_utf8(out, kLam);
                c = alef;
            }
            append_utf8(out, c);
        }
    }
    return out;
}

// Where a line of poppler's text lies on the page.
struct LineBox {
    size_t start, end;  // characters of the text
    bool known = false;
    double x1 = 1e300, x2 = -1e300, y1 = 1e300, y2 = -1e300;
};

// Poppler makes separate lines of pieces that overlap the rest of their line
// (letters after a zero-width non-joiner drawn in another font, combining
// marks): consecutive lines at the same height belong together when they
// cover the line without a gap. The number of lines from `k` on that make up
// one line: at most kMaxLinePieces, since each line of a run at one height
// looks at the rest of the run (a page of thousands of lines side by side
// would take time quadratic in its lines).
constexpr size_t kMaxLinePieces = 128;

size_t pieces_of_line(std::span<const LineBox> lines, size_t k) {
    size_t n = 1;
    for (; k + n < lines.size() && n < kMaxLinePieces; ++n) {
        const LineBox &a = lines[k + n - 1], &b = lines[k + n];
        double h = std::min(a.y2 - a.y1, b.y2 - b.y1);
        if (!a.known || !b.known || h <= 0 || std::min(a.y2, b.y2) - std::max(a.y1, b.y1) < 0.5 * h)
            break;
    }
    if (n == 1) return 1;
    std::vector<const LineBox *> byX;
    for (size_t i = 0; i < n; ++i) byX.push_back(&lines[k + i]);
    std::sort(byX.begin(), byX.end(),
              [](const LineBox *a, const LineBox *b) { return a->x1 < b->x1; });
    double reach = byX[0]->x2;
    for (const LineBox *l : byX) {
        if (l->x1 > reach + 0.5 * (l->y2 - l->y1)) return 1;
        reach = std::max(reach, l->x2);
    }
    return n;
}

}  // namespace

bool PdfHasBidi(std::string_view utf8) {
    for (char32_t c : decode(utf8))
        if (is_right_to_left(c) || is_bidi_control(c)) return true;
    return false;
}

bool PdfPageIsRightToLeft(std::string_view utf8) {
    int depth = 0;
    bool any = false;
    for (char32_t c : decode(utf8)) {
        if (opens_embedding(c)) {
            ++depth;
        } else if (closes_embedding(c)) {
            depth -= depth > 0;
        } else if (c == kFeed || c == kSpace) {
            depth = 0;
        } else if (!is_bidi_control(c)) {
            if (depth == 0) return false;
            any = true;
        }
    }
    return any;
}

std::string PdfLogicalText(std::string_view utf8, std::span<const PdfBox> boxes, bool rightToLeft) {
    std::u32string text = decode(utf8);
    // The box of every character, where the layout fits the text.
    std::vector<int> boxOf(text.size(), -1);
    size_t counted = 0;
    for (char32_t c : text) counted += !is_embedding_mark(c);
    if (counted == boxes.size()) {
        int next = 0;
        for (size_t i = 0; i < text.size(); ++i)
            if (!is_embedding_mark(text[i])) boxOf[i] = next++;
    }
    std::vector<LineBox> lines;
    for (size_t start = 0;;) {
        size_t end = std::min(text.find(kFeed, start), text.size());
        LineBox line{start, end};
        for (size_t i = start; i < end; ++i) {
            if (boxOf[i] < 0 || text[i] == kSpace) continue;
            const PdfBox &b = boxes[static_cast<size_t>(boxOf[i])];
            line.known = true;
            line.x1 = std::min(line.x1, b.x1), line.x2 = std::max(line.x2, b.x2);
            line.y1 = std::min(line.y1, b.y1), line.y2 = std::max(line.y2, b.y2);
        }
        lines.push_back(line);
        if (end == text.size()) break;
        start = end + 1;
    }
    std::string out;
    out.reserve(utf8.size());
    for (size_t k = 0; k < lines.size();) {
        std::u32string_view line(text.data() + lines[k].start, lines[k].end - lines[k].start);
        auto boxesOf = [&](const LineBox &l) {
            return std::vector<int>(boxOf.begin() + static_cast<std::ptrdiff_t>(l.start),
                                    boxOf.begin() + static_cast<std::ptrdiff_t>(l.end));
        };
        size_t group = rightToLeft ? pieces_of_line(lines, k) : 1;
        if (group > 1) {
            // The words of all pieces left to right (a combining mark before
            // the letter it stands on, by their middles), with a space where
            // two words do not touch.
            struct Placed {
                Word word;
                double x1, x2, h;
            };
            std::vector<Placed> placed;
            for (size_t i = k; i < k + group; ++i) {
                std::u32string_view part(text.data() + lines[i].start,
                                         lines[i].end - lines[i].start);
                std::vector<int> partBoxes = boxesOf(lines[i]);
                for (Word &w : visual_line(part, partBoxes, boxes, true).words) {
                    Placed p{std::move(w), 0, 0, 0};
                    if (extent(p.word, boxes, p.x1, p.x2, p.h)) placed.push_back(std::move(p));
                }
            }
            std::stable_sort(placed.begin(), placed.end(), [](const Placed &a, const Placed &b) {
                return a.x1 + a.x2 < b.x1 + b.x2;
            });
            VisualLine whole;
            for (size_t i = 1; i < placed.size(); ++i)
                whole.gap.push_back(apart(placed[i - 1].word, placed[i].word, boxes));
            for (Placed &p : placed) whole.words.push_back(std::move(p.word));
            out += read_line(whole, true);
        } else if (rightToLeft || std::any_of(line.begin(), line.end(), is_bidi_control)) {
            std::vector<int> lineBoxes = boxesOf(lines[k]);
            out += read_line(visual_line(line, lineBoxes, boxes, rightToLeft), rightToLeft);
        } else {
            for (char32_t c : line) append_utf8(out, c);
        }
        k += group;
        if (k < lines.size()) out += '\n';
    }
    return out;
}

}  // namespace dxf
