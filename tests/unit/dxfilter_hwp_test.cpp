// Hangul word processor (HWP 5) documents: how they are told among compound
// files, the records and controls of their paragraph text, their raw
// deflate sections, the fixtures of scripts/make_hwp_fixtures.py read
// directly and through the plug-in, and refused, damaged and cut documents.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "doctype/dx_abi.h"
#include "dxfilter_ole_writer.h"
#include "dxfilter_test_support.h"
#include "filters/dxfilter/hwp_text.h"
#include "filters/dxfilter/inflate.h"

namespace {

using namespace dxfilter_test;
using namespace std::string_literals;
using dxfilter_ole::BuildCompoundFile;
using dxfilter_ole::Placement;

constexpr uint32_t kParaHeader = 66, kParaText = 67, kCharShape = 68;

std::string Utf16(std::u16string_view s) {
    std::string out;
    for (char16_t c : s) out += static_cast<char>(c & 0xFF), out += static_cast<char>(c >> 8);
    return out;
}

// A record: the header word (tag, level 1, size; 0xFFF and a 32-bit size
// for 4095 bytes and more), then `data`. `claimed` overrides the size.
std::string Record(uint32_t tag, std::string_view data, int64_t claimed = -1) {
    const uint64_t size = claimed >= 0 ? static_cast<uint64_t>(claimed) : data.size();
    std::string r;
    if (size >= 0xFFF) {
        dxfilter_ole::put32(r, 0, tag | 1u << 10 | 0xFFFu << 20);
        dxfilter_ole::put32(r, 4, static_cast<uint32_t>(size));
    } else {
        dxfilter_ole::put32(r, 0, tag | 1u << 10 | static_cast<uint32_t>(size) << 20);
    }
    return r + std::string(data);
}

std::string ParaText(std::u16string_view units) {
    return Record(kParaText, Utf16(units));
}

// An eight-unit control: the code, six units of parameters, the code again.
std::u16string Long(char16_t code, std::u16string_view params = u"dcesXY") {
    return std::u16string(1, code) + std::u16string(params.substr(0, 6)) +
           std::u16string(6 - std::min<size_t>(6, params.size()), u'\0') + std::u16string(1, code);
}

std::vector<std::string> Lines(std::string_view records, bool *whole = nullptr,
                               size_t maxText = 1 << 20) {
    dxf::HwpLines out;
    const bool ok = dxf::HwpSectionText(records, maxText, INT64_MAX, out);
    if (whole) *whole = ok;
    return out.lines;
}

using LinesV = std::vector<std::string>;

TEST(HwpRecords, ControlsOfParagraphText) {
    struct {
        std::u16string units;
        LinesV lines;
        const char *what;
    } cases[] = {
        {u"봄날의 시장\r", {"봄날의 시장"}, "a paragraph"},
        {u"하나\n둘\r", {"하나", "둘"}, "a line break ends a line"},
        {u"셋", {"셋"}, "the record's end ends the paragraph"},
        {u"a" + Long(9, u"\x0FA0\0\0\0\0\0"s) + u"b\r", {"a b"}, "a tab"},
        {u"x" + Long(2, u"dcesQQ") + Long(2, u"dlocRR") + u"y\r",
         {"xy"},
         "section and column definitions"},
        {u"p" + Long(3, u"klh%ZZ") + u"링크" + Long(4, u"klh%ZZ") + u"q\r",
         {"p링크q"},
         "a field around a word"},
        {u"t" + Long(11, u" lbtAA") + u"u\r", {"tu"}, "a table's place"},
        {u"f" + Long(17, u"  nfBB") + u"g\r", {"fg"}, "a footnote's place"},
        {u"1\x001E"
         u"2\x001F"
         u"3\x0018"
         u"4\r",
         {"1 2 3-4"},
         "spaces and the hyphen"},
        {u"r\x0019\x001A\x001B\x001C\x001D\x0000s\r"s, {"rs"}, "reserved one-unit codes"},
        {u"\r\r \r", {}, "empty and blank paragraphs"},
        {u"h\xD800i\xDC00j\r", {"h\uFFFDi\uFFFDj"}, "unpaired surrogates"},
        {u"\xD83D\xDE00\r", {"\U0001F600"}, "a surrogate pair"},
        {u"k" + Long(11).substr(0, 4), {"k"}, "a long control cut by the record's end"},
        {u"m\xD83D", {"m\uFFFD"}, "a high surrogate at the record's end"},
    };
    for (const auto &c : cases) {
        bool whole = false;
        EXPECT_EQ(Lines(ParaText(c.units), &whole), c.lines) << c.what;
        EXPECT_TRUE(whole) << c.what;
    }
}

TEST(HwpRecords, OnlyParagraphTextRecordsGiveText) {
    const std::string records = Record(kParaHeader, Utf16(u"header")) + ParaText(u"본문\r") +
                                Record(kCharShape, Utf16(u"shape")) +
                                Record(kParaText | 0x200, Utf16(u"other tag"));
    EXPECT_EQ(Lines(records), LinesV{"본문"});
    // A record of 4095 bytes or more gives its size after the header word.
    const std::u16string longText(3000, u'가');
    const std::string big = ParaText(longText + u"\r");
    ASSERT_EQ(static_cast<unsigned char>(big[3]) >> 4, 0xF);
    std::string expected;
    for (int i = 0; i < 3000; ++i) expected += "가";
    EXPECT_EQ(Lines(Record(kCharShape, std::string(5000, 'x')) + big + ParaText(u"끝")),
              (LinesV{expected, "끝"}));
}

TEST(HwpRecords, DamageEndsTheSectionWithTheTextBefore) {
    const std::string first = ParaText(u"앞\r");
    struct {
        std::string records;
        LinesV lines;
        const char *what;
    } cases[] = {
        {first + Record(kParaText, Utf16(u"뒤\r"), 64), {"앞"}, "a size past the end"},
        {first + Record(kParaText, Utf16(u"뒤\r"), 0x7FFFFFFF), {"앞"}, "a long size past the end"},
        {first + std::string("\x43\x04", 2), {"앞"}, "half a header word"},
        {first + std::string("\x43\x04\xF0\xFF\x01\x00", 6), {"앞"}, "half a long size"},
    };
    for (const auto &c : cases) {
        bool whole = true;
        EXPECT_EQ(Lines(c.records, &whole), c.lines) << c.what;
        EXPECT_FALSE(whole) << c.what;
    }
}

TEST(HwpRecords, TextStopsAtItsBoundBetweenCharacters) {
    const std::string records = ParaText(u"가나다\r") + ParaText(u"라마\r");
    struct {
        size_t maxText;
        LinesV lines;
    } cases[] = {{9, {"가나다"}},          {10, {"가나다"}}, {11, {"가나다"}},
                 {12, {"가나다", "라"}},   {8, {"가나"}},    {2, {}},
                 {100, {"가나다", "라마"}}};
    for (const auto &c : cases) {
        dxf::HwpLines out;
        const bool whole = dxf::HwpSectionText(records, c.maxText, INT64_MAX, out);
        EXPECT_EQ(out.lines, c.lines) << c.maxText;
        EXPECT_LE(out.bytes, c.maxText) << c.maxText;
        EXPECT_EQ(whole, c.maxText == 100) << c.maxText;
        EXPECT_EQ(out.full, c.maxText != 100) << c.maxText;
    }
}

// Raw deflate of `data`, `windowBits` -15; 15 makes a zlib stream.
std::string Deflate(std::string_view data, int windowBits = -15) {
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, data.size()), '\0');
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef *>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

TEST(InflateRaw, RawDeflateWithinItsCap) {
    std::string data;
    for (int i = 0; i < 20000; ++i) data += static_cast<char>(i * 7 % 251);
    const std::string packed = Deflate(data);
    struct {
        std::string in;
        size_t cap;
        int rc;
        size_t produced;
        const char *what;
    } cases[] = {
        {packed, 1 << 20, Z_STREAM_END, data.size(), "whole"},
        {packed, 1000, Z_OK, 1000, "over the cap"},
        {packed.substr(0, packed.size() / 2), 1 << 20, Z_BUF_ERROR, SIZE_MAX, "cut"},
        {Deflate(data, 15), 1 << 20, Z_DATA_ERROR, 0, "a zlib header"},
        {"", 1 << 20, Z_BUF_ERROR, 0, "empty"},
    };
    for (const auto &c : cases) {
        std::string out = "keep";
        EXPECT_EQ(dxf::InflateRaw(c.in, c.cap, INT64_MAX, out), c.rc) << c.what;
        ASSERT_TRUE(out.starts_with("keep")) << c.what;
        out.erase(0, 4);
        if (c.produced != SIZE_MAX) {
            EXPECT_EQ(out.size(), c.produced) << c.what;
        }
        EXPECT_EQ(out, data.substr(0, out.size())) << c.what;
    }
    // A bomb stops at the cap.
    const std::string bomb = Deflate(std::string(64u << 20, '\0'));
    std::string out;
    EXPECT_EQ(dxf::InflateRaw(bomb, 1u << 20, INT64_MAX, out), Z_OK);
    EXPECT_EQ(out.size(), 1u << 20);
    // Past the deadline nothing is inflated.
    out.clear();
    EXPECT_EQ(dxf::InflateRaw(packed, 1 << 20, 0, out), Z_OK);
    EXPECT_TRUE(out.empty());
}

std::vector<std::string> FileLines(const std::string &name) {
    std::vector<std::string> lines;
    std::string text = glotta_test::ReadFile(kData + "hwp/" + name);
    for (size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(text.substr(at, end - at));
    return lines;
}

dxf::HwpText Read(const std::string &name, const dxf::HwpBounds &bounds = {}) {
    return dxf::ReadHwp(glotta_test::ReadFile(kData + "hwp/" + name), bounds);
}

TEST(HwpDocuments, FixturesGiveTheirParagraphsInOrder) {
    for (const char *lang : {"ko", "en"}) {
        const dxf::HwpText t = Read(std::string(lang) + ".hwp");
        ASSERT_TRUE(t.ok) << lang << ": " << t.error;
        EXPECT_EQ(t.text.lines, FileLines(std::string(lang) + ".txt")) << lang;
    }
    // Damaged sections give the text before the damage, and the other
    // sections theirs.
    const auto ko = FileLines("ko.txt"), en = FileLines("en.txt");
    const dxf::HwpText cut = Read("bad/deflate.hwp");
    ASSERT_TRUE(cut.ok) << cut.error;
    ASSERT_GE(cut.text.lines.size(), 2u);
    EXPECT_LT(cut.text.lines.size(), ko.size() - 1);
    EXPECT_EQ(cut.text.lines, LinesV(ko.begin(), ko.begin() + cut.text.lines.size()));
    const dxf::HwpText record = Read("bad/record.hwp");
    ASSERT_TRUE(record.ok) << record.error;
    EXPECT_EQ(record.text.lines, en);
}

TEST(HwpDocuments, BoundsEndTheText) {
    dxf::HwpBounds bounds;
    bounds.maxSections = 1;
    const auto ko = FileLines("ko.txt");
    EXPECT_EQ(Read("ko.hwp", bounds).text.lines, LinesV(ko.begin(), ko.end() - 1));
    bounds = {};
    bounds.maxTotalBytes = 64;  // the first section's first records
    const dxf::HwpText little = Read("ko.hwp", bounds);
    EXPECT_TRUE(little.ok);
    EXPECT_LE(little.text.lines.size(), 1u);
    bounds = {};
    bounds.maxText = 20;  // the title and one character of the next line
    EXPECT_EQ(Read("ko.hwp", bounds).text.lines, (LinesV{"봄날의 시장", "토"}));
    bounds = {};
    bounds.deadlineNs = 0;
    const dxf::HwpText late = Read("ko.hwp", bounds);
    EXPECT_TRUE(late.text.lines.empty());
    EXPECT_EQ(late.error, "out of time");
}

TEST(HwpDocuments, RefusedDocuments) {
    struct {
        const char *name;
        const char *error;
    } cases[] = {
        {"bad/password.hwp", "password-protected document"},
        {"bad/distribution.hwp", "distribution document"},
        {"bad/signature.hwp", "no HWP file header"},
        {"bad/version.hwp", "not a version 5 document"},
        {"bad/cut.hwp", "no compound file that can be read"},
        {"other/fileheader.cfb", "no section that can be read"},
    };
    for (const auto &c : cases) {
        const dxf::HwpText t = Read(c.name);
        EXPECT_FALSE(t.ok) << c.name;
        EXPECT_EQ(t.error, c.error) << c.name;
        EXPECT_TRUE(t.text.lines.empty()) << c.name;
    }
    const auto mini = [](std::string_view) { return Placement::kMini; };
    std::string header = "HWP Document File";
    header.resize(32);
    header += std::string("\x00\x03\x00\x05\x00\x00\x00\x00", 8) + std::string(216, '\0');
    const dxf::HwpText bodyless =
        dxf::ReadHwp(BuildCompoundFile({{"FileHeader", header}, {"DocInfo", "x"}}, mini), {});
    EXPECT_FALSE(bodyless.ok);
    EXPECT_EQ(bodyless.error, "no section that can be read");
}

class DxFilterHwp : public OleReaderTest {
  protected:
    DxFilterHwp() : OleReaderTest("d.hwp") {}
};

TEST_F(DxFilterHwp, CompoundFilesWithAFileHeaderAndDocumentInformation) {
    const auto mini = [](std::string_view) { return Placement::kMini; };
    struct {
        dxfilter_ole::Streams streams;
        int format;
    } cases[] = {
        {{{"FileHeader", "x"}, {"DocInfo", "x"}}, DX_FMT_HWP},
        {{{"FILEHEADER", "x"}, {"docinfo", "x"}}, DX_FMT_HWP},
        {{{"FileHeader", "x"}, {"DocInfo", "x"}, {"WordDocument", "x"}}, DX_FMT_DOC},
        {{{"FileHeader", "x"}, {"DocInfo", "x"}, {"VisioDocument", "x"}}, DX_FMT_VISIO},
        {{{"FileHeader", "x"}}, DX_FMT_OLE},
        {{{"DocInfo", "x"}}, DX_FMT_OLE},
        {{{"FileHeader1", "x"}, {"DocInfo", "x"}}, DX_FMT_OLE},
    };
    for (const auto &c : cases)
        EXPECT_EQ(FormatOf(BuildCompoundFile(c.streams, mini)), c.format) << c.streams[0].first;
}

TEST_F(DxFilterHwp, DocumentsReadThroughThePlugin) {
    const std::string ko = Text(Bytes("hwp/ko.hwp"));
    EXPECT_NE(ko.find("봄날의 시장\n"), std::string::npos) << ko;
    EXPECT_NE(ko.find("딸기 한 상자\n만 원\n"), std::string::npos) << ko;
    EXPECT_NE(ko.find("서울-부산"), std::string::npos) << ko;
    const Extraction gz = plugin->Extract(Data("hwp/ko.hwp.gz"));
    ASSERT_TRUE(gz.opened && gz.openText == 0);
    EXPECT_EQ(gz.utf8(), ko);
    EXPECT_NE(Text(Bytes("hwp/en.hwp")).find("The Lighthouse Keeper\n"), std::string::npos);
    for (const char *name : {"bad/password.hwp", "bad/distribution.hwp", "bad/signature.hwp",
                             "bad/version.hwp", "bad/cut.hwp"})
        ExpectRefused(Bytes(std::string("hwp/") + name), name);
}

TEST_F(DxFilterHwp, DamagedDocumentsEndCleanly) {
    Mutator m(0x48575035);
    const size_t most = 4096;
    for (const char *name : {"ko.hwp", "en.hwp"}) {
        const std::string bytes = Bytes(std::string("hwp/") + name);
        ExpectDamageBounded(m, bytes, {.rounds = 60, .most = 8, .from = 512, .cutEvery = 10}, most,
                            name);
        ExpectCutsBounded(bytes, 509, most, name);
    }
}

}  // namespace
