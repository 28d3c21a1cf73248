#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "charset/unicode_range.h"
#include "conv/zi18n_conv.h"
#include "pipeline_test_support.h"

using namespace pipeline_test;

namespace {

const unsigned char *bytes(const std::string &text) {
    static const unsigned char nothing[1] = {0};  // a valid address for no text
    return text.empty() ? nothing : reinterpret_cast<const unsigned char *>(text.data());
}

int32_t range_of(const std::string &text, int bigEndian = 0, LangContext *ctx = nullptr) {
    int32_t language = -1;
    EXPECT_EQ(
        RecLangByRange(ctx, bytes(text), static_cast<int32_t>(text.size()), bigEndian, &language),
        0);
    return language;
}

TEST(UnicodeRange, IgnoredUnits) {
    for (uint32_t unit : {0x0000u, 0x0020u, 0x0039u, 0x0040u, 0x30FBu})
        EXPECT_EQ(IsIgnore(unit), 1);
    for (uint32_t unit : {0x0041u, 0x30FAu, 0xFFFFu}) EXPECT_EQ(IsIgnore(unit), 0);
}

// Single-script text is covered unit by unit below and end to end
// (text_utf8_scripts_answered_directly); these are the counting rules.
TEST(UnicodeRange, DominantScript) {
    const std::pair<std::u16string, int32_t> cases[] = {
        {u"", Lang_Unknown},
        {u"12 34, 5.6 @!?", Lang_Unknown},
        {u"\u30FB\u30FB", Lang_Unknown},
        {u"Hello world", Lang_Latin},
        {u"Gr\u00FC\u00DFe aus M\u00FCnchen", Lang_Latin},
        {u"\u201Cab\u201D", Lang_Latin},  // outside every block: the total only
        // One letter beyond Latin-1 lifts the extended counter above it.
        {u"\u00E9\u00E9\u0103", Lang_LatinExt},
        {u"abc\u0103\u00E9", Lang_LatinExt},
        // Han alone is Chinese; one kana or Hangul puts its language ahead.
        {u"\u4E2D\u6587\u5B57", Lang_Chinese},
        {u"\u4E2D\u6587\u5B57\u3042", Lang_Japanese},
        {u"\u4E2D\u6587\u5B57\uAC00", Lang_Korean},
        {u"\u4E2D\u3105", Lang_Chinese},
        {u"\u4E2D\u30FB\u6587", Lang_Chinese},
        // ASCII letters side with Latin against a script; ties keep the script.
        {u"\u03B1\u03B2\u03B3abcd", Lang_Latin},
        {u"\u03B1\u03B2\u03B3abc", Lang_Greek},
        {u"\u0420\u0443\u0441\u0441ab\u0103\u0103\u0103", Lang_Latin},
        {u"\u0420\u0443\u0441\u0441\u0441ab\u0103\u0103\u0103", Lang_Russian}};
    for (const auto &[text, expected] : cases) EXPECT_EQ(range_of(Utf16(text)), expected);
    // The byte order swaps every pair: U+9503 and twice U+BB03.
    const std::string greek = Utf16(u"\u0395\u03BB\u03BB", true);
    EXPECT_EQ(range_of(greek, 1), Lang_Greek);
    EXPECT_EQ(range_of(greek, 0), Lang_Korean);
    // A trailing odd byte is not read.
    EXPECT_EQ(range_of(Utf16(u"\u03B1") + "a"), Lang_Greek);
    EXPECT_EQ(range_of("A"), Lang_Unknown);
    int32_t language = -1;
    EXPECT_EQ(RecLangByRange(nullptr, nullptr, 4, 0, &language), LANG_ERR_NULL);
    EXPECT_EQ(language, -1);
}

// Every code unit alone, against the block list written out independently of
// the lookup the counting uses: a unit answers its block's script (Latin for
// ASCII and Latin-1 letters, Chinese for the shared Han blocks), and a unit of
// no block answers unknown.
TEST(UnicodeRange, EveryUnitFindsItsBlock) {
    struct Block {
        uint32_t low, high;
        int32_t language;
    };
    const Block blocks[] = {
        {0x0370, 0x03FF, Lang_Greek},      {0x1F00, 0x1FFF, Lang_Greek},
        {0x0600, 0x06FF, Lang_Arabic},     {0xFB50, 0xFDFF, Lang_Arabic},
        {0xFE70, 0xFEFE, Lang_Arabic},     {0x0590, 0x05FF, Lang_Hebrew},
        {0x3100, 0x312F, Lang_Chinese},    {0x31A0, 0x31BF, Lang_Chinese},
        {0x3130, 0x318F, Lang_Korean},     {0xAC00, 0xD7A3, Lang_Korean},
        {0xFFA1, 0xFFBE, Lang_Korean},     {0xFFC2, 0xFFC7, Lang_Korean},
        {0xFFCA, 0xFFCF, Lang_Korean},     {0xFFD2, 0xFFD7, Lang_Korean},
        {0xFFDA, 0xFFDC, Lang_Korean},     {0x3040, 0x30FF, Lang_Japanese},
        {0xFF66, 0xFF9F, Lang_Japanese},   {0x2E80, 0x303F, Lang_Chinese},
        {0x3200, 0x9FFF, Lang_Chinese},    {0xF900, 0xFAFF, Lang_Chinese},
        {0x0400, 0x04FF, Lang_Russian},    {0x0E00, 0x0E7F, Lang_Thai},
        {0x0041, 0x00FF, Lang_Latin},      {0x0100, 0x024F, Lang_LatinExt},
        {0x1E00, 0x1EFF, Lang_LatinExt},   {0x0530, 0x058F, Lang_Armenian},
        {0x0700, 0x074F, Lang_Syriac},     {0x0780, 0x07BF, Lang_Divehi},
        {0x0900, 0x097F, Lang_Hindi},      {0x0980, 0x09FF, Lang_Bengali},
        {0x0A00, 0x0A7F, Lang_Punjabi},    {0x0A80, 0x0AFF, Lang_Gujarati},
        {0x0B00, 0x0B7F, Lang_Oriya},      {0x0B80, 0x0BFF, Lang_Tamil},
        {0x0C00, 0x0C7F, Lang_Telugu},     {0x0C80, 0x0CFF, Lang_Kannada},
        {0x0D00, 0x0D7F, Lang_Malayalam},  {0x0D80, 0x0DFF, Lang_Sinhala},
        {0x0E80, 0x0EFF, Lang_Lao},        {0x0F00, 0x0FFF, Lang_Tibetan},
        {0x1000, 0x109F, Lang_Myanmar},    {0x10A0, 0x10FF, Lang_Georgian},
        {0x1200, 0x137F, Lang_Ethiopic},   {0x13A0, 0x13FF, Lang_Cherokee},
        {0x1700, 0x177F, Lang_Philippine}, {0x1780, 0x17FF, Lang_Khmer},
        {0x1800, 0x18AF, Lang_Mongolian},
    };
    for (uint32_t unit = 0; unit <= 0xFFFF; ++unit) {
        int32_t expected = Lang_Unknown;
        for (const Block &block : blocks) {
            if (unit >= block.low && unit <= block.high && !IsIgnore(unit)) {
                expected = block.language;
                break;
            }
        }
        const unsigned char pair[2] = {static_cast<unsigned char>(unit & 0xFF),
                                       static_cast<unsigned char>(unit >> 8)};
        int32_t language = -1;
        ASSERT_EQ(RecLangByRange(nullptr, pair, 2, 0, &language), 0);
        ASSERT_EQ(language, expected) << std::hex << "U+" << unit;
    }
}

// Pieces of UTF-8, well formed or not, that the random texts below are made of.
const char *const kUtf8Pieces[] = {"a",
                                   "Zq",
                                   " ",
                                   "12, ",
                                   "@",
                                   "\x7F",
                                   "\xC3\xA9",
                                   "\xC2\x80",
                                   "\xD0\x96",
                                   "\xCE\xB1",
                                   "\xD7\x90",
                                   "\xD8\xB9",
                                   "\xE0\xA4\x95",
                                   "\xE4\xB8\xAD",
                                   "\xE3\x81\x82",
                                   "\xEA\xB0\x80",
                                   "\xE3\x83\xBB",
                                   "\xEF\xBB\xB5",
                                   "\xE1\xB8\x80",
                                   "\xEF\xBF\xBF",
                                   "\xED\xA0\x80",  // a surrogate on its own: comes back as it was
                                   "\xF0\x9F\x98\x80",  // four bytes: come back as two surrogates
                                   "\xC0\xAF",
                                   "\xC1\xBF",
                                   "\xE0\x80\xAF",
                                   "\xE0\x9F\xBF",  // overlong
                                   "\x80",
                                   "\xBF",
                                   "\xF8",
                                   "\xFF",
                                   "\xC3",
                                   "\xE4\xB8",
                                   "\xC3"
                                   "A",
                                   "\xE4"
                                   "A\xAD"};

// The conversion to UTF-16 and back, and where the first one stopped.
struct RoundTrip {
    std::string utf16, back;
    int32_t consumed = 0;
};
RoundTrip round_trip(const std::string &utf8) {
    RoundTrip out;
    if (utf8.empty()) return out;
    std::string units(2 * utf8.size() + 2, '\0');
    int32_t written = 0;
    Zi18nUtf8ToUnicode(utf8.data(), static_cast<int32_t>(utf8.size()), &out.consumed, units.data(),
                       static_cast<int32_t>(units.size()), &written, 0);
    out.utf16 = units.substr(0, static_cast<size_t>(written));
    if (written == 0) return out;
    std::string back(3 * out.utf16.size() / 2 + 1, '\0');
    int32_t consumed = 0;
    Zi18nUnicodeToUtf8(out.utf16.data(), written, &consumed, back.data(),
                       static_cast<int32_t>(back.size()), &written, 0);
    out.back = back.substr(0, static_cast<size_t>(written));
    return out;
}

// Counting UTF-8 in place stands in for the conversion exactly when the
// conversion there and back changes nothing, and then gives its answer.
TEST(UnicodeRange, Utf8CountingMatchesConversion) {
    std::mt19937 random(15);
    std::vector<std::string> texts = {"",
                                      "a",
                                      "Hello",
                                      "\xC3",
                                      "caf\xC3\xA9 \xE4\xB8\xAD",
                                      "abcdefgh\xC3\xA9"
                                      "abcdefghijklmnop\xC3"};
    for (const char *piece : kUtf8Pieces) texts.emplace_back(piece);
    for (int n = 0; n < 3000; ++n) {
        std::string text;
        const int pieces = static_cast<int>(random() % 24);
        for (int k = 0; k < pieces; ++k) {
            // Mostly well formed, ASCII runs long enough for the word steps.
            const size_t pick = random() % (std::size(kUtf8Pieces) + 6);
            text += pick < std::size(kUtf8Pieces) ? kUtf8Pieces[pick] : "word and ";
        }
        if (random() % 4 == 0 && !text.empty()) text.resize(random() % text.size());
        texts.push_back(text);
    }
    int clean = 0;
    for (const std::string &text : texts) {
        int32_t language = -1, kept = -1;
        const int same =
            RecLangByRangeUtf8(bytes(text), static_cast<int32_t>(text.size()), &language, &kept);
        const RoundTrip converted = round_trip(text);
        const bool unchanged =
            converted.back == text.substr(0, static_cast<size_t>(converted.consumed));
        ASSERT_EQ(same == 1, unchanged) << testing::PrintToString(text);
        if (!same) continue;
        ++clean;
        EXPECT_EQ(kept, converted.consumed) << testing::PrintToString(text);
        EXPECT_EQ(language, range_of(converted.utf16)) << testing::PrintToString(text);
    }
    EXPECT_GT(clean, 500);
}

TEST(UnicodeRange, DebugLog) {
    HandContext ctx;
    ctx.Debug();
    EXPECT_EQ(range_of(Utf16(u"123"), 0, ctx.get()), Lang_Unknown);
    EXPECT_EQ(ctx.Log(), "Detecting language by unicode code range\n");
    // Han without kana counts for Chinese only; Latin-1 only for Latin.
    EXPECT_EQ(range_of(Utf16(u"ab\u00E9\u4E2D"), 0, ctx.get()), Lang_Latin);
    const std::string log = ctx.Log();
    int lines = 0;
    for (size_t at = log.find("Score["); at != std::string::npos; at = log.find("Score[", at + 1))
        ++lines;
    EXPECT_EQ(lines, 24);
    for (const char *line :
         {"range\nScore[Lang_Unknown]=0.000000, 0\nScore[Lang_Ascii]=0.500000, 2\n",
          "Score[Lang_Chinese]=0.250000, 1\n", "Score[Lang_Japanese]=0.000000, 0\n",
          "Score[Lang_Korean]=0.000000, 0\nScore[Lang_Latin]=0.250000, 1\n"
          "Score[Lang_LatinExt]=0.000000, 0\n",
          "Score[Lang_Portugese]=0.000000, 0\n", "Score[Lang_Turkish]=0.000000, 0\n"}) {
        EXPECT_NE(log.find(line), std::string::npos) << line;
    }
}

// The scripts of text_utf8_scripts_answered_directly answer end to end.
TEST(RecUniLangCode, AnswersWithoutClassification) {
    // A services object that converts nothing.
    DXServices services{};
    Zi18nHandle handle{nullptr, &services, nullptr};
    LangContext ctx{};
    ctx.convService = &handle;
    const struct {
        std::string text;
        int bigEndian;
        Candidate want;
    } cases[] = {{Utf16(u"\u1780"), 0, {"km", "Unknown", 1.0f}},
                 // Without a conversion the variant test has no answer: undecided.
                 {Utf16(u"\u4E2D\u6587\u5B57"), 0, {"zh", "Unknown", 1.0f}},
                 {"", 0, {"un", "Unknown", 0.0f}},
                 {"x", 0, {"un", "Unknown", 0.0f}},
                 {Utf16(u"1, 2; 3!"), 0, {"un", "Unknown", 0.0f}}};
    for (const auto &c : cases) {
        LangCandidate *list = nullptr;
        EXPECT_EQ(RecUniLangCode(&ctx, 51, bytes(c.text), static_cast<int32_t>(c.text.size()),
                                 c.bigEndian, &list),
                  0);
        EXPECT_EQ(Take(list), std::vector<Candidate>{c.want}) << c.want.language;
    }
    LangCandidate *list = nullptr;
    EXPECT_EQ(RecUniLangCode(&ctx, 51, nullptr, 4, 0, &list), LANG_ERR_NULL);
    const std::string russian = Utf16(u"\u0420\u0443\u0441\u0441\u043A\u0438\u0439");
    EXPECT_EQ(
        RecUniLangCode(&ctx, 51, bytes(russian), static_cast<int32_t>(russian.size()), 0, &list),
        LANG_ERR_CONVERT);
    EXPECT_EQ(list, nullptr);
}

}  // namespace
