// The zip central directory as the filter walks it (zip_scan.h): the end
// record behind a comment of any length, the records and where an entry's
// data starts, and the refusals: archives cut at every length, directories
// cut at every length, record counts that lie, names past the directory,
// local headers past the archive, and the markers of zip64 archives. The
// folder of a package zipped as a folder, and the archives it makes a
// question for the office module. The directory rebuilt from the local
// headers of an archive cut short.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "doctype/dx_abi.h"
#include "dxfilter_zip_writer.h"
#include "filters/dxfilter/zip_scan.h"

namespace {

using dxf::FindZipDirectory;
using dxf::FindZipEntryData;
using dxf::ReadAtOf;
using dxf::ZipDirectory;
using dxf::ZipEntry;
using dxf::ZipRecords;
using dxfilter_zip::StoredZip;

constexpr size_t kEndRecord = 22;

void Put16(std::string &s, size_t at, uint32_t v) {
    s[at] = static_cast<char>(v);
    s[at + 1] = static_cast<char>(v >> 8);
}
void Put32(std::string &s, size_t at, uint32_t v) {
    for (int k = 0; k < 4; ++k) s[at + k] = static_cast<char>(v >> (8 * k));
}

// Three members of the archives below; StoredZip writes no comment, so the
// end record is the archive's last 22 bytes.
const std::vector<std::pair<std::string, std::string>> kMembers = {
    {"mimetype", "application/epub+zip"},
    {"META-INF/container.xml", "<container/>"},
    {"OEBPS/text.xhtml", "<html>Der Fluss trat über die Ufer.</html>"}};

// `zip` with a comment of `comment` after its end record.
std::string WithComment(std::string zip, const std::string &comment) {
    Put16(zip, zip.size() - 2, static_cast<uint32_t>(comment.size()));
    return zip + comment;
}

std::optional<ZipDirectory> Directory(std::string_view zip) {
    ZipDirectory directory;
    if (!FindZipDirectory(zip.size(), ReadAtOf(zip), directory)) return std::nullopt;
    return directory;
}

// The names of the records of `directory` in `zip`, and whether the walk
// ended on a damaged record.
std::pair<std::vector<std::string>, bool> Names(std::string_view zip,
                                                const ZipDirectory &directory) {
    ZipRecords records(zip.substr(directory.offset, directory.size), directory.entries);
    std::vector<std::string> names;
    for (ZipEntry entry; records.Next(entry);) names.emplace_back(entry.name);
    return {names, records.Damaged()};
}

const std::vector<std::string> kNames = {"mimetype", "META-INF/container.xml", "OEBPS/text.xhtml"};

TEST(ZipDirectory, RecordsAndTheirData) {
    const std::string zip = StoredZip(kMembers);
    const auto directory = Directory(zip);
    ASSERT_TRUE(directory);
    EXPECT_EQ(directory->entries, 3);
    EXPECT_EQ(directory->offset + directory->size, zip.size() - kEndRecord);
    ZipRecords records(std::string_view(zip).substr(directory->offset, directory->size), 3);
    ZipEntry entry;
    for (const auto &[name, content] : kMembers) {
        ASSERT_TRUE(records.Next(entry)) << name;
        EXPECT_EQ(entry.name, name);
        EXPECT_EQ(entry.flags, 0);
        EXPECT_EQ(entry.method, 0);
        EXPECT_EQ(entry.packedSize, content.size());
        EXPECT_EQ(entry.size, content.size());
        uint64_t at = 0;
        ASSERT_TRUE(FindZipEntryData(entry, zip.size(), ReadAtOf(zip), at)) << name;
        EXPECT_EQ(zip.substr(at, content.size()), content);
    }
    EXPECT_FALSE(records.Next(entry));
    EXPECT_FALSE(records.Damaged());
    // An archive without members is an empty directory.
    const std::string empty = StoredZip({});
    ASSERT_TRUE(Directory(empty));
    EXPECT_EQ(Names(empty, *Directory(empty)), std::make_pair(std::vector<std::string>{}, false));
}

TEST(ZipDirectory, TheEndRecordBehindAComment) {
    const std::string zip = StoredZip(kMembers);
    // Past the first look at the last 4 KiB, up to the longest comment.
    for (size_t length : {size_t{1}, size_t{100}, size_t{4096}, size_t{5000}, size_t{65535}}) {
        const std::string commented = WithComment(zip, std::string(length, 'c'));
        const auto directory = Directory(commented);
        ASSERT_TRUE(directory) << length;
        EXPECT_EQ(Names(commented, *directory), std::make_pair(kNames, false)) << length;
    }
    // An end record farther from the end than the longest comment is not
    // looked for.
    EXPECT_FALSE(Directory(zip + std::string(65535 + 1, 'c')));
    // The last end record counts, even one inside a comment.
    std::string inner = zip.substr(zip.size() - kEndRecord);
    Put16(inner, 10, 0);
    Put32(inner, 12, 0);
    const auto last = Directory(WithComment(zip, "note " + inner));
    ASSERT_TRUE(last);
    EXPECT_EQ(last->entries, 0);
}

TEST(ZipDirectory, ArchivesCutAtEveryLength) {
    const std::string zip = WithComment(StoredZip(kMembers), "kept by the archiver");
    const size_t end = zip.size() - 20 - kEndRecord;  // where the end record starts
    for (size_t cut = 0; cut < zip.size(); ++cut) {
        const std::string_view bytes = std::string_view(zip).substr(0, cut);
        const auto directory = Directory(bytes);
        // Cut inside the comment, the end record is still whole.
        EXPECT_EQ(directory.has_value(), cut >= end + kEndRecord) << cut;
        if (directory) {
            EXPECT_EQ(Names(bytes, *directory), std::make_pair(kNames, false)) << cut;
        }
    }
}

TEST(ZipDirectory, DirectoriesCutAtEveryLength) {
    const std::string zip = StoredZip(kMembers);
    const auto directory = Directory(zip);
    ASSERT_TRUE(directory);
    const std::string_view bytes = std::string_view(zip).substr(directory->offset, directory->size);
    // The records whole before each cut are read; the one it cuts is damage.
    size_t whole = 0, next = 46 + kNames[0].size();
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
        if (cut >= next) next += 46 + kNames[++whole].size();
        ZipRecords records(bytes.substr(0, cut), 3);
        size_t read = 0;
        for (ZipEntry entry; records.Next(entry);) EXPECT_EQ(entry.name, kNames[read++]) << cut;
        EXPECT_EQ(read, whole) << cut;
        EXPECT_TRUE(records.Damaged()) << cut;
    }
}

TEST(ZipDirectory, RecordCountsAndNamesThatLie) {
    const std::string zip = StoredZip(kMembers);
    const auto found = Directory(zip);
    ASSERT_TRUE(found);
    ZipDirectory directory = *found;
    // Fewer records announced than there are: the rest are not read.
    directory.entries = 2;
    EXPECT_EQ(Names(zip, directory),
              std::make_pair(std::vector<std::string>(kNames.begin(), kNames.begin() + 2), false));
    // More: the walk ends at the directory's end, damaged.
    directory.entries = 4;
    EXPECT_EQ(Names(zip, directory), std::make_pair(kNames, true));
    // A name longer than what is left of the directory.
    std::string longName = zip;
    Put16(longName, found->offset + 46 + kNames[0].size() + 28, 0xFFFF);
    EXPECT_EQ(Names(longName, *found), std::make_pair(std::vector<std::string>{kNames[0]}, true));
    // The last name ends exactly where the directory does; one byte more is
    // past it.
    std::string lastName = zip;
    const size_t last = found->offset + found->size - kNames[2].size() - 46;
    Put16(lastName, last + 28, static_cast<uint32_t>(kNames[2].size() + 1));
    EXPECT_EQ(Names(lastName, *found),
              std::make_pair(std::vector<std::string>(kNames.begin(), kNames.begin() + 2), true));
    // A record without its signature.
    std::string unsigned_ = zip;
    unsigned_[found->offset + 46 + kNames[0].size()] = 'Q';
    EXPECT_EQ(Names(unsigned_, *found), std::make_pair(std::vector<std::string>{kNames[0]}, true));
    // Extra fields and comments that run past the directory end it there.
    std::string extra = zip;
    Put16(extra, found->offset + 30, 0xFFFF);
    EXPECT_EQ(Names(extra, *found), std::make_pair(std::vector<std::string>{kNames[0]}, true));
}

TEST(ZipDirectory, Zip64MarkersAndDirectoriesOutsideTheArchiveAreRefused) {
    const std::string zip = StoredZip(kMembers);
    const size_t end = zip.size() - kEndRecord;
    const auto refused = [&](size_t at, uint32_t value, bool wide) {
        std::string bytes = zip;
        (wide ? Put32 : Put16)(bytes, end + at, value);
        return !Directory(bytes);
    };
    EXPECT_TRUE(refused(10, 0xFFFF, false));                          // entries
    EXPECT_TRUE(refused(16, 0xFFFFFFFF, true));                       // directory offset
    EXPECT_TRUE(refused(12, 0xFFFFFFFF, true));                       // directory size
    EXPECT_TRUE(refused(12, (4u << 20) + 1, true));                   // longer than 4 MiB
    EXPECT_TRUE(refused(16, static_cast<uint32_t>(end - 10), true));  // past the end
    EXPECT_FALSE(refused(10, 0xFFFE, false));  // a count that lies is the walk's business
    // A reader that fails is no archive.
    ZipDirectory directory;
    EXPECT_FALSE(FindZipDirectory(
        zip.size(), [](uint64_t, void *, size_t) { return false; }, directory));
    EXPECT_FALSE(FindZipDirectory(0, ReadAtOf(""), directory));
}

TEST(ZipDirectory, EntryDataMustLieInTheArchive) {
    const std::string zip = StoredZip(kMembers);
    const auto directory = Directory(zip);
    ASSERT_TRUE(directory);
    ZipRecords records(std::string_view(zip).substr(directory->offset, directory->size), 3);
    ZipEntry entry;
    ASSERT_TRUE(records.Next(entry));
    uint64_t at = 0;
    ASSERT_TRUE(FindZipEntryData(entry, zip.size(), ReadAtOf(zip), at));
    EXPECT_EQ(at, 30 + kNames[0].size());
    // The data ends exactly at the archive's end, or a byte past it.
    const uint64_t dataEnd = at + entry.packedSize;
    EXPECT_TRUE(FindZipEntryData(entry, dataEnd, ReadAtOf(zip), at));
    EXPECT_FALSE(FindZipEntryData(entry, dataEnd - 1, ReadAtOf(zip), at));
    ZipEntry moved = entry;
    moved.packedSize = 0xFFFFFFFF;
    EXPECT_FALSE(FindZipEntryData(moved, zip.size(), ReadAtOf(zip), at));
    moved = entry;
    moved.localHeader = static_cast<uint32_t>(zip.size() - 29);  // header past the end
    EXPECT_FALSE(FindZipEntryData(moved, zip.size(), ReadAtOf(zip), at));
    moved.localHeader = 1;  // no signature there
    EXPECT_FALSE(FindZipEntryData(moved, zip.size(), ReadAtOf(zip), at));
    // A local name and extra field longer than the archive.
    std::string longLocal = zip;
    Put16(longLocal, 28, 0xFFFF);
    EXPECT_FALSE(FindZipEntryData(entry, zip.size(), ReadAtOf(longLocal), at));
}

TEST(ZipDirectory, ReadingFromMemory) {
    const std::string bytes = "0123456789";
    const auto readAt = ReadAtOf(bytes);
    char buffer[10] = {};
    EXPECT_TRUE(readAt(6, buffer, 4));
    EXPECT_EQ(std::string_view(buffer, 4), "6789");
    EXPECT_TRUE(readAt(10, buffer, 0));
    EXPECT_FALSE(readAt(7, buffer, 4));
    EXPECT_FALSE(readAt(11, buffer, 0));
    EXPECT_FALSE(readAt(UINT64_MAX, buffer, 1));
}

// The folder of the package layout of `names`, and whether it found a marker.
std::pair<std::string, bool> PackageFolder(const std::vector<std::string> &names) {
    dxf::PackageLayout layout;
    for (const std::string &name : names) layout.Add(name);
    return {std::string(layout.Folder()), layout.Found()};
}

TEST(ZipDirectory, PackagesZippedAsAFolder) {
    using Found = std::pair<std::string, bool>;
    // At the root, or in the one folder at the root beside the Finder's
    // entries, whatever the folder's name.
    EXPECT_EQ(PackageFolder({"mimetype", "content.xml"}), Found("", true));
    EXPECT_EQ(PackageFolder({"Book/", "Book/mimetype", "Book/content.xml"}), Found("Book/", true));
    EXPECT_EQ(PackageFolder({"__MACOSX/Book/._mimetype", "Report 2/META-INF/manifest.xml",
                             "Report 2/.DS_Store", "._Report 2"}),
              Found("Report 2/", true));
    EXPECT_EQ(PackageFolder({"B/META-INF/container.xml", "B/OEBPS/a.opf"}), Found("B/", true));
    // Not a package: no marker, one a level deeper, a file or another
    // folder beside, markers in another case, a folder without a name of
    // its own.
    const std::vector<std::string> lookAlikes[] = {
        {"Book/content.xml", "Book/META-INF/MANIFEST.MF"},
        {"Archive/Book/mimetype"},
        {"Book/mimetype", "readme.txt"},
        {"Book/mimetype", "Other/readme.txt"},
        {"Other/", "Book/mimetype"},
        {"Book/MIMETYPE", "Book/meta-inf/container.xml"},
        {"./mimetype"},
        {"/mimetype"},
        {"../mimetype"},
        {"__MACOSX/mimetype"},
        {},
    };
    for (const auto &names : lookAlikes)
        EXPECT_EQ(PackageFolder(names), Found("", false)) << names.size();
    // The root's markers come first.
    EXPECT_EQ(PackageFolder({"mimetype"}), Found("", true));

    // The directory scan leaves a package in a folder to the office module
    // and keeps a plain archive of a folder a plain archive.
    auto scan = [](const std::vector<std::pair<std::string, std::string>> &members) {
        const std::string zip = StoredZip(members);
        return dxf::ZipFormatFromDirectory(zip.size(), ReadAtOf(zip));
    };
    EXPECT_EQ(scan({{"Book/mimetype", "application/epub+zip"}, {"Book/a.xhtml", "x"}}),
              DX_FMT_UNKNOWN);
    EXPECT_EQ(scan({{"Book/META-INF/manifest.xml", "x"}, {"__MACOSX/._Book", "x"}}),
              DX_FMT_UNKNOWN);
    EXPECT_EQ(scan({{"Book/mimetype", "application/epub+zip"}, {"notes.txt", "x"}}), DX_FMT_ZIP);
    EXPECT_EQ(scan({{"doc/README", "x"}, {"doc/changelog.gz", "x"}}), DX_FMT_ZIP);
    EXPECT_EQ(scan({{"a/b/mimetype", "application/epub+zip"}}), DX_FMT_ZIP);
    // An iWork package zipped as a folder stays one.
    EXPECT_EQ(scan({{"Report.pages/index.apxl", "x"}, {"Report.pages/mimetype", "x"}}),
              DX_FMT_IWORK);
}

TEST(ZipDirectory, OfficeOpenXmlPackagesByTheirMainPart) {
    auto scan = [](std::vector<std::string> names) {
        std::vector<std::pair<std::string, std::string>> members;
        for (auto &name : names) members.emplace_back(std::move(name), "x");
        const std::string zip = StoredZip(members);
        return dxf::ZipFormatFromDirectory(zip.size(), ReadAtOf(zip));
    };
    const std::string types = "[Content_Types].xml";
    EXPECT_EQ(scan({types, "word/document.xml"}), DX_FMT_DOCX);
    EXPECT_EQ(scan({types, "xl/workbook.xml"}), DX_FMT_XLSX);
    EXPECT_EQ(scan({types, "ppt/presentation.xml"}), DX_FMT_PPTX);
    // A binary workbook answers as XLSX; its other parts do not make one.
    EXPECT_EQ(scan({types, "xl/workbook.bin", "xl/worksheets/sheet1.bin"}), DX_FMT_XLSX);
    EXPECT_EQ(scan({types, "xl/worksheets/sheet1.bin", "xl/sharedStrings.bin"}), DX_FMT_ZIP);
    EXPECT_EQ(scan({"xl/workbook.bin"}), DX_FMT_ZIP);
    // Part names in another case or with backslashes name the same parts.
    EXPECT_EQ(scan({types, "XL/Workbook.bin"}), DX_FMT_XLSX);
    EXPECT_EQ(scan({"[content_types].xml", "xl\\workbook.xml"}), DX_FMT_XLSX);
    EXPECT_EQ(scan({"[CONTENT_TYPES].XML", "Word\\Document.xml"}), DX_FMT_DOCX);
    EXPECT_EQ(scan({types, "xl/workbook.xml.bak"}), DX_FMT_ZIP);
    // The other main parts come first, as before.
    EXPECT_EQ(scan({types, "xl/workbook.bin", "word/document.xml"}), DX_FMT_DOCX);
    EXPECT_EQ(scan({types, "xl/workbook.bin", "ppt/presentation.xml"}), DX_FMT_PPTX);
    // A main part of another name: the root relationships and the content
    // types, which the office module reads, tell.
    EXPECT_EQ(scan({types, "_rels/.rels", "word/document2.xml"}), DX_FMT_UNKNOWN);
    EXPECT_EQ(scan({types, "word/document2.xml"}), DX_FMT_ZIP);
    EXPECT_EQ(scan({"_rels/.rels", "word/document2.xml"}), DX_FMT_ZIP);
}

}  // namespace

// ---- archives cut short ---------------------------------------------------------

// The archive that `zip`'s first bytes and the directory salvaged from them
// make, with the names and contents of its entries as the walk finds them;
// nothing when nothing is salvaged.
std::optional<std::vector<std::pair<std::string, std::string>>> Salvaged(std::string_view zip) {
    const auto salvaged = dxf::SalvageZipDirectory(zip.size(), ReadAtOf(zip));
    if (!salvaged) return std::nullopt;
    EXPECT_LE(salvaged->cut, zip.size());
    const std::string whole = std::string(zip.substr(0, salvaged->cut)) + salvaged->directory;
    const auto directory = Directory(whole);
    EXPECT_TRUE(directory);
    if (!directory) return std::nullopt;
    EXPECT_EQ(directory->entries, salvaged->entries);
    EXPECT_EQ(directory->offset, salvaged->cut);
    ZipRecords records(std::string_view(whole).substr(directory->offset, directory->size),
                       directory->entries);
    std::vector<std::pair<std::string, std::string>> entries;
    for (ZipEntry entry; records.Next(entry);) {
        uint64_t at = 0;
        EXPECT_TRUE(FindZipEntryData(entry, whole.size(), ReadAtOf(whole), at)) << entry.name;
        entries.emplace_back(entry.name, whole.substr(at, entry.packedSize));
    }
    EXPECT_FALSE(records.Damaged());
    return entries;
}

TEST(ZipSalvage, ArchivesCutAtEveryLengthKeepTheirWholeEntries) {
    const std::string zip = StoredZip(kMembers);
    // Where each member's data ends.
    std::vector<size_t> ends;
    for (size_t at = 0; const auto &[name, content] : kMembers)
        ends.push_back(at += 30 + name.size() + content.size());
    for (size_t cut = 0; cut <= zip.size(); ++cut) {
        const auto entries = Salvaged(std::string_view(zip).substr(0, cut));
        const auto whole = static_cast<size_t>(
            std::ranges::count_if(ends, [&](size_t end) { return end <= cut; }));
        if (whole == 0) {
            EXPECT_FALSE(entries) << cut;
            continue;
        }
        ASSERT_TRUE(entries) << cut;
        EXPECT_EQ(*entries, std::vector(kMembers.begin(), kMembers.begin() + whole)) << cut;
    }
    // A whole archive's walk stops at its directory, and keeps every entry.
    const auto salvaged = dxf::SalvageZipDirectory(zip.size(), ReadAtOf(zip));
    ASSERT_TRUE(salvaged);
    EXPECT_EQ(salvaged->cut, ends.back());
}

// A member whose sizes and checksum follow its data in a descriptor, as
// streaming writers leave them: the local header's sizes are zero.
std::string StreamedMember(const std::string &name, const std::string &content, bool signature) {
    std::string zip = StoredZip({{name, content}});
    zip.resize(30 + name.size() + content.size());  // the member alone
    const std::string crc = zip.substr(14, 4);
    Put16(zip, 6, 8);
    for (size_t at : {14, 18, 22}) Put32(zip, at, 0);
    std::string descriptor(signature ? 16 : 12, '\0');
    if (signature) Put32(descriptor, 0, 0x08074b50);
    const size_t k = signature ? 4 : 0;
    descriptor.replace(k, 4, crc);
    Put32(descriptor, k + 4, static_cast<uint32_t>(content.size()));
    Put32(descriptor, k + 8, static_cast<uint32_t>(content.size()));
    return zip + descriptor;
}

TEST(ZipSalvage, SizesAfterTheDataComeFromTheDescriptor) {
    // The first member's content holds a "P" that starts no signature, and a
    // descriptor signature whose size is not its distance from the data:
    // both are content, not the descriptor.
    std::string decoy = "aPc";
    decoy += std::string("PK\x07\x08", 4) + std::string(12, '\x01') + "def";
    const std::string zip = StreamedMember("word/document.xml", decoy, true) +
                            StreamedMember("empty", "", true) + StoredZip({{"media/x.png", "PNG"}});
    const auto entries = Salvaged(zip);
    ASSERT_TRUE(entries);
    EXPECT_EQ(*entries, (std::vector<std::pair<std::string, std::string>>{
                            {"word/document.xml", decoy}, {"empty", ""}, {"media/x.png", "PNG"}}));
    const auto salvaged = dxf::SalvageZipDirectory(zip.size(), ReadAtOf(zip));
    ASSERT_TRUE(salvaged);
    // The checksum comes from the descriptor too.
    const std::string records = salvaged->directory;
    EXPECT_EQ(records.substr(16, 4), StoredZip({{"word/document.xml", decoy}}).substr(14, 4));

    // A descriptor without its signature, or one cut off, ends the walk
    // there: the entries before it stay.
    const std::string plain = StoredZip({{"a", "1"}});
    const std::string first = plain.substr(0, 30 + 1 + 1);
    for (const std::string &rest : {StreamedMember("b", "2", false),
                                    StreamedMember("b", "2", true).substr(0, 30 + 1 + 1 + 15)}) {
        const auto kept = Salvaged(first + rest);
        ASSERT_TRUE(kept);
        EXPECT_EQ(*kept, (std::vector<std::pair<std::string, std::string>>{{"a", "1"}}));
    }
}

TEST(ZipSalvage, WhatIsNoArchiveOrNoLongerOneIsLeft) {
    EXPECT_FALSE(Salvaged(""));
    EXPECT_FALSE(Salvaged("plain text that is long enough for a local header"));
    // Bytes before the first header (a self-extracting archive): not walked.
    EXPECT_FALSE(Salvaged("MZ" + StoredZip(kMembers)));
    // A zip64 entry (sizes of 0xFFFFFFFF) ends the walk.
    std::string zip64 = StoredZip(kMembers);
    const size_t second = 30 + kMembers[0].first.size() + kMembers[0].second.size();
    Put32(zip64, second + 18, 0xFFFFFFFF);
    const auto entries = Salvaged(zip64);
    ASSERT_TRUE(entries);
    EXPECT_EQ(entries->size(), 1u);
    // A name longer than what is left.
    std::string longName = StoredZip(kMembers);
    Put16(longName, 26, 0xFFFF);
    EXPECT_FALSE(Salvaged(longName));
}
