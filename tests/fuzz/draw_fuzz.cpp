// draw_fuzz.cpp - fuzz target: dxfilter_draw.so's reading of QuarkXPress
// documents (libqxp) and Zoner Draw drawings (libzmf) behind librevenge's
// string stream and the page interface, text read to its end. The input is
// the file as it is, opened as each of the two formats in turn: the
// library's own check decides whether it is read.
#include "doctype/dx_abi.h"
#include "tests/fuzz/dxfilter_fuzz.h"

extern "C" const DXModule *DXM_GetModule(void);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    for (int format : {DX_FMT_QUARKXPRESS, DX_FMT_ZONER})
        dxfuzz::ExtractWithModule(DXM_GetModule(), data, size, format);
    return 0;
}
