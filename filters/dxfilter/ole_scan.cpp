// ole_scan.cpp - OLE document kinds from the root entries of their directory
// (read lazily by the compound file reader: a few sector reads).
#include "filters/dxfilter/ole_scan.h"

#include <algorithm>
#include <array>
#include <string>
#include <string_view>

#include "doctype/dx_abi.h"
#include "filters/dxfilter/bytes.h"
#include "filters/dxfilter/cfb_reader.h"

namespace dxf {
namespace {

// Directory entries read at most: as many as the message and Hangul readers
// read, so that a message with a thousand recipients or attachments (whose
// directory runs to thousands of sectors) is told as one.
constexpr size_t kMaxDirectoryEntries = 1u << 16;
constexpr size_t kMaxVisited = 4096;  // root entries looked at

struct Kind {
    std::string_view name;
    int format;
};
// In the order they win when a root holds several.
constexpr std::array kKinds = {
    Kind{"WordDocument", DX_FMT_DOC},
    Kind{"Workbook", DX_FMT_XLS},
    Kind{"Book", DX_FMT_XLS},
    Kind{"PowerPoint Document", DX_FMT_PPT},
    // An Outlook message file: the table of the message's properties.
    Kind{"__properties_version1.0", DX_FMT_MAIL},
    // A Works 3 or 4 for Windows document (word processor or database).
    Kind{"MN0", DX_FMT_WORKS},
    // A Visio drawing (Visio 2000 to 2010, and the versions before).
    Kind{"VisioDocument", DX_FMT_VISIO},
    // StarOffice 3 to 5 documents: StarWriter, StarCalc, and StarDraw or
    // StarImpress (the same stream; StarOffice 3.0 wrote it without the 3).
    Kind{"StarWriterDocument", DX_FMT_STARWRITER},
    Kind{"StarCalcDocument", DX_FMT_STARCALC},
    Kind{"StarDrawDocument3", DX_FMT_STARDRAW},
    Kind{"StarDrawDocument", DX_FMT_STARDRAW},
};

// The stream of a Works 2000 to 9 document, and the magic its first chunk
// index opens with (Works 2000, Works 7 and later).
constexpr std::string_view kWorksContents = "CONTENTS";
constexpr std::array<std::string_view, 2> kWorksChunkMagics = {"CHNKINK", "CHNKWKS"};

// The two streams every Hangul word processor document holds at its root:
// its file header and its document information (fonts, styles, ...). The
// header's signature is the reader's to check.
constexpr std::string_view kHwpHeader = "FILEHEADER";
constexpr std::string_view kHwpDocInfo = "DOCINFO";

// A Publisher document: its `Contents` stream (the name the Works stream
// has, ignoring case) opens with Publisher's signature; from Publisher 98 on
// the stories are in a `Quill` storage beside it.
constexpr std::string_view kPublisherQuill = "QUILL";
constexpr std::string_view kPublisherSignature = "\xE8\xAC";

// The first bytes of the root stream `entry` named CONTENTS (as many as
// the Works magics have), read when it has sectors of its own (one sector
// read; Works and Publisher 97 write longer ones than the mini stream
// holds); empty otherwise.
std::string contents_head(const CompoundFile &file, const unsigned char *entry) {
    const CompoundFile::EntryInfo info = CompoundFile::Info(entry);
    if (info.size < file.MiniCutoff()) return {};
    return file.Read(info.start, info.size, kWorksChunkMagics[0].size()).value_or(std::string());
}

// The row of kKinds a stream entry is named by (names compare ignoring
// case), or kKinds.size().
size_t entry_kind(const unsigned char *entry) {
    const std::string name = CompoundFile::StreamName(entry);
    for (size_t k = 0; k < kKinds.size(); ++k) {
        if (iequals(name, kKinds[k].name)) return k;
    }
    return kKinds.size();
}

}  // namespace

int OleFormatFromDirectory(std::span<const unsigned char> head, const ReadAtFn &readAt) {
    CompoundFile file;
    CompoundFile::Options options;
    options.maxDirectoryEntries = kMaxDirectoryEntries;
    if (!file.Open(head, readAt, 0, options)) return DX_FMT_UNKNOWN;
    const unsigned char *root = file.Entry(0);
    if (!root) return DX_FMT_UNKNOWN;
    // Only the root's own children count: the walk does not go into storages.
    size_t best = kKinds.size(), unreadable = 0;
    const unsigned char *contents = nullptr;
    bool hwpHeader = false, hwpDocInfo = false, quill = false;
    const bool walked = file.Walk(
        CompoundFile::Info(root).child, kMaxVisited,
        [&](uint32_t, const unsigned char *entry) {
            best = std::min(best, entry_kind(entry));
            const std::string name = CompoundFile::StreamName(entry);
            if (name == kWorksContents) contents = entry;
            hwpHeader = hwpHeader || name == kHwpHeader;
            hwpDocInfo = hwpDocInfo || name == kHwpDocInfo;
            quill = quill || (CompoundFile::Info(entry).type == CompoundFile::kStorageEntry &&
                              CompoundFile::Name(entry) == kPublisherQuill);
        },
        &unreadable);
    if (!walked || unreadable > 0) return DX_FMT_UNKNOWN;
    if (best < kKinds.size()) return kKinds[best].format;
    if (hwpHeader && hwpDocInfo) return DX_FMT_HWP;
    if (!contents) return DX_FMT_OLE;
    const std::string first = contents_head(file, contents);
    if (std::ranges::find(kWorksChunkMagics, first) != kWorksChunkMagics.end()) return DX_FMT_WORKS;
    return quill || first.starts_with(kPublisherSignature) ? DX_FMT_PUBLISHER : DX_FMT_OLE;
}

}  // namespace dxf
