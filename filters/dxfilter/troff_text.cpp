// troff_text.cpp - the words of troff source inside a compressed document.
#include "filters/dxfilter/troff_text.h"

#include <algorithm>
#include <array>

#include "filters/dxfilter/line_feed.h"
#include "filters/dxfilter/utf8.h"

namespace dxf {
namespace {

// Special characters, by their troff name, that stand for a letter or a
// sign worth keeping; any other name is dropped.
struct Special {
    std::string_view name;
    char32_t cp;
};
constexpr auto kSpecials = std::to_array<Special>({
    {"em", 0x2014}, {"en", 0x2013}, {"hy", '-'},    {"aq", '\''},   {"dq", '"'},    {"lq", 0x201C},
    {"rq", 0x201D}, {"oq", 0x2018}, {"cq", 0x2019}, {"Bq", 0x201E}, {"bq", 0x201A}, {"Fo", 0x00AB},
    {"Fc", 0x00BB}, {"fo", 0x2039}, {"fc", 0x203A}, {"bu", 0x2022}, {"co", 0x00A9}, {"rg", 0x00AE},
    {"tm", 0x2122}, {"dg", 0x2020}, {"dd", 0x2021}, {"de", 0x00B0}, {"ti", '~'},    {"ha", '^'},
    {"sl", '/'},    {"rs", '\\'},   {"ba", '|'},    {"or", '|'},    {"at", '@'},    {"sh", '#'},
    {"Do", '$'},    {"mu", 0x00D7}, {"di", 0x00F7}, {"+-", 0x00B1}, {"<=", 0x2264}, {">=", 0x2265},
    {"!=", 0x2260}, {"->", 0x2192}, {"<-", 0x2190}, {"ua", 0x2191}, {"da", 0x2193}, {"ps", 0x00B6},
    {"sc", 0x00A7}, {"pc", 0x00B7}, {"fm", 0x2032}, {"sd", 0x2033}, {"aa", 0x00B4}, {"ga", '`'},
    {"12", 0x00BD}, {"14", 0x00BC}, {"34", 0x00BE}, {"ct", 0x00A2}, {"Po", 0x00A3}, {"Ye", 0x00A5},
    {"Eu", 0x20AC}, {"eu", 0x20AC}, {"mc", 0x00B5}, {"r!", 0x00A1}, {"r?", 0x00BF}, {"ss", 0x00DF},
    {":a", 0x00E4}, {":e", 0x00EB}, {":i", 0x00EF}, {":o", 0x00F6}, {":u", 0x00FC}, {":y", 0x00FF},
    {":A", 0x00C4}, {":E", 0x00CB}, {":I", 0x00CF}, {":O", 0x00D6}, {":U", 0x00DC}, {"'a", 0x00E1},
    {"'e", 0x00E9}, {"'i", 0x00ED}, {"'o", 0x00F3}, {"'u", 0x00FA}, {"'y", 0x00FD}, {"'A", 0x00C1},
    {"'E", 0x00C9}, {"'I", 0x00CD}, {"'O", 0x00D3}, {"'U", 0x00DA}, {"'Y", 0x00DD}, {"`a", 0x00E0},
    {"`e", 0x00E8}, {"`i", 0x00EC}, {"`o", 0x00F2}, {"`u", 0x00F9}, {"`A", 0x00C0}, {"`E", 0x00C8},
    {"`I", 0x00CC}, {"`O", 0x00D2}, {"`U", 0x00D9}, {"^a", 0x00E2}, {"^e", 0x00EA}, {"^i", 0x00EE},
    {"^o", 0x00F4}, {"^u", 0x00FB}, {"^A", 0x00C2}, {"^E", 0x00CA}, {"^I", 0x00CE}, {"^O", 0x00D4},
    {"^U", 0x00DB}, {"~a", 0x00E3}, {"~n", 0x00F1}, {"~o", 0x00F5}, {"~A", 0x00C3}, {"~N", 0x00D1},
    {"~O", 0x00D5}, {",c", 0x00E7}, {",C", 0x00C7}, {"oa", 0x00E5}, {"oA", 0x00C5}, {"/o", 0x00F8},
    {"/O", 0x00D8}, {"ae", 0x00E6}, {"AE", 0x00C6}, {"oe", 0x0153}, {"OE", 0x0152}, {"vs", 0x0161},
    {"vS", 0x0160}, {"vz", 0x017E}, {"vZ", 0x017D}, {"/l", 0x0142}, {"/L", 0x0141}, {"Sd", 0x00F0},
    {"-D", 0x00D0}, {"TP", 0x00DE}, {"Tp", 0x00FE}, {".i", 0x0131}, {"a-", 0x00AF}, {"ho", 0x02DB},
    {"ad", 0x00A8}, {"lB", '['},    {"rB", ']'},    {"lC", '{'},    {"rC", '}'},    {"la", 0x27E8},
    {"ra", 0x27E9}, {"ff", 0xFB00}, {"fi", 0xFB01}, {"fl", 0xFB02}, {"Fi", 0xFB03},
});

// Requests and macros whose arguments are text, and how they are joined.
enum class Args {
    kWords,      // with spaces between them
    kAlternate,  // ".BR" and its kind: fonts alternate, no space between
    kFirst,      // ".IP": the tag; the indent after it is not text
    kMdoc,       // mdoc: words, callable macro names among them dropped
};
struct TextMacro {
    std::string_view name;
    Args args;
};
constexpr auto kManMacros = std::to_array<TextMacro>({
    {"SH", Args::kWords},
    {"SS", Args::kWords},
    {"B", Args::kWords},
    {"I", Args::kWords},
    {"SM", Args::kWords},
    {"SB", Args::kWords},
    {"SY", Args::kWords},
    {"OP", Args::kWords},
    {"BR", Args::kAlternate},
    {"BI", Args::kAlternate},
    {"IR", Args::kAlternate},
    {"RB", Args::kAlternate},
    {"IB", Args::kAlternate},
    {"RI", Args::kAlternate},
    {"IP", Args::kFirst},
    {"Sh", Args::kWords},  // also what pod2man pages call a subsection
});
// mdoc macros that carry words; as arguments of another mdoc macro these
// names are calls, not words.
constexpr auto kMdocMacros = std::to_array<std::string_view>({
    "Nm", "Nd", "Ss", "Fl", "Ar", "Op", "Oo", "Oc", "It", "Xr", "Em", "Sy", "Ql", "Dq",
    "Do", "Dc", "Pq", "Po", "Pc", "Qq", "Qo", "Qc", "Sq", "So", "Sc", "Aq", "Ao", "Ac",
    "Bq", "Bo", "Bc", "Li", "Cm", "Pa", "Ev", "Va", "Fn", "Fa", "Ft", "Fo", "Fc", "Ic",
    "Dl", "D1", "No", "Ns", "Xo", "Xc", "Ad", "Ap", "Cd", "Dv", "Er", "In", "Lk", "Mt",
    "Ms", "Sx", "Tn", "Ux", "At", "Bx", "Nx", "Fx", "Ox", "St", "An", "Vt", "Pf", "Ta",
});
// Requests that start a definition read up to "..".
constexpr auto kDefinitions =
    std::to_array<std::string_view>({"de", "de1", "dei", "am", "am1", "ami", "ig"});

constexpr size_t kMaxName = 64;  // longest name in brackets read

bool is_space(char c) {
    return c == ' ' || c == '\t';
}

// A name after an escape: one character, "(xx" or "[name]". `i` is at the
// name and moves past it.
std::string_view name_at(std::string_view s, size_t &i) {
    if (i >= s.size()) return {};
    if (s[i] == '(') {
        const size_t start = i + 1;
        i = std::min(s.size(), i + 3);
        return s.substr(start, i - start);
    }
    if (s[i] == '[') {
        const size_t start = i + 1;
        const size_t end = s.find(']', start);
        if (end == std::string_view::npos || end - start > kMaxName) {
            i = s.size();  // unterminated: the rest is not text
            return {};
        }
        i = end + 1;
        return s.substr(start, end - start);
    }
    return s.substr(i++, 1);
}

// A delimited argument, "'...'": `i` at the delimiter moves past the end.
std::string_view delimited_at(std::string_view s, size_t &i) {
    if (i >= s.size()) return {};
    const char delimiter = s[i];
    const size_t start = i + 1;
    size_t end = s.find(delimiter, start);
    if (end == std::string_view::npos) end = s.size();
    i = std::min(s.size(), end + 1);
    return s.substr(start, end - start);
}

// The character of a special character name: a table entry or "uXXXX".
char32_t special(std::string_view name) {
    for (const Special &s : kSpecials)
        if (s.name == name) return s.cp;
    if (name.size() >= 5 && name[0] == 'u') {
        char32_t cp = 0;
        size_t k = 1;
        for (; k < name.size() && k <= 6 && name[k] != '_'; ++k) {
            const char d = name[k];
            const int v = d >= '0' && d <= '9'   ? d - '0'
                          : d >= 'A' && d <= 'F' ? d - 'A' + 10
                          : d >= 'a' && d <= 'f' ? d - 'a' + 10
                                                 : -1;
            if (v < 0) return 0;
            cp = cp * 16 + static_cast<char32_t>(v);
        }
        // "u" and 4 to 6 digits; a composite ("u0065_0301") gives its base.
        if (k < 5 || (k < name.size() && name[k] != '_') || cp > 0x10FFFF ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return 0;
        return cp;
    }
    return 0;
}

void put_special(std::string_view name, std::string &out) {
    if (const char32_t cp = special(name)) append_utf8(out, cp);
}

// The size after "\s": a sign, then "(NN", "[N]", "'N'" or one digit (two
// when the first is 1, 2 or 3 and a digit follows, as old pages write it).
void skip_size(std::string_view s, size_t &i) {
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    if (i >= s.size()) return;
    if (s[i] == '(' || s[i] == '[') {
        name_at(s, i);
    } else if (s[i] == '\'') {
        delimited_at(s, i);
    } else if (s[i] >= '0' && s[i] <= '9') {
        const char first = s[i++];
        if (first >= '1' && first <= '3' && i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
    }
}

// One argument list of a request: words split at blanks, "quoted words"
// with "" inside for a quote; a comment ends the list.
template <typename Fn>
void each_arg(std::string_view s, Fn &&fn) {
    size_t i = 0;
    std::string arg;
    while (i < s.size()) {
        while (i < s.size() && is_space(s[i])) ++i;
        if (i >= s.size()) break;
        arg.clear();
        const bool quoted = s[i] == '"';
        if (quoted) ++i;
        bool comment = false;
        while (i < s.size()) {
            const char c = s[i];
            if (c == '\\' && i + 1 < s.size()) {
                if (s[i + 1] == '"' || s[i + 1] == '#') {
                    comment = true;
                    break;
                }
                arg += c;
                arg += s[i + 1];
                i += 2;
                continue;
            }
            if (quoted && c == '"') {
                if (i + 1 < s.size() && s[i + 1] == '"') {
                    arg += '"';
                    i += 2;
                    continue;
                }
                ++i;
                break;
            }
            if (!quoted && is_space(c)) break;
            arg += c;
            ++i;
        }
        if (!arg.empty() || quoted) fn(std::string_view(arg));
        if (comment) break;
    }
}

template <size_t N>
bool listed(const std::array<std::string_view, N> &names, std::string_view name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

bool only_rule(std::string_view line) {
    return !line.empty() && line.find_first_not_of("_=| \t") == std::string_view::npos;
}

}  // namespace

TroffEnd TroffEscapes(std::string_view s, std::string &out) {
    for (size_t i = 0; i < s.size();) {
        const char c = s[i++];
        if (c != '\\') {
            out += c == '\t' ? ' ' : c;
            continue;
        }
        if (i >= s.size()) return TroffEnd::kJoin;
        const char e = s[i++];
        switch (e) {
            case '"':
            case '#':
            case '!':
                return TroffEnd::kComment;  // or transparent output: not text
            case '(':
            case '[':
                --i;
                put_special(name_at(s, i), out);
                break;
            case 'C':
                put_special(delimited_at(s, i), out);
                break;
            case 'f':
            case 'F':
            case 'g':
            case 'k':
            case 'm':
            case 'M':
            case 'V':
            case 'Y':
            case '*':
            case '$':
                name_at(s, i);
                break;
            case 'n':
                if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
                name_at(s, i);
                break;
            case 's':
                skip_size(s, i);
                break;
            case 'A':
            case 'b':
            case 'B':
            case 'D':
            case 'h':
            case 'H':
            case 'l':
            case 'L':
            case 'N':
            case 'o':
            case 'R':
            case 'S':
            case 'v':
            case 'w':
            case 'x':
            case 'X':
            case 'Z':
                delimited_at(s, i);
                break;
            case '0':
            case '~':
            case ' ':
            case 't':
                out += ' ';
                break;
            case 'e':
            case 'E':
            case '\\':
                out += '\\';
                break;
            case '&':
            case 'c':
            case '%':
            case ':':
            case '|':
            case '^':
            case ')':
            case '/':
            case ',':
            case 'a':
            case 'd':
            case 'u':
            case 'r':
            case 'p':
            case 'z':
            case '{':
            case '}':
            case '\r':
                break;
            default:
                out += e;  // "\-", "\.", "\'" and any other: the character
        }
    }
    return TroffEnd::kEnd;
}

bool LooksLikeTroff(std::string_view head) {
    if (head.starts_with("\xEF\xBB\xBF")) head.remove_prefix(3);
    constexpr std::array<std::string_view, 3> kComments = {".\\\"", "'\\\"", ".\\#"};
    constexpr std::array<std::string_view, 8> kStarts = {".TH", ".Dd", ".Dt", ".SH",
                                                         ".so", ".de", ".ig", ".Sh"};
    size_t lines = 0, control = 0;
    while (!head.empty() && lines < 40) {
        size_t end = head.find('\n');
        if (end == std::string_view::npos) end = head.size();
        std::string_view line = head.substr(0, end);
        head.remove_prefix(std::min(head.size(), end + 1));
        while (!line.empty() && (line.back() == '\r' || is_space(line.back())))
            line.remove_suffix(1);
        if (line.empty()) continue;
        if (lines++ == 0) {
            for (std::string_view c : kComments)
                if (line.starts_with(c)) return true;
            for (std::string_view r : kStarts)
                if (line.starts_with(r) && (line.size() == r.size() || is_space(line[r.size()])))
                    return true;
        }
        const char c1 = line.size() > 1 ? line[1] : 0;
        if ((line[0] == '.' || line[0] == '\'') &&
            ((c1 >= 'a' && c1 <= 'z') || (c1 >= 'A' && c1 <= 'Z') || c1 == '\\'))
            ++control;
    }
    return control >= 4 && control * 2 > lines;
}

bool TroffStripper::Feed(std::string_view utf8, bool last, DXMSink *sink) {
    const auto line = [this](bool ended) { Line(ended); };
    if (!FeedLines(utf8, kMaxLine, line_, line, out_, full_, sink)) return false;
    if (last && (!line_.empty() || piece_)) Line(true);
    return Flush(sink);
}

bool TroffStripper::Flush(DXMSink *sink) {
    return HandOn(out_, full_, sink);
}

void TroffStripper::Line(bool ended) {
    std::string_view line = line_;
    if (ended && line.ends_with('\r')) line.remove_suffix(1);
    const bool control = !line.empty() && (line[0] == '.' || line[0] == '\'');
    if (piece_ || joined_ || (!control && block_ == Block::kNone)) {
        // Text; the rest of a line too long to hold is text unless what
        // began it was not.
        if (!dropRest_) {
            const TroffEnd end = TroffEscapes(line, out_);
            joined_ = end == TroffEnd::kJoin;
            dropRest_ = end == TroffEnd::kComment;
            // A comment ends the text of the line even when the rest of it
            // comes later.
            if ((ended || dropRest_) && !joined_) out_ += '\n';
        } else {
            joined_ = false;
        }
    } else if (block_ == Block::kMacro) {
        joined_ = false;
        std::string_view t = line.substr(control ? 1 : 0);
        while (!t.empty() && is_space(t.front())) t.remove_prefix(1);
        if (control && t.starts_with('.')) block_ = Block::kNone;
        dropRest_ = true;
    } else if (control) {
        Request(line.substr(1));
        dropRest_ = true;
    } else if (block_ == Block::kTableFormat) {
        // Options end in ';', the column formats in '.'; "tab(x)" names the
        // character between cells.
        if (const size_t at = line.find("tab(");
            at != std::string_view::npos && at + 5 < line.size() && line[at + 5] == ')')
            tab_ = line[at + 4];
        std::string_view t = line;
        while (!t.empty() && is_space(t.back())) t.remove_suffix(1);
        if (t.ends_with('.')) block_ = Block::kTable;
        dropRest_ = true;
    } else {
        TableRow(line);
        dropRest_ = true;
    }
    piece_ = !ended;
    if (ended) dropRest_ = false;
    line_.clear();
}

void TroffStripper::TableRow(std::string_view line) {
    if (only_rule(line)) return;
    // "T{" and "T}" wrap a cell of text lines.
    std::string cells(line);
    std::replace(cells.begin(), cells.end(), tab_, '\t');
    for (std::string_view mark : {"T{", "T}"}) {
        for (size_t at; (at = cells.find(mark)) != std::string::npos;) cells.replace(at, 2, " ");
    }
    TroffEscapes(cells, out_);
    out_ += '\n';
}

void TroffStripper::Request(std::string_view rest) {
    while (!rest.empty() && is_space(rest.front())) rest.remove_prefix(1);
    size_t n = 0;
    while (n < rest.size() && !is_space(rest[n]) && rest[n] != '\\') ++n;
    const std::string_view name = rest.substr(0, n);
    if (name.empty()) return;  // an empty request, a comment or ".\}"
    const std::string_view args = rest.substr(n);
    if (listed(kDefinitions, name)) {
        block_ = Block::kMacro;
        return;
    }
    if (name == "TS" || name == "T&") {
        if (name == "TS") tab_ = '\t';
        block_ = Block::kTableFormat;
        return;
    }
    if (name == "TE") {
        block_ = Block::kNone;
        return;
    }
    Args kind;
    if (auto it = std::find_if(kManMacros.begin(), kManMacros.end(),
                               [&](const TextMacro &m) { return m.name == name; });
        it != kManMacros.end()) {
        kind = it->args;
    } else if (listed(kMdocMacros, name)) {
        kind = Args::kMdoc;
    } else {
        return;  // layout, registers, strings, conditions: no text
    }
    std::string text;
    size_t count = 0;
    each_arg(args, [&](std::string_view arg) {
        if (kind == Args::kFirst && count > 0) return;
        if (kind == Args::kMdoc && listed(kMdocMacros, arg)) return;
        if (count++ > 0 && kind != Args::kAlternate) text += ' ';
        TroffEscapes(arg, text);
    });
    if (!text.empty()) {
        out_ += text;
        out_ += '\n';
    }
}

}  // namespace dxf
