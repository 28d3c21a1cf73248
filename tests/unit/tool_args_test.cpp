#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "tool/tool.h"

namespace {

// Runs parseArg on "glotta" followed by the blank-separated `args` ("''" is
// an empty argument) and keeps the strings langArg points into alive.
struct Parse {
    std::vector<std::string> storage{"glotta"};
    std::vector<char *> argv;
    int result;
    std::string errors;

    explicit Parse(const std::string &args) {
        std::istringstream in(args);
        for (std::string arg; in >> arg;) storage.push_back(arg == "''" ? "" : arg);
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

TEST(ToolArgs, EveryOptionFillsItsFieldAndTheNextParseStartsFromZero) {
    Parse p("-n 3 -buffer_size 4096 -bif out/b -config my.cfg @l.lst res.txt -debug -data_path d");
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

    Parse q("doc.txt");
    ASSERT_EQ(q.result, 0);
    EXPECT_STREQ(langArg.inputFile, "doc.txt");
    EXPECT_EQ(langArg.numCandidates, 1);
    EXPECT_EQ(langArg.bulk + langArg.bufferSize, 0);
    EXPECT_TRUE(!langArg.bifFile && !langArg.outputFile);
}

TEST(ToolArgs, UsageErrors) {
    char name[] = "glotta";
    char *argv[] = {name, nullptr};
    EXPECT_EQ(parseArg(1, argv), -19999);
    for (const char *args :
         {"-buffer_size 2 -buffer_size 3 doc", "-bif a -bif b doc", "-config a -config b doc",
          "-data_path a -data_path b doc", "-train -language_id a -language_id b doc", "-n 2",
          "-train -language_id en -charset 1252 doc", "-train -language_name E -charset 1 doc",
          "-train -language_id en -language_name English doc", "-x doc", "a.txt b.txt c.txt",
          "a.txt @list.lst", "-n 2 -n 3 doc", "-n -debug doc"})
        EXPECT_EQ(Parse(args).result, -19999) << args;
}

TEST(ToolArgs, NumbersAreReadByTheirLeadingDigits) {
    struct {
        const char *args;
        int candidates, bufferSize;
        const char *errors;
    } cases[] = {{"-n 12abc doc", 12, 0, ""},
                 {"doc -n 0", 1, 0, kBadN},
                 {"doc -n ''", 1, 0, kBadN},
                 {"doc -n -0", 1, 0, ""},  // no value: parsing stops
                 {"doc.txt -n", 1, 0, ""},
                 {"-buffer_size 0 doc", 1, 0, kBadSize},
                 {"-buffer_size x -buffer_size 100 doc", 1, 100, kBadSize}};
    for (const auto &c : cases) {
        Parse p(c.args);
        EXPECT_EQ(p.result, 0) << c.args;
        EXPECT_EQ(langArg.numCandidates, c.candidates) << c.args;
        EXPECT_EQ(langArg.bufferSize, c.bufferSize) << c.args;
        EXPECT_EQ(p.errors, c.errors) << c.args;
    }
    EXPECT_EQ(Parse("-n 99999999999999999999 doc").result, 0);
    EXPECT_GT(langArg.numCandidates, 0);
}

TEST(ToolArgs, PositionalsFlagsAndTraining) {
    Parse bulk("@ out");
    EXPECT_EQ(bulk.result, 0);
    EXPECT_EQ(langArg.bulk, 1);
    EXPECT_STREQ(langArg.inputFile, "");
    EXPECT_STREQ(langArg.outputFile, "out");
    Parse stop("doc.txt -bif -x never-read");
    EXPECT_EQ(stop.result, 0);
    EXPECT_EQ(langArg.bifFile, nullptr);
    EXPECT_EQ(Parse("-language_id en doc").result, 0);
    EXPECT_EQ(langArg.train, 0);

    Parse train(
        "-debug -debug -train -train -language_id en -language_name English -charset 1252 doc");
    ASSERT_EQ(train.result, 0);
    EXPECT_EQ(langArg.debug + langArg.train, 2);
    EXPECT_STREQ(langArg.languageId, "en");
    EXPECT_STREQ(langArg.languageName, "English");
    EXPECT_STREQ(langArg.charset, "1252");
    EXPECT_EQ(langArg.numCandidates, 0);  // not settled in training mode
}
