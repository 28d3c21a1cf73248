// OpenDocument kinds beyond text, spreadsheet and presentation packages
// through the filter plug-in (dxfilter_office.so): drawings and their
// templates, master documents, the kinds without text the filter reads,
// and flat files (one XML document whose root is office:document) told
// from other XML by their root's start tag; the text of the fixtures
// (scripts/make_odf_fixtures.py), and damaged and mutated flat files.
// Packages without a `mimetype` entry: OpenDocument ones told by their
// manifest, EPUB ones (scripts/make_ebook_fixtures.py) by their container.
// Packages zipped as a folder, read as the same package at the root.
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

TEST_F(DxFilterOdf, FramesAnchoredInAParagraphStartLinesOfTheirOwn) {
    // A text box, a shape's text or a picture's caption anchored within a
    // paragraph is read where it stands, but not glued to the word before.
    const std::string draw = " xmlns:draw=\"urn:oasis:names:tc:opendocument:xmlns:drawing:1.0\"";
    const std::string svg =
        " xmlns:svg=\"urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0\"";
    EXPECT_EQ(
        Text(Flat("text", "<office:text><text:p>Before<draw:frame" + draw +
                              "><draw:text-box><text:p>Box text</text:p><text:h>Box "
                              "head</text:h></draw:text-box></draw:frame>after</text:p>"
                              "<text:p>Picture<draw:frame" +
                              draw + "><draw:image/><svg:title" + svg +
                              ">Caption</svg:title><svg:desc" + svg +
                              ">Described</svg:desc></draw:frame>word</text:p>"
                              "<text:h>Heading</text:h><text:p>Plain <text:span>span</text:span> "
                              "paragraph</text:p></office:text>")),
        "Before\nBox text\nBox head\nafter\nPicture\nCaption\nDescribed\nword\n"
        "Heading\nPlain span paragraph\n");
}

TEST_F(DxFilterOdf, IndexesGiveTheirBodyNotTheirTemplates) {
    // A table of contents and an alphabetical index: the title and entries
    // of their bodies are text, the patterns they are made from are not.
    EXPECT_EQ(Text(Flat("text",
                        "<office:text><text:table-of-content><text:table-of-content-source>"
                        "<text:index-title-template>Contents</text:index-title-template>"
                        "<text:table-of-content-entry-template><text:index-entry-text/>"
                        "</text:table-of-content-entry-template></text:table-of-content-source>"
                        "<text:index-body><text:index-title><text:p>Contents</text:p>"
                        "</text:index-title><text:p>Introduction</text:p></text:index-body>"
                        "</text:table-of-content><text:p>Body.</text:p><text:alphabetical-index>"
                        "<text:alphabetical-index-source><text:index-title-template>Register"
                        "</text:index-title-template></text:alphabetical-index-source>"
                        "<text:index-body><text:p>Apfel</text:p></text:index-body>"
                        "</text:alphabetical-index></office:text>")),
              "Contents\nIntroduction\nBody.\nApfel\n");
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
    ExpectMutationsEndCleanly(fodt, 361);
}

const std::string kManifestNs = "urn:oasis:names:tc:opendocument:xmlns:manifest:1.0";

// A manifest whose root element binds `prefix` to the manifest namespace and
// holds `entries`; a root entry of `kind` is `Root(kind)`.
std::string Manifest(const std::string &entries, const std::string &prefix = "manifest") {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<" + prefix + ":manifest xmlns:" + prefix +
           "=\"" + kManifestNs + "\" " + prefix + ":version=\"1.3\">" + entries + "</" + prefix +
           ":manifest>";
}
std::string Root(const std::string &kind, const std::string &prefix = "manifest") {
    return "<" + prefix + ":file-entry " + prefix + ":full-path=\"/\" " + prefix +
           ":media-type=\"" + kMime + kind + "\"/>";
}
const std::string kContentEntry =
    "<manifest:file-entry manifest:full-path=\"content.xml\" manifest:media-type=\"text/xml\"/>";

// A package without a `mimetype` entry whose manifest is `manifest`.
std::string Unlabelled(const std::string &manifest, const std::string &body = "<office:text/>") {
    return StoredZip({{"content.xml", "<office:document-content xmlns:office=\"" + kOffice +
                                          "\" xmlns:text=\"urn:oasis:names:tc:opendocument:"
                                          "xmlns:text:1.0\"><office:body>" +
                                          body + "</office:body></office:document-content>"},
                      {"META-INF/manifest.xml", manifest}});
}

TEST_F(DxFilterOdf, PackagesWithoutMimetypeByTheirManifestRoot) {
    for (const char *kind : {"text", "text-template", "text-master", "text-web"})
        EXPECT_EQ(Format(Unlabelled(Manifest(Root(kind) + kContentEntry))), DX_FMT_ODT) << kind;
    EXPECT_EQ(Format(Unlabelled(Manifest(Root("spreadsheet")))), DX_FMT_ODS);
    EXPECT_EQ(Format(Unlabelled(Manifest(Root("presentation-template")))), DX_FMT_ODP);
    EXPECT_EQ(Format(Unlabelled(Manifest(Root("graphics")))), DX_FMT_ODG);
    // Any prefix, the root entry after the others, attributes in any order
    // and quotes, the Finder's entries beside.
    EXPECT_EQ(Format(Unlabelled(Manifest(Root("text", "m"), "m"))), DX_FMT_ODT);
    EXPECT_EQ(Format(Unlabelled(Manifest(kContentEntry + Root("spreadsheet")))), DX_FMT_ODS);
    EXPECT_EQ(Format(Unlabelled(Manifest("<manifest:file-entry manifest:media-type='" + kMime +
                                         "presentation' manifest:full-path='/'/>"))),
              DX_FMT_ODP);
    EXPECT_EQ(Format(StoredZip({{"content.xml", "<x/>"},
                                {"META-INF/manifest.xml", Manifest(Root("text"))},
                                {"__MACOSX/", ""},
                                {"__MACOSX/._content.xml", "x"}})),
              DX_FMT_ODT);
    // The package reads as the same package with its `mimetype` entry.
    EXPECT_EQ(Text(Sample("fr-manifest.odt")),
              "Le carnet de voyage\n"
              "Le train du matin traverse les vignes avant d'arriver au bord du lac.\n"
              "Nous avons dîné sur la terrasse en regardant les bateaux rentrer au port.\n");
    EXPECT_EQ(Text(Sample("ru-manifest.ods")), Text(Sample("ru.fods")));
    EXPECT_EQ(Text(Sample("de-manifest.odp")), Text(Sample("de.fodp")));
}

TEST_F(DxFilterOdf, ManifestsThatTellNoKindLeaveAnArchive) {
    // Kinds without text the filter reads, other media types, no root
    // entry, the root entry's attributes or element in no or another
    // namespace, another root element, the root entry one level down.
    for (const char *kind : {"chart", "image", "formula", "base", "Text", "text-x"})
        EXPECT_EQ(Format(Unlabelled(Manifest(Root(kind)))), DX_FMT_ZIP) << kind;
    const std::string lookAlikes[] = {
        Manifest(kContentEntry),
        Manifest("<manifest:file-entry manifest:full-path=\"/\" "
                 "manifest:media-type=\"application/epub+zip\"/>"),
        Manifest("<manifest:file-entry manifest:full-path=\"/\" "
                 "manifest:media-type=\"application/vnd.sun.xml.writer\"/>"),
        Manifest("<manifest:file-entry full-path=\"/\" media-type=\"" + kMime + "text\"/>"),
        "<manifest:manifest xmlns:manifest=\"urn:example\">" + Root("text") +
            "</manifest:manifest>",
        "<manifest xmlns=\"" + kManifestNs + "\"><file-entry full-path=\"/\" media-type=\"" +
            kMime + "text\"/></manifest>",
        "<manifest:inventory xmlns:manifest=\"" + kManifestNs + "\">" + Root("text") +
            "</manifest:inventory>",
        Manifest("<manifest:group>" + Root("text") + "</manifest:group>"),
        Manifest(Root("text") + "<manifest:file-entry>"),
        Manifest(Root("text")) + "<trailing/>",
        "",
    };
    for (const std::string &manifest : lookAlikes)
        EXPECT_EQ(Format(Unlabelled(manifest)), DX_FMT_ZIP) << manifest;
    // A `mimetype` entry decides whatever the manifest says; packages of
    // other kinds keep their answer.
    EXPECT_EQ(Format(StoredZip({{"mimetype", "application/x-other"},
                                {"META-INF/manifest.xml", Manifest(Root("text"))}})),
              DX_FMT_ZIP);
    EXPECT_EQ(Format(StoredZip({{"[Content_Types].xml", "<Types/>"},
                                {"word/document.xml", "<w:document/>"},
                                {"META-INF/manifest.xml", Manifest(Root("spreadsheet"))}})),
              DX_FMT_DOCX);
    EXPECT_EQ(Format(StoredZip(
                  {{"META-INF/MANIFEST.MF", "Manifest-Version: 1.0\n"}, {"Main.class", "x"}})),
              DX_FMT_ZIP);
    ExpectRefused(Sample("manifest-crc.odt"), "a damaged manifest");
}

TEST_F(DxFilterOdf, MutatedManifestsNeverBreakThePlugin) {
    ExpectMutationsEndCleanly(Sample("fr-manifest.odt"), 304);
    // A manifest cut anywhere never ends its root element: an archive.
    const std::string manifest = Manifest(Root("text") + kContentEntry);
    for (size_t n = 0; n < manifest.size(); n += 7)
        EXPECT_EQ(Format(Unlabelled(manifest.substr(0, n))), DX_FMT_ZIP) << n;
}

const std::string kPackageType = "application/oebps-package+xml";

// An EPUB container whose `rootfiles` element holds `rootfiles`; a rootfile
// is `Rootfile(path)`.
std::string Container(const std::string &rootfiles) {
    return "<?xml version=\"1.0\"?>\n<container version=\"1.0\" "
           "xmlns=\"urn:oasis:names:tc:opendocument:xmlns:container\"><rootfiles>" +
           rootfiles + "</rootfiles></container>";
}
std::string Rootfile(const std::string &path, const std::string &mediaType = kPackageType) {
    return "<rootfile full-path=\"" + path + "\" media-type=\"" + mediaType + "\"/>";
}

// An EPUB's folder zipped without its `mimetype` entry (when `mimetype` is
// empty), whose container is `container` and whose package document
// `OEBPS/book.opf` reads one chapter.
std::string EpubFolder(const std::string &container, const std::string &mimetype = "") {
    std::vector<std::pair<std::string, std::string>> members = {
        {"META-INF/container.xml", container},
        {"OEBPS/book.opf",
         "<package xmlns=\"http://www.idpf.org/2007/opf\"><manifest><item id=\"c\" "
         "href=\"chapter.xhtml\" media-type=\"application/xhtml+xml\"/></manifest><spine>"
         "<itemref idref=\"c\"/></spine></package>"},
        {"OEBPS/chapter.xhtml",
         "<html xmlns=\"http://www.w3.org/1999/xhtml\"><body><p>Am Ende des Sommers brachte "
         "der Nachbar uns Äpfel.</p></body></html>"}};
    if (!mimetype.empty()) members.insert(members.begin(), {"mimetype", mimetype});
    return StoredZip(members);
}

TEST_F(DxFilterOdf, EpubFoldersWithoutMimetypeByTheirContainer) {
    const std::string container = Container(Rootfile("OEBPS/book.opf"));
    EXPECT_EQ(Format(EpubFolder(container)), DX_FMT_EPUB);
    // The book reads as the same book with its `mimetype` entry.
    EXPECT_EQ(Text(EpubFolder(container)), "Am Ende des Sommers brachte der Nachbar uns Äpfel.\n");
    EXPECT_EQ(Text(EpubFolder(container)), Text(EpubFolder(container, "application/epub+zip")));
    // The book is the first package document the container names, after
    // another rendition too; a loose container's only rootfile is taken
    // whatever its type.
    EXPECT_EQ(Text(EpubFolder(
                  Container(Rootfile("book.pdf", "application/pdf") + Rootfile("OEBPS/book.opf")),
                  "application/epub+zip")),
              Text(EpubFolder(container)));
    EXPECT_EQ(
        Text(EpubFolder(Container(Rootfile("OEBPS/book.opf", "text/xml")), "application/epub+zip")),
        Text(EpubFolder(container)));
    // Any prefix; a first rootfile of the package beside others; an
    // OpenDocument manifest beside that names no kind of its own.
    EXPECT_EQ(Format(EpubFolder("<c:container xmlns:c=\"urn:oasis:names:tc:opendocument:xmlns:"
                                "container\"><c:rootfiles>" +
                                Rootfile("OEBPS/book.opf") + "</c:rootfiles></c:container>")),
              DX_FMT_EPUB);
    EXPECT_EQ(Format(EpubFolder(
                  Container(Rootfile("OEBPS/book.opf") + Rootfile("book.pdf", "application/pdf")))),
              DX_FMT_EPUB);
    EXPECT_EQ(Format(StoredZip({{"META-INF/container.xml", container},
                                {"META-INF/manifest.xml", Manifest(kContentEntry)}})),
              DX_FMT_EPUB);
    EXPECT_EQ(Text(Bytes("ebook/de-nomime.epub")).substr(0, 40),
              "Am Ende des Sommers brachte der Nachbar ");
}

TEST_F(DxFilterOdf, ContainersThatNameNoPackageLeaveAnArchive) {
    // No rootfile, a first rootfile of another media type or without a
    // path, a rootfile outside `rootfiles` or its attributes in a namespace,
    // another root element, a container that does not end or does not parse.
    const std::string lookAlikes[] = {
        Container(""),
        Container(Rootfile("book.pdf", "application/pdf")),
        Container(Rootfile("book.pdf", "application/pdf") + Rootfile("OEBPS/book.opf")),
        Container(Rootfile("OEBPS/book.opf", "application/oebps-package+xml; x")),
        Container(Rootfile("")),
        Container("<group>" + Rootfile("OEBPS/book.opf") + "</group>"),
        "<container><rootfile full-path=\"OEBPS/book.opf\" media-type=\"" + kPackageType +
            "\"/></container>",
        "<container xmlns:o=\"urn:example\"><rootfiles><rootfile o:full-path=\"OEBPS/book.opf\" "
        "o:media-type=\"" +
            kPackageType + "\"/></rootfiles></container>",
        "<package><rootfiles>" + Rootfile("OEBPS/book.opf") + "</rootfiles></package>",
        Container(Rootfile("OEBPS/book.opf") + "<rootfile>"),
        Container(Rootfile("OEBPS/book.opf")) + "<trailing/>",
        "",
    };
    for (const std::string &container : lookAlikes)
        EXPECT_EQ(Format(EpubFolder(container)), DX_FMT_ZIP) << container;
    // A container cut anywhere never ends its root element.
    const std::string container = Container(Rootfile("OEBPS/book.opf"));
    for (size_t n = 0; n < container.size(); n += 5)
        EXPECT_EQ(Format(EpubFolder(container.substr(0, n))), DX_FMT_ZIP) << n;
    // A `mimetype` entry decides whatever the container says; packages of
    // other kinds keep their answer.
    EXPECT_EQ(Format(EpubFolder(container, "application/x-other")), DX_FMT_ZIP);
    EXPECT_EQ(Format(StoredZip({{"[Content_Types].xml", "<Types/>"},
                                {"word/document.xml", "<w:document/>"},
                                {"META-INF/container.xml", container}})),
              DX_FMT_DOCX);
    EXPECT_EQ(Format(StoredZip({{"content.xml", "<x/>"},
                                {"META-INF/container.xml", container},
                                {"META-INF/manifest.xml", Manifest(Root("text"))}})),
              DX_FMT_ODT);
    ExpectRefused(Bytes("ebook/container-crc.epub"), "a damaged container");
    ExpectMutationsEndCleanly(Bytes("ebook/de-nomime.epub"), 307);
}

using Members = std::vector<std::pair<std::string, std::string>>;

// The members of a package zipped as its folder `top` would be: the
// folder's own entry first, every name inside it.
Members InFolder(const std::string &top, const Members &members) {
    Members out = {{top, ""}};
    for (const auto &[name, content] : members) out.emplace_back(top + name, content);
    return out;
}

// The members `a` followed by `b`.
Members Concat(Members a, const Members &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST_F(DxFilterOdf, PackagesZippedAsAFolderReadAsAtTheRoot) {
    const std::string body =
        "<office:document-content xmlns:office=\"" + kOffice +
        "\" xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\"><office:body>"
        "<office:text><text:p>Le chat dort sur le rebord de la fenêtre.</text:p></office:text>"
        "</office:body></office:document-content>";
    const Members odt = {{"mimetype", kMime + "text"}, {"content.xml", body}};
    const Members ods = {{"content.xml", body},
                         {"META-INF/manifest.xml", Manifest(Root("spreadsheet"))}};
    const std::string container = Container(Rootfile("OEBPS/book.opf"));
    // The chapter is named through the package's root, as a book may name it.
    const Members epub = {
        {"mimetype", "application/epub+zip"},
        {"META-INF/container.xml", container},
        {"OEBPS/book.opf",
         "<package xmlns=\"http://www.idpf.org/2007/opf\"><manifest><item id=\"c\" "
         "href=\"../OEBPS/chapter.xhtml\" media-type=\"application/xhtml+xml\"/></manifest>"
         "<spine><itemref idref=\"c\"/></spine></package>"},
        {"OEBPS/chapter.xhtml",
         "<html xmlns=\"http://www.w3.org/1999/xhtml\"><body><p>Am Ende des Sommers brachte "
         "der Nachbar uns Äpfel.</p></body></html>"}};
    const Members epubNoMime(epub.begin() + 1, epub.end());
    const Members finder = {
        {"__MACOSX/", ""}, {"__MACOSX/Book/._content.xml", "x"}, {"Book/.DS_Store", "x"}};
    struct Case {
        const Members &members;
        int format;
    } cases[] = {
        {odt, DX_FMT_ODT}, {ods, DX_FMT_ODS}, {epub, DX_FMT_EPUB}, {epubNoMime, DX_FMT_EPUB}};
    for (const Case &c : cases) {
        const std::string atRoot = StoredZip(c.members);
        ASSERT_EQ(Format(atRoot), c.format);
        const std::string text = Text(atRoot);
        ASSERT_NE(text, "");
        const Members named = InFolder("Mein Buch/", c.members);
        // Any folder name, with or without the folder's own entry, beside
        // the Finder's entries or not.
        for (const std::string &zip : {StoredZip(InFolder("Book/", c.members)),
                                       StoredZip(Members(named.begin() + 1, named.end())),
                                       StoredZip(Concat(InFolder("Book/", c.members), finder))}) {
            EXPECT_EQ(Format(zip), c.format) << c.format;
            EXPECT_EQ(Text(zip), text) << c.format;
        }
        // One level only, in one folder alone.
        for (const std::string &zip :
             {StoredZip(InFolder("Archive/", InFolder("Book/", c.members))),
              StoredZip(Concat(InFolder("Book/", c.members), {{"readme.txt", "x"}})),
              StoredZip(Concat(InFolder("Book/", c.members), {{"Other/readme.txt", "x"}})),
              StoredZip(Concat({{"Other/", ""}}, InFolder("Book/", c.members))),
              StoredZip(InFolder("./", c.members)), StoredZip(InFolder("/", c.members)),
              StoredZip(InFolder("__MACOSX/", c.members))})
            EXPECT_EQ(Format(zip), DX_FMT_ZIP) << c.format;
    }
    // In the folder the rules of the root hold: a `mimetype` entry decides
    // whatever the manifest or the container says.
    EXPECT_EQ(Format(StoredZip(
                  InFolder("Book/", Concat({{"mimetype", "application/x-other"}}, epubNoMime)))),
              DX_FMT_ZIP);
    EXPECT_EQ(Format(StoredZip(
                  InFolder("Book/", {{"mimetype", kMime + "chart"}, {"content.xml", body}}))),
              DX_FMT_ZIP);
    EXPECT_EQ(
        Format(StoredZip(InFolder(
            "Book/", {{"content.xml", body}, {"META-INF/manifest.xml", Manifest(kContentEntry)}}))),
        DX_FMT_ZIP);
    // The fixtures: a German book with its `mimetype`, a French one beside
    // the Finder's entries, a French text document, a Russian spreadsheet
    // without `mimetype` beside the Finder's entries; and their look-alikes.
    EXPECT_EQ(Text(Bytes("ebook/de-folder.zip")), Text(Bytes("ebook/de-nomime.epub")));
    EXPECT_EQ(Text(Bytes("ebook/fr-folder-finder.zip")), Text(Bytes("ebook/fr-nomime.epub")));
    EXPECT_EQ(Text(Sample("fr-folder.zip")), Text(Sample("fr-manifest.odt")));
    EXPECT_EQ(Text(Sample("ru-folder-finder.zip")), Text(Sample("ru-manifest.ods")));
    ExpectMutationsEndCleanly(Bytes("ebook/de-folder.zip"), 3070);
}

}  // namespace
