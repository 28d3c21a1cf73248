#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "engine_test_support.h"
#include "tool/tool.h"

using glotta_test::EnvOverride;
using glotta_test::MakeInstallation;
using glotta_test::ReadFile;
using glotta_test::TempDir;

namespace {

// An engine on the fake plug-ins with one profile; documents that are empty
// or missing get answers that need no filtering or classification.
class ToolReport : public testing::Test {
  protected:
    void SetUp() override {
        std::string bin = MakeInstallation(root_, "good");
        root_.write("common/glotta/en.lm", "ID:en\nCHARSET:1252\n_t 2\n");
        root_.write("common/glotta/langlist.cfg", "en.lm\n");
        root_.write("common/glotta/langname.cfg", "un Undetermined\n");
        empty_ = root_.write("docs/empty.txt", "");
        EnvOverride library("LD_LIBRARY_PATH", bin);
        EnvOverride debug("TOLMAR_LANG", std::nullopt);
        ASSERT_EQ(LangInit(&pContext, nullptr), 0);
        testing::internal::CaptureStdout();
        loadNameMapping(LangGetDataPath(pContext));
        testing::internal::GetCapturedStdout();
        langArg = LangArg{};
        langArg.numCandidates = 1;
        out_ = tmpfile();
    }
    void TearDown() override {
        CloseBifFile();
        LangClose(pContext);
        pContext = nullptr;
        fclose(out_);
        testing::internal::CaptureStdout();
        loadNameMapping(nullptr);  // empties the table
        testing::internal::GetCapturedStdout();
    }

    // Runs one document; returns the code, and the record and errors written.
    int run(const std::string &path, const char *bif, std::string *record,
            std::string *errors = nullptr) {
        testing::internal::CaptureStderr();
        int rc = GetDocLanguage(path.c_str(), out_, bif);
        std::string err = testing::internal::GetCapturedStderr();
        if (errors) *errors = err;
        fflush(out_);
        rewind(out_);
        record->assign(1 << 16, '\0');
        record->resize(fread(record->data(), 1, record->size(), out_));
        rewind(out_);
        if (ftruncate(fileno(out_), 0) != 0) ADD_FAILURE() << "cannot reset the output";
        return rc;
    }

    TempDir root_;
    std::string empty_;
    FILE *out_ = nullptr;
};

std::string unknown_record(const std::string &path) {
    return "DOC_NAME:" + path +
           "\nLANGUAGE: Undetermined\nCHARSET: Unknown\nSCORE: 0.00\n<<EOD>>\n";
}

}  // namespace

TEST_F(ToolReport, RecordShowsTheDisplayName) {
    std::string record;
    ASSERT_EQ(run(empty_, nullptr, &record), 0);
    EXPECT_EQ(record, unknown_record(empty_));
}

TEST_F(ToolReport, MoreCandidatesAskedThanFound) {
    langArg.numCandidates = 3;
    std::string record;
    ASSERT_EQ(run(empty_, nullptr, &record), 0);
    EXPECT_EQ(record, unknown_record(empty_));
}

TEST_F(ToolReport, FailureWritesOnlyTheErrorLine) {
    std::string record, errors;
    std::string missing = root_.str("docs/missing.txt");
    EXPECT_EQ(run(missing, root_.str("b").c_str(), &record, &errors), -19996);
    EXPECT_EQ(record, "");
    EXPECT_EQ(errors, "Error -19996: File does not exist (for document: " + missing + ")\n");
    EXPECT_EQ(numBif, 0);
    EXPECT_EQ(run(root_.str("docs"), nullptr, &record, &errors), -19993);
    EXPECT_EQ(errors, "Error -19993: The file is not an ordinary file (for document: " +
                          root_.str("docs") + ")\n");
}

TEST_F(ToolReport, BifRecordsGoToOneFilePerLanguage) {
    std::string base = root_.str("out");
    std::string record;
    ASSERT_EQ(run(empty_, base.c_str(), &record), 0);
    ASSERT_EQ(run(empty_, base.c_str(), &record), 0);
    EXPECT_EQ(numBif, 1);
    CloseBifFile();
    std::string one = "ZulZgwKey: " + empty_ + "\nZLang: un\n<<EOD>>\n";
    EXPECT_EQ(ReadFile(base + ".un"), one + one);
}

TEST_F(ToolReport, EmptyBifBaseWritesNothing) {
    std::string record;
    ASSERT_EQ(run(empty_, "", &record), 0);
    EXPECT_EQ(numBif, 0);
}

TEST_F(ToolReport, UncreatableBifFileKeepsTheResult) {
    std::string base = root_.str("no/such/dir/out");
    std::string record, errors;
    ASSERT_EQ(run(empty_, base.c_str(), &record, &errors), 0);
    EXPECT_EQ(record, unknown_record(empty_));
    EXPECT_EQ(errors, "Couldn't create bif file " + base + ".un\n");
    ASSERT_EQ(run(empty_, base.c_str(), &record, &errors), 0);
    EXPECT_EQ(errors, "Couldn't create bif file " + base + ".un\n");
    EXPECT_EQ(numBif, 2);  // every attempt takes an entry of its own
}
