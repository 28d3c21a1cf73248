// XPS and OpenXPS documents through the filter plug-in (dxfilter_office.so):
// the format rules of the zip directory scan, the text of the fixtures
// (scripts/make_xps_fixtures.py) in document order with its lines, the
// escapes of glyph runs' text, interleaved parts, documents without text,
// bounds, and damaged, cut and mutated packages.
#include <gtest/gtest.h>

#include <cstdint>
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

const std::string kTypes =
    "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"/>";
const std::string kXpsType = "http://schemas.microsoft.com/xps/2005/06/fixedrepresentation";

std::string Rels(const std::string &type, const std::string &target) {
    return "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/"
           "relationships\"><Relationship Id=\"R1\" Type=\"" +
           type + "\" Target=\"" + target + "\"/></Relationships>";
}

std::string Sequence(const std::string &document) {
    return "<FixedDocumentSequence><DocumentReference Source=\"" + document +
           "\"/></FixedDocumentSequence>";
}

std::string Document(const std::vector<std::string> &pages) {
    std::string refs;
    for (const auto &p : pages) refs += "<PageContent Source=\"" + p + "\"/>";
    return "<FixedDocument>" + refs + "</FixedDocument>";
}

std::string Glyphs(const std::string &text, const std::string &y) {
    return "<Glyphs OriginX=\"10\" OriginY=\"" + y + "\" UnicodeString=\"" + text + "\"/>";
}

std::string Page(const std::string &body) {
    return "<FixedPage xmlns=\"http://schemas.microsoft.com/xps/2005/06\">" + body + "</FixedPage>";
}

// A stored package of the usual layout whose one document holds `pages`.
std::string Package(const std::vector<std::string> &pages) {
    Members members = {{"[Content_Types].xml", kTypes},
                       {"_rels/.rels", Rels(kXpsType, "/FixedDocumentSequence.fdseq")},
                       {"FixedDocumentSequence.fdseq", Sequence("Documents/1/FixedDocument.fdoc")}};
    std::vector<std::string> names;
    for (size_t i = 0; i < pages.size(); ++i)
        names.push_back("Pages/" + std::to_string(i + 1) + ".fpage");
    members.push_back({"Documents/1/FixedDocument.fdoc", Document(names)});
    for (size_t i = 0; i < pages.size(); ++i)
        members.push_back({"Documents/1/" + names[i], pages[i]});
    return StoredZip(members);
}

class DxFilterXps : public OleReaderTest {
  protected:
    DxFilterXps() : OleReaderTest("d.xps") {}
    static std::string Sample(const std::string &name) { return Bytes("xps/" + name); }
    int Format(const std::string &bytes) { return plugin->Format(Temp("f.xps", bytes)); }
};

TEST_F(DxFilterXps, RootRelationshipsOrTheLayoutTellThePackage) {
    const std::string page = Page(Glyphs("harbour", "10"));
    // Stored root relationships decide, whatever the parts are called.
    EXPECT_EQ(Format(StoredZip({{"[Content_Types].xml", kTypes},
                                {"_rels/.rels", Rels(kXpsType, "seq.xml")},
                                {"seq.xml", Sequence("doc.xml")},
                                {"doc.xml", Document({"p.xml"})},
                                {"p.xml", page}})),
              DX_FMT_XPS);
    EXPECT_EQ(Format(StoredZip(
                  {{"[Content_Types].xml", kTypes},
                   {"_rels/.rels",
                    Rels("http://schemas.openxps.org/oxps/v1.0/fixedrepresentation", "/s.fdseq")},
                   {"s.fdseq", Sequence("d.fdoc")}})),
              DX_FMT_XPS);
    // ... also against the layout: a package whose root is something else.
    EXPECT_EQ(Format(StoredZip({{"[Content_Types].xml", kTypes},
                                {"_rels/.rels", Rels("http://example.org/thumbnail", "/t.png")},
                                {"FixedDocumentSequence.fdseq", Sequence("d.fdoc")}})),
              DX_FMT_ZIP);
    // Without root relationships the layout decides: content types and a
    // sequence, or the first document where it usually lies, in any case.
    EXPECT_EQ(Format(StoredZip({{"[Content_Types].xml", kTypes}, {"A.FDSEQ", Sequence("d")}})),
              DX_FMT_XPS);
    EXPECT_EQ(Format(StoredZip({{"[content_types].xml", kTypes},
                                {"documents/1/fixeddocument.FDOC", Document({"p"})}})),
              DX_FMT_XPS);
    EXPECT_EQ(Format(StoredZip({{"[Content_Types].xml/[0].last.piece", kTypes},
                                {"FixedDocumentSequence.fdseq/[0].piece", "<"}})),
              DX_FMT_XPS);
    EXPECT_EQ(Format(StoredZip({{"FixedDocumentSequence.fdseq", Sequence("d")}})), DX_FMT_ZIP);
    EXPECT_EQ(Format(StoredZip({{"[Content_Types].xml", kTypes}, {".fdseq", ""}})), DX_FMT_ZIP);
    // A word processor package that also holds a sequence stays one.
    EXPECT_EQ(Format(StoredZip({{"[Content_Types].xml", kTypes},
                                {"word/document.xml", "<w:document/>"},
                                {"FixedDocumentSequence.fdseq", Sequence("d")}})),
              DX_FMT_DOCX);
}

TEST_F(DxFilterXps, GlyphRunsComeInPageOrderALineABaseline) {
    // Page 1 draws the title, then a line in two runs on one baseline and
    // the next line, inside nested canvases beside resources and figures;
    // page 2 the second paragraph.
    EXPECT_EQ(Text(Sample("en.xps")),
              "The lighthouse keeper\n"
              "Every evening the old keeper climbs the narrow stairs\n"
              "and lights the lamp above the rocks.\n"
              "From the window he counts the fishing boats that hurry\n"
              "home before the storm reaches the harbour.\n");
    // Baselines compare as numbers; a run without one starts a line.
    EXPECT_EQ(Text(Package({Page(Glyphs("one ", "100") + Glyphs("two", "100.0") +
                                 Glyphs("three", "+1e2") + Glyphs("four", "120") +
                                 "<Glyphs UnicodeString=\"five\"/><Glyphs UnicodeString=\"six\"/>"),
                            Page(Glyphs("seven", "100"))})),
              "one twothree\nfour\nfive\nsix\nseven\n");
}

TEST_F(DxFilterXps, PagesFollowTheDocumentNotTheArchive) {
    // ru.xps holds its pages as 3, 1, 2 and names them in other cases,
    // percent-escaped, relative and absolute.
    const std::string ru = Text(Sample("ru.xps"));
    const size_t title = ru.find("Зимняя дорога"), first = ru.find("Зимой почтальон"),
                 second = ru.find("Вечером он"), third = ru.find("Утром снова");
    EXPECT_EQ(title, 0u) << ru;
    EXPECT_TRUE(title < first && first < second && second < third && third != std::string::npos)
        << ru;
    // Documents follow their sequence.
    const std::string two = Text(Sample("two-docs.xps"));
    EXPECT_TRUE(two.starts_with("Die Bäckerei am Markt\n")) << two;
    EXPECT_NE(two.find("abkühlen.\nThe lighthouse keeper\n"), std::string::npos) << two;
    // OpenXPS, stored relationships, a script without spaces.
    EXPECT_TRUE(Text(Sample("de.oxps")).starts_with("Die Bäckerei am Markt\nJeden Morgen"));
    EXPECT_TRUE(Text(Sample("ja.oxps")).starts_with("山の小さな駅\n毎朝、駅長さんは"));
}

TEST_F(DxFilterXps, BracesAreEscapedAndMarkupExtensionsAreNoText) {
    EXPECT_EQ(Text(Sample("fr.xps")),
              "{Le marché du samedi}\n"
              "Chaque samedi, la fromagère installe sa table sous les\n"
              "platanes et salue les habitants du quartier.\n"
              "Les enfants goûtent les pommes du verger voisin pendant\n"
              "que leurs parents choisissent le pain.\n");
    // The escape is read after the XML's own references; "{}" alone is empty.
    EXPECT_EQ(Text(Package({Page(Glyphs("&#123;}{a}", "1") + Glyphs("{}", "2") +
                                 Glyphs("{Binding b}", "3") + Glyphs("c{}", "4"))})),
              "{a}\nc{}\n");
}

TEST_F(DxFilterXps, InterleavedPartsAreJoinedInPieceOrder) {
    const std::string es = Text(Sample("es.xps"));
    EXPECT_TRUE(es.starts_with("La biblioteca del barrio\nCada tarde la bibliotecaria")) << es;
    EXPECT_TRUE(es.ends_with("leer cuentos de piratas y de montañas lejanas.\n")) << es;
    // A part whose pieces have a gap, or no last piece, is missing: here the
    // first page, so the document is refused.
    const std::string page = Page(Glyphs("harbour lights", "1"));
    auto pieces = [&](const std::vector<std::string> &names) {
        Members members = {
            {"[Content_Types].xml", kTypes},
            {"FixedDocumentSequence.fdseq", Sequence("Documents/1/FixedDocument.fdoc")},
            {"Documents/1/FixedDocument.fdoc", Document({"Pages/1.fpage"})}};
        for (size_t i = 0, n = names.size(); i < n; ++i) {
            const size_t from = i * page.size() / n, to = (i + 1) * page.size() / n;
            members.push_back(
                {"Documents/1/Pages/1.fpage/" + names[i], page.substr(from, to - from)});
        }
        return StoredZip(members);
    };
    EXPECT_EQ(Text(pieces({"[0].piece", "[1].piece", "[2].last.piece"})).substr(0, 14),
              "harbour lights");
    ExpectRefused(pieces({"[0].piece", "[2].last.piece"}), "a gap");
    ExpectRefused(pieces({"[0].piece", "[1].piece"}), "no last piece");
    ExpectRefused(pieces({"[0].last.piece", "[1].last.piece"}), "a last piece before the end");
}

TEST_F(DxFilterXps, PagesWithoutGlyphTextAreEmptyDocuments) {
    for (const char *name : {"notext.xps", "notext-gs.xps"}) {
        Extraction r = Run(Sample(name));
        EXPECT_TRUE(r.opened && r.openText == 0 && r.readError == 0) << name;
        EXPECT_TRUE(r.text.empty()) << name << ": " << r.utf8();
    }
}

TEST_F(DxFilterXps, DamagedAndCutPackagesFailCleanly) {
    ExpectRefused(Sample("damaged.xps"), "first page damaged");
    ExpectRefused(Sample("truncated.xps"), "cut");
    ExpectRefused(Package({}), "no pages");
    ExpectRefused(StoredZip({{"[Content_Types].xml", kTypes},
                             {"FixedDocumentSequence.fdseq", "<FixedDocumentSequence/>"}}),
                  "no documents");
    // A later page that cannot be inflated, or is missing, ends the text.
    Extraction later = Run(Sample("damaged-page2.xps"));
    EXPECT_TRUE(later.opened && later.openText == 0 && later.readError == 0);
    EXPECT_EQ(later.utf8(),
              "The lighthouse keeper\n"
              "Every evening the old keeper climbs the narrow stairs\n"
              "and lights the lamp above the rocks.\n");
    std::string missing = Package(
        {Page(Glyphs("first", "1")), Page(Glyphs("second", "1")), Page(Glyphs("third", "1"))});
    const size_t at = missing.rfind("Pages/2.fpage");
    missing[at + 6] = '9';  // the entry in the directory now names page 9
    EXPECT_EQ(Text(missing), "first\n");
    // Every cut of a package is bounded and balanced.
    ExpectCutsBounded(Sample("en.xps"), 37, 300);
}

TEST_F(DxFilterXps, LongPagesAndManyPagesStopAtTheirBounds) {
    Extraction r = Run(Sample("long.xps"));
    ExpectFilledToTheCap(r);
    // 5,000 references to one page: the first 4,096 are read.
    const std::string many = Text(Sample("many.xps"));
    size_t lines = 0;
    for (size_t at = many.find("lantern\n"); at != std::string::npos;
         at = many.find("lantern\n", at + 1))
        ++lines;
    EXPECT_EQ(lines, 4096u);
    EXPECT_EQ(many.size(), 4096u * 8);
}

TEST_F(DxFilterXps, MutatedPackagesNeverBreakThePlugin) {
    Mutator mutator(5150);
    const std::string stored = Package({Page(Glyphs("The keeper climbs", "1") +
                                             "<Canvas><Glyphs OriginY=\"2\" UnicodeString=\"the "
                                             "stairs\"/></Canvas>"),
                                        Page(Glyphs("{}{every} evening", "1"))});
    for (const std::string &bytes : {Sample("en.xps"), Sample("es.xps"), stored})
        ExpectDamageBounded(mutator, bytes, {.rounds = 60, .most = 8}, 1024);
}

}  // namespace
