// Microsoft Visio drawings through the filter plug-in (dxfilter_visio.so,
// libvisio): the format rules for Visio packages (their content types), XML
// drawings (their root's namespace) and compound files (a `VisioDocument`
// stream), the text of the fixtures (scripts/make_visio_fixtures.py) and of
// drawings built here, and what happens to cut, damaged, huge and deeply
// nested drawings.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "doctype/dx_abi.h"
#include "dxfilter_ole_writer.h"
#include "dxfilter_test_support.h"
#include "dxfilter_zip_writer.h"

namespace {

using namespace dxfilter_test;
using dxfilter_ole::BuildCompoundFile;
using dxfilter_ole::Placement;
using dxfilter_zip::StoredZip;

constexpr std::string_view kCore2003 = "http://schemas.microsoft.com/visio/2003/core";

// A Visio 2003 XML drawing of one page whose shapes hold `texts`, its root
// start tag opened by `root` (the name and its namespace declaration).
std::string XmlDrawing(const std::vector<std::string> &texts,
                       const std::string &root = "VisioDocument xmlns=\"" + std::string(kCore2003) +
                                                 "\"") {
    std::string shapes;
    int id = 1;
    for (const std::string &text : texts)
        shapes += "<Shape ID=\"" + std::to_string(id++) +
                  "\" Type=\"Shape\"><XForm><PinX>1</PinX><PinY>1</PinY><Width>2</Width>"
                  "<Height>1</Height></XForm><Text>" +
                  text + "</Text></Shape>";
    const std::string name = root.substr(0, root.find(' '));
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<" + root +
           "><Pages><Page ID=\"0\" NameU=\"Page-1\" Name=\"Seite\"><Shapes>" + shapes +
           "</Shapes></Page></Pages></" + name + ">\n";
}

// The content types of a package whose main part `visio/document.xml` has
// the content type `main`.
std::string ContentTypes(std::string_view main) {
    return "<?xml version=\"1.0\"?><Types "
           "xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
           "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
           "<Override PartName=\"/visio/document.xml\" ContentType=\"" +
           std::string(main) + "\"/></Types>";
}

class DxFilterVisio : public OleReaderTest {
  protected:
    DxFilterVisio() : OleReaderTest("d.vsd") {}
    static std::string Sample(const std::string &name) { return Bytes("visio/" + name); }
    // A stored package of `members` beside `visio/document.xml`.
    int PackageFormat(std::vector<std::pair<std::string, std::string>> members) {
        members.emplace_back("visio/document.xml", "<VisioDocument/>");
        return FormatOf(StoredZip(members));
    }
};

// The fixtures as the sink gives them (lines wrapped at a space): each
// shape's paragraphs, page by page.
constexpr std::string_view kGerman =
    "Die Leserinnen bringen ihre Bücher jeden Dienstag in die kleine Bibliothek\n"
    "am Fluss zurück.\n"
    "Die Bibliothekarin prüft jedes Buch und stempelt die Karte.\n"
    "Danach stellt sie die Bücher wieder in die Regale, geordnet nach dem Namen.\n"
    "Wer ein Buch vorbestellt hat, bekommt einen Brief mit der Post.\n";
constexpr std::string_view kGermanSecondPage =
    "Im Winter heizt ein alter Ofen den Lesesaal, während draußen der Schnee auf\n"
    "die Brücke fällt, und die Großväter lesen die Zeitung von gestern.\n";
constexpr std::string_view kFrench =
    "Chaque mardi, les lectrices rapportent leurs livres à la petite bibliothèque\n"
    "au bord de la rivière.\n"
    "La bibliothécaire vérifie chaque livre et tamponne la carte de prêt.\n"
    "Texte du modèle\n"
    "Les livres réservés attendent leurs lecteurs sur une étagère près de l'entrée.\n"
    "En hiver, un vieux poêle chauffe la salle de lecture pendant que la neige\n"
    "tombe sur le pont, et les grands-pères lisent le journal de la veille.\n";

TEST_F(DxFilterVisio, PackagesAreToldByTheirMainPartsContentType) {
    for (std::string_view type : {"application/vnd.ms-visio.drawing.main+xml",
                                  "application/vnd.ms-visio.drawing.macroEnabled.main+xml",
                                  "application/vnd.ms-visio.template.main+xml",
                                  "application/vnd.ms-visio.template.macroEnabled.main+xml",
                                  "application/vnd.ms-visio.stencil.main+xml",
                                  "application/vnd.ms-visio.stencil.macroEnabled.main+xml"})
        EXPECT_EQ(PackageFormat({{"[Content_Types].xml", ContentTypes(type)}}), DX_FMT_VISIO)
            << type;
    // The content type alone tells: another one, a type given by extension,
    // content types that are no XML or lack their root, or no content types.
    const struct {
        std::vector<std::pair<std::string, std::string>> members;
        const char *what;
    } others[] = {
        {{{"[Content_Types].xml", ContentTypes("application/vnd.ms-visio.page+xml")}}, "a page"},
        {{{"[Content_Types].xml",
           "<Types><Default Extension=\"xml\" "
           "ContentType=\"application/vnd.ms-visio.drawing.main+xml\"/></Types>"}},
         "a default"},
        {{{"[Content_Types].xml", "application/vnd.ms-visio.drawing.main+xml"}}, "no XML"},
        {{{"[Content_Types].xml",
           "<Override ContentType=\"application/vnd.ms-visio.drawing.main+xml\"/>"}},
         "no Types root"},
        {{{"visio/pages/page1.xml", "<PageContents/>"}}, "no content types"},
    };
    for (const auto &o : others) EXPECT_EQ(PackageFormat(o.members), DX_FMT_ZIP) << o.what;
}

TEST_F(DxFilterVisio, XmlDrawingsAreToldByTheirRootsNamespace) {
    const std::string ns(kCore2003);
    EXPECT_EQ(FormatOf(XmlDrawing({"Hallo"})), DX_FMT_VISIO);
    EXPECT_EQ(FormatOf(XmlDrawing({"Hallo"}, "v:VisioDocument xmlns:v=\"" + ns + "\"")),
              DX_FMT_VISIO);
    EXPECT_EQ(FormatOf(XmlDrawing({"Hallo"}, "VisioDocument key='>' xmlns='" + ns + "'")),
              DX_FMT_VISIO);
    // In UTF-16 with its byte-order mark, as the engine's XML detection reads it.
    std::string wide = "\xFF\xFE";
    for (char c : XmlDrawing({"Hallo"})) wide += std::string{c, '\0'};
    EXPECT_EQ(FormatOf(wide), DX_FMT_VISIO);
    struct {
        std::string root;
        const char *what;
    } others[] = {
        {"VisioDocument", "no namespace"},
        {"VisioDocument xmlns=\"http://schemas.microsoft.com/office/visio/2012/main\"",
         "the packages' namespace"},
        {"v:VisioDocument xmlns=\"" + ns + "\" xmlns:v=\"urn:other\"", "a prefix of another"},
        {"v:VisioDocument xmlns:w=\"" + ns + "\"", "another prefix declared"},
        {"VisioDrawing xmlns=\"" + ns + "\"", "another root"},
    };
    for (const auto &o : others)
        EXPECT_EQ(FormatOf(XmlDrawing({"Hallo"}, o.root)), DX_FMT_XML) << o.what;
    EXPECT_EQ(FormatOf(XmlDrawing({"Hallo"}).substr(0, 60)), DX_FMT_XML) << "root cut";
}

TEST_F(DxFilterVisio, CompoundFilesAreToldByTheirVisioDocumentStream) {
    const auto mini = [](std::string_view) { return Placement::kMini; };
    EXPECT_EQ(FormatOf(BuildCompoundFile({{"VisioDocument", "x"}}, mini)), DX_FMT_VISIO);
    EXPECT_EQ(FormatOf(BuildCompoundFile({{"visiodocument", "x"}}, mini)), DX_FMT_VISIO);
    // Office streams win; a Visio drawing embedded in another document is
    // in a storage of its own, which does not count.
    EXPECT_EQ(FormatOf(BuildCompoundFile({{"VisioDocument", "x"}, {"WordDocument", "x"}}, mini)),
              DX_FMT_DOC);
    EXPECT_EQ(FormatOf(BuildCompoundFile({{"VisioInformation", "x"}}, mini)), DX_FMT_OLE);
    // A stream that libvisio does not take (no version byte) is recognised
    // and refused; one of a header alone gives no text.
    ExpectRefused(BuildCompoundFile({{"VisioDocument", "x"}}, mini), "no version");
    EXPECT_EQ(Text(Sample("bad/header.vsd")), "");
}

TEST_F(DxFilterVisio, DrawingsGiveTheirShapesTextPageByPage) {
    const struct {
        const char *name;
        std::string text;
    } samples[] = {
        // Two pages; a shape of two paragraphs, a shape without text; the
        // page names are not read.
        {"de.vsdx", std::string(kGerman) + std::string(kGermanSecondPage)},
        {"de.vstx", std::string(kGerman) + std::string(kGermanSecondPage)},
        // A master's shape placed with text of its own and without, which
        // draws the master's text.
        {"fr.vdx", std::string(kFrench)},
        // Compressed: the package through the office module's look at its
        // content types, the XML drawing by its root.
        {"de.vsdx.gz", std::string(kGerman) + std::string(kGermanSecondPage)},
        {"fr.vdx.gz", std::string(kFrench)},
    };
    for (const auto &s : samples) {
        Extraction r = plugin->Extract(Data(std::string("visio/") + s.name));
        EXPECT_TRUE(r.opened && r.openText == 0 && r.readError == 0) << s.name;
        EXPECT_EQ(r.utf8(), s.text) << s.name;
    }
    // Shapes and their paragraphs end lines; a tab runs on as a space.
    EXPECT_EQ(Text(XmlDrawing({"eins", "zwei\ndrei", "vier\tfünf"})),
              "eins\nzwei\ndrei\nvier fünf\n");
}

TEST_F(DxFilterVisio, DamagedDrawingsKeepTheTextLibvisioReads) {
    // A page that is no XML: the other page's text.
    EXPECT_EQ(Text(Sample("bad/damaged.vsdx")), kGermanSecondPage);
    // Cut inside its first page, 16 MiB of a shape's text, a shape inside
    // 5000 groups: libvisio gives no text.
    for (const char *name : {"bad/cut.vdx", "bad/huge.vsdx", "bad/deep.vdx"}) {
        Extraction r = Run(Sample(name));
        EXPECT_TRUE(r.opens == 1 && r.closes == 1) << name;
        EXPECT_TRUE(r.text.empty()) << name << ": " << r.utf8();
    }
}

TEST_F(DxFilterVisio, LongDrawingsStopAtTheTextCap) {
    // Few shapes of long text, so that libvisio's parse, which the module
    // cannot end before the first page is drawn, stays well within the time.
    std::string line;
    for (int k = 0; k < 8; ++k) line += "der Wärter steigt jeden Abend die schmale Treppe hinauf. ";
    const std::vector<std::string> shapes(1500, line);
    Extraction r = Run(XmlDrawing(shapes));
    ExpectFilledToTheCap(r);
}

TEST_F(DxFilterVisio, CutAndMutatedDrawingsAreBounded) {
    const std::string de = Sample("de.vsdx"), fr = Sample("fr.vdx");
    ExpectCutsBounded(de, 61, 2048, "de.vsdx");
    ExpectCutsBounded(fr, 67, 2048, "fr.vdx");
    Mutator m(2013);
    ExpectDamageBounded(m, de, {.rounds = 60, .most = 8, .cutEvery = 5}, 2048, "de.vsdx");
    ExpectDamageBounded(m, fr, {.rounds = 60, .most = 8, .cutEvery = 5}, 2048, "fr.vdx");
    // The shapes alone damaged, past the root's start tag.
    const std::string page = XmlDrawing({"eins", "zwei", "drei"});
    ExpectDamageBounded(m, page, {.rounds = 60, .most = 4, .from = 120}, 2048, "page");
}

}  // namespace
