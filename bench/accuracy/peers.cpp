// Peer classifiers for the accuracy benchmark: CLD2 and libexttextcat (with its own shipped
// fingerprints) on the same samples as glotta, and uchardet for the charset of legacy bytes.
//
// Reads lines "path<TAB>kind" from standard input, kind being utf8, html, legacy or htmlcs
// (legacy bytes in HTML), and writes
// "path<TAB>cld2<TAB>textcat<TAB>uchardet" per line: the language codes each peer gives (CLD2's
// code, libexttextcat's first candidate) and uchardet's charset name for legacy samples
// ("-" where a peer was not asked). Legacy bytes reach CLD2 and libexttextcat after
// uchardet's charset and iconv have turned them into UTF-8, as a caller of those libraries
// would do; when uchardet gives no charset or iconv fails, Windows-1252 (else ISO-8859-1) is
// assumed.
//
// build: g++ -O2 -std=c++20 peers.cpp -o peers -Wl,--no-as-needed -lcld2_full -lcld2 \
//            -lexttextcat-2.0 -luchardet   (CLD2 with its full 160-language tables)

#include <cstdio>

#include <cld2/public/compact_lang_det.h>
#include <cld2/public/encodings.h>
#include <iconv.h>
#include <libexttextcat/textcat.h>
#include <uchardet/uchardet.h>

#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

namespace {

std::string read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string detect_charset(const std::string &bytes) {
    uchardet_t ud = uchardet_new();
    uchardet_handle_data(ud, bytes.data(), bytes.size());
    uchardet_data_end(ud);
    std::string name = uchardet_get_charset(ud);
    uchardet_delete(ud);
    return name;
}

bool to_utf8(const std::string &charset, const std::string &in, std::string &out) {
    if (charset.empty()) return false;
    iconv_t cd = iconv_open("UTF-8", charset.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    out.assign(in.size() * 4 + 16, '\0');
    char *src = const_cast<char *>(in.data());
    size_t src_left = in.size();
    char *dst = out.data();
    size_t dst_left = out.size();
    size_t rc = iconv(cd, &src, &src_left, &dst, &dst_left);
    iconv_close(cd);
    if (rc == static_cast<size_t>(-1)) return false;
    out.resize(out.size() - dst_left);
    return true;
}

std::string cld2_language(const std::string &text, bool plain) {
    bool reliable = false;
    CLD2::Language lang =
        CLD2::DetectLanguage(text.data(), static_cast<int>(text.size()), plain, &reliable);
    return CLD2::LanguageCode(lang);
}

std::string textcat_language(void *tc, const std::string &text) {
    const char *r = textcat_Classify(tc, text.data(), text.size());
    std::string s = r ? r : "";
    // "[en--utf8][de--utf8]" or "SHORT" / "UNKNOWN": keep the first candidate's language.
    if (s.size() < 2 || s[0] != '[') return "un";
    std::string name = s.substr(1, s.find(']') - 1);
    if (name.size() >= 4 && name.compare(name.size() - 4, 4, "utf8") == 0)
        name.resize(name.size() - 4);
    while (!name.empty() && name.back() == '-') name.pop_back();
    return name;
}

}  // namespace

int main(int argc, char **argv) {
    const char *conf = argc > 1 ? argv[1] : "/usr/share/libexttextcat/fpdb.conf";
    const char *prefix = argc > 2 ? argv[2] : "/usr/share/libexttextcat/";
    void *tc = special_textcat_Init(conf, prefix);
    if (!tc) {
        std::cerr << "peers: cannot load libexttextcat fingerprints from " << conf << "\n";
        return 1;
    }
    std::string line;
    while (std::getline(std::cin, line)) {
        size_t tab = line.find('\t');
        if (tab == std::string::npos) continue;
        std::string path = line.substr(0, tab), kind = line.substr(tab + 1);
        std::string bytes = read_file(path), text = bytes, charset = "-";
        if (kind == "legacy" || kind == "htmlcs") {
            charset = detect_charset(bytes);
            std::string conv;
            // Without a charset a caller can only assume one: Windows-1252, else ISO-8859-1.
            if (to_utf8(charset, bytes, conv) || to_utf8("WINDOWS-1252", bytes, conv) ||
                to_utf8("ISO-8859-1", bytes, conv))
                text = conv;
            if (charset.empty()) charset = "none";
        }
        std::string cld = cld2_language(text, kind != "html" && kind != "htmlcs");
        std::string cat = textcat_language(tc, text);
        std::cout << path << '\t' << cld << '\t' << cat << '\t' << charset << '\n';
    }
    textcat_Done(tc);
    return 0;
}
