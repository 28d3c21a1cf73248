// zip_scan.cpp - office package types from zip central directory names.
#include "filters/dxfilter/zip_scan.h"

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

// Offset of the end-of-directory record within `tail`, or npos.
size_t find_end_record(const std::vector<unsigned char> &tail) {
    if (tail.size() < kEndRecord) return std::string_view::npos;
    for (size_t i = tail.size() - kEndRecord + 1; i-- > 0;)
        if (tail[i] == 'P' && tail[i + 1] == 'K' && tail[i + 2] == 5 && tail[i + 3] == 6) return i;
    return std::string_view::npos;
}

bool read_tail(uint64_t size, size_t want, const ReadAtFn &readAt,
               std::vector<unsigned char> &tail) {
    size_t n = size < want ? static_cast<size_t>(size) : want;
    tail.resize(n);
    return readAt(size - n, tail.data(), n);
}

constexpr uint32_t kMaxStoredRels = 64u << 10;

// The stored (uncompressed) content of the entry whose central directory
// record is `rec`; empty when it is compressed, too long or unreadable.
std::string read_stored(const unsigned char *rec, uint64_t size, const ReadAtFn &readAt) {
    const uint16_t method = le16(rec + 10);
    const uint32_t stored = le32(rec + 20), length = le32(rec + 24), local = le32(rec + 42);
    if (method != 0 || stored != length || stored == 0 || stored > kMaxStoredRels) return {};
    unsigned char header[30];
    if (uint64_t{local} + sizeof header > size || !readAt(local, header, sizeof header) ||
        le32(header) != 0x04034b50)
        return {};
    const uint64_t at = uint64_t{local} + sizeof header + le16(header + 26) + le16(header + 28);
    if (at + stored > size) return {};
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

void IworkLayout::Add(std::string_view name) {
    root_.Add(name);
    if (IsFinderEntry(name)) return;
    const size_t slash = name.find('/');
    if (slash == std::string_view::npos) {
        besideFolder_ = true;
        return;
    }
    const std::string_view folder = name.substr(0, slash + 1);
    if (folder_.empty())
        folder_ = folder;
    else if (folder != folder_)
        besideFolder_ = true;
    if (folder == folder_) inFolder_.Add(name.substr(slash + 1));
}

bool IworkLayout::InFolder() const {
    if (besideFolder_ || !inFolder_.Found()) return false;
    const std::string_view name = std::string_view(folder_).substr(0, folder_.size() - 1);
    for (const std::string_view extension : kPackageExtensions)
        if (name.size() > extension.size() && iends_with(name, extension)) return true;
    return false;
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

int ZipFormatFromDirectory(uint64_t size, const ReadAtFn &readAt) {
    std::vector<unsigned char> tail;
    if (!read_tail(size, kTailFirst, readAt, tail)) return DX_FMT_UNKNOWN;
    size_t end = find_end_record(tail);
    if (end == std::string_view::npos && size > kTailFirst) {
        if (!read_tail(size, kTailMax, readAt, tail)) return DX_FMT_UNKNOWN;
        end = find_end_record(tail);
    }
    if (end == std::string_view::npos) return DX_FMT_UNKNOWN;
    const unsigned char *rec = tail.data() + end;
    uint16_t entries = le16(rec + 10);
    uint32_t dirSize = le32(rec + 12), dirOffset = le32(rec + 16);
    // Zip64 and directories that do not fit the file are libzip's business.
    if (entries == 0xFFFF || dirOffset == 0xFFFFFFFF || dirSize > kMaxDirectory ||
        uint64_t{dirOffset} + dirSize > size)
        return DX_FMT_UNKNOWN;
    std::vector<unsigned char> dir(dirSize);
    if (dirSize > 0 && !readAt(dirOffset, dir.data(), dirSize)) return DX_FMT_UNKNOWN;

    bool contentTypes = false, word = false, sheet = false, slides = false, mimetype = false;
    bool manifest = false;
    uint32_t members = 0;  // beside the Finder's entries
    bool fictionBook = false;
    XpsLayout xps;
    IworkLayout iwork;
    size_t relsAt = std::string_view::npos;  // the root relationships' directory record
    size_t at = 0;
    for (uint32_t i = 0; i < entries; ++i) {
        if (at + 46 > dir.size() || le32(dir.data() + at) != 0x02014b50) return DX_FMT_UNKNOWN;
        size_t nameLen = le16(dir.data() + at + 28), extraLen = le16(dir.data() + at + 30),
               commentLen = le16(dir.data() + at + 32);
        if (at + 46 + nameLen > dir.size()) return DX_FMT_UNKNOWN;
        std::string_view name(reinterpret_cast<const char *>(dir.data() + at + 46), nameLen);
        contentTypes = contentTypes || name == "[Content_Types].xml";
        word = word || name == "word/document.xml";
        sheet = sheet || name == "xl/workbook.xml";
        slides = slides || name == "ppt/presentation.xml";
        mimetype = mimetype || name == "mimetype";
        manifest = manifest || name == "META-INF/manifest.xml";
        if (!IsFinderEntry(name)) fictionBook = ++members == 1 && ends_with_fb2(name);
        xps.Add(name);
        iwork.Add(name);
        if (relsAt == std::string_view::npos && iequals(name, "_rels/.rels")) relsAt = at;
        at += 46 + nameLen + extraLen + commentLen;
    }
    if (mimetype) return DX_FMT_UNKNOWN;  // its content decides
    if (contentTypes && word) return DX_FMT_DOCX;
    if (contentTypes && sheet) return DX_FMT_XLSX;
    if (contentTypes && slides) return DX_FMT_PPTX;
    // Root relationships stored as they are decide; compressed ones cannot
    // be read here, and the layout decides.
    const std::string rels = relsAt == std::string_view::npos
                                 ? std::string()
                                 : read_stored(dir.data() + relsAt, size, readAt);
    if (!rels.empty()) {
        if (NamesXpsRepresentation(rels)) return DX_FMT_XPS;
    } else if (xps.Found()) {
        return DX_FMT_XPS;
    }
    if (fictionBook) return DX_FMT_FICTIONBOOK;
    if (iwork.Found()) return DX_FMT_IWORK;
    // An OpenDocument package without its `mimetype` entry: the manifest,
    // compressed as a rule, tells its kind.
    if (manifest) return DX_FMT_UNKNOWN;
    return DX_FMT_ZIP;
}

}  // namespace dxf
