// ole_scan_fuzz.cpp - fuzz target: the kind of a compound document from the
// root entries of its directory, given the head the plug-in sniffs.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "doctype/dx_abi.h"
#include "filters/dxfilter/ole_scan.h"
#include "filters/dxfilter/sniff.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::span<const unsigned char> head(data, std::min(size, dxf::kSniffBytes));
    const int format =
        dxf::OleFormatFromDirectory(head, [&](uint64_t at, void *buffer, size_t count) {
            if (at > size || count > size - at) return false;
            if (count > 0) std::memcpy(buffer, data + at, count);
            return true;
        });
    switch (format) {
        case DX_FMT_UNKNOWN:
        case DX_FMT_OLE:
        case DX_FMT_DOC:
        case DX_FMT_XLS:
        case DX_FMT_PPT:
        case DX_FMT_MAIL:        // an Outlook message's property table at the root
        case DX_FMT_WORKS:       // a Works document's MN0 or CONTENTS stream at the root
        case DX_FMT_VISIO:       // a Visio drawing's VisioDocument stream at the root
        case DX_FMT_HWP:         // a Hangul document's FileHeader and DocInfo streams
        case DX_FMT_PUBLISHER:   // a Publisher document's Contents stream
        case DX_FMT_STARWRITER:  // a StarOffice 3 to 5 document's stream at the root
        case DX_FMT_STARCALC:
        case DX_FMT_STARDRAW:
            return 0;
        default:
            std::abort();  // no other answer is allowed
    }
}
