// cfb_reader.h - a small reader of OLE compound files (the container of
// legacy Word, Excel and PowerPoint documents and of Outlook messages): the
// header, the allocation table (with its extension sectors), the directory
// and its trees of entries, streams in sectors and in the mini stream. The
// file is read by position, only as far as asked; every chain is checked
// for loops and for sectors outside the file, and every walk is bounded.
//
// Two ways to open a file, for the plug-in's two uses:
// - kLazy (telling a document's kind from its directory, a few reads): the
//   allocation table is the sectors the header's 109 slots name, whatever
//   the header's count of them says, and beyond them, up to that count,
//   those its extension chain lists, read when a lookup needs them; a
//   directory sector is read when an entry in it is asked for, and a sector
//   that cannot be read ends the directory there.
// - kWhole (reading a message from memory): the allocation table is as many
//   sectors as the header counts (its slots, then the chain of extension
//   sectors) and must lie in the file whole, the mini sector must be 64
//   bytes, and the whole directory chain must be readable; Open fails
//   otherwise.
#ifndef GLOTTA_FILTERS_DXFILTER_CFB_READER_H
#define GLOTTA_FILTERS_DXFILTER_CFB_READER_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "filters/dxfilter/zip_scan.h"

namespace dxf {

class CompoundFile {
  public:
    // Sector ids above this one are markers (end of chain, free, ...).
    static constexpr uint32_t kMaxSectorId = 0xFFFFFFFA;
    static constexpr uint32_t kNoEntry = 0xFFFFFFFF;  // no sibling, no child
    static constexpr size_t kEntryBytes = 128;
    static constexpr size_t kHeaderFatSlots = 109;
    static constexpr int kStorageEntry = 1, kStreamEntry = 2, kRootEntry = 5;

    enum class Mode { kLazy, kWhole };
    struct Options {
        Mode mode = Mode::kLazy;
        // Directory sectors, and entries, read at most (whichever comes
        // first); entries beyond them cannot be read.
        size_t maxDirectorySectors = SIZE_MAX;
        size_t maxDirectoryEntries = SIZE_MAX;
    };

    // A directory entry's fields.
    struct EntryInfo {
        int type;
        uint32_t left, right, child;
        uint32_t start;
        uint64_t size;  // the low 32 bits of the entry's size
    };

    // Opens the file whose first bytes are `head` (the 512-byte header at
    // least) and whose bytes `readAt` reads by position; `size` is its
    // size (kWhole compares the header's counts with it). False when the
    // signature or sector size is wrong, or, for kWhole, the allocation
    // table or directory cannot be read.
    bool Open(std::span<const unsigned char> head, ReadAtFn readAt, uint64_t size,
              const Options &options);
    // The same for a file held whole in `file`, which must outlive the reader.
    bool Open(std::string_view file, const Options &options);
    // Opens a file held whole as kWhole does, reading at most `maxEntries`
    // directory entries, and answers its root entry; null when the file
    // cannot be opened or its first entry is no root.
    const unsigned char *OpenRoot(std::string_view file, size_t maxEntries);

    // The 128 bytes of directory entry `index` (0 is the root), or null when
    // it cannot be read. Valid while the reader lives.
    const unsigned char *Entry(uint32_t index);
    static EntryInfo Info(const unsigned char *entry);
    // The entry's name in upper case when it is a stream whose name is
    // printable ASCII (1 to 31 characters); empty otherwise.
    static std::string StreamName(const unsigned char *entry);
    // The same for an entry of any type (a storage's name, too).
    static std::string Name(const unsigned char *entry);

    // Visits the entries of the tree whose top is `first` (the child of a
    // storage or of the root) through their sibling links, each once, with
    // the entry index and its bytes; a depth-first walk that takes the
    // right sibling before the left. Entries that cannot be read are
    // skipped and counted in `unreadable` (when given). False when more
    // than `maxVisited` entries are reached (a damaged or hostile tree).
    // The walk keeps its own stack: a deep tree costs no recursion.
    bool Walk(uint32_t first, size_t maxVisited,
              const std::function<void(uint32_t index, const unsigned char *entry)> &visit,
              size_t *unreadable = nullptr);

    // Loads the mini stream (the root's stream) and its allocation table,
    // for streams shorter than the cutoff; false when either chain is
    // broken.
    bool LoadMiniStream();
    // A stream's bytes (at most `cap`): from the mini stream when its size
    // is below the cutoff (load it first), else from sectors. Null when
    // the chain ends early, loops or leaves the file.
    std::optional<std::string> Read(uint32_t start, uint64_t size, uint64_t cap) const;
    uint32_t MiniCutoff() const { return cutoff_; }

  private:
    std::optional<uint32_t> Next(uint32_t sector) const;
    bool ListFatSectors(size_t want) const;
    uint64_t FatEntries() const;
    bool ReadSector(uint32_t id, std::string &out) const;
    // The first `bytes` of sector `id`.
    bool ReadSector(uint32_t id, std::string &out, size_t bytes) const;
    bool LoadFat(uint64_t size);
    bool LoadDirectorySector();
    std::optional<std::string> SectorChain(uint32_t start, uint64_t size) const;
    std::optional<std::string> MiniChain(uint32_t start, uint64_t size) const;

    std::array<unsigned char, 512> head_{};
    ReadAtFn readAt_;
    Options options_;
    unsigned shift_ = 9;
    size_t sector_ = 512;
    uint32_t cutoff_ = 4096;
    // The allocation table's sectors (kLazy lists those beyond the header's
    // slots as lookups need them), the next sector of their extension chain
    // and those read; kWhole holds the table's entries as well.
    mutable std::vector<uint32_t> fatSectors_;
    mutable uint32_t nextDifat_ = 0;
    mutable std::set<uint32_t> difatSeen_;
    mutable bool difatBroken_ = false;
    std::vector<uint32_t> fat_;
    // Directory sectors read so far (a deque: entries handed out stay where
    // they are), the next one in the chain, and whether the chain has ended
    // or broke.
    std::deque<std::string> directory_;
    uint32_t nextDirectory_ = 0;
    bool directoryEnded_ = false, directoryBroken_ = false;
    std::vector<uint32_t> miniFat_;
    std::string miniStream_;
};

}  // namespace dxf

#endif
