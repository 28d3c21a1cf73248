// Compressed documents: the decompression layer on its own (codecs,
// concatenated streams, damage, caps, memory limits), the charset and tag
// layer on its own, and the plug-in reading what is inside.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <lzma.h>
#include <unistd.h>
#include <zlib.h>
#include <zstd.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "doctype/dx_abi.h"
#include "dxfilter_test_support.h"
#include "filters/dxfilter/compress_text.h"
#include "filters/dxfilter/decompress.h"
#include "filters/dxfilter/dx_module.h"
#include "filters/dxfilter/extractor.h"
#include "filters/dxfilter/module_stream.h"
#include "filters/dxfilter/troff_text.h"

namespace {

using namespace dxfilter_test;
using dxf::Codec;
using dxf::Decompressor;
using State = dxf::Decompressor::State;

std::string Sample(const std::string &file) {
    return glotta_test::ReadFile(kData + file);
}

// How a decompressor is driven: its cap and deadline, `step` bytes a read,
// reads that fail after the first half of the input, the codec (by default
// the one the input's signature names).
struct Reading {
    uint64_t cap = 64ull << 20;
    size_t step = 65536;
    int64_t deadline = INT64_MAX;
    bool failReads = false;
    std::optional<Codec> codec = {};
};

// What a decompressor reads from `input`.
struct Decompressed {
    std::string bytes;
    State state;
    bool operator==(const Decompressed &) const = default;
};
void PrintTo(const Decompressed &d, std::ostream *out) {
    *out << d.bytes.size() << " bytes \"" << d.bytes.substr(0, 80) << "\", state "
         << static_cast<int>(d.state);
}
Decompressed Decompress(const std::string &input, const Reading &how = {}) {
    const auto codec =
        how.codec
            ? how.codec
            : dxf::CodecOf({reinterpret_cast<const unsigned char *>(input.data()), input.size()});
    if (!codec) return {"", State::kDamaged};
    size_t pos = 0;
    const size_t end = how.failReads ? input.size() / 2 : input.size();
    auto read = [&](void *buffer, size_t count) -> long {
        if (pos == end && how.failReads) return -1;
        const size_t n = std::min(count, end - pos);
        std::memcpy(buffer, input.data() + pos, n);
        pos += n;
        return static_cast<long>(n);
    };
    auto dec = Decompressor::Make(*codec, read, how.cap, how.deadline);
    Decompressed out{"", State::kReading};
    std::string buffer(how.step, '\0');
    while (dec->state() == State::kReading)
        out.bytes.append(buffer.data(), dec->Read(buffer.data(), how.step));
    out.state = dec->state();
    EXPECT_EQ(dec->produced(), out.bytes.size());
    return out;
}

// `text` as one gzip member.
std::string Gzip(const std::string &text, int level = 9) {
    z_stream z{};
    EXPECT_EQ(deflateInit2(&z, level, Z_DEFLATED, 16 + MAX_WBITS, 9, Z_DEFAULT_STRATEGY), Z_OK);
    std::string out(deflateBound(&z, text.size()), '\0');
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = reinterpret_cast<Bytef *>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

constexpr const char *kExtensions[] = {"gz", "bz2", "xz", "zst", "lz4", "lz"};
// And those of one stream per file: `.lzma` (the legacy LZMA format) and
// `.Z` (compress).
constexpr const char *kAllExtensions[] = {"gz", "bz2", "xz", "zst", "lz4", "lz", "lzma", "Z"};
bool OneStream(std::string_view ext) {
    return ext == "lzma" || ext == "Z";
}

// The text of compressed/long-*.txt.Z (see make_compressed_fixtures.sh).
std::string LongText() {
    std::string text;
    for (int i = 0; i < 8; ++i)
        text +=
            Sample("text/en-ascii.txt") + Sample("text/mixed-utf8.txt") + Sample("text/de-page.1");
    for (int i = 1; i <= 2000; ++i) text += std::to_string(i) + "\n";
    return text;
}

// A compress stream written code by code: `flags` (block mode 0x80, the
// largest width), then codes of the given widths, least significant bit
// first; a width of 0 pads to the end of the current group of eight codes.
std::string ZStream(unsigned flags, const std::vector<std::pair<uint32_t, int>> &codes) {
    std::string out = {'\x1F', '\x9D', static_cast<char>(flags)};
    uint64_t bits = 0;
    int count = 0, inGroup = 0, width = 9;
    auto put = [&](uint32_t code, int n) {
        bits |= static_cast<uint64_t>(code) << count;
        count += n;
        for (; count >= 8; count -= 8, bits >>= 8) out += static_cast<char>(bits & 0xFF);
    };
    for (auto [code, n] : codes) {
        if (n == 0) {
            for (; inGroup != 0; inGroup = (inGroup + 1) & 7) put(0, width);
            continue;
        }
        width = n;
        put(code, n);
        inGroup = (inGroup + 1) & 7;
    }
    if (count > 0) out += static_cast<char>(bits & 0xFF);
    return out;
}

TEST(DxfDecompress, EveryCodecGivesTheTextAndReadsConcatenatedStreams) {
    const std::string en = Sample("text/en-ascii.txt");
    const std::string de = Decompress(Sample("compressed/de.txt.gz")).bytes;
    ASSERT_NE(de.find("Flussufer"), std::string::npos);
    for (const char *ext : kAllExtensions) {
        const std::string enz = Sample(std::string("compressed/en.txt.") + ext),
                          dez = Sample(std::string("compressed/de.txt.") + ext);
        for (size_t step : {size_t{1}, size_t{7}, size_t{65536}}) {
            EXPECT_EQ(Decompress(enz, {.step = step}), (Decompressed{en, State::kEnd}))
                << ext << " step " << step;
        }
        EXPECT_EQ(Decompress(dez).bytes, de) << ext;
        // `.lzma` and `.Z` hold one stream: bytes after a `.lzma` stream are
        // not read.
        if (std::string_view(ext) == "lzma") {
            EXPECT_EQ(Decompress(enz + dez), (Decompressed{en, State::kEnd}));
        }
        if (OneStream(ext)) continue;
        // Streams one after another read as one; bytes after the last
        // (padding, a stray trailer) are left alone.
        EXPECT_EQ(Decompress(enz + dez + enz), (Decompressed{en + de + en, State::kEnd})) << ext;
        EXPECT_EQ(Decompress(enz + std::string(512, '\0')), (Decompressed{en, State::kEnd})) << ext;
    }
    // LZ4's legacy frames (`lz4 -l`), alone and followed by a frame; a
    // skippable frame between two frames; two lzip members.
    const std::string legacy = Sample("compressed/de-legacy.txt.lz4");
    for (size_t step : {size_t{1}, size_t{65536}}) {
        EXPECT_EQ(Decompress(legacy, {.step = step}), (Decompressed{de, State::kEnd})) << step;
    }
    EXPECT_EQ(Decompress(legacy + Sample("compressed/en.txt.lz4") + legacy),
              (Decompressed{de + en + de, State::kEnd}));
    for (const char *file : {"compressed/en-de.txt.lz4", "compressed/en-de.txt.lz"}) {
        EXPECT_EQ(Decompress(Sample(file)), (Decompressed{en + de, State::kEnd})) << file;
    }
}

// Every `stride`th cut of the stream `z` gives a prefix of its text and
// says it was damaged, or, when `mayEnd`, ended.
void ExpectCutsGivePrefixes(const std::string &z, size_t stride, bool mayEnd,
                            const std::string &what) {
    const std::string whole = Decompress(z).bytes;
    ASSERT_FALSE(whole.empty()) << what;
    for (size_t cut = 0; cut < z.size(); cut += stride) {
        Decompressed r = Decompress(z.substr(0, cut));
        EXPECT_EQ(whole.compare(0, r.bytes.size(), r.bytes), 0) << what << " cut " << cut;
        EXPECT_TRUE(r.state == State::kDamaged || (mayEnd && r.state == State::kEnd))
            << what << " cut " << cut;
    }
}

TEST(DxfDecompress, CutAndDamagedStreamsGiveWhatCameBefore) {
    // Cut anywhere, every codec gives a prefix of the text and says the
    // stream was damaged; only the whole stream ends cleanly.
    const std::string text = Sample("text/mixed-utf8.txt");
    for (const char *ext : kExtensions) {
        const std::string z = Sample(std::string("compressed/de.txt.") + ext);
        // xz's decoder sets up the whole dictionary its header names (64 MiB
        // for xz -9), which the address sanitizer makes slow: fewer cuts.
        ExpectCutsGivePrefixes(z, std::string_view(ext) == "xz" ? 11 : 1, false, ext);
        // A flipped byte in the middle: damaged or (where no check covers
        // it) another text, never more than was there.
        std::string flipped = z;
        flipped[z.size() / 2] ^= 0x55;
        EXPECT_LE(Decompress(flipped).bytes.size(), Decompress(z).bytes.size() + 64) << ext;
    }
    // A longer text cut after two thirds keeps its first sentences.
    Decompressed cut = Decompress(Sample("compressed/cut.txt.gz"));
    EXPECT_EQ(cut.state, State::kDamaged);
    EXPECT_GT(cut.bytes.size(), 200u);
    EXPECT_EQ(text.compare(0, cut.bytes.size(), cut.bytes), 0);
    // Cut: an lzip member gives the text up to the cut, an LZ4 frame whose
    // one block is cut gives nothing. A byte changed two thirds in: lzip
    // gives the text before it (and what the damaged data decodes to until
    // the decoder or the member's checksum stops it); the LZ4 block is
    // dropped when its content checksum fails in the call that decoded it.
    const std::string fr = Decompress(Sample("compressed/fr.txt.lz")).bytes;
    ASSERT_NE(fr.find("député"), std::string::npos);
    for (const char *file : {"compressed/damaged.txt.lz4", "compressed/damaged.txt.lz",
                             "compressed/cut.txt.lz4", "compressed/cut.txt.lz"}) {
        for (size_t step : {size_t{1}, size_t{65536}}) {
            Decompressed r = Decompress(Sample(file), {.step = step});
            EXPECT_EQ(r.state, State::kDamaged) << file;
            EXPECT_LE(r.bytes.size(), fr.size()) << file;
            const bool lz4 = std::string(file).ends_with(".lz4");
            const bool cut = std::string(file).starts_with("compressed/cut");
            const size_t intact = lz4 ? 0 : cut ? r.bytes.size() : 60;
            EXPECT_GE(r.bytes.size(), intact) << file;
            EXPECT_EQ(r.bytes.substr(0, intact), fr.substr(0, intact)) << file;
        }
    }
    EXPECT_TRUE(Decompress(Sample("compressed/damaged.txt.lz4")).bytes.empty());
    EXPECT_TRUE(Decompress(Sample("compressed/cut.txt.lz4")).bytes.empty());
    // A legacy LZ4 frame cut anywhere: the blocks before the cut; between
    // blocks it reads as a shorter frame, as lz4 reads it.
    const std::string legacy = Sample("compressed/de-legacy.txt.lz4");
    for (size_t cut = 0; cut < legacy.size(); ++cut) {
        EXPECT_EQ(Decompress(legacy.substr(0, cut)),
                  (Decompressed{"", cut == 4 ? State::kEnd : State::kDamaged}))
            << cut;
    }
    // A legacy block size no block can have ends the frame; 0 is damage.
    std::string sized = legacy;
    sized.replace(4, 4, std::string("\x00\x00\x00\x00", 4));
    EXPECT_EQ(Decompress(sized).state, State::kDamaged);
    sized.replace(4, 4, std::string("\xFF\xFF\xFF\x7F", 4));
    EXPECT_EQ(Decompress(sized).state, State::kEnd);
    // A read error ends the input like a cut.
    EXPECT_EQ(Decompress(Sample("compressed/en.txt.xz"), {.cap = 1 << 20, .failReads = true}).state,
              State::kDamaged);
    // The legacy formats cut anywhere; compress has no end mark: a cut
    // between codes reads as an end.
    for (const char *file : {"compressed/de.txt.lzma", "compressed/de.txt.Z",
                             "compressed/long-12.txt.Z", "compressed/fr.odt.lzma"}) {
        const std::string z = Sample(file);
        ExpectCutsGivePrefixes(z, z.size() > 4096 ? 97 : 1, std::string(file).ends_with(".Z"),
                               file);
        // Flipped bytes: damaged, or another text where nothing checks it;
        // never a crash, never more than the cap.
        uint32_t seed = 99;
        for (int k = 0; k < 64; ++k) {
            std::string flipped = z;
            seed = seed * 1103515245u + 12345u;
            flipped[16 + seed % (z.size() - 16)] ^= static_cast<char>(1 + (seed >> 24) % 255);
            Decompressed r = Decompress(flipped, {.cap = 1 << 20});
            EXPECT_LE(r.bytes.size(), size_t{1} << 20) << file;
            EXPECT_NE(r.state, State::kReading) << file;
        }
    }
}

TEST(DxfDecompress, BoundsStopReading) {
    // The cap stops the text; past the deadline nothing is read.
    for (const char *file : {"compressed/en.txt.zst", "compressed/en.txt.bz2",
                             "compressed/long-16.txt.Z", "compressed/en.txt.lzma"}) {
        const std::string z = Sample(file);
        EXPECT_EQ(Decompress(z, {.cap = 100}),
                  (Decompressed{Decompress(z).bytes.substr(0, 100), State::kOverCap}))
            << file;
        EXPECT_EQ(Decompress(z, {.cap = 1 << 20, .deadline = 0}),
                  (Decompressed{"", State::kTimeout}))
            << file;
    }
    // 70 MiB of spaces in 1 MiB members stop at the cap.
    const std::string member = Gzip(std::string(1 << 20, ' '), 1);
    std::string bomb;
    for (int i = 0; i < 70; ++i) bomb += member;
    EXPECT_EQ(Decompress(bomb), (Decompressed{std::string(64u << 20, ' '), State::kOverCap}));
    // A PDF header and zero bytes past the cap, as LZ4 and lzip.
    for (const char *file : {"compressed/bomb.pdf.lz4", "compressed/bomb.pdf.lz"}) {
        Decompressed b = Decompress(Sample(file));
        EXPECT_EQ(b.bytes.size(), 64u << 20) << file;
        EXPECT_EQ(b.state, State::kOverCap) << file;
    }
    // A compress bomb: 2^16 codes each one longer than the last, 2 GiB of
    // one byte in 100 KiB, stops at the cap.
    std::vector<std::pair<uint32_t, int>> codes = {{'x', 9}};
    for (uint32_t code = 257, width = 9; code < 65536; ++code) {
        codes.push_back({code, width});  // the next entry: the last string and one more byte
        if (code + 1 > (1u << width) - 1 && width < 16) {
            codes.push_back({0, 0});
            ++width;
        }
    }
    EXPECT_EQ(Decompress(ZStream(0x90, codes)),
              (Decompressed{std::string(64u << 20, 'x'), State::kOverCap}));
}

TEST(DxfDecompress, LongCompressStreamsGiveTheirText) {
    // compress streams whose codes grow to 10, 12 and 16 bits, the first two
    // with the table cleared on the way (written by ncompress).
    const std::string text = LongText();
    for (int bits : {10, 12, 16}) {
        const std::string z = Sample("compressed/long-" + std::to_string(bits) + ".txt.Z");
        for (size_t step : {size_t{1}, size_t{4093}, size_t{65536}}) {
            if (step == 1 && bits != 10) continue;  // slow under the sanitizers
            EXPECT_EQ(Decompress(z, {.step = step}), (Decompressed{text, State::kEnd}))
                << bits << " step " << step;
        }
    }
}

TEST(DxfDecompress, CompressCodesAreReadAsCompressAndGzipReadThem) {
    struct {
        std::string z;
        const char *text;
        State state;
    } cases[] = {
        // Header only, and a last byte of padding: an empty text.
        {ZStream(0x90, {}), "", State::kEnd},
        {ZStream(0x90, {{'A', 9}}), "A", State::kEnd},
        // A code made from the one before it (the next entry itself).
        {ZStream(0x90, {{'A', 9}, {257, 9}, {258, 9}}), "AAAAAA", State::kEnd},
        {ZStream(0x90, {{'a', 9}, {'b', 9}, {257, 9}, {259, 9}}), "abababa", State::kEnd},
        // The table cleared: padding to the end of the group, then 9 bits
        // again and a first entry at 257.
        {ZStream(0x90, {{'A', 9}, {'B', 9}, {256, 9}, {0, 0}, {'C', 9}, {'D', 9}, {257, 9}}),
         "ABCDCD", State::kEnd},
        // Without block mode 256 is an entry like any other.
        {ZStream(0x10, {{'A', 9}, {'B', 9}, {256, 9}}), "ABAB", State::kEnd},
        // A code neither in the table nor the next entry; a first code that
        // is no byte; a first code that clears: refused there.
        {ZStream(0x90, {{'A', 9}, {'B', 9}, {259, 9}, {'C', 9}}), "AB", State::kDamaged},
        {ZStream(0x90, {{300, 9}, {'A', 9}}), "", State::kDamaged},
        {ZStream(0x90, {{256, 9}, {'A', 9}}), "", State::kDamaged},
        // A header with a reserved bit, or widths outside 9 to 16.
        {ZStream(0xB0, {{'A', 9}}), "", State::kDamaged},
        {ZStream(0x88, {{'A', 9}}), "", State::kDamaged},
        {ZStream(0x91, {{'A', 9}}), "", State::kDamaged},
        // A byte after a whole group: part of a code, cut.
        {ZStream(0x90,
                 {{'A', 9}, {'B', 9}, {'C', 9}, {'D', 9}, {'E', 9}, {'F', 9}, {'G', 9}, {'H', 9}}) +
             '\x42',
         "ABCDEFGH", State::kDamaged},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Decompress(c.z, {.codec = Codec::kCompress}), (Decompressed{c.text, c.state}))
            << c.text;
    // The width grows once the table's next entry passes the width, after
    // the rest of the group: without block mode, the 258th code reads 10
    // bits, seven codes of padding after the 257th. 257 literal codes make
    // entries 256 to 511; the next entry, 512, does not fit in 9 bits.
    std::vector<std::pair<uint32_t, int>> codes;
    std::string expected;
    for (int i = 0; i < 257; ++i) {
        codes.push_back({'a' + i % 26, 9});
        expected += static_cast<char>('a' + i % 26);
    }
    codes.insert(codes.end(), {{0, 0}, {'!', 10}, {511, 10}});
    // Entry 511 was made by the 256th and 257th codes.
    expected +=
        std::string("!") + static_cast<char>('a' + 255 % 26) + static_cast<char>('a' + 256 % 26);
    EXPECT_EQ(Decompress(ZStream(0x10, codes)), (Decompressed{expected, State::kEnd}));
}

TEST(DxfDecompress, LegacySignaturesAreStrict) {
    auto codec = [](const std::string &head) {
        return dxf::CodecOf({reinterpret_cast<const unsigned char *>(head.data()), head.size()});
    };
    const std::string lzma = Sample("compressed/en.txt.lzma");
    const auto patched = [&](size_t at, const std::string &bytes) {
        std::string h = lzma;
        h.replace(at, bytes.size(), bytes);
        return h;
    };
    const std::optional<Codec> none;
    const std::pair<std::string, std::optional<Codec>> signatures[] = {
        {lzma, Codec::kLzma},
        {Sample("compressed/empty.lzma"), Codec::kLzma},
        {Sample("compressed/en.txt.Z"), Codec::kCompress},
        {Sample("compressed/empty.Z"), Codec::kCompress},
        {Sample("compressed/en.txt.lz4"), Codec::kLz4},
        {Sample("compressed/empty.lz4"), Codec::kLz4},
        {Sample("compressed/de-legacy.txt.lz4"), Codec::kLz4},
        {std::string("\x5F\x2A\x4D\x18\x00\x00\x00\x00", 8), Codec::kLz4},
        {Sample("compressed/en.txt.lz"), Codec::kLzip},
        {Sample("compressed/empty.lz"), Codec::kLzip},
        {std::string("\x04\x22\x4D\x18\x24\x40", 6), none},  // version 0
        {std::string("\x60\x2A\x4D\x18\x00\x00", 6), none},  // not skippable
        {std::string("LZIP\x00\x0C", 6), none},              // version 0
        {std::string("LZIP\x01\x0B", 6), none},              // 2 KiB
        {std::string("LZIP\x01\x1E", 6), none},              // 1 GiB
        {std::string("LZIP\x01", 5), none},
        // Dictionaries of 2^n and 2^n + 2^(n-1) bytes, sizes known or not.
        {patched(1, std::string("\x00\x00\x01\x00", 4)), Codec::kLzma},
        {patched(1, std::string("\x00\x00\x03\x00", 4)), Codec::kLzma},
        {patched(5, std::string("\x10\x00\x00\x00\x00\x00\x00\x00", 8)), Codec::kLzma},
        {patched(0, "\xE1"), none},                                    // properties past 224
        {patched(0, std::string(1, static_cast<char>(4 + 9))), none},  // lc 4 + lp 1
        {patched(1, std::string("\x00\x08\x00\x00", 4)), none},        // 2 KiB dictionary
        {patched(1, std::string("\x45\x23\x01\x00", 4)), none},        // not a power of two
        {patched(1, std::string("\x00\x00\x00\x80", 4)), none},        // 2 GiB
        {patched(5, std::string("\x00\x00\x00\x00\x40\x00\x00\x00", 8)), none},  // 2^38 bytes
        {patched(13, "\x01"), none},  // first range coder byte
        {lzma.substr(0, 13), none},
        {std::string("\x1F\x9D\xB0\x41\x00", 5), none},  // reserved bit
        {std::string("\x1F\x9D\x88\x41\x00", 5), none},  // 8 bits
        {std::string("\x1F\x9D\x91\x41\x00", 5), none},  // 17 bits
        {std::string("\x1F\x9D\x90\x41\x01", 5), none},  // first code 321
        {std::string("\x1F\x9D", 2), none},
    };
    for (size_t i = 0; i < std::size(signatures); ++i)
        EXPECT_EQ(codec(signatures[i].first), signatures[i].second) << "signature " << i;
    // Text, the other samples and random bytes are never taken for either.
    for (const char *file :
         {"text/en-ascii.txt", "text/ja-sjis.txt", "text/fr-utf16le-nobom.txt", "binary/random.bin",
          "binary/true.elf", "binary/red.jpg", "docs/en.pdf", "docs/en.doc"})
        EXPECT_FALSE(codec(Sample(file)).has_value()) << file;
    // Random heads are never `.lzma`; after compress's two-byte magic, its
    // flags and first code still refuse 31 in 32.
    uint64_t seed = 7;
    int lzmaTaken = 0, compressTaken = 0;
    const int heads = 100000;
    for (int i = 0; i < heads; ++i) {
        std::string head(16, '\0');
        for (char &c : head) {
            seed = seed * 6364136223846793005ull + 1442695040888963407ull;
            c = static_cast<char>(seed >> 56);
        }
        lzmaTaken += codec(head) == Codec::kLzma;
        head.replace(0, 2, "\x1F\x9D");
        compressTaken += codec(head) == Codec::kCompress;
    }
    EXPECT_EQ(lzmaTaken, 0);
    EXPECT_LT(compressTaken, heads / 32 + heads / 200);
}

TEST(DxfDecompress, StreamsThatAskForTooMuchMemoryAreRefused) {
    // An xz block whose dictionary is 4 GiB (header checksum made good).
    std::string xz = Sample("compressed/en.txt.xz");
    const size_t at = 12, headerSize = (static_cast<unsigned char>(xz[at]) + 1u) * 4;
    const unsigned char flags = static_cast<unsigned char>(xz[at + 1]);
    size_t p = at + 2;
    for (int field : {0x40, 0x80})
        if (flags & field)
            while (static_cast<unsigned char>(xz[p++]) & 0x80) {
            }
    ASSERT_EQ(xz[p], 0x21);  // LZMA2
    ASSERT_EQ(xz[p + 1], 1);
    xz[p + 2] = 40;
    const uLong crc = crc32(0, reinterpret_cast<const Bytef *>(xz.data() + at),
                            static_cast<uInt>(headerSize - 4));
    for (int k = 0; k < 4; ++k) xz[at + headerSize - 4 + k] = static_cast<char>(crc >> (8 * k));
    EXPECT_EQ(Decompress(xz).state, State::kRefused);

    // A zstd frame whose window is 2^28 bytes.
    ZSTD_CCtx *cctx = ZSTD_createCCtx();
    ZSTD_CCtx_setParameter(cctx, ZSTD_c_contentSizeFlag, 0);
    const std::string text = Sample("text/en-ascii.txt");
    std::string zst(ZSTD_compressBound(text.size()), '\0');
    zst.resize(ZSTD_compress2(cctx, zst.data(), zst.size(), text.data(), text.size()));
    ZSTD_freeCCtx(cctx);
    ASSERT_EQ(zst[4] & 0x20, 0);  // not a single segment: the window descriptor follows
    EXPECT_EQ(Decompress(zst).bytes, text);
    zst[5] = static_cast<char>((28 - 10) << 3);
    EXPECT_EQ(Decompress(zst).state, State::kRefused);

    // An lzip member whose dictionary is 512 MiB, over the limit as for xz.
    std::string lz = Sample("compressed/en.txt.lz");
    lz[5] = 29;
    EXPECT_EQ(Decompress(lz).state, State::kRefused);

    // A `.lzma` dictionary of 1 GiB is over the memory limit, as for xz.
    std::string lzma = Sample("compressed/en.txt.lzma");
    lzma.replace(1, 4, std::string("\x00\x00\x00\x40", 4));
    EXPECT_EQ(Decompress(lzma).state, State::kRefused);
}

// ---- charsets and tags ----------------------------------------------------------

// What a stripper makes of `markup` fed in one piece, checked against the
// same fed byte by byte.
std::string Stripped(const std::string &markup, bool html) {
    auto run = [&](size_t step) {
        std::string out;
        DXMSink sink = AppendingSink(out);
        dxf::MarkupStripper stripper(html);
        for (size_t i = 0; i < markup.size(); i += step)
            EXPECT_TRUE(stripper.Feed(std::string_view(markup).substr(i, step), &sink));
        return out;
    };
    const std::string whole = run(markup.size() + 1);
    EXPECT_EQ(run(1), whole) << markup;
    return whole;
}

// Declared charsets: what the mail reader (`false`) and the catalog reader
// (`true`, the Unicode forms left to the bytes) pass to the decoder.
TEST(DxfCompressText, DeclaredCharsetsTheDecoderCanUse) {
    for (bool unicodeFromBytes : {false, true}) {
        EXPECT_EQ(dxf::UsableCharset(" KOI8-R\r\n", unicodeFromBytes), "koi8-r");
        EXPECT_EQ(dxf::UsableCharset("Windows-1251", unicodeFromBytes), "windows-1251");
        for (const char *none :
             {"", " \t", "ascii", "US-ASCII", "ANSI_X3.4-1968", "CHARSET", "no-such-set"})
            EXPECT_EQ(dxf::UsableCharset(none, unicodeFromBytes), "") << none;
    }
    for (const char *unicode : {"UTF-8", "utf8", "UTF-16LE", "utf16be", "UTF-32"}) {
        EXPECT_NE(dxf::UsableCharset(unicode, false), "") << unicode;
        EXPECT_EQ(dxf::UsableCharset(unicode, true), "") << unicode;
    }
}

TEST(DxfCompressText, MarkupLosesTagsScriptsAndReferences) {
    struct {
        const char *markup;
        bool html;
        const char *text;
    } cases[] = {
        {"<p>caf&eacute; &amp; cr&egrave;me&nbsp;br&#xFB;l&#233;e</p>", true,
         "\ncafé & crème\u00a0brûlée\n"},
        {"<html><head><style>p{x:'</p>'}</style><script>if (a<b) x='</div>';</script>"
         "<title>T</title></head><body>one <b>bo</b>ld<br/>two</body></html>",
         true, "\n\n\nT\n\n\none bold\ntwo\n\n"},
        {"<SCRIPT type=x>a</scriptx</SCRIPT >after", true, "after"},
        {"1<2 and 3 <4>", true, "1<2 and 3 <4>"},
        {"<!-- <p>hidden</p> -- > still --><p a='>' b=\"<\">shown</p>", true, "\nshown\n"},
        {"<!DOCTYPE x [ <!ENTITY e \"v\"> ]>a < b &unknown; &lt &copy 5", true,
         " a < b &unknown; < © 5"},
        {"<?xml version='1.0'?><r><a>one</a><b>two</b><![CDATA[<raw> & ]]></r>", false,
         "   one  two <raw> &  "},
        {"line\none\r\n<p\n>tab\there", true, "line one  \ntab here"},
        {"<a href='x", true, ""},  // an open tag at the end swallows the rest
        {"&#0; &#x110000; &#xD800; &#12a;", true, "&#0; &#x110000; &#xD800; &#12a;"},
    };
    for (const auto &c : cases) EXPECT_EQ(Stripped(c.markup, c.html), c.text) << c.markup;
}

TEST(DxfCompressText, CharsetsAreFoundAndConvertedPieceByPiece) {
    const std::string ru =
        "Лиса и пекарь. Быстрая коричневая лиса прыгает через ленивую собаку у "
        "реки. Каждое утро пекарь открывает свою лавку и продаёт свежий хлеб.\n";
    struct {
        std::string bytes;
        std::string initial;  // InitialCharset of the bytes as markup
        const char *charset;  // what decides
        std::string text;
    } cases[] = {
        {Sample("text/ru-koi8r.txt"), "", "KOI8-R", ""},
        {Sample("text/ru-cp1251.txt"), "", "windows-1251", ""},
        {Sample("text/ja-iso2022.txt"), "", "ISO-2022-JP",
         "素早い茶色の狐がのろまな犬を飛び越える。\n"},
        {ru, "", "UTF-8", ru},
        {"\xEF\xBB\xBFplain", "UTF-8", "UTF-8", "\xEF\xBB\xBFplain"},  // the sink drops the mark
        {"<meta charset='koi8-r'>\xEC\xC9\xD3\xC1", "koi8-r", "koi8-r",
         "<meta charset='koi8-r'>Лиса"},
        {"<?xml version='1.0' encoding=\"ISO-8859-1\"?><a>\xE9</a>", "ISO-8859-1", "ISO-8859-1",
         "<?xml version='1.0' encoding=\"ISO-8859-1\"?><a>é</a>"},
        {"<meta charset=nonsense>\xC3\xA9", "", "UTF-8", "<meta charset=nonsense>é"},
        // UTF-16 and UTF-32 named without a hyphen are code units too: the bytes decide.
        {"<meta charset=utf16le>\xC3\xA9", "", "UTF-8", "<meta charset=utf16le>é"},
        {"<?xml version='1.0' encoding='UTF32BE'?><a>\xC3\xA9</a>", "", "UTF-8",
         "<?xml version='1.0' encoding='UTF32BE'?><a>é</a>"},
        {pipeline_test::Utf16(u"Größe und Maß, ein Text.\n"), "UTF-16LE", "UTF-16LE",
         "Größe und Maß, ein Text.\n"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(dxf::InitialCharset(c.bytes, true), c.initial) << c.charset;
        // One piece and then byte by byte: the same text, the same charset.
        std::string whole, pieces;
        dxf::TextDecoder one(c.initial, true);
        one.Decode(c.bytes, true, whole);
        EXPECT_EQ(one.charset(), c.charset);
        if (!c.text.empty()) {
            EXPECT_EQ(whole, c.text) << c.charset;
        }
        dxf::TextDecoder bytewise(c.initial, true);
        for (size_t i = 0; i < c.bytes.size(); ++i)
            bytewise.Decode(c.bytes.substr(i, 1), i + 1 == c.bytes.size(), pieces);
        EXPECT_EQ(pieces, whole) << c.charset;
        EXPECT_EQ(bytewise.charset(), c.charset);
    }
    // Russian in the legacy charsets reads as Russian.
    for (const char *file : {"text/ru-koi8r.txt", "text/ru-cp1251.txt"}) {
        std::string out;
        dxf::TextDecoder decoder("", false);
        decoder.Decode(Sample(file), true, out);
        EXPECT_NE(out.find("пекарь"), std::string::npos) << file << ": " << out;
    }
    // ASCII waits: the first piece that is not ASCII decides.
    dxf::TextDecoder lazy("", false);
    std::string out;
    lazy.Decode("plain ascii ", false, out);
    EXPECT_TRUE(lazy.charset().empty());
    lazy.Decode("na\xC3\xAFve", true, out);
    EXPECT_EQ(lazy.charset(), "UTF-8");
    EXPECT_EQ(out, "plain ascii naïve");
    // A stray sign in an ASCII preamble waits for the text after it.
    const std::string koi8 = Sample("text/ru-koi8r.txt");
    dxf::TextDecoder preamble("", false);
    out.clear();
    preamble.Decode("(c) \xA9 1999\n", false, out);
    EXPECT_EQ(out, "(c) ");
    for (int i = 0; i < 4; ++i) preamble.Decode(koi8, i == 3, out);
    EXPECT_EQ(preamble.charset(), "KOI8-R");
    EXPECT_NE(out.find("пекарь"), std::string::npos) << out;
    EXPECT_EQ(dxf::GuessCharset("\xE9t\xE9 \xE0 la plage", true, false), "ISO-8859-1");
    EXPECT_EQ(dxf::GuessCharset("cut \xC3", false, false), "UTF-8");
}

// ---- manual pages -------------------------------------------------------------

// What the troff stripper makes of `source` (see FedInPieces).
std::string Troff(const std::string &source) {
    return FedInPieces(source, [] { return dxf::TroffStripper(); });
}

TEST(DxfCompressText, TroffIsToldFromPlainText) {
    struct {
        const char *head;
        bool troff;
    } cases[] = {
        {".\\\" Copyright (c) 1999\n.TH LS 1\n", true},
        {"'\\\" t\n.TH X 1\n", true},
        {"\n\n.TH LS 1 2020\n.SH NAME\n", true},
        {".Dd $Mdocdate$\n.Dt LS 1\n", true},
        {"\xEF\xBB\xBF.SH NAME\nls\n", true},
        {".so man1/other.1\n", true},
        {".PP\nText\n.B bold\n.PP\nmore\n.I it\n.br\n", true},
        // Plain text with a line or two that start with a dot stays plain.
        {"A letter.\n.NET is a framework.\nSecond line.\nThird.\n", false},
        {".THE END of a story\nwith words\n", false},
        {"...and then\nsomething\n.\n", false},
        {"Text\n.a\n.b\n.c\n.d\nmore text\nand more\nand more\nand more\n", false},
        {"", false},
    };
    for (const auto &c : cases) EXPECT_EQ(dxf::LooksLikeTroff(c.head), c.troff) << c.head;
}

TEST(DxfCompressText, TroffKeepsTheWordsOfAPage) {
    struct {
        std::string source;
        std::string text;
    } cases[] = {
        // Comments, whole lines and to the end of a line.
        {".\\\" Licence text\n'\\\" t\n.\\# note\nWords \\\" said here\nmore\n", "Words \nmore\n"},
        // Requests without text go; the arguments of text macros stay.
        {".TH LS 1 2020-01-01 \"GNU\" \"Manual\"\n.SH \"NAME\"\nls \\- list\n.PP\n.br\n"
         ".sp 2\n.RS 4\n.nr x 1\n.ds y z\n.ft B\n.in +2\n.ti 3\n.na\n.ad l\n.nh\n.hy\n.ne 5\n"
         ".IX Item\n.so other\n.if n .B hidden\n.ie t x\n.el y\n.RE\n",
         "NAME\nls - list\n"},
        {".B \"two words\" three\n.I it\n.SS Sub\n", "two words three\nit\nSub\n"},
        {".BR ls (1),\n.IR file .\n.BI \"\\-o \" out\n", "ls(1),\nfile.\n-o out\n"},
        {".TP 8\n.B \\-a\nall\n.IP \\(bu 4\nitem\n.IP \"one \"\"q\"\"\" 2\n",
         "-a\nall\n•\nitem\none \"q\"\n"},
        // Definitions up to "..", tables without their format lines.
        {".de XX\n.B inside\ntext inside\n..\nafter\n", "after\n"},
        {".ig\nignored\n. .\nkept\n", "kept\n"},
        {".TS\nbox;\nl l\nl l.\nName\tWert\n_\nT{\nlanger Text\nT}\tx\n.TE\nend\n",
         "Name Wert\n \nlanger Text\n  x\nend\n"},
        // mdoc: the words of its macros, not the names of the calls.
        {".Dd $Mdocdate$\n.Dt LS 1\n.Os\n.Sh NAME\n.Nm ls\n.Nd list directory contents\n"
         ".Pp\n.Bl -tag -width Ds\n.It Fl a\nall\n.El\n.Xr ls 1 Ns ,\n",
         "NAME\nls\nlist directory contents\na\nall\nls 1 ,\n"},
        // A line that ends in '\' joins the next, which is text.
        {"one \\\n.two\nthree\n", "one .two\nthree\n"},
        {"last line", "last line\n"},
        {"crlf\r\n.PP\r\n", "crlf\n"},
        {"", ""},
    };
    for (const auto &c : cases) EXPECT_EQ(Troff(c.source), c.text) << c.source;
}

TEST(DxfCompressText, TroffEscapesBecomeTheirCharacters) {
    struct {
        const char *in;
        const char *out;
    } cases[] = {
        {"\\fBbold\\fR \\fIit\\fP \\f(CWcw\\fR \\f[CB]x\\f[]", "bold it cw x"},
        {"\\s-2small\\s0 \\s+2big\\s12x\\s(10y\\s[8]z", "small bigxyz"},
        {"a\\&b\\c\\%c\\:d\\|e\\^f\\0g\\~h\\ i", "abcdef g h i"},
        {"\\e \\- \\. \\\\ \\' \\`", "\\ - . \\ ' `"},
        {"\\(em\\(en\\(aq\\(lq\\(rq\\(bu\\(co", "—–'“”•©"},
        {"Gr\\(:o\\(ssen\\(:a\\(:u \\('e\\(`a\\(,c \\[:A]\\[u00DF]\\[u20AC]", "Größenäü éàç Äß€"},
        {"\\*(lqq\\*(rq \\*[name]x \\*Ry \\n(xxz \\n[reg]a \\n+xb", "q x y z a b"},
        {"\\h'-2n'a\\v'1'b\\w'\\fBx'c\\kxd\\zee\\C'em'f\\N'65'g", "abcdee—fg"},
        {"\\(zz\\[unknown]\\[u12]\\[uD800]\\[u00E4abc]x\\[u0065_0301]", "xe"},
        // Cut escapes at the end of a line drop what is there.
        {"end\\(", "end"},
        {"end\\(e", "end"},
        {"end\\[em", "end"},
        {"end\\f", "end"},
        {"end\\s+", "end"},
        {"end\\h'2", "end"},
        {"tab\there", "tab here"},
        {"\\qunknown", "qunknown"},
    };
    for (const auto &c : cases) {
        std::string out;
        EXPECT_EQ(dxf::TroffEscapes(c.in, out), dxf::TroffEnd::kEnd) << c.in;
        EXPECT_EQ(out, c.out) << c.in;
        EXPECT_EQ(Troff(std::string(c.in) + "\n"), std::string(c.out) + "\n") << c.in;
    }
    std::string out;
    EXPECT_EQ(dxf::TroffEscapes("join\\", out), dxf::TroffEnd::kJoin);
    EXPECT_EQ(dxf::TroffEscapes("text \\\" comment", out), dxf::TroffEnd::kComment);
    EXPECT_EQ(out, "jointext ");
}

TEST(DxfCompressText, TroffLongLinesAndRunawayBlocksStayBounded) {
    const size_t max = dxf::TroffStripper::kMaxLine;
    // A long text line is read in pieces; the text is all there.
    const std::string words = [] {
        std::string s;
        while (s.size() < 3 * dxf::TroffStripper::kMaxLine) s += "Wort ";
        return s;
    }();
    EXPECT_EQ(Troff(words + "\n"), words + "\n");
    // A long comment or request drops all its pieces.
    EXPECT_EQ(Troff(".\\\" " + std::string(3 * max, 'x') + "\nok\n"), "ok\n");
    EXPECT_EQ(Troff(".ds " + std::string(3 * max, 'x') + "\nok\n"), "ok\n");
    EXPECT_EQ(Troff("text \\\" " + std::string(3 * max, 'x') + "\nok\n"), "text \nok\n");
    // A definition that never ends drops the rest, and nothing is held.
    EXPECT_EQ(Troff(".de X\n" + std::string(3 * max, '\n') + "text\n"), "");
}

// ---- through the plug-in -------------------------------------------------------

using DxfCompressed = PluginTest;

TEST_F(DxfCompressed, TextAndMarkupInsideComeOutAsTheirText) {
    const std::string en = Bytes("text/en-ascii.txt");
    ASSERT_EQ(en.substr(0, 22), "The fox and the baker\n");
    for (const char *ext : kAllExtensions) {
        Extraction r = plugin->Extract(Data(std::string("compressed/en.txt.") + ext));
        EXPECT_EQ(r.utf8(), en) << ext;
        EXPECT_TRUE(r.endRepeats && r.opens == 1 && r.closes == 1) << ext;
    }
    EXPECT_EQ(plugin->Extract(Data("compressed/fr.html.gz")).utf8(),
              "Le renard et le boulanger\nLe renard et le boulanger\n"
              "Le renard brun rapide saute par-dessus le chien paresseux près de la rivière.\n"
              "Chaque matin, le boulanger ouvre sa boutique et vend du pain frais aux voisins.\n");
    const std::string ru = plugin->Extract(Data("compressed/ru-cp1251.html.gz")).utf8();
    EXPECT_EQ(ru.substr(0, ru.find('\n')), "Лиса и пекарь");
    // A manual page gives its words: no licence comments, requests or escapes.
    EXPECT_EQ(plugin->Extract(Data("compressed/de-page.1.gz")).utf8(),
              "BEZEICHNUNG\nbaecker - backt jeden Morgen frisches Brot am Flussufer\n"
              "ÜBERSICHT\nbaecker\n[-n ANZAHL] [DATEI ...]\nBESCHREIBUNG\n"
              "Der Bäcker öffnet jeden Morgen seinen Laden und verkauft den Nachbarn\n"
              "frisches Brot. Der schnelle braune Fuchs springt über den faulen Hund\n"
              "am Flussufer, während die Sonne langsam über der Stadt aufgeht.\n"
              "Die Größe der Brötchen hängt vom Wetter ab; bei Regen werden sie\n"
              "kleiner, bei Sonnenschein größer.\nOPTIONEN\n-n, --anzahl=ANZAHL\n"
              "Backt genau ANZAHL Laibe und hört dann auf.\n•\n"
              "Jeder Laib wird vor dem Verkauf gewogen und gezählt.\nBEISPIELE\n"
              "baecker -n 12 roggen.txt\nSorte Gewicht\nRoggenbrot ein Kilogramm\n"
              "Weizenbrot ein halbes Kilogramm\nSIEHE AUCH\nkonditor(1),\nmüller(8)\n");
    // Style content is not text.
    EXPECT_EQ(plugin->Extract(Data("compressed/de.xhtml.zst")).utf8().find("white-space"),
              std::string::npos);
}

TEST_F(DxfCompressed, DocumentsInsideGiveTheTextOfThePlainDocument) {
    // zstd keeps the first bytes of a document as they are, so "%PDF-" stands
    // near the start of a compressed PDF: the stream's own signature decides.
    const std::string pdf = Bytes("docs/en.pdf");
    std::string zst(ZSTD_compressBound(pdf.size()), '\0');
    zst.resize(ZSTD_compress(zst.data(), zst.size(), pdf.data(), pdf.size(), 3));
    ASSERT_NE(zst.substr(0, 1024).find("%PDF-"), std::string::npos);
    // The legacy formats give what the others give: text, a manual page and
    // documents inside. The format rules look past the decompressed head as
    // they look past a plain file's: a DOS EPS whose PostScript starts after
    // the first 8 KiB, and a `.po` catalog whose header entry comes after a
    // long comment block.
    for (auto [inside, plain] :
         {std::pair{Temp("en.pdf.zst", zst), "docs/en.pdf"},
          {Data("compressed/en.pdf.gz"), "docs/en.pdf"},
          {Data("compressed/de.docx.xz"), "docs/de.docx"},
          {Data("compressed/fr.odt.zst"), "docs/fr.odt"},
          {Data("compressed/en.doc.gz"), "docs/en.doc"},
          {Data("compressed/es.rtf.bz2"), "docs/es.rtf"},
          {Data("compressed/fr.odt.lzma"), "docs/fr.odt"},
          {Data("compressed/en.pdf.Z"), "docs/en.pdf"},
          {Data("compressed/en.pdf.lz4"), "docs/en.pdf"},
          {Data("compressed/de.docx.lz4"), "docs/de.docx"},
          {Data("compressed/en.pdf.lz"), "docs/en.pdf"},
          {Data("compressed/de.docx.lz"), "docs/de.docx"},
          {Data("compressed/fr.html.lz4"), "compressed/fr.html.gz"},
          {Data("compressed/fr.html.lz"), "compressed/fr.html.gz"},
          {Data("compressed/fr.txt.lz"), "compressed/fr.txt.lz4"},
          {Data("compressed/de-legacy.txt.lz4"), "compressed/de.txt.gz"},
          {Data("compressed/en.txt.lzma"), "compressed/en.txt.gz"},
          {Data("compressed/de.txt.Z"), "compressed/de.txt.gz"},
          {Data("compressed/de-page.1.Z"), "compressed/de-page.1.gz"},
          {Data("catalog/de-credits.po.gz"), "catalog/de-credits.po"},
          {Data("catalog/de-credits.po.bz2"), "catalog/de-credits.po"},
          {Data("compressed/de-preview-first.eps.gz"), "docs/de-preview-first.eps"},
          {Data("compressed/de-preview-first.eps.xz"), "docs/de-preview-first.eps"},
          {Data("chm/en.chm.gz"), "chm/en.chm"},
          {Data("djvu/de.djvu.gz"), "djvu/de.djvu"},
          {Data("iwork/en.pages.gz"), "iwork/en.pages"},
          {Data("xps/de.oxps.gz"), "xps/de.oxps"},
          {Data("works/de.wk1.gz"), "works/de.wk1"}}) {
        EXPECT_EQ(plugin->Format(inside), DX_FMT_COMPRESSED) << inside;
        Extraction r = plugin->Extract(inside);
        EXPECT_TRUE(r.openText == 0 && r.readError == 0) << inside;
        EXPECT_FALSE(r.text.empty()) << inside;
        EXPECT_EQ(r.utf8(), plugin->Extract(Data(plain)).utf8()) << inside;
        EXPECT_TRUE(r.opens == 1 && r.closes == 1) << inside;
    }
    // The catalog gives its translations, not its credits; a long compress
    // stream gives its whole text.
    EXPECT_EQ(plugin->Extract(Data("catalog/de-credits.po.gz")).utf8().find("Translator"),
              std::string::npos);
    Extraction r = plugin->Extract(Data("compressed/long-12.txt.Z"));
    EXPECT_EQ(r.readError, 0);
    EXPECT_NE(r.utf8().find("\n1999\n2000\n"), std::string::npos);
}

TEST_F(DxfCompressed, ReadsPastTheHeadStayWithinTheStream) {
    // A template of that kind stays text, comments and all.
    const std::string pot = Bytes("catalog/credits.pot");
    EXPECT_NE(plugin->Extract(Temp("credits.pot.gz", Gzip(pot))).utf8().find("# Translator 199"),
              std::string::npos);
    // A stream cut after the head: the catalog's translations are not
    // reached, so it reads as the text up to the cut. Stored blocks put the
    // cut 10000 bytes into the document.
    const std::string po = Bytes("catalog/de-credits.po");
    Extraction r = plugin->Extract(Temp("cut.po.gz", Gzip(po, 0).substr(0, 10000)));
    EXPECT_EQ(r.readError, 0);
    EXPECT_EQ(r.utf8().substr(0, 13), "# Translator ");
    EXPECT_LT(r.text.size(), 10000u);
    // A DOS EPS whose section the header places past the end of the
    // document, or past the cap: refused, as the same documents
    // uncompressed are not PostScript. So is one whose section lies in a
    // long run of zero bytes (a bomb), in the cap or past it.
    const std::string eps = Bytes("docs/de-preview-first.eps");
    const auto at = [&](uint64_t offset) {
        std::string doc = eps;
        for (int i = 0; i < 4; ++i) doc[4 + i] = static_cast<char>(offset >> (8 * i));
        return doc;
    };
    const uint64_t cap = dxf::kMaxPartBytes;
    std::vector<std::string> streams;
    for (uint64_t offset : {eps.size() - 2, uint64_t{20000}, cap + 8}) {
        EXPECT_NE(plugin->Format(Temp("far.eps", at(offset))), DX_FMT_POSTSCRIPT) << offset;
        streams.push_back(Gzip(at(offset)));
    }
    const std::string zeros = Gzip(std::string(1 << 20, '\0'), 1);
    for (uint64_t offset : {cap - (1 << 20), cap + 8}) {
        std::string bomb = Gzip(at(offset));
        for (int i = 0; i < 70; ++i) bomb += zeros;
        streams.push_back(bomb);
    }
    for (const std::string &stream : streams) {
        r = plugin->Extract(Temp("far.eps.gz", stream));
        EXPECT_TRUE(r.opened && r.openText != 0 && r.text.empty());
        EXPECT_TRUE(r.opens == 1 && r.closes == 1);
    }
}

// Bytes held for the memory stream that reads them.
struct HeldBytes {
    std::string bytes;
};

// A document in memory behind the stream callbacks (the plug-in's own
// memory stream) that counts the bytes read from it.
class CountingStream : private HeldBytes, public dxf::MemoryStream {
  public:
    explicit CountingStream(std::string bytes)
        : HeldBytes{std::move(bytes)},
          dxf::MemoryStream(HeldBytes::bytes),
          read_from_(stream.read) {
        stream.open = [](DXStream *) { return 1; };
        stream.close = [](DXStream *) { return 0; };
        stream.read = [](DXStream *s, void *buffer, int count) {
            auto *self = static_cast<CountingStream *>(static_cast<dxf::MemoryStream *>(s->record));
            const int n = self->read_from_(s, buffer, count);
            self->read_ += static_cast<size_t>(std::max(n, 0));
            return n;
        };
    }

    DXStream *get() { return &stream; }
    size_t size() const { return HeldBytes::bytes.size(); }
    size_t read() const { return read_; }

  private:
    decltype(DXStream::read) read_from_;
    size_t read_ = 0;
};

TEST_F(DxfCompressed, ADocumentReadPastItsHeadIsDecompressedOnce) {
    // A DOS EPS whose PostScript lies behind a preview of 1 MiB: the format
    // rule reads on to it, and the document is unpacked from there on. Each
    // compressed byte is read once (after the signature's 16).
    void *lib = dlopen((std::string(kFilterDir) + "dxfilter_compress.so").c_str(), RTLD_NOW);
    ASSERT_NE(lib, nullptr);
    const auto get = reinterpret_cast<DXMGetModuleFn>(dlsym(lib, "DXM_GetModule"));
    ASSERT_NE(get, nullptr);
    const auto *module = reinterpret_cast<const DXMUnpackModule *>(get());
    std::string eps = Bytes("docs/de-preview-first.eps");
    const uint32_t offset = (eps[4] & 0xFF) | (eps[5] & 0xFF) << 8;
    eps.insert(offset, std::string(1 << 20, '\x5A'));
    const uint32_t moved = offset + (1 << 20);
    for (int i = 0; i < 4; ++i) eps[4 + i] = static_cast<char>(moved >> (8 * i));
    CountingStream doc(Gzip(eps, 1));
    const DXMLimits limits{INT64_MAX, dxf::kMaxPartBytes, dxf::kMaxTotalBytes, dxf::kMaxParts};
    DXMExtractor *extractor = nullptr;
    DXMInner inner{};
    ASSERT_EQ(
        module->unpack(doc.get(), static_cast<int64_t>(doc.size()), &limits, &extractor, &inner),
        2);
    EXPECT_EQ(inner.format, DX_FMT_POSTSCRIPT);
    EXPECT_EQ(inner.size, static_cast<int64_t>(eps.size()));
    std::string unpacked(eps.size(), '\0');
    EXPECT_EQ(pread(inner.fd, unpacked.data(), unpacked.size(), 0),
              static_cast<ssize_t>(eps.size()));
    EXPECT_EQ(unpacked, eps);
    close(inner.fd);
    EXPECT_LE(doc.read(), doc.size() + 16);
}

TEST_F(DxfCompressed, AStreamThatHoldsNothingIsAnEmptyText) {
    // As an empty file: the text opens and ends at once, so the engine
    // answers as it does for a document without text.
    for (const char *ext : kAllExtensions) {
        const std::string file = Data(std::string("compressed/empty.") + ext);
        EXPECT_EQ(plugin->Format(file), DX_FMT_COMPRESSED) << ext;
        Extraction r = plugin->Extract(file);
        EXPECT_TRUE(r.opened && r.openText == 0 && r.readError == 0) << ext;
        EXPECT_TRUE(r.text.empty() && r.endRepeats) << ext;
        EXPECT_TRUE(r.opens == 1 && r.closes == 1) << ext;
        if (OneStream(ext)) continue;
        const std::string empty = Bytes(std::string("compressed/empty.") + ext);
        EXPECT_EQ(Decompress(empty), (Decompressed{"", State::kEnd})) << ext;
        // Padding after it changes nothing; two empty streams are one.
        for (const std::string &bytes : {empty + std::string(64, '\0'), empty + empty}) {
            r = plugin->Extract(Temp(std::string("more.") + ext, bytes));
            EXPECT_TRUE(r.openText == 0 && r.text.empty()) << ext;
        }
        // Cut anywhere, it gives no byte and is damaged: refused, as a
        // stream cut in its header is.
        for (size_t cut = 0; cut < empty.size(); ++cut) {
            const std::string part = empty.substr(0, cut);
            EXPECT_NE(Decompress(part).state, State::kEnd) << ext << " cut " << cut;
            if (!dxf::CodecOf({reinterpret_cast<const unsigned char *>(part.data()), part.size()}))
                continue;
            EXPECT_NE(plugin->Extract(Temp(std::string("cut.") + ext, part)).openText, 0)
                << ext << " cut " << cut;
        }
    }
    // A `.lzma` stream cut anywhere is refused; compress has no end mark,
    // so its header alone is the empty stream.
    const std::string empty = Bytes("compressed/empty.lzma");
    for (size_t cut = 14; cut < empty.size(); ++cut)
        EXPECT_NE(plugin->Extract(Temp("cut.lzma", empty.substr(0, cut))).openText, 0) << cut;
}

TEST_F(DxfCompressed, WhatCannotBeReadIsRefused) {
    // An archive, an image, a compressed stream inside, a stream cut in its
    // header, a PDF of more than the cap, and zero bytes after a text.
    const std::string zeros =
        Temp("zeros.txt.gz", Gzip("Some text.\n" + std::string(1 << 20, '\0'), 1));
    for (const std::string &file :
         {Data("compressed/en.tar.gz"), Data("compressed/blue.png.gz"),
          Data("compressed/en.txt.gz.gz"), Data("compressed/header-only.txt.gz"),
          Data("compressed/bomb.pdf.gz"), Data("compressed/bomb.pdf.lz4"),
          Data("compressed/bomb.pdf.lz"), Data("compressed/cut.txt.lz4"), zeros}) {
        EXPECT_EQ(plugin->Format(file), DX_FMT_COMPRESSED) << file;
        Extraction r = plugin->Extract(file);
        EXPECT_TRUE(r.opened) << file;
        EXPECT_NE(r.openText, 0) << file;
        EXPECT_TRUE(r.text.empty()) << file;
        EXPECT_TRUE(r.opens == 1 && r.closes == 1) << file;
    }
    // Other archives stay archives; gzip with another method than deflate too.
    EXPECT_EQ(plugin->Format(Temp("x.gz", "\x1F\x8B\x09" + std::string(100, 'x'))), DX_FMT_ARCHIVE);
    EXPECT_EQ(plugin->Format(Temp("x.7z", "7z\xBC\xAF\x27\x1C" + std::string(100, 'x'))),
              DX_FMT_ARCHIVE);
    // bzip2 of any block size is a compressed document.
    EXPECT_EQ(plugin->Format(Temp("x.bz2", "BZh11AY&SY" + std::string(100, 'x'))),
              DX_FMT_COMPRESSED);
}

TEST_F(DxfCompressed, LongAndDamagedTextsEndCleanly) {
    // A text followed by 70 MiB of spaces: the cap ends it with the text.
    const std::string member = Gzip(std::string(1 << 20, ' '), 1);
    std::string bomb = Gzip("A short text before the spaces.\n");
    for (int i = 0; i < 70; ++i) bomb += member;
    Extraction r = plugin->Extract(Temp("spaces.txt.gz", bomb));
    EXPECT_EQ(r.readError, 0);
    EXPECT_EQ(r.utf8(), "A short text before the spaces.\n");
    // A long text is capped like any other document's.
    std::string lines;
    for (int i = 0; i < 40000; ++i) lines += "line " + std::to_string(i) + " of a long text\n";
    r = plugin->Extract(Temp("long.txt.gz", Gzip(lines)));
    EXPECT_EQ(r.utf8().substr(0, 22), "line 0 of a long text\n");
    EXPECT_LE(r.text.size(), kTextCap);
    EXPECT_GT(r.text.size(), kTextCap - 100);
    // A stream cut short gives its text up to the cut.
    r = plugin->Extract(Data("compressed/cut.txt.gz"));
    EXPECT_EQ(r.readError, 0);
    EXPECT_EQ(r.utf8().substr(0, 21), "The fox and the baker");
}

TEST_F(DxfCompressed, MutatedStreamsNeverBreakThePlugin) {
    // Cut short or with bytes overwritten behind the signature, in every
    // codec and with every kind of content: reading ends, releases the
    // stream and stays within the text bound.
    Mutator m(4242);
    for (const char *file :
         {"compressed/en.txt.gz", "compressed/de.txt.bz2", "compressed/de.txt.xz",
          "compressed/de.txt.zst", "compressed/fr.html.gz", "compressed/de.docx.xz",
          "compressed/en.doc.gz", "compressed/es.rtf.bz2", "compressed/fr.odt.zst",
          "compressed/de.txt.Z", "compressed/de-page.1.Z", "compressed/en.pdf.Z",
          "compressed/fr.odt.lzma", "compressed/de.txt.lzma", "compressed/de.txt.lz4",
          "compressed/de-legacy.txt.lz4", "compressed/de.docx.lz4", "compressed/fr.html.lz",
          "compressed/en.pdf.lz"}) {
        const std::string bytes = Sample(file);
        for (int variant = 0; variant < 4; ++variant) {
            std::string mutated = m.Overwrite(bytes, 4 * variant, 16);
            if (variant == 0) mutated.resize(mutated.size() / 2);
            Extraction r = plugin->Extract(Temp("mutated", mutated));
            EXPECT_EQ(plugin->Format(Temp("mutated", mutated)), DX_FMT_COMPRESSED) << file;
            EXPECT_EQ(r.opens, r.closes) << file << " variant " << variant;
            EXPECT_LE(r.text.size(), kTextCap) << file;
        }
    }
}

}  // namespace
