// ole_scan.cpp - OLE document kinds from the root entries of their directory.
#include "filters/dxfilter/ole_scan.h"

#include <algorithm>
#include <array>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "doctype/dx_abi.h"
#include "filters/dxfilter/bytes.h"

namespace dxf {
namespace {

constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr uint32_t kNoEntry = 0xFFFFFFFF;
constexpr size_t kEntryBytes = 128;
constexpr size_t kHeaderFatSlots = 109;
constexpr int kMaxDirectorySectors = 256;
constexpr int kMaxVisited = 4096;  // root entries looked at
constexpr int kStreamEntry = 2;

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

// Directory entries read as the walk needs them, following the chain of
// directory sectors through the allocation table sectors the header names.
class Directory {
  public:
    Directory(std::span<const unsigned char> head, const ReadAtFn &readAt, unsigned shift)
        : head_(head), readAt_(readAt), shift_(shift), next_(le32(head.data() + 0x30)) {}

    // Entry `index`, or null when it cannot be read.
    const unsigned char *Entry(uint32_t index) {
        const size_t perSector = (size_t{1} << shift_) / kEntryBytes;
        while (index / perSector >= sectors_.size()) {
            if (!LoadNext()) return nullptr;
        }
        return reinterpret_cast<const unsigned char *>(sectors_[index / perSector].data()) +
               (index % perSector) * kEntryBytes;
    }

  private:
    bool LoadNext() {
        if (next_ >= kEndOfChain || sectors_.size() >= kMaxDirectorySectors) return false;
        const size_t sectorSize = size_t{1} << shift_;
        std::string sector(sectorSize, '\0');
        if (!readAt((uint64_t{next_} + 1) << shift_, sector.data(), sectorSize)) return false;
        const uint32_t perFatSector = static_cast<uint32_t>(sectorSize / 4);
        const uint32_t fatIndex = next_ / perFatSector;
        if (fatIndex >= kHeaderFatSlots) return false;
        const uint32_t fatSector = le32(head_.data() + 0x4C + 4 * fatIndex);
        unsigned char link[4];
        if (fatSector >= kEndOfChain ||
            !readAt(((uint64_t{fatSector} + 1) << shift_) + 4 * (next_ % perFatSector), link, 4))
            return false;
        sectors_.push_back(std::move(sector));
        next_ = le32(link);
        return true;
    }
    bool readAt(uint64_t at, void *out, size_t n) { return readAt_(at, out, n); }

    std::span<const unsigned char> head_;
    const ReadAtFn &readAt_;
    unsigned shift_;
    uint32_t next_;  // the next directory sector to read
    std::vector<std::string> sectors_;
};

// The row of kKinds a stream entry is named by (names compare ignoring
// case), or kKinds.size().
size_t entry_kind(const unsigned char *entry) {
    if (entry[66] != kStreamEntry) return kKinds.size();
    const size_t nameBytes = entry[64] | (entry[65] << 8);  // with the terminating zero
    if (nameBytes < 4 || nameBytes > 64 || nameBytes % 2) return kKinds.size();
    const size_t length = nameBytes / 2 - 1;
    for (size_t k = 0; k < kKinds.size(); ++k) {
        const std::string_view name = kKinds[k].name;
        if (name.size() != length) continue;
        size_t i = 0;
        while (i < length && entry[2 * i + 1] == 0 &&
               ascii_lower(static_cast<char>(entry[2 * i])) == ascii_lower(name[i]))
            ++i;
        if (i == length) return k;
    }
    return kKinds.size();
}

}  // namespace

int OleFormatFromDirectory(std::span<const unsigned char> head, const ReadAtFn &readAt) {
    if (head.size() < 512) return DX_FMT_UNKNOWN;
    const unsigned shift = head[0x1E] | (head[0x1F] << 8);
    if (shift != 9 && shift != 12) return DX_FMT_UNKNOWN;
    Directory dir(head, readAt, shift);
    const unsigned char *root = dir.Entry(0);
    if (!root) return DX_FMT_UNKNOWN;
    // The root's children form a binary tree through their left and right
    // sibling links; a damaged file may link them in a cycle.
    std::vector<uint32_t> pending{le32(root + 76)};
    std::set<uint32_t> seen;
    size_t best = kKinds.size();
    while (!pending.empty()) {
        const uint32_t index = pending.back();
        pending.pop_back();
        if (index == kNoEntry || index == 0 || !seen.insert(index).second) continue;
        if (seen.size() > kMaxVisited) return DX_FMT_UNKNOWN;
        const unsigned char *entry = dir.Entry(index);
        if (!entry) return DX_FMT_UNKNOWN;
        best = std::min(best, entry_kind(entry));
        pending.push_back(le32(entry + 68));
        pending.push_back(le32(entry + 72));
    }
    return best < kKinds.size() ? kKinds[best].format : DX_FMT_OLE;
}

}  // namespace dxf
