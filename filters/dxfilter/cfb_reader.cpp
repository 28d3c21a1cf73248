// cfb_reader.cpp - compound files read by position, with bounded chains and
// walks.
#include "filters/dxfilter/cfb_reader.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "filters/dxfilter/bytes.h"

namespace dxf {
namespace {

constexpr std::string_view kSignature = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
constexpr size_t kHeaderBytes = 512;
constexpr unsigned kMiniShift = 6;
constexpr size_t kMiniSector = size_t{1} << kMiniShift;
// Sectors of the allocation table's extension chain read at most: enough for
// a file of 34 GB.
constexpr size_t kMaxDifatSectors = 4096;

// Header fields.
constexpr size_t kSectorShiftAt = 0x1E, kMiniShiftAt = 0x20, kFatCountAt = 0x2C,
                 kDirectoryAt = 0x30, kCutoffAt = 0x38, kMiniFatAt = 0x3C, kMiniFatCountAt = 0x40,
                 kDifatAt = 0x44, kFatSlotsAt = 0x4C;
// Directory entry fields.
constexpr size_t kNameBytesAt = 64, kTypeAt = 66, kLeftAt = 68, kRightAt = 72, kChildAt = 76,
                 kStartAt = 116, kSizeAt = 120;

}  // namespace

bool CompoundFile::Open(std::span<const unsigned char> head, ReadAtFn readAt, uint64_t size,
                        const Options &options) {
    if (head.size() < kHeaderBytes ||
        std::memcmp(head.data(), kSignature.data(), kSignature.size()) != 0)
        return false;
    shift_ = le16(head.data() + kSectorShiftAt);
    if (shift_ != 9 && shift_ != 12) return false;
    sector_ = size_t{1} << shift_;
    std::copy_n(head.begin(), kHeaderBytes, head_.begin());
    readAt_ = std::move(readAt);
    options_ = options;
    cutoff_ = le32(head_.data() + kCutoffAt);
    nextDirectory_ = le32(head_.data() + kDirectoryAt);
    nextDifat_ = le32(head_.data() + kDifatAt);
    if (options_.mode == Mode::kLazy) {
        for (size_t i = 0; i < kHeaderFatSlots; ++i)
            fatSectors_.push_back(le32(head_.data() + kFatSlotsAt + 4 * i));
        return true;
    }
    if (le16(head_.data() + kMiniShiftAt) != kMiniShift || !LoadFat(size)) return false;
    while (LoadDirectorySector()) {
    }
    return !directoryBroken_;
}

bool CompoundFile::Open(std::string_view file, const Options &options) {
    const auto readAt = [file](uint64_t at, void *out, size_t n) {
        if (at > file.size() || n > file.size() - at) return false;
        if (n > 0) std::memcpy(out, file.data() + at, n);
        return true;
    };
    return Open(std::span(reinterpret_cast<const unsigned char *>(file.data()), file.size()),
                readAt, file.size(), options);
}

const unsigned char *CompoundFile::OpenRoot(std::string_view file, size_t maxEntries) {
    Options options;
    options.mode = Mode::kWhole;
    options.maxDirectoryEntries = maxEntries;
    if (!Open(file, options)) return nullptr;
    const unsigned char *root = Entry(0);
    return root && Info(root).type == kRootEntry ? root : nullptr;
}

bool CompoundFile::ReadSector(uint32_t id, std::string &out) const {
    return ReadSector(id, out, sector_);
}

bool CompoundFile::ReadSector(uint32_t id, std::string &out, size_t bytes) const {
    if (id > kMaxSectorId) return false;
    out.resize(bytes);
    return readAt_((uint64_t{id} + 1) << shift_, out.data(), bytes);
}

bool CompoundFile::LoadFat(uint64_t size) {
    const uint32_t count = le32(head_.data() + kFatCountAt);
    if (count > (size >> shift_)) return false;
    for (size_t i = 0; i < kHeaderFatSlots && fatSectors_.size() < count; ++i)
        fatSectors_.push_back(le32(head_.data() + kFatSlotsAt + 4 * i));
    if (!ListFatSectors(count)) return false;
    std::string s;
    for (uint32_t id : fatSectors_) {
        if (!ReadSector(id, s)) return false;
        const auto *p = reinterpret_cast<const unsigned char *>(s.data());
        for (size_t i = 0; i < sector_; i += 4) fat_.push_back(le32(p + i));
    }
    return !fat_.empty();
}

bool CompoundFile::ListFatSectors(size_t want) const {
    // Allocation table sectors beyond the header's slots are listed in a
    // chain of sectors whose last slot links the next.
    const uint32_t count = le32(head_.data() + kFatCountAt);
    std::string s;
    while (fatSectors_.size() < std::min<size_t>(want, count) && nextDifat_ <= kMaxSectorId) {
        if (difatBroken_ || difatSeen_.size() >= kMaxDifatSectors || !ReadSector(nextDifat_, s) ||
            !difatSeen_.insert(nextDifat_).second) {
            difatBroken_ = true;
            return false;
        }
        const auto *p = reinterpret_cast<const unsigned char *>(s.data());
        for (size_t i = 0; i + 4 < sector_ && fatSectors_.size() < count; i += 4)
            fatSectors_.push_back(le32(p + i));
        nextDifat_ = le32(p + sector_ - 4);
    }
    return true;
}

uint64_t CompoundFile::FatEntries() const {
    if (options_.mode == Mode::kWhole) return fat_.size();
    const uint32_t count = le32(head_.data() + kFatCountAt);
    return uint64_t{std::max<uint32_t>(count, kHeaderFatSlots)} * (sector_ / 4);
}

std::optional<uint32_t> CompoundFile::Next(uint32_t sector) const {
    if (options_.mode == Mode::kWhole) {
        if (sector >= fat_.size()) return std::nullopt;
        return fat_[sector];
    }
    const uint32_t perFatSector = static_cast<uint32_t>(sector_ / 4);
    const uint32_t index = sector / perFatSector;
    if (index >= fatSectors_.size()) ListFatSectors(size_t{index} + 1);
    if (index >= fatSectors_.size() || fatSectors_[index] > kMaxSectorId) return std::nullopt;
    unsigned char link[4];
    const uint64_t at =
        ((uint64_t{fatSectors_[index]} + 1) << shift_) + 4 * (sector % perFatSector);
    if (!readAt_(at, link, sizeof link)) return std::nullopt;
    return le32(link);
}

bool CompoundFile::LoadDirectorySector() {
    if (directoryEnded_ || directoryBroken_) return false;
    const size_t perSector = sector_ / kEntryBytes;
    if (nextDirectory_ > kMaxSectorId || directory_.size() >= options_.maxDirectorySectors ||
        directory_.size() * perSector >= options_.maxDirectoryEntries) {
        directoryEnded_ = true;
        return false;
    }
    // A sector counts once its link can be read too; a chain longer than
    // the allocation table has entries loops.
    std::string s;
    const auto link = ReadSector(nextDirectory_, s) ? Next(nextDirectory_) : std::nullopt;
    if (!link || directory_.size() + 1 > FatEntries()) {
        directoryBroken_ = true;
        return false;
    }
    directory_.push_back(std::move(s));
    nextDirectory_ = *link;
    return true;
}

const unsigned char *CompoundFile::Entry(uint32_t index) {
    const size_t perSector = sector_ / kEntryBytes;
    while (index / perSector >= directory_.size()) {
        if (!LoadDirectorySector()) return nullptr;
    }
    return reinterpret_cast<const unsigned char *>(directory_[index / perSector].data()) +
           (index % perSector) * kEntryBytes;
}

CompoundFile::EntryInfo CompoundFile::Info(const unsigned char *entry) {
    return EntryInfo{entry[kTypeAt],         le32(entry + kLeftAt),  le32(entry + kRightAt),
                     le32(entry + kChildAt), le32(entry + kStartAt), le32(entry + kSizeAt)};
}

std::string CompoundFile::StreamName(const unsigned char *entry) {
    return entry[kTypeAt] == kStreamEntry ? Name(entry) : std::string();
}

std::string CompoundFile::Name(const unsigned char *entry) {
    const size_t nameBytes = le16(entry + kNameBytesAt);  // with the terminating zero
    if (nameBytes < 4 || nameBytes > 64 || nameBytes % 2) return {};
    std::string name;
    for (size_t i = 0; i + 2 < nameBytes; i += 2) {
        const uint16_t unit = le16(entry + i);
        if (unit == 0 || unit > 0x7E) return {};
        name += static_cast<char>(unit >= 'a' && unit <= 'z' ? unit - 32 : unit);
    }
    return name;
}

bool CompoundFile::Walk(uint32_t first, size_t maxVisited,
                        const std::function<void(uint32_t, const unsigned char *)> &visit,
                        size_t *unreadable) {
    // Siblings form a binary tree through their left and right links; a
    // damaged file may link them in a cycle.
    std::vector<uint32_t> pending{first};
    std::set<uint32_t> seen;
    while (!pending.empty()) {
        const uint32_t index = pending.back();
        pending.pop_back();
        if (index == kNoEntry || index == 0 || seen.contains(index)) continue;
        const unsigned char *entry = Entry(index);
        if (!entry) {
            if (unreadable) ++*unreadable;
            continue;
        }
        seen.insert(index);
        if (seen.size() > maxVisited) return false;
        pending.push_back(le32(entry + kLeftAt));
        pending.push_back(le32(entry + kRightAt));
        visit(index, entry);
    }
    return true;
}

bool CompoundFile::LoadMiniStream() {
    if (le16(head_.data() + kMiniShiftAt) != kMiniShift) return false;
    const uint32_t count = le32(head_.data() + kMiniFatCountAt);
    if (count > FatEntries()) return false;
    const unsigned char *root = Entry(0);
    if (!root) return false;
    const EntryInfo info = Info(root);
    const auto table = SectorChain(le32(head_.data() + kMiniFatAt), uint64_t{count} * sector_);
    auto stream = SectorChain(info.start, info.size);
    if (!table || !stream) return false;
    const auto *p = reinterpret_cast<const unsigned char *>(table->data());
    miniFat_.clear();
    for (size_t i = 0; i + 4 <= table->size(); i += 4) miniFat_.push_back(le32(p + i));
    miniStream_ = std::move(*stream);
    return true;
}

std::optional<std::string> CompoundFile::SectorChain(uint32_t start, uint64_t size) const {
    std::string out, s;
    std::set<uint32_t> seen;
    uint32_t id = start;
    while (out.size() < size) {
        // Of the last sector, only the bytes the stream reaches: some
        // writers end the file there.
        const auto bytes = static_cast<size_t>(std::min<uint64_t>(sector_, size - out.size()));
        if (id >= FatEntries() || !seen.insert(id).second || !ReadSector(id, s, bytes))
            return std::nullopt;
        out += s;
        if (out.size() < size) {
            const auto next = Next(id);
            if (!next) return std::nullopt;
            id = *next;
        }
    }
    return out;
}

std::optional<std::string> CompoundFile::MiniChain(uint32_t start, uint64_t size) const {
    std::string out;
    std::vector<bool> seen(miniFat_.size());
    uint32_t id = start;
    while (out.size() < size) {
        if (id >= miniFat_.size() || seen[id] ||
            uint64_t{id} * kMiniSector + kMiniSector > miniStream_.size())
            return std::nullopt;
        seen[id] = true;
        out.append(miniStream_, size_t{id} * kMiniSector,
                   static_cast<size_t>(std::min<uint64_t>(kMiniSector, size - out.size())));
        id = miniFat_[id];
    }
    return out;
}

std::optional<std::string> CompoundFile::Read(uint32_t start, uint64_t size, uint64_t cap) const {
    const uint64_t want = std::min(size, cap);
    return size < cutoff_ ? MiniChain(start, want) : SectorChain(start, want);
}

}  // namespace dxf
