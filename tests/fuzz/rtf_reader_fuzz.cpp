// rtf_reader_fuzz.cpp - fuzz target: the text of an RTF document, read to
// its end as the plug-in reads it.
#include "filters/dxfilter/rtf_reader.h"
#include "tests/fuzz/dxfilter_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    dxfuzz::MemoryStream doc(data, size);
    dxfuzz::Drain(dxf::NewRtfExtractor(doc.stream(), INT64_MAX));
    return 0;
}
