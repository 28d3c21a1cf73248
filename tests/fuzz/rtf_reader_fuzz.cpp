// rtf_reader_fuzz.cpp - fuzz target: the text of an RTF document, read to
// its end as the plug-in reads it; the same bytes as an RTF body of a mail
// message taken to its lines or to the HTML it encapsulates.
#include <string_view>

#include "filters/dxfilter/rtf_reader.h"
#include "tests/fuzz/dxfilter_fuzz.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    dxfuzz::MemoryStream doc(data, size);
    dxfuzz::Drain(dxf::NewRtfExtractor(doc.stream(), INT64_MAX));

    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    dxf::RtfBodySource(bytes);
    constexpr size_t kCap = 4096;
    for (const dxf::RtfSource as : {dxf::RtfSource::kText, dxf::RtfSource::kHtml})
        if (const auto text = dxf::RtfToUtf8(bytes, as, kCap, INT64_MAX))
            FUZZ_CHECK(text->size() <= kCap);
    return 0;
}
