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
