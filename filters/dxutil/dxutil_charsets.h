/* dxutil_charsets.h - which ICU converter stands for each of glotta's charset
 * numbers in the utility plug-in, and why the few numbers without one have
 * none. Plain constant data, shared by the plug-in and its tests; doc/charsets.md
 * explains the choices. */
#ifndef GLOTTA_FILTERS_DXUTIL_DXUTIL_CHARSETS_H
#define GLOTTA_FILTERS_DXUTIL_DXUTIL_CHARSETS_H

#include <cstdint>
#include <string_view>

namespace dxutil {

struct CharsetMapping {
    int32_t charset;
    const char *icuName;     /* converter name for ucnv_open, or null */
    const char *unsupported; /* why there is no converter, when icuName is null */
};

/* Number 50 (LMBCS) stands for a family; the services object's LMBCS setting
 * picks the member. 51 is 16-bit Unicode, low byte first unless an operation's
 * byte-order flag says otherwise. */
inline constexpr CharsetMapping kCharsetMappings[] = {
    {0, nullptr, "no charset: the names hz and euctw deliberately resolve to nothing"},
    {1, "ibm-943_P15A-2003", nullptr},  // Shift-JIS as Windows writes it (cp932)
    {2, "windows-936-2000",
     nullptr},  // GBK, the superset of GB 2312 that "gb2312" means in practice
    {3, "windows-950-2000", nullptr},  // Big5 with the Windows extensions
    {4, "windows-949-2000", nullptr},  // Unified Hangul Code, a superset of EUC-KR
    {5, "windows-1250", nullptr},
    {6, "windows-1251", nullptr},
    {7, "windows-1252", nullptr},
    {8, "windows-1253", nullptr},
    {9, "windows-1254", nullptr},
    {10, "windows-1255", nullptr},
    {11, "windows-1256", nullptr},
    {12, "windows-1257", nullptr},
    {13, "windows-1258", nullptr},
    {14, "ISO-8859-1", nullptr},
    {15, "ISO-8859-2", nullptr},
    {16, "ISO-8859-3", nullptr},
    {17, "ISO-8859-4", nullptr},
    {18, "ISO-8859-5", nullptr},
    {19, "ISO-8859-6", nullptr},
    {20, "ISO-8859-7", nullptr},
    {21, "ISO-8859-8", nullptr},
    {22, "ISO-8859-9", nullptr},
    {23, "ISO-8859-14", nullptr},
    {24, "ISO-8859-15", nullptr},
    {25, "ibm-437", nullptr},
    {26, "ibm-737", nullptr},
    {27, "ibm-775", nullptr},
    {28, "ibm-850", nullptr},
    {29, "ibm-851", nullptr},
    {30, "ibm-852", nullptr},
    {31, "ibm-855", nullptr},
    {32, "ibm-857", nullptr},
    {33, "ibm-860", nullptr},
    {34, "ibm-861", nullptr},
    {35, "ibm-862", nullptr},
    {36, "ibm-863", nullptr},
    {37, "ibm-864", nullptr},
    {38, "ibm-865", nullptr},
    {39, "ibm-866", nullptr},
    {40, "ibm-869", nullptr},
    {41, "windows-874-2000", nullptr},  // TIS-620 plus the Windows extensions
    {46, "ibm-37", nullptr},
    {47, "ibm-1026", nullptr},
    {48, "ibm-500", nullptr},
    {49, "ibm-875", nullptr},
    {50, "LMBCS-1", nullptr},
    {51, "UTF-16LE", nullptr},
    {53, "UTF-8", nullptr},
    {54, "UTF-7", nullptr},
    {55, "ISO-2022-JP", nullptr},
    {56, "ISO-2022-CN", nullptr},
    {57, "ISO-2022-KR", nullptr},
    {59, "macos-0_2-10.2", nullptr},  // Mac OS Roman (code page 10000)
    {60, "windows-949-2000", nullptr},
    {62, nullptr, "GB 12345 (Traditional characters in GB layout): ICU has no converter"},
    {63, "ibm-964", nullptr},  // CNS 11643, as EUC-TW stores it
    {64, nullptr, "JIS X 0201 on its own: ICU has it only inside Shift-JIS and EUC-JP"},
    {65, nullptr, "JIS X 0212 on its own: ICU has it only inside EUC-JP"},
    {66, "EUC-JP", nullptr},
    {67, "ibm-1383", nullptr},  // EUC-CN, strictly GB 2312
    {68, "windows-950-2000", nullptr},
    {70, "ibm-424", nullptr},
    {71, "ibm-856", nullptr},
    {72, "ibm-1006", nullptr},
    {73, "KOI8-R", nullptr},
    {79, "ibm-720", nullptr},
    {80, nullptr, "VISCII: ICU has no converter"},
    {81, "ISO-8859-10", nullptr},
    {82, "ISO-8859-13", nullptr},
    {83, "ISCII,version=0", nullptr},  // Devanagari
    {84, "ISCII,version=1", nullptr},  // Bengali
    {85, "ISCII,version=5", nullptr},  // Tamil
    {86, "ISCII,version=6", nullptr},  // Telugu
    {87, "ISCII,version=1", nullptr},  // Assamese, written in the Bengali script
    {88, "ISCII,version=4", nullptr},  // Oriya
    {89, "ISCII,version=7", nullptr},  // Kannada
    {90, "ISCII,version=8", nullptr},  // Malayalam
    {91, "ISCII,version=3", nullptr},  // Gujarati
    {92, "ISCII,version=2", nullptr},  // Gurmukhi
    {94, "gb18030", nullptr},
    {100, "UTF-16LE", nullptr},
    {101, "UTF-16BE", nullptr},
};

/* LMBCS members by the charset number of their default group, the value the
 * services object's LMBCS setting holds (28, code page 850, by default). */
struct LmbcsGroup {
    int32_t charset;
    const char *icuName;
};

inline constexpr LmbcsGroup kLmbcsGroups[] = {
    {28, "LMBCS-1"}, {29, "LMBCS-2"}, {10, "LMBCS-3"}, {11, "LMBCS-4"},
    {6, "LMBCS-5"},  {30, "LMBCS-6"}, {9, "LMBCS-8"},  {41, "LMBCS-11"},
    {1, "LMBCS-16"}, {4, "LMBCS-17"}, {3, "LMBCS-18"}, {2, "LMBCS-19"},
};

inline constexpr int32_t kLmbcsDefaultGroup = 28;

/* The row of a charset number, or null when the number is not in the table. */
constexpr const CharsetMapping *find_charset_mapping(int32_t charset) {
    for (const CharsetMapping &row : kCharsetMappings) {
        if (row.charset == charset) return &row;
    }
    return nullptr;
}

/* The LMBCS member for a setting; an unknown setting means group 1. */
constexpr const char *lmbcs_converter_name(intptr_t setting) {
    for (const LmbcsGroup &group : kLmbcsGroups) {
        if (group.charset == setting) return group.icuName;
    }
    return "LMBCS-1";
}

}  // namespace dxutil

#endif
