// Office's single-file XML documents through the filter plug-in
// (dxfilter_office.so): flat packages (`pkg:package`, read as the DOCX, PPTX
// or XLSX package they hold), Word 2003 XML documents and Excel 2003 XML
// workbooks, told from other XML by their root's start tag; the text of the
// fixtures (scripts/make_msxml_fixtures.py), near misses that stay XML, and
// damaged and mutated files.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "doctype/dx_abi.h"
#include "dxfilter_test_support.h"

namespace {

using namespace dxfilter_test;

const std::string kPkg = "http://schemas.microsoft.com/office/2006/xmlPackage";
const std::string kW = "http://schemas.microsoft.com/office/word/2003/wordml";
const std::string kSs = "urn:schemas-microsoft-com:office:spreadsheet";
const std::string kDocMain =
    "application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml";
const std::string kWordNs = "http://schemas.openxmlformats.org/wordprocessingml/2006/main";

// A flat package of `parts` (name, content type, markup; a markup that
// starts with '=' is base64 data).
std::string Package(const std::vector<std::array<std::string, 3>> &parts,
                    const std::string &prolog = "<?xml version=\"1.0\"?>\n") {
    std::string out = prolog + "<pkg:package xmlns:pkg=\"" + kPkg + "\">";
    for (const auto &[name, type, body] : parts) {
        out += "<pkg:part pkg:name=\"" + name + "\" pkg:contentType=\"" + type + "\">";
        out += body.starts_with('=') ? "<pkg:binaryData>" + body.substr(1) + "</pkg:binaryData>"
                                     : "<pkg:xmlData>" + body + "</pkg:xmlData>";
        out += "</pkg:part>";
    }
    return out + "</pkg:package>\n";
}

std::string WordPart(const std::string &paragraphs) {
    return "<w:document xmlns:w=\"" + kWordNs + "\"><w:body>" + paragraphs +
           "</w:body></w:document>";
}
std::string P(const std::string &text) {
    return "<w:p><w:r><w:t>" + text + "</w:t></w:r></w:p>";
}

// A Word 2003 XML document whose body is `body`.
std::string Wordml(const std::string &body, const std::string &outside = "") {
    return "<?xml version=\"1.0\"?>\n<w:wordDocument xmlns:w=\"" + kW +
           "\" xmlns:aml=\"http://schemas.microsoft.com/aml/2001/core\">" + outside + "<w:body>" +
           body + "</w:body></w:wordDocument>\n";
}

// An Excel 2003 XML workbook whose first sheet's rows are `rows`.
std::string Workbook(const std::string &rows) {
    return "<?xml version=\"1.0\"?>\n<Workbook xmlns=\"" + kSs + "\" xmlns:ss=\"" + kSs +
           "\"><Worksheet ss:Name=\"A\"><Table>" + rows + "</Table></Worksheet></Workbook>\n";
}

std::string Utf16(const std::string &ascii) {
    std::string out = "\xFF\xFE";
    for (char c : ascii) out += {c, '\0'};
    return out;
}

class DxFilterMsXml : public OleReaderTest {
  protected:
    DxFilterMsXml() : OleReaderTest("d.xml") {}
    static std::string Sample(const std::string &name) { return Bytes("msxml/" + name); }
    int Format(const std::string &bytes) { return plugin->Format(Temp("f.xml", bytes)); }
};

TEST_F(DxFilterMsXml, WordXmlGivesItsBodyWithNotesAndTextBoxesWhereTheyStand) {
    EXPECT_EQ(Format(Sample("de-letter.xml")), DX_FMT_WORDML);
    // The picture's base64 data, the properties, fonts, styles and lists,
    // the field code, the deletion, the comment and the page header are
    // left out; the footnote and the text box come where they stand.
    EXPECT_EQ(Text(Sample("de-letter.xml")),
              "Hamburg, den 3. März 2007\n"
              "Sehr geehrte Damen und Herren,\n"
              "vielen Dank für Ihre freundliche Anfrage vom letzten Monat. Gerne unterbreiten\n"
              "wir Ihnen heute unser Angebot\n"
              "Alle Preise verstehen sich zuzüglich der gesetzlichen Mehrwertsteuer.\n"
              "für die Lieferung der gewünschten Waren. Die Ware wird innerhalb von drei\n"
              "Wochen nach Eingang Ihrer Bestellung geliefert.\n"
              "Bitte beachten Sie unsere neuen Öffnungszeiten.\n"
              "Wir würden uns sehr freuen, wenn unser Angebot Ihre Zustimmung findet, und\n"
              "stehen Ihnen für Rückfragen jederzeit gerne zur Verfügung.\n"
              "Die Zahlung erfolgt innerhalb von dreißig Tagen ohne Abzug.\n"
              "Mit freundlichen Grüßen\nHans Meier\n");
    // UTF-16 with a byte-order mark, without the processing instruction.
    EXPECT_EQ(Format(Sample("ru-utf16.xml")), DX_FMT_WORDML);
    const std::string ru = Text(Sample("ru-utf16.xml"));
    EXPECT_TRUE(ru.starts_with("Дорогая бабушка, мы очень рады")) << ru;
    // Tabs and breaks as in DOCX; tab stops in paragraph properties are none.
    EXPECT_EQ(Text(Wordml("<w:p><w:pPr><w:tabs><w:tab w:val=\"left\"/></w:tabs></w:pPr><w:r>"
                          "<w:t>a</w:t><w:tab/><w:t>b</w:t><w:br/><w:t>c</w:t></w:r></w:p>")),
              "a b\nc\n");
    // Text outside the body is no text of the document.
    EXPECT_EQ(Text(Wordml(P("x"), "<w:docPr><w:t>settings</w:t></w:docPr>")), "x\n");
}

TEST_F(DxFilterMsXml, FlatWordPackagesGiveTheDocumentThenItsNotes) {
    EXPECT_EQ(Format(Sample("fr-flat.xml")), DX_FMT_DOCX);
    const std::string fr = Text(Sample("fr-flat.xml"));
    EXPECT_NE(fr.find("Les vacances à la montagne\n"), std::string::npos) << fr;
    // The footnote follows the main text, as in a package.
    const size_t note = fr.find("Le temps était ensoleillé");
    ASSERT_NE(note, std::string::npos) << fr;
    EXPECT_GT(note, fr.find("excellente fondue")) << fr;
    // The picture's base64 data is no text.
    EXPECT_EQ(fr.find("iVBOR"), std::string::npos) << fr;
    // The notes come after the document whatever their place in the file;
    // the main part is found by its content type under any name.
    const std::string notesType =
        "application/vnd.openxmlformats-officedocument.wordprocessingml.footnotes+xml";
    EXPECT_EQ(Text(Package({{"/word/footnotes.xml", notesType,
                             "<w:footnotes xmlns:w=\"" + kWordNs + "\"><w:footnote>" + P("note") +
                                 "</w:footnote></w:footnotes>"},
                            {"/word/document2.xml", kDocMain, WordPart(P("main"))},
                            {"/word/media/image1.png", "image/png", "=iVBORw0KGgo="}})),
              "main\nnote\n");
}

TEST_F(DxFilterMsXml, FlatPresentationsGiveTheirSlidesInPresentationOrder) {
    EXPECT_EQ(Format(Sample("es-flat-pptx.xml")), DX_FMT_PPTX);  // the instruction names Word
    const std::string es = Text(Sample("es-flat-pptx.xml"));
    const size_t first = es.find("La reunión de los agricultores");
    const size_t second = es.find("El tiempo y la cosecha");
    const size_t third = es.find("Los próximos pasos");
    ASSERT_TRUE(first != std::string::npos && second != std::string::npos &&
                third != std::string::npos)
        << es;
    EXPECT_LT(first, second);
    EXPECT_LT(second, third);
}

TEST_F(DxFilterMsXml, FlatPresentationsGiveEachSlideThenItsNotes) {
    const std::string ns =
        " xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\""
        " xmlns:p=\"http://schemas.openxmlformats.org/presentationml/2006/main\""
        " xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/"
        "relationships\"";
    const std::string rels = "http://schemas.openxmlformats.org/package/2006/relationships";
    const std::string type = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
    auto text = [&](const std::string &root, const std::string &placeholder, const std::string &t) {
        return "<p:" + root + ns + "><p:cSld><p:spTree><p:sp><p:nvSpPr><p:nvPr>" + placeholder +
               "</p:nvPr></p:nvSpPr><p:txBody><a:p><a:r><a:t>" + t +
               "</a:t></a:r></a:p></p:txBody></p:sp></p:spTree></p:cSld></p:" + root + ">";
    };
    auto relationships = [&](const std::string &id, const std::string &kind,
                             const std::string &target) {
        return "<Relationships xmlns=\"" + rels + "\"><Relationship Id=\"" + id + "\" Type=\"" +
               type + kind + "\" Target=\"" + target + "\"/></Relationships>";
    };
    const std::string main =
        "application/vnd.openxmlformats-officedocument.presentationml.presentation.main+xml";
    const std::string xml = "application/xml";
    // The notes pages before and after their slides in the file; the notes
    // master is not read.
    const std::string flat = Package({
        {"/ppt/notesSlides/notesSlide2.xml", xml, text("notes", "", "Notas de la segunda")},
        {"/ppt/presentation.xml", main,
         "<p:presentation" + ns +
             "><p:sldIdLst><p:sldId id=\"256\" r:id=\"rId1\"/><p:sldId id=\"257\" "
             "r:id=\"rId2\"/></p:sldIdLst></p:presentation>"},
        {"/ppt/_rels/presentation.xml.rels", xml,
         "<Relationships xmlns=\"" + rels + "\"><Relationship Id=\"rId1\" Type=\"" + type +
             "slide\" Target=\"slides/slide1.xml\"/><Relationship Id=\"rId2\" Type=\"" + type +
             "slide\" Target=\"slides/slide2.xml\"/></Relationships>"},
        {"/ppt/slides/slide1.xml", xml, text("sld", "", "Primera diapositiva")},
        {"/ppt/slides/_rels/slide1.xml.rels", xml,
         relationships("rId9", "notesSlide", "../notesSlides/notesSlide1.xml")},
        {"/ppt/slides/slide2.xml", xml, text("sld", "", "Segunda diapositiva")},
        {"/ppt/slides/_rels/slide2.xml.rels", xml,
         relationships("rId9", "notesSlide", "../notesSlides/notesSlide2.xml")},
        {"/ppt/notesSlides/notesSlide1.xml", xml,
         text("notes", "<p:ph type=\"body\" idx=\"1\"/>", "Notas de la primera")},
        {"/ppt/notesMasters/notesMaster1.xml", xml,
         text("notesMaster", "<p:ph type=\"body\"/>", "Haga clic para modificar")},
    });
    EXPECT_EQ(Text(flat),
              "Primera diapositiva\nNotas de la primera\nSegunda diapositiva\n"
              "Notas de la segunda\n");
}

TEST_F(DxFilterMsXml, FlatWorkbooksGiveTheirStringsNotTheirNumbers) {
    EXPECT_EQ(Format(Sample("en-flat-xlsx.xml")), DX_FMT_XLSX);
    const std::string en = Text(Sample("en-flat-xlsx.xml"));
    EXPECT_NE(en.find("The neighbours brought apples from their garden\n"), std::string::npos)
        << en;
    EXPECT_EQ(en.find("12"), std::string::npos) << en;
}

TEST_F(DxFilterMsXml, ExcelXmlGivesItsStringCellsRowByRow) {
    EXPECT_EQ(Format(Sample("de-sheet.xls")), DX_FMT_SPREADSHEETML);
    // Numbers, the date, the truth value, the error, the comment and the
    // document's properties are left out; a rich string gives its text.
    EXPECT_EQ(Text(Sample("de-sheet.xls")),
              "Die Mühle am Bach wurde im letzten Jahr vollständig renoviert.\n"
              "Wichtig: Die Besucher können jetzt jeden Sonntag das Mahlwerk besichtigen.\n"
              "Der Müller erklärt gerne, wie früher das Getreide gemahlen wurde.\n"
              "Im Sommer ist die Mühle auch an Feiertagen geöffnet.\n");
    const std::string poi = Text(Bytes("msxml/SampleSS.xml"));
    EXPECT_NE(poi.find("Start of 2nd sheet\nSheet 2 row 2\n"), std::string::npos) << poi;
    EXPECT_EQ(poi.find("Nick Burch"), std::string::npos) << poi;
    EXPECT_EQ(Format(Utf16(Workbook("<Row><Cell><Data ss:Type=\"String\">x</Data></Cell></Row>"))),
              DX_FMT_SPREADSHEETML);
}

TEST_F(DxFilterMsXml, OnlyTheRootAndItsNamespaceTellThem) {
    // Any prefix (or the default namespace) bound in the root's start tag;
    // the instruction is not needed and does not decide.
    EXPECT_EQ(Format("<ww:wordDocument xmlns:ww='" + kW + "'/>"), DX_FMT_WORDML);
    EXPECT_EQ(Format("<wordDocument xmlns='" + kW + "'/>"), DX_FMT_WORDML);
    EXPECT_EQ(
        Format("<?mso-application progid=\"Excel.Sheet\"?><x:Workbook xmlns:x='" + kSs + "'/>"),
        DX_FMT_SPREADSHEETML);
    EXPECT_EQ(Format("<!-- c --><?pi x?><p:package xmlns:p='" + kPkg +
                     "'><p:part p:name='/ppt/presentation.xml'/></p:package>"),
              DX_FMT_PPTX);
    EXPECT_EQ(Format(Package({}, "<?mso-application progid=\"Excel.Sheet\"?>")), DX_FMT_XLSX);
    EXPECT_EQ(Format(Package({{"/word/document.xml", kDocMain, WordPart(P("x"))}},
                             "<?mso-application progid=\"Excel.Sheet\"?>")),
              DX_FMT_DOCX);
    // Near misses stay XML: pages that only mention the namespaces, another
    // prefix bound, no namespace, another namespace, a package whose kind
    // nothing in its head tells, a start tag the head cuts.
    EXPECT_EQ(Format(Sample("xhtml-mentions.xml")), DX_FMT_HTML);
    for (const char *name : {"svg-mentions.svg", "nons-word.xml"})
        EXPECT_EQ(Format(Sample(name)), DX_FMT_XML) << name;
    EXPECT_EQ(Format("<w:wordDocument xmlns:x='" + kW + "'/>"), DX_FMT_XML);
    EXPECT_EQ(Format("<Workbook xmlns='urn:schemas-microsoft-com:office:excel'/>"), DX_FMT_XML);
    EXPECT_EQ(Format(Package({})), DX_FMT_XML);
    EXPECT_EQ(Format("<w:wordDocument a='" + std::string(9000, 'x') + "' xmlns:w='" + kW + "'/>"),
              DX_FMT_XML);
}

TEST_F(DxFilterMsXml, DamagedFilesGiveTheTextBeforeTheDamage) {
    const std::string letter = Sample("de-letter.xml");
    const size_t cut = letter.find("vom letzten Monat");
    ASSERT_NE(cut, std::string::npos);
    EXPECT_EQ(Text(letter.substr(0, cut)),
              "Hamburg, den 3. März 2007\nSehr geehrte Damen und Herren,\n"
              "vielen Dank für Ihre freundliche Anfrage\n");
    const std::string pptx = Sample("es-flat-pptx.xml");
    const size_t inSlide = pptx.find("Los próximos pasos");
    ASSERT_NE(inSlide, std::string::npos);
    Extraction r = Run(pptx.substr(0, inSlide));
    EXPECT_TRUE(r.opened && r.openText == 0 && r.readError == 0);
    ExpectMutationsEndCleanly(letter, 378);
    ExpectMutationsEndCleanly(pptx.substr(0, 20000), 303);
    ExpectMutationsEndCleanly(Sample("de-sheet.xls"), 379);
}

}  // namespace
