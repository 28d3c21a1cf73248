// The LZX decompressor of compiled HTML Help files (lzx.cpp): the compressed
// sections of the chmcmd-made fixtures (scripts/make_chm_fixtures.py) read
// in and out of order, hand-made streams of every block type, and damaged
// ones (cut, trees that make no code, matches before the window's start or
// past the frame, oversize frames, bad reset tables) failing without a byte
// of the frame that failed.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dxfilter_test_support.h"
#include "filters/dxfilter/lzx.h"

namespace {

using dxf::LzxDecoder;
using dxf::LzxSection;
using dxfilter_test::Mutator;

constexpr size_t kFrame = LzxDecoder::kFrameBytes;
constexpr std::string_view kContent = "::DataSpace/Storage/MSCompressed/Content";
constexpr std::string_view kControl = "::DataSpace/Storage/MSCompressed/ControlData";
constexpr std::string_view kResetTable =
    "::DataSpace/Storage/MSCompressed/Transform/{7FC28940-9D31-11D0-9B27-00A0C91E9C7C}/"
    "InstanceData/ResetTable";

uint64_t Le(std::string_view b, size_t at, int bytes) {
    uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(b[at + i]);
    return v;
}
void PutLe(std::string &b, size_t at, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b[at + i] = static_cast<char>(v >> (8 * i));
}

// A fixture's entries (its listing chunks, as chmcmd writes them) and the
// parts of its compressed section.
struct Chm {
    struct Entry {
        std::string path;
        uint64_t space, start, length;
    };
    std::vector<Entry> entries;
    std::string control, table, content;

    explicit Chm(const std::string &bytes) {
        const size_t dir = Le(bytes, 0x48, 8), dirLength = Le(bytes, 0x50, 8);
        const size_t header = Le(bytes, dir + 8, 4), chunk = Le(bytes, dir + 0x10, 4);
        const size_t data = std::max<size_t>(dir + dirLength, Le(bytes, 0x58, 8));
        auto encint = [&](size_t &at) {
            uint64_t v = 0;
            for (unsigned char c = 0x80; c & 0x80; v = v << 7 | (c & 0x7F))
                c = static_cast<unsigned char>(bytes[at++]);
            return v;
        };
        for (int64_t n = static_cast<int32_t>(Le(bytes, dir + 0x20, 4)); n != -1;) {
            const size_t at0 = dir + header + static_cast<size_t>(n) * chunk;
            const size_t end = at0 + chunk - Le(bytes, at0 + 4, 4);
            for (size_t at = at0 + 0x14; at < end;) {
                const size_t length = encint(at);
                Entry e{bytes.substr(at, length), 0, 0, 0};
                at += length;
                e.space = encint(at);
                e.start = encint(at);
                e.length = encint(at);
                entries.push_back(e);
            }
            n = static_cast<int32_t>(Le(bytes, at0 + 0x10, 4));
        }
        for (const Entry &e : entries) {
            std::string *part = e.path == kContent      ? &content
                                : e.path == kControl    ? &control
                                : e.path == kResetTable ? &table
                                                        : nullptr;
            if (part) *part = bytes.substr(data + e.start, e.length);
        }
    }
};

const auto kGoOn = [] { return true; };

std::string Fixture(const std::string &name) {
    return glotta_test::ReadFile(dxfilter_test::kData + "chm/" + name);
}

// The whole decompressed section, read in one go; empty when it fails.
std::string Whole(const Chm &chm, const std::string &content) {
    auto section = LzxSection::Open(chm.control, chm.table, content);
    std::string out;
    if (!section || !section->Read(0, section->length(), out, kGoOn)) return {};
    return out;
}

TEST(ChmLzxSection, FixturesDecodeTheSameInAndOutOfOrder) {
    for (const char *name : {"en.chm", "later.chm", "ja.chm", "order.chm"}) {
        const Chm chm(Fixture(name));
        auto section = LzxSection::Open(chm.control, chm.table, chm.content);
        ASSERT_TRUE(section) << name;
        const std::string all = Whole(chm, chm.content);
        ASSERT_EQ(all.size(), section->length()) << name;
        // Each compressed file, backwards (every read starts over from a
        // reset) and then forwards (reads in order go on from the last).
        for (int pass = 0; pass < 2; ++pass) {
            for (size_t k = 0; k < chm.entries.size(); ++k) {
                const auto &e = chm.entries[pass ? k : chm.entries.size() - 1 - k];
                if (e.space != 1) continue;
                std::string out = "kept";
                ASSERT_TRUE(section->Read(e.start, e.length, out, kGoOn)) << name << e.path;
                EXPECT_EQ(out, "kept" + all.substr(e.start, e.length)) << name << e.path;
            }
        }
    }
    const Chm later(Fixture("later.chm"));
    const std::string all = Whole(later, later.content);
    ASSERT_GT(all.size(), 2 * kFrame);  // frames from two reset intervals
    EXPECT_NE(all.find("<title>The harbour</title>"), std::string::npos);
    EXPECT_NE(all.find("The morning near the orchard is 1199 steps from the meadow."),
              std::string::npos);
    EXPECT_NE(all.find("Its reading room looks out over the river"), std::string::npos);
}

TEST(ChmLzxSection, CutContentGivesOnlyTheFramesBeforeTheCut) {
    const Chm chm(Fixture("later.chm"));
    const std::string all = Whole(chm, chm.content);
    for (size_t cut = 0; cut < chm.content.size(); cut += 37) {
        const std::string held = chm.content.substr(0, cut);  // read in place
        auto section = LzxSection::Open(chm.control, chm.table, held);
        ASSERT_TRUE(section);
        std::string out;
        EXPECT_FALSE(section->Read(0, all.size(), out, kGoOn)) << cut;
        EXPECT_EQ(out.size() % kFrame, 0u) << cut;
        EXPECT_EQ(out, all.substr(0, out.size())) << cut;
    }
    // A deadline that passes stops the read between frames.
    auto section = LzxSection::Open(chm.control, chm.table, chm.content);
    int frames = 0;
    std::string out;
    EXPECT_FALSE(section->Read(0, all.size(), out, [&] { return ++frames <= 2; }));
    EXPECT_EQ(out, all.substr(0, 2 * kFrame));
}

TEST(ChmLzxSection, BadParametersAndResetTablesAreRefused) {
    const Chm chm(Fixture("later.chm"));
    auto open = [&](const std::string &control, const std::string &table) {
        return LzxSection::Open(control, table, chm.content);
    };
    for (uint32_t window : {0u, 3u, 128u}) {  // in 32 KiB units
        std::string control = chm.control;
        PutLe(control, 0x10, window, 4);
        EXPECT_FALSE(open(control, chm.table)) << window;
    }
    std::string control = chm.control;
    PutLe(control, 0xC, 0, 4);  // no reset interval
    EXPECT_FALSE(open(control, chm.table));
    EXPECT_FALSE(open(chm.control.substr(0, 0x14), chm.table));
    std::string version = chm.table, frameSize = chm.table;
    PutLe(version, 0, 3, 4);
    PutLe(frameSize, 0x20, 0x4000, 8);
    EXPECT_FALSE(open(chm.control, version));
    EXPECT_FALSE(open(chm.control, frameSize));
    EXPECT_FALSE(open(chm.control, chm.table.substr(0, 0x20)));

    // Frame places that go backwards, past the content or past the table,
    // and a frame longer than any frame's compressed bytes may be.
    const std::string all = Whole(chm, chm.content);
    auto read = [&](const std::string &table, const std::string &content) {
        auto section = LzxSection::Open(chm.control, table, content);
        std::string out;
        EXPECT_TRUE(section);
        const bool ok = section && section->Read(0, all.size(), out, kGoOn);
        EXPECT_EQ(out, all.substr(0, out.size()));
        return ok;
    };
    // (chmcmd lists one frame more than it writes: the last ends where
    // the one after it starts.)
    ASSERT_EQ(Le(chm.table, 4, 4), 4u);
    std::string backwards = chm.table, beyond = chm.table, fewer = chm.table;
    PutLe(backwards, 0x28 + 8 * 2, Le(chm.table, 0x28 + 8, 8) - 1, 8);
    PutLe(beyond, 0x28 + 8 * 3, chm.content.size() + 1, 8);
    PutLe(fewer, 4, 2, 4);
    EXPECT_FALSE(read(backwards, chm.content));
    EXPECT_FALSE(read(beyond, chm.content));
    EXPECT_FALSE(read(fewer, chm.content));
    std::string oversize = chm.table, longContent = chm.content + std::string(40000, '\0');
    PutLe(oversize, 0x28 + 8 * 3, longContent.size(), 8);
    EXPECT_FALSE(read(oversize, longContent));
}

TEST(ChmLzxSection, RandomDamageEndsCleanly) {
    const Chm chm(Fixture("later.chm"));
    const std::string all = Whole(chm, chm.content);
    Mutator mutator(20261207);
    for (int round = 0; round < 400; ++round) {
        const std::string content = round % 4 == 3 ? mutator.Cut(chm.content)
                                                   : mutator.Overwrite(chm.content, 1 + round % 8);
        auto section = LzxSection::Open(chm.control, chm.table, content);
        ASSERT_TRUE(section);
        std::string out;
        const bool ok = section->Read(0, all.size(), out, kGoOn);
        EXPECT_TRUE(ok ? out.size() == all.size() : out.size() % kFrame == 0) << round;
        // A failed read never hands out the frame it failed in.
        if (!ok && round % 4 == 3) {
            EXPECT_EQ(out, all.substr(0, out.size())) << round;
        }
    }
}

// LZX bits as the decoder reads them: 16-bit little-endian words, most
// significant bit first.
class BitWriter {
  public:
    void Put(uint32_t value, unsigned bits) {
        for (unsigned i = bits; i-- > 0;) {
            word_ = static_cast<uint16_t>(word_ << 1 | ((value >> i) & 1));
            if (++used_ == 16) Flush();
        }
    }
    // The bytes so far, the last word padded with zero bits.
    std::string Bytes() {
        while (used_ != 0) Put(0, 1);
        return out_;
    }
    void Raw(std::string_view bytes) { out_ += bytes; }

  private:
    void Flush() {
        out_ += static_cast<char>(word_ & 0xFF);
        out_ += static_cast<char>(word_ >> 8);
        word_ = 0;
        used_ = 0;
    }
    std::string out_;
    uint16_t word_ = 0;
    unsigned used_ = 0;
};

// Hand-made blocks for a window of 2^15 bytes (30 position slots, 496 main
// symbols). The trees: a pretree of 16 4-bit codes (symbol k is code k);
// main codes of 9 bits for the literals (literal b is 256 + b), of 5 bits
// for the matches of position slot 8 (offsets 14 to 21; the code is the
// length header) and of 6 for those of slots 0 (the repeated offset: 16 +
// length header) and 3 (offset 1: 24 + length header); no length tree;
// aligned offsets of 3 bits (symbol k is code k).
class Stream {
  public:
    explicit Stream(bool e8 = false, uint32_t e8Size = 0) {
        bits.Put(e8, 1);
        if (e8) bits.Put(e8Size >> 16, 16), bits.Put(e8Size & 0xFFFF, 16);
    }
    void Block(int type, uint32_t length, bool badPretree = false) {
        bits.Put(static_cast<uint32_t>(type), 3);
        bits.Put(length >> 8, 16);
        bits.Put(length & 0xFF, 8);
        if (type == 2)
            for (int i = 0; i < 8; ++i) bits.Put(3, 3);
        Lengths(
            0, 256, [](int) { return 9; }, badPretree);
        Lengths(256, 496, [](int s) {
            const int slot = (s - 256) >> 3;
            return slot == 8 ? 5 : slot == 0 || slot == 3 ? 6 : 0;
        });
        Lengths(0, 249, [](int) { return 0; });
    }
    void Literal(char c) { bits.Put(256 + static_cast<unsigned char>(c), 9); }
    // A match of `length` (2 to 8) at offset 1 (slot 3), or at 14 + low
    // (slot 8: 3 verbatim bits or, in aligned blocks, an aligned symbol).
    void Match(unsigned length, std::optional<unsigned> low = std::nullopt) {
        if (!low) return bits.Put(24 + length - 2, 6);
        bits.Put(length - 2, 5);
        bits.Put(*low, 3);
    }
    // A match of `length` at the last offset (slot 0).
    void Repeat(unsigned length) { bits.Put(16 + length - 2, 6); }
    BitWriter bits;

  private:
    template <typename Length>
    void Lengths(int first, int last, Length length, bool badPretree = false) {
        for (int i = 0; i < 20; ++i) bits.Put(badPretree ? 1 : i < 16 ? 4 : 0, 4);
        for (int s = first; s < last; ++s) bits.Put((17 - length(s)) % 17, 4);
    }
};

std::optional<std::string> Decode(const std::string &in, size_t size, unsigned windowBits = 15) {
    LzxDecoder decoder(windowBits);
    std::string out(size, '\0');
    if (!decoder.Frame({reinterpret_cast<const uint8_t *>(in.data()), in.size()},
                       {reinterpret_cast<uint8_t *>(out.data()), out.size()}))
        return std::nullopt;
    return out;
}

TEST(ChmLzxDecoder, HandMadeBlocksOfEveryType) {
    for (int type : {1, 2}) {
        Stream s;
        s.Block(type, 40);
        for (char c : std::string("abcdefghijklmnopqrstuvwxyz")) s.Literal(c);
        s.Match(4);     // "zzzz"
        s.Match(8, 2);  // offset 16: "opqrstuv"
        s.Repeat(2);    // offset 16 again: "wx"
        EXPECT_EQ(Decode(s.bits.Bytes(), 40), "abcdefghijklmnopqrstuvwxyzzzzzopqrstuvwx") << type;
    }
    // Uncompressed, with an odd length and a padding byte, then a verbatim
    // block; the repeated offsets of the uncompressed block are used.
    Stream s;
    s.bits.Put(3, 3);
    s.bits.Put(0, 16);
    s.bits.Put(5, 8);
    std::string raw = s.bits.Bytes();
    raw += std::string("\x02\0\0\0\x01\0\0\0\x01\0\0\0", 12) + "hello" + '\0';
    Stream t;
    t.bits = BitWriter();  // the stream's header came before
    t.Block(1, 3);
    t.Repeat(3);  // the offset of the uncompressed block, 2: "lol"
    EXPECT_EQ(Decode(raw + t.bits.Bytes(), 8), "hellolol");
    // E8 call targets in an uncompressed block, back to relative.
    Stream e8(true, 1000);
    e8.bits.Put(3, 3);
    e8.bits.Put(0, 16);
    e8.bits.Put(16, 8);
    std::string calls = e8.bits.Bytes() + std::string(12, '\x01');
    calls += std::string("ab\xE8\x64\0\0\0cdefghijkl", 16);
    EXPECT_EQ(Decode(calls, 16), std::string("ab\xE8\x62\0\0\0cdefghijkl", 16));
}

TEST(ChmLzxDecoder, AnUncompressedBlockGoesOnInTheNextFrame) {
    // Block 1: 5 bytes and a padding byte; block 2: the rest of the first
    // frame and 10 bytes of the second, which starts at an odd place.
    auto header = [](BitWriter &bits, uint32_t length) {
        bits.Put(3, 3);
        bits.Put(length >> 8, 16);
        bits.Put(length & 0xFF, 8);
        return bits.Bytes() + std::string("\x01\0\0\0\x01\0\0\0\x01\0\0\0", 12);
    };
    BitWriter first, second;
    first.Put(0, 1);
    std::string data;
    for (size_t i = 0; i < kFrame + 10; ++i) data += static_cast<char>('a' + i % 23);
    std::string in = header(first, 5) + data.substr(0, 5) + '\0';
    in += header(second, kFrame + 5) + data.substr(5, kFrame - 5);
    ASSERT_EQ(in.size() % 2, 1u);
    LzxDecoder decoder(16);
    std::string out(kFrame, '\0'), next(10, '\0');
    auto span = [](std::string &s) {
        return std::span<uint8_t>(reinterpret_cast<uint8_t *>(s.data()), s.size());
    };
    ASSERT_TRUE(decoder.Frame(span(in), span(out)));
    EXPECT_EQ(out, data.substr(0, kFrame));
    std::string rest = data.substr(kFrame);
    ASSERT_TRUE(decoder.Frame(span(rest), span(next)));
    EXPECT_EQ(next, rest);
}

TEST(ChmLzxDecoder, DamagedBlocksFail) {
    auto stream = [](auto body, int type = 1, uint32_t length = 8, bool badPretree = false) {
        Stream s;
        s.Block(type, length, badPretree);
        body(s);
        return s.bits.Bytes();
    };
    const auto fine = stream([](Stream &s) {
        for (char c : std::string("abcd")) s.Literal(c);
        s.Match(4);
    });
    ASSERT_EQ(Decode(fine, 8), "abcddddd");
    // Cut anywhere.
    for (size_t cut = 0; cut < fine.size(); ++cut)
        EXPECT_FALSE(Decode(fine.substr(0, cut), 8)) << cut;
    // A pretree of twenty 1-bit codes; a block type LZX does not have.
    EXPECT_FALSE(Decode(stream([](Stream &) {}, 1, 8, true), 8));
    EXPECT_FALSE(Decode(stream([](Stream &) {}, 5), 8));
    // Matches before the first byte: at once, through the repeated offset
    // (1 after a reset), and at offset 14 after 4 bytes.
    EXPECT_FALSE(Decode(stream([](Stream &s) { s.Match(8); }), 8));
    EXPECT_FALSE(Decode(stream([](Stream &s) { s.Repeat(8); }), 8));
    EXPECT_FALSE(Decode(stream([](Stream &s) {
                            for (char c : std::string("abcd")) s.Literal(c);
                            s.Match(4, 0);
                        }),
                        8));
    // A match past the frame's end, and one of the empty length tree.
    EXPECT_FALSE(Decode(fine, 6));
    EXPECT_FALSE(Decode(stream([](Stream &s) {
                            s.Literal('a');
                            s.bits.Put(7, 5);  // slot 8, length header 7
                        }),
                        8));
    // An uncompressed block longer than its bytes, and compressed bytes
    // longer than a frame's may be.
    Stream u;
    u.bits.Put(3, 3);
    u.bits.Put(0, 16);
    u.bits.Put(20, 8);
    EXPECT_FALSE(Decode(u.bits.Bytes() + std::string(12, '\x01') + "short", 20));
    EXPECT_FALSE(Decode(fine + std::string(40000, '\0'), 8));
    // Random damage: a result only when every byte was decoded.
    Mutator mutator(7);
    for (int round = 0; round < 2000; ++round) {
        const auto out = Decode(mutator.Overwrite(fine, 1 + round % 3), 8, 15 + round % 7);
        if (out) {
            EXPECT_EQ(out->size(), 8u);
        }
    }
}

}  // namespace
