// tex_text.cpp - the prose of LaTeX and Texinfo sources.
#include "filters/dxfilter/tex_text.h"

#include <unicode/unorm2.h>

#include <algorithm>
#include <array>

#include "filters/dxfilter/line_feed.h"
#include "filters/dxfilter/utf8.h"

namespace dxf {
namespace {

constexpr size_t kMaxName = 64;  // longest command or environment name read

bool is_letter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

template <size_t N>
bool listed(const std::array<std::string_view, N> &names, std::string_view name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

// A name looked up in a table of names and values.
template <class T, size_t N>
const T *find(const std::array<T, N> &table, std::string_view name) {
    for (const T &row : table)
        if (row.name == name) return &row;
    return nullptr;
}

// The letters of a word from `i` (at most kMaxName of them).
std::string_view word_at(std::string_view s, size_t i) {
    size_t end = i;
    while (end < s.size() && end - i < kMaxName && is_letter(s[end])) ++end;
    return s.substr(i, end - i);
}

// ---- accents and special letters -------------------------------------------

// The combining mark of an accent command (LaTeX `\'`, `\c`; Texinfo `@'`,
// `@,`, `@ogonek` ...); 0 for none.
struct Accent {
    std::string_view name;
    char32_t mark;
};
constexpr auto kAccents = std::to_array<Accent>({
    {"'", 0x301},          {"`", 0x300},         {"^", 0x302},          {"\"", 0x308},
    {"~", 0x303},          {"=", 0x304},         {".", 0x307},          {"c", 0x327},
    {",", 0x327},          {"v", 0x30C},         {"u", 0x306},          {"H", 0x30B},
    {"k", 0x328},          {"r", 0x30A},         {"d", 0x323},          {"b", 0x331},
    {"ogonek", 0x328},     {"dotaccent", 0x307}, {"ringaccent", 0x30A}, {"udotaccent", 0x323},
    {"ubaraccent", 0x331},
});

char32_t accent_mark(std::string_view name) {
    const Accent *a = find(kAccents, name);
    return a ? a->mark : 0;
}

// A letter with a mark as one character when Unicode has one; else the
// letter alone.
char32_t composed(char32_t base, char32_t mark) {
    UErrorCode status = U_ZERO_ERROR;
    const UNormalizer2 *nfc = unorm2_getNFCInstance(&status);
    if (U_FAILURE(status)) return base;
    const UChar32 c =
        unorm2_composePair(nfc, static_cast<UChar32>(base), static_cast<UChar32>(mark));
    return c < 0 ? base : static_cast<char32_t>(c);
}

// Letters and signs named by a command without arguments, in both
// languages (`\ss`, `@ss{}`).
struct Named {
    std::string_view name;
    std::string_view text;
};
constexpr auto kLetters = std::to_array<Named>({
    {"ss", "ß"},
    {"SS", "SS"},
    {"o", "ø"},
    {"O", "Ø"},
    {"ae", "æ"},
    {"AE", "Æ"},
    {"oe", "œ"},
    {"OE", "Œ"},
    {"aa", "å"},
    {"AA", "Å"},
    {"l", "ł"},
    {"L", "Ł"},
    {"i", "ı"},
    {"j", "ȷ"},
    {"dh", "ð"},
    {"DH", "Ð"},
    {"th", "þ"},
    {"TH", "Þ"},
    {"TeX", "TeX"},
    {"LaTeX", "LaTeX"},
    {"dots", "…"},
    {"ldots", "…"},
    {"enddots", "…"},
    {"euro", "€"},
    {"pounds", "£"},
    {"S", "§"},
    {"P", "¶"},
    {"copyright", "©"},
    {"textregistered", "®"},
    {"registeredsymbol", "®"},
    {"textendash", "–"},
    {"textemdash", "—"},
    {"bullet", "•"},
    {"textbullet", "•"},
    {"exclamdown", "¡"},
    {"questiondown", "¿"},
    {"textexclamdown", "¡"},
    {"textquestiondown", "¿"},
    {"guillemotleft", "«"},
    {"guillemotright", "»"},
    {"guillemetleft", "«"},
    {"guillemetright", "»"},
    {"quotedblbase", "„"},
    {"quotesinglbase", "‚"},
    {"textquotedblleft", "“"},
    {"textquotedblright", "”"},
    {"tie", " "},
    {"textdegree", "°"},
    {"minus", "-"},
    {"result", "⇒"},
    {"expansion", "→"},
    {"equiv", "≡"},
    {"error", "error"},
    {"print", "-|"},
    {"point", "∗"},
    {"comma", ","},
    {"atchar", "@"},
    {"lbracechar", "{"},
    {"rbracechar", "}"},
    {"backslashchar", "\\"},
    {"hashchar", "#"},
    {"ordf", "ª"},
    {"ordm", "º"},
    {"today", ""},
    {"og", "«"},
    {"fg", "»"},
});

// An accent's base letter in `s` from `i`: a letter, `{letter}`, `{\i}`,
// `\i` (LaTeX) or `@dotless{i}` (Texinfo). `i` moves past it; 0 when none
// follows (then `i` stays).
char32_t accent_base(std::string_view s, size_t &i, char escape) {
    size_t k = i;
    const bool braced = k < s.size() && s[k] == '{';
    if (braced) ++k;
    while (k < s.size() && s[k] == ' ') ++k;
    char32_t base = 0;
    if (k < s.size() && is_letter(s[k])) {
        base = static_cast<unsigned char>(s[k++]);
    } else if (k < s.size() && s[k] == escape) {
        const std::string_view w = word_at(s, k + 1);
        if (w == "i" || w == "j") {
            base = static_cast<unsigned char>(w[0]);
            k += 2;
        } else if (w == "dotless" && s.substr(k + 8).starts_with("{i}")) {
            base = 'i';
            k += 11;
        } else if (w == "dotless" && s.substr(k + 8).starts_with("{j}")) {
            base = 'j';
            k += 11;
        }
        if (escape == '\\') {
            if (k < s.size() && s[k] == '{' && k + 1 < s.size() && s[k + 1] == '}') k += 2;
        }
    }
    if (base == 0) return 0;
    if (braced) {
        while (k < s.size() && s[k] == ' ') ++k;
        if (k >= s.size() || s[k] != '}') return 0;
        ++k;
    }
    i = k;
    return base;
}

// ---- charsets ---------------------------------------------------------------

// Bytes of a valid UTF-8 prefix of `s`: all of it when it is valid (a
// sequence cut by its end counts unless `whole`).
bool valid_utf8(std::string_view s, bool whole) {
    size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        size_t n;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            n = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            n = 2;
        } else if (c >= 0xF0 && c <= 0xF4) {
            n = 3;
        } else {
            return false;
        }
        for (size_t k = 1; k <= n; ++k) {
            if (i + k >= s.size()) return !whole;
            const auto t = static_cast<unsigned char>(s[i + k]);
            if ((t & 0xC0) != 0x80) return false;
            if (k == 1 && ((c == 0xE0 && t < 0xA0) || (c == 0xED && t > 0x9F) ||
                           (c == 0xF0 && t < 0x90) || (c == 0xF4 && t > 0x8F)))
                return false;
        }
        i += n + 1;
    }
    return true;
}

// ICU names of the options of LaTeX's inputenc package.
constexpr auto kInputEncodings = std::to_array<Named>({
    {"utf8", "UTF-8"},
    {"utf8x", "UTF-8"},
    {"latin1", "ISO-8859-1"},
    {"latin2", "ISO-8859-2"},
    {"latin3", "ISO-8859-3"},
    {"latin4", "ISO-8859-4"},
    {"latin5", "ISO-8859-9"},
    {"latin9", "ISO-8859-15"},
    {"latin10", "ISO-8859-16"},
    {"cp1250", "windows-1250"},
    {"cp1251", "windows-1251"},
    {"cp1252", "windows-1252"},
    {"cp1257", "windows-1257"},
    {"ansinew", "windows-1252"},
    {"cp437", "ibm-437"},
    {"cp850", "ibm-850"},
    {"cp852", "ibm-852"},
    {"cp858", "ibm-858"},
    {"cp866", "ibm-866"},
    {"koi8-r", "KOI8-R"},
    {"koi8-u", "KOI8-U"},
    {"applemac", "macintosh"},
    {"macce", "x-mac-centraleurroman"},
    {"iso88595", "ISO-8859-5"},
    {"x-iso88595", "ISO-8859-5"},
});

std::string_view trim(std::string_view s) {
    while (!s.empty() && (is_blank(s.front()) || s.front() == '\n')) s.remove_prefix(1);
    while (!s.empty() && (is_blank(s.back()) || s.back() == '\n')) s.remove_suffix(1);
    return s;
}

// The charset `\usepackage[...]{inputenc}` names in `head`; empty for none.
std::string inputenc_charset(std::string_view head) {
    for (size_t at = head.find("{inputenc}"); at != std::string_view::npos;
         at = head.find("{inputenc}", at + 1)) {
        const size_t close = head.rfind(']', at);
        const size_t open = head.rfind('[', at);
        if (close == std::string_view::npos || open == std::string_view::npos || open > close ||
            at - close > 1 || close - open > kMaxName)
            continue;
        std::string_view options = head.substr(open + 1, close - open - 1);
        // The last option is the one in force.
        if (const size_t comma = options.rfind(','); comma != std::string_view::npos)
            options.remove_prefix(comma + 1);
        if (const Named *e = find(kInputEncodings, trim(options))) return std::string(e->text);
    }
    return {};
}

// The charset `@documentencoding` names in `head`; empty for none.
std::string texinfo_charset(std::string_view head) {
    constexpr std::string_view kCommand = "@documentencoding";
    for (size_t at = head.find(kCommand); at != std::string_view::npos;
         at = head.find(kCommand, at + 1)) {
        if (at > 0 && head[at - 1] != '\n') continue;
        std::string_view rest = head.substr(at + kCommand.size());
        rest = rest.substr(0, rest.find('\n'));
        rest = trim(rest);
        if (!rest.empty() && rest.size() <= kMaxName) return std::string(rest);
    }
    return {};
}

// ---- LaTeX tables ------------------------------------------------------------

// Commands and what their arguments are: 'd' dropped, 'k' kept, 't' the
// title (kept in the preamble too). A command not listed keeps what
// follows it; optional arguments "[...]" are always dropped.
struct Command {
    std::string_view name;
    std::string_view args;
};
constexpr auto kCommands = std::to_array<Command>({
    {"label", "d"},
    {"ref", "d"},
    {"eqref", "d"},
    {"pageref", "d"},
    {"autoref", "d"},
    {"cref", "d"},
    {"Cref", "d"},
    {"nameref", "d"},
    {"cite", "d"},
    {"citep", "d"},
    {"citet", "d"},
    {"citeauthor", "d"},
    {"citeyear", "d"},
    {"parencite", "d"},
    {"textcite", "d"},
    {"autocite", "d"},
    {"footcite", "d"},
    {"nocite", "d"},
    {"includegraphics", "d"},
    {"usepackage", "d"},
    {"RequirePackage", "d"},
    {"input", "d"},
    {"include", "d"},
    {"includeonly", "d"},
    {"url", "d"},
    {"nolinkurl", "d"},
    {"bibliography", "d"},
    {"bibliographystyle", "d"},
    {"addbibresource", "d"},
    {"documentclass", "d"},
    {"documentstyle", "d"},
    {"vspace", "d"},
    {"hspace", "d"},
    {"pagestyle", "d"},
    {"thispagestyle", "d"},
    {"pagenumbering", "d"},
    {"linespread", "d"},
    {"color", "d"},
    {"index", "d"},
    {"glossary", "d"},
    {"hyperlink", "dk"},
    {"hypertarget", "dk"},
    {"href", "dk"},
    {"textcolor", "dk"},
    {"colorbox", "dk"},
    {"fcolorbox", "ddk"},
    {"setlength", "dd"},
    {"addtolength", "dd"},
    {"setcounter", "dd"},
    {"addtocounter", "dd"},
    {"newcounter", "d"},
    {"definecolor", "ddd"},
    {"newcommand", "dd"},
    {"renewcommand", "dd"},
    {"providecommand", "dd"},
    {"DeclareMathOperator", "dd"},
    {"newenvironment", "ddd"},
    {"renewenvironment", "ddd"},
    {"newtheorem", "dd"},
    {"numberwithin", "dd"},
    {"addcontentsline", "ddd"},
    {"graphicspath", "d"},
    {"hypersetup", "d"},
    {"lstset", "d"},
    {"geometry", "d"},
    {"setmainfont", "d"},
    {"setsansfont", "d"},
    {"setmonofont", "d"},
    {"fontsize", "dd"},
    {"usetikzlibrary", "d"},
    {"tikzset", "d"},
    {"pgfplotsset", "d"},
    {"captionsetup", "d"},
    {"setlist", "d"},
    {"bibitem", "d"},
    {"ensuremath", "d"},
    {"raisebox", "dk"},
    {"rule", "dd"},
    {"enlargethispage", "d"},
    {"texorpdfstring", "kd"},
    {"title", "t"},
    {"selectlanguage", "d"},
    {"foreignlanguage", "dk"},
    {"setcitestyle", "d"},
    {"newlength", "d"},
    {"settowidth", "dd"},
    {"value", "d"},
    {"arabic", "d"},
    {"roman", "d"},
    {"Roman", "d"},
    {"alph", "d"},
    {"Alph", "d"},
    {"stepcounter", "d"},
    {"refstepcounter", "d"},
    {"makeatletter", ""},
    {"includepdf", "d"},
    {"lstinputlisting", "d"},
    {"inputminted", "dd"},
    {"verbatiminput", "d"},
    {"DoxyCodeLine", ""},
    {"includesvg", "d"},
    {"section", "h"},
    {"subsection", "h"},
    {"subsubsection", "h"},
    {"chapter", "h"},
    {"part", "h"},
    {"paragraph", "h"},
    {"subparagraph", "h"},
    {"doxysection", "h"},
    {"doxysubsection", "h"},
    {"doxysubsubsection", "h"},
    {"Hypertarget", "d"},
    {"doxyref", "kdd"},
    {"mathrm", "d"},
    {"multicolumn", "ddk"},
    {"multirow", "ddk"},
    {"cline", "d"},
    {"cmidrule", "d"},
    {"specialrule", "ddd"},
});

// Environments not read: code, verbatim text, math, pictures.
constexpr auto kSkipped = std::to_array<std::string_view>({
    "verbatim",
    "verbatim*",
    "Verbatim",
    "BVerbatim",
    "LVerbatim",
    "lstlisting",
    "minted",
    "comment",
    "tikzpicture",
    "pgfpicture",
    "circuitikz",
    "equation",
    "equation*",
    "align",
    "align*",
    "alignat",
    "alignat*",
    "flalign",
    "flalign*",
    "gather",
    "gather*",
    "multline",
    "multline*",
    "eqnarray",
    "eqnarray*",
    "displaymath",
    "math",
    "filecontents",
    "filecontents*",
    "DoxyCode",
    "DoxyCodeInclude",
    "picture",
    "dmath",
    "dmath*",
    "split",
    "pspicture",
    "asy",
    "dot2tex",
    "forest",
    "lstlisting*",
    "code",
    "spverbatim",
});

// Environments whose arguments after their name are not text.
constexpr auto kEnvironmentArgs = std::to_array<Command>({
    {"tabular", "d"},
    {"tabular*", "dd"},
    {"tabularx", "dd"},
    {"tabulary", "dd"},
    {"longtable", "d"},
    {"array", "d"},
    {"minipage", "d"},
    {"multicols", "d"},
    {"multicols*", "d"},
    {"wrapfigure", "dd"},
    {"subfigure", "d"},
    {"thebibliography", "d"},
    {"list", "dd"},
    {"tabu", "d"},
    {"xltabular", "dd"},
    {"DoxyTableNested", "d"},
});

// The control words \def and its kind, whose parameter text and body are
// not text.
constexpr auto kDefinitions = std::to_array<std::string_view>({"def", "gdef", "edef", "xdef"});

// ---- Texinfo tables ----------------------------------------------------------

// Blocks not read, up to their `@end`.
constexpr auto kTexinfoSkipped = std::to_array<std::string_view>({
    "menu",         "detailmenu",
    "direntry",     "example",
    "smallexample", "lisp",
    "smalllisp",    "verbatim",
    "macro",        "rmacro",
    "ignore",       "iftex",
    "ifhtml",       "ifxml",
    "ifdocbook",    "iflatex",
    "tex",          "html",
    "xml",          "docbook",
    "latex",        "documentdescription",
    "displaymath",
});
// Line commands whose rest is text.
constexpr auto kTexinfoTextLines = std::to_array<std::string_view>({
    "chapter",
    "section",
    "subsection",
    "subsubsection",
    "unnumbered",
    "unnumberedsec",
    "unnumberedsubsec",
    "unnumberedsubsubsec",
    "appendix",
    "appendixsec",
    "appendixsection",
    "appendixsubsec",
    "appendixsubsubsec",
    "chapheading",
    "majorheading",
    "heading",
    "subheading",
    "subsubheading",
    "top",
    "title",
    "subtitle",
    "author",
    "settitle",
    "item",
    "itemx",
    "center",
    "exdent",
    "quotation",
    "smallquotation",
    "noindent",
    "indent",
    "tab",
    "headitem",
    "part",
});
// Inline commands whose argument is code, a name or a reference: dropped.
// `@code`, `@samp`, `@var` and the like hold program text and names, not
// the document's language.
constexpr auto kTexinfoDropped = std::to_array<std::string_view>({
    "code",          "samp",          "kbd",         "key",        "command",   "env",
    "file",          "option",        "var",         "math",       "image",     "anchor",
    "value",         "xref",          "pxref",       "ref",        "inforef",   "indicateurl",
    "clicksequence", "errormsg",      "hyphenation", "sortas",     "verb",      "t",
    "url",           "tieaccent",     "dmn",         "inlineraw",  "inlinefmt", "inlinefmtifelse",
    "inlineifset",   "inlineifclear", "caption_of",  "clickstyle",
});
// Inline commands whose arguments are split by commas.
constexpr auto kTexinfoCommas = std::to_array<Command>({
    {"uref", "dkk"},
    {"email", "dk"},
    {"acronym", "kk"},
    {"abbr", "kk"},
});

}  // namespace

std::string TexCharset(std::string_view head, TexKind kind, bool whole) {
    if (valid_utf8(head, whole)) return "UTF-8";
    std::string named = kind == TexKind::kTexinfo ? texinfo_charset(head) : inputenc_charset(head);
    return named.empty() ? "windows-1252" : named;
}

// ---- output -------------------------------------------------------------------

bool TexStripper::Dropping() const {
    if (mode_ != Mode::kText || ended_ || option_) return true;
    const bool title = !frames_.empty() && frames_.back().title;
    if (preamble_ && !title) return true;
    return !frames_.empty() && frames_.back().drop;
}

void TexStripper::Put(std::string_view text) {
    if (Dropping() || text.empty()) return;
    if (space_) out_ += ' ';
    space_ = false;
    out_ += text;
    last_ = text.back();
}

void TexStripper::PutChar(char32_t cp) {
    std::string utf8;
    append_utf8(utf8, cp);
    Put(utf8);
}

// A space is put out before the next text, so that none ends a line
// whatever was handed to the sink before.
void TexStripper::Space() {
    if (!Dropping() && last_ != '\n') space_ = true;
}

void TexStripper::Break() {
    if (Dropping()) return;
    space_ = false;
    if (last_ == '\n') return;
    out_ += '\n';
    last_ = '\n';
}

void TexStripper::Open(Frame frame) {
    if (frames_.size() >= kMaxDepth) {
        ++deeper_;
        return;
    }
    if (!frames_.empty()) {
        frame.drop = frame.drop || frames_.back().drop;
        frame.title = frame.title || frames_.back().title;
    }
    frames_.push_back(frame);
}

void TexStripper::Close() {
    if (deeper_ > 0) {
        --deeper_;
        return;
    }
    if (frames_.empty()) return;
    const Frame frame = frames_.back();
    frames_.pop_back();
    if (frame.heading) Break();
    // The command's next argument, if it has one.
    if (frame.arg && !frame.rest.empty()) {
        args_ = frame.rest;
        reading_ = true;
        skipped_ = false;
    }
}

bool TexStripper::Flush(DXMSink *sink) {
    return HandOn(out_, full_, sink);
}

bool TexStripper::Feed(std::string_view utf8, bool last, DXMSink *sink) {
    const auto line = [this](bool ended) { Line(ended); };
    if (!FeedLines(utf8, kMaxLine, line_, line, out_, full_, sink)) return false;
    if (last) {
        if (!line_.empty() || piece_) Line(true);
        // The text ends its last line, whatever was left open.
        const bool was = ended_;
        ended_ = false;
        mode_ = Mode::kText;
        frames_.clear();
        deeper_ = 0;
        preamble_ = false;
        option_ = false;
        Break();
        ended_ = was;
    }
    return Flush(sink);
}

void TexStripper::Line(bool ended) {
    std::string_view line = line_;
    if (ended && line.ends_with('\r')) line.remove_suffix(1);
    const bool blank = !piece_ && std::all_of(line.begin(), line.end(), is_blank);
    if (blank && ended) {
        // A paragraph's end: math and arguments do not run past it.
        if (mode_ != Mode::kSkip) mode_ = Mode::kText;
        reading_ = false;
        option_ = false;
        Break();
    } else if (dropRest_) {
        // The rest of a line whose comment began in a piece before.
    } else if (texinfo_) {
        TexinfoLine(line, ended);
    } else {
        LatexLine(line, ended);
    }
    piece_ = !ended;
    if (ended) dropRest_ = false;
    line_.clear();
}

// ---- LaTeX --------------------------------------------------------------------

// In math, from `i`: the position after its end, or the line's end.
size_t TexStripper::SkipMath(std::string_view s, size_t i) {
    while (i < s.size()) {
        const char c = s[i];
        if (c == '%') {
            dropRest_ = true;
            return s.size();
        }
        if (c == '\\') {
            const char n = i + 1 < s.size() ? s[i + 1] : 0;
            if ((mode_ == Mode::kParenMath && n == ')') ||
                (mode_ == Mode::kBracketMath && n == ']')) {
                mode_ = Mode::kText;
                return i + 2;
            }
            i += 2;
            continue;
        }
        if (c == '$') {
            if (mode_ == Mode::kInlineMath) {
                mode_ = Mode::kText;
                return i + 1;
            }
            if (mode_ == Mode::kDisplayMath && i + 1 < s.size() && s[i + 1] == '$') {
                mode_ = Mode::kText;
                return i + 2;
            }
        }
        ++i;
    }
    return i;
}

void TexStripper::LatexLine(std::string_view s, bool ended) {
    size_t i = 0;
    if (preamble_ && !piece_ && mode_ == Mode::kText && frames_.empty() && deeper_ == 0 &&
        !reading_ && !option_) {
        // A line of words outside any group: the body began without
        // \begin{document} (LaTeX would stop there; its words are read).
        const size_t first = s.find_first_not_of(" \t");
        if (first != std::string_view::npos &&
            (is_letter(s[first]) || static_cast<unsigned char>(s[first]) >= 0x80))
            preamble_ = false;
    }
    while (i < s.size()) {
        if (mode_ == Mode::kSkip) {
            const size_t at = s.find(skipEnd_, i);
            if (at == std::string_view::npos) return;
            mode_ = Mode::kText;
            i = at + skipEnd_.size();
            continue;
        }
        if (mode_ != Mode::kText) {
            i = SkipMath(s, i);
            continue;
        }
        const char c = s[i];
        if (option_) {
            // An optional argument: dropped up to its ']'.
            if (c == '%') {
                dropRest_ = true;
                return;
            }
            if (c == '\\') {
                i += 2;
                continue;
            }
            if (c == '{') ++optionDepth_;
            if (c == '}' && optionDepth_ > 0) --optionDepth_;
            if (c == ']' && optionDepth_ == 0) option_ = false;
            ++i;
            continue;
        }
        if (reading_) {
            i = LatexArgs(s, i);
            continue;
        }
        switch (c) {
            case '%':
                dropRest_ = true;  // the comment and the line's end
                return;
            case '\\':
                i = LatexCommand(s, i + 1);
                continue;
            case '{':
                Open({});
                break;
            case '}':
                Close();
                break;
            case '$':
                if (i + 1 < s.size() && s[i + 1] == '$') {
                    mode_ = Mode::kDisplayMath;
                    ++i;
                } else {
                    mode_ = Mode::kInlineMath;
                }
                break;
            case '~':
                Space();
                break;
            case '`':
                if (i + 1 < s.size() && s[i + 1] == '`') {
                    Put("“");
                    ++i;
                } else {
                    Put("‘");
                }
                break;
            case '\'':
                if (i + 1 < s.size() && s[i + 1] == '\'') {
                    Put("”");
                    ++i;
                } else {
                    Put("'");
                }
                break;
            case '-':
                if (s.substr(i).starts_with("---")) {
                    Put("—");
                    i += 2;
                } else if (s.substr(i).starts_with("--")) {
                    Put("–");
                    ++i;
                } else {
                    Put("-");
                }
                break;
            case '&':
            case '\t':
            case ' ':
                Space();
                break;
            case '#':
            case '^':
            case '_':
                break;
            default:
                Put(s.substr(i, 1));
        }
        ++i;
    }
    // The line's end is a space between words.
    if (ended && !dropRest_) Space();
}

// After a command, at `i`: a star, optional arguments and its arguments in
// braces; anything else ends them.
size_t TexStripper::LatexArgs(std::string_view s, size_t i) {
    const char c = s[i];
    if (is_blank(c)) {
        skipped_ = true;
        return i + 1;
    }
    if (c == '%') {
        dropRest_ = true;
        return s.size();
    }
    if (c == '*' && !skipped_) return i + 1;
    if (c == '[') {
        option_ = true;
        optionDepth_ = 0;
        return i + 1;
    }
    if (c == '{' && !args_.empty()) {
        const char kind = args_[0];
        args_.remove_prefix(1);
        reading_ = false;
        Frame frame;
        frame.arg = true;
        frame.drop = kind == 'd';
        frame.title = kind == 't';
        frame.heading = kind == 'h';
        frame.rest = args_;
        Open(frame);
        return i + 1;
    }
    reading_ = false;
    args_ = {};
    if (skipped_ && !glued_) Space();
    return i;
}

void TexStripper::Environment(std::string_view name, bool begin) {
    if (begin && name == "document") {
        preamble_ = false;
        Break();
        return;
    }
    if (!begin) {
        if (name == "document") ended_ = true;
        Break();
        return;
    }
    if (listed(kSkipped, name)) {
        mode_ = Mode::kSkip;
        skipEnd_ = "\\end{";
        skipEnd_ += name;
        skipEnd_ += '}';
        return;
    }
    Break();
    const Command *env = find(kEnvironmentArgs, name);
    args_ = env ? env->args : std::string_view();
    reading_ = true;
    skipped_ = false;
}

// After a backslash at `i`: the command, its arguments set to be read.
size_t TexStripper::LatexCommand(std::string_view s, size_t i) {
    if (i >= s.size()) return i;  // a backslash ending the line
    const char c = s[i];
    args_ = {};
    skipped_ = false;
    glued_ = false;
    if (!is_letter(c)) {
        ++i;
        if (const char32_t mark = accent_mark(std::string_view(&c, 1))) {
            if (const char32_t base = accent_base(s, i, '\\')) PutChar(composed(base, mark));
            return i;
        }
        switch (c) {
            case '\\':
                Break();
                reading_ = true;  // "\\*" and "\\[2pt]"
                return i;
            case '(':
                mode_ = Mode::kParenMath;
                return i;
            case '[':
                mode_ = Mode::kBracketMath;
                return i;
            case '%':
            case '$':
            case '&':
            case '#':
            case '_':
            case '{':
            case '}':
                Put(std::string_view(&s[i - 1], 1));
                return i;
            case ' ':
            case ';':
                Space();
                return i;
            default:
                return i;  // "\,", "\-", "\/", "\@" and the rest: nothing
        }
    }
    const std::string_view name = word_at(s, i);
    i += name.size();
    // LaTeX's accents named by a letter (`\c{c}`, `\v s`).
    if (const char32_t mark = name.size() == 1 ? accent_mark(name) : 0) {
        size_t k = i;
        while (k < s.size() && s[k] == ' ') ++k;
        if (const char32_t base = accent_base(s, k, '\\')) {
            PutChar(composed(base, mark));
            return k;
        }
    }
    if (name == "begin" || name == "end") {
        size_t k = i;
        while (k < s.size() && is_blank(s[k])) ++k;
        if (k < s.size() && s[k] == '{') {
            const size_t close = s.find('}', k);
            if (close != std::string_view::npos && close - k <= kMaxName) {
                Environment(s.substr(k + 1, close - k - 1), name == "begin");
                return close + 1;
            }
        }
        return i;
    }
    if (name == "documentclass" || name == "documentstyle") preamble_ = true;
    if (listed(kDefinitions, name)) {
        // "\def\name#1{body}": the name and parameters, then the body dropped.
        const size_t open = s.find('{', i);
        if (open == std::string_view::npos) return s.size();
        args_ = "d";
        reading_ = true;
        return open;
    }
    if (name == "let") {
        // "\let\a\b", "\let\a=\b".
        size_t k = i;
        for (int n = 0; n < 2; ++n) {
            while (k < s.size() && (is_blank(s[k]) || s[k] == '=')) ++k;
            if (k < s.size() && s[k] == '\\')
                k += 1 + std::max<size_t>(1, word_at(s, k + 1).size());
        }
        return std::min(k, s.size());
    }
    if (name == "verb" || name == "lstinline" || name == "mintinline") {
        size_t k = i;
        if (k < s.size() && s[k] == '*') ++k;
        if (name == "mintinline" && k < s.size() && s[k] == '{') {
            const size_t close = s.find('}', k);
            k = close == std::string_view::npos ? s.size() : close + 1;
        }
        if (k < s.size() && s[k] == '[') {
            const size_t close = s.find(']', k);
            k = close == std::string_view::npos ? s.size() : close + 1;
        }
        if (k >= s.size()) return k;
        const char delimiter = s[k] == '{' ? '}' : s[k];
        const size_t close = s.find(delimiter, k + 1);
        return close == std::string_view::npos ? s.size() : close + 1;
    }
    if (const Named *letter = find(kLetters, name)) {
        Put(letter->text);
        glued_ = true;  // "\oe uvre": the space ends the command's name
    } else if (const Command *command = find(kCommands, name)) {
        args_ = command->args;
        if (command->args.starts_with('h')) Break();
    } else if (name == "item" || name == "par" || name == "maketitle" || name == "newline" ||
               name == "linebreak" || name == "caption") {
        Break();
    } else if (name == "footnote") {
        Space();
    }
    reading_ = true;
    return i;
}

// ---- Texinfo ------------------------------------------------------------------

void TexStripper::TexinfoLine(std::string_view line, bool ended) {
    std::string_view s = line;
    while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
    if (mode_ == Mode::kSkip) {
        if (s.starts_with('@')) {
            const std::string_view w = word_at(s, 1);
            std::string_view rest = s.substr(1 + w.size());
            while (!rest.empty() && is_blank(rest.front())) rest.remove_prefix(1);
            if (w == "end" && word_at(rest, 0) == skipEnd_) {
                if (skipNested_ == 0)
                    mode_ = Mode::kText;
                else
                    --skipNested_;
            } else if (w == skipEnd_) {
                ++skipNested_;
            }
        }
        return;
    }
    if (ended_) return;
    if (piece_) {
        TexinfoInline(line);
        if (ended && !dropRest_) Space();
        return;
    }
    if (s.starts_with("\\input")) return;
    if (s.starts_with('@') && s.size() > 1 && is_letter(s[1])) {
        const std::string_view w = word_at(s, 1);
        std::string_view rest = s.substr(1 + w.size());
        const bool braced = rest.starts_with('{');
        if (!braced) {
            if (w == "c" || w == "comment" || w == "end") {
                dropRest_ = true;
                return;
            }
            if (w == "bye") {
                ended_ = true;
                return;
            }
            if (listed(kTexinfoSkipped, w)) {
                mode_ = Mode::kSkip;
                skipEnd_ = std::string(w);
                skipNested_ = 0;
                return;
            }
            if (listed(kTexinfoTextLines, w)) {
                Break();
                TexinfoInline(rest);
                Break();
                return;
            }
            // Any other line command (@node, @set, @cindex, @deffn, the
            // start of a list or table ...): the line is not text.
            dropRest_ = true;
            return;
        }
    }
    TexinfoInline(line);
    if (ended && !dropRest_) Space();
}

void TexStripper::TexinfoInline(std::string_view s) {
    size_t i = 0;
    while (i < s.size()) {
        const char c = s[i];
        if (c == '@') {
            i = TexinfoCommand(s, i + 1);
            continue;
        }
        if (c == '{') {
            Open({});
        } else if (c == '}') {
            Close();
        } else if (c == ',' && !frames_.empty() && !frames_.back().commas.empty() && deeper_ == 0) {
            // The next argument of a command split by commas.
            Frame &f = frames_.back();
            ++f.index;
            const bool parentDrop = frames_.size() > 1 && frames_[frames_.size() - 2].drop;
            f.drop = parentDrop || f.index >= f.commas.size() || f.commas[f.index] == 'd';
            Space();
        } else if (c == '`' && s.substr(i).starts_with("``")) {
            Put("“");
            ++i;
        } else if (c == '\'' && s.substr(i).starts_with("''")) {
            Put("”");
            ++i;
        } else if (c == '-' && s.substr(i).starts_with("---")) {
            Put("—");
            i += 2;
        } else if (c == '-' && s.substr(i).starts_with("--")) {
            Put("–");
            ++i;
        } else if (is_blank(c)) {
            Space();
        } else {
            Put(s.substr(i, 1));
        }
        ++i;
    }
}

// After an '@' at `i`: the command read, its argument opened.
size_t TexStripper::TexinfoCommand(std::string_view s, size_t i) {
    if (i >= s.size()) return i;
    const char c = s[i];
    if (!is_letter(c)) {
        ++i;
        if (const char32_t mark = accent_mark(std::string_view(&c, 1))) {
            if (const char32_t base = accent_base(s, i, '@')) PutChar(composed(base, mark));
            return i;
        }
        switch (c) {
            case '@':
            case '{':
            case '}':
            case '.':
            case '!':
            case '?':
                Put(std::string_view(&s[i - 1], 1));
                return i;
            case '*':
                Break();
                return i;
            case ' ':
            case '\t':
                Space();
                return i;
            default:
                return i;  // "@:", "@-", "@/", "@|", "@&"
        }
    }
    const std::string_view name = word_at(s, i);
    i += name.size();
    if (name == "c" || name == "comment") {
        dropRest_ = true;
        return s.size();
    }
    // Texinfo's accents named by words (`@b`, `@r` and `@d` are fonts and
    // `@c` a comment there).
    if (const char32_t mark =
            name.size() > 1 || name == "H" || name == "v" || name == "u" ? accent_mark(name) : 0) {
        if (const char32_t base = accent_base(s, i, '@')) {
            PutChar(composed(base, mark));
            return i;
        }
    }
    if (name == "verb" && i < s.size() && s[i] == '{') {
        // "@verb{|text|}": the delimiter after the brace ends it.
        if (i + 1 >= s.size()) return s.size();
        const std::string end = std::string(1, s[i + 1]) + "}";
        const size_t close = s.find(end, i + 2);
        return close == std::string_view::npos ? s.size() : close + 2;
    }
    if (name == "U" && i < s.size() && s[i] == '{') {
        const size_t close = s.find('}', i);
        if (close != std::string_view::npos && close - i <= 7) {
            char32_t cp = 0;
            bool ok = close > i + 1;
            for (size_t k = i + 1; k < close && ok; ++k) {
                const char d = s[k];
                const int v = d >= '0' && d <= '9'   ? d - '0'
                              : d >= 'A' && d <= 'F' ? d - 'A' + 10
                              : d >= 'a' && d <= 'f' ? d - 'a' + 10
                                                     : -1;
                ok = v >= 0;
                cp = cp * 16 + static_cast<char32_t>(std::max(v, 0));
            }
            if (ok && cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF) && cp >= 0x20) PutChar(cp);
            return close + 1;
        }
    }
    const bool braced = i < s.size() && s[i] == '{';
    if (const Named *letter = find(kLetters, name)) {
        Put(letter->text);
    } else if (name == "tab" || name == "item" || name == "itemx" || name == "headitem") {
        Space();
    }
    if (!braced) return i;
    Frame frame;
    if (find(kLetters, name) || listed(kTexinfoDropped, name)) {
        frame.drop = true;
    } else if (const Command *command = find(kTexinfoCommas, name)) {
        frame.commas = command->args;
        frame.drop = command->args[0] == 'd';
    }
    Open(frame);
    return i + 1;
}

}  // namespace dxf
