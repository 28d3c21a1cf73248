// visio_fuzz.cpp - fuzz target: dxfilter_visio.so's reading of Microsoft
// Visio drawings (libvisio behind librevenge's string stream and the
// module's timed drawing interface), text read to its end. A zip archive, a
// compound file and an input that opens with '<' (an XML drawing) are read
// as they are; any other input is the first page's part of a package stored
// around it (content types, relationships, the document and the page list),
// so that mutations reach libvisio's page reader rather than the archive's
// checksums.
#include <string>
#include <string_view>

#include "doctype/dx_abi.h"
#include "dxfilter_fuzz.h"
#include "tests/unit/dxfilter_zip_writer.h"

extern "C" const DXModule *DXM_GetModule(void);

namespace {

constexpr std::string_view kRelationships =
    "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
constexpr std::string_view kVisioRelationships =
    "http://schemas.microsoft.com/visio/2010/relationships/";

std::string Relationship(std::string_view type, std::string_view target) {
    return std::string(kRelationships) + "<Relationship Id=\"rId1\" Type=\"" +
           std::string(kVisioRelationships) + std::string(type) + "\" Target=\"" +
           std::string(target) + "\"/></Relationships>";
}

// A package whose one page is `page`.
std::string PackageAround(std::string_view page) {
    constexpr std::string_view kMain = "http://schemas.microsoft.com/office/visio/2012/main";
    constexpr std::string_view kRels =
        "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
    const std::string namespaces =
        " xmlns=\"" + std::string(kMain) + "\" xmlns:r=\"" + std::string(kRels) + "\"";
    return dxfilter_zip::StoredZip({
        {"[Content_Types].xml",
         "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
         "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
         "<Override PartName=\"/visio/document.xml\" "
         "ContentType=\"application/vnd.ms-visio.drawing.main+xml\"/></Types>"},
        {"_rels/.rels", Relationship("document", "visio/document.xml")},
        {"visio/document.xml", "<VisioDocument" + namespaces + "/>"},
        {"visio/_rels/document.xml.rels", Relationship("pages", "pages/pages.xml")},
        {"visio/pages/pages.xml", "<Pages" + namespaces +
                                      "><Page ID=\"0\" Name=\"P\"><Rel r:id=\"rId1\"/></Page>"
                                      "</Pages>"},
        {"visio/pages/_rels/pages.xml.rels", Relationship("page", "page1.xml")},
        {"visio/pages/page1.xml", std::string(page)},
    });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    if (bytes.starts_with("PK\x03\x04") || bytes.starts_with("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1") ||
        bytes.starts_with("<")) {
        dxfuzz::ExtractWithModule(DXM_GetModule(), data, size, DX_FMT_VISIO);
        return 0;
    }
    const std::string package = PackageAround(bytes);
    dxfuzz::ExtractWithModule(DXM_GetModule(), reinterpret_cast<const uint8_t *>(package.data()),
                              package.size(), DX_FMT_VISIO);
    return 0;
}
