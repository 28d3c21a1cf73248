// visio_module.cpp - dxfilter_visio.so: the text of the shapes of Microsoft
// Visio drawings, read by libvisio: binary drawings (`.vsd`, a compound file
// with a `VisioDocument` stream), XML drawings (`.vdx`) and packages
// (`.vsdx`, `.vsdm`, `.vstx` and their kin).
//
// The drawing is read into memory whole (up to the bound of one archive
// member) and handed to libvisio through librevenge's string stream, which
// opens the compound file or the zip package. libvisio draws each page in
// turn on a drawing interface; ours keeps only the text: each paragraph and
// line break of a shape's text ends a line, as does each shape and each page,
// so that the text comes in page order, one shape after another. A page's
// name is a property of the page, not text, and is not read. A shape placed
// from a master (a stencil's shape) that has no text of its own draws the
// master's text, which is what the drawing shows; the masters themselves
// (libvisio's stencil pages) are not read.
//
// As for the other librevenge-based modules (revenge_text.h,
// revenge_drawing.h), the interface checks the document's CPU time on each
// page, shape and run of text and throws once it is spent or the text budget
// is full, which ends libvisio's parse; the text collected so far is kept.
#include <libvisio/libvisio.h>
#include <librevenge-stream/librevenge-stream.h>
#include <librevenge/librevenge.h>

#include <cstdint>

#include "doctype/dx_abi.h"
#include "filters/dxfilter/dx_module.h"
#include "filters/dxfilter/revenge_drawing.h"

namespace {

DXMExtractor *visio_open(DXStream *stream, int64_t size, int format, const DXMLimits *limits) {
    // A drawing libvisio does not take (a version it does not read, a
    // package without its document part) is refused here.
    return dxf::OpenDrawing(stream, size, format, DX_FMT_VISIO, limits,
                            [](librevenge::RVNGInputStream *input) {
                                return libvisio::VisioDocument::isSupported(input);
                            });
}

int visio_step(DXMExtractor *extractor, DXMSink *sink) {
    return dxf::StepDrawing<dxf::PagesText>(
        extractor, sink,
        [](librevenge::RVNGInputStream *input, librevenge::RVNGDrawingInterface *out) {
            return libvisio::VisioDocument::parse(input, out);
        });
}

constexpr DXModule kModule = {DXM_ABI_VERSION, nullptr,    nullptr,
                              visio_open,      visio_step, dxf::CloseDrawing};

}  // namespace

extern "C" __attribute__((visibility("default"))) const DXModule *DXM_GetModule(void) {
    return &kModule;
}
