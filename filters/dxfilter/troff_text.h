// troff_text.h - the words of a troff document (manual pages, man and mdoc
// macros) found inside a compressed document: comments, requests and layout
// dropped, the arguments of text macros kept, escapes resolved.
#ifndef GLOTTA_FILTERS_DXFILTER_TROFF_TEXT_H
#define GLOTTA_FILTERS_DXFILTER_TROFF_TEXT_H

#include <cstddef>
#include <string>
#include <string_view>

#include "filters/dxfilter/dx_module.h"

namespace dxf {

// Whether the first decompressed bytes are troff source: the first line that
// is not empty is a comment or one of the requests manual pages start with,
// or most of the first lines are control lines. Plain text with a stray line
// that starts with '.' stays plain text.
bool LooksLikeTroff(std::string_view head);

// Turns UTF-8 troff source into its text a line at a time. Lines longer than
// kMaxLine are read in pieces of that size as text, so memory stays bounded
// and the text does not depend on how the source is cut into pieces.
class TroffStripper {
  public:
    static constexpr size_t kMaxLine = 4096;

    // Feeds UTF-8 source into `sink`; `last`: nothing follows (a last line
    // without its line feed is read then). False once the sink is full.
    bool Feed(std::string_view utf8, bool last, DXMSink *sink);

  private:
    enum class Block {
        kNone,
        kMacro,        // ".de" ... "..": a definition, not text
        kTableFormat,  // after ".TS": options and column formats up to a '.'
        kTable,        // table rows, up to ".TE"
    };
    void Line(bool ended);
    void Request(std::string_view line);
    void TableRow(std::string_view line);
    bool Flush(DXMSink *sink);

    std::string line_;       // the line being read (at most kMaxLine bytes)
    bool piece_ = false;     // line_ continues a line cut at kMaxLine
    bool dropRest_ = false;  // the rest of a cut line is not text
    bool joined_ = false;    // the line before ended in '\': this one is text
    Block block_ = Block::kNone;
    char tab_ = '\t';  // between the cells of a table
    std::string out_;  // text not yet handed to the sink
    bool full_ = false;
};

// How a text line ends: at its end, in a '\' that joins the next line, or
// in a comment that drops the rest.
enum class TroffEnd { kEnd, kJoin, kComment };

// The text of one troff text line or argument: escapes resolved (fonts,
// sizes, strings, registers and motions dropped, special characters that
// the table knows turned into their character), a comment dropped. Appends
// to `out`.
TroffEnd TroffEscapes(std::string_view text, std::string &out);

}  // namespace dxf

#endif
