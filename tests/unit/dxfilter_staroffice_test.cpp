// OpenOffice.org 1.x and StarOffice 6 and 7 documents through the filter
// plug-in (dxfilter_office.so): told by their `mimetype` entry or, without
// one, by a manifest of the 2001 manifest namespace, at the root or zipped
// as a folder, and read as the OpenDocument kind that succeeded them; the
// older element names mean what their successors do. The fixtures come from
// scripts/make_staroffice_fixtures.py.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "doctype/dx_abi.h"
#include "dxfilter_test_support.h"
#include "dxfilter_zip_writer.h"

namespace {

using namespace dxfilter_test;
using dxfilter_zip::StoredZip;
using Members = std::vector<std::pair<std::string, std::string>>;

const std::string kMime = "application/vnd.sun.xml.";
const std::string kManifestNs = "http://openoffice.org/2001/manifest";

// The names of one package family, in a body written with `{office}`,
// `{text}` … for the namespaces and `{tab}`, `{note}` … for the elements
// whose names changed.
struct Family {
    std::map<std::string, std::string> names;
};
const Family kStarOffice = {{
    {"{office}", "http://openoffice.org/2000/office"},
    {"{text}", "http://openoffice.org/2000/text"},
    {"{table}", "http://openoffice.org/2000/table"},
    {"{draw}", "http://openoffice.org/2000/drawing"},
    {"{presentation}", "http://openoffice.org/2000/presentation"},
    {"{tab}", "text:tab-stop"},
    {"{note}", "text:footnote"},
    {"{citation}", "text:footnote-citation"},
    {"{note-body}", "text:footnote-body"},
    {"{endnote}", "text:endnote"},
    {"{endnote-citation}", "text:endnote-citation"},
    {"{endnote-body}", "text:endnote-body"},
    {"{value-type}", "table:value-type"},
}};
const Family kOpenDocument = {{
    {"{office}", "urn:oasis:names:tc:opendocument:xmlns:office:1.0"},
    {"{text}", "urn:oasis:names:tc:opendocument:xmlns:text:1.0"},
    {"{table}", "urn:oasis:names:tc:opendocument:xmlns:table:1.0"},
    {"{draw}", "urn:oasis:names:tc:opendocument:xmlns:drawing:1.0"},
    {"{presentation}", "urn:oasis:names:tc:opendocument:xmlns:presentation:1.0"},
    {"{tab}", "text:tab"},
    {"{note}", "text:note"},
    {"{citation}", "text:note-citation"},
    {"{note-body}", "text:note-body"},
    {"{endnote}", "text:note"},
    {"{endnote-citation}", "text:note-citation"},
    {"{endnote-body}", "text:note-body"},
    {"{value-type}", "office:value-type"},
}};

std::string Spelled(std::string text, const Family &family) {
    for (const auto &[key, name] : family.names)
        for (size_t at; (at = text.find(key)) != std::string::npos;)
            text.replace(at, key.size(), name);
    return text;
}

// `content.xml` of `family` whose body is `body`.
std::string Content(const std::string &body, const Family &family) {
    return Spelled(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<office:document-content "
        "xmlns:office=\"{office}\" xmlns:text=\"{text}\" xmlns:table=\"{table}\" "
        "xmlns:draw=\"{draw}\" xmlns:presentation=\"{presentation}\"><office:body>" +
            body + "</office:body></office:document-content>",
        family);
}

// An OpenOffice.org 1.x manifest holding `entries`, with its document type
// declaration when `doctype`.
std::string Manifest(const std::string &entries, bool doctype = true,
                     const std::string &prefix = "manifest") {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" +
           std::string(doctype ? "<!DOCTYPE manifest:manifest PUBLIC \"-//OpenOffice.org//DTD "
                                 "Manifest 1.0//EN\" \"Manifest.dtd\">\n"
                               : "") +
           "<" + prefix + ":manifest xmlns:" + prefix + "=\"" + kManifestNs + "\">" + entries +
           "</" + prefix + ":manifest>";
}
std::string Root(const std::string &mediaType, const std::string &prefix = "manifest") {
    return "<" + prefix + ":file-entry " + prefix + ":media-type=\"" + mediaType + "\" " + prefix +
           ":full-path=\"/\"/>";
}

class DxFilterStarOffice : public OleReaderTest {
  protected:
    DxFilterStarOffice() : OleReaderTest("d.sxw") {}
    static std::string Sample(const std::string &name) { return Bytes("staroffice/" + name); }
    int Format(const std::string &bytes) { return plugin->Format(Temp("f.sxw", bytes)); }
    // A package of `mimetype` (none when empty) whose body is `body`.
    static std::string Package(const std::string &mimetype, const std::string &body,
                               const Family &family = kStarOffice) {
        Members members = {{"content.xml", Content(body, family)}};
        if (!mimetype.empty()) members.insert(members.begin(), {"mimetype", mimetype});
        return StoredZip(members);
    }
};

TEST_F(DxFilterStarOffice, EveryKindByItsMimetypeAsItsSuccessor) {
    // One kind of each format, plain, global or template, rather than the
    // reader's whole table again.
    const std::pair<const char *, int> kinds[] = {
        {"writer.global", DX_FMT_ODT},
        {"calc", DX_FMT_ODS},
        {"impress.template", DX_FMT_ODP},
        {"draw", DX_FMT_ODG},
    };
    for (const auto &[kind, format] : kinds) {
        EXPECT_EQ(Format(Package(kMime + kind, "")), format) << kind;
        // Compressed and not the first entry: the archive's entries decide.
        EXPECT_EQ(Format(StoredZip({{"content.xml", Content("", kStarOffice)},
                                    {"mimetype", kMime + kind + "\n"}})),
                  format)
            << kind;
    }
    // Formulas, charts, web pages and names that only look like the kinds
    // stay archives.
    for (const char *kind : {"math", "chart", "writer.web", "Writer", "writer.", "calc-template",
                             "draw.template.x", " impress"})
        EXPECT_EQ(Format(Package(kMime + kind, "")), DX_FMT_ZIP) << kind;
    EXPECT_EQ(Format(Package("application/vnd.sun.xml", "")), DX_FMT_ZIP);
    ExpectRefused(Sample("formula.sxm"), "a formula");
    // A flat OpenDocument file that names a kind of the older family is XML.
    EXPECT_EQ(Format("<office:document xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:"
                     "office:1.0\" office:mimetype=\"" +
                     kMime + "writer\"><office:body/></office:document>"),
              DX_FMT_XML);
}

TEST_F(DxFilterStarOffice, OlderNamesReadAsTheirSuccessors) {
    // Each body, spelled in either family, gives the same text.
    const std::string bodies[] = {
        "<text:p>Name:<{tab}/>Wert<text:s text:c=\"4\"/>zwei<text:line-break/>drei</text:p>",
        "<text:p>Vor der Note<{note} text:id=\"n1\"><{citation}>1</{citation}><{note-body}>"
        "<text:p>Die Note selbst.</text:p></{note-body}></{note}> und danach.</text:p>",
        "<text:p>Ende<{endnote} text:id=\"e1\"><{endnote-citation}>i</{endnote-citation}>"
        "<{endnote-body}><text:p>Die Endnote.</text:p></{endnote-body}></{endnote}></text:p>",
        "<text:p>Text<office:annotation><text:p>Ein Kommentar.</text:p></office:annotation> "
        "weiter</text:p><text:tracked-changes><text:changed-region><text:deletion><text:p>"
        "Gestrichen.</text:p></text:deletion></text:changed-region></text:tracked-changes>",
        "<table:table><table:table-row><table:table-cell {value-type}=\"string\"><text:p>Bohnen"
        "</text:p></table:table-cell><table:table-cell {value-type}=\"float\"><text:p>42</text:p>"
        "</table:table-cell><table:table-cell {value-type}=\"date\"><text:p>1.12.04</text:p>"
        "</table:table-cell><table:covered-table-cell/></table:table-row></table:table>",
        "<draw:page><draw:text-box><text:p>Folie eins</text:p></draw:text-box>"
        "<presentation:notes><draw:text-box><text:p>Notizen</text:p></draw:text-box>"
        "</presentation:notes></draw:page><draw:page><draw:rect><text:p>Folie zwei</text:p>"
        "</draw:rect></draw:page>",
    };
    for (const std::string &body : bodies) {
        const std::string text = Text(Package(kMime + "writer", body));
        EXPECT_EQ(text,
                  Text(Package("application/vnd.oasis.opendocument.text", body, kOpenDocument)))
            << body;
        EXPECT_NE(text, "") << body;
    }
    EXPECT_EQ(Text(Package(kMime + "writer", bodies[0])), "Name: Wert zwei\ndrei\n");
    EXPECT_EQ(Text(Package(kMime + "writer", bodies[1])),
              "Vor der Note\nDie Note selbst.\nund danach.\n");
    // The older names count in their own namespace only: an OpenDocument
    // element of that name is no tab and no note mark.
    const std::string odfOnly =
        "<text:p>a<text:tab-stop/>b<text:footnote-citation>1</text:footnote-citation></text:p>";
    EXPECT_EQ(Text(Package("application/vnd.oasis.opendocument.text", odfOnly, kOpenDocument)),
              "ab1\n");
    EXPECT_EQ(Text(Package(kMime + "writer", odfOnly)), "a b\n");
}

TEST_F(DxFilterStarOffice, SamplesGiveTheirBodyOnly) {
    // Styles (a page header and footer) and metadata (a title) add nothing;
    // comments, deleted changes, note marks and numbers are left out; a
    // note's text follows on a line of its own where its mark stands, as in an
    // OpenDocument package.
    EXPECT_EQ(Text(Sample("de.sxw")),
              "Bericht über den Gemeindegarten\n"
              "Ort: Lindenstraße 12\n"
              "Im Frühjahr haben die Nachbarn neue Beete am Rand des Spielplatzes angelegt.\n"
              "Die Stadt stellt das Wasser.\n"
              "Die Kinder gießen jeden Abend die Bohnen und zählen die ersten Blüten.\n"
              "Bohnen\n"
              "Treffpunkt am Gartentor\n"
              "Im Herbst wollen wir die Ernte gemeinsam auf dem Marktplatz verteilen.\n"
              "Samen gibt es im Rathaus.\n");
    // Prefixes of any name.
    const std::string letter =
        "Lettre aux habitants du quartier\n"
        "La bibliothèque municipale ouvrira ses portes le samedi matin dès neuf heures.\n"
        "Les enfants pourront emprunter trois livres et participer à l'atelier de\n"
        "dessin.\n"
        "Merci de rapporter les ouvrages prêtés avant la fin du mois.\n";
    EXPECT_EQ(Text(Sample("fr.stw")), letter);
    // Two sheets; a comment, numbers and a date left out.
    EXPECT_EQ(Text(Sample("es.sxc")),
              "Cuentas de la cooperativa\n"
              "La cosecha de aceitunas fue mejor que la del año pasado gracias a las lluvias.\n"
              "Los socios decidieron comprar una prensa nueva para el molino del pueblo.\n"
              "El aceite se venderá en la feria regional durante el mes de diciembre.\n");
    // Slides with their speaker notes, pages of a drawing.
    const std::string slides = Text(Sample("ru.sxi"));
    EXPECT_NE(slides.find("Возьмите с собой тёплую куртку"), std::string::npos) << slides;
    EXPECT_NE(slides.find("мельницу на берегу.\n"), std::string::npos) << slides;
    EXPECT_EQ(Text(Sample("en.sxd")),
              "The village bakery\n"
              "The baker lights the oven long before the sun rises over the hills.\n"
              "By seven o'clock the shelves are full of warm bread and sweet rolls.\n"
              "Children stop at the window on their way to school to watch the dough.\n");
    for (const char *name : {"de.sxw", "fr.stw", "es.sxc", "ru.sxi", "en.sxd"}) {
        const std::string text = Text(Sample(name));
        for (const char *outside :
             {"Kopfzeile", "Fußzeile", "En-tête", "Pied de", "Metadaten", "Modèle",
              "make_staroffice", "Thorndale", "prüfen", "Revisar", "gestrichen", "42", "2004"})
            EXPECT_EQ(text.find(outside), std::string::npos) << name << ": " << outside;
    }
    // Without `mimetype`, and zipped as a folder: the same text.
    EXPECT_EQ(Text(Sample("fr-manifest.sxw")), letter);
    EXPECT_EQ(Text(Sample("de-folder.zip")), Text(Sample("de.sxw")));
}

TEST_F(DxFilterStarOffice, PackagesWithoutMimetypeByTheirManifest) {
    auto unlabelled = [](const std::string &manifest) {
        return StoredZip({{"content.xml", Content("<text:p>Le chat dort.</text:p>", kStarOffice)},
                          {"META-INF/manifest.xml", manifest}});
    };
    const std::string content =
        "<manifest:file-entry manifest:media-type=\"text/xml\" "
        "manifest:full-path=\"content.xml\"/>";
    EXPECT_EQ(Format(unlabelled(Manifest(Root(kMime + "writer") + content))), DX_FMT_ODT);
    EXPECT_EQ(Format(unlabelled(Manifest(content + Root(kMime + "writer.global")))), DX_FMT_ODT);
    EXPECT_EQ(Format(unlabelled(Manifest(Root(kMime + "calc.template"), false))), DX_FMT_ODS);
    EXPECT_EQ(Format(unlabelled(Manifest(Root(kMime + "impress", "m"), true, "m"))), DX_FMT_ODP);
    EXPECT_EQ(Format(unlabelled(Manifest(Root(kMime + "draw")))), DX_FMT_ODG);
    EXPECT_EQ(Text(unlabelled(Manifest(Root(kMime + "writer")))), "Le chat dort.\n");
    // Each family's manifest names its own kinds only; a kind without text
    // the filter reads, no root entry, a root entry in no namespace, a
    // manifest cut or trailed by another element: an archive.
    const std::string lookAlikes[] = {
        Manifest(Root("application/vnd.oasis.opendocument.text")),
        Manifest(Root(kMime + "math")),
        Manifest(Root("application/epub+zip")),
        Manifest(content),
        Manifest("<manifest:file-entry media-type=\"" + kMime + "writer\" full-path=\"/\"/>"),
        "<manifest:manifest "
        "xmlns:manifest=\"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0\">" +
            Root(kMime + "writer") + "</manifest:manifest>",
        Manifest(Root(kMime + "writer")).substr(0, 200),
        Manifest(Root(kMime + "writer")) + "<trailing/>",
    };
    for (const std::string &manifest : lookAlikes)
        EXPECT_EQ(Format(unlabelled(manifest)), DX_FMT_ZIP) << manifest;
    // A manifest cut anywhere never ends its root element.
    const std::string manifest = Manifest(Root(kMime + "writer") + content);
    for (size_t n = 0; n < manifest.size(); n += 11)
        EXPECT_EQ(Format(unlabelled(manifest.substr(0, n))), DX_FMT_ZIP) << n;
}

TEST_F(DxFilterStarOffice, PackagesZippedAsAFolderReadAsAtTheRoot) {
    const std::string body = "<text:p>Le chat dort sur le rebord de la fenêtre.</text:p>";
    const Members withMimetype = {{"mimetype", kMime + "calc"},
                                  {"content.xml", Content(body, kStarOffice)}};
    const Members withManifest = {{"content.xml", Content(body, kStarOffice)},
                                  {"META-INF/manifest.xml", Manifest(Root(kMime + "impress"))}};
    for (const auto &[members, format] :
         {std::pair{withMimetype, DX_FMT_ODS}, std::pair{withManifest, DX_FMT_ODP}}) {
        Members folder = {{"Dossier/", ""}};
        for (const auto &[name, data] : members) folder.emplace_back("Dossier/" + name, data);
        EXPECT_EQ(Format(StoredZip(folder)), format);
        EXPECT_EQ(Text(StoredZip(folder)), Text(StoredZip(members)));
        folder.emplace_back("readme.txt", "x");  // a file beside the folder
        EXPECT_EQ(Format(StoredZip(folder)), DX_FMT_ZIP);
    }
}

TEST_F(DxFilterStarOffice, DamagedAndUnboundedPackagesEndAsOpenDocumentOnesDo) {
    // Cut, or its content's bytes overwritten: the text is refused.
    for (const char *name : {"bad/de-cut.sxw", "bad/de-crc.sxw"}) ExpectRefused(Sample(name), name);
    // A size past any bound in its directory: the content reads as it inflates.
    EXPECT_EQ(Text(Sample("bad/huge.sxw")), Text(Sample("de.sxw")));
    // A paragraph longer than the bound of one member ends the text there.
    EXPECT_EQ(Text(Sample("bad/spaces.sxw")),
              "The village bakery\n"
              "The baker lights the oven long before the sun rises over the hills.\n");
    // Deeply nested spans are read as any spans.
    const std::string nested = Text(Sample("bad/nested.sxw"));
    EXPECT_NE(nested.find("\nBy seven o'clock"), std::string::npos) << nested;
    // Cuts and overwritten bytes of packages with every entry stored, as the
    // fuzz target's seeds have them: every document is opened and closed
    // once, and its format told alike from its head and its file.
    Mutator mutate(1);
    for (const char *name : {"stored/de.sxw", "stored/fr-manifest.sxw", "stored/ru.sxi"}) {
        const std::string doc = Sample(name);
        ASSERT_FALSE(doc.empty()) << name;
        ExpectDamageBounded(mutate, doc, {.rounds = 60, .most = 7, .cutEvery = 3}, kTextCap, name);
        for (int i = 0; i < 60; ++i)
            plugin->Format(Temp("m.sxw", mutate.Overwrite(doc, 1 + i % 5)));
    }
}

}  // namespace
