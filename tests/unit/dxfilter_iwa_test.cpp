// The decoders of iWork 2013-and-later parts (snappy.cpp, iwa.cpp): raw
// Snappy blocks of every element kind, overlapping copies, and damaged ones
// (cut anywhere, copies before the block's start or past its stated length,
// oversize preambles), failing without a byte of the block; protocol buffer
// fields of every wire type and the ones refused (groups, unknown types, cut
// lengths, overlong varints); chunks and archive objects, whole, cut and
// over their bounds; the reading order of the gathered text.
#include <gtest/gtest.h>

#include <cstdint>
#include <tuple>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "dxfilter_iwa_writer.h"
#include "dxfilter_test_support.h"
#include "filters/dxfilter/iwa.h"
#include "filters/dxfilter/snappy.h"

namespace {

using dxfilter_test::Mutator;
using namespace dxfilter_iwa;
namespace iwa = dxf::iwa;

const auto kAlways = [] { return true; };

std::string Decode(std::string_view block, size_t max = 1 << 20) {
    std::string out;
    return dxf::SnappyDecode(block, max, out) ? out : "<failed>";
}

// A block of every element kind: literals of short, one- and two-byte
// lengths, copies of each offset size, and copies that overlap their output.
std::string EveryElement(std::string &expected) {
    const std::string shortLit = "harbour ", long1(100, 'x'), long2(300, 'y');
    expected =
        shortLit + "harb" + long1 + "harbour " + long2 + "yyyyy" + "ab" + "ababababab" + "our h";
    return Block(expected.size(), {Literal(shortLit), Copy1(8, 4), Literal(long1), Copy2(112, 8),
                                   Literal(long2), Copy4(1, 5), Literal("ab"), Copy2(2, 10),
                                   Copy1(static_cast<unsigned>(expected.size() - 5 - 4), 5)});
}

TEST(IwaSnappy, EveryElementKindDecodes) {
    std::string expected;
    const std::string block = EveryElement(expected);
    ASSERT_EQ(expected.substr(expected.size() - 5), "our h");
    EXPECT_EQ(Decode(block), expected);
    EXPECT_EQ(dxf::SnappyDecodedLength(block), expected.size());
    EXPECT_EQ(Decode(Block(0, {})), "");
    // Appended after what `out` held; copies reach only into the block's own bytes.
    std::string out = "kept";
    ASSERT_TRUE(dxf::SnappyDecode(Block(3, {Literal("abc")}), 10, out));
    EXPECT_EQ(out, "keptabc");
    EXPECT_FALSE(dxf::SnappyDecode(Block(8, {Literal("abc"), Copy1(6, 5)}), 10, out));
    EXPECT_EQ(out, "keptabc");
}

TEST(IwaSnappy, DamagedBlocksFailWithoutOutput) {
    const std::vector<std::pair<std::string, const char *>> bad = {
        {Block(6, {Literal("ab"), Copy2(0, 4)}), "offset 0"},
        {Block(6, {Literal("ab"), Copy2(3, 4)}), "offset before the start"},
        {Block(6, {Literal("ab"), Copy4(0xFFFFFFFF, 4)}), "offset of 4 GiB"},
        {Block(5, {Literal("ab"), Copy2(2, 4)}), "copy past the stated length"},
        {Block(2, {Literal("abc")}), "literal past the stated length"},
        {Block(4, {Literal("abc")}), "shorter than stated"},
        {Block(3, {"\x08"
                   "ab"}),
         "literal cut"},
        {Block(300, {"\xF0\x2B"}), "literal length cut"},
        {Block(6, {Literal("ab"), "\x02\x02"}), "copy offset cut"},
        {Block(6, {Literal("ab"), "\x01"}), "copy-1 offset cut"},
        {std::string("\x80\x80\x80\x80\x80\x01", 6), "preamble of six bytes"},
        {std::string("\xFF\xFF\xFF\xFF\x1F", 5), "preamble over 4 GiB"},
        {std::string("\x80", 1), "preamble cut"},
    };
    for (const auto &[block, what] : bad) {
        std::string out = "x";
        EXPECT_FALSE(dxf::SnappyDecode(block, 1 << 20, out)) << what;
        EXPECT_EQ(out, "x") << what;
    }
    // The bound applies to the stated length, before any byte is decoded.
    std::string expected;
    const std::string block = EveryElement(expected);
    std::string out;
    EXPECT_FALSE(dxf::SnappyDecode(block, expected.size() - 1, out));
    EXPECT_TRUE(out.empty());
    // Every cut of a good block fails.
    for (size_t cut = 0; cut < block.size(); ++cut)
        EXPECT_EQ(Decode(block.substr(0, cut)), "<failed>") << cut;
}

TEST(IwaSnappy, MutatedBlocksGiveTheStatedLengthOrNothing) {
    Mutator mutator(2024);
    std::string expected;
    const std::string block = EveryElement(expected);
    for (int round = 0; round < 3000; ++round) {
        const std::string bytes = mutator.Overwrite(block, 1 + round % 6);
        std::string out = "x";
        const auto stated = dxf::SnappyDecodedLength(bytes);
        if (dxf::SnappyDecode(bytes, 4096, out))
            EXPECT_EQ(out.size(), 1 + *stated) << round;
        else
            EXPECT_EQ(out, "x") << round;
    }
}

TEST(IwaProto, FieldsOfEveryWireType) {
    const std::string message =
        Int(1, 150) + Bytes(2, "text") + std::string("\x19\x01\x02\x03\x04\x05\x06\x07\x08", 9) +
        std::string("\x25\x01\x00\x00\x80", 5) + Int(536870911, 1) + Int(5, UINT64_MAX);
    iwa::ProtoReader r(message);
    std::vector<iwa::Field> fields;
    for (iwa::Field f; r.Next(f);) fields.push_back(f);
    EXPECT_FALSE(r.damaged());
    ASSERT_EQ(fields.size(), 6u);
    EXPECT_EQ(fields[0].value, 150u);
    EXPECT_EQ(fields[1].wire, iwa::kBytes);
    EXPECT_EQ(fields[1].bytes, "text");
    EXPECT_EQ(fields[2].value, 0x0807060504030201u);
    EXPECT_EQ(fields[3].wire, iwa::kFixed32);
    EXPECT_EQ(fields[3].value, 0x80000001u);
    EXPECT_EQ(fields[4].number, 536870911u);
    EXPECT_EQ(fields[5].value, UINT64_MAX);
}

TEST(IwaProto, DamagedMessagesStopAtTheDamage) {
    const std::vector<std::pair<std::string, const char *>> bad = {
        {"\x0B\x08\x01\x0C", "a group"},
        {"\x0C", "a group's end"},
        {"\x0E\x01", "wire type 6"},
        {"\x0F\x01", "wire type 7"},
        {std::string("\x00\x01", 2), "field 0"},
        {"\x12\x05"
         "abc",
         "length past the end"},
        {"\x12\xFF\xFF\xFF\xFF\x0F", "length of 4 GiB"},
        {"\x08\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\x01", "varint of eleven bytes"},
        {"\x08\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\x02", "varint over 64 bits"},
        {"\x11\x01\x02\x03", "fixed64 cut"},
        {"\x15\x01", "fixed32 cut"},
        {"\x80\x80\x80\x80\x80\x01\x00", "field number over 32 bits"},
    };
    for (const auto &[message, what] : bad) {
        const std::string bytes = Int(1, 7) + message;
        iwa::ProtoReader r(bytes);
        iwa::Field f;
        ASSERT_TRUE(r.Next(f)) << what;
        EXPECT_FALSE(r.Next(f)) << what;
        EXPECT_TRUE(r.damaged()) << what;
        EXPECT_FALSE(r.Next(f)) << what;
    }
    // Every cut either ends between fields or is damaged, never reads past.
    const std::string message = Int(3, 300) + Bytes(4, Bytes(1, "nested")) + Int(5, 1);
    for (size_t cut = 0; cut <= message.size(); ++cut) {
        const std::string bytes = message.substr(0, cut);
        iwa::ProtoReader r(bytes);
        size_t n = 0;
        for (iwa::Field f; r.Next(f);) {
            ++n;
            if (f.wire == iwa::kBytes) {
                EXPECT_TRUE(f.bytes.data() >= bytes.data() &&
                            f.bytes.data() + f.bytes.size() <= bytes.data() + bytes.size());
            }
        }
        const bool between = cut == 0 || cut == 3 || cut == 3 + 10 || cut == message.size();
        EXPECT_EQ(r.damaged(), !between) << cut;
        EXPECT_LE(n, 3u);
    }
}

TEST(IwaParts, ChunksJoinIntoOneStream) {
    std::string out;
    const std::string part = Part("first half, ") + Part("second half");
    ASSERT_TRUE(iwa::UnpackPart(part, 100, out, kAlways));
    EXPECT_EQ(out, "first half, second half");
    // A chunk of another type, a cut header or block, or more than the
    // bound ends the part after the chunks before it.
    for (const auto &[tail, what] : std::vector<std::pair<std::string, const char *>>{
             {std::string("\x01\x03\x00\x00\x02\x04z", 7), "type 1"},
             {std::string("\x00\x05\x00", 3), "header cut"},
             {Part("abc").substr(0, 6), "block cut"},
             {std::string("\x00\xFF\xFF\xFF", 4), "length past the end"},
             {Part(std::string(100, 'z')), "over the bound"}}) {
        out.clear();
        EXPECT_FALSE(iwa::UnpackPart(Part("kept") + tail, 100, out, kAlways)) << what;
        EXPECT_EQ(out, "kept") << what;
    }
    out.clear();
    EXPECT_FALSE(iwa::UnpackPart(part, 100, out, [] { return false; }));
    EXPECT_TRUE(out.empty());
}

TEST(IwaParts, ObjectsHandTheirMessagesInOrder) {
    const std::string stream = Object(7, {{2001, "abc"}, {0, "patch"}}) + Object(8, {{6005, ""}});
    std::vector<std::tuple<uint64_t, uint32_t, std::string>> seen;
    EXPECT_TRUE(iwa::ForEachMessage(stream, [&](const iwa::Message &m) {
        seen.emplace_back(m.object, m.type, std::string(m.payload));
        return true;
    }));
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0], std::make_tuple(uint64_t{7}, 2001u, std::string("abc")));
    EXPECT_EQ(seen[1], std::make_tuple(uint64_t{7}, 0u, std::string("patch")));
    EXPECT_EQ(seen[2], std::make_tuple(uint64_t{8}, 6005u, std::string()));
    // Damage ends the stream after the messages before it.
    const std::string huge = Int(1, 9) + Bytes(2, Int(1, 2001) + Int(3, 0xFFFFFFFF));
    for (const auto &[tail, what] : std::vector<std::pair<std::string, const char *>>{
             {Varint(huge.size()) + huge + "short", "message past the end"},
             {"\x05\x08\x01", "header past the end"},
             {"\x02\x0B\x0C", "header not a message"},
             {"\x04\x12\x02\x0B\x0C", "message record not a message"},
             {std::string(11, '\xFF'), "header length of eleven bytes"}}) {
        size_t n = 0;
        EXPECT_FALSE(iwa::ForEachMessage(Object(1, {{1, "x"}}) + tail, [&](const iwa::Message &) {
            ++n;
            return true;
        })) << what;
        EXPECT_EQ(n, 1u) << what;
    }
    // Every cut of a stream hands out whole messages only.
    for (size_t cut = 0; cut < stream.size(); ++cut) {
        iwa::ForEachMessage(stream.substr(0, cut), [&](const iwa::Message &m) {
            EXPECT_TRUE(m.payload == "abc" || m.payload == "patch" || m.payload.empty()) << cut;
            return true;
        });
    }
}

std::vector<std::string> Ordered(const iwa::Text &text) {
    std::vector<std::string> out;
    for (const iwa::Text::Piece *p : text.Ordered())
        out.push_back((p->cell ? "cell:" : "") + p->text);
    return out;
}

TEST(IwaText, StoragesAndStringsInReadingOrder) {
    iwa::Text text(false, 1 << 20);
    // A header before the body, a table of contents (left out), a note,
    // a text without a kind (a text box), attachment and break marks.
    text.AddPart(
        0,
        Object(1, {{2001, Storage(1, "Header")}}) +
            Object(2, {{2001, Storage(0, "Title\nBody\xEF\xBF\xBC text\xE2\x80\xA8line")}}) +
            Object(3, {{2001, Storage(7, "Title")}}) + Object(4, {{2001, Storage(4, "A note")}}) +
            Object(5, {{2001, Bytes(3, "Box\x0Ewith a footnote mark")}}) +
            Object(6, {{2001, Storage(0, " \n\t")}}),
        kAlways);
    // A string list's entries as cells; other lists hold no text.
    const std::string entries = Bytes(3, Int(1, 1) + Bytes(3, "one")) + Bytes(3, Bytes(3, "two"));
    text.AddPart(
        1, Object(9, {{6005, Int(1, 1) + entries}}) + Object(10, {{6005, Int(1, 4) + entries}}),
        kAlways);
    EXPECT_FALSE(text.damaged());
    EXPECT_EQ(Ordered(text), (std::vector<std::string>{"Title\nBody text\nline", "Header",
                                                       "Boxwith a footnote mark", "cell:one",
                                                       "cell:two", "A note"}));
}

TEST(IwaText, SlidesFollowTheShow) {
    iwa::Text text(true, 1 << 20);
    // The show lists node 20 (slide 101, part 2) then node 21 (slide 100,
    // part 1), whose child node 22 holds slide 102 (part 3); node 23 is its
    // own child.
    text.AddPart(0,
                 Object(3, {{2, Bytes(3, Ref(2, 20) + Ref(2, 21) + Ref(2, 23))}}) +
                     Object(20, {{4, Ref(2, 101)}}) + Object(21, {{4, Ref(2, 100) + Ref(1, 22)}}) +
                     Object(22, {{4, Ref(2, 102)}}) + Object(23, {{4, Ref(1, 23)}}) +
                     Object(5, {{2001, Storage(3, "no slide")}}),
                 kAlways);
    text.AddPart(1, Object(100, {{5, ""}}) + Object(110, {{2001, Storage(3, "second")}}), kAlways);
    text.AddPart(2,
                 Object(101, {{5, ""}}) + Object(111, {{2001, Storage(4, "notes")}}) +
                     Object(112, {{2001, Storage(3, "first")}}),
                 kAlways);
    text.AddPart(3, Object(102, {{6, ""}}) + Object(113, {{2001, Storage(3, "third")}}), kAlways);
    EXPECT_EQ(Ordered(text),
              (std::vector<std::string>{"first", "notes", "second", "third", "no slide"}));
}

TEST(IwaText, BoundsAndDamage) {
    iwa::Text text(false, 10);
    text.AddPart(
        0, Object(1, {{2001, Storage(0, "abcdefgh")}}) + Object(2, {{2001, Storage(0, "ijklmn")}}),
        kAlways);
    EXPECT_FALSE(text.room());
    EXPECT_FALSE(text.damaged());  // stopped at the bound, not damaged
    EXPECT_EQ(Ordered(text), (std::vector<std::string>{"abcdefgh", "ij"}));
    iwa::Text cut(false, 100);
    cut.AddPart(0, Object(1, {{2001, Storage(0, "kept")}}) + "\x05\x08", kAlways);
    EXPECT_TRUE(cut.damaged());
    EXPECT_EQ(Ordered(cut), (std::vector<std::string>{"kept"}));
}

TEST(IwaText, MutatedPartsNeverBreakTheReader) {
    Mutator mutator(362);
    const std::string stream = Object(1, {{2001, Storage(0, "Body text")}}) +
                               Object(2, {{6005, Int(1, 1) + Bytes(3, Bytes(3, "cell"))}}) +
                               Object(3, {{2, Bytes(3, Ref(2, 4))}}) + Object(4, {{4, Ref(2, 5)}});
    const std::string part =
        Chunk(Block(stream.size(), {Literal(stream.substr(0, 20)), Literal(stream.substr(20))}));
    for (int round = 0; round < 2000; ++round) {
        const std::string bytes =
            round % 3 == 0 ? mutator.Cut(part) : mutator.Overwrite(part, 1 + round % 5);
        std::string decoded;
        iwa::UnpackPart(bytes, 4096, decoded, kAlways);
        EXPECT_LE(decoded.size(), 4096u);
        iwa::Text text(round % 2 == 0, 1 << 16);
        text.AddPart(0, round % 2 ? decoded : mutator.Overwrite(stream, 1 + round % 4), kAlways);
        size_t bytesOut = 0;
        for (const iwa::Text::Piece *p : text.Ordered()) bytesOut += p->text.size();
        EXPECT_LE(bytesOut, stream.size()) << round;
    }
}

}  // namespace
