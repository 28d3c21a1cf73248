// args.cpp - the command line: banner, usage text and argument parsing.
#include <limits.h>
#include <stdio.h>
#include <string.h>

#include "tool/tool.h"

LangArg langArg;

namespace {

constexpr char kVersion[] = "5.5.0";
constexpr char kBuildDate[] = "Feb  7 2004";

// Leading blanks, a sign and the leading digits, as atoi reads them, but
// saturating instead of overflowing.
int32_t leading_int(const char *text) {
    while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
    bool negative = false;
    if (*text == '-' || *text == '+') negative = *text++ == '-';
    long long value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        value = value * 10 + (*text - '0');
        if (value > INT_MAX) value = INT_MAX;
    }
    return static_cast<int32_t>(negative ? -value : value);
}

enum class Take { kValue, kStop };

}  // namespace

void PrintBanner() {
    printf("glotta - Tolmar, Inc. Version %s (%s)\n", kVersion, kBuildDate);
}

void PrintUsage(const char *program) {
    printf("Usage: %s [-n <num_of_language>]\n", program ? program : "glotta");
    printf("              [-config <config_file_pathname>]\n");
    printf("              [-buffer_size <detection_data_size>]\n");
    printf("              [-bif <bif_file>]\n");
    printf("              [@]<input_file> [<output_file>]\n");
    printf("Where\n");
    printf(
        "  -n <num_of_language>\tGive the number of language candidates\n"
        "                        to be listed in output, default is 1 \n");
    printf("  -config <config_file_pathname> \tSpecify the detection configuration file\n");
    printf(
        "  -buffer_size <detection_data_size> \tSpecify the data size used for detection. "
        "Default is 2K.\n");
    printf("  -bif <bif_file> \tGenerate Tolmar BIF file\n");
    printf("  @           \t        Indicate the input file is a bulk input file\n");
}

int parseArg(int argc, char **argv) {
    if (argc < 2) return LANG_ERR_IDENTIFY;
    langArg = LangArg{};

    int i = 1;
    // The value of an option is the next argument; a missing value or one
    // that looks like an option ends parsing, ignoring the rest.
    auto take = [&](const char **value) {
        ++i;
        if (i >= argc || argv[i][0] == '-') return Take::kStop;
        *value = argv[i];
        return Take::kValue;
    };
    auto is = [&](const char *option) { return strcmp(argv[i], option) == 0; };

    for (; i < argc; ++i) {
        const char *arg = argv[i];
        const char *value = nullptr;
        if (is("-n") && langArg.numCandidates == 0) {
            if (take(&value) == Take::kStop) break;
            langArg.numCandidates = leading_int(value);
            if (langArg.numCandidates < 1) {
                ToolMessage("'-n' has an invalid value, default value is used.\n");
                langArg.numCandidates = 1;
            }
        } else if (is("-buffer_size") && langArg.bufferSize == 0) {
            if (take(&value) == Take::kStop) break;
            langArg.bufferSize = leading_int(value);
            if (langArg.bufferSize < 1) {
                ToolMessage("'-buffer_size' has an invalid value, default value is used.\n");
                langArg.bufferSize = 0;
            }
        } else if (is("-bif") && !langArg.bifFile) {
            if (take(&langArg.bifFile) == Take::kStop) break;
        } else if (is("-debug")) {
            langArg.debug = 1;
        } else if (arg[0] != '-' && !langArg.inputFile) {
            if (arg[0] == '@') {
                langArg.bulk = 1;
                langArg.inputFile = arg + 1;
            } else {
                langArg.inputFile = arg;
            }
        } else if (arg[0] != '-' && arg[0] != '@' && !langArg.outputFile) {
            langArg.outputFile = arg;
        } else if (is("-train")) {
            langArg.train = 1;
        } else if (is("-language_id") && !langArg.languageId) {
            if (take(&langArg.languageId) == Take::kStop) break;
        } else if (is("-language_name") && !langArg.languageName) {
            if (take(&langArg.languageName) == Take::kStop) break;
        } else if (is("-charset") && !langArg.charset) {
            if (take(&langArg.charset) == Take::kStop) break;
        } else if (is("-config") && !langArg.configFile) {
            if (take(&langArg.configFile) == Take::kStop) break;
        } else if (is("-data_path") && !langArg.dataPath) {
            if (take(&langArg.dataPath) == Take::kStop) break;
        } else {
            return LANG_ERR_IDENTIFY;
        }
    }

    if (langArg.train) {
        if (!langArg.languageId || !langArg.languageName || !langArg.charset)
            return LANG_ERR_IDENTIFY;
    } else if (langArg.numCandidates == 0) {
        langArg.numCandidates = 1;
    }
    if (!langArg.inputFile) return LANG_ERR_IDENTIFY;
    return LANG_OK;
}
