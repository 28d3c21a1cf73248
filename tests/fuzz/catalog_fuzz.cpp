// catalog_fuzz.cpp - fuzz target: a message catalog (GNU gettext .mo/.po,
// Qt .qm/.ts, XLIFF) through the catalog reader of the compression module:
// the format rules that tell catalogs, the table and string checks of a
// gettext binary catalog, the sections and fields of a Qt binary catalog,
// the `.po` syntax and escapes, the `.ts` and XLIFF elements, charsets, and
// the text read to its end through the module as the worker opens it
// (format 349).
#include <span>
#include <string>
#include <string_view>

#include "doctype/dx_abi.h"
#include "dxfilter_fuzz.h"
#include "filters/dxfilter/catalog_text.h"
#include "filters/dxfilter/sniff.h"
#include "fuzz_support.h"

extern "C" const DXModule *DXM_GetModule(void);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    dxf::IsBinaryCatalog(std::span(data, size));
    dxf::IsQtCatalog(std::span(data, size));
    dxf::IsCatalogXml(bytes);
    dxf::PoCatalogKind(bytes, true);
    dxf::PoCatalogKind(bytes, false);

    dxf::CatalogBounds bounds;
    bounds.maxText = 64 * 1024;
    // A Qt binary catalog is read past its magic, whatever the input holds.
    std::string qm(dxf::kQtCatalogMagic);
    qm.append(bytes);
    for (const auto &text : {dxf::ReadBinaryCatalog(bytes, bounds),
                             dxf::ReadPoCatalog(bytes, bounds), dxf::ReadQtCatalog(bytes, bounds),
                             dxf::ReadQtCatalog(qm, bounds), dxf::ReadXmlCatalog(bytes, bounds)}) {
        FUZZ_CHECK(text.ok == text.error.empty());
        size_t total = 0;
        for (const std::string &line : text.lines) {
            FUZZ_CHECK(!line.empty());
            total += line.size();
        }
        // Gathering stops past the bound; the message that crosses it is at
        // most the whole input (with the magic put before it), and a byte
        // becomes at most three in UTF-8.
        FUZZ_CHECK(total <= 3 * (bounds.maxText + size + 16));
    }

    // The module's reader, read to the end.
    dxfuzz::ExtractWithModule(DXM_GetModule(), data, size, DX_FMT_CATALOG);
    return 0;
}
