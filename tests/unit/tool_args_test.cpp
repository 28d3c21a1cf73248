#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "tool/tool.h"

namespace {

// Runs parseArg on "glotta" followed by `args` and keeps the vector alive for
// the strings langArg points into.
struct Parse {
    std::vector<std::string> storage;
    std::vector<char *> argv;
    int result;
    std::string errors;

    explicit Parse(std::initializer_list<const char *> args) {
        storage.emplace_back("glotta");
        for (const char *arg : args) storage.emplace_back(arg);
        for (std::string &s : storage) argv.push_back(s.data());
        argv.push_back(nullptr);
        testing::internal::CaptureStderr();
        result = parseArg(static_cast<int>(storage.size()), argv.data());
        errors = testing::internal::GetCapturedStderr();
    }
};

constexpr char kBadN[] = "'-n' has an invalid value, default value is used.\n";
constexpr char kBadSize[] = "'-buffer_size' has an invalid value, default value is used.\n";

}  // namespace

TEST(ToolArgs, NoArgumentIsAUsageError) {
    char name[] = "glotta";
    char *argv[] = {name, nullptr};
    EXPECT_EQ(parseArg(1, argv), -19999);
}

TEST(ToolArgs, SingleDocumentGetsOneCandidate) {
    Parse p{"doc.txt"};
    ASSERT_EQ(p.result, 0);
    EXPECT_STREQ(langArg.inputFile, "doc.txt");
    EXPECT_EQ(langArg.numCandidates, 1);
    EXPECT_EQ(langArg.bulk, 0);
    EXPECT_EQ(langArg.outputFile, nullptr);
    EXPECT_EQ(langArg.bufferSize, 0);
    EXPECT_EQ(p.errors, "");
}

TEST(ToolArgs, EveryOptionFillsItsField) {
    Parse p{"-n",     "3",      "-buffer_size", "4096",   "-bif",       "out/b", "-config",
            "my.cfg", "@l.lst", "res.txt",      "-debug", "-data_path", "d"};
    ASSERT_EQ(p.result, 0);
    EXPECT_EQ(langArg.numCandidates, 3);
    EXPECT_EQ(langArg.bufferSize, 4096);
    EXPECT_STREQ(langArg.bifFile, "out/b");
    EXPECT_STREQ(langArg.configFile, "my.cfg");
    EXPECT_EQ(langArg.bulk, 1);
    EXPECT_STREQ(langArg.inputFile, "l.lst");
    EXPECT_STREQ(langArg.outputFile, "res.txt");
    EXPECT_EQ(langArg.debug, 1);
    EXPECT_STREQ(langArg.dataPath, "d");
    EXPECT_EQ(langArg.train, 0);
}

TEST(ToolArgs, NumberIsReadByItsLeadingDigits) {
    {
        Parse p{"-n", "12abc", "doc"};
        EXPECT_EQ(p.result, 0);
        EXPECT_EQ(langArg.numCandidates, 12);
        EXPECT_EQ(p.errors, "");
    }
    for (const char *bad : {"0", "abc", "", "-0"}) {
        // "-0" begins with a dash: it is no value, and parsing stops there.
        Parse p{"doc", "-n", bad};
        EXPECT_EQ(p.result, 0) << bad;
        EXPECT_EQ(langArg.numCandidates, 1) << bad;
        EXPECT_EQ(p.errors, std::string(bad) == "-0" ? "" : kBadN) << bad;
    }
}

TEST(ToolArgs, HugeNumbersDoNotOverflow) {
    Parse p{"-n", "99999999999999999999", "doc"};
    EXPECT_EQ(p.result, 0);
    EXPECT_GT(langArg.numCandidates, 0);
}

TEST(ToolArgs, InvalidBufferSizeFallsBackToTheEngineDefault) {
    Parse p{"-buffer_size", "0", "doc"};
    EXPECT_EQ(p.result, 0);
    EXPECT_EQ(langArg.bufferSize, 0);
    EXPECT_EQ(p.errors, kBadSize);
}

TEST(ToolArgs, BufferSizeMayBeGivenAgainAfterAnInvalidValue) {
    Parse p{"-buffer_size", "x", "-buffer_size", "100", "doc"};
    EXPECT_EQ(p.result, 0);
    EXPECT_EQ(langArg.bufferSize, 100);
}

TEST(ToolArgs, RepeatedOptionsAreUsageErrors) {
    EXPECT_EQ(Parse({"-n", "2", "-n", "3", "doc"}).result, -19999);
    EXPECT_EQ(Parse({"-buffer_size", "2", "-buffer_size", "3", "doc"}).result, -19999);
    EXPECT_EQ(Parse({"-bif", "a", "-bif", "b", "doc"}).result, -19999);
    EXPECT_EQ(Parse({"-config", "a", "-config", "b", "doc"}).result, -19999);
    EXPECT_EQ(Parse({"-data_path", "a", "-data_path", "b", "doc"}).result, -19999);
    EXPECT_EQ(Parse({"-train", "-language_id", "a", "-language_id", "b", "doc"}).result, -19999);
}

TEST(ToolArgs, FlagsMayRepeat) {
    Parse p{"-debug",         "-debug",  "-train",   "-train", "-language_id", "en",
            "-language_name", "English", "-charset", "1252",   "doc"};
    EXPECT_EQ(p.result, 0);
    EXPECT_EQ(langArg.debug, 1);
    EXPECT_EQ(langArg.train, 1);
}

TEST(ToolArgs, DanglingValueOptionIsIgnored) {
    Parse p{"doc.txt", "-n"};
    EXPECT_EQ(p.result, 0);
    EXPECT_EQ(langArg.numCandidates, 1);
}

TEST(ToolArgs, ValueBeginningWithDashStopsParsing) {
    // Parsing stops at -n, so the document after it is never seen.
    EXPECT_EQ(Parse({"-n", "-debug", "doc.txt"}).result, -19999);
    Parse p{"doc.txt", "-bif", "-x", "unknown-option-never-read"};
    EXPECT_EQ(p.result, 0);
    EXPECT_EQ(langArg.bifFile, nullptr);
}

TEST(ToolArgs, PositionalArguments) {
    EXPECT_EQ(Parse({"a", "b", "c"}).result, -19999);
    EXPECT_EQ(Parse({"a", "@b"}).result, -19999);
    EXPECT_EQ(Parse({"-x", "doc"}).result, -19999);
    EXPECT_EQ(Parse({"-n", "2"}).result, -19999);
    Parse p{"@", "out"};
    EXPECT_EQ(p.result, 0);
    EXPECT_EQ(langArg.bulk, 1);
    EXPECT_STREQ(langArg.inputFile, "");
    EXPECT_STREQ(langArg.outputFile, "out");
}

TEST(ToolArgs, TrainingNeedsAllThreeValues) {
    EXPECT_EQ(Parse({"-train", "-language_id", "en", "-language_name", "English", "doc"}).result,
              -19999);
    EXPECT_EQ(Parse({"-train", "-language_id", "en", "-charset", "1252", "doc"}).result, -19999);
    EXPECT_EQ(Parse({"-train", "-language_name", "E", "-charset", "1252", "doc"}).result, -19999);
    Parse p{"-train", "-language_id", "en", "-language_name", "English", "-charset", "1252", "doc"};
    ASSERT_EQ(p.result, 0);
    EXPECT_STREQ(langArg.languageId, "en");
    EXPECT_STREQ(langArg.languageName, "English");
    EXPECT_STREQ(langArg.charset, "1252");
    // The candidate count is not settled in training mode.
    EXPECT_EQ(langArg.numCandidates, 0);
}

TEST(ToolArgs, TrainingValuesOutsideTrainingModeAreAccepted) {
    Parse p{"-language_id", "en", "doc"};
    EXPECT_EQ(p.result, 0);
    EXPECT_EQ(langArg.train, 0);
}

TEST(ToolArgs, EachParseStartsFromZero) {
    Parse first{"-n", "5", "-bif", "b", "doc", "out"};
    ASSERT_EQ(first.result, 0);
    Parse second{"doc"};
    ASSERT_EQ(second.result, 0);
    EXPECT_EQ(langArg.numCandidates, 1);
    EXPECT_EQ(langArg.bifFile, nullptr);
    EXPECT_EQ(langArg.outputFile, nullptr);
}

TEST(ToolUsage, TextIsByteExact) {
    testing::internal::CaptureStdout();
    PrintBanner();
    PrintUsage("prog");
    std::string text = testing::internal::GetCapturedStdout();
    EXPECT_EQ(text,
              "glotta - Tolmar, Inc. Version 5.5.0 (Feb  7 2004)\n"
              "Usage: prog [-n <num_of_language>]\n"
              "              [-config <config_file_pathname>]\n"
              "              [-buffer_size <detection_data_size>]\n"
              "              [-bif <bif_file>]\n"
              "              [@]<input_file> [<output_file>]\n"
              "Where\n"
              "  -n <num_of_language>\tGive the number of language candidates\n"
              "                        to be listed in output, default is 1 \n"
              "  -config <config_file_pathname> \tSpecify the detection configuration file\n"
              "  -buffer_size <detection_data_size> \tSpecify the data size used for "
              "detection. Default is 2K.\n"
              "  -bif <bif_file> \tGenerate Tolmar BIF file\n"
              "  @           \t        Indicate the input file is a bulk input file\n");
}
