// code_pages.cpp - the filter's tables of Windows code pages: of locales,
// of Word languages, of font charsets, and their iconv and ICU names.
#include "filters/dxfilter/code_pages.h"

#include <string_view>

namespace dxf {

namespace {

// Windows ANSI code pages of locales (LCID), by primary language (the low 10
// bits), for languages whose locales share one. The full LCIDs first: the
// locales whose script differs from their language's others (Croatian,
// Serbian and Bosnian; Azeri; Uzbek; Chinese). Other languages have none.
struct LocaleRow {
    uint32_t lcid;  // a full LCID, or a primary language when below 0x400
    uint16_t codePage;
};
constexpr LocaleRow kLocaleCodePages[] = {
    {0x041A, 1250}, {0x081A, 1250}, {0x0C1A, 1251}, {0x101A, 1250}, {0x141A, 1250}, {0x181A, 1250},
    {0x1C1A, 1251}, {0x201A, 1251}, {0x042C, 1254}, {0x082C, 1251}, {0x0443, 1254}, {0x0843, 1251},
    {0x0404, 950},  {0x0804, 936},  {0x0C04, 950},  {0x1004, 936},  {0x1404, 950},  {0x01, 1256},
    {0x02, 1251},   {0x03, 1252},   {0x05, 1250},   {0x06, 1252},   {0x07, 1252},   {0x08, 1253},
    {0x09, 1252},   {0x0A, 1252},   {0x0B, 1252},   {0x0C, 1252},   {0x0D, 1255},   {0x0E, 1250},
    {0x0F, 1252},   {0x10, 1252},   {0x11, 932},    {0x12, 949},    {0x13, 1252},   {0x14, 1252},
    {0x15, 1250},   {0x16, 1252},   {0x18, 1250},   {0x19, 1251},   {0x1B, 1250},   {0x1C, 1250},
    {0x1D, 1252},   {0x1E, 874},    {0x1F, 1254},   {0x20, 1256},   {0x21, 1252},   {0x22, 1251},
    {0x23, 1251},   {0x24, 1250},   {0x25, 1257},   {0x26, 1257},   {0x27, 1257},   {0x29, 1256},
    {0x2A, 1258},   {0x2D, 1252},   {0x2F, 1251},   {0x36, 1252},   {0x38, 1252},   {0x3E, 1252},
    {0x3F, 1251},   {0x40, 1251},   {0x41, 1252},   {0x44, 1251},   {0x50, 1251},   {0x56, 1252}};

// Word's code page for a language written in two scripts whose locale the
// table above does not name (a neutral or later one): the script of most of
// its locales. A help file's pages are left to their bytes instead; Word's
// 8-bit text has to be read in some code page.
struct PrimaryRow {
    uint16_t primary;
    uint16_t codePage;
};
constexpr PrimaryRow kWordPrimaryCodePages[] = {
    {0x04, 950},   // Chinese: traditional
    {0x1A, 1250},  // Croatian, Serbian and Bosnian: Latin
    {0x2C, 1254},  // Azeri: Latin
};
constexpr uint16_t kWordDefaultCodePage = 1252;

// Windows font charsets and their code pages; any other names none.
struct CharsetRow {
    uint8_t charset;
    uint16_t codePage;
};
constexpr CharsetRow kFontCharsets[] = {
    {77, 10000},  // Macintosh
    {128, 932},   // Shift JIS
    {129, 949},   // Hangul
    {130, 1361},  // Johab
    {134, 936},   // GB 2312
    {136, 950},   // Big5
    {161, 1253},  // Greek
    {162, 1254},  // Turkish
    {163, 1258},  // Vietnamese
    {177, 1255},  // Hebrew
    {178, 1256},  // Arabic
    {186, 1257},  // Baltic
    {204, 1251},  // Cyrillic
    {222, 874},   // Thai
    {238, 1250},  // Eastern European
    {254, 437},   // PC 437
    {255, 850},   // OEM, read as RTF's \pca
};

// iconv names of the code pages not named "CP<n>" by one of the readers;
// null: "CP<n>". The two columns differ where the documents do:
// - 367, 1200, 32768 and 32769 are marks of Excel's CODEPAGE record and of
//   summary information (ASCII; UTF-16, which holds no 8-bit text, read as
//   Windows-1252; Excel's own Mac Roman and Windows-1252). RTF has no such
//   marks: iconv knows CP367 as ASCII, and the others fall back to 1252.
// - 65001 in RTF is UTF-8; Office's 8-bit text is never UTF-8, and iconv's
//   failure on "CP65001" reads it as Windows-1252.
// - 936, 950 and 1361 are spelt by RTF's own names; iconv knows CP936, CP950
//   and CP1361 as the same converters.
struct IconvRow {
    uint16_t codePage;
    const char *office;
    const char *rtf;
};
constexpr IconvRow kIconvNames[] = {
    {367, "ASCII", nullptr},       {936, nullptr, "GBK"},      {950, nullptr, "BIG5"},
    {1200, "CP1252", nullptr},     {1361, nullptr, "JOHAB"},   {10000, "MACINTOSH", "MACINTOSH"},
    {32768, "MACINTOSH", nullptr}, {32769, "CP1252", nullptr}, {65001, nullptr, "UTF-8"},
};

const IconvRow *iconv_row(long long codePage) {
    for (const IconvRow &row : kIconvNames)
        if (row.codePage == codePage) return &row;
    return nullptr;
}

// Code pages ICU knows by a name that is neither "windows-N" nor "cpN".
struct IcuRow {
    uint32_t codePage;
    std::string_view name;
};
constexpr IcuRow kIcuNames[] = {
    {932, "Shift_JIS"},     {936, "GBK"},           {949, "windows-949"},   {950, "Big5"},
    {1200, "UTF-16LE"},     {1201, "UTF-16BE"},     {20127, "US-ASCII"},    {20866, "KOI8-R"},
    {21866, "KOI8-U"},      {28591, "ISO-8859-1"},  {28592, "ISO-8859-2"},  {28593, "ISO-8859-3"},
    {28594, "ISO-8859-4"},  {28595, "ISO-8859-5"},  {28596, "ISO-8859-6"},  {28597, "ISO-8859-7"},
    {28598, "ISO-8859-8"},  {28599, "ISO-8859-9"},  {28603, "ISO-8859-13"}, {28605, "ISO-8859-15"},
    {50220, "ISO-2022-JP"}, {50221, "ISO-2022-JP"}, {50222, "ISO-2022-JP"}, {51932, "EUC-JP"},
    {51949, "EUC-KR"},      {52936, "HZ-GB-2312"},  {54936, "GB18030"},     {65001, "UTF-8"},
};

bool windows_ansi(uint32_t codePage) {
    return codePage == 874 || (codePage >= 1250 && codePage <= 1258);
}

}  // namespace

uint16_t LocaleCodePage(uint32_t lcid) {
    for (const LocaleRow &row : kLocaleCodePages)
        if (row.lcid == lcid) return row.codePage;
    for (const LocaleRow &row : kLocaleCodePages)
        if (row.lcid < 0x400 && row.lcid == (lcid & 0x3FF)) return row.codePage;
    return 0;
}

uint16_t WordLanguageCodePage(uint16_t lid) {
    if (const uint16_t codePage = LocaleCodePage(lid)) return codePage;
    for (const PrimaryRow &row : kWordPrimaryCodePages)
        if (row.primary == (lid & 0x3FF)) return row.codePage;
    return kWordDefaultCodePage;
}

int FontCharsetCodePage(int charset) {
    for (const CharsetRow &row : kFontCharsets)
        if (row.charset == charset) return row.codePage;
    return 0;
}

std::string OfficeIconvName(unsigned codePage) {
    const IconvRow *row = iconv_row(codePage);
    return row && row->office ? row->office : "CP" + std::to_string(codePage);
}

std::string RtfIconvName(int codePage) {
    const IconvRow *row = iconv_row(codePage);
    return row && row->rtf ? row->rtf : "CP" + std::to_string(codePage);
}

std::string IcuCodePageName(uint32_t codePage) {
    for (const IcuRow &row : kIcuNames)
        if (row.codePage == codePage) return std::string(row.name);
    if (codePage == 0) return {};
    return (windows_ansi(codePage) ? "windows-" : "cp") + std::to_string(codePage);
}

}  // namespace dxf
