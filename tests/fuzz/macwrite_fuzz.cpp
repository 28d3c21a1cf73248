// macwrite_fuzz.cpp - fuzz target: dxfilter_mwaw.so's reading of MacWrite
// documents (libmwaw behind librevenge's string stream and the module's
// timed text generator), text read to its end. The input is the data fork
// as it is: libmwaw's own check decides whether it is read.
#include "doctype/dx_abi.h"
#include "tests/fuzz/dxfilter_fuzz.h"

extern "C" const DXModule *DXM_GetModule(void);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    dxfuzz::ExtractWithModule(DXM_GetModule(), data, size, DX_FMT_MACWRITE);
    return 0;
}
