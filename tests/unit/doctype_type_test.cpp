#include <gtest/gtest.h>

#include <stdio.h>
#include <unistd.h>

#include <random>
#include <string>
#include <vector>

#include "doctype/doctype.h"
#include "engine/lang_api.h"
#include "engine/lang_context.h"

namespace {

// Runs `fn` on a heap copy of exactly the bytes of `text` (ASan sees over-reads).
template <typename Fn>
int32_t on_bytes(const std::string &text, Fn fn) {
    std::vector<unsigned char> bytes(text.begin(), text.end());
    int32_t type = -7;
    EXPECT_EQ(fn(bytes.data(), static_cast<int32_t>(bytes.size()), &type), 0);
    return type;
}

int32_t guess(const std::string &text) {
    return on_bytes(text, GuessMimeType);
}
int32_t sgml(const std::string &text) {
    return on_bytes(text, contentRecSGML);
}
int32_t magic(const std::string &text) {
    return on_bytes(text, recognize_ByMagic);
}

int plain(const std::string &text) {
    std::vector<unsigned char> bytes(text.begin(), text.end());
    return contentRecPlain(bytes.data(), static_cast<int32_t>(bytes.size()));
}

}  // namespace

TEST(DocType, MimeStrings) {
    int32_t type = -1;
    EXPECT_EQ(MimeTypeMapping("text/plain", &type), 0);
    EXPECT_EQ(type, DOC_TEXT);
    MimeTypeMapping("TEXT/HTML", &type);
    EXPECT_EQ(type, DOC_HTML);
    MimeTypeMapping("text/sgml", &type);
    EXPECT_EQ(type, DOC_SGML);
    MimeTypeMapping("Text/Xml", &type);
    EXPECT_EQ(type, DOC_XML);
    MimeTypeMapping("application/pdf", &type);
    EXPECT_EQ(type, DOC_OTHER);
    MimeTypeMapping("text/html; charset=utf-8", &type);
    EXPECT_EQ(type, DOC_OTHER);
    MimeTypeMapping(nullptr, &type);
    EXPECT_EQ(type, DOC_OTHER);
}

TEST(DocType, FilterFormatCodes) {
    const std::pair<uint32_t, int32_t> cases[] = {
        {0, DOC_UNKNOWN}, {2, DOC_TEXT},    {209, DOC_SGML},
        {210, DOC_HTML},  {275, DOC_TEXT},  {285, DOC_XML},
        {4, DOC_OTHER},   {300, DOC_OTHER}, {0xFFFFFFFFu, DOC_OTHER},
    };
    for (auto [code, expected] : cases) {
        int32_t type = -1;
        EXPECT_EQ(MapMimeType(code, &type), 0);
        EXPECT_EQ(type, expected) << code;
    }
}

TEST(DocType, SignaturesAfterLeadingBlanks) {
    EXPECT_EQ(magic("  <?xml version=\"1.0\"?>"), DOC_XML);
    EXPECT_EQ(magic("\r\n\t<!-- comment -->"), DOC_HTML);
    EXPECT_EQ(magic("<!DocType Html>"), DOC_HTML);
    EXPECT_EQ(magic("<HtMl>"), DOC_HTML);
    EXPECT_EQ(magic("<?xm"), -7);      // shorter than the signature: no match
    EXPECT_EQ(magic("   "), -7);       // nothing but blanks: type untouched
    EXPECT_EQ(magic("\f<html>"), -7);  // form feed is not skipped
    int32_t type = 0;
    EXPECT_EQ(recognize_ByMagic(nullptr, 3, &type), LANG_ERR_IDENTIFY);
    const unsigned char one[] = "x";
    EXPECT_EQ(recognize_ByMagic(one, 0, &type), LANG_ERR_IDENTIFY);
}

TEST(DocType, PlainTextHistogram) {
    EXPECT_EQ(plain("hello world\n"), 0);
    EXPECT_EQ(plain(std::string("a\0b", 3)), LANG_ERR_IDENTIFY);
    // High and printable bytes too close in number: binary.
    EXPECT_EQ(plain("ab\xC3\xA9"), LANG_ERR_IDENTIFY);
    // Mostly high bytes, far from the printable count: text (e.g. Cyrillic).
    EXPECT_EQ(plain("\xD0\xF0\xE8\xE2\xE5\xF2 a"), 0);
    // Control bytes that are not layout: binary.
    EXPECT_EQ(plain("abc\x01\x02"), LANG_ERR_IDENTIFY);
    // Nine layout controls out of ten: 90 > 89, text.
    EXPECT_EQ(plain("x\n\n\n\n\n\n\n\n\n\x01"), 0);
    // Eight out of nine is 88: binary.
    EXPECT_EQ(plain("x\n\n\n\n\n\n\n\n\x01"), LANG_ERR_IDENTIFY);
    EXPECT_EQ(contentRecPlain(nullptr, 1), LANG_ERR_IDENTIFY);
}

TEST(DocType, TagStatistics) {
    EXPECT_EQ(sgml("<p>a</p><p>b</p>"), DOC_HTML);
    EXPECT_EQ(sgml("<doc><x></x></doc>"), DOC_SGML);
    EXPECT_EQ(sgml("<p>a</p><p>b"), DOC_UNKNOWN);  // three tags
    // Tags that never close: too few '>'.
    EXPECT_EQ(sgml("<a <b <c <d <e"), DOC_UNKNOWN);
    // Only opening tags with unknown names: too unbalanced for SGML.
    EXPECT_EQ(sgml("<x><y><z><w>"), DOC_UNKNOWN);
    // Known names must be followed by white space or '>'.
    EXPECT_EQ(sgml("<pre><pa></pa></pre>"), DOC_SGML);
    // "<!" and "<?" count as opening tags.
    EXPECT_EQ(sgml("<?xml?><!DOCTYPE x><x></x>"), DOC_SGML);
    // Fewer tags than one per thousand bytes.
    EXPECT_EQ(sgml("<p>a</p><p>b</p>" + std::string(20000, 'x')), DOC_UNKNOWN);
}

TEST(DocType, TagStatisticsAtBufferEnd) {
    // Tag names cut by the end of the buffer are counted but never known.
    EXPECT_EQ(sgml("<p>a</p><p>b</p><blockquo"), DOC_UNKNOWN);  // 5 tags, 4 '>'
    EXPECT_EQ(sgml("<"), DOC_UNKNOWN);
    EXPECT_EQ(sgml("</"), DOC_UNKNOWN);
    EXPECT_EQ(sgml("x<b"), DOC_UNKNOWN);
    int32_t length = 0;
    EXPECT_EQ(isInArray(htmlLangTags, "BLOCKQUOTE>", &length), 1);
    EXPECT_EQ(length, 10);
    EXPECT_EQ(isInArray(htmlLangTags, "table", &length), 1);
    EXPECT_EQ(length, 5);
    EXPECT_EQ(isInArray(htmlLangTags, "tab", &length), 1);
    EXPECT_EQ(length, 3);
    EXPECT_EQ(isInArray(htmlLangTags, "xyz", nullptr), 0);
    EXPECT_EQ(isInArray(htmlLangTags, "", nullptr), 0);
}

TEST(DocType, TagTableOrder) {
    int rows = 0;
    int32_t previous = 10;
    for (const HtmlTag *t = htmlLangTags; t->name; ++t, ++rows) {
        EXPECT_EQ(static_cast<size_t>(t->length), std::string(t->name).size()) << t->name;
        EXPECT_LE(t->length, previous) << t->name;  // longest names first
        previous = t->length;
    }
    EXPECT_EQ(rows, 83);
    EXPECT_STREQ(htmlLangTags[0].name, "blockquote");
    EXPECT_STREQ(htmlLangTags[82].name, "q");
}

TEST(DocType, GuessFallsBackToPlainText) {
    EXPECT_EQ(guess("<?xml version=\"1.0\"?><a/>"), DOC_XML);
    EXPECT_EQ(guess("<p>a</p><p>b</p>"), DOC_HTML);
    EXPECT_EQ(guess("<p>a</p><p>b"), DOC_TEXT);
    EXPECT_EQ(guess(std::string("<p>a</p>\0<p>b</p>", 17)), DOC_TEXT);  // binary
    EXPECT_EQ(guess("just words"), DOC_TEXT);
    int32_t type = 9;
    EXPECT_EQ(GuessMimeType(nullptr, 4, &type), LANG_ERR_IDENTIFY);
}

namespace {

uint32_t g_format = 0;
int g_calls = 0;

int fake_file_information(void *, const char *, DXFileInfo *info) {
    ++g_calls;
    info->word[DX_FILEINFO_FORMAT_WORD] = g_format;
    return 0;
}

int failing_file_information(void *, const char *, DXFileInfo *) {
    ++g_calls;
    return -1;
}

}  // namespace

TEST(DocType, FileTypeFromThePlugIn) {
    LangContext ctx{};
    VosMutex mutex{};
    ASSERT_EQ(MutexInit(nullptr, &mutex, 0), 0);
    ctx.filterMutex = &mutex;
    ctx.filterInterface.fileInformation = fake_file_information;
    const std::string path = std::string(GLOTTA_TEST_DATA) + "/pipeline/plain_en.txt";
    int32_t type = -1;
    g_format = 210;
    EXPECT_EQ(GetMimeType(&ctx, path.c_str(), &type), 0);
    EXPECT_EQ(type, DOC_HTML);
    g_format = 300;
    EXPECT_EQ(GetMimeType(&ctx, path.c_str(), &type), 0);
    EXPECT_EQ(type, DOC_OTHER);
    // A failed identification leaves the zero-filled record: not recognised.
    ctx.filterInterface.fileInformation = failing_file_information;
    EXPECT_EQ(GetMimeType(&ctx, path.c_str(), &type), 0);
    EXPECT_EQ(type, DOC_UNKNOWN);
    // The mutex was released each time.
    EXPECT_EQ(MutexLock(nullptr, &mutex), 0);
    EXPECT_EQ(MutexUnlock(nullptr, &mutex), 0);

    EXPECT_EQ(GetMimeType(&ctx, "/no/such/file", &type), LANG_ERR_NOFILE);
    EXPECT_EQ(GetMimeType(nullptr, path.c_str(), &type), LANG_ERR_IDENTIFY);
    // A mutex that cannot be locked.
    MutexDestroy(nullptr, &mutex);
    g_calls = 0;
    EXPECT_EQ(GetMimeType(&ctx, path.c_str(), &type), LANG_ERR_MUTEX);
    EXPECT_EQ(g_calls, 0);
}

TEST(DocType, RandomBytesNeverReadPastTheBuffer) {
    const std::string alphabet = "<<>>/!?-_ \t\npbrhtmlxHTML\x01\x1B\xC3\xA9";
    std::mt19937 random(7);
    for (int round = 0; round < 3000; ++round) {
        std::string bytes(1 + random() % 200, '\0');
        for (char &c : bytes) c = alphabet[random() % alphabet.size()];
        const int32_t type = guess(bytes);
        EXPECT_TRUE(type >= DOC_TEXT && type <= DOC_XML) << type;
        sgml(bytes);
    }
}
