// rtf_reader.h - text of an RTF document, read as a stream of tokens.
#ifndef GLOTTA_FILTERS_DXFILTER_RTF_READER_H
#define GLOTTA_FILTERS_DXFILTER_RTF_READER_H

#include <memory>

#include "filters/dxfilter/extractor.h"

namespace dxf {

// Reads the document from the current position of `stream` (its start).
// Never null; a stream that is not RTF simply yields no text.
std::unique_ptr<Extractor> NewRtfExtractor(DXStream *stream, int64_t deadlineNs);

}  // namespace dxf

#endif
