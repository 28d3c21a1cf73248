// msppt_fuzz.cpp - fuzz target: the presentation reader. The input is the
// PowerPoint Document stream, put into a sound compound file.
#include <string_view>

#include "doctype/dx_abi.h"
#include "tests/fuzz/dxfilter_fuzz.h"

extern "C" const DXModule *DXM_GetModule(void);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string file = dxfuzz::CompoundFile(
        {{"PowerPoint Document", std::string_view(reinterpret_cast<const char *>(data), size)}});
    dxfuzz::ExtractWithModule(DXM_GetModule(), reinterpret_cast<const uint8_t *>(file.data()),
                              file.size(), DX_FMT_PPT);
    return 0;
}
