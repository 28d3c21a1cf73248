#include <gtest/gtest.h>

#include <stdint.h>
#include <string.h>

#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "charset/charset_guess.h"
#include "charset/charset_names.h"
#include "charset/markup_decl.h"
#include "engine_test_support.h"
#include "platform/vos.h"

namespace {

// The document's first `length` bytes (all by default) in a block that ends
// with one NUL, as the detection flow holds them, so over-reads are caught.
std::vector<char> doc(std::string_view text, int32_t length = -1) {
    std::vector<char> out(text.begin(), text.begin() + (length < 0 ? text.size() : length));
    out.push_back('\0');
    return out;
}

std::string language_of(std::string_view text, int32_t length = -1, int32_t kind = 3) {
    std::vector<char> d = doc(text, length);
    char *language = reinterpret_cast<char *>(1);
    EXPECT_EQ(ExtractLanguage(kind, d.data(), static_cast<int32_t>(d.size() - 1), &language), 0);
    std::string result = language ? language : "(none)";
    vos_free(language);
    return result;
}

int32_t charset_of(std::string_view text, int32_t kind = 3, int32_t length = -1) {
    std::vector<char> d = doc(text, length);
    int32_t charset = -1;
    EXPECT_EQ(ExtractCharset(kind, d.data(), static_cast<int32_t>(d.size() - 1), &charset), 0);
    EXPECT_EQ(std::string(d.data(), d.size() - 1), text.substr(0, d.size() - 1)) << "changed";
    return charset;
}

TEST(MarkupLanguage, Declarations) {
    const std::string eight = "<html a1=1 a2=2 a3=3 a4=4 a5=5 a6=6 a7=7 a8=8";
    const std::pair<std::string, const char *> cases[] = {
        {"<html lang=fr><body>x</body></html>", "fr"},
        {"<HTML LANG=\"fr\">", "fr"},
        {"< html\n lang = 'pt-br' >", "pt-br"},
        {"<html xmlns=\"http://www.w3.org/1999/xhtml\" xml:lang=\"en\" lang=\"en\">", "en"},
        {"<html language=\"fr\">", "fr"},  // names match by prefix
        {"<html lang=\" en \"/>", "en"},
        {"<htmlx=1 lang=it>", "it"},  // nothing about the byte after "html" is checked
        // A tag that does not parse is skipped.
        {"<html lang><p><html lang=de>", "de"},
        {"<html compact lang=fr>", "(none)"},
        {"<html lang=\"\"><html lang=es>", "es"},
        {eight + " lang=fr>", "fr"},
        {eight + " a9=9 lang=fr><html lang=de>", "de"},  // ten attributes
        // Content-Language; the html tag comes first.
        {"<meta http-equiv=\"Content-Language\" content=\"ja\">", "ja"},
        {"<META HTTP-EQUIV=content-language CONTENT=ja>", "ja"},
        {"<meta http-equiv=Content-Language><meta http-equiv=Content-Language content=ko>", "ko"},
        {"<meta http-equiv=\"Content-Type\" content=\"ja\">", "(none)"},
        {"<meta http-equiv=\"Content-Languages\" content=\"ja\">", "(none)"},
        {"<html lang=fr><meta http-equiv=Content-Language content=de>", "fr"},
        {"<html><meta http-equiv=Content-Language content=de>", "de"},
        // Comments; the tag checks apply right where a comment ends.
        {"<!-- <html lang=fr> --><html lang=de>", "de"},
        {"<!-- <html lang=fr> <html lang=de>", "(none)"},
        {"<!-- c -->html lang=fr>", "fr"},
        // "meta" without white space, or a tag without '>', ends the scan.
        {"<meta><html lang=fr>", "(none)"},
        {"<metadata><html lang=fr>", "(none)"},
        {"<meta name=a><html lang=fr>", "fr"},
        {"<html lang=fr", "(none)"},
        {std::string("<p>\0<html lang=fr>", 18), "(none)"}};
    for (const auto &[text, expected] : cases) EXPECT_EQ(language_of(text), expected) << text;
    EXPECT_EQ(language_of("<html lang=fr>", 13), "(none)");
    EXPECT_EQ(language_of("<html lang=fr>", 0), "(none)");
    for (int32_t kind : {0, 1, 4, 5}) EXPECT_EQ(language_of("<html lang=fr>", -1, kind), "(none)");
    EXPECT_EQ(language_of("<html lang=fr>", -1, 2), "fr");
}

// A declared language is a token of 1 to 31 ASCII letters, digits, '-' and
// '_'; anything else (path characters, line feeds, spaces, high bytes, a
// longer value) counts as no declaration, and the scan ends there.
TEST(MarkupLanguage, OnlyTokensAreDeclarations) {
    const std::string longest(31, 'a');
    const std::pair<std::string, std::string> cases[] = {
        {"<html lang=\"./victim/pwned\">", "(none)"},
        {"<html lang=\"../x\">", "(none)"},
        {"<html lang=/etc/passwd>", "(none)"},
        {"<html lang=\"en\nfake record\">", "(none)"},
        {"<html lang=\"en\rx\">", "(none)"},
        {"<html lang=\"en us\">", "(none)"},
        {"<html lang=\"x.y\">", "(none)"},
        {"<html lang=\"fr\xE9\">", "(none)"},
        {"<html lang=\"" + longest + "b\">", "(none)"},
        {"<meta http-equiv=Content-Language content=\"de/../x\">", "(none)"},
        {"<meta http-equiv=Content-Language content=\"de\nen\">", "(none)"},
        // The first declaration decides, even when it is no token.
        {"<html lang=\"a/b\"><html lang=fr>", "(none)"},
        {"<html lang=\"a b\"><meta http-equiv=Content-Language content=de>", "(none)"},
        // Tokens, including names that are file names of the run elsewhere.
        {"<html lang=\"lst\">", "lst"},
        {"<html lang=\"" + longest + "\">", longest},
        {"<html lang=zh_TW>", "zh_TW"},
        {"<html lang=\"x-klingon-1\">", "x-klingon-1"},
        {"<meta http-equiv=Content-Language content=\"pt-BR\">", "pt-BR"},
    };
    for (const auto &[text, expected] : cases) EXPECT_EQ(language_of(text), expected) << text;
}

TEST(MarkupCharset, MetaAndXmlDeclarations) {
    const std::string decl = "<?xml version=\"1.0\" encoding=\"big5\"?>";
    const struct {
        std::string text;
        int32_t kind, charset;
    } cases[] = {
        {"<meta http-equiv=\"Content-Type\" content=\"text/html; charset=ISO-8859-1\">", 3, 14},
        {"<meta http-equiv=\"Content-Type\" content=\"text/html;charset=utf-8\">", 3, 53},
        {"<META HTTP-EQUIV='content-type' CONTENT='text/html; CHARSET = koi8-r'>", 2, 73},
        {"<meta content=\"text/html; charset=shift_jis\" http-equiv=Content-Type />", 3, 1},
        {"<meta http-equiv=Content-Type content='a; charset=utf-8;x'>", 3, 53},
        // The first Content-Type with a charset parameter decides; a quoted
        // name is empty.
        {"<meta http-equiv=Content-Type content='text/html; charset=\"utf-8\"'>"
         "<meta http-equiv=Content-Type content='text/html; charset=big5'>",
         3, 0},
        {"<meta http-equiv=Content-Type content='text/html'>"
         "<meta http-equiv=Content-Type content='charset=gb2312'>"
         "<meta http-equiv=Content-Type content='text/html; lang=x; charset=big5'>",
         3, 3},
        {"<meta http-equiv=Content-Type content='a; charset: big5'>"
         "<meta http-equiv=Content-Type content='a; charset=gbk'>",
         3, 2},
        {"<meta http-equiv=Content-Type content='a; charset=koi\xC3\xA9"
         "8'>",
         3, 0},
        {"<meta charset=\"utf-8\">", 3, 0},
        {"<meta name=\"Content-Type\" content=\"text/html; charset=utf-8\">", 3, 0},
        {"<!-- <meta http-equiv=Content-Type content='a; charset=big5'> -->", 3, 0},
        {"<metax http-equiv=Content-Type content='a; charset=big5'>"
         "<meta http-equiv=Content-Type content='a; charset=utf8'>",
         3, 0},
        {"<?xml version=\"1.0\" encoding=\"UTF-8\"?><a/>", 4, 53},
        {"<?XML version=\"1.0\" encoding = \"Shift_JIS\" ?>", 4, 1},
        {"<?xml version='1.0' encoding='UTF-8'?>", 4, 0},
        {"\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>", 4, 0},
        {" <?xml version=\"1.0\" encoding=\"UTF-8\"?>", 4, 0},
        {"<?xml\tversion=\"1.0\" encoding=\"UTF-8\"?>", 4, 0},
        {"<?xml version=\"1.0\" Encoding=\"UTF-8\"?>", 4, 0},
        {"<?xml encoding=\"UTF>-8\"?>", 4, 0},
        {"<?xml encoding=\"UTF-8", 4, 0},
        {decl, 4, 3},
        // The kind selects the reader; other kinds declare nothing.
        {decl + "<meta http-equiv=Content-Type content='a; charset=utf8'>", 2, 53},
        {decl, 1, 0},
        {decl, 5, 0}};
    for (const auto &c : cases) EXPECT_EQ(charset_of(c.text, c.kind), c.charset) << c.text;
    EXPECT_EQ(charset_of(decl, 4, static_cast<int32_t>(decl.size()) - 1), 0);
    int32_t charset = -1;
    EXPECT_EQ(ExtractCharset(4, nullptr, 10, &charset), 0);
    EXPECT_EQ(charset, 0);
}

void release(MetaAttr *attrs) {
    for (int i = 0; i < META_ATTR_SLOTS; ++i) {
        vos_free(attrs[i].name);
        vos_free(attrs[i].value);
        attrs[i] = MetaAttr{};
    }
}

int parse(std::string_view body, MetaAttr *attrs) {
    std::vector<char> d = doc(body);
    return GetMetaAttr(d.data(), d.data() + body.size(), attrs);
}

TEST(MetaAttributes, ParseFindAndFail) {
    MetaAttr attrs[META_ATTR_SLOTS] = {};
    ASSERT_EQ(parse(" name = 'a b' Content=\" x y \"\tflag=on /", attrs), 0);
    EXPECT_STREQ(attrs[0].value, "a b");
    EXPECT_STREQ(attrs[1].name, "Content");
    EXPECT_STREQ(attrs[1].value, "x y");
    EXPECT_STREQ(attrs[2].value, "on");
    EXPECT_EQ(attrs[3].name, nullptr);
    EXPECT_EQ(AttrFind(attrs, "CONT"), 2);
    EXPECT_EQ(AttrFind(attrs, "contents"), 0);
    EXPECT_EQ(AttrFind(attrs, "flag"), 3);
    release(attrs);
    ASSERT_EQ(parse(" a=\"one two  ", attrs), 0);  // an unclosed quote runs to the end
    EXPECT_STREQ(attrs[0].value, "one two");
    release(attrs);
    ASSERT_EQ(parse(" a=1 b=2 c=3 d=4 e=5 f=6 g=7 h=8 i=9", attrs), 0);
    EXPECT_EQ(attrs[9].name, nullptr);
    release(attrs);
    for (const char *body : {" lang", " a=1 lang", " a=", " a= ", " a=''", " a=\" \"", " a b=1",
                             " a=1 b=2 c=3 d=4 e=5 f=6 g=7 h=8 i=9 j=10"}) {
        EXPECT_NE(parse(body, attrs), 0) << body;
        release(attrs);
    }
    vos_fail_alloc_after(1);
    EXPECT_NE(parse(" a=1 b=2", attrs), 0);
    vos_fail_alloc_after(-1);
    release(attrs);
}

TEST(MarkupDeclarations, SampleDocuments) {
    const struct {
        const char *name;
        int32_t kind, declared;
        const char *language;
        int32_t guessed;
    } cases[] = {
        {"ru_cp1251.html", 3, 6, "ru", 0},  // a commented-out KOI8-R declaration is skipped
        {"ja_sjis.html", 3, 1, "ja", 0},        {"feed_latin9.xml", 4, 24, "(none)", 0},
        {"de_utf8.txt", 1, 0, "(none)", 53},    {"fr_utf16le_bom.txt", 1, 0, "(none)", 100},
        {"el_utf16be.txt", 1, 0, "(none)", 101}};
    for (const auto &c : cases) {
        const std::string text =
            glotta_test::ReadFile(std::string(GLOTTA_TEST_DATA) + "/charset/" + c.name);
        ASSERT_FALSE(text.empty()) << c.name;
        EXPECT_EQ(charset_of(text, c.kind), c.declared) << c.name;
        EXPECT_EQ(language_of(text, -1, c.kind), c.language) << c.name;
        int32_t guessed = -1;
        GuessCharset(reinterpret_cast<const unsigned char *>(text.data()),
                     static_cast<int32_t>(text.size()), &guessed);
        EXPECT_EQ(guessed, c.guessed) << c.name;
    }
}

// Every prefix of a real-looking page, and random markup, each in a block
// that ends exactly at its length (no terminator).
TEST(MarkupDeclarations, NeverReadPastTheEnd) {
    const std::string page =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE html>\n<!-- c -- x -->"
        "<html lang=\"fr\"><head><meta http-equiv=\"Content-Type\" "
        "content=\"text/html; charset=iso-8859-15\"/><meta http-equiv=Content-Language "
        "content=de><title>t</title></head><body><p>texte</p></body></html>";
    const char alphabet[] = "<>!-=\"' /\t\nhtmlHTMLmetaMETAlangcontenthttp-equivcharset;?x\0\xE9";
    std::mt19937 random(12345);
    std::vector<std::vector<char>> blocks;
    for (size_t n = 1; n <= page.size(); ++n) blocks.emplace_back(page.begin(), page.begin() + n);
    for (int round = 0; round < 3000; ++round) {
        std::vector<char> block(1 + random() % 120);
        for (char &c : block) c = alphabet[random() % (sizeof alphabet - 1)];
        blocks.push_back(block);
    }
    for (std::vector<char> &block : blocks) {
        const int32_t n = static_cast<int32_t>(block.size());
        char *language = nullptr;
        int32_t charset = 0;
        EXPECT_EQ(HtmlLangExtract(block.data(), n, &language), 0);
        vos_free(language);
        EXPECT_EQ(MetaExtract(block.data(), n, &charset), 0);
        EXPECT_EQ(XmlExtract(block.data(), n, &charset), 0);
    }
    EXPECT_EQ(language_of(page), "fr");
    EXPECT_EQ(charset_of(page), 24);
    EXPECT_EQ(charset_of(page, 4), 53);
}

// The declaration scans as they read before tags shared their bodies: each
// html and meta tag is read afresh from its name to the next '>' with
// GetMetaAttr. Quadratic on tag floods, so only for moderate inputs; the
// scans must give exactly its answers. Returns the raw declared language
// ("lang:" value) or charset name ("charset:" name), or "(none)".
namespace reference {

bool space(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}
bool begins(const char *p, const char *end, std::string_view word) {
    if (end - p < static_cast<std::ptrdiff_t>(word.size())) return false;
    for (size_t i = 0; i < word.size(); ++i) {
        if (lower(p[i]) != lower(word[i])) return false;
    }
    return true;
}
bool equal(const char *value, std::string_view word) {
    return strlen(value) == word.size() && begins(value, value + word.size(), word);
}
// First `text` from p, before the end and any NUL.
const char *find(const char *p, const char *end, std::string_view text) {
    for (; p < end && *p; ++p) {
        if (end - p < static_cast<std::ptrdiff_t>(text.size())) return nullptr;
        if (std::string_view(p, text.size()) == text) return p;
    }
    return nullptr;
}
const char *skip(const char *p, const char *end) {
    while (p < end && space(*p)) ++p;
    return p;
}

struct Attributes {
    MetaAttr slots[META_ATTR_SLOTS] = {};
    ~Attributes() { clear(); }
    void clear() {
        for (MetaAttr &slot : slots) {
            vos_free(slot.name);
            vos_free(slot.value);
            slot = MetaAttr{};
        }
    }
    bool parse(const char *start, const char *close) {
        clear();
        return GetMetaAttr(start, close, slots) == 0;
    }
    const char *value(const char *name) const {
        const int slot = AttrFind(slots, name);
        return slot ? slots[slot - 1].value : nullptr;
    }
};

std::optional<std::string> charset_parameter(const char *q) {
    const char *end = q + strlen(q);
    for (;;) {
        const char *semicolon = find(q, end, ";");
        if (!semicolon) return std::nullopt;
        q = skip(semicolon + 1, end);
        if (begins(q, end, "charset")) break;
    }
    q = skip(q + 7, end);
    if (q >= end || *q != '=') return std::nullopt;
    const char *begin = q = skip(q + 1, end);
    while (q < end && (isalnum(static_cast<unsigned char>(*q)) || *q == '-' || *q == '_')) ++q;
    return std::string(begin, q);
}

std::string scan(const std::string &document, bool language) {
    const char *p = document.data();
    const char *const end = p + document.size();
    Attributes attrs;
    while (p < end) {
        const char *open = find(p, end, "<");
        if (!open) break;
        p = skip(open + 1, end);
        if (begins(p, end, "!--")) {
            const char *close = find(p, end, "-->");
            if (!close) break;
            p = close + 3;
        }
        if (language && begins(p, end, "html")) {
            p += 4;
            const char *close = find(p, end, ">");
            if (!close) break;
            if (!attrs.parse(p, close)) continue;
            if (const char *lang = attrs.value("lang")) return std::string("lang:") + lang;
        }
        if (!begins(p, end, "meta")) continue;
        p += 4;
        if (p >= end || !space(*p)) break;
        const char *close = find(p, end, ">");
        if (!close) break;
        if (!attrs.parse(p, close)) continue;
        const char *equiv = attrs.value("http-equiv");
        const char *content = attrs.value("content");
        if (!equiv || !content) continue;
        if (language && equal(equiv, "Content-Language")) return std::string("lang:") + content;
        if (!language && equal(equiv, "Content-Type")) {
            if (std::optional<std::string> name = charset_parameter(content)) {
                return "charset:" + *name;
            }
        }
    }
    return "(none)";
}

// What the scans answer for the document: the language after the token
// rule, and the charset number.
std::string language(const std::string &document) {
    std::string found = scan(document, true);
    if (found == "(none)") return found;
    found.erase(0, 5);
    const bool token = !found.empty() && found.size() <= 31 &&
                       found.find_first_not_of(
                           "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                           "0123456789-_") == std::string::npos;
    return token ? found : "(none)";
}
int32_t charset(const std::string &document) {
    const std::string found = scan(document, false);
    if (found == "(none)") return 0;
    int32_t number = 0;
    MapCharsetName(found.substr(8).c_str(), &number);
    return number;
}

}  // namespace reference

void expect_as_reference(const std::string &document, const std::string &what) {
    EXPECT_EQ(language_of(document), reference::language(document)) << what;
    EXPECT_EQ(charset_of(document), reference::charset(document)) << what;
}

// Tag floods: every tag's body runs to the one '>' at the end (or there is
// none), in every shape the attribute reader can be in when it reaches the
// next tag (inside a name, an unquoted or quoted value, white space, a
// Content-Type value with many ';').
const std::vector<std::pair<std::string, std::string>> &floods() {
    static const std::vector<std::pair<std::string, std::string>> cases = {
        {"<html", " lang=fr>"},
        {"<html", ">"},
        {"<meta ", ">"},
        {"<meta ", " http-equiv=Content-Language content=de>"},
        {"<htmla=", " lang=fr>"},
        {"<html a=", ">"},
        {"<meta a=", " >"},
        {"<html a=\"", "\" lang=it>"},
        {"<html a='<meta x=\"", "'>"},
        {"<html       ", "/>"},
        {"<meta http-equiv=Content-Type content=\"text/html;;", "; charset=koi8-r\">"},
        {"<meta http-equiv=Content-Type content='; charset =", "'>"},
        {"<meta http-equiv=Content-Type content=\"; x;",
         "\"><meta http-equiv=Content-Type "
         "content=\"text/html; charset=utf-8\">"},
        {"<html lang=\"fr\t\t\t\t", "\">"},
        {"<!--<html", "-->"},
        {"<<<<", "<html lang=es>"},
    };
    return cases;
}

std::string flood(const std::string &unit, const std::string &tail, size_t size) {
    std::string document;
    document.reserve(size + unit.size() + tail.size());
    while (document.size() < size) document += unit;
    return document + tail;
}

TEST(MarkupDeclarations, SameAnswersAsReadingEveryTagAfresh) {
    namespace fs = std::filesystem;
    int files = 0;
    for (const auto &entry : fs::recursive_directory_iterator(GLOTTA_TEST_DATA)) {
        const std::string ext = entry.path().extension().string();
        if (ext != ".html" && ext != ".xhtml" && ext != ".xml" && ext != ".sgml") continue;
        expect_as_reference(glotta_test::ReadFile(entry.path().string()), entry.path().string());
        ++files;
    }
    EXPECT_GT(files, 10);

    for (const auto &[unit, tail] : floods()) {
        expect_as_reference(flood(unit, tail, 6000), unit + "..." + tail);
    }

    // Random markup built from the pieces the reader reacts to.
    const char *pieces[] = {"<html",
                            "<meta ",
                            "<HTML ",
                            "<!--",
                            "-->",
                            ">",
                            "/>",
                            " ",
                            "\t",
                            "\n",
                            "=",
                            "\"",
                            "'",
                            ";",
                            "lang",
                            "language=",
                            "http-equiv=",
                            "Content-Type",
                            "Content-Language",
                            "content=",
                            "charset",
                            "utf-8",
                            "fr",
                            "x",
                            "<",
                            "\0"};
    std::mt19937 random(20261206);
    for (int round = 0; round < 2000; ++round) {
        std::string document;
        const size_t count = 1 + random() % 60;
        for (size_t i = 0; i < count; ++i) {
            const char *piece = pieces[random() % std::size(pieces)];
            document += *piece ? std::string(piece) : std::string(1, '\0');
        }
        expect_as_reference(document, "random document " + std::to_string(round));
    }
}

// The same floods at 512 KB: the answers do not depend on the size (each scan
// reads a tag body once, however many tags start inside it).
TEST(MarkupDeclarations, LargeTagFloods) {
    const std::pair<std::string, int32_t> expected[] = {
        {"fr", 0},      {"(none)", 0}, {"(none)", 0}, {"de", 0},     {"fr", 0},      {"(none)", 0},
        {"(none)", 0},  {"(none)", 0}, {"(none)", 0}, {"(none)", 0}, {"(none)", 73}, {"(none)", 0},
        {"(none)", 53}, {"fr", 0},     {"(none)", 0}, {"es", 0}};
    ASSERT_EQ(std::size(expected), floods().size());
    for (size_t i = 0; i < floods().size(); ++i) {
        const auto &[unit, tail] = floods()[i];
        const std::string document = flood(unit, tail, 512 << 10);
        EXPECT_EQ(language_of(document), expected[i].first) << unit;
        EXPECT_EQ(charset_of(document), expected[i].second) << unit;
        const std::string small = flood(unit, tail, 2000);
        EXPECT_EQ(reference::language(small), expected[i].first) << unit;
        EXPECT_EQ(reference::charset(small), expected[i].second) << unit;
    }
}

}  // namespace
