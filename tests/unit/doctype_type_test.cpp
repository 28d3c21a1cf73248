#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "doctype/doctype.h"
#include "pipeline_test_support.h"

namespace {

// Runs `fn` on a heap copy of exactly the bytes of `text` (ASan sees over-reads).
template <typename Fn>
int32_t on_bytes(const std::string &text, Fn fn) {
    std::vector<unsigned char> bytes(text.begin(), text.end());
    int32_t type = -7;
    EXPECT_EQ(fn(bytes.data(), static_cast<int32_t>(bytes.size()), &type), 0);
    return type;
}

TEST(DocType, MimeStringsAndFormatCodes) {
    const std::pair<const char *, int32_t> mimes[] = {{"text/plain", DOC_TEXT},
                                                      {"TEXT/HTML", DOC_HTML},
                                                      {"text/sgml", DOC_SGML},
                                                      {"Text/Xml", DOC_XML},
                                                      {"application/pdf", DOC_OTHER},
                                                      {"text/html; charset=utf-8", DOC_OTHER},
                                                      {nullptr, DOC_OTHER}};
    for (auto [mime, expected] : mimes) {
        int32_t type = -1;
        EXPECT_EQ(MimeTypeMapping(mime, &type), 0);
        EXPECT_EQ(type, expected) << (mime ? mime : "(null)");
    }
    const std::pair<uint32_t, int32_t> codes[] = {
        {0, DOC_UNKNOWN}, {2, DOC_TEXT},  {209, DOC_SGML}, {210, DOC_HTML},
        {275, DOC_TEXT},  {285, DOC_XML}, {4, DOC_OTHER},  {0xFFFFFFFFu, DOC_OTHER}};
    for (auto [code, expected] : codes) {
        int32_t type = -1;
        EXPECT_EQ(MapMimeType(code, &type), 0);
        EXPECT_EQ(type, expected) << code;
    }
}

TEST(DocType, Signatures) {
    const std::pair<std::string, int32_t> cases[] = {
        {"  <?xml version=\"1.0\"?>", DOC_XML},
        {"\r\n\t<!-- comment -->", DOC_HTML},
        {"<!DocType Html>", DOC_HTML},
        {"<HtMl>", DOC_HTML},
        {"<?xm", -7},      // shorter than the signature: no match
        {"   ", -7},       // nothing but blanks: type untouched
        {"\f<html>", -7},  // form feed is not skipped
    };
    for (const auto &[text, expected] : cases)
        EXPECT_EQ(on_bytes(text, recognize_ByMagic), expected) << text;
    int32_t type = 0;
    const unsigned char one[] = "x";
    EXPECT_EQ(recognize_ByMagic(nullptr, 3, &type), LANG_ERR_IDENTIFY);
    EXPECT_EQ(recognize_ByMagic(one, 0, &type), LANG_ERR_IDENTIFY);
    EXPECT_EQ(GuessMimeType(nullptr, 4, &type), LANG_ERR_IDENTIFY);
}

TEST(DocType, PlainTextHistogram) {
    const std::pair<std::string, int> cases[] = {
        {"hello world\n", 0},
        {std::string("a\0b", 3), LANG_ERR_IDENTIFY},
        {"ab\xC3\xA9", LANG_ERR_IDENTIFY},             // high and printable counts too close
        {"\xD0\xF0\xE8\xE2\xE5\xF2 a", 0},             // mostly high bytes: text
        {"abc\x01\x02", LANG_ERR_IDENTIFY},            // controls that are not layout
        {"x\n\n\n\n\n\n\n\n\n\x01", 0},                // 9 of 10 layout: 90 > 89
        {"x\n\n\n\n\n\n\n\n\x01", LANG_ERR_IDENTIFY},  // 8 of 9: 88
    };
    for (const auto &[text, expected] : cases) {
        std::vector<unsigned char> bytes(text.begin(), text.end());
        EXPECT_EQ(contentRecPlain(bytes.data(), static_cast<int32_t>(bytes.size())), expected);
    }
    EXPECT_EQ(contentRecPlain(nullptr, 1), LANG_ERR_IDENTIFY);
}

TEST(DocType, TagStatisticsAndGuess) {
    const struct {
        std::string text;
        int32_t sgml, guess;
    } cases[] = {
        {"<p>a</p><p>b</p>", DOC_HTML, DOC_HTML},
        {"<doc><x></x></doc>", DOC_SGML, DOC_SGML},
        {"<p>a</p><p>b", DOC_UNKNOWN, DOC_TEXT},       // three tags
        {"<a <b <c <d <e", DOC_UNKNOWN, DOC_TEXT},     // too few '>'
        {"<x><y><z><w>", DOC_UNKNOWN, DOC_TEXT},       // too unbalanced
        {"<pre><pa></pa></pre>", DOC_SGML, DOC_SGML},  // "pa" is no "p" tag
        {"<?xml?><!DOCTYPE x><x></x>", DOC_SGML, DOC_XML},
        {"<p>a</p><p>b</p>" + std::string(20000, 'x'), DOC_UNKNOWN, DOC_TEXT},
        {"<p>a</p><p>b</p><blockquo", DOC_UNKNOWN, DOC_TEXT},  // 5 tags, 4 '>'
        {"<", DOC_UNKNOWN, DOC_TEXT},
        {"</", DOC_UNKNOWN, DOC_TEXT},
        {std::string("<p>a</p>\0<p>b</p>", 17), DOC_HTML, DOC_TEXT},  // binary: no tag test
        {"just words", DOC_UNKNOWN, DOC_TEXT}};
    for (const auto &c : cases) {
        EXPECT_EQ(on_bytes(c.text, contentRecSGML), c.sgml) << c.text;
        EXPECT_EQ(on_bytes(c.text, GuessMimeType), c.guess) << c.text;
    }
    int rows = 0;
    while (htmlLangTags[rows].name) ++rows;
    EXPECT_EQ(rows, 83);
    int32_t length = 0;
    EXPECT_EQ(isInArray(htmlLangTags, "BLOCKQUOTE>", &length), 1);
    EXPECT_EQ(length, 10);
    EXPECT_EQ(isInArray(htmlLangTags, "table", &length), 1);
    EXPECT_EQ(length, 5);
    EXPECT_EQ(isInArray(htmlLangTags, "tab", &length), 1);
    EXPECT_EQ(length, 3);
    EXPECT_EQ(isInArray(htmlLangTags, "xyz", nullptr), 0);
}

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

TEST(DocType, FileTypeFromThePlugIn) {
    LangContext ctx{};
    VosMutex mutex{};
    ASSERT_EQ(MutexInit(nullptr, &mutex, 0), 0);
    ctx.filterMutex = &mutex;
    ctx.filterInterface.fileInformation = fake_file_information;
    const std::string path = pipeline_test::Data("plain_en.txt");
    int32_t type = -1;
    for (auto [format, expected] : {std::pair{210u, DOC_HTML}, std::pair{300u, DOC_OTHER}}) {
        g_format = format;
        EXPECT_EQ(GetMimeType(&ctx, path.c_str(), &type), 0);
        EXPECT_EQ(type, expected);
    }
    // A failed identification leaves the zero-filled record: not recognised.
    ctx.filterInterface.fileInformation = failing_file_information;
    EXPECT_EQ(GetMimeType(&ctx, path.c_str(), &type), 0);
    EXPECT_EQ(type, DOC_UNKNOWN);
    // The mutex was released each time.
    EXPECT_EQ(MutexLock(nullptr, &mutex), 0);
    EXPECT_EQ(MutexUnlock(nullptr, &mutex), 0);
    EXPECT_EQ(GetMimeType(&ctx, "/no/such/file", &type), LANG_ERR_NOFILE);
    EXPECT_EQ(GetMimeType(nullptr, path.c_str(), &type), LANG_ERR_IDENTIFY);
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
        const int32_t type = on_bytes(bytes, GuessMimeType);
        EXPECT_TRUE(type >= DOC_TEXT && type <= DOC_XML) << type;
        on_bytes(bytes, contentRecSGML);
    }
}

}  // namespace
