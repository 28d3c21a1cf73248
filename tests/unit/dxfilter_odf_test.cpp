// OpenDocument kinds beyond text, spreadsheet and presentation packages
// through the filter plug-in (dxfilter_office.so): drawings and their
// templates, master documents, the kinds without text the filter reads,
// and flat files (one XML document whose root is office:document) told
// from other XML by their root's start tag; the text of the fixtures
// (scripts/make_odf_fixtures.py), and damaged and mutated flat files.
#include <gtest/gtest.h>

#include <string>

#include "doctype/dx_abi.h"
#include "dxfilter_test_support.h"
#include "dxfilter_zip_writer.h"

namespace {

using namespace dxfilter_test;
using dxfilter_zip::StoredZip;

const std::string kOffice = "urn:oasis:names:tc:opendocument:xmlns:office:1.0";
const std::string kMime = "application/vnd.oasis.opendocument.";

// A flat file of `kind` whose root is `root` (with its own attributes) and
// whose body is `body`.
std::string Flat(const std::string &kind, const std::string &body,
                 const std::string &root = "office:document") {
    return "<?xml version=\"1.0\"?>\n<" + root + " xmlns:office=\"" + kOffice +
           "\" xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" office:mimetype=\"" +
           kMime + kind + "\"><office:body>" + body + "</office:body></" +
           root.substr(0, root.find(' ')) + ">\n";
}

class DxFilterOdf : public OleReaderTest {
  protected:
    DxFilterOdf() : OleReaderTest("d.fodt") {}
    static std::string Sample(const std::string &name) { return Bytes("odf/" + name); }
    int Format(const std::string &bytes) { return plugin->Format(Temp("f.xml", bytes)); }
};

TEST_F(DxFilterOdf, PackagesOfEveryKindByTheirMimetype) {
    auto package = [](const std::string &kind) {
        return StoredZip({{"mimetype", kMime + kind},
                          {"content.xml", "<office:document-content xmlns:office=\"" + kOffice +
                                              "\"><office:body/></office:document-content>"}});
    };
    for (const char *kind :
         {"text", "text-template", "text-master", "text-master-template", "text-web"})
        EXPECT_EQ(Format(package(kind)), DX_FMT_ODT) << kind;
    EXPECT_EQ(Format(package("graphics")), DX_FMT_ODG);
    EXPECT_EQ(Format(package("graphics-template")), DX_FMT_ODG);
    for (const char *kind : {"chart", "image", "formula", "base", "graphics-x", "Graphics"})
        EXPECT_EQ(Format(package(kind)), DX_FMT_ZIP) << kind;
    // A `mimetype` entry that is compressed and not the first is read from the archive.
    EXPECT_EQ(plugin->Format(Data("odf/de.otg")), DX_FMT_ODG);
    for (const char *name : {"chart.odc", "formula.odf", "image.odi"})
        EXPECT_EQ(plugin->Format(Data(std::string("odf/") + name)), DX_FMT_ZIP) << name;
}

TEST_F(DxFilterOdf, DrawingsGiveTheTextOfTheirShapesPageByPage) {
    // Text boxes, custom shapes and rectangles, a line each; connectors,
    // embedded objects and pictures add nothing.
    EXPECT_EQ(Text(Sample("de.otg")),
              "Der Wanderweg\n"
              "Der Weg führt vom Dorf über die Brücke hinauf zur alten Mühle.\n"
              "Nach dem Regen ist der Pfad am Waldrand oft rutschig und schmal.\n");
    const std::string lines =
        "The garden plan\n"
        "Plant the tomatoes along the southern wall where the sun stays longest.\n"
        "The old apple tree needs pruning before the first frost arrives.\n";
    EXPECT_EQ(Text(Sample("en.fodg")), lines);
    // A shape's title and description are read, as in the other kinds, a
    // line each.
    EXPECT_EQ(Text(Sample("en.odg")), lines + "gardener\ngardener\n");
}

TEST_F(DxFilterOdf, FlatFilesGiveTheirBodyOnly) {
    // Metadata, styles and page headers lie outside the body; a picture's
    // base64 data and an inline formula are left out.
    EXPECT_EQ(Text(Sample("fr.fodt")),
              "Le carnet de voyage\n"
              "Le train du matin traverse les vignes avant d'arriver au bord du lac.\n"
              "Nous avons dîné sur la terrasse en regardant les bateaux rentrer au port.\n");
    EXPECT_EQ(Text(Sample("ru.fods")),  // numbers are left out, as in packages
              "Летний сад\n"
              "Каждое утро бабушка поливает цветы в саду у старого дома.\n"
              "Вечером дети собирают малину и приносят её в корзинах.\n");
    const std::string fodp = Text(Sample("de.fodp"));
    EXPECT_NE(fodp.find("Der Wanderweg\n"), std::string::npos) << fodp;
    EXPECT_NE(fodp.find("rutschig"), std::string::npos) << fodp;  // the speaker notes
    // Compressed, the same file gives the same text.
    EXPECT_EQ(plugin->Extract(Data("odf/fr.fodt.gz")).utf8(), Text(Sample("fr.fodt")));
    // UTF-16 with a byte-order mark.
    const std::string utf8 = Flat("text", "<text:p>Le chat dort.</text:p>");
    std::string utf16 = "\xFF\xFE";
    for (char c : utf8) utf16 += {c, '\0'};
    EXPECT_EQ(Format(utf16), DX_FMT_ODT);
    EXPECT_EQ(Text(utf16), "Le chat dort.\n");
}

TEST_F(DxFilterOdf, TheRootStartTagTellsAFlatFile) {
    const std::string body = "<office:text><text:p>word</text:p></office:text>";
    EXPECT_EQ(Format(Flat("text", body)), DX_FMT_ODT);
    EXPECT_EQ(Format(Flat("spreadsheet", body)), DX_FMT_ODS);
    EXPECT_EQ(Format(Flat("presentation-template", body)), DX_FMT_ODP);
    EXPECT_EQ(Format(Flat("graphics", body)), DX_FMT_ODG);
    // Any prefix bound to the office namespace; quotes of either kind, and
    // a '>' inside a value before the `mimetype`.
    EXPECT_EQ(Format("<o:document xmlns:o='" + kOffice + "' o:version='1>0' o:mimetype = '" +
                     kMime + "text'><o:body/></o:document>"),
              DX_FMT_ODT);
    // Not flat files: another kind, no or another namespace, a `mimetype`
    // of no namespace or of another prefix, another root, a package's parts.
    EXPECT_EQ(Format(Flat("chart", body)), DX_FMT_XML);
    EXPECT_EQ(Format(Flat("formula", body)), DX_FMT_XML);
    EXPECT_EQ(Format("<office:document office:mimetype=\"" + kMime + "text\"/>"), DX_FMT_XML);
    EXPECT_EQ(Format("<office:document xmlns:office=\"urn:example\" office:mimetype=\"" + kMime +
                     "text\"/>"),
              DX_FMT_XML);
    EXPECT_EQ(Format(Sample("noprefix.xml")), DX_FMT_XML);
    EXPECT_EQ(
        Format("<o:document xmlns:o=\"" + kOffice + "\" office:mimetype=\"" + kMime + "text\"/>"),
        DX_FMT_XML);
    EXPECT_EQ(Format("<office:document-content xmlns:office=\"" + kOffice +
                     "\" office:mimetype=\"" + kMime + "text\"/>"),
              DX_FMT_XML);
    EXPECT_EQ(plugin->Format(Data("odf/otherkind.fodt")), DX_FMT_XML);
    // A start tag longer than the head the rules look at stays XML.
    const std::string padded = "<office:document xmlns:office=\"" + kOffice + "\" a=\"" +
                               std::string(9000, 'x') + "\" office:mimetype=\"" + kMime +
                               "text\"><office:body/></office:document>";
    EXPECT_EQ(Format(padded), DX_FMT_XML);
}

TEST_F(DxFilterOdf, DamagedFlatFilesEndCleanly) {
    const std::string fodt = Sample("fr.fodt");
    // Cut in the body: the text up to the cut.
    const size_t cut = fodt.find("avant d'arriver");
    ASSERT_NE(cut, std::string::npos);
    EXPECT_EQ(Text(fodt.substr(0, cut)),
              "Le carnet de voyage\nLe train du matin traverse les vignes\n");
    // An empty body opens as an empty text.
    Extraction empty = Run(Flat("text", "<office:text/>"));
    EXPECT_TRUE(empty.opened && empty.openText == 0 && empty.readError == 0 && empty.text.empty());
    Mutator mutate(361);
    for (int i = 0; i < 60; ++i) {
        const std::string bytes =
            i % 3 == 0 ? mutate.Cut(fodt) : mutate.Overwrite(fodt, 1 + i % 7, 200);
        Extraction r = Run(bytes);
        EXPECT_TRUE(r.opens == r.closes) << i;
    }
}

}  // namespace
