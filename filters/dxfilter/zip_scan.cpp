// zip_scan.cpp - the zip central directory walked, and office package types
// from the names in it.
#include "filters/dxfilter/zip_scan.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "doctype/dx_abi.h"
#include "filters/dxfilter/bytes.h"

namespace dxf {
namespace {

constexpr size_t kEndRecord = 22;
constexpr size_t kTailFirst = 4096;              // most archives carry no comment
constexpr size_t kTailMax = 65535 + kEndRecord;  // the longest comment allowed
constexpr uint32_t kMaxDirectory = 4u << 20;
constexpr size_t kRecord = 46;       // a directory record's fixed fields
constexpr size_t kLocalHeader = 30;  // a local header's fixed fields
constexpr uint32_t kEndSignature = 0x06054b50, kRecordSignature = 0x02014b50,
                   kLocalSignature = 0x04034b50;

// Offset of the end-of-directory record within `tail`, or npos.
size_t find_end_record(const std::vector<unsigned char> &tail) {
    if (tail.size() < kEndRecord) return std::string_view::npos;
    for (size_t i = tail.size() - kEndRecord + 1; i-- > 0;)
        if (le32(tail.data() + i) == kEndSignature) return i;
    return std::string_view::npos;
}

bool read_tail(uint64_t size, size_t want, const ReadAtFn &readAt,
               std::vector<unsigned char> &tail) {
    size_t n = size < want ? static_cast<size_t>(size) : want;
    tail.resize(n);
    return readAt(size - n, tail.data(), n);
}

constexpr uint32_t kMaxStoredRels = 64u << 10;

// The stored (uncompressed) content of `entry`; empty when it is
// compressed, too long or unreadable.
std::string read_stored(const ZipEntry &entry, uint64_t size, const ReadAtFn &readAt) {
    const uint32_t stored = entry.packedSize;
    uint64_t at = 0;
    if (entry.method != 0 || stored != entry.size || stored == 0 || stored > kMaxStoredRels ||
        !FindZipEntryData(entry, size, readAt, at))
        return {};
    std::string content(stored, '\0');
    return readAt(at, content.data(), stored) ? content : std::string();
}

// A package kept as a folder: the folder's name ends in one of these; the
// Finder adds its own entries beside it when it zips the folder.
constexpr std::string_view kPackageExtensions[] = {".pages", ".key", ".numbers"};

// A FictionBook member: a name ending in ".fb2", in any case.
bool ends_with_fb2(std::string_view name) {
    return name.size() > 4 && iends_with(name, ".fb2");
}

}  // namespace

bool IsFinderEntry(std::string_view name) {
    std::string_view leaf = name;
    if (leaf.ends_with('/')) leaf.remove_suffix(1);
    leaf.remove_prefix(leaf.rfind('/') + 1);  // npos + 1: the whole name
    return name.starts_with("__MACOSX/") || leaf.starts_with("._") || leaf == ".DS_Store";
}

void IworkLayout::Names::Add(std::string_view name) {
    // The main part of an iWork '09 document, plain or gzipped: Keynote's
    // name is its own, Pages and Numbers share theirs with many other
    // archives and count with a file iWork writes beside it.
    sure = sure || name == "index.apxl" || name == "index.apxl.gz" || name == "index.xml.gz" ||
           name == "Index/Document.iwa" || name == "Index.zip";
    index = index || name == "index.xml";
    beside = beside || name == "buildVersionHistory.plist" || name.starts_with("QuickLook/");
}

std::optional<std::string_view> TopFolder::Add(std::string_view name) {
    if (IsFinderEntry(name)) return std::nullopt;
    const size_t slash = name.find('/');
    const std::string_view folder = name.substr(0, slash == std::string_view::npos ? 0 : slash);
    if (slash == std::string_view::npos || folder.empty() || folder == "." || folder == "..") {
        beside_ = true;
        return std::nullopt;
    }
    if (folder_.empty())
        folder_ = name.substr(0, slash + 1);
    else if (name.substr(0, slash + 1) != folder_)
        beside_ = true;
    if (name.substr(0, slash + 1) != folder_) return std::nullopt;
    return name.substr(slash + 1);
}

void IworkLayout::Add(std::string_view name) {
    root_.Add(name);
    if (const auto inFolder = folder_.Add(name)) inFolder_.Add(*inFolder);
}

bool IworkLayout::InFolder() const {
    const std::string_view folder = folder_.Name();
    if (folder.empty() || !inFolder_.Found()) return false;
    const std::string_view name = folder.substr(0, folder.size() - 1);
    for (const std::string_view extension : kPackageExtensions)
        if (name.size() > extension.size() && iends_with(name, extension)) return true;
    return false;
}

void PackageLayout::Names::Add(std::string_view name) {
    mimetype = mimetype || name == "mimetype";
    manifest = manifest || name == "META-INF/manifest.xml";
    container = container || name == "META-INF/container.xml";
}

void PackageLayout::Add(std::string_view name) {
    root_.Add(name);
    if (const auto inFolder = folder_.Add(name)) inFolder_.Add(*inFolder);
}

std::string_view PartNameOf(std::string_view name, long *piece, bool *last) {
    if (piece) *piece = -1;
    if (last) *last = false;
    const size_t slash = name.rfind('/');
    if (slash == std::string_view::npos) return name;
    std::string_view leaf = name.substr(slash + 1);
    bool isLast = false;
    if (iends_with(leaf, "].last.piece"))
        isLast = true, leaf.remove_suffix(12);
    else if (iends_with(leaf, "].piece"))
        leaf.remove_suffix(7);
    else
        return name;
    if (leaf.size() < 2 || leaf.size() > 10 || leaf[0] != '[') return name;
    long n = 0;
    for (char c : leaf.substr(1)) {
        if (c < '0' || c > '9') return name;
        n = n * 10 + (c - '0');
    }
    if (piece) *piece = n;
    if (last) *last = isLast;
    return name.substr(0, slash);
}

bool NamesXpsRepresentation(std::string_view rels) {
    return rels.find("http://schemas.microsoft.com/xps/2005/06/fixedrepresentation") !=
               std::string_view::npos ||
           rels.find("http://schemas.openxps.org/oxps/v1.0/fixedrepresentation") !=
               std::string_view::npos;
}

void XpsLayout::Add(std::string_view entryName) {
    const std::string_view name = PartNameOf(entryName);
    contentTypes_ = contentTypes_ || iequals(name, "[Content_Types].xml");
    sequence_ = sequence_ || (name.size() > 6 && iends_with(name, ".fdseq"));
    firstDocument_ = firstDocument_ || iequals(name, "Documents/1/FixedDocument.fdoc");
}

bool SamePartName(std::string_view entryName, std::string_view partName) {
    if (entryName.size() != partName.size()) return false;
    for (size_t i = 0; i < entryName.size(); ++i) {
        const char a = entryName[i] == '\\' ? '/' : entryName[i];
        const char b = partName[i] == '\\' ? '/' : partName[i];
        if (ascii_lower(a) != ascii_lower(b)) return false;
    }
    return true;
}

ReadAtFn ReadAtOf(std::string_view bytes) {
    return [bytes](uint64_t at, void *buffer, size_t count) {
        if (at > bytes.size() || count > bytes.size() - at) return false;
        if (count > 0) std::memcpy(buffer, bytes.data() + at, count);
        return true;
    };
}

bool FindZipDirectory(uint64_t size, const ReadAtFn &readAt, ZipDirectory &directory) {
    std::vector<unsigned char> tail;
    if (!read_tail(size, kTailFirst, readAt, tail)) return false;
    size_t end = find_end_record(tail);
    if (end == std::string_view::npos && size > kTailFirst) {
        if (!read_tail(size, kTailMax, readAt, tail)) return false;
        end = find_end_record(tail);
    }
    if (end == std::string_view::npos) return false;
    const unsigned char *rec = tail.data() + end;
    directory.entries = le16(rec + 10);
    directory.size = le32(rec + 12);
    directory.offset = le32(rec + 16);
    // Zip64 and directories that do not fit the file are libzip's business.
    return directory.entries != 0xFFFF && directory.offset != 0xFFFFFFFF &&
           directory.size <= kMaxDirectory && directory.offset + directory.size <= size;
}

bool ZipRecords::Next(ZipEntry &entry) {
    if (left_ == 0 || damaged_) return false;
    const auto *p = reinterpret_cast<const unsigned char *>(directory_.data()) + at_;
    damaged_ = directory_.size() - at_ < kRecord || le32(p) != kRecordSignature ||
               directory_.size() - at_ - kRecord < le16(p + 28);
    if (damaged_) return false;
    const size_t nameLength = le16(p + 28);
    entry.name = directory_.substr(at_ + kRecord, nameLength);
    entry.flags = le16(p + 8);
    entry.method = le16(p + 10);
    entry.packedSize = le32(p + 20);
    entry.size = le32(p + 24);
    entry.localHeader = le32(p + 42);
    // The next record may start past the end; it is refused then.
    at_ = std::min(directory_.size(), at_ + kRecord + nameLength + le16(p + 30) + le16(p + 32));
    --left_;
    return true;
}

bool FindZipEntryData(const ZipEntry &entry, uint64_t size, const ReadAtFn &readAt,
                      uint64_t &offset) {
    unsigned char header[kLocalHeader];
    if (uint64_t{entry.localHeader} + sizeof header > size ||
        !readAt(entry.localHeader, header, sizeof header) || le32(header) != kLocalSignature)
        return false;
    offset = uint64_t{entry.localHeader} + sizeof header + le16(header + 26) + le16(header + 28);
    return offset <= size && entry.packedSize <= size - offset;
}

namespace {

constexpr uint32_t kDescriptorSignature = 0x08074b50;
constexpr size_t kDescriptor = 16;  // signature, checksum, packed and unpacked sizes
constexpr size_t kDescriptorWindow = 64 * 1024;

// The data descriptor of an entry whose data starts at `data`: the first
// "PK\7\8" at or after it whose packed size is its distance from `data`.
// Its 16 bytes go to `descriptor`, its offset to `at`.
bool find_descriptor(uint64_t data, uint64_t size, const ReadAtFn &readAt,
                     unsigned char (&descriptor)[kDescriptor], uint64_t &at) {
    std::vector<unsigned char> window;
    for (uint64_t from = data; from < size && size - from >= kDescriptor;
         from += kDescriptorWindow) {
        // Each window overlaps the next by a descriptor less one byte.
        const auto n = static_cast<size_t>(
            std::min<uint64_t>(kDescriptorWindow + kDescriptor - 1, size - from));
        window.resize(n);
        if (!readAt(from, window.data(), n)) return false;
        for (size_t i = 0; i + kDescriptor <= n && i < kDescriptorWindow; ++i) {
            const unsigned char *p = window.data() + i;
            if (p[0] != 'P' || le32(p) != kDescriptorSignature || le32(p + 8) != from + i - data)
                continue;
            std::memcpy(descriptor, p, kDescriptor);
            at = from + i;
            return true;
        }
    }
    return false;
}

void put_le(std::string &out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

}  // namespace

std::optional<SalvagedDirectory> SalvageZipDirectory(uint64_t size, const ReadAtFn &readAt) {
    constexpr uint16_t kMaxEntries = 0xFFFE;  // 0xFFFF marks a zip64 archive
    SalvagedDirectory salvaged;
    std::string &records = salvaged.directory;
    uint64_t at = 0;
    while (salvaged.entries < kMaxEntries && size - at >= kLocalHeader) {
        unsigned char header[kLocalHeader];
        if (!readAt(at, header, sizeof header) || le32(header) != kLocalSignature) break;
        const uint16_t flags = le16(header + 6), nameLength = le16(header + 26);
        uint32_t crc = le32(header + 14), packed = le32(header + 18), unpacked = le32(header + 22);
        const uint64_t data = at + kLocalHeader + nameLength + le16(header + 28);
        if (data > size || packed == 0xFFFFFFFF || unpacked == 0xFFFFFFFF) break;
        std::string name(nameLength, '\0');
        if (!readAt(at + kLocalHeader, name.data(), nameLength)) break;
        uint64_t next = 0;
        if (flags & 8) {
            unsigned char descriptor[kDescriptor];
            uint64_t found = 0;
            if (!find_descriptor(data, size, readAt, descriptor, found)) break;
            crc = le32(descriptor + 4);
            packed = le32(descriptor + 8);
            unpacked = le32(descriptor + 12);
            next = found + kDescriptor;
        } else {
            if (packed > size - data) break;
            next = data + packed;
        }
        // Past what a 32-bit offset can name, or a directory too long.
        if (next > 0xFFFFFFFF || records.size() + kRecord + nameLength + kEndRecord > kMaxDirectory)
            break;
        put_le(records, kRecordSignature, 4);
        put_le(records, 20, 2);                                          // made by: MS-DOS, zip 2.0
        records.append(reinterpret_cast<const char *>(header + 4), 10);  // needed .. date
        for (uint32_t v : {crc, packed, unpacked}) put_le(records, v, 4);
        for (uint32_t v : {uint32_t{nameLength}, 0u, 0u, 0u, 0u}) put_le(records, v, 2);
        put_le(records, 0, 4);  // external attributes
        put_le(records, static_cast<uint32_t>(at), 4);
        records += name;
        ++salvaged.entries;
        salvaged.cut = at = next;
    }
    if (salvaged.entries == 0) return std::nullopt;
    const auto directorySize = static_cast<uint32_t>(records.size());
    put_le(records, kEndSignature, 4);
    for (uint32_t v : {0u, 0u, uint32_t{salvaged.entries}, uint32_t{salvaged.entries}})
        put_le(records, v, 2);
    put_le(records, directorySize, 4);
    put_le(records, static_cast<uint32_t>(salvaged.cut), 4);
    put_le(records, 0, 2);  // comment
    return salvaged;
}

int ZipFormatFromDirectory(uint64_t size, const ReadAtFn &readAt) {
    ZipDirectory directory;
    if (!FindZipDirectory(size, readAt, directory)) return DX_FMT_UNKNOWN;
    std::string dir(directory.size, '\0');
    if (directory.size > 0 && !readAt(directory.offset, dir.data(), directory.size))
        return DX_FMT_UNKNOWN;

    bool contentTypes = false, word = false, sheet = false, slides = false, binarySheet = false,
         drawing = false;
    uint32_t members = 0;  // beside the Finder's entries
    bool fictionBook = false;
    // A Zoner Draw 4 or 5 drawing: its content and its preview, nothing else.
    bool zonerContent = false, zonerOnly = true;
    bool hwpx = false;  // the names of a Hangul package without its `mimetype` entry
    XpsLayout xps;
    IworkLayout iwork;
    PackageLayout package;
    std::optional<ZipEntry> rels;  // the root relationships' directory record
    ZipRecords records(dir, directory.entries);
    for (ZipEntry entry; records.Next(entry);) {
        const std::string_view name = entry.name;
        contentTypes = contentTypes || SamePartName(name, "[Content_Types].xml");
        word = word || SamePartName(name, "word/document.xml");
        sheet = sheet || SamePartName(name, "xl/workbook.xml");
        slides = slides || SamePartName(name, "ppt/presentation.xml");
        binarySheet = binarySheet || SamePartName(name, "xl/workbook.bin");
        drawing = drawing || SamePartName(name, "visio/document.xml");
        if (!IsFinderEntry(name)) {
            fictionBook = ++members == 1 && ends_with_fb2(name);
            zonerContent = zonerContent || name == "content.zmf";
            zonerOnly = zonerOnly && (name == "content.zmf" || name == "preview.bmp");
        }
        hwpx = hwpx || name == "Contents/content.hpf" || name == "Contents/section0.xml" ||
               name == "version.xml";
        xps.Add(name);
        iwork.Add(name);
        package.Add(name);
        if (!rels && SamePartName(name, "_rels/.rels")) rels = entry;
    }
    if (records.Damaged()) return DX_FMT_UNKNOWN;
    if (package.Folder().empty() && package.Mimetype())
        return DX_FMT_UNKNOWN;  // its content decides
    if (contentTypes && word) return DX_FMT_DOCX;
    if (contentTypes && sheet) return DX_FMT_XLSX;
    if (contentTypes && slides) return DX_FMT_PPTX;
    if (contentTypes && binarySheet) return DX_FMT_XLSX;  // XLSB, read as XLSX is
    // A Visio package: its content types, compressed as a rule, tell.
    if (contentTypes && drawing) return DX_FMT_UNKNOWN;
    // Root relationships stored as they are decide; compressed ones cannot
    // be read here, and the layout decides.
    const std::string relsContent = rels ? read_stored(*rels, size, readAt) : std::string();
    if (!relsContent.empty()) {
        if (NamesXpsRepresentation(relsContent)) return DX_FMT_XPS;
    } else if (xps.Found()) {
        return DX_FMT_XPS;
    }
    // A word processing document whose main part has another name: the
    // root relationships, compressed as a rule, and the content types tell.
    if (contentTypes && rels) return DX_FMT_UNKNOWN;
    if (fictionBook) return DX_FMT_FICTIONBOOK;
    if (zonerContent && zonerOnly) return DX_FMT_ZONER;
    if (iwork.Found()) return DX_FMT_IWORK;
    // An OpenDocument or EPUB package without its `mimetype` entry, or one
    // zipped as a folder: the `mimetype` entry, the manifest or the
    // container, compressed as a rule, tells its kind. A Hangul package
    // without its `mimetype` entry: its part names together, or the
    // namespace of its version part, tell.
    if (package.Found() || hwpx) return DX_FMT_UNKNOWN;
    return DX_FMT_ZIP;
}

}  // namespace dxf
