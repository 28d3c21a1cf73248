// works_fuzz.cpp - fuzz target: dxfilter_works.so's reading of Lotus 1-2-3,
// Quattro Pro and Microsoft Works, Write and Word for DOS files (libwps
// behind librevenge's string stream and the module's timed text generators),
// text read to its end. A compound file, and an input that opens with the
// version byte (below 6) and 0xFE of a Works document's header (Works for
// DOS), are read as a Works document, an input that opens with the
// identification word of Write and Word for DOS (0xBE31, 0xBE32) as one of
// theirs, an input that opens with `{\pwi` as a Pocket Word document and an
// input that opens with a worksheet's first record as a sheet;
// any other input follows the first records of a Lotus 1-2-3 release 2
// worksheet, so that mutations reach the cell records.
#include <cstring>
#include <string>

#include "doctype/dx_abi.h"
#include "tests/fuzz/dxfilter_fuzz.h"

extern "C" const DXModule *DXM_GetModule(void);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const bool document =
        (size >= 8 && std::memcmp(data, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) == 0) ||
        (size >= 2 && data[0] < 6 && data[1] == 0xFE);
    const bool write = size >= 2 && (data[0] == 0x31 || data[0] == 0x32) && data[1] == 0xBE;
    const bool pocket = size >= 5 && std::memcmp(data, "{\\pwi", 5) == 0;
    std::string doc;
    if (!document && !write && !pocket && (size < 4 || std::memcmp(data + 1, "\0\x02\0", 3) != 0)) {
        // The first record (version 0x0406), the active range, the
        // calculation mode and order.
        doc.assign("\0\0\x02\0\x06\x04", 6);
        doc.append("\x06\0\x08\0\0\0\0\0\x01\0\x01\0", 12);
        doc.append("\x02\0\x01\0\xFF\x03\0\x01\0\0", 10);
    }
    doc.append(reinterpret_cast<const char *>(data), size);
    const int format = document ? DX_FMT_WORKS
                       : write  ? DX_FMT_MSWRITE
                       : pocket ? DX_FMT_POCKETWORD
                                : DX_FMT_WORKS_SHEET;
    dxfuzz::ExtractWithModule(DXM_GetModule(), reinterpret_cast<const uint8_t *>(doc.data()),
                              doc.size(), format);
    return 0;
}
