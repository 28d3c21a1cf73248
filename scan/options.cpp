// options.cpp - the command line of glotta-scan.
#include <errno.h>
#include <getopt.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>

#include "scan/scan.h"

namespace scan {
namespace {

enum LongOnly {
    kStdinDoc = 256,
    kFormat,
    kDistinct,
    kCodes,
    kProgress,
    kBif,
    kDataPath,
    kConfig,
    kSize,
    kListCharsets,
};

constexpr char kShortOptions[] = ":rL0f:n:j:hV";

constexpr struct option kLongOptions[] = {
    {"recursive", no_argument, nullptr, 'r'},
    {"follow", no_argument, nullptr, 'L'},
    {"null", no_argument, nullptr, '0'},
    {"stdin-doc", no_argument, nullptr, kStdinDoc},
    {"format", required_argument, nullptr, kFormat},
    {"candidates", required_argument, nullptr, 'n'},
    {"distinct", no_argument, nullptr, kDistinct},
    {"codes", required_argument, nullptr, kCodes},
    {"jobs", required_argument, nullptr, 'j'},
    {"progress", no_argument, nullptr, kProgress},
    {"bif", required_argument, nullptr, kBif},
    {"data-path", required_argument, nullptr, kDataPath},
    {"config", required_argument, nullptr, kConfig},
    {"size", required_argument, nullptr, kSize},
    {"list-charsets", no_argument, nullptr, kListCharsets},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {nullptr, 0, nullptr, 0},
};

// A whole decimal number from `low` to `high`, or nothing.
std::optional<long> number_in(const char *text, long low, long high) {
    if (!text || !*text) return std::nullopt;
    char *end = nullptr;
    errno = 0;
    const long value = strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || value < low || value > high) return std::nullopt;
    return value;
}

}  // namespace

std::string HelpText() {
    return "Usage: glotta-scan [OPTION]... [PATH]...\n"
           "Tell the language and charset of documents: one line per document, in the\n"
           "order the documents are named, on standard output.\n"
           "\n"
           "With no PATH, or when PATH is -, the paths are read from standard input,\n"
           "one per line.\n"
           "\n"
           "Input:\n"
           "  -r, --recursive       scan the files below directories\n"
           "  -L, --follow          follow symbolic links met while scanning directories\n"
           "  -0, --null            paths on standard input end in NUL, not line feed\n"
           "      --stdin-doc       standard input itself is the one document\n"
           "      --size BYTES      bytes of text examined per document (default 2048)\n"
           "\n"
           "Output:\n"
           "  -f, --format FORMAT   tsv (default) or jsonl\n"
           "  -n, --candidates N    report N candidates, 1 to 1000 (default 1)\n"
           "      --distinct        the N candidates are N different languages\n"
           "      --codes CODES     language codes as glotta (default) or bcp47 gives them\n"
           "      --bif BASE        also sort documents into BASE.<language> BIF files\n"
           "      --progress        progress, rate and time left on standard error\n"
           "                        (when it is a terminal)\n"
           "\n"
           "Engine:\n"
           "  -j, --jobs N          N worker threads (default: the number of cores)\n"
           "      --data-path DIR   language data directory\n"
           "      --config FILE     language list used instead of DIR/langlist.cfg\n"
           "\n"
           "      --list-charsets   show glotta's charset names and their standard\n"
           "                        names, tab-separated, and exit\n"
           "  -h, --help            show this help and exit\n"
           "  -V, --version         show the version and exit\n"
           "\n"
           "TSV fields: path, language, its name, charset, standard charset name,\n"
           "score, then the same five fields for every further candidate. A document\n"
           "that fails gives: path, \"error\", result code, message.\n"
           "In paths, \\, tab, line feed and carriage return are written \\\\, \\t, \\n, \\r.\n"
           "JSON strings write bytes that are not UTF-8 as \\udcXX (Python's\n"
           "surrogateescape).\n"
           "\n"
           "Exit status: 0 when every document was identified, 1 when some failed,\n"
           "2 for a usage or start-up error.\n";
}

ParseResult ParseOptions(int argc, char **argv, Options *options, std::string *error) {
    *options = Options{};
    error->clear();
    optind = 0;  // full reinitialisation, so the parser may run again
    opterr = 0;
    auto usage = [&](std::string message) {
        *error = std::move(message);
        return ParseResult::kUsageError;
    };
    for (;;) {
        int index = 0;
        const int option = getopt_long(argc, argv, kShortOptions, kLongOptions, &index);
        if (option == -1) break;
        const char *value = optarg;
        switch (option) {
            case 'r':
                options->recursive = true;
                break;
            case 'L':
                options->followLinks = true;
                break;
            case '0':
                options->nulSeparated = true;
                break;
            case kStdinDoc:
                options->stdinDocument = true;
                break;
            case kDistinct:
                options->distinct = true;
                break;
            case kProgress:
                options->progress = true;
                break;
            case 'h':
                return ParseResult::kHelp;
            case 'V':
                return ParseResult::kVersion;
            case kListCharsets:
                return ParseResult::kListCharsets;
            case 'f':
            case kFormat:
                if (strcmp(value, "tsv") == 0) {
                    options->format = Format::kTsv;
                } else if (strcmp(value, "jsonl") == 0) {
                    options->format = Format::kJsonl;
                } else {
                    return usage(std::string("unknown format '") + value + "' (tsv or jsonl)");
                }
                break;
            case kCodes:
                if (strcmp(value, "glotta") == 0) {
                    options->codes = Codes::kGlotta;
                } else if (strcmp(value, "bcp47") == 0) {
                    options->codes = Codes::kBcp47;
                } else {
                    return usage(std::string("unknown codes '") + value + "' (glotta or bcp47)");
                }
                break;
            case 'n': {
                const auto n = number_in(value, 1, 1000);
                if (!n)
                    return usage(std::string("invalid candidate count '") + value +
                                 "' (1 to 1000)");
                options->candidates = static_cast<int>(*n);
                break;
            }
            case 'j': {
                const auto n = number_in(value, 1, 1024);
                if (!n)
                    return usage(std::string("invalid number of jobs '") + value + "' (1 to 1024)");
                options->jobs = static_cast<int>(*n);
                break;
            }
            case kSize: {
                const auto n = number_in(value, 1, INT32_MAX);
                if (!n)
                    return usage(std::string("invalid size '") + value +
                                 "' (1 to 2147483647 bytes)");
                options->detectSize = static_cast<int32_t>(*n);
                break;
            }
            case kBif:
                if (!*value) return usage("--bif needs a base path");
                options->bifBase = value;
                break;
            case kDataPath:
                options->dataPath = value;
                break;
            case kConfig:
                options->configFile = value;
                break;
            case ':':
                return usage(std::string("option '") + argv[optind - 1] + "' needs a value");
            default:
                if (optopt > 0 && optopt < 256)
                    return usage(std::string("unknown option '-") + static_cast<char>(optopt) +
                                 "'");
                return usage(std::string("unknown option '") + argv[optind - 1] + "'");
        }
    }
    for (int i = optind; i < argc; ++i) options->paths.emplace_back(argv[i]);
    if (options->stdinDocument && !options->paths.empty())
        return usage("--stdin-doc takes no PATH");
    if (options->stdinDocument && options->nulSeparated)
        return usage("--stdin-doc and --null exclude each other");
    if (options->paths.empty() && !options->stdinDocument) options->paths.emplace_back("-");
    int stdinLists = 0;
    for (const std::string &path : options->paths) stdinLists += path == "-";
    if (stdinLists > 1) return usage("standard input (-) can be named only once");
    return ParseResult::kRun;
}

}  // namespace scan
