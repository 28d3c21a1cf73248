// rtf_reader.h - text of an RTF document, read as a stream of tokens; the
// HTML or plain text an RTF body of a mail message encapsulates.
#ifndef GLOTTA_FILTERS_DXFILTER_RTF_READER_H
#define GLOTTA_FILTERS_DXFILTER_RTF_READER_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "filters/dxfilter/extractor.h"

namespace dxf {

// Reads the document from the current position of `stream` (its start).
// Never null; a stream that is not RTF simply yields no text.
std::unique_ptr<Extractor> NewRtfExtractor(DXStream *stream, int64_t deadlineNs);

// What a mail program made an RTF body from, as the control words before
// its first group say: `\fromhtml1` (HTML kept in `{\*\htmltag}` groups,
// with `\htmlrtf` runs that only RTF shows), `\fromtext` (plain text), else
// RTF of its own.
enum class RtfSource { kRtf, kText, kHtml };
RtfSource RtfBodySource(std::string_view rtf);

// The text of `rtf` as UTF-8 that keeps its lines (a paragraph or line end
// is "\n", a tab "\t", other white space as written); with kHtml instead the
// HTML it encapsulates: the content of its `{\*\htmltag}` groups and the
// text outside `\htmlrtf` runs, where "<" and "&" are written as character
// references. At most `maxBytes` (a multibyte character is not cut; `cut`,
// when given, tells whether text was left out for them). Null when the CPU
// deadline passes first or, with kHtml, the body holds no tag.
std::optional<std::string> RtfToUtf8(std::string_view rtf, RtfSource as, size_t maxBytes,
                                     int64_t deadlineNs, bool *cut = nullptr);

}  // namespace dxf

#endif
