// WordPerfect documents through the filter plug-in (dxfilter_wp.so, libwpd):
// the format rule (WordPerfect 5.x and later by their prefix; 4.2 and text
// that looks like it stay text), the text of the fixtures
// (scripts/fixtures/wordperfect.py) and of documents built here, and what
// happens to protected, damaged and over-large ones.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "dxfilter_test_support.h"

namespace {

using namespace dxfilter_test;

// A WordPerfect 5.1 document: the prefix (signature, document area offset,
// product, file type, version, no password), an index block without packets,
// then `area`.
std::string Wp5(const std::string &area, unsigned char product = 1, unsigned char type = 10,
                unsigned char major = 0) {
    std::string doc("\xFFWPC\x42\0\0\0", 8);
    doc += static_cast<char>(product);
    doc += static_cast<char>(type);
    doc += static_cast<char>(major);
    doc += std::string(5, '\0');
    doc += std::string("\xFB\xFF\x05\0\x32\0", 6) + std::string(4 + 40, '\0');
    return doc + area;
}

class DxFilterWordPerfect : public OleReaderTest {
  protected:
    DxFilterWordPerfect() : OleReaderTest("d.wpd") {}
    Extraction File(const std::string &name) { return plugin->Extract(Data(name)); }
};

TEST_F(DxFilterWordPerfect, ExtendedCharactersComeOutInTheirScripts) {
    // Multinational (set 1) and Cyrillic (set 10) letters; a hard return ends
    // a paragraph.
    Extraction de = File("docs/de.wpd");
    ASSERT_TRUE(de.opened && de.openText == 0 && de.readError == 0);
    EXPECT_EQ(de.utf8(),
              "Der Fuchs und der Bäcker\n"
              "Der schnelle braune Fuchs springt über den faulen Hund am Flussufer.\n"
              "Jeden Morgen öffnet der Bäcker seinen Laden und verkauft frisches Brot.\n");
    EXPECT_EQ(File("docs/ru.wpd").utf8(),
              "Лиса и пекарь\n"
              "Быстрая коричневая лиса прыгает через ленивую собаку у реки.\n"
              "Каждое утро пекарь открывает свою лавку и продаёт свежий хлеб соседям.\n");
}

TEST_F(DxFilterWordPerfect, FootnotesFollowTheMainTextAndHeadersAreLeftOut) {
    Extraction r = File("docs/fr-notes.wpd");
    ASSERT_TRUE(r.opened && r.openText == 0 && r.readError == 0);
    // The note's mark is dropped; its text comes after the main text. (The
    // paragraph that holds it is one line, wrapped after 72 characters.)
    EXPECT_EQ(r.utf8(),
              "Le renard et le boulanger\n"
              "Le renard brun rapide saute par-dessus le chien paresseux près de la rivière.\n"
              "Chaque matin, le boulanger ouvre sa boutique et vend du pain frais aux voisins.\n"
              "Une note de bas de page sur le chien endormi.\n");
}

TEST_F(DxFilterWordPerfect, OnlyWordPerfectDocumentsTakeTheFormat) {
    EXPECT_EQ(plugin->Format(Temp("a.wpd", Wp5("text\n"))), DX_FMT_WORDPERFECT);
    EXPECT_EQ(plugin->Format(Temp("b.wpd", Wp5("text\n", 1, 10, 2))), DX_FMT_WORDPERFECT);  // 6+
    // A WordPerfect graphic and a macro share the signature; a prefix cut
    // before the file type is no document either.
    EXPECT_NE(plugin->Format(Temp("c.wpg", Wp5("", 0x16, 1))), DX_FMT_WORDPERFECT);
    EXPECT_NE(plugin->Format(Temp("d.wpm", Wp5("", 1, 1))), DX_FMT_WORDPERFECT);
    EXPECT_NE(plugin->Format(Temp("e.wpd", Wp5("").substr(0, 9))), DX_FMT_WORDPERFECT);
}

// WordPerfect 4.2 documents have no prefix: their function groups (a byte
// from 0xC0, closed by the same byte at the group's length) are letters in
// 8-bit text, so they are read as 8-bit text, and so is text that libwpd's
// own test takes for them.
TEST_F(DxFilterWordPerfect, WordPerfect42DocumentsAndTheirLookAlikesStayText) {
    // "später ändern" in code page 1252: a group of six bytes (0xE4).
    EXPECT_EQ(plugin->Format(Temp("a.txt", "Sie k\xF6nnen das sp\xE4ter \xE4ndern.\n")),
              DX_FMT_TEXT);
    // "или" in code page 1251: a group of three bytes (0xE8).
    EXPECT_EQ(plugin->Format(Temp("b.txt", "Use -q \xE8\xEB\xE8 --quiet to run it.\n")),
              DX_FMT_TEXT);
}

TEST_F(DxFilterWordPerfect, ProtectedAndUnknownDocumentsAreRefused) {
    for (const char *name : {"bad/encrypted.wpd", "bad/version.wpd"}) {
        Extraction r = File(name);
        EXPECT_TRUE(r.opened) << name;
        EXPECT_NE(r.openText, 0) << name;
        EXPECT_TRUE(r.text.empty()) << name;
        EXPECT_TRUE(r.opens == 1 && r.closes == 1) << name;
    }
    // Protected by a password with nothing encrypted after the prefix.
    std::string key = Wp5("Der Fuchs\n");
    key[12] = '\x12';
    ExpectRefused(key, "password checksum");
}

TEST_F(DxFilterWordPerfect, DocumentsWithoutTextAreEmpty) {
    // Opened, and the text ends at once: the engine answers an empty document.
    std::string beyond = Wp5("Der Fuchs\n");
    beyond[5] = '\x7F';  // the document area starts past the end
    for (const std::string &doc : {Bytes("docs/empty.wpd"), Wp5("\n\n\n"), beyond}) {
        Extraction r = Run(doc);
        EXPECT_TRUE(r.opened && r.openText == 0 && r.readError == 0);
        EXPECT_TRUE(r.text.empty()) << r.utf8();
    }
}

TEST_F(DxFilterWordPerfect, DamagedDocumentsGiveTheTextLibwpdReads) {
    // Cut inside the footnote: the text before it and no error, as libwpd
    // ends the document at the cut; the note, incomplete, is read as text.
    const std::string truncated = Text(Bytes("bad/truncated.wpd"));
    EXPECT_EQ(truncated.rfind("Le renard et le boulanger\n"
                              "Le renard brun rapide saute par-dessus le chien paresseux près de "
                              "la rivière.",
                              0),
              0u)
        << truncated;
    EXPECT_EQ(truncated.find("Chaque"), std::string::npos) << truncated;
    // A note whose two lengths disagree is read as text too: libwpd goes on
    // to the end.
    const std::string corrupt = Text(Bytes("bad/corrupt.wpd"));
    EXPECT_NE(corrupt.find("endormi. Chaque matin"), std::string::npos) << corrupt;
    // Every cut of a document with a note is bounded and balanced.
    ExpectCutsBounded(Bytes("docs/fr-notes.wpd"), 7, 400);
}

TEST_F(DxFilterWordPerfect, LongDocumentsStopAtTheTextCap) {
    // 1.5 M characters in 30,000 paragraphs: the sink's cap ends libwpd's
    // parse, within the document's time.
    std::string area;
    for (int i = 0; i < 30000; ++i) area += "Der Fuchs springt am Flussufer ueber den Hund.\n";
    Extraction r = Run(Wp5(area));
    ExpectFilledToTheCap(r);
    EXPECT_EQ(r.utf8().rfind("Der Fuchs springt", 0), 0u);
}

TEST_F(DxFilterWordPerfect, MutatedDocumentsNeverBreakThePlugin) {
    Mutator m(12345);
    for (const char *name : {"docs/fr-notes.wpd", "docs/ru.wpd"})
        ExpectDamageBounded(m, Bytes(name), {.rounds = 60, .most = 8, .from = 16}, 2048, name);
}

}  // namespace
