// markup_clean.cpp - strips tags, comments, scripts and styles from markup and
// resolves the character references that stand for letters.
#include "pipeline/markup_clean.h"

#include <string.h>

#include <algorithm>
#include <string>
#include <string_view>

#include "engine/lang_api.h"
#include "ngram/text_helpers.h"
#include "platform/vos.h"

// Code points of the ISO-8859-1 letters equal their 8-bit codes. The four
// structural references stand for a space: they separate words, nothing more.
const EntityRow Entity_latin1[] = {
    {"amp", 32, 32},      {"nbsp", 32, 32},     {"gt", 32, 32},       {"lt", 32, 32},
    {"Agrave", 192, 192}, {"Aacute", 193, 193}, {"Acirc", 194, 194},  {"Atilde", 195, 195},
    {"Auml", 196, 196},   {"Aring", 197, 197},  {"AElig", 198, 198},  {"Ccedil", 199, 199},
    {"Egrave", 200, 200}, {"Eacute", 201, 201}, {"Ecirc", 202, 202},  {"Euml", 203, 203},
    {"Igrave", 204, 204}, {"Iacute", 205, 205}, {"Icirc", 206, 206},  {"Iuml", 207, 207},
    {"ETH", 208, 208},    {"Ntilde", 209, 209}, {"Ograve", 210, 210}, {"Oacute", 211, 211},
    {"Ocirc", 212, 212},  {"Otilde", 213, 213}, {"Ouml", 214, 214},   {"Oslash", 216, 216},
    {"Ugrave", 217, 217}, {"Uacute", 218, 218}, {"Ucirc", 219, 219},  {"Uuml", 220, 220},
    {"Yacute", 221, 221}, {"THORN", 222, 222},  {"szlig", 223, 223},  {"agrave", 224, 224},
    {"aacute", 225, 225}, {"acirc", 226, 226},  {"atilde", 227, 227}, {"auml", 228, 228},
    {"aring", 229, 229},  {"aelig", 230, 230},  {"ccedil", 231, 231}, {"egrave", 232, 232},
    {"eacute", 233, 233}, {"ecirc", 234, 234},  {"euml", 235, 235},   {"igrave", 236, 236},
    {"iacute", 237, 237}, {"icirc", 238, 238},  {"iuml", 239, 239},   {"eth", 240, 240},
    {"ntilde", 241, 241}, {"ograve", 242, 242}, {"oacute", 243, 243}, {"ocirc", 244, 244},
    {"otilde", 245, 245}, {"ouml", 246, 246},   {"oslash", 248, 248}, {"ugrave", 249, 249},
    {"uacute", 250, 250}, {"ucirc", 251, 251},  {"uuml", 252, 252},   {"yacute", 253, 253},
    {"thorn", 254, 254},  {"yuml", 255, 255},   {nullptr, 0, 0},
};

// The third column is the ISO-8859-7 code: the code point minus 720 for the
// letters, the code point itself for the three symbol forms at the end.
const EntityRow Entity_greek[] = {
    {"Alpha", 913, 193},   {"Beta", 914, 194},     {"Gamma", 915, 195},   {"Delta", 916, 196},
    {"Epsilon", 917, 197}, {"Zeta", 918, 198},     {"Eta", 919, 199},     {"Theta", 920, 200},
    {"Iota", 921, 201},    {"Kappa", 922, 202},    {"Lambda", 923, 203},  {"Mu", 924, 204},
    {"Nu", 925, 205},      {"Xi", 926, 206},       {"Omicron", 927, 207}, {"Pi", 928, 208},
    {"Rho", 929, 209},     {"Sigma", 931, 211},    {"Tau", 932, 212},     {"Upsilon", 933, 213},
    {"Phi", 934, 214},     {"Chi", 935, 215},      {"Psi", 936, 216},     {"Omega", 937, 217},
    {"alpha", 945, 225},   {"beta", 946, 226},     {"gamma", 947, 227},   {"delta", 948, 228},
    {"epsilon", 949, 229}, {"zeta", 950, 230},     {"eta", 951, 231},     {"theta", 952, 232},
    {"iota", 953, 233},    {"kappa", 954, 234},    {"lambda", 955, 235},  {"mu", 956, 236},
    {"nu", 957, 237},      {"xi", 958, 238},       {"omicron", 959, 239}, {"pi", 960, 240},
    {"rho", 961, 241},     {"sigmaf", 962, 242},   {"sigma", 963, 243},   {"tau", 964, 244},
    {"upsilon", 965, 245}, {"phi", 966, 246},      {"chi", 967, 247},     {"psi", 968, 248},
    {"omega", 969, 249},   {"thetasym", 977, 977}, {"upsih", 978, 978},   {"piv", 982, 982},
    {nullptr, 0, 0},
};

namespace {

// Reference names longer than this are cut when kept in the cleaned text.
constexpr int32_t kMaxEntityName = 255;
// Values below this (unknown names, structural references, punctuation and
// digits) carry no letter and are dropped.
constexpr uint32_t kFirstLetterValue = 64;

// True when the bytes at [p, end) begin with `word`, ignoring ASCII case.
bool starts_with_nocase(const unsigned char *p, const unsigned char *end, std::string_view word) {
    return lang_starts_nocase(
        std::string_view(reinterpret_cast<const char *>(p), static_cast<size_t>(end - p)), word);
}

// First occurrence of `needle` in [p, end), or null.
const unsigned char *find_bytes(const unsigned char *p, const unsigned char *end,
                                std::string_view needle) {
    if (p >= end) return nullptr;
    const void *hit = memmem(p, static_cast<size_t>(end - p), needle.data(), needle.size());
    return static_cast<const unsigned char *>(hit);
}

// Moves past one tag whose '<' has been stepped over: the name, then
// attributes whose quoted values may hold '>', then the closing '>'.
const unsigned char *skip_tag(const unsigned char *p, const unsigned char *end) {
    while (p < end && !lang_ascii_space(*p) && *p != '>') ++p;
    while (p < end && *p != '>') {
        while (p < end && lang_ascii_space(*p)) ++p;
        while (p < end && *p != '=' && *p != '>') ++p;
        if (p >= end || *p == '>') break;
        ++p;  // '='
        while (p < end && lang_ascii_space(*p)) ++p;
        if (p < end && (*p == '"' || *p == '\'')) {
            const unsigned char quote = *p++;
            while (p < end && *p != quote) ++p;
            if (p < end) ++p;
        } else {
            while (p < end && !lang_ascii_space(*p) && *p != '>') ++p;
        }
    }
    if (p < end) ++p;  // '>'
    return p;
}

// Output of one cleaning run; the buffer holds capacity + 1 bytes.
struct CutOutput {
    unsigned char *data;
    int32_t length;
    int32_t capacity;
    int32_t references;

    bool full() const { return length >= capacity; }
    void put(unsigned char c) { data[length++] = c; }
};

// Copies the text of one segment [p, segEnd) into `out`: noise runs become
// one space before the next text byte, and references to letters are kept.
// Returns where copying stopped: segEnd, or earlier when the output filled up
// or a reference no longer fitted.
const unsigned char *copy_segment(const unsigned char *p, const unsigned char *segEnd,
                                  CutOutput &out) {
    int32_t pendingNoise = 0;
    while (p < segEnd && !out.full()) {
        const unsigned char c = *p;
        if (c == '&') {
            ++p;
            const unsigned char *nameStart = p;
            while (p < segEnd && *p != ';' && !lang_ascii_space(*p)) ++p;
            const int32_t nameLength =
                std::min(static_cast<int32_t>(p - nameStart), kMaxEntityName);
            if (nameLength + out.length + 1 >= out.capacity) return p;
            if (nameLength == 0) continue;
            char name[kMaxEntityName + 1];
            memcpy(name, nameStart, static_cast<size_t>(nameLength));
            name[nameLength] = '\0';
            uint32_t value = 0;
            MatchEntity(name, &value);
            if (value < kFirstLetterValue) continue;  // its terminator stays as input
            ++out.references;
            out.put('&');
            memcpy(out.data + out.length, name, static_cast<size_t>(nameLength));
            out.length += nameLength;
            if (!out.full() && p < segEnd && (*p == ';' || lang_ascii_space(*p))) out.put(*p++);
            continue;
        }
        if (lang_is_noise(c)) {
            ++pendingNoise;
            ++p;
            continue;
        }
        if (pendingNoise > 0) {
            pendingNoise = 0;
            out.put(' ');
            if (out.full()) return p;
        }
        out.put(c);
        ++p;
    }
    return p;
}

// Skips a script or style element whose opening '<' has been stepped over
// and whose name is at p. Returns the position after the closing tag, or null
// when the element is never closed.
const unsigned char *skip_element(const unsigned char *p, const unsigned char *end,
                                  std::string_view closingTag) {
    for (;;) {
        const unsigned char *close = find_bytes(p, end, "</");
        if (!close) return nullptr;
        if (starts_with_nocase(close, end, closingTag)) return close + closingTag.size();
        p = close + 2;
    }
}

// Encodes `value` as UTF-8 into `out`; returns the bytes written (0 for
// values past the 21-bit range).
int32_t encode_utf8(uint32_t v, unsigned char out[4]) {
    if (v <= 0x7F) {
        out[0] = static_cast<unsigned char>(v);
        return 1;
    }
    if (v <= 0x7FF) {
        out[0] = static_cast<unsigned char>(0xC0 | (v >> 6));
        out[1] = static_cast<unsigned char>(0x80 | (v & 0x3F));
        return 2;
    }
    if (v <= 0xFFFF) {
        out[0] = static_cast<unsigned char>(0xE0 | (v >> 12));
        out[1] = static_cast<unsigned char>(0x80 | ((v >> 6) & 0x3F));
        out[2] = static_cast<unsigned char>(0x80 | (v & 0x3F));
        return 3;
    }
    if (v <= 0x1FFFFF) {
        out[0] = static_cast<unsigned char>(0xF0 | (v >> 18));
        out[1] = static_cast<unsigned char>(0x80 | ((v >> 12) & 0x3F));
        out[2] = static_cast<unsigned char>(0x80 | ((v >> 6) & 0x3F));
        out[3] = static_cast<unsigned char>(0x80 | (v & 0x3F));
        return 4;
    }
    return 0;
}

}  // namespace

int SGMLCutTags(const unsigned char *data, int32_t length, int32_t capacity, int removeScripts,
                unsigned char **text, int32_t *textLength, int32_t *references) {
    if (!data || !text || !textLength) return LANG_ERR_NULL;
    *text = nullptr;
    *textLength = 0;
    if (references) *references = 0;
    if (length <= 0) return LANG_OK;

    CutOutput out{};
    out.capacity = std::max<int32_t>(0, std::min(length, capacity));
    out.data = static_cast<unsigned char *>(vos_malloc(static_cast<size_t>(out.capacity) + 1));
    if (!out.data) return LANG_ERR_NOMEM;

    const unsigned char *p = data;
    const unsigned char *const end = data + length;
    while (p < end) {
        const unsigned char *segEnd = p;
        while (segEnd < end && *segEnd != '<' && *segEnd != '\0') ++segEnd;
        const bool atTag = segEnd < end && *segEnd == '<';

        const bool hasText =
            std::any_of(p, segEnd, [](unsigned char b) { return !lang_is_noise(b); });
        p = copy_segment(p, segEnd, out);
        if (out.length > 0 && !out.full() && hasText) out.put(' ');

        ++p;  // the '<' or NUL that ended the segment
        if (out.full() || p >= end) break;
        if (!atTag) continue;

        if (starts_with_nocase(p, end, "!--")) {
            const unsigned char *close = find_bytes(p, end, "-->");
            if (!close) break;
            p = close + 3;
            continue;
        }
        if (removeScripts == 1) {
            std::string_view closing;
            if (starts_with_nocase(p, end, "script>") || starts_with_nocase(p, end, "script ")) {
                closing = "</script>";
            } else if (starts_with_nocase(p, end, "style>") ||
                       starts_with_nocase(p, end, "style ")) {
                closing = "</style>";
            }
            if (!closing.empty()) {
                p = skip_element(p, end, closing);
                if (!p) break;
                continue;
            }
        }
        p = skip_tag(p, end);
    }
    out.data[out.length] = '\0';
    *text = out.data;
    *textLength = out.length;
    if (references) *references = out.references;
    return LANG_OK;
}

uint32_t lookup_table(const EntityRow *table, const char *name, uint32_t *value) {
    uint32_t found = 0;
    if (table && name) {
        for (const EntityRow *row = table; row->name; ++row) {
            if (strcmp(row->name, name) == 0) {
                found = row->codePoint;
                break;
            }
        }
    }
    if (value) *value = found;
    return found;
}

uint32_t MatchEntity(const char *name, uint32_t *value) {
    uint32_t v = 0;
    if (name) {
        if (name[0] != '#') {
            v = lookup_table(Entity_latin1, name, nullptr);
            if (v == 0) v = lookup_table(Entity_greek, name, nullptr);
        } else if (name[1] == '0' && name[2] == 'x') {
            // Any byte counts as a digit here; the value is what the document
            // wrote, unsigned arithmetic wraps on absurd lengths.
            for (const char *q = name + 3; *q; ++q) {
                const unsigned char c = static_cast<unsigned char>(*q);
                uint32_t digit;
                if (c >= 'A' && c <= 'F') {
                    digit = c - 'A' + 10u;
                } else if (c >= 'a' && c <= 'f') {
                    digit = c - 'a' + 10u;
                } else {
                    digit = static_cast<uint32_t>(c) - static_cast<uint32_t>('0');
                }
                v = v * 16u + digit;
            }
        } else {
            for (const char *q = name + 1; *q >= '0' && *q <= '9'; ++q) {
                v = v * 10u + static_cast<uint32_t>(*q - '0');
            }
        }
    }
    if (value) *value = v;
    return v;
}

int ReplaceEntity(unsigned char *text, int32_t *length, int raw) {
    if (!text || !length) return LANG_ERR_NULL;
    const int32_t n = *length;
    int32_t in = 0;
    int32_t out = 0;
    std::string name;
    while (in < n) {
        if (text[in] != '&') {
            text[out++] = text[in++];
            continue;
        }
        int32_t scan = in + 1;
        while (scan < n && text[scan] != ';' && !lang_ascii_space(text[scan])) ++scan;
        if (scan >= n) break;           // an unterminated reference ends the text
        const int32_t next = scan + 1;  // past the terminator
        if (raw) {
            text[out++] = '\0';
            in = next;
            continue;
        }
        name.assign(reinterpret_cast<const char *>(text + in + 1),
                    static_cast<size_t>(scan - in - 1));
        uint32_t value = 0;
        MatchEntity(name.c_str(), &value);
        if (value >= kFirstLetterValue) {
            unsigned char bytes[4];
            const int32_t count = encode_utf8(value, bytes);
            // A reference is never shorter than its character, so the write
            // cannot reach bytes not yet read; the check keeps it that way for
            // text that was not produced by SGMLCutTags.
            if (out + count <= next) {
                memcpy(text + out, bytes, static_cast<size_t>(count));
                out += count;
            }
        }
        in = next;
    }
    *length = out;
    text[out] = '\0';
    return LANG_OK;
}
