// staroffice5_fuzz.cpp - fuzz target: dxfilter_staroffice.so's reading of
// StarOffice 3 to 5 documents (libstaroffice behind librevenge's string
// stream and the module's timed generators), text read to its end. The input
// is the compound file as it is, opened as each of the three formats in
// turn: libstaroffice's own check decides whether, and as which kind, it is
// read, and the module refuses the formats its kind is not.
#include "doctype/dx_abi.h"
#include "tests/fuzz/dxfilter_fuzz.h"

extern "C" const DXModule *DXM_GetModule(void);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    for (int format : {DX_FMT_STARWRITER, DX_FMT_STARCALC, DX_FMT_STARDRAW})
        dxfuzz::ExtractWithModule(DXM_GetModule(), data, size, format);
    return 0;
}
