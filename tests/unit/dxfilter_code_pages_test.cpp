// The filter's code-page tables (code_pages.h) over their whole input range,
// against the answers each reader's own table gave before they were joined
// (tests/data/dxfilter/code_pages.txt, recorded by code_pages_record.py);
// the rows filled since are listed here, each with the reason.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "filters/dxfilter/code_pages.h"
#include "filters/dxfilter/compress_text.h"

namespace {

// Each function's recorded answers, by input ("-": empty).
std::map<std::string, std::vector<std::string>> Recorded() {
    std::ifstream in(GLOTTA_TEST_DATA "/dxfilter/code_pages.txt");
    EXPECT_TRUE(in) << "no recorded answers";
    // Per function: each block's runs (offset, answer).
    std::map<std::string, std::map<int, std::vector<std::pair<int, std::string>>>> blocks;
    std::map<int, std::vector<std::pair<int, std::string>>> *function = nullptr;
    std::vector<std::pair<int, std::string>> *runs = nullptr;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        if (line[0] == '[') {
            function = &blocks[line.substr(1, line.size() - 2)];
        } else if (line[0] == '@') {
            int block = 0, same = 0;
            char eq = 0;
            std::istringstream fields(line.substr(1));
            fields >> block;
            runs = &(*function)[block];
            if (fields >> eq >> same) *runs = (*function)[same];
        } else {
            const size_t space = line.find(' ');
            runs->emplace_back(std::stoi(line.substr(0, space)), line.substr(space + 1));
        }
    }
    std::map<std::string, std::vector<std::string>> answers;
    for (const auto &[name, byBlock] : blocks) {
        std::vector<std::string> &values = answers[name];
        const int blockSize = name == "font_charset" ? 256 : 1024;
        for (const auto &[block, blockRuns] : byBlock) {
            for (size_t r = 0; r < blockRuns.size(); ++r) {
                const int end = r + 1 < blockRuns.size() ? blockRuns[r + 1].first : blockSize;
                for (int i = blockRuns[r].first; i < end; ++i) {
                    std::string v = blockRuns[r].second;
                    if (const size_t hash = v.find('#'); hash != std::string::npos)
                        v.replace(hash, 1, std::to_string(block * 1024 + i));
                    values.push_back(v == "-" ? std::string() : v);
                }
            }
        }
    }
    return answers;
}

const std::map<std::string, std::vector<std::string>> &Answers() {
    static const auto answers = Recorded();
    return answers;
}

// Compares `answer` over every recorded input of `function` with what was
// recorded (or with `filled`, for the rows filled since), naming the first
// few inputs that differ.
void ExpectSame(const std::string &function, const std::function<std::string(int)> &answer,
                const std::map<int, std::string> &filled = {}) {
    const auto found = Answers().find(function);
    ASSERT_NE(found, Answers().end()) << function;
    const std::vector<std::string> &recorded = found->second;
    ASSERT_EQ(recorded.size(), function == "font_charset" ? 256u : 65536u) << function;
    int wrong = 0;
    for (int i = 0; i < static_cast<int>(recorded.size()); ++i) {
        const auto fill = filled.find(i);
        const std::string &expected = fill != filled.end() ? fill->second : recorded[i];
        const std::string got = answer(i);
        if (got != expected && ++wrong <= 5)
            ADD_FAILURE() << function << "(" << i << " = 0x" << std::hex << i << std::dec
                          << "): " << got << ", was " << expected;
    }
    EXPECT_EQ(wrong, 0) << function;
    for (const auto &[input, value] : filled)
        EXPECT_NE(recorded[input], value) << function << "(" << input << ") was filled already";
}

TEST(DxfCodePages, IconvNamesOfOfficeAndRtfDocuments) {
    ExpectSame("office_iconv", [](int cp) { return dxf::OfficeIconvName(cp); });
    ExpectSame("rtf_iconv", [](int cp) { return dxf::RtfIconvName(cp); });
    // RTF's numbers are any the control word holds.
    EXPECT_EQ(dxf::RtfIconvName(-1), "CP-1");
    EXPECT_EQ(dxf::RtfIconvName(65536 + 936), "CP66472");
}

TEST(DxfCodePages, FontCharsets) {
    ExpectSame("font_charset", [](int c) { return std::to_string(dxf::FontCharsetCodePage(c)); });
    for (int charset : {-1, -128, 256, 256 + 77, 1 << 20})
        EXPECT_EQ(dxf::FontCharsetCodePage(charset), 0) << charset;
}

TEST(DxfCodePages, LocalesOfHelpFiles) {
    ExpectSame("locale", [](int lcid) { return std::to_string(dxf::LocaleCodePage(lcid)); });
    // A sort order above the language: only its primary language counts.
    EXPECT_EQ(dxf::LocaleCodePage(0x00010419), 1251);
    EXPECT_EQ(dxf::LocaleCodePage(0x00020804), 0);
}

TEST(DxfCodePages, LanguagesOfWord6Documents) {
    // Locales the help files' table knew and Word's did not: a language
    // written in Cyrillic where others of its locales are not, and Uzbek,
    // whose Latin locale is Windows-1254's.
    const std::map<int, std::string> filled = {
        {0x1C1A, "CP1251"},  // Serbian, Cyrillic (Bosnia and Herzegovina)
        {0x201A, "CP1251"},  // Bosnian, Cyrillic
        {0x082C, "CP1251"},  // Azeri, Cyrillic
        {0x0443, "CP1254"},  // Uzbek, Latin
        {0x0843, "CP1251"},  // Uzbek, Cyrillic
    };
    ExpectSame(
        "word_language",
        [](int lid) { return dxf::OfficeIconvName(dxf::WordLanguageCodePage(lid)); }, filled);
    // The Macintosh charset (256) of a Word 6 FIB is Mac Roman whatever the
    // language; other charsets leave the language to decide.
    ExpectSame("word_charset", [](int charset) {
        return dxf::OfficeIconvName(charset == 256 ? 10000 : dxf::WordLanguageCodePage(0));
    });
}

TEST(DxfCodePages, IcuNamesOfMailAndHelpFiles) {
    ExpectSame("icu", [](int cp) { return dxf::CodePageCharset(cp); });
    // The candidate ICU is asked about, for a code page it does not know.
    EXPECT_EQ(dxf::IcuCodePageName(12345), "cp12345");
    EXPECT_EQ(dxf::CodePageCharset(12345), "");
    EXPECT_EQ(dxf::IcuCodePageName(0), "");
}

}  // namespace
