// ole_file_fuzz.cpp - fuzz target: a whole compound file (allocation tables,
// directory, mini stream) read through libgsf by the legacy Office module,
// as a Word document, a workbook and a presentation in turn.
#include "doctype/dx_abi.h"
#include "tests/fuzz/dxfilter_fuzz.h"

extern "C" const DXModule *DXM_GetModule(void);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    for (int format : {DX_FMT_DOC, DX_FMT_XLS, DX_FMT_PPT})
        dxfuzz::ExtractWithModule(DXM_GetModule(), data, size, format);
    return 0;
}

// libgsf loses a few directory entries of some damaged compound files while
// it reads their directory (gsf_infile_msole_new, nothing of ours on the
// stack but the call); the readers' own objects stay checked. GLib is built
// without frame pointers: only the slow unwinder sees that call.
extern "C" const char *__asan_default_options() {
    return "fast_unwind_on_malloc=0";
}
extern "C" const char *__lsan_default_suppressions() {
    return "leak:gsf_infile_msole_new\n";
}
