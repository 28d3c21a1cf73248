// works_module.cpp - dxfilter_works.so: the text of Microsoft Works, Write,
// Word for DOS and Pocket Word documents and of Lotus 1-2-3, Symphony,
// Quattro Pro and Works spreadsheets and databases, read by libwps.
//
// The document is read into memory whole (up to the bound of one archive
// member) and handed to libwps through librevenge's string stream, which
// opens the compound file of a Works for Windows document. libwps tells the
// kind: a word processor document goes to librevenge's plain text generator
// (its paragraphs), a spreadsheet or database to its spreadsheet generator
// (each sheet's cells row by row, separated by tabs, which the sink takes as
// spaces); the generated text then goes to the sink line by line. The code
// pages of DOS and Windows files are libwps's business: its text is UTF-8.
//
// libwps reads a document in one call and catches every exception, so the
// generators (revenge_text.h) check the document's CPU time on each paragraph, cell and
// run of text and throw once it is spent: libwps's parse ends at once, and
// the text generated so far is kept. Text
// beyond what the sink can take is dropped as it comes, so the generators'
// output stays bounded whatever the document holds.
#include <libwps/libwps.h>
#include <librevenge-generators/librevenge-generators.h>
#include <librevenge-stream/librevenge-stream.h>
#include <librevenge/librevenge.h>

#include <cstdint>
#include <memory>
#include <string>

#include "doctype/dx_abi.h"
#include "filters/dxfilter/dx_module.h"
#include "filters/dxfilter/module_stream.h"
#include "filters/dxfilter/revenge_text.h"

namespace {

using dxf::BudgetedSheets;
using dxf::TextBudget;

struct WorksDocument {
    std::string bytes;
    libwps::WPSKind kind = libwps::WPS_TEXT;
    int64_t deadlineNs = 0;
    bool done = false;
};

// Whether the program libwps names wrote files of the format the format
// rules told.
bool IsReadCreator(int format, libwps::WPSCreator creator) {
    if (format == DX_FMT_MSWRITE)
        return creator == libwps::WPS_MSWRITE || creator == libwps::WPS_DOSWORD;
    if (format == DX_FMT_POCKETWORD) return creator == libwps::WPS_POCKETWORD;
    return creator == libwps::WPS_MSWORKS || creator == libwps::WPS_LOTUS ||
           creator == libwps::WPS_QUATTRO_PRO || creator == libwps::WPS_SYMPHONY;
}

// The text of the document, by its kind; false when libwps failed before
// it ended.
bool Parse(const WorksDocument &doc, TextBudget &budget, librevenge::RVNGStringVector &parts) {
    librevenge::RVNGStringStream input(reinterpret_cast<const unsigned char *>(doc.bytes.data()),
                                       static_cast<unsigned>(doc.bytes.size()));
    const auto parse = [&input](auto *out) {
        return libwps::WPSDocument::parse(&input, out) == libwps::WPS_OK;
    };
    if (doc.kind == libwps::WPS_TEXT) return dxf::GeneratePlainText(parts, budget, parse);
    return dxf::Generate<BudgetedSheets>(parts, budget, parse);
}

DXMExtractor *works_open(DXStream *stream, int64_t size, int format, const DXMLimits *limits) {
    if (!stream || !limits ||
        (format != DX_FMT_WORKS && format != DX_FMT_WORKS_SHEET && format != DX_FMT_MSWRITE &&
         format != DX_FMT_POCKETWORD) ||
        size <= 0 || static_cast<uint64_t>(size) > limits->maxPartBytes ||
        static_cast<uint64_t>(size) > UINT32_MAX)
        return nullptr;
    try {
        auto doc = std::make_unique<WorksDocument>();
        doc->deadlineNs = limits->deadlineNs;
        if (!dxf::ReadWholeStream(stream, size, doc->bytes)) return nullptr;
        // A document libwps does not read without a password (a protected
        // one, a version or kind it does not know) is refused here.
        librevenge::RVNGStringStream input(
            reinterpret_cast<const unsigned char *>(doc->bytes.data()),
            static_cast<unsigned>(doc->bytes.size()));
        libwps::WPSCreator creator = libwps::WPS_MSWORKS;
        bool needsEncoding = false;
        if (libwps::WPSDocument::isFileFormatSupported(&input, doc->kind, creator, needsEncoding) !=
                libwps::WPS_CONFIDENCE_EXCELLENT ||
            !IsReadCreator(format, creator))
            return nullptr;
        return reinterpret_cast<DXMExtractor *>(doc.release());
    } catch (...) {
        return nullptr;
    }
}

int works_step(DXMExtractor *extractor, DXMSink *sink) {
    return dxf::StepParts(*reinterpret_cast<WorksDocument *>(extractor), sink, Parse);
}

void works_close(DXMExtractor *extractor) {
    delete reinterpret_cast<WorksDocument *>(extractor);
}

constexpr DXModule kModule = {DXM_ABI_VERSION, nullptr,    nullptr,
                              works_open,      works_step, works_close};

}  // namespace

extern "C" __attribute__((visibility("default"))) const DXModule *DXM_GetModule(void) {
    return &kModule;
}
