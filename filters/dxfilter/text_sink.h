// text_sink.h - builds the UTF-16 text that the read-text operation hands out.
//
// Whitespace runs fold to one space, paragraph ends become line feeds, and
// long lines are wrapped at word boundaries (or forced after kHardWrap units
// in scripts without spaces). The engine recognises filtered UTF-16 only by
// its line breaks (more than one per hundred characters), so every text this
// sink produces carries at least one line feed per kHardWrap characters.
#ifndef GLOTTA_FILTERS_DXFILTER_TEXT_SINK_H
#define GLOTTA_FILTERS_DXFILTER_TEXT_SINK_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "filters/dxfilter/dx_module.h"

namespace dxf {

class TextSink {
  public:
    static constexpr size_t kSoftWrap = 72;  // wrap at the next space after this many units
    static constexpr size_t kHardWrap = 96;  // break a line without spaces here

    // `capUnits`: UTF-16 units the document may produce in all; later text is dropped.
    explicit TextSink(size_t capUnits) : cap_(capUnits) {}

    // Adds one code point; answers false once the sink is full.
    bool AddCodePoint(char32_t cp);
    // Adds UTF-8 text; invalid sequences are dropped. False once full.
    bool AddUtf8(std::string_view utf8);
    // Ends a paragraph, line, cell or slide (no empty lines are produced).
    void Break();
    // Ends the last line; call once when the document has no more text.
    void Finish();

    bool full() const { return produced_ >= cap_; }
    size_t pending_units() const { return pending_.size(); }
    // Moves up to `maxUnits` pending units (never splitting a surrogate pair)
    // into `out`, replacing its contents.
    void Take(size_t maxUnits, std::u16string &out);

    // The C view handed to extraction modules.
    DXMSink c_sink();

  private:
    void Emit(char16_t unit);
    void EmitLineFeed();

    std::u16string pending_;
    size_t cap_;
    size_t produced_ = 0;  // units ever emitted, taken or not
    size_t line_ = 0;      // units on the current line
    bool space_ = false;   // a space is owed before the next visible character
    char32_t high_ = 0;    // utf-8 decoder state: code point so far
    int need_ = 0;         // utf-8 decoder state: continuation bytes still expected
    char32_t min_ = 0;     // utf-8 decoder state: smallest valid value (rejects overlongs)
};

}  // namespace dxf

#endif
