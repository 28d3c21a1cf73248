// office_fuzz.cpp - fuzz target: dxfilter_office.so's reading of zip
// packages, above all XPS documents, and of flat OpenDocument files. A zip
// archive is probed as the worker probes it (libzip, the format rules of the
// directory scan) and its text read to its end as that format, or as XPS
// when it is none the module reads. A flat OpenDocument file and Office's
// single-file XML documents (flat packages, Word and Excel 2003 XML; by the
// format rules of their root's start tag) are read as their kind. An input that starts
// with "XLSB" is the record streams of an Excel binary workbook: a 32-bit
// length, the shared strings part of that length (cut to what follows) and
// the sheet part, stored beside a sound workbook that names the sheet twice,
// and read as XLSX reads it. Any other input is a
// fixed page: it is stored, with the parts that lead to it, in an XPS
// package whose relationships, sequence and document are sound, so that
// mutations reach the page reader rather than the archive's checksums.
#include <algorithm>
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

// An XLSB package around a shared strings part and a sheet part: the
// workbook's two sheet records name the sheet and a missing part.
std::string WorkbookAround(std::string_view shared, std::string_view sheet) {
    using namespace std::string_literals;
    const std::string sheetRecord =
        "\x9c\x01\x14"s + "\0\0\0\0\x01\0\0\0"s + "\x01\0\0\0R\0"s + "\x01\0\0\0S\0"s;
    const std::string missing =
        "\x9c\x01\x14"s + "\0\0\0\0\x02\0\0\0"s + "\x01\0\0\0T\0"s + "\x01\0\0\0S\0"s;
    return dxfilter_zip::StoredZip({
        {"[Content_Types].xml", "<Types/>"},
        {"xl/workbook.bin", "\x83\x01\0"s + sheetRecord + sheetRecord + missing + "\x84\x01\0"s},
        {"xl/_rels/workbook.bin.rels",
         "<Relationships><Relationship Id=\"R\" Target=\"worksheets/sheet1.bin\"/>"
         "<Relationship Id=\"T\" Target=\"worksheets/sheet2.bin\"/></Relationships>"},
        {"xl/sharedStrings.bin", std::string(shared)},
        {"xl/worksheets/sheet1.bin", std::string(sheet)},
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
    if (const int flat = dxf::FlatOfficeFormat(bytes); flat != DX_FMT_UNKNOWN) {
        dxfuzz::ExtractWithModule(module, data, size, flat);
        return 0;
    }
    if (bytes.starts_with("XLSB")) {
        std::string_view rest = bytes.substr(4);
        size_t shared = 0;
        if (rest.size() >= 4) {
            for (int i = 3; i >= 0; --i) shared = shared << 8 | static_cast<unsigned char>(rest[i]);
            rest.remove_prefix(4);
        }
        shared = std::min(shared, rest.size());
        const std::string package = WorkbookAround(rest.substr(0, shared), rest.substr(shared));
        dxfuzz::ExtractWithModule(module, reinterpret_cast<const uint8_t *>(package.data()),
                                  package.size(), DX_FMT_XLSX);
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
