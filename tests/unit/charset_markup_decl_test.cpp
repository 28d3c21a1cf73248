#include <gtest/gtest.h>

#include <stdint.h>
#include <string.h>

#include <random>
#include <string>
#include <vector>

#include "charset/markup_decl.h"
#include "platform/vos.h"

namespace {

// The document bytes in a heap block of exactly length + 1 bytes, the last
// one NUL, so that any read past the terminator is caught.
class Doc {
  public:
    explicit Doc(std::string_view text) : bytes_(new char[text.size() + 1]), size_(text.size()) {
        memcpy(bytes_, text.data(), text.size());
        bytes_[text.size()] = '\0';
    }
    ~Doc() { delete[] bytes_; }
    char *data() { return bytes_; }
    int32_t size() const { return static_cast<int32_t>(size_); }

  private:
    char *bytes_;
    size_t size_;
};

std::string language_of(std::string_view text, int32_t length = -1) {
    Doc doc(text);
    char *language = reinterpret_cast<char *>(1);
    EXPECT_EQ(ExtractLanguage(3, doc.data(), length < 0 ? doc.size() : length, &language), 0);
    std::string result = language ? language : "(none)";
    vos_free(language);
    return result;
}

int32_t meta_charset(std::string_view text) {
    Doc doc(text);
    int32_t charset = -1;
    EXPECT_EQ(ExtractCharset(3, doc.data(), doc.size(), &charset), 0);
    return charset;
}

int32_t xml_charset(std::string_view text, int32_t length = -1) {
    Doc doc(text);
    int32_t charset = -1;
    EXPECT_EQ(ExtractCharset(4, doc.data(), length < 0 ? doc.size() : length, &charset), 0);
    EXPECT_EQ(std::string(doc.data(), text.size()), text) << "buffer was changed";
    return charset;
}

TEST(MarkupLanguage, HtmlLangInAnyForm) {
    EXPECT_EQ(language_of("<html lang=fr><body>x</body></html>"), "fr");
    EXPECT_EQ(language_of("<HTML LANG=\"fr\">"), "fr");
    EXPECT_EQ(language_of("<Html Lang='fr'>"), "fr");
    EXPECT_EQ(language_of("< html\n lang = \"pt-br\" >"), "pt-br");
    EXPECT_EQ(
        language_of("<html xmlns=\"http://www.w3.org/1999/xhtml\" xml:lang=\"en\" lang=\"en\">"),
        "en");
    // Attribute names match by prefix.
    EXPECT_EQ(language_of("<html language=\"fr\">"), "fr");
    // Quoted values lose surrounding white space.
    EXPECT_EQ(language_of("<html lang=\" en \">"), "en");
    EXPECT_EQ(language_of("<html lang=\"de\"/>"), "de");
    // Nothing about the byte after "html" is checked.
    EXPECT_EQ(language_of("<htmlx=1 lang=it>"), "it");
}

TEST(MarkupLanguage, TagThatDoesNotParseIsSkipped) {
    EXPECT_EQ(language_of("<html lang><p><html lang=de>"), "de");
    EXPECT_EQ(language_of("<html compact lang=fr>"), "(none)");
    EXPECT_EQ(language_of("<html lang=\"\"><html lang=es>"), "es");
    EXPECT_EQ(language_of("<html lang=>"), "(none)");
}

TEST(MarkupLanguage, ContentLanguageMeta) {
    EXPECT_EQ(language_of("<head><meta http-equiv=\"Content-Language\" content=\"ja\"></head>"),
              "ja");
    EXPECT_EQ(language_of("<META HTTP-EQUIV=content-language CONTENT=ja>"), "ja");
    // Without content the scan goes on.
    EXPECT_EQ(language_of("<meta http-equiv=\"Content-Language\"><meta "
                          "http-equiv=\"Content-Language\" content=\"ko\">"),
              "ko");
    EXPECT_EQ(language_of("<meta http-equiv=\"Content-Type\" content=\"ja\">"), "(none)");
    EXPECT_EQ(language_of("<meta http-equiv=\"Content-Languages\" content=\"ja\">"), "(none)");
}

TEST(MarkupLanguage, HtmlTagComesFirst) {
    EXPECT_EQ(language_of("<html lang=fr><meta http-equiv=Content-Language content=de>"), "fr");
    EXPECT_EQ(language_of("<html><meta http-equiv=Content-Language content=de>"), "de");
}

TEST(MarkupLanguage, Comments) {
    EXPECT_EQ(language_of("<!-- <html lang=fr> --><html lang=de>"), "de");
    EXPECT_EQ(language_of("<!-- <html lang=fr> <html lang=de>"), "(none)");
    // The tag checks apply right where the comment ends.
    EXPECT_EQ(language_of("<!-- c -->html lang=fr>"), "fr");
    EXPECT_EQ(language_of("<!---->html lang=nl>"), "nl");
}

TEST(MarkupLanguage, MetaNotFollowedBySpaceEndsTheScan) {
    EXPECT_EQ(language_of("<meta><html lang=fr>"), "(none)");
    EXPECT_EQ(language_of("<metadata><html lang=fr>"), "(none)");
    EXPECT_EQ(language_of("<meta/><html lang=fr>"), "(none)");
    EXPECT_EQ(language_of("<meta name=a><html lang=fr>"), "fr");
}

TEST(MarkupLanguage, TagWithoutCloseEndsTheScan) {
    EXPECT_EQ(language_of("<html lang=fr"), "(none)");
    EXPECT_EQ(language_of("<meta http-equiv=Content-Language content=fr"), "(none)");
}

TEST(MarkupLanguage, NineAttributesReadTenSkipped) {
    std::string eight = "<html a1=1 a2=2 a3=3 a4=4 a5=5 a6=6 a7=7 a8=8";
    EXPECT_EQ(language_of(eight + " lang=fr>"), "fr");
    EXPECT_EQ(language_of(eight + " a9=9 lang=fr><html lang=de>"), "de");
}

TEST(MarkupLanguage, StopsAtNulAndAtLength) {
    EXPECT_EQ(language_of(std::string("<p>\0<html lang=fr>", 18)), "(none)");
    EXPECT_EQ(language_of("<html lang=fr>", 13), "(none)");
    EXPECT_EQ(language_of("<p><html lang=fr>", 3), "(none)");
    EXPECT_EQ(language_of("<html lang=fr>", 0), "(none)");
    char *language = nullptr;
    EXPECT_EQ(HtmlLangExtract(nullptr, 10, &language), 0);
    EXPECT_EQ(language, nullptr);
}

TEST(MarkupLanguage, OnlyHtmlAndSgmlDeclareALanguage) {
    Doc doc("<html lang=fr>");
    for (int32_t kind : {0, 1, 4, 5}) {
        char *language = reinterpret_cast<char *>(1);
        EXPECT_EQ(ExtractLanguage(kind, doc.data(), doc.size(), &language), 0);
        EXPECT_EQ(language, nullptr) << kind;
    }
    char *language = nullptr;
    EXPECT_EQ(ExtractLanguage(2, doc.data(), doc.size(), &language), 0);
    ASSERT_NE(language, nullptr);
    EXPECT_STREQ(language, "fr");
    vos_free(language);
}

TEST(MarkupCharset, ContentTypeMeta) {
    EXPECT_EQ(meta_charset("<meta http-equiv=\"Content-Type\" "
                           "content=\"text/html; charset=ISO-8859-1\">"),
              14);
    EXPECT_EQ(
        meta_charset("<meta http-equiv=\"Content-Type\" content=\"text/html;charset=utf-8\">"), 53);
    EXPECT_EQ(
        meta_charset("<META HTTP-EQUIV='content-type' CONTENT='text/html; CHARSET = koi8-r'>"), 73);
    EXPECT_EQ(
        meta_charset("<meta content=\"text/html; charset=shift_jis\" http-equiv=Content-Type />"),
        1);
    EXPECT_EQ(meta_charset("<meta http-equiv=Content-Type content=text/html;charset=windows-1251>"),
              6);
}

TEST(MarkupCharset, FirstContentTypeWithCharsetDecides) {
    // A quoted name is empty: charset 0, and the scan ends there.
    EXPECT_EQ(meta_charset("<meta http-equiv=Content-Type content='text/html; charset=\"utf-8\"'>"
                           "<meta http-equiv=Content-Type content='text/html; charset=big5'>"),
              0);
    EXPECT_EQ(meta_charset("<meta http-equiv=Content-Type content='text/html; charset=us-ascii'>"
                           "<meta http-equiv=Content-Type content='text/html; charset=big5'>"),
              0);
    // Without a charset parameter the next meta is looked at.
    EXPECT_EQ(
        meta_charset("<meta http-equiv=Content-Type content='text/html'>"
                     "<meta http-equiv=Content-Type content='charset=gb2312'>"
                     "<meta http-equiv=Content-Type content='text/html; lang=x; charset=big5'>"),
        3);
    EXPECT_EQ(meta_charset("<meta http-equiv=Content-Type content='text/html; charset: big5'>"
                           "<meta http-equiv=Content-Type content='text/html; charset=gbk'>"),
              2);
}

TEST(MarkupCharset, OtherMetaFormsAreNotRecognised) {
    EXPECT_EQ(meta_charset("<meta charset=\"utf-8\">"), 0);
    EXPECT_EQ(meta_charset("<meta name=\"Content-Type\" content=\"text/html; charset=utf-8\">"), 0);
    EXPECT_EQ(meta_charset("<!-- <meta http-equiv=Content-Type content='a; charset=big5'> -->"), 0);
    EXPECT_EQ(meta_charset("<metax http-equiv=Content-Type content='a; charset=big5'>"
                           "<meta http-equiv=Content-Type content='a; charset=utf8'>"),
              0);
    EXPECT_EQ(meta_charset("<html lang=fr>"), 0);
}

TEST(MarkupCharset, NameEndsAtFirstOtherByte) {
    EXPECT_EQ(meta_charset("<meta http-equiv=Content-Type content='a; charset=utf-8;x'>"), 53);
    EXPECT_EQ(meta_charset("<meta http-equiv=Content-Type content='a; charset=koi"
                           "\xC3\xA9"
                           "8'>"),
              0);
}

TEST(MarkupCharset, XmlDeclaration) {
    EXPECT_EQ(xml_charset("<?xml version=\"1.0\" encoding=\"UTF-8\"?><a/>"), 53);
    EXPECT_EQ(xml_charset("<?XML version=\"1.0\" encoding = \"Shift_JIS\" ?>"), 1);
    EXPECT_EQ(xml_charset("<?xml version='1.0' encoding='UTF-8'?>"), 0);
    EXPECT_EQ(xml_charset("\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>"), 0);
    EXPECT_EQ(xml_charset(" <?xml version=\"1.0\" encoding=\"UTF-8\"?>"), 0);
    EXPECT_EQ(xml_charset("<?xml\tversion=\"1.0\" encoding=\"UTF-8\"?>"), 0);
    EXPECT_EQ(xml_charset("<?xml version=\"1.0\" Encoding=\"UTF-8\"?>"), 0);
    EXPECT_EQ(xml_charset("<?xml version=\"1.0\"?>"), 0);
    // The closing quote must lie before the first '>'.
    EXPECT_EQ(xml_charset("<?xml encoding=\"UTF>-8\"?>"), 0);
    EXPECT_EQ(xml_charset("<?xml encoding=\"UTF-8"), 0);
    std::string decl = "<?xml version=\"1.0\" encoding=\"big5\"?>";
    EXPECT_EQ(xml_charset(decl, static_cast<int32_t>(decl.size())), 3);
    EXPECT_EQ(xml_charset(decl, static_cast<int32_t>(decl.size()) - 1), 0);
}

TEST(MarkupCharset, KindSelectsTheReader) {
    Doc xml(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
        "<meta http-equiv=Content-Type content='a; charset=big5'>");
    int32_t charset = -1;
    EXPECT_EQ(ExtractCharset(4, xml.data(), xml.size(), &charset), 0);
    EXPECT_EQ(charset, 53);
    EXPECT_EQ(ExtractCharset(2, xml.data(), xml.size(), &charset), 0);
    EXPECT_EQ(charset, 3);
    for (int32_t kind : {0, 1, 5, 99}) {
        charset = -1;
        EXPECT_EQ(ExtractCharset(kind, xml.data(), xml.size(), &charset), 0);
        EXPECT_EQ(charset, 0) << kind;
    }
    charset = -1;
    EXPECT_EQ(ExtractCharset(4, nullptr, 10, &charset), 0);
    EXPECT_EQ(charset, 0);
}

// Releases what GetMetaAttr stored.
void release(MetaAttr *attrs) {
    for (int i = 0; i < META_ATTR_SLOTS; ++i) {
        vos_free(attrs[i].name);
        vos_free(attrs[i].value);
        attrs[i] = MetaAttr{};
    }
}

int parse(std::string_view body, MetaAttr *attrs) {
    Doc doc(body);
    return GetMetaAttr(doc.data(), doc.data() + doc.size(), attrs);
}

TEST(MetaAttributes, ParsesQuotedAndBareValues) {
    MetaAttr attrs[META_ATTR_SLOTS] = {};
    ASSERT_EQ(parse(" name = 'a b' Content=\" x y \"\tflag=on /", attrs), 0);
    EXPECT_STREQ(attrs[0].name, "name");
    EXPECT_STREQ(attrs[0].value, "a b");
    EXPECT_STREQ(attrs[1].name, "Content");
    EXPECT_STREQ(attrs[1].value, "x y");
    EXPECT_STREQ(attrs[2].name, "flag");
    EXPECT_STREQ(attrs[2].value, "on");
    EXPECT_EQ(attrs[3].name, nullptr);
    EXPECT_EQ(AttrFind(attrs, "CONTENT"), 2);
    EXPECT_EQ(AttrFind(attrs, "cont"), 2);
    EXPECT_EQ(AttrFind(attrs, "contents"), 0);
    EXPECT_EQ(AttrFind(attrs, "flag"), 3);
    EXPECT_EQ(AttrFind(attrs, ""), 1);
    release(attrs);
}

TEST(MetaAttributes, Failures) {
    MetaAttr attrs[META_ATTR_SLOTS] = {};
    for (const char *body : {" lang", " a=1 lang", " a", " a=", " a= ", " a=''", " a=\" \"",
                             " a b=1", " a=1 b=2 c=3 d=4 e=5 f=6 g=7 h=8 i=9 j=10"}) {
        EXPECT_NE(parse(body, attrs), 0) << body;
        release(attrs);
    }
    ASSERT_EQ(parse(" a=1 b=2 c=3 d=4 e=5 f=6 g=7 h=8 i=9", attrs), 0);
    EXPECT_STREQ(attrs[8].value, "9");
    EXPECT_EQ(attrs[9].name, nullptr);
    release(attrs);
    ASSERT_EQ(parse("", attrs), 0);
    EXPECT_EQ(attrs[0].name, nullptr);
    ASSERT_EQ(parse("  /", attrs), 0);
    EXPECT_EQ(attrs[0].name, nullptr);
}

TEST(MetaAttributes, UnclosedQuoteRunsToTheEnd) {
    MetaAttr attrs[META_ATTR_SLOTS] = {};
    ASSERT_EQ(parse(" a=\"one two  ", attrs), 0);
    EXPECT_STREQ(attrs[0].value, "one two");
    EXPECT_EQ(attrs[1].name, nullptr);
    release(attrs);
}

TEST(MetaAttributes, OutOfMemoryFailsTheTag) {
    MetaAttr attrs[META_ATTR_SLOTS] = {};
    for (long n : {0L, 1L, 2L, 3L}) {
        vos_fail_alloc_after(n);
        EXPECT_NE(parse(" a=1 b=2", attrs), 0) << n;
        vos_fail_alloc_after(-1);
        release(attrs);
    }
}

// Every prefix of real-looking markup, each in a block that ends exactly at
// its length (no terminator): nothing may be read past the end.
TEST(MarkupRobustness, PrefixesNeverOverRead) {
    const std::string page =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE html>\n<!-- c -- x -->"
        "<html lang=\"fr\"><head><meta http-equiv=\"Content-Type\" "
        "content=\"text/html; charset=iso-8859-15\"/><meta http-equiv=Content-Language "
        "content=de><title>t</title></head><body><p>texte</p></body></html>";
    for (size_t n = 1; n <= page.size(); ++n) {
        std::vector<char> block(page.begin(), page.begin() + static_cast<std::ptrdiff_t>(n));
        char *language = nullptr;
        int32_t charset = 0;
        EXPECT_EQ(HtmlLangExtract(block.data(), static_cast<int32_t>(n), &language), 0);
        vos_free(language);
        EXPECT_EQ(MetaExtract(block.data(), static_cast<int32_t>(n), &charset), 0);
        EXPECT_EQ(XmlExtract(block.data(), static_cast<int32_t>(n), &charset), 0);
    }
    EXPECT_EQ(language_of(page), "fr");
    EXPECT_EQ(meta_charset(page), 24);
    EXPECT_EQ(xml_charset(page), 53);
}

TEST(MarkupRobustness, RandomMarkupNeverCrashes) {
    const char alphabet[] = "<>!-=\"' /\t\nhtmlHTMLmetaMETAlangcontenthttp-equivcharset;?x\0\xE9";
    std::mt19937 random(12345);
    for (int round = 0; round < 3000; ++round) {
        size_t n = 1 + random() % 120;
        std::vector<char> block(n);
        for (char &c : block) c = alphabet[random() % (sizeof alphabet - 1)];
        char *language = nullptr;
        int32_t charset = 0;
        HtmlLangExtract(block.data(), static_cast<int32_t>(n), &language);
        vos_free(language);
        MetaExtract(block.data(), static_cast<int32_t>(n), &charset);
        XmlExtract(block.data(), static_cast<int32_t>(n), &charset);
    }
}

}  // namespace
