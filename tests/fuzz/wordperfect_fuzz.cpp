// wordperfect_fuzz.cpp - fuzz target: dxfilter_wp.so's reading of a
// WordPerfect document (libwpd behind our stream and text interface), text
// read to its end. An input that does not start with WordPerfect's signature
// gets the prefix and index block of a 5.1 document, so that mutations reach
// the document area as well as the prefix.
#include <cstring>
#include <string>

#include "doctype/dx_abi.h"
#include "tests/fuzz/dxfilter_fuzz.h"

extern "C" const DXModule *DXM_GetModule(void);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string doc;
    if (size < 4 || std::memcmp(data, "\xFFWPC", 4) != 0) {
        doc.assign("\xFFWPC\x42\0\0\0\x01\x0A\0\0\0\0\0\0", 16);
        doc.append("\xFB\xFF\x05\0\x32\0", 6);
        doc.append(44, '\0');
    }
    doc.append(reinterpret_cast<const char *>(data), size);
    dxfuzz::ExtractWithModule(DXM_GetModule(), reinterpret_cast<const uint8_t *>(doc.data()),
                              doc.size(), DX_FMT_WORDPERFECT);
    return 0;
}
