// Declarations and byte-level guesses on whole sample documents.
#include <gtest/gtest.h>

#include <stdint.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "charset/charset_guess.h"
#include "charset/markup_decl.h"
#include "platform/vos.h"

namespace {

// The document's bytes followed by a NUL, as the detection flow reads them.
std::vector<char> read_sample(const char *name) {
    std::ifstream in(std::string(GLOTTA_TEST_DATA) + "/charset/" + name, std::ios::binary);
    EXPECT_TRUE(in) << name;
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    bytes.push_back('\0');
    return bytes;
}

struct Findings {
    int32_t declared = -1;
    std::string language;
    int32_t guessed = -1;
};

Findings examine(const char *name, int32_t kind) {
    std::vector<char> doc = read_sample(name);
    int32_t length = static_cast<int32_t>(doc.size()) - 1;
    Findings f;
    EXPECT_EQ(ExtractCharset(kind, doc.data(), length, &f.declared), 0);
    char *language = nullptr;
    EXPECT_EQ(ExtractLanguage(kind, doc.data(), length, &language), 0);
    f.language = language ? language : "(none)";
    vos_free(language);
    EXPECT_EQ(GuessCharset(reinterpret_cast<const unsigned char *>(doc.data()), length, &f.guessed),
              0);
    return f;
}

TEST(CharsetSamples, RussianPageInCodePage1251) {
    Findings f = examine("ru_cp1251.html", 3);
    // The commented-out KOI8-R declaration is skipped.
    EXPECT_EQ(f.declared, 6);
    EXPECT_EQ(f.language, "ru");
    EXPECT_EQ(f.guessed, 0);
}

TEST(CharsetSamples, JapanesePageInShiftJis) {
    Findings f = examine("ja_sjis.html", 3);
    EXPECT_EQ(f.declared, 1);
    EXPECT_EQ(f.language, "ja");
    EXPECT_EQ(f.guessed, 0);
}

TEST(CharsetSamples, XmlFeedInLatin9) {
    Findings f = examine("feed_latin9.xml", 4);
    EXPECT_EQ(f.declared, 24);
    EXPECT_EQ(f.language, "(none)");
    EXPECT_EQ(f.guessed, 0);
}

TEST(CharsetSamples, PlainTextGuesses) {
    EXPECT_EQ(examine("de_utf8.txt", 1).guessed, 53);
    EXPECT_EQ(examine("fr_utf16le_bom.txt", 1).guessed, 100);
    EXPECT_EQ(examine("el_utf16be.txt", 1).guessed, 101);
    EXPECT_EQ(examine("de_utf8.txt", 1).declared, 0);
}

}  // namespace
