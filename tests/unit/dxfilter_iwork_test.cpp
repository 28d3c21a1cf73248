// Apple iWork documents through the filter plug-in (dxfilter_iwork.so,
// libetonyek): the format rules of the zip directory scan, the text of the
// fixtures (scripts/make_iwork_fixtures.py) for each of the three
// applications, documents without text, bounds, and damaged, cut and
// mutated packages.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "doctype/dx_abi.h"
#include "dxfilter_test_support.h"
#include "dxfilter_zip_writer.h"

namespace {

using namespace dxfilter_test;
using dxfilter_zip::StoredZip;

// A Pages '09 document of `paragraphs`, as the fixtures write it.
std::string PagesXml(const std::vector<std::string> &paragraphs) {
    std::string body;
    for (const auto &p : paragraphs) body += "<sf:p>" + p + "</sf:p>";
    return "<?xml version=\"1.0\"?>\n<sl:document "
           "xmlns:sl=\"http://developer.apple.com/namespaces/sl\" "
           "xmlns:sf=\"http://developer.apple.com/namespaces/sf\" sl:version=\"92008102400\">"
           "<sf:text-storage sf:kind=\"body\"><sf:text-body>" +
           body + "</sf:text-body></sf:text-storage></sl:document>\n";
}

std::string Pages(const std::vector<std::string> &paragraphs) {
    return StoredZip(
        {{"index.xml", PagesXml(paragraphs)}, {"buildVersionHistory.plist", "<plist/>"}});
}

class DxFilterIwork : public OleReaderTest {
  protected:
    DxFilterIwork() : OleReaderTest("d.pages") {}
    static std::string Sample(const std::string &name) { return Bytes("iwork/" + name); }
    int Format(const std::vector<std::pair<std::string, std::string>> &members) {
        return plugin->Format(Temp("f.zip", StoredZip(members)));
    }
};

TEST_F(DxFilterIwork, EntryNamesTellThePackage) {
    // The main part of an iWork '09 document, plain or gzipped, or the
    // layout of a later one, at the archive's root.
    for (const char *name :
         {"index.apxl", "index.apxl.gz", "index.xml.gz", "Index/Document.iwa", "Index.zip"})
        EXPECT_EQ(Format({{"a.txt", "x"}, {name, "x"}}), DX_FMT_IWORK) << name;
    // `index.xml` counts only beside what iWork writes next to it.
    EXPECT_EQ(Format({{"index.xml", "<a/>"}}), DX_FMT_ZIP);
    EXPECT_EQ(Format({{"index.xml", "<a/>"}, {"buildVersionHistory.plist", ""}}), DX_FMT_IWORK);
    EXPECT_EQ(Format({{"QuickLook/Thumbnail.jpg", ""}, {"index.xml", "<a/>"}}), DX_FMT_IWORK);
    // Names in a folder or in another case are other archives' (libetonyek
    // opens the root's, with their case).
    EXPECT_EQ(Format({{"site/index.apxl", "x"}}), DX_FMT_ZIP);
    EXPECT_EQ(Format({{"INDEX.APXL", "x"}}), DX_FMT_ZIP);
    EXPECT_EQ(Format({{"Index/Document.iwa.bak", "x"}}), DX_FMT_ZIP);
    // An office package that happens to hold such a name stays one.
    EXPECT_EQ(Format({{"[Content_Types].xml", "<Types/>"},
                      {"word/document.xml", "<w:document/>"},
                      {"index.apxl", "x"}}),
              DX_FMT_DOCX);
    for (const char *name : {"en.pages", "de.key", "fr.key", "ru.numbers", "notext.pages",
                             "damaged.key", "broken.pages", "iwa.pages"})
        EXPECT_EQ(plugin->Format(Data(std::string("iwork/") + name)), DX_FMT_IWORK) << name;
    // Cut before its directory it is an archive that cannot be read; a lone
    // `index.xml` is any archive's.
    EXPECT_EQ(plugin->Format(Data("iwork/truncated.pages")), DX_FMT_ZIP);
    EXPECT_EQ(plugin->Format(Data("iwork/index-only.zip")), DX_FMT_ZIP);
}

TEST_F(DxFilterIwork, EachApplicationGivesItsText) {
    // Pages: the body's paragraphs (the sink breaks long lines).
    EXPECT_EQ(Text(Sample("en.pages")),
              "The harbour market\n"
              "Every Saturday the fishermen bring their boats into the harbour and sell\n"
              "the morning catch from wooden tables along the quay.\n"
              "The neighbours come early, because the best fish are gone before the church\n"
              "bell rings nine.\n");
    // Keynote: the slides' text, slide by slide; a gzipped main part too.
    EXPECT_EQ(
        Text(Sample("de.key")),
        "Der Flussufer-Garten\n"
        "Am Flussufer pflanzen die Nachbarn jedes Frühjahr Bohnen, Kürbisse und Sonnenblumen\n"
        "in langen Reihen.\n"
        "Im Sommer sitzen sie abends zwischen den Beeten und erzählen sich Geschichten\n"
        "aus dem Dorf.\n");
    EXPECT_TRUE(Text(Sample("fr.key")).starts_with("La boulangerie du village\nChaque matin"));
    // Numbers: the cells, row by row, a space between cells.
    EXPECT_EQ(Text(Sample("ru.numbers")),
              "Зимняя дорога Зимой почтальон едет на санях через заснеженный лес и везёт\n"
              "письма\n"
              "в далёкую деревню за рекой. Вечером он греется у печки и рассказывает хозяйке\n"
              "о волках.\n");
    // The XML's references are resolved.
    EXPECT_EQ(Text(Pages({"fish &amp; chips", "&#x440;&#x44B;&#x431;&#x430;"})),
              "fish & chips\nрыба\n");
}

TEST_F(DxFilterIwork, DocumentsWithoutTextAreEmpty) {
    Extraction r = Run(Sample("notext.pages"));
    EXPECT_TRUE(r.opened && r.openText == 0 && r.readError == 0);
    EXPECT_TRUE(r.text.empty()) << r.utf8();
}

TEST_F(DxFilterIwork, DamagedAndCutPackagesFailCleanly) {
    ExpectRefused(Sample("damaged.key"), "main part damaged");
    ExpectRefused(Sample("broken.pages"), "main part not XML");
    ExpectRefused(Sample("iwa.pages"), "no objects");
    ExpectRefused(Sample("truncated.pages"), "cut");
    ExpectRefused(StoredZip({{"index.apxl", PagesXml({"a Pages document as a presentation"})}}),
                  "another application's document");
    // Every cut of a package is bounded and balanced.
    for (const char *name : {"en.pages", "ru.numbers"}) {
        const std::string bytes = Sample(name);
        for (size_t cut = 0; cut < bytes.size(); cut += 29) {
            Extraction r = Run(bytes.substr(0, cut));
            EXPECT_TRUE(r.opens == 1 && r.closes == 1) << name << " " << cut;
            EXPECT_LE(r.text.size(), 400u) << name << " " << cut;
        }
    }
}

TEST_F(DxFilterIwork, LongDocumentsStopAtTheBound) {
    const std::vector<std::string> paragraphs(24000,
                                              "the keeper climbs the narrow stairs every evening");
    Extraction r = Run(Pages(paragraphs));
    ASSERT_TRUE(r.opened && r.openText == 0);
    EXPECT_EQ(r.readError, 0);
    EXPECT_GE(r.text.size(), kTextCap - 100);
    EXPECT_LE(r.text.size(), kTextCap);
}

TEST_F(DxFilterIwork, CompressedPackagesAreRead) {
    Extraction r = plugin->Extract(Data("iwork/en.pages.gz"));
    ASSERT_TRUE(r.opened && r.openText == 0 && r.readError == 0);
    EXPECT_TRUE(r.utf8().starts_with("The harbour market\nEvery Saturday")) << r.utf8();
}

TEST_F(DxFilterIwork, MutatedPackagesNeverBreakThePlugin) {
    Mutator mutator(6170);
    const std::string stored = Pages({"The keeper climbs", "the stairs"});
    for (const std::string &bytes :
         {Sample("en.pages"), Sample("de.key"), Sample("ru.numbers"), stored}) {
        for (int round = 0; round < 50; ++round) {
            Extraction r = Run(mutator.Overwrite(bytes, 1 + round % 8));
            EXPECT_TRUE(r.opens == 1 && r.closes == 1) << round;
            EXPECT_LE(r.text.size(), 1024u) << round;
        }
    }
}

}  // namespace
