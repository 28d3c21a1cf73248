#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tool/tool.h"

namespace fs = std::filesystem;

namespace {

class ToolBif : public testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/glotta_bif_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        CloseBifFile();
        fs::remove_all(dir_);
    }
    std::string path(const std::string &name) const { return (dir_ / name).string(); }
    static std::string read(const std::string &file) {
        std::ifstream in(file, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    fs::path dir_;
};

}  // namespace

TEST_F(ToolBif, NewFileIsFoundByItsExactName) {
    std::string name = path("b.en");
    EXPECT_EQ(FindBifFile(name.c_str()), nullptr);
    FILE *f = NewBifFile(name.c_str());
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(numBif, 1);
    EXPECT_EQ(FindBifFile(name.c_str()), f);
    EXPECT_EQ(FindBifFile(path("b.EN").c_str()), nullptr);
    EXPECT_EQ(FindBifFile(path("b.e").c_str()), nullptr);
}

TEST_F(ToolBif, NewFileTruncatesAnExistingOne) {
    std::string name = path("b.en");
    std::ofstream(name) << "old content\n";
    FILE *f = NewBifFile(name.c_str());
    ASSERT_NE(f, nullptr);
    fputs("new\n", f);
    CloseBifFile();
    EXPECT_EQ(read(name), "new\n");
    EXPECT_EQ(numBif, 0);
}

TEST_F(ToolBif, FailedOpenIsRecordedAndRetriedWithANewEntry) {
    std::string name = path("missing-dir/b.en");
    EXPECT_EQ(NewBifFile(name.c_str()), nullptr);
    EXPECT_EQ(numBif, 1);
    EXPECT_EQ(FindBifFile(name.c_str()), nullptr);
    EXPECT_EQ(NewBifFile(name.c_str()), nullptr);
    EXPECT_EQ(numBif, 2);
}

TEST_F(ToolBif, TableHoldsOneHundredFiles) {
    for (int i = 0; i < LANG_MAX_BIF; ++i) {
        ASSERT_NE(NewBifFile(path("b." + std::to_string(i)).c_str()), nullptr) << i;
    }
    EXPECT_EQ(NewBifFile(path("b.extra").c_str()), nullptr);
    EXPECT_EQ(numBif, LANG_MAX_BIF);
    EXPECT_FALSE(fs::exists(path("b.extra")));
    // The earlier files stay usable.
    EXPECT_NE(FindBifFile(path("b.0").c_str()), nullptr);
    EXPECT_NE(FindBifFile(path("b.99").c_str()), nullptr);
}

TEST_F(ToolBif, CloseEmptiesTheTableAndFlushesTheFiles) {
    FILE *a = NewBifFile(path("b.a").c_str());
    FILE *b = NewBifFile(path("b.b").c_str());
    ASSERT_TRUE(a && b);
    fputs("A\n", a);
    fputs("B\n", b);
    CloseBifFile();
    EXPECT_EQ(numBif, 0);
    EXPECT_EQ(FindBifFile(path("b.a").c_str()), nullptr);
    EXPECT_EQ(read(path("b.a")), "A\n");
    EXPECT_EQ(read(path("b.b")), "B\n");
    CloseBifFile();  // twice is harmless
}

TEST_F(ToolBif, NullNameIsRefused) {
    EXPECT_EQ(FindBifFile(nullptr), nullptr);
    EXPECT_EQ(NewBifFile(nullptr), nullptr);
    EXPECT_EQ(numBif, 0);
}
