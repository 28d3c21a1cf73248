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
    Cut result{0, "", -1};
    result.rc = SGMLCutTags(bytes.data(), static_cast<int32_t>(bytes.size()), capacity,
                            removeScripts, &text, &length, &result.references);
    if (text) {
        EXPECT_EQ(text[length], '\0');
        result.text.assign(reinterpret_cast<char *>(text), static_cast<size_t>(length));
    }
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

TEST(MatchEntity, NamesAndNumbers) {
    int latin = 0, greek = 0;
    while (Entity_latin1[latin].name) ++latin;
    while (Entity_greek[greek].name) ++greek;
    EXPECT_EQ(latin, 66);
    EXPECT_EQ(greek, 52);
    // "#xE9" is decimal without digits and "#0XE9" no hexadecimal form;
    // decimal stops at the first non-digit; any byte is a hexadecimal digit.
    const std::pair<const char *, uint32_t> cases[] = {
        {"eacute", 233}, {"Eacute", 201}, {"yuml", 255},
        {"alpha", 945},  {"Alpha", 913},  {"thetasym", 977},
        {"piv", 982},    {"amp", 32},     {"EACUTE", 0},
        {"times", 0},    {"", 0},         {"#233", 233},
        {"#0xE9", 0xE9}, {"#0xe9", 0xE9}, {"#xE9", 0},
        {"#0XE9", 0},    {"#12abc", 12},  {"#0x1g", 16 + ('g' - '0')},
        {"#", 0}};
    for (auto [name, value] : cases) {
        uint32_t out = 12345;
        EXPECT_EQ(MatchEntity(name, &out), value) << name;
        EXPECT_EQ(out, value) << name;
    }
    uint32_t v = 7;
    EXPECT_EQ(lookup_table(Entity_greek, "eacute", &v), 0u);
    EXPECT_EQ(lookup_table(Entity_latin1, "szlig", &v), 223u);
    // Absurdly long numbers wrap instead of overflowing.
    MatchEntity("#99999999999999999999999999", &v);
    MatchEntity("#0xffffffffffffffffffffff", &v);
}

TEST(SGMLCutTags, Cleaning) {
    const std::string attr(300, 'v');
    const struct {
        std::string markup;
        int32_t capacity;
        int removeScripts;
        std::string text;
        int32_t references;
    } cases[] = {{"<p>caf&eacute; au lait</p>", 2048, 1, "caf&eacute; au lait ", 1},
                 // References below 64 drop out; their ';' joins the noise run.
                 {"<p>fish&amp;chips</p>", 2048, 1, "fish chips ", 0},
                 {"bread &amp; butter", 2048, 1, "bread butter ", 0},
                 {"<p>x&#xE9;y</p>", 2048, 1, "x y ", 0},
                 {"<p>x&#233;y &#0xE9;</p>", 2048, 1, "x&#233;y&#0xE9; ", 2},
                 {"one, two; 3 four!", 2048, 1, "one two four ", 0},
                 {"  lead", 2048, 1, " lead ", 0},
                 {"a<b>12, 34<i>c", 2048, 1, "a c ", 0},  // a noise-only segment adds nothing
                 // Scripts and styles go with their content, whatever it holds...
                 {"<p>before</p><script type=\"x\">if (a<b) { x = \"</p>\"; }</script>"
                  "<STYLE>p { color: red }</Style><p>after</p>",
                  2048, 1, "before after ", 0},
                 // ...unless removal is off: then "<b) ... </script>" is one tag.
                 {"<p>before</p><script type=\"x\">if (a<b) { x = \"</p>\"; }</script>"
                  "<STYLE>p { color: red }</Style><p>after</p>",
                  2048, 0, "before if a p { color red } after ", 0},
                 {"<script>a</scrip b</script>c", 2048, 1, "c ", 0},
                 {"text<script>never closed", 2048, 1, "text ", 0},
                 {"<scripts>kept</scripts>", 2048, 1, "kept ", 0},
                 {"a<!-- b > c -->d", 2048, 1, "a d ", 0},
                 {"a<!-- never closed > d", 2048, 1, "a ", 0},
                 {"<a title=\"x > y\" href='q>r'>link</a>", 2048, 1, "link ", 0},
                 {"<a title = \"x > y\">link</a><img alt=x>", 2048, 1, "link ", 0},
                 {"<p title=\"" + attr + "\" lang=" + attr + ">word</p>", 2048, 1, "word ", 0},
                 // The capacity bounds the output, and so does the input length.
                 {"abcd abcd abcd abcd abcd abcd abcd abcd abcd abcd", 10, 1, "abcd abcd ", 0},
                 {"abc", 2048, 1, "abc", 0},
                 {"abc", 0, 1, "", 0},
                 {"&alpha;", 2048, 1, "&alpha;", 1},
                 // A reference that does not fit (6 + 6 + 1 reaches 13) is dropped,
                 // its ';' stepped over.
                 {"abcdef&eacute;gh", 13, 1, "abcdef gh ", 0},
                 {"abcdef&eacute;gh", 14, 1, "abcdef&eacute;", 1},
                 // Names are cut to 255 bytes: an unknown one, and a number whose
                 // digits are then zeros only, drop out.
                 {"x &" + std::string(300, 'q') + "; y", 2048, 1, "x y ", 0},
                 {"x &#" + std::string(298, '0') + "233; y", 2048, 1, "x y ", 0},
                 {"x &#" + std::string(250, '0') + "233; y", 2048, 1,
                  "x&#" + std::string(250, '0') + "233; y ", 1},
                 // Bad markup ends cleanly.
                 {"<p></p><br/>", 2048, 1, "", 0},
                 {"text<p title='unclosed>more", 2048, 1, "text ", 0},
                 {"text<!-", 2048, 1, "text ", 0},
                 {"a&", 2048, 1, "a ", 0},
                 {"<p>a&eacute</p>", 2048, 1, "a&eacute ", 1},
                 {"<<<<>>>>", 2048, 1, "", 0},
                 {std::string("ab\0cd<p\0x>ef", 12), 2048, 1, "ab cd ef ", 0}};
    for (const auto &c : cases) {
        Cut got = cut(c.markup, c.capacity, c.removeScripts);
        EXPECT_EQ(got.rc, 0);
        EXPECT_EQ(got.text, c.text) << c.markup;
        EXPECT_EQ(got.references, c.references) << c.markup;
    }
}

TEST(SGMLCutTags, ArgumentsAndMemory) {
    unsigned char *text = reinterpret_cast<unsigned char *>(1);
    int32_t length = 5, refs = 5;
    const unsigned char data[] = "hello";
    EXPECT_EQ(SGMLCutTags(data, 0, 2048, 1, &text, &length, &refs), 0);
    EXPECT_EQ(text, nullptr);
    EXPECT_EQ(length, 0);
    EXPECT_EQ(SGMLCutTags(nullptr, 1, 2048, 1, &text, &length, &refs), LANG_ERR_NULL);
    EXPECT_EQ(SGMLCutTags(data, 1, 2048, 1, nullptr, &length, &refs), LANG_ERR_NULL);
    vos_fail_alloc_after(0);
    EXPECT_EQ(SGMLCutTags(data, 5, 2048, 1, &text, &length, &refs), LANG_ERR_NOMEM);
    vos_fail_alloc_after(-1);
    EXPECT_EQ(text, nullptr);
}

TEST(SGMLCutTags, TenMegabytesGiveBoundedText) {
    std::string big;
    while (big.size() < (10u << 20))
        big += "<div class=\"c\"><b>bonjour</b> &eacute;t&eacute;</div>\n";
    Cut c = cut(big, 2048);
    EXPECT_LE(c.text.size(), 2048u);
    EXPECT_GT(c.text.size(), 2000u);
    EXPECT_EQ(cut("x<!--" + big).text, "x ");
    EXPECT_EQ(cut("x<p title=\"" + std::string(10u << 20, 'a')).text, "x ");
}

// Floods of one unclosed construct before the text: the cleaning reads each
// byte a bounded number of times, so 512 KB of them cleans like 2 KB.
TEST(SGMLCutTags, FloodsCleanLikeTheirSmallForm) {
    const struct {
        const char *unit, *tail, *text;
    } cases[] = {
        {"<a", ">word", "word "},
        {"<a b=\"", "\">word", "word "},
        {"<a b=c ", ">word", "word "},
        {"<!--", "-->word", "word "},
        {"<!-- -- >", "-->word", "word "},
        {"<script ", "</script>word", "word "},
        {"<script></scripx>", "</script>word", "word "},
        {"&", " word", " word "},
        {"&eacute", "; word", " word "},
        {"word<", ">", "word "},
    };
    for (const auto &c : cases) {
        for (size_t size : {size_t{2000}, size_t{512} << 10}) {
            std::string markup;
            while (markup.size() < size) markup += c.unit;
            const Cut result = cut(markup + c.tail);
            EXPECT_EQ(result.text, c.text) << c.unit << " " << size;
            EXPECT_EQ(result.references, 0) << c.unit << " " << size;
        }
    }
    std::string references(512 << 10, '&');
    EXPECT_EQ(replace(references + ";x", 0), "x");
    EXPECT_EQ(replace(references + ";x", 1), std::string(1, '\0') + "x");
}

TEST(ReplaceEntity, Utf8AndRawModes) {
    // Values below 64 or past 21 bits write nothing; a whitespace terminator
    // is consumed; an unterminated reference ends the text.
    const struct {
        std::string text;
        int raw;
        std::string want;
    } cases[] = {{"caf&eacute; au", 0, "caf\xC3\xA9 au"},
                 {"&alpha;", 0, "\xCE\xB1"},
                 {"x&#233;y&#0xE9;", 0, "x\xC3\xA9y\xC3\xA9"},
                 {"&#64;&#127;", 0, "@\x7F"},
                 {"&#2047;", 0, "\xDF\xBF"},
                 {"&#65535;", 0, "\xEF\xBF\xBF"},
                 {"&#128512;", 0, "\xF0\x9F\x98\x80"},
                 {"&#4194304;", 0, ""},
                 {"a&#63;b&unknown;c", 0, "abc"},
                 {"a&eacute b", 0,
                  "a\xC3\xA9"
                  "b"},
                 {"ab&eacute;cd&alpha xy", 1, std::string("ab\0cd\0xy", 8)},
                 {"word &eacute", 0, "word "},
                 {"word &eacute", 1, "word "},
                 {"&", 0, ""},
                 {"", 0, ""}};
    for (const auto &c : cases) EXPECT_EQ(replace(c.text, c.raw), c.want) << c.text;
}

TEST(SGMLCutTags, RandomMarkupKeepsItsInvariants) {
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
        for (int raw = 0; raw < 2; ++raw) EXPECT_LE(replace(c.text, raw).size(), c.text.size());
    }
}

}  // namespace
