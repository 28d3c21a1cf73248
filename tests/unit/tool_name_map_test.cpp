#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "engine_test_support.h"
#include "tool/tool.h"

using glotta_test::ReadFile;
using glotta_test::TempDir;

namespace {

constexpr char kMissing[] = "Coundn't open configuration file langname.cfg\n";

class ToolNameMap : public testing::Test {
  protected:
    // Loads `content` as DIR/langname.cfg (none for nullptr); returns the code
    // and what was printed.
    int load(const char *content, std::string *out = nullptr) {
        if (content) dir_.write("langname.cfg", content);
        testing::internal::CaptureStdout();
        int rc = loadNameMapping(dir_.str().c_str());
        std::string text = testing::internal::GetCapturedStdout();
        if (out) *out = text;
        return rc;
    }
    std::string name(const char *id) { return LangCode2Name(id); }
    TempDir dir_;
};

}  // namespace

TEST_F(ToolNameMap, Entries) {
    std::string out;
    ASSERT_EQ(load("# comment\nen English\nde German extra words\n\r\n   \nlonely\n"
                   " fr\tFrench\nen Anglais\n",
                   &out),
              0);
    EXPECT_EQ(out, "");
    EXPECT_EQ(numNameMap, 4);
    // The first entry of an identifier wins; unknown identifiers show unchanged.
    for (auto [id, shown] : {std::pair{"en", "English"},
                             {"de", "German"},
                             {"fr", "French"},
                             {"lonely", "lonely"},
                             {"EN", "EN"}})
        EXPECT_EQ(name(id), shown) << id;
    const char *id = "xx";
    EXPECT_EQ(LangCode2Name(id), id);  // the very string
    EXPECT_EQ(LangCode2Name(nullptr), nullptr);

    ASSERT_EQ(load("de German\n"), 0);  // a reload replaces the table
    EXPECT_EQ(numNameMap, 1);
    EXPECT_EQ(name("en"), "en");

    std::string many;
    for (int i = 0; i < 120; ++i) {
        const std::string n = std::to_string(i);
        many.append("l").append(n).append(" N").append(n).append("\n");
    }
    ASSERT_EQ(load(many.c_str()), 0);
    EXPECT_EQ(numNameMap, LANG_MAX_NAME_MAP);
    EXPECT_EQ(name("l99"), "N99");
    EXPECT_EQ(name("l100"), "l100");

    // 300 characters: the first 255 form one line, the rest another.
    ASSERT_EQ(load(("aa " + std::string(297, 'b') + "\nen English\n").c_str()), 0);
    EXPECT_EQ(numNameMap, 2);
    EXPECT_EQ(name("aa"), std::string(252, 'b'));

    dir_.write("langname.cfg",
               std::string("\0\xff\xfe\x01 \x02\n\0en English\n\xc3\xa9t\xc3\xa9 Summer\n", 32));
    ASSERT_EQ(load(nullptr), 0);
    EXPECT_EQ(name("\xc3\xa9t\xc3\xa9"), "Summer");
}

TEST_F(ToolNameMap, MissingOrUnreadableFileIsReportedOnStdout) {
    std::string out;
    EXPECT_EQ(load(nullptr, &out), 1);
    EXPECT_EQ(out, kMissing);
    EXPECT_EQ(numNameMap, 0);
    testing::internal::CaptureStdout();
    EXPECT_EQ(loadNameMapping(nullptr), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), kMissing);
    if (geteuid() == 0) return;  // root reads every file
    dir_.write("langname.cfg", "en English\n");
    chmod(dir_.str("langname.cfg").c_str(), 0);
    EXPECT_EQ(load(nullptr), 1);
}

TEST_F(ToolNameMap, OnlyARegularFileIsRead) {
    alarm(20);  // a FIFO would block, /dev/zero never end
    ASSERT_EQ(mkfifo(dir_.str("langname.cfg").c_str(), 0600), 0);
    std::string out;
    EXPECT_EQ(load(nullptr, &out), 1);
    EXPECT_EQ(out, kMissing);
    testing::internal::CaptureStdout();
    EXPECT_EQ(saveNameMapping(dir_.str().c_str(), "en", "English"), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), kMissing);
    std::filesystem::remove(dir_.str("langname.cfg"));
    std::filesystem::create_symlink("/dev/zero", dir_.str("langname.cfg"));
    EXPECT_EQ(load(nullptr, &out), 1);
    EXPECT_EQ(out, kMissing);
    EXPECT_EQ(numNameMap, 0);
    alarm(0);
}

TEST_F(ToolNameMap, SaveAppendsAnEntryButNeverCreatesTheFile) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(saveNameMapping(dir_.str().c_str(), "en", "English"), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), kMissing);
    EXPECT_FALSE(std::filesystem::exists(dir_.str("langname.cfg")));

    dir_.write("langname.cfg", "en English\n");
    testing::internal::CaptureStdout();
    EXPECT_EQ(saveNameMapping(dir_.str().c_str(), "ang", "Old English"), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(ReadFile(dir_.str("langname.cfg")), "en English\n\nang Old English\n");
    ASSERT_EQ(load(nullptr), 0);
    EXPECT_EQ(name("ang"), "Old");
}
