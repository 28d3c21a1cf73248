// ebook_fuzz.cpp - fuzz target: an e-book through the e-book reader of the
// compression module: the format rules that tell Palm database books and
// FictionBook documents, the record list, headers, trailing entries and
// decompression (PalmDoc LZ77, HUFF/CDIC) of a Palm book, the FictionBook
// reader (plain or zipped), and the text read to its end through the module
// as the worker opens it (formats 350 and 351).
#include <span>
#include <string>
#include <string_view>

#include "doctype/dx_abi.h"
#include "dxfilter_fuzz.h"
#include "filters/dxfilter/ebook_text.h"
#include "filters/dxfilter/sniff.h"
#include "fuzz_support.h"

extern "C" const DXModule *DXM_GetModule(void);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    dxf::IsPalmBook(std::span(data, size), size);
    dxf::XmlRootElement(bytes);

    dxf::EbookBounds bounds;
    bounds.maxBytes = 256 * 1024;
    bounds.maxText = 64 * 1024;
    const dxf::PalmBook book = dxf::ReadPalmBook(bytes, bounds);
    FUZZ_CHECK(book.ok == book.error.empty());
    FUZZ_CHECK(book.bytes.size() <= bounds.maxBytes);

    const dxf::FictionBookText text = dxf::ReadFictionBook(bytes, bounds);
    FUZZ_CHECK(text.ok == text.error.empty());
    size_t total = 0;
    for (const std::string &line : text.lines) {
        FUZZ_CHECK(!line.empty());
        total += line.size();
    }
    // Gathering stops once the bound is reached; the line that crosses it
    // is cut at the bound plus one piece of characters.
    FUZZ_CHECK(total <= 2 * bounds.maxText + size);

    // The module's readers, read to the end.
    dxfuzz::ExtractWithModule(DXM_GetModule(), data, size, DX_FMT_PALMBOOK);
    dxfuzz::ExtractWithModule(DXM_GetModule(), data, size, DX_FMT_FICTIONBOOK);
    return 0;
}
