// tex_text.h - the prose of LaTeX (and plain TeX) and Texinfo sources:
// comments, the preamble, math, code and the names and arguments of layout
// commands dropped; the arguments of text commands kept; accents, special
// letters and ligatures turned into their characters.
#ifndef GLOTTA_FILTERS_DXFILTER_TEX_TEXT_H
#define GLOTTA_FILTERS_DXFILTER_TEX_TEXT_H

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "filters/dxfilter/dx_module.h"
#include "filters/dxfilter/sniff.h"

namespace dxf {

// The charset to read a source with, from its head: UTF-8 when the head is
// valid UTF-8 (a sequence cut by its end counts as valid unless `whole`),
// else the one the source names (LaTeX: the option of
// `\usepackage[...]{inputenc}`, as an ICU name; Texinfo:
// `@documentencoding`), else windows-1252 (Latin-1 with the printable
// characters of its 0x80-0x9F row, as the filter reads other legacy text).
std::string TexCharset(std::string_view head, TexKind kind, bool whole);

// Turns UTF-8 LaTeX or Texinfo source into its prose a line at a time. Lines
// longer than kMaxLine are read in pieces of that size, so memory stays
// bounded and the text does not depend on how the source is cut into
// pieces; so is the depth of braces kept (kMaxDepth).
class TexStripper {
  public:
    static constexpr size_t kMaxLine = 4096;
    static constexpr size_t kMaxDepth = 256;

    explicit TexStripper(TexKind kind) : texinfo_(kind == TexKind::kTexinfo) {}

    // Feeds UTF-8 source into `sink`; `last`: nothing follows (a last line
    // without its line feed is read then). False once the sink is full.
    bool Feed(std::string_view utf8, bool last, DXMSink *sink);

  private:
    // A group in braces: whether its text is dropped, whether it is a
    // command's argument (its end reads the command's next one), whether
    // it is the title (kept in the preamble) or a heading, and for Texinfo commands
    // whose arguments are split by commas the pattern and the argument.
    struct Frame {
        bool drop = false;
        bool arg = false;
        bool title = false;
        bool heading = false;     // LaTeX: a heading, which ends a line
        std::string_view rest;    // LaTeX: the command's arguments after this one
        std::string_view commas;  // Texinfo: 'd' or 'k' per argument
        size_t index = 0;
    };
    enum class Mode {
        kText,
        kInlineMath,   // $ ... $
        kDisplayMath,  // $$ ... $$
        kParenMath,    // \( ... \)
        kBracketMath,  // \[ ... \]
        kSkip,         // an environment or block not read, up to its end
    };

    void Line(bool ended);
    void LatexLine(std::string_view line, bool ended);
    size_t LatexCommand(std::string_view s, size_t i);
    size_t LatexArgs(std::string_view s, size_t i);
    void Environment(std::string_view name, bool begin);
    size_t SkipMath(std::string_view s, size_t i);
    void TexinfoLine(std::string_view line, bool ended);
    void TexinfoInline(std::string_view s);
    size_t TexinfoCommand(std::string_view s, size_t i);

    bool Dropping() const;
    void Put(std::string_view text);
    void PutChar(char32_t cp);
    void Space();
    void Break();
    void Open(Frame frame);
    void Close();
    bool Flush(DXMSink *sink);

    bool texinfo_;
    std::string line_;       // the line being read (at most kMaxLine bytes)
    bool piece_ = false;     // line_ continues a line cut at kMaxLine
    bool dropRest_ = false;  // a comment, or a line that is no text, runs to the line's end
    Mode mode_ = Mode::kText;
    std::string skipEnd_;    // LaTeX: "\end{name}"; Texinfo: the block's name
    size_t skipNested_ = 0;  // Texinfo: blocks of the same name inside
    bool preamble_ = false;  // after \documentclass, before \begin{document}
    bool ended_ = false;     // after \end{document} or @bye
    std::vector<Frame> frames_;
    size_t deeper_ = 0;       // groups opened past kMaxDepth
    std::string_view args_;   // a LaTeX command's arguments still to read ('d', 'k', 't')
    bool reading_ = false;    // reading a command's arguments
    bool skipped_ = false;    // spaces skipped after a command
    bool glued_ = false;      // the command was a letter: no space after it
    bool option_ = false;     // inside an optional argument "[...]"
    size_t optionDepth_ = 0;  // braces open inside it
    std::string out_;         // text not yet handed to the sink
    char last_ = '\n';        // the last byte put out
    bool space_ = false;      // a space is due before the next text
    bool full_ = false;
};

}  // namespace dxf

#endif
