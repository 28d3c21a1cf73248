#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "scan/scan.h"

using scan::Options;
using scan::ParseResult;

namespace {

ParseResult parse(std::vector<std::string> args, Options *options, std::string *error) {
    // Options point into the argument vector, as into a process's argv: the
    // arguments of every call stay alive until the test program ends.
    static std::deque<std::vector<std::string>> kept;
    args.insert(args.begin(), "glotta-scan");
    std::vector<std::string> &alive = kept.emplace_back(std::move(args));
    std::vector<char *> argv;
    for (std::string &arg : alive) argv.push_back(arg.data());
    argv.push_back(nullptr);
    return scan::ParseOptions(static_cast<int>(alive.size()), argv.data(), options, error);
}

TEST(ScanOptions, ValuesAndDefaults) {
    Options o;
    std::string error;
    ASSERT_EQ(parse({}, &o, &error), ParseResult::kRun);
    EXPECT_EQ(o.paths, std::vector<std::string>{"-"});
    EXPECT_EQ(o.format, scan::Format::kTsv);
    EXPECT_EQ(o.candidates, 1);
    EXPECT_EQ(o.jobs, 0);

    ASSERT_EQ(parse({"a",       "-rL0",     "--format=jsonl",
                     "-n",      "3",        "--distinct",
                     "--codes", "bcp47",    "-j2",
                     "--bif",   "out/b",    "--data-path",
                     "d",       "--config", "c",
                     "--size",  "99",       "--progress",
                     "--",      "-b"},
                    &o, &error),
              ParseResult::kRun)
        << error;
    EXPECT_EQ(o.paths, (std::vector<std::string>{"a", "-b"}));
    EXPECT_TRUE(o.recursive && o.followLinks && o.nulSeparated && o.distinct && o.progress);
    EXPECT_EQ(o.format, scan::Format::kJsonl);
    EXPECT_EQ(o.codes, scan::Codes::kBcp47);
    EXPECT_EQ(o.candidates, 3);
    EXPECT_EQ(o.jobs, 2);
    EXPECT_EQ(o.bifBase, "out/b");
    EXPECT_STREQ(o.dataPath, "d");
    EXPECT_STREQ(o.configFile, "c");
    EXPECT_EQ(o.detectSize, 99);

    ASSERT_EQ(parse({"--stdin-doc"}, &o, &error), ParseResult::kRun);
    EXPECT_TRUE(o.paths.empty());
    EXPECT_EQ(parse({"x", "--help"}, &o, &error), ParseResult::kHelp);
    EXPECT_EQ(parse({"-V"}, &o, &error), ParseResult::kVersion);
    EXPECT_EQ(parse({"--list-charsets"}, &o, &error), ParseResult::kListCharsets);
}

TEST(ScanOptions, UsageErrors) {
    const std::vector<std::vector<std::string>> cases = {
        {"-n", "0"},
        {"-n", "2x"},
        {"-n"},
        {"-j", "0"},
        {"--format", "csv"},
        {"--codes", "x"},
        {"--bogus"},
        {"-q"},
        {"--size", "-1"},
        {"--bif", ""},
        {"--stdin-doc", "a"},
        {"--stdin-doc", "-0"},
        {"-", "-"},
    };
    for (const auto &args : cases) {
        Options o;
        std::string error;
        EXPECT_EQ(parse(args, &o, &error), ParseResult::kUsageError) << args.front();
        EXPECT_FALSE(error.empty());
    }
}

}  // namespace
