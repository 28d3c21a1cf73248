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

constexpr size_t kMaxDirectorySectors = 256;
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
};

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
    options.maxDirectorySectors = kMaxDirectorySectors;
    if (!file.Open(head, readAt, 0, options)) return DX_FMT_UNKNOWN;
    const unsigned char *root = file.Entry(0);
    if (!root) return DX_FMT_UNKNOWN;
    // Only the root's own children count: the walk does not go into storages.
    size_t best = kKinds.size(), unreadable = 0;
    const bool walked = file.Walk(
        CompoundFile::Info(root).child, kMaxVisited,
        [&](uint32_t, const unsigned char *entry) { best = std::min(best, entry_kind(entry)); },
        &unreadable);
    if (!walked || unreadable > 0) return DX_FMT_UNKNOWN;
    return best < kKinds.size() ? kKinds[best].format : DX_FMT_OLE;
}

}  // namespace dxf
