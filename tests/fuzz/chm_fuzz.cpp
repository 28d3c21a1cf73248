// chm_fuzz.cpp - fuzz target: dxfilter_chm.so's reading of a compiled HTML
// Help file (the directory walk and its checks, the LZX decompression of
// lzx.cpp, the table of contents, the charset layer and tag stripper), text
// read to its end.
#include "doctype/dx_abi.h"
#include "tests/fuzz/dxfilter_fuzz.h"

extern "C" const DXModule *DXM_GetModule(void);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    dxfuzz::ExtractWithModule(DXM_GetModule(), data, size, DX_FMT_CHM);
    return 0;
}
