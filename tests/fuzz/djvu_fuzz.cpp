// djvu_fuzz.cpp - fuzz target: dxfilter_djvu.so's reading of a DjVu
// document (DjVuLibre behind our stream, message loop and page text
// walk), text read to its end. An input that does not start with the DjVu
// container's "AT&TFORM" gets the header of a single page around it, so
// that mutations reach the chunks as well as the header.
#include <cstring>
#include <string>

#include "doctype/dx_abi.h"
#include "tests/fuzz/dxfilter_fuzz.h"

extern "C" const DXModule *DXM_GetModule(void);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string doc;
    if (size < 8 || std::memcmp(data, "AT&TFORM", 8) != 0) {
        const size_t length = size + 4;
        doc.assign("AT&TFORM", 8);
        for (int shift = 24; shift >= 0; shift -= 8)
            doc += static_cast<char>((length >> shift) & 0xFF);
        doc.append("DJVU", 4);
    }
    doc.append(reinterpret_cast<const char *>(data), size);
    dxfuzz::ExtractWithModule(DXM_GetModule(), reinterpret_cast<const uint8_t *>(doc.data()),
                              doc.size(), DX_FMT_DJVU);
    return 0;
}
