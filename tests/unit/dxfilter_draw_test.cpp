// QuarkXPress documents and Zoner Draw drawings through the filter plug-in
// (dxfilter_draw.so, libqxp and libzmf): the rules for QuarkXPress's header,
// a Zoner Draw package's members and its content stream's header, the text
// of libqxp's and libzmf's own test documents (tests/data/dxfilter/quarkxpress
// and zoner, SOURCE.md there), and what happens to versions the libraries do
// not read and to cut and damaged documents.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "doctype/dx_abi.h"
#include "dxfilter_test_support.h"
#include "dxfilter_zip_writer.h"

namespace {

using namespace dxfilter_test;
using dxfilter_zip::StoredZip;

class DxFilterDraw : public OleReaderTest {
  protected:
    DxFilterDraw() : OleReaderTest("d.qxd") {}
    static std::string Quark(const std::string &name) { return Bytes("quarkxpress/" + name); }
    static std::string Zoner(const std::string &name) { return Bytes("zoner/" + name); }
};

// The documents with text and the offset of their text: a text box holding
// "123", 252 times "t" and "456" (258 bytes).
struct Story {
    const char *name;
    size_t at;
};
constexpr Story kStories[] = {
    {"qxp33mac_text", 2816},
    {"qxp33win_text.qxd", 4096},
    {"qxp4mac_text", 16128},
    {"qxp4win_text.qxd", 17408},
};
constexpr size_t kStoryBytes = 258;
const std::string kSampleStory = "123" + std::string(252, 't') + "456";

// `bytes` with the word `value` at `at`, big-endian or little-endian.
std::string WithWord(std::string bytes, size_t at, uint16_t value, bool big) {
    bytes[at + (big ? 0 : 1)] = static_cast<char>(value >> 8);
    bytes[at + (big ? 1 : 0)] = static_cast<char>(value & 0xFF);
    return bytes;
}

// `bytes` with `text` (of the document's code page) written over its story
// at `at`, padded with spaces to the story's length.
std::string Retold(std::string bytes, size_t at, std::string text) {
    text.resize(kStoryBytes, ' ');
    return bytes.replace(at, kStoryBytes, text);
}

TEST_F(DxFilterDraw, QuarkXPressDocumentsAreToldByTheirHeader) {
    const std::string mac = Quark("qxp33mac_text"), pc = Quark("qxp33win_text.qxd");
    const struct {
        std::string bytes;
        int format;
        const char *what;
    } cases[] = {
        {mac, DX_FMT_QUARKXPRESS, "3.3 of a Mac"},
        {pc, DX_FMT_QUARKXPRESS, "3.3 of a PC"},
        {Quark("qxp31mac"), DX_FMT_QUARKXPRESS, "3.1 of a Mac"},
        {Quark("qxp31win.qxd"), DX_FMT_QUARKXPRESS, "3.1 of a PC"},
        {Quark("qxp4mac_text"), DX_FMT_QUARKXPRESS, "4 of a Mac"},
        {WithWord(pc, 8, 0x42, false), DX_FMT_QUARKXPRESS, "5"},
        {WithWord(pc, 8, 0x43, false), DX_FMT_QUARKXPRESS, "6"},
        {pc.substr(0, 10), DX_FMT_QUARKXPRESS, "the header's first ten bytes"},
        // Near misses.
        {WithWord(pc, 8, 0x40, false), DX_FMT_BINARY, "a version between 3.3 and 4"},
        {WithWord(pc, 8, 0x44, false), DX_FMT_BINARY, "7"},
        {WithWord(pc, 8, 0x3F, true), DX_FMT_BINARY, "3.3 in the other byte order"},
        {WithWord(mac, 2, 0x4D49, true), DX_FMT_BINARY, "two byte orders"},
        {WithWord(mac, 0, 0x0100, true), DX_FMT_BINARY, "no zero word first"},
        {std::string(mac).replace(4, 3, "XPS"), DX_FMT_BINARY, "another signature"},
    };
    for (const auto &c : cases) EXPECT_EQ(FormatOf(c.bytes), c.format) << c.what;
    // The version cut: the rules take the nine bytes for text.
    EXPECT_NE(FormatOf(pc.substr(0, 9)), DX_FMT_QUARKXPRESS);
}

TEST_F(DxFilterDraw, QuarkXPressDocumentsGiveTheTextOfTheirBoxes) {
    for (const Story &s : kStories) {
        const std::string bytes = Quark(s.name);
        ASSERT_EQ(bytes.substr(s.at, kStoryBytes), kSampleStory) << s.name;
        // The sink breaks the long word into lines.
        std::string text = Text(bytes);
        std::erase(text, '\n');
        EXPECT_EQ(text, kSampleStory) << s.name;
    }
    // The story told again in the document's code page, which libqxp
    // converts: Mac Roman on a Mac, Windows-1252 on a PC.
    const std::string german = "Die Fähre über den Fluß fährt stündlich.";
    const std::string macRoman =
        "Die F\x8Ahre \x9F"
        "ber den Flu\xA7 f\x8Ahrt st\x9F"
        "ndlich.";
    const std::string windows =
        "Die F\xE4hre \xFC"
        "ber den Flu\xDF f\xE4hrt st\xFC"
        "ndlich.";
    for (const Story &s : kStories) {
        const bool mac = std::string_view(s.name).find("mac") != std::string_view::npos;
        const std::string text = Text(Retold(Quark(s.name), s.at, mac ? macRoman : windows));
        EXPECT_EQ(text.substr(0, german.size()), german) << s.name;
        EXPECT_EQ(text.find_first_not_of(" \n", german.size()), std::string::npos) << s.name;
    }
    // Documents without a text box open and give none.
    for (const char *name : {"qxp31mac", "qxp31win.qxd"}) {
        Extraction r = Run(Quark(name));
        EXPECT_TRUE(r.opened && r.openText == 0 && r.readError == 0) << name;
        EXPECT_TRUE(r.text.empty()) << name << ": " << r.utf8();
    }
}

TEST_F(DxFilterDraw, QuarkXPressVersionsAndDocumentsLibqxpDoesNotReadAreRefused) {
    const std::string pc = Quark("qxp33win_text.qxd");
    ExpectRefused(WithWord(pc, 8, 0x42, false), "5");
    ExpectRefused(WithWord(pc, 8, 0x43, false), "6");
    ExpectRefused(pc.substr(0, 10), "the header's first ten bytes");
}

TEST_F(DxFilterDraw, ZonerDrawingsAreToldByTheirPackageOrContentHeader) {
    const std::string content = Zoner("draw5-content.zmf");
    std::string farContent = content;
    farContent[34] = 1;  // the content's offset past the end
    std::string inHeader = content;
    inHeader[32] = 0x20, inHeader[33] = 0;  // inside the header
    const struct {
        std::string bytes;
        int format;
        const char *what;
    } cases[] = {
        {Zoner("draw4.zmf"), DX_FMT_ZONER, "Zoner Draw 4's package"},
        {Zoner("draw5.zmf"), DX_FMT_ZONER, "Zoner Draw 5's package"},
        {content, DX_FMT_ZONER, "the content alone"},
        {StoredZip({{"content.zmf", content}}), DX_FMT_ZONER, "a package without preview"},
        // Near misses.
        {StoredZip({{"content.zmf", content}, {"notes.txt", "x"}}), DX_FMT_ZIP,
         "another member beside the content"},
        {StoredZip({{"preview.bmp", "BM"}}), DX_FMT_ZIP, "the preview alone"},
        {StoredZip({{"draw/content.zmf", content}}), DX_FMT_ZIP, "the content in a folder"},
        {std::string(content).replace(8, 1, "\x79"), DX_FMT_BINARY, "another signature"},
        {farContent, DX_FMT_BINARY, "content past the end"},
        {inHeader, DX_FMT_BINARY, "content inside the header"},
        {content.substr(0, 39), DX_FMT_BINARY, "the header cut"},
    };
    for (const auto &c : cases) EXPECT_EQ(FormatOf(c.bytes), c.format) << c.what;
}

TEST_F(DxFilterDraw, ZonerDrawingsOfOneEmptyPageGiveNoText) {
    const std::string content = Zoner("draw5-content.zmf");
    for (const std::string &bytes :
         {Zoner("draw4.zmf"), Zoner("draw5.zmf"), content, StoredZip({{"content.zmf", content}})}) {
        Extraction r = Run(bytes);
        EXPECT_TRUE(r.opened && r.openText == 0 && r.readError == 0) << bytes.size();
        EXPECT_TRUE(r.text.empty()) << r.utf8();
    }
}

TEST_F(DxFilterDraw, CutAndMutatedDocumentsAreBounded) {
    Mutator m(0x51585033);
    for (const Story &s : kStories) {
        const std::string bytes = Quark(s.name);
        ExpectCutsBounded(bytes, 331, 2048, s.name);
        ExpectDamageBounded(m, bytes, {.rounds = 60, .most = 8, .cutEvery = 9}, 2048, s.name);
    }
    for (const char *name : {"draw4.zmf", "draw5-content.zmf"}) {
        const std::string bytes = Zoner(name);
        ExpectCutsBounded(bytes, 37, 2048, name);
        ExpectDamageBounded(m, bytes, {.rounds = 60, .most = 8, .cutEvery = 9}, 2048, name);
    }
}

}  // namespace
