#include <gtest/gtest.h>

#include <string>

#include "engine_test_support.h"
#include "tool/tool.h"

using glotta_test::ReadFile;
using glotta_test::TempDir;

namespace {

class ToolBif : public testing::Test {
  protected:
    void TearDown() override { CloseBifFile(); }
    std::string path(const std::string &name) const { return dir_.str(name); }
    TempDir dir_;
};

}  // namespace

TEST_F(ToolBif, FilesAreFoundByTheirExactNameAndTruncated) {
    EXPECT_EQ(FindBifFile(nullptr), nullptr);
    EXPECT_EQ(NewBifFile(nullptr), nullptr);
    std::string name = dir_.write("b.en", "old content\n");
    EXPECT_EQ(FindBifFile(name.c_str()), nullptr);
    FILE *f = NewBifFile(name.c_str());
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(numBif, 1);
    EXPECT_EQ(FindBifFile(name.c_str()), f);
    for (const char *other : {"b.EN", "b.e"}) EXPECT_EQ(FindBifFile(path(other).c_str()), nullptr);
    fputs("new\n", f);
    CloseBifFile();
    EXPECT_EQ(numBif, 0);
    EXPECT_EQ(FindBifFile(name.c_str()), nullptr);
    EXPECT_EQ(ReadFile(name), "new\n");
    CloseBifFile();  // twice is harmless
}

TEST_F(ToolBif, FailedOpenTakesAnEntryEveryTime) {
    std::string name = path("missing-dir/b.en");
    EXPECT_EQ(NewBifFile(name.c_str()), nullptr);
    EXPECT_EQ(FindBifFile(name.c_str()), nullptr);
    EXPECT_EQ(NewBifFile(name.c_str()), nullptr);
    EXPECT_EQ(numBif, 2);
}

TEST_F(ToolBif, TableHoldsOneHundredFiles) {
    for (int i = 0; i < LANG_MAX_BIF; ++i)
        ASSERT_NE(NewBifFile(path("b." + std::to_string(i)).c_str()), nullptr) << i;
    EXPECT_EQ(NewBifFile(path("b.extra").c_str()), nullptr);
    EXPECT_EQ(numBif, LANG_MAX_BIF);
    EXPECT_FALSE(std::filesystem::exists(path("b.extra")));
    EXPECT_NE(FindBifFile(path("b.99").c_str()), nullptr);
}

TEST_F(ToolBif, WriteErrorsAreReportedOnceAndFailTheClose) {
    const std::string full = path("b.en");
    std::filesystem::create_symlink("/dev/full", full);
    const std::string good = path("b.de");
    FILE *en = NewBifFile(full.c_str());
    FILE *de = NewBifFile(good.c_str());
    ASSERT_NE(en, nullptr);
    ASSERT_NE(de, nullptr);
    EXPECT_TRUE(BifFilesWritten());
    const std::string block(64 * 1024, 'x');
    fwrite(block.data(), 1, block.size(), en);
    fputs("record\n", de);
    const std::string message = "Couldn't write bif file " + full + ": No space left on device\n";
    testing::internal::CaptureStderr();
    EXPECT_FALSE(BifFilesWritten());
    EXPECT_FALSE(BifFilesWritten());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), message);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(CloseBifFile());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(ReadFile(good), "record\n");

    // A failure that shows only at close is reported there.
    ASSERT_NE((en = NewBifFile(full.c_str())), nullptr);
    fputs("record\n", en);
    EXPECT_TRUE(BifFilesWritten());
    // (Capturing stderr flushes every stream: it comes after the check.)
    testing::internal::CaptureStderr();
    EXPECT_FALSE(CloseBifFile());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), message);

    ASSERT_NE(NewBifFile(good.c_str()), nullptr);
    EXPECT_TRUE(CloseBifFile());
}

TEST_F(ToolBif, AFileAnotherRunIsWritingIsNotOpened) {
    const std::string name = dir_.write("b.en", "");
    FILE *other = OpenOutputFile(name.c_str());
    ASSERT_NE(other, nullptr);
    fputs("other run\n", other);
    fflush(other);
    EXPECT_EQ(NewBifFile(name.c_str()), nullptr);
    EXPECT_EQ(ReadFile(name), "other run\n");
    fclose(other);
    EXPECT_NE(NewBifFile(name.c_str()), nullptr);
}
