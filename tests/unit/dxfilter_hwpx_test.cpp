// Hangul word processor packages (HWPX): how they are told among zip
// archives and other packages, the text of their sections (paragraphs,
// inline marks, nested lists, namespaces by their names), the order of the
// spine and of section numbers, the fixtures of
// scripts/make_hwpx_fixtures.py, and refused, damaged and cut packages.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "doctype/dx_abi.h"
#include "dxfilter_test_support.h"
#include "dxfilter_zip_writer.h"

namespace {

using namespace dxfilter_test;
using Members = std::vector<std::pair<std::string, std::string>>;

const std::string kParagraph = "http://www.hancom.co.kr/hwpml/2011/paragraph";
const std::string kSection = "http://www.hancom.co.kr/hwpml/2011/section";

// A section whose root declares the 2011 section namespace as `hs` and the
// paragraph namespace as `hp`, around `body`.
std::string Section(const std::string &body) {
    return "<?xml version=\"1.0\"?><hs:sec xmlns:hs=\"" + kSection + "\" xmlns:hp=\"" + kParagraph +
           "\">" + body + "</hs:sec>";
}

std::string P(const std::string &text) {
    return "<hp:p><hp:run><hp:t>" + text + "</hp:t></hp:run></hp:p>";
}

// A package document whose spine names `ids`, each the item `Contents/ID.xml`.
std::string Hpf(const std::vector<std::string> &ids, const std::string &prefix = "Contents/") {
    std::string items, spine;
    for (const auto &id : ids) {
        items += "<opf:item id=\"" + id + "\" href=\"" + prefix + id + ".xml\"/>";
        spine += "<opf:itemref idref=\"" + id + "\"/>";
    }
    return "<opf:package xmlns:opf=\"http://www.idpf.org/2007/opf/\"><opf:manifest>" + items +
           "</opf:manifest><opf:spine>" + spine + "</opf:spine></opf:package>";
}

// A package with its `mimetype` entry first, then `members`.
std::string Package(Members members) {
    members.insert(members.begin(), {"mimetype", "application/hwp+zip"});
    return dxfilter_zip::StoredZip(members);
}

class DxFilterHwpx : public PluginTest {
  protected:
    int FormatOf(const std::string &bytes) { return plugin->Format(Temp("f.bin", bytes)); }
    Extraction Run(const std::string &bytes) { return plugin->Extract(Temp("d.hwpx", bytes)); }
    std::string Text(const std::string &bytes) {
        const Extraction r = Run(bytes);
        EXPECT_TRUE(r.opened && r.openText == 0 && r.readError == 0);
        return r.utf8();
    }
    std::string SectionText(const std::string &body) {
        return Text(Package({{"Contents/section0.xml", Section(body)}}));
    }
    void ExpectRefused(const std::string &bytes, const std::string &what) {
        const Extraction r = Run(bytes);
        EXPECT_FALSE(r.opened && r.openText == 0) << what;
        EXPECT_TRUE(r.text.empty()) << what;
    }
};

TEST_F(DxFilterHwpx, PackagesAmongZipArchives) {
    const std::string section = Section(P("x"));
    const std::string version2011 =
        "<hv:HCFVersion xmlns:hv=\"http://www.hancom.co.kr/hwpml/2011/version\"/>";
    const std::string version2024 =
        "<HCFVersion xmlns=\"http://www.owpml.org/owpml/2024/version\"/>";
    const std::string odfManifest =
        "<m:manifest xmlns:m=\"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0\"><m:file-entry "
        "m:full-path=\"/\" m:media-type=\"application/vnd.oasis.opendocument.text\"/></m:manifest>";
    struct {
        Members members;
        int format;
        const char *what;
    } cases[] = {
        {{{"mimetype", "application/hwp+zip"}, {"a.txt", "x"}}, DX_FMT_HWPX, "mimetype first"},
        {{{"a.txt", "x"}, {"mimetype", "application/hwp+zip\n"}}, DX_FMT_HWPX, "mimetype later"},
        {{{"Contents/content.hpf", Hpf({"section0"})}, {"Contents/section0.xml", section}},
         DX_FMT_HWPX,
         "package document and first section"},
        {{{"version.xml", version2011}, {"a.txt", "x"}}, DX_FMT_HWPX, "2011 version part"},
        {{{"version.xml", version2024}}, DX_FMT_HWPX, "2024 version part"},
        {{{"version.xml", "<HCFVersion xmlns=\"http://www.hancom.co.kr/hwpml/2011/head\"/>"}},
         DX_FMT_ZIP,
         "version part in another namespace"},
        {{{"version.xml", "<version/>"}, {"Contents/section0.xml", section}},
         DX_FMT_ZIP,
         "another program's version part"},
        {{{"Contents/content.hpf", Hpf({"section0"})}}, DX_FMT_ZIP, "package document alone"},
        {{{"Contents/section0.xml", section}}, DX_FMT_ZIP, "section alone"},
        {{{"mimetype", "application/epub+zip"},
          {"Contents/content.hpf", "x"},
          {"Contents/section0.xml", section}},
         DX_FMT_EPUB,
         "an EPUB's mimetype"},
        {{{"mimetype", "application/x-other"}, {"version.xml", version2011}},
         DX_FMT_ZIP,
         "another mimetype"},
        {{{"[Content_Types].xml", "<Types/>"},
          {"word/document.xml", "<w/>"},
          {"version.xml", version2011}},
         DX_FMT_DOCX,
         "a Word package"},
        {{{"META-INF/manifest.xml", odfManifest},
          {"Contents/content.hpf", "x"},
          {"Contents/section0.xml", section}},
         DX_FMT_ODT,
         "an OpenDocument manifest"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(FormatOf(dxfilter_zip::StoredZip(c.members)), c.format) << c.what;
}

TEST_F(DxFilterHwpx, TextOfParagraphsAndTheirMarks) {
    const std::string other = "xmlns:o=\"" + kParagraph + "\" xmlns:x=\"http://example.com/x\"";
    struct {
        std::string body;
        std::string text;
        const char *what;
    } cases[] = {
        {P("봄날의 시장") + P("두 번째"), "봄날의 시장\n두 번째\n", "a line a paragraph"},
        {P("하나<hp:lineBreak/>둘"), "하나\n둘\n", "a line break"},
        {P("a<hp:tab width=\"4000\"/>b<hp:nbSpace/>c<hp:fwSpace/>d<hp:hyphen/>e"), "a b c d-e\n",
         "tab, spaces and hyphen"},
        {P("mark<hp:markpenBegin color=\"#FFFF00\"/>ed<hp:markpenEnd/> <hp:titleMark "
           "ignore=\"0\"/>text"),
         "marked text\n", "marks give nothing"},
        {"<hp:p><hp:run><hp:t>a</hp:t><hp:t>b</hp:t></hp:run><hp:run><hp:t>c</hp:t></hp:run>"
         "</hp:p>",
         "abc\n", "runs join"},
        {"<hp:p><hp:run><hp:t>before</hp:t><hp:tbl><hp:tr><hp:tc><hp:subList>" + P("cell one") +
             P("cell two") + "</hp:subList></hp:tc></hp:tr></hp:tbl><hp:t>after</hp:t></hp:run>" +
             "</hp:p>",
         "before\ncell one\ncell two\nafter\n", "a table where it stands"},
        {"<hp:p><hp:run><hp:t>note</hp:t><hp:ctrl><hp:footNote><hp:subList>" + P("the note") +
             "</hp:subList></hp:footNote></hp:ctrl><hp:t>after</hp:t></hp:run></hp:p>",
         "note\nthe note\nafter\n", "a footnote at its mark"},
        {"<hp:p><hp:run><hp:rect><hp:drawText><hp:subList>" + P("in the box") +
             "</hp:subList></hp:drawText></hp:rect></hp:run></hp:p>",
         "in the box\n", "a text box"},
        {"<hp:p><hp:run><hp:ctrl><hp:fieldBegin><hp:parameters><hp:stringParam>hidden"
         "</hp:stringParam></hp:parameters></hp:fieldBegin></hp:ctrl><hp:t>shown</hp:t>"
         "</hp:run></hp:p><hp:p><hp:run><hp:equation><hp:script>a over b</hp:script>"
         "</hp:equation></hp:run></hp:p>",
         "shown\n", "only the text elements"},
        {"<o:p " + other + "><o:run><o:t>other prefix</o:t><x:t>foreign</x:t></o:run></o:p>",
         "other prefix\n", "namespaces by their names"},
        {"<hp:p><hp:run><hp:t>a &amp; b <![CDATA[<c>]]></hp:t></hp:run></hp:p>", "a & b <c>\n",
         "references and sections"},
        {"", "", "no paragraph"},
    };
    for (const auto &c : cases) EXPECT_EQ(SectionText(c.body), c.text) << c.what;
    // The root must be a section: a part of the head holds no text.
    const std::string head =
        "<hh:head xmlns:hh=\"http://www.hancom.co.kr/hwpml/2011/head\" "
        "xmlns:hp=\"" +
        kParagraph + "\">" + P("head") + "</hh:head>";
    ExpectRefused(Package({{"Contents/section0.xml", head}}), "a head for a section");
    const std::string owpml =
        "<s:sec xmlns:s=\"http://www.owpml.org/owpml/2024/section\" "
        "xmlns:hp=\"http://www.owpml.org/owpml/2024/paragraph\">" +
        P("2024") + "</s:sec>";
    EXPECT_EQ(Text(Package({{"Contents/section0.xml", owpml}})), "2024\n");
}

TEST_F(DxFilterHwpx, SectionsInTheOrderOfTheSpineOrOfTheirNumbers) {
    const std::string s0 = Section(P("zero")), s1 = Section(P("one")), s2 = Section(P("two")),
                      s10 = Section(P("ten"));
    const std::string header = "<hh:head xmlns:hh=\"http://www.hancom.co.kr/hwpml/2011/head\"/>";
    struct {
        Members members;
        std::string text;
        const char *what;
    } cases[] = {
        {{{"Contents/header.xml", header},
          {"Contents/section0.xml", s0},
          {"Contents/section1.xml", s1},
          {"Contents/content.hpf", Hpf({"header", "section1", "section0"})}},
         "one\nzero\n",
         "the spine's order, its head passed over"},
        {{{"Contents/section0.xml", s0},
          {"Contents/section1.xml", s1},
          {"Contents/content.hpf", Hpf({"section1", "section0", "section1"}, "")}},
         "one\nzero\n",
         "names relative to the package document, each once"},
        {{{"Contents/section10.xml", s10},
          {"Contents/section2.xml", s2},
          {"Contents/section0.xml", s0}},
         "zero\ntwo\nten\n",
         "no package document: by number"},
        {{{"Contents/section1.xml", s1},
          {"Contents/section0.xml", s0},
          {"Contents/header.xml", header},
          {"Contents/content.hpf", Hpf({"header", "missing"})}},
         "zero\none\n",
         "a spine without a section: by number"},
        {{{"Contents/section0.xml", "<hs:sec xmlns:hs=\"" + kSection + "\" xmlns:hp=\"" +
                                        kParagraph + "\">" + P("first") + "<hp:p><hp:run><hp:t>" +
                                        "cut" + std::string("\0<\x01", 3) + P("lost") +
                                        "</hs:sec>"},
          {"Contents/section1.xml", s1}},
         "first\ncut\none\n",
         "bad markup ends its section"},
    };
    for (const auto &c : cases) EXPECT_EQ(Text(Package(c.members)), c.text) << c.what;
}

TEST_F(DxFilterHwpx, FixturesReadThroughThePlugin) {
    const std::string ko = Text(Bytes("hwpx/ko.hwpx"));
    EXPECT_EQ(ko.substr(0, ko.find("모든")),
              "봄날의 시장\n아침 일찍 시장에 가면 채소와 과일이 가득합니다.\n"
              "서울-부산 기차는 세 시간이 걸립니다.\n딸기 한 상자\n만 원\n"
              "상인들은 손님에게 가격을 크게 외칩니다.\n과일\n가격\n딸기와 사과\n만 원\n"
              "오늘의 특별 상품은 제주도에서 온 귤입니다.\n"
              "할머니는 이 시장에서 사십 년 동안 떡을 팔았습니다\n"
              "떡은 쌀로 만든 한국의 전통 음식입니다.\n사람들은 지금도 그 가게를 기억합니다.\n");
    EXPECT_TRUE(ko.ends_with("붐빌 것입니다.\n")) << ko;
    EXPECT_EQ(ko.find("미리"), std::string::npos) << "the preview is not the document";
    EXPECT_EQ(ko.find("example.com"), std::string::npos) << "a field's parameters are not text";
    const std::string en = Text(Bytes("hwpx/en.hwpx"));
    EXPECT_TRUE(en.starts_with("The Lighthouse Keeper\nEvery evening the keeper")) << en;
    EXPECT_NE(en.find("spirit of brotherhood.\n"), std::string::npos) << en;
    EXPECT_EQ(en.find("preview"), std::string::npos) << en;
    for (const char *name : {"ko.hwpx.gz", "other/no-mimetype.hwpx", "bad/no-hpf.hwpx"}) {
        const Extraction r = plugin->Extract(Data(std::string("hwpx/") + name));
        EXPECT_TRUE(r.opened && r.openText == 0) << name;
        EXPECT_EQ(r.utf8(), ko) << name;
    }
    EXPECT_TRUE(Text(Bytes("hwpx/other/version.hwpx")).starts_with("The Lighthouse Keeper\n"));
    for (const char *name : {"bad/encrypted.hwpx", "bad/cut.hwpx"})
        ExpectRefused(Bytes(std::string("hwpx/") + name), name);
}

TEST_F(DxFilterHwpx, DamagedPackagesKeepTheTextBefore) {
    const std::string xml = Text(Bytes("hwpx/bad/xml.hwpx"));
    EXPECT_TRUE(xml.starts_with("봄날의 시장\n아침 일찍")) << xml;
    EXPECT_NE(xml.find("동등하다"), std::string::npos) << "the next section is read";
    const std::string deflate = Text(Bytes("hwpx/bad/deflate.hwpx"));
    EXPECT_TRUE(deflate.starts_with("Paragraph 0 of the keeper's log")) << deflate.substr(0, 99);
    EXPECT_EQ(deflate.find("Paragraph 399 "), std::string::npos);
    // A member that inflates past its bound ends there; the next is read.
    const Extraction bomb = Run(Bytes("hwpx/bad/bomb.hwpx"));
    EXPECT_TRUE(bomb.opened && bomb.openText == 0);
    EXPECT_TRUE(bomb.utf8().starts_with("bomb\nAll human beings")) << bomb.utf8().substr(0, 99);
    Mutator m(0x48575058);
    const std::string ko = Bytes("hwpx/ko.hwpx");
    for (int round = 0; round < 80; ++round) {
        const std::string damaged = round % 8 == 7 ? m.Cut(ko) : m.Overwrite(ko, 1 + round % 6);
        const Extraction r = Run(damaged);
        EXPECT_TRUE(r.opens == 1 && r.closes == 1) << round;
        EXPECT_LE(r.text.size(), 4096u) << round;
    }
}

}  // namespace
