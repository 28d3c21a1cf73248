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

TEST_F(ToolBif, FailuresTakeNoEntryAndNeverFillTheTable) {
    std::string name = path("missing-dir/b.en");
    EXPECT_EQ(NewBifFile(name.c_str()), nullptr);
    EXPECT_EQ(FindBifFile(name.c_str()), nullptr);
    EXPECT_EQ(numBif, 0);
    // Many more failing names than the table holds (here: directories in
    // the way), then a full table of files that open.
    for (int i = 0; i < 3 * LANG_MAX_BIF; ++i)
        ASSERT_EQ(NewBifFile(dir_.mkdir("d." + std::to_string(i)).c_str()), nullptr) << i;
    EXPECT_EQ(numBif, 0);
    for (int i = 0; i < LANG_MAX_BIF; ++i)
        ASSERT_NE(NewBifFile(path("b." + std::to_string(i)).c_str()), nullptr) << i;
}

TEST_F(ToolBif, NeverOpenedOnTheListTheOutputOrTheDocument) {
    const std::string list = dir_.write("job.lst", "a.txt\n");
    const std::string output = dir_.write("out.en", "DOC_NAME:a.txt\n");
    const std::string document = dir_.write("a.fr", "un document\n");
    std::filesystem::create_symlink(list, path("link.lst"));
    std::filesystem::create_hard_link(document, path("hard.fr"));
    BifProtect(BIF_PROTECT_LIST, IdentityOfPath(list.c_str()));
    BifProtect(BIF_PROTECT_OUTPUT, IdentityOfPath(output.c_str()));
    BifProtect(BIF_PROTECT_DOCUMENT, IdentityOfPath(document.c_str()));
    for (const char *name : {"job.lst", "link.lst", "out.en", "a.fr", "hard.fr"})
        EXPECT_EQ(NewBifFile(path(name).c_str()), nullptr) << name;
    EXPECT_EQ(numBif, 0);
    EXPECT_EQ(ReadFile(list), "a.txt\n");
    EXPECT_EQ(ReadFile(output), "DOC_NAME:a.txt\n");
    EXPECT_EQ(ReadFile(document), "un document\n");
    // Another document is being read now: the old one is no longer protected.
    BifProtect(BIF_PROTECT_DOCUMENT, IdentityOfPath(list.c_str()));
    EXPECT_NE(NewBifFile(document.c_str()), nullptr);
    // Closing forgets every protected file.
    CloseBifFile();
    EXPECT_NE(NewBifFile(list.c_str()), nullptr);
}

TEST_F(ToolBif, IdentitiesAreThoseOfRegularFiles) {
    const std::string file = dir_.write("f", "x");
    const FileIdentity a = IdentityOfPath(file.c_str());
    EXPECT_TRUE(a.known);
    EXPECT_TRUE(SameFile(a, a));
    FILE *stream = fopen(file.c_str(), "r");
    ASSERT_NE(stream, nullptr);
    EXPECT_TRUE(SameFile(a, IdentityOfStream(stream)));
    fclose(stream);
    EXPECT_FALSE(SameFile(a, IdentityOfPath(dir_.write("g", "x").c_str())));
    for (const char *other : {"/dev/null", "/", "/nonexistent/x"})
        EXPECT_FALSE(IdentityOfPath(other).known) << other;
    EXPECT_FALSE(IdentityOfPath(nullptr).known);
    EXPECT_FALSE(SameFile(FileIdentity{}, FileIdentity{}));
}

TEST_F(ToolBif, OutputStreamTruncatesOnlyWhatMayBeWritten) {
    const std::string keep = dir_.write("keep", "kept\n");
    const std::string old = dir_.write("old", "old content\n");
    const FileIdentity protectedFile = IdentityOfPath(keep.c_str());
    EXPECT_EQ(OpenOutputStream(keep.c_str(), &protectedFile, 1), nullptr);
    EXPECT_EQ(ReadFile(keep), "kept\n");
    FILE *stream = OpenOutputStream(old.c_str(), &protectedFile, 1);
    ASSERT_NE(stream, nullptr);
    fputs("new\n", stream);
    fclose(stream);
    EXPECT_EQ(ReadFile(old), "new\n");
    stream = OpenOutputStream(path("created").c_str(), nullptr, 0);
    ASSERT_NE(stream, nullptr);
    fclose(stream);
    EXPECT_TRUE(std::filesystem::exists(path("created")));
    EXPECT_EQ(OpenOutputStream(path("no/such/dir").c_str(), nullptr, 0), nullptr);
    EXPECT_EQ(OpenOutputStream(nullptr, nullptr, 0), nullptr);
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
    FILE *other = OpenOutputStream(name.c_str(), nullptr, 0);
    ASSERT_NE(other, nullptr);
    fputs("other run\n", other);
    fflush(other);
    EXPECT_EQ(NewBifFile(name.c_str()), nullptr);
    EXPECT_EQ(ReadFile(name), "other run\n");
    fclose(other);
    EXPECT_NE(NewBifFile(name.c_str()), nullptr);
}
