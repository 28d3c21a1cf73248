// Apple iWork documents through the filter plug-in (dxfilter_iwork.so:
// libetonyek for iWork '09, its own reader for later documents): the format
// rules of the zip directory scan, the text of the fixtures
// (scripts/make_iwork_fixtures.py) for each of the three applications in
// both generations, packages kept as folders and zipped, documents without
// text, bounds, and damaged, cut and mutated packages.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "doctype/dx_abi.h"
#include "dxfilter_iwa_writer.h"
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
}

TEST_F(DxFilterIwork, ZippedPackageFoldersAreRecognised) {
    // A package kept as a folder and zipped: every entry in one folder named
    // as a package (in any case), beside the Finder's own entries; the
    // package's names inside it compare as at the root.
    auto zipped = [](const std::string &folder, std::vector<std::string> names) {
        std::vector<std::pair<std::string, std::string>> members = {{folder, ""}};
        for (const std::string &name : names) members.push_back({folder + name, "x"});
        members.push_back({"__MACOSX/", ""});
        members.push_back({"__MACOSX/" + folder + "._" + names[0], "x"});
        members.push_back({".DS_Store", "x"});
        return members;
    };
    for (const char *folder : {"Report.pages/", "Talk.key/", "Budget.numbers/", "OLD.PAGES/"})
        for (const char *name :
             {"index.apxl", "index.apxl.gz", "index.xml.gz", "Index/Document.iwa", "Index.zip"})
            EXPECT_EQ(Format(zipped(folder, {"preview.jpg", name})), DX_FMT_IWORK)
                << folder << name;
    EXPECT_EQ(Format(zipped("Report.pages/", {"index.xml", "QuickLook/Thumbnail.jpg"})),
              DX_FMT_IWORK);
    EXPECT_EQ(Format(zipped("Report.pages/", {"index.xml"})), DX_FMT_ZIP);
    EXPECT_EQ(Format(zipped("Report.pages/", {"INDEX.APXL"})), DX_FMT_ZIP);
    // Anything else keeps its answer: a folder not named as a package, the
    // package a folder deeper, another folder or a file beside it, two
    // packages, a package only among the Finder's entries.
    for (const char *folder : {"Report/", "Report.pages.old/", "Report-pages/", ".pages/",
                               "outer/Report.pages/", "__MACOSX/Report.pages/"})
        EXPECT_EQ(Format(zipped(folder, {"index.apxl"})), DX_FMT_ZIP) << folder;
    EXPECT_EQ(Format({{"Report.pages/index.apxl", "x"}, {"readme.txt", "x"}}), DX_FMT_ZIP);
    EXPECT_EQ(Format({{"Report.pages/index.apxl", "x"}, {"Images/a.png", "x"}}), DX_FMT_ZIP);
    EXPECT_EQ(Format({{"A.key/index.apxl", "x"}, {"B.key/index.apxl", "x"}}), DX_FMT_ZIP);
    // The worker's rule, for an archive the directory scan leaves to it (a
    // `mimetype` entry): the same, every name counted.
    EXPECT_EQ(Format({{"mimetype", "application/x-other"}, {"A.key/index.apxl", "x"}}), DX_FMT_ZIP);
    EXPECT_EQ(Format({{"A.key/", ""}, {"A.key/index.apxl", "x"}, {"__MACOSX/A.key/._x", ""}}),
              DX_FMT_IWORK);
}

TEST_F(DxFilterIwork, FinderEntriesAreNoMembersOfAnArchive) {
    // AppleDouble files beside their files (copies to a volume without
    // extended attributes) are the Finder's, as those under `__MACOSX/`.
    EXPECT_EQ(Format({{"Talk.key/", ""},
                      {"Talk.key/index.apxl", "x"},
                      {"Talk.key/._index.apxl", "x"},
                      {"._Talk.key", "x"},
                      {"Talk.key/.DS_Store", "x"}}),
              DX_FMT_IWORK);
    EXPECT_EQ(Text(Sample("de-copied.key.zip")), Text(Sample("de.key")));
    // A file whose name only starts with a dot, or a second folder, still counts.
    EXPECT_EQ(Format({{"Talk.key/index.apxl", "x"}, {".notes", "x"}}), DX_FMT_ZIP);
    EXPECT_EQ(Format({{"Talk.key/index.apxl", "x"}, {"._Talk/x", "x"}, {"Other/x", "x"}}),
              DX_FMT_ZIP);
    // A FictionBook zipped by the Finder is the archive of one book; the
    // Finder's entries alone hold none, whatever their names.
    const std::string book =
        "<?xml version=\"1.0\"?><FictionBook><body><p>Im Zip</p></body></FictionBook>";
    EXPECT_EQ(Format({{"book.fb2", book}, {"__MACOSX/", ""}, {"__MACOSX/._book.fb2", "x"}}),
              DX_FMT_FICTIONBOOK);
    EXPECT_EQ(Format({{"._book.fb2", "x"}, {"book.fb2", book}, {".DS_Store", "x"}}),
              DX_FMT_FICTIONBOOK);
    EXPECT_EQ(Format({{"__MACOSX/._book.fb2", "x"}}), DX_FMT_ZIP);
    EXPECT_EQ(Format({{"._book.fb2", "x"}}), DX_FMT_ZIP);
    EXPECT_EQ(Format({{"book.fb2", book}, {"__MACOSX/._book.fb2", "x"}, {"cover.jpg", "x"}}),
              DX_FMT_ZIP);
    EXPECT_EQ(
        Text(StoredZip({{"__MACOSX/", ""}, {"__MACOSX/._book.fb2", "x"}, {"book.fb2", book}})),
        "Im Zip\n");
    // Any other document zipped on a Mac stays an archive of a document, as
    // without the Finder's entries; so do the Finder's entries alone.
    for (const char *name : {"Report.docx", "Report.odt", "Report.pages", "Report.epub"})
        EXPECT_EQ(Format({{name, Pages({"Der Bericht"})},
                          {"__MACOSX/", ""},
                          {std::string("__MACOSX/._") + name, "x"}}),
                  DX_FMT_ZIP)
            << name;
}

TEST_F(DxFilterIwork, ZippedPackageFoldersGiveTheirText) {
    // Both generations, the later one's parts in the folder or inside its
    // `Index.zip`: the text of the same package at the root.
    const std::string pages = Text(Sample("es.pages"));
    EXPECT_EQ(Text(Sample("es-folder.pages.zip")), pages);
    EXPECT_EQ(Text(Sample("es-2013-folder.pages.zip")), pages);
    EXPECT_EQ(Text(Sample("de-folder.key.zip")), Text(Sample("de.key")));
    EXPECT_EQ(Text(StoredZip({{"Bericht.pages/index.xml", PagesXml({"Der Bericht", "des Jahres"})},
                              {"Bericht.pages/buildVersionHistory.plist", "<plist/>"}})),
              "Der Bericht\ndes Jahres\n");
    // Members outside the folder are not the package's: the Finder's copy
    // of a part with text is not read.
    namespace iwa = dxfilter_iwa;
    const std::string part = iwa::Part(iwa::Object(5, {{2001, iwa::Storage(0, "outside")}}));
    ExpectRefused(StoredZip({{"Bericht.pages/Index/Document.iwa", ""},
                             {"__MACOSX/Bericht.pages/Index/Document.iwa", part}}),
                  "no objects in the folder's part");
    EXPECT_EQ(Text(StoredZip({{"Bericht.pages/Index/Document.iwa", part}})), "outside\n");
    // Archives that are not a package kept as a folder: no text.
    ExpectRefused(Sample("two-packages.zip"), "two packages");
    ExpectRefused(Sample("lookalike.zip"), "a folder named like a package");
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
    // Every cut of a package, of either generation, is bounded and balanced.
    for (const char *name : {"en.pages", "ru.numbers", "es.pages", "it.key", "de-folder.key.zip"})
        ExpectCutsBounded(Sample(name), 29, 400, name);
}

TEST_F(DxFilterIwork, LongDocumentsStopAtTheBound) {
    const std::vector<std::string> paragraphs(24000,
                                              "the keeper climbs the narrow stairs every evening");
    Extraction r = Run(Pages(paragraphs));
    ExpectFilledToTheCap(r);
}

TEST_F(DxFilterIwork, MutatedPackagesNeverBreakThePlugin) {
    Mutator mutator(6170);
    const std::string stored = Pages({"The keeper climbs", "the stairs"});
    for (const std::string &bytes :
         {Sample("en.pages"), Sample("de.key"), Sample("ru.numbers"), stored})
        ExpectDamageBounded(mutator, bytes, {.rounds = 50, .most = 8}, 1024);
}

// ---- iWork 2013 and later -----------------------------------------------------

namespace iwa = dxfilter_iwa;

// A later Pages package whose `Index/Document.iwa` holds `part`.
std::string LaterPages(const std::string &part) {
    return StoredZip({{"Index/Document.iwa", part},
                      {"Metadata/DocumentIdentifier", "0"},
                      {"preview.jpg", "\xFF\xD8\xFF\xD9"}});
}

TEST_F(DxFilterIwork, LaterDocumentsGiveTheirText) {
    // Pages: the body first (a page of text), then the header and the
    // footnote; the table of contents and the attachment mark left out.
    const std::string pages = Text(Sample("es.pages"));
    EXPECT_EQ(pages,
              "El mercado del puerto\n"
              "Cada sábado los pescadores llegan temprano al muelle y venden el pescado\n"
              "fresco en mesas de madera.\n"
              "Los vecinos compran sardinas y calamares antes de que suene la campana de\n"
              "la iglesia.\n"
              "Boletín del barrio\n"
              "El mercado abre también los días de fiesta.\n");
    // The first iWork 2013 layout, the parts inside `Index.zip`: the same.
    EXPECT_EQ(Text(Sample("es-2013.pages")), pages);
    // Keynote: slide by slide in the show's order (the archive holds them
    // the other way round), each slide's notes after its text; the master
    // slide's placeholder left out.
    EXPECT_EQ(Text(Sample("it.key")),
              "Il giardino sul fiume\n"
              "Ogni primavera i vicini piantano fagioli, zucche e girasoli lungo la riva.\n"
              "Ricordarsi di portare i semi e gli annaffiatoi.\n"
              "In estate si siedono la sera tra le aiuole e raccontano storie del paese.\n");
    // Numbers: the text box, then the table's strings, a cell a line.
    EXPECT_EQ(Text(Sample("pl.numbers")),
              "Plan zimowych dostaw\n"
              "Zimowa droga\n"
              "Listonosz jedzie saniami przez zaśnieżony las\n"
              "i wiezie listy do dalekiej wioski za rzeką.\n"
              "Wieczorem grzeje się przy piecu i opowiada gospodyni o wilkach.\n");
}

TEST_F(DxFilterIwork, DamagedLaterDocumentsKeepTheTextBeforeTheDamage) {
    ExpectRefused(Sample("badcopy.pages"), "copy before the block's start");
    ExpectRefused(Sample("badvarint.numbers"), "varint of eleven bytes");
    ExpectRefused(Sample("huge.pages"), "message of 4 GiB");
    ExpectRefused(LaterPages(""), "no objects");
    ExpectRefused(StoredZip({{"Index.zip", "not an archive"}}), "nested archive damaged");
    // The first slide's part is cut: the second slide's text is read.
    EXPECT_EQ(Text(Sample("cut.key")),
              "In estate si siedono la sera tra le aiuole e raccontano storie del paese.\n");
    // Objects before the damage of a part keep their text.
    EXPECT_EQ(Text(LaterPages(iwa::Part(iwa::Object(5, {{2001, iwa::Storage(0, "before")}})) +
                              iwa::Chunk(iwa::Block(9, {iwa::Literal("ab"), iwa::Copy2(9, 7)})))),
              "before\n");
    // A later document without text is empty.
    Extraction r = Run(LaterPages(iwa::Part(iwa::Object(1, {{10000, iwa::Ref(4, 2)}}))));
    EXPECT_TRUE(r.opened && r.openText == 0 && r.readError == 0);
    EXPECT_TRUE(r.text.empty()) << r.utf8();
}

TEST_F(DxFilterIwork, LongLaterDocumentsStopAtTheBounds) {
    // A body of 24,000 paragraphs: the text cap.
    std::string body;
    for (int i = 0; i < 24000; ++i) body += "the keeper climbs the narrow stairs every evening\n";
    Extraction r = Run(LaterPages(iwa::Part(iwa::Object(5, {{2001, iwa::Storage(0, body)}}))));
    ExpectFilledToTheCap(r);
    // Chunks that copy the same bytes over and over (64 KiB from 14 bytes
    // each), beyond the bound of a member's decoded bytes: the part ends
    // there, its one object cut, and the document is refused.
    std::string chunk = iwa::Literal("abcd");
    for (size_t n = 4; n < 65536; n += 64) chunk += iwa::Copy2(4, std::min<size_t>(64, 65536 - n));
    const std::string copies = iwa::Chunk(iwa::Varint(65536) + chunk);
    std::string part = iwa::Chunk(iwa::Block(6, {iwa::Literal("\xFF\xFF\xFF\x3F\x0A\x08")}));
    for (int i = 0; i < 1100; ++i) part += copies;
    ExpectRefused(LaterPages(part), "decoded past the bound");
}

TEST_F(DxFilterIwork, MutatedLaterPackagesNeverBreakThePlugin) {
    Mutator mutator(2013);
    for (const char *name : {"es.pages", "it.key", "pl.numbers", "es-2013.pages",
                             "es-folder.pages.zip", "es-2013-folder.pages.zip"})
        ExpectDamageBounded(mutator, Sample(name), {.rounds = 60, .most = 8}, 1024, name);
}

}  // namespace
