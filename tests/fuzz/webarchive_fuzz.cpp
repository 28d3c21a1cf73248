// webarchive_fuzz.cpp - fuzz target: the property list readers (plist.cpp)
// on the input as a binary list and as an XML one, every value of a list
// read walked and checked, the web archive reader on top (webarchive_text.cpp)
// and the text read to its end through the compress module as the worker
// opens a web archive (format 369). An input that does not open with the
// binary magic is also tried behind it, so that mutations of objects reach
// the binary reader without having to keep the magic.
#include <string>
#include <string_view>

#include "doctype/dx_abi.h"
#include "dxfilter_fuzz.h"
#include "filters/dxfilter/plist.h"
#include "filters/dxfilter/sniff.h"
#include "filters/dxfilter/webarchive_text.h"
#include "fuzz_support.h"

extern "C" const DXModule *DXM_GetModule(void);

namespace {

// Every container element names a value of the table; the top value is
// the first.
void CheckList(const dxf::PropertyList &list, const dxf::PlistBounds &bounds) {
    using Kind = dxf::PropertyList::Kind;
    FUZZ_CHECK(list.size() >= 1 && list.size() <= bounds.maxObjects);
    size_t items = 0;
    for (uint32_t i = 0; i < list.size(); ++i) {
        const dxf::PropertyList::Value &v = list.at(i);
        if (v.kind != Kind::kArray && v.kind != Kind::kSet && v.kind != Kind::kDict) continue;
        const uint32_t n = v.kind == Kind::kDict ? 2 * v.count : v.count;
        items += n;
        for (uint32_t k = 0; k < n; ++k) {
            dxf::PropertyList::Value probe{};
            probe.kind = Kind::kArray;
            probe.first = v.first;
            const dxf::PropertyList::Value &e = list.Item(probe, k);
            FUZZ_CHECK(&e >= &list.at(0) && &e <= &list.at(static_cast<uint32_t>(list.size() - 1)));
        }
        if (v.kind == Kind::kDict) list.Find(v, "WebMainResource");
    }
    FUZZ_CHECK(items <= bounds.maxItems);
}

void ReadBoth(std::string_view bytes) {
    dxf::PlistBounds bounds;
    bounds.maxObjects = 4096;
    bounds.maxItems = 16384;
    bounds.maxDepth = 32;
    std::string error;
    dxf::PropertyList binary;
    if (binary.ReadBinary(bytes, bounds, error))
        CheckList(binary, bounds);
    else
        FUZZ_CHECK(!error.empty());
    dxf::PropertyList xml;
    error.clear();
    if (xml.ReadXml(bytes, bounds, error))
        CheckList(xml, bounds);
    else
        FUZZ_CHECK(!error.empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    dxf::IsWebArchive(bytes);
    ReadBoth(bytes);
    if (!bytes.starts_with(dxf::kBinaryPlistMagic))
        ReadBoth(std::string(dxf::kBinaryPlistMagic) + std::string(bytes));

    dxf::WebArchive archive;
    dxf::WebArchiveBounds bounds;
    bounds.maxPageBytes = 64 * 1024;
    if (archive.Read(bytes, bounds)) {
        FUZZ_CHECK(archive.pages().size() <= bounds.maxArchives);
        for (const dxf::WebPage &page : archive.pages())
            FUZZ_CHECK(page.bytes.size() <= bounds.maxPageBytes);
    } else {
        FUZZ_CHECK(!archive.error().empty());
    }

    // The module's reader, read to the end.
    dxfuzz::ExtractWithModule(DXM_GetModule(), data, size, DX_FMT_WEBARCHIVE);
    return 0;
}
