// DjVu documents through the filter plug-in (dxfilter_djvu.so, DjVuLibre):
// the format rule, the hidden text of the fixtures (scripts/
// make_djvu_fixtures.py) in page order, pages and documents without text,
// indirect documents, the text cap, and damaged, cut and mutated documents.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>

#include "dxfilter_test_support.h"

namespace {

using namespace dxfilter_test;

class DxFilterDjvu : public OleReaderTest {
  protected:
    DxFilterDjvu() : OleReaderTest("d.djvu") {}
    static std::string Sample(const std::string &name) { return Bytes("djvu/" + name); }
};

TEST_F(DxFilterDjvu, OnlySingleAndMultiPageFormsTakeTheFormat) {
    const std::string page = Sample("en.djvu");
    // A shared dictionary or thumbnails share the container; a head cut
    // before the form type is no document either.
    std::string shared = page;
    shared.replace(12, 4, "DJVI");
    EXPECT_NE(plugin->Format(Temp("a.djvu", shared)), DX_FMT_DJVU);
    std::string other = page;
    other.replace(0, 4, "AT&S");
    EXPECT_NE(plugin->Format(Temp("b.djvu", other)), DX_FMT_DJVU);
    EXPECT_NE(plugin->Format(Temp("c.djvu", page.substr(0, 14))), DX_FMT_DJVU);
}

TEST_F(DxFilterDjvu, HiddenTextComesOutInLinesAndParagraphs) {
    EXPECT_EQ(Text(Sample("de.djvu")),
              "Die Gärtnerin im Frühling\n"
              "Im Frühling pflanzt die Gärtnerin neue Rosen entlang\n"
              "der alten Mauer hinter dem Haus.\n"
              "Ihre Nachbarn bleiben oft stehen und fragen, wie\n"
              "sie die Blumen so gesund hält.\n");
    EXPECT_EQ(Text(Sample("ru.djvu")).rfind("Старый рыбак\nКаждое утро старый рыбак", 0), 0u);
}

TEST_F(DxFilterDjvu, BundledPagesComeInPageOrderAndPagesWithoutTextGiveNone) {
    const std::string book = Text(Sample("book.djvu"));
    const size_t spanish = book.find("El relojero del pueblo\n");
    const size_t german = book.find("Die Gärtnerin im Frühling\n");
    EXPECT_EQ(spanish, 0u) << book;
    ASSERT_NE(german, std::string::npos) << book;
    EXPECT_NE(book.find("hace muchos años.\nDie Gärtnerin"), std::string::npos) << book;
    const std::string last = "sie die Blumen so gesund hält.\n";
    EXPECT_TRUE(book.size() > last.size() && book.ends_with(last)) << book;
}

TEST_F(DxFilterDjvu, DocumentsWithoutTextAreEmpty) {
    Extraction r = Run(Sample("notext.djvu"));
    EXPECT_TRUE(r.opened && r.openText == 0 && r.readError == 0);
    EXPECT_TRUE(r.text.empty()) << r.utf8();
}

TEST_F(DxFilterDjvu, IndirectDamagedAndCutDocumentsFailCleanly) {
    // The pages of an indirect document are files of their own; a text
    // chunk overwritten in the middle cannot be decoded.
    ExpectRefused(Sample("indirect.djvu"), "indirect");
    ExpectRefused(Sample("damaged.djvu"), "damaged");
    ExpectRefused(Sample("en.djvu").substr(0, 16), "a header alone");
    // Cut inside its second page: the first page's text, and the end.
    Extraction cut = Run(Sample("truncated.djvu"));
    EXPECT_TRUE(cut.opened && cut.openText == 0 && cut.readError == 0);
    EXPECT_TRUE(cut.opens == 1 && cut.closes == 1);
    EXPECT_TRUE(cut.utf8().starts_with("El relojero del pueblo\n")) << cut.utf8();
    EXPECT_TRUE(cut.utf8().ends_with("hace muchos años.\n")) << cut.utf8();
    // Every cut of the bundled document is bounded and balanced.
    ExpectCutsBounded(Sample("book.djvu"), 11, 600);
}

TEST_F(DxFilterDjvu, APageThatIncludesAnotherFileDoesNotWaitForIt) {
    // An `INCL` chunk names a file the page shares with others; in a single
    // page nothing holds it, and DjVuLibre asks for it as a stream of its
    // own, which the module refuses at once.
    std::string page = Sample("en.djvu");
    const size_t info = 16 + 8 + 10;  // FORM header, INFO chunk header and body
    ASSERT_EQ(page.compare(16, 4, "INFO"), 0);
    page.insert(info, std::string("INCL\0\0\0\x0Cshared.djvi", 20));
    const uint32_t length = static_cast<uint32_t>(page.size() - 8);
    for (int i = 0; i < 4; ++i) page[8 + i] = static_cast<char>(length >> (24 - 8 * i));
    const auto start = std::chrono::steady_clock::now();
    Extraction r = Run(page);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_TRUE(r.opens == 1 && r.closes == 1);
    EXPECT_TRUE(r.text.empty() || r.utf8().starts_with("The lighthouse keeper\n")) << r.utf8();
}

TEST_F(DxFilterDjvu, LongTextStopsAtTheTextCap) {
    Extraction r = Run(Sample("long.djvu"));
    ExpectFilledToTheCap(r);
    EXPECT_EQ(r.utf8().rfind("From the window he counts", 0), 0u);
}

TEST_F(DxFilterDjvu, MutatedDocumentsNeverBreakThePlugin) {
    Mutator m(4242);
    for (const char *name : {"book.djvu", "fr.djvu"})
        ExpectDamageBounded(m, Sample(name), {.rounds = 60, .most = 8, .from = 16}, 2048, name);
}

}  // namespace
