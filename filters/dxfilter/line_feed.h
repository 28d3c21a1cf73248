// line_feed.h - source cut into lines for the strippers of line-based
// sources (troff, LaTeX, Texinfo), and their text handed on to the sink.
#ifndef GLOTTA_FILTERS_DXFILTER_LINE_FEED_H
#define GLOTTA_FILTERS_DXFILTER_LINE_FEED_H

#include <cstddef>
#include <string>
#include <string_view>

#include "filters/dxfilter/dx_module.h"

namespace dxf {

// Hands the text in `out` to `sink` unless the sink is `full` already (then
// the text is dropped); false once it is full.
inline bool HandOn(std::string &out, bool &full, DXMSink *sink) {
    if (!out.empty() && !full) full = sink->text(sink->self, out.data(), out.size()) != 0;
    out.clear();
    return !full;
}

// Gathers `utf8` into `line`: `onLine(true)` at each line feed,
// `onLine(false)` when `line` holds `maxLine` bytes (the rest of the line
// comes as further pieces); `onLine` empties `line`. Hands the text on once
// 4 KiB of it wait in `out`; false once the sink is full.
template <class OnLine>
bool FeedLines(std::string_view utf8, size_t maxLine, std::string &line, OnLine onLine,
               std::string &out, bool &full, DXMSink *sink) {
    for (char c : utf8) {
        if (c == '\n') {
            onLine(true);
        } else {
            line += c;
            if (line.size() >= maxLine) onLine(false);
        }
        if (out.size() >= 4096 && !HandOn(out, full, sink)) return false;
    }
    return true;
}

}  // namespace dxf

#endif
