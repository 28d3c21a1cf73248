#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "engine/lang_api.h"
#include "pipeline/markup_clean.h"
#include "platform/vos.h"

namespace {

struct Cut {
    int rc;
    std::string text;
    int32_t references;
};

// Cleans `markup` from a heap copy of exactly its size, so ASan catches any
// read past the end.
Cut cut(const std::string &markup, int32_t capacity = 2048, int removeScripts = 1) {
    std::vector<unsigned char> bytes(markup.begin(), markup.end());
    unsigned char *text = nullptr;
    int32_t length = -1;
    int32_t references = -1;
    Cut result{};
    result.rc = SGMLCutTags(bytes.data(), static_cast<int32_t>(bytes.size()), capacity,
                            removeScripts, &text, &length, &references);
    if (text) {
        EXPECT_EQ(text[length], '\0');
        result.text.assign(reinterpret_cast<char *>(text), static_cast<size_t>(length));
    }
    result.references = references;
    vos_free(text);
    return result;
}

std::string replace(std::string text, int raw) {
    std::vector<unsigned char> bytes(text.begin(), text.end());
    bytes.push_back(0);  // room for the terminator
    int32_t length = static_cast<int32_t>(text.size());
    EXPECT_EQ(ReplaceEntity(bytes.data(), &length, raw), 0);
    EXPECT_EQ(bytes[static_cast<size_t>(length)], 0);
    return std::string(reinterpret_cast<char *>(bytes.data()), static_cast<size_t>(length));
}

uint32_t value_of(const char *name) {
    uint32_t out = 12345;
    const uint32_t v = MatchEntity(name, &out);
    EXPECT_EQ(v, out);
    return v;
}

}  // namespace

TEST(EntityTables, HoldEveryRowInOrder) {
    int latin = 0;
    while (Entity_latin1[latin].name) ++latin;
    int greek = 0;
    while (Entity_greek[greek].name) ++greek;
    EXPECT_EQ(latin, 66);
    EXPECT_EQ(greek, 52);
    EXPECT_STREQ(Entity_latin1[0].name, "amp");
    EXPECT_STREQ(Entity_latin1[65].name, "yuml");
    EXPECT_STREQ(Entity_greek[0].name, "Alpha");
    EXPECT_STREQ(Entity_greek[51].name, "piv");
    // The Latin-1 letters: code point and 8-bit code agree, 215 and 247 missing.
    for (int i = 4; i < latin; ++i) {
        EXPECT_EQ(Entity_latin1[i].codePoint, Entity_latin1[i].code8) << Entity_latin1[i].name;
        EXPECT_NE(Entity_latin1[i].codePoint, 215u);
        EXPECT_NE(Entity_latin1[i].codePoint, 247u);
    }
    for (int i = 0; i < 49; ++i) {
        EXPECT_EQ(Entity_greek[i].code8, Entity_greek[i].codePoint - 720) << Entity_greek[i].name;
    }
    for (int i = 49; i < 52; ++i) EXPECT_EQ(Entity_greek[i].code8, Entity_greek[i].codePoint);
}

TEST(MatchEntity, NamedReferencesAreCaseSensitive) {
    EXPECT_EQ(value_of("eacute"), 233u);
    EXPECT_EQ(value_of("Eacute"), 201u);
    EXPECT_EQ(value_of("alpha"), 945u);
    EXPECT_EQ(value_of("Alpha"), 913u);
    EXPECT_EQ(value_of("thetasym"), 977u);
    EXPECT_EQ(value_of("amp"), 32u);
    EXPECT_EQ(value_of("EACUTE"), 0u);
    EXPECT_EQ(value_of("times"), 0u);
    EXPECT_EQ(value_of(""), 0u);
    uint32_t v = 7;
    EXPECT_EQ(lookup_table(Entity_greek, "eacute", &v), 0u);
    EXPECT_EQ(v, 0u);
    EXPECT_EQ(lookup_table(Entity_latin1, "szlig", &v), 223u);
    EXPECT_EQ(v, 223u);
}

TEST(MatchEntity, NumericForms) {
    EXPECT_EQ(value_of("#233"), 233u);
    EXPECT_EQ(value_of("#0xE9"), 0xE9u);
    EXPECT_EQ(value_of("#0xe9"), 0xE9u);
    EXPECT_EQ(value_of("#xE9"), 0u);                  // no '0' before the x: decimal, no digits
    EXPECT_EQ(value_of("#0XE9"), 0u);                 // capital X is not the hexadecimal mark
    EXPECT_EQ(value_of("#12abc"), 12u);               // decimal stops at the first non-digit
    EXPECT_EQ(value_of("#0x1g"), 16u + ('g' - '0'));  // any byte is a "digit"
    EXPECT_EQ(value_of("#"), 0u);
    // Absurdly long numbers wrap instead of overflowing.
    value_of("#99999999999999999999999999");
    value_of("#0xffffffffffffffffffffff");
}

TEST(SGMLCutTags, WordsAndReferenceOfLetter) {
    Cut c = cut("<p>caf&eacute; au lait</p>");
    EXPECT_EQ(c.rc, 0);
    EXPECT_EQ(c.text, "caf&eacute; au lait ");
    EXPECT_EQ(c.references, 1);
    EXPECT_EQ(replace(c.text, 0), "caf\xC3\xA9 au lait ");
}

TEST(SGMLCutTags, StructuralReferenceJoinsNoise) {
    Cut c = cut("<p>fish&amp;chips</p>");
    EXPECT_EQ(c.text, "fish chips ");
    EXPECT_EQ(c.references, 0);
    EXPECT_EQ(cut("bread &amp; butter").text, "bread butter ");
}

TEST(SGMLCutTags, NumericReferences) {
    EXPECT_EQ(replace(cut("<p>x&#233;y</p>").text, 0), "x\xC3\xA9y ");
    EXPECT_EQ(replace(cut("<p>x&#0xE9;y</p>").text, 0), "x\xC3\xA9y ");
    Cut dropped = cut("<p>x&#xE9;y</p>");
    EXPECT_EQ(dropped.references, 0);
    EXPECT_EQ(dropped.text, "x y ");
    EXPECT_EQ(replace(cut("<p>&alpha;</p>").text, 0), "\xCE\xB1 ");
    // Small inputs bound the output: the closing space finds no room here.
    EXPECT_EQ(replace(cut("&alpha;").text, 0), "\xCE\xB1");
}

TEST(SGMLCutTags, NoiseRunsBecomeOneSpace) {
    EXPECT_EQ(cut("one, two; 3 four!").text, "one two four ");
    // Noise before the first text byte still gives its space.
    EXPECT_EQ(cut("  lead").text, " lead ");
    // A segment of noise only writes nothing after it.
    EXPECT_EQ(cut("a<b>12, 34<i>c").text, "a c ");
}

TEST(SGMLCutTags, ScriptsAndStyles) {
    const std::string page =
        "<p>before</p><script type=\"x\">if (a<b) { x = \"</p>\"; }</script>"
        "<STYLE>p { color: red }</Style><p>after</p>";
    EXPECT_EQ(cut(page, 2048, 1).text, "before after ");
    // Without removal "<b) ... </script>" reads as one tag with a quoted value.
    EXPECT_EQ(cut(page, 2048, 0).text, "before if a p { color red } after ");
    // The closing tag may only be found later; partial matches are skipped.
    EXPECT_EQ(cut("<script>a</scrip b</script>c", 2048, 1).text, "c ");
    // A script that is never closed ends the text.
    EXPECT_EQ(cut("text<script>never closed", 2048, 1).text, "text ");
    // "<scripts>" is not a script element.
    EXPECT_EQ(cut("<scripts>kept</scripts>", 2048, 1).text, "kept ");
}

TEST(SGMLCutTags, CommentsAndQuotedAttributes) {
    EXPECT_EQ(cut("a<!-- b > c -->d").text, "a d ");
    EXPECT_EQ(cut("a<!-- never closed > d").text, "a ");
    EXPECT_EQ(cut("<a title=\"x > y\" href='q>r'>link</a>").text, "link ");
    EXPECT_EQ(cut("<a title = \"x > y\">link</a>").text, "link ");
    EXPECT_EQ(cut("<img alt=x>text").text, "text ");
}

TEST(SGMLCutTags, CapacityBoundsTheOutput) {
    std::string words;
    for (int i = 0; i < 20; ++i) words += "abcd ";
    ASSERT_EQ(words.size(), 100u);
    Cut c = cut(words, 10);
    EXPECT_LE(c.text.size(), 10u);
    EXPECT_EQ(c.text, "abcd abcd ");
    // The capacity is also bounded by the input length.
    EXPECT_EQ(cut("abc", 2048).text, "abc");
    EXPECT_EQ(cut("abc", 0).text, "");
}

TEST(SGMLCutTags, ReferenceThatDoesNotFitStopsTheSegment) {
    // 6 bytes written, then "eacute" (6) + 6 + 1 reaches the capacity 13: the
    // reference is dropped, its ';' stepped over, the rest goes on as usual.
    Cut c = cut("abcdef&eacute;gh", 13);
    EXPECT_EQ(c.references, 0);
    EXPECT_EQ(c.text, "abcdef gh ");
    Cut fits = cut("abcdef&eacute;gh", 14);
    EXPECT_EQ(fits.references, 1);
    EXPECT_EQ(fits.text, "abcdef&eacute;");
}

TEST(SGMLCutTags, EmptyAndNullInput) {
    unsigned char *text = reinterpret_cast<unsigned char *>(1);
    int32_t length = 5;
    int32_t refs = 5;
    const unsigned char data[] = "x";
    EXPECT_EQ(SGMLCutTags(data, 0, 2048, 1, &text, &length, &refs), 0);
    EXPECT_EQ(text, nullptr);
    EXPECT_EQ(length, 0);
    EXPECT_EQ(SGMLCutTags(nullptr, 1, 2048, 1, &text, &length, &refs), LANG_ERR_NULL);
    EXPECT_EQ(SGMLCutTags(data, 1, 2048, 1, nullptr, &length, &refs), LANG_ERR_NULL);
    EXPECT_EQ(cut("<p></p><br/>").text, "");
}

TEST(SGMLCutTags, OutOfMemory) {
    const unsigned char data[] = "hello";
    unsigned char *text = nullptr;
    int32_t length = 0;
    int32_t refs = 0;
    vos_fail_alloc_after(0);
    const int rc = SGMLCutTags(data, 5, 2048, 1, &text, &length, &refs);
    vos_fail_alloc_after(-1);
    EXPECT_EQ(rc, LANG_ERR_NOMEM);
    EXPECT_EQ(text, nullptr);
}

TEST(SGMLCutTags, BadMarkupEndsCleanly) {
    EXPECT_EQ(cut("text<").text, "text ");
    EXPECT_EQ(cut("text<p").text, "text ");
    EXPECT_EQ(cut("text<p title=\"unclosed").text, "text ");
    EXPECT_EQ(cut("text<p title='unclosed>more").text, "text ");
    EXPECT_EQ(cut("text<!-").text, "text ");
    EXPECT_EQ(cut("&").text, "");
    EXPECT_EQ(cut("a&").text, "a ");
    EXPECT_EQ(cut("a&eacute").text, "a ");  // capacity 8 leaves no room for it
    EXPECT_EQ(cut("<p>a&eacute</p>").text, "a&eacute ");
    EXPECT_EQ(cut("<").text, "");
    EXPECT_EQ(cut("<<<<>>>>").text, "");
}

TEST(SGMLCutTags, NulBytesEndSegments) {
    const std::string markup("ab\0cd<p\0x>ef", 12);
    Cut c = cut(markup);
    EXPECT_EQ(c.rc, 0);
    EXPECT_EQ(c.text.find('\0'), std::string::npos);
    EXPECT_EQ(c.text, "ab cd ef ");
}

TEST(SGMLCutTags, LongAttributesAndReferences) {
    const std::string attr(300, 'v');
    EXPECT_EQ(cut("<p title=\"" + attr + "\" lang=" + attr + ">word</p>").text, "word ");
    // A 300-byte reference name is kept only up to 255 bytes.
    const std::string name(300, 'q');
    Cut c = cut("x &" + name + "; y");
    EXPECT_EQ(c.references, 0);  // unknown name: dropped
    EXPECT_EQ(c.text, "x y ");
    const std::string digits = "#" + std::string(298, '0') + "233";
    Cut numeric = cut("x &" + digits + "; y");
    // Cut to 255 bytes, the number reads as zeros only: dropped.
    EXPECT_EQ(numeric.references, 0);
    const std::string shortDigits = "#" + std::string(250, '0') + "233";
    Cut kept = cut("x &" + shortDigits + "; y");
    EXPECT_EQ(kept.references, 1);
    EXPECT_EQ(replace(kept.text, 0), "x\xC3\xA9 y ");
}

TEST(SGMLCutTags, TenMegabytesOfMarkupGiveBoundedText) {
    std::string big;
    big.reserve(10u << 20);
    while (big.size() < (10u << 20))
        big += "<div class=\"c\"><b>bonjour</b> &eacute;t&eacute;</div>\n";
    Cut c = cut(big, 2048);
    EXPECT_EQ(c.rc, 0);
    EXPECT_LE(c.text.size(), 2048u);
    EXPECT_GT(c.text.size(), 2000u);
    // Unterminated constructs over the whole input.
    EXPECT_EQ(cut("x<!--" + big).text, "x ");
    EXPECT_EQ(cut("x<p title=\"" + std::string(10u << 20, 'a')).text, "x ");
}

TEST(ReplaceEntity, RawModeWritesOneNulPerReference) {
    const std::string out = replace("ab&eacute;cd&alpha xy", 1);
    EXPECT_EQ(out, std::string("ab\0cd\0xy", 8));
}

TEST(ReplaceEntity, Utf8Encoding) {
    EXPECT_EQ(replace("&#64;", 0), "@");
    EXPECT_EQ(replace("&#127;", 0), "\x7F");
    EXPECT_EQ(replace("&#2047;", 0), "\xDF\xBF");
    EXPECT_EQ(replace("&#65535;", 0), "\xEF\xBF\xBF");
    EXPECT_EQ(replace("&#128512;", 0), "\xF0\x9F\x98\x80");
    EXPECT_EQ(replace("&#4194304;", 0), "");  // past 21 bits: nothing
    EXPECT_EQ(replace("a&#63;b", 0), "ab");   // below 64: nothing
    EXPECT_EQ(replace("a&unknown;b", 0), "ab");
    EXPECT_EQ(replace("a&eacute b", 0),
              "a\xC3\xA9"
              "b");  // whitespace terminator consumed
}

TEST(ReplaceEntity, UnterminatedReferenceEndsTheText) {
    EXPECT_EQ(replace("word &eacute", 0), "word ");
    EXPECT_EQ(replace("word &eacute", 1), "word ");
    EXPECT_EQ(replace("&", 0), "");
    EXPECT_EQ(replace("", 0), "");
}

TEST(SGMLCutTags, RandomMarkupKeepsItsInvariants) {
    // Bytes drawn mostly from the characters that drive the scanner.
    const std::string alphabet = "<<>>&&;;\"'=!-/ \t\nabcdeEsScriptyl#0x9\xE9\xC3";
    std::mt19937 random(20261205);
    for (int round = 0; round < 3000; ++round) {
        std::string markup(1 + random() % 300, '\0');
        for (char &c : markup) {
            c = (random() % 16 == 0) ? static_cast<char>(random() % 256)
                                     : alphabet[random() % alphabet.size()];
        }
        if (round % 7 == 0) markup = "<p>" + markup + "&eacute;<script>x</script>";
        const int32_t capacity = static_cast<int32_t>(random() % 64) + (round % 2 ? 2048 : 0);
        Cut c = cut(markup, capacity, static_cast<int>(round % 2));
        ASSERT_EQ(c.rc, 0);
        EXPECT_LE(c.text.size(), std::min<size_t>(markup.size(), static_cast<size_t>(capacity)));
        EXPECT_EQ(c.text.find('\0'), std::string::npos);
        EXPECT_EQ(std::count(c.text.begin(), c.text.end(), '&'), c.references) << markup;
        for (int raw = 0; raw < 2; ++raw) {
            const std::string replaced = replace(c.text, raw);
            EXPECT_LE(replaced.size(), c.text.size());
        }
    }
}
