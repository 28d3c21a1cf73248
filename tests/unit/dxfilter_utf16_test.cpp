// The filter's one UTF-16 decoder (utf8.h): surrogate pairs in either byte
// order, each malformed form, units that come in pieces; and the text
// decoder that joins ICU's units with it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "filters/dxfilter/compress_text.h"
#include "filters/dxfilter/utf8.h"

namespace {

using dxf::utf16_to_utf8;

const std::string kBad = "\xEF\xBF\xBD";       // U+FFFD
const std::string kGrin = "\xF0\x9F\x98\x80";  // U+1F600, D83D DE00

// Units as bytes in one byte order.
std::string Bytes(const std::vector<char16_t> &units, bool bigEndian) {
    std::string out;
    for (char16_t u : units) {
        const char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
        out += bigEndian ? hi : lo;
        out += bigEndian ? lo : hi;
    }
    return out;
}

TEST(DxfUtf16, WellFormedInBothByteOrders) {
    const std::vector<char16_t> units = {u'a',   0x00E9, 0x20AC, 0xD83D, 0xDE00,
                                         0xFFFF, 0xD800, 0xDC00, 0xDBFF, 0xDFFF};
    const std::string utf8 =
        "a\xC3\xA9\xE2\x82\xAC" + kGrin + "\xEF\xBF\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF";
    EXPECT_EQ(utf16_to_utf8(Bytes(units, true), true), utf8);
    EXPECT_EQ(utf16_to_utf8(Bytes(units, false), false), utf8);
    EXPECT_EQ(utf16_to_utf8("", true), "");
}

TEST(DxfUtf16, EachBadUnitIsOneReplacement) {
    struct {
        std::vector<char16_t> units;
        std::string utf8;
    } cases[] = {
        {{0xD83D}, kBad},                          // a high one at the end
        {{0xDE00, u'x'}, kBad + "x"},              // a low one alone
        {{0xD83D, u'x'}, kBad + "x"},              // a high one before a character
        {{0xD83D, 0xD83D, 0xDE00}, kBad + kGrin},  // a high one before a pair
        {{0xDE00, 0xD83D}, kBad + kBad},           // the halves in the wrong order
        {{0xD83D, 0xDE00, 0xDE00}, kGrin + kBad},  // a pair, then a low one
        {{u'a', 0xDC00, 0xDC00, u'b'}, "a" + kBad + kBad + "b"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(utf16_to_utf8(Bytes(c.units, true), true), c.utf8);
        EXPECT_EQ(utf16_to_utf8(Bytes(c.units, false), false), c.utf8);
        std::string out;
        dxf::append_utf16_units(out, std::u16string(c.units.begin(), c.units.end()));
        EXPECT_EQ(out, c.utf8);
    }
    // An odd byte at the end is half a unit: dropped.
    EXPECT_EQ(utf16_to_utf8(std::string("\0a\0", 3), true), "a");
    EXPECT_EQ(utf16_to_utf8(std::string("a\0\xD8", 3), false), "a");
    EXPECT_EQ(utf16_to_utf8("x", false), "");
}

TEST(DxfUtf16, PairsSpanCalls) {
    dxf::Utf16Joiner joiner;
    std::string out;
    const auto emit = [&out](char32_t cp) { dxf::append_utf8(out, cp); };
    joiner.Unit(0xD83D, emit);
    EXPECT_TRUE(joiner.waiting());
    EXPECT_EQ(out, "");
    joiner.Unit(0xDE00, emit);
    EXPECT_FALSE(joiner.waiting());
    EXPECT_EQ(out, kGrin);
    joiner.Unit(0xD83D, emit);
    joiner.Finish(emit);
    joiner.Finish(emit);  // once only
    EXPECT_EQ(out, kGrin + kBad);
}

// ICU turns UTF-16 bytes into units and skips what is malformed; the text
// decoder joins its units, also when a pair is split between two calls.
TEST(DxfUtf16, TextDecoderJoinsIcuUnits) {
    const std::string text = Bytes({u'a', 0xD83D, 0xDE00, u'b'}, false);
    EXPECT_EQ(dxf::DecodeText(text, "UTF-16LE", false), "a" + kGrin + "b");
    for (size_t cut = 0; cut <= text.size(); ++cut) {
        dxf::TextDecoder decoder("UTF-16LE", false);
        std::string out;
        decoder.Decode(text.substr(0, cut), false, out);
        decoder.Decode(text.substr(cut), true, out);
        EXPECT_EQ(out, "a" + kGrin + "b") << cut;
    }
    EXPECT_EQ(dxf::DecodeText(Bytes({u'a', 0xD83D, u'b', 0xDE00}, true), "UTF-16BE", false), "ab");
}

}  // namespace
