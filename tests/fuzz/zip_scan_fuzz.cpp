// zip_scan_fuzz.cpp - fuzz target: the office package type of a zip archive
// (or a FictionBook archive) from the names in its central directory, and an
// XPS package from its stored root relationships or its layout, an iWork
// package from its entry names.
#include <cstdlib>
#include <cstring>

#include "doctype/dx_abi.h"
#include "filters/dxfilter/zip_scan.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const int format =
        dxf::ZipFormatFromDirectory(size, [&](uint64_t at, void *buffer, size_t count) {
            if (at > size || count > size - at) return false;
            if (count > 0) std::memcpy(buffer, data + at, count);
            return true;
        });
    switch (format) {
        case DX_FMT_UNKNOWN:
        case DX_FMT_ZIP:
        case DX_FMT_DOCX:
        case DX_FMT_XLSX:
        case DX_FMT_PPTX:
        case DX_FMT_XPS:
        case DX_FMT_IWORK:
        case DX_FMT_FICTIONBOOK:  // a FictionBook document as the archive's one member
            return 0;
        default:
            std::abort();  // no other answer is allowed
    }
}
