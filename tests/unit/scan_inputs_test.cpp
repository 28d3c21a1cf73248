#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine_test_support.h"
#include "scan/scan.h"

using glotta_test::TempDir;

namespace {

std::vector<std::string> list(const std::string &text, bool nul, size_t stopAfter = 1000) {
    FILE *in = fmemopen(const_cast<char *>(text.data()), text.size(), "r");
    std::vector<std::string> paths;
    EXPECT_TRUE(scan::ReadPathList(in, nul, [&](scan::Document &&d) {
        paths.push_back(d.path);
        return paths.size() < stopAfter;
    }));
    fclose(in);
    return paths;
}

TEST(ScanInputs, PathLists) {
    using V = std::vector<std::string>;
    EXPECT_EQ(list("a\nb c\r\n\n\r\nd", false), (V{"a", "b c", "d"}));
    EXPECT_EQ(list("", false), V{});
    EXPECT_EQ(list(std::string("a\nb\0c\0\0d", 9), true), (V{"a\nb", "c", "d"}));
    EXPECT_EQ(list("a\nb\nc\n", false, 2), (V{"a", "b"}));
}

struct Walked {
    std::vector<std::string> paths;
    std::vector<int> codes;
};

Walked walk(const std::string &path, bool recursive, bool follow, const std::string &root) {
    Walked w;
    scan::ExpandPath(path, recursive, follow, [&](scan::Document &&d) {
        w.paths.push_back(d.path.substr(root.size()));
        w.codes.push_back(d.presetCode);
        return true;
    });
    return w;
}

TEST(ScanInputs, DirectoriesAreWalkedInNameOrder) {
    TempDir dir;
    dir.write("t/b.txt", "b");
    dir.write("t/a/z.txt", "z");
    dir.write("t/a/y.txt", "y");
    dir.write("t/c/d/e.txt", "e");
    dir.mkdir("t/empty");
    const std::string root = dir.str() + "/";
    std::filesystem::create_symlink(dir.str("t/a"), dir.str("t/link_dir"));
    std::filesystem::create_symlink(dir.str("t/b.txt"), dir.str("t/link_file"));
    std::filesystem::create_symlink(dir.str("t/none"), dir.str("t/link_broken"));
    std::filesystem::create_symlink(dir.str("t"), dir.str("t/c/loop"));

    using V = std::vector<std::string>;
    EXPECT_EQ(walk(dir.str("t"), false, false, root).paths, V{"t"});
    EXPECT_EQ(walk(dir.str("t"), true, false, root).paths,
              (V{"t/a/y.txt", "t/a/z.txt", "t/b.txt", "t/c/d/e.txt"}));
    const Walked followed = walk(dir.str("t"), true, true, root);
    EXPECT_EQ(followed.paths,
              (V{"t/a/y.txt", "t/a/z.txt", "t/b.txt", "t/c/d/e.txt", "t/link_broken",
                 "t/link_dir/y.txt", "t/link_dir/z.txt", "t/link_file"}));
    EXPECT_EQ(followed.codes[4], LANG_ERR_NOFILE);
    // A file named by the user goes as it is, whatever -r says.
    EXPECT_EQ(walk(dir.str("t/b.txt"), true, false, root).paths, V{"t/b.txt"});
    EXPECT_EQ(walk(dir.str("missing"), true, false, root).paths, V{"missing"});
}

TEST(ScanInputs, AnUnreadableDirectoryIsOneFailedDocument) {
    if (geteuid() == 0) GTEST_SKIP() << "root reads every directory";
    TempDir dir;
    dir.write("t/closed/x.txt", "x");
    dir.write("t/open.txt", "o");
    chmod(dir.str("t/closed").c_str(), 0);
    const Walked w = walk(dir.str("t"), true, false, dir.str() + "/");
    EXPECT_EQ(w.paths, (std::vector<std::string>{"t/closed", "t/open.txt"}));
    EXPECT_EQ(w.codes, (std::vector<int>{LANG_ERR_OPEN, LANG_OK}));
}

}  // namespace
