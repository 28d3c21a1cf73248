// publisher_fuzz.cpp - fuzz target: dxfilter_mspub.so's reading of Microsoft
// Publisher documents (libmspub behind librevenge's string stream and the
// module's timed drawing interface), text read to its end. A compound file
// is read as it is; any other input is the `Contents` stream of a Publisher
// 97 document (the signature before it, in sectors of its own), the stream
// where libmspub reads that version's layout and text.
#include <string>
#include <string_view>

#include "doctype/dx_abi.h"
#include "dxfilter_fuzz.h"
#include "tests/unit/dxfilter_ole_writer.h"

extern "C" const DXModule *DXM_GetModule(void);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    if (bytes.starts_with("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1")) {
        dxfuzz::ExtractWithModule(DXM_GetModule(), data, size, DX_FMT_PUBLISHER);
        return 0;
    }
    const std::string contents = std::string("\xE8\xAC\x22\x00", 4) + std::string(bytes);
    const std::string file = dxfilter_ole::BuildCompoundFile(
        {{"Contents", contents}},
        [](std::string_view) { return dxfilter_ole::Placement::kPadded; });
    dxfuzz::ExtractWithModule(DXM_GetModule(), reinterpret_cast<const uint8_t *>(file.data()),
                              file.size(), DX_FMT_PUBLISHER);
    return 0;
}
