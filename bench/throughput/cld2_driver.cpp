// Peer baseline for the bulk throughput benchmark: runs CLD2 over the same
// bulk list that glotta reads and writes a comparable per-document record.
//
//   cld2_driver [-mode raw|oracle|peer] [-manifest FILE] [-max_bytes N]
//               @LIST [OUT]
//
// Modes (CLD2 only understands UTF-8):
//   raw     the document bytes go to CLD2 as they are; documents in other
//           charsets are rejected as invalid UTF-8 or misread.
//   oracle  the bytes are converted to UTF-8 with iconv from the charset the
//           corpus manifest records: the cost of conversion alone.
//   peer    the charset is guessed with uchardet, then iconv and CLD2: what a
//           pipeline built from peer libraries does to answer the same
//           question glotta answers (language and charset).
// Documents whose text starts with '<' are passed as markup so that CLD2
// skips tags. The list is read like glotta reads it: one path per line,
// relative paths joined to the list's directory, CR LF accepted.
//
// CLD2 allocates and frees large scoring buffers on every call; with glibc's
// default thresholds each call grows and trims the heap with brk, which costs
// more than the detection itself. The driver raises the thresholds so that
// the peer is measured at its best; -malloc_default keeps the defaults.

// The CLD2 header uses FILE without including <cstdio> itself.
#include <cstdio>

#include <cld2/public/compact_lang_det.h>
#include <cld2/public/encodings.h>
#include <iconv.h>
#include <malloc.h>
#include <uchardet/uchardet.h>

#include <time.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace {

enum class Mode { raw, oracle, peer };

struct Options {
    Mode mode = Mode::peer;
    std::string manifest;
    std::string list;
    std::string out;
    size_t max_bytes = 0;
    bool malloc_default = false;
};

int usage(const char *argv0) {
    std::fprintf(stderr,
                 "usage: %s [-mode raw|oracle|peer] [-manifest FILE] "
                 "[-max_bytes N] [-malloc_default] @LIST [OUT]\n",
                 argv0);
    return 2;
}

// Converts to UTF-8, keeping one iconv descriptor per source charset.
class Utf8Converter {
  public:
    ~Utf8Converter() {
        for (auto &[name, cd] : cds_)
            if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
    }

    // Returns false when the charset is unknown to iconv; out is then empty.
    bool convert(const std::string &charset, std::string_view in, std::string &out) {
        auto it = cds_.find(charset);
        if (it == cds_.end())
            it = cds_.emplace(charset, iconv_open("UTF-8", charset.c_str())).first;
        iconv_t cd = it->second;
        out.clear();
        if (cd == reinterpret_cast<iconv_t>(-1)) return false;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        out.resize(in.size() * 4 + 16);
        char *src = const_cast<char *>(in.data());
        size_t src_left = in.size();
        char *dst = out.data();
        size_t dst_left = out.size();
        while (src_left > 0) {
            if (iconv(cd, &src, &src_left, &dst, &dst_left) != static_cast<size_t>(-1)) break;
            if (errno == EILSEQ || errno == EINVAL) {
                // A peer pipeline drops what it cannot decode and goes on.
                ++src;
                --src_left;
                continue;
            }
            break;  // E2BIG cannot happen with 4 bytes per input byte
        }
        iconv(cd, nullptr, nullptr, &dst, &dst_left);
        out.resize(out.size() - dst_left);
        if (out.size() >= 3 && std::memcmp(out.data(), "\xEF\xBB\xBF", 3) == 0) out.erase(0, 3);
        return true;
    }

  private:
    std::unordered_map<std::string, iconv_t> cds_;
};

bool read_file(const std::string &path, size_t max_bytes, std::string &data) {
    FILE *f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    data.clear();
    char buf[8192];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
        data.append(buf, n);
        if (max_bytes && data.size() >= max_bytes) {
            data.resize(max_bytes);
            break;
        }
    }
    bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

bool looks_like_markup(std::string_view text) {
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
        return c == '<';
    }
    return false;
}

std::map<std::string, std::string> read_manifest(const std::string &path) {
    std::map<std::string, std::string> charsets;
    FILE *f = std::fopen(path.c_str(), "r");
    if (!f) return charsets;
    char line[2048];
    while (std::fgets(line, sizeof line, f)) {
        if (line[0] == '#') continue;
        char *tab1 = std::strchr(line, '\t');
        if (!tab1) continue;
        char *tab2 = std::strchr(tab1 + 1, '\t');
        char *tab3 = tab2 ? std::strchr(tab2 + 1, '\t') : nullptr;
        if (!tab3) continue;
        charsets[std::string(line, tab1)] = std::string(tab2 + 1, tab3);
    }
    std::fclose(f);
    return charsets;
}

}  // namespace

int main(int argc, char **argv) {
    Options opt;
    for (int i = 1; i < argc; ++i) {
        std::string_view a = argv[i];
        if (a == "-mode" && i + 1 < argc) {
            std::string_view m = argv[++i];
            if (m == "raw")
                opt.mode = Mode::raw;
            else if (m == "oracle")
                opt.mode = Mode::oracle;
            else if (m == "peer")
                opt.mode = Mode::peer;
            else
                return usage(argv[0]);
        } else if (a == "-manifest" && i + 1 < argc) {
            opt.manifest = argv[++i];
        } else if (a == "-malloc_default") {
            opt.malloc_default = true;
        } else if (a == "-max_bytes" && i + 1 < argc) {
            opt.max_bytes = std::strtoul(argv[++i], nullptr, 10);
        } else if (!a.empty() && a[0] == '@' && opt.list.empty()) {
            opt.list = a.substr(1);
        } else if (!a.empty() && a[0] != '-' && !opt.list.empty() && opt.out.empty()) {
            opt.out = a;
        } else {
            return usage(argv[0]);
        }
    }
    if (opt.list.empty()) return usage(argv[0]);
    if (opt.mode == Mode::oracle && opt.manifest.empty()) {
        std::fprintf(stderr, "-mode oracle needs -manifest\n");
        return 2;
    }

    if (!opt.malloc_default) {
        mallopt(M_TRIM_THRESHOLD, 256 << 20);
        mallopt(M_MMAP_THRESHOLD, 256 << 20);
    }

    std::map<std::string, std::string> manifest;
    if (!opt.manifest.empty()) manifest = read_manifest(opt.manifest);

    FILE *list = std::fopen(opt.list.c_str(), "rb");
    if (!list) {
        std::fprintf(stderr, "cannot open list %s\n", opt.list.c_str());
        return 1;
    }
    FILE *out = stdout;
    if (!opt.out.empty() && !(out = std::fopen(opt.out.c_str(), "w"))) {
        std::fprintf(stderr, "cannot create %s\n", opt.out.c_str());
        return 1;
    }
    std::string prefix;
    if (auto slash = opt.list.rfind('/'); slash != std::string::npos && slash > 0)
        prefix = opt.list.substr(0, slash);

    Utf8Converter conv;
    uchardet_t detector = uchardet_new();
    std::string data, utf8, path;
    long docs = 0, failed = 0, bytes = 0, invalid_utf8 = 0;
    auto start = std::chrono::steady_clock::now();
    timespec cpu_start{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu_start);

    char line[1024];
    while (std::fgets(line, sizeof line, list)) {
        size_t n = std::strlen(line);
        if (n > 0 && line[n - 1] == '\n') line[--n] = '\0';
        if (n > 0 && line[n - 1] == '\r') line[--n] = '\0';
        if (n == 0) continue;
        if (line[0] == '/' || prefix.empty())
            path = line;
        else
            path = prefix + '/' + line;

        if (!read_file(path, opt.max_bytes, data)) {
            std::fprintf(stderr, "cannot read %s\n", path.c_str());
            ++failed;
            continue;
        }
        bytes += static_cast<long>(data.size());

        std::string charset = "UTF-8";
        std::string_view text = data;
        if (opt.mode == Mode::oracle) {
            auto it = manifest.find(line);
            if (it != manifest.end()) charset = it->second;
        } else if (opt.mode == Mode::peer) {
            uchardet_reset(detector);
            uchardet_handle_data(detector, data.data(), data.size());
            uchardet_data_end(detector);
            const char *guess = uchardet_get_charset(detector);
            charset = (guess && *guess) ? guess : "UTF-8";
        }
        if (opt.mode != Mode::raw && charset != "UTF-8" && charset != "ASCII") {
            if (conv.convert(charset, data, utf8)) text = utf8;
        }

        CLD2::CLDHints hints = {nullptr, nullptr, CLD2::UNKNOWN_ENCODING, CLD2::UNKNOWN_LANGUAGE};
        CLD2::Language language3[3];
        int percent3[3];
        double normalized3[3];
        int text_bytes = 0;
        int valid_prefix = 0;
        bool reliable = false;
        CLD2::Language lang = CLD2::ExtDetectLanguageSummaryCheckUTF8(
            text.data(), static_cast<int>(text.size()), !looks_like_markup(text), &hints, 0,
            language3, percent3, normalized3, nullptr, &text_bytes, &reliable, &valid_prefix);
        if (valid_prefix < static_cast<int>(text.size())) ++invalid_utf8;

        std::fprintf(out, "DOC_NAME:%s\nLANGUAGE: %s\nCHARSET: %s\nSCORE: %.2f\n<<EOD>>\n",
                     path.c_str(), CLD2::LanguageCode(lang), charset.c_str(), percent3[0] / 100.0);
        ++docs;
    }
    auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    timespec cpu_end{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu_end);
    double cpu_seconds = static_cast<double>(cpu_end.tv_sec - cpu_start.tv_sec) +
                         static_cast<double>(cpu_end.tv_nsec - cpu_start.tv_nsec) * 1e-9;
    uchardet_delete(detector);
    std::fclose(list);
    if (out != stdout) std::fclose(out);
    std::fprintf(stderr,
                 "cld2_driver: %ld documents, %ld bytes, %ld unreadable, "
                 "%ld with invalid UTF-8 at CLD2, %.3f s in the loop "
                 "(%.3f s CPU)\n",
                 docs, bytes, failed, invalid_utf8, seconds, cpu_seconds);
    return 0;
}
