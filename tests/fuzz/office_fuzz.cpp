// office_fuzz.cpp - fuzz target: dxfilter_office.so's reading of zip
// packages, above all XPS documents, and of flat OpenDocument files. A zip
// archive is probed as the worker probes it (libzip, the format rules of the
// directory scan) and its text read to its end as that format, or as XPS
// when it is none the module reads. A flat OpenDocument file (by the format
// rule of its root's start tag) is read as its kind. Any other input is a
// fixed page: it is stored, with the parts that lead to it, in an XPS
// package whose relationships, sequence and document are sound, so that
// mutations reach the page reader rather than the archive's checksums.
#include <string>
#include <string_view>

#include "doctype/dx_abi.h"
#include "dxfilter_fuzz.h"
#include "filters/dxfilter/sniff.h"
#include "tests/unit/dxfilter_zip_writer.h"

extern "C" const DXModule *DXM_GetModule(void);

namespace {

std::string PackageAround(std::string_view page) {
    const std::string ns = "http://schemas.microsoft.com/xps/2005/06";
    return dxfilter_zip::StoredZip({
        {"[Content_Types].xml",
         "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"/>"},
        {"_rels/.rels",
         "<Relationships><Relationship Id=\"R1\" Type=\"" + ns +
             "/fixedrepresentation\" Target=\"/FixedDocumentSequence.fdseq\"/></Relationships>"},
        {"FixedDocumentSequence.fdseq",
         "<FixedDocumentSequence><DocumentReference Source=\"Documents/1/FixedDocument.fdoc\"/>"
         "</FixedDocumentSequence>"},
        {"Documents/1/FixedDocument.fdoc",
         "<FixedDocument><PageContent Source=\"Pages/1.fpage\"/><PageContent "
         "Source=\"/documents/1/PAGES/%31.fpage\"/></FixedDocument>"},
        {"Documents/1/Pages/1.fpage", std::string(page)},
    });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const DXModule *module = DXM_GetModule();
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    if (const int flat = dxf::FlatOpenDocumentFormat(bytes); flat != DX_FMT_UNKNOWN) {
        dxfuzz::ExtractWithModule(module, data, size, flat);
        return 0;
    }
    if (!bytes.starts_with("PK\x03\x04")) {
        const std::string package = PackageAround(bytes);
        dxfuzz::ExtractWithModule(module, reinterpret_cast<const uint8_t *>(package.data()),
                                  package.size(), DX_FMT_XPS);
        return 0;
    }
    dxfuzz::MemoryStream doc(data, size);
    int format = module->probeStream(doc.stream(), doc.size());
    if (format == DX_FMT_UNKNOWN || format == DX_FMT_ZIP || format == DX_FMT_IWORK ||
        format == DX_FMT_VISIO)
        format = DX_FMT_XPS;
    dxfuzz::ExtractWithModule(module, data, size, format);
    return 0;
}
