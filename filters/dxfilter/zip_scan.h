// zip_scan.h - a zip archive's central directory, found from its end record
// and walked record by record with every bound checked here, and the entry
// names read from it to tell office packages from other archives without
// opening the archive. Archives it cannot read this way (zip64, damaged
// directories) are left to libzip in the office module.
#ifndef GLOTTA_FILTERS_DXFILTER_ZIP_SCAN_H
#define GLOTTA_FILTERS_DXFILTER_ZIP_SCAN_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace dxf {

// Reads `count` bytes at `offset` into `buffer`; false when it cannot.
using ReadAtFn = std::function<bool(uint64_t offset, void *buffer, size_t count)>;

// Reads from `bytes` held in memory; false past their end. The caller keeps
// them alive.
ReadAtFn ReadAtOf(std::string_view bytes);

// ---- the central directory ----------------------------------------------------------

// Where an archive's central directory lies, as its end record tells.
struct ZipDirectory {
    uint64_t offset = 0;   // of the first record
    uint32_t size = 0;     // of all the records
    uint16_t entries = 0;  // records announced
};

// The directory of an archive of `size` bytes, from its end record: the last
// "PK\5\6" whose 22 bytes lie in the archive, found within the last
// 64 KiB and 22 bytes (the longest comment after it). False when there is
// none, when it has the markers of a zip64 archive (65535 entries, an offset
// of 0xFFFFFFFF), or when the directory does not lie in the archive or is
// longer than 4 MiB.
bool FindZipDirectory(uint64_t size, const ReadAtFn &readAt, ZipDirectory &directory);

// One record of a central directory. `name` views the directory's bytes.
struct ZipEntry {
    std::string_view name;
    uint16_t flags = 0;        // bit 0: encrypted
    uint16_t method = 0;       // 0 stored, 8 deflated
    uint32_t packedSize = 0;   // its bytes in the archive
    uint32_t size = 0;         // its bytes once unpacked
    uint32_t localHeader = 0;  // offset of its local header
};

// The records of a central directory's bytes, in order:
//   ZipRecords records(bytes, directory.entries);
//   for (ZipEntry entry; records.Next(entry);) ...
// A record lies in the directory with its fixed fields, its signature and
// its name; the extra field and comment after the name need not (the next
// record starts after them).
class ZipRecords {
  public:
    ZipRecords(std::string_view directory, uint16_t entries)
        : directory_(directory), left_(entries) {}
    // The next record; false after the announced number of records, or at
    // one that does not lie in the directory (then Damaged()).
    bool Next(ZipEntry &entry);
    bool Damaged() const { return damaged_; }

  private:
    std::string_view directory_;
    size_t at_ = 0;
    uint32_t left_;
    bool damaged_ = false;
};

// Where the data of `entry` starts in an archive of `size` bytes: after its
// local header, which must lie in the archive with its signature, with the
// entry's packed bytes before the end. False when they do not.
bool FindZipEntryData(const ZipEntry &entry, uint64_t size, const ReadAtFn &readAt,
                      uint64_t &offset);

// ---- an archive cut short ----------------------------------------------------------

// A central directory rebuilt from an archive's local headers, for an
// archive whose own directory is lost (a download or copy cut short) or
// cannot be read: the archive read as its first `cut` bytes followed by
// `directory` (the rebuilt records and their end record) is a whole archive
// of the entries that lie complete before the cut.
struct SalvagedDirectory {
    uint64_t cut = 0;
    std::string directory;
    uint16_t entries = 0;
};

// Walks the local headers from the archive's first byte while each starts
// where the one before it ends, and keeps every entry whose data lies whole
// in the archive. An entry whose sizes follow its data (flag bit 3) ends at
// the first data descriptor ("PK\7\8") whose packed size is the distance
// from the data's start. The walk stops at anything else: another record, an
// entry cut short, a zip64 entry, 65,534 entries or a directory of 4 MiB.
// Nothing when no entry is whole.
std::optional<SalvagedDirectory> SalvageZipDirectory(uint64_t size, const ReadAtFn &readAt);

// A DX_FMT_* code (DOCX, XLSX (also for a binary workbook, XLSB: the
// entry `xl/workbook.bin` instead of `xl/workbook.xml`), PPTX, XPS, FICTIONBOOK for an archive of a
// single member whose name ends in ".fb2" beside only the Finder's entries
// (IsFinderEntry), IWORK for an Apple iWork package (see IworkLayout), ZONER
// for a Zoner Draw 4 or 5 drawing (a `content.zmf` entry, and beside it only
// `preview.bmp` and the Finder's entries), or
// ZIP for an archive without any package marker), or DX_FMT_UNKNOWN when
// libzip has to decide (the archive has `[Content_Types].xml` and
// `visio/document.xml`, whose content types tell a Visio package; or
// `[Content_Types].xml` and root relationships `_rels/.rels` that are no
// XPS package's, which may name a word processing document's main part
// under another name than `word/document.xml`; or a
// `mimetype` entry that the caller could not read from its head; or, without
// one and without any other
// package marker, a `META-INF/manifest.xml` entry, whose root entry names an
// OpenDocument package's kind, or a `META-INF/container.xml` entry, which
// names an EPUB's package document; or these entries lie in the folder of
// a package zipped as a folder (see PackageLayout); or, without any of
// these, a `Contents/content.hpf`, `Contents/section0.xml` or `version.xml`
// entry, which may make a Hangul package (HWPX); or its directory cannot
// be read here).
//
// An XPS package is told by its root relationships part `_rels/.rels` when
// that is stored uncompressed (a fixed representation relationship, see
// NamesXpsRepresentation); when it is compressed or missing, by its layout
// (XpsLayout).
int ZipFormatFromDirectory(uint64_t size, const ReadAtFn &readAt);

// Whether an archive entry is one the macOS Finder adds when it zips files:
// anything under `__MACOSX/` (the AppleDouble files of extended attributes,
// `__MACOSX/._Name`), an AppleDouble file beside its file (a name whose last
// part starts with "._", as copies to volumes without extended attributes
// leave them), and the folder settings `.DS_Store`. They hold no document.
bool IsFinderEntry(std::string_view entryName);

// The part an archive entry holds: `name` itself, or for one piece of an
// interleaved part (`name/[N].piece`, `name/[N].last.piece`) the part's
// name. `piece` gets N (-1 for a whole entry) and `last` whether it is the
// part's last piece.
std::string_view PartNameOf(std::string_view name, long *piece = nullptr, bool *last = nullptr);

// Whether an archive entry holds the package part `partName`: the names
// equal but for the case of ASCII letters (part names are compared so) and
// a backslash for a slash, as some writers on Windows store them
// (`xl\workbook.xml`).
bool SamePartName(std::string_view entryName, std::string_view partName);

// Whether root relationships name an XPS or OpenXPS fixed representation.
bool NamesXpsRepresentation(std::string_view rels);

// The entry names of an XPS package: `[Content_Types].xml` with a fixed
// document sequence (a part whose name ends in `.fdseq`) or the first
// document's usual name `Documents/1/FixedDocument.fdoc`, in any case and
// in pieces or whole.
class XpsLayout {
  public:
    void Add(std::string_view entryName);
    bool Found() const { return contentTypes_ && (sequence_ || firstDocument_); }

  private:
    bool contentTypes_ = false, sequence_ = false, firstDocument_ = false;
};

// The one folder at an archive's root that holds every entry beside the
// Finder's (IsFinderEntry), as the Finder and web downloads zip a folder.
// The answer holds once every entry is added.
class TopFolder {
  public:
    // Adds an entry; gives its name inside the folder when it lies in the
    // first folder seen at the root (as far as the entries so far tell),
    // else nothing.
    std::optional<std::string_view> Add(std::string_view entryName);
    // The folder's name and its slash ("Book/"); empty when an entry lies at
    // the root or in another folder, when there is no entry beside the
    // Finder's, or when the folder has no name of its own ("", ".", "..").
    std::string_view Name() const { return beside_ ? std::string_view() : folder_; }

  private:
    std::string folder_;   // the first folder at the root, with its slash
    bool beside_ = false;  // a file at the root, another folder, or no name
};

// The entry names of an Apple iWork package (Pages, Keynote, Numbers): an
// iWork '09 document's main part, `index.apxl`, `index.apxl.gz`,
// `index.xml.gz`, or `index.xml` with the `buildVersionHistory.plist` or
// `QuickLook/` entries iWork writes beside it; a later document's
// `Index/Document.iwa` or `Index.zip`. Names compare with their case, as
// libetonyek opens them. The names count at the archive's root, or in the
// package's folder when the archive holds a package kept as a folder, zipped
// as the Finder and web downloads zip it: every entry inside one folder at
// the root whose name ends in `.pages`, `.key` or `.numbers` (in any case),
// beside only the Finder's entries (IsFinderEntry). The answers hold once
// every entry is added.
class IworkLayout {
  public:
    void Add(std::string_view entryName);
    bool Found() const { return root_.Found() || InFolder(); }
    // Where the package's names are: empty for the root, else the package
    // folder's name and its slash ("Report.pages/").
    std::string_view Folder() const {
        if (root_.Found() || !InFolder()) return {};
        return folder_.Name();
    }

  private:
    // The names of one level.
    struct Names {
        void Add(std::string_view name);
        bool Found() const { return sure || (index && beside); }
        bool sure = false, index = false, beside = false;
    };
    bool InFolder() const;

    Names root_, inFolder_;
    TopFolder folder_;
};

// The entry names that mark an OpenDocument or EPUB package: `mimetype`,
// `META-INF/manifest.xml` and `META-INF/container.xml`, compared with their
// case. They count at the archive's root, or in the package's folder when
// the archive holds a package zipped as a folder (TopFolder; the folder's
// name may be any). The answers hold once every entry is added.
class PackageLayout {
  public:
    void Add(std::string_view entryName);
    // Whether the archive has a marker at the root or in the package's folder.
    bool Found() const { return root_.Any() || !Folder().empty(); }
    // Where the markers are: empty for the root, else the package folder's
    // name and its slash ("Book/").
    std::string_view Folder() const {
        return root_.Any() || !inFolder_.Any() ? std::string_view() : folder_.Name();
    }
    // Whether the marker is at the root or in the package's folder.
    bool Mimetype() const { return Folder().empty() ? root_.mimetype : inFolder_.mimetype; }

  private:
    struct Names {
        void Add(std::string_view name);
        bool Any() const { return mimetype || manifest || container; }
        bool mimetype = false, manifest = false, container = false;
    };

    Names root_, inFolder_;
    TopFolder folder_;
};

}  // namespace dxf

#endif
