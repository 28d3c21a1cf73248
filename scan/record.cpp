// record.cpp - the record line of one document, in TSV or JSON Lines.
#include <stdio.h>
#include <string.h>

#include <charconv>
#include <unordered_map>

#include "charset/charset_names.h"
#include "scan/scan.h"

namespace scan {
namespace {

struct Bcp47Row {
    std::string_view code;
    std::string_view tag;
};

// Identifiers of the engine's language table that are not BCP 47 tags of
// the language they stand for; every other identifier is one already.
constexpr Bcp47Row kBcp47Codes[] = {
    {"un", "und"},      // unknown
    {"zt", "zh-Hant"},  // Chinese, traditional script
    {"mm", "mn"},       // Mongolian
    {"bms", "my"},      // Myanmar (bms is Bilma Kanuri)
    {"div", "dv"},      // Divehi: the two-letter code wins
};

constexpr char kUnknownPrefix[] = "Unknown";

// Length of the valid UTF-8 sequence at the start of `s`, or 0. Overlong
// forms, surrogates and values past U+10FFFF are not valid.
size_t utf8_sequence(std::string_view s) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char lead = byte(0);
    size_t length;
    unsigned char low = 0x80, high = 0xBF;  // range of the second byte
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (s.size() < length) return 0;
    if (byte(1) < low || byte(1) > high) return 0;
    for (size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
    }
    return length;
}

// The score with four decimals, as printf's "%.4f" writes it (to_chars
// rounds the same exact value the same way, without parsing a format).
void append_score(std::string &out, float score) {
    char text[64];
    const std::to_chars_result end = std::to_chars(
        text, text + sizeof text, static_cast<double>(score), std::chars_format::fixed, 4);
    out.append(text, end.ptr);
}

// The standard name of an engine charset name. Records ask for the same few
// names over and over: each thread keeps the answers it got.
const char *standard_name(const std::string &charset) {
    thread_local std::unordered_map<std::string, const char *> known;
    const auto found = known.find(charset);
    if (found != known.end()) return found->second;
    const char *standard = CharsetStandardName(charset.c_str());
    known.emplace(charset, standard);
    return standard;
}

void append_json_member(std::string &out, const char *name, std::string_view value) {
    out += ",\"";
    out += name;
    out += "\":";
    AppendJsonString(out, value);
}

void append_json_candidate(std::string &out, const RecordStyle &style, const Candidate &c,
                           bool first) {
    out += first ? "\"language\":" : "{\"language\":";
    const std::string_view code =
        style.codes == Codes::kBcp47 ? Bcp47Code(c.language) : std::string_view(c.language);
    AppendJsonString(out, code);
    append_json_member(out, "name", style.displayName(c.language.c_str()));
    append_json_member(out, "charset", c.charset);
    const char *standard = standard_name(c.charset);
    out += ",\"charset_iana\":";
    if (standard) {
        AppendJsonString(out, standard);
    } else {
        out += "null";
    }
    out += ",\"score\":";
    append_score(out, c.score);
    if (!first) out += '}';
}

void append_tsv_candidate(std::string &out, const RecordStyle &style, const Candidate &c) {
    const std::string_view code =
        style.codes == Codes::kBcp47 ? Bcp47Code(c.language) : std::string_view(c.language);
    out += '\t';
    AppendTsvField(out, code);
    out += '\t';
    AppendTsvField(out, style.displayName(c.language.c_str()));
    out += '\t';
    AppendTsvField(out, c.charset);
    out += '\t';
    const char *standard = standard_name(c.charset);
    if (standard) out += standard;
    out += '\t';
    append_score(out, c.score);
}

}  // namespace

std::string CharsetList() {
    std::string out;
    const char *name = nullptr;
    const char *standard = nullptr;
    for (size_t i = 0; CharsetStandardNameRow(i, &name, &standard); ++i) {
        out += name;
        out += '\t';
        out += standard;
        out += '\n';
    }
    return out;
}

std::vector<Candidate> SelectCandidates(const LangCandidate *list, int count, bool distinct) {
    std::vector<Candidate> chosen;
    for (size_t i = 0; list && list[i].language && chosen.size() < static_cast<size_t>(count);
         ++i) {
        const LangCandidate &c = list[i];
        if (distinct) {
            bool seen = false;
            for (const Candidate &earlier : chosen) seen = seen || earlier.language == c.language;
            if (seen) continue;
        }
        chosen.push_back({c.language, c.charsetName ? c.charsetName : "", c.score});
    }
    return chosen;
}

std::string_view Bcp47Code(std::string_view code) {
    if (code.substr(0, sizeof kUnknownPrefix - 1) == kUnknownPrefix) return "und";
    for (const Bcp47Row &row : kBcp47Codes) {
        if (row.code == code) return row.tag;
    }
    return code;
}

void AppendJsonString(std::string &out, std::string_view bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += '"';
    while (!bytes.empty()) {
        const unsigned char c = static_cast<unsigned char>(bytes.front());
        const size_t length = utf8_sequence(bytes);
        if (length == 0) {
            out += "\\udc";
            out += kHex[c >> 4];
            out += kHex[c & 15];
            bytes.remove_prefix(1);
            continue;
        }
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c < 0x20 || c == 0x7F) {
            out += "\\u00";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out.append(bytes.data(), length);
        }
        bytes.remove_prefix(length);
    }
    out += '"';
}

void AppendTsvField(std::string &out, std::string_view bytes) {
    const auto plain = [](char c) { return c != '\\' && c != '\t' && c != '\n' && c != '\r'; };
    if (std::all_of(bytes.begin(), bytes.end(), plain)) {
        out += bytes;
        return;
    }
    for (const char c : bytes) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
}

std::string FormatRecord(const RecordStyle &style, std::string_view path, const Outcome &outcome) {
    std::string out;
    out.reserve(128 + path.size());
    if (style.format == Format::kTsv) {
        AppendTsvField(out, path);
        if (outcome.code != LANG_OK) {
            out += "\terror\t";
            out += std::to_string(outcome.code);
            out += '\t';
            out += LangErrorMsg(outcome.code);
        }
        for (const Candidate &c : outcome.candidates) append_tsv_candidate(out, style, c);
        out += '\n';
        return out;
    }

    out += "{\"path\":";
    AppendJsonString(out, path);
    if (outcome.code != LANG_OK) {
        out += ",\"error\":{\"code\":";
        out += std::to_string(outcome.code);
        append_json_member(out, "message", LangErrorMsg(outcome.code));
        out += "}}\n";
        return out;
    }
    if (outcome.candidates.empty()) {
        out += "}\n";
        return out;
    }
    out += ',';
    append_json_candidate(out, style, outcome.candidates.front(), true);
    if (outcome.candidates.size() > 1) {
        out += ",\"runners_up\":[";
        for (size_t i = 1; i < outcome.candidates.size(); ++i) {
            if (i > 1) out += ',';
            append_json_candidate(out, style, outcome.candidates[i], false);
        }
        out += ']';
    }
    out += "}\n";
    return out;
}

}  // namespace scan
