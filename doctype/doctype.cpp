// doctype.cpp - the document type of a request: from its MIME string, from
// the filter plug-in's identification of a file, or from the bytes of a buffer.
#include "doctype/doctype.h"

#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>

#include <array>
#include <string_view>

#include "engine/lang_api.h"
#include "engine/lang_context.h"
#include "ngram/text_helpers.h"
#include "platform/vos.h"

const HtmlTag htmlLangTags[] = {
    {"blockquote", 10}, {"frameset", 8}, {"textarea", 8}, {"acronym", 7}, {"address", 7},
    {"caption", 7},     {"isindex", 7},  {"abbrev", 6},   {"banner", 6},  {"applet", 6},
    {"center", 6},      {"nextid", 6},   {"option", 6},   {"strike", 6},  {"strong", 6},
    {"select", 6},      {"script", 6},   {"person", 6},   {"frame", 5},   {"input", 5},
    {"style", 5},       {"title", 5},    {"param", 5},    {"small", 5},   {"table", 5},
    {"area", 4},        {"font", 4},     {"math", 4},     {"menu", 4},    {"meta", 4},
    {"base", 4},        {"body", 4},     {"cite", 4},     {"code", 4},    {"form", 4},
    {"head", 4},        {"html", 4},     {"lang", 4},     {"link", 4},    {"note", 4},
    {"samp", 4},        {"del", 3},      {"var", 3},      {"dfn", 3},     {"sub", 3},
    {"sup", 3},         {"img", 3},      {"ins", 3},      {"kbd", 3},     {"map", 3},
    {"pre", 3},         {"tab", 3},      {"dir", 3},      {"div", 3},     {"fig", 3},
    {"big", 3},         {"br", 2},       {"fn", 2},       {"h1", 2},      {"h2", 2},
    {"h3", 2},          {"td", 2},       {"au", 2},       {"th", 2},      {"tr", 2},
    {"tt", 2},          {"ul", 2},       {"h4", 2},       {"h5", 2},      {"h6", 2},
    {"li", 2},          {"dd", 2},       {"dl", 2},       {"ol", 2},      {"dt", 2},
    {"hr", 2},          {"em", 2},       {"a", 1},        {"i", 1},       {"b", 1},
    {"p", 1},           {"u", 1},        {"q", 1},        {nullptr, 0},
};

namespace {

// Filter format codes that name a text or markup type; any other non-zero
// code is a format the filter turns into text.
struct FormatRule {
    uint32_t format;
    int32_t type;
};
constexpr FormatRule dxLangRules[] = {
    {DX_FMT_TEXT, DOC_TEXT},     {DX_FMT_SGML, DOC_SGML}, {DX_FMT_HTML, DOC_HTML},
    {DX_FMT_TEXT_ALT, DOC_TEXT}, {DX_FMT_XML, DOC_XML},   {0, 0},
};

// Signatures at the start of a buffer, compared ignoring case, in order.
struct MagicRule {
    std::string_view text;
    int32_t type;
};
constexpr MagicRule magicLangRules[] = {
    {"<?XML", DOC_XML},           {"<?xml", DOC_XML},      {"<HTML", DOC_HTML},
    {"<html", DOC_HTML},          {"<!--", DOC_HTML},      {"<!doctype html", DOC_HTML},
    {"<!DOCTYPE HTML", DOC_HTML}, {std::string_view{}, 0},
};

struct MimeRule {
    const char *name;
    int32_t type;
};
constexpr MimeRule kMimeTypes[] = {
    {"text/plain", DOC_TEXT},
    {"text/html", DOC_HTML},
    {"text/sgml", DOC_SGML},
    {"text/xml", DOC_XML},
};

// Letters and digits of the C locale, independent of the process locale.
constexpr bool is_alnum(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The first row of `table` whose name begins `text`, ignoring case, where
// `avail` bytes of text are readable (a negative `avail` means the text ends
// at its first NUL byte, which no name contains).
const HtmlTag *find_tag(const HtmlTag *table, const unsigned char *text, int64_t avail) {
    for (const HtmlTag *row = table; row->name; ++row) {
        if (avail >= 0 && row->length > avail) continue;
        int32_t i = 0;
        while (i < row->length && lang_ascii_lower(text[i]) ==
                                      lang_ascii_lower(static_cast<unsigned char>(row->name[i]))) {
            ++i;
        }
        if (i == row->length) return row;
    }
    return nullptr;
}

int64_t abs64(int64_t v) {
    return v < 0 ? -v : v;
}

}  // namespace

int MimeTypeMapping(const char *mimeType, int32_t *type) {
    if (!type) return LANG_OK;
    *type = DOC_OTHER;
    if (!mimeType) return LANG_OK;
    for (const MimeRule &rule : kMimeTypes) {
        if (strcasecmp(mimeType, rule.name) == 0) {
            *type = rule.type;
            break;
        }
    }
    return LANG_OK;
}

int MapMimeType(uint32_t formatCode, int32_t *type) {
    if (!type) return LANG_OK;
    if (formatCode == 0) {
        *type = DOC_UNKNOWN;
        return LANG_OK;
    }
    *type = DOC_OTHER;
    for (const FormatRule *rule = dxLangRules; rule->format != 0; ++rule) {
        if (rule->format == formatCode) {
            *type = rule->type;
            break;
        }
    }
    return LANG_OK;
}

int GetMimeType(LangContext *ctx, const char *path, int32_t *type) {
    if (!ctx || !path || !type) return LANG_ERR_IDENTIFY;
    struct stat st;
    if (vos_stat(path, &st) != 0) return LANG_ERR_NOFILE;
    *type = DOC_UNKNOWN;

    // A plug-in that fails to identify the file leaves the record as it was:
    // zeros, which map to "not recognised".
    DXFileInfo info{};
    if (ctx->filterMutex && MutexLock(nullptr, ctx->filterMutex) != 0) return LANG_ERR_MUTEX;
    if (ctx->filterInterface.fileInformation) {
        ctx->filterInterface.fileInformation(ctx->filterHandle, path, &info);
    }
    if (ctx->filterMutex && MutexUnlock(nullptr, ctx->filterMutex) != 0) return LANG_ERR_MUTEX;
    return MapMimeType(info.word[DX_FILEINFO_FORMAT_WORD], type);
}

int GetMimeTypeOfHead(LangContext *ctx, const char *path, const DXDocumentHead *head,
                      int32_t *type) {
    if (!ctx || !path || !head || !type) return LANG_ERR_IDENTIFY;
    const DXIdentifyInterface &filter = ctx->filterIdentify;
    if (!filter.identifyHead || !filter.identifyOpenFile || head->fd < 0)
        return GetMimeType(ctx, path, type);
    *type = DOC_UNKNOWN;
    // Sniffing the bytes handed over reads nothing and writes nothing of the
    // plug-in's: it runs outside the lock, on every thread at once.
    DXFileInfo info{};
    if (filter.identifyHead(ctx->filterHandle, head, &info) == 0)
        return MapMimeType(info.word[DX_FILEINFO_FORMAT_WORD], type);
    info = DXFileInfo{};
    if (ctx->filterMutex && MutexLock(nullptr, ctx->filterMutex) != 0) return LANG_ERR_MUTEX;
    filter.identifyOpenFile(ctx->filterHandle, head, &info);
    if (ctx->filterMutex && MutexUnlock(nullptr, ctx->filterMutex) != 0) return LANG_ERR_MUTEX;
    return MapMimeType(info.word[DX_FILEINFO_FORMAT_WORD], type);
}

int GuessMimeType(const unsigned char *buffer, int32_t length, int32_t *type) {
    if (!type) return LANG_ERR_IDENTIFY;
    *type = DOC_UNKNOWN;
    int rc = recognize_ByMagic(buffer, length, type);
    if (rc != LANG_OK) return rc;
    if (*type != DOC_UNKNOWN) return LANG_OK;
    rc = recognize_ByContent(buffer, length, type);
    if (rc != LANG_OK) return rc;
    if (*type == DOC_UNKNOWN) *type = DOC_TEXT;
    return LANG_OK;
}

int recognize_ByMagic(const unsigned char *buffer, int32_t length, int32_t *type) {
    if (!buffer || length <= 0 || !type) return LANG_ERR_IDENTIFY;
    const unsigned char *p = buffer;
    const unsigned char *const end = buffer + length;
    while (p < end && (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r')) ++p;
    if (p == end) return LANG_OK;
    const size_t rest = static_cast<size_t>(end - p);
    for (const MagicRule *rule = magicLangRules; !rule->text.empty(); ++rule) {
        if (rule->text.size() > rest) continue;
        if (strncasecmp(reinterpret_cast<const char *>(p), rule->text.data(), rule->text.size()) ==
            0) {
            *type = rule->type;
            break;
        }
    }
    return LANG_OK;
}

int recognize_ByContent(const unsigned char *buffer, int32_t length, int32_t *type) {
    if (!buffer || length <= 0 || !type) return LANG_ERR_IDENTIFY;
    if (contentRecPlain(buffer, length) != LANG_OK) return LANG_OK;
    return contentRecSGML(buffer, length, type);
}

int contentRecPlain(const unsigned char *buffer, int32_t length) {
    if (!buffer || length <= 0) return LANG_ERR_IDENTIFY;
    std::array<int64_t, 256> histogram{};
    for (int32_t i = 0; i < length; ++i) ++histogram[buffer[i]];
    if (histogram[0] != 0) return LANG_ERR_IDENTIFY;

    int64_t printable = 0;
    int64_t high = 0;
    int64_t control = 0;
    for (int c = 0x20; c <= 0x7E; ++c) printable += histogram[c];
    for (int c = 0x80; c <= 0xFF; ++c) high += histogram[c];
    for (int c = 0x01; c <= 0x1F; ++c) control += histogram[c];
    if (high != 0 && abs64(printable - high) * 100 / length < 15) return LANG_ERR_IDENTIFY;
    if (control == 0) return LANG_OK;
    const int64_t layout = histogram['\t'] + histogram['\n'] + histogram['\r'] + histogram[0x1B];
    return layout * 100 / control > 89 ? LANG_OK : LANG_ERR_IDENTIFY;
}

int contentRecSGML(const unsigned char *buffer, int32_t length, int32_t *type) {
    if (!type) return LANG_OK;
    *type = DOC_UNKNOWN;
    if (!buffer || length <= 0) return LANG_OK;

    int64_t tags = 0, opening = 0, closing = 0, known = 0, closers = 0;
    for (int32_t i = 0; i < length; ++i) {
        if (buffer[i] == '<') {
            if (i == length - 1) break;
            const unsigned char next = buffer[i + 1];
            if (next == '!' || next == '?' || next == '/') {
                ++i;
                if (i == length - 1) break;
            }
            const unsigned char first = buffer[i + 1];
            if (is_alnum(first) || first == '_' || first == '-') {
                ++tags;
                if (buffer[i] == '/') {
                    ++closing;
                } else {
                    ++opening;
                }
                const int64_t avail = static_cast<int64_t>(length) - (i + 1);
                const HtmlTag *tag = find_tag(htmlLangTags, buffer + i + 1, avail);
                if (tag) {
                    const int64_t after = static_cast<int64_t>(i) + 1 + tag->length;
                    if (after < length &&
                        (lang_ascii_space(buffer[after]) || buffer[after] == '>')) {
                        ++known;
                        i += tag->length;
                    }
                }
            }
        }
        if (buffer[i] == '>') ++closers;
    }

    if (tags < 4 || tags < length / 1000) return LANG_OK;
    if (abs64(tags - closers) * 100 / tags > 10) return LANG_OK;
    if (known * 100 / tags > 70) {
        *type = DOC_HTML;
        return LANG_OK;
    }
    if (abs64(opening - closing) * 100 / tags > 80) return LANG_OK;
    *type = DOC_SGML;
    return LANG_OK;
}

int isInArray(const HtmlTag *table, const char *text, int32_t *length) {
    if (!table || !text) return 0;
    const HtmlTag *tag = find_tag(table, reinterpret_cast<const unsigned char *>(text), -1);
    if (!tag) return 0;
    if (length) *length = tag->length;
    return 1;
}
