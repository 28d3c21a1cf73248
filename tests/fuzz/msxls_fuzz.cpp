// msxls_fuzz.cpp - fuzz target: the workbook reader (BIFF8, BIFF5/7, and
// BIFF2 to BIFF4). The input is the Workbook stream, put into a sound
// compound file. A stream that opens with the BOF record of Excel 2.x, 3.0
// or 4.0 is also read as a file of its own, as those files are no compound
// files.
#include <string_view>

#include "doctype/dx_abi.h"
#include "tests/fuzz/dxfilter_fuzz.h"

extern "C" const DXModule *DXM_GetModule(void);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string file = dxfuzz::CompoundFile(
        {{"Workbook", std::string_view(reinterpret_cast<const char *>(data), size)}});
    dxfuzz::ExtractWithModule(DXM_GetModule(), reinterpret_cast<const uint8_t *>(file.data()),
                              file.size(), DX_FMT_XLS);
    if (size >= 2 && data[0] == 0x09 && (data[1] == 0 || data[1] == 2 || data[1] == 4))
        dxfuzz::ExtractWithModule(DXM_GetModule(), data, size, DX_FMT_XLS);
    return 0;
}
