#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "scan/scan.h"

using scan::AppendJsonString;
using scan::AppendTsvField;
using scan::Candidate;
using scan::Codes;
using scan::Format;
using scan::FormatRecord;
using scan::Outcome;
using scan::RecordStyle;

namespace {

std::string json(std::string_view bytes) {
    std::string out;
    AppendJsonString(out, bytes);
    return out;
}

std::string tsv(std::string_view bytes) {
    std::string out;
    AppendTsvField(out, bytes);
    return out;
}

TEST(ScanRecord, JsonStringsAreValidJsonAndKeepEveryByte) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"a/b.txt", "\"a/b.txt\""},
        {"", "\"\""},
        {"q\"b\\s", "\"q\\\"b\\\\s\""},
        {"t\tn\nr\r", "\"t\\tn\\nr\\r\""},
        {std::string_view("\x01\x1f\x7f\0", 4), "\"\\u0001\\u001f\\u007f\\u0000\""},
        // Valid UTF-8 of every length stays as it is.
        {"\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80", "\"\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80\""},
        // Latin-1 bytes, a cut sequence, an overlong form, a surrogate, a
        // value past U+10FFFF: each byte on its own.
        {"caf\xE9.txt", "\"caf\\udce9.txt\""},
        {"\xE4\xB8", "\"\\udce4\\udcb8\""},
        {"\xC0\xAF", "\"\\udcc0\\udcaf\""},
        {"\xED\xA0\x80", "\"\\udced\\udca0\\udc80\""},
        {"\xF4\x90\x80\x80", "\"\\udcf4\\udc90\\udc80\\udc80\""},
        {"\xFF\xC3\xA9", "\"\\udcff\xC3\xA9\""},
    };
    for (auto [in, out] : cases) EXPECT_EQ(json(in), out) << in;
}

TEST(ScanRecord, TsvFieldsEscapeOnlyWhatBreaksALine) {
    EXPECT_EQ(tsv("a b/c\xE9.txt"), "a b/c\xE9.txt");
    EXPECT_EQ(tsv("a\tb\nc\rd\\e"), "a\\tb\\nc\\rd\\\\e");
}

TEST(ScanRecord, Bcp47CodesForTheIdentifiersThatAreNoTags) {
    const std::pair<const char *, const char *> cases[] = {
        {"un", "und"}, {"zt", "zh-Hant"},  {"zh", "zh"},
        {"en", "en"},  {"mm", "mn"},       {"bms", "my"},
        {"div", "dv"}, {"Unknown", "und"}, {"Unknown_lang", "und"},
        {"xx", "xx"}};
    for (auto [code, tag] : cases) EXPECT_EQ(scan::Bcp47Code(code), tag) << code;
}

RecordStyle style(Format format, Codes codes = Codes::kGlotta) {
    RecordStyle s;
    s.format = format;
    s.codes = codes;
    s.displayName = [](const char *id) -> const char * {
        return std::string_view(id) == "en" ? "English" : id;
    };
    return s;
}

TEST(ScanRecord, RecordLines) {
    Outcome two{0, {Candidate{"en", "1252", 0.8125f}, Candidate{"zt", "big5", 0.5f}}};
    Outcome unknown{0, {Candidate{"un", "Unknown", 0.0f}}};
    Outcome failed{LANG_ERR_NOFILE, {}};
    Outcome empty{0, {}};
    struct Case {
        Format format;
        Codes codes;
        const char *path;
        const Outcome &outcome;
        const char *line;
    } cases[] = {
        {Format::kTsv, Codes::kGlotta, "a.txt", two,
         "a.txt\ten\tEnglish\t1252\twindows-1252\t0.8125\tzt\tzt\tbig5\tBig5\t0.5000\n"},
        {Format::kTsv, Codes::kBcp47, "a.txt", two,
         "a.txt\ten\tEnglish\t1252\twindows-1252\t0.8125\tzh-Hant\tzt\tbig5\tBig5\t0.5000\n"},
        {Format::kTsv, Codes::kGlotta, "u\tv", unknown, "u\\tv\tun\tun\tUnknown\t\t0.0000\n"},
        {Format::kTsv, Codes::kGlotta, "gone", failed,
         "gone\terror\t-19996\tFile does not exist\n"},
        {Format::kTsv, Codes::kGlotta, "e", empty, "e\n"},
        {Format::kJsonl, Codes::kGlotta, "a.txt", two,
         "{\"path\":\"a.txt\",\"language\":\"en\",\"name\":\"English\",\"charset\":\"1252\","
         "\"charset_iana\":\"windows-1252\",\"score\":0.8125,\"runners_up\":[{\"language\":"
         "\"zt\",\"name\":\"zt\",\"charset\":\"big5\",\"charset_iana\":\"Big5\",\"score\":0.5000}]}"
         "\n"},
        {Format::kJsonl, Codes::kBcp47, "\xE9", unknown,
         "{\"path\":\"\\udce9\",\"language\":\"und\",\"name\":\"un\",\"charset\":\"Unknown\","
         "\"charset_iana\":null,\"score\":0.0000}\n"},
        {Format::kJsonl, Codes::kGlotta, "gone", failed,
         "{\"path\":\"gone\",\"error\":{\"code\":-19996,\"message\":\"File does not exist\"}}\n"},
        {Format::kJsonl, Codes::kGlotta, "e", empty, "{\"path\":\"e\"}\n"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(FormatRecord(style(c.format, c.codes), c.path, c.outcome), c.line) << c.line;
}

// The score field is what printf's "%.4f" makes of the score, also where
// the fifth decimal is a tie or the float lies just beside one.
TEST(ScanRecord, ScoresAreWrittenAsPrintfWritesThem) {
    std::vector<float> scores = {0.0f,     -0.0f, 1.0f, 0.00005f, 0.00015f,  0.12345f,
                                 0.99995f, 0.5f,  2.5f, 1e-9f,    123.45678f};
    for (int i = 0; i <= 200000; ++i) scores.push_back(static_cast<float>(i) / 200000.0f);
    for (float score = 0.00005f; score < 1.0f; score += 0.0001f) {
        scores.push_back(score);
        scores.push_back(std::nextafter(score, 0.0f));
        scores.push_back(std::nextafter(score, 1.0f));
    }
    for (const float score : scores) {
        const Outcome outcome{0, {Candidate{"en", "1252", score}}};
        const std::string line = FormatRecord(style(Format::kTsv, Codes::kGlotta), "p", outcome);
        char expected[64];
        snprintf(expected, sizeof expected, "%.4f\n", static_cast<double>(score));
        ASSERT_EQ(line.substr(line.rfind('\t') + 1), expected) << score;
    }
}

TEST(ScanRecord, CandidatesAndDistinctLanguages) {
    char en[] = "en", fr[] = "fr", c1252[] = "1252", utf8[] = "utf8";
    const LangCandidate list[] = {{en, c1252, 0.9f},
                                  {en, utf8, 0.8f},
                                  {fr, c1252, 0.7f},
                                  {fr, utf8, 0.6f},
                                  {nullptr, nullptr, 0.0f}};
    auto languages = [](const std::vector<Candidate> &chosen) {
        std::string out;
        for (const Candidate &c : chosen) out += c.language + "/" + c.charset + " ";
        return out;
    };
    EXPECT_EQ(languages(scan::SelectCandidates(list, 1, false)), "en/1252 ");
    EXPECT_EQ(languages(scan::SelectCandidates(list, 3, false)), "en/1252 en/utf8 fr/1252 ");
    EXPECT_EQ(languages(scan::SelectCandidates(list, 2, true)), "en/1252 fr/1252 ");
    EXPECT_EQ(languages(scan::SelectCandidates(list, 9, true)), "en/1252 fr/1252 ");
    EXPECT_EQ(languages(scan::SelectCandidates(list, 9, false)),
              "en/1252 en/utf8 fr/1252 fr/utf8 ");
    EXPECT_TRUE(scan::SelectCandidates(nullptr, 3, false).empty());
}

}  // namespace

namespace {

TEST(ScanRecord, CharsetListHasEveryRowOnce) {
    const std::string list = scan::CharsetList();
    EXPECT_NE(list.find("1252\twindows-1252\n"), std::string::npos);
    EXPECT_NE(list.find("euc-ksc\tEUC-KR\n"), std::string::npos);
    EXPECT_EQ(list.find("1252\twindows-1252\n"), list.rfind("1252\twindows-1252\n"));
    EXPECT_EQ(list.back(), '\n');
}

}  // namespace
