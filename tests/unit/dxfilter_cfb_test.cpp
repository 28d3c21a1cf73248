// The compound file reader: the header it accepts, allocation table chains
// (loops, sectors past the end, the table's extension sectors), directory
// trees (cycles, bounds, entries past the directory), and streams in
// sectors and in the mini stream (huge sizes, broken chains).
#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "dxfilter_ole_writer.h"
#include "filters/dxfilter/cfb_reader.h"

namespace {

using dxf::CompoundFile;
using dxfilter_ole::kEndOfChain;
using dxfilter_ole::kSector;
using dxfilter_ole::put16;
using dxfilter_ole::put32;
using dxfilter_ole::Streams;
using dxfilter_ole::WrittenCompoundFile;

uint32_t get32(const std::string &s, size_t at) {
    return uint32_t{static_cast<unsigned char>(s[at])} |
           uint32_t{static_cast<unsigned char>(s[at + 1])} << 8 |
           uint32_t{static_cast<unsigned char>(s[at + 2])} << 16 |
           uint32_t{static_cast<unsigned char>(s[at + 3])} << 24;
}

// Byte offsets in a file of the writer: sector `id`, directory entry `i`,
// the allocation table entry of sector `id`.
size_t SectorAt(uint32_t id) {
    return (size_t{id} + 1) * kSector;
}
size_t EntryAt(const std::string &file, size_t i) {
    return SectorAt(get32(file, 0x30)) + 128 * i;
}
size_t FatAt(const std::string &file, uint32_t id) {
    return SectorAt(get32(file, 0x4C)) + 4 * id;
}

CompoundFile::Options Whole() {
    CompoundFile::Options options;
    options.mode = CompoundFile::Mode::kWhole;
    return options;
}

// The reader over `file` in memory.
struct Reader {
    explicit Reader(const std::string &file, CompoundFile::Options options = {})
        : bytes(file), opened(cfb.Open(bytes, options)) {}
    std::string bytes;
    CompoundFile cfb;
    bool opened;

    // The root's children by name; "!" when the walk fails.
    std::set<std::string> Names(size_t maxVisited = 100, size_t *unreadable = nullptr) {
        std::set<std::string> names;
        const unsigned char *root = cfb.Entry(0);
        if (!root) return {"!"};
        const bool ok = cfb.Walk(
            CompoundFile::Info(root).child, maxVisited,
            [&](uint32_t, const unsigned char *e) { names.insert(CompoundFile::StreamName(e)); },
            unreadable);
        if (!ok) names.insert("!");
        return names;
    }
    // Stream `i` of the directory, at most `cap` bytes; "null" when it
    // cannot be read.
    std::string Read(size_t i, uint64_t cap = UINT64_MAX) {
        const unsigned char *e = cfb.Entry(static_cast<uint32_t>(i));
        if (!e) return "null";
        const auto info = CompoundFile::Info(e);
        const auto s = cfb.Read(info.start, info.size, cap);
        return s ? *s : "null";
    }
};

const std::string kShort = "short stream";
const std::string kLong(5000, 'L');

std::string TwoStreams() {
    return WrittenCompoundFile({{"Small", kShort}, {"Large", kLong}});
}

TEST(DxfCfbHeader, SignatureAndSectorSizes) {
    const std::string file = TwoStreams();
    EXPECT_TRUE(Reader(file).opened);
    EXPECT_TRUE(Reader(file, Whole()).opened);
    EXPECT_FALSE(Reader(file.substr(0, 511)).opened);
    std::string bad = file;
    bad[0] = 'X';
    EXPECT_FALSE(Reader(bad).opened);
    for (uint16_t shift : {0, 7, 8, 10, 13, 16, 0xFFFF}) {
        bad = file;
        put16(bad, 0x1E, shift);
        EXPECT_FALSE(Reader(bad).opened) << shift;
    }
    // A mini sector of another size: reading a whole file refuses it; a
    // lazy reader opens and reads the directory, but not the mini stream.
    bad = file;
    put16(bad, 0x20, 7);
    EXPECT_FALSE(Reader(bad, Whole()).opened);
    Reader lazy(bad);
    ASSERT_TRUE(lazy.opened);
    EXPECT_EQ(lazy.Names(), (std::set<std::string>{"SMALL", "LARGE"}));
    EXPECT_FALSE(lazy.cfb.LoadMiniStream());
}

TEST(DxfCfbFat, CountsAndSlots) {
    const std::string file = TwoStreams();
    // More allocation table sectors than the file has sectors; none.
    std::string bad = file;
    put32(bad, 0x2C, static_cast<uint32_t>(file.size() / kSector) + 1);
    EXPECT_FALSE(Reader(bad, Whole()).opened);
    bad = file;
    put32(bad, 0x2C, 0);
    EXPECT_FALSE(Reader(bad, Whole()).opened);
    // The lazy reader trusts the slots, not the count.
    Reader lazy(bad);
    ASSERT_TRUE(lazy.opened);
    EXPECT_EQ(lazy.Names(), (std::set<std::string>{"SMALL", "LARGE"}));
    // A slot naming a sector past the end of the file.
    bad = file;
    put32(bad, 0x4C, 0x00FFFFFF);
    EXPECT_FALSE(Reader(bad, Whole()).opened);
    EXPECT_EQ(Reader(bad).Names(), std::set<std::string>{"!"});
}

// The allocation table in sectors listed beyond the header: 111 sectors
// counted, all but the header's 109 listed in an extension sector.
TEST(DxfCfbFat, ExtensionSectors) {
    std::string file = TwoStreams();
    const uint32_t fat = get32(file, 0x4C);
    const uint32_t extension = static_cast<uint32_t>(file.size() / kSector - 1);
    file.resize(file.size() + 120 * kSector, '\xFF');  // room for 111 sectors counted
    put32(file, 0x2C, 111);
    for (size_t i = 0; i < 109; ++i) put32(file, 0x4C + 4 * i, fat);
    put32(file, 0x44, extension);
    std::string sector(kSector, '\xFF');
    put32(sector, 0, fat), put32(sector, 4, fat), put32(sector, kSector - 4, kEndOfChain);
    file.replace(SectorAt(extension), kSector, sector);
    Reader whole(file, Whole());
    ASSERT_TRUE(whole.opened);
    ASSERT_TRUE(whole.cfb.LoadMiniStream());
    EXPECT_EQ(whole.Read(1), kShort);
    EXPECT_EQ(whole.Read(2), kLong);

    // An extension chain that loops before it lists all; one past the end.
    std::string bad = file;
    put32(bad, 0x2C, 300);
    bad.resize(400 * kSector);
    put32(bad, SectorAt(extension) + kSector - 4, extension);
    EXPECT_FALSE(Reader(bad, Whole()).opened);
    bad = file;
    put32(bad, SectorAt(extension), 0x00FFFFFF);
    EXPECT_FALSE(Reader(bad, Whole()).opened);
}

// A file of more than 7 MB whose directory's allocation table entry lies
// in the 110th table sector, which only the extension chain lists.
TEST(DxfCfbFat, ExtensionSectorsOfALargeFile) {
    std::string file = TwoStreams();
    const uint32_t fat = get32(file, 0x4C);
    const std::string directory = file.substr(SectorAt(get32(file, 0x30)), kSector);
    const uint32_t moved = 109 * 128 + 5, table = moved + 1, extension = moved + 2;
    file.resize(SectorAt(extension) + kSector, '\0');
    file.replace(SectorAt(moved), kSector, directory);
    std::string sector(kSector, '\xFF');
    put32(sector, 4 * (moved % 128), kEndOfChain);
    file.replace(SectorAt(table), kSector, sector);
    sector.assign(kSector, '\xFF');
    put32(sector, 0, table), put32(sector, kSector - 4, kEndOfChain);
    file.replace(SectorAt(extension), kSector, sector);
    put32(file, 0x2C, 110), put32(file, 0x30, moved), put32(file, 0x44, extension);
    for (size_t i = 1; i < 109; ++i) put32(file, 0x4C + 4 * i, fat);

    EXPECT_EQ(Reader(file).Names(), (std::set<std::string>{"SMALL", "LARGE"}));
    Reader whole(file, Whole());
    ASSERT_TRUE(whole.opened && whole.cfb.LoadMiniStream());
    EXPECT_EQ(whole.Read(1), kShort);
    EXPECT_EQ(whole.Read(2), kLong);
    // Counted out of the table, the extension is not read.
    std::string bad = file;
    put32(bad, 0x2C, 109);
    EXPECT_EQ(Reader(bad).Names(), std::set<std::string>{"!"});
    // An extension chain that cannot be read.
    bad = file;
    put32(bad, 0x44, 0x00FFFFFF);
    EXPECT_EQ(Reader(bad).Names(), std::set<std::string>{"!"});
    EXPECT_FALSE(Reader(bad, Whole()).opened);
}

TEST(DxfCfbFat, ChainsThatLoopOrLeaveTheFile) {
    const std::string file = TwoStreams();
    const uint32_t large = get32(file, EntryAt(file, 2) + 116);
    Reader good(file, Whole());
    ASSERT_TRUE(good.opened);
    EXPECT_EQ(good.Read(2), kLong);
    EXPECT_EQ(good.Read(2, 10), std::string(10, 'L'));
    // The large stream's second sector links back to its first; to a
    // sector past the end; to a free sector; the chain ends early.
    for (uint32_t link : {large, 0x00FFFFFFu, 0xFFFFFFFFu, kEndOfChain}) {
        std::string bad = file;
        put32(bad, FatAt(file, large + 1), link);
        Reader r(bad, Whole());
        ASSERT_TRUE(r.opened);
        EXPECT_EQ(r.Read(2), "null") << link;
        EXPECT_EQ(r.Read(2, 1024), std::string(1024, 'L')) << link;  // before the damage
    }
    // A file cut inside the stream's sectors.
    Reader cut(file.substr(0, file.size() - kSector), Whole());
    ASSERT_TRUE(cut.opened);
    EXPECT_EQ(cut.Read(2), "null");
    // A file that ends where the stream's bytes end, its last sector cut
    // short (as some writers leave it), reads; one byte less does not.
    const size_t tail = kSector - kLong.size() % kSector;
    Reader shortLast(file.substr(0, file.size() - tail), Whole());
    ASSERT_TRUE(shortLast.opened);
    EXPECT_EQ(shortLast.Read(2), kLong);
    EXPECT_EQ(Reader(file.substr(0, file.size() - tail - 1), Whole()).Read(2), "null");
}

TEST(DxfCfbDirectory, ChainsThatLoopOrBreak) {
    const std::string file = TwoStreams();
    const uint32_t dir = get32(file, 0x30);
    // The directory's chain loops onto itself: the lazy reader reads the
    // same sector again up to its bound; the whole reader finds the chain
    // longer than the allocation table.
    std::string bad = file;
    put32(bad, FatAt(file, dir), dir);
    CompoundFile::Options lazy;
    lazy.maxDirectorySectors = 3;
    Reader r(bad, lazy);
    ASSERT_TRUE(r.opened);
    EXPECT_NE(r.cfb.Entry(11), nullptr);
    EXPECT_EQ(r.cfb.Entry(12), nullptr);
    EXPECT_EQ(r.Names(), (std::set<std::string>{"SMALL", "LARGE"}));
    EXPECT_FALSE(Reader(bad, Whole()).opened);
    CompoundFile::Options entries = Whole();
    entries.maxDirectoryEntries = 8;  // bounded before the table's length
    Reader bounded(bad, entries);
    ASSERT_TRUE(bounded.opened);
    EXPECT_NE(bounded.cfb.Entry(7), nullptr);
    EXPECT_EQ(bounded.cfb.Entry(8), nullptr);
    // The chain goes on to a sector past the end: the lazy reader ends the
    // directory there, the whole reader fails.
    bad = file;
    put32(bad, FatAt(file, dir), 0x00FFFFFF);
    Reader broken(bad);
    ASSERT_TRUE(broken.opened);
    EXPECT_NE(broken.cfb.Entry(3), nullptr);
    EXPECT_EQ(broken.cfb.Entry(4), nullptr);
    EXPECT_FALSE(Reader(bad, Whole()).opened);
    // No directory at all.
    bad = file;
    put32(bad, 0x30, kEndOfChain);
    EXPECT_EQ(Reader(bad).cfb.Entry(0), nullptr);
}

TEST(DxfCfbDirectory, TreesWithCyclesAndStrayLinks) {
    const std::string file = TwoStreams();
    // Entry 1's left sibling is itself, entry 2's right sibling is entry 1,
    // entry 2's left links the root: each entry is visited once.
    std::string bad = file;
    put32(bad, EntryAt(file, 1) + 68, 1);
    put32(bad, EntryAt(file, 2) + 72, 1);
    put32(bad, EntryAt(file, 2) + 68, 0);
    EXPECT_EQ(Reader(bad).Names(), (std::set<std::string>{"SMALL", "LARGE"}));
    // Too many entries for the bound.
    EXPECT_EQ(Reader(bad).Names(1), (std::set<std::string>{"SMALL", "!"}));
    // Links to entries past the directory are skipped and counted.
    bad = file;
    put32(bad, EntryAt(file, 1) + 68, 5000);
    put32(bad, EntryAt(file, 2) + 68, 0xFFFFFFF0);
    size_t unreadable = 0;
    Reader r(bad);
    EXPECT_EQ(r.Names(100, &unreadable), (std::set<std::string>{"SMALL", "LARGE"}));
    EXPECT_EQ(unreadable, 2u);
}

TEST(DxfCfbDirectory, StreamNames) {
    std::string file = TwoStreams();
    const size_t e = EntryAt(file, 1);
    EXPECT_EQ(CompoundFile::StreamName(reinterpret_cast<const unsigned char *>(&file[e])), "SMALL");
    auto name = [&](const std::string &f) {
        return CompoundFile::StreamName(reinterpret_cast<const unsigned char *>(&f[e]));
    };
    std::string bad = file;
    bad[e + 66] = 1;  // a storage
    EXPECT_EQ(name(bad), "");
    for (uint16_t bytes : {0, 2, 9, 66}) {
        bad = file;
        put16(bad, e + 64, bytes);
        EXPECT_EQ(name(bad), "") << bytes;
    }
    bad = file;
    put16(bad, e + 2, 0x00E9);  // outside ASCII
    EXPECT_EQ(name(bad), "");
    bad = file;
    put16(bad, e + 2, 0);  // ends before its length
    EXPECT_EQ(name(bad), "");
}

TEST(DxfCfbMini, StreamsBelowTheCutoff) {
    const std::string file = TwoStreams();
    Reader r(file, Whole());
    ASSERT_TRUE(r.opened);
    // Before the mini stream is loaded, small streams cannot be read.
    EXPECT_EQ(r.Read(1), "null");
    ASSERT_TRUE(r.cfb.LoadMiniStream());
    EXPECT_EQ(r.Read(1), kShort);
    EXPECT_EQ(r.Read(1, 5), "short");

    // Sizes at the cutoff: one below reads from the mini stream, the cutoff
    // itself from sectors (where the small stream's chain leads nowhere).
    std::string edge = file;
    put32(edge, EntryAt(file, 1) + 120, 4095);
    Reader below(edge, Whole());
    ASSERT_TRUE(below.opened && below.cfb.LoadMiniStream());
    EXPECT_EQ(below.Read(1), "null");  // past the mini stream's end
    EXPECT_EQ(below.Read(1, 12), kShort);
    put32(edge, EntryAt(file, 1) + 120, 4096);
    Reader at(edge, Whole());
    ASSERT_TRUE(at.opened && at.cfb.LoadMiniStream());
    EXPECT_NE(at.Read(1, 12), kShort);

    // A huge size: only the cap is read.
    std::string huge = file;
    put32(huge, EntryAt(file, 2) + 120, 0xFFFFFFFF);
    Reader h(huge, Whole());
    ASSERT_TRUE(h.opened);
    EXPECT_EQ(h.Read(2), "null");
    EXPECT_EQ(h.Read(2, 4), "LLLL");

    // An empty stream reads as empty whatever its first sector says.
    std::string empty = file;
    put32(empty, EntryAt(file, 1) + 120, 0);
    put32(empty, EntryAt(file, 1) + 116, 0x7FFFFFFF);
    Reader z(empty, Whole());
    ASSERT_TRUE(z.opened && z.cfb.LoadMiniStream());
    EXPECT_EQ(z.Read(1), "");
}

TEST(DxfCfbMini, BrokenMiniStreams) {
    const std::string file = TwoStreams();
    const uint32_t miniFat = get32(file, 0x3C);
    // The mini allocation table loops; its count exceeds the table; the
    // root's stream is longer than its chain; starts past the end.
    std::string loop = file;
    put32(loop, SectorAt(miniFat), 0);
    put32(loop, EntryAt(file, 1) + 120, 200);  // more than its one mini sector
    Reader r(loop, Whole());
    ASSERT_TRUE(r.opened && r.cfb.LoadMiniStream());
    EXPECT_EQ(r.Read(1), "null");
    EXPECT_EQ(r.Read(1, 12), kShort);
    std::string bad = file;
    put32(bad, 0x40, 0xFFFFFFFF);
    EXPECT_FALSE(Reader(bad, Whole()).cfb.LoadMiniStream());
    bad = file;
    put32(bad, EntryAt(file, 0) + 120, 0x00100000);
    EXPECT_FALSE(Reader(bad, Whole()).cfb.LoadMiniStream());
    bad = file;
    put32(bad, EntryAt(file, 0) + 116, 0x7FFFFFFF);
    EXPECT_FALSE(Reader(bad, Whole()).cfb.LoadMiniStream());
    // A stream starting past the mini stream's end.
    bad = file;
    put32(bad, EntryAt(file, 1) + 116, 1000);
    Reader past(bad, Whole());
    ASSERT_TRUE(past.opened && past.cfb.LoadMiniStream());
    EXPECT_EQ(past.Read(1), "null");
}

// Read by position without the whole file: a head, then reads that fail
// past the end, as the plug-in's identification reads.
TEST(DxfCfbLazy, ReadsOnlyWhatItNeeds) {
    const std::string file = TwoStreams();
    size_t reads = 0;
    CompoundFile cfb;
    ASSERT_TRUE(cfb.Open(std::span(reinterpret_cast<const unsigned char *>(file.data()), kSector),
                         [&](uint64_t at, void *out, size_t n) {
                             ++reads;
                             if (at > file.size() || n > file.size() - at) return false;
                             std::copy_n(file.data() + at, n, static_cast<char *>(out));
                             return true;
                         },
                         0, {}));
    EXPECT_EQ(reads, 0u);
    ASSERT_NE(cfb.Entry(2), nullptr);
    EXPECT_EQ(reads, 2u);  // the directory sector and its link
    EXPECT_EQ(cfb.Entry(4), nullptr);
    EXPECT_EQ(cfb.Entry(5000), nullptr);
    EXPECT_EQ(reads, 2u);  // the chain ended: nothing more is read
}

}  // namespace
