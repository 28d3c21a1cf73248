// The filter plug-in, loaded as the engine loads it: the formats its file
// information answers, the text it extracts, and how it meets bad input.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "doctype/dx_abi.h"
#include "dxfilter_test_support.h"
#include "dxfilter_zip_writer.h"

namespace {

using namespace dxfilter_test;
using DxFilterPlugin = PluginTest;
using dxfilter_zip::StoredZip;

}  // namespace

TEST_F(DxFilterPlugin, OfficeDocumentsWithoutTextAreEmptyTexts) {
    // A document without text opens and ends at once, so the engine answers
    // as for an empty document: a word processor document with an empty
    // body, a presentation without slides, a workbook without sheets.
    const std::string types =
        "<?xml version=\"1.0\"?><Types "
        "xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"/>";
    struct {
        const char *name;
        std::string zip;
        int format;
    } cases[] = {
        {"empty.docx",
         StoredZip({{"[Content_Types].xml", types},
                    {"word/document.xml",
                     "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/"
                     "2006/main\"><w:body/></w:document>"}}),
         DX_FMT_DOCX},
        {"empty.odt",
         StoredZip({{"mimetype", "application/vnd.oasis.opendocument.text"},
                    {"content.xml",
                     "<office:document-content "
                     "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\">"
                     "<office:body><office:text/></office:body></office:document-content>"}}),
         DX_FMT_ODT},
        {"empty.pptx",
         StoredZip({{"[Content_Types].xml", types},
                    {"ppt/presentation.xml",
                     "<p:presentation xmlns:p=\"http://schemas.openxmlformats.org/"
                     "presentationml/2006/main\"/>"}}),
         DX_FMT_PPTX},
        {"empty.xlsx",
         StoredZip({{"[Content_Types].xml", types},
                    {"xl/workbook.xml",
                     "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/"
                     "main\"><sheets/></workbook>"}}),
         DX_FMT_XLSX},
    };
    for (const auto &c : cases) {
        const std::string file = Temp(c.name, c.zip);
        EXPECT_EQ(plugin->Format(file), c.format) << c.name;
        Extraction r = plugin->Extract(file);
        EXPECT_TRUE(r.opened && r.openText == 0 && r.readError == 0) << c.name;
        EXPECT_TRUE(r.text.empty() && r.endRepeats) << c.name;
    }
    // A package whose presentation cannot be read is still refused.
    const std::string broken =
        Temp("broken.pptx", StoredZip({{"[Content_Types].xml", types}, {"ppt/other.xml", "<x/>"}}));
    EXPECT_NE(plugin->Extract(broken).openText, 0);
}

TEST_F(DxFilterPlugin, StartUpAndOddFiles) {
    EXPECT_EQ(plugin->api.initialise(nullptr, nullptr, kFilterDir, 53, DX_INIT_FLAGS),
              nullptr);  // only UTF-16 output is offered
    // Modules are found next to the plug-in when the filter directory is wrong.
    for (const char *dir : {static_cast<const char *>(nullptr), "/nonexistent/"}) {
        void *filter =
            plugin->api.initialise(nullptr, nullptr, dir, DX_INIT_CHARSET_UNICODE, DX_INIT_FLAGS);
        ASSERT_NE(filter, nullptr);
        DXFileInfo info{};
        plugin->api.fileInformation(filter, (kData + "docs/fr.docx").c_str(), &info);
        EXPECT_EQ(info.word[DX_FILEINFO_FORMAT_WORD], static_cast<uint32_t>(DX_FMT_DOCX));
        plugin->api.shutdown(filter);
    }
    DXFileInfo info;
    std::memset(&info, 0xAB, sizeof info);
    EXPECT_NE(plugin->api.fileInformation(plugin->handle, "/nonexistent/dxfilter", &info), 0);
    EXPECT_EQ(info.word[DX_FILEINFO_FORMAT_WORD], 0u);
    EXPECT_EQ(info.word[DX_FILEINFO_SIZE_WORD], sizeof info);
    // Identification from the engine's bytes comes through its own entry
    // point; the filter interface's slots after file information stay empty.
    ASSERT_TRUE(plugin->identify.identifyHead && plugin->identify.identifyOpenFile);
    for (auto slot : plugin->api.reserved12_28) EXPECT_EQ(slot, nullptr);
    // The identification of an open document refuses records it cannot use.
    const unsigned char byte = 'x';
    for (const DXDocumentHead &head :
         {DXDocumentHead{nullptr, 1, 1, -1}, DXDocumentHead{&byte, -1, 1, -1},
          DXDocumentHead{&byte, 1, -1, -1}}) {
        EXPECT_EQ(plugin->identify.identifyHead(nullptr, &head, &info), -1);
        EXPECT_EQ(plugin->identify.identifyOpenFile(plugin->handle, &head, &info), -1);
    }
    const DXDocumentHead noFile{&byte, 1, 1, -1};
    EXPECT_EQ(plugin->identify.identifyHead(nullptr, &noFile, &info), 0);  // one letter: text
    EXPECT_EQ(info.word[DX_FILEINFO_FORMAT_WORD], static_cast<uint32_t>(DX_FMT_TEXT));
    EXPECT_EQ(plugin->identify.identifyOpenFile(plugin->handle, &noFile, &info),
              -1);  // no descriptor
    EXPECT_EQ(plugin->identify.identifyHead(nullptr, nullptr, &info), -1);
    EXPECT_EQ(plugin->identify.identifyHead(nullptr, &noFile, nullptr), -1);
    EXPECT_EQ(plugin->Format(dir_.str()), DX_FMT_UNKNOWN);
    ASSERT_EQ(mkfifo(dir_.str("fifo").c_str(), 0600), 0);
    EXPECT_EQ(plugin->Format(dir_.str("fifo")), DX_FMT_UNKNOWN);  // at once, without a writer
    std::string huge = Temp("huge.bin", "");
    ASSERT_EQ(truncate(huge.c_str(), 200l << 20), 0);
    EXPECT_EQ(plugin->Format(huge), DX_FMT_BINARY);  // answered from its head
}

TEST_F(DxFilterPlugin, ContentDecidesTheFormat) {
    std::string controls(2000, 'a');
    controls[100] = '\x01', controls[900] = '\x08', controls[1500] = '\x1F', controls[1700] = '\0';
    std::string noisy = controls;
    for (size_t i = 0; i < noisy.size(); i += 10) noisy[i] = '\x02';
    // Text holds at most one stray control byte in fifty (or two in all),
    // wherever they fall.
    auto spread = [](int strays) {
        std::string bytes(2000, 'a');
        for (int i = 0; i < strays; ++i) bytes[static_cast<size_t>(i) * 48 + 5] = '\x03';
        return bytes;
    };
    // The index file of a split Info manual is mostly tag table, a 0x7F in
    // every line; its first line says what it is.
    std::string tags;
    for (int i = 0; tags.size() < 3000; ++i)
        tags += "Node: Invoking find" + std::to_string(i) + '\x7F' + std::to_string(i * 977) + '\n';
    const std::string info =
        "This is find.info, produced by makeinfo version 6.8 from find.texi.\n\n"
        "\x1F\nIndirect:\nfind.info-1: 1234\n\x1F\nTag Table:\n(Indirect)\n" +
        tags;
    const std::string notInfo = "This is find.info.\n" + tags;
    std::string le, be, numbers;
    for (char c : std::string("Hello world, this is text.\n")) le += {c, '\0'}, be += {'\0', c};
    for (int i = 0; i < 200; ++i) numbers += {static_cast<char>(i % 7), '\0'};
    // Chinese in UTF-16 need not hold a zero byte at all.
    std::string cjk = pipeline_test::Utf16(
        u"敏捷的棕色狐狸跳过了河边那只懒惰的狗每天早上面包师打启他的店铺把新鲜的面包卖给邻居");
    ASSERT_EQ(cjk.find('\0'), std::string::npos);
    struct {
        std::string bytes;
        int format;
        bool same = true;  // false: anything but `format`
    } cases[] = {
        {"  <?xml version='1.0'?><a/>", DX_FMT_XML},
        {"<!-- only a comment -->", DX_FMT_HTML},
        {"<?xml version='1.0'?>\n<html "
         "xmlns='http://www.w3.org/1999/xhtml'><body><p>x</p></body></html>",
         DX_FMT_HTML},
        {"<doc><x></x></doc>", DX_FMT_SGML},
        {"if a<b and b>c then <nothing> happens\n", DX_FMT_TEXT},
        {"Some words<br>more words<br>end\n", DX_FMT_HTML},
        {controls, DX_FMT_TEXT},
        {noisy, DX_FMT_TEXT, false},
        {spread(40), DX_FMT_TEXT},
        {spread(41), DX_FMT_TEXT, false},
        {info, DX_FMT_TEXT},
        {notInfo, DX_FMT_TEXT, false},
        {info.substr(0, 80) + std::string(100, '\x02') + tags, DX_FMT_TEXT, false},
        {le + le, DX_FMT_TEXT},
        {be + be, DX_FMT_TEXT},
        {cjk + cjk, DX_FMT_TEXT},
        {numbers, DX_FMT_TEXT, false},
        {Bytes("docs/en.xlsx"), DX_FMT_XLSX}  // as "case.docx": entries decide, not names
    };
    int row = 0;
    for (const auto &c : cases) {
        int got = plugin->Format(Temp("case.docx", c.bytes));
        EXPECT_EQ(got == c.format, c.same) << "row " << row << " gave " << got;
        ++row;
    }
}

TEST_F(DxFilterPlugin, PdfHeadersAfterOtherBytes) {
    // A PDF behind other bytes is read as one when its header ends its line
    // and a binary byte comes before it, or the file ends as a PDF does; a
    // text that speaks of a PDF header stays text.
    using namespace std::string_literals;
    const std::string pdf = Bytes("docs/en.pdf");
    ASSERT_TRUE(pdf.starts_with("%PDF-1."));
    ASSERT_NE(pdf.substr(pdf.size() - 64).find("%%EOF"), std::string::npos);
    const std::string body = pdf.substr(pdf.find('\n'));  // after the header's version
    const std::string cut = body.substr(0, body.size() / 2);
    const std::string macintosh = std::string(127, '\x01') + '\0';
    const struct {
        std::string bytes;
        bool pdf;
        const char *what;
    } cases[] = {
        {"Leading junk\n\n%PDF-1.4" + body, true, "a text line, then a whole PDF"},
        {"Leading junk\n\n%PDF-1.4" + cut, false, "a text line, then a PDF cut short"},
        {macintosh + "%PDF-1.4" + cut, true, "a binary header, then a PDF cut short"},
        {"\x14%PDF-1.4\0"s + cut, true, "a NUL after the version"},
        {std::string(1100, 'z') + "\0%PDF-1.4"s + body, false, "past the first KiB"},
        {"PDFVER = b'%PDF-1.4'  # the version we write\n" + std::string(100, 'y') + "\n%%EOF\n",
         false, "a program that writes PDFs, the marker at its end"},
        {"All about PDF files, e.g. `%PDF-1.7`\n\n%%EOF\n", false, "a version in a sentence"},
        {"1: comment: %PDF-1.5\n2: name: /Type\n", false, "a list of tokens"},
        {"%PDF- is how every PDF starts, with its version after it.\n", true, "the first byte"},
        {"Every PDF starts with %PDF- and its version.\n%%EOF\n", false, "no version"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(plugin->Format(Temp("case.bin", c.bytes)) == DX_FMT_PDF, c.pdf) << c.what;
    // The end-of-file marker is read from the end of a file longer than
    // the head.
    const std::string longPdf =
        "Leading junk\n\n%PDF-1.4" + body + std::string(9000, '\n') + "trailer\n%%EOF\n";
    EXPECT_EQ(plugin->Format(Temp("long.bin", longPdf)), DX_FMT_PDF);
    // From the head alone the answer waits for the file.
    DXFileInfo info{};
    const DXDocumentHead head{reinterpret_cast<const unsigned char *>(longPdf.data()),
                              static_cast<int64_t>(dxf::kSniffBytes),
                              static_cast<int64_t>(longPdf.size()), -1};
    EXPECT_EQ(plugin->identify.identifyHead(nullptr, &head, &info), 1);
    const std::string longText = "Leading junk\n\n%PDF-1.4\n" + std::string(9000, 'w') + "\nend\n";
    EXPECT_EQ(plugin->Format(Temp("long.bin", longText)), DX_FMT_TEXT);
}

TEST_F(DxFilterPlugin, EverySampleOfTheTableHasItsFormatAndWords) {
    auto samples = LoadSamples();
    ASSERT_GT(samples.size(), 60u);
    for (const auto &s : samples) {
        EXPECT_EQ(plugin->Format(Data(s.file)), s.format) << s.file;
        if (s.word == "-") continue;
        Extraction r = plugin->Extract(Data(s.file));
        ASSERT_TRUE(r.opened && r.openText == 0) << s.file;
        EXPECT_EQ(r.readError, 0) << s.file;
        EXPECT_NE(r.utf8().find(s.word), std::string::npos) << s.file << ": " << r.utf8();
        EXPECT_TRUE(recognisable_as_utf16(r.text)) << s.file;
        EXPECT_TRUE(r.opens == 1 && r.closes == 1) << s.file;
    }
}

TEST_F(DxFilterPlugin, TextComesInDocumentOrder) {
    // Slides follow the presentation, not their file names.
    for (const char *file : {"docs/en.docx", "docs/en.doc", "docs/en.pdf", "docs/en.pptx",
                             "docs/en.odp", "docs/en-reordered.pptx"}) {
        std::string text = plugin->Extract(Data(file)).utf8();
        size_t fox = text.find("quick brown fox"), baker = text.find("Every morning");
        ASSERT_TRUE(fox != std::string::npos && baker != std::string::npos) << file << ": " << text;
        EXPECT_EQ(fox < baker, std::string(file).find("reordered") == std::string::npos) << file;
    }
}

TEST_F(DxFilterPlugin, WordNotesFollowTheMainText) {
    // Footnotes, then endnotes, after the main text, as Word 97-2003
    // documents give them; the separators hold no text.
    const std::string w =
        "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"";
    const std::string separators =
        "<w:footnote w:type=\"separator\" w:id=\"-1\"><w:p><w:r><w:separator/></w:r></w:p>"
        "</w:footnote>";
    const std::string docx = StoredZip(
        {{"[Content_Types].xml", "<Types/>"},
         {"word/document.xml",
          "<w:document " + w +
              "><w:body><w:p><w:r><w:t>Main text</w:t></w:r><w:r><w:footnoteReference "
              "w:id=\"1\"/></w:r></w:p></w:body></w:document>"},
         {"word/footnotes.xml", "<w:footnotes " + w + ">" + separators +
                                    "<w:footnote w:id=\"1\"><w:p><w:r><w:t>Foot note</w:t></w:r>"
                                    "</w:p></w:footnote></w:footnotes>"},
         {"word/endnotes.xml", "<w:endnotes " + w +
                                   "><w:endnote w:id=\"1\"><w:p><w:r><w:t>End note</w:t></w:r>"
                                   "</w:p></w:endnote></w:endnotes>"}});
    EXPECT_EQ(plugin->Extract(Temp("notes.docx", docx)).utf8(), "Main text\nFoot note\nEnd note\n");
}

TEST_F(DxFilterPlugin, AlternativeContentIsReadOnce) {
    // Word writes a text box twice, as a DrawingML shape for current readers
    // and as a VML shape for older ones; PowerPoint does the same with
    // equations and newer shapes. Only the first alternative is text.
    const std::string ns =
        " xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\""
        " xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\""
        " xmlns:p=\"http://schemas.openxmlformats.org/presentationml/2006/main\""
        " xmlns:mc=\"http://schemas.openxmlformats.org/markup-compatibility/2006\""
        " xmlns:compat=\"http://schemas.openxmlformats.org/markup-compatibility/2006\""
        " xmlns:o=\"urn:other\"";
    auto box = [](const std::string &text) {
        return "<w:txbxContent><w:p><w:r><w:t>" + text + "</w:t></w:r></w:p></w:txbxContent>";
    };
    const std::string body =
        "<w:p><w:r><w:t>Before</w:t></w:r><w:r><mc:AlternateContent><mc:Choice Requires=\"wps\">" +
        box("Drawing box") + "</mc:Choice><mc:Fallback>" + box("Vector box") +
        "</mc:Fallback></mc:AlternateContent></w:r><w:r><w:t>after</w:t></w:r></w:p>"
        // Two choices: the first is read; an alternative nested in it too.
        "<w:p><w:r><compat:AlternateContent><compat:Choice Requires=\"a\"><w:t>first</w:t>"
        "<mc:AlternateContent><mc:Choice Requires=\"b\"><w:t>inner</w:t></mc:Choice>"
        "<mc:Fallback><w:t>inner again</w:t></mc:Fallback></mc:AlternateContent>"
        "</compat:Choice><compat:Choice Requires=\"c\"><w:t>second</w:t></compat:Choice>"
        "<compat:Fallback><w:t>third</w:t></compat:Fallback></compat:AlternateContent></w:r></w:p>"
        // A fallback alone is the content; elements of that name elsewhere are
        // no alternatives.
        "<w:p><mc:AlternateContent><mc:Fallback><w:r><w:t>Only</w:t></w:r></mc:Fallback>"
        "</mc:AlternateContent><o:Fallback><w:r><w:t> other</w:t></w:r></o:Fallback>"
        "<o:Choice><w:r><w:t> names</w:t></w:r></o:Choice></w:p>"
        // An alternative left open by a damaged part does not hide the next part's text.
        "<w:p><mc:AlternateContent><mc:Choice><w:r><w:t>Open</w:t></w:r></mc:Choice>";
    const std::string docx =
        StoredZip({{"[Content_Types].xml", "<Types/>"},
                   {"word/document.xml", "<w:document" + ns + "><w:body>" + body},
                   {"word/footnotes.xml",
                    "<w:footnotes" + ns +
                        "><w:footnote w:id=\"1\"><w:p><mc:AlternateContent>"
                        "<mc:Choice><w:r><w:t>Note</w:t></w:r></mc:Choice><mc:Fallback><w:r><w:t>"
                        "Note</w:t></w:r></mc:Fallback></mc:AlternateContent></w:p></w:footnote>"
                        "</w:footnotes>"}});
    EXPECT_EQ(plugin->Extract(Temp("boxes.docx", docx)).utf8(),
              "Before\nDrawing box\nafter\nfirstinner\nOnly other names\nOpen\nNote\n");

    const std::string pptx = StoredZip(
        {{"[Content_Types].xml", "<Types/>"},
         {"ppt/presentation.xml", "<p:presentation" + ns + "/>"},
         {"ppt/slides/slide1.xml",
          "<p:sld" + ns +
              "><p:cSld><p:spTree><mc:AlternateContent><mc:Choice Requires=\"a14\">"
              "<p:sp><p:txBody><a:p><a:r><a:t>Slide shape</a:t></a:r></a:p></p:txBody></p:sp>"
              "</mc:Choice><mc:Fallback><p:sp><p:txBody><a:p><a:r><a:t>Slide shape</a:t></a:r>"
              "</a:p></p:txBody></p:sp></mc:Fallback></mc:AlternateContent></p:spTree></p:cSld>"
              "</p:sld>"}});
    EXPECT_EQ(plugin->Extract(Temp("shapes.pptx", pptx)).utf8(), "Slide shape\n");
}

TEST_F(DxFilterPlugin, WordMainPartNamedByTheRelationships) {
    // Programs other than Word may give the main part another name; the root
    // relationships name it, and its content type makes it a document.
    const std::string main =
        "application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml";
    auto package = [](const std::string &target, const std::string &override,
                      const std::string &type, const std::string &mode = "") {
        return StoredZip(
            {{"[Content_Types].xml",
              "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
              "<Default Extension=\"xml\" ContentType=\"application/xml\"/><Override "
              "PartName=\"" +
                  override + "\" ContentType=\"" + type + "\"/></Types>"},
             {"_rels/.rels",
              "<Relationships "
              "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
              "<Relationship Id=\"rId2\" Type=\"http://schemas.openxmlformats.org/package/2006/"
              "relationships/metadata/core-properties\" Target=\"docProps/core.xml\"/>"
              "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/"
              "officeDocument/2006/relationships/officeDocument\" Target=\"" +
                  target + "\"" + mode + "/></Relationships>"},
             {"docProps/core.xml", "<cp:coreProperties xmlns:cp=\"urn:c\"/>"},
             {"word/document2.xml",
              "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/"
              "main\"><w:body><w:p><w:r><w:t>Renamed main part</w:t></w:r></w:p></w:body>"
              "</w:document>"}});
    };
    const struct {
        std::string zip;
        const char *what;
    } documents[] = {
        {package("word/document2.xml", "/word/document2.xml", main), "relative"},
        {package("/word/document2.xml", "/word/document2.xml", main), "absolute"},
        {package("./word/../word/document2.xml", "/Word/DOCUMENT2.xml", main),
         "dot segments, part name in another case"},
        {package("word/document2.xml", "/word/document2.xml",
                 "application/vnd.ms-word.document.macroEnabled.main+xml"),
         "with macros"},
    };
    for (const auto &d : documents) {
        const std::string file = Temp("renamed.docx", d.zip);
        EXPECT_EQ(plugin->Format(file), DX_FMT_DOCX) << d.what;
        EXPECT_EQ(plugin->Extract(file).utf8(), "Renamed main part\n") << d.what;
    }
    // Not a document: another content type, none for the part, an external
    // target, a target the package lacks.
    const struct {
        std::string zip;
        const char *what;
    } others[] = {
        {package("word/document2.xml", "/word/document2.xml",
                 "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"),
         "a workbook's type"},
        {package("word/document2.xml", "/word/other.xml", main), "no type of its own"},
        {package("word/document2.xml", "/word/document2.xml", main, " TargetMode=\"External\""),
         "external"},
        {package("word/document3.xml", "/word/document3.xml", main), "missing"},
    };
    for (const auto &o : others) {
        const std::string file = Temp("other.zip", o.zip);
        EXPECT_EQ(plugin->Format(file), DX_FMT_ZIP) << o.what;
    }
}

TEST_F(DxFilterPlugin, PackagesCutShortGiveTheTextOfTheirWholeParts) {
    // A download or copy cut short loses the archive's directory, at its end.
    // The main part and the notes lie whole in the first 5,107 bytes of this
    // document; the cut falls in the parts after them.
    const std::string docx = Bytes("docs/fr.docx");
    const std::string text = plugin->Extract(Data("docs/fr.docx")).utf8();
    ASSERT_FALSE(text.empty());
    for (size_t cut : {size_t{5107}, size_t{6000}, docx.size() - 1}) {
        const std::string file = Temp("cut.docx", docx.substr(0, cut));
        EXPECT_EQ(plugin->Format(file), DX_FMT_DOCX) << cut;
        const Extraction r = plugin->Extract(file);
        EXPECT_EQ(r.openText, 0) << cut;
        EXPECT_EQ(r.utf8(), text) << cut;
    }
    // Cut inside the main part (688 to 1,412), the rest is a zip archive,
    // as a package that lacks its main part is; cut inside the first
    // header, nothing is.
    for (size_t cut : {size_t{1000}, size_t{1411}, size_t{20}}) {
        const std::string file = Temp("cut.docx", docx.substr(0, cut));
        const int format = plugin->Format(file);
        EXPECT_TRUE(format == DX_FMT_ZIP || format == DX_FMT_UNKNOWN) << cut << " " << format;
        EXPECT_NE(plugin->Extract(file).openText, 0) << cut;
    }
}

TEST_F(DxFilterPlugin, PackagePartNamesInAnyCaseAndWithBackslashes) {
    // Part names compare without regard to case, and some writers on Windows
    // store them with backslashes: such a workbook is read whole.
    const std::string main = "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"";
    const std::string xlsx = StoredZip(
        {{"[content_types].xml", "<Types/>"},
         {"xl\\_rels\\workbook.xml.rels",
          "<Relationships><Relationship Id=\"rId2\" Target=\"worksheets/sheet2.xml\"/>"
          "<Relationship Id=\"rId1\" Target=\"Worksheets/Sheet1.xml\"/></Relationships>"},
         {"xl\\workbook.xml",
          "<workbook " + main +
              " xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/"
              "relationships\"><sheets><sheet name=\"b\" r:id=\"rId2\"/>"
              "<sheet name=\"a\" r:id=\"rId1\"/></sheets></workbook>"},
         {"xl\\sharedstrings.xml",
          "<sst " + main + "><si><t>Erste Zeile</t></si><si><t>Zweite Zeile</t></si></sst>"},
         {"xl\\worksheets\\sheet1.xml",
          "<worksheet " + main +
              "><sheetData><row><c t=\"s\"><v>1</v></c></row></sheetData></worksheet>"},
         {"xl\\worksheets\\sheet2.xml",
          "<worksheet " + main +
              "><sheetData><row><c t=\"s\"><v>0</v></c></row></sheetData></worksheet>"}});
    const std::string file = Temp("backslashes.xlsx", xlsx);
    EXPECT_EQ(plugin->Format(file), DX_FMT_XLSX);
    EXPECT_EQ(plugin->Extract(file).utf8(), "Erste Zeile\nZweite Zeile\n");
}

TEST_F(DxFilterPlugin, WordProcessorFormatsGiveTheSameText) {
    // Headings, paragraphs and table cells each end a line; nothing else does.
    const std::string expected =
        "Лиса и пекарь\nЛиса и пекарь\n"
        "Быстрая коричневая лиса прыгает через ленивую собаку у реки.\n"
        "Каждое утро пекарь открывает свою лавку и продаёт свежий хлеб соседям.\n"
        "Лиса и пекарь\nпекарь\n"
        "Быстрая коричневая лиса прыгает через ленивую собаку у реки.\n"
        "Каждое утро пекарь открывает свою лавку и продаёт свежий хлеб соседям.\n";
    for (const char *file : {"docs/ru.docx", "docs/ru.odt", "docs/ru.epub", "docs/ru.rtf",
                             "docs/ru-cp.rtf", "docs/ru.doc"}) {
        Extraction r = plugin->Extract(Data(file));
        EXPECT_EQ(r.utf8(), expected) << file;
        EXPECT_TRUE(r.endRepeats) << file;
    }
}

TEST_F(DxFilterPlugin, RightToLeftPdfTextComesInLogicalOrder) {
    // Every line whole, its words in reading order, no directional marks,
    // lam-alef (ولا، الأسرة، خلاف) as lam followed by alef, the full stop at
    // the end, letters after a zero-width non-joiner and a combining hamza in
    // their words: from left-to-right paragraphs (as plain-text imports lay
    // them out) in proportional and fixed-pitch fonts, from right-to-left
    // paragraphs, and inside an English line.
    const std::string arabic =
        "لكل شخص الحق في التعليم، ولا يجوز التمييز بين الناس.\n"
        "ويجب أن تكون الأسرة محمية من قبل المجتمع والدولة\n";
    // The non-joiner of "بهره‌مند" is a glyph-less span, which poppler drops:
    // the word comes out whole, without it.
    const std::string persian =
        "هر کس حق دارد که از آزادی فکر و وجدان و مذهب بهرهمند شود\n"
        "هیچ کس را نباید بر خلاف قانون توقیف یا حبس کرد\n";
    const std::string hebrew =
        "כל אדם זכאי לחירות ולביטחון אישי\n"
        "לא יהיה אדם נתון לעינויים או ליחס אכזרי\n";
    struct {
        const char *file;
        std::string text;
    } cases[] = {
        {"docs/ar.pdf", arabic},
        {"docs/ar-rtl.pdf", arabic},
        {"docs/fa.pdf", persian},
        {"docs/he.pdf", hebrew},
        {"docs/ur.pdf",
         "ہر انسان کو آزادیٔ فکر اور آزادیٔ ضمیر کا حق ہے\n"
         "کسی کو غلام بنا کر نہیں رکھا جائے گا\n"},
        {"docs/en-ar.pdf",
         "The Arabic word سلام عليكم means peace be upon you\n"
         "Version 2 of the text\n"},
        // Fonts whose glyphs pango places off their advances: poppler split
        // words (الأ سرة, مذ هب, אד ם, לח ירות, ש ל ום).
        {"docs/ar-sans.pdf", arabic},
        {"docs/fa-naskh.pdf", persian},
        {"docs/he-sans.pdf", hebrew},
        {"docs/he-serif.pdf", hebrew},
        {"docs/en-he.pdf",
         "The Hebrew greeting שלום עליכם means peace be upon you\n"
         "Version 2 of the text\n"},
    };
    for (const auto &c : cases) {
        Extraction r = plugin->Extract(Data(c.file));
        EXPECT_EQ(r.readError, 0) << c.file;
        EXPECT_EQ(r.utf8(), c.text) << c.file;
    }
}

TEST_F(DxFilterPlugin, FormatSpecificText) {
    struct {
        const char *file;
        const char *present, *absent;
    } cases[] = {
        {"docs/fr-tracked.odt", "Une remarque visible.", "supprimé"},  // deleted text
        {"docs/fr-tracked.odt", "Une remarque visible.", "commentaire"},
        {"docs/ru.xlsx", "Лиса и пекарь\nпекарь\n", "42"},  // cells end lines; numbers left out
        {"docs/ru.ods", "Лиса и пекарь\nпекарь\n", "42"},
        {"docs/ru-cp1251.rtf", "Каждое утро пекарь", "\xc3"}  // escapes follow the code page
    };
    for (const auto &c : cases) {
        std::string text = plugin->Extract(Data(c.file)).utf8();
        EXPECT_NE(text.find(c.present), std::string::npos) << c.file << ": " << text;
        EXPECT_EQ(text.find(c.absent), std::string::npos) << c.file << ": " << text;
    }
}

TEST_F(DxFilterPlugin, RtfMarkup) {
    struct {
        std::string rtf, text;
    } cases[] = {{"{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0 Arial;}{\\f1\\fcharset136 MingLiU;}}"
                  "{\\*\\ignored secret}{\\info{\\title hidden}}"
                  "caf\\'e9 \\u36339?\\u-26984? {\\f1 \\'a4\\'a4\\'a4\\'e5}\\par "
                  "{\\uc2\\u8364\\'80\\'80 euro} \\{braces\\}\\line emoji \\u-10179?\\u-8704?}",
                  "café 跳隘 中文\n€ euro {braces}\nemoji 😀\n"},
                 // A half of a pair without its partner is U+FFFD, one per half.
                 {"{\\rtf1 a\\u-10179?b \\u-8704?c \\u-10179?\\u-10179?\\u-8704?d\\u-10179?}",
                  "a\uFFFDb \uFFFDc \uFFFD😀d\uFFFD\n"},
                 // Binary data may hold braces and backslashes that are not markup.
                 {"{\\rtf1 before\\bin6 }}{\\x\\ after}", "before after\n"},
                 // A note is read where its mark stands, on lines of its own;
                 // headers and footers are not.
                 {"{\\rtf1 {\\header Page}Main text\\chftn{\\footnote\\pard{\\up6\\chftn} The "
                  "{\\i note}.\\par Its end.}goes on.{\\footer Foot}\\par}",
                  "Main text\nThe note.\nIts end.\ngoes on.\n"},
                 // White space and control characters are tidied.
                 {"{\\rtf1 \\par\\par  one\\tab\\tab  two \\u7?\\u65279?three\\par\\par\\par four}",
                  "one two three\nfour\n"}};
    for (const auto &c : cases) EXPECT_EQ(plugin->Extract(Temp("t.rtf", c.rtf)).utf8(), c.text);
}

TEST_F(DxFilterPlugin, LongTextIsWrappedChunkedAndCapped) {
    std::string body;
    for (int i = 0; i < 400; ++i) body += "word" + std::to_string(i) + " ";
    Extraction r = plugin->Extract(Temp("long.rtf", "{\\rtf1 " + body + "}"));
    EXPECT_TRUE(recognisable_as_utf16(r.text));
    std::string text = r.utf8();
    size_t line = 0;
    for (char c : text) EXPECT_LE(line = c == '\n' ? 0 : line + 1, 96u);
    std::replace(text.begin(), text.end(), '\n', ' ');
    EXPECT_EQ(text, body);  // only spaces became line feeds

    std::string emoji = "{\\rtf1 ";
    for (int i = 0; i < 30000; ++i) emoji += "\\u-10179?\\u-8704?";  // U+1F600 each
    r = plugin->Extract(Temp("emoji.rtf", emoji + "}"));
    EXPECT_GT(r.chunks, 2);
    EXPECT_FALSE(r.splitPair);
    EXPECT_EQ(r.text.substr(0, 2), u"\U0001F600");

    std::string big = "{\\rtf1 ";
    for (int i = 0; i < 200000; ++i) big += "lorem ipsum ";
    r = plugin->Extract(Temp("big.rtf", big + "}"));
    EXPECT_EQ(r.readError, 0);
    EXPECT_GT(r.text.size(), 500000u);
    EXPECT_LE(r.text.size(), kTextCap);
}

TEST_F(DxFilterPlugin, DocumentsWithoutTextAreRefused) {
    // They open (the stream is readable) but their text does not, and the
    // stream is released again.
    for (const char *file :
         {"binary/blue.png", "binary/true.elf", "compressed/en.tar.gz", "binary/plain.zip",
          "binary/random.bin", "text/empty.txt", "text/fr.html", "bad/encrypted.docx",
          "bad/encrypted.pdf", "bad/encrypted.doc", "bad/truncated.doc"}) {
        Extraction r = plugin->Extract(Data(file));
        EXPECT_TRUE(r.opened) << file;
        EXPECT_NE(r.openText, 0) << file;
        EXPECT_TRUE(r.text.empty()) << file;
        EXPECT_TRUE(r.opens == 1 && r.closes == 1) << file;
    }
    Extraction image = plugin->Extract(Data("bad/image-only.pdf"));
    EXPECT_EQ(image.openText, 0);
    EXPECT_EQ(image.readError, 0);
    EXPECT_TRUE(image.text.empty()) << image.utf8();
}

TEST_F(DxFilterPlugin, DamagedAndHugeDocumentsEndCleanly) {
    // Whatever part of them can be read may come out; nothing else may happen.
    std::string rtf = Temp("huge.rtf", "{\\rtf1 hello ");  // 200 MB of zero bytes follow
    ASSERT_EQ(truncate(rtf.c_str(), 200l << 20), 0);
    // A PDF followed by zero bytes hides its cross-reference table and makes
    // the reader scan the whole file.
    std::string pdf = Temp("huge.pdf", Bytes("docs/en.pdf"));
    ASSERT_EQ(truncate(pdf.c_str(), 150l << 20), 0);
    for (const std::string &file :
         {Data("bad/truncated.pdf"), Data("bad/corrupt.odt"), Data("bad/unclosed.rtf"),
          Data("bad/deep.rtf"), Data("bad/bomb.docx"), Data("bad/entities.docx"), rtf, pdf}) {
        Extraction r = plugin->Extract(file);
        EXPECT_TRUE(r.opened) << file;
        EXPECT_TRUE(r.opens == 1 && r.closes == 1) << file;
        EXPECT_LE(r.text.size(), kTextCap) << file;
        std::string text = r.utf8();
        EXPECT_EQ(text.find("ha ha"), std::string::npos) << "an entity was expanded";
        if (file == rtf) {
            EXPECT_EQ(text.substr(0, 5), "hello");
        }
        if (file == pdf) {
            EXPECT_TRUE(text.empty() || text.find("neighbours") != std::string::npos);
        }
    }
}

TEST_F(DxFilterPlugin, MutatedDocumentsNeverBreakThePlugin) {
    // Every document of the table, cut short and with bytes overwritten at
    // fixed places: identification and extraction must end, release the
    // stream and stay within the text bound.
    Mutator m(12345);
    for (const auto &s : LoadSamples()) {
        if (s.file.rfind("docs/", 0) != 0) continue;
        std::string bytes = Bytes(s.file);
        ASSERT_FALSE(bytes.empty()) << s.file;
        for (int variant = 0; variant < 3; ++variant) {
            std::string mutated = m.Overwrite(bytes, 8 * variant);
            if (variant == 0) mutated.resize(mutated.size() * 2 / 3);
            std::string path = Temp("mutated", mutated);
            plugin->Format(path);
            Extraction r = plugin->Extract(path);
            EXPECT_EQ(r.opens, r.closes) << s.file << " variant " << variant;
            EXPECT_LE(r.text.size(), kTextCap) << s.file;
        }
    }
}

TEST_F(DxFilterPlugin, MisuseAndStreamErrorsFail) {
    FileStream fs(Data("docs/en.rtf"));
    void *doc = plugin->api.openDocument(plugin->handle, &fs.stream);
    ASSERT_NE(doc, nullptr);
    DXTextChunk chunk{nullptr, 0};
    EXPECT_NE(plugin->api.readText(plugin->handle, doc, &chunk, 0), 0);  // text not opened
    EXPECT_EQ(chunk.data, nullptr);
    ASSERT_EQ(plugin->api.openText(plugin->handle, doc), 0);
    fs.stream.read = [](DXStream *, void *, int) { return -1; };
    int rc = plugin->api.readText(plugin->handle, doc, &chunk, 0);
    free(chunk.data);
    EXPECT_NE(rc, 0);
    plugin->api.closeDocument(plugin->handle, doc);
    EXPECT_EQ(fs.closes, 1);
}

TEST_F(DxFilterPlugin, PresentationSlidesAreFollowedByTheirNotes) {
    const std::string ns =
        " xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\""
        " xmlns:p=\"http://schemas.openxmlformats.org/presentationml/2006/main\""
        " xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/"
        "relationships\"";
    const std::string transitional =
        "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
    const std::string strict = "http://purl.oclc.org/ooxml/officeDocument/relationships/";
    auto rels = [](const std::string &relationships) {
        return "<Relationships "
               "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">" +
               relationships + "</Relationships>";
    };
    auto rel = [](const std::string &id, const std::string &type, const std::string &target,
                  const std::string &mode = "") {
        return "<Relationship Id=\"" + id + "\" Type=\"" + type + "\" Target=\"" + target + "\"" +
               mode + "/>";
    };
    auto shape = [](const std::string &placeholder, const std::string &text) {
        return "<p:sp><p:nvSpPr><p:cNvPr id=\"2\" name=\"s\"/><p:cNvSpPr/><p:nvPr>" + placeholder +
               "</p:nvPr></p:nvSpPr><p:txBody><a:p><a:r><a:t>" + text +
               "</a:t></a:r></a:p></p:txBody></p:sp>";
    };
    auto page = [&](const std::string &root, const std::string &shapes) {
        return "<p:" + root + ns + "><p:cSld><p:spTree>" + shapes +
               "</p:spTree></p:cSld></p:" + root + ">";
    };
    auto slide = [&](const std::string &text) { return page("sld", shape("", text)); };
    // On slides as on notes pages the footer, date and number placeholders
    // and the number and date fields of any shape are left out; the other
    // placeholders are read.
    const std::string footed = page(
        "sld", shape("<p:ph type=\"title\"/>", "one") +
                   shape("<p:ph type=\"ftr\" sz=\"quarter\" idx=\"11\"/>", "footer line") +
                   shape("<p:ph type=\"dt\" sz=\"half\" idx=\"10\"/>", "09.12.2026") +
                   shape("<p:ph type=\"sldNum\" sz=\"quarter\" idx=\"12\"/>",
                         "</a:t></a:r><a:fld type=\"slidenum\"><a:t>‹#›</a:t></a:fld><a:r><a:t>") +
                   shape("<p:ph type=\"hdr\"/>", "header") +
                   shape("<p:ph type=\"subTitle\" idx=\"1\"/>", "subtitle") +
                   shape("<p:ph idx=\"2\"/>",
                         "body</a:t></a:r><a:fld type=\"datetime4\">"
                         "<a:t>9 December 2026</a:t></a:fld><a:r><a:t>") +
                   shape("<p:ph type=\"obj\" idx=\"3\"/>", "object") +
                   shape("",
                         "box</a:t></a:r><a:fld type=\"slidenum\"><a:t>1</a:t></a:fld>"
                         "<a:r><a:t> of eight</a:t></a:r><a:br/><a:r><a:t>end"));
    std::vector<std::pair<std::string, std::string>> parts = {
        {"[Content_Types].xml", "<Types/>"},
        {"ppt/presentation.xml", "<p:presentation" + ns + "><p:sldIdLst>"},
        {"ppt/_rels/presentation.xml.rels", ""},
        {"ppt/notesMasters/notesMaster1.xml",
         page("notesMaster", shape("<p:ph type=\"body\"/>", "Click to edit Master text styles"))},
        {"ppt/notesSlides/notesSlide1.xml",
         page("notes", shape("<p:ph type=\"sldImg\"/>", "image") +
                           shape("<p:ph type=\"body\" idx=\"1\"/>",
                                 "Заметки докладчика</a:t></a:r><a:br/><a:r><a:t>вторая") +
                           shape("<p:ph type=\"sldNum\" sz=\"quarter\" idx=\"5\"/>", "1") +
                           shape("<p:ph type=\"hdr\"/>", "header") +
                           shape("<p:ph type=\"ftr\"/>", "footer") +
                           shape("<p:ph type=\"dt\"/>", "9.12.2026") +
                           shape("",
                                 "own box</a:t></a:r><a:fld type=\"slidenum\"><a:t>1</a:t>"
                                 "</a:fld><a:fld type=\"datetime1\"><a:t>9.12.2026</a:t>"
                                 "</a:fld><a:r><a:t>"))},
        {"ppt/notesSlides/_rels/notesSlide1.xml.rels",
         rels(rel("rId1", transitional + "notesMaster", "../notesMasters/notesMaster1.xml"))},
        {"ppt/notesSlides/notesSlide2.xml", page("notes", shape("<p:ph idx=\"1\"/>", "strict"))},
        {"ppt/notesSlides/notesSlide3.xml",
         page("notes", shape("<p:ph type=\"body\"/>", "cut short</a:t></a:r></a:p><a:p><a:t"))},
    };
    // Slides: with notes (after other relationships); with notes named by a
    // strict relationship and an absolute name; naming notes read already;
    // naming the notes master, external notes, a missing part, notes cut
    // short; without relationships.
    const std::vector<std::pair<std::string, std::string>> slides = {
        {"one", rel("rId1", transitional + "slideLayout", "../slideLayouts/slideLayout1.xml") +
                    rel("rId2", transitional + "notesSlide", "../notesSlides/notesSlide1.xml")},
        {"two", rel("rId1", strict + "notesSlide", "/ppt/notesSlides/notesSlide2.xml")},
        {"three", rel("rId1", transitional + "notesSlide", "../notesSlides/notesSlide1.xml") +
                      rel("rId2", transitional + "notesSlide", "../notesSlides/notesSlide2.xml")},
        {"four", rel("rId1", transitional + "notesSlide", "../notesMasters/notesMaster1.xml")},
        {"five", rel("rId1", transitional + "notesSlide", "http://example.com/notes.xml",
                     " TargetMode=\"External\"")},
        {"six", rel("rId1", transitional + "notesSlide", "../notesSlides/missing.xml")},
        {"seven", rel("rId1", transitional + "notesSlide", "../notesSlides/notesSlide3.xml")},
        {"eight", ""},
    };
    std::string order, presentationRels;
    for (size_t i = 0; i < slides.size(); ++i) {
        const std::string n = std::to_string(i + 1), id = "rId" + n;
        order += "<p:sldId id=\"" + std::to_string(256 + i) + "\" r:id=\"" + id + "\"/>";
        presentationRels += rel(id, transitional + "slide", "slides/slide" + n + ".xml");
        parts.push_back(
            {"ppt/slides/slide" + n + ".xml", i == 0 ? footed : slide(slides[i].first)});
        if (!slides[i].second.empty())
            parts.push_back({"ppt/slides/_rels/slide" + n + ".xml.rels", rels(slides[i].second)});
    }
    parts[1].second += order + "</p:sldIdLst></p:presentation>";
    parts[2].second = rels(presentationRels);
    const std::string expected =
        "one\nsubtitle\nbody\nobject\nbox of eight\nend\n"
        "Заметки докладчика\nвторая\nown box\ntwo\nstrict\nthree\n"
        "four\nfive\nsix\nseven\ncut short\neight\n";
    EXPECT_EQ(plugin->Extract(Temp("notes.pptx", StoredZip(parts))).utf8(), expected);
    // A presentation that does not list its slides: the slides by number.
    parts[1].second = "<p:presentation" + ns + "/>";
    parts.erase(parts.begin() + 2);
    EXPECT_EQ(plugin->Extract(Temp("numbered.pptx", StoredZip(parts))).utf8(), expected);
}
