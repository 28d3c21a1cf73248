// postscript_fuzz.cpp - fuzz target: dxfilter_ps.so's reading of a
// PostScript document: the format rule's section (header, Ctrl-D, byte-order
// mark, DOS EPS header), then Ghostscript in a process of its own per input,
// its text read to the end. An input that is not PostScript by the rule gets
// "%!PS" in front, so that mutations reach the interpreter too. Each input
// costs a process and Ghostscript's start-up (about 0.1 s of CPU time), so this target
// has no short run: it is for campaigns only.
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "doctype/dx_abi.h"
#include "filters/dxfilter/sniff.h"
#include "tests/fuzz/dxfilter_fuzz.h"

extern "C" const DXModule *DXM_GetModule(void);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string doc(reinterpret_cast<const char *>(data), size);
    if (!dxf::PostScriptSectionOf(std::span(data, size), size)) doc.insert(0, "%!PS\n");
    const auto section = dxf::PostScriptSectionOf(
        std::span(reinterpret_cast<const unsigned char *>(doc.data()), doc.size()), doc.size());
    if (!section || section->offset + section->length > doc.size()) std::abort();
    dxfuzz::MemoryStream stream(reinterpret_cast<const uint8_t *>(doc.data()), doc.size());
    // Half a second of CPU time per input (the worker gives two): a loop
    // costs that, and several times it in wall-clock time on a busy machine.
    DXMLimits limits = dxfuzz::Limits();
    limits.deadlineNs = DXM_CpuNs() + 500'000'000;
    const DXModule *module = DXM_GetModule();
    DXMExtractor *ex = module->open(stream.stream(), stream.size(), DX_FMT_POSTSCRIPT, &limits);
    // Refused: Ghostscript failed or ran out of time before any text.
    if (!ex) return 0;
    dxfuzz::Drain(std::make_unique<dxf::ModuleExtractor>(module, ex));
    return 0;
}
