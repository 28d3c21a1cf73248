// iwork_fuzz.cpp - fuzz target: dxfilter_iwork.so's reading of Apple iWork
// documents (libetonyek behind librevenge's string stream and our timed
// text generators), text read to its end. A zip archive is read as it is;
// any other input is an iWork '09 main part, stored in a package under the
// name of one of the three applications (chosen by the input's length), so
// that mutations reach libetonyek's XML readers rather than the archive's
// checksums.
#include <string>
#include <string_view>

#include "doctype/dx_abi.h"
#include "dxfilter_fuzz.h"
#include "tests/unit/dxfilter_zip_writer.h"

extern "C" const DXModule *DXM_GetModule(void);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    if (bytes.starts_with("PK\x03\x04")) {
        dxfuzz::ExtractWithModule(DXM_GetModule(), data, size, DX_FMT_IWORK);
        return 0;
    }
    static constexpr const char *kMainParts[] = {"index.xml", "index.apxl", "index.apxl.gz"};
    const std::string package = dxfilter_zip::StoredZip(
        {{kMainParts[size % 3], std::string(bytes)}, {"buildVersionHistory.plist", "<plist/>"}});
    dxfuzz::ExtractWithModule(DXM_GetModule(), reinterpret_cast<const uint8_t *>(package.data()),
                              package.size(), DX_FMT_IWORK);
    return 0;
}
