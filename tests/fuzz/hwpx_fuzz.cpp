// hwpx_fuzz.cpp - fuzz target: a Hangul word processor package (HWPX)
// through dxfilter_office.so. A zip archive is probed as the worker probes
// it (the package rules of the directory scan and of the module) and its
// text read to its end as HWPX, whatever the probe said. Any other input is
// a section: it is stored as `Contents/section0.xml` in a package whose
// `mimetype`, package document and second section are sound, so that
// mutations reach the section reader rather than the archive's checksums;
// the same input is also the package document of a package of two sound
// sections.
#include <string>
#include <string_view>

#include "doctype/dx_abi.h"
#include "dxfilter_fuzz.h"
#include "filters/dxfilter/zip_scan.h"
#include "tests/unit/dxfilter_zip_writer.h"

extern "C" const DXModule *DXM_GetModule(void);

namespace {

const std::string kSpine =
    "<opf:package xmlns:opf=\"http://www.idpf.org/2007/opf/\"><opf:manifest>"
    "<opf:item id=\"s0\" href=\"Contents/section0.xml\"/><opf:item id=\"s1\" "
    "href=\"section1.xml\"/></opf:manifest><opf:spine><opf:itemref idref=\"s0\"/>"
    "<opf:itemref idref=\"s1\"/></opf:spine></opf:package>";
const std::string kSection =
    "<hs:sec xmlns:hs=\"http://www.hancom.co.kr/hwpml/2011/section\" "
    "xmlns:hp=\"http://www.hancom.co.kr/hwpml/2011/paragraph\"><hp:p><hp:run><hp:t>sound "
    "section</hp:t></hp:run></hp:p></hs:sec>";

void Read(const std::string &package) {
    dxfuzz::ExtractWithModule(DXM_GetModule(), reinterpret_cast<const uint8_t *>(package.data()),
                              package.size(), DX_FMT_HWPX);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const DXModule *module = DXM_GetModule();
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    if (bytes.starts_with("PK")) {
        dxfuzz::MemoryStream doc(data, size);
        module->probeStream(doc.stream(), doc.size());
        dxf::ZipFormatFromDirectory(size, dxf::ReadAtOf(bytes));
        dxfuzz::ExtractWithModule(module, data, size, DX_FMT_HWPX);
        return 0;
    }
    const std::string input(bytes);
    Read(dxfilter_zip::StoredZip({{"mimetype", "application/hwp+zip"},
                                  {"Contents/content.hpf", kSpine},
                                  {"Contents/section0.xml", input},
                                  {"Contents/section1.xml", kSection}}));
    Read(dxfilter_zip::StoredZip({{"mimetype", "application/hwp+zip"},
                                  {"Contents/section0.xml", kSection},
                                  {"Contents/section1.xml", kSection},
                                  {"Contents/content.hpf", input}}));
    return 0;
}
