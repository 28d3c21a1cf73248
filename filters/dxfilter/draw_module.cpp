// draw_module.cpp - dxfilter_draw.so: the text of QuarkXPress 3.1 to 4
// documents, read by libqxp, and of Zoner Draw 4 and 5 drawings, read by
// libzmf (sniff.cpp and zip_scan.cpp tell both).
//
// The document is read into memory whole (up to the bound of one archive
// member, as the other drawing modules read theirs: revenge_drawing.h) and
// handed to its library through librevenge's string stream, which opens a
// Zoner Draw package's zip. Both libraries draw each page in turn on the
// page interface the Visio module draws on; it keeps the text of the text
// boxes, a line end after each paragraph, box and page, and nothing of the
// master pages. libqxp gives each box of a chain of linked boxes its own
// part of the chain's text, so a story that runs over several boxes is read
// once, box by box. A QuarkXPress 5 or 6 document, which libqxp does not
// read, and a Zoner drawing libzmf does not take for Zoner Draw (a bitmap,
// a Zebra drawing, a cut package) are refused at open.
//
// As for the other librevenge-based modules, the interface checks the
// document's CPU time on each page, text box, paragraph and run of text and
// throws once it is spent or the text budget is full, which ends the parse
// (libzmf catches the throw and fails, libqxp lets it through): the text
// collected so far is kept.
#include <libqxp/libqxp.h>
#include <libzmf/libzmf.h>
#include <librevenge-stream/librevenge-stream.h>
#include <librevenge/librevenge.h>

#include <cstdint>

#include "doctype/dx_abi.h"
#include "filters/dxfilter/dx_module.h"
#include "filters/dxfilter/revenge_drawing.h"

namespace {

// Whether the library of `format` takes the document.
bool Supported(int format, librevenge::RVNGInputStream *input) {
    if (format == DX_FMT_QUARKXPRESS) return libqxp::QXPDocument::isSupported(input);
    libzmf::ZMFDocument::Type type = libzmf::ZMFDocument::TYPE_UNKNOWN;
    return libzmf::ZMFDocument::isSupported(input, &type) && type == libzmf::ZMFDocument::TYPE_DRAW;
}

DXMExtractor *draw_open(DXStream *stream, int64_t size, int format, const DXMLimits *limits) {
    if (format != DX_FMT_QUARKXPRESS && format != DX_FMT_ZONER) return nullptr;
    return dxf::OpenDrawing(
        stream, size, format, format, limits,
        [format](librevenge::RVNGInputStream *input) { return Supported(format, input); });
}

int draw_step(DXMExtractor *extractor, DXMSink *sink) {
    if (reinterpret_cast<const dxf::WholeDrawing *>(extractor)->format == DX_FMT_QUARKXPRESS)
        return dxf::StepDrawing<dxf::PagesText>(
            extractor, sink,
            [](librevenge::RVNGInputStream *input, librevenge::RVNGDrawingInterface *out) {
                return libqxp::QXPDocument::parse(input, out) == libqxp::QXPDocument::RESULT_OK;
            });
    return dxf::StepDrawing<dxf::PagesText>(
        extractor, sink,
        [](librevenge::RVNGInputStream *input, librevenge::RVNGDrawingInterface *out) {
            return libzmf::ZMFDocument::parse(input, out);
        });
}

constexpr DXModule kModule = {DXM_ABI_VERSION, nullptr,   nullptr,
                              draw_open,       draw_step, dxf::CloseDrawing};

}  // namespace

extern "C" __attribute__((visibility("default"))) const DXModule *DXM_GetModule(void) {
    return &kModule;
}
