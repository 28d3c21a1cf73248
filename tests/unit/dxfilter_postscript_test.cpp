// PostScript documents through the filter plug-in (dxfilter_ps.so,
// Ghostscript's txtwrite device in a process of its own per document, forked
// from the worker's initialised instance): the format rule, the text of the
// fixtures (scripts/fixtures/postscript.py) and of documents built here,
// what happens to damaged, looping and file-reaching ones, and that no
// document sees what the one before it did.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>

#include "dxfilter_test_support.h"

namespace {

using namespace dxfilter_test;

// A one-page document that shows `body` (PostScript strings, one line each)
// in Times-Roman.
std::string Page(const std::string &body) {
    return "%!PS-Adobe-3.0\n/Times-Roman findfont 12 scalefont setfont\n" + body + "showpage\n";
}

// The DOS EPS binary header in front of `ps`: section at `offset`, `length`
// bytes long (the real values when both are 0).
std::string DosEps(const std::string &ps, uint32_t offset = 0, uint32_t length = 0) {
    auto le32 = [](uint32_t v) {
        return std::string{static_cast<char>(v), static_cast<char>(v >> 8),
                           static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
    };
    std::string header = "\xC5\xD0\xD3\xC6" + le32(offset ? offset : 30) +
                         le32(length ? length : static_cast<uint32_t>(ps.size())) + le32(0) +
                         le32(0) + le32(0) + le32(0) + "\xFF\xFF";
    return header + ps;
}

class DxFilterPostScript : public OleReaderTest {
  protected:
    DxFilterPostScript() : OleReaderTest("d.ps") {}
    Extraction File(const std::string &name) { return plugin->Extract(Data(name)); }
};

const char kGerman[] =
    "Der Leuchtturmwärter\n"
    "Jeden Abend steigt der alte Wärter die schmale Treppe des\n"
    "Leuchtturms hinauf.\n"
    "Er putzt die große Lampe, zieht die Uhr auf und schreibt das\n"
    "Wetter in sein Buch.\n"
    "Wenn Nebel vom Meer heraufzieht, lässt er das Horn ertönen,\n"
    "bis der Morgen graut.\n"
    "Im Winter bleiben die Schiffe im Hafen, und er streicht das\n"
    "Geländer weiß.\n";

TEST_F(DxFilterPostScript, OnlyPostScriptTakesTheFormat) {
    const std::string ps = Page("72 700 moveto (Hallo) show\n");
    for (const std::string &doc :
         {ps, std::string("%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 10 10\n"),
          "\xEF\xBB\xBF" + ps, "\x04" + ps, "\xEF\xBB\xBF\x04" + ps, DosEps(ps),
          DosEps(std::string(20, ' ') + ps, 50, static_cast<uint32_t>(ps.size()))})
        EXPECT_EQ(plugin->Format(Temp("a.ps", doc)), DX_FMT_POSTSCRIPT) << doc.substr(0, 8);
    // Other "%!" programs, a header later in the file, and DOS EPS headers
    // whose section lies outside the file, inside the header, or does not
    // start with the PostScript header.
    for (const std::string &doc :
         {std::string("%!\n/Times-Roman findfont\n"), "%!Ps" + ps.substr(4), " " + ps,
          "\x04\x04" + ps, "Printed by:\n" + ps, DosEps(ps, 30, 1 << 20), DosEps(ps, 12),
          DosEps("%!P"), DosEps("x" + ps)})
        EXPECT_NE(plugin->Format(Temp("b.ps", doc)), DX_FMT_POSTSCRIPT) << doc.substr(0, 8);
}

TEST_F(DxFilterPostScript, ASectionPastTheHeadIsFoundByOneRead) {
    // A preview before the PostScript section that pushes it past the 8 KiB
    // of the head (whole or in part): the identification reads the
    // section's first bytes.
    const std::string ps = Page("72 700 moveto (Hinter der Vorschau) show\n");
    const auto far = [](size_t previewBytes, const std::string &section, uint32_t offset = 0) {
        const std::string preview = "II*" + std::string(previewBytes - 3, '\0');
        return DosEps(preview + section, offset ? offset : static_cast<uint32_t>(30 + previewBytes),
                      static_cast<uint32_t>(section.size()));
    };
    for (size_t previewBytes : {8160u, 8162u, 9000u})
        EXPECT_EQ(plugin->Format(Temp("far.eps", far(previewBytes, ps))), DX_FMT_POSTSCRIPT)
            << previewBytes;
    EXPECT_EQ(Text(far(9000, ps)), "Hinter der Vorschau\n");
    EXPECT_EQ(Text(Bytes("docs/de-preview-first.eps")), kGerman);
    // Past the head, a section that does not start with the header (or
    // lies in the preview), or a file cut inside the header: what the head
    // alone makes of it.
    const int other = plugin->Format(Temp("x.eps", far(9000, "x" + ps)));
    EXPECT_NE(other, DX_FMT_POSTSCRIPT);
    EXPECT_EQ(plugin->Format(Temp("y.eps", far(9000, ps, 8500))), other);
    EXPECT_EQ(plugin->Format(Data("bad/section-in-preview.eps")), other);
    std::string cut = far(9000, ps);
    cut.resize(30 + 9000 + 2);
    EXPECT_NE(plugin->Format(Temp("z.eps", cut)), DX_FMT_POSTSCRIPT);
}

TEST_F(DxFilterPostScript, PagesGiveTheirTextInIsoLatin1) {
    Extraction de = File("docs/de.ps");
    ASSERT_TRUE(de.opened && de.openText == 0 && de.readError == 0);
    EXPECT_EQ(de.utf8(), kGerman);
    EXPECT_TRUE(de.endRepeats);
    // The same inside gzip, the same behind a Ctrl-D or a byte-order mark.
    EXPECT_EQ(File("compressed/de.ps.gz").utf8(), kGerman);
    EXPECT_EQ(Text("\x04" + Bytes("docs/de.ps")), kGerman);
    EXPECT_EQ(Text("\xEF\xBB\xBF" + Bytes("docs/de.ps")), kGerman);
    // Two pages in order; the apostrophe of ISOLatin1Encoding is U+2019.
    const std::string fr = File("docs/fr.ps").utf8();
    EXPECT_EQ(fr.rfind("Le gardien du phare\nChaque soir, le vieux gardien monte l’escalier", 0),
              0u)
        << fr;
    EXPECT_LT(fr.find("étroit"), fr.find("rambarde en blanc.\n"));
}

TEST_F(DxFilterPostScript, EpsFiguresAreShownAndPreviewsSkipped) {
    // An EPS file has no showpage; one behind a DOS header has a TIFF
    // preview after its PostScript section, which Ghostscript never sees.
    const std::string pt = Text(Bytes("docs/pt.eps"));
    EXPECT_EQ(pt.rfind("O faroleiro\nTodas as noites o velho faroleiro", 0), 0u) << pt;
    EXPECT_NE(pt.find("lâmpada, dá corda ao relógio"), std::string::npos) << pt;
    const std::string nl = Text(Bytes("docs/nl-preview.eps"));
    EXPECT_EQ(nl.rfind("De vuurtorenwachter\n", 0), 0u) << nl;
    EXPECT_NE(nl.find("de reling wit.\n"), std::string::npos) << nl;
    // The section cut before its end: the figure is shown up to the cut.
    const std::string ps =
        Page("72 700 moveto (Zeile eins) show\n72 680 moveto (Zeile zwei) show\n");
    EXPECT_EQ(Text(DosEps(ps + "% trailing\n", 30, static_cast<uint32_t>(ps.size()))),
              "Zeile eins\nZeile zwei\n");
}

TEST_F(DxFilterPostScript, PagesAreLaidOutFromTheirGlyphs) {
    // Pieces at one height come left to right whatever order they are drawn
    // in, words drawn one by one get their spaces, and a raised footnote
    // mark stays on its line; the same text on every run.
    const std::string ps = Page(
        "300 700 moveto (rechts) show 72 700 moveto (links) show\n"
        "72 680 moveto (Wort) show 101 680 moveto (fuer) show 124 680 moveto (Wort) show\n"
        "/Times-Roman findfont 7 scalefont setfont 149 684 moveto (1) show\n"
        "72 500 moveto (unten) show\n");
    const std::string text = Text(ps);
    EXPECT_EQ(text, "links rechts\nWort fuer Wort1\nunten\n");
    for (int run = 0; run < 3; ++run) EXPECT_EQ(Text(ps), text);
}

TEST_F(DxFilterPostScript, DocumentsWithoutTextAreEmpty) {
    for (const std::string &doc :
         {Bytes("docs/empty.ps"), std::string("%!PS\n"), Page("72 700 moveto (   ) show\n")}) {
        Extraction r = Run(doc);
        EXPECT_TRUE(r.opened && r.openText == 0 && r.readError == 0) << doc;
        EXPECT_TRUE(r.text.empty()) << r.utf8();
    }
}

TEST_F(DxFilterPostScript, DamagedDocumentsKeepTheirFinishedPages) {
    // An error on the second page: the first page's text, and no error.
    Extraction error = File("bad/error.ps");
    ASSERT_TRUE(error.opened && error.openText == 0 && error.readError == 0);
    EXPECT_EQ(error.utf8(),
              "Der Leuchtturmwärter\n"
              "Jeden Abend steigt der alte Wärter die schmale Treppe des\n"
              "Leuchtturms hinauf.\n"
              "Er putzt die große Lampe, zieht die Uhr auf und schreibt das\n"
              "Wetter in sein Buch.\n");
    // Cut on its only page, or a syntax error before any page: refused.
    ExpectRefused(Bytes("bad/truncated.ps"), "truncated");
    ExpectRefused(Page("72 700 moveto (Hallo) show } 72 680 moveto\n"), "unbalanced brace");
    // Every cut of a two-page document ends, bounded and balanced.
    ExpectCutsBounded(Bytes("docs/en.ps"), 97, 400);
}

TEST_F(DxFilterPostScript, FilesOutsideTheDocumentStayOutOfReach) {
    // Reading a system file is refused under -dSAFER: no page, no text.
    Extraction passwd = File("bad/passwd.ps");
    EXPECT_TRUE(passwd.opened);
    EXPECT_NE(passwd.openText, 0);
    EXPECT_TRUE(passwd.text.empty()) << passwd.utf8();
    // Writing, deleting and running a command are refused as well.
    const std::string victim = Temp("victim.txt", "keep me\n");
    const std::string made = victim + ".new";
    for (const std::string &body :
         {"(" + made + ") (w) file (x) writestring\n", "(" + victim + ") deletefile\n",
          "(%pipe%touch " + made + ") (w) file closefile\n",
          "(" + victim + ") (" + made + ") renamefile\n"}) {
        Extraction r = Run(Page(body + "72 700 moveto (Danach) show\n"));
        EXPECT_NE(r.openText, 0) << body;
        struct stat st {};
        EXPECT_EQ(stat(made.c_str(), &st), -1) << body;
        EXPECT_EQ(stat(victim.c_str(), &st), 0) << body;
    }
}

TEST_F(DxFilterPostScript, TheTemporaryDirectoryStaysOutOfReach) {
    // -dSAFER opens the temporary directory named when Ghostscript is
    // initialised to documents: the worker's (TMPDIR, or /tmp) must not be,
    // for the first document of a worker nor for a later one.
    const std::string name = "glotta-ps-probe-" + std::to_string(getpid());
    for (const std::filesystem::path &dir :
         {std::filesystem::temp_directory_path(), std::filesystem::path("/tmp")}) {
        const std::string made = (dir / name).string();
        for (int doc = 0; doc < 2; ++doc) {
            Extraction r = Run(Page("(" + made + ") (w) file dup (x) writestring closefile\n" +
                                    "72 700 moveto (Danach) show\n"));
            EXPECT_NE(r.openText, 0) << made;
            struct stat st {};
            EXPECT_EQ(stat(made.c_str(), &st), -1) << made;
            std::filesystem::remove(made);
        }
    }
}

TEST_F(DxFilterPostScript, NoDocumentSeesWhatTheOneBeforeItDid) {
    // Documents that change what they can of the interpreter: operators and
    // fonts redefined for good (exitserver, global VM, the systemdict they
    // may write), the page device, the graphics state left behind, a page
    // never shown. Each gives its own text, and the one after it the text it
    // gives in a worker of its own.
    const std::string de = Bytes("docs/de.ps");
    const std::string fr = Bytes("docs/fr.ps");
    const std::string deAlone = Text(de);
    const std::string frAlone = Text(fr);
    ASSERT_EQ(deAlone, kGerman);
    const std::string kLast = "72 700 moveto (Zuletzt) show\n";
    for (const std::string &body :
         {std::string("serverdict begin 0 exitserver /show { pop } bind def\n"),
          std::string("userdict /show { pop } put\n"),
          std::string("true setglobal /Times-Roman findfont dup length dict copy dup\n"
                      "/FontMatrix [0.1 0 0 0.1 0 0] put /Times-Roman exch definefont pop\n"
                      "false setglobal\n"),
          std::string("/Times-Roman /Courier findfont definefont pop\n"),
          std::string("<< /PageSize [100 100] /EndPage { pop pop false } >> setpagedevice\n"),
          std::string("2 2 scale 0.5 rotate /Courier findfont 30 scalefont setfont\n"),
          std::string("systemdict /showpage { } put\n")}) {
        const std::string changed = Page(body + kLast);
        const std::string first = Run(changed).utf8();
        EXPECT_EQ(Text(de), deAlone) << body;
        EXPECT_EQ(Run(changed).utf8(), first) << body;
        EXPECT_EQ(Text(fr), frAlone) << body;
    }
    // A page drawn without showpage (left for the trailing one) does not
    // end up on the next document's page.
    EXPECT_EQ(Text("%!PS\n/Times-Roman findfont 12 scalefont setfont 72 700 moveto (Offen) show\n"),
              "Offen\n");
    EXPECT_EQ(Text(de), deAlone);
}

TEST_F(DxFilterPostScript, LoopsEndAtTheCpuLimit) {
    // A loop before any page: refused once its CPU time is spent, and the
    // next document reads as before.
    const auto start = std::chrono::steady_clock::now();
    ExpectRefused(Bytes("bad/loop.ps"), "loop");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    EXPECT_EQ(Text(Bytes("docs/de.ps")), kGerman);
    // A page, then a loop: Ghostscript had not written the page's text out
    // when it was killed, so this one is refused as well; and again the
    // next document is untouched.
    ExpectRefused(Page("72 700 moveto (Erste Seite) show\n") + "{ 1 pop } loop\n", "page, loop");
    EXPECT_EQ(Text(Bytes("docs/de.ps")), kGerman);
    // A process that crashes or is killed from outside leaves the same.
    ExpectRefused(Page("72 700 moveto (Vorher) show\n") + "{ 1 pop } loop\n", "loop again");
    EXPECT_EQ(Text(Bytes("docs/fr.ps")).rfind("Le gardien du phare\n", 0), 0u);
}

TEST_F(DxFilterPostScript, LongDocumentsStopAtTheTextCap) {
    // 16,000 lines of 60 characters on 400 pages: more than the sink takes.
    Extraction r =
        Run("%!PS\n/Times-Roman findfont 8 scalefont setfont\n"
            "1 1 400 { pop 40 -1 1 { 20 mul 10 exch moveto\n"
            "(Der Waerter putzt die Lampe und schreibt das Wetter ins Buch) show } for showpage "
            "} for\n");
#if defined(__SANITIZE_ADDRESS__)
    // Instrumented, the worker forks and lays out glyphs several times
    // slower, and the document's CPU limit may come before the cap: the text
    // then ends cleanly, with most of it read.
    ASSERT_TRUE(r.opened && r.openText == 0) << r.readError;
    EXPECT_EQ(r.readError, 0);
    EXPECT_GE(r.text.size(), kTextCap / 2);
    EXPECT_LE(r.text.size(), kTextCap);
#else
    ExpectFilledToTheCap(r);
#endif
}

TEST_F(DxFilterPostScript, MutatedDocumentsNeverBreakThePlugin) {
    Mutator m(4242);
    ExpectDamageBounded(m, Bytes("docs/de.ps"), {.rounds = 24, .most = 6, .from = 4}, 2048);
}

}  // namespace
