// text_helpers.cpp - byte and string helpers shared by the engine.
#include "ngram/text_helpers.h"

#include <float.h>
#include <math.h>
#include <string.h>

#include "platform/vos.h"

namespace {

constexpr bool is_trailing_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

constexpr bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

int lang_isnoisy(unsigned char byte) {
    return lang_is_noise(byte) ? 1 : 0;
}

int32_t lang_removenoisydata(unsigned char *buffer, int32_t length) {
    if (!buffer) return 0;
    // Without branches: words end every few bytes, which a branch per byte
    // mispredicts. Each step writes a space and then the byte at `out`, and
    // keeps what it needs: the space only when a kept byte follows noise,
    // the byte only when it is kept. Nothing is written beyond the final
    // length, and out + 1 <= in whenever a space is kept, so no byte is
    // overwritten before it is read.
    int32_t out = 0;
    int32_t noise_seen = 0;
    for (int32_t in = 0; in < length; ++in) {
        const unsigned char c = buffer[in];
        const int32_t kept = !lang_is_noise(c);
        buffer[out] = ' ';
        out += kept & noise_seen;
        buffer[out] = c;
        out += kept;
        noise_seen = !kept;
    }
    buffer[out] = 0;
    return out;
}

char *lang_skipheadspace(char *text) {
    if (!text) return nullptr;
    while (*text == ' ' || *text == '\t') ++text;
    return text;
}

int32_t lang_removetrailigspace(char *text) {
    if (!text || !*text) return 0;
    size_t end = strlen(text);
    while (end > 0 && is_trailing_space(text[end - 1])) --end;
    text[end] = 0;
    return end > 0 ? static_cast<int32_t>(end - 1) : 0;
}

int lang_strcasecmp(const char *a, const char *b) {
    if (a == b) return 0;
    if (!a) return -1;
    if (!b) return 1;
    const unsigned char *p = reinterpret_cast<const unsigned char *>(a);
    const unsigned char *q = reinterpret_cast<const unsigned char *>(b);
    for (;; ++p, ++q) {
        const int d = lang_ascii_lower(*p) - lang_ascii_lower(*q);
        if (d != 0 || *p == 0) return d;
    }
}

int lang_strncasecmp(const char *a, const char *b, int32_t count) {
    if (count <= 0 || a == b) return 0;
    if (!a) return -1;
    if (!b) return 1;
    const unsigned char *p = reinterpret_cast<const unsigned char *>(a);
    const unsigned char *q = reinterpret_cast<const unsigned char *>(b);
    for (int32_t i = 0; i < count; ++i) {
        const int d = lang_ascii_lower(p[i]) - lang_ascii_lower(q[i]);
        if (d != 0 || p[i] == 0) return d;
    }
    return 0;
}

char *lang_strdup(const char *text) {
    if (!text) return nullptr;
    return lang_strdup(std::string_view(text));
}

char *lang_strdup(std::string_view text) {
    char *copy = static_cast<char *>(vos_malloc(text.size() + 1));
    if (!copy) return nullptr;
    if (!text.empty()) memcpy(copy, text.data(), text.size());
    copy[text.size()] = '\0';
    return copy;
}

bool lang_setstring(char **field, std::string_view value) {
    char *copy = lang_strdup(value);
    if (!copy) return false;
    vos_free(*field);
    *field = copy;
    return true;
}

float lang_atof(char *text) {
    if (!text) return 0.0f;
    const char *p = text;
    double sign = 1.0;
    if (*p == '-') {
        sign = -1.0;
        ++p;
    } else if (*p == '+') {
        ++p;
    }
    double whole = 0.0;
    for (; is_digit(*p); ++p) whole = whole * 10.0 + (*p - '0');
    double fraction = 0.0;
    if (*p == '.') {
        ++p;
        double digits_value = 0.0;
        int digits = 0;
        for (; is_digit(*p); ++p, ++digits) digits_value = digits_value * 10.0 + (*p - '0');
        if (digits > 0) fraction = digits_value / pow(10.0, digits);
    }
    const double value = sign * (whole + fraction);
    // Converting a double beyond the float range is undefined; such text
    // reads as an infinity.
    if (value > FLT_MAX) return HUGE_VALF;
    if (value < -FLT_MAX) return -HUGE_VALF;
    return static_cast<float>(value);
}
