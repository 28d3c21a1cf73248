// mwaw_module.cpp - dxfilter_mwaw.so: the text of MacWrite documents (1 to
// 5.0, their data fork), read by libmwaw.
//
// The document is read into memory whole (up to the bound of one archive
// member, as the drawing modules read theirs: revenge_drawing.h) and handed
// to libmwaw through librevenge's string stream: no resource fork and no
// Finder type, so libmwaw tells the program by the data fork alone, and a
// document it takes for another program's, or for anything but text, is
// refused. Its paragraphs go to librevenge's plain text generator
// (revenge_text.h), then to the sink line by line. The characters are in
// Mac OS Roman, which libmwaw converts by each run's font: its text is
// UTF-8.
//
// libmwaw reads a document in one call and catches every exception, so the
// generator checks the document's CPU time on each paragraph and run of
// text and throws once it is spent: the parse ends at once, and the text
// generated so far is kept. Text beyond what the sink can take is dropped
// as it comes.
#include <libmwaw/libmwaw.hxx>
#include <librevenge-generators/librevenge-generators.h>
#include <librevenge-stream/librevenge-stream.h>
#include <librevenge/librevenge.h>

#include <string>

#include "doctype/dx_abi.h"
#include "filters/dxfilter/dx_module.h"
#include "filters/dxfilter/revenge_drawing.h"
#include "filters/dxfilter/revenge_text.h"

namespace {

DXMExtractor *mwaw_open(DXStream *stream, int64_t size, int format, const DXMLimits *limits) {
    // What libmwaw does not take for a MacWrite text (a version or a layout
    // it does not read, a cut file whose free list is gone) is refused here.
    return dxf::OpenDrawing(
        stream, size, format, DX_FMT_MACWRITE, limits, [](librevenge::RVNGInputStream *input) {
            MWAWDocument::Type type = MWAWDocument::MWAW_T_UNKNOWN;
            MWAWDocument::Kind kind = MWAWDocument::MWAW_K_UNKNOWN;
            return MWAWDocument::isFileFormatSupported(input, type, kind) ==
                       MWAWDocument::MWAW_C_EXCELLENT &&
                   type == MWAWDocument::MWAW_T_MACWRITE && kind == MWAWDocument::MWAW_K_TEXT;
        });
}

int mwaw_step(DXMExtractor *extractor, DXMSink *sink) {
    return dxf::StepDrawing<
        dxf::BudgetedGenerator<librevenge::RVNGTextTextGenerator, librevenge::RVNGString>,
        librevenge::RVNGString>(
        extractor, sink,
        [](librevenge::RVNGInputStream *input, librevenge::RVNGTextInterface *out) {
            return MWAWDocument::parse(input, out) == MWAWDocument::MWAW_R_OK;
        });
}

constexpr DXModule kModule = {DXM_ABI_VERSION, nullptr,   nullptr,
                              mwaw_open,       mwaw_step, dxf::CloseDrawing};

}  // namespace

extern "C" __attribute__((visibility("default"))) const DXModule *DXM_GetModule(void) {
    return &kModule;
}
