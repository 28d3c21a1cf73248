// zip_scan_fuzz.cpp - fuzz target: the office package type of a zip archive
// (or a FictionBook archive) from the names in its central directory, and an
// XPS package from its stored root relationships or its layout, an iWork
// package from its entry names; the directory's records walked in place,
// every name and every entry's data within the input; the folder of a
// package zipped as a folder one folder at the root that holds its names.
// The directory rebuilt from the local headers makes, after the bytes before
// the cut, an archive whose directory the walk reads whole, every entry's
// data before the cut.
#include <cstdlib>
#include <string>
#include <string_view>

#include "doctype/dx_abi.h"
#include "filters/dxfilter/zip_scan.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    const dxf::ReadAtFn readAt = dxf::ReadAtOf(bytes);
    dxf::ZipDirectory directory;
    if (dxf::FindZipDirectory(size, readAt, directory)) {
        FUZZ_CHECK(directory.offset + directory.size <= size);
        const std::string_view records = bytes.substr(directory.offset, directory.size);
        dxf::ZipRecords walk(records, directory.entries);
        size_t count = 0;
        dxf::PackageLayout package;
        bool inFolder = false;  // a name starts with the package's folder
        for (dxf::ZipEntry entry; walk.Next(entry); ++count) {
            package.Add(entry.name);
            FUZZ_CHECK(entry.name.data() >= records.data() &&
                       entry.name.data() + entry.name.size() <= records.data() + records.size());
            uint64_t at = 0;
            if (dxf::FindZipEntryData(entry, size, readAt, at))
                FUZZ_CHECK(at <= size && entry.packedSize <= size - at);
        }
        FUZZ_CHECK(count <= directory.entries);
        // The package's folder is one folder at the root that the names are in.
        const std::string_view folder = package.Folder();
        FUZZ_CHECK(folder.empty() ||
                   (folder.ends_with('/') && folder.find('/') + 1 == folder.size()));
        walk = dxf::ZipRecords(records, directory.entries);
        for (dxf::ZipEntry entry; walk.Next(entry);)
            inFolder = inFolder || (!folder.empty() && entry.name.starts_with(folder));
        FUZZ_CHECK(folder.empty() || inFolder);
    }
    if (const auto salvaged = dxf::SalvageZipDirectory(size, readAt)) {
        FUZZ_CHECK(salvaged->cut <= size && salvaged->entries > 0);
        const std::string whole = std::string(bytes.substr(0, salvaged->cut)) + salvaged->directory;
        const dxf::ReadAtFn wholeAt = dxf::ReadAtOf(whole);
        FUZZ_CHECK(dxf::FindZipDirectory(whole.size(), wholeAt, directory));
        FUZZ_CHECK(directory.offset == salvaged->cut && directory.entries == salvaged->entries);
        dxf::ZipRecords walk(std::string_view(whole).substr(directory.offset, directory.size),
                             directory.entries);
        size_t count = 0;
        for (dxf::ZipEntry entry; walk.Next(entry); ++count) {
            uint64_t at = 0;
            FUZZ_CHECK(dxf::FindZipEntryData(entry, salvaged->cut, wholeAt, at));
        }
        FUZZ_CHECK(!walk.Damaged() && count == salvaged->entries);
    }
    switch (dxf::ZipFormatFromDirectory(size, readAt)) {
        case DX_FMT_UNKNOWN:
        case DX_FMT_ZIP:
        case DX_FMT_DOCX:
        case DX_FMT_XLSX:
        case DX_FMT_PPTX:
        case DX_FMT_XPS:
        case DX_FMT_IWORK:
        case DX_FMT_FICTIONBOOK:  // a FictionBook document as the archive's one member
        case DX_FMT_ZONER:        // a Zoner Draw package's content and preview
            return 0;
        default:
            std::abort();  // no other answer is allowed
    }
}
